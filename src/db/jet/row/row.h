// Decoding one row of a data page into its fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "db/jet/format/format.h"

namespace mirutone::jet {

struct TableDef;

// One field of a row, as stored: for Boolean columns `present` is the value.
struct FieldRef {
  bool present = false;  // null-mask bit (false = NULL)
  const std::uint8_t* data = nullptr;
  std::uint32_t len = 0;
};

// Where a row came from, for error messages; built into text only on error.
struct RowContext {
  const std::string* file = nullptr;
  const std::string* table = nullptr;
  std::uint32_t page = 0;
  int row = 0;
  std::string describe() const;  // "table 'T', page 12 row 3"
};

// Splits a row into one FieldRef per column of td.columns (same order).
// Variable columns the row does not carry (added after it was written) and
// columns beyond its column count are NULL. Throws CorruptError when an
// offset or length does not fit in the row.
void crack_row(const TableDef& td, const fmt::Layout& lay, const std::uint8_t* row,
               std::size_t len, std::vector<FieldRef>& fields, const RowContext& ctx);

}  // namespace mirutone::jet
