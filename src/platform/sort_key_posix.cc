#include "platform/sort_key.h"

namespace mirutone::platform {

// POSIX collation (strxfrm) is not Windows', so it is not offered at all.
bool system_sort_keys_available() { return false; }

bool system_sort_key(unsigned, unsigned, std::string_view, std::vector<std::uint8_t>&) { return false; }

}  // namespace mirutone::platform
