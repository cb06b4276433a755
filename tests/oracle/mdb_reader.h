// Runs read_with_mdb_reader.mjs (the npm package mdb-reader) on a file and
// parses its line output: the second independent reader of the oracle tests.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mirutone::oracle {

// Empty when node and the installed mdb-reader package can be used, otherwise why not.
std::string mdb_reader_unavailable_reason();

struct MdbReaderColumn {
  std::string name, type;  // type as mdb-reader names it: "long", "text", "memo", ...
  int size = 0;
  bool fixed = false, nullable = true, auto_long = false;
  int precision = 0, scale = 0;
};

// One cell: tag (see the script: b i f c n d s x g) and text, or nullopt for NULL.
struct MdbReaderCell {
  char tag = 'N';
  std::string text;
};

struct MdbReaderTable {
  std::string name;
  long row_count = 0;  // from the table definition
  std::vector<MdbReaderColumn> columns;
  std::vector<std::vector<MdbReaderCell>> rows;
  std::optional<std::string> error;  // mdb-reader failed part-way through the rows
};

// Every user table of a file. Throws std::runtime_error when the script fails.
std::vector<MdbReaderTable> mdb_reader_dump(const std::string& file);

}  // namespace mirutone::oracle
