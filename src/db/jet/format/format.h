// The file format in one include: what both versions share
// (format_common.h), and each version's values (jet3_format.h,
// jet4_format.h), picked by the version a file declares.
#pragma once

#include "db/jet/format/format_common.h"
#include "db/jet/format/jet3_format.h"
#include "db/jet/format/jet4_format.h"

namespace mirutone::jet::fmt {

inline const Layout& layout(Format f) { return f == Format::Jet3 ? kJet3 : kJet4; }
inline const IndexPageLayout& index_page_layout(Format f) { return f == Format::Jet3 ? kJet3Index : kJet4Index; }

}  // namespace mirutone::jet::fmt
