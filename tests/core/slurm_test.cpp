// Sharded runs on a real Slurm job array: a one-node cluster on this machine
// (scripts/slurm-single-node.sh), four array tasks of the built program over
// one generated tree into one shared target, and a rerun that converts only
// what is missing.

#include "core/shard.h"
#include "support/processes.h"
#include "support/scoped_temp_dir.h"
#include "support/workbooks.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSysInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

using tabrix::test::officesMentioning;
using tabrix::test::readFile;
using tabrix::test::ScopedTempDir;

namespace {

constexpr int kTasks = 4;

struct Outcome {
  int exitCode = -1;
  QString out;
  QString err;
};

Outcome RunTool(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                int ms = 60000) {
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(program, args);
  Outcome o;
  if (!process.waitForFinished(ms)) {
    process.kill();
    process.waitForFinished();
    o.err = QStringLiteral("%1 did not end within %2 ms").arg(program).arg(ms);
    return o;
  }
  o.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  o.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  o.err += QString::fromLocal8Bit(process.readAllStandardError());
  return o;
}

// The one-node cluster, stopped by the destructor whatever the test did (and
// by the script's own watchdog should this process be killed).
class SlurmCluster {
 public:
  SlurmCluster() {
    script_ = tabrix::test::sourceDir() + QStringLiteral("/scripts/slurm-single-node.sh");
    const Outcome o =
        RunTool(QStringLiteral("bash"),
                {script_, QStringLiteral("start"), QStringLiteral("--owner"),
                 QString::number(::getpid()), QStringLiteral("--lifetime"), QStringLiteral("600")},
                QProcessEnvironment::systemEnvironment(), 90000);
    for (const QString& line : o.out.split(u'\n')) {
      if (line.startsWith(QLatin1String("SLURM_CONF="))) conf_ = line.mid(11);
      if (line.startsWith(QLatin1String("TABRIX_SLURM_DIR="))) dir_ = line.mid(17);
    }
    if (o.exitCode != 0 || conf_.isEmpty()) error_ = o.err + o.out;
  }
  ~SlurmCluster() {
    if (!dir_.isEmpty())
      RunTool(QStringLiteral("bash"), {script_, QStringLiteral("stop"), dir_},
              QProcessEnvironment::systemEnvironment());
  }
  SlurmCluster(const SlurmCluster&) = delete;
  SlurmCluster& operator=(const SlurmCluster&) = delete;

  const QString& Error() const { return error_; }
  const QString& Conf() const { return conf_; }

 private:
  QString script_;
  QString conf_;
  QString dir_;
  QString error_;
};

class SlurmArray : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0)
      GTEST_SKIP()
          << "needs root: the one-node Slurm cluster starts slurmd, which runs jobs as their users";
    exe_ = qEnvironmentVariable("TABRIX_BINARY_DIR") + QStringLiteral("/bin/tabrix");
    if (!QFile::exists(exe_))
      GTEST_SKIP() << "no tabrix executable (build with TABRIX_BUILD_UI=ON)";
    for (const char* dir : {"tree", "out", "logs", "node-tmp", "config", "state", "cache"})
      QDir().mkpath(tmp_.file(QLatin1String(dir)));
    cluster_ = std::make_unique<SlurmCluster>();
    ASSERT_TRUE(cluster_->Error().isEmpty()) << cluster_->Error().toStdString();
  }

  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("SLURM_CONF"), cluster_->Conf());
    // The tasks' office profiles go to node-local $TMPDIR.
    env.insert(QStringLiteral("TMPDIR"), tmp_.file(QStringLiteral("node-tmp")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp_.file(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_STATE_HOME"), tmp_.file(QStringLiteral("state")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), tmp_.file(QStringLiteral("cache")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
  }

  // Submits the array of `tabrix convert --shard auto` runs with `extraFlags`
  // added, waits for all its tasks and checks that each ended with exit code 0.
  void RunArray(const QString& name, const QString& extraFlags) {
    const QString job = tmp_.write(
        name + QStringLiteral(".sh"),
        QStringLiteral("#!/bin/bash\nexec '%1' convert -q -r -j 1 --shard auto %2 -o '%3' "
                       "--report '%4/%5-task-'\"$SLURM_ARRAY_TASK_ID\"'.jsonl' '%6'\n")
            .arg(exe_, extraFlags, tmp_.file(QStringLiteral("out")),
                 tmp_.file(QStringLiteral("logs")), name, tmp_.file(QStringLiteral("tree")))
            .toUtf8());
    const QString logs = tmp_.file(QStringLiteral("logs/")) + name;
    const Outcome submitted =
        RunTool(QStringLiteral("sbatch"),
                {QStringLiteral("--parsable"), QStringLiteral("--array=0-%1").arg(kTasks - 1),
                 QStringLiteral("--cpus-per-task=1"), QStringLiteral("--job-name=") + name,
                 QStringLiteral("--chdir=") + tmp_.path(),
                 QStringLiteral("--output=") + logs + QStringLiteral("-%a.out"), job},
                Environment());
    ASSERT_EQ(submitted.exitCode, 0) << submitted.err.toStdString();
    const QString jobId = submitted.out.trimmed().section(u';', 0, 0);

    QDeadlineTimer deadline(150000);
    for (;;) {
      const Outcome queue = RunTool(QStringLiteral("squeue"),
                                    {QStringLiteral("-h"), QStringLiteral("-j"), jobId,
                                     QStringLiteral("-o"), QStringLiteral("%i %T")},
                                    Environment());
      ASSERT_EQ(queue.exitCode, 0) << queue.err.toStdString();
      if (queue.out.trimmed().isEmpty()) break;
      ASSERT_FALSE(deadline.hasExpired())
          << "the array did not finish: " << queue.out.toStdString();
      QThread::msleep(500);
    }
    const Outcome shown =
        RunTool(QStringLiteral("scontrol"),
                {QStringLiteral("-o"), QStringLiteral("show"), QStringLiteral("job"), jobId},
                Environment());
    EXPECT_EQ(shown.out.count(QStringLiteral("JobState=COMPLETED")), kTasks)
        << shown.out.toStdString();
    EXPECT_EQ(shown.out.count(QStringLiteral(" ExitCode=0:0")), kTasks) << shown.out.toStdString();
    for (int task = 0; task < kTasks; ++task) {
      const QByteArray out = readFile(logs + QStringLiteral("-%1.out").arg(task));
      EXPECT_TRUE(out.trimmed().isEmpty()) << "task " << task << ": " << out.toStdString();
    }
  }

  // Source file -> the tasks whose report lists it as converted (a PDF
  // written), and the files each task reported at all.
  struct Logs {
    QMap<QString, QList<int>> converted;
    QMap<QString, QList<int>> listed;
  };
  Logs ReadLogs(const QString& name) const {
    Logs logs;
    for (int task = 0; task < kTasks; ++task) {
      const QString path = tmp_.file(QStringLiteral("logs/%1-task-%2.jsonl").arg(name).arg(task));
      EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
      for (const QByteArray& line : readFile(path).split('\n')) {
        if (line.trimmed().isEmpty()) continue;
        const QJsonObject item = QJsonDocument::fromJson(line).object();
        EXPECT_FALSE(item.isEmpty()) << line.toStdString();
        if (item.contains(QStringLiteral("items"))) continue;  // the run's summary
        const QString status = item.value(QStringLiteral("status")).toString();
        EXPECT_NE(status, QStringLiteral("failure")) << line.toStdString();
        const QString source = item.value(QStringLiteral("source")).toString();
        logs.listed[source] << task;
        if (status == QStringLiteral("success") &&
            !item.value(QStringLiteral("files")).toArray().isEmpty())
          logs.converted[source] << task;
      }
    }
    return logs;
  }

  ScopedTempDir tmp_;
  QString exe_;
  std::unique_ptr<SlurmCluster> cluster_;
};

}  // namespace

TEST_F(SlurmArray, TasksConvertEveryWorkbookOnceAndARerunOnlyWhatIsMissing) {
  // Twelve small workbooks in sub-folders, two of them in the old formats.
  QStringList books;
  for (int i = 0; i < 10; ++i) {
    const QString path = tmp_.file(QStringLiteral("tree/%1/book-%2.xlsx")
                                       .arg(QStringList{"a", "b", "b/deep", "c"}[i % 4])
                                       .arg(i));
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    ASSERT_TRUE(tabrix::test::writeXlsx(
        path, {{QStringLiteral("Data"), QStringLiteral("Book %1").arg(i), 3}}));
    books << path;
  }
  const QString examples = tabrix::test::sourceDir() + QStringLiteral("/examples/");
  books << tmp_.file(QStringLiteral("tree/budget-archive.xls"))
        << tmp_.file(QStringLiteral("tree/c/inventory-macros.xlsm"));
  ASSERT_TRUE(QFile::copy(examples + QStringLiteral("budget-archive.xls"), books[10]));
  ASSERT_TRUE(QFile::copy(examples + QStringLiteral("warehouse/inventory-macros.xlsm"), books[11]));
  books.sort();
  const QString treeRoot = tmp_.file(QStringLiteral("tree/"));
  const auto pdfOf = [&](const QString& book) {
    QString relative = book.mid(treeRoot.size());
    return tmp_.file(QStringLiteral("out/") + relative.left(relative.lastIndexOf(u'.')) +
                     QStringLiteral(".pdf"));
  };

  RunArray(QStringLiteral("first"), QString());
  const Logs first = ReadLogs(QStringLiteral("first"));
  EXPECT_EQ(first.converted.keys(), books) << "every workbook converted, and only those";
  for (const QString& book : books) {
    const QList<int> tasks = first.converted.value(book);
    ASSERT_EQ(tasks.size(), 1) << book.toStdString() << " converted by " << tasks.size()
                               << " tasks";
    const std::uint64_t hash = TkvShardHash(book.mid(treeRoot.size()).toUtf8());
    EXPECT_EQ(hash % kTasks, static_cast<std::uint64_t>(tasks.front())) << book.toStdString();
    EXPECT_TRUE(readFile(pdfOf(book)).startsWith("%PDF")) << pdfOf(book).toStdString();
  }
  EXPECT_EQ(first.listed, first.converted) << "a task listed an item of another shard";
  EXPECT_EQ(officesMentioning(tmp_.path()).size(), 0) << "an office process outlived its task";
  // The office profiles were kept in $TMPDIR, under this host's name.
  const QString profiles = tmp_.file(
      QStringLiteral("node-tmp/tabrix-%1/%2").arg(::getuid()).arg(QSysInfo::machineHostName()));
  EXPECT_TRUE(QDir(profiles + QStringLiteral("/office-profile-1")).exists())
      << profiles.toStdString();
  EXPECT_FALSE(QDir(tmp_.file(QStringLiteral("cache/tabrix"))).exists());

  // A rerun that skips what exists converts the two deleted PDFs only.
  const QStringList removed = {books[1], books[7]};
  for (const QString& book : removed) ASSERT_TRUE(QFile::remove(pdfOf(book)));
  RunArray(QStringLiteral("rerun"), QStringLiteral("--overwrite skip"));
  const Logs rerun = ReadLogs(QStringLiteral("rerun"));
  EXPECT_EQ(rerun.converted.keys(), removed);
  EXPECT_EQ(rerun.listed.keys(), books);
  for (const QString& book : removed)
    EXPECT_TRUE(readFile(pdfOf(book)).startsWith("%PDF")) << book.toStdString();
  EXPECT_EQ(officesMentioning(tmp_.path()).size(), 0) << "an office process outlived its task";
  QDirIterator parts(tmp_.file(QStringLiteral("out")), {QStringLiteral(".*.part-*")},
                     QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  EXPECT_FALSE(parts.hasNext()) << "a temporary PDF was left: " << parts.next().toStdString();
}
