#include "i18n/messages.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/language.h"

namespace mirutone::i18n {

// The compiled catalogues, generated from po/*.po at build time.
extern const unsigned char kJapaneseCatalogue[];
extern const std::size_t kJapaneseCatalogueSize;

namespace {

std::atomic<Language> current{Language::English};

std::uint32_t word_at(std::string_view bytes, std::size_t offset, bool swap) {
  if (offset > bytes.size() || bytes.size() - offset < 4) throw std::runtime_error("catalogue cut short");
  std::uint32_t w;
  std::memcpy(&w, bytes.data() + offset, 4);
  return swap ? __builtin_bswap32(w) : w;
}

// Decodes one UTF-8 sequence at `i` (advancing it); a stray byte counts as
// one character of its own.
char32_t next_char(std::string_view s, std::size_t& i) {
  const auto b = static_cast<unsigned char>(s[i]);
  int len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xe ? 3 : (b >> 3) == 0x1e ? 4 : 1;
  if (i + len > s.size()) len = 1;
  char32_t c = len == 1 ? b : b & (0x7f >> len);
  for (int k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3f);
  i += len;
  return c;
}

bool wide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0x303e) || (c >= 0x3041 && c <= 0x33ff) ||
         (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) || (c >= 0xa000 && c <= 0xa4cf) ||
         (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) ||
         (c >= 0xff00 && c <= 0xff60) || (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x20000 && c <= 0x3fffd);
}

// Japanese punctuation that must not begin a line.
bool closing(char32_t c) { return c == U'、' || c == U'。' || c == U'）' || c == U'」' || c == U'ー'; }

}  // namespace

Language language_from_locale_name(std::string_view name) {
  return name.substr(0, 2) == "ja" ? Language::Japanese : Language::English;
}

Language language_from_environment() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return language_from_locale_name(value);
  }
  return language_from_locale_name(platform::user_interface_language());
}

void set_language(Language language) { current.store(language); }
Language language() { return current.load(); }

std::unordered_map<std::string, std::string> parse_mo(std::string_view bytes) {
  const std::uint32_t magic = word_at(bytes, 0, false);
  bool swap;
  if (magic == 0x950412de) {
    swap = false;
  } else if (magic == 0xde120495) {
    swap = true;
  } else {
    throw std::runtime_error("not a compiled message catalogue");
  }
  const std::uint32_t count = word_at(bytes, 8, swap);
  const std::uint32_t originals = word_at(bytes, 12, swap);
  const std::uint32_t translations = word_at(bytes, 16, swap);
  auto string_at = [&](std::uint32_t table, std::uint32_t i) {
    const std::size_t entry = table + std::size_t{8} * i;
    const std::uint32_t length = word_at(bytes, entry, swap);
    const std::uint32_t offset = word_at(bytes, entry + 4, swap);
    if (offset > bytes.size() || bytes.size() - offset < length) throw std::runtime_error("catalogue cut short");
    return std::string(bytes.substr(offset, length));
  };
  std::unordered_map<std::string, std::string> table;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string id = string_at(originals, i);
    if (id.empty()) continue;  // the header entry
    std::string text = string_at(translations, i);
    if (!text.empty()) table.emplace(std::move(id), std::move(text));
  }
  return table;
}

const std::unordered_map<std::string, std::string>& catalogue(Language language) {
  static const std::unordered_map<std::string, std::string> none;
  static const std::unordered_map<std::string, std::string> japanese = parse_mo(
      std::string_view(reinterpret_cast<const char*>(kJapaneseCatalogue), kJapaneseCatalogueSize));
  return language == Language::Japanese ? japanese : none;
}

std::string tr(std::string_view msgid) {
  const auto& table = catalogue(language());
  if (!table.empty()) {
    auto it = table.find(std::string(msgid));
    if (it != table.end()) return it->second;
  }
  return std::string(msgid);
}

std::string substitute(std::string_view pattern, const std::string* args, std::size_t count) {
  std::string out;
  out.reserve(pattern.size() + 32);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '{') {
      std::size_t j = i + 1;
      std::size_t n = 0;
      while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && j - i < 4) {
        n = n * 10 + static_cast<std::size_t>(pattern[j] - '0');
        ++j;
      }
      if (j < pattern.size() && pattern[j] == '}' && n >= 1 && n <= count) {
        out += args[n - 1];
        i = j;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

std::string to_text(long long n) {
  std::string digits = std::to_string(n < 0 ? -(n + 1) + 1ULL : static_cast<unsigned long long>(n));
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

std::size_t display_width(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) width += wide(next_char(text, i)) ? 2 : 1;
  return width;
}

std::string wrap(std::string_view text, std::size_t width, std::string_view indent) {
  // Pieces that may not be broken: a run of narrow characters up to a space,
  // or one wide character (with any closing punctuation after it).
  struct Piece {
    std::string text;
    bool space_before;
  };
  std::vector<Piece> pieces;
  bool space = false;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t start = i;
    char32_t c = next_char(text, i);
    if (c == U' ') {
      space = true;
      continue;
    }
    if (wide(c)) {
      std::size_t end = i;
      while (end < text.size()) {
        std::size_t k = end;
        if (!closing(next_char(text, k))) break;
        end = k;
      }
      pieces.push_back({std::string(text.substr(start, end - start)), space});
      i = end;
    } else if (closing(c) && !pieces.empty() && !space) {
      pieces.back().text += text.substr(start, i - start);
    } else {
      std::size_t end = i;
      while (end < text.size()) {
        std::size_t k = end;
        char32_t d = next_char(text, k);
        if (d == U' ' || wide(d)) break;
        end = k;
      }
      // A narrow word straight after a wide character joins nothing.
      pieces.push_back({std::string(text.substr(start, end - start)), space});
      i = end;
    }
    space = false;
  }
  std::string out;
  std::size_t column = 0;
  bool line_empty = true;
  for (const Piece& p : pieces) {
    const std::size_t w = display_width(p.text);
    const std::size_t gap = (!line_empty && p.space_before) ? 1 : 0;
    if (!line_empty && column + gap + w > width) {
      out += '\n';
      out += indent;
      column = 0;
      line_empty = true;
    } else if (gap) {
      out += ' ';
      column += 1;
    }
    out += p.text;
    column += w;
    line_empty = false;
  }
  return out;
}

std::string redraw_line(std::string_view line, std::size_t previous_width, bool escapes) {
  std::string out = escapes ? "\r\033[K" : "\r";
  out += line;
  const std::size_t width = display_width(line);
  if (!escapes && width < previous_width) out.append(previous_width - width, ' ');
  return out;
}

}  // namespace mirutone::i18n
