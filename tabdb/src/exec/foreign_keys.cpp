// foreign_keys.cpp - the checks of foreign keys when a statement has
// written its rows, ON DELETE CASCADE / SET NULL, and the deferred
// constraints that COMMIT and SET CONSTRAINTS check.
//
// Every lookup is a prepared statement compiled once per DML statement:
// a parent key is found through the index of its primary or unique key;
// the children of a key are found through an index of the child table when
// it has one whose leading columns are the foreign key (as in Oracle, a
// child table without one is scanned).
#include "exec/foreign_keys.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "exec/compiler_internal.h"
#include "exec/row_checks.h"
#include "sql/printer.h"
#include "storage/lob_store.h"
#include "util/errors.h"

namespace tabdb {

namespace {

// A key column value as SQLite stores it.
struct RawValue {
  int type = SQLITE_NULL;
  std::string bytes;
  int64_t i = 0;
  double d = 0;
};

void ReadRaw(sqlite3_stmt* q, int col, RawValue* v) {
  v->type = sqlite3_column_type(q, col);
  switch (v->type) {
    case SQLITE_INTEGER:
      v->i = sqlite3_column_int64(q, col);
      break;
    case SQLITE_FLOAT:
      v->d = sqlite3_column_double(q, col);
      break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const void* p = v->type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(q, col))
                                             : sqlite3_column_blob(q, col);
      v->bytes.assign(static_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(q, col)));
      break;
    }
    default:
      break;
  }
}

void BindRaw(sqlite3_stmt* q, int i, const RawValue& v) {
  switch (v.type) {
    case SQLITE_INTEGER:
      sqlite3_bind_int64(q, i, v.i);
      break;
    case SQLITE_FLOAT:
      sqlite3_bind_double(q, i, v.d);
      break;
    case SQLITE_TEXT:
      sqlite3_bind_text(q, i, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
      break;
    case SQLITE_BLOB:
      sqlite3_bind_blob(q, i, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
      break;
    default:
      sqlite3_bind_null(q, i);
      break;
  }
}

// "c3 = ?1 AND c5 = ?2"
std::string MatchParams(const std::vector<int>& cols, const std::string& prefix = "") {
  std::string out;
  for (size_t i = 0; i < cols.size(); ++i)
    out += (i ? " AND " : "") + prefix + "c" + std::to_string(cols[i]) + " = ?" + std::to_string(i + 1);
  return out;
}

// The child-side check of one row: a row comes back when it breaks the key.
Status PrepareRowOrphan(Session& s, const ForeignKeyInfo& fk, SqliteStmt* out) {
  return PrepareSql(s, "SELECT 1 FROM " + fk.child_phys + " AS _t WHERE _t.rowid = ?1 AND " + OrphanCondition(fk, "_t"),
                    out);
}

Status StepOnce(Session& s, sqlite3_stmt* q, bool* row) {
  Status st = s.db().Step(q, row);
  sqlite3_reset(q);
  return st;
}

}  // namespace

struct ForeignKeyChecks::Child {
  ForeignKeyInfo fk;
  SqliteStmt orphan;
};

struct ForeignKeyChecks::Table {
  struct Ref {
    ForeignKeyInfo fk;
    SqliteStmt any;       // a child row with the key
    SqliteStmt rowids;    // the child rows with the key (CASCADE)
    SqliteStmt set_null;  // SET NULL
    std::string not_null_col;  // a NOT NULL column of the key ("O"."T"."C"), for SET NULL
  };
  struct Key {
    std::vector<int> cols;
    SqliteStmt capture;  // the key of a row by rowid
    SqliteStmt exists;   // a row that has the key
    std::vector<std::unique_ptr<Ref>> refs;
  };
  TableInfo info;
  std::vector<Key> keys;
  SqliteStmt del;   // DELETE by rowid (rows that CASCADE removes)
  SqliteStmt lobs;  // LOB and LONG ids of a row, freed with it
};

struct ForeignKeyChecks::Gone {
  Table* t = nullptr;
  size_t key = 0;
  std::vector<RawValue> vals;
};

struct ForeignKeyChecks::Probe {
  ForeignKeyInfo fk;
  SqliteStmt stmt;                // the parent row with the bound key
  std::vector<size_t> child;      // positions of the key's values in the row
  std::vector<size_t> own;        // a self-reference: positions of the referenced key
  // Keys found before, while they come back often enough to pay.
  std::unordered_set<std::string> found;
  bool caching = true;
  uint64_t hits = 0, misses = 0;
  // A one-column key reads the parent keys from the one looked for on, a
  // run of them as long as the last run served rows (keys that come in
  // order, as an import brings them, then cost one lookup per run).
  SqliteStmt run;
  int run_length = 16;
  bool run_used = false;
  std::vector<std::string> run_keys;
  size_t run_pos = 0;

  bool InRun(const std::string& key) {
    for (size_t i = run_pos; i < run_keys.size() && i < run_pos + 4; ++i) {
      if (run_keys[i] == key) {
        run_pos = i + 1;
        run_used = true;
        return true;
      }
    }
    return false;
  }
  void Remember(const std::string& key) {
    if (!caching) return;
    if (++misses >= 4096 && hits * 8 < misses) {
      // Keys seldom repeat: looking them up is cheaper than keeping them.
      caching = false;
      found.clear();
      return;
    }
    if (found.size() >= 65536) found.clear();
    found.insert(key);
  }
  void Forget() {
    found.clear();
    caching = true;
    hits = misses = 0;
    run_keys.clear();
    run_pos = 0;
  }
};

namespace {

// A key as the found sets keep it: per column its kind of storage, its
// length and its bytes.
void AppendKeyPart(std::string* key, bool text, const void* data, size_t size) {
  uint32_t n = static_cast<uint32_t>(size);
  key->push_back(text ? 'T' : 'B');
  key->append(reinterpret_cast<const char*>(&n), sizeof n);
  key->append(static_cast<const char*>(data), size);
}

}  // namespace

ForeignKeyChecks::ForeignKeyChecks() = default;
ForeignKeyChecks::~ForeignKeyChecks() = default;

Status ForeignKeyChecks::TableFor(int64_t obj, Table** out) {
  auto it = tables_.find(obj);
  if (it != tables_.end()) {
    *out = it->second.get();
    return Status::Ok();
  }
  auto t = std::make_unique<Table>();
  TABDB_RETURN_IF_ERROR(LoadTableByObj(*s_, obj, &t->info));
  std::vector<ForeignKeyInfo> fks;
  TABDB_RETURN_IF_ERROR(LoadForeignKeys(*s_, obj, true, false, &fks));
  const std::string& phys = t->info.phys;
  for (ForeignKeyInfo& fk : fks) {
    Table::Key* key = nullptr;
    for (Table::Key& k : t->keys)
      if (k.cols == fk.parent_cols) key = &k;
    if (key == nullptr) {
      t->keys.emplace_back();
      key = &t->keys.back();
      key->cols = fk.parent_cols;
      std::string cols;
      for (size_t i = 0; i < key->cols.size(); ++i) cols += (i ? ", c" : "c") + std::to_string(key->cols[i]);
      TABDB_RETURN_IF_ERROR(PrepareSql(*s_, "SELECT " + cols + " FROM " + phys + " WHERE rowid = ?1", &key->capture));
      TABDB_RETURN_IF_ERROR(
          PrepareSql(*s_, "SELECT 1 FROM " + phys + " WHERE " + MatchParams(key->cols) + " LIMIT 1", &key->exists));
    }
    auto r = std::make_unique<Table::Ref>();
    std::string match = MatchParams(fk.child_cols);
    TABDB_RETURN_IF_ERROR(PrepareSql(*s_, "SELECT 1 FROM " + fk.child_phys + " WHERE " + match + " LIMIT 1", &r->any));
    if (fk.delete_rule == "CASCADE") {
      TABDB_RETURN_IF_ERROR(PrepareSql(*s_, "SELECT rowid FROM " + fk.child_phys + " WHERE " + match, &r->rowids));
    } else if (fk.delete_rule == "SET NULL") {
      std::string set;
      for (size_t i = 0; i < fk.child_cols.size(); ++i)
        set += (i ? ", c" : "c") + std::to_string(fk.child_cols[i]) + " = NULL";
      TABDB_RETURN_IF_ERROR(
          PrepareSql(*s_, "UPDATE " + fk.child_phys + " SET " + set + " WHERE " + match, &r->set_null));
      TableInfo child;
      TABDB_RETURN_IF_ERROR(LoadTableByObj(*s_, fk.child_obj, &child));
      for (int col : fk.child_cols) {
        for (const ColumnInfo& c : child.columns) {
          if (c.intcol == col && !c.nullable && r->not_null_col.empty())
            r->not_null_col = sql::QuoteName(child.owner) + "." + sql::QuoteName(child.name) + "." +
                              sql::QuoteName(c.name);
        }
      }
    }
    r->fk = std::move(fk);
    key->refs.push_back(std::move(r));
  }
  TABDB_RETURN_IF_ERROR(PrepareSql(*s_, "DELETE FROM " + phys + " WHERE rowid = ?1", &t->del));
  std::string lob_cols;
  for (const ColumnInfo& c : t->info.columns)
    if (c.stored() && (IsLob(c.type.kind) || IsLong(c.type.kind))) lob_cols += (lob_cols.empty() ? "" : ", ") + c.phys();
  if (!lob_cols.empty())
    TABDB_RETURN_IF_ERROR(PrepareSql(*s_, "SELECT " + lob_cols + " FROM " + phys + " WHERE rowid = ?1", &t->lobs));
  *out = t.get();
  tables_[obj] = std::move(t);
  return Status::Ok();
}

Status ForeignKeyChecks::Compile(Session& s, const TableInfo& t, sql::StmtKind kind, const std::vector<int>& set_cols) {
  s_ = &s;
  delete_ = kind == sql::StmtKind::kDelete;
  auto touches = [&](const std::vector<int>& cols) {
    if (kind != sql::StmtKind::kUpdate) return true;
    for (int c : cols)
      if (std::find(set_cols.begin(), set_cols.end(), c) != set_cols.end()) return true;
    return false;
  };
  if (kind != sql::StmtKind::kDelete) {
    TABDB_RETURN_IF_ERROR(LoadForeignKeys(s, t.obj_id, false, false, &child_keys_));
    for (const ForeignKeyInfo& fk : child_keys_) {
      if (!touches(fk.child_cols)) continue;
      auto c = std::make_unique<Child>();
      c->fk = fk;
      TABDB_RETURN_IF_ERROR(PrepareRowOrphan(s, fk, &c->orphan));
      child_.push_back(std::move(c));
    }
  }
  if (kind != sql::StmtKind::kInsert) {
    Table* me = nullptr;
    TABDB_RETURN_IF_ERROR(TableFor(t.obj_id, &me));
    bool any = false;
    for (const Table::Key& k : me->keys) any = any || touches(k.cols);
    if (any) parent_ = me;
  }
  return Status::Ok();
}

Status ForeignKeyChecks::CaptureIn(Table* t, int64_t rowid, std::vector<Gone>* out) {
  for (size_t k = 0; k < t->keys.size(); ++k) {
    sqlite3_stmt* q = t->keys[k].capture.get();
    sqlite3_bind_int64(q, 1, rowid);
    bool row = false;
    Status st = s_->db().Step(q, &row);
    if (st.ok() && row) {
      Gone g;
      g.t = t;
      g.key = k;
      bool null = false;
      g.vals.resize(t->keys[k].cols.size());
      for (size_t i = 0; i < g.vals.size(); ++i) {
        ReadRaw(q, static_cast<int>(i), &g.vals[i]);
        null = null || g.vals[i].type == SQLITE_NULL;
      }
      // No child can reference a key with a NULL in it.
      if (!null) out->push_back(std::move(g));
    }
    sqlite3_reset(q);
    TABDB_RETURN_IF_ERROR(st);
  }
  return Status::Ok();
}

Status ForeignKeyChecks::Capture(int64_t rowid) {
  if (!parent_) return Status::Ok();
  return CaptureIn(parent_, rowid, &gone_);
}

void ForeignKeyChecks::Reset() { gone_.clear(); }

Status ForeignKeyChecks::HandleGone(std::vector<Gone>& gone) {
  LobStore lobs(s_->db());
  for (size_t i = 0; i < gone.size(); ++i) {
    // The list grows while cascades remove rows: copy what this entry needs.
    Table* t = gone[i].t;
    Table::Key& key = t->keys[gone[i].key];
    std::vector<RawValue> vals = gone[i].vals;
    auto bind = [&](sqlite3_stmt* q) {
      for (size_t j = 0; j < vals.size(); ++j) BindRaw(q, static_cast<int>(j + 1), vals[j]);
    };
    // The key is still there (an UPDATE that swapped keys, or a row that
    // took it over): its children keep their parent.
    bool still = false;
    bind(key.exists.get());
    TABDB_RETURN_IF_ERROR(StepOnce(*s_, key.exists.get(), &still));
    if (still) continue;
    for (const std::unique_ptr<Table::Ref>& rp : key.refs) {
      Table::Ref& r = *rp;
      if (delete_ && r.fk.delete_rule == "CASCADE") {
        Table* child = nullptr;
        TABDB_RETURN_IF_ERROR(TableFor(r.fk.child_obj, &child));
        std::vector<int64_t> rowids;
        sqlite3_stmt* q = r.rowids.get();
        bind(q);
        for (;;) {
          bool row = false;
          Status st = s_->db().Step(q, &row);
          if (!st.ok()) {
            sqlite3_reset(q);
            return st;
          }
          if (!row) break;
          rowids.push_back(sqlite3_column_int64(q, 0));
        }
        sqlite3_reset(q);
        for (int64_t rowid : rowids) {
          TABDB_RETURN_IF_ERROR(CaptureIn(child, rowid, &gone));
          if (child->lobs) {
            sqlite3_stmt* l = child->lobs.get();
            sqlite3_bind_int64(l, 1, rowid);
            bool row = false;
            std::vector<int64_t> ids;
            Status st = s_->db().Step(l, &row);
            for (int c = 0; st.ok() && row && c < sqlite3_column_count(l); ++c)
              if (sqlite3_column_type(l, c) == SQLITE_INTEGER) ids.push_back(sqlite3_column_int64(l, c));
            sqlite3_reset(l);
            TABDB_RETURN_IF_ERROR(st);
            for (int64_t id : ids) TABDB_RETURN_IF_ERROR(lobs.Delete(id));
          }
          sqlite3_bind_int64(child->del.get(), 1, rowid);
          TABDB_RETURN_IF_ERROR(s_->db().Run(child->del.get()));
        }
      } else if (delete_ && r.fk.delete_rule == "SET NULL") {
        if (!r.not_null_col.empty()) {
          bool any = false;
          bind(r.any.get());
          TABDB_RETURN_IF_ERROR(StepOnce(*s_, r.any.get(), &any));
          if (any) return OraError(ora::kCannotUpdateToNull, {r.not_null_col});
        }
        bind(r.set_null.get());
        TABDB_RETURN_IF_ERROR(s_->db().Run(r.set_null.get()));
      } else {
        if (s_->IsDeferred(r.fk.cons_id, r.fk.deferrable, r.fk.initially_deferred)) {
          std::vector<int64_t>& pg = s_->deferred().parents_gone;
          if (std::find(pg.begin(), pg.end(), r.fk.cons_id) == pg.end()) pg.push_back(r.fk.cons_id);
          continue;
        }
        bool any = false;
        bind(r.any.get());
        TABDB_RETURN_IF_ERROR(StepOnce(*s_, r.any.get(), &any));
        if (any) return OraError(ora::kChildRecordFound, {r.fk.owner, r.fk.name});
      }
    }
  }
  return Status::Ok();
}

Status ForeignKeyChecks::CompileRowProbes(const std::vector<const ColumnInfo*>& targets) {
  auto position = [&](int intcol, size_t* out) {
    for (size_t j = 0; j < targets.size(); ++j) {
      if (targets[j]->intcol == intcol) {
        *out = j;
        return true;
      }
    }
    return false;
  };
  for (const ForeignKeyInfo& fk : child_keys_) {
    auto p = std::make_unique<Probe>();
    p->fk = fk;
    bool ok = true;
    for (int col : fk.child_cols) {
      size_t j = 0;
      ok = ok && position(col, &j);
      p->child.push_back(j);
    }
    if (fk.parent_obj == fk.child_obj) {
      for (int col : fk.parent_cols) {
        size_t j = 0;
        ok = ok && position(col, &j);
        p->own.push_back(j);
      }
    }
    if (!ok) return OraError(ora::kInternalError, {"foreign key column not written"});
    TABDB_RETURN_IF_ERROR(PrepareSql(
        *s_, "SELECT 1 FROM " + fk.parent_phys + " WHERE " + MatchParams(fk.parent_cols) + " LIMIT 1", &p->stmt));
    if (fk.parent_cols.size() == 1) {
      std::string c = "c" + std::to_string(fk.parent_cols[0]);
      TABDB_RETURN_IF_ERROR(PrepareSql(*s_, "SELECT " + c + " FROM " + fk.parent_phys + " WHERE " + c +
                                                " >= ?1 ORDER BY " + c + " LIMIT ?2",
                                        &p->run));
    }
    probes_.push_back(std::move(p));
  }
  child_.clear();  // the probes check the row
  return Status::Ok();
}

Status ForeignKeyChecks::CheckRow(const std::vector<Value>& row, BindFn bind, std::vector<int64_t>* deferred) {
  if (s_->key_epoch() != probe_epoch_) {
    for (std::unique_ptr<Probe>& p : probes_) p->Forget();
    probe_epoch_ = s_->key_epoch();
  }
  std::string key;
  for (std::unique_ptr<Probe>& pp : probes_) {
    Probe& p = *pp;
    key.clear();
    bool null = false;
    for (size_t j : p.child) {
      const Value& v = row[j];
      if (v.null) {
        null = true;
        break;
      }
      AppendKeyPart(&key, IsTextClass(v.kind), v.bytes.data(), v.bytes.size());
    }
    if (null) continue;  // a NULL in the key needs no parent
    if (s_->IsDeferred(p.fk.cons_id, p.fk.deferrable, p.fk.initially_deferred)) {
      deferred->push_back(p.fk.cons_id);
      continue;
    }
    if (p.InRun(key)) continue;
    if (p.caching && p.found.count(key)) {
      ++p.hits;
      continue;
    }
    if (!p.own.empty()) {
      // A row that references its own key is its own parent.
      bool self = true;
      for (size_t i = 0; i < p.child.size() && self; ++i) {
        const Value& a = row[p.child[i]];
        const Value& b = row[p.own[i]];
        self = !b.null && a.bytes == b.bytes && IsTextClass(a.kind) == IsTextClass(b.kind);
      }
      if (self) continue;
    }
    bool parent = false;
    if (p.run) {
      p.run_length = p.run_used ? std::min(p.run_length * 2, 256) : std::max(p.run_length / 2, 2);
      p.run_used = false;
      p.run_keys.clear();
      p.run_pos = 0;
      sqlite3_stmt* q = p.run.get();
      bind(q, 1, row[p.child[0]]);
      sqlite3_bind_int(q, 2, p.run_length);
      Status st;
      for (;;) {
        bool r = false;
        st = s_->db().Step(q, &r);
        if (!st.ok() || !r) break;
        int type = sqlite3_column_type(q, 0);
        if (type != SQLITE_TEXT && type != SQLITE_BLOB) continue;
        const void* data = type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(q, 0))
                                               : sqlite3_column_blob(q, 0);
        std::string k;
        AppendKeyPart(&k, type == SQLITE_TEXT, data, static_cast<size_t>(sqlite3_column_bytes(q, 0)));
        if (p.run_keys.empty() && k != key) break;
        p.run_keys.push_back(std::move(k));
      }
      sqlite3_reset(q);
      sqlite3_clear_bindings(q);
      TABDB_RETURN_IF_ERROR(st);
      parent = !p.run_keys.empty();
      if (parent) p.run_pos = 1;
    } else {
      sqlite3_stmt* q = p.stmt.get();
      for (size_t i = 0; i < p.child.size(); ++i) bind(q, static_cast<int>(i + 1), row[p.child[i]]);
      Status st = StepOnce(*s_, q, &parent);
      sqlite3_clear_bindings(q);
      TABDB_RETURN_IF_ERROR(st);
    }
    if (!parent) return OraError(ora::kParentKeyNotFound, {p.fk.owner, p.fk.name});
    p.Remember(key);
  }
  return Status::Ok();
}

Status ForeignKeyChecks::Finish(const std::vector<int64_t>& rowids) {
  for (const std::unique_ptr<Child>& c : child_) {
    bool deferred = s_->IsDeferred(c->fk.cons_id, c->fk.deferrable, c->fk.initially_deferred);
    sqlite3_stmt* q = c->orphan.get();
    for (int64_t rowid : rowids) {
      sqlite3_bind_int64(q, 1, rowid);
      bool orphan = false;
      TABDB_RETURN_IF_ERROR(StepOnce(*s_, q, &orphan));
      if (!orphan) continue;
      if (!deferred) return OraError(ora::kParentKeyNotFound, {c->fk.owner, c->fk.name});
      s_->deferred().rows.emplace_back(c->fk.cons_id, rowid);
    }
  }
  std::vector<Gone> gone;
  gone.swap(gone_);
  return HandleGone(gone);
}

// ---- deferred constraints ---------------------------------------------------

namespace {

struct ConsRow {
  bool found = false;
  std::string type, owner, name, condition;
  int64_t table_obj = 0;
  bool enabled = false, deferrable = false, initially_deferred = false;
};

Status ReadCons(Session& s, int64_t cons_id, ConsRow* out) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT type, owner, name, search_condition, table_obj, status, is_deferrable, is_deferred"
      " FROM tab$constraints WHERE cons_id = ?1",
      &q));
  sqlite3_bind_int64(q, 1, cons_id);
  bool row = false;
  Status st = s.db().Step(q, &row);
  if (st.ok() && row) {
    auto text = [&](int c) {
      const unsigned char* p = sqlite3_column_text(q, c);
      return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
    };
    out->found = true;
    out->type = text(0);
    out->owner = text(1);
    out->name = text(2);
    out->condition = text(3);
    out->table_obj = sqlite3_column_int64(q, 4);
    out->enabled = text(5) == "ENABLED";
    out->deferrable = sqlite3_column_int(q, 6) != 0;
    out->initially_deferred = sqlite3_column_int(q, 7) != 0;
  }
  sqlite3_reset(q);
  return st;
}

Status FindKey(Session& s, const ConsRow& c, int64_t cons_id, ForeignKeyInfo* out, bool* found) {
  std::vector<ForeignKeyInfo> fks;
  TABDB_RETURN_IF_ERROR(LoadForeignKeys(s, c.table_obj, false, false, &fks));
  *found = false;
  for (ForeignKeyInfo& fk : fks) {
    if (fk.cons_id == cons_id) {
      *out = std::move(fk);
      *found = true;
    }
  }
  return Status::Ok();
}

// Checks the deferred rows of the constraints that are deferred no more
// (all of them when `all`); what passed is forgotten.
Status CheckPending(Session& s, bool all) {
  Session::Deferred& d = s.deferred();
  std::map<int64_t, ConsRow> cons;
  auto load = [&](int64_t id, ConsRow** out) -> Status {
    auto it = cons.find(id);
    if (it == cons.end()) {
      ConsRow r;
      TABDB_RETURN_IF_ERROR(ReadCons(s, id, &r));
      it = cons.emplace(id, std::move(r)).first;
    }
    *out = &it->second;
    return Status::Ok();
  };
  auto due = [&](const ConsRow& c, int64_t id) {
    return all || !s.IsDeferred(id, c.deferrable, c.initially_deferred);
  };
  std::vector<std::pair<int64_t, int64_t>> keep;
  // One statement per constraint: a row that breaks it comes back.
  std::map<int64_t, std::unique_ptr<SqliteStmt>> row_stmts;
  for (const auto& [id, rowid] : d.rows) {
    ConsRow* c = nullptr;
    TABDB_RETURN_IF_ERROR(load(id, &c));
    if (!c->found || !c->enabled) continue;
    if (!due(*c, id)) {
      keep.emplace_back(id, rowid);
      continue;
    }
    auto q = row_stmts.find(id);
    if (q == row_stmts.end()) {
      auto stmt = std::make_unique<SqliteStmt>();
      if (c->type == "C") {
        TableInfo t;
        TABDB_RETURN_IF_ERROR(LoadTableByObj(s, c->table_obj, &t));
        TABDB_RETURN_IF_ERROR(PrepareRowCheck(s, t, c->condition, stmt.get()));
      } else if (c->type == "R") {
        ForeignKeyInfo fk;
        bool found = false;
        TABDB_RETURN_IF_ERROR(FindKey(s, *c, id, &fk, &found));
        if (found) TABDB_RETURN_IF_ERROR(PrepareRowOrphan(s, fk, stmt.get()));
      }
      q = row_stmts.emplace(id, std::move(stmt)).first;
    }
    if (!*q->second) continue;
    sqlite3_bind_int64(q->second->get(), 1, rowid);
    bool broken = false;
    TABDB_RETURN_IF_ERROR(StepOnce(s, q->second->get(), &broken));
    if (broken)
      return OraError(c->type == "C" ? ora::kCheckViolated : ora::kParentKeyNotFound, {c->owner, c->name});
  }
  std::vector<int64_t> keep_parents;
  for (int64_t id : d.parents_gone) {
    ConsRow* c = nullptr;
    TABDB_RETURN_IF_ERROR(load(id, &c));
    if (!c->found || !c->enabled || c->type != "R") continue;
    if (!due(*c, id)) {
      keep_parents.push_back(id);
      continue;
    }
    ForeignKeyInfo fk;
    bool found = false;
    TABDB_RETURN_IF_ERROR(FindKey(s, *c, id, &fk, &found));
    if (!found) continue;
    SqliteStmt q;
    TABDB_RETURN_IF_ERROR(
        PrepareSql(s, "SELECT 1 FROM " + fk.child_phys + " AS _c WHERE " + OrphanCondition(fk, "_c") + " LIMIT 1", &q));
    bool orphan = false;
    TABDB_RETURN_IF_ERROR(StepOnce(s, q.get(), &orphan));
    if (orphan) return OraError(ora::kChildRecordFound, {c->owner, c->name});
  }
  d.rows.swap(keep);
  d.parents_gone.swap(keep_parents);
  return Status::Ok();
}

}  // namespace

Status CheckDeferredRows(Session& s) { return CheckPending(s, true); }

Status SetConstraintsMode(Session& s, const sql::SetConstraints& sc) {
  Session::Deferred& d = s.deferred();
  int old_all = d.all;
  std::unordered_map<int64_t, bool> old_by = d.by_cons;
  if (sc.all) {
    d.all = sc.deferred ? 1 : 0;
    d.by_cons.clear();
  } else {
    std::vector<int64_t> ids;
    for (const sql::NameList& n : sc.names) {
      std::string owner = n.size() >= 2 ? n[n.size() - 2].text : s.current_schema();
      int64_t id = 0;
      bool deferrable = false, found = false;
      TABDB_RETURN_IF_ERROR(FindDeferrableConstraint(s, owner, n.back().text, &id, &deferrable, &found));
      if (!found) return OraError(ora::kConstraintNotExist);
      if (!deferrable) return OraError(ora::kCannotDefer);
      ids.push_back(id);
    }
    for (int64_t id : ids) d.by_cons[id] = sc.deferred;
  }
  if (sc.deferred) return Status::Ok();
  Status st = CheckPending(s, false);
  if (!st.ok()) {
    d.all = old_all;
    d.by_cons = old_by;
  }
  return st;
}

Status SetSessionConstraints(Session& s, const std::string& mode) {
  if (mode != "IMMEDIATE" && mode != "DEFERRED" && mode != "DEFAULT") return OraError(ora::kInvalidAlterSession);
  int old = s.constraints_mode();
  Session::Deferred& d = s.deferred();
  int old_all = d.all;
  std::unordered_map<int64_t, bool> old_by = d.by_cons;
  s.constraints_mode() = mode == "DEFAULT" ? -1 : mode == "DEFERRED" ? 1 : 0;
  d.all = -1;
  d.by_cons.clear();
  if (mode == "DEFERRED") return Status::Ok();
  Status st = CheckPending(s, false);
  if (!st.ok()) {
    s.constraints_mode() = old;
    d.all = old_all;
    d.by_cons = old_by;
  }
  return st;
}

}  // namespace tabdb
