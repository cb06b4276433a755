#include "platform/language.h"

namespace mirutone::platform {

std::string user_interface_language() { return ""; }

}  // namespace mirutone::platform
