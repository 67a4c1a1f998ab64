#include "convert/office/calc_application.h"
#include "convert/office/calc_document.h"
#include "convert/office/office_layout.h"
#include "convert/office/office_output.h"
#include "convert/office/office_url.h"
#include "convert/office/uno_object.h"
#include "convert/office/uno_runtime.h"
#include "convert/printer/printer.h"

#include <QFileInfo>

#include <vector>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XPrintAreas.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

using namespace css;
using rtl::OUString;

namespace tabrix::office {

bool SheetVisible(const uno::Reference<sheet::XSpreadsheet>& sheet) {
  bool visible = true;
  uno::Reference<beans::XPropertySet>(sheet, uno::UNO_QUERY_THROW)
      ->getPropertyValue("IsVisible") >>= visible;
  return visible;
}

// Nothing to print on sheet `index` (from 1): no cell with content and no
// picture, chart or shape (they print without any cell).
bool SheetBlank(CalcDocument& doc, const uno::Reference<sheet::XSpreadsheet>& sheet, int index) {
  const uno::Reference<sheet::XSheetCellRanges> content =
      uno::Reference<sheet::XCellRangesQuery>(sheet, uno::UNO_QUERY_THROW)
          ->queryContentCells(sheet::CellFlags::VALUE | sheet::CellFlags::DATETIME |
                              sheet::CellFlags::STRING | sheet::CellFlags::FORMULA);
  if (content.is() && content->getCount() > 0) return false;
  const uno::Reference<drawing::XDrawPagesSupplier> pages(doc.Component(), uno::UNO_QUERY);
  if (!pages.is() || index < 1 || index > pages->getDrawPages()->getCount()) return true;
  const uno::Reference<container::XIndexAccess> shapes(pages->getDrawPages()->getByIndex(index - 1),
                                                       uno::UNO_QUERY);
  return !shapes.is() || shapes->getCount() == 0;
}

void LeaveOutHiddenSheets(const uno::Reference<lang::XComponent>& document) {
  const uno::Reference<sheet::XSpreadsheetDocument> spreadsheet(document, uno::UNO_QUERY);
  if (!spreadsheet.is()) return;
  const uno::Reference<container::XIndexAccess> sheets(spreadsheet->getSheets(),
                                                       uno::UNO_QUERY_THROW);
  for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
    const uno::Reference<sheet::XSpreadsheet> sheet(sheets->getByIndex(i), uno::UNO_QUERY_THROW);
    if (SheetVisible(sheet)) continue;
    // Calc prints a hidden sheet's print areas and titles: without them it
    // prints nothing.
    const uno::Reference<sheet::XPrintAreas> areas(sheet, uno::UNO_QUERY_THROW);
    areas->setPrintTitleRows(false);
    areas->setPrintTitleColumns(false);
    areas->setPrintAreas({});
  }
}

void ExportPdf(CalcDocument& doc, const uno::Reference<sheet::XSpreadsheet>& sheet, int index,
               const TkvArgs& args) {
  const TkvVariant type = Arg(args, 0);
  if (!type.IsMissing() && type.ToInt() != 0)
    throw TkvAutomationError(
        QStringLiteral("Only PDF export (type 0) is supported, not %1").arg(type.ToInt()),
        QStringLiteral("ExportAsFixedFormat"));
  const TkvVariant file = Arg(args, 1);
  if (file.IsMissing() || file.ToText().isEmpty())
    throw TkvAutomationError(QStringLiteral("ExportAsFixedFormat needs a file name"),
                             QStringLiteral("ExportAsFixedFormat"));
  const QString target = QFileInfo(file.ToText()).absoluteFilePath();

  std::vector<beans::PropertyValue> filterData;
  if (sheet.is()) {
    // Calc would write the next visible sheet instead: refuse, as the
    // spreadsheet application does.
    if (!SheetVisible(sheet))
      throw TkvAutomationError(
          QStringLiteral("The sheet \"%1\" of %2 is hidden: a hidden sheet cannot be exported")
              .arg(ToQ(uno::Reference<container::XNamed>(sheet, uno::UNO_QUERY_THROW)->getName()),
                   doc.Path()),
          QStringLiteral("ExportAsFixedFormat"), kTkvSheetCannotPrint);
    if (SheetBlank(doc, sheet, index))
      throw TkvAutomationError(QStringLiteral("Sheet %1 of %2 is empty: nothing to print")
                                   .arg(index)
                                   .arg(doc.FileName()),
                               QStringLiteral("ExportAsFixedFormat"), kTkvSheetCannotPrint);
    filterData.push_back(Prop("Selection", uno::Any(sheet)));
  } else {
    LeaveOutHiddenSheets(doc.Component());
  }
  // Argument 9 (after the object model's FixedFormatExtClassPtr): PDF/A-2b,
  // which embeds every font.
  if (const TkvVariant pdfA = Arg(args, 9); !pdfA.IsMissing() && pdfA.ToBool()) {
    filterData.push_back(Prop("SelectPdfVersion", uno::Any(sal_Int32(2))));
    filterData.push_back(Prop("EmbedStandardFonts", uno::Any(true)));
  }
  const TkvVariant from = Arg(args, 5), to = Arg(args, 6);
  if (!from.IsMissing() || !to.IsMissing()) {
    const QString range = QStringLiteral("%1-%2")
                              .arg(from.IsMissing() ? 1 : from.ToInt())
                              .arg(to.IsMissing() ? QString() : QString::number(to.ToInt()));
    filterData.push_back(Prop("PageRange", uno::Any(ToOU(range))));
  }
  const uno::Sequence<beans::PropertyValue> data(filterData.data(),
                                                 static_cast<sal_Int32>(filterData.size()));
  uno::Reference<frame::XStorable> storable(doc.Component(), uno::UNO_QUERY_THROW);
  // The office writes in its private folder and the file is moved into
  // place whole, so a run killed mid-export leaves nothing in the target's
  // folder and no half-written PDF under its name.
  TkvOfficeOutput output(target, doc.ProcessPointer());
  try {
    storable->storeToURL(ToOU(output.Url()),
                         tabrix::office::SequenceOf<beans::PropertyValue>(
                             {Prop("FilterName", uno::Any(OUString("calc_pdf_Export"))),
                              Prop("FilterData", uno::Any(data))}));
  } catch (const uno::Exception& e) {
    const QString text = tabrix::office::ExceptionText(e);
    const QString message =
        doc.Process().FailureMessage(text, tabrix::office::MayBeConnectionFailureNow());
    if (message != text)
      throw TkvAutomationError(QStringLiteral("%1: %2").arg(message, doc.Path()),
                               QStringLiteral("ExportAsFixedFormat"));
    throw TkvAutomationError(
        QStringLiteral("Cannot write the PDF file %1 from %2: %3").arg(target, doc.Path(), text),
        QStringLiteral("ExportAsFixedFormat"));
  }
  if (output.WrittenSize() <= 0)
    throw TkvAutomationError(
        QStringLiteral("LibreOffice wrote no PDF file at %1 from %2").arg(target, doc.Path()),
        QStringLiteral("ExportAsFixedFormat"));
  try {
    output.Place();
  } catch (const TkvError& e) {
    throw TkvAutomationError(QStringLiteral("%1 from %2").arg(e.Message(), doc.Path()),
                             QStringLiteral("ExportAsFixedFormat"));
  }
}

void PrintPdf(CalcDocument& doc, const uno::Reference<sheet::XSpreadsheet>& sheet, int index,
              const TkvArgs& args) {
  const TkvVariant copies = Arg(args, 2);
  if (!copies.IsMissing() && copies.ToInt() != 1)
    throw TkvAutomationError(
        QStringLiteral("Only one copy can be printed, not %1").arg(copies.ToInt()),
        QStringLiteral("PrintOut"));
  const TkvVariant printerArg = Arg(args, 4);
  const QString printer =
      printerArg.IsMissing() ? TkvPdfPrinterName(QString()) : printerArg.ToText();
  const TkvVariant omitted = TkvVariant::Omitted;
  const QString delivered = TkvPrintThroughPdf(
      printer,
      [&](const QString& pdf) {
        ExportPdf(doc, sheet, index,
                  {std::int32_t(0), pdf, omitted, omitted, omitted, Arg(args, 0), Arg(args, 1)});
      },
      TkvCalcProgramPath());
  if (QFileInfo(delivered).size() <= 0)
    throw TkvAutomationError(
        QStringLiteral("The printer \"%1\" delivered no PDF file for %2").arg(printer, doc.Path()),
        QStringLiteral("PrintOut"));
}

}  // namespace tabrix::office

void TkvLeaveOutHiddenSheets(TkvAutoObject& document) {
  const auto* object = dynamic_cast<TkvUnoObject*>(&document);
  if (!object) return;
  try {
    tabrix::office::LeaveOutHiddenSheets(
        uno::Reference<lang::XComponent>(object->Value(), uno::UNO_QUERY));
  } catch (const uno::Exception& e) {
    throw TkvAutomationError(tabrix::office::ExceptionText(e),
                             QStringLiteral("LeaveOutHiddenSheets"));
  }
}
