#include "convert/printer/printer.h"

#include "convert/printer/pdf_printers.h"
#include "convert/printer/print_route.h"
#include "convert/printer/settings_store.h"
#include "core/error.h"

#include <QDir>
#include <QTemporaryDir>

QString TkvPdfPrinterName(const QString& pdfWriterOption) {
  const TkvSettingsStore store;
  return TkvPdfPrinters(store).PdfPrinterName(pdfWriterOption);
}

void TkvSetPrinterOutput(const QString& path, const QString& pdfWriterOption,
                         const std::function<bool()>& multiInstance, const QString& applicationPath,
                         const std::function<bool()>& stopRequested) {
  const TkvSettingsStore store;
  TkvPdfPrinters(store).SetPrinterOutput(path, pdfWriterOption, multiInstance, applicationPath,
                                         stopRequested);
}

QString TkvPrintPdfFile(const QString& printerName, const QString& pdfFile,
                        const QString& applicationPath,
                        const std::function<bool()>& stopRequested) {
  const TkvSettingsStore store;
  return TkvPrintRoute(store).PrintPdf(printerName, pdfFile, applicationPath, stopRequested);
}

QString TkvPrintThroughPdf(const QString& printerName,
                           const std::function<void(const QString& pdfPath)>& exportPdf,
                           const QString& applicationPath,
                           const std::function<bool()>& stopRequested) {
  QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/tabrix-print-XXXXXX"));
  if (!folder.isValid()) {
    throw TkvError(QStringLiteral("No temporary folder for printing on \"%1\": %2")
                       .arg(printerName, folder.errorString()));
  }
  const QString pdf = folder.filePath(QStringLiteral("print.pdf"));
  exportPdf(pdf);
  return TkvPrintPdfFile(printerName, pdf, applicationPath, stopRequested);
}
