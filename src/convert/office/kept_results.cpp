#include "convert/office/kept_results.h"

#include "convert/automation/auto_object.h"
#include "convert/office/changes_allowed.h"
#include "convert/office/office_layout.h"
#include "convert/office/ooxml_parts.h"
#include "convert/office/recalculation.h"
#include "convert/office/stored_cells.h"
#include "convert/office/uno_object.h"
#include "convert/office/uno_runtime.h"

#include <algorithm>
#include <optional>
#include <vector>

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>

using namespace css;

namespace tabrix::office {

namespace {

constexpr int kNamed = 3;  // cells named in a warning

// The formulas of one kind of outcome, counted, the first few named.
struct Outcome {
  int count = 0;
  QStringList named;
  void Add(const QString& text) {
    ++count;
    if (named.size() < kNamed) named << text;
  }
  QString List() const {
    QString list = named.join(QStringLiteral("; "));
    if (count > named.size()) list += QStringLiteral("; %1 more").arg(count - named.size());
    return list;
  }
};

QString Formulas(int count) {
  return count == 1 ? QStringLiteral("1 formula") : QStringLiteral("%1 formulas").arg(count);
}

// 'Sheet name'!C7, quoted as the spreadsheet application quotes it.
QString CellName(const QString& sheet, const TkvCellRef& ref) {
  bool plain = !sheet.isEmpty() && !sheet[0].isDigit();
  for (const QChar c : sheet) plain = plain && (c.isLetterOrNumber() || c == u'_' || c == u'.');
  const QString quoted =
      plain ? sheet : u'\'' + QString(sheet).replace(u'\'', QStringLiteral("''")) + u'\'';
  return quoted + u'!' + ref.Name();
}

QString StoredText(const TkvStoredCell& stored) {
  switch (stored.kind) {
    case TkvStoredCell::Kind::Text:
      return u'"' + stored.text + u'"';
    case TkvStoredCell::Kind::Boolean:
      return stored.number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    default:
      return stored.text.trimmed();
  }
}

// What a kept text or truth value prints.
QString ShownText(const TkvStoredCell& stored) {
  return stored.kind == TkvStoredCell::Kind::Boolean ? StoredText(stored) : stored.text;
}

uno::Any StoredAny(const TkvStoredCell& stored) {
  return stored.kind == TkvStoredCell::Kind::Number ? uno::Any(stored.number)
                                                    : uno::Any(ToOU(ShownText(stored)));
}

std::vector<TkvCellRef> CellsOf(const table::CellRangeAddress& a) {
  std::vector<TkvCellRef> cells;
  for (sal_Int32 r = a.StartRow; r <= a.EndRow; ++r)
    for (sal_Int32 c = a.StartColumn; c <= a.EndColumn; ++c) cells.push_back(TkvCellRef{r, c});
  return cells;
}

uno::Sequence<table::CellRangeAddress> ErrorRanges(
    const uno::Reference<sheet::XSpreadsheet>& sheet) {
  const uno::Reference<sheet::XSheetCellRanges> errors =
      uno::Reference<sheet::XCellRangesQuery>(sheet, uno::UNO_QUERY_THROW)
          ->queryFormulaCells(sheet::FormulaResult::ERROR);
  return errors.is() ? errors->getRangeAddresses() : uno::Sequence<table::CellRangeAddress>();
}

QString Shown(const uno::Reference<sheet::XSpreadsheet>& sheet, const TkvCellRef& ref) {
  return ToQ(uno::Reference<text::XText>(sheet->getCellByPosition(ref.column, ref.row),
                                         uno::UNO_QUERY_THROW)
                 ->getString());
}

// Gives the cells of `range` in `keep` (null: the error stays) their stored
// results: one call when every cell of the range gets one.
void Keep(const uno::Reference<sheet::XSpreadsheet>& sheet, const table::CellRangeAddress& range,
          const std::vector<const TkvStoredCell*>& keep) {
  const sal_Int32 width = range.EndColumn - range.StartColumn + 1;
  if (std::all_of(keep.begin(), keep.end(), [](const TkvStoredCell* c) { return c; })) {
    uno::Sequence<uno::Sequence<uno::Any>> rows(range.EndRow - range.StartRow + 1);
    for (sal_Int32 r = 0; r < rows.getLength(); ++r) {
      uno::Sequence<uno::Any> row(width);
      for (sal_Int32 c = 0; c < width; ++c)
        row.getArray()[c] = StoredAny(
            *keep[static_cast<size_t>(r) * static_cast<size_t>(width) + static_cast<size_t>(c)]);
      rows.getArray()[r] = row;
    }
    uno::Reference<sheet::XCellRangeData>(
        sheet->getCellRangeByPosition(range.StartColumn, range.StartRow, range.EndColumn,
                                      range.EndRow),
        uno::UNO_QUERY_THROW)
        ->setDataArray(rows);
    return;
  }
  for (size_t i = 0; i < keep.size(); ++i) {
    if (!keep[i]) continue;
    const uno::Reference<table::XCell> cell =
        sheet->getCellByPosition(range.StartColumn + static_cast<sal_Int32>(i) % width,
                                 range.StartRow + static_cast<sal_Int32>(i) / width);
    if (keep[i]->kind == TkvStoredCell::Kind::Number)
      cell->setValue(keep[i]->number);
    else
      uno::Reference<text::XText>(cell, uno::UNO_QUERY_THROW)->setString(ToOU(ShownText(*keep[i])));
  }
}

}  // namespace

QStringList KeepStoredResults(const uno::Reference<lang::XComponent>& document,
                              const TkvZipPackage* package) {
  const uno::Reference<container::XIndexAccess> sheets(
      uno::Reference<sheet::XSpreadsheetDocument>(document, uno::UNO_QUERY_THROW)->getSheets(),
      uno::UNO_QUERY_THROW);
  const sal_Int32 count = sheets->getCount();
  std::optional<std::vector<QString>> parts;  // read once a sheet needs them
  TkvStoredCalc calc;
  bool full = false;     // the workbook asks for a full calculation: stores placeholders
  bool unknown = false;  // a sheet whose stored results cannot be read
  std::optional<ChangesAllowed> allowed;
  // The stored results of the error cells of the sheets that have any.
  std::vector<std::optional<QHash<quint64, TkvStoredCell>>> stored(static_cast<size_t>(count));
  Outcome kept, printed;
  for (sal_Int32 s = 0; s < count; ++s) {
    const uno::Reference<sheet::XSpreadsheet> sheet(sheets->getByIndex(s), uno::UNO_QUERY_THROW);
    const uno::Sequence<table::CellRangeAddress> ranges = ErrorRanges(sheet);
    if (!ranges.hasElements()) continue;
    if (!parts) {
      parts = package ? TkvOoxmlSheetParts(*package).value_or(std::vector<QString>{})
                      : std::vector<QString>{};
      full = package && TkvReadStoredCalc(*package, &calc) && calc.fullCalcOnLoad;
    }
    QSet<quint64> wanted;
    for (const table::CellRangeAddress& a : ranges)
      for (const TkvCellRef& ref : CellsOf(a)) wanted.insert(ref.Key());
    // Not the sheets the office loaded (or no package): nothing stored is known.
    const bool known = static_cast<sal_Int32>(parts->size()) == count;
    unknown = unknown || !known;
    auto& results = stored[static_cast<size_t>(s)];
    results = known ? TkvReadStoredCells(*package, (*parts)[static_cast<size_t>(s)], wanted)
                          .value_or(QHash<quint64, TkvStoredCell>{})
                    : QHash<quint64, TkvStoredCell>{};
    const QString name =
        ToQ(uno::Reference<container::XNamed>(sheet, uno::UNO_QUERY_THROW)->getName());
    for (const table::CellRangeAddress& a : ranges) {
      std::vector<const TkvStoredCell*> keep;  // null: the error stays
      for (const TkvCellRef& ref : CellsOf(a)) {
        const auto found = results->constFind(ref.Key());
        const bool keepIt = found != results->constEnd() && !full && !found->Placeholder() &&
                            found->kind != TkvStoredCell::Kind::Error;
        keep.push_back(keepIt ? &*found : nullptr);
        if (!keepIt) continue;
        if (kept.named.size() < kNamed)
          kept.Add(QStringLiteral("%1: %2, kept the stored %3")
                       .arg(CellName(name, ref), Shown(sheet, ref), StoredText(*found)));
        else
          ++kept.count;
      }
      if (std::none_of(keep.begin(), keep.end(), [](const TkvStoredCell* c) { return c; }))
        continue;
      if (!allowed)
        allowed.emplace(uno::Reference<beans::XPropertySet>(document, uno::UNO_QUERY_THROW));
      Keep(sheet, a, keep);
    }
  }
  // The errors left once the kept results have reached the formulas that
  // use them, but for the ones the workbook stores as errors.
  for (sal_Int32 s = 0; s < count; ++s) {
    const auto& results = stored[static_cast<size_t>(s)];
    if (!results) continue;
    const uno::Reference<sheet::XSpreadsheet> sheet(sheets->getByIndex(s), uno::UNO_QUERY_THROW);
    const QString name =
        ToQ(uno::Reference<container::XNamed>(sheet, uno::UNO_QUERY_THROW)->getName());
    for (const table::CellRangeAddress& a : ErrorRanges(sheet))
      for (const TkvCellRef& ref : CellsOf(a)) {
        const auto found = results->constFind(ref.Key());
        if (found != results->constEnd() && found->kind == TkvStoredCell::Kind::Error) continue;
        if (printed.named.size() < kNamed)
          printed.Add(QStringLiteral("%1: %2").arg(CellName(name, ref), Shown(sheet, ref)));
        else
          ++printed.count;
      }
  }
  QStringList warnings;
  if (kept.count > 0)
    warnings << QStringLiteral(
                    "The office could not compute %1 that the workbook holds results for; "
                    "they print the stored results: %2")
                    .arg(Formulas(kept.count), kept.List());
  if (printed.count > 0)
    warnings << QStringLiteral(
                    "The office could not compute %1 and the workbook stores no result to keep "
                    "(%2): %3")
                    .arg(Formulas(printed.count),
                         full      ? QStringLiteral("it asks to be recalculated when opened")
                         : unknown ? QStringLiteral("its stored results cannot be read")
                                   : QStringLiteral("none, or 0 in its place"),
                         printed.List());
  return warnings;
}

}  // namespace tabrix::office

QStringList TkvKeepStoredResults(TkvAutoObject& document, const TkvZipPackage* package) {
  const auto* object = dynamic_cast<TkvUnoObject*>(&document);
  if (!object) return {};
  const uno::Reference<sheet::XSpreadsheetDocument> spreadsheet(object->Value(), uno::UNO_QUERY);
  if (!spreadsheet.is()) return {};
  try {
    return tabrix::office::KeepStoredResults(
        uno::Reference<lang::XComponent>(spreadsheet, uno::UNO_QUERY_THROW), package);
  } catch (const uno::Exception& e) {
    throw TkvAutomationError(tabrix::office::ExceptionText(e), QStringLiteral("KeepStoredResults"));
  }
}
