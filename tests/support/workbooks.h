#pragma once
// Test workbooks made at test time, and PDF inspection through poppler-utils.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace tabrix::test {

struct SheetSpec {
  QString name;
  QString text;  // written in A1, and in column A of every further row; empty: no cell at all
  int rows = 1;  // about 50 rows fill one printed page
  // Columns B.. of every row hold "<column letter><row number>" (Z300);
  // about nine columns fill one portrait A4 page's width.
  int columns = 1;
  bool hidden = false;
  // Written in B1 when set, with `cached` stored as its result.
  QString formula{};
  double cached = 0;
  QString font{};  // the face of the column A cells, when set
  // Page setup when set: the print area ("A1:B3"), rows 1 to titleRows
  // repeated on every page, the page header's text.
  QString printArea{};
  int titleRows = 0;
  QString header{};
};

// Writes an .xlsx workbook with libxlsxwriter; activeSheet counts from 1.
// Returns false (and adds a test failure) when the file cannot be written.
bool writeXlsx(const QString& path, const QList<SheetSpec>& sheets, int activeSheet = 1);

// A sheet of wrapped text in column A (12 characters wide): rows 1, 2 and 5
// store no height ("alpha bravo ... golf hotel", "india juliet ... november",
// "sierra tango ... whiskey xray"), row 3 has a custom height of 100 pt
// ("oscar papa", one line), row 4 is hidden ("quebec romeo"), row 6 is not
// wrapped ("yankee zulu").
bool writeWrappedRows(const QString& path);
// What is wrong in the print of that workbook, empty when nothing is: every
// line of each wrapped row prints below the row above it, the custom row keeps
// its height, the hidden row stays hidden.
QString wrappedRowsFault(const QString& pdf);

// Numbers in the General format: `wide` down column A (30 characters wide),
// `narrow` down column B (the default width).
bool writeNumbers(const QString& path, const QList<double>& wide, const QList<double>& narrow);

// A pivot table as the spreadsheet application stores it: sheet "Pivot"
// holds the rendered cells ("Row Labels", "Sum of Amount"; "East" 889,017,
// "West" 1,025,796, "Grand Total" 1,914,813, the sums formatted #,##0), with
// its pivot table part, pivot cache definition and records over the sheet
// "Data" (Region, Amount).
bool writePivotTable(const QString& path);

// Replaces each match of the regular expression `pattern` (Python's re) in
// the member `member` of a zip file with `replacement`; the other members are
// copied unchanged.
bool rewriteZipMember(const QString& path, const QString& member, const QString& pattern,
                      const QString& replacement);
// Replaces the calcPr element of an .xlsx's xl/workbook.xml with `calcPr`
// (libxlsxwriter writes <calcPr calcId="124519" fullCalcOnLoad="1"/>).
bool setCalcPr(const QString& path, const QString& calcPr);

// Three sheets "Alpha"/"Bravo"/"Charlie" with the texts "Alpha text one",
// "Bravo text two" (about six pages), "Charlie text three"; the third sheet active.
QList<SheetSpec> threeSheets();
// One sheet of about twenty pages.
QList<SheetSpec> twentyPages();

// `text` in UTF-16 after its byte-order mark (little-endian unless `bigEndian`).
QByteArray utf16Text(const QString& text, bool bigEndian = false);

// A small well-formed PDF of `pages` empty A4 pages, for fakes that stand
// in for an office's export.
QByteArray tinyPdf(int pages = 1);
// A PDF of these objects (numbered from 1, the first the catalogue), with its
// cross-reference table and trailer.
QByteArray pdfOfObjects(const QList<QByteArray>& objects);

// pdfinfo's page count, or -1 when the file is not a readable PDF.
int pdfPageCount(const QString& path);
// pdftotext's text of the whole file (empty when unreadable).
QString pdfText(const QString& path);
// The text runs of a PDF (pdftohtml -xml), each with the name of the font
// that draws it ("BAAAAA+Carlito") and its top edge (1.5 pixels a point,
// from the page's top); empty when unreadable.
struct TextRun {
  QString text;
  QString font;
  int top = 0;
};
QList<TextRun> pdfTextRuns(const QString& path);
// pdftotext's text of page `page` (from 1).
QString pdfPageText(const QString& path, int page);
// pdfinfo's report (with `options`, such as "-meta"); empty when unreadable.
QString pdfInfo(const QString& path, const QStringList& options = {});

}  // namespace tabrix::test
