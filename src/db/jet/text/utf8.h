// The one UTF-8 decoder of the engine. Text is UTF-8 everywhere above the
// file's own encodings; both functions refuse overlong forms, surrogates and
// code points past U+10FFFF.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace mirutone::jet {

// Decodes the character at s[i] and moves i past it; -1 (and i unchanged) when
// the bytes there are not valid UTF-8.
long next_utf8(std::string_view s, std::size_t& i);

// Decodes UTF-8 into code points; throws Error on malformed input.
std::vector<char32_t> decode_utf8(std::string_view utf8);

}  // namespace mirutone::jet
