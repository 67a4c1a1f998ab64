#include "ui/frm_main.h"

#include "batch/batch.h"
#include "core/error.h"
#include "core/file_dialogs.h"
#include "core/info.h"
#include "core/path_utils.h"
#include "core/project.h"
#include "ui/action_button.h"
#include "ui/desktop_opener.h"
#include "ui/frm_about.h"
#include "ui/frm_cfg.h"
#include "ui/handler_guard.h"
#include "ui/qt_file_dialogs.h"
#include "ui/result_list.h"
#include "ui/run_controller.h"
#include "ui/start_folder_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

TkvProject* Project() { return TkvProject::Instance(); }

TkvProfile Profile() { return Project() ? Project()->Profile() : TkvTabrixProfile(); }

// The per-user file of the window's size, position and column widths.
QString LayoutFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/tabrix/window.conf");
}

// Local paths of dropped URLs; addresses that are no local file as text.
QStringList DroppedPaths(const QMimeData* mime) {
  QStringList paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls()) {
    const QString p = url.isLocalFile() ? url.toLocalFile() : url.toString();
    if (!p.isEmpty()) paths << p;
  }
  return paths;
}

}  // namespace

TkvFrmMain::~TkvFrmMain() {
  // FormDestroy: no more drops; the run and the batch go first (their
  // threads are joined while every member they report to still exists).
  setAcceptDrops(false);
  if (batch_) batch_->Terminate();
  controller_.reset();
  batch_.reset();
  if (TkvProject* project = Project(); project && project->FileDialogs() == dialogs_.get()) {
    project->SetFileDialogs(nullptr);
  }
}

// ---------------------------------------------------------------- lifecycle

void TkvFrmMain::BindControls() {
  TkvProject* project = Project();
  if (!project) return;
  project->BindControl(eSource);
  project->BindControl(cSubdir);
  project->BindControl(eTarget);
}

void TkvFrmMain::FormCreate() {
  BindControls();
  if (TkvProject* project = Project()) {
    project->SetFileDialogs(dialogs_.get());
    TkvGuarded([project] { project->LoadInitial(); });
  }
  UpdateCaption();
}

void TkvFrmMain::showEvent(QShowEvent* event) {
  FitToFont();
  TkvFrmBase<QMainWindow>::showEvent(event);
  if (!event->spontaneous() && !shown_) RestoreLayout();
  if (!event->spontaneous()) TkvGuarded([this] { FormShow(); });
}

void TkvFrmMain::changeEvent(QEvent* event) {
  TkvFrmBase<QMainWindow>::changeEvent(event);
  if (event->type() == QEvent::FontChange) FitToFont();
}

void TkvFrmMain::hideEvent(QHideEvent* event) {
  // Closing (or hiding) the shown window keeps its layout for the next session.
  if (!event->spontaneous() && shown_) SaveLayout();
  TkvFrmBase<QMainWindow>::hideEvent(event);
}

void TkvFrmMain::RestoreLayout() {
  const QSettings settings(LayoutFile(), QSettings::IniFormat);
  const QByteArray geometry = settings.value(QStringLiteral("MainWindow/Geometry")).toByteArray();
  if (!geometry.isEmpty()) restoreGeometry(geometry);
  const QByteArray columns = settings.value(QStringLiteral("MainWindow/Columns")).toByteArray();
  if (!columns.isEmpty()) lViewer->header()->restoreState(columns);
  dialogs_->SetLastFolder(settings.value(QStringLiteral("MainWindow/LastFolder")).toString());
}

void TkvFrmMain::SaveLayout() const {
  // A folder that cannot be written keeps the next session at the defaults.
  QDir().mkpath(TkvFolderPart(LayoutFile()));
  QSettings settings(LayoutFile(), QSettings::IniFormat);
  settings.setValue(QStringLiteral("MainWindow/Geometry"), saveGeometry());
  settings.setValue(QStringLiteral("MainWindow/Columns"), lViewer->header()->saveState());
  settings.setValue(QStringLiteral("MainWindow/LastFolder"), dialogs_->LastFolder());
}

void TkvFrmMain::FormShow() {
  if (shown_) return;
  shown_ = true;
  // From the event loop, never from inside show(): a run that ends at once
  // closes the window, and only a running loop ends with that close.
  QTimer::singleShot(0, this, [this] { TkvGuarded([this] { AutoRun(); }); });
}

void TkvFrmMain::UpdateLinkActions() {
  const TkvInfo* info = TkvInfo::Instance();
  const bool site = info && info->HasMakerSite();
  for (QAction* a : {aUpdate, aHomePage, aSupports}) a->setEnabled(site);
  pm3Popup();
}

void TkvFrmMain::ShowMessage(const QString& message) {
  message_ = message;
  statusBar()->showMessage(message);
}

bool TkvFrmMain::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    // A tip stands in for the window's message only while it is shown.
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    statusBar()->showMessage(tip.isEmpty() ? message_ : tip);
    return true;
  }
  return TkvFrmBase<QMainWindow>::event(event);
}

void TkvFrmMain::ShowFailure(const QString& message) {
  ShowMessage(message);
  const TkvProject* project = Project();
  if (project && project->AutomaticRun()) {
    std::fprintf(stderr, "tabrix: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
  }
}

void TkvFrmMain::UpdateCaption() {
  const TkvProject* project = Project();
  const QString file = project ? project->ProjectFileName() : QString();
  setWindowTitle(Profile().Title + QStringLiteral(" - ") +
                 (file.isEmpty() ? QStringLiteral("None") : file));
}

// ------------------------------------------------------------ source, target

void TkvFrmMain::SetDefaultTarget(const QString& folder) {
  if (eTarget->text().isEmpty()) eTarget->setText(folder);
}

void TkvFrmMain::NewBatch() {
  // The running batch stays with its run, which ends after the items in hand.
  if (RunInProgress()) controller_->Stop();
  SetRunState(QString());
  std::shared_ptr<TkvBatch> old = std::move(batch_);
  const std::uint64_t generation = controller_->NewList();  // clears the figures shown
  if (old) old->Terminate();
  old.reset();  // joins its search thread unless a run still holds it
  lViewer->clear();
  batch_ = std::make_shared<TkvBatch>(*Project());
  TkvRunController* controller = controller_.get();
  batch_->OnItemAdded = [controller, generation](TkvBatch* batch, TkvNode* item) {
    controller->ItemListed(generation, batch, item);
  };
}

void TkvFrmMain::AddSourceFile(const QString& path) {
  SetDefaultTarget(TkvFolderPart(path));
  if (batch_) batch_->AddFile(path);
}

void TkvFrmMain::bSourceClick() {
  QString folder = TkvFolderPart(eSource->text());
  const bool chosen = dialogs_->FolderDialog(folder);
  // A cancelled choice with no folder to keep changes nothing: it would
  // otherwise point the source (and the target) at the root folder.
  if (!chosen && folder.isEmpty()) return;
  folder = TkvWithTrailingDelimiter(folder);
  eSource->setText(folder + Profile().SourceMask);
  SetDefaultTarget(folder);
}

void TkvFrmMain::bSourceFileClick() {
  QString names = eSource->text();
  if (!dialogs_->OpenDialog(Profile().SourceFilter, names, true)) return;
  names = names.trimmed();
  if (!names.contains(u'\n')) eSource->setText(names);
  NewBatch();
  for (const QString& line : names.split(u'\n')) {
    const QString path = line.trimmed();
    if (!path.isEmpty()) AddSourceFile(path);
  }
}

void TkvFrmMain::bTargetClick() {
  QString folder = eTarget->text();
  dialogs_->FolderDialog(folder);
  eTarget->setText(TkvWithTrailingDelimiter(folder));
}

void TkvFrmMain::aViewExecute() {
  if (!eTarget->text().isEmpty())
    ShellOpen(eTarget->text());
  else
    eTarget->setFocus();
}

void TkvFrmMain::ShellOpen(const QString& path) {
  if (!shellOpen_ || path.trimmed().isEmpty() || shellOpen_(path)) return;
  ShowMessage(
      QStringLiteral("No program to open %1 was found: install xdg-utils or choose a default "
                     "application for it")
          .arg(path));
}

void TkvFrmMain::ShowOpenOutcome() {
  const TkvProject* project = Project();
  if (!project) return;
  if (!project->OpenError().isEmpty()) {
    ShowFailure(QStringLiteral("The project was not opened: ") + project->OpenError());
  } else if (project->AutomaticRun() && project->Daemon() < 1) {
    ShowMessage(QStringLiteral("This project sets %1: the window will close when its run ends")
                    .arg(project->RunAndClose() ? QStringLiteral("RunAndClose")
                                                : QStringLiteral("PureConsole")));
  }
}

bool TkvFrmMain::eventFilter(QObject* watched, QEvent* event) {
  QWidget* target = nullptr;
  if (watched == eSource)
    target = eSource;
  else if (watched == eTarget)
    target = eTarget;
  else if (watched == lViewer->viewport())
    target = lViewer;
  if (!target) return TkvFrmBase<QMainWindow>::eventFilter(watched, event);

  switch (event->type()) {
    case QEvent::MouseButtonDblClick:
      if (target == eSource)
        TkvGuarded([this] { bSourceFileClick(); });
      else if (target == eTarget)
        TkvGuarded([this] { bTargetClick(); });
      else
        break;
      return true;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (!drag->mimeData()->hasUrls()) break;
      drag->setDropAction(Qt::CopyAction);
      drag->accept();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (!drop->mimeData()->hasUrls()) break;
      const QStringList paths = DroppedPaths(drop->mimeData());
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      TkvGuarded([this, target, paths] { FileDrop(target, paths); });
      return true;
    }
    default:
      break;
  }
  return TkvFrmBase<QMainWindow>::eventFilter(watched, event);
}

void TkvFrmMain::FileDrop(QWidget* target, const QStringList& paths) {
  auto* edit = qobject_cast<QLineEdit*>(target);
  const bool onList = target == lViewer;
  if ((edit != eSource && edit != eTarget) && !onList) return;
  if (paths.isEmpty()) return;
  TkvProject* project = Project();
  if (paths.size() == 1 && project && project->IsProjectFile(paths.first())) {
    project->SetProjectFileName(paths.first());
    project->OpenProject(false);
    ShowOpenOutcome();
    UpdateCaption();
    return;
  }
  if (edit) {
    edit->setText(paths.first());
    SetDefaultTarget(TkvFolderPart(paths.first()));
    return;
  }
  NewBatch();
  for (const QString& path : paths) AddSourceFile(path);
}

// ---------------------------------------------------------- project actions

void TkvFrmMain::aOpenExecute() {
  if (TkvProject* project = Project()) {
    project->OpenProject(true);
    ShowOpenOutcome();
  }
  UpdateCaption();
}

void TkvFrmMain::pm2Popup() {
  pm2->clear();
  const TkvProject* project = Project();
  if (!project) return;
  for (const QString& path : project->RecentProjects()) {
    // "&" doubled: the caption shows the path exactly; the click uses the data.
    QAction* item = pm2->addAction(QString(path).replace(u'&', QStringLiteral("&&")));
    item->setData(path);
    item->setEnabled(QFileInfo::exists(path));
    connect(item, &QAction::triggered, this,
            [this, path] { TkvGuarded([this, path] { RecentProjectClick(path); }); });
  }
}

void TkvFrmMain::RecentProjectClick(const QString& path) {
  if (TkvProject* project = Project()) {
    project->SetProjectFileName(path);
    project->OpenProject(false);
    ShowOpenOutcome();
  }
  UpdateCaption();
}

void TkvFrmMain::aNewExecute() {
  if (TkvProject* project = Project()) project->NewProject();
  UpdateCaption();
}

void TkvFrmMain::aConfigExecute() {
  if (!kvFrmCfg_) kvFrmCfg_ = new TkvFrmCfg(this);
  kvFrmCfg_->exec();
  UpdateCaption();
}

void TkvFrmMain::aSaveExecute() {
  TkvProject* project = Project();
  if (!project) return;
  // A Save that asks for a name is a Save As: a failure keeps the old name.
  const QString before = project->ProjectFileName();
  try {
    project->SaveProject();
  } catch (const TkvError& e) {
    if (before.isEmpty()) project->SetProjectFileName(before);
    ShowFailure(QStringLiteral("The project was not saved: ") + e.Message());
  }
  UpdateCaption();
}

void TkvFrmMain::aSaveAsExecute() {
  TkvProject* project = Project();
  if (!project) return;
  const QString before = project->ProjectFileName();
  try {
    project->SaveProjectAs();
  } catch (const TkvError& e) {
    project->SetProjectFileName(before);
    ShowFailure(QStringLiteral("The project was not saved: ") + e.Message());
  }
  UpdateCaption();
}

// ------------------------------------------------------------------- links

void TkvFrmMain::aUpdateExecute() {
  if (TkvInfo* info = TkvInfo::Instance())
    info->OpenLink(QStringLiteral("download"), QString(), QString());
}

void TkvFrmMain::aHelpExecute() {
  TkvInfo* info = TkvInfo::Instance();
  if (!info) return;
  // Opened by the window, which hears whether a program took it.
  const QString help = info->BuildLink(QStringLiteral("h"), QString(), QString());
  info->AddCount(QStringLiteral("H"), 0, 1);
  if (!QFileInfo::exists(help)) {
    ShowMessage(QStringLiteral("The help file %1 was not found").arg(help));
  } else if (shellOpen_ && !shellOpen_(help)) {
    ShowMessage(QStringLiteral("No program to show the help file %1 was found: install a PDF "
                               "viewer and xdg-utils")
                    .arg(help));
  }
}

void TkvFrmMain::aHomePageExecute() {
  if (TkvInfo* info = TkvInfo::Instance()) info->OpenLink(QString(), QString(), QString());
}

void TkvFrmMain::aSupportsExecute() {
  if (TkvInfo* info = TkvInfo::Instance())
    info->OpenLink(QStringLiteral("supports"), QString(), QString());
}

void TkvFrmMain::aAboutExecute() {
  if (about_) about_->ShowAbout();
}

void TkvFrmMain::aQuitExecute() { close(); }

void TkvFrmMain::aCopyExecute() {
  const QString rows = lViewer->SelectedRowsText();
  if (!rows.isEmpty()) QGuiApplication::clipboard()->setText(rows);
}

// ------------------------------------------------------------- list menu

void TkvFrmMain::pm1Popup() {
  const bool selected = !lViewer->selectedItems().isEmpty();
  OpenSource1->setEnabled(selected);
  ViewSource1->setEnabled(OpenSource1->isEnabled());
}

void TkvFrmMain::OpenSelected(bool folderOnly) {
  QString path = lViewer->SelectedFile();
  if (path.isEmpty()) return;
  if (folderOnly) path = TkvFolderPart(path);
  ShellOpen(path);
}

void TkvFrmMain::ExportList1Click() {
  QString name;
  if (!dialogs_->SaveDialog(QStringLiteral("Log File|*.log"), QStringLiteral(".log"), name)) return;
  try {
    lViewer->SaveList(name);
    ShowMessage(
        QStringLiteral("The list was exported to %1").arg(QFileInfo(name).absoluteFilePath()));
  } catch (const TkvError& e) {
    ShowFailure(QStringLiteral("The list was not exported: ") + e.Message());
  }
}

void TkvFrmMain::RowDoubleClick(QTreeWidgetItem* row) {
  const int index = lViewer->indexOfTopLevelItem(row);
  if (index < 0 || lViewer->RowStatus(index) != 1) return;
  const QStringList files = lViewer->RowFiles(index);
  if (!files.isEmpty()) ShellOpen(files.first());
}

void TkvFrmMain::pm3Popup() {
  const TkvInfo* info = TkvInfo::Instance();
  // Without the maker's site no report is ever sent: nothing to choose.
  SendReports1->setEnabled(info && info->HasMakerSite());
  SendReports1->setChecked(info && info->HasMakerSite() && !info->Quiet());
}

void TkvFrmMain::SendReports1Click() {
  if (TkvInfo* info = TkvInfo::Instance()) info->SetQuiet(!SendReports1->isChecked());
  pm3Popup();
}
