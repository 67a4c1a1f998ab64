#pragma once
// After a recalculation: formulas the office cannot compute keep the results
// the workbook stored. Include only from the office layer (UNO types).

#include <QString>
#include <QStringList>

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Reference.hxx>

class TkvZipPackage;

namespace tabrix::office {

// Every formula cell of `document` (loaded from the OOXML package `package`,
// null when none could be opened, just recalculated) whose result is now an error while the
// package stores a result that is no error gets that stored result as a
// constant in the loaded copy (never saved). Found with one query per sheet;
// only the parts of sheets with errors are read. A stored placeholder (the
// workbook asks for a full calculation on load, or stores no result or 0)
// is no result to keep: that error prints. Returns the warnings that say
// so, naming the first few cells ("Sheet1!C7: #NAME?, kept the stored
// 142"); none when no formula gave an error it did not store. Raises
// uno::Exception when the office fails.
QStringList KeepStoredResults(const css::uno::Reference<css::lang::XComponent>& document,
                              const TkvZipPackage* package);

}  // namespace tabrix::office
