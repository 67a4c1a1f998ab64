#include "window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace tabrix::test {

namespace {

class RecordingOpener : public TkvLinkOpener {
 public:
  explicit RecordingOpener(std::shared_ptr<QStringList> links) : links_(std::move(links)) {}
  void Open(const QString& link) override { links_->append(link); }

 private:
  std::shared_ptr<QStringList> links_;
};

}  // namespace

void EnsureApplication() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "tabrix-ui-test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives until the process ends
}

void WhenModal(std::function<void(QWidget*)> step) {
  auto* timer = new QTimer();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, step] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    step(modal);
  });
  timer->start();
}

void DropFiles(QWidget* widget, const QStringList& paths) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  mime.setUrls(urls);
  const QPointF pos(5, 5);
  QDragEnterEvent enter(pos.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &enter);
  QDropEvent drop(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &drop);
}

void WindowTest::SetUp() {
  EnsureApplication();
  qputenv("XDG_CONFIG_HOME", (temp.path() + "/config").toLocal8Bit());
  qputenv("XDG_STATE_HOME", (temp.path() + "/state").toLocal8Bit());
  StartProgram(QString());
}

void WindowTest::TearDown() { DestroyGlobals(); }

void WindowTest::DestroyGlobals() {
  window.reset();
  project.reset();
  info.reset();
  app.reset();
}

void WindowTest::StartProgram(const QString& firstArg) {
  DestroyGlobals();
  QDir().mkpath(temp.file("bin"));
  app =
      std::make_unique<TkvApp>(temp.file("bin/tabrix"), firstArg, TkvApp::Placement::BesideProgram);
  info = std::make_unique<TkvInfo>(*app, std::make_unique<RecordingOpener>(links));
  info->SetMakerHost(makerHost);
  project = std::make_unique<TkvProject>(*app);
  project->ParseCommandLine();
}

TkvFrmMain& WindowTest::Window() {
  if (!window) {
    auto scripted = std::make_unique<ScriptedDialogs>();
    dialogs = scripted.get();
    window = std::make_unique<TkvFrmMain>(std::move(scripted));
    window->SetShellOpener([this](const QString& path) {
      shellOpened << path;
      return shellOpens;
    });
  }
  return *window;
}

}  // namespace tabrix::test
