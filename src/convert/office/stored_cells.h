#pragma once
// The results an OOXML workbook stores for its formula cells (the cached
// values the spreadsheet application wrote when it last calculated), read
// straight from one worksheet part of the package.

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

class TkvZipPackage;

// A cell of a sheet: row and column from 0.
struct TkvCellRef {
  int row = 0;
  int column = 0;
  quint64 Key() const { return (quint64(quint32(row)) << 32) | quint32(column); }
  // "C7"
  QString Name() const;
};

struct TkvStoredCell {
  enum class Kind { None, Number, Text, Boolean, Error };
  Kind kind = Kind::None;  // None: the cell stores no result
  double number = 0;       // Number; Boolean as 0 or 1
  QString text;            // Text; Error as stored ("#NAME?"); Number as stored ("142")
  // A value a generator writes in place of a result: none, or a numeric 0.
  bool Placeholder() const { return kind == Kind::None || (kind == Kind::Number && number == 0); }
};

// The stored results of the cells `wanted` (by TkvCellRef::Key) of the
// worksheet part `part` of `package`; a wanted cell the
// part does not hold is left out. nullopt when the part is missing, damaged
// or over its size limit (256 MiB unpacked). Reads only that part;
// thread-safe.
std::optional<QHash<quint64, TkvStoredCell>> TkvReadStoredCells(const TkvZipPackage& package,
                                                                const QString& part,
                                                                const QSet<quint64>& wanted);
// The same from the part's XML as stored; nullopt when it is not well formed.
std::optional<QHash<quint64, TkvStoredCell>> TkvScanStoredCells(const QByteArray& sheetPart,
                                                                const QSet<quint64>& wanted);
