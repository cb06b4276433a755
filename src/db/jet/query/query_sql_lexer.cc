#include "db/jet/query/query_sql_lexer.h"

#include <cctype>

#include "db/jet/api/error.h"

namespace mirutone::jet {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool is_word_char(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || std::isalnum(u) || c == '_' || c == '$';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void fail(const std::string& query_name, std::string_view sql, std::size_t at,
                       const std::string& what) {
  throw Error(error_numbers::kSyntaxError, "", "query '" + query_name + "': " + what + " at byte " + std::to_string(at) +
                            " near '" + sql_excerpt(sql.substr(at)) + "'");
}

constexpr std::string_view kReserved[] = {
    "SELECT", "FROM",  "WHERE", "GROUP",    "HAVING",      "ORDER", "BY",      "ON",         "AS",   "JOIN",
    "INNER",  "LEFT",  "RIGHT", "OUTER",    "UNION",       "AND",   "OR",      "NOT",        "XOR",  "EQV",
    "IMP",    "MOD",   "LIKE",  "IS",       "BETWEEN",     "IN",    "PARAMETERS", "WITH",    "DISTINCT",
    "DISTINCTROW", "TOP", "PERCENT", "ASC", "DESC",        "INTO",  "ALL",     "TRANSFORM"};

}  // namespace

std::string sql_excerpt(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  std::size_t cut = max_bytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "...";
}

bool is_reserved_word(std::string_view word) {
  for (auto kw : kReserved)
    if (names_equal(kw, word)) return true;
  return false;
}

bool Token::is_keyword(std::string_view kw) const {
  return kind == TokenKind::word && names_equal(text, kw);
}

std::vector<Token> tokenize_query(const std::string& query_name, std::string_view sql) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  const std::size_t n = sql.size();
  while (true) {
    while (i < n && is_space(sql[i])) ++i;
    Token t;
    t.begin = i;
    if (i >= n) {
      t.kind = TokenKind::end;
      t.end = n;
      tokens.push_back(std::move(t));
      return tokens;
    }
    const char c = sql[i];
    if (c == '\0') fail(query_name, sql, i, "NUL character in the SQL text");
    if (c == '[') {
      const auto close = sql.find(']', i + 1);
      if (close == std::string_view::npos) fail(query_name, sql, i, "unterminated '['");
      t.kind = TokenKind::bracketed;
      t.text = std::string(sql.substr(i + 1, close - i - 1));
      if (t.text.empty()) fail(query_name, sql, i, "empty name '[]'");
      if (t.text.find('[') != std::string::npos) fail(query_name, sql, i, "'[' inside a bracketed name");
      i = close + 1;
    } else if (c == '"' || c == '\'') {
      std::size_t j = i + 1;
      while (true) {
        if (j >= n) fail(query_name, sql, i, "unterminated string");
        if (sql[j] == c) {
          if (j + 1 < n && sql[j + 1] == c) {  // doubled quote stands for one
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      t.kind = TokenKind::string;
      i = j + 1;
      t.text = std::string(sql.substr(t.begin, i - t.begin));
    } else if (c == '#') {
      const auto close = sql.find('#', i + 1);
      if (close == std::string_view::npos) fail(query_name, sql, i, "unterminated date '#'");
      t.kind = TokenKind::date;
      i = close + 1;
      t.text = std::string(sql.substr(t.begin, i - t.begin));
    } else if (is_digit(c) || (c == '.' && i + 1 < n && is_digit(sql[i + 1]))) {
      while (i < n && is_digit(sql[i])) ++i;
      if (i < n && sql[i] == '.') {
        ++i;
        while (i < n && is_digit(sql[i])) ++i;
      }
      if (i < n && (sql[i] == 'e' || sql[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (sql[j] == '+' || sql[j] == '-')) ++j;
        if (j < n && is_digit(sql[j])) {
          i = j;
          while (i < n && is_digit(sql[i])) ++i;
        }
      }
      if (i < n && is_word_char(sql[i])) {
        // A name that starts with digits, as Jet allows (e.g. 1997年).
        while (i < n && is_word_char(sql[i])) ++i;
        t.kind = TokenKind::word;
      } else {
        t.kind = TokenKind::number;
      }
      t.text = std::string(sql.substr(t.begin, i - t.begin));
    } else if (is_word_char(c)) {
      while (i < n && is_word_char(sql[i])) ++i;
      t.kind = TokenKind::word;
      t.text = std::string(sql.substr(t.begin, i - t.begin));
    } else {
      static constexpr std::string_view kTwo[] = {"<>", "<=", ">="};
      t.kind = TokenKind::symbol;
      bool two = false;
      for (auto s : kTwo)
        if (sql.substr(i, 2) == s) two = true;
      if (two) {
        i += 2;
      } else if (std::string_view("(),.;*+-/\\&=<>!^").find(c) != std::string_view::npos) {
        i += 1;
      } else {
        fail(query_name, sql, i, "unexpected character '" + std::string(1, c) + "'");
      }
      t.text = std::string(sql.substr(t.begin, i - t.begin));
    }
    t.end = i;
    tokens.push_back(std::move(t));
  }
}

}  // namespace mirutone::jet
