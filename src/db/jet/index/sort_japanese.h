// Text keys of the Japanese sort order (LCID 0x0411) in Jet 3 files.
//
// Jet 3 stores 0x7F followed by the Windows sort key of the text, as
// LCMapString(0x0411, LCMAP_SORTKEY | NORM_IGNORECASE | NORM_IGNOREKANATYPE |
// NORM_IGNOREWIDTH) builds it, uncompressed and with its final 0x00. This
// class builds that key itself from a frozen weight table; docs/text-index-keys.md
// explains which table and why, and what a run on Windows has to confirm.
// Characters the table does not hold (control characters apart, whose weights
// sort_japanese.cc carries) are an Error, never a guessed key.
#pragma once

#include "db/jet/index/index_key.h"

namespace mirutone::jet {

class JapaneseTextKeys final : public TextKeyEncoder {
 public:
  int sort_order() const override { return fmt::kSortJapanese; }
  void append_key(std::string_view utf8, Bytes& out) const override;
};

// The same key asked of the operating system (Windows), as Jet 3 itself
// does: the weights of the machine that converts instead of the frozen
// table. Throws Error where the system has no sort keys.
class SystemJapaneseTextKeys final : public TextKeyEncoder {
 public:
  SystemJapaneseTextKeys();
  int sort_order() const override { return fmt::kSortJapanese; }
  void append_key(std::string_view utf8, Bytes& out) const override;
};

}  // namespace mirutone::jet
