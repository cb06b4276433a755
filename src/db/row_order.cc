#include "db/row_order.h"

#include <algorithm>
#include <cctype>
#include <numeric>

#include "db/errors.h"
#include "db/jet/api/sort_keys.h"

namespace mirutone::db {
namespace {

bool is_text(jet::ColumnType t) { return t == jet::ColumnType::Text || t == jet::ColumnType::Memo; }

// Letters without regard to case, in code point order, ended by 0x00.
void append_plain_text(jet::Bytes& out, const jet::Value& v, bool descending) {
  if (jet::is_null(v)) {
    out.push_back(descending ? jet::kKeyNullDescending : jet::kKeyNullAscending);
    return;
  }
  out.push_back(descending ? jet::kKeyFlagDescending : jet::kKeyFlagAscending);
  std::string s;
  if (const auto* t = std::get_if<std::string>(&v)) {
    s = *t;
  } else if (const auto* b = std::get_if<jet::Bytes>(&v)) {
    s.assign(b->begin(), b->end());
  }
  const std::size_t start = out.size();
  for (unsigned char c : s) out.push_back(static_cast<std::uint8_t>(c < 0x80 ? std::toupper(c) : c));
  out.push_back(0x00);
  if (descending) {
    for (std::size_t i = start; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
  }
}

}  // namespace

SortKeys::SortKeys(std::vector<SortColumn> columns, jet::Format format, int sort_order)
    : columns_(std::move(columns)) {
  bool any_text = std::any_of(columns_.begin(), columns_.end(), [](const SortColumn& c) { return is_text(c.type); });
  if (!any_text) return;
  try {
    text_ = jet::make_text_key_encoder(format, sort_order);
  } catch (const jet::Error&) {
    plain_ = true;
  }
}

SortKeys::~SortKeys() = default;

void SortKeys::use_plain_text() { plain_ = true; }

jet::Bytes SortKeys::key(const std::vector<jet::Value>& row) const {
  jet::Bytes out;
  for (const auto& c : columns_) {
    const jet::Value& v = row.at(static_cast<std::size_t>(c.position));
    if (is_text(c.type) && plain_) {
      append_plain_text(out, v, c.descending);
    } else if (c.type == jet::ColumnType::OLE || c.type == jet::ColumnType::Binary ||
               c.type == jet::ColumnType::Decimal || c.type == jet::ColumnType::GUID) {
      append_plain_text(out, v, c.descending);
    } else {
      jet::ColumnType type = c.type == jet::ColumnType::Memo ? jet::ColumnType::Text : c.type;
      jet::append_key_column(out, type, !c.descending, v, text_.get());
    }
  }
  return out;
}

SortedRows::SortedRows(RowScannerFactory scan, SortKeys keys, std::size_t window)
    : scan_(std::move(scan)), keys_(std::move(keys)), window_(std::max<std::size_t>(window, 1)) {}

void SortedRows::prepare() {
  prepared_ = true;
  std::vector<jet::Bytes> keys;
  for (int attempt = 0;; ++attempt) {
    keys.clear();
    rows_.clear();
    all_kept_ = true;
    try {
      RowScanner scan = scan_();
      std::vector<jet::Value> row;
      while (scan(row)) {
        keys.push_back(keys_.key(row));
        if (all_kept_) {
          if (rows_.size() < window_) {
            rows_.push_back(row);
          } else {
            all_kept_ = false;
            rows_.clear();
            rows_.shrink_to_fit();
          }
        }
      }
      break;
    } catch (const jet::Error&) {
      // A text the sort order cannot place: order all text plainly instead.
      if (attempt > 0 || keys_.plain_text()) throw;
      keys_.use_plain_text();
    }
  }
  order_.resize(keys.size());
  std::iota(order_.begin(), order_.end(), 0u);
  std::stable_sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
  if (!all_kept_) {
    rank_.assign(order_.size(), 0);
    for (std::size_t i = 0; i < order_.size(); ++i) rank_[order_[i]] = static_cast<std::uint32_t>(i);
  }
}

void SortedRows::fill_window() {
  window_start_ = next_;
  const std::size_t end = std::min(order_.size(), window_start_ + window_);
  rows_.assign(end - window_start_, {});
  RowScanner scan = scan_();
  std::vector<jet::Value> row;
  std::size_t number = 0, found = 0;
  while (found < rows_.size() && scan(row)) {
    if (number >= rank_.size()) break;
    std::size_t place = rank_[number++];
    if (place >= window_start_ && place < end) {
      rows_[place - window_start_] = row;
      ++found;
    }
  }
  if (found != rows_.size()) {
    throw Error(jet_errors::kObjectClosed, "The table changed while its rows were being sorted");
  }
}

bool SortedRows::next(std::vector<jet::Value>& row) {
  if (!prepared_) prepare();
  if (next_ >= order_.size()) return false;
  if (all_kept_) {
    row = std::move(rows_[order_[next_++]]);
    return true;
  }
  if (next_ == 0 || next_ - window_start_ >= rows_.size()) fill_window();
  row = std::move(rows_[next_ - window_start_]);
  ++next_;
  return true;
}

}  // namespace mirutone::db
