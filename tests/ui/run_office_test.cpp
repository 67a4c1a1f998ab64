// The window converting a real workbook with the product's converter
// (LibreOffice behind it) and finding a real PDF.

#include "convert/office/office_classes.h"
#include "convert/tabrix.h"
#include "run_support.h"
#include "support/workbooks.h"
#include "ui/result_list.h"
#include "window_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

using namespace tabrix::test;

TEST_F(WindowTest, ConvertsARealWorkbookWithTheOfficeConverter) {
  if (!QFileInfo::exists(QStringLiteral("/usr/lib/libreoffice/program/soffice.bin")))
    GTEST_SKIP() << "LibreOffice is not installed";
  // Office profiles go to a folder of this test, not the user's.
  qputenv("XDG_CACHE_HOME", temp.file("cache").toUtf8());
  TkvRegisterOfficeClasses();
  TkvRegisterTabrix();
  QDir().mkpath(temp.file("in"));
  ASSERT_TRUE(writeXlsx(temp.file("in/book.xlsx"), threeSheets()));

  TkvFrmMain& w = Window();
  UseConvertor(*project, "TkvTabrix");
  w.eSource->setText(temp.file("in/*.xls?"));
  w.eTarget->setText(temp.file("out"));
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  ASSERT_TRUE(w.RunInProgress());
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }, 240000));

  ASSERT_EQ(w.lViewer->RowCount(), 1);
  EXPECT_EQ(w.lViewer->RowStatus(0), 1) << w.lViewer->topLevelItem(0)->text(2).toStdString();
  const QString pdf = temp.file("out/book.pdf");
  EXPECT_EQ(w.lViewer->topLevelItem(0)->text(2), pdf);
  EXPECT_GT(pdfPageCount(pdf), 0);
  const QString text = pdfText(pdf);
  EXPECT_TRUE(text.contains("Alpha text one") || text.contains("Charlie text three"))
      << text.left(200).toStdString();
}
