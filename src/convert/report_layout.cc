// Steps 2 to 11: the pulse table and the daily, monthly and yearly report
// layouts (page titles, output pages, report items) into the management
// database, every row and field as it stands.
#include "convert/copy_step.h"

namespace mirutone::convert {

std::vector<CopyStep> report_layout_steps() {
  auto same = [](int n, const std::string& table, std::vector<std::string> fields) {
    std::string sql = "SELECT * FROM " + table;
    return carry_step(n, sql, sql, TargetDb::Kanri, std::move(fields));
  };
  return {
      same(2, "パルステーブル", {"TAG_ID", "Data"}),
      same(3, "日報ページタイトル", {"Page", "Title"}),
      same(4, "月報ページタイトル", {"Page", "Title"}),
      same(5, "年報ページタイトル", {"Page", "Title"}),
      same(6, "日報出力ページ", {"Page"}),
      same(7, "月報出力ページ", {"Page"}),
      same(8, "年報出力ページ", {"Page"}),
      same(9, "日報情報", {"TAG_ID", "ページNO", "項目NO"}),
      same(10, "月報情報", {"TAG_ID", "ページNO", "項目NO"}),
      same(11, "年報情報", {"TAG_ID", "ページNO", "項目NO"}),
  };
}

}  // namespace mirutone::convert
