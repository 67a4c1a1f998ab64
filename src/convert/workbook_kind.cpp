#include "convert/workbook_kind.h"

#include <QFile>
#include <QStringList>
#include <QStringView>

#include <cstring>

namespace {

constexpr qint64 kHead = 8192;
// The end-of-directory record and the largest comment behind it.
constexpr qint64 kZipTail = 22 + 65535;
// A directory larger than this is not read: the package is let through.
constexpr quint32 kZipDirectoryLimit = 64u << 20;

quint32 Le16(const char* p) { return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8; }
quint32 Le32(const char* p) { return Le16(p) | Le16(p + 2) << 16; }

// The entry names of a ZIP archive's central directory; false when the
// directory cannot be found or read (a damaged or cut-off package).
bool ZipNames(QFile& file, QStringList& names) {
  const qint64 size = file.size();
  const qint64 tailStart = size > kZipTail ? size - kZipTail : 0;
  if (!file.seek(tailStart)) return false;
  const QByteArray tail = file.read(size - tailStart);
  const qsizetype end = tail.lastIndexOf(QByteArray("PK\x05\x06", 4));
  if (end < 0 || tail.size() - end < 22) return false;
  const quint32 count = Le16(tail.constData() + end + 10);
  const quint32 length = Le32(tail.constData() + end + 12);
  const quint32 offset = Le32(tail.constData() + end + 16);
  if (length > kZipDirectoryLimit || qint64(offset) + length > size || !file.seek(offset))
    return false;
  const QByteArray dir = file.read(length);
  if (dir.size() != qsizetype(length)) return false;
  qsizetype at = 0;
  for (quint32 i = 0; i < count; ++i) {
    if (at + 46 > dir.size() || std::memcmp(dir.constData() + at, "PK\x01\x02", 4) != 0)
      return false;
    const char* entry = dir.constData() + at;
    const qsizetype nameLength = Le16(entry + 28);
    const qsizetype next = at + 46 + nameLength + Le16(entry + 30) + Le16(entry + 32);
    if (next > dir.size()) return false;
    names.append(QString::fromUtf8(entry + 46, nameLength).replace(u'\\', u'/'));
    at = next;
  }
  return true;
}

// The media type an OpenDocument package stores first, uncompressed.
QString OpenDocumentType(const QByteArray& head) {
  if (head.size() < 38 || Le16(head.constData() + 26) != 8 || head.mid(30, 8) != "mimetype")
    return QString();
  const qsizetype length = qsizetype(Le32(head.constData() + 18));
  return QString::fromLatin1(head.mid(38 + qsizetype(Le16(head.constData() + 28)), length));
}

QString OpenDocumentKind(const QString& mediaType) {
  const QString kind = mediaType.section(u'.', -1);
  return QStringLiteral("an OpenDocument %1 (not a spreadsheet)").arg(kind);
}

QString ZipKind(QFile& file, const QByteArray& head) {
  if (const QString type = OpenDocumentType(head); !type.isEmpty())
    return type.contains(QLatin1String("spreadsheet")) ? QString() : OpenDocumentKind(type);
  QStringList names;
  if (!ZipNames(file, names)) return QString();
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

// Text, decoded when it is UTF-16 with a byte-order mark; empty when the
// bytes hold control characters other than white space (binary data).
QString TextOf(const QByteArray& head) {
  if (StartsWith(head, "\xFF\xFE") || StartsWith(head, "\xFE\xFF")) {
    QString text;
    for (qsizetype i = 2; i + 1 < head.size(); i += 2)
      text.append(QChar(head[0] == '\xFF' ? Le16(head.constData() + i)
                                          : quint16(quint8(head[i]) << 8 | quint8(head[i + 1]))));
    return text;
  }
  for (const char c : head)
    if ((c >= 0 && c < 9) || (c > 13 && c < 32) || c == 127) return QString();
  return QString::fromUtf8(head.startsWith("\xEF\xBB\xBF") ? head.mid(3) : head);
}

QString TextKind(const QByteArray& head, const QString& path) {
  const QString text = TextOf(head);
  if (text.isEmpty()) return QStringLiteral("data of an unknown kind");
  const QString start = text.trimmed().left(512).toLower();
  if (start.startsWith(QLatin1String("<?xml")) || start.startsWith(QLatin1String("<"))) {
    if (text.contains(QLatin1String("urn:schemas-microsoft-com:office:spreadsheet")) ||
        text.contains(QLatin1String("opendocument.spreadsheet")))
      return QString();
    if (start.contains(QLatin1String("<html")) || start.contains(QLatin1String("<!doctype html")))
      return QStringLiteral("an HTML page");
    if (start.startsWith(QLatin1String("<?xml"))) return QStringLiteral("an XML file");
  }
  if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) return QString();
  return QStringLiteral("plain text");
}

// Web applications' "export to Excel" and the spreadsheet application's own
// web pages are HTML tables under an .xls name, which it opens as a workbook.
// The first 16 MB are searched for a table.
bool HoldsTable(QFile& file) {
  constexpr qint64 kChunk = 1 << 16;
  constexpr qint64 kLimit = 16 << 20;
  const QByteArray tag("<table");
  if (!file.seek(0)) return false;
  QByteArray tail;
  while (file.pos() < kLimit) {
    const QByteArray chunk = file.read(kChunk);
    if (chunk.isEmpty()) return false;
    const QByteArray text = (tail + chunk).toLower();
    if (text.contains(tag)) return true;
    tail = chunk.right(tag.size() - 1);
  }
  return false;
}

}  // namespace

QString TkvNotWorkbookKind(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  if (file.size() == 0) return QStringLiteral("an empty file");
  const QByteArray head = file.read(kHead);
  if (StartsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return CompoundKind(file, head);
  if (StartsWith(head, "PK\x03\x04") || StartsWith(head, "PK\x05\x06")) return ZipKind(file, head);
  // A bare BIFF2-5 stream starts with its BOF record.
  if (head.size() >= 4 && head[0] == '\x09' &&
      (head[1] == '\x00' || head[1] == '\x02' || head[1] == '\x04' || head[1] == '\x08'))
    return QString();
  if (StartsWith(head, "%PDF")) return QStringLiteral("a PDF document");
  if (StartsWith(head, "\x89PNG")) return QStringLiteral("a PNG image");
  if (StartsWith(head, "\xFF\xD8\xFF")) return QStringLiteral("a JPEG image");
  if (StartsWith(head, "{\\rtf")) return QStringLiteral("an RTF document");
  const QString kind = TextKind(head, path);
  if (kind == QLatin1String("an HTML page"))
    return HoldsTable(file) ? QString() : QStringLiteral("an HTML page without a table");
  return kind;
}
