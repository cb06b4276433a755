#include "db/select_sql.h"

#include <cctype>

#include "db/errors.h"

namespace mirutone::db {
namespace {

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  void skip_space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
  }
  bool at_end() {
    skip_space();
    return i_ >= s_.size();
  }
  bool peek_char(char c) {
    skip_space();
    return i_ < s_.size() && s_[i_] == c;
  }
  void take_char(char c) {
    if (!peek_char(c)) fail(std::string("expected '") + c + "'");
    ++i_;
  }
  // A keyword must stand alone: not followed by a name character.
  bool take_keyword(std::string_view kw) {
    skip_space();
    if (s_.size() - i_ < kw.size()) return false;
    for (size_t k = 0; k < kw.size(); ++k) {
      if (std::toupper(static_cast<unsigned char>(s_[i_ + k])) != kw[k]) return false;
    }
    size_t end = i_ + kw.size();
    if (end < s_.size() && is_name_char(static_cast<unsigned char>(s_[end]))) return false;
    i_ = end;
    return true;
  }
  void expect_keyword(std::string_view kw) {
    if (!take_keyword(kw)) fail("expected " + std::string(kw));
  }
  // A name: [bracketed] or a run of name characters (any non-ASCII byte counts,
  // so Japanese names need no brackets).
  std::string name() {
    skip_space();
    if (i_ < s_.size() && s_[i_] == '[') {
      size_t close = s_.find(']', i_ + 1);
      if (close == std::string_view::npos) fail("unclosed '['");
      std::string n(s_.substr(i_ + 1, close - i_ - 1));
      if (n.empty()) fail("empty name");
      i_ = close + 1;
      return n;
    }
    size_t b = i_;
    while (i_ < s_.size() && is_name_char(static_cast<unsigned char>(s_[i_]))) ++i_;
    if (b == i_) fail("expected a name");
    return std::string(s_.substr(b, i_ - b));
  }
  [[noreturn]] void fail(const std::string& why) {
    throw Error(jet_errors::kSyntaxError,
                "Syntax error in \"" + std::string(s_) + "\" at position " + std::to_string(i_) + ": " + why);
  }

 private:
  static bool is_name_char(unsigned char c) { return c >= 0x80 || std::isalnum(c) || c == '_'; }
  std::string_view s_;
  size_t i_ = 0;
};

// Folds ASCII and full-width Latin letters to ASCII upper case.
std::string fold(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c));
      continue;
    }
    // U+FF21..U+FF3A (Ａ..Ｚ) and U+FF41..U+FF5A (ａ..ｚ): EF BC A1..BA, EF BD 81..9A
    if (c == 0xEF && i + 2 < s.size()) {
      unsigned char c1 = static_cast<unsigned char>(s[i + 1]);
      unsigned char c2 = static_cast<unsigned char>(s[i + 2]);
      if (c1 == 0xBD && c2 >= 0x81 && c2 <= 0x9A) {
        out.push_back(static_cast<char>(0xEF));
        out.push_back(static_cast<char>(0xBC));
        out.push_back(static_cast<char>(c2 - 0x81 + 0xA1));
        i += 2;
        continue;
      }
    }
    out.push_back(static_cast<char>(c));
  }
  return out;
}

}  // namespace

bool names_match(std::string_view a, std::string_view b) { return fold(a) == fold(b); }

std::string fold_name(std::string_view name) { return fold(name); }

SelectStatement parse_select(std::string_view sql) {
  Lexer lx(sql);
  SelectStatement select;
  if (!lx.take_keyword("SELECT")) {
    select.table = lx.name();
    if (lx.peek_char(';')) lx.take_char(';');
    if (!lx.at_end()) lx.fail("unexpected text after the table name");
    return select;
  }
  lx.take_char('*');
  lx.expect_keyword("FROM");
  select.table = lx.name();
  if (lx.take_keyword("ORDER")) {
    lx.expect_keyword("BY");
    do {
      OrderItem item;
      item.field = lx.name();
      if (lx.take_keyword("DESC")) {
        item.descending = true;
      } else {
        lx.take_keyword("ASC");
      }
      select.order_by.push_back(std::move(item));
      if (!lx.peek_char(',')) break;
      lx.take_char(',');
    } while (true);
  }
  if (lx.peek_char(';')) lx.take_char(';');
  if (!lx.at_end()) lx.fail("unexpected text");
  return select;
}

}  // namespace mirutone::db
