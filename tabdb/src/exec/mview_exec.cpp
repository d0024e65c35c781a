// mview_exec.cpp - CREATE MATERIALIZED VIEW (the container table made and
// filled like CREATE TABLE ... AS SELECT) and DBMS_MVIEW.REFRESH. Every
// refresh is complete: the container's rows are deleted and the query's
// rows inserted, whatever refresh method the view or the call names (FAST
// and ON COMMIT views are refreshed completely, on demand).
//
// The query always runs as the view's owner with definer's rights
// (RunAsOwner): what its owner was granted directly, whoever creates or
// refreshes the view, so that neither a DBA's import nor a DBA's refresh
// lends the view the DBA's rights. Where the creator could read what the
// owner may not, CREATE gives ORA-01031; a refresh that fails gives
// ORA-12008 followed by the error of the query as its owner ran it.
#include "exec/mview_exec.h"

#include <memory>

#include "catalog/catalog.h"
#include "catalog/mview.h"
#include "exec/compiler.h"
#include "exec/create_table_as.h"
#include "exec/prepared.h"
#include "sql/parser.h"
#include "sql/printer.h"
#include "util/errors.h"

namespace tabdb {
namespace {

Status RunText(Session& s, const std::string& text, uint64_t* rows) {
  std::unique_ptr<sql::Statement> parsed;
  TABDB_RETURN_IF_ERROR(sql::Parse(text, &parsed));
  std::shared_ptr<const sql::Statement> st(std::move(parsed));
  std::unique_ptr<Prepared> p;
  TABDB_RETURN_IF_ERROR(Prepared::Create(s, st, {}, &p));
  if (p->is_dml()) return p->ExecuteDml({}, rows, nullptr);
  return p->ExecuteOther();
}

std::string Qualified(const std::string& owner, const std::string& name) {
  return sql::QuoteName(owner) + "." + sql::QuoteName(name);
}

// The number of columns the query gives, compiled as the session is.
Status QueryWidth(Session& s, const std::string& query, size_t* n) {
  std::unique_ptr<sql::Statement> parsed;
  TABDB_RETURN_IF_ERROR(sql::Parse("SELECT * FROM (" + query + ")", &parsed));
  std::shared_ptr<const sql::Statement> st(std::move(parsed));
  std::unique_ptr<Prepared> p;
  TABDB_RETURN_IF_ERROR(Prepared::Create(s, st, {}, &p));
  *n = p->columns().size();
  return Status::Ok();
}

// The number of columns the query gives as `owner` runs it. When the owner
// may not read what it names but the session may (in the owner's schema,
// with the session's own rights), ORA-01031, as Oracle gives at CREATE;
// otherwise the owner's error.
Status OwnerQueryWidth(Session& s, const std::string& owner, const std::string& query, size_t* n) {
  Status as_owner = RunAsOwner(s, owner, [&] { return QueryWidth(s, query, n); });
  if (as_owner.ok() || as_owner.code() == ora::kUserDoesNotExist) return as_owner;
  std::string saved = s.current_schema();
  s.set_current_schema(owner);
  size_t width = 0;
  Status as_creator = QueryWidth(s, query, &width);
  s.set_current_schema(saved);
  return as_creator.ok() ? OraError(ora::kInsufficientPrivileges) : as_owner;
}

// Deletes the container's rows and inserts the query's, as the view's
// owner.
Status Fill(Session& s, const MviewRec& m) {
  MviewRefreshing refreshing;
  Status st = RunAsOwner(s, m.owner, [&] {
    uint64_t rows = 0;
    TABDB_RETURN_IF_ERROR(RunText(s, "DELETE FROM " + Qualified(m.owner, m.name), &rows));
    return RunText(s, "INSERT INTO " + Qualified(m.owner, m.name) + " SELECT * FROM (" + m.query + ")", &rows);
  });
  if (st.ok()) return st;
  Status path = OraError(ora::kMviewRefreshPath);
  path.AddLine(st.text());
  return path;
}

}  // namespace

Status CreateMview(Session& s, const sql::Statement& st) {
  const sql::MviewStmt& m = *st.mview;
  std::string owner = m.name.size() == 2 ? m.name[0].text : s.current_schema();
  const std::string& name = m.name.back().text;
  // The container is made as the owner: whether the session may make it
  // there is asked first.
  TABDB_RETURN_IF_ERROR(CheckMviewSchema(s, owner));
  size_t width = 0;
  if (m.build == "PREBUILT") {
    TableInfo t;
    Status found = LoadTable(s, owner, name, &t);
    if (!found.ok()) return found.code() == ora::kTableNotExist ? OraError(ora::kPrebuiltTableMissing, {owner, name}) : found;
    TABDB_RETURN_IF_ERROR(OwnerQueryWidth(s, owner, m.query_text, &width));
    size_t columns = 0;
    for (const ColumnInfo& c : t.columns) columns += c.hidden ? 0 : 1;
    if (width != columns) return OraError(ora::kPrebuiltShape);
    return ExecuteDdl(s, st, InferExprType);
  }
  {
    // A name taken by a view already, or by any object, is refused before
    // anything is made.
    MviewRec old;
    bool found = false;
    TABDB_RETURN_IF_ERROR(LoadMview(s, owner, name, &old, &found));
    if (found) return OraError(ora::kNameAlreadyUsed);
  }
  sql::Statement ct;
  ct.kind = sql::StmtKind::kCreateTable;
  ct.text = st.text;
  ct.create_table = std::make_unique<sql::CreateTable>();
  ct.create_table->name = m.name;
  for (const sql::Name& n : m.columns) {
    sql::ColumnDef d;
    d.name = n;
    d.has_type = false;
    ct.create_table->columns.push_back(std::move(d));
  }
  ct.create_table->attrs = m.attrs;
  ct.create_table->as_select = m.query;
  ct.create_table->as_select_span = m.query_span;
  TABDB_RETURN_IF_ERROR(OwnerQueryWidth(s, owner, m.query_text, &width));
  TABDB_RETURN_IF_ERROR(RunAsOwner(s, owner, [&] { return CreateTableAsSelect(s, ct); }));
  Status st2;
  if (m.build == "DEFERRED") {
    sql::Statement tr;
    tr.kind = sql::StmtKind::kTruncateTable;
    tr.drop = std::make_unique<sql::DropObject>();
    tr.drop->name = m.name;
    st2 = ExecuteDdl(s, tr, InferExprType);
  }
  if (st2.ok()) st2 = ExecuteDdl(s, st, InferExprType);
  if (!st2.ok()) {
    uint64_t rows = 0;
    (void)RunText(s, "DROP TABLE " + Qualified(owner, name), &rows);  // the first error is the one reported
  }
  return st2;
}

Status RefreshMviews(Session& s, const std::string& list, const std::string& method) {
  std::vector<MviewRec> views;
  size_t start = 0;
  size_t index = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    start = comma == std::string::npos ? list.size() + 1 : comma + 1;
    // [schema.]name, each part upper-cased unless in double quotes.
    std::vector<std::string> parts(1);
    bool quoted = false;
    for (char ch : item) {
      if (ch == '"') {
        quoted = !quoted;
      } else if (ch == '.' && !quoted) {
        parts.emplace_back();
      } else if (quoted) {
        parts.back() += ch;
      } else if (ch != ' ' && ch != '\t' && ch != '\n') {
        parts.back() += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      }
    }
    if (parts.size() == 1 && parts[0].empty()) continue;
    if (parts.size() > 2) return OraError(ora::kRefreshMviewNotFound, {parts[0], parts[1]});
    std::string owner = parts.size() == 2 ? parts[0] : s.current_schema();
    const std::string& name = parts.back();
    if (index < method.size()) {
      char c = static_cast<char>(std::toupper(static_cast<unsigned char>(method[index])));
      if (c != 'C' && c != 'F' && c != '?' && c != 'A' && c != 'P') return OraError(ora::kIllegalArgument);
    }
    ++index;
    MviewRec m;
    bool found = false;
    TABDB_RETURN_IF_ERROR(LoadMview(s, owner, name, &m, &found));
    // Another user's view is refreshed only by a DBA; to others it is missing.
    if (!found || (owner != s.user().name && !s.user().dba))
      return OraError(ora::kRefreshMviewNotFound, {owner, name});
    views.push_back(std::move(m));
  }
  TABDB_RETURN_IF_ERROR(s.db().BeginWrite());
  for (const MviewRec& m : views) {
    Status st = Fill(s, m);
    if (st.ok()) st = MviewRefreshed(s, m.obj_id);
    if (!st.ok()) {
      (void)s.Rollback();
      return st;
    }
  }
  return s.Commit();
}

}  // namespace tabdb
