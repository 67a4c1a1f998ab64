#pragma once
// Finding processes a test started, to check that none outlived its run.

#include <QList>
#include <QString>

#include <sys/types.h>

namespace tabrix::test {

// Processes whose command line mentions `text` (and `program`, when given),
// ascending by process id.
QList<pid_t> processesMentioning(const QString& text, const char* program = nullptr);

// soffice.bin processes whose command line mentions `text` (a profile or cache folder).
inline QList<pid_t> officesMentioning(const QString& text) {
  return processesMentioning(text, "soffice.bin");
}

}  // namespace tabrix::test
