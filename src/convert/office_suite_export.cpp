#include "convert/office_suite_export.h"

#include "convert/automation/class_registry.h"
#include "convert/office/office_layout.h"
#include "convert/office/office_output.h"
#include "convert/office/office_url.h"
#include "convert/office/package_copy.h"
#include "convert/office/text_workbook.h"
#include "convert/office/zip_package.h"

#include <QFileInfo>

#include <optional>

namespace {

// Closes a loaded document when the export leaves, whatever happened.
class DocumentCloser {
 public:
  explicit DocumentCloser(std::shared_ptr<TkvAutoObject> document)
      : document_(std::move(document)) {}
  ~DocumentCloser() {
    try {
      document_->Call(QStringLiteral("close"), {true});
    } catch (...) {
      // The file, if stored, is complete; a failed close changes nothing.
    }
  }
  DocumentCloser(const DocumentCloser&) = delete;
  DocumentCloser& operator=(const DocumentCloser&) = delete;

 private:
  std::shared_ptr<TkvAutoObject> document_;
};

std::shared_ptr<TkvAutoObject> Property(TkvAutoObject& manager, const QString& name,
                                        const TkvVariant& value) {
  auto property = manager
                      .Call(QStringLiteral("Bridge_GetStruct"),
                            {QStringLiteral("com.sun.star.beans.PropertyValue")})
                      .ToObject();
  property->Put(QStringLiteral("Name"), name);
  property->Put(QStringLiteral("Value"), value);
  return property;
}

// The PDF filter of the document's kind: the writer filter fails on a spreadsheet.
QString PdfFilter(TkvAutoObject& document) {
  const std::pair<const char*, const char*> kinds[] = {
      {"com.sun.star.sheet.SpreadsheetDocument", "calc_pdf_Export"},
      {"com.sun.star.presentation.PresentationDocument", "impress_pdf_Export"},
      {"com.sun.star.drawing.DrawingDocument", "draw_pdf_Export"},
  };
  for (const auto& [service, filter] : kinds)
    if (document.Call(QStringLiteral("supportsService"), {QString::fromLatin1(service)}).ToBool())
      return QString::fromLatin1(filter);
  return QStringLiteral("writer_pdf_Export");
}

}  // namespace

bool OfficeSuiteExport(const QString& source, const QString& target, TkvRecalc recalc,
                       QStringList* warnings) noexcept {
  bool outcome = false;
  QStringList found;
  try {
    TkvAutomationInitThread();
    auto manager = TkvCreateObject(QStringLiteral("com.sun.star.ServiceManager"));
    auto desktop =
        manager
            ->Call(QStringLiteral("createInstance"), {QStringLiteral("com.sun.star.frame.Desktop")})
            .ToObject();
    const QString localPath = TkvIsRemoteAddress(source)
                                  ? QString()
                                  : QFileInfo(TkvLocalPathOf(source)).absoluteFilePath();
    TkvArgs load = {
        TkvVariant(Property(*manager, QStringLiteral("Hidden"), true)),
        TkvVariant(Property(*manager, QStringLiteral("ReadOnly"), true)),
        TkvVariant(
            Property(*manager, QStringLiteral("MacroExecutionMode"), std::int32_t{0})),  // never
        TkvVariant(
            Property(*manager, QStringLiteral("UpdateDocMode"), std::int32_t{0})),  // no update
    };
    // Delimited text with its own separator and encoding, as the export loads it.
    if (const auto text = TkvDelimitedTextImport(localPath)) {
      load.push_back(TkvVariant(Property(*manager, QStringLiteral("FilterName"), text->filter)));
      load.push_back(
          TkvVariant(Property(*manager, QStringLiteral("FilterOptions"), text->options)));
    }
    // Pivot tables as stored, through a copy that outlives the document.
    const std::unique_ptr<TkvPivotFreeCopy> copy =
        localPath.isEmpty() ? nullptr : TkvPivotFreeCopy::Make(localPath);
    auto document = desktop
                        ->Call(QStringLiteral("loadComponentFromURL"),
                               {copy ? TkvOfficeFileUrl(copy->Path()) : TkvOfficeSourceUrl(source),
                                QStringLiteral("_blank"), std::int32_t{0}, TkvVariant(load)})
                        .ToObject();
    DocumentCloser closer(document);
    if (document
            ->Call(QStringLiteral("supportsService"),
                   {QStringLiteral("com.sun.star.sheet.SpreadsheetDocument")})
            .ToBool()) {
      // Loaded as the export loads it: recalculated by the same rule (what
      // the office cannot compute keeping its stored result), then the
      // numbers and wrapped rows, from one opening of the package; printed as
      // the export prints the whole workbook, without its hidden sheets.
      std::optional<TkvZipPackage> package;
      if (!localPath.isEmpty()) package.emplace(localPath);
      const TkvZipPackage* opened = package && package->IsOpen() ? &*package : nullptr;
      if (TkvRecalcDue(recalc, opened)) {
        document->Call(QStringLiteral("calculateAll"));
        found << TkvKeepStoredResults(*document, opened);
      }
      TkvShowGeneralNumbers(*document);
      TkvFitWrappedRows(*document, opened);
      TkvLeaveOutHiddenSheets(*document);
    }
    const TkvArgs store = {
        TkvVariant(Property(*manager, QStringLiteral("FilterName"), PdfFilter(*document)))};
    // Written in the office's private folder and moved into place when complete.
    TkvOfficeOutput output(target);
    document->Call(QStringLiteral("storeToURL"), {output.Url(), TkvVariant(store)});
    if (output.WrittenSize() > 0) {
      output.Place();
      outcome = true;
      if (warnings) *warnings = found;
    }
  } catch (...) {
    // Reported only as false: the caller goes on with its next fallback.
  }
  return outcome;
}
