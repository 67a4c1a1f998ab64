#pragma once
// An existing target PDF moved aside for the length of one conversion.

#include <QString>

// Overwriting a target must not cost the user's earlier PDF when the new
// conversion fails: the old file is renamed to a hidden sibling
// (".<name>.tabrix-old-<pid>-<n>") for the conversion to write a fresh file,
// put back over whatever a failed attempt left unless Commit() was called,
// and deleted after a Commit(). Nothing happens when the target does not
// exist or is a folder. When the old file cannot be moved it is deleted, as
// before a plain overwrite.
//
// Lives on the converter's thread for one item; never raises.
class TkvTargetBackup {
 public:
  explicit TkvTargetBackup(const QString& target);
  ~TkvTargetBackup();
  TkvTargetBackup(const TkvTargetBackup&) = delete;
  TkvTargetBackup& operator=(const TkvTargetBackup&) = delete;

  // The conversion succeeded: the old file goes when this object does.
  void Commit() noexcept { committed_ = true; }
  // Where the old file waits; empty when none was moved.
  const QString& BackupPath() const { return backup_; }

 private:
  QString target_;
  QString backup_;
  bool committed_ = false;
};
