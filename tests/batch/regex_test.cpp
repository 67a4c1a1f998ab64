// Masks, expressions and the matcher.
#include "batch/matcher.h"
#include "batch/name_mask.h"
#include "batch/vbscript_regex.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

namespace {

bool Accepts(const QString& path, const QString& mask) {
  return TkvMatch().Matches(path, WildcardToRegex(mask));
}

int PatternErrorCode(const QString& pattern) {
  try {
    Regex::IsMatch(pattern, {}, QStringLiteral("x"));
  } catch (const ERegexException& e) {
    return e.ErrorCode() & 0xFFFF;
  }
  return 0;
}

}  // namespace

TEST(WildcardToRegex, TranslatesStepByStep) {
  EXPECT_EQ(WildcardToRegex("*.xls?"), R"(.*\.xls.?$)");
  EXPECT_EQ(WildcardToRegex("*.xls"), R"(.*\.xls$)");
  EXPECT_EQ(WildcardToRegex("a(1)+.xls"), R"(a\(1\)\+\.xls$)");
  EXPECT_EQ(WildcardToRegex("^$[]{}"), R"(\^\$\[\]\{\}$)");
  EXPECT_EQ(WildcardToRegex(""), "$");
}

TEST(Matcher, ProductMaskAndLiteralSpecialCharacters) {
  for (const char* ok : {"/d/a.xls", "/d/A.XLS", "/d/a.xlsx", "/d/a.xlsm"})
    EXPECT_TRUE(Accepts(ok, "*.xls?")) << ok;
  EXPECT_FALSE(Accepts("/d/a.xls.bak", "*.xls?"));
  EXPECT_FALSE(Accepts("/d/a.xlsx", "*.xls"));
  EXPECT_TRUE(Accepts("/anything/at/all", ""));

  const QString special = "a(1)+[2]{3}^$.xls";
  EXPECT_TRUE(Accepts("/d/" + special, special));
  EXPECT_FALSE(Accepts("/d/a1+2.xls", special));
  EXPECT_FALSE(Accepts("/d/aa(1)+[2]{3}^$.xls.x", special));
}

TEST(Matcher, ExtraExpressionIgnoresCaseAndAcceptsOnError) {
  TkvMatch m;
  EXPECT_TRUE(m.Matches("/d/Report-2024.xlsx", "report-\\d+"));
  EXPECT_FALSE(m.Matches("/d/Summary.xlsx", "report-\\d+"));
  EXPECT_TRUE(m.Matches("/d/Summary.xlsx", "(unclosed"));
  EXPECT_TRUE(TkvMatchBase().Matches("/x", "nothing"));
}

TEST(Regex, ReplaceFirstMatchCaseSensitiveWithExpansions) {
  EXPECT_EQ(Regex::Replace("^file:/*", "file:///C:/a.xls", ""), "C:/a.xls");
  EXPECT_EQ(Regex::Replace("^file:/*", "FILE:///C:/a.xls", ""), "FILE:///C:/a.xls");
  EXPECT_EQ(Regex::Replace("o", "foo", "0"), "f0o");
  EXPECT_EQ(Regex::Replace("(\\w+)@(\\w+)", "x ab@cd y", "$2 at $1 [$&] $$"),
            "x cd at ab [ab@cd] $ y");
  EXPECT_EQ(Regex::Replace("b", "abc", "<$`|$'>"), "a<a|c>c");
  EXPECT_EQ(Regex::Replace("(a)", "a", "$9"), "$9");

  auto re = Regex::Create("o", roIgnoreCase);
  EXPECT_EQ(re->ReplaceAll("fOo bOO", "0"), "f00 b00");
  EXPECT_TRUE(re->IgnoreCase());
  EXPECT_FALSE(re->MultiLine());
  EXPECT_TRUE(Regex::IsMatch("^b", roMultiLine, "a\nb"));
  EXPECT_FALSE(Regex::IsMatch("^b", {}, "a\nb"));
}

TEST(RegexErrors, TableAndEngineErrorsMapOntoScriptCodes) {
  int count = 0;
  const TVBScriptErrRec* table = TkvScriptErrorTable(&count);
  EXPECT_EQ(count, 43);
  EXPECT_EQ(table[0].Code, 429);
  EXPECT_EQ(table[42].Code, 450);

  const int32_t result = TkvScriptErrorResult(5017);
  ERegexException e(result, "engine text");
  EXPECT_EQ(e.Message(), "Syntax error in regular expression");
  EXPECT_EQ(e.ErrorCode(), result);
  EXPECT_EQ(static_cast<uint32_t>(result), 0x800A1399u);
  EXPECT_EQ(ERegexException(0x12345678, "engine text").Message(), "engine text");

  EXPECT_EQ(PatternErrorCode("(abc"), 5020);
  EXPECT_EQ(PatternErrorCode("[abc"), 5019);
  EXPECT_EQ(PatternErrorCode("*abc"), 5018);
  EXPECT_EQ(PatternErrorCode("[z-a]"), 5021);
  EXPECT_EQ(PatternErrorCode("abc\\"), 5017);
  EXPECT_EQ(PatternErrorCode("abc"), 0);
  EXPECT_THROW(Regex::Replace("(", "x", ""), ERegexException);
}

TEST(NameMask, WholeNameCaseInsensitiveWithDosQuestionMarks) {
  const TkvNameMask product("*.xls?");
  for (const char* ok : {"a.xls", "B.XLS", "c.xlsx", "d.Xlsm", "a.b.xls"})
    EXPECT_TRUE(product.Matches(QString::fromUtf8(ok))) << ok;
  for (const char* no : {"a.xls.bak", "a.xlsxx", "xls", "a.xl"})
    EXPECT_FALSE(product.Matches(QString::fromUtf8(no))) << no;

  EXPECT_TRUE(TkvNameMask("a?.txt").Matches(u"a.txt"));
  EXPECT_TRUE(TkvNameMask("a?.txt").Matches(u"ab.txt"));
  EXPECT_FALSE(TkvNameMask("a?.txt").Matches(u"abc.txt"));
  EXPECT_FALSE(TkvNameMask("a?c").Matches(u"ac"));
  EXPECT_TRUE(TkvNameMask("*.*").Matches(u"README"));
  EXPECT_TRUE(TkvNameMask("book.*").Matches(u"book"));
  EXPECT_TRUE(TkvNameMask("Docs").Matches(u"docs"));
  EXPECT_FALSE(TkvNameMask("Docs").Matches(u"mydocs"));
  EXPECT_FALSE(TkvNameMask("").Matches(u"a"));
  EXPECT_TRUE(TkvNameMask(QString::fromUtf8("ÄRGER*")).Matches(QString::fromUtf8("ärger.xls")));

  // Many stars against a long name that almost matches must not take ages.
  QElapsedTimer t;
  t.start();
  EXPECT_FALSE(TkvNameMask("*a*a*a*a*a*a*a*a*b").Matches(QString(250, u'a')));
  EXPECT_LT(t.elapsed(), 1000);
}
