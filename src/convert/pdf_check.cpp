#include "convert/pdf_check.h"

#include "convert/glyph_check.h"

#include "core/error.h"
#include "core/partial_file.h"

#include <QFile>
#include <QFileInfo>

#include <poppler-document.h>
#include <poppler-global.h>

#include <memory>
#include <mutex>

namespace {

// A one-page PDF held open for the life of the process: poppler builds its
// global state (font tables, the built-in encodings) when the first
// document opens and frees it when the last one closes, which cost every
// check a fresh build.
constexpr char kKeeper[] =
    "%PDF-1.4\n1 0 obj\n<</Type/Catalog/Pages 2 0 R>>\nendobj\n2 0 obj\n<</Type/Pages/Kids[3 0 "
    "R]/Count 1>>\nendobj\n3 0 obj\n<</Type/Page/Parent 2 0 R/MediaBox[0 0 10 10]>>\nendobj\n"
    "xref\n0 4\n0000000000 65535 f \n0000000009 00000 n \n0000000054 00000 n \n0000000105 00000 "
    "n \ntrailer\n<</Size 4/Root 1 0 R>>\nstartxref\n168\n%%EOF\n";

// Poppler reports syntax errors of damaged files on stderr; the check's
// own message says what is wrong. Any thread; the first call sets up.
void PreparePoppler() {
  static std::once_flag once;
  std::call_once(once, [] {
    poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
    static const std::unique_ptr<poppler::document> keeper(
        poppler::document::load_from_raw_data(kKeeper, static_cast<int>(sizeof kKeeper - 1)));
  });
}

}  // namespace

namespace {

// The checks of one file on one parse: its pages, and when asked the
// characters it draws without a glyph.
int CheckPdf(const QString& path, const QString& shownAs, TkvMissingGlyphs* missing) {
  const QString shown = shownAs.isEmpty() ? path : shownAs;
  const QFileInfo info(path);
  if (!info.isFile()) throw TkvError(QStringLiteral("The PDF file %1 was not written").arg(shown));
  if (info.size() <= 0) throw TkvError(QStringLiteral("The PDF file %1 is empty").arg(shown));
  PreparePoppler();
  const std::unique_ptr<poppler::document> document(
      poppler::document::load_from_file(QFile::encodeName(path).toStdString()));
  if (!document) throw TkvError(QStringLiteral("The file %1 is not a readable PDF").arg(shown));
  const int pages = document->pages();
  if (pages < 1) throw TkvError(QStringLiteral("The PDF file %1 has no pages").arg(shown));
  if (missing) missing->Add(TkvFindMissingGlyphs(*document));
  return pages;
}

}  // namespace

int TkvCheckPdf(const QString& path, const QString& shownAs) {
  return CheckPdf(path, shownAs, nullptr);
}

TkvPdfOutputs::TkvPdfOutputs() = default;
TkvPdfOutputs::~TkvPdfOutputs() = default;

QString TkvPdfOutputs::Stage(const QString& finalPath) {
  staged_.push_back(std::make_unique<TkvPartialFile>(finalPath));
  return staged_.back()->Path();
}

void TkvPdfOutputs::Check() {
  if (staged_.empty()) return;
  std::unique_ptr<TkvPartialFile> last = std::move(staged_.back());
  staged_.pop_back();  // checked or not, no longer the last Stage
  TkvMissingGlyphs missing;
  pages_ += CheckPdf(last->Path(), last->FinalPath(), &missing);  // a broken PDF goes with `last`
  missing_.Add(missing);
  files_.append(last->FinalPath());
  checked_.push_back(std::move(last));
}

void TkvPdfOutputs::Commit() {
  for (const auto& part : checked_)
    if (!part->Commit())
      throw TkvError(
          QStringLiteral("The PDF file %1 cannot be put in place").arg(part->FinalPath()));
}

void TkvPdfOutputs::Clear() {
  staged_.clear();
  checked_.clear();
  files_.clear();
  pages_ = 0;
  missing_ = TkvMissingGlyphs{};
}
