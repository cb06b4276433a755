// How Jet stores a query in MSysQueries: one row per piece, told apart by
// the Attribute column, with a Flag whose meaning depends on the attribute.
// The writer (query_def.cc) and the reader (query_sql_rebuild.cc) both take
// these from here; docs/stored-queries.md gives the evidence.
#pragma once

#include <cstdint>
#include <string_view>

namespace mirutone::jet {

// Row kinds (MSysQueries.Attribute).
inline constexpr std::uint8_t kAttrStart = 0;
inline constexpr std::uint8_t kAttrType = 1;
inline constexpr std::uint8_t kAttrParameter = 2;
inline constexpr std::uint8_t kAttrOptions = 3;
inline constexpr std::uint8_t kAttrDatabase = 4;  // the IN clause: an outside database
inline constexpr std::uint8_t kAttrTable = 5;
inline constexpr std::uint8_t kAttrColumn = 6;
inline constexpr std::uint8_t kAttrJoin = 7;
inline constexpr std::uint8_t kAttrWhere = 8;
inline constexpr std::uint8_t kAttrGroupBy = 9;
inline constexpr std::uint8_t kAttrHaving = 10;
inline constexpr std::uint8_t kAttrOrderBy = 11;
inline constexpr std::uint8_t kAttrEnd = 255;

// Query types (Flag of the type row).
inline constexpr std::int16_t kQuerySelect = 1;
inline constexpr std::int16_t kQueryMakeTable = 2;
inline constexpr std::int16_t kQueryAppend = 3;
inline constexpr std::int16_t kQueryUpdate = 4;
inline constexpr std::int16_t kQueryDelete = 5;
inline constexpr std::int16_t kQueryCrosstab = 6;
inline constexpr std::int16_t kQueryDataDefinition = 7;
inline constexpr std::int16_t kQueryPassThrough = 8;
inline constexpr std::int16_t kQueryUnion = 9;

// MSysObjects.Flags of a query's catalog row, by its type.
inline constexpr std::int32_t query_object_flags(std::int16_t type) {
  constexpr std::int32_t kFlags[] = {0x00, 0x00, 0x50, 0x40, 0x30, 0x20, 0x10, 0x60, 0x70, 0x80};
  return type >= kQuerySelect && type <= kQueryUnion ? kFlags[type] : 0;
}

// Bits of the select-options Flag (attribute 3).
inline constexpr std::int16_t kSelectStar = 0x01;
inline constexpr std::int16_t kSelectDistinct = 0x02;
inline constexpr std::int16_t kSelectOwnerAccess = 0x04;
inline constexpr std::int16_t kSelectDistinctRow = 0x08;
inline constexpr std::int16_t kSelectTop = 0x10;
inline constexpr std::int16_t kSelectPercent = 0x20;

// Join kinds (Flag of attribute 7).
inline constexpr std::int16_t kJoinInner = 1;
inline constexpr std::int16_t kJoinLeft = 2;
inline constexpr std::int16_t kJoinRight = 3;

// Type code of a TEXT parameter (Flag of attribute 2), whose size Jet 4
// keeps in LvExtra.
inline constexpr std::int16_t kParameterText = 10;
// Flags of output columns and GROUP BY items in a crosstab query.
inline constexpr std::int16_t kCrosstabValue = 0;
inline constexpr std::int16_t kCrosstabPivot = 1;
// Flag bit of an append query's column that is a VALUES item.
inline constexpr std::int16_t kAppendValue = static_cast<std::int16_t>(0x8000);
// Prefix of the table-row Name2 that marks the parts of a union query.
inline constexpr std::string_view kUnionPart = "X7YZ_____";

}  // namespace mirutone::jet
