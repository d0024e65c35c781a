// cons_checks.cpp - what the engine needs to know of a table's constraints
// when it changes rows: the CHECK conditions it evaluates.
#include "catalog/catalog_internal.h"

namespace tabdb {

Status LoadCheckConstraints(Session& s, int64_t table_obj, std::vector<CheckInfo>* out) {
  out->clear();
  std::vector<cat::ConstraintRec> cons;
  TABDB_RETURN_IF_ERROR(cat::LoadConstraints(s, table_obj, &cons));
  for (const cat::ConstraintRec& c : cons) {
    if (c.type != "C" || c.not_null || !c.enabled || c.search_condition.empty()) continue;
    out->push_back(CheckInfo{c.owner, c.name, c.search_condition});
  }
  return Status::Ok();
}

}  // namespace tabdb
