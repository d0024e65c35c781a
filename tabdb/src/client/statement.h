// statement.h - the state behind an OCI statement handle: the parsed text,
// its compiled form, the binds and defines of the caller, the open cursor,
// and the piecewise LONG transfers (fetch and data at execution).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <oci.h>

#include "client/piece_stream.h"
#include "client/round_trips.h"
#include "exec/match_budget.h"
#include "exec/prepared.h"
#include "exec/value.h"
#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {

class Session;
class ClientText;

// What OCIAttrGet reports about a statement.
struct StatementCounters {
  uint64_t row_count = 0;    // rows processed by the last execution / fetched so far
  uint32_t rows_fetched = 0; // rows delivered by the last fetch
  uint16_t stmt_type = 0;    // OCI_STMT_*
  uint32_t param_count = 0;  // select-list columns
  uint32_t dml_errors = 0;   // rows refused by the last OCI_BATCH_ERRORS execution
};

StatementCounters CountersOf(OCIStmt* stmt);


// A caller's buffer description, shared by binds and defines: element r
// of the arrays lies at base + r * skip.
struct BufferSpec {
  void* valuep = nullptr;
  sb4 value_sz = 0;
  ub2 dty = 0;
  void* indp = nullptr;
  ub2* alenp = nullptr;
  ub2* rcodep = nullptr;
  ub4 mode = OCI_DEFAULT;
  ub4 value_skip = 0, ind_skip = sizeof(sb2), len_skip = sizeof(ub2), rcode_skip = sizeof(ub2);
  ub1 csform = SQLCS_IMPLICIT;

  // A buffer as OCIDefineByPos and OCIBindByPos describe it: one value
  // per row, rows value_sz bytes apart until OCI*ArrayOfStruct says more.
  static BufferSpec Of(void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,
                       ub4 mode) {
    BufferSpec b;
    b.valuep = valuep;
    b.value_sz = value_sz;
    b.dty = dty;
    b.indp = indp;
    b.alenp = alenp;
    b.rcodep = rcodep;
    b.mode = mode;
    b.value_skip = value_sz > 0 ? static_cast<ub4>(value_sz) : 0;
    return b;
  }

  void* Value(uint32_t r) const {
    return valuep ? static_cast<char*>(valuep) + static_cast<size_t>(r) * value_skip : nullptr;
  }
  sb2* Ind(uint32_t r) const {
    return indp ? reinterpret_cast<sb2*>(static_cast<char*>(indp) + static_cast<size_t>(r) * ind_skip)
                : nullptr;
  }
  ub2* Len(uint32_t r) const {
    return alenp ? reinterpret_cast<ub2*>(reinterpret_cast<char*>(alenp) + static_cast<size_t>(r) * len_skip)
                 : nullptr;
  }
  ub2* Rcode(uint32_t r) const {
    return rcodep ? reinterpret_cast<ub2*>(reinterpret_cast<char*>(rcodep) + static_cast<size_t>(r) * rcode_skip)
                  : nullptr;
  }
};

// The buffer of a bind or define handle (`htype` OCI_HTYPE_BIND or
// OCI_HTYPE_DEFINE); null when `handle` is not a live one of that type.
BufferSpec* BufferOf(const void* handle, ub4 htype);

// OCI_ATTR_CHARSET_FORM / OCI_ATTR_CHARSET_ID on a bind or define handle.
// A handle that is not one gives a Status with code -2 (invalid handle).
Status SetBufferAttribute(void* handle, ub4 htype, uint32_t attr, const void* value);

struct BindSlot {
  std::unique_ptr<OCIBind> handle;
  BufferSpec buf;
  bool set = false;
};

struct DefineSlot {
  std::unique_ptr<OCIDefine> handle;
  BufferSpec buf;
  bool set = false;
  // Decided at each execution of a query: the column's stored bytes are
  // what the external type wants, and a fetch copies them as they are.
  bool direct = false;
  // LOB prefetch of a locator define: OCI_ATTR_LOBPREFETCH_LENGTH (the
  // length and chunk size come with each locator) and
  // OCI_ATTR_LOBPREFETCH_SIZE (so much of the data too, when the length
  // comes). `prefetch` and `prefetch_size` are what the last execution
  // decided, with the session's OCI_ATTR_DEFAULT_LOBPREFETCH_SIZE.
  bool lob_prefetch_length = false;
  bool lob_prefetch_size_set = false;
  ub4 lob_prefetch_size = 0;
  bool prefetch = false;
  ub4 prefetch_size = 0;
  bool dynamic() const { return (buf.mode & OCI_DYNAMIC_FETCH) != 0; }
};

// OCI_ATTR_LOBPREFETCH_LENGTH / OCI_ATTR_LOBPREFETCH_SIZE on a define
// handle. A handle that is not one gives a Status with code -2.
Status SetDefineLobPrefetch(void* handle, uint32_t attr, const void* value);

// A LONG column being fetched in pieces.
struct PieceFetch {
  size_t define = 0;       // index into defines
  bool null = false;
  PieceStream stream;
  // The buffer OCIStmtSetPieceInfo gave for the next piece.
  void* buf = nullptr;
  ub4* alenp = nullptr;
  sb2* indp = nullptr;
  ub2* rcodep = nullptr;
  StreamTrips trips;
};

// A LONG bind receiving its value in pieces during OCIStmtExecute.
struct PieceInsert {
  size_t bind = 0;         // index into binds
  int64_t lob_id = 0;      // the value being built in the LOB store
  uint64_t bytes = 0;
  bool null = false;
  PieceStream stream;
  // The piece OCIStmtSetPieceInfo gave.
  ub1 piece = OCI_FIRST_PIECE;
  const void* buf = nullptr;
  ub4 len = 0;
  std::vector<Value> row;  // the other binds of the row
  StreamTrips trips;
};

class StatementState {
 public:
  OCIStmt* owner = nullptr;
  std::string text;                         // statement text in the database character set
  std::shared_ptr<const sql::Statement> parsed;
  Status parse_status;
  std::unique_ptr<Prepared> prepared;
  SessionRef session;                       // session of the last execution
  std::vector<BindSlot> binds;              // index position-1
  std::vector<DefineSlot> defines;          // index position-1
  bool executed = false;
  bool cursor_open = false;
  bool eof = false;
  StatementCounters counters;
  FetchTrips trips;                         // the query's rows at the client
  bool text_sent = false;                   // an execution has carried the text
  bool described = false;                   // ... and brought the describe data
  MatchBudget match_budget;                 // of the execution and its fetches
  ub4 default_lobprefetch = 0;              // the session handle's, at the last execution
  PieceFetch piece_fetch;
  PieceInsert piece_insert;
  std::vector<std::unique_ptr<OCILobLocator>> temp_locators;
};

// Conversions between callers' buffers and engine values
// (client/external.cpp).
TypeKind BindKind(const BufferSpec& b);
// The value bound in row `r`; `text` converts client text to the database
// character set.
Status BindToValue(const BufferSpec& b, uint32_t r, ClientText& text, Value* out);
// The same with the bind's kind, BindKind(b), found once by the caller.
Status BindToValue(const BufferSpec& b, uint32_t r, ClientText& text, TypeKind kind, Value* out);
// Whether BindToValue makes the value of buffer `b` from its bytes as they
// are: an external type of the engine's own byte form, or client text in
// the database character set. BoundBytes then gives those bytes of row
// `r` (NULL where BindToValue gives NULL) without copying them.
bool BindsBytesAsTheyAre(const BufferSpec& b, const ClientText& text);
// Inline: it runs for every value of an array insert. The rules are
// BindToValue's: an indicator of -1, no buffer or no bytes is NULL.
inline BoundCell BoundBytes(const BufferSpec& b, uint32_t r) {
  BoundCell cell;
  const sb2* ind = b.Ind(r);
  if (ind != nullptr && *ind == -1) return cell;
  const char* p = static_cast<const char*>(b.Value(r));
  if (p == nullptr) return cell;
  size_t sz = b.value_sz > 0 ? static_cast<size_t>(b.value_sz) : 0;
  size_t len;
  if (b.dty == SQLT_STR) {
    len = 0;
    while (len < sz && p[len] != '\0') ++len;
  } else {
    const ub2* alen = b.Len(r);
    len = alen ? *alen : sz;
    if (len > sz && sz > 0) len = sz;
  }
  if (len == 0) return cell;
  cell.data = p;
  cell.size = len;
  cell.null = false;
  return cell;
}
// Writes value `v` (of column type `type`) to row `r` of a define. Sets
// indicator, length and return code; *truncated tells that the value was
// cut to fit (return code 1406). A NULL without indicator array fails with
// ORA-01405.
Status ValueToDefine(const BufferSpec& d, uint32_t r, const TypeDesc& type, const Value& v,
                     ClientText& text, Session& s, bool* truncated);

// Places `bytes` in row `r` of a define with the truncation rules of its
// external type (SQLT_STR adds a NUL, SQLT_AFC pads with blanks); sets
// indicator, length and return code.
void PlaceBytes(const BufferSpec& d, uint32_t r, std::string_view bytes, bool* truncated);

}  // namespace tabdb
