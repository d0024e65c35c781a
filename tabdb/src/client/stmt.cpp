// stmt.cpp - the OCI statement calls: prepare, bind, define, execute,
// array fetch, and the piecewise protocols (LONG values fetched in pieces,
// LONG binds supplied at execution time).
#include <algorithm>
#include <cctype>
#include <cstring>

#include "charset/charset.h"
#include "client/handles.h"
#include "client/lob.h"
#include "client/nls.h"
#include "client/statement.h"
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

Status SetBindAttribute(OCIBind* bind, uint32_t attr, const void* value) {
  OCIBind* b = AsBind(bind);
  if (b == nullptr || !b->stmt || !b->stmt->state) return Status::Error(-2, "");
  StatementState& st = *b->stmt->state;
  if (b->position == 0 || b->position > st.binds.size()) return Status::Error(-2, "");
  if (attr == OCI_ATTR_CHARSET_FORM) {
    ub1 form = *static_cast<const ub1*>(value);
    if (form != SQLCS_IMPLICIT && form != SQLCS_NCHAR) return OraError(24323);
    st.binds[b->position - 1].buf.csform = form;
  }
  return Status::Ok();
}

Status SetDefineAttribute(OCIDefine* define, uint32_t attr, const void* value) {
  OCIDefine* d = AsDefine(define);
  if (d == nullptr || !d->stmt || !d->stmt->state) return Status::Error(-2, "");
  StatementState& st = *d->stmt->state;
  if (d->position == 0 || d->position > st.defines.size()) return Status::Error(-2, "");
  if (attr == OCI_ATTR_CHARSET_FORM) {
    ub1 form = *static_cast<const ub1*>(value);
    if (form != SQLCS_IMPLICIT && form != SQLCS_NCHAR) return OraError(24323);
    st.defines[d->position - 1].buf.csform = form;
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
    static std::unique_ptr<ClientText> identity;
    if (!identity) (void)ClientText::Make(nullptr, &identity);  // no converter: cannot fail
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
    case sql::StmtKind::kCreateUser: return OCI_STMT_CREATE;
    case sql::StmtKind::kDropTable:
    case sql::StmtKind::kDropIndex:
    case sql::StmtKind::kDropUser:
    case sql::StmtKind::kTruncateTable: return OCI_STMT_DROP;
    case sql::StmtKind::kAlterTable:
    case sql::StmtKind::kAlterUser:
    case sql::StmtKind::kAlterSession: return OCI_STMT_ALTER;
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

// Compiles the statement for the session, again when the catalog changed
// or the types bound to its placeholders did.
Status EnsurePrepared(Session& s, StatementState& st) {
  std::vector<TypeKind> kinds;
  for (const BindSlot& b : st.binds) kinds.push_back(b.set ? BindKind(b.buf) : TypeKind::kVarchar2);
  if (st.prepared && st.session == &s && st.prepared->bind_kinds() == kinds) {
    if (!st.prepared->is_query() && !st.prepared->is_dml()) return Status::Ok();
    int64_t v = 0;
    TABDB_RETURN_IF_ERROR(s.db().CatalogVersion(&v));
    if (v == st.prepared->catalog_version()) return Status::Ok();
  }
  st.prepared.reset();
  st.session = &s;
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
    if (want_blob != is_blob) return OraError(932, {want_blob ? "BLOB" : "CLOB", DataTypeText(col.type)});
    void* p = b.Value(r);
    OCILobLocator* loc = p ? AsLob(*static_cast<OCILobLocator**>(p)) : nullptr;
    if (loc == nullptr) return OraError(22275);
    Value v;
    st.prepared->GetValue(i, &v);
    TypeKind lk = IsLob(kind) ? kind : (want_blob ? TypeKind::kBlob : TypeKind::kClob);
    SetLocator(loc, &s, lk, v, false);
    if (sb2* ind = b.Ind(r)) *ind = v.null ? -1 : 0;
    else if (v.null) return OraError(1405);
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
    case 180: return kind == TypeKind::kTimestamp;
    case 181: return kind == TypeKind::kTimestampTZ;
    case 182: return kind == TypeKind::kIntervalYM;
    case 183: return kind == TypeKind::kIntervalDS;
    case 231: return kind == TypeKind::kTimestampLTZ;
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
void StartPieceFetch(StatementState& st, size_t di) {
  PieceFetch& pf = st.piece_fetch;
  pf = PieceFetch();
  pf.active = true;
  pf.define = di;
  Value v;
  st.prepared->GetValue(static_cast<int>(di), &v);
  const ResultColumn& col = st.prepared->columns()[di];
  pf.binary = col.type.kind == TypeKind::kLongRaw || col.type.kind == TypeKind::kRaw ||
              col.type.kind == TypeKind::kBlob;
  pf.null = v.null || (v.lob_id == 0 && v.bytes.empty());
  pf.lob_id = v.lob_id;
  if (v.lob_id == 0) pf.inline_value = v.bytes;
  if (sb2* ind = st.defines[di].buf.Ind(0)) *ind = pf.null ? -1 : 0;
}

// Delivers the next piece of the LONG value into the buffer the caller set.
sword NextPiece(StatementState& st, OCIError* err, ClientText& text, Session& s) {
  PieceFetch& pf = st.piece_fetch;
  if (!pf.buffer_set || pf.alenp == nullptr) return Fail(err, OraError(24370));
  pf.buffer_set = false;
  size_t room = *pf.alenp;
  if (TestPieces().max_piece > 0) room = std::min(room, TestPieces().max_piece);
  auto finish = [&](size_t n, bool null) -> sword {
    *pf.alenp = static_cast<ub4>(n);
    if (pf.indp) *pf.indp = null ? -1 : 0;
    if (pf.rcodep) *pf.rcodep = 0;
    ++pf.pieces;
    return OCI_SUCCESS;
  };
  // The value is complete: the row counts as fetched.
  auto end_value = [&]() -> sword {
    pf.active = false;
    st.counters.rows_fetched = 1;
    st.counters.row_count += 1;
    return OCI_SUCCESS;
  };
  // Hands over a piece of n bytes; `more` says whether bytes remain. The
  // test facility may ask for an empty piece after the last one.
  auto end_piece = [&](size_t n, bool more) -> sword {
    finish(n, false);
    if (more) return OCI_NEED_DATA;
    if (TestPieces().empty_last && n > 0) {
      pf.done_marked = true;
      return OCI_NEED_DATA;
    }
    return end_value();
  };
  if (pf.null) {
    finish(0, true);
    return end_value();
  }
  if (pf.done_marked) {
    finish(0, false);
    return end_value();
  }
  // Keep at least one buffer's worth of converted bytes pending.
  LobStore lobs(s.db());
  if (!pf.total_known) {
    pf.total = pf.inline_value.size();
    if (pf.lob_id) {
      LobInfo info;
      Status status = lobs.Info(pf.lob_id, &info);
      if (!status.ok()) return Fail(err, status);
      pf.total = info.bytes;
    }
    pf.total_known = true;
  }
  uint64_t total = pf.total;
  LobInfo known;
  known.bytes = total;
  if ((pf.binary || text.identity()) && pf.pending.empty()) {
    // Bytes that need no conversion go from the store to the caller's
    // buffer through one reused scratch string. Text reads a few bytes past
    // the buffer so that a character the buffer would cut is seen and left
    // for the next piece.
    size_t want = static_cast<size_t>(std::min<uint64_t>(room, total - pf.offset));
    size_t ask = pf.binary ? want : static_cast<size_t>(std::min<uint64_t>(room + 3, total - pf.offset));
    if (pf.lob_id) {
      Status status = lobs.Read(pf.lob_id, pf.offset, ask, &pf.scratch, &known);
      if (!status.ok()) return Fail(err, status);
    } else {
      pf.scratch.assign(pf.inline_value, static_cast<size_t>(pf.offset), ask);
    }
    // A stored value shorter than its recorded length would otherwise ask
    // for pieces forever.
    if (pf.scratch.empty() && want > 0) return Fail(err, OraError(22922));
    size_t n = std::min(want, pf.scratch.size());
    if (!pf.binary) {
      // Whole characters only, unless the buffer cannot hold one.
      size_t whole = CharsetPrefixBytes(text.client(), pf.scratch, n);
      if (whole > 0) n = whole;
    }
    if (pf.buf && n > 0) std::memcpy(pf.buf, pf.scratch.data(), n);
    pf.offset += n;
    return end_piece(n, pf.offset < total);
  }
  std::string raw, conv;
  while (pf.pending.size() < room + 4 && pf.offset < total) {
    size_t take = static_cast<size_t>(std::min<uint64_t>(kLobChunk, total - pf.offset));
    if (pf.lob_id) {
      Status status = lobs.Read(pf.lob_id, pf.offset, take, &raw, &known);
      if (!status.ok()) return Fail(err, status);
    } else {
      raw = pf.inline_value.substr(static_cast<size_t>(pf.offset), take);
    }
    pf.offset += raw.size();
    if (pf.binary) {
      pf.pending += raw;
    } else {
      std::string src = raw;
      // Convert whole characters; a character cut by the chunk end waits.
      size_t whole = src.size();
      if (pf.offset < total) {
        size_t k = 0;
        while (k < 4 && k < whole && (static_cast<unsigned char>(src[whole - 1 - k]) & 0xC0) == 0x80) ++k;
        if (k < whole) {
          unsigned char lead = static_cast<unsigned char>(src[whole - 1 - k]);
          size_t need = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : 4;
          if (need > k + 1) {
            pf.offset -= k + 1;
            whole -= k + 1;
          }
        }
      }
      text.ToClient(std::string_view(src).substr(0, whole), &conv);
      pf.pending += conv;
    }
    if (raw.empty()) break;
  }
  size_t n = pf.binary ? std::min(room, pf.pending.size())
                       : CharsetPrefixBytes(text.client(), pf.pending, room);
  if (n == 0 && !pf.pending.empty()) n = std::min(room, pf.pending.size());
  if (pf.buf && n > 0) std::memcpy(pf.buf, pf.pending.data(), n);
  pf.pending.erase(0, n);
  return end_piece(n, !pf.pending.empty() || pf.offset < total);
}

sword Fetch(OCIStmt* stmt, OCIError* err, ub4 nrows, ub2 orientation) {
  StatementState& st = State(stmt);
  if (orientation != OCI_FETCH_NEXT && orientation != OCI_DEFAULT)
    return Fail(err, OraError(1002));
  if (!st.prepared || !st.prepared->is_query() || !st.executed) return Fail(err, OraError(24338));
  Session& s = *st.session;
  std::shared_ptr<ClientText> keep;
  ClientText& text = TextOf(stmt, &keep);
  if (st.piece_fetch.active) return NextPiece(st, err, text, s);
  if (nrows == 0) {
    st.prepared->Close();
    st.cursor_open = false;
    st.counters.rows_fetched = 0;
    return OCI_SUCCESS;
  }
  st.counters.rows_fetched = 0;
  if (!st.cursor_open || st.eof) {
    st.eof = true;
    Fail(err, OraError(1403));
    return OCI_NO_DATA;
  }
  const auto& cols = st.prepared->columns();
  bool truncated_any = false;
  ub4 r = 0;
  for (; r < nrows; ++r) {
    bool row = false;
    Status status = st.prepared->Next(&row);
    if (!status.ok()) {
      st.cursor_open = false;
      return Fail(err, status);
    }
    if (!row) {
      st.eof = true;
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
        st.counters.rows_fetched = r;
        return Fail(err, status);
      }
      truncated_any = truncated_any || trunc;
    }
    if (dynamic != SIZE_MAX) {
      // The row waits for its LONG value, fetched in pieces.
      StartPieceFetch(st, dynamic);
      return OCI_NEED_DATA;
    }
  }
  st.counters.rows_fetched = r;
  st.counters.row_count += r;
  if (st.eof) {
    Fail(err, OraError(1403));
    return OCI_NO_DATA;
  }
  if (truncated_any) return Info(err, OraError(24345));
  return OCI_SUCCESS;
}

// Runs a DML statement for `iters` rows of the binds from `rowoff`.
sword RunDml(OCIStmt* stmt, OCIError* err, Session& s, ub4 iters, ub4 rowoff) {
  StatementState& st = State(stmt);
  std::shared_ptr<ClientText> keep;
  ClientText& text = TextOf(stmt, &keep);
  const std::vector<int>& into = st.prepared->into_binds();
  auto is_into = [&](size_t k) {
    return std::find(into.begin(), into.end(), static_cast<int>(k + 1)) != into.end();
  };
  uint64_t rows = 0;
  std::vector<Value> values(st.binds.size());
  std::vector<Value> returning;
  for (ub4 it = 0; it < iters; ++it) {
    ub4 row = rowoff + it;
    size_t dae = SIZE_MAX;
    for (size_t k = 0; k < st.binds.size(); ++k) {
      const BindSlot& b = st.binds[k];
      if (!b.set) {
        st.counters.row_count = rows;
        return Fail(err, OraError(1008));
      }
      if (is_into(k)) {
        values[k] = Value::Null(BindKind(b.buf));
        continue;
      }
      if (b.buf.mode & OCI_DATA_AT_EXEC) {
        if (dae == SIZE_MAX) dae = k;
        values[k] = Value::Null(BindKind(b.buf));
        continue;
      }
      Status status = BindToValue(b.buf, row, text, &values[k]);
      if (!status.ok()) {
        st.counters.row_count = rows;
        return Fail(err, status);
      }
    }
    if (dae != SIZE_MAX) {
      if (iters != 1) return Fail(err, OraError(24370));
      // The LONG value arrives in pieces through OCIStmtSetPieceInfo.
      PieceInsert& pi = st.piece_insert;
      pi = PieceInsert();
      pi.active = true;
      pi.bind = dae;
      pi.row = values;
      // The environment's stream converter may still hold part of a
      // character from a piecewise insert that was abandoned; it must not
      // reach this value.
      std::string discard;
      text.FeedToDb(std::string_view(), true, &discard);
      Status status = s.db().BeginWrite();
      LobStore lobs(s.db());
      if (status.ok()) status = lobs.Create(&pi.lob_id);
      if (!status.ok()) {
        pi.active = false;
        return Fail(err, status);
      }
      return OCI_NEED_DATA;
    }
    Status status = st.prepared->ExecuteDml(values, &rows, &returning);
    if (!status.ok()) {
      st.counters.row_count = rows;
      return Fail(err, status);
    }
    for (size_t k = 0; k < into.size() && k < returning.size(); ++k) {
      BindSlot& b = st.binds[static_cast<size_t>(into[k] - 1)];
      void* p = b.buf.Value(row);
      OCILobLocator* loc = p ? AsLob(*static_cast<OCILobLocator**>(p)) : nullptr;
      if (loc != nullptr) {
        SetLocator(loc, &s, returning[k].kind, returning[k], true);
        if (sb2* ind = b.buf.Ind(row)) *ind = returning[k].null ? -1 : 0;
      }
    }
  }
  st.counters.row_count = rows;
  return OCI_SUCCESS;
}

// Continues an INSERT whose LONG bind receives its value in pieces.
sword ContinuePieceInsert(OCIStmt* stmt, OCIError* err, Session& s) {
  StatementState& st = State(stmt);
  PieceInsert& pi = st.piece_insert;
  if (!pi.buffer_set) return Fail(err, OraError(24370));
  pi.buffer_set = false;
  std::shared_ptr<ClientText> keep;
  ClientText& text = TextOf(stmt, &keep);
  const BindSlot& b = st.binds[pi.bind];
  bool binary = b.buf.dty == SQLT_LBI || b.buf.dty == SQLT_BIN;
  bool last = pi.piece == OCI_LAST_PIECE || pi.piece == OCI_ONE_PIECE;
  LobStore lobs(s.db());
  std::string data;
  std::string_view in(static_cast<const char*>(pi.buf ? pi.buf : ""), pi.len);
  if (binary) {
    data.assign(in.data(), in.size());
  } else {
    text.FeedToDb(in, last, &data);
  }
  Status status = lobs.Append(pi.lob_id, data, !binary);
  pi.bytes += data.size();
  ++pi.pieces;
  if (!status.ok()) {
    (void)lobs.Delete(pi.lob_id);  // the append's error is reported; the value is dropped either way
    pi.active = false;
    return Fail(err, status);
  }
  if (!last) return OCI_NEED_DATA;
  // The value is complete: insert the row.
  pi.active = false;
  Value v = Value::Null(BindKind(b.buf));
  if (pi.bytes > 0) {  // an empty LONG is NULL
    v.null = false;
    v.lob_id = pi.lob_id;
    v.adopt = true;
  } else {
    (void)lobs.Delete(pi.lob_id);  // a NULL value keeps no LOB; a leftover is only unused space
  }
  pi.row[pi.bind] = v;
  uint64_t rows = 0;
  std::vector<Value> returning;
  status = st.prepared->ExecuteDml(pi.row, &rows, &returning);
  if (!status.ok()) {
    if (!v.null) (void)lobs.Delete(pi.lob_id);  // the insert's error is the one reported
    st.counters.row_count = 0;
    return Fail(err, status);
  }
  const std::vector<int>& into = st.prepared->into_binds();
  for (size_t k = 0; k < into.size() && k < returning.size(); ++k) {
    BindSlot& ib = st.binds[static_cast<size_t>(into[k] - 1)];
    void* p = ib.buf.Value(0);
    OCILobLocator* loc = p ? AsLob(*static_cast<OCILobLocator**>(p)) : nullptr;
    if (loc != nullptr) {
      SetLocator(loc, &s, returning[k].kind, returning[k], true);
      if (sb2* ind = ib.buf.Ind(0)) *ind = returning[k].null ? -1 : 0;
    }
  }
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
  if (stmt == nullptr || stmt_len == 0) return Fail(err, OraError(900));
  // A new statement replaces the old one with its binds and defines.
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
  if (position == 0) return Fail(err, OraError(1007));
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
    return Fail(err, OraError(24370));
  d.set = true;
  if (defnp) *defnp = d.handle.get();
  return OCI_SUCCESS;
}

extern "C" sword OCIDefineArrayOfStruct(OCIDefine* defnp, OCIError* errhp, ub4 pvskip,
                                        ub4 indskip, ub4 rlskip, ub4 rcskip) {
  OCIDefine* d = AsDefine(defnp);
  OCIError* err = AsError(errhp);
  if (d == nullptr || err == nullptr || !d->stmt->state) return OCI_INVALID_HANDLE;
  DefineSlot& slot = d->stmt->state->defines[d->position - 1];
  slot.buf.value_skip = pvskip;
  slot.buf.ind_skip = indskip;
  slot.buf.len_skip = rlskip;
  slot.buf.rcode_skip = rcskip;
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
  if (position == 0) return Fail(err, OraError(1036));
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
  OCIBind* b = AsBind(bindp);
  OCIError* err = AsError(errhp);
  if (b == nullptr || err == nullptr || !b->stmt->state) return OCI_INVALID_HANDLE;
  BindSlot& slot = b->stmt->state->binds[b->position - 1];
  if (slot.buf.mode & OCI_DATA_AT_EXEC) return Fail(err, OraError(24370));
  slot.buf.value_skip = pvskip;
  slot.buf.ind_skip = indskip;
  slot.buf.len_skip = alskip;
  slot.buf.rcode_skip = rcskip;
  return OCI_SUCCESS;
}

extern "C" sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                                ub4 rowoff, const OCISnapshot* snap_in, OCISnapshot* snap_out,
                                ub4 mode) {
  (void)snap_in;
  (void)snap_out;
  (void)mode;
  OCISvcCtx* svc = AsSvcCtx(svchp);
  OCIStmt* s = AsStmt(stmtp);
  OCIError* err = AsError(errhp);
  if (svc == nullptr || s == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  Session* sess = SessionOf(svc, err);
  if (sess == nullptr) return OCI_ERROR;
  if (!s->state) return Fail(err, OraError(24337));
  StatementState& st = *s->state;
  if (st.piece_insert.active) return ContinuePieceInsert(s, err, *sess);
  if (!st.parse_status.ok()) return Fail(err, st.parse_status);
  if (!st.parsed) return Fail(err, OraError(24337));
  Status status = EnsurePrepared(*sess, st);
  if (!status.ok()) return Fail(err, status);
  st.executed = true;
  st.piece_fetch = PieceFetch();
  st.counters.row_count = 0;
  st.counters.rows_fetched = 0;
  if (st.prepared->is_query()) {
    std::shared_ptr<ClientText> keep;
    ClientText& text = TextOf(s, &keep);
    std::vector<Value> values(st.binds.size());
    for (size_t k = 0; k < st.binds.size(); ++k) {
      if (!st.binds[k].set) return Fail(err, OraError(1008));
      status = BindToValue(st.binds[k].buf, 0, text, &values[k]);
      if (!status.ok()) return Fail(err, status);
    }
    status = st.prepared->Open(values);
    if (!status.ok()) return Fail(err, status);
    const auto& cols = st.prepared->columns();
    for (size_t i = 0; i < st.defines.size(); ++i) {
      DefineSlot& d = st.defines[i];
      d.direct = d.set && i < cols.size() && !d.dynamic() && DirectCopy(d.buf.dty, cols[i].type.kind, text);
    }
    st.cursor_open = true;
    st.eof = false;
    st.counters.param_count = static_cast<uint32_t>(st.prepared->columns().size());
    if (iters > 0) return Fetch(s, err, iters, OCI_FETCH_NEXT);
    return OCI_SUCCESS;
  }
  if (iters == 0) return Fail(err, OraError(24333));
  if (st.prepared->is_dml()) return RunDml(s, err, *sess, iters, rowoff);
  status = st.prepared->ExecuteOther();
  if (!status.ok()) return Fail(err, status);
  return OCI_SUCCESS;
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
  if (!s->state) return Fail(err, OraError(24370));
  StatementState& st = *s->state;
  if (st.piece_fetch.active) {
    PieceFetch& pf = st.piece_fetch;
    if (hndlpp) *hndlpp = st.defines[pf.define].handle.get();
    if (typep) *typep = OCI_HTYPE_DEFINE;
    if (in_outp) *in_outp = OCI_PARAM_OUT;
    if (piecep) *piecep = pf.pieces == 0 ? OCI_FIRST_PIECE : OCI_NEXT_PIECE;
  } else if (st.piece_insert.active) {
    PieceInsert& pi = st.piece_insert;
    if (hndlpp) *hndlpp = st.binds[pi.bind].handle.get();
    if (typep) *typep = OCI_HTYPE_BIND;
    if (in_outp) *in_outp = OCI_PARAM_IN;
    if (piecep) *piecep = pi.pieces == 0 ? OCI_FIRST_PIECE : OCI_NEXT_PIECE;
  } else {
    return Fail(err, OraError(24370));
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
    if (!pf.active || d->position - 1 != pf.define) return Fail(err, OraError(24370));
    // A piece needs a length to tell the room, and room needs a buffer.
    if (alenp == nullptr || (bufp == nullptr && *alenp > 0)) return Fail(err, OraError(24370));
    pf.buf = const_cast<void*>(bufp);
    pf.alenp = alenp;
    pf.indp = static_cast<sb2*>(const_cast<void*>(indp));
    pf.rcodep = rcodep;
    pf.buffer_set = true;
    return OCI_SUCCESS;
  }
  if (type == OCI_HTYPE_BIND) {
    OCIBind* b = AsBind(hndlp);
    if (b == nullptr || !b->stmt->state) return OCI_INVALID_HANDLE;
    PieceInsert& pi = b->stmt->state->piece_insert;
    if (!pi.active || b->position - 1 != pi.bind) return Fail(err, OraError(24370));
    if (piece > OCI_LAST_PIECE) return Fail(err, OraError(24370));
    if (bufp == nullptr && alenp && *alenp > 0) return Fail(err, OraError(24370));
    pi.buf = bufp;
    pi.len = alenp ? *alenp : 0;
    pi.piece = piece;
    if (indp && *static_cast<const sb2*>(indp) == -1) pi.null = true;
    (void)rcodep;
    pi.buffer_set = true;
    return OCI_SUCCESS;
  }
  return OCI_INVALID_HANDLE;
}
