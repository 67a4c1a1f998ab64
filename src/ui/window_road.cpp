#include "ui/window_road.h"

#include "core/info.h"
#include "core/project.h"
#include "ui/desktop_opener.h"
#include "ui/frm_about.h"
#include "ui/frm_main.h"
#include "ui/handler_guard.h"
#include "ui/images.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// The platforms the application will try: "-platform NAME" on the command
// line, else QT_QPA_PLATFORM (";" separates fall-backs), else the desktop's.
QStringList Platforms(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
      return {QString::fromLocal8Bit(argv[i + 1])};
  return qEnvironmentVariable("QT_QPA_PLATFORM").split(u';', Qt::SkipEmptyParts);
}

// False only when every platform tried needs a display server and none is
// named: Qt would abort the program.
bool WindowsCanOpen(int argc, char** argv) {
  if (Named("DISPLAY") || Named("WAYLAND_DISPLAY")) return true;
  for (const QString& platform : Platforms(argc, argv)) {
    const QString name = platform.section(u':', 0, 0).trimmed();
    if (name != QLatin1String("xcb") && !name.startsWith(QLatin1String("wayland"))) return true;
  }
  return false;
}

}  // namespace

int TkvRunWindowRoad(int& argc, char** argv) {
  if (!WindowsCanOpen(argc, argv)) {
    std::fputs(
        "tabrix: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so no window can "
        "open; to convert without one, run \"tabrix convert -o TARGET SOURCE...\" (tabrix "
        "convert --help) or \"tabrix /P:PureConsole=True;Source=...;Target=...\"\n",
        stderr);
    return 1;
  }
  TkvApplication app(argc, argv);
  const TkvProfile profile =
      TkvProject::Instance() ? TkvProject::Instance()->Profile() : TkvTabrixProfile();
  QApplication::setApplicationName(profile.ShortName);
  QApplication::setApplicationVersion(profile.Version);
  QApplication::setDesktopFileName(QStringLiteral("tabrix"));
  QApplication::setWindowIcon(QIcon(TkvProductPicture(128)));
  if (TkvInfo* info = TkvInfo::Instance())
    info->SetLinkOpener(std::make_unique<TkvDesktopLinkOpener>());

  int code = 0;
  {
    TkvFrmMain kvFrmMain;
    // Owned by the main window (its parent), as the box it makes invisible.
    auto* kvFrmTabrixAbout = new TkvFrmTabrixAbout(&kvFrmMain);
    kvFrmMain.SetAboutBox(kvFrmTabrixAbout);
    TkvGuarded([kvFrmTabrixAbout] { kvFrmTabrixAbout->ShowAbout(); });
    kvFrmMain.show();
    code = QApplication::exec();
  }
  // Links opened later (the failure report of an unattended end) leave
  // through the engine's opener again.
  if (TkvInfo* info = TkvInfo::Instance())
    info->SetLinkOpener(std::make_unique<TkvXdgLinkOpener>());
  return code;
}
