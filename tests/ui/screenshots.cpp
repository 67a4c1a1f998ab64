// Writes PNG pictures of the main window, the about box and the Config
// dialog (its key list, and the warnings of a mistyped key) for the
// documentation: screenshots <folder> [name suffix]. Run on the offscreen
// platform (or any display); the windows are rendered, not captured from a
// screen, at the device pixel ratio of the screen (QT_SCALE_FACTOR=2: twice
// the pixels, written as main-window<suffix>.png).

#include "batch/batch.h"
#include "core/app.h"
#include "core/info.h"
#include "core/project.h"
#include "ui/frm_about.h"
#include "ui/frm_cfg.h"
#include "ui/frm_main.h"
#include "ui/result_list.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

class NoLinks : public TkvLinkOpener {
 public:
  void Open(const QString&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <output folder> [name suffix]\n", argv[0]);
    return 2;
  }
  // The window's kept layout stays out of the user's configuration.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication qapp(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  const QString suffix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  // A user's folders as the pictures show them (the files need not exist).
  const QString examples = QStringLiteral("/home/ana/Workbooks");
  QDir().mkpath(out);

  // The windows' global objects, kept away from the user's own files.
  QTemporaryDir home;
  TkvApp app(home.filePath("tabrix"), QStringLiteral("/P:Subdir=True"),
             TkvApp::Placement::BesideProgram);
  TkvInfo info(app, std::make_unique<NoLinks>());
  TkvProject project(app);
  project.ParseCommandLine();

  TkvFrmMain window;
  window.eSource->setText(examples + "/*.xls?");
  window.eTarget->setText(QStringLiteral("/home/ana/PDF/"));
  window.NewBatch();
  const QStringList files = {examples + "/budget-archive.xls", examples + "/quarterly-sales.xlsx",
                             examples + "/warehouse/inventory.xlsx",
                             examples + "/warehouse/inventory-macros.xlsm"};
  for (const QString& f : files) window.AddSourceFile(f);
  // Results as a run stopped before its last file shows them.
  window.lViewer->SetItemResult(0, files[0], window.eTarget->text() + "budget-archive.pdf", 1);
  window.lViewer->SetItemResult(1, files[1], window.eTarget->text() + "quarterly-sales.pdf", 1);
  window.lViewer->SetItemResult(2, files[2], "The workbook is protected by a password", 2);
  const int left = window.lViewer->MarkNotConverted();
  window.SetRunState(QStringLiteral("Stopped: %1 not converted").arg(left));
  window.lblProgress->setText(
      QStringLiteral("2 converted, 1 failed, %1 skipped of %2").arg(left).arg(files.size()));
  window.show();

  auto* about = new TkvFrmTabrixAbout(&window);
  about->ShowAbout();  // the start-up step: nothing shown
  int failures = 0;
  QTimer::singleShot(200, [&] {
    if (!window.grab().save(out + "/main-window" + suffix + ".png")) ++failures;
    about->show();
    QTimer::singleShot(200, [&] {
      if (!about->grab().save(out + "/about-box" + suffix + ".png")) ++failures;
      about->close();
      auto* config = new TkvFrmCfg(&window);
      config->show();
      config->txtCfg->setPlainText("Source=" + examples +
                                   "/*.xls?\nTarget=/home/ana/PDF/\nSubdir=True\nThreadsCount=2\n"
                                   "PaperSize=A4\nFitwidht=True\n");
      config->btnOk->click();  // applied; the dialog stays with its warning
      QTimer::singleShot(200, [&, config] {
        if (!config->grab().save(out + "/config-dialog" + suffix + ".png")) ++failures;
        config->close();
        window.close();
      });
    });
  });
  QApplication::exec();
  if (failures) std::fprintf(stderr, "could not write the pictures into %s\n", argv[1]);
  return failures ? 1 : 0;
}
