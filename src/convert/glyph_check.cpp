#include "convert/glyph_check.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QStringList>

#include <fontconfig/fontconfig.h>
#include <poppler-document.h>
#include <poppler-page.h>

#include <memory>
#include <mutex>

namespace {

constexpr int kNamed = 5;  // characters named in the message

// The fonts the office can draw with: the system's and its own. Built once,
// kept for the life of the process; the lookups are serialised.
class InstalledFonts {
 public:
  static InstalledFonts& Instance() {
    static InstalledFonts fonts;
    return fonts;
  }
  // No font covers `c`, or the font named `drawnBy` (a PostScript name,
  // subset prefix removed) is installed and lacks it.
  bool Missing(char32_t c, const QString& drawnBy) {
    QMutexLocker lock(&mutex_);
    if (!config_ || !all_) return false;
    if (!FcCharSetHasChar(all_, c)) return true;
    const FcCharSet* font = FontCharSet(drawnBy);
    return font && !FcCharSetHasChar(font, c);
  }

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
      if (FcPatternGetString(set->fonts[i], FC_POSTSCRIPT_NAME, 0, &name) == FcResultMatch)
        byName_.insert(QString::fromUtf8(reinterpret_cast<const char*>(name)),
                       FcCharSetCopy(chars));
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
  const FcCharSet* FontCharSet(const QString& name) const { return byName_.value(name); }

  QMutex mutex_;
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

TkvMissingGlyphs TkvFindMissingGlyphs(const QString& path) {
  TkvMissingGlyphs missing;
  const std::unique_ptr<poppler::document> document(
      poppler::document::load_from_file(QFile::encodeName(path).toStdString()));
  if (!document) return missing;
  InstalledFonts& fonts = InstalledFonts::Instance();
  for (int p = 0; p < document->pages(); ++p) {
    const std::unique_ptr<poppler::page> page(document->create_page(p));
    if (!page) continue;
    for (const poppler::text_box& box : page->text_list(poppler::page::text_list_include_font)) {
      QString font = QString::fromStdString(box.has_font_info() ? box.get_font_name(0) : "");
      if (const qsizetype plus = font.indexOf(u'+'); plus == 6) font = font.mid(plus + 1);
      const std::vector<char> utf8 = box.text().to_utf8();
      const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
      for (const char32_t c : text.toUcs4()) {
        if (c <= 0x20 || c == 0xFFFD || QChar::isSpace(c) ||
            QChar::category(c) == QChar::Other_Control)
          continue;
        if (!fonts.Missing(c, font)) continue;
        ++missing.count;
        if (missing.first.size() < kNamed && !missing.first.contains(c)) missing.first.append(c);
      }
    }
  }
  return missing;
}
