#include "serve/zip_writer.h"

#include <zip.h>

#include <memory>

namespace {

struct SourceFree {
  void operator()(zip_source_t* source) const { zip_source_free(source); }
};
struct ArchiveDiscard {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Source = std::unique_ptr<zip_source_t, SourceFree>;

// The bytes libzip wrote into the buffer source `target`.
QByteArray Contents(zip_source_t* target) {
  if (zip_source_open(target) < 0) return {};
  QByteArray out;
  if (zip_source_seek(target, 0, SEEK_END) == 0) {
    const zip_int64_t size = zip_source_tell(target);
    if (size >= 0 && zip_source_seek(target, 0, SEEK_SET) == 0) {
      out.resize(static_cast<qsizetype>(size));
      if (zip_source_read(target, out.data(), static_cast<zip_uint64_t>(size)) != size) out.clear();
    }
  }
  zip_source_close(target);
  return out;
}

}  // namespace

void TkvZipWriter::Add(const QString& name, const QByteArray& data) {
  entries_.append({name.toUtf8(), data});
}

QByteArray TkvZipWriter::Finish() const {
  zip_error_t error;
  zip_error_init(&error);
  const Source target(zip_source_buffer_create(nullptr, 0, 0, &error));
  zip_error_fini(&error);
  if (!target) return {};
  // The archive writes into `target`, which outlives it: it is kept, not freed, on close.
  zip_source_keep(target.get());
  std::unique_ptr<zip_t, ArchiveDiscard> archive(
      zip_open_from_source(target.get(), ZIP_TRUNCATE, nullptr));
  if (!archive) {
    zip_source_free(target.get());  // the reference taken for the archive
    return {};
  }
  for (const auto& [name, data] : entries_) {
    // The entries' bytes stay in this object until the archive is closed.
    Source entry(zip_source_buffer(archive.get(), data.constData(),
                                   static_cast<zip_uint64_t>(data.size()), 0));
    if (!entry) return {};
    const zip_int64_t index =
        zip_file_add(archive.get(), name.constData(), entry.get(), ZIP_FL_ENC_UTF_8);
    if (index < 0) return {};
    static_cast<void>(entry.release());  // the archive owns it now
    if (zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) <
        0)
      return {};
  }
  if (zip_close(archive.get()) < 0) return {};
  static_cast<void>(archive.release());  // closed: freed by zip_close
  return Contents(target.get());
}
