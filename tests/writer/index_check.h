// Checks an index tree of a written file against the rows of its table.
#pragma once

#include <string>

namespace mirutone::test {

struct IndexCheck {
  std::size_t entries = 0;
  int depth = 0;
  std::string problem;  // empty when the tree matches the table
};

// Reads index `real_index` of `table` from `file`: the tree must list one
// entry per row (rows whose key is all Null excepted for ignore-nulls
// indexes), strictly ascending, with exactly the keys the rows give.
IndexCheck check_index(const std::string& file, const std::string& table, int real_index);

}  // namespace mirutone::test
