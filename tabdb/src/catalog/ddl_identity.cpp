// ddl_identity.cpp - identity columns: the system sequence ISEQ$$_<table id>
// each one draws from (generated, owned by the table, dropped with it), the
// column's NOT NULL constraint, ALTER TABLE ... MODIFY of the identity, and
// the identity clause of the table's DDL text.
//
// The column's DATA_DEFAULT reads "OWNER"."ISEQ$$_n".nextval as Oracle
// shows it; DML does not evaluate it but draws from the sequence by id.
#include <sqlite3.h>

#include "catalog/catalog_internal.h"
#include "catalog/sequence.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"
#include "values/number.h"

namespace tabdb {
namespace cat {
namespace {

bool NumericType(TypeKind k) { return k == TypeKind::kNumber || k == TypeKind::kFloat; }

std::string SequenceName(int64_t table_obj) { return "ISEQ$$_" + std::to_string(table_obj); }

std::string DefaultText(const std::string& owner, int64_t table_obj) {
  return Quote(owner) + "." + Quote(SequenceName(table_obj)) + ".nextval";
}

Status SetIdentityColumn(Session& s, int64_t table_obj, int intcol, int kind, int64_t seq,
                         int64_t start, const std::string& data_default) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$columns SET ident_kind = ?3, ident_seq = ?4, ident_start = ?5,"
      " data_default = ?6 WHERE obj_id = ?1 AND intcol = ?2",
      &q));
  sqlite3_bind_int64(q, 1, table_obj);
  sqlite3_bind_int(q, 2, intcol);
  sqlite3_bind_int(q, 3, kind);
  if (kind) {
    sqlite3_bind_int64(q, 4, seq);
    sqlite3_bind_int64(q, 5, start);
    sqlite3_bind_text(q, 6, data_default.c_str(), -1, SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_null(q, 4);
    sqlite3_bind_null(q, 5);
    sqlite3_bind_null(q, 6);
  }
  return s.db().Run(q);
}

// The highest value of the column (the lowest for a descending sequence),
// for START WITH LIMIT VALUE; *any false when the column holds none.
Status ColumnLimit(Session& s, const TableInfo& t, const ColumnInfo& c, bool descending,
                   int64_t* out, bool* any) {
  *any = false;
  // NUMBER bytes sort as the numbers do.
  std::string sql = std::string("SELECT ") + (descending ? "min(" : "max(") + c.phys() +
                    ") FROM " + t.phys;
  sqlite3_stmt* q = nullptr;
  int rc = sqlite3_prepare_v2(s.db().handle(), sql.c_str(), -1, &q, nullptr);
  SqliteStmt owned(q);
  if (rc != SQLITE_OK) return SqliteError(s.db().handle(), rc);
  bool row = false;
  Status st = s.db().Step(q, &row);
  if (st.ok() && row && sqlite3_column_type(q, 0) != SQLITE_NULL) {
    Number n;
    st = Number::Decode(static_cast<const uint8_t*>(sqlite3_column_blob(q, 0)),
                        static_cast<size_t>(sqlite3_column_bytes(q, 0)), &n);
    if (st.ok()) st = n.ToInt64(out);
    *any = st.ok();
  }
  return st;
}

}  // namespace

Status DropSequenceRows(Session& s, int64_t seq) {
  sqlite3_stmt* d = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached("DELETE FROM tab$sequences WHERE obj_id = ?1", &d));
  sqlite3_bind_int64(d, 1, seq);
  TABDB_RETURN_IF_ERROR(s.db().Run(d));
  TABDB_RETURN_IF_ERROR(s.db().Cached("DELETE FROM tab$objects WHERE obj_id = ?1", &d));
  sqlite3_bind_int64(d, 1, seq);
  return s.db().Run(d);
}

Status MakeIdentity(Session& s, const sql::IdentitySpec& id, const TableInfo* t, ColumnInfo* c) {
  if (!NumericType(c->type.kind)) return OraError(ora::kIdentityNotNumeric);
  std::string name = SequenceName(t->obj_id);
  TABDB_RETURN_IF_ERROR(CreateSequence(s, t->owner, name, id.options, true));
  SequenceInfo q;
  bool found = false;
  TABDB_RETURN_IF_ERROR(FindSequence(s, t->owner, name, &q, &found));
  if (!found) return OraError(ora::kInternalError, {"identity sequence missing"});
  c->identity = id.kind;
  c->identity_seq = q.obj_id;
  c->identity_start = q.next_value;
  c->data_default = DefaultText(t->owner, t->obj_id);
  return Status::Ok();
}

Status MakeIdentities(Session& s, const sql::CreateTable& ct, TableInfo* t) {
  bool seen = false;
  for (size_t i = 0; i < ct.columns.size(); ++i) {
    const sql::ColumnDef& d = ct.columns[i];
    if (!d.identity) continue;
    if (seen) return OraError(ora::kOneIdentityColumn);
    seen = true;
    TABDB_RETURN_IF_ERROR(MakeIdentity(s, *d.identity, t, &t->columns[i]));
  }
  return Status::Ok();
}

Status AddIdentityNotNull(Session& s, const sql::CreateTable& ct, const TableInfo& t) {
  for (size_t i = 0; i < ct.columns.size(); ++i) {
    const sql::ColumnDef& d = ct.columns[i];
    // DEFAULT ON NULL makes its column NOT NULL as an identity does.
    if (!d.identity && !d.default_on_null) continue;
    bool declared = false;
    for (const sql::Constraint& k : d.constraints)
      declared = declared || k.kind == sql::ConstraintKind::kNotNull;
    if (!declared) TABDB_RETURN_IF_ERROR(AddNotNull(s, t, t.columns[i].intcol, sql::Constraint()));
  }
  return Status::Ok();
}

Status DropIdentitySequences(Session& s, const TableInfo& t) {
  for (const ColumnInfo& c : t.columns)
    if (c.identity && c.identity_seq) TABDB_RETURN_IF_ERROR(DropSequenceRows(s, c.identity_seq));
  return Status::Ok();
}

Status ModifyIdentity(Session& s, const TableInfo& t, const ColumnInfo& c,
                      const sql::ColumnDef& d) {
  if (!c.identity) return OraError(ora::kNotIdentityColumn);
  if (d.drop_identity) {
    TABDB_RETURN_IF_ERROR(DropSequenceRows(s, c.identity_seq));
    return SetIdentityColumn(s, t.obj_id, c.intcol, 0, 0, 0, "");
  }
  const sql::IdentitySpec& id = *d.identity;
  sql::SequenceOptions o = id.options;
  int64_t start = c.identity_start;
  if (id.limit_value) {
    // Continue after the values the column holds.
    SequenceInfo q;
    bool found = false;
    TABDB_RETURN_IF_ERROR(LoadSequence(s, c.identity_seq, &q, &found));
    if (!found) return OraError(ora::kSequenceNotExist);
    int64_t inc = o.has_increment ? o.increment : q.increment;
    int64_t limit = 0;
    bool any = false;
    TABDB_RETURN_IF_ERROR(ColumnLimit(s, t, c, inc < 0, &limit, &any));
    if (any) {
      o.has_start = true;
      o.start = limit + inc;
    }
  } else if (o.has_start) {
    start = o.start;
  }
  TABDB_RETURN_IF_ERROR(AlterIdentitySequence(s, c.identity_seq, o));
  return SetIdentityColumn(s, t.obj_id, c.intcol, id.kind, c.identity_seq, start,
                           DefaultText(t.owner, t.obj_id));
}

Status IdentityDdlText(Session& s, const ColumnInfo& c, std::string* out) {
  SequenceInfo q;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadSequence(s, c.identity_seq, &q, &found));
  if (!found) return OraError(ora::kSequenceNotExist);
  *out = c.identity == sql::IdentitySpec::kAlways        ? " GENERATED ALWAYS AS IDENTITY"
         : c.identity == sql::IdentitySpec::kByDefault ? " GENERATED BY DEFAULT AS IDENTITY"
                                                         : " GENERATED BY DEFAULT ON NULL AS IDENTITY";
  *out += " MINVALUE " + (q.has_min ? std::to_string(q.min) : std::string(kSequenceNoMin));
  *out += " MAXVALUE " + (q.has_max ? std::to_string(q.max) : std::string(kSequenceNoMax));
  *out += " INCREMENT BY " + std::to_string(q.increment);
  *out += " START WITH " + std::to_string(c.identity_start);
  *out += q.cache > 0 ? " CACHE " + std::to_string(q.cache) : std::string(" NOCACHE ");
  *out += q.order ? " ORDER " : " NOORDER ";
  *out += q.cycle ? " CYCLE " : " NOCYCLE ";
  *out += " NOKEEP  NOSCALE ";
  return Status::Ok();
}

}  // namespace cat
}  // namespace tabdb
