#include "convert/office/zip_package.h"

#include <QFile>

#include <zip.h>

TkvZipMember::~TkvZipMember() { zip_fclose(file_); }

qint64 TkvZipMember::Read(char* into, qint64 size) {
  return zip_fread(file_, into, static_cast<zip_uint64_t>(size));
}

TkvZipPackage::TkvZipPackage(const QString& path) {
  int error = 0;
  archive_ = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
}

TkvZipPackage::~TkvZipPackage() {
  if (archive_) zip_discard(archive_);
}

QStringList TkvZipPackage::Names() const {
  QStringList names;
  if (!archive_) return names;
  const zip_int64_t count = zip_get_num_entries(archive_, 0);
  for (zip_int64_t i = 0; i < count; ++i)
    if (const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS))
      names.append(QString::fromUtf8(name));
  return names;
}

std::unique_ptr<TkvZipMember> TkvZipPackage::Open(const QString& name) const {
  if (!archive_) return nullptr;
  zip_file_t* file = zip_fopen(archive_, name.toUtf8().constData(), 0);
  return file ? std::make_unique<TkvZipMember>(file) : nullptr;
}

std::optional<QByteArray> TkvZipPackage::Read(const QString& name, qint64 maxSize) const {
  const std::unique_ptr<TkvZipMember> member = Open(name);
  if (!member) return std::nullopt;
  QByteArray bytes;
  char buffer[16384];
  for (;;) {
    const qint64 got = member->Read(buffer, sizeof buffer);
    if (got < 0 || bytes.size() + got > maxSize) return std::nullopt;
    if (got == 0) return bytes;
    bytes.append(buffer, got);
  }
}
