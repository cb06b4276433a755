// Jet 3 table definitions (TDEF pages) from a description of the table.
//
// build_tdef gives the definition as one byte string (the form a reader sees
// after joining the pages); split_tdef cuts it into pages of 2048 bytes, each
// with the 8-byte TDEF page header, chained through the next-page field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/jet/format.h"
#include "db/jet/value.h"

namespace mirutone::jet {

struct TdefColumn {
  ColumnType type = ColumnType::Long;
  std::string name;             // code-page bytes
  std::uint16_t number = 0;     // column number = null-mask bit
  std::uint16_t var_index = 0;  // variable columns: slot in the offset table;
                                // fixed: number of variable columns before it
  std::uint16_t fixed_offset = 0;
  std::uint16_t length = 0;     // bytes; 1 for Boolean, 0 for Memo/OLE
  std::uint8_t flags = 0;
  std::uint16_t unknown5 = 0;   // descriptor bytes 5..8, meaning unknown:
  std::uint16_t unknown7 = 1;   // Access writes (column number, 1) on user tables, (0, 1) on system ones
  std::uint16_t sort_order = 0x0409;
  std::uint16_t codepage = 1252;

  bool fixed() const { return (flags & fmt::kColFixed) != 0; }
};

struct TdefRealIndex {
  struct Key {
    std::uint16_t column = 0;
    bool ascending = true;
  };
  std::vector<Key> columns;  // at most 10
  fmt::RowPointer map;
  std::uint32_t root = 0;
  std::uint8_t flags = 0;
  std::uint32_t entries = 0;   // statistics block
  std::uint32_t distinct = 0;
};

struct TdefLogicalIndex {
  std::string name;  // code-page bytes
  std::uint32_t number = 0;
  std::uint32_t real = 0;
  std::uint8_t type = fmt::kIdxTypeNormal;
};

struct TdefLongValueMaps {
  std::uint16_t column = 0;
  fmt::RowPointer owned, free;
};

struct TdefPlan {
  bool system = false;
  std::uint32_t row_count = 0;
  std::uint32_t autonumber = 0;  // last value handed out
  std::vector<TdefColumn> columns;  // in column-number order
  fmt::RowPointer owned_map, free_map;
  std::vector<TdefRealIndex> real_indexes;
  std::vector<TdefLogicalIndex> logical_indexes;  // stored sorted by name
  std::vector<TdefLongValueMaps> long_value_maps;
};

// The joined definition. Throws Error when it breaks a Jet 3 limit.
std::vector<std::uint8_t> build_tdef(const TdefPlan& plan);

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
