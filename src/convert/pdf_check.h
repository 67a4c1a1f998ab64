#pragma once
// The check every written PDF passes before its item counts as a success.

#include "convert/glyph_check.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class TkvPartialFile;

// The page count of the PDF at `path`. Raises TkvError naming the file (as
// `shownAs` when given) when it is missing, empty, not a readable PDF or has
// no pages. Any thread.
int TkvCheckPdf(const QString& path, const QString& shownAs = QString());

// The PDF files one attempt of an item writes, and their pages in all. Each
// file is written under a temporary name beside its final one (Stage),
// checked (Check), and all of them are put in place together (Commit), so
// that an older file under a final name stays whole until the instant a
// checked new one replaces it. Files not committed are removed when the
// object is cleared or destroyed. Owned by the converter thread converting
// the item.
class TkvPdfOutputs {
 public:
  TkvPdfOutputs();
  ~TkvPdfOutputs();
  TkvPdfOutputs(const TkvPdfOutputs&) = delete;
  TkvPdfOutputs& operator=(const TkvPdfOutputs&) = delete;

  // The temporary path to write the PDF that belongs at `finalPath`.
  QString Stage(const QString& finalPath);
  // Checks the file written for the last Stage (raising as TkvCheckPdf,
  // naming the final path), finds the characters it draws without a glyph
  // (one parse for both) and records it under its final name.
  void Check();
  // Renames every checked file over its final name (files staged and never
  // checked are not put in place). Raises TkvError naming
  // the first that cannot be; the ones before it are in place.
  void Commit();
  // Forgets the files recorded and removes those not committed.
  void Clear();
  // The final names of the checked files, in the order written.
  const QStringList& Files() const { return files_; }
  int Pages() const { return pages_; }
  // The characters the checked files draw without a glyph, in all.
  const TkvMissingGlyphs& Missing() const { return missing_; }

 private:
  std::vector<std::unique_ptr<TkvPartialFile>> staged_;   // written or being written
  std::vector<std::unique_ptr<TkvPartialFile>> checked_;  // checked, in the order written
  QStringList files_;
  int pages_ = 0;
  TkvMissingGlyphs missing_;
};
