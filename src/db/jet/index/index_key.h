// Index keys: the byte strings Jet stores in index entries and compares with
// memcmp. One key is the concatenation, in index-column order, of each
// column's part:
//
//   ascending:  0x7F, value bytes          Null: 0x00
//   descending: 0x80, inverted value bytes Null: 0xFF
//
// The value bytes of every non-text type follow fixed rules (see encode notes
// in index_key.cc). Text depends on the sort order of the column; that part is
// behind TextKeyEncoder, one implementation per sort order (sort_general.*,
// sort_japanese.*), chosen by make_text_key_encoder. Replacing the text keys
// of a sort order means replacing that one file.
//
// Use from the writer:
//
//   auto text = make_text_key_encoder(Format::Jet3, 0x0411);
//   IndexKeyEncoder keys({{ColumnType::Long, true}, {ColumnType::Text, true}}, text);
//   Bytes key = keys.encode({Value{std::int32_t{42}}, Value{std::string{"名前"}}});
//
// then pair the key with the row's page and row number in an IndexEntry
// (index_page.h), sort entries by compare_entries, and build pages with
// IndexPageBuilder.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/jet/api/error.h"
#include "db/jet/format/format_common.h"
#include "db/jet/api/reader.h"
#include "db/jet/text/utf8.h"
#include "db/jet/api/value.h"

namespace mirutone::jet {

// Flag bytes of a key column.
inline constexpr std::uint8_t kKeyFlagAscending = 0x7F;
inline constexpr std::uint8_t kKeyFlagDescending = 0x80;
inline constexpr std::uint8_t kKeyNullAscending = 0x00;
inline constexpr std::uint8_t kKeyNullDescending = 0xFF;

// Text part of a key for one sort order.
class TextKeyEncoder {
 public:
  virtual ~TextKeyEncoder() = default;
  virtual int sort_order() const = 0;
  // Appends the ascending value bytes for `utf8` (no flag byte; the caller
  // inverts them for a descending column). Throws Error when the text holds a
  // character this sort order cannot place, or is not valid UTF-8.
  virtual void append_key(std::string_view utf8, Bytes& out) const = 0;
};

// The encoder for text columns of `sort_order` in a file of `format`. Throws
// Error when that combination has no encoder (every sort order but General
// and Japanese; General and Japanese on Jet 4, whose keys have another shape).
std::shared_ptr<const TextKeyEncoder> make_text_key_encoder(Format format, int sort_order);

// Where Japanese text keys come from for every encoder made after the call:
// the frozen table (Builtin) or the operating system (System, Windows only).
// System is the default on Windows, Builtin elsewhere. The command line sets
// it once, before anything is written.
enum class JapaneseSortKeys { Builtin, System };
void set_japanese_sort_keys(JapaneseSortKeys source);
JapaneseSortKeys japanese_sort_keys();

struct IndexKeyColumn {
  ColumnType type = ColumnType::Long;
  bool ascending = true;
};

// Appends one column's part of a key. `text` is needed for Text and Memo
// columns only. Throws Error when the value does not fit the column type or
// the type cannot be indexed (OLE, Decimal).
void append_key_column(Bytes& out, ColumnType type, bool ascending, const Value& value,
                       const TextKeyEncoder* text);

// Encodes whole keys for one index.
class IndexKeyEncoder {
 public:
  // `text` may be null when no column is Text or Memo.
  IndexKeyEncoder(std::vector<IndexKeyColumn> columns,
                  std::shared_ptr<const TextKeyEncoder> text);

  const std::vector<IndexKeyColumn>& columns() const { return columns_; }
  const TextKeyEncoder* text() const { return text_.get(); }

  // `values` holds one value per index column, in index-column order.
  Bytes encode(std::span<const Value> values) const;

 private:
  std::vector<IndexKeyColumn> columns_;
  std::shared_ptr<const TextKeyEncoder> text_;
};

}  // namespace mirutone::jet
