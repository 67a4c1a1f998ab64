#pragma once
// An office user-profile folder reserved for one office process at a time.

#include <QString>

// Holds an exclusive lock (flock) on "<root>/office-profile-<slot>.lock" and
// names the folder "<root>/office-profile-<slot>". The folder itself is kept
// between runs so that later runs skip the office's first-start cost; the lock
// is released when the object is destroyed (or the process ends). Slot numbers
// start at 1; a slot locked by another holder (another tabrix process or
// another converter thread) is passed over for the next number.
class TkvOfficeProfileSlot {
 public:
  // The default root, on storage local to this machine and named after it,
  // so that hosts sharing a home folder never share a profile or rely on
  // locks across the network: RootFor($TMPDIR, the cache folder
  // ($XDG_CACHE_HOME or ~/.cache), this host's name, the user id).
  static QString DefaultRoot();
  // "<tmpDir>/tabrix-<uid>/<host>" when tmpDir is not empty, else
  // "<cacheDir>/tabrix/<host>". A host name that could not be a folder name
  // ("", ".", "..", or with "/") is replaced by "host".
  static QString RootFor(const QString& tmpDir, const QString& cacheDir, const QString& host,
                         unsigned uid);

  // Raises TkvError when the root cannot be created or no slot up to
  // maxSlots can be locked.
  explicit TkvOfficeProfileSlot(const QString& root = DefaultRoot(), int maxSlots = 256);
  ~TkvOfficeProfileSlot();
  TkvOfficeProfileSlot(const TkvOfficeProfileSlot&) = delete;
  TkvOfficeProfileSlot& operator=(const TkvOfficeProfileSlot&) = delete;

  int Slot() const { return slot_; }
  const QString& Folder() const { return folder_; }
  // Removes the profile folder's contents (a damaged profile); the lock stays.
  void Reset();

 private:
  int fd_ = -1;
  int slot_ = 0;
  QString folder_;
};
