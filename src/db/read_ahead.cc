#include "db/read_ahead.h"

#include <utility>

namespace mirutone::db {

ReadAhead::ReadAhead(std::shared_ptr<jet::Reader> reader, std::unique_ptr<jet::RowCursor> cursor)
    : reader_(std::move(reader)), cursor_(std::move(cursor)) {
  for (Batch& b : batches_) b.rows.resize(kBatchRows);
  thread_ = std::thread([this] { produce(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ReadAhead::produce() {
  for (;;) {
    Batch* batch;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || filled_ < kBatches; });
      if (stopping_) return;
      batch = &batches_[write_];
    }
    // The batch is the thread's alone until it is counted as filled.
    batch->count = 0;
    batch->last = false;
    batch->failure = nullptr;
    try {
      while (batch->count < kBatchRows) {
        if (!cursor_->next(batch->rows[batch->count])) {
          batch->last = true;
          break;
        }
        ++batch->count;
      }
    } catch (...) {
      batch->failure = std::current_exception();
      batch->last = true;
    }
    {
      std::lock_guard lock(mutex_);
      ++filled_;
      write_ = (write_ + 1) % kBatches;
    }
    changed_.notify_all();
    if (batch->last) return;
  }
}

bool ReadAhead::next(std::vector<jet::Value>& row) {
  if (done_) return false;
  for (;;) {
    if (!holding_) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return filled_ > 0; });
      holding_ = true;
    }
    // A filled batch is the caller's alone until it is handed back.
    Batch& batch = batches_[read_];
    if (read_row_ < batch.count) {
      std::swap(row, batch.rows[read_row_++]);
      return true;
    }
    if (batch.last) {
      done_ = true;
      if (batch.failure) std::rethrow_exception(batch.failure);
      return false;
    }
    read_row_ = 0;
    read_ = (read_ + 1) % kBatches;
    holding_ = false;
    {
      std::lock_guard lock(mutex_);
      --filled_;
    }
    changed_.notify_all();
  }
}

}  // namespace mirutone::db
