// Property blobs (MSysObjects.LvProp): "KKD\0" (Jet 3) or "MR2\0" (Jet 4),
// then chunks: the list of property names, a block for the object itself and
// one block per column.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "db/jet/api/reader.h"
#include "db/jet/api/value.h"

namespace mirutone::jet {

class CodePage;

struct Property {
  std::uint8_t type = 0;      // column type code of the value
  std::uint8_t ddl = 0;       // DDL flag
  Bytes value;                // as stored
};

struct PropertyBlock {
  std::string name;  // column name; empty for the object's own block
  std::map<std::string, Property> props;

  const Property* find(const std::string& prop) const;
  // A Boolean (or numeric) property as a truth value; nullopt when absent.
  std::optional<bool> flag(const std::string& prop) const;
  // A Text/Memo property decoded to UTF-8; nullopt when absent.
  std::optional<std::string> text(const std::string& prop, Format format,
                                  const CodePage& cp) const;
};

struct Properties {
  PropertyBlock object;
  std::vector<PropertyBlock> columns;
  const PropertyBlock* column(const std::string& name) const;
};

// Parses a blob. Throws CorruptError naming `file` and `what` (the object)
// when a chunk does not fit.
Properties parse_properties(const Bytes& blob, Format format, const CodePage& cp,
                            const std::string& file, const std::string& what);

// Name of the property in which our writer keeps a query's SQL text exactly as
// it was given. Jet itself stores no text (it rebuilds it from MSysQueries),
// and "SQL" is the name of DAO's built-in QueryDef property, so the stored one
// carries a name no part of Jet, DAO or Access uses.
inline constexpr const char* kQueryTextProperty = "MirutoneQueryText";
// The name files from our earlier versions used; read, never written.
inline constexpr const char* kQuerySqlPropertyBefore = "SQL";

}  // namespace mirutone::jet
