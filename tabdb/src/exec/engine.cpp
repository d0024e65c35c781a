// engine.cpp - running one statement text for the SQL shell.
#include "exec/engine.h"

#include "exec/match_budget.h"
#include "exec/prepared.h"
#include "sql/parser.h"

namespace tabdb {
namespace {

class PreparedResult : public ResultSet {
 public:
  PreparedResult(std::unique_ptr<Prepared> p, const MatchBudget& budget) : p_(std::move(p)), budget_(budget) {}
  const std::vector<ResultColumn>& columns() const override { return p_->columns(); }
  Status Next(bool* row) override {
    MatchBudgetScope scope(&budget_);
    return p_->Next(row);
  }
  Status Get(int i, Value* out) override {
    p_->GetValue(i, out);
    return Status::Ok();
  }

 private:
  std::unique_ptr<Prepared> p_;
  MatchBudget budget_;  // the rest of the execution's
};

}  // namespace

Status ExecuteText(Session& s, std::string_view text, ExecResult* out) {
  MatchBudget budget;
  MatchBudgetScope scope(&budget);
  TABDB_RETURN_IF_ERROR(s.CheckRights());
  std::unique_ptr<sql::Statement> parsed;
  TABDB_RETURN_IF_ERROR(sql::Parse(text, &parsed));
  out->kind = parsed->kind;
  out->rows = 0;
  out->result.reset();
  std::shared_ptr<const sql::Statement> st(std::move(parsed));
  std::unique_ptr<Prepared> p;
  TABDB_RETURN_IF_ERROR(Prepared::Create(s, st, {}, &p));
  if (p->is_query()) {
    TABDB_RETURN_IF_ERROR(p->Open({}));
    out->result = std::make_unique<PreparedResult>(std::move(p), budget);
    return Status::Ok();
  }
  if (p->is_dml()) {
    std::vector<Value> returning;
    return p->ExecuteDml({}, &out->rows, nullptr);
  }
  return p->ExecuteOther();
}

}  // namespace tabdb
