#pragma once
// A zip archive opened for reading (OOXML and OpenDocument packages), through
// libzip: Zip64 archives included. Members are read in pieces, so memory
// stays bounded whatever a member inflates to. One object is used on one
// thread at a time; different objects are independent.

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

struct zip;
struct zip_file;

// One member being read; closes it when destroyed.
class TkvZipMember {
 public:
  explicit TkvZipMember(zip_file* file) : file_(file) {}
  ~TkvZipMember();
  TkvZipMember(const TkvZipMember&) = delete;
  TkvZipMember& operator=(const TkvZipMember&) = delete;

  // Up to `size` inflated bytes into `into`: how many, 0 at the end, -1 when
  // the member is damaged (its stream or checksum does not add up).
  qint64 Read(char* into, qint64 size);

 private:
  zip_file* file_;
};

class TkvZipPackage {
 public:
  // Opens the archive at `path` read-only; IsOpen() is false when it cannot
  // be read as one (missing, no zip, cut off, inconsistent).
  explicit TkvZipPackage(const QString& path);
  ~TkvZipPackage();
  TkvZipPackage(const TkvZipPackage&) = delete;
  TkvZipPackage& operator=(const TkvZipPackage&) = delete;

  bool IsOpen() const { return archive_ != nullptr; }
  // The member names as stored.
  QStringList Names() const;
  // The member `name` (exact, letter case kept) opened for reading; null when
  // the package is not open, has no such member, or it is encrypted or
  // compressed by a method libzip does not read.
  std::unique_ptr<TkvZipMember> Open(const QString& name) const;
  // The whole member, when it inflates to at most `maxSize` bytes; nullopt
  // otherwise or when it cannot be read. For small parts only.
  std::optional<QByteArray> Read(const QString& name, qint64 maxSize) const;

 private:
  zip* archive_ = nullptr;
};
