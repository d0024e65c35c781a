// ddl_sequence.cpp - CREATE / ALTER / DROP SEQUENCE, sequence lookup and
// the step that hands out a sequence's next value.
//
// Bounds are 64-bit; the unbounded defaults are kept as NULL bounds and
// shown with Oracle's 28-digit values.
#include <sqlite3.h>

#include "catalog/catalog_internal.h"
#include "catalog/sequence.h"
#include "util/errors.h"

namespace tabdb {
namespace {

// a + b, saturated to the int64 range.
int64_t AddSat(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_add_overflow(a, b, &r)) return b > 0 ? INT64_MAX : INT64_MIN;
  return r;
}
int64_t MulSat(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_mul_overflow(a, b, &r)) return (a > 0) == (b > 0) ? INT64_MAX : INT64_MIN;
  return r;
}

void BindBound(sqlite3_stmt* q, int i, bool has, int64_t v) {
  if (has) {
    sqlite3_bind_int64(q, i, v);
  } else {
    sqlite3_bind_null(q, i);
  }
}

// Applies options to `seq` (defaults for what a new sequence lacks) and
// checks them as Oracle does.
Status ApplyOptions(const sql::SequenceOptions& o, bool create, SequenceInfo* seq) {
  if (o.has_increment) {
    if (o.increment == 0) return OraError(ora::kSequenceIncrementZero);
    seq->increment = o.increment;
  }
  bool asc = seq->increment > 0;
  if (o.has_min) {
    seq->has_min = !o.no_min;
    seq->min = o.min;
  } else if (create) {
    seq->has_min = asc;
    seq->min = 1;
  }
  if (o.has_max) {
    seq->has_max = !o.no_max;
    seq->max = o.max;
  } else if (create) {
    seq->has_max = !asc;
    seq->max = -1;
  }
  if (o.has_cache) seq->cache = o.cache;
  if (o.has_cycle) seq->cycle = o.cycle;
  if (o.has_order) seq->order = o.order;
  if (seq->has_min && seq->has_max && seq->min >= seq->max)
    return OraError(ora::kSequenceMinMax);
  if (create || o.restart) {
    int64_t start = o.has_start ? o.start
                    : asc       ? (seq->has_min ? seq->min : 1)
                                : (seq->has_max ? seq->max : -1);
    if (seq->has_min && start < seq->min) return OraError(ora::kSequenceStartBelowMin);
    if (seq->has_max && start > seq->max) return OraError(ora::kSequenceStartAboveMax);
    seq->next_value = start;
    seq->last_number = start;
  } else if (o.has_start) {
    return OraError(ora::kSequenceCannotAlterStart);
  } else {
    if (seq->has_max && seq->next_value > AddSat(seq->max, seq->increment) && asc)
      return OraError(ora::kSequenceMaxBelowCurrent);
    // Altering a sequence drops its cache: what is on disk is the next value.
    seq->last_number = seq->next_value;
  }
  if (seq->cycle && seq->cache > 0 && seq->has_min && seq->has_max) {
    int64_t span = (seq->max - seq->min) / (seq->increment > 0 ? seq->increment : -seq->increment);
    if (seq->cache > span) return OraError(ora::kSequenceCacheTooBig);
  }
  return Status::Ok();
}

Status Store(Session& s, const SequenceInfo& q, bool insert, bool generated) {
  sqlite3_stmt* st = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      insert ? "INSERT INTO tab$sequences(obj_id, increment, min_value, max_value, cycle, ord,"
               " cache, next_value, last_number, generated) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10)"
             : "UPDATE tab$sequences SET increment = ?2, min_value = ?3, max_value = ?4,"
               " cycle = ?5, ord = ?6, cache = ?7, next_value = ?8, last_number = ?9"
               " WHERE obj_id = ?1 AND ?10 IS NOT NULL",
      &st));
  sqlite3_bind_int64(st, 1, q.obj_id);
  sqlite3_bind_int64(st, 2, q.increment);
  BindBound(st, 3, q.has_min, q.min);
  BindBound(st, 4, q.has_max, q.max);
  sqlite3_bind_int(st, 5, q.cycle ? 1 : 0);
  sqlite3_bind_int(st, 6, q.order ? 1 : 0);
  sqlite3_bind_int64(st, 7, q.cache);
  sqlite3_bind_int64(st, 8, q.next_value);
  sqlite3_bind_int64(st, 9, q.last_number);
  sqlite3_bind_int(st, 10, generated ? 1 : 0);
  return s.db().Run(st);
}

Status LoadById(Session& s, int64_t obj_id, SequenceInfo* out, bool* found, bool* generated) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT o.owner, o.name, q.increment, q.min_value, q.max_value, q.cycle, q.ord, q.cache,"
      " q.next_value, q.last_number, q.generated FROM tab$sequences q"
      " JOIN tab$objects o ON o.obj_id = q.obj_id WHERE q.obj_id = ?1",
      &q));
  sqlite3_bind_int64(q, 1, obj_id);
  TABDB_RETURN_IF_ERROR(s.db().Step(q, found));
  if (*found) {
    out->obj_id = obj_id;
    out->owner = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
    out->name = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
    out->increment = sqlite3_column_int64(q, 2);
    out->has_min = sqlite3_column_type(q, 3) != SQLITE_NULL;
    out->min = sqlite3_column_int64(q, 3);
    out->has_max = sqlite3_column_type(q, 4) != SQLITE_NULL;
    out->max = sqlite3_column_int64(q, 4);
    out->cycle = sqlite3_column_int(q, 5) != 0;
    out->order = sqlite3_column_int(q, 6) != 0;
    out->cache = sqlite3_column_int64(q, 7);
    out->next_value = sqlite3_column_int64(q, 8);
    out->last_number = sqlite3_column_int64(q, 9);
    if (generated) *generated = sqlite3_column_int(q, 10) != 0;
  }
  sqlite3_reset(q);
  return Status::Ok();
}

}  // namespace

Status FindSequence(Session& s, const std::string& owner, const std::string& name,
                    SequenceInfo* out, bool* found) {
  int64_t obj = 0;
  std::string type;
  *found = false;
  TABDB_RETURN_IF_ERROR(cat::FindObject(s, owner, name, &obj, &type));
  if (obj == 0 || type != "SEQUENCE") return Status::Ok();
  return LoadById(s, obj, out, found, nullptr);
}

Status ResolveSequence(Session& s, const sql::NameList& name, SequenceInfo* out) {
  // The name may lead through synonyms; another schema's sequence needs
  // SELECT on it.
  ResolvedName r;
  Status rs = ResolveName(s, name, &r);
  if (rs.code() == ora::kTableNotExist) return OraError(ora::kSequenceNotExist);
  TABDB_RETURN_IF_ERROR(rs);
  if (r.type != "SEQUENCE") return OraError(ora::kSequenceNotExist);
  Status ps = cat::CheckObjectPrivilege(s, r.owner, r.obj_id, "SELECT");
  if (ps.code() == ora::kTableNotExist) return OraError(ora::kSequenceNotExist);
  TABDB_RETURN_IF_ERROR(ps);
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadById(s, r.obj_id, out, &found, nullptr));
  if (!found) return OraError(ora::kSequenceNotExist);
  return Status::Ok();
}

Status SequenceNextValue(Session& s, int64_t obj_id, int64_t* value) {
  SequenceInfo q;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadById(s, obj_id, &q, &found, nullptr));
  if (!found) return OraError(ora::kSequenceNotExist);
  bool asc = q.increment > 0;
  int64_t v = q.next_value;
  bool wrapped = false;
  if (asc && q.has_max && v > q.max) {
    if (!q.cycle) return OraError(ora::kSequenceExceedsMax, {q.name, "exceeds", "MAX"});
    v = q.has_min ? q.min : 1;
    wrapped = true;
  } else if (!asc && q.has_min && v < q.min) {
    if (!q.cycle) return OraError(ora::kSequenceExceedsMax, {q.name, "goes below", "MIN"});
    v = q.has_max ? q.max : -1;
    wrapped = true;
  }
  q.next_value = AddSat(v, q.increment);
  if (q.cache == 0) {
    q.last_number = q.next_value;
  } else if (wrapped || (asc ? v >= q.last_number : v <= q.last_number)) {
    // A new cache block starts at v: LAST_NUMBER is the value after it.
    q.last_number = AddSat(v, MulSat(q.cache, q.increment));
  }
  sqlite3_stmt* st = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "UPDATE tab$sequences SET next_value = ?2, last_number = ?3 WHERE obj_id = ?1", &st));
  sqlite3_bind_int64(st, 1, obj_id);
  sqlite3_bind_int64(st, 2, q.next_value);
  sqlite3_bind_int64(st, 3, q.last_number);
  TABDB_RETURN_IF_ERROR(s.db().Run(st));
  *value = v;
  return Status::Ok();
}

Status LoadSequence(Session& s, int64_t obj_id, SequenceInfo* out, bool* found) {
  return LoadById(s, obj_id, out, found, nullptr);
}

namespace cat {

Status AlterIdentitySequence(Session& s, int64_t obj_id, sql::SequenceOptions o) {
  SequenceInfo q;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadById(s, obj_id, &q, &found, nullptr));
  if (!found) return OraError(ora::kSequenceNotExist);
  o.restart = o.has_start;
  TABDB_RETURN_IF_ERROR(ApplyOptions(o, false, &q));
  return Store(s, q, false, true);
}

Status CreateSequence(Session& s, const std::string& owner, const std::string& name,
                      const sql::SequenceOptions& o, bool generated) {
  SequenceInfo q;
  TABDB_RETURN_IF_ERROR(ApplyOptions(o, true, &q));
  TABDB_RETURN_IF_ERROR(AddObject(s, owner, name, "SEQUENCE", &q.obj_id));
  return Store(s, q, true, generated);
}

Status CreateSequenceDdl(Session& s, const sql::SequenceStmt& st) {
  std::string owner, name;
  SplitName(s, st.name, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  return CreateSequence(s, owner, name, st.options, false);
}

namespace {

// The sequence an ALTER or DROP names, in a schema the session may change;
// ORA-02289 when there is none.
Status LoadForChange(Session& s, const sql::NameList& n, SequenceInfo* q, bool* generated) {
  std::string owner, name;
  SplitName(s, n, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  int64_t obj = 0;
  std::string type;
  TABDB_RETURN_IF_ERROR(FindObject(s, owner, name, &obj, &type));
  if (obj == 0 || type != "SEQUENCE") return OraError(ora::kSequenceNotExist);
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadById(s, obj, q, &found, generated));
  if (!found) return OraError(ora::kSequenceNotExist);
  return Status::Ok();
}

}  // namespace

Status AlterSequenceDdl(Session& s, const sql::SequenceStmt& st) {
  SequenceInfo q;
  bool generated = false;
  TABDB_RETURN_IF_ERROR(LoadForChange(s, st.name, &q, &generated));
  if (generated) return OraError(ora::kSequenceSystemAlter);
  TABDB_RETURN_IF_ERROR(ApplyOptions(st.options, false, &q));
  return Store(s, q, false, generated);
}

Status DropSequenceDdl(Session& s, const sql::SequenceStmt& st) {
  SequenceInfo q;
  bool generated = false;
  TABDB_RETURN_IF_ERROR(LoadForChange(s, st.name, &q, &generated));
  if (generated) return OraError(ora::kSequenceSystemDrop);
  int64_t obj = q.obj_id;
  sqlite3_stmt* d = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached("DELETE FROM tab$sequences WHERE obj_id = ?1", &d));
  sqlite3_bind_int64(d, 1, obj);
  TABDB_RETURN_IF_ERROR(s.db().Run(d));
  TABDB_RETURN_IF_ERROR(s.db().Cached("DELETE FROM tab$objects WHERE obj_id = ?1", &d));
  sqlite3_bind_int64(d, 1, obj);
  return s.db().Run(d);
}

}  // namespace cat
}  // namespace tabdb
