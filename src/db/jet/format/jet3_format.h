// Jet 3: the values of Layout and IndexPageLayout for the format, and the
// facts only the writing side needs (it writes Jet 3 alone): the fixed page
// plan of a new database, the values Jet puts into fields nobody documents,
// the row and long-value limits, and little-endian stores.
#pragma once

#include <cstdint>
#include <vector>

#include "db/jet/format/format_common.h"

namespace mirutone::jet::fmt {

inline constexpr Layout kJet3 = {
    .format = Format::Jet3,
    .page_size = 2048,
    .header_mask_len = 126,
    .header_off_sort = 0x3A,
    .header_password_len = 20,
    .dp_off_free = 2,
    .dp_off_owner = 4,
    .dp_off_row_count = 8,
    .dp_off_row_table = 10,
    .td_off_next = 4,
    .td_off_len = 8,
    .td_off_row_count = 12,
    .td_off_autonumber = 16,
    .td_off_table_type = 20,
    .td_off_max_cols = 21,
    .td_off_var_cols = 23,
    .td_off_num_cols = 25,
    .td_off_num_logical = 27,
    .td_off_num_real = 31,
    .td_off_owned_map = 35,
    .td_off_free_map = 39,
    .td_var_start = 43,
    .td_continuation_header = 8,
    .real_index_stats_size = 8,
    .col_desc_size = 18,
    .col_off_type = 0,
    .col_off_number = 1,
    .col_off_var_index = 3,
    .col_off_sort_order = 9,
    .col_off_codepage = 11,
    .col_off_unknown5 = 5,
    .col_off_unknown7 = 7,
    .col_off_precision = -1,
    .col_off_scale = -1,
    .col_off_flags = 13,
    .col_off_extra_flags = -1,
    .col_off_fixed_offset = 14,
    .col_off_length = 16,
    .name_len_size = 1,
    .real_index_size = 39,
    .ri_off_columns = 0,
    .ri_off_map = 30,
    .ri_off_root = 34,
    .ri_off_flags = 38,
    .logical_index_size = 20,
    .li_off_number = 0,
    .li_off_real = 4,
    .li_off_fk_table_type = 8,
    .li_off_fk_index = 9,
    .li_off_fk_table = 13,
    .li_off_cascade_update = 17,
    .li_off_cascade_delete = 18,
    .li_off_type = 19,
    .row_count_size = 1,
    .row_var_offset_size = 1,
    .lval_max_row = 2032,
    .map_inline_bitmap = 128,
};

inline constexpr IndexPageLayout kJet3Index = {
    .page_size = 2048,
    .off_free = 2,
    .off_tdef = 4,
    .off_prev = 8,
    .off_next = 12,
    .off_tail = 16,
    .off_prefix = 20,
    .prefix_size = 1,
    .off_level = 21,
    .off_mask = 22,
    .off_entries = 0xF8,
};

}  // namespace mirutone::jet::fmt

namespace mirutone::jet::jet3 {


inline constexpr int kPageSize = fmt::kJet3.page_size;
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
inline constexpr int kIndexEntryStart = fmt::kJet3Index.off_entries;
inline constexpr int kIndexPageCapacity = kPageSize - kIndexEntryStart;  // 1800

// Header: pages the four system tables' definitions sit on; fields of unknown
// meaning hold what Access-made files hold.
inline constexpr std::uint32_t kTdefMSysObjects = fmt::kCatalogTdefPage;
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

// ---- Rows and long values (docs/format-rows.md gives the evidence) ---------

// Row-offset slots are two bytes each; a row costs its length plus its slot.
inline constexpr int kRowSlotSize = 2;

// Variable-column offsets are one byte; every 256 bytes of row need a jump
// entry, and a jump byte of 0xFF that names no column is padding.
inline constexpr int kJumpStride = 256;
inline constexpr std::uint8_t kJumpPad = 0xFF;

// Memo/OLE: the largest value Jet keeps inside the row (33 bytes and up
// always went to an LVAL page); the reference is fmt::kLongValueRefSize.
inline constexpr int kLongValueInlineMax = 32;
// Owner field of an LVAL page, "LVAL" read as a little-endian u32.
inline constexpr std::uint32_t kLvalOwner =
    fmt::kLvalOwner[0] | (fmt::kLvalOwner[1] << 8) | (fmt::kLvalOwner[2] << 16) |
    (static_cast<std::uint32_t>(fmt::kLvalOwner[3]) << 24);
// A chained long value: each row is a 4-byte pointer to the next row, then
// up to 2032 bytes of data, so one link fills an empty page exactly.
inline constexpr int kLongValueNextSize = 4;
inline constexpr int kLongValueChunk = fmt::kJet3.lval_max_row;
// The largest value stored as a single LVAL row (a row of its own length).
inline constexpr int kLongValueSingleMax = fmt::kJet3.lval_max_row;
// Lengths are 24 bits in the reference.
inline constexpr std::uint32_t kLongValueMaxLength = 0xFFFFFF;

// ---- Little-endian stores, to go with the loads in format_common.h -------

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
