#include "convert/office/workbook_load.h"

#include "convert/office/compound_file.h"

#include "convert/automation/auto_object.h"
#include "convert/office/calc_document.h"
#include "convert/office/general_cells.h"
#include "convert/office/kept_results.h"
#include "convert/office/office_process.h"
#include "convert/office/office_url.h"
#include "convert/office/package_copy.h"
#include "convert/office/row_heights.h"
#include "convert/office/text_workbook.h"
#include "convert/office/uno_runtime.h"
#include "convert/office/zip_package.h"

#include <QFile>
#include <QFileInfo>

#include <vector>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>

using namespace css;

namespace tabrix::office {

namespace {

TkvAutomationError OpenError(const QString& message) {
  return TkvAutomationError(message, QStringLiteral("Open"));
}

// What LibreOffice's "type detection aborted" means for the file at hand.
QString UnreadableMessage(const QString& path, const QString& localPath) {
  if (TkvIsPasswordProtected(localPath))
    return QStringLiteral("The workbook %1 is password-protected").arg(path);
  return QStringLiteral("The workbook %1 cannot be read: it is damaged or not a workbook")
      .arg(path);
}

}  // namespace

void CloseComponent(const uno::Reference<lang::XComponent>& component) noexcept {
  try {
    uno::Reference<util::XCloseable> closeable(component, uno::UNO_QUERY);
    if (closeable.is())
      closeable->close(true);
    else
      component->dispose();
  } catch (...) {
  }
}

LoadedWorkbook LoadWorkbook(TkvOfficeProcess& process, const WorkbookRequest& request) {
  const QString& path = request.path;
  const bool remote = TkvIsRemoteAddress(path);
  const QString localPath = remote ? QString() : QFileInfo(TkvLocalPathOf(path)).absoluteFilePath();
  if (!remote && !QFileInfo(localPath).isFile())
    throw OpenError(QStringLiteral("The workbook %1 does not exist").arg(path));

  // Every workbook loads read-only: nothing is ever saved back, and a
  // read-write load leaves a lock file beside the user's workbook (for good,
  // when the office is killed mid-document) and loads a few percent slower.
  std::vector<beans::PropertyValue> props = {
      Prop("Hidden", uno::Any(true)),
      Prop("ReadOnly", uno::Any(true)),
      Prop("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
      Prop("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
  };
  if (request.password) props.push_back(Prop("Password", uno::Any(ToOU(*request.password))));
  // Delimited text is imported with its own separator and encoding, as the
  // spreadsheet application splits it; the office's guess keeps tabs in the
  // cells and prints byte-order marks.
  if (const auto text = remote ? std::nullopt : TkvDelimitedTextImport(localPath)) {
    props.push_back(Prop("FilterName", uno::Any(ToOU(text->filter))));
    props.push_back(Prop("FilterOptions", uno::Any(ToOU(text->options))));
  }
  const uno::Sequence<beans::PropertyValue> media(props.data(),
                                                  static_cast<sal_Int32>(props.size()));

  const QString unreadable =
      remote ? QStringLiteral("The workbook %1 could not be downloaded or read").arg(path)
             : UnreadableMessage(path, localPath);
  // Pivot tables print as the application rendered them into the sheet.
  const std::shared_ptr<TkvPivotFreeCopy> copy =
      remote ? nullptr : TkvPivotFreeCopy::Make(localPath);
  uno::Reference<lang::XComponent> component;
  try {
    auto desktop = process.Desktop();  // starts a new office if the last one died
    const QString url = remote ? path : TkvOfficeFileUrl(copy ? copy->Path() : localPath);
    component = desktop->loadComponentFromURL(ToOU(url), "_blank", 0, media);
  } catch (const uno::Exception& e) {
    const QString text = ExceptionText(e);
    const QString message = process.FailureMessage(text, MayBeConnectionFailureNow());
    if (message != text) throw OpenError(QStringLiteral("%1: %2").arg(message, path));
    if (text.contains(QLatin1String("type detection aborted")) ||
        text.contains(QLatin1String("Unsupported URL")))
      throw OpenError(unreadable);
    throw OpenError(QStringLiteral("The workbook %1 could not be opened: %2").arg(path, text));
  }
  // What LibreOffice answers for encrypted and damaged files alike.
  if (!component.is()) throw OpenError(unreadable);
  if (!uno::Reference<sheet::XSpreadsheetDocument>(component, uno::UNO_QUERY).is()) {
    CloseComponent(component);
    throw OpenError(
        QStringLiteral("The workbook %1 cannot be read: it is not a spreadsheet").arg(path));
  }

  // The steps after the import that make the loaded copy print what the
  // spreadsheet application prints when it opens the file.
  const char* step = "recalculated";
  LoadedWorkbook loaded;
  try {
    // Both steps read facts from the package: it is opened once for them.
    std::optional<TkvZipPackage> package;
    if (!remote) package.emplace(localPath);
    const TkvZipPackage* opened = package && package->IsOpen() ? &*package : nullptr;
    // The import prints cached formula results as stored; the application
    // recalculates the workbooks the rule names when it opens them. What
    // the office cannot compute keeps the result the workbook stored.
    if (TkvRecalcDue(request.recalc, opened)) {
      uno::Reference<sheet::XCalculatable>(component, uno::UNO_QUERY_THROW)->calculateAll();
      loaded.warnings << KeepStoredResults(component, opened);
    }
    // After recalculation: numbers and rows as the values that print need.
    step = "laid out";
    ShowGeneralNumbers(component);
    FitWrappedRows(component, opened);
  } catch (const uno::Exception& e) {
    CloseComponent(component);
    const QString text = ExceptionText(e);
    const QString message = process.FailureMessage(text, MayBeConnectionFailureNow());
    throw OpenError(message != text ? QStringLiteral("%1: %2").arg(message, path)
                                    : QStringLiteral("The workbook %1 could not be %2: %3")
                                          .arg(path, QLatin1String(step), text));
  }
  loaded.component = component;
  loaded.copy = copy;
  return loaded;
}

}  // namespace tabrix::office
