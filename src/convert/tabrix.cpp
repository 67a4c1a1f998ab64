#include "convert/tabrix.h"

#include "convert/office_suite_export.h"
#include "convert/page_layout.h"
#include "convert/pdf_check.h"
#include "convert/target_backup.h"
#include "core/path_utils.h"
#include "core/project.h"

#include <exception>

struct TkvTabrix::Mode {
  bool allSheets = false;
  int sheet = 0;
  bool allColumns = false;
  TkvPageLayout layout;
  bool perSheet() const { return !allSheets && sheet < 0; }
};

namespace {

QString MessageOf(const std::exception& e) {
  if (const auto* error = dynamic_cast<const TkvError*>(&e)) return error->Message();
  return QString::fromLocal8Bit(e.what());
}

}  // namespace

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

void TkvTabrix::CheckOutput(const QString& path, TkvPdfOutputs& outputs) {
  try {
    outputs.Add(path);
  } catch (...) {
    DeleteTarget(path);  // no broken PDF stays behind
    throw;
  }
}

bool TkvTabrix::SuiteExportChecked(const QString& source, const QString& target, TkvPdfOutputs& outputs) {
  outputs.Clear();
  if (!SuiteExport(source, target)) return false;
  try {
    CheckOutput(target, outputs);
    return true;
  } catch (...) {
    return false;
  }
}

bool TkvTabrix::SheetVisible(int index) {
  // XlSheetVisibility: hidden 0 and very hidden 2; anything else shows.
  const TkvVariant visible = SheetAt(index)->Get(QStringLiteral("Visible"));
  return visible.GetType() == TkvVariant::Type::Empty || (visible.ToInt() != 0 && visible.ToInt() != 2);
}

bool TkvTabrix::SuiteExport(const QString& source, const QString& target) {
  return OfficeSuiteExport(source, target);
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

void TkvTabrix::ExportByMode(const Mode& mode, const QString& target, TkvPdfOutputs& outputs) {
  if (mode.allSheets) {
    ExportObject(*Workbook, target);
  } else if (mode.sheet > 0) {
    ExportObject(*SheetAt(mode.sheet), target);
  } else if (mode.sheet < 0) {
    const int count = SheetCount();
    for (int i = 1; i <= count; ++i) {
      if (!SheetVisible(i)) continue;  // the file names keep the sheets' numbers
      if (const QString path = FurtherOutputPath(SheetPath(target, i)); !path.isEmpty()) {
        ExportObject(*SheetAt(i), path);
        CheckOutput(path, outputs);
      }
    }
    return;
  } else {
    ExportObject(*Workbook->GetObject(QStringLiteral("ActiveSheet")), target);
  }
  CheckOutput(target, outputs);
}

void TkvTabrix::PrintObject(TkvAutoObject& object) {
  const TkvVariant omitted = TkvVariant::Omitted;
  const QString printer = PdfPrinterName();
  object.Call(QStringLiteral("PrintOut"), {omitted, omitted, std::int32_t(1), false, printer});
}

void TkvTabrix::PrintByMode(const Mode& mode, const QString& target, TkvPdfOutputs& outputs) {
  outputs.Clear();
  if (!mode.perSheet()) SetPrinterOutput(target);
  if (mode.allSheets) {
    PrintObject(*Workbook);
  } else if (mode.sheet > 0) {
    PrintObject(*SheetAt(mode.sheet));
  } else if (mode.sheet < 0) {
    const int count = SheetCount();
    for (int i = 1; i <= count; ++i) {
      if (!SheetVisible(i)) continue;
      const QString path = FurtherOutputPath(SheetPath(target, i));
      if (path.isEmpty()) continue;
      SetPrinterOutput(path);
      PrintObject(*SheetAt(i));
      CheckOutput(path, outputs);
    }
    return;
  } else {
    PrintObject(*Workbook->GetObject(QStringLiteral("ActiveSheet")));
  }
  CheckOutput(target, outputs);
}

void TkvTabrix::Convert(TkvBatch* batch, TkvNode* item) {
  const QString target = MakeTargetPath(batch, item);
  if (target.isEmpty()) return;

  QString source;
  {
    TkvItemsLock lock(*batch);
    source = item->FileName;
  }
  Mode mode;
  const TkvProject* project = TkvProject::Instance();
  if (project) {
    mode.allSheets = project->AllSheets();
    mode.sheet = project->Sheet();
    mode.allColumns = project->AllColumns();
  }
  try {
    mode.layout = TkvPageLayout::FromProject(project);
  } catch (const TkvError& e) {  // a bad option value: nothing is converted
    batch->SetItemOutcome(item, TkvNode::Failed, e.Message());
    batch->AddFailure(e.Message());
    return;
  }
  if (mode.allColumns) mode.layout.fitWidth = false;  // one page wins
  pdfA_ = mode.layout.pdfA;

  // Bounds every office call of this item, the fallbacks included.
  const TkvOfficeTimeout timeLimit = DocumentTimeLimit();
  bool converted = false;
  QString error;
  // The old PDF is set aside, not deleted: a failed conversion gets it back.
  TkvTargetBackup oldTarget(target);
  // The PDFs written, each checked: a broken one fails its step.
  TkvPdfOutputs outputs;
  try {
    OpenWorkbook(source);
    try {
      mode.layout.Apply(*Workbook);
      if (mode.allColumns) FitSheets();
      ExportByMode(mode, target, outputs);
      converted = true;
    } catch (...) {
      if (SuiteExportChecked(source, target, outputs)) {
        converted = true;
      } else {
        TkvItemsLock printing(*batch);
        PrintByMode(mode, target, outputs);
        converted = true;
      }
    }
  } catch (const std::exception& e) {
    error = MessageOf(e);
  } catch (...) {
  }
  if (!converted && error.isEmpty()) error = QStringLiteral("The workbook %1 was not converted").arg(source);
  if (!converted) converted = SuiteExportChecked(source, target, outputs);

  if (!converted) {
    batch->SetItemOutcome(item, TkvNode::Failed, error);
    batch->AddFailure(error);
    CloseWorkbook();
    return;
  }
  CloseWorkbook();
  oldTarget.Commit();
  try {
    DisposeSource(batch, item, target);
  } catch (...) {
  }
  {
    TkvItemsLock lock(*batch);
    item->Files = outputs.Files();
    item->Pages = outputs.Pages();
  }
  // A success is recorded even when disposing of the source failed.
  batch->SetItemOutcome(item, TkvNode::Done, target);
  batch->AddSuccess();
}

void TkvRegisterTabrix() { TkvRegisterConvertor<TkvTabrix>(QStringLiteral("TkvTabrix")); }
