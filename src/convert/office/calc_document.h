#pragma once
// The open document behind the "Excel.Application" workbook objects, and the
// PDF export and print of a document or one sheet of it. Include only from
// the office layer (UNO types).

#include "convert/automation/auto_object.h"
#include "convert/office/calc_application.h"
#include "convert/office/office_process.h"

#include <QString>
#include <QStringList>

#include <memory>

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

namespace tabrix::office {

// Argument i of a late-bound call, omitted when not given.
inline TkvVariant Arg(const TkvArgs& args, int i) {
  return i < args.size() ? args[i] : TkvVariant(TkvVariant::Omitted);
}

// Closes a loaded document without saving; a dead office or a vetoed close
// is ignored (the document goes with the process).
void CloseComponent(const css::uno::Reference<css::lang::XComponent>& component) noexcept;

// The open document shared by a workbook object and the objects taken from it.
// Closes the document (without saving) when the last of them is released.
class CalcDocument {
 public:
  CalcDocument(std::shared_ptr<TkvOfficeProcess> process,
               const css::uno::Reference<css::lang::XComponent>& component, QString path,
               QStringList warnings = {}, std::shared_ptr<const void> copy = nullptr)
      : process_(std::move(process)),
        component_(component),
        path_(std::move(path)),
        warnings_(std::move(warnings)),
        copy_(std::move(copy)) {
    process_->DocumentOpened();
  }
  ~CalcDocument() { Close(); }
  CalcDocument(const CalcDocument&) = delete;
  CalcDocument& operator=(const CalcDocument&) = delete;

  void Close() noexcept {
    if (!component_.is()) return;
    CloseComponent(component_);
    component_.clear();
    copy_.reset();
    process_->DocumentClosed();
  }

  TkvOfficeProcess& Process() { return *process_; }
  const std::shared_ptr<TkvOfficeProcess>& ProcessPointer() const { return process_; }
  const QString& Path() const { return path_; }
  // What the load-time steps could not make right (formulas kept, ...).
  const QStringList& Warnings() const { return warnings_; }
  QString FileName() const {
    const int slash = path_.lastIndexOf(QLatin1Char('/'));
    return slash >= 0 ? path_.mid(slash + 1) : path_;
  }
  // The component; raises when the workbook has been closed.
  css::uno::Reference<css::lang::XComponent> Component() const {
    if (!component_.is())
      throw TkvAutomationError(QStringLiteral("The workbook %1 is closed").arg(path_));
    return component_;
  }
  css::uno::Reference<css::container::XIndexAccess> Sheets() const {
    css::uno::Reference<css::sheet::XSpreadsheetDocument> doc(Component(),
                                                              css::uno::UNO_QUERY_THROW);
    return css::uno::Reference<css::container::XIndexAccess>(doc->getSheets(),
                                                             css::uno::UNO_QUERY_THROW);
  }

 private:
  std::shared_ptr<TkvOfficeProcess> process_;
  css::uno::Reference<css::lang::XComponent> component_;
  QString path_;
  QStringList warnings_;
  std::shared_ptr<const void> copy_;  // a private copy loaded in the source's place
};

bool SheetVisible(const css::uno::Reference<css::sheet::XSpreadsheet>& sheet);

// Before an export of the whole spreadsheet `document` (does nothing for
// other documents): its hidden sheets lose their print areas and print
// titles in the loaded copy, so that none of them prints. Raises
// uno::Exception when the office fails.
void LeaveOutHiddenSheets(const css::uno::Reference<css::lang::XComponent>& document);

// ExportAsFixedFormat(type, file, ..., from (5), to (6), ..., pdfA (9)) of
// the document without its hidden sheets, or of `sheet` when set: writes the PDF beside the target
// and renames it into place when complete. A sheet that is hidden or has nothing to print raises
// with code kTkvSheetCannotPrint, as the spreadsheet application refuses them (the office would
// write another sheet instead). `index` (from 1) names the sheet in messages.
void ExportPdf(CalcDocument& doc, const css::uno::Reference<css::sheet::XSpreadsheet>& sheet,
               int index, const TkvArgs& args);

// PrintOut(from, to, copies, preview, printer): the office writes the object
// as PDF (pages from..to when given) and the printer module prints that file
// on `printer` (the default PDF printer when omitted). Preview is ignored:
// nothing is ever shown. Raises when the print fails or delivers no file.
void PrintPdf(CalcDocument& doc, const css::uno::Reference<css::sheet::XSpreadsheet>& sheet,
              int index, const TkvArgs& args);

}  // namespace tabrix::office
