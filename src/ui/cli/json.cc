#include "ui/cli/json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

namespace mirutone::cli {

std::string json_quote(std::string_view s) {
  std::string r;
  r.reserve(s.size() + 2);
  r.push_back('"');
  for (unsigned char c : s) {
    switch (c) {
      case '"': r += "\\\""; break;
      case '\\': r += "\\\\"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\t': r += "\\t"; break;
      case '\b': r += "\\b"; break;
      case '\f': r += "\\f"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          r += buf;
        } else {
          r.push_back(static_cast<char>(c));
        }
    }
  }
  r.push_back('"');
  return r;
}

void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ << ',';
    first_.back() = false;
  }
}

void JsonWriter::begin_object() {
  before_value();
  out_ << '{';
  first_.push_back(true);
}

void JsonWriter::end_object() {
  first_.pop_back();
  out_ << '}';
}

void JsonWriter::begin_array() {
  before_value();
  out_ << '[';
  first_.push_back(true);
}

void JsonWriter::end_array() {
  first_.pop_back();
  out_ << ']';
}

void JsonWriter::key(std::string_view k) {
  before_value();
  out_ << json_quote(k) << ':';
  after_key_ = true;
}

void JsonWriter::string(std::string_view s) {
  before_value();
  out_ << json_quote(s);
}

void JsonWriter::number(long long n) {
  before_value();
  out_ << n;
}

namespace {

// Shortest text that reads back as the same number; a float (Single) is read
// back as a float, so it prints its own digits rather than its double widening.
template <typename T>
std::string shortest(T x) {
  char buf[32];
  constexpr int max_prec = sizeof(T) == sizeof(float) ? 9 : 17;
  for (int prec = 1; prec <= max_prec; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, static_cast<double>(x));
    T back = sizeof(T) == sizeof(float) ? static_cast<T>(std::strtof(buf, nullptr))
                                        : static_cast<T>(std::strtod(buf, nullptr));
    if (back == x) break;
  }
  return buf;
}

}  // namespace

void JsonWriter::number(double d) {
  before_value();
  out_ << (std::isfinite(d) ? shortest(d) : "null");  // JSON has no NaN or infinity
}

void JsonWriter::boolean(bool b) {
  before_value();
  out_ << (b ? "true" : "false");
}

void JsonWriter::null() {
  before_value();
  out_ << "null";
}

void JsonWriter::raw(std::string_view json) {
  before_value();
  out_ << json;
}

void JsonWriter::value(const jet::Value& v) {
  std::visit(
      [this](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          null();
        } else if constexpr (std::is_same_v<T, bool>) {
          boolean(x);
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
          number(static_cast<long long>(x));
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          string(jet::format_currency(x));
        } else if constexpr (std::is_same_v<T, float>) {
          before_value();
          out_ << (std::isfinite(x) ? shortest(x) : "null");
        } else if constexpr (std::is_same_v<T, double>) {
          number(x);
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          string(jet::format_datetime(x));
        } else if constexpr (std::is_same_v<T, std::string>) {
          string(x);
        } else if constexpr (std::is_same_v<T, jet::Bytes>) {
          string(jet::to_hex(x));
        } else if constexpr (std::is_same_v<T, jet::Guid>) {
          string(jet::format_guid(x));
        } else if constexpr (std::is_same_v<T, jet::Decimal>) {
          string(jet::format_decimal(x));
        }
      },
      v);
}

}  // namespace mirutone::cli
