#pragma once
// The built program as the program tests start it: a private copy in a
// temporary folder (the usage store and recent projects it keeps beside
// itself land there) and the environment it runs in.

#include "support/scoped_temp_dir.h"

#include <QProcessEnvironment>
#include <QString>

namespace tabrix::test {

// The program of this build; it exists only in a build with the windows.
QString BuiltProgram();

// Copies the built program to bin/tabrix in `temp`; empty when the copy fails.
QString CopyBuiltProgram(const ScopedTempDir& temp);

// The caller's environment without a display, without a batch scheduler's
// shard variables and without TMPDIR (office profiles go below `cache`),
// with settings and state in `temp`, the cache in `cache` and the
// offscreen platform for any window.
QProcessEnvironment ProgramEnvironment(const ScopedTempDir& temp, const QString& cache);

}  // namespace tabrix::test
