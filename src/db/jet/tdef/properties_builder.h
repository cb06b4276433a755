// Property blobs (MSysObjects.LvProp) for new objects, in the Jet 3 form:
//
//   "KKD\0"
//   chunk: u32 length (with this 6-byte head), u16 type, body
//     type 0x0080: the property names, each u16 length + code-page bytes
//     type 0x0000: the object itself; 0x0001: one column. Body: u32 (6 +
//       name length), u16 name length, name, then entries of
//       u16 entry length, u8 DDL flag, u8 value type, u16 name number,
//       u16 value length, value
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/jet/api/value.h"

namespace mirutone::jet {

struct NewProperty {
  std::string name;        // code-page bytes
  ColumnType type = ColumnType::Boolean;
  std::vector<std::uint8_t> value;  // as stored (Boolean: one byte 0/1)
  bool ddl = true;         // engine-defined property (Required, AllowZeroLength, ...)
};

struct NewPropertyBlock {
  std::string name;  // empty for the object itself, else the column name (code-page bytes)
  bool column = false;
  std::vector<NewProperty> values;
};

// The blob for `blocks`; the name list holds each property name once, in
// order of first use. Empty blocks are left out; no blocks at all give an
// empty vector (store Null instead).
std::vector<std::uint8_t> build_property_blob(const std::vector<NewPropertyBlock>& blocks);

NewProperty boolean_property(const std::string& name, bool on);

}  // namespace mirutone::jet
