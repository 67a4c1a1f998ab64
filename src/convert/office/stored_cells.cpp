#include "convert/office/stored_cells.h"

#include "convert/office/zip_package.h"

#include <QXmlStreamReader>

namespace {

constexpr qint64 kMaxSheetPart = qint64(256) * 1024 * 1024;
constexpr int kMaxColumn = 16383;  // XFD
constexpr int kMaxRow = 1048575;

// "C7" as row 6, column 2; false when `r` is no cell reference.
bool ParseRef(QStringView r, TkvCellRef* ref) {
  qsizetype i = 0;
  int column = 0;
  for (; i < r.size() && r[i] >= u'A' && r[i] <= u'Z'; ++i) {
    column = column * 26 + (r[i].unicode() - u'A' + 1);
    if (column > kMaxColumn + 1) return false;
  }
  if (i == 0 || i == r.size()) return false;
  bool ok = false;
  const int row = r.mid(i).toInt(&ok);
  if (!ok || row < 1 || row > kMaxRow + 1) return false;
  *ref = TkvCellRef{row - 1, column - 1};
  return true;
}

TkvStoredCell StoredCell(QStringView type, const QString& value) {
  TkvStoredCell cell;
  cell.text = value;
  if (type == u"e") {
    cell.kind = TkvStoredCell::Kind::Error;
  } else if (type == u"str" || type == u"inlineStr") {
    cell.kind = TkvStoredCell::Kind::Text;
  } else if (type == u"b") {
    cell.kind = TkvStoredCell::Kind::Boolean;
    cell.number = value.trimmed() == u"1" ? 1 : 0;
  } else if (type.isEmpty() || type == u"n") {
    bool ok = false;
    cell.number = value.trimmed().toDouble(&ok);
    cell.kind = ok ? TkvStoredCell::Kind::Number : TkvStoredCell::Kind::None;
  }  // "s" (a shared string) never holds a formula's result
  return cell;
}

}  // namespace

QString TkvCellRef::Name() const {
  QString letters;
  for (int c = column + 1; c > 0; c = (c - 1) / 26) letters.prepend(QChar(u'A' + (c - 1) % 26));
  return letters + QString::number(row + 1);
}

std::optional<QHash<quint64, TkvStoredCell>> TkvScanStoredCells(const QByteArray& sheetPart,
                                                                const QSet<quint64>& wanted) {
  QHash<quint64, TkvStoredCell> found;
  QXmlStreamReader xml(sheetPart);
  int row = -1;
  TkvCellRef cell{-1, -1};
  bool inWanted = false;
  QString type;
  qsizetype done = 0;  // wanted cells read to their end
  while (!xml.atEnd() && done < wanted.size()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::StartElement) {
      const QStringView name = xml.name();
      if (name == u"row") {
        const QStringView r = xml.attributes().value(QLatin1String("r"));
        row = r.isEmpty() ? row + 1 : r.toInt() - 1;
        cell = TkvCellRef{row, -1};
      } else if (name == u"c") {
        const QXmlStreamAttributes attributes = xml.attributes();
        const QStringView r = attributes.value(QLatin1String("r"));
        if (r.isEmpty() || !ParseRef(r, &cell)) cell = TkvCellRef{row, cell.column + 1};
        inWanted = wanted.contains(cell.Key());
        type = attributes.value(QLatin1String("t")).toString();
        if (inWanted) found.insert(cell.Key(), TkvStoredCell{});
      } else if (name == u"v" && inWanted) {
        const QString text = xml.readElementText();
        found.insert(cell.Key(), StoredCell(type, text));
      }
    } else if (token == QXmlStreamReader::EndElement && xml.name() == u"c") {
      done += inWanted ? 1 : 0;
      inWanted = false;
    }
  }
  if (xml.hasError() && done < wanted.size()) return std::nullopt;
  return found;
}

std::optional<QHash<quint64, TkvStoredCell>> TkvReadStoredCells(const TkvZipPackage& package,
                                                                const QString& part,
                                                                const QSet<quint64>& wanted) {
  if (part.isEmpty()) return std::nullopt;
  const auto bytes = package.Read(part, kMaxSheetPart);
  if (!bytes) return std::nullopt;
  return TkvScanStoredCells(*bytes, wanted);
}
