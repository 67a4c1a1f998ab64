#include "convert/office/uno_runtime.h"

#include "core/error.h"

#include <QRegularExpression>

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <cppuhelper/bootstrap.hxx>

#include <csignal>
#include <cstdlib>
#include <mutex>

namespace tabrix::office {

QString ProgramDir() { return QStringLiteral(TABRIX_OFFICE_PROGRAM_DIR); }

css::uno::Reference<css::uno::XInterface> ConfigNode(
    const css::uno::Reference<css::uno::XComponentContext>& context, const char* nodePath,
    bool update) {
  css::beans::NamedValue path("nodepath", css::uno::Any(rtl::OUString::createFromAscii(nodePath)));
  return css::configuration::theDefaultProvider::get(context)->createInstanceWithArguments(
      update ? rtl::OUString("com.sun.star.configuration.ConfigurationUpdateAccess")
             : rtl::OUString("com.sun.star.configuration.ConfigurationAccess"),
      SequenceOf<css::uno::Any>({css::uno::Any(path)}));
}

namespace {
std::once_flag environmentPrepared;
}

void PrepareEnvironment() {
  std::call_once(environmentPrepared, [] {
    const QByteArray dir = ProgramDir().toLocal8Bit();
    setenv("UNO_PATH", dir.constData(), 0);
    setenv("URE_BOOTSTRAP", ("vnd.sun.star.pathname:" + dir + "/fundamentalrc").constData(), 0);
    // The bridge writes to the office's pipe; an office that died (killed by
    // the time limit, crashed) must cost its document, not end this process by
    // SIGPIPE. A handler set by the embedding program is left as it is.
    struct sigaction current = {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      struct sigaction ignore = {};
      ignore.sa_handler = SIG_IGN;
      sigemptyset(&ignore.sa_mask);
      sigaction(SIGPIPE, &ignore, nullptr);
    }
  });
}

css::uno::Reference<css::uno::XComponentContext> LocalContext() {
  static std::mutex mutex;
  static css::uno::Reference<css::uno::XComponentContext>* context = nullptr;
  std::lock_guard lock(mutex);
  if (!context) {
    // Read by the bootstrap below. Done already, on the main thread, in the program.
    PrepareEnvironment();
    try {
      // Intentionally never released: UNO does not support tearing the
      // runtime down during static destruction.
      context = new css::uno::Reference<css::uno::XComponentContext>(
          cppu::defaultBootstrap_InitialComponentContext());
    } catch (const css::uno::Exception& e) {
      throw TkvError(QStringLiteral("The LibreOffice UNO runtime could not be started: %1")
                         .arg(ExceptionText(e)));
    }
  }
  return *context;
}

bool MayBeConnectionFailureNow() {
  try {
    throw;
  } catch (const css::uno::RuntimeException&) {
    return true;
  } catch (...) {
    return false;
  }
}

QString ExceptionText(const css::uno::Exception& e) {
  QString text = ToQ(e.Message);
  static const QRegularExpression where(QStringLiteral("\\s+at\\s+\\S+:\\d+"));
  text.remove(where);
  return text.trimmed();
}

}  // namespace tabrix::office
