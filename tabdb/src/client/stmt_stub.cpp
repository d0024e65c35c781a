// stmt_stub.cpp - statement calls answered before the SQL engine exists.
#include "client/handles.h"
#include "client/lob.h"
#include "client/statement.h"
#include "util/errors.h"

namespace tabdb {
class StatementState {};
class LobState {};
StatementCounters CountersOf(OCIStmt*) { return {}; }
Status SetBindAttribute(OCIBind* b, uint32_t, const void*) {
  return b ? Status::Ok() : Status::Error(-2, "");
}
Status SetDefineAttribute(OCIDefine* d, uint32_t, const void*) {
  return d ? Status::Ok() : Status::Error(-2, "");
}
void MarkLobEmpty(OCILobLocator*) {}
}  // namespace tabdb

OCIStmt::OCIStmt() = default;
OCIStmt::~OCIStmt() = default;
OCILobLocator::OCILobLocator() = default;
OCILobLocator::~OCILobLocator() = default;

using namespace tabdb;

extern "C" sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText*, ub4, ub4, ub4) {
  if (!AsStmt(stmtp) || !AsError(errhp)) return OCI_INVALID_HANDLE;
  return Fail(AsError(errhp), OraError(3001));
}
extern "C" sword OCIStmtExecute(OCISvcCtx*, OCIStmt* stmtp, OCIError* errhp, ub4, ub4,
                                const OCISnapshot*, OCISnapshot*, ub4) {
  if (!AsStmt(stmtp) || !AsError(errhp)) return OCI_INVALID_HANDLE;
  return Fail(AsError(errhp), OraError(3001));
}
extern "C" sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4, ub2, ub4) {
  if (!AsStmt(stmtp) || !AsError(errhp)) return OCI_INVALID_HANDLE;
  return Fail(AsError(errhp), OraError(3001));
}
extern "C" sword OCIStmtFetch2(OCIStmt* stmtp, OCIError* errhp, ub4, ub2, sb4, ub4) {
  if (!AsStmt(stmtp) || !AsError(errhp)) return OCI_INVALID_HANDLE;
  return Fail(AsError(errhp), OraError(3001));
}
extern "C" sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine**, OCIError* errhp, ub4, void*, sb4, ub2,
                                void*, ub2*, ub2*, ub4) {
  if (!AsStmt(stmtp) || !AsError(errhp)) return OCI_INVALID_HANDLE;
  return Fail(AsError(errhp), OraError(3001));
}
extern "C" sword OCIDefineArrayOfStruct(OCIDefine*, OCIError*, ub4, ub4, ub4, ub4) {
  return OCI_INVALID_HANDLE;
}
extern "C" sword OCIBindByPos(OCIStmt* stmtp, OCIBind**, OCIError* errhp, ub4, void*, sb4, ub2,
                              void*, ub2*, ub2*, ub4, ub4*, ub4) {
  if (!AsStmt(stmtp) || !AsError(errhp)) return OCI_INVALID_HANDLE;
  return Fail(AsError(errhp), OraError(3001));
}
extern "C" sword OCIBindArrayOfStruct(OCIBind*, OCIError*, ub4, ub4, ub4, ub4) {
  return OCI_INVALID_HANDLE;
}
extern "C" sword OCIStmtGetPieceInfo(OCIStmt*, OCIError*, void**, ub4*, ub1*, ub4*, ub4*, ub1*) {
  return OCI_INVALID_HANDLE;
}
extern "C" sword OCIStmtSetPieceInfo(void*, ub4, OCIError*, const void*, ub4*, ub1, const void*,
                                     ub2*) {
  return OCI_INVALID_HANDLE;
}
extern "C" sword OCILobOpen(OCISvcCtx*, OCIError*, OCILobLocator*, ub1) { return OCI_INVALID_HANDLE; }
extern "C" sword OCILobClose(OCISvcCtx*, OCIError*, OCILobLocator*) { return OCI_INVALID_HANDLE; }
extern "C" sword OCILobRead2(OCISvcCtx*, OCIError*, OCILobLocator*, oraub8*, oraub8*, oraub8,
                             void*, oraub8, ub1, void*, OCICallbackLobRead2, ub2, ub1) {
  return OCI_INVALID_HANDLE;
}
extern "C" sword OCILobWrite2(OCISvcCtx*, OCIError*, OCILobLocator*, oraub8*, oraub8*, oraub8,
                              void*, oraub8, ub1, void*, OCICallbackLobWrite2, ub2, ub1) {
  return OCI_INVALID_HANDLE;
}
extern "C" sword OCILobGetLength2(OCISvcCtx*, OCIError*, OCILobLocator*, oraub8*) {
  return OCI_INVALID_HANDLE;
}
