#pragma once
// The window's last line of defence: an error that escapes a handler becomes
// a problem report through TkvInfo::ReportException instead of ending the
// program. UI thread only.

#include <QApplication>

#include <functional>

// Runs `handler`; an escaping exception is reported and swallowed.
void TkvGuarded(const std::function<void()>& handler);
// Reports the exception being handled (call inside a catch block).
void TkvReportCurrentException();

// The application object of the window road: events whose handlers throw
// are reported the same way.
class TkvApplication : public QApplication {
 public:
  TkvApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};
