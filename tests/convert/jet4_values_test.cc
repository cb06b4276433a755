// Values read from Jet 4 files (UCS-2 text) assigned to the fields of a new
// Jet 3, code page 932 database, as a conversion of such a source does.
#include <gtest/gtest.h>

#include "convert/run_fixture.h"
#include "db/engine.h"
#include "db/errors.h"

namespace mirutone::test {
namespace {

namespace fs = std::filesystem;

db::Database japanese_db(const TempDir& dir) {
  db::Database d = db::DBEngine::Workspaces(0).CreateDatabase((dir / "out.mdb").string(), db::dbLangJapanese);
  db::TableDef t = d.CreateTableDef("T");
  db::Field text = t.CreateField("TEXT", db::dbText, 255);
  text.AllowZeroLength = true;
  t.Fields.Append(text);
  t.Fields.Append(t.CreateField("N", db::dbLong));
  d.TableDefs().Append(t);
  return d;
}

TEST(Jet4Values, JapaneseTextOfAJet4FileFitsCodePage932) {
  MIRUTONE_REQUIRE_TESTDATA();
  TempDir dir;
  db::Database src = db::DBEngine::Workspaces(0).OpenDatabase((testdata_dir() / "j4_ja_northwind.mdb").string());
  db::Database dst = japanese_db(dir);
  std::vector<std::string> names;
  db::Recordset in = src.OpenRecordset("SELECT * FROM 商品", db::dbOpenSnapshot);
  db::Recordset out = dst.OpenRecordset("SELECT * FROM T", db::dbOpenDynaset);
  while (!in.Eof()) {
    jet::Value name = in.Fields("商品名").Value();
    names.push_back(std::get<std::string>(name));
    out.AddNew();
    out.Fields("TEXT").SetValue(name);
    out.Fields("N").SetValue(in.Fields("商品コード").Value());
    out.Update();
    in.MoveNext();
  }
  in.Close();
  out.Close();
  dst.Close();
  ASSERT_EQ(names.size(), 123u);
  auto rows = read_table(dir / "out.mdb", "T");
  ASSERT_EQ(rows.size(), names.size());
  bool kana = false;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i]["TEXT"], jet::Value(names[i]));
    kana = kana || names[i].find("ｰ") != std::string::npos || names[i].find("ー") != std::string::npos;
  }
  EXPECT_TRUE(kana) << "the product names should include kana";
}

TEST(Jet4Values, CharacterOutsideCodePage932IsRefusedByName) {
  MIRUTONE_REQUIRE_TESTDATA();
  TempDir dir;
  db::Database src = db::DBEngine::Workspaces(0).OpenDatabase((testdata_dir() / "j4_jackcess_unicodecomp.mdb").string());
  db::Database dst = japanese_db(dir);
  db::Recordset in = src.OpenRecordset("SELECT * FROM [Table]", db::dbOpenSnapshot);
  db::Recordset out = dst.OpenRecordset("SELECT * FROM T", db::dbOpenDynaset);
  std::vector<std::string> stored;
  int refused = 0;
  while (!in.Eof()) {
    jet::Value text = in.Fields("Unicode").Value();
    const std::string& s = std::get<std::string>(text);
    try {
      out.AddNew();
      out.Fields("TEXT").SetValue(text);
      out.Fields("N").SetValue(in.Fields("ID").Value());
      out.Update();
      stored.push_back(s);
    } catch (const db::Error& e) {
      ++refused;
      out.CancelUpdate();
      std::string what = e.what();
      // Finnish ä, polytonic Greek and the Latin-1 row have characters code page 932 lacks.
      if (s == "ääkkösiä") {
        EXPECT_NE(what.find("U+00E4"), std::string::npos) << what;
      }
      EXPECT_NE(what.find("TEXT"), std::string::npos) << what;
      EXPECT_NE(what.find("932"), std::string::npos) << what;
    }
    in.MoveNext();
  }
  out.Close();
  dst.Close();
  EXPECT_GE(refused, 3);
  // What code page 932 holds (ASCII, Cyrillic, kanji and kana) is stored and reads back the same.
  auto rows = read_table(dir / "out.mdb", "T");
  ASSERT_EQ(rows.size(), stored.size());
  // The one exception: code page 932 has no yen sign of its own; its byte 0x5C
  // is shown as ¥ by Japanese fonts but reads back as the backslash.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::string want = stored[i];
    for (auto at = want.find("¥"); at != std::string::npos; at = want.find("¥")) want.replace(at, 2, "\\");
    EXPECT_EQ(rows[i]["TEXT"], jet::Value(want));
  }
  EXPECT_NE(std::find(stored.begin(), stored.end(), "Мир"), stored.end());
  EXPECT_NE(std::find(stored.begin(), stored.end(), "漢字仮名交じり文"), stored.end());
}

}  // namespace
}  // namespace mirutone::test
