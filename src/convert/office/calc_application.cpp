#include "convert/office/calc_application.h"

#include "convert/office/calc_document.h"
#include "convert/office/office_process.h"
#include "convert/office/office_url.h"
#include "convert/office/uno_runtime.h"
#include "convert/office/workbook_load.h"
#include "convert/printer/printer.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>

using namespace css;
using rtl::OUString;
using tabrix::office::Arg;
using tabrix::office::CalcDocument;
using tabrix::office::ExportPdf;
using tabrix::office::PrintPdf;
using tabrix::office::SheetVisible;
using tabrix::office::ToQ;

namespace {

bool Is(const QString& member, const char* name) {
  return member.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// Base of the Calc objects: turns UNO exceptions into readable automation errors.
class CalcObject : public TkvAutoObject {
 public:
  TkvVariant Invoke(const QString& member, TkvInvokeKind kind, const TkvArgs& args) final {
    try {
      return Dispatch(member, kind, args);
    } catch (const uno::Exception& e) {
      throw TkvAutomationError(Failure(member, tabrix::office::ExceptionText(e),
                                       tabrix::office::MayBeConnectionFailureNow()),
                               member);
    } catch (const TkvAutomationError&) {
      throw;
    } catch (const TkvError& e) {  // the office could not be (re)started, or timed out
      throw TkvAutomationError(QStringLiteral("%1: %2").arg(e.Message(), Subject()), member);
    }
  }

 protected:
  virtual TkvVariant Dispatch(const QString& member, TkvInvokeKind kind, const TkvArgs& args) = 0;
  virtual TkvOfficeProcess& Process() = 0;
  virtual QString Subject() const = 0;  // what the object is about, for messages

  QString Failure(const QString& member, const QString& text, bool connectionFailure) {
    const QString message = Process().FailureMessage(text, connectionFailure);
    if (message != text) return QStringLiteral("%1: %2").arg(message, Subject());
    return QStringLiteral("%1 failed for %2: %3").arg(member, Subject(), text);
  }
  static void RequireGet(const QString& member, TkvInvokeKind kind) {
    if (kind == TkvInvokeKind::PropertyPut)
      throw TkvAutomationError(QStringLiteral("%1 is read-only").arg(member), member);
  }
};

class CalcPageSetup final : public CalcObject {
 public:
  CalcPageSetup(std::shared_ptr<CalcDocument> doc, const uno::Reference<sheet::XSpreadsheet>& sheet)
      : doc_(std::move(doc)), sheet_(sheet) {}

 protected:
  TkvOfficeProcess& Process() override { return doc_->Process(); }
  QString Subject() const override { return doc_->Path(); }

  TkvVariant Dispatch(const QString& member, TkvInvokeKind kind, const TkvArgs& args) override {
    // The sheet's page style; sheets sharing a style share these settings.
    auto style = PageStyle();
    const bool put = kind == TkvInvokeKind::PropertyPut;
    if (Is(member, "Zoom")) {
      if (!put) {
        const sal_Int16 x = Short(style, "ScaleToPagesX"), y = Short(style, "ScaleToPagesY");
        if (x > 0 || y > 0) return TkvVariant(false);
        return TkvVariant(static_cast<std::int32_t>(Short(style, "PageScale")));
      }
      const TkvVariant v = Arg(args, 0);
      // Zoom false: the FitToPages values decide, set next.
      if (v.GetType() == TkvVariant::Type::Boolean && !v.ToBool()) return {};
      const int percent = v.ToInt();
      if (percent < 10 || percent > 400)
        throw TkvAutomationError(QStringLiteral("Zoom must be from 10 to 400, not %1").arg(percent),
                                 member);
      style->setPropertyValue("ScaleToPagesX", uno::Any(sal_Int16(0)));
      style->setPropertyValue("ScaleToPagesY", uno::Any(sal_Int16(0)));
      style->setPropertyValue("PageScale", uno::Any(sal_Int16(percent)));
      return {};
    }
    if (Is(member, "Orientation")) return Orientation(style, put, Arg(args, 0));
    if (Is(member, "PaperSize")) return PaperSize(style, put, Arg(args, 0));
    const char* property = Is(member, "FitToPagesWide")   ? "ScaleToPagesX"
                           : Is(member, "FitToPagesTall") ? "ScaleToPagesY"
                                                          : nullptr;
    if (!property) ThrowUnknownMember(QStringLiteral("PageSetup"), member);
    if (!put) return TkvVariant(static_cast<std::int32_t>(Short(style, property)));
    const TkvVariant v = Arg(args, 0);
    // false: as many pages as needed.
    const int pages = v.GetType() == TkvVariant::Type::Boolean ? (v.ToBool() ? 1 : 0) : v.ToInt();
    if (pages < 0 || pages > 1000)
      throw TkvAutomationError(
          QStringLiteral("%1 must be from 0 to 1000, not %2").arg(member).arg(pages), member);
    style->setPropertyValue(OUString::createFromAscii(property), uno::Any(sal_Int16(pages)));
    return {};
  }

 private:
  uno::Reference<beans::XPropertySet> PageStyle() {
    uno::Reference<beans::XPropertySet> sheetProps(sheet_, uno::UNO_QUERY_THROW);
    OUString styleName;
    sheetProps->getPropertyValue("PageStyle") >>= styleName;
    uno::Reference<style::XStyleFamiliesSupplier> families(doc_->Component(), uno::UNO_QUERY_THROW);
    uno::Reference<container::XNameAccess> pageStyles(
        families->getStyleFamilies()->getByName("PageStyles"), uno::UNO_QUERY_THROW);
    return uno::Reference<beans::XPropertySet>(pageStyles->getByName(styleName),
                                               uno::UNO_QUERY_THROW);
  }
  // Paper sizes of the object model (XlPaperSize) in 1/100 mm, portrait.
  struct Paper {
    int number;
    sal_Int32 width, height;
  };
  static constexpr Paper kPapers[] = {{1, 21590, 27940},    // Letter
                                      {5, 21590, 35560},    // Legal
                                      {8, 29700, 42000},    // A3
                                      {9, 21000, 29700},    // A4
                                      {11, 14800, 21000}};  // A5
  static constexpr int kPaperUser = 256;
  static constexpr int kPortrait = 1, kLandscape = 2;

  static awt::Size PageSize(const uno::Reference<beans::XPropertySet>& style) {
    awt::Size size;
    style->getPropertyValue("Size") >>= size;
    return size;
  }
  static bool Landscape(const uno::Reference<beans::XPropertySet>& style) {
    bool landscape = false;
    style->getPropertyValue("IsLandscape") >>= landscape;
    return landscape;
  }
  // Sets the landscape flag and the page size in that orientation, as
  // Calc's own page dialog does.
  static void SetPage(const uno::Reference<beans::XPropertySet>& style, sal_Int32 shortSide,
                      sal_Int32 longSide, bool landscape) {
    style->setPropertyValue("IsLandscape", uno::Any(landscape));
    style->setPropertyValue("Size", uno::Any(landscape ? awt::Size(longSide, shortSide)
                                                       : awt::Size(shortSide, longSide)));
  }

  // Orientation: 1 portrait, 2 landscape (XlPageOrientation).
  TkvVariant Orientation(const uno::Reference<beans::XPropertySet>& style, bool put,
                         const TkvVariant& v) {
    if (!put)
      return TkvVariant(static_cast<std::int32_t>(Landscape(style) ? kLandscape : kPortrait));
    const int wanted = v.ToInt();
    if (wanted != kPortrait && wanted != kLandscape)
      throw TkvAutomationError(
          QStringLiteral("Orientation must be 1 (portrait) or 2 (landscape), not %1").arg(wanted),
          QStringLiteral("Orientation"));
    const awt::Size size = PageSize(style);
    SetPage(style, std::min(size.Width, size.Height), std::max(size.Width, size.Height),
            wanted == kLandscape);
    return {};
  }

  // PaperSize: an XlPaperSize of kPapers; other page sizes read as 256 (user).
  TkvVariant PaperSize(const uno::Reference<beans::XPropertySet>& style, bool put,
                       const TkvVariant& v) {
    if (!put) {
      const awt::Size size = PageSize(style);
      const sal_Int32 shortSide = std::min(size.Width, size.Height),
                      longSide = std::max(size.Width, size.Height);
      for (const Paper& paper : kPapers)
        if (std::abs(paper.width - shortSide) <= 100 && std::abs(paper.height - longSide) <= 100)
          return TkvVariant(static_cast<std::int32_t>(paper.number));
      return TkvVariant(static_cast<std::int32_t>(kPaperUser));
    }
    const int wanted = v.ToInt();
    for (const Paper& paper : kPapers)
      if (paper.number == wanted) {
        SetPage(style, paper.width, paper.height, Landscape(style));
        return {};
      }
    throw TkvAutomationError(
        QStringLiteral(
            "PaperSize %1 is not supported: use 1 (Letter), 5 (Legal), 8 (A3), 9 (A4) or 11 (A5)")
            .arg(wanted),
        QStringLiteral("PaperSize"));
  }

  static sal_Int16 Short(const uno::Reference<beans::XPropertySet>& props, const char* name) {
    sal_Int16 value = 0;
    props->getPropertyValue(OUString::createFromAscii(name)) >>= value;
    return value;
  }

  std::shared_ptr<CalcDocument> doc_;
  uno::Reference<sheet::XSpreadsheet> sheet_;
};

class CalcSheet final : public CalcObject {
 public:
  CalcSheet(std::shared_ptr<CalcDocument> doc, const uno::Reference<sheet::XSpreadsheet>& sheet,
            int index)
      : doc_(std::move(doc)), sheet_(sheet), index_(index) {}

 protected:
  TkvOfficeProcess& Process() override { return doc_->Process(); }
  QString Subject() const override { return doc_->Path(); }

  TkvVariant Dispatch(const QString& member, TkvInvokeKind kind, const TkvArgs& args) override {
    if (Is(member, "ExportAsFixedFormat")) {
      ExportPdf(*doc_, sheet_, index_, args);
      return {};
    }
    if (Is(member, "PrintOut")) {
      PrintPdf(*doc_, sheet_, index_, args);
      return {};
    }
    RequireGet(member, kind);
    if (Is(member, "PageSetup"))
      return TkvVariant(
          std::shared_ptr<TkvAutoObject>(std::make_shared<CalcPageSetup>(doc_, sheet_)));
    if (Is(member, "Name"))
      return TkvVariant(
          ToQ(uno::Reference<container::XNamed>(sheet_, uno::UNO_QUERY_THROW)->getName()));
    if (Is(member, "Index")) return TkvVariant(static_cast<std::int32_t>(index_));
    // XlSheetVisibility: -1 visible, 0 hidden.
    if (Is(member, "Visible"))
      return TkvVariant(static_cast<std::int32_t>(SheetVisible(sheet_) ? -1 : 0));
    ThrowUnknownMember(QStringLiteral("Worksheet"), member);
  }

 private:
  std::shared_ptr<CalcDocument> doc_;
  uno::Reference<sheet::XSpreadsheet> sheet_;
  int index_;  // from 1
};

std::shared_ptr<TkvAutoObject> SheetAt(const std::shared_ptr<CalcDocument>& doc,
                                       const TkvVariant& which) {
  auto sheets = doc->Sheets();
  const int count = sheets->getCount();
  if (which.GetType() == TkvVariant::Type::Text) {
    const QString name = which.ToText();
    for (int i = 0; i < count; ++i) {
      uno::Reference<sheet::XSpreadsheet> s(sheets->getByIndex(i), uno::UNO_QUERY_THROW);
      if (ToQ(uno::Reference<container::XNamed>(s, uno::UNO_QUERY_THROW)->getName())
              .compare(name, Qt::CaseInsensitive) == 0)
        return std::make_shared<CalcSheet>(doc, s, i + 1);
    }
    throw TkvAutomationError(
        QStringLiteral("The workbook %1 has no sheet named \"%2\"").arg(doc->Path(), name),
        QStringLiteral("Sheets"), kTkvSheetCannotPrint);
  }
  const int index = which.ToInt();
  if (index < 1 || index > count)
    throw TkvAutomationError(QStringLiteral("The workbook %1 has %2 sheet(s): there is no sheet %3")
                                 .arg(doc->Path())
                                 .arg(count)
                                 .arg(index),
                             QStringLiteral("Sheets"), kTkvSheetCannotPrint);
  uno::Reference<sheet::XSpreadsheet> s(sheets->getByIndex(index - 1), uno::UNO_QUERY_THROW);
  return std::make_shared<CalcSheet>(doc, s, index);
}

class CalcSheets final : public CalcObject {
 public:
  explicit CalcSheets(std::shared_ptr<CalcDocument> doc) : doc_(std::move(doc)) {}

 protected:
  TkvOfficeProcess& Process() override { return doc_->Process(); }
  QString Subject() const override { return doc_->Path(); }

  TkvVariant Dispatch(const QString& member, TkvInvokeKind kind, const TkvArgs& args) override {
    RequireGet(member, kind);
    if (Is(member, "Count"))
      return TkvVariant(static_cast<std::int32_t>(doc_->Sheets()->getCount()));
    if (Is(member, "Item") || member.isEmpty()) {
      if (args.isEmpty())
        ThrowBadArguments(member, QStringLiteral("a sheet number or name is needed"));
      return TkvVariant(SheetAt(doc_, args[0]));
    }
    ThrowUnknownMember(QStringLiteral("Sheets"), member);
  }

 private:
  std::shared_ptr<CalcDocument> doc_;
};

class CalcWorkbook final : public CalcObject {
 public:
  explicit CalcWorkbook(std::shared_ptr<CalcDocument> doc) : doc_(std::move(doc)) {}

 protected:
  TkvOfficeProcess& Process() override { return doc_->Process(); }
  QString Subject() const override { return doc_->Path(); }

  TkvVariant Dispatch(const QString& member, TkvInvokeKind kind, const TkvArgs& args) override {
    if (Is(member, "Close")) {
      const TkvVariant save = Arg(args, 0);
      if (!save.IsMissing() && save.ToBool())
        throw TkvAutomationError(
            QStringLiteral("Saving is not supported: %1 was not closed").arg(doc_->Path()), member);
      doc_->Close();
      return {};
    }
    if (Is(member, "ExportAsFixedFormat")) {
      ExportPdf(*doc_, nullptr, 0, args);
      return {};
    }
    if (Is(member, "PrintOut")) {
      PrintPdf(*doc_, nullptr, 0, args);
      return {};
    }
    RequireGet(member, kind);
    if (Is(member, "Sheets") || Is(member, "Worksheets")) {
      if (!args.isEmpty()) return TkvVariant(SheetAt(doc_, args[0]));
      return TkvVariant(std::shared_ptr<TkvAutoObject>(std::make_shared<CalcSheets>(doc_)));
    }
    if (Is(member, "ActiveSheet")) {
      uno::Reference<frame::XModel> model(doc_->Component(), uno::UNO_QUERY_THROW);
      uno::Reference<sheet::XSpreadsheetView> view(model->getCurrentController(), uno::UNO_QUERY);
      uno::Reference<sheet::XSpreadsheet> active = view.is() ? view->getActiveSheet() : nullptr;
      // Proxies of one sheet need not be identical: compare names.
      const OUString activeName =
          active.is() ? uno::Reference<container::XNamed>(active, uno::UNO_QUERY_THROW)->getName()
                      : OUString();
      auto sheets = doc_->Sheets();
      for (int i = 0; i < sheets->getCount(); ++i) {
        uno::Reference<sheet::XSpreadsheet> s(sheets->getByIndex(i), uno::UNO_QUERY_THROW);
        if (!active.is() ||
            uno::Reference<container::XNamed>(s, uno::UNO_QUERY_THROW)->getName() == activeName)
          return TkvVariant(
              std::shared_ptr<TkvAutoObject>(std::make_shared<CalcSheet>(doc_, s, i + 1)));
      }
      throw TkvAutomationError(
          QStringLiteral("The workbook %1 has no active sheet").arg(doc_->Path()), member);
    }
    if (Is(member, "Name")) return TkvVariant(doc_->FileName());
    if (Is(member, "FullName")) return TkvVariant(doc_->Path());
    if (Is(member, "Warnings")) {
      QList<TkvVariant> warnings;
      for (const QString& warning : doc_->Warnings()) warnings << TkvVariant(warning);
      return TkvVariant(warnings);
    }
    ThrowUnknownMember(QStringLiteral("Workbook"), member);
  }

 private:
  std::shared_ptr<CalcDocument> doc_;
};

class CalcWorkbooks final : public CalcObject {
 public:
  explicit CalcWorkbooks(std::shared_ptr<TkvOfficeProcess> process)
      : process_(std::move(process)) {}

 protected:
  TkvOfficeProcess& Process() override { return *process_; }
  QString Subject() const override { return QStringLiteral("LibreOffice"); }

  TkvVariant Dispatch(const QString& member, TkvInvokeKind kind, const TkvArgs& args) override {
    RequireGet(member, kind);
    if (Is(member, "Open")) return TkvVariant(Open(args));
    ThrowUnknownMember(QStringLiteral("Workbooks"), member);
  }

 private:
  std::shared_ptr<TkvAutoObject> Open(const TkvArgs& args) {
    const TkvVariant file = Arg(args, 0);
    if (file.IsMissing() || file.ToText().trimmed().isEmpty())
      ThrowBadArguments(QStringLiteral("Open"), QStringLiteral("a workbook file name is needed"));
    tabrix::office::WorkbookRequest request;
    request.path = file.ToText();
    // The read-only argument (2) is accepted, but every workbook loads read-only.
    if (const TkvVariant password = Arg(args, 4); !password.IsMissing())
      request.password = password.ToText();
    if (const TkvVariant recalc = Arg(args, kTkvOpenRecalculate);
        !recalc.IsMissing() && !TkvParseRecalc(recalc.ToText(), &request.recalc))
      ThrowBadArguments(QStringLiteral("Open"),
                        QStringLiteral("recalculation is Auto, Always or Never, not \"%1\"")
                            .arg(recalc.ToText()));
    tabrix::office::LoadedWorkbook loaded = tabrix::office::LoadWorkbook(*process_, request);
    auto doc = std::make_shared<CalcDocument>(process_, loaded.component, request.path,
                                              std::move(loaded.warnings), std::move(loaded.copy));
    return std::make_shared<CalcWorkbook>(doc);
  }

  std::shared_ptr<TkvOfficeProcess> process_;
};

class CalcApplication final : public CalcObject {
 public:
  explicit CalcApplication(std::shared_ptr<TkvOfficeProcess> process)
      : process_(std::move(process)) {
    process_->EnsureRunning();
  }

 protected:
  TkvOfficeProcess& Process() override { return *process_; }
  QString Subject() const override { return QStringLiteral("LibreOffice"); }

  TkvVariant Dispatch(const QString& member, TkvInvokeKind kind, const TkvArgs& args) override {
    if (Is(member, "DisplayAlerts")) {
      if (kind == TkvInvokeKind::PropertyPut) {
        displayAlerts_ = Arg(args, 0).ToBool();  // the office never shows alerts here
        return {};
      }
      return TkvVariant(displayAlerts_);
    }
    if (Is(member, "Quit")) {
      process_->Quit();
      return {};
    }
    RequireGet(member, kind);
    if (Is(member, "Version")) return TkvVariant(Version());
    if (Is(member, "Path")) return TkvVariant(tabrix::office::ProgramDir());
    if (Is(member, "Name")) return TkvVariant(QStringLiteral("LibreOffice Calc"));
    if (Is(member, "Workbooks"))
      return TkvVariant(std::shared_ptr<TkvAutoObject>(std::make_shared<CalcWorkbooks>(process_)));
    ThrowUnknownMember(QStringLiteral("Application"), member);
  }

 private:
  QString Version() {
    uno::Reference<container::XNameAccess> node(
        tabrix::office::ConfigNode(process_->Context(), "/org.openoffice.Setup/Product"),
        uno::UNO_QUERY_THROW);
    OUString version;
    node->getByName("ooSetupVersion") >>= version;
    return ToQ(version);
  }

  std::shared_ptr<TkvOfficeProcess> process_;
  bool displayAlerts_ = true;
};

}  // namespace

std::shared_ptr<TkvAutoObject> TkvCreateCalcApplication(std::shared_ptr<TkvOfficeProcess> process) {
  try {
    return std::make_shared<CalcApplication>(std::move(process));
  } catch (const TkvAutomationError&) {
    throw;
  } catch (const TkvError& e) {
    throw TkvAutomationError(e.Message());
  }
}

std::shared_ptr<TkvAutoObject> TkvCreateCalcApplication() {
  return TkvCreateCalcApplication(TkvOfficeProcess::ForThisThread());
}

QString TkvCalcProgramPath() {
  return tabrix::office::ProgramDir() + QStringLiteral("/soffice.bin");
}

void TkvPrepareOfficeEnvironment() { tabrix::office::PrepareEnvironment(); }

TkvThreadOffice TkvThisThreadOffice() {
  const std::shared_ptr<TkvOfficeProcess> process = TkvOfficeProcess::ForThisThread();
  TkvThreadOffice office;
  office.pid = process->IsRunning() ? static_cast<long>(process->Pid()) : -1;
  office.starts = process->StartCount();
  return office;
}
