#include "app/unattended_progress.h"

#include <QByteArray>
#include <QMutexLocker>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int TerminalWidth() {
  struct winsize ws {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

void WriteAll(const QByteArray& bytes) {
  const char* p = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, p, static_cast<size_t>(left));
    if (n <= 0) return;
    p += n;
    left -= n;
  }
}

}  // namespace

TkvProgressLine::TkvProgressLine() : enabled_(::isatty(STDERR_FILENO) == 1) {}

TkvProgressLine::~TkvProgressLine() { Finish(); }

QString TkvProgressLine::Text(const Counts& counts, const QString& current, int width) {
  QString text = QStringLiteral("%1 converted, %2 failed, %3 skipped of %4")
                     .arg(counts.converted)
                     .arg(counts.failed)
                     .arg(counts.skipped)
                     .arg(counts.total);
  if (counts.more) text += u'+';
  if (!current.isEmpty()) {
    const int room = width - 1 - static_cast<int>(text.size()) - 2;
    if (room >= 5) {
      QString name = current;
      // A file name may hold control characters; never send them to a terminal.
      for (QChar& c : name)
        if (c.category() == QChar::Other_Control) c = u'?';
      if (name.size() > room) {
        const int head = (room - 3) / 2;
        const int tail = room - 3 - head;
        name = name.left(head) + QStringLiteral("...") + name.right(tail);
      }
      text += QStringLiteral(": ") + name;
    }
  }
  if (width > 1 && text.size() > width - 1) text.truncate(width - 1);
  return text;
}

void TkvProgressLine::Update(const Counts& counts, const QString& current) {
  if (!enabled_) return;
  const QString text = Text(counts, current, TerminalWidth());
  QMutexLocker lock(&lock_);
  if (printed_ && text == last_) return;
  last_ = text;
  printed_ = true;
  // Back to the line's start, the text, then clear what an older, longer
  // text left behind.
  WriteAll("\r" + text.toLocal8Bit() + "\033[K");
}

void TkvProgressLine::Finish() {
  QMutexLocker lock(&lock_);
  if (!printed_) return;
  printed_ = false;
  WriteAll("\n");
}

void TkvProgressLine::Around(const std::function<void()>& write) {
  QMutexLocker lock(&lock_);
  if (!printed_) {
    write();
    return;
  }
  WriteAll("\r\033[K");
  write();
  WriteAll("\r" + last_.toLocal8Bit() + "\033[K");
}
