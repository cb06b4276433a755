// A small streaming JSON writer for the command line's --json output.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "db/jet/api/value.h"

namespace mirutone::cli {

class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}

  void begin_object();
  void end_object();
  void begin_array();
  void end_array();
  void key(std::string_view k);
  void string(std::string_view s);
  void number(long long n);
  void number(double d);
  void boolean(bool b);
  void null();
  // A value already rendered as JSON by another JsonWriter.
  void raw(std::string_view json);
  // A Jet value in the agreed shape: null, true/false, numbers, Currency and
  // Decimal as exact decimal strings, text, dates as "YYYY-MM-DDTHH:MM:SS",
  // binary as lowercase hex, GUIDs in braces.
  void value(const jet::Value& v);

 private:
  void before_value();
  std::ostream& out_;
  std::vector<bool> first_;  // per open container: no element written yet
  bool after_key_ = false;
};

// Escapes a UTF-8 string as a JSON string literal (with the quotes).
std::string json_quote(std::string_view s);

}  // namespace mirutone::cli
