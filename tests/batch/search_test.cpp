// The search on real folders: order, filters, links, sources, stop and errors.
#include "batch/batch.h"
#include "batch/folder_walk.h"
#include "batch/matcher.h"
#include "core/error.h"
#include "core/path_utils.h"
#include "core/shard.h"
#include "support/scoped_temp_dir.h"
#include "support/test_options.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

using tabrix::test::ScopedTempDir;
using tabrix::test::TestOptions;

namespace {

class SearchTest : public ::testing::Test {
 protected:
  SearchTest() { SkipLockFiles = true; }
  ~SearchTest() override { SkipLockFiles = false; }

  QString Touch(const QString& relative) { return tmp_.write(relative, "x"); }
  QString Root() const { return tmp_.path() + "/src/"; }

  // Runs a whole search and returns the items' file names in index order.
  QStringList Search(const QString& source, bool subfolders, TkvBatch* batch = nullptr) {
    TkvBatch local(options_);
    TkvBatch& b = batch ? *batch : local;
    b.StartSearch(source, tmp_.file("out"), subfolders);
    b.WaitForSearch();
    EXPECT_TRUE(b.SearchDone());
    QStringList names;
    TkvItemsLock lock(b);
    for (const auto& item : lock.Items()) {
      EXPECT_EQ(item->Index, names.size());
      names << item->FileName;
    }
    return names;
  }

  ScopedTempDir tmp_;
  TkvMatcherScope matcher_;
  TestOptions options_;
};

}  // namespace

TEST_F(SearchTest, DepthFirstInNameOrderWithTheProductMask) {
  // Created out of order: the listing is in name order, numbers by value,
  // letter case ignored; a folder's own files before its sub-folders'.
  const char* expected[] = {"src/a.xls",         "src/B.XLS",          "src/book_2.xlsx",
                            "src/book_10.xlsx",  "src/s1/d.xlsm",      "src/s1/g.xls",
                            "src/s1/deep/e.xls", "src/s1/deep/f.xlsx", "src/s2/h.xlsx",
                            "src/s10/i.xls"};
  for (const char* f :
       {"src/s10/i.xls", "src/book_10.xlsx", "src/s1/g.xls", "src/B.XLS", "src/s2/h.xlsx",
        "src/s1/deep/f.xlsx", "src/a.xls", "src/s1/deep/e.xls", "src/book_2.xlsx", "src/s1/d.xlsm"})
    Touch(f);
  for (const char* f : {"src/a.xls.bak", "src/notes.txt", "src/s1/x.xlsxx", "src/s2/y.csv"})
    Touch(f);
  QDir().mkpath(Root() + "folder.xlsx");
  QStringList all;
  for (const char* f : expected) all << tmp_.file(f);

  EXPECT_EQ(Search(Root() + "*.xls?", true), all);
  EXPECT_EQ(Search(Root() + "*.xls?", false), all.mid(0, 4));
  // A folder as the source means its workbooks, with or without the "/".
  EXPECT_EQ(Search(Root(), true), all);
  EXPECT_EQ(Search(tmp_.path() + "/src", false), all.mid(0, 4));
  EXPECT_EQ(Search("file://" + tmp_.path() + "/src/s2", false), all.mid(8, 1));
  EXPECT_TRUE(Search(tmp_.path() + "/missing/*.xls?", true).isEmpty());  // nothing, no error
  EXPECT_TRUE(Search(tmp_.path() + "/missing", true).isEmpty());
}

TEST(NaturalOrder, NumbersByValueCaseIgnoredAndTotal) {
  QStringList names = {"book_10", "Book_2", "book_2", "book_02", "book_1a", "book_1", "Book",
                       "b",       "book_",  "a10b2",  "a10b10",  "a9",      "x",      "X1"};
  std::sort(names.begin(), names.end(), TkvNaturalLess);
  EXPECT_EQ(names, QStringList({"a9", "a10b2", "a10b10", "b", "Book", "book_", "book_1", "book_1a",
                                "Book_2", "book_02", "book_2", "book_10", "x", "X1"}));
  for (const QString& n : names) EXPECT_FALSE(TkvNaturalLess(n, n)) << n.toStdString();
}

TEST_F(SearchTest, LockFilesHiddenEntriesAndSpecialFiles) {
  const QString book = Touch("src/Book1.xlsx");
  Touch("src/~$Book1.xlsx");
  const QString hidden = Touch("src/.hidden.xlsx");
  Touch("src/.cache/in-hidden-folder.xlsx");
  ASSERT_EQ(mkfifo(QFile::encodeName(Root() + "pipe.xlsx").constData(), 0600), 0);

  QStringList found = Search(Root() + "*.xls?", true);
  found.sort();
  EXPECT_EQ(found, QStringList({hidden, book}));

  options_.SetOptionValue("SkipHidden", "1");
  EXPECT_EQ(Search(Root() + "*.xls?", true), QStringList({book}));

  SkipLockFiles = false;
  EXPECT_EQ(Search(Root() + "*.xls?", true).size(), 2);
}

TEST_F(SearchTest, LinkedFoldersAreEnteredOnceAndLoopsEnd) {
  const QString a = Touch("src/sub/a.xlsx");
  Touch("other/b.xlsx");
  ASSERT_EQ(symlink("..", QFile::encodeName(Root() + "sub/up").constData()), 0);
  ASSERT_EQ(symlink(QFile::encodeName(tmp_.path() + "/other").constData(),
                    QFile::encodeName(Root() + "linked").constData()),
            0);
  ASSERT_EQ(symlink("sub/a.xlsx", QFile::encodeName(Root() + "link.xlsx").constData()), 0);
  ASSERT_EQ(symlink("missing.xlsx", QFile::encodeName(Root() + "dangling.xlsx").constData()), 0);

  QStringList found = Search(Root() + "*.xlsx", true);
  found.sort();
  EXPECT_EQ(found, QStringList({Root() + "link.xlsx", Root() + "linked/b.xlsx", a}));
}

TEST_F(SearchTest, FileAddressesAndTargets) {
  EXPECT_EQ(TkvBatch::NormalizePath("file:///home/a/x.xls"), "/home/a/x.xls");
  EXPECT_EQ(TkvBatch::NormalizePath("file://localhost/home/a%20b/x%23.xls"), "/home/a b/x#.xls");
  EXPECT_EQ(TkvBatch::NormalizePath("file:/home/%C3%A4.xls"), QString::fromUtf8("/home/ä.xls"));
  EXPECT_EQ(TkvBatch::NormalizePath("file://server/share/a.xls"), "//server/share/a.xls");
  EXPECT_EQ(TkvBatch::NormalizePath("FILE:///home/a%20b"), "FILE:///home/a%20b");
  EXPECT_EQ(TkvBatch::NormalizePath("/home/a%20b"), "/home/a%20b");

  Touch("my docs/a.xlsx");
  const QStringList plain = Search(tmp_.path() + "/my docs/*.xls?", true);
  ASSERT_EQ(plain.size(), 1);
  EXPECT_EQ(Search("file://" + tmp_.path() + "/my%20docs/*.xls?", true), plain);

  TkvBatch batch(options_);
  batch.StartSearch(tmp_.path() + "/my docs/*.xls?", "file://" + tmp_.path() + "/new%20out/x",
                    false);
  EXPECT_TRUE(QFileInfo(tmp_.path() + "/new out/x").isDir());
  EXPECT_EQ(batch.Target(), tmp_.path() + "/new out/x");
  EXPECT_EQ(batch.SourceFolder(), tmp_.path() + "/my docs/");
  EXPECT_EQ(batch.Mask(), "*.xls?");

  TkvBatch noTarget(options_);
  try {
    noTarget.StartSearch(tmp_.path() + "/my docs/*.xls?", "", true);
    ADD_FAILURE() << "empty target accepted";
  } catch (const TkvError& e) {
    EXPECT_EQ(e.Message(), "Unable to create directory");
    EXPECT_EQ(e.Code(), 3);
  }
  EXPECT_FALSE(noTarget.SearchDone());
  EXPECT_EQ(noTarget.ItemCount(), 0);

  // A web address is no folder: refused the same way, and nothing is made
  // from its text (relative to the working folder).
  const QString cwd = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(tmp_.path()));
  for (const QString& address :
       {QString("http://host:8080/out/"), QString("FILE:///out"), QString("sftp://h/o")}) {
    TkvBatch web(options_);
    try {
      web.StartSearch(tmp_.path() + "/my docs/*.xls?", address, true);
      ADD_FAILURE() << "web-address target accepted: " << address.toStdString();
    } catch (const TkvError& e) {
      EXPECT_TRUE(e.Message().startsWith("Unable to create directory: the target " + address))
          << e.Message().toStdString();
      EXPECT_EQ(e.Code(), 3);
    }
    EXPECT_FALSE(web.SearchDone());
  }
  QDir::setCurrent(cwd);
  EXPECT_EQ(QDir(tmp_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).filter(":"),
            QStringList());
  EXPECT_FALSE(TkvIsAddress("/home/a:b//c"));
  EXPECT_FALSE(TkvIsAddress("out:/x"));
  EXPECT_TRUE(TkvIsAddress("C2://x"));
}

TEST_F(SearchTest, ExtraExpressionFiltersFullPathAndAcceptsAllWhenInvalid) {
  Touch("src/Report-1.xlsx");
  Touch("src/summary.xlsx");
  Touch("src/REPORTS/x.xlsx");
  options_.SetOptionValue("RegExt", "report");
  EXPECT_EQ(Search(Root() + "*.xlsx", true).size(), 2);
  options_.SetOptionValue("RegExt", "(report");
  EXPECT_EQ(Search(Root() + "*.xlsx", true).size(), 3);
}

TEST_F(SearchTest, StopRequestAndHandlerErrorsEndTheWalkWithItemsKept) {
  for (int i = 0; i < 10; ++i) Touch(QString("src/f%1.xlsx").arg(i));
  Touch("src/sub/g.xlsx");

  TkvBatch stopped(options_);
  stopped.OnItemAdded = [](TkvBatch* b, TkvNode* item) {
    if (item->Index == 2) b->Terminate();
  };
  EXPECT_EQ(Search(Root() + "*.xlsx", true, &stopped).size(), 3);

  TkvBatch broken(options_);
  broken.OnItemAdded = [](TkvBatch*, TkvNode* item) {
    if (item->Index == 4) throw TkvError("handler failed");
  };
  EXPECT_EQ(Search(Root() + "*.xlsx", true, &broken).size(), 5);
  EXPECT_EQ(broken.SearchError(), "handler failed");
  EXPECT_EQ(broken.NextItem()->Index, 0);
}

TEST_F(SearchTest, AddFileCountersAndFailures) {
  TkvBatch batch(options_);
  batch.AddFile("http://example.invalid/book.xlsx");
  EXPECT_TRUE(batch.SearchDone());
  EXPECT_TRUE(batch.SourceFolder().isEmpty());
  TkvNode* item = batch.NextItem();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->FileName, "http://example.invalid/book.xlsx");
  EXPECT_FALSE(batch.Exhausted());
  EXPECT_EQ(batch.NextItem(), nullptr);
  EXPECT_TRUE(batch.Exhausted());

  batch.SetItemOutcome(item, TkvNode::Failed, "Error");
  EXPECT_EQ(batch.ItemSnapshot(0).Result, "Error");
  EXPECT_EQ(batch.ItemSnapshot(0).Status, TkvNode::Failed);
  batch.AddFailure("Error");
  batch.AddFailure("ERROR");
  batch.AddFailure("Disk full");
  batch.AddSuccess();
  EXPECT_EQ(batch.FailureCount(), 3);
  EXPECT_EQ(batch.SuccessCount(), 1);
  EXPECT_EQ(batch.Failures(), QStringList({"Error", "Disk full"}));

  // The lock is re-entrant: a holder may call any operation.
  TkvItemsLock outer(batch);
  TkvItemsLock inner(batch);
  EXPECT_EQ(batch.ItemCount(), 1);
}

TEST_F(SearchTest, ShardsPartitionTheTreeExactlyWhateverTheRoot) {
  // The same tree under two roots, created in opposite orders: the shards
  // depend on the paths below the source folder only.
  QStringList relative;
  for (int folder = 0; folder < 6; ++folder)
    for (int file = 0; file < 7; ++file)
      relative << QString("%1book %2.xlsx")
                      .arg(folder ? QString("dir %1/sub/").arg(folder) : QString())
                      .arg(file);
  relative << QString::fromUtf8("Über/Fläche.xlsx");
  for (const QString& r : relative) Touch("src/" + r);
  for (auto it = relative.crbegin(); it != relative.crend(); ++it) Touch("other/" + *it);
  Touch("src/dir 1/not-a-book.txt");

  const auto relativeNames = [](const QStringList& found, const QString& root) {
    QStringList names;
    for (const QString& f : found) names << f.mid(root.size());
    names.sort();
    return names;
  };
  QStringList all = relative;
  all.sort();
  ASSERT_EQ(relativeNames(Search(Root() + "*.xlsx", true), Root()), all);

  for (const int count : {1, 3, 4}) {
    QStringList seen;
    for (int index = 0; index < count; ++index) {
      options_.SetOptionValue("Shard", QString("%1/%2").arg(index).arg(count));
      TkvBatch batch(options_);
      const QStringList shard = relativeNames(Search(Root() + "*.xlsx", true, &batch), Root());
      EXPECT_EQ(batch.ItemCount(), shard.size());
      EXPECT_FALSE(shard.isEmpty()) << index << "/" << count;
      for (const QString& name : shard)
        EXPECT_EQ(TkvShardHash(name.toUtf8()) % count, static_cast<unsigned>(index))
            << name.toStdString();
      const QString otherRoot = tmp_.path() + "/other/";
      EXPECT_EQ(relativeNames(Search(otherRoot + "*.xlsx", true), otherRoot), shard);
      seen << shard;
    }
    seen.sort();
    EXPECT_EQ(seen, all) << "shards of " << count << " overlap or leave items out";
  }
}

TEST_F(SearchTest, BadShardStopsTheSearchAndAddedFilesShardByName) {
  Touch("src/a.xlsx");
  options_.SetOptionValue("Shard", "4/4");
  TkvBatch bad(options_);
  try {
    bad.StartSearch(Root() + "*.xlsx", tmp_.file("new-target"), true);
    FAIL() << "a bad shard must stop the search";
  } catch (const TkvError& e) {
    EXPECT_TRUE(e.Message().contains("\"4/4\"")) << e.Message().toStdString();
  }
  EXPECT_FALSE(bad.SearchDone());
  EXPECT_EQ(bad.ItemCount(), 0);
  EXPECT_FALSE(QFileInfo::exists(tmp_.file("new-target")));
  EXPECT_THROW(bad.AddFile(Root() + "a.xlsx"), TkvError);
  EXPECT_EQ(bad.ItemCount(), 0);

  // A file added by itself has no source folder: its name decides.
  const QStringList files = {"/one/x/report.xlsx", "/two/book.xls",
                             "http://example.invalid/data/sheet.xlsm"};
  for (int index = 0; index < 2; ++index) {
    options_.SetOptionValue("Shard", QString("%1/2").arg(index));
    TkvBatch batch(options_);
    for (const QString& f : files) batch.AddFile(f);
    EXPECT_TRUE(batch.SearchDone());
    QStringList expected;
    for (const QString& f : files)
      if (TkvShardHash(f.mid(f.lastIndexOf('/') + 1).toUtf8()) % 2 == static_cast<unsigned>(index))
        expected << f;
    QStringList added;
    for (int i = 0; i < batch.ItemCount(); ++i) added << batch.ItemSnapshot(i).FileName;
    EXPECT_EQ(added, expected);
  }
}

TEST_F(SearchTest, RealWorldCorpusIsListed) {
  const QString corpus = tabrix::test::realworldCorpusDir();
  if (corpus.isEmpty()) GTEST_SKIP() << "real-world corpus not present";
  const QStringList found = Search(corpus + "/*.xls?", true);
  EXPECT_FALSE(found.isEmpty());
  for (const QString& f : found) EXPECT_TRUE(QFileInfo(f).isFile()) << f.toStdString();
}
