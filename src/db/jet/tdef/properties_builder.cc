#include "db/jet/tdef/properties_builder.h"

#include <algorithm>

#include "db/jet/api/error.h"
#include "db/jet/format/format.h"
#include "db/jet/format/jet3_format.h"

namespace mirutone::jet {

namespace {

constexpr int kChunkHead = 6;  // u32 length, u16 type

void append_chunk(std::vector<std::uint8_t>& out, std::uint16_t type, const std::vector<std::uint8_t>& body) {
  jet3::append_u32(out, static_cast<std::uint32_t>(body.size() + kChunkHead));
  jet3::append_u16(out, type);
  out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

NewProperty boolean_property(const std::string& name, bool on) {
  return NewProperty{name, ColumnType::Boolean, {static_cast<std::uint8_t>(on ? 1 : 0)}, true};
}

std::vector<std::uint8_t> build_property_blob(const std::vector<NewPropertyBlock>& blocks) {
  std::vector<std::string> names;
  auto name_number = [&](const std::string& n) {
    auto it = std::find(names.begin(), names.end(), n);
    if (it != names.end()) return static_cast<std::uint16_t>(it - names.begin());
    names.push_back(n);
    return static_cast<std::uint16_t>(names.size() - 1);
  };

  std::vector<std::vector<std::uint8_t>> bodies;
  std::vector<std::uint16_t> types;
  for (const auto& block : blocks) {
    if (block.values.empty()) continue;
    std::vector<std::uint8_t> body;
    jet3::append_u32(body, static_cast<std::uint32_t>(6 + block.name.size()));
    jet3::append_u16(body, static_cast<std::uint16_t>(block.name.size()));
    body.insert(body.end(), block.name.begin(), block.name.end());
    for (const auto& v : block.values) {
      if (v.value.size() > 0xFFFF - 8) throw Error(0, "", "property " + v.name + " is too long");
      jet3::append_u16(body, static_cast<std::uint16_t>(8 + v.value.size()));
      jet3::append_u8(body, v.ddl ? 1 : 0);
      jet3::append_u8(body, static_cast<std::uint8_t>(v.type));
      jet3::append_u16(body, name_number(v.name));
      jet3::append_u16(body, static_cast<std::uint16_t>(v.value.size()));
      body.insert(body.end(), v.value.begin(), v.value.end());
    }
    bodies.push_back(std::move(body));
    types.push_back(block.column ? fmt::kPropChunkColumn : fmt::kPropChunkObject);
  }
  if (bodies.empty()) return {};

  std::vector<std::uint8_t> out(fmt::kPropMagicJet3.begin(), fmt::kPropMagicJet3.end());
  std::vector<std::uint8_t> name_list;
  for (const auto& n : names) {
    jet3::append_u16(name_list, static_cast<std::uint16_t>(n.size()));
    name_list.insert(name_list.end(), n.begin(), n.end());
  }
  append_chunk(out, fmt::kPropChunkNames, name_list);
  for (std::size_t i = 0; i < bodies.size(); ++i) append_chunk(out, types[i], bodies[i]);
  return out;
}

}  // namespace mirutone::jet
