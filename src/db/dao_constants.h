// The engine's numeric codes as the object model passes them: field types,
// field attributes, recordset types, update types and the locale string of
// the new databases. Every caller takes them from here.
#pragma once

#include "db/jet/api/value.h"

namespace mirutone::db {

// Field types.
inline constexpr int dbBoolean = 1;
inline constexpr int dbByte = 2;
inline constexpr int dbInteger = 3;
inline constexpr int dbLong = 4;
inline constexpr int dbCurrency = 5;
inline constexpr int dbSingle = 6;
inline constexpr int dbDouble = 7;
inline constexpr int dbDate = 8;
inline constexpr int dbBinary = 9;
inline constexpr int dbText = 10;
inline constexpr int dbLongBinary = 11;
inline constexpr int dbMemo = 12;
inline constexpr int dbGUID = 15;

// Field attributes.
inline constexpr int dbAutoIncrField = 16;

// Recordset types.
inline constexpr int dbOpenDynaset = 2;
inline constexpr int dbOpenSnapshot = 4;

// Update types.
inline constexpr int dbUpdateRegular = 1;

// Connect string of a database with the Japanese sort order and code page 932.
inline constexpr const char* dbLangJapanese = ";LANGID=0x0411;CP=932;COUNTRY=0";

// The engine's column type of a type code (the codes above, and 16 for the
// Decimal columns of Jet 4 files); Error 3259 for a code it has no type for.
jet::ColumnType column_type(int type_code);
// The type code of an engine column type.
int type_code(jet::ColumnType type);

}  // namespace mirutone::db
