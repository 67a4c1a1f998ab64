#include "convert/office/row_heights.h"

#include "convert/office/changes_allowed.h"
#include "convert/office/office_layout.h"
#include "convert/office/ooxml_parts.h"
#include "convert/office/uno_object.h"
#include "convert/office/uno_runtime.h"
#include "convert/office/zip_package.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>

using namespace css;

namespace tabrix::office {

namespace {

using RowRuns = std::vector<std::pair<sal_Int32, sal_Int32>>;  // first, last row; ascending

// Runs of rows holding a visible cell with wrapped text or a formula: one
// query per distinct cell format of the sheet, none per cell or row.
RowRuns WrappedTextRows(const uno::Reference<sheet::XSpreadsheet>& sheet) {
  RowRuns spans;
  const uno::Reference<container::XIndexAccess> formats(
      uno::Reference<sheet::XUniqueCellFormatRangesSupplier>(sheet, uno::UNO_QUERY_THROW)
          ->getUniqueCellFormatRanges(),
      uno::UNO_QUERY_THROW);
  for (sal_Int32 f = 0; f < formats->getCount(); ++f) {
    const uno::Reference<sheet::XSheetCellRanges> ranges(formats->getByIndex(f),
                                                         uno::UNO_QUERY_THROW);
    bool wrapped = false;
    uno::Reference<beans::XPropertySet>(ranges, uno::UNO_QUERY_THROW)
        ->getPropertyValue("IsTextWrapped") >>= wrapped;
    if (!wrapped) continue;
    const uno::Reference<sheet::XSheetCellRanges> text =
        uno::Reference<sheet::XCellRangesQuery>(ranges, uno::UNO_QUERY_THROW)
            ->queryContentCells(sheet::CellFlags::STRING | sheet::CellFlags::FORMULA);
    if (!text.is() || text->getCount() == 0) continue;
    const uno::Reference<sheet::XSheetCellRanges> visible =
        uno::Reference<sheet::XCellRangesQuery>(text, uno::UNO_QUERY_THROW)->queryVisibleCells();
    if (!visible.is()) continue;
    for (const table::CellRangeAddress& a : visible->getRangeAddresses())
      spans.emplace_back(a.StartRow, a.EndRow);
  }
  std::sort(spans.begin(), spans.end());
  RowRuns merged;
  for (const auto& span : spans) {
    if (!merged.empty() && span.first <= merged.back().second + 1)
      merged.back().second = std::max(merged.back().second, span.second);
    else
      merged.push_back(span);
  }
  return merged;
}

// `runs` without the rows in `stored` (ascending).
RowRuns Without(const RowRuns& runs, const std::vector<int>& stored) {
  RowRuns left;
  auto next = stored.begin();
  for (auto [first, last] : runs) {
    next = std::lower_bound(next, stored.end(), first);
    for (; next != stored.end() && *next <= last; ++next) {
      if (*next > first) left.emplace_back(first, *next - 1);
      first = *next + 1;
    }
    if (first <= last) left.emplace_back(first, last);
  }
  return left;
}

}  // namespace

int FitWrappedRows(const uno::Reference<lang::XComponent>& document, const TkvZipPackage* package) {
  // Most workbooks have no wrapping format at all: decided from the styles
  // part alone, without a call to the office.
  if (!package || !TkvOoxmlMayWrapText(*package)) return 0;
  const uno::Reference<container::XIndexAccess> sheets(
      uno::Reference<sheet::XSpreadsheetDocument>(document, uno::UNO_QUERY_THROW)->getSheets(),
      uno::UNO_QUERY_THROW);
  std::optional<std::vector<QString>> parts;  // read once a sheet needs them
  std::optional<ChangesAllowed> allowed;
  int sized = 0;
  for (sal_Int32 s = 0; s < sheets->getCount(); ++s) {
    const uno::Reference<sheet::XSpreadsheet> sheet(sheets->getByIndex(s), uno::UNO_QUERY_THROW);
    const RowRuns wrapped = WrappedTextRows(sheet);
    if (wrapped.empty()) continue;
    if (!parts) parts = TkvOoxmlSheetParts(*package).value_or(std::vector<QString>{});
    // No package, or not the sheets the office loaded: leave them as loaded.
    if (static_cast<sal_Int32>(parts->size()) != sheets->getCount()) return sized;
    // Only the parts of sheets with wrapped text are read (a data sheet
    // beside them can be hundreds of megabytes).
    const std::optional<TkvStoredRows> stored =
        TkvReadStoredRows(*package, (*parts)[static_cast<size_t>(s)]);
    if (!stored || stored->all) continue;
    const RowRuns runs = Without(wrapped, stored->rows);
    if (runs.empty()) continue;
    if (!allowed)
      allowed.emplace(uno::Reference<beans::XPropertySet>(document, uno::UNO_QUERY_THROW));
    for (const auto& [first, last] : runs) {
      const uno::Reference<beans::XPropertySet> rows(
          uno::Reference<table::XColumnRowRange>(sheet->getCellRangeByPosition(0, first, 0, last),
                                                 uno::UNO_QUERY_THROW)
              ->getRows(),
          uno::UNO_QUERY_THROW);
      // The import marks these rows optimal without sizing them; only a
      // change of the flag makes the office compute their height.
      rows->setPropertyValue("OptimalHeight", uno::Any(false));
      rows->setPropertyValue("OptimalHeight", uno::Any(true));
      sized += last - first + 1;
    }
  }
  return sized;
}

}  // namespace tabrix::office

int TkvFitWrappedRows(TkvAutoObject& document, const TkvZipPackage* package) {
  const auto* object = dynamic_cast<TkvUnoObject*>(&document);
  if (!object) return 0;
  const uno::Reference<sheet::XSpreadsheetDocument> spreadsheet(object->Value(), uno::UNO_QUERY);
  if (!spreadsheet.is()) return 0;
  try {
    return tabrix::office::FitWrappedRows(
        uno::Reference<lang::XComponent>(spreadsheet, uno::UNO_QUERY_THROW), package);
  } catch (const uno::Exception& e) {
    throw TkvAutomationError(tabrix::office::ExceptionText(e), QStringLiteral("FitWrappedRows"));
  }
}
