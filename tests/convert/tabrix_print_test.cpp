// The printer fallback end to end: both exports fail, the workbook is printed
// by LibreOffice on a cups-pdf queue of a private CUPS scheduler, and the PDF
// files end at the target paths.

#include "convert/office/office_classes.h"
#include "convert/tabrix.h"
#include "core/path_utils.h"
#include "office_test_env.h"
#include "printer_cups_server.h"
#include "support/test_globals.h"
#include "support/workbooks.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tabrix::test;

namespace {

// Neither the application's export nor the office suite's works.
class TkvTabrixPrinting : public TkvTabrix {
 public:
  using TkvTabrix::TkvTabrix;
  ~TkvTabrixPrinting() override { Shutdown(); }

 protected:
  void ExportObject(TkvAutoObject&, const QString& path) override {
    throw TkvError(QStringLiteral("Export disabled for ") + path);
  }
  bool SuiteExport(const QString&, const QString&) override { return false; }
};

class TabrixPrintTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!officeInstalled()) return;
    officeCacheDir();
    server = TkvTestCupsServer::Start(QStringLiteral("Tabrix_Convert_PDF"),
                                      QStringLiteral("Acrobat PDFWriter"), &whyNot);
  }
  static void TearDownTestSuite() { server.reset(); }

  TabrixPrintTest() : globals_(tmp_, QStringLiteral("TkvTabrixPrinting")) {
    TkvRegisterOfficeClasses();
    TkvRegisterConvertor<TkvTabrixPrinting>(QStringLiteral("TkvTabrixPrinting"));
    qputenv("TABRIX_MACHINE_CONFIG_DIR", tmp_.file(QStringLiteral("machine")).toUtf8());
  }
  ~TabrixPrintTest() override { qunsetenv("TABRIX_MACHINE_CONFIG_DIR"); }

  void SetUp() override {
    TABRIX_REQUIRE_OFFICE();
    if (!server) GTEST_SKIP() << "no private CUPS scheduler: " << whyNot.toStdString();
  }

  static inline std::unique_ptr<TkvTestCupsServer> server;
  static inline QString whyNot;
  ScopedTempDir tmp_;
  TestGlobals globals_;
};

TEST_F(TabrixPrintTest, PrintsOneSheetAndEverySheetToTheTargets) {
  TkvBatch batch(*globals_.project);
  for (const char* name : {"in/second.xlsx", "in/each.xlsx"}) {
    const QString path = tmp_.file(QString::fromLatin1(name));
    QDir().mkpath(TkvFolderPart(path));
    ASSERT_TRUE(writeXlsx(path, threeSheets(), 3));
    batch.AddFile(path);
  }
  TkvProject* project = globals_.project.get();
  auto head = TkvConvertor::StartConverters(&batch, tmp_.file(QStringLiteral("out")), {});
  head->SetOnItemStart([project](TkvBatch*, TkvNode* item) {
    project->SetOptionValue(QStringLiteral("Sheet"),
                            item->FileName.endsWith(QLatin1String("each.xlsx")) ? "-1" : "2");
  });
  head->Start();
  head->WaitChain();
  head.reset();

  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(batch.ItemSnapshot(i).Status, TkvNode::Done)
        << batch.ItemSnapshot(i).Result.toStdString();
  // cups-pdf re-renders the job through Ghostscript, which keeps the pages
  // but not the text: sheet 2 has several pages, the other two one each.
  const int secondPages = pdfPageCount(tmp_.file(QStringLiteral("out/second.pdf")));
  EXPECT_GE(secondPages, 5);
  EXPECT_EQ(pdfPageCount(tmp_.file(QStringLiteral("out/each-1.pdf"))), 1);
  EXPECT_EQ(pdfPageCount(tmp_.file(QStringLiteral("out/each-2.pdf"))), secondPages);
  EXPECT_EQ(pdfPageCount(tmp_.file(QStringLiteral("out/each-3.pdf"))), 1);
  EXPECT_FALSE(QFileInfo::exists(tmp_.file(QStringLiteral("out/each.pdf"))));
  EXPECT_TRUE(QDir(server->OutputFolder()).entryList(QDir::Files).isEmpty());  // every job moved
  EXPECT_TRUE(childOffices().isEmpty());
}

}  // namespace
