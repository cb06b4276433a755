#include "oracle/known_faults.h"

#include <map>

namespace mirutone::oracle {

const FileFacts& facts_for(const std::string& file_name) {
  static const std::map<std::string, FileFacts> known = [] {
    std::map<std::string, FileFacts> m;
    // Rows 2-4 (IDCol 2, 3, 4) hold 9999-01-01, 1898/1899/1900-01-01 and
    // 0632/0633/0634-01-01; mdbtools 1.0 prints most of them as 1900-01-00.
    auto& dates = m["j4_mdbtestdata_dates.mdb"];
    for (const char* col : {"DateTimeCol", "DateCol", "TimeCol"})
      dates.true_dates.push_back({"DateTest", 1, col, 2958101.0});
    dates.true_dates.push_back({"DateTest", 2, "DateTimeCol", -728.0});
    dates.true_dates.push_back({"DateTest", 2, "DateCol", -363.0});
    dates.true_dates.push_back({"DateTest", 2, "TimeCol", 2.0});
    dates.true_dates.push_back({"DateTest", 3, "DateTimeCol", -463126.0});
    dates.true_dates.push_back({"DateTest", 3, "DateCol", -462760.0});
    dates.true_dates.push_back({"DateTest", 3, "TimeCol", -462395.0});

    // The table definition says 24 rows; the data page holds 26 live ones.
    m["j3_psc_stale_rowcount.mdb"].true_row_counts.push_back({"dbWords", 26});

    // GBK text under a header that claims cp1252.
    auto& gbk = m["j3_ucanaccess_gbk.mdb"];
    gbk.codepage_override = 936;
    gbk.expected_text.push_back({"table1", "GBK编码"});

    // CP932 text patched into a file whose header still says cp1252.
    auto& cp932 = m["j3_patched_cp932.mdb"];
    cp932.codepage_override = 932;
    cp932.expected_text.push_back({"Table1", "日本ｱxy"});
    cp932.expected_text.push_back({"Table1", "表ソ能abc"});

    // Umsätze: 830 rows on the pages its usage map lists; 257 stale pages
    // elsewhere still carry its table-definition pointer.
    m["j3_nwind_full.mdb"].true_row_counts.push_back({"Umsätze", 830});
    m["j3_nwind_full.mdb"].true_row_counts.push_back({"Order Details", 2155});
    m["j4_ja_northwind.mdb"].true_row_counts.push_back({"受注明細", 1981});

    // testdata-more. GBK under a header that claims cp1252, names included.
    auto& gbk_names = m["j3_hxhwang_db_1.mdb"];
    gbk_names.codepage_override = 936;
    gbk_names.expected_text.push_back({"学生信息表", "黎明"});
    m["j3_hxhwang_student_1.mdb"].expected_text.push_back({"studentinfo", "辛新"});
    // Header code page 0, Turkish sort order: cp1254 by the sort order.
    m["j3_psc_suhan_33045_sozluk.mdb"].expected_text.push_back({"Soz", "bir parça"});
    m["j3_psc_mohammed_25293_db.mdb"].expected_text.push_back({"Personr", "الرياض"});
    // The table definition says 4 rows; its pages hold 8 live ones.
    m["j3_psc_matthew_22473_address.mdb"].true_row_counts.push_back({"Address", 8});
    return m;
  }();
  static const FileFacts none;
  auto it = known.find(file_name);
  return it == known.end() ? none : it->second;
}

std::optional<double> true_date(const FileFacts& facts, const std::string& table,
                                std::size_t row, const std::string& column) {
  for (const auto& d : facts.true_dates)
    if (d.table == table && d.row == row && d.column == column) return d.days;
  return std::nullopt;
}

}  // namespace mirutone::oracle
