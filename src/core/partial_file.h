#pragma once
// A file written under a temporary name beside its final path and renamed
// into place only when complete, so that a process killed mid-write never
// leaves a half-written file under the final name.

#include <QString>

class TkvPartialFile {
 public:
  // `finalPath` is where the file belongs; nothing is created yet.
  explicit TkvPartialFile(const QString& finalPath);
  // Removes the temporary file unless it was committed.
  ~TkvPartialFile();
  TkvPartialFile(const TkvPartialFile&) = delete;
  TkvPartialFile& operator=(const TkvPartialFile&) = delete;

  // The hidden sibling of the final path to write to (same folder, so the
  // rename stays on one file system).
  const QString& Path() const { return partPath_; }
  // Renames the written file into place (an existing file there is
  // replaced: the caller has already applied its overwrite rule). False when
  // nothing was written or the rename failed; the temporary file is then
  // removed.
  bool Commit();

 private:
  QString finalPath_;
  QString partPath_;
  bool committed_ = false;
};
