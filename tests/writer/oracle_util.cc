#include "writer/oracle_util.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/test_support.h"

namespace mirutone::test {

std::string mdbtool(const std::string& tool, const std::string& file, const std::string& args,
                    const std::string& tail) {
  std::string out;
  std::string cmd = "MDB_JET3_CHARSET=CP932 " + tool + " " + args + " '" + file + "' " + tail + " 2>&1";
  int rc = run_command(cmd, &out);
  EXPECT_EQ(rc, 0) << cmd << "\n" << out;
  return out;
}

std::string mdb_reader_lines(const std::string& file, const std::string& extra) {
  std::string out;
  std::string script = std::string(MIRUTONE_SOURCE_DIR) + "/tests/oracle/read_with_mdb_reader.mjs";
  std::string cmd = "node '" + script + "' --lines " + extra + " '" + file + "' 2>&1";
  int rc = run_command(cmd, &out);
  EXPECT_EQ(rc, 0) << cmd << "\n" << out;
  return out;
}

int count_lines_starting(const std::string& text, const std::string& prefix) {
  std::istringstream in(text);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) ++n;
  }
  return n;
}

}  // namespace mirutone::test
