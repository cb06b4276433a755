#include "db/jet/tdef.h"

#include <algorithm>
#include <unordered_set>

#include "db/jet/codepage.h"
#include "db/jet/error.h"
#include "db/jet/page_file.h"

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
  const std::string ctx = where(table, page);
  const std::string& file = src.path();
  TableDef td;
  std::vector<std::uint8_t> buf = read_tdef_bytes(src, lay, page, table, td.pages);
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

}  // namespace mirutone::jet
