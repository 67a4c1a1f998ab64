#include "core/project.h"
#include "core/app.h"
#include "core/error.h"
#include "core/info.h"
#include "support/scoped_temp_dir.h"
#include "support/scripted_dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

#include <gtest/gtest.h>

#include <memory>

using tabrix::test::readFile;
using tabrix::test::ScopedTempDir;
using tabrix::test::ScriptedDialogs;

namespace {

class Field : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString text MEMBER text)
  Q_PROPERTY(bool checked MEMBER checked)
 public:
  Field(const char* name, const char* hint) {
    setObjectName(name);
    setProperty("hint", QString(hint));
  }
  QString text;
  bool checked = false;
};

struct Recorder : TkvLinkOpener {
  explicit Recorder(QStringList* out) : links(out) {}
  void Open(const QString& link) override { links->append(link); }
  QStringList* links;
};

class ProjectTest : public ::testing::Test {
 protected:
  ProjectTest() {
    QDir().mkpath(dir.file("bin"));
    Restart();
  }
  // A fresh program start with `arg` as its first argument.
  void Restart(const QString& arg = QString()) {
    project.reset();
    app = std::make_unique<TkvApp>(exe(), arg, TkvApp::Placement::BesideProgram);
    project = std::make_unique<TkvProject>(*app);
    project->SetFileDialogs(&dialogs);
  }
  QString exe() const { return dir.file("bin/tabrix"); }
  QStringList Lines() const { return project->Options().Lines(); }

  ScopedTempDir dir;
  ScriptedDialogs dialogs;
  std::unique_ptr<TkvApp> app;
  std::unique_ptr<TkvProject> project;
};

TEST_F(ProjectTest, StartsWithDefaultsWhenThereIsNothingToLoad) {
  for (const char* arg : {"", "/P", "/X", "-x:Source=/a", "x"}) {
    Restart(arg);
    EXPECT_EQ(project->ParseCommandLine(), TkvCmdResult::Continue) << arg;
    EXPECT_EQ(project->ProjectFileName(), exe() + ".batch-tabrix") << arg;
    EXPECT_TRUE(Lines().isEmpty()) << arg;
    EXPECT_TRUE(project->CommandLineOptions().isEmpty()) << arg;
  }
  EXPECT_EQ(project->ThreadsCount(), 1);
  EXPECT_EQ(project->OverwriteMode(), TkvOverwrite::Overwrite);
  EXPECT_TRUE(project->KeepTargetSubdirs());
  EXPECT_FALSE(project->Subdir() || project->AutomaticRun() || project->UnattendedRoad());
  EXPECT_EQ(project->Sheet(), 0);
  EXPECT_EQ(project->ItemTimeout(), 120);
  EXPECT_EQ(project->TargetFolder(), "");
  EXPECT_TRUE(project->RecentProjects().isEmpty());
}

TEST_F(ProjectTest, CommandLineSourcesAndOptions) {
  const QString book = dir.write("in/Book.xls", "x");
  Restart(book);
  project->ParseCommandLine();
  EXPECT_EQ(Lines(), QStringList({"Source=" + book, "Target=" + dir.file("in/")}));
  EXPECT_EQ(project->ProjectFileName(), "");
  // The window loads the start project again: a default project does not replace the workbook.
  dir.write("bin/tabrix.batch-tabrix", "Source=/default/*.xls\r\n");
  project->LoadInitial();
  EXPECT_EQ(project->Source(), book);
  EXPECT_EQ(project->ProjectFileName(), "");

  const QString bak = dir.write("in/p.batch-tabrix.bak", "Source=/never");
  Restart(bak);
  project->ParseCommandLine();
  EXPECT_EQ(project->Source(), bak);

  Restart("-p:Subdir=1,Source=/x/*.xls");
  project->ParseCommandLine();
  EXPECT_EQ(Lines(), QStringList({"Subdir=1", "Source=/x/*.xls", "Target=/x/"}));
  EXPECT_TRUE(project->Subdir());
  EXPECT_EQ(project->ProjectFileName(), "");

  Restart("/P:Source=/y/a.xls;Target=/t;ThreadsCount=3");
  project->ParseCommandLine();
  EXPECT_EQ(Lines(), QStringList({"Source=/y/a.xls", "Target=/t", "ThreadsCount=3"}));

  // A project named on the command line is loaded and remembered.
  const QString proj = dir.write("p.batch-tabrix", "Source=/z/*.xls\r\nDaemon=500\r\n");
  Restart(proj);
  project->ParseCommandLine();
  EXPECT_EQ(project->ProjectFileName(), proj);
  EXPECT_EQ(project->Daemon(), 500);
  EXPECT_TRUE(project->AutomaticRun());
  EXPECT_EQ(project->RecentProjects(), QStringList({proj}));
}

TEST_F(ProjectTest, InstallerNoticesOpenTheirLinkAndEndTheProgram) {
  QStringList links;
  TkvInfo info(*app, std::make_unique<Recorder>(&links));
  info.SetMakerHost("www.tabrix-converter.example");
  EXPECT_EQ(project->ParseCommandLine("/Iversion=7&x=1"), TkvCmdResult::Exit);
  EXPECT_EQ(project->ParseCommandLine("-u"), TkvCmdResult::Exit);
  ASSERT_EQ(links.size(), 2);
  EXPECT_TRUE(links[0].startsWith("http://www.tabrix-converter.example/net/?a=ins&p=tabrix&"));
  EXPECT_TRUE(links[0].endsWith("&version=7&x=1"));
  EXPECT_TRUE(links[1].contains("/net/?a=uni&p=tabrix&v=2025.17.420.2053&c=r1&i="));
  EXPECT_TRUE(project->ProjectFileName().isEmpty());  // nothing was loaded
}

TEST_F(ProjectTest, OptionReadings) {
  const struct {
    const char* value;
    TkvOverwrite mode;
  } overwrite[] = {{"SKIP", TkvOverwrite::Skip},
                   {"0", TkvOverwrite::OtherName},
                   {"", TkvOverwrite::Overwrite},
                   {"maybe", TkvOverwrite::Overwrite}};
  for (const auto& c : overwrite) {
    project->SetOptionValue("IsOverwrite", c.value);
    EXPECT_EQ(project->OverwriteMode(), c.mode) << c.value;
  }
  const struct {
    const char* value;
    int threads;
  } threads[] = {{"0", 1}, {"-3", 1}, {"4", 4}, {"100000", 64}};
  for (const auto& c : threads) {
    project->SetOptionValue("ThreadsCount", c.value);
    EXPECT_EQ(project->ThreadsCount(), c.threads) << c.value;
  }
  const struct {
    const char* value;
    int seconds;
  } timeouts[] = {{"-1", 120}, {"abc", 120}, {"0", 0}, {"30", 30}};
  for (const auto& c : timeouts) {
    project->SetOptionValue("ItemTimeout", c.value);
    EXPECT_EQ(project->ItemTimeout(), c.seconds) << c.value;  // 0: no limit
  }
  project->SetOptionValue("PureConsole", "1");
  project->SetOptionValue("Source", "/in/*.xls");
  EXPECT_TRUE(project->UnattendedRoad());
  project->SetOptionValue("Source", "http://host/a.xls");
  EXPECT_FALSE(project->UnattendedRoad());
  EXPECT_TRUE(project->AutomaticRun());

  project->SetOptionValue("Target", dir.file("out/deep"));
  EXPECT_EQ(project->TargetFolder(), dir.file("out/deep/"));
  EXPECT_TRUE(QFileInfo(dir.file("out/deep")).isDir());
}

TEST_F(ProjectTest, BoundControlsWithLegacyKeys) {
  Field source("eSource", "Text"), subdir("cSubdir", "Checked"), target("eTarget", "Text");
  project->BindControl(&source);
  project->BindControl(&subdir);
  project->BindControl(&target);
  target.text = "/old";
  subdir.checked = false;
  project->SetOptionsText("eSource.Text=/legacy/*.xls\nSubdir=1\nTarget=\n");
  project->ApplyToControls();
  EXPECT_EQ(source.text, "/legacy/*.xls");
  EXPECT_TRUE(subdir.checked);  // a number reads as a Boolean, so the box shows what runs
  EXPECT_EQ(target.text, "");
  EXPECT_EQ(Lines(), QStringList({"Subdir=1", "Target="}));

  project->CollectFromControls();
  EXPECT_EQ(Lines(), QStringList({"Subdir=True", "Source=/legacy/*.xls"}));

  project->NewProject();
  EXPECT_EQ(source.text, "");
  EXPECT_FALSE(subdir.checked);
}

TEST_F(ProjectTest, SavingOpeningAndRecentProjects) {
  Field source("eSource", "Text");
  project->BindControl(&source);
  source.text = "/in/*.xls";

  // Without a name, saving asks; cancelling writes nothing.
  dialogs.Answer(std::nullopt);
  project->SaveProject();
  ASSERT_EQ(dialogs.calls.size(), 1u);
  EXPECT_EQ(dialogs.calls[0].kind, "save");
  EXPECT_EQ(dialogs.calls[0].filter, "Tabrix Project|*.batch-tabrix");
  EXPECT_EQ(project->ProjectFileName(), "");

  const QString proj = dir.file("saved.batch-tabrix");
  dialogs.Answer(proj);
  project->SaveProject();
  project->SaveProject();
  EXPECT_EQ(readFile(proj), "Source=/in/*.xls\r\n");
  EXPECT_EQ(project->RecentProjects(), QStringList({proj}));

  // A failed write raises, naming the file; the name stays.
  const QString blocked = dir.write("plain", "x") + "/p.batch-tabrix";
  project->SetProjectFileName(blocked);
  try {
    project->SaveProject();
    FAIL();
  } catch (const TkvError& e) {
    EXPECT_TRUE(e.Message().contains(blocked));
  }
  EXPECT_EQ(project->ProjectFileName(), blocked);

  // An unreadable project keeps the options.
  project->SetProjectFileName(dir.file("absent.batch-tabrix"));
  project->OpenProject(false);
  EXPECT_EQ(project->Source(), "/in/*.xls");
  EXPECT_EQ(project->RecentProjects(), QStringList({proj}));

  // The recent list survives a restart; entries equal without case are not repeated.
  Restart();
  EXPECT_EQ(project->RecentProjects(), QStringList({proj}));
  project->AddRecentProject(proj.toUpper());
  project->AddRecentProject("/b.batch-tabrix");
  EXPECT_EQ(project->RecentProjects(), QStringList({"/b.batch-tabrix", proj}));
  // A relative name is stored absolute: the list is read from other folders.
  project->AddRecentProject("proj/nightly.batch-tabrix");
  EXPECT_EQ(project->RecentProjects().first(),
            QDir::current().absoluteFilePath("proj/nightly.batch-tabrix"));
}

TEST_F(ProjectTest, WorkbookOpenedAfterOptionSwitchNeverBecomesTheProject) {
  const QString book = dir.write("in/Book.xlsx", "workbook bytes");
  Restart("/P:Source=/q/*.xls");
  project->ParseCommandLine();
  dialogs.Answer(book);
  EXPECT_TRUE(project->OpenProject(true));
  EXPECT_EQ(dialogs.calls.back().filter,
            "Tabrix Project|*.batch-tabrix|Excel Workbook (*.xls;*.xlsx)|*.xls;*.xlsx");
  EXPECT_EQ(Lines(), QStringList({"Source=/q/*.xls", "Target=/q/"}));
  EXPECT_EQ(project->ProjectFileName(), "");
  dialogs.Answer(std::nullopt);
  project->SaveProject();
  EXPECT_EQ(dialogs.calls.back().kind, "save");
  EXPECT_EQ(readFile(book), "workbook bytes");
  dialogs.Answer(std::nullopt);
  EXPECT_FALSE(project->OpenProject(true));
}

TEST_F(ProjectTest, ProjectFileNames) {
  EXPECT_TRUE(project->IsProjectFile("/a/b.batch-tabrix"));
  EXPECT_FALSE(project->IsProjectFile("/a/b.BATCH-TABRIX"));
  EXPECT_FALSE(project->IsProjectFile("/a/b.batch-tabrix.bak"));
  EXPECT_FALSE(project->IsProjectFile("/a.batch-tabrix/b.batch-tabrix"));
}

TEST(AppFiles, BesideTheProgramOrPerUser) {
  ScopedTempDir dir;
  TkvApp beside("/opt/t/conv.exe", "", TkvApp::Placement::BesideProgram);
  EXPECT_EQ(beside.DefaultProjectFile(".batch-tabrix"), "/opt/t/conv.batch-tabrix");
  EXPECT_EQ(beside.RecentProjectsFile(), "/opt/t/conv.exe.log");
  EXPECT_EQ(beside.InfoStoreFile(), "/opt/t/conv.ext");
  EXPECT_EQ(beside.HelpFileBase(), "/opt/t/conv");
  TkvApp noExt("/opt/t.d/tabrix", "", TkvApp::Placement::BesideProgram);
  EXPECT_EQ(noExt.DefaultProjectFile(".batch-tabrix"), "/opt/t.d/tabrix.batch-tabrix");

  qputenv("XDG_CONFIG_HOME", dir.file("config").toUtf8());
  qputenv("XDG_STATE_HOME", dir.file("state").toUtf8());
  {
    TkvApp installed("/usr/bin/tabrix", "");
    EXPECT_FALSE(installed.BesideProgram());
    EXPECT_EQ(installed.DefaultProjectFile(".batch-tabrix"),
              dir.file("config/tabrix/tabrix.batch-tabrix"));
    EXPECT_EQ(installed.InfoStoreFile(), dir.file("state/tabrix/tabrix.ext"));
    TkvProject project(installed);
    project.AddRecentProject("/r.batch-tabrix");
  }
  EXPECT_EQ(readFile(dir.file("state/tabrix/tabrix.log")), "/r.batch-tabrix\r\n");
  qunsetenv("XDG_CONFIG_HOME");
  qunsetenv("XDG_STATE_HOME");
}

}  // namespace

#include "project_test.moc"
