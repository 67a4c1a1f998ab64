#pragma once
// When a loaded workbook is recalculated: the Recalculate option's modes and
// the rule the spreadsheet application applies when it opens an OOXML file.

#include <QString>

class TkvZipPackage;

enum class TkvRecalc { Auto, Always, Never };

// "Auto", "Always" or "Never", letter case ignored; false for any other text.
bool TkvParseRecalc(const QString& text, TkvRecalc* mode);
QString TkvRecalcName(TkvRecalc mode);

// The calculation settings an OOXML workbook stores (calcPr of its workbook part).
struct TkvStoredCalc {
  bool fullCalcOnLoad = false;
  int calcId = 0;  // 0 when the workbook stores none
};
// The calculation engine whose results a workbook's calcId must reach to be
// printed as cached.
constexpr int kTkvCurrentCalcId = 191029;

// Read from the package (the workbook part named by its relationships, else
// xl/workbook.xml) without loading the workbook; false when `package` is no
// readable OOXML package (a legacy .xls, damaged files).
bool TkvReadStoredCalc(const TkvZipPackage& package, TkvStoredCalc* stored);

// Whether a workbook loaded from `localPath` (empty for a web address) is to
// be recalculated after loading: Always and Never as they say; Auto when an
// OOXML workbook asks for it (fullCalcOnLoad) or its calcId is missing or
// older than kTkvCurrentCalcId. Other formats and unreadable files: never
// under Auto (the office's own load decides, as for legacy .xls).
bool TkvRecalcDue(TkvRecalc mode, const QString& localPath);
// The same for the package a load opened (null for a web address).
bool TkvRecalcDue(TkvRecalc mode, const TkvZipPackage* package);
