#include "convert/office/calc_application.h"

#include "convert/office/office_output.h"
#include "convert/office/office_process.h"
#include "convert/office/office_url.h"
#include "convert/office/uno_runtime.h"
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
using tabrix::office::Prop;
using tabrix::office::ToOU;
using tabrix::office::ToQ;

namespace {

bool Is(const QString& member, const char* name) {
  return member.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

TkvVariant Arg(const TkvArgs& args, int i) {
  return i < args.size() ? args[i] : TkvVariant(TkvVariant::Omitted);
}

// The open document shared by a workbook object and the objects taken from it.
// Closes the document (without saving) when the last of them is released.
class CalcDocument {
 public:
  CalcDocument(std::shared_ptr<TkvOfficeProcess> process,
               const uno::Reference<lang::XComponent>& component, QString path)
      : process_(std::move(process)), component_(component), path_(std::move(path)) {
    process_->DocumentOpened();
  }
  ~CalcDocument() { Close(); }
  CalcDocument(const CalcDocument&) = delete;
  CalcDocument& operator=(const CalcDocument&) = delete;

  void Close() noexcept {
    if (!component_.is()) return;
    try {
      uno::Reference<util::XCloseable> closeable(component_, uno::UNO_QUERY);
      if (closeable.is())
        closeable->close(true);
      else
        component_->dispose();
    } catch (...) {
      // A dead office or a vetoed close: the document goes with the process.
    }
    component_.clear();
    process_->DocumentClosed();
  }

  TkvOfficeProcess& Process() { return *process_; }
  const std::shared_ptr<TkvOfficeProcess>& ProcessPointer() const { return process_; }
  const QString& Path() const { return path_; }
  QString FileName() const {
    const int slash = path_.lastIndexOf(QLatin1Char('/'));
    return slash >= 0 ? path_.mid(slash + 1) : path_;
  }
  // The component; raises when the workbook has been closed.
  uno::Reference<lang::XComponent> Component() const {
    if (!component_.is())
      throw TkvAutomationError(QStringLiteral("The workbook %1 is closed").arg(path_));
    return component_;
  }
  uno::Reference<container::XIndexAccess> Sheets() const {
    uno::Reference<sheet::XSpreadsheetDocument> doc(Component(), uno::UNO_QUERY_THROW);
    return uno::Reference<container::XIndexAccess>(doc->getSheets(), uno::UNO_QUERY_THROW);
  }

 private:
  std::shared_ptr<TkvOfficeProcess> process_;
  uno::Reference<lang::XComponent> component_;
  QString path_;
};

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

bool SheetVisible(const uno::Reference<sheet::XSpreadsheet>& sheet) {
  bool visible = true;
  uno::Reference<beans::XPropertySet>(sheet, uno::UNO_QUERY_THROW)
      ->getPropertyValue("IsVisible") >>= visible;
  return visible;
}

// Writes the document (or one sheet of it) as PDF.
void ExportPdf(CalcDocument& doc, const uno::Reference<sheet::XSpreadsheet>& sheet,
               const TkvArgs& args) {
  const TkvVariant type = Arg(args, 0);
  if (!type.IsMissing() && type.ToInt() != 0)
    throw TkvAutomationError(
        QStringLiteral("Only PDF export (type 0) is supported, not %1").arg(type.ToInt()),
        QStringLiteral("ExportAsFixedFormat"));
  const TkvVariant file = Arg(args, 1);
  if (file.IsMissing() || file.ToText().isEmpty())
    throw TkvAutomationError(QStringLiteral("ExportAsFixedFormat needs a file name"),
                             QStringLiteral("ExportAsFixedFormat"));
  const QString target = QFileInfo(file.ToText()).absoluteFilePath();

  std::vector<beans::PropertyValue> filterData;
  if (sheet.is()) {
    // Calc would write the next visible sheet instead: refuse, as the
    // spreadsheet application does.
    if (!SheetVisible(sheet))
      throw TkvAutomationError(
          QStringLiteral("The sheet \"%1\" of %2 is hidden: a hidden sheet cannot be exported")
              .arg(ToQ(uno::Reference<container::XNamed>(sheet, uno::UNO_QUERY_THROW)->getName()),
                   doc.Path()),
          QStringLiteral("ExportAsFixedFormat"));
    filterData.push_back(Prop("Selection", uno::Any(sheet)));
  }
  // Argument 9 (after the object model's FixedFormatExtClassPtr): PDF/A-2b,
  // which embeds every font.
  if (const TkvVariant pdfA = Arg(args, 9); !pdfA.IsMissing() && pdfA.ToBool()) {
    filterData.push_back(Prop("SelectPdfVersion", uno::Any(sal_Int32(2))));
    filterData.push_back(Prop("EmbedStandardFonts", uno::Any(true)));
  }
  const TkvVariant from = Arg(args, 5), to = Arg(args, 6);
  if (!from.IsMissing() || !to.IsMissing()) {
    const QString range = QStringLiteral("%1-%2")
                              .arg(from.IsMissing() ? 1 : from.ToInt())
                              .arg(to.IsMissing() ? QString() : QString::number(to.ToInt()));
    filterData.push_back(Prop("PageRange", uno::Any(ToOU(range))));
  }
  const uno::Sequence<beans::PropertyValue> data(filterData.data(),
                                                 static_cast<sal_Int32>(filterData.size()));
  uno::Reference<frame::XStorable> storable(doc.Component(), uno::UNO_QUERY_THROW);
  // The office writes in its private folder and the file is moved into
  // place whole, so a run killed mid-export leaves nothing in the target's
  // folder and no half-written PDF under its name.
  TkvOfficeOutput output(target, doc.ProcessPointer());
  try {
    storable->storeToURL(ToOU(output.Url()),
                         tabrix::office::SequenceOf<beans::PropertyValue>(
                             {Prop("FilterName", uno::Any(OUString("calc_pdf_Export"))),
                              Prop("FilterData", uno::Any(data))}));
  } catch (const uno::Exception& e) {
    const QString text = tabrix::office::ExceptionText(e);
    const QString message =
        doc.Process().FailureMessage(text, tabrix::office::MayBeConnectionFailureNow());
    if (message != text)
      throw TkvAutomationError(QStringLiteral("%1: %2").arg(message, doc.Path()),
                               QStringLiteral("ExportAsFixedFormat"));
    throw TkvAutomationError(
        QStringLiteral("Cannot write the PDF file %1 from %2: %3").arg(target, doc.Path(), text),
        QStringLiteral("ExportAsFixedFormat"));
  }
  if (output.WrittenSize() <= 0)
    throw TkvAutomationError(
        QStringLiteral("LibreOffice wrote no PDF file at %1 from %2").arg(target, doc.Path()),
        QStringLiteral("ExportAsFixedFormat"));
  try {
    output.Place();
  } catch (const TkvError& e) {
    throw TkvAutomationError(QStringLiteral("%1 from %2").arg(e.Message(), doc.Path()),
                             QStringLiteral("ExportAsFixedFormat"));
  }
}

// PrintOut(from, to, copies, preview, printer): the office writes the object
// as PDF (pages from..to when given) and the printer module prints that file
// on `printer` (the default PDF printer when omitted). Preview is ignored:
// nothing is ever shown. Raises when the print fails or delivers no file.
void PrintPdf(CalcDocument& doc, const uno::Reference<sheet::XSpreadsheet>& sheet,
              const TkvArgs& args) {
  const TkvVariant copies = Arg(args, 2);
  if (!copies.IsMissing() && copies.ToInt() != 1)
    throw TkvAutomationError(
        QStringLiteral("Only one copy can be printed, not %1").arg(copies.ToInt()),
        QStringLiteral("PrintOut"));
  const TkvVariant printerArg = Arg(args, 4);
  const QString printer =
      printerArg.IsMissing() ? TkvPdfPrinterName(QString()) : printerArg.ToText();
  const TkvVariant omitted = TkvVariant::Omitted;
  const QString delivered = TkvPrintThroughPdf(
      printer,
      [&](const QString& pdf) {
        ExportPdf(doc, sheet,
                  {std::int32_t(0), pdf, omitted, omitted, omitted, Arg(args, 0), Arg(args, 1)});
      },
      TkvCalcProgramPath());
  if (QFileInfo(delivered).size() <= 0)
    throw TkvAutomationError(
        QStringLiteral("The printer \"%1\" delivered no PDF file for %2").arg(printer, doc.Path()),
        QStringLiteral("PrintOut"));
}

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
      ExportPdf(*doc_, sheet_, args);
      return {};
    }
    if (Is(member, "PrintOut")) {
      PrintPdf(*doc_, sheet_, args);
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
        QStringLiteral("Sheets"));
  }
  const int index = which.ToInt();
  if (index < 1 || index > count)
    throw TkvAutomationError(QStringLiteral("The workbook %1 has %2 sheet(s): there is no sheet %3")
                                 .arg(doc->Path())
                                 .arg(count)
                                 .arg(index),
                             QStringLiteral("Sheets"));
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
      ExportPdf(*doc_, nullptr, args);
      return {};
    }
    if (Is(member, "PrintOut")) {
      PrintPdf(*doc_, nullptr, args);
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
    ThrowUnknownMember(QStringLiteral("Workbook"), member);
  }

 private:
  std::shared_ptr<CalcDocument> doc_;
};

// What LibreOffice's "type detection aborted" means for the file at hand.
QString UnreadableMessage(const QString& path, const QString& localPath) {
  QFile file(localPath);
  QByteArray head;
  if (file.open(QIODevice::ReadOnly)) head = file.read(8);
  // Encrypted workbooks (.xlsx with a password, .xls with one) are OLE2
  // compound files; so are plain .xls files that LibreOffice cannot read.
  if (head.startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1")))
    return QStringLiteral("The workbook %1 is password-protected or could not be opened").arg(path);
  return QStringLiteral("The workbook %1 cannot be read: it is damaged or not a workbook")
      .arg(path);
}

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
    const QString path = file.ToText();
    const bool remote = TkvIsRemoteAddress(path);
    const QString localPath =
        remote ? QString() : QFileInfo(TkvLocalPathOf(path)).absoluteFilePath();
    if (!remote && !QFileInfo(localPath).isFile())
      throw TkvAutomationError(QStringLiteral("The workbook %1 does not exist").arg(path),
                               QStringLiteral("Open"));

    // The read-only argument (2) is accepted, but every workbook loads
    // read-only: nothing is ever saved back, and a read-write load leaves a
    // lock file beside the user's workbook (for good, when the office is
    // killed mid-document) and loads a few percent slower.
    const TkvVariant password = Arg(args, 4);
    std::vector<beans::PropertyValue> props = {
        Prop("Hidden", uno::Any(true)),
        Prop("ReadOnly", uno::Any(true)),
        Prop("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
        Prop("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
    };
    if (!password.IsMissing()) props.push_back(Prop("Password", uno::Any(ToOU(password.ToText()))));
    const uno::Sequence<beans::PropertyValue> media(props.data(),
                                                    static_cast<sal_Int32>(props.size()));

    uno::Reference<lang::XComponent> component;
    try {
      auto desktop = process_->Desktop();  // starts a new office if the last one died
      component = desktop->loadComponentFromURL(ToOU(remote ? path : TkvOfficeFileUrl(localPath)),
                                                "_blank", 0, media);
    } catch (const uno::Exception& e) {
      const QString text = tabrix::office::ExceptionText(e);
      const QString message =
          process_->FailureMessage(text, tabrix::office::MayBeConnectionFailureNow());
      if (message != text)
        throw TkvAutomationError(QStringLiteral("%1: %2").arg(message, path),
                                 QStringLiteral("Open"));
      if (text.contains(QLatin1String("type detection aborted")) ||
          text.contains(QLatin1String("Unsupported URL")))
        throw TkvAutomationError(
            remote ? QStringLiteral("The workbook %1 could not be downloaded or read").arg(path)
                   : UnreadableMessage(path, localPath),
            QStringLiteral("Open"));
      throw TkvAutomationError(
          QStringLiteral("The workbook %1 could not be opened: %2").arg(path, text),
          QStringLiteral("Open"));
    }
    if (!component.is())  // what LibreOffice answers for encrypted and damaged files alike
      throw TkvAutomationError(
          remote ? QStringLiteral("The workbook %1 could not be downloaded or read").arg(path)
                 : UnreadableMessage(path, localPath),
          QStringLiteral("Open"));
    auto doc = std::make_shared<CalcDocument>(process_, component, path);
    if (!uno::Reference<sheet::XSpreadsheetDocument>(component, uno::UNO_QUERY).is()) {
      doc->Close();
      throw TkvAutomationError(
          QStringLiteral("The workbook %1 cannot be read: it is not a spreadsheet").arg(path),
          QStringLiteral("Open"));
    }
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
