// "Excel.Application" and the office-suite export on real LibreOffice, checked
// through the PDF files they write.

#include "convert/automation/class_registry.h"
#include "convert/office/calc_application.h"
#include "convert/office/compound_file.h"
#include "convert/office/office_classes.h"
#include "convert/office/office_process.h"
#include "convert/office/office_url.h"
#include "convert/office/uno_runtime.h"
#include "convert/office_suite_export.h"
#include "office_test_env.h"
#include "support/qt_print.h"
#include "support/workbooks.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/XEventsSupplier.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <chrono>
#include <thread>

using namespace tabrix::test;

namespace {

const TkvVariant kOmitted = TkvVariant::Omitted;

class OfficeCalcTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!officeInstalled()) return;
    officeCacheDir();
    TkvRegisterOfficeClasses();
    folder = new ScopedTempDir;
    ASSERT_TRUE(writeXlsx(folder->file(QStringLiteral("three.xlsx")), threeSheets(), 3));
    ASSERT_TRUE(writeXlsx(folder->file(QStringLiteral("long.xlsx")), twentyPages()));
    app = TkvCreateObject(QStringLiteral("Excel.Application"));
    // .xls, .xlsm and a password-protected .xlsx, written by LibreOffice itself.
    saveAs(QStringLiteral("three.xlsx"), QStringLiteral("three.xls"),
           QStringLiteral("MS Excel 97"));
    saveAs(QStringLiteral("three.xlsx"), QStringLiteral("three.xlsm"),
           QStringLiteral("Calc MS Excel 2007 VBA XML"));
    saveAs(QStringLiteral("three.xlsx"), QStringLiteral("locked.xls"),
           QStringLiteral("MS Excel 97"), QStringLiteral("secret"));
  }
  static void TearDownTestSuite() {
    if (app) {
      const pid_t pid = TkvOfficeProcess::ForThisThread()->Pid();
      app->Call(QStringLiteral("Quit"));
      app.reset();
      EXPECT_TRUE(processGone(pid));
    }
    EXPECT_TRUE(childOffices().isEmpty());
    delete folder;
    folder = nullptr;
  }
  void SetUp() override {
    TABRIX_REQUIRE_OFFICE();
    ASSERT_TRUE(app);
  }

  // Typed UNO: the late-bound store cannot pass every media property.
  static void saveAs(const QString& from, const QString& to, const QString& filter,
                     const QString& password = {}) {
    using namespace css;
    using tabrix::office::Prop;
    using tabrix::office::ToOU;
    auto desktop = TkvOfficeProcess::ForThisThread()->Desktop();
    auto doc = desktop->loadComponentFromURL(
        ToOU(TkvOfficeFileUrl(folder->file(from))), "_blank", 0,
        tabrix::office::SequenceOf<beans::PropertyValue>({Prop("Hidden", uno::Any(true))}));
    std::vector<beans::PropertyValue> store{Prop("FilterName", uno::Any(ToOU(filter)))};
    if (!password.isEmpty()) store.push_back(Prop("Password", uno::Any(ToOU(password))));
    uno::Reference<frame::XStorable>(doc, uno::UNO_QUERY_THROW)
        ->storeToURL(ToOU(TkvOfficeFileUrl(folder->file(to))),
                     uno::Sequence<beans::PropertyValue>(store.data(),
                                                         static_cast<sal_Int32>(store.size())));
    uno::Reference<util::XCloseable>(doc, uno::UNO_QUERY_THROW)->close(true);
  }

  static std::shared_ptr<TkvAutoObject> open(const QString& path, const TkvVariant& readOnly = true,
                                             const TkvVariant& password = kOmitted) {
    TkvArgs args{path, kOmitted, readOnly};
    if (!password.IsOmitted()) args << kOmitted << password;
    return app->GetObject(QStringLiteral("Workbooks"))
        ->Call(QStringLiteral("Open"), args)
        .ToObject();
  }
  static void exportTo(TkvAutoObject& target, const QString& pdf) {
    target.Call(QStringLiteral("ExportAsFixedFormat"),
                {std::int32_t{0}, pdf, std::int32_t{0}, true, false, kOmitted, kOmitted, false});
  }
  static QString openFailure(const QString& path, const TkvVariant& password = kOmitted) {
    try {
      open(path, true, password);
    } catch (const TkvAutomationError& e) {
      return e.Message();
    }
    return {};
  }

  static inline ScopedTempDir* folder = nullptr;
  static inline std::shared_ptr<TkvAutoObject> app;
};

TEST_F(OfficeCalcTest, ApplicationReportsVersionAndPath) {
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+$"))
                  .match(app->Get(QStringLiteral("Version")).ToText())
                  .hasMatch());
  EXPECT_EQ(app->Get(QStringLiteral("Path")).ToText(),
            QStringLiteral("/usr/lib/libreoffice/program"));
  app->Put(QStringLiteral("DisplayAlerts"), false);
  EXPECT_FALSE(app->Get(QStringLiteral("DisplayAlerts")).ToBool());
}

TEST_F(OfficeCalcTest, ExportsWholeWorkbookOneSheetAndActiveSheet) {
  auto book = open(folder->file(QStringLiteral("three.xlsx")));
  const QString whole = folder->file(QStringLiteral("whole.pdf"));
  exportTo(*book, whole);
  const int wholePages = pdfPageCount(whole);
  const QString wholeText = pdfText(whole);
  EXPECT_GE(wholePages, 5);
  for (const char* text : {"Alpha text one", "Bravo text two", "Charlie text three"})
    EXPECT_TRUE(wholeText.contains(QLatin1String(text))) << text;

  auto sheets = book->GetObject(QStringLiteral("Sheets"));
  EXPECT_EQ(sheets->Get(QStringLiteral("Count")).ToInt(), 3);
  const QString second = folder->file(QStringLiteral("second.pdf"));
  exportTo(*book->GetObject(QStringLiteral("Sheets"), {std::int32_t{2}}), second);
  EXPECT_EQ(pdfPageCount(second), wholePages - 2);
  EXPECT_TRUE(pdfText(second).contains(QLatin1String("Bravo text two")));
  EXPECT_FALSE(pdfText(second).contains(QLatin1String("Alpha")));

  auto active = book->GetObject(QStringLiteral("ActiveSheet"));
  EXPECT_EQ(active->Get(QStringLiteral("Name")).ToText(), QStringLiteral("Charlie"));
  const QString activePdf = folder->file(QStringLiteral("active.pdf"));
  exportTo(*active, activePdf);
  EXPECT_EQ(pdfPageCount(activePdf), 1);
  EXPECT_TRUE(pdfText(activePdf).contains(QLatin1String("Charlie text three")));
  EXPECT_FALSE(pdfText(activePdf).contains(QLatin1String("Bravo")));
  // Each PDF was written under a temporary name and renamed into place.
  EXPECT_TRUE(QDir(folder->path())
                  .entryList({QStringLiteral(".tabrix-*")}, QDir::Files | QDir::Hidden)
                  .isEmpty());

  for (std::int32_t bad : {0, 4}) {
    try {
      book->GetObject(QStringLiteral("Sheets"), {bad});
      FAIL() << bad;
    } catch (const TkvAutomationError& e) {
      EXPECT_TRUE(e.Message().contains(QStringLiteral("no sheet %1").arg(bad))) << e.what();
      EXPECT_TRUE(e.Message().contains(QStringLiteral("three.xlsx"))) << e.what();
    }
  }
  book->Call(QStringLiteral("Close"), {false});
  EXPECT_THROW(book->GetObject(QStringLiteral("Sheets"))->Get(QStringLiteral("Count")),
               TkvAutomationError);  // closed
}

TEST_F(OfficeCalcTest, FitToPagesReducesPages) {
  auto book = open(folder->file(QStringLiteral("three.xlsx")), false);
  // Even when not asked to open read-only, nothing lands beside the workbook.
  EXPECT_FALSE(QFileInfo::exists(folder->file(QStringLiteral(".~lock.three.xlsx#"))));
  const QString before = folder->file(QStringLiteral("fit-before.pdf"));
  exportTo(*book, before);
  EXPECT_GE(pdfPageCount(before), 5);
  auto sheets = book->GetObject(QStringLiteral("Sheets"));
  for (std::int32_t i = 1; i <= sheets->Get(QStringLiteral("Count")).ToInt(); ++i) {
    auto setup =
        book->GetObject(QStringLiteral("Sheets"), {i})->GetObject(QStringLiteral("PageSetup"));
    setup->Put(QStringLiteral("Zoom"), false);
    setup->Put(QStringLiteral("FitToPagesWide"), std::int32_t{1});
    setup->Put(QStringLiteral("FitToPagesTall"), std::int32_t{1});
    EXPECT_EQ(setup->Get(QStringLiteral("FitToPagesTall")).ToInt(), 1);
  }
  const QString after = folder->file(QStringLiteral("fit-after.pdf"));
  exportTo(*book, after);
  EXPECT_EQ(pdfPageCount(after), 3);  // one page per sheet
  book->Call(QStringLiteral("Close"), {false});

  // A twenty-page sheet shrinks as far as the office's smallest scale allows.
  auto longBook = open(folder->file(QStringLiteral("long.xlsx")), false);
  const QString longBefore = folder->file(QStringLiteral("long-before.pdf"));
  exportTo(*longBook, longBefore);
  EXPECT_GE(pdfPageCount(longBefore), 15);
  auto setup =
      longBook->GetObject(QStringLiteral("ActiveSheet"))->GetObject(QStringLiteral("PageSetup"));
  setup->Put(QStringLiteral("FitToPagesWide"), std::int32_t{1});
  setup->Put(QStringLiteral("FitToPagesTall"), std::int32_t{1});
  const QString longAfter = folder->file(QStringLiteral("long-after.pdf"));
  exportTo(*longBook, longAfter);
  EXPECT_LT(pdfPageCount(longAfter), pdfPageCount(longBefore) / 4);
  longBook->Call(QStringLiteral("Close"), {false});
}

TEST_F(OfficeCalcTest, ReadsXlsXlsxAndXlsm) {
  for (const char* name : {"three.xls", "three.xlsx", "three.xlsm"}) {
    auto book = open(folder->file(QLatin1String(name)));
    const QString pdf = folder->file(QLatin1String(name) + QStringLiteral(".pdf"));
    exportTo(*book->GetObject(QStringLiteral("Sheets"), {QStringLiteral("Bravo")}), pdf);
    EXPECT_TRUE(pdfText(pdf).contains(QLatin1String("Bravo text two"))) << name;
    book->Call(QStringLiteral("Close"), {false});
  }
}

TEST_F(OfficeCalcTest, NamesWithBlanksHashPercentAndNonAscii) {
  const QString sub = folder->file(QStringLiteral("dir #2 50% é"));
  QDir().mkpath(sub);
  const QString source = sub + QStringLiteral("/Book #1 100% Übersicht.xlsx");
  ASSERT_TRUE(writeXlsx(source, threeSheets()));
  const QString pdf = sub + QStringLiteral("/Out #1 100% Übersicht.pdf");
  auto book = open(source);
  exportTo(*book, pdf);
  book->Call(QStringLiteral("Close"), {false});
  EXPECT_TRUE(pdfText(pdf).contains(QLatin1String("Charlie text three")));

  const QString viaSuite = sub + QStringLiteral("/Suite #1 100% ü.pdf");
  EXPECT_TRUE(OfficeSuiteExport(source, viaSuite));
  EXPECT_TRUE(pdfText(viaSuite).contains(QLatin1String("Alpha text one")));
}

TEST_F(OfficeCalcTest, UnreadableWorkbooksFailWithClearMessages) {
  const QString locked = folder->file(QStringLiteral("locked.xls"));
  for (const TkvVariant& password : {kOmitted, TkvVariant(std::int32_t{42})}) {
    const QString message = openFailure(locked, password);
    EXPECT_TRUE(message.contains(QStringLiteral("password-protected"))) << message.toStdString();
    EXPECT_TRUE(message.contains(locked)) << message.toStdString();
  }
  auto book = open(locked, true, QStringLiteral("secret"));  // the right password opens it
  EXPECT_EQ(book->GetObject(QStringLiteral("Sheets"))->Get(QStringLiteral("Count")).ToInt(), 3);
  book->Call(QStringLiteral("Close"), {false});
  // A password on a workbook that has none is ignored.
  open(folder->file(QStringLiteral("three.xlsx")), true, std::int32_t{42})
      ->Call(QStringLiteral("Close"), {false});

  const QString damaged = folder->write(
      QStringLiteral("damaged.xlsx"), QByteArray("PK\x03\x04 this is not a real zip archive", 36));
  QString message = openFailure(damaged);
  EXPECT_TRUE(message.contains(QStringLiteral("cannot be read"))) << message.toStdString();
  EXPECT_TRUE(message.contains(damaged)) << message.toStdString();

  // An encrypted workbook is named so, not "damaged": an .xlsx the
  // application encrypted, an .xls with a password; others are not.
  const QString encrypted = realworldCorpusDir() + QStringLiteral("/pass_protected.xlsx");
  if (!realworldCorpusDir().isEmpty()) {
    message = openFailure(encrypted);
    EXPECT_TRUE(message.endsWith(QStringLiteral(" is password-protected")))
        << message.toStdString();
  }
  EXPECT_TRUE(TkvIsPasswordProtected(locked));
  EXPECT_FALSE(TkvIsPasswordProtected(folder->file(QStringLiteral("three.xls"))))
      << "an Excel 97-2003 workbook without a password";

  message = openFailure(folder->file(QStringLiteral("missing.xlsx")));
  EXPECT_TRUE(message.contains(QStringLiteral("does not exist"))) << message.toStdString();

  // The office survives all of this.
  open(folder->file(QStringLiteral("three.xlsx")))->Call(QStringLiteral("Close"), {false});
}

// A workbook whose opening runs a Basic macro that writes a file: opening
// and exporting it the program's ways never runs the macro.
TEST_F(OfficeCalcTest, MacroBoundToOpeningNeverRuns) {
  using namespace css;
  using tabrix::office::Prop;
  using tabrix::office::SequenceOf;
  using tabrix::office::ToOU;
  const QString marker = folder->file(QStringLiteral("macro-ran"));
  const QString book =
      folder->file(QStringLiteral("opens-with-macro.xlsx"));  // ODF inside: read by content
  {
    auto desktop = TkvOfficeProcess::ForThisThread()->Desktop();
    auto doc = desktop->loadComponentFromURL(
        "private:factory/scalc", "_blank", 0,
        SequenceOf<beans::PropertyValue>({Prop("Hidden", uno::Any(true))}));
    uno::Reference<beans::XPropertySet> model(doc, uno::UNO_QUERY_THROW);
    uno::Reference<script::XLibraryContainer> libraries(model->getPropertyValue("BasicLibraries"),
                                                        uno::UNO_QUERY_THROW);
    if (!libraries->hasByName("Standard")) libraries->createLibrary("Standard");
    uno::Reference<container::XNameContainer> standard(libraries->getByName("Standard"),
                                                       uno::UNO_QUERY_THROW);
    standard->insertByName(
        "Opening",
        uno::Any(ToOU(QStringLiteral("Sub Main\n  Dim n As Integer\n  n = FreeFile\n"
                                     "  Open \"%1\" For Output As #n\n  Print #n, \"ran\"\n"
                                     "  Close #n\nEnd Sub\n")
                          .arg(marker))));
    uno::Reference<document::XEventsSupplier>(doc, uno::UNO_QUERY_THROW)
        ->getEvents()
        ->replaceByName(
            "OnLoad",
            uno::Any(SequenceOf<beans::PropertyValue>(
                {Prop("EventType", uno::Any(rtl::OUString("Script"))),
                 Prop("Script", uno::Any(rtl::OUString("vnd.sun.star.script:Standard.Opening.Main"
                                                       "?language=Basic&location=document")))})));
    uno::Reference<frame::XStorable>(doc, uno::UNO_QUERY_THROW)
        ->storeToURL(ToOU(TkvOfficeFileUrl(book)),
                     SequenceOf<beans::PropertyValue>(
                         {Prop("FilterName", uno::Any(rtl::OUString("calc8")))}));
    uno::Reference<util::XCloseable>(doc, uno::UNO_QUERY_THROW)->close(true);
  }

  auto workbook = open(book);
  exportTo(*workbook, folder->file(QStringLiteral("opens-with-macro.pdf")));
  workbook->Call(QStringLiteral("Close"), {false});
  EXPECT_TRUE(OfficeSuiteExport(book, folder->file(QStringLiteral("opens-with-macro-suite.pdf"))));
  EXPECT_TRUE(QFileInfo::exists(folder->file(QStringLiteral("opens-with-macro.pdf"))));
  EXPECT_FALSE(QFileInfo::exists(marker)) << "a macro ran while a workbook was opened";

  // The control: the workbook carries that macro, bound to its opening, and
  // the macro writes the file when run, on an office whose settings allow it.
  TkvOfficeProcess::Options options;
  options.profileRoot = folder->file(QStringLiteral("permissive-profiles"));
  TkvOfficeProcess permissive(options);
  auto access = tabrix::office::ConfigNode(
      permissive.Context(), "/org.openoffice.Office.Common/Security/Scripting", true);
  uno::Reference<container::XNameReplace> scripting(access, uno::UNO_QUERY_THROW);
  scripting->replaceByName("MacroSecurityLevel", uno::Any(sal_Int32(0)));
  scripting->replaceByName("DisableMacrosExecution", uno::Any(false));
  uno::Reference<util::XChangesBatch>(access, uno::UNO_QUERY_THROW)->commitChanges();
  auto doc = permissive.Desktop()->loadComponentFromURL(
      ToOU(TkvOfficeFileUrl(book)), "_blank", 0,
      SequenceOf<beans::PropertyValue>(
          {Prop("Hidden", uno::Any(true)),
           Prop("MacroExecutionMode", uno::Any(document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN))}));
  uno::Sequence<beans::PropertyValue> binding;
  uno::Reference<document::XEventsSupplier>(doc, uno::UNO_QUERY_THROW)
      ->getEvents()
      ->getByName("OnLoad") >>= binding;
  rtl::OUString script;
  for (const auto& p : binding)
    if (p.Name == "Script") p.Value >>= script;
  EXPECT_TRUE(script.startsWith("vnd.sun.star.script:Standard.Opening.Main"));
  uno::Sequence<sal_Int16> outIndex;
  uno::Sequence<uno::Any> out;
  uno::Reference<script::provider::XScriptProviderSupplier>(doc, uno::UNO_QUERY_THROW)
      ->getScriptProvider()
      ->getScript(script)
      ->invoke({}, outIndex, out);
  uno::Reference<util::XCloseable>(doc, uno::UNO_QUERY_THROW)->close(true);
  permissive.Quit();
  EXPECT_TRUE(QFileInfo::exists(marker)) << "the test workbook's macro does not work";
}

TEST_F(OfficeCalcTest, OfficeSuiteExportSharesTheThreadsOfficeAndNeverRaises) {
  auto process = TkvOfficeProcess::ForThisThread();
  const pid_t pid = process->Pid();
  const int starts = process->StartCount();
  const QString pdf = folder->file(QStringLiteral("suite.pdf"));
  ASSERT_TRUE(OfficeSuiteExport(folder->file(QStringLiteral("three.xls")), pdf));
  EXPECT_TRUE(pdfText(pdf).contains(QLatin1String("Bravo text two")));
  EXPECT_GE(pdfPageCount(pdf), 5);  // always the whole workbook
  // Without its hidden sheet, whose print area Calc would print.
  SheetSpec hidden{QStringLiteral("Two"), QStringLiteral("Hidden"), 1, 1, true};
  hidden.printArea = QStringLiteral("A1:A1");
  const QString framed = folder->file(QStringLiteral("hidden-area.xlsx"));
  ASSERT_TRUE(writeXlsx(framed, {{QStringLiteral("One"), QStringLiteral("First")}, hidden}));
  ASSERT_TRUE(OfficeSuiteExport(framed, pdf));
  EXPECT_EQ(pdfPageCount(pdf), 1);
  EXPECT_FALSE(pdfText(pdf).contains(QLatin1String("Hidden")));

  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(OfficeSuiteExport(folder->file(QStringLiteral("missing.xls")),
                                 folder->file(QStringLiteral("m.pdf"))));
  EXPECT_FALSE(OfficeSuiteExport(folder->file(QStringLiteral("locked.xls")),
                                 folder->file(QStringLiteral("l.pdf"))));
  // A target below a file cannot be written.
  EXPECT_FALSE(OfficeSuiteExport(folder->file(QStringLiteral("three.xlsx")),
                                 folder->file(QStringLiteral("three.xls/x.pdf"))));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 10);
  EXPECT_EQ(process->Pid(), pid);
  EXPECT_EQ(process->StartCount(), starts);
  EXPECT_EQ(childOffices().size(), 1);  // no document or process left over
}

// Serves a folder on the loopback interface for as long as it exists.
class LoopbackServer {
 public:
  explicit LoopbackServer(const QString& folder) {
    server_.setWorkingDirectory(folder);
    server_.setProcessChannelMode(QProcess::MergedChannels);
    server_.start(QStringLiteral("python3"),
                  {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                   QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("0")});
    const QRegularExpression port(QStringLiteral("port (\\d+)"));
    QString output;
    for (int i = 0; i < 100 && port_ == 0 && server_.state() != QProcess::NotRunning; ++i) {
      server_.waitForReadyRead(100);
      output += QString::fromUtf8(server_.readAllStandardOutput());
      const auto m = port.match(output);
      if (m.hasMatch()) port_ = m.captured(1).toInt();
    }
  }
  ~LoopbackServer() {
    server_.kill();
    server_.waitForFinished();
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  QString url(const QString& name) const {
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(port_).arg(name);
  }
  bool running() const { return port_ > 0; }
  // Everything the server printed so far: a line per request.
  QString log() {
    server_.waitForReadyRead(100);
    output_ += QString::fromUtf8(server_.readAllStandardOutput());
    return output_;
  }

 private:
  QProcess server_;
  int port_ = 0;
  QString output_;
};

TEST_F(OfficeCalcTest, OpensWebAddressesAsTheyAre) {
  LoopbackServer server(folder->path());
  if (!server.running()) GTEST_SKIP() << "python3 http.server not available";
  auto book = open(server.url(QStringLiteral("three.xlsx")));
  const QString pdf = folder->file(QStringLiteral("web.pdf"));
  exportTo(*book->GetObject(QStringLiteral("Sheets"), {std::int32_t{1}}), pdf);
  book->Call(QStringLiteral("Close"), {false});
  EXPECT_TRUE(pdfText(pdf).contains(QLatin1String("Alpha text one")));

  const QString suite = folder->file(QStringLiteral("web-suite.pdf"));
  EXPECT_TRUE(OfficeSuiteExport(server.url(QStringLiteral("three.xlsx")), suite));
  EXPECT_GE(pdfPageCount(suite), 5);
  const QString message = openFailure(server.url(QStringLiteral("missing.xlsx")));
  EXPECT_TRUE(message.contains(server.url(QStringLiteral("missing.xlsx"))))
      << message.toStdString();
}

// B1 holds =6*7+1000 with 5 stored as its result: "1042" printed means recalculated.
TEST_F(OfficeCalcTest, RecalculatesAsTheWorkbookAsksOnEveryRoadAndNeverReachesOut) {
  LoopbackServer server(folder->path());
  if (!server.running()) GTEST_SKIP() << "python3 http.server not available";
  auto book = [](const QString& name, const QString& calcPr,
                 const QString& formula = QStringLiteral("=6*7+1000")) {
    const QString path = folder->file(name);
    EXPECT_TRUE(writeXlsx(
        path, {{QStringLiteral("S"), QStringLiteral("Result"), 1, 1, false, formula, 5}}));
    if (!calcPr.isNull()) {
      EXPECT_TRUE(setCalcPr(path, calcPr));
    }
    return path;
  };
  const QString generated = book(QStringLiteral("generated.xlsx"), {});  // fullCalcOnLoad="1"
  const QString old =
      book(QStringLiteral("old.xlsx"), QStringLiteral("<calcPr calcId=\"124519\"/>"));
  const QString current =
      book(QStringLiteral("current.xlsx"), QStringLiteral("<calcPr calcId=\"191029\"/>"));
  const QString web =
      book(QStringLiteral("web.xlsx"), {},
           QStringLiteral("=WEBSERVICE(\"%1\")").arg(server.url(QStringLiteral("probe"))));
  const QByteArray generatedBytes = readFile(generated);
  const QDateTime generatedTime = QFileInfo(generated).lastModified();

  auto printed = [](const QString& path, const TkvVariant& recalc) {
    TkvArgs args{path, kOmitted, true};
    while (args.size() < kTkvOpenRecalculate) args << kOmitted;
    args << recalc;
    auto workbook =
        app->GetObject(QStringLiteral("Workbooks"))->Call(QStringLiteral("Open"), args).ToObject();
    const QString pdf = folder->file(QStringLiteral("recalc.pdf"));
    exportTo(*workbook, pdf);
    workbook->Call(QStringLiteral("Close"), {false});
    return pdfText(pdf);
  };
  const QString kAuto = QStringLiteral("Auto");
  EXPECT_TRUE(printed(generated, kAuto).contains(QLatin1String("1042")));
  EXPECT_TRUE(printed(old, kAuto).contains(QLatin1String("1042")));
  EXPECT_FALSE(printed(current, kAuto).contains(QLatin1String("1042")));
  EXPECT_TRUE(printed(current, QStringLiteral("always")).contains(QLatin1String("1042")));
  EXPECT_FALSE(printed(generated, QStringLiteral("Never")).contains(QLatin1String("1042")));
  EXPECT_FALSE(printed(generated, kOmitted).contains(QLatin1String("1042")));
  EXPECT_THROW(printed(generated, QStringLiteral("sometimes")), TkvAutomationError);

  // The office-suite export applies the same rule.
  const QString suite = folder->file(QStringLiteral("recalc-suite.pdf"));
  ASSERT_TRUE(OfficeSuiteExport(generated, suite, TkvRecalc::Auto));
  EXPECT_TRUE(pdfText(suite).contains(QLatin1String("1042")));
  ASSERT_TRUE(OfficeSuiteExport(current, suite, TkvRecalc::Auto));
  EXPECT_FALSE(pdfText(suite).contains(QLatin1String("1042")));
  // ... keeps the stored result of a formula the office cannot compute ...
  QStringList warnings;
  ASSERT_TRUE(OfficeSuiteExport(
      book(QStringLiteral("kept.xlsx"), QStringLiteral("<calcPr calcId=\"124519\"/>"),
           QStringLiteral("=NOSUCHFUNCTION(1)")),
      suite, TkvRecalc::Auto, &warnings));
  EXPECT_FALSE(pdfText(suite).contains(QLatin1String("#NAME?")));
  ASSERT_EQ(warnings.size(), 1);
  EXPECT_TRUE(warnings[0].endsWith(QLatin1String("S!B1: #NAME?, kept the stored 5")))
      << warnings[0].toStdString();
  // ... and sizes wrapped rows as the export does.
  const QString wrapped = folder->file(QStringLiteral("wrapped.xlsx"));
  ASSERT_TRUE(writeWrappedRows(wrapped));
  ASSERT_TRUE(OfficeSuiteExport(wrapped, suite, TkvRecalc::Auto));
  EXPECT_EQ(wrappedRowsFault(suite), QString());
  // ... and imports delimited text as the export does: a field a cell, no byte-order mark.
  const QString tabs = folder->write(QStringLiteral("tabs.xls"),
                                     utf16Text(QStringLiteral("Name\tValue\nFoxtrot\t47\n")));
  ASSERT_TRUE(OfficeSuiteExport(tabs, suite, TkvRecalc::Auto));
  const QStringList words = pdfText(suite).split(QRegularExpression(QStringLiteral("\\s+")));
  EXPECT_TRUE(words.contains(QLatin1String("Name")) && words.contains(QLatin1String("Foxtrot")))
      << words.join(u' ').toStdString();

  // Recalculated, WEBSERVICE asks nothing of the server.
  printed(web, kAuto);
  ASSERT_TRUE(OfficeSuiteExport(web, suite, TkvRecalc::Auto));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(server.log().contains(QLatin1String("probe"))) << server.log().toStdString();

  EXPECT_EQ(readFile(generated), generatedBytes);
  EXPECT_EQ(QFileInfo(generated).lastModified(), generatedTime);
}

}  // namespace
