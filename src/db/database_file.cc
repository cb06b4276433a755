#include "db/database_file.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

#include "db/errors.h"
#include "db/jet/api/names.h"
#include "db/read_ahead.h"
#include "platform/path.h"

namespace mirutone::db {
namespace {

Field field_from(const jet::ColumnInfo& c, jet::Format format) {
  Field f;
  f.Name = c.name;
  f.Type = type_code(c.type);
  if (c.type == jet::ColumnType::Text) f.Size = format == jet::Format::Jet4 ? c.size / 2 : c.size;
  f.Attributes = c.autonumber ? dbAutoIncrField : 0;
  f.AllowZeroLength = c.allow_zero_length;
  f.Required = !c.nullable;
  return f;
}

TableDef table_from(const jet::TableInfo& t, jet::Format format) {
  TableDef def(t.name);
  def.RecordCount = t.stored_row_count;
  for (const auto& c : t.columns) def.Fields.Append(field_from(c, format));
  for (const auto& ix : t.indexes) {
    if (ix.foreign_key) continue;
    Index i;
    i.Name = ix.name;
    i.Primary = ix.primary;
    i.Unique = ix.unique;
    for (const auto& c : ix.columns) i.Fields.Append(Field{c});
    def.Indexes.Append(i);
  }
  return def;
}

jet::TableDesign engine_table(const TableDef& def) {
  jet::TableDesign out;
  out.name = def.Name;
  for (const auto& f : def.Fields) {
    jet::ColumnDesign c;
    c.name = f.Name;
    c.type = column_type(f.Type);
    c.size = f.Type == dbText ? (f.Size == 0 ? 50 : f.Size) : 0;
    c.autonumber = f.auto_increment();
    c.allow_zero_length = f.AllowZeroLength;
    c.required = f.Required;
    out.columns.push_back(std::move(c));
  }
  for (const auto& ix : def.Indexes) {
    jet::IndexDesign i;
    i.name = ix.Name;
    i.primary = ix.Primary;
    i.unique = ix.Unique;
    for (const auto& f : ix.Fields) i.columns.push_back(f.Name);
    out.indexes.push_back(std::move(i));
  }
  return out;
}

class CursorScan : public TableScan {
 public:
  CursorScan(std::shared_ptr<jet::Reader> reader, std::unique_ptr<jet::RowCursor> cursor,
             std::shared_ptr<std::uint64_t> writes, std::string table)
      : reader_(std::move(reader)),
        cursor_(std::move(cursor)),
        writes_(std::move(writes)),
        start_(*writes_),
        table_(std::move(table)) {}

  bool next(std::vector<jet::Value>& row) override {
    if (*writes_ != start_) {
      throw Error(jet_errors::kObjectClosed,
                  "The rows of table '" + table_ + "' were being read when the database was written to; open the "
                  "recordset again");
    }
    return cursor_->next(row);
  }

 private:
  std::shared_ptr<jet::Reader> reader_;  // keeps the file open under the cursor
  std::unique_ptr<jet::RowCursor> cursor_;
  std::shared_ptr<std::uint64_t> writes_;
  std::uint64_t start_;
  std::string table_;
};

// The same, with the rows read ahead on a thread of their own.
class ReadAheadScan : public TableScan {
 public:
  ReadAheadScan(std::unique_ptr<ReadAhead> rows, std::shared_ptr<std::uint64_t> writes, std::string table)
      : rows_(std::move(rows)), writes_(std::move(writes)), start_(*writes_), table_(std::move(table)) {}

  bool next(std::vector<jet::Value>& row) override {
    if (*writes_ != start_) {
      throw Error(jet_errors::kObjectClosed,
                  "The rows of table '" + table_ + "' were being read when the database was written to; open the "
                  "recordset again");
    }
    return rows_->next(row);
  }

 private:
  std::unique_ptr<ReadAhead> rows_;
  std::shared_ptr<std::uint64_t> writes_;
  std::uint64_t start_;
  std::string table_;
};

// Tables with fewer rows than this are not worth a thread.
constexpr std::uint32_t kReadAheadRows = 2048;

// The databases open in this process, by file, so that two handles opened on
// one file never have two writers and a reader sees what the other wrote.
class OpenFiles {
 public:
  static OpenFiles& instance() {
    static OpenFiles files;
    return files;
  }
  static std::string key(const std::string& path) {
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(platform::fs_path(path), ec);
    return ec ? path : platform::utf8_path(p);
  }
  void add(const std::shared_ptr<DatabaseFile>& db) {
    std::lock_guard lock(mutex_);
    auto& list = open_[key(db->path())];
    std::erase_if(list, [](const auto& w) { return w.expired(); });
    list.push_back(db);
  }
  std::vector<std::shared_ptr<DatabaseFile>> others(const DatabaseFile* self, const std::string& path) {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<DatabaseFile>> out;
    auto it = open_.find(key(path));
    if (it == open_.end()) return out;
    for (const auto& w : it->second) {
      if (auto db = w.lock(); db && db.get() != self) out.push_back(std::move(db));
    }
    return out;
  }

  // Counts the times the file was written out, so a reader knows when it is stale.
  void written(const std::string& path) {
    std::lock_guard lock(mutex_);
    ++versions_[key(path)];
  }
  std::uint64_t version(const std::string& path) {
    std::lock_guard lock(mutex_);
    return versions_[key(path)];
  }

  // Files whose write-out failed, until a new file is created at the path.
  void set_incomplete(const std::string& path, const std::string& why) {
    std::lock_guard lock(mutex_);
    if (why.empty()) {
      incomplete_.erase(key(path));
    } else {
      incomplete_[key(path)] = why;
    }
  }
  std::optional<std::string> incomplete(const std::string& path) {
    std::lock_guard lock(mutex_);
    auto it = incomplete_.find(key(path));
    if (it == incomplete_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::vector<std::weak_ptr<DatabaseFile>>> open_;
  std::map<std::string, std::uint64_t> versions_;
  std::map<std::string, std::string> incomplete_;
};

}  // namespace

DatabaseFile::DatabaseFile(std::string path, int sort_order, jet::Format format, int codepage)
    : path_(std::move(path)),
      sort_order_(sort_order),
      format_(format),
      text_(std::make_unique<jet::CodePage>(codepage)) {}

DatabaseFile::~DatabaseFile() {
  try {
    close();
  } catch (const std::exception& e) {
    // Nobody is left to tell; the next opening of the file will see the damage.
    std::fprintf(stderr, "mirutone: closing %s failed: %s\n", path_.c_str(), e.what());
  } catch (...) {
  }
}

std::shared_ptr<DatabaseFile> DatabaseFile::create(const std::string& path, jet::Locale locale) {
  auto writer = jet::Writer::create(path, locale);
  OpenFiles::instance().set_incomplete(path, "");
  std::shared_ptr<DatabaseFile> db(new DatabaseFile(path, locale.sort_order, jet::Format::Jet3, locale.codepage));
  db->writer_ = std::move(writer);
  OpenFiles::instance().add(db);
  return db;
}

std::shared_ptr<DatabaseFile> DatabaseFile::open(const std::string& path, int codepage_override) {
  for (const auto& other : OpenFiles::instance().others(nullptr, path)) other->settle();
  jet::ReadOptions options;
  options.codepage_override = codepage_override;
  std::shared_ptr<jet::Reader> reader = jet::Reader::open(path, options);
  std::shared_ptr<DatabaseFile> db(
      new DatabaseFile(path, reader->sort_order(), reader->format(), reader->codepage()));
  for (const auto& name : reader->table_names(false)) db->tables_.push_back(table_from(reader->table(name), reader->format()));
  for (const auto& q : reader->queries()) db->queries_.push_back({q.name, q.sql});
  db->reader_ = std::move(reader);
  db->codepage_override_ = codepage_override;
  db->reader_version_ = OpenFiles::instance().version(path);
  OpenFiles::instance().add(db);
  return db;
}

void DatabaseFile::check_open() const {
  if (!open_) throw Error(jet_errors::kObjectClosed, "Object invalid or no longer set: the database " + path_ + " is closed");
}

void DatabaseFile::close() {
  if (!open_) return;
  reader_.reset();
  open_ = false;
  settle();
}

void DatabaseFile::settle() {
  if (!incomplete_.empty()) {
    // A failed write-out leaves the file half written; nothing more can
    // make it whole, and what it holds must not be read as if it were.
    throw Error(0, path_ + " could not be written out complete: " + incomplete_);
  }
  if (!writer_) return;
  auto w = std::move(writer_);
  ++*writes_;
  OpenFiles::instance().written(path_);
  try {
    w->close();
  } catch (const std::exception& e) {
    incomplete_ = e.what();
    OpenFiles::instance().set_incomplete(path_, incomplete_);
    throw;
  }
}

std::optional<std::string> DatabaseFile::left_incomplete(const std::string& path) {
  return OpenFiles::instance().incomplete(path);
}

void DatabaseFile::settle_others() const {
  for (const auto& other : OpenFiles::instance().others(this, path_)) other->settle();
}

jet::Writer& DatabaseFile::writer() {
  check_open();
  if (!writer_) {
    settle_others();
    reader_.reset();
    writer_ = jet::Writer::open(path_);
  }
  ++*writes_;
  return *writer_;
}

std::shared_ptr<jet::Reader> DatabaseFile::reader() {
  check_open();
  // Bring the file up to date before reading it.
  settle();
  settle_others();
  const std::uint64_t version = OpenFiles::instance().version(path_);
  if (!reader_ || reader_version_ != version) {
    jet::ReadOptions options;
    options.codepage_override = codepage_override_;
    reader_ = jet::Reader::open(path_, options);
    reader_version_ = version;
  }
  return reader_;
}

const TableDef* DatabaseFile::find_table(const std::string& name) const {
  for (const auto& t : tables_) {
    if (jet::names_equal(t.Name, name)) return &t;
  }
  return nullptr;
}

const TableDef& DatabaseFile::table(const std::string& name) const {
  check_open();
  if (const TableDef* t = find_table(name)) return *t;
  throw Error(jet_errors::kUnknownTable,
              "The database engine cannot find the input table or query '" + name + "' in " + path_);
}

void DatabaseFile::append_table(const TableDef& def) {
  check_open();
  if (find_table(def.Name) || find_query(def.Name)) {
    throw Error(jet_errors::kTableExists, "Table '" + def.Name + "' already exists in " + path_);
  }
  if (def.Fields.Count() == 0) throw Error(jet_errors::kNoFields, "Table '" + def.Name + "' has no fields");
  for (const auto& ix : def.Indexes) {
    if (ix.Fields.Count() == 0) {
      throw Error(jet_errors::kNoFields, "Index '" + ix.Name + "' of table '" + def.Name + "' has no fields");
    }
    for (const auto& f : ix.Fields) {
      if (def.field_position(f.Name) < 0) {
        throw Error(jet_errors::kUnknownField,
                    "Index '" + ix.Name + "' of table '" + def.Name + "' names no field '" + f.Name + "'");
      }
    }
  }
  writer().create_table(engine_table(def));
  tables_.push_back(def);
}

const StoredQueryText* DatabaseFile::find_query(const std::string& name) const {
  for (const auto& q : queries_) {
    if (jet::names_equal(q.name, name)) return &q;
  }
  return nullptr;
}

void DatabaseFile::create_query(const std::string& name, const std::string& sql) {
  check_open();
  if (find_table(name) || find_query(name)) {
    throw Error(jet_errors::kTableExists, "A table or query named '" + name + "' already exists in " + path_);
  }
  writer().create_query(name, sql);
  queries_.push_back({name, sql});
}

StoredCounts DatabaseFile::stored_counts(const std::string& table, bool walk_primary_index) {
  const std::string& name = this->table(table).Name;
  auto r = reader();
  StoredCounts c;
  c.definition_rows = r->table(name).stored_row_count;
  if (!walk_primary_index) return c;
  if (auto n = r->primary_index_entries(name)) c.primary_index_entries = static_cast<long long>(*n);
  return c;
}

void DatabaseFile::append_row(const TableDef& table, std::vector<jet::Value>& values) {
  writer().append_row_in_place(table.Name, values);
}

std::unique_ptr<TableScan> DatabaseFile::scan(const std::string& name, bool read_ahead) {
  const TableDef& t = table(name);
  auto r = reader();
  if (read_ahead && r->table(t.Name).stored_row_count >= kReadAheadRows) {
    // A reader of its own for the thread, opened on the file as it stands now.
    jet::ReadOptions options;
    options.codepage_override = codepage_override_;
    std::shared_ptr<jet::Reader> own = jet::Reader::open(path_, options);
    auto cursor = own->rows(t.Name);
    try {
      return std::make_unique<ReadAheadScan>(std::make_unique<ReadAhead>(own, std::move(cursor)), writes_, t.Name);
    } catch (const std::system_error&) {
      // No thread to be had: read on the caller's thread.
    }
  }
  auto cursor = r->rows(t.Name);
  return std::make_unique<CursorScan>(r, std::move(cursor), writes_, t.Name);
}

}  // namespace mirutone::db
