// Storing Memo and OLE values the way Jet 3 does.
//
// In the row a long value is a 12-byte reference:
//   0  u24  length of the value
//   3  u8   0x80 data follows inline, 0x40 one LVAL row, 0x00 chain of LVAL rows
//   4  RP   the (first) LVAL row, 0 when inline
//   8  u32  0
// Values of up to 32 bytes stay inline (the data follows the reference).
// Larger ones up to 2032 bytes become one row on an LVAL page of the column;
// still larger ones a chain of rows, each a 4-byte pointer to the next row
// (0 in the last) and up to 2032 bytes of data. A chain's full links each
// take a new page of their own, in page order, and only the last, partial
// link shares a page with other values.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "db/jet/format/format.h"

namespace mirutone::jet {

// The LVAL pages of one Memo/OLE column, as the file writer keeps them. The
// pages belong to the column's own usage maps (listed in the TDEF after the
// indexes), never to the table's owned-pages map.
class LvalPageSink {
 public:
  virtual ~LvalPageSink() = default;
  // Starts a new, empty LVAL page for the column and returns its number.
  virtual std::uint32_t allocate_lval_page() = 0;
  // An LVAL page of the column that can take a row of `row_size` bytes (plus
  // its two-byte slot), or 0 when none can.
  virtual std::uint32_t lval_page_with_room(int row_size) = 0;
  // Appends `row` to LVAL page `page`, which has room for it (it came from
  // one of the calls above), and returns the row number.
  virtual std::uint8_t append_lval_row(std::uint32_t page, std::span<const std::uint8_t> row) = 0;
};

// Whether Jet keeps a value of `length` bytes inside the row.
bool long_value_fits_inline(std::size_t length);

// Reference plus data for an inline value (0x80). Also used for an empty,
// non-NULL value, which has no bytes to store elsewhere.
std::vector<std::uint8_t> inline_long_value(std::span<const std::uint8_t> data);

// Stores `data` on LVAL pages through `sink` (one row, or a chain) and
// returns the 12-byte reference. `column` names the column in the Error for a
// value longer than the 24-bit length field allows.
std::vector<std::uint8_t> store_long_value(std::span<const std::uint8_t> data, LvalPageSink& sink,
                                           const std::string& column);

// A ready LvalPageSink over page buffers the caller hands out: it formats
// each page it gets as an LVAL data page and fills pages first-fit.
class LvalPagePool : public LvalPageSink {
 public:
  struct Pages {
    // A new page number (the caller records it as in use).
    std::function<std::uint32_t()> allocate;
    // Writable 2048-byte buffer of a page handed out by `allocate`.
    std::function<std::uint8_t*(std::uint32_t)> buffer;
  };
  explicit LvalPagePool(Pages pages) : pages_(std::move(pages)) {}

  std::uint32_t allocate_lval_page() override;
  std::uint32_t lval_page_with_room(int row_size) override;
  std::uint8_t append_lval_row(std::uint32_t page, std::span<const std::uint8_t> row) override;

  // Every LVAL page of the column, in allocation order (the owned map).
  const std::vector<std::uint32_t>& pages() const { return all_; }
  // The pages that still have free space (the free map).
  std::vector<std::uint32_t> pages_with_room() const;

 private:
  Pages pages_;
  std::vector<std::uint32_t> all_;
};

}  // namespace mirutone::jet
