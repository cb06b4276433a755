// The language of the system's own user interface, for a program started
// without LANG, LC_ALL or LC_MESSAGES (as programs on Windows normally are).
#pragma once

#include <string>

namespace mirutone::platform {

// "ja" when the system's user interface is Japanese, "en" for any other
// language; empty where the system tells nothing beyond the environment
// (POSIX, where the locale variables are the answer).
std::string user_interface_language();

// The same for a Windows language identifier (LANGID): its primary language
// (the low ten bits) decides.
std::string language_of_language_id(unsigned language_id);

}  // namespace mirutone::platform
