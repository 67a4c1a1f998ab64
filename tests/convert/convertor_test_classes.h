#pragma once
// Converter classes for tests, each registered under its own name:
//   "TkvTestWriter" writes "PDF of <source>" to the target and disposes of
//                   the source, as a real converter does after a success;
//   "TkvTestFailer" fails every item, with the source file's text as message
//                   (a text beginning with "throw:" is raised as TkvError,
//                   "bad_alloc" raises std::bad_alloc, "system_error:" a
//                   std::system_error with the rest as its text);
//   "TkvTestBroken" a worker whose item handling raises what no converter
//                   handles (not a std::exception): its thread cannot go on;
//   "TkvTestSlow"   a writer that takes TkvTestSlow::delayMs per item and
//                   writes its file in two halves with the wait in between.

#include "convert/convertor.h"
#include "core/error.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <new>
#include <system_error>
#include <thread>

namespace tabrix::test {

inline QString ItemFileName(TkvBatch* batch, TkvNode* item) {
  TkvItemsLock lock(*batch);
  return item->FileName;
}

class TkvTestWriter : public TkvConvertor {
 public:
  using TkvConvertor::TkvConvertor;
  ~TkvTestWriter() override { Shutdown(); }

  void Convert(TkvBatch* batch, TkvNode* item) override {
    const QString target = MakeTargetPath(batch, item);
    if (target.isEmpty()) return;
    const QString source = ItemFileName(batch, item);
    DeleteTarget(target);
    const QByteArray text = "PDF of " + source.toUtf8();
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
      batch->SetItemOutcome(item, TkvNode::Failed, QStringLiteral("Cannot write ") + target);
      batch->AddFailure(QStringLiteral("Cannot write ") + target);
      return;
    }
    const qsizetype half = text.size() / 2;
    file.write(text.left(half));
    file.flush();
    Pause();
    file.write(text.mid(half));
    file.close();
    const QString note = DisposeSource(batch, item, target);
    {
      TkvItemsLock lock(*batch);
      item->Note = note;
    }
    batch->SetItemOutcome(item, TkvNode::Done, target);
    batch->AddSuccess();
  }

 protected:
  virtual void Pause() {}
};

class TkvTestSlow : public TkvTestWriter {
 public:
  using TkvTestWriter::TkvTestWriter;
  ~TkvTestSlow() override { Shutdown(); }
  static inline std::atomic<int> delayMs{200};

 protected:
  void Pause() override { std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load())); }
};

class TkvTestFailer : public TkvConvertor {
 public:
  using TkvConvertor::TkvConvertor;
  ~TkvTestFailer() override { Shutdown(); }

  void Convert(TkvBatch* batch, TkvNode* item) override {
    QFile file(ItemFileName(batch, item));
    QString message = QStringLiteral("Unreadable");
    if (file.open(QIODevice::ReadOnly)) message = QString::fromUtf8(file.readAll());
    if (message.startsWith(QLatin1String("throw:"))) throw TkvError(message);
    if (message == QLatin1String("bad_alloc")) throw std::bad_alloc();
    if (message.startsWith(QLatin1String("system_error:")))
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                              message.mid(13).toStdString());
    batch->SetItemOutcome(item, TkvNode::Failed, message);
    batch->AddFailure(message);
  }
};

class TkvTestBroken : public TkvConvertor {
 public:
  using TkvConvertor::TkvConvertor;
  ~TkvTestBroken() override { Shutdown(); }

 protected:
  void ProcessItem() override { throw 42; }
};

inline void RegisterTestConvertors() {
  TkvRegisterConvertor<TkvTestBroken>(QStringLiteral("TkvTestBroken"));
  TkvRegisterConvertor<TkvTestWriter>(QStringLiteral("TkvTestWriter"));
  TkvRegisterConvertor<TkvTestSlow>(QStringLiteral("TkvTestSlow"));
  TkvRegisterConvertor<TkvTestFailer>(QStringLiteral("TkvTestFailer"));
}

}  // namespace tabrix::test
