#pragma once
// Load-time layout steps for documents opened through the late-bound road
// (TkvCreateObject("com.sun.star.ServiceManager")): no UNO type here.

#include <QString>
#include <QStringList>

class TkvAutoObject;

// FitWrappedRows on a spreadsheet document loaded from `localPath` through
// an office object; does nothing for other objects. Returns the rows sized;
// raises TkvAutomationError when the office fails.
int TkvFitWrappedRows(TkvAutoObject& document, const QString& localPath);

// KeepStoredResults on a spreadsheet document loaded from `localPath` and
// just recalculated, through an office object; nothing for other objects.
// Returns its warnings; raises TkvAutomationError when the office fails.
QStringList TkvKeepStoredResults(TkvAutoObject& document, const QString& localPath);

// ShowGeneralNumbers on a spreadsheet document through an office object;
// nothing for other objects. Returns the cells changed; raises
// TkvAutomationError when the office fails.
int TkvShowGeneralNumbers(TkvAutoObject& document);
