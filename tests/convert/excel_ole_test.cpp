// The converter's call sequence against a recording "Excel.Application":
// session lifecycle, open arguments, export modes, page fit and the whole
// fallback chain, each run through a real batch and converter thread.

#include "convert/automation/class_registry.h"
#include "convert/tabrix.h"
#include "recording_excel.h"
#include "support/qt_print.h"
#include "support/test_globals.h"
#include "support/workbooks.h"

#include "core/path_utils.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <vector>

#include <sys/stat.h>

using namespace tabrix::test;

namespace {

class ExcelOleTest : public ::testing::Test {
 protected:
  static inline const QDateTime kSourceTime = QDateTime::fromSecsSinceEpoch(1000000000);

  ExcelOleTest()
      : globals_(tmp_, QStringLiteral("TkvTabrixProbe")),
        registration_(QStringLiteral("Excel.Application"), [] {
          std::lock_guard<std::mutex> lock(script->mutex);
          ++script->creations;
          if (script->failCreations > 0) {
            --script->failCreations;
            throw TkvAutomationError(QStringLiteral("Spreadsheet application not installed"));
          }
          return std::shared_ptr<TkvAutoObject>(std::make_shared<Recorder>(QStringLiteral("App")));
        }) {
    TkvRegisterConvertor<TkvTabrixProbe>(QStringLiteral("TkvTabrixProbe"));
    script = &script_;
  }
  ~ExcelOleTest() override { script = nullptr; }

  void Option(const QString& key, const QString& value) {
    globals_.project->SetOptionValue(key, value);
  }
  QString Out(const QString& name) const { return tmp_.file(QStringLiteral("out/") + name); }

  // Converts book1.xlsx .. bookN.xlsx, in that order, on one converter thread,
  // into `target` (default: out/). The sources date from 2001.
  void Run(int count, const QString& target = QString()) {
    QDir(tmp_.file(QStringLiteral("in"))).removeRecursively();
    batch_ = std::make_unique<TkvBatch>(*globals_.project);
    script_.batch = batch_.get();
    for (int i = 1; i <= count; ++i) {
      // Begins like a workbook (a compound file) for the content check.
      const QString source = tmp_.write(QStringLiteral("in/book%1.xlsx").arg(i),
                                        QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
      QFile file(source);
      file.open(QIODevice::ReadWrite);
      file.setFileTime(kSourceTime, QFileDevice::FileModificationTime);
      batch_->AddFile(source);
    }
    auto head = TkvConvertor::StartConverters(
        batch_.get(), target.isEmpty() ? tmp_.file(QStringLiteral("out")) : target, {});
    head->Start();
    head->WaitChain();
    script_.waiters.clear();
    script_.ShowFinalNames(target.isEmpty() ? tmp_.file(QStringLiteral("out")) : target);
  }
  TkvNode Item(int i) const { return batch_->ItemSnapshot(i); }

  Script script_;
  ScopedTempDir tmp_;
  TestGlobals globals_;
  TkvScopedClassRegistration registration_;
  std::unique_ptr<TkvBatch> batch_;
};

TEST(ExcelOleVersion, NumberAndTextPaths) {
  EXPECT_EQ(TkvExcelOle::VersionNumber(QStringLiteral("16.0")), 16);
  EXPECT_EQ(TkvExcelOle::VersionNumber(15.0), 15);
  EXPECT_EQ(TkvExcelOle::VersionNumber(std::int32_t(12)), 12);
  EXPECT_EQ(TkvExcelOle::VersionNumber(QStringLiteral("7.4")), 7);
  EXPECT_EQ(TkvExcelOle::VersionNumber(std::int32_t(160)), 16);
  EXPECT_EQ(TkvExcelOle::VersionNumber(QStringLiteral("14.0.1")),
            0);  // text path, "140.1" is no integer
  EXPECT_EQ(TkvExcelOle::VersionNumber(TkvVariant()), 0);
  EXPECT_EQ(TkvExcelOle::VersionNumberFromText(QStringLiteral("16.0")), 16);
  EXPECT_EQ(TkvExcelOle::VersionNumberFromText(QStringLiteral("12.0")), 12);
  EXPECT_EQ(TkvExcelOle::VersionNumberFromText(QStringLiteral("7.0")), 70);
  EXPECT_EQ(TkvExcelOle::VersionNumberFromText(QStringLiteral("8.0")), 8);
  EXPECT_EQ(TkvExcelOle::VersionNumberFromText(QStringLiteral("abc")), 0);
  EXPECT_EQ(TkvTabrix::SheetPath(QStringLiteral("/out/book.pdf"), 2),
            QStringLiteral("/out/book-2.pdf"));
  EXPECT_EQ(TkvTabrix::SheetPath(QStringLiteral("/out.d/book"), 1),
            QStringLiteral("/out.d/book-1"));
}

TEST_F(ExcelOleTest, OneSessionPerThreadWithAnOpenClosePairPerItem) {
  Run(2);
  const QStringList calls = script_.Matching(QString());
  EXPECT_EQ(script_.creations, 1);
  EXPECT_EQ(script_.Matching(QStringLiteral("App.Version")).size(), 1);
  EXPECT_EQ(script_.Matching(QStringLiteral("App.DisplayAlerts=false")).size(), 1);
  EXPECT_EQ(calls.last(), QStringLiteral("App.Quit()"));
  EXPECT_EQ(script_.Matching(QStringLiteral("Quit")).size(), 1);
  // Open and Close alternate, Close(false) after every Open; ReadOnly absent.
  const QStringList openClose = calls.filter(QRegularExpression(QStringLiteral("Open|Close")));
  ASSERT_EQ(openClose.size(), 4);
  EXPECT_EQ(openClose[0], QStringLiteral("Workbooks.Open(%1,~,false%2,Auto)")
                              .arg(tmp_.file("in/book1.xlsx"), QStringLiteral(",~").repeated(12)));
  EXPECT_EQ(openClose[1], QStringLiteral("Workbook.Close(false)"));
  EXPECT_TRUE(openClose[2].startsWith(QStringLiteral("Workbooks.Open(")));
  EXPECT_EQ(openClose[3], QStringLiteral("Workbook.Close(false)"));
  // Sheet 0: the active sheet, with the eight export arguments.
  EXPECT_EQ(script_.Matching(QStringLiteral("Export")).first(),
            QStringLiteral("Sheet3.ExportAsFixedFormat(0,%1,0,true,false,~,~,false)")
                .arg(Out("book1.pdf")));
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
  EXPECT_EQ(Item(0).Result, Out("book1.pdf"));
  EXPECT_EQ(batch_->SuccessCount(), 2);
  EXPECT_EQ(globals_.info->Count(QStringLiteral("W")), 16);
}

TEST_F(ExcelOleTest, OpenArgumentsFollowReadOnlyAndSkipPassword) {
  const QString book = tmp_.file(QStringLiteral("in/book1.xlsx"));
  // SkipPassword opens read-only whatever ReadOnly says.
  Option(QStringLiteral("SkipPassword"), QStringLiteral("true"));
  Option(QStringLiteral("ReadOnly"), QStringLiteral("false"));
  Run(1);
  EXPECT_EQ(script_.Matching(QStringLiteral("Open")),
            QStringList{QStringLiteral("Workbooks.Open(%1,~,true,~,%2%3,Auto)")
                            .arg(book)
                            .arg(TkvExcelOle::kDummyPassword)
                            .arg(QStringLiteral(",~").repeated(10))});

  script_.calls.clear();
  Option(QStringLiteral("SkipPassword"), QStringLiteral("false"));
  Option(QStringLiteral("ReadOnly"), QStringLiteral("true"));
  Option(QStringLiteral("Recalculate"), QStringLiteral("always"));
  script_.version = QStringLiteral("not a version");
  globals_.info->AddCount(QStringLiteral("W"), 5, 0);
  Run(1);
  EXPECT_EQ(script_.Matching(QStringLiteral("Open")),
            QStringList{QStringLiteral("Workbooks.Open(%1,~,true%2,Always)")
                            .arg(book, QStringLiteral(",~").repeated(12))});
  EXPECT_EQ(globals_.info->Count(QStringLiteral("W")), 6);  // no version: counted up by one
}

TEST_F(ExcelOleTest, ExportModes) {
  struct Case {
    QString allSheets, sheet;
    QStringList exports;
  };
  const QString pdf = Out(QStringLiteral("book1.pdf"));
  const QList<Case> cases = {
      {"true", "3", {"Workbook|" + pdf}},  // AllSheets wins over Sheet
      {"false", "2", {"Sheet2|" + pdf}},
      {"false", "0", {"Sheet3|" + pdf}},
      {"false",
       "-1",
       {"Sheet1|" + Out("book1-1.pdf"), "Sheet2|" + Out("book1-2.pdf"),
        "Sheet3|" + Out("book1-3.pdf")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(("Sheet " + c.sheet).toStdString());
    QDir(tmp_.file("out")).removeRecursively();
    script_.calls.clear();
    Option(QStringLiteral("AllSheets"), c.allSheets);
    Option(QStringLiteral("Sheet"), c.sheet);
    Run(1);
    QStringList exports;
    for (const QString& call : script_.Matching(QStringLiteral("ExportAsFixedFormat")))
      exports << call.section(u'.', 0, 0) + u'|' + call.section(u',', 1, 1);
    EXPECT_EQ(exports, c.exports);
    for (const QString& e : c.exports) EXPECT_TRUE(QFileInfo::exists(e.section(u'|', 1)));
    // The per-sheet mode names the first file it wrote.
    EXPECT_EQ(Item(0).Result, c.exports.first().section(u'|', 1));
  }
}

TEST_F(ExcelOleTest, AllColumnsFitsEverySheetAndExportsOnlyTheActiveOne) {
  Option(QStringLiteral("AllColumns"), QStringLiteral("true"));
  Run(1);
  QStringList expected;
  for (int i = 1; i <= 3; ++i)
    expected << QStringLiteral("Sheet%1.PageSetup.Zoom=false").arg(i)
             << QStringLiteral("Sheet%1.PageSetup.FitToPagesWide=1").arg(i)
             << QStringLiteral("Sheet%1.PageSetup.FitToPagesTall=1").arg(i);
  EXPECT_EQ(script_.Matching(QStringLiteral(".PageSetup.")), expected);
  EXPECT_EQ(script_.Matching(QStringLiteral("ExportAsFixedFormat")).size(), 1);
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
}

TEST_F(ExcelOleTest, FailedExportFallsBackToTheOfficeSuite) {
  script_.failExport = true;
  script_.suiteResult = true;
  Run(1);
  EXPECT_EQ(script_.Matching(QStringLiteral("Suite(")),
            QStringList{QStringLiteral("Suite(book1.xlsx,out)")});
  EXPECT_TRUE(script_.Matching(QStringLiteral("PrintOut")).isEmpty());
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
  EXPECT_EQ(Item(0).Result, Out("book1.pdf"));
  EXPECT_EQ(readFile(Out("book1.pdf")), tinyPdf(3));
}

TEST_F(ExcelOleTest, ThenPrintsUnderTheBatchLock) {
  script_.failExport = true;
  Option(QStringLiteral("Sheet"), QStringLiteral("-1"));
  Option(QStringLiteral("PDFWriter"), QStringLiteral("Test PDF"));
  Run(1);
  EXPECT_EQ(script_.Matching(QStringLiteral("Suite(")).size(), 1);
  QStringList expected;
  for (int i = 1; i <= 3; ++i)
    expected << QStringLiteral("Sheet%1.PrintOut(~,~,1,false,Test PDF)").arg(i);
  EXPECT_EQ(script_.Matching(QStringLiteral("PrintOut")), expected);
  EXPECT_TRUE(script_.lockHeldWhilePrinting);
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
  EXPECT_EQ(script_.Matching(QStringLiteral("Close")).size(), 1);
}

TEST_F(ExcelOleTest, FailedPrintTriesTheOfficeSuiteAgainThenFails) {
  script_.failExport = true;
  script_.failPrint = true;
  Run(2);
  EXPECT_EQ(script_.Matching(QStringLiteral("Suite(book1")).size(), 2);
  EXPECT_EQ(Item(0).Status, TkvNode::Failed);
  EXPECT_TRUE(Item(0).Result.contains(QStringLiteral("Printer jammed")))
      << Item(0).Result.toStdString();
  EXPECT_EQ(batch_->FailureCount(), 2);
  EXPECT_EQ(batch_->Failures(), QStringList{Item(0).Result});
  EXPECT_EQ(script_.Matching(QStringLiteral("Close(false)")).size(),
            2);  // closed on the failure path too
}

TEST_F(ExcelOleTest, MissingSheetFailsWithTheApplicationsMessage) {
  Option(QStringLiteral("Sheet"), QStringLiteral("5"));
  Run(1);
  EXPECT_EQ(script_.Matching(QStringLiteral("Suite(")).size(), 2);
  EXPECT_TRUE(script_.Matching(QStringLiteral("PrintOut")).isEmpty());
  EXPECT_EQ(Item(0).Status, TkvNode::Failed);
  EXPECT_EQ(Item(0).Result, QStringLiteral("No sheet 5"));
}

TEST_F(ExcelOleTest, OpenAndStartFailuresCostOnlyTheirItem) {
  script_.failCreations = 1;
  Run(2);
  EXPECT_EQ(script_.creations, 2);  // tried again at the next item
  EXPECT_EQ(Item(0).Status, TkvNode::Failed);
  EXPECT_EQ(Item(0).Result, QStringLiteral("Spreadsheet application not installed"));
  EXPECT_EQ(script_.Matching(QStringLiteral("Suite(book1.xlsx,out)")).size(), 1);
  EXPECT_EQ(Item(1).Status, TkvNode::Done);

  script_.calls.clear();
  script_.openError = QStringLiteral("The workbook is password-protected");
  script_.suiteResult = true;  // the office suite converts what the application cannot open
  Run(1);
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
  EXPECT_TRUE(script_.Matching(QStringLiteral("Close")).isEmpty());
}

TEST_F(ExcelOleTest, SkippedItemOpensNothing) {
  Option(QStringLiteral("IsOverwrite"), QStringLiteral("skip"));
  tmp_.write(QStringLiteral("out/book1.pdf"), "old");
  Run(1);
  EXPECT_TRUE(script_.Matching(QStringLiteral("Open")).isEmpty());
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
  EXPECT_TRUE(Item(0).Result.isEmpty());
  EXPECT_EQ(script_.creations, 0);
}

TEST_F(ExcelOleTest, LayoutOptionsSetEverySheetsPageSetupAndPdfA) {
  Option(QStringLiteral("FitWidth"), QStringLiteral("true"));
  Option(QStringLiteral("Orientation"), QStringLiteral("Landscape"));
  Option(QStringLiteral("PaperSize"), QStringLiteral("a3"));
  Option(QStringLiteral("PdfA"), QStringLiteral("true"));
  Run(1);
  QStringList expected;
  for (int i = 1; i <= 3; ++i)
    for (const char* call :
         {"PaperSize=8", "Orientation=2", "Zoom=false", "FitToPagesWide=1", "FitToPagesTall=false"})
      expected << QStringLiteral("Sheet%1.PageSetup.%2").arg(i).arg(QLatin1String(call));
  EXPECT_EQ(script_.Matching(QStringLiteral(".PageSetup.")), expected);
  EXPECT_EQ(
      script_.Matching(QStringLiteral("ExportAsFixedFormat")),
      QStringList{QStringLiteral("Sheet3.ExportAsFixedFormat(0,%1,0,true,false,~,~,false,~,true)")
                      .arg(Out("book1.pdf"))});
  EXPECT_EQ(Item(0).Status, TkvNode::Done);

  // AllColumns wins over FitWidth; the other settings still apply.
  script_.calls.clear();
  Option(QStringLiteral("AllColumns"), QStringLiteral("true"));
  Option(QStringLiteral("PdfA"), QStringLiteral("false"));
  Run(1);
  EXPECT_TRUE(script_.Matching(QStringLiteral("FitToPagesTall=false")).isEmpty());
  EXPECT_EQ(script_.Matching(QStringLiteral("FitToPagesTall=1")).size(), 3);
  EXPECT_EQ(script_.Matching(QStringLiteral("Orientation=2")).size(), 3);
  EXPECT_EQ(script_.Matching(QStringLiteral("ExportAsFixedFormat"))[0].count(u','),
            7);  // eight arguments
}

TEST_F(ExcelOleTest, AChoiceValueNoneOfItsChoicesGivesTheDefaultAsItsWarningSays) {
  // "Orientation=sideways is not portrait or landscape: each sheet keeps its
  // own", "Recalculate=sometimes is not Auto, Always or Never: Auto is used".
  Option(QStringLiteral("Orientation"), QStringLiteral("sideways"));
  Option(QStringLiteral("PaperSize"), QStringLiteral("B5"));
  Option(QStringLiteral("Recalculate"), QStringLiteral("sometimes"));
  Option(QStringLiteral("MissingGlyphs"), QStringLiteral("maybe"));
  Run(1);
  EXPECT_EQ(Item(0).Status, TkvNode::Done) << Item(0).Result.toStdString();
  EXPECT_TRUE(script_.Matching(QStringLiteral(".PageSetup.")).isEmpty());
  ASSERT_EQ(script_.Matching(QStringLiteral("Open")).size(), 1);
  EXPECT_TRUE(script_.Matching(QStringLiteral("Open"))[0].endsWith(QStringLiteral(",Auto)")));
  EXPECT_EQ(batch_->FailureCount(), 0);
}

TEST_F(ExcelOleTest, ItemsCarryTheirCheckedPdfsAndPages) {
  // Per-sheet export leaves the hidden sheet out and keeps the numbers.
  script_.hiddenSheets = {2};
  Option(QStringLiteral("Sheet"), QStringLiteral("-1"));
  Run(1);
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
  EXPECT_EQ(Item(0).Files, (QStringList{Out("book1-1.pdf"), Out("book1-3.pdf")}));
  EXPECT_EQ(Item(0).Pages, 2);
  EXPECT_TRUE(script_.Matching(QStringLiteral("Sheet2.Export")).isEmpty());
  EXPECT_FALSE(QFileInfo::exists(Out("book1-2.pdf")));

  // Printed per sheet (two pages each), the hidden sheet left out again.
  script_.failExport = true;
  Option(QStringLiteral("PDFWriter"), QStringLiteral("Test PDF"));
  Run(1);
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
  EXPECT_EQ(Item(0).Files, (QStringList{Out("book1-1.pdf"), Out("book1-3.pdf")}));
  EXPECT_EQ(Item(0).Pages, 4);
  EXPECT_TRUE(script_.Matching(QStringLiteral("Sheet2.PrintOut")).isEmpty());

  // An export that writes no PDF fails like a failed export: the office suite's file counts.
  script_.failExport = false;
  script_.exportBytes = "%PDF-1.4 this is not a PDF";
  script_.suiteResult = true;
  Option(QStringLiteral("Sheet"), QStringLiteral("0"));
  script_.calls.clear();
  Run(1);
  EXPECT_EQ(script_.Matching(QStringLiteral("Suite(")).size(), 1);
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
  EXPECT_EQ(Item(0).Files, QStringList{Out("book1.pdf")});
  EXPECT_EQ(Item(0).Pages, 3);

  // Nothing readable anywhere: the item fails and no broken file stays behind.
  QDir(tmp_.file(QStringLiteral("out"))).removeRecursively();
  script_.calls.clear();
  script_.suiteResult = false;
  script_.failPrint = true;
  Run(1);
  EXPECT_EQ(Item(0).Status, TkvNode::Failed);
  EXPECT_TRUE(Item(0).Files.isEmpty());
  EXPECT_EQ(Item(0).Pages, 0);
  EXPECT_FALSE(QFileInfo::exists(Out("book1.pdf")));
}

}  // namespace

namespace {

QByteArray Content(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST_F(ExcelOleTest, PerSheetModeKeepsTheOldTargetItNeverRewrites) {
  // The overwrite rule goes by the files written, book1-N.pdf, never by
  // book1.pdf, which the sheets' export does not write.
  Option(QStringLiteral("Sheet"), QStringLiteral("-1"));
  Option(QStringLiteral("PDFWriter"), QStringLiteral("Test PDF"));
  const QStringList sheets = {Out("book1-1.pdf"), Out("book1-2.pdf"), Out("book1-3.pdf")};
  for (const char* rule : {"True", "False", "skip"}) {
    SCOPED_TRACE(rule);
    Option(QStringLiteral("IsOverwrite"), QString::fromLatin1(rule));
    const auto oldTargetOnly = [&] {
      QDir(tmp_.file(QStringLiteral("out"))).removeRecursively();
      tmp_.write(QStringLiteral("out/book1.pdf"), "old");
    };
    oldTargetOnly();
    script_.failExport = false;
    script_.suiteResult = false;
    Run(1);
    EXPECT_EQ(Item(0).Status, TkvNode::Done);
    EXPECT_EQ(Item(0).Files, sheets);
    EXPECT_EQ(Content(Out("book1.pdf")), "old");
    EXPECT_TRUE(QDir(tmp_.file("out")).entryList({"-tabrix-*"}, QDir::Files).isEmpty());

    // The office-suite fallback writes the whole workbook: one more file
    // under the rule (left alone under skip: the sheets are printed instead).
    oldTargetOnly();
    script_.failExport = true;
    script_.suiteResult = true;
    Run(1);
    EXPECT_EQ(Item(0).Status, TkvNode::Done);
    if (QLatin1String(rule) == QLatin1String("skip")) {
      EXPECT_EQ(Item(0).Files, sheets);
      EXPECT_EQ(Content(Out("book1.pdf")), "old");
      continue;
    }
    const QString whole =
        QLatin1String(rule) == QLatin1String("True") ? Out("book1.pdf") : Out("-tabrix-book1.pdf");
    EXPECT_EQ(Item(0).Result, whole);
    EXPECT_EQ(Item(0).Files, QStringList{whole});
    EXPECT_EQ(Content(whole), tinyPdf(3));
  }
}

TEST_F(ExcelOleTest, PerSheetItemWithEveryFileLeftAloneIsSkipped) {
  Option(QStringLiteral("Sheet"), QStringLiteral("-1"));
  Option(QStringLiteral("IsOverwrite"), QStringLiteral("skip"));
  Option(QStringLiteral("DeleteSource"), QStringLiteral("true"));
  for (int i = 1; i <= 3; ++i) tmp_.write(QStringLiteral("out/book1-%1.pdf").arg(i), "old");
  Run(1);
  EXPECT_EQ(Item(0).Status, TkvNode::Done);
  EXPECT_TRUE(Item(0).Result.isEmpty());
  EXPECT_EQ(batch_->SuccessCount(), 0);
  EXPECT_EQ(batch_->FailureCount(), 0);
  EXPECT_TRUE(QFileInfo::exists(tmp_.file("in/book1.xlsx")));
  EXPECT_EQ(Content(Out("book1-2.pdf")), "old");

  // One sheet file missing: that one is written and the item is a success.
  QFile::remove(Out("book1-2.pdf"));
  Run(1);
  EXPECT_EQ(Item(0).Result, Out("book1-2.pdf"));
  EXPECT_EQ(batch_->SuccessCount(), 1);
  EXPECT_EQ(Content(Out("book1-1.pdf")), "old");
  EXPECT_FALSE(QFileInfo::exists(tmp_.file("in/book1.xlsx")));
}

TEST_F(ExcelOleTest, UnwritableTargetFolderFailsWithItsCauseAndPrintsNothing) {
  // The target folder would lie below a file: it cannot be made.
  tmp_.write(QStringLiteral("blocked"), "a file");
  const QString folder = tmp_.file(QStringLiteral("blocked/out"));
  script_.failExport = true;
  script_.failPrint = true;  // as a CUPS server that cannot be reached
  Run(1, folder);
  EXPECT_EQ(Item(0).Status, TkvNode::Failed);
  const QString result = Item(0).Result;
  EXPECT_TRUE(result.contains(folder + u'/') &&
              result.contains(folder + QStringLiteral("/book1.pdf")))
      << result.toStdString();
  EXPECT_FALSE(result.contains(QStringLiteral("Printer jammed"))) << result.toStdString();
  EXPECT_TRUE(script_.Matching(QStringLiteral("PrintOut")).isEmpty());
  EXPECT_EQ(script_.Matching(QStringLiteral("Suite(")).size(), 2);
  EXPECT_TRUE(batch_->Failures().contains(QStringLiteral("CreateDir Failed: ") + folder + u'/'));
}

TEST_F(ExcelOleTest, PrintCountsOnlyWhenItDeliveredAFreshPdf) {
  script_.failExport = true;
  script_.printWrites = false;
  Option(QStringLiteral("DeleteSource"), QStringLiteral("true"));
  for (const char* sheet : {"0", "-1"}) {
    SCOPED_TRACE(sheet);
    Option(QStringLiteral("Sheet"), sheet);
    // An older file where the print should go is not its output.
    tmp_.write(QStringLiteral("out/book1-1.pdf"), "%PDF old");
    Run(1);
    EXPECT_EQ(Item(0).Status, TkvNode::Failed);
    EXPECT_TRUE(Item(0).Result.contains(QStringLiteral("delivered no PDF file at")))
        << Item(0).Result.toStdString();
    EXPECT_EQ(batch_->SuccessCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(tmp_.file("in/book1.xlsx")));
  }
}

TEST_F(ExcelOleTest, SourceOptionsFollowEverySuccessAndNoFailure) {
  enum Road { Export, Suite, Print, Failure };
  for (const Road road : {Export, Suite, Print, Failure}) {
    SCOPED_TRACE(int(road));
    script_.failExport = road != Export;
    script_.suiteResult = road == Suite;
    script_.failPrint = road == Failure;
    const QString source = tmp_.file(QStringLiteral("in/book1.xlsx"));

    QDir(tmp_.file("out")).removeRecursively();
    Option(QStringLiteral("DeleteSource"), QStringLiteral("false"));
    Option(QStringLiteral("KeepFileTime"), QStringLiteral("true"));
    Option(QStringLiteral("RenameSource"), QStringLiteral(".done"));
    Run(1);
    ASSERT_EQ(Item(0).Status, road == Failure ? TkvNode::Failed : TkvNode::Done);
    EXPECT_EQ(QFileInfo::exists(source), road == Failure);
    EXPECT_EQ(QFileInfo::exists(source + QStringLiteral(".done")), road != Failure);
    if (road != Failure) {
      EXPECT_EQ(QFileInfo(Out("book1.pdf")).lastModified(), kSourceTime);
    }

    QFile::remove(source + QStringLiteral(".done"));
    Option(QStringLiteral("DeleteSource"), QStringLiteral("true"));
    Option(QStringLiteral("KeepFileTime"), QStringLiteral("false"));
    Option(QStringLiteral("RenameSource"), QString());
    Run(1);
    EXPECT_EQ(QFileInfo::exists(source), road == Failure);
  }
}

}  // namespace
