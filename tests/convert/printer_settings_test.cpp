// The settings store and the PDF printer settings over scripted printer
// lists; no CUPS needed.

#include "convert/printer/pdf_printers.h"
#include "convert/printer/print_route.h"
#include "convert/printer/settings_store.h"
#include "core/error.h"
#include "support/scoped_temp_dir.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <unistd.h>

using namespace tkv_printer;
using tabrix::test::ScopedTempDir;

namespace {

class ScriptedPrinters : public TkvPrinterList {
 public:
  explicit ScriptedPrinters(std::vector<TkvPrinterInfo> printers, bool fail = false)
      : printers_(std::move(printers)), fail_(fail) {}
  std::vector<TkvPrinterInfo> Printers() const override {
    if (fail_) throw TkvError("no scheduler");
    return printers_;
  }

 private:
  std::vector<TkvPrinterInfo> printers_;
  bool fail_;
};

struct Fixture {
  explicit Fixture(std::vector<TkvPrinterInfo> printers = {}, bool listFails = false)
      : store(dir.file("user"), dir.file("machine"),
              std::make_shared<ScriptedPrinters>(std::move(printers), listFails)) {}
  std::optional<QString> Read(TkvHive hive, const QString& key, const QString& name) const {
    try {
      return store.OpenKey(hive, key, TkvKeyOpen::Existing)->ReadString(name);
    } catch (const TkvError&) {
      return std::nullopt;
    }
  }
  ScopedTempDir dir;
  TkvSettingsStore store;
};

const TkvPrinterInfo kQueuePdf{"PDF", "", "cups-pdf:/"};
const TkvPrinterInfo kAdobe{"Adobe_PDF", "Adobe PDF", "cups-pdf:/"};
const TkvPrinterInfo kAcrobat{"acro", "Acrobat PDFWriter", "cups-pdf:/"};

}  // namespace

TEST(PrinterSettingsStore, KeysAreOpenedOnlyWhenPresentUnlessCreated) {
  Fixture f;
  EXPECT_THROW(f.store.OpenKey(TkvHive::CurrentUser, "Software\\A\\B", TkvKeyOpen::Existing),
               TkvError);
  f.store.OpenKey(TkvHive::CurrentUser, "Software\\A\\B", TkvKeyOpen::Create);
  // Parents exist once a child does; names ignore letter case and stray "\".
  EXPECT_NO_THROW(f.store.OpenKey(TkvHive::CurrentUser, "software\\a", TkvKeyOpen::Existing));
  EXPECT_NO_THROW(
      f.store.OpenKey(TkvHive::CurrentUser, "\\SOFTWARE\\a\\b\\", TkvKeyOpen::Existing));
  EXPECT_THROW(f.store.OpenKey(TkvHive::CurrentUser, "Software\\AB", TkvKeyOpen::Existing),
               TkvError);
  // Hives are separate files.
  EXPECT_THROW(f.store.OpenKey(TkvHive::LocalMachine, "Software\\A\\B", TkvKeyOpen::Existing),
               TkvError);
  EXPECT_THROW(f.store.OpenKey(TkvHive::CurrentUser, "\\\\", TkvKeyOpen::Create), TkvError);
  EXPECT_THROW(f.store.OpenKey(TkvHive::CurrentUser, "Soft[ware]", TkvKeyOpen::Create), TkvError);
}

TEST(PrinterSettingsStore, ValuesSurviveAwkwardTextAndReopening) {
  Fixture f;
  const QString awkward = "C:\\Windows\\x \"quoted\" = [k]\nline2 \u00e9\u4e2d";
  {
    auto key = f.store.OpenKey(TkvHive::CurrentUser, "Software\\T", TkvKeyOpen::Create);
    key->WriteString("C:\\Windows\\splwow64.exe", awkward);
    key->WriteString("/usr/lib/libreoffice/program/soffice.bin", "/tmp/a.pdf");
    key->WriteString("", "default");
    key->WriteString("Name", "first");
    key->WriteString("NAME", "second");  // same value, case ignored
    EXPECT_EQ(key->ValueNames().size(), 4);
    EXPECT_FALSE(key->ReadString("absent").has_value());
  }
  const TkvSettingsStore again(f.dir.file("user"), f.dir.file("machine"),
                               std::make_shared<ScriptedPrinters>(std::vector<TkvPrinterInfo>{}));
  auto key = again.OpenKey(TkvHive::CurrentUser, "software\\t", TkvKeyOpen::Existing);
  EXPECT_EQ(key->ReadString("c:\\windows\\SPLWOW64.EXE"), awkward);
  EXPECT_EQ(key->ReadString("/usr/lib/libreoffice/program/soffice.bin"), "/tmp/a.pdf");
  EXPECT_EQ(key->ReadString(""), "default");
  EXPECT_EQ(key->ReadString("name"), "second");
  EXPECT_EQ(key->ValueNames().at(3), "Name");  // first spelling kept

  // A hand-edited file may repeat a key: its values are merged.
  f.dir.write("user/settings.reg", "[A]\n\"x\"=\"1\"\n[B]\n\"y\"=\"2\"\n[a]\n\"z\"=\"3\"\n");
  EXPECT_EQ(f.store.OpenKey(TkvHive::CurrentUser, "A", TkvKeyOpen::Existing)->ValueNames(),
            QStringList({"x", "z"}));
  EXPECT_EQ(f.store.OpenKey(TkvHive::CurrentUser, "B", TkvKeyOpen::Existing)->ValueNames(),
            QStringList({"y"}));
}

TEST(PrinterSettingsStore, DamagedOrUnwritableHiveFailsWithoutLosingIt) {
  Fixture f;
  const QByteArray damaged = "[Software\\T]\n\"a\"=\"1\"\nthis is no value line\n";
  f.dir.write("user/settings.reg", damaged);
  try {
    f.store.OpenKey(TkvHive::CurrentUser, "Software\\T", TkvKeyOpen::Existing);
    FAIL() << "a damaged hive opened";
  } catch (const TkvError& e) {
    EXPECT_TRUE(e.Message().contains("damaged at line 3")) << e.Message().toStdString();
  }
  EXPECT_THROW(f.store.OpenKey(TkvHive::CurrentUser, "Software\\U", TkvKeyOpen::Create), TkvError);
  EXPECT_EQ(tabrix::test::readFile(f.dir.file("user/settings.reg")), damaged);

  // A hive whose folder cannot be made (a file is in the way) cannot be opened.
  f.dir.write("blocked", "x");
  const TkvSettingsStore blocked(f.dir.file("blocked/sub"), f.dir.file("blocked/sub"),
                                 std::make_shared<ScriptedPrinters>(std::vector<TkvPrinterInfo>{}));
  EXPECT_THROW(blocked.OpenKey(TkvHive::LocalMachine, "Software\\X", TkvKeyOpen::Create), TkvError);
}

TEST(PrinterSettingsStore, ConcurrentWritersLoseNoValue) {
  Fixture f;
  f.store.OpenKey(TkvHive::CurrentUser, "Software\\C", TkvKeyOpen::Create);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&f, t] {
      auto key = f.store.OpenKey(TkvHive::CurrentUser, "Software\\C", TkvKeyOpen::Existing);
      for (int i = 0; i < 25; ++i)
        key->WriteString(QString("v%1_%2").arg(t).arg(i), QString::number(i));
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(f.store.OpenKey(TkvHive::CurrentUser, "Software\\C", TkvKeyOpen::Existing)
                ->ValueNames()
                .size(),
            100);
}

TEST(PrinterSettingsStore, DevicesKeyIsAReadOnlyViewOfThePrinters) {
  Fixture f({kQueuePdf, kAdobe, TkvPrinterInfo{"pdf2", "PDF", ""}});
  auto devices =
      f.store.OpenKey(TkvHive::CurrentUser, TkvSettingsStore::kDevicesKey, TkvKeyOpen::Existing);
  EXPECT_EQ(devices->ReadString("adobe pdf"), "cups,Adobe_PDF");
  EXPECT_EQ(devices->ReadString("Adobe_PDF"), "cups,Adobe_PDF");
  EXPECT_EQ(devices->ReadString("PDF"), "cups,PDF");  // a queue name beats a description
  EXPECT_FALSE(devices->ReadString("Other").has_value());
  EXPECT_THROW(devices->WriteString("Other", "x"), TkvError);
  EXPECT_FALSE(QFile::exists(f.dir.file("user/settings.reg")));

  Fixture down({}, true);
  EXPECT_THROW(
      down.store.OpenKey(TkvHive::CurrentUser, TkvSettingsStore::kDevicesKey, TkvKeyOpen::Existing),
      TkvError);
}

TEST(PdfPrinterName, FallsBackThroughTheInstalledPrinters) {
  struct Case {
    std::vector<TkvPrinterInfo> printers;
    bool listFails;
    QString option;
    QString expected;
  };
  const std::vector<Case> cases = {
      {{kQueuePdf, kAdobe, kAcrobat}, false, "PDF", "PDF"},
      {{kQueuePdf, kAdobe, kAcrobat}, false, "", "Acrobat PDFWriter"},
      {{kQueuePdf, kAdobe}, false, "", "Adobe PDF"},
      {{kQueuePdf, kAdobe}, false, "Missing", "Adobe PDF"},
      {{kQueuePdf, kAcrobat}, false, "Missing", "Acrobat PDFWriter"},
      {{}, false, "Missing", "Adobe PDF"},  // installed or not
      {{}, true, "Missing", "Missing"},     // no list: the option
      {{}, true, "", "Acrobat PDFWriter"},
  };
  for (const Case& c : cases) {
    Fixture f(c.printers, c.listFails);
    EXPECT_EQ(TkvPdfPrinters(f.store).PdfPrinterName(c.option), c.expected)
        << c.option.toStdString();
  }
}

TEST(SetPrinterOutput, WritesTheDriverKeysByPrinterName) {
  const QString app = "/usr/lib/libreoffice/program/soffice.bin";
  {  // "FreePDF XP": only the machine-wide value, and only if its key exists
    Fixture f;
    TkvPdfPrinters printers(f.store);
    printers.SetPrinterOutput("/out/a.pdf", kFreePdfXp, {}, app, {});
    EXPECT_FALSE(f.Read(TkvHive::LocalMachine, kFreePdfKey, "PDFFilename"));
    f.store.OpenKey(TkvHive::LocalMachine, kFreePdfKey, TkvKeyOpen::Create);
    printers.SetPrinterOutput("/out/a.pdf", kFreePdfXp, {}, app, {});
    EXPECT_EQ(f.Read(TkvHive::LocalMachine, kFreePdfKey, "PDFFilename"), "/out/a.pdf");
    EXPECT_FALSE(f.Read(TkvHive::CurrentUser, kDistillerKey, app));
    EXPECT_EQ(printers.OutputPath(kFreePdfXp, app), "/out/a.pdf");
  }
  {  // other letter case is another printer: the Adobe keys
    Fixture f;
    TkvPdfPrinters printers(f.store);
    printers.SetPrinterOutput("/out/b.pdf", "freepdf xp", {}, app, {});
    EXPECT_EQ(f.Read(TkvHive::CurrentUser, kDistillerKey, app), "/out/b.pdf");
    EXPECT_EQ(f.Read(TkvHive::CurrentUser, kDistillerKey, kSplwow64), "/out/b.pdf");
    EXPECT_FALSE(f.Read(TkvHive::CurrentUser, kPdfWriterKey, "PDFFileName"));  // key not created
    EXPECT_EQ(printers.OutputPath("PDF", app), "/out/b.pdf");
    EXPECT_EQ(printers.OutputPath("PDF", ""), "/out/b.pdf");  // no program: the splwow64 value
    EXPECT_FALSE(
        printers.OutputPath("PDF", "/other/app"));  // another program's value is not followed
    EXPECT_FALSE(printers.OutputPath(kFreePdfXp, app));
  }
  {  // an existing PDFWriter key gets the path and bExecViewer, and wins
    Fixture f;
    f.store.OpenKey(TkvHive::CurrentUser, kPdfWriterKey, TkvKeyOpen::Create);
    TkvPdfPrinters printers(f.store);
    printers.SetPrinterOutput("/out/c.pdf", "", {}, app, {});
    EXPECT_EQ(f.Read(TkvHive::CurrentUser, kPdfWriterKey, "PDFFileName"), "/out/c.pdf");
    EXPECT_EQ(f.Read(TkvHive::CurrentUser, kPdfWriterKey, "bExecViewer"), "0");
    f.store.OpenKey(TkvHive::CurrentUser, kDistillerKey, TkvKeyOpen::Existing)
        ->WriteString(app, "/stale.pdf");
    EXPECT_EQ(printers.OutputPath("PDF", app), "/out/c.pdf");
    printers.OutputDelivered("PDF", "/out/other.pdf");  // not the path it holds: kept
    EXPECT_EQ(f.Read(TkvHive::CurrentUser, kPdfWriterKey, "PDFFileName"), "/out/c.pdf");
    printers.OutputDelivered("PDF", "/out/c.pdf", app);
    EXPECT_EQ(f.Read(TkvHive::CurrentUser, kPdfWriterKey, "PDFFileName"), "");
    // The path is used up: a stale or shared value is never followed.
    EXPECT_FALSE(printers.OutputPath("PDF", app));
  }
}

TEST(SetPrinterOutput, EachProcessFollowsOnlyItsOwnPath) {
  const QString app = "/usr/lib/libreoffice/program/soffice.bin";
  Fixture f;
  f.store.OpenKey(TkvHive::CurrentUser, kPdfWriterKey, TkvKeyOpen::Create);
  const TkvPdfPrinters first(f.store, {}, "101"), second(f.store, {}, "202");
  EXPECT_NE(first.ProcessValueName(app), second.ProcessValueName(app));
  EXPECT_EQ(TkvPdfPrinters(f.store).ProcessValueName(app), app + "#" + QString::number(::getpid()));
  first.SetPrinterOutput("/out/first.pdf", "", {}, app, {});
  second.SetPrinterOutput("/out/second.pdf", "", {}, app, {});
  // The Windows values hold the last writer's path; each process reads its own.
  EXPECT_EQ(f.Read(TkvHive::CurrentUser, kDistillerKey, app), "/out/second.pdf");
  EXPECT_EQ(f.Read(TkvHive::CurrentUser, kPdfWriterKey, "PDFFileName"), "/out/second.pdf");
  EXPECT_EQ(first.OutputPath("PDF", app), "/out/first.pdf");
  EXPECT_EQ(second.OutputPath("PDF", app), "/out/second.pdf");
  first.OutputDelivered("PDF", "/out/first.pdf", app);
  EXPECT_FALSE(first.OutputPath("PDF", app));  // not the other's path
  EXPECT_EQ(second.OutputPath("PDF", app), "/out/second.pdf");
}

TEST(SetPrinterOutput, MultiInstanceWaitEndsWhenConsumedStoppedOrTimedOut) {
  using namespace std::chrono_literals;
  Fixture f;
  auto writer = f.store.OpenKey(TkvHive::CurrentUser, kPdfWriterKey, TkvKeyOpen::Create);
  const TkvPdfPrinters printers(f.store, TkvPrinterWait{20ms, 400ms});
  auto on = [] { return true; };

  writer->WriteString("PDFFileName", "/previous.pdf");
  std::thread driver([&] {
    std::this_thread::sleep_for(100ms);
    writer->WriteString("PDFFileName", "");
  });
  QElapsedTimer timer;
  timer.start();
  printers.SetPrinterOutput("/next.pdf", "", on, "app", {});
  driver.join();
  EXPECT_GE(timer.elapsed(), 90);
  EXPECT_LT(timer.elapsed(), 380);
  EXPECT_EQ(writer->ReadString("PDFFileName"), "/next.pdf");

  timer.restart();  // nobody consumes it: the limit ends the wait, the path is written
  printers.SetPrinterOutput("/third.pdf", "", on, "app", {});
  EXPECT_GE(timer.elapsed(), 380);
  EXPECT_EQ(writer->ReadString("PDFFileName"), "/third.pdf");

  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(50ms);
    stop = true;
  });
  timer.restart();
  printers.SetPrinterOutput("/fourth.pdf", "", on, "app", [&] { return stop.load(); });
  stopper.join();
  EXPECT_LT(timer.elapsed(), 300);

  int asked = 0;  // the option is read before every check
  timer.restart();
  printers.SetPrinterOutput("/fifth.pdf", "", [&] { return ++asked < 3; }, "app", {});
  EXPECT_EQ(asked, 3);
  EXPECT_LT(timer.elapsed(), 300);
}

TEST(CupsPdfOutputFolder, FollowsTheQueueConfiguration) {
  ScopedTempDir dir;
  dir.write("cups-pdf.conf", "# comment\nOut ${HOME}/PDF\nOutExtension pdf\n");
  dir.write("cups-pdf-mine.conf", "  Out   /srv/pdf/${USER}  \n");
  EXPECT_EQ(TkvCupsPdfOutputFolder("cups-pdf:/", "ann", "/home/ann", dir.path()), "/home/ann/PDF");
  EXPECT_EQ(TkvCupsPdfOutputFolder("cups-pdf:/mine", "ann", "/home/ann", dir.path()),
            "/srv/pdf/ann");
  EXPECT_EQ(TkvCupsPdfOutputFolder("cups-pdf:/other", "ann", "/home/ann", dir.path()),
            "/home/ann/PDF");
  EXPECT_EQ(TkvCupsPdfOutputFolder("ipp://host/printers/x", "ann", "/home/ann", dir.path()), "");
  EXPECT_EQ(TkvCupsPdfOutputFolder("cups-pdf:/", "ann", "/home/ann", dir.file("none")),
            "/var/spool/cups-pdf/ann");
}
