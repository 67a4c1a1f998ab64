// The window's run controller without a window: real batches and converter
// threads (the test converter), driven as the window drives them.

#include "ui/run_controller.h"
#include "batch/batch.h"
#include "run_support.h"
#include "window_fixture.h"

#include <QDir>

#include <thread>

using namespace tabrix::test;

namespace {

class RunControllerTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    TkvUiTestConvertor::delayMs = 0;
    UseConvertor(*project, "TkvUiTestConvertor");
    controllerOwner = std::make_unique<TkvRunController>();
    QObject::connect(&controller(), &TkvRunController::RunEnded,
                     [this](const std::shared_ptr<TkvBatch>& batch, bool stopped) {
                       ended.push_back({batch.get(), stopped});
                     });
    QObject::connect(&controller(), &TkvRunController::RowChanged,
                     [this](const TkvRowChange& c) { rows.push_back(c); });
  }
  // The controller joins its threads while the globals still exist.
  void TearDown() override {
    controllerOwner.reset();
    WindowTest::TearDown();
  }
  TkvRunController& controller() const { return *controllerOwner; }

  // A new list and a batch searching `count` workbooks of in/ (made here).
  std::shared_ptr<TkvBatch> SearchingBatch(int count) {
    for (int i = 0; i < count; ++i) temp.write(QStringLiteral("in/f%1.xls").arg(i), "x");
    QDir().mkpath(temp.file("in"));
    generation = controller().NewList();
    auto batch = std::make_shared<TkvBatch>(*project);
    const std::uint64_t g = generation;
    batch->OnItemAdded = [this, g](TkvBatch* b, TkvNode* item) {
      controller().ItemListed(g, b, item);
    };
    controller().WatchSearch(batch);
    batch->StartSearch(temp.file("in/*.xls"), temp.file("out/"), false);
    return batch;
  }

  // Starts a run of `threads` converters on `batch` for the current list.
  bool StartRun(const std::shared_ptr<TkvBatch>& batch, int threads) {
    project->SetOptionValue("ThreadsCount", QString::number(threads));
    const std::uint64_t g = generation;
    auto chain = TkvConvertor::StartConverters(
        batch.get(), temp.file("out/"),
        [this, g](TkvBatch* b, TkvNode* i) { controller().ItemConverted(g, b, i); });
    return controller().Start(batch, g, std::move(chain));
  }

  // The run ended and every thread of it has been released.
  bool AllEnded() const { return !controller().Running() && !controller().EndingRuns(); }

  struct Ended {
    TkvBatch* batch;
    bool stopped;
  };
  std::unique_ptr<TkvRunController> controllerOwner;
  std::uint64_t generation = 0;
  std::vector<Ended> ended;
  std::vector<TkvRowChange> rows;
};

TEST_F(RunControllerTest, ASecondStartDuringARunIsRefusedAndTheRunEndsOnce) {
  TkvUiTestConvertor::delayMs = 40;
  const int before = RunningConvertors.load();
  const int runs = info->Count("C");
  std::shared_ptr<TkvBatch> batch = SearchingBatch(6);
  ASSERT_TRUE(StartRun(batch, 2));
  EXPECT_EQ(RunningConvertors.load(), before + 2);
  // The refused chain never starts: no converter is counted for it, no
  // second end is reported and the run's batch is not converted twice.
  EXPECT_FALSE(StartRun(batch, 3));
  EXPECT_EQ(RunningConvertors.load(), before + 2);
  EXPECT_EQ(info->Count("C"), runs + 1);
  ASSERT_TRUE(WaitFor([&] { return AllEnded(); }));
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].batch, batch.get());
  EXPECT_FALSE(ended[0].stopped);
  EXPECT_EQ(batch->SuccessCount(), 6);
  EXPECT_EQ(controller().RowsDone(), 6);
  EXPECT_EQ(RunningConvertors.load(), before);
}

TEST_F(RunControllerTest, ARunWithNothingToConvertEndsAtOnceAndReleasesItsThreads) {
  const int before = RunningConvertors.load();
  const int all = info->Count("A");
  std::shared_ptr<TkvBatch> batch = SearchingBatch(0);
  ASSERT_TRUE(StartRun(batch, 3));
  ASSERT_TRUE(WaitFor([&] { return AllEnded(); }));
  ASSERT_EQ(ended.size(), 1u);  // one end for the three converters
  EXPECT_FALSE(ended[0].stopped);
  EXPECT_TRUE(controller().ProgressShown());
  EXPECT_EQ(controller().RowsDone(), 0);
  EXPECT_EQ(info->Count("A"), all);
  EXPECT_EQ(RunningConvertors.load(), before);
  // The batch is the caller's again: it outlived the run's threads.
  EXPECT_EQ(batch.use_count(), 1);
}

TEST_F(RunControllerTest, StopFlagsOnlyItsOwnRunAndFiguresAreCountedOncePerList) {
  TkvUiTestConvertor::delayMs = 40;
  const int all = info->Count("A"), ok = info->Count("S");
  std::shared_ptr<TkvBatch> first = SearchingBatch(8);

  // Pause, then carry on with the same batch: its items count once.
  ASSERT_TRUE(StartRun(first, 1));
  ASSERT_TRUE(WaitFor([&] { return controller().RowsDone() >= 1; }));
  controller().Pause();
  ASSERT_TRUE(WaitFor([&] { return AllEnded(); }));
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_FALSE(ended[0].stopped);
  EXPECT_FALSE(controller().StopRequested());
  const int doneAtPause = controller().RowsDone();
  ASSERT_TRUE(StartRun(first, 1));
  ASSERT_TRUE(WaitFor([&] { return controller().RowsDone() > doneAtPause || AllEnded(); }));
  controller().Stop();
  EXPECT_TRUE(controller().StopRequested());
  ASSERT_TRUE(WaitFor([&] { return AllEnded(); }));
  ASSERT_EQ(ended.size(), 2u);
  EXPECT_TRUE(ended[1].stopped);
  EXPECT_EQ(info->Count("A"), all + 8);
  EXPECT_EQ(info->Count("S"), ok + first->SuccessCount());

  // The next run, on a new list, is not taken for a stopped one, and its
  // figures are counted in full.
  TkvUiTestConvertor::delayMs = 0;
  const int doneBefore = first->SuccessCount();
  std::shared_ptr<TkvBatch> second = SearchingBatch(8);
  ASSERT_TRUE(StartRun(second, 2));
  EXPECT_FALSE(controller().StopRequested());
  ASSERT_TRUE(WaitFor([&] { return AllEnded(); }));
  ASSERT_EQ(ended.size(), 3u);
  EXPECT_FALSE(ended[2].stopped);
  EXPECT_EQ(info->Count("A"), all + 16);
  EXPECT_EQ(info->Count("S"), ok + doneBefore + 8);
  EXPECT_EQ(controller().RowsDone(), 8);
}

TEST_F(RunControllerTest, ChangesHandedOverForAnOlderListAreDropped) {
  std::shared_ptr<TkvBatch> batch = SearchingBatch(3);
  ASSERT_TRUE(WaitFor([&] { return batch->SearchDone() && rows.size() == 3; }));
  rows.clear();
  const std::uint64_t old = generation;
  TkvNode* item = nullptr;
  {
    TkvItemsLock lock(*batch);
    item = batch->Item(0);
  }
  // From another thread the change is only queued; a new list comes first.
  std::thread([&] { controller().ItemConverted(old, batch.get(), item); }).join();
  controller().NewList();
  controller().ApplyRowChanges();
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(controller().RowsDone(), 0);
  // The same change for the current list is applied.
  const std::uint64_t current = controller().ListGeneration();
  std::thread([&] { controller().ItemConverted(current, batch.get(), item); }).join();
  controller().ApplyRowChanges();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].kind, TkvRowChange::Kind::Converted);
  EXPECT_EQ(controller().RowsDone(), 1);
}

}  // namespace
