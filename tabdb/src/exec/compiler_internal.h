// compiler_internal.h - the expression compiler shared by queries and DML.
//
// An Oracle expression becomes a fragment of SQLite SQL plus its Oracle
// type. Fragments follow the engine's value conventions: characters are
// TEXT, every other scalar is a BLOB in Oracle's byte form, stored LOB and
// LONG values are INTEGER ids, conditions are SQLite booleans. Literals are
// encoded once, at compile time; SYSDATE and friends become parameters
// bound at each execution, so that they are evaluated once per statement
// as in Oracle.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/dictionary.h"
#include "exec/engine.h"
#include "exec/value.h"
#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"
#include "values/types.h"

namespace tabdb {

struct SqlFunction;

// A compiled expression.
struct CExpr {
  std::string sql;
  TypeDesc type;
  bool is_bool = false;       // a condition (SQLite 0/1/NULL)
  bool null_literal = false;  // NULL (takes the type of what it meets)
  bool char_literal = false;  // a text literal: CHAR comparison semantics
  bool aggregate = false;     // contains an aggregate function
  bool constant = false;      // no column, no bind: the same value every row
  bool json = false;          // JSON text a JSON constructor made: nested as JSON, not as a string
  // The ROWID pseudo-column of a table: the SQLite rowid it stands for and
  // the table's data object number, so that comparisons become rowid
  // ranges (compiler_rowid.cpp).
  std::string rowid_of;
  int64_t rowid_object = 0;
  // For a || chain: its operands, so that a longer chain is one call of
  // many arguments rather than calls nested as deep as the chain is long
  // (SQLite's parser refuses deep nesting).
  std::vector<CExpr> concat_args;
};

// Values bound at each execution for pseudo-columns evaluated once per
// statement.
enum class StatementParam { kSysdate, kSystimestamp, kCurrentDate, kCurrentTimestamp };

// Binds of a statement: the Oracle types of the user's placeholders (from
// the external types bound to them) and the hidden parameters, numbered
// after them.
struct BindContext {
  std::vector<TypeKind> user_kinds;          // index k-1 for placeholder k
  std::vector<StatementParam> hidden;        // parameter user_kinds.size()+1+i
  // Sequences whose NEXTVAL the statement already draws: further NEXTVAL
  // of one of them in the same row give the value drawn for that row.
  std::vector<int64_t> nextval_seen;
  // The WITH items visible where the compiler is, innermost last.
  std::vector<const sql::WithItem*> with;

  int HiddenIndex(StatementParam p);
  TypeKind UserKind(int position) const {
    return position >= 1 && position <= static_cast<int>(user_kinds.size())
               ? user_kinds[position - 1]
               : TypeKind::kVarchar2;
  }
};

// What the names of an expression can refer to: at most one table, view
// or row generator, under a SQL alias.
struct Scope {
  enum Kind { kNone, kTable, kView, kGenerator, kDual } kind = kNone;
  const TableInfo* table = nullptr;
  const DictionaryView* view = nullptr;
  std::string alias = "_t";              // alias in the generated SQL
  std::vector<std::string> qualifiers;   // names that may qualify a column
  std::string qualifier_owner;           // schema that may qualify a column (with the table)
  std::string level_sql;                 // what LEVEL means (row generator), when set
  bool allow_aggregates = false;
  bool allow_window = false;  // analytic functions: select list and ORDER BY only
  // A join: the FROM items, each a scope of its own under its own alias.
  // Unqualified names are looked up in all of them (ORA-00918 when more
  // than one has the column); columns of USING and NATURAL joins are one
  // column, named without qualifier.
  struct JoinedColumn {
    std::string name;
    std::string sql;
    TypeDesc type;
  };
  std::vector<Scope> members;
  std::vector<JoinedColumn> joined;
  // A query nested in an expression: names it does not have are looked up
  // in the query around it. `level` counts the nesting (aliases differ
  // from level to level).
  const Scope* outer = nullptr;
  int level = 0;
  std::string rownum_sql;  // what ROWNUM means in the select list, when set
};

class Compiler {
 public:
  Compiler(Session& s, const Scope& scope, BindContext* binds)
      : s_(s), scope_(scope), binds_(binds) {}

  Status Compile(const sql::Expr& e, CExpr* out);
  // Compiles a condition (WHERE, HAVING, CASE WHEN).
  Status CompileCondition(const sql::Expr& e, CExpr* out);

  // Fragment converting `e` to type `to` (no-op when it already is).
  std::string ConvertTo(const CExpr& e, TypeKind to);

  // A call of a registry function (functions.h) through tabdb_call, with
  // a text argument `extra` appended when not empty.
  std::string Call(const SqlFunction& fn, TypeKind result, const std::vector<const CExpr*>& args,
                   const std::string& extra = "");
  // The type both sides of a comparison or a CASE are brought to.
  Status CommonType(const CExpr& a, const CExpr& b, TypeKind* out);

 private:
  Status Literal(const sql::Expr& e, CExpr* out);
  Status Column(const sql::Expr& e, CExpr* out);
  Status Unary(const sql::Expr& e, CExpr* out);
  Status Binary(const sql::Expr& e, CExpr* out);
  Status Compare(sql::Op op, const CExpr& a, const CExpr& b, CExpr* out);
  Status Arith(sql::Op op, const CExpr& a, const CExpr& b, CExpr* out);
  Status Concat(const CExpr& a, const CExpr& b, CExpr* out);
  Status Function(const sql::Expr& e, CExpr* out);
  Status Aggregate(const std::string& name, const sql::Expr& e, CExpr* out);
  // An analytic function: name(args) OVER (...) (compile_window.cpp).
  Status Window(const std::string& name, const sql::Expr& e, CExpr* out);
  // The SQL/JSON functions and IS [NOT] JSON (compile_json.cpp).
  Status Json(const std::string& name, const sql::Expr& e, CExpr* out);
  Status IsJson(const sql::Expr& e, CExpr* out);
  std::string JsonMember(const CExpr& v);
  std::string JsonText(const CExpr& v);
  Status Case(const sql::Expr& e, CExpr* out);
  Status Between(const sql::Expr& e, CExpr* out);
  Status In(const sql::Expr& e, CExpr* out);
  Status Like(const sql::Expr& e, CExpr* out);
  Status Pseudo(const sql::Expr& e, CExpr* out);
  Status Cast(const sql::Expr& e, CExpr* out);
  Status Extract(const sql::Expr& e, CExpr* out);
  Status VirtualColumn(const ColumnInfo& c, CExpr* out);
  // ROWID of the scope's table, and comparisons with it (compiler_rowid.cpp).
  Status TableRowid(CExpr* out);
  Status RowidCompare(sql::Op op, const CExpr& a, const CExpr& b, CExpr* out);
  Status MemberColumn(const sql::Expr& e, CExpr* out);  // compile_join.cpp
  Status Subquery(const sql::Expr& e, CExpr* out);      // compile_subquery.cpp
  // seq.NEXTVAL / seq.CURRVAL (compile_sequence.cpp).
  Status Sequence(const sql::Expr& e, CExpr* out);
  // x op ANY|ALL (list or query) (compile_setop.cpp).
  Status Quantified(const sql::Expr& e, CExpr* out);

  Status CompileArgs(const sql::Expr& e, std::vector<CExpr>* out);

  Session& s_;
  const Scope& scope_;
  BindContext* binds_;
  int depth_ = 0;
  int in_condition_ = 0;  // inside a condition: sequence values are not allowed
};

// A query nested in an expression of `outer`, or in a FROM clause (outer
// null): SQLite text whose result columns are named by their headings,
// and those columns (prepared.cpp).
Status CompileNestedSelect(Session& s, const sql::Select& q, const Scope* outer, int level,
                           BindContext* binds, std::string* sql, std::vector<ViewColumn>* cols);

// Any query, a block or a compound, as SQLite text and its result columns
// (prepared.cpp). `named_items` names the result columns by their
// headings, `positional` by their positions (_c1, _c2, ...).
Status CompileQuerySql(Session& s, const sql::Select& q, const std::string& text, BindContext* binds,
                       std::string* sql, std::vector<ResultColumn>* cols, const Scope* outer, int level,
                       bool named_items, bool positional);

// A compound query (UNION, INTERSECT, MINUS) without its row limit
// (compile_setop.cpp).
Status CompileCompound(Session& s, const sql::Select& q, const std::string& text, BindContext* binds,
                       std::string* sql, std::vector<ResultColumn>* cols, const Scope* outer, int level,
                       bool named_items, bool positional);
// A stored view as a FROM item (compile_view.cpp): SQLite text whose result
// columns carry the view's column names. Any error of its query is
// ORA-04063 (view has errors).
Status CompileStoredView(Session& s, const ViewInfo& v, int level, BindContext* binds,
                         std::string* sql, std::vector<ViewColumn>* cols);
// The columns of a view's query for CREATE VIEW (catalog DescribeViewFn).
Status DescribeViewQuery(Session& s, const std::string& owner, const sql::Select& q,
                         std::vector<ColumnInfo>* cols);

// Whether a FROM item (a scope without members) has a column of that name.
bool ScopeHasColumn(const Scope& sc, const std::string& name);

// A SQL text literal ('...' with quotes doubled) and a blob literal X'..'.
std::string SqlText(std::string_view s);
std::string SqlBlob(std::string_view bytes);
// The SQL literal of a value in the engine's conventions.
std::string SqlValue(const Value& v);

// Which SQLite storage class a value of this type has in the engine.
bool IsTextClass(TypeKind k);

// The Oracle type of the result of arithmetic `op` between kinds (ORA-00932
// when not allowed).
Status ArithResult(sql::Op op, TypeKind a, TypeKind b, TypeKind* out);

// ---- WHERE clauses (compile_where.cpp) ------------------------------------

// The terms of a condition joined by AND.
void SplitAnd(const sql::Expr& e, std::vector<const sql::Expr*>* out);
bool HasOuterMarker(const sql::Expr& e);  // a column(+) in e, not in nested queries
bool IsRownum(const sql::Expr& e);
bool HasRownum(const sql::Expr& e);       // ROWNUM in e, not in nested queries

// The row limit WHERE terms on ROWNUM set: ROWNUM is given to a row when
// it passes the WHERE clause, so `ROWNUM <= n` keeps the first n rows and
// `ROWNUM > 1` keeps none (the first row would have to be the second).
// Limits of numbers written in the statement are known when it compiles
// (the smallest holds; -1 none); one of a bind or another expression
// without columns is computed when the statement runs.
struct RownumLimits {
  long long fixed = -1;
  bool has_value = false;
  CExpr value;  // the bound compared with, as a NUMBER
  char op = 0;

  // Adds the term ROWNUM op v (or v op ROWNUM); ORA-03001 for other terms.
  Status Add(Compiler& c, const sql::Expr& t);
  // " LIMIT ..." or nothing.
  std::string Sql(Compiler& c) const;
  bool any() const { return has_value || fixed >= 0; }
};

// " WHERE ..." of the terms of `where` (or nothing) but those `consumed`
// elsewhere and those on ROWNUM, which go to `limits`.
Status CompileWhere(Compiler& w, const sql::Expr* where, const std::vector<const sql::Expr*>& consumed,
                    std::string* out, RownumLimits* limits);

// Conditions with the (+) marker turn comma-joined FROM items (`items`:
// their SQL and alias, in order) into LEFT joins: the marked item is
// joined, after the items the condition also names, on all its marked
// conditions. The FROM clause is written again in that order; the
// conditions used are added to `consumed`.
Status PlanOuterJoins(Session& s, const sql::Select& q, const Scope& full,
                      const std::vector<std::pair<std::string, std::string>>& items, BindContext* binds,
                      std::string* from_sql, std::vector<const sql::Expr*>* consumed);

}  // namespace tabdb
