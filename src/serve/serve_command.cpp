#include "serve/serve_command.h"

#include "app/stop_signals.h"
#include "batch/matcher.h"
#include "core/project.h"
#include "serve/converter_pool.h"
#include "serve/http_service.h"
#include "serve/serve_options.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr int kUsageError = 64;

std::atomic<bool> g_stop{false};

void Print(std::FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

}  // namespace

int TkvRunServeCommand(int argc, char** argv) {
  TkvProject& project = *TkvProject::Instance();
  const TkvProfile& profile = project.Profile();
  const QString program = profile.ShortName;
  QStringList args;
  for (int i = 2; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));

  const TkvServeArgs parsed = TkvParseServeArgs(args);
  switch (parsed.action) {
    case TkvServeArgs::Action::Help:
      Print(stdout, TkvServeHelp(program));
      return 0;
    case TkvServeArgs::Action::Version:
      Print(stdout, QStringLiteral("%1 %2\n").arg(profile.Title, profile.Version));
      return 0;
    case TkvServeArgs::Action::UsageError:
      Print(stderr,
            QStringLiteral("%1 serve: %2\nTry '%1 serve --help'.\n").arg(program, parsed.error));
      return kUsageError;
    case TkvServeArgs::Action::Run:
      break;
  }
  for (const auto& [key, value] : parsed.settings) project.SetOptionValue(key, value);

  int argcCopy = argc;
  QCoreApplication application(argcCopy, argv);
  TkvStopSignals stopSignals(+[] { g_stop.store(true); });
  TkvMatcherScope matcher;
  // Warm-up documents and every request's private folder live below it.
  QTemporaryDir work(QDir::tempPath() + QStringLiteral("/tabrix-serve-XXXXXX"));
  if (!work.isValid()) {
    Print(stderr, QStringLiteral("%1 serve: no private folder in %2: %3\n")
                      .arg(program, QDir::tempPath(), work.errorString()));
    return 1;
  }
  const int threads = project.ThreadsCount();
  TkvServiceConfig config;
  config.maxUploadMb = parsed.maxUploadMb;
  config.maxQueue = parsed.maxQueue >= 0 ? parsed.maxQueue : 2 * threads;
  config.maxTimeout = project.ItemTimeout();
  config.workFolder = work.path();
  config.title = profile.Title;
  config.version = profile.Version;

  TkvConverterPool pool(project, threads, config.maxQueue, work.path());
  TkvHttpService service(pool, config);
  const int port = service.Bind(parsed.host, parsed.port);
  if (port < 0) {
    Print(stderr, QStringLiteral("%1 serve: cannot listen on %2:%3\n")
                      .arg(program, parsed.host)
                      .arg(parsed.port));
    return 1;
  }
  std::atomic<bool> served{false};
  std::thread listener([&] {
    service.Run();
    served.store(true);
  });
  // Stop only reaches a server that has begun to listen.
  while (!service.Running() && !served.load())
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const QString host = parsed.host.contains(u':') ? u'[' + parsed.host + u']' : parsed.host;
  Print(stderr, QStringLiteral("%1 serve: listening on http://%2:%3 with %4 converter(s)\n")
                    .arg(program, host)
                    .arg(port)
                    .arg(threads));
  while (!g_stop.load() && !served.load())
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  Print(stderr,
        QStringLiteral("%1 serve: stopping; answering the requests in hand\n").arg(program));
  service.Stop();
  listener.join();
  Print(stderr, QStringLiteral("%1 serve: stopped\n").arg(program));
  return 0;
}
