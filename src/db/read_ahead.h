// Rows of a table read on a thread of their own, a few batches ahead of the
// caller: while the caller stores one row, the next ones are being read and
// decoded. The thread reads through a Reader of its own, so nothing it
// touches is shared with the caller's thread; the rows, and a failure to read
// one, reach the caller in storage order, the failure after every row read
// before it. Memory is bounded by kBatches * kBatchRows rows.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "db/jet/api/reader.h"
#include "db/jet/api/value.h"

namespace mirutone::db {

class ReadAhead {
 public:
  static constexpr std::size_t kBatches = 4;
  static constexpr std::size_t kBatchRows = 256;

  // Starts reading `cursor`; `reader` is the one it reads through, kept open
  // until the thread is done with it.
  ReadAhead(std::shared_ptr<jet::Reader> reader, std::unique_ptr<jet::RowCursor> cursor);
  // Stops the thread (it finishes the row it is reading) and waits for it.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next row into `row` (whose vectors go back to the thread to be
  // filled again); false at the end. Rethrows what the thread failed with,
  // at the place of the row it could not read.
  bool next(std::vector<jet::Value>& row);

 private:
  struct Batch {
    std::vector<std::vector<jet::Value>> rows;
    std::size_t count = 0;
    bool last = false;            // nothing comes after this batch
    std::exception_ptr failure;   // after its rows
  };
  void produce();

  std::shared_ptr<jet::Reader> reader_;
  std::unique_ptr<jet::RowCursor> cursor_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Batch batches_[kBatches];
  std::size_t filled_ = 0;     // batches ready for the caller
  std::size_t write_ = 0;      // the thread's next batch
  std::size_t read_ = 0;       // the caller's batch
  std::size_t read_row_ = 0;   // next row within it
  bool holding_ = false;       // the caller's batch is filled and not yet handed back
  bool stopping_ = false;
  bool done_ = false;          // the caller has seen the end or the failure
  std::thread thread_;
};

}  // namespace mirutone::db
