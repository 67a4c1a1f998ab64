// The converter chain on real threads: its length, OnFinish on the main
// thread once per converter, Stop between items, and destruction that never
// waits forever for a hand-over nobody delivers.

#include "convert/convertor.h"
#include "convertor_test_classes.h"
#include "core/error.h"
#include "support/scoped_temp_dir.h"
#include "support/test_options.h"
#include "support/wait.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace tabrix::test;

namespace {

class ConvertorChain : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTestConvertors(); }

  ConvertorChain() { options_.SetConvertorClass(QStringLiteral("TkvTestWriter")); }

  // A searched batch over `count` workbooks in <tmp>/in.
  std::unique_ptr<TkvBatch> Batch(int count) {
    for (int i = 0; i < count; ++i) tmp_.write(QStringLiteral("in/book%1.xlsx").arg(i), "x");
    auto batch = std::make_unique<TkvBatch>(options_);
    batch->StartSearch(tmp_.file(QStringLiteral("in/*.xls?")), tmp_.file(QStringLiteral("out")),
                       false);
    return batch;
  }

  ScopedTempDir tmp_;
  TestOptions options_;
};

int ChainLength(const TkvConvertor* head) {
  int n = 0;
  for (const TkvConvertor* c = head; c; c = c->Next()) ++n;
  return n;
}

TEST_F(ConvertorChain, ThreadsCountGivesChainLength) {
  auto batch = Batch(0);
  for (const auto& [option, length] : {std::pair{"0", 1}, {"-3", 1}, {"abc", 1}, {"4", 4}}) {
    options_.SetOptionsText(QStringLiteral("ThreadsCount=") + QLatin1String(option));
    auto head = TkvConvertor::StartConverters(batch.get(), tmp_.file(QStringLiteral("out")), {});
    EXPECT_EQ(ChainLength(head.get()), length) << option;
    int expected = length;
    for (TkvConvertor* c = head.get(); c; c = c->Next(), --expected) {
      EXPECT_EQ(c->ThreadsCount(), expected);
      EXPECT_EQ(c->Batch(), batch.get());
      EXPECT_NE(dynamic_cast<TkvTestWriter*>(c), nullptr);
    }
  }
  EXPECT_EQ(batch->Target(), tmp_.file(QStringLiteral("out")));
  EXPECT_THROW(
      TkvConvertor::StartConvertersOf(QStringLiteral("NoSuchClass"), batch.get(), QString(), {}),
      TkvError);
  EXPECT_THROW(
      TkvConvertor::StartConvertersOf(QStringLiteral("TkvWorkBase"), batch.get(), QString(), {}),
      TkvError);
}

TEST_F(ConvertorChain, FourConvertersShareTheBatchAndFinishOnTheMainThread) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  options_.SetOptionsText(QStringLiteral("ThreadsCount=4"));
  auto batch = Batch(12);
  std::atomic<int> itemEvents{0};
  auto head = TkvConvertor::StartConverters(batch.get(), tmp_.file(QStringLiteral("out/")),
                                            [&](TkvBatch*, TkvNode*) { ++itemEvents; });
  int finishes = 0;
  bool allOnMainThread = true;
  head->SetOnFinish([&] {
    ++finishes;
    allOnMainThread &= QThread::currentThread() == app.thread();
  });
  RunningConvertors.store(head->ThreadsCount());
  head->Start();

  ASSERT_TRUE(SpinEventsUntil([&] { return RunningConvertors.load() == 0; }));
  EXPECT_EQ(finishes, 4);
  EXPECT_TRUE(allOnMainThread);
  EXPECT_EQ(itemEvents.load(), 12);
  EXPECT_EQ(batch->SuccessCount(), 12);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(readFile(tmp_.file(QStringLiteral("out/book%1.pdf").arg(i))),
              "PDF of " + tmp_.file(QStringLiteral("in/book%1.xlsx").arg(i)).toUtf8());
  head.reset();
  EXPECT_EQ(finishes, 4);
}

TEST_F(ConvertorChain, DestroyingWhileHandOversArePendingDoesNotHang) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  options_.SetOptionsText(QStringLiteral("ThreadsCount=3"));
  auto batch = Batch(0);
  auto head = TkvConvertor::StartConverters(batch.get(), tmp_.file(QStringLiteral("out")), {});
  std::atomic<int> finishes{0};
  head->SetOnFinish([&] { ++finishes; });
  RunningConvertors.store(head->ThreadsCount());
  head->Start();
  // The main thread delivers nothing: the converters block in the hand-over
  // until the owner gives up on them by destroying the chain.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  head.reset();
  EXPECT_EQ(finishes.load(), 0);
  EXPECT_EQ(RunningConvertors.load(), 0);
}

TEST_F(ConvertorChain, StopLetsRunningItemsFinishAndTakesNoNewOnes) {
  TkvTestSlow::delayMs.store(300);
  options_.SetOptionsText(QStringLiteral("ThreadsCount=2"));
  auto batch = Batch(6);
  batch->WaitForSearch();
  std::atomic<int> started{0}, done{0};
  auto head = TkvConvertor::StartConvertersOf(QStringLiteral("TkvTestSlow"), batch.get(),
                                              tmp_.file(QStringLiteral("out")),
                                              [&](TkvBatch*, TkvNode*) { ++done; });
  head->SetOnItemStart([&](TkvBatch*, TkvNode*) { ++started; });
  RunningConvertors.store(head->ThreadsCount());
  head->Start();
  ASSERT_TRUE(SpinEventsUntil([&] { return started.load() == 2; }));
  head->Stop();
  head->WaitChain();

  EXPECT_EQ(RunningConvertors.load(), 0);
  EXPECT_EQ(started.load(), 2);
  EXPECT_EQ(done.load(), 2);
  int converted = 0;
  for (int i = 0; i < 6; ++i) {
    const TkvNode item = batch->ItemSnapshot(i);
    const QString pdf = tmp_.file(QStringLiteral("out/")) +
                        QFileInfo(item.FileName).completeBaseName() + QStringLiteral(".pdf");
    if (item.Status == TkvNode::Done) {
      ++converted;
      EXPECT_EQ(readFile(pdf), "PDF of " + item.FileName.toUtf8()) << "item finished whole";
    } else {
      EXPECT_EQ(item.Status, TkvNode::Waiting);
      EXPECT_FALSE(QFile::exists(pdf));
    }
  }
  EXPECT_EQ(converted, 2);
}

TEST_F(ConvertorChain, ExceptionsOfOtherKindsFailTheirItemAndTheBatchGoesOn) {
  options_.SetProfile([] {
    TkvProfile profile = TkvTabrixProfile();
    profile.ConvertorClass = QStringLiteral("TkvTestFailer");
    return profile;
  }());
  TkvBatch batch(options_);
  batch.AddFile(tmp_.write(QStringLiteral("in/1.xlsx"), "bad_alloc"));
  batch.AddFile(tmp_.write(QStringLiteral("in/2.xlsx"), "system_error:no thread"));
  batch.AddFile(tmp_.write(QStringLiteral("in/3.xlsx"), "plain failure"));
  auto head = TkvConvertor::StartConverters(&batch, tmp_.file(QStringLiteral("out")), {});
  head->Start();
  head->WaitChain();
  EXPECT_EQ(head->ChainFatalError(), QString());
  ASSERT_EQ(batch.ItemCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(batch.ItemSnapshot(i).Status, TkvNode::Failed) << i;
  EXPECT_TRUE(batch.ItemSnapshot(0).Result.contains(QStringLiteral("bad_alloc")))
      << batch.ItemSnapshot(0).Result.toStdString();
  EXPECT_TRUE(batch.ItemSnapshot(1).Result.contains(QStringLiteral("no thread")))
      << batch.ItemSnapshot(1).Result.toStdString();
  EXPECT_EQ(batch.ItemSnapshot(2).Result, QStringLiteral("plain failure"));
  EXPECT_EQ(batch.FailureCount(), 3);
}

}  // namespace

// The owner's waits on the chain are woken as converters use up a round or
// end; their time-outs are far beyond what the test may take.
TEST_F(ConvertorChain, OwnerWaitsAreWokenByRoundsAndEnds) {
  TkvTestSlow::delayMs.store(20);
  options_.SetOptionsText(QStringLiteral("ThreadsCount=3"));
  auto batch = Batch(5);
  auto head = TkvConvertor::StartConvertersOf(QStringLiteral("TkvTestSlow"), batch.get(),
                                              tmp_.file(QStringLiteral("out")), {});
  head->KeepBetweenRounds();
  RunningConvertors.store(head->ThreadsCount());
  head->Start();
  auto roundDone =
      std::async(std::launch::async, [&] { return head->WaitRoundDone(std::chrono::seconds(60)); });
  ASSERT_EQ(roundDone.wait_for(std::chrono::seconds(20)), std::future_status::ready)
      << "not woken by the round's end";
  EXPECT_TRUE(roundDone.get());
  EXPECT_EQ(batch->SuccessCount(), 5);
  EXPECT_FALSE(head->WaitConvertersEnded(std::chrono::milliseconds(1)));

  TkvBatch second(options_);
  second.AddFile(tmp_.write(QStringLiteral("in2/late.xlsx"), "x"));
  head->StartRound(&second, tmp_.file(QStringLiteral("out")));
  ASSERT_TRUE(head->WaitRoundDone(std::chrono::seconds(20)));
  EXPECT_EQ(second.SuccessCount(), 1);

  auto ended = std::async(std::launch::async,
                          [&] { return head->WaitConvertersEnded(std::chrono::seconds(60)); });
  std::this_thread::sleep_for(
      std::chrono::milliseconds(20));  // the owner waits before any converter ends
  head->Stop();
  ASSERT_EQ(ended.wait_for(std::chrono::seconds(20)), std::future_status::ready)
      << "not woken as converters ended";
  EXPECT_TRUE(ended.get());
  EXPECT_EQ(RunningConvertors.load(), 0);
  head->WaitChain();
}
