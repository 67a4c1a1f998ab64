#pragma once
// A recording "Excel.Application" for the converter's call-sequence tests:
// what it answers is scripted, everything it is asked is recorded. One
// script at a time (`script`), set by the test fixture.

#include "convert/automation/class_registry.h"
#include "convert/tabrix.h"
#include "core/path_utils.h"
#include "support/workbooks.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <future>
#include <mutex>
#include <vector>

#include <sys/stat.h>

namespace tabrix::test {

// What the recording application answers and everything it was asked.
struct Script {
  QString version = QStringLiteral("16.0");
  int sheetCount = 3;
  int activeSheet = 3;
  bool failExport = false;
  bool failPrint = false;
  QString openError;          // Workbooks.Open raises this when set
  int failCreations = 0;      // the next N creations raise
  bool suiteResult = false;   // what the office-suite export returns (writing a PDF when true)
  bool printWrites = true;    // PrintOut delivers a file at the printer output path
  QList<int> hiddenSheets;    // answer Visible 0
  QByteArray exportBytes;     // what ExportAsFixedFormat writes; a one-page PDF when empty
  QString printerOutput;      // the last SetPrinterOutput path
  TkvBatch* batch = nullptr;  // to check the lock while printing
  bool lockHeldWhilePrinting = true;
  std::vector<std::future<int>> waiters;  // finish once the lock is free

  std::mutex mutex;
  QStringList calls;
  int creations = 0;

  void Add(const QString& call) {
    std::lock_guard<std::mutex> lock(mutex);
    calls.append(call);
  }
  QStringList Matching(const QString& part) {
    std::lock_guard<std::mutex> lock(mutex);
    return calls.filter(part);
  }

  // Exports write under temporary names that are renamed into place: the
  // calls are shown with the name each file ended under (found by its inode
  // below `folder`), or as written when it went nowhere.
  QHash<QString, ino_t> written;
  void NoteWritten(const QString& path) {
    struct stat st {};
    std::lock_guard<std::mutex> lock(mutex);
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) written.insert(path, st.st_ino);
  }
  void ShowFinalNames(const QString& folder) {
    std::lock_guard<std::mutex> lock(mutex);
    QHash<ino_t, QString> finalNames;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
      struct stat st {};
      const QString path = it.next();
      if (::stat(QFile::encodeName(path).constData(), &st) == 0) finalNames.insert(st.st_ino, path);
    }
    for (auto w = written.cbegin(); w != written.cend(); ++w)
      if (finalNames.contains(w.value())) calls.replaceInStrings(w.key(), finalNames[w.value()]);
    written.clear();
  }
};

inline Script* script = nullptr;

inline QString Text(const TkvVariant& v) {
  switch (v.GetType()) {
    case TkvVariant::Type::Omitted:
      return QStringLiteral("~");
    case TkvVariant::Type::Boolean:
      return v.ToBool() ? QStringLiteral("true") : QStringLiteral("false");
    case TkvVariant::Type::Object:
      return QStringLiteral("<object>");
    default:
      return v.ToText();
  }
}

class Recorder : public TkvAutoObject {
 public:
  explicit Recorder(QString name) : name_(std::move(name)) {}

  TkvVariant Invoke(const QString& member, TkvInvokeKind kind, const TkvArgs& args) override {
    QStringList parts;
    for (const TkvVariant& a : args) parts << Text(a);
    const QString call = kind == TkvInvokeKind::PropertyPut
                             ? QStringLiteral("%1.%2=%3").arg(name_, member, parts.join(u','))
                             : QStringLiteral("%1.%2(%3)").arg(name_, member, parts.join(u','));
    script->Add(call);
    return Answer(member, args);
  }

 private:
  static TkvVariant Object(const QString& name) {
    return TkvVariant(std::shared_ptr<TkvAutoObject>(std::make_shared<Recorder>(name)));
  }

  TkvVariant Answer(const QString& member, const TkvArgs& args) {
    if (member == "Version") return TkvVariant(script->version);
    if (member == "Path") return TkvVariant(QStringLiteral("/opt/office/program"));
    if (member == "Workbooks") return Object(QStringLiteral("Workbooks"));
    if (member == "Open") {
      if (!script->openError.isEmpty()) throw TkvAutomationError(script->openError, member);
      return Object(QStringLiteral("Workbook"));
    }
    if (member == "Sheets") {
      if (args.isEmpty()) return Object(QStringLiteral("Sheets"));
      const int i = args[0].ToInt();
      if (i < 1 || i > script->sheetCount)
        throw TkvAutomationError(QStringLiteral("No sheet %1").arg(i), member);
      return Object(QStringLiteral("Sheet%1").arg(i));
    }
    if (member == "Count") return TkvVariant(std::int32_t(script->sheetCount));
    if (member == "ActiveSheet") return Object(QStringLiteral("Sheet%1").arg(script->activeSheet));
    if (member == "PageSetup") return Object(name_ + QStringLiteral(".PageSetup"));
    if (member == "Visible")
      return TkvVariant(std::int32_t(script->hiddenSheets.contains(name_.mid(5).toInt()) ? 0 : -1));
    if (member == "ExportAsFixedFormat") {
      if (script->failExport) throw TkvAutomationError(QStringLiteral("Export refused"), member);
      QFile file(args[1].ToText());
      if (!file.open(QIODevice::WriteOnly))
        throw TkvAutomationError(QStringLiteral("Cannot write"), member);
      file.write(script->exportBytes.isNull() ? tinyPdf(1) : script->exportBytes);
      file.close();
      script->NoteWritten(args[1].ToText());
      return {};
    }
    if (member == "PrintOut") {
      // Another thread must not get the batch's lock while a print runs.
      script->waiters.push_back(
          std::async(std::launch::async, [] { return script->batch->SuccessCount(); }));
      if (script->waiters.back().wait_for(std::chrono::milliseconds(50)) !=
          std::future_status::timeout)
        script->lockHeldWhilePrinting = false;
      if (script->failPrint) throw TkvAutomationError(QStringLiteral("Printer jammed"), member);
      if (script->printWrites) {
        QFile file(script->printerOutput);
        if (file.open(QIODevice::WriteOnly)) file.write(tinyPdf(2));
      }
      return {};
    }
    return {};
  }

  QString name_;
};

// TkvTabrix with the office-suite export scripted.
class TkvTabrixProbe : public TkvTabrix {
 public:
  using TkvTabrix::TkvTabrix;
  ~TkvTabrixProbe() override { Shutdown(); }

 protected:
  bool SuiteExport(const QString& source, const QString& target) override {
    // The target is a temporary name in the target folder: the folder is recorded.
    script->Add(
        QStringLiteral("Suite(%1,%2)").arg(TkvNamePart(source), QFileInfo(target).dir().dirName()));
    if (!script->suiteResult) return false;
    QFile file(target);
    return file.open(QIODevice::WriteOnly) && file.write(tinyPdf(3)) > 0;
  }
  void SetPrinterOutput(const QString& path) override { script->printerOutput = path; }
};

}  // namespace tabrix::test
