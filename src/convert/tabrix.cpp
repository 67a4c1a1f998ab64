#include "convert/tabrix.h"

#include "convert/glyph_check.h"
#include "convert/office/calc_application.h"
#include "convert/office_suite_export.h"
#include "convert/page_layout.h"
#include "convert/pdf_check.h"
#include "convert/workbook_kind.h"
#include "core/path_utils.h"

#include <QFile>
#include <QFileInfo>

#include <exception>
#include <functional>

#include <sys/stat.h>

struct TkvTabrix::Mode {
  bool allSheets = false;
  int sheet = 0;
  bool allColumns = false;
  TkvPageLayout layout;
  bool perSheet() const { return !allSheets && sheet < 0; }
};

namespace {

// A sheet the workbook cannot give (no such sheet, hidden, nothing on it).
bool SheetCannotPrint(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const TkvError& e) {
    return e.Code() == kTkvSheetCannotPrint;
  } catch (...) {
    return false;
  }
}

// Writes one sheet of the per-sheet mode; false when the sheet has nothing
// to print: it gets no file, and the other files keep their sheets' numbers.
bool WriteSheet(const std::function<void()>& write) {
  try {
    write();
    return true;
  } catch (...) {
    if (!SheetCannotPrint(std::current_exception())) throw;
    return false;
  }
}

QString MessageOf(const std::exception& e) {
  if (const auto* error = dynamic_cast<const TkvError*>(&e)) return error->Message();
  return QString::fromLocal8Bit(e.what());
}

// What stands at an output path before a print, so that only a file the
// print itself delivered counts: an older file left there is no output.
class PrintedFile {
 public:
  explicit PrintedFile(const QString& path) : path_(path), before_(Stamp()) {}

  // Raises unless a non-empty file other than the one seen before stands at the path.
  void Check(const QString& printer) const {
    const Stat after = Stamp();
    if (!after.exists || after.size <= 0 || after == before_)
      throw TkvError(
          QStringLiteral("The printer \"%1\" delivered no PDF file at %2").arg(printer, path_));
  }

 private:
  struct Stat {
    bool exists = false;
    off_t size = 0;
    dev_t device = 0;
    ino_t inode = 0;
    struct timespec modified {};
    bool operator==(const Stat& o) const {
      return exists == o.exists && size == o.size && device == o.device && inode == o.inode &&
             modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
  };
  Stat Stamp() const {
    struct stat st {};
    Stat s;
    if (::stat(QFile::encodeName(path_).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return s;
    s.exists = true;
    s.size = st.st_size;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.modified = st.st_mtim;
    return s;
  }

  QString path_;
  Stat before_;
};

}  // namespace

// What the per-sheet mode wrote.
struct TkvTabrix::SheetFiles {
  bool written = false;  // a file for at least one sheet
  bool kept = false;     // an existing file left alone under the overwrite rule
  // Raises when no sheet had anything to print.
  Written Outcome(const std::shared_ptr<TkvAutoObject>& workbook) const {
    if (written) return Written::Sheets;
    if (kept) return Written::Nothing;
    throw TkvError(QStringLiteral("No sheet of %1 has anything to print")
                       .arg(workbook->Get(QStringLiteral("Name")).ToText()),
                   kTkvSheetCannotPrint);
  }
};

TkvTabrix::~TkvTabrix() { Shutdown(); }

QString TkvTabrix::SheetPath(const QString& targetPath, int index) {
  const QString name = TkvNamePart(targetPath);
  const int dot = name.lastIndexOf(u'.');
  const QString ext = dot >= 0 ? name.mid(dot) : QString();
  const QString stem = targetPath.left(targetPath.size() - ext.size());
  return stem + u'-' + QString::number(index) + ext;
}

void TkvTabrix::ExportObject(TkvAutoObject& object, const QString& path) {
  const TkvVariant omitted = TkvVariant::Omitted;
  TkvArgs args = {std::int32_t(0), path, std::int32_t(0), true, false, omitted, omitted, false};
  if (pdfA_) args << omitted << true;
  object.Call(QStringLiteral("ExportAsFixedFormat"), args);
}

bool TkvTabrix::SuiteExportChecked(const QString& source, const QString& target,
                                   TkvPdfOutputs& outputs) {
  outputs.Clear();
  suiteWarnings_.clear();
  if (!SuiteExport(source, outputs.Stage(target))) return false;
  try {
    outputs.Check();
    return true;
  } catch (...) {
    outputs.Clear();
    return false;
  }
}

bool TkvTabrix::SheetVisible(int index) {
  // XlSheetVisibility: hidden 0 and very hidden 2; anything else shows.
  const TkvVariant visible = SheetAt(index)->Get(QStringLiteral("Visible"));
  return visible.GetType() == TkvVariant::Type::Empty ||
         (visible.ToInt() != 0 && visible.ToInt() != 2);
}

bool TkvTabrix::SuiteExport(const QString& source, const QString& target) {
  return OfficeSuiteExport(source, target, recalc_, &suiteWarnings_);
}

QStringList TkvTabrix::WorkbookWarnings() const {
  QStringList warnings;
  try {
    for (const TkvVariant& warning : Workbook->Get(QStringLiteral("Warnings")).ToArray())
      warnings << warning.ToText();
  } catch (...) {
    // A workbook object without warnings.
  }
  return warnings;
}

std::shared_ptr<TkvAutoObject> TkvTabrix::SheetAt(int index) {
  return Workbook->GetObject(QStringLiteral("Sheets"), {std::int32_t(index)});
}

int TkvTabrix::SheetCount() {
  return Workbook->GetObject(QStringLiteral("Sheets"))->Get(QStringLiteral("Count")).ToInt();
}

void TkvTabrix::FitSheets() noexcept {
  try {
    const int count = SheetCount();
    for (int i = 1; i <= count; ++i) {
      const auto pageSetup = SheetAt(i)->GetObject(QStringLiteral("PageSetup"));
      pageSetup->Put(QStringLiteral("Zoom"), false);
      pageSetup->Put(QStringLiteral("FitToPagesWide"), std::int32_t(1));
      pageSetup->Put(QStringLiteral("FitToPagesTall"), std::int32_t(1));
    }
  } catch (...) {
    // The remaining sheets keep their page setup.
  }
}

TkvTabrix::Written TkvTabrix::ExportByMode(const Mode& mode, const QString& target,
                                           TkvPdfOutputs& outputs) {
  outputs.Clear();
  Written written = Written::Target;
  if (mode.allSheets) {
    ExportObject(*Workbook, outputs.Stage(target));
  } else if (mode.sheet > 0) {
    ExportObject(*SheetAt(mode.sheet), outputs.Stage(target));
  } else if (mode.sheet < 0) {
    const int count = SheetCount();
    SheetFiles files;
    for (int i = 1; i <= count; ++i) {
      if (!SheetVisible(i)) continue;  // the file names keep the sheets' numbers
      const QString path = FurtherOutputPath(SheetPath(target, i));
      if (path.isEmpty()) {
        files.kept = true;
        continue;
      }
      const QString staged = outputs.Stage(path);
      if (WriteSheet([&] { ExportObject(*SheetAt(i), staged); })) {
        outputs.Check();
        files.written = true;
      }
    }
    written = files.Outcome(Workbook);
  } else {
    ExportObject(*Workbook->GetObject(QStringLiteral("ActiveSheet")), outputs.Stage(target));
  }
  if (written == Written::Target) outputs.Check();
  return written;  // staged and checked; Convert puts them in place
}

void TkvTabrix::PrintObject(TkvAutoObject& object, const QString& path) {
  const TkvVariant omitted = TkvVariant::Omitted;
  const QString printer = PdfPrinterName();
  const PrintedFile output(path);
  object.Call(QStringLiteral("PrintOut"), {omitted, omitted, std::int32_t(1), false, printer});
  output.Check(printer);
}

TkvTabrix::Written TkvTabrix::PrintByMode(const Mode& mode, const QString& target,
                                          TkvPdfOutputs& outputs) {
  outputs.Clear();
  Written written = Written::Target;
  // The printer delivers under a temporary name too.
  const auto print = [&](TkvAutoObject& object, const QString& path) {
    const QString staged = outputs.Stage(path);
    SetPrinterOutput(staged);
    PrintObject(object, staged);
    outputs.Check();
  };
  if (mode.allSheets) {
    print(*Workbook, target);
  } else if (mode.sheet > 0) {
    print(*SheetAt(mode.sheet), target);
  } else if (mode.sheet < 0) {
    const int count = SheetCount();
    SheetFiles files;
    for (int i = 1; i <= count; ++i) {
      if (!SheetVisible(i)) continue;
      const QString path = FurtherOutputPath(SheetPath(target, i));
      if (path.isEmpty()) {
        files.kept = true;
        continue;
      }
      if (WriteSheet([&] { print(*SheetAt(i), path); })) files.written = true;
    }
    written = files.Outcome(Workbook);
  } else {
    print(*Workbook->GetObject(QStringLiteral("ActiveSheet")), target);
  }
  return written;  // staged and checked; Convert puts them in place
}

void TkvTabrix::Convert(TkvBatch* batch, TkvNode* item) {
  QString source;
  {
    TkvItemsLock lock(*batch);
    source = item->FileName;
  }
  // The office would import anything (text typed into a sheet, a blank
  // page): a file that is no workbook fails before any road is tried. A
  // name listed with bytes that are not UTF-8 cannot be opened by its text.
  QString refusal;
  if (source.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(source))
    refusal = QStringLiteral("The name of %1 is not valid UTF-8").arg(source);
  else if (const QString kind = TkvNotWorkbookKind(source); !kind.isEmpty())
    refusal = QStringLiteral("%1 is not a workbook: %2").arg(source, kind);
  if (!refusal.isEmpty()) {
    batch->SetItemOutcome(item, TkvNode::Failed, refusal);
    batch->AddFailure(refusal);
    return;
  }
  // The PDFs written under temporary names and checked: a broken one fails
  // its step, and an old PDF is replaced only by a checked new one.
  TkvPdfOutputs outputs;
  Mode mode;
  mode.allSheets = Options().AllSheets();
  mode.sheet = Options().Sheet();
  mode.allColumns = Options().AllColumns();
  // One PDF per sheet writes no file of the target's own name: the rules
  // and claims go by each file written.
  const QString target =
      MakeTargetPath(batch, item, mode.perSheet() ? TargetName::BaseOnly : TargetName::Written);
  if (target.isEmpty()) return;
  // Where the office-suite fallback writes the whole workbook: the target,
  // or, one PDF per sheet, one more file claimed under the overwrite rule
  // when that fallback comes to it (empty: an existing file left alone, so
  // the fallback is not taken).
  QString whole = target;
  bool wholeClaimed = !mode.perSheet();
  const auto suiteExport = [&] {
    if (!wholeClaimed) {
      wholeClaimed = true;
      whole = FurtherOutputPath(target);
    }
    return !whole.isEmpty() && SuiteExportChecked(source, whole, outputs);
  };

  // The option table has checked the values: one it cannot read gives the
  // key's default, as its warning said.
  mode.layout = TkvPageLayout::FromOptions(Options());
  recalc_ = TkvRecalc::Auto;
  TkvParseRecalc(Options().Recalculate(), &recalc_);
  const bool failOnMissingGlyphs =
      Options().MissingGlyphs().compare(QLatin1String("Fail"), Qt::CaseInsensitive) == 0;
  if (mode.allColumns) mode.layout.fitWidth = false;  // one page wins
  pdfA_ = mode.layout.pdfA;

  // Bounds every office call of this item, the fallbacks included.
  const TkvOfficeTimeout timeLimit = DocumentTimeLimit();
  bool converted = false;
  // The sheet choice cannot be met: the other roads would write other sheets.
  bool cannotPrint = false;
  Written written = Written::Nothing;
  QString error;
  bool refused = false;      // a target name the item cannot have: no fallback
  QStringList loadWarnings;  // of the load whose copy the PDFs show
  try {
    OpenWorkbook(source, recalc_);
    loadWarnings = WorkbookWarnings();
    try {
      if (mode.allColumns) FitSheets();
      mode.layout.Apply(*Workbook);
      written = ExportByMode(mode, target, outputs);
      converted = true;
    } catch (const TkvTargetRefused&) {
      throw;
    } catch (...) {
      cannotPrint = SheetCannotPrint(std::current_exception());
      if (cannotPrint) throw;
      if (suiteExport()) {
        written = Written::Target;
        converted = true;
        loadWarnings = suiteWarnings_;
      } else {
        // Printing cannot mend a target that cannot be written.
        if (const QString problem = TargetWriteProblem(target); !problem.isEmpty())
          throw TkvError(problem);
        TkvItemsLock printing(*batch);
        written = PrintByMode(mode, target, outputs);
        converted = true;
      }
    }
  } catch (const TkvTargetRefused& e) {
    error = e.Message();
    refused = true;
  } catch (const std::exception& e) {
    error = MessageOf(e);
  } catch (...) {
  }
  if (!converted && error.isEmpty())
    error = QStringLiteral("The workbook %1 was not converted").arg(source);
  if (!converted && !refused && !cannotPrint) {
    try {
      if (suiteExport()) {
        written = Written::Target;
        converted = true;
        loadWarnings = suiteWarnings_;
      }
    } catch (const TkvTargetRefused& e) {
      error = e.Message();
    }
  }

  if (!converted) {
    batch->SetItemOutcome(item, TkvNode::Failed, error);
    batch->AddFailure(error);
    CloseWorkbook();
    return;
  }
  CloseWorkbook();
  if (written == Written::Nothing) {
    // Every per-sheet file exists and is left alone: the item is skipped.
    batch->SetItemOutcome(item, TkvNode::Done, QString());
    return;
  }
  // Characters printed as empty boxes: a warning, or a failure when asked,
  // found before the new files replace any old ones.
  const TkvMissingGlyphs missing = outputs.Missing();
  QString failure;
  if (missing.count > 0 && failOnMissingGlyphs) {
    failure = QStringLiteral("%1: %2").arg(source, missing.Message());
  } else {
    try {
      outputs.Commit();  // every file written and checked: now they replace the old ones
    } catch (const TkvError& e) {
      failure = e.Message();
    }
  }
  if (!failure.isEmpty()) {
    outputs.Clear();  // the staged files go; an old PDF stays as it was
    batch->SetItemOutcome(item, TkvNode::Failed, failure);
    batch->AddFailure(failure);
    return;
  }
  // One PDF per sheet: the item names the first file written, never a file
  // of the target's own name that this run did not write.
  const QStringList files = outputs.Files();
  const QString result = files.isEmpty() ? target : files.first();
  QString note;
  try {
    if (Options().KeepFileTime())
      for (const QString& file : files)
        if (file != result) CopyFileTimes(source, file);
    note = DisposeSource(batch, item, result);
  } catch (...) {
  }
  {
    TkvItemsLock lock(*batch);
    item->Files = files;
    item->Pages = outputs.Pages();
    item->Note = note;
    item->Warnings = loadWarnings;
    if (missing.count > 0) item->Warnings << missing.Message();
  }
  // A success is recorded even when disposing of the source failed.
  batch->SetItemOutcome(item, TkvNode::Done, result);
  batch->AddSuccess();
}

void TkvRegisterTabrix() { TkvRegisterConvertor<TkvTabrix>(QStringLiteral("TkvTabrix")); }
