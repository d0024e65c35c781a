// lob.cpp - LOB locators and the OCI LOB calls: open, close, length,
// polling reads and writes in pieces, trims and temporary LOBs, with
// offsets and amounts in characters for CLOB/NCLOB (UTF-16 units, as
// Oracle counts them) and in bytes for BLOB. Memory stays bounded by one
// chunk plus the caller's buffer whatever the LOB's size.
#include "client/lob.h"

#include <algorithm>
#include <cstring>

#include "charset/charset.h"
#include "client/handles.h"
#include "client/nls.h"
#include "client/statement.h"
#include "session/session.h"
#include "storage/lob_store.h"
#include "util/errors.h"

namespace tabdb {

LobState::LobState() = default;
LobState::~LobState() = default;

namespace {

bool IsCharKind(TypeKind k) { return k == TypeKind::kClob || k == TypeKind::kNClob; }

// The caller's form must match the LOB's: NCLOB needs SQLCS_NCHAR, CLOB
// SQLCS_IMPLICIT (ORA-24806 otherwise, as the vendor's client answers).
Status CheckForm(const LobState& st, ub1 csfrm) {
  if (st.kind == TypeKind::kNClob && csfrm != SQLCS_NCHAR) return OraError(ora::kLobFormMismatch);
  if (st.kind == TypeKind::kClob && csfrm != SQLCS_IMPLICIT && csfrm != 0)
    return OraError(ora::kLobFormMismatch);
  return Status::Ok();
}

sword Check(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, OCIError** err,
            Session** s, OCILobLocator** loc) {
  OCISvcCtx* svc = AsSvcCtx(svchp);
  *err = AsError(errhp);
  *loc = AsLob(locp);
  if (svc == nullptr || *err == nullptr || *loc == nullptr) return OCI_INVALID_HANDLE;
  *s = SessionOf(svc, *err);
  if (*s == nullptr) return OCI_ERROR;
  if (!(*loc)->state || !(*loc)->state->valid || (*loc)->state->empty_marked)
    return Fail(*err, OraError(ora::kInvalidLobLocator));
  // A locator filled in a session that has ended refers to nothing any
  // more (its value may have gone with that session's rollback).
  if ((*loc)->state->session.ended()) return Fail(*err, OraError(ora::kNotLoggedOn));
  // A killed session reads and writes no LOB.
  if (Status alive = (*s)->CheckAlive(); !alive.ok()) return Fail(*err, alive);
  return OCI_SUCCESS;
}

ClientText& TextOf(OCILobLocator* loc, std::shared_ptr<ClientText>* keep) {
  *keep = loc->env ? loc->env->text : nullptr;
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

Status Length(Session& s, const LobState& st, uint64_t* bytes, uint64_t* units) {
  if (st.has_inline) {
    *bytes = st.inline_content.size();
    *units = IsCharKind(st.kind) ? Utf16UnitCount(st.inline_content) : *bytes;
    return Status::Ok();
  }
  LobInfo info;
  if (st.length_prefetched) {
    info = st.prefetch_info;  // a fetched locator is read-only: its lengths stay
  } else if (st.open && st.open_info_known) {
    info = st.open_info;
  } else {
    TABDB_RETURN_IF_ERROR(LobStore(s.db()).Info(st.lob_id, &info));
  }
  *bytes = info.bytes;
  *units = IsCharKind(st.kind) ? info.units : info.bytes;
  return Status::Ok();
}

Status ByteOffset(Session& s, const LobState& st, uint64_t units, uint64_t* out) {
  if (!IsCharKind(st.kind)) {
    *out = units;
    return Status::Ok();
  }
  if (st.has_inline) {
    size_t got = 0;
    *out = Utf8PrefixForUnits(st.inline_content, units, &got);
    return Status::Ok();
  }
  LobStore lobs(s.db());
  return lobs.ByteOffsetOfUnits(st.lob_id, units, out);
}

// Appends `n` filler units to a stored value: blanks in a character LOB,
// zero bytes in a BLOB (what lies between the old end and a write past
// it), one chunk at a time.
Status Pad(LobStore& lobs, const LobState& st, uint64_t n) {
  bool chars = IsCharKind(st.kind);
  std::string fill(static_cast<size_t>(std::min<uint64_t>(n, kLobChunk)), chars ? ' ' : '\0');
  while (n > 0) {
    size_t k = static_cast<size_t>(std::min<uint64_t>(n, fill.size()));
    TABDB_RETURN_IF_ERROR(lobs.Append(st.lob_id, std::string_view(fill.data(), k), chars));
    n -= k;
  }
  return Status::Ok();
}

// UTF-16 units of client-charset text (for the character amount).
uint64_t UnitsOfClientText(ClientText& text, std::string_view s) {
  if (text.identity()) return Utf8LeadUnits(s);
  std::string utf8;
  text.ToDb(s, &utf8);
  return Utf8LeadUnits(utf8);
}

// The character amount of a piece of `n` bytes just read into `buf`.
uint64_t PieceUnits(LobState& st, ClientText& text, const void* buf, size_t n, bool more) {
  uint64_t& left = st.read_units_left;
  if (left != LobState::kUnitsUnknown && !more) {
    uint64_t units = left;
    left = LobState::kUnitsUnknown;
    return units;
  }
  uint64_t units = UnitsOfClientText(text, std::string_view(static_cast<const char*>(buf), n));
  if (left != LobState::kUnitsUnknown) left = units <= left ? left - units : LobState::kUnitsUnknown;
  return units;
}

// A change through a locator whose row answers to CHECK constraints (a
// write from its first piece to its last, a trim) runs inside a savepoint
// of the session's database; when it completes, the row is checked, and
// the change is undone when the row breaks a constraint (or when the
// change is abandoned before its last piece). Other locators pay nothing.
Status BeginChange(Session& s, LobState& st) {
  if (!st.row_checks || !st.savepoint.empty()) return Status::Ok();
  std::string name = "tabdb_lob" + std::to_string(st.lob_id);
  TABDB_RETURN_IF_ERROR(s.db().Savepoint(name.c_str()));
  st.savepoint = std::move(name);
  return Status::Ok();
}

// Ends the change in progress, if any: checks the row when `done`, undoes
// the change when it is not done or the check fails. Returns the failure
// of the check. A savepoint that a commit or rollback in between took
// away leaves nothing to undo.
Status EndChange(Session& s, LobState& st, bool done) {
  if (st.savepoint.empty()) return Status::Ok();
  Status check = done ? st.row_checks->RunOnRow(s, st.rowid) : Status::Ok();
  if (!done || !check.ok()) (void)s.db().RollbackTo(st.savepoint.c_str());
  (void)s.db().Release(st.savepoint.c_str());
  st.savepoint.clear();
  return check;
}

// The write or trim of a locator whose row answers to checks must come
// from the session that inserted the row (whose transaction holds it).
bool OwnRow(const LobState& st, const Session* s) { return !st.row_checks || st.session.get() == s; }

// A locator that is refilled or freed while its LOB is open no longer
// counts as an open LOB of its session, if that session still exists; an
// unfinished change through it is undone.
void ForgetOpen(const std::unique_ptr<LobState>& st) {
  if (!st || (!st->open && st->savepoint.empty())) return;
  Session* s = st->session.get();
  if (s == nullptr) return;
  if (!st->savepoint.empty()) (void)EndChange(*s, *st, false);
  if (st->open) s->LobClosed();
}

}  // namespace

void MarkLobEmpty(OCILobLocator* loc) {
  ForgetOpen(loc->state);
  loc->state = std::make_unique<LobState>();
  LobState& st = *loc->state;
  st.valid = true;
  st.empty_marked = true;
}

Status LocatorValue(OCILobLocator* loc, TypeKind kind, Value* out) {
  if (!loc->state || !loc->state->valid) return OraError(ora::kInvalidLobLocator);
  const LobState& st = *loc->state;
  *out = Value::Null(kind);
  out->null = false;
  if (st.empty_marked) {
    out->empty_lob = true;
    out->bytes.clear();
    return Status::Ok();
  }
  if (st.has_inline) {
    out->bytes = st.inline_content;
    return Status::Ok();
  }
  out->lob_id = st.lob_id;
  return Status::Ok();
}

void SetLocator(OCILobLocator* loc, Session* s, TypeKind kind, const Value& v, bool writable) {
  ForgetOpen(loc->state);
  loc->state = std::make_unique<LobState>();
  LobState& st = *loc->state;
  st.kind = kind;
  st.session = SessionRef(s);
  st.valid = !v.null;
  st.writable = writable;
  if (v.lob_id != 0) {
    st.lob_id = v.lob_id;
  } else {
    st.has_inline = true;
    st.inline_content = v.bytes;
  }
}

Status PrefetchLocator(OCILobLocator* loc, Session& s, uint64_t units) {
  LobState& st = *loc->state;
  if (!st.valid) return Status::Ok();  // a NULL: nothing comes along
  if (st.has_inline) {
    st.prefetch_info.bytes = st.inline_content.size();
    st.prefetch_info.units = IsCharKind(st.kind) ? Utf16UnitCount(st.inline_content) : st.prefetch_info.bytes;
  } else {
    TABDB_RETURN_IF_ERROR(LobStore(s.db()).Info(st.lob_id, &st.prefetch_info));
    if (!IsCharKind(st.kind)) st.prefetch_info.units = st.prefetch_info.bytes;
  }
  st.length_prefetched = true;
  // The stored bytes of the first `units` characters: all of a value that
  // has no more, else at least `units` (no character takes less than a
  // byte per UTF-16 unit), which reads within them may count on.
  const LobInfo& info = st.prefetch_info;
  st.prefetched_bytes = info.units <= units ? info.bytes : std::min<uint64_t>(units, info.bytes);
  s.net().bytes_to_client += st.prefetched_bytes + kLocatorBytes;
  return Status::Ok();
}

void CheckLocatorRow(OCILobLocator* loc, const std::shared_ptr<RowChecks>& checks, int64_t rowid) {
  if (!checks || !loc->state || loc->state->has_inline) return;
  loc->state->row_checks = checks;
  loc->state->rowid = rowid;
}

}  // namespace tabdb

using namespace tabdb;

OCILobLocator::OCILobLocator() = default;
OCILobLocator::~OCILobLocator() { ForgetOpen(state); }

extern "C" sword OCILobOpen(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub1 mode) {
  OCIError* err;
  Session* s;
  OCILobLocator* loc;
  sword rc = Check(svchp, errhp, locp, &err, &s, &loc);
  if (rc != OCI_SUCCESS) return rc;
  RoundTrip(*s, TripCall::kLobOpen, 0, 0);
  LobState& st = *loc->state;
  if (mode != OCI_LOB_READONLY && mode != OCI_LOB_READWRITE)
    return Fail(err, OraError(ora::kIllegalLobParameter));
  if (st.open) return Fail(err, OraError(ora::kLobAlreadyOpen));
  if (mode == OCI_LOB_READWRITE && !st.writable) return Fail(err, OraError(ora::kLobRowNotLocked));
  if (!st.has_inline) {
    // The value must still exist (a rolled-back insert takes its LOB with it).
    Status status = LobStore(s->db()).Info(st.lob_id, &st.open_info);
    if (!status.ok()) return Fail(err, status);
    // A locator filled by a query reads the value as it was when opened;
    // one open for writing looks its lengths up as they change.
    st.open_info_known = mode == OCI_LOB_READONLY;
  }
  st.open = true;
  st.open_mode = mode;
  s->LobOpened();
  return OCI_SUCCESS;
}

extern "C" sword OCILobClose(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp) {
  OCIError* err;
  Session* s;
  OCILobLocator* loc;
  sword rc = Check(svchp, errhp, locp, &err, &s, &loc);
  if (rc != OCI_SUCCESS) return rc;
  RoundTrip(*s, TripCall::kLobClose, 0, 0);
  LobState& st = *loc->state;
  if (!st.open) return Fail(err, OraError(ora::kLobNotOpen, {"CLOSE"}));
  st.open = false;
  st.open_info_known = false;
  st.read.End();
  st.write.End();
  if (!st.savepoint.empty()) (void)EndChange(*s, st, false);  // a write left before its last piece
  s->LobClosed();
  return OCI_SUCCESS;
}

extern "C" sword OCILobGetLength2(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp,
                                  oraub8* lenp) {
  OCIError* err;
  Session* s;
  OCILobLocator* loc;
  sword rc = Check(svchp, errhp, locp, &err, &s, &loc);
  if (rc != OCI_SUCCESS) return rc;
  if (lenp == nullptr) return Fail(err, OraError(ora::kIllegalLobParameter));
  // A prefetched locator brought its length along (no round trip).
  if (!loc->state->length_prefetched) RoundTrip(*s, TripCall::kLobLength, 0, 8);
  uint64_t bytes = 0, units = 0;
  Status st = Length(*s, *loc->state, &bytes, &units);
  if (!st.ok()) return Fail(err, st);
  *lenp = units;
  return OCI_SUCCESS;
}

extern "C" sword OCILobGetChunkSize(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp,
                                    ub4* chunk_size) {
  OCIError* err;
  Session* s;
  OCILobLocator* loc;
  sword rc = Check(svchp, errhp, locp, &err, &s, &loc);
  if (rc != OCI_SUCCESS) return rc;
  if (chunk_size == nullptr) return Fail(err, OraError(ora::kIllegalLobParameter));
  // The usable chunk: bytes of a BLOB; characters of a CLOB or NCLOB,
  // which Oracle keeps in UTF-16 (two bytes each) in a database of a
  // varying-width character set. A prefetched locator brought it along;
  // others ask the server.
  if (!loc->state->length_prefetched) RoundTrip(*s, TripCall::kLobLength, 0, 8);
  *chunk_size = static_cast<ub4>(IsCharKind(loc->state->kind) ? kLobChunk / 2 : kLobChunk);
  return OCI_SUCCESS;
}

extern "C" sword OCILobRead2(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp,
                             oraub8* byte_amtp, oraub8* char_amtp, oraub8 offset, void* bufp,
                             oraub8 bufl, ub1 piece, void* ctxp, OCICallbackLobRead2 cbfp,
                             ub2 csid, ub1 csfrm) {
  (void)ctxp;
  (void)csid;
  OCIError* err;
  Session* s;
  OCILobLocator* loc;
  sword rc = Check(svchp, errhp, locp, &err, &s, &loc);
  if (rc != OCI_SUCCESS) return rc;
  if (cbfp != nullptr || bufp == nullptr || bufl == 0 || byte_amtp == nullptr)
    return Fail(err, OraError(ora::kIllegalLobParameter));
  LobState& st = *loc->state;
  Status status = CheckForm(st, csfrm);
  if (!status.ok()) return Fail(err, status);
  std::shared_ptr<ClientText> keep;
  ClientText& text = TextOf(loc, &keep);
  bool chars = IsCharKind(st.kind);
  size_t room = static_cast<size_t>(std::min<oraub8>(bufl, 1u << 30));
  if (piece == OCI_FIRST_PIECE || piece == OCI_ONE_PIECE || !st.read.active()) {
    // A new read: the offset (1-based, characters or bytes) and the
    // amount (0 and 0: to the end) count on this call only.
    if (offset == 0) return Fail(err, OraError(ora::kIllegalLobParameter));
    // One round trip, unless LOB prefetch brought what it reads (known
    // once its bytes are: below).
    st.read_trips.Begin(0);
    if (!st.length_prefetched && st.read_trips.Next(room)) RoundTrip(*s, TripCall::kLobRead, 0, 0);
    uint64_t bytes = 0, units = 0;
    status = Length(*s, st, &bytes, &units);
    uint64_t start = 0, end = bytes;
    if (status.ok()) status = ByteOffset(*s, st, offset - 1, &start);
    uint64_t amount = chars ? (char_amtp && *char_amtp ? *char_amtp : 0) : *byte_amtp;
    if (status.ok() && amount > 0) {
      if (chars) {
        status = ByteOffset(*s, st, offset - 1 + amount, &end);
      } else {
        end = std::min<uint64_t>(bytes, start + amount);
      }
    } else if (status.ok() && chars && *byte_amtp > 0) {
      end = std::min<uint64_t>(bytes, start + *byte_amtp);
    }
    start = std::min(start, bytes);
    end = std::max(start, end);
    if (status.ok() && start >= end && TestPieces().empty_no_data) {
      st.read.End();
      *byte_amtp = 0;
      if (char_amtp) *char_amtp = 0;
      return OCI_NO_DATA;
    }
    // A read of a whole stored value in the database's own character set
    // ends with a piece whose character amount is what is left of the
    // value's stored count.
    st.read_units_left = chars && !st.has_inline && text.identity() && start == 0 && end == bytes
                             ? units
                             : LobState::kUnitsUnknown;
    if (st.length_prefetched) {
      // Served by the bytes that came with the locator (all of an empty
      // value), or one round trip.
      if (status.ok() && end <= st.prefetched_bytes) {
        st.read_trips.Begin(UINT64_MAX);
      } else if (st.read_trips.Next(room)) {
        RoundTrip(*s, TripCall::kLobRead, 0, 0);
      }
    }
    if (status.ok()) {
      status = st.read.BeginRead(*s, st.has_inline ? 0 : st.lob_id,
                                 st.has_inline ? st.inline_content : std::string(), start, end,
                                 chars, false);
    }
    if (!status.ok()) return Fail(err, status);
  } else if (st.read.session() != s) {
    // The read continues in the session it began in.
    st.read.End();
    return Fail(err, OraError(ora::kNotLoggedOn));
  } else if (st.read_trips.Next(room)) {
    RoundTrip(*s, TripCall::kLobRead, 0, 0);
  }
  size_t n = 0;
  bool more = false;
  status = st.read.Read(text, bufp, room, &n, &more);
  if (!status.ok()) return Fail(err, status);
  if (st.read_trips.carried != UINT64_MAX) s->net().bytes_to_client += n;
  st.read_trips.Moved(n);
  *byte_amtp = n;
  if (char_amtp) *char_amtp = chars ? PieceUnits(st, text, bufp, n, more) : 0;
  return more ? OCI_NEED_DATA : OCI_SUCCESS;
}

extern "C" sword OCILobWrite2(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp,
                              oraub8* byte_amtp, oraub8* char_amtp, oraub8 offset, void* bufp,
                              oraub8 buflen, ub1 piece, void* ctxp, OCICallbackLobWrite2 cbfp,
                              ub2 csid, ub1 csfrm) {
  (void)ctxp;
  (void)csid;
  OCIError* err;
  Session* s;
  OCILobLocator* loc;
  sword rc = Check(svchp, errhp, locp, &err, &s, &loc);
  if (rc != OCI_SUCCESS) return rc;
  if (cbfp != nullptr || (bufp == nullptr && buflen > 0))
    return Fail(err, OraError(ora::kIllegalLobParameter));
  LobState& st = *loc->state;
  Status status = CheckForm(st, csfrm);
  if (!status.ok()) return Fail(err, status);
  if (!st.writable || st.has_inline || !OwnRow(st, s)) return Fail(err, OraError(ora::kLobRowNotLocked));
  if (st.open && st.open_mode == OCI_LOB_READONLY) return Fail(err, OraError(ora::kLobOpenedReadOnly));
  bool first = piece == OCI_FIRST_PIECE || piece == OCI_ONE_PIECE || !st.write.active();
  if (first) st.write_trips.Begin(0);
  if (st.write_trips.Next(buflen)) RoundTrip(*s, TripCall::kLobWrite, 0, 0);
  st.write_trips.Moved(buflen);
  s->net().bytes_from_client += buflen;
  bool chars = IsCharKind(st.kind);
  std::shared_ptr<ClientText> keep;
  ClientText& text = TextOf(loc, &keep);
  LobStore lobs(s->db());
  status = s->CheckWritable();
  if (status.ok()) status = s->db().BeginWrite();
  if (!status.ok()) return Fail(err, status);
  // A checked write that fails ends, undone; others stay where they were.
  auto failed = [&](const Status& e) {
    if (!st.savepoint.empty()) {
      st.write.End();
      (void)EndChange(*s, st, false);
    }
    return Fail(err, e);
  };
  if (first) {
    // A new write: the offset (1-based, characters or bytes) counts on
    // this call only. Writing past the end first fills the gap. A checked
    // write begun again before its last piece is undone first.
    if (offset == 0) return Fail(err, OraError(ora::kIllegalLobParameter));
    if (st.row_checks) {
      (void)EndChange(*s, st, false);
      status = BeginChange(*s, st);
      if (!status.ok()) return Fail(err, status);
    }
    LobInfo info;
    status = lobs.Info(st.lob_id, &info);
    uint64_t have = chars ? info.units : info.bytes;
    if (status.ok() && offset - 1 > have) status = Pad(lobs, st, offset - 1 - have);
    uint64_t start = 0;
    if (status.ok()) status = ByteOffset(*s, st, offset - 1, &start);
    if (status.ok()) status = st.write.BeginWrite(*s, chars, text);
    if (!status.ok()) return failed(status);
    st.write_pos = start;
    st.write_units = offset - 1;
  } else if (st.write.session() != s) {
    // The write continues in the session it began in.
    st.write.End();
    return Fail(err, OraError(ora::kNotLoggedOn));
  }
  bool last = piece == OCI_LAST_PIECE || piece == OCI_ONE_PIECE;
  std::string_view in(static_cast<const char*>(bufp ? bufp : ""), static_cast<size_t>(buflen));
  std::string data;
  st.write.Feed(in, last, &data);
  st.write.CountPiece();
  uint64_t units = chars ? Utf8LeadUnits(data) : data.size();
  // Writing at the end appends; writing inside the value replaces as many
  // characters (bytes) as are written and keeps what follows them.
  LobInfo info;
  status = data.empty() ? Status::Ok() : lobs.Info(st.lob_id, &info);
  if (status.ok() && !data.empty()) {
    if (st.write_pos >= info.bytes) {
      status = lobs.Append(st.lob_id, data, chars);
    } else {
      uint64_t end = st.write_pos + data.size();
      if (chars) status = lobs.ByteOffsetOfUnits(st.lob_id, st.write_units + units, &end);
      if (status.ok()) status = lobs.Splice(st.lob_id, st.write_pos, end - st.write_pos, data, chars);
    }
  }
  if (!status.ok()) return failed(status);
  st.write_pos += data.size();
  st.write_units += units;
  *byte_amtp = buflen;
  if (char_amtp) *char_amtp = chars ? units : 0;
  if (last) {
    st.write.End();
    // The whole value is written: the row must still pass its checks.
    if (!st.savepoint.empty()) {
      status = EndChange(*s, st, true);
      if (!status.ok()) return Fail(err, status);
    }
    return OCI_SUCCESS;
  }
  return OCI_NEED_DATA;
}

extern "C" sword OCILobTrim2(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, oraub8 newlen) {
  OCIError* err;
  Session* s;
  OCILobLocator* loc;
  sword rc = Check(svchp, errhp, locp, &err, &s, &loc);
  if (rc != OCI_SUCCESS) return rc;
  RoundTrip(*s, TripCall::kLobTrim, 0, 0);
  LobState& st = *loc->state;
  if (!st.writable || st.has_inline || !OwnRow(st, s)) return Fail(err, OraError(ora::kLobRowNotLocked));
  if (st.open && st.open_mode == OCI_LOB_READONLY) return Fail(err, OraError(ora::kLobOpenedReadOnly));
  Status status = s->CheckWritable();
  if (status.ok()) status = s->db().BeginWrite();
  if (!status.ok()) return Fail(err, status);
  // A write left before its last piece ends here (undone when checked).
  st.write.End();
  (void)EndChange(*s, st, false);
  bool chars = IsCharKind(st.kind);
  uint64_t bytes = 0, units = 0;
  status = Length(*s, st, &bytes, &units);
  if (status.ok() && newlen > units) status = OraError(ora::kTrimLengthTooLarge);
  if (!status.ok()) return Fail(err, status);
  if (newlen == units) return OCI_SUCCESS;
  uint64_t cut = 0;
  status = ByteOffset(*s, st, newlen, &cut);
  if (status.ok()) status = BeginChange(*s, st);
  if (!status.ok()) return Fail(err, status);
  status = LobStore(s->db()).Truncate(st.lob_id, cut, chars);
  Status check = EndChange(*s, st, status.ok());
  if (status.ok()) status = check;
  return status.ok() ? OCI_SUCCESS : Fail(err, status);
}

extern "C" sword OCILobCreateTemporary(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub2 csid,
                                       ub1 csfrm, ub1 lobtype, boolean cache, OCIDuration duration) {
  (void)csid;
  (void)cache;
  (void)duration;  // every temporary LOB lasts until it is freed
  OCISvcCtx* svc = AsSvcCtx(svchp);
  OCIError* err = AsError(errhp);
  OCILobLocator* loc = AsLob(locp);
  if (svc == nullptr || err == nullptr || loc == nullptr) return OCI_INVALID_HANDLE;
  Session* s = SessionOf(svc, err);
  if (s == nullptr) return OCI_ERROR;
  if (lobtype != OCI_TEMP_BLOB && lobtype != OCI_TEMP_CLOB) return Fail(err, OraError(ora::kIllegalLobParameter));
  RoundTrip(*s, TripCall::kLobCreateTemporary, 0, kLocatorBytes);
  TypeKind kind = lobtype == OCI_TEMP_BLOB ? TypeKind::kBlob
                  : csfrm == SQLCS_NCHAR   ? TypeKind::kNClob
                                           : TypeKind::kClob;
  Status status = s->CheckAlive();
  if (status.ok()) status = s->CheckWritable();
  if (status.ok()) status = s->db().BeginWrite();
  Value v = Value::Null(kind);
  if (status.ok()) status = LobStore(s->db()).Create(&v.lob_id);
  if (!status.ok()) return Fail(err, status);
  v.null = false;
  SetLocator(loc, s, kind, v, true);
  loc->state->temporary = true;
  return OCI_SUCCESS;
}

extern "C" sword OCILobFreeTemporary(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp) {
  OCIError* err;
  Session* s;
  OCILobLocator* loc;
  sword rc = Check(svchp, errhp, locp, &err, &s, &loc);
  if (rc != OCI_SUCCESS) return rc;
  RoundTrip(*s, TripCall::kLobFreeTemporary, kLocatorBytes, 0);
  if (!loc->state->temporary) return Fail(err, OraError(ora::kInvalidLobLocator));
  Status status = s->CheckWritable();
  if (status.ok()) status = s->db().BeginWrite();
  if (status.ok()) status = LobStore(s->db()).Delete(loc->state->lob_id);
  if (!status.ok()) return Fail(err, status);
  ForgetOpen(loc->state);
  loc->state = std::make_unique<LobState>();  // refers to nothing any more
  return OCI_SUCCESS;
}
