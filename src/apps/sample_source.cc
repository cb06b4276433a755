#include "apps/sample_source.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <vector>

#include "db/jet/api/writer.h"
#include "platform/path.h"

namespace mirutone::convert {
namespace {

using jet::ColumnDesign;
using jet::ColumnType;
using jet::IndexDesign;
using jet::TableDesign;
using jet::Value;

// splitmix64: the same sequence on every platform and library, unlike the
// standard distributions.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

 private:
  std::uint64_t state_;
};

constexpr std::uint64_t kSeed = 0x4E4F5256414C45ull;

struct Named {
  int no;
  const char* name;
};

// Item and unit lists. Number 1 is the old product's "unassigned" entry;
// the gaps are entries deleted over the years.
const Named kMajorItems[] = {{1, "（未分類）"},     {2, "取水設備"},     {3, "着水井・沈殿池"},
                             {4, "ろ過設備"},       {6, "配水池"},       {7, "送水ポンプ設備"},
                             {8, "薬品注入設備"},   {10, "受変電設備"},  {11, "汚泥処理設備"}};
const Named kMiddleItems[] = {{1, "未分類"}, {2, "流量"},     {3, "温度"},   {4, "圧力"},
                              {5, "電力量"}, {6, "水位"},     {7, "水質"},   {8, "電流"},
                              {9, "積算流量"}, {12, "演算"}};
const Named kMinorItems[] = {{1, "共通"}, {2, "１系"}, {3, "２系"}, {4, "３系"}, {5, "予備"}, {9, ""}};
const Named kUnits[] = {{1, "なし"},   {2, "ｍ３／ｈ"}, {3, "℃"},        {4, "ｋＰａ"},
                        {5, "ｋＷｈ"}, {6, "％"},       {7, "ｐＨ"},      {8, "ｍｇ／Ｌ"},
                        {9, "Ａ"},     {10, "ｍ３"},    {11, "ｍ"},       {12, "ＭＰａ"}};

enum class Collect { Analog = 0, Pulse = 1, Calc = 2 };

// What a tag measures.
struct Kind {
  const char* prefix;
  const char* name;
  int middle;  // 中項目NO
  int unit;    // 単位NO
  double lo, hi;
  int digits;
  Collect collect;
  bool total;
};

const Kind kKinds[] = {
    {"FI", "流量", 2, 2, 0, 500, 1, Collect::Analog, true},
    {"TI", "水温", 3, 3, -10, 40, 1, Collect::Analog, false},
    {"PI", "圧力", 4, 4, 0, 600, 0, Collect::Analog, false},
    {"JQ", "電力量", 5, 5, 0, 800, 0, Collect::Pulse, true},
    {"LI", "水位", 6, 11, 0, 8, 2, Collect::Analog, false},
    {"AI", "ｐＨ", 7, 7, 0, 14, 2, Collect::Analog, false},
    {"AI", "濁度", 7, 8, 0, 5, 2, Collect::Analog, false},
    {"II", "電流", 8, 9, 0, 300, 1, Collect::Analog, false},
    {"FQ", "積算流量", 9, 10, 0, 600, 0, Collect::Pulse, true},
    {"FX", "合計流量", 12, 2, 0, 1000, 1, Collect::Calc, true},
};
constexpr int kKindCount = sizeof kKinds / sizeof kKinds[0];

// The old product kept the scaling settings as free text.
const char* const kPulseMax[] = {"10000", "9999", "5000.0", "1.0E+4", "なし", "", "－", "3600"};
const char* const kFactor[] = {"0.5", "1", "0.01", "10", "2.5E-1", "不明", "", "0.001"};

struct Tag {
  std::int32_t id = 0;
  const Kind* kind = nullptr;
  int major = 1, minor = 1;
  double level = 0.5;  // typical share of the range
  std::int32_t a = 0, b = 0;
  int calc = 0;
};

std::string fullwidth(long n) {
  static const char* const digits[] = {"０", "１", "２", "３", "４", "５", "６", "７", "８", "９"};
  std::string ascii = std::to_string(n), out;
  for (char c : ascii) out += digits[c - '0'];
  return out;
}

// A value as the old product stored it: fixed decimals, never over 12 characters.
std::string number_text(double v, int digits) {
  char buf[64];
  for (int d = digits; d >= 0; --d) {
    int n = std::snprintf(buf, sizeof buf, "%.*f", d, v);
    if (n > 0 && n <= 12) return buf;
  }
  throw std::logic_error("sample value too wide: " + std::string(buf));
}

// A figure as a longer period's report shows it: the text a report prints,
// read back, so that the monthly report repeats the daily totals exactly.
double as_shown(double v, int digits) {
  return std::isnan(v) ? v : std::strtod(number_text(v, digits).c_str(), nullptr);
}

double round_to(double v, int digits) {
  double scale = std::pow(10.0, digits);
  return std::round(v * scale) / scale;
}

ColumnDesign column(const char* name, ColumnType type, int size = 0, bool zero_length = false) {
  ColumnDesign c;
  c.name = name;
  c.type = type;
  c.size = size;
  c.allow_zero_length = zero_length;
  return c;
}

IndexDesign primary_key(std::vector<std::string> columns) {
  IndexDesign ix;
  ix.name = "PrimaryKey";
  ix.columns = std::move(columns);
  ix.primary = true;
  return ix;
}

// Statistics of a run of values, Null ones left out.
struct Stats {
  double sum = 0, max = -std::numeric_limits<double>::infinity(),
         min = std::numeric_limits<double>::infinity();
  int count = 0;
  void add(double v) {
    sum += v;
    max = std::max(max, v);
    min = std::min(min, v);
    ++count;
  }
  // The figure a longer period shows for this one: the total or the average.
  double summary(bool total) const {
    if (count == 0) return std::nan("");
    return total ? sum : sum / count;
  }
};

// One value slot: Null where there is no value (NaN), else the value as the
// report shows it, counted in `s`.
void append_value(std::vector<Value>& row, Stats& s, double v, int digits) {
  if (std::isnan(v)) {
    row.emplace_back(Value{});
  } else {
    row.emplace_back(number_text(v, digits));
    s.add(v);
  }
}

// TOTAL, AVE, Max, Min as the report stores them; empty where the tag's
// flags leave a figure out.
void append_figures(std::vector<Value>& row, const Stats& s, const Kind& k) {
  bool any = s.count > 0;
  int d = k.digits;
  row.emplace_back(k.total && any ? Value{number_text(s.sum, d)} : Value{std::string()});
  row.emplace_back(any ? Value{number_text(s.sum / s.count, d + 1)} : Value{std::string()});
  bool extremes = k.collect == Collect::Analog && any;
  row.emplace_back(extremes ? Value{number_text(s.max, d)} : Value{std::string()});
  row.emplace_back(extremes ? Value{number_text(s.min, d)} : Value{std::string()});
}

struct CivilDay {
  int y, m, d;
};

CivilDay day_at(double start, int offset) {
  jet::CivilTime c = jet::to_civil(jet::DateTime{start + offset});
  return {c.year, c.month, c.day};
}

int month_length(int y, int m) {
  static const int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : len[m - 1];
}

std::string two(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

class SampleWriter {
 public:
  SampleWriter(std::unique_ptr<jet::Writer> db, const SampleOptions& o)
      : db_(std::move(db)), opt_(o), rnd_(kSeed) {}

  SampleSummary write() {
    // Every table is defined before any row is written, so that the
    // definitions and their maps sit at the front of the file.
    create(tag_master_design());
    create(pulse_design());
    for (const char* r : {"日報", "月報", "年報"})
      for (const auto& d : layout_designs(r)) create(d);
    create(list_design("大項目情報", "大項目NO"));
    create(list_design("中項目情報", "中項目NO"));
    create(list_design("小項目情報", "小項目NO"));
    create(list_design("単位情報", "単位NO"));
    create(data_design("日報データ情報", 24, true));
    create(data_design("月報データ情報", 31, false));
    create(data_design("年報データ情報", 12, false));
    make_tags();
    write_tag_master();
    write_pulse_table();
    write_layouts();
    write_items();
    write_daily_data();
    write_monthly_data();
    write_yearly_data();
    db_->close();
    return summary_;
  }

 private:
  void append(const std::string& table, std::vector<Value> row) {
    db_->append_row(table, std::move(row));
    ++summary_.rows[table];
  }
  void create(const TableDesign& t) {
    db_->create_table(t);
    summary_.rows[t.name] = 0;
  }

  void make_tags() {
    std::int32_t id = 0;
    const int areas = sizeof kMajorItems / sizeof kMajorItems[0] - 1;
    for (int i = 0; i < opt_.tags; ++i) {
      id += (i > 0 && i % 17 == 0) ? 2 : 1;  // a number freed now and then
      Tag t;
      t.id = id;
      t.kind = &kKinds[i % kKindCount];
      t.major = i % 50 == 49 ? 1 : kMajorItems[1 + (i / 20) % areas].no;
      t.minor = kMinorItems[(i / 10) % 5].no;
      t.level = 0.3 + 0.4 * rnd_.unit();
      if (t.kind->collect == Collect::Calc && i >= 9) {
        t.a = tags_[i - 9].id;  // the two flow meters before it
        t.b = i >= 19 ? tags_[i - 19].id : tags_[i - 9].id;
        t.calc = (i / 10) % 3;
      }
      tags_.push_back(t);
    }
  }

  std::string tag_name(const Tag& t) const {
    std::string area, system;
    for (const auto& m : kMajorItems)
      if (m.no == t.major) area = t.major == 1 ? "" : m.name;
    for (const auto& m : kMinorItems)
      if (m.no == t.minor) system = m.name;
    std::string name = area;
    if (!system.empty() && system != "共通") name += (name.empty() ? "" : "　") + system;
    return name + (name.empty() ? "" : "　") + t.kind->name;
  }

  static TableDesign tag_master_design() {
    TableDesign t{"TAG情報マスター", {}, {primary_key({"TAG_ID"})}};
    auto& c = t.columns;
    c = {column("TAG_ID", ColumnType::Long),      column("Tag", ColumnType::Text, 30, true),
         column("TAG名称", ColumnType::Text, 60, true), column("有効桁", ColumnType::Integer),
         column("最大値", ColumnType::Double),     column("最小値", ColumnType::Double),
         column("大項目NO", ColumnType::Integer),  column("中項目NO", ColumnType::Integer),
         column("小項目NO", ColumnType::Integer),  column("単位NO", ColumnType::Integer),
         column("TOTAL_FLG", ColumnType::Boolean), column("AVE_FLG", ColumnType::Boolean),
         column("MAX_FLG", ColumnType::Boolean),   column("MIN_FLG", ColumnType::Boolean),
         column("種別", ColumnType::Integer),      column("P種別", ColumnType::Integer),
         column("収集種別", ColumnType::Integer),  column("パルスMAX", ColumnType::Text, 20, true),
         column("換算係数", ColumnType::Text, 20, true)};
    for (const char* n : {"A", "B", "C", "D", "E", "F"}) c.push_back(column(n, ColumnType::Long));
    c.push_back(column("CALC", ColumnType::Text, 40, true));
    return t;
  }

  void write_tag_master() {
    const std::string table = "TAG情報マスター";

    // Stored in the order the tags were registered, not by number: three
    // rounds over the plant.
    const std::size_t n = tags_.size();
    // Pulse tags in number order: their kinds and scaling settings run
    // through every case within the first few of them.
    int pulse_seen = 0;
    std::vector<int> pulse_no(n, 0);
    for (std::size_t i = 0; i < n; ++i)
      if (tags_[i].kind->collect == Collect::Pulse) pulse_no[i] = pulse_seen++;
    for (std::size_t start = 0; start < 3; ++start) {
      for (std::size_t i = start; i < n; i += 3) {
        const Tag& tg = tags_[i];
        const Kind& k = *tg.kind;
        bool pulse = k.collect == Collect::Pulse;
        std::vector<Value> row;
        row.reserve(26);
        row.emplace_back(tg.id);
        char tag[32];
        std::snprintf(tag, sizeof tag, "%s-%04d", k.prefix, static_cast<int>(tg.id));
        row.emplace_back(std::string(tag));
        row.emplace_back(tag_name(tg));
        row.emplace_back(static_cast<std::int32_t>(k.digits));
        row.emplace_back(k.hi);
        row.emplace_back(k.lo);
        row.emplace_back(static_cast<std::int32_t>(tg.major));
        row.emplace_back(static_cast<std::int32_t>(tg.major == 1 ? 1 : k.middle));
        row.emplace_back(static_cast<std::int32_t>(tg.minor));
        row.emplace_back(static_cast<std::int32_t>(k.unit));
        row.emplace_back(k.total);
        row.emplace_back(true);
        row.emplace_back(k.collect == Collect::Analog);
        row.emplace_back(k.collect == Collect::Analog);
        row.emplace_back(static_cast<std::int32_t>(k.collect));
        // Pulse kinds 0..5 on pulse tags; one other tag in 97 was never set.
        if (pulse) {
          row.emplace_back(static_cast<std::int32_t>(pulse_no[i] % 6));
        } else if (i % 97 == 5) {
          row.emplace_back(Value{});
        } else {
          row.emplace_back(std::int32_t{0});
        }
        row.emplace_back(static_cast<std::int32_t>(i % 3));
        const std::size_t nmax = sizeof kPulseMax / sizeof kPulseMax[0];
        const std::size_t nfac = sizeof kFactor / sizeof kFactor[0];
        if (pulse) {
          row.emplace_back(std::string(kPulseMax[pulse_no[i] % nmax]));
          row.emplace_back(std::string(kFactor[(pulse_no[i] * 3) % nfac]));
        } else {
          row.emplace_back(Value{});
          row.emplace_back(i % 3 == 0 ? Value{std::string("1")} : Value{});
        }
        row.emplace_back(tg.a);
        row.emplace_back(tg.b);
        for (int j = 0; j < 3; ++j) row.emplace_back(std::int32_t{0});
        row.emplace_back(Value{});  // F: unused by every tag
        static const char* const calc[] = {"A+B", "(A+B)/2", "A-B"};
        row.emplace_back(std::string(k.collect == Collect::Calc && tg.a ? calc[tg.calc] : ""));
        append(table, std::move(row));
      }
    }
  }

  static TableDesign pulse_design() {
    return {"パルステーブル",
            {column("TAG_ID", ColumnType::Long), column("Data", ColumnType::Text, 20)},
            {primary_key({"TAG_ID"})}};
  }

  void write_pulse_table() {
    const std::string table = "パルステーブル";
    static const char* const data[] = {"1000", "500", "100", "0.1", "10", "2000"};
    int n = 0;
    for (const Tag& tg : tags_)
      if (tg.kind->collect == Collect::Pulse)
        append(table, {tg.id, std::string(data[n++ % 6])});
  }

  static std::vector<TableDesign> layout_designs(const std::string& r) {
    return {{r + "ページタイトル",
             {column("Page", ColumnType::Integer), column("Title", ColumnType::Text, 50)},
             {primary_key({"Page"})}},
            {r + "出力ページ", {column("Page", ColumnType::Integer)}, {primary_key({"Page"})}},
            {r + "情報",
             {column("TAG_ID", ColumnType::Long), column("ページNO", ColumnType::Integer),
              column("項目NO", ColumnType::Integer)},
             {}}};
  }

  // Page titles, output pages and the tag at each place of each page.
  void write_layout(const char* report, std::size_t per_page) {
    const std::string r = report;
    const std::string titles = r + "ページタイトル", pages = r + "出力ページ", items = r + "情報";
    const std::size_t page_count = (tags_.size() + per_page - 1) / per_page;
    for (std::size_t p = 1; p <= page_count; ++p) {
      const Tag& first = tags_[(p - 1) * per_page];
      std::string area = "全体";
      for (const auto& m : kMajorItems)
        if (m.no == first.major && m.no != 1) area = m.name;
      append(titles, {static_cast<std::int32_t>(p), r + "　" + area + "　その" + fullwidth(long(p))});
      if (p % 5 != 0) append(pages, {static_cast<std::int32_t>(p)});
    }
    for (std::size_t i = 0; i < tags_.size(); ++i)
      append(items, {tags_[i].id, static_cast<std::int32_t>(i / per_page + 1),
                     static_cast<std::int32_t>(i % per_page + 1)});
    // A place entered twice, as the old editor allowed.
    if (!tags_.empty() && r == "日報")
      append(items, {tags_[0].id, std::int32_t{1}, std::int32_t{1}});
  }

  void write_layouts() {
    write_layout("日報", 20);
    write_layout("月報", 15);
    write_layout("年報", 10);
  }

  static TableDesign list_design(const char* table, const char* number) {
    return {table,
            {column(number, ColumnType::Long), column("名称", ColumnType::Text, 50, true)},
            {primary_key({number})}};
  }

  void write_list(const char* table, const Named* rows, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) append(table, {std::int32_t{rows[i].no}, std::string(rows[i].name)});
  }

  void write_items() {
    write_list("大項目情報", kMajorItems, std::size(kMajorItems));
    write_list("中項目情報", kMiddleItems, std::size(kMiddleItems));
    write_list("小項目情報", kMinorItems, std::size(kMinorItems));
    write_list("単位情報", kUnits, std::size(kUnits));
  }

  static TableDesign data_design(const char* name, int slots, bool text_id) {
    TableDesign t;
    t.name = name;
    t.columns.push_back(text_id ? column("TAG_ID", ColumnType::Text, 10, true)
                                : column("TAG_ID", ColumnType::Long));
    t.columns.push_back(column("Date", ColumnType::Text, 10));
    for (int s = 1; s <= slots; ++s)
      t.columns.push_back(column(("DATA_" + std::to_string(s)).c_str(), ColumnType::Text, 12, true));
    for (const char* n : {"TOTAL", "AVE", "Max", "Min"}) t.columns.push_back(column(n, ColumnType::Text, 12, true));
    // The daily table has no key: the old collector wrote rows with no tag.
    if (text_id) {
      IndexDesign by_date;
      by_date.name = "Date";
      by_date.columns = {"Date"};
      t.indexes.push_back(by_date);
    } else {
      t.indexes.push_back(primary_key({"Date", "TAG_ID"}));
    }
    return t;
  }

  // One hour's reading of a tag, rounded as the logger stored it.
  double reading(const Tag& tg, int day, int hour) {
    const Kind& k = *tg.kind;
    const double pi = 3.14159265358979323846;
    double share = tg.level + 0.15 * std::sin(2 * pi * (hour - 6) / 24.0) +
                   0.05 * std::sin(2 * pi * day / 365.0) + 0.1 * (rnd_.unit() - 0.5);
    share = std::clamp(share, 0.0, 1.0);
    return round_to(k.lo + (k.hi - k.lo) * share, k.digits);
  }

  void write_daily_data() {
    const std::string table = "日報データ情報";
    start_ = jet::from_civil({kSampleStartYear, kSampleStartMonth, kSampleStartDay, 0, 0, 0}).days;
    daily_.assign(tags_.size() * static_cast<std::size_t>(opt_.days), std::nan(""));
    std::vector<Value> row;
    for (int day = 0; day < opt_.days; ++day) {
      CivilDay cd = day_at(start_, day);
      const std::string date = std::to_string(cd.y) + "/" + two(cd.m) + "/" + two(cd.d);
      for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& tg = tags_[i];
        row.clear();
        row.reserve(30);
        row.emplace_back(std::to_string(tg.id));
        row.emplace_back(date);
        Stats s;
        for (int h = 0; h < 24; ++h) {
          double v = reading(tg, day, h);
          double miss = rnd_.unit();
          if (miss < 0.001) {
            row.emplace_back(Value{});  // logger down
          } else if (miss < 0.002) {
            row.emplace_back(std::string());  // reading refused
          } else {
            row.emplace_back(number_text(v, tg.kind->digits));
            s.add(v);
          }
        }
        append_figures(row, s, *tg.kind);
        daily_[i * opt_.days + day] = as_shown(s.summary(tg.kind->total), tg.kind->digits);
        append(table, row);
      }
      if (day % 30 == 10) orphan_rows(table, date);
    }
  }

  // Rows the old collector left for a tag being set up: no TAG_ID yet.
  void orphan_rows(const std::string& table, const std::string& date) {
    for (int blank = 0; blank < 2; ++blank) {
      std::vector<Value> row;
      row.emplace_back(blank ? Value{std::string()} : Value{});
      row.emplace_back(date);
      for (int h = 0; h < 24; ++h) row.emplace_back(std::string("0.0"));
      for (int f = 0; f < 4; ++f) row.emplace_back(std::string());
      append(table, std::move(row));
    }
  }

  void write_monthly_data() {
    const std::string table = "月報データ情報";
    if (opt_.days == 0) return;
    CivilDay first = day_at(start_, 0), last = day_at(start_, opt_.days - 1);
    int y = first.y, m = first.m;
    std::vector<Value> row;
    while (y < last.y || (y == last.y && m <= last.m)) {
      const int first_offset =
          static_cast<int>(jet::from_civil({y, m, 1, 0, 0, 0}).days - start_);
      const std::string date = std::to_string(y) + "/" + two(m);
      const int len = month_length(y, m);
      months_.push_back({y, m, std::vector<double>(tags_.size(), std::nan(""))});
      for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& tg = tags_[i];
        row.clear();
        row.emplace_back(tg.id);
        row.emplace_back(date);
        Stats s;
        for (int d = 1; d <= 31; ++d) {
          int offset = first_offset + d - 1;
          double v = d <= len && offset >= 0 && offset < opt_.days ? daily_[i * opt_.days + offset]
                                                                  : std::nan("");
          append_value(row, s, v, tg.kind->digits);
        }
        append_figures(row, s, *tg.kind);
        months_.back().value[i] = as_shown(s.summary(tg.kind->total), tg.kind->digits);
        append(table, row);
      }
      if (++m > 12) m = 1, ++y;
    }
  }

  void write_yearly_data() {
    const std::string table = "年報データ情報";
    if (months_.empty()) return;
    const int first_year = months_.front().year, last_year = months_.back().year;
    std::vector<Value> row;
    for (int y = first_year; y <= last_year; ++y) {
      for (std::size_t i = 0; i < tags_.size(); ++i) {
        const Tag& tg = tags_[i];
        std::vector<double> months(12, std::nan(""));
        for (const auto& mc : months_)
          if (mc.year == y) months[mc.month - 1] = mc.value[i];
        row.clear();
        row.emplace_back(tg.id);
        row.emplace_back(std::to_string(y));
        Stats s;
        for (double v : months) {
          append_value(row, s, v, tg.kind->digits);
        }
        append_figures(row, s, *tg.kind);
        append(table, row);
      }
    }
  }

  struct MonthColumn {
    int year, month;
    std::vector<double> value;  // per tag: the month's total or average
  };

  std::unique_ptr<jet::Writer> db_;
  SampleOptions opt_;
  Random rnd_;
  std::vector<Tag> tags_;
  double start_ = 0;
  std::vector<double> daily_;  // per tag, per day: the day's total or average
  std::vector<MonthColumn> months_;
  SampleSummary summary_;
};

}  // namespace

SampleSummary make_sample_source(const std::string& path, const SampleOptions& options) {
  if (options.tags < 0 || options.tags > SampleOptions::kMaxTags)
    throw std::invalid_argument("tags must be between 0 and " + std::to_string(SampleOptions::kMaxTags));
  if (options.days < 0 || options.days > SampleOptions::kMaxDays)
    throw std::invalid_argument("days must be between 0 and " + std::to_string(SampleOptions::kMaxDays));
  if (static_cast<long long>(options.tags) * options.days > SampleOptions::kMaxDailyRows)
    throw std::invalid_argument("tags x days must not exceed " + std::to_string(SampleOptions::kMaxDailyRows));
  std::error_code ec;
  if (std::filesystem::exists(platform::fs_path(path), ec) || ec)
    throw std::runtime_error(path + " already exists; a sample is never written over a file");
  auto db = jet::Writer::create(path, jet::Locale::japanese());
  try {
    SampleWriter w(std::move(db), options);
    return w.write();
  } catch (...) {
    std::filesystem::remove(platform::fs_path(path), ec);
    throw;
  }
}

}  // namespace mirutone::convert
