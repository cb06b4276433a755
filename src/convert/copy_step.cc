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

RowCopy::Use& RowCopy::use(const std::string& name, int sides) {
  auto matches = [&](const Use& u) { return u.sides == sides && u.name == name; };
  std::size_t at = kNone;
  if (next_ < uses_.size() && matches(uses_[next_])) {
    at = next_;
  } else {
    for (std::size_t i = 0; i < uses_.size(); ++i) {
      if (matches(uses_[i])) {
        at = i;
        break;
      }
    }
  }
  if (at != kNone) {
    last_ = at;
    next_ = at + 1;
    return uses_[at];
  }
  // Found by name, as on every row before: a missing field fails here and
  // the failure names it.
  last_ = kNone;
  unlisted_ = name;
  Use u;
  u.sides = sides;
  u.name = name;
  if (sides & kSource) u.source.emplace(source_.Fields(name));
  if (sides & kTarget) u.target.emplace(target_.Fields(name));
  if (uses_.size() >= kMaxUses) {
    // Names that change from row to row: nothing worth keeping.
    scratch_ = std::move(u);
    return scratch_;
  }
  unlisted_.clear();
  uses_.push_back(std::move(u));
  last_ = uses_.size() - 1;
  next_ = uses_.size();
  return uses_.back();
}

const std::string& RowCopy::field() const { return last_ != kNone ? uses_[last_].name : unlisted_; }

jet::Value RowCopy::read(const std::string& name) { return use(name, kSource).source->Value(); }

void RowCopy::set(const std::string& name, jet::Value value) { use(name, kTarget).target->SetValue(std::move(value)); }

void RowCopy::carry(const std::string& name) {
  Use& u = use(name, kSource | kTarget);
  u.target->SetValueFrom(*u.source);
}

std::optional<jet::Value> RowCopy::source_value() const {
  try {
    return source_.Fields(field()).Value();
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
