// Text keys of the Access 97 "General" sort order (LCID 0x0409) in Jet 3 files.
//
// Jet 3 keys the stored code-page bytes through a fixed 256-entry table; the
// text is converted to Windows-1252 first, and a character outside that code
// page is an Error. Keys are case-insensitive, with accents as a secondary
// weight appended after the letters.
#pragma once

#include "db/jet/index/index_key.h"

namespace mirutone::jet {

class GeneralTextKeys final : public TextKeyEncoder {
 public:
  int sort_order() const override { return fmt::kSortGeneral; }
  void append_key(std::string_view utf8, Bytes& out) const override;
};

// Windows-1252 byte for a code point; -1 when the code page has none.
int to_cp1252(char32_t c);

}  // namespace mirutone::jet
