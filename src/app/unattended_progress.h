#pragma once
// One self-updating progress line on stderr for a person at a terminal.
// When stderr is not a terminal it prints nothing at all. Other output meant
// for the same terminal while the line is shown (report rows, messages) goes
// through Around, which erases the line first and draws it again after.
//
// Threads: Update and Finish on the main thread; Around from any thread.

#include <QMutex>
#include <QString>

#include <functional>

class TkvProgressLine {
 public:
  struct Counts {
    int converted = 0, failed = 0, skipped = 0, total = 0;
    // The search still lists, or sources are still to be searched: the
    // total is not final ("of 13+").
    bool more = false;
  };

  // Enabled when stderr is a terminal.
  TkvProgressLine();
  explicit TkvProgressLine(bool enabled) : enabled_(enabled) {}
  // Ends the line if anything was printed.
  ~TkvProgressLine();
  TkvProgressLine(const TkvProgressLine&) = delete;
  TkvProgressLine& operator=(const TkvProgressLine&) = delete;

  bool Enabled() const { return enabled_; }
  // Redraws the line; does nothing when the text would not change.
  void Update(const Counts& counts, const QString& current);
  // Moves to a new line (once), so later output starts clean; the last text
  // stays as the run's summary.
  void Finish();
  // Runs `write` with the line erased, then draws the line again.
  void Around(const std::function<void()>& write);

  // "5 converted, 2 failed, 0 skipped of 7: NAME" ("of 7+" while more are
  // being listed), at most `width`
  // characters (the file name is shortened in its middle when needed).
  static QString Text(const Counts& counts, const QString& current, int width);

 private:
  const bool enabled_;
  QMutex lock_;
  bool printed_ = false;  // a line is on the terminal, not ended
  QString last_;
};
