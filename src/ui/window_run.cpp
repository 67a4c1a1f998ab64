#include "ui/window_run.h"

TkvWindowRun::TkvWindowRun(std::shared_ptr<TkvBatch> batch, std::uint64_t listGeneration,
                           std::unique_ptr<TkvConvertor> chain)
    : batch_(std::move(batch)),
      listGeneration_(listGeneration),
      chain_(std::move(chain)),
      pendingFinishes_(chain_->ThreadsCount()) {}

TkvWindowRun::~TkvWindowRun() {
  // The batch stays searching: a paused batch is converted further later.
  chain_.reset();
}

bool TkvWindowRun::FinishOne() {
  if (pendingFinishes_ > 0) --pendingFinishes_;
  return pendingFinishes_ == 0;
}

void TkvWindowRun::RequestStop(bool stopSearch) {
  if (stopSearch) batch_->Terminate();
  // A converter that has ended ignores the request, so it reaches exactly
  // the ones still running.
  chain_->Stop();
}

bool TkvWindowRun::ThreadsEnded() const {
  for (const TkvConvertor* c = chain_.get(); c; c = c->Next())
    if (!c->Finished()) return false;
  return true;
}
