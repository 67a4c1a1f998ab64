// What is read from an OOXML package before the office loads it: calcPr for
// the recalculation rule, the rows that store a height, and the zip reader
// under them; damaged or hostile files must give "no answer", never a crash,
// a hang or a large allocation, and Zip64 packages are read like others.

#include "convert/office/recalculation.h"
#include "convert/office/general_number.h"
#include "convert/office/ooxml_parts.h"
#include "convert/office/stored_cells.h"
#include "convert/office/zip_package.h"
#include "support/scoped_temp_dir.h"
#include "support/workbooks.h"
#include "support/zip_files.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

using namespace tabrix::test;

namespace {

class RecalculationTest : public ::testing::Test {
 protected:
  QString Book(const QString& name, const QString& calcPr = {}) {
    const QString path = dir_.file(name);
    EXPECT_TRUE(writeXlsx(path, {{QStringLiteral("S"), QStringLiteral("x"), 1}}));
    if (!calcPr.isNull()) {
      EXPECT_TRUE(setCalcPr(path, calcPr));
    }
    return path;
  }
  ScopedTempDir dir_;
};

TEST_F(RecalculationTest, AutoFollowsTheWorkbooksCalcSettings) {
  const QString generated = Book(QStringLiteral("generated.xlsx"));  // fullCalcOnLoad="1"
  const QString old =
      Book(QStringLiteral("old.xlsx"), QStringLiteral("<calcPr calcId=\"124519\"/>"));
  const QString none = Book(QStringLiteral("none.xlsx"), QStringLiteral(""));
  const QString current =
      Book(QStringLiteral("current.xlsx"), QStringLiteral("<calcPr calcId=\"191029\"/>"));
  const QString legacy = dir_.write(QStringLiteral("legacy.xls"),
                                    QByteArray::fromHex("d0cf11e0a1b11ae1") + QByteArray(512, 0));

  TkvStoredCalc stored;
  ASSERT_TRUE(TkvReadStoredCalc(TkvZipPackage(generated), &stored));
  EXPECT_TRUE(stored.fullCalcOnLoad);
  ASSERT_TRUE(TkvReadStoredCalc(TkvZipPackage(current), &stored));
  EXPECT_FALSE(stored.fullCalcOnLoad);
  EXPECT_EQ(stored.calcId, 191029);

  for (const QString& due : {generated, old, none})
    EXPECT_TRUE(TkvRecalcDue(TkvRecalc::Auto, due)) << due.toStdString();
  for (const QString& kept : {current, legacy, QString(), dir_.file(QStringLiteral("missing"))})
    EXPECT_FALSE(TkvRecalcDue(TkvRecalc::Auto, kept)) << kept.toStdString();
  EXPECT_TRUE(TkvRecalcDue(TkvRecalc::Always, current));
  EXPECT_TRUE(TkvRecalcDue(TkvRecalc::Always, legacy));
  EXPECT_FALSE(TkvRecalcDue(TkvRecalc::Never, generated));

  TkvRecalc mode = TkvRecalc::Never;
  EXPECT_TRUE(TkvParseRecalc(QStringLiteral(" always "), &mode));
  EXPECT_EQ(mode, TkvRecalc::Always);
  EXPECT_FALSE(TkvParseRecalc(QStringLiteral("sometimes"), &mode));
  EXPECT_FALSE(TkvParseRecalc(QString(), &mode));
}

TEST_F(RecalculationTest, StoredFormulaResultsOfTheWantedCellsOnly) {
  // As the application writes them: numbers, text, truth values, errors,
  // no result, a prefixed element, a row and a cell without a reference.
  const QByteArray part =
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
      "<row r=\"7\"><c r=\"C7\"><f>X()</f><v>142</v></c><c r=\"D7\" t=\"str\"><f>Y()</f>"
      "<v>Test A1</v></c><c r=\"E7\" t=\"b\"><f>Z()</f><v>1</v></c><c r=\"F7\" t=\"e\">"
      "<f>1/0</f><v>#DIV/0!</v></c><c r=\"G7\"><f>W()</f></c><c><f>V()</f><v>0</v></c></row>"
      "<row><x:c r=\"AA8\" xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<x:v>2.5</x:v></x:c></row></sheetData></worksheet>";
  auto key = [](int row, int column) { return TkvCellRef{row, column}.Key(); };
  const QSet<quint64> wanted = {key(6, 2), key(6, 3), key(6, 4),  key(6, 5),
                                key(6, 6), key(6, 7), key(7, 26), key(9, 0)};
  const auto cells = TkvScanStoredCells(part, wanted);
  ASSERT_TRUE(cells);
  EXPECT_EQ(cells->size(), 7);  // A10 is not in the part
  using Kind = TkvStoredCell::Kind;
  EXPECT_EQ(cells->value(key(6, 2)).kind, Kind::Number);
  EXPECT_EQ(cells->value(key(6, 2)).number, 142);
  EXPECT_EQ(cells->value(key(6, 3)).kind, Kind::Text);
  EXPECT_EQ(cells->value(key(6, 3)).text, QStringLiteral("Test A1"));
  EXPECT_EQ(cells->value(key(6, 4)).kind, Kind::Boolean);
  EXPECT_EQ(cells->value(key(6, 5)).kind, Kind::Error);
  EXPECT_TRUE(cells->value(key(6, 6)).Placeholder());  // no result
  EXPECT_TRUE(cells->value(key(6, 7)).Placeholder());  // H7, a stored 0
  EXPECT_FALSE(cells->value(key(6, 2)).Placeholder());
  EXPECT_EQ(cells->value(key(7, 26)).number, 2.5);
  EXPECT_EQ((TkvCellRef{6, 2}.Name()), QStringLiteral("C7"));
  EXPECT_EQ((TkvCellRef{7, 26}.Name()), QStringLiteral("AA8"));
  EXPECT_EQ((TkvCellRef{0, 16383}.Name()), QStringLiteral("XFD1"));

  // Every truncation: no answer, or the cells read up to the cut.
  for (qsizetype size = 0; size < part.size(); ++size) {
    const auto cut = TkvScanStoredCells(part.left(size), wanted);
    if (cut) {
      EXPECT_LE(cut->size(), 7);
    }
  }
  const TkvZipPackage package(Book(QStringLiteral("b.xlsx")));
  EXPECT_FALSE(TkvReadStoredCells(package, QStringLiteral("xl/worksheets/sheet9.xml"), wanted));
}

TEST(GeneralNumber, ElevenCharactersRoundedOrScientific) {
  const QList<std::pair<double, const char*>> cases = {{0.7071067811865, "0.707106781"},
                                                       {400626533260800, "4.00627E+14"},
                                                       {142, "142"},
                                                       {12345678901, "12345678901"},
                                                       {123456789012, "1.23457E+11"},
                                                       {99999999999.6, "1E+11"},
                                                       {0.0001, "0.0001"},
                                                       {0.000123456789, "0.000123457"},
                                                       {0.00001, "1E-05"},
                                                       {-1.0 / 3, "-0.333333333"},
                                                       {1234.5678901234, "1234.56789"},
                                                       {0, "0"},
                                                       {1e100, "1E+100"},
                                                       {1.23456789e-100, "1.2346E-100"}};
  for (const auto& [value, text] : cases)
    EXPECT_EQ(TkvGeneralNumberText(value), QLatin1String(text)) << value;
  EXPECT_EQ(TkvNumberFormatFor(QStringLiteral("0.707106781")), QStringLiteral("0.000000000"));
  EXPECT_EQ(TkvNumberFormatFor(QStringLiteral("4.00627E+14")), QStringLiteral("0.00000E+00"));
  EXPECT_EQ(TkvNumberFormatFor(QStringLiteral("1E-05")), QStringLiteral("0E+00"));
  EXPECT_EQ(TkvNumberFormatFor(QStringLiteral("-12")), QStringLiteral("0"));
}

// The stored rows of a one-sheet package, read as the load reads them.
std::optional<TkvStoredRows> OnlySheetRows(const QString& path) {
  const TkvZipPackage package(path);
  const auto parts = TkvOoxmlSheetParts(package);
  if (!parts || parts->size() != 1) return std::nullopt;
  return TkvReadStoredRows(package, parts->front());
}

TEST_F(RecalculationTest, StoredRowHeightsAsOtherWritersWriteThem) {
  const QString path = dir_.file(QStringLiteral("wrap.xlsx"));
  ASSERT_TRUE(writeWrappedRows(path));
  EXPECT_EQ(TkvOoxmlSheetParts(TkvZipPackage(path)),
            std::vector<QString>{"xl/worksheets/sheet1.xml"});
  auto stored = OnlySheetRows(path);
  ASSERT_TRUE(stored);
  EXPECT_FALSE(stored->all);
  EXPECT_EQ(stored->rows, std::vector<int>{2});  // the hidden row stores none
  EXPECT_TRUE(TkvOoxmlMayWrapText(TkvZipPackage(path)));
  EXPECT_FALSE(TkvOoxmlMayWrapText(TkvZipPackage(Book(QStringLiteral("plain.xlsx")))));

  // Prefixed elements, rows without `r` (the next index), an absolute target.
  const QString sheet = QStringLiteral("xl/worksheets/sheet1.xml");
  ASSERT_TRUE(
      rewriteZipMember(path, sheet, QStringLiteral("<row r=\"[35]\""), QStringLiteral("<x:row")));
  ASSERT_TRUE(rewriteZipMember(path, sheet, QStringLiteral("<row r=\"6\""),
                               QStringLiteral("<x:row ht=\"20\"")));
  ASSERT_TRUE(rewriteZipMember(path, QStringLiteral("xl/_rels/workbook.xml.rels"),
                               QStringLiteral("Target=\"worksheets/"),
                               QStringLiteral("Target=\"/xl/worksheets/")));
  stored = OnlySheetRows(path);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->rows, (std::vector<int>{2, 5}));

  // A custom default height stores every row's.
  ASSERT_TRUE(rewriteZipMember(path, sheet, QStringLiteral("<sheetFormatPr "),
                               QStringLiteral("<sheetFormatPr customHeight=\"1\" ")));
  stored = OnlySheetRows(path);
  ASSERT_TRUE(stored);
  EXPECT_TRUE(stored->all);

  // Every truncation and random changes of a sheet part: rows that ascend, or no answer.
  const auto part = TkvZipPackage(path).Read(sheet, 1 << 20);
  ASSERT_TRUE(part);
  // Markup the scan passes over: a '>' in a value, rows in a comment and in CDATA.
  EXPECT_EQ(TkvScanStoredRows("<?xml version=\"1.0\"?><!-- <row r=\"9\" ht=\"1\"> -->"
                              "<row r=\"2\" spans=\"a>b\" ht=\"3\"><![CDATA[<row r=\"1\">]]>"
                              "</row><x:row r='4' ht = '5'/>")
                ->rows,
            (std::vector<int>{1, 3}));
  auto sane = [](const QByteArray& bytes) {
    const auto rows = TkvScanStoredRows(bytes);
    if (rows) {
      EXPECT_TRUE(std::is_sorted(rows->rows.begin(), rows->rows.end()));
    }
  };
  for (qsizetype size = 0; size <= part->size(); ++size) sane(part->left(size));
  QRandomGenerator random(4);
  for (int round = 0; round < 2000; ++round) {
    QByteArray changed = *part;
    for (int i = 0; i < 3; ++i)
      changed[random.bounded(static_cast<int>(changed.size()))] = "<>=\"' :r0"[random.bounded(10)];
    sane(changed);
  }

  // Rows out of order, or a sheet part that is missing: no answer.
  ASSERT_TRUE(rewriteZipMember(path, sheet, QStringLiteral("<row r=\"4\""),
                               QStringLiteral("<row r=\"1\"")));
  EXPECT_FALSE(OnlySheetRows(path));
  EXPECT_FALSE(TkvReadStoredRows(TkvZipPackage(path), QStringLiteral("xl/worksheets/sheet9.xml")));
  const QString legacy = dir_.write(QStringLiteral("legacy.xls"),
                                    QByteArray::fromHex("d0cf11e0a1b11ae1") + QByteArray(512, 0));
  EXPECT_FALSE(TkvOoxmlSheetParts(TkvZipPackage(legacy)));
}

TEST_F(RecalculationTest, ZipReaderGivesNoAnswerForDamagedFiles) {
  const QString book = Book(QStringLiteral("book.xlsx"));
  const QByteArray bytes = readFile(book);
  ASSERT_GT(bytes.size(), 1000);
  const auto workbook = TkvZipPackage(book).Read(QStringLiteral("xl/workbook.xml"), 1 << 20);
  ASSERT_TRUE(workbook);
  const auto rows = OnlySheetRows(book);
  ASSERT_TRUE(rows);
  EXPECT_TRUE(workbook->contains("<calcPr"));
  EXPECT_FALSE(TkvZipPackage(book).Read(QStringLiteral("xl/workbook.xml"), 10));  // over the limit
  EXPECT_FALSE(TkvZipPackage(book).Read(QStringLiteral("xl/nothing.xml"), 1 << 20));

  // Every truncation, and bytes changed at random: an answer is the true part or none.
  const QString damaged = dir_.file(QStringLiteral("damaged.xlsx"));
  auto check = [&](const QByteArray& content) {
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    const TkvZipPackage package(damaged);
    const auto part = package.Read(QStringLiteral("xl/workbook.xml"), 1 << 20);
    if (part) {
      EXPECT_EQ(*part, *workbook);
    }
    TkvStoredCalc stored;
    TkvReadStoredCalc(package, &stored);
    const auto storedRows = OnlySheetRows(damaged);
    if (storedRows) {
      EXPECT_EQ(storedRows->rows, rows->rows);
    }
  };
  for (qsizetype size = 0; size < bytes.size(); size += 7) check(bytes.left(size));
  QRandomGenerator random(22);
  for (int round = 0; round < 300; ++round) {
    QByteArray changed = bytes;
    for (int i = 0; i < 4; ++i)
      changed[random.bounded(static_cast<int>(changed.size()))] = char(random.bounded(256));
    check(changed);
  }
  // A directory that claims more than the file holds.
  QByteArray huge = bytes;
  const qsizetype end = huge.lastIndexOf(QByteArray("PK\x05\x06", 4));
  ASSERT_GT(end, 0);
  for (int i = 12; i < 16; ++i) huge[end + i] = char(0x7f);
  check(huge);
}

// The peak resident memory this process reaches while `work` runs, above
// what it held before, in MiB (the peak is reset first).
qint64 PeakGrowthMiB(const std::function<void()>& work) {
  auto status = [](const char* key) {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly)) return qint64(-1);
    for (const QByteArray& line : file.readAll().split('\n'))
      if (line.startsWith(key))
        return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ')[0].toLongLong();
    return qint64(-1);
  };
  QFile reset(QStringLiteral("/proc/self/clear_refs"));
  EXPECT_TRUE(reset.open(QIODevice::WriteOnly) && reset.write("5") == 1);
  reset.close();
  const qint64 before = status("VmRSS:");
  work();
  return (status("VmHWM:") - before) / 1024;
}

// A Zip64 package (more than 65535 members) is read like any other.
TEST_F(RecalculationTest, Zip64PackagesGetRecalculationAndRowSizing) {
  const QString plain = dir_.file(QStringLiteral("wrap.xlsx"));
  ASSERT_TRUE(writeWrappedRows(plain));
  const QString zip64 = dir_.file(QStringLiteral("zip64.xlsx"));
  ASSERT_TRUE(writeZip(zip64, readZip(plain), 65536));
  ASSERT_TRUE(isZip64(zip64));
  const TkvZipPackage package(zip64);
  EXPECT_TRUE(TkvRecalcDue(TkvRecalc::Auto, &package));  // libxlsxwriter's fullCalcOnLoad
  EXPECT_TRUE(TkvOoxmlMayWrapText(package));
  const auto stored = OnlySheetRows(zip64);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->rows, std::vector<int>{2});
}

// Parts that inflate to hundreds of megabytes are read through a fixed
// buffer: the answer is the true one, and memory grows by little.
TEST_F(RecalculationTest, HugePartsAreReadInBoundedMemory) {
  const QString plain = dir_.file(QStringLiteral("wrap.xlsx"));
  ASSERT_TRUE(writeWrappedRows(plain));
  QList<ZipMember> members = readZip(plain);
  ASSERT_FALSE(members.isEmpty());
  for (ZipMember& m : members) {
    if (m.name == QLatin1String("xl/worksheets/sheet1.xml")) {
      // 200 MiB of cells in row 1, then row 3 with a height.
      m.head = m.head.left(m.head.indexOf("<sheetData>")) + "<sheetData><row r=\"1\" ht=\"20\">";
      m.body = "<c t=\"n\"><v>1</v></c>";
      m.repeat = (qint64(200) << 20) / m.body.size();
      m.tail = "</row><row r=\"3\" ht=\"30\"><c/></row></sheetData></worksheet>";
    } else if (m.name == QLatin1String("xl/styles.xml")) {
      // 40 MiB of cell formats before the one that wraps.
      const qsizetype xfs = m.head.indexOf("<cellXfs");
      m.tail = m.head.mid(xfs);
      m.head = m.head.left(xfs) + "<dxfs>";
      m.body = "<dxf><font><b/></font></dxf>";
      m.repeat = (qint64(40) << 20) / m.body.size();
      m.tail.prepend("</dxfs>");
    }
  }
  const QString bomb = dir_.file(QStringLiteral("bomb.xlsx"));
  ASSERT_TRUE(writeZip(bomb, members));
  EXPECT_LT(QFileInfo(bomb).size(), qint64(4) << 20);
  std::optional<TkvStoredRows> stored;
  bool wraps = false;
  const qint64 growth = PeakGrowthMiB([&] {
    const TkvZipPackage package(bomb);
    wraps = TkvOoxmlMayWrapText(package);
    stored = TkvReadStoredRows(package, QStringLiteral("xl/worksheets/sheet1.xml"));
  });
  EXPECT_TRUE(wraps);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->rows, (std::vector<int>{0, 2}));
  // The buffers are tens of kilobytes; 16 MiB leaves room for the allocator.
  EXPECT_LT(growth, 16) << growth << " MiB";
}

}  // namespace
