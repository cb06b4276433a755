// Reader: the catalog, table definitions and stored queries of a Jet 3 or
// Jet 4 file, opened read-only.
#include "db/jet/api/reader.h"

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>

#include "db/jet/catalog/catalog.h"
#include "db/jet/text/codepage.h"
#include "db/jet/format/format.h"
#include "db/jet/file/header.h"
#include "db/jet/index/index_page.h"
#include "db/jet/file/page_file.h"
#include "db/jet/tdef/properties.h"
#include "db/jet/query/query_def.h"
#include "db/jet/row/table_cursor.h"
#include "db/jet/tdef/tdef.h"

namespace mirutone::jet {

namespace {

// The open file and its text code page, shared with every cursor so that a
// cursor stays valid after the Reader that made it is gone.
struct OpenFile {
  std::unique_ptr<PageFile> file;
  std::unique_ptr<CodePage> text;
};

struct LoadedTable {
  std::shared_ptr<const TableDef> def;
  TableInfo info;
};

std::optional<std::string> get_text(const Value& v) {
  if (auto s = std::get_if<std::string>(&v)) return *s;
  return std::nullopt;
}

class ReaderImpl : public Reader {
 public:
  ReaderImpl(std::unique_ptr<PageFile> file, const Header& h, const ReadOptions& opts)
      : open_(std::make_shared<OpenFile>()), header_(h), lay_(fmt::layout(h.format)) {
    open_->file = std::move(file);
    codepage_ = opts.codepage_override != 0 ? opts.codepage_override
                : h.codepage != 0           ? h.codepage
                                            : codepage_for_sort_order(h.sort_order);
    try {
      open_->text = std::make_unique<CodePage>(codepage_);
    } catch (const Error& e) {
      // Jet 4 keeps its text in UCS-2; the code page only matters for Jet 3.
      if (h.format != Format::Jet4) throw Error(error_numbers::kCannotOpenDatabase, path(), e.what());
      open_->text = std::make_unique<CodePage>(1252);
    }
    catalog_ = read_catalog(*open_->file, lay_, *open_->text);
  }

  const std::string& path() const override { return open_->file->path(); }
  Format format() const override { return header_.format; }
  int codepage() const override { return codepage_; }
  int header_codepage() const override { return header_.codepage; }
  int sort_order() const override { return header_.sort_order; }
  bool encoded() const override { return header_.db_key != 0; }

  std::vector<std::string> table_names(bool include_system) const override {
    std::vector<std::string> out;
    for (const CatalogEntry& e : catalog_)
      if (e.kind() == fmt::kObjectTypeTable && (include_system || !e.system()))
        out.push_back(e.name);
    return out;
  }

  const TableInfo& table(const std::string& name) const override { return load(name).info; }

  std::unique_ptr<RowCursor> rows(const std::string& name) const override {
    const LoadedTable& t = load(name);
    return std::make_unique<TableCursor>(*open_->file, lay_, t.def, *open_->text, name, open_);
  }

  std::vector<QueryInfo> queries() const override;

  std::optional<std::uint64_t> primary_index_entries(const std::string& name) const override {
    const LoadedTable& t = load(name);
    for (const LogicalIndexDef& li : t.def->logical_indexes) {
      if (li.type != fmt::kIdxTypePrimary || li.real_index >= t.def->real_indexes.size()) continue;
      const RealIndexDef& ri = t.def->real_indexes[li.real_index];
      return read_index_tree(*open_->file, header_.format, ri.first_page, t.info.tdef_page).entries.size();
    }
    return std::nullopt;
  }

 private:
  const CatalogEntry* find_table(const std::string& name) const {
    for (const CatalogEntry& e : catalog_)
      if (e.kind() == fmt::kObjectTypeTable && e.name == name) return &e;
    return nullptr;
  }

  const LoadedTable& load(const std::string& name) const;
  TableInfo describe(const CatalogEntry& e, const TableDef& td) const;

  std::shared_ptr<OpenFile> open_;
  Header header_;
  const fmt::Layout& lay_;
  int codepage_ = 1252;
  std::vector<CatalogEntry> catalog_;
  // Table definitions are parsed on first use and kept; like the rest of the
  // Reader this cache is not meant for use from several threads at once.
  mutable std::unordered_map<std::string, std::unique_ptr<LoadedTable>> tables_;
};

const LoadedTable& ReaderImpl::load(const std::string& name) const {
  auto it = tables_.find(name);
  if (it != tables_.end()) return *it->second;
  const CatalogEntry* e = find_table(name);
  if (!e) throw Error(error_numbers::kUnknownTable, path(), "there is no table named '" + name + "'");
  auto t = std::make_unique<LoadedTable>();
  auto def = std::make_shared<TableDef>(
      read_tdef(*open_->file, lay_, *open_->text, e->tdef_page(), name));
  t->info = describe(*e, *def);
  t->def = std::move(def);
  return *tables_.emplace(name, std::move(t)).first->second;
}

TableInfo ReaderImpl::describe(const CatalogEntry& e, const TableDef& td) const {
  TableInfo info;
  info.name = e.name;
  info.system = e.system();
  info.tdef_page = e.tdef_page();
  info.stored_row_count = td.row_count;

  std::optional<Properties> props;
  if (!e.lv_prop_error.empty())
    throw CorruptError(path(), "properties of table '" + e.name + "': " + e.lv_prop_error);
  if (e.lv_prop && !e.lv_prop->empty())
    props = parse_properties(*e.lv_prop, header_.format, *open_->text, path(),
                             "table '" + e.name + "'");

  for (const ColumnDef& c : td.columns) {
    ColumnInfo ci;
    ci.name = c.name;
    ci.type = c.type;
    ci.size = c.length;
    ci.column_number = c.number;
    ci.fixed = c.fixed();
    ci.autonumber = (c.type == ColumnType::Long && c.auto_long()) ||
                    (c.type == ColumnType::GUID && c.auto_guid());
    ci.precision = c.precision;
    ci.scale = c.scale;
    // Without a stored property Jet treats a column as not required and as
    // not allowing zero-length strings: DAO's Field.Required and
    // Field.AllowZeroLength both default to False in Jet 3 and Jet 4; Access
    // writes the property whenever a table designer sets either to Yes.
    ci.nullable = true;
    ci.allow_zero_length = false;
    if (props) {
      if (const PropertyBlock* b = props->column(c.name)) {
        if (auto r = b->flag("Required")) ci.nullable = !*r;
        if (auto z = b->flag("AllowZeroLength")) ci.allow_zero_length = *z;
      }
    }
    info.columns.push_back(std::move(ci));
  }

  for (const LogicalIndexDef& li : td.logical_indexes) {
    const RealIndexDef& ri = td.real_indexes[li.real_index];
    IndexInfo ii;
    ii.name = li.name;
    for (const RealIndexDef::Column& rc : ri.columns) {
      const ColumnDef* c = td.column_by_number(rc.number);
      if (!c)
        throw CorruptError(path(), "table '" + e.name + "': index '" + li.name +
                                       "' refers to column number " + std::to_string(rc.number) +
                                       ", which does not exist");
      ii.columns.push_back(c->name);
      ii.ascending.push_back(rc.ascending);
    }
    ii.primary = li.type == fmt::kIdxTypePrimary;
    ii.foreign_key = li.type == fmt::kIdxTypeForeign;
    ii.unique = (ri.flags & fmt::kIdxUnique) != 0;
    ii.ignore_nulls = (ri.flags & fmt::kIdxIgnoreNulls) != 0;
    ii.required = (ri.flags & fmt::kIdxRequired) != 0;
    info.indexes.push_back(std::move(ii));
  }
  return info;
}

std::vector<QueryInfo> ReaderImpl::queries() const {
  std::vector<QueryInfo> out;
  std::vector<const CatalogEntry*> qs;
  for (const CatalogEntry& e : catalog_)
    if (e.kind() == fmt::kObjectTypeQuery) qs.push_back(&e);
  if (qs.empty()) return out;

  // Rows of MSysQueries grouped by ObjectId.
  std::map<std::int32_t, std::vector<QueryRow>> rows;
  if (find_table("MSysQueries")) {
    const TableInfo& ti = table("MSysQueries");
    auto col = [&](const char* n) {
      for (std::size_t i = 0; i < ti.columns.size(); ++i)
        if (ti.columns[i].name == n) return static_cast<int>(i);
      throw CorruptError(path(), std::string("MSysQueries has no column '") + n + "'");
    };
    const int c_obj = col("ObjectId"), c_attr = col("Attribute"), c_order = col("Order"),
              c_n1 = col("Name1"), c_n2 = col("Name2"), c_expr = col("Expression"),
              c_flag = col("Flag");
    int c_extra = -1;  // Jet 4 only
    for (std::size_t i = 0; i < ti.columns.size(); ++i)
      if (ti.columns[i].name == "LvExtra") c_extra = static_cast<int>(i);
    auto cur = this->rows("MSysQueries");
    std::vector<Value> r;
    while (cur->next(r)) {
      QueryRow q;
      auto obj = std::get_if<std::int32_t>(&r[static_cast<std::size_t>(c_obj)]);
      if (!obj) continue;
      if (auto a = std::get_if<std::int32_t>(&r[static_cast<std::size_t>(c_attr)]))
        q.attribute = static_cast<std::uint8_t>(*a);
      q.expression = get_text(r[static_cast<std::size_t>(c_expr)]);
      q.name1 = get_text(r[static_cast<std::size_t>(c_n1)]);
      q.name2 = get_text(r[static_cast<std::size_t>(c_n2)]);
      if (auto f = std::get_if<std::int32_t>(&r[static_cast<std::size_t>(c_flag)]))
        q.flag = static_cast<std::int16_t>(*f);
      if (c_extra >= 0)
        if (auto x = std::get_if<std::int32_t>(&r[static_cast<std::size_t>(c_extra)])) q.lv_extra = *x;
      // Order: 4 bytes, big-endian (Jet 3 and Jet 4 alike).
      const Value& ov = r[static_cast<std::size_t>(c_order)];
      if (auto b = std::get_if<Bytes>(&ov)) {
        std::uint32_t o = 0;
        for (std::uint8_t x : *b) o = (o << 8) | x;
        q.order = o;
      } else if (auto i = std::get_if<std::int32_t>(&ov)) {
        q.order = static_cast<std::uint32_t>(*i);
      }
      rows[*obj].push_back(std::move(q));
    }
  }

  for (const CatalogEntry* e : qs) {
    QueryInfo qi;
    qi.name = e->name;
    if (e->lv_prop && !e->lv_prop->empty()) {
      try {
        Properties p = parse_properties(*e->lv_prop, header_.format, *open_->text, path(),
                                        "query '" + e->name + "'");
        qi.sql = p.object.text(kQueryTextProperty, header_.format, *open_->text);
        if (!qi.sql) qi.sql = p.object.text(kQuerySqlPropertyBefore, header_.format, *open_->text);
      } catch (const CorruptError&) {
        // Display properties only; the SQL is rebuilt from MSysQueries below.
      }
    }
    if (!qi.sql) {
      auto it = rows.find(e->id);
      if (it != rows.end()) {
        std::vector<QueryRow>& qr = it->second;
        std::stable_sort(qr.begin(), qr.end(), [](const QueryRow& a, const QueryRow& b) {
          return a.attribute != b.attribute ? a.attribute < b.attribute : a.order < b.order;
        });
        qi.sql = rebuild_query_sql(qr);
      }
    }
    out.push_back(std::move(qi));
  }
  return out;
}

}  // namespace

std::unique_ptr<Reader> Reader::open(const std::string& path, const ReadOptions& opts) {
  std::unique_ptr<PageFile> file = PageFile::open(path);
  std::vector<std::uint8_t> first(4096);
  std::size_t got = file->read_at(0, first.data(), first.size());
  Header h = parse_header(path, first.data(), got);
  const fmt::Layout& lay = fmt::layout(h.format);
  if (file->file_size() < static_cast<std::uint64_t>(lay.page_size) * 3)
    throw CorruptError(path, "file of " + std::to_string(file->file_size()) +
                                 " bytes is too short for a Jet database");
  file->configure(lay.page_size, h.db_key);
  return std::make_unique<ReaderImpl>(std::move(file), h, opts);
}

}  // namespace mirutone::jet
