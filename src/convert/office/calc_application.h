#pragma once
// "Excel.Application" on LibreOffice Calc.

#include "convert/automation/auto_object.h"

#include <QString>

#include <memory>

class TkvOfficeProcess;

// Creates the application object on the calling thread's office process
// (TkvOfficeProcess::ForThisThread), starting the office now: a start failure
// raises here. Members, invoked late-bound:
//   Version (text, "7.4"), DisplayAlerts (accepted), Path (the office program
//   folder), Quit, Workbooks.Open(path, omitted, readOnly[, omitted, password]);
//   Open takes a sixteenth argument of its own (kTkvOpenRecalculate): "Auto",
//   "Always" or "Never" (the default) recalculation after loading.
//   Workbook: Close([saveChanges = false]), Sheets / Worksheets (collection, or
//   Sheets(i) with i from 1, or a sheet name), ActiveSheet, Name, FullName,
//   ExportAsFixedFormat(0, path, ...), PrintOut(from, to, copies, preview,
//   printer) through the PDF printer module.
//   ExportAsFixedFormat takes a tenth argument of its own: true writes PDF/A-2b.
//   Warnings (a member of its own): an array of texts, what the load-time
//   steps could not make right (formulas the office could not compute).
//   Sheets: Count, Item(i). Sheet: Name, Index, Visible (-1 or 0), PageSetup,
//   ExportAsFixedFormat, PrintOut; a hidden sheet refuses to be exported or
//   printed, and neither can an empty one. PageSetup: Zoom, FitToPagesWide, FitToPagesTall (false:
//   as many pages as needed), Orientation (1 portrait, 2 landscape), PaperSize (1 Letter, 5 Legal,
//   8 A3, 9 A4, 11 A5). Page settings change the loaded copy.
// Errors are TkvAutomationError with a readable message naming the file. A
// sheet the workbook cannot give for export or print (no such number or
// name, hidden, nothing on it) raises with the code kTkvSheetCannotPrint.
inline constexpr int kTkvOpenRecalculate = 15;
inline constexpr int kTkvSheetCannotPrint = 9;  // the object model's "Subscript out of range"
std::shared_ptr<TkvAutoObject> TkvCreateCalcApplication();
std::shared_ptr<TkvAutoObject> TkvCreateCalcApplication(std::shared_ptr<TkvOfficeProcess> process);

// The office's program file ("Path" + "/soffice.bin"): the name the PDF
// printer settings are written under for this application.
QString TkvCalcProgramPath();

// Sets the environment the office layer's UNO runtime reads (UNO_PATH,
// URE_BOOTSTRAP) once for the process. Call on the main thread before any
// converter thread starts: changing the environment is unsafe while other
// threads read it or fork. Without the call the first office call does it.
void TkvPrepareOfficeEnvironment();

// The calling thread's office as its converter leaves it between documents:
// the process id (-1 when none runs) and how many times it was started.
// Never starts one. Converter thread.
struct TkvThreadOffice {
  long pid = -1;
  int starts = 0;
};
TkvThreadOffice TkvThisThreadOffice();
