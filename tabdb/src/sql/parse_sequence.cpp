// parse_sequence.cpp - CREATE SEQUENCE, ALTER SEQUENCE and DROP SEQUENCE.
//
// The options come in any order; numbers too large for 64 bits saturate,
// and a saturated MAXVALUE/MINVALUE is read as the unbounded default.
#include <cstdint>

#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {
namespace {

// [-]integer (ORA-02017 when no integer follows).
Status SignedInteger(Parser& p, int64_t* out, bool* saturated) {
  bool neg = p.AcceptSym("-");
  if (!neg) p.AcceptSym("+");
  int64_t v = 0;
  TABDB_RETURN_IF_ERROR(p.ParseInteger(&v));
  *saturated = v == INT64_MAX;
  *out = neg ? -v : v;
  return Status::Ok();
}

}  // namespace

// One sequence option, if the next token starts one (*matched tells).
// RESTART only when `alter`.
Status Parser::ParseSequenceOption(SequenceOptions* seq_options, bool alter, bool* matched) {
  SequenceOptions& o = *seq_options;
  *matched = true;
  bool sat = false;
  if (AcceptWord("START")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("WITH"));
    TABDB_RETURN_IF_ERROR(SignedInteger(*this, &o.start, &sat));
    o.has_start = true;
  } else if (AcceptWord("INCREMENT")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("BY"));
    TABDB_RETURN_IF_ERROR(SignedInteger(*this, &o.increment, &sat));
    o.has_increment = true;
  } else if (AcceptWord("MINVALUE")) {
    TABDB_RETURN_IF_ERROR(SignedInteger(*this, &o.min, &sat));
    o.has_min = true;
    o.no_min = sat;
  } else if (AcceptWord("NOMINVALUE")) {
    o.has_min = true;
    o.no_min = true;
  } else if (AcceptWord("MAXVALUE")) {
    TABDB_RETURN_IF_ERROR(SignedInteger(*this, &o.max, &sat));
    o.has_max = true;
    o.no_max = sat && o.max > 0;
  } else if (AcceptWord("NOMAXVALUE")) {
    o.has_max = true;
    o.no_max = true;
  } else if (AcceptWord("CACHE")) {
    TABDB_RETURN_IF_ERROR(ParseInteger(&o.cache));
    if (o.cache < 2) return OraError(ora::kSequenceCacheTooSmall);
    o.has_cache = true;
  } else if (AcceptWord("NOCACHE")) {
    o.cache = 0;
    o.has_cache = true;
  } else if (PeekWord("CYCLE") || PeekWord("NOCYCLE")) {
    o.cycle = Next().text == "CYCLE";
    o.has_cycle = true;
  } else if (PeekWord("ORDER") || PeekWord("NOORDER")) {
    o.order = Next().text == "ORDER";
    o.has_order = true;
  } else if (AcceptWord("NOKEEP") || AcceptWord("NOSCALE") || AcceptWord("GLOBAL") ||
             AcceptWord("NOPARTITION")) {
    // accepted as Oracle writes them in DDL text; they change nothing here
  } else if (alter && AcceptWord("RESTART")) {
    o.restart = true;
    if (AcceptWord("START")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("WITH"));
      TABDB_RETURN_IF_ERROR(SignedInteger(*this, &o.start, &sat));
      o.has_start = true;
    }
  } else {
    *matched = false;
  }
  return Status::Ok();
}

Status Parser::ParseSequence(Statement* st, StmtKind kind) {
  st->kind = kind;
  auto seq = std::make_unique<SequenceStmt>();
  TABDB_RETURN_IF_ERROR(ParseObjectName(&seq->name, ora::kSequenceNotExist));
  bool any = false;
  while (kind != StmtKind::kDropSequence && !AtEnd() && !PeekSym(";")) {
    bool matched = false;
    TABDB_RETURN_IF_ERROR(ParseSequenceOption(&seq->options, kind == StmtKind::kAlterSequence, &matched));
    if (!matched) return Err(933);
    any = true;
  }
  // ALTER SEQUENCE without any option: ORA-02286 no options specified.
  if (kind == StmtKind::kAlterSequence && !any)
    return OraError(ora::kSequenceNoOptions);
  st->sequence = std::move(seq);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb
