// Running the independent readers (mdbtools, mdb-reader) over files we write.
#pragma once

#include <string>

namespace mirutone::test {

// Output of an mdbtools command run as `tool [args] 'file' [tail]` with the
// Jet 3 charset set to CP932; fails the test when the tool exits non-zero.
std::string mdbtool(const std::string& tool, const std::string& file, const std::string& args = "",
                    const std::string& tail = "");

// mdb-reader's --lines dump of `file` (see tests/oracle/read_with_mdb_reader.mjs).
std::string mdb_reader_lines(const std::string& file, const std::string& extra = "");

int count_lines_starting(const std::string& text, const std::string& prefix);

}  // namespace mirutone::test
