// The entries of one index while rows are being added, in bounded memory.
//
// Entries are packed records (key length, key, 3-byte page, row) in a few
// large blocks. When they outgrow their budget they are sorted and written as
// one run to an unnamed temporary file in the database's folder; drain()
// merges the runs and the entries still in memory and hands every entry back
// in compare_entries order, which is what the tree builder needs.
//
// A unique index also keeps a table of 32-bit key hashes, each with the
// number of the entry it came from, so contains() answers without a search;
// a hash that matches is confirmed against the stored key (in memory, or by a
// binary search of the one run that holds that entry).
//
//   IndexEntrySorter s(db_path, "index 'PK' of table 'T'", 32 << 20, true);
//   if (s.contains(key)) refuse();
//   s.make_room(key.size());          // may spill; nothing stored yet
//   s.add(key, page, row);
//   s.drain([&](const IndexEntry& e) { tree.add(e); });
//
// Every failure to create, write or read the temporary file is an Error that
// names the database and the folder of the temporary file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "db/jet/index/index_page.h"

namespace mirutone::platform {
class File;
}

namespace mirutone::jet {

class IndexEntrySorter {
 public:
  // `database`: the file being written; the temporary file goes beside it.
  // `what`: names the index in messages. `memory`: bytes of entries kept in
  // memory before they are spilled. `track_keys`: keep the hash table that
  // contains() needs.
  IndexEntrySorter(std::string database, std::string what, std::size_t memory, bool track_keys);
  ~IndexEntrySorter();
  IndexEntrySorter(const IndexEntrySorter&) = delete;
  IndexEntrySorter& operator=(const IndexEntrySorter&) = delete;

  // Changes the budget; it applies from the next entry on.
  void set_memory(std::size_t bytes);

  std::uint64_t size() const { return next_id_; }
  std::size_t runs() const;  // runs spilled so far

  // Whether an entry with exactly `key` has been added. Needs track_keys.
  bool contains(std::span<const std::uint8_t> key);

  // Spills the entries in memory to a run when one more entry with a key of
  // `key_size` bytes would pass the budget. Call it before the row is stored:
  // a failure here leaves nothing half done.
  void make_room(std::size_t key_size);

  // Adds an entry (page numbers have 24 bits). Call make_room first.
  void add(std::span<const std::uint8_t> key, std::uint32_t page, std::uint8_t row);

  // Calls `sink` once per entry, in compare_entries order, then empties the
  // sorter. The entry passed is valid only during the call.
  void drain(const std::function<void(const IndexEntry&)>& sink);

  // Drops every entry and the temporary file.
  void clear();

 private:
  struct Run;
  class RunReader;

  void spill();
  void sort_memory();
  bool run_contains(const Run& run, std::span<const std::uint8_t> key);
  void remember(std::span<const std::uint8_t> key, std::uint32_t id);
  void grow_table();
  void open_temp();
  void write_temp(const std::uint8_t* data, std::size_t size, std::uint64_t offset);
  void read_temp(std::uint8_t* data, std::size_t size, std::uint64_t offset) const;
  [[noreturn]] void temp_failure(const std::string& what, const std::string& cause = {}) const;

  std::string database_;
  std::string what_;
  std::size_t memory_;
  bool track_keys_;

  // Entries in memory: records in blocks, pointed to in the order added
  // (until sorted by spill or drain).
  std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
  std::size_t block_size_ = 0;
  std::size_t block_used_ = 0;
  std::size_t memory_used_ = 0;
  std::vector<const std::uint8_t*> records_;
  std::uint32_t first_memory_id_ = 0;  // entry number of records_[0]
  std::uint32_t next_id_ = 0;

  // Key hashes: (hash << 32) | (entry number + 1); 0 = empty slot.
  std::vector<std::uint64_t> table_;
  std::size_t table_count_ = 0;

  std::vector<Run> runs_;
  std::unique_ptr<platform::File> temp_;
  std::string temp_dir_;
  std::uint64_t temp_size_ = 0;
};

}  // namespace mirutone::jet
