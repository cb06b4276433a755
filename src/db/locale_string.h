// The connect (locale) string given to CreateDatabase, e.g.
// ";LANGID=0x0411;CP=932;COUNTRY=0".
#pragma once

#include <string_view>

#include "db/jet/api/writer.h"

namespace mirutone::db {

// Sort order and code page that the string names. LANGID gives the sort order
// (and the code page that goes with it when CP is absent); an empty string
// means the general sort order. Throws Error 3129-style 3001 (invalid
// argument) naming the string when a part cannot be read.
jet::Locale parse_locale_string(std::string_view connect);

}  // namespace mirutone::db
