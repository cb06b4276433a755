#include "apps/copy_database.h"

#include <filesystem>
#include <memory>

#include "db/jet/api/codepage.h"
#include "platform/path.h"

namespace mirutone::jet {
namespace {

bool decimal_fits_currency(const ColumnInfo& c) { return c.scale <= 4 && c.precision - c.scale <= 14; }

std::string where(const std::string& table, std::uint64_t row, const std::string& column) {
  std::string s = "table '" + table + "'";
  if (row) s += ", row " + std::to_string(row);
  if (!column.empty()) s += ", column '" + column + "'";
  return s;
}

// The source column whose value the writer refused, found by trying each
// value alone against the destination's code page and sizes.
std::string text_problem(const CodePage& cp, const ColumnDesign& d, const Value& v) {
  const auto* s = std::get_if<std::string>(&v);
  if (!s) return {};
  std::string bytes;
  try {
    bytes = cp.encode(*s);
  } catch (const Error& e) {
    return std::string("code page ") + std::to_string(cp.number()) + " cannot hold the value: " + e.what();
  }
  if (d.type == ColumnType::Text) {
    const std::size_t limit = cp.single_byte() ? d.size : 2u * d.size;
    if (bytes.size() > limit) {
      return "the value takes " + std::to_string(bytes.size()) + " bytes in code page " +
             std::to_string(cp.number()) + "; the column holds " + std::to_string(d.size) + " characters";
    }
  }
  return {};
}

// The writer names a character it cannot put into an index key as "U+XXXX";
// the first indexed text column holding it is the one to report.
std::string column_of_refused_character(const TableDesign& design, const std::vector<Value>& values,
                                        const std::string& message) {
  auto at = message.find("U+");
  if (at == std::string::npos) return {};
  char32_t refused = 0;
  try {
    refused = static_cast<char32_t>(std::stoul(message.substr(at + 2, 6), nullptr, 16));
  } catch (...) {
    return {};
  }
  for (const auto& ix : design.indexes) {
    for (const auto& col : ix.columns) {
      for (std::size_t i = 0; i < design.columns.size() && i < values.size(); ++i) {
        if (design.columns[i].name != col) continue;
        const auto* s = std::get_if<std::string>(&values[i]);
        if (!s) continue;
        std::string one;
        append_utf8(one, refused);
        if (s->find(one) != std::string::npos) return col;
      }
    }
  }
  return {};
}

// Jet refuses a zero-length string only when a row is written, so a source
// may hold them in a column without AllowZeroLength (rows stored before the
// property was cleared). The copy keeps the values: such a column gets
// AllowZeroLength, and the copy says so.
void allow_stored_zero_length_values(Reader& reader, const TableInfo& t, TableDesign& design,
                                     CopiedTable& out) {
  std::vector<std::size_t> checked;
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnDesign& d = design.columns[i];
    if ((d.type == ColumnType::Text || d.type == ColumnType::Memo) && !d.allow_zero_length)
      checked.push_back(i);
  }
  if (checked.empty()) return;
  std::vector<std::uint64_t> empty(t.columns.size());
  auto cursor = reader.rows(t.name);
  std::vector<Value> row;
  while (cursor->next(row)) {
    for (std::size_t i : checked) {
      const auto* s = i < row.size() ? std::get_if<std::string>(&row[i]) : nullptr;
      if (s && s->empty()) ++empty[i];
    }
  }
  for (std::size_t i : checked) {
    if (!empty[i]) continue;
    ColumnDesign& d = design.columns[i];
    d.allow_zero_length = true;
    out.notes.push_back("column '" + d.name + "': AllowZeroLength set, the source holds " +
                        std::to_string(empty[i]) + " zero-length values");
  }
}

// The message of an Error without the file name it starts with.
std::string bare(const Error& e) {
  std::string what = e.what();
  const std::string prefix = e.file() + ": ";
  if (!e.file().empty() && what.rfind(prefix, 0) == 0) what.erase(0, prefix.size());
  return what;
}

}  // namespace

ColumnDesign map_column(const ColumnInfo& c, Format source_format) {
  ColumnDesign d;
  d.name = c.name;
  d.type = c.type;
  d.size = 0;
  d.required = !c.nullable;
  d.allow_zero_length = c.allow_zero_length;
  d.autonumber = c.autonumber && c.type == ColumnType::Long;
  switch (c.type) {
    case ColumnType::Text:
      d.size = source_format == Format::Jet4 ? (c.size + 1) / 2 : c.size;
      if (d.size < 1) d.size = 1;
      break;
    case ColumnType::Binary:
      d.size = c.size < 1 ? 1 : c.size;
      break;
    case ColumnType::Decimal:
      if (decimal_fits_currency(c)) {
        d.type = ColumnType::Currency;
      } else {
        d.type = ColumnType::Text;
        d.size = c.precision + 3;
        if (d.size > 255) d.size = 255;
        d.allow_zero_length = false;
      }
      break;
    default:
      break;
  }
  return d;
}

Value map_value(const Value& v, const ColumnInfo& source, const ColumnDesign& target) {
  if (source.type != ColumnType::Decimal || is_null(v)) return v;
  const auto* d = std::get_if<Decimal>(&v);
  if (!d) return v;
  if (target.type == ColumnType::Text) return format_decimal(*d);
  // Currency: the magnitude scaled to four decimal places.
  unsigned __int128 m = (static_cast<unsigned __int128>(d->hi) << 64) | d->lo;
  int scale = d->scale;
  while (scale > 4 && m % 10 == 0) {  // trailing zeros beyond what Currency keeps
    m /= 10;
    --scale;
  }
  if (scale > 4) throw Error(error_numbers::kNumericOverflow, "", "Decimal value " + format_decimal(*d) + " has more than 4 decimal places");
  for (int i = scale; i < 4; ++i) {
    if (m > (static_cast<unsigned __int128>(1) << 100)) break;
    m *= 10;
  }
  const unsigned __int128 max = static_cast<unsigned __int128>(INT64_MAX);
  if (m > max) throw Error(error_numbers::kNumericOverflow, "", "Decimal value " + format_decimal(*d) + " is outside the range of Currency");
  std::int64_t scaled = static_cast<std::int64_t>(m);
  return Currency{d->negative ? -scaled : scaled};
}

CopyReport copy_database(const std::string& src, const std::string& dst, const CopyOptions& opts) {
  ReadOptions ro;
  ro.codepage_override = opts.source_codepage;
  auto reader = Reader::open(src, ro);
  if (std::filesystem::exists(platform::fs_path(dst))) throw Error(error_numbers::kDatabaseExists, dst, "the database already exists");
  auto writer = Writer::create(dst, opts.locale);
  CopyReport report;
  try {
    CodePage cp(opts.locale.codepage);
    for (const auto& name : reader->table_names(false)) {
      const TableInfo& t = reader->table(name);
      CopiedTable out;
      out.name = name;
      TableDesign design;
      design.name = name;
      for (const auto& c : t.columns) {
        ColumnDesign d = map_column(c, reader->format());
        if (d.type != c.type) {
          out.notes.push_back("column '" + c.name + "': " + type_name(c.type) + " stored as " + type_name(d.type));
        }
        if (c.autonumber && !d.autonumber) {
          out.notes.push_back("column '" + c.name + "': " + type_name(c.type) + " autonumber kept as plain values");
        }
        design.columns.push_back(std::move(d));
      }
      allow_stored_zero_length_values(*reader, t, design, out);
      for (const auto& ix : t.indexes) {
        if (ix.foreign_key) {
          out.notes.push_back("index '" + ix.name + "' of a relationship not copied");
          continue;
        }
        IndexDesign id;
        id.name = ix.name;
        id.columns = ix.columns;
        id.primary = ix.primary;
        id.unique = ix.unique;
        id.ignore_nulls = ix.ignore_nulls;
        for (std::size_t i = 0; i < ix.columns.size(); ++i) {
          id.descending.push_back(i < ix.ascending.size() && !ix.ascending[i]);
        }
        design.indexes.push_back(std::move(id));
      }
      try {
        writer->create_table(design);
      } catch (const Error& e) {
        throw Error(e.jet_code(), dst, where(name, 0, "") + ": cannot create the table: " + bare(e));
      }

      auto cursor = reader->rows(name);
      std::vector<Value> row;
      std::uint64_t n = 0;
      while (cursor->next(row)) {
        ++n;
        std::vector<Value> values;
        values.reserve(row.size());
        for (std::size_t i = 0; i < row.size() && i < t.columns.size(); ++i) {
          try {
            values.push_back(map_value(row[i], t.columns[i], design.columns[i]));
          } catch (const Error& e) {
            throw Error(e.jet_code(), dst, where(name, n, t.columns[i].name) + ": " + bare(e));
          }
          std::string why = text_problem(cp, design.columns[i], values.back());
          if (!why.empty()) throw Error(error_numbers::kFieldTooSmall, dst, where(name, n, t.columns[i].name) + ": " + why);
        }
        try {
          writer->append_row(name, values);
        } catch (const Error& e) {
          throw Error(e.jet_code(), dst, where(name, n, column_of_refused_character(design, values, e.what())) +
                                             ": " + bare(e));
        }
      }
      out.rows = n;
      report.tables.push_back(std::move(out));
    }
    writer->close();
  } catch (...) {
    try {
      writer.reset();
    } catch (...) {
    }
    std::error_code ec;
    std::filesystem::remove(platform::fs_path(dst), ec);
    throw;
  }
  return report;
}

}  // namespace mirutone::jet
