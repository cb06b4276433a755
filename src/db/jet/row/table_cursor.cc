#include "db/jet/row/table_cursor.h"

#include <cstring>

#include "db/jet/text/codepage.h"
#include "db/jet/api/error.h"
#include "db/jet/file/page_file.h"
#include "db/jet/tdef/tdef.h"
#include "db/jet/file/usage_map.h"

namespace mirutone::jet {

namespace {

// Longest chain of overflow pointers followed for one row.
constexpr int kMaxOverflowHops = 16;

std::string column_context(const RowContext& ctx, const ColumnDef& c) {
  return ctx.describe() + ", column '" + c.name + "'";
}

void set_string(Value& v, const std::uint8_t* data, std::size_t len, bool jet4,
                const CodePage& cp) {
  std::string* s = std::get_if<std::string>(&v);
  if (!s) {
    v = std::string();
    s = std::get_if<std::string>(&v);
  }
  s->clear();
  if (jet4)
    decode_jet4_text(data, len, *s);
  else
    cp.decode(data, len, *s);
}

void set_bytes(Value& v, const std::uint8_t* data, std::size_t len) {
  Bytes* b = std::get_if<Bytes>(&v);
  if (!b) {
    v = Bytes();
    b = std::get_if<Bytes>(&v);
  }
  b->assign(data, data + len);
}

// Jet 4 NUMERIC: sign byte (0x80 = negative), then the 128-bit magnitude as
// four little-endian 32-bit words, most significant word first.
Decimal read_decimal(const std::uint8_t* p, std::uint8_t scale) {
  Decimal d;
  d.negative = (p[0] & 0x80) != 0;
  std::uint64_t w0 = fmt::get_u32(p + 1), w1 = fmt::get_u32(p + 5), w2 = fmt::get_u32(p + 9),
                w3 = fmt::get_u32(p + 13);
  d.hi = w1 | (w0 << 32);
  d.lo = w3 | (w2 << 32);
  d.scale = scale;
  return d;
}

}  // namespace

TableCursor::TableCursor(const PageSource& src, const fmt::Layout& lay,
                         std::shared_ptr<const TableDef> td, const CodePage& text,
                         std::string table, std::shared_ptr<const void> keep_alive)
    : keep_alive_(std::move(keep_alive)),
      src_(src),
      lay_(lay),
      td_(std::move(td)),
      text_(text),
      table_(std::move(table)),
      what_("table '" + table_ + "'"),
      tdef_page_(td_->pages.empty() ? 0 : td_->pages.front()),
      lv_(src, lay) {
  pages_ = read_usage_map(src_, lay_, td_->owned_map, what_);
  buf_.resize(static_cast<std::size_t>(lay_.page_size));
}

bool TableCursor::load_next_page() {
  while (next_page_ < pages_.size()) {
    std::uint32_t p = pages_[next_page_++];
    src_.read_page(p, buf_.data());
    if (buf_[0] != fmt::kPageData || fmt::get_u32(buf_.data() + lay_.dp_off_owner) != tdef_page_)
      throw CorruptError(src_.path(), what_ + ": its usage map lists page " +
                                          std::to_string(p) +
                                          ", which is not one of its data pages");
    slot_count_ = fmt::get_u16(buf_.data() + lay_.dp_off_row_count);
    if (lay_.dp_off_row_table + 2 * slot_count_ > lay_.page_size)
      throw CorruptError(src_.path(), what_ + ": page " + std::to_string(p) +
                                          " claims " + std::to_string(slot_count_) + " rows");
    cur_page_ = p;
    next_slot_ = 0;
    return true;
  }
  return false;
}

bool TableCursor::next(std::vector<Value>& row) {
  if (!next_fields()) return false;
  row.resize(fields_.size());
  for (std::size_t i = 0; i < fields_.size(); ++i) convert(td_->columns[i], fields_[i], row[i], ctx_);
  return true;
}

void TableCursor::convert_field(std::size_t i, Value& v) {
  convert(td_->columns.at(i), fields_.at(i), v, ctx_);
}

bool TableCursor::next_fields() {
  for (;;) {
    if (!have_page_ || next_slot_ >= slot_count_) {
      have_page_ = load_next_page();
      if (!have_page_) return false;
      continue;
    }
    int slot = next_slot_++;
    std::uint16_t raw = fmt::get_u16(buf_.data() + lay_.dp_off_row_table + 2 * slot);
    if (raw & fmt::kSlotDeleted) continue;  // deleted, or the target of an overflow pointer
    cur_slot_ = slot;
    ctx_ = RowContext{&src_.path(), &table_, cur_page_, slot};
    RowSpan s = row_span(buf_.data(), lay_, slot, src_.path(), cur_page_, what_);
    const std::uint8_t* bytes = buf_.data() + s.begin;
    std::size_t len = s.end - s.begin;
    if (raw & fmt::kSlotOverflow) {
      auto [p, n] = follow(bytes, len, ctx_);
      crack_row(*td_, lay_, p, n, fields_, ctx_);
    } else {
      crack_row(*td_, lay_, bytes, len, fields_, ctx_);
    }
    return true;
  }
}

std::pair<const std::uint8_t*, std::size_t> TableCursor::follow(const std::uint8_t* ptr,
                                                                std::size_t len,
                                                                const RowContext& ctx) {
  overflow_.resize(static_cast<std::size_t>(lay_.page_size));
  for (int hop = 0; hop < kMaxOverflowHops; ++hop) {
    if (len < 4)
      throw CorruptError(src_.path(), ctx.describe() + ": overflow pointer is too short");
    fmt::RowPointer target = fmt::get_row_pointer(ptr);
    std::string what = ctx.describe() + " (overflow row)";
    src_.check_page(target.page, what.c_str());
    src_.read_page(target.page, overflow_.data());
    if (overflow_[0] != fmt::kPageData ||
        fmt::get_u32(overflow_.data() + lay_.dp_off_owner) != tdef_page_)
      throw CorruptError(src_.path(), what + ": points to page " + std::to_string(target.page) +
                                          ", which is not a data page of the table");
    RowSpan s = row_span(overflow_.data(), lay_, target.row, src_.path(), target.page, what);
    ptr = overflow_.data() + s.begin;
    len = s.end - s.begin;
    if (!(s.slot & fmt::kSlotOverflow) || (s.slot & fmt::kSlotDeleted)) return {ptr, len};
  }
  throw CorruptError(src_.path(), ctx.describe() + ": more than " +
                                      std::to_string(kMaxOverflowHops) +
                                      " overflow pointers in a row");
}

void TableCursor::convert(const ColumnDef& c, const FieldRef& f, Value& v,
                          const RowContext& ctx) {
  if (c.type == ColumnType::Boolean) {
    v = f.present;
    return;
  }
  if (!f.present) {
    v = std::monostate{};
    return;
  }
  const std::uint8_t* p = f.data;
  auto need = [&](std::uint32_t n) {
    if (f.len < n)
      throw CorruptError(src_.path(), column_context(ctx, c) + ": " + type_name(c.type) +
                                          " value of " + std::to_string(f.len) +
                                          " bytes (needs " + std::to_string(n) + ")");
  };
  try {
    switch (c.type) {
      case ColumnType::Byte:
        need(1);
        v = static_cast<std::int32_t>(p[0]);
        return;
      case ColumnType::Integer:
        need(2);
        v = static_cast<std::int32_t>(static_cast<std::int16_t>(fmt::get_u16(p)));
        return;
      case ColumnType::Long:
        need(4);
        v = static_cast<std::int32_t>(fmt::get_u32(p));
        return;
      case ColumnType::Currency:
        need(8);
        v = Currency{static_cast<std::int64_t>(fmt::get_u64(p))};
        return;
      case ColumnType::Single: {
        need(4);
        std::uint32_t bits = fmt::get_u32(p);
        float x;
        std::memcpy(&x, &bits, 4);
        v = x;
        return;
      }
      case ColumnType::Double:
      case ColumnType::DateTime: {
        need(8);
        std::uint64_t bits = fmt::get_u64(p);
        double x;
        std::memcpy(&x, &bits, 8);
        if (c.type == ColumnType::Double)
          v = x;
        else
          v = DateTime{x};
        return;
      }
      case ColumnType::GUID: {
        need(16);
        Guid g;
        std::memcpy(g.bytes.data(), p, 16);
        v = g;
        return;
      }
      case ColumnType::Decimal:
        need(17);
        v = read_decimal(p, c.scale);
        return;
      case ColumnType::Text:
        set_string(v, p, f.len, lay_.format == Format::Jet4, text_);
        return;
      case ColumnType::Memo:
        lv_.read(p, f.len, scratch_, column_context(ctx, c));
        set_string(v, scratch_.data(), scratch_.size(), lay_.format == Format::Jet4, text_);
        return;
      case ColumnType::OLE:
        lv_.read(p, f.len, scratch_, column_context(ctx, c));
        set_bytes(v, scratch_.data(), scratch_.size());
        return;
      case ColumnType::Binary:
      default:
        set_bytes(v, p, f.len);
        return;
    }
  } catch (const CorruptError&) {
    throw;
  } catch (const Error& e) {
    throw Error(e.jet_code(), src_.path(), column_context(ctx, c) + ": " + e.what());
  }
}

}  // namespace mirutone::jet
