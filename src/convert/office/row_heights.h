#pragma once
// Row heights as the spreadsheet application gives them when it opens an
// OOXML workbook. Include only from the office layer (UNO types).

#include <QString>

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Reference.hxx>

class TkvZipPackage;

namespace tabrix::office {

// In `document`, loaded from the OOXML package `package`, gives each
// visible row that holds wrapped text and whose height the file does not
// store the office's optimal height, so that every line of the text prints,
// as the application sizes such rows on load. Rows with a stored height
// (custom or not), hidden rows, sheets with a custom default height, and
// workbooks that are no readable OOXML package (legacy .xls; web addresses:
// a null `package`) are left as loaded. Changes only the loaded copy, which
// stays read-only and unmodified. Returns how many rows were sized; raises
// UNO exceptions (a dead office among them).
int FitWrappedRows(const css::uno::Reference<css::lang::XComponent>& document,
                   const TkvZipPackage* package);

}  // namespace tabrix::office
