#pragma once
// The product's converter class, registered as "TkvTabrix": one workbook to
// PDF per item, through the thread's spreadsheet session.
//
// Per item: the whole workbook (AllSheets), sheet n (Sheet n), the active
// sheet (Sheet 0) or every sheet to its own file <name>-<i>.pdf (Sheet
// below 0; hidden sheets are left out), optionally with every sheet fitted
// to one page (AllColumns) and the page layout options applied to the
// loaded copy. Every PDF written is checked (TkvCheckPdf); a broken one
// fails its step like a failed export. Every road loads the workbook
// recalculated as Recalculate says (TkvRecalcDue).
// A sheet choice the workbook cannot meet (no such sheet, a hidden one, one
// with nothing to print) fails the item with that message and no fallback;
// the per-sheet mode leaves out empty sheets (no file, the other files keep
// their numbers). When the export fails otherwise: the office-suite export
// of the whole workbook, then
// a print on the PDF printer under the batch's item-list lock, and, when
// anything else failed, the office-suite export once more. The item ends
// with Status Done, the target path and the PDFs written (Files, Pages;
// in Warnings the load's warnings, such as formulas that keep their stored
// results, and one when characters print as empty boxes, a failure
// instead under MissingGlyphs=Fail, its PDFs removed), or
// Failed and the error's message, written through the batch; Convert raises
// only for target-path errors. One PDF per sheet writes no file of the
// target's own name (but for the office-suite fallback's whole workbook): the
// overwrite rule and the run's name claims apply to each file written, and an
// item whose per-sheet files all exist under the rule "skip" ends skipped
// (Done, empty Result, not counted).
// Every PDF is written under a temporary name beside its final one, checked,
// and only then renamed over an older file of that name (all files of one
// export or print together): an old target stays whole whatever happens to
// the conversion or the process. A target name the item cannot have
// (TkvTargetRefused) fails the item without fallbacks.

#include "convert/excel_ole.h"

class TkvPdfOutputs;

class TkvTabrix : public TkvExcelOle {
 public:
  using TkvExcelOle::TkvExcelOle;
  ~TkvTabrix() override;

  void Convert(TkvBatch* batch, TkvNode* item) override;

  // "<target without extension>-<i><extension>".
  static QString SheetPath(const QString& targetPath, int index);

 protected:
  // Seams of the fallback chain (tests make them fail). ExportObject writes
  // `object` (workbook or sheet) as PDF (PDF/A-2b under the item's PdfA) at
  // `path` and raises on failure; SuiteExport is the office-suite export and
  // never raises.
  virtual void ExportObject(TkvAutoObject& object, const QString& path);
  virtual bool SuiteExport(const QString& source, const QString& target);

 private:
  struct Mode;
  struct SheetFiles;
  // What an export or print wrote: the target file, only per-sheet files,
  // or nothing (every per-sheet file exists and is to be left alone).
  enum class Written { Nothing, Sheets, Target };
  void FitSheets() noexcept;
  Written ExportByMode(const Mode& mode, const QString& target, TkvPdfOutputs& outputs);
  Written PrintByMode(const Mode& mode, const QString& target, TkvPdfOutputs& outputs);
  // Prints `object`; raises unless the print delivered a fresh non-empty file at `path`.
  void PrintObject(TkvAutoObject& object, const QString& path);
  // SuiteExport, true only when its PDF passes the check (then in `outputs`
  // and in place).
  bool SuiteExportChecked(const QString& source, const QString& target, TkvPdfOutputs& outputs);
  bool SheetVisible(int index);

  // The warnings of the workbook's load on the road that wrote the PDFs.
  QStringList WorkbookWarnings() const;

  // The options of the item being converted.
  bool pdfA_ = false;
  QStringList suiteWarnings_;  // of the last SuiteExport
  TkvRecalc recalc_ = TkvRecalc::Auto;
  std::shared_ptr<TkvAutoObject> SheetAt(int index);
  int SheetCount();
};

// Registers TkvTabrix in TkvWorkerClasses; start-up calls it once.
void TkvRegisterTabrix();
