// CPU time that workers burn while they wait for the search to list the next
// item (in NextItem, with a give-up flag as converters pass it). The search is held up in its
// item-added event for the measured time, so every worker waits for all of it.
//
//   tabrix_bench_idle [seconds] [workers]   (3 2)

#include "batch/batch.h"
#include "core/error.h"
#include "support/test_options.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

namespace {

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const int workers = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
  try {
    QTemporaryDir tmp;
    if (!tmp.isValid()) throw TkvError(QStringLiteral("cannot create a temporary folder"));
    for (int i = 0; i < workers + 1; ++i) {
      QFile file(tmp.filePath(QStringLiteral("in/%1.xlsx").arg(i)));
      if (!QDir().mkpath(tmp.filePath(QStringLiteral("in"))) || !file.open(QIODevice::WriteOnly))
        throw TkvError(QStringLiteral("cannot write %1").arg(file.fileName()));
    }

    const tabrix::test::TestOptions options;
    TkvBatch batch(options);
    std::atomic<int> added{0};
    // The first listed file holds the search up; its item is already there.
    batch.OnItemAdded = [&](TkvBatch*, TkvNode*) {
      if (added.fetch_add(1) == 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    };
    batch.StartSearch(tmp.filePath(QStringLiteral("in/*.xlsx")),
                      tmp.filePath(QStringLiteral("out")), false);

    std::vector<double> cpu(workers), wait(workers);
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
      threads.emplace_back([&, w] {
        const double wallStart = WallSeconds();
        const double cpuStart = ThreadCpuSeconds();
        const std::atomic<bool> giveUp{false};
        while (batch.NextItem(&giveUp)) {
        }
        cpu[w] = ThreadCpuSeconds() - cpuStart;
        wait[w] = WallSeconds() - wallStart;
      });
    }
    for (std::thread& t : threads) t.join();

    double cpuSum = 0, waitSum = 0;
    for (int w = 0; w < workers; ++w) {
      cpuSum += cpu[w];
      waitSum += wait[w];
    }
    std::printf(
        "%d idle workers, %.2f s waiting each: %.1f ms CPU per waiting second (%.2f%% of a core "
        "each)\n",
        workers, waitSum / workers, 1000 * cpuSum / waitSum, 100 * cpuSum / waitSum);
    std::printf("idle_cpu_share\t%.5f\n", cpuSum / waitSum);
  } catch (const TkvError& e) {
    std::fprintf(stderr, "tabrix_bench_idle: %s\n", e.Message().toLocal8Bit().constData());
    return 1;
  }
  return 0;
}
