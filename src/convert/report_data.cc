// Steps 17 to 19: the daily, monthly and yearly report values into D_DDAT,
// D_MDAT and D_YDAT. Daily rows without a TAG_ID (Null or empty text) are
// left out; monthly and yearly rows are all copied.
#include "convert/copy_step.h"
#include "db/value_conversion.h"
#include "i18n/messages.h"

namespace mirutone::convert {
namespace {

CopyStep data_step(int number, const std::string& source, const std::string& target, int slots) {
  std::vector<std::string> fields = {"TAG_ID", "Date"};
  for (int slot = 1; slot <= slots; ++slot) fields.push_back("DATA_" + std::to_string(slot));
  for (const char* f : {"TOTAL", "AVE", "Max", "Min"}) fields.push_back(f);
  return carry_step(number, "SELECT * FROM " + source, "SELECT * FROM " + target, TargetDb::Data,
                    std::move(fields));
}

}  // namespace

std::vector<CopyStep> report_data_steps() {
  CopyStep daily = data_step(17, "日報データ情報", "D_DDAT", 24);
  daily.row_test = [](RowCopy& row) {
    jet::Value id = row.read("TAG_ID");
    return !jet::is_null(id) && !db::vb_text(id).empty();
  };
  daily.skip_rule = i18n::N_("{1} is Null or empty");
  daily.skip_field = "TAG_ID";
  return {
      std::move(daily),
      data_step(18, "月報データ情報", "D_MDAT", 31),
      data_step(19, "年報データ情報", "D_YDAT", 12),
  };
}

}  // namespace mirutone::convert
