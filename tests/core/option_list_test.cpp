#include "core/option_list.h"

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
