#pragma once
// Facts read straight from an OOXML package (.xlsx, .xlsm) without loading
// it into the office: which part is the workbook, and which rows store a
// height of their own. Every part is read through a fixed buffer (bounded
// memory whatever it inflates to) from a package the caller opened once.

#include "convert/office/xml_tags.h"

#include <QByteArray>
#include <QString>

class TkvZipPackage;

#include <optional>
#include <vector>

// Hands the start tags of the part `part` of `package` to `onTag`
// (TkvScanXmlTags); Damaged also when the package has no such part.
TkvXmlScan TkvScanOoxmlPart(const TkvZipPackage& package, const QString& part,
                            const std::function<bool(const TkvXmlTag&)>& onTag);

// The workbook part the package's relationships (_rels/.rels) name, without
// a leading slash; "xl/workbook.xml" when they name none or cannot be read.
QString TkvOoxmlWorkbookPart(const TkvZipPackage& package);

// Whether any cell format of the package may wrap text (its styles part has a
// wrapText attribute that is set); false when `package` is no readable
// OOXML package. The cheap test before any per-sheet work.
bool TkvOoxmlMayWrapText(const TkvZipPackage& package);

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
// empty name where the relationships name none); nullopt when `package` is
// no readable OOXML package.
std::optional<std::vector<QString>> TkvOoxmlSheetParts(const TkvZipPackage& package);

// The rows of the sheet part `part` (a name TkvOoxmlSheetParts gave) whose
// height the file stores; nullopt when the part is missing or damaged. Reads
// that part alone, whatever its size.
std::optional<TkvStoredRows> TkvReadStoredRows(const TkvZipPackage& package, const QString& part);
