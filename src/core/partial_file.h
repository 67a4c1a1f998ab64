#pragma once
// A file written under a temporary name beside its final path and renamed
// into place only when complete, so that a process killed mid-write never
// leaves a half-written file under the final name, and an old file there
// stays whole until the instant it is replaced.

#include <QString>

class TkvPartialFile {
 public:
  // `finalPath` is where the file belongs; nothing is created yet.
  explicit TkvPartialFile(const QString& finalPath);
  // Removes the temporary file unless it was committed.
  ~TkvPartialFile();
  TkvPartialFile(const TkvPartialFile&) = delete;
  TkvPartialFile& operator=(const TkvPartialFile&) = delete;

  // The temporary file to write to, in the final path's folder (so the
  // rename stays on one file system): "<folder>/" + NameOf(this process, n).
  // Its length does not depend on the final name's.
  const QString& Path() const { return partPath_; }
  const QString& FinalPath() const { return finalPath_; }
  // Makes the file at `written` (any folder, any file system) the temporary
  // file: renamed, or copied and then removed. False when it cannot be.
  bool Take(const QString& written);
  // Flushes the written file to disk and renames it into place (an existing
  // file there is replaced: the caller has already applied its overwrite
  // rule). False when nothing was written or the rename failed; the
  // temporary file is then removed.
  bool Commit();

  // ".tabrix-<machine>-<pid>-<n>.part": <machine> is eight hex digits
  // telling this machine's boot and process-id space from others' sharing
  // the folder, so that process ids are compared only where they mean the
  // same process.
  static QString NameOf(long long pid, unsigned n);
  // Removes from `folder` (not its sub-folders) the temporary files of
  // processes that are gone: those of this machine whose process no longer
  // exists, and those of another machine or boot last changed more than a
  // day ago. Nothing else is touched. Returns how many were removed.
  static int RemoveLeftovers(const QString& folder);

 private:
  QString finalPath_;
  QString partPath_;
  bool committed_ = false;
};

// Whether the process with this id is gone. Processes of another user count
// as present.
bool TkvProcessGone(long long pid);
