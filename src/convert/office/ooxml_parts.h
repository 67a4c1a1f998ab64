#pragma once
// Facts read straight from an OOXML package (.xlsx, .xlsm) without loading
// it into the office: which part is the workbook, and which rows store a
// height of their own.

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The workbook part the package's relationships (_rels/.rels) name, without
// a leading slash; "xl/workbook.xml" when they name none or cannot be read.
QString TkvOoxmlWorkbookPart(const QString& localPath);

// Whether any cell format of the package may wrap text (its styles part has a
// wrapText attribute that is set); false when `localPath` is no readable
// OOXML package. A few kilobytes read: the cheap test before any per-sheet work.
bool TkvOoxmlMayWrapText(const QString& localPath);

// The rows of one sheet whose height the file stores.
struct TkvStoredRows {
  // Every row's: the sheet's default height is a custom one.
  bool all = false;
  // Rows (from 0, ascending) whose element carries a height (`ht`).
  std::vector<int> rows;
};

// The rows of one worksheet part (its XML, as stored); nullopt when a tag is
// cut off or the rows do not ascend.
std::optional<TkvStoredRows> TkvScanStoredRows(const QByteArray& sheetPart);

// The worksheet parts of the package, in the workbook's sheet order (an
// empty name where the relationships name none); nullopt when `localPath` is
// no readable OOXML package. Reads only the package; thread-safe.
std::optional<std::vector<QString>> TkvOoxmlSheetParts(const QString& localPath);

// The rows of the sheet part `part` (a name TkvOoxmlSheetParts gave) whose
// height the file stores; nullopt when the part is missing, damaged or over
// its size limit (256 MiB unpacked). Reads that part alone; thread-safe.
std::optional<TkvStoredRows> TkvReadStoredRows(const QString& localPath, const QString& part);
