#include "ui/window_road.h"

#include "core/info.h"
#include "core/project.h"
#include "ui/desktop_opener.h"
#include "ui/frm_about.h"
#include "ui/frm_main.h"
#include "ui/handler_guard.h"
#include "ui/images.h"

#include <memory>

int TkvRunWindowRoad(int& argc, char** argv) {
  TkvApplication app(argc, argv);
  const TkvProfile profile = TkvProject::Instance() ? TkvProject::Instance()->Profile() : TkvTabrixProfile();
  QApplication::setApplicationName(profile.ShortName);
  QApplication::setApplicationVersion(profile.Version);
  QApplication::setDesktopFileName(QStringLiteral("tabrix"));
  QApplication::setWindowIcon(QIcon(TkvProductPicture(128)));
  if (TkvInfo* info = TkvInfo::Instance()) info->SetLinkOpener(std::make_unique<TkvDesktopLinkOpener>());

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
  if (TkvInfo* info = TkvInfo::Instance()) info->SetLinkOpener(std::make_unique<TkvXdgLinkOpener>());
  return code;
}
