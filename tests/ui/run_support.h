#pragma once
// Helpers of the window's run tests: a converter class of their own and
// waiting with the event loop running.

#include "convert/convertor.h"
#include "core/error.h"
#include "core/project.h"
#include "ui/action_button.h"
#include "ui/frm_main.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace tabrix::test {

// "TkvUiTestConvertor": a source whose text begins with "fail" fails with
// that text as its message; any other gets "PDF of <source>" as its target
// (one file of one page).
// Every item takes delayMs.
class TkvUiTestConvertor : public TkvConvertor {
 public:
  using TkvConvertor::TkvConvertor;
  ~TkvUiTestConvertor() override { Shutdown(); }
  static inline std::atomic<int> delayMs{0};

  void Convert(TkvBatch* batch, TkvNode* item) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
    QString source;
    {
      TkvItemsLock lock(*batch);
      source = item->FileName;
    }
    QFile in(source);
    const QString text = in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
    if (text.startsWith(QLatin1String("fail"))) {
      batch->SetItemOutcome(item, TkvNode::Failed, text);
      batch->AddFailure(text);
      return;
    }
    const QString target = MakeTargetPath(batch, item);
    if (target.isEmpty()) return;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly)) throw TkvError(QStringLiteral("Cannot write ") + target);
    out.write("PDF of " + source.toUtf8());
    {
      TkvItemsLock lock(*batch);
      item->Files = QStringList{target};
      item->Pages = 1;
    }
    batch->SetItemOutcome(item, TkvNode::Done, target);
    batch->AddSuccess();
  }
};

// The project converts with `className`.
inline void UseConvertor(TkvProject& project, const QString& className) {
  static const bool registered = [] {
    TkvRegisterConvertor<TkvUiTestConvertor>(QStringLiteral("TkvUiTestConvertor"));
    return true;
  }();
  (void)registered;
  TkvProfile profile = project.Profile();
  profile.ConvertorClass = className;
  project.SetProfile(profile);
}

// Runs the event loop until `done` or `ms` have passed; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
  return true;
}

// No run, and the buttons show the Idle actions.
inline bool Idle(const TkvFrmMain& w) {
  return !w.RunInProgress() && w.bCreate->Action() == w.aConvert && w.aConvert->isEnabled() &&
         w.bSearchConvert->Action() == w.aSearchConvert;
}

}  // namespace tabrix::test
