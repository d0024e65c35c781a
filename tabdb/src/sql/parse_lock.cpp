// parse_lock.cpp - LOCK TABLE t [, t ...] IN <mode> MODE [NOWAIT | WAIT n].
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

Status Parser::ParseLockTable(Statement* st) {
  Next();  // LOCK
  TABDB_RETURN_IF_ERROR(ExpectWord("TABLE"));
  st->kind = StmtKind::kLockTable;
  auto lock = std::make_unique<LockTable>();
  do {
    NameList name;
    TABDB_RETURN_IF_ERROR(ParseObjectName(&name, 903));
    // PARTITION (p) / SUBPARTITION (p) / @dblink: not carried.
    if (PeekWord("PARTITION") || PeekWord("SUBPARTITION") || PeekSym("@"))
      return OraError(ora::kUnimplemented);
    lock->tables.push_back(std::move(name));
  } while (AcceptSym(","));
  TABDB_RETURN_IF_ERROR(ExpectWord("IN"));
  // ROW SHARE | ROW EXCLUSIVE | SHARE [UPDATE | ROW EXCLUSIVE] | EXCLUSIVE
  if (AcceptWord("ROW")) {
    if (AcceptWord("EXCLUSIVE")) lock->exclusive = true;
    else TABDB_RETURN_IF_ERROR(ExpectWord("SHARE"));
  } else if (AcceptWord("SHARE")) {
    lock->exclusive = true;
    if (AcceptWord("ROW")) TABDB_RETURN_IF_ERROR(ExpectWord("EXCLUSIVE"));
    else AcceptWord("UPDATE");
  } else {
    TABDB_RETURN_IF_ERROR(ExpectWord("EXCLUSIVE"));
    lock->exclusive = true;
  }
  TABDB_RETURN_IF_ERROR(ExpectWord("MODE"));
  if (AcceptWord("WAIT")) {
    int64_t seconds;
    TABDB_RETURN_IF_ERROR(ParseInteger(&seconds));
  } else {
    AcceptWord("NOWAIT");
  }
  st->lock = std::move(lock);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb
