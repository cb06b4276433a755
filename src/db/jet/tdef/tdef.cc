#include "db/jet/tdef/tdef.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "db/jet/text/codepage.h"
#include "db/jet/api/error.h"
#include "db/jet/file/page_file.h"

namespace mirutone::jet {

const ColumnDef* TableDef::column_by_number(std::uint16_t number) const {
  for (const ColumnDef& c : columns)
    if (c.number == number) return &c;
  return nullptr;
}

namespace {

std::string where(const std::string& table, std::uint32_t page) {
  return (table.empty() ? std::string("table definition") : "table '" + table + "'") +
         " (TDEF page " + std::to_string(page) + ")";
}

class Cursor {
 public:
  Cursor(const std::vector<std::uint8_t>& buf, std::size_t end, const std::string& src,
         const std::string& ctx)
      : buf_(buf), end_(end), src_(src), ctx_(ctx) {}
  const std::uint8_t* take(std::size_t n, const char* what) {
    if (pos_ + n > end_)
      throw CorruptError(src_, ctx_ + ": " + what + " runs past the end of the definition (" +
                                   std::to_string(pos_ + n) + " > " + std::to_string(end_) + ")");
    const std::uint8_t* p = buf_.data() + pos_;
    pos_ += n;
    return p;
  }
  std::size_t pos() const { return pos_; }
  void seek(std::size_t p) { pos_ = p; }
  std::size_t remaining() const { return end_ > pos_ ? end_ - pos_ : 0; }

 private:
  const std::vector<std::uint8_t>& buf_;
  std::size_t end_;
  std::size_t pos_ = 0;
  const std::string& src_;
  const std::string& ctx_;
};

std::string read_name(Cursor& cur, const fmt::Layout& lay, const CodePage& names,
                      const std::string& src, const std::string& ctx) {
  std::size_t len = lay.name_len_size == 1 ? *cur.take(1, "name length")
                                           : fmt::get_u16(cur.take(2, "name length"));
  const std::uint8_t* p = cur.take(len, "name");
  std::string out;
  try {
    if (lay.format == Format::Jet3)
      names.decode(p, len, out);
    else
      decode_jet4_text(p, len, out);
  } catch (const CorruptError&) {
    throw;
  } catch (const Error& e) {
    throw CorruptError(src, ctx + ": a name cannot be decoded: " + e.what());
  }
  return out;
}

ColumnType to_column_type(std::uint8_t t) { return static_cast<ColumnType>(t); }

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

// Jet's order of logical indexes: by the stored name bytes, ASCII letters
// folded.
bool name_less(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
      });
}

}  // namespace

std::vector<std::uint8_t> read_tdef_bytes(const PageSource& src, const fmt::Layout& lay,
                                          std::uint32_t page, const std::string& table,
                                          std::vector<std::uint32_t>& pages) {
  const std::string ctx = where(table, page);
  std::vector<std::uint8_t> buf;
  std::vector<std::uint8_t> pg(static_cast<std::size_t>(lay.page_size));
  std::unordered_set<std::uint32_t> seen;
  std::uint32_t cur = page;
  pages.clear();
  if (page == 0) throw CorruptError(src.path(), ctx + ": no table definition page (page 0)");
  while (cur != 0) {
    if (!seen.insert(cur).second)
      throw CorruptError(src.path(), ctx + ": the page chain loops back to page " +
                                         std::to_string(cur));
    src.check_page(cur, ctx.c_str());
    src.read_page(cur, pg.data());
    if (pg[0] != fmt::kPageTdef)
      throw CorruptError(src.path(), ctx + ": page " + std::to_string(cur) +
                                         " is not a table definition page (type " +
                                         std::to_string(pg[0]) + ")");
    pages.push_back(cur);
    if (buf.empty())
      buf.insert(buf.end(), pg.begin(), pg.end());
    else
      buf.insert(buf.end(), pg.begin() + lay.td_continuation_header, pg.end());
    cur = fmt::get_u32(pg.data() + lay.td_off_next);
  }
  return buf;
}

TableDef read_tdef(const PageSource& src, const fmt::Layout& lay, const CodePage& names,
                   std::uint32_t page, const std::string& table) {
  std::vector<std::uint32_t> pages;
  std::vector<std::uint8_t> buf = read_tdef_bytes(src, lay, page, table, pages);
  TableDef td = parse_tdef(buf, lay, names, src.path(), where(table, page));
  td.pages = std::move(pages);
  return td;
}

TableDef parse_tdef(const std::vector<std::uint8_t>& buf, const fmt::Layout& lay, const CodePage& names,
                    const std::string& file, const std::string& ctx) {
  TableDef td;
  const std::uint8_t* b = buf.data();
  if (buf.size() < static_cast<std::size_t>(lay.td_var_start))
    throw CorruptError(file, ctx + ": definition is shorter than its fixed header");

  td.length = fmt::get_u32(b + lay.td_off_len);
  // tdef_len is the length of the concatenated definition; trust the smaller.
  std::size_t end = std::min<std::size_t>(buf.size(), td.length);
  if (end < static_cast<std::size_t>(lay.td_var_start))
    throw CorruptError(file, ctx + ": definition length " + std::to_string(td.length) +
                                 " is shorter than its fixed header");
  td.row_count = fmt::get_u32(b + lay.td_off_row_count);
  td.autonumber = fmt::get_u32(b + lay.td_off_autonumber);
  td.table_type = b[lay.td_off_table_type];
  td.max_columns = fmt::get_u16(b + lay.td_off_max_cols);
  td.var_columns = fmt::get_u16(b + lay.td_off_var_cols);
  td.num_columns = fmt::get_u16(b + lay.td_off_num_cols);
  td.num_logical_indexes = fmt::get_u32(b + lay.td_off_num_logical);
  td.num_real_indexes = fmt::get_u32(b + lay.td_off_num_real);
  td.owned_map = fmt::get_row_pointer(b + lay.td_off_owned_map);
  td.free_map = fmt::get_row_pointer(b + lay.td_off_free_map);

  if (td.num_real_indexes > 1000 || td.num_logical_indexes > 1000)
    throw CorruptError(file, ctx + ": implausible index counts (" +
                                 std::to_string(td.num_real_indexes) + " real, " +
                                 std::to_string(td.num_logical_indexes) + " logical)");
  // Jet keeps the slots of deleted variable columns: the variable count (and
  // every row's offset table) still counts them, so it may exceed the number
  // of live columns, but never the number of columns the table ever had.
  const std::uint16_t ever = std::max(td.max_columns, td.num_columns);
  if (td.var_columns > ever)
    throw CorruptError(file, ctx + ": " + std::to_string(td.var_columns) +
                                 " variable columns but the table never had more than " +
                                 std::to_string(ever) + " columns");

  Cursor cur(buf, end, file, ctx);
  cur.seek(static_cast<std::size_t>(lay.td_var_start));

  td.real_indexes.resize(td.num_real_indexes);
  for (RealIndexDef& ri : td.real_indexes) {
    const std::uint8_t* p = cur.take(static_cast<std::size_t>(lay.real_index_stats_size),
                                     "index statistics");
    // Jet 3: entries, distinct keys. Jet 4 adds a third u32 (0).
    ri.entry_count = fmt::get_u32(p);
    ri.distinct_count = fmt::get_u32(p + 4);
  }

  td.columns.resize(td.num_columns);
  for (int i = 0; i < td.num_columns; ++i) {
    const std::uint8_t* p = cur.take(static_cast<std::size_t>(lay.col_desc_size),
                                     "column descriptor");
    ColumnDef& c = td.columns[static_cast<std::size_t>(i)];
    c.storage_index = i;
    c.raw_type = p[lay.col_off_type];
    c.type = to_column_type(c.raw_type);
    c.number = fmt::get_u16(p + lay.col_off_number);
    c.var_index = fmt::get_u16(p + lay.col_off_var_index);
    c.flags = p[lay.col_off_flags];
    c.fixed_offset = fmt::get_u16(p + lay.col_off_fixed_offset);
    c.length = fmt::get_u16(p + lay.col_off_length);
    if (lay.format == Format::Jet3) {
      c.sort_order = fmt::get_u16(p + lay.col_off_sort_order);
      c.codepage = fmt::get_u16(p + lay.col_off_codepage);
      c.unknown5 = fmt::get_u16(p + lay.col_off_unknown5);
      c.unknown7 = fmt::get_u16(p + lay.col_off_unknown7);
    } else {
      c.extra_flags = p[lay.col_off_extra_flags];
      if (c.raw_type == static_cast<std::uint8_t>(ColumnType::Decimal)) {
        c.precision = p[lay.col_off_precision];
        c.scale = p[lay.col_off_scale];
      } else {
        c.sort_order = fmt::get_u16(p + lay.col_off_sort_order);
      }
    }
  }
  for (ColumnDef& c : td.columns) c.name = read_name(cur, lay, names, file, ctx);

  for (RealIndexDef& ri : td.real_indexes) {
    const std::uint8_t* p = cur.take(static_cast<std::size_t>(lay.real_index_size),
                                     "index descriptor");
    for (int s = 0; s < fmt::kIndexColumnSlots; ++s) {
      const std::uint8_t* slot = p + lay.ri_off_columns + 3 * s;
      std::uint16_t num = fmt::get_u16(slot);
      if (num == fmt::kIndexSlotUnused) continue;
      ri.columns.push_back({num, slot[2] == fmt::kIndexOrderAscending});
    }
    ri.usage_map = fmt::get_row_pointer(p + lay.ri_off_map);
    ri.first_page = fmt::get_u32(p + lay.ri_off_root);
    ri.flags = p[lay.ri_off_flags];
  }

  td.logical_indexes.resize(td.num_logical_indexes);
  for (LogicalIndexDef& li : td.logical_indexes) {
    const std::uint8_t* p = cur.take(static_cast<std::size_t>(lay.logical_index_size),
                                     "logical index descriptor");
    li.number = fmt::get_u32(p + lay.li_off_number);
    li.real_index = fmt::get_u32(p + lay.li_off_real);
    li.fk_table_type = p[lay.li_off_fk_table_type];
    li.fk_index = static_cast<std::int32_t>(fmt::get_u32(p + lay.li_off_fk_index));
    li.fk_table = fmt::get_u32(p + lay.li_off_fk_table);
    li.cascade_update = p[lay.li_off_cascade_update];
    li.cascade_delete = p[lay.li_off_cascade_delete];
    li.type = p[lay.li_off_type];
    if (li.real_index >= td.num_real_indexes)
      throw CorruptError(file, ctx + ": logical index " + std::to_string(li.number) +
                                   " refers to real index " + std::to_string(li.real_index) +
                                   " of " + std::to_string(td.num_real_indexes));
  }
  for (LogicalIndexDef& li : td.logical_indexes) li.name = read_name(cur, lay, names, file, ctx);

  // Long-value column maps, ended by 0xFFFF. Only informative for reading, so
  // a list cut short by the definition length ends quietly.
  while (cur.remaining() >= 2) {
    std::uint16_t num = fmt::get_u16(cur.take(2, "column map list"));
    if (num == 0xFFFF || cur.remaining() < 8) break;
    const std::uint8_t* p = cur.take(8, "column map");
    td.long_value_maps.push_back({num, fmt::get_row_pointer(p), fmt::get_row_pointer(p + 4)});
  }

  std::stable_sort(td.columns.begin(), td.columns.end(),
                   [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });
  for (std::size_t i = 1; i < td.columns.size(); ++i)
    if (td.columns[i].number == td.columns[i - 1].number)
      throw CorruptError(file, ctx + ": two columns share column number " +
                                   std::to_string(td.columns[i].number));
  for (const ColumnDef& c : td.columns) {
    if (!c.fixed() && c.var_index >= td.var_columns && c.type != ColumnType::Boolean)
      throw CorruptError(file, ctx + ": column '" + c.name + "' has variable index " +
                                   std::to_string(c.var_index) + " but the table has " +
                                   std::to_string(td.var_columns) + " variable columns");
  }
  return td;
}

std::vector<std::uint8_t> build_tdef(const TableDef& td, const CodePage& names) {
  if (td.columns.empty() || td.columns.size() > 255) throw Error(0, "", "a table needs 1 to 255 columns");
  if (td.real_indexes.size() > 32 || td.logical_indexes.size() > 32) {
    throw Error(0, "", "a table can have at most 32 indexes");
  }
  std::uint16_t var_cols = 0, max_number = 0;
  for (const auto& c : td.columns) {
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
  append_u32(b, td.row_count);
  append_u32(b, td.autonumber);
  append_u8(b, td.table_type);
  append_u16(b, max_number);
  append_u16(b, var_cols);
  append_u16(b, static_cast<std::uint16_t>(td.columns.size()));
  append_u32(b, static_cast<std::uint32_t>(td.logical_indexes.size()));
  append_u32(b, static_cast<std::uint32_t>(td.real_indexes.size()));
  append_row_pointer(b, td.owned_map);
  append_row_pointer(b, td.free_map);

  for (const auto& ri : td.real_indexes) {
    append_u32(b, ri.entry_count);
    append_u32(b, ri.distinct_count);
  }
  for (const auto& c : td.columns) {
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
  for (const auto& c : td.columns) append_name(b, names.encode(c.name));
  for (const auto& ri : td.real_indexes) {
    if (ri.columns.empty() || ri.columns.size() > fmt::kIndexColumnSlots) {
      throw Error(0, "", "an index needs 1 to 10 columns");
    }
    for (int slot = 0; slot < fmt::kIndexColumnSlots; ++slot) {
      if (slot < static_cast<int>(ri.columns.size())) {
        append_u16(b, ri.columns[slot].number);
        append_u8(b, ri.columns[slot].ascending ? fmt::kIndexOrderAscending : 0);
      } else {
        append_u16(b, fmt::kIndexSlotUnused);
        append_u8(b, 0);
      }
    }
    append_row_pointer(b, ri.usage_map);
    append_u32(b, ri.first_page);
    append_u8(b, ri.flags);
  }
  struct Logical {
    const LogicalIndexDef* def;
    std::string name;  // code-page bytes
  };
  std::vector<Logical> logical;
  for (const auto& li : td.logical_indexes) logical.push_back({&li, names.encode(li.name)});
  std::stable_sort(logical.begin(), logical.end(),
                   [](const Logical& x, const Logical& y) { return name_less(x.name, y.name); });
  for (const auto& l : logical) {
    const LogicalIndexDef& li = *l.def;
    append_u32(b, li.number);
    append_u32(b, li.real_index);
    append_u8(b, li.fk_table_type);
    append_u32(b, static_cast<std::uint32_t>(li.fk_index));
    append_u32(b, li.fk_table);
    append_u8(b, li.cascade_update);
    append_u8(b, li.cascade_delete);
    append_u8(b, li.type);
  }
  for (const auto& l : logical) append_name(b, l.name);
  for (const auto& lv : td.long_value_maps) {
    append_u16(b, lv.column_number);
    append_row_pointer(b, lv.owned_map);
    append_row_pointer(b, lv.free_map);
  }
  append_u16(b, 0xFFFF);
  jet3::put_u32(&b[fmt::kJet3.td_off_len], static_cast<std::uint32_t>(b.size()));
  return b;
}

void lay_out_columns(std::vector<ColumnDef>& columns) {
  std::uint16_t fixed_at = 0, var_count = 0;
  for (ColumnDef& c : columns) {
    if (c.fixed()) {
      c.var_index = var_count;
      if (c.type != ColumnType::Boolean) {
        c.fixed_offset = fixed_at;
        fixed_at = static_cast<std::uint16_t>(fixed_at + c.length);
      }
    } else {
      c.var_index = var_count++;
    }
  }
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
