#include "db/jet/usage_map_builder.h"

#include <algorithm>
#include <cstring>

#include "db/jet/jet3_layout.h"
#include "db/jet/page_store.h"
#include "db/jet/usage_map.h"

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

std::vector<std::uint8_t> global_map_row(std::uint32_t page_count) {
  std::vector<std::uint8_t> row(jet3::kMapRowSize, 0);
  row[0] = fmt::kMapInline;
  for (std::uint32_t p = page_count; p < jet3::kInlineMapPages; ++p) put_bit(&row[kBitmapOffset], p, true);
  return row;
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
  UsageMap(store, fmt::RowPointer{fmt::kGlobalMapPage, 0}).set(page, false);
}

}  // namespace mirutone::jet
