// Building Jet 3 data pages (type 0x01): table rows, long-value (LVAL) rows
// and usage-map rows all live on them.
//
//   0  01 01         page type, constant
//   2  u16           free space: bytes between the end of the slot table and
//                    the lowest row
//   4  u32           owner: TDEF page of the table, "LVAL", or 0 for map rows
//   8  u16           number of rows (slots)
//  10  u16 x n       row offsets, growing upwards
//      ...           free space (zero)
//      rows          row 0 ends at the end of the page, row k just below row k-1
//
// The builder works on a page buffer it does not own, so the same code fills
// a page held by the writer's page cache or a plain array in a test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace mirutone::jet {

// Lays out an empty Jet 3 data page in `page` (2048 bytes): header, no rows,
// free space 2038, everything else zero. `owner` is the TDEF page of the
// table, jet3::kLvalOwner for a long-value page, or 0 for a page of usage maps.
void start_data_page(std::uint8_t* page, std::uint32_t owner);

// Reading the header of a data page without changing it.
int data_page_row_count(const std::uint8_t* page);
int data_page_free_space(const std::uint8_t* page);
std::uint32_t data_page_owner(const std::uint8_t* page);
// Whether a row of `row_size` bytes still fits: it needs its length plus a
// two-byte slot, and a page holds at most 255 rows.
bool data_page_has_room(const std::uint8_t* page, std::size_t row_size);

class DataPageBuilder {
 public:
  // Attaches to a page that already holds a data page (from start_data_page,
  // or read back from a file Jet wrote). The page must outlive the builder.
  explicit DataPageBuilder(std::uint8_t* page) : page_(page) {}

  int row_count() const { return data_page_row_count(page_); }
  int free_space() const { return data_page_free_space(page_); }
  std::uint32_t owner() const { return data_page_owner(page_); }
  bool has_room(std::size_t row_size) const { return data_page_has_room(page_, row_size); }

  // Appends `row` below the lowest row and returns its row number, or nullopt
  // when the page lacks room (the page is then unchanged). Empty rows are not
  // stored by Jet and are refused the same way.
  std::optional<int> add_row(std::span<const std::uint8_t> row);

 private:
  int lowest_row_start() const;
  std::uint8_t* page_;
};

}  // namespace mirutone::jet
