#pragma once
// Entry points of the PDF printer module for the converter and the office
// layer. Each call uses the default settings store (per-user hive in
// $XDG_CONFIG_HOME/tabrix, machine-wide hive in $TABRIX_MACHINE_CONFIG_DIR
// or /etc/tabrix, printers from CUPS). See docs/printing.md.

#include <QString>

#include <functional>

// The printer to print on for the PDFWriter option. Never throws.
QString TkvPdfPrinterName(const QString& pdfWriterOption);

// Points the PDF printer drivers at `path` for the next job. Never throws;
// with `multiInstance` on it may wait (bounded, ends on `stopRequested`).
void TkvSetPrinterOutput(const QString& path, const QString& pdfWriterOption,
                         const std::function<bool()>& multiInstance, const QString& applicationPath,
                         const std::function<bool()>& stopRequested);

// Prints the PDF file `pdfFile` on `printerName` and moves the printed PDF
// to the path the driver settings name; returns that path. Throws TkvError
// with a message naming the printer when anything fails.
QString TkvPrintPdfFile(const QString& printerName, const QString& pdfFile,
                        const QString& applicationPath,
                        const std::function<bool()>& stopRequested = {});

// PrintOut for an office that cannot reach CUPS itself: `exportPdf` writes
// the object to print as a PDF at the path it is given (a file in a
// temporary folder removed before returning, whatever happens), then that
// file is printed as by TkvPrintPdfFile. Errors of `exportPdf` pass through.
QString TkvPrintThroughPdf(const QString& printerName,
                           const std::function<void(const QString& pdfPath)>& exportPdf,
                           const QString& applicationPath,
                           const std::function<bool()>& stopRequested = {});
