#include "ui/handler_guard.h"

#include "core/error.h"
#include "core/info.h"

#include <exception>

void TkvReportCurrentException() {
  QString message;
  try {
    throw;
  } catch (const TkvError& e) {
    message = e.Message();
  } catch (const std::exception& e) {
    message = QString::fromUtf8(e.what());
  } catch (...) {
    message = QStringLiteral("Unknown error");
  }
  if (TkvInfo* info = TkvInfo::Instance()) info->ReportException(message);
}

void TkvGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    TkvReportCurrentException();
  }
}

bool TkvApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    TkvReportCurrentException();
    return false;
  }
}
