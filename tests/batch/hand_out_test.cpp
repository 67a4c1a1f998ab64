// Workers blocked in NextItem while the search runs: woken by each append,
// by the search's end and by AddFile; a worker's give-up flag ends its wait;
// every item is handed out once, in list order, under several threads.
#include "batch/batch.h"
#include "support/scoped_temp_dir.h"
#include "support/test_options.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using tabrix::test::ScopedTempDir;
using tabrix::test::TestOptions;
using tabrix::test::WaitUntil;

namespace {

// A search over `files` workbooks whose item-added event holds the search
// thread after item i until Release has been called i times, so the test
// decides when the next item is appended.
class GatedSearch {
 public:
  GatedSearch(ScopedTempDir& tmp, int files) : batch_(options_) {
    for (int i = 0; i < files; ++i)
      tmp.write(QStringLiteral("in/f%1.xlsx").arg(i, 3, 10, QChar(u'0')), "x");
    batch_.OnItemAdded = [this](TkvBatch*, TkvNode* item) {
      std::unique_lock<std::mutex> lock(mutex_);
      gate_.wait(lock, [&] { return open_ || released_ > item->Index; });
    };
    batch_.StartSearch(tmp.file(QStringLiteral("in/*.xlsx")), tmp.file(QStringLiteral("out")),
                       false);
  }
  ~GatedSearch() { Open(); }

  void Release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++released_;
    }
    gate_.notify_all();
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    gate_.notify_all();
  }
  TkvBatch& Batch() { return batch_; }

 private:
  std::mutex mutex_;
  std::condition_variable gate_;
  int released_ = 0;
  bool open_ = false;
  TestOptions options_;
  TkvBatch batch_;  // last: its search thread is joined before the gate goes
};

// Threads drawing from one batch until it hands out nothing; what each took.
class Takers {
 public:
  Takers(TkvBatch& batch, int threads, const std::atomic<bool>* giveUp = nullptr)
      : taken_(threads) {
    for (int t = 0; t < threads; ++t)
      threads_.emplace_back([this, &batch, giveUp, t] {
        while (TkvNode* item = batch.NextItem(giveUp)) {
          taken_[t].push_back(item->Index);
          total_.fetch_add(1);
        }
        ended_.fetch_add(1);
      });
  }
  ~Takers() { Join(); }
  void Join() {
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
  }
  int Total() const { return total_.load(); }
  int Ended() const { return ended_.load(); }
  // After Join: every index below `count` taken exactly once by these
  // threads and `others`, each thread's in rising order.
  void ExpectEachOnce(int count, const Takers* others = nullptr) const {
    std::vector<int> times(count, 0);
    std::vector<std::vector<int>> all = taken_;
    if (others) all.insert(all.end(), others->taken_.begin(), others->taken_.end());
    for (const std::vector<int>& mine : all) {
      for (size_t i = 0; i < mine.size(); ++i) {
        ASSERT_LT(mine[i], count);
        ++times[mine[i]];
        if (i > 0) {
          EXPECT_LT(mine[i - 1], mine[i]) << "handed out out of list order";
        }
      }
    }
    for (int i = 0; i < count; ++i) EXPECT_EQ(times[i], 1) << "item " << i;
  }

 private:
  std::vector<std::vector<int>> taken_;
  std::atomic<int> total_{0};
  std::atomic<int> ended_{0};
  std::vector<std::thread> threads_;
};

}  // namespace

TEST(HandOut, WaitingWorkersAreWokenByEachAppendAndByTheSearchsEnd) {
  ScopedTempDir tmp;
  constexpr int kFiles = 12;
  GatedSearch search(tmp, kFiles);
  Takers takers(search.Batch(), 4);
  // Item 0 is listed; every later one is appended while all four wait.
  for (int listed = 1; listed <= kFiles; ++listed) {
    ASSERT_TRUE(WaitUntil([&] { return takers.Total() == listed; }, 10s))
        << "item " << listed - 1 << " not taken";
    std::this_thread::sleep_for(2ms);  // the workers are back in their wait
    EXPECT_EQ(takers.Ended(), 0);
    search.Release();
  }
  // The last release ends the search: every waiting worker gets none.
  ASSERT_TRUE(WaitUntil([&] { return takers.Ended() == 4; }, 10s));
  takers.Join();
  takers.ExpectEachOnce(kFiles);
  EXPECT_TRUE(search.Batch().Exhausted());
  EXPECT_EQ(search.Batch().ItemCount(), kFiles);
}

TEST(HandOut, TheSearchsStopEndsTheWaitsWithNothingLost) {
  ScopedTempDir tmp;
  GatedSearch search(tmp, 40);
  Takers takers(search.Batch(), 3);
  ASSERT_TRUE(WaitUntil([&] { return takers.Total() == 1; }, 10s));
  std::this_thread::sleep_for(2ms);
  search.Batch().Terminate();
  search.Open();
  ASSERT_TRUE(WaitUntil([&] { return takers.Ended() == 3; }, 10s));
  takers.Join();
  const int listed = search.Batch().ItemCount();
  EXPECT_GE(listed, 1);
  takers.ExpectEachOnce(listed);
  EXPECT_EQ(takers.Total(), listed);
  EXPECT_TRUE(search.Batch().Exhausted());
}

TEST(HandOut, GivingUpEndsTheWaitAndLeavesTheRestForLaterWorkers) {
  ScopedTempDir tmp;
  constexpr int kFiles = 6;
  GatedSearch search(tmp, kFiles);
  std::atomic<bool> giveUp{false};
  Takers first(search.Batch(), 3, &giveUp);
  ASSERT_TRUE(WaitUntil([&] { return first.Total() == 1; }, 10s));
  // Nothing signals the flag: each waiting worker sees it on its own.
  giveUp.store(true);
  ASSERT_TRUE(WaitUntil([&] { return first.Ended() == 3; }, 10s))
      << "a worker kept waiting after giving up";
  first.Join();
  EXPECT_FALSE(search.Batch().Exhausted());

  search.Open();
  Takers later(search.Batch(), 2);
  ASSERT_TRUE(WaitUntil([&] { return later.Ended() == 2; }, 10s));
  later.Join();
  EXPECT_EQ(first.Total() + later.Total(), kFiles);
  EXPECT_TRUE(search.Batch().Exhausted());
  // Together they took every item once: the give-up lost none.
  first.ExpectEachOnce(kFiles, &later);
}

TEST(HandOut, AddFileWakesWaitersWithItsItemAndTheEnd) {
  for (int round = 0; round < 20; ++round) {
    TestOptions options;
    TkvBatch batch(options);
    Takers takers(batch, 3);
    std::this_thread::sleep_for(1ms);  // most rounds: all three wait on a new batch
    batch.AddFile(QStringLiteral("/nowhere/book.xlsx"));
    ASSERT_TRUE(WaitUntil([&] { return takers.Ended() == 3; }, 10s)) << "round " << round;
    takers.Join();
    takers.ExpectEachOnce(1);
    EXPECT_TRUE(batch.Exhausted());
  }
}
