// The unattended run's stop signals: a converter thread blocked in a system
// call when a stop signal arrives carries on with that call, and the
// previous handlers come back afterwards.

#include "app/stop_signals.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

struct Pipe {
  Pipe() { EXPECT_EQ(::pipe(fds), 0); }
  ~Pipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  int fds[2] = {-1, -1};
};

}  // namespace

TEST(StopSignals, ABlockedReadOnAnotherThreadGoesOnAndTheOldHandlersReturn) {
  struct sigaction before[TkvStopSignals::kCount] {};
  for (int i = 0; i < TkvStopSignals::kCount; ++i)
    ::sigaction(TkvStopSignals::kSignals[i], nullptr, &before[i]);

  for (int i = 0; i < TkvStopSignals::kCount; ++i) {
    const int signal = TkvStopSignals::kSignals[i];
    Pipe pipe;
    std::atomic<bool> started{false};
    ssize_t got = 0;
    int error = 0;
    {
      TkvStopSignals stopSignals;
      std::thread reader([&] {
        char c = 0;
        started.store(true);
        got = ::read(pipe.fds[0], &c, 1);
        error = errno;
      });
      while (!started.load()) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // blocked in read by now
      ::pthread_kill(reader.native_handle(), signal);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ASSERT_EQ(::write(pipe.fds[1], "x", 1), 1);
      reader.join();
    }
    EXPECT_EQ(got, 1) << "signal " << signal << ": " << std::strerror(error);
  }

  for (int i = 0; i < TkvStopSignals::kCount; ++i) {
    struct sigaction now {};
    ::sigaction(TkvStopSignals::kSignals[i], nullptr, &now);
    EXPECT_EQ(now.sa_handler, before[i].sa_handler) << "signal " << TkvStopSignals::kSignals[i];
  }
}
