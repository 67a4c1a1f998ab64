// The built program's `tabrix serve` on a loopback port, driven by curl as a
// client program would drive it: PDFs and their page counts, every refusal
// with its status, the queue limit under concurrent requests, the time
// limit, nothing written outside a request's private folder, and SIGTERM
// with a request in hand. One service (one converter, a queue of one) serves
// the whole suite; the last case stops it.

#include "support/built_program.h"
#include "support/processes.h"
#include "support/scoped_temp_dir.h"
#include "support/wait.h"
#include "support/workbooks.h"
#include "support/zip_files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using tabrix::test::BuiltProgram;
using tabrix::test::CopyBuiltProgram;
using tabrix::test::officesMentioning;
using tabrix::test::pdfPageCount;
using tabrix::test::pdfText;
using tabrix::test::ProgramEnvironment;
using tabrix::test::readFile;
using tabrix::test::ScopedTempDir;
using tabrix::test::SheetSpec;
using tabrix::test::WaitUntil;
using tabrix::test::writeXlsx;

namespace {

struct Answer {
  int status = 0;
  QByteArray headers;
  QByteArray body;
  QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
  QString header(const char* name) const {
    for (const QByteArray& line : headers.split('\n'))
      if (line.toLower().startsWith(QByteArray(name).toLower() + ':'))
        return QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
    return {};
  }
};

// The service, started once for the suite.
struct Service {
  ScopedTempDir tmp;
  QString exe;
  QProcess process;
  QString url;
  QByteArray err;  // stderr so far

  QByteArray ReadErr() {
    process.waitForReadyRead(20);
    err += process.readAllStandardError();
    return err;
  }
};

class Serve : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QFile::exists(BuiltProgram())) return;
    service_ = new Service;
    Service& s = *service_;
    s.exe = CopyBuiltProgram(s.tmp);
    const QString& exe = s.exe;
    QProcessEnvironment env = ProgramEnvironment(s.tmp, s.tmp.file(QStringLiteral("cache")));
    // The service's private folders (and the office profiles) go below it.
    QDir().mkpath(s.tmp.file(QStringLiteral("t")));
    QDir().mkpath(s.tmp.file(QStringLiteral("in")));
    env.insert(QStringLiteral("TMPDIR"), s.tmp.file(QStringLiteral("t")));
    s.process.setProcessEnvironment(env);
    s.process.setWorkingDirectory(s.tmp.path());
    s.process.start(exe, {QStringLiteral("serve"), QStringLiteral("--listen=127.0.0.1:0"),
                          QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("--max-queue"),
                          QStringLiteral("1"), QStringLiteral("--max-upload"), QStringLiteral("1"),
                          QStringLiteral("--timeout"), QStringLiteral("60")});
    static const QRegularExpression listening(QStringLiteral("listening on (http://\\S+)"));
    WaitUntil(
        [&] {
          s.process.waitForReadyRead(50);
          const QRegularExpressionMatch m = listening.match(QString::fromUtf8(s.ReadErr()));
          if (m.hasMatch()) s.url = m.captured(1);
          return !s.url.isEmpty() || s.process.state() == QProcess::NotRunning;
        },
        std::chrono::seconds(120));
  }
  static void TearDownTestSuite() {
    if (!service_) return;
    if (service_->process.state() != QProcess::NotRunning) {
      service_->process.terminate();
      service_->process.waitForFinished(60000);
    }
    delete service_;
    service_ = nullptr;
  }
  void SetUp() override {
    if (!service_) GTEST_SKIP() << "no tabrix executable (build with TABRIX_BUILD_UI=ON)";
    ASSERT_FALSE(service_->url.isEmpty()) << service_->ReadErr().toStdString();
  }

  static QString F(const QString& name) { return service_->tmp.file(name); }
  static QString Work() { return F(QStringLiteral("t")); }

  // curl with `args` against `path`; started, not waited for.
  static std::unique_ptr<QProcess> Start(const QString& path, const QStringList& args,
                                         const QString& tag) {
    auto curl = std::make_unique<QProcess>();
    curl->start(QStringLiteral("curl"),
                QStringList{QStringLiteral("-sS"), QStringLiteral("-o"), F(tag + ".body"),
                            QStringLiteral("-D"), F(tag + ".headers"), QStringLiteral("-w"),
                            QStringLiteral("%{http_code}")} +
                    args + QStringList{service_->url + path});
    return curl;
  }
  static Answer Finish(QProcess& curl, const QString& tag) {
    EXPECT_TRUE(curl.waitForFinished(180000));
    Answer a;
    a.status = curl.readAllStandardOutput().toInt();
    a.headers = readFile(F(tag + ".headers"));
    a.body = readFile(F(tag + ".body"));
    return a;
  }
  static Answer Curl(const QString& path, const QStringList& args = {}) {
    auto curl = Start(path, args, QStringLiteral("answer"));
    return Finish(*curl, QStringLiteral("answer"));
  }
  static QStringList Form(const QString& file, const QStringList& fields = {}) {
    QStringList args{QStringLiteral("-F"), QStringLiteral("file=@") + file};
    for (const QString& f : fields) args << QStringLiteral("-F") << f;
    return args;
  }
  static QStringList Raw(const QString& file) {
    return {QStringLiteral("--data-binary"), QStringLiteral("@") + file, QStringLiteral("-H"),
            QStringLiteral("Content-Type: application/octet-stream")};
  }
  // Files below the service's temporary folder other than its warm-up
  // folders and the office profiles.
  static QStringList Leftovers() {
    QStringList found;
    QDirIterator it(Work(), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      if (path.contains(QLatin1String("/request-")) || path.endsWith(QLatin1String(".pdf")) ||
          path.contains(QLatin1String("escape")))
        found.append(path);
    }
    return found;
  }
  static QString SlowBook() {
    const QString path = F(QStringLiteral("slow.xlsx"));
    if (!QFile::exists(path)) {
      EXPECT_TRUE(writeXlsx(path, {{QStringLiteral("Big"), QStringLiteral("Many rows"), 60000}}));
    }
    return path;
  }

  static inline Service* service_ = nullptr;
};

TEST_F(Serve, ConvertsUploadsToPdfsWithPagesHealthVersionAndMetrics) {
  const QString three = F(QStringLiteral("in/three.xlsx"));
  ASSERT_TRUE(writeXlsx(three, tabrix::test::threeSheets()));

  // A form upload of the whole workbook.
  Answer a = Curl(QStringLiteral("/convert"), Form(three, {QStringLiteral("sheet=all")}));
  ASSERT_EQ(a.status, 200) << a.body.toStdString();
  EXPECT_TRUE(a.body.startsWith("%PDF"));
  EXPECT_EQ(a.header("Content-Type"), QStringLiteral("application/pdf"));
  EXPECT_TRUE(a.header("Content-Disposition").contains(QLatin1String("three.pdf")));
  QFile::copy(F(QStringLiteral("answer.body")), F(QStringLiteral("all.pdf")));
  const int allPages = pdfPageCount(F(QStringLiteral("all.pdf")));
  EXPECT_GE(allPages, 8);
  EXPECT_EQ(a.header("X-Tabrix-Pages").toInt(), allPages);
  EXPECT_GT(a.header("X-Tabrix-Seconds").toDouble(), 0.0);
  const QString text = pdfText(F(QStringLiteral("all.pdf")));
  EXPECT_TRUE(text.contains(QLatin1String("Alpha text one")) &&
              text.contains(QLatin1String("Charlie text three")));

  // The raw body with its name and options in the query: sheet 2 alone.
  a = Curl(QStringLiteral("/convert?filename=three.xlsx&sheet=2&orientation=landscape"),
           Raw(three));
  ASSERT_EQ(a.status, 200) << a.body.toStdString();
  QFile::copy(F(QStringLiteral("answer.body")), F(QStringLiteral("two.pdf")));
  EXPECT_EQ(pdfPageCount(F(QStringLiteral("two.pdf"))), a.header("X-Tabrix-Pages").toInt());
  EXPECT_TRUE(pdfText(F(QStringLiteral("two.pdf"))).contains(QLatin1String("Bravo text two")));
  EXPECT_FALSE(pdfText(F(QStringLiteral("two.pdf"))).contains(QLatin1String("Alpha text one")));

  // Every sheet to its own PDF: a zip of them.
  a = Curl(QStringLiteral("/convert"), Form(three, {QStringLiteral("sheet=each")}));
  ASSERT_EQ(a.status, 200) << a.body.toStdString();
  EXPECT_EQ(a.header("Content-Type"), QStringLiteral("application/zip"));
  // Read back with libzip: each sheet's PDF whole, under its name.
  const auto sheets = tabrix::test::readZip(F(QStringLiteral("answer.body")));
  ASSERT_EQ(sheets.size(), 3);
  const char* texts[] = {"Alpha text one", "Bravo text two", "Charlie text three"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sheets[i].name, QStringLiteral("three-%1.pdf").arg(i + 1));
    const QString pdf =
        service_->tmp.write(QStringLiteral("sheets/") + sheets[i].name, sheets[i].head);
    EXPECT_TRUE(pdfText(pdf).contains(QLatin1String(texts[i]))) << i;
  }
  EXPECT_EQ(a.header("X-Tabrix-Pages").toInt(), allPages);

  a = Curl(QStringLiteral("/health"));
  EXPECT_EQ(a.status, 200) << a.body.toStdString();
  EXPECT_EQ(a.json().value(QLatin1String("status")).toString(), QStringLiteral("ok"));
  a = Curl(QStringLiteral("/version"));
  EXPECT_EQ(a.json().value(QLatin1String("version")).toString(),
            QStringLiteral("2025.17.420.2053"));
  a = Curl(QStringLiteral("/metrics"));
  EXPECT_TRUE(a.body.contains("tabrix_requests_total{outcome=\"converted\"} 3")) << a.body.data();
  EXPECT_TRUE(a.body.contains("tabrix_conversion_seconds_count 3"));
  EXPECT_TRUE(a.body.contains(
      QByteArray("tabrix_pages_total ") +
      QByteArray::number(2 * allPages + pdfPageCount(F(QStringLiteral("two.pdf"))))));
  EXPECT_TRUE(WaitUntil(
      [] { return service_->ReadErr().contains("POST /convert \"three.xlsx\" 200 converted"); },
      std::chrono::seconds(5)));
  EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(u' ').toStdString();
}

TEST_F(Serve, RefusesEachFaultWithItsStatusAndMessage) {
  const QString book = F(QStringLiteral("in/book.xlsx"));
  ASSERT_TRUE(writeXlsx(book, {{QStringLiteral("One"), QStringLiteral("Text"), 3}}));
  const QString text = service_->tmp.write(QStringLiteral("in/notes.txt"), "plain text\n");
  const QString fake = service_->tmp.write(QStringLiteral("in/fake.xlsx"), "plain text\n");
  const QString damaged =
      service_->tmp.write(QStringLiteral("in/damaged.xlsx"),
                          QByteArray("PK\x03\x04 this is not a real zip archive", 36));
  const QString big =
      service_->tmp.write(QStringLiteral("in/big.xlsx"), QByteArray(2 * 1024 * 1024, 'x'));
  const struct {
    QString path;
    QStringList args;
    int status;
    const char* says;
  } cases[] = {
      {"/convert", {"-F", "sheet=2"}, 400, "No workbook"},
      {"/convert", Form(book, {"sheet=second"}), 400, "second"},
      {"/convert", Form(book, {"bogus=1"}), 400, "bogus"},
      {"/convert", Form(book, {"target=/tmp/elsewhere"}), 400, "Target"},
      {"/convert", Form(book, {"delete-source=true"}), 400, "DeleteSource"},
      {"/convert", Form(book, {"option=LogFile=" + F("escape.log")}), 400, "LogFile"},
      {"/convert?filename=book.xlsx&report=" + F("escape.json"), Raw(book), 400, "ReportFile"},
      {"/convert", Form(big), 413, "larger than 1 MB"},
      {"/convert", Form(text), 415, "notes.txt is not a workbook"},
      {"/convert", Form(fake), 415, "fake.xlsx is not a workbook"},
      {"/convert", Form(damaged), 422, "damaged.xlsx"},
      {"/nowhere", {}, 404, "No such address"},
  };
  for (const auto& c : cases) {
    const Answer a = Curl(c.path, c.args);
    EXPECT_EQ(a.status, c.status) << c.args.join(u' ').toStdString() << a.body.toStdString();
    EXPECT_EQ(a.json().value(QLatin1String("status")).toInt(), c.status);
    const QString error = a.json().value(QLatin1String("error")).toString();
    EXPECT_TRUE(error.contains(QLatin1String(c.says))) << error.toStdString();
    EXPECT_FALSE(error.contains(Work())) << "no private path in a message: " << error.toStdString();
  }
  // The service's own command line takes no path either; wrong flags end with 64.
  for (const QStringList& args : {QStringList{"--delete-source"}, QStringList{"-o", F("out")},
                                  QStringList{"--listen", "nowhere"}, QStringList{"x.xlsx"}}) {
    QProcess wrong;
    wrong.start(service_->exe, QStringList{QStringLiteral("serve")} + args);
    ASSERT_TRUE(wrong.waitForFinished(30000));
    EXPECT_EQ(wrong.exitCode(), 64) << args.join(u' ').toStdString();
    EXPECT_TRUE(wrong.readAllStandardError().contains("Try 'tabrix serve --help'"));
  }
  EXPECT_FALSE(QFile::exists(F(QStringLiteral("escape.log"))));
  EXPECT_FALSE(QFile::exists(F(QStringLiteral("escape.json"))));
  EXPECT_TRUE(QFile::exists(book)) << "an upload's source is never touched";
  EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(u' ').toStdString();
}

TEST_F(Serve, NamesWithFoldersStayInsideThePrivateFolder) {
  const QString book = F(QStringLiteral("in/book.xlsx"));
  ASSERT_TRUE(writeXlsx(book, {{QStringLiteral("One"), QStringLiteral("Inside"), 3}}));
  // curl sends the form's file name as given here.
  Answer a = Curl(
      QStringLiteral("/convert"),
      {QStringLiteral("-F"), QStringLiteral("file=@%1;filename=../../../escape.xlsx").arg(book)});
  ASSERT_EQ(a.status, 200) << a.body.toStdString();
  EXPECT_TRUE(a.header("Content-Disposition").contains(QLatin1String("\"escape.pdf\"")));
  a = Curl(QStringLiteral("/convert?filename=..%2F..%2Fescape.xlsx"), Raw(book));
  ASSERT_EQ(a.status, 200) << a.body.toStdString();
  QDirIterator it(service_->tmp.path(), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    EXPECT_FALSE(path.contains(QLatin1String("escape"))) << path.toStdString();
  }
  EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(u' ').toStdString();
}

TEST_F(Serve, QueueLimitRefusesWithRetryAfterAndTheTimeLimitEndsWith504) {
  const QString slow = SlowBook();
  const QStringList args = Form(slow, {QStringLiteral("timeout=1")});
  auto first = Start(QStringLiteral("/convert"), args, QStringLiteral("first"));
  ASSERT_TRUE(WaitUntil(
      [] { return Curl(QStringLiteral("/metrics")).body.contains("tabrix_converters_busy 1"); }));
  auto second = Start(QStringLiteral("/convert"), args, QStringLiteral("second"));
  ASSERT_TRUE(WaitUntil(
      [] { return Curl(QStringLiteral("/metrics")).body.contains("tabrix_queue_length 1"); }));
  const Answer refused = Curl(QStringLiteral("/convert"), args);
  EXPECT_EQ(refused.status, 503) << refused.body.toStdString();
  EXPECT_EQ(refused.header("Retry-After"), QStringLiteral("1"));
  EXPECT_TRUE(refused.json()
                  .value(QLatin1String("error"))
                  .toString()
                  .contains(QLatin1String("wait for a converter")));

  const std::pair<QProcess*, const char*> clients[] = {{first.get(), "first"},
                                                       {second.get(), "second"}};
  for (const auto& [curl, tag] : clients) {
    const Answer a = Finish(*curl, QString::fromLatin1(tag));
    EXPECT_EQ(a.status, 504) << tag << a.body.toStdString();
    EXPECT_TRUE(a.json()
                    .value(QLatin1String("error"))
                    .toString()
                    .contains(QLatin1String("timed out after 1 seconds")))
        << a.body.toStdString();
  }
  // The killed office is started again before the converter takes a request.
  EXPECT_TRUE(WaitUntil([] { return Curl(QStringLiteral("/health")).status == 200; },
                        std::chrono::seconds(60)));
  const QByteArray metrics = Curl(QStringLiteral("/metrics")).body;
  EXPECT_TRUE(metrics.contains("tabrix_requests_total{outcome=\"timeout\"} 2"));
  EXPECT_TRUE(metrics.contains("tabrix_requests_total{outcome=\"busy\"} 1"));
  EXPECT_FALSE(metrics.contains("tabrix_office_restarts_total 0")) << metrics.data();

  // An office that dies while its converter is idle is noticed by /health
  // and started again.
  const auto officePid = [] {
    return Curl(QStringLiteral("/health"))
        .json()
        .value(QLatin1String("converters"))
        .toArray()
        .at(0)
        .toObject()
        .value(QLatin1String("pid"))
        .toInteger();
  };
  const qint64 before = officePid();
  ASSERT_GT(before, 0);
  ASSERT_EQ(::kill(static_cast<pid_t>(before), SIGKILL), 0);
  EXPECT_TRUE(WaitUntil(
      [&] {
        const Answer health = Curl(QStringLiteral("/health"));
        return health.status == 200 && officePid() != before;
      },
      std::chrono::seconds(60)));
}

// Last: it stops the suite's service.
TEST_F(Serve, SigtermAnswersTheRequestInHandThenEndsEveryOffice) {
  const QString book = F(QStringLiteral("in/long.xlsx"));
  ASSERT_TRUE(writeXlsx(book, {{QStringLiteral("Long"), QStringLiteral("Long text"), 4000}}));
  auto curl = Start(QStringLiteral("/convert"), Form(book), QStringLiteral("last"));
  ASSERT_TRUE(WaitUntil(
      [] { return Curl(QStringLiteral("/metrics")).body.contains("tabrix_converters_busy 1"); }));
  ASSERT_EQ(::kill(static_cast<pid_t>(service_->process.processId()), SIGTERM), 0);
  const Answer a = Finish(*curl, QStringLiteral("last"));
  EXPECT_EQ(a.status, 200) << a.body.toStdString();
  EXPECT_TRUE(a.body.startsWith("%PDF"));
  EXPECT_GT(a.header("X-Tabrix-Pages").toInt(), 10);
  ASSERT_TRUE(service_->process.waitForFinished(60000));
  EXPECT_EQ(service_->process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(service_->process.exitCode(), 0) << service_->ReadErr().toStdString();
  EXPECT_TRUE(officesMentioning(service_->tmp.path()).isEmpty());
  EXPECT_TRUE(QDir(Work()).entryList({QStringLiteral("tabrix-serve-*")}, QDir::Dirs).isEmpty())
      << "the private folders go with the service";
  // After the stop nothing listens any more.
  EXPECT_EQ(Curl(QStringLiteral("/health")).status, 0);
}

}  // namespace
