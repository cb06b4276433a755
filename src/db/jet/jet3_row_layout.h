// Jet 3 row and long-value constants that format.h and jet3_layout.h leave
// out. docs/format-rows.md gives the evidence for each.
#pragma once

#include <cstdint>

namespace mirutone::jet::jet3 {

// Row-offset slots are two bytes each; a row costs its length plus its slot.
inline constexpr int kRowSlotSize = 2;

// Variable-column offsets are one byte; every 256 bytes of row need a jump
// entry, and a jump byte of 0xFF that names no column is padding.
inline constexpr int kJumpStride = 256;
inline constexpr std::uint8_t kJumpPad = 0xFF;

// Memo/OLE: the 12-byte reference in the row, and the largest value Jet
// keeps inside the row (33 bytes and up always went to an LVAL page).
inline constexpr int kLongValueRefSize = 12;
inline constexpr int kLongValueInlineMax = 32;
// Owner field of an LVAL page, "LVAL" read as a little-endian u32.
inline constexpr std::uint32_t kLvalOwner = 0x4C41564C;
// A chained long value: each row is a 4-byte pointer to the next row, then
// up to 2032 bytes of data, so one link fills an empty page exactly.
inline constexpr int kLongValueNextSize = 4;
inline constexpr int kLongValueChunk = 2032;
// The largest value stored as a single LVAL row (a row of its own length).
inline constexpr int kLongValueSingleMax = 2032;
// Lengths are 24 bits in the reference.
inline constexpr std::uint32_t kLongValueMaxLength = 0xFFFFFF;

}  // namespace mirutone::jet::jet3
