// The converter chain on real threads: its length, OnFinish on the main
// thread once per converter, Stop between items, and destruction that never
// waits forever for a hand-over nobody delivers.

#include "convert/convertor.h"
#include "convertor_test_classes.h"
#include "convertor_test_env.h"
#include "core/error.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace tabrix::test;

namespace {

class ConvertorChain : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTestConvertors(); }

  ConvertorChain() : globals_(tmp_, QStringLiteral("TkvTestWriter")) {}

  // A searched batch over `count` workbooks in <tmp>/in.
  std::unique_ptr<TkvBatch> Batch(int count) {
    for (int i = 0; i < count; ++i) tmp_.write(QStringLiteral("in/book%1.xlsx").arg(i), "x");
    auto batch = std::make_unique<TkvBatch>();
    batch->StartSearch(tmp_.file(QStringLiteral("in/*.xls?")), tmp_.file(QStringLiteral("out")), false);
    return batch;
  }

  template <class Pred>
  static bool SpinEvents(Pred done, int timeoutMs = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  ScopedTempDir tmp_;
  TestGlobals globals_;
};

int ChainLength(const TkvConvertor* head) {
  int n = 0;
  for (const TkvConvertor* c = head; c; c = c->Next()) ++n;
  return n;
}

TEST_F(ConvertorChain, ThreadsCountGivesChainLength) {
  auto batch = Batch(0);
  for (const auto& [option, length] : {std::pair{"0", 1}, {"-3", 1}, {"abc", 1}, {"4", 4}}) {
    globals_.project->SetOptionsText(QStringLiteral("ThreadsCount=") + QLatin1String(option));
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
  EXPECT_THROW(TkvConvertor::StartConvertersOf(QStringLiteral("NoSuchClass"), batch.get(), QString(), {}),
               TkvError);
  EXPECT_THROW(TkvConvertor::StartConvertersOf(QStringLiteral("TkvWorkBase"), batch.get(), QString(), {}),
               TkvError);
}

TEST_F(ConvertorChain, FourConvertersShareTheBatchAndFinishOnTheMainThread) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  globals_.project->SetOptionsText(QStringLiteral("ThreadsCount=4"));
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

  ASSERT_TRUE(SpinEvents([&] { return RunningConvertors.load() == 0; }));
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

  globals_.project->SetOptionsText(QStringLiteral("ThreadsCount=3"));
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
  globals_.project->SetOptionsText(QStringLiteral("ThreadsCount=2"));
  auto batch = Batch(6);
  batch->WaitForSearch();
  std::atomic<int> started{0}, done{0};
  auto head = TkvConvertor::StartConvertersOf(QStringLiteral("TkvTestSlow"), batch.get(),
                                              tmp_.file(QStringLiteral("out")),
                                              [&](TkvBatch*, TkvNode*) { ++done; });
  head->SetOnItemStart([&](TkvBatch*, TkvNode*) { ++started; });
  RunningConvertors.store(head->ThreadsCount());
  head->Start();
  ASSERT_TRUE(SpinEvents([&] { return started.load() == 2; }));
  head->Stop();
  head->WaitChain();

  EXPECT_EQ(RunningConvertors.load(), 0);
  EXPECT_EQ(started.load(), 2);
  EXPECT_EQ(done.load(), 2);
  int converted = 0;
  for (int i = 0; i < 6; ++i) {
    const TkvNode item = batch->ItemSnapshot(i);
    const QString pdf = tmp_.file(QStringLiteral("out/")) + QFileInfo(item.FileName).completeBaseName() +
                        QStringLiteral(".pdf");
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
  globals_.project->SetProfile([] {
    TkvProfile profile = TkvTabrixProfile();
    profile.ConvertorClass = QStringLiteral("TkvTestFailer");
    return profile;
  }());
  TkvBatch batch;
  batch.AddFile(tmp_.write(QStringLiteral("in/1.xlsx"), "bad_alloc"));
  batch.AddFile(tmp_.write(QStringLiteral("in/2.xlsx"), "system_error:no thread"));
  batch.AddFile(tmp_.write(QStringLiteral("in/3.xlsx"), "plain failure"));
  auto head = TkvConvertor::StartConverters(&batch, tmp_.file(QStringLiteral("out")), {});
  head->Start();
  head->WaitChain();
  EXPECT_EQ(head->ChainFatalError(), QString());
  ASSERT_EQ(batch.ItemCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(batch.ItemSnapshot(i).Status, TkvNode::Failed) << i;
  EXPECT_TRUE(batch.ItemSnapshot(0).Result.contains(QStringLiteral("bad_alloc"))) << batch.ItemSnapshot(0).Result.toStdString();
  EXPECT_TRUE(batch.ItemSnapshot(1).Result.contains(QStringLiteral("no thread"))) << batch.ItemSnapshot(1).Result.toStdString();
  EXPECT_EQ(batch.ItemSnapshot(2).Result, QStringLiteral("plain failure"));
  EXPECT_EQ(batch.FailureCount(), 3);
}

}  // namespace
