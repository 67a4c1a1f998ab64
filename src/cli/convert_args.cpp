#include "cli/convert_args.h"

#include "core/option_table.h"
#include "core/shard.h"

#include <QCommandLineParser>
#include <QDir>
#include <QHash>
#include <QRegularExpression>

namespace {

const QString kTrue = QStringLiteral("True");
const QString kFalse = QStringLiteral("False");

struct Usage {
  QString message;
};

QString FlagName(const QString& name) {
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

QString Absolute(const QString& cwd, const QString& path) {
  if (path.isEmpty() || QDir::isAbsolutePath(path)) return path;
  return QDir::cleanPath(QDir(cwd).absoluteFilePath(path));
}

bool IsAddress(const QString& text) {
  static const QRegularExpression re(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
  return re.match(text).hasMatch() || text.startsWith(QLatin1String("file:"));
}

QString Shown(qint64 ms) {
  if (ms == 0) return QStringLiteral("0");
  if (ms % 3600000 == 0) return QStringLiteral("%1h").arg(ms / 3600000);
  if (ms % 60000 == 0) return QStringLiteral("%1m").arg(ms / 60000);
  if (ms % 1000 == 0) return QStringLiteral("%1s").arg(ms / 1000);
  return QStringLiteral("%1ms").arg(ms);
}

int Number(const QString& flag, const QString& value, int low, int high) {
  bool ok = false;
  const int n = value.toInt(&ok, 10);
  if (!ok || n < low || n > high)
    throw Usage{QStringLiteral("%1: %2 is not a whole number from %3 to %4")
                    .arg(flag, value)
                    .arg(low)
                    .arg(high)};
  return n;
}

// A duration in milliseconds from "500ms", "5s", "2m", "1h" or a bare
// number of `unitMs` milliseconds, within [lowMs, highMs].
qint64 Duration(const QString& flag, const QString& value, qint64 unitMs, qint64 lowMs,
                qint64 highMs) {
  static const QRegularExpression re(QStringLiteral("^\\s*(\\d+)\\s*(ms|s|m|min|h)?\\s*$"),
                                     QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch m = re.match(value);
  bool ok = m.hasMatch();
  qint64 ms = 0;
  if (ok) {
    const QString unit = m.captured(2).toLower();
    const qint64 per = unit.isEmpty()  ? unitMs
                       : unit == u"ms" ? 1
                       : unit == u"s"  ? 1000
                       : unit == u"h"  ? 3600000
                                       : 60000;
    const qint64 n = m.captured(1).toLongLong(&ok);
    ok = ok && n <= highMs;  // no overflow below
    ms = n * per;
  }
  if (!ok || ms < lowMs || ms > highMs)
    throw Usage{QStringLiteral("%1: %2 is not a duration from %3 to %4 (such as 500ms, 5s, 2m; "
                               "a bare number is %5)")
                    .arg(flag, value, Shown(lowMs), Shown(highMs),
                         unitMs == 1 ? QStringLiteral("milliseconds") : QStringLiteral("seconds"))};
  return ms;
}

// The value's spelling among `choices`, letter case ignored.
QString Choice(const QString& flag, const QString& value, const QStringList& choices) {
  for (const QString& c : choices)
    if (c.compare(value, Qt::CaseInsensitive) == 0) return c;
  throw Usage{QStringLiteral("%1: %2 is none of %3").arg(flag, value, choices.join(u'|'))};
}

}  // namespace

const std::vector<TkvConvertFlag>& TkvConvertFlags() {
  static const std::vector<TkvConvertFlag> flags = {
      {{"o", "target"}, "DIR", "target folder (default: the first source's folder)", "Target=DIR"},
      {{"r", "recursive"}, "", "search the sources' sub-folders too", "Subdir=True"},
      {{"j", "threads"},
       "N",
       "converter threads, one office process each (1-64)",
       "ThreadsCount=N"},
      {{"sheet"},
       "active|N|each|all",
       "the active sheet, sheet N, every sheet to its own PDF, or the whole workbook (the "
       "default)",
       "Sheet=0 | Sheet=N | Sheet=-1 (AllSheets=False), or AllSheets=True"},
      {{"fit"},
       "page|width",
       "fit every sheet to one page, or to the page width",
       "AllColumns=True | FitWidth=True"},
      {{"orientation"}, "portrait|landscape", "page orientation", "Orientation=portrait|landscape"},
      {{"paper"}, "A3|A4|A5|Letter|Legal", "paper size", "PaperSize=SIZE"},
      {{"pdfa"}, "", "write PDF/A files", "PdfA=True"},
      {{"recalc"},
       "auto|always|never",
       "recalculate formulas after loading: when the workbook asks for it, always, or never",
       "Recalculate=Auto|Always|Never"},
      {{"overwrite"},
       "yes|rename|skip",
       "an existing PDF: replace it, write -tabrix-NAME beside it, or skip the file",
       "IsOverwrite=True|False|skip"},
      {{"flat"}, "", "every PDF straight into the target folder", "KeepTargetSubdirs=False"},
      {{"keep-time"}, "", "give each PDF its workbook's file times", "KeepFileTime=True"},
      {{"delete-source"}, "", "delete each workbook converted", "DeleteSource=True"},
      {{"rename-source"},
       "SUFFIX",
       "rename each workbook converted to its name plus SUFFIX",
       "RenameSource=SUFFIX"},
      {{"regex"}, "RE", "convert only paths that also match RE", "RegExt=RE"},
      {{"skip-hidden"}, "", "leave out hidden files", "SkipHidden=True"},
      {{"timeout"},
       "DURATION",
       "time one file may take: 90s, 5m, a bare number of seconds; 0 sets no limit",
       "ItemTimeout=SECONDS"},
      {{"log"}, "FILE", "the run log (State => File => Result)", "LogFile=FILE"},
      {{"report"},
       "FILE|-",
       "JSON Lines report, appended to FILE, or - for stdout",
       "ReportFile=FILE"},
      {{"strict"}, "", "exit code 2 also when a source matched no workbook", "StrictExit=True"},
      {{"exit-zero"}, "", "exit code 0 even when files failed", ""},
      {{"watch"},
       "INTERVAL",
       "convert, wait INTERVAL (500ms, 5s, 2m; a bare number is milliseconds), search again, "
       "until SIGTERM or SIGINT",
       "WatchInterval=MS"},
      {{"shard"},
       "K/N|auto",
       "convert one share of the files: shard K of N, or auto from a Slurm array or Kubernetes "
       "Indexed Job",
       "Shard=K/N|auto"},
      {{"p", "project"},
       "FILE",
       "start from a batch project; flags override it",
       "the project's options"},
      {{"O", "option"},
       "KEY=VALUE",
       "set any option, VALUE taken whole (\";\" and \",\" included)",
       "KEY=VALUE"},
      {{"q", "quiet"}, "", "no progress line", "NoProgress=True"},
      {{"h", "help"}, "", "this text", ""},
      {{"version"}, "", "the version", ""},
  };
  return flags;
}

QString TkvConvertHelp(const QString& program) {
  QString text =
      QStringLiteral(
          "Usage: %1 convert [OPTION]... SOURCE...\n"
          "Converts spreadsheet workbooks (.xls, .xlsx, .xlsm) to PDF without a window.\n"
          "SOURCE: a workbook, a folder (its *.xls? files), a quoted mask ('/in/*.xls?')\n"
          "or a web address; several sources make one batch, converted in the order given.\n"
          "A file or folder that exists is taken as named, even with * or ? in its name;\n"
          "a SOURCE without * or ? that does not exist ends the run before it starts.\n"
          "\n"
          "Options (the option each one sets in brackets):\n")
          .arg(program);
  constexpr int kColumn = 34, kWidth = 79;
  for (const TkvConvertFlag& flag : TkvConvertFlags()) {
    QStringList spelled;
    for (const QString& name : flag.names) spelled.append(FlagName(name));
    QString line = QStringLiteral("  ") +
                   (flag.names.first().size() == 1 ? QString() : QStringLiteral("    ")) +
                   spelled.join(QStringLiteral(", "));
    if (!flag.valueName.isEmpty()) line += u' ' + flag.valueName;
    QString words = flag.help;
    if (!flag.sets.isEmpty()) words += QStringLiteral(" [%1]").arg(flag.sets);
    // The words from kColumn on, wrapped before kWidth.
    if (line.size() >= kColumn - 1) {
      text += line + u'\n';
      line.clear();
    }
    line = line.leftJustified(kColumn, u' ');
    qsizetype used = 0;  // words on the current line
    for (const QString& word : words.split(u' ', Qt::SkipEmptyParts)) {
      if (used > 0 && line.size() + 1 + word.size() > kWidth) {
        text += line + u'\n';
        line = QString(kColumn, u' ');
        used = 0;
      }
      line += (used++ > 0 ? QStringLiteral(" ") : QString()) + word;
    }
    text += line + u'\n';
  }
  text += QStringLiteral(
              "\n"
              "Exit codes: 0 every file converted (or skipped by the rules), 2 a file failed\n"
              "(0 with --exit-zero) or, with --strict, a source matched no workbook, 1 the\n"
              "run itself failed (message on stderr: a target that is no writable folder,\n"
              "a log or report that cannot be written), 64 a wrong flag or value. Without\n"
              "--report -, each failed file is also named on stderr with why, and the run\n"
              "ends with its summary there (not with -q).\n"
              "SIGINT or SIGTERM: the files in hand are finished; exit code 1 when files were\n"
              "left unconverted, or 0 with --watch (--strict included).\n"
              "Example: %1 convert -r -o /data/out --report - '/data/in/*.xls?'\n"
              "See also: %1 --help (the /P: spelling), man tabrix.\n")
              .arg(program);
  return text;
}

TkvConvertArgs TkvParseConvertArgs(const QStringList& args, const QString& cwd,
                                   const QString& sourceMask, bool (*isFolder)(const QString&)) {
  TkvConvertArgs result;
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  QHash<QString, QString> canonical;  // any spelling -> the flag's last (long) name
  for (const TkvConvertFlag& flag : TkvConvertFlags()) {
    QCommandLineOption option(flag.names, flag.help, flag.valueName);
    parser.addOption(option);
    for (const QString& name : flag.names) canonical.insert(name, flag.names.last());
  }
  if (!parser.parse(QStringList{QStringLiteral("tabrix")} + args)) {
    result.action = TkvConvertArgs::Action::UsageError;
    result.error = parser.errorText();
    if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty()) {
      QStringList names;
      for (const TkvConvertFlag& flag : TkvConvertFlags())
        if (flag.names.last().size() > 1) names.append(flag.names.last());
      if (const QString near = TkvClosestWord(unknown.first(), names); !near.isEmpty())
        result.error = QStringLiteral("unknown flag '%1' (did you mean --%2?)")
                           .arg(FlagName(unknown.first()), near);
    }
    return result;
  }

  auto set = [&result](const QString& key, const QString& value) {
    result.settings.append({key, value});
  };
  try {
    QHash<QString, int> used;  // values taken so far, per flag
    for (const QString& typed : parser.optionNames()) {
      const QString name = canonical.value(typed);
      const QString flag = FlagName(typed);
      if (name == QLatin1String("help")) {
        result.action = TkvConvertArgs::Action::Help;
        return result;
      }
      if (name == QLatin1String("version")) {
        result.action = TkvConvertArgs::Action::Version;
        return result;
      }
      QString value;
      const QStringList values = parser.values(name);
      if (!values.isEmpty()) {
        value = values.value(used[name]++);
        for (QChar c : value)
          if (c == u'\r' || c == u'\n' || c == QChar(0))
            throw Usage{QStringLiteral("%1: a value cannot hold a line break").arg(flag)};
      }

      if (name == QLatin1String("target")) {
        if (value.isEmpty()) throw Usage{QStringLiteral("%1: the folder is empty").arg(flag)};
        set(QStringLiteral("Target"), Absolute(cwd, value));
      } else if (name == QLatin1String("recursive")) {
        set(QStringLiteral("Subdir"), kTrue);
      } else if (name == QLatin1String("threads")) {
        set(QStringLiteral("ThreadsCount"), QString::number(Number(flag, value, 1, 64)));
      } else if (name == QLatin1String("sheet")) {
        const QString lower = value.toLower();
        if (lower == QLatin1String("all")) {
          set(QStringLiteral("AllSheets"), kTrue);
        } else {
          QString sheet;
          if (lower == QLatin1String("active"))
            sheet = QStringLiteral("0");
          else if (lower == QLatin1String("each"))
            sheet = QStringLiteral("-1");
          else {
            bool ok = false;
            const int n = value.toInt(&ok, 10);
            if (!ok || n < 1)
              throw Usage{
                  QStringLiteral("%1: %2 is none of active, a sheet number from 1, each, all")
                      .arg(flag, value)};
            sheet = QString::number(n);
          }
          set(QStringLiteral("AllSheets"), kFalse);
          set(QStringLiteral("Sheet"), sheet);
        }
      } else if (name == QLatin1String("fit")) {
        const bool page = Choice(flag, value, {QStringLiteral("page"), QStringLiteral("width")}) ==
                          QLatin1String("page");
        set(QStringLiteral("AllColumns"), page ? kTrue : kFalse);
        set(QStringLiteral("FitWidth"), page ? kFalse : kTrue);
      } else if (name == QLatin1String("orientation")) {
        set(QStringLiteral("Orientation"),
            Choice(flag, value, {QStringLiteral("portrait"), QStringLiteral("landscape")}));
      } else if (name == QLatin1String("paper")) {
        set(QStringLiteral("PaperSize"),
            Choice(flag, value,
                   {QStringLiteral("A3"), QStringLiteral("A4"), QStringLiteral("A5"),
                    QStringLiteral("Letter"), QStringLiteral("Legal")}));
      } else if (name == QLatin1String("pdfa")) {
        set(QStringLiteral("PdfA"), kTrue);
      } else if (name == QLatin1String("recalc")) {
        set(QStringLiteral("Recalculate"),
            Choice(flag, value,
                   {QStringLiteral("Auto"), QStringLiteral("Always"), QStringLiteral("Never")}));
      } else if (name == QLatin1String("overwrite")) {
        const QString choice = Choice(
            flag, value, {QStringLiteral("yes"), QStringLiteral("rename"), QStringLiteral("skip")});
        set(QStringLiteral("IsOverwrite"), choice == QLatin1String("yes") ? kTrue
                                           : choice == QLatin1String("rename")
                                               ? kFalse
                                               : QStringLiteral("skip"));
      } else if (name == QLatin1String("flat")) {
        set(QStringLiteral("KeepTargetSubdirs"), kFalse);
      } else if (name == QLatin1String("keep-time")) {
        set(QStringLiteral("KeepFileTime"), kTrue);
      } else if (name == QLatin1String("delete-source")) {
        set(QStringLiteral("DeleteSource"), kTrue);
      } else if (name == QLatin1String("rename-source")) {
        if (value.isEmpty() || value.contains(u'/'))
          throw Usage{
              QStringLiteral("%1: the suffix must be a non-empty text without \"/\"").arg(flag)};
        set(QStringLiteral("RenameSource"), value);
      } else if (name == QLatin1String("regex")) {
        const QRegularExpression re(value);
        if (value.isEmpty() || !re.isValid())
          throw Usage{QStringLiteral("%1: %2 is not a valid expression (%3)")
                          .arg(flag, value, re.errorString())};
        set(QStringLiteral("RegExt"), value);
      } else if (name == QLatin1String("skip-hidden")) {
        set(QStringLiteral("SkipHidden"), kTrue);
      } else if (name == QLatin1String("timeout")) {
        const qint64 ms = Duration(flag, value, 1000, 0, qint64(86400) * 1000);
        if (ms % 1000 != 0)
          throw Usage{QStringLiteral("%1: %2 is not a whole number of seconds").arg(flag, value)};
        set(QStringLiteral("ItemTimeout"), QString::number(ms / 1000));
      } else if (name == QLatin1String("log")) {
        if (value.isEmpty()) throw Usage{QStringLiteral("%1: the file name is empty").arg(flag)};
        set(QStringLiteral("LogFile"), Absolute(cwd, value));
      } else if (name == QLatin1String("report")) {
        if (value.isEmpty()) throw Usage{QStringLiteral("%1: the file name is empty").arg(flag)};
        set(QStringLiteral("ReportFile"),
            value == QLatin1String("-") ? value : Absolute(cwd, value));
      } else if (name == QLatin1String("strict")) {
        set(QStringLiteral("StrictExit"), kTrue);
      } else if (name == QLatin1String("exit-zero")) {
        result.exitZero = true;
      } else if (name == QLatin1String("watch")) {
        set(QStringLiteral("WatchInterval"),
            QString::number(Duration(flag, value, 1, 1, qint64(86400) * 1000)));
      } else if (name == QLatin1String("shard")) {
        TkvShard shard;
        if (const QString error = TkvParseShard(value, shard); !error.isEmpty() || value.isEmpty())
          throw Usage{QStringLiteral("%1: %2").arg(
              flag, error.isEmpty() ? QStringLiteral("the shard is empty") : error)};
        set(QStringLiteral("Shard"), value);
      } else if (name == QLatin1String("project")) {
        if (value.isEmpty()) throw Usage{QStringLiteral("%1: the file name is empty").arg(flag)};
        if (!result.projectFile.isEmpty())
          throw Usage{QStringLiteral("%1: only one project can be the start").arg(flag)};
        result.projectFile = Absolute(cwd, value);
      } else if (name == QLatin1String("option")) {
        const qsizetype eq = value.indexOf(u'=');
        if (eq <= 0) throw Usage{QStringLiteral("%1: %2 is not KEY=VALUE").arg(flag, value)};
        // A known key's value is checked here as its flag would check it; an
        // unknown key is the caller's to warn about.
        if (const TkvOptionRow* row = TkvFindOption(value.left(eq)))
          if (const QString problem = TkvOptionValueProblem(*row, value.mid(eq + 1));
              !problem.isEmpty())
            throw Usage{QStringLiteral("%1: %2").arg(flag, problem)};
        set(value.left(eq), value.mid(eq + 1));
      } else if (name == QLatin1String("quiet")) {
        set(QStringLiteral("NoProgress"), kTrue);
      }
    }
    for (const QString& source : parser.positionalArguments()) {
      if (source.isEmpty()) throw Usage{QStringLiteral("an empty SOURCE")};
      if (IsAddress(source)) {
        result.sources.append(source);
        continue;
      }
      QString path = Absolute(cwd, source);
      if (isFolder && isFolder(path)) {
        if (!path.endsWith(u'/')) path += u'/';
        path += sourceMask;
      }
      result.sources.append(path);
    }
    if (result.exitZero && parser.isSet(QStringLiteral("strict")))
      throw Usage{QStringLiteral("--strict and --exit-zero ask for opposite exit codes")};
  } catch (const Usage& usage) {
    result.action = TkvConvertArgs::Action::UsageError;
    result.error = usage.message;
    result.settings.clear();
  }
  return result;
}
