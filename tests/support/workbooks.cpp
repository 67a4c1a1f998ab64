#include "support/workbooks.h"

#include <QFile>
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
    for (int row = 0; row < std::max(1, spec.rows); ++row)
      worksheet_write_string(sheet, static_cast<lxw_row_t>(row), 0, row == 0 ? text.constData() : QByteArray(text + " row " + QByteArray::number(row)).constData(), nullptr);
    if (i + 1 == activeSheet) worksheet_activate(sheet);
  }
  const lxw_error error = workbook_close(workbook);
  if (error != LXW_NO_ERROR) {
    ADD_FAILURE() << "cannot write " << path.toStdString() << ": " << lxw_strerror(error);
    return false;
  }
  return true;
}

QList<SheetSpec> threeSheets() {
  return {{QStringLiteral("Alpha"), QStringLiteral("Alpha text one"), 1},
          {QStringLiteral("Bravo"), QStringLiteral("Bravo text two"), 300},
          {QStringLiteral("Charlie"), QStringLiteral("Charlie text three"), 1}};
}

QList<SheetSpec> twentyPages() { return {{QStringLiteral("Long"), QStringLiteral("Long sheet"), 1000}}; }

namespace {
QByteArray run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
  return p.readAllStandardOutput();
}
}  // namespace

int pdfPageCount(const QString& path) {
  const QString info = QString::fromUtf8(run(QStringLiteral("pdfinfo"), {path}));
  const auto m = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption).match(info);
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfText(const QString& path) {
  return QString::fromUtf8(run(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")}));
}

}  // namespace tabrix::test
