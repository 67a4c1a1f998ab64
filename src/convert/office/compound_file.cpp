#include "convert/office/compound_file.h"

#include <QFile>
#include <QList>

namespace {

quint32 Le16(const char* p) { return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8; }
quint32 Le32(const char* p) { return Le16(p) | Le16(p + 2) << 16; }

constexpr quint32 kEndOfChain = 0xFFFFFFFAu;  // this and above: no sector

struct Entry {
  QString name;
  quint32 start = 0;  // first sector of the stream
  quint32 size = 0;   // bytes
};

// The directory's entries; false when it cannot be read.
bool ReadEntries(QFile& file, QList<Entry>& entries, qint64& sectorSize) {
  if (!file.seek(0)) return false;
  const QByteArray head = file.read(512);
  if (head.size() < 512 || !head.startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1"))) return false;
  const quint32 shift = Le16(head.constData() + 0x1E);
  if (shift != 9 && shift != 12) return false;
  sectorSize = qint64(1) << shift;
  const auto offsetOf = [&](quint32 sector) { return (qint64(sector) + 1) * sectorSize; };
  QList<quint32> fat;  // the sectors of the allocation table the header lists
  for (int i = 0; i < 109; ++i) {
    const quint32 sector = Le32(head.constData() + 0x4C + qsizetype(4) * i);
    if (sector >= kEndOfChain) break;
    fat.append(sector);
  }
  quint32 sector = Le32(head.constData() + 0x30);
  for (int guard = 0; sector < kEndOfChain; ++guard) {
    if (guard > 4096 || !file.seek(offsetOf(sector))) return false;
    const QByteArray block = file.read(sectorSize);
    if (block.size() != sectorSize) return false;
    for (qsizetype e = 0; e + 128 <= block.size(); e += 128) {
      const char* at = block.constData() + e;
      const quint32 bytes = Le16(at + 0x40);
      if (at[0x42] == 0 || bytes < 2 || bytes > 64) continue;
      Entry entry;
      for (quint32 i = 0; i + 2 < bytes; i += 2) entry.name.append(QChar(char16_t(Le16(at + i))));
      entry.start = Le32(at + 0x74);
      entry.size = Le32(at + 0x78);
      entries.append(entry);
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

}  // namespace

QStringList TkvCompoundNames(QFile& file) {
  QList<Entry> entries;
  qint64 sectorSize = 0;
  QStringList names;
  if (!ReadEntries(file, entries, sectorSize)) return names;
  for (const Entry& entry : entries) names.append(entry.name);
  return names;
}

bool TkvIsPasswordProtected(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  QList<Entry> entries;
  qint64 sectorSize = 0;
  if (!ReadEntries(file, entries, sectorSize)) return false;
  for (const Entry& entry : entries)
    if (entry.name.compare(QLatin1String("EncryptedPackage"), Qt::CaseInsensitive) == 0 ||
        entry.name.compare(QLatin1String("EncryptionInfo"), Qt::CaseInsensitive) == 0)
      return true;
  // An encrypted Excel 97-2003 stream: BOF, then FILEPASS (0x002F). Streams
  // under 4096 bytes live in the mini stream and are not looked into.
  for (const Entry& entry : entries) {
    if (entry.name.compare(QLatin1String("Workbook"), Qt::CaseInsensitive) != 0 &&
        entry.name.compare(QLatin1String("Book"), Qt::CaseInsensitive) != 0)
      continue;
    if (entry.size < 4096 || entry.start >= kEndOfChain) return false;
    if (!file.seek((qint64(entry.start) + 1) * sectorSize)) return false;
    const QByteArray records = file.read(512);
    if (records.size() < 8 || Le16(records.constData()) != 0x0809) return false;
    const qint64 next = 4 + qint64(Le16(records.constData() + 2));
    return next + 2 <= records.size() && Le16(records.constData() + next) == 0x002F;
  }
  return false;
}
