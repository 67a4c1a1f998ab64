#pragma once
// The "convert" spelling of the command line: `convert [OPTION]... SOURCE...`.
// Every flag sets options of the option table (listed in TkvConvertFlags),
// so a run started this way is the run a project file with those options
// would make. Parsing touches neither the file system nor the project.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <vector>

struct TkvConvertFlag {
  QStringList names;  // short name first when there is one
  QString valueName;  // empty for a switch
  QString help;
  QString sets;  // the options it sets, as "Key=Value"
};

// Every flag, in the order --help lists them.
const std::vector<TkvConvertFlag>& TkvConvertFlags();

struct TkvConvertArgs {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  QString error;        // UsageError: names the flag or value that is wrong
  QString projectFile;  // --project, absolute
  // Options in the order their flags were given; applied after the project
  // file, later ones win. An empty value removes the option.
  QList<QPair<QString, QString>> settings;
  QStringList sources;    // absolute paths, masks or addresses, in order
  bool exitZero = false;  // --exit-zero: 0 even when files failed
};

// `args` are the arguments after "convert". Relative paths are taken from
// `cwd`; a source that is a folder gets `sourceMask` appended (whether a
// folder exists is asked of `isFolder`).
TkvConvertArgs TkvParseConvertArgs(const QStringList& args, const QString& cwd,
                                   const QString& sourceMask, bool (*isFolder)(const QString&));

// The text of --help.
QString TkvConvertHelp(const QString& program);
