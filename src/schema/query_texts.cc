#include "schema/query_texts.h"

namespace mirutone::schema {
namespace {

const char* const kOrderByPageItem = "ORDER BY ページNO,項目NO";

const char* const kParameters = "PARAMETERS Set_Date SHORT; ";
const char* const kTagColumns2 = "M_TAG.単位NO,M_TAG.TOTAL_FLG,M_TAG.AVE_FLG, ";
const char* const kTagColumns3 = "M_TAG.有効桁,M_TAG.最大値,M_TAG.最小値, ";
const char* const kTagColumns4 = "M_TAG.MAX_FLG,M_TAG.MIN_FLG,M_TAG.種別,M_TAG.P種別 ";

std::string sorted_items(const std::string& table) {
  std::string s = "SELECT * FROM " + table + " ";
  s += kOrderByPageItem;
  return s;
}

std::string items_of_page(const std::string& table) {
  std::string s = kParameters;
  s += "SELECT " + table + ".*,M_TAG.大項目NO,M_TAG.中項目NO,M_TAG.小項目NO, ";
  s += kTagColumns2;
  s += kTagColumns3;
  s += kTagColumns4;
  s += "FROM " + table + " INNER JOIN M_TAG ON " + table + ".TAG_ID = M_TAG.TAG_ID ";
  s += "WHERE " + table + ".ページNO = Set_Date ";
  s += "ORDER BY " + table + ".項目NO";
  return s;
}

std::string sorted_by(const std::string& table, const std::string& field) {
  return "SELECT * FROM " + table + " " + "ORDER BY " + field;
}

}  // namespace

std::vector<StoredQuery> kanri_queries() {
  return {
      {"日報情報ソート", sorted_items("日報情報")},
      {"日報情報ページ単位抽出", items_of_page("日報情報")},
      {"月報情報ソート", sorted_items("月報情報")},
      {"月報情報ページ単位抽出", items_of_page("月報情報")},
      {"年報情報ソート", sorted_items("年報情報")},
      {"年報情報ページ単位抽出", items_of_page("年報情報")},
      {"大項目情報抽出", sorted_by("大項目情報", "大項目NO")},
      {"中項目情報抽出", sorted_by("中項目情報", "中項目NO")},
      {"小項目情報抽出", sorted_by("小項目情報", "小項目NO")},
      {"M_UNITGET", sorted_by("M_UNIT", "単位NO")},
  };
}

}  // namespace mirutone::schema
