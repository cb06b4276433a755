#include "db/jet/tdef/properties.h"

#include <cstring>

#include "db/jet/text/codepage.h"
#include "db/jet/api/error.h"
#include "db/jet/format/format.h"

namespace mirutone::jet {

const Property* PropertyBlock::find(const std::string& prop) const {
  auto it = props.find(prop);
  return it == props.end() ? nullptr : &it->second;
}

std::optional<bool> PropertyBlock::flag(const std::string& prop) const {
  const Property* p = find(prop);
  if (!p) return std::nullopt;
  for (std::uint8_t b : p->value)
    if (b != 0) return true;
  return false;
}

std::optional<std::string> PropertyBlock::text(const std::string& prop, Format format,
                                               const CodePage& cp) const {
  const Property* p = find(prop);
  if (!p) return std::nullopt;
  std::string out;
  if (format == Format::Jet4)
    decode_jet4_text(p->value.data(), p->value.size(), out);
  else
    cp.decode(p->value.data(), p->value.size(), out);
  return out;
}

const PropertyBlock* Properties::column(const std::string& name) const {
  for (const PropertyBlock& b : columns)
    if (b.name == name) return &b;
  return nullptr;
}

Properties parse_properties(const Bytes& blob, Format format, const CodePage& cp,
                            const std::string& file, const std::string& what) {
  auto bad = [&](const std::string& m) -> CorruptError {
    return CorruptError(file, what + ": property blob " + m);
  };
  const auto& magic = format == Format::Jet3 ? fmt::kPropMagicJet3 : fmt::kPropMagicJet4;
  if (blob.size() < 4 || std::memcmp(blob.data(), magic.data(), 4) != 0)
    throw bad("does not start with the expected signature");
  auto decode = [&](const std::uint8_t* p, std::size_t n) {
    std::string s;
    if (format == Format::Jet4)
      decode_jet4_text(p, n, s);
    else
      cp.decode(p, n, s);
    return s;
  };

  Properties out;
  std::vector<std::string> names;
  const std::uint8_t* b = blob.data();
  std::size_t pos = 4;
  while (pos + 6 <= blob.size()) {
    std::uint32_t chunk_len = fmt::get_u32(b + pos);
    std::uint16_t chunk_type = fmt::get_u16(b + pos + 4);
    if (chunk_len < 6 || pos + chunk_len > blob.size())
      throw bad("chunk at byte " + std::to_string(pos) + " has an invalid length " +
                std::to_string(chunk_len));
    const std::size_t end = pos + chunk_len;
    std::size_t p = pos + 6;
    if (chunk_type == fmt::kPropChunkNames) {
      while (p + 2 <= end) {
        std::size_t n = fmt::get_u16(b + p);
        if (p + 2 + n > end) throw bad("name list entry runs past its chunk");
        names.push_back(decode(b + p + 2, n));
        p += 2 + n;
      }
    } else if (chunk_type == fmt::kPropChunkObject || chunk_type == fmt::kPropChunkColumn) {
      if (p + 6 > end) throw bad("block header runs past its chunk");
      std::uint32_t sub_len = fmt::get_u32(b + p);
      std::size_t name_len = fmt::get_u16(b + p + 4);
      if (sub_len < 6 || p + 6 + name_len > end || p + sub_len > end)
        throw bad("block header has invalid lengths");
      PropertyBlock block;
      block.name = decode(b + p + 6, name_len);
      p += sub_len;
      while (p + 8 <= end) {
        std::size_t entry_len = fmt::get_u16(b + p);
        if (entry_len < 8 || p + entry_len > end) throw bad("property entry has an invalid length");
        Property prop;
        prop.ddl = b[p + 2];
        prop.type = b[p + 3];
        std::size_t name_idx = fmt::get_u16(b + p + 4);
        std::size_t value_len = fmt::get_u16(b + p + 6);
        if (8 + value_len > entry_len) throw bad("property value runs past its entry");
        if (name_idx >= names.size())
          throw bad("property refers to name " + std::to_string(name_idx) + " of " +
                    std::to_string(names.size()));
        prop.value.assign(b + p + 8, b + p + 8 + value_len);
        block.props[names[name_idx]] = std::move(prop);
        p += entry_len;
      }
      if (chunk_type == fmt::kPropChunkObject && out.object.props.empty() && out.object.name.empty())
        out.object = std::move(block);
      else
        out.columns.push_back(std::move(block));
    }
    pos = end;
  }
  return out;
}

}  // namespace mirutone::jet
