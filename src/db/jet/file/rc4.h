// RC4 stream cipher, used by Jet to mask the header and to encode pages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace mirutone::jet {

class Rc4 {
 public:
  Rc4(const std::uint8_t* key, std::size_t key_len);
  // XORs `len` bytes at `data` with the next bytes of the key stream.
  void apply(std::uint8_t* data, std::size_t len);

 private:
  std::array<std::uint8_t, 256> s_{};
  std::uint8_t i_ = 0, j_ = 0;
};

// One-shot: XOR `data` with the key stream of a fresh cipher keyed with `key`.
void rc4_apply(const std::uint8_t* key, std::size_t key_len, std::uint8_t* data, std::size_t len);

}  // namespace mirutone::jet
