#include "convert/glyph_check.h"

#include <QFile>
#include <QHash>
#include <QStringList>

#include <fontconfig/fontconfig.h>
#include <poppler-document.h>
#include <poppler-page.h>

#include <memory>
#include <string>
#include <unordered_map>

namespace {

constexpr int kNamed = 5;  // characters named in the message

// The fonts the office can draw with: the system's and its own. Built once
// (the first call, on any thread, under the static's guard) and only read
// afterwards, so lookups need no lock.
class InstalledFonts {
 public:
  static InstalledFonts& Instance() {
    static InstalledFonts fonts;
    return fonts;
  }
  // The character set of the installed font of PostScript name `name`
  // (subset prefix removed); null when no installed font has that name. Kept
  // for the life of the process.
  const FcCharSet* FontCharSet(const QString& name) const { return byName_.value(name); }
  // Whether some installed font has `c`.
  bool AnyHas(char32_t c) const { return all_ && FcCharSetHasChar(all_, c); }
  bool Ready() const { return config_ && all_; }
  // The office's own symbol font: text in a symbol face (Symbol, Wingdings)
  // is drawn with it, each character of U+0020..U+00FF converted to the
  // symbol it stands for, while the PDF's text keeps the character typed.
  const FcCharSet* OfficeSymbolFont() const { return FontCharSet(QStringLiteral("OpenSymbol")); }

 private:
  InstalledFonts() : config_(FcInitLoadConfigAndFonts()), all_(FcCharSetCreate()) {
    if (!config_) return;
    FcConfigAppFontAddDir(config_,
                          reinterpret_cast<const FcChar8*>("/usr/lib/libreoffice/share/fonts"));
    FcPattern* any = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_CHARSET, FC_POSTSCRIPT_NAME, nullptr);
    FcFontSet* set = FcFontList(config_, any, objects);
    for (int i = 0; set && i < set->nfont; ++i) {
      FcCharSet* chars = nullptr;
      if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &chars) != FcResultMatch) continue;
      FcCharSet* merged = FcCharSetUnion(all_, chars);
      FcCharSetDestroy(all_);
      all_ = merged;
      FcChar8* name = nullptr;
      if (FcPatternGetString(set->fonts[i], FC_POSTSCRIPT_NAME, 0, &name) != FcResultMatch)
        continue;
      // One name can stand for several files (a face as OpenType, Type 1
      // and PFB, whose character sets differ): the name has them all.
      FcCharSet*& named = byName_[QString::fromUtf8(reinterpret_cast<const char*>(name))];
      FcCharSet* both = named ? FcCharSetUnion(named, chars) : FcCharSetCopy(chars);
      if (named) FcCharSetDestroy(named);
      named = both;
    }
    if (set) FcFontSetDestroy(set);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(any);
  }
  ~InstalledFonts() {
    for (FcCharSet* chars : byName_) FcCharSetDestroy(chars);
    if (all_) FcCharSetDestroy(all_);
    if (config_) FcConfigDestroy(config_);
  }

  FcConfig* config_;
  FcCharSet* all_;
  QHash<QString, FcCharSet*> byName_;
};

QString ScriptName(char32_t c) {
  switch (QChar::script(c)) {
    case QChar::Script_Latin:
      return QStringLiteral("Latin");
    case QChar::Script_Greek:
      return QStringLiteral("Greek");
    case QChar::Script_Cyrillic:
      return QStringLiteral("Cyrillic");
    case QChar::Script_Hebrew:
      return QStringLiteral("Hebrew");
    case QChar::Script_Arabic:
      return QStringLiteral("Arabic");
    case QChar::Script_Devanagari:
      return QStringLiteral("Devanagari");
    case QChar::Script_Bengali:
      return QStringLiteral("Bengali");
    case QChar::Script_Tamil:
      return QStringLiteral("Tamil");
    case QChar::Script_Thai:
      return QStringLiteral("Thai");
    case QChar::Script_Hangul:
      return QStringLiteral("Hangul");
    case QChar::Script_Hiragana:
      return QStringLiteral("Hiragana");
    case QChar::Script_Katakana:
      return QStringLiteral("Katakana");
    case QChar::Script_Han:
      return QStringLiteral("Han");
    case QChar::Script_Ethiopic:
      return QStringLiteral("Ethiopic");
    case QChar::Script_Khmer:
      return QStringLiteral("Khmer");
    case QChar::Script_Myanmar:
      return QStringLiteral("Myanmar");
    case QChar::Script_Tibetan:
      return QStringLiteral("Tibetan");
    case QChar::Script_Common:
      return QStringLiteral("Common");
    default:
      return QStringLiteral("unknown");
  }
}

}  // namespace

void TkvMissingGlyphs::Add(const TkvMissingGlyphs& other) {
  count += other.count;
  for (char32_t c : other.first)
    if (first.size() < kNamed && !first.contains(c)) first.append(c);
}

QString TkvMissingGlyphs::Message() const {
  if (count == 0) return QString();
  QStringList named;
  for (char32_t c : first)
    named << QStringLiteral("U+%1 (%2 script)")
                 .arg(QString::number(c, 16).toUpper().rightJustified(4, u'0'), ScriptName(c));
  return QStringLiteral("%1 %2 as empty boxes (no installed font has %3): %4")
      .arg(count)
      .arg(count == 1 ? QStringLiteral("character prints") : QStringLiteral("characters print"),
           count == 1 ? QStringLiteral("it") : QStringLiteral("them"),
           named.join(QStringLiteral(", ")));
}

bool TkvDrawsNoGlyphOfItsOwn(char32_t c) {
  if (c <= 0x20 || c == 0xFFFD || QChar::isSpace(c)) return true;
  switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:  // combining marks, variation selectors
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Control:
    case QChar::Other_Format:  // soft hyphen, joiners, direction marks
    case QChar::Other_Surrogate:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return true;
    default:
      return false;
  }
}

TkvMissingGlyphs TkvFindMissingGlyphs(const poppler::document& document) {
  TkvMissingGlyphs missing;
  const InstalledFonts& fonts = InstalledFonts::Instance();
  if (!fonts.Ready()) return missing;
  // The character sets of the fonts this document draws with, by the name
  // the PDF gives (subset prefix included): one lookup per font.
  std::unordered_map<std::string, const FcCharSet*> drawing;
  auto charSetOf = [&](const std::string& pdfName) {
    const auto found = drawing.find(pdfName);
    if (found != drawing.end()) return found->second;
    QString name = QString::fromStdString(pdfName);
    if (name.indexOf(u'+') == 6) name = name.mid(7);
    return drawing.emplace(pdfName, fonts.FontCharSet(name)).first->second;
  };
  for (int p = 0; p < document.pages(); ++p) {
    const std::unique_ptr<poppler::page> page(document.create_page(p));
    if (!page) continue;
    for (const poppler::text_box& box : page->text_list(poppler::page::text_list_include_font)) {
      const std::vector<char> utf8 = box.text().to_utf8();
      const QList<uint> text =
          QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toUcs4();
      for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (TkvDrawsNoGlyphOfItsOwn(c)) continue;
        // Each character against the font that drew it: one word can mix
        // fonts (Latin and Han, Latin and Arabic, a letter and an emoji).
        const FcCharSet* font =
            box.has_font_info() ? charSetOf(box.get_font_name(static_cast<int>(i))) : nullptr;
        bool has = font ? FcCharSetHasChar(font, c) : fonts.AnyHas(c);
        // Symbol fonts draw a character of U+0020..U+00FF (a Symbol bullet is
        // U+00B7, "b" a beta) from their symbol range or, the office's own,
        // by conversion.
        if (!has && font && c <= 0xFF)
          has = font == fonts.OfficeSymbolFont() || FcCharSetHasChar(font, 0xF000 + c);
        if (has) continue;
        ++missing.count;
        if (missing.first.size() < kNamed && !missing.first.contains(c)) missing.first.append(c);
      }
    }
  }
  return missing;
}

TkvMissingGlyphs TkvFindMissingGlyphs(const QString& path) {
  const std::unique_ptr<poppler::document> document(
      poppler::document::load_from_file(QFile::encodeName(path).toStdString()));
  return document ? TkvFindMissingGlyphs(*document) : TkvMissingGlyphs{};
}
