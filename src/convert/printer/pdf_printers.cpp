#include "convert/printer/pdf_printers.h"

#include "core/error.h"

#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>

#include <unistd.h>

using namespace tkv_printer;

TkvPdfPrinters::TkvPdfPrinters(const TkvSettingsStore& store, TkvPrinterWait wait,
                               QString processTag)
    : store_(store),
      wait_(wait),
      processTag_(processTag.isEmpty() ? QString::number(::getpid()) : std::move(processTag)) {}

QString TkvPdfPrinters::ProcessValueName(const QString& applicationPath) const {
  return applicationPath + u'#' + processTag_;
}

QString TkvPdfPrinters::PdfPrinterName(const QString& pdfWriterOption) const {
  QString name = pdfWriterOption.isEmpty() ? kAcrobatPdfWriter : pdfWriterOption;
  try {
    const auto devices =
        store_.OpenKey(TkvHive::CurrentUser, TkvSettingsStore::kDevicesKey, TkvKeyOpen::Existing);
    if (devices->ReadString(name).value_or(QString()).isEmpty()) {
      name = kAcrobatPdfWriter;
      if (devices->ReadString(name).value_or(QString()).isEmpty()) name = kAdobePdf;
    }
  } catch (const TkvError&) {
    // No printer list: keep the name chosen so far.
  }
  return name;
}

void TkvPdfPrinters::SetPrinterOutput(const QString& path, const QString& pdfWriterOption,
                                      const std::function<bool()>& multiInstance,
                                      const QString& applicationPath,
                                      const std::function<bool()>& stopRequested) const {
  auto stopping = [&] { return stopRequested && stopRequested(); };
  if (pdfWriterOption == kFreePdfXp) {
    try {
      store_.OpenKey(TkvHive::LocalMachine, kFreePdfKey, TkvKeyOpen::Existing)
          ->WriteString(QStringLiteral("PDFFilename"), path);
    } catch (const TkvError&) {
    }
    return;
  }
  try {
    const auto writer = store_.OpenKey(TkvHive::CurrentUser, kPdfWriterKey, TkvKeyOpen::Existing);
    const QDeadlineTimer deadline(wait_.limit);
    while (multiInstance && multiInstance() && !stopping() && !deadline.hasExpired() &&
           !writer->ReadString(QStringLiteral("PDFFileName")).value_or(QString()).isEmpty()) {
      const auto left = std::chrono::milliseconds(deadline.remainingTime());
      QThread::msleep(static_cast<unsigned long>(std::min(wait_.step, left).count()));
    }
    writer->WriteString(QStringLiteral("PDFFileName"), path);
    writer->WriteString(QStringLiteral("bExecViewer"), QStringLiteral("0"));
  } catch (const TkvError&) {
  }
  try {
    const auto distiller = store_.OpenKey(TkvHive::CurrentUser, kDistillerKey, TkvKeyOpen::Create);
    distiller->WriteString(applicationPath, path);
    distiller->WriteString(kSplwow64, path);
    if (!applicationPath.isEmpty()) distiller->WriteString(ProcessValueName(applicationPath), path);
  } catch (const TkvError&) {
  }
}

std::optional<QString> TkvPdfPrinters::ReadValue(TkvHive hive, const QString& key,
                                                 const QString& name) const {
  try {
    auto value =
        store_.OpenKey(hive, key, TkvKeyOpen::Existing, TkvKeyAccess::Read)->ReadString(name);
    if (value && !value->isEmpty()) return value;
  } catch (const TkvError&) {
  }
  return std::nullopt;
}

std::optional<QString> TkvPdfPrinters::OutputPath(const QString& printerName,
                                                  const QString& applicationPath) const {
  if (printerName == kFreePdfXp)
    return ReadValue(TkvHive::LocalMachine, kFreePdfKey, QStringLiteral("PDFFilename"));
  if (!applicationPath.isEmpty())
    return ReadValue(TkvHive::CurrentUser, kDistillerKey, ProcessValueName(applicationPath));
  if (auto path = ReadValue(TkvHive::CurrentUser, kPdfWriterKey, QStringLiteral("PDFFileName")))
    return path;
  return ReadValue(TkvHive::CurrentUser, kDistillerKey, kSplwow64);
}

void TkvPdfPrinters::OutputDelivered(const QString& printerName, const QString& path,
                                     const QString& applicationPath) const {
  if (printerName == kFreePdfXp) return;
  try {
    const auto writer = store_.OpenKey(TkvHive::CurrentUser, kPdfWriterKey, TkvKeyOpen::Existing);
    if (writer->ReadString(QStringLiteral("PDFFileName")) == path) {
      writer->WriteString(QStringLiteral("PDFFileName"), QString());
    }
  } catch (const TkvError&) {
  }
  if (applicationPath.isEmpty()) return;
  try {
    const auto distiller =
        store_.OpenKey(TkvHive::CurrentUser, kDistillerKey, TkvKeyOpen::Existing);
    const QString own = ProcessValueName(applicationPath);
    if (!distiller->ReadString(own).value_or(QString()).isEmpty())
      distiller->WriteString(own, QString());
  } catch (const TkvError&) {
  }
}
