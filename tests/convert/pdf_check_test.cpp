// The check of written PDFs on real files: what passes, what fails and how
// the failure names the file.

#include "convert/pdf_check.h"
#include "core/error.h"
#include "support/scoped_temp_dir.h"
#include "support/workbooks.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tabrix::test;

namespace {

QString CheckError(const QString& path) {
  try {
    TkvCheckPdf(path);
  } catch (const TkvError& e) {
    return e.Message();
  }
  return {};
}

TEST(PdfCheck, CountsPagesAndRefusesWhatIsNoPdf) {
  ScopedTempDir tmp;
  EXPECT_EQ(TkvCheckPdf(tmp.write(QStringLiteral("one.pdf"), tinyPdf(1))), 1);
  EXPECT_EQ(TkvCheckPdf(tmp.write(QStringLiteral("seven.pdf"), tinyPdf(7))), 7);

  const QString missing = tmp.file(QStringLiteral("missing.pdf"));
  EXPECT_EQ(CheckError(missing), QStringLiteral("The PDF file %1 was not written").arg(missing));
  const QString empty = tmp.write(QStringLiteral("empty.pdf"), QByteArray());
  EXPECT_EQ(CheckError(empty), QStringLiteral("The PDF file %1 is empty").arg(empty));
  const QString text = tmp.write(QStringLiteral("text.pdf"), "%PDF-1.4\nthis is no PDF at all\n");
  EXPECT_EQ(CheckError(text), QStringLiteral("The file %1 is not a readable PDF").arg(text));
  const QString cut = tmp.write(QStringLiteral("cut.pdf"), tinyPdf(2).left(40));
  EXPECT_FALSE(CheckError(cut).isEmpty());
  const QString none = tmp.write(QStringLiteral("none.pdf"), tinyPdf(0));
  EXPECT_EQ(CheckError(none), QStringLiteral("The PDF file %1 has no pages").arg(none));
  EXPECT_FALSE(CheckError(tmp.path()).isEmpty());  // a folder

  // Files staged, checked and put in place together; an old file under a
  // final name stays whole until then, and stays when a check fails.
  const QString a = tmp.write(QStringLiteral("out/a.pdf"), "old a");
  const QString b = tmp.file(QStringLiteral("out/b.pdf"));
  auto entries = [&] {
    return QDir(tmp.file(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden);
  };
  TkvPdfOutputs outputs;
  tmp.write(QStringLiteral("out/") + QFileInfo(outputs.Stage(a)).fileName(), tinyPdf(1));
  outputs.Check();
  tmp.write(QStringLiteral("out/") + QFileInfo(outputs.Stage(b)).fileName(), tinyPdf(7));
  outputs.Check();
  EXPECT_EQ(readFile(a), "old a");
  outputs.Commit();
  EXPECT_EQ(outputs.Files(), (QStringList{a, b}));
  EXPECT_EQ(outputs.Pages(), 8);
  EXPECT_EQ(TkvCheckPdf(a), 1);
  EXPECT_EQ(entries(), (QStringList{QStringLiteral("a.pdf"), QStringLiteral("b.pdf")}));

  outputs.Clear();
  EXPECT_TRUE(outputs.Files().isEmpty());
  EXPECT_EQ(outputs.Pages(), 0);
  tmp.write(QStringLiteral("out/") + QFileInfo(outputs.Stage(a)).fileName(), "%PDF-1.4 broken");
  try {
    outputs.Check();
    ADD_FAILURE() << "a broken PDF passed";
  } catch (const TkvError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("The file %1 is not a readable PDF").arg(a));
  }
  outputs.Stage(b);  // never written: removed with the object
  tmp.write(QStringLiteral("out/") + QFileInfo(outputs.Stage(b)).fileName(), tinyPdf(2));
  outputs.Clear();
  EXPECT_EQ(entries(), (QStringList{QStringLiteral("a.pdf"), QStringLiteral("b.pdf")}));
  EXPECT_EQ(TkvCheckPdf(a), 1);
  EXPECT_EQ(TkvCheckPdf(b), 7);
}

}  // namespace
