#pragma once
// The settings of the supported PDF printer drivers: which printer to print
// on, where its next job is to be written, and (for the driver side) where
// a finished job goes. Nothing here raises: settings that cannot be read or
// written are passed over, as a driver that is not installed would ignore
// them.
//
// Threads: any. SetPrinterOutput is meant to run under the batch's
// item-list lock together with the print that follows it.

#include "convert/printer/settings_store.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace tkv_printer {
inline const QString kFreePdfXp = QStringLiteral("FreePDF XP");
inline const QString kAcrobatPdfWriter = QStringLiteral("Acrobat PDFWriter");
inline const QString kAdobePdf = QStringLiteral("Adobe PDF");
inline const QString kPdfWriterKey = QStringLiteral("Software\\Adobe\\Acrobat PDFWriter");
inline const QString kDistillerKey =
    QStringLiteral("Software\\Adobe\\Acrobat Distiller\\PrinterJobControl");
inline const QString kFreePdfKey = QStringLiteral("Software\\shbox\\FreePdfXp");
inline const QString kSplwow64 = QStringLiteral("C:\\Windows\\splwow64.exe");
}  // namespace tkv_printer

// How long SetPrinterOutput waits, with MultiInstance on, for the driver to
// consume the previous output path: checks every `step`, gives up after
// `limit` (then overwrites the old path), and ends at once on a stop request.
struct TkvPrinterWait {
  std::chrono::milliseconds step{1000};
  std::chrono::milliseconds limit{std::chrono::seconds(60)};
};

class TkvPdfPrinters {
 public:
  // The store must outlive this object. `processTag` tells this process's
  // own output value from other processes' (empty: the process id).
  explicit TkvPdfPrinters(const TkvSettingsStore& store, TkvPrinterWait wait = {},
                          QString processTag = {});

  // The Distiller value name only this process writes and reads for the
  // program `applicationPath`: "<applicationPath>#<process tag>".
  QString ProcessValueName(const QString& applicationPath) const;

  // The configured printer if installed, else "Acrobat PDFWriter" if
  // installed, else "Adobe PDF". When the printer list cannot be read: the
  // option, or "Acrobat PDFWriter" when it is empty.
  QString PdfPrinterName(const QString& pdfWriterOption) const;

  // Points the driver settings at `path` for the next print job: the
  // machine-wide FreePDF XP value when the option is exactly "FreePDF XP",
  // otherwise the per-user Acrobat PDFWriter values (when that key exists)
  // and the Acrobat Distiller values (key created when missing): the one
  // named after the program, the "splwow64" one and, for a program, this
  // process's own (ProcessValueName).
  // `multiInstance` is asked before every check of the wait; `stopRequested`
  // may be empty.
  void SetPrinterOutput(const QString& path, const QString& pdfWriterOption,
                        const std::function<bool()>& multiInstance, const QString& applicationPath,
                        const std::function<bool()>& stopRequested) const;

  // ---- driver side ----
  // Where a job printed on `printerName` by the program `applicationPath`
  // is to be written: FreePDF XP's machine-wide value for the printer
  // "FreePDF XP"; for a program, this process's own Distiller value only
  // (values other processes share are never followed); without a program,
  // a non-empty "PDFFileName" of Acrobat PDFWriter, else the Distiller value
  // named after "C:\Windows\splwow64.exe". Nullopt when none is set.
  std::optional<QString> OutputPath(const QString& printerName,
                                    const QString& applicationPath) const;
  // The job for `path` is over, delivered or not: empties "PDFFileName" when
  // it still names `path` (which ends other processes' MultiInstance wait)
  // and this process's own value for `applicationPath`, so that no later
  // print follows a stale path.
  void OutputDelivered(const QString& printerName, const QString& path,
                       const QString& applicationPath = {}) const;

 private:
  std::optional<QString> ReadValue(TkvHive hive, const QString& key, const QString& name) const;

  const TkvSettingsStore& store_;
  TkvPrinterWait wait_;
  QString processTag_;
};
