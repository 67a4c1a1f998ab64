#include "app/run_report.h"

#include "app/unattended_progress.h"
#include "core/error.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

double Rounded(double seconds) { return std::round(seconds * 1000.0) / 1000.0; }

QByteArray Line(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace

void TkvCheckRunFile(const QString& path, const QString& what) {
  const QFileInfo info(path);
  const QString folder = info.absolutePath();
  QString why;
  if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
    why = QStringLiteral("the folder %1 cannot be made").arg(folder);
  else if (info.isDir())
    why = QStringLiteral("it is a folder");
  else if (::access(QFile::encodeName(info.exists() ? path : folder).constData(), W_OK) != 0)
    why = QString::fromLocal8Bit(std::strerror(errno));
  if (!why.isEmpty())
    throw TkvError(QStringLiteral("Cannot open the %1 %2: %3").arg(what, path, why));
}

TkvRunReport::TkvRunReport(const QString& path, TkvProgressLine* progress) : path_(path) {
  bool open;
  if (path == QLatin1String("-")) {
    progress_ = progress;
    open = file_.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered,
                      QFileDevice::DontCloseHandle);
  } else {
    TkvCheckRunFile(path, QStringLiteral("report"));
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
  const auto write = [&] {
    if (file_.write(line) != line.size() || !file_.flush()) failed_ = true;
  };
  if (progress_)
    progress_->Around(write);
  else
    write();
}

void TkvRunReport::Check() const {
  QMutexLocker lock(&lock_);
  if (failed_) throw TkvError(QStringLiteral("Cannot write the report %1").arg(path_));
}
