// Usage maps: which pages belong to an object (a table's data pages, an
// index's pages, a long-value column's pages).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/jet/format/format.h"

namespace mirutone::jet {

class PageSource;

// Locates row `ptr.row` on data page `ptr.page` and returns its bytes
// [begin, end) within `page` (which receives the page). Throws CorruptError
// naming `what` when the page or slot does not exist or the row is malformed.
struct RowSpan {
  std::size_t begin = 0, end = 0;
  std::uint16_t slot = 0;  // the raw slot value incl. flag bits
};
RowSpan locate_row(const PageSource& src, const fmt::Layout& lay, fmt::RowPointer ptr,
                   std::vector<std::uint8_t>& page, const std::string& what);

// Row bounds of slot `row` on an already loaded data page.
RowSpan row_span(const std::uint8_t* page, const fmt::Layout& lay, int row, const std::string& file,
                 std::uint32_t page_no, const std::string& what);

// Decodes a usage map row (inline type 0 or reference type 1) into the list of
// pages it marks, in ascending order. Pages beyond the end of the file are
// an error.
std::vector<std::uint32_t> decode_usage_map(const PageSource& src, const fmt::Layout& lay,
                                            const std::uint8_t* row, std::size_t len,
                                            const std::string& what);

// Reads the map row `ptr` points at and decodes it.
std::vector<std::uint32_t> read_usage_map(const PageSource& src, const fmt::Layout& lay,
                                          fmt::RowPointer ptr, const std::string& what);

}  // namespace mirutone::jet
