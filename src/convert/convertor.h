#pragma once
// The converter chain: one converter per thread, all drawing items from one
// batch. The base places and names target files, applies the overwrite rule
// and disposes of the source after a success; descendants supply Convert.
//
// Ownership: converters never delete themselves. The owner holds the head by
// unique_ptr and every converter owns its Next. Destroying a converter stops
// it and the rest of its chain, then joins their threads; it must never be
// done from a converter thread. A descendant whose own members are used by
// its thread must call Shutdown() first thing in its destructor.
//
// Options: every converter reads the option source it was made with (its
// first batch's), afresh at each use.
//
// Threads: StartConverters, SetOnFinish, SetHandOver, Start, Stop and the
// destructor belong to the owner's thread. ProcessItem, Convert, the path
// and source operations and EndSession run on the converter's thread.

#include "batch/batch.h"
#include "batch/work_base.h"
#include "convert/hand_over.h"
#include "core/error.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// Converter threads of the unattended run that have not ended yet. Every
// converter lowers it by one as it ends, under its batch's item-list lock.
extern std::atomic<int> RunningConvertors;

// A target name the item cannot have: the item fails with this message and
// no fallback is tried for it.
class TkvTargetRefused : public TkvError {
 public:
  using TkvError::TkvError;
};

class TkvConvertor : public TkvWorkBase {
 public:
  // `count` below 1 counts as 1. `options` is not owned and must outlive
  // the converter. The chain behind this converter is built by
  // StartConverters, not here.
  TkvConvertor(TkvBatch* batch, const TkvOptionSource& options, int count, TkvItemEvent itemEvent);
  ~TkvConvertor() override;
  TkvConvertor(const TkvConvertor&) = delete;
  TkvConvertor& operator=(const TkvConvertor&) = delete;

  // Stores the normalised target folder in the batch and builds a chain of
  // ThreadsCount converters of the profile's converter class, suspended,
  // each reading the batch's options.
  // Throws TkvError when the class is not registered or is no converter.
  static std::unique_ptr<TkvConvertor> StartConverters(TkvBatch* batch, const QString& targetFolder,
                                                       const TkvItemEvent& itemEvent);
  // The same with an explicit converter class name (registry name).
  static std::unique_ptr<TkvConvertor> StartConvertersOf(const QString& className, TkvBatch* batch,
                                                         const QString& targetFolder,
                                                         const TkvItemEvent& itemEvent);

  TkvConvertor* Next() const { return next_.get(); }
  // Converters from this one to the end of the chain, this one included.
  int ThreadsCount() const { return threadsCount_; }
  const TkvItemEvent& ItemEvent() const { return itemEvent_; }
  const TkvOptionSource& Options() const { return options_; }

  // Whole chain, before Start. OnFinish runs on the main thread (through
  // the hand-over, by default TkvCoreAppHandOver) once per converter as its
  // thread ends; the converter's thread waits for it, so the main thread
  // must keep its event loop running. The hand-over is not owned and must
  // outlive the chain.
  void SetOnFinish(const TkvEvent& onFinish);
  void SetHandOver(TkvMainThreadHandOver* handOver);
  // Whole chain, before Start: called on the converter's thread when an
  // item is taken, before its conversion.
  void SetOnItemStart(const TkvItemEvent& onItemStart);
  // Starts this converter, then the rest (head first).
  void Start();
  // Stop request for the rest of the chain, then for this one (tail first).
  // Each converter finishes the item it is working on.
  void Stop();
  // Blocks until every started thread of the chain has ended, delivering
  // pending main-thread hand-overs meanwhile (every kHandOverCheck and as
  // converters end) when called on the main thread.
  void WaitChain();
  static constexpr std::chrono::milliseconds kHandOverCheck{10};
  // Head, owner's thread: blocks until every converter of the chain has
  // lowered RunningConvertors and ended its work (its thread is then about
  // to end; WaitChain joins it), or `timeout` has passed. Returns whether
  // they all have. A chain never started waits the whole timeout.
  bool WaitConvertersEnded(std::chrono::milliseconds timeout);
  // Drops OnFinish calls not yet made, stops the chain and waits for it.
  // Idempotent; the destructor calls it.
  void Shutdown();
  // The errors that ended converter threads of the chain before the batch
  // was done ("; " between them), empty when none did. After WaitChain.
  QString ChainFatalError() const;

  // ---- rounds: one chain for several batches (owner's thread) ----
  // Whole chain, before Start: a converter that has used up its batch does
  // not end its thread (its office session stays open) but waits for the
  // next round or a stop.
  void KeepBetweenRounds();
  // Every converter of the chain has used up the round's batch and waits
  // for the next round, or its thread has ended.
  bool RoundDone() const;
  // Head, owner's thread: blocks until RoundDone() or `timeout` has
  // passed; returns RoundDone().
  bool WaitRoundDone(std::chrono::milliseconds timeout);
  // After RoundDone: every converter draws from `batch` (its target set to
  // `targetFolder` as StartConverters does). The previous batch may then be
  // destroyed; `batch` must outlive the round.
  void StartRound(TkvBatch* batch, const QString& targetFolder);

  // ---- per item, on the converter's thread ----
  // Converts one item; writes its outcome through the batch. Base: nothing.
  virtual void Convert(TkvBatch* batch, TkvNode* item);
  virtual QString AdjustTargetPath(const QString& path);
  // The program file that performs the conversion; base: empty.
  virtual QString ApplicationPath();
  // The PDF printer to print on: the PDFWriter option when that printer is
  // installed, else "Acrobat PDFWriter" or "Adobe PDF".
  virtual QString PdfPrinterName();
  // Points the PDF printer drivers at `path` for the next job; never throws.
  // Called under the batch's item-list lock.
  virtual void SetPrinterOutput(const QString& path);

  // The target path of an item; empty means the item is skipped (it is then
  // marked done with an empty result) or refused (marked failed and counted
  // as a failure): the existing target is the source file itself, the name
  // is too long for the file system, or no name is left (below). A target
  // folder that cannot be made is reported once through the batch's
  // AddFailure and the path returned. The first time a run names a folder,
  // the temporary files that killed runs left there are removed.
  //
  // Names are claimed for the run (the batch's TargetClaims) before anything
  // is written: a name another item of the run holds counts as an existing
  // file under every overwrite rule, "overwrite" included, which then gives
  // the alternative name instead of replacing a PDF of this run. When the
  // alternative name is held too the item is refused, naming the holders.
  //
  // BaseOnly: the name is only the stem of the files the item writes (one
  // PDF per sheet), never written itself: it is neither claimed nor held
  // against an existing file; each file written goes through
  // FurtherOutputPath.
  enum class TargetName { Written, BaseOnly };
  QString MakeTargetPath(TkvBatch* batch, TkvNode* item, TargetName use = TargetName::Written);
  // A further file of the item being converted (Item(); one PDF per sheet)
  // under the same rules: the path when it is free or files are
  // overwritten, the alternative name when the rule asks for one, empty
  // when an existing file is to be left alone (skip). Raises
  // TkvTargetRefused where MakeTargetPath refuses the item.
  QString FurtherOutputPath(const QString& path) const;
  // The alternative name of an existing target: "<folder>-<short name>-<name>",
  // or, when that exists too, "<folder>-<short name>-<n>-<name>" with the
  // first free n from 2.
  QString AlternativeName(const QString& path) const;
  // The n-th alternative name: n 1 "<folder>-<short name>-<name>", n from 2
  // "<folder>-<short name>-<n>-<name>".
  QString AlternativeName(const QString& path, int n) const;
  // Alternative names tried for one target before the item is refused.
  static constexpr int kMaxAlternatives = 1000;
  // Raises TkvTargetRefused when a file cannot have this name: a part of it
  // is longer than its file system allows, or the path is longer than the
  // system's limit.
  static void RequireTargetName(const QString& path);
  // Deletes a file; failures are ignored.
  static void DeleteTarget(const QString& path);
  // Why no file can be written at `path`, naming the file and its folder
  // (the folder is missing or cannot be written, or a folder has the
  // file's name); empty when nothing stands in the way.
  static QString TargetWriteProblem(const QString& path);
  // After a successful conversion: KeepFileTime, DeleteSource, RenameSource
  // in that order. Returns why the source could not be deleted or renamed
  // (empty when it was, or nothing was asked); a failure to copy the times
  // is ignored. Web addresses are left alone.
  QString DisposeSource(TkvBatch* batch, TkvNode* item, const QString& targetPath);
  // Copies access and modification times; false (and nothing changed) when
  // either file cannot be opened or the source's times cannot be read.
  static bool CopyFileTimes(const QString& sourcePath, const QString& targetPath);
  // Moves `from` to `to` unless something exists at `to`; never replaces.
  static bool RenameNoReplace(const QString& from, const QString& to);

 protected:
  // The item loop, once per round when the chain is kept between rounds.
  void Execute() override;
  // The item-start event, Convert, then the item event (skipped items
  // included). A TkvError out of Convert becomes the item's Result (its
  // Status kept) before the item event; any other exception fails the item
  // with its message (counted as a failure) and the chain goes on.
  void ProcessItem() override;
  // On the converter's thread after its loop: EndSession, OnFinish handed
  // to the main thread, RunningConvertors lowered under the batch lock,
  // then the converter counts as ended for the chain's waits.
  void DoTerminate() override;
  // Ends whatever session the converter's thread opened (the spreadsheet
  // layer quits its office process here). Base: nothing.
  virtual void EndSession() {}

 private:
  struct ChainState;
  void SetChainState(const std::shared_ptr<ChainState>& state);
  // Under the chain's round lock.
  bool RoundDoneLocked() const;
  // Claims `path` for the item of serial `item` under the overwrite rule:
  // the name to write, empty to leave the existing file alone. Raises
  // TkvTargetRefused, also when overwriting would replace `source` itself.
  QString ClaimTarget(TkvBatch* batch, std::uint64_t item, const QString& source,
                      const QString& path) const;
  // Item() failed with `message`, counted as a failure.
  void FailItem(const QString& message);

  const TkvOptionSource& options_;
  std::unique_ptr<TkvConvertor> next_;
  int threadsCount_;
  TkvItemEvent itemEvent_;
  TkvEvent onFinish_;
  TkvItemEvent onItemStart_;
  std::shared_ptr<ChainState> chain_;
  std::atomic<bool> started_{false};
  bool ended_ = false;  // under the chain's round lock: DoTerminate is over
};

// Registers a converter class under `name` in TkvWorkerClasses.
template <class T>
void TkvRegisterConvertor(const QString& name) {
  TkvWorkerClasses::Register(
      name, [](TkvBatch* batch, const TkvOptionSource& options, int count, TkvItemEvent event) {
        return std::unique_ptr<TkvWorkBase>(new T(batch, options, count, std::move(event)));
      });
}
