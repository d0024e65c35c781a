// partition_alter.cpp - ALTER TABLE partition maintenance: ADD, DROP,
// TRUNCATE, SPLIT, MERGE, EXCHANGE and RENAME PARTITION, ENABLE / DISABLE
// ROW MOVEMENT. A row's partition follows from its key and the bounds, so
// SPLIT and MERGE change only bounds; DROP and TRUNCATE delete the rows of
// one partition through the index the key columns lead.
#include <atomic>
#include <sqlite3.h>

#include "catalog/catalog_internal.h"
#include "catalog/partition.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace {

// Set at every logon, from any thread: atomic so that the stores never race.
std::atomic<RowConditionFn> g_row_condition{nullptr};

}  // namespace

void SetRowConditionFn(RowConditionFn fn) { g_row_condition = fn; }

namespace cat {
namespace {

Status CompileCondition(Session& s, const TableInfo& t, const std::string& cond, std::string* out) {
  if (g_row_condition == nullptr) return OraError(ora::kInternalError, {"no row condition compiler"});
  return g_row_condition.load()(s, t, cond, out);
}

// Deletes the rows of `t` that meet `cond` (an Oracle SQL condition).
Status DeleteRows(Session& s, const TableInfo& t, const std::string& cond) {
  std::string c;
  TABDB_RETURN_IF_ERROR(CompileCondition(s, t, cond, &c));
  // LOB values of the rows go with them.
  for (const ColumnInfo& col : t.columns) {
    if (!col.stored() || !(IsLob(col.type.kind) || IsLong(col.type.kind))) continue;
    std::string ids = "SELECT _t." + col.phys() + " FROM " + t.phys + " AS _t WHERE (" + c + ") AND _t." +
                      col.phys() + " IS NOT NULL";
    TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$lobdata WHERE lob_id IN (" + ids + ")"));
    TABDB_RETURN_IF_ERROR(s.db().Exec("DELETE FROM tab$lob WHERE lob_id IN (" + ids + ")"));
  }
  return s.db().Exec("DELETE FROM " + t.phys + " AS _t WHERE " + c);
}

}  // namespace

Status PartitionHasRows(Session& s, const TableInfo& t, const std::string& cond, bool* any) {
  std::string c;
  TABDB_RETURN_IF_ERROR(CompileCondition(s, t, cond, &c));
  SqliteStmt q;
  sqlite3_stmt* raw = nullptr;
  std::string sql = "SELECT 1 FROM " + t.phys + " AS _t WHERE " + c + " LIMIT 1";
  int rc = sqlite3_prepare_v2(s.db().handle(), sql.c_str(), -1, &raw, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(raw);
    return SqliteError(s.db().handle(), rc);
  }
  q.reset(raw);
  return s.db().Step(raw, any);
}

namespace {

// The partition PARTITION FOR (values) names: the one the key would go to.
Status ResolveFor(Session& s, const TableInfo& t, const PartitioningInfo& pi,
                  const std::vector<std::string>& values, size_t* p) {
  (void)s;
  if (pi.method == "HASH" || values.size() != (pi.method == "LIST" ? 1 : pi.keys.size()))
    return OraError(2149);
  std::vector<std::string> lits;
  for (size_t i = 0; i < values.size(); ++i) {
    const ColumnInfo* c = nullptr;
    for (const ColumnInfo& col : t.columns)
      if (col.intcol == pi.keys[i]) c = &col;
    std::string high, lit;
    TABDB_RETURN_IF_ERROR(NormalizeBoundItem(*c, values[i], pi.method == "LIST", &high, &lit));
    lits.push_back(lit);
  }
  for (size_t i = 0; i < pi.parts.size(); ++i) {
    if (pi.method == "RANGE" && CompareBounds(lits, pi.parts[i].bound) < 0) {
      *p = i;
      return Status::Ok();
    }
    if (pi.method == "LIST") {
      for (const std::string& b : pi.parts[i].bound) {
        if (CompareBounds({b}, lits) == 0 || b == "DEFAULT") {
          *p = i;
          return Status::Ok();
        }
      }
    }
  }
  return OraError(2149);
}

Status Target(Session& s, const TableInfo& t, const PartitioningInfo& pi, const sql::PartitionAlter& a,
              size_t k, size_t* p, size_t* sp) {
  *sp = SIZE_MAX;
  if (!a.for_values.empty() && k == 0) return ResolveFor(s, t, pi, a.for_values, p);
  size_t at = a.for_values.empty() ? k : k - 1;
  if (at >= a.names.size()) return OraError(14006);
  return FindPartition(pi, a.names[at], a.subpartition, p, sp);
}

bool NameTaken(const PartitioningInfo& pi, const std::string& name) {
  for (const PartitionRec& p : pi.parts) {
    if (p.name == name) return true;
    for (const PartitionRec& sp : p.subparts)
      if (sp.name == name) return true;
  }
  return false;
}

Status Exchange(Session& s, const TableInfo& t, const PartitioningInfo& pi, size_t p,
                const sql::PartitionAlter& a) {
  sql::NameList name;
  for (const std::string& n : a.exchange_table) {
    sql::Name x;
    x.text = n;
    x.quoted = true;
    name.push_back(x);
  }
  std::string owner, tname;
  SplitName(s, name, &owner, &tname);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  TableInfo other;
  TABDB_RETURN_IF_ERROR(LoadTable(s, owner, tname, &other));
  bool partitioned = false;
  PartitioningInfo opi;
  TABDB_RETURN_IF_ERROR(LoadPartitioning(s, other.obj_id, &opi, &partitioned));
  if (partitioned || other.obj_id == t.obj_id) return OraError(14095);
  std::vector<const ColumnInfo*> mine, theirs;
  for (const ColumnInfo& c : t.columns)
    if (c.stored() && !c.hidden) mine.push_back(&c);
  for (const ColumnInfo& c : other.columns)
    if (c.stored() && !c.hidden) theirs.push_back(&c);
  if (mine.size() != theirs.size()) return OraError(14096);
  for (size_t i = 0; i < mine.size(); ++i)
    if (mine[i]->type.kind != theirs[i]->type.kind) return OraError(14097);
  std::string cond = PartitionCondition(t, pi, p, nullptr);
  if (!a.without_validation) {
    // Every row of the other table must belong in the partition; the
    // condition names columns, which the other table has under the same names.
    bool outside = false;
    Status st = PartitionHasRows(s, other, "NOT (" + cond + ")", &outside);
    if (!st.ok()) return OraError(14096);
    if (outside) return OraError(14099);
  }
  std::string c;
  TABDB_RETURN_IF_ERROR(CompileCondition(s, t, cond, &c));
  std::string cols_t, cols_o;
  for (size_t i = 0; i < mine.size(); ++i) {
    cols_t += (i ? ", " : "") + mine[i]->phys();
    cols_o += (i ? ", " : "") + theirs[i]->phys();
  }
  return s.db().Exec(
      "DROP TABLE IF EXISTS temp.tab$exchange;"
      "CREATE TEMP TABLE tab$exchange AS SELECT " + cols_t + " FROM " + t.phys + " AS _t WHERE " + c + ";"
      "DELETE FROM " + t.phys + " AS _t WHERE " + c + ";"
      "INSERT INTO " + t.phys + "(" + cols_t + ") SELECT " + cols_o + " FROM " + other.phys + ";"
      "DELETE FROM " + other.phys + ";"
      "INSERT INTO " + other.phys + "(" + cols_o + ") SELECT * FROM temp.tab$exchange;"
      "DROP TABLE temp.tab$exchange;");
}

}  // namespace

Status UpdateRowMovement(Session& s, int64_t obj_id, bool enable) {
  return s.db().Exec("UPDATE tab$part_objs SET row_movement = " + std::string(enable ? "1" : "0") +
                     " WHERE obj_id = " + std::to_string(obj_id));
}

Status AlterPartitionDdl(Session& s, const sql::AlterTable& at) {
  std::string owner, name;
  SplitName(s, at.table, &owner, &name);
  TABDB_RETURN_IF_ERROR(CheckSchemaWrite(s, owner));
  TableInfo t;
  TABDB_RETURN_IF_ERROR(LoadTable(s, owner, name, &t));
  const sql::PartitionAlter& a = *at.partition;
  PartitioningInfo pi;
  bool partitioned = false;
  TABDB_RETURN_IF_ERROR(LoadPartitioning(s, t.obj_id, &pi, &partitioned));
  if (a.op == sql::PartitionOp::kRowMovement) {
    // Heap tables accept it too; only a partitioned table records it.
    if (!partitioned) return Status::Ok();
    return UpdateRowMovement(s, t.obj_id, a.enable);
  }
  if (!partitioned) return OraError(14501);
  size_t p = 0, sp = SIZE_MAX;
  switch (a.op) {
    case sql::PartitionOp::kAdd: {
      if (!pi.interval.empty() && pi.method == "RANGE") return OraError(14760);
      PartitionRec r;
      TABDB_RETURN_IF_ERROR(MakePartition(s, t, pi.method, pi.keys, a.added, false, &r));
      if (NameTaken(pi, r.name)) return OraError(14013);
      if (pi.method == "RANGE" && !pi.parts.empty() &&
          CompareBounds(pi.parts.back().bound, r.bound) >= 0)
        return OraError(14074);
      if (pi.method == "LIST")
        for (const PartitionRec& x : pi.parts)
          if (x.bound.size() == 1 && x.bound[0] == "DEFAULT") return OraError(14323);
      TABDB_RETURN_IF_ERROR(MakeSubpartitions(s, t, pi, a.added, &r));
      pi.parts.push_back(std::move(r));
      TABDB_RETURN_IF_ERROR(CheckSiblings(pi.method, pi.parts));
      return StorePartitionRows(s, pi);
    }
    case sql::PartitionOp::kDrop:
    case sql::PartitionOp::kTruncate: {
      bool drop = a.op == sql::PartitionOp::kDrop;
      if (drop && pi.method == "HASH" && !a.subpartition) return OraError(14255);
      size_t n = a.names.size() + (a.for_values.empty() ? 0 : 1);
      std::vector<std::pair<size_t, size_t>> targets;
      for (size_t k = 0; k < n; ++k) {
        TABDB_RETURN_IF_ERROR(Target(s, t, pi, a, k, &p, &sp));
        targets.emplace_back(p, sp);
      }
      for (auto [tp, tsp] : targets) {
        const PartitionRec* sub = tsp == SIZE_MAX ? nullptr : &pi.parts[tp].subparts[tsp];
        TABDB_RETURN_IF_ERROR(DeleteRows(s, t, PartitionCondition(t, pi, tp, sub)));
      }
      if (!drop) return Status::Ok();
      // Highest index first, so earlier indexes stay valid.
      for (size_t k = targets.size(); k-- > 0;) {
        auto [tp, tsp] = targets[k];
        if (tsp == SIZE_MAX) {
          if (pi.parts.size() == 1) return OraError(14083);
          pi.parts.erase(pi.parts.begin() + static_cast<std::ptrdiff_t>(tp));
        } else {
          if (pi.parts[tp].subparts.size() == 1) return OraError(14629);
          pi.parts[tp].subparts.erase(pi.parts[tp].subparts.begin() + static_cast<std::ptrdiff_t>(tsp));
        }
      }
      return StorePartitionRows(s, pi);
    }
    case sql::PartitionOp::kRename: {
      TABDB_RETURN_IF_ERROR(Target(s, t, pi, a, 0, &p, &sp));
      if (NameTaken(pi, a.new_name)) return OraError(14013);
      if (sp == SIZE_MAX)
        pi.parts[p].name = a.new_name;
      else
        pi.parts[p].subparts[sp].name = a.new_name;
      return StorePartitionRows(s, pi);
    }
    case sql::PartitionOp::kSplit: {
      if (pi.method == "HASH") return OraError(14255);
      TABDB_RETURN_IF_ERROR(Target(s, t, pi, a, 0, &p, &sp));
      sql::PartitionDesc first;
      first.name = a.into[0];
      first.bound = a.at;
      first.has_bound = true;
      PartitionRec left, right = pi.parts[p];
      TABDB_RETURN_IF_ERROR(MakePartition(s, t, pi.method, pi.keys, first, false, &left));
      if (pi.method == "RANGE") {
        if (CompareBounds(left.bound, right.bound) >= 0 ||
            (p > 0 && CompareBounds(left.bound, pi.parts[p - 1].bound) <= 0))
          return OraError(14080);
      } else {
        // The values split off leave the partition, which must hold them
        // (or be the DEFAULT partition).
        std::string old_name = right.name;
        bool is_default = right.bound.size() == 1 && right.bound[0] == "DEFAULT";
        if (!is_default) {
          std::vector<std::string> rest;
          for (const std::string& v : right.bound) {
            bool moved = false;
            for (const std::string& m : left.bound) moved = moved || CompareBounds({v}, {m}) == 0;
            if (!moved) rest.push_back(v);
          }
          if (rest.size() + left.bound.size() != right.bound.size() || rest.empty()) return OraError(14313, {a.at.empty() ? "" : a.at[0], old_name});
          right.bound = rest;
          right.high_value.clear();
          for (const std::string& v : rest) right.high_value += (right.high_value.empty() ? "" : ", ") + v;
        }
      }
      right.name = a.into[1];
      if (right.name.empty()) TABDB_RETURN_IF_ERROR(NewPartitionName(s, false, &right.name));
      std::string old = pi.parts[p].name;
      if ((left.name != old && NameTaken(pi, left.name)) || (right.name != old && NameTaken(pi, right.name)) ||
          left.name == right.name)
        return OraError(14013);
      left.subparts.clear();
      TABDB_RETURN_IF_ERROR(MakeSubpartitions(s, t, pi, sql::PartitionDesc(), &left));
      if (right.name != old) {
        right.subparts.clear();
        TABDB_RETURN_IF_ERROR(MakeSubpartitions(s, t, pi, sql::PartitionDesc(), &right));
      }
      pi.parts[p] = std::move(right);
      pi.parts.insert(pi.parts.begin() + static_cast<std::ptrdiff_t>(p), std::move(left));
      TABDB_RETURN_IF_ERROR(CheckSiblings(pi.method, pi.parts));
      return StorePartitionRows(s, pi);
    }
    case sql::PartitionOp::kMerge: {
      if (pi.method == "HASH") return OraError(14255);
      size_t n = a.names.size() + (a.for_values.empty() ? 0 : 1);
      if (n != 2) return OraError(14006);
      size_t p1 = 0, p2 = 0;
      TABDB_RETURN_IF_ERROR(Target(s, t, pi, a, 0, &p1, &sp));
      TABDB_RETURN_IF_ERROR(Target(s, t, pi, a, 1, &p2, &sp));
      if (p1 > p2) std::swap(p1, p2);
      if (pi.method == "RANGE" && p2 != p1 + 1) return OraError(14274);
      PartitionRec merged = pi.parts[p2];
      if (pi.method == "LIST") {
        bool dflt = false;
        for (const PartitionRec* x : {&pi.parts[p1], &pi.parts[p2]})
          for (const std::string& v : x->bound) dflt = dflt || v == "DEFAULT";
        if (dflt) {
          merged.bound = {"DEFAULT"};
          merged.high_value = "DEFAULT";
        } else {
          merged.bound = pi.parts[p1].bound;
          merged.bound.insert(merged.bound.end(), pi.parts[p2].bound.begin(), pi.parts[p2].bound.end());
          merged.high_value = pi.parts[p1].high_value + ", " + pi.parts[p2].high_value;
        }
      }
      std::string into = a.into.empty() ? "" : a.into[0];
      if (into.empty()) TABDB_RETURN_IF_ERROR(NewPartitionName(s, false, &into));
      if (into != pi.parts[p1].name && into != pi.parts[p2].name && NameTaken(pi, into))
        return OraError(14013);
      merged.name = into;
      merged.subparts.clear();
      TABDB_RETURN_IF_ERROR(MakeSubpartitions(s, t, pi, sql::PartitionDesc(), &merged));
      pi.parts[p2] = std::move(merged);
      pi.parts.erase(pi.parts.begin() + static_cast<std::ptrdiff_t>(p1));
      TABDB_RETURN_IF_ERROR(CheckSiblings(pi.method, pi.parts));
      return StorePartitionRows(s, pi);
    }
    case sql::PartitionOp::kExchange: {
      TABDB_RETURN_IF_ERROR(Target(s, t, pi, a, 0, &p, &sp));
      return Exchange(s, t, pi, p, a);
    }
    default:
      return OraError(ora::kInvalidSqlStatement);
  }
}

}  // namespace cat
}  // namespace tabdb
