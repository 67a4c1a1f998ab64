#include "app/run_report.h"

#include "core/error.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

#include <unistd.h>
#include <cmath>

namespace {

double Rounded(double seconds) { return std::round(seconds * 1000.0) / 1000.0; }

QByteArray Line(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace

TkvRunReport::TkvRunReport(const QString& path) : path_(path) {
  bool open;
  if (path == QLatin1String("-"))
    open = file_.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered,
                      QFileDevice::DontCloseHandle);
  else {
    file_.setFileName(path);
    open = file_.open(QIODevice::WriteOnly | QIODevice::Append);
  }
  if (!open)
    throw TkvError(QStringLiteral("Cannot open the report %1: %2").arg(path, file_.errorString()));
}

QByteArray TkvRunReport::ItemLine(const TkvReportItem& item) {
  QJsonObject o;
  o.insert(QStringLiteral("source"), item.source);
  o.insert(QStringLiteral("target"), item.target);
  o.insert(QStringLiteral("files"), QJsonArray::fromStringList(item.files));
  o.insert(QStringLiteral("status"), item.status);
  o.insert(QStringLiteral("message"), item.message);
  o.insert(QStringLiteral("seconds"), Rounded(item.seconds));
  o.insert(QStringLiteral("pages"), item.pages);
  o.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(item.warnings));
  return Line(o);
}

QByteArray TkvRunReport::SummaryLine(const TkvReportSummary& summary) {
  QJsonObject o;
  o.insert(QStringLiteral("items"), summary.items);
  o.insert(QStringLiteral("succeeded"), summary.succeeded);
  o.insert(QStringLiteral("failed"), summary.failed);
  o.insert(QStringLiteral("skipped"), summary.skipped);
  o.insert(QStringLiteral("seconds"), Rounded(summary.seconds));
  return Line(o);
}

void TkvRunReport::Write(const QByteArray& line) {
  QMutexLocker lock(&lock_);
  if (file_.write(line) != line.size() || !file_.flush()) failed_ = true;
}

void TkvRunReport::Check() const {
  QMutexLocker lock(&lock_);
  if (failed_) throw TkvError(QStringLiteral("Cannot write the report %1").arg(path_));
}
