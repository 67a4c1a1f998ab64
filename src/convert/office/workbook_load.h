#pragma once
// Loading a workbook into an office process, and the steps that make the
// loaded copy print what the spreadsheet application prints. Include only
// from the office layer (UNO types).

#include "convert/office/recalculation.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Reference.hxx>

class TkvOfficeProcess;
class TkvPivotFreeCopy;

namespace tabrix::office {

struct WorkbookRequest {
  QString path;  // as given: a local path, a file: URL or a web address
  std::optional<QString> password;
  TkvRecalc recalc = TkvRecalc::Never;
};

struct LoadedWorkbook {
  css::uno::Reference<css::lang::XComponent> component;  // the caller closes it
  QStringList warnings;  // what the load-time steps could not make right
  // The private copy loaded in the source's place (a package with pivot
  // tables), if any: to be kept until the component is closed.
  std::shared_ptr<TkvPivotFreeCopy> copy;
};

// Loads the workbook hidden and read-only, macros never run, links never
// updated (a local OOXML package with pivot tables through its
// TkvPivotFreeCopy, so that they print as stored), then recalculates it when `request.recalc` says
// so (TkvRecalcDue) keeping the stored results of the formulas the office cannot compute
// (KeepStoredResults), and sizes the rows of wrapped text the file stores no
// height for (FitWrappedRows). The source file is never written. Returns a
// spreadsheet document; raises TkvAutomationError (member "Open") naming the
// workbook.
LoadedWorkbook LoadWorkbook(TkvOfficeProcess& process, const WorkbookRequest& request);

}  // namespace tabrix::office
