// Jet's error numbers, one home for every refusal the engine and the layer
// above it make. A caller tells a duplicate key (3022) from a missing field
// (3265) by these.
#pragma once

namespace mirutone::jet::error_numbers {

// Rows and values.
inline constexpr int kReserved = 3000;  // Jet's "reserved error": a failure it has no number for
inline constexpr int kRecordTooLarge = 3047;
inline constexpr int kNoCurrentRecord = 3021;
inline constexpr int kUpdateWithoutAddNew = 3020;
inline constexpr int kDuplicateKey = 3022;
inline constexpr int kNotUpdatable = 3027;
inline constexpr int kNullInPrimaryKey = 3058;
inline constexpr int kFieldTooSmall = 3163;
inline constexpr int kRequired = 3314;
inline constexpr int kZeroLengthNotAllowed = 3315;
inline constexpr int kNumericOverflow = 3349;
inline constexpr int kTypeConversion = 3421;
inline constexpr int kTypeMismatch = 3464;

// Files.
inline constexpr int kFileNotFound = 3024;
inline constexpr int kInvalidPath = 3044;
inline constexpr int kFileInUse = 3045;  // Could not use the file; already in use
inline constexpr int kCannotOpenFile = 3051;

// Objects and collections.
inline constexpr int kQueryExists = 3012;
inline constexpr int kInvalidName = 3125;
inline constexpr int kTooManyFields = 3190;
inline constexpr int kPrimaryKeyExists = 3283;
inline constexpr int kIndexExists = 3284;
inline constexpr int kInvalidArgument = 3001;
inline constexpr int kTableExists = 3010;
inline constexpr int kCannotOpenDatabase = 3049;
inline constexpr int kUnknownTable = 3078;
inline constexpr int kAmbiguousField = 3079;
inline constexpr int kFieldExists = 3191;
inline constexpr int kDatabaseExists = 3204;
inline constexpr int kNotSupported = 3251;  // Operation is not supported for this type of object
inline constexpr int kInvalidFieldType = 3259;
inline constexpr int kNoFields = 3264;
inline constexpr int kUnknownField = 3265;
inline constexpr int kUnknownQuery = 3265;
inline constexpr int kObjectClosed = 3420;

// SQL text.
inline constexpr int kParameterMissing = 3061;
inline constexpr int kSyntaxError = 3075;        // Syntax error in query expression
inline constexpr int kNotAStatement = 3129;      // Invalid SQL statement; expected 'SELECT', ...
inline constexpr int kFromClause = 3131;         // Syntax error in FROM clause
inline constexpr int kJoinSyntax = 3135;         // Syntax error in JOIN operation
inline constexpr int kParametersClause = 3137;   // Syntax error in PARAMETERS clause
inline constexpr int kOrderByClause = 3138;      // Syntax error in ORDER BY clause
inline constexpr int kSelectSyntax = 3141;       // SELECT statement misspelled or punctuation wrong
inline constexpr int kTrailingText = 3142;       // Characters found after end of SQL statement
inline constexpr int kJoinUnsupported = 3296;    // Join expression not supported

}  // namespace mirutone::jet::error_numbers
