#include "db/jet/row/long_value_builder.h"

#include <algorithm>

#include "db/jet/file/data_page_builder.h"
#include "db/jet/api/error.h"
#include "db/jet/format/jet3_format.h"

namespace mirutone::jet {

namespace {

std::vector<std::uint8_t> reference(std::size_t length, std::uint8_t kind, fmt::RowPointer rp) {
  std::vector<std::uint8_t> ref(fmt::kLongValueRefSize, 0);
  jet3::put_u24(ref.data(), static_cast<std::uint32_t>(length));
  ref[3] = kind;
  if (kind != fmt::kLvInline) jet3::put_row_pointer(ref.data() + 4, rp);
  return ref;
}

}  // namespace

bool long_value_fits_inline(std::size_t length) {
  return length <= static_cast<std::size_t>(jet3::kLongValueInlineMax);
}

std::vector<std::uint8_t> inline_long_value(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out = reference(data.size(), fmt::kLvInline, {});
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::vector<std::uint8_t> store_long_value(std::span<const std::uint8_t> data, LvalPageSink& sink,
                                           const std::string& column) {
  const std::size_t n = data.size();
  if (n > jet3::kLongValueMaxLength)
    throw Error(error_numbers::kFieldTooSmall, "",
                "column '" + column + "': a value of " + std::to_string(n) +
                    " bytes is longer than the " + std::to_string(jet3::kLongValueMaxLength) +
                    " bytes a Memo or OLE value can hold");

  if (n <= static_cast<std::size_t>(jet3::kLongValueSingleMax)) {
    const int size = static_cast<int>(n);
    std::uint32_t page = sink.lval_page_with_room(size);
    if (page == 0) page = sink.allocate_lval_page();
    const std::uint8_t row = sink.append_lval_row(page, data);
    return reference(n, fmt::kLvSingle, {page, row});
  }

  // A chain: every link on a fresh page of its own, in page order. The links
  // are written last to first so each one can carry its successor's pointer.
  const std::size_t chunk = jet3::kLongValueChunk;
  const std::size_t links = (n + chunk - 1) / chunk;
  std::vector<std::uint32_t> pages(links);
  for (auto& p : pages) p = sink.allocate_lval_page();

  fmt::RowPointer next{};
  std::vector<std::uint8_t> row;
  for (std::size_t i = links; i-- > 0;) {
    const std::size_t begin = i * chunk;
    const std::size_t len = std::min(chunk, n - begin);
    row.assign(jet3::kLongValueNextSize, 0);
    jet3::put_row_pointer(row.data(), next);
    row.insert(row.end(), data.begin() + begin, data.begin() + begin + len);
    next = fmt::RowPointer{pages[i], sink.append_lval_row(pages[i], row)};
  }
  return reference(n, fmt::kLvChain, next);
}

std::uint32_t LvalPagePool::allocate_lval_page() {
  const std::uint32_t page = pages_.allocate();
  start_data_page(pages_.buffer(page), jet3::kLvalOwner);
  all_.push_back(page);
  return page;
}

std::uint32_t LvalPagePool::lval_page_with_room(int row_size) {
  for (std::uint32_t page : all_)
    if (DataPageBuilder(pages_.buffer(page)).has_room(static_cast<std::size_t>(row_size)))
      return page;
  return 0;
}

std::uint8_t LvalPagePool::append_lval_row(std::uint32_t page, std::span<const std::uint8_t> row) {
  const auto slot = DataPageBuilder(pages_.buffer(page)).add_row(row);
  if (!slot)
    throw Error(0, "",
                "LVAL page " + std::to_string(page) + " has no room for a row of " +
                    std::to_string(row.size()) + " bytes");
  return static_cast<std::uint8_t>(*slot);
}

std::vector<std::uint32_t> LvalPagePool::pages_with_room() const {
  std::vector<std::uint32_t> out;
  for (std::uint32_t page : all_)
    if (DataPageBuilder(pages_.buffer(page)).has_room(1)) out.push_back(page);
  return out;
}

}  // namespace mirutone::jet
