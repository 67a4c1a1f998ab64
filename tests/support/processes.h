#pragma once
// Finding processes a test started, to check that none outlived its run.

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace tabrix::test {

// Processes whose command line mentions `text` (and `program`, when given),
// ascending by process id.
QList<pid_t> processesMentioning(const QString& text, const char* program = nullptr);

// soffice.bin processes whose command line mentions `text` (a profile or cache folder).
inline QList<pid_t> officesMentioning(const QString& text) {
  return processesMentioning(text, "soffice.bin");
}

// Runs `program` in `folder` with a pseudo-terminal of 80 columns as its
// stdin, stdout and stderr, as a person at a terminal would; returns all it
// wrote there (the terminal turns "\n" into "\r\n"). `exitCode` gets its
// exit code, -1 when it did not end within `ms` (it is then killed).
QByteArray runInTerminal(const QString& program, const QStringList& args,
                         const QProcessEnvironment& environment, const QString& folder,
                         int* exitCode, int ms = 120000);

}  // namespace tabrix::test
