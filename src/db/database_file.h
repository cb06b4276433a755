// One database file as the object model sees it: its tables and stored
// queries, rows read through jet::Reader and rows written through jet::Writer.
// A file that is only read never has a Writer; a writer is opened on the
// first write, and before rows are read again it is closed so that the file
// on disk holds everything written.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/jet/api/codepage.h"
#include "db/jet/api/reader.h"
#include "db/jet/api/writer.h"
#include "db/table_def.h"

namespace mirutone::db {

struct StoredQueryText {
  std::string name;
  std::optional<std::string> sql;
};

// Rows of one table in storage order. Fails with an Error when the file has
// been written since the scan began, rather than returning a mixture.
class TableScan {
 public:
  virtual ~TableScan() = default;
  virtual bool next(std::vector<jet::Value>& row) = 0;
};

class DatabaseFile {
 public:
  // Error 3204 when the file exists.
  static std::shared_ptr<DatabaseFile> create(const std::string& path, jet::Locale locale);
  // Error 3024 when it is missing, 3049 when it is not a database.
  static std::shared_ptr<DatabaseFile> open(const std::string& path, int codepage_override = 0);
  ~DatabaseFile();
  DatabaseFile(const DatabaseFile&) = delete;
  DatabaseFile& operator=(const DatabaseFile&) = delete;

  const std::string& path() const { return path_; }
  bool is_open() const { return open_; }
  // Error 3420 once closed.
  void check_open() const;
  // Writes everything out and releases the file; further use is Error 3420.
  // Once a write-out has failed, the file is known to be incomplete: close()
  // and every later read or write fail, saying so.
  void close();
  // Why writing out the file at `path` failed in this process, if it did
  // since a database was last created there: such a file is half written.
  static std::optional<std::string> left_incomplete(const std::string& path);

  const std::vector<TableDef>& tables() const { return tables_; }
  // Jet's name matching; Error 3078 naming the table when there is none.
  const TableDef& table(const std::string& name) const;
  const TableDef* find_table(const std::string& name) const;
  // Creates the table in the file.
  void append_table(const TableDef& def);

  const std::vector<StoredQueryText>& queries() const { return queries_; }
  const StoredQueryText* find_query(const std::string& name) const;
  void create_query(const std::string& name, const std::string& sql);

  // One converted value per field of `table`, in field order.
  // `values` are used in place: a refused row leaves them as they were.
  void append_row(const TableDef& table, std::vector<jet::Value>& values);
  // With `read_ahead`, a large table's rows are read on a thread of their
  // own while the caller works on the rows before (see read_ahead.h). A
  // write through this handle fails the scan as it does without; a write
  // through another handle on the same file may be seen half done, so this
  // is for files nothing else writes while the scan lasts (a snapshot's).
  std::unique_ptr<TableScan> scan(const std::string& table, bool read_ahead = false);
  // Error 3078 for an unknown table. With `walk_primary_index` the primary
  // index's tree is read whole to count its entries.
  StoredCounts stored_counts(const std::string& table, bool walk_primary_index);
  // Writes out whatever is pending, so that the file on disk is complete and
  // consistent (after a refused row, before the refusal is reported). The
  // next write opens the file again.
  void flush() { settle(); }

  // Sort order, format and code page of the file's text.
  int sort_order() const { return sort_order_; }
  jet::Format format() const { return format_; }
  const jet::CodePage& text() const { return *text_; }

 private:
  DatabaseFile(std::string path, int sort_order, jet::Format format, int codepage);
  // Writes out and lets go of the writer, if one is open.
  void settle();
  // Settles every other open DatabaseFile of the same file in this process,
  // so that what this one reads or writes is what the file holds.
  void settle_others() const;
  jet::Writer& writer();
  std::shared_ptr<jet::Reader> reader();

  std::string path_;
  bool open_ = true;
  int sort_order_;
  jet::Format format_;
  std::unique_ptr<jet::CodePage> text_;
  std::vector<TableDef> tables_;
  std::vector<StoredQueryText> queries_;
  std::unique_ptr<jet::Writer> writer_;
  std::shared_ptr<jet::Reader> reader_;  // null when not yet opened
  std::uint64_t reader_version_ = 0;     // how often the file had been written out when it was opened
  int codepage_override_ = 0;            // the code page text is read in, when not the header's
  std::shared_ptr<std::uint64_t> writes_ = std::make_shared<std::uint64_t>(0);
  std::string incomplete_;               // why writing the file out failed; empty while it has not
};

}  // namespace mirutone::db
