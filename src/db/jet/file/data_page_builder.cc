#include "db/jet/file/data_page_builder.h"

#include <cstring>

#include "db/jet/format/format.h"
#include "db/jet/format/jet3_format.h"

namespace mirutone::jet {

namespace {
constexpr const fmt::Layout& kLay = fmt::kJet3;
}

void start_data_page(std::uint8_t* page, std::uint32_t owner) {
  std::memset(page, 0, jet3::kPageSize);
  page[0] = fmt::kPageData;
  page[1] = 0x01;
  jet3::put_u16(page + kLay.dp_off_free, jet3::kEmptyDataPageFree);
  jet3::put_u32(page + kLay.dp_off_owner, owner);
  jet3::put_u16(page + kLay.dp_off_row_count, 0);
}

int data_page_row_count(const std::uint8_t* page) {
  return fmt::get_u16(page + kLay.dp_off_row_count);
}

int data_page_free_space(const std::uint8_t* page) { return fmt::get_u16(page + kLay.dp_off_free); }

std::uint32_t data_page_owner(const std::uint8_t* page) {
  return fmt::get_u32(page + kLay.dp_off_owner);
}

bool data_page_has_room(const std::uint8_t* page, std::size_t row_size) {
  return row_size > 0 && data_page_row_count(page) < jet3::kMaxRowsPerPage &&
         row_size + jet3::kRowSlotSize <= static_cast<std::size_t>(data_page_free_space(page));
}

int DataPageBuilder::lowest_row_start() const {
  const int n = row_count();
  if (n == 0) return jet3::kPageSize;
  // Rows are packed downwards, so the last slot holds the lowest start.
  return fmt::get_u16(page_ + kLay.dp_off_row_table + jet3::kRowSlotSize * (n - 1)) &
         fmt::kSlotOffsetMask;
}

std::optional<int> DataPageBuilder::add_row(std::span<const std::uint8_t> row) {
  if (!has_room(row.size())) return std::nullopt;
  const int n = row_count();
  const int start = lowest_row_start() - static_cast<int>(row.size());
  std::memcpy(page_ + start, row.data(), row.size());
  jet3::put_u16(page_ + kLay.dp_off_row_table + jet3::kRowSlotSize * n,
                static_cast<std::uint16_t>(start));
  jet3::put_u16(page_ + kLay.dp_off_row_count, static_cast<std::uint16_t>(n + 1));
  // Free space as Jet keeps it: from the end of the slot table to the lowest row.
  const int table_end = kLay.dp_off_row_table + jet3::kRowSlotSize * (n + 1);
  jet3::put_u16(page_ + kLay.dp_off_free, static_cast<std::uint16_t>(start - table_end));
  return n;
}

}  // namespace mirutone::jet
