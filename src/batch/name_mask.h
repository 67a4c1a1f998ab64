#pragma once
// File-name matching the way a Windows directory listing does it: the whole
// name, letter case ignored; "*" any run of characters; "?" one character,
// or none at the end of the name or before a dot; ".*" / ".?" at a dot also
// match the end of a name without one; a trailing "*.*" means "*".

#include <QString>
#include <QStringView>

#include <vector>

class TkvNameMask {
 public:
  explicit TkvNameMask(const QString& mask);

  bool Matches(QStringView name) const;
  // Matches an already case-folded name (saves the fold on hot paths).
  bool MatchesFolded(QStringView foldedName) const;

 private:
  enum class Kind { Literal, Star, Question, DotOrEnd };
  struct Token {
    Kind kind;
    QChar ch;
  };
  // failed: one flag per (token, position) already known not to match.
  bool MatchFrom(size_t t, QStringView name, qsizetype n, std::vector<char>& failed) const;

  std::vector<Token> tokens_;
};
