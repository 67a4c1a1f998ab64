#pragma once
// The depth-first walk of a search: a folder's own matching files first, then
// each sub-folder, both in name order (TkvNaturalLess), so that every machine
// lists a tree in the same order. Runs on the calling thread; owns nothing
// that outlives Run().
//
// Files: regular files (symbolic links to them included) whose name matches
// the mask as a whole. Hidden (dot) files only when skipHidden is false;
// "~$" lock files never when skipLockFiles is true. Folders: hidden (dot)
// folders are never entered; a linked folder is entered, but every real
// folder at most once per walk, so links that loop back end.

#include "batch/name_mask.h"

#include <QString>

#include <atomic>
#include <functional>

// Name order of the walk: runs of digits compare by their number (book_2
// before book_10), other text without regard to letter case; names equal so
// far are ordered by their code units, so the order is total and the same
// under every locale.
bool TkvNaturalLess(const QString& a, const QString& b);

class TkvFolderWalk {
 public:
  struct Options {
    QString Mask;
    bool IncludeSubfolders = false;
    bool SkipHidden = false;
    bool SkipLockFiles = false;
  };
  // Called for every listed file with folder + name. An exception from it
  // ends the walk and passes to the caller of Run().
  using FileEvent = std::function<void(const QString& path)>;

  // `stop` is read after every entry; it must outlive the walk.
  TkvFolderWalk(Options options, const std::atomic<bool>& stop, FileEvent onFile);
  TkvFolderWalk(const TkvFolderWalk&) = delete;
  TkvFolderWalk& operator=(const TkvFolderWalk&) = delete;

  // Walks folder (ending in "/", or empty for the current folder). A folder
  // that cannot be listed contributes nothing.
  void Run(const QString& folder);

 private:
  class Impl;
  Options options_;
  TkvNameMask mask_;
  const std::atomic<bool>& stop_;
  FileEvent onFile_;
};
