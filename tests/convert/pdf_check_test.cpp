// The check of written PDFs on real files: what passes, what fails and how
// the failure names the file.

#include "convert/pdf_check.h"
#include "core/error.h"
#include "support/scoped_temp_dir.h"
#include "support/workbooks.h"

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

  TkvPdfOutputs outputs;
  outputs.Add(tmp.file(QStringLiteral("one.pdf")));
  outputs.Add(tmp.file(QStringLiteral("seven.pdf")));
  EXPECT_THROW(outputs.Add(empty), TkvError);
  EXPECT_EQ(outputs.Files().size(), 2);
  EXPECT_EQ(outputs.Pages(), 8);
  outputs.Clear();
  EXPECT_TRUE(outputs.Files().isEmpty());
  EXPECT_EQ(outputs.Pages(), 0);
}

}  // namespace
