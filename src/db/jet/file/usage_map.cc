#include "db/jet/file/usage_map.h"

#include "db/jet/api/error.h"
#include "db/jet/file/page_file.h"

namespace mirutone::jet {

RowSpan row_span(const std::uint8_t* page, const fmt::Layout& lay, int row, const std::string& file,
                 std::uint32_t page_no, const std::string& what) {
  const int ps = lay.page_size;
  int count = fmt::get_u16(page + lay.dp_off_row_count);
  auto where = [&] {
    return what + ": page " + std::to_string(page_no) + " row " + std::to_string(row);
  };
  if (row >= count || lay.dp_off_row_table + 2 * count > ps)
    throw CorruptError(file, where() + " does not exist (the page has " + std::to_string(count) +
                                 " rows)");
  RowSpan s;
  s.slot = fmt::get_u16(page + lay.dp_off_row_table + 2 * row);
  s.begin = s.slot & fmt::kSlotOffsetMask;
  // A row ends where the previous row (in slot order) starts. Deleted rows may
  // carry odd offsets, so take the nearest start above this one.
  std::size_t end = static_cast<std::size_t>(ps);
  for (int k = row - 1; k >= 0; --k) {
    std::size_t other = fmt::get_u16(page + lay.dp_off_row_table + 2 * k) & fmt::kSlotOffsetMask;
    if (other > s.begin) {
      end = other;
      break;
    }
  }
  s.end = end;
  std::size_t table_end = static_cast<std::size_t>(lay.dp_off_row_table + 2 * count);
  if (s.begin < table_end || s.begin > s.end || s.end > static_cast<std::size_t>(ps))
    throw CorruptError(file, where() + " has an invalid offset " + std::to_string(s.begin));
  return s;
}

RowSpan locate_row(const PageSource& src, const fmt::Layout& lay, fmt::RowPointer ptr,
                   std::vector<std::uint8_t>& page, const std::string& what) {
  src.check_page(ptr.page, what.c_str());
  page.resize(static_cast<std::size_t>(lay.page_size));
  src.read_page(ptr.page, page.data());
  if (page[0] != fmt::kPageData)
    throw CorruptError(src.path(), what + ": page " + std::to_string(ptr.page) +
                                       " is not a data page (type " + std::to_string(page[0]) +
                                       ")");
  return row_span(page.data(), lay, ptr.row, src.path(), ptr.page, what);
}

std::vector<std::uint32_t> decode_usage_map(const PageSource& src, const fmt::Layout& lay,
                                            const std::uint8_t* row, std::size_t len,
                                            const std::string& what) {
  std::vector<std::uint32_t> pages;
  if (len < 1) throw CorruptError(src.path(), what + ": usage map row is empty");
  const std::uint32_t count = src.page_count();
  auto add = [&](std::uint64_t p) {
    if (p >= count)
      throw CorruptError(src.path(), what + ": usage map lists page " + std::to_string(p) +
                                         " beyond the end of the file (" + std::to_string(count) +
                                         " pages)");
    pages.push_back(static_cast<std::uint32_t>(p));
  };
  if (row[0] == fmt::kMapInline) {
    if (len < 5) throw CorruptError(src.path(), what + ": inline usage map row is too short");
    std::uint32_t start = fmt::get_u32(row + 1);
    for (std::size_t i = 5; i < len; ++i) {
      std::uint8_t byte = row[i];
      for (int bit = 0; byte != 0 && bit < 8; ++bit)
        if (byte & (1u << bit)) add(static_cast<std::uint64_t>(start) + (i - 5) * 8 + bit);
    }
    return pages;
  }
  if (row[0] != fmt::kMapReference)
    throw CorruptError(src.path(), what + ": unknown usage map type " + std::to_string(row[0]));
  const std::uint64_t per_page = static_cast<std::uint64_t>(lay.page_size - fmt::kMapBitmapPageHeader) * 8;
  std::vector<std::uint8_t> bm(static_cast<std::size_t>(lay.page_size));
  for (std::size_t j = 0; 1 + 4 * j + 4 <= len; ++j) {
    std::uint32_t bp = fmt::get_u32(row + 1 + 4 * j);
    if (bp == 0) continue;
    src.check_page(bp, what.c_str());
    src.read_page(bp, bm.data());
    if (bm[0] != fmt::kPageUsageBitmap)
      throw CorruptError(src.path(), what + ": usage map refers to page " + std::to_string(bp) +
                                         ", which is not a usage bitmap page (type " +
                                         std::to_string(bm[0]) + ")");
    for (std::size_t i = fmt::kMapBitmapPageHeader; i < bm.size(); ++i) {
      std::uint8_t byte = bm[i];
      for (int bit = 0; byte != 0 && bit < 8; ++bit)
        if (byte & (1u << bit)) {
          add(j * per_page + (i - fmt::kMapBitmapPageHeader) * 8 + bit);
        }
    }
  }
  return pages;
}

std::vector<std::uint32_t> read_usage_map(const PageSource& src, const fmt::Layout& lay,
                                          fmt::RowPointer ptr, const std::string& what) {
  std::vector<std::uint8_t> page;
  RowSpan s = locate_row(src, lay, ptr, page, what + " (usage map)");
  return decode_usage_map(src, lay, page.data() + s.begin, s.end - s.begin, what);
}

}  // namespace mirutone::jet
