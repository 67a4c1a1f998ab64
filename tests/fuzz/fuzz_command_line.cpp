// Feeds arbitrary first arguments to the command-line parser of a fresh
// project. The program's files point at places that cannot be written, so
// iterations leave nothing behind.
#include "core/app.h"
#include "core/info.h"
#include "core/project.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct NoOpener : TkvLinkOpener {
  void Open(const QString&) override {}
};

struct Program {
  Program() {
    setenv("XDG_CONFIG_HOME", "/proc/tabrix-fuzz-config", 1);
    setenv("XDG_STATE_HOME", "/proc/tabrix-fuzz-state", 1);
    app = std::make_unique<TkvApp>(QStringLiteral("/usr/bin/tabrix"), QString(),
                                   TkvApp::Placement::PerUser);
    info = std::make_unique<TkvInfo>(*app, std::make_unique<NoOpener>());
  }
  std::unique_ptr<TkvApp> app;
  std::unique_ptr<TkvInfo> info;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Program program;
  // A command-line argument ends at its first NUL.
  const auto* text = reinterpret_cast<const char*>(data);
  const QString arg = QString::fromUtf8(text, qsizetype(strnlen(text, size)));
  TkvProject project(*program.app);
  if (project.ParseCommandLine(arg) == TkvCmdResult::Continue) {
    (void)project.ThreadsCount();
    (void)project.OverwriteMode();
    (void)project.UnattendedRoad();
    (void)project.OptionsText();
  }
  return 0;
}
