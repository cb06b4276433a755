// Errors of the database layer. Each carries Jet's error number so that a
// caller can tell a duplicate key (3022) from a missing field (3265), and a
// message naming the table, field and value concerned.
#pragma once

#include <string>

#include "db/jet/api/error.h"
#include "db/jet/api/error_numbers.h"

namespace mirutone::db {

// Jet's error numbers, under the name the layer has always used for them.
namespace jet_errors = jet::error_numbers;

class Error : public jet::Error {
 public:
  Error(int jet_code, const std::string& what) : jet::Error(jet_code, "", what) {}
};

}  // namespace mirutone::db
