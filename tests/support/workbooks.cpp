#include "support/workbooks.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <xlsxwriter.h>

namespace tabrix::test {

bool writeXlsx(const QString& path, const QList<SheetSpec>& sheets, int activeSheet) {
  lxw_workbook* workbook = workbook_new(QFile::encodeName(path).constData());
  if (!workbook) {
    ADD_FAILURE() << "cannot create " << path.toStdString();
    return false;
  }
  for (int i = 0; i < sheets.size(); ++i) {
    const SheetSpec& spec = sheets[i];
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, spec.name.toUtf8().constData());
    const QByteArray text = spec.text.toUtf8();
    lxw_format* face = nullptr;
    if (!spec.font.isEmpty()) {
      face = workbook_add_format(workbook);
      format_set_font_name(face, spec.font.toUtf8().constData());
    }
    for (int row = 0; !text.isEmpty() && row < std::max(1, spec.rows); ++row) {
      worksheet_write_string(sheet, static_cast<lxw_row_t>(row), 0,
                             row == 0
                                 ? text.constData()
                                 : QByteArray(text + " row " + QByteArray::number(row)).constData(),
                             face);
      for (int column = 1; column < std::min(spec.columns, 26); ++column)
        worksheet_write_string(
            sheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(column),
            (QByteArray(1, char('A' + column)) + QByteArray::number(row + 1)).constData(), nullptr);
    }
    if (!spec.formula.isEmpty())
      worksheet_write_formula_num(sheet, 0, 1, spec.formula.toUtf8().constData(), nullptr,
                                  spec.cached);
    if (!spec.printArea.isEmpty()) {
      const QByteArray area = spec.printArea.toLatin1();
      worksheet_print_area(sheet, RANGE(area.constData()));
    }
    if (spec.titleRows > 0)
      worksheet_repeat_rows(sheet, 0, static_cast<lxw_row_t>(spec.titleRows - 1));
    if (!spec.header.isEmpty())
      worksheet_set_header(sheet, QByteArray("&C" + spec.header.toUtf8()).constData());
    if (i + 1 == activeSheet) worksheet_activate(sheet);
    if (spec.hidden) worksheet_hide(sheet);
  }
  const lxw_error error = workbook_close(workbook);
  if (error != LXW_NO_ERROR) {
    ADD_FAILURE() << "cannot write " << path.toStdString() << ": " << lxw_strerror(error);
    return false;
  }
  return true;
}

bool writeWrappedRows(const QString& path) {
  lxw_workbook* workbook = workbook_new(QFile::encodeName(path).constData());
  if (!workbook) {
    ADD_FAILURE() << "cannot create " << path.toStdString();
    return false;
  }
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Wrap");
  lxw_format* wrap = workbook_add_format(workbook);
  format_set_text_wrap(wrap);
  worksheet_set_column(sheet, 0, 0, 12, nullptr);
  worksheet_write_string(sheet, 0, 0, "alpha bravo charlie delta echo foxtrot golf hotel", wrap);
  worksheet_write_string(sheet, 1, 0, "india juliet kilo lima mike november", wrap);
  worksheet_write_string(sheet, 2, 0, "oscar papa", wrap);
  worksheet_set_row(sheet, 2, 100, nullptr);
  worksheet_write_string(sheet, 3, 0, "quebec romeo", wrap);
  lxw_row_col_options hidden{};
  hidden.hidden = 1;
  worksheet_set_row_opt(sheet, 3, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
  worksheet_write_string(sheet, 4, 0, "sierra tango uniform victor whiskey xray", wrap);
  worksheet_write_string(sheet, 5, 0, "yankee zulu", nullptr);
  const lxw_error error = workbook_close(workbook);
  if (error != LXW_NO_ERROR) ADD_FAILURE() << "cannot write " << path.toStdString();
  return error == LXW_NO_ERROR;
}

bool writeNumbers(const QString& path, const QList<double>& wide, const QList<double>& narrow) {
  lxw_workbook* workbook = workbook_new(QFile::encodeName(path).constData());
  if (!workbook) {
    ADD_FAILURE() << "cannot create " << path.toStdString();
    return false;
  }
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Numbers");
  worksheet_set_column(sheet, 0, 0, 30, nullptr);
  for (int i = 0; i < wide.size(); ++i)
    worksheet_write_number(sheet, static_cast<lxw_row_t>(i), 0, wide[i], nullptr);
  for (int i = 0; i < narrow.size(); ++i)
    worksheet_write_number(sheet, static_cast<lxw_row_t>(i), 1, narrow[i], nullptr);
  const lxw_error error = workbook_close(workbook);
  if (error != LXW_NO_ERROR) ADD_FAILURE() << "cannot write " << path.toStdString();
  return error == LXW_NO_ERROR;
}

bool writePivotTable(const QString& path) {
  lxw_workbook* workbook = workbook_new(QFile::encodeName(path).constData());
  if (!workbook) {
    ADD_FAILURE() << "cannot create " << path.toStdString();
    return false;
  }
  lxw_worksheet* pivot = workbook_add_worksheet(workbook, "Pivot");
  lxw_worksheet* data = workbook_add_worksheet(workbook, "Data");
  lxw_format* thousands = workbook_add_format(workbook);
  format_set_num_format(thousands, "#,##0");
  worksheet_set_column(pivot, 0, 1, 16, nullptr);
  worksheet_write_string(pivot, 2, 0, "Row Labels", nullptr);
  worksheet_write_string(pivot, 2, 1, "Sum of Amount", nullptr);
  const std::pair<const char*, double> rows[] = {
      {"East", 889017}, {"West", 1025796}, {"Grand Total", 1914813}};
  for (lxw_row_t r = 0; r < 3; ++r) {
    worksheet_write_string(pivot, r + 3, 0, rows[r].first, nullptr);
    worksheet_write_number(pivot, r + 3, 1, rows[r].second, thousands);
  }
  worksheet_write_string(data, 0, 0, "Region", nullptr);
  worksheet_write_string(data, 0, 1, "Amount", nullptr);
  const std::pair<const char*, double> records[] = {
      {"East", 889000}, {"East", 17}, {"West", 1025000}, {"West", 796}};
  for (lxw_row_t r = 0; r < 4; ++r) {
    worksheet_write_string(data, r + 1, 0, records[r].first, nullptr);
    worksheet_write_number(data, r + 1, 1, records[r].second, nullptr);
  }
  if (workbook_close(workbook) != LXW_NO_ERROR) {
    ADD_FAILURE() << "cannot write " << path.toStdString();
    return false;
  }
  // The pivot parts, as the application writes them.
  static const char* const kScript = R"(
import shutil, sys, zipfile
path = sys.argv[1]
main = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
rel = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
ct = 'application/vnd.openxmlformats-officedocument.spreadsheetml.'
def rels(*items):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            + ''.join('<Relationship Id="%s" Type="%s%s" Target="%s"/>' % i for i in items) + '</Relationships>')
parts = {
 'xl/pivotCache/pivotCacheDefinition1.xml':
  '<pivotCacheDefinition %s r:id="rId1" refreshedVersion="6" createdVersion="6" minRefreshableVersion="3" recordCount="4">'
  '<cacheSource type="worksheet"><worksheetSource ref="A1:B5" sheet="Data"/></cacheSource><cacheFields count="2">'
  '<cacheField name="Region" numFmtId="0"><sharedItems count="2"><s v="East"/><s v="West"/></sharedItems></cacheField>'
  '<cacheField name="Amount" numFmtId="0"><sharedItems containsSemiMixedTypes="0" containsString="0" containsNumber="1" containsInteger="1" minValue="17" maxValue="1025000"/></cacheField>'
  '</cacheFields></pivotCacheDefinition>' % main,
 'xl/pivotCache/pivotCacheRecords1.xml':
  '<pivotCacheRecords %s count="4"><r><x v="0"/><n v="889000"/></r><r><x v="0"/><n v="17"/></r>'
  '<r><x v="1"/><n v="1025000"/></r><r><x v="1"/><n v="796"/></r></pivotCacheRecords>' % main,
 'xl/pivotCache/_rels/pivotCacheDefinition1.xml.rels': rels(('rId1', rel, 'pivotCacheRecords', 'pivotCacheRecords1.xml')),
 'xl/pivotTables/pivotTable1.xml':
  '<pivotTableDefinition %s name="PivotTable1" cacheId="1" applyNumberFormats="0" applyBorderFormats="0" applyFontFormats="0" '
  'applyPatternFormats="0" applyAlignmentFormats="0" applyWidthHeightFormats="1" dataCaption="Values" updatedVersion="6" '
  'minRefreshableVersion="3" useAutoFormatting="1" itemPrintTitles="1" createdVersion="6" indent="0" outline="1" outlineData="1">'
  '<location ref="A3:B6" firstHeaderRow="1" firstDataRow="1" firstDataCol="1"/><pivotFields count="2">'
  '<pivotField axis="axisRow" showAll="0"><items count="3"><item x="0"/><item x="1"/><item t="default"/></items></pivotField>'
  '<pivotField dataField="1" showAll="0"/></pivotFields><rowFields count="1"><field x="0"/></rowFields>'
  '<rowItems count="3"><i><x/></i><i><x v="1"/></i><i t="grand"><x/></i></rowItems><colItems count="1"><i/></colItems>'
  '<dataFields count="1"><dataField name="Sum of Amount" fld="1" baseField="0" baseItem="0"/></dataFields>'
  '<pivotTableStyleInfo name="PivotStyleLight16" showRowHeaders="1" showColHeaders="1" showRowStripes="0" showColStripes="0" showLastColumn="1"/>'
  '</pivotTableDefinition>' % main,
 'xl/pivotTables/_rels/pivotTable1.xml.rels': rels(('rId1', rel, 'pivotCacheDefinition', '../pivotCache/pivotCacheDefinition1.xml')),
 'xl/worksheets/_rels/sheet1.xml.rels': rels(('rId1', rel, 'pivotTable', '../pivotTables/pivotTable1.xml')),
}
with zipfile.ZipFile(path) as zin, zipfile.ZipFile(path + '.new', 'w', zipfile.ZIP_DEFLATED) as zout:
    for info in zin.infolist():
        data = zin.read(info.filename).decode('utf-8')
        if info.filename == '[Content_Types].xml':
            data = data.replace('</Types>', ''.join('<Override PartName="/%s" ContentType="%s%s+xml"/>' % p for p in (
                ('xl/pivotCache/pivotCacheDefinition1.xml', ct, 'pivotCacheDefinition'),
                ('xl/pivotCache/pivotCacheRecords1.xml', ct, 'pivotCacheRecords'),
                ('xl/pivotTables/pivotTable1.xml', ct, 'pivotTable'))) + '</Types>')
        elif info.filename == 'xl/_rels/workbook.xml.rels':
            data = data.replace('</Relationships>', '<Relationship Id="rId99" Type="%spivotCacheDefinition" Target="pivotCache/pivotCacheDefinition1.xml"/></Relationships>' % rel)
        elif info.filename == 'xl/workbook.xml':
            data = data.replace('</workbook>', '<pivotCaches><pivotCache cacheId="1" r:id="rId99"/></pivotCaches></workbook>')
        zout.writestr(info, data)
    for name, data in parts.items():
        zout.writestr(name, data)
shutil.move(path + '.new', path)
)";
  QProcess p;
  p.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(kScript), path});
  const bool ok =
      p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  if (!ok) ADD_FAILURE() << "cannot add the pivot table to " << path.toStdString();
  return ok;
}

QString wrappedRowsFault(const QString& pdf) {
  const QList<TextRun> runs = pdfTextRuns(pdf);
  auto top = [&](const char* word) {
    for (const TextRun& run : runs)
      if (run.text.split(u' ', Qt::SkipEmptyParts).contains(QLatin1String(word))) return run.top;
    return -1;
  };
  const QList<QList<const char*>> rows = {
      {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel"},
      {"india", "juliet", "kilo", "lima", "mike", "november"},
      {"oscar", "papa"},
      {"sierra", "tango", "uniform", "victor", "whiskey", "xray"},
      {"yankee", "zulu"}};
  int above = -1;
  for (const auto& row : rows) {
    for (const char* word : row) {
      if (top(word) < 0) return QStringLiteral("\"%1\" does not print").arg(QLatin1String(word));
      if (top(word) <= above)
        return QStringLiteral("\"%1\" prints over the row above").arg(QLatin1String(word));
    }
    above = top(row.last());
  }
  if (top("hotel") <= top("alpha")) return QStringLiteral("row 1 prints on one line");
  // Bottom-aligned single lines: their distance is the custom row's height.
  if (top("oscar") - top("november") < 140) return QStringLiteral("row 3 lost its 100 pt");
  if (top("quebec") >= 0) return QStringLiteral("the hidden row prints");
  return {};
}

bool rewriteZipMember(const QString& path, const QString& member, const QString& pattern,
                      const QString& replacement) {
  // Python's zipfile rewrites the package; every other member is kept as it is.
  static const char* const kScript = R"(
import re, shutil, sys, zipfile
path, member, pattern, replacement = sys.argv[1:5]
with zipfile.ZipFile(path) as zin, zipfile.ZipFile(path + '.new', 'w', zipfile.ZIP_DEFLATED) as zout:
    for info in zin.infolist():
        data = zin.read(info.filename)
        if info.filename == member:
            data = re.sub(pattern.encode(), replacement.encode(), data)
        zout.writestr(info, data)
shutil.move(path + '.new', path)
)";
  QProcess p;
  p.start(QStringLiteral("python3"),
          {QStringLiteral("-c"), QString::fromLatin1(kScript), path, member, pattern, replacement});
  const bool ok =
      p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  if (!ok)
    ADD_FAILURE() << "cannot rewrite " << member.toStdString() << " of " << path.toStdString();
  return ok;
}

bool setCalcPr(const QString& path, const QString& calcPr) {
  return rewriteZipMember(path, QStringLiteral("xl/workbook.xml"), QStringLiteral("<calcPr[^>]*/>"),
                          QString(calcPr).replace(u'\\', QLatin1String("\\\\")));
}

QList<SheetSpec> threeSheets() {
  return {{QStringLiteral("Alpha"), QStringLiteral("Alpha text one"), 1},
          {QStringLiteral("Bravo"), QStringLiteral("Bravo text two"), 300},
          {QStringLiteral("Charlie"), QStringLiteral("Charlie text three"), 1}};
}

QList<SheetSpec> twentyPages() {
  return {{QStringLiteral("Long"), QStringLiteral("Long sheet"), 1000}};
}

namespace {
QByteArray run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    return {};
  return p.readAllStandardOutput();
}
}  // namespace

QByteArray utf16Text(const QString& text, bool bigEndian) {
  QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
  for (const QChar c : text) {
    const char low = char(c.unicode() & 0xff), high = char(c.unicode() >> 8);
    bytes += bigEndian ? QByteArray(1, high) + low : QByteArray(1, low) + high;
  }
  return bytes;
}

QByteArray tinyPdf(int pages) {
  QList<QByteArray> objects;
  QByteArray kids;
  for (int i = 0; i < pages; ++i) kids += QByteArray::number(3 + i) + " 0 R ";
  objects << "<< /Type /Catalog /Pages 2 0 R >>";
  objects << "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
  for (int i = 0; i < pages; ++i)
    objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>";
  return pdfOfObjects(objects);
}

QByteArray pdfOfObjects(const QList<QByteArray>& objects) {
  QByteArray pdf = "%PDF-1.4\n";
  QList<qsizetype> offsets;
  for (int i = 0; i < objects.size(); ++i) {
    offsets << pdf.size();
    pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const qsizetype xref = pdf.size();
  pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (qsizetype offset : offsets)
    pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
  pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
  return pdf;
}

int pdfPageCount(const QString& path) {
  const QString info = QString::fromUtf8(run(QStringLiteral("pdfinfo"), {path}));
  const auto m =
      QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
          .match(info);
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfText(const QString& path) {
  return QString::fromUtf8(
      run(QStringLiteral("pdftotext"),
          {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")}));
}

QList<TextRun> pdfTextRuns(const QString& path) {
  const QString xml = QString::fromUtf8(
      run(QStringLiteral("pdftohtml"),
          {QStringLiteral("-xml"), QStringLiteral("-i"), QStringLiteral("-stdout"), path}));
  QHash<QString, QString> fonts;
  static const QRegularExpression spec(
      QStringLiteral("<fontspec id=\"(\\d+)\"[^>]* family=\"([^\"]*)\""));
  for (auto it = spec.globalMatch(xml); it.hasNext();) {
    const auto m = it.next();
    fonts.insert(m.captured(1), m.captured(2));
  }
  static const QRegularExpression text(
      QStringLiteral("<text top=\"(\\d+)\"[^>]*font=\"(\\d+)\"[^>]*>(.*)</text>"));
  QList<TextRun> runs;
  for (auto it = text.globalMatch(xml); it.hasNext();) {
    const auto m = it.next();
    QString content = m.captured(3);
    content.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    runs.append({content, fonts.value(m.captured(2)), m.captured(1).toInt()});
  }
  return runs;
}

QString pdfPageText(const QString& path, int page) {
  const QString n = QString::number(page);
  return QString::fromUtf8(
      run(QStringLiteral("pdftotext"),
          {QStringLiteral("-f"), n, QStringLiteral("-l"), n, QStringLiteral("-enc"),
           QStringLiteral("UTF-8"), path, QStringLiteral("-")}));
}

QString pdfInfo(const QString& path, const QStringList& options) {
  return QString::fromUtf8(run(QStringLiteral("pdfinfo"), QStringList(options) << path));
}

}  // namespace tabrix::test
