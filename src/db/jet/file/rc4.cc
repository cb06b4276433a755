#include "db/jet/file/rc4.h"

#include <utility>

namespace mirutone::jet {

Rc4::Rc4(const std::uint8_t* key, std::size_t key_len) {
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<std::uint8_t>(k);
  std::uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + s_[k] + key[k % key_len]);
    std::swap(s_[k], s_[j]);
  }
}

void Rc4::apply(std::uint8_t* data, std::size_t len) {
  for (std::size_t n = 0; n < len; ++n) {
    i_ = static_cast<std::uint8_t>(i_ + 1);
    j_ = static_cast<std::uint8_t>(j_ + s_[i_]);
    std::swap(s_[i_], s_[j_]);
    data[n] ^= s_[static_cast<std::uint8_t>(s_[i_] + s_[j_])];
  }
}

void rc4_apply(const std::uint8_t* key, std::size_t key_len, std::uint8_t* data, std::size_t len) {
  Rc4 cipher(key, key_len);
  cipher.apply(data, len);
}

}  // namespace mirutone::jet
