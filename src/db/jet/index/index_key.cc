// Index key encoding for every indexable column type.
//
// Value bytes, ascending (a descending column inverts them, see below):
//   Byte                 the byte
//   Integer/Long/Currency big-endian two's complement, sign bit flipped
//   Single/Double/Date   big-endian IEEE; sign bit flipped when the sign is
//                        clear, every bit inverted when it is set
//   Boolean              0x00 for True, 0xFF for False (never Null)
//   Binary               8-byte segments; a full segment with more data after
//                        it is followed by 0x09, the last one is zero-padded
//                        and followed by its real length (1..8)
//   GUID                 Data1, Data2, Data3 turned big-endian, then Binary
//   Text/Memo            per sort order (TextKeyEncoder)
// Descending inverts every value byte, except the 0x09 segment markers of
// Binary and GUID keys.
#include "db/jet/index/index_key.h"

#include <atomic>

#include <bit>
#include <cstring>

#include "db/jet/index/sort_general.h"
#include "db/jet/index/sort_japanese.h"

namespace mirutone::jet {
namespace {

constexpr std::uint8_t kSegmentMore = 0x09;
constexpr std::size_t kSegmentSize = 8;

[[noreturn]] void fail(const std::string& what) { throw Error(0, "", "index key: " + what); }

void append_be(Bytes& out, std::uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void append_signed(Bytes& out, std::int64_t v, int bytes) {
  auto u = static_cast<std::uint64_t>(v) ^ (std::uint64_t{1} << (8 * bytes - 1));
  append_be(out, u, bytes);
}

void append_float_bits(Bytes& out, std::uint64_t bits, int bytes) {
  const std::uint64_t sign = std::uint64_t{1} << (8 * bytes - 1);
  const std::uint64_t all = bytes == 8 ? ~std::uint64_t{0} : (sign << 1) - 1;
  bits = (bits & sign) ? (~bits & all) : (bits ^ sign);
  append_be(out, bits, bytes);
}

// Binary scheme. With `descending` the data and length bytes are inverted,
// the segment markers are not.
void append_binary(Bytes& out, std::span<const std::uint8_t> data, bool descending) {
  auto put = [&](std::uint8_t b) { out.push_back(descending ? static_cast<std::uint8_t>(~b) : b); };
  std::size_t pos = 0;
  while (data.size() - pos > kSegmentSize) {
    for (std::size_t i = 0; i < kSegmentSize; ++i) put(data[pos + i]);
    out.push_back(kSegmentMore);
    pos += kSegmentSize;
  }
  const std::size_t rest = data.size() - pos;
  for (std::size_t i = 0; i < kSegmentSize; ++i) put(i < rest ? data[pos + i] : 0);
  put(static_cast<std::uint8_t>(rest));
}

template <typename T>
const T& expect(const Value& v, ColumnType type) {
  if (const T* p = std::get_if<T>(&v)) return *p;
  fail("value does not fit a " + type_name(type) + " column");
}

std::int32_t expect_int(const Value& v, ColumnType type, std::int64_t lo, std::int64_t hi) {
  std::int32_t i = expect<std::int32_t>(v, type);
  if (i < lo || i > hi)
    fail(std::to_string(i) + " is out of range for a " + type_name(type) + " column");
  return i;
}

}  // namespace

namespace {
#ifdef _WIN32
std::atomic<JapaneseSortKeys> japanese_keys{JapaneseSortKeys::System};
#else
std::atomic<JapaneseSortKeys> japanese_keys{JapaneseSortKeys::Builtin};
#endif
}  // namespace

void set_japanese_sort_keys(JapaneseSortKeys source) { japanese_keys.store(source); }
JapaneseSortKeys japanese_sort_keys() { return japanese_keys.load(); }

std::shared_ptr<const TextKeyEncoder> make_text_key_encoder(Format format, int sort_order) {
  if (format == Format::Jet3) {
    if (sort_order == fmt::kSortGeneral) return std::make_shared<GeneralTextKeys>();
    if (sort_order == fmt::kSortJapanese) {
      if (japanese_sort_keys() == JapaneseSortKeys::System) return std::make_shared<SystemJapaneseTextKeys>();
      return std::make_shared<JapaneseTextKeys>();
    }
  }
  throw Error(0, "", "index key: no text key encoder for sort order " +
                         std::to_string(sort_order) + " in a " +
                         (format == Format::Jet3 ? "Jet 3" : "Jet 4") + " file");
}

void append_key_column(Bytes& out, ColumnType type, bool ascending, const Value& value,
                       const TextKeyEncoder* text) {
  if (type == ColumnType::Boolean) {
    // Jet keeps Booleans in the null mask, so there is no Null: read it as False.
    const bool b = is_null(value) ? false : expect<bool>(value, type);
    out.push_back(ascending ? kKeyFlagAscending : kKeyFlagDescending);
    const std::uint8_t v = b ? 0x00 : 0xFF;
    out.push_back(ascending ? v : static_cast<std::uint8_t>(~v));
    return;
  }
  if (is_null(value)) {
    out.push_back(ascending ? kKeyNullAscending : kKeyNullDescending);
    return;
  }
  out.push_back(ascending ? kKeyFlagAscending : kKeyFlagDescending);
  const std::size_t start = out.size();
  switch (type) {
    case ColumnType::Byte:
      out.push_back(static_cast<std::uint8_t>(expect_int(value, type, 0, 255)));
      break;
    case ColumnType::Integer:
      append_signed(out, expect_int(value, type, -32768, 32767), 2);
      break;
    case ColumnType::Long:
      append_signed(out, expect<std::int32_t>(value, type), 4);
      break;
    case ColumnType::Currency:
      append_signed(out, expect<Currency>(value, type).scaled, 8);
      break;
    case ColumnType::Single:
      append_float_bits(out, std::bit_cast<std::uint32_t>(expect<float>(value, type)), 4);
      break;
    case ColumnType::Double:
      append_float_bits(out, std::bit_cast<std::uint64_t>(expect<double>(value, type)), 8);
      break;
    case ColumnType::DateTime: {
      const double d = std::holds_alternative<double>(value) ? std::get<double>(value)
                                                             : expect<DateTime>(value, type).days;
      append_float_bits(out, std::bit_cast<std::uint64_t>(d), 8);
      break;
    }
    case ColumnType::Binary:
      append_binary(out, expect<Bytes>(value, type), !ascending);
      return;  // already inverted where it applies
    case ColumnType::GUID: {
      auto g = expect<Guid>(value, type).bytes;
      std::swap(g[0], g[3]);
      std::swap(g[1], g[2]);
      std::swap(g[4], g[5]);
      std::swap(g[6], g[7]);
      append_binary(out, g, !ascending);
      return;
    }
    case ColumnType::Text:
    case ColumnType::Memo:
      if (!text) fail("a text column needs a text key encoder");
      text->append_key(expect<std::string>(value, type), out);
      break;
    default:
      fail("a " + type_name(type) + " column cannot be indexed");
  }
  if (!ascending)
    for (std::size_t i = start; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
}

IndexKeyEncoder::IndexKeyEncoder(std::vector<IndexKeyColumn> columns,
                                 std::shared_ptr<const TextKeyEncoder> text)
    : columns_(std::move(columns)), text_(std::move(text)) {
  if (columns_.empty() || columns_.size() > 10) fail("an index has 1 to 10 columns");
}

Bytes IndexKeyEncoder::encode(std::span<const Value> values) const {
  if (values.size() != columns_.size())
    fail("expected " + std::to_string(columns_.size()) + " values, got " +
         std::to_string(values.size()));
  Bytes out;
  for (std::size_t i = 0; i < columns_.size(); ++i)
    append_key_column(out, columns_[i].type, columns_[i].ascending, values[i], text_.get());
  return out;
}

}  // namespace mirutone::jet
