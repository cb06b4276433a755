#include "db/select_sql.h"

#include <gtest/gtest.h>

#include "db/errors.h"

namespace mirutone::db {
namespace {

TEST(ParseSelect, TheFormsTheCopyStepsUse) {
  auto s = parse_select("SELECT * FROM TAG情報マスター ORDER BY TAG_ID");
  EXPECT_EQ(s.table, "TAG情報マスター");
  ASSERT_EQ(s.order_by.size(), 1u);
  EXPECT_EQ(s.order_by[0], (OrderItem{"TAG_ID", false}));

  s = parse_select("select *\r\n from [日報 データ] order by Page desc, 項目NO asc;");
  EXPECT_EQ(s.table, "日報 データ");
  ASSERT_EQ(s.order_by.size(), 2u);
  EXPECT_EQ(s.order_by[0], (OrderItem{"Page", true}));
  EXPECT_EQ(s.order_by[1], (OrderItem{"項目NO", false}));

  s = parse_select("M_TAG");
  EXPECT_EQ(s.table, "M_TAG");
  EXPECT_TRUE(s.order_by.empty());

  // A table whose name starts like a keyword is still a name.
  s = parse_select("SELECT * FROM ORDERS ORDER BY DESCR");
  EXPECT_EQ(s.table, "ORDERS");
  EXPECT_EQ(s.order_by[0], (OrderItem{"DESCR", false}));
}

TEST(ParseSelect, RefusesWhatItDoesNotKnow) {
  for (const char* bad : {"SELECT a FROM t", "SELECT * FROM", "SELECT * FROM t WHERE x = 1",
                          "SELECT * FROM t ORDER BY", "SELECT * FROM [t", "M_TAG extra", ""}) {
    try {
      parse_select(bad);
      ADD_FAILURE() << "accepted: " << bad;
    } catch (const Error& e) {
      EXPECT_EQ(e.jet_code(), 3075) << bad;
      EXPECT_NE(std::string(e.what()).find("Syntax error"), std::string::npos);
    }
  }
}

TEST(NamesMatch, LettersWithoutRegardToCaseOthersExactly) {
  EXPECT_TRUE(names_match("Data", "DATA"));
  EXPECT_TRUE(names_match("tag_id", "TAG_ID"));
  EXPECT_TRUE(names_match("大項目No", "大項目NO"));
  EXPECT_TRUE(names_match("ｄａｔａ", "ＤＡＴＡ"));
  EXPECT_FALSE(names_match("大項目NO", "中項目NO"));
  EXPECT_FALSE(names_match("パルス", "ﾊﾟﾙｽ"));  // kana width matters
  EXPECT_FALSE(names_match("DATA", "DATA_1"));
}

}  // namespace
}  // namespace mirutone::db
