// Search speed next to find(1) on the same generated tree.
//   batch_search_bench [folders=1000] [files-per-folder=100]
// Builds the tree in a temporary folder, times the batch's search (mask
// "*.xls?", sub-folders, the process-wide matcher installed) and
// `find DIR -iname '*.xls?'`, best of three runs each, and prints both.

#include "batch/batch.h"
#include "batch/matcher.h"
#include "support/test_options.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

void BuildTree(const QString& root, int folders, int perFolder) {
  for (int d = 0; d < folders; ++d) {
    const QString dir = QString("%1/g%2/f%3/").arg(root).arg(d % 10).arg(d);
    QDir().mkpath(dir);
    for (int f = 0; f < perFolder; ++f) {
      const char* ext = f % 10 < 7 ? ".xlsx" : (f % 10 == 7 ? ".xlsm" : ".txt");
      QFile file(dir + QString("book%1").arg(f) + ext);
      file.open(QIODevice::WriteOnly);
    }
  }
}

double TimeSearch(const QString& root, int* found) {
  QElapsedTimer t;
  t.start();
  const tabrix::test::TestOptions options;
  TkvBatch batch(options);
  batch.StartSearch(root + "/*.xls?", root + "/out", true);
  batch.WaitForSearch();
  *found = batch.ItemCount();
  return t.nsecsElapsed() / 1e9;
}

double TimeFind(const QString& root, int* found) {
  QElapsedTimer t;
  t.start();
  QProcess find;
  find.start("find", {root, "-iname", "*.xls?"});
  find.waitForFinished(-1);
  const QByteArray out = find.readAllStandardOutput();
  const double s = t.nsecsElapsed() / 1e9;
  *found = static_cast<int>(out.count('\n'));
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int folders = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
  const int perFolder = argc > 2 ? std::max(1, atoi(argv[2])) : 100;
  QTemporaryDir tmp;
  if (!tmp.isValid()) return 1;
  const QString root = tmp.path() + "/tree";
  std::printf("building %d files in %d folders...\n", folders * perFolder, folders);
  BuildTree(root, folders, perFolder);

  TkvMatcherScope matcher;
  SkipLockFiles = true;
  int searchFound = 0, findFound = 0;
  double searchBest = 1e9, findBest = 1e9;
  TimeFind(root, &findFound);  // warm the directory cache
  for (int i = 0; i < 3; ++i) {
    searchBest = std::min(searchBest, TimeSearch(root, &searchFound));
    findBest = std::min(findBest, TimeFind(root, &findFound));
  }
  const double entries = folders * perFolder;
  std::printf("search: %d items in %.3f s, %.0f files/s\n", searchFound, searchBest,
              entries / searchBest);
  std::printf("find:   %d paths in %.3f s, %.0f files/s\n", findFound, findBest,
              entries / findBest);
  std::printf("search time / find time = %.2f\n", searchBest / findBest);
  return searchFound == findFound ? 0 : 2;
}
