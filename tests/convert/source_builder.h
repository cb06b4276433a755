// Builds an old management database for the conversion tests: every table the
// run reads, with plausible old-product column types and no keys (so that a
// test can put duplicates in), empty until a test adds rows.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "db/jet/api/writer.h"

namespace mirutone::test {

using Row = std::map<std::string, jet::Value>;  // by column name; a missing column is Null

class SourceBuilder {
 public:
  SourceBuilder();

  // The table's design, to change a column's type or size before write().
  jet::TableDesign& design(const std::string& table);
  void add(const std::string& table, const Row& row);
  void drop(const std::string& table);
  // Writes a Jet 3, code page 932 file.
  void write(const std::string& path) const;

 private:
  std::vector<jet::TableDesign> tables_;
  std::map<std::string, std::vector<Row>> rows_;
};

// Values, briefly.
inline jet::Value I(std::int32_t v) { return jet::Value(v); }
inline jet::Value D(double v) { return jet::Value(v); }
inline jet::Value S(const std::string& v) { return jet::Value(v); }
inline jet::Value B(bool v) { return jet::Value(v); }
inline const jet::Value Null{};

}  // namespace mirutone::test
