#include "convert/source_builder.h"

#include <stdexcept>

namespace mirutone::test {
namespace {

using jet::ColumnDesign;
using jet::ColumnType;

ColumnDesign col(const std::string& name, ColumnType type, int size = 0) {
  ColumnDesign c;
  c.name = name;
  c.type = type;
  c.size = size;
  c.allow_zero_length = type == ColumnType::Text;
  return c;
}

jet::TableDesign data_table(const std::string& name, int slots, bool text_id) {
  jet::TableDesign t{name, {}, {}};
  t.columns.push_back(text_id ? col("TAG_ID", ColumnType::Text, 10) : col("TAG_ID", ColumnType::Long));
  t.columns.push_back(col("Date", ColumnType::Text, 20));
  for (int i = 1; i <= slots; ++i) t.columns.push_back(col("DATA_" + std::to_string(i), ColumnType::Text, 20));
  for (const char* n : {"TOTAL", "AVE", "Max", "Min"}) t.columns.push_back(col(n, ColumnType::Text, 20));
  return t;
}

}  // namespace

SourceBuilder::SourceBuilder() {
  jet::TableDesign tags{"TAG情報マスター", {}, {}};
  tags.columns = {col("TAG_ID", ColumnType::Long),     col("Tag", ColumnType::Text, 30),
                  col("TAG名称", ColumnType::Text, 120), col("有効桁", ColumnType::Long),
                  col("最大値", ColumnType::Double),     col("最小値", ColumnType::Double)};
  for (const char* n : {"大項目NO", "中項目NO", "小項目NO", "単位NO"}) tags.columns.push_back(col(n, ColumnType::Integer));
  for (const char* n : {"TOTAL_FLG", "AVE_FLG", "MAX_FLG", "MIN_FLG"}) tags.columns.push_back(col(n, ColumnType::Boolean));
  tags.columns.push_back(col("種別", ColumnType::Integer));
  tags.columns.push_back(col("P種別", ColumnType::Double));
  tags.columns.push_back(col("収集種別", ColumnType::Integer));
  tags.columns.push_back(col("パルスMAX", ColumnType::Text, 20));
  tags.columns.push_back(col("換算係数", ColumnType::Text, 20));
  for (const char* n : {"A", "B", "C", "D", "E", "F"}) tags.columns.push_back(col(n, ColumnType::Long));
  tags.columns.push_back(col("CALC", ColumnType::Text, 80));
  tables_.push_back(tags);
  tables_.push_back({"パルステーブル", {col("TAG_ID", ColumnType::Long), col("Data", ColumnType::Text, 30)}, {}});
  for (const char* r : {"日報", "月報", "年報"}) {
    std::string p = r;
    tables_.push_back({p + "ページタイトル", {col("Page", ColumnType::Long), col("Title", ColumnType::Text, 120)}, {}});
    tables_.push_back({p + "出力ページ", {col("Page", ColumnType::Long)}, {}});
    tables_.push_back({p + "情報",
                       {col("TAG_ID", ColumnType::Long), col("ページNO", ColumnType::Integer),
                        col("項目NO", ColumnType::Integer)},
                       {}});
  }
  for (auto [table, number] : {std::pair{"大項目情報", "大項目NO"}, std::pair{"中項目情報", "中項目NO"},
                               std::pair{"小項目情報", "小項目NO"}, std::pair{"単位情報", "単位NO"}}) {
    tables_.push_back({table, {col(number, ColumnType::Long), col("名称", ColumnType::Text, 80)}, {}});
  }
  tables_.push_back(data_table("日報データ情報", 24, true));
  tables_.push_back(data_table("月報データ情報", 31, false));
  tables_.push_back(data_table("年報データ情報", 12, false));
}

jet::TableDesign& SourceBuilder::design(const std::string& table) {
  for (auto& t : tables_) {
    if (t.name == table) return t;
  }
  throw std::invalid_argument("no source table " + table);
}

void SourceBuilder::add(const std::string& table, const Row& row) {
  const auto& t = design(table);
  for (const auto& [name, value] : row) {
    bool found = false;
    for (const auto& c : t.columns) found = found || c.name == name;
    if (!found) throw std::invalid_argument("no column " + name + " in " + table);
  }
  rows_[table].push_back(row);
}

void SourceBuilder::drop(const std::string& table) {
  for (auto it = tables_.begin(); it != tables_.end(); ++it) {
    if (it->name == table) {
      tables_.erase(it);
      rows_.erase(table);
      return;
    }
  }
  throw std::invalid_argument("no source table " + table);
}

void SourceBuilder::write(const std::string& path) const {
  auto w = jet::Writer::create(path, jet::Locale::japanese());
  for (const auto& t : tables_) {
    w->create_table(t);
    auto it = rows_.find(t.name);
    if (it == rows_.end()) continue;
    for (const auto& row : it->second) {
      std::vector<jet::Value> values;
      for (const auto& c : t.columns) {
        auto v = row.find(c.name);
        values.push_back(v == row.end() ? jet::Value() : v->second);
      }
      w->append_row(t.name, values);
    }
  }
  w->close();
}

}  // namespace mirutone::test
