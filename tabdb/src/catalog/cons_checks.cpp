// cons_checks.cpp - what the engine needs to know of a table's constraints
// when it changes rows: the CHECK conditions it evaluates, and the index
// that gives composite unique keys Oracle's rule for NULLs.
#include <atomic>

#include "catalog/catalog_internal.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace {
// Set at every logon, from any thread: atomic so that the stores never race.
std::atomic<CheckRowsFn> g_check_rows{nullptr};
}  // namespace

void SetCheckRowsFn(CheckRowsFn fn) { g_check_rows = fn; }

namespace cat {

Status ValidateCheck(Session& s, const TableInfo& table, const std::string& owner, const std::string& name,
                     const std::string& condition) {
  if (g_check_rows == nullptr) return Status::Ok();
  bool violated = false;
  TABDB_RETURN_IF_ERROR(g_check_rows.load()(s, table, condition, &violated));
  if (violated) return OraError(ora::kCheckValidateFailed, {owner, name});
  return Status::Ok();
}

}  // namespace cat

Status LoadCheckConstraints(Session& s, int64_t table_obj, std::vector<CheckInfo>* out) {
  out->clear();
  std::vector<cat::ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(cat::LoadConstraints(s, table_obj, &cons));
  for (const cat::ConstraintRec& c : cons) {
    if (c.type != "C" || c.not_null || !c.enabled || c.search_condition.empty()) continue;
    out->push_back(CheckInfo{c.owner, c.name, c.search_condition, c.cons_id, c.deferrable, c.deferred, c.intcols});
  }
  return Status::Ok();
}

namespace cat {

Status MakePartlyNullKeyIndex(Session& s, const std::string& table_phys, int64_t index_obj,
                              const std::vector<int>& cols) {
  if (cols.size() < 2) return Status::Ok();
  // Stored key values are text or blobs, never integers: 0 stands for NULL
  // without meeting a real value.
  std::string keys, any_null, any_value;
  for (size_t i = 0; i < cols.size(); ++i) {
    std::string c = "c" + std::to_string(cols[i]);
    keys += (i ? ", ifnull(" : "ifnull(") + c + ", 0)";
    any_null += (i ? " OR " : "") + c + " IS NULL";
    any_value += (i ? " OR " : "") + c + " IS NOT NULL";
  }
  Status st = s.db().Exec("CREATE UNIQUE INDEX n" + std::to_string(index_obj) + " ON " + table_phys + "(" +
                          keys + ") WHERE (" + any_null + ") AND (" + any_value + ")");
  if (!st.ok() && sqlite3_extended_errcode(s.db().handle()) == SQLITE_CONSTRAINT_UNIQUE)
    return OraError(ora::kDuplicateKeysFound);
  return st;
}

}  // namespace cat
}  // namespace tabdb
