#include "db/jet/file/header_builder.h"

#include <cstring>

#include "db/jet/format/format.h"
#include "db/jet/format/jet3_format.h"
#include "db/jet/file/rc4.h"

namespace mirutone::jet {

std::vector<std::uint8_t> build_header_page(std::uint16_t sort_order, std::uint16_t codepage) {
  std::vector<std::uint8_t> page(jet3::kPageSize, 0);
  std::uint8_t* p = page.data();
  p[0] = fmt::kPageHeader;
  p[1] = 0x01;
  std::memcpy(p + fmt::kHeaderOffFormatId, "Standard Jet DB", 16);
  jet3::put_u32(p + fmt::kHeaderOffVersion, 0);

  // Row pointers of page 1 rows 0 and 1, then the system table definitions.
  jet3::put_u32(p + 0x18, (fmt::kGlobalMapPage << 8) | 0);
  jet3::put_u32(p + 0x1C, (fmt::kGlobalMapPage << 8) | 1);
  jet3::put_u32(p + 0x20, jet3::kTdefMSysObjects);
  jet3::put_u32(p + 0x24, jet3::kTdefMSysACEs);
  jet3::put_u32(p + 0x28, jet3::kTdefMSysQueries);
  jet3::put_u32(p + 0x2C, jet3::kTdefMSysRelationships);
  jet3::put_u16(p + jet3::kHeaderOffUnknown38, 1);
  jet3::put_u16(p + fmt::kJet3.header_off_sort, sort_order);
  jet3::put_u16(p + fmt::kHeaderOffCodePage, codepage);
  jet3::put_u32(p + fmt::kHeaderOffDbKey, 0);
  jet3::put_u16(p + jet3::kHeaderOffUnknown56, jet3::kHeaderUnknown56);

  // 256 two-byte entries: 01 01, then 00 01 (a freshly made file).
  for (int i = 0; i < 256; ++i) {
    p[jet3::kHeaderOffTrailerTable + 2 * i] = i == 0 ? 0x01 : 0x00;
    p[jet3::kHeaderOffTrailerTable + 2 * i + 1] = 0x01;
  }

  rc4_apply(fmt::kHeaderMaskKey.data(), fmt::kHeaderMaskKey.size(), p + fmt::kHeaderMaskStart,
            static_cast<std::size_t>(fmt::kJet3.header_mask_len));
  return page;
}

}  // namespace mirutone::jet
