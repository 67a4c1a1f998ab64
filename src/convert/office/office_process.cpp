#include "convert/office/office_process.h"

#include "convert/office/office_timeout.h"
#include "convert/office/thread_watch.h"
#include "convert/office/uno_runtime.h"
#include "core/error.h"
#include "core/partial_file.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <cppuhelper/implbase1.hxx>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

extern char** environ;

using namespace css;
using rtl::OUString;
using tabrix::office::ToOU;
using tabrix::office::ToQ;

using tabrix::office::DelayedAction;
using tabrix::office::ThreadWatch;

namespace {

class BridgeListener : public cppu::WeakImplHelper1<lang::XEventListener> {
 public:
  explicit BridgeListener(std::shared_ptr<std::atomic<bool>> flag) : flag_(std::move(flag)) {}
  void SAL_CALL disposing(const lang::EventObject&) override { flag_->store(true); }

 private:
  std::shared_ptr<std::atomic<bool>> flag_;
};

QString NewPipeName(int slot) {
  static std::atomic<unsigned> counter{0};
  return QStringLiteral("tabrix-%1-%2-%3-%4")
      .arg(::getpid())
      .arg(slot)
      .arg(++counter)
      .arg(std::chrono::steady_clock::now().time_since_epoch().count() & 0xffffff, 0, 16);
}

}  // namespace

// ---------------------------------------------------------------- process

namespace {

// The shipped options; for benchmarks of the memory recycling only, the
// environment variables TABRIX_OFFICE_MAX_RESIDENT_MB and
// TABRIX_OFFICE_MAX_DOCUMENTS (whole numbers; 0 turns the resident limit off)
// replace the limits. No project option reaches them.
TkvOfficeProcess::Options DefaultOptions() {
  TkvOfficeProcess::Options options;
  bool ok = false;
  if (const int mb = qEnvironmentVariableIntValue("TABRIX_OFFICE_MAX_RESIDENT_MB", &ok);
      ok && mb >= 0)
    options.maxResidentMb = mb;
  if (const int n = qEnvironmentVariableIntValue("TABRIX_OFFICE_MAX_DOCUMENTS", &ok); ok && n > 0)
    options.maxDocuments = n;
  return options;
}

}  // namespace

TkvOfficeProcess::TkvOfficeProcess() : TkvOfficeProcess(DefaultOptions()) {}

TkvOfficeProcess::TkvOfficeProcess(Options options)
    : options_(std::move(options)), watch_(ThreadWatch::ForThisThread()) {
  if (options_.profileRoot.isEmpty()) options_.profileRoot = TkvOfficeProfileSlot::DefaultRoot();
  std::lock_guard lock(watch_->mutex);
  watch_->processes.push_back(this);
}

TkvOfficeProcess::~TkvOfficeProcess() {
  Quit();
  std::lock_guard lock(watch_->mutex);
  std::erase(watch_->processes, this);
}

std::shared_ptr<TkvOfficeProcess> TkvOfficeProcess::ForThisThread() {
  thread_local std::weak_ptr<TkvOfficeProcess> current;
  auto process = current.lock();
  if (!process) {
    process = std::make_shared<TkvOfficeProcess>();
    current = process;
  }
  return process;
}

pid_t TkvOfficeProcess::Pid() const {
  TkvMutexLock lock(pidMutex_);
  return pid_;
}

bool TkvOfficeProcess::IsRunning() const {
  TkvMutexLock lock(pidMutex_);
  if (pid_ <= 0 || !bridgeDisposed_ || bridgeDisposed_->load()) return false;
  siginfo_t info{};
  // WNOWAIT: look without reaping; the owner reaps.
  if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
    return false;
  return info.si_pid == 0;
}

void TkvOfficeProcess::Kill() noexcept {
  TkvMutexLock lock(pidMutex_);
  if (pid_ > 0) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
  }
}

void TkvOfficeProcess::Reap(bool block) noexcept {
  for (;;) {
    {
      TkvMutexLock lock(pidMutex_);
      if (pid_ <= 0) return;
      int status = 0;
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_ || (r < 0 && errno == ECHILD)) {
        ::kill(-pid_, SIGKILL);  // anything the office left in its group
        pid_ = -1;
        RemovePipeSocket();
        RemoveTempFolder();
        return;
      }
    }
    if (!block) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void TkvOfficeProcess::RemovePipeSocket() noexcept {
  // The office creates the socket as <tmp>/OSL_PIPE_<uid>_<pipe name> and
  // removes it only when it ends normally. The name is unique to this start,
  // so nothing of another process is touched.
  if (pipeName_.isEmpty()) return;
  const QByteArray name = "OSL_PIPE_" + QByteArray::number(::getuid()) + '_' + pipeName_.toUtf8();
  for (const char* folder : {"/tmp/", "/var/tmp/"}) {
    const QByteArray path = folder + name;
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::getuid())
      ::unlink(path.constData());
  }
  pipeName_.clear();
}

void TkvOfficeProcess::RemoveTempFolder() noexcept {
  if (tempFolder_.isEmpty()) return;
  try {
    QDir(tempFolder_).removeRecursively();
  } catch (...) {
  }
  tempFolder_.clear();
}

QString TkvOfficeProcess::TempFolder() const {
  TkvMutexLock lock(pidMutex_);
  return tempFolder_;
}

void TkvOfficeProcess::RemoveDeadLeftovers(const QString& profileRoot) {
  // Pipe names and private folders carry the id of the tabrix process that
  // started the office (NewPipeName, Spawn): only those whose process is
  // gone are removed, and nothing not named so.
  static const QRegularExpression socket(
      QStringLiteral("^OSL_PIPE_%1_tabrix-([0-9]+)-[0-9]+-[0-9]+-[0-9a-f]+$").arg(::getuid()));
  for (const char* folder : {"/tmp", "/var/tmp"}) {
    const QDir dir(QString::fromLatin1(folder));
    for (const QFileInfo& entry : dir.entryInfoList({QStringLiteral("OSL_PIPE_*_tabrix-*")},
                                                    QDir::System | QDir::Files | QDir::Hidden)) {
      const QRegularExpressionMatch match = socket.match(entry.fileName());
      struct stat st {};
      const QByteArray path = QFile::encodeName(entry.filePath());
      if (match.hasMatch() && TkvProcessGone(match.captured(1).toLongLong()) &&
          ::lstat(path.constData(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::getuid())
        ::unlink(path.constData());
    }
  }
  static const QRegularExpression temp(QStringLiteral("^office-tmp-([0-9]+)-[0-9]+$"));
  for (const QFileInfo& entry :
       QDir(profileRoot).entryInfoList({QStringLiteral("office-tmp-*")}, QDir::Dirs)) {
    const QRegularExpressionMatch match = temp.match(entry.fileName());
    if (match.hasMatch() && !entry.isSymLink() && TkvProcessGone(match.captured(1).toLongLong()))
      QDir(entry.filePath()).removeRecursively();
  }
}

void TkvOfficeProcess::DropConnection() noexcept {
  context_.clear();
  if (bridge_.is()) {
    try {
      uno::Reference<lang::XComponent>(bridge_, uno::UNO_QUERY_THROW)->dispose();
    } catch (...) {
    }
    bridge_.clear();
  }
}

void TkvOfficeProcess::Quit() noexcept {
  if (Pid() <= 0) {
    DropConnection();
    return;
  }
  {
    // A hung office must not hang the quit: kill it after the grace period.
    DelayedAction killer(std::chrono::milliseconds(options_.quitGraceMs), [this] { Kill(); });
    bool terminated = false;
    if (context_.is() && IsRunning()) {
      try {
        terminated = frame::Desktop::create(context_)->terminate();
      } catch (...) {
        // The process may end before the call returns.
        terminated = true;
      }
    }
    DropConnection();
    if (!terminated) Kill();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.quitGraceMs + 1000);
    while (Pid() > 0 && std::chrono::steady_clock::now() < deadline) {
      Reap(false);
      if (Pid() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  Kill();
  Reap(true);
  documentsOpen_ = 0;
}

QString TkvOfficeProcess::FailureMessage(const QString& text, bool connectionFailure) const {
  const QString timeout = TkvOfficeTimeout::ThreadTimeoutMessage();
  if (!timeout.isEmpty()) return timeout;
  // A call fails as soon as the office's pipe closes, a moment before its
  // death is visible: look again briefly before calling it alive.
  bool dead = Pid() > 0 && !IsRunning();
  for (int i = 0; connectionFailure && i < 20 && !dead && Pid() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    dead = !IsRunning();
  }
  if (dead)
    return text.isEmpty() ? QStringLiteral("LibreOffice ended unexpectedly")
                          : QStringLiteral("LibreOffice ended unexpectedly (%1)").arg(text);
  return text;
}

long TkvOfficeProcess::ResidentKb() const {
  const pid_t pid = Pid();
  if (pid <= 0) return 0;
  QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
  if (!statm.open(QIODevice::ReadOnly)) return 0;
  // "size resident shared …" in pages.
  const QList<QByteArray> fields = statm.readAll().split(' ');
  const long pages = fields.size() > 1 ? fields[1].toLong() : 0;
  return pages * (::sysconf(_SC_PAGESIZE) / 1024);
}

void TkvOfficeProcess::EnsureRunning() {
  if (const QString timeout = TkvOfficeTimeout::ThreadTimeoutMessage(); !timeout.isEmpty())
    throw TkvError(timeout);
  if (IsRunning()) {
    if (documentsOpen_ > 0) return;  // never while a document is open
    const bool served = documentsServed_ >= options_.maxDocuments;
    const bool grown =
        options_.maxResidentMb > 0 && ResidentKb() > long(options_.maxResidentMb) * 1024;
    if (!served && !grown) return;
    Quit();  // served enough documents or grew too large: a fresh process bounds memory growth
  } else if (Pid() > 0 || bridge_.is()) {
    // Crashed, killed or timed out: clean up, then start anew.
    DropConnection();
    Kill();
    Reap(true);
  }
  documentsServed_ = 0;
  documentsOpen_ = 0;
  Start();
}

pid_t TkvOfficeProcess::Spawn(const QString& pipeName) {
  const QString programPath = tabrix::office::ProgramDir() + QStringLiteral("/soffice.bin");
  if (!QFile::exists(programPath))
    throw TkvError(QStringLiteral("LibreOffice is not installed: %1 is missing").arg(programPath));
  const QByteArray program = QFile::encodeName(programPath);
  const QByteArray profileUrl =
      QUrl::fromLocalFile(profile_->Folder()).toString(QUrl::FullyEncoded).toUtf8();
  std::vector<QByteArray> args = {
      program,
      "--headless",
      "--invisible",
      "--norestore",
      "--nologo",
      "--nodefault",
      "--nolockcheck",
      "-env:UserInstallation=" + profileUrl,
      "--accept=pipe,name=" + pipeName.toUtf8() + ";urp;StarOffice.ComponentContext"};
  std::vector<char*> argv;
  for (QByteArray& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The office's own temporary files go to a folder of this start, removed
  // when the process has ended (Reap), or by a later run when this one dies.
  static std::atomic<unsigned> tempCounter{0};
  const QString tempFolder = QStringLiteral("%1/office-tmp-%2-%3")
                                 .arg(options_.profileRoot)
                                 .arg(::getpid())
                                 .arg(++tempCounter);
  QDir(tempFolder).removeRecursively();
  if (::mkdir(QFile::encodeName(tempFolder).constData(), 0700) != 0)
    throw TkvError(QStringLiteral("LibreOffice could not be started: cannot create its temporary "
                                  "folder %1")
                       .arg(tempFolder));
  {
    TkvMutexLock lock(pidMutex_);
    tempFolder_ = tempFolder;
  }
  std::vector<QByteArray> variables;
  for (char** e = environ; *e; ++e) {
    const QByteArray variable(*e);
    if (!variable.startsWith("TMPDIR=") && !variable.startsWith("TMP=") &&
        !variable.startsWith("TEMP="))
      variables.push_back(variable);
  }
  for (const char* name : {"TMPDIR=", "TMP=", "TEMP="})
    variables.push_back(name + QFile::encodeName(tempFolder));
  std::vector<char*> envp;
  for (QByteArray& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);

  const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Child: async-signal-safe calls only.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // the owning thread ended: end too
    if (::getppid() != parent) ::_exit(127);
    ::setpgid(0, 0);
    if (devNull >= 0) {
      ::dup2(devNull, 0);
      ::dup2(devNull, 1);
      ::dup2(devNull, 2);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (devNull >= 0) ::close(devNull);
  if (pid < 0) {
    TkvMutexLock lock(pidMutex_);
    RemoveTempFolder();
    throw TkvError(QStringLiteral("LibreOffice could not be started: fork failed"));
  }
  ::setpgid(pid, pid);  // also from the parent, so the group exists before any kill
  {
    TkvMutexLock lock(pidMutex_);
    pid_ = pid;
    pipeName_ = pipeName;
  }
  {
    std::lock_guard lock(watch_->mutex);  // the guard may have expired meanwhile
    if (watch_->expiredSeconds > 0) Kill();
  }
  return pid;
}

void TkvOfficeProcess::Connect(pid_t pid, const QString& pipeName, int* exitCode) {
  auto local = tabrix::office::LocalContext();
  auto connector = connection::Connector::create(local);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.startTimeoutMs);
  uno::Reference<connection::XConnection> connection;
  while (!connection.is()) {
    {
      TkvMutexLock lock(pidMutex_);
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid_ = -1;
        RemovePipeSocket();
        RemoveTempFolder();
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        throw TkvError(
            QStringLiteral("LibreOffice exited with code %1 while starting").arg(*exitCode));
      }
    }
    if (std::chrono::steady_clock::now() > deadline)
      throw TkvError(QStringLiteral("LibreOffice did not accept a connection within %1 seconds")
                         .arg(options_.startTimeoutMs / 1000));
    try {
      connection = connector->connect(ToOU(QStringLiteral("pipe,name=") + pipeName));
    } catch (const connection::NoConnectException&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  auto disposed = std::make_shared<std::atomic<bool>>(false);
  {
    TkvMutexLock lock(pidMutex_);  // IsRunning reads it from other threads
    bridgeDisposed_ = disposed;
  }
  bridge_ =
      bridge::BridgeFactory::create(local)->createBridge(OUString(), "urp", connection, nullptr);
  uno::Reference<lang::XComponent>(bridge_, uno::UNO_QUERY_THROW)
      ->addEventListener(new BridgeListener(disposed));
  context_.set(bridge_->getInstance("StarOffice.ComponentContext"), uno::UNO_QUERY);
  if (!context_.is())
    throw TkvError(QStringLiteral("LibreOffice did not provide its component context"));
}

void TkvOfficeProcess::ApplyProfileSettings() {
  // Macros never run and links from untrusted documents are blocked, whatever
  // the document asks; loads also pass MacroExecutionMode NEVER.
  auto scripting = tabrix::office::ConfigNode(
      context_, "/org.openoffice.Office.Common/Security/Scripting", true);
  uno::Reference<container::XNameReplace> security(scripting, uno::UNO_QUERY_THROW);
  security->replaceByName("MacroSecurityLevel", uno::Any(sal_Int32(3)));
  security->replaceByName("DisableMacrosExecution", uno::Any(true));
  security->replaceByName("BlockUntrustedRefererLinks", uno::Any(true));
  uno::Reference<util::XChangesBatch>(scripting, uno::UNO_QUERY_THROW)->commitChanges();

  // No ".~lock.<name>#" files: documents are opened read-only and written
  // in the office's private folder, so locking protects nothing, and a
  // killed office would leave its lock files in the user's folders.
  auto misc = tabrix::office::ConfigNode(context_, "/org.openoffice.Office.Common/Misc", true);
  uno::Reference<container::XNameReplace>(misc, uno::UNO_QUERY_THROW)
      ->replaceByName("UseLocking", uno::Any(false));
  uno::Reference<util::XChangesBatch>(misc, uno::UNO_QUERY_THROW)->commitChanges();

  // The office runs its graphics self-tests at every start (3.2 s of a 3.4 s
  // headless start on a 2-core machine) until the profile records that this
  // version has run, which a headless office never does itself. Recorded
  // here, every later start on this profile skips them.
  auto product = tabrix::office::ConfigNode(context_, "/org.openoffice.Setup/Product", true);
  uno::Reference<container::XNameAccess> productRead(product, uno::UNO_QUERY_THROW);
  OUString version, lastVersion;
  productRead->getByName("ooSetupVersion") >>= version;
  productRead->getByName("ooSetupLastVersion") >>= lastVersion;
  if (!version.isEmpty() && lastVersion != version) {
    uno::Reference<container::XNameReplace>(product, uno::UNO_QUERY_THROW)
        ->replaceByName("ooSetupLastVersion", uno::Any(version));
    uno::Reference<util::XChangesBatch>(product, uno::UNO_QUERY_THROW)->commitChanges();
  }
}

void TkvOfficeProcess::Start() {
  if (!profile_) profile_ = std::make_unique<TkvOfficeProfileSlot>(options_.profileRoot);
  {
    // Once per run and profile root: what offices of runs that died left.
    static TkvMutex sweptLock;
    static QSet<QString> swept;
    TkvMutexLock lock(sweptLock);
    if (!swept.contains(options_.profileRoot)) {
      swept.insert(options_.profileRoot);
      RemoveDeadLeftovers(options_.profileRoot);
    }
  }
  bool retriedFirstStart = false;
  bool resetProfile = false;
  for (;;) {
    const QString pipeName = NewPipeName(profile_->Slot());
    int exitCode = -1;
    try {
      const pid_t pid = Spawn(pipeName);
      Connect(pid, pipeName, &exitCode);
      ApplyProfileSettings();
      ++startCount_;
      return;
    } catch (const std::exception& e) {
      DropConnection();
      Kill();
      Reap(true);
      const QString text = QString::fromUtf8(e.what());
      if (const QString timeout = TkvOfficeTimeout::ThreadTimeoutMessage(); !timeout.isEmpty())
        throw TkvError(timeout);
      if (exitCode == 81 && !retriedFirstStart) {
        retriedFirstStart = true;  // a new profile folder was just created: start again
        continue;
      }
      if (exitCode >= 0 && exitCode != 81 && exitCode != 127 && !resetProfile) {
        resetProfile = true;  // a damaged profile keeps the office from starting
        profile_->Reset();
        retriedFirstStart = false;
        continue;
      }
      throw TkvError(text.startsWith(QLatin1String("LibreOffice"))
                         ? text
                         : QStringLiteral("LibreOffice could not be started: %1").arg(text));
    } catch (const uno::Exception& e) {
      DropConnection();
      Kill();
      Reap(true);
      if (const QString timeout = TkvOfficeTimeout::ThreadTimeoutMessage(); !timeout.isEmpty())
        throw TkvError(timeout);
      throw TkvError(QStringLiteral("LibreOffice could not be started: %1")
                         .arg(tabrix::office::ExceptionText(e)));
    }
  }
}

uno::Reference<uno::XComponentContext> TkvOfficeProcess::Context() {
  EnsureRunning();
  return context_;
}

uno::Reference<lang::XMultiComponentFactory> TkvOfficeProcess::ServiceManager() {
  return Context()->getServiceManager();
}

uno::Reference<frame::XDesktop2> TkvOfficeProcess::Desktop() {
  return frame::Desktop::create(Context());
}
