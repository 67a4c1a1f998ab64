#include "convert/printer/printer.h"

#include "convert/printer/pdf_printers.h"
#include "convert/printer/print_route.h"
#include "convert/printer/settings_store.h"
#include "core/error.h"
#include "core/partial_file.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <unistd.h>

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

namespace {

// A print folder carries the id of the process that made it: the folders of
// a process that is gone (killed while printing) are removed by the next
// print, and nothing else.
void RemoveDeadPrintFolders() {
  static const QRegularExpression name(QStringLiteral("^tabrix-print-([0-9]+)-[A-Za-z0-9]+$"));
  for (const QFileInfo& entry :
       QDir(QDir::tempPath())
           .entryInfoList({QStringLiteral("tabrix-print-*")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QRegularExpressionMatch match = name.match(entry.fileName());
    if (match.hasMatch() && !entry.isSymLink() && entry.ownerId() == ::getuid() &&
        TkvProcessGone(match.captured(1).toLongLong()))
      QDir(entry.filePath()).removeRecursively();
  }
}

}  // namespace

QString TkvPrintThroughPdf(const QString& printerName,
                           const std::function<void(const QString& pdfPath)>& exportPdf,
                           const QString& applicationPath,
                           const std::function<bool()>& stopRequested) {
  RemoveDeadPrintFolders();
  QTemporaryDir folder(QDir::tempPath() +
                       QStringLiteral("/tabrix-print-%1-XXXXXX").arg(::getpid()));
  if (!folder.isValid()) {
    throw TkvError(QStringLiteral("No temporary folder for printing on \"%1\": %2")
                       .arg(printerName, folder.errorString()));
  }
  const QString pdf = folder.filePath(QStringLiteral("print.pdf"));
  exportPdf(pdf);
  return TkvPrintPdfFile(printerName, pdf, applicationPath, stopRequested);
}
