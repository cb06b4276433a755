// Constants that Jet 3 and Jet 4 files share, and the shape of what differs
// between them (Layout, IndexPageLayout). The values that differ live in
// jet3_format.h and jet4_format.h; format.h brings the three together.
// Offsets are from the start of the page, or of the structure named in the
// field's comment. docs/format-reading.md explains the structures.
#pragma once

#include <array>
#include <cstdint>

#include "db/jet/api/reader.h"

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
inline constexpr std::uint32_t kObjectFlagsSystem = 0x80000002;  // either bit marks a system object
// Ids of the objects every new database holds.
inline constexpr std::int32_t kRootContainerId = 0x0F000000;
inline constexpr std::int32_t kTablesId = 0x0F000001;
inline constexpr std::int32_t kDatabasesId = 0x0F000002;
inline constexpr std::int32_t kRelationshipsId = 0x0F000003;
inline constexpr std::int32_t kMSysDbId = 0x10000000;
// Ids handed to objects that own no TDEF page (queries), counting up.
inline constexpr std::int32_t kFirstSyntheticId = static_cast<std::int32_t>(0x80000000u);
// Object types (MSysObjects.Type, low 7 bits).
inline constexpr std::int16_t kObjectTypeTable = 1;
inline constexpr std::int16_t kObjectTypeDatabase = 2;
inline constexpr std::int16_t kObjectTypeContainer = 3;
inline constexpr std::int16_t kObjectTypeQuery = 5;
// MSysObjects.Flags of the system objects a new database holds.
inline constexpr std::int32_t kFlagsSystemObject = static_cast<std::int32_t>(0x80000000u);

// ---- Sort orders (LCIDs) as stored in the header and column descriptors ----
inline constexpr int kSortGeneral = 0x0409;
inline constexpr int kSortJapanese = 0x0411;

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
  int col_off_unknown5;     // Jet 3 only: two u16 of unknown meaning
  int col_off_unknown7;
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

// Index pages (types 0x03 and 0x04): header offsets and where entries start.
struct IndexPageLayout {
  int page_size;
  int off_free;
  int off_tdef;
  int off_prev;
  int off_next;
  int off_tail;
  int off_prefix;
  int prefix_size;     // 1 on Jet 3, 2 on Jet 4
  int off_level;       // height above the leaves: 0 on leaves, 1 on the nodes above them, ...
  int off_mask;
  int off_entries;

  // Bytes available for entries on one page.
  int capacity() const { return page_size - off_entries; }
};

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
