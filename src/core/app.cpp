#include "core/app.h"

#include "core/path_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>
#include <atomic>
#include <cstdlib>

namespace {

std::atomic<TkvApp*> g_app{nullptr};

QString XdgDir(const char* var, const char* fallbackBelowHome) {
  const char* value = std::getenv(var);
  if (value && *value == '/') return QFile::decodeName(value);
  return QDir::homePath() + QLatin1String(fallbackBelowHome);
}

bool InSystemPrefix(const QString& path) {
  for (const char* prefix : {"/usr/", "/bin/", "/sbin/"}) {
    if (path.startsWith(QLatin1String(prefix)) && !path.startsWith(QLatin1String("/usr/local/")))
      return true;
  }
  return false;
}

}  // namespace

TkvApp::TkvApp(QString exePath, QString firstArg, Placement placement)
    : exePath_(std::move(exePath)), firstArg_(std::move(firstArg)) {
  switch (placement) {
    case Placement::BesideProgram:
      beside_ = true;
      break;
    case Placement::PerUser:
      beside_ = false;
      break;
    case Placement::Auto: {
      const QString folder = ProgramFolder();
      beside_ =
          !InSystemPrefix(exePath_) &&
          ::access(QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
                   W_OK) == 0;
      break;
    }
  }
  g_app.store(this);
}

TkvApp::~TkvApp() {
  TkvApp* self = this;
  g_app.compare_exchange_strong(self, nullptr);
}

std::unique_ptr<TkvApp> TkvApp::FromProcess(int argc, char** argv) {
  QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
  if (exe.isEmpty() && argc > 0 && argv[0])
    exe = QFileInfo(QFile::decodeName(argv[0])).absoluteFilePath();
  const QString first = argc > 1 && argv[1] ? QString::fromLocal8Bit(argv[1]) : QString();
  return std::make_unique<TkvApp>(exe, first);
}

TkvApp* TkvApp::Instance() { return g_app.load(); }

QString TkvApp::ProgramFolder() const {
  QString folder = TkvFolderPart(exePath_);
  if (folder.size() > 1) folder.chop(1);
  return folder;
}

QString TkvApp::DefaultProjectFile(const QString& projectExt) const {
  if (beside_) return TkvChangeExt(exePath_, projectExt);
  return XdgDir("XDG_CONFIG_HOME", "/.config") + QLatin1String("/tabrix/") +
         TkvChangeExt(TkvNamePart(exePath_), projectExt);
}

QString TkvApp::RecentProjectsFile() const {
  if (beside_) return exePath_ + QLatin1String(".log");
  return XdgDir("XDG_STATE_HOME", "/.local/state") + QLatin1String("/tabrix/") +
         TkvNamePart(exePath_) + QLatin1String(".log");
}

QString TkvApp::InfoStoreFile() const {
  if (beside_) return TkvChangeExt(exePath_, QStringLiteral(".ext"));
  return XdgDir("XDG_STATE_HOME", "/.local/state") + QLatin1String("/tabrix/") +
         TkvChangeExt(TkvNamePart(exePath_), QStringLiteral(".ext"));
}

QString TkvApp::HelpFileBase() const { return TkvChangeExt(exePath_, QString()); }
