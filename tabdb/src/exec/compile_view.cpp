// compile_view.cpp - views as query sources: a view's stored query is
// compiled as an inline view, as its owner and in its schema (the owner's
// privileges on the base objects count, not the querying user's), each
// time a statement that uses it is compiled; and the definer's rights a
// materialized view's query runs with.
#include <algorithm>
#include <functional>

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

// Under definer's rights no role counts, for the views read inside too.
void KeepDefinerRights(const Session& s, UserInfo* u) {
  if (!s.user().definer_rights) return;
  u->dba = false;
  u->definer_rights = true;
}

Status CompileAs(Session& s, const std::string& owner, const std::string& schema,
                 const sql::Select& q, int level, BindContext* binds, std::string* sql,
                 std::vector<ViewColumn>* cols) {
  UserInfo u;
  TABDB_RETURN_IF_ERROR(Owner(s, owner, &u));
  KeepDefinerRights(s, &u);
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
    if (v.aliased) return OraError(ora::kInvalidColumnNameCount);
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

// Which columns of a view's query are NOT NULL, as Oracle derives it: a
// plain column (or a column of a *) of a NOT NULL column of a table. Only
// queries over tables joined without outer joins, USING or NATURAL are
// looked at; in any other case every column may be NULL.
void NotNullColumns(Session& s, const sql::Select& q, size_t count, std::vector<bool>* out) {
  out->assign(count, false);
  struct Item {
    std::string qualifier;
    std::string owner;
    TableInfo table;
  };
  std::vector<Item> items;
  std::vector<const sql::TableRef*> refs = {&q.from};
  for (const sql::JoinItem& j : q.joins) {
    if (j.kind == sql::JoinKind::kLeft || j.kind == sql::JoinKind::kRight ||
        j.kind == sql::JoinKind::kFull || j.natural || !j.using_columns.empty())
      return;
    refs.push_back(&j.table);
  }
  for (const sql::TableRef* r : refs) {
    if (r->subquery || r->name.empty()) return;
    Item it;
    ViewInfo view;
    bool is_view = false;
    if (!ResolveQuerySource(s, r->name, &it.table, &view, &is_view).ok() || is_view) return;
    it.qualifier = r->has_alias ? r->alias.text : r->name.back().text;
    it.owner = it.table.owner;
    items.push_back(std::move(it));
  }
  auto visible = [](const TableInfo& t) {
    std::vector<const ColumnInfo*> v;
    for (const ColumnInfo& c : t.columns)
      if (!c.hidden) v.push_back(&c);
    std::stable_sort(v.begin(), v.end(), [](const ColumnInfo* a, const ColumnInfo* b) {
      return a->column_id < b->column_id;
    });
    return v;
  };
  std::vector<bool> flags;
  for (const sql::SelectItem& si : q.items) {
    if (si.star) {
      for (const Item& it : items) {
        if (!si.star_qualifier.empty() && si.star_qualifier.back().text != it.qualifier) continue;
        for (const ColumnInfo* c : visible(it.table)) flags.push_back(!c->nullable);
      }
      continue;
    }
    bool nn = false;
    if (si.expr && si.expr->kind == sql::ExprKind::kColumn && !si.expr->names.empty()) {
      const sql::NameList& n = si.expr->names;
      const ColumnInfo* found = nullptr;
      int matches = 0;
      for (const Item& it : items) {
        if (n.size() >= 2 && n[n.size() - 2].text != it.qualifier) continue;
        if (n.size() == 3 && n[0].text != it.owner) continue;
        if (const ColumnInfo* c = it.table.FindColumn(n.back().text)) {
          found = c;
          ++matches;
        }
      }
      nn = matches == 1 && !found->nullable;
    }
    flags.push_back(nn);
  }
  if (flags.size() == count) *out = flags;
}

}  // namespace

Status DescribeViewQuery(Session& s, const std::string& owner, const sql::Select& q,
                         std::vector<ColumnInfo>* cols) {
  BindContext binds;
  std::string sql;
  std::vector<ViewColumn> vc;
  TABDB_RETURN_IF_ERROR(CompileAs(s, owner, owner, q, 1, &binds, &sql, &vc));
  std::vector<bool> not_null;
  {
    UserInfo u;
    TABDB_RETURN_IF_ERROR(Owner(s, owner, &u));
    KeepDefinerRights(s, &u);
    ActAs as(s, u, owner);
    NotNullColumns(s, q, vc.size(), &not_null);
  }
  cols->clear();
  for (size_t i = 0; i < vc.size(); ++i) {
    ColumnInfo c;
    c.name = vc[i].name;
    c.type = vc[i].type;
    c.nullable = !not_null[i];
    cols->push_back(std::move(c));
  }
  return Status::Ok();
}

Status RunAsOwner(Session& s, const std::string& owner, const std::function<Status()>& fn) {
  UserInfo u;
  bool found = false;
  TABDB_RETURN_IF_ERROR(FindUser(s, owner, &u, &found));
  if (!found) return OraError(ora::kUserDoesNotExist, {owner});
  u.dba = false;
  u.definer_rights = true;
  ActAs as(s, u, owner);
  return fn();
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
