// prepared_instead.cpp - INSERT, UPDATE and DELETE on a view with INSTEAD
// OF triggers: the statement finds or builds the view's rows and runs the
// triggers for each, in place of changing any table.
#include <sqlite3.h>

#include "exec/compiler_internal.h"
#include "exec/prepared.h"
#include "exec/row_checks.h"
#include "exec/triggers.h"
#include "sql/printer.h"
#include "util/errors.h"

namespace tabdb {

using sql::StmtKind;

Status Prepared::CompileInstead(const sql::NameList& name, bool* done) {
  *done = false;
  ResolvedName r;
  TABDB_RETURN_IF_ERROR(ResolveName(*s_, name, &r));
  if (r.type != "VIEW") return Status::Ok();
  const bool insert = stmt_->kind == StmtKind::kInsert, update = stmt_->kind == StmtKind::kUpdate;
  TriggerEvent event = insert ? kTrgInsert : update ? kTrgUpdate : kTrgDelete;
  std::vector<std::string> set_names;
  if (update)
    for (const sql::Assignment& a : stmt_->update->sets) set_names.push_back(a.column.text);
  TABDB_RETURN_IF_ERROR(StatementTriggers::Load(*s_, r.owner, r.name, event, set_names, true, &triggers_));
  if (!triggers_) return Status::Ok();
  TableInfo unused;
  ViewInfo view;
  bool is_view = false;
  TABDB_RETURN_IF_ERROR(ResolveQuerySource(*s_, name, &unused, &view, &is_view));
  BindContext binds;
  binds.user_kinds = bind_kinds_;
  DictionaryView dv;
  dv.name = r.name;
  TABDB_RETURN_IF_ERROR(CompileStoredView(*s_, view, 1, &binds, &dv.sql, &dv.columns));
  for (const ViewColumn& c : dv.columns) {
    trigger_names_.push_back(c.name);
    view_types_.push_back(c.type);
  }
  auto column_of = [&](const std::string& n, int* out) {
    for (size_t k = 0; k < dv.columns.size(); ++k)
      if (dv.columns[k].name == n) {
        *out = static_cast<int>(k);
        return Status::Ok();
      }
    return OraError(ora::kInvalidIdentifier, {sql::QuoteName(n)});
  };
  std::string sql;
  view_sources_.assign(dv.columns.size(), -1);
  if (insert) {
    // The values of the named columns (all the view's without a list) as
    // one query; the other columns are NULL.
    const sql::Insert& ins = *stmt_->insert;
    std::vector<int> named;
    for (const sql::Name& n : ins.columns) {
      int k = 0;
      TABDB_RETURN_IF_ERROR(column_of(n.text, &k));
      named.push_back(k);
    }
    if (ins.columns.empty())
      for (size_t k = 0; k < dv.columns.size(); ++k) named.push_back(static_cast<int>(k));
    if (!ins.more_values.empty()) return Unimplemented("INSERT of several VALUES rows into a view");
    if (ins.select) {
      std::vector<ResultColumn> cols;
      TABDB_RETURN_IF_ERROR(CompileQuerySql(*s_, *ins.select, stmt_->text, &binds, &sql, &cols, nullptr, 0, false, false));
      if (cols.size() != named.size()) return OraError(cols.size() < named.size() ? ora::kNotEnoughValues : ora::kTooManyValues);
      for (const ResultColumn& c : cols) select_types_.push_back(c.type);
    } else {
      if (ins.values.size() != named.size())
        return OraError(ins.values.size() < named.size() ? ora::kNotEnoughValues : ora::kTooManyValues);
      Scope none;
      Compiler c(*s_, none, &binds);
      sql = "SELECT ";
      for (size_t j = 0; j < named.size(); ++j) {
        CExpr ce;
        TABDB_RETURN_IF_ERROR(c.Compile(*ins.values[j], &ce));
        if (ce.is_bool) return OraError(ora::kMissingExpression);
        sql += (j ? ", " : "") + ce.sql;
        select_types_.push_back(ce.type);
      }
    }
    for (size_t j = 0; j < named.size(); ++j) view_sources_[static_cast<size_t>(named[j])] = static_cast<int>(j);
  } else {
    // The view's rows the WHERE keeps: the SET values, then every column.
    const sql::TableRef& ref = update ? stmt_->update->table : stmt_->del->table;
    const sql::Expr* where = update ? stmt_->update->where.get() : stmt_->del->where.get();
    Scope scope;
    scope.kind = Scope::kView;
    scope.view = &dv;
    scope.qualifiers = {ref.has_alias ? ref.alias.text : r.name};
    scope.qualifier_owner = r.owner;
    Compiler c(*s_, scope, &binds);
    sql = "SELECT 0";
    if (update) {
      for (const sql::Assignment& a : stmt_->update->sets) {
        int k = 0;
        TABDB_RETURN_IF_ERROR(column_of(a.column.text, &k));
        CExpr ce;
        TABDB_RETURN_IF_ERROR(c.Compile(*a.value, &ce));
        if (ce.is_bool) return OraError(ora::kMissingExpression);
        view_sources_[static_cast<size_t>(k)] = static_cast<int>(select_types_.size());
        sql += ", " + ce.sql;
        select_types_.push_back(ce.type);
      }
    }
    old_first_ = 1 + static_cast<int>(select_types_.size());
    for (const ViewColumn& col : dv.columns) sql += ", _t." + sql::QuoteName(col.name);
    sql += " FROM (" + dv.sql + ") AS _t";
    if (where) {
      RownumLimits limits;
      std::string where_sql;
      TABDB_RETURN_IF_ERROR(CompileWhere(c, where, {}, &where_sql, &limits));
      sql += where_sql + limits.Sql(c);
    }
  }
  for (StatementParam p : binds.hidden) hidden_params_.push_back(static_cast<int>(p));
  TABDB_RETURN_IF_ERROR(PrepareSql(*s_, sql, &select_));
  instead_ = true;
  *done = true;
  return Status::Ok();
}

Status Prepared::RunInstead(const std::vector<Value>& binds, uint64_t* rows) {
  const bool insert = stmt_->kind == StmtKind::kInsert, update = stmt_->kind == StmtKind::kUpdate;
  sqlite3_stmt* q = select_.get();
  sqlite3_reset(q);
  sqlite3_clear_bindings(q);
  TABDB_RETURN_IF_ERROR(BindParams(q, binds, static_cast<int>(bind_kinds_.size())));
  // The rows first: what the triggers change cannot disturb the scan.
  std::vector<std::vector<Value>> news, olds;
  const size_t n = trigger_names_.size();
  for (;;) {
    bool r = false;
    Status st = s_->db().Step(q, &r);
    if (!st.ok()) {
      sqlite3_reset(q);
      return st;
    }
    if (!r) break;
    std::vector<Value> nv(n), ov;
    for (size_t k = 0; k < n; ++k) {
      int src = view_sources_[k];
      if (src >= 0) {
        ReadColumn(q, insert ? src : 1 + src, select_types_[static_cast<size_t>(src)].kind, &nv[k]);
      } else if (insert) {
        nv[k] = Value::Null(view_types_[k].kind);
      }
    }
    if (!insert) {
      ov.resize(n);
      for (size_t k = 0; k < n; ++k) {
        ReadColumn(q, old_first_ + static_cast<int>(k), view_types_[k].kind, &ov[k]);
        if (view_sources_[k] < 0) nv[k] = ov[k];
      }
    }
    news.push_back(std::move(nv));
    olds.push_back(std::move(ov));
  }
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(s_->db().Savepoint("tabdb_stmt"));
  Status st = triggers_->Begin(*s_);
  for (size_t i = 0; i < news.size() && st.ok(); ++i)
    st = triggers_->FireRow(*s_, TriggerTiming::kInstead, trigger_names_, insert || update ? &news[i] : nullptr,
                            insert ? nullptr : &olds[i]);
  if (!st.ok()) {
    (void)s_->db().RollbackTo("tabdb_stmt");  // the trigger's error is the one reported
    return st;
  }
  TABDB_RETURN_IF_ERROR(s_->db().Release("tabdb_stmt"));
  *rows += news.size();
  return Status::Ok();
}

}  // namespace tabdb
