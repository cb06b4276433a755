// Encoding one Jet 3 row from a table's column definitions and values.
//
// Row layout, lowest address first:
//
//   u8     ncols: the table's column count including deleted ones (max_columns)
//   ...    fixed area: each fixed column at 1 + fixed_offset, its full size,
//          zeros when NULL; Boolean columns take no room here
//   ...    variable data, in variable-index order; NULL and empty values
//          take no bytes
//   u8     eod: low byte of the offset just past the variable data
//   u8 x n offsets of the variable columns, low bytes, last column first
//   ...    jump table (rows longer than 256 bytes; see docs/format-rows.md)
//   u8     n: number of variable columns
//   ...    null mask, (ncols + 7) / 8 bytes: bit = column number, 1 = has a
//          value; a Boolean column's bit is its value
//
// A table without variable columns has neither eod, offsets, jump table nor
// n. Text and Memo are stored in the database code page.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "db/jet/tdef/tdef.h"
#include "db/jet/api/value.h"

namespace mirutone::jet {

class CodePage;
class LvalPageSink;

// The LVAL pages that take the long values of one Memo/OLE column.
using LvalSinkFor = std::function<LvalPageSink&(const ColumnDef& column)>;

class RowBuilder {
 public:
  // `table` gives the columns (their number, variable index, fixed offset,
  // type and flags, as the TDEF stores them), max_columns and var_columns.
  // `text` encodes Text and Memo values and must outlive the builder;
  // `table_name` goes into errors.
  RowBuilder(TableDef table, const CodePage& text, std::string table_name);

  // Encodes one row. `values[i]` belongs to `table.columns[i]`; NULL is
  // std::monostate (a NULL Boolean is stored as False). Memo/OLE values that
  // do not stay inline are stored through `lval` before the row is returned;
  // `lval` may be empty when no value needs a page.
  //
  // Throws Error naming the column for a value of the wrong kind (3421), a
  // number out of the column type's range (3349), text the code page cannot
  // represent, and a row longer than Jet 3's 2012 bytes (3047); in those
  // cases nothing has been stored.
  std::vector<std::uint8_t> build(std::span<const Value> values,
                                  const LvalSinkFor& lval = {}) const;

  // Length of the fixed area: the end of the furthest fixed column.
  int fixed_area_size() const { return fixed_size_; }
  // Entries in the variable-offset table.
  int var_count() const { return var_count_; }
  const TableDef& table() const { return table_; }

 private:
  TableDef table_;
  const CodePage& text_;
  std::string table_name_;
  int fixed_size_ = 0;
  int var_count_ = 0;
  // Each variable column's bytes for the row being built; kept between rows
  // so that their buffers are reused (a builder serves one writer at a time).
  mutable std::vector<std::vector<std::uint8_t>> var_scratch_;
  mutable std::vector<std::uint8_t> fixed_scratch_, mask_scratch_;
  mutable std::vector<int> offset_scratch_;
};

// The variable-column trailer of a Jet 3 row whose variable data ends at
// `offsets.back()` (eod): eod, the offsets last first, the jump table and the
// count, without the null mask. `offsets` holds one offset per variable
// column, then eod; `mask_size` is the null-mask length that follows. Returns
// an empty vector when no trailer can be laid out that the 256-byte jump
// rule decodes back to these offsets.
std::vector<std::uint8_t> jet3_var_trailer(std::span<const int> offsets, int mask_size);

}  // namespace mirutone::jet
