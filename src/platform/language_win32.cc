#include <windows.h>

#include "platform/language.h"

namespace mirutone::platform {

std::string user_interface_language() { return language_of_language_id(::GetUserDefaultUILanguage()); }

}  // namespace mirutone::platform
