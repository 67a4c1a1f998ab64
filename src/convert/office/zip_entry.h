#pragma once
// One member of a zip archive, read through the archive's central directory.

#include <QByteArray>
#include <QString>

#include <optional>

// The uncompressed bytes of the member `name` (exact, letter case kept) of
// the zip file at `zipPath`; nullopt when the file is no zip, has no such
// member, the member is encrypted, stored in a way other than "stored" or
// "deflated", larger than `maxSize` bytes, or damaged (sizes, offsets, the
// deflated stream or the checksum do not add up). Never reads beyond the file or allocates
// more than the central directory (at most 64 MiB) plus `maxSize`. Zip64
// archives are not read. Thread-safe.
std::optional<QByteArray> TkvReadZipEntry(const QString& zipPath, const QString& name,
                                          qint64 maxSize);
