#include "convert/office/zip_entry.h"

#include <QFile>

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

constexpr quint32 kEndOfDirectory = 0x06054b50;
constexpr quint32 kDirectoryEntry = 0x02014b50;
constexpr quint32 kLocalHeader = 0x04034b50;
constexpr qint64 kEndSize = 22;
constexpr qint64 kMaxComment = 0xffff;
constexpr qint64 kMaxDirectory = qint64(64) * 1024 * 1024;

quint32 Le16(const QByteArray& b, qint64 at) {
  const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + at;
  return quint32(p[0]) | quint32(p[1]) << 8;
}
quint32 Le32(const QByteArray& b, qint64 at) { return Le16(b, at) | Le16(b, at + 2) << 16; }

// `length` bytes at `offset`, or nothing when the file has fewer.
std::optional<QByteArray> ReadAt(QFile& file, qint64 offset, qint64 length) {
  if (offset < 0 || length < 0 || offset > file.size() || length > file.size() - offset)
    return std::nullopt;
  if (!file.seek(offset)) return std::nullopt;
  QByteArray bytes = file.read(length);
  if (bytes.size() != length) return std::nullopt;
  return bytes;
}

std::optional<QByteArray> Inflate(const QByteArray& packed, qint64 size) {
  if (packed.size() > UINT_MAX || size > UINT_MAX) return std::nullopt;
  QByteArray out(size, Qt::Uninitialized);
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return std::nullopt;  // raw deflate
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(size);
  const int result = inflate(&z, Z_FINISH);
  const uLong produced = z.total_out;
  inflateEnd(&z);
  if (result != Z_STREAM_END || static_cast<qint64>(produced) != size) return std::nullopt;
  return out;
}

}  // namespace

std::optional<QByteArray> TkvReadZipEntry(const QString& zipPath, const QString& name,
                                          qint64 maxSize) {
  QFile file(zipPath);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const qint64 fileSize = file.size();
  if (fileSize < kEndSize) return std::nullopt;

  // The end record: the last signature within the largest comment's reach.
  const qint64 tailSize = std::min(fileSize, kEndSize + kMaxComment);
  const auto tail = ReadAt(file, fileSize - tailSize, tailSize);
  if (!tail) return std::nullopt;
  qint64 end = -1;
  for (qint64 at = tailSize - kEndSize; at >= 0; --at)
    if (Le32(*tail, at) == kEndOfDirectory) {
      end = at;
      break;
    }
  if (end < 0) return std::nullopt;
  const qint64 entries = Le16(*tail, end + 10);
  const qint64 directorySize = Le32(*tail, end + 12);
  const qint64 directoryOffset = Le32(*tail, end + 16);
  if (entries == 0xffff || directorySize > kMaxDirectory) return std::nullopt;  // Zip64 or absurd
  const auto directory = ReadAt(file, directoryOffset, directorySize);
  if (!directory) return std::nullopt;

  const QByteArray wanted = name.toUtf8();
  qint64 at = 0;
  for (qint64 i = 0; i < entries; ++i) {
    if (at + 46 > directory->size() || Le32(*directory, at) != kDirectoryEntry) return std::nullopt;
    const quint32 flags = Le16(*directory, at + 8);
    const quint32 method = Le16(*directory, at + 10);
    const quint32 crc = Le32(*directory, at + 16);
    const qint64 packedSize = Le32(*directory, at + 20);
    const qint64 size = Le32(*directory, at + 24);
    const qint64 nameLength = Le16(*directory, at + 28);
    const qint64 extraLength = Le16(*directory, at + 30);
    const qint64 commentLength = Le16(*directory, at + 32);
    const qint64 localOffset = Le32(*directory, at + 42);
    const qint64 next = at + 46 + nameLength + extraLength + commentLength;
    if (next > directory->size()) return std::nullopt;
    if (directory->mid(at + 46, nameLength) != wanted) {
      at = next;
      continue;
    }
    if ((flags & 1) != 0 || size > maxSize) return std::nullopt;  // encrypted, or too large
    const auto local = ReadAt(file, localOffset, 30);
    if (!local || Le32(*local, 0) != kLocalHeader) return std::nullopt;
    const qint64 dataOffset = localOffset + 30 + Le16(*local, 26) + Le16(*local, 28);
    const auto packed = ReadAt(file, dataOffset, packedSize);
    if (!packed) return std::nullopt;
    std::optional<QByteArray> data;
    if (method == 0 && packedSize == size) data = packed;
    if (method == 8) data = Inflate(*packed, size);
    if (!data || crc32(0, reinterpret_cast<const Bytef*>(data->constData()),
                       static_cast<uInt>(data->size())) != crc)
      return std::nullopt;
    return data;
  }
  return std::nullopt;
}
