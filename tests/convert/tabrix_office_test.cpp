// TkvTabrix in real batches on real LibreOffice processes, checked through
// the PDF files it writes: every export mode, the page fit, the three
// workbook formats, unreadable workbooks, a killed office and two threads.

#include "convert/office/office_classes.h"
#include "convert/office/office_process.h"
#include "convert/office/office_url.h"
#include "convert/office/uno_runtime.h"
#include "convert/tabrix.h"
#include "core/path_utils.h"
#include "office_test_env.h"
#include "support/qt_print.h"
#include "support/test_globals.h"
#include "support/workbooks.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <future>
#include <iostream>
#include <mutex>
#include <set>

using namespace tabrix::test;

namespace {

class TabrixOfficeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!officeInstalled()) return;
    officeCacheDir();
    inputs = new ScopedTempDir;
    ASSERT_TRUE(writeXlsx(inputs->file(QStringLiteral("three.xlsx")), threeSheets(), 3));
    // .xls, .xlsm and a password-protected .xls, written by LibreOffice on
    // an office of this thread that is quit again before the tests.
    auto office = TkvOfficeProcess::ForThisThread();
    saveAs(QStringLiteral("three.xls"), QStringLiteral("MS Excel 97"));
    saveAs(QStringLiteral("three.xlsm"), QStringLiteral("Calc MS Excel 2007 VBA XML"));
    saveAs(QStringLiteral("locked.xls"), QStringLiteral("MS Excel 97"), QStringLiteral("secret"));
    office->Quit();
    inputs->write(QStringLiteral("damaged.xlsx"), QByteArray("PK\x03\x04 this is no workbook", 28));
  }
  static void TearDownTestSuite() {
    delete inputs;
    inputs = nullptr;
  }

  static void saveAs(const QString& to, const QString& filter, const QString& password = {}) {
    using namespace css;
    using tabrix::office::Prop;
    using tabrix::office::ToOU;
    auto desktop = TkvOfficeProcess::ForThisThread()->Desktop();
    auto doc = desktop->loadComponentFromURL(
        ToOU(TkvOfficeFileUrl(inputs->file(QStringLiteral("three.xlsx")))), "_blank", 0,
        tabrix::office::SequenceOf<beans::PropertyValue>({Prop("Hidden", uno::Any(true))}));
    std::vector<beans::PropertyValue> store{Prop("FilterName", uno::Any(ToOU(filter)))};
    if (!password.isEmpty()) store.push_back(Prop("Password", uno::Any(ToOU(password))));
    uno::Reference<frame::XStorable>(doc, uno::UNO_QUERY_THROW)
        ->storeToURL(ToOU(TkvOfficeFileUrl(inputs->file(to))),
                     uno::Sequence<beans::PropertyValue>(store.data(),
                                                         static_cast<sal_Int32>(store.size())));
    uno::Reference<util::XCloseable>(doc, uno::UNO_QUERY_THROW)->close(true);
  }

  TabrixOfficeTest() : globals_(tmp_, QStringLiteral("TkvTabrix")) {
    TkvRegisterOfficeClasses();
    TkvRegisterTabrix();
  }

  void SetUp() override { TABRIX_REQUIRE_OFFICE(); }
  void TearDown() override { EXPECT_TRUE(childOffices().isEmpty()); }

  // A copy of input `from` named `name` in <tmp>/in.
  QString Input(const QString& from, const QString& name) {
    const QString path = tmp_.file(QStringLiteral("in/") + name);
    QDir().mkpath(tmp_.file(QStringLiteral("in")));
    EXPECT_TRUE(QFile::copy(inputs->file(from), path));
    return path;
  }
  QString Out(const QString& name) const { return tmp_.file(QStringLiteral("out/") + name); }

  // Converts `files` in order through a chain of `threads` converters into
  // `target` (default: <tmp>/out).
  void Run(const QStringList& files, int threads, TkvItemEvent onItemStart = {},
           const QString& target = {}) {
    globals_.project->SetOptionValue(QStringLiteral("ThreadsCount"), QString::number(threads));
    batch_ = std::make_unique<TkvBatch>(*globals_.project);
    for (const QString& f : files) batch_->AddFile(f);
    auto head = TkvConvertor::StartConverters(
        batch_.get(), target.isEmpty() ? tmp_.file(QStringLiteral("out")) : target, {});
    if (onItemStart) head->SetOnItemStart(std::move(onItemStart));
    head->Start();
    head->WaitChain();
  }
  TkvNode Item(int i) const { return batch_->ItemSnapshot(i); }

  static inline ScopedTempDir* inputs = nullptr;
  ScopedTempDir tmp_;
  TestGlobals globals_;
  std::unique_ptr<TkvBatch> batch_;
};

TEST_F(TabrixOfficeTest, EveryModeAndFormatInOneBatch) {
  // Options per item, set as each item starts (they are read at use).
  const QHash<QString, QString> options = {
      {"whole.xlsx", "AllSheets=true"},
      {"second.xlsx", "Sheet=2"},
      {"active.xlsx", "Sheet=0"},
      {"each.xlsx", "Sheet=-1;IsOverwrite=False"},
      {"fit.xlsx", "AllSheets=true;AllColumns=true"},
      {"old.xls", "AllSheets=true"},
      {"macro.xlsm", "AllSheets=true"},
      {"locked.xls", "AllSheets=true;SkipPassword=true"},
      {"damaged.xlsx", "AllSheets=true"},
      {"after.xlsx", "Sheet=2;ReadOnly=true"},
      {"my book #1 %41 \u00fc.xlsx", "AllSheets=true"},
  };
  const QStringList files = {Input("three.xlsx", "whole.xlsx"),
                             Input("three.xlsx", "second.xlsx"),
                             Input("three.xlsx", "active.xlsx"),
                             Input("three.xlsx", "each.xlsx"),
                             Input("three.xlsx", "fit.xlsx"),
                             Input("three.xls", "old.xls"),
                             Input("three.xlsm", "macro.xlsm"),
                             Input("locked.xls", "locked.xls"),
                             Input("damaged.xlsx", "damaged.xlsx"),
                             Input("three.xlsx", "after.xlsx"),
                             Input("three.xlsx", "my book #1 %41 \u00fc.xlsx")};
  // Earlier PDFs: one is overwritten, the other outlives a failed conversion.
  tmp_.write(QStringLiteral("out/whole.pdf"), "old whole");
  tmp_.write(QStringLiteral("out/damaged.pdf"), "old damaged");
  // Per-sheet files follow the overwrite rule too (here: another name).
  tmp_.write(QStringLiteral("out/each-2.pdf"), "old each 2");
  TkvProject* project = globals_.project.get();
  Run(files, 1, [&](TkvBatch*, TkvNode* item) {
    for (const char* key :
         {"AllSheets", "Sheet", "AllColumns", "SkipPassword", "ReadOnly", "IsOverwrite"})
      project->SetOptionValue(QString::fromLatin1(key), QString());
    for (const QString& pair : options.value(TkvNamePart(item->FileName)).split(u';'))
      project->SetOptionValue(pair.section(u'=', 0, 0), pair.section(u'=', 1));
  });

  for (int i = 0; i < files.size(); ++i) {
    const TkvNode item = Item(i);
    const bool bad = item.FileName.contains(QLatin1String("locked")) ||
                     item.FileName.contains(QLatin1String("damaged"));
    EXPECT_EQ(item.Status, bad ? TkvNode::Failed : TkvNode::Done)
        << item.FileName.toStdString() << ": " << item.Result.toStdString();
  }
  const int wholePages = pdfPageCount(Out("whole.pdf"));
  EXPECT_GE(wholePages, 5);
  for (const QString name : {"whole.pdf", "old.pdf", "macro.pdf", "my book #1 %41 \u00fc.pdf"}) {
    const QString text = pdfText(Out(name));
    EXPECT_TRUE(text.contains("Alpha text one") && text.contains("Bravo text two") &&
                text.contains("Charlie text three"))
        << name.toStdString();
  }
  EXPECT_EQ(pdfPageCount(Out("second.pdf")), wholePages - 2);
  EXPECT_TRUE(pdfText(Out("second.pdf")).contains("Bravo text two"));
  EXPECT_FALSE(pdfText(Out("second.pdf")).contains("Alpha text one"));
  EXPECT_EQ(pdfPageCount(Out("active.pdf")), 1);
  EXPECT_TRUE(pdfText(Out("active.pdf")).contains("Charlie text three"));
  EXPECT_FALSE(pdfText(Out("active.pdf")).contains("Bravo text two"));

  EXPECT_EQ(Item(3).Result, Out("each-1.pdf")) << "the first file written";
  EXPECT_FALSE(QFileInfo::exists(Out("each.pdf")));
  EXPECT_EQ(pdfPageCount(Out("each-1.pdf")), 1);
  EXPECT_EQ(readFile(Out("each-2.pdf")), "old each 2");
  EXPECT_EQ(pdfPageCount(Out("-tabrix-each-2.pdf")), wholePages - 2);
  EXPECT_TRUE(pdfText(Out("each-3.pdf")).contains("Charlie text three"));
  EXPECT_FALSE(QFileInfo::exists(Out("each-4.pdf")));

  EXPECT_EQ(pdfPageCount(Out("fit.pdf")), 3);  // one page per sheet

  EXPECT_TRUE(Item(7).Result.contains("password", Qt::CaseInsensitive))
      << Item(7).Result.toStdString();
  EXPECT_TRUE(Item(8).Result.contains("damaged.xlsx")) << Item(8).Result.toStdString();
  EXPECT_FALSE(QFileInfo::exists(Out("locked.pdf")));
  EXPECT_EQ(readFile(Out("damaged.pdf")), "old damaged");
  EXPECT_TRUE(QDir(tmp_.file(QStringLiteral("out")))
                  .entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden)
                  .isEmpty())
      << "an old PDF set aside was left behind";
  EXPECT_EQ(batch_->SuccessCount(), 9);
  EXPECT_EQ(batch_->FailureCount(), 2);
  EXPECT_TRUE(QFileInfo::exists(files[0]));  // sources are left alone
}

// Workbooks stored as text, as web applications export them under a .xls
// name: each prints its cells one to a cell (tabs split), no byte-order mark.
TEST_F(TabrixOfficeTest, TextWorkbooksPrintTheirCells) {
  const QByteArray ssml(
      "<?xml version=\"1.0\"?>\n<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
      "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"><Worksheet ss:Name=\"S\"><Table>"
      "<Row><Cell><Data ss:Type=\"String\">Kilo</Data></Cell><Cell><Data "
      "ss:Type=\"Number\">52</Data></Cell></Row></Table></Worksheet></Workbook>\n");
  const struct {
    const char* name;
    QByteArray bytes;
    QStringList words;
  } books[] = {
      {"fragment.xls", "<table><tr><td>Alpha</td><td>42</td></tr></table>\n", {"Alpha", "42"}},
      {"meta.xls",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
       "<table><tr><td>Bravo</td><td>43</td></tr></table>\n",
       {"Bravo", "43"}},
      {"tabs.xls", "Name\tValue\nCharlie\t44\n", {"Value", "Charlie", "44"}},
      {"commas.xls", "Name,Value\nDelta,45\n", {"Value", "Delta", "45"}},
      {"sylk.xls", "ID;PWXL;N;E\r\nC;Y1;X1;K\"Echo\"\r\nC;X2;K46\r\nE\r\n", {"Echo", "46"}},
      {"utf16.xls",
       utf16Text(QStringLiteral("Name\tValue\nFoxtrot\t47\n")),
       {"Name", "Foxtrot", "47"}},
      {"utf16page.xls",
       utf16Text(QStringLiteral(
           "<html><body><table><tr><td>Golf</td><td>48</td></tr></table></body></html>")),
       {"Golf", "48"}},
      {"bom.xls", "\xEF\xBB\xBFName,Value\nJuliett,51\n", {"Name", "Juliett", "51"}},
      {"utf16be.xls",
       utf16Text(QStringLiteral("Name,Value\nHotel,49\n"), true),
       {"Name", "Hotel", "49"}},
      {"latin1.xls", "Name,Wert\nM\xFCller,53\n", {"Wert", "M\u00FCller", "53"}},
      {"ssml.xls", ssml, {"Kilo", "52"}},
  };
  QStringList files;
  for (const auto& b : books)
    files << tmp_.write(QStringLiteral("in/") + QLatin1String(b.name), b.bytes);
  Run(files, 1);
  for (int i = 0; i < files.size(); ++i) {
    const TkvNode item = Item(i);
    ASSERT_EQ(item.Status, TkvNode::Done) << books[i].name << ": " << item.Result.toStdString();
    const QStringList words =
        pdfText(item.Result).split(QRegularExpression(QStringLiteral("\\s+")));
    for (const QString& word : books[i].words)
      EXPECT_TRUE(words.contains(word)) << books[i].name << ": " << word.toStdString() << " in "
                                        << words.join(u' ').toStdString();
  }
}

TEST_F(TabrixOfficeTest, KilledOfficeCostsAtMostTheRunningItem) {
  globals_.project->SetOptionValue(QStringLiteral("AllSheets"), QStringLiteral("true"));
  QStringList files;
  for (int i = 1; i <= 4; ++i) files << Input("three.xlsx", QStringLiteral("book%1.xlsx").arg(i));
  std::future<void> killer;
  std::mutex seenMutex;
  std::set<pid_t> seen;
  Run(files, 1, [&](TkvBatch*, TkvNode* item) {
    {
      std::lock_guard<std::mutex> lock(seenMutex);
      for (pid_t pid : childOffices()) seen.insert(pid);
    }
    if (!item->FileName.endsWith(QLatin1String("book2.xlsx"))) return;
    // The office of item 1 dies while item 2 is being converted.
    killer = std::async(std::launch::async, [] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      for (pid_t pid : childOffices()) ::kill(pid, SIGKILL);
    });
  });
  killer.wait();
  for (int i : {0, 2, 3}) {
    EXPECT_EQ(Item(i).Status, TkvNode::Done) << Item(i).Result.toStdString();
    EXPECT_TRUE(pdfText(Item(i).Result).contains("Bravo text two"));
  }
  // The running item either failed with a message or was saved by a fallback.
  // Never left running; a success stands on disk, a failure says why.
  const TkvNode killed = Item(1);
  ASSERT_TRUE(killed.Status == TkvNode::Done || killed.Status == TkvNode::Failed) << killed.Status;
  if (killed.Status == TkvNode::Done)
    EXPECT_TRUE(pdfText(killed.Result).contains("Bravo text two")) << killed.Result.toStdString();
  else
    EXPECT_FALSE(killed.Result.isEmpty());
  std::cout << "The item whose office was killed: status " << Item(1).Status << ", "
            << Item(1).Result.toStdString() << "\n";
  EXPECT_GE(seen.size(), 2u);  // a new office served the later items
}

TEST_F(TabrixOfficeTest, ItemTimeoutFailsOnlyTheSlowItem) {
  const QString slow = tmp_.file(QStringLiteral("in/slow.xlsx"));
  QDir().mkpath(tmp_.file(QStringLiteral("in")));
  ASSERT_TRUE(writeXlsx(slow, {{QStringLiteral("Big"), QStringLiteral("Many rows"), 60000}}));
  const QStringList files = {Input("three.xlsx", "before.xlsx"), slow,
                             Input("three.xlsx", "after.xlsx")};
  TkvProject* project = globals_.project.get();
  const auto started = std::chrono::steady_clock::now();
  Run(files, 1, [project](TkvBatch*, TkvNode* item) {
    project->SetOptionValue(QStringLiteral("ItemTimeout"),
                            item->FileName.endsWith(QLatin1String("slow.xlsx")) ? "1" : "120");
  });
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
  EXPECT_EQ(Item(1).Status, TkvNode::Failed);
  EXPECT_TRUE(Item(1).Result.contains(QStringLiteral("timed out after 1 second")))
      << Item(1).Result.toStdString();
  EXPECT_EQ(Item(2).Status, TkvNode::Done) << Item(2).Result.toStdString();
  EXPECT_FALSE(QFileInfo::exists(Out("slow.pdf")));
}

TEST_F(TabrixOfficeTest, TwoThreadsRunTwoOfficesAtOnce) {
  QStringList files;
  for (int i = 1; i <= 8; ++i) files << Input("three.xlsx", QStringLiteral("book%1.xlsx").arg(i));
  std::atomic<bool> done{false};
  std::atomic<int> most{0};
  auto sampler = std::async(std::launch::async, [&] {
    while (!done.load()) {
      most.store(std::max(most.load(), static_cast<int>(childOffices().size())));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  Run(files, 2);
  done.store(true);
  sampler.wait();
  EXPECT_EQ(most.load(), 2);
  EXPECT_EQ(batch_->SuccessCount(), 8);
  for (int i = 1; i <= 8; ++i) EXPECT_EQ(pdfPageCount(Out(QStringLiteral("book%1.pdf").arg(i))), 1);
}

TEST_F(TabrixOfficeTest, PerSheetRunKeepsTheOldTargetAndAnUnwritableFolderNamesItself) {
  globals_.project->SetOptionValue(QStringLiteral("Sheet"), QStringLiteral("-1"));
  tmp_.write(QStringLiteral("out/each.pdf"), "old each");
  Run({Input("three.xlsx", "each.xlsx")}, 1);
  EXPECT_EQ(Item(0).Status, TkvNode::Done) << Item(0).Result.toStdString();
  QFile old(Out("each.pdf"));
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), "old each");
  for (int i = 1; i <= 3; ++i)
    EXPECT_GE(pdfPageCount(Out(QStringLiteral("each-%1.pdf").arg(i))), 1) << i;
  // The rules that spare the old file go by the sheets' files as well.
  const QStringList sheets = {Out("each-1.pdf"), Out("each-2.pdf"), Out("each-3.pdf")};
  for (const char* rule : {"False", "skip"}) {
    for (const QString& file : sheets) QFile::remove(file);
    QFile::remove(tmp_.file(QStringLiteral("in/each.xlsx")));
    globals_.project->SetOptionValue(QStringLiteral("IsOverwrite"), QString::fromLatin1(rule));
    Run({Input("three.xlsx", "each.xlsx")}, 1);
    EXPECT_EQ(Item(0).Files, sheets) << rule << ": " << Item(0).Result.toStdString();
    EXPECT_TRUE(pdfText(Out("each-2.pdf")).contains(QLatin1String("Bravo text two"))) << rule;
  }
  globals_.project->SetOptionValue(QStringLiteral("IsOverwrite"), QString());
  EXPECT_EQ(readFile(Out("each.pdf")), "old each");

  // A target folder below a file cannot be made: the item says so, no print is tried.
  globals_.project->SetOptionValue(QStringLiteral("Sheet"), QStringLiteral("0"));
  tmp_.write(QStringLiteral("blocked"), "a file");
  const QString folder = tmp_.file(QStringLiteral("blocked/out"));
  Run({Input("three.xlsx", "book.xlsx")}, 1, {}, folder);
  EXPECT_EQ(Item(0).Status, TkvNode::Failed);
  EXPECT_TRUE(Item(0).Result.contains(folder + QStringLiteral("/book.pdf")))
      << Item(0).Result.toStdString();
  EXPECT_FALSE(Item(0).Result.contains(QStringLiteral("CUPS"))) << Item(0).Result.toStdString();
}

// Sheets "Alpha" (B1 =6*7+1000, 5 stored, fullCalcOnLoad), an empty one,
// "Charlie" and a hidden one.
TEST_F(TabrixOfficeTest, SheetChoicesTheWorkbookCannotMeetFailWithoutFallbackAndFormulasAreFresh) {
  const QString gap = tmp_.file(QStringLiteral("gap.xlsx"));
  ASSERT_TRUE(
      writeXlsx(gap, {{QStringLiteral("Alpha"), QStringLiteral("Alpha text one"), 1, 1, false,
                       QStringLiteral("=6*7+1000"), 5},
                      {QStringLiteral("Empty"), QString()},
                      {QStringLiteral("Charlie"), QStringLiteral("Charlie text three")},
                      {QStringLiteral("Hidden"), QStringLiteral("Hidden text"), 1, 1, true}}));
  const QHash<QString, QString> options = {
      {"five.xlsx", "Sheet=5;DeleteSource=True"},
      {"empty.xlsx", "Sheet=2;DeleteSource=True"},
      {"hidden.xlsx", "Sheet=4"},
      {"each.xlsx", "Sheet=-1"},
      {"never.xlsx", "Sheet=1;Recalculate=Never"},
      {"bad.xlsx", "Sheet=1;Recalculate=sometimes"},
  };
  QStringList files;
  for (const QString name :
       {"five.xlsx", "empty.xlsx", "hidden.xlsx", "each.xlsx", "never.xlsx", "bad.xlsx"}) {
    files << tmp_.file(QStringLiteral("in/") + name);
    QDir().mkpath(tmp_.file(QStringLiteral("in")));
    ASSERT_TRUE(QFile::copy(gap, files.last()));
  }
  const QDateTime sourceTime = QFileInfo(files[3]).lastModified();
  TkvProject* project = globals_.project.get();
  Run(files, 1, [&](TkvBatch*, TkvNode* item) {
    for (const char* key : {"Sheet", "DeleteSource", "Recalculate"})
      project->SetOptionValue(QString::fromLatin1(key), QString());
    for (const QString& pair : options.value(TkvNamePart(item->FileName)).split(u';'))
      project->SetOptionValue(pair.section(u'=', 0, 0), pair.section(u'=', 1));
  });

  const char* failures[][2] = {{"five", "there is no sheet 5"},
                               {"empty", "Sheet 2 of empty.xlsx is empty: nothing to print"},
                               {"hidden", "is hidden"}};
  for (int i : {0, 1, 2}) {
    const auto& [name, message] = failures[i];
    EXPECT_EQ(Item(i).Status, TkvNode::Failed) << name;
    EXPECT_TRUE(Item(i).Result.contains(QLatin1String(message))) << Item(i).Result.toStdString();
    // No fallback wrote the whole workbook, and the source stays.
    EXPECT_FALSE(QFileInfo::exists(Out(QString::fromLatin1(name) + QStringLiteral(".pdf"))))
        << name;
    EXPECT_TRUE(QFileInfo::exists(files[i])) << name;
  }

  // One file per sheet with something to print; the numbers stay the sheets'.
  EXPECT_EQ(Item(3).Status, TkvNode::Done) << Item(3).Result.toStdString();
  const QString first = pdfText(Out("each-1.pdf"));
  EXPECT_TRUE(first.contains(QLatin1String("Alpha")));  // cut short by B1
  EXPECT_TRUE(first.contains(QLatin1String("1042")));   // recalculated (Auto)
  EXPECT_FALSE(QFileInfo::exists(Out("each-2.pdf")));
  EXPECT_TRUE(pdfText(Out("each-3.pdf")).contains(QLatin1String("Charlie text three")));
  EXPECT_FALSE(QFileInfo::exists(Out("each-4.pdf")));
  EXPECT_EQ(readFile(files[3]), readFile(gap));
  EXPECT_EQ(QFileInfo(files[3]).lastModified(), sourceTime);

  EXPECT_EQ(Item(4).Status, TkvNode::Done) << Item(4).Result.toStdString();
  EXPECT_FALSE(pdfText(Out("never.pdf")).contains(QLatin1String("1042")));
  // A value none of the choices: Auto, as the option check's warning says.
  EXPECT_EQ(Item(5).Status, TkvNode::Done) << Item(5).Result.toStdString();
  EXPECT_TRUE(pdfText(Out("bad.pdf")).contains(QLatin1String("1042")));
}

}  // namespace
