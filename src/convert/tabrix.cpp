#include "convert/tabrix.h"

#include "convert/office_suite_export.h"
#include "convert/target_backup.h"
#include "core/path_utils.h"
#include "core/project.h"

#include <exception>

struct TkvTabrix::Mode {
  bool allSheets = false;
  int sheet = 0;
  bool allColumns = false;
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
  object.Call(QStringLiteral("ExportAsFixedFormat"),
              {std::int32_t(0), path, std::int32_t(0), true, false, omitted, omitted, false});
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

void TkvTabrix::ExportByMode(const Mode& mode, const QString& target) {
  if (mode.allSheets) {
    ExportObject(*Workbook, target);
  } else if (mode.sheet > 0) {
    ExportObject(*SheetAt(mode.sheet), target);
  } else if (mode.sheet < 0) {
    const int count = SheetCount();
    for (int i = 1; i <= count; ++i)
      if (const QString path = FurtherOutputPath(SheetPath(target, i)); !path.isEmpty()) ExportObject(*SheetAt(i), path);
  } else {
    ExportObject(*Workbook->GetObject(QStringLiteral("ActiveSheet")), target);
  }
}

void TkvTabrix::PrintObject(TkvAutoObject& object) {
  const TkvVariant omitted = TkvVariant::Omitted;
  const QString printer = PdfPrinterName();
  object.Call(QStringLiteral("PrintOut"), {omitted, omitted, std::int32_t(1), false, printer});
}

void TkvTabrix::PrintByMode(const Mode& mode, const QString& target) {
  if (!mode.perSheet()) SetPrinterOutput(target);
  if (mode.allSheets) {
    PrintObject(*Workbook);
  } else if (mode.sheet > 0) {
    PrintObject(*SheetAt(mode.sheet));
  } else if (mode.sheet < 0) {
    const int count = SheetCount();
    for (int i = 1; i <= count; ++i) {
      const QString path = FurtherOutputPath(SheetPath(target, i));
      if (path.isEmpty()) continue;
      SetPrinterOutput(path);
      PrintObject(*SheetAt(i));
    }
  } else {
    PrintObject(*Workbook->GetObject(QStringLiteral("ActiveSheet")));
  }
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
  if (const TkvProject* project = TkvProject::Instance()) {
    mode.allSheets = project->AllSheets();
    mode.sheet = project->Sheet();
    mode.allColumns = project->AllColumns();
  }

  // Bounds every office call of this item, the fallbacks included.
  const TkvOfficeTimeout timeLimit = DocumentTimeLimit();
  bool converted = false;
  QString error;
  // The old PDF is set aside, not deleted: a failed conversion gets it back.
  TkvTargetBackup oldTarget(target);
  try {
    OpenWorkbook(source);
    try {
      if (mode.allColumns) FitSheets();
      ExportByMode(mode, target);
      converted = true;
    } catch (...) {
      if (SuiteExport(source, target)) {
        converted = true;
      } else {
        TkvItemsLock printing(*batch);
        PrintByMode(mode, target);
        converted = true;
      }
    }
  } catch (const std::exception& e) {
    error = MessageOf(e);
  } catch (...) {
  }
  if (!converted && error.isEmpty()) error = QStringLiteral("The workbook %1 was not converted").arg(source);
  if (!converted) converted = SuiteExport(source, target);

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
  // A success is recorded even when disposing of the source failed.
  batch->SetItemOutcome(item, TkvNode::Done, target);
  batch->AddSuccess();
}

void TkvRegisterTabrix() { TkvRegisterConvertor<TkvTabrix>(QStringLiteral("TkvTabrix")); }
