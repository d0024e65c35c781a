// sequence.h - sequences as the catalog keeps them: lookup by name, the
// step that hands out the next value, and the DDL executors.
//
// tab$sequences holds per sequence its options and `next_value`, the value
// the next NEXTVAL hands out, and `last_number`, Oracle's LAST_NUMBER: the
// first value after the block a cache would hold (the next value itself
// for NOCACHE). Values are handed out inside the caller's transaction.
#pragma once

#include <cstdint>
#include <string>

#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {

struct SequenceInfo {
  int64_t obj_id = 0;
  std::string owner;
  std::string name;
  int64_t increment = 1;
  bool has_min = true;  // false: no lower bound (descending default)
  int64_t min = 1;
  bool has_max = false; // false: no upper bound (ascending default)
  int64_t max = 0;
  bool cycle = false;
  bool order = false;
  int64_t cache = 20;   // 0: NOCACHE
  int64_t next_value = 1;
  int64_t last_number = 1;
};

// MAXVALUE / MINVALUE Oracle shows for an unbounded sequence.
constexpr const char* kSequenceNoMax = "9999999999999999999999999999";
constexpr const char* kSequenceNoMin = "-999999999999999999999999999";

// Finds a sequence by owner and exact name; *found tells whether it exists.
Status FindSequence(Session& s, const std::string& owner, const std::string& name,
                    SequenceInfo* out, bool* found);

// Resolves [schema.]sequence as a query names it: unqualified in the
// current schema; other users' sequences only for DBAs (ORA-02289 else).
Status ResolveSequence(Session& s, const sql::NameList& name, SequenceInfo* out);

// Hands out the next value of sequence `obj_id` and records it; ORA-08004
// when a NOCYCLE sequence has reached its bound.
Status SequenceNextValue(Session& s, int64_t obj_id, int64_t* value);

// Loads a sequence by object id; *found tells whether it exists.
Status LoadSequence(Session& s, int64_t obj_id, SequenceInfo* out, bool* found);

namespace cat {
Status CreateSequenceDdl(Session& s, const sql::SequenceStmt& st);
Status AlterSequenceDdl(Session& s, const sql::SequenceStmt& st);
Status DropSequenceDdl(Session& s, const sql::SequenceStmt& st);
// Creates a sequence from options (also used for identity columns).
Status CreateSequence(Session& s, const std::string& owner, const std::string& name,
                      const sql::SequenceOptions& o, bool generated);
// Changes the options of an identity column's sequence, which ALTER
// SEQUENCE refuses; START WITH restarts it there.
Status AlterIdentitySequence(Session& s, int64_t obj_id, sql::SequenceOptions o);
}  // namespace cat

}  // namespace tabdb
