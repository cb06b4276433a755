// The ten stored queries of the management database, assembled from their
// pieces exactly as the builder stores them.
#pragma once

#include <string>
#include <vector>

namespace mirutone::schema {

struct StoredQuery {
  std::string name;
  std::string sql;
};

// In creation order.
std::vector<StoredQuery> kanri_queries();

}  // namespace mirutone::schema
