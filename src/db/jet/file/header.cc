#include "db/jet/file/header.h"

#include <cstring>

#include "db/jet/api/error.h"
#include "db/jet/format/format.h"
#include "db/jet/file/rc4.h"

namespace mirutone::jet {

void mask_header(Format format, std::uint8_t* page0, std::size_t len) {
  const fmt::Layout& lay = fmt::layout(format);
  if (len < static_cast<std::size_t>(fmt::kHeaderMaskStart + lay.header_mask_len)) return;
  rc4_apply(fmt::kHeaderMaskKey.data(), fmt::kHeaderMaskKey.size(), page0 + fmt::kHeaderMaskStart,
            static_cast<std::size_t>(lay.header_mask_len));
}

Header parse_header(const std::string& file, const std::uint8_t* data, std::size_t len) {
  if (len < 2048) throw CorruptError(file, "not a Jet database: file is shorter than one page");
  if (data[0] != fmt::kPageHeader || data[1] != 0x01)
    throw CorruptError(file, "not a Jet database: page 0 is not a header page");
  const char* id = reinterpret_cast<const char*>(data + fmt::kHeaderOffFormatId);
  // A workgroup information file (system.mdw) is a Jet database of the same
  // format under its own signature, padded with spaces.
  const bool workgroup = std::memcmp(id, "Jet System DB  ", 16) == 0;
  if (!workgroup && std::memcmp(id, "Standard Jet DB", 16) != 0) {
    if (std::memcmp(id, "Standard ACE DB", 16) == 0)
      throw Error(error_numbers::kCannotOpenDatabase, file, "Access 2007 or later (ACE) databases are not supported");
    throw CorruptError(file, "not a Jet database: no \"Standard Jet DB\" signature");
  }
  Header h;
  h.workgroup = workgroup;
  h.version = fmt::get_u32(data + fmt::kHeaderOffVersion);
  if (h.version == 0)
    h.format = Format::Jet3;
  else if (h.version == 1)
    h.format = Format::Jet4;
  else
    throw Error(error_numbers::kCannotOpenDatabase, file,
                "unsupported Jet version " + std::to_string(h.version) + " (only Jet 3 and Jet 4)");

  std::vector<std::uint8_t> plain(data, data + 2048);
  mask_header(h.format, plain.data(), plain.size());
  const fmt::Layout& lay = fmt::layout(h.format);
  h.codepage = fmt::get_u16(plain.data() + fmt::kHeaderOffCodePage);
  h.sort_order = fmt::get_u16(plain.data() + lay.header_off_sort);
  h.db_key = fmt::get_u32(plain.data() + fmt::kHeaderOffDbKey);
  return h;
}

}  // namespace mirutone::jet
