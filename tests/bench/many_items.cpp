// Peak memory and speed of the unattended run itself on a large batch: the
// program's own start-up objects and TkvMain's run, with a converter class of
// this benchmark that writes a tiny file per item instead of asking an
// office. Everything lives in a temporary folder.
//
//   tabrix_bench_many [items] [threads]   (10000 2)

#include "app/item_times.h"
#include "app/startup.h"
#include "app/unattended.h"
#include "batch/matcher.h"
#include "convert/convertor.h"
#include "core/app.h"
#include "core/error.h"
#include "core/info.h"
#include "core/profile.h"
#include "core/project.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

class TkvBenchNull : public TkvConvertor {
 public:
  using TkvConvertor::TkvConvertor;
  ~TkvBenchNull() override { Shutdown(); }

  void Convert(TkvBatch* batch, TkvNode* item) override {
    const QString target = MakeTargetPath(batch, item);
    if (target.isEmpty()) return;
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write("%PDF-1.4\n%%EOF\n") < 0) {
      const QString message = QStringLiteral("Cannot write %1").arg(target);
      batch->SetItemOutcome(item, TkvNode::Failed, message);
      batch->AddFailure(message);
      return;
    }
    batch->SetItemOutcome(item, TkvNode::Done, target);
    batch->AddSuccess();
  }
};

void MakeSources(const QString& folder, int count) {
  if (!QDir().mkpath(folder)) throw TkvError(QStringLiteral("cannot create %1").arg(folder));
  for (int i = 0; i < count; ++i) {
    QFile file(QStringLiteral("%1/book-%2.xlsx").arg(folder).arg(i, 5, 10, QLatin1Char('0')));
    if (!file.open(QIODevice::WriteOnly))
      throw TkvError(QStringLiteral("cannot write %1").arg(file.fileName()));
  }
}

int CountLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  int lines = 0;
  while (!file.atEnd()) lines += file.readLine().startsWith("Success") ? 1 : 0;
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int threads = argc > 2 ? std::atoi(argv[2]) : 2;
  try {
    QTemporaryDir tmp;
    if (!tmp.isValid()) throw TkvError(QStringLiteral("cannot create a temporary folder"));
    // The per-user files of this run stay in the temporary folder.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath(QStringLiteral("config"))));
    qputenv("XDG_STATE_HOME", QFile::encodeName(tmp.filePath(QStringLiteral("state"))));
    const QString in = tmp.filePath(QStringLiteral("in"));
    const QString out = tmp.filePath(QStringLiteral("out"));
    const QString log = tmp.filePath(QStringLiteral("run.log"));
    MakeSources(in, count);
    const qint64 beforeKb = TkvItemTimes::PeakResidentKb();

    QByteArray options =
        QStringLiteral("/P:PureConsole=True;Source=%1/*.xls?;Target=%2;ThreadsCount=%3;LogFile=%4")
            .arg(in, out)
            .arg(threads)
            .arg(log)
            .toLocal8Bit();
    char* args[] = {argv[0], options.data(), nullptr};
    int argCount = 2;

    // The program's start-up, with this benchmark's converter class.
    TkvApp app(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
               QString::fromLocal8Bit(options), TkvApp::Placement::PerUser);
    TkvInfo info(app);
    TkvProject project(app);
    TkvMain main(project, info);
    TkvProfile profile = TkvTabrixProfile();
    profile.ConvertorClass = QStringLiteral("TkvBenchNull");
    project.SetProfile(profile);
    SkipLockFiles.store(profile.SkipLockFiles);
    TkvRegisterConvertor<TkvBenchNull>(profile.ConvertorClass);
    if (project.ParseCommandLine() == TkvCmdResult::Exit || !project.UnattendedRoad())
      throw TkvError(QStringLiteral("the options did not select the unattended run"));
    TkvMatcherScope matcher;

    QElapsedTimer clock;
    clock.start();
    TkvRunUnattendedRoad(argCount, args);
    const double wallS = clock.nsecsElapsed() / 1e9;
    const qint64 peakKb = TkvItemTimes::PeakResidentKb();
    const int logged = CountLines(log);

    std::printf("items %d, threads %d: %.2f s, %.0f items/s, %d logged as Success\n", count,
                threads, wallS, count / wallS, logged);
    std::printf("peak memory (VmHWM) %.1f MB, %.1f MB before the run\n", peakKb / 1024.0,
                beforeKb / 1024.0);
    std::printf("many_items\t%d\nmany_wall_s\t%.3f\nmany_peak_kb\t%lld\n", count, wallS,
                static_cast<long long>(peakKb));
    return logged == count ? 0 : 1;
  } catch (const TkvError& e) {
    std::fprintf(stderr, "tabrix_bench_many: %s\n", e.Message().toLocal8Bit().constData());
    return 1;
  }
}
