// triggers.h - firing DML triggers: the triggers of one statement's event
// on its table or view, run before and after the statement and each row
// with the row's values as NEW and OLD, in their owner's rights; and the
// tables that are mutating while a row trigger runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exec/plsql_state.h"
#include "exec/plsql_units.h"
#include "exec/trigger_defs.h"
#include "exec/value.h"
#include "session/session.h"
#include "util/status.h"

namespace tabdb {

class StatementTriggers {
 public:
  // The enabled triggers on owner.table that a statement of `event`
  // fires (an UPDATE setting `set_cols`); *out null when none does, so
  // that a statement on a table without triggers carries nothing.
  // `instead` asks for the INSTEAD OF triggers of a view.
  static Status Load(Session& s, const std::string& owner, const std::string& table, TriggerEvent event,
                     const std::vector<std::string>& set_cols, bool instead, std::unique_ptr<StatementTriggers>* out);

  bool has_row(TriggerTiming t) const { return rows_[static_cast<int>(t)]; }
  bool has_statement() const { return statements_; }

  // Reads the catalog version for one execution of the statement: the
  // triggers' units are checked against it.
  Status Begin(Session& s);
  // The statement triggers of timing `t`.
  Status FireStatement(Session& s, TriggerTiming t);
  // The row triggers of timing `t` for one row: `names` the columns,
  // `new_row` (null for DELETE) and `old_row` (null for INSERT) their
  // values in that order. A BEFORE trigger may change *new_row.
  Status FireRow(Session& s, TriggerTiming t, const std::vector<std::string>& names, std::vector<Value>* new_row,
                 const std::vector<Value>* old_row);

  // The table the statement changes, mutating for its row triggers while
  // they run unless `single_row` (an INSERT of one VALUES row).
  void SetMutating(const std::string& phys, const std::string& owner, const std::string& name, bool single_row) {
    phys_ = phys;
    qualified_ = owner + "." + name;
    single_row_ = single_row;
  }
  // Rows of an array execute: several rows, whatever the statement.
  void SetArray(bool on) { array_ = on; }

 private:
  Status Fire(Session& s, size_t i, const std::vector<std::string>* names, std::vector<Value>* new_row,
              const std::vector<Value>* old_row, bool before);

  TriggerEvent event_ = kTrgInsert;
  std::vector<std::string> set_cols_;
  std::vector<std::shared_ptr<const TriggerDef>> defs_;
  // The compiled unit of each of defs_, as of catalog version units_version_.
  std::vector<std::shared_ptr<pl::StoredUnit>> units_;
  int64_t units_version_ = -1;
  // What each trigger's block gets around it, made at its first firing:
  // the NEW and OLD records and the INSERTING ... flags of this statement.
  std::vector<std::vector<pl::BlockValue>> values_;
  bool rows_[3] = {false, false, false};
  bool statements_ = false;
  std::string phys_, qualified_;
  bool single_row_ = false;
  bool array_ = false;
};

// ORA-04091 when one of the SQL texts of a statement about to run reads
// or changes a table that is mutating on this thread (a row trigger of a
// statement changing it is running). Cheap when no row trigger runs.
Status CheckNotMutating(const char* const* sql_texts, size_t n);
bool AnyMutating();

namespace pl {
// A trigger's body and WHEN condition parsed for the runner (the catalog's
// compiler and the session's units use it).
Status ParseTriggerUnit(const std::string& owner, const std::string& name, const std::string& source,
                        std::shared_ptr<const TriggerDef>* def, std::shared_ptr<const sql::PlsqlUnit>* body,
                        std::shared_ptr<const sql::PlsqlUnit>* when);
}  // namespace pl

}  // namespace tabdb
