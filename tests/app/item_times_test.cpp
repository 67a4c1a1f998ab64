// Per-item timing of the unattended run (TABRIX_ITEM_TIMES): what the file
// holds after a two-thread run, and the errors that name the file.

#include "app/item_times.h"
#include "app/unattended.h"

#include "../convert/convertor_test_classes.h"
#include "core/error.h"
#include "support/test_globals.h"

#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

using namespace tabrix::test;

namespace {

// Sets an environment variable for the scope and restores the old value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QByteArray& value)
      : name_(name), had_(qEnvironmentVariableIsSet(name)) {
    old_ = qgetenv(name);
    qputenv(name, value);
  }
  ~ScopedEnv() {
    if (had_)
      qputenv(name_, old_);
    else
      qunsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

class ItemTimes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTestConvertors(); }

  void Run(const QString& convertorClass, int threads) {
    globals_ = std::make_unique<TestGlobals>(tmp_, convertorClass);
    globals_->project->SetOptionsText(
        QStringLiteral("PureConsole=True\nSource=%1/*.xls?\nTarget=%2\nThreadsCount=%3\n")
            .arg(tmp_.file(QStringLiteral("in")), tmp_.file(QStringLiteral("out")))
            .arg(threads));
    TkvMain main(*globals_->project, *globals_->info);
    main.SetPollIntervalMs(5);
    main.RunUnattended();
  }

  ScopedTempDir tmp_;
  std::unique_ptr<TestGlobals> globals_;
};

TEST_F(ItemTimes, OneLinePerItemWithThreadTimesAndStatusThenTheSummary) {
  for (const char* name : {"a.xls", "b.xls", "c.xlsx", "d.xlsm"})
    tmp_.write(QStringLiteral("in/") + name, "x");
  tmp_.write(QStringLiteral("in/e.xls"), "Unreadable");
  const QString timesFile = tmp_.file(QStringLiteral("times.tsv"));
  ScopedEnv env(TkvItemTimes::kVariable, timesFile.toUtf8());
  TkvTestSlow::delayMs.store(40);
  Run(QStringLiteral("TkvTestSlow"), 2);

  const QStringList lines = QString::fromUtf8(readFile(timesFile)).split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 5 + 3) << lines.join(u'\n').toStdString();
  QSet<QString> files;
  QSet<int> threads;
  for (int i = 0; i < 5; ++i) {
    const QStringList f = lines[i].split(u'\t');
    ASSERT_EQ(f.size(), 5) << lines[i].toStdString();
    threads.insert(f[0].toInt());
    const double start = f[1].toDouble(), end = f[2].toDouble();
    EXPECT_GE(start, 0.0);
    EXPECT_GE(end - start, 39.0) << "an item's time spans its conversion: "
                                 << lines[i].toStdString();
    EXPECT_EQ(f[3], QStringLiteral("1"));
    files.insert(f[4]);
  }
  EXPECT_EQ(threads, (QSet<int>{1, 2}));
  EXPECT_EQ(files.size(), 5);
  EXPECT_TRUE(files.contains(tmp_.file(QStringLiteral("in/e.xls"))));
  EXPECT_TRUE(lines[5].startsWith(QStringLiteral("# wall_ms\t")));
  EXPECT_GE(lines[5].section(u'\t', 1).toDouble(), 3 * 40.0)
      << "five items of 40 ms on two threads";
  EXPECT_TRUE(lines[6].startsWith(QStringLiteral("# cpu_ms\t")));
  EXPECT_TRUE(lines[7].startsWith(QStringLiteral("# peak_rss_kb\t")));
  EXPECT_GT(lines[7].section(u'\t', 1).toLongLong(), 0);
}

TEST_F(ItemTimes, FailedItemsKeepTheirStatusAndNoVariableWritesNothing) {
  tmp_.write(QStringLiteral("in/1.xls"), "Broken");
  const QString timesFile = tmp_.file(QStringLiteral("times.tsv"));
  {
    ScopedEnv env(TkvItemTimes::kVariable, timesFile.toUtf8());
    Run(QStringLiteral("TkvTestFailer"), 1);
  }
  const QStringList lines = QString::fromUtf8(readFile(timesFile)).split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(lines[0].section(u'\t', 3, 3), QStringLiteral("2"));

  QFile::remove(timesFile);
  ScopedEnv empty(TkvItemTimes::kVariable, QByteArray());
  Run(QStringLiteral("TkvTestWriter"), 1);
  EXPECT_FALSE(QFile::exists(timesFile));
  EXPECT_TRUE(QFile::exists(tmp_.file(QStringLiteral("out/1.pdf"))));
}

TEST_F(ItemTimes, AnUnwritableFileEndsTheRunBeforeAnythingIsConverted) {
  tmp_.write(QStringLiteral("in/a.xls"), "x");
  const QString timesFile = tmp_.file(QStringLiteral("no-such-folder/times.tsv"));
  ScopedEnv env(TkvItemTimes::kVariable, timesFile.toUtf8());
  try {
    Run(QStringLiteral("TkvTestWriter"), 1);
    FAIL() << "the run should fail";
  } catch (const TkvError& e) {
    EXPECT_TRUE(e.Message().contains(timesFile)) << e.Message().toStdString();
  }
  EXPECT_FALSE(QFile::exists(tmp_.file(QStringLiteral("out/a.pdf"))));
  EXPECT_EQ(RunningConvertors.load(), 0);
}

}  // namespace
