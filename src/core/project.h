#pragma once
// The one batch project of the program: the option list with its typed
// readers, the command line, project files, recent projects, the product
// profile and the binding of window controls to option keys.
//
// Instance() is set by the constructor and cleared by the destructor; it may
// be null (unit tests of other layers). Batches and converters are handed
// the project as their TkvOptionSource instead of looking it up.
// Option readers may be called from any thread (the option list locks);
// everything else runs on the main thread.

#include "core/option_list.h"
#include "core/option_source.h"
#include "core/profile.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class TkvApp;
class TkvFileDialogs;
class TkvPropList;

// What the program does after the command line was read.
enum class TkvCmdResult { Continue, Exit };

class TkvProject : public TkvOptionSource {
 public:
  // `app` must outlive the project. Reads the recent-projects file.
  explicit TkvProject(const TkvApp& app);
  // Writes the recent-projects file (failures are silent).
  ~TkvProject() override;
  TkvProject(const TkvProject&) = delete;
  TkvProject& operator=(const TkvProject&) = delete;

  static TkvProject* Instance();

  static QString PathDelimiter() { return QStringLiteral("/"); }

  // ---- options (any thread) ----
  TkvOptionList& Options() { return options_; }
  QString OptionValue(const QString& key) const override;
  void SetOptionValue(const QString& key, const QString& value);
  QString OptionsText() const;
  void SetOptionsText(const QString& text);

  // The engine's readers come from TkvOptionSource; these are the run's.
  QString Source() const;
  QString Target() const;
  bool Subdir() const;
  QString LogFile() const;
  bool RunAndClose() const;
  bool PureConsole() const;
  int Daemon() const;

  // RunAndClose, PureConsole or Daemon above 0.
  bool AutomaticRun() const;
  // Target, created with its parents when missing (failure ignored), with a
  // trailing "/"; empty when Target is empty.
  QString TargetFolder() const;
  // PureConsole and no "http" in Source.
  bool UnattendedRoad() const;

  // ---- profile ----
  // Starts as TkvTabrixProfile(); start-up sets it once before any thread.
  const TkvProfile& Profile() const override { return profile_; }
  void SetProfile(const TkvProfile& profile) { profile_ = profile; }

  // ---- command line and project files (main thread) ----
  // Reads the application's first argument. Exit after "/I" and "/U" (the
  // link has been opened); otherwise the start project is loaded.
  TkvCmdResult ParseCommandLine();
  TkvCmdResult ParseCommandLine(const QString& firstArg);
  // The "/P" option text, one option per line; empty without it.
  QString CommandLineOptions() const { return cmdOptions_; }

  void LoadInitial();
  // Returns false when the dialog was cancelled.
  bool OpenProject(bool dialog);
  // Why the last OpenProject kept the current options (an unreadable
  // project file); empty when it loaded.
  QString OpenError() const { return openError_; }
  void NewProject();
  // Throws TkvError naming the path when the file cannot be written.
  void SaveProject();
  // Returns false when the dialog was cancelled. Throws as SaveProject.
  bool SaveProjectAs();

  bool IsProjectFile(const QString& name) const;
  QString ProjectFileName() const { return fileName_; }
  void SetProjectFileName(const QString& name) { fileName_ = name; }

  QStringList RecentProjects() const { return recent_; }
  // Inserts the absolute path at the top unless an entry equal without
  // letter case exists.
  void AddRecentProject(const QString& path);

  // Not owned; must outlive its use. Without dialogs, dialog operations act
  // as if cancelled.
  void SetFileDialogs(TkvFileDialogs* dialogs) { dialogs_ = dialogs; }
  TkvFileDialogs* FileDialogs() const { return dialogs_; }

  // ---- bound controls (main thread) ----
  // The control's objectName without its first letter is its key; its
  // dynamic property "hint" names the value's property. Not owned.
  void BindControl(QObject* control);
  void ApplyToControls();
  void CollectFromControls();

 private:
  struct Binding {
    QPointer<QObject> control;
    std::unique_ptr<TkvPropList> props;
  };
  const TkvApp& app_;
  TkvOptionList options_;
  TkvProfile profile_;
  QString fileName_;
  QString cmdOptions_;
  QString cmdName_;  // a file or source named on the command line
  QStringList recent_;
  QString openError_;
  std::vector<Binding> bindings_;
  TkvFileDialogs* dialogs_ = nullptr;
};
