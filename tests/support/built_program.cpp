#include "support/built_program.h"

#include <QDir>
#include <QFile>

namespace tabrix::test {

QString BuiltProgram() {
  return qEnvironmentVariable("TABRIX_BINARY_DIR") + QStringLiteral("/bin/tabrix");
}

QString CopyBuiltProgram(const ScopedTempDir& temp) {
  QDir().mkpath(temp.file(QStringLiteral("bin")));
  const QString exe = temp.file(QStringLiteral("bin/tabrix"));
  if (!QFile::copy(BuiltProgram(), exe)) return {};
  QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
  return exe;
}

QProcessEnvironment ProgramEnvironment(const ScopedTempDir& temp, const QString& cache) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  for (const char* scheduler :
       {"SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_COUNT", "JOB_COMPLETION_INDEX", "TABRIX_SHARDS"})
    env.remove(QLatin1String(scheduler));
  env.remove(QStringLiteral("TMPDIR"));
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), temp.file(QStringLiteral("config")));
  env.insert(QStringLiteral("XDG_STATE_HOME"), temp.file(QStringLiteral("state")));
  env.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  return env;
}

}  // namespace tabrix::test
