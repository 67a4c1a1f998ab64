#include "batch/folder_walk.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

enum class EntryType { File, Folder, Other };

// The type of an entry, links followed; dangling links and anything that is
// neither a regular file nor a folder (pipes, sockets, devices) are Other.
EntryType TypeOf(int dirFd, const dirent* e) {
  switch (e->d_type) {
    case DT_REG:
      return EntryType::File;
    case DT_DIR:
      return EntryType::Folder;
    case DT_LNK:
    case DT_UNKNOWN: {
      struct stat st {};
      if (fstatat(dirFd, e->d_name, &st, 0) != 0) return EntryType::Other;
      if (S_ISREG(st.st_mode)) return EntryType::File;
      if (S_ISDIR(st.st_mode)) return EntryType::Folder;
      return EntryType::Other;
    }
    default:
      return EntryType::Other;
  }
}

bool IsDotOrDotDot(const char* n) {
  return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

qsizetype DigitsEnd(QStringView s, qsizetype from) {
  while (from < s.size() && IsDigit(s[from])) ++from;
  return from;
}

// <0, 0 or >0 as `a` comes before, level with or after `b` in name order,
// before the code-unit tie break.
int CompareNatural(QStringView a, QStringView b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      const qsizetype endA = DigitsEnd(a, i), endB = DigitsEnd(b, j);
      while (i + 1 < endA && a[i] == u'0') ++i;  // leading zeros do not count
      while (j + 1 < endB && b[j] == u'0') ++j;
      if (endA - i != endB - j) return endA - i < endB - j ? -1 : 1;
      for (; i < endA; ++i, ++j)
        if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
      j = endB;
      continue;
    }
    const char16_t x = a[i].toCaseFolded().unicode(), y = b[j].toCaseFolded().unicode();
    if (x != y) return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace

bool TkvNaturalLess(const QString& a, const QString& b) {
  const int order = CompareNatural(a, b);
  return order != 0 ? order < 0 : a < b;
}

class TkvFolderWalk::Impl {
 public:
  explicit Impl(TkvFolderWalk& w) : w_(w) {}

  void Walk(const QString& folder) {
    const QByteArray encoded = folder.isEmpty() ? QByteArray(".") : QFile::encodeName(folder);
    const int fd = open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !visited_.insert({st.st_dev, st.st_ino}).second) {
      close(fd);
      return;
    }
    DirHandle dir(fdopendir(fd));
    if (!dir) {
      close(fd);
      return;
    }
    std::vector<QString> files, subfolders;
    while (const dirent* e = readdir(dir.get())) {
      if (w_.stop_.load(std::memory_order_relaxed)) return;
      if (IsDotOrDotDot(e->d_name)) continue;
      const bool hidden = e->d_name[0] == '.';
      const EntryType type = TypeOf(dirfd(dir.get()), e);
      if (type == EntryType::Folder) {
        if (w_.options_.IncludeSubfolders && !hidden)
          subfolders.push_back(QFile::decodeName(e->d_name));
        continue;
      }
      if (type != EntryType::File) continue;
      if (hidden && w_.options_.SkipHidden) continue;
      if (w_.options_.SkipLockFiles && e->d_name[0] == '~' && e->d_name[1] == '$') continue;
      const QString name = QFile::decodeName(e->d_name);
      if (!w_.mask_.MatchesFolded(name.toCaseFolded())) continue;
      files.push_back(name);
    }
    dir.reset();
    std::sort(files.begin(), files.end(), TkvNaturalLess);
    std::sort(subfolders.begin(), subfolders.end(), TkvNaturalLess);
    for (const QString& name : files) {
      if (w_.stop_.load(std::memory_order_relaxed)) return;
      w_.onFile_(folder + name);
    }
    for (const QString& sub : subfolders) {
      if (w_.stop_.load(std::memory_order_relaxed)) return;
      Walk(folder + sub + u'/');
    }
  }

 private:
  TkvFolderWalk& w_;
  std::set<std::pair<dev_t, ino_t>> visited_;
};

TkvFolderWalk::TkvFolderWalk(Options options, const std::atomic<bool>& stop, FileEvent onFile)
    : options_(std::move(options)), mask_(options_.Mask), stop_(stop), onFile_(std::move(onFile)) {}

void TkvFolderWalk::Run(const QString& folder) {
  Impl impl(*this);
  impl.Walk(folder);
}
