#include "db/jet/query_sql_parse.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <tuple>

#include "db/jet/error.h"
#include "db/jet/query_param_types.h"
#include "db/jet/query_sql_lexer.h"

namespace mirutone::jet {
namespace {

// Jet's error numbers for the mistakes reported here.
constexpr int kErrNotAStatement = 3129;   // Invalid SQL statement; expected 'SELECT', ...
constexpr int kErrSelectSyntax = 3141;    // SELECT statement misspelled or punctuation wrong
constexpr int kErrExpression = 3075;      // Syntax error in query expression
constexpr int kErrFromClause = 3131;      // Syntax error in FROM clause
constexpr int kErrJoinSyntax = 3135;      // Syntax error in JOIN operation
constexpr int kErrOrderBy = 3138;         // Syntax error in ORDER BY clause
constexpr int kErrTrailingText = 3142;    // Characters found after end of SQL statement
constexpr int kErrParameters = 3137;      // Syntax error in PARAMETERS clause
constexpr int kErrFieldType = 3259;       // Invalid field data type
constexpr int kErrJoinUnsupported = 3296; // Join expression not supported

constexpr int kMaxNesting = 200;

class Parser {
 public:
  Parser(const std::string& name, const std::string& sql)
      : name_(name), sql_(sql), tokens_(tokenize_query(name, sql)) {}

  ParsedSelect run() {
    if (peek().kind == TokenKind::end)
      throw Error(kErrNotAStatement, "", "query '" + name_ + "': the SQL text is empty");
    if (peek().is_keyword("PARAMETERS")) parse_parameters();
    if (!peek().is_keyword("SELECT")) {
      fail(kErrNotAStatement, "only SELECT queries can be stored (expected SELECT)", peek());
    }
    parse_select_body();
    if (accept_keyword("WITH")) {
      expect_keyword("OWNERACCESS", kErrSelectSyntax);
      expect_keyword("OPTION", kErrSelectSyntax);
      out_.options |= kSelectOwnerAccess;
    }
    accept_symbol(";");
    if (peek().kind != TokenKind::end)
      fail(kErrTrailingText, "text after the end of the SQL statement", peek());
    return std::move(out_);
  }

 private:
  // ---- token access ----
  const Token& peek(std::size_t ahead = 0) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
  }
  const Token& advance() {
    const Token& t = tokens_[pos_];
    if (t.kind != TokenKind::end) ++pos_;
    return t;
  }
  bool accept_keyword(std::string_view kw) {
    if (!peek().is_keyword(kw)) return false;
    advance();
    return true;
  }
  bool accept_symbol(std::string_view s) {
    if (!peek().is_symbol(s)) return false;
    advance();
    return true;
  }
  void expect_keyword(std::string_view kw, int code) {
    if (!accept_keyword(kw)) fail(code, "expected " + std::string(kw), peek());
  }
  void expect_symbol(std::string_view s, int code) {
    if (!accept_symbol(s)) fail(code, "expected '" + std::string(s) + "'", peek());
  }

  [[noreturn]] void fail(int code, const std::string& what, const Token& at) const {
    std::string found = at.kind == TokenKind::end ? std::string("the end of the text")
                                                  : "'" + sql_excerpt(std::string_view(sql_).substr(at.begin, at.end - at.begin)) + "'";
    throw Error(code, "", "query '" + name_ + "': " + what + ", found " + found + " at byte " +
                              std::to_string(at.begin));
  }

  // Text of tokens [first, last) exactly as written, inner blanks included.
  std::string slice(std::size_t first, std::size_t last) const {
    return sql_.substr(tokens_[first].begin, tokens_[last - 1].end - tokens_[first].begin);
  }

  static bool is_name(const Token& t) {
    return t.kind == TokenKind::bracketed || (t.kind == TokenKind::word && !is_reserved_word(t.text));
  }

  struct Nesting {
    Parser& p;
    explicit Nesting(Parser& parser, const Token& at) : p(parser) {
      if (++p.depth_ > kMaxNesting) p.fail(kErrExpression, "expression nested too deeply", at);
    }
    ~Nesting() { --p.depth_; }
  };

  // SELECT ... FROM ... [WHERE] [GROUP BY] [HAVING] [ORDER BY], into out_.
  void parse_select_body() {
    advance();  // SELECT
    parse_select_options();
    parse_select_list();
    expect_keyword("FROM", kErrSelectSyntax);
    parse_from();
    if (accept_keyword("WHERE")) out_.where = parse_condition();
    if (accept_keyword("GROUP")) {
      expect_keyword("BY", kErrSelectSyntax);
      do out_.group_by.push_back(parse_condition());
      while (accept_symbol(","));
    }
    if (accept_keyword("HAVING")) out_.having = parse_condition();
    if (accept_keyword("ORDER")) parse_order_by();
  }

  // A SELECT inside an expression: checked like the outer one, with its own
  // tables, and kept only as part of the expression's text.
  void parse_subquery() {
    Nesting guard(*this, peek());
    ParsedSelect outer = std::move(out_);
    out_ = ParsedSelect{};
    parse_select_body();
    out_ = std::move(outer);
  }

  // One expression, or a subquery where the syntax allows one.
  void parse_expression_or_subquery() {
    if (peek().is_keyword("SELECT")) parse_subquery();
    else parse_expression();
  }

  // ---- PARAMETERS name type [, ...]; ----
  void parse_parameters() {
    advance();
    do {
      const std::size_t first = pos_;
      if (!is_name(peek())) fail(kErrParameters, "expected a parameter name", peek());
      advance();
      while ((peek().is_symbol("!") || peek().is_symbol(".")) && is_name(peek(1))) {
        advance();
        advance();
      }
      ParsedParameter p;
      // Forms![Dialog]![Start] is kept as Forms!Dialog!Start, as Access 97 keeps it.
      for (std::size_t i = first; i < pos_; ++i) p.name += tokens_[i].text;
      const Token& type = peek();
      if (type.kind != TokenKind::word) fail(kErrParameters, "expected the data type of parameter '" + p.name + "'", type);
      auto code = parameter_type_code(type.text);
      if (!code) fail(kErrFieldType, "unknown data type for parameter '" + p.name + "'", type);
      p.type_code = *code;
      advance();
      if (accept_symbol("(")) {  // TEXT(50): Jet 3 keeps no size for a parameter
        if (peek().kind != TokenKind::number) fail(kErrParameters, "expected a size", peek());
        advance();
        expect_symbol(")", kErrParameters);
      }
      for (const auto& other : out_.parameters)
        if (sql_names_equal(other.name, p.name)) fail(kErrParameters, "parameter '" + p.name + "' declared twice", type);
      out_.parameters.push_back(std::move(p));
    } while (accept_symbol(","));
    expect_symbol(";", kErrParameters);
  }

  // ---- SELECT [ALL|DISTINCT|DISTINCTROW] [TOP n [PERCENT]] ----
  void parse_select_options() {
    if (accept_keyword("DISTINCT")) out_.options |= kSelectDistinct;
    else if (accept_keyword("DISTINCTROW")) out_.options |= kSelectDistinctRow;
    else accept_keyword("ALL");
    if (accept_keyword("TOP")) {
      if (peek().kind != TokenKind::number) fail(kErrSelectSyntax, "expected a number after TOP", peek());
      out_.top = advance().text;
      out_.options |= kSelectTop;
      if (accept_keyword("PERCENT")) out_.options |= kSelectPercent;
    }
  }

  void parse_select_list() {
    do {
      if (peek().is_symbol("*")) {
        if (out_.options & kSelectStar) fail(kErrSelectSyntax, "'*' listed twice", peek());
        advance();
        out_.options |= kSelectStar;
        continue;
      }
      const std::size_t first = pos_;
      parse_expression();
      ParsedColumn col;
      col.expression = slice(first, pos_);
      if (accept_keyword("AS")) {
        if (!is_name(peek())) fail(kErrSelectSyntax, "expected a column alias after AS", peek());
        col.alias = advance().text;
      }
      out_.columns.push_back(std::move(col));
    } while (accept_symbol(","));
  }

  // ---- FROM ----
  void parse_from() {
    do parse_table_ref();
    while (accept_symbol(","));
  }

  // A table, or tables joined; returns the indexes (into out_.tables) it covers.
  std::vector<std::size_t> parse_table_ref() {
    Nesting guard(*this, peek());
    std::vector<std::size_t> left = parse_table_primary();
    while (true) {
      std::int16_t kind;
      const Token& at = peek();
      if (accept_keyword("INNER")) kind = kJoinInner;
      else if (accept_keyword("LEFT")) kind = kJoinLeft;
      else if (accept_keyword("RIGHT")) kind = kJoinRight;
      else if (peek().is_keyword("JOIN")) fail(kErrJoinSyntax, "JOIN needs INNER, LEFT or RIGHT before it", at);
      else break;
      if (kind != kJoinInner) accept_keyword("OUTER");
      expect_keyword("JOIN", kErrJoinSyntax);
      std::vector<std::size_t> right = parse_table_primary();
      expect_keyword("ON", kErrJoinSyntax);
      const std::size_t first = pos_;
      parse_expression();
      add_join(kind, left, right, first, pos_);
      left.insert(left.end(), right.begin(), right.end());
    }
    return left;
  }

  std::vector<std::size_t> parse_table_primary() {
    if (peek().is_symbol("(")) {
      if (peek(1).is_keyword("SELECT")) fail(kErrFromClause, "a subquery in FROM is not supported", peek(1));
      advance();
      auto covered = parse_table_ref();
      expect_symbol(")", kErrFromClause);
      return covered;
    }
    if (!is_name(peek())) fail(kErrFromClause, "expected a table name", peek());
    ParsedTable table;
    table.name = advance().text;
    if (accept_keyword("AS")) {
      if (!is_name(peek())) fail(kErrFromClause, "expected a table alias after AS", peek());
      table.alias = advance().text;
    } else if (is_name(peek())) {
      table.alias = advance().text;
    }
    for (const auto& other : out_.tables)
      if (sql_names_equal(other.key(), table.key()))
        fail(kErrFromClause, "table '" + table.key() + "' appears twice; give one an alias", tokens_[pos_ - 1]);
    out_.tables.push_back(std::move(table));
    return {out_.tables.size() - 1};
  }

  // Stores one row per comparison of the ON condition (tokens [first, last)).
  void add_join(std::int16_t kind, const std::vector<std::size_t>& left, const std::vector<std::size_t>& right,
                std::size_t first, std::size_t last) {
    for (const auto& range : split_conjuncts(first, last)) {
      // Plain copies: a lambda below uses them, and older compilers cannot
      // capture structured bindings.
      const std::size_t b = range.first;
      const std::size_t e = range.second;
      ParsedJoin join;
      join.kind = kind;
      join.condition = slice(b, e);
      auto side = [&](const std::vector<std::size_t>& tables) -> std::optional<std::string> {
        for (std::size_t i = b; i + 2 < e; ++i) {
          const bool qualifier = (tokens_[i].kind == TokenKind::word || tokens_[i].kind == TokenKind::bracketed) &&
                                 tokens_[i + 1].is_symbol(".") &&
                                 (i == b || !(tokens_[i - 1].is_symbol(".") || tokens_[i - 1].is_symbol("!")));
          if (!qualifier) continue;
          for (auto t : tables)
            if (sql_names_equal(out_.tables[t].key(), tokens_[i].text)) return out_.tables[t].key();
        }
        if (tables.size() == 1) return out_.tables[tables[0]].key();
        return std::nullopt;
      };
      auto l = side(left);
      auto r = side(right);
      if (!l || !r)
        fail(kErrJoinUnsupported, "join condition '" + join.condition + "' does not name a table on each side",
             tokens_[b]);
      join.left = *l;
      join.right = *r;
      out_.joins.push_back(std::move(join));
    }
  }

  std::size_t matching_paren(std::size_t open) const {
    int depth = 0;
    for (std::size_t i = open; i < tokens_.size(); ++i) {
      if (tokens_[i].is_symbol("(")) ++depth;
      if (tokens_[i].is_symbol(")") && --depth == 0) return i;
    }
    return tokens_.size();
  }

  // Tokens [first, last) without parentheses that enclose all of them.
  std::pair<std::size_t, std::size_t> unwrap(std::size_t first, std::size_t last) const {
    while (last - first >= 2 && tokens_[first].is_symbol("(") && matching_paren(first) == last - 1) {
      ++first;
      --last;
    }
    return {first, last};
  }

  // Splits a condition into the comparisons that its ANDs join, each without
  // enclosing parentheses, as Jet stores a compound ON. An OR (or the AND of
  // a BETWEEN) keeps a part whole, since splitting would change its meaning.
  std::vector<std::pair<std::size_t, std::size_t>> split_conjuncts(std::size_t first, std::size_t last) const {
    std::tie(first, last) = unwrap(first, last);
    std::vector<std::pair<std::size_t, std::size_t>> cuts;
    int depth = 0;
    bool between = false;
    std::size_t start = first;
    for (std::size_t i = first; i < last; ++i) {
      const Token& t = tokens_[i];
      if (t.is_symbol("(")) ++depth;
      else if (t.is_symbol(")")) --depth;
      else if (depth == 0 && (t.is_keyword("OR") || t.is_keyword("XOR") || t.is_keyword("EQV") || t.is_keyword("IMP")))
        return {{first, last}};
      else if (depth == 0 && t.is_keyword("BETWEEN")) between = true;
      else if (depth == 0 && t.is_keyword("AND")) {
        if (between) {
          between = false;
        } else {
          cuts.emplace_back(start, i);
          start = i + 1;
        }
      }
    }
    if (cuts.empty()) return {{first, last}};
    cuts.emplace_back(start, last);
    std::vector<std::pair<std::size_t, std::size_t>> parts;
    for (auto [b, e] : cuts) {
      auto sub = split_conjuncts(b, e);
      parts.insert(parts.end(), sub.begin(), sub.end());
    }
    return parts;
  }

  // ---- ORDER BY expr [ASC|DESC], ... ----
  void parse_order_by() {
    expect_keyword("BY", kErrOrderBy);
    do {
      const std::size_t first = pos_;
      if (peek().kind == TokenKind::end || peek().is_symbol(";")) fail(kErrOrderBy, "expected a sort key", peek());
      parse_expression();
      ParsedOrder item;
      item.expression = slice(first, pos_);
      if (accept_keyword("DESC")) item.descending = true;
      else accept_keyword("ASC");
      out_.order_by.push_back(std::move(item));
    } while (accept_symbol(","));
  }

  std::string parse_condition() {
    const std::size_t first = pos_;
    parse_expression();
    return slice(first, pos_);
  }

  // ---- expressions: checked for syntax, kept as text ----
  void parse_expression() { parse_or(); }

  void parse_or() {
    parse_and();
    while (accept_keyword("OR") || accept_keyword("XOR") || accept_keyword("EQV") || accept_keyword("IMP")) parse_and();
  }
  void parse_and() {
    parse_not();
    while (accept_keyword("AND")) parse_not();
  }
  void parse_not() {
    Nesting guard(*this, peek());
    if (accept_keyword("NOT")) parse_not();
    else parse_comparison();
  }
  void parse_comparison() {
    parse_additive();
    while (true) {
      const Token& t = peek();
      if (t.is_symbol("=") || t.is_symbol("<>") || t.is_symbol("<") || t.is_symbol(">") || t.is_symbol("<=") ||
          t.is_symbol(">=")) {
        advance();
        parse_additive();
      } else if (accept_keyword("IS")) {
        accept_keyword("NOT");
        expect_keyword("NULL", kErrExpression);
      } else if (t.is_keyword("NOT") || t.is_keyword("LIKE") || t.is_keyword("BETWEEN") || t.is_keyword("IN")) {
        if (t.is_keyword("NOT")) {
          advance();
          if (!(peek().is_keyword("LIKE") || peek().is_keyword("BETWEEN") || peek().is_keyword("IN")))
            fail(kErrExpression, "expected LIKE, BETWEEN or IN after NOT", peek());
        }
        if (accept_keyword("LIKE")) {
          parse_additive();
        } else if (accept_keyword("BETWEEN")) {
          parse_additive();
          expect_keyword("AND", kErrExpression);
          parse_additive();
        } else {
          advance();  // IN
          expect_symbol("(", kErrExpression);
          do parse_expression_or_subquery();
          while (accept_symbol(","));
          expect_symbol(")", kErrExpression);
        }
      } else {
        return;
      }
    }
  }
  void parse_additive() {
    parse_multiplicative();
    while (peek().is_symbol("+") || peek().is_symbol("-") || peek().is_symbol("&")) {
      advance();
      parse_multiplicative();
    }
  }
  void parse_multiplicative() {
    parse_power();
    while (peek().is_symbol("*") || peek().is_symbol("/") || peek().is_symbol("\\") || peek().is_keyword("MOD")) {
      advance();
      parse_power();
    }
  }
  void parse_power() {
    parse_unary();
    while (accept_symbol("^")) parse_unary();
  }
  void parse_unary() {
    Nesting guard(*this, peek());
    if (accept_symbol("-") || accept_symbol("+")) parse_unary();
    else parse_primary();
  }
  void parse_primary() {
    const Token& t = peek();
    switch (t.kind) {
      case TokenKind::number:
      case TokenKind::string:
      case TokenKind::date:
        advance();
        return;
      case TokenKind::symbol:
        if (t.is_symbol("(")) {
          advance();
          parse_expression_or_subquery();
          expect_symbol(")", kErrExpression);
          return;
        }
        break;
      case TokenKind::word:
      case TokenKind::bracketed:
        if (!is_name(t)) break;
        parse_name_reference();
        return;
      case TokenKind::end:
        break;
    }
    fail(kErrExpression, "expected an expression", t);
  }
  // name, T.col, [T].[col], T.*, Forms!F!c, Func(args)
  void parse_name_reference() {
    advance();
    while (peek().is_symbol(".") || peek().is_symbol("!")) {
      if (peek().is_symbol(".") && peek(1).is_symbol("*")) {
        advance();
        advance();
        return;
      }
      if (!is_name(peek(1))) fail(kErrExpression, "expected a name after '" + peek().text + "'", peek(1));
      advance();
      advance();
    }
    if (accept_symbol("(")) {
      if (accept_symbol(")")) return;
      if (peek().is_symbol("*") && peek(1).is_symbol(")")) {  // Count(*)
        advance();
        advance();
        return;
      }
      do parse_expression_or_subquery();  // Exists(SELECT ...)
      while (accept_symbol(","));
      expect_symbol(")", kErrExpression);
    }
  }

  const std::string& name_;
  std::string sql_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  ParsedSelect out_;
};

}  // namespace

ParsedSelect parse_select_query(const std::string& query_name, const std::string& sql) {
  return Parser(query_name, sql).run();
}

}  // namespace mirutone::jet
