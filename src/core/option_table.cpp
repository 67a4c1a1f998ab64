#include "core/option_table.h"

#include "core/option_list.h"
#include "core/shard.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

using Kind = TkvOptionKind;

bool IsSourceN(const QString& key) {
  if (key.size() < 7 || !key.startsWith(QLatin1String("Source"), Qt::CaseInsensitive)) return false;
  bool ok = false;
  const int n = key.mid(6).toInt(&ok, 10);
  return ok && n >= 2 && key.at(6) != u'0' && key.at(6) != u'+';
}

// "A or B", "A, B or C".
QString OrList(const QStringList& words) {
  if (words.size() <= 1) return words.join(QString());
  return words.mid(0, words.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") +
         words.last();
}

// Edit distance without letter case.
int Distance(const QString& a, const QString& b) {
  const QString x = a.toLower(), y = b.toLower();
  std::vector<int> row(size_t(y.size()) + 1);
  for (size_t j = 0; j < row.size(); ++j) row[j] = int(j);
  for (qsizetype i = 1; i <= x.size(); ++i) {
    int diagonal = row[0];
    row[0] = int(i);
    for (qsizetype j = 1; j <= y.size(); ++j) {
      const int above = row[size_t(j)];
      row[size_t(j)] =
          std::min({above + 1, row[size_t(j - 1)] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row.back();
}

// "eSource.Text": a window control's name (one letter, then the key) and
// the property it binds.
bool IsControlKey(const QString& key) {
  const qsizetype dot = key.indexOf(u'.');
  return dot > 1 && TkvFindOption(key.mid(1, dot - 1)) != nullptr;
}

}  // namespace

namespace {

TkvOptionRow Row(const char* key, Kind kind, const char* defaultValue, const char* meaning,
                 QStringList choices = {}, const char* whenUnreadable = "") {
  return TkvOptionRow{QString::fromLatin1(key),
                      kind,
                      QString::fromLatin1(defaultValue),
                      QString::fromLatin1(meaning),
                      std::move(choices),
                      QString::fromLatin1(whenUnreadable)};
}

}  // namespace

const std::vector<TkvOptionRow>& TkvOptionTable() {
  using K = Kind;
  static const std::vector<TkvOptionRow> table = {
      Row("Source", K::Text, "",
          "What to convert: folder and mask (/in/*.xls?), a file, a web address"),
      Row("Target", K::Text, "", "Target folder (default: the folder part of Source)"),
      Row("Subdir", K::Boolean, "False", "Search the source's sub-folders too"),
      Row("ThreadsCount", K::Integer, "1", "Converter threads, one office process each (1 to 64)"),
      Row("IsOverwrite", K::Boolean, "True",
          "Existing PDF: True replace, False write -tabrix-NAME beside it, skip leave the file",
          {"skip"}),
      Row("KeepTargetSubdirs", K::Boolean, "True",
          "Rebuild the source's sub-folders in the target"),
      Row("KeepFileTime", K::Boolean, "False", "Give each PDF its workbook's file times"),
      Row("DeleteSource", K::Boolean, "False", "Delete each workbook converted"),
      Row("RenameSource", K::Text, "", "Rename each workbook converted to its name plus this text"),
      Row("ReadOnly", K::Boolean, "False", "Open workbooks read-only (they always are)"),
      Row("SkipPassword", K::Boolean, "False",
          "Fail password-protected workbooks instead of asking"),
      Row("AllSheets", K::Boolean, "False", "Export the whole workbook into one PDF"),
      Row("Sheet", K::Integer, "0", "0 the active sheet, N sheet N, negative every sheet apart"),
      Row("AllColumns", K::Boolean, "False", "Fit every sheet to one page"),
      Row("FitWidth", K::Boolean, "False", "Fit every sheet's columns to one page wide"),
      Row("Orientation", K::Choice, "",
          "portrait or landscape for every sheet; empty keeps each sheet's own",
          {"portrait", "landscape"}, "each sheet keeps its own"),
      Row("PaperSize", K::Choice, "", "Paper size of every sheet; empty keeps each sheet's own",
          {"A3", "A4", "A5", "Letter", "Legal"}, "each sheet keeps its own"),
      Row("PdfA", K::Boolean, "False", "Write PDF/A-2b"),
      Row("PDFWriter", K::Text, "", "PDF printer of the printing fallback"),
      Row("MultiInstance", K::Boolean, "False", "Wait until no other job holds the PDF printer"),
      Row("RegExt", K::Text, "", "Regular expression a found path must also match"),
      Row("SkipHidden", K::Boolean, "False", "Leave out hidden files"),
      Row("Shard", K::Shard, "", "Convert one share of the files: K/N, or auto", {},
          "the run fails"),
      Row("LogFile", K::Text, "", "Run log written at the end of an automatic run"),
      Row("RunAndClose", K::Boolean, "False",
          "The window converts when shown and closes when done"),
      Row("PureConsole", K::Boolean, "False",
          "Run without a window (unless Source holds \"http\")"),
      Row("Daemon", K::Integer, "0", "Milliseconds between repeated window runs; 0 runs once"),
      Row("ItemTimeout", K::Integer, "120", "Seconds one file may take; 0 no limit"),
      Row("Recalculate", K::Choice, "Auto",
          "Recalculate formulas before export: Auto, Always or Never", {"Auto", "Always", "Never"}),
      Row("MissingGlyphs", K::Choice, "Warn",
          "A character no font can show: Warn, or Fail the file", {"Warn", "Fail"}),
      Row("SourceN", K::Text, "", "Source2, Source3, ...: further sources of an unattended run"),
      Row("ReportFile", K::Text, "", "JSON Lines report appended to this file, - for stdout"),
      Row("StrictExit", K::Boolean, "False", "Exit code 2 when any file failed"),
      Row("WatchInterval", K::Integer, "0", "Milliseconds between watch rounds; 0 converts once"),
      Row("NoProgress", K::Boolean, "False", "No progress line on a terminal"),
  };
  return table;
}

const TkvOptionRow* TkvFindOption(const QString& key) {
  const QString name = IsSourceN(key) ? QStringLiteral("SourceN") : key;
  for (const TkvOptionRow& row : TkvOptionTable())
    if (row.key.compare(name, Qt::CaseInsensitive) == 0) return &row;
  return nullptr;
}

namespace {

// The choice of `row` that `value` names, or null.
const QString* FindChoice(const TkvOptionRow& row, const QString& value) {
  for (const QString& word : row.choices)
    if (word.compare(value.trimmed(), Qt::CaseInsensitive) == 0) return &word;
  return nullptr;
}

}  // namespace

QString TkvOptionChoice(const TkvOptionRow& row, const QString& value) {
  const QString* choice = FindChoice(row, value);
  return choice ? *choice : row.defaultValue;
}

QString TkvOptionValueProblem(const TkvOptionRow& row, const QString& value) {
  if (value.isEmpty()) return {};
  QString takes;
  switch (row.kind) {
    case Kind::Text:
      return {};
    case Kind::Boolean:
      for (const QString& word : row.choices)
        if (word.compare(value, Qt::CaseInsensitive) == 0) return {};
      if (TkvStrToBool(value, false) == TkvStrToBool(value, true)) return {};
      takes = OrList(QStringList{QStringLiteral("True"), QStringLiteral("False")} + row.choices);
      break;
    case Kind::Integer:
      if (TkvStrToInt(value, 0) == TkvStrToInt(value, 1)) return {};
      takes = QStringLiteral("a whole number");
      break;
    case Kind::Choice:
      if (FindChoice(row, value)) return {};
      takes = OrList(row.choices);
      break;
    case Kind::Shard: {
      TkvShard shard;
      const QString error = TkvParseShard(value, shard);
      if (error.isEmpty()) return {};
      return QStringLiteral("%1=%2: %3").arg(row.key, value, error);
    }
  }
  return QStringLiteral("%1=%2 is not %3").arg(row.key, value, takes);
}

QStringList TkvOptionWarnings(const QStringList& lines, const QString& sourceMask) {
  QStringList warnings;
  QSet<QString> seen;
  for (const QString& line : lines) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) continue;
    const QString key = line.left(eq);
    const QString value = line.mid(eq + 1);
    if (seen.contains(key.toLower())) continue;  // only the first line of a key is read
    seen.insert(key.toLower());
    const TkvOptionRow* row = TkvFindOption(key);
    if (!row) {
      if (IsControlKey(key)) continue;
      const QString near = TkvClosestOptionKey(key);
      warnings.append(
          near.isEmpty() ? QStringLiteral("unknown option '%1'").arg(key)
                         : QStringLiteral("unknown option '%1' (did you mean %2?)").arg(key, near));
      continue;
    }
    if (const QString problem = TkvOptionValueProblem(*row, value); !problem.isEmpty()) {
      const QString gives = row->whenUnreadable.isEmpty()
                                ? QStringLiteral("%1 is used")
                                      .arg(row->defaultValue.isEmpty() ? QStringLiteral("no value")
                                                                       : row->defaultValue)
                                : row->whenUnreadable;
      warnings.append(problem + QStringLiteral(": ") + gives);
      continue;
    }
    const bool source = row->key == QLatin1String("Source") || row->key == QLatin1String("SourceN");
    if (source && !value.isEmpty() && QFileInfo(value).isDir())
      warnings.append(
          QStringLiteral("%1 names a folder without a mask: add %2 to convert its workbooks")
              .arg(key, sourceMask));
  }
  return warnings;
}

QString TkvClosestOptionKey(const QString& key) {
  QStringList names;
  for (const TkvOptionRow& row : TkvOptionTable())
    names.append(row.key == QLatin1String("SourceN") ? QStringLiteral("Source2") : row.key);
  return TkvClosestWord(key, names);
}

QString TkvClosestWord(const QString& word, const QStringList& candidates) {
  QString best;
  int bestDistance = std::max<int>(2, int(word.size()) / 3) + 1;
  for (const QString& name : candidates) {
    const int d = Distance(word, name);
    if (d < bestDistance) {
      bestDistance = d;
      best = name;
    }
  }
  return best;
}
