// Step 1: TAG情報マスター into M_TAG, in TAG_ID order. The pulse kind loses
// its values 2 to 4; the two scaling numbers are taken only when they read as
// numbers, and then as Double.
#include <cmath>
#include <optional>

#include "convert/copy_step.h"
#include "db/errors.h"
#include "db/value_conversion.h"

namespace mirutone::convert {
namespace {

// The value as VB compares it with a number; nullopt for Null. Text that
// does not read as a number cannot be compared (VB's type mismatch).
std::optional<double> comparable(const jet::Value& v, const std::string& field) {
  if (jet::is_null(v)) return std::nullopt;
  if (auto* b = std::get_if<bool>(&v)) return *b ? -1.0 : 0.0;
  if (auto* d = std::get_if<jet::DateTime>(&v)) return d->days;
  if (auto n = db::as_number(v)) return n;
  throw db::Error(db::jet_errors::kTypeMismatch,
                  "Type mismatch: " + field + " '" + db::vb_text(v) + "' is not a number");
}

// IsNumeric followed by CDbl: a number, a Boolean, or text that reads as a
// number. Null, empty text, other text and dates do not.
std::optional<double> numeric_or_skip(const jet::Value& v) {
  if (auto* b = std::get_if<bool>(&v)) return *b ? -1.0 : 0.0;
  if (std::holds_alternative<jet::DateTime>(v)) return std::nullopt;
  return db::as_number(v);
}

}  // namespace

std::vector<CopyStep> tag_master_steps() {
  CopyStep step;
  step.number = 1;
  step.source_sql = "SELECT * FROM TAG情報マスター ORDER BY TAG_ID";
  step.target_sql = "SELECT * FROM M_TAG";
  step.target = TargetDb::Kanri;
  step.assign = [](RowCopy& row) {
    for (const char* f : {"TAG_ID", "Tag", "TAG名称", "有効桁", "最大値", "最小値", "大項目NO", "中項目NO",
                          "小項目NO", "単位NO", "TOTAL_FLG", "AVE_FLG", "MAX_FLG", "MIN_FLG", "種別"}) {
      row.carry(f);
    }
    // Pulse kinds 2 to 4 are gone in the new product: they become 0.
    jet::Value kind = row.read("P種別");
    auto k = comparable(kind, "P種別");
    if (k && *k >= 2 && *k <= 4) {
      row.set("P種別", jet::Value(std::int32_t{0}));
    } else {
      row.set("P種別", kind);
    }
    row.carry("収集種別");
    for (const char* f : {"パルスMAX", "換算係数"}) {
      if (auto n = numeric_or_skip(row.read(f))) row.set(f, jet::Value(*n));
    }
    for (const char* f : {"A", "B", "C", "D", "E", "F", "CALC"}) row.carry(f);
  };
  return {step};
}

}  // namespace mirutone::convert
