#include "support/zip_files.h"

#include <QFile>

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cstring>

namespace tabrix::test {

namespace {

// Streams a member's head, repeated body and tail to libzip.
struct Stream {
  const ZipMember* member;
  qint64 at = 0;  // bytes handed out

  qint64 Size() const {
    return member->head.size() + member->body.size() * member->repeat + member->tail.size();
  }
  // The next `length` bytes of the member (fewer at its end) into `into`.
  qint64 Read(char* into, qint64 length) {
    qint64 done = 0;
    while (done < length && at < Size()) {
      const qint64 bodyEnd = member->head.size() + member->body.size() * member->repeat;
      const QByteArray* part = &member->tail;
      qint64 offset = at - bodyEnd;
      if (at < member->head.size()) {
        part = &member->head;
        offset = at;
      } else if (at < bodyEnd) {
        part = &member->body;
        offset = (at - member->head.size()) % member->body.size();
      }
      const qint64 count = std::min(length - done, part->size() - offset);
      std::memcpy(into + done, part->constData() + offset, size_t(count));
      done += count;
      at += count;
    }
    return done;
  }
};

zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto* stream = static_cast<Stream*>(state);
  switch (command) {
    case ZIP_SOURCE_OPEN:
      stream->at = 0;
      return 0;
    case ZIP_SOURCE_READ:
      return stream->Read(static_cast<char*>(data), qint64(length));
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->size = zip_uint64_t(stream->Size());
      st->mtime = 0;
      st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(nullptr, data, length);
    case ZIP_SOURCE_FREE:
      delete stream;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return ZIP_SOURCE_SUPPORTS_READABLE;
    default:
      return -1;
  }
}

}  // namespace

bool writeZip(const QString& path, const QList<ZipMember>& members, int emptyMembers) {
  QFile::remove(path);
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_EXCL, &error);
  bool ok = archive != nullptr;
  for (const ZipMember& member : members) {
    if (!ok) break;
    zip_source_t* source = zip_source_function(archive, Callback, new Stream{&member});
    const zip_int64_t index =
        source ? zip_file_add(archive, member.name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8)
               : -1;
    if (index < 0) zip_source_free(source);
    // The fastest level: a member of hundreds of megabytes is written in seconds.
    ok = index >= 0 &&
         zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, 1) == 0;
  }
  for (int i = 0; ok && i < emptyMembers; ++i) {
    zip_source_t* source = zip_source_buffer(archive, nullptr, 0, 0);
    ok = source && zip_file_add(archive, QByteArray("pad/" + QByteArray::number(i)).constData(),
                                source, 0) >= 0;
    if (!ok) zip_source_free(source);
  }
  if (archive && (!ok || zip_close(archive) != 0)) {
    zip_discard(archive);
    ok = false;
  }
  if (!ok) ADD_FAILURE() << "cannot write the zip " << path.toStdString();
  return ok;
}

QList<ZipMember> readZip(const QString& path) {
  QList<ZipMember> members;
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
  if (!archive) return members;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(i), 0);
    if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0 || !file) {
      if (file) zip_fclose(file);
      members.clear();
      break;
    }
    QByteArray data(qsizetype(st.size), Qt::Uninitialized);
    const bool read = zip_fread(file, data.data(), st.size) == zip_int64_t(st.size);
    zip_fclose(file);
    if (!read) {
      members.clear();
      break;
    }
    members.append({QString::fromUtf8(st.name), data});
  }
  zip_discard(archive);
  return members;
}

bool isZip64(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const qint64 size = file.size();
  file.seek(std::max<qint64>(0, size - 200));
  const QByteArray end = file.readAll();
  return end.contains(QByteArray("PK\x06\x06", 4)) && end.contains(QByteArray("PK\x06\x07", 4));
}

}  // namespace tabrix::test
