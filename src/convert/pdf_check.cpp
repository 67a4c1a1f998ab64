#include "convert/pdf_check.h"

#include "core/error.h"

#include <QFile>
#include <QFileInfo>

#include <poppler-document.h>
#include <poppler-global.h>

#include <memory>
#include <mutex>

namespace {

// Poppler reports syntax errors of damaged files on stderr; the check's
// own message says what is wrong.
void QuietPoppler() {
  static std::once_flag once;
  std::call_once(
      once, [] { poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr); });
}

}  // namespace

int TkvCheckPdf(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile()) throw TkvError(QStringLiteral("The PDF file %1 was not written").arg(path));
  if (info.size() <= 0) throw TkvError(QStringLiteral("The PDF file %1 is empty").arg(path));
  QuietPoppler();
  const std::unique_ptr<poppler::document> document(
      poppler::document::load_from_file(QFile::encodeName(path).toStdString()));
  if (!document) throw TkvError(QStringLiteral("The file %1 is not a readable PDF").arg(path));
  const int pages = document->pages();
  if (pages < 1) throw TkvError(QStringLiteral("The PDF file %1 has no pages").arg(path));
  return pages;
}

void TkvPdfOutputs::Add(const QString& path) {
  pages_ += TkvCheckPdf(path);
  files_.append(path);
}

void TkvPdfOutputs::Clear() {
  files_.clear();
  pages_ = 0;
}
