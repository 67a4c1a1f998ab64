#pragma once
// Zip archives made and read at test time with libzip (the library the
// program reads packages with): packages rebuilt member by member, Zip64
// ones, and members that inflate to hundreds of megabytes.

#include <QByteArray>
#include <QList>
#include <QString>

namespace tabrix::test {

struct ZipMember {
  QString name;
  QByteArray head;    // the member's bytes: head, `body` `repeat` times, tail
  QByteArray body{};  // streamed into the archive, never held whole
  qint64 repeat = 0;
  QByteArray tail{};
};

// Writes a deflated archive of `members`, then `emptyMembers` empty ones
// (more than 65535 members make it a Zip64 archive). False (and a test
// failure) when it cannot be written.
bool writeZip(const QString& path, const QList<ZipMember>& members, int emptyMembers = 0);
// The members of the archive at `path`, each whole in `head`; empty when unreadable.
QList<ZipMember> readZip(const QString& path);
// Whether the archive's end records are the Zip64 ones.
bool isZip64(const QString& path);

}  // namespace tabrix::test
