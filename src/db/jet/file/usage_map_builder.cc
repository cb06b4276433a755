#include "db/jet/file/usage_map_builder.h"

#include <algorithm>
#include <cstring>

#include "db/jet/file/data_page_builder.h"
#include "db/jet/format/jet3_format.h"
#include "db/jet/file/page_store.h"
#include "db/jet/file/usage_map.h"

namespace mirutone::jet {

namespace {

constexpr int kBitmapOffset = 5;  // type u8, start u32

bool bit(const std::uint8_t* bits, std::uint32_t i) { return (bits[i / 8] >> (i % 8)) & 1; }
void put_bit(std::uint8_t* bits, std::uint32_t i, bool on) {
  if (on) {
    bits[i / 8] = static_cast<std::uint8_t>(bits[i / 8] | (1u << (i % 8)));
  } else {
    bits[i / 8] = static_cast<std::uint8_t>(bits[i / 8] & ~(1u << (i % 8)));
  }
}

}  // namespace

std::vector<std::uint8_t> inline_map_row(std::uint32_t start, const std::vector<std::uint32_t>& pages) {
  start &= ~7u;
  std::vector<std::uint8_t> row(jet3::kMapRowSize, 0);
  row[0] = fmt::kMapInline;
  jet3::put_u32(&row[1], start);
  for (std::uint32_t p : pages) {
    if (p < start || p - start >= jet3::kInlineMapPages) {
      throw Error(0, "", "page " + std::to_string(p) + " does not fit an inline usage map");
    }
    put_bit(&row[kBitmapOffset], p - start, true);
  }
  return row;
}

namespace {

// Bitmap bytes of an inline global map for a file of `pages` pages: Jet keeps
// 128 up to 1024 pages and grows the row four bytes (32 pages) at a time.
std::size_t global_bitmap_bytes(std::uint32_t pages) {
  return std::max<std::size_t>(jet3::kInlineMapPages / 8, (static_cast<std::size_t>(pages) + 31) / 32 * 4);
}

// Replaces row 0 of page 1, packing the page's other rows below it as they
// were (slot flags kept). False, page unchanged, when the rows do not fit.
bool replace_global_row(PageStore& store, const std::vector<std::uint8_t>& row0) {
  const std::uint8_t* page = store.read(fmt::kGlobalMapPage);
  const int n = data_page_row_count(page);
  struct Kept {
    std::vector<std::uint8_t> bytes;
    std::uint16_t flags;
  };
  std::vector<Kept> rows;
  std::size_t total = row0.size();
  for (int k = 1; k < n; ++k) {
    RowSpan s = row_span(page, fmt::kJet3, k, store.path(), fmt::kGlobalMapPage, "page 1");
    rows.push_back({std::vector<std::uint8_t>(page + s.begin, page + s.end),
                    static_cast<std::uint16_t>(s.slot & ~fmt::kSlotOffsetMask)});
    total += s.end - s.begin;
  }
  const std::size_t table_end = static_cast<std::size_t>(fmt::kJet3.dp_off_row_table + 2 * std::max(n, 1));
  if (table_end + total > static_cast<std::size_t>(jet3::kPageSize)) return false;
  std::uint8_t* w = store.write(fmt::kGlobalMapPage);
  std::memset(w + table_end, 0, jet3::kPageSize - table_end);
  std::size_t pos = jet3::kPageSize - row0.size();
  std::memcpy(w + pos, row0.data(), row0.size());
  jet3::put_u16(w + fmt::kJet3.dp_off_row_table, static_cast<std::uint16_t>(pos));
  for (std::size_t k = 0; k < rows.size(); ++k) {
    pos -= rows[k].bytes.size();
    std::memcpy(w + pos, rows[k].bytes.data(), rows[k].bytes.size());
    jet3::put_u16(w + fmt::kJet3.dp_off_row_table + 2 * (k + 1), static_cast<std::uint16_t>(pos | rows[k].flags));
  }
  jet3::put_u16(w + fmt::kJet3.dp_off_row_count, static_cast<std::uint16_t>(std::max(n, 1)));
  jet3::put_u16(w + fmt::kJet3.dp_off_free, static_cast<std::uint16_t>(pos - table_end));
  return true;
}

[[noreturn]] void too_large(const PageStore& store) {
  throw Error(0, store.path(), "the database has grown past the largest size a Jet 3 usage map can describe");
}

// Gives a reference global map a bitmap page for every slot the file reaches.
// A new bitmap page lists its own pages as in use and those past the end of
// the file as free.
void add_global_bitmap_pages(PageStore& store) {
  for (std::uint32_t slot = 0; slot <= (store.page_count() - 1) / jet3::kBitmapPagePages; ++slot) {
    const std::uint8_t* page = store.read(fmt::kGlobalMapPage);
    RowSpan s = row_span(page, fmt::kJet3, 0, store.path(), fmt::kGlobalMapPage, "global usage map");
    if (slot >= (s.end - s.begin - 1) / 4) too_large(store);
    if (fmt::get_u32(page + s.begin + 1 + 4 * slot) != 0) continue;
    const std::uint32_t bp = store.append_raw();
    std::uint8_t* b = store.write(bp);
    b[0] = fmt::kPageUsageBitmap;
    b[1] = 0x01;
    const std::uint64_t first = static_cast<std::uint64_t>(slot) * jet3::kBitmapPagePages;
    for (std::uint64_t p = std::max<std::uint64_t>(first, bp + 1ull); p < first + jet3::kBitmapPagePages; ++p) {
      put_bit(b + fmt::kMapBitmapPageHeader, static_cast<std::uint32_t>(p - first), true);
    }
    jet3::put_u32(store.write(fmt::kGlobalMapPage) + s.begin + 1 + 4 * slot, bp);
  }
}

// The inline global map no longer fits page 1: the same pages, free or not,
// listed through bitmap pages.
void global_map_to_reference(PageStore& store, const std::vector<std::uint32_t>& free_pages) {
  std::vector<std::uint8_t> row(jet3::kMapRowSize, 0);
  row[0] = fmt::kMapReference;
  if (!replace_global_row(store, row)) too_large(store);
  add_global_bitmap_pages(store);
  UsageMap global(store, fmt::RowPointer{fmt::kGlobalMapPage, 0});
  for (std::uint32_t p : free_pages) global.set(p, true);
}

}  // namespace

std::vector<std::uint8_t> global_map_row(std::uint32_t page_count) {
  const std::size_t bytes = global_bitmap_bytes(page_count);
  std::vector<std::uint8_t> row(kBitmapOffset + bytes, 0);
  row[0] = fmt::kMapInline;
  for (std::uint32_t p = page_count; p < bytes * 8; ++p) put_bit(&row[kBitmapOffset], p, true);
  return row;
}

void cover_file_in_global_map(PageStore& store) {
  const std::uint32_t count = store.page_count();
  const std::uint8_t* page = store.read(fmt::kGlobalMapPage);
  RowSpan s = row_span(page, fmt::kJet3, 0, store.path(), fmt::kGlobalMapPage, "global usage map");
  const std::uint8_t* r = page + s.begin;
  const std::size_t len = s.end - s.begin;
  if (r[0] == fmt::kMapReference) {
    add_global_bitmap_pages(store);
    return;
  }
  if (r[0] != fmt::kMapInline || len < static_cast<std::size_t>(kBitmapOffset)) {
    throw CorruptError(store.path(), "the global usage map on page 1 is not a usage map");
  }
  const std::uint32_t start = fmt::get_u32(r + 1);
  const std::uint64_t covered = start + static_cast<std::uint64_t>(len - kBitmapOffset) * 8;
  if (start == 0 && covered >= count) return;
  // Free pages stay free; pages of the file the old row did not reach are in
  // use (whoever added them did not list them), those past the end are free.
  std::vector<std::uint32_t> free_pages;
  for (std::uint64_t i = 0; i < covered - start; ++i) {
    if (bit(r + kBitmapOffset, static_cast<std::uint32_t>(i)) && start + i < count) {
      free_pages.push_back(static_cast<std::uint32_t>(start + i));
    }
  }
  std::vector<std::uint8_t> row = global_map_row(count);
  for (std::uint32_t p : free_pages) put_bit(&row[kBitmapOffset], p, true);
  if (replace_global_row(store, row)) return;
  global_map_to_reference(store, free_pages);
}

std::uint8_t* UsageMap::row(bool writable, int* length) {
  std::uint8_t* page = writable ? store_.write(where_.page)
                                : const_cast<std::uint8_t*>(store_.read(where_.page));
  RowSpan span = row_span(page, fmt::kJet3, where_.row, store_.path(), where_.page, "usage map");
  int len = static_cast<int>(span.end - span.begin);
  if (len < 1 || (page[span.begin] == fmt::kMapInline && len < kBitmapOffset)) {
    throw CorruptError(store_.path(), "usage map at page " + std::to_string(where_.page) + " row " +
                                          std::to_string(where_.row) + " is too short");
  }
  *length = len;
  return page + span.begin;
}

bool UsageMap::contains(std::uint32_t page) {
  int len = 0;
  const std::uint8_t* r = row(false, &len);
  if (r[0] == fmt::kMapInline) {
    std::uint32_t start = fmt::get_u32(r + 1);
    std::uint32_t span = static_cast<std::uint32_t>(len - kBitmapOffset) * 8;
    return page >= start && page - start < span && bit(r + kBitmapOffset, page - start);
  }
  std::uint32_t slot = page / jet3::kBitmapPagePages;
  if (slot >= static_cast<std::uint32_t>((len - 1) / 4)) return false;
  std::uint32_t bp = fmt::get_u32(r + 1 + 4 * slot);
  if (bp == 0) return false;
  return bit(store_.read(bp) + fmt::kMapBitmapPageHeader, page % jet3::kBitmapPagePages);
}

std::vector<std::uint32_t> UsageMap::pages() {
  int len = 0;
  const std::uint8_t* r = row(false, &len);
  std::vector<std::uint32_t> out;
  if (r[0] == fmt::kMapInline) {
    std::uint32_t start = fmt::get_u32(r + 1);
    std::uint32_t span = static_cast<std::uint32_t>(len - kBitmapOffset) * 8;
    for (std::uint32_t i = 0; i < span; ++i) {
      if (bit(r + kBitmapOffset, i)) out.push_back(start + i);
    }
    return out;
  }
  std::vector<std::uint32_t> bitmaps;
  for (int k = 0; k < (len - 1) / 4; ++k) bitmaps.push_back(fmt::get_u32(r + 1 + 4 * k));
  for (std::size_t k = 0; k < bitmaps.size(); ++k) {
    if (bitmaps[k] == 0) continue;
    const std::uint8_t* b = store_.read(bitmaps[k]) + fmt::kMapBitmapPageHeader;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(jet3::kBitmapPagePages); ++i) {
      if (bit(b, i)) out.push_back(static_cast<std::uint32_t>(k) * jet3::kBitmapPagePages + i);
    }
  }
  return out;
}

void UsageMap::set(std::uint32_t page, bool on) {
  int len = 0;
  std::uint8_t* r = row(true, &len);
  if (r[0] == fmt::kMapInline) {
    std::uint32_t start = fmt::get_u32(r + 1);
    std::uint32_t span = static_cast<std::uint32_t>(len - kBitmapOffset) * 8;
    if (page >= start && page - start < span) {
      put_bit(r + kBitmapOffset, page - start, on);
      return;
    }
    if (!on) return;
    std::vector<std::uint32_t> listed = pages();
    listed.push_back(page);
    auto [lo, hi] = std::minmax_element(listed.begin(), listed.end());
    std::uint32_t new_start = *lo & ~7u;
    if (*hi - new_start < span) {
      r = row(true, &len);
      std::memset(r + kBitmapOffset, 0, static_cast<std::size_t>(len - kBitmapOffset));
      jet3::put_u32(r + 1, new_start);
      for (std::uint32_t p : listed) put_bit(r + kBitmapOffset, p - new_start, true);
      return;
    }
    to_reference(r, len);
    r = row(true, &len);
  }
  std::uint32_t slot = page / jet3::kBitmapPagePages;
  if (slot >= static_cast<std::uint32_t>((len - 1) / 4)) {
    throw Error(0, store_.path(), "the database has grown past the largest size a Jet 3 usage map can describe");
  }
  std::uint32_t bp = fmt::get_u32(r + 1 + 4 * slot);
  if (bp == 0) {
    if (!on) return;
    bp = store_.allocate();
    std::uint8_t* b = store_.write(bp);
    b[0] = fmt::kPageUsageBitmap;
    b[1] = 0x01;
    r = row(true, &len);
    jet3::put_u32(r + 1 + 4 * slot, bp);
  }
  put_bit(store_.write(bp) + fmt::kMapBitmapPageHeader, page % jet3::kBitmapPagePages, on);
}

void UsageMap::to_reference(std::uint8_t* r, int length) {
  std::vector<std::uint32_t> listed = pages();
  r = row(true, &length);
  std::memset(r, 0, static_cast<std::size_t>(length));
  r[0] = fmt::kMapReference;
  for (std::uint32_t p : listed) set(p, true);
}

void mark_page_used(PageStore& store, std::uint32_t page) {
  cover_file_in_global_map(store);
  UsageMap(store, fmt::RowPointer{fmt::kGlobalMapPage, 0}).set(page, false);
}

void mark_page_free(PageStore& store, std::uint32_t page) {
  cover_file_in_global_map(store);
  UsageMap(store, fmt::RowPointer{fmt::kGlobalMapPage, 0}).set(page, true);
}

}  // namespace mirutone::jet
