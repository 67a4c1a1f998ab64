#include "convert/office/recalculation.h"

#include "convert/office/ooxml_parts.h"
#include "convert/office/zip_package.h"

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

bool TkvReadStoredCalc(const TkvZipPackage& package, TkvStoredCalc* stored) {
  bool workbook = false;
  *stored = TkvStoredCalc{};
  const TkvXmlScan scan =
      TkvScanOoxmlPart(package, TkvOoxmlWorkbookPart(package), [&](const TkvXmlTag& tag) {
        if (!workbook) {  // the root must be a workbook
          workbook = tag.name == "workbook";
          return workbook;
        }
        if (tag.name != "calcPr") return true;
        const auto full = tag.Attribute("fullCalcOnLoad");
        stored->fullCalcOnLoad = full == "1" || full == "true";
        stored->calcId = tag.Attribute("calcId").value_or(QByteArray()).trimmed().toInt();
        return false;
      });
  // Stopped at calcPr, or the whole part read without one (no calcId either).
  return workbook && scan != TkvXmlScan::Damaged;
}

bool TkvRecalcDue(TkvRecalc mode, const QString& localPath) {
  if (mode != TkvRecalc::Auto || localPath.isEmpty()) return TkvRecalcDue(mode, nullptr);
  const TkvZipPackage package(localPath);
  return TkvRecalcDue(mode, &package);
}

bool TkvRecalcDue(TkvRecalc mode, const TkvZipPackage* package) {
  if (mode != TkvRecalc::Auto) return mode == TkvRecalc::Always;
  TkvStoredCalc stored;
  if (!package || !TkvReadStoredCalc(*package, &stored)) return false;
  return stored.fullCalcOnLoad || stored.calcId < kTkvCurrentCalcId;
}
