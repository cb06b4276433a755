#include "db/query_parse.h"

#include <cctype>
#include <functional>

#include "db/errors.h"

namespace mirutone::db {
namespace {

struct Token {
  enum class Kind { Name, Number, Text, Symbol, End } kind = Kind::End;
  std::string text;  // names unbracketed; symbols as written
  bool bracketed = false;
  std::size_t at = 0;
};

bool name_char(unsigned char c) { return c >= 0x80 || std::isalnum(c) || c == '_'; }

std::vector<Token> tokenize(std::string_view s, const std::function<void(std::size_t, const std::string&)>& fail) {
  std::vector<Token> out;
  std::size_t i = 0;
  while (true) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    Token t;
    t.at = i;
    if (i >= s.size()) {
      out.push_back(t);
      return out;
    }
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '[') {
      std::size_t close = s.find(']', i + 1);
      if (close == std::string_view::npos || close == i + 1) fail(i, "unclosed or empty '['");
      t.kind = Token::Kind::Name;
      t.text = std::string(s.substr(i + 1, close - i - 1));
      t.bracketed = true;
      i = close + 1;
    } else if (c == '\'' || c == '"') {
      t.kind = Token::Kind::Text;
      ++i;
      while (true) {
        if (i >= s.size()) fail(t.at, "unclosed text");
        if (static_cast<unsigned char>(s[i]) == c) {
          if (i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == c) {
            t.text.push_back(s[i]);
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        t.text.push_back(s[i++]);
      }
    } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      t.kind = Token::Kind::Number;
      while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) t.text.push_back(s[i++]);
    } else if (name_char(c)) {
      t.kind = Token::Kind::Name;
      while (i < s.size() && name_char(static_cast<unsigned char>(s[i]))) t.text.push_back(s[i++]);
    } else {
      t.kind = Token::Kind::Symbol;
      std::string two(s.substr(i, 2));
      if (two == "<=" || two == ">=" || two == "<>") {
        t.text = two;
        i += 2;
      } else if (std::string_view("=<>,.*;()-").find(static_cast<char>(c)) != std::string_view::npos) {
        t.text = std::string(1, static_cast<char>(c));
        ++i;
      } else {
        fail(i, std::string("unexpected character '") + static_cast<char>(c) + "'");
      }
    }
    out.push_back(std::move(t));
  }
}

std::string upper(const std::string& s) {
  std::string u = s;
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

class Parser {
 public:
  explicit Parser(std::string_view sql) : sql_(sql) {
    tokens_ = tokenize(sql, [this](std::size_t at, const std::string& why) { fail_at(at, why); });
  }

  ParsedQuery parse() {
    ParsedQuery q;
    if (keyword("PARAMETERS")) {
      do {
        QueryParameter p;
        p.name = name("a parameter name");
        p.type = upper(name("a parameter type"));
        if (p.type == "TEXT" && symbol("(")) {  // TEXT(n)
          take_number();
          expect(")");
        }
        q.parameters.push_back(std::move(p));
      } while (symbol(","));
      expect(";");
    }
    expect_keyword("SELECT");
    do {
      q.select.push_back(select_item());
    } while (symbol(","));
    expect_keyword("FROM");
    q.from = name("a table name");
    while (keyword("INNER")) {
      expect_keyword("JOIN");
      QueryJoin j;
      j.table = name("a table name");
      expect_keyword("ON");
      j.on = conditions();
      q.joins.push_back(std::move(j));
    }
    if (keyword("WHERE")) q.where = conditions();
    if (keyword("ORDER")) {
      expect_keyword("BY");
      do {
        QueryOrderTerm t;
        t.column = operand();
        if (t.column.kind != QueryOperand::Kind::Name) fail("ORDER BY needs a column");
        if (keyword("DESC")) {
          t.descending = true;
        } else {
          keyword("ASC");
        }
        q.order_by.push_back(std::move(t));
      } while (symbol(","));
    }
    symbol(";");
    if (peek().kind != Token::Kind::End) fail("unexpected text");
    return q;
  }

 private:
  const Token& peek() const { return tokens_[pos_]; }
  [[noreturn]] void fail_at(std::size_t at, const std::string& why) const {
    throw Error(jet_errors::kSyntaxError,
                "Syntax error in query \"" + std::string(sql_) + "\" at position " + std::to_string(at) + ": " + why);
  }
  [[noreturn]] void fail(const std::string& why) const { fail_at(peek().at, why); }

  bool keyword(const char* kw) {
    const Token& t = peek();
    if (t.kind == Token::Kind::Name && !t.bracketed && upper(t.text) == kw) {
      ++pos_;
      return true;
    }
    return false;
  }
  void expect_keyword(const char* kw) {
    if (!keyword(kw)) fail(std::string("expected ") + kw);
  }
  bool symbol(const char* s) {
    const Token& t = peek();
    if (t.kind == Token::Kind::Symbol && t.text == s) {
      ++pos_;
      return true;
    }
    return false;
  }
  void expect(const char* s) {
    if (!symbol(s)) fail(std::string("expected '") + s + "'");
  }
  std::string name(const char* what) {
    const Token& t = peek();
    if (t.kind != Token::Kind::Name) fail(std::string("expected ") + what);
    ++pos_;
    return t.text;
  }
  std::string take_number() {
    const Token& t = peek();
    if (t.kind != Token::Kind::Number) fail("expected a number");
    ++pos_;
    return t.text;
  }

  QuerySelectItem select_item() {
    QuerySelectItem item;
    if (symbol("*")) {
      item.field = "*";
      return item;
    }
    std::string first = name("a column");
    if (symbol(".")) {
      item.table = first;
      item.field = symbol("*") ? "*" : name("a column");
    } else {
      item.field = first;
    }
    if (keyword("AS")) item.alias = name("an alias");
    return item;
  }

  QueryOperand operand() {
    QueryOperand o;
    const Token& t = peek();
    if (t.kind == Token::Kind::Number || (t.kind == Token::Kind::Symbol && t.text == "-")) {
      o.kind = QueryOperand::Kind::Number;
      if (symbol("-")) o.text = "-";
      o.text += take_number();
      return o;
    }
    if (t.kind == Token::Kind::Text) {
      o.kind = QueryOperand::Kind::Text;
      o.text = t.text;
      ++pos_;
      return o;
    }
    std::string first = name("a column, parameter or value");
    if (symbol(".")) {
      o.qualifier = first;
      o.text = name("a column");
    } else {
      o.text = first;
    }
    return o;
  }

  std::vector<QueryComparison> conditions() {
    std::vector<QueryComparison> out;
    do {
      int parens = 0;
      while (symbol("(")) ++parens;
      QueryComparison c;
      c.left = operand();
      const Token& t = peek();
      if (t.kind != Token::Kind::Symbol || (t.text != "=" && t.text != "<>" && t.text != "<" && t.text != ">" &&
                                            t.text != "<=" && t.text != ">=")) {
        fail("expected a comparison");
      }
      c.op = t.text;
      ++pos_;
      c.right = operand();
      while (parens-- > 0) expect(")");
      out.push_back(std::move(c));
    } while (keyword("AND"));
    return out;
  }

  std::string_view sql_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
};

}  // namespace

ParsedQuery parse_stored_query(std::string_view sql) { return Parser(sql).parse(); }

}  // namespace mirutone::db
