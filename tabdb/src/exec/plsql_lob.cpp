// plsql_lob.cpp - DBMS_LOB procedures over the values of PL/SQL LOB
// variables. A variable's LOB is worked on as a whole value in memory: a
// stored LOB read into a variable is copied, not written back. Offsets and
// amounts are characters of a CLOB (code points), bytes of a BLOB.
#include "exec/plsql_lob.h"

#include <cmath>

#include "exec/convert.h"
#include "storage/lob_store.h"
#include "util/errors.h"

namespace tabdb {
namespace pl {
namespace {

// The largest LOB a variable holds here.
constexpr size_t kMaxLobBytes = 64u << 20;

bool Binary(TypeKind k) { return k == TypeKind::kBlob || k == TypeKind::kRaw || k == TypeKind::kLongRaw; }

// Offsets of the characters of UTF-8 text (a byte each of binary data),
// with the length at the end.
std::vector<size_t> Starts(const std::string& s, bool binary) {
  std::vector<size_t> out;
  for (size_t i = 0; i < s.size(); ++i)
    if (binary || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) out.push_back(i);
  out.push_back(s.size());
  return out;
}

Status Int(const Value& v, int64_t* out) {
  if (v.null) return OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error");
  Value n;
  TABDB_RETURN_IF_ERROR(ConvertValue(v, TypeKind::kNumber, &n));
  std::string text;
  TABDB_RETURN_IF_ERROR(ValueToText(n, &text));
  double d = std::strtod(text.c_str(), nullptr);
  if (!(std::fabs(d) < 4e18)) return OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error");
  *out = static_cast<int64_t>(d);
  return Status::Ok();
}

// ORA-21560: argument %s is null, invalid, or out of range.
Status BadArgument(int n) {
  return OraErrorText(21560, "argument " + std::to_string(n) + " is null, invalid, or out of range");
}

struct Lob {
  TypeKind kind = TypeKind::kClob;
  std::string data;
  bool binary() const { return Binary(kind); }
  size_t length() const { return Starts(data, binary()).size() - 1; }
  // Writes `piece` at character `offset` (0-based), padding a gap with
  // blanks or zero bytes.
  void Write(size_t offset, const std::string& piece) {
    std::vector<size_t> at = Starts(data, binary());
    size_t n = at.size() - 1;
    if (offset > n) {
      data.append(offset - n, binary() ? '\0' : ' ');
      at = Starts(data, binary());
    }
    std::vector<size_t> p = Starts(piece, binary());
    size_t count = p.size() - 1;
    size_t b = at[offset];
    size_t e = offset + count < at.size() ? at[offset + count] : data.size();
    data.replace(b, e - b, piece);
  }
  // Characters [from, from + count).
  std::string Piece(size_t from, size_t count) const {
    std::vector<size_t> at = Starts(data, binary());
    size_t n = at.size() - 1;
    if (from >= n) return std::string();
    size_t to = std::min(n, from + count);
    return data.substr(at[from], at[to] - at[from]);
  }
};

Status ToLob(Session& s, const Value& v, TypeKind kind, Lob* out, int arg) {
  if (v.null) return BadArgument(arg);
  out->kind = IsLob(v.kind) ? v.kind : kind;
  return LobContent(s, v, &out->data);
}

Value FromLob(const Lob& l) { return Value::Of(l.kind, l.data); }

}  // namespace

Status LobContent(Session& s, const Value& v, std::string* out) {
  out->clear();
  if (v.null) return Status::Ok();
  if (v.lob_id != 0) {
    LobStore lobs(s.db());
    return lobs.ReadAll(v.lob_id, kMaxLobBytes, out);
  }
  if (Binary(v.kind) || IsCharacter(v.kind) || IsLob(v.kind)) {
    *out = v.bytes;
    return Status::Ok();
  }
  return ValueToText(v, out);
}

bool IsLobProcedure(const std::string& n) {
  static const char* const kNames[] = {"CREATETEMPORARY", "FREETEMPORARY", "APPEND", "WRITEAPPEND", "WRITE",
                                       "COPY",            "TRIM",          "ERASE",  "OPEN",        "CLOSE"};
  if (n.compare(0, 9, "DBMS_LOB.") != 0) return false;
  for (const char* k : kNames)
    if (n.compare(9, std::string::npos, k) == 0) return true;
  return false;
}

Status CallLobProcedure(Session& s, const std::string& name, std::vector<Value>* args, std::vector<bool>* changed) {
  std::string p = name.substr(9);
  std::vector<Value>& a = *args;
  changed->assign(a.size(), false);
  auto need = [&](size_t lo, size_t hi) -> Status {
    if (a.size() < lo || a.size() > hi)
      return OraErrorText(ora::kPlsqlLineColumn, "PLS-00306: wrong number or types of arguments in call to '" + p + "'");
    return Status::Ok();
  };
  TypeKind kind = a.empty() || a[0].kind == TypeKind::kVarchar2 ? TypeKind::kClob : a[0].kind;
  if (p == "OPEN" || p == "CLOSE") return need(1, 2);
  if (p == "CREATETEMPORARY") {
    TABDB_RETURN_IF_ERROR(need(2, 3));
    a[0] = Value::Of(IsLob(kind) ? kind : TypeKind::kClob, std::string());
    (*changed)[0] = true;
    return Status::Ok();
  }
  if (p == "FREETEMPORARY") {
    TABDB_RETURN_IF_ERROR(need(1, 1));
    a[0] = Value::Null(kind);
    (*changed)[0] = true;
    return Status::Ok();
  }
  Lob dest;
  TABDB_RETURN_IF_ERROR(ToLob(s, a.empty() ? Value() : a[0], kind, &dest, 1));
  if (p == "APPEND") {
    TABDB_RETURN_IF_ERROR(need(2, 2));
    Lob src;
    TABDB_RETURN_IF_ERROR(ToLob(s, a[1], dest.kind, &src, 2));
    dest.data += src.data;
  } else if (p == "WRITEAPPEND" || p == "WRITE") {
    bool append = p == "WRITEAPPEND";
    TABDB_RETURN_IF_ERROR(need(append ? 3 : 4, append ? 3 : 4));
    int64_t amount = 0, offset = 1;
    TABDB_RETURN_IF_ERROR(Int(a[1], &amount));
    if (!append) TABDB_RETURN_IF_ERROR(Int(a[2], &offset));
    Lob buf;
    TABDB_RETURN_IF_ERROR(ToLob(s, a.back(), dest.kind, &buf, static_cast<int>(a.size())));
    if (amount < 1 || static_cast<size_t>(amount) > buf.length()) return BadArgument(2);
    if (offset < 1) return BadArgument(3);
    dest.Write(append ? dest.length() : static_cast<size_t>(offset - 1), buf.Piece(0, static_cast<size_t>(amount)));
  } else if (p == "COPY") {
    TABDB_RETURN_IF_ERROR(need(3, 5));
    Lob src;
    TABDB_RETURN_IF_ERROR(ToLob(s, a[1], dest.kind, &src, 2));
    int64_t amount = 0, dest_off = 1, src_off = 1;
    TABDB_RETURN_IF_ERROR(Int(a[2], &amount));
    if (a.size() > 3) TABDB_RETURN_IF_ERROR(Int(a[3], &dest_off));
    if (a.size() > 4) TABDB_RETURN_IF_ERROR(Int(a[4], &src_off));
    if (amount < 1) return BadArgument(3);
    if (dest_off < 1) return BadArgument(4);
    if (src_off < 1) return BadArgument(5);
    dest.Write(static_cast<size_t>(dest_off - 1), src.Piece(static_cast<size_t>(src_off - 1), static_cast<size_t>(amount)));
  } else if (p == "TRIM") {
    TABDB_RETURN_IF_ERROR(need(2, 2));
    int64_t len = 0;
    TABDB_RETURN_IF_ERROR(Int(a[1], &len));
    if (len < 0 || static_cast<size_t>(len) > dest.length()) return BadArgument(2);
    dest.data = dest.Piece(0, static_cast<size_t>(len));
  } else {  // ERASE (lob, amount IN OUT [, offset])
    TABDB_RETURN_IF_ERROR(need(2, 3));
    int64_t amount = 0, offset = 1;
    TABDB_RETURN_IF_ERROR(Int(a[1], &amount));
    if (a.size() > 2) TABDB_RETURN_IF_ERROR(Int(a[2], &offset));
    if (amount < 1) return BadArgument(2);
    if (offset < 1) return BadArgument(3);
    size_t n = dest.length();
    size_t from = static_cast<size_t>(offset - 1);
    size_t count = from >= n ? 0 : std::min(n - from, static_cast<size_t>(amount));
    dest.Write(from, std::string(count, dest.binary() ? '\0' : ' '));
    Status st = TextToValue(std::to_string(count), TypeKind::kNumber, &a[1]);
    TABDB_RETURN_IF_ERROR(st);
    (*changed)[1] = true;
  }
  a[0] = FromLob(dest);
  (*changed)[0] = true;
  return Status::Ok();
}

}  // namespace pl
}  // namespace tabdb
