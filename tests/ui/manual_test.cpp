// The user manual tabrix.pdf that the build makes beside the program: a real
// PDF (read with poppler's tools) that names every option with its default,
// every flag of the command line and its exit codes, and shows the window.

#include "cli/convert_args.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

const QString kManual = QStringLiteral(TABRIX_MANUAL_PDF);

QString Output(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
  return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

TEST(Manual, BuiltBesideTheProgramAndNamesEveryOption) {
  ASSERT_TRUE(QFile::exists(kManual)) << kManual.toStdString();
  QString text = Output("pdftotext", {"-layout", kManual, "-"});
  ASSERT_FALSE(text.isEmpty());
  text.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));

  // Every key of the option table, each on a line of the table with its default.
  const struct {
    const char* key;
    const char* value;
  } options[] = {{"Source", "empty"},
                 {"Target", "empty"},
                 {"Subdir", "False"},
                 {"ThreadsCount", "1"},
                 {"IsOverwrite", "True"},
                 {"KeepTargetSubdirs", "True"},
                 {"KeepFileTime", "False"},
                 {"DeleteSource", "False"},
                 {"RenameSource", "empty"},
                 {"ReadOnly", "False"},
                 {"SkipPassword", "False"},
                 {"AllSheets", "False"},
                 {"Sheet", "0"},
                 {"AllColumns", "False"},
                 {"FitWidth", "False"},
                 {"Orientation", "\"\""},
                 {"PaperSize", "\"\""},
                 {"PdfA", "False"},
                 {"Recalculate", "Auto"},
                 {"MissingGlyphs", "Warn"},
                 {"PDFWriter", "empty"},
                 {"MultiInstance", "False"},
                 {"RegExt", "empty"},
                 {"SkipHidden", "False"},
                 {"LogFile", "empty"},
                 {"RunAndClose", "False"},
                 {"PureConsole", "False"},
                 {"Daemon", "0"},
                 {"ItemTimeout", "120"},
                 {"Shard", "empty"},
                 {"ReportFile", "empty"},
                 {"StrictExit", "False"},
                 {"WatchInterval", "0"},
                 {"NoProgress", "False"}};
  for (const auto& o : options) {
    const QString row = QString::fromLatin1(o.key) + u' ' + QString::fromLatin1(o.value);
    EXPECT_TRUE(text.contains(row)) << row.toStdString();
  }

  for (const char* flag : {"tabrix convert [OPTION]... SOURCE...",
                           "-o",
                           "--target",
                           "-r",
                           "--recursive",
                           "-j",
                           "--threads",
                           "--sheet",
                           "--fit",
                           "--overwrite",
                           "--flat",
                           "--keep-time",
                           "--delete-source",
                           "--rename-source",
                           "--regex",
                           "--skip-hidden",
                           "--timeout",
                           "--log",
                           "-p",
                           "--project",
                           "-O",
                           "--option",
                           "-q",
                           "--quiet",
                           "--report",
                           "--strict",
                           "--watch",
                           "--orientation",
                           "--paper",
                           "--pdfa",
                           "--shard",
                           "/P:"}) {
    EXPECT_TRUE(text.contains(QString::fromLatin1(flag))) << flag;
  }
  // And whatever flag the parser has, so a new one cannot go unmentioned.
  for (const TkvConvertFlag& flag : TkvConvertFlags())
    EXPECT_TRUE(text.contains(QStringLiteral("--") + flag.names.last()))
        << flag.names.last().toStdString();
  for (const char* code : {"0: The run completed", "1: The run itself failed", "2: A file failed",
                           "64: A usage error"})
    EXPECT_TRUE(text.contains(QString::fromLatin1(code))) << code;
  for (const char* part :
       {"The window", "The result list", "Troubleshooting", "Examples", "Send problem reports"})
    EXPECT_TRUE(text.contains(QString::fromLatin1(part))) << part;

  // The pictures of the window and the about box are in it.
  const QString images = Output("pdfimages", {"-list", kManual});
  EXPECT_GE(images.count(QStringLiteral(" image ")), 2) << images.toStdString();
}
