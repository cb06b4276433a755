#include "db/recordset.h"

#include "db/engine_hook.h"
#include "db/errors.h"
#include "db/jet/api/codepage.h"
#include "db/jet/api/names.h"
#include "db/jet/api/sort_keys.h"
#include "db/recordset_impl.h"
#include "db/row_order.h"
#include "db/value_conversion.h"

namespace mirutone::db {
namespace {

std::string shown(const jet::Value& v) {
  if (jet::is_null(v)) return "Null";
  if (std::holds_alternative<std::string>(v)) return "\"" + vb_text(v) + "\"";
  return vb_text(v);
}

}  // namespace

// ---- RecordsetImpl ----

std::shared_ptr<RecordsetImpl> RecordsetImpl::over_table(std::shared_ptr<DatabaseFile> db, const TableView& select,
                                                         int type) {
  if (type != dbOpenDynaset && type != dbOpenSnapshot && type != 1) {
    throw Error(jet_errors::kInvalidArgument, "Invalid recordset type " + std::to_string(type));
  }
  const TableDef& t = db->table(select.table);
  std::shared_ptr<RecordsetImpl> rs(new RecordsetImpl());
  rs->db_ = db;
  rs->name_ = t.Name;
  rs->type_ = type == dbOpenSnapshot ? dbOpenSnapshot : dbOpenDynaset;
  rs->table_ = t;
  for (const auto& f : t.Fields) rs->columns_.push_back({f.Name, column_type(f.Type)});

  std::vector<SortColumn> order;
  for (const auto& item : select.order_by) {
    int pos = t.field_position(item.field);
    if (pos < 0) {
      throw Error(jet_errors::kUnknownField,
                  "Item not found in this collection: field '" + item.field + "' of ORDER BY is not in table '" +
                      t.Name + "'");
    }
    order.push_back({pos, column_type(t.Fields[pos].Type), item.descending});
  }
  std::string name = t.Name;
  // A snapshot's rows are read ahead while the caller works on the ones before.
  const bool read_ahead = rs->type_ == dbOpenSnapshot;
  auto scanner = [db, name, read_ahead]() -> RowScanner {
    std::shared_ptr<TableScan> scan = db->scan(name, read_ahead);
    return [scan](std::vector<jet::Value>& row) { return scan->next(row); };
  };
  if (order.empty()) {
    rs->open_rows_ = scanner;
  } else {
    int sort_order = db->sort_order();
    jet::Format format = db->format();
    rs->open_rows_ = [scanner, order, sort_order, format]() -> RowSource {
      auto sorted = std::make_shared<SortedRows>(scanner, SortKeys(order, format, sort_order));
      return [sorted](std::vector<jet::Value>& row) { return sorted->next(row); };
    };
  }
  return rs;
}

std::shared_ptr<RecordsetImpl> RecordsetImpl::over_rows(std::shared_ptr<DatabaseFile> db, std::string name,
                                                        std::vector<ResultColumn> columns,
                                                        std::vector<std::vector<jet::Value>> rows) {
  std::shared_ptr<RecordsetImpl> rs(new RecordsetImpl());
  rs->db_ = std::move(db);
  rs->name_ = std::move(name);
  rs->type_ = dbOpenSnapshot;
  rs->columns_ = std::move(columns);
  auto shared = std::make_shared<std::vector<std::vector<jet::Value>>>(std::move(rows));
  rs->open_rows_ = [shared]() -> RowSource {
    auto at = std::make_shared<std::size_t>(0);
    return [shared, at](std::vector<jet::Value>& row) {
      if (*at >= shared->size()) return false;
      row = (*shared)[(*at)++];
      return true;
    };
  };
  return rs;
}

int RecordsetImpl::position_of(const std::string& field) const {
  if (positions_.empty()) {
    // The first of two columns that fold alike wins, as a linear search would.
    for (std::size_t i = columns_.size(); i-- > 0;) positions_[jet::name_key(columns_[i].name)] = static_cast<int>(i);
  }
  if (next_asked_ < asked_.size() && asked_[next_asked_].first == field) return asked_[next_asked_++].second;
  for (std::size_t i = 0; i < asked_.size(); ++i) {
    if (asked_[i].first == field) {
      next_asked_ = i + 1;
      return asked_[i].second;
    }
  }
  auto it = positions_.find(jet::name_key(field));
  int pos = it == positions_.end() ? -1 : it->second;
  if (asked_.size() < 256) {
    asked_.emplace_back(field, pos);
    next_asked_ = asked_.size();
  }
  return pos;
}

void RecordsetImpl::check_open() const {
  if (closed_) throw Error(jet_errors::kObjectClosed, "Object invalid or no longer set: recordset '" + name_ + "' is closed");
  db_->check_open();
}

void RecordsetImpl::start() {
  if (started_) return;
  rows_ = open_rows_();
  started_ = true;
  at_end_ = !rows_(current_);
}

bool RecordsetImpl::eof() {
  check_open();
  start();
  return at_end_;
}

void RecordsetImpl::move_next() {
  check_open();
  start();
  if (at_end_) throw Error(jet_errors::kNoCurrentRecord, "No current record in '" + name_ + "'");
  at_end_ = !rows_(current_);
}

jet::Value RecordsetImpl::value(int position) {
  check_open();
  if (editing_) return new_row_.at(static_cast<std::size_t>(position));
  start();
  if (at_end_) throw Error(jet_errors::kNoCurrentRecord, "No current record in '" + name_ + "'");
  return current_.at(static_cast<std::size_t>(position));
}

void RecordsetImpl::set_value(int position, const jet::Value& v) {
  check_open();
  const std::string& field = columns_.at(static_cast<std::size_t>(position)).name;
  if (!editing_) {
    throw Error(jet_errors::kUpdateWithoutAddNew,
                "Update or CancelUpdate without AddNew or Edit: field '" + name_ + "." + field + "' set to " + shown(v));
  }
  try {
    new_row_[static_cast<std::size_t>(position)] = convert_for_field(v, columns_[static_cast<std::size_t>(position)].type);
  } catch (const jet::Error& e) {
    throw Error(e.jet_code(), std::string(e.what()) + " (field '" + name_ + "." + field + "')");
  }
}

void RecordsetImpl::set_value(int position, jet::Value&& v) {
  // Text into a text field needs no conversion: take the value as it is.
  const jet::ColumnType type = columns_.at(static_cast<std::size_t>(position)).type;
  if (editing_ && (type == jet::ColumnType::Text || type == jet::ColumnType::Memo) &&
      std::holds_alternative<std::string>(v)) {
    check_open();
    new_row_[static_cast<std::size_t>(position)] = std::move(v);
    return;
  }
  set_value(position, static_cast<const jet::Value&>(v));
}

void RecordsetImpl::copy_value(int position, RecordsetImpl& source, int source_position) {
  const jet::Value* v;
  source.check_open();
  if (source.editing_) {
    v = &source.new_row_.at(static_cast<std::size_t>(source_position));
  } else {
    source.start();
    if (source.at_end_) throw Error(jet_errors::kNoCurrentRecord, "No current record in '" + source.name_ + "'");
    v = &source.current_.at(static_cast<std::size_t>(source_position));
  }
  const jet::ColumnType type = columns_.at(static_cast<std::size_t>(position)).type;
  if (editing_ && (type == jet::ColumnType::Text || type == jet::ColumnType::Memo) &&
      std::holds_alternative<std::string>(*v) && &source != this) {
    check_open();
    new_row_[static_cast<std::size_t>(position)] = *v;
    return;
  }
  set_value(position, jet::Value(*v));
}

void RecordsetImpl::add_new() {
  check_open();
  if (!table_ || type_ == dbOpenSnapshot) {
    throw Error(jet_errors::kNotUpdatable, "Cannot update. Database or object is read-only: '" + name_ + "'");
  }
  engine_call("AddNew", name_);
  new_row_.assign(columns_.size(), jet::Value{});
  editing_ = true;
}

void RecordsetImpl::refuse(int code, const std::string& field, const jet::Value& v, const std::string& why) const {
  throw Error(code, "Table '" + name_ + "', field '" + field + "', value " + shown(v) + ": " + why);
}

void RecordsetImpl::update() {
  try {
    store_new_row();
  } catch (const jet::Error& refusal) {
    // Nothing of the row was stored; bring the file on disk up to date before
    // telling the caller, so that a program ending on this error leaves a
    // complete file behind.
    try {
      if (db_->is_open()) db_->flush();
    } catch (const std::exception& e) {
      throw Error(refusal.jet_code(), std::string(refusal.what()) + "; then writing out " + db_->path() +
                                          " failed: " + e.what());
    }
    throw;
  }
}

void RecordsetImpl::store_new_row() {
  check_open();
  if (!editing_) throw Error(jet_errors::kUpdateWithoutAddNew, "Update or CancelUpdate without AddNew or Edit on '" + name_ + "'");
  engine_call("Update", name_);
  const TableDef& t = *table_;
  for (int i = 0; i < t.Fields.Count(); ++i) {
    const Field& f = t.Fields[i];
    const jet::Value& v = new_row_[static_cast<std::size_t>(i)];
    if (const auto* s = std::get_if<std::string>(&v); s && (f.Type == dbText || f.Type == dbMemo)) {
      if (s->empty() && !f.AllowZeroLength) {
        refuse(jet_errors::kZeroLengthNotAllowed, f.Name, v, "the field cannot be a zero-length string");
      }
      if (f.Type == dbText) {
        const std::size_t size = f.Size == 0 ? 50 : static_cast<std::size_t>(f.Size);
        // The size counts characters. A Jet 3 definition declares bytes, so a
        // value of double-byte characters is stored whole beyond the declared
        // length (see docs/format-writing.md, "Text sizes").
        std::size_t chars = s->size();
        if (!jet::is_ascii(*s)) {
          try {
            chars = jet::decode_utf8(*s).size();
            (void)db_->text().encode(*s);
          } catch (const jet::Error& e) {
            refuse(jet_errors::kTypeConversion, f.Name, v, e.what());
          }
        }
        if (chars > size) {
          refuse(jet_errors::kFieldTooSmall, f.Name, v,
                 "the field is too small to accept the amount of data: " + std::to_string(chars) +
                     " characters, the field holds " + std::to_string(size));
        }
      }
    }
    if (jet::is_null(v) && f.Required && !f.auto_increment() && f.Type != dbBoolean) {
      refuse(jet_errors::kRequired, f.Name, v, "the field is required and cannot be Null");
    }
  }
  const Index* pk = t.primary_index();
  if (pk && key_positions_.empty()) {
    for (const auto& kf : pk->Fields) key_positions_.push_back(t.field_position(kf.Name));
  }
  for (int pos : key_positions_) {
    const Field& f = t.Fields[pos];
    const jet::Value& v = new_row_[static_cast<std::size_t>(pos)];
    if (jet::is_null(v) && !f.auto_increment() && f.Type != dbBoolean) {
      refuse(jet_errors::kNullInPrimaryKey, f.Name, v,
             "index or primary key '" + pk->Name + "' cannot contain a Null value");
    }
  }
  try {
    db_->append_row(t, new_row_);
  } catch (const jet::Error& e) {
    if (e.jet_code() == jet_errors::kDuplicateKey) {
      std::string key_text;
      for (int pos : key_positions_) {
        key_text += (key_text.empty() ? "" : ", ") + t.Fields[pos].Name + " = " +
                    shown(new_row_[static_cast<std::size_t>(pos)]);
      }
      throw Error(jet_errors::kDuplicateKey,
                  "Table '" + name_ + "': the row would create duplicate values in the index, primary key or "
                  "relationship" + (key_text.empty() ? std::string() : " (" + key_text + ")") + "; " + e.what());
    }
    throw Error(e.jet_code(), "Table '" + name_ + "': the row was not stored: " + e.what());
  }
  editing_ = false;
}

void RecordsetImpl::close() {
  closed_ = true;
  editing_ = false;
  rows_ = nullptr;
}

// ---- handles ----

RecordsetImpl& Recordset::impl() const {
  if (!impl_) throw Error(jet_errors::kObjectClosed, "Object variable not set: the recordset handle holds nothing");
  return *impl_;
}

bool Recordset::Eof() const { return impl().eof(); }
void Recordset::MoveNext() { impl().move_next(); }
int Recordset::FieldCount() const { return static_cast<int>(impl().columns().size()); }

RecordsetField Recordset::Fields(const std::string& name) const {
  int pos = impl().position_of(name);
  if (pos < 0) {
    throw Error(jet_errors::kUnknownField,
                "Item not found in this collection: field '" + name + "' of '" + impl_->name() + "'");
  }
  return RecordsetField(impl_, pos);
}

RecordsetField Recordset::Fields(int position) const {
  if (position < 0 || position >= FieldCount()) {
    throw Error(jet_errors::kUnknownField, "Item not found in this collection: field number " + std::to_string(position) +
                                               " of '" + impl_->name() + "'");
  }
  return RecordsetField(impl_, position);
}

void Recordset::AddNew() { impl().add_new(); }

void Recordset::Update(int type, bool force) {
  if (type != dbUpdateRegular || force) {
    throw Error(jet_errors::kInvalidArgument, "Only a regular, unforced update is supported");
  }
  impl().update();
}

void Recordset::CancelUpdate() { impl().cancel_update(); }

void Recordset::Close() {
  engine_call("Close", impl().name());
  impl().close();
}

const std::string& RecordsetField::Name() const { return rs_->columns()[static_cast<std::size_t>(position_)].name; }
int RecordsetField::Type() const { return type_code(rs_->columns()[static_cast<std::size_t>(position_)].type); }
jet::Value RecordsetField::Value() const { return rs_->value(position_); }
void RecordsetField::SetValue(const jet::Value& v) { rs_->set_value(position_, v); }
void RecordsetField::SetValue(jet::Value&& v) { rs_->set_value(position_, std::move(v)); }
void RecordsetField::SetValueFrom(const RecordsetField& source) {
  rs_->copy_value(position_, *source.rs_, source.position_);
}

}  // namespace mirutone::db
