#include "db/jet/file/page_store.h"

#include <algorithm>
#include <cstring>

#include "db/jet/format/format.h"
#include "db/jet/format/jet3_format.h"
#include "db/jet/file/rc4.h"
#include "db/jet/file/usage_map_builder.h"
#include "platform/file.h"

namespace mirutone::jet {

namespace {
constexpr std::uint32_t kPage = jet3::kPageSize;
// Pages kept in memory before changed ones are written back and all dropped.
constexpr std::size_t kCacheLimit = 1024;
}

PageStore::PageStore(std::string path, platform::File file, std::uint32_t pages)
    : path_(std::move(path)), file_(std::make_unique<platform::File>(std::move(file))), page_count_(pages) {}

PageStore::~PageStore() = default;

void PageStore::fail(const std::string& what, const std::string& cause) const {
  throw Error(0, path_, what + (cause.empty() ? std::string() : ": " + cause));
}

std::unique_ptr<PageStore> PageStore::create(const std::string& path) {
  try {
    return std::unique_ptr<PageStore>(new PageStore(path, platform::File::create_new(path), 0));
  } catch (const platform::FileError& e) {
    if (e.kind() == platform::FileError::Kind::Exists) throw Error(error_numbers::kDatabaseExists, path, "database already exists");
    throw Error(0, path, std::string("cannot create the database file: ") + e.what());
  }
}

std::unique_ptr<PageStore> PageStore::open(const std::string& path) {
  platform::File file;
  std::uint64_t size = 0;
  try {
    file = platform::File::open_write(path);
    size = file.size();
  } catch (const platform::FileError& e) {
    if (e.kind() == platform::FileError::Kind::NotFound) throw Error(error_numbers::kFileNotFound, path, "file not found");
    throw Error(error_numbers::kCannotOpenDatabase, path, std::string("cannot open the database for writing: ") + e.what());
  }
  if (size < 2 * kPage || size % kPage != 0)
    throw CorruptError(path, "not a Jet 3 database (size is not a whole number of 2048-byte pages)");
  std::unique_ptr<PageStore> store(
      new PageStore(path, std::move(file), static_cast<std::uint32_t>(size / kPage)));
  const std::uint8_t* h = store->read(0);
  if (h[0] != fmt::kPageHeader || std::memcmp(h + fmt::kHeaderOffFormatId, "Standard Jet DB", 16) != 0 ||
      fmt::get_u32(h + fmt::kHeaderOffVersion) != 0) {
    throw CorruptError(path, "not a Jet 3 (Access 97) database; only Jet 3 files can be written");
  }
  std::uint8_t masked[126];
  std::memcpy(masked, h + fmt::kHeaderMaskStart, sizeof masked);
  rc4_apply(fmt::kHeaderMaskKey.data(), fmt::kHeaderMaskKey.size(), masked, sizeof masked);
  if (fmt::get_u32(masked + (fmt::kHeaderOffDbKey - fmt::kHeaderMaskStart)) != 0) {
    throw Error(error_numbers::kCannotOpenDatabase, path, "the database is encoded; encoded databases cannot be written");
  }
  if (store->read(fmt::kGlobalMapPage)[0] != fmt::kPageData ||
      store->read(fmt::kCatalogTdefPage)[0] != fmt::kPageTdef) {
    throw CorruptError(path, "page 1 or 2 is not what a Jet 3 database holds there");
  }
  // Files written before the global map grew with the file list nothing past
  // page 1023; the pages there are in use.
  cover_file_in_global_map(*store);
  return store;
}

void PageStore::read_from_file(std::uint32_t page, std::uint8_t* buf) const {
  if (page >= page_count_) {
    fail("page " + std::to_string(page) + " is past the end of the file");
  }
  std::size_t got = 0;
  try {
    got = file_->read_at(static_cast<std::uint64_t>(page) * kPage, buf, kPage);
  } catch (const platform::FileError& e) {
    fail("cannot read page " + std::to_string(page), e.what());
  }
  if (got != kPage) fail("cannot read page " + std::to_string(page), "the file ends inside it");
}

std::vector<std::uint8_t>& PageStore::load(std::uint32_t page) const {
  auto it = cache_.find(page);
  if (it != cache_.end()) return it->second;
  std::vector<std::uint8_t> buf(kPage);
  read_from_file(page, buf.data());
  return cache_.emplace(page, std::move(buf)).first->second;
}

const std::uint8_t* PageStore::read(std::uint32_t page) { return load(page).data(); }

int PageStore::page_size() const { return jet3::kPageSize; }

void PageStore::read_page(std::uint32_t n, std::uint8_t* buf) const {
  // Pages read through this interface (walks over whole trees and tables)
  // are copied out and not kept, so such a walk does not fill the cache.
  auto it = cache_.find(n);
  if (it != cache_.end()) {
    std::copy(it->second.begin(), it->second.end(), buf);
  } else {
    read_from_file(n, buf);
  }
}

std::uint8_t* PageStore::write(std::uint32_t page) {
  auto& buf = load(page);
  dirty_.insert(page);
  return buf.data();
}

void PageStore::make_room() {
  if (cache_.size() >= kCacheLimit) {
    write_back();
    cache_.clear();
  }
}

void PageStore::write_page(std::uint32_t page, std::span<const std::uint8_t> bytes) {
  if (page >= page_count_) fail("page " + std::to_string(page) + " is past the end of the file");
  if (bytes.size() != kPage) fail("a page of " + std::to_string(bytes.size()) + " bytes");
  if (!cache_.count(page)) make_room();
  cache_[page].assign(bytes.begin(), bytes.end());
  dirty_.insert(page);
}

std::uint32_t PageStore::append_raw() {
  make_room();
  std::uint32_t page = page_count_++;
  cache_[page].assign(kPage, 0);
  dirty_.insert(page);
  return page;
}

std::uint32_t PageStore::allocate() {
  std::uint32_t page = append_raw();
  mark_page_used(*this, page);
  return page;
}

void PageStore::flush() {
  write_back();
  try {
    file_->sync();
  } catch (const platform::FileError& e) {
    fail("cannot sync the file", e.what());
  }
}

void PageStore::write_back() {
  // Runs of consecutive pages (new pages come in long runs) go out in one
  // write each, through a buffer of up to kRunPages pages.
  constexpr std::size_t kRunPages = 64;
  std::vector<std::uint8_t> run;
  auto write_run = [&](std::uint32_t first) {
    try {
      file_->write_at(static_cast<std::uint64_t>(first) * kPage, run.data(), run.size());
    } catch (const platform::FileError& e) {
      const std::uint32_t last = first + static_cast<std::uint32_t>(run.size() / kPage) - 1;
      fail(last == first ? "cannot write page " + std::to_string(first)
                         : "cannot write pages " + std::to_string(first) + " to " + std::to_string(last),
           e.what());
    }
    run.clear();
  };
  std::uint32_t first = 0;
  for (std::uint32_t page : dirty_) {
    if (!run.empty() && (page != first + run.size() / kPage || run.size() >= kRunPages * kPage)) write_run(first);
    if (run.empty()) first = page;
    const auto& buf = cache_.at(page);
    run.insert(run.end(), buf.begin(), buf.end());
  }
  if (!run.empty()) write_run(first);
  dirty_.clear();
}

}  // namespace mirutone::jet
