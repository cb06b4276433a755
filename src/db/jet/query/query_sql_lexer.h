// Splits the text of a stored query into tokens, each remembering where in
// the text it stands so that fragments can be stored exactly as written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "db/jet/text/names.h"

namespace mirutone::jet {

enum class TokenKind {
  word,       // unbracketed name or keyword: letters, digits, '_', any non-ASCII
  bracketed,  // [name]; text() is the name without brackets
  number,     // 12, 1.5, 2E3
  string,     // "..." or '...'
  date,       // #1/1/95#
  symbol,     // ( ) , . ; * + - / \ & = <> < > <= >= ! ^
  end,        // after the last token
};

struct Token {
  TokenKind kind = TokenKind::end;
  std::size_t begin = 0;  // byte offsets into the query text
  std::size_t end = 0;
  std::string text;       // as written; for bracketed, the inner name

  bool is_symbol(std::string_view s) const { return kind == TokenKind::symbol && text == s; }
  // Case-insensitive match of an unbracketed word (keywords are never bracketed).
  bool is_keyword(std::string_view kw) const;
};

// At most `max_bytes` of `text` for an error message, cut before a UTF-8
// character rather than inside one, with "..." when cut.
std::string sql_excerpt(std::string_view text, std::size_t max_bytes = 40);

// True for the keywords that end a name or an expression (FROM, JOIN, AND,
// DESC, ...), in any case. Such a word must be bracketed to be a name.
bool is_reserved_word(std::string_view word);

// Tokenises `sql`. Throws Error (3075) naming `query_name` on an unterminated
// bracket, string or date, or a character that cannot start a token.
std::vector<Token> tokenize_query(const std::string& query_name, std::string_view sql);

}  // namespace mirutone::jet
