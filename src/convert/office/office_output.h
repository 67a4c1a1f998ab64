#pragma once
// A file an office writes for a final path outside its own folders.

#include <QString>

#include <memory>

class TkvOfficeProcess;

// The office writes into its private temporary folder (Url), never into the
// final path's folder, where its own temporary and lock files would stay
// behind if it were killed; Place then moves the file into place atomically
// (TkvPartialFile). The staged file is removed when this object goes, and
// with the office's folder when the office ends. Owned by the thread that
// owns the office process.
class TkvOfficeOutput {
 public:
  // `process` (the calling thread's office when null) must be running:
  // raises TkvError otherwise.
  explicit TkvOfficeOutput(const QString& finalPath,
                           std::shared_ptr<TkvOfficeProcess> process = nullptr);
  ~TkvOfficeOutput();
  TkvOfficeOutput(const TkvOfficeOutput&) = delete;
  TkvOfficeOutput& operator=(const TkvOfficeOutput&) = delete;

  // The file: address to hand to the office's store call.
  QString Url() const;
  // The staged file's size (0 when the office wrote nothing).
  qint64 WrittenSize() const;
  // Moves the written file to the final path, replacing a file there only
  // once it is whole. Raises TkvError naming the final path when it cannot.
  void Place();

 private:
  QString finalPath_;
  QString staged_;
};
