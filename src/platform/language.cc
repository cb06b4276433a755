#include "platform/language.h"

namespace mirutone::platform {

std::string language_of_language_id(unsigned language_id) {
  constexpr unsigned kPrimaryMask = 0x3ff, kJapanese = 0x11;  // PRIMARYLANGID, LANG_JAPANESE
  return (language_id & kPrimaryMask) == kJapanese ? "ja" : "en";
}

}  // namespace mirutone::platform
