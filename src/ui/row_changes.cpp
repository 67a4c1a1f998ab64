#include "ui/row_changes.h"

#include <iterator>

void TkvRowChangeQueue::Push(TkvRowChange change) {
  std::lock_guard<std::mutex> guard(lock_);
  changes_.push_back(std::move(change));
}

std::vector<TkvRowChange> TkvRowChangeQueue::TakeAll() {
  std::deque<TkvRowChange> taken;
  {
    std::lock_guard<std::mutex> guard(lock_);
    taken.swap(changes_);
  }
  return {std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end())};
}
