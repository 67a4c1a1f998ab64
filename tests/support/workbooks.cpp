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
