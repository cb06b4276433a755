// mirutone inspect, run as a user would: its exit status, its text summary and
// the JSON document other programs read. Node (installed for the mdb-reader
// oracle) checks that the JSON parses and has the agreed shape.
#include <gtest/gtest.h>

#include <fstream>

#include "support/test_support.h"

namespace mirutone::test {
namespace {

std::string sample(const std::string& name) { return (testdata_dir() / name).string(); }

int inspect(const std::string& args, std::string* out) {
  return run_command(mirutone_binary() + " inspect " + args + " 2>&1", out);
}

// Runs a small Node program over a JSON document; returns what it prints.
std::string node_eval(const std::string& json, const std::string& program) {
  TempDir dir;
  {
    std::ofstream(dir / "doc.json") << json;
    std::ofstream(dir / "check.js") << "const d = JSON.parse(require('fs').readFileSync(process.argv[2], 'utf8'));\n"
                                    << program << "\n";
  }
  std::string out;
  int rc = run_command("node '" + (dir / "check.js").string() + "' '" + (dir / "doc.json").string() + "' 2>&1", &out);
  if (rc != 0) return "node failed: " + out;
  return out;
}

TEST(InspectCommand, JsonHasTheAgreedShapeAndTheRows) {
  MIRUTONE_REQUIRE_TESTDATA();
  std::string out;
  ASSERT_EQ(inspect("'" + sample("j3_patched_cp932.mdb") + "' --codepage 932 --table Table1 --json", &out), 0) << out;
  // Shape: every key present with the right kind, for every table, column and index.
  std::string shape = node_eval(out, R"(
    const ok = typeof d.format === 'string' && Number.isInteger(d.codepage) && Number.isInteger(d.sort_order) &&
      Array.isArray(d.tables) && Array.isArray(d.queries) &&
      d.tables.every(t => typeof t.name === 'string' && Number.isInteger(t.row_count) &&
        t.columns.every(c => typeof c.name === 'string' && typeof c.type === 'string' && Number.isInteger(c.size) &&
          typeof c.nullable === 'boolean' && typeof c.autonumber === 'boolean' && typeof c.allow_zero_length === 'boolean') &&
        t.indexes.every(i => typeof i.name === 'string' && Array.isArray(i.columns) && typeof i.primary === 'boolean' &&
          typeof i.unique === 'boolean') &&
        t.rows.length === t.row_count && t.rows.every(r => r.length === t.columns.length));
    console.log(ok ? 'shape ok' : 'bad shape');
    console.log(d.format, d.codepage, d.tables.length, d.tables[0].name);
    console.log(d.tables[0].columns.map(c => c.type).join(','));
    console.log(d.tables[0].rows.map(r => r[0]).join('|'));)");
  EXPECT_NE(shape.find("shape ok"), std::string::npos) << shape;
  EXPECT_NE(shape.find("jet3 932 1 Table1"), std::string::npos) << shape;
  EXPECT_NE(shape.find("Text,Text,Byte,Integer,Long,Double,DateTime,Currency,Boolean"), std::string::npos) << shape;
  // The patched CP932 text comes back as Japanese.
  EXPECT_NE(out.find("日本ｱxy"), std::string::npos) << out;
}

TEST(InspectCommand, ValuesOfEveryKindAsAgreed) {
  MIRUTONE_REQUIRE_TESTDATA();
  std::string out;
  // Decimal columns come as exact decimal strings; dates as ISO text.
  ASSERT_EQ(inspect("'" + sample("j4_jackcess_fixednumeric.mdb") + "' --json", &out), 0) << out;
  std::string facts = node_eval(out, R"(
    const t = d.tables[0];
    const i = t.columns.findIndex(c => c.type === 'Decimal');
    console.log('decimal', typeof t.rows[0][i]);)");
  EXPECT_NE(facts.find("decimal string"), std::string::npos) << facts;

  out.clear();
  ASSERT_EQ(inspect("'" + sample("j4_mdbtestdata_dates.mdb") + "' --json", &out), 0) << out;
  EXPECT_NE(out.find("\"9999-01-01T00:00:00\""), std::string::npos);
  EXPECT_NE(out.find("\"1898-01-01T00:00:00\""), std::string::npos);
  EXPECT_NE(out.find("\"0632-01-01T00:00:00\""), std::string::npos);
}

TEST(InspectCommand, SystemTablesOnlyWhenAsked) {
  MIRUTONE_REQUIRE_TESTDATA();
  std::string plain, with_system;
  ASSERT_EQ(inspect("'" + sample("j3_ucanaccess_size97.mdb") + "'", &plain), 0);
  ASSERT_EQ(inspect("'" + sample("j3_ucanaccess_size97.mdb") + "' --system", &with_system), 0);
  EXPECT_EQ(plain.find("MSysObjects"), std::string::npos);
  EXPECT_NE(with_system.find("Table MSysObjects"), std::string::npos);
  EXPECT_NE(plain.find("Format:     Jet 3 (Access 97)"), std::string::npos) << plain;
}

TEST(InspectCommand, BadInputEndsWithAClearErrorAndStatusOne) {
  TempDir dir;
  std::string out;
  EXPECT_EQ(inspect("'" + (dir / "missing.mdb").string() + "'", &out), 1);
  EXPECT_NE(out.find("missing.mdb"), std::string::npos) << out;
  {
    std::ofstream f(dir / "text.mdb");
    f << "this is not a database\n";
  }
  out.clear();
  EXPECT_EQ(inspect("'" + (dir / "text.mdb").string() + "'", &out), 1);
  EXPECT_NE(out.find("text.mdb"), std::string::npos) << out;
  out.clear();
  EXPECT_EQ(inspect("", &out), 2);  // no FILE: a usage error
  if (!testdata_dir().empty()) {
    out.clear();
    EXPECT_EQ(inspect("'" + sample("j3_ucanaccess_size97.mdb") + "' --table NoSuchTable", &out), 1);
    EXPECT_NE(out.find("NoSuchTable"), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace mirutone::test
