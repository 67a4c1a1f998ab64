#include "convert/printer/print_route.h"

#include "convert/printer/cups_handles.h"
#include "convert/printer/printer_list.h"
#include "core/error.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QUuid>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>

QString TkvCupsPdfOutputFolder(const QString& deviceUri, const QString& userName,
                               const QString& home, const QString& confDir) {
  static const QRegularExpression uriPattern(QStringLiteral("^cups-pdf:/*([^/]*)$"));
  const auto match = uriPattern.match(deviceUri);
  if (!match.hasMatch()) return {};
  const QString name = match.captured(1);
  QString confPath = confDir + QStringLiteral("/cups-pdf.conf");
  if (!name.isEmpty() &&
      QFileInfo::exists(confDir + QStringLiteral("/cups-pdf-%1.conf").arg(name))) {
    confPath = confDir + QStringLiteral("/cups-pdf-%1.conf").arg(name);
  }
  QString out = QStringLiteral("/var/spool/cups-pdf/${USER}");  // cups-pdf's built-in default
  QFile conf(confPath);
  if (conf.open(QIODevice::ReadOnly)) {
    for (const QString& raw : QString::fromUtf8(conf.readAll()).split(u'\n')) {
      const QString line = raw.trimmed();
      if (line.startsWith(QStringLiteral("Out")) && line.size() > 3 && line[3].isSpace()) {
        out = line.mid(4).trimmed();
      }
    }
  }
  out.replace(QStringLiteral("${HOME}"), home);
  out.replace(QStringLiteral("${USER}"), userName);
  return QDir::cleanPath(out);
}

namespace {

QString StateName(int state) {
  switch (state) {
    case IPP_JSTATE_PENDING:
      return QStringLiteral("pending");
    case IPP_JSTATE_HELD:
      return QStringLiteral("held");
    case IPP_JSTATE_PROCESSING:
      return QStringLiteral("processing");
    case IPP_JSTATE_STOPPED:
      return QStringLiteral("stopped");
    case IPP_JSTATE_CANCELED:
      return QStringLiteral("canceled");
    case IPP_JSTATE_ABORTED:
      return QStringLiteral("aborted");
    case IPP_JSTATE_COMPLETED:
      return QStringLiteral("completed");
    default:
      return QStringLiteral("unknown");
  }
}

// The job's state, or 0 when the scheduler does not answer.
int JobState(http_t* http, int jobId) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  const QByteArray uri = QStringLiteral("ipp://localhost/jobs/%1").arg(jobId).toUtf8();
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "job-state");
  const TkvIppMessage response(cupsDoRequest(http, request, "/"));  // frees the request
  if (!response) return 0;
  ipp_attribute_t* state = ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM);
  return state ? ippGetInteger(state, 0) : 0;
}

// Cancels a job that must not go on; failures are ignored.
class JobGuard {
 public:
  JobGuard(http_t* http, QByteArray queue, int jobId)
      : http_(http), queue_(std::move(queue)), jobId_(jobId) {}
  ~JobGuard() {
    if (!done_) cupsCancelJob2(http_, queue_.constData(), jobId_, 0);
  }
  JobGuard(const JobGuard&) = delete;
  JobGuard& operator=(const JobGuard&) = delete;
  void Done() { done_ = true; }

 private:
  http_t* http_;
  QByteArray queue_;
  int jobId_;
  bool done_ = false;
};

QString FindOutput(const QString& folder, const QString& token) {
  const QStringList names =
      QDir(folder).entryList({QStringLiteral("*%1*").arg(token)}, QDir::Files);
  return names.isEmpty() ? QString() : folder + u'/' + names.first();
}

QString UserHome(const char* user) {
  const passwd* entry = getpwnam(user);
  return entry ? QFile::decodeName(entry->pw_dir) : QString();
}

}  // namespace

TkvPrintRoute::TkvPrintRoute(const TkvSettingsStore& store, TkvPrintLimits limits)
    : store_(store), limits_(limits) {}

QString TkvPrintRoute::PrintPdf(const QString& printerName, const QString& pdfFile,
                                const QString& applicationPath,
                                const std::function<bool()>& stopRequested) const {
  auto stopping = [&] { return stopRequested && stopRequested(); };
  const TkvPdfPrinters settings(store_);
  const auto target = settings.OutputPath(printerName, applicationPath);
  if (!target) {
    throw TkvError(
        QStringLiteral("No output file is set for the PDF printer \"%1\"").arg(printerName));
  }
  // The path is used up by this job whatever becomes of it.
  struct Consume {
    const TkvPdfPrinters& settings;
    const QString& printer;
    const QString& path;
    const QString& application;
    ~Consume() {
      try {
        settings.OutputDelivered(printer, path, application);
      } catch (...) {
      }
    }
  } consume{settings, printerName, *target, applicationPath};
  const auto printer = TkvFindPrinter(store_.Printers().Printers(), printerName);
  if (!printer)
    throw TkvError(QStringLiteral("The printer \"%1\" is not installed").arg(printerName));
  const char* user = cupsUser();
  const QString folder =
      TkvCupsPdfOutputFolder(printer->deviceUri, QString::fromUtf8(user), UserHome(user));
  if (folder.isEmpty()) {
    throw TkvError(QStringLiteral("The printer \"%1\" is not a cups-pdf printer (device %2): "
                                  "its output cannot be collected")
                       .arg(printerName, printer->deviceUri.isEmpty() ? QStringLiteral("unknown")
                                                                      : printer->deviceUri));
  }
  if (!QFileInfo(pdfFile).isFile())
    throw TkvError(QStringLiteral("The file to print is missing: %1").arg(pdfFile));

  if (stopping()) throw TkvError(QStringLiteral("Printing on \"%1\" was stopped").arg(printerName));
  const QString token = QStringLiteral("tabrix-") + QUuid::createUuid().toString(QUuid::Id128);
  const QByteArray queue = printer->queue.toUtf8();
  TkvCupsConnection http = TkvCupsConnect();
  const int jobId =
      cupsPrintFile2(http.get(), queue.constData(), QFile::encodeName(pdfFile).constData(),
                     token.toUtf8().constData(), 0, nullptr);
  if (jobId <= 0) {
    throw TkvError(QStringLiteral("Printing on \"%1\" failed: %2")
                       .arg(printerName, QString::fromUtf8(cupsLastErrorString())));
  }
  JobGuard guard(http.get(), queue, jobId);
  const QDeadlineTimer deadline(limits_.job);
  for (int state = 0;;) {
    state = JobState(http.get(), jobId);
    if (state == IPP_JSTATE_COMPLETED) break;
    if (state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED) {
      guard.Done();
      throw TkvError(
          QStringLiteral("The print job on \"%1\" was %2").arg(printerName, StateName(state)));
    }
    if (stopping())
      throw TkvError(QStringLiteral("The print job on \"%1\" was stopped").arg(printerName));
    if (deadline.hasExpired()) {
      throw TkvError(
          QStringLiteral(
              "The print job on \"%1\" did not finish within %2 seconds (last state: %3)")
              .arg(printerName)
              .arg(std::chrono::duration_cast<std::chrono::seconds>(limits_.job).count())
              .arg(StateName(state)));
    }
    QThread::msleep(static_cast<unsigned long>(limits_.poll.count()));
  }
  guard.Done();

  QString printed;
  const QDeadlineTimer outputDeadline(limits_.output);
  while ((printed = FindOutput(folder, token)).isEmpty() && !outputDeadline.hasExpired() &&
         !stopping()) {
    QThread::msleep(static_cast<unsigned long>(limits_.poll.count()));
  }
  if (printed.isEmpty()) {
    throw TkvError(
        QStringLiteral("The printer \"%1\" completed the job but its PDF was not found in %2")
            .arg(printerName, folder));
  }
  QFile check(printed);
  if (!check.open(QIODevice::ReadOnly) || !check.read(5).startsWith("%PDF")) {
    QFile::remove(printed);
    throw TkvError(QStringLiteral("The printer \"%1\" wrote no PDF file").arg(printerName));
  }
  check.close();
  QDir().mkpath(QFileInfo(*target).absolutePath());
  if (QFileInfo::exists(*target)) QFile::remove(*target);
  if (!QFile::rename(printed, *target)) {
    QFile::remove(printed);
    throw TkvError(QStringLiteral("The printed PDF cannot be moved to %1").arg(*target));
  }
  return *target;
}
