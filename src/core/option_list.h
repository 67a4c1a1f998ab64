#pragma once
// The option list: ordered "key=value" text lines. Keys are matched without
// letter case; the first line of a key wins; nothing is trimmed; lines
// without "=" are kept but found by no key.
//
// Thread-safe: every operation takes the list's own lock, so converter
// threads may read while the UI thread writes.

#include "core/mutex.h"

#include <QString>
#include <QStringList>

class TkvOptionList {
 public:
  TkvOptionList() = default;
  TkvOptionList(const TkvOptionList&) = delete;
  TkvOptionList& operator=(const TkvOptionList&) = delete;

  // Value of the first line with the key; empty when none has it.
  QString Value(const QString& key) const;
  // A non-empty value replaces the first line of the key in place (spelled
  // as given here) or is appended; an empty value deletes that line.
  void SetValue(const QString& key, const QString& value);

  // Replaces all lines by the lines of `text` (see TkvSplitLines).
  void SetText(const QString& text);
  // Every line followed by CR LF.
  QString Text() const;
  QStringList Lines() const;
  void SetLines(const QStringList& lines);
  int Count() const;
  void Clear();

  // Replaces the list by the file's lines. Throws TkvError naming the path
  // when the file cannot be read; the list is then unchanged.
  void LoadFromFile(const QString& path);
  // Writes the list in the project-file format; throws TkvError naming the
  // path on failure.
  void SaveToFile(const QString& path) const;

 private:
  int IndexOfLocked(const QString& key) const REQUIRES(mutex_);

  mutable TkvMutex mutex_;
  QStringList lines_ GUARDED_BY(mutex_);
};

// Boolean reading: a decimal number is true when not 0; "True"/"False" in any
// letter case; anything else gives `def`.
bool TkvStrToBool(const QString& text, bool def);
// Integer reading: leading blanks, optional sign, decimal digits or hex after
// "$", "x" or "0x"; anything else (trailing text, beyond 32 bits) gives `def`.
int TkvStrToInt(const QString& text, int def);
// Splits at CR LF, LF or CR; a NUL ends the text; a final line end gives no
// empty line.
QStringList TkvSplitLines(const QString& text);
