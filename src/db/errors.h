// Errors of the database layer. Each carries Jet's error number so that a
// caller can tell a duplicate key (3022) from a missing field (3265), and a
// message naming the table, field and value concerned.
#pragma once

#include <string>

#include "db/jet/error.h"

namespace mirutone::db {

// Jet's error numbers for the refusals the layer makes.
namespace jet_errors {
inline constexpr int kDuplicateKey = 3022;
inline constexpr int kNullInPrimaryKey = 3058;
inline constexpr int kUnknownTable = 3078;
inline constexpr int kFieldTooSmall = 3163;
inline constexpr int kDatabaseExists = 3204;
inline constexpr int kUnknownField = 3265;
inline constexpr int kZeroLengthNotAllowed = 3315;
inline constexpr int kNumericOverflow = 3349;
inline constexpr int kTypeConversion = 3421;
inline constexpr int kSyntaxError = 3075;
inline constexpr int kNoCurrentRecord = 3021;
inline constexpr int kObjectClosed = 3420;
inline constexpr int kNotUpdatable = 3027;
inline constexpr int kInvalidArgument = 3001;
inline constexpr int kTableExists = 3010;
inline constexpr int kNoFields = 3264;
inline constexpr int kFieldExists = 3191;
inline constexpr int kInvalidFieldType = 3259;
inline constexpr int kRequired = 3314;
inline constexpr int kUpdateWithoutAddNew = 3020;
inline constexpr int kUnknownQuery = 3265;
inline constexpr int kParameterMissing = 3061;
inline constexpr int kTypeMismatch = 3464;
inline constexpr int kAmbiguousField = 3079;
}  // namespace jet_errors

class Error : public jet::Error {
 public:
  Error(int jet_code, const std::string& what) : jet::Error(jet_code, "", what) {}
};

}  // namespace mirutone::db
