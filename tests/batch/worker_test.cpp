// Workers against a running search: hand-out, stop requests, errors.
#include "batch/batch.h"
#include "batch/matcher.h"
#include "batch/work_base.h"
#include "core/error.h"
#include "support/scoped_temp_dir.h"
#include "support/test_options.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <random>
#include <stdexcept>
#include <vector>

using namespace std::chrono_literals;
using tabrix::test::NoOptions;
using tabrix::test::ScopedTempDir;

namespace {

// Records which worker took which item; optional behaviour per item.
class RecordingWorker : public TkvWorkBase {
 public:
  RecordingWorker(TkvBatch* batch, int id, std::vector<std::atomic<int>>* taken)
      : TkvWorkBase(batch), id_(id), taken_(taken) {}
  ~RecordingWorker() override { StopAndWait(); }

  std::function<void(TkvNode*)> onItem;
  std::atomic<bool> terminateRan{false};
  std::atomic<int> processed{0};

 protected:
  void ProcessItem() override {
    if (taken_) (*taken_)[Item()->Index].fetch_add(1);
    ++processed;
    if (onItem) onItem(Item());
    Batch()->SetItemOutcome(Item(), TkvNode::Done, QString::number(id_));
  }
  void DoTerminate() override { terminateRan = true; }

 private:
  int id_;
  std::vector<std::atomic<int>>* taken_;
};

void WaitUntil(const std::function<bool()>& condition) { tabrix::test::WaitUntil(condition, 10s); }

}  // namespace

TEST(Workers, EightWorkersOnASlowSearchTakeEveryItemExactlyOnce) {
  ScopedTempDir tmp;
  TkvMatcherScope matcher;
  constexpr int kFiles = 60;
  for (int i = 0; i < kFiles; ++i) tmp.write(QString("d%1/f%2.xlsx").arg(i % 4).arg(i), "x");

  for (int round = 0; round < 15; ++round) {
    std::vector<std::atomic<int>> taken(kFiles);
    TkvBatch batch(NoOptions());
    std::mt19937 rng(round);
    std::vector<int> delays(kFiles);
    for (int& d : delays) d = std::uniform_int_distribution<int>(0, 400)(rng);
    batch.OnItemAdded = [&delays](TkvBatch*, TkvNode* item) {
      std::this_thread::sleep_for(std::chrono::microseconds(delays[item->Index]));
    };
    std::vector<std::unique_ptr<RecordingWorker>> workers;
    for (int w = 0; w < 8; ++w)
      workers.push_back(std::make_unique<RecordingWorker>(&batch, w, &taken));
    for (auto& w : workers) w->Start();  // before the search: workers wait for items
    batch.StartSearch(tmp.path() + "/*.xlsx", tmp.file("out"), true);
    for (auto& w : workers) w->Wait();

    ASSERT_EQ(batch.ItemCount(), kFiles) << "round " << round;
    for (int i = 0; i < kFiles; ++i)
      ASSERT_EQ(taken[i].load(), 1) << "item " << i << " round " << round;
    EXPECT_TRUE(batch.Exhausted());
    for (auto& w : workers) EXPECT_TRUE(w->terminateRan && w->Finished());
    TkvItemsLock lock(batch);
    for (const auto& item : lock.Items()) EXPECT_EQ(item->Status, TkvNode::Done);
  }
}

TEST(Workers, EmptyBatchPlainWorkerAndFactory) {
  TkvBatch empty(NoOptions());
  empty.AddFile("/only/item.xls");
  TkvBatch batch(NoOptions());
  for (int i = 0; i < 3; ++i) batch.AddFile(QString("/f%1.xls").arg(i));

  auto plain = TkvWorkerClasses::Create("tkvworkbase", &batch, NoOptions(), 1, nullptr);
  plain->Start();
  plain->Wait();
  EXPECT_TRUE(batch.Exhausted());
  EXPECT_EQ(batch.ItemSnapshot(2).Status, TkvNode::Waiting);
  EXPECT_TRUE(batch.ItemSnapshot(2).Result.isEmpty());
  EXPECT_EQ(batch.SuccessCount() + batch.FailureCount(), 0);

  // A used-up batch: a new worker gets nothing and never processes.
  RecordingWorker late(&batch, 0, nullptr);
  late.Start();
  late.Wait();
  EXPECT_EQ(late.processed.load(), 0);
  EXPECT_TRUE(late.terminateRan);

  EXPECT_THROW(TkvWorkerClasses::Create("NoSuchClass", &batch, NoOptions(), 1, nullptr), TkvError);
  TkvWorkerClasses::Register("TestWorker",
                             [](TkvBatch* b, const TkvOptionSource&, int count, TkvItemEvent) {
                               return std::make_unique<RecordingWorker>(b, count, nullptr);
                             });
  EXPECT_TRUE(TkvWorkerClasses::Contains("testworker"));
}

TEST(Workers, ErrorsGoIntoResultOrEndTheThread) {
  TkvBatch batch(NoOptions());
  for (int i = 0; i < 9; ++i) batch.AddFile(QString("/f%1.xls").arg(i));

  RecordingWorker worker(&batch, 1, nullptr);
  worker.onItem = [](TkvNode* item) {
    if (item->Index == 3) throw TkvError("Disk full");
    if (item->Index == 5) throw std::runtime_error("broken");
    if (item->Index == 7) throw 42;  // no std::exception: the loop cannot go on
  };
  worker.Start();
  worker.Wait();
  EXPECT_EQ(batch.ItemSnapshot(3).Result, "Disk full");
  EXPECT_EQ(batch.ItemSnapshot(3).Status, TkvNode::Waiting);
  EXPECT_EQ(batch.ItemSnapshot(4).Status, TkvNode::Done);
  // Another std::exception fails its item, counted, and the loop goes on.
  EXPECT_EQ(batch.ItemSnapshot(5).Status, TkvNode::Failed);
  EXPECT_EQ(batch.ItemSnapshot(5).Result, "Internal error: broken");
  EXPECT_EQ(batch.ItemSnapshot(6).Status, TkvNode::Done);
  EXPECT_EQ(batch.FailureCount(), 1);
  EXPECT_EQ(worker.FatalError(), "Unknown error in a worker thread");
  EXPECT_NE(batch.ItemSnapshot(8).Status, TkvNode::Done);
  EXPECT_TRUE(worker.terminateRan);
}

TEST(Workers, StopRequestFinishesTheCurrentItemOnly) {
  TkvBatch batch(NoOptions());
  for (int i = 0; i < 4; ++i) batch.AddFile(QString("/f%1.xls").arg(i));
  std::promise<void> started;
  std::promise<void> release;
  auto released = release.get_future().share();
  RecordingWorker worker(&batch, 1, nullptr);
  worker.onItem = [&](TkvNode* item) {
    if (item->Index == 0) {
      started.set_value();
      released.wait();
    }
  };
  worker.Start();
  started.get_future().wait();
  worker.Terminate();
  release.set_value();
  worker.Wait();
  EXPECT_EQ(worker.processed.load(), 1);
  EXPECT_EQ(batch.ItemSnapshot(0).Status, TkvNode::Done);
  EXPECT_FALSE(batch.Exhausted());

  RecordingWorker resumed(&batch, 2, nullptr);  // a resumed run goes on at item 1
  resumed.Start();
  resumed.Wait();
  EXPECT_EQ(resumed.processed.load(), 3);
}

TEST(Workers, WaitingWorkersFollowTheSearchAndLeaveOnStop) {
  ScopedTempDir tmp;
  TkvMatcherScope matcher;
  tmp.write("a.xlsx", "x");
  tmp.write("b.xlsx", "x");
  std::promise<void> release;
  auto released = release.get_future().share();
  TkvBatch batch(NoOptions());
  batch.OnItemAdded = [released](TkvBatch*, TkvNode* item) {
    if (item->Index == 0) released.wait();  // the search stalls after its first item
  };
  RecordingWorker first(&batch, 1, nullptr), second(&batch, 2, nullptr);
  first.Start();
  second.Start();
  batch.StartSearch(tmp.path() + "/*.xlsx", tmp.file("out"), false);
  WaitUntil([&] { return first.processed + second.processed == 1; });
  EXPECT_EQ(first.processed + second.processed, 1);

  // One worker is told to stop while it waits: it leaves without an item.
  RecordingWorker& idle = first.processed == 0 ? first : second;
  RecordingWorker& other = first.processed == 0 ? second : first;
  idle.Terminate();
  idle.Wait();
  EXPECT_EQ(idle.processed.load(), 0);
  EXPECT_FALSE(batch.Exhausted());

  // A file added while the search runs does not end the list early.
  batch.AddFile(tmp.file("added.xlsx"));
  EXPECT_FALSE(batch.SearchDone());
  release.set_value();
  other.Wait();
  EXPECT_EQ(other.processed.load(), 3);
  EXPECT_TRUE(batch.Exhausted());
}
