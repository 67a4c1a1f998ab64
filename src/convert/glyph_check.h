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

namespace poppler {
class document;
}

// Characters of `document` drawn without a glyph: each one tested against the
// font that drew it (an installed font of that name; any installed font when
// the PDF's font is none of them); what draws no glyph of its own is never
// counted. Any thread.
TkvMissingGlyphs TkvFindMissingGlyphs(const poppler::document& document);
// The same for the PDF at `path`; an unreadable file has none.
TkvMissingGlyphs TkvFindMissingGlyphs(const QString& path);

// Combining and enclosing marks, format and control characters (soft
// hyphen, joiners, variation selectors, direction marks), spaces and
// separators: drawn with the character before them or not at all.
bool TkvDrawsNoGlyphOfItsOwn(char32_t c);
