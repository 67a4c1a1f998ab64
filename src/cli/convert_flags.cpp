// The flags of the "convert" spelling and the text of its --help.

#include "cli/convert_args.h"

namespace {

QString FlagName(const QString& name) {
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
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
