// Data types a PARAMETERS clause may declare, and the codes MSysQueries
// keeps for them in the Flag of a parameter row (Jet's column type codes).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mirutone::jet {

// Type code for a Jet SQL type name or synonym (case-insensitive):
// "SHORT" -> 3, "DateTime" -> 8, "Text" -> 10, ...; nullopt if unknown.
std::optional<std::int16_t> parameter_type_code(std::string_view type_name);

// The name Access shows for a type code ("Short", "DateTime", ...);
// nullopt for a code no parameter can have.
std::optional<std::string_view> parameter_type_name(std::int16_t code);

}  // namespace mirutone::jet
