#include "convert/workbook_kind.h"

#include "convert/office/text_workbook.h"
#include "convert/office/zip_package.h"

#include <QFile>
#include <QStringList>

#include <cstring>

namespace {

constexpr qint64 kHead = 8192;

quint32 Le16(const char* p) { return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8; }
quint32 Le32(const char* p) { return Le16(p) | Le16(p + 2) << 16; }

QString OpenDocumentKind(const QString& mediaType) {
  const QString kind = mediaType.section(u'.', -1);
  return QStringLiteral("an OpenDocument %1 (not a spreadsheet)").arg(kind);
}

// A package that cannot be opened (damaged, cut off) is let through: the
// office then tells.
QString ZipKind(const QString& path) {
  const TkvZipPackage package(path);
  if (!package.IsOpen()) return QString();
  // OpenDocument stores its media type first.
  if (const auto type = package.Read(QStringLiteral("mimetype"), 256); type && !type->isEmpty()) {
    const QString mediaType = QString::fromLatin1(*type).trimmed();
    return mediaType.contains(QLatin1String("spreadsheet")) ? QString()
                                                            : OpenDocumentKind(mediaType);
  }
  QStringList names = package.Names();
  for (QString& name : names) name.replace(u'\\', u'/');
  bool word = false, slides = false;
  for (const QString& name : names) {
    if (name.startsWith(QLatin1String("xl/"), Qt::CaseInsensitive) ||
        name.endsWith(QLatin1String("workbook.xml"), Qt::CaseInsensitive))
      return QString();
    word = word || name.startsWith(QLatin1String("word/"), Qt::CaseInsensitive);
    slides = slides || name.startsWith(QLatin1String("ppt/"), Qt::CaseInsensitive);
  }
  if (word) return QStringLiteral("a Word document");
  if (slides) return QStringLiteral("a PowerPoint presentation");
  if (names.isEmpty()) return QStringLiteral("an empty ZIP archive");
  return QStringLiteral("a ZIP archive that holds no workbook");
}

// The entry names of a compound file's directory; false when it cannot be
// read (the file is then let through to the office).
bool CompoundNames(QFile& file, const QByteArray& head, QStringList& names) {
  if (head.size() < 512) return false;
  const quint32 shift = Le16(head.constData() + 0x1E);
  if (shift != 9 && shift != 12) return false;
  const qint64 sectorSize = qint64(1) << shift;
  const auto offsetOf = [&](quint32 sector) { return (qint64(sector) + 1) * sectorSize; };
  QList<quint32> fat;  // the sectors of the allocation table the header lists
  for (int i = 0; i < 109; ++i) {
    const quint32 sector = Le32(head.constData() + 0x4C + qsizetype(4) * i);
    if (sector >= 0xFFFFFFFAu) break;
    fat.append(sector);
  }
  quint32 sector = Le32(head.constData() + 0x30);
  for (int guard = 0; sector < 0xFFFFFFFAu; ++guard) {
    if (guard > 4096 || !file.seek(offsetOf(sector))) return false;
    const QByteArray entries = file.read(sectorSize);
    if (entries.size() != sectorSize) return false;
    for (qsizetype e = 0; e + 128 <= entries.size(); e += 128) {
      const quint32 bytes = Le16(entries.constData() + e + 0x40);
      if (entries[e + 0x42] == 0 || bytes < 2 || bytes > 64) continue;
      QString name;
      for (quint32 i = 0; i + 2 < bytes; i += 2)
        name.append(QChar(char16_t(Le16(entries.constData() + e + i))));
      names.append(name);
    }
    const qint64 perSector = sectorSize / 4;
    if (sector / perSector >= quint32(fat.size())) return false;
    char next[4];
    if (!file.seek(offsetOf(fat[sector / perSector]) + (sector % perSector) * 4) ||
        file.read(next, 4) != 4)
      return false;
    sector = Le32(next);
  }
  return true;
}

// Only other Office documents are told apart: anything else may be a workbook.
QString CompoundKind(QFile& file, const QByteArray& head) {
  QStringList names;
  if (!CompoundNames(file, head, names)) return QString();
  for (const char* workbook : {"Workbook", "Book", "EncryptedPackage"})
    if (names.contains(QLatin1String(workbook), Qt::CaseInsensitive)) return QString();
  if (names.contains(QLatin1String("WordDocument"), Qt::CaseInsensitive))
    return QStringLiteral("a Word document");
  if (names.contains(QLatin1String("PowerPoint Document"), Qt::CaseInsensitive))
    return QStringLiteral("a PowerPoint presentation");
  return QString();
}

bool StartsWith(const QByteArray& head, const char* magic) {
  return head.startsWith(QByteArray(magic, qsizetype(std::strlen(magic))));
}

// What text is, by the spreadsheet application's rule: under a .xls name
// (and any other but .xlsx, .xlsm and .csv) an HTML table, SpreadsheetML
// 2003, SYLK and tab- or comma-separated text open as workbooks; a .csv is
// any text; a .xlsx or .xlsm workbook is a zip package, never text.
QString TextKind(QFile& file, const QString& path) {
  const TkvTextSniff sniff = TkvSniffText(file);
  QString kind;
  switch (sniff.kind) {
    case TkvTextKind::Binary:
      return QStringLiteral("data of an unknown kind");
    case TkvTextKind::Utf32:
      return QStringLiteral("text in UTF-32, which the office does not read");
    case TkvTextKind::SpreadsheetXml:
      kind = QStringLiteral("SpreadsheetML");
      break;
    case TkvTextKind::Sylk:
      kind = QStringLiteral("a SYLK file");
      break;
    case TkvTextKind::HtmlTable:
      kind = QStringLiteral("an HTML table");
      break;
    case TkvTextKind::Delimited:
      kind = sniff.separator == '\t' ? QStringLiteral("tab-separated text")
                                     : QStringLiteral("comma-separated text");
      break;
    case TkvTextKind::HtmlWithoutTable:
      return QStringLiteral("an HTML page without a table");
    case TkvTextKind::OtherXml:
      return QStringLiteral("an XML file");
    case TkvTextKind::Plain:
      if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) return QString();
      return QStringLiteral("plain text");
  }
  if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive) ||
      path.endsWith(QLatin1String(".xlsm"), Qt::CaseInsensitive))
    return QStringLiteral("%1, which opens as a workbook under a .xls name only").arg(kind);
  return QString();
}

}  // namespace

QString TkvNotWorkbookKind(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  if (file.size() == 0) return QStringLiteral("an empty file");
  const QByteArray head = file.read(kHead);
  if (StartsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return CompoundKind(file, head);
  if (StartsWith(head, "PK\x03\x04") || StartsWith(head, "PK\x05\x06")) return ZipKind(path);
  // A bare BIFF2-5 stream starts with its BOF record.
  if (head.size() >= 4 && head[0] == '\x09' &&
      (head[1] == '\x00' || head[1] == '\x02' || head[1] == '\x04' || head[1] == '\x08'))
    return QString();
  if (StartsWith(head, "%PDF")) return QStringLiteral("a PDF document");
  if (StartsWith(head, "\x89PNG")) return QStringLiteral("a PNG image");
  if (StartsWith(head, "\xFF\xD8\xFF")) return QStringLiteral("a JPEG image");
  if (StartsWith(head, "{\\rtf")) return QStringLiteral("an RTF document");
  return TextKind(file, path);
}
