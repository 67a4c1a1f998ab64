#pragma once
// `TkvFrmMain` (form object `kvFrmMain`): the main window. Binds `eSource`,
// `cSubdir` and `eTarget` to the project, loads the start project, picks
// sources and targets, takes dropped files, runs the project commands and the
// product links, and owns the batch the result list `lViewer` shows.
//
// UI thread only. The runs are driven by the window's TkvRunController,
// which hands the items' changes from the search and converter threads to
// the list. The window installs its file dialogs into the project for its
// lifetime. A batch that a run still uses is kept alive by that run until
// the run's threads have ended; destroying the window stops the run and
// waits for its threads.

#include "core/file_dialogs.h"
#include "ui/frm_about.h"
#include "ui/frm_base.h"
#include "ui/images.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QTreeWidgetItem;
class QPushButton;
class QTimer;
class QToolBar;
class TkvActionButton;
class TkvBatch;
class TkvFrmCfg;
class TkvResultList;
class TkvRunController;
class TkvStartFolderDialogs;

class TkvFrmMain : public TkvFrmBase<QMainWindow> {
  Q_OBJECT

 public:
  // `dialogs` replaces the Qt file dialogs (tests); null means Qt's.
  explicit TkvFrmMain(std::unique_ptr<TkvFileDialogs> dialogs = nullptr, QWidget* parent = nullptr);
  ~TkvFrmMain() override;

  // The about box of the About action (not owned; may be null).
  void SetAboutBox(TkvFrmAbout* about) { about_ = about; }
  // How files, folders and addresses are opened (default: the desktop's);
  // returns whether a program took the path.
  void SetShellOpener(std::function<bool(const QString&)> opener) {
    shellOpen_ = std::move(opener);
  }

  TkvBatch* Batch() const { return batch_.get(); }
  bool Shown() const { return shown_; }
  // Converters of a run are at work (Running or Ending).
  bool RunInProgress() const;
  // An automatic run waits for its next repetition.
  bool RepetitionPending() const;
  const TkvImageList& Images() const { return imgList_; }

  // ---- components (owned by Qt's parent chain) ----
  QToolBar* ToolBar = nullptr;
  QFrame* pAction = nullptr;
  QFrame* pSource = nullptr;
  QFrame* pTarget = nullptr;
  QFrame* pOthers = nullptr;
  QFrame* pSpacer = nullptr;
  QFrame* pViewer = nullptr;
  QLineEdit* eSource = nullptr;
  QLineEdit* eTarget = nullptr;
  QCheckBox* cSubdir = nullptr;
  QPushButton* bSource = nullptr;
  QPushButton* bSourceFile = nullptr;
  QPushButton* bTarget = nullptr;
  TkvActionButton* bSearch = nullptr;
  TkvActionButton* bView = nullptr;
  TkvActionButton* bSearchConvert = nullptr;
  TkvActionButton* bCreate = nullptr;
  TkvResultList* lViewer = nullptr;
  QMenu* pm1 = nullptr;
  QMenu* pm2 = nullptr;
  // The Help button's drop-down: the "Send problem reports" choice.
  QMenu* pm3 = nullptr;
  // Done / failed / total of the listed batch once a run has started on
  // it; before that the files found, or why none were.
  QLabel* lblProgress = nullptr;
  // The run's state ("Converting 5 of 40", "Paused: ...", "Stopped: ..."),
  // beside the status line so that no tip covers it.
  QLabel* lblState = nullptr;

  QAction* aConvert = nullptr;
  QAction* aStop = nullptr;
  QAction* aOpen = nullptr;
  QAction* aNew = nullptr;
  QAction* aConfig = nullptr;
  QAction* aSave = nullptr;
  QAction* aSaveAs = nullptr;
  QAction* aUpdate = nullptr;
  QAction* aHelp = nullptr;
  QAction* aHomePage = nullptr;
  QAction* aSupports = nullptr;
  QAction* aAbout = nullptr;
  QAction* aSearch = nullptr;
  QAction* aView = nullptr;
  QAction* aSearchConvert = nullptr;
  QAction* aPause = nullptr;
  // Ctrl+Q: closes the window (asking first during a run).
  QAction* aQuit = nullptr;
  // Ctrl+C on the list: the selected rows as text.
  QAction* aCopy = nullptr;

  QAction* BrowseFiles1 = nullptr;
  QAction* ViewSource1 = nullptr;
  QAction* OpenSource1 = nullptr;
  QAction* ViewOutput1 = nullptr;
  QAction* ExportList1 = nullptr;
  // Checked: failure reports go to the maker (the usage store's "+" unset).
  QAction* SendReports1 = nullptr;

  // ---- handlers (public so that scripts and tests can drive them) ----
  void bSourceClick();
  void bSourceFileClick();
  void bTargetClick();
  void aViewExecute();
  void aOpenExecute();
  void aNewExecute();
  void aConfigExecute();
  void aSaveExecute();
  void aSaveAsExecute();
  void aUpdateExecute();
  void aHelpExecute();
  void aHomePageExecute();
  void aSupportsExecute();
  void aAboutExecute();
  void aQuitExecute();
  void aCopyExecute();
  void pm2Popup();
  void RecentProjectClick(const QString& path);
  void pm1Popup();
  void ExportList1Click();
  void pm3Popup();
  void SendReports1Click();
  // Double-click on a row: a converted item's PDF opens.
  void RowDoubleClick(QTreeWidgetItem* row);
  void OpenSelected(bool folderOnly);
  // Files dropped on `target` (the list, an edit box; anything else ignores them).
  void FileDrop(QWidget* target, const QStringList& paths);

  // Run control.
  void aSearchExecute();
  void aConvertExecute();
  void aSearchConvertExecute();
  void aPauseExecute();
  void aStopExecute();

  // ---- operations ----
  void UpdateCaption();
  // Home, Check Update and Support are enabled only when the build (or a
  // test) gave the maker's host.
  void UpdateLinkActions();
  // The window's message in the status bar; a tip shown while the pointer
  // rests on a control hides it only until the tip goes away.
  void ShowMessage(const QString& message);
  QString Message() const { return message_; }
  // `lblState`'s text (the separator before the figures shows only with one).
  void SetRunState(const QString& state);
  // What failed, in the status bar; on stderr too during an automatic run.
  void ShowFailure(const QString& message);
  void SetDefaultTarget(const QString& folder);
  // Replaces the batch by a new, empty one and clears the list. A run in
  // progress is stopped first (as by Stop); it keeps its batch until its
  // threads have ended.
  void NewBatch();
  void AddSourceFile(const QString& path);
  TkvFrmCfg* ConfigDialog() const { return kvFrmCfg_; }
  TkvRunController& RunController() const { return *controller_; }

 protected:
  virtual void BindControls();
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateToolBar();
  void CreateActionPanel();
  void CreateViewer();
  QAction* MakeAction(const char* name, const QString& caption, const QString& hint, int image,
                      void (TkvFrmMain::*handler)());
  void CreateShortcuts();
  // Widens the buttons and panels whose specified size is too small for
  // the current font; never below the specified size.
  void FitToFont();
  // Size, position and column widths of the last session (per user).
  void RestoreLayout();
  void SaveLayout() const;
  void FormCreate();
  void FormShow();
  void CreateRunControl();
  // Starts Convert when the project asks for an automatic run. An error is
  // reported, and the run's end step follows so that the run still closes
  // or repeats.
  void AutoRun();
  // Search without the end step: false (and the batch kept) when the source,
  // or for a folder search the target, is empty; the focus moves there.
  bool SearchSource();
  void StartRun(const QString& targetFolder);
  // The last converter of a run ended.
  void RunEnded(const std::shared_ptr<TkvBatch>& batch, bool stopped);
  void AfterRun();
  void ShowIdleActions();
  void ShowRunningActions();
  void ShowEndingActions();
  void ShowProgress();
  // "Converting N of M" while converters work, "Pausing ..." or "Stopping
  // ..." while they end; the end of a run, a search and a Daemon's wait set
  // their own state.
  void ShowRunState();
  // A problem an automatic run's user must see: status bar and stderr.
  void SayProblem(const QString& message);
  // During a run: whether the user agrees to stop it and close.
  bool ConfirmCloseDuringRun();
  // Why a search listed nothing: the folder is missing, or no file matches.
  QString EmptySearchReason() const;
  // Says in the status bar that nothing opens `path` when no program took it.
  void ShellOpen(const QString& path);
  // After a project was opened: why it was not, or that its run will close
  // the window.
  void ShowOpenOutcome();

  TkvImageList imgList_;
  std::unique_ptr<TkvStartFolderDialogs> dialogs_;
  QString message_;
  // Pause or Stop asked the run in progress to end.
  bool ending_ = false;
  QFrame* stateSeparator_ = nullptr;
  // Shared with the run that converts it.
  std::shared_ptr<TkvBatch> batch_;
  bool shown_ = false;
  // Widgets with a specified fixed width (FitToFont keeps them at least so wide).
  std::vector<std::pair<QWidget*, int>> specWidths_;

  // Destroyed by the destructor before the batch: it joins the run's threads.
  std::unique_ptr<TkvRunController> controller_;
  TkvFrmCfg* kvFrmCfg_ = nullptr;
  QPointer<TkvFrmAbout> about_;
  std::function<bool(const QString&)> shellOpen_;
};
