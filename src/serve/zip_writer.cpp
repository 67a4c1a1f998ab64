#include "serve/zip_writer.h"

#include <zlib.h>

namespace {

void Put16(QByteArray& out, quint32 value) {
  out.append(static_cast<char>(value & 0xff));
  out.append(static_cast<char>((value >> 8) & 0xff));
}

void Put32(QByteArray& out, quint32 value) {
  Put16(out, value & 0xffff);
  Put16(out, value >> 16);
}

}  // namespace

void TkvZipWriter::Add(const QString& name, const QByteArray& data) {
  const QByteArray fileName = name.toUtf8();
  const auto crc = static_cast<quint32>(
      crc32(0L, reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
  const auto size = static_cast<quint32>(data.size());
  const auto offset = static_cast<quint32>(entries_.size());
  constexpr quint32 kUtf8Names = 0x0800;
  constexpr quint32 kDosDate = (45u << 9) | (1u << 5) | 1u;  // 2025-01-01

  QByteArray local;
  Put32(local, 0x04034b50);
  Put16(local, 20);  // version needed
  Put16(local, kUtf8Names);
  Put16(local, 0);  // stored
  Put16(local, 0);  // time
  Put16(local, kDosDate);
  Put32(local, crc);
  Put32(local, size);
  Put32(local, size);
  Put16(local, static_cast<quint32>(fileName.size()));
  Put16(local, 0);
  entries_ += local + fileName + data;

  Put32(directory_, 0x02014b50);
  Put16(directory_, 20);  // made by
  Put16(directory_, 20);
  Put16(directory_, kUtf8Names);
  Put16(directory_, 0);
  Put16(directory_, 0);
  Put16(directory_, kDosDate);
  Put32(directory_, crc);
  Put32(directory_, size);
  Put32(directory_, size);
  Put16(directory_, static_cast<quint32>(fileName.size()));
  Put16(directory_, 0);  // extra
  Put16(directory_, 0);  // comment
  Put16(directory_, 0);  // disk
  Put16(directory_, 0);  // internal attributes
  Put32(directory_, 0);  // external attributes
  Put32(directory_, offset);
  directory_ += fileName;
  ++count_;
}

QByteArray TkvZipWriter::Finish() const {
  QByteArray out = entries_ + directory_;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<quint32>(count_));
  Put16(out, static_cast<quint32>(count_));
  Put32(out, static_cast<quint32>(directory_.size()));
  Put32(out, static_cast<quint32>(entries_.size()));
  Put16(out, 0);
  return out;
}
