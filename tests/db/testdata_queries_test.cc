// Every stored query of the real files either runs or names the construct it
// uses that cannot be run here; none is refused as a syntax error.
#include <gtest/gtest.h>

#include <map>

#include "db/engine.h"
#include "db/errors.h"
#include "db/jet/text/names.h"
#include "support/test_support.h"

namespace mirutone::db {
namespace {

// A value of the declared type, for running a query with parameters.
jet::Value sample_value(const std::string& type) {
  if (type == "TEXT" || type == "CHAR" || type == "VARCHAR" || type == "MEMO") return std::string("A");
  if (type == "DATETIME" || type == "DATE") return std::string("1996-07-04");
  return std::int32_t{1};
}

TEST(TestdataQueries, EachRunsOrNamesWhatIsNotSupported) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto files = test::testdata_files();
  for (const auto& f : test::testdata_more_files()) files.push_back(f);
  int queries = 0, ran = 0;
  std::map<std::string, int> refused;  // by construct, for the log
  for (const auto& path : files) {
    const std::string name = path.filename().string();
    if (name.find("PASSWORD") != std::string::npos || name.find("ENCODED") != std::string::npos) continue;
    Database db;
    try {
      db = DBEngine::Workspaces(0).OpenDatabase(path.string());
    } catch (const jet::Error&) {
      continue;  // files this engine does not open are the reader tests' concern
    }
    for (int i = 0; i < db.QueryDefs().Count(); ++i) {
      QueryDef q = db.QueryDefs()[i];
      if (q.SQL.empty()) continue;
      ++queries;
      SCOPED_TRACE(name + ": " + q.Name + ": " + q.SQL);
      // A name that is neither a column nor declared is asked for as a
      // parameter (as Access asks the user): it is given a value and the query run again.
      for (int attempt = 0; attempt < 10; ++attempt) {
        try {
          for (const auto& [p, type] : q.Parameters()) q.SetParameter(p, sample_value(type));
          Recordset rs = q.OpenRecordset();
          for (; !rs.Eof(); rs.MoveNext()) {
          }
          ++ran;
        } catch (const jet::Error& e) {
          const std::string what = e.what();
          const auto at = what.find("not supported: ");
          const auto quote = what.find('\'');
          if (e.jet_code() == jet_errors::kParameterMissing && quote != std::string::npos) {
            q.SetParameter(what.substr(quote + 1, what.find('\'', quote + 1) - quote - 1), std::int32_t{1});
            continue;
          }
          if (e.jet_code() == jet_errors::kUnknownTable && quote != std::string::npos) {
            // Access keeps queries over objects since deleted; Jet refuses them as well.
            const std::string missing = what.substr(quote + 1, what.find('\'', quote + 1) - quote - 1);
            bool exists = false;
            for (int t = 0; t < db.TableDefs().Count(); ++t) exists |= jet::names_equal(db.TableDefs()[t].Name, missing);
            for (int k = 0; k < db.QueryDefs().Count(); ++k) exists |= jet::names_equal(db.QueryDefs()[k].Name, missing);
            EXPECT_FALSE(exists) << what;
            ++refused["a table or query the file does not have"];
          } else if (e.jet_code() == jet_errors::kNotSupported && at != std::string::npos) {
            ++refused[what.substr(at + 15, what.find_first_of("(,", at + 15) - at - 15)];
          } else {
            ADD_FAILURE() << "error " << e.jet_code() << ": " << what;
          }
        }
        break;
      }
    }
  }
  std::string log;
  for (const auto& [what, n] : refused) log += "  " + std::to_string(n) + " " + what + "\n";
  std::cout << queries << " stored queries, " << ran << " ran; refused:\n" << log;
  EXPECT_GT(queries, 100);
  EXPECT_GT(ran, queries / 4);
}

}  // namespace
}  // namespace mirutone::db
