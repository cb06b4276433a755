// Jet's rule for telling two names apart, used for tables, queries, columns,
// indexes, parameters and SQL keywords alike: letters match without regard to
// case, the ASCII ones and the full-width Latin ones (ａ and Ａ) each within
// their own width; every other character, kana of either width included,
// matches only itself. docs/names.md gives the evidence for the rule.
#pragma once

#include <string>
#include <string_view>

namespace mirutone::jet {

bool names_equal(std::string_view a, std::string_view b);

// The form of a name under which names that match are equal (for lookups).
std::string name_key(std::string_view name);

}  // namespace mirutone::jet
