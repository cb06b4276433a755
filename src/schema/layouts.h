// The table layouts of the two new databases, in the order they are created.
// Builders and tests both read them from here.
#pragma once

#include <string>
#include <vector>

#include "db/dao_constants.h"

namespace mirutone::schema {

// Type codes as the engine names them (db/dao_constants.h).
using FieldType = int;
using db::dbBoolean;
using db::dbDouble;
using db::dbInteger;
using db::dbLong;
using db::dbText;

struct FieldLayout {
  std::string name;
  FieldType type;
  int size = 0;                    // Text only
  bool auto_increment = false;     // Attributes = 16
  bool allow_zero_length = false;  // AllowZeroLength = True
};

struct TableLayout {
  std::string name;
  std::vector<FieldLayout> fields;
  std::vector<std::string> primary_key;  // index named after the table; empty = no index
};

// "Ruzevuz.mdb": fifteen tables.
const std::vector<TableLayout>& kanri_tables();
// "NVData.mdb": seven tables.
const std::vector<TableLayout>& data_tables();

inline constexpr const char* kKanriFileName = "Ruzevuz.mdb";
inline constexpr const char* kDataFileName = "NVData.mdb";

}  // namespace mirutone::schema
