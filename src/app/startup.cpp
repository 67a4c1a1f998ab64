#include "app/startup.h"

#include "app/run_options.h"
#include "app/stop_signals.h"
#include "app/unattended.h"
#include "app/unattended_progress.h"
#include "batch/batch.h"
#include "batch/matcher.h"
#include "convert/office/calc_application.h"
#include "convert/office/office_classes.h"
#include "convert/tabrix.h"
#include "core/app.h"
#include "core/error.h"
#include "core/info.h"
#include "core/option_table.h"
#include "core/profile.h"
#include "core/project.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace {

void PrintHelp(const TkvProfile& profile) {
  const QString text =
      QStringLiteral(
          "Usage: %1 [ARGUMENT]\n"
          "%2 %3: converts spreadsheet workbooks\n"
          "(.xls, .xlsx, .xlsm) to PDF.\n"
          "\n"
          "ARGUMENT (only the first one is read):\n"
          "  /P:Key=Value;Key=Value   options of the run (\",\" also separates them)\n"
          "  FILE%4        a batch project file\n"
          "  FILE-OR-MASK             what to convert (the window opens), e.g. /in/*.xls?\n"
          "  convert [OPTION]... SOURCE...\n"
          "                           the same run with flags (%1 convert --help)\n"
          "  serve [OPTION]...        conversions over HTTP, offices kept warm\n"
          "                           (%1 serve --help)\n"
          "  --help, --version        this text, the version\n"
          "\n"
          "With PureConsole=True (and no \"http\" in Source) the run is unattended:\n"
          "no window; the log goes to LogFile. Exit code 0 after the run, whatever\n"
          "the files did; 1 when the run itself fails (message on stderr); 64 for a\n"
          "word beginning with \"-\" that is none of the above.\n"
          "Example: %1 \"/P:PureConsole=True;Source=/in/*.xls?;Target=/out\"\n")
          .arg(profile.ShortName, profile.Title, profile.Version, profile.ProjectExt);
  std::fputs(text.toLocal8Bit().constData(), stdout);
}

void PrintError(const QString& message) {
  const QString text = QStringLiteral("tabrix: %1\n").arg(message);
  std::fputs(text.toLocal8Bit().constData(), stderr);
}

constexpr int kUsageError = 64;

// Qt's own window-system arguments after the first one; 1 when the word
// takes a value, 0 when it takes none, -1 when it is none of them.
int QtArgumentValues(QString word) {
  if (word.startsWith(QLatin1String("--"))) word.remove(0, 1);
  static const QStringList withValue = {"-platform",      "-platformpluginpath",
                                        "-platformtheme", "-plugin",
                                        "-qmljsdebugger", "-qwindowgeometry",
                                        "-qwindowicon",   "-qwindowtitle",
                                        "-session",       "-style",
                                        "-stylesheet",    "-display",
                                        "-geometry",      "-title",
                                        "-name",          "-visual"};
  static const QStringList alone = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
  if (withValue.contains(word)) return 1;
  return alone.contains(word) ? 0 : -1;
}

// A word that begins with "-" and is neither a switch of the first argument
// ("-P:...", "-I...", "-U"), a window-system argument of Qt after it, nor an
// existing file: the first such word, else empty. Words after the first
// argument are not read, so any other dashed one there is a flag meant for
// somewhere else.
QString UnknownDashedWord(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg.size() < 2 || arg.at(0) != u'-' || QFileInfo::exists(arg)) continue;
    const QChar letter = arg.at(1).toUpper();
    if (i == 1 && (letter == u'P' || letter == u'I' || letter == u'U')) continue;
    if (const int values = i > 1 ? QtArgumentValues(arg) : -1; values >= 0) {
      i += values;
      continue;
    }
    return arg;
  }
  return {};
}

// "(did you mean convert?)" when `word` is close to a first argument of
// that spelling, else empty.
QString Suggestion(const QString& word, const QStringList& spellings) {
  const QString near = TkvClosestWord(word, spellings);
  return near.isEmpty() ? QString() : QStringLiteral(" (did you mean %1?)").arg(near);
}

// A first argument that the window would take as its source though it
// names nothing there: a bare word (no folder, no wildcard, no address)
// that is no file. Most often a misspelt command.
bool NamesNothing(const QString& first) {
  if (first == QLatin1String("convert") || first == QLatin1String("serve")) return false;
  if (first.isEmpty() || first.startsWith(u'-') || first.contains(u'/') || first.contains(u'*') ||
      first.contains(u'?') || first.contains(u':'))
    return false;
  return !QFileInfo::exists(first);
}

int RunProgram(int argc, char** argv, TkvWindowRoad windowRoad, TkvCommandRoad convertRoad,
               TkvCommandRoad serveRoad) {
  const TkvProfile profile = TkvTabrixProfile();
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintHelp(profile);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs(
        QStringLiteral("%1 %2\n").arg(profile.Title, profile.Version).toLocal8Bit().constData(),
        stdout);
    return 0;
  }

  if (const QString word = UnknownDashedWord(argc, argv);
      !word.isEmpty() && !(argc >= 2 && (std::strcmp(argv[1], "convert") == 0 ||
                                         std::strcmp(argv[1], "serve") == 0))) {
    const QString near =
        word == QString::fromLocal8Bit(argv[1])
            ? Suggestion(word, {QStringLiteral("--help"), QStringLiteral("--version")})
            : QString();
    PrintError(QStringLiteral("unknown switch '%1'%3: only the first argument is read, and it is "
                              "/P:Key=Value;..., a project file,\na file or a mask; flags go with "
                              "'%2 convert' (%2 convert --help)")
                   .arg(word, profile.ShortName, near));
    return kUsageError;
  }
  if (argc >= 2 && NamesNothing(QString::fromLocal8Bit(argv[1]))) {
    const QString first = QString::fromLocal8Bit(argv[1]);
    PrintError(QStringLiteral("'%1' is no file, folder, mask, project or command%2 (%3 --help)")
                   .arg(first,
                        Suggestion(first, {QStringLiteral("convert"), QStringLiteral("serve")}),
                        profile.ShortName));
    return kUsageError;
  }

  // Destroyed in reverse order of creation.
  std::unique_ptr<TkvApp> app = TkvApp::FromProcess(argc, argv);
  auto info = std::make_unique<TkvInfo>(*app);
  auto project = std::make_unique<TkvProject>(*app);
  TkvProgressLine progress;
  auto main = std::make_unique<TkvMain>(*project, *info, &progress);

  project->SetProfile(profile);
  QCoreApplication::setApplicationName(profile.Title);
  QCoreApplication::setApplicationVersion(profile.Version);
  SkipLockFiles.store(profile.SkipLockFiles);
  TkvRegisterOfficeClasses();
  TkvRegisterTabrix();
  TkvPrepareOfficeEnvironment();

  if (convertRoad && argc >= 2 && std::strcmp(argv[1], "convert") == 0)
    return convertRoad(argc, argv);
  if (serveRoad && argc >= 2 && std::strcmp(argv[1], "serve") == 0) return serveRoad(argc, argv);
  if (project->ParseCommandLine() == TkvCmdResult::Exit) return 0;
  for (const QString& warning : TkvOptionWarnings(project->Options().Lines(), profile.SourceMask))
    PrintError(warning);
  TkvMatcherScope matcher;

  if (project->UnattendedRoad()) return TkvRunUnattendedRoad(argc, argv);
  return windowRoad ? windowRoad(argc, argv) : 0;
}

}  // namespace

int TkvRunUnattendedRoad(int& argc, char** argv, bool failedItemsExit2) {
  QCoreApplication application(argc, argv);
  TkvStopSignals stopSignals;
  TkvMain* main = TkvMain::Instance();
  const bool failed = main->RunUnattended();
  const TkvProject* project = TkvProject::Instance();
  // A watch ends by a stop request, as a service manager sends it: 0.
  if (!project || TkvWatchInterval(*project) != 0) return 0;
  if (failed && project->ReadBool(TkvRunKeys::kStrictExit, false)) return 2;
  return failedItemsExit2 && main->AnyItemFailed() ? 2 : 0;
}

int TkvStartProgram(int argc, char** argv, TkvWindowRoad windowRoad, TkvCommandRoad convertRoad,
                    TkvCommandRoad serveRoad) {
  try {
    return RunProgram(argc, argv, windowRoad, convertRoad, serveRoad);
  } catch (const TkvError& e) {
    PrintError(e.Message());
  } catch (const std::exception& e) {
    PrintError(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    PrintError(QStringLiteral("unknown error"));
  }
  return 1;
}
