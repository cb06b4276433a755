#include "db/jet/row/row_builder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "db/jet/text/codepage.h"
#include "db/jet/api/error.h"
#include "db/jet/api/error_numbers.h"
#include "db/jet/format/jet3_format.h"
#include "db/jet/row/long_value_builder.h"

namespace mirutone::jet {

namespace {

using Bytes8 = std::vector<std::uint8_t>;

const char* kind_name(const Value& v) {
  switch (v.index()) {
    case 0:
      return "Null";
    case 1:
      return "a Boolean";
    case 2:
      return "an integer";
    case 3:
      return "a Currency value";
    case 4:
      return "a Single";
    case 5:
      return "a Double";
    case 6:
      return "a Date/Time";
    case 7:
      return "text";
    case 8:
      return "binary data";
    case 9:
      return "a GUID";
    case 10:
      return "a Decimal";
  }
  return "a value";
}

// Bytes a fixed column of this type takes in the fixed area (0 for types
// that are not stored there).
int natural_size(ColumnType t) {
  switch (t) {
    case ColumnType::Byte:
      return 1;
    case ColumnType::Integer:
      return 2;
    case ColumnType::Long:
      return 4;
    case ColumnType::Single:
      return 4;
    case ColumnType::Currency:
    case ColumnType::Double:
    case ColumnType::DateTime:
      return 8;
    case ColumnType::GUID:
      return 16;
    default:
      return 0;
  }
}

bool is_long_value(ColumnType t) { return t == ColumnType::Memo || t == ColumnType::OLE; }

template <typename T>
void put_le(std::uint8_t* p, T v) {
  using U = std::conditional_t<
      sizeof(T) == 8, std::uint64_t,
      std::conditional_t<sizeof(T) == 4, std::uint32_t,
                         std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint8_t>>>;
  U u = std::bit_cast<U>(v);
  for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

// Names the column in an error; the text is only put together when one is thrown.
class ColumnError {
 public:
  ColumnError(const std::string& table, const ColumnDef& c) : table_(table), column_(c) {}
  [[noreturn]] void fail(int code, const std::string& what) const {
    std::string prefix = "column '" + column_.name + "'";
    if (!table_.empty()) prefix += " of table '" + table_ + "'";
    throw Error(code, "", prefix + ": " + what);
  }
  [[noreturn]] void mismatch(const char* type, const Value& v) const {
    fail(error_numbers::kTypeConversion, std::string("the ") + type + " column cannot take " + kind_name(v));
  }

 private:
  const std::string& table_;
  const ColumnDef& column_;
};

std::string encode_text(const CodePage& cp, const std::string& utf8, const ColumnError& err) {
  try {
    return cp.encode(utf8);
  } catch (const Error& e) {
    err.fail(e.jet_code(), e.what());
  }
}

// Writes a non-NULL fixed value at `p`.
void put_fixed(std::uint8_t* p, const ColumnDef& c, const Value& v, const CodePage& cp,
               const ColumnError& err) {
  const auto* i = std::get_if<std::int32_t>(&v);
  auto range = [&](std::int64_t lo, std::int64_t hi, const char* type) {
    if (*i < lo || *i > hi)
      err.fail(error_numbers::kNumericOverflow, std::to_string(*i) + " is out of range for a " + type + " column (" +
                         std::to_string(lo) + " to " + std::to_string(hi) + ")");
  };
  switch (c.type) {
    case ColumnType::Byte:
      if (!i) err.mismatch("Byte", v);
      range(0, 255, "Byte");
      p[0] = static_cast<std::uint8_t>(*i);
      return;
    case ColumnType::Integer:
      if (!i) err.mismatch("Integer", v);
      range(-32768, 32767, "Integer");
      put_le(p, static_cast<std::int16_t>(*i));
      return;
    case ColumnType::Long:
      if (!i) err.mismatch("Long", v);
      put_le(p, *i);
      return;
    case ColumnType::Currency:
      if (const auto* cur = std::get_if<Currency>(&v)) {
        put_le(p, cur->scaled);
      } else if (i) {
        put_le(p, static_cast<std::int64_t>(*i) * 10000);
      } else {
        err.mismatch("Currency", v);
      }
      return;
    case ColumnType::Single:
      if (const auto* f = std::get_if<float>(&v)) {
        put_le(p, *f);
      } else if (i) {
        put_le(p, static_cast<float>(*i));
      } else {
        err.mismatch("Single", v);
      }
      return;
    case ColumnType::Double:
      if (const auto* d = std::get_if<double>(&v)) {
        put_le(p, *d);
      } else if (const auto* f = std::get_if<float>(&v)) {
        put_le(p, static_cast<double>(*f));
      } else if (i) {
        put_le(p, static_cast<double>(*i));
      } else {
        err.mismatch("Double", v);
      }
      return;
    case ColumnType::DateTime:
      if (const auto* dt = std::get_if<DateTime>(&v)) {
        put_le(p, dt->days);
      } else if (const auto* d = std::get_if<double>(&v)) {
        put_le(p, *d);
      } else {
        err.mismatch("Date/Time", v);
      }
      return;
    case ColumnType::GUID:
      if (const auto* g = std::get_if<Guid>(&v)) {
        std::memcpy(p, g->bytes.data(), g->bytes.size());
      } else {
        err.mismatch("Replication ID", v);
      }
      return;
    case ColumnType::Binary:
    case ColumnType::Text: {
      // Fixed-length bytes (MSysAccessObjects.Data is Binary 241 with the
      // fixed flag): the value must fit its slot; the rest stays zero.
      const Bytes* b = std::get_if<Bytes>(&v);
      const std::string* t = std::get_if<std::string>(&v);
      if (c.type == ColumnType::Binary ? !b : !t)
        err.mismatch(c.type == ColumnType::Binary ? "Binary" : "Text", v);
      std::string encoded;
      if (t) encoded = encode_text(cp, *t, err);
      const std::uint8_t* data =
          b ? b->data() : reinterpret_cast<const std::uint8_t*>(encoded.data());
      const std::size_t len = b ? b->size() : encoded.size();
      if (len > c.length)
        err.fail(error_numbers::kFieldTooSmall, std::to_string(len) + " bytes do not fit the column's fixed " +
                           std::to_string(c.length) + " bytes");
      std::memcpy(p, data, len);
      return;
    }
    default:
      err.fail(error_numbers::kTypeConversion, "type " + type_name(c.type) + " cannot be stored in a Jet 3 fixed column");
  }
}

bool boolean_value(const Value& v, const ColumnError& err) {
  if (is_null(v)) return false;  // Jet 3 Booleans cannot be NULL
  if (const auto* b = std::get_if<bool>(&v)) return *b;
  if (const auto* i = std::get_if<std::int32_t>(&v)) return *i != 0;
  err.mismatch("Yes/No", v);
}

// Bytes of a non-NULL variable value other than Memo/OLE, into `out` (whose
// buffer is reused from row to row).
void var_bytes(const ColumnDef& c, const Value& v, const CodePage& cp, const ColumnError& err, Bytes8& out) {
  switch (c.type) {
    case ColumnType::Text: {
      const auto* s = std::get_if<std::string>(&v);
      if (!s) err.mismatch("Text", v);
      if (is_ascii(*s)) {
        out.assign(s->begin(), s->end());  // the same bytes in the code page
        return;
      }
      std::string b = encode_text(cp, *s, err);
      out.assign(b.begin(), b.end());
      return;
    }
    case ColumnType::Binary: {
      const auto* b = std::get_if<Bytes>(&v);
      if (!b) err.mismatch("Binary", v);
      out.assign(b->begin(), b->end());
      return;
    }
    default: {
      // Jet also keeps numbers in variable columns (MSysModules2 has Long
      // columns without the fixed flag): the same bytes as in the fixed area.
      const int size = natural_size(c.type);
      if (size == 0)
        err.fail(error_numbers::kTypeConversion,
                 "type " + type_name(c.type) + " cannot be stored in a Jet 3 variable column");
      out.assign(static_cast<std::size_t>(size), 0);
      put_fixed(out.data(), c, v, cp, err);
      return;
    }
  }
}

// Data of a non-NULL Memo (text in the code page) or OLE value.
Bytes8 long_value_data(const ColumnDef& c, const Value& v, const CodePage& cp,
                       const ColumnError& err) {
  if (c.type == ColumnType::Memo) {
    const auto* s = std::get_if<std::string>(&v);
    if (!s) err.mismatch("Memo", v);
    std::string b = encode_text(cp, *s, err);
    return Bytes8(b.begin(), b.end());
  }
  const auto* b = std::get_if<Bytes>(&v);
  if (!b) err.mismatch("OLE Object", v);
  return *b;
}

// The offsets a Jet 3 reader recovers from a trailer, to check one we built.
bool decodes_to(std::span<const int> offsets, const Bytes8& trailer, int mask_size) {
  const int nvar = static_cast<int>(offsets.size()) - 1;
  const int eod = offsets.back();
  const int len = eod + static_cast<int>(trailer.size()) + mask_size;
  // Positions below are row offsets; the trailer starts at eod.
  auto at = [&](int pos) { return static_cast<int>(trailer[static_cast<std::size_t>(pos - eod)]); };
  const int end = len - 1;
  int jumps = (len - 1) / jet3::kJumpStride;
  const int col0 = end - mask_size - jumps - 1;
  if (col0 - nvar < eod || at(end - mask_size) != nvar) return false;
  if ((col0 - nvar) / jet3::kJumpStride < jumps) --jumps;
  int used = 0;
  for (int i = 0; i <= nvar; ++i) {
    while (used < jumps && at(end - mask_size - 1 - used) == i) ++used;
    if (at(col0 - i) + jet3::kJumpStride * used != offsets[static_cast<std::size_t>(i)])
      return false;
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> jet3_var_trailer(std::span<const int> offsets, int mask_size) {
  const int nvar = static_cast<int>(offsets.size()) - 1;
  if (nvar < 0 || nvar > 255) return {};
  const int eod = offsets.back();
  const int real = eod / jet3::kJumpStride;
  const int base = 1 + nvar + 1 + mask_size;  // eod byte, offsets, count, mask
  // The reader takes (row length - 1) / 256 jump bytes to be present, and
  // treats them beyond eod / 256 as padding. Pad with 0xFF until the row
  // length and the jump count agree.
  int jumps = real;
  while ((eod + base + jumps - 1) / jet3::kJumpStride != jumps) {
    if (++jumps > real + 8) return {};
  }

  Bytes8 out;
  out.reserve(static_cast<std::size_t>(base + jumps));
  out.push_back(static_cast<std::uint8_t>(eod & 0xFF));
  for (int i = nvar - 1; i >= 0; --i)
    out.push_back(static_cast<std::uint8_t>(offsets[static_cast<std::size_t>(i)] & 0xFF));
  for (int k = real; k < jumps; ++k) out.push_back(jet3::kJumpPad);
  // Entry k (k = 1..real): the first offset-table index whose offset reaches
  // 256 * k; stored highest k first, so entry 1 sits next to the count.
  for (int k = real; k >= 1; --k) {
    int i = 0;
    while (offsets[static_cast<std::size_t>(i)] < jet3::kJumpStride * k) ++i;
    out.push_back(static_cast<std::uint8_t>(i));
  }
  out.push_back(static_cast<std::uint8_t>(nvar));
  if (!decodes_to(offsets, out, mask_size)) return {};
  return out;
}

RowBuilder::RowBuilder(TableDef table, const CodePage& text, std::string table_name)
    : table_(std::move(table)), text_(text), table_name_(std::move(table_name)) {
  int var_end = table_.var_columns;
  for (const ColumnDef& c : table_.columns) {
    if (c.type == ColumnType::Boolean) continue;
    if (c.fixed()) {
      const bool bytes = c.type == ColumnType::Binary || c.type == ColumnType::Text;
      const int size = bytes ? c.length : natural_size(c.type);
      if (size == 0 || size > c.length)
        ColumnError(table_name_, c)
            .fail(0, "a fixed column of type " + type_name(c.type) + " and length " +
                         std::to_string(c.length) + " cannot be laid out in a Jet 3 row");
      fixed_size_ = std::max(fixed_size_, c.fixed_offset + static_cast<int>(c.length));
    } else {
      var_end = std::max(var_end, c.var_index + 1);
    }
  }
  var_count_ = var_end;
}

std::vector<std::uint8_t> RowBuilder::build(std::span<const Value> values,
                                            const LvalSinkFor& lval) const {
  const auto& cols = table_.columns;
  if (values.size() != cols.size())
    throw Error(0, "",
                "table '" + table_name_ + "': a row needs " + std::to_string(cols.size()) +
                    " values, got " + std::to_string(values.size()));

  int ncols = table_.max_columns;
  for (const ColumnDef& c : cols) ncols = std::max(ncols, c.number + 1);
  const int mask_size = (ncols + 7) / 8;

  Bytes8& fixed = fixed_scratch_;
  fixed.assign(static_cast<std::size_t>(fixed_size_), 0);
  Bytes8& mask = mask_scratch_;
  mask.assign(static_cast<std::size_t>(mask_size), 0);
  std::vector<Bytes8>& var = var_scratch_;
  var.resize(static_cast<std::size_t>(var_count_));
  for (Bytes8& b : var) b.clear();

  struct Pending {
    std::size_t col;
    Bytes8 data;
    bool inline_ = true;
  };
  std::vector<Pending> longs;

  for (std::size_t k = 0; k < cols.size(); ++k) {
    const ColumnDef& c = cols[k];
    const Value& v = values[k];
    const ColumnError err(table_name_, c);
    bool present = !is_null(v);
    if (c.type == ColumnType::Boolean) {
      present = boolean_value(v, err);
    } else if (present && c.fixed()) {
      put_fixed(fixed.data() + c.fixed_offset, c, v, text_, err);
    } else if (present && is_long_value(c.type)) {
      Bytes8 data = long_value_data(c, v, text_, err);
      const bool fits = long_value_fits_inline(data.size());
      longs.push_back({k, std::move(data), fits});
    } else if (present) {
      var_bytes(c, v, text_, err, var[c.var_index]);
    }
    if (present) mask[c.number / 8] |= static_cast<std::uint8_t>(1u << (c.number % 8));
  }

  auto long_size = [](const Pending& p) {
    return fmt::kLongValueRefSize + (p.inline_ ? static_cast<int>(p.data.size()) : 0);
  };
  auto row_size = [&]() {
    int size = 1 + fixed_size_ + mask_size;
    if (var_count_ == 0) return size;
    int eod = 1 + fixed_size_;
    for (const Bytes8& b : var) eod += static_cast<int>(b.size());
    for (const Pending& p : longs) eod += long_size(p);
    // The trailer's length depends only on eod; its offsets do not matter here.
    std::vector<int> offsets(static_cast<std::size_t>(var_count_), 0);
    offsets.push_back(eod);
    const Bytes8 trailer = jet3_var_trailer(offsets, mask_size);
    if (trailer.empty()) return std::numeric_limits<int>::max();
    return eod + static_cast<int>(trailer.size()) + mask_size;
  };

  // The row as it stands, when no long value can move out of it: its size
  // is known once it is laid out.
  auto lay_out = [&]() {
    Bytes8 row;
    row.reserve(static_cast<std::size_t>(1 + fixed_size_ + mask_size + 2 * var_count_ + 4));
    row.push_back(static_cast<std::uint8_t>(ncols));
    row.insert(row.end(), fixed.begin(), fixed.end());
    if (var_count_ > 0) {
      std::vector<int>& offsets = offset_scratch_;
      offsets.clear();
      for (const Bytes8& b : var) {
        offsets.push_back(static_cast<int>(row.size()));
        row.insert(row.end(), b.begin(), b.end());
      }
      offsets.push_back(static_cast<int>(row.size()));
      const Bytes8 trailer = jet3_var_trailer(offsets, mask_size);
      if (trailer.empty()) return Bytes8{};
      row.insert(row.end(), trailer.begin(), trailer.end());
    }
    row.insert(row.end(), mask.begin(), mask.end());
    return row;
  };
  if (longs.empty()) {
    Bytes8 row = lay_out();
    if (!row.empty() && row.size() <= static_cast<std::size_t>(jet3::kMaxRowSize)) return row;
  }

  // Too long with inline long values: move them out, largest first, as Jet
  // does before it gives up on a row.
  int size = row_size();
  while (size > jet3::kMaxRowSize) {
    Pending* largest = nullptr;
    for (Pending& p : longs)
      if (p.inline_ && !p.data.empty() && (!largest || p.data.size() > largest->data.size()))
        largest = &p;
    if (!largest) break;
    largest->inline_ = false;
    size = row_size();
  }
  if (size > jet3::kMaxRowSize) {
    // Name the column with the most bytes in the row.
    std::size_t worst = 0, worst_len = 0;
    for (std::size_t k = 0; k < cols.size(); ++k) {
      const ColumnDef& c = cols[k];
      std::size_t len = c.fixed() ? 0 : (is_long_value(c.type) ? 0 : var[c.var_index].size());
      for (const Pending& p : longs)
        if (p.col == k) len = static_cast<std::size_t>(long_size(p));
      if (len > worst_len) worst = k, worst_len = len;
    }
    const std::string what =
        size == std::numeric_limits<int>::max()
            ? std::string("the row's variable-column offsets cannot be laid out")
            : "the row needs " + std::to_string(size) + " bytes; Jet 3 allows " +
                  std::to_string(jet3::kMaxRowSize);
    if (worst_len > 0)
      ColumnError(table_name_, cols[worst])
          .fail(error_numbers::kRecordTooLarge, what + " (this column takes " + std::to_string(worst_len) + ")");
    throw Error(error_numbers::kRecordTooLarge, "", "table '" + table_name_ + "': " + what);
  }

  for (Pending& p : longs) {
    const ColumnDef& c = cols[p.col];
    if (p.inline_) {
      var[c.var_index] = inline_long_value(p.data);
      continue;
    }
    if (!lval)
      ColumnError(table_name_, c)
          .fail(0, "no LVAL pages to store a value of " + std::to_string(p.data.size()) + " bytes");
    var[c.var_index] = store_long_value(p.data, lval(c), c.name);
  }

  Bytes8 row = lay_out();
  if (row.empty()) {
    throw Error(error_numbers::kRecordTooLarge, "",
                "table '" + table_name_ + "': the row's variable-column offsets cannot be laid out");
  }
  return row;
}

}  // namespace mirutone::jet
