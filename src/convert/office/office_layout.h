#pragma once
// Load-time layout steps for documents opened through the late-bound road
// (TkvCreateObject("com.sun.star.ServiceManager")): no UNO type here.

#include <QString>
#include <QStringList>

class TkvAutoObject;
class TkvZipPackage;

// FitWrappedRows on a spreadsheet document loaded from `package` (null for a
// web address) through an office object; does nothing for other objects. Returns the rows sized;
// raises TkvAutomationError when the office fails.
int TkvFitWrappedRows(TkvAutoObject& document, const TkvZipPackage* package);

// LeaveOutHiddenSheets on a spreadsheet document loaded through an office
// object, before the whole document is exported: no hidden sheet prints.
// Does nothing for other objects; raises TkvAutomationError when the office
// fails.
void TkvLeaveOutHiddenSheets(TkvAutoObject& document);

// KeepStoredResults on a spreadsheet document loaded from `package` (null
// when none) and just recalculated, through an office object; nothing for
// other objects. Returns its warnings; raises TkvAutomationError when the
// office fails.
QStringList TkvKeepStoredResults(TkvAutoObject& document, const TkvZipPackage* package);

// ShowGeneralNumbers on a spreadsheet document through an office object;
// nothing for other objects. Returns the cells changed; raises
// TkvAutomationError when the office fails.
int TkvShowGeneralNumbers(TkvAutoObject& document);
