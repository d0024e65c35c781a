// prepared.cpp - compiling and running queries, INSERT, UPDATE and DELETE.
#include "exec/prepared.h"
#include "exec/partition_route.h"
#include "exec/triggers.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <set>

#include "catalog/dictionary.h"
#include "catalog/partition.h"
#include "catalog/sequence.h"
#include "exec/alter_system.h"
#include "exec/compiler.h"
#include "exec/compiler_internal.h"
#include "exec/convert.h"
#include "exec/create_table_as.h"
#include "exec/ddl_functions.h"
#include "exec/mview_exec.h"
#include "exec/plsql.h"
#include "sql/parser.h"
#include "sql/printer.h"
#include "storage/lob_store.h"
#include "util/errors.h"
#include "values/datetime.h"
#include "values/number.h"

namespace tabdb {

using sql::StmtKind;

namespace {

// Heading of a select item without alias: Oracle shows the expression as
// written, upper-cased, without blanks.
std::string Heading(const std::string& text, const sql::SelectItem& item) {
  if (item.has_alias) return item.alias.text;
  if (item.expr && item.expr->kind == sql::ExprKind::kColumn) return item.expr->names.back().text;
  std::string h;
  std::string_view t(text);
  if (item.span.end > item.span.begin && item.span.end <= t.size())
    t = t.substr(item.span.begin, item.span.end - item.span.begin);
  for (char c : t) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    h += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return h.substr(0, 128);
}

TypeDesc TypeOf(TypeKind k) {
  TypeDesc t;
  t.kind = k;
  return WithDefaults(t);
}

// Binds `v` as text when `text` (the class of its type), else as a blob.
inline void BindValueAs(sqlite3_stmt* s, int i, const Value& v, bool text) {
  if (v.null) {
    sqlite3_bind_null(s, i);
  } else if (v.lob_id != 0) {
    sqlite3_bind_int64(s, i, v.lob_id);
  } else if (text) {
    sqlite3_bind_text(s, i, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_STATIC);
  } else {
    sqlite3_bind_blob(s, i, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_STATIC);
  }
}

void BindValue(sqlite3_stmt* s, int i, const Value& v) {
  BindValueAs(s, i, v, !v.null && v.lob_id == 0 && IsTextClass(v.kind));
}

void ColumnValue(sqlite3_stmt* s, int i, TypeKind kind, Value* out) {
  out->kind = kind;
  out->lob_id = 0;
  out->empty_lob = false;
  out->adopt = false;
  switch (sqlite3_column_type(s, i)) {
    case SQLITE_NULL:
      out->null = true;
      out->bytes.clear();
      return;
    case SQLITE_INTEGER:
      out->null = false;
      out->lob_id = sqlite3_column_int64(s, i);
      out->bytes.clear();
      return;
    case SQLITE_TEXT: {
      out->null = false;
      const unsigned char* p = sqlite3_column_text(s, i);
      out->bytes.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(s, i)));
      return;
    }
    default: {
      out->null = false;
      const void* p = sqlite3_column_blob(s, i);
      out->bytes.assign(static_cast<const char*>(p ? p : ""), static_cast<size_t>(sqlite3_column_bytes(s, i)));
      return;
    }
  }
}

}  // namespace

void ReadColumn(sqlite3_stmt* s, int i, TypeKind kind, Value* out) { ColumnValue(s, i, kind, out); }

namespace {

// The queries of each session whose cursor is open. SQLite cannot drop or
// empty a table that a statement of the same connection is still reading,
// where Oracle runs the DDL and fails the cursor's next fetch instead.
struct OpenQueries {
  std::mutex mu;
  std::map<const Session*, std::set<Prepared*>> by_session;
};

OpenQueries& AllOpenQueries() {
  static OpenQueries q;
  return q;
}

bool IsDual(const sql::NameList& n) {
  return (n.size() == 1 && n[0].text == "DUAL") ||
         (n.size() == 2 && n[0].text == "SYS" && n[1].text == "DUAL");
}

// The FROM item of a query: a table, a dictionary view, DUAL, or the row
// generator of CONNECT BY.
struct From {
  TableInfo table;
  DictionaryView view;
  Scope scope;
  std::string sql;  // FROM clause text
};

// A query named by WITH, as an inline view. It sees the WITH items defined
// before it (`visible` of them), not itself nor those after it.
Status ResolveWithItem(Session& s, const sql::WithItem& w, size_t visible, BindContext* binds, int level,
                       DictionaryView* view) {
  std::vector<const sql::WithItem*> saved = binds->with;
  binds->with.resize(visible);
  Status st = CompileNestedSelect(s, *w.query, nullptr, level + 1, binds, &view->sql, &view->columns);
  binds->with = std::move(saved);
  TABDB_RETURN_IF_ERROR(st);
  view->name = w.name.text;
  if (w.columns.empty()) return Status::Ok();
  if (w.columns.size() != view->columns.size()) return OraError(ora::kWithColumnCount);
  std::string renamed;
  for (size_t k = 0; k < w.columns.size(); ++k) {
    renamed += (k ? ", " : "") + sql::QuoteName(view->columns[k].name) + " AS " + sql::QuoteName(w.columns[k].text);
    view->columns[k].name = w.columns[k].text;
  }
  view->sql = "SELECT " + renamed + " FROM (" + view->sql + ")";
  return Status::Ok();
}

Status ResolveFrom(Session& s, const sql::TableRef& ref, const sql::Expr* connect_by, BindContext* binds,
                   From* f, int level = 0) {
  Scope& sc = f->scope;
  sc.alias = "_t";
  if (ref.subquery) {
    // An inline view: the query's columns under its headings.
    if (connect_by) return Unimplemented("CONNECT BY");
    TABDB_RETURN_IF_ERROR(
        CompileNestedSelect(s, *ref.subquery, nullptr, level + 1, binds, &f->view.sql, &f->view.columns));
    f->view.name = ref.has_alias ? ref.alias.text : "";
    sc.kind = Scope::kView;
    sc.view = &f->view;
    if (ref.has_alias) sc.qualifiers = {ref.alias.text};
    f->sql = "(" + f->view.sql + ")";
    return Status::Ok();
  }
  if (ref.name.size() == 1) {
    const sql::WithItem* w = nullptr;
    size_t at = binds->with.size();
    while (w == nullptr && at-- > 0) {
      if (binds->with[at]->name.text == ref.name[0].text) w = binds->with[at];
    }
    if (w != nullptr) {
      if (connect_by) return OraError(ora::kUnimplemented);
      TABDB_RETURN_IF_ERROR(ResolveWithItem(s, *w, at, binds, level, &f->view));
      sc.kind = Scope::kView;
      sc.view = &f->view;
      sc.qualifiers = {ref.has_alias ? ref.alias.text : w->name.text};
      f->sql = "(" + f->view.sql + ")";
      return Status::Ok();
    }
  }
  if (IsDual(ref.name)) {
    sc.qualifiers = {ref.has_alias ? ref.alias.text : "DUAL"};
    if (connect_by) {
      sc.kind = Scope::kGenerator;
      Scope cond_scope;
      cond_scope.kind = Scope::kGenerator;
      cond_scope.level_sql = "tabdb_num(_gen.lvl + 1)";
      Compiler c(s, cond_scope, binds);
      CExpr cond;
      TABDB_RETURN_IF_ERROR(c.CompileCondition(*connect_by, &cond));
      f->sql = "(WITH RECURSIVE _gen(lvl) AS (SELECT 1 UNION ALL SELECT lvl + 1 FROM _gen WHERE " +
               cond.sql + " AND lvl < 100000000) SELECT lvl FROM _gen)";
    } else {
      sc.kind = Scope::kDual;
      f->sql = "(SELECT 'X' AS DUMMY)";
    }
    return Status::Ok();
  }
  if (connect_by) return Unimplemented("CONNECT BY");
  ViewInfo stored;
  bool is_view = false;
  Status st = ResolveQuerySource(s, ref.name, &f->table, &stored, &is_view);
  if (st.ok() && is_view) {
    TABDB_RETURN_IF_ERROR(CompileStoredView(s, stored, level + 1, binds, &f->view.sql, &f->view.columns));
    // compiled now: an INVALID view is VALID again, when the session may
    // write (outside a transaction and a query, not read-only, not in
    // flashback); otherwise it stays INVALID until a later use
    if (!stored.valid && !s.db().in_transaction() && !QueryStepping() && !s.read_only() && !s.flashback())
      TABDB_RETURN_IF_ERROR(RevalidateView(s, stored.obj_id));
    f->view.name = stored.name;
    sc.kind = Scope::kView;
    sc.view = &f->view;
    sc.qualifiers = {ref.has_alias ? ref.alias.text : ref.name.back().text};
    sc.qualifier_owner = stored.owner;
    f->sql = "(" + f->view.sql + ")";
    return Status::Ok();
  }
  if (st.ok()) {
    sc.kind = Scope::kTable;
    sc.table = &f->table;
    // Named through a synonym, the table is qualified by the synonym's name.
    sc.qualifiers = {ref.has_alias ? ref.alias.text : ref.name.back().text};
    sc.qualifier_owner = f->table.owner;
    return PartitionSource(s, f->table, ref, &f->sql);
  }
  if (st.code() != ora::kTableNotExist) return st;
  // Dictionary views are public names: SYS.ALL_TABLES or ALL_TABLES.
  if (ref.name.size() == 1 || (ref.name.size() == 2 && ref.name[0].text == "SYS")) {
    Status vs;
    if (FindDictionaryView(s, ref.name.back().text, &f->view, &vs)) {
      if (!vs.ok()) return vs;
      sc.kind = Scope::kView;
      sc.view = &f->view;
      sc.qualifiers = {ref.has_alias ? ref.alias.text : f->view.name};
      sc.qualifier_owner = "SYS";
      f->sql = "(" + f->view.sql + ")";
      return Status::Ok();
    }
  }
  return st;
}

// The columns `*` shows, in their order.
std::vector<const ColumnInfo*> VisibleColumns(const TableInfo& t) {
  std::vector<const ColumnInfo*> vis;
  for (const ColumnInfo& c : t.columns) {
    if (!c.hidden) vis.push_back(&c);
  }
  std::sort(vis.begin(), vis.end(),
            [](const ColumnInfo* a, const ColumnInfo* b) { return a->column_id < b->column_id; });
  return vis;
}

// The FROM clause of a query: one item, or several joined, each under an
// alias of its own (_t, _t1, _t2, ...). `full` is the scope names of the
// query are looked up in; `froms` own what its members point to. WHERE
// conditions that became join conditions are added to `consumed`.
Status ResolveJoin(Session& s, const sql::Select& q, BindContext* binds,
                   std::vector<std::unique_ptr<From>>* froms, Scope* full, std::string* from_sql,
                   const Scope* outer = nullptr, int level = 0,
                   std::vector<const sql::Expr*>* consumed = nullptr) {
  // Nested queries take aliases of their own level (_q1t, _q1t1, ...).
  std::string prefix = level == 0 ? "_t" : "_q" + std::to_string(level) + "t";
  froms->push_back(std::make_unique<From>());
  TABDB_RETURN_IF_ERROR(ResolveFrom(s, q.from, q.connect_by.get(), binds, froms->back().get(), level));
  From& first = *froms->back();
  first.scope.alias = prefix;
  first.scope.outer = outer;
  first.scope.level = level;
  *from_sql = first.sql + " AS " + prefix;
  if (q.joins.empty()) {
    *full = first.scope;
    return Status::Ok();
  }
  if (q.connect_by) return Unimplemented("CONNECT BY");
  *full = Scope();
  full->outer = outer;
  full->level = level;
  first.scope.outer = nullptr;
  full->members.push_back(first.scope);
  for (size_t i = 0; i < q.joins.size(); ++i) {
    const sql::JoinItem& j = q.joins[i];
    froms->push_back(std::make_unique<From>());
    From& f = *froms->back();
    TABDB_RETURN_IF_ERROR(ResolveFrom(s, j.table, nullptr, binds, &f, level));
    f.scope.alias = prefix + std::to_string(i + 1);
    std::vector<std::string> names;
    for (const sql::Name& n : j.using_columns) names.push_back(n.text);
    if (j.natural) {
      // The columns the new item shares with the items before it.
      std::vector<std::string> mine;
      if (f.scope.kind == Scope::kTable) {
        for (const ColumnInfo* c : VisibleColumns(f.table)) mine.push_back(c->name);
      } else if (f.scope.kind == Scope::kView) {
        for (const ViewColumn& c : f.view.columns) mine.push_back(c.name);
      } else {
        mine.push_back("DUMMY");
      }
      for (const std::string& m : mine) {
        bool shared = false;
        for (const Scope::JoinedColumn& jc : full->joined) shared = shared || jc.name == m;
        for (const Scope& sc : full->members) shared = shared || ScopeHasColumn(sc, m);
        if (shared) names.push_back(m);
      }
    }
    std::string cond;
    Compiler left(s, *full, binds);
    Compiler right(s, f.scope, binds);
    for (const std::string& name : names) {
      sql::Expr col;
      col.kind = sql::ExprKind::kColumn;
      col.names = {sql::Name{name, true}};
      CExpr a, b;
      TABDB_RETURN_IF_ERROR(left.Compile(col, &a));
      if (!ScopeHasColumn(f.scope, name)) return OraError(ora::kInvalidIdentifier, {sql::QuoteName(name)});
      TABDB_RETURN_IF_ERROR(right.Compile(col, &b));
      TypeKind k;
      TABDB_RETURN_IF_ERROR(left.CommonType(a, b, &k));
      cond += (cond.empty() ? "(" : " AND (") + left.ConvertTo(a, k) + " = " + left.ConvertTo(b, k) + ")";
      Scope::JoinedColumn jc;
      jc.name = name;
      jc.type = a.type;
      jc.sql = j.kind == sql::JoinKind::kRight  ? b.sql
               : j.kind == sql::JoinKind::kFull ? "COALESCE(" + a.sql + ", " + b.sql + ")"
                                                : a.sql;
      auto& joined = full->joined;
      joined.erase(std::remove_if(joined.begin(), joined.end(),
                                  [&](const Scope::JoinedColumn& x) { return x.name == name; }),
                   joined.end());
      joined.push_back(jc);
    }
    full->members.push_back(f.scope);
    if (j.on) {
      Compiler c(s, *full, binds);
      CExpr on;
      TABDB_RETURN_IF_ERROR(c.CompileCondition(*j.on, &on));
      if (on.aggregate) return OraError(ora::kGroupFunctionNotAllowed);
      cond = on.sql;
    }
    const char* kw = " JOIN ";
    switch (j.kind) {
      case sql::JoinKind::kComma: kw = ", "; break;
      case sql::JoinKind::kLeft: kw = " LEFT JOIN "; break;
      case sql::JoinKind::kRight: kw = " RIGHT JOIN "; break;
      case sql::JoinKind::kFull: kw = " FULL JOIN "; break;
      default: break;
    }
    *from_sql += kw + f.sql + " AS " + f.scope.alias;
    if (!cond.empty()) {
      *from_sql += " ON " + cond;
    } else if (j.kind == sql::JoinKind::kLeft || j.kind == sql::JoinKind::kRight ||
               j.kind == sql::JoinKind::kFull) {
      *from_sql += " ON 1";
    }
  }
  if (consumed != nullptr && q.where && HasOuterMarker(*q.where)) {
    std::vector<std::pair<std::string, std::string>> items;
    for (const auto& f : *froms) items.emplace_back(f->sql, f->scope.alias);
    return PlanOuterJoins(s, q, *full, items, binds, from_sql, consumed);
  }
  return Status::Ok();
}

// A row count of OFFSET or FETCH FIRST: a number written in the statement
// (fractions truncated, negative counts as zero).
Status RowCount(const sql::Expr& e, long long* out) {
  const sql::Expr* x = &e;
  bool neg = false;
  if (x->kind == sql::ExprKind::kUnary && x->op == sql::Op::kNeg && !x->args.empty()) {
    neg = true;
    x = x->args[0].get();
  }
  if (x->kind != sql::ExprKind::kLiteral || x->lit != sql::LiteralKind::kNumber)
    return Unimplemented("row count that is not a number literal");
  double v = std::strtod(x->text.c_str(), nullptr);
  *out = neg || v < 0 ? 0 : v > 9e18 ? static_cast<long long>(9e18) : static_cast<long long>(v);
  return Status::Ok();
}

Status RowLimit(const sql::Select& q, std::string* out) {
  if (!q.offset && !q.fetch_first) return Status::Ok();
  long long limit = -1, offset = 0;
  if (q.fetch_first) TABDB_RETURN_IF_ERROR(RowCount(*q.fetch_first, &limit));
  if (q.offset) TABDB_RETURN_IF_ERROR(RowCount(*q.offset, &offset));
  *out += " LIMIT " + std::to_string(limit) + " OFFSET " + std::to_string(offset);
  return Status::Ok();
}

Status CompileSelect(Session& s, const sql::Select& q, const std::string& text, BindContext* binds,
                     std::string* sql, std::vector<ResultColumn>* cols, const Scope* outer = nullptr,
                     int level = 0, bool named_items = false, bool positional = false);

// The WITH items of a query are visible while it compiles.
class WithScope {
 public:
  WithScope(BindContext* binds, const sql::Select& q) : binds_(binds), size_(binds->with.size()) {
    for (const sql::WithItem& w : q.with) binds_->with.push_back(&w);
  }
  ~WithScope() { binds_->with.resize(size_); }
  WithScope(const WithScope&) = delete;
  WithScope& operator=(const WithScope&) = delete;

 private:
  BindContext* binds_;
  size_t size_;
};

// Compiles a SELECT into SQLite text and its result columns.
Status CompileSelect(Session& s, const sql::Select& q, const std::string& text, BindContext* binds,
                     std::string* sql, std::vector<ResultColumn>* cols, const Scope* outer,
                     int level, bool named_items, bool positional) {
  WithScope with(binds, q);
  if (!q.branches.empty()) {
    TABDB_RETURN_IF_ERROR(CompileCompound(s, q, text, binds, sql, cols, outer, level, named_items, positional));
    return RowLimit(q, sql);
  }
  std::vector<std::unique_ptr<From>> froms;
  Scope full;
  std::string from_sql;
  std::vector<const sql::Expr*> consumed;
  TABDB_RETURN_IF_ERROR(ResolveJoin(s, q, binds, &froms, &full, &from_sql, outer, level, &consumed));
  Scope item_scope = full;
  item_scope.allow_aggregates = true;
  item_scope.allow_window = true;
  item_scope.rownum_sql = "tabdb_num(row_number() OVER ())";
  Compiler items(s, item_scope, binds);
  std::vector<std::string> item_sql;
  bool any_aggregate = false, rownum_items = false;
  cols->clear();
  auto add_star = [&](const From& f, const std::vector<Scope::JoinedColumn>& skip) -> Status {
    Compiler member(s, f.scope, binds);
    auto skipped = [&](const std::string& name) {
      for (const Scope::JoinedColumn& j : skip) {
        if (j.name == name) return true;
      }
      return false;
    };
    if (f.scope.kind == Scope::kTable) {
      for (const ColumnInfo* c : VisibleColumns(f.table)) {
        if (skipped(c->name)) continue;
        sql::Expr e;
        e.kind = sql::ExprKind::kColumn;
        e.names = {sql::Name{c->name, true}};
        CExpr ce;
        TABDB_RETURN_IF_ERROR(member.Compile(e, &ce));
        item_sql.push_back(ce.sql);
        cols->push_back({c->name, c->type});
      }
    } else if (f.scope.kind == Scope::kView) {
      for (const ViewColumn& c : f.view.columns) {
        if (skipped(c.name)) continue;
        item_sql.push_back(f.scope.alias + "." + sql::QuoteName(c.name));
        cols->push_back({c.name, c.type});
      }
    } else if (skipped("DUMMY")) {
    } else {
      TypeDesc t = TypeOf(TypeKind::kVarchar2);
      t.length = 1;
      item_sql.push_back("'X'");
      cols->push_back({"DUMMY", t});
    }
    return Status::Ok();
  };
  for (const sql::SelectItem& it : q.items) {
    if (it.star) {
      if (it.star_qualifier.empty()) {
        // USING and NATURAL join columns come first, once.
        for (const Scope::JoinedColumn& j : full.joined) {
          item_sql.push_back(j.sql);
          cols->push_back({j.name, j.type});
        }
        for (const auto& f : froms) TABDB_RETURN_IF_ERROR(add_star(*f, full.joined));
        continue;
      }
      const From* match = nullptr;
      for (const auto& f : froms) {
        if (std::find(f->scope.qualifiers.begin(), f->scope.qualifiers.end(),
                      it.star_qualifier.back().text) != f->scope.qualifiers.end()) {
          match = f.get();
          break;
        }
      }
      if (match == nullptr)
        return OraError(ora::kInvalidIdentifier, {sql::QuoteName(it.star_qualifier.back().text)});
      TABDB_RETURN_IF_ERROR(add_star(*match, {}));
      continue;
    }
    CExpr ce;
    TABDB_RETURN_IF_ERROR(items.Compile(*it.expr, &ce));
    if (ce.is_bool) return OraError(ora::kFromNotFound);
    any_aggregate = any_aggregate || ce.aggregate;
    rownum_items = rownum_items || HasRownum(*it.expr);
    item_sql.push_back(ce.sql);
    cols->push_back({Heading(text, it), ce.type});
  }
  auto item_name = [&](size_t i) -> std::string {
    if (positional) return " AS \"_c" + std::to_string(i + 1) + "\"";
    if (!named_items) return "";
    if ((*cols)[i].name.empty()) (*cols)[i].name = "_c" + std::to_string(i + 1);
    return " AS " + sql::QuoteName((*cols)[i].name);
  };
  // WHERE: the terms that became outer-join conditions are gone; those on
  // ROWNUM become a row limit.
  RownumLimits rownum_limit;
  Compiler w(s, full, binds);
  std::string where_sql;
  TABDB_RETURN_IF_ERROR(CompileWhere(w, q.where.get(), consumed, &where_sql, &rownum_limit));
  std::string limit_sql = rownum_limit.Sql(w);
  bool rownum = rownum_limit.any() || rownum_items;
  bool grouped = !q.group_by.empty() || q.having || any_aggregate;
  if (rownum && grouped) {
    // Rows are numbered before they are grouped: the first n rows of the
    // single FROM item are the rows grouped.
    if (rownum_items || !q.joins.empty()) return OraError(ora::kUnimplemented);
    from_sql = "(SELECT * FROM " + from_sql + where_sql + limit_sql + ") AS " + froms[0]->scope.alias;
    where_sql.clear();
    limit_sql.clear();
    rownum = false;
  }
  std::vector<std::string> order_keys, order_dirs;
  for (size_t i = 0; i < q.order_by.size(); ++i) {
    const sql::OrderItem& o = q.order_by[i];
    std::string key;
    const sql::Expr& e = *o.expr;
    if (e.kind == sql::ExprKind::kLiteral && e.lit == sql::LiteralKind::kNumber) {
      size_t pos = std::strtoul(e.text.c_str(), nullptr, 10);
      if (pos < 1 || pos > item_sql.size()) return OraError(ora::kOrderByItemNumber);
      key = item_sql[pos - 1];
    } else {
      if (e.kind == sql::ExprKind::kColumn && e.names.size() == 1) {
        for (size_t k = 0; k < q.items.size(); ++k) {
          if (q.items[k].has_alias && q.items[k].alias.text == e.names[0].text) key = item_sql[k];
        }
      }
      if (key.empty()) {
        CExpr c;
        TABDB_RETURN_IF_ERROR(items.Compile(e, &c));
        if (c.is_bool) return OraError(ora::kInvalidRelationalOperator);
        key = c.sql;
      }
    }
    bool nulls_first = o.nulls == 1 || (o.nulls == 0 && o.desc);
    order_keys.push_back(key);
    order_dirs.push_back(std::string(o.desc ? " DESC" : " ASC") + (nulls_first ? " NULLS FIRST" : " NULLS LAST"));
  }
  if (order_keys.empty() && !grouped && !q.distinct && froms.size() == 1 &&
      froms[0]->scope.kind == Scope::kTable) {
    // An index-organized table is read through its key: without ORDER BY
    // its rows come back in primary key order, as a full scan of the
    // index that holds them returns them.
    std::vector<int> keys;
    TABDB_RETURN_IF_ERROR(IotKeyColumns(s, froms[0]->table.obj_id, &keys));
    Compiler member(s, froms[0]->scope, binds);
    for (int k : keys) {
      for (const ColumnInfo& c : froms[0]->table.columns) {
        if (c.intcol != k) continue;
        sql::Expr e;
        e.kind = sql::ExprKind::kColumn;
        e.names = {sql::Name{c.name, true}};
        CExpr ce;
        TABDB_RETURN_IF_ERROR(member.Compile(e, &ce));
        order_keys.push_back(ce.sql);
        order_dirs.push_back(" ASC");
      }
    }
  }
  std::string out = "SELECT ";
  if (rownum && (q.distinct || !q.order_by.empty() || q.offset || q.fetch_first)) {
    // ROWNUM is given before DISTINCT and ORDER BY: the rows are numbered
    // and limited in an inner query, then made distinct and sorted.
    std::string inner = "SELECT ";
    for (size_t i = 0; i < item_sql.size(); ++i)
      inner += (i ? ", " : "") + item_sql[i] + " AS \"_r" + std::to_string(i + 1) + "\"";
    for (size_t i = 0; i < order_keys.size(); ++i) inner += ", " + order_keys[i] + " AS \"_k" + std::to_string(i + 1) + "\"";
    inner += " FROM " + from_sql + where_sql + limit_sql;
    if (q.distinct) out += "DISTINCT ";
    for (size_t i = 0; i < item_sql.size(); ++i)
      out += (i ? ", " : "") + std::string("_r.\"_r") + std::to_string(i + 1) + "\"" + item_name(i);
    out += " FROM (" + inner + ") AS _r";
    for (size_t i = 0; i < order_keys.size(); ++i)
      out += (i ? ", " : " ORDER BY ") + std::string("_r.\"_k") + std::to_string(i + 1) + "\"" + order_dirs[i];
    TABDB_RETURN_IF_ERROR(RowLimit(q, &out));
    *sql = out;
    return Status::Ok();
  }
  if (q.distinct) out += "DISTINCT ";
  for (size_t i = 0; i < item_sql.size(); ++i) out += (i ? ", " : "") + item_sql[i] + item_name(i);
  out += " FROM " + from_sql + where_sql;
  if (!q.group_by.empty()) {
    Compiler g(s, full, binds);
    out += " GROUP BY ";
    for (size_t i = 0; i < q.group_by.size(); ++i) {
      CExpr c;
      TABDB_RETURN_IF_ERROR(g.Compile(*q.group_by[i], &c));
      out += (i ? ", " : "") + c.sql;
    }
  }
  if (q.having) {
    Scope having_scope = item_scope;
    having_scope.allow_window = false;
    Compiler h(s, having_scope, binds);
    CExpr c;
    TABDB_RETURN_IF_ERROR(h.CompileCondition(*q.having, &c));
    out += " HAVING " + c.sql;
  }
  for (size_t i = 0; i < order_keys.size(); ++i) out += (i ? ", " : " ORDER BY ") + order_keys[i] + order_dirs[i];
  out += limit_sql;
  TABDB_RETURN_IF_ERROR(RowLimit(q, &out));
  *sql = out;
  return Status::Ok();
}

}  // namespace

Status CompileQuerySql(Session& s, const sql::Select& q, const std::string& text, BindContext* binds,
                       std::string* sql, std::vector<ResultColumn>* cols, const Scope* outer, int level,
                       bool named_items, bool positional) {
  return CompileSelect(s, q, text, binds, sql, cols, outer, level, named_items, positional);
}

Status CompileNestedSelect(Session& s, const sql::Select& q, const Scope* outer, int level,
                           BindContext* binds, std::string* sql, std::vector<ViewColumn>* cols) {
  if (level > 40) return Unimplemented("subqueries nested more than 40 deep");
  std::vector<ResultColumn> rc;
  // Headings come from the text: nested items have no text of their own,
  // so an unnamed expression gets a positional name.
  TABDB_RETURN_IF_ERROR(CompileSelect(s, q, std::string(), binds, sql, &rc, outer, level, true));
  cols->clear();
  for (const ResultColumn& c : rc) cols->push_back({c.name, c.type});
  return Status::Ok();
}

// One value of the row an INSERT writes: a placeholder, an expression of
// the values SELECT, or NULL.
struct Prepared::InsertSource {
  enum Kind { kBind, kExpr, kNull } kind = kNull;
  int index = 0;  // bind position, or column of the values SELECT
  const ColumnInfo* column = nullptr;
  bool identity_fill = false;  // a NULL here draws the column's identity sequence
  int null_default = -1;       // DEFAULT ON NULL: the values SELECT column of the default
};

Prepared::~Prepared() { SetOpen(false); }

void Prepared::SetOpen(bool open) {
  if (open_ == open) return;
  open_ = open;
  OpenQueries& q = AllOpenQueries();
  std::lock_guard<std::mutex> lock(q.mu);
  if (open) {
    q.by_session[s_].insert(this);
  } else {
    auto it = q.by_session.find(s_);
    if (it != q.by_session.end()) {
      it->second.erase(this);
      if (it->second.empty()) q.by_session.erase(it);
    }
  }
}

void Prepared::Invalidate() {
  if (query_) sqlite3_reset(query_.get());
  SetOpen(false);
  invalidated_ = true;
}

void Prepared::InvalidateAll(const Session* s) {
  std::vector<Prepared*> open;
  {
    OpenQueries& q = AllOpenQueries();
    std::lock_guard<std::mutex> lock(q.mu);
    auto it = q.by_session.find(s);
    if (it != q.by_session.end()) open.assign(it->second.begin(), it->second.end());
  }
  for (Prepared* p : open) p->Invalidate();
}

bool Prepared::is_dml() const {
  return stmt_->kind == StmtKind::kInsert || stmt_->kind == StmtKind::kUpdate ||
         stmt_->kind == StmtKind::kDelete;
}

Status Prepared::Create(Session& s, std::shared_ptr<const sql::Statement> st,
                        const std::vector<TypeKind>& bind_kinds, std::unique_ptr<Prepared>* out) {
  // GET_DDL of a partitioned table compiles partition conditions in the catalog.
  SetRowConditionFn(CompileRowCondition);
  std::unique_ptr<Prepared> p(new Prepared);
  p->s_ = &s;
  p->stmt_ = std::move(st);
  p->bind_kinds_ = bind_kinds;
  TABDB_RETURN_IF_ERROR(s.db().CatalogVersion(&p->catalog_version_));
  switch (p->stmt_->kind) {
    case StmtKind::kSelect:
      TABDB_RETURN_IF_ERROR(p->CompileQuery());
      break;
    case StmtKind::kInsert:
      TABDB_RETURN_IF_ERROR(p->CompileInsert());
      break;
    case StmtKind::kUpdate:
    case StmtKind::kDelete:
      TABDB_RETURN_IF_ERROR(p->CompileUpdateDelete());
      break;
    default:
      break;
  }
  *out = std::move(p);
  return Status::Ok();
}

Status Prepared::CompileQuery() {
  BindContext binds;
  binds.user_kinds = bind_kinds_;
  std::string sql;
  TABDB_RETURN_IF_ERROR(CompileSelect(*s_, *stmt_->select, stmt_->text, &binds, &sql, &columns_));
  for (StatementParam p : binds.hidden) hidden_params_.push_back(static_cast<int>(p));
  return PrepareSql(*s_, sql, &query_);
}

Status Prepared::BindParams(sqlite3_stmt* s, const std::vector<Value>& binds, int user_count) {
  int n = sqlite3_bind_parameter_count(s);
  for (int i = 1; i <= user_count && i <= n; ++i) {
    if (static_cast<size_t>(i) <= binds.size()) {
      BindValue(s, i, binds[i - 1]);
    } else {
      return OraError(ora::kNotAllVariablesBound);
    }
  }
  if (!hidden_params_.empty()) {
    DateTime now = NowLocal();
    for (size_t k = 0; k < hidden_params_.size(); ++k) {
      int idx = user_count + 1 + static_cast<int>(k);
      if (idx > n) break;
      auto p = static_cast<StatementParam>(hidden_params_[k]);
      uint8_t buf[13];
      if (p == StatementParam::kSysdate || p == StatementParam::kCurrentDate) {
        DateTime d = now;
        d.nanos = 0;
        EncodeDate(d, buf);
        sqlite3_bind_blob(s, idx, buf, 7, SQLITE_TRANSIENT);
      } else {
        EncodeTimestampTZ(now, buf);
        sqlite3_bind_blob(s, idx, buf, 13, SQLITE_TRANSIENT);
      }
    }
  }
  return Status::Ok();
}

Status Prepared::Open(const std::vector<Value>& binds) {
  if (!query_) return OraError(ora::kStatementNotExecuted);
  if (AnyMutating()) {
    const char* text = sqlite3_sql(query_.get());
    TABDB_RETURN_IF_ERROR(CheckNotMutating(&text, 1));
  }
  sqlite3_reset(query_.get());
  sqlite3_clear_bindings(query_.get());
  // The cursor reads its parameters while it is fetched, after the
  // caller's values are gone: it keeps its own copy.
  query_binds_ = binds;
  TABDB_RETURN_IF_ERROR(BindParams(query_.get(), query_binds_, static_cast<int>(bind_kinds_.size())));
  invalidated_ = false;
  SetOpen(true);
  return Status::Ok();
}

namespace {
// Queries being stepped on this thread: a PL/SQL function they call may
// not change rows (ORA-14551).
thread_local int g_query_steps = 0;
}  // namespace

bool QueryStepping() { return g_query_steps > 0; }

Status Prepared::Next(bool* row) {
  *row = false;
  if (invalidated_) return OraError(ora::kObjectNoLongerExists);
  if (!open_) return Status::Ok();
  ++g_query_steps;
  int rc = StepAcrossSchemaChanges(query_.get());
  --g_query_steps;
  if (rc == SQLITE_ROW) {
    *row = true;
    return Status::Ok();
  }
  SetOpen(false);
  if (rc == SQLITE_DONE) {
    sqlite3_reset(query_.get());
    return Status::Ok();
  }
  Status st = SqliteError(s_->db().handle(), rc);
  sqlite3_reset(query_.get());
  return st;
}

Cell Prepared::GetCell(int i) const {
  Cell c;
  sqlite3_stmt* s = query_.get();
  c.type = sqlite3_column_type(s, i);
  switch (c.type) {
    case SQLITE_INTEGER:
      c.id = sqlite3_column_int64(s, i);
      break;
    case SQLITE_TEXT:
      c.data = sqlite3_column_text(s, i);
      c.size = static_cast<size_t>(sqlite3_column_bytes(s, i));
      break;
    case SQLITE_BLOB:
      c.data = sqlite3_column_blob(s, i);
      c.size = static_cast<size_t>(sqlite3_column_bytes(s, i));
      if (c.data == nullptr) c.data = "";
      break;
    default:
      break;
  }
  return c;
}

void Prepared::GetValue(int i, Value* out) const {
  ColumnValue(query_.get(), i, columns_[static_cast<size_t>(i)].type.kind, out);
}

void Prepared::Close() {
  if (query_) sqlite3_reset(query_.get());
  SetOpen(false);
}

// ---- INSERT --------------------------------------------------------------

// The parts of INSERT ALL | FIRST, each compiled on its own; a part's
// placeholders are the statement's of the same names.
Status Prepared::CompileMultiInsert() {
  for (const auto& part : stmt_->insert->parts) {
    std::vector<size_t> map;
    std::vector<TypeKind> kinds;
    for (const std::string& name : part->bind_names) {
      size_t k = 0;
      while (k < stmt_->bind_names.size() && stmt_->bind_names[k] != name) ++k;
      if (k == stmt_->bind_names.size()) return OraError(ora::kInternalError, {"placeholder of no INTO clause"});
      map.push_back(k);
      kinds.push_back(k < bind_kinds_.size() ? bind_kinds_[k] : TypeKind::kVarchar2);
    }
    std::unique_ptr<Prepared> p;
    TABDB_RETURN_IF_ERROR(Create(*s_, part, kinds, &p));
    parts_.push_back(std::move(p));
    part_binds_.push_back(std::move(map));
  }
  return Status::Ok();
}

// Every part in order; the rows of all count, and all or none are written.
Status Prepared::MultiInsert(const std::vector<Value>& binds, uint64_t* rows) {
  for (const std::vector<size_t>& map : part_binds_)
    for (size_t k : map)
      if (k >= binds.size()) return OraError(ora::kNotAllVariablesBound);
  TABDB_RETURN_IF_ERROR(s_->db().Savepoint("tabdb_multi"));
  uint64_t done = 0;
  Status st;
  std::vector<Value> mine;
  for (size_t i = 0; i < parts_.size() && st.ok(); ++i) {
    mine.clear();
    for (size_t k : part_binds_[i]) mine.push_back(binds[k]);
    st = parts_[i]->Insert(mine, &done, nullptr, nullptr);
  }
  if (!st.ok()) {
    (void)s_->db().RollbackTo("tabdb_multi");
    return st;
  }
  TABDB_RETURN_IF_ERROR(s_->db().Release("tabdb_multi"));
  *rows += done;
  return Status::Ok();
}

Status Prepared::CompileInsert() {
  const sql::Insert& ins = *stmt_->insert;
  if (!ins.parts.empty()) return CompileMultiInsert();
  Status resolved = ResolveTableFor(*s_, ins.table.name, "INSERT", &table_);
  if (resolved.code() == ora::kViewDmlNotLegal) {
    bool done = false;
    TABDB_RETURN_IF_ERROR(CompileInstead(ins.table.name, &done));
    if (done) return Status::Ok();
  }
  TABDB_RETURN_IF_ERROR(resolved);
  // The columns the statement names, or all visible stored ones.
  std::vector<const ColumnInfo*> named;
  if (ins.columns.empty()) {
    named = table_.InsertColumns();
  } else {
    std::set<int> seen;
    for (const sql::Name& n : ins.columns) {
      const ColumnInfo* c = table_.FindColumn(n.text);
      if (c == nullptr) return OraError(ora::kInvalidIdentifier, {sql::QuoteName(n.text)});
      if (c->is_virtual) return OraError(ora::kInsertOnVirtualColumn);
      if (!seen.insert(c->intcol).second) return OraError(ora::kDuplicateColumnName);
      named.push_back(c);
    }
  }
  for (const ColumnInfo* c : named)
    if (c->identity == sql::IdentitySpec::kAlways) return OraError(ora::kInsertGeneratedAlways);
  BindContext binds;
  binds.user_kinds = bind_kinds_;
  std::vector<std::string> value_exprs;
  std::vector<TypeDesc> value_types;
  Scope none;
  Compiler values(*s_, none, &binds);
  // Sources for the named columns.
  std::vector<std::unique_ptr<InsertSource>> by_col(table_.columns.size());
  auto index_of = [&](const ColumnInfo* c) { return static_cast<size_t>(c - table_.columns.data()); };
  rows_query_ = ins.select != nullptr || !ins.more_values.empty();
  if (!ins.more_values.empty()) {
    // Several VALUES rows: one SQLite VALUES query, each value converted
    // to its column's type.
    std::string sql = "VALUES ";
    for (size_t r = 0; r <= ins.more_values.size(); ++r) {
      const std::vector<sql::ExprPtr>& row = r == 0 ? ins.values : ins.more_values[r - 1];
      if (row.size() < named.size()) return OraError(ora::kNotEnoughValues);
      if (row.size() > named.size()) return OraError(ora::kTooManyValues);
      sql += r ? ", (" : "(";
      for (size_t j = 0; j < named.size(); ++j) {
        CExpr ce;
        TABDB_RETURN_IF_ERROR(values.Compile(*row[j], &ce));
        if (ce.is_bool) return OraError(ora::kMissingExpression);
        sql += (j ? ", " : "") + values.ConvertTo(ce, named[j]->type.kind);
      }
      sql += ")";
    }
    TABDB_RETURN_IF_ERROR(PrepareSql(*s_, sql, &select_));
    for (size_t j = 0; j < named.size(); ++j) {
      auto src = std::make_unique<InsertSource>();
      src->kind = InsertSource::kExpr;
      src->index = static_cast<int>(j);
      src->column = named[j];
      by_col[index_of(named[j])] = std::move(src);
      select_types_.push_back(named[j]->type);
    }
  } else if (ins.select) {
    std::string sql;
    std::vector<ResultColumn> cols;
    TABDB_RETURN_IF_ERROR(CompileSelect(*s_, *ins.select, stmt_->text, &binds, &sql, &cols));
    if (cols.size() < named.size()) return OraError(ora::kNotEnoughValues);
    if (cols.size() > named.size()) return OraError(ora::kTooManyValues);
    // A query that reads the table being filled must see it as it was
    // before the statement: stepping it while rows are added would read
    // the new rows too, without end. Its result is computed first then.
    if (sql.find(table_.phys) != std::string::npos)
      sql = "WITH tabdb_src AS MATERIALIZED (" + sql + ") SELECT * FROM tabdb_src";
    TABDB_RETURN_IF_ERROR(PrepareSql(*s_, sql, &select_));
    for (size_t j = 0; j < named.size(); ++j) {
      auto src = std::make_unique<InsertSource>();
      src->kind = InsertSource::kExpr;
      src->index = static_cast<int>(j);
      src->column = named[j];
      by_col[index_of(named[j])] = std::move(src);
      select_types_.push_back(cols[j].type);
    }
  } else {
    if (ins.values.size() < named.size()) return OraError(ora::kNotEnoughValues);
    if (ins.values.size() > named.size()) return OraError(ora::kTooManyValues);
    for (size_t j = 0; j < named.size(); ++j) {
      const sql::Expr& e = *ins.values[j];
      auto src = std::make_unique<InsertSource>();
      src->column = named[j];
      if (e.kind == sql::ExprKind::kBind) {
        src->kind = InsertSource::kBind;
        src->index = e.bind_index;
      } else if (e.kind == sql::ExprKind::kLiteral && e.lit == sql::LiteralKind::kNull) {
        src->kind = InsertSource::kNull;
      } else {
        CExpr ce;
        TABDB_RETURN_IF_ERROR(values.Compile(e, &ce));
        if (ce.is_bool) return OraError(ora::kMissingExpression);
        src->kind = InsertSource::kExpr;
        src->index = static_cast<int>(value_exprs.size());
        value_exprs.push_back(ce.sql);
        value_types.push_back(ce.type);
      }
      by_col[index_of(named[j])] = std::move(src);
    }
  }
  // Columns the statement leaves out take their DEFAULT (or NULL).
  // A default becomes a column of the values SELECT; `at` is where the
  // row reads it.
  auto add_default = [&](const ColumnInfo& c, int* at) {
    sql::ExprPtr def;
    TABDB_RETURN_IF_ERROR(sql::ParseExpression(c.data_default, &def));
    CExpr ce;
    TABDB_RETURN_IF_ERROR(values.Compile(*def, &ce));
    // Defaults of INSERT ... SELECT are evaluated by the values SELECT
    // too; their positions follow the selected columns.
    *at = static_cast<int>((rows_query_ ? select_types_.size() : 0) + value_exprs.size());
    value_exprs.push_back(ce.sql);
    value_types.push_back(ce.type);
    return Status::Ok();
  };
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnInfo& c = table_.columns[i];
    if (!c.stored()) continue;
    if (by_col[i]) {
      // DEFAULT ON NULL: a NULL given takes the default.
      if (!c.default_on_null || c.data_default.empty()) continue;
      InsertSource& given = *by_col[i];
      int at = 0;
      TABDB_RETURN_IF_ERROR(add_default(c, &at));
      if (given.kind == InsertSource::kNull) {
        given.kind = InsertSource::kExpr;
        given.index = at;
      } else {
        given.null_default = at;
      }
      continue;
    }
    auto src = std::make_unique<InsertSource>();
    src->column = &c;
    if (c.identity) {
      src->identity_fill = true;
    } else if (!c.data_default.empty()) {
      src->kind = InsertSource::kExpr;
      TABDB_RETURN_IF_ERROR(add_default(c, &src->index));
    }
    by_col[i] = std::move(src);
  }
  for (StatementParam p : binds.hidden) hidden_params_.push_back(static_cast<int>(p));
  if (!value_exprs.empty()) {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < value_exprs.size(); ++i) sql += (i ? ", " : "") + value_exprs[i];
    TABDB_RETURN_IF_ERROR(PrepareSql(*s_, sql, &values_));
  }
  for (const TypeDesc& t : value_types) select_types_.push_back(t);
  // The physical INSERT covers every stored column.
  std::string cols, params;
  int n = 0;
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    if (!table_.columns[i].stored()) continue;
    ++n;
    cols += (n > 1 ? "," : "") + table_.columns[i].phys();
    params += (n > 1 ? ",?" : "?") + std::to_string(n);
    targets_.push_back(&table_.columns[i]);
    if (table_.columns[i].identity == sql::IdentitySpec::kByDefaultOnNull && by_col[i])
      by_col[i]->identity_fill = true;
    sources_.push_back(std::move(by_col[i]));
  }
  // What each stored column binds as, fixed by its type: the per-row loop
  // looks these up rather than classifying the type again for every value.
  for (const ColumnInfo* c : targets_) {
    uint8_t f = IsTextClass(c->type.kind) ? kTargetText : 0;
    if (IsLob(c->type.kind) || IsLong(c->type.kind)) f |= kTargetStoredApart;
    target_flags_.push_back(f);
  }
  for (const auto& src : sources_) {
    if (rows_query_ || !src || src->kind != InsertSource::kBind || src->index < 1) continue;
    size_t k = static_cast<size_t>(src->index);
    if (bind_targets_.size() < k) bind_targets_.resize(k, BindTarget::kNone);
    if (bind_target_kinds_.size() < k) bind_target_kinds_.resize(k, TypeKind::kVarchar2);
    TypeKind kind = src->column->type.kind;
    bind_target_kinds_[k - 1] = kind;
    bind_targets_[k - 1] = IsLob(kind) ? BindTarget::kLob : IsLong(kind) ? BindTarget::kLong : BindTarget::kColumn;
    binds_lob_or_long_ = binds_lob_or_long_ || bind_targets_[k - 1] != BindTarget::kColumn;
  }
  // A single-row INSERT that binds placeholder j+1 to stored column j, for
  // every column, can build its row in the bound values themselves.
  binds_are_row_ = !rows_query_ && value_exprs.empty();
  for (size_t j = 0; j < sources_.size() && binds_are_row_; ++j) {
    const InsertSource* src = sources_[j].get();
    binds_are_row_ = src && src->kind == InsertSource::kBind && src->index == static_cast<int>(j + 1);
  }
  // CHECK constraints see the row as it is about to be stored. The INSERT
  // itself evaluates them and writes nothing when one fails; only then
  // does the check query run, to name the constraint.
  std::string row_sql;
  for (size_t j = 0; j < targets_.size(); ++j)
    row_sql += (j ? ", ?" : "SELECT ?") + std::to_string(j + 1) + " AS " + targets_[j]->phys();
  // A single row's foreign keys are checked by the INSERT too; the rows of
  // a multi-row INSERT when all are written, as they may reference each other.
  TABDB_RETURN_IF_ERROR(fks_.Compile(*s_, table_, StmtKind::kInsert, {}));
  TABDB_RETURN_IF_ERROR(checks_.Compile(*s_, table_, "(" + row_sql + ") AS _t", &ins.table));
  TABDB_RETURN_IF_ERROR(intervals_.Compile(*s_, table_));
  if (!rows_query_) TABDB_RETURN_IF_ERROR(fks_.CompileRowProbes(targets_));
  std::string insert_sql = "INSERT INTO " + table_.phys + "(" + cols + ") ";
  if (checks_.empty()) {
    insert_sql += "VALUES(" + params + ")";
  } else {
    insert_sql += "SELECT * FROM (" + row_sql + ") AS _t WHERE " + checks_.failed_sql() + " = 0";
  }
  TABDB_RETURN_IF_ERROR(PrepareSql(*s_, insert_sql, &insert_));
  // RETURNING col, ... INTO :b, ...
  if (!ins.returning.empty()) {
    if (ins.returning.size() != ins.into.size()) return OraError(ins.returning.size() < ins.into.size() ? 913 : 947);
    for (size_t k = 0; k < ins.returning.size(); ++k) {
      const sql::Expr& e = *ins.returning[k];
      if (e.kind != sql::ExprKind::kColumn) return Unimplemented("RETURNING an expression");
      const ColumnInfo* c = table_.FindColumn(e.names.back().text);
      if (c == nullptr || !c->stored()) return OraError(ora::kInvalidIdentifier, {sql::QuoteName(e.names.back().text)});
      int idx = -1;
      for (size_t t = 0; t < targets_.size(); ++t) {
        if (targets_[t] == c) idx = static_cast<int>(t);
      }
      returning_cols_.push_back(idx);
      into_binds_.push_back(ins.into[k]->bind_index);
    }
    std::vector<const ColumnInfo*> returned;
    for (int idx : returning_cols_) returned.push_back(idx >= 0 ? targets_[static_cast<size_t>(idx)] : nullptr);
    TABDB_RETURN_IF_ERROR(CompileLobChecks(*s_, table_, returned, &returning_checks_, &lob_checks_));
  }
  // Rows that need nothing but their bound values checked and written can
  // be taken where the caller holds them (ExecuteInsertCells).
  TABDB_RETURN_IF_ERROR(LoadTriggers({}));
  if (triggers_) {
    for (const ColumnInfo* c : targets_) {
      trigger_names_.push_back(c->name);
      trigger_cols_.push_back(c);
    }
  }
  takes_cells_ = !triggers_ && binds_are_row_ && into_binds_.empty() && !fks_.has_row_probes();
  for (size_t j = 0; j < targets_.size() && takes_cells_; ++j) {
    takes_cells_ = !(target_flags_[j] & kTargetStoredApart) && !sources_[j]->identity_fill;
  }
  return Status::Ok();
}

Status Prepared::UniqueViolation(int rc) {
  (void)rc;
  std::string msg = sqlite3_errmsg(s_->db().handle());
  // "UNIQUE constraint failed: t1001.c1, t1001.c2" -> the key columns.
  std::set<int> cols;
  // "UNIQUE constraint failed: index 'n1234'": the partly-NULL key index
  // of index object 1234.
  int64_t partly_null_of = 0;
  size_t n = msg.find("index 'n");
  if (n != std::string::npos) partly_null_of = std::atoll(msg.c_str() + n + 8);
  size_t p = msg.find(": ");
  std::string list = p == std::string::npos ? "" : msg.substr(p + 2);
  size_t i = 0;
  while ((i = list.find(".c", i)) != std::string::npos) {
    i += 2;
    cols.insert(std::atoi(list.c_str() + i));
  }
  std::vector<IndexInfo> idx;
  if (LoadUniqueIndexes(*s_, table_.obj_id, &idx).ok()) {
    for (const IndexInfo& x : idx) {
      if (partly_null_of ? x.obj_id == partly_null_of : std::set<int>(x.intcols.begin(), x.intcols.end()) == cols) {
        // Oracle names the constraint a key index serves, else the index.
        if (!x.constraint_name.empty()) return OraError(ora::kUniqueViolated, {x.constraint_owner, x.constraint_name});
        return OraError(ora::kUniqueViolated, {x.owner, x.name});
      }
    }
  }
  return OraError(ora::kUniqueViolated, {table_.owner, "SYS_C00000"});
}

Status Prepared::InsertRow(std::vector<Value>& row, std::vector<Value>* returning) {
  LobStore lobs(s_->db());
  // Reset already: the only step of this statement, below, resets it after.
  sqlite3_stmt* ins = insert_.get();
  created_.clear();  // LOBs made for this row, removed if it fails
  Status st;
  if (triggers_ && triggers_->has_row(TriggerTiming::kBefore)) {
    // The trigger sees the row as it would be stored: identity filled,
    // values of the columns' types.
    for (size_t j = 0; j < targets_.size(); ++j) {
      if (row[j].null && sources_[j] && sources_[j]->identity_fill) TABDB_RETURN_IF_ERROR(NextIdentity(*targets_[j], &row[j]));
      if (!(target_flags_[j] & kTargetStoredApart)) TABDB_RETURN_IF_ERROR(FitInPlace(&row[j], table_, *targets_[j], &lobs));
    }
    TABDB_RETURN_IF_ERROR(triggers_->FireRow(*s_, TriggerTiming::kBefore, trigger_names_, &row, nullptr));
  }
  for (size_t j = 0; j < targets_.size() && st.ok(); ++j) {
    const ColumnInfo& c = *targets_[j];
    const uint8_t flags = target_flags_[j];
    Value& fitted = row[j];
    if (fitted.null && sources_[j] && sources_[j]->identity_fill) {
      st = NextIdentity(c, &fitted);
      if (!st.ok()) break;
    }
    st = FitInPlace(&fitted, table_, c, &lobs);
    if (!st.ok()) break;
    if (fitted.null && !c.nullable) {
      st = OraError(ora::kCannotInsertNull, {sql::QuoteName(table_.owner) + "." + sql::QuoteName(table_.name) + "." +
                           sql::QuoteName(c.name)});
      break;
    }
    if (!fitted.null && (flags & kTargetStoredApart)) {
      bool is_char = c.type.kind != TypeKind::kBlob && c.type.kind != TypeKind::kLongRaw;
      int64_t id = 0;
      if (fitted.lob_id != 0 && fitted.adopt) {
        id = fitted.lob_id;
      } else if (fitted.lob_id != 0) {
        st = lobs.Copy(fitted.lob_id, &id);
        if (st.ok()) created_.push_back(id);
      } else if (IsLong(c.type.kind) && fitted.bytes.empty() && !fitted.empty_lob) {
        // An empty LONG is NULL.
        fitted.null = true;
      } else {
        st = lobs.CreateWith(fitted.bytes, is_char, &id);
        if (st.ok()) created_.push_back(id);
      }
      if (!st.ok()) break;
      if (!fitted.null) {
        fitted.lob_id = id;
        fitted.bytes.clear();
      }
    }
    // A fitted value has the column's type, so the column's class decides.
    BindValueAs(ins, static_cast<int>(j + 1), fitted, (flags & kTargetText) != 0);
  }
  fk_deferred_.clear();
  if (st.ok() && fks_.has_row_probes()) st = fks_.CheckRow(row, BindValue, &fk_deferred_);
  if (st.ok()) {
    st = WriteInsertRow([this, &row](sqlite3_stmt* q) {
      for (size_t j = 0; j < targets_.size(); ++j) BindValue(q, static_cast<int>(j + 1), row[j]);
    });
  }
  if (!st.ok()) {
    // The row's error is reported; the statement's savepoint, rolled back
    // by the caller, takes these LOBs away too if deleting them fails.
    for (int64_t id : created_) (void)lobs.Delete(id);
    return st;
  }
  if (triggers_ && triggers_->has_row(TriggerTiming::kAfter))
    TABDB_RETURN_IF_ERROR(triggers_->FireRow(*s_, TriggerTiming::kAfter, trigger_names_, &row, nullptr));
  if (!marked_rows_ && !table_.has_rows) TABDB_RETURN_IF_ERROR(MarkHasRows());
  if (returning) {
    returning->clear();
    for (int idx : returning_cols_) returning->push_back(idx >= 0 ? row[static_cast<size_t>(idx)] : Value());
  }
  return Status::Ok();
}

// The table now has a segment (DBMS_METADATA and the dictionary show it).
Status Prepared::MarkHasRows() {
  sqlite3_stmt* m = nullptr;
  TABDB_RETURN_IF_ERROR(s_->db().Cached("UPDATE tab$tables SET has_rows = 1 WHERE obj_id = ?1", &m));
  sqlite3_bind_int64(m, 1, table_.obj_id);
  TABDB_RETURN_IF_ERROR(s_->db().Run(m));
  marked_rows_ = true;
  return Status::Ok();
}

// Runs the INSERT of one row, whose values are bound, and names what
// refused it: a key (ORA-00001) or, through `bind_row` binding the row to
// the CHECK query, a CHECK constraint. The statement is reset after.
Status Prepared::WriteInsertRow(const std::function<void(sqlite3_stmt*)>& bind_row) {
  sqlite3_stmt* ins = insert_.get();
  Status st;
  int rc = sqlite3_step(ins);
  if (rc == SQLITE_DONE && lob_checks_) returned_rowid_ = sqlite3_last_insert_rowid(s_->db().handle());
  if (rc == SQLITE_DONE && !intervals_.empty() && sqlite3_changes(s_->db().handle()) > 0)
    st = intervals_.NoteRow(*s_, table_, sqlite3_last_insert_rowid(s_->db().handle()));
  if (rc == SQLITE_DONE && !fk_deferred_.empty()) {
    int64_t rowid = sqlite3_last_insert_rowid(s_->db().handle());
    for (int64_t cons : fk_deferred_) s_->deferred().rows.emplace_back(cons, rowid);
  }
  if (rc != SQLITE_DONE) {
    st = (rc & 0xff) == SQLITE_CONSTRAINT ? UniqueViolation(rc) : SqliteError(s_->db().handle(), rc);
  } else if (!checks_.empty() && sqlite3_changes(s_->db().handle()) == 0) {
    // A CHECK failed: which one.
    bind_row(checks_.stmt());
    st = checks_.Run(*s_);
    if (st.ok()) st = OraError(ora::kInternalError, {"row refused by no check"});
  } else if (!checks_.deferred_now().empty()) {
    NoteDeferred(sqlite3_last_insert_rowid(s_->db().handle()));
  }
  sqlite3_reset(ins);
  return st;
}

// The next value of an identity column's sequence, which also becomes
// the session's CURRVAL of it.
Status Prepared::NextIdentity(const ColumnInfo& c, Value* out) {
  int64_t v = 0;
  TABDB_RETURN_IF_ERROR(SequenceNextValue(*s_, c.identity_seq, &v));
  s_->sequence_values()[c.identity_seq] = v;
  uint8_t buf[kNumberBufferBytes];
  size_t n = Number::FromInt64(v).EncodeTo(buf);
  *out = Value::Of(TypeKind::kNumber, std::string(reinterpret_cast<const char*>(buf), n));
  return Status::Ok();
}

void Prepared::NoteDeferred(int64_t rowid) {
  for (int64_t cons : checks_.deferred_now()) s_->deferred().rows.emplace_back(cons, rowid);
}

Status Prepared::Insert(const std::vector<Value>& binds, uint64_t* rows, std::vector<Value>* returning,
                        std::vector<Value>* take) {
  if (!parts_.empty()) return MultiInsert(binds, rows);
  if (checks_.has_deferrable()) {
    checks_.BindDeferral(*s_, insert_.get());
    checks_.BindDeferral(*s_, checks_.stmt());
  }
  if (take != nullptr && binds_are_row_ && take->size() == targets_.size()) {
    // The bound values are the row: fitted and written where they are.
    TABDB_RETURN_IF_ERROR(InsertRow(*take, returning));
    *rows += 1;
    return Status::Ok();
  }
  // The row's values live in a member that keeps its strings' capacity
  // from row to row: copying a bind into it allocates nothing once warm.
  std::vector<Value>& row = row_;
  row.resize(targets_.size());
  auto fill = [&](sqlite3_stmt* src, int offset) {
    auto expr_value = [&](int index, Value* out) {
      int col = index;
      sqlite3_stmt* from = src;
      if (rows_query_ && col >= offset) {
        from = values_.get();
        col -= offset;
      } else if (!rows_query_) {
        from = values_.get();
      }
      ColumnValue(from, col, select_types_[static_cast<size_t>(index)].kind, out);
    };
    for (size_t j = 0; j < sources_.size(); ++j) {
      const InsertSource* s = sources_[j].get();
      const ColumnInfo& c = *targets_[j];
      if (s == nullptr || s->kind == InsertSource::kNull) {
        row[j] = Value::Null(c.type.kind);
      } else if (s->kind == InsertSource::kBind) {
        if (static_cast<size_t>(s->index) > binds.size()) return OraError(ora::kNotAllVariablesBound);
        row[j] = binds[static_cast<size_t>(s->index - 1)];
      } else {
        expr_value(s->index, &row[j]);
      }
      // An empty character value is NULL too.
      if (s != nullptr && s->null_default >= 0 &&
          (row[j].null || (IsTextClass(row[j].kind) && row[j].bytes.empty() && row[j].lob_id == 0)))
        expr_value(s->null_default, &row[j]);
    }
    return Status::Ok();
  };
  if (values_) {
    sqlite3_reset(values_.get());
    sqlite3_clear_bindings(values_.get());
    TABDB_RETURN_IF_ERROR(BindParams(values_.get(), binds, static_cast<int>(bind_kinds_.size())));
    bool row_ready = false;
    TABDB_RETURN_IF_ERROR(s_->db().Step(values_.get(), &row_ready));
  }
  if (!rows_query_) {
    TABDB_RETURN_IF_ERROR(fill(nullptr, 0));
    if (values_) sqlite3_reset(values_.get());
    TABDB_RETURN_IF_ERROR(InsertRow(row, returning));
    *rows += 1;
    return Status::Ok();
  }
  // INSERT ... SELECT: every row of the query; the statement is atomic.
  sqlite3_stmt* q = select_.get();
  sqlite3_reset(q);
  sqlite3_clear_bindings(q);
  TABDB_RETURN_IF_ERROR(BindParams(q, binds, static_cast<int>(bind_kinds_.size())));
  TABDB_RETURN_IF_ERROR(s_->db().Savepoint("tabdb_stmt"));
  uint64_t done = 0;
  Status st;
  int offset = static_cast<int>(stmt_->insert->columns.empty() ? table_.InsertColumns().size()
                                                               : stmt_->insert->columns.size());
  for (;;) {
    bool r = false;
    st = s_->db().Step(q, &r);
    if (!st.ok() || !r) break;
    st = fill(q, offset);
    if (st.ok()) st = InsertRow(row, nullptr);
    if (!st.ok()) break;
    if (fks_.checks_children()) written_.push_back(sqlite3_last_insert_rowid(s_->db().handle()));
    ++done;
  }
  sqlite3_reset(q);
  if (values_) sqlite3_reset(values_.get());
  if (st.ok() && fks_.checks_children()) st = fks_.Finish(written_);
  written_.clear();
  if (!st.ok()) {
    (void)s_->db().RollbackTo("tabdb_stmt");  // the statement's own error is the one reported
    return st;
  }
  TABDB_RETURN_IF_ERROR(s_->db().Release("tabdb_stmt"));
  *rows += done;
  return Status::Ok();
}

// ---- UPDATE and DELETE -----------------------------------------------------

Status Prepared::CompileUpdateDelete() {
  bool update = stmt_->kind == StmtKind::kUpdate;
  const sql::TableRef& ref = update ? stmt_->update->table : stmt_->del->table;
  const sql::Expr* where = update ? stmt_->update->where.get() : stmt_->del->where.get();
  Status resolved = ResolveTableFor(*s_, ref.name, update ? "UPDATE" : "DELETE", &table_);
  if (resolved.code() == ora::kViewDmlNotLegal) {
    bool done = false;
    TABDB_RETURN_IF_ERROR(CompileInstead(ref.name, &done));
    if (done) return Status::Ok();
  }
  TABDB_RETURN_IF_ERROR(resolved);
  Scope scope;
  scope.kind = Scope::kTable;
  scope.table = &table_;
  scope.qualifiers = {ref.has_alias ? ref.alias.text : table_.name};
  scope.qualifier_owner = table_.owner;
  // SET x = ROWNUM numbers the rows as they are found.
  scope.rownum_sql = "tabdb_num(row_number() OVER ())";
  BindContext binds;
  binds.user_kinds = bind_kinds_;
  Compiler c(*s_, scope, &binds);
  std::string sql = "SELECT _t.rowid";
  if (update) {
    for (const sql::Assignment& a : stmt_->update->sets) {
      const ColumnInfo* col = table_.FindColumn(a.column.text);
      if (col == nullptr) return OraError(ora::kInvalidIdentifier, {sql::QuoteName(a.column.text)});
      if (col->is_virtual) return OraError(ora::kUpdateOnVirtualColumn);
      if (col->identity == sql::IdentitySpec::kAlways) return OraError(ora::kUpdateGeneratedAlways);
      CExpr ce;
      TABDB_RETURN_IF_ERROR(c.Compile(*a.value, &ce));
      if (ce.is_bool) return OraError(ora::kMissingExpression);
      sql += ", " + ce.sql;
      update_cols_.push_back(col);
      select_types_.push_back(ce.type);
    }
    set_count_ = update_cols_.size();
  }
  std::vector<std::string> set_names;
  for (const ColumnInfo* col : update_cols_) set_names.push_back(col->name);
  TABDB_RETURN_IF_ERROR(LoadTriggers(set_names));
  const bool row_triggers =
      triggers_ && (triggers_->has_row(TriggerTiming::kBefore) || triggers_->has_row(TriggerTiming::kAfter));
  if (update && row_triggers) {
    // A row trigger's NEW is the whole row, which a BEFORE trigger may
    // change: every other stored column is set to itself too.
    for (const ColumnInfo& col : table_.columns) {
      if (!col.stored() || IsLob(col.type.kind) || IsLong(col.type.kind)) continue;
      if (std::find(update_cols_.begin(), update_cols_.end(), &col) != update_cols_.end()) continue;
      sql += ", _t." + col.phys();
      update_cols_.push_back(&col);
      select_types_.push_back(col.type);
    }
  }
  int selected = 1 + static_cast<int>(update_cols_.size());
  if (update) {
    // Old LOB and LONG ids of the columns set, so that their data can go.
    for (const ColumnInfo* col : update_cols_) {
      if (IsLob(col->type.kind) || IsLong(col->type.kind)) {
        sql += ", _t." + col->phys();
        ++selected;
      }
    }
  } else {
    for (const ColumnInfo& col : table_.columns) {
      if (col.stored() && (IsLob(col.type.kind) || IsLong(col.type.kind))) {
        sql += ", _t." + col.phys();
        ++selected;
      }
    }
  }
  if (row_triggers) {
    // The OLD values: of the columns NEW has for an UPDATE, else of every
    // stored column but LOB and LONG ones.
    old_first_ = selected;
    if (update) {
      trigger_cols_ = update_cols_;
    } else {
      for (const ColumnInfo& col : table_.columns)
        if (col.stored() && !IsLob(col.type.kind) && !IsLong(col.type.kind)) trigger_cols_.push_back(&col);
    }
    for (const ColumnInfo* col : trigger_cols_) {
      sql += ", _t." + col->phys();
      trigger_names_.push_back(col->name);
    }
  }
  std::string source;
  TABDB_RETURN_IF_ERROR(PartitionSource(*s_, table_, ref, &source));
  sql += " FROM " + source + " AS _t";
  if (where) {
    // WHERE ROWNUM <= n: the first n rows found.
    Scope where_scope = scope;
    where_scope.rownum_sql.clear();
    Compiler cw(*s_, where_scope, &binds);
    RownumLimits limits;
    std::string where_sql;
    TABDB_RETURN_IF_ERROR(CompileWhere(cw, where, {}, &where_sql, &limits));
    sql += where_sql + limits.Sql(cw);
  }
  for (StatementParam p : binds.hidden) hidden_params_.push_back(static_cast<int>(p));
  TABDB_RETURN_IF_ERROR(PrepareSql(*s_, sql, &select_));
  if (update) {
    std::string set;
    for (size_t i = 0; i < update_cols_.size(); ++i)
      set += (i ? ", " : "") + update_cols_[i]->phys() + " = ?" + std::to_string(i + 1);
    TABDB_RETURN_IF_ERROR(PrepareSql(*s_,
                                     "UPDATE " + table_.phys + " SET " + set + " WHERE rowid = ?" +
                                         std::to_string(update_cols_.size() + 1),
                                     &update_));
    TABDB_RETURN_IF_ERROR(checks_.Compile(*s_, table_, table_.phys + " AS _t WHERE _t.rowid = ?1"));
    // Without ROW MOVEMENT an update may not move a row to another partition.
    std::string part_no;
    TABDB_RETURN_IF_ERROR(PartitionNumberSql(*s_, table_, &part_no));
    if (!part_no.empty())
      TABDB_RETURN_IF_ERROR(PrepareSql(*s_, "SELECT " + part_no + " FROM " + table_.phys +
                                                " AS _t WHERE _t.rowid = ?1",
                                       &partition_no_));
  } else {
    TABDB_RETURN_IF_ERROR(PrepareSql(*s_, "DELETE FROM " + table_.phys + " WHERE rowid = ?1", &delete_));
  }
  std::vector<int> set_cols;
  for (size_t i = 0; i < set_count_; ++i) set_cols.push_back(update_cols_[i]->intcol);
  TABDB_RETURN_IF_ERROR(fks_.Compile(*s_, table_, stmt_->kind, set_cols));
  return Status::Ok();
}

// The partition number of a row as the bytes of its value (for comparing).
Status Prepared::PartitionOf(int64_t rowid, std::string* out) {
  sqlite3_stmt* q = partition_no_.get();
  sqlite3_reset(q);
  sqlite3_bind_int64(q, 1, rowid);
  bool row = false;
  Status st = s_->db().Step(q, &row);
  out->clear();
  if (st.ok() && row) {
    const void* b = sqlite3_column_blob(q, 0);
    int n = sqlite3_column_bytes(q, 0);
    if (b != nullptr && n > 0) out->assign(static_cast<const char*>(b), static_cast<size_t>(n));
  }
  sqlite3_reset(q);
  return st;
}

Status Prepared::UpdateDelete(const std::vector<Value>& binds, uint64_t* rows) {
  bool update = stmt_->kind == StmtKind::kUpdate;
  sqlite3_stmt* q = select_.get();
  sqlite3_reset(q);
  sqlite3_clear_bindings(q);
  TABDB_RETURN_IF_ERROR(BindParams(q, binds, static_cast<int>(bind_kinds_.size())));
  // Collect the rows first, so that changing them cannot disturb the scan.
  struct Row {
    int64_t rowid;
    std::vector<Value> vals;
    std::vector<int64_t> old_lobs;
    std::vector<Value> old;  // for row triggers
  };
  std::vector<Row> found;
  int nvals = static_cast<int>(update_cols_.size());
  int ncols = sqlite3_column_count(q);
  for (;;) {
    bool r = false;
    TABDB_RETURN_IF_ERROR(s_->db().Step(q, &r));
    if (!r) break;
    Row row;
    row.rowid = sqlite3_column_int64(q, 0);
    for (int i = 0; i < nvals; ++i) {
      Value v;
      ColumnValue(q, 1 + i, select_types_[static_cast<size_t>(i)].kind, &v);
      row.vals.push_back(std::move(v));
    }
    int lob_end = old_first_ < 0 ? ncols : old_first_;
    for (int i = 1 + nvals; i < lob_end; ++i) {
      if (sqlite3_column_type(q, i) == SQLITE_INTEGER) row.old_lobs.push_back(sqlite3_column_int64(q, i));
    }
    for (int i = lob_end; i < ncols; ++i) {
      Value v;
      ColumnValue(q, i, trigger_cols_[static_cast<size_t>(i - lob_end)]->type.kind, &v);
      row.old.push_back(std::move(v));
    }
    found.push_back(std::move(row));
  }
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(s_->db().Savepoint("tabdb_stmt"));
  LobStore lobs(s_->db());
  Status st;
  if (update && checks_.has_deferrable()) checks_.BindDeferral(*s_, checks_.stmt());
  const bool before_row = triggers_ && triggers_->has_row(TriggerTiming::kBefore);
  const bool after_row = triggers_ && triggers_->has_row(TriggerTiming::kAfter);
  for (Row& row : found) {
    if (before_row) {
      st = triggers_->FireRow(*s_, TriggerTiming::kBefore, trigger_names_, update ? &row.vals : nullptr, &row.old);
      if (!st.ok()) break;
    }
    if (!fks_.empty()) {
      st = fks_.Capture(row.rowid);
      if (!st.ok()) break;
    }
    if (update) {
      sqlite3_stmt* u = update_.get();
      sqlite3_reset(u);
      std::vector<Value> fitted(update_cols_.size());
      for (size_t i = 0; i < update_cols_.size() && st.ok(); ++i) {
        const ColumnInfo& c = *update_cols_[i];
        st = FitToColumn(row.vals[i], table_, c, &fitted[i], &lobs);
        if (!st.ok()) break;
        if (fitted[i].null && !c.nullable) {
          st = OraError(ora::kCannotUpdateToNull, {sql::QuoteName(table_.owner) + "." + sql::QuoteName(table_.name) +
                               "." + sql::QuoteName(c.name)});
          break;
        }
        if (!fitted[i].null && (IsLob(c.type.kind) || IsLong(c.type.kind))) {
          bool is_char = c.type.kind != TypeKind::kBlob && c.type.kind != TypeKind::kLongRaw;
          int64_t id = 0;
          st = fitted[i].lob_id != 0 ? lobs.Copy(fitted[i].lob_id, &id)
                                     : lobs.CreateWith(fitted[i].bytes, is_char, &id);
          fitted[i].lob_id = id;
          fitted[i].bytes.clear();
        }
        BindValue(u, static_cast<int>(i + 1), fitted[i]);
      }
      if (!st.ok()) break;
      sqlite3_bind_int64(u, static_cast<int>(update_cols_.size() + 1), row.rowid);
      std::string before;
      if (partition_no_) st = PartitionOf(row.rowid, &before);
      if (!st.ok()) break;
      int rc = sqlite3_step(u);
      if (rc != SQLITE_DONE) {
        st = (rc & 0xff) == SQLITE_CONSTRAINT ? UniqueViolation(rc) : SqliteError(s_->db().handle(), rc);
      }
      sqlite3_reset(u);
      if (st.ok() && partition_no_) {
        std::string after;
        st = PartitionOf(row.rowid, &after);
        if (st.ok() && after != before) st = OraError(14402);
      }
      if (st.ok() && !checks_.empty()) {
        sqlite3_bind_int64(checks_.stmt(), 1, row.rowid);
        st = checks_.Run(*s_);
        if (st.ok() && !checks_.deferred_now().empty()) NoteDeferred(row.rowid);
      }
      if (st.ok() && after_row) st = triggers_->FireRow(*s_, TriggerTiming::kAfter, trigger_names_, &fitted, &row.old);
    } else {
      sqlite3_stmt* d = delete_.get();
      sqlite3_reset(d);
      sqlite3_bind_int64(d, 1, row.rowid);
      st = s_->db().Run(d);
      if (st.ok() && after_row) st = triggers_->FireRow(*s_, TriggerTiming::kAfter, trigger_names_, nullptr, &row.old);
    }
    for (int64_t id : row.old_lobs) {
      if (st.ok()) st = lobs.Delete(id);
    }
    if (!st.ok()) break;
  }
  if (st.ok() && !fks_.empty()) {
    std::vector<int64_t> rowids;
    if (update && fks_.checks_children())
      for (const Row& row : found) rowids.push_back(row.rowid);
    st = fks_.Finish(rowids);
  }
  if (!st.ok()) {
    fks_.Reset();
    (void)s_->db().RollbackTo("tabdb_stmt");  // the statement's own error is the one reported
    return st;
  }
  TABDB_RETURN_IF_ERROR(s_->db().Release("tabdb_stmt"));
  *rows += found.size();
  return Status::Ok();
}

Status Prepared::LoadTriggers(const std::vector<std::string>& set_cols) {
  TriggerEvent event = stmt_->kind == StmtKind::kInsert   ? kTrgInsert
                       : stmt_->kind == StmtKind::kUpdate ? kTrgUpdate
                                                          : kTrgDelete;
  TABDB_RETURN_IF_ERROR(StatementTriggers::Load(*s_, table_.owner, table_.name, event, set_cols, false, &triggers_));
  if (triggers_) triggers_->SetMutating(table_.phys, table_.owner, table_.name, event == kTrgInsert && !rows_query_);
  return Status::Ok();
}

Status Prepared::Fired(const std::function<Status()>& run) {
  if (AnyMutating()) {
    const char* texts[] = {sqlite3_sql(insert_.get()), sqlite3_sql(select_.get()), sqlite3_sql(update_.get()),
                           sqlite3_sql(delete_.get()), sqlite3_sql(values_.get())};
    TABDB_RETURN_IF_ERROR(CheckNotMutating(texts, sizeof texts / sizeof texts[0]));
  }
  if (!triggers_) return run();
  // The statement with its triggers is atomic: what they did goes with
  // a failure.
  TABDB_RETURN_IF_ERROR(s_->db().Savepoint("tabdb_trg"));
  // An array's rows are one statement: BeginArray read the version.
  Status st = in_array_ ? Status::Ok() : triggers_->Begin(*s_);
  if (st.ok() && !in_array_) st = triggers_->FireStatement(*s_, TriggerTiming::kBefore);
  if (st.ok()) st = run();
  if (st.ok() && !in_array_) st = triggers_->FireStatement(*s_, TriggerTiming::kAfter);
  if (!st.ok()) {
    (void)s_->db().RollbackTo("tabdb_trg");  // the statement's own error is the one reported
    return st;
  }
  return s_->db().Release("tabdb_trg");
}

Status Prepared::BeginArray() {
  if (!triggers_) return Status::Ok();
  triggers_->SetArray(true);
  if (!triggers_->has_statement()) return Status::Ok();
  TABDB_RETURN_IF_ERROR(s_->CheckWritable());
  TABDB_RETURN_IF_ERROR(s_->db().BeginWrite());
  TABDB_RETURN_IF_ERROR(triggers_->Begin(*s_));
  TABDB_RETURN_IF_ERROR(triggers_->FireStatement(*s_, TriggerTiming::kBefore));
  in_array_ = true;
  return Status::Ok();
}

Status Prepared::EndArray(bool fire) {
  if (triggers_) triggers_->SetArray(false);
  if (!in_array_) return Status::Ok();
  in_array_ = false;
  return fire ? triggers_->FireStatement(*s_, TriggerTiming::kAfter) : Status::Ok();
}

Status Prepared::ExecuteDml(const std::vector<Value>& binds, uint64_t* rows,
                            std::vector<Value>* returning) {
  TABDB_RETURN_IF_ERROR(s_->CheckWritable());
  TABDB_RETURN_IF_ERROR(s_->db().BeginWrite());
  if (instead_) return RunInstead(binds, rows);
  if (triggers_ || AnyMutating()) {
    return Fired([&] {
      if (stmt_->kind == StmtKind::kInsert) return Insert(binds, rows, returning, nullptr);
      s_->KeysMayChange();
      return UpdateDelete(binds, rows);
    });
  }
  if (stmt_->kind == StmtKind::kInsert) return Insert(binds, rows, returning, nullptr);
  s_->KeysMayChange();
  return UpdateDelete(binds, rows);
}

Status Prepared::ExecuteDmlTaking(std::vector<Value>* binds, uint64_t* rows, std::vector<Value>* returning) {
  if (stmt_->kind != StmtKind::kInsert || !binds_are_row_ || instead_) return ExecuteDml(*binds, rows, returning);
  TABDB_RETURN_IF_ERROR(s_->CheckWritable());
  TABDB_RETURN_IF_ERROR(s_->db().BeginWrite());
  if (triggers_ || AnyMutating()) return Fired([&] { return Insert(*binds, rows, returning, binds); });
  return Insert(*binds, rows, returning, binds);
}

Status Prepared::ExecuteInsertCells(const BoundCell* cells, const TypeKind* kinds, uint64_t* rows) {
  if (!takes_cells_) return OraError(ora::kInternalError, {"bound cells for a statement that takes values"});
  TABDB_RETURN_IF_ERROR(s_->CheckWritable());
  TABDB_RETURN_IF_ERROR(s_->db().BeginWrite());
  if (checks_.has_deferrable()) {
    checks_.BindDeferral(*s_, insert_.get());
    checks_.BindDeferral(*s_, checks_.stmt());
  }
  sqlite3_stmt* ins = insert_.get();
  const size_t n = targets_.size();
  // Values that fitting changes or a conversion makes live in row_, whose
  // strings keep their capacity from row to row; the others are bound
  // where the caller holds them, which outlives the write below.
  row_.resize(n);
  written_cells_.resize(n);
  fk_deferred_.clear();
  Status st;
  for (size_t j = 0; j < n; ++j) {
    const ColumnInfo& c = *targets_[j];
    const int param = static_cast<int>(j + 1);
    BoundCell& bound = written_cells_[j];
    bound = cells[j];
    if (!bound.null) {
      Value& fitted = row_[j];
      if (kinds[j] == c.type.kind || FitsWithoutConversion(kinds[j], c.type.kind)) {
        bool changed = false;
        st = FitColumnBytes(bound.data, bound.size, table_, c, &fitted.bytes, &changed);
        if (!st.ok()) break;
        if (changed) bound = BoundCell{fitted.bytes.data(), fitted.bytes.size(), false};
      } else {
        // Another type: converted as ExecuteDml converts the bound value.
        fitted.kind = kinds[j];
        fitted.null = false;
        fitted.lob_id = 0;
        fitted.empty_lob = false;
        fitted.adopt = false;
        fitted.bytes.assign(bound.data, bound.size);
        LobStore lobs(s_->db());
        st = FitInPlace(&fitted, table_, c, &lobs);
        if (!st.ok()) break;
        bound = BoundCell{fitted.bytes.data(), fitted.bytes.size(), fitted.null};
      }
    }
    if (bound.null) {
      if (!c.nullable) {
        st = OraError(ora::kCannotInsertNull, {sql::QuoteName(table_.owner) + "." + sql::QuoteName(table_.name) +
                                                   "." + sql::QuoteName(c.name)});
        break;
      }
      sqlite3_bind_null(ins, param);
    } else if (target_flags_[j] & kTargetText) {
      sqlite3_bind_text(ins, param, bound.data, static_cast<int>(bound.size), SQLITE_STATIC);
    } else {
      sqlite3_bind_blob(ins, param, bound.data, static_cast<int>(bound.size), SQLITE_STATIC);
    }
  }
  if (st.ok()) {
    st = WriteInsertRow([this](sqlite3_stmt* q) {
      for (size_t j = 0; j < written_cells_.size(); ++j) {
        const BoundCell& b = written_cells_[j];
        const int param = static_cast<int>(j + 1);
        if (b.null) {
          sqlite3_bind_null(q, param);
        } else if (target_flags_[j] & kTargetText) {
          sqlite3_bind_text(q, param, b.data, static_cast<int>(b.size), SQLITE_STATIC);
        } else {
          sqlite3_bind_blob(q, param, b.data, static_cast<int>(b.size), SQLITE_STATIC);
        }
      }
    });
  }
  if (!st.ok()) return st;
  if (!marked_rows_ && !table_.has_rows) TABDB_RETURN_IF_ERROR(MarkHasRows());
  *rows += 1;
  return Status::Ok();
}

// ---- other statements --------------------------------------------------------

Status Prepared::ExecuteOther(std::vector<Value>* host) {
  s_->KeysMayChange();
  if (stmt_->kind == StmtKind::kCreateTable && stmt_->create_table && stmt_->create_table->as_select) {
    TABDB_RETURN_IF_ERROR(s_->CheckRights());
    return CreateTableAsSelect(*s_, *stmt_);
  }
  if (stmt_->kind == StmtKind::kMview && stmt_->mview && stmt_->mview->action == sql::MviewStmt::kCreate) {
    TABDB_RETURN_IF_ERROR(s_->CheckRights());
    return CreateMview(*s_, *stmt_);
  }
  switch (stmt_->kind) {
    case StmtKind::kCommit:
      return s_->Commit();
    case StmtKind::kRollback:
      return s_->Rollback();
    case StmtKind::kAlterSystem:
      return AlterSystemKill(*s_, *stmt_->alter_system);
    case StmtKind::kAlterSession: {
      const sql::AlterSession& a = *stmt_->alter_session;
      if (a.parameter.text == "CURRENT_SCHEMA") {
        std::string name = a.is_string ? a.text : a.value.text;
        UserInfo u;
        bool found = false;
        TABDB_RETURN_IF_ERROR(FindUser(*s_, name, &u, &found));
        if (!found) return OraError(ora::kUserNotExist);
        s_->set_current_schema(u.name);
      }
      if (a.parameter.text == "CONSTRAINTS") return SetSessionConstraints(*s_, a.value.text);
      if (a.parameter.text == "DDL_LOCK_TIMEOUT") return SetDdlLockTimeout(*s_, a);
      return Status::Ok();  // NLS and other session parameters: accepted
    }
    case StmtKind::kPlsqlBlock:
      return RunPlsqlBlock(*s_, *stmt_, host);
    case StmtKind::kSetConstraints:
      return SetConstraintsMode(*s_, *stmt_->set_constraints);
    case StmtKind::kSetTransaction: {
      using T = sql::SetTransaction;
      T::Mode m = stmt_->set_transaction ? stmt_->set_transaction->mode : T::kReadWrite;
      return s_->SetTransaction(m == T::kReadOnly       ? Session::TxnMode::kReadOnly
                                : m == T::kSerializable ? Session::TxnMode::kSerializable
                                                        : Session::TxnMode::kDefault);
    }
    case StmtKind::kLockTable:
      return LockTables(*s_, *stmt_->lock);
    case StmtKind::kSelect:
    case StmtKind::kInsert:
    case StmtKind::kUpdate:
    case StmtKind::kDelete:
      return OraError(ora::kInternalError, {"statement kind run as other"});
    default: {
      SetCheckRowsFn(AnyRowBreaksCheck);
      SetFillColumnFn(FillColumnDefault);
      SetRowConditionFn(CompileRowCondition);
      TABDB_RETURN_IF_ERROR(CheckDdlFunctions(*stmt_));
      Status st = ExecuteDdl(*s_, *stmt_, InferExprType);
      if (st.code() != ora::kResourceBusy) return st;
      // A table of the DDL may be busy only because an open query of this
      // session reads it: close those queries and run the DDL again.
      std::vector<Prepared*> others;
      {
        OpenQueries& q = AllOpenQueries();
        std::lock_guard<std::mutex> lock(q.mu);
        auto it = q.by_session.find(s_);
        if (it != q.by_session.end()) {
          for (Prepared* p : it->second) {
            if (p != this) others.push_back(p);
          }
        }
      }
      if (others.empty()) return st;
      for (Prepared* p : others) p->Invalidate();
      return ExecuteDdl(*s_, *stmt_, InferExprType);
    }
  }
}

}  // namespace tabdb
