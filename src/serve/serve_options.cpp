#include "serve/serve_options.h"

#include "cli/convert_args.h"

#include <QRegularExpression>
#include <QSet>

namespace {

// The options a request or the service's command line may set: page layout,
// sheets, PDF kind, recalculation and the time limit.
bool Shapes(const QString& key) {
  static const QSet<QString> keys = {
      QStringLiteral("allsheets"),    QStringLiteral("sheet"),       QStringLiteral("allcolumns"),
      QStringLiteral("fitwidth"),     QStringLiteral("orientation"), QStringLiteral("papersize"),
      QStringLiteral("pdfa"),         QStringLiteral("recalculate"), QStringLiteral("itemtimeout"),
      QStringLiteral("skippassword"),
  };
  return keys.contains(key.toLower());
}

// The convert parser on `args`; a source, a project or an option outside
// `allowed` is an error.
TkvSettings Parse(const QStringList& args, bool (*allowed)(const QString&), QString* error) {
  const TkvConvertArgs parsed = TkvParseConvertArgs(args, QStringLiteral("/"), QString(), nullptr);
  if (parsed.action == TkvConvertArgs::Action::UsageError) {
    *error = parsed.error;
    return {};
  }
  if (parsed.action != TkvConvertArgs::Action::Run || !parsed.projectFile.isEmpty() ||
      !parsed.sources.isEmpty()) {
    *error = QStringLiteral("only options that shape the PDF are accepted");
    return {};
  }
  for (const auto& [key, value] : parsed.settings) {
    if (!allowed(key)) {
      *error = QStringLiteral(
                   "the option %1 is not accepted here (it names a path or touches "
                   "files)")
                   .arg(key);
      return {};
    }
  }
  return parsed.settings;
}

bool ServeAllows(const QString& key) {
  return Shapes(key) || key.compare(QLatin1String("ThreadsCount"), Qt::CaseInsensitive) == 0 ||
         key.compare(QLatin1String("NoProgress"), Qt::CaseInsensitive) == 0;
}

int Number(const QString& flag, const QString& value, int low, int high, QString* error) {
  bool ok = false;
  const int n = value.toInt(&ok, 10);
  if (!ok || n < low || n > high)
    *error = QStringLiteral("%1: %2 is not a whole number from %3 to %4")
                 .arg(flag, value)
                 .arg(low)
                 .arg(high);
  return n;
}

}  // namespace

TkvServeArgs TkvParseServeArgs(const QStringList& args) {
  TkvServeArgs result;
  QStringList rest;
  QString error;
  for (int i = 0; i < args.size() && error.isEmpty(); ++i) {
    const QString& arg = args.at(i);
    if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
      result.action = TkvServeArgs::Action::Help;
      return result;
    }
    if (arg == QLatin1String("--version")) {
      result.action = TkvServeArgs::Action::Version;
      return result;
    }
    QString flag = arg;
    QString value;
    const qsizetype eq = arg.indexOf(u'=');
    if (eq > 0) {
      flag = arg.left(eq);
      value = arg.mid(eq + 1);
    }
    if (flag != QLatin1String("--listen") && flag != QLatin1String("--max-upload") &&
        flag != QLatin1String("--max-queue")) {
      rest.append(arg);
      continue;
    }
    if (eq <= 0) {
      if (i + 1 >= args.size()) {
        error = QStringLiteral("%1: a value is missing").arg(flag);
        break;
      }
      value = args.at(++i);
    }
    if (flag == QLatin1String("--listen")) {
      static const QRegularExpression re(QStringLiteral("^(.+):([0-9]{1,5})$"));
      const QRegularExpressionMatch m = re.match(value);
      const int port = m.hasMatch() ? m.captured(2).toInt() : -1;
      if (!m.hasMatch() || port > 65535)
        error = QStringLiteral("--listen: %1 is not ADDRESS:PORT").arg(value);
      result.host = m.captured(1);
      if (result.host.startsWith(u'[') && result.host.endsWith(u']'))  // [::1]:8080
        result.host = result.host.mid(1, result.host.size() - 2);
      result.port = port;
    } else if (flag == QLatin1String("--max-upload")) {
      result.maxUploadMb = Number(flag, value, 1, 4096, &error);
    } else {
      result.maxQueue = Number(flag, value, 0, 1000, &error);
    }
  }
  if (error.isEmpty()) result.settings = Parse(rest, &ServeAllows, &error);
  if (!error.isEmpty()) {
    result.action = TkvServeArgs::Action::UsageError;
    result.error = error;
  }
  return result;
}

QString TkvServeHelp(const QString& program) {
  return QStringLiteral(
             "Usage: %1 serve [--listen ADDRESS:PORT] [-j N] [--max-upload MB]\n"
             "                [--max-queue N] [CONVERSION OPTION]...\n"
             "Converts workbooks sent over HTTP to PDF, one office process per converter\n"
             "thread, kept warm between requests.\n"
             "\n"
             "  --listen ADDRESS:PORT   where to listen (default 127.0.0.1:8080; port 0: any)\n"
             "  -j, --threads N         converter threads, one office process each (1-64)\n"
             "  --max-upload MB         larger uploads are refused with 413 (default 100)\n"
             "  --max-queue N           requests that may wait for a converter; more are\n"
             "                          refused with 503 (default 2 x threads)\n"
             "  --sheet, --fit, --orientation, --paper, --pdfa, --timeout, -O KEY=VALUE\n"
             "                          defaults for every request, read as `%1 convert`\n"
             "                          reads them (only options that shape the PDF)\n"
             "\n"
             "POST /convert (form field \"file\", or the body with ?filename=NAME; options as\n"
             "form fields or query parameters named like the flags: sheet, fit, ...),\n"
             "GET /health, GET /version, GET /metrics. SIGTERM or SIGINT: the requests in\n"
             "hand are finished, the offices ended, exit code 0.\n")
      .arg(program);
}

TkvSettings TkvRequestSettings(const TkvSettings& fields, int maxTimeout, QString* error) {
  QStringList args;
  for (const auto& [name, value] : fields) {
    const TkvConvertFlag* flag = nullptr;
    for (const TkvConvertFlag& f : TkvConvertFlags())
      if (f.names.last() == name && name.size() > 1) flag = &f;
    if (!flag) {
      *error = QStringLiteral("unknown option \"%1\"").arg(name);
      return {};
    }
    if (!flag->valueName.isEmpty()) {
      args.append(QStringLiteral("--%1=%2").arg(name, value));
      continue;
    }
    const QString v = value.toLower();
    if (v.isEmpty() || v == QLatin1String("true") || v == QLatin1String("1") ||
        v == QLatin1String("yes")) {
      args.append(QStringLiteral("--") + name);
    } else if (v != QLatin1String("false") && v != QLatin1String("0") && v != QLatin1String("no")) {
      *error = QStringLiteral("%1: %2 is none of true, false").arg(name, value);
      return {};
    }
  }
  TkvSettings settings = Parse(args, &Shapes, error);
  if (!error->isEmpty()) return {};
  for (const auto& [key, value] : settings) {
    if (maxTimeout > 0 && key == QLatin1String("ItemTimeout") && value.toInt() > maxTimeout) {
      *error = QStringLiteral("timeout: %1 is over this service's limit of %2 seconds")
                   .arg(value)
                   .arg(maxTimeout);
      return {};
    }
  }
  return settings;
}
