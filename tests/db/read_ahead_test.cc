// Snapshots of large tables read their rows on a thread of their own: the
// rows, and a failure to read one, must come exactly as a plain read gives them.
#include <gtest/gtest.h>

#include <fstream>

#include "db/engine.h"
#include "db/jet/format/format.h"
#include "db/jet/api/reader.h"
#include "support/test_support.h"

namespace mirutone::db {
namespace {

constexpr int kRows = 6000;  // well past the size from which rows are read ahead

struct Read {
  std::vector<std::string> names;
  std::string failure;  // empty when the table read to its end
};

Read through_engine(const std::string& path) {
  Read out;
  try {
    auto cursor = jet::Reader::open(path)->rows("Items");
    std::vector<jet::Value> row;
    while (cursor->next(row)) out.names.push_back(std::get<std::string>(row[1]));
  } catch (const std::exception& e) {
    out.failure = e.what();
  }
  return out;
}

Read through_snapshot(const std::string& path) {
  Read out;
  Database db = DBEngine::Workspaces(0).OpenDatabase(path);
  try {
    for (Recordset rs = db.OpenRecordset("Items", dbOpenSnapshot); !rs.Eof(); rs.MoveNext()) {
      out.names.push_back(std::get<std::string>(rs.Fields("NAME").Value()));
    }
  } catch (const std::exception& e) {
    out.failure = e.what();
  }
  return out;
}

TEST(ReadAhead, SnapshotGivesThePlainReadsRowsAndFailureInOrder) {
  test::TempDir dir;
  const std::string path = (dir / "a.mdb").string();
  {
    Database db = DBEngine::Workspaces(0).CreateDatabase(path, dbLangJapanese);
    TableDef t = db.CreateTableDef("Items");
    t.Fields.Append(t.CreateField("ID", dbLong));
    t.Fields.Append(t.CreateField("NAME", dbText, 20));
    db.TableDefs().Append(t);
    Recordset rs = db.OpenRecordset("Items");
    for (int i = 0; i < kRows; ++i) {
      rs.AddNew();
      rs.Fields("ID").SetValue(jet::Value{std::int32_t{i}});
      rs.Fields("NAME").SetValue(jet::Value{"row " + std::to_string(i)});
      rs.Update();
    }
    rs.Close();
    db.Close();
  }
  const Read whole = through_snapshot(path);
  ASSERT_EQ(whole.names.size(), static_cast<std::size_t>(kRows)) << whole.failure;
  EXPECT_EQ(whole.names, through_engine(path).names);

  // Closed after a few rows, while the thread waits for room: it stops.
  {
    Database db = DBEngine::Workspaces(0).OpenDatabase(path);
    Recordset rs = db.OpenRecordset("Items", dbOpenSnapshot);
    for (int i = 0; i < 10; ++i) rs.MoveNext();
    EXPECT_EQ(std::get<std::string>(rs.Fields("NAME").Value()), "row 10");
    rs.Close();
  }

  // A data page in the middle of the table that is no longer one.
  const std::uint32_t tdef = jet::Reader::open(path)->table("Items").tdef_page;
  const auto& lay = jet::fmt::layout(jet::Format::Jet3);
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<char> page(static_cast<std::size_t>(lay.page_size));
  int seen = 0;
  for (std::uint32_t p = 0; f.read(page.data(), lay.page_size); ++p) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(page.data());
    if (bytes[0] != jet::fmt::kPageData || jet::fmt::get_u32(bytes + lay.dp_off_owner) != tdef) continue;
    if (++seen < 20) continue;
    f.seekp(static_cast<std::streamoff>(p) * lay.page_size);
    f.put('\x55');
    break;
  }
  f.close();
  ASSERT_EQ(seen, 20);
  const Read plain = through_engine(path);
  ASSERT_FALSE(plain.failure.empty());
  ASSERT_GT(plain.names.size(), 2000u);
  const Read ahead = through_snapshot(path);
  EXPECT_EQ(ahead.names, plain.names);
  EXPECT_EQ(ahead.failure, plain.failure);
}

}  // namespace
}  // namespace mirutone::db
