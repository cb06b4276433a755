#include "db/jet/query/query_param_types.h"

#include "db/jet/query/query_sql_lexer.h"

#include <array>
#include <string>

namespace mirutone::jet {
namespace {

struct TypeName {
  std::string_view name;
  std::int16_t code;
};

// Canonical spellings first: parameter_type_name returns the first match.
constexpr std::array kTypeNames{
    TypeName{"Value", 0},       TypeName{"Bit", 1},         TypeName{"Byte", 2},
    TypeName{"Short", 3},       TypeName{"Long", 4},        TypeName{"Currency", 5},
    TypeName{"IEEESingle", 6},  TypeName{"IEEEDouble", 7},  TypeName{"DateTime", 8},
    TypeName{"Binary", 9},      TypeName{"Text", 10},       TypeName{"LongBinary", 11},
    TypeName{"Memo", 12},       TypeName{"Guid", 15},
    // Synonyms Jet's SQL accepts.
    TypeName{"YesNo", 1},       TypeName{"Logical", 1},     TypeName{"Logical1", 1},
    TypeName{"Boolean", 1},     TypeName{"UnsignedByte", 2}, TypeName{"TinyInt", 2},
    TypeName{"Integer1", 2},    TypeName{"SmallInt", 3},    TypeName{"Integer2", 3},
    TypeName{"Integer", 4},     TypeName{"Int", 4},         TypeName{"Integer4", 4},
    TypeName{"Money", 5},       TypeName{"Single", 6},      TypeName{"Real", 6},
    TypeName{"Float4", 6},      TypeName{"Double", 7},      TypeName{"Float", 7},
    TypeName{"Float8", 7},      TypeName{"Number", 7},      TypeName{"Numeric", 7},
    TypeName{"Date", 8},        TypeName{"Time", 8},        TypeName{"TimeStamp", 8},
    TypeName{"VarBinary", 9},   TypeName{"Char", 10},       TypeName{"VarChar", 10},
    TypeName{"String", 10},     TypeName{"Alphanumeric", 10}, TypeName{"OLEObject", 11},
    TypeName{"General", 11},    TypeName{"Image", 11},      TypeName{"LongText", 12},
    TypeName{"LongChar", 12},   TypeName{"Note", 12},       TypeName{"UniqueIdentifier", 15},
};

}  // namespace

std::optional<std::int16_t> parameter_type_code(std::string_view type_name) {
  for (const auto& t : kTypeNames)
    if (names_equal(t.name, type_name)) return t.code;
  return std::nullopt;
}

std::optional<std::string_view> parameter_type_name(std::int16_t code) {
  for (const auto& t : kTypeNames)
    if (t.code == code) return t.name;
  return std::nullopt;
}

}  // namespace mirutone::jet
