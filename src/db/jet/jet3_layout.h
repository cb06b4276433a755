// Facts about Jet 3 files that only the writing side needs: the fixed page
// plan of a new database, the values Jet puts into fields nobody documents,
// and little-endian stores to go with the loads in format.h.
#pragma once

#include <cstdint>
#include <vector>

#include "db/jet/format.h"

namespace mirutone::jet::jet3 {

inline constexpr int kPageSize = 2048;
inline constexpr int kDataPageHeader = 10;          // type, 0x01, free u16, owner u32, rows u16
inline constexpr int kEmptyDataPageFree = kPageSize - kDataPageHeader;  // 2038
inline constexpr int kMaxRowsPerPage = 255;
inline constexpr int kMaxRowSize = 2012;

// Usage maps: inline rows are 133 bytes (type, start page, 128-byte bitmap);
// a reference row of the same length holds 33 bitmap page numbers.
inline constexpr int kMapRowSize = 133;
inline constexpr int kInlineMapPages = 128 * 8;                   // 1024 pages per window
inline constexpr int kReferenceSlots = (kMapRowSize - 1) / 4;     // 33
inline constexpr int kBitmapPagePages = (kPageSize - 4) * 8;      // 16352 pages per bitmap page

// Index pages.
inline constexpr int kIndexEntryStart = 0xF8;
inline constexpr int kIndexPageCapacity = kPageSize - kIndexEntryStart;  // 1800

// Header: pages the four system tables' definitions sit on; fields of unknown
// meaning hold what Access-made files hold.
inline constexpr std::uint32_t kTdefMSysObjects = 2;
inline constexpr std::uint32_t kTdefMSysACEs = 3;
inline constexpr std::uint32_t kTdefMSysQueries = 4;
inline constexpr std::uint32_t kTdefMSysRelationships = 5;
inline constexpr int kHeaderOffUnknown38 = 0x38;     // u16 = 1
inline constexpr int kHeaderOffUnknown56 = 0x56;     // u16 = 0x251E
inline constexpr std::uint16_t kHeaderUnknown56 = 0x251E;
inline constexpr int kHeaderOffTrailerTable = 0x600;  // 256 x u16

// TDEF page header of Jet 3: 02 01 'V' 'C' <next u32>.
inline constexpr std::uint8_t kTdefMagic0 = 'V', kTdefMagic1 = 'C';
inline constexpr int kTdefPageHeader = 8;
inline constexpr std::uint8_t kTableTypeUser = 0x4E;    // 'N'
inline constexpr std::uint8_t kTableTypeSystem = 0x53;  // 'S'

// Column descriptor flag 0x02 is set by Jet on every column; 0x10 on every
// column of a system table; 0x20 in addition on the SID/Owner columns.
inline constexpr std::uint8_t kColAlways = 0x02;
inline constexpr std::uint8_t kColSystem = 0x10;
inline constexpr std::uint8_t kColSid = 0x20;

// Logical-index cascade bytes Jet writes on indexes that are not foreign keys.
inline constexpr std::uint8_t kLogicalNoCascade = 0x04;

inline void put_u16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put_u24(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
}
inline void put_u32(std::uint8_t* p, std::uint32_t v) {
  put_u24(p, v);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void put_row_pointer(std::uint8_t* p, fmt::RowPointer rp) {
  p[0] = rp.row;
  put_u24(p + 1, rp.page);
}

// Appending stores for building structures byte by byte.
inline void append_u8(std::vector<std::uint8_t>& b, std::uint8_t v) { b.push_back(v); }
inline void append_u16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void append_u32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  append_u16(b, static_cast<std::uint16_t>(v));
  append_u16(b, static_cast<std::uint16_t>(v >> 16));
}
inline void append_row_pointer(std::vector<std::uint8_t>& b, fmt::RowPointer rp) {
  b.push_back(rp.row);
  b.push_back(static_cast<std::uint8_t>(rp.page));
  b.push_back(static_cast<std::uint8_t>(rp.page >> 8));
  b.push_back(static_cast<std::uint8_t>(rp.page >> 16));
}

}  // namespace mirutone::jet::jet3
