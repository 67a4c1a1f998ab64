// The "convert" command line without the office: which options each flag
// sets and in what order, how sources are read, the usage errors, and that
// --help, the man page and the bash completion know every flag.

#include "cli/convert_args.h"

#include "core/option_table.h"
#include "support/scoped_temp_dir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using Settings = QList<QPair<QString, QString>>;

bool FolderStub(const QString& path) {
  return path.endsWith(QLatin1String("/folder")) || path == QLatin1String("/");
}

TkvConvertArgs Parse(const QStringList& args) {
  return TkvParseConvertArgs(args, QStringLiteral("/work/here"), QStringLiteral("*.xls?"),
                             &FolderStub);
}

QStringList Split(const char* text) {
  return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

TEST(ConvertArgs, EveryFlagSetsItsOptionsInTheOrderGiven) {
  const TkvConvertArgs a = Parse(Split(
      "-rq -o out -j 2 --sheet 3 --fit width --orientation Landscape --paper letter --pdfa "
      "--recalc ALWAYS "
      "--overwrite rename --flat --keep-time --delete-source --rename-source .done --regex ^a "
      "--skip-hidden --timeout 30 --log run.log --report - --strict --watch 500 -p "
      "job.batch-tabrix "
      "-O Sheet=-1 --sheet all --fit page --overwrite skip --shard 1/3 src.xlsx"));
  ASSERT_EQ(a.action, TkvConvertArgs::Action::Run) << a.error.toStdString();
  const Settings expected = {{"Subdir", "True"},
                             {"NoProgress", "True"},
                             {"Target", "/work/here/out"},
                             {"ThreadsCount", "2"},
                             {"AllSheets", "False"},
                             {"Sheet", "3"},
                             {"AllColumns", "False"},
                             {"FitWidth", "True"},
                             {"Orientation", "landscape"},
                             {"PaperSize", "Letter"},
                             {"PdfA", "True"},
                             {"Recalculate", "Always"},
                             {"IsOverwrite", "False"},
                             {"KeepTargetSubdirs", "False"},
                             {"KeepFileTime", "True"},
                             {"DeleteSource", "True"},
                             {"RenameSource", ".done"},
                             {"RegExt", "^a"},
                             {"SkipHidden", "True"},
                             {"ItemTimeout", "30"},
                             {"LogFile", "/work/here/run.log"},
                             {"ReportFile", "-"},
                             {"StrictExit", "True"},
                             {"WatchInterval", "500"},
                             {"Sheet", "-1"},
                             {"AllSheets", "True"},
                             {"AllColumns", "True"},
                             {"FitWidth", "False"},
                             {"IsOverwrite", "skip"},
                             {"Shard", "1/3"}};
  EXPECT_EQ(a.settings, expected);
  EXPECT_EQ(a.projectFile, QStringLiteral("/work/here/job.batch-tabrix"));
  EXPECT_EQ(a.sources, QStringList{QStringLiteral("/work/here/src.xlsx")});

  const TkvConvertArgs b = Parse(Split("--sheet active x.xls --sheet each --overwrite yes"));
  const Settings sheets = {{"AllSheets", "False"},
                           {"Sheet", "0"},
                           {"AllSheets", "False"},
                           {"Sheet", "-1"},
                           {"IsOverwrite", "True"}};
  EXPECT_EQ(b.settings, sheets) << "flags after a source still count";

  // Durations with units; a bare number keeps the flag's unit; 0 is no limit.
  const TkvConvertArgs c =
      Parse(Split("--watch 5s --timeout 2m --watch 250ms --timeout 0 --watch 2m --exit-zero x"));
  ASSERT_EQ(c.action, TkvConvertArgs::Action::Run) << c.error.toStdString();
  const Settings durations = {{"WatchInterval", "5000"},
                              {"ItemTimeout", "120"},
                              {"WatchInterval", "250"},
                              {"ItemTimeout", "0"},
                              {"WatchInterval", "120000"}};
  EXPECT_EQ(c.settings, durations);
  EXPECT_TRUE(c.exitZero);
}

TEST(ConvertArgs, OptionValuesAreTakenWhole) {
  const TkvConvertArgs a = Parse({QStringLiteral("-O"), QStringLiteral("RenameSource=.done;1,2=3"),
                                  QStringLiteral("--option=PDFWriter=My PDF; printer"),
                                  QStringLiteral("-OLogFile="), QStringLiteral("a.xls")});
  ASSERT_EQ(a.action, TkvConvertArgs::Action::Run) << a.error.toStdString();
  const Settings expected = {
      {"RenameSource", ".done;1,2=3"}, {"PDFWriter", "My PDF; printer"}, {"LogFile", ""}};
  EXPECT_EQ(a.settings, expected);
}

TEST(ConvertArgs, SourcesKeepTheirOrderFoldersBecomeMasks) {
  const TkvConvertArgs a =
      Parse({QStringLiteral("in/folder"), QStringLiteral("/abs/*.xls?"), QStringLiteral("../b.xls"),
             QStringLiteral("https://host/q1.xlsx"), QStringLiteral("file:///x/y.xls"),
             QStringLiteral("/"), QStringLiteral("--"), QStringLiteral("-dash.xls")});
  ASSERT_EQ(a.action, TkvConvertArgs::Action::Run) << a.error.toStdString();
  EXPECT_EQ(a.sources, (QStringList{"/work/here/in/folder/*.xls?", "/abs/*.xls?", "/work/b.xls",
                                    "https://host/q1.xlsx", "file:///x/y.xls", "/*.xls?",
                                    "/work/here/-dash.xls"}));
}

TEST(ConvertArgs, UsageErrorsNameTheFlagOrValue) {
  const struct {
    const char* args;
    QStringList named;
  } cases[] = {
      {"--bogus a.xls", {"bogus"}},
      {"-x a.xls", {"x"}},
      {"a.xls --target", {"target"}},
      {"-j 0 a.xls", {"-j", "0"}},
      {"--threads many a.xls", {"--threads", "many"}},
      {"--sheet -2 a.xls", {"--sheet", "-2"}},
      {"--fit height a.xls", {"--fit", "height"}},
      {"--paper B5 a.xls", {"--paper", "B5"}},
      {"--overwrite maybe a.xls", {"--overwrite", "maybe"}},
      {"--watch 0 a.xls", {"--watch", "0"}},
      {"--timeout 1.5 a.xls", {"--timeout", "1.5"}},
      {"--timeout 500ms a.xls", {"--timeout", "whole number of seconds"}},
      {"--watch 5x a.xls", {"--watch", "5x", "a bare number is milliseconds"}},
      {"--recursiv a.xls", {"did you mean --recursive?"}},
      {"--strict --exit-zero a.xls", {"--strict", "--exit-zero"}},
      {"--regex ( a.xls", {"--regex", "("}},
      {"--rename-source a/b a.xls", {"--rename-source"}},
      {"-O novalue a.xls", {"-O", "novalue"}},
      {"-O =x a.xls", {"-O", "=x"}},
      {"-p a -p b x.xls", {"-p"}},
      {"--shard 4/4 a.xls", {"--shard", "4/4"}},
      {"--shard half a.xls", {"--shard", "half"}},
  };
  for (const auto& c : cases) {
    const TkvConvertArgs a = Parse(Split(c.args));
    EXPECT_EQ(a.action, TkvConvertArgs::Action::UsageError) << c.args;
    EXPECT_TRUE(a.settings.isEmpty()) << c.args;
    for (const QString& name : c.named)
      EXPECT_TRUE(a.error.contains(name)) << c.args << ": " << a.error.toStdString();
  }
  const TkvConvertArgs lineBreak =
      Parse({QStringLiteral("-O"), QStringLiteral("Target=/a\nSource=/b"), QStringLiteral("x")});
  EXPECT_EQ(lineBreak.action, TkvConvertArgs::Action::UsageError)
      << "a value never becomes two option lines";
  EXPECT_EQ(Parse(Split("--version --bogus")).action, TkvConvertArgs::Action::UsageError);
  EXPECT_EQ(Parse(Split("a.xls -h")).action, TkvConvertArgs::Action::Help);
  EXPECT_EQ(Parse(Split("--version")).action, TkvConvertArgs::Action::Version);
}

TEST(ConvertArgs, HelpManPageAndCompletionKnowEveryFlag) {
  const QString help = TkvConvertHelp(QStringLiteral("tabrix"));
  const QString source = tabrix::test::sourceDir();
  const QString man =
      QString::fromUtf8(tabrix::test::readFile(source + QStringLiteral("/src/app/tabrix.1.in")));
  const QString completion = QString::fromUtf8(
      tabrix::test::readFile(source + QStringLiteral("/src/app/tabrix.bash-completion")));
  ASSERT_FALSE(man.isEmpty());
  ASSERT_FALSE(completion.isEmpty());
  for (const QString& line : help.split(u'\n'))
    EXPECT_LE(line.size(), 80) << "wider than a terminal: " << line.toStdString();
  const QString words = help.simplified();
  for (const TkvConvertFlag& flag : TkvConvertFlags()) {
    const QString longName = QStringLiteral("--") + flag.names.last();
    EXPECT_TRUE(help.contains(longName)) << longName.toStdString();
    if (!flag.sets.isEmpty()) {
      EXPECT_TRUE(words.contains(QStringLiteral("[%1]").arg(flag.sets))) << longName.toStdString();
    }
    QString roff = longName;
    roff.replace(u'-', QStringLiteral("\\-"));
    EXPECT_TRUE(man.contains(roff)) << longName.toStdString() << " missing from the man page";
    const QRegularExpression word(
        QStringLiteral("[\\s\"]%1[\\s\"]").arg(QRegularExpression::escape(longName)));
    EXPECT_TRUE(completion.contains(word))
        << longName.toStdString() << " missing from the completion";
  }
  for (const TkvOptionRow& row : TkvOptionTable()) {
    const QString key = row.key == QLatin1String("SourceN") ? QStringLiteral("Source2") : row.key;
    EXPECT_TRUE(completion.contains(QRegularExpression(QStringLiteral("[\\s\"]%1=").arg(key))))
        << key.toStdString() << " missing from the completion of -O";
  }
}

// The completion script in a real bash, as the shell calls it on Tab.
TEST(ConvertArgs, CompletionKeepsNamesWithBlanksWhole) {
  tabrix::test::ScopedTempDir temp;
  temp.write(QStringLiteral("my books/big book.xlsx"), "x");
  temp.write(QStringLiteral("other.xlsx"), "x");
  const QString script =
      tabrix::test::sourceDir() + QStringLiteral("/src/app/tabrix.bash-completion");
  const auto complete = [&](const QString& words, int index) {
    QProcess bash;
    bash.setWorkingDirectory(temp.path());
    bash.start(QStringLiteral("bash"),
               {QStringLiteral("-c"),
                QStringLiteral("source \"$1\"; complete -p tabrix; COMP_WORDS=(%1); "
                               "COMP_CWORD=%2; _tabrix; printf '[%s]\\n' \"${COMPREPLY[@]}\"")
                    .arg(words)
                    .arg(index),
                QStringLiteral("bash"), script});
    EXPECT_TRUE(bash.waitForFinished(10000));
    return QString::fromUtf8(bash.readAllStandardOutput());
  };
  const QString folder = complete(QStringLiteral("tabrix convert my"), 2);
  EXPECT_TRUE(folder.contains(QStringLiteral("-o filenames"))) << folder.toStdString();
  EXPECT_TRUE(folder.endsWith(QStringLiteral("\n[my books]\n"))) << folder.toStdString();
  EXPECT_TRUE(complete(QStringLiteral("tabrix 'my books/b'"), 1)
                  .endsWith(QStringLiteral("\n[my books/big book.xlsx]\n")));
  EXPECT_TRUE(complete(QStringLiteral("tabrix convert -O Rec"), 3)
                  .endsWith(QStringLiteral("\n[Recalculate=]\n")));
}

}  // namespace
