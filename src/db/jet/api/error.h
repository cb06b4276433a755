// Errors raised by the Jet engine. Each carries the file it concerns and, where
// it applies, Jet's own error number, so the layers above can pass it on.
#pragma once

#include <stdexcept>
#include <string>

#include "db/jet/api/error_numbers.h"

namespace mirutone::jet {

class Error : public std::runtime_error {
 public:
  // jet_code: Jet's error number where one fits (3049 "cannot open database",
  // 3022 duplicate key, ...), 0 otherwise.
  Error(int jet_code, std::string file, const std::string& what)
      : std::runtime_error(file.empty() ? what : file + ": " + what),
        jet_code_(jet_code),
        file_(std::move(file)) {}
  int jet_code() const noexcept { return jet_code_; }
  const std::string& file() const noexcept { return file_; }

 private:
  int jet_code_;
  std::string file_;
};

// A file that is not a Jet database, or whose structures are damaged.
class CorruptError : public Error {
 public:
  CorruptError(std::string file, const std::string& what) : Error(error_numbers::kCannotOpenDatabase, std::move(file), what) {}
};

}  // namespace mirutone::jet
