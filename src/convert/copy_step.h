// One copy step of the conversion run: a source query read as a snapshot, a
// target query opened as a dynaset, and per source row an optional row test,
// then AddNew, the step's field assignments and Update.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/jet/api/value.h"
#include "db/recordset.h"

namespace mirutone::convert {

// The row being copied: what the assignments read and write, and what the run
// tells the user when one of them fails.
//
// A step asks for the same fields in the same order on every row, so the
// fields found on the first row are kept, in the order asked, and the next
// question is answered from the entry after the last answer without a name
// lookup. forget_fields() drops them when the recordsets change.
class RowCopy {
 public:
  RowCopy(const db::Recordset& source, db::Recordset& target) : source_(source), target_(target) {}

  // The current source row's value of `name` (the field is remembered for a
  // failure report).
  jet::Value read(const std::string& name);
  // Sets the target field `name` to `value`.
  void set(const std::string& name, jet::Value value);
  // Sets the target field `name` to the source field of the same name.
  void carry(const std::string& name);

  // Forgets the field last read or set (the refusals of Update name their own).
  void clear() {
    last_ = kNone;
    unlisted_.clear();
  }
  // Forgets the fields found so far: the recordsets are about to change.
  void forget_fields() {
    uses_.clear();
    next_ = 0;
    last_ = kNone;
    unlisted_.clear();
  }

  // The field last read or set, and the current source row's value of it
  // (nothing when the source has no such field or no current row).
  const std::string& field() const;
  std::optional<jet::Value> source_value() const;

 private:
  enum Side { kSource = 1, kTarget = 2 };
  struct Use {
    int sides = 0;
    std::string name;
    std::optional<db::RecordsetField> source, target;
  };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::size_t kMaxUses = 256;
  // The fields of `name` on `sides`, found by name the first time.
  Use& use(const std::string& name, int sides);

  const db::Recordset& source_;
  db::Recordset& target_;
  std::vector<Use> uses_;
  std::size_t next_ = 0;
  std::size_t last_ = kNone;  // entry of the field last read or set
  std::string unlisted_;      // that field when it has no entry (not found, or the list is full)
  Use scratch_;               // the fields of such a name, for this call
};

enum class TargetDb { Kanri, Data };

struct CopyStep {
  int number = 0;
  std::string source_sql;
  std::string target_sql;  // the same text as source_sql where the tables share a name
  TargetDb target = TargetDb::Kanri;
  // False skips the row without a message; empty means every row is copied.
  std::function<bool(RowCopy&)> row_test;
  // The test in words for the run's summary ({1}: skip_field), in English.
  std::string skip_rule;
  std::string skip_field;
  // The assignments of one row, in the step's order.
  std::function<void(RowCopy&)> assign;

  // The table names in the queries ("SELECT * FROM t ...").
  std::string source_table() const;
  std::string target_table() const;
};

// The nineteen steps, in order.
std::vector<CopyStep> tag_master_steps();      // step 1
std::vector<CopyStep> report_layout_steps();   // steps 2 to 11
std::vector<CopyStep> item_unit_steps();       // steps 12 to 16
std::vector<CopyStep> report_data_steps();     // steps 17 to 19
std::vector<CopyStep> all_copy_steps();

// A step whose fields are carried over unchanged, by the source's names.
CopyStep carry_step(int number, std::string source_sql, std::string target_sql, TargetDb target,
                    std::vector<std::string> fields);

}  // namespace mirutone::convert
