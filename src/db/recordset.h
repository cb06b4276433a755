// Recordset: rows of a table, a SELECT over one table, or a stored query's
// result, read forward; a dynaset over a table also takes new rows
// (AddNew, set fields by name, Update).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/dao_constants.h"
#include "db/jet/api/value.h"

namespace mirutone::db {

class RecordsetImpl;

// One field of a recordset: the current row's value, or the new row's while
// AddNew is under way.
class RecordsetField {
 public:
  const std::string& Name() const;
  int Type() const;
  // Error 3021 when there is no current row.
  jet::Value Value() const;
  // Converts `v` to the field's type (Error 3421 or 3349 naming the field and
  // the value); only between AddNew and Update (Error 3020 otherwise).
  void SetValue(const jet::Value& v);
  void SetValue(jet::Value&& v);
  void SetValue(const char* text) { SetValue(jet::Value(std::string(text))); }
  // SetValue(source.Value()), without copying the value twice.
  void SetValueFrom(const RecordsetField& source);

 private:
  friend class Recordset;
  RecordsetField(std::shared_ptr<RecordsetImpl> rs, int position) : rs_(std::move(rs)), position_(position) {}
  std::shared_ptr<RecordsetImpl> rs_;
  int position_;
};

class Recordset {
 public:
  Recordset() = default;  // holds nothing
  explicit Recordset(std::shared_ptr<RecordsetImpl> impl) : impl_(std::move(impl)) {}

  bool IsNothing() const { return impl_ == nullptr; }
  // True past the last row (at once for no rows). The name EOF is taken by <cstdio>.
  bool Eof() const;
  void MoveNext();
  // Jet's name matching; Error 3265 naming the recordset and the field.
  RecordsetField Fields(const std::string& name) const;
  RecordsetField Fields(int position) const;
  int FieldCount() const;

  // Starts a new row with every field Null (an auto-increment field is numbered
  // at Update unless a number is set). Error 3027 on a snapshot.
  void AddNew();
  // Stores the new row. Refusals (3022, 3058, 3163, 3314, 3315, ...) name the
  // table, field and value; the file is then as it was before the row.
  void Update(int type = dbUpdateRegular, bool force = false);
  void CancelUpdate();
  void Close();

 private:
  RecordsetImpl& impl() const;
  std::shared_ptr<RecordsetImpl> impl_;
};

}  // namespace mirutone::db
