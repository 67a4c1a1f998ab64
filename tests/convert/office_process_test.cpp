// Lifecycle of real LibreOffice processes: start, quit, crash, timeout, restart.

#include "convert/office/office_process.h"
#include "convert/automation/class_registry.h"
#include "convert/office/calc_application.h"
#include "convert/office/office_classes.h"
#include "convert/office/office_timeout.h"
#include "convert/office/office_url.h"
#include "convert/office/uno_object.h"
#include "convert/office/uno_runtime.h"
#include "office_test_env.h"
#include "support/qt_print.h"
#include "support/workbooks.h"

#include <com/sun/star/container/XNameAccess.hpp>

#include <QSysInfo>

#include <signal.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

using namespace tabrix::test;

namespace {

QStringList Entries(const QString& folder) {
  QStringList entries =
      QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  entries.sort();
  return entries;
}

// Watches the office's private folder from another thread and stops the
// office (SIGSTOP) as soon as an export writes there; then runs `frozen`
// (with the office stopped) and `then` continues it or kills it.
class MidExport {
 public:
  MidExport(const TkvOfficeProcess& process, std::function<void()> frozen)
      : thread_([this, &process, frozen = std::move(frozen)] {
          const QString folder = process.TempFolder();
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
          while (std::chrono::steady_clock::now() < deadline) {
            if (!QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty()) {
              ::kill(process.Pid(), SIGSTOP);
              caught_ = true;
              frozen();
              return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }) {}
  ~MidExport() { Join(); }
  // True when the export was caught writing.
  bool Join() {
    if (thread_.joinable()) thread_.join();
    return caught_;
  }

 private:
  bool caught_ = false;
  std::thread thread_;
};

// First in this file: nothing has touched the office environment yet.
TEST(OfficeEnvironment, IsPreparedOnTheCallingThread) {
  const QByteArray dir = tabrix::office::ProgramDir().toLocal8Bit();
  TkvPrepareOfficeEnvironment();
  EXPECT_EQ(qgetenv("UNO_PATH"), dir);
  EXPECT_EQ(qgetenv("URE_BOOTSTRAP"), "vnd.sun.star.pathname:" + dir + "/fundamentalrc");
  // A write to the pipe of an office that died fails instead of ending the
  // process by SIGPIPE.
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  close(ends[1]);
  errno = 0;
  EXPECT_EQ(write(ends[0], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(ends[0]);
}

class OfficeProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TABRIX_REQUIRE_OFFICE();
    officeCacheDir();
    TkvRegisterOfficeClasses();
    ASSERT_TRUE(writeXlsx(dir.file(QStringLiteral("a.xlsx")), threeSheets()));
  }
  void TearDown() override {
    EXPECT_TRUE(childOffices().isEmpty()) << "an office process outlived its owner";
    // A killed office cannot remove its pipe's socket file: its owner does.
    EXPECT_EQ(leftPipeSockets(), QStringList()) << "an office's pipe outlived it";
  }

  std::shared_ptr<TkvAutoObject> open(TkvAutoObject& app,
                                      const QString& name = QStringLiteral("a.xlsx")) {
    return app.GetObject(QStringLiteral("Workbooks"))
        ->Call(QStringLiteral("Open"), {dir.file(name), TkvVariant::Omitted, true})
        .ToObject();
  }

  ScopedTempDir dir;
};

TEST_F(OfficeProcessTest, StartsWithSafeSettingsAndLeavesNothingBehind) {
  pid_t pid = 0;
  {
    TkvOfficeProcess process;
    process.EnsureRunning();
    pid = process.Pid();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(process.IsRunning());
    EXPECT_TRUE(QFileInfo(process.ProfileFolder()).isDir());
    EXPECT_TRUE(process.ProfileFolder().startsWith(
        officeCacheDir().path() + QStringLiteral("/tabrix/") + QSysInfo::machineHostName() +
        QStringLiteral("/office-profile-")))
        << process.ProfileFolder().toStdString();

    // Macros disabled in the profile itself.
    using namespace css;
    using tabrix::office::ConfigNode;
    uno::Reference<container::XNameAccess> node(
        ConfigNode(process.Context(), "/org.openoffice.Office.Common/Security/Scripting"),
        uno::UNO_QUERY_THROW);
    EXPECT_EQ(node->getByName("MacroSecurityLevel").get<sal_Int32>(), 3);
    EXPECT_TRUE(node->getByName("DisableMacrosExecution").get<bool>());
    EXPECT_TRUE(node->getByName("BlockUntrustedRefererLinks").get<bool>());
    // No lock files beside the files it reads or writes.
    uno::Reference<container::XNameAccess> misc(
        ConfigNode(process.Context(), "/org.openoffice.Office.Common/Misc"), uno::UNO_QUERY_THROW);
    EXPECT_FALSE(misc->getByName("UseLocking").get<bool>());
    // Its temporary files go to a private folder of this start.
    EXPECT_TRUE(QFileInfo(process.TempFolder()).isDir());
    EXPECT_TRUE(QFileInfo(process.TempFolder())
                    .fileName()
                    .startsWith(QStringLiteral("office-tmp-%1-").arg(::getpid())));
    const QString temp = process.TempFolder();

    // The profile records the version as run, so later starts skip the
    // office's graphics self-tests.
    uno::Reference<container::XNameAccess> product(
        ConfigNode(process.Context(), "/org.openoffice.Setup/Product"), uno::UNO_QUERY_THROW);
    EXPECT_FALSE(product->getByName("ooSetupVersion").get<rtl::OUString>().isEmpty());
    EXPECT_EQ(product->getByName("ooSetupLastVersion").get<rtl::OUString>(),
              product->getByName("ooSetupVersion").get<rtl::OUString>());

    // Quit ends and reaps the process; the next use starts another one.
    process.Quit();
    EXPECT_TRUE(processGone(pid));
    EXPECT_FALSE(process.IsRunning());
    EXPECT_FALSE(QFileInfo::exists(temp));
    process.EnsureRunning();
    EXPECT_NE(process.Pid(), pid);
    pid = process.Pid();
  }
  EXPECT_TRUE(processGone(pid)) << "the destructor must end and reap the office";
}

TEST_F(OfficeProcessTest, TwoProcessesGetTheirOwnProfiles) {
  TkvOfficeProcess a, b;
  a.EnsureRunning();
  b.EnsureRunning();
  EXPECT_NE(a.Slot(), b.Slot());
  EXPECT_NE(a.Pid(), b.Pid());
  EXPECT_EQ(childOffices().size(), 2);
}

TEST_F(OfficeProcessTest, KilledOfficeCostsOnlyTheOpenWorkbook) {
  auto app = TkvCreateCalcApplication();
  auto process = TkvOfficeProcess::ForThisThread();
  auto book = open(*app);
  const pid_t first = process->Pid();
  ASSERT_EQ(::kill(first, SIGKILL), 0);
  try {
    book->GetObject(QStringLiteral("Sheets"))->Get(QStringLiteral("Count"));
    FAIL() << "a call on a dead office must fail";
  } catch (const TkvAutomationError& e) {
    EXPECT_TRUE(e.Message().contains(QStringLiteral("ended unexpectedly"))) << e.what();
    EXPECT_TRUE(e.Message().contains(dir.file(QStringLiteral("a.xlsx")))) << e.what();
  }
  book->Call(QStringLiteral("Close"), {false});  // never raises, even now
  book.reset();

  auto next = open(*app);  // a fresh process serves the next workbook
  EXPECT_EQ(next->GetObject(QStringLiteral("Sheets"))->Get(QStringLiteral("Count")).ToInt(), 3);
  EXPECT_NE(process->Pid(), first);
  EXPECT_TRUE(processGone(first));
  next->Call(QStringLiteral("Close"), {false});
  app->Call(QStringLiteral("Quit"));
  EXPECT_TRUE(processGone(process->Pid()) || process->Pid() < 0);
}

// An office killed mid-export, by hand or by the item's time-out, leaves
// nothing in the target's folder (no lock file, no temporary file, the old
// PDF whole) and its private folder goes when it is reaped.
TEST_F(OfficeProcessTest, KilledOrTimedOutMidExportLeavesNothingBehind) {
  ASSERT_TRUE(writeXlsx(dir.file(QStringLiteral("big.xlsx")), twentyPages()));
  auto app = TkvCreateCalcApplication();
  auto process = TkvOfficeProcess::ForThisThread();
  const QString out = dir.file(QStringLiteral("out"));
  QDir().mkpath(out);
  dir.write(QStringLiteral("out/big.pdf"), "old PDF");
  const QStringList before = Entries(out);

  for (const bool timeout : {false, true}) {
    auto book = open(*app, QStringLiteral("big.xlsx"));
    const pid_t office = process->Pid();
    const QString temp = process->TempFolder();
    QStringList seen;
    MidExport midExport(*process, [&] {
      seen = Entries(out);
      if (!timeout) ::kill(office, SIGKILL);
    });
    const auto started = std::chrono::steady_clock::now();
    {
      TkvOfficeTimeout guard(timeout ? 3 : 0);
      try {
        book->Call(QStringLiteral("ExportAsFixedFormat"),
                   {std::int32_t{0}, dir.file(QStringLiteral("out/big.pdf"))});
        ADD_FAILURE() << "the export must not succeed";
      } catch (const TkvAutomationError& e) {
        EXPECT_TRUE(e.Message().contains(timeout ? QStringLiteral("timed out after 3 seconds")
                                                 : QStringLiteral("ended unexpectedly")))
            << e.what();
      }
      EXPECT_EQ(guard.Expired(), timeout);
    }
    ASSERT_TRUE(midExport.Join()) << "the export was not caught writing";
    EXPECT_EQ(seen, before) << "the office wrote in the target's folder mid-export";
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              30);
    book.reset();
    auto next = open(*app);  // a fresh office; the dead one is reaped
    EXPECT_NE(process->Pid(), office);
    EXPECT_TRUE(processGone(office));
    EXPECT_FALSE(QFileInfo::exists(temp)) << "the killed office's private folder stayed";
    EXPECT_EQ(Entries(out), before);
    EXPECT_EQ(readFile(dir.file(QStringLiteral("out/big.pdf"))), "old PDF");
    next->Call(QStringLiteral("Close"), {false});
  }
}

TEST_F(OfficeProcessTest, RestartsAfterItsDocumentQuota) {
  TkvOfficeProcess::Options options;
  options.maxDocuments = 2;
  auto process = std::make_shared<TkvOfficeProcess>(options);
  auto app = TkvCreateCalcApplication(process);
  QList<pid_t> pids;
  for (int i = 0; i < 3; ++i) {
    auto book = open(*app);
    pids.append(process->Pid());
    book->Call(QStringLiteral("Close"), {false});
  }
  EXPECT_EQ(pids[0], pids[1]);
  EXPECT_NE(pids[1], pids[2]);
  EXPECT_TRUE(processGone(pids[0]));
}

TEST_F(OfficeProcessTest, TheMemoryBenchmarkSetsTheLimitsOfAConverterThreadsOffice) {
  // As scripts/bench-memory.sh runs the program.
  struct Variable {
    const char* name;
    Variable(const char* n, const char* value) : name(n) { qputenv(name, value); }
    ~Variable() { qunsetenv(name); }
  } documents("TABRIX_OFFICE_MAX_DOCUMENTS", "1"), resident("TABRIX_OFFICE_MAX_RESIDENT_MB", "0");
  auto process = std::make_shared<TkvOfficeProcess>();
  auto app = TkvCreateCalcApplication(process);
  auto book = open(*app);
  const pid_t first = process->Pid();
  book->Call(QStringLiteral("Close"), {false});
  book = open(*app);
  EXPECT_NE(process->Pid(), first);
  EXPECT_TRUE(processGone(first));
  book->Call(QStringLiteral("Close"), {false});
}

TEST_F(OfficeProcessTest, RestartsWhenItsMemoryPassesTheLimitButNeverWithADocumentOpen) {
  TkvOfficeProcess::Options options;
  options.maxResidentMb = 1;  // every office is larger
  auto process = std::make_shared<TkvOfficeProcess>(options);
  auto app = TkvCreateCalcApplication(process);
  auto first = open(*app);
  const pid_t grown = process->Pid();
  EXPECT_GT(process->ResidentKb(), 1024);
  auto second = open(*app);  // the first is still open: no restart under it
  EXPECT_EQ(process->Pid(), grown);
  first->Call(QStringLiteral("Close"), {false});
  second->Call(QStringLiteral("Close"), {false});
  auto third = open(*app);
  EXPECT_NE(process->Pid(), grown);
  EXPECT_TRUE(processGone(grown));
  EXPECT_EQ(third->GetObject(QStringLiteral("Sheets"))->Get(QStringLiteral("Count")).ToInt(), 3);
}

TEST_F(OfficeProcessTest, FailedCloseStillCountsTheDocumentClosed) {
  auto manager = TkvCreateOfficeServiceManager();
  auto process = TkvOfficeProcess::ForThisThread();
  auto desktop =
      manager
          ->Call(QStringLiteral("createInstance"), {QStringLiteral("com.sun.star.frame.Desktop")})
          .ToObject();
  auto hidden = manager
                    ->Call(QStringLiteral("Bridge_GetStruct"),
                           {QStringLiteral("com.sun.star.beans.PropertyValue")})
                    .ToObject();
  hidden->Put(QStringLiteral("Name"), QStringLiteral("Hidden"));
  hidden->Put(QStringLiteral("Value"), true);
  auto document =
      desktop
          ->Call(QStringLiteral("loadComponentFromURL"),
                 {TkvOfficeFileUrl(dir.file(QStringLiteral("a.xlsx"))), QStringLiteral("_blank"),
                  std::int32_t{0}, TkvVariant(TkvArgs{TkvVariant(hidden)})})
          .ToObject();
  EXPECT_EQ(process->DocumentsOpen(), 1);
  EXPECT_THROW(document->Call(QStringLiteral("close")),
               TkvAutomationError);  // no argument: refused
  EXPECT_EQ(process->DocumentsOpen(), 0) << "the restart after the document quota would never come";
  document->Call(QStringLiteral("close"), {true});
  EXPECT_EQ(process->DocumentsOpen(), 0);
}

TEST_F(OfficeProcessTest, ConverterThreadsWorkOnTheirOwnOfficesAtOnce) {
  pid_t pids[2] = {0, 0};
  QString errors[2];
  auto work = [&](int i) {
    try {
      TkvAutomationInitThread();
      auto app = TkvCreateObject(QStringLiteral("Excel.Application"));
      auto book = open(*app);
      book->Call(QStringLiteral("ExportAsFixedFormat"),
                 {std::int32_t{0}, dir.file(QStringLiteral("t%1.pdf").arg(i))});
      pids[i] = TkvOfficeProcess::ForThisThread()->Pid();
      book->Call(QStringLiteral("Close"), {false});
      app->Call(QStringLiteral("Quit"));
    } catch (const TkvError& e) {
      errors[i] = e.Message();
    }
  };
  std::thread a(work, 0), b(work, 1);
  a.join();
  b.join();
  EXPECT_TRUE(errors[0].isEmpty() && errors[1].isEmpty())
      << errors[0].toStdString() << errors[1].toStdString();
  EXPECT_NE(pids[0], pids[1]);
  EXPECT_GT(pdfPageCount(dir.file(QStringLiteral("t0.pdf"))), 0);
  EXPECT_GT(pdfPageCount(dir.file(QStringLiteral("t1.pdf"))), 0);
  EXPECT_TRUE(processGone(pids[0]) && processGone(pids[1]));
}

// What offices of dead runs left: their pipe sockets and private folders.
TEST(OfficeLeftovers, OnlyThoseOfDeadTabrixProcessesAreRemoved) {
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  ScopedTempDir root;
  auto name = [](pid_t pid, const char* program = "tabrix") {
    return QStringLiteral("OSL_PIPE_%1_%2-%3-1-2-ab")
        .arg(::getuid())
        .arg(QLatin1String(program))
        .arg(pid);
  };
  const QString deadSocket = name(dead), liveSocket = name(::getpid()), other = name(dead, "other");
  std::vector<int> sockets;
  for (const QString& socketName : {deadSocket, liveSocket, other}) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = "/tmp/" + socketName.toLatin1();
    ::unlink(path.constData());
    std::strncpy(address.sun_path, path.constData(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    sockets.push_back(fd);
  }
  for (const QString& folder :
       {QStringLiteral("office-tmp-%1-1").arg(dead),
        QStringLiteral("office-tmp-%1-1").arg(::getpid()), QStringLiteral("office-profile-1")})
    root.write(folder + QStringLiteral("/lu1.tmp"), "x");

  TkvOfficeProcess::RemoveDeadLeftovers(root.path());
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/") + deadSocket));
  EXPECT_TRUE(QFileInfo::exists(QStringLiteral("/tmp/") + liveSocket));
  EXPECT_TRUE(QFileInfo::exists(QStringLiteral("/tmp/") + other));
  EXPECT_EQ(Entries(root.path()), (QStringList{QStringLiteral("office-profile-1"),
                                               QStringLiteral("office-tmp-%1-1").arg(::getpid())}));
  for (const int fd : sockets) ::close(fd);
  for (const QString& socketName : {liveSocket, other})
    ::unlink(("/tmp/" + socketName.toLatin1()).constData());
}

}  // namespace
