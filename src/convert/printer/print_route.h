#pragma once
// Printing a finished PDF on a PDF printer queue of CUPS (cups-pdf) and
// delivering the printed file where the driver settings say.
//
// The office cannot print to CUPS queues when it runs headless, so a print
// is: the office writes the object as a temporary PDF, PrintPdf submits it
// to the queue under a unique job title, waits for the job to complete,
// finds cups-pdf's output by that title and moves it to the output path of
// TkvPdfPrinters::OutputPath; the output values are used up by the job
// (OutputDelivered), delivered or not. Threads: any; each call uses its own CUPS
// connection. Failures throw TkvError with a message naming the printer.

#include "convert/printer/pdf_printers.h"
#include "convert/printer/settings_store.h"

#include <QString>

#include <chrono>
#include <functional>

struct TkvPrintLimits {
  // Longest wait for the job to complete; the job is cancelled after it.
  std::chrono::milliseconds job{std::chrono::seconds(120)};
  std::chrono::milliseconds poll{std::chrono::milliseconds(200)};
  // Longest wait for the output file once the job has completed.
  std::chrono::milliseconds output{std::chrono::seconds(10)};
};

// The folder where the cups-pdf queue with device URI `deviceUri`
// ("cups-pdf:/" or "cups-pdf:/<name>") writes the jobs of `userName`
// (home folder `home`), from its "Out" setting in "<confDir>/cups-pdf-<name>.conf"
// or "<confDir>/cups-pdf.conf". Empty when the URI is not cups-pdf's.
QString TkvCupsPdfOutputFolder(const QString& deviceUri, const QString& userName,
                               const QString& home,
                               const QString& confDir = QStringLiteral("/etc/cups"));

class TkvPrintRoute {
 public:
  // The store must outlive this object.
  explicit TkvPrintRoute(const TkvSettingsStore& store, TkvPrintLimits limits = {});

  // Prints `pdfFile` (left in place) on `printerName` (a queue name or a
  // printer description) and returns the path the printed PDF now has.
  // `applicationPath` selects the Distiller value; `stopRequested` (may be
  // empty) cancels the job and ends the wait. An existing file at the
  // output path is replaced.
  QString PrintPdf(const QString& printerName, const QString& pdfFile,
                   const QString& applicationPath,
                   const std::function<bool()>& stopRequested = {}) const;

 private:
  const TkvSettingsStore& store_;
  TkvPrintLimits limits_;
};
