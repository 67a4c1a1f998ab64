#include "convert/office/general_cells.h"

#include "convert/automation/auto_object.h"
#include "convert/office/changes_allowed.h"
#include "convert/office/general_number.h"
#include "convert/office/office_layout.h"
#include "convert/office/uno_object.h"
#include "convert/office/uno_runtime.h"

#include <QHash>

#include <optional>
#include <vector>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

using namespace css;

namespace tabrix::office {

namespace {

constexpr double kHundredthMmPerPoint = 2540.0 / 72.0;
constexpr double kCellPadding = 100;  // 1/100 mm, both sides together

// Width of `text` in em, with the widest advances of the metric-compatible
// faces (Liberation Sans; Carlito's are narrower): an estimate that errs
// towards "does not fit".
double TextEms(const QString& text) {
  double ems = 0;
  for (const QChar c : text) {
    if (c.isDigit())
      ems += 0.556;
    else if (c == u'.')
      ems += 0.278;
    else if (c == u'-')
      ems += 0.333;
    else if (c == u'E')
      ems += 0.667;
    else
      ems += 0.584;  // '+'
  }
  return ems;
}

// Whether number format `key` is General ("General", "Standard" by locale).
class GeneralFormats {
 public:
  explicit GeneralFormats(const uno::Reference<util::XNumberFormats>& formats)
      : formats_(formats) {}
  bool IsGeneral(sal_Int32 key) {
    const auto found = known_.constFind(key);
    if (found != known_.constEnd()) return *found;
    rtl::OUString code;
    formats_->getByKey(key)->getPropertyValue("FormatString") >>= code;
    const QString text = ToQ(code);
    const bool general = text.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0 ||
                         text.compare(QLatin1String("Standard"), Qt::CaseInsensitive) == 0;
    known_.insert(key, general);
    return general;
  }
  sal_Int32 KeyOf(const QString& code) {
    const lang::Locale english("en", "US", "");
    sal_Int32 key = formats_->queryKey(ToOU(code), english, false);
    if (key < 0) key = formats_->addNew(ToOU(code), english);
    return key;
  }

 private:
  uno::Reference<util::XNumberFormats> formats_;
  QHash<sal_Int32, bool> known_;
};

// The widths of a sheet's columns (1/100 mm), read once each.
class ColumnWidths {
 public:
  explicit ColumnWidths(const uno::Reference<sheet::XSpreadsheet>& sheet)
      : columns_(uno::Reference<table::XColumnRowRange>(sheet, uno::UNO_QUERY_THROW)->getColumns(),
                 uno::UNO_QUERY_THROW) {}
  sal_Int32 Width(sal_Int32 column) {
    const auto found = widths_.constFind(column);
    if (found != widths_.constEnd()) return *found;
    sal_Int32 width = 0;
    uno::Reference<beans::XPropertySet>(columns_->getByIndex(column), uno::UNO_QUERY_THROW)
        ->getPropertyValue("Width") >>= width;
    widths_.insert(column, width);
    return width;
  }

 private:
  uno::Reference<container::XIndexAccess> columns_;
  QHash<sal_Int32, sal_Int32> widths_;
};

}  // namespace

int ShowGeneralNumbers(const uno::Reference<lang::XComponent>& document) {
  const uno::Reference<container::XIndexAccess> sheets(
      uno::Reference<sheet::XSpreadsheetDocument>(document, uno::UNO_QUERY_THROW)->getSheets(),
      uno::UNO_QUERY_THROW);
  GeneralFormats formats(
      uno::Reference<util::XNumberFormatsSupplier>(document, uno::UNO_QUERY_THROW)
          ->getNumberFormats());
  // The cells to change, by the format code that shows their text.
  QHash<QString, std::vector<table::CellRangeAddress>> changes;
  int changed = 0;
  for (sal_Int32 s = 0; s < sheets->getCount(); ++s) {
    const uno::Reference<sheet::XSpreadsheet> sheet(sheets->getByIndex(s), uno::UNO_QUERY_THROW);
    const uno::Reference<container::XIndexAccess> ranges(
        uno::Reference<sheet::XUniqueCellFormatRangesSupplier>(sheet, uno::UNO_QUERY_THROW)
            ->getUniqueCellFormatRanges(),
        uno::UNO_QUERY_THROW);
    std::optional<ColumnWidths> widths;
    for (sal_Int32 f = 0; f < ranges->getCount(); ++f) {
      const uno::Reference<sheet::XSheetCellRanges> format(ranges->getByIndex(f),
                                                           uno::UNO_QUERY_THROW);
      const uno::Reference<beans::XPropertySet> properties(format, uno::UNO_QUERY_THROW);
      sal_Int32 key = 0;
      properties->getPropertyValue("NumberFormat") >>= key;
      if (!formats.IsGeneral(key)) continue;
      const uno::Reference<sheet::XSheetCellRanges> numbers =
          uno::Reference<sheet::XCellRangesQuery>(format, uno::UNO_QUERY_THROW)
              ->queryContentCells(sheet::CellFlags::VALUE | sheet::CellFlags::FORMULA);
      if (!numbers.is() || numbers->getCount() == 0) continue;
      float points = 11;
      properties->getPropertyValue("CharHeight") >>= points;
      if (!widths) widths.emplace(sheet);
      for (const table::CellRangeAddress& a : numbers->getRangeAddresses()) {
        const uno::Sequence<uno::Sequence<uno::Any>> rows =
            uno::Reference<sheet::XCellRangeData>(
                sheet->getCellRangeByPosition(a.StartColumn, a.StartRow, a.EndColumn, a.EndRow),
                uno::UNO_QUERY_THROW)
                ->getDataArray();
        for (sal_Int32 r = 0; r < rows.getLength(); ++r)
          for (sal_Int32 c = 0; c < rows[r].getLength(); ++c) {
            double value = 0;
            if (!(rows[r][c] >>= value)) continue;  // a text result
            const QString text = TkvGeneralNumberText(value);
            // What shows all its digits in plain notation prints alike.
            if (text.isEmpty() || (!text.contains(u'E') && text.toDouble() == value)) continue;
            const sal_Int32 column = a.StartColumn + c;
            if (TextEms(text) * points * kHundredthMmPerPoint + kCellPadding >
                widths->Width(column))
              continue;
            const sal_Int32 row = a.StartRow + r;
            changes[TkvNumberFormatFor(text)].push_back(
                table::CellRangeAddress(static_cast<sal_Int16>(s), column, row, column, row));
            ++changed;
          }
      }
    }
  }
  if (changes.isEmpty()) return 0;
  const ChangesAllowed allowed(uno::Reference<beans::XPropertySet>(document, uno::UNO_QUERY_THROW));
  const uno::Reference<lang::XMultiServiceFactory> factory(document, uno::UNO_QUERY_THROW);
  for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
    const uno::Reference<sheet::XSheetCellRangeContainer> cells(
        factory->createInstance("com.sun.star.sheet.SheetCellRanges"), uno::UNO_QUERY_THROW);
    cells->addRangeAddresses(
        uno::Sequence<table::CellRangeAddress>(it->data(), static_cast<sal_Int32>(it->size())),
        true);
    uno::Reference<beans::XPropertySet>(cells, uno::UNO_QUERY_THROW)
        ->setPropertyValue("NumberFormat", uno::Any(formats.KeyOf(it.key())));
  }
  return changed;
}

}  // namespace tabrix::office

int TkvShowGeneralNumbers(TkvAutoObject& document) {
  const auto* object = dynamic_cast<TkvUnoObject*>(&document);
  if (!object) return 0;
  const uno::Reference<sheet::XSpreadsheetDocument> spreadsheet(object->Value(), uno::UNO_QUERY);
  if (!spreadsheet.is()) return 0;
  try {
    return tabrix::office::ShowGeneralNumbers(
        uno::Reference<lang::XComponent>(spreadsheet, uno::UNO_QUERY_THROW));
  } catch (const uno::Exception& e) {
    throw TkvAutomationError(tabrix::office::ExceptionText(e),
                             QStringLiteral("ShowGeneralNumbers"));
  }
}
