// compile_view.cpp - views as query sources: a view's stored query is
// compiled as an inline view, as its owner and in its schema (the owner's
// privileges on the base objects count, not the querying user's), each
// time a statement that uses it is compiled.
#include "exec/compiler_internal.h"
#include "sql/parser.h"
#include "sql/printer.h"
#include "util/errors.h"

namespace tabdb {
namespace {

// Acts as `owner` in `schema` until destroyed.
class ActAs {
 public:
  ActAs(Session& s, const UserInfo& owner, const std::string& schema)
      : s_(s), user_(owner), schema_(schema) {
    s_.SwapIdentity(&user_, &schema_);
  }
  ~ActAs() { s_.SwapIdentity(&user_, &schema_); }
  ActAs(const ActAs&) = delete;
  ActAs& operator=(const ActAs&) = delete;

 private:
  Session& s_;
  UserInfo user_;
  std::string schema_;
};

Status Owner(Session& s, const std::string& name, UserInfo* out) {
  bool found = false;
  TABDB_RETURN_IF_ERROR(FindUser(s, name, out, &found));
  if (!found) return OraError(ora::kTableNotExist);
  return Status::Ok();
}

Status CompileAs(Session& s, const std::string& owner, const std::string& schema,
                 const sql::Select& q, int level, BindContext* binds, std::string* sql,
                 std::vector<ViewColumn>* cols) {
  UserInfo u;
  TABDB_RETURN_IF_ERROR(Owner(s, owner, &u));
  ActAs as(s, u, schema);
  return CompileNestedSelect(s, q, nullptr, level, binds, sql, cols);
}

Status CompileViewQuery(Session& s, const ViewInfo& v, int level, BindContext* binds,
                        std::string* sql, std::vector<ViewColumn>* cols) {
  std::unique_ptr<sql::Statement> st;
  TABDB_RETURN_IF_ERROR(sql::Parse(v.text, &st));
  if (st->kind != sql::StmtKind::kSelect || !st->select) return OraError(ora::kInvalidSqlStatement);
  std::string inner;
  TABDB_RETURN_IF_ERROR(CompileAs(s, v.owner, v.parse_schema, *st->select, level, binds, &inner, cols));
  if (v.columns.size() != cols->size()) {
    // The query's columns changed under a view without a column list.
    if (v.aliased) return OraError(ora::kViewColumnCount);
  } else {
    for (size_t i = 0; i < cols->size(); ++i) (*cols)[i].name = v.columns[i];
  }
  // The view's names, by position, over whatever the query names them.
  std::string cte = "_v" + std::to_string(level);
  std::string names;
  for (const ViewColumn& c : *cols) names += (names.empty() ? "" : ", ") + sql::QuoteName(c.name);
  *sql = "WITH " + cte + "(" + names + ") AS (" + inner + ") SELECT * FROM " + cte;
  return Status::Ok();
}

}  // namespace

Status DescribeViewQuery(Session& s, const std::string& owner, const sql::Select& q,
                         std::vector<std::pair<std::string, TypeDesc>>* cols) {
  BindContext binds;
  std::string sql;
  std::vector<ViewColumn> vc;
  TABDB_RETURN_IF_ERROR(CompileAs(s, owner, owner, q, 1, &binds, &sql, &vc));
  cols->clear();
  for (const ViewColumn& c : vc) cols->push_back({c.name, c.type});
  return Status::Ok();
}

Status CompileStoredView(Session& s, const ViewInfo& v, int level, BindContext* binds,
                         std::string* sql, std::vector<ViewColumn>* cols) {
  // A view created with errors is compiled again: it works once what it
  // names exists.
  Status st = CompileViewQuery(s, v, level, binds, sql, cols);
  if (st.ok()) return st;
  return OraError(ora::kViewHasErrors, {"view \"" + v.owner + "." + v.name + "\""});
}

}  // namespace tabdb
