#include "convert/copy_step.h"

#include <utility>

namespace mirutone::convert {
namespace {

// The table named after FROM in "SELECT * FROM t [ORDER BY ...]".
std::string table_of(const std::string& sql) {
  const std::string from = " FROM ";
  auto start = sql.find(from);
  if (start == std::string::npos) return sql;
  start += from.size();
  auto end = sql.find(' ', start);
  return sql.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

jet::Value RowCopy::read(const std::string& name) {
  field_ = name;
  return source_.Fields(name).Value();
}

void RowCopy::set(const std::string& name, jet::Value value) {
  field_ = name;
  target_.Fields(name).SetValue(std::move(value));
}

void RowCopy::carry(const std::string& name) {
  field_ = name;
  target_.Fields(name).SetValue(source_.Fields(name).Value());
}

std::optional<jet::Value> RowCopy::source_value() const {
  try {
    return source_.Fields(field_).Value();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string CopyStep::source_table() const { return table_of(source_sql); }
std::string CopyStep::target_table() const { return table_of(target_sql); }

CopyStep carry_step(int number, std::string source_sql, std::string target_sql, TargetDb target,
                    std::vector<std::string> fields) {
  CopyStep step;
  step.number = number;
  step.source_sql = std::move(source_sql);
  step.target_sql = std::move(target_sql);
  step.target = target;
  step.assign = [fields = std::move(fields)](RowCopy& row) {
    for (const auto& f : fields) row.carry(f);
  };
  return step;
}

std::vector<CopyStep> all_copy_steps() {
  std::vector<CopyStep> steps;
  for (auto part : {tag_master_steps, report_layout_steps, item_unit_steps, report_data_steps}) {
    for (auto& s : part()) steps.push_back(std::move(s));
  }
  return steps;
}

}  // namespace mirutone::convert
