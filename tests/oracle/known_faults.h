// What the sample files' MANIFEST.md records about them where mdbtools prints a
// wrong value without an error, or where a file needs a code page other than
// its header's. The oracle tests hold our Reader to these true values.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mirutone::oracle {

// A Date/Time cell mdb-export prints wrongly (as 1900-01-00), with the raw
// day count the file really holds.
struct TrueDate {
  std::string table;
  std::size_t row;  // storage order, from 0
  std::string column;
  double days;
};

// File-specific facts, keyed by file name (no directory).
struct FileFacts {
  int codepage_override = 0;      // for ReadOptions; 0 = the header's
  std::vector<TrueDate> true_dates;
  // Tables whose stored row count is stale: name and the real number of rows.
  std::vector<std::pair<std::string, std::size_t>> true_row_counts;
  // Text that must appear somewhere in a table (proves the decoding).
  std::vector<std::pair<std::string, std::string>> expected_text;
};

const FileFacts& facts_for(const std::string& file_name);

// The day count mdb-export prints for a TrueDate cell, if any.
std::optional<double> true_date(const FileFacts& facts, const std::string& table,
                                std::size_t row, const std::string& column);

}  // namespace mirutone::oracle
