#include "cli/convert_command.h"

#include "app/run_options.h"
#include "app/startup.h"
#include "app/unattended.h"
#include "batch/batch.h"
#include "batch/matcher.h"
#include "cli/convert_args.h"
#include "core/error.h"
#include "core/option_table.h"
#include "core/path_utils.h"
#include "core/project.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

constexpr int kUsageError = 64;

bool IsFolder(const QString& path) { return QFileInfo(path).isDir(); }

void Print(std::FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
}

int UsageError(const QString& program, const QString& message) {
  Print(stderr, QStringLiteral("%1 convert: %2\nTry '%1 convert --help'.\n").arg(program, message));
  return kUsageError;
}

// A word before "--" that begins with "-" and names an existing file: the
// flags parser took it for flags.
bool NamesDashFile(const QStringList& args) {
  for (const QString& arg : args) {
    if (arg == QLatin1String("--")) return false;
    if (arg.size() > 1 && arg.startsWith(u'-') && QFileInfo::exists(arg)) return true;
  }
  return false;
}

bool IsWebAddress(const QString& source) {
  return source.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
         source.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

bool HasWildcard(const QString& name) { return name.contains(u'*') || name.contains(u'?'); }

// A target that cannot take a PDF fails every file alike: the run ends
// before the first one instead, with one message.
void CheckTarget(const QString& target) {
  QString existing = QDir::cleanPath(target);
  while (!QFileInfo::exists(existing) && existing != QDir::cleanPath(existing + "/.."))
    existing = QDir::cleanPath(existing + QStringLiteral("/.."));
  const QFileInfo info(existing);
  if (info.isDir() && !info.isWritable())
    throw TkvError(QStringLiteral("The target folder %1 is not writable").arg(existing));
  if (info.isDir()) return;
  if (existing == QDir::cleanPath(target))
    throw TkvError(QStringLiteral("The target %1 is not a folder").arg(existing));
  throw TkvError(
      QStringLiteral("The target %1 cannot be made: %2 is not a folder").arg(target, existing));
}

}  // namespace

int TkvRunConvertCommand(int argc, char** argv) {
  TkvProject& project = *TkvProject::Instance();
  const TkvProfile& profile = project.Profile();
  const QString program = profile.ShortName;
  QStringList args;
  for (int i = 2; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));

  const TkvConvertArgs parsed =
      TkvParseConvertArgs(args, QDir::currentPath(), profile.SourceMask, &IsFolder);
  switch (parsed.action) {
    case TkvConvertArgs::Action::Help:
      Print(stdout, TkvConvertHelp(program));
      return 0;
    case TkvConvertArgs::Action::Version:
      Print(stdout, QStringLiteral("%1 %2\n").arg(profile.Title, profile.Version));
      return 0;
    case TkvConvertArgs::Action::UsageError:
      if (NamesDashFile(args))
        return UsageError(
            program, parsed.error + QStringLiteral("\n(to convert a file whose name begins "
                                                   "with '-', write ./NAME or put -- before it)"));
      return UsageError(program, parsed.error);
    case TkvConvertArgs::Action::Run:
      break;
  }

  if (!parsed.projectFile.isEmpty()) {
    if (!QFileInfo(parsed.projectFile).isFile())
      return UsageError(program,
                        QStringLiteral("--project: no such file %1").arg(parsed.projectFile));
    try {
      project.Options().LoadFromFile(parsed.projectFile);
    } catch (const TkvError& e) {
      return UsageError(program, QStringLiteral("--project: %1").arg(e.Message()));
    }
  }
  for (const auto& [key, value] : parsed.settings) project.SetOptionValue(key, value);
  // The whole workbook, as other converters print it, unless a flag or the
  // project chose sheets.
  if (project.OptionValue(QStringLiteral("AllSheets")).isEmpty() &&
      project.OptionValue(QStringLiteral("Sheet")).isEmpty())
    project.SetOptionValue(QStringLiteral("AllSheets"), QStringLiteral("True"));
  // Option warnings first: a misspelt key may be why no source is given.
  for (const QString& warning : TkvOptionWarnings(project.Options().Lines(), profile.SourceMask))
    Print(stderr, QStringLiteral("%1 convert: %2\n").arg(program, warning));
  // A source named here that exists is that file; one that does not is a
  // mask, unless it has no wildcard: then it is missing, and nothing is done.
  QStringList literal;
  for (const QString& source : parsed.sources) {
    if (IsWebAddress(source)) continue;
    const QFileInfo info(source);
    if (info.isFile())
      literal.append(source);
    else if (!info.exists() && !HasWildcard(TkvNamePart(source)))
      throw TkvError(QStringLiteral("The source %1 does not exist").arg(source));
  }
  TkvMain::Instance()->TakeLiterally(literal);
  if (!parsed.sources.isEmpty()) {
    // The sources named here replace the project's.
    for (int n = 2; !project.OptionValue(TkvRunKeys::SourceKey(n)).isEmpty(); ++n)
      project.SetOptionValue(TkvRunKeys::SourceKey(n), QString());
    for (int i = 0; i < parsed.sources.size(); ++i)
      project.SetOptionValue(TkvRunKeys::SourceKey(i + 1), parsed.sources.at(i));
  }
  const QString first = project.Source();
  if (first.isEmpty()) return UsageError(program, QStringLiteral("no SOURCE given"));
  if (project.Target().isEmpty()) {
    if (IsWebAddress(first))
      return UsageError(program, QStringLiteral("a web address needs --target"));
    project.SetOptionValue(QStringLiteral("Target"), TkvFolderPart(TkvBatch::NormalizePath(first)));
  }
  project.SetOptionValue(QStringLiteral("PureConsole"), QStringLiteral("True"));
  if (!IsWebAddress(project.Target())) CheckTarget(project.Target());

  TkvMatcherScope matcher;
  TkvMain::PrintWarningsOnStderr(true);
  TkvMain::PrintRunLines(true);
  return TkvRunUnattendedRoad(argc, argv, !parsed.exitZero);
}
