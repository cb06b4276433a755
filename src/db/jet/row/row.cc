#include "db/jet/row/row.h"

#include "db/jet/api/error.h"
#include "db/jet/tdef/tdef.h"

namespace mirutone::jet {

std::string RowContext::describe() const {
  std::string s = table && !table->empty() ? "table '" + *table + "', " : std::string();
  return s + "page " + std::to_string(page) + " row " + std::to_string(row);
}

namespace {

[[noreturn]] void bad_row(const RowContext& ctx, const std::string& what) {
  throw CorruptError(ctx.file ? *ctx.file : std::string(), ctx.describe() + ": " + what);
}

// Fills `off` with nvar+1 variable-column offsets (the last is the end of the
// variable data) and returns the position where the trailer starts.
std::size_t var_offsets(const fmt::Layout& lay, const std::uint8_t* row, std::size_t len,
                        std::size_t mask_len, std::size_t& nvar, std::uint32_t* off,
                        std::size_t max_off, const RowContext& ctx) {
  const std::size_t head = static_cast<std::size_t>(lay.row_count_size);
  if (lay.format == Format::Jet4) {
    if (len < head + mask_len + 2) bad_row(ctx, "row too short for its variable-column count");
    std::size_t nvar_pos = len - mask_len - 2;
    nvar = fmt::get_u16(row + nvar_pos);
    if (nvar + 1 > max_off || nvar_pos < head + 2 * (nvar + 1))
      bad_row(ctx, "variable-column count " + std::to_string(nvar) + " does not fit in the row");
    for (std::size_t i = 0; i <= nvar; ++i) off[i] = fmt::get_u16(row + nvar_pos - 2 - 2 * i);
    return nvar_pos - 2 * (nvar + 1);
  }
  // Jet 3: one-byte offsets plus a jump table for each 256-byte boundary.
  if (len < head + mask_len + 1) bad_row(ctx, "row too short for its variable-column count");
  const std::size_t end = len - 1;
  nvar = row[end - mask_len];
  std::size_t jumps = (len - 1) / 256;
  if (nvar + 1 > max_off || end < mask_len + jumps + 1 + nvar + head)
    bad_row(ctx, "variable-column count " + std::to_string(nvar) + " does not fit in the row");
  const std::size_t cp = end - mask_len - jumps - 1;  // offset of variable column 0
  if ((cp - nvar) / 256 < jumps) --jumps;             // the last jump byte is a filler
  std::size_t used = 0;
  for (std::size_t i = 0; i <= nvar; ++i) {
    while (used < jumps && row[end - mask_len - 1 - used] == i) ++used;
    off[i] = static_cast<std::uint32_t>(row[cp - i] + 256 * used);
  }
  return cp - nvar;
}

}  // namespace

void crack_row(const TableDef& td, const fmt::Layout& lay, const std::uint8_t* row,
               std::size_t len, std::vector<FieldRef>& fields, const RowContext& ctx) {
  const std::size_t head = static_cast<std::size_t>(lay.row_count_size);
  if (len < head + 1) bad_row(ctx, "row of " + std::to_string(len) + " bytes is too short");
  const std::size_t ncols = head == 1 ? row[0] : fmt::get_u16(row);
  const std::size_t mask_len = (ncols + 7) / 8;
  if (len < head + mask_len)
    bad_row(ctx, "row of " + std::to_string(len) + " bytes cannot hold a null mask for " +
                     std::to_string(ncols) + " columns");
  const std::uint8_t* mask = row + len - mask_len;

  std::uint32_t off[257 * 2];
  std::size_t nvar = 0;
  std::size_t data_end = len - mask_len;  // first byte past the fixed and variable data
  if (td.var_columns > 0)
    data_end = var_offsets(lay, row, len, mask_len, nvar, off, sizeof off / sizeof off[0], ctx);

  fields.resize(td.columns.size());
  for (std::size_t i = 0; i < td.columns.size(); ++i) {
    const ColumnDef& c = td.columns[i];
    FieldRef& f = fields[i];
    f.present = c.number < ncols && (mask[c.number / 8] & (1u << (c.number % 8))) != 0;
    f.data = nullptr;
    f.len = 0;
    if (!f.present || c.type == ColumnType::Boolean) continue;
    if (c.fixed()) {
      std::size_t start = head + c.fixed_offset;
      if (start + c.length > data_end)
        bad_row(ctx, "fixed column '" + c.name + "' (offset " + std::to_string(c.fixed_offset) +
                         ", length " + std::to_string(c.length) + ") lies outside the row");
      f.data = row + start;
      f.len = c.length;
      continue;
    }
    if (c.var_index >= nvar) {  // column added after this row was written
      f.present = false;
      continue;
    }
    std::uint32_t b = off[c.var_index], e = off[c.var_index + 1];
    if (b > e || e > data_end || b < head)
      bad_row(ctx, "variable column '" + c.name + "' has invalid offsets " + std::to_string(b) +
                       ".." + std::to_string(e) + " (row length " + std::to_string(len) + ")");
    f.data = row + b;
    f.len = e - b;
  }
}

}  // namespace mirutone::jet
