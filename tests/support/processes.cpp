#include "support/processes.h"

#include "support/scoped_temp_dir.h"

#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tabrix::test {

QList<pid_t> processesMentioning(const QString& text, const char* program) {
  QList<pid_t> pids;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool ok = false;
    const pid_t pid = entry.toInt(&ok);
    if (!ok) continue;
    QByteArray cmdline = readFile(QStringLiteral("/proc/%1/cmdline").arg(pid));
    cmdline.replace('\0', ' ');
    if (cmdline.contains(text.toUtf8()) && (!program || cmdline.contains(program)))
      pids.append(pid);
  }
  std::sort(pids.begin(), pids.end());
  return pids;
}

QByteArray runInTerminal(const QString& program, const QStringList& args,
                         const QProcessEnvironment& environment, const QString& folder,
                         int* exitCode, int ms) {
  // Everything the child needs is made before the fork.
  std::vector<QByteArray> argBytes{program.toLocal8Bit()}, envBytes;
  for (const QString& arg : args) argBytes.push_back(arg.toLocal8Bit());
  for (const QString& entry : environment.toStringList()) envBytes.push_back(entry.toLocal8Bit());
  std::vector<char*> argv, envp;
  for (QByteArray& b : argBytes) argv.push_back(b.data());
  for (QByteArray& b : envBytes) envp.push_back(b.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const QByteArray dir = folder.toLocal8Bit();
  struct winsize size {};
  size.ws_row = 24;
  size.ws_col = 80;
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) {
    *exitCode = -1;
    return {};
  }
  if (pid == 0) {
    if (::chdir(dir.constData()) == 0) ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  QByteArray output;
  QElapsedTimer timer;
  timer.start();
  bool timedOut = false;
  for (;;) {
    const qint64 left = ms - timer.elapsed();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    struct pollfd fd {
      master, POLLIN, 0
    };
    if (::poll(&fd, 1, int(std::min<qint64>(left, 1000))) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO: every end of the terminal is closed
    output.append(buffer, n);
  }
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(master);
  *exitCode = !timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

}  // namespace tabrix::test
