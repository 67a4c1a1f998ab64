#include "core/option_list.h"
#include "core/option_table.h"
#include "core/shard.h"
#include "support/scoped_temp_dir.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TkvOptionList& Fill(TkvOptionList& list, const QString& text) {
  list.SetText(text);
  return list;
}

TEST(OptionList, LookupIgnoresCaseTakesFirstLineAndKeepsEverythingElse) {
  TkvOptionList list;
  Fill(list,
       "subdir=True\nRegExt=a=b\nTarget=\nSheet=2\nSheet=3\nno equals sign\n Source=x\nSOURCE= y ");
  EXPECT_EQ(list.Value("Subdir"), "True");
  EXPECT_EQ(list.Value("RegExt"), "a=b");
  EXPECT_EQ(list.Value("Target"), "");
  EXPECT_EQ(list.Value("Sheet"), "2");
  EXPECT_EQ(list.Value("no equals sign"), "");
  // Nothing is trimmed: " Source" is another key, and the value keeps its blanks.
  EXPECT_EQ(list.Value("Source"), " y ");
  EXPECT_EQ(list.Value(" source"), "x");

  list.SetValue("Subdir", "False");
  list.SetValue("Sheet", "7");
  list.SetValue("Daemon", "500");
  EXPECT_EQ(list.Lines(),
            QStringList({"Subdir=False", "RegExt=a=b", "Target=", "Sheet=7", "Sheet=3",
                         "no equals sign", " Source=x", "SOURCE= y ", "Daemon=500"}));

  // Writing an empty value deletes only the first line of the key.
  list.SetValue("sheet", "");
  list.SetValue("Missing", "");
  EXPECT_EQ(list.Value("Sheet"), "3");
  EXPECT_EQ(list.Count(), 8);
  EXPECT_EQ(list.Text().left(30), "Subdir=False\r\nRegExt=a=b\r\nTarg");
  EXPECT_TRUE(list.Text().endsWith("Daemon=500\r\n"));
}

TEST(OptionList, SplitLines) {
  EXPECT_EQ(TkvSplitLines("a\r\nb"), QStringList({"a", "b"}));
  EXPECT_EQ(TkvSplitLines("a\n\rb"), QStringList({"a", "", "b"}));
  EXPECT_EQ(TkvSplitLines("a\rb\n"), QStringList({"a", "b"}));
  EXPECT_EQ(TkvSplitLines("a\r\n\r\nb\r\n"), QStringList({"a", "", "b"}));
  EXPECT_EQ(TkvSplitLines(QString("a\nb") + QChar(0) + "c\nd"), QStringList({"a", "b"}));
  EXPECT_EQ(TkvSplitLines(QString(QChar(0)) + "a"), QStringList());
  EXPECT_EQ(TkvSplitLines(""), QStringList());
}

TEST(OptionList, BooleanReading) {
  for (const char* t : {"1", "-1", "2.5", "True", "true", "TRUE", " 1"})
    EXPECT_TRUE(TkvStrToBool(t, false)) << t;
  for (const char* t : {"0", "0.0", "False", "false", "fAlSe", "-0"})
    EXPECT_FALSE(TkvStrToBool(t, true)) << t;
  for (const char* t : {"yes", "on", "", "nan", "inf", "1x", "True "}) {
    EXPECT_TRUE(TkvStrToBool(t, true)) << t;
    EXPECT_FALSE(TkvStrToBool(t, false)) << t;
  }
}

TEST(OptionList, IntegerReading) {
  for (const char* t : {"12", " 12", "+12", "$C", "$c", "xC", "0xC", "0XC", "012"})
    EXPECT_EQ(TkvStrToInt(t, -5), 12) << t;
  EXPECT_EQ(TkvStrToInt("-12", 0), -12);
  EXPECT_EQ(TkvStrToInt("-$C", 0), -12);
  EXPECT_EQ(TkvStrToInt("2147483647", 0), 2147483647);
  EXPECT_EQ(TkvStrToInt("-2147483648", 0), -2147483647 - 1);
  EXPECT_EQ(TkvStrToInt("$FFFFFFFF", 0), -1);
  for (const char* t :
       {"12a", "12 ", "", " ", "+", "$", "0x", "2147483648", "-2147483649", "$100000000",
        "99999999999999999999999", "1.5", "\xd9\xa3" /* Arabic-Indic three */}) {
    EXPECT_EQ(TkvStrToInt(QString::fromUtf8(t), -5), -5) << t;
  }
}

}  // namespace

namespace {

TEST(OptionTable, WarningsNameUnknownKeysAndValuesTheirKeyCannotTake) {
  tabrix::test::ScopedTempDir temp;
  const QString folder = temp.file("in");
  QDir().mkpath(folder);
  const QStringList lines = {
      "Sorce=/in/*.xls?",
      "Subdir=yes",
      "subdir=True",
      "IsOverwrite=SKIP",
      "ThreadsCount=two",
      "Sheet=-1",
      "Orientation= Landscape ",
      "PaperSize=B5",
      "Shard=4/4",
      "eSource.Text=x",
      "cSubdir.Checked=True",
      "no equals sign",
      "Source=" + folder,
      "Source3=" + folder + "/*.xls?",
      "Recalculate=never",
      "MissingGlyphs=maybe",
      "Zzqx=1",
      "PureConsole=",
  };
  EXPECT_EQ(TkvOptionWarnings(lines, "*.xls?"),
            QStringList({"unknown option 'Sorce' (did you mean Source?)",
                         "Subdir=yes is not True or False: False is used",
                         "ThreadsCount=two is not a whole number: 1 is used",
                         "PaperSize=B5 is not A3, A4, A5, Letter or Legal: each sheet keeps its "
                         "own",
                         "Shard=4/4: " +
                             [] {
                               TkvShard shard;
                               return TkvParseShard("4/4", shard);
                             }() +
                             ": the run fails",
                         "Source names a folder without a mask: add *.xls? to convert its "
                         "workbooks",
                         "MissingGlyphs=maybe is not Warn or Fail: Warn is used",
                         "unknown option 'Zzqx'"}));
  EXPECT_EQ(TkvClosestOptionKey("threadcount"), "ThreadsCount");
  EXPECT_EQ(TkvClosestOptionKey("Surce2"), "Source2");
  ASSERT_NE(TkvFindOption("source12"), nullptr);
  EXPECT_EQ(TkvFindOption("Source1"), nullptr);
  EXPECT_EQ(TkvFindOption("Source02"), nullptr);
}

// docs/options.md lists the same keys with the same defaults, in the same order.
TEST(OptionTable, TheDocumentedTableIsTheOptionTable) {
  const QString docs =
      QString::fromUtf8(tabrix::test::readFile(tabrix::test::sourceDir() + "/docs/options.md"));
  static const QRegularExpression row("^\\| `([A-Za-z0-9]+)`[^|]*\\| ([^|]*) \\|",
                                      QRegularExpression::MultilineOption);
  QStringList documented, expected;
  for (auto it = row.globalMatch(docs); it.hasNext();) {
    const auto m = it.next();
    const QString key = m.captured(1) == "Source2" ? "SourceN" : m.captured(1);
    documented.append(key + " " + m.captured(2).section(u' ', 0, 0));
  }
  for (const TkvOptionRow& r : TkvOptionTable())
    expected.append(r.key + " " + (r.defaultValue.isEmpty() ? "empty" : r.defaultValue));
  EXPECT_EQ(documented, expected);
}

}  // namespace
