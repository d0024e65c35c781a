// lob.cpp - LOB locators and the OCI LOB calls: open, close, length, and
// polling reads and writes in pieces, with offsets and amounts in
// characters for CLOB/NCLOB (UTF-16 units, as Oracle counts them) and in
// bytes for BLOB. Memory stays bounded by one chunk plus the caller's
// buffer whatever the LOB's size.
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
  if (st.kind == TypeKind::kNClob && csfrm != SQLCS_NCHAR) return OraError(24806);
  if (st.kind == TypeKind::kClob && csfrm != SQLCS_IMPLICIT && csfrm != 0) return OraError(24806);
  return Status::Ok();
}

// Length of a UTF-8 prefix of `s` that ends on a character boundary.
size_t WholeUtf8(std::string_view s) {
  size_t n = s.size();
  size_t k = 0;
  while (k < 4 && k < n && (static_cast<unsigned char>(s[n - 1 - k]) & 0xC0) == 0x80) ++k;
  if (k < n) {
    unsigned char lead = static_cast<unsigned char>(s[n - 1 - k]);
    size_t need = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
    if (need > k + 1) return n - 1 - k;
  }
  return n;
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
    return Fail(*err, OraError(22275));
  return OCI_SUCCESS;
}

ClientText& TextOf(OCILobLocator* loc, std::shared_ptr<ClientText>* keep) {
  *keep = loc->env ? loc->env->text : nullptr;
  if (!*keep) {
    static std::unique_ptr<ClientText> identity;
    if (!identity) (void)ClientText::Make(nullptr, &identity);  // no converter: cannot fail
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
  LobStore lobs(s.db());
  LobInfo info;
  TABDB_RETURN_IF_ERROR(lobs.Info(st.lob_id, &info));
  *bytes = info.bytes;
  *units = IsCharKind(st.kind) ? info.units : info.bytes;
  return Status::Ok();
}

Status ReadSource(Session& s, const LobState& st, uint64_t pos, size_t max, std::string* out) {
  if (st.has_inline) {
    out->assign(pos < st.inline_content.size() ? st.inline_content.substr(pos, max) : "");
    return Status::Ok();
  }
  // A read never goes past read_end, which is within the value: no need
  // to look its length up for every chunk.
  LobInfo known;
  known.bytes = st.read_end;
  LobStore lobs(s.db());
  return lobs.Read(st.lob_id, pos, max, out, &known);
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

// Fills `st.pending` with at least `want` converted bytes (or up to the
// end of the read).
Status FillPending(Session& s, LobState& st, ClientText& text, size_t want) {
  std::string raw, conv;
  while (st.pending.size() < want && (st.read_pos < st.read_end || !st.carry.empty())) {
    size_t take = static_cast<size_t>(std::min<uint64_t>(kLobChunk, st.read_end - st.read_pos));
    TABDB_RETURN_IF_ERROR(ReadSource(s, st, st.read_pos, take, &raw));
    st.read_pos += raw.size();
    if (!IsCharKind(st.kind)) {
      st.pending += raw;
      continue;
    }
    std::string src = st.carry + raw;
    bool at_end = st.read_pos >= st.read_end;
    size_t whole = at_end ? src.size() : WholeUtf8(src);
    st.carry = src.substr(whole);
    text.ToClient(std::string_view(src).substr(0, whole), &conv);
    st.pending += conv;
    if (raw.empty()) break;
  }
  return Status::Ok();
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

// A locator that is refilled or freed while its LOB is open no longer
// counts as an open LOB of its session, if that session still exists.
void ForgetOpen(const std::unique_ptr<LobState>& st) {
  if (st && st->open && st->session && !st->session_alive.expired()) st->session->LobClosed();
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
  if (!loc->state || !loc->state->valid) return OraError(22275);
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
  st.session = s;
  if (s) st.session_alive = s->lifetime();
  st.valid = !v.null;
  st.writable = writable;
  if (v.lob_id != 0) {
    st.lob_id = v.lob_id;
  } else {
    st.has_inline = true;
    st.inline_content = v.bytes;
  }
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
  LobState& st = *loc->state;
  if (mode != OCI_LOB_READONLY && mode != OCI_LOB_READWRITE) return Fail(err, OraError(24801));
  if (st.open) return Fail(err, OraError(22293));
  if (mode == OCI_LOB_READWRITE && !st.writable) return Fail(err, OraError(22920));
  if (!st.has_inline) {
    // The value must still exist (a rolled-back insert takes its LOB with it).
    LobInfo info;
    Status status = LobStore(s->db()).Info(st.lob_id, &info);
    if (!status.ok()) return Fail(err, status);
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
  LobState& st = *loc->state;
  if (!st.open) return Fail(err, OraError(22289, {"CLOSE"}));
  st.open = false;
  st.reading = false;
  st.writing = false;
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
  if (lenp == nullptr) return Fail(err, OraError(24801));
  uint64_t bytes = 0, units = 0;
  Status st = Length(*s, *loc->state, &bytes, &units);
  if (!st.ok()) return Fail(err, st);
  *lenp = units;
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
    return Fail(err, OraError(24801));
  LobState& st = *loc->state;
  Status status = CheckForm(st, csfrm);
  if (!status.ok()) return Fail(err, status);
  std::shared_ptr<ClientText> keep;
  ClientText& text = TextOf(loc, &keep);
  bool chars = IsCharKind(st.kind);
  if (piece == OCI_FIRST_PIECE || piece == OCI_ONE_PIECE || !st.reading) {
    // A new read: the offset (1-based, characters or bytes) and the
    // amount (0 and 0: to the end) count on this call only.
    if (offset == 0) return Fail(err, OraError(24801));
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
    if (!status.ok()) return Fail(err, status);
    st.reading = true;
    st.read_pos = std::min(start, bytes);
    st.read_end = std::max(st.read_pos, end);
    st.pending.clear();
    st.carry.clear();
    st.empty_piece_due = false;
    st.finished = false;
    if (st.read_pos >= st.read_end && TestPieces().empty_no_data) {
      st.reading = false;
      *byte_amtp = 0;
      if (char_amtp) *char_amtp = 0;
      return OCI_NO_DATA;
    }
  }
  if (st.empty_piece_due) {
    // The extra empty last piece of the test facility.
    st.reading = false;
    st.empty_piece_due = false;
    *byte_amtp = 0;
    if (char_amtp) *char_amtp = 0;
    return OCI_SUCCESS;
  }
  size_t room = static_cast<size_t>(std::min<oraub8>(bufl, 1u << 30));
  if (TestPieces().max_piece > 0) room = std::min(room, TestPieces().max_piece);
  // Bytes that need no conversion go from the store to the caller's buffer
  // through one reused string; text reads a few bytes past the buffer so
  // that a character the buffer would cut is seen and left for the next
  // piece. Otherwise converted text collects in `pending`, which holds
  // whole characters only (a cut one waits in `carry`), so a buffer's
  // worth is enough to cut the piece between characters.
  bool copy = st.pending.empty() && st.carry.empty() && (!chars || text.identity());
  const std::string& from = copy ? st.scratch : st.pending;
  size_t left = static_cast<size_t>(std::min<uint64_t>(st.read_end - st.read_pos, 1u << 30));
  if (copy) {
    status = ReadSource(*s, st, st.read_pos, chars ? std::min(room + 3, left) : std::min(room, left),
                        &st.scratch);
    // A stored value shorter than its recorded length would otherwise ask
    // for pieces forever.
    if (status.ok() && st.scratch.empty() && left > 0) status = OraError(22922);
  } else {
    status = FillPending(*s, st, text, room);
  }
  if (!status.ok()) return Fail(err, status);
  size_t n = chars ? CharsetPrefixBytes(text.client(), from, room) : std::min(room, from.size());
  if (n == 0 && !from.empty()) {
    // Not even one character fits the buffer.
    return Fail(err, OraError(22835, {std::to_string(from.size()), std::to_string(room)}));
  }
  std::memcpy(bufp, from.data(), n);
  *byte_amtp = n;
  if (char_amtp) *char_amtp = chars ? UnitsOfClientText(text, std::string_view(from).substr(0, n)) : 0;
  if (copy) {
    st.read_pos += n;
  } else {
    st.pending.erase(0, n);
  }
  bool more = !st.pending.empty() || st.read_pos < st.read_end || !st.carry.empty();
  if (more) return OCI_NEED_DATA;
  if (TestPieces().empty_last && n > 0) {
    st.empty_piece_due = true;
    return OCI_NEED_DATA;
  }
  st.reading = false;
  return OCI_SUCCESS;
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
  if (cbfp != nullptr || (bufp == nullptr && buflen > 0)) return Fail(err, OraError(24801));
  LobState& st = *loc->state;
  Status status = CheckForm(st, csfrm);
  if (!status.ok()) return Fail(err, status);
  if (!st.writable || st.has_inline) return Fail(err, OraError(22920));
  if (st.open && st.open_mode == OCI_LOB_READONLY) return Fail(err, OraError(22294));
  bool chars = IsCharKind(st.kind);
  std::shared_ptr<ClientText> keep;
  ClientText& text = TextOf(loc, &keep);
  LobStore lobs(s->db());
  status = s->db().BeginWrite();
  if (!status.ok()) return Fail(err, status);
  bool first = piece == OCI_FIRST_PIECE || piece == OCI_ONE_PIECE || !st.writing;
  if (first) {
    // A new write: the offset (1-based, characters or bytes) counts on
    // this call only. Writing past the end first fills the gap.
    if (offset == 0) return Fail(err, OraError(24801));
    LobInfo info;
    status = lobs.Info(st.lob_id, &info);
    uint64_t have = chars ? info.units : info.bytes;
    if (status.ok() && offset - 1 > have) status = Pad(lobs, st, offset - 1 - have);
    uint64_t start = 0;
    if (status.ok()) status = ByteOffset(*s, st, offset - 1, &start);
    if (!status.ok()) return Fail(err, status);
    st.writing = true;
    st.write_pos = start;
    st.write_units = offset - 1;
    st.write_carry.clear();
    st.write_conv.reset();
    if (chars && !text.identity()) {
      status = Converter::Open(text.client(), DatabaseCharset(), &st.write_conv);
      if (!status.ok()) return Fail(err, status);
    }
  }
  bool last = piece == OCI_LAST_PIECE || piece == OCI_ONE_PIECE;
  std::string_view in(static_cast<const char*>(bufp ? bufp : ""), static_cast<size_t>(buflen));
  std::string data;
  if (chars && st.write_conv) {
    st.write_conv->Feed(in, last, &data);
  } else if (chars) {
    // Only whole characters are stored: the bytes of a character cut by
    // the end of this piece wait for the next one.
    data = st.write_carry;
    data.append(in.data(), in.size());
    size_t whole = last ? data.size() : WholeUtf8(data);
    st.write_carry = data.substr(whole);
    data.resize(whole);
  } else {
    data.assign(in.data(), in.size());
  }
  uint64_t units = chars ? Utf16UnitCount(data) : data.size();
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
  if (!status.ok()) return Fail(err, status);
  st.write_pos += data.size();
  st.write_units += units;
  *byte_amtp = buflen;
  if (char_amtp) *char_amtp = chars ? units : 0;
  if (last) {
    st.writing = false;
    st.write_conv.reset();
    return OCI_SUCCESS;
  }
  return OCI_NEED_DATA;
}
