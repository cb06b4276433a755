#include "db/table_def.h"

#include "db/engine_hook.h"
#include "db/errors.h"
#include "db/jet/api/names.h"

namespace mirutone::db {

template <typename T>
void NamedList<T>::Append(const T& item) {
  if (item.Name.empty()) throw Error(jet_errors::kInvalidArgument, std::string("A ") + kind_ + " needs a name");
  if (find(item.Name)) {
    throw Error(jet_errors::kFieldExists, std::string("The ") + kind_ + " '" + item.Name + "' is already in the collection");
  }
  items_.push_back(item);
}

template <typename T>
const T* NamedList<T>::find(const std::string& name) const {
  for (const auto& i : items_) {
    if (jet::names_equal(i.Name, name)) return &i;
  }
  return nullptr;
}

template <typename T>
const T& NamedList<T>::operator()(const std::string& name) const {
  if (const T* t = find(name)) return *t;
  throw Error(jet_errors::kUnknownField, std::string("Item not found in this collection: ") + kind_ + " '" + name + "'");
}

template class NamedList<Field>;
template class NamedList<Index>;

Field Index::CreateField(const std::string& name) const {
  engine_call("CreateField", name);
  Field f;
  f.Name = name;
  return f;
}

Field TableDef::CreateField(const std::string& name, int type, int size) const {
  engine_call("CreateField", name);
  column_type(type);  // refuses an unknown code here, as the engine does
  Field f;
  f.Name = name;
  f.Type = type;
  f.Size = type == dbText ? size : 0;
  return f;
}

Index TableDef::CreateIndex(const std::string& name) const {
  engine_call("CreateIndex", name);
  Index ix;
  ix.Name = name;
  return ix;
}

const Index* TableDef::primary_index() const {
  for (const auto& ix : Indexes) {
    if (ix.Primary) return &ix;
  }
  return nullptr;
}

int TableDef::field_position(const std::string& name) const {
  for (int i = 0; i < Fields.Count(); ++i) {
    if (jet::names_equal(Fields[i].Name, name)) return i;
  }
  return -1;
}

}  // namespace mirutone::db
