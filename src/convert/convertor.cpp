#include "convert/convertor.h"

#include "convert/printer/printer.h"

#include "core/error.h"
#include "core/partial_file.h"
#include "core/path_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::atomic<int> RunningConvertors{0};

// ---------------------------------------------------------------------------
// Chain

// Shared by every converter of one chain.
struct TkvConvertor::ChainState {
  std::atomic<TkvMainThreadHandOver*> handOver{&TkvCoreAppHandOver::Instance()};
  // Set when the owner destroys the chain: OnFinish calls not yet made are
  // dropped, as their receiver may be gone.
  std::atomic<bool> cancelled{false};
  // Owner's thread only: the hand-over was attached by Start.
  bool attached = false;

  // Rounds. `stopped` is set before any converter's stop request, under the
  // lock, so a converter that is handed a new round cannot lose a stop.
  mutable std::mutex roundLock;
  std::condition_variable roundChanged;
  bool rounds = false;
  bool stopped = false;
  int round = 0;
  int waiting = 0;  // converters done with the current round
  TkvBatch* batch = nullptr;
  // Converters whose thread has done its DoTerminate; notified, like a
  // converter that starts waiting for a round, through chainChanged.
  int ended = 0;
  std::condition_variable chainChanged;
};

TkvConvertor::TkvConvertor(TkvBatch* batch, const TkvOptionSource& options, int count,
                           TkvItemEvent itemEvent)
    : TkvWorkBase(batch),
      options_(options),
      threadsCount_(count < 1 ? 1 : count),
      itemEvent_(std::move(itemEvent)),
      chain_(std::make_shared<ChainState>()) {}

TkvConvertor::~TkvConvertor() { Shutdown(); }

void TkvConvertor::Shutdown() {
  chain_->cancelled.store(true);
  Stop();
  WaitChain();
  if (chain_->attached) {
    chain_->attached = false;
    chain_->handOver.load()->Detach();
  }
}

namespace {

QString ProfileConvertorClass(const TkvOptionSource& options) {
  if (!options.Profile().ConvertorClass.isEmpty()) return options.Profile().ConvertorClass;
  return QStringLiteral("TkvTabrix");
}

std::unique_ptr<TkvConvertor> CreateConvertor(const QString& className, TkvBatch* batch, int count,
                                              const TkvItemEvent& itemEvent) {
  std::unique_ptr<TkvWorkBase> worker =
      TkvWorkerClasses::Create(className, batch, batch->Options(), count, itemEvent);
  auto* convertor = dynamic_cast<TkvConvertor*>(worker.get());
  if (!convertor) throw TkvError(QStringLiteral("Not a converter class: %1").arg(className));
  std::unique_ptr<TkvConvertor> result(convertor);
  (void)worker.release();  // the same object, owned by result now
  return result;
}

}  // namespace

std::unique_ptr<TkvConvertor> TkvConvertor::StartConverters(TkvBatch* batch,
                                                            const QString& targetFolder,
                                                            const TkvItemEvent& itemEvent) {
  return StartConvertersOf(ProfileConvertorClass(batch->Options()), batch, targetFolder, itemEvent);
}

std::unique_ptr<TkvConvertor> TkvConvertor::StartConvertersOf(const QString& className,
                                                              TkvBatch* batch,
                                                              const QString& targetFolder,
                                                              const TkvItemEvent& itemEvent) {
  batch->SetTarget(TkvBatch::NormalizePath(targetFolder));
  const int count = batch->Options().ThreadsCount();

  std::unique_ptr<TkvConvertor> head = CreateConvertor(className, batch, count, itemEvent);
  TkvConvertor* tail = head.get();
  for (int remaining = tail->ThreadsCount() - 1; remaining >= 1; --remaining) {
    tail->next_ = CreateConvertor(className, batch, remaining, itemEvent);
    tail = tail->next_.get();
  }
  head->SetChainState(head->chain_);
  return head;
}

void TkvConvertor::SetChainState(const std::shared_ptr<ChainState>& state) {
  for (TkvConvertor* c = this; c; c = c->next_.get()) c->chain_ = state;
}

void TkvConvertor::SetOnFinish(const TkvEvent& onFinish) {
  for (TkvConvertor* c = this; c; c = c->next_.get()) c->onFinish_ = onFinish;
}

void TkvConvertor::SetOnItemStart(const TkvItemEvent& onItemStart) {
  for (TkvConvertor* c = this; c; c = c->next_.get()) c->onItemStart_ = onItemStart;
}

void TkvConvertor::SetHandOver(TkvMainThreadHandOver* handOver) {
  chain_->handOver.store(handOver ? handOver : &TkvCoreAppHandOver::Instance());
}

void TkvConvertor::Start() {
  if (onFinish_ && !chain_->attached) {
    chain_->attached = true;
    chain_->handOver.load()->Attach();
  }
  for (TkvConvertor* c = this; c; c = c->next_.get()) {
    // Marked only once its thread exists: WaitChain waits for marked ones.
    c->TkvWorkBase::Start();
    c->started_.store(true);
  }
}

void TkvConvertor::Stop() {
  {
    std::lock_guard<std::mutex> lock(chain_->roundLock);
    chain_->stopped = true;
  }
  chain_->roundChanged.notify_all();
  try {
    if (next_) next_->Stop();
  } catch (...) {
  }
  Terminate();
}

void TkvConvertor::WaitChain() {
  for (TkvConvertor* c = this; c; c = c->next_.get()) {
    // Its end hands OnFinish to the main thread, which may be this one.
    if (c->onFinish_ && c->started_.load()) {
      std::unique_lock<std::mutex> lock(chain_->roundLock);
      while (!c->ended_) {
        lock.unlock();
        chain_->handOver.load()->DeliverPending();
        lock.lock();
        if (!c->ended_) chain_->chainChanged.wait_for(lock, kHandOverCheck);
      }
    }
    c->Wait();
  }
}

bool TkvConvertor::WaitRoundDone(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(chain_->roundLock);
  return chain_->chainChanged.wait_for(lock, timeout, [&] { return RoundDoneLocked(); });
}

bool TkvConvertor::WaitConvertersEnded(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(chain_->roundLock);
  return chain_->chainChanged.wait_for(lock, timeout,
                                       [&] { return chain_->ended >= threadsCount_; });
}

void TkvConvertor::KeepBetweenRounds() {
  std::lock_guard<std::mutex> lock(chain_->roundLock);
  chain_->rounds = true;
}

bool TkvConvertor::RoundDone() const {
  std::lock_guard<std::mutex> lock(chain_->roundLock);
  return RoundDoneLocked();
}

bool TkvConvertor::RoundDoneLocked() const {
  return chain_->waiting + chain_->ended >= threadsCount_;
}

void TkvConvertor::StartRound(TkvBatch* batch, const QString& targetFolder) {
  batch->SetTarget(TkvBatch::NormalizePath(targetFolder));
  {
    std::lock_guard<std::mutex> lock(chain_->roundLock);
    chain_->batch = batch;
    chain_->waiting = 0;
    ++chain_->round;
  }
  chain_->roundChanged.notify_all();
}

void TkvConvertor::Execute() {
  int round = 0;
  for (;;) {
    TkvWorkBase::Execute();
    std::unique_lock<std::mutex> lock(chain_->roundLock);
    if (!chain_->rounds || chain_->stopped) return;
    ++chain_->waiting;
    chain_->chainChanged.notify_all();
    chain_->roundChanged.wait(lock, [&] { return chain_->stopped || chain_->round != round; });
    if (chain_->stopped) return;
    round = chain_->round;
    Rearm(chain_->batch);
  }
}

// ---------------------------------------------------------------------------
// Per item

void TkvConvertor::ProcessItem() {
  if (onItemStart_) onItemStart_(Batch(), Item());
  try {
    Convert(Batch(), Item());
  } catch (const TkvError& e) {
    // The item keeps its status; its owner still hears of it, so that no
    // handed-out item goes missing from a log or a list.
    Batch()->SetItemResult(Item(), e.Message());
  } catch (const std::exception& e) {
    // Out of memory, a thread or system call that failed: this item is lost, the batch is not.
    FailItem(QStringLiteral("Internal error: %1").arg(QString::fromLocal8Bit(e.what())));
  } catch (...) {
    FailItem(QStringLiteral("Internal error of unknown kind"));
  }
  if (itemEvent_) itemEvent_(Batch(), Item());
}

void TkvConvertor::FailItem(const QString& message) {
  Batch()->SetItemOutcome(Item(), TkvNode::Failed, message);
  Batch()->AddFailure(message);
}

QString TkvConvertor::ChainFatalError() const {
  QStringList errors;
  for (const TkvConvertor* c = this; c; c = c->next_.get())
    if (const QString error = c->FatalError(); !error.isEmpty()) errors.append(error);
  return errors.join(QStringLiteral("; "));
}

void TkvConvertor::DoTerminate() {
  try {
    EndSession();
  } catch (...) {
  }
  if (onFinish_ && !chain_->cancelled.load()) {
    try {
      const std::shared_ptr<ChainState> chain = chain_;
      const TkvEvent onFinish = onFinish_;
      chain->handOver.load()->InvokeBlocking([chain, onFinish] {
        if (!chain->cancelled.load()) onFinish();
      });
    } catch (...) {
    }
  }
  {
    TkvItemsLock lock(*Batch());
    RunningConvertors.fetch_sub(1);
  }
  {
    std::lock_guard<std::mutex> lock(chain_->roundLock);
    ended_ = true;
    ++chain_->ended;
  }
  chain_->chainChanged.notify_all();
}

void TkvConvertor::Convert(TkvBatch*, TkvNode*) {}

QString TkvConvertor::AdjustTargetPath(const QString& path) { return path; }

QString TkvConvertor::ApplicationPath() { return QString(); }

QString TkvConvertor::PdfPrinterName() { return TkvPdfPrinterName(options_.PDFWriter()); }

void TkvConvertor::SetPrinterOutput(const QString& path) {
  TkvSetPrinterOutput(
      path, options_.PDFWriter(), [this] { return options_.MultiInstance(); }, ApplicationPath(),
      [this] { return Terminated(); });
}

// ---------------------------------------------------------------------------
// Target paths

namespace {

// "scheme://..." (a web or other address, not a file path).
bool IsAddress(const QString& name) {
  static const QRegularExpression re(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
  return re.match(name).hasMatch();
}

// The item's name below the target folder: its path below the batch's
// source folder (sub-folders kept) or its bare file name. An address keeps
// everything after its scheme's ":", with "/" flattened to "_", so that
// addresses on different servers do not collide.
QString RelativeName(const TkvBatch& batch, const QString& fileName, bool keepSubdirs) {
  QString rel;
  if (IsAddress(fileName)) {
    rel = fileName.mid(fileName.indexOf(u':') + 1);
    rel.replace(u'/', u'_');
  } else {
    const QString sourceFolder = batch.SourceFolder();
    if (keepSubdirs && !sourceFolder.isEmpty() && fileName.startsWith(sourceFolder))
      rel = fileName.mid(sourceFolder.size());
    else
      rel = TkvNamePart(fileName);
  }
  rel.replace(u':', u'_');
  // Never climb out of the target folder.
  QStringList parts = rel.split(u'/', Qt::SkipEmptyParts);
  for (QString& part : parts)
    if (part == QLatin1String("..") || part == QLatin1String(".")) part.replace(u'.', u'_');
  return parts.join(u'/');
}

// Both names lead to one file (the same name, a link or a hard link).
bool SameFile(const QString& a, const QString& b) {
  struct stat sa {
  }, sb{};
  return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
         ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

QString TkvConvertor::MakeTargetPath(TkvBatch* batch, TkvNode* item, TargetName use) {
  const bool keepSubdirs = options_.KeepTargetSubdirs();
  const TkvProfile& profile = options_.Profile();

  QString fileName;
  std::uint64_t serial = 0;
  {
    TkvItemsLock lock(*batch);
    fileName = item->FileName;
    serial = item->Serial;
  }
  QString path =
      TkvWithTrailingDelimiter(batch->Target()) + RelativeName(*batch, fileName, keepSubdirs);
  path = TkvChangeExt(path, profile.TargetExt);
  path = AdjustTargetPath(path);
  try {
    RequireTargetName(path);

    const QString folder = TkvFolderPart(path);
    if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
      QDir().mkpath(folder);
      if (!QFileInfo(folder).isDir())
        batch->AddFailure(QStringLiteral("CreateDir Failed: ") + folder);
    }
    if (!folder.isEmpty() && batch->TargetClaims().FirstUse(folder))
      TkvPartialFile::RemoveLeftovers(folder);  // what killed runs left there
    if (use == TargetName::BaseOnly) return path;

    const QString written = ClaimTarget(batch, serial, fileName, path);
    if (written.isEmpty()) {  // an existing file left alone: the item is skipped
      batch->SetItemOutcome(item, TkvNode::Done, QString());
      return QString();
    }
    return written;
  } catch (const TkvTargetRefused& e) {
    batch->SetItemOutcome(item, TkvNode::Failed, e.Message());
    batch->AddFailure(e.Message());
    return QString();
  }
}

QString TkvConvertor::ClaimTarget(TkvBatch* batch, std::uint64_t item, const QString& source,
                                  const QString& path) const {
  const TkvOverwrite mode = options_.OverwriteMode();
  // A name another item of this run writes counts as an existing file, even
  // when files are overwritten: the rule then gives the same outcome on any
  // number of threads, and no item replaces a PDF this run has made.
  const QString holder = batch->TargetClaims().Claim(path, item, source);
  const bool taken = !holder.isEmpty();
  if (!taken && !QFileInfo::exists(path)) return path;
  if (!taken && mode == TkvOverwrite::Overwrite) {
    if (SameFile(path, source))
      // Writing the target would replace the source it is made from.
      throw TkvTargetRefused(QStringLiteral("The target %1 is the source file itself").arg(path));
    return path;
  }
  if (mode == TkvOverwrite::Skip) return QString();
  // The rename rule's names in turn, past files of earlier runs and names
  // other items of this run hold: what one thread would have chosen.
  QStringList holders;
  if (taken) holders.append(holder);
  for (int n = 1; n <= kMaxAlternatives; ++n) {
    const QString other = AlternativeName(path, n);
    RequireTargetName(other);
    if (QFileInfo::exists(other)) continue;
    const QString otherHolder = batch->TargetClaims().Claim(other, item, source);
    if (otherHolder.isEmpty()) return other;
    if (!holders.contains(otherHolder)) holders.append(otherHolder);
  }
  throw TkvTargetRefused(
      QStringLiteral("No PDF name is left for %1: %2 and its %3 alternatives are taken (written "
                     "in this run from %4)")
          .arg(source, TkvNamePart(path))
          .arg(kMaxAlternatives)
          .arg(holders.join(QStringLiteral(", "))));
}

QString TkvConvertor::AlternativeName(const QString& path, int n) const {
  const QString prefix = TkvFolderPart(path) + u'-' + options_.Profile().ShortName + u'-';
  return n <= 1 ? prefix + TkvNamePart(path)
                : prefix + QString::number(n) + u'-' + TkvNamePart(path);
}

QString TkvConvertor::AlternativeName(const QString& path) const {
  // An earlier run's alternative is not replaced either.
  int n = 1;
  while (n < kMaxAlternatives && QFileInfo::exists(AlternativeName(path, n))) ++n;
  return AlternativeName(path, n);
}

QString TkvConvertor::FurtherOutputPath(const QString& path) const {
  RequireTargetName(path);
  if (TkvNode* item = Item(); item && Batch()) {
    QString source;
    std::uint64_t serial = 0;
    {
      TkvItemsLock lock(*Batch());
      source = item->FileName;
      serial = item->Serial;
    }
    return ClaimTarget(Batch(), serial, source, path);
  }
  if (!QFileInfo::exists(path)) return path;
  switch (options_.OverwriteMode()) {
    case TkvOverwrite::Skip:
      return QString();
    case TkvOverwrite::OtherName:
      return AlternativeName(path);
    case TkvOverwrite::Overwrite:
      break;
  }
  return path;
}

void TkvConvertor::RequireTargetName(const QString& path) {
  const QByteArray bytes = QFile::encodeName(path);
  // The nearest folder that exists tells the file system's limits.
  QByteArray existing = QFile::encodeName(TkvFolderPart(path));
  while (!existing.isEmpty() && ::access(existing.constData(), F_OK) != 0)
    existing = existing.left(existing.lastIndexOf('/', existing.size() - 2) + 1);
  long nameMax = existing.isEmpty() ? -1 : ::pathconf(existing.constData(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = NAME_MAX;
  for (const QByteArray& part : bytes.split('/'))
    if (part.size() > nameMax)
      throw TkvTargetRefused(
          QStringLiteral("The target name %1 is too long: %2 bytes, the file system allows %3")
              .arg(QFile::decodeName(part))
              .arg(part.size())
              .arg(nameMax));
  if (bytes.size() >= PATH_MAX)
    throw TkvTargetRefused(
        QStringLiteral("The target path %1 is too long: %2 bytes, the system allows %3")
            .arg(path)
            .arg(bytes.size())
            .arg(PATH_MAX - 1));
}

void TkvConvertor::DeleteTarget(const QString& path) {
  if (!path.isEmpty()) ::unlink(QFile::encodeName(path).constData());
}

QString TkvConvertor::TargetWriteProblem(const QString& path) {
  const QString folder = TkvFolderPart(path);
  if (!folder.isEmpty() && !QFileInfo(folder).isDir())
    return QStringLiteral(
               "Cannot write %1: the target folder %2 does not exist and cannot be created")
        .arg(path, folder);
  if (!folder.isEmpty() && ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
    return QStringLiteral("Cannot write %1: the target folder %2 is not writable")
        .arg(path, folder);
  if (QFileInfo(path).isDir())
    return QStringLiteral("Cannot write %1: a folder of that name exists").arg(path);
  return QString();
}

// ---------------------------------------------------------------------------
// Source disposition

namespace {

// A file descriptor closed on every path.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace

bool TkvConvertor::CopyFileTimes(const QString& sourcePath, const QString& targetPath) {
  Fd source(::open(QFile::encodeName(sourcePath).constData(), O_RDONLY | O_CLOEXEC));
  Fd target(::open(QFile::encodeName(targetPath).constData(), O_WRONLY | O_CLOEXEC));
  if (!source.valid() || !target.valid()) return false;
  struct stat st {};
  if (::fstat(source.get(), &st) != 0) return false;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  return ::futimens(target.get(), times) == 0;
}

bool TkvConvertor::RenameNoReplace(const QString& from, const QString& to) {
  const QByteArray f = QFile::encodeName(from);
  const QByteArray t = QFile::encodeName(to);
  if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a hard link fails when the name exists.
  if (::link(f.constData(), t.constData()) != 0) return false;
  ::unlink(f.constData());
  return true;
}

QString TkvConvertor::DisposeSource(TkvBatch* batch, TkvNode* item, const QString& targetPath) {
  QString source;
  {
    TkvItemsLock lock(*batch);
    source = item->FileName;
  }
  if (source.isEmpty() || IsAddress(source)) return QString();
  if (options_.KeepFileTime()) CopyFileTimes(source, targetPath);
  QStringList problems;
  if (options_.DeleteSource() && ::unlink(QFile::encodeName(source).constData()) != 0)
    problems.append(QStringLiteral("the source %1 could not be deleted: %2")
                        .arg(source, QString::fromLocal8Bit(std::strerror(errno))));
  const QString suffix = options_.RenameSource();
  if (!suffix.isEmpty() && QFileInfo::exists(source) && !RenameNoReplace(source, source + suffix))
    problems.append(
        QStringLiteral("the source %1 could not be renamed to %2: %3")
            .arg(source, source + suffix, QString::fromLocal8Bit(std::strerror(errno))));
  return problems.join(QStringLiteral("; "));
}
