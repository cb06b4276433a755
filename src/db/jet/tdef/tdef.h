// Table definitions (TDEF pages): one model of the structure as stored, for
// the reader, the index code and the writer alike, and the one codec that
// parses it from the pages and builds the pages from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/jet/format/format.h"
#include "db/jet/api/value.h"

namespace mirutone::jet {

class PageSource;
class CodePage;

struct ColumnDef {
  std::string name;
  std::uint8_t raw_type = 0;         // type code as stored
  ColumnType type = ColumnType::Text;
  std::uint16_t number = 0;          // column number: the null-mask bit
  std::uint16_t var_index = 0;       // slot in the variable-offset table (variable columns)
  std::uint16_t sort_order = 0;      // text sort order (LCID)
  std::uint16_t codepage = 0;        // Jet 3 only: the column's code page
  std::uint16_t unknown5 = 0;        // Jet 3 only: descriptor bytes 5..8, meaning unknown;
  std::uint16_t unknown7 = 0;        //   Access writes (column number, 1) on user tables, (0, 1) on system ones
  std::uint8_t precision = 0;        // Jet 4 Decimal only
  std::uint8_t scale = 0;            // Jet 4 Decimal only
  std::uint8_t flags = 0;            // fmt::kCol*
  std::uint8_t extra_flags = 0;      // Jet 4 only
  std::uint16_t fixed_offset = 0;    // in the fixed area (fixed columns)
  std::uint16_t length = 0;          // declared length in bytes
  int storage_index = 0;             // position of the descriptor in the TDEF

  bool fixed() const { return (flags & fmt::kColFixed) != 0; }
  bool auto_long() const { return (flags & fmt::kColAutoLong) != 0; }
  bool auto_guid() const { return (flags & fmt::kColAutoGuid) != 0; }
  bool compressed_unicode() const { return (extra_flags & fmt::kColExtraCompressedUnicode) != 0; }
};

struct RealIndexDef {
  struct Column {
    std::uint16_t number = 0;  // column number
    bool ascending = true;
  };
  std::uint32_t entry_count = 0;     // statistics block: entries
  std::uint32_t distinct_count = 0;  // statistics block: distinct keys
  std::vector<Column> columns;       // used slots only, in key order
  fmt::RowPointer usage_map;         // map of every page of the index
  std::uint32_t first_page = 0;      // root page
  std::uint8_t flags = 0;            // fmt::kIdx*
};

struct LogicalIndexDef {
  std::string name;
  std::uint32_t number = 0;
  std::uint32_t real_index = 0;        // position in TableDef::real_indexes
  std::uint8_t fk_table_type = 0;      // foreign key: type of the related table
  std::int32_t fk_index = -1;          // foreign key: related logical index number
  std::uint32_t fk_table = 0;          // foreign key: related table TDEF page
  std::uint8_t cascade_update = jet3::kLogicalNoCascade;  // what Jet writes on an index that is
  std::uint8_t cascade_delete = jet3::kLogicalNoCascade;  // not a foreign key
  std::uint8_t type = 0;               // fmt::kIdxType*
};

struct LongValueMapDef {
  std::uint16_t column_number = 0;
  fmt::RowPointer owned_map;
  fmt::RowPointer free_map;
};

// The counts and the length are as read; building derives them from the
// lists. Names are UTF-8 text in both directions.
struct TableDef {
  std::vector<std::uint32_t> pages;  // the TDEF page chain, first page first
  std::uint32_t length = 0;          // tdef_len
  std::uint32_t row_count = 0;
  std::uint32_t autonumber = 0;      // last value handed out
  std::uint8_t table_type = jet3::kTableTypeUser;  // 'N' user, 'S' system
  std::uint16_t max_columns = 0;     // including deleted ones
  std::uint16_t var_columns = 0;
  std::uint16_t num_columns = 0;
  std::uint32_t num_logical_indexes = 0;
  std::uint32_t num_real_indexes = 0;
  fmt::RowPointer owned_map;         // data pages of the table
  fmt::RowPointer free_map;          // data pages with room
  std::vector<ColumnDef> columns;    // sorted by column number
  std::vector<RealIndexDef> real_indexes;
  std::vector<LogicalIndexDef> logical_indexes;  // storage order (by name)
  std::vector<LongValueMapDef> long_value_maps;

  // The column with this number, or nullptr.
  const ColumnDef* column_by_number(std::uint16_t number) const;
};

// Reads and parses the definition starting at `page`. `names` decodes Jet 3
// names (Jet 4 names are UCS-2). `table` names the table in errors (may be
// empty). Throws CorruptError on any structure that does not fit.
TableDef read_tdef(const PageSource& src, const fmt::Layout& lay, const CodePage& names,
                   std::uint32_t page, const std::string& table);

// Concatenates a TDEF chain: the first page whole, then bytes 8.. of each
// continuation page. Fills `pages`.
std::vector<std::uint8_t> read_tdef_bytes(const PageSource& src, const fmt::Layout& lay,
                                          std::uint32_t page, const std::string& table,
                                          std::vector<std::uint32_t>& pages);

// Parses a joined definition (the form read_tdef_bytes gives). `file` and
// `context` name it in errors; `pages` is left empty.
TableDef parse_tdef(const std::vector<std::uint8_t>& joined, const fmt::Layout& lay, const CodePage& names,
                    const std::string& file, const std::string& context);

// ---- Building (Jet 3) ------------------------------------------------------

// Places columns (in column-number order, their flags and lengths set) in
// the row: fixed ones packed from offset 0, Booleans taking no room (they
// live in the null mask); variable ones numbered in order. A fixed column's
// var_index is the number of variable columns before it.
void lay_out_columns(std::vector<ColumnDef>& columns);

// The joined definition of `td`, names encoded by `names`; the column, index
// and variable-column counts and tdef_len come from the lists, logical
// indexes are stored sorted by name. Throws Error when it breaks a Jet 3 limit.
std::vector<std::uint8_t> build_tdef(const TableDef& td, const CodePage& names);

// Pages for a joined definition. `pages` gives the page numbers to use (as
// many as tdef_page_count says); each page links to the next.
std::vector<std::vector<std::uint8_t>> split_tdef(const std::vector<std::uint8_t>& tdef,
                                                  const std::vector<std::uint32_t>& pages);
int tdef_page_count(std::size_t tdef_len);

// Maps an offset of the joined definition to (page index, offset in page).
struct TdefPosition {
  int page_index = 0;
  int offset = 0;
};
TdefPosition tdef_position(int joined_offset);

}  // namespace mirutone::jet
