#include "core/text_file.h"
#include "core/error.h"
#include "core/option_list.h"
#include "support/scoped_temp_dir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdlib>

using tabrix::test::readFile;
using tabrix::test::ScopedTempDir;

namespace {

// Sets LC_ALL for one test and restores it afterwards.
class LocaleGuard {
 public:
  explicit LocaleGuard(const char* value) {
    if (const char* old = std::getenv("LC_ALL")) old_ = old, had_ = true;
    setenv("LC_ALL", value, 1);
  }
  ~LocaleGuard() { had_ ? setenv("LC_ALL", old_.c_str(), 1) : unsetenv("LC_ALL"); }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(TextFile, WritesLocaleEncodingWithCrLfAndNoMark) {
  ScopedTempDir dir;
  {
    LocaleGuard c("C");
    EXPECT_EQ(TkvLocaleEncodingName(), "UTF-8");
    TkvOptionList list;
    list.SetText(QString::fromUtf8("Source=/in/caf\u00e9 \u20ac/*.xls?\nTarget=/out"));
    list.SaveToFile(dir.file("p.batch-tabrix"));
    EXPECT_EQ(readFile(dir.file("p.batch-tabrix")),
              QByteArray("Source=/in/caf\xc3\xa9 \xe2\x82\xac/*.xls?\r\nTarget=/out\r\n"));
    TkvOptionList back;
    back.LoadFromFile(dir.file("p.batch-tabrix"));
    EXPECT_EQ(back.Lines(), list.Lines());
  }
  {
    // A Latin-1 locale: what it lacks becomes its replacement character.
    LocaleGuard latin("en_US.ISO-8859-1");
    TkvWriteTextLines(dir.file("l.txt"), {QString::fromUtf8("caf\u00e9 \u20ac")});
    EXPECT_EQ(readFile(dir.file("l.txt")), QByteArray("caf\xe9 ?\r\n"));
    EXPECT_EQ(TkvReadTextLines(dir.file("l.txt")), QStringList({QString::fromUtf8("caf\u00e9 ?")}));
  }
}

TEST(TextFile, ByteOrderMarksSelectTheEncoding) {
  LocaleGuard c("C");
  const QString expected = QString::fromUtf8("Title=\u65e5\u672c caf\u00e9");
  EXPECT_EQ(TkvDecodeText("\xef\xbb\xbf" + expected.toUtf8()), expected);
  QByteArray le("\xff\xfe"), be("\xfe\xff");
  for (QChar ch : expected) {
    le.append(char(ch.unicode() & 0xff)).append(char(ch.unicode() >> 8));
    be.append(char(ch.unicode() >> 8)).append(char(ch.unicode() & 0xff));
  }
  EXPECT_EQ(TkvDecodeText(le), expected);
  EXPECT_EQ(TkvDecodeText(be), expected);

  // A UTF-8 project with a mark and LF line ends loads intact; saving writes no mark.
  ScopedTempDir dir;
  const QString path =
      dir.write("u.batch-tabrix", "\xef\xbb\xbf" + expected.toUtf8() + "\nSubdir=1\n");
  TkvOptionList list;
  list.LoadFromFile(path);
  EXPECT_EQ(list.Lines(), QStringList({expected, "Subdir=1"}));
  list.SaveToFile(path);
  EXPECT_EQ(readFile(path), expected.toUtf8() + "\r\nSubdir=1\r\n");
}

TEST(TextFile, FailuresNameThePathAndKeepTheList) {
  ScopedTempDir dir;
  TkvOptionList list;
  list.SetText("Source=/a");
  const QString missing = dir.file("missing.batch-tabrix");
  try {
    list.LoadFromFile(missing);
    FAIL() << "loading a missing file must throw";
  } catch (const TkvError& e) {
    EXPECT_TRUE(e.Message().contains(missing)) << e.Message().toStdString();
  }
  EXPECT_THROW(list.LoadFromFile(dir.path()), TkvError);  // a folder
  EXPECT_EQ(list.Lines(), QStringList({"Source=/a"}));

  // Below a regular file nothing can be created, whoever runs the test.
  const QString blocked = dir.write("plain", "x") + "/sub/p.batch-tabrix";
  try {
    list.SaveToFile(blocked);
    FAIL() << "saving below a file must throw";
  } catch (const TkvError& e) {
    EXPECT_TRUE(e.Message().contains(blocked)) << e.Message().toStdString();
  }
}

TEST(TextFile, HostileFilesLoadWithoutCrashOrHang) {
  LocaleGuard c("C");
  ScopedTempDir dir;
  QByteArray garbage(1 << 20, '\0');
  QRandomGenerator rng(42);
  for (char& b : garbage) b = char(rng.bounded(256));
  QByteArray huge(50 * 1024 * 1024, 'a');
  for (qsizetype i = 4096; i < huge.size(); i += 4096) huge[i] = '\n';
  const QByteArray endless(20 * 1024 * 1024, 'k');
  const QByteArray badUtf8(
      "A=\xc3\x28\xa0\xa1\xe2\x28\xa1\xf0\x90\x28\xbc\xff\xfe\nB=\xed\xa0\x80\n");
  // UTF-16 LE with a lone high surrogate, a lone low surrogate and an odd last byte.
  const QByteArray loneSurrogates(
      "\xff\xfe"
      "A\0=\0\x00\xd8x\0\n\0\x00\xdc=\0y",
      17);

  struct Case {
    const char* name;
    QByteArray bytes;
    qsizetype minLines;
  };
  const Case cases[] = {{"garbage", garbage, 0},
                        {"huge", huge, 12000},
                        {"endless", endless, 1},
                        {"bad-utf8", badUtf8, 2},
                        {"lone-surrogates", loneSurrogates, 2}};
  for (const Case& c : cases) {
    QElapsedTimer timer;
    timer.start();
    TkvOptionList list;
    ASSERT_NO_THROW(list.LoadFromFile(dir.write(c.name, c.bytes))) << c.name;
    EXPECT_GE(list.Count(), c.minLines) << c.name;
    EXPECT_LT(timer.elapsed(), 20000) << c.name;
    list.Value("A");
    list.SaveToFile(dir.file(QString(c.name) + ".out"));
  }
  TkvOptionList list;
  list.LoadFromFile(dir.write("bad", badUtf8));
  EXPECT_TRUE(list.Value("A").contains(QChar(QChar::ReplacementCharacter)));
}

}  // namespace

TEST(TextFile, AFileThatCannotTakeAllItsLinesIsAFailureAndADeviceStaysOne) {
  ScopedTempDir dir;
  const QString full = tabrix::test::fullDevice(dir);
  if (full.isEmpty()) GTEST_SKIP() << "no device that runs out of space can be made here";
  try {
    TkvWriteTextLines(full, {"[Success] => /in/a.xls => /out/a.pdf"});
    FAIL() << "writing to " << full.toStdString() << " must throw";
  } catch (const TkvError& e) {
    EXPECT_TRUE(e.Message().contains(full)) << e.Message().toStdString();
  }
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(full).constData(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device was replaced by a file";
}
