// Memo and OLE values: a 12-byte reference in the row, with the data inline,
// in one LVAL row, or in a chain of LVAL rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "db/jet/format/format.h"

namespace mirutone::jet {

class PageSource;

class LongValueReader {
 public:
  LongValueReader(const PageSource& src, const fmt::Layout& lay) : src_(src), lay_(lay) {}

  // Replaces `out` with the bytes of the value whose reference (and inline
  // data) is `field`. `what` names the value in errors ("table 'T', page 3
  // row 1, column 'Notes'"). Throws CorruptError on a bad reference, a page
  // that is not an LVAL page, a chain that loops or ends early.
  void read(const std::uint8_t* field, std::size_t len, std::vector<std::uint8_t>& out,
            const std::string& what);

 private:
  // Bytes of LVAL row `ptr`, valid until the next call.
  std::pair<const std::uint8_t*, std::size_t> lval_row(fmt::RowPointer ptr, const std::string& what);

  const PageSource& src_;
  const fmt::Layout& lay_;
  std::vector<std::uint8_t> page_;
  std::uint32_t loaded_ = 0;  // page number in page_ (0 = none)
};

}  // namespace mirutone::jet
