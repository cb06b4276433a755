// Byte-level constants of the Jet 3 and Jet 4 file formats, in one place.
//
// Everything that depends on the format version lives in Layout; the reader
// and the writer pick kJet3 or kJet4 and never hard-code an offset elsewhere.
// Offsets are from the start of the page, or of the structure named in the
// field's comment. docs/format-reading.md explains the structures.
#pragma once

#include <array>
#include <cstdint>

#include "db/jet/reader.h"

namespace mirutone::jet::fmt {

// ---- Page types (byte 0 of every page) ------------------------------------
inline constexpr std::uint8_t kPageHeader = 0x00;
inline constexpr std::uint8_t kPageData = 0x01;       // also LVAL and map-holder pages
inline constexpr std::uint8_t kPageTdef = 0x02;
inline constexpr std::uint8_t kPageIndexNode = 0x03;
inline constexpr std::uint8_t kPageIndexLeaf = 0x04;
inline constexpr std::uint8_t kPageUsageBitmap = 0x05;

// Owner field of a long-value page: the ASCII text "LVAL".
inline constexpr std::array<std::uint8_t, 4> kLvalOwner = {'L', 'V', 'A', 'L'};

// ---- Header page (page 0) -------------------------------------------------
inline constexpr int kHeaderOffVersion = 0x14;     // u32: 0 Jet 3, 1 Jet 4, 2+ ACE
inline constexpr int kHeaderOffFormatId = 0x04;    // "Standard Jet DB\0"
inline constexpr int kHeaderMaskStart = 0x18;      // start of the RC4-masked region
inline constexpr int kHeaderOffCodePage = 0x3C;    // u16 (masked)
inline constexpr int kHeaderOffDbKey = 0x3E;       // u32 (masked); 0 = pages not encoded
inline constexpr int kHeaderOffPassword = 0x42;    // 20 (Jet 3) / 40 (Jet 4) bytes (masked)
// RC4 key that masks the header region: 0x6B39DAC7 stored little-endian.
inline constexpr std::array<std::uint8_t, 4> kHeaderMaskKey = {0xC7, 0xDA, 0x39, 0x6B};

// Hard-coded pages.
inline constexpr std::uint32_t kGlobalMapPage = 1;   // row 0: global free-page map
inline constexpr std::uint32_t kCatalogTdefPage = 2;  // MSysObjects

// ---- Row slots on data pages ----------------------------------------------
inline constexpr std::uint16_t kSlotOffsetMask = 0x1FFF;
inline constexpr std::uint16_t kSlotOverflow = 0x4000;  // the row is a 4-byte pointer elsewhere
inline constexpr std::uint16_t kSlotDeleted = 0x8000;   // deleted (0xC000), or an overflow target

// ---- Column descriptor flags ----------------------------------------------
inline constexpr std::uint8_t kColFixed = 0x01;
inline constexpr std::uint8_t kColAutoLong = 0x04;
inline constexpr std::uint8_t kColAutoGuid = 0x40;
inline constexpr std::uint8_t kColHyperlink = 0x80;
// Jet 4 extra flags (descriptor byte 16).
inline constexpr std::uint8_t kColExtraCompressedUnicode = 0x01;

// ---- Real-index flags -----------------------------------------------------
inline constexpr std::uint8_t kIdxUnique = 0x01;
inline constexpr std::uint8_t kIdxIgnoreNulls = 0x02;
inline constexpr std::uint8_t kIdxRequired = 0x08;

// Logical-index type byte.
inline constexpr std::uint8_t kIdxTypeNormal = 0;
inline constexpr std::uint8_t kIdxTypePrimary = 1;
inline constexpr std::uint8_t kIdxTypeForeign = 2;

// Real index: slots of (u16 column number, u8 order); unused slots carry 0xFFFF.
inline constexpr int kIndexColumnSlots = 10;
inline constexpr std::uint16_t kIndexSlotUnused = 0xFFFF;
inline constexpr std::uint8_t kIndexOrderAscending = 0x01;

// ---- Long values (12-byte reference in the row) ---------------------------
inline constexpr int kLongValueRefSize = 12;
inline constexpr std::uint8_t kLvInline = 0x80;
inline constexpr std::uint8_t kLvSingle = 0x40;
inline constexpr std::uint8_t kLvChain = 0x00;

// ---- Usage maps -----------------------------------------------------------
inline constexpr std::uint8_t kMapInline = 0x00;
inline constexpr std::uint8_t kMapReference = 0x01;
inline constexpr int kMapBitmapPageHeader = 4;  // type-0x05 page: bitmap starts at byte 4

// ---- Catalog (MSysObjects) ------------------------------------------------
inline constexpr std::uint32_t kObjectIdMask = 0x00FFFFFF;  // Id -> TDEF page
inline constexpr int kObjectTypeMask = 0x7F;
inline constexpr int kObjectTypeTable = 1;
inline constexpr int kObjectTypeQuery = 5;
inline constexpr std::uint32_t kObjectFlagsSystem = 0x80000002;
inline constexpr std::uint32_t kTablesContainerId = 0x0F000001;

// ---- Jet 4 text -----------------------------------------------------------
inline constexpr std::uint8_t kCompressedMarker0 = 0xFF;
inline constexpr std::uint8_t kCompressedMarker1 = 0xFE;

// ---- Property blobs (LvProp) ----------------------------------------------
inline constexpr std::array<std::uint8_t, 4> kPropMagicJet3 = {'K', 'K', 'D', 0};
inline constexpr std::array<std::uint8_t, 4> kPropMagicJet4 = {'M', 'R', '2', 0};
inline constexpr std::uint16_t kPropChunkNames = 0x0080;
inline constexpr std::uint16_t kPropChunkObject = 0x0000;
inline constexpr std::uint16_t kPropChunkColumn = 0x0001;

// ---- Date/Time -------------------------------------------------------------
// Day 0 is 1899-12-30; as days since 0000-03-01 in the proleptic Gregorian count.
inline constexpr int kEpochYear = 1899, kEpochMonth = 12, kEpochDay = 30;

// Per-version layout.
struct Layout {
  Format format;
  int page_size;

  // Header.
  int header_mask_len;      // bytes masked from kHeaderMaskStart
  int header_off_sort;      // sort order (LCID) in the masked region
  int header_password_len;

  // Data pages (also LVAL pages).
  int dp_off_free;
  int dp_off_owner;
  int dp_off_row_count;
  int dp_off_row_table;

  // TDEF page header and fixed part (offsets into the concatenated definition).
  int td_off_next;
  int td_off_len;
  int td_off_row_count;
  int td_off_autonumber;
  int td_off_table_type;
  int td_off_max_cols;
  int td_off_var_cols;
  int td_off_num_cols;
  int td_off_num_logical;
  int td_off_num_real;
  int td_off_owned_map;
  int td_off_free_map;
  int td_var_start;
  int td_continuation_header;  // bytes skipped at the start of each continuation page

  int real_index_stats_size;

  // Column descriptor.
  int col_desc_size;
  int col_off_type;
  int col_off_number;
  int col_off_var_index;
  int col_off_sort_order;   // text columns
  int col_off_codepage;     // Jet 3 only (-1 on Jet 4)
  int col_off_precision;    // Jet 4 only (-1 on Jet 3)
  int col_off_scale;
  int col_off_flags;
  int col_off_extra_flags;  // Jet 4 only
  int col_off_fixed_offset;
  int col_off_length;

  int name_len_size;        // 1: code-page bytes; 2: UCS-2 byte length

  // Real-index descriptor.
  int real_index_size;
  int ri_off_columns;
  int ri_off_map;
  int ri_off_root;
  int ri_off_flags;

  // Logical-index descriptor.
  int logical_index_size;
  int li_off_number;
  int li_off_real;
  int li_off_fk_table_type;
  int li_off_fk_index;
  int li_off_fk_table;
  int li_off_cascade_update;
  int li_off_cascade_delete;
  int li_off_type;

  // Rows.
  int row_count_size;       // column count at the row start and the nvar field
  int row_var_offset_size;  // 1 (+ jump table) on Jet 3, 2 on Jet 4

  // Long values: the largest chunk a single LVAL row carries.
  int lval_max_row;

  // Usage maps.
  int map_inline_bitmap;    // bytes in an inline map's bitmap
};

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

inline constexpr Layout kJet4 = {
    .format = Format::Jet4,
    .page_size = 4096,
    .header_mask_len = 128,
    .header_off_sort = 0x6E,
    .header_password_len = 40,
    .dp_off_free = 2,
    .dp_off_owner = 4,
    .dp_off_row_count = 12,
    .dp_off_row_table = 14,
    .td_off_next = 4,
    .td_off_len = 8,
    .td_off_row_count = 16,
    .td_off_autonumber = 20,
    .td_off_table_type = 40,
    .td_off_max_cols = 41,
    .td_off_var_cols = 43,
    .td_off_num_cols = 45,
    .td_off_num_logical = 47,
    .td_off_num_real = 51,
    .td_off_owned_map = 55,
    .td_off_free_map = 59,
    .td_var_start = 63,
    .td_continuation_header = 8,
    .real_index_stats_size = 12,
    .col_desc_size = 25,
    .col_off_type = 0,
    .col_off_number = 5,
    .col_off_var_index = 7,
    .col_off_sort_order = 11,
    .col_off_codepage = -1,
    .col_off_precision = 11,
    .col_off_scale = 12,
    .col_off_flags = 15,
    .col_off_extra_flags = 16,
    .col_off_fixed_offset = 21,
    .col_off_length = 23,
    .name_len_size = 2,
    .real_index_size = 52,
    .ri_off_columns = 4,
    .ri_off_map = 34,
    .ri_off_root = 38,
    .ri_off_flags = 46,
    .logical_index_size = 28,
    .li_off_number = 4,
    .li_off_real = 8,
    .li_off_fk_table_type = 12,
    .li_off_fk_index = 13,
    .li_off_fk_table = 17,
    .li_off_cascade_update = 21,
    .li_off_cascade_delete = 22,
    .li_off_type = 23,
    .row_count_size = 2,
    .row_var_offset_size = 2,
    .lval_max_row = 4076,
    .map_inline_bitmap = 64,
};

inline const Layout& layout(Format f) { return f == Format::Jet3 ? kJet3 : kJet4; }

// Little-endian reads from a byte pointer (callers check bounds first).
inline std::uint16_t get_u16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get_u24(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16);
}
inline std::uint32_t get_u32(const std::uint8_t* p) {
  return get_u24(p) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t get_u64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(get_u32(p)) |
         (static_cast<std::uint64_t>(get_u32(p + 4)) << 32);
}

// Row pointer: (page << 8) | row, stored little-endian.
struct RowPointer {
  std::uint32_t page = 0;
  std::uint8_t row = 0;
  bool operator==(const RowPointer&) const = default;
};
inline RowPointer get_row_pointer(const std::uint8_t* p) {
  return RowPointer{get_u24(p + 1), p[0]};
}

}  // namespace mirutone::jet::fmt
