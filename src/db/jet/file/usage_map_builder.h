// Building and changing usage maps: the 133-byte rows that list which pages
// belong to a table, an index or a long-value column, and the global map on
// page 1 that lists which pages are free.
//
// Maps start out inline (type 0, start page 0, 1024 pages). When a page falls
// outside the window, a map whose pages all fit into one window slides its
// start; otherwise it becomes a reference map (type 1) of the same length
// whose bitmap pages are allocated as needed.
//
// The global map always covers the whole file, as Jet keeps it: an inline row
// with start 0 that grows with the file in steps of 32 pages, the pages from
// the end of the file to the end of the row marked free. A page the map does
// not cover counts as free to Jet, so the map is grown before a page is added.
// When the row no longer fits page 1 (past 15,168 pages) it becomes a
// reference map with a bitmap page for every 16,352 pages of the file, the
// pages past the end of the file again marked free.
#pragma once

#include <cstdint>
#include <vector>

#include "db/jet/format/format.h"

namespace mirutone::jet {

class PageStore;

// An inline map row (type 0) listing `pages`; each must lie in
// [start, start + 1024). start is rounded down to a multiple of 8.
std::vector<std::uint8_t> inline_map_row(std::uint32_t start, const std::vector<std::uint32_t>& pages);

// The global map of a database whose pages 0 .. page_count-1 are all in use:
// an inline row covering at least 1024 pages and every page of the file
// (rounded up to 32 pages), each page from page_count up marked free.
std::vector<std::uint8_t> global_map_row(std::uint32_t page_count);

// A usage map stored as a row of some page of `store`.
class UsageMap {
 public:
  UsageMap(PageStore& store, fmt::RowPointer where) : store_(store), where_(where) {}

  bool contains(std::uint32_t page);
  // Adds or removes a page; may slide the window or turn the map into a
  // reference map (allocating bitmap pages through the store).
  void set(std::uint32_t page, bool on);
  // Every listed page, ascending.
  std::vector<std::uint32_t> pages();

 private:
  std::uint8_t* row(bool writable, int* length);
  void to_reference(std::uint8_t* r, int length);

  PageStore& store_;
  fmt::RowPointer where_;
};

// Grows the global map (page 1, row 0) until it covers every page of the
// store; pages it newly covers inside the file count as in use. Error when
// the file is past what a Jet 3 map can describe.
void cover_file_in_global_map(PageStore& store);

// Marks a page as in use, or as free, in the global map, growing it first.
void mark_page_used(PageStore& store, std::uint32_t page);
void mark_page_free(PageStore& store, std::uint32_t page);

}  // namespace mirutone::jet
