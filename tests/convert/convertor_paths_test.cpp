// Target paths, the overwrite rule and what happens to the source, on real
// files in a temporary folder.

#include "convert/convertor.h"
#include "convert/workbook_kind.h"
#include "core/partial_file.h"
#include "support/scoped_temp_dir.h"
#include "support/test_options.h"
#include "support/workbooks.h"
#include "support/zip_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using tabrix::test::readFile;
using tabrix::test::ScopedTempDir;
using tabrix::test::TestOptions;

namespace {

struct Times {
  timespec atime, mtime;
};
Times TimesOf(const QString& path) {
  struct stat st {};
  EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
  return {st.st_atim, st.st_mtim};
}
void SetTimes(const QString& path, time_t atime, time_t mtime) {
  const timespec t[2] = {{atime, 0}, {mtime, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), t, 0), 0);
}

class ConvertorPaths : public ::testing::Test {
 protected:
  ConvertorPaths() {
    in_ = tmp_.file(QStringLiteral("in")) + u'/';
    out_ = tmp_.file(QStringLiteral("out")) + u'/';
  }

  void SetOptions(const QString& text) { options_.SetOptionsText(text); }

  // Searches `in` (sub-folders included) and returns the batch.
  std::unique_ptr<TkvBatch> Search() {
    auto batch = std::make_unique<TkvBatch>(options_);
    batch->StartSearch(in_ + QStringLiteral("*.xls?"), out_, true);
    batch->WaitForSearch();
    return batch;
  }

  TkvNode* Find(TkvBatch& batch, const QString& name) {
    TkvItemsLock lock(batch);
    for (const auto& item : lock.Items())
      if (item->FileName.endsWith(name)) return item.get();
    return nullptr;
  }

  ScopedTempDir tmp_;
  TestOptions options_;
  QString in_;
  QString out_;
};

TEST_F(ConvertorPaths, SubfoldersKeptOrFlattenedAndColonsReplaced) {
  tmp_.write(QStringLiteral("in/a/b/book.xlsx"), "x");
  tmp_.write(QStringLiteral("in/c:d/q:r.xls"), "x");
  auto batch = Search();
  TkvConvertor convertor(batch.get(), options_, 1, {});

  TkvNode* book = Find(*batch, QStringLiteral("book.xlsx"));
  TkvNode* colon = Find(*batch, QStringLiteral("q:r.xls"));
  ASSERT_TRUE(book && colon);

  EXPECT_EQ(convertor.MakeTargetPath(batch.get(), book), out_ + QStringLiteral("a/b/book.pdf"));
  EXPECT_TRUE(QFileInfo(out_ + QStringLiteral("a/b")).isDir())
      << "missing target folder is created";
  EXPECT_EQ(convertor.MakeTargetPath(batch.get(), colon), out_ + QStringLiteral("c_d/q_r.pdf"));

  SetOptions(QStringLiteral("KeepTargetSubdirs=False"));
  EXPECT_EQ(convertor.MakeTargetPath(batch.get(), book), out_ + QStringLiteral("book.pdf"));
  EXPECT_EQ(convertor.MakeTargetPath(batch.get(), colon), out_ + QStringLiteral("q_r.pdf"));
  EXPECT_EQ(batch->FailureCount(), 0);
}

TEST_F(ConvertorPaths, AddressItemIsFlattenedIntoTheTargetFolder) {
  TkvBatch batch(options_);
  batch.AddFile(QStringLiteral("http://server/dir/book.xlsx"));
  batch.SetTarget(tmp_.file(QStringLiteral("out")));  // no trailing delimiter
  TkvConvertor convertor(&batch, options_, 1, {});
  EXPECT_EQ(convertor.MakeTargetPath(&batch, batch.Item(0)),
            out_ + QStringLiteral("__server_dir_book.pdf"));
}

TEST_F(ConvertorPaths, ExistingTargetFollowsOverwriteMode) {
  tmp_.write(QStringLiteral("in/sub/book.xls"), "x");
  tmp_.write(QStringLiteral("out/sub/book.pdf"), "old");
  auto batch = Search();
  TkvConvertor convertor(batch.get(), options_, 1, {});
  TkvNode* item = Find(*batch, QStringLiteral("book.xls"));
  ASSERT_TRUE(item);
  const QString target = out_ + QStringLiteral("sub/book.pdf");

  // Further files of the item (one PDF per sheet) follow the same rule.
  const QString free = out_ + QStringLiteral("sub/book-2.pdf");
  for (const char* overwrite : {"", "maybe", "True"}) {
    SetOptions(QStringLiteral("IsOverwrite=") + QLatin1String(overwrite));
    EXPECT_EQ(convertor.MakeTargetPath(batch.get(), item), target) << overwrite;
    EXPECT_EQ(convertor.FurtherOutputPath(target), target) << overwrite;
  }
  for (const char* other : {"False", "0"}) {
    SetOptions(QStringLiteral("IsOverwrite=") + QLatin1String(other));
    EXPECT_EQ(convertor.MakeTargetPath(batch.get(), item),
              out_ + QStringLiteral("sub/-tabrix-book.pdf"));
    EXPECT_EQ(convertor.FurtherOutputPath(target), out_ + QStringLiteral("sub/-tabrix-book.pdf"));
    EXPECT_EQ(convertor.FurtherOutputPath(free), free);
  }
  // A second run's alternative never replaces the first run's.
  tmp_.write(QStringLiteral("out/sub/-tabrix-book.pdf"), "renamed before");
  tmp_.write(QStringLiteral("out/sub/-tabrix-2-book.pdf"), "renamed twice");
  EXPECT_EQ(convertor.MakeTargetPath(batch.get(), item),
            out_ + QStringLiteral("sub/-tabrix-3-book.pdf"));
  EXPECT_EQ(batch->ItemSnapshot(0).Status, TkvNode::Waiting);

  SetOptions(QStringLiteral("IsOverwrite=SKIP"));
  EXPECT_EQ(convertor.FurtherOutputPath(target), QString());
  EXPECT_EQ(convertor.FurtherOutputPath(free), free);
  EXPECT_EQ(convertor.MakeTargetPath(batch.get(), item), QString());
  const TkvNode skipped = batch->ItemSnapshot(item->Index);
  EXPECT_EQ(skipped.Status, TkvNode::Done);
  EXPECT_TRUE(skipped.Result.isEmpty());
  EXPECT_EQ(batch->SuccessCount() + batch->FailureCount(), 0);
  EXPECT_EQ(readFile(target), "old");
}

TEST_F(ConvertorPaths, ItemsOfOneRunNeverShareATargetName) {
  // Three workbooks that all map to book.pdf with --flat, under each rule.
  tmp_.write(QStringLiteral("in/book.xlsx"), "x");
  tmp_.write(QStringLiteral("in/x/book.xlsm"), "x");
  tmp_.write(QStringLiteral("in/y/book.xls"), "x");
  const QString target = out_ + QStringLiteral("book.pdf");
  const QString other = out_ + QStringLiteral("-tabrix-book.pdf");
  for (const char* rule : {"True", "False", "SKIP"}) {
    SetOptions(QStringLiteral("KeepTargetSubdirs=False\nIsOverwrite=") + QLatin1String(rule));
    auto batch = Search();
    ASSERT_EQ(batch->ItemCount(), 3);
    TkvConvertor convertor(batch.get(), options_, 1, {});
    QStringList paths;
    for (int i = 0; i < 3; ++i) paths.append(convertor.MakeTargetPath(batch.get(), batch->Item(i)));
    EXPECT_EQ(convertor.MakeTargetPath(batch.get(), batch->Item(0)), paths[0])
        << "an item keeps its own name";
    const TkvNode third = batch->ItemSnapshot(2);
    if (QLatin1String(rule) == QLatin1String("SKIP")) {
      // As on one thread, where the first item's file stands there already.
      EXPECT_EQ(paths, (QStringList{target, QString(), QString()}));
      EXPECT_EQ(batch->ItemSnapshot(1).Status, TkvNode::Done);
      EXPECT_EQ(third.Status, TkvNode::Done);
      EXPECT_EQ(batch->FailureCount(), 0);
      continue;
    }
    // Overwriting replaces files of earlier runs, never a PDF of this run:
    // each item gets the name one thread would have given it.
    EXPECT_EQ(paths, (QStringList{target, other, out_ + QStringLiteral("-tabrix-2-book.pdf")}))
        << rule;
    EXPECT_EQ(batch->FailureCount(), 0);
  }

  // A name taken because its file exists: the alternative name is claimed too.
  tmp_.write(QStringLiteral("out/book.pdf"), "old");
  SetOptions(QStringLiteral("KeepTargetSubdirs=False\nIsOverwrite=False"));
  auto batch = Search();
  TkvConvertor convertor(batch.get(), options_, 1, {});
  EXPECT_EQ(convertor.MakeTargetPath(batch.get(), batch->Item(0)), other);
  EXPECT_EQ(convertor.MakeTargetPath(batch.get(), batch->Item(1)),
            out_ + QStringLiteral("-tabrix-2-book.pdf"))
      << "the second must not replace the first one's PDF";
}

TEST_F(ConvertorPaths, TheFirstUseOfAFolderRemovesOnlyTemporaryFilesOfDeadRuns) {
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  const QString deadFile = TkvPartialFile::NameOf(dead, 7);
  const QString liveFile = TkvPartialFile::NameOf(::getpid(), 7);
  // Another machine's, by its tag: removed only when older than a day.
  QString foreign = TkvPartialFile::NameOf(dead, 8);
  foreign.replace(8, 8, QStringLiteral("00000000"));
  QString foreignOld = TkvPartialFile::NameOf(dead, 9);
  foreignOld.replace(8, 8, QStringLiteral("00000000"));
  const QStringList kept = {liveFile, foreign, QStringLiteral(".tabrix-notes.part"),
                            QStringLiteral("lu1234abc.tmp"), QStringLiteral("book.pdf")};
  for (const QString& name : kept + QStringList{deadFile, foreignOld})
    tmp_.write(QStringLiteral("out/") + name, "x");
  SetTimes(out_ + foreignOld, 1000000000, 1000000000);
  tmp_.write(QStringLiteral("out/sub/") + deadFile, "x");  // a folder the run does not write
  tmp_.write(QStringLiteral("in/book.xlsx"), "x");

  auto batch = Search();
  TkvConvertor convertor(batch.get(), options_, 1, {});
  EXPECT_EQ(convertor.MakeTargetPath(batch.get(), batch->Item(0)),
            out_ + QStringLiteral("book.pdf"));
  QStringList left = QDir(out_).entryList(QDir::Files | QDir::Hidden);
  QStringList expected = kept;
  left.sort();
  expected.sort();
  EXPECT_EQ(left, expected);
  EXPECT_TRUE(QFileInfo::exists(out_ + QStringLiteral("sub/") + deadFile));
}

TEST_F(ConvertorPaths, LongNamesWorkAndANameTooLongFailsSayingSo) {
  // 236 bytes: the temporary names of the write do not grow with it.
  const QString longName = QString(232, u'b') + QStringLiteral(".xls");
  const QString cjk = QString(78, QChar(0x8868)) + QStringLiteral(".xls");  // 3 bytes each
  const QString tooLong = QString(253, u'c');  // no extension: ".pdf" is added
  for (const QString& name : {longName, cjk, tooLong})
    tmp_.write(QStringLiteral("in/") + name, "x");
  TkvBatch batch(options_);
  for (const QString& name : {longName, cjk, tooLong}) batch.AddFile(in_ + name);
  batch.SetTarget(out_);
  TkvConvertor convertor(&batch, options_, 1, {});

  const QString target = convertor.MakeTargetPath(&batch, batch.Item(0));
  EXPECT_EQ(target, out_ + QString(232, u'b') + QStringLiteral(".pdf"));
  EXPECT_LT(TkvPartialFile(target).Path().size(), out_.size() + 40);
  EXPECT_EQ(QFileInfo(convertor.MakeTargetPath(&batch, batch.Item(1))).fileName(),
            QString(78, QChar(0x8868)) + QStringLiteral(".pdf"));
  EXPECT_EQ(batch.FailureCount(), 0);

  EXPECT_EQ(convertor.MakeTargetPath(&batch, batch.Item(2)), QString());
  const TkvNode refused = batch.ItemSnapshot(2);
  EXPECT_EQ(refused.Status, TkvNode::Failed);
  EXPECT_TRUE(refused.Result.contains(QStringLiteral("too long: 257 bytes")))
      << refused.Result.toStdString();

  // The alternative name is checked too, and so is one further file.
  const QString stem = QString(248, u'e');
  tmp_.write(QStringLiteral("in/") + stem + QStringLiteral(".xls"), "x");
  tmp_.write(QStringLiteral("out/") + stem + QStringLiteral(".pdf"), "old");
  SetOptions(QStringLiteral("IsOverwrite=False"));
  TkvBatch again(options_);
  again.AddFile(in_ + stem + QStringLiteral(".xls"));
  again.SetTarget(out_);
  EXPECT_EQ(convertor.MakeTargetPath(&again, again.Item(0)), QString());
  EXPECT_TRUE(again.ItemSnapshot(0).Result.contains(QStringLiteral("too long")));
  EXPECT_THROW(convertor.FurtherOutputPath(out_ + QString(260, u'd')), TkvTargetRefused);
}

TEST_F(ConvertorPaths, TargetThatIsTheSourceItselfIsRefused) {
  // A source with the target's extension converted into its own folder, and
  // a target name that is a link to its source.
  tmp_.write(QStringLiteral("in/report.pdf"), "source");
  tmp_.write(QStringLiteral("in/book.xlsx"), "book");
  ASSERT_TRUE(QDir().mkpath(out_));
  ASSERT_TRUE(QFile::link(in_ + QStringLiteral("book.xlsx"), out_ + QStringLiteral("book.pdf")));
  TkvBatch same(options_);
  same.StartSearch(in_ + QStringLiteral("*.pdf"), in_, false);
  same.WaitForSearch();
  TkvBatch linked(options_);
  linked.StartSearch(in_ + QStringLiteral("*.xlsx"), out_, false);
  linked.WaitForSearch();

  for (TkvBatch* batch : {&same, &linked}) {
    ASSERT_EQ(batch->ItemCount(), 1);
    TkvConvertor convertor(batch, options_, 1, {});
    EXPECT_EQ(convertor.MakeTargetPath(batch, batch->Item(0)), QString());
    const TkvNode refused = batch->ItemSnapshot(0);
    EXPECT_EQ(refused.Status, TkvNode::Failed);
    EXPECT_TRUE(refused.Result.contains(QStringLiteral("source file itself")))
        << refused.Result.toStdString();
    EXPECT_EQ(batch->FailureCount(), 1);
  }
  EXPECT_EQ(readFile(in_ + QStringLiteral("report.pdf")), "source");
  EXPECT_EQ(readFile(in_ + QStringLiteral("book.xlsx")), "book");

  // Another name for the target leaves the source alone: no refusal.
  SetOptions(QStringLiteral("IsOverwrite=False"));
  TkvBatch other(options_);
  other.StartSearch(in_ + QStringLiteral("*.pdf"), in_, false);
  other.WaitForSearch();
  TkvConvertor convertor(&other, options_, 1, {});
  EXPECT_EQ(convertor.MakeTargetPath(&other, other.Item(0)),
            in_ + QStringLiteral("-tabrix-report.pdf"));
  EXPECT_EQ(other.FailureCount(), 0);
}

TEST_F(ConvertorPaths, UncreatableFolderIsReportedOnceAndPathStillReturned) {
  tmp_.write(QStringLiteral("in/blocked/book.xls"), "x");
  tmp_.write(QStringLiteral("out/blocked"), "a file where the folder should be");
  auto batch = Search();
  TkvConvertor convertor(batch.get(), options_, 1, {});
  TkvNode* item = Find(*batch, QStringLiteral("book.xls"));
  ASSERT_TRUE(item);

  EXPECT_EQ(convertor.MakeTargetPath(batch.get(), item), out_ + QStringLiteral("blocked/book.pdf"));
  EXPECT_EQ(batch->FailureCount(), 1);
  EXPECT_EQ(batch->Failures(),
            QStringList{QStringLiteral("CreateDir Failed: ") + out_ + QStringLiteral("blocked/")});
}

TEST_F(ConvertorPaths, SourceDisposition) {
  const QString kept = tmp_.write(QStringLiteral("in/kept.xls"), "kept");
  const QString deleted = tmp_.write(QStringLiteral("in/deleted.xls"), "deleted");
  const QString renamed = tmp_.write(QStringLiteral("in/renamed.xls"), "renamed");
  const QString blocked = tmp_.write(QStringLiteral("in/blocked.xls"), "blocked source");
  const QString occupant = tmp_.write(QStringLiteral("in/blocked.xls.done"), "already here");
  const QString both = tmp_.write(QStringLiteral("in/both.xls"), "both");
  const QString target = tmp_.write(QStringLiteral("out/any.pdf"), "pdf");
  SetTimes(kept, 1000000000, 1100000000);
  SetTimes(target, 1500000000, 1600000000);
  EXPECT_FALSE(TkvConvertor::CopyFileTimes(tmp_.file(QStringLiteral("in/missing.xls")), target));
  EXPECT_EQ(TimesOf(target).mtime.tv_sec, 1600000000);

  TkvBatch batch(options_);
  for (const QString& f : {kept, deleted, renamed, blocked, both}) batch.AddFile(f);
  TkvConvertor convertor(&batch, options_, 1, {});

  SetOptions(QStringLiteral("KeepFileTime=True"));
  convertor.DisposeSource(&batch, batch.Item(0), target);
  EXPECT_EQ(TimesOf(target).atime.tv_sec, 1000000000);
  EXPECT_EQ(TimesOf(target).mtime.tv_sec, 1100000000);
  EXPECT_TRUE(QFile::exists(kept));

  SetOptions(QStringLiteral("DeleteSource=True"));
  convertor.DisposeSource(&batch, batch.Item(1), target);
  EXPECT_FALSE(QFile::exists(deleted));

  SetOptions(QStringLiteral("RenameSource=.done"));
  convertor.DisposeSource(&batch, batch.Item(2), target);
  EXPECT_FALSE(QFile::exists(renamed));
  EXPECT_EQ(readFile(renamed + QStringLiteral(".done")), "renamed");

  const QString why = convertor.DisposeSource(&batch, batch.Item(3), target);
  EXPECT_EQ(readFile(occupant), "already here") << "an existing file is never replaced";
  EXPECT_EQ(readFile(blocked), "blocked source");
  EXPECT_TRUE(why.contains(QStringLiteral("could not be renamed to ") + occupant))
      << why.toStdString();

  SetOptions(QStringLiteral("DeleteSource=True\nRenameSource=.done"));
  EXPECT_EQ(convertor.DisposeSource(&batch, batch.Item(4), target), QString());
  EXPECT_FALSE(QFile::exists(both));
  EXPECT_FALSE(QFile::exists(both + QStringLiteral(".done")));
  EXPECT_EQ(readFile(target), "pdf");
}

// What the bytes are decides, not the name: every workbook format passes,
// anything else is named.
TEST_F(ConvertorPaths, FilesThatAreNoWorkbookAreNamed) {
  const QByteArray cfb("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0", 10);
  // A compound file of 512-byte sectors: header, allocation table (sector
  // 0), directory (sector 1) holding the root and one stream `name`.
  auto compound = [](const QString& name) {
    auto le32 = [](quint32 v) {
      return QByteArray(1, char(v & 0xff)) + char(v >> 8 & 0xff) + char(v >> 16 & 0xff) +
             char(v >> 24);
    };
    QByteArray header("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header += QByteArray(0x1E - 8, '\0') + char(9) + QByteArray(0x30 - 0x1F, '\0') + le32(1);
    header += QByteArray(0x4C - 0x34, '\0') + le32(0);
    header += QByteArray(512 - header.size(), '\xFF');
    QByteArray fat = le32(0xFFFFFFFD) + le32(0xFFFFFFFE) + QByteArray(504, '\xFF');
    QByteArray directory;
    for (const auto& [entry, type] : {std::pair{QStringLiteral("Root Entry"), 5}, {name, 2}}) {
      QByteArray utf16;
      for (const QChar c : entry) utf16 += char(c.unicode()) + QByteArray(1, '\0');
      directory += utf16 + QByteArray(64 - utf16.size(), '\0') + char(utf16.size() + 2) + '\0' +
                   char(type) + QByteArray(128 - 0x43, '\0');
    }
    return header + fat + directory + QByteArray(512 - directory.size(), '\0');
  };
  // Packages are written with libzip; an OpenDocument one stores its media type first.
  auto zip = [&](const char* name, const QList<tabrix::test::ZipMember>& members) {
    QDir().mkpath(tmp_.file(QStringLiteral("kinds")));
    const QString path = tmp_.file(QStringLiteral("kinds/") + QLatin1String(name));
    EXPECT_TRUE(tabrix::test::writeZip(path, members));
    return path;
  };
  auto odf = [](const char* kind) {
    return QList<tabrix::test::ZipMember>{
        {QStringLiteral("mimetype"), "application/vnd.oasis.opendocument." + QByteArray(kind)},
        {QStringLiteral("content.xml"), "<office:document-content/>"}};
  };
  auto utf16 = [](const QString& text, bool bigEndian = false) {
    return tabrix::test::utf16Text(text, bigEndian);
  };

  const QByteArray spreadsheetMl("urn:schemas-microsoft-com:office:spreadsheet");
  const QByteArray table("<table><tr><td>Alpha</td><td>42</td></tr></table>\n");
  const QString page = QStringLiteral("<!DOCTYPE html><html><body><p>Hello</p>%1</body></html>");
  const struct {
    const char* name;
    QByteArray bytes;
    const char* kind;  // empty: a workbook
  } cases[] = {
      {"old.xls", cfb, ""},
      {"biff8.xls", compound(QStringLiteral("Workbook")), ""},
      {"report.xls", compound(QStringLiteral("WordDocument")), "a Word document"},
      {"biff5.xls", QByteArray("\x09\x08\x10\x00\x00\x05", 6), ""},
      {"cut-off.xlsx", QByteArray("PK\x03\x04 the rest is missing"), ""},
      {"xml.xls", "<?xml version=\"1.0\"?>\n<ss:Workbook xmlns:ss=\"" + spreadsheetMl + "\">", ""},
      {"table.csv", "a,b\n1,2\n", ""},
      {"semicolons.csv", "a;b\n1;2\n", ""},
      {"empty.xlsx", "", "an empty file"},
      {"README.xlsx", "# Title\n\nSome text.\n", "plain text"},
      {"README.xls", "# Title\n\nSome text, and more.\nThe end.\n", "plain text"},
      // What web applications export as "Excel": opened under a .xls name.
      {"table.txt.xls", "a,b\n1,2\n", ""},
      {"quoted.xls", "Title\nname,note\nA,\"x, y\"\nB,\"two\nlines\"\n", ""},
      {"tabs.xls", "Name\tValue\nCharlie\t44\n", ""},
      {"sylk.xls", "ID;PWXL;N;E\r\nC;Y1;X1;K\"Echo\"\r\nE\r\n", ""},
      {"fragment.xls", table, ""},
      {"meta.xls", "<meta http-equiv=\"Content-Type\" content=\"text/html\">\n" + table, ""},
      {"export.xls", "<!DOCTYPE html><html><body><TABLE><tr><td>1</td></tr></TABLE></body></html>",
       ""},
      {"deep.xls", page.arg(QString(9000, u' ') + QLatin1String(table)).toUtf8(), ""},
      {"utf16.xls", utf16(QStringLiteral("Name\tValue\nFoxtrot\t47\n")), ""},
      {"utf16be.xls", utf16(QStringLiteral("Name,Value\nHotel,49\n"), true), ""},
      {"utf16page.xls", utf16(page.arg(QString(9000, u' ') + QLatin1String(table))), ""},
      {"bom.xls", "\xEF\xBB\xBFName,Value\nJuliett,51\n", ""},
      {"latin1.xls", "Name,Wert\nM\xFCller,53\n", ""},
      {"page.xls", page.arg(QString()).toUtf8(), "an HTML page without a table"},
      {"utf16page2.xls", utf16(page.arg(QString())), "an HTML page without a table"},
      {"utf32.xls", QByteArray("\xFF\xFE\0\0N\0\0\0", 8),
       "text in UTF-32, which the office does not read"},
      {"export.xlsx", table, "an HTML table, which opens as a workbook under a .xls name only"},
      {"export.xlsm", "a,b\n1,2\n",
       "comma-separated text, which opens as a workbook under a .xls name only"},
      {"scan.xls", "%PDF-1.7\n", "a PDF document"},
      {"photo.xls", "\x89PNG\r\n\x1a\n", "a PNG image"},
      {"random.xls", QByteArray("\x01\x02\x03\x04", 4), "data of an unknown kind"},
      {"nul16.xls", QByteArray("\xFF\xFEN\0\x01\0", 6), "data of an unknown kind"},
  };
  for (const auto& c : cases) {
    const QString path = tmp_.write(QStringLiteral("kinds/") + QLatin1String(c.name), c.bytes);
    EXPECT_EQ(TkvNotWorkbookKind(path).toStdString(), c.kind) << c.name;
  }
  const struct {
    QString path;
    const char* kind;
  } packages[] = {
      {zip("new.xlsx", {{"[Content_Types].xml", "<Types/>"}, {"xl/workbook.xml", "<workbook/>"}}),
       ""},
      {zip("backslashes.xlsx", {{"xl\\workbook.xml", "<workbook/>"}}), ""},
      {zip("ods.xls", odf("spreadsheet")), ""},
      {zip("letter.ods", odf("text")), "an OpenDocument text (not a spreadsheet)"},
      {zip("letter.xlsx", {{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", "<w/>"}}),
       "a Word document"},
      {zip("photos.xlsx", {{"a.jpg", "\xFF\xD8\xFF"}}), "a ZIP archive that holds no workbook"},
  };
  for (const auto& p : packages)
    EXPECT_EQ(TkvNotWorkbookKind(p.path).toStdString(), p.kind) << p.path.toStdString();
  EXPECT_EQ(TkvNotWorkbookKind(tmp_.file(QStringLiteral("kinds/missing.xls"))), QString());
  EXPECT_EQ(TkvNotWorkbookKind(QStringLiteral("https://example.com/a.xlsx")), QString());
}

}  // namespace
