#include "db/jet/tdef_builder.h"

#include <algorithm>
#include <cctype>

#include "db/jet/error.h"
#include "db/jet/jet3_format.h"

namespace mirutone::jet {

namespace {

using jet3::append_row_pointer;
using jet3::append_u16;
using jet3::append_u32;
using jet3::append_u8;

constexpr int kPageBody = jet3::kPageSize - jet3::kTdefPageHeader;  // 2040 on continuation pages

void append_name(std::vector<std::uint8_t>& b, const std::string& name) {
  if (name.empty() || name.size() > 255) throw Error(0, "", "name \"" + name + "\" has no valid length");
  append_u8(b, static_cast<std::uint8_t>(name.size()));
  b.insert(b.end(), name.begin(), name.end());
}

bool name_less(const TdefLogicalIndex& a, const TdefLogicalIndex& b) {
  return std::lexicographical_compare(
      a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
      });
}

}  // namespace

std::vector<std::uint8_t> build_tdef(const TdefPlan& plan) {
  if (plan.columns.empty() || plan.columns.size() > 255) throw Error(0, "", "a table needs 1 to 255 columns");
  if (plan.real_indexes.size() > 32 || plan.logical_indexes.size() > 32) {
    throw Error(0, "", "a table can have at most 32 indexes");
  }
  std::uint16_t var_cols = 0, max_number = 0;
  for (const auto& c : plan.columns) {
    if (!c.fixed()) ++var_cols;
    max_number = std::max<std::uint16_t>(max_number, static_cast<std::uint16_t>(c.number + 1));
  }

  std::vector<std::uint8_t> b;
  b.reserve(1024);
  append_u8(b, fmt::kPageTdef);
  append_u8(b, 0x01);
  append_u8(b, jet3::kTdefMagic0);
  append_u8(b, jet3::kTdefMagic1);
  append_u32(b, 0);  // next page, set by split_tdef
  append_u32(b, 0);  // tdef_len, set below
  append_u32(b, plan.row_count);
  append_u32(b, plan.autonumber);
  append_u8(b, plan.system ? jet3::kTableTypeSystem : jet3::kTableTypeUser);
  append_u16(b, max_number);
  append_u16(b, var_cols);
  append_u16(b, static_cast<std::uint16_t>(plan.columns.size()));
  append_u32(b, static_cast<std::uint32_t>(plan.logical_indexes.size()));
  append_u32(b, static_cast<std::uint32_t>(plan.real_indexes.size()));
  append_row_pointer(b, plan.owned_map);
  append_row_pointer(b, plan.free_map);

  for (const auto& ri : plan.real_indexes) {
    append_u32(b, ri.entries);
    append_u32(b, ri.distinct);
  }
  for (const auto& c : plan.columns) {
    append_u8(b, static_cast<std::uint8_t>(c.type));
    append_u16(b, c.number);
    append_u16(b, c.var_index);
    append_u16(b, c.unknown5);
    append_u16(b, c.unknown7);
    append_u16(b, c.sort_order);
    append_u16(b, c.codepage);
    append_u8(b, c.flags);
    append_u16(b, c.fixed() ? c.fixed_offset : 0);
    append_u16(b, c.length);
  }
  for (const auto& c : plan.columns) append_name(b, c.name);
  for (const auto& ri : plan.real_indexes) {
    if (ri.columns.empty() || ri.columns.size() > fmt::kIndexColumnSlots) {
      throw Error(0, "", "an index needs 1 to 10 columns");
    }
    for (int slot = 0; slot < fmt::kIndexColumnSlots; ++slot) {
      if (slot < static_cast<int>(ri.columns.size())) {
        append_u16(b, ri.columns[slot].column);
        append_u8(b, ri.columns[slot].ascending ? fmt::kIndexOrderAscending : 0);
      } else {
        append_u16(b, fmt::kIndexSlotUnused);
        append_u8(b, 0);
      }
    }
    append_row_pointer(b, ri.map);
    append_u32(b, ri.root);
    append_u8(b, ri.flags);
  }
  std::vector<TdefLogicalIndex> logical = plan.logical_indexes;
  std::stable_sort(logical.begin(), logical.end(), name_less);
  for (const auto& li : logical) {
    append_u32(b, li.number);
    append_u32(b, li.real);
    append_u8(b, 0);           // related table type (not a foreign key)
    append_u32(b, 0xFFFFFFFF);  // related index: none
    append_u32(b, 0);          // related table
    append_u8(b, jet3::kLogicalNoCascade);
    append_u8(b, jet3::kLogicalNoCascade);
    append_u8(b, li.type);
  }
  for (const auto& li : logical) append_name(b, li.name);
  for (const auto& lv : plan.long_value_maps) {
    append_u16(b, lv.column);
    append_row_pointer(b, lv.owned);
    append_row_pointer(b, lv.free);
  }
  append_u16(b, 0xFFFF);
  jet3::put_u32(&b[fmt::kJet3.td_off_len], static_cast<std::uint32_t>(b.size()));
  return b;
}

int tdef_page_count(std::size_t tdef_len) {
  if (tdef_len <= static_cast<std::size_t>(jet3::kPageSize)) return 1;
  return 1 + static_cast<int>((tdef_len - jet3::kPageSize + kPageBody - 1) / kPageBody);
}

TdefPosition tdef_position(int joined_offset) {
  if (joined_offset < jet3::kPageSize) return {0, joined_offset};
  int rest = joined_offset - jet3::kPageSize;
  return {1 + rest / kPageBody, jet3::kTdefPageHeader + rest % kPageBody};
}

std::vector<std::vector<std::uint8_t>> split_tdef(const std::vector<std::uint8_t>& tdef,
                                                  const std::vector<std::uint32_t>& pages) {
  int count = tdef_page_count(tdef.size());
  if (static_cast<int>(pages.size()) != count) throw Error(0, "", "wrong number of pages for a table definition");
  std::vector<std::vector<std::uint8_t>> out(count, std::vector<std::uint8_t>(jet3::kPageSize, 0));
  for (std::size_t i = 0; i < tdef.size(); ++i) {
    TdefPosition pos = tdef_position(static_cast<int>(i));
    out[pos.page_index][pos.offset] = tdef[i];
  }
  for (int k = 0; k < count; ++k) {
    auto& p = out[k];
    p[0] = fmt::kPageTdef;
    p[1] = 0x01;
    p[2] = jet3::kTdefMagic0;
    p[3] = jet3::kTdefMagic1;
    jet3::put_u32(&p[fmt::kJet3.td_off_next], k + 1 < count ? pages[k + 1] : 0);
  }
  return out;
}

}  // namespace mirutone::jet
