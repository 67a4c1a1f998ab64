// The printer route on a real CUPS scheduler with a cups-pdf queue.

#include "convert/printer/pdf_printers.h"
#include "convert/printer/print_route.h"
#include "convert/printer/printer.h"
#include "convert/printer/settings_store.h"
#include "core/error.h"
#include "printer_cups_server.h"
#include "support/scoped_temp_dir.h"
#include "support/workbooks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace tkv_printer;
using tabrix::test::readFile;
using tabrix::test::ScopedTempDir;

namespace {

// A one-page PDF showing `text` in Helvetica.
QByteArray MakePdf(const QByteArray& text) {
  const QByteArray stream = "BT /F1 24 Tf 72 700 Td (" + text + ") Tj ET";
  const QList<QByteArray> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + QByteArray::number(stream.size()) + " >>\nstream\n" + stream + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
  };
  return tabrix::test::pdfOfObjects(objects);
}

QString PdfText(const QString& path) {
  if (QStandardPaths::findExecutable("pdftotext").isEmpty()) return {};
  QProcess p;
  p.start("pdftotext", {path, "-"});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

const QString kQueue = "Tabrix_Test_PDF";
const QString kApp = "/usr/lib/libreoffice/program/soffice.bin";

class PrinterRouteOnCups : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = TkvTestCupsServer::Start(kQueue, kAcrobatPdfWriter, &whyNot_);
  }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override {
    if (!server_) GTEST_SKIP() << "no private CUPS scheduler: " << whyNot_.toStdString();
  }

  static std::unique_ptr<TkvTestCupsServer> server_;
  static QString whyNot_;
  ScopedTempDir dir_;
  TkvSettingsStore store_{dir_.file("user"), dir_.file("machine"),
                          std::make_shared<TkvCupsPrinterList>()};
};
std::unique_ptr<TkvTestCupsServer> PrinterRouteOnCups::server_;
QString PrinterRouteOnCups::whyNot_;

}  // namespace

TEST_F(PrinterRouteOnCups, PrintedPdfEndsAtTheConfiguredPath) {
  const TkvPdfPrinters printers(store_);
  // The queue is found under its description, the default printer name.
  const QString printer = printers.PdfPrinterName("");
  EXPECT_EQ(printer, kAcrobatPdfWriter);
  EXPECT_EQ(printers.PdfPrinterName(kQueue.toLower()), kQueue.toLower());

  const QString source = dir_.write("in/page one.pdf", MakePdf("Tabrix printed page"));
  const QString target = dir_.file("target dir/book #1.pdf");
  printers.SetPrinterOutput(target, "", {}, kApp, {});
  EXPECT_EQ(TkvPrintRoute(store_).PrintPdf(printer, source, kApp), target);

  const QByteArray printed = readFile(target);
  ASSERT_TRUE(printed.startsWith("%PDF")) << "no PDF at " << target.toStdString();
  ASSERT_FALSE(QStandardPaths::findExecutable("pdftotext").isEmpty())
      << "pdftotext (poppler-utils) is needed";
  const QString text = PdfText(target);
  EXPECT_TRUE(text.contains("Tabrix printed page")) << text.toStdString();
  EXPECT_TRUE(QFile::exists(source));
  EXPECT_TRUE(QDir(server_->OutputFolder()).entryList({"*.pdf"}, QDir::Files).isEmpty());

  // The path was used up: a second print without new settings goes nowhere old.
  QFile::remove(target);
  EXPECT_THROW(TkvPrintRoute(store_).PrintPdf(printer, source, kApp), TkvError);
  EXPECT_FALSE(QFile::exists(target));
}

TEST_F(PrinterRouteOnCups, PdfWriterPathIsConsumedAndReplacesAnOldFile) {
  store_.OpenKey(TkvHive::CurrentUser, kPdfWriterKey, TkvKeyOpen::Create);
  const TkvPdfPrinters printers(store_);
  const QString target = dir_.write("out.pdf", "old content");
  printers.SetPrinterOutput(target, kQueue, [] { return true; }, kApp, {});
  TkvPrintRoute(store_).PrintPdf(printers.PdfPrinterName(kQueue),
                                 dir_.write("a.pdf", MakePdf("Second")), kApp);
  EXPECT_TRUE(readFile(target).startsWith("%PDF"));
  const auto left = store_.OpenKey(TkvHive::CurrentUser, kPdfWriterKey, TkvKeyOpen::Existing)
                        ->ReadString("PDFFileName");
  EXPECT_EQ(left, "");  // a waiting process may go on
}

TEST_F(PrinterRouteOnCups, FailuresNameThePrinterAndLeaveNoOutput) {
  const TkvPdfPrinters printers(store_);
  const TkvPrintRoute route(store_);
  const QString source = dir_.write("a.pdf", MakePdf("Never"));
  const QString target = dir_.file("never.pdf");
  auto message = [&](const QString& printer, std::function<bool()> stop) {
    try {
      route.PrintPdf(printer, source, kApp, std::move(stop));
    } catch (const TkvError& e) {
      return e.Message();
    }
    return QString("no error");
  };
  EXPECT_TRUE(message(kQueue, {}).contains("No output file is set"));
  printers.SetPrinterOutput(target, "", {}, kApp, {});
  EXPECT_TRUE(message("Adobe PDF", {}).contains("\"Adobe PDF\" is not installed"));
  // A failed job uses its path up too.
  EXPECT_TRUE(message(kQueue, {}).contains("No output file is set"));
  printers.SetPrinterOutput(target, "", {}, kApp, {});
  EXPECT_TRUE(message(kQueue, [n = 0]() mutable {
                return ++n > 1;
              }).contains("job on \"" + kQueue + "\" was stopped"));
  EXPECT_FALSE(QFile::exists(target));
}

TEST_F(PrinterRouteOnCups, ModuleEntryPointsUseTheUserHiveAndCleanUp) {
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", dir_.file("config").toUtf8());
  struct Restore {
    QByteArray value;
    ~Restore() {
      value.isEmpty() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", value);
    }
  } restore{oldConfig};

  // Print folders of a process that is gone are removed; a live one's stay.
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  const QString deadFolder = QDir::tempPath() + QStringLiteral("/tabrix-print-%1-aB3xYz").arg(dead);
  const QString liveFolder =
      QDir::tempPath() + QStringLiteral("/tabrix-print-%1-aB3xYz").arg(::getpid());
  for (const QString& folder : {deadFolder, liveFolder}) {
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile(folder + QStringLiteral("/print.pdf")).open(QIODevice::WriteOnly);
  }

  const QString target = dir_.file("entry.pdf");
  TkvSetPrinterOutput(target, "", {}, kApp, {});
  EXPECT_TRUE(QFile::exists(dir_.file("config/tabrix/settings.reg")));
  QString exported;
  const QString printer = TkvPdfPrinterName("");
  EXPECT_EQ(TkvPrintThroughPdf(
                printer,
                [&](const QString& pdf) {
                  exported = pdf;
                  QFile f(pdf);
                  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                  f.write(MakePdf("Entry point"));
                },
                kApp),
            target);
  EXPECT_TRUE(readFile(target).startsWith("%PDF"));
  EXPECT_FALSE(exported.isEmpty());
  EXPECT_FALSE(QFile::exists(exported));
  EXPECT_FALSE(QFileInfo::exists(deadFolder));
  EXPECT_TRUE(QFileInfo::exists(liveFolder));
  QDir(liveFolder).removeRecursively();

  auto failingExport = [&](const QString& pdf) {
    exported = pdf;
    throw TkvError("export failed");
  };
  EXPECT_THROW(TkvPrintThroughPdf(printer, failingExport, kApp), TkvError);
  EXPECT_FALSE(QDir(QFileInfo(exported).path()).exists());
}
