// Definitions of tables as the object model builds them: Field, Index and
// TableDef. They are plain values; a table comes into being in a file only
// when its TableDef is appended to a Database's TableDefs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "db/dao_constants.h"

namespace mirutone::db {

struct Field {
  std::string Name;
  int Type = dbText;
  int Size = 0;               // Text: the most characters it holds (0 = 50)
  int Attributes = 0;         // dbAutoIncrField
  bool AllowZeroLength = false;
  bool Required = false;

  bool auto_increment() const { return (Attributes & dbAutoIncrField) != 0; }
};

// A collection that keeps its members in the order they were appended and
// refuses a second member whose name matches one it holds (Jet error 3191).
template <typename T>
class NamedList {
 public:
  explicit NamedList(const char* kind = "field") : kind_(kind) {}
  void Append(const T& item);
  int Count() const { return static_cast<int>(items_.size()); }
  // Error 3265 naming `name` when there is no such member.
  const T& operator()(const std::string& name) const;
  const T& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
  const T* find(const std::string& name) const;
  typename std::vector<T>::const_iterator begin() const { return items_.begin(); }
  typename std::vector<T>::const_iterator end() const { return items_.end(); }

 private:
  const char* kind_;
  std::vector<T> items_;
};

struct Index {
  std::string Name;
  bool Primary = false;
  bool Unique = false;
  NamedList<Field> Fields{"index field"};

  // A field of the index, named only.
  Field CreateField(const std::string& name) const;
};

class TableDef {
 public:
  TableDef() = default;
  explicit TableDef(std::string name) : Name(std::move(name)) {}

  std::string Name;
  NamedList<Field> Fields{"field"};
  NamedList<Index> Indexes{"index"};
  // Rows the table definition of an opened file counts (it may be stale
  // after a damaged write); 0 for a table defined here.
  long long RecordCount = 0;

  // A new field; size is used by Text fields only.
  Field CreateField(const std::string& name, int type, int size = 0) const;
  Index CreateIndex(const std::string& name) const;

  // The primary index, or nullptr.
  const Index* primary_index() const;
  // Position of the field named `name` (Jet's matching), or -1.
  int field_position(const std::string& name) const;
};

// What a table's own structures say of its size, beside the rows a scan
// reads: they differ in a damaged file, and in a sound one whose counts went
// stale (Access puts both right when it compacts the file).
struct StoredCounts {
  long long definition_rows = 0;                  // the row count of the table definition
  std::optional<long long> primary_index_entries;  // entries of its primary index, if it has one
};

}  // namespace mirutone::db
