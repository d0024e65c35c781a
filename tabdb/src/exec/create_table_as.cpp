// create_table_as.cpp - CREATE TABLE ... AS SELECT, and the DEFAULT of a
// column added to a table that has rows.
//
// CREATE TABLE AS SELECT compiles its query once for the column types
// (Oracle's: the query's result types, NOT NULL kept from plain column
// references), creates the table, then copies the rows with one
// INSERT ... SELECT. A copy that fails leaves no table behind.
#include "exec/create_table_as.h"

#include <algorithm>
#include <memory>

#include "exec/compiler.h"
#include "exec/prepared.h"
#include "sql/parser.h"
#include "sql/printer.h"
#include "util/errors.h"

namespace tabdb {
namespace {

// Runs statement text through the engine as a client would.
Status RunText(Session& s, const std::string& text, uint64_t* rows) {
  std::unique_ptr<sql::Statement> parsed;
  TABDB_RETURN_IF_ERROR(sql::Parse(text, &parsed));
  std::shared_ptr<const sql::Statement> st(std::move(parsed));
  std::unique_ptr<Prepared> p;
  TABDB_RETURN_IF_ERROR(Prepared::Create(s, st, {}, &p));
  if (p->is_dml()) return p->ExecuteDml({}, rows, nullptr);
  return p->ExecuteOther();
}

std::string QualifiedName(Session& s, const sql::NameList& n) {
  std::string owner = n.size() == 2 ? n[0].text : s.current_schema();
  return sql::QuoteName(owner) + "." + sql::QuoteName(n.back().text);
}

// The tables of the query's FROM clause that are named (not inline views),
// with the qualifier the query uses for each.
struct FromTable {
  std::string qualifier;
  TableInfo table;
};

Status FromTables(Session& s, const sql::Select& q, std::vector<FromTable>* out) {
  auto add = [&](const sql::TableRef& ref) -> Status {
    if (ref.subquery || ref.name.empty()) return Status::Ok();
    FromTable f;
    if (!ResolveTable(s, ref.name, &f.table).ok()) return Status::Ok();  // DUAL, views
    f.qualifier = ref.has_alias ? ref.alias.text : ref.name.back().text;
    out->push_back(std::move(f));
    return Status::Ok();
  };
  TABDB_RETURN_IF_ERROR(add(q.from));
  for (const sql::JoinItem& j : q.joins) TABDB_RETURN_IF_ERROR(add(j.table));
  return Status::Ok();
}

// Per result column, whether it copies a NOT NULL column as it is; empty
// when the select list cannot be matched to the result columns.
std::vector<bool> NotNullColumns(const sql::Select& q, const std::vector<FromTable>& from,
                                 size_t result_count) {
  std::vector<bool> out;
  auto visible = [](const TableInfo& t, std::vector<bool>* v) {
    std::vector<const ColumnInfo*> cols;
    for (const ColumnInfo& c : t.columns)
      if (!c.hidden) cols.push_back(&c);
    std::sort(cols.begin(), cols.end(),
              [](const ColumnInfo* a, const ColumnInfo* b) { return a->column_id < b->column_id; });
    for (const ColumnInfo* c : cols) v->push_back(!c->nullable);
  };
  for (const sql::SelectItem& item : q.items) {
    if (item.star) {
      for (const FromTable& f : from)
        if (item.star_qualifier.empty() || item.star_qualifier.back().text == f.qualifier)
          visible(f.table, &out);
      continue;
    }
    bool not_null = false;
    const sql::Expr* e = item.expr.get();
    if (e && e->kind == sql::ExprKind::kColumn) {
      const std::string& col = e->names.back().text;
      for (const FromTable& f : from) {
        if (e->names.size() >= 2 && e->names[e->names.size() - 2].text != f.qualifier) continue;
        if (const ColumnInfo* c = f.table.FindColumn(col)) {
          not_null = !c->nullable;
          break;
        }
      }
    }
    out.push_back(not_null);
  }
  if (out.size() != result_count) out.clear();
  return out;
}

}  // namespace

Status CreateTableAsSelect(Session& s, const sql::Statement& st) {
  const sql::CreateTable& ct = *st.create_table;
  const sql::Select& q = *ct.as_select;
  // The query alone, compiled for its result columns (and the privileges
  // it needs) before anything is created.
  std::string query_text =
      st.text.substr(ct.as_select_span.begin, ct.as_select_span.end - ct.as_select_span.begin);
  std::unique_ptr<sql::Statement> parsed;
  TABDB_RETURN_IF_ERROR(sql::Parse(query_text, &parsed));
  std::shared_ptr<const sql::Statement> query(std::move(parsed));
  std::unique_ptr<Prepared> p;
  TABDB_RETURN_IF_ERROR(Prepared::Create(s, query, {}, &p));
  const std::vector<ResultColumn>& cols = p->columns();
  if (!ct.columns.empty() && ct.columns.size() != cols.size())
    return OraError(ora::kInvalidColumnNameCount);
  if (ct.columns.empty()) {
    for (const sql::SelectItem& item : q.items) {
      bool named = item.star || item.has_alias ||
                   (item.expr && item.expr->kind == sql::ExprKind::kColumn);
      if (!named) return OraError(ora::kMustNameExpression);
    }
  }
  std::vector<FromTable> from;
  TABDB_RETURN_IF_ERROR(FromTables(s, q, &from));
  std::vector<bool> not_null = NotNullColumns(q, from, cols.size());

  // Without * the select items are the result columns: a string literal
  // makes a CHAR column, a NULL one no column at all.
  bool stars = false;
  for (const sql::SelectItem& item : q.items) stars = stars || item.star;
  std::vector<TypeDesc> types;
  for (size_t i = 0; i < cols.size(); ++i) {
    TypeDesc t = cols[i].type;
    const sql::Expr* e = stars || i >= q.items.size() ? nullptr : q.items[i].expr.get();
    if (e && e->kind == sql::ExprKind::kLiteral && e->lit == sql::LiteralKind::kNull)
      return OraError(ora::kZeroLengthColumn);
    if (e && e->kind == sql::ExprKind::kLiteral && e->lit == sql::LiteralKind::kString &&
        t.kind == TypeKind::kVarchar2)
      t.kind = TypeKind::kChar;
    types.push_back(t);
  }

  auto create = std::make_unique<sql::CreateTable>();
  create->name = ct.name;
  create->attrs = ct.attrs;
  for (size_t i = 0; i < cols.size(); ++i) {
    sql::ColumnDef d;
    if (ct.columns.empty()) {
      d.name.text = cols[i].name;
    } else {
      d.name = ct.columns[i].name;
    }
    d.type = types[i];
    bool chars = d.type.kind == TypeKind::kVarchar2 || d.type.kind == TypeKind::kChar ||
                 d.type.kind == TypeKind::kNVarchar2 || d.type.kind == TypeKind::kNChar ||
                 d.type.kind == TypeKind::kRaw;
    if (chars && d.type.length == 0) return OraError(ora::kZeroLengthColumn);
    if (!not_null.empty() && not_null[i]) {
      sql::Constraint k;
      k.kind = sql::ConstraintKind::kNotNull;
      d.constraints.push_back(std::move(k));
    }
    create->columns.push_back(std::move(d));
  }
  p.reset();
  sql::Statement ddl;
  ddl.kind = sql::StmtKind::kCreateTable;
  ddl.create_table = std::move(create);
  TABDB_RETURN_IF_ERROR(ExecuteDdl(s, ddl, InferExprType));

  uint64_t rows = 0;
  std::string table = QualifiedName(s, ct.name);
  Status copied = RunText(s, "INSERT INTO " + table + " " + query_text, &rows);
  if (copied.ok()) copied = s.Commit();
  if (!copied.ok()) {
    (void)s.Rollback();
    (void)RunText(s, "DROP TABLE " + table, &rows);  // the copy's error is the one reported
  }
  return copied;
}

Status FillColumnDefault(Session& s, const TableInfo& table, const ColumnInfo& column) {
  uint64_t rows = 0;
  return RunText(s,
                 "UPDATE " + sql::QuoteName(table.owner) + "." + sql::QuoteName(table.name) +
                     " SET " + sql::QuoteName(column.name) + " = (" + column.data_default + ")",
                 &rows);
}

}  // namespace tabdb
