#pragma once
// What `tabrix serve` accepts: its own command line and the options of one
// request. Both are spelled with the `convert` flags and read through the
// convert parser, so a value is checked exactly as `tabrix convert` checks
// it; only options that shape the PDF are accepted (never one that names a
// path or touches a file). Parsing touches neither the file system nor the
// project.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

using TkvSettings = QList<QPair<QString, QString>>;

struct TkvServeArgs {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  QString error;  // UsageError: names the flag or value that is wrong
  QString host = QStringLiteral("127.0.0.1");
  int port = 8080;  // 0: any free port (the one taken is printed)
  int maxUploadMb = 100;
  int maxQueue = -1;     // requests that may wait for a converter; -1: 2 x threads
  TkvSettings settings;  // options for every request, in the order given
};

// `args` are the arguments after "serve".
TkvServeArgs TkvParseServeArgs(const QStringList& args);

// The text of --help.
QString TkvServeHelp(const QString& program);

// A request's options: `fields` are (flag long name, value) pairs; a switch
// takes no value or "true"/"1"/"yes" ("false"/"0"/"no" leave it off).
// `maxTimeout` (seconds, 0 for none) bounds the `timeout` a request may ask
// for. Returns the settings, or sets `error` naming the field.
TkvSettings TkvRequestSettings(const TkvSettings& fields, int maxTimeout, QString* error);
