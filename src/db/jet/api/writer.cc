#include "db/jet/api/writer.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>

#include "db/jet/catalog/catalog.h"
#include "db/jet/catalog/catalog_builder.h"
#include "db/jet/text/codepage.h"
#include "db/jet/file/data_page_builder.h"
#include "db/jet/file/header.h"
#include "db/jet/index/index_key.h"
#include "db/jet/index/index_page.h"
#include "db/jet/text/names.h"
#include "db/jet/format/jet3_format.h"
#include "db/jet/file/page_store.h"
#include "db/jet/tdef/properties.h"
#include "db/jet/tdef/properties_builder.h"
#include "db/jet/query/query_def.h"
#include "db/jet/query/query_format.h"
#include "db/jet/row/table_writer.h"
#include "db/jet/file/usage_map_builder.h"
#include "platform/path.h"

namespace mirutone::jet {

struct Writer::TableEntry {
  std::string name;
  std::uint32_t tdef_page = 0;
  std::vector<ColumnRules> rules;  // when known at creation
  std::optional<Bytes> lv_prop;    // tables found in the file: their properties
  std::unique_ptr<TableWriter> writer;
};

namespace {

constexpr int kMaxNameChars = 64;
constexpr int kMapRowsPerPage = jet3::kEmptyDataPageFree / (jet3::kMapRowSize + 2);  // 15

DateTime now_local() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  return from_civil(CivilTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
}

struct TypeShape {
  bool fixed;
  std::uint16_t length;
};

TypeShape shape_of(const ColumnDesign& c, const std::string& table) {
  auto bad = [&](const std::string& why) -> Error {
    return Error(error_numbers::kInvalidFieldType, "", "table '" + table + "', column '" + c.name + "': " + why);
  };
  switch (c.type) {
    case ColumnType::Boolean: return {true, 1};
    case ColumnType::Byte: return {true, 1};
    case ColumnType::Integer: return {true, 2};
    case ColumnType::Long: return {true, 4};
    case ColumnType::Currency: return {true, 8};
    case ColumnType::Single: return {true, 4};
    case ColumnType::Double: return {true, 8};
    case ColumnType::DateTime: return {true, 8};
    case ColumnType::GUID: return {true, 16};
    case ColumnType::Memo:
    case ColumnType::OLE: return {false, 0};
    case ColumnType::Text:
    case ColumnType::Binary: {
      int size = c.size == 0 ? 50 : c.size;
      if (size < 1 || size > 255) throw bad("a field size of " + std::to_string(c.size) + " bytes is outside 1..255");
      return {false, static_cast<std::uint16_t>(size)};
    }
    default:
      throw bad("type " + type_name(c.type) + " cannot be stored in a Jet 3 database");
  }
}

}  // namespace

Writer::Writer(std::string path, std::unique_ptr<PageStore> store, Locale locale)
    : path_(std::move(path)),
      store_(std::move(store)),
      locale_(locale),
      text_(std::make_unique<CodePage>(locale.codepage)),
      next_synthetic_id_(fmt::kFirstSyntheticId),
      sort_memory_(TableWriter::kDefaultSortMemory) {}

Writer::~Writer() {
  try {
    close();
  } catch (...) {
    // The owner did not call close(); nothing can be reported from here.
  }
}

std::unique_ptr<Writer> Writer::create(const std::string& path, Locale locale) {
  auto store = PageStore::create(path);
  try {
    std::unique_ptr<Writer> w(new Writer(path, std::move(store), locale));
    lay_out_new_database(*w->store_, locale.sort_order, locale.codepage);
    DateTime now = now_local();
    auto& objects = w->system_table(jet3::kTdefMSysObjects);
    for (auto& row : engine_object_rows(now)) objects.append(std::move(row));
    auto& aces = w->system_table(jet3::kTdefMSysACEs);
    for (auto& row : engine_ace_rows()) aces.append(std::move(row));
    return w;
  } catch (...) {
    std::error_code ec;
    std::filesystem::remove(platform::fs_path(path), ec);
    throw;
  }
}

std::unique_ptr<Writer> Writer::open(const std::string& path) {
  auto store = PageStore::open(path);
  Header h = parse_header(path, store->read(0), jet3::kPageSize);
  int cp = h.codepage != 0 ? h.codepage : codepage_for_sort_order(h.sort_order);
  std::unique_ptr<Writer> w(new Writer(path, std::move(store),
                                       Locale{static_cast<std::uint16_t>(h.sort_order), static_cast<std::uint16_t>(cp)}));
  for (const auto& e : read_catalog(*w->store_, fmt::kJet3, *w->text_)) {
    if (e.id < 0) w->next_synthetic_id_ = std::max(w->next_synthetic_id_, e.id + 1);
    if (e.kind() == fmt::kObjectTypeQuery) w->query_names_.push_back(e.name);
    if (e.kind() == fmt::kObjectTypeTable && e.parent_id == fmt::kTablesId && !e.system()) {
      auto t = std::make_unique<TableEntry>();
      t->name = e.name;
      t->tdef_page = e.tdef_page();
      t->lv_prop = e.lv_prop;
      w->tables_.push_back(std::move(t));
    }
  }
  return w;
}

void Writer::check_open() const {
  if (closed_) throw Error(0, path_, "the database has been closed");
}

TableWriter& Writer::system_table(std::uint32_t tdef_page) {
  auto& slot = system_[tdef_page];
  if (!slot) {
    static const char* const names[] = {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"};
    slot = std::make_unique<TableWriter>(*store_, *text_, tdef_page, names[tdef_page - jet3::kTdefMSysObjects]);
    slot->set_sort_memory(sort_memory_);
  }
  return *slot;
}

TableWriter& Writer::table(const std::string& name) {
  check_open();
  auto it = std::find_if(tables_.begin(), tables_.end(), [&](const auto& t) { return t->name == name; });
  if (it == tables_.end()) {
    it = std::find_if(tables_.begin(), tables_.end(), [&](const auto& t) { return names_equal(t->name, name); });
  }
  if (it == tables_.end()) throw Error(error_numbers::kUnknownTable, path_, "there is no table '" + name + "'");
  TableEntry& t = **it;
  if (!t.writer) {
    t.writer = std::make_unique<TableWriter>(*store_, *text_, t.tdef_page, t.name);
    t.writer->set_sort_memory(sort_memory_);
    std::vector<ColumnRules> rules = t.rules;
    if (rules.empty()) {
      // A table found in the file: its limits are in its properties.
      Properties props;
      if (t.lv_prop) props = parse_properties(*t.lv_prop, Format::Jet3, *text_, path_, t.name);
      for (const auto& c : t.writer->def().columns) {
        ColumnRules r;
        if (const PropertyBlock* b = props.column(c.name)) {
          r.required = b->flag("Required").value_or(false);
          r.allow_zero_length = b->flag("AllowZeroLength").value_or(false);
        } else {
          r.allow_zero_length = false;
        }
        rules.push_back(r);
      }
    }
    t.writer->set_rules(std::move(rules));
  }
  return *t.writer;
}

void Writer::check_new_name(const std::string& name, const char* what) const {
  check_open();
  if (name.empty()) throw Error(error_numbers::kInvalidName, path_, std::string("a ") + what + " needs a name");
  if (decode_utf8(name).size() > static_cast<std::size_t>(kMaxNameChars)) {
    throw Error(error_numbers::kInvalidName, path_, std::string(what) + " name '" + name + "' is longer than 64 characters");
  }
  for (const auto& t : tables_) {
    if (names_equal(t->name, name)) throw Error(error_numbers::kTableExists, path_, "table '" + name + "' already exists");
  }
  for (const auto& q : query_names_) {
    if (names_equal(q, name)) throw Error(error_numbers::kQueryExists, path_, "query '" + name + "' already exists");
  }
  if (name.rfind("MSys", 0) == 0) throw Error(error_numbers::kTableExists, path_, "'" + name + "' is the name of a system table");
}

void Writer::check_catalog_row(std::int32_t id, const std::string& name, std::int16_t type) {
  try {
    system_table(jet3::kTdefMSysObjects).check(object_row(id, fmt::kTablesId, name, type, 0, now_local(), {}));
  } catch (const Error& e) {
    if (e.jet_code() == error_numbers::kDuplicateKey) throw Error(error_numbers::kTableExists, path_, "an object named '" + name + "' already exists");
    throw;
  }
}

void Writer::add_object(std::int32_t id, const std::string& name, std::int16_t type, std::int32_t flags,
                        Bytes lvprop) {
  system_table(jet3::kTdefMSysObjects)
      .append(object_row(id, fmt::kTablesId, name, type, flags, now_local(), std::move(lvprop)));
  auto& aces = system_table(jet3::kTdefMSysACEs);
  for (auto& row : object_ace_rows(id)) aces.append(std::move(row));
}

void Writer::create_table(const TableDesign& design) {
  check_new_name(design.name, "table");
  const std::string& tname = design.name;
  if (design.columns.empty() || design.columns.size() > 255) {
    throw Error(error_numbers::kTooManyFields, path_, "table '" + tname + "' needs 1 to 255 columns");
  }
  if (design.indexes.size() > 32) throw Error(error_numbers::kTooManyFields, path_, "table '" + tname + "' has more than 32 indexes");
  text_->encode(tname);  // refuses a name the code page cannot hold

  // Columns, placed in the row by lay_out_columns.
  TableDef t;
  std::vector<ColumnRules> rules;
  for (std::size_t i = 0; i < design.columns.size(); ++i) {
    const ColumnDesign& cs = design.columns[i];
    if (cs.name.empty() || decode_utf8(cs.name).size() > static_cast<std::size_t>(kMaxNameChars)) {
      throw Error(error_numbers::kInvalidName, path_, "table '" + tname + "': column name '" + cs.name + "' is empty or too long");
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (names_equal(design.columns[j].name, cs.name)) {
        throw Error(error_numbers::kFieldExists, path_, "table '" + tname + "': column '" + cs.name + "' is defined twice");
      }
    }
    if (cs.autonumber && cs.type != ColumnType::Long) {
      throw Error(error_numbers::kInvalidFieldType, path_, "table '" + tname + "': autonumber column '" + cs.name + "' must be Long");
    }
    TypeShape shape;
    try {
      shape = shape_of(cs, tname);
    } catch (const Error& e) {
      throw Error(e.jet_code(), path_, e.what());
    }
    ColumnDef c;
    c.type = cs.type;
    c.name = cs.name;
    c.number = static_cast<std::uint16_t>(i);
    c.unknown5 = c.number;
    c.unknown7 = 1;
    c.sort_order = locale_.sort_order;
    c.codepage = locale_.codepage;
    c.length = shape.length;
    c.flags = jet3::kColAlways | (shape.fixed ? fmt::kColFixed : 0) | (cs.autonumber ? fmt::kColAutoLong : 0);
    t.columns.push_back(c);
    rules.push_back({cs.required, cs.allow_zero_length});
  }
  lay_out_columns(t.columns);

  // Indexes: one real index per logical one.
  bool have_primary = false;
  for (std::size_t k = 0; k < design.indexes.size(); ++k) {
    const IndexDesign& is = design.indexes[k];
    if (is.name.empty()) throw Error(error_numbers::kInvalidName, path_, "table '" + tname + "': an index needs a name");
    for (std::size_t j = 0; j < k; ++j) {
      if (names_equal(design.indexes[j].name, is.name)) {
        throw Error(error_numbers::kIndexExists, path_, "table '" + tname + "': index '" + is.name + "' already exists");
      }
    }
    if (is.primary && have_primary) throw Error(error_numbers::kPrimaryKeyExists, path_, "table '" + tname + "' already has a primary key");
    have_primary = have_primary || is.primary;
    if (is.columns.empty() || is.columns.size() > static_cast<std::size_t>(fmt::kIndexColumnSlots)) {
      throw Error(error_numbers::kTooManyFields, path_, "table '" + tname + "': index '" + is.name + "' needs 1 to 10 columns");
    }
    RealIndexDef ri;
    for (std::size_t j = 0; j < is.columns.size(); ++j) {
      auto it = std::find_if(design.columns.begin(), design.columns.end(),
                             [&](const ColumnDesign& c) { return names_equal(c.name, is.columns[j]); });
      if (it == design.columns.end()) {
        throw Error(error_numbers::kUnknownField, path_, "table '" + tname + "': index '" + is.name + "' names no column '" + is.columns[j] + "'");
      }
      if (it->type == ColumnType::Memo || it->type == ColumnType::OLE) {
        throw Error(error_numbers::kInvalidFieldType, path_, "table '" + tname + "': Memo and OLE column '" + it->name + "' cannot be indexed");
      }
      bool desc = j < is.descending.size() && is.descending[j];
      ri.columns.push_back({static_cast<std::uint16_t>(it - design.columns.begin()), !desc});
    }
    ri.flags = static_cast<std::uint8_t>((is.primary || is.unique ? fmt::kIdxUnique : 0) |
                                         (is.ignore_nulls ? fmt::kIdxIgnoreNulls : 0) |
                                         (is.primary ? fmt::kIdxRequired : 0));
    t.real_indexes.push_back(ri);
    LogicalIndexDef li;
    li.name = is.name;
    li.number = static_cast<std::uint32_t>(k);
    li.real_index = static_cast<std::uint32_t>(k);
    li.type = is.primary ? fmt::kIdxTypePrimary : fmt::kIdxTypeNormal;
    t.logical_indexes.push_back(std::move(li));
  }
  // Text keys need an encoder for the database's sort order.
  for (const auto& ri : t.real_indexes) {
    for (const auto& kc : ri.columns) {
      if (t.columns[kc.number].type == ColumnType::Text) make_text_key_encoder(Format::Jet3, locale_.sort_order);
    }
  }
  for (const auto& c : t.columns) {
    if (c.type == ColumnType::Memo || c.type == ColumnType::OLE) t.long_value_maps.push_back({c.number, {}, {}});
  }

  // The catalog row must be accepted before any page is taken; the
  // definition goes on the next page, which becomes the table's id.
  check_catalog_row(static_cast<std::int32_t>(store_->page_count()), tname, fmt::kObjectTypeTable);

  // Pages: the definition, the map rows, one empty root leaf per index.
  const std::size_t tdef_pages = static_cast<std::size_t>(tdef_page_count(build_tdef(t, *text_).size()));
  const std::size_t map_rows = 2 + t.real_indexes.size() + 2 * t.long_value_maps.size();
  std::vector<std::uint32_t> pages;
  for (std::size_t i = 0; i < tdef_pages; ++i) pages.push_back(store_->allocate());
  std::vector<fmt::RowPointer> maps;
  std::uint32_t map_page = 0;
  for (std::size_t i = 0; i < map_rows; ++i) {
    if (i % kMapRowsPerPage == 0) {
      map_page = store_->allocate();
      start_data_page(store_->write(map_page), 0);
    }
    maps.push_back({map_page, static_cast<std::uint8_t>(i % kMapRowsPerPage)});
  }
  std::size_t next_map = 0;
  t.owned_map = maps[next_map++];
  t.free_map = maps[next_map++];
  std::vector<std::vector<std::uint32_t>> map_contents(map_rows);
  for (auto& ri : t.real_indexes) {
    ri.first_page = store_->allocate();
    auto leaf = encode_index_page(Format::Jet3, IndexPage::empty_leaf(pages[0]));
    std::copy(leaf.begin(), leaf.end(), store_->write(ri.first_page));
    map_contents[next_map] = {ri.first_page};
    ri.usage_map = maps[next_map++];
  }
  for (auto& lv : t.long_value_maps) {
    lv.owned_map = maps[next_map++];
    lv.free_map = maps[next_map++];
  }
  for (std::size_t i = 0; i < map_rows; ++i) {
    // An inline map covers 1024 pages from its start; in a file already past
    // that, a new index root lies beyond a map starting at page 0.
    std::uint32_t start = 0;
    if (!map_contents[i].empty()) {
      start = *std::min_element(map_contents[i].begin(), map_contents[i].end()) & ~7u;
    }
    DataPageBuilder(store_->write(maps[i].page)).add_row(inline_map_row(start, map_contents[i]));
  }
  auto tdef_bytes = split_tdef(build_tdef(t, *text_), pages);
  for (std::size_t i = 0; i < pages.size(); ++i) std::copy(tdef_bytes[i].begin(), tdef_bytes[i].end(), store_->write(pages[i]));

  // Catalog row with the column properties, and its permissions.
  std::vector<NewPropertyBlock> blocks;
  for (std::size_t i = 0; i < design.columns.size(); ++i) {
    const ColumnDesign& cs = design.columns[i];
    NewPropertyBlock b{text_->encode(t.columns[i].name), true, {}};
    if (cs.type == ColumnType::Text || cs.type == ColumnType::Memo) {
      b.values.push_back(boolean_property("Required", cs.required));
      b.values.push_back(boolean_property("AllowZeroLength", cs.allow_zero_length));
    } else if (cs.required) {
      b.values.push_back(boolean_property("Required", true));
    }
    blocks.push_back(std::move(b));
  }
  add_object(static_cast<std::int32_t>(pages[0]), tname, fmt::kObjectTypeTable, 0, build_property_blob(blocks));

  auto entry = std::make_unique<TableEntry>();
  entry->name = tname;
  entry->tdef_page = pages[0];
  entry->rules = std::move(rules);
  tables_.push_back(std::move(entry));
}

void Writer::create_query(const std::string& name, const std::string& sql) {
  check_new_name(name, "query");
  std::vector<QueryRow> rows = decompose_query(name, sql);
  std::int16_t kind = kQuerySelect;
  for (const auto& r : rows) {
    if (r.attribute == kAttrType && r.flag) kind = *r.flag;
  }
  const std::int32_t flags = query_object_flags(kind);

  std::int32_t id = next_synthetic_id_;
  check_catalog_row(id, name, fmt::kObjectTypeQuery);
  auto& queries = system_table(jet3::kTdefMSysQueries);
  std::vector<std::vector<Value>> stored;
  for (const auto& r : rows) {
    Bytes order = {static_cast<std::uint8_t>(r.order >> 24), static_cast<std::uint8_t>(r.order >> 16),
                   static_cast<std::uint8_t>(r.order >> 8), static_cast<std::uint8_t>(r.order)};
    std::vector<Value> v(7);
    v[0] = id;
    v[1] = static_cast<std::int32_t>(r.attribute);
    v[2] = std::move(order);
    if (r.name1) v[3] = *r.name1;
    if (r.name2) v[4] = *r.name2;
    if (r.expression) v[5] = *r.expression;
    if (r.flag) v[6] = static_cast<std::int32_t>(*r.flag);
    queries.check(v);  // every row is checked before the first is stored
    stored.push_back(std::move(v));
  }
  std::string text = text_->encode(sql);
  for (auto& v : stored) queries.append(std::move(v));
  NewPropertyBlock object{"", false, {{kQueryTextProperty, ColumnType::Memo, Bytes(text.begin(), text.end()), false}}};
  add_object(id, name, fmt::kObjectTypeQuery, flags, build_property_blob({object}));
  ++next_synthetic_id_;
  query_names_.push_back(name);
}

void Writer::append_row(const std::string& table_name, std::vector<Value> values) {
  table(table_name).append(std::move(values));
}

void Writer::append_row_in_place(const std::string& table_name, std::vector<Value>& values) {
  table(table_name).append_in_place(values);
}

std::vector<std::string> Writer::table_names() const {
  std::vector<std::string> out;
  for (const auto& t : tables_) out.push_back(t->name);
  return out;
}

const TableDef& Writer::definition(const std::string& name) { return table(name).def(); }

std::uint32_t Writer::row_count(const std::string& name) { return table(name).row_count(); }
std::uint32_t Writer::last_autonumber(const std::string& name) { return table(name).last_autonumber(); }

void Writer::set_sort_memory(std::size_t bytes) {
  sort_memory_ = bytes;
  for (auto& t : tables_) {
    if (t->writer) t->writer->set_sort_memory(bytes);
  }
  for (auto& [page, w] : system_) w->set_sort_memory(bytes);
}

void Writer::close() {
  if (closed_) return;
  // Whatever happens, once: after a failure the trees may be half written,
  // and trying again (from the destructor, say) could only make it worse.
  closed_ = true;
  for (auto& t : tables_) {
    if (t->writer) t->writer->finish();
  }
  for (auto& [page, w] : system_) w->finish();
  store_->flush();
}

}  // namespace mirutone::jet
