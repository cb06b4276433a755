// The table layouts of the two new databases, in the order they are created.
// Builders and tests both read them from here.
#pragma once

#include <string>
#include <vector>

namespace mirutone::schema {

// Type codes as the engine names them.
enum FieldType : int { dbBoolean = 1, dbInteger = 3, dbLong = 4, dbDouble = 7, dbText = 10 };

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
