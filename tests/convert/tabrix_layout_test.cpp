// The page layout options and the PDF check of TkvTabrix on a real
// LibreOffice process, in one batch: fit to width, orientation, paper size,
// PDF/A, hidden sheets, faces and scripts, missing glyphs, wrapped rows, a
// bad option value; the pages reported against pdfinfo's, and the sources
// left as they were.

#include "convert/office/office_classes.h"
#include "convert/tabrix.h"
#include "core/path_utils.h"
#include "office_test_env.h"
#include "support/qt_print.h"
#include "support/test_globals.h"
#include "support/workbooks.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace tabrix::test;

namespace {

struct PageSize {
  double width = 0, height = 0;
};

// pdfinfo's size of the first page, in points.
PageSize FirstPageSize(const QString& pdf) {
  const auto m = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts"))
                     .match(pdfInfo(pdf));
  return m.hasMatch() ? PageSize{m.captured(1).toDouble(), m.captured(2).toDouble()} : PageSize{};
}

struct Source {
  QByteArray hash;
  QDateTime modified;
};

Source Snapshot(const QString& path) {
  return {QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256),
          QFileInfo(path).lastModified()};
}

class TabrixLayoutTest : public ::testing::Test {
 protected:
  TabrixLayoutTest() : globals_(tmp_, QStringLiteral("TkvTabrix")) {
    TkvRegisterOfficeClasses();
    TkvRegisterTabrix();
  }
  void SetUp() override {
    TABRIX_REQUIRE_OFFICE();
    officeCacheDir();
  }
  void TearDown() override { EXPECT_TRUE(childOffices().isEmpty()); }

  QString In(const QString& name) const { return tmp_.file(QStringLiteral("in/") + name); }
  QString Out(const QString& name) const { return tmp_.file(QStringLiteral("out/") + name); }

  ScopedTempDir tmp_;
  TestGlobals globals_;
};

TEST_F(TabrixLayoutTest, PageOptionsHiddenSheetsAndCheckedPagesInOneBatch) {
  QDir().mkpath(tmp_.file(QStringLiteral("in")));
  const QList<SheetSpec> wide = {{QStringLiteral("Wide"), QStringLiteral("Wide"), 300, 26}};
  const QList<SheetSpec> small = {{QStringLiteral("Small"), QStringLiteral("Small sheet"), 20, 3}};
  const QList<SheetSpec> hidden = {
      {QStringLiteral("One"), QStringLiteral("Shown one"), 1},
      {QStringLiteral("Two"), QStringLiteral("Hidden two"), 1, 1, true},
      {QStringLiteral("Three"), QStringLiteral("Shown three"), 1}};
  // The hidden sheet with a print area, print titles and a page header of
  // its own, between sheets with print areas of theirs (one page each).
  auto framed = [](const char* name, const char* text, bool hide, int titleRows = 0,
                   const char* header = "") {
    SheetSpec spec{QString::fromUtf8(name), QString::fromUtf8(text), 80, 2, hide};
    spec.printArea = QStringLiteral("A1:B40");
    spec.titleRows = titleRows;
    spec.header = QString::fromUtf8(header);
    return spec;
  };
  const QList<SheetSpec> hiddenAreas = {framed("One", "First", false),
                                        framed("Two", "Hidden", true, 2, "Hidden header"),
                                        framed("Three", "Third", false)};
  // Office faces and scripts, one sheet each: what draws each text is checked.
  auto sheet = [](const char* name, const char* text, const char* font = "") {
    return SheetSpec{QString::fromUtf8(name), QString::fromUtf8(text), 1, 1, false, {}, 0,
                     QString::fromUtf8(font)};
  };
  const QList<SheetSpec> scripts = {sheet("Calibri", "Calibri face", "Calibri"),
                                    sheet("Cambria", "Cambria face", "Cambria"),
                                    sheet("Arial", "Arial face", "Arial"),
                                    sheet("Times", "Times face", "Times New Roman"),
                                    sheet("Courier", "Courier face", "Courier New"),
                                    sheet("CJK", "\u6F22\u5B57\u304B\u306A\uD55C\uAD6D\uC5B4"),
                                    sheet("Thai", "\u0E20\u0E32\u0E29\u0E32\u0E44\u0E17\u0E22"),
                                    sheet("Devanagari", "\u0939\u093F\u0928\u094D\u0926\u0940")};
  // Words that mix fonts, characters that draw no glyph of their own, a
  // Symbol-font bullet: every one drawn, none to warn about.
  const QList<SheetSpec> drawn = {sheet("Mixed",
                                        "Tokyo東京 2024年第1四半期 "
                                        "ПриветWorld abcمرحبا "
                                        "ok😀 café soft­hyphen"),
                                  sheet("Symbol", "· bullet", "Symbol")};
  // Private Use Area characters no installed font has.
  const QList<SheetSpec> pua = {sheet("Private", "Private \U000F0000\U000F0001 use \U000F0000")};
  // Options per item, set as each item starts (they are read at use).
  const QList<std::tuple<QString, QList<SheetSpec>, QString>> cases = {
      {"scripts.xlsx", scripts, "AllSheets=true"},
      {"drawn.xlsx", drawn, "AllSheets=true;MissingGlyphs=fail"},
      {"pua.xlsx", pua, "AllSheets=true"},
      {"pua-fail.xlsx", pua, "AllSheets=true;MissingGlyphs=fail"},
      {"wide-plain.xlsx", wide, "AllSheets=true"},
      {"wide-fit.xlsx", wide, "AllSheets=true;FitWidth=true"},
      {"wide-fit-one.xlsx", wide, "AllSheets=true;FitWidth=true;AllColumns=true"},
      {"landscape.xlsx", small, "AllSheets=true;Orientation=landscape"},
      {"a3.xlsx", small, "AllSheets=true;PaperSize=A3"},
      {"a3-landscape.xlsx", small, "AllSheets=true;PaperSize=a3;Orientation=Landscape"},
      {"pdfa.xlsx", small, "AllSheets=true;PdfA=true"},
      {"sideways.xlsx", small, "AllSheets=true;Orientation=sideways"},
      {"hidden-all.xlsx", hidden, "AllSheets=true"},
      {"hidden-each.xlsx", hidden, "Sheet=-1"},
      {"hidden-areas.xlsx", hiddenAreas, "AllSheets=true"},
      {"hidden-areas-each.xlsx", hiddenAreas, "Sheet=-1"},
  };
  QHash<QString, QString> options;
  QHash<QString, Source> before;
  QStringList files;
  for (const auto& [name, sheets, opts] : cases) {
    ASSERT_TRUE(writeXlsx(In(name), sheets));
    // Older times, so that a write would show in the modification time.
    QFile file(In(name));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                 QFileDevice::FileModificationTime));
    file.close();
    before.insert(name, Snapshot(In(name)));
    options.insert(name, opts);
    files << In(name);
  }
  // A formula the office cannot compute, with 142 stored as its result by an
  // older engine (recalculated under Auto); once with no real result (the
  // workbook asks for a full calculation on load).
  auto unknownFunction = [&](const QString& name, const QString& calcPr) {
    EXPECT_TRUE(writeXlsx(In(name), {{QStringLiteral("S"), QStringLiteral("Stored"), 1, 1, false,
                                      QStringLiteral("=NOSUCHFUNCTION(1)"), 142}}));
    EXPECT_TRUE(setCalcPr(In(name), calcPr));
    files << In(name);
  };
  unknownFunction(QStringLiteral("kept.xlsx"), QStringLiteral("<calcPr calcId=\"124519\"/>"));
  unknownFunction(QStringLiteral("placeholder.xlsx"),
                  QStringLiteral("<calcPr calcId=\"124519\" fullCalcOnLoad=\"1\"/>"));
  // A pivot table, printed on every road as stored.
  ASSERT_TRUE(writePivotTable(In(QStringLiteral("pivot.xlsx"))));
  const Source pivotBefore = Snapshot(In(QStringLiteral("pivot.xlsx")));
  files << In(QStringLiteral("pivot.xlsx"));
  options.insert(QStringLiteral("pivot.xlsx"), QStringLiteral("Sheet=-1"));
  // General numbers in a wide column and in a default one.
  ASSERT_TRUE(writeNumbers(In(QStringLiteral("numbers.xlsx")),
                           {0.7071067811865, 400626533260800, 142, 12345678901, -1.0 / 3},
                           {0.7071067811865}));
  files << In(QStringLiteral("numbers.xlsx"));
  // Wrapped rows the file stores no height for, sized on load.
  ASSERT_TRUE(writeWrappedRows(In(QStringLiteral("wrap.xlsx"))));
  const Source wrapBefore = Snapshot(In(QStringLiteral("wrap.xlsx")));
  files << In(QStringLiteral("wrap.xlsx"));

  TkvProject* project = globals_.project.get();
  TkvBatch batch(*globals_.project);
  for (const QString& f : files) batch.AddFile(f);
  auto head = TkvConvertor::StartConverters(&batch, tmp_.file(QStringLiteral("out")), {});
  head->SetOnItemStart([&](TkvBatch*, TkvNode* item) {
    for (const char* key : {"AllSheets", "Sheet", "AllColumns", "FitWidth", "Orientation",
                            "PaperSize", "PdfA", "MissingGlyphs"})
      project->SetOptionValue(QString::fromLatin1(key), QString());
    for (const QString& pair : options.value(TkvNamePart(item->FileName)).split(u';'))
      project->SetOptionValue(pair.section(u'=', 0, 0), pair.section(u'=', 1));
  });
  head->Start();
  head->WaitChain();

  QHash<QString, TkvNode> items;
  for (int i = 0; i < files.size(); ++i) {
    const TkvNode item = batch.ItemSnapshot(i);
    items.insert(TkvNamePart(item.FileName), item);
    const bool bad = item.FileName.endsWith(QLatin1String("pua-fail.xlsx"));
    EXPECT_EQ(item.Status, bad ? TkvNode::Failed : TkvNode::Done)
        << item.FileName.toStdString() << ": " << item.Result.toStdString();
    if (bad) continue;
    // Pages reported are pdfinfo's pages of the files reported.
    int pages = 0;
    for (const QString& pdf : item.Files) pages += pdfPageCount(pdf);
    EXPECT_FALSE(item.Files.isEmpty()) << item.FileName.toStdString();
    EXPECT_EQ(item.Pages, pages) << item.FileName.toStdString();
  }

  // Fit to width: several pages, each with the first and the last column.
  const QString fit = Out("wide-fit.pdf");
  const int fitPages = pdfPageCount(fit);
  EXPECT_GE(fitPages, 2);
  for (int page = 1; page <= fitPages; ++page) {
    const QString text = pdfPageText(fit, page);
    EXPECT_TRUE(text.contains(QLatin1String("Wide row"))) << "page " << page;
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\bZ\\d+\\b"))))
        << "page " << page;
  }
  EXPECT_EQ(items.value("wide-fit.xlsx").Files, QStringList{fit});
  // Without it the columns are cut across pages; AllColumns puts all on one.
  EXPECT_GT(pdfPageCount(Out("wide-plain.pdf")), fitPages);
  EXPECT_FALSE(pdfPageText(Out("wide-plain.pdf"), 1)
                   .contains(QRegularExpression(QStringLiteral("\\bZ\\d+\\b"))));
  EXPECT_EQ(pdfPageCount(Out("wide-fit-one.pdf")), 1);

  // Orientation and paper size.
  const PageSize portrait = FirstPageSize(Out("pdfa.pdf"));
  EXPECT_GT(portrait.height, portrait.width);
  const PageSize landscape = FirstPageSize(Out("landscape.pdf"));
  EXPECT_GT(landscape.width, landscape.height);
  EXPECT_NEAR(landscape.width, portrait.height, 1);
  const PageSize a3 = FirstPageSize(Out("a3.pdf"));
  EXPECT_NEAR(a3.width, 842, 1);
  EXPECT_NEAR(a3.height, 1191, 1);
  const PageSize a3Landscape = FirstPageSize(Out("a3-landscape.pdf"));
  EXPECT_NEAR(a3Landscape.width, 1191, 1);
  EXPECT_NEAR(a3Landscape.height, 842, 1);

  // PDF/A-2b declared in the metadata; plain output declares none.
  const QString meta = pdfInfo(Out("pdfa.pdf"), {QStringLiteral("-meta")});
  EXPECT_TRUE(meta.contains(QRegularExpression(QStringLiteral("pdfaid:part(>|=\")2"))))
      << meta.toStdString();
  EXPECT_TRUE(meta.contains(QRegularExpression(QStringLiteral("pdfaid:conformance(>|=\")B"))))
      << meta.toStdString();
  EXPECT_FALSE(pdfInfo(Out("a3.pdf"), {QStringLiteral("-meta")}).contains(QLatin1String("pdfaid")));

  // A value none of the choices: each sheet keeps its own, as its warning says.
  const PageSize sideways = FirstPageSize(Out("sideways.pdf"));
  EXPECT_NEAR(sideways.width, portrait.width, 1);
  EXPECT_NEAR(sideways.height, portrait.height, 1);

  // Hidden sheets: left out of the workbook; never exported in another's place.
  const QString all = pdfText(Out("hidden-all.pdf"));
  EXPECT_TRUE(all.contains(QLatin1String("Shown one")) &&
              all.contains(QLatin1String("Shown three")));
  EXPECT_FALSE(all.contains(QLatin1String("Hidden two")));
  EXPECT_EQ(items.value("hidden-each.xlsx").Files,
            (QStringList{Out("hidden-each-1.pdf"), Out("hidden-each-3.pdf")}));
  EXPECT_TRUE(pdfText(Out("hidden-each-1.pdf")).contains(QLatin1String("Shown one")));
  EXPECT_FALSE(QFileInfo::exists(Out("hidden-each-2.pdf")));
  EXPECT_TRUE(pdfText(Out("hidden-each-3.pdf")).contains(QLatin1String("Shown three")));
  // Whatever its print area, titles or page style say; the print areas
  // around it print as they did.
  const QString areas = pdfText(Out("hidden-areas.pdf"));
  EXPECT_EQ(pdfPageCount(Out("hidden-areas.pdf")), 2);
  EXPECT_TRUE(pdfPageText(Out("hidden-areas.pdf"), 1).contains(QLatin1String("First")));
  EXPECT_TRUE(pdfPageText(Out("hidden-areas.pdf"), 2).contains(QLatin1String("Third")));
  EXPECT_EQ(areas.count(QLatin1String("B40")), 2);  // each print area's last row, no further
  EXPECT_FALSE(areas.contains(QLatin1String("B41")));
  EXPECT_FALSE(areas.contains(QLatin1String("Hidden"))) << areas.toStdString();
  EXPECT_EQ(items.value("hidden-areas-each.xlsx").Files,
            (QStringList{Out("hidden-areas-each-1.pdf"), Out("hidden-areas-each-3.pdf")}));

  // Each text drawn by a face that has its glyphs: the metric-compatible twin
  // of each Office face, Noto for the scripts.
  const QList<TextRun> runs = pdfTextRuns(Out("scripts.pdf"));
  const QList<std::pair<const char*, const char*>> drawnBy = {
      {"Calibri face", "+Carlito"},           {"Cambria face", "+Caladea"},
      {"Arial face", "+LiberationSans"},      {"Times face", "+LiberationSerif"},
      {"Courier face", "+LiberationMono"},    {"\u6F22\u5B57\u304B\u306A", "+NotoSansCJK"},
      {"\uD55C\uAD6D\uC5B4", "+NotoSansCJK"}, {"\u0E20\u0E32", "+NotoSansThai"},
      {"\u0939\u093F", "+NotoSansDevanagari"}};
  for (const auto& [text, font] : drawnBy) {
    const QString wanted = QString::fromUtf8(text).remove(u' ');
    QStringList fonts;
    for (const TextRun& run : runs)
      if (QString(run.text).remove(u' ').contains(wanted))
        fonts << run.font;  // shaped scripts break
    EXPECT_FALSE(fonts.isEmpty()) << text;
    for (const QString& f : fonts)
      EXPECT_TRUE(f.contains(QLatin1String(font))) << text << ": " << f.toStdString();
  }

  // Characters without a glyph: a warning naming them, or with Fail a failed
  // item and no PDF; none where a font has the glyphs.
  const QStringList warnings = items.value("pua.xlsx").Warnings;
  ASSERT_EQ(warnings.size(), 1);
  EXPECT_TRUE(warnings[0].startsWith(QLatin1String("3 characters print as empty boxes")))
      << warnings[0].toStdString();
  EXPECT_TRUE(warnings[0].contains(QLatin1String("U+F0000")) &&
              warnings[0].contains(QLatin1String("U+F0001")))
      << warnings[0].toStdString();
  EXPECT_TRUE(items.value("pua-fail.xlsx").Result.contains(QLatin1String("empty boxes")));
  EXPECT_FALSE(QFileInfo::exists(Out("pua-fail.pdf")));
  for (const char* name : {"scripts.xlsx", "drawn.xlsx", "wide-plain.xlsx", "pdfa.xlsx"})
    EXPECT_TRUE(items.value(name).Warnings.isEmpty())
        << name << ": " << items.value(name).Warnings.join(u'|').toStdString();

  EXPECT_EQ(wrappedRowsFault(Out("wrap.pdf")), QString());

  // The pivot table's captions and formatted sums as the application
  // rendered them, not as the office would rebuild them.
  const QString pivot = pdfText(Out("pivot-1.pdf"));
  for (const char* shown :
       {"Row Labels", "Sum of Amount", "889,017", "1,025,796", "Grand Total", "1,914,813"})
    EXPECT_TRUE(pivot.contains(QLatin1String(shown))) << shown << ": " << pivot.toStdString();
  EXPECT_FALSE(pivot.contains(QLatin1String("Total Result"))) << pivot.toStdString();
  EXPECT_EQ(Snapshot(In(QStringLiteral("pivot.xlsx"))).hash, pivotBefore.hash);

  // General numbers: at most 11 characters where the column has room,
  // shrunk to the column where it has not, as the application shows them.
  const QStringList numbers =
      pdfText(Out("numbers.pdf")).split(QRegularExpression(QStringLiteral("\\s+")));
  for (const char* shown : {"0.707106781", "4.00627E+14", "142", "12345678901", "-0.333333333"})
    EXPECT_TRUE(numbers.contains(QLatin1String(shown)))
        << shown << ": " << numbers.join(u' ').toStdString();
  EXPECT_TRUE(numbers.contains(QLatin1String("0.707107"))) << numbers.join(u' ').toStdString();

  // The stored result prints where the office cannot compute the formula,
  // and the item says so; a placeholder is no result: the error prints.
  EXPECT_EQ(items.value("kept.xlsx").Warnings,
            QStringList{QStringLiteral("The office could not compute 1 formula that the workbook "
                                       "holds results for; they print the stored results: S!B1: "
                                       "#NAME?, kept the stored 142")});
  EXPECT_TRUE(pdfText(Out("kept.pdf")).contains(QLatin1String("142")));
  EXPECT_FALSE(pdfText(Out("kept.pdf")).contains(QLatin1String("#NAME?")));
  EXPECT_EQ(items.value("placeholder.xlsx").Warnings,
            QStringList{QStringLiteral(
                "The office could not compute 1 formula and the workbook stores no result to keep "
                "(it asks to be recalculated when opened): S!B1: #NAME?")});
  EXPECT_TRUE(pdfText(Out("placeholder.pdf")).contains(QLatin1String("#NAME?")));

  // The page settings and row heights changed only the loaded copies.
  for (const auto& [name, sheets, opts] : cases) {
    const Source after = Snapshot(In(name));
    EXPECT_EQ(after.hash, before.value(name).hash) << name.toStdString();
    EXPECT_EQ(after.modified, before.value(name).modified) << name.toStdString();
  }
  EXPECT_EQ(Snapshot(In(QStringLiteral("wrap.xlsx"))).hash, wrapBefore.hash);
  EXPECT_EQ(Snapshot(In(QStringLiteral("wrap.xlsx"))).modified, wrapBefore.modified);
}

}  // namespace
