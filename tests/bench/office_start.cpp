// Times the start of one office process up to a usable connection, as a
// converter thread pays it: first on a new profile folder (the office creates
// it, exits with code 81 and is started again), then on the kept profile
// folders the program itself uses. Also times the quit.
//
//   tabrix_bench_office_start [warm starts]   (3)

#include "convert/office/office_process.h"
#include "core/error.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Timing {
  double startS = 0;
  double quitS = 0;
};

Timing StartAndQuit(TkvOfficeProcess::Options options) {
  TkvOfficeProcess office(std::move(options));
  QElapsedTimer clock;
  clock.start();
  office.EnsureRunning();
  Timing t;
  t.startS = clock.nsecsElapsed() / 1e9;
  clock.restart();
  office.Quit();
  t.quitS = clock.nsecsElapsed() / 1e9;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int warm = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  try {
    QTemporaryDir fresh;
    if (!fresh.isValid()) throw TkvError(QStringLiteral("cannot create a temporary folder"));
    TkvOfficeProcess::Options newProfile;
    newProfile.profileRoot = fresh.path();
    const Timing first = StartAndQuit(newProfile);
    std::printf("office start, new profile:  %.2f s (quit %.2f s)\n", first.startS, first.quitS);

    std::vector<double> starts;
    double quit = 0;
    for (int i = 0; i < warm; ++i) {
      const Timing t = StartAndQuit({});
      std::printf("office start, kept profile: %.2f s (quit %.2f s)\n", t.startS, t.quitS);
      starts.push_back(t.startS);
      quit += t.quitS;
    }
    std::sort(starts.begin(), starts.end());
    std::printf("office_start_new_s\t%.3f\n", first.startS);
    std::printf("office_start_s\t%.3f\n", starts[starts.size() / 2]);
    std::printf("office_quit_s\t%.3f\n", quit / warm);
  } catch (const TkvError& e) {
    std::fprintf(stderr, "tabrix_bench_office_start: %s\n", e.Message().toLocal8Bit().constData());
    return 1;
  }
  return 0;
}
