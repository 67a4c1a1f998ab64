#pragma once
// Regular-expression service in the VBScript dialect, on QRegularExpression.
// Pattern errors surface when an expression is used (IsMatch, Replace, ...),
// as ERegexException carrying the script error code of the failure.

#include "core/error.h"

#include <QFlags>
#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <memory>

enum TRegexOption : int { roIgnoreCase = 1, roMultiLine = 2 };
Q_DECLARE_FLAGS(TRegexOptions, TRegexOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TRegexOptions)

// One row of the script error table: code (low 16 bits of an error result)
// and its message.
struct TVBScriptErrRec {
  int32_t Code;
  const char* Message;
};

// The 43 rows of the script error table, in table order.
const TVBScriptErrRec* TkvScriptErrorTable(int* count);
// The table's message for the low 16 bits of `errorResult`; empty when the
// table has no such code (the first row with an equal code wins).
QString TkvScriptErrorMessage(int32_t errorResult);
// The full error result a script engine reports for a script error code
// (facility "control", severity error): 0x800A0000 | code.
int32_t TkvScriptErrorResult(int code);

class ERegexException : public TkvError {
 public:
  // Message: the table's message for the low 16 bits of errorResult, else
  // fallbackMessage. ErrorCode(): errorResult unchanged.
  ERegexException(int32_t errorResult, const QString& fallbackMessage);
  int32_t ErrorCode() const noexcept { return errorCode_; }

 private:
  int32_t errorCode_;
};

// One compiled expression. Shared by reference (Regex::Create hands out a
// shared_ptr); not for concurrent use from several threads.
class TRegex {
 public:
  TRegex(const QString& pattern, TRegexOptions options);
  TRegex(const TRegex&) = delete;
  TRegex& operator=(const TRegex&) = delete;

  QString Pattern() const { return pattern_; }
  bool IgnoreCase() const { return options_.testFlag(roIgnoreCase); }
  bool MultiLine() const { return options_.testFlag(roMultiLine); }

  // Whether the expression is found anywhere in input.
  bool IsMatch(const QString& input) const;
  // Input with the first match replaced; "$1".."$99", "$&", "$`", "$'" and
  // "$$" in the replacement expand as in the script dialect.
  QString Replace(const QString& input, const QString& replacement) const;
  // Input with every match replaced.
  QString ReplaceAll(const QString& input, const QString& replacement) const;

 private:
  // Throws ERegexException when the pattern does not compile.
  void CheckValid() const;
  QString ReplaceImpl(const QString& input, const QString& replacement, bool all) const;

  QString pattern_;
  TRegexOptions options_;
  QRegularExpression re_;
};

// Stateless entry points; every call builds a fresh expression.
class Regex {
 public:
  Regex() = delete;
  static std::shared_ptr<TRegex> Create(const QString& pattern, TRegexOptions options = {});
  static bool IsMatch(const QString& pattern, TRegexOptions options, const QString& input);
  // First match replaced; letter case significant, single-line.
  static QString Replace(const QString& pattern, const QString& input, const QString& replacement);
};

// The regular expression for a wildcard mask: "*.xls?" -> ".*\.xls.?$".
// Anchored at the end only; never fails.
QString WildcardToRegex(const QString& mask);
