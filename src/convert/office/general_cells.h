#pragma once
// Numbers in the General format printed as the spreadsheet application
// shows them. Include only from the office layer (UNO types).

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Reference.hxx>

namespace tabrix::office {

// Gives every number (constant or formula result) in the General format of
// `document` whose General text (TkvGeneralNumberText) shows fewer digits
// than the office's own General format would in its column, or scientific
// notation, the fixed format that prints that text, where the text fits the
// column's width (a narrower column already shrinks the number as the
// application does). Cells are found with one query per distinct cell
// format and their values read one range at a time; the formats are set
// with one call per distinct format. Only the loaded copy changes. Returns
// the cells changed; raises uno::Exception when the office fails.
int ShowGeneralNumbers(const css::uno::Reference<css::lang::XComponent>& document);

}  // namespace tabrix::office
