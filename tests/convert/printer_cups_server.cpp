#include "printer_cups_server.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QThread>

#include <cups/cups.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const char* const kCupsd = "/usr/sbin/cupsd";
const char* const kLpadmin = "/usr/sbin/lpadmin";
const char* const kBackend = "/usr/lib/cups/backend/cups-pdf";
const char* const kPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd";
const char* const kCupsPdfConfDir = "/etc/cups";  // where the backend looks, fixed at its build

}  // namespace

std::unique_ptr<TkvTestCupsServer> TkvTestCupsServer::Start(const QString& queue,
                                                            const QString& description,
                                                            QString* whyNot) {
  if (::geteuid() != 0) {
    *whyNot = "cupsd and the cups-pdf backend need root here";
    return nullptr;
  }
  for (const char* path : {kCupsd, kLpadmin, kBackend, kPpd}) {
    if (!QFileInfo::exists(path)) {
      *whyNot =
          QString("%1 is missing (packages cups, cups-bsd, printer-driver-cups-pdf)").arg(path);
      return nullptr;
    }
  }
  if (::access(kCupsPdfConfDir, W_OK) != 0) {
    *whyNot = QString("%1 is not writable").arg(kCupsPdfConfDir);
    return nullptr;
  }
  std::unique_ptr<TkvTestCupsServer> server(new TkvTestCupsServer);
  if (!server->Launch(queue, description, whyNot)) return nullptr;  // destructor cleans up
  return server;
}

bool TkvTestCupsServer::Launch(const QString& queue, const QString& description, QString* whyNot) {
  const QString root = dir_.path();
  dir_.write("conf/cupsd.conf",
             QString("Listen %1\nLogLevel warn\nBrowsing Off\nWebInterface No\n"
                     "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                     "</Location>\n<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                     "  </Limit>\n</Policy>\n")
                 .arg(SocketPath())
                 .toUtf8());
  dir_.write(
      "conf/cups-files.conf",
      QString("ServerRoot %1/conf\nRequestRoot %1/spool\nTempDir %1/spool/tmp\nStateDir %1/state\n"
              "CacheDir %1/cache\nAccessLog %1/log/access_log\nErrorLog %1/log/error_log\n"
              "PageLog %1/log/page_log\nSandboxing Relaxed\nUser lp\nGroup lp\nSystemGroup root\n"
              "FileDevice No\n")
          .arg(root)
          .toUtf8());
  for (const char* sub : {"spool/tmp", "state", "cache", "log", "out"})
    dir_.write(QString(sub) + "/.keep", "");
  QFile::setPermissions(OutputFolder(), QFileDevice::Permissions(0x7777));

  const QString confName = QString("tabrix%1").arg(::getpid());
  queueConf_ = QString("%1/cups-pdf-%2.conf").arg(kCupsPdfConfDir, confName);
  QFile conf(queueConf_);
  if (!conf.open(QIODevice::WriteOnly) ||
      conf.write(("Out " + OutputFolder() + "\n").toUtf8()) < 0) {
    *whyNot = "cannot write " + queueConf_;
    return false;
  }
  conf.close();

  cupsd_.setProgram(kCupsd);
  cupsd_.setArguments(
      {"-f", "-c", dir_.file("conf/cupsd.conf"), "-s", dir_.file("conf/cups-files.conf")});
  cupsd_.setProcessChannelMode(QProcess::MergedChannels);
  cupsd_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
  cupsd_.start();
  if (!cupsd_.waitForStarted(5000)) {
    *whyNot = "cupsd does not start: " + cupsd_.errorString();
    return false;
  }

  hadServer_ = qEnvironmentVariableIsSet("CUPS_SERVER");
  oldServer_ = qgetenv("CUPS_SERVER");
  qputenv("CUPS_SERVER", SocketPath().toUtf8());
  cupsSetServer(nullptr);  // forget a server this thread may have cached
  serverSet_ = true;

  const QDeadlineTimer ready(15000);
  while (!QFileInfo::exists(SocketPath())) {
    if (cupsd_.state() != QProcess::Running || ready.hasExpired()) {
      *whyNot = "cupsd did not come up: " + LogTail();
      return false;
    }
    QThread::msleep(50);
  }
  QProcess lpadmin;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("CUPS_SERVER", SocketPath());
  lpadmin.setProcessEnvironment(env);
  lpadmin.setProcessChannelMode(QProcess::MergedChannels);
  lpadmin.start(kLpadmin,
                {"-p", queue, "-D", description, "-v", "cups-pdf:/" + confName, "-E", "-P", kPpd});
  if (!lpadmin.waitForFinished(30000) || lpadmin.exitCode() != 0) {
    *whyNot = "lpadmin failed: " + QString::fromLocal8Bit(lpadmin.readAll()) + LogTail();
    return false;
  }
  return true;
}

QString TkvTestCupsServer::LogTail() const {
  return QString::fromLocal8Bit(tabrix::test::readFile(dir_.file("log/error_log")).right(800));
}

TkvTestCupsServer::~TkvTestCupsServer() {
  if (cupsd_.state() != QProcess::NotRunning) {
    cupsd_.terminate();
    if (!cupsd_.waitForFinished(10000)) {
      cupsd_.kill();
      cupsd_.waitForFinished(5000);
    }
  }
  if (serverSet_) {
    if (hadServer_)
      qputenv("CUPS_SERVER", oldServer_);
    else
      qunsetenv("CUPS_SERVER");
    cupsSetServer(nullptr);
  }
  if (!queueConf_.isEmpty()) QFile::remove(queueConf_);
}
