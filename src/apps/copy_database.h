// Copying every user table of a Jet 3 or Jet 4 database into a new Jet 3 one.
//
// Columns keep their names, Required and AllowZeroLength settings and
// autonumber flags, except that a text column holding zero-length values
// without AllowZeroLength gets it (a note says so); indexes keep their
// columns, order and uniqueness; rows keep every value, autonumber values
// included. Types Jet 3 does not have are
// mapped (see map_column). Whatever cannot be written ends the copy with an
// Error naming the table, the row number (1-based, storage order) and the
// column; the unfinished destination is then removed. The source is only read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/jet/api/error.h"
#include "db/jet/api/reader.h"
#include "db/jet/api/writer.h"

namespace mirutone::jet {

struct CopyOptions {
  Locale locale = Locale::japanese();
  int source_codepage = 0;  // decode Jet 3 source text in this code page (0 = as the header says)
};

struct CopiedTable {
  std::string name;
  std::uint64_t rows = 0;
  std::vector<std::string> notes;  // mapped types, indexes left out
};

struct CopyReport {
  std::vector<CopiedTable> tables;
};

// The Jet 3 column that holds a source column:
//   Decimal(p,s) -> Currency when s <= 4 and p - s <= 14 (every such value is
//                   exact in Currency), else Text(p + 3) holding the exact
//                   decimal string ("-123.45");
//   Jet 4 Text   -> Text of as many characters as the Jet 4 column (its stored
//                   size counts UCS-2 bytes, two per character);
//   GUID autonumber (Replication ID) -> plain GUID keeping the stored values.
// Everything else keeps its type and size.
ColumnDesign map_column(const ColumnInfo& c, Format source_format);

// Converts a source value for the column map_column chose. Throws Error when
// the value does not fit.
Value map_value(const Value& v, const ColumnInfo& source, const ColumnDesign& target);

// Throws Error 3204 when `dst` exists, other Errors as described above.
CopyReport copy_database(const std::string& src, const std::string& dst, const CopyOptions& opts);

}  // namespace mirutone::jet
