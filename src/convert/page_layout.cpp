#include "convert/page_layout.h"

#include "convert/automation/auto_object.h"
#include "core/option_source.h"

#include <initializer_list>
#include <utility>

namespace {

// Values come checked by the option table: anything else keeps the sheet's own.
int Choice(const QString& value, std::initializer_list<std::pair<const char*, int>> choices) {
  for (const auto& [name, number] : choices)
    if (value.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return number;
  return 0;
}

}  // namespace

TkvPageLayout TkvPageLayout::Parse(bool fitWidth, const QString& orientation,
                                   const QString& paperSize, bool pdfA) {
  TkvPageLayout layout;
  layout.fitWidth = fitWidth;
  layout.orientation =
      Choice(orientation.trimmed(), {{"portrait", kPortrait}, {"landscape", kLandscape}});
  layout.paperSize = Choice(paperSize.trimmed(), {{"A3", kPaperA3},
                                                  {"A4", kPaperA4},
                                                  {"A5", kPaperA5},
                                                  {"Letter", kPaperLetter},
                                                  {"Legal", kPaperLegal}});
  layout.pdfA = pdfA;
  return layout;
}

TkvPageLayout TkvPageLayout::FromOptions(const TkvOptionSource& options) {
  return Parse(options.FitWidth(), options.Orientation(), options.PaperSize(), options.PdfA());
}

void TkvPageLayout::Apply(TkvAutoObject& workbook) const {
  if (!ChangesPages()) return;
  const int count =
      workbook.GetObject(QStringLiteral("Sheets"))->Get(QStringLiteral("Count")).ToInt();
  for (int i = 1; i <= count; ++i) {
    const auto pageSetup = workbook.GetObject(QStringLiteral("Sheets"), {std::int32_t(i)})
                               ->GetObject(QStringLiteral("PageSetup"));
    if (paperSize != 0) pageSetup->Put(QStringLiteral("PaperSize"), std::int32_t(paperSize));
    if (orientation != 0) pageSetup->Put(QStringLiteral("Orientation"), std::int32_t(orientation));
    if (fitWidth) {
      pageSetup->Put(QStringLiteral("Zoom"), false);
      pageSetup->Put(QStringLiteral("FitToPagesWide"), std::int32_t(1));
      pageSetup->Put(QStringLiteral("FitToPagesTall"), false);
    }
  }
}
