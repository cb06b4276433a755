// What the conversion tests share: the recording user (support/recording_ui.h)
// and a way to read a table back.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "convert/conversion_run.h"
#include "db/jet/api/reader.h"
#include "support/recording_ui.h"
#include "support/test_support.h"

namespace mirutone::test {

using NamedRow = std::map<std::string, jet::Value>;

// Every row of a table in storage order, by column name.
inline std::vector<NamedRow> read_table(const std::filesystem::path& file, const std::string& table) {
  auto r = jet::Reader::open(file.string());
  const auto& info = r->table(table);
  auto cur = r->rows(table);
  std::vector<NamedRow> rows;
  std::vector<jet::Value> row;
  while (cur->next(row)) {
    NamedRow named;
    for (std::size_t i = 0; i < info.columns.size(); ++i) named[info.columns[i].name] = row[i];
    rows.push_back(std::move(named));
  }
  return rows;
}

}  // namespace mirutone::test
