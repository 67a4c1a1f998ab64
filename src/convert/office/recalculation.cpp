#include "convert/office/recalculation.h"

#include "convert/office/ooxml_parts.h"
#include "convert/office/zip_entry.h"

#include <QXmlStreamReader>

#include <optional>

namespace {

// A workbook part is a few kilobytes to a few megabytes (defined names).
constexpr qint64 kMaxPartSize = qint64(32) * 1024 * 1024;

}  // namespace

bool TkvParseRecalc(const QString& text, TkvRecalc* mode) {
  for (const TkvRecalc m : {TkvRecalc::Auto, TkvRecalc::Always, TkvRecalc::Never})
    if (text.trimmed().compare(TkvRecalcName(m), Qt::CaseInsensitive) == 0) {
      *mode = m;
      return true;
    }
  return false;
}

QString TkvRecalcName(TkvRecalc mode) {
  switch (mode) {
    case TkvRecalc::Always:
      return QStringLiteral("Always");
    case TkvRecalc::Never:
      return QStringLiteral("Never");
    case TkvRecalc::Auto:
      break;
  }
  return QStringLiteral("Auto");
}

bool TkvReadStoredCalc(const QString& localPath, TkvStoredCalc* stored) {
  const auto part = TkvReadZipEntry(localPath, TkvOoxmlWorkbookPart(localPath), kMaxPartSize);
  if (!part) return false;
  QXmlStreamReader xml(*part);
  bool workbook = false;
  *stored = TkvStoredCalc{};
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (!workbook) {  // the root must be a workbook
      if (xml.name() != QLatin1String("workbook")) return false;
      workbook = true;
      continue;
    }
    if (xml.name() == QLatin1String("calcPr")) {
      const QXmlStreamAttributes attributes = xml.attributes();
      const auto full = attributes.value(QLatin1String("fullCalcOnLoad"));
      stored->fullCalcOnLoad = full == QLatin1String("1") || full == QLatin1String("true");
      stored->calcId = attributes.value(QLatin1String("calcId")).toInt();
      return true;
    }
  }
  return workbook && !xml.hasError();  // no calcPr: no calcId either
}

bool TkvRecalcDue(TkvRecalc mode, const QString& localPath) {
  if (mode != TkvRecalc::Auto) return mode == TkvRecalc::Always;
  TkvStoredCalc stored;
  if (localPath.isEmpty() || !TkvReadStoredCalc(localPath, &stored)) return false;
  return stored.fullCalcOnLoad || stored.calcId < kTkvCurrentCalcId;
}
