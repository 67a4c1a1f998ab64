#pragma once
// `TkvFrmMain` (form object `kvFrmMain`): the main window. Binds `eSource`,
// `cSubdir` and `eTarget` to the project, loads the start project, picks
// sources and targets, takes dropped files, runs the project commands and the
// product links, and owns the batch the result list `lViewer` shows.
//
// UI thread only, except BatchItemAdded, which the batch may call from its
// search thread: it copies the item's values and hands them to the UI thread.
// The window installs its file dialogs into the project for its lifetime.
// While a run is in progress the batch is never replaced (NewBatch refuses).

#include "core/file_dialogs.h"
#include "ui/frm_about.h"
#include "ui/frm_base.h"
#include "ui/images.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolBar;
class TkvActionButton;
class TkvBatch;
class TkvFrmCfg;
class TkvResultList;
struct TkvNode;

class TkvFrmMain : public TkvFrmBase<QMainWindow> {
  Q_OBJECT

 public:
  // `dialogs` replaces the Qt file dialogs (tests); null means Qt's.
  explicit TkvFrmMain(std::unique_ptr<TkvFileDialogs> dialogs = nullptr, QWidget* parent = nullptr);
  ~TkvFrmMain() override;

  // The about box of the About action (not owned; may be null).
  void SetAboutBox(TkvFrmAbout* about) { about_ = about; }
  // How files, folders and addresses are opened (default: the desktop's).
  void SetShellOpener(std::function<void(const QString&)> opener) { shellOpen_ = std::move(opener); }

  TkvBatch* Batch() const { return batch_.get(); }
  bool Shown() const { return shown_; }
  bool RunInProgress() const { return running_; }
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

  QAction* BrowseFiles1 = nullptr;
  QAction* ViewSource1 = nullptr;
  QAction* OpenSource1 = nullptr;
  QAction* ViewOutput1 = nullptr;
  QAction* ExportList1 = nullptr;

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
  void pm2Popup();
  void RecentProjectClick(const QString& path);
  void pm1Popup();
  void ExportList1Click();
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
  void SetDefaultTarget(const QString& folder);
  // Replaces the batch by a new, empty one and clears the list; false (and
  // nothing changes) while a run uses the current batch.
  bool NewBatch();
  void AddSourceFile(const QString& path);
  TkvFrmCfg* ConfigDialog() const { return kvFrmCfg_; }

 protected:
  virtual void BindControls();
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateActions();
  void CreateToolBar();
  void CreateActionPanel();
  void CreateViewer();
  QAction* MakeAction(const char* name, const QString& caption, const QString& hint, int image,
                      void (TkvFrmMain::*handler)());
  void FormCreate();
  void FormShow();
  // Run-control hook of the first showing.
  void AutoRun();
  void BatchItemAdded(std::uint64_t generation, TkvBatch* batch, TkvNode* item);
  void ShellOpen(const QString& path);

  TkvImageList imgList_;
  std::unique_ptr<TkvFileDialogs> dialogs_;
  std::unique_ptr<TkvBatch> batch_;
  // Changes handed over for an older batch carry an older generation.
  std::uint64_t batchGeneration_ = 0;
  bool shown_ = false;
  bool running_ = false;
  TkvFrmCfg* kvFrmCfg_ = nullptr;
  QPointer<TkvFrmAbout> about_;
  std::function<void(const QString&)> shellOpen_;
};
