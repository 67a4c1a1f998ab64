#pragma once
// The process-wide objects a window needs (TkvApp, TkvInfo with a recording
// link opener, TkvProject), made fresh for every test in a temporary folder,
// plus helpers to drive modal dialogs and drops.

#include "clicks.h"
#include "core/app.h"
#include "core/info.h"
#include "core/project.h"
#include "support/scoped_temp_dir.h"
#include "support/scripted_dialogs.h"
#include "ui/frm_main.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace tabrix::test {

// The one QApplication of the test process (created on first use).
void EnsureApplication();

// Runs `step` on the first modal widget that appears, from the event loop
// the code under test is running.
void WhenModal(std::function<void(QWidget*)> step);

// Sends a drop of `paths` (as file URLs) to `widget` (for a list: its viewport).
void DropFiles(QWidget* widget, const QStringList& paths);

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Replaces the global objects as start-up would make them for `firstArg`
  // (the command line is parsed).
  void StartProgram(const QString& firstArg);
  // The main window, created on first call, with scripted dialogs.
  TkvFrmMain& Window();

  ScopedTempDir temp;
  // The maker's host StartProgram gives TkvInfo (a build with a host).
  QString makerHost = QStringLiteral("www.tabrix-converter.example");
  std::shared_ptr<QStringList> links = std::make_shared<QStringList>();
  QStringList shellOpened;
  bool shellOpens = true;              // whether the recorded opener reports success
  ScriptedDialogs* dialogs = nullptr;  // owned by the window

  std::unique_ptr<TkvApp> app;
  std::unique_ptr<TkvInfo> info;
  std::unique_ptr<TkvProject> project;
  std::unique_ptr<TkvFrmMain> window;

 private:
  void DestroyGlobals();
};

}  // namespace tabrix::test
