#include "serve/http_service.h"

#include "serve/converter_pool.h"
#include "serve/serve_metrics.h"
#include "serve/serve_options.h"
#include "serve/zip_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <httplib.h>

#include <cstdio>
#include <mutex>

namespace {

const std::string kJson = "application/json";

std::string JsonText(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

void SetError(httplib::Response& response, int status, const QString& message) {
  response.status = status;
  response.set_content(
      JsonText({{QStringLiteral("error"), message}, {QStringLiteral("status"), status}}), kJson);
}

// The name part of a client's file name ("../x.xlsx" -> "x.xlsx"); empty
// when nothing usable is left.
QString BaseName(QString name) {
  name.replace(u'\\', u'/');
  name = name.mid(name.lastIndexOf(u'/') + 1);
  for (const QChar c : name)
    if (c.unicode() < 0x20 || c == u'"') return {};
  if (name == QLatin1String(".") || name == QLatin1String("..")) return {};
  return name;
}

bool OfficeProblem(const QString& message) {
  return message.contains(QLatin1String("could not be started")) ||
         message.contains(QLatin1String("is not installed")) ||
         message.contains(QLatin1String("did not accept a connection"));
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::mutex g_logLock;

}  // namespace

TkvHttpService::TkvHttpService(TkvConverterPool& pool, TkvServiceConfig config)
    : pool_(pool),
      config_(std::move(config)),
      metrics_(std::make_unique<TkvServeMetrics>()),
      server_(std::make_unique<httplib::Server>()) {
  // Converting, waiting and a few more for health, metrics and refusals.
  const int workers = pool_.Threads() + config_.maxQueue + 4;
  server_->new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  server_->set_payload_max_length(static_cast<size_t>(config_.maxUploadMb) * 1024 * 1024);
  server_->Post("/convert", [this](const httplib::Request& request, httplib::Response& response) {
    Convert(request, response);
  });
  server_->Get("/health",
               [this](const httplib::Request&, httplib::Response& response) { Health(response); });
  server_->Get("/version", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(JsonText({{QStringLiteral("name"), config_.title},
                                   {QStringLiteral("version"), config_.version}}),
                         kJson);
  });
  server_->Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
    TkvServeMetrics::Gauges gauges;
    gauges.queue = pool_.Waiting();
    gauges.converters = pool_.Threads();
    gauges.busy = pool_.Busy();
    gauges.officeRestarts = pool_.OfficeRestarts();
    response.set_content(metrics_->Text(gauges).toStdString(),
                         "text/plain; version=0.0.4; charset=utf-8");
  });
  // Refusals made by the library itself (413, 404, 400) get the JSON body too.
  server_->set_error_handler([this](const httplib::Request& request, httplib::Response& response) {
    if (!response.body.empty()) return;
    const int status = response.status;
    QString message = status == 404 ? QStringLiteral("No such address: %1 %2")
                                          .arg(QString::fromStdString(request.method),
                                               QString::fromStdString(request.path))
                      : status == 400 ? QStringLiteral("The request is not valid HTTP")
                                      : QStringLiteral("HTTP error %1").arg(status);
    if (status == 413) {
      message = QStringLiteral("The upload is larger than %1 MB").arg(config_.maxUploadMb);
      if (request.path == "/convert") {
        metrics_->Count(QStringLiteral("too_large"), 0, 0);
        Log(QString(), status, QStringLiteral("too_large"), 0, 0);
      }
    }
    SetError(response, status, message);
  });
}

TkvHttpService::~TkvHttpService() = default;

int TkvHttpService::Bind(const QString& host, int port) {
  const std::string address = host.toStdString();
  if (port == 0) return server_->bind_to_any_port(address);
  return server_->bind_to_port(address, port) ? port : -1;
}

void TkvHttpService::Run() { server_->listen_after_bind(); }

void TkvHttpService::Stop() { server_->stop(); }

bool TkvHttpService::Running() const { return server_->is_running(); }

void TkvHttpService::Log(const QString& name, int status, const QString& outcome, double seconds,
                         int pages) const {
  QString shown = name;  // a client's name never breaks the line
  for (QChar& c : shown)
    if (c.unicode() < 0x20 || c == u'"') c = u'?';
  const QString line = QStringLiteral("tabrix serve: POST /convert \"%1\" %2 %3 %4 s %5 pages\n")
                           .arg(shown)
                           .arg(status)
                           .arg(outcome)
                           .arg(seconds, 0, 'f', 3)
                           .arg(pages);
  std::lock_guard<std::mutex> lock(g_logLock);
  std::fputs(line.toLocal8Bit().constData(), stderr);
  std::fflush(stderr);
}

void TkvHttpService::Refuse(httplib::Response& response, int status, const QString& outcome,
                            const QString& name, const QString& message) {
  SetError(response, status, message);
  metrics_->Count(outcome, 0, 0);
  Log(name, status, outcome, 0, 0);
}

void TkvHttpService::Health(httplib::Response& response) {
  QJsonArray converters;
  bool ok = true;
  for (const TkvConverterPool::Converter& c : pool_.Health()) {
    ok = ok && c.alive && c.officeRunning;
    converters.append(QJsonObject{
        {QStringLiteral("thread"), c.alive ? QStringLiteral("running") : QStringLiteral("ended")},
        {QStringLiteral("office"),
         c.officeRunning ? QStringLiteral("running") : QStringLiteral("stopped")},
        {QStringLiteral("pid"), static_cast<double>(c.officePid)}});
  }
  response.status = ok ? 200 : 503;
  response.set_content(JsonText({{QStringLiteral("status"),
                                  ok ? QStringLiteral("ok") : QStringLiteral("unavailable")},
                                 {QStringLiteral("converters"), converters}}),
                       kJson);
}

void TkvHttpService::Convert(const httplib::Request& request, httplib::Response& response) {
  // Options come from the query string and the form's plain fields only: a
  // raw body is never read as parameters.
  TkvSettings fields;
  QString name;
  const size_t question = request.target.find('?');
  if (question != std::string::npos) {
    const QUrlQuery query(QString::fromStdString(request.target.substr(question + 1)));
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
      if (key == QLatin1String("filename"))
        name = value;
      else
        fields.append({key, value});
    }
  }
  const std::string* bytes = nullptr;  // the upload, as the request holds it
  if (request.is_multipart_form_data()) {
    for (const auto& [key, part] : request.files) {
      if (key == "file") {
        name = QString::fromStdString(part.filename);
        bytes = &part.content;
      } else if (part.filename.empty()) {
        fields.append({QString::fromStdString(key), QString::fromStdString(part.content)});
      }
    }
  } else if (!request.body.empty() && !name.isEmpty()) {
    bytes = &request.body;
  }
  if (!bytes)
    return Refuse(response, 400, QStringLiteral("bad_request"), name,
                  QStringLiteral("No workbook: send it as the form field \"file\", or as the "
                                 "request body with ?filename=NAME"));
  const QString shown = name;
  name = BaseName(name);
  if (name.isEmpty())
    return Refuse(response, 400, QStringLiteral("bad_request"), shown,
                  QStringLiteral("The file name \"%1\" is not usable").arg(shown));
  const QString suffix = QFileInfo(name).suffix().toLower();
  if (suffix != QLatin1String("xls") && suffix != QLatin1String("xlsx") &&
      suffix != QLatin1String("xlsm"))
    return Refuse(response, 415, QStringLiteral("not_a_workbook"), name,
                  QStringLiteral("%1 is not a workbook: the name must end in .xls, .xlsx or .xlsm")
                      .arg(name));
  QString error;
  const TkvSettings settings = TkvRequestSettings(fields, config_.maxTimeout, &error);
  if (!error.isEmpty()) return Refuse(response, 400, QStringLiteral("bad_request"), name, error);

  // The request's private folder: the upload under a name of ours, the PDFs
  // beside it; removed when this function returns.
  QTemporaryDir folder(config_.workFolder + QStringLiteral("/request-XXXXXX"));
  const QString in = folder.path() + QStringLiteral("/in");
  const QString out = folder.path() + QStringLiteral("/out");
  TkvServeJob job;
  job.source = in + QStringLiteral("/workbook.") + suffix;
  job.targetFolder = out;
  job.settings = settings;
  QFile upload(job.source);
  if (!folder.isValid() || !QDir().mkdir(in) || !QDir().mkdir(out) ||
      !upload.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
      upload.write(bytes->data(), static_cast<qint64>(bytes->size())) !=
          static_cast<qint64>(bytes->size()) ||
      !upload.flush())
    return Refuse(response, 500, QStringLiteral("error"), name,
                  QStringLiteral("The upload could not be stored"));
  upload.close();

  const TkvServeOutcome outcome = pool_.Convert(job);
  const QString stem = QFileInfo(name).completeBaseName();
  if (outcome.kind != TkvServeOutcome::Kind::Converted) {
    QString message = outcome.message;
    message.replace(job.source, name);
    message.replace(folder.path() + u'/', QString());
    int status = 422;
    QString kind = QStringLiteral("failed");
    if (outcome.kind == TkvServeOutcome::Kind::Busy) {
      status = 503;
      kind = QStringLiteral("busy");
      response.set_header("Retry-After", "1");
    } else if (outcome.kind == TkvServeOutcome::Kind::Unavailable || OfficeProblem(message)) {
      status = 503;
      kind = QStringLiteral("unavailable");
    } else if (outcome.kind == TkvServeOutcome::Kind::TimedOut) {
      status = 504;
      kind = QStringLiteral("timeout");
    } else if (message.contains(QLatin1String("is not a workbook"), Qt::CaseInsensitive)) {
      // The converter's own finding (a damaged workbook stays 422).
      status = 415;
      kind = QStringLiteral("not_a_workbook");
    }
    SetError(response, status, message);
    metrics_->Count(kind, outcome.seconds, 0);
    Log(name, status, kind, outcome.seconds, 0);
    return;
  }

  std::string body;
  if (outcome.files.size() == 1) {
    body = ReadAll(outcome.files.first()).toStdString();
    response.set_header("Content-Disposition",
                        QStringLiteral("attachment; filename=\"%1.pdf\"").arg(stem).toStdString());
    response.set_content(body, "application/pdf");
  } else {
    TkvZipWriter zip;
    const QString ours = QStringLiteral("workbook");
    for (const QString& file : outcome.files)
      zip.Add(stem + QFileInfo(file).fileName().mid(ours.size()), ReadAll(file));
    const QByteArray archive = zip.Finish();
    if (archive.isEmpty())
      return Refuse(response, 500, QStringLiteral("error"), name,
                    QStringLiteral("The zip of the sheets' PDFs could not be written"));
    response.set_header("Content-Disposition",
                        QStringLiteral("attachment; filename=\"%1.zip\"").arg(stem).toStdString());
    response.set_content(archive.toStdString(), "application/zip");
  }
  response.status = 200;
  response.set_header("X-Tabrix-Pages", std::to_string(outcome.pages));
  response.set_header("X-Tabrix-Seconds", QString::number(outcome.seconds, 'f', 3).toStdString());
  metrics_->Count(QStringLiteral("converted"), outcome.seconds, outcome.pages);
  Log(name, 200, QStringLiteral("converted"), outcome.seconds, outcome.pages);
}
