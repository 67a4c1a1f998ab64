#pragma once
// The table of known option keys: each key's spelling, the values it takes,
// its default and one line of meaning. The command line checks option values
// against it, the window's Config dialog lists it, and docs/options.md is
// kept equal to it (a test compares them). A new key is one more row.
//
// Checking never changes how values are read: an unknown key is still kept,
// and a value its key cannot take still reads as the key's rules say (the
// default, or what `whenUnreadable` names). The checks only put that into
// words; a choice key's value is read through the same check
// (TkvOptionChoice), so the warning and the run agree. Any thread.

#include <QString>
#include <QStringList>

#include <vector>

enum class TkvOptionKind {
  Text,     // any text
  Boolean,  // True/False or a number; `choices` may add words ("skip")
  Integer,  // a whole number
  Choice,   // one of `choices`, letter case ignored, blanks around trimmed
  Shard,    // "K/N" or "auto"
};

struct TkvOptionRow {
  QString key;
  TkvOptionKind kind = TkvOptionKind::Text;
  QString defaultValue;  // as a person writes it; empty: no value
  QString meaning;       // one line
  QStringList choices;
  // What a value the key cannot take gives; empty: the default is used.
  QString whenUnreadable;
};

// Every known key, in the order the documentation lists them. `Source2`,
// `Source3`, ... are one row, "SourceN".
const std::vector<TkvOptionRow>& TkvOptionTable();

// The row of `key` (letter case ignored; "Source7" finds "SourceN"), or null.
const TkvOptionRow* TkvFindOption(const QString& key);

// A Choice row's value as the run reads it: the choice `value` names (in
// the table's spelling; letter case and blanks around ignored), else the
// row's default (also for an empty value).
QString TkvOptionChoice(const TkvOptionRow& row, const QString& value);

// Empty when `value` is one its row takes (an empty value always is);
// otherwise "Key=value is not ...", naming what the key takes.
QString TkvOptionValueProblem(const TkvOptionRow& row, const QString& value);

// One warning per problem of the option lines, in line order, for the first
// line of each key (the one that is read): "unknown option 'Sorce' (did you
// mean Source?)", "Subdir=yes is not True or False: False is used", and a
// Source or SourceN naming an existing folder without a mask. Keys of the
// window's bound controls in their older spelling ("eSource.Text") are
// known. Lines without "=" are left alone.
QStringList TkvOptionWarnings(const QStringList& lines, const QString& sourceMask);

// The known key closest to `key` within a small spelling distance; empty
// when none is close.
QString TkvClosestOptionKey(const QString& key);
// The word of `candidates` closest to `word` by the same measure (letter
// case ignored); empty when none is close.
QString TkvClosestWord(const QString& word, const QStringList& candidates);
