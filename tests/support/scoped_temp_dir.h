#pragma once
// Test helpers shared by every layer's tests.

#include <QByteArray>
#include <QString>

namespace tabrix::test {

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes out of scope.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // The folder's path, without a trailing separator.
  const QString& path() const { return path_; }
  // path() + "/" + relative.
  QString file(const QString& relative) const;
  // Writes bytes to a file below the folder, creating its parent folders.
  QString write(const QString& relative, const QByteArray& bytes) const;

 private:
  QString path_;
};

// Reads a whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);

// A file name whose writes fail for want of space, like /dev/full, that a
// faulty writer may replace without harm: a node of that device in `temp`
// where one can be made, /dev/full itself for a process that cannot replace
// it (not root), otherwise empty.
QString fullDevice(const ScopedTempDir& temp);

// The source tree's root (from TABRIX_SOURCE_DIR, set by CTest).
QString sourceDir();
// ../shared/corpus/realworld next to the checkout, or empty when absent.
QString realworldCorpusDir();

}  // namespace tabrix::test
