// Stored queries: Jet keeps a query decomposed into rows of MSysQueries.
// This is the bridge between SQL text and those rows, both ways.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mirutone::jet {

// One row of MSysQueries (all columns but ObjectId, which is the query's catalog Id).
struct QueryRow {
  std::uint8_t attribute = 0;  // 0 start, 1 type, 2 parameter, 3 options, 5 table, 6 column,
                               // 7 join, 8 where, 9 group, 10 having, 11 order, 255 end
  std::optional<std::string> expression;
  std::optional<std::int16_t> flag;
  std::optional<std::string> name1;
  std::optional<std::string> name2;
  std::uint32_t order = 1;                // 1-based within (query, attribute); stored as 4 big-endian bytes
  std::optional<std::int32_t> lv_extra;   // Jet 4 only (LvExtra): declared size of a TEXT parameter
  bool operator==(const QueryRow&) const = default;
};

// Parses the SQL subset that stored queries here use and decomposes it into
// MSysQueries rows, as Jet would store it. Throws Error naming the query and
// the construct when the text is outside the subset.
std::vector<QueryRow> decompose_query(const std::string& name, const std::string& sql);

// Rebuilds SQL text from the rows of one query (any query type Jet stores;
// nullopt when the rows do not describe a query that can be shown as SQL).
std::optional<std::string> rebuild_query_sql(const std::vector<QueryRow>& rows);

}  // namespace mirutone::jet
