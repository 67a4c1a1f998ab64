#include "batch/batch.h"

#include "batch/folder_walk.h"
#include "batch/matcher.h"
#include "batch/vbscript_regex.h"
#include "core/error.h"
#include "core/path_utils.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

std::atomic<bool> SkipLockFiles{false};

std::uint64_t TkvNextItemSerial() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

namespace {
using Guard = TkvRecursiveLock;
}

TkvBatch::TkvBatch(const TkvOptionSource& options) : options_(options) {}

TkvBatch::~TkvBatch() {
  Terminate();
  WaitForSearch();
}

std::uint64_t TkvBatch::Changes() const {
  TkvMutexLock lock(changeLock_);
  return changes_;
}

void TkvBatch::WaitForChange(std::uint64_t seen, bool bounded) const {
  TkvMutexLock lock(changeLock_);
  while (changes_ == seen) {
    if (!bounded) {
      changed_.Wait(changeLock_);
    } else if (!changed_.WaitFor(changeLock_, kGiveUpCheck)) {
      return;
    }
  }
}

void TkvBatch::NotifyChange() {
  {
    TkvMutexLock lock(changeLock_);
    ++changes_;
  }
  changed_.NotifyAll();
}

void TkvBatch::MarkSearchDone() {
  searchDone_.store(true);
  NotifyChange();
}

QString TkvBatch::NormalizePath(const QString& text) {
  if (!text.startsWith(QLatin1String("file:"))) return text;
  const QString stripped = Regex::Replace(QStringLiteral("^file:/*"), text, QString());
  const qsizetype slashes = text.size() - 5 - stripped.size();
  QString path;
  if (slashes == 2) {
    // "file://host/path": the local host (empty or "localhost") is dropped;
    // another host stays as "//host/path", which no local folder answers.
    const qsizetype cut = stripped.indexOf(u'/');
    const QString host = cut < 0 ? stripped : stripped.left(cut);
    const QString rest = cut < 0 ? QString() : stripped.mid(cut);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
      path = rest.isEmpty() ? QStringLiteral("/") : rest;
    else
      path = QStringLiteral("//") + stripped;
  } else {
    path = u'/' + stripped;
  }
  return QUrl::fromPercentEncoding(path.toUtf8());
}

void TkvBatch::StartSearch(const QString& source, const QString& target, bool includeSubfolders) {
  const QString src = NormalizePath(source);
  const QString tgt = NormalizePath(target);
  if (tgt.isEmpty()) throw TkvError(QStringLiteral("Unable to create directory"), 3);
  if (TkvIsAddress(tgt))
    throw TkvError(
        QStringLiteral("Unable to create directory: the target %1 is a web address, not a folder")
            .arg(tgt),
        3);
  ReadShard();
  if (!QFileInfo(tgt).isDir()) QDir().mkpath(tgt);  // failure is reported per item later

  const qsizetype cut = src.lastIndexOf(u'/');
  Guard g(lock_);
  target_ = tgt;
  sourceFolder_ = src.left(cut + 1);
  mask_ = src.mid(cut + 1);
  maskRegex_ = WildcardToRegex(mask_);
  includeSubfolders_ = includeSubfolders;
  if (!searchDone_.load() && !searchStarted_) {
    searchStarted_ = true;
    thread_ = std::thread(&TkvBatch::SearchBody, this);
  }
}

void TkvBatch::SearchBody() {
  try {
    TkvFolderWalk::Options options;
    QString folder;
    {
      Guard g(lock_);
      extraPattern_ = options_.RegExt();
      folder = sourceFolder_;
      options.Mask = mask_;
      options.IncludeSubfolders = includeSubfolders_;
      options.SkipHidden = options_.SkipHidden();
    }
    options.SkipLockFiles = SkipLockFiles.load();
    TkvFolderWalk walk(options, stop_, [this, &folder](const QString& path) {
      AddItem(path, path.mid(folder.size()));
    });
    walk.Run(folder);
  } catch (const std::exception& e) {
    Guard g(lock_);
    searchError_ = QString::fromUtf8(e.what());
  } catch (...) {
    Guard g(lock_);
    searchError_ = QStringLiteral("Unknown error during the search");
  }
  MarkSearchDone();
}

void TkvBatch::WaitForSearch() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

QString TkvBatch::SearchError() const {
  Guard g(lock_);
  return searchError_;
}

bool TkvBatch::Accepts(const QString& path) const {
  const TkvMatchBase* matcher = Matcher;
  if (!matcher) return true;
  QString maskRegex, extra;
  {
    Guard g(lock_);
    maskRegex = maskRegex_.isEmpty() ? WildcardToRegex(mask_) : maskRegex_;
    extra = extraPattern_;
  }
  if (!matcher->Matches(path, maskRegex)) return false;
  return extra.isEmpty() || matcher->Matches(path, extra);
}

void TkvBatch::ReadShard() {
  TkvShard shard;
  const QString error = TkvParseShard(options_.Shard(), shard);
  if (!error.isEmpty()) throw TkvError(error);
  Guard g(lock_);
  shard_ = shard;
}

void TkvBatch::AddItem(const QString& path, const QString& relativePath) {
  {
    Guard g(lock_);
    if (!shard_.Holds(relativePath)) return;
  }
  if (!Accepts(path)) return;
  if (Admit && !Admit(path)) return;
  TkvNode* node = nullptr;
  {
    Guard g(lock_);
    auto item = std::make_unique<TkvNode>();
    item->FileName = path;
    item->Index = static_cast<int>(items_.size());
    node = item.get();
    items_.push_back(std::move(item));
  }
  NotifyChange();
  // Let a waiting worker take the item at once; nobody waits, nothing to gain.
  if (waitingWorkers_.load(std::memory_order_relaxed) > 0) std::this_thread::yield();
  if (OnItemAdded) OnItemAdded(this, node);
}

void TkvBatch::AddFile(const QString& fileName) {
  ReadShard();
  AddItem(fileName, TkvNamePart(fileName));
  // While a search runs, its end (not this file) ends the list: otherwise
  // workers could give up on files the search has yet to list.
  bool searching;
  {
    Guard g(lock_);
    searching = searchStarted_;
  }
  if (!searching) MarkSearchDone();
}

TkvNode* TkvBatch::NextItem(const std::atomic<bool>* giveUp) {
  for (;;) {
    // Noted before looking: a change after this point ends the wait below.
    const std::uint64_t seen = Changes();
    const bool searchWasDone = searchDone_.load();
    {
      Guard g(lock_);
      if (nextIndex_ < static_cast<int>(items_.size())) return items_[nextIndex_++].get();
    }
    if (searchWasDone) {
      exhausted_.store(true);
      return nullptr;
    }
    if (giveUp && giveUp->load()) return nullptr;
    waitingWorkers_.fetch_add(1, std::memory_order_relaxed);
    WaitForChange(seen, giveUp != nullptr);
    waitingWorkers_.fetch_sub(1, std::memory_order_relaxed);
  }
}

int TkvBatch::ItemCount() const {
  Guard g(lock_);
  return static_cast<int>(items_.size());
}

void TkvBatch::AddSuccess() {
  Guard g(lock_);
  ++successCount_;
}

void TkvBatch::AddFailure(const QString& message) {
  Guard g(lock_);
  ++failureCount_;
  if (!failures_.contains(message, Qt::CaseInsensitive)) failures_.append(message);
}

int TkvBatch::SuccessCount() const {
  Guard g(lock_);
  return successCount_;
}

int TkvBatch::FailureCount() const {
  Guard g(lock_);
  return failureCount_;
}

QStringList TkvBatch::Failures() const {
  Guard g(lock_);
  return failures_;
}

void TkvBatch::SetItemOutcome(TkvNode* item, int status, const QString& result) {
  Guard g(lock_);
  item->Status = status;
  item->Result = result;
}

void TkvBatch::SetItemResult(TkvNode* item, const QString& result) {
  Guard g(lock_);
  item->Result = result;
}

TkvNode TkvBatch::ItemSnapshot(int index) const {
  Guard g(lock_);
  const TkvNode* item = Item(index);
  return item ? *item : TkvNode{};
}

const TkvBatch::ItemList& TkvBatch::LockItems() const {
  lock_.lock();
  return items_;
}

void TkvBatch::UnlockItems() const { lock_.unlock(); }

TkvNode* TkvBatch::Item(int index) const {
  Guard g(lock_);
  if (index < 0 || index >= static_cast<int>(items_.size())) return nullptr;
  return items_[index].get();
}

QString TkvBatch::SourceFolder() const {
  Guard g(lock_);
  return sourceFolder_;
}

QString TkvBatch::Mask() const {
  Guard g(lock_);
  return mask_;
}

bool TkvBatch::IncludeSubfolders() const {
  Guard g(lock_);
  return includeSubfolders_;
}

QString TkvBatch::Target() const {
  Guard g(lock_);
  return target_;
}

void TkvBatch::SetTarget(const QString& target) {
  Guard g(lock_);
  target_ = target;
}

QString TkvBatch::ExtraPattern() const {
  Guard g(lock_);
  return extraPattern_;
}
