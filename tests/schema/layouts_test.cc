#include "schema/layouts.h"
#include "schema/query_texts.h"

#include <gtest/gtest.h>

namespace mirutone::schema {
namespace {

// Characters, not bytes: the texts are UTF-8.
size_t chars(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

TEST(Layouts, TablesFieldCountsAndKeys) {
  std::vector<std::string> names;
  std::vector<size_t> counts;
  for (const auto& t : kanri_tables()) {
    names.push_back(t.name);
    counts.push_back(t.fields.size());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"M_TAG", "パルステーブル", "日報ページタイトル", "月報ページタイトル",
                                             "年報ページタイトル", "日報出力ページ", "月報出力ページ", "年報出力ページ",
                                             "日報情報", "月報情報", "年報情報", "大項目情報", "中項目情報",
                                             "小項目情報", "M_UNIT"}));
  EXPECT_EQ(counts, (std::vector<size_t>{26, 2, 2, 2, 2, 1, 1, 1, 3, 3, 3, 2, 2, 2, 2}));
  names.clear();
  counts.clear();
  for (const auto& t : data_tables()) {
    names.push_back(t.name);
    counts.push_back(t.fields.size());
    if (t.name != "パルステーブル") EXPECT_EQ(t.primary_key, (std::vector<std::string>{"DATE", "TAG_ID"}));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"パルステーブル", "D_DDAT", "D_DDATWORK", "D_MDAT", "D_MDATWORK",
                                             "D_YDAT", "D_YDATWORK"}));
  EXPECT_EQ(counts, (std::vector<size_t>{2, 30, 30, 37, 37, 18, 18}));
  // Slot names carry no leading zeros and run without gaps.
  const auto& daily = data_tables()[1];
  EXPECT_EQ(daily.fields[2].name, "DATA_1");
  EXPECT_EQ(daily.fields[10].name, "DATA_9");
  EXPECT_EQ(daily.fields[25].name, "DATA_24");
  EXPECT_EQ(daily.fields[26].name, "TOTAL");
  EXPECT_EQ(daily.fields[29].name, "MIN");
}

TEST(Layouts, EveryKeyFieldExistsAndItemTablesHaveNoKey) {
  for (const auto* set : {&kanri_tables(), &data_tables()}) {
    for (const auto& t : *set) {
      for (const auto& k : t.primary_key) {
        bool found = false;
        for (const auto& f : t.fields) found |= f.name == k;
        EXPECT_TRUE(found) << t.name << "." << k;
      }
      bool item_table = t.name == "日報情報" || t.name == "月報情報" || t.name == "年報情報";
      EXPECT_EQ(t.primary_key.empty(), item_table) << t.name;
    }
  }
}

TEST(QueryTexts, ExactTextsAndLengths) {
  auto q = kanri_queries();
  ASSERT_EQ(q.size(), 10u);
  EXPECT_EQ(q[0].sql, "SELECT * FROM 日報情報 ORDER BY ページNO,項目NO");
  EXPECT_EQ(q[9].name, "M_UNITGET");
  EXPECT_EQ(q[9].sql, "SELECT * FROM M_UNIT ORDER BY 単位NO");
  EXPECT_EQ(q[1].sql,
            "PARAMETERS Set_Date SHORT; SELECT 日報情報.*,M_TAG.大項目NO,M_TAG.中項目NO,M_TAG.小項目NO, "
            "M_TAG.単位NO,M_TAG.TOTAL_FLG,M_TAG.AVE_FLG, M_TAG.有効桁,M_TAG.最大値,M_TAG.最小値, "
            "M_TAG.MAX_FLG,M_TAG.MIN_FLG,M_TAG.種別,M_TAG.P種別 FROM 日報情報 INNER JOIN M_TAG ON "
            "日報情報.TAG_ID = M_TAG.TAG_ID WHERE 日報情報.ページNO = Set_Date ORDER BY 日報情報.項目NO");
  for (int i : {1, 3, 5}) {
    EXPECT_EQ(chars(q[i].sql), 301u) << q[i].name;
    EXPECT_NE(q[i].sql.back(), ' ');
  }
  EXPECT_NE(q[3].sql.find("FROM 月報情報 INNER JOIN"), std::string::npos);
  EXPECT_EQ(q[5].sql.find("日報"), std::string::npos);
}

}  // namespace
}  // namespace mirutone::schema
