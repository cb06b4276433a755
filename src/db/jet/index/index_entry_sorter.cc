#include "db/jet/index/index_entry_sorter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>

#include "db/jet/api/error.h"
#include "platform/file.h"
#include "platform/path.h"

namespace mirutone::jet {

namespace {

// A record: u16 key length (little-endian), key, page (3 bytes, high first),
// row. The bytes from the key on are the string compare_entries compares.
constexpr std::size_t kRecordExtra = 6;
constexpr std::size_t kPointerSize = 4;  // page and row after the key
// Every this many records of a run, its file offset is kept for searches.
constexpr std::size_t kSampleEvery = 64;
constexpr std::size_t kFirstBlock = 16 * 1024;
constexpr std::size_t kLargestBlock = 1024 * 1024;
constexpr std::size_t kWriteBuffer = 256 * 1024;

std::size_t key_length(const std::uint8_t* rec) { return rec[0] | static_cast<std::size_t>(rec[1]) << 8; }
std::size_t record_size(const std::uint8_t* rec) { return key_length(rec) + kRecordExtra; }

// Order of two records: their compared strings as bytes, shorter first on a tie.
bool record_less(const std::uint8_t* a, const std::uint8_t* b) {
  const std::size_t na = key_length(a) + kPointerSize, nb = key_length(b) + kPointerSize;
  const int c = std::memcmp(a + 2, b + 2, std::min(na, nb));
  return c < 0 || (c == 0 && na < nb);
}

// The compared string of `rec` against a bare key: <0, 0 or >0; `prefixed`
// tells whether the string starts with the key.
int compare_with_key(const std::uint8_t* rec, std::span<const std::uint8_t> key, bool& prefixed) {
  const std::size_t n = key_length(rec) + kPointerSize;
  const std::size_t m = std::min(n, key.size());
  const int c = m ? std::memcmp(rec + 2, key.data(), m) : 0;
  prefixed = c == 0 && n >= key.size();
  if (c != 0) return c;
  return n < key.size() ? -1 : n > key.size() ? 1 : 0;
}

bool same_key(const std::uint8_t* rec, std::span<const std::uint8_t> key) {
  return key_length(rec) == key.size() && (key.empty() || std::memcmp(rec + 2, key.data(), key.size()) == 0);
}

// 64-bit hash of a key (multiply-xorshift over 8-byte words).
std::uint64_t hash_key(std::span<const std::uint8_t> key) {
  std::uint64_t h = 0x243F6A8885A308D3ull ^ key.size();
  std::size_t i = 0;
  for (; i + 8 <= key.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, key.data() + i, 8);
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 31;
  }
  std::uint64_t tail = 0;
  for (std::size_t s = 0; i < key.size(); ++i, s += 8) tail |= static_cast<std::uint64_t>(key[i]) << s;
  h = (h ^ tail) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 32;
  return h;
}

}  // namespace

struct IndexEntrySorter::Run {
  std::uint64_t begin = 0, end = 0;     // byte range in the temporary file
  std::uint32_t first_id = 0, end_id = 0;
  std::vector<std::uint64_t> samples;   // offsets of records 0, 64, 128, ...
};

// Reads the records of one run in order through a buffer.
class IndexEntrySorter::RunReader {
 public:
  RunReader(const IndexEntrySorter& owner, std::uint64_t from, std::uint64_t end, std::size_t buffer)
      : owner_(owner), pos_(from), end_(end), buf_(buffer) {}

  // The next record, valid until the next call; nullptr at the end.
  const std::uint8_t* next() {
    if (!fill(2)) return nullptr;
    const std::size_t size = record_size(buf_.data() + at_);
    if (!fill(size)) owner_.temp_failure("a run of the temporary sort file ends inside a record");
    const std::uint8_t* rec = buf_.data() + at_;
    at_ += size;
    return rec;
  }

 private:
  // Makes `need` bytes available at at_; false when the run has ended first.
  bool fill(std::size_t need) {
    if (have_ - at_ >= need) return true;
    std::memmove(buf_.data(), buf_.data() + at_, have_ - at_);
    have_ -= at_;
    at_ = 0;
    if (buf_.size() < need) buf_.resize(need);
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::uint64_t>(buf_.size() - have_, end_ - pos_));
    if (want) {
      owner_.read_temp(buf_.data() + have_, want, pos_);
      pos_ += want;
      have_ += want;
    }
    return have_ >= need;
  }

  const IndexEntrySorter& owner_;
  std::uint64_t pos_, end_;
  std::vector<std::uint8_t> buf_;
  std::size_t at_ = 0, have_ = 0;
};

IndexEntrySorter::IndexEntrySorter(std::string database, std::string what, std::size_t memory, bool track_keys)
    : database_(std::move(database)), what_(std::move(what)), memory_(memory), track_keys_(track_keys) {}

IndexEntrySorter::~IndexEntrySorter() = default;

void IndexEntrySorter::set_memory(std::size_t bytes) { memory_ = bytes; }

std::size_t IndexEntrySorter::runs() const { return runs_.size(); }

void IndexEntrySorter::temp_failure(const std::string& what, const std::string& cause) const {
  throw Error(0, database_, what_ + ": " + what + " (temporary sort file in '" + temp_dir_ + "')" +
                                (cause.empty() ? std::string() : ": " + cause));
}

void IndexEntrySorter::open_temp() {
  std::filesystem::path db = platform::fs_path(database_);
  std::filesystem::path dir = db.parent_path();
  if (dir.empty()) dir = ".";
  temp_dir_ = platform::utf8_path(dir);
  try {
    temp_ = std::make_unique<platform::File>(
        platform::File::temporary_in(temp_dir_, platform::utf8_path(db.filename())));
  } catch (const platform::FileError& e) {
    temp_failure("cannot create the file", e.what());
  }
  temp_size_ = 0;
}

void IndexEntrySorter::write_temp(const std::uint8_t* data, std::size_t size, std::uint64_t offset) {
  try {
    temp_->write_at(offset, data, size);
  } catch (const platform::FileError& e) {
    temp_failure("cannot write the file", e.what());
  }
}

void IndexEntrySorter::read_temp(std::uint8_t* data, std::size_t size, std::uint64_t offset) const {
  std::size_t got = 0;
  try {
    got = temp_->read_at(offset, data, size);
  } catch (const platform::FileError& e) {
    temp_failure("cannot read the file back", e.what());
  }
  if (got != size) temp_failure("cannot read the file back", "it ends early");
}

void IndexEntrySorter::make_room(std::size_t key_size) {
  if (key_size > 0xFFFF) throw Error(0, database_, what_ + ": an index key of " + std::to_string(key_size) + " bytes");
  if (!records_.empty() && memory_used_ + key_size + kRecordExtra + sizeof(void*) > memory_) spill();
}

void IndexEntrySorter::add(std::span<const std::uint8_t> key, std::uint32_t page, std::uint8_t row) {
  const std::size_t size = key.size() + kRecordExtra;
  if (blocks_.empty() || block_used_ + size > block_size_) {
    block_size_ = std::max(size, blocks_.empty() ? kFirstBlock : std::min(2 * block_size_, kLargestBlock));
    blocks_.push_back(std::make_unique<std::uint8_t[]>(block_size_));
    block_used_ = 0;
  }
  std::uint8_t* rec = blocks_.back().get() + block_used_;
  rec[0] = static_cast<std::uint8_t>(key.size());
  rec[1] = static_cast<std::uint8_t>(key.size() >> 8);
  if (!key.empty()) std::memcpy(rec + 2, key.data(), key.size());
  std::uint8_t* tail = rec + 2 + key.size();
  tail[0] = static_cast<std::uint8_t>(page >> 16);
  tail[1] = static_cast<std::uint8_t>(page >> 8);
  tail[2] = static_cast<std::uint8_t>(page);
  tail[3] = row;
  block_used_ += size;
  memory_used_ += size + sizeof(void*);
  records_.push_back(rec);
  if (track_keys_) remember(key, next_id_);
  ++next_id_;
}

void IndexEntrySorter::remember(std::span<const std::uint8_t> key, std::uint32_t id) {
  if ((table_count_ + 1) * 4 > table_.size() * 3) grow_table();
  const std::uint32_t hash = static_cast<std::uint32_t>(hash_key(key) >> 32);
  const int shift = 32 - std::countr_zero(table_.size());
  const std::size_t mask = table_.size() - 1;
  std::size_t pos = hash >> shift;
  while (table_[pos] != 0) pos = (pos + 1) & mask;
  table_[pos] = static_cast<std::uint64_t>(hash) << 32 | (static_cast<std::uint64_t>(id) + 1);
  ++table_count_;
}

void IndexEntrySorter::grow_table() {
  std::vector<std::uint64_t> old = std::move(table_);
  table_.assign(std::max<std::size_t>(1024, 2 * old.size()), 0);
  const int shift = 32 - std::countr_zero(table_.size());
  const std::size_t mask = table_.size() - 1;
  for (std::uint64_t slot : old) {
    if (slot == 0) continue;
    std::size_t pos = static_cast<std::uint32_t>(slot >> 32) >> shift;
    while (table_[pos] != 0) pos = (pos + 1) & mask;
    table_[pos] = slot;
  }
}

bool IndexEntrySorter::contains(std::span<const std::uint8_t> key) {
  if (!track_keys_) throw Error(0, database_, what_ + ": keys of this index are not kept for lookups");
  if (table_.empty()) return false;
  const std::uint32_t hash = static_cast<std::uint32_t>(hash_key(key) >> 32);
  const int shift = 32 - std::countr_zero(table_.size());
  const std::size_t mask = table_.size() - 1;
  for (std::size_t pos = hash >> shift; table_[pos] != 0; pos = (pos + 1) & mask) {
    if (static_cast<std::uint32_t>(table_[pos] >> 32) != hash) continue;
    const std::uint32_t id = static_cast<std::uint32_t>(table_[pos]) - 1;
    if (id >= first_memory_id_) {
      if (same_key(records_[id - first_memory_id_], key)) return true;
      continue;
    }
    auto run = std::upper_bound(runs_.begin(), runs_.end(), id,
                                [](std::uint32_t v, const Run& r) { return v < r.end_id; });
    if (run != runs_.end() && run_contains(*run, key)) return true;
  }
  return false;
}

bool IndexEntrySorter::run_contains(const Run& run, std::span<const std::uint8_t> key) {
  // The last sampled record before the key; records with that key follow it,
  // among the records whose compared string starts with the key.
  std::vector<std::uint8_t> rec;
  auto read_record = [&](std::uint64_t at) {
    rec.resize(2);
    read_temp(rec.data(), 2, at);
    rec.resize(record_size(rec.data()));
    read_temp(rec.data() + 2, rec.size() - 2, at + 2);
  };
  std::size_t lo = 0, hi = run.samples.size();  // samples[0..lo) are below the key
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    read_record(run.samples[mid]);
    bool prefixed;
    if (compare_with_key(rec.data(), key, prefixed) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  const std::uint64_t from = lo == 0 ? run.begin : run.samples[lo - 1];
  RunReader reader(*this, from, run.end, 16 * 1024);
  while (const std::uint8_t* r = reader.next()) {
    bool prefixed;
    const int c = compare_with_key(r, key, prefixed);
    if (prefixed && key_length(r) == key.size()) return true;
    if (c > 0 && !prefixed) return false;
  }
  return false;
}

void IndexEntrySorter::sort_memory() { std::sort(records_.begin(), records_.end(), record_less); }

void IndexEntrySorter::spill() {
  if (!temp_) open_temp();
  sort_memory();
  Run run;
  run.begin = temp_size_;
  run.first_id = first_memory_id_;
  run.end_id = next_id_;
  run.samples.reserve(records_.size() / kSampleEvery + 1);
  std::vector<std::uint8_t> out;
  out.reserve(kWriteBuffer);
  std::uint64_t at = temp_size_;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    const std::uint8_t* rec = records_[i];
    const std::size_t size = record_size(rec);
    if (i % kSampleEvery == 0) run.samples.push_back(at + out.size());
    if (out.size() + size > kWriteBuffer && !out.empty()) {
      write_temp(out.data(), out.size(), at);
      at += out.size();
      out.clear();
    }
    out.insert(out.end(), rec, rec + size);
  }
  write_temp(out.data(), out.size(), at);
  at += out.size();
  run.end = at;
  temp_size_ = at;
  runs_.push_back(std::move(run));

  // The blocks are reused for the next run, from the largest.
  if (blocks_.size() > 1) {
    blocks_.erase(blocks_.begin(), blocks_.end() - 1);
  }
  block_used_ = 0;
  records_.clear();
  memory_used_ = 0;
  first_memory_id_ = next_id_;
}

void IndexEntrySorter::drain(const std::function<void(const IndexEntry&)>& sink) {
  std::vector<std::uint64_t>().swap(table_);  // not needed any more; frees room for the merge
  table_count_ = 0;
  sort_memory();
  IndexEntry entry;
  auto emit = [&](const std::uint8_t* rec) {
    const std::size_t n = key_length(rec);
    entry.key.assign(rec + 2, rec + 2 + n);
    const std::uint8_t* tail = rec + 2 + n;
    entry.page = static_cast<std::uint32_t>(tail[0]) << 16 | static_cast<std::uint32_t>(tail[1]) << 8 | tail[2];
    entry.row = tail[3];
    sink(entry);
  };
  if (runs_.empty()) {
    for (const std::uint8_t* rec : records_) emit(rec);
    clear();
    return;
  }

  // Merge: one cursor per run plus the records in memory, smallest on top.
  std::vector<RunReader> readers;
  const std::size_t buffer = std::clamp<std::size_t>(memory_ / 2 / runs_.size(), 16 * 1024, 1024 * 1024);
  readers.reserve(runs_.size());
  for (const Run& r : runs_) readers.emplace_back(*this, r.begin, r.end, buffer);
  struct Head {
    const std::uint8_t* rec;
    std::size_t source;  // index into readers; readers.size() = memory
  };
  auto greater = [](const Head& a, const Head& b) { return record_less(b.rec, a.rec); };
  std::vector<Head> heap;
  std::size_t next_memory = 0;
  auto advance = [&](std::size_t source) {
    const std::uint8_t* rec = nullptr;
    if (source < readers.size()) {
      rec = readers[source].next();
    } else if (next_memory < records_.size()) {
      rec = records_[next_memory++];
    }
    if (rec) {
      heap.push_back({rec, source});
      std::push_heap(heap.begin(), heap.end(), greater);
    }
  };
  for (std::size_t s = 0; s <= readers.size(); ++s) advance(s);
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), greater);
    Head top = heap.back();
    heap.pop_back();
    emit(top.rec);
    advance(top.source);
  }
  readers.clear();
  clear();
}

void IndexEntrySorter::clear() {
  blocks_.clear();
  block_size_ = block_used_ = memory_used_ = 0;
  std::vector<const std::uint8_t*>().swap(records_);
  std::vector<std::uint64_t>().swap(table_);
  table_count_ = 0;
  runs_.clear();
  first_memory_id_ = next_id_ = 0;
  temp_.reset();
  temp_size_ = 0;
}

}  // namespace mirutone::jet
