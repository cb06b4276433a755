#include "db/jet/query/query_sql_parse.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <tuple>

#include "db/jet/api/error.h"
#include "db/jet/api/error_numbers.h"
#include "db/jet/query/query_param_types.h"
#include "db/jet/query/query_sql_lexer.h"

namespace mirutone::jet {
namespace {

using namespace error_numbers;
constexpr int kMaxNesting = 200;

class Parser {
 public:
  Parser(const std::string& name, const std::string& sql)
      : name_(name), sql_(sql), tokens_(tokenize_query(name, sql)) {}

  ParsedSelect run() {
    if (peek().kind == TokenKind::end)
      throw Error(kNotAStatement, "", "query '" + name_ + "': the SQL text is empty");
    // A union is told by its UNION, wherever its parts are.
    int depth = 0;
    for (const Token& t : tokens_) {
      if (t.is_symbol("(")) ++depth;
      if (t.is_symbol(")")) --depth;
      if (depth == 0 && t.is_keyword("UNION")) not_supported("UNION", t);
    }
    if (peek().is_keyword("PARAMETERS")) parse_parameters();
    for (const char* kind : {"TRANSFORM", "INSERT", "UPDATE", "DELETE", "CREATE", "ALTER", "DROP"})
      if (peek().is_keyword(kind)) not_supported(std::string(kind) == "TRANSFORM" ? "TRANSFORM" : "action query " + upper(peek().text), peek());
    if (!peek().is_keyword("SELECT")) {
      fail(kNotAStatement, "only SELECT queries can be stored (expected SELECT)", peek());
    }
    parse_select_body();
    if (peek().is_keyword("UNION")) not_supported("UNION", peek());
    if (accept_keyword("WITH")) {
      expect_keyword("OWNERACCESS", kSelectSyntax);
      expect_keyword("OPTION", kSelectSyntax);
      out_.options |= kSelectOwnerAccess;
    }
    accept_symbol(";");
    if (peek().kind != TokenKind::end)
      fail(kTrailingText, "text after the end of the SQL statement", peek());
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

  [[noreturn]] void not_supported(const std::string& construct, const Token& at) const {
    throw Error(kNotSupported, "", "query '" + name_ + "': not supported: " + construct + " (at byte " +
                                       std::to_string(at.begin) + ")");
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
      if (++p.depth_ > kMaxNesting) p.fail(kSyntaxError, "expression nested too deeply", at);
    }
    ~Nesting() { --p.depth_; }
  };

  // SELECT ... FROM ... [WHERE] [GROUP BY] [HAVING] [ORDER BY], into out_.
  void parse_select_body() {
    advance();  // SELECT
    parse_select_options();
    parse_select_list();
    if (peek().is_keyword("INTO")) not_supported("action query SELECT ... INTO", peek());
    expect_keyword("FROM", kSelectSyntax);
    parse_from();
    if (accept_keyword("WHERE")) {
      const std::size_t first = pos_;
      out_.where_expr = parse_expression();
      out_.where = written_since(first);
    }
    if (accept_keyword("GROUP")) {
      expect_keyword("BY", kSelectSyntax);
      do {
        const std::size_t first = pos_;
        parse_expression();
        out_.group_by.push_back(written_since(first));
      } while (accept_symbol(","));
    }
    if (accept_keyword("HAVING")) {
      const std::size_t first = pos_;
      parse_expression();
      out_.having = written_since(first);
    }
    if (accept_keyword("ORDER")) parse_order_by();
  }

  // A SELECT inside an expression: checked like the outer one, with its own
  // tables, and kept only as part of the expression's text.
  SqlExpr parse_subquery() {
    Nesting guard(*this, peek());
    const std::size_t first = pos_;
    ParsedSelect outer = std::move(out_);
    out_ = ParsedSelect{};
    parse_select_body();
    out_ = std::move(outer);
    return node(SqlExpr::Kind::subquery, first);
  }

  // One expression, or a subquery where the syntax allows one.
  SqlExpr parse_expression_or_subquery() {
    if (peek().is_keyword("SELECT")) return parse_subquery();
    return parse_expression();
  }

  // ---- PARAMETERS name type [, ...]; ----
  void parse_parameters() {
    advance();
    do {
      const std::size_t first = pos_;
      if (!is_name(peek())) fail(kParametersClause, "expected a parameter name", peek());
      advance();
      while ((peek().is_symbol("!") || peek().is_symbol(".")) && is_name(peek(1))) {
        advance();
        advance();
      }
      ParsedParameter p;
      // Forms![Dialog]![Start] is kept as Forms!Dialog!Start, as Access 97 keeps it.
      for (std::size_t i = first; i < pos_; ++i) p.name += tokens_[i].text;
      const Token& type = peek();
      if (type.kind != TokenKind::word) fail(kParametersClause, "expected the data type of parameter '" + p.name + "'", type);
      auto code = parameter_type_code(type.text);
      if (!code) fail(kInvalidFieldType, "unknown data type for parameter '" + p.name + "'", type);
      p.type_code = *code;
      p.type_word = type.text;
      advance();
      if (accept_symbol("(")) {  // TEXT(50): Jet 3 keeps no size for a parameter
        if (peek().kind != TokenKind::number) fail(kParametersClause, "expected a size", peek());
        advance();
        expect_symbol(")", kParametersClause);
      }
      for (const auto& other : out_.parameters)
        if (names_equal(other.name, p.name)) fail(kParametersClause, "parameter '" + p.name + "' declared twice", type);
      out_.parameters.push_back(std::move(p));
    } while (accept_symbol(","));
    expect_symbol(";", kParametersClause);
  }

  // ---- SELECT [ALL|DISTINCT|DISTINCTROW] [TOP n [PERCENT]] ----
  void parse_select_options() {
    if (accept_keyword("DISTINCT")) out_.options |= kSelectDistinct;
    else if (accept_keyword("DISTINCTROW")) out_.options |= kSelectDistinctRow;
    else accept_keyword("ALL");
    if (accept_keyword("TOP")) {
      if (peek().kind != TokenKind::number) fail(kSelectSyntax, "expected a number after TOP", peek());
      out_.top = advance().text;
      out_.options |= kSelectTop;
      if (accept_keyword("PERCENT")) out_.options |= kSelectPercent;
    }
  }

  void parse_select_list() {
    do {
      if (peek().is_symbol("*")) {
        if (out_.options & kSelectStar) fail(kSelectSyntax, "'*' listed twice", peek());
        advance();
        out_.options |= kSelectStar;
        continue;
      }
      const std::size_t first = pos_;
      ParsedColumn col;
      col.expr = parse_expression();
      col.expression = written_since(first);
      if (accept_keyword("AS")) {
        if (!is_name(peek())) fail(kSelectSyntax, "expected a column alias after AS", peek());
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
      else if (peek().is_keyword("JOIN")) fail(kJoinSyntax, "JOIN needs INNER, LEFT or RIGHT before it", at);
      else break;
      if (kind != kJoinInner) accept_keyword("OUTER");
      expect_keyword("JOIN", kJoinSyntax);
      std::vector<std::size_t> right = parse_table_primary();
      expect_keyword("ON", kJoinSyntax);
      add_join(kind, left, right, parse_expression());
      left.insert(left.end(), right.begin(), right.end());
    }
    return left;
  }

  std::vector<std::size_t> parse_table_primary() {
    if (peek().is_symbol("(")) {
      if (peek(1).is_keyword("SELECT")) not_supported("sub-query in FROM", peek(1));
      advance();
      auto covered = parse_table_ref();
      expect_symbol(")", kFromClause);
      return covered;
    }
    if (!is_name(peek())) fail(kFromClause, "expected a table name", peek());
    ParsedTable table;
    table.name = advance().text;
    if (accept_keyword("AS")) {
      if (!is_name(peek())) fail(kFromClause, "expected a table alias after AS", peek());
      table.alias = advance().text;
    } else if (is_name(peek())) {
      table.alias = advance().text;
    }
    for (const auto& other : out_.tables)
      if (names_equal(other.key(), table.key()))
        fail(kFromClause, "table '" + table.key() + "' appears twice; give one an alias", tokens_[pos_ - 1]);
    out_.tables.push_back(std::move(table));
    return {out_.tables.size() - 1};
  }

  // Stores one row per comparison of the ON condition.
  void add_join(std::int16_t kind, const std::vector<std::size_t>& left, const std::vector<std::size_t>& right,
                SqlExpr on) {
    std::vector<SqlExpr> parts;
    split_conjuncts(std::move(on), parts);
    for (auto& part : parts) {
      ParsedJoin join;
      join.kind = kind;
      join.condition = text_of(part);
      auto side = [&](const std::vector<std::size_t>& tables) -> std::optional<std::string> {
        std::optional<std::string> found;
        visit_names(part, [&](const SqlExpr& name) {
          if (found || name.bang || name.parts.size() < 2) return;
          for (auto t : tables)
            if (names_equal(out_.tables[t].key(), name.parts[0])) found = out_.tables[t].key();
        });
        if (!found && tables.size() == 1) return out_.tables[tables[0]].key();
        return found;
      };
      auto l = side(left);
      auto r = side(right);
      if (!l || !r) {
        Token at;
        at.begin = part.begin;
        at.end = part.end;
        fail(kJoinUnsupported, "join condition '" + join.condition + "' does not name a table on each side", at);
      }
      join.left = *l;
      join.right = *r;
      join.expr = std::move(part);
      out_.joins.push_back(std::move(join));
    }
  }

  // Qualified names in text order.
  template <typename F>
  static void visit_names(const SqlExpr& e, F&& f) {
    if (e.kind == SqlExpr::Kind::name || e.kind == SqlExpr::Kind::star) f(e);
    for (const auto& a : e.args) visit_names(a, f);
  }

  // Splits a condition into the comparisons that its ANDs join, as Jet stores
  // a compound ON. An OR keeps the condition whole, since splitting would
  // change its meaning; the AND of a BETWEEN is part of its node.
  static void split_conjuncts(SqlExpr e, std::vector<SqlExpr>& out) {
    if (e.kind == SqlExpr::Kind::binary && e.op == "AND") {
      split_conjuncts(std::move(e.args[0]), out);
      split_conjuncts(std::move(e.args[1]), out);
    } else {
      out.push_back(std::move(e));
    }
  }

  // ---- ORDER BY expr [ASC|DESC], ... ----
  void parse_order_by() {
    expect_keyword("BY", kOrderByClause);
    do {
      if (peek().kind == TokenKind::end || peek().is_symbol(";")) fail(kOrderByClause, "expected a sort key", peek());
      const std::size_t first = pos_;
      ParsedOrder item;
      item.expr = parse_expression();
      item.expression = written_since(first);
      if (accept_keyword("DESC")) item.descending = true;
      else accept_keyword("ASC");
      out_.order_by.push_back(std::move(item));
    } while (accept_symbol(","));
  }

  std::string text_of(const SqlExpr& e) const { return sql_.substr(e.begin, e.end - e.begin); }
  // The tokens from `first` to the last one taken, as written (with any
  // parentheses around them, which a node's own text leaves out).
  std::string written_since(std::size_t first) const { return slice(first, pos_); }

  // ---- expressions: checked for syntax, kept as text and as a tree ----
  using Kind = SqlExpr::Kind;

  // A node whose text runs from token `first` to the last token taken.
  SqlExpr node(Kind kind, std::size_t first, std::vector<SqlExpr> args = {}, std::string op = {}) const {
    SqlExpr e;
    e.kind = kind;
    e.op = std::move(op);
    e.args = std::move(args);
    e.begin = tokens_[first].begin;
    e.end = tokens_[pos_ > first ? pos_ - 1 : first].end;
    return e;
  }
  static std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  }

  SqlExpr parse_expression() { return parse_or(); }

  // One level of left-associative binary operators over the level below it.
  template <typename IsOperator>
  SqlExpr binary_level(SqlExpr (Parser::*next)(), IsOperator is_operator) {
    const std::size_t first = pos_;
    SqlExpr e = (this->*next)();
    while (is_operator(peek())) {
      std::string op = upper(advance().text);
      SqlExpr r = (this->*next)();
      e = node(Kind::binary, first, {std::move(e), std::move(r)}, std::move(op));
    }
    return e;
  }

  SqlExpr parse_or() {
    return binary_level(&Parser::parse_and, [](const Token& t) {
      return t.is_keyword("OR") || t.is_keyword("XOR") || t.is_keyword("EQV") || t.is_keyword("IMP");
    });
  }
  SqlExpr parse_and() {
    return binary_level(&Parser::parse_not, [](const Token& t) { return t.is_keyword("AND"); });
  }
  SqlExpr parse_not() {
    Nesting guard(*this, peek());
    const std::size_t first = pos_;
    if (accept_keyword("NOT")) {
      SqlExpr inner = parse_not();
      return node(Kind::unary, first, {std::move(inner)}, "NOT");
    }
    return parse_comparison();
  }
  SqlExpr parse_comparison() {
    const std::size_t first = pos_;
    SqlExpr e = parse_additive();
    while (true) {
      const Token& t = peek();
      if (t.is_symbol("=") || t.is_symbol("<>") || t.is_symbol("<") || t.is_symbol(">") || t.is_symbol("<=") ||
          t.is_symbol(">=")) {
        std::string op = advance().text;
        SqlExpr r = parse_additive();
        e = node(Kind::binary, first, {std::move(e), std::move(r)}, std::move(op));
      } else if (accept_keyword("IS")) {
        const bool negated = accept_keyword("NOT");
        expect_keyword("NULL", kSyntaxError);
        e = node(Kind::is_null, first, {std::move(e)});
        e.negated = negated;
      } else if (t.is_keyword("NOT") || t.is_keyword("LIKE") || t.is_keyword("BETWEEN") || t.is_keyword("IN")) {
        bool negated = false;
        if (t.is_keyword("NOT")) {
          advance();
          negated = true;
          if (!(peek().is_keyword("LIKE") || peek().is_keyword("BETWEEN") || peek().is_keyword("IN")))
            fail(kSyntaxError, "expected LIKE, BETWEEN or IN after NOT", peek());
        }
        std::vector<SqlExpr> args;
        args.push_back(std::move(e));
        Kind kind;
        if (accept_keyword("LIKE")) {
          kind = Kind::like;
          args.push_back(parse_additive());
        } else if (accept_keyword("BETWEEN")) {
          kind = Kind::between;
          args.push_back(parse_additive());
          expect_keyword("AND", kSyntaxError);
          args.push_back(parse_additive());
        } else {
          advance();  // IN
          kind = Kind::in_list;
          expect_symbol("(", kSyntaxError);
          do args.push_back(parse_expression_or_subquery());
          while (accept_symbol(","));
          expect_symbol(")", kSyntaxError);
        }
        e = node(kind, first, std::move(args));
        e.negated = negated;
      } else {
        return e;
      }
    }
  }
  SqlExpr parse_additive() {
    return binary_level(&Parser::parse_multiplicative,
                        [](const Token& t) { return t.is_symbol("+") || t.is_symbol("-") || t.is_symbol("&"); });
  }
  SqlExpr parse_multiplicative() {
    return binary_level(&Parser::parse_power, [](const Token& t) {
      return t.is_symbol("*") || t.is_symbol("/") || t.is_symbol("\\") || t.is_keyword("MOD");
    });
  }
  SqlExpr parse_power() {
    return binary_level(&Parser::parse_unary, [](const Token& t) { return t.is_symbol("^"); });
  }
  SqlExpr parse_unary() {
    Nesting guard(*this, peek());
    const std::size_t first = pos_;
    if (peek().is_symbol("-") || peek().is_symbol("+")) {
      std::string op = advance().text;
      SqlExpr inner = parse_unary();
      return node(Kind::unary, first, {std::move(inner)}, std::move(op));
    }
    return parse_primary();
  }
  SqlExpr parse_primary() {
    const Token& t = peek();
    const std::size_t first = pos_;
    switch (t.kind) {
      case TokenKind::number: {
        advance();
        SqlExpr e = node(Kind::number, first);
        e.text = t.text;
        return e;
      }
      case TokenKind::string: {
        advance();
        SqlExpr e = node(Kind::text, first);
        const char quote = t.text.front();
        for (std::size_t i = 1; i + 1 < t.text.size(); ++i) {
          e.text += t.text[i];
          if (t.text[i] == quote) ++i;  // a doubled quote stands for one
        }
        return e;
      }
      case TokenKind::date: {
        advance();
        SqlExpr e = node(Kind::date, first);
        e.text = t.text.substr(1, t.text.size() - 2);
        return e;
      }
      case TokenKind::symbol:
        if (t.is_symbol("(")) {
          advance();
          SqlExpr inner = parse_expression_or_subquery();
          expect_symbol(")", kSyntaxError);
          return inner;
        }
        break;
      case TokenKind::word:
      case TokenKind::bracketed:
        if (!is_name(t)) break;
        return parse_name_reference();
      case TokenKind::end:
        break;
    }
    fail(kSyntaxError, "expected an expression", t);
  }
  // name, T.col, [T].[col], T.*, Forms!F!c, Func(args)
  SqlExpr parse_name_reference() {
    const std::size_t first = pos_;
    std::vector<std::string> parts{advance().text};
    bool bang = false;
    while (peek().is_symbol(".") || peek().is_symbol("!")) {
      if (peek().is_symbol(".") && peek(1).is_symbol("*")) {
        advance();
        advance();
        SqlExpr e = node(Kind::star, first);
        e.parts = std::move(parts);
        return e;
      }
      if (!is_name(peek(1))) fail(kSyntaxError, "expected a name after '" + peek().text + "'", peek(1));
      if (advance().text == "!") bang = true;
      parts.push_back(advance().text);
    }
    if (accept_symbol("(")) {
      std::vector<SqlExpr> args;
      if (peek().is_symbol("*") && peek(1).is_symbol(")")) {  // Count(*)
        advance();
        args.push_back(node(Kind::star, pos_ - 1));
      } else if (!peek().is_symbol(")")) {
        do args.push_back(parse_expression_or_subquery());  // Exists(SELECT ...)
        while (accept_symbol(","));
      }
      expect_symbol(")", kSyntaxError);
      SqlExpr e = node(Kind::call, first, std::move(args), parts.back());
      e.parts = std::move(parts);
      return e;
    }
    SqlExpr e = node(Kind::name, first);
    e.parts = std::move(parts);
    e.bang = bang;
    for (std::size_t i = first; i < pos_; ++i) e.text += tokens_[i].text;
    return e;
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
