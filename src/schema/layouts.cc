#include "schema/layouts.h"

namespace mirutone::schema {
namespace {

FieldLayout text(const std::string& name, int size, bool zero_length) {
  return {name, dbText, size, false, zero_length};
}
FieldLayout num(const std::string& name, FieldType type) { return {name, type, 0, false, false}; }
FieldLayout counter(const std::string& name) { return {name, dbLong, 0, true, false}; }

TableLayout page_title(const std::string& name) {
  return {name, {num("PAGE", dbInteger), text("TITLE", 40, false)}, {"PAGE"}};
}
TableLayout output_page(const std::string& name) { return {name, {num("PAGE", dbInteger)}, {"PAGE"}}; }
TableLayout report_items(const std::string& name) {
  return {name, {num("TAG_ID", dbLong), num("ページNO", dbInteger), num("項目NO", dbInteger)}, {}};
}
TableLayout numbered_names(const std::string& name, const std::string& number_field, int name_size) {
  return {name, {counter(number_field), text("名称", name_size, true)}, {number_field}};
}
TableLayout pulse_table() { return {"パルステーブル", {num("TAG_ID", dbLong), text("DATA", 12, false)}, {"TAG_ID"}}; }

TableLayout report_data(const std::string& name, int date_width, int slots) {
  TableLayout t{name, {num("TAG_ID", dbLong), text("DATE", date_width, false)}, {"DATE", "TAG_ID"}};
  for (int i = 1; i <= slots; ++i) t.fields.push_back(text("DATA_" + std::to_string(i), 12, true));
  for (const char* f : {"TOTAL", "AVE", "MAX", "MIN"}) t.fields.push_back(text(f, 12, true));
  return t;
}

std::vector<TableLayout> make_kanri() {
  TableLayout tag{"M_TAG",
                  {counter("TAG_ID"),
                   text("TAG", 30, true),
                   text("TAG名称", 60, true),
                   text("有効桁", 10, false),
                   text("最大値", 12, false),
                   text("最小値", 12, false),
                   num("大項目NO", dbInteger),
                   num("中項目NO", dbInteger),
                   num("小項目NO", dbInteger),
                   num("単位NO", dbInteger),
                   num("TOTAL_FLG", dbBoolean),
                   num("AVE_FLG", dbBoolean),
                   num("MAX_FLG", dbBoolean),
                   num("MIN_FLG", dbBoolean),
                   num("種別", dbInteger),
                   num("P種別", dbInteger),
                   num("収集種別", dbInteger),
                   num("パルスMAX", dbDouble),
                   num("換算係数", dbDouble),
                   num("A", dbLong),
                   num("B", dbLong),
                   num("C", dbLong),
                   num("D", dbLong),
                   num("E", dbLong),
                   num("F", dbLong),
                   text("CALC", 40, true)},
                  {"TAG_ID"}};
  return {tag,
          pulse_table(),
          page_title("日報ページタイトル"),
          page_title("月報ページタイトル"),
          page_title("年報ページタイトル"),
          output_page("日報出力ページ"),
          output_page("月報出力ページ"),
          output_page("年報出力ページ"),
          report_items("日報情報"),
          report_items("月報情報"),
          report_items("年報情報"),
          numbered_names("大項目情報", "大項目NO", 40),
          numbered_names("中項目情報", "中項目NO", 12),
          numbered_names("小項目情報", "小項目NO", 12),
          numbered_names("M_UNIT", "単位NO", 12)};
}

std::vector<TableLayout> make_data() {
  return {pulse_table(),
          report_data("D_DDAT", 10, 24),
          report_data("D_DDATWORK", 10, 24),
          report_data("D_MDAT", 7, 31),
          report_data("D_MDATWORK", 7, 31),
          report_data("D_YDAT", 4, 12),
          report_data("D_YDATWORK", 4, 12)};
}

}  // namespace

const std::vector<TableLayout>& kanri_tables() {
  static const std::vector<TableLayout> tables = make_kanri();
  return tables;
}

const std::vector<TableLayout>& data_tables() {
  static const std::vector<TableLayout> tables = make_data();
  return tables;
}

}  // namespace mirutone::schema
