// The main window's widgets, actions, menus and shortcuts, built once by the
// constructor (the handlers are in frm_main.cpp, the run control in
// frm_main_run.cpp).
#include "ui/frm_main.h"

#include "batch/batch.h"
#include "core/app.h"
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
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

QFrame* MakePanel(QWidget* parent, const char* name, QFrame::Shadow shadow) {
  auto* p = new QFrame(parent);
  p->setObjectName(QString::fromLatin1(name));
  p->setFrameShape(shadow == QFrame::Plain ? QFrame::NoFrame : QFrame::Panel);
  p->setFrameShadow(shadow);
  return p;
}

// A panel of a specified height that grows when its contents need more.
void SetPanelHeight(QFrame* panel, int height) {
  panel->setMinimumHeight(height);
  panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int width,
                        const QString& hint) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  if (width > 0) b->setFixedWidth(width);
  b->setToolTip(hint);
  b->setAutoDefault(false);
  return b;
}

TkvActionButton* MakeActionButton(QWidget* parent, const char* name, QAction* action, int width) {
  auto* b = new TkvActionButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->SetAction(action);
  if (width > 0) b->setFixedWidth(width);
  return b;
}

// A labelled edit box: "&Caption" to its left, 4 pixels apart.
QLineEdit* MakeLabelledEdit(QWidget* parent, QHBoxLayout* row, const char* name,
                            const QString& caption, const QString& hint) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setFixedWidth(500);
  edit->setProperty("hint", hint);  // names the bound property; never shown
  label->setBuddy(edit);
  row->addWidget(label);
  row->addSpacing(4 - row->spacing());
  row->addWidget(edit);
  return edit;
}

// Where the program keeps its own files: no dialog starts there.
QStringList ProgramFolders() {
  const TkvApp* app = TkvApp::Instance();
  if (!app) return {};
  const TkvProject* project = TkvProject::Instance();
  const QString ext = project ? project->Profile().ProjectExt : TkvTabrixProfile().ProjectExt;
  return {app->ProgramFolder(), TkvFolderPart(app->DefaultProjectFile(ext)),
          TkvFolderPart(app->RecentProjectsFile()), TkvFolderPart(app->InfoStoreFile())};
}

}  // namespace

TkvFrmMain::TkvFrmMain(std::unique_ptr<TkvFileDialogs> dialogs, QWidget* parent)
    : TkvFrmBase<QMainWindow>(parent) {
  setObjectName(QStringLiteral("kvFrmMain"));
  if (!dialogs) dialogs = std::make_unique<TkvQtFileDialogs>(this);
  dialogs_ = std::make_unique<TkvStartFolderDialogs>(std::move(dialogs), ProgramFolders());
  shellOpen_ = &TkvDesktopOpen;
  CreateActions();
  CreateToolBar();
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  CreateActionPanel();
  pSpacer = MakePanel(central, "pSpacer", QFrame::Plain);
  pSpacer->setFixedHeight(2);
  CreateViewer();
  column->addWidget(pAction);
  column->addWidget(pSpacer);
  column->addWidget(pViewer, 1);
  setCentralWidget(central);
  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  CreateRunControl();
  CreateShortcuts();
  UpdateLinkActions();
  FormCreate();
}

QAction* TkvFrmMain::MakeAction(const char* name, const QString& caption, const QString& hint,
                                int image, void (TkvFrmMain::*handler)()) {
  auto* a = new QAction(caption, this);
  a->setObjectName(QString::fromLatin1(name));
  if (!hint.isEmpty()) {
    a->setToolTip(hint);
    a->setStatusTip(hint);
  } else {
    // Without a hint Qt would show the caption as the tool tip.
    a->setToolTip(QString());
  }
  if (image >= 0) a->setIcon(imgList_.Icon(image));
  connect(a, &QAction::triggered, this,
          [this, handler] { TkvGuarded([this, handler] { (this->*handler)(); }); });
  return a;
}

void TkvFrmMain::CreateActions() {
  using namespace TkvImage;
  aConvert =
      MakeAction("aConvert", QStringLiteral("&Convert"),
                 QStringLiteral("Convert the file(s) instantly"), -1, &TkvFrmMain::aConvertExecute);
  aStop = MakeAction("aStop", QStringLiteral("Sto&p"), QString(), -1, &TkvFrmMain::aStopExecute);
  aOpen = MakeAction("aOpen", QStringLiteral("&Open"), QStringLiteral("Open a batch project"), Open,
                     &TkvFrmMain::aOpenExecute);
  aNew = MakeAction("aNew", QStringLiteral("&New"), QStringLiteral("New a batch project"), New,
                    &TkvFrmMain::aNewExecute);
  aConfig = MakeAction("aConfig", QStringLiteral("Config"),
                       QStringLiteral("Config the options of the batch project"), Config,
                       &TkvFrmMain::aConfigExecute);
  aSave = MakeAction("aSave", QStringLiteral("Sa&ve"), QStringLiteral("Save the batch project"),
                     Save, &TkvFrmMain::aSaveExecute);
  aSaveAs = MakeAction("aSaveAs", QStringLiteral("Save &As"),
                       QStringLiteral("Save the batch project as ..."), SaveAs,
                       &TkvFrmMain::aSaveAsExecute);
  aUpdate = MakeAction("aUpdate", QStringLiteral("Check &Update"), QString(), Update,
                       &TkvFrmMain::aUpdateExecute);
  aHelp = MakeAction("aHelp", QStringLiteral("&Help"), QString(), Help, &TkvFrmMain::aHelpExecute);
  aHomePage = MakeAction("aHomePage", QStringLiteral("Home"), QString(), Home,
                         &TkvFrmMain::aHomePageExecute);
  aSupports = MakeAction("aSupports", QStringLiteral("Support"),
                         QStringLiteral("Send us e-mail for support"), Support,
                         &TkvFrmMain::aSupportsExecute);
  aAbout =
      MakeAction("aAbout", QStringLiteral("About"), QString(), About, &TkvFrmMain::aAboutExecute);
  aSearch = MakeAction("aSearch", QStringLiteral("Search"),
                       QStringLiteral("Search files from the source folder"), -1,
                       &TkvFrmMain::aSearchExecute);
  aView = MakeAction("aView", QStringLiteral("View"), QStringLiteral("View the convert result"), -1,
                     &TkvFrmMain::aViewExecute);
  aSearchConvert = MakeAction("aSearchConvert", QStringLiteral("Start"), QString(), -1,
                              &TkvFrmMain::aSearchConvertExecute);
  aSearchConvert->setVisible(false);
  aPause = MakeAction("aPause", QStringLiteral("Pause"), QString(), -1, &TkvFrmMain::aPauseExecute);
  aQuit = MakeAction("aQuit", QStringLiteral("&Quit"), QString(), -1, &TkvFrmMain::aQuitExecute);
  aCopy = MakeAction("aCopy", QStringLiteral("&Copy"), QString(), -1, &TkvFrmMain::aCopyExecute);
}

void TkvFrmMain::CreateToolBar() {
  ToolBar = new QToolBar(this);
  ToolBar->setObjectName(QStringLiteral("ToolBar"));
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  ToolBar->setIconSize(QSize(16, 16));
  ToolBar->toggleViewAction()->setVisible(false);
  addToolBar(Qt::TopToolBarArea, ToolBar);

  pm2 = new QMenu(this);
  pm2->setObjectName(QStringLiteral("pm2"));
  connect(pm2, &QMenu::aboutToShow, this, [this] { TkvGuarded([this] { pm2Popup(); }); });

  const struct {
    QAction* action;
    const char* button;
  } buttons[] = {{aOpen, "tbOpen"},         {aNew, "tbNew"},           {aConfig, "tbConfig"},
                 {aSave, "tbSave"},         {aSaveAs, "tbSaveAs"},     {nullptr, "tb1"},
                 {aUpdate, "tbUpdate"},     {nullptr, "tb2"},          {aHelp, "tbHelp"},
                 {aHomePage, "tbHomePage"}, {aSupports, "tbSupports"}, {aAbout, "tbAbout"}};
  for (const auto& b : buttons) {
    if (!b.action) {
      ToolBar->addSeparator()->setObjectName(QString::fromLatin1(b.button));
      continue;
    }
    // The caption keeps its "&": the button underlines the letter and takes
    // Alt with it, as a menu item would (Qt strips it otherwise).
    b.action->setIconText(b.action->text());
    ToolBar->addAction(b.action);
    QWidget* w = ToolBar->widgetForAction(b.action);
    w->setObjectName(QString::fromLatin1(b.button));
    w->setFocusPolicy(Qt::TabFocus);
    w->setFixedWidth(101);
    specWidths_.emplace_back(w, 101);
  }
  auto* tbOpen = qobject_cast<QToolButton*>(ToolBar->widgetForAction(aOpen));
  tbOpen->setMenu(pm2);
  tbOpen->setPopupMode(QToolButton::MenuButtonPopup);

  pm3 = new QMenu(this);
  pm3->setObjectName(QStringLiteral("pm3"));
  SendReports1 = pm3->addAction(QStringLiteral("Send problem reports"));
  SendReports1->setObjectName(QStringLiteral("SendReports1"));
  SendReports1->setCheckable(true);
  connect(SendReports1, &QAction::triggered, this,
          [this] { TkvGuarded([this] { SendReports1Click(); }); });
  connect(pm3, &QMenu::aboutToShow, this, [this] { TkvGuarded([this] { pm3Popup(); }); });
  auto* tbHelp = qobject_cast<QToolButton*>(ToolBar->widgetForAction(aHelp));
  tbHelp->setMenu(pm3);
  tbHelp->setPopupMode(QToolButton::MenuButtonPopup);
  pm3Popup();
}

void TkvFrmMain::CreateShortcuts() {
  const struct {
    QAction* action;
    QList<QKeySequence> keys;
  } keys[] = {
      {aOpen, {QKeySequence(Qt::CTRL | Qt::Key_O)}},
      {aNew, {QKeySequence(Qt::CTRL | Qt::Key_N)}},
      {aSave, {QKeySequence(Qt::CTRL | Qt::Key_S)}},
      {aSaveAs, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}},
      {aHelp, {QKeySequence(Qt::Key_F1)}},
      {aSearch, {QKeySequence(Qt::Key_F5)}},
      {aConvert, {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}},
      {aStop, {QKeySequence(Qt::Key_Escape)}},  // acts only on a run or a Daemon's wait
      {aQuit, {QKeySequence(Qt::CTRL | Qt::Key_Q)}},
  };
  for (const auto& k : keys) {
    k.action->setShortcuts(k.keys);
    // Window-wide, whichever button shows the action at the moment.
    addAction(k.action);
  }
  // Only while the list has the focus: the boxes keep their own Copy.
  aCopy->setShortcut(QKeySequence::Copy);
  aCopy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  lViewer->addAction(aCopy);
  // Tab reaches the toolbar, then the source row.
  QWidget* previous = nullptr;
  for (QAction* a : ToolBar->actions()) {
    QWidget* w = ToolBar->widgetForAction(a);
    if (!w || w->focusPolicy() == Qt::NoFocus) continue;
    if (previous) setTabOrder(previous, w);
    previous = w;
  }
  if (previous) setTabOrder(previous, eSource);
  connect(eSource, &QLineEdit::returnPressed, this, [this] {
    if (aSearch->isEnabled()) aSearch->trigger();
  });
}

void TkvFrmMain::FitToFont() {
  for (const auto& [w, width] : specWidths_) {
    int needed = w->sizeHint().width();
    if (auto* b = qobject_cast<QPushButton*>(w)) {
      // A push button's hint asks for more than the caption needs.
      needed =
          b->fontMetrics().horizontalAdvance(b->text()) + b->fontMetrics().averageCharWidth() * 2;
    }
    w->setFixedWidth(std::max(width, needed));
  }
}

void TkvFrmMain::CreateActionPanel() {
  pAction = MakePanel(nullptr, "pAction", QFrame::Sunken);
  SetPanelHeight(pAction, 70);
  auto* rows = new QVBoxLayout(pAction);
  rows->setContentsMargins(2, 2, 2, 2);
  rows->setSpacing(0);

  pSource = MakePanel(pAction, "pSource", QFrame::Plain);
  SetPanelHeight(pSource, 32);
  pSource->setToolTip(QStringLiteral("Choose or drag & drop source folder or file(s)"));
  auto* src = new QHBoxLayout(pSource);
  src->setContentsMargins(8, 2, 8, 2);
  src->setSpacing(4);
  eSource =
      MakeLabelledEdit(pSource, src, "eSource", QStringLiteral("&Source"), QStringLiteral("Text"));
  bSource = MakeButton(pSource, "bSource", QStringLiteral("Folder"), 38,
                       QStringLiteral("Choose a folder and click \"Search\" to list files"));
  bSourceFile = MakeButton(pSource, "bSourceFile", QStringLiteral("Files"), 38,
                           QStringLiteral("Choose file(s) and click \"Convert\" to convert them"));
  cSubdir = new QCheckBox(QStringLiteral("Su&b folders"), pSource);
  cSubdir->setObjectName(QStringLiteral("cSubdir"));
  cSubdir->setLayoutDirection(Qt::RightToLeft);  // caption on the left
  cSubdir->setProperty("hint", QStringLiteral("Checked"));
  bSearch = MakeActionButton(pSource, "bSearch", aSearch, 76);
  src->addWidget(bSource);
  src->addWidget(bSourceFile);
  src->addSpacing(8);
  src->addWidget(cSubdir);
  src->addSpacing(8);
  src->addWidget(bSearch);
  src->addStretch(1);

  pTarget = MakePanel(pAction, "pTarget", QFrame::Plain);
  SetPanelHeight(pTarget, 30);
  pTarget->setToolTip(QStringLiteral("Choose or drag & drop target folder"));
  auto* tgt = new QHBoxLayout(pTarget);
  tgt->setContentsMargins(8, 1, 8, 1);
  tgt->setSpacing(4);
  eTarget =
      MakeLabelledEdit(pTarget, tgt, "eTarget", QStringLiteral("&Target"), QStringLiteral("Text"));
  bTarget = MakeButton(pTarget, "bTarget", QStringLiteral("Folder"), 38,
                       QStringLiteral("Choose a target folder to save the converted file(s)"));
  bView = MakeActionButton(pTarget, "bView", aView, 0);
  bSearchConvert = MakeActionButton(pTarget, "bSearchConvert", aSearchConvert, 76);
  bCreate = MakeActionButton(pTarget, "bCreate", aConvert, 76);
  tgt->addWidget(bTarget);
  tgt->addWidget(bView);
  tgt->addWidget(bSearchConvert);
  tgt->addWidget(bCreate);
  tgt->addStretch(1);
  for (const auto& [w, width] :
       std::initializer_list<std::pair<QWidget*, int>>{{bSource, 38},
                                                       {bSourceFile, 38},
                                                       {bTarget, 38},
                                                       {bSearch, 76},
                                                       {bSearchConvert, 76},
                                                       {bCreate, 76}}) {
    specWidths_.emplace_back(w, width);
  }
  setTabOrder(eTarget, bTarget);
  setTabOrder(bTarget, bSearchConvert);
  setTabOrder(bSearchConvert, bCreate);
  setTabOrder(bCreate, bView);

  pOthers = MakePanel(pAction, "pOthers", QFrame::Plain);
  rows->addWidget(pSource);
  rows->addWidget(pTarget);
  rows->addWidget(pOthers, 1);

  // Double-clicks on the boxes and drops on them go through eventFilter.
  for (QLineEdit* e : {eSource, eTarget}) {
    e->installEventFilter(this);
    e->setAcceptDrops(true);
  }
  connect(bSource, &QPushButton::clicked, this, [this] { TkvGuarded([this] { bSourceClick(); }); });
  connect(bSourceFile, &QPushButton::clicked, this,
          [this] { TkvGuarded([this] { bSourceFileClick(); }); });
  connect(bTarget, &QPushButton::clicked, this, [this] { TkvGuarded([this] { bTargetClick(); }); });
}

void TkvFrmMain::CreateViewer() {
  pViewer = MakePanel(nullptr, "pViewer", QFrame::Sunken);
  auto* box = new QVBoxLayout(pViewer);
  box->setContentsMargins(1, 1, 1, 1);
  lViewer = new TkvResultList(imgList_, pViewer);
  box->addWidget(lViewer);
  lViewer->setAcceptDrops(true);
  lViewer->viewport()->setAcceptDrops(true);
  lViewer->setDragDropMode(QAbstractItemView::DropOnly);
  lViewer->viewport()->installEventFilter(this);

  pm1 = new QMenu(this);
  pm1->setObjectName(QStringLiteral("pm1"));
  auto item = [this](const char* name, const QString& caption,
                     const std::function<void()>& effect) {
    QAction* a = pm1->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, this, [effect] { TkvGuarded(effect); });
    return a;
  };
  BrowseFiles1 =
      item("BrowseFiles1", QStringLiteral("Browse Files"), [this] { bSourceFileClick(); });
  pm1->addSeparator()->setObjectName(QStringLiteral("N1"));
  ViewSource1 = item("ViewSource1", QStringLiteral("View  Source"), [this] { OpenSelected(true); });
  OpenSource1 = item("OpenSource1", QStringLiteral("Open Source"), [this] { OpenSelected(false); });
  pm1->addSeparator()->setObjectName(QStringLiteral("N2"));
  ViewOutput1 = item("ViewOutput1", QStringLiteral("View  Output"), [this] { aView->trigger(); });
  pm1->addSeparator()->setObjectName(QStringLiteral("N3"));
  ExportList1 =
      item("ExportList1", QStringLiteral("Export the List"), [this] { ExportList1Click(); });
  connect(pm1, &QMenu::aboutToShow, this, [this] { TkvGuarded([this] { pm1Popup(); }); });
  connect(lViewer, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { pm1->popup(lViewer->viewport()->mapToGlobal(pos)); });
  connect(lViewer, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* row) { TkvGuarded([this, row] { RowDoubleClick(row); }); });
}
