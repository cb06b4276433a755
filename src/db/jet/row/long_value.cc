#include "db/jet/row/long_value.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "db/jet/api/error.h"
#include "db/jet/file/page_file.h"
#include "db/jet/file/usage_map.h"

namespace mirutone::jet {

std::pair<const std::uint8_t*, std::size_t> LongValueReader::lval_row(fmt::RowPointer ptr,
                                                                     const std::string& what) {
  if (ptr.page == 0)
    throw CorruptError(src_.path(), what + ": long value refers to page 0");
  if (loaded_ != ptr.page) {
    src_.check_page(ptr.page, what.c_str());
    page_.resize(static_cast<std::size_t>(lay_.page_size));
    loaded_ = 0;
    src_.read_page(ptr.page, page_.data());
    if (page_[0] != fmt::kPageData ||
        std::memcmp(page_.data() + lay_.dp_off_owner, fmt::kLvalOwner.data(), 4) != 0)
      throw CorruptError(src_.path(), what + ": long value refers to page " +
                                          std::to_string(ptr.page) + ", which is not an LVAL page");
    loaded_ = ptr.page;
  }
  RowSpan s = row_span(page_.data(), lay_, ptr.row, src_.path(), ptr.page, what);
  return {page_.data() + s.begin, s.end - s.begin};
}

void LongValueReader::read(const std::uint8_t* field, std::size_t len,
                           std::vector<std::uint8_t>& out, const std::string& what) {
  out.clear();
  if (len < static_cast<std::size_t>(fmt::kLongValueRefSize))
    throw CorruptError(src_.path(), what + ": long-value reference of " + std::to_string(len) +
                                        " bytes (needs 12)");
  const std::uint32_t total = fmt::get_u24(field);
  const std::uint8_t kind = field[3];
  const fmt::RowPointer first = fmt::get_row_pointer(field + 4);
  switch (kind) {
    case fmt::kLvInline: {
      std::size_t have = len - fmt::kLongValueRefSize;
      if (have < total)
        throw CorruptError(src_.path(), what + ": inline long value says " +
                                            std::to_string(total) + " bytes but holds " +
                                            std::to_string(have));
      out.assign(field + fmt::kLongValueRefSize, field + fmt::kLongValueRefSize + total);
      return;
    }
    case fmt::kLvSingle: {
      auto [p, n] = lval_row(first, what);
      if (n < total)
        throw CorruptError(src_.path(), what + ": long value of " + std::to_string(total) +
                                            " bytes but its LVAL row holds " + std::to_string(n));
      out.assign(p, p + total);
      return;
    }
    case fmt::kLvChain: {
      out.reserve(total);
      fmt::RowPointer ptr = first;
      std::unordered_set<std::uint32_t> seen;
      while (out.size() < total) {
        if (ptr.page == 0)
          throw CorruptError(src_.path(), what + ": long-value chain ends after " +
                                              std::to_string(out.size()) + " of " +
                                              std::to_string(total) + " bytes");
        if (!seen.insert((ptr.page << 8) | ptr.row).second)
          throw CorruptError(src_.path(), what + ": long-value chain loops back to page " +
                                              std::to_string(ptr.page) + " row " +
                                              std::to_string(ptr.row));
        auto [p, n] = lval_row(ptr, what);
        if (n <= 4)
          throw CorruptError(src_.path(), what + ": empty link in a long-value chain at page " +
                                              std::to_string(ptr.page));
        fmt::RowPointer next = fmt::get_row_pointer(p);
        std::size_t take = std::min<std::size_t>(n - 4, total - out.size());
        out.insert(out.end(), p + 4, p + 4 + take);
        ptr = next;
      }
      return;
    }
    default: {
      char buf[8];
      std::snprintf(buf, sizeof buf, "0x%02X", kind);
      throw CorruptError(src_.path(), what + ": unknown long-value kind " + buf);
    }
  }
}

}  // namespace mirutone::jet
