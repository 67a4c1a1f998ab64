#pragma once
// Read-only access to the options a batch and its converters go by, read
// afresh at every call (the window's Config may change them during a run).
//
// Threads: every reader may be called from any thread; an implementation's
// OptionValue must be thread-safe (the project's option list locks). The
// profile is set before any thread starts and not changed while one runs.

#include "core/profile.h"

#include <QString>

enum class TkvOverwrite { Overwrite, OtherName, Skip };

class TkvOptionSource {
 public:
  // ThreadsCount is clamped to 1..kMaxThreadsCount: every thread runs an
  // office process of its own.
  static constexpr int kMaxThreadsCount = 64;
  static constexpr int kDefaultItemTimeout = 120;

  TkvOptionSource() = default;
  virtual ~TkvOptionSource() = default;
  TkvOptionSource(const TkvOptionSource&) = delete;
  TkvOptionSource& operator=(const TkvOptionSource&) = delete;

  // Value of the option `key` (letter case ignored); empty when not set.
  virtual QString OptionValue(const QString& key) const = 0;
  virtual const TkvProfile& Profile() const = 0;

  bool ReadBool(const QString& key, bool def) const;
  // A choice key of the option table, read as the table checks it
  // (TkvOptionChoice).
  QString Choice(const QString& key) const;
  int ReadInt(const QString& key, int def) const;

  int ThreadsCount() const;  // 1..kMaxThreadsCount, default 1
  TkvOverwrite OverwriteMode() const;
  bool KeepTargetSubdirs() const;
  bool KeepFileTime() const;
  bool DeleteSource() const;
  QString RenameSource() const;
  bool ReadOnly() const;
  bool SkipPassword() const;
  bool AllSheets() const;
  int Sheet() const;
  bool AllColumns() const;
  // Page layout of every sheet of the loaded copy (the source is never
  // saved). FitWidth: columns on one page wide, rows on as many pages as they
  // need (AllColumns wins). Orientation and PaperSize: a choice of the option
  // table in its spelling ("landscape", "A3"), or empty, which keeps each
  // sheet's own setting (also for a value that is none of the choices).
  bool FitWidth() const;
  QString Orientation() const;
  QString PaperSize() const;
  // PDF/A-2b output.
  bool PdfA() const;
  // Recalculation after loading: "Auto", "Always" or "Never"; Auto for an
  // empty value or one that is none of them.
  QString Recalculate() const;
  // Characters printed without a glyph: "Warn" or "Fail"; Warn for an empty
  // value or one that is neither.
  QString MissingGlyphs() const;
  QString PDFWriter() const;
  bool MultiInstance() const;
  QString RegExt() const;
  bool SkipHidden() const;
  // The shard text as written ("" no sharding, "K/N" or "auto"); parse it
  // with TkvParseShard.
  QString Shard() const;
  // Seconds one conversion may take, 0 for no limit; negative values and
  // text that is not a number give the default 120.
  int ItemTimeout() const;
};
