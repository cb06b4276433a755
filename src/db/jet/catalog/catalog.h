// The system catalog: the rows of MSysObjects (TDEF page 2).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/jet/format/format.h"
#include "db/jet/api/value.h"

namespace mirutone::jet {

class PageSource;
class CodePage;

struct CatalogEntry {
  std::int32_t id = 0;
  std::int32_t parent_id = 0;
  std::string name;
  std::int32_t type = 0;      // raw; kind() masks it
  std::uint32_t flags = 0;
  std::optional<Bytes> lv_prop;  // property blob, when stored (tables and queries only)
  std::string lv_prop_error;     // why the blob could not be read, if it could not

  int kind() const { return type & fmt::kObjectTypeMask; }
  std::uint32_t tdef_page() const { return static_cast<std::uint32_t>(id) & fmt::kObjectIdMask; }
  // Jet's or Access's own object: a system flag, or an MSys name.
  bool system() const {
    return (flags & fmt::kObjectFlagsSystem) != 0 || name.rfind("MSys", 0) == 0;
  }
};

// Reads every MSysObjects row, in storage order. Throws CorruptError when the
// catalog table lacks one of the columns Id, ParentId, Name, Type, Flags.
std::vector<CatalogEntry> read_catalog(const PageSource& src, const fmt::Layout& lay,
                                       const CodePage& text);

}  // namespace mirutone::jet
