#include "core/partial_file.h"
#include "support/scoped_temp_dir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using tabrix::test::readFile;
using tabrix::test::ScopedTempDir;

namespace {

QStringList Entries(const ScopedTempDir& dir) {
  return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

TEST(PartialFile, TheFinalNameAppearsOnlyWhenCommittedAndNothingElseStays) {
  ScopedTempDir dir;
  const QString target = dir.file(QStringLiteral("book.pdf"));
  {
    TkvPartialFile part(target);
    EXPECT_EQ(QFileInfo(part.Path()).path(), dir.path());
    EXPECT_NE(part.Path(), target);
    dir.write(QFileInfo(part.Path()).fileName(), "%PDF-1.7 whole");
    EXPECT_FALSE(QFile::exists(target));  // mid-write: nothing under the final name
    EXPECT_TRUE(part.Commit());
  }
  EXPECT_EQ(readFile(target), QByteArray("%PDF-1.7 whole"));
  EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("book.pdf")});
}

TEST(PartialFile, AnUncommittedOrEmptyWriteLeavesNoFileAtAll) {
  ScopedTempDir dir;
  const QString target = dir.file(QStringLiteral("book.pdf"));
  {
    TkvPartialFile part(target);
    dir.write(QFileInfo(part.Path()).fileName(), "%PDF-1.7 cut");
  }  // the writer failed before committing
  {
    TkvPartialFile part(target);
    dir.write(QFileInfo(part.Path()).fileName(), QByteArray());
    EXPECT_FALSE(part.Commit());  // an empty file is no output
  }
  {
    TkvPartialFile part(target);
    EXPECT_FALSE(part.Commit());  // nothing written
  }
  EXPECT_TRUE(Entries(dir).isEmpty());
}

TEST(PartialFile, TwoWritersOfOneTargetNeverShareATemporaryName) {
  ScopedTempDir dir;
  const QString target = dir.file(QStringLiteral("book.pdf"));
  TkvPartialFile a(target), b(target);
  EXPECT_NE(a.Path(), b.Path());
}

}  // namespace
