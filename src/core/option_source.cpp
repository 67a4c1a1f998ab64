#include "core/option_source.h"

#include "core/option_list.h"
#include "core/option_table.h"

#include <algorithm>

QString TkvOptionSource::Choice(const QString& key) const {
  const TkvOptionRow* row = TkvFindOption(key);
  return row ? TkvOptionChoice(*row, OptionValue(key)) : OptionValue(key).trimmed();
}

bool TkvOptionSource::ReadBool(const QString& key, bool def) const {
  return TkvStrToBool(OptionValue(key), def);
}
int TkvOptionSource::ReadInt(const QString& key, int def) const {
  return TkvStrToInt(OptionValue(key), def);
}

int TkvOptionSource::ThreadsCount() const {
  return std::clamp(ReadInt(QStringLiteral("ThreadsCount"), 1), 1, kMaxThreadsCount);
}

TkvOverwrite TkvOptionSource::OverwriteMode() const {
  const QString value = OptionValue(QStringLiteral("IsOverwrite"));
  if (value.compare(QLatin1String("skip"), Qt::CaseInsensitive) == 0) return TkvOverwrite::Skip;
  return TkvStrToBool(value, true) ? TkvOverwrite::Overwrite : TkvOverwrite::OtherName;
}

bool TkvOptionSource::KeepTargetSubdirs() const {
  return ReadBool(QStringLiteral("KeepTargetSubdirs"), true);
}
bool TkvOptionSource::KeepFileTime() const {
  return ReadBool(QStringLiteral("KeepFileTime"), false);
}
bool TkvOptionSource::DeleteSource() const {
  return ReadBool(QStringLiteral("DeleteSource"), false);
}
QString TkvOptionSource::RenameSource() const {
  return OptionValue(QStringLiteral("RenameSource"));
}
bool TkvOptionSource::ReadOnly() const { return ReadBool(QStringLiteral("ReadOnly"), false); }
bool TkvOptionSource::SkipPassword() const {
  return ReadBool(QStringLiteral("SkipPassword"), false);
}
bool TkvOptionSource::AllSheets() const { return ReadBool(QStringLiteral("AllSheets"), false); }
int TkvOptionSource::Sheet() const { return ReadInt(QStringLiteral("Sheet"), 0); }
bool TkvOptionSource::AllColumns() const { return ReadBool(QStringLiteral("AllColumns"), false); }
bool TkvOptionSource::FitWidth() const { return ReadBool(QStringLiteral("FitWidth"), false); }
QString TkvOptionSource::Orientation() const { return Choice(QStringLiteral("Orientation")); }
QString TkvOptionSource::PaperSize() const { return Choice(QStringLiteral("PaperSize")); }
bool TkvOptionSource::PdfA() const { return ReadBool(QStringLiteral("PdfA"), false); }
QString TkvOptionSource::MissingGlyphs() const { return Choice(QStringLiteral("MissingGlyphs")); }
QString TkvOptionSource::Recalculate() const { return Choice(QStringLiteral("Recalculate")); }
QString TkvOptionSource::PDFWriter() const { return OptionValue(QStringLiteral("PDFWriter")); }
bool TkvOptionSource::MultiInstance() const {
  return ReadBool(QStringLiteral("MultiInstance"), false);
}
QString TkvOptionSource::RegExt() const { return OptionValue(QStringLiteral("RegExt")); }
bool TkvOptionSource::SkipHidden() const { return ReadBool(QStringLiteral("SkipHidden"), false); }
QString TkvOptionSource::Shard() const { return OptionValue(QStringLiteral("Shard")); }

int TkvOptionSource::ItemTimeout() const {
  const int seconds = ReadInt(QStringLiteral("ItemTimeout"), kDefaultItemTimeout);
  return seconds < 0 ? kDefaultItemTimeout : seconds;
}
