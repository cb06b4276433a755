// A Jet 3 database file opened for writing, seen as an array of 2 KiB pages.
//
// Pages are read on first use and kept in memory (up to 1024 of them, see
// allocate()); changed pages go back to the file on flush(). Pages read
// through the PageSource interface are not kept. New pages are added at the end of the file and marked
// "in use" in the global free-page map (page 1, row 0). Any failure to read
// or write ends in an Error that names the file.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/jet/api/error.h"
#include "db/jet/file/page_file.h"

namespace mirutone::platform {
class File;
}

namespace mirutone::jet {

class PageStore : public PageSource {
 public:
  // Creates a new, empty file. Error 3204 when something already exists at path.
  static std::unique_ptr<PageStore> create(const std::string& path);
  // Opens an existing Jet 3 file for reading and writing. Error 3024 when it is
  // missing, 3049 when it is not an unencoded Jet 3 database.
  static std::unique_ptr<PageStore> open(const std::string& path);

  ~PageStore() override;
  PageStore(const PageStore&) = delete;
  PageStore& operator=(const PageStore&) = delete;

  const std::string& path() const override { return path_; }
  int page_size() const override;
  std::uint32_t page_count() const override { return page_count_; }
  void read_page(std::uint32_t n, std::uint8_t* buf) const override;

  // Read-only view of a page (Error for a page past the end).
  const std::uint8_t* read(std::uint32_t page);
  // Writable view; the page is written back on the next flush().
  std::uint8_t* write(std::uint32_t page);

  // Replaces the whole of an existing page (without reading it first). Like
  // allocate(), it may write changed pages back and drop the cache, so views
  // taken before it must be taken again.
  void write_page(std::uint32_t page, std::span<const std::uint8_t> bytes);

  // Adds a zeroed page at the end of the file, marks it in use in the global
  // map and returns its number. Adding a page may write changed pages back
  // and drop the cache, so views taken before it must be taken again.
  std::uint32_t allocate();
  // Adds a zeroed page without touching the global map (for the pages the
  // global map itself needs, and while the first pages are being laid out).
  std::uint32_t append_raw();

  // Writes every changed page to the file and syncs it.
  void flush();

  // Throws the Error used for every failed read or write of this file.
  [[noreturn]] void fail(const std::string& what, const std::string& cause = {}) const;

 private:
  PageStore(std::string path, platform::File file, std::uint32_t pages);
  std::vector<std::uint8_t>& load(std::uint32_t page) const;
  void read_from_file(std::uint32_t page, std::uint8_t* buf) const;
  void write_back();
  void make_room();

  std::string path_;
  std::unique_ptr<platform::File> file_;
  std::uint32_t page_count_ = 0;
  mutable std::unordered_map<std::uint32_t, std::vector<std::uint8_t>> cache_;
  std::set<std::uint32_t> dirty_;
};

}  // namespace mirutone::jet
