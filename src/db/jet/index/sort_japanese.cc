// Japanese sort order (0x0411): the Windows sort key of a text, built from the
// frozen weight table in sort_japanese_weights.inc.
//
// Every character has four weights: script member (SM), alphabetic weight
// (AW), diacritic weight (DW) and case weight (CW). The key is
//
//   primary  01  diacritic  01  case  01  [kana extras]  01  special  00
//
// primary    (SM, AW) per character
// diacritic  DW per character, trailing values <= 2 dropped
// case       CW masked by the ignore flags, trailing values <= 2 dropped
// kana extras four groups (small kana, kana kind, kana type, width), one
//            value per kana, each with its trailing defaults dropped and
//            closed by ff / 02 / ff / ff; present only when the text has kana
// special    4 bytes per apostrophe or hyphen ("word sort"): a 16-bit
//            position -(primary weights so far) - 1, AW, CW | DW << 3
//
// Flags: NORM_IGNORECASE | NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH, which leave
// only the small-kana bits of the case weight.
#include "db/jet/index/sort_japanese.h"

#include "platform/sort_key.h"

#include <algorithm>
#include <cstdio>

namespace mirutone::jet {
namespace {

struct WeightEntry {
  char16_t code;
  std::uint32_t weight;
};

constexpr WeightEntry kWeights[] = {
#include "db/jet/index/sort_japanese_weights.inc"
};

struct Weights {
  std::uint8_t aw, sm, dw, cw;
};

// Script members with their own rules.
constexpr std::uint8_t kSmUnsortable = 0;
constexpr std::uint8_t kSmNonspaceMark = 1;
constexpr std::uint8_t kSmFarEastSpecial = 3;
constexpr std::uint8_t kSmPunctuation = 6;
constexpr std::uint8_t kSmKana = 0x22;

// Case weight bits.
constexpr std::uint8_t kCaseFullWidth = 0x01;
constexpr std::uint8_t kCaseFullSize = 0x02;
constexpr std::uint8_t kCaseKatakana = 0x20;
// What the ignore flags leave of a case weight: only the small-kana bits.
constexpr std::uint8_t kCaseMask = 0x3F & ~0x18 & ~kCaseKatakana & ~kCaseFullWidth;

constexpr std::uint8_t kExtraBase = 0xC4;
// Value of each kana extra group that carries no information (dropped at the end).
constexpr std::uint8_t kExtraDefault[4] = {kExtraBase | kCaseFullSize, 0x03,
                                           kExtraBase | kCaseKatakana,
                                           kExtraBase | kCaseFullWidth};
constexpr std::uint8_t kExtraClose[4] = {0xFF, 0x02, 0xFF, 0xFF};
// Kana kind: plain kana, repeat mark (AW 0), prolonged sound mark (AW 1).
constexpr std::uint8_t kKindKana = 3;
constexpr std::uint8_t kKindBase = 4;
// The prolonged sound mark takes the vowel of the kana before it.
constexpr std::uint8_t kVowelMask = 0x87;

// Control characters, which the generated table leaves out. Their weights,
// from the same source (identical in the default table and in the ja-JP
// page that replaces U+0000..U+00FF): U+0000 has none and is ignored; TAB,
// LF, VT, FF and CR are symbols (script member 7, AW 05..09) like the space;
// the other C0 controls and DEL are punctuation (script member 6, AW 03..1D
// in code order), which word sort keys in the special weights, as it does
// the apostrophe and the hyphen.
bool control_weights(char32_t c, Weights& w) {
  if (c == 0) {
    w = {0, 0, 0, 0};
  } else if (c >= 0x09 && c <= 0x0D) {
    w = {static_cast<std::uint8_t>(c - 0x09 + 0x05), 7, 2, 2};
  } else if (c < 0x09) {
    w = {static_cast<std::uint8_t>(c - 0x01 + 0x03), kSmPunctuation, 2, 2};
  } else if (c < 0x20) {
    w = {static_cast<std::uint8_t>(c - 0x0E + 0x0B), kSmPunctuation, 2, 2};
  } else if (c == 0x7F) {
    w = {0x1D, kSmPunctuation, 2, 2};
  } else {
    return false;
  }
  return true;
}

Weights weights_of(char32_t c) {
  if (Weights w; control_weights(c, w)) return w;
  auto it = std::lower_bound(std::begin(kWeights), std::end(kWeights), c,
                             [](const WeightEntry& e, char32_t v) { return e.code < v; });
  if (it != std::end(kWeights) && it->code == c)
    return {static_cast<std::uint8_t>(it->weight), static_cast<std::uint8_t>(it->weight >> 8),
            static_cast<std::uint8_t>(it->weight >> 16),
            static_cast<std::uint8_t>(it->weight >> 24)};
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  throw Error(0, "", std::string("index key: character ") + buf +
                         " has no weight in the Japanese sort order table");
}

void trim_low(Bytes& b) {
  while (!b.empty() && b.back() <= 2) b.pop_back();
}

}  // namespace

void JapaneseTextKeys::append_key(std::string_view utf8, Bytes& out) const {
  // A key is built for every row written, so the working buffers are kept
  // from one call to the next instead of being allocated each time.
  struct Scratch {
    std::vector<Weights> w;
    Bytes primary, diacritic, case_w, special, extra[4];
  };
  thread_local Scratch scratch;
  std::vector<Weights>& w = scratch.w;
  Bytes &primary = scratch.primary, &diacritic = scratch.diacritic, &case_w = scratch.case_w,
        &special = scratch.special;
  Bytes(&extra)[4] = scratch.extra;
  w.clear();
  primary.clear();
  diacritic.clear();
  case_w.clear();
  special.clear();
  for (Bytes& e : extra) e.clear();

  // Trailing spaces are dropped as Jet 3 does for General keys (assumed to be
  // Jet's rule rather than the sort order's; see docs/text-index-keys.md).
  std::string_view text = utf8;
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      w.push_back(weights_of(static_cast<char32_t>(b)));
      ++i;
      continue;
    }
    // The rest, a character at a time, through the shared UTF-8 reader.
    std::size_t end = i + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    for (char32_t c : decode_utf8(text.substr(i, end - i))) w.push_back(weights_of(c));
    i = end;
  }
  auto normal = [&](std::uint8_t sm, std::uint8_t aw, std::uint8_t dw, std::uint8_t cw) {
    primary.push_back(sm);
    primary.push_back(aw);
    diacritic.push_back(dw);
    case_w.push_back(cw);
  };

  for (std::size_t i = 0; i < w.size(); ++i) {
    Weights c = w[i];
    c.cw &= kCaseMask;
    switch (c.sm) {
      case kSmUnsortable:
        break;
      case kSmNonspaceMark:
        if (diacritic.empty())
          diacritic.push_back(c.dw);
        else
          diacritic.back() = static_cast<std::uint8_t>(diacritic.back() + c.dw);
        break;
      case kSmPunctuation: {
        const auto pos = static_cast<std::uint16_t>(-static_cast<int>(primary.size() / 2) - 1);
        special.push_back(static_cast<std::uint8_t>(pos >> 8));
        special.push_back(static_cast<std::uint8_t>(pos));
        special.push_back(c.aw);
        special.push_back(static_cast<std::uint8_t>(c.cw | (c.dw << 3)));
        break;
      }
      case kSmFarEastSpecial: {
        std::uint8_t case_weight = c.cw, kind = kKindKana;
        bool placed = c.aw > 1;
        if (!placed) {
          // Repeat or prolonged sound mark: borrow from the character before.
          for (std::size_t j = i; j-- > 0;) {
            Weights p = w[j];
            if (p.sm == kSmUnsortable || p.sm == kSmNonspaceMark) continue;
            if (p.sm != kSmFarEastSpecial) {
              // After a non-kana the mark repeats that character.
              normal(p.sm, p.aw, p.dw, 2);
              placed = true;
              c.sm = 0;
              break;
            }
            if (p.aw <= 1) continue;
            case_weight = p.cw & kCaseMask;
            if (c.aw == 1) {
              p.aw &= kVowelMask;
              case_weight = static_cast<std::uint8_t>((case_weight & ~kCaseFullWidth) |
                                                      (c.cw & kCaseFullWidth));
            }
            kind = static_cast<std::uint8_t>(kKindBase + c.aw);
            c.aw = p.aw;
            placed = true;
            break;
          }
          if (!placed) {
            primary.push_back(0xFF);
            primary.push_back(0xFF);
            break;
          }
          if (c.sm == 0) break;  // repeated a non-kana above
        }
        extra[0].push_back(kExtraBase | (case_weight & kCaseFullSize));
        extra[1].push_back(kind);
        extra[2].push_back(kExtraBase | (case_weight & kCaseKatakana));
        extra[3].push_back(kExtraBase | (case_weight & kCaseFullWidth));
        normal(kSmKana, c.aw, c.dw, 2);
        break;
      }
      default:
        normal(c.sm, c.aw, c.dw, c.cw);
        break;
    }
  }

  trim_low(diacritic);
  trim_low(case_w);
  out.insert(out.end(), primary.begin(), primary.end());
  out.push_back(0x01);
  out.insert(out.end(), diacritic.begin(), diacritic.end());
  out.push_back(0x01);
  out.insert(out.end(), case_w.begin(), case_w.end());
  out.push_back(0x01);
  if (!extra[2].empty()) {
    for (int g = 0; g < 4; ++g) {
      while (!extra[g].empty() && extra[g].back() == kExtraDefault[g]) extra[g].pop_back();
      out.insert(out.end(), extra[g].begin(), extra[g].end());
      out.push_back(kExtraClose[g]);
    }
  }
  out.push_back(0x01);
  out.insert(out.end(), special.begin(), special.end());
  out.push_back(0x00);
}

SystemJapaneseTextKeys::SystemJapaneseTextKeys() {
  if (!platform::system_sort_keys_available())
    throw Error(0, "", "this system has no sort keys of its own; use the built-in Japanese keys");
}

void SystemJapaneseTextKeys::append_key(std::string_view utf8, Bytes& out) const {
  // Trailing spaces are dropped as for the built-in keys.
  while (!utf8.empty() && utf8.back() == ' ') utf8.remove_suffix(1);
  if (!platform::system_sort_key(fmt::kSortJapanese,
                                 platform::kIgnoreCase | platform::kIgnoreKanaType | platform::kIgnoreWidth,
                                 utf8, out))
    throw Error(0, "", "index key: the system gave no Japanese sort key for '" + std::string(utf8) + "'");
}

}  // namespace mirutone::jet
