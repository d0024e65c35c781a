// triggers.cpp - firing the DML triggers of a statement: the triggers its
// event reaches chosen once when the statement compiles, each trigger's
// body compiled once per session (a stored unit of type TRIGGER), run with
// its owner's rights and the row as NEW and OLD; errors gain ORA-04088.
#include "exec/triggers.h"

#include <algorithm>
#include <cstring>

#include "exec/convert.h"
#include "exec/plsql_units.h"
#include "sql/plsql_parser.h"
#include "util/errors.h"

namespace tabdb {
namespace {

// Tables whose row triggers run on this thread: physical name, OWNER.NAME.
thread_local std::vector<std::pair<std::string, std::string>> g_mutating;

// Whether `sql` names physical table `phys` (t123 and not t1234).
bool Names(const char* sql, const std::string& phys) {
  for (const char* p = std::strstr(sql, phys.c_str()); p != nullptr; p = std::strstr(p + 1, phys.c_str())) {
    char before = p == sql ? ' ' : p[-1];
    char after = p[phys.size()];
    bool word_before = std::isalnum(static_cast<unsigned char>(before)) || before == '_';
    bool word_after = std::isalnum(static_cast<unsigned char>(after)) || after == '_';
    if (!word_before && !word_after) return true;
  }
  return false;
}

class MutatingScope {
 public:
  MutatingScope(const std::string& phys, const std::string& qualified, bool active) : active_(active) {
    if (active_) g_mutating.emplace_back(phys, qualified);
  }
  ~MutatingScope() {
    if (active_) g_mutating.pop_back();
  }
  MutatingScope(const MutatingScope&) = delete;
  MutatingScope& operator=(const MutatingScope&) = delete;

 private:
  bool active_;
};

Value Flag(bool b) {
  Value v;
  (void)TextToValue(b ? "1" : "0", TypeKind::kNumber, &v);
  return v;
}

pl::BlockValue Record(const std::string& name, const std::vector<std::string>* names, bool constant) {
  pl::BlockValue b;
  b.name = name;
  b.record = true;
  b.constant = constant;
  if (names) b.fields = *names;
  return b;
}

pl::BlockValue Boolean(const std::string& name, bool v) {
  pl::BlockValue b;
  b.name = name;
  b.boolean = true;
  b.constant = true;
  b.v = Flag(v);
  return b;
}

}  // namespace

bool AnyMutating() { return !g_mutating.empty(); }

Status CheckNotMutating(const char* const* sql_texts, size_t n) {
  for (const auto& m : g_mutating)
    for (size_t i = 0; i < n; ++i)
      if (sql_texts[i] != nullptr && Names(sql_texts[i], m.first)) {
        size_t dot = m.second.find('.');
        return OraError(ora::kTableMutating, {m.second.substr(0, dot), m.second.substr(dot + 1)});
      }
  return Status::Ok();
}

Status StatementTriggers::Load(Session& s, const std::string& owner, const std::string& table, TriggerEvent event,
                               const std::vector<std::string>& set_cols, bool instead,
                               std::unique_ptr<StatementTriggers>* out) {
  out->reset();
  std::vector<std::shared_ptr<const TriggerDef>> on;
  TABDB_RETURN_IF_ERROR(TriggersOn(s, owner, table, &on));
  if (on.empty()) return Status::Ok();
  auto t = std::make_unique<StatementTriggers>();
  t->event_ = event;
  t->set_cols_ = set_cols;
  for (auto& d : on) {
    if (!(d->events & event) || (d->timing == TriggerTiming::kInstead) != instead) continue;
    if (event == kTrgUpdate && !d->update_of.empty()) {
      bool hit = false;
      for (const std::string& c : d->update_of)
        hit = hit || std::find(set_cols.begin(), set_cols.end(), c) != set_cols.end();
      if (!hit) continue;
    }
    if (d->row) {
      t->rows_[static_cast<int>(d->timing)] = true;
    } else {
      t->statements_ = true;
    }
    t->defs_.push_back(d);
  }
  if (t->defs_.empty()) return Status::Ok();
  t->units_.resize(t->defs_.size());
  t->values_.resize(t->defs_.size());
  *out = std::move(t);
  return Status::Ok();
}

Status StatementTriggers::Begin(Session& s) { return pl::RefreshVersion(s); }

Status StatementTriggers::FireStatement(Session& s, TriggerTiming t) {
  if (!statements_) return Status::Ok();
  for (size_t i = 0; i < defs_.size(); ++i)
    if (!defs_[i]->row && defs_[i]->timing == t) TABDB_RETURN_IF_ERROR(Fire(s, i, nullptr, nullptr, nullptr, false));
  return Status::Ok();
}

Status StatementTriggers::FireRow(Session& s, TriggerTiming t, const std::vector<std::string>& names,
                                  std::vector<Value>* new_row, const std::vector<Value>* old_row) {
  if (!rows_[static_cast<int>(t)]) return Status::Ok();
  MutatingScope mutating(phys_, qualified_, (!single_row_ || array_) && !phys_.empty());
  for (size_t i = 0; i < defs_.size(); ++i)
    if (defs_[i]->row && defs_[i]->timing == t)
      TABDB_RETURN_IF_ERROR(Fire(s, i, &names, new_row, old_row, t == TriggerTiming::kBefore));
  return Status::Ok();
}

Status StatementTriggers::Fire(Session& s, size_t i, const std::vector<std::string>* names,
                               std::vector<Value>* new_row, const std::vector<Value>* old_row, bool before) {
  const TriggerDef& d = *defs_[i];
  // The units compiled for the session, looked up again when the catalog
  // changed.
  int64_t version = pl::State(s).version;
  if (units_version_ != version) {
    for (auto& u : units_) u.reset();
    units_version_ = version;
  }
  std::shared_ptr<pl::StoredUnit>& unit = units_[i];
  if (!unit) {
    bool invalid = false;
    TABDB_RETURN_IF_ERROR(pl::LoadTrigger(s, d.owner, d.name, &unit, &invalid));
    if (invalid || !unit || !unit->code) {
      unit.reset();
      return OraError(ora::kTriggerInvalid, {d.owner, d.name});
    }
  }
  const TriggerDef& def = *unit->trigger;
  std::vector<pl::BlockValue>& values = values_[i];
  if (values.empty() || values[0].name != def.new_name || values.size() != 5 + def.updating_cols.size()) {
    values.clear();
    values.reserve(6 + def.updating_cols.size());
    values.push_back(Record(def.new_name, names, false));
    values.push_back(Record(def.old_name, names, true));
    values.push_back(Boolean("INSERTING", event_ == kTrgInsert));
    values.push_back(Boolean("UPDATING", event_ == kTrgUpdate));
    values.push_back(Boolean("DELETING", event_ == kTrgDelete));
    for (const std::string& c : def.updating_cols)
      values.push_back(Boolean("UPDATING$" + std::to_string(&c - def.updating_cols.data() + 1),
                               event_ == kTrgUpdate && std::find(set_cols_.begin(), set_cols_.end(), c) != set_cols_.end()));
  }
  // This row's values; the records keep their fields from row to row.
  for (int k = 0; k < 2 && names; ++k) {
    const std::vector<Value>* row = k == 0 ? new_row : old_row;
    if (row) {
      values[static_cast<size_t>(k)].values = *row;
    } else {
      values[static_cast<size_t>(k)].values.assign(names->size(), Value::Null(TypeKind::kVarchar2));
    }
  }
  auto failed = [&](const Status& st) {
    return Status::Error(st.code(), st.text() + "\nORA-04088: error during execution of trigger '" + d.owner + "." +
                                        d.name + "'");
  };
  if (unit->when && names) {
    pl::BlockValue fire;
    fire.name = "TABDB$FIRE";
    fire.v = Value::Null(TypeKind::kNumber);
    values.push_back(std::move(fire));
    Status st = pl::RunUnitBlock(s, *unit->when, unit->when_runtime, unit.get(), &values, true);
    if (!st.ok()) return failed(st);
    bool fires = !values.back().v.null;
    values.pop_back();
    if (!fires) return Status::Ok();
  }
  Status st = pl::RunUnitBlock(s, *unit->code, unit->Runtime(s), unit.get(), &values, true);
  if (!st.ok()) return failed(st);
  // What a BEFORE row trigger assigned to NEW is the row written.
  if (before && new_row && values[0].values.size() == new_row->size()) new_row->swap(values[0].values);
  return Status::Ok();
}

namespace pl {

Status ParseTriggerUnit(const std::string& owner, const std::string& name, const std::string& source,
                        std::shared_ptr<const TriggerDef>* def, std::shared_ptr<const sql::PlsqlUnit>* body,
                        std::shared_ptr<const sql::PlsqlUnit>* when) {
  auto d = std::make_shared<TriggerDef>();
  TABDB_RETURN_IF_ERROR(ParseTriggerSource(owner, name, source, d.get()));
  std::vector<std::string> outer = d->OuterNames();
  TABDB_RETURN_IF_ERROR(sql::ParsePlsqlBlock(d->body, outer, body));
  when->reset();
  if (!d->when.empty()) {
    outer.push_back("TABDB$FIRE");
    TABDB_RETURN_IF_ERROR(
        sql::ParsePlsqlBlock("BEGIN IF " + d->when + " THEN TABDB$FIRE := 1; END IF; END;", outer, when));
  }
  *def = std::move(d);
  return Status::Ok();
}

}  // namespace pl
}  // namespace tabdb
