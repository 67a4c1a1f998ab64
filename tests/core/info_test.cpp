#include "core/info.h"
#include "core/app.h"
#include "core/error.h"
#include "core/file_utils.h"
#include "core/project.h"
#include "support/scoped_temp_dir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using tabrix::test::readFile;
using tabrix::test::ScopedTempDir;

namespace {

struct Recorder : TkvLinkOpener {
  explicit Recorder(QStringList* out) : links(out) {}
  void Open(const QString& link) override { links->append(link); }
  QStringList* links;
};

class InfoTest : public ::testing::Test {
 protected:
  InfoTest() : app(dir.file("bin/tabrix"), QString(), TkvApp::Placement::BesideProgram) {
    QDir().mkpath(dir.file("bin"));
  }
  // With the maker's host of a build configured with one.
  std::unique_ptr<TkvInfo> Make(const QString& host = "www.tabrix-converter.example") {
    auto info = std::make_unique<TkvInfo>(app, std::make_unique<Recorder>(&links));
    info->SetMakerHost(host);
    return info;
  }
  QString Tail(const TkvInfo& info) const {
    return "&c=" + info.CountersText() + "&i=" + QString::number(info.InstallStamp());
  }

  ScopedTempDir dir;
  TkvApp app;
  QStringList links;
};

TEST_F(InfoTest, WebLinksCarryProductCountersAndStamp) {
  auto info = Make();
  EXPECT_EQ(info->CountersText(), "r1");  // a fresh install
  const QString site = "http://www.tabrix-converter.example";
  const QString common = "p=tabrix&v=2025.17.420.2053";
  info->OpenLink("download", "", "");
  info->OpenLink("", "", "");
  info->OpenLink("", "err&e=say \"hi\"", "x=1");
  ASSERT_EQ(links.size(), 3);
  EXPECT_EQ(links[0], site + "/en/tabrix/download.htm?" + common + Tail(*info));
  EXPECT_EQ(links[1], site + "?" + common + Tail(*info));
  EXPECT_EQ(links[2], site + "/net/?a=err&e=say hi&" + common + Tail(*info) + "&x=1");
  EXPECT_NE(info->InstallStamp(), -1);
}

TEST_F(InfoTest, SupportMailAndHelpFile) {
  TkvProject project(app);
  TkvProfile profile = project.Profile();
  profile.Title = "A & B & C";
  project.SetProfile(profile);
  auto info = Make();
  info->OpenLink("supports", "", "");
  info->OpenLink("h", "", "");
  dir.write("bin/tabrix.chm", "help");
  info->OpenLink("h", "ignored", "ignored");
  ASSERT_EQ(links.size(), 3);
  EXPECT_EQ(links[0],
            "mailto:support@tabrix-converter.example?subject=Support required for A And B & C "
            "2025.17.420.2053 - " +
                QString::number(info->InstallStamp()));
  EXPECT_EQ(links[1], dir.file("bin/tabrix.pdf"));
  EXPECT_EQ(links[2], dir.file("bin/tabrix.chm"));
}

TEST_F(InfoTest, QuietSilencesOnlyReports) {
  dir.write("bin/tabrix.ext", "+=1\r\n");
  auto info = Make();
  EXPECT_TRUE(info->Quiet());
  info->ReportException("boom");
  info->ReportFailures({"x"});
  info->OpenLink("", "ins", "");
  EXPECT_TRUE(links.isEmpty());
  info->OpenLink("h", "", "");
  info->OpenLink("download", "", "");
  info->OpenLink("", "", "");
  info->OpenLink("supports", "", "");
  EXPECT_EQ(links.size(), 4);
  EXPECT_EQ(info->Count("E"), 1);
}

TEST_F(InfoTest, WithoutMakerHostOnlyTheHelpFileOpens) {
  auto info = Make("");
  EXPECT_FALSE(info->HasMakerSite());
  EXPECT_TRUE(info->SupportMail().isEmpty());
  info->OpenLink("download", "", "");
  info->OpenLink("", "", "");
  info->OpenLink("supports", "", "");
  info->ReportException("boom");
  info->ReportFailures({"x"});
  info->OpenLink("", "ins", "v=1");
  EXPECT_TRUE(links.isEmpty());
  info->OpenLink("h", "", "");
  EXPECT_EQ(links, QStringList({dir.file("bin/tabrix.pdf")}));
  EXPECT_EQ(TkvInfo::BuildMakerHost(), "");  // the default build has no host
  info->SetMakerHost("www.maker.example");
  EXPECT_EQ(info->SupportMail(), "support@maker.example");
}

TEST_F(InfoTest, HelpFileBesideTheProgramThenTheInstalledManual) {
  auto info = Make();
  const QString installed = dir.write("share/doc/tabrix/tabrix.pdf", "%PDF");
  EXPECT_EQ(info->BuildLink("h", "", ""), installed);
  const QString beside = dir.write("bin/tabrix.pdf", "%PDF");
  EXPECT_EQ(info->BuildLink("h", "", ""), beside);
}

TEST_F(InfoTest, QuietIsTheUsersChoiceKeptInTheStore) {
  {
    auto info = Make();
    EXPECT_FALSE(info->Quiet());
    info->SetQuiet(true);
    EXPECT_TRUE(info->Quiet());
    info->ReportFailures({"x"});
    EXPECT_TRUE(links.isEmpty());
  }
  EXPECT_TRUE(readFile(dir.file("bin/tabrix.ext")).contains("+=True\r\n"));
  auto again = Make();
  EXPECT_TRUE(again->Quiet());
  again->SetQuiet(false);
  again->ReportFailures({"x"});
  EXPECT_EQ(links.size(), 1);
}

TEST_F(InfoTest, CountersPersistAndSurviveGarbage) {
  dir.write("bin/tabrix.ext", "R=x\r\nlower=5\r\nC=3\r\n");
  {
    auto info = Make();
    EXPECT_EQ(info->Count("R"), 1);  // not a number counts as 0
    info->AddCount("A", 0, 40);
    info->AddCount("W", 7, 1);
    info->AddCount("W", 0, 1);
    info->AddCount("C", 2147483647, 0);
    info->AddCount("C", 0, 1);  // saturates instead of overflowing
    EXPECT_EQ(info->CountersText(), "r1c2147483647a40w8");
  }
  EXPECT_EQ(readFile(dir.file("bin/tabrix.ext")),
            "R=1\r\nlower=5\r\nC=2147483647\r\nA=40\r\nW=8\r\n");
  auto again = Make();
  EXPECT_EQ(again->Count("R"), 2);
}

TEST_F(InfoTest, ConcurrentCountsAreNotLostAndWriteFailuresAreSilent) {
  auto info = Make();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) info->AddCount("S", 0, 1);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(info->Count("S"), 200);
  info.reset();
  EXPECT_TRUE(readFile(dir.file("bin/tabrix.ext")).contains("S=200\r\n"));

  dir.write("plain", "x");  // nothing can be created below a file
  TkvApp blocked(dir.file("plain/tabrix"), QString(), TkvApp::Placement::BesideProgram);
  TkvInfo unwritable(blocked, std::make_unique<Recorder>(&links));
  EXPECT_NO_THROW(unwritable.AddCount("C", 0, 1));
  EXPECT_EQ(unwritable.Count("C"), 1);
}

TEST(FailureReport, QuotingAndQuestionMarks) {
  EXPECT_EQ(TkvFailureReportText({"CreateDir Failed: /out/"}), "\"CreateDir Failed: /out/\"");
  EXPECT_EQ(TkvFailureReportText({"a", "b,c", "say \"x\"", "why?", ""}),
            "a,\"b,c\",\"say \"\"x\"\"\",why%3F,");
  EXPECT_EQ(TkvFailureReportText({""}), "\"\"");
  EXPECT_EQ(TkvFailureReportText({}), "");
  EXPECT_EQ(TkvFailureReportText({QString::fromUtf8("\u00fcber\tx")}),
            QString::fromUtf8("\"\u00fcber\tx\""));
}

TEST(FileUtils, DatesAndRawText) {
  ScopedTempDir dir;
  EXPECT_EQ(TkvFileUtils::FileDate(dir.file("none"), true, true), -1);
  const QString path = dir.write("Stamp.TXT", "x");
  const std::int32_t stamp = TkvFileUtils::FileDate(path, false, true);
  const QDateTime now = QDateTime::currentDateTimeUtc();
  EXPECT_EQ((std::uint32_t(stamp) >> 25) + 1980, std::uint32_t(now.date().year()));
  EXPECT_EQ(TkvFileUtils::FileDate(dir.file("stamp.*"), false, true), stamp);  // wildcard, any case

  const QString text = QString::fromUtf8("\ufeffA=1\r\n\u65e5") + QChar(0xD800);
  TkvFileUtils::WriteText(dir.file("sub/raw.bin"), text);
  TkvFileUtils::WriteText(dir.file("sub/raw.bin"), "Z", 2, true);
  EXPECT_EQ(readFile(dir.file("sub/raw.bin")).size(), (text.size() + 1) * 2);
  EXPECT_EQ(TkvFileUtils::ReadText(dir.file("sub/raw.bin")), text + "Z");
  dir.write("odd.bin", QByteArray("A\0B", 3));
  EXPECT_EQ(TkvFileUtils::ReadText(dir.file("odd.bin")), "A");
  EXPECT_THROW(TkvFileUtils::ReadText(dir.file("none")), TkvError);
}

}  // namespace

namespace {

// The real opener starts `xdg-open` from PATH only inside a desktop session.
TEST(XdgLinkOpener, RunsXdgOpenOnlyWithADisplay) {
  ScopedTempDir dir;
  const QString script = dir.write("bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.out\"\n");
  QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QByteArray oldPath = qgetenv("PATH"), oldDisplay = qgetenv("DISPLAY"),
                   oldWayland = qgetenv("WAYLAND_DISPLAY");
  qputenv("PATH", dir.file("bin").toUtf8() + ":" + oldPath);
  qunsetenv("WAYLAND_DISPLAY");
  qunsetenv("DISPLAY");
  TkvXdgLinkOpener opener;
  opener.Open("http://www.tabrix-converter.example/?a=1&b=\"x y\"");
  QThread::msleep(300);
  EXPECT_FALSE(QFile::exists(script + ".out"));
  qputenv("DISPLAY", ":99");
  opener.Open("http://www.tabrix-converter.example/?a=1&b=\"x y\"");
  for (int i = 0; i < 100 && readFile(script + ".out").isEmpty(); ++i) QThread::msleep(50);
  EXPECT_EQ(readFile(script + ".out"), "http://www.tabrix-converter.example/?a=1&b=\"x y\"");
  qputenv("PATH", oldPath);
  oldDisplay.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", oldDisplay);
  if (!oldWayland.isNull()) qputenv("WAYLAND_DISPLAY", oldWayland);
}

}  // namespace
