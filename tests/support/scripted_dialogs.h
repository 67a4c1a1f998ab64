#pragma once
// A TkvFileDialogs that answers from a script instead of showing windows:
// each call pops the next queued answer (a name, or cancel) and records what
// it was asked. With nothing queued, a call is cancelled.

#include "core/file_dialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

namespace tabrix::test {

class ScriptedDialogs : public TkvFileDialogs {
 public:
  struct Call {
    QString kind;  // "open", "save" or "folder"
    QString filter;
    QString name;  // the name passed in
    QString defaultExt;
    bool several = false;
  };

  // Queues the next answer: a chosen name, or std::nullopt for cancel.
  void Answer(std::optional<QString> answer) { answers_.push_back(std::move(answer)); }

  bool OpenDialog(const QString& filter, QString& name, bool several) override {
    calls.push_back({QStringLiteral("open"), filter, name, QString(), several});
    return Next(name);
  }
  bool SaveDialog(const QString& filter, const QString& defaultExt, QString& name) override {
    calls.push_back({QStringLiteral("save"), filter, name, defaultExt, false});
    return Next(name);
  }
  bool FolderDialog(QString& folder) override {
    calls.push_back({QStringLiteral("folder"), QString(), folder, QString(), false});
    return Next(folder);
  }

  std::deque<Call> calls;

 private:
  bool Next(QString& inout) {
    if (answers_.empty()) return false;
    std::optional<QString> answer = std::move(answers_.front());
    answers_.pop_front();
    if (!answer) return false;
    inout = *answer;
    return true;
  }

  std::deque<std::optional<QString>> answers_;
};

}  // namespace tabrix::test
