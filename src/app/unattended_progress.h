#pragma once
// One self-updating progress line on stderr for a person at a terminal.
// When stderr is not a terminal it prints nothing at all. Main thread only.

#include <QString>

class TkvProgressLine {
 public:
  // Enabled when stderr is a terminal.
  TkvProgressLine();
  explicit TkvProgressLine(bool enabled) : enabled_(enabled) {}
  // Ends the line if anything was printed.
  ~TkvProgressLine();
  TkvProgressLine(const TkvProgressLine&) = delete;
  TkvProgressLine& operator=(const TkvProgressLine&) = delete;

  bool Enabled() const { return enabled_; }
  // Redraws the line; does nothing when the text would not change.
  void Update(int done, int failed, int total, const QString& current);
  // Moves to a new line (once), so later output starts clean.
  void Finish();

  // The line's text, at most `width` characters (the file name is shortened
  // in its middle when needed).
  static QString Text(int done, int failed, int total, const QString& current, int width);

 private:
  bool enabled_;
  bool printed_ = false;
  QString last_;
};
