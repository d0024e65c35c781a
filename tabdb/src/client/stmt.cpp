// stmt.cpp - the OCI statement calls: prepare, bind, define, execute,
// array fetch, and the piecewise protocols (LONG values fetched in pieces,
// LONG binds supplied at execution time).
#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

#include "charset/charset.h"
#include "client/external_types.h"
#include "client/handles.h"
#include "client/lob.h"
#include "client/nls.h"
#include "client/query_cache.h"
#include "client/statement.h"
#include "client/test_hooks.h"
#include "session/session.h"
#include "sql/parser.h"
#include "storage/lob_store.h"
#include "util/errors.h"

using namespace tabdb;

OCIStmt::OCIStmt() = default;
OCIStmt::~OCIStmt() = default;

namespace tabdb {

StatementCounters CountersOf(OCIStmt* stmt) {
  return stmt && stmt->state ? stmt->state->counters : StatementCounters{};
}

BufferSpec* BufferOf(const void* handle, ub4 htype) {
  auto slot = [](auto* h, auto slots) -> BufferSpec* {
    StatementState* st = h != nullptr && h->stmt != nullptr ? h->stmt->state.get() : nullptr;
    if (st == nullptr || h->position == 0 || h->position > (st->*slots).size()) return nullptr;
    return &(st->*slots)[h->position - 1].buf;
  };
  if (htype == OCI_HTYPE_BIND) return slot(AsBind(handle), &StatementState::binds);
  if (htype == OCI_HTYPE_DEFINE) return slot(AsDefine(handle), &StatementState::defines);
  return nullptr;
}

Status SetBufferAttribute(void* handle, ub4 htype, uint32_t attr, const void* value) {
  BufferSpec* buf = BufferOf(handle, htype);
  if (buf == nullptr) return Status::Error(-2, "");
  if (attr == OCI_ATTR_CHARSET_FORM) {
    ub1 form = *static_cast<const ub1*>(value);
    if (form != SQLCS_IMPLICIT && form != SQLCS_NCHAR) return OraError(ora::kValueNotAllowed);
    buf->csform = form;
  }
  return Status::Ok();
}

Status SetDefineLobPrefetch(void* handle, uint32_t attr, const void* value) {
  OCIDefine* d = AsDefine(handle);
  StatementState* st = d != nullptr && d->stmt != nullptr ? d->stmt->state.get() : nullptr;
  if (st == nullptr || d->position == 0 || d->position > st->defines.size()) return Status::Error(-2, "");
  DefineSlot& slot = st->defines[d->position - 1];
  if (attr == OCI_ATTR_LOBPREFETCH_LENGTH) {
    slot.lob_prefetch_length = *static_cast<const boolean*>(value) != 0;
  } else {
    slot.lob_prefetch_size = *static_cast<const ub4*>(value);
    slot.lob_prefetch_size_set = true;
  }
  return Status::Ok();
}

}  // namespace tabdb

namespace {

StatementState& State(OCIStmt* stmt) {
  if (!stmt->state) {
    stmt->state = std::make_unique<StatementState>();
    stmt->state->owner = stmt;
  }
  return *stmt->state;
}

ClientText& TextOf(OCIStmt* stmt, std::shared_ptr<ClientText>* keep) {
  *keep = stmt->env ? stmt->env->text : nullptr;
  if (!*keep) {
    // Made once, by whichever thread comes first (no converter: cannot fail).
    static const std::unique_ptr<ClientText> identity = [] {
      std::unique_ptr<ClientText> t;
      (void)ClientText::Make(nullptr, &t);
      return t;
    }();
    return *identity;
  }
  return **keep;
}

ub2 StmtType(sql::StmtKind k) {
  switch (k) {
    case sql::StmtKind::kSelect: return OCI_STMT_SELECT;
    case sql::StmtKind::kUpdate: return OCI_STMT_UPDATE;
    case sql::StmtKind::kDelete: return OCI_STMT_DELETE;
    case sql::StmtKind::kInsert: return OCI_STMT_INSERT;
    case sql::StmtKind::kCreateTable:
    case sql::StmtKind::kCreateIndex:
    case sql::StmtKind::kCreateUser:
    case sql::StmtKind::kCreateView:
    case sql::StmtKind::kCreateSynonym: return OCI_STMT_CREATE;
    case sql::StmtKind::kDropTable:
    case sql::StmtKind::kDropIndex:
    case sql::StmtKind::kDropUser:
    case sql::StmtKind::kTruncateTable:
    case sql::StmtKind::kDropView:
    case sql::StmtKind::kDropSynonym: return OCI_STMT_DROP;
    case sql::StmtKind::kAlterTable:
    case sql::StmtKind::kAlterUser:
    case sql::StmtKind::kAlterSession:
    case sql::StmtKind::kAlterSystem:
    case sql::StmtKind::kAlterView: return OCI_STMT_ALTER;
    case sql::StmtKind::kPlsqlBlock: return OCI_STMT_BEGIN;
    default: return OCI_STMT_UNKNOWN;
  }
}

// OCI_ATTR_STMT_TYPE by the first keyword of the text (comments and
// blanks skipped).
ub2 TypeByKeyword(const std::string& text) {
  size_t i = 0;
  for (;;) {
    while (i < text.size() && (std::isspace(static_cast<unsigned char>(text[i])) || text[i] == '('))
      ++i;
    if (text.compare(i, 2, "--") == 0) {
      i = text.find('\n', i);
      if (i == std::string::npos) return OCI_STMT_UNKNOWN;
      continue;
    }
    if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i + 2);
      if (i == std::string::npos) return OCI_STMT_UNKNOWN;
      i += 2;
      continue;
    }
    break;
  }
  std::string w;
  while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])))
    w += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i++])));
  if (w == "SELECT" || w == "WITH") return OCI_STMT_SELECT;
  if (w == "UPDATE") return OCI_STMT_UPDATE;
  if (w == "DELETE") return OCI_STMT_DELETE;
  if (w == "INSERT") return OCI_STMT_INSERT;
  if (w == "CREATE") return OCI_STMT_CREATE;
  if (w == "DROP" || w == "TRUNCATE") return OCI_STMT_DROP;
  if (w == "ALTER") return OCI_STMT_ALTER;
  if (w == "BEGIN") return OCI_STMT_BEGIN;
  if (w == "DECLARE") return OCI_STMT_DECLARE;
  if (w == "CALL") return OCI_STMT_CALL;
  if (w == "MERGE") return OCI_STMT_MERGE;
  return OCI_STMT_UNKNOWN;
}

bool IsLongDty(ub2 dty) { return dty == SQLT_LNG || dty == SQLT_LBI; }

// The rows an execute's or a fetch's reply brings beyond the request:
// OCI_ATTR_PREFETCH_ROWS, fewer when OCI_ATTR_PREFETCH_MEMORY holds fewer
// rows of the select list's widths, none when both are 0, and none for a
// query with a LONG or LOB column (those are array-fetched only).
uint32_t RowPrefetch(const OCIStmt* stmt, const std::vector<ResultColumn>& cols) {
  uint64_t row_bytes = 1;
  for (const ResultColumn& c : cols) {
    if (IsLong(c.type.kind) || IsLob(c.type.kind)) return 0;
    row_bytes += static_cast<uint64_t>(std::max(DataLength(c.type), 1));
  }
  if (stmt->prefetch_memory == 0) return stmt->prefetch_rows;
  uint64_t fit = std::min<uint64_t>(stmt->prefetch_memory / row_bytes, UINT32_MAX);
  return stmt->prefetch_rows == 0 ? static_cast<uint32_t>(fit)
                                  : std::min(stmt->prefetch_rows, static_cast<uint32_t>(fit));
}

// Estimated bytes of rows [from, from + rows) of a bind or define: each
// value's length (its buffer's size where no lengths are given; a locator
// kLocatorBytes) and a length byte. A pass over the lengths alone: this
// runs for every value of an array insert or fetch.
uint64_t BufferBytes(const BufferSpec& b, uint32_t from, uint32_t rows) {
  if (b.mode & OCI_DATA_AT_EXEC) return rows;  // the pieces count apart
  if (b.dty == SQLT_CLOB || b.dty == SQLT_BLOB) return uint64_t{rows} * (kLocatorBytes + 1);
  const char* len = reinterpret_cast<const char*>(b.Len(from));
  if (len == nullptr) return uint64_t{rows} * (1 + static_cast<uint64_t>(std::max<sb4>(b.value_sz, 0)));
  uint64_t n = rows;
  for (uint32_t r = 0; r < rows; ++r, len += b.len_skip) n += *reinterpret_cast<const ub2*>(len);
  return n;
}

// Compiles the statement for the session, again when the catalog changed
// or the types bound to its placeholders did.
Status EnsurePrepared(Session& s, StatementState& st) {
  TABDB_RETURN_IF_ERROR(s.CheckRights());
  std::vector<TypeKind> kinds;
  for (const BindSlot& b : st.binds) kinds.push_back(b.set ? BindKind(b.buf) : TypeKind::kVarchar2);
  if (st.prepared && st.session.get() == &s && st.prepared->bind_kinds() == kinds) {
    if (!st.prepared->is_query() && !st.prepared->is_dml()) return Status::Ok();
    int64_t v = 0;
    TABDB_RETURN_IF_ERROR(s.db().CatalogVersion(&v));
    if (v == st.prepared->catalog_version()) return Status::Ok();
  }
  st.prepared.reset();
  st.session = SessionRef(&s);
  // A query the session compiled before under this text is taken back,
  // unless the catalog changed since.
  if (std::unique_ptr<Prepared> kept = TakeQuery(s, st.text, kinds)) {
    int64_t v = 0;
    TABDB_RETURN_IF_ERROR(s.db().CatalogVersion(&v));
    if (v == kept->catalog_version()) {
      st.prepared = std::move(kept);
      return Status::Ok();
    }
  }
  return Prepared::Create(s, st.parsed, kinds, &st.prepared);
}

// Fills row `r` of define `d` from column `i` of the current row.
Status FillDefine(StatementState& st, DefineSlot& d, uint32_t r, int i, ClientText& text,
                  Session& s, bool* truncated) {
  *truncated = false;
  const ResultColumn& col = st.prepared->columns()[static_cast<size_t>(i)];
  Cell c = st.prepared->GetCell(i);
  TypeKind kind = col.type.kind;
  const BufferSpec& b = d.buf;
  if (b.dty == SQLT_CLOB || b.dty == SQLT_BLOB) {
    bool want_blob = b.dty == SQLT_BLOB;
    bool is_blob = kind == TypeKind::kBlob || kind == TypeKind::kRaw || kind == TypeKind::kLongRaw;
    if (want_blob != is_blob)
      return OraError(ora::kInconsistentDatatypes, {want_blob ? "BLOB" : "CLOB", DataTypeText(col.type)});
    void* p = b.Value(r);
    OCILobLocator* loc = p ? AsLob(*static_cast<OCILobLocator**>(p)) : nullptr;
    if (loc == nullptr) return OraError(ora::kInvalidLobLocator);
    Value v;
    st.prepared->GetValue(i, &v);
    TypeKind lk = IsLob(kind) ? kind : (want_blob ? TypeKind::kBlob : TypeKind::kClob);
    SetLocator(loc, &s, lk, v, false);
    if (d.prefetch) TABDB_RETURN_IF_ERROR(PrefetchLocator(loc, s, d.prefetch_size));
    if (sb2* ind = b.Ind(r)) *ind = v.null ? -1 : 0;
    else if (v.null) return OraError(ora::kFetchedNull);
    if (ub2* len = b.Len(r)) *len = v.null ? 0 : sizeof(void*);
    if (ub2* rc = b.Rcode(r)) *rc = v.null ? 1405 : 0;
    return Status::Ok();
  }
  // Byte forms that match the external type are copied as they are.
  if (d.direct && (c.type == SQLITE_BLOB || c.type == SQLITE_TEXT)) {
    PlaceBytes(b, r, std::string_view(static_cast<const char*>(c.data), c.size), truncated);
    return Status::Ok();
  }
  Value v;
  st.prepared->GetValue(i, &v);
  return ValueToDefine(b, r, col.type, v, text, s, truncated);
}

// Whether the stored bytes of a column of `kind` are exactly what a define
// of external type `dty` wants.
bool DirectCopy(ub2 dty, TypeKind kind, const ClientText& text) {
  switch (dty) {
    case SQLT_NUM: return kind == TypeKind::kNumber || kind == TypeKind::kFloat;
    case SQLT_DAT: return kind == TypeKind::kDate;
    case kSqltTimestamp: return kind == TypeKind::kTimestamp;
    case kSqltTimestampTZ: return kind == TypeKind::kTimestampTZ;
    case kSqltIntervalYM: return kind == TypeKind::kIntervalYM;
    case kSqltIntervalDS: return kind == TypeKind::kIntervalDS;
    case kSqltTimestampLTZ: return kind == TypeKind::kTimestampLTZ;
    case SQLT_IBFLOAT: return kind == TypeKind::kBinaryFloat;
    case SQLT_IBDOUBLE: return kind == TypeKind::kBinaryDouble;
    case SQLT_BIN: return kind == TypeKind::kRaw;
    case SQLT_CHR:
    case SQLT_STR:
    case SQLT_AFC: return IsCharacter(kind) && text.identity();
    default: return false;
  }
}

// Starts the piecewise delivery of the LONG column of define `di`.
Status StartPieceFetch(StatementState& st, size_t di, Session& s) {
  PieceFetch& pf = st.piece_fetch;
  pf.define = di;
  pf.buf = nullptr;
  pf.alenp = nullptr;
  pf.indp = nullptr;
  pf.rcodep = nullptr;
  Value v;
  st.prepared->GetValue(static_cast<int>(di), &v);
  const ResultColumn& col = st.prepared->columns()[di];
  bool binary = col.type.kind == TypeKind::kLongRaw || col.type.kind == TypeKind::kRaw ||
                col.type.kind == TypeKind::kBlob;
  pf.null = v.null || (v.lob_id == 0 && v.bytes.empty());
  pf.trips.Begin(kSduBytes);  // the start of the value rides with the row
  if (sb2* ind = st.defines[di].buf.Ind(0)) *ind = pf.null ? -1 : 0;
  uint64_t total = v.bytes.size();
  if (v.lob_id != 0) {
    LobInfo info;
    TABDB_RETURN_IF_ERROR(LobStore(s.db()).Info(v.lob_id, &info));
    total = info.bytes;
  }
  return pf.stream.BeginRead(s, v.lob_id, v.lob_id != 0 ? std::string() : std::move(v.bytes), 0,
                             total, !binary, true);
}

// Delivers the next piece of the LONG value into the buffer the caller set.
sword NextPiece(StatementState& st, OCIError* err, ClientText& text, Session& s) {
  PieceFetch& pf = st.piece_fetch;
  if (!pf.stream.TakeBuffer() || pf.alenp == nullptr) return Fail(err, OraError(ora::kIllegalPiecewiseOp));
  size_t n = 0;
  bool more = false;
  if (!pf.null) {
    if (pf.trips.Next(*pf.alenp)) RoundTrip(s, TripCall::kLongPiece, 0, 0);
    Status status = pf.stream.Read(text, pf.buf, *pf.alenp, &n, &more);
    if (!status.ok()) return Fail(err, status);
    pf.trips.Moved(n);
    s.net().bytes_to_client += n;
  }
  *pf.alenp = static_cast<ub4>(n);
  if (pf.indp) *pf.indp = pf.null ? -1 : 0;
  if (pf.rcodep) *pf.rcodep = 0;
  if (more) return OCI_NEED_DATA;
  // The value is complete: the row counts as fetched.
  pf.stream.End();
  st.counters.rows_fetched = 1;
  st.counters.row_count += 1;
  return OCI_SUCCESS;
}

// The session of a statement's execution, or null with ORA-01012 once it
// has ended (its cursor and piecewise transfers are dropped then).
Session* LiveSession(StatementState& st, OCIError* err) {
  if (Session* s = st.session.get()) return s;
  st.piece_fetch.stream.End();
  st.piece_insert.stream.End();
  st.cursor_open = false;
  st.prepared.reset();
  Fail(err, OraError(ora::kNotLoggedOn));
  return nullptr;
}

// Estimated bytes of the first `rows` rows of the defines just filled.
uint64_t DefinedBytes(const StatementState& st, uint32_t rows) {
  uint64_t n = 0;
  for (const DefineSlot& d : st.defines)
    if (d.set && !d.dynamic()) n += BufferBytes(d.buf, 0, rows);
  return n;
}

sword Fetch(OCIStmt* stmt, OCIError* err, ub4 nrows, ub2 orientation) {
  StatementState& st = State(stmt);
  if (orientation != OCI_FETCH_NEXT && orientation != OCI_DEFAULT)
    return Fail(err, OraError(ora::kFetchOutOfSequence));
  if (!st.executed) return Fail(err, OraError(ora::kStatementNotExecuted));
  Session* live = LiveSession(st, err);
  if (live == nullptr) return OCI_ERROR;
  if (!st.prepared || !st.prepared->is_query()) return Fail(err, OraError(ora::kStatementNotExecuted));
  MatchBudgetScope budget(&st.match_budget);
  Session& s = *live;
  // A killed session fetches nothing more.
  if (Status alive = s.CheckAlive(); !alive.ok()) {
    st.piece_fetch.stream.End();
    st.cursor_open = false;
    return Fail(err, alive);
  }
  std::shared_ptr<ClientText> keep;
  ClientText& text = TextOf(stmt, &keep);
  if (st.piece_fetch.stream.active()) return NextPiece(st, err, text, s);
  if (nrows == 0) {
    st.prepared->Close();
    st.cursor_open = false;
    st.counters.rows_fetched = 0;
    return OCI_SUCCESS;
  }
  st.counters.rows_fetched = 0;
  if (!st.cursor_open || st.eof) {
    st.eof = true;
    Fail(err, OraError(ora::kNoDataFound));
    return OCI_NO_DATA;
  }
  const auto& cols = st.prepared->columns();
  bool truncated_any = false;
  // Rows before `until` are at the client; the row at `until` comes with
  // one more round trip, which brings the rest of the request.
  FetchTrips& trips = st.trips;
  uint64_t until = trips.end_known ? UINT64_MAX : trips.cached;
  ub4 r = 0;
  auto taken = [&](uint64_t rows) { trips.cached = until == UINT64_MAX ? 0 : until - rows; };
  for (; r < nrows; ++r) {
    if (r == until) {
      RoundTrip(s, TripCall::kFetch, 0, 0);
      until = r + std::max<uint64_t>(nrows - r, trips.prefetch);
    }
    bool row = false;
    Status status = st.prepared->Next(&row);
    if (!status.ok()) {
      st.cursor_open = false;
      return Fail(err, status);
    }
    if (!row) {
      st.eof = true;
      trips.end_known = true;
      break;
    }
    size_t dynamic = SIZE_MAX;
    for (size_t i = 0; i < st.defines.size() && i < cols.size(); ++i) {
      DefineSlot& d = st.defines[i];
      if (!d.set) continue;
      if (d.dynamic()) {
        dynamic = i;
        continue;
      }
      bool trunc = false;
      status = FillDefine(st, d, r, static_cast<int>(i), text, s, &trunc);
      if (!status.ok()) {
        taken(r + 1);
        st.counters.rows_fetched = r;
        return Fail(err, status);
      }
      truncated_any = truncated_any || trunc;
    }
    if (dynamic != SIZE_MAX) {
      // The row waits for its LONG value, fetched in pieces.
      taken(r + 1);
      s.net().bytes_to_client += DefinedBytes(st, r + 1);
      status = StartPieceFetch(st, dynamic, s);
      if (!status.ok()) {
        st.counters.rows_fetched = r;
        return Fail(err, status);
      }
      return OCI_NEED_DATA;
    }
  }
  taken(r);
  st.counters.rows_fetched = r;
  st.counters.row_count += r;
  s.net().bytes_to_client += DefinedBytes(st, r);
  if (st.eof) {
    Fail(err, OraError(ora::kNoDataFound));
    return OCI_NO_DATA;
  }
  if (truncated_any) return Info(err, OraError(ora::kTruncationOrNullFetch));
  return OCI_SUCCESS;
}

// Points the locators bound to RETURNING ... INTO in row `row` of their
// binds at the returned values of the row just changed.
void FillReturning(StatementState& st, Session& s, const std::vector<Value>& returning, ub4 row) {
  const std::vector<int>& into = st.prepared->into_binds();
  for (size_t k = 0; k < into.size() && k < returning.size(); ++k) {
    BindSlot& b = st.binds[static_cast<size_t>(into[k] - 1)];
    void* p = b.buf.Value(row);
    OCILobLocator* loc = p ? AsLob(*static_cast<OCILobLocator**>(p)) : nullptr;
    if (loc != nullptr) {
      SetLocator(loc, &s, returning[k].kind, returning[k], true);
      CheckLocatorRow(loc, st.prepared->returning_checks(k), st.prepared->returned_rowid());
      if (sb2* ind = b.buf.Ind(row)) *ind = returning[k].null ? -1 : 0;
    }
  }
}

// Keeps the failure of row `row` of a batch as a row error of `err`.
void AddRowError(OCIError* err, ub4 row, const Status& status) {
  std::unique_ptr<OCIError> e(new (std::nothrow) OCIError);
  if (!e) return;
  e->env = err->env;
  e->owned_by_parent = true;
  e->row_offset = row;
  e->record.Set(status);
  err->row_errors.push_back(std::move(e));
}

// Bytes that row `r` of a bind carries to the server: its data (a
// locator carries none, a NULL nothing); a value given in pieces at
// execution counts as long, whatever its size.
constexpr uint64_t kShortBindBytes = 4000;
uint64_t BindBytes(const BufferSpec& b, uint32_t r) {
  if (b.mode & OCI_DATA_AT_EXEC) return kShortBindBytes + 1;
  if (b.dty == SQLT_CLOB || b.dty == SQLT_BLOB) return 0;
  const sb2* ind = b.Ind(r);
  const char* p = static_cast<const char*>(b.Value(r));
  if ((ind != nullptr && *ind == -1) || p == nullptr) return 0;
  size_t sz = b.value_sz > 0 ? static_cast<size_t>(b.value_sz) : 0;
  if (b.dty == SQLT_LVC || b.dty == SQLT_LVB) {
    sb4 n = 0;
    if (sz >= sizeof n) std::memcpy(&n, p, sizeof n);
    return n > 0 ? static_cast<uint64_t>(n) : 0;
  }
  if (b.dty == SQLT_STR) return strnlen(p, sz);
  const ub2* alen = b.Len(r);
  return alen ? std::min<size_t>(*alen, sz) : sz;
}

// Oracle's rules for binds of more than 4000 bytes (LOB and LONG data)
// in rows [rowoff, rowoff + iters) of an INSERT, decided for the whole
// execution as the vendor's client sends a bind's form once: a long bind
// to a LOB or LONG column must follow every bind of another column
// (ORA-24816); one execution cannot carry long binds to both a LOB and a
// LONG column (ORA-22295); an array cannot carry a long LONG bind
// (ORA-01478).
Status CheckLongBinds(const StatementState& st, ub4 iters, ub4 rowoff) {
  const Prepared& p = *st.prepared;
  bool long_seen = false, to_lob = false, to_long = false;
  for (size_t k = 0; k < st.binds.size(); ++k) {
    Prepared::BindTarget target = p.bind_target(k + 1);
    if (target == Prepared::BindTarget::kNone) continue;
    if (target == Prepared::BindTarget::kColumn) {
      if (long_seen) return OraError(ora::kBindAfterLongBind);
      continue;
    }
    uint64_t most = 0;
    for (ub4 it = 0; it < iters && most <= kShortBindBytes; ++it)
      most = std::max(most, BindBytes(st.binds[k].buf, rowoff + it));
    if (most <= kShortBindBytes) continue;
    long_seen = true;
    if (target == Prepared::BindTarget::kLob) to_lob = true;
    if (target == Prepared::BindTarget::kLong) {
      if (iters > 1) return OraError(ora::kArrayBindLong);
      to_long = true;
    }
  }
  if (to_lob && to_long) return OraError(ora::kLobAndLongBinds);
  return Status::Ok();
}

// The bytes of row `r` of a bind that gives a LOB or LONG column of type
// `target` its value as data in the column's own form (binary data for a
// BLOB or LONG RAW, text for a character LOB or LONG when the client's
// character set is the database's), when it is such a bind and holds
// some; otherwise false.
bool StoredFormBytes(const BufferSpec& b, uint32_t r, const ClientText& text, TypeKind target,
                     std::string_view* out) {
  bool binary_target = target == TypeKind::kBlob || target == TypeKind::kLongRaw;
  bool binary = b.dty == SQLT_BIN || b.dty == SQLT_LBI || b.dty == SQLT_LVB;
  bool chars = b.dty == SQLT_CHR || b.dty == SQLT_LNG || b.dty == SQLT_LVC;
  if ((b.mode & OCI_DATA_AT_EXEC) ||
      !(binary_target ? binary : chars && text.identity() && b.csform == SQLCS_IMPLICIT))
    return false;
  uint64_t n = BindBytes(b, r);
  if (n == 0) return false;
  const char* p = static_cast<const char*>(b.Value(r));
  *out = std::string_view(p + (b.dty == SQLT_LVC || b.dty == SQLT_LVB ? sizeof(sb4) : 0), static_cast<size_t>(n));
  return true;
}

// Runs a DML statement for `iters` rows of the binds from `rowoff`. In
// batch mode a row the database refuses is undone on its own (each row is
// one statement with its own savepoint), kept as a row error, and the
// rows after it are still tried.
sword RunDml(OCIStmt* stmt, OCIError* err, Session& s, ub4 iters, ub4 rowoff, bool batch) {
  StatementState& st = State(stmt);
  std::shared_ptr<ClientText> keep;
  ClientText& text = TextOf(stmt, &keep);
  const std::vector<int>& into = st.prepared->into_binds();
  auto is_into = [&](size_t k) {
    return std::find(into.begin(), into.end(), static_cast<int>(k + 1)) != into.end();
  };
  uint64_t rows = 0;
  for (const BindSlot& b : st.binds) {
    if (!b.set) return Fail(err, OraError(ora::kNotAllVariablesBound));
  }
  if (st.prepared->binds_lob_or_long()) {
    Status status = CheckLongBinds(st, iters, rowoff);
    if (!status.ok()) return Fail(err, status);
  }
  std::vector<Value> values(st.binds.size());
  std::vector<Value> returning;
  // Each bind's kind depends on its buffer only, not on the row.
  std::vector<TypeKind> kinds(st.binds.size());
  for (size_t k = 0; k < st.binds.size(); ++k) kinds[k] = BindKind(st.binds[k].buf);
  // Several rows are one statement for the statement triggers.
  struct ArrayStatement {
    Prepared* p = nullptr;
    ~ArrayStatement() {
      if (p) (void)p->EndArray(false);  // an error already reported ends it
    }
  } array;
  if (iters > 1) {
    Status status = st.prepared->BeginArray();
    if (!status.ok()) return Fail(err, status);
    array.p = st.prepared.get();
  }
  // An INSERT of one plain bind per column whose buffers hold the values'
  // own bytes takes them where they are, without a copy into `values`.
  bool cells = st.prepared->TakesCells(st.binds.size());
  for (size_t k = 0; k < st.binds.size() && cells; ++k) {
    const BindSlot& b = st.binds[k];
    cells = b.set && !(b.buf.mode & OCI_DATA_AT_EXEC) && BindsBytesAsTheyAre(b.buf, text);
  }
  if (cells) {
    std::vector<BoundCell> row_cells(st.binds.size());
    for (ub4 it = 0; it < iters; ++it) {
      ub4 row = rowoff + it;
      for (size_t k = 0; k < row_cells.size(); ++k) row_cells[k] = BoundBytes(st.binds[k].buf, row);
      Status status = st.prepared->ExecuteInsertCells(row_cells.data(), kinds.data(), &rows);
      if (!status.ok()) {
        if (batch && status.code() != ora::kResourceBusy) {
          AddRowError(err, it, status);
          continue;
        }
        st.counters.row_count = rows;
        return Fail(err, status);
      }
    }
  } else {
    // LOB and LONG values bound as data go into the LOB store from the
    // caller's buffers, and the row takes them stored (no copy into the
    // row first); those of a row that fails are removed again.
    std::vector<int64_t> stored;
    bool store_direct = st.prepared->binds_lob_or_long();
    for (const BindSlot& b : st.binds) store_direct = store_direct && !(b.buf.mode & OCI_DATA_AT_EXEC);
    auto drop_stored = [&] {
      LobStore lobs(s.db());
      for (int64_t id : stored) (void)lobs.Delete(id);
      stored.clear();
    };
    for (ub4 it = 0; it < iters; ++it) {
      ub4 row = rowoff + it;
      size_t dae = SIZE_MAX;
      stored.clear();
      for (size_t k = 0; k < st.binds.size(); ++k) {
        const BindSlot& b = st.binds[k];
        if (!b.set) {
          st.counters.row_count = rows;
          drop_stored();
          return Fail(err, OraError(ora::kNotAllVariablesBound));
        }
        if (is_into(k)) {
          values[k] = Value::Null(BindKind(b.buf));
          continue;
        }
        Prepared::BindTarget target = st.prepared->bind_target(k + 1);
        std::string_view data;
        if (store_direct && (target == Prepared::BindTarget::kLob || target == Prepared::BindTarget::kLong) &&
            StoredFormBytes(b.buf, row, text, st.prepared->bind_target_kind(k + 1), &data)) {
          bool binary = b.buf.dty == SQLT_BIN || b.buf.dty == SQLT_LBI || b.buf.dty == SQLT_LVB;
          Value& v = values[k];
          v = Value::Null(kinds[k]);
          Status status = s.CheckWritable();
          if (status.ok()) status = s.db().BeginWrite();
          if (status.ok()) status = LobStore(s.db()).CreateWith(data, !binary, &v.lob_id);
          if (!status.ok()) {
            st.counters.row_count = rows;
            drop_stored();
            return Fail(err, status);
          }
          stored.push_back(v.lob_id);
          v.null = false;
          v.adopt = true;
          continue;
        }
        if (b.buf.mode & OCI_DATA_AT_EXEC) {
          if (dae == SIZE_MAX) dae = k;
          values[k] = Value::Null(BindKind(b.buf));
          continue;
        }
        Status status = BindToValue(b.buf, row, text, kinds[k], &values[k]);
        if (!status.ok()) {
          st.counters.row_count = rows;
          drop_stored();
          return Fail(err, status);
        }
      }
      if (dae != SIZE_MAX) {
        if (iters != 1) return Fail(err, OraError(ora::kIllegalPiecewiseOp));
        // The LONG value arrives in pieces through OCIStmtSetPieceInfo.
        PieceInsert& pi = st.piece_insert;
        pi.bind = dae;
        pi.lob_id = 0;
        pi.bytes = 0;
        pi.null = false;
        pi.piece = OCI_FIRST_PIECE;
        pi.buf = nullptr;
        pi.len = 0;
        pi.row = values;
        pi.trips.Begin(kSduBytes);  // the first piece rides with the execute
        const BufferSpec& b = st.binds[dae].buf;
        bool binary = b.dty == SQLT_LBI || b.dty == SQLT_BIN;
        Status status = s.CheckWritable();
        if (status.ok()) status = pi.stream.BeginWrite(s, !binary, text);
        if (status.ok()) status = s.db().BeginWrite();
        if (status.ok()) status = LobStore(s.db()).Create(&pi.lob_id);
        if (!status.ok()) {
          pi.stream.End();
          return Fail(err, status);
        }
        return OCI_NEED_DATA;
      }
      // values is rebuilt for every row, so the statement may take its values.
      Status status = st.prepared->ExecuteDmlTaking(&values, &rows, &returning);
      if (!status.ok()) {
        drop_stored();
        if (batch && status.code() != ora::kResourceBusy) {
          AddRowError(err, it, status);
          continue;
        }
        st.counters.row_count = rows;
        return Fail(err, status);
      }
      FillReturning(st, s, returning, row);
    }
  }
  if (array.p) {
    array.p = nullptr;
    Status status = st.prepared->EndArray();
    if (!status.ok()) {
      st.counters.row_count = rows;
      return Fail(err, status);
    }
  }
  st.counters.row_count = rows;
  st.counters.dml_errors = static_cast<uint32_t>(err->row_errors.size());
  if (!err->row_errors.empty()) return Info(err, OraError(ora::kArrayDmlErrors));
  return OCI_SUCCESS;
}

// Continues an INSERT whose LONG bind receives its value in pieces.
sword ContinuePieceInsert(OCIStmt* stmt, OCIError* err, Session& s) {
  StatementState& st = State(stmt);
  PieceInsert& pi = st.piece_insert;
  if (!pi.stream.TakeBuffer()) return Fail(err, OraError(ora::kIllegalPiecewiseOp));
  const BindSlot& b = st.binds[pi.bind];
  bool last = pi.piece == OCI_LAST_PIECE || pi.piece == OCI_ONE_PIECE;
  LobStore lobs(s.db());
  std::string data;
  std::string_view in(static_cast<const char*>(pi.buf ? pi.buf : ""), pi.len);
  if (pi.trips.Next(pi.len)) RoundTrip(s, TripCall::kLongPiece, 0, 0);
  pi.trips.Moved(pi.len);
  s.net().bytes_from_client += pi.len;
  pi.stream.Feed(in, last, &data);
  bool binary = b.buf.dty == SQLT_LBI || b.buf.dty == SQLT_BIN;
  Status status = lobs.Append(pi.lob_id, data, !binary);
  pi.bytes += data.size();
  pi.stream.CountPiece();
  if (!status.ok()) {
    // The failure is what the caller hears of; the value being built is
    // dropped as well as can be (the rollback of the transaction removes
    // whatever remains).
    (void)lobs.Delete(pi.lob_id);
    pi.stream.End();
    return Fail(err, status);
  }
  if (!last) return OCI_NEED_DATA;
  // The value is complete: insert the row.
  pi.stream.End();
  Value v = Value::Null(BindKind(b.buf));
  if (pi.bytes > 0) {  // an empty LONG is NULL
    v.null = false;
    v.lob_id = pi.lob_id;
    v.adopt = true;
  } else {
    status = lobs.Delete(pi.lob_id);
    if (!status.ok()) return Fail(err, status);
  }
  pi.row[pi.bind] = v;
  uint64_t rows = 0;
  std::vector<Value> returning;
  status = st.prepared->ExecuteDml(pi.row, &rows, &returning);
  if (!status.ok()) {
    // As above: the insert's error is reported, the orphaned value is
    // removed if it can be.
    if (!v.null) (void)lobs.Delete(pi.lob_id);
    st.counters.row_count = 0;
    return Fail(err, status);
  }
  FillReturning(st, s, returning, 0);
  st.counters.row_count = rows;
  return OCI_SUCCESS;
}

}  // namespace

extern "C" sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt,
                                ub4 stmt_len, ub4 language, ub4 mode) {
  (void)language;
  (void)mode;
  OCIStmt* s = AsStmt(stmtp);
  OCIError* err = AsError(errhp);
  if (s == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  if (stmt == nullptr || stmt_len == 0) return Fail(err, OraError(ora::kInvalidSqlStatement));
  // A new statement replaces the old one with its binds and defines; the
  // old one's compiled query is kept for its session.
  if (s->state) ParkQuery(s->state->text, s->state->session, &s->state->prepared);
  s->state = std::make_unique<StatementState>();
  StatementState& st = *s->state;
  st.owner = s;
  std::shared_ptr<ClientText> keep;
  TextOf(s, &keep).ToDb(std::string_view(reinterpret_cast<const char*>(stmt), stmt_len), &st.text);
  // Preparing does not reach the server: errors in the text are reported
  // by the execution, as the vendor's library does.
  std::unique_ptr<sql::Statement> parsed;
  st.parse_status = sql::Parse(st.text, &parsed);
  if (st.parse_status.ok()) {
    st.counters.stmt_type = StmtType(parsed->kind);
    st.parsed = std::move(parsed);
  }
  // The statement type comes from the leading keyword, whether or not the
  // rest of the text is right (that is for the execution to tell).
  ub2 by_word = TypeByKeyword(st.text);
  if (by_word != OCI_STMT_UNKNOWN || !st.parse_status.ok()) st.counters.stmt_type = by_word;
  return OCI_SUCCESS;
}

extern "C" sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                                void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp,
                                ub2* rcodep, ub4 mode) {
  OCIStmt* s = AsStmt(stmtp);
  OCIError* err = AsError(errhp);
  if (s == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  if (position == 0) return Fail(err, OraError(ora::kNotInSelectList));
  StatementState& st = State(s);
  if (st.defines.size() < position) st.defines.resize(position);
  DefineSlot& d = st.defines[position - 1];
  if (!d.handle) {
    d.handle = std::make_unique<OCIDefine>();
    d.handle->stmt = s;
    d.handle->position = position;
  }
  d.buf = BufferSpec::Of(valuep, value_sz, dty, indp, rlenp, rcodep, mode);
  if ((mode & OCI_DYNAMIC_FETCH) && !IsLongDty(dty) && dty != SQLT_CHR && dty != SQLT_BIN)
    return Fail(err, OraError(ora::kIllegalPiecewiseOp));
  d.set = true;
  if (defnp) *defnp = d.handle.get();
  return OCI_SUCCESS;
}

extern "C" sword OCIDefineArrayOfStruct(OCIDefine* defnp, OCIError* errhp, ub4 pvskip,
                                        ub4 indskip, ub4 rlskip, ub4 rcskip) {
  BufferSpec* buf = BufferOf(defnp, OCI_HTYPE_DEFINE);
  if (buf == nullptr || AsError(errhp) == nullptr) return OCI_INVALID_HANDLE;
  buf->value_skip = pvskip;
  buf->ind_skip = indskip;
  buf->len_skip = rlskip;
  buf->rcode_skip = rcskip;
  return OCI_SUCCESS;
}

extern "C" sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position,
                              void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp,
                              ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode) {
  (void)maxarr_len;
  (void)curelep;
  OCIStmt* s = AsStmt(stmtp);
  OCIError* err = AsError(errhp);
  if (s == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  if (position == 0) return Fail(err, OraError(ora::kIllegalVariableName));
  StatementState& st = State(s);
  if (st.binds.size() < position) st.binds.resize(position);
  BindSlot& b = st.binds[position - 1];
  if (!b.handle) {
    b.handle = std::make_unique<OCIBind>();
    b.handle->stmt = s;
    b.handle->position = position;
  }
  b.buf = BufferSpec::Of(valuep, value_sz, dty, indp, alenp, rcodep, mode);
  b.set = true;
  if (bindp) *bindp = b.handle.get();
  return OCI_SUCCESS;
}

extern "C" sword OCIBindArrayOfStruct(OCIBind* bindp, OCIError* errhp, ub4 pvskip, ub4 indskip,
                                      ub4 alskip, ub4 rcskip) {
  BufferSpec* buf = BufferOf(bindp, OCI_HTYPE_BIND);
  OCIError* err = AsError(errhp);
  if (buf == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  if (buf->mode & OCI_DATA_AT_EXEC) return Fail(err, OraError(ora::kIllegalPiecewiseOp));
  buf->value_skip = pvskip;
  buf->ind_skip = indskip;
  buf->len_skip = alskip;
  buf->rcode_skip = rcskip;
  return OCI_SUCCESS;
}

namespace {

std::function<void(const std::string&)>& BeforeExecute() {
  static std::function<void(const std::string&)> hook;
  return hook;
}
thread_local bool in_before_execute = false;

}  // namespace

namespace tabdb {
namespace testing {

void SetBeforeExecute(std::function<void(const std::string& text)> hook) {
  BeforeExecute() = std::move(hook);
}

}  // namespace testing
}  // namespace tabdb

namespace {

// One round trip: the statement's text the first time, the binds of the
// rows it runs (one for a query or block, `iters` for DML).
void CountExecute(Session& sess, StatementState& st, ub4 iters, ub4 rowoff) {
  uint64_t out = st.text_sent ? 0 : st.text.size();
  st.text_sent = true;
  ub4 rows = st.counters.stmt_type == OCI_STMT_SELECT || iters == 0 ? 1 : iters;
  for (const BindSlot& b : st.binds) {
    if (!b.set) continue;
    out += BufferBytes(b.buf, rowoff, rows);
  }
  RoundTrip(sess, TripCall::kExecute, out, 0);
}

// One row of a bind's buffers (value, indicator, length, return code),
// kept to be put back.
struct BoundRow {
  std::string value;
  sb2 ind = 0;
  ub2 len = 0, rcode = 0;

  void Save(const BufferSpec& b, ub4 row) {
    if (const char* p = static_cast<const char*>(b.Value(row)))
      value.assign(p, b.value_sz > 0 ? static_cast<size_t>(b.value_sz) : 0);
    if (const sb2* i = b.Ind(row)) ind = *i;
    if (const ub2* l = b.Len(row)) len = *l;
    if (const ub2* r = b.Rcode(row)) rcode = *r;
  }
  void Restore(const BufferSpec& b, ub4 row) const {
    if (char* p = static_cast<char*>(b.Value(row))) std::memcpy(p, value.data(), value.size());
    if (sb2* i = b.Ind(row)) *i = ind;
    if (ub2* l = b.Len(row)) *l = len;
    if (ub2* r = b.Rcode(row)) *r = rcode;
  }
};

// A PL/SQL block with placeholders: each distinct one is a bind by
// position, in and out, as OCI binds a block's placeholders; what the
// block leaves in them is written back to the bind buffers with the
// rules of a define (indicator, length). A value longer than its buffer
// is ORA-06502, as the server gives it, and one the buffer's type cannot
// take fails with the conversion's error; either leaves the row's buffers
// as they were.
sword RunBlockWithBinds(OCIStmt* s, OCIError* err, Session& sess, ub4 iters, ub4 rowoff) {
  StatementState& st = *s->state;
  std::shared_ptr<ClientText> keep;
  ClientText& text = TextOf(s, &keep);
  size_t n = st.parsed->bind_names.size();
  if (st.binds.size() < n) return Fail(err, OraError(ora::kNotAllVariablesBound));
  for (size_t k = 0; k < n; ++k)
    if (!st.binds[k].set) return Fail(err, OraError(ora::kNotAllVariablesBound));
  // An array execution runs the block once for each row of the binds.
  for (ub4 row = rowoff; row < rowoff + iters; ++row) {
    std::vector<Value> values(n);
    for (size_t k = 0; k < n; ++k) {
      Status status = BindToValue(st.binds[k].buf, row, text, &values[k]);
      if (!status.ok()) return Fail(err, status);
    }
    Status status = st.prepared->ExecuteOther(&values);
    if (!status.ok()) return Fail(err, status);
    // The row's buffers as they were, put back when a value does not fit:
    // a server refuses such a block before anything comes back.
    std::vector<BoundRow> before(n);
    for (size_t k = 0; k < n; ++k) before[k].Save(st.binds[k].buf, row);
    bool cut = false;
    for (size_t k = 0; k < n && status.ok(); ++k) {
      TypeDesc type;
      type.kind = values[k].kind;
      bool truncated = false;
      status = ValueToDefine(st.binds[k].buf, row, type, values[k], text, sess, &truncated);
      cut = cut || truncated;
    }
    if (cut && status.ok()) {
      status = OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error: character string buffer too small");
      status.AddLine("ORA-06512: at line 1");
    }
    if (!status.ok()) {
      for (size_t k = 0; k < n; ++k) before[k].Restore(st.binds[k].buf, row);
      return Fail(err, status);
    }
  }
  return OCI_SUCCESS;
}

// The body of OCIStmtExecute once its handles and session are known.
sword Execute(OCIStmt* s, OCIError* err, Session& sess_ref, ub4 iters, ub4 rowoff, ub4 mode) {
  Session* sess = &sess_ref;
  const bool batch = (mode & OCI_BATCH_ERRORS) != 0;
  StatementState& st = *s->state;
  MatchBudgetScope budget(&st.match_budget);
  if (!st.piece_insert.stream.active()) CountExecute(sess_ref, st, iters, rowoff);
  if (st.piece_insert.stream.active()) {
    // The insert continues in the session it began in.
    if (st.piece_insert.stream.session() != sess) {
      st.piece_insert.stream.End();
      return Fail(err, OraError(ora::kNotLoggedOn));
    }
    return ContinuePieceInsert(s, err, *sess);
  }
  if (!st.parse_status.ok()) return Fail(err, st.parse_status);
  if (!st.parsed) return Fail(err, OraError(ora::kStmtNotPrepared));
  st.match_budget.Reset();
  Status status = EnsurePrepared(*sess, st);
  if (!status.ok()) return Fail(err, status);
  st.executed = true;
  st.piece_fetch.stream.End();
  st.counters.row_count = 0;
  st.counters.rows_fetched = 0;
  if (batch && !st.prepared->is_dml()) return Fail(err, OraError(ora::kBatchErrorsNotDml));
  if (st.prepared->is_query()) {
    std::shared_ptr<ClientText> keep;
    ClientText& text = TextOf(s, &keep);
    std::vector<Value> values(st.binds.size());
    for (size_t k = 0; k < st.binds.size(); ++k) {
      if (!st.binds[k].set) return Fail(err, OraError(ora::kNotAllVariablesBound));
      status = BindToValue(st.binds[k].buf, 0, text, &values[k]);
      if (!status.ok()) return Fail(err, status);
    }
    status = st.prepared->Open(values);
    if (!status.ok()) return Fail(err, status);
    const auto& cols = st.prepared->columns();
    for (size_t i = 0; i < st.defines.size(); ++i) {
      DefineSlot& d = st.defines[i];
      d.direct = d.set && i < cols.size() && !d.dynamic() && DirectCopy(d.buf.dty, cols[i].type.kind, text);
      // LOB prefetch: on by the define's OCI_ATTR_LOBPREFETCH_LENGTH or
      // the session's default size; the size is the define's own where
      // it set one.
      d.prefetch = d.lob_prefetch_length || st.default_lobprefetch > 0;
      d.prefetch_size = !d.prefetch ? 0 : d.lob_prefetch_size_set ? d.lob_prefetch_size : st.default_lobprefetch;
    }
    st.cursor_open = true;
    st.eof = false;
    st.counters.param_count = static_cast<uint32_t>(st.prepared->columns().size());
    // The reply brings the describe data the first time, and the first rows.
    if (!st.described) {
      st.described = true;
      uint64_t describe = 0;
      for (const ResultColumn& c : cols) describe += kDescribeBytes + c.name.size();
      sess->net().bytes_to_client += describe;
    }
    st.trips.Executed(RowPrefetch(s, cols), iters);
    if (iters > 0) return Fetch(s, err, iters, OCI_FETCH_NEXT);
    return OCI_SUCCESS;
  }
  if (iters == 0) return Fail(err, OraError(ora::kZeroIterationCount));
  if (st.prepared->is_dml()) return RunDml(s, err, *sess, iters, rowoff, batch);
  if (st.parsed->kind == sql::StmtKind::kCommit) ++sess->net().user_commits;
  if (st.parsed->kind == sql::StmtKind::kPlsqlBlock && !st.parsed->bind_names.empty())
    return RunBlockWithBinds(s, err, *sess, iters, rowoff);
  status = st.prepared->ExecuteOther();
  if (status.code() == ora::kCompiledWithErrors) return Info(err, status);
  if (!status.ok()) return Fail(err, status);
  return OCI_SUCCESS;
}

}  // namespace

extern "C" sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                                ub4 rowoff, const OCISnapshot* snap_in, OCISnapshot* snap_out,
                                ub4 mode) {
  (void)snap_in;
  (void)snap_out;
  OCISvcCtx* svc = AsSvcCtx(svchp);
  OCIStmt* s = AsStmt(stmtp);
  OCIError* err = AsError(errhp);
  if (svc == nullptr || s == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  if (BeforeExecute() && !in_before_execute && s->state) {
    in_before_execute = true;
    BeforeExecute()(s->state->text);
    in_before_execute = false;
  }
  err->row_errors.clear();
  if (s->state) {
    s->state->counters.dml_errors = 0;
    OCISession* usr = AsSession(svc->session);
    s->state->default_lobprefetch = usr != nullptr ? usr->default_lobprefetch : 0;
  }
  Session* sess = SessionOf(svc, err);
  if (sess == nullptr) return OCI_ERROR;
  if (!s->state) return Fail(err, OraError(ora::kStmtNotPrepared));
  sword rc = Execute(s, err, *sess, iters, rowoff, mode);
  CallEnded(*sess);
  return rc;
}

extern "C" sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation,
                              ub4 mode) {
  (void)mode;
  OCIStmt* s = AsStmt(stmtp);
  OCIError* err = AsError(errhp);
  if (s == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  return Fetch(s, err, nrows, orientation);
}

extern "C" sword OCIStmtFetch2(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation,
                               sb4 scrollOffset, ub4 mode) {
  (void)scrollOffset;
  (void)mode;
  OCIStmt* s = AsStmt(stmtp);
  OCIError* err = AsError(errhp);
  if (s == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  return Fetch(s, err, nrows, orientation);
}

extern "C" sword OCIStmtGetPieceInfo(OCIStmt* stmtp, OCIError* errhp, void** hndlpp, ub4* typep,
                                     ub1* in_outp, ub4* iterp, ub4* idxp, ub1* piecep) {
  OCIStmt* s = AsStmt(stmtp);
  OCIError* err = AsError(errhp);
  if (s == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  if (!s->state) return Fail(err, OraError(ora::kIllegalPiecewiseOp));
  StatementState& st = *s->state;
  PieceStream* stream = st.piece_fetch.stream.active()    ? &st.piece_fetch.stream
                        : st.piece_insert.stream.active() ? &st.piece_insert.stream
                                                          : nullptr;
  if (stream != nullptr && stream->session() == nullptr) {
    stream->End();
    return Fail(err, OraError(ora::kNotLoggedOn));
  }
  if (stream == &st.piece_fetch.stream) {
    PieceFetch& pf = st.piece_fetch;
    if (hndlpp) *hndlpp = st.defines[pf.define].handle.get();
    if (typep) *typep = OCI_HTYPE_DEFINE;
    if (in_outp) *in_outp = OCI_PARAM_OUT;
    if (piecep) *piecep = stream->pieces() == 0 ? OCI_FIRST_PIECE : OCI_NEXT_PIECE;
  } else if (stream == &st.piece_insert.stream) {
    PieceInsert& pi = st.piece_insert;
    if (hndlpp) *hndlpp = st.binds[pi.bind].handle.get();
    if (typep) *typep = OCI_HTYPE_BIND;
    if (in_outp) *in_outp = OCI_PARAM_IN;
    if (piecep) *piecep = stream->pieces() == 0 ? OCI_FIRST_PIECE : OCI_NEXT_PIECE;
  } else {
    return Fail(err, OraError(ora::kIllegalPiecewiseOp));
  }
  if (iterp) *iterp = 0;
  if (idxp) *idxp = 0;
  return OCI_SUCCESS;
}

extern "C" sword OCIStmtSetPieceInfo(void* hndlp, ub4 type, OCIError* errhp, const void* bufp,
                                     ub4* alenp, ub1 piece, const void* indp, ub2* rcodep) {
  OCIError* err = AsError(errhp);
  if (err == nullptr) return OCI_INVALID_HANDLE;
  if (type == OCI_HTYPE_DEFINE) {
    OCIDefine* d = AsDefine(hndlp);
    if (d == nullptr || !d->stmt->state) return OCI_INVALID_HANDLE;
    PieceFetch& pf = d->stmt->state->piece_fetch;
    if (!pf.stream.active() || d->position - 1 != pf.define)
      return Fail(err, OraError(ora::kIllegalPiecewiseOp));
    if (pf.stream.session() == nullptr) {
      pf.stream.End();
      return Fail(err, OraError(ora::kNotLoggedOn));
    }
    // A piece needs a length to tell the room, and room needs a buffer.
    if (alenp == nullptr || (bufp == nullptr && *alenp > 0))
      return Fail(err, OraError(ora::kIllegalPiecewiseOp));
    pf.buf = const_cast<void*>(bufp);
    pf.alenp = alenp;
    pf.indp = static_cast<sb2*>(const_cast<void*>(indp));
    pf.rcodep = rcodep;
    pf.stream.GiveBuffer();
    return OCI_SUCCESS;
  }
  if (type == OCI_HTYPE_BIND) {
    OCIBind* b = AsBind(hndlp);
    if (b == nullptr || !b->stmt->state) return OCI_INVALID_HANDLE;
    PieceInsert& pi = b->stmt->state->piece_insert;
    if (!pi.stream.active() || b->position - 1 != pi.bind)
      return Fail(err, OraError(ora::kIllegalPiecewiseOp));
    if (pi.stream.session() == nullptr) {
      pi.stream.End();
      return Fail(err, OraError(ora::kNotLoggedOn));
    }
    if (piece > OCI_LAST_PIECE) return Fail(err, OraError(ora::kIllegalPiecewiseOp));
    if (bufp == nullptr && alenp && *alenp > 0) return Fail(err, OraError(ora::kIllegalPiecewiseOp));
    pi.buf = bufp;
    pi.len = alenp ? *alenp : 0;
    pi.piece = piece;
    if (indp && *static_cast<const sb2*>(indp) == -1) pi.null = true;
    (void)rcodep;
    pi.stream.GiveBuffer();
    return OCI_SUCCESS;
  }
  return OCI_INVALID_HANDLE;
}

extern "C" sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos) {
  (void)errhp;
  if (parmdpp == nullptr) return OCI_INVALID_HANDLE;
  if (htype != OCI_HTYPE_ERROR) return OCI_INVALID_HANDLE;
  OCIError* e = AsError(hndlp);
  if (e == nullptr) return OCI_INVALID_HANDLE;
  if (pos >= e->row_errors.size()) return OCI_NO_DATA;
  *parmdpp = e->row_errors[pos].get();
  return OCI_SUCCESS;
}
