// Inside of Recordset: where its rows come from and the row being added.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <string>
#include <vector>

#include "db/database_file.h"
#include "db/jet/api/value.h"
#include "db/table_def.h"

namespace mirutone::db {

struct ResultColumn {
  std::string name;
  jet::ColumnType type = jet::ColumnType::Text;
};

using RowSource = std::function<bool(std::vector<jet::Value>& row)>;

// A table read as it stands, in the order of some of its fields: what
// "SELECT * FROM table ORDER BY field [DESC], ..." opens, updatable.
struct TableView {
  struct Key {
    std::string field;
    bool descending = false;
  };
  std::string table;
  std::vector<Key> order_by;
};

class RecordsetImpl {
 public:
  // Over a table, in the order of `select` (storage order without ORDER BY).
  // Error 3078 for an unknown table, 3265 for an unknown ORDER BY field.
  static std::shared_ptr<RecordsetImpl> over_table(std::shared_ptr<DatabaseFile> db, const TableView& select,
                                                   int type);
  // Over rows already computed (a stored query's result); never updatable.
  static std::shared_ptr<RecordsetImpl> over_rows(std::shared_ptr<DatabaseFile> db, std::string name,
                                                  std::vector<ResultColumn> columns,
                                                  std::vector<std::vector<jet::Value>> rows);

  const std::string& name() const { return name_; }
  const std::vector<ResultColumn>& columns() const { return columns_; }
  int position_of(const std::string& field) const;  // -1 when absent

  bool eof();
  void move_next();
  jet::Value value(int position);
  void set_value(int position, const jet::Value& v);
  void set_value(int position, jet::Value&& v);
  // set_value(position, source.value(source_position)) without the copy in
  // between, failing as those two would, in that order.
  void copy_value(int position, RecordsetImpl& source, int source_position);
  void add_new();
  void update();
  void cancel_update() { editing_ = false; }
  void close();

 private:
  RecordsetImpl() = default;
  void store_new_row();
  void check_open() const;
  void start();
  [[noreturn]] void refuse(int code, const std::string& field, const jet::Value& v, const std::string& why) const;

  std::shared_ptr<DatabaseFile> db_;
  std::string name_;
  int type_ = dbOpenSnapshot;
  std::optional<TableDef> table_;  // set when the rows are a table's
  std::vector<ResultColumn> columns_;
  mutable std::unordered_map<std::string, int> positions_;  // folded name -> position, built on first use
  // Names as asked for, in the order first asked. A caller that copies rows
  // asks for the same names in the same order on every row, so the next
  // question is usually the entry after the last answer.
  mutable std::vector<std::pair<std::string, int>> asked_;
  mutable std::size_t next_asked_ = 0;
  std::vector<int> key_positions_;  // fields of the primary key, found on the first Update
  std::function<RowSource()> open_rows_;
  RowSource rows_;
  bool started_ = false;
  bool at_end_ = false;
  std::vector<jet::Value> current_;
  bool editing_ = false;
  std::vector<jet::Value> new_row_;
  bool closed_ = false;
};

}  // namespace mirutone::db
