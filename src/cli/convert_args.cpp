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
