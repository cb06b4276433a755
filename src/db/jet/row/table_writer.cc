#include "db/jet/row/table_writer.h"

#include <algorithm>

#include "db/jet/text/codepage.h"
#include "db/jet/file/data_page_builder.h"
#include "db/jet/index/index_entry_sorter.h"
#include "db/jet/index/index_tree_builder.h"
#include "db/jet/format/jet3_format.h"
#include "db/jet/row/long_value_builder.h"
#include "db/jet/file/page_store.h"
#include "db/jet/row/row_builder.h"
#include "db/jet/tdef/tdef.h"
#include "db/jet/file/usage_map_builder.h"

namespace mirutone::jet {

// The LVAL pages of one Memo/OLE column, kept in the column's own maps.
class TableLvalSink : public LvalPageSink {
 public:
  TableLvalSink(PageStore& store, fmt::RowPointer owned, fmt::RowPointer free)
      : store_(store), owned_(owned), free_(free) {}

  std::uint32_t allocate_lval_page() override {
    std::uint32_t page = store_.allocate();
    start_data_page(store_.write(page), jet3::kLvalOwner);
    UsageMap(store_, owned_).set(page, true);
    UsageMap(store_, free_).set(page, true);
    if (current_ != 0) UsageMap(store_, free_).set(current_, false);
    current_ = page;
    return page;
  }

  std::uint32_t lval_page_with_room(int row_size) override {
    if (!looked_) {
      looked_ = true;
      auto pages = UsageMap(store_, free_).pages();
      if (!pages.empty() && pages.back() < store_.page_count()) current_ = pages.back();
    }
    if (current_ == 0) return 0;
    DataPageBuilder page(const_cast<std::uint8_t*>(store_.read(current_)));
    if (page.owner() != jet3::kLvalOwner) return 0;
    return page.has_room(static_cast<std::size_t>(row_size)) ? current_ : 0;
  }

  std::uint8_t append_lval_row(std::uint32_t page, std::span<const std::uint8_t> row) override {
    auto n = DataPageBuilder(store_.write(page)).add_row(row);
    if (!n) throw Error(0, store_.path(), "long-value page " + std::to_string(page) + " has no room");
    return static_cast<std::uint8_t>(*n);
  }

 private:
  PageStore& store_;
  fmt::RowPointer owned_, free_;
  std::uint32_t current_ = 0;
  bool looked_ = false;
};

struct TableWriter::Index {
  std::size_t real = 0;                 // position in def_.real_indexes
  std::vector<std::size_t> positions;   // key columns, as positions in def_.columns
  std::unique_ptr<IndexKeyEncoder> keys;
  std::string unsupported;              // why keys cannot be made, when they cannot
  std::string name;                     // a logical name, for messages
  bool unique = false;
  bool no_nulls = false;                // primary key or "required"
  bool ignore_nulls = false;
  std::unique_ptr<IndexEntrySorter> entries;  // the tree's entries and the new ones
  std::uint64_t tree_entries = 0;       // statistics of the tree as found or last written
  std::uint64_t tree_distinct = 0;
  std::vector<std::uint32_t> pages;     // pages of the tree as found
  bool changed = false;
  // Per key column, the last text encoded and its part of the key: rows
  // often share a text key value with the row before (a day's rows, a date).
  struct LastText {
    bool set = false;
    std::string text;
    Bytes part;
  };
  std::vector<LastText> last_text;
};

namespace {

// Room an entry needs on a node page beyond its key: row pointer and child.
constexpr std::size_t kNodeEntryExtra = 8;

}  // namespace

TableWriter::TableWriter(PageStore& store, const CodePage& text, std::uint32_t tdef_page, std::string name,
                         std::vector<ColumnRules> rules)
    : store_(store), text_(text), tdef_page_(tdef_page), name_(std::move(name)), rules_(std::move(rules)) {
  def_ = read_tdef(store_, fmt::kJet3, text_, tdef_page_, name_);
  row_count_ = def_.row_count;
  autonumber_ = def_.autonumber;
  if (!rules_.empty() && rules_.size() != def_.columns.size()) rules_.clear();
  rows_ = std::make_unique<RowBuilder>(def_, text_, name_);
  for (const auto& lv : def_.long_value_maps) {
    lval_[lv.column_number] = std::make_unique<TableLvalSink>(store_, lv.owned_map, lv.free_map);
  }

  for (std::size_t r = 0; r < def_.real_indexes.size(); ++r) {
    const auto& ri = def_.real_indexes[r];
    Index ix;
    ix.real = r;
    ix.unique = (ri.flags & fmt::kIdxUnique) != 0;
    ix.no_nulls = (ri.flags & fmt::kIdxRequired) != 0;
    ix.ignore_nulls = (ri.flags & fmt::kIdxIgnoreNulls) != 0;
    for (const auto& li : def_.logical_indexes) {
      if (li.real_index != r) continue;
      if (ix.name.empty()) ix.name = li.name;
      if (li.type == fmt::kIdxTypePrimary) {
        ix.no_nulls = true;
        ix.name = li.name;
      }
    }
    std::vector<IndexKeyColumn> cols;
    std::shared_ptr<const TextKeyEncoder> text_keys;
    for (const auto& c : ri.columns) {
      auto it = std::find_if(def_.columns.begin(), def_.columns.end(),
                             [&](const ColumnDef& d) { return d.number == c.number; });
      if (it == def_.columns.end()) {
        throw CorruptError(store_.path(), "index of table '" + name_ + "' names a missing column");
      }
      ix.positions.push_back(static_cast<std::size_t>(it - def_.columns.begin()));
      cols.push_back({it->type, c.ascending});
      if ((it->type == ColumnType::Text || it->type == ColumnType::Memo) && !text_keys) {
        try {
          text_keys = make_text_key_encoder(Format::Jet3, it->sort_order);
        } catch (const Error& e) {
          ix.unsupported = e.what();
        }
      }
    }
    ix.keys = std::make_unique<IndexKeyEncoder>(std::move(cols), text_keys);
    ix.entries = std::make_unique<IndexEntrySorter>(
        store_.path(), "table '" + name_ + "', index '" + ix.name + "'", 0, ix.unique);
    indexes_.push_back(std::move(ix));
  }
  set_sort_memory(sort_memory_);
}

void TableWriter::set_sort_memory(std::size_t bytes) {
  sort_memory_ = bytes;
  const std::size_t share = indexes_.empty() ? bytes : bytes / indexes_.size();
  for (auto& ix : indexes_) ix.entries->set_memory(std::max<std::size_t>(share, 4096));
}

TableWriter::~TableWriter() = default;

void TableWriter::set_rules(std::vector<ColumnRules> rules) {
  if (!rules.empty() && rules.size() != def_.columns.size()) {
    throw Error(0, store_.path(), "table '" + name_ + "': column rules do not match the columns");
  }
  rules_ = std::move(rules);
}

void TableWriter::load_indexes() {
  if (indexes_loaded_) return;
  for (auto& ix : indexes_) {
    if (!ix.unsupported.empty()) {
      throw Error(0, store_.path(), "table '" + name_ + "': index '" + ix.name +
                                        "' cannot be kept up to date (" + ix.unsupported + ")");
    }
    const auto& ri = def_.real_indexes[ix.real];
    // The walk checks that entries ascend, so equal keys are neighbours.
    ix.entries->clear();
    ix.tree_entries = ix.tree_distinct = 0;
    Bytes last;
    ix.pages = walk_index_tree(store_, ri.first_page, tdef_page_, [&](const IndexEntry& e) {
      if (ix.tree_entries == 0 || e.key != last) {
        ++ix.tree_distinct;
        last = e.key;
      }
      ++ix.tree_entries;
      ix.entries->make_room(e.key.size());
      ix.entries->add(e.key, e.page, e.row);
    });
    ix.changed = false;
  }
  indexes_loaded_ = true;
}

std::uint32_t TableWriter::page_for_row(std::size_t size) {
  if (current_page_ == 0) {
    auto free_pages = UsageMap(store_, def_.free_map).pages();
    for (auto it = free_pages.rbegin(); it != free_pages.rend(); ++it) {
      if (*it >= store_.page_count()) continue;
      DataPageBuilder page(const_cast<std::uint8_t*>(store_.read(*it)));
      if (store_.read(*it)[0] == fmt::kPageData && page.owner() == tdef_page_) {
        current_page_ = *it;
        break;
      }
    }
  }
  if (current_page_ != 0) {
    DataPageBuilder page(const_cast<std::uint8_t*>(store_.read(current_page_)));
    if (page.has_room(size)) return current_page_;
  }
  std::uint32_t page = store_.allocate();
  start_data_page(store_.write(page), tdef_page_);
  UsageMap(store_, def_.owned_map).set(page, true);
  UsageMap free_map(store_, def_.free_map);
  free_map.set(page, true);
  if (current_page_ != 0) free_map.set(current_page_, false);
  current_page_ = page;
  return page;
}

struct TableWriter::Checked {
  std::vector<Bytes> keys;
  std::vector<bool> skip;
  std::uint32_t next_auto = 0;
  std::size_t numbered = static_cast<std::size_t>(-1);  // the autonumber column numbered, if any
};

Bytes TableWriter::encode_key(Index& ix, const std::vector<Value>& values) {
  // What ix.keys->encode gives for the key columns' values, column by column.
  const auto& columns = ix.keys->columns();
  if (ix.last_text.size() != columns.size()) ix.last_text.assign(columns.size(), {});
  Bytes key;
  for (std::size_t j = 0; j < columns.size(); ++j) {
    const Value& v = values[ix.positions[j]];
    const auto* text = std::get_if<std::string>(&v);
    const bool textual = text && (columns[j].type == ColumnType::Text || columns[j].type == ColumnType::Memo);
    Index::LastText& last = ix.last_text[j];
    if (textual && last.set && last.text == *text) {
      key.insert(key.end(), last.part.begin(), last.part.end());
      continue;
    }
    const std::size_t start = key.size();
    append_key_column(key, columns[j].type, columns[j].ascending, v, ix.keys->text());
    if (textual) {
      last.set = true;
      last.text = *text;
      last.part.assign(key.begin() + static_cast<std::ptrdiff_t>(start), key.end());
    }
  }
  return key;
}

void TableWriter::check(std::vector<Value> values) { (void)prepare(values); }

TableWriter::Checked TableWriter::prepare(std::vector<Value>& values) {
  const auto& cols = def_.columns;
  // The autonumber column given its number here, if any: Null again when the
  // row is refused, so that the caller's row is as it was.
  std::size_t numbered = cols.size();
  try {
  if (values.size() != cols.size()) {
    throw Error(error_numbers::kUnknownField, store_.path(), "table '" + name_ + "' has " + std::to_string(cols.size()) +
                                         " columns; the row has " + std::to_string(values.size()) + " values");
  }
  // Autonumber, required columns, zero-length strings, text lengths.
  std::uint32_t next_auto = autonumber_;
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const auto& c = cols[i];
    Value& v = values[i];
    if (c.auto_long()) {
      if (is_null(v)) {
        if (next_auto >= 0x7FFFFFFFu) {
          throw Error(error_numbers::kReserved, store_.path(), "table '" + name_ + "': autonumber column '" + c.name + "' is exhausted");
        }
        v = static_cast<std::int32_t>(++next_auto);
        numbered = i;
      } else if (const auto* n = std::get_if<std::int32_t>(&v); n && *n > 0 &&
                 static_cast<std::uint32_t>(*n) > next_auto) {
        next_auto = static_cast<std::uint32_t>(*n);
      }
    }
    const ColumnRules rule = i < rules_.size() ? rules_[i] : ColumnRules{};
    if (rule.required && is_null(v) && c.type != ColumnType::Boolean) {
      throw Error(error_numbers::kRequired, store_.path(), "table '" + name_ + "': column '" + c.name + "' is required and cannot be Null");
    }
    if (const auto* s = std::get_if<std::string>(&v)) {
      if (s->empty() && !rule.allow_zero_length &&
          (c.type == ColumnType::Text || c.type == ColumnType::Memo)) {
        throw Error(error_numbers::kZeroLengthNotAllowed, store_.path(), "table '" + name_ + "': column '" + c.name + "' cannot be a zero-length string");
      }
      if (c.type == ColumnType::Text) {
        // The declared length is in bytes, while the layer above counts
        // characters: a value of double-byte characters may take up to twice
        // the declared length and is stored whole. Beyond that no character
        // count could justify it.
        // ASCII is one byte a character in every code page Jet uses.
        const bool ascii = std::all_of(s->begin(), s->end(), [](char ch) { return (ch & 0x80) == 0; });
        const std::size_t size = ascii ? s->size() : text_.encode(*s).size();
        const int cp = text_.number();
        const bool double_byte = cp == 932 || cp == 936 || cp == 949 || cp == 950;
        const std::size_t limit = double_byte ? 2u * c.length : c.length;
        if (size > limit) {
          throw Error(error_numbers::kFieldTooSmall, store_.path(), "table '" + name_ + "': the value for column '" + c.name + "' is " +
                                               std::to_string(size) + " bytes; the field holds " +
                                               std::to_string(c.length) + " characters");
        }
      }
    }
  }

  // Keys, and the checks they need, before anything is stored.
  load_indexes();
  std::vector<Bytes> keys(indexes_.size());
  std::vector<bool> skip(indexes_.size(), false);
  for (std::size_t k = 0; k < indexes_.size(); ++k) {
    auto& ix = indexes_[k];
    bool any_null = false, all_null = true;
    for (std::size_t pos : ix.positions) {
      bool null = is_null(values[pos]) && cols[pos].type != ColumnType::Boolean;
      any_null = any_null || null;
      all_null = all_null && null;
    }
    if (any_null && ix.no_nulls) {
      throw Error(error_numbers::kNullInPrimaryKey, store_.path(), "table '" + name_ + "': index '" + ix.name + "' cannot contain a Null value");
    }
    if (all_null && ix.ignore_nulls) {
      skip[k] = true;
      continue;
    }
    keys[k] = encode_key(ix, values);
    if (keys[k].size() + kNodeEntryExtra > static_cast<std::size_t>(jet3::kIndexPageCapacity)) {
      throw Error(error_numbers::kFieldTooSmall, store_.path(), "table '" + name_ + "': the key of index '" + ix.name + "' would be " +
                                           std::to_string(keys[k].size()) + " bytes, more than an index page holds");
    }
    if (ix.unique && !any_null && ix.entries->contains(keys[k])) {
      throw Error(error_numbers::kDuplicateKey, store_.path(), "table '" + name_ + "': the row would duplicate a value of index '" +
                                           ix.name + "'");
    }
  }
  if (row_count_ == 0xFFFFFFFFu) throw Error(0, store_.path(), "table '" + name_ + "' is full");
  return Checked{std::move(keys), std::move(skip), next_auto, numbered};
  } catch (...) {
    if (numbered < cols.size()) values[numbered] = Value{};
    throw;
  }
}

fmt::RowPointer TableWriter::append(std::vector<Value> values) { return append_in_place(values); }

fmt::RowPointer TableWriter::append_in_place(std::vector<Value>& values) {
  Checked checked = prepare(values);
  std::vector<Bytes>& keys = checked.keys;
  try {
  // Long values go to their columns' pages while the row is built.
  LvalSinkFor sink = [this](const ColumnDef& c) -> LvalPageSink& {
    auto it = lval_.find(c.number);
    if (it == lval_.end()) {
      throw CorruptError(store_.path(), "table '" + name_ + "' has no long-value maps for column '" + c.name + "'");
    }
    return *it->second;
  };
  // Index entries that would pass their memory go to the temporary file now,
  // so a failure there leaves the row unwritten.
  for (std::size_t k = 0; k < indexes_.size(); ++k) {
    if (!checked.skip[k]) indexes_[k].entries->make_room(keys[k].size());
  }
  std::vector<std::uint8_t> row = rows_->build(values, sink);
  std::uint32_t page = page_for_row(row.size());
  auto slot = DataPageBuilder(store_.write(page)).add_row(row);
  if (!slot) throw Error(0, store_.path(), "table '" + name_ + "': a row of " + std::to_string(row.size()) +
                                               " bytes does not fit an empty page");

  for (std::size_t k = 0; k < indexes_.size(); ++k) {
    if (checked.skip[k]) continue;
    auto& ix = indexes_[k];
    ix.entries->add(keys[k], page, static_cast<std::uint8_t>(*slot));
    ix.changed = true;
  }
  autonumber_ = checked.next_auto;
  ++row_count_;
  changed_ = true;
  return fmt::RowPointer{page, static_cast<std::uint8_t>(*slot)};
  } catch (...) {
    if (checked.numbered < values.size()) values[checked.numbered] = Value{};
    throw;
  }
}

void TableWriter::finish() {
  if (!changed_) return;
  auto patch_u32 = [&](int offset, std::uint32_t value) {
    for (int b = 0; b < 4; ++b) {
      TdefPosition pos = tdef_position(offset + b);
      if (pos.page_index >= static_cast<int>(def_.pages.size())) {
        throw CorruptError(store_.path(), "table definition of '" + name_ + "' is shorter than its fields");
      }
      store_.write(def_.pages[pos.page_index])[pos.offset] = static_cast<std::uint8_t>(value >> (8 * b));
    }
  };
  bool system = def_.table_type == jet3::kTableTypeSystem;
  for (auto& ix : indexes_) {
    const auto& ri = def_.real_indexes[ix.real];
    if (ix.changed) {
      std::vector<std::uint32_t> spare;
      for (auto p : ix.pages) {
        if (p != ri.first_page) spare.push_back(p);
      }
      IndexTreeWriter tree(store_, tdef_page_, ri.first_page, std::move(spare));
      std::uint64_t entries = 0, distinct = 0;
      Bytes last;
      IndexTreePages pages;
      try {
        ix.entries->drain([&](const IndexEntry& e) {
          if (entries == 0 || e.key != last) {
            ++distinct;
            last = e.key;
          }
          ++entries;
          tree.add(e);
        });
        pages = tree.finish();
      } catch (const Error& e) {
        if (!e.file().empty()) throw;
        throw Error(e.jet_code(), store_.path(), "table '" + name_ + "', index '" + ix.name + "': " + e.what());
      }
      UsageMap map(store_, ri.usage_map);
      for (auto p : pages.used) map.set(p, true);
      UsageMap global(store_, fmt::RowPointer{fmt::kGlobalMapPage, 0});
      const Bytes empty(jet3::kPageSize, 0);
      for (auto p : pages.unused) {
        map.set(p, false);
        store_.write_page(p, empty);
        global.set(p, true);
      }
      ix.pages = pages.used;
      ix.tree_entries = entries;
      ix.tree_distinct = distinct;
      ix.changed = false;
    }
    int stats = fmt::kJet3.td_var_start + static_cast<int>(ix.real) * fmt::kJet3.real_index_stats_size;
    patch_u32(stats, system ? 0 : static_cast<std::uint32_t>(ix.tree_entries));
    patch_u32(stats + 4, static_cast<std::uint32_t>(ix.tree_distinct));
  }
  patch_u32(fmt::kJet3.td_off_row_count, row_count_);
  patch_u32(fmt::kJet3.td_off_autonumber, autonumber_);
  // The trees now hold every entry; further rows start again from them.
  for (auto& ix : indexes_) ix.entries->clear();
  indexes_loaded_ = false;
  changed_ = false;
}

}  // namespace mirutone::jet
