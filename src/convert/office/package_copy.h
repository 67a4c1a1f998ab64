#pragma once
// A private copy of an OOXML package without its pivot tables, loaded in the
// source's place so that the cells the spreadsheet application rendered for
// them print as stored (the office's import would throw those cells away and
// rebuild each pivot table with its own captions and formats).

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class TkvPivotFreeCopy {
 public:
  // The copy of the package at `localPath` without its pivot-table and
  // pivot-cache parts, their relationships, content types and the
  // workbook's list of pivot caches; every other part is copied as stored.
  // Null when the package has no pivot table, or is no OOXML package that
  // can be read (the source then loads as it is). The source is only read.
  static std::unique_ptr<TkvPivotFreeCopy> Make(const QString& localPath);
  // Removes the copy and its folder.
  ~TkvPivotFreeCopy();
  TkvPivotFreeCopy(const TkvPivotFreeCopy&) = delete;
  TkvPivotFreeCopy& operator=(const TkvPivotFreeCopy&) = delete;

  // The copy, under the source's file name in a private folder.
  const QString& Path() const { return path_; }

 private:
  TkvPivotFreeCopy() = default;
  QTemporaryDir folder_{QDir::tempPath() + QStringLiteral("/tabrix-pivot-XXXXXX")};
  QString path_;
};
