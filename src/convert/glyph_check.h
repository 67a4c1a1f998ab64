#pragma once
// Characters a written PDF draws without a glyph: no installed font (nor the
// office's own) has them, or the font that draws them lacks them, so they
// print as empty boxes although text extraction still shows them.

#include <QList>
#include <QString>

struct TkvMissingGlyphs {
  int count = 0;          // characters drawn without a glyph, repeats included
  QList<char32_t> first;  // the first few distinct ones, in order
  void Add(const TkvMissingGlyphs& other);
  // "3 characters print as empty boxes (no installed font has them): U+F0000
  // (unknown script), …"; empty when none.
  QString Message() const;
};

// Reads the PDF at `path` (any thread); an unreadable file has none.
TkvMissingGlyphs TkvFindMissingGlyphs(const QString& path);
