// parse_transaction.cpp - SET TRANSACTION: the access mode or isolation
// level of the transaction it starts, with an optional NAME that is
// accepted and not kept.
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

// SET TRANSACTION READ ONLY | READ WRITE
//   | ISOLATION LEVEL SERIALIZABLE | ISOLATION LEVEL READ COMMITTED
//   [NAME 'text']
Status Parser::ParseSetTransaction(Statement* st) {
  Next();  // SET
  Next();  // TRANSACTION
  st->kind = StmtKind::kSetTransaction;
  auto t = std::make_unique<SetTransaction>();
  if (AcceptWord("READ")) {
    if (AcceptWord("ONLY")) {
      t->mode = SetTransaction::kReadOnly;
    } else {
      TABDB_RETURN_IF_ERROR(ExpectWord("WRITE"));
      t->mode = SetTransaction::kReadWrite;
    }
  } else if (AcceptWord("ISOLATION")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("LEVEL"));
    if (AcceptWord("SERIALIZABLE")) {
      t->mode = SetTransaction::kSerializable;
    } else {
      TABDB_RETURN_IF_ERROR(ExpectWord("READ"));
      TABDB_RETURN_IF_ERROR(ExpectWord("COMMITTED"));
      t->mode = SetTransaction::kReadCommitted;
    }
  } else if (!PeekWord("NAME")) {
    return Err(905);
  }
  if (AcceptWord("NAME")) {
    if (Peek().kind != TokenKind::kString) return Err(ora::kStringLiteralRequired);
    Next();
  }
  st->set_transaction = std::move(t);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb
