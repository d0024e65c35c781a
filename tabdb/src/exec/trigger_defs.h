// trigger_defs.h - what a DML trigger's kept source says: when it fires
// (timing, level, events, UPDATE OF columns, WHEN, FOLLOWS), on what, under
// which names its rows go, and its body made ready for the PL/SQL runner;
// and the enabled triggers of a table, read once per catalog version.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "session/session.h"
#include "util/status.h"

namespace tabdb {

enum TriggerEvent : unsigned { kTrgInsert = 1, kTrgUpdate = 2, kTrgDelete = 4 };
enum class TriggerTiming { kBefore, kAfter, kInstead };

struct TriggerDef {
  std::string owner, name;
  TriggerTiming timing = TriggerTiming::kBefore;
  bool row = false;       // FOR EACH ROW (INSTEAD OF triggers always are)
  bool compound = false;  // COMPOUND TRIGGER: not run
  bool dml = false;       // on a table or view (not DATABASE, SCHEMA, ...)
  unsigned events = 0;    // TriggerEvent bits
  std::vector<std::string> update_of;  // UPDATE OF columns (none: any update)
  std::string table_owner, table_name;
  std::string new_name = "NEW", old_name = "OLD";  // REFERENCING
  std::string when;                                 // the WHEN condition, as written
  std::vector<std::pair<std::string, std::string>> follows;  // owner, name
  bool enabled = true;
  // The body (DECLARE ... or BEGIN ...) as the runner reads it: ":NEW"
  // and ":OLD" written as NEW and OLD (the colon a blank, so that lines
  // and columns stay those of the source), UPDATING('c') as a name of
  // `updating_cols` (UPDATING$1 for the first, padded to the same length).
  std::string body;
  std::vector<std::string> updating_cols;
  std::string Qualified() const { return owner + "." + name; }
  // The names the body sees around it, in the order the runner gets them.
  std::vector<std::string> OuterNames() const;
};

// Reads the kept source of trigger owner.name ("TRIGGER name BEFORE ...").
// An unqualified table name is one of the owner's schema. A header it
// cannot read gives ORA-04079 (invalid trigger specification).
Status ParseTriggerSource(const std::string& owner, const std::string& name, const std::string& source,
                          TriggerDef* out);

// The enabled DML triggers on table (or view) owner.table in firing order:
// by creation, a FOLLOWS trigger after the one it names. Kept per session
// and catalog version; *out empty when there are none.
Status TriggersOn(Session& s, const std::string& owner, const std::string& table,
                  std::vector<std::shared_ptr<const TriggerDef>>* out);

// Every DML trigger of the database, in creation order, enabled or not
// (read again when the catalog version changed).
Status AllTriggers(Session& s, std::vector<std::shared_ptr<const TriggerDef>>* out);

}  // namespace tabdb
