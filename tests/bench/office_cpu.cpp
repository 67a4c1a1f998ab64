// The office's CPU time per document for a list of workbooks: one office
// process on a new profile folder converts every file to PDF, round after
// round, and the process's own CPU time (utime + stime from /proc) is read
// around each round. CPU time, unlike wall time, does not depend on what else
// the machine runs. A first document before the rounds loads the office's
// spreadsheet code and is not counted.
//
//   tabrix_bench_office_cpu [options] <workbook>...
//     --rounds N             rounds over the files (3)
//     --out DIR              write the PDFs of the last round to DIR/<name>.pdf
//     --road                 convert through Excel.Application, as the
//                            converter does (default: the same UNO calls made
//                            directly, so that the options below apply)
//     --config NODE:PROP=V   office setting before the first document, e.g.
//                            /org.openoffice.Office.Calc/Formula/Load:OOXMLRecalcMode=0
//     --load NAME=V          one more load (media descriptor) property
//     --filter NAME=V        one more PDF export filter property
//   V: true, false, an integer, or text.
// A workbook that fails is named on stderr and left out. Prints
// "round <n>\t<office cpu ms>\t<ms per converted document>", then
// "office_cpu_ms_per_doc\t<median of the rounds>" and the office's resident
// memory at the end ("office_rss_mb"). Before the rounds it prints
// "office_pid\t<pid>" and sleeps BENCH_PAUSE_S seconds, if set, for a
// profiler to attach.

#include "convert/automation/auto_object.h"
#include "convert/automation/class_registry.h"
#include "convert/office/calc_application.h"
#include "convert/office/office_process.h"
#include "convert/office/office_url.h"
#include "convert/office/uno_runtime.h"
#include "core/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace css;
using tabrix::office::Prop;
using tabrix::office::ToOU;

namespace {

struct Setting {
  QString name;  // for --config: "NODE:PROP"
  uno::Any value;
};

uno::Any ParseValue(const QString& text) {
  if (text == QLatin1String("true")) return uno::Any(true);
  if (text == QLatin1String("false")) return uno::Any(false);
  bool ok = false;
  const int number = text.toInt(&ok);
  if (ok) return uno::Any(sal_Int32(number));
  return uno::Any(ToOU(text));
}

Setting ParseSetting(const char* arg) {
  const QString text = QString::fromLocal8Bit(arg);
  const int eq = text.indexOf(u'=');
  if (eq <= 0) throw TkvError(QStringLiteral("expected NAME=VALUE, not %1").arg(text));
  return {text.left(eq), ParseValue(text.mid(eq + 1))};
}

std::vector<beans::PropertyValue> Props(const std::vector<Setting>& settings) {
  std::vector<beans::PropertyValue> props;
  for (const Setting& s : settings) props.push_back(Prop(s.name.toUtf8().constData(), s.value));
  return props;
}

// utime + stime of a process, in milliseconds.
double CpuMs(pid_t pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly))
    throw TkvError(QStringLiteral("cannot read /proc/%1/stat").arg(pid));
  const QByteArray text = stat.readAll();
  // The fields after the command name, which is in parentheses: state is
  // field 3, utime 14, stime 15.
  const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
  if (fields.size() < 13) throw TkvError(QStringLiteral("unexpected /proc/%1/stat").arg(pid));
  const double ticks = fields[11].toDouble() + fields[12].toDouble();
  return ticks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

class Converter {
 public:
  Converter(std::shared_ptr<TkvOfficeProcess> office, bool road, std::vector<Setting> load,
            std::vector<Setting> filter)
      : office_(std::move(office)),
        road_(road),
        load_(std::move(load)),
        filter_(std::move(filter)) {
    if (road_) {
      TkvAutomationInitThread();
      application_ = TkvCreateCalcApplication(office_);
    }
  }

  void Convert(const QString& source, const QString& target) {
    if (road_) {
      // The calls of the converter's default mode (all sheets, one PDF).
      const TkvVariant omitted = TkvVariant::Omitted;
      auto workbook = application_->GetObject(QStringLiteral("Workbooks"))
                          ->Call(QStringLiteral("Open"), {source, omitted, false})
                          .ToObject();
      workbook->Call(
          QStringLiteral("ExportAsFixedFormat"),
          {std::int32_t(0), target, std::int32_t(0), true, false, omitted, omitted, false});
      workbook->Call(QStringLiteral("Close"), {false});
      return;
    }
    // The load and export properties Excel.Application passes.
    std::vector<beans::PropertyValue> media = {
        Prop("Hidden", uno::Any(true)),
        Prop("ReadOnly", uno::Any(true)),
        Prop("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
        Prop("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)),
    };
    for (auto& p : Props(load_)) media.push_back(p);
    const std::vector<beans::PropertyValue> data = Props(filter_);
    auto component = office_->Desktop()->loadComponentFromURL(
        ToOU(TkvOfficeFileUrl(source)), "_blank", 0,
        uno::Sequence<beans::PropertyValue>(media.data(), sal_Int32(media.size())));
    if (!component.is()) throw TkvError(QStringLiteral("cannot load %1").arg(source));
    uno::Reference<frame::XStorable>(component, uno::UNO_QUERY_THROW)
        ->storeToURL(ToOU(TkvOfficeFileUrl(target)),
                     tabrix::office::SequenceOf<beans::PropertyValue>(
                         {Prop("FilterName", uno::Any(rtl::OUString("calc_pdf_Export"))),
                          Prop("FilterData", uno::Any(uno::Sequence<beans::PropertyValue>(
                                                 data.data(), sal_Int32(data.size()))))}));
    uno::Reference<util::XCloseable>(component, uno::UNO_QUERY_THROW)->close(true);
  }

 private:
  std::shared_ptr<TkvOfficeProcess> office_;
  bool road_;
  std::vector<Setting> load_, filter_;
  std::shared_ptr<TkvAutoObject> application_;
};

void ApplyConfig(TkvOfficeProcess& office, const std::vector<Setting>& config) {
  for (const Setting& s : config) {
    const int colon = s.name.lastIndexOf(u':');
    if (colon <= 0) throw TkvError(QStringLiteral("expected NODE:PROP=VALUE, not %1").arg(s.name));
    const QByteArray node = s.name.left(colon).toUtf8();
    auto access = tabrix::office::ConfigNode(office.Context(), node.constData(), true);
    uno::Reference<container::XNameReplace>(access, uno::UNO_QUERY_THROW)
        ->replaceByName(ToOU(s.name.mid(colon + 1)), s.value);
    uno::Reference<util::XChangesBatch>(access, uno::UNO_QUERY_THROW)->commitChanges();
  }
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  bool road = false;
  QString out;
  std::vector<Setting> config, load, filter;
  QStringList files;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      const bool more = i + 1 < argc;
      if (a == "--rounds" && more)
        rounds = std::max(1, std::atoi(argv[++i]));
      else if (a == "--out" && more)
        out = QString::fromLocal8Bit(argv[++i]);
      else if (a == "--road")
        road = true;
      else if (a == "--config" && more)
        config.push_back(ParseSetting(argv[++i]));
      else if (a == "--load" && more)
        load.push_back(ParseSetting(argv[++i]));
      else if (a == "--filter" && more)
        filter.push_back(ParseSetting(argv[++i]));
      else if (!a.empty() && a[0] == '-')
        throw TkvError(QStringLiteral("unknown option %1").arg(QString::fromStdString(a)));
      else
        files << QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
    }
    if (files.isEmpty()) {
      std::fprintf(stderr,
                   "usage: %s [--rounds N] [--out DIR] [--road] [--config NODE:PROP=V] [--load "
                   "NAME=V] [--filter NAME=V] <workbook>...\n",
                   argv[0]);
      return 2;
    }
    if ((road && (!load.empty() || !filter.empty())))
      throw TkvError(
          QStringLiteral("--load and --filter apply to the direct calls only, not with --road"));

    QTemporaryDir tmp;
    if (!tmp.isValid()) throw TkvError(QStringLiteral("cannot create a temporary folder"));
    TkvOfficeProcess::Options options;
    options.profileRoot =
        tmp.filePath(QStringLiteral("profiles"));  // new: no setting of an earlier run applies
    options.maxDocuments = 1 << 30;
    options.maxResidentMb = 0;
    auto office = std::make_shared<TkvOfficeProcess>(options);
    office->EnsureRunning();
    ApplyConfig(*office, config);
    Converter converter(office, road, load, filter);
    const QString scratch = tmp.filePath(QStringLiteral("pdf"));
    QDir().mkpath(scratch);
    if (!out.isEmpty()) QDir().mkpath(out);
    converter.Convert(files.first(), scratch + QStringLiteral("/warm-up.pdf"));
    // For a profiler to attach to the office for the rounds only.
    std::printf("office_pid\t%d\n", int(office->Pid()));
    std::fflush(stdout);
    if (const char* pause = std::getenv("BENCH_PAUSE_S")) ::sleep(unsigned(std::atoi(pause)));

    std::vector<double> perDoc;
    for (int r = 1; r <= rounds; ++r) {
      const QString folder = r == rounds && !out.isEmpty() ? out : scratch;
      const pid_t pid = office->Pid();
      const double before = CpuMs(pid);
      int converted = 0;
      for (const QString& file : files) {
        try {
          converter.Convert(
              file, folder + u'/' + QFileInfo(file).completeBaseName() + QStringLiteral(".pdf"));
          ++converted;
        } catch (const uno::Exception& e) {
          std::fprintf(stderr, "failed\t%s\t%s\n", qPrintable(file),
                       qPrintable(tabrix::office::ExceptionText(e)));
        } catch (const std::exception& e) {
          std::fprintf(stderr, "failed\t%s\t%s\n", qPrintable(file), e.what());
        }
      }
      // A failure may have ended the office: such a round is not counted.
      if (office->Pid() != pid || converted == 0) {
        office->EnsureRunning();
        std::printf("round %d\tnot counted: the office ended\n", r);
        continue;
      }
      const double used = CpuMs(pid) - before;
      perDoc.push_back(used / converted);
      std::printf("round %d\t%.0f\t%.1f\n", r, used, used / converted);
      std::fflush(stdout);
    }
    if (perDoc.empty()) throw TkvError(QStringLiteral("no round was counted"));
    std::sort(perDoc.begin(), perDoc.end());
    std::printf("office_cpu_ms_per_doc\t%.1f\n", perDoc[perDoc.size() / 2]);
    std::printf("office_rss_mb\t%.0f\n", office->ResidentKb() / 1024.0);
    office->Quit();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tabrix_bench_office_cpu: %s\n", e.what());
  } catch (const uno::Exception& e) {
    std::fprintf(stderr, "tabrix_bench_office_cpu: %s\n",
                 qPrintable(tabrix::office::ExceptionText(e)));
  }
  return 1;
}
