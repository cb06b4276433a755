// Steps 12 to 16: the item hierarchy and the units into the management
// database, keeping their numbers but leaving number 1 to the seed rows; then
// the pulse table a second time, into the data database.
#include "convert/copy_step.h"
#include "db/value_conversion.h"
#include "i18n/messages.h"

namespace mirutone::convert {
namespace {

// Copies the row unless its number is 1 or Null. A number that is not
// numeric at all is copied, and the target's number field refuses it.
CopyStep numbered_step(int number, const std::string& source, const std::string& target,
                       const std::string& number_field) {
  CopyStep step = carry_step(number, "SELECT * FROM " + source, "SELECT * FROM " + target, TargetDb::Kanri,
                             {number_field, "名称"});
  step.row_test = [number_field](RowCopy& row) {
    jet::Value v = row.read(number_field);
    if (jet::is_null(v)) return false;
    if (std::holds_alternative<bool>(v)) return true;  // False is 0 and True -1: neither is 1
    auto n = db::as_number(v);
    return !(n && *n == 1.0);
  };
  step.skip_rule = i18n::N_("{1} is 1 or Null (number 1 is the seed row's)");
  step.skip_field = number_field;
  return step;
}

}  // namespace

std::vector<CopyStep> item_unit_steps() {
  return {
      numbered_step(12, "大項目情報", "大項目情報", "大項目NO"),
      numbered_step(13, "中項目情報", "中項目情報", "中項目NO"),
      numbered_step(14, "小項目情報", "小項目情報", "小項目NO"),
      numbered_step(15, "単位情報", "M_UNIT", "単位NO"),
      carry_step(16, "SELECT * FROM パルステーブル", "SELECT * FROM パルステーブル", TargetDb::Data,
                 {"TAG_ID", "Data"}),
  };
}

}  // namespace mirutone::convert
