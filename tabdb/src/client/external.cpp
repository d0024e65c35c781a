// external.cpp - conversions between the callers' buffers in Oracle's
// external types (SQLT_*) and the engine's values, as the vendor's client
// performs them for binds and defines.
#include <algorithm>
#include <cstring>

#include "charset/charset.h"
#include "client/external_types.h"
#include "client/handles.h"
#include "client/lob.h"
#include "client/nls.h"
#include "client/statement.h"
#include "exec/convert.h"
#include "storage/lob_store.h"
#include "util/errors.h"
#include "values/binfloat.h"
#include "values/number.h"

namespace tabdb {
namespace {

bool IsTextDty(ub2 dty) {
  return dty == SQLT_CHR || dty == SQLT_STR || dty == SQLT_AFC || dty == SQLT_LNG ||
         dty == SQLT_AVC || dty == SQLT_VCS || dty == SQLT_LVC;
}

// SQLT_LVC and SQLT_LVB buffers start with the value's length, a native
// sb4, and hold its bytes after it; value_sz counts the four bytes too.
constexpr size_t kLvPrefix = sizeof(sb4);
bool IsLvDty(ub2 dty) { return dty == SQLT_LVC || dty == SQLT_LVB; }

template <typename T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Store(void* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

Status NumberValue(const Number& n, Value* out) {
  uint8_t buf[kNumberBufferBytes];
  size_t len = n.EncodeTo(buf);
  *out = Value::Of(TypeKind::kNumber, std::string(reinterpret_cast<char*>(buf), len));
  return Status::Ok();
}

// The external type's natural Oracle type, for bytes that need no
// conversion.
TypeKind NaturalKind(ub2 dty) {
  switch (dty) {
    case SQLT_NUM: return TypeKind::kNumber;
    case SQLT_DAT: return TypeKind::kDate;
    case kSqltTimestamp: return TypeKind::kTimestamp;
    case kSqltTimestampTZ: return TypeKind::kTimestampTZ;
    case kSqltTimestampLTZ: return TypeKind::kTimestampLTZ;
    case kSqltIntervalYM: return TypeKind::kIntervalYM;
    case kSqltIntervalDS: return TypeKind::kIntervalDS;
    case SQLT_IBFLOAT: return TypeKind::kBinaryFloat;
    case SQLT_IBDOUBLE: return TypeKind::kBinaryDouble;
    case SQLT_BIN: return TypeKind::kRaw;
    case SQLT_LBI: return TypeKind::kLongRaw;
    default: return TypeKind::kVarchar2;
  }
}

// Native numbers have the sizes of C types only: 1, 2, 4 or 8 bytes for
// integers, 4 or 8 for SQLT_FLT, 4 for SQLT_BFLOAT and 8 for SQLT_BDOUBLE.
bool NativeSizeOk(ub2 dty, size_t sz) {
  switch (dty) {
    case SQLT_INT:
    case SQLT_UIN:
      return sz == 1 || sz == 2 || sz == 4 || sz == 8;
    case SQLT_FLT:
      return sz == 4 || sz == 8;
    case SQLT_BFLOAT:
      return sz == 4;
    case SQLT_BDOUBLE:
      return sz == 8;
    default:
      return true;
  }
}

Status BadNativeSize(const TypeDesc& type, ub2 dty, size_t sz) {
  return OraError(ora::kInconsistentDatatypes, {DataTypeText(WithDefaults(TypeDesc{type.kind})),
                        "external type " + std::to_string(dty) + " of " + std::to_string(sz) +
                            " bytes"});
}

// Whether `x` fits a native integer of `sz` bytes (unsigned for SQLT_UIN).
bool FitsInteger(int64_t x, size_t sz, bool is_unsigned) {
  if (is_unsigned) {
    if (x < 0) return false;
    return sz >= 8 || static_cast<uint64_t>(x) < (uint64_t{1} << (8 * sz));
  }
  if (sz >= 8) return true;
  int64_t bound = int64_t{1} << (8 * sz - 1);
  return x >= -bound && x < bound;
}

}  // namespace

TypeKind BindKind(const BufferSpec& b) {
  bool national = b.csform == SQLCS_NCHAR;
  switch (b.dty) {
    case SQLT_CHR:
    case SQLT_STR:
    case SQLT_VCS:
    case SQLT_AVC:
      return national ? TypeKind::kNVarchar2 : TypeKind::kVarchar2;
    case SQLT_AFC:
      return national ? TypeKind::kNChar : TypeKind::kChar;
    case SQLT_LNG:
      return TypeKind::kLong;
    case SQLT_LVC:
      return national ? TypeKind::kNVarchar2 : TypeKind::kVarchar2;
    case SQLT_LVB:
      return TypeKind::kRaw;
    case SQLT_NUM:
    case SQLT_VNU:
    case SQLT_INT:
    case SQLT_UIN:
    case SQLT_FLT:
      return TypeKind::kNumber;
    case SQLT_BFLOAT:
      return TypeKind::kBinaryFloat;
    case SQLT_BDOUBLE:
      return TypeKind::kBinaryDouble;
    case SQLT_CLOB:
      return national ? TypeKind::kNClob : TypeKind::kClob;
    case SQLT_BLOB:
      return TypeKind::kBlob;
    default:
      return NaturalKind(b.dty);
  }
}

Status BindToValue(const BufferSpec& b, uint32_t r, ClientText& text, Value* out) {
  return BindToValue(b, r, text, BindKind(b), out);
}

Status BindToValue(const BufferSpec& b, uint32_t r, ClientText& text, TypeKind kind, Value* out) {
  const sb2* ind = b.Ind(r);
  if (ind != nullptr && *ind == -1) {
    // Field by field, so that the value keeps its buffer for the next row.
    out->kind = kind;
    out->null = true;
    out->bytes.clear();
    out->lob_id = 0;
    out->empty_lob = false;
    out->adopt = false;
    return Status::Ok();
  }
  const char* p = static_cast<const char*>(b.Value(r));
  const ub2* alen = b.Len(r);
  size_t sz = b.value_sz > 0 ? static_cast<size_t>(b.value_sz) : 0;
  size_t len = alen ? *alen : sz;
  out->kind = kind;
  out->null = false;
  out->lob_id = 0;
  out->empty_lob = false;
  out->adopt = false;
  if (p == nullptr && b.dty != SQLT_CLOB && b.dty != SQLT_BLOB) {
    *out = Value::Null(kind);
    return Status::Ok();
  }
  switch (b.dty) {
    case SQLT_STR: {
      size_t n = 0;
      while (n < sz && p[n] != '\0') ++n;
      text.ToDb(std::string_view(p, n), &out->bytes);
      if (out->bytes.empty()) out->null = true;
      return Status::Ok();
    }
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_AVC:
    case SQLT_LNG:
      if (len > sz && sz > 0) len = sz;
      text.ToDb(std::string_view(p, len), &out->bytes);
      if (out->bytes.empty()) out->null = true;
      return Status::Ok();
    case SQLT_LVC:
    case SQLT_LVB: {
      sb4 n = sz >= kLvPrefix ? Load<sb4>(p) : 0;
      if (n < 0 || static_cast<size_t>(n) > sz - std::min(sz, kLvPrefix)) return OraError(ora::kValueNotAllowed);
      std::string_view data(p + kLvPrefix, static_cast<size_t>(n));
      if (b.dty == SQLT_LVC) {
        text.ToDb(data, &out->bytes);
      } else {
        out->bytes.assign(data.data(), data.size());
      }
      if (out->bytes.empty()) out->null = true;
      return Status::Ok();
    }
    case SQLT_VNU: {
      size_t n = static_cast<unsigned char>(p[0]);
      if (n == 0 || n > 21 || (sz > 0 && n + 1 > sz)) return OraError(ora::kInvalidNumber);
      out->bytes.assign(p + 1, n);
      return Status::Ok();
    }
    case SQLT_INT: {
      if (!NativeSizeOk(b.dty, sz)) return BadNativeSize(TypeDesc{kind}, b.dty, sz);
      int64_t v;
      switch (sz) {
        case 1: v = Load<int8_t>(p); break;
        case 2: v = Load<int16_t>(p); break;
        case 4: v = Load<int32_t>(p); break;
        case 8: v = Load<int64_t>(p); break;
        default: return OraError(ora::kNotAllVariablesBound);
      }
      return NumberValue(Number::FromInt64(v), out);
    }
    case SQLT_UIN: {
      if (!NativeSizeOk(b.dty, sz)) return BadNativeSize(TypeDesc{kind}, b.dty, sz);
      uint64_t v;
      switch (sz) {
        case 1: v = Load<uint8_t>(p); break;
        case 2: v = Load<uint16_t>(p); break;
        case 4: v = Load<uint32_t>(p); break;
        case 8: v = Load<uint64_t>(p); break;
        default: return OraError(ora::kNotAllVariablesBound);
      }
      if (v > static_cast<uint64_t>(INT64_MAX)) {
        Number n;
        TABDB_RETURN_IF_ERROR(Number::Parse(std::to_string(v), &n));
        return NumberValue(n, out);
      }
      return NumberValue(Number::FromInt64(static_cast<int64_t>(v)), out);
    }
    case SQLT_FLT: {
      if (!NativeSizeOk(b.dty, sz)) return BadNativeSize(TypeDesc{kind}, b.dty, sz);
      double d = sz == 4 ? Load<float>(p) : Load<double>(p);
      Number n;
      TABDB_RETURN_IF_ERROR(Number::FromDouble(d, &n));
      return NumberValue(n, out);
    }
    case SQLT_BFLOAT: {
      if (!NativeSizeOk(b.dty, sz)) return BadNativeSize(TypeDesc{kind}, b.dty, sz);
      uint8_t buf[4];
      EncodeBinaryFloat(Load<float>(p), buf);
      out->bytes.assign(reinterpret_cast<char*>(buf), 4);
      return Status::Ok();
    }
    case SQLT_BDOUBLE: {
      if (!NativeSizeOk(b.dty, sz)) return BadNativeSize(TypeDesc{kind}, b.dty, sz);
      uint8_t buf[8];
      EncodeBinaryDouble(Load<double>(p), buf);
      out->bytes.assign(reinterpret_cast<char*>(buf), 8);
      return Status::Ok();
    }
    case SQLT_CLOB:
    case SQLT_BLOB: {
      OCILobLocator* loc = p ? AsLob(Load<OCILobLocator*>(p)) : nullptr;
      if (loc == nullptr) return OraError(ora::kInvalidLobLocator);
      return LocatorValue(loc, kind, out);
    }
    default:
      if (len > sz && sz > 0) len = sz;
      out->bytes.assign(p, len);
      if (out->bytes.empty()) out->null = true;
      return Status::Ok();
  }
}

bool BindsBytesAsTheyAre(const BufferSpec& b, const ClientText& text) {
  switch (b.dty) {
    case SQLT_STR:
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_AVC:
    case SQLT_LNG:
      return text.identity();
    case SQLT_VNU:
    case SQLT_INT:
    case SQLT_UIN:
    case SQLT_FLT:
    case SQLT_BFLOAT:
    case SQLT_BDOUBLE:
    case SQLT_CLOB:
    case SQLT_BLOB:
    case SQLT_LVC:
    case SQLT_LVB:
      return false;
    default:
      return true;
  }
}


namespace {

// PlaceBytes for SQLT_LVC and SQLT_LVB: the length first, in the buffer.
void PlaceLvBytes(const BufferSpec& d, uint32_t r, std::string_view bytes, bool* truncated) {
  char* p = static_cast<char*>(d.Value(r));
  size_t sz = d.value_sz > 0 ? static_cast<size_t>(d.value_sz) : 0;
  size_t head = std::min(sz, kLvPrefix), room = sz - head;
  size_t n = std::min(bytes.size(), room);
  *truncated = bytes.size() > room;
  if (p != nullptr && head == kLvPrefix) Store<sb4>(p, static_cast<sb4>(n));
  if (p != nullptr && n > 0) std::memcpy(p + head, bytes.data(), n);
  if (sb2* ind = d.Ind(r)) *ind = *truncated ? (bytes.size() > 32767 ? -2 : static_cast<sb2>(bytes.size())) : 0;
  if (ub2* len = d.Len(r)) *len = static_cast<ub2>(n + head > 65535 ? 65535 : n + head);
  if (ub2* rc = d.Rcode(r)) *rc = *truncated ? 1406 : 0;
}

// The bytes of a value converted for define `d`, of any external type.
void Place(const BufferSpec& d, uint32_t r, std::string_view bytes, bool* truncated) {
  if (IsLvDty(d.dty)) {
    PlaceLvBytes(d, r, bytes, truncated);
  } else {
    PlaceBytes(d, r, bytes, truncated);
  }
}

}  // namespace

void PlaceBytes(const BufferSpec& d, uint32_t r, std::string_view bytes, bool* truncated) {
  char* p = static_cast<char*>(d.Value(r));
  size_t sz = d.value_sz > 0 ? static_cast<size_t>(d.value_sz) : 0;
  size_t room = sz;
  if (d.dty == SQLT_STR) room = sz > 0 ? sz - 1 : 0;
  size_t n = bytes.size() < room ? bytes.size() : room;
  *truncated = bytes.size() > room;
  if (p != nullptr && n > 0) std::memcpy(p, bytes.data(), n);
  size_t placed = n;
  if (d.dty == SQLT_STR && p != nullptr && sz > 0) p[n] = '\0';
  if (d.dty == SQLT_AFC && p != nullptr && n < sz) {
    std::memset(p + n, ' ', sz - n);
    placed = sz;
  }
  if (sb2* ind = d.Ind(r)) {
    *ind = *truncated ? (bytes.size() > 32767 ? -2 : static_cast<sb2>(bytes.size())) : 0;
  }
  if (ub2* len = d.Len(r)) *len = static_cast<ub2>(placed > 65535 ? 65535 : placed);
  if (ub2* rc = d.Rcode(r)) *rc = *truncated ? 1406 : 0;
}

namespace {

// The content of a LOB or LONG value for a non-locator define, cut at
// `limit` bytes.
Status LobContent(Session& s, const Value& v, size_t limit, std::string* out) {
  if (v.lob_id == 0) {
    *out = v.bytes;
    return Status::Ok();
  }
  LobStore lobs(s.db());
  return lobs.Read(v.lob_id, 0, limit, out);
}

// The whole length in bytes of a LOB or LONG value as a define of `dty`
// delivers it: hex digits for binary values read as text, client bytes
// for character values. The indicator of a truncated value reports it, so
// it must not be taken from the prefix that was read. A character value
// that needs conversion is converted chunk by chunk (memory stays bounded).
Status LobDeliveredLength(Session& s, const TypeDesc& type, const Value& v, ub2 dty,
                          ClientText& text, uint64_t* out) {
  bool binary = type.kind == TypeKind::kBlob || type.kind == TypeKind::kLongRaw;
  uint64_t factor = binary && IsTextDty(dty) ? 2 : 1;
  bool as_stored = binary || !IsTextDty(dty) || text.identity();
  std::string conv;
  if (v.lob_id == 0) {
    if (as_stored) {
      *out = v.bytes.size() * factor;
    } else {
      text.ToClient(v.bytes, &conv);
      *out = conv.size();
    }
    return Status::Ok();
  }
  LobStore lobs(s.db());
  LobInfo info;
  TABDB_RETURN_IF_ERROR(lobs.Info(v.lob_id, &info));
  if (as_stored) {
    *out = info.bytes * factor;
    return Status::Ok();
  }
  *out = 0;
  std::string chunk, carry;
  for (uint64_t off = 0; off < info.bytes; off += kLobChunk) {
    TABDB_RETURN_IF_ERROR(lobs.Read(v.lob_id, off, kLobChunk, &chunk));
    carry += chunk;
    // Convert whole UTF-8 characters; a character cut by the chunk end
    // waits for the next chunk.
    size_t whole = off + kLobChunk < info.bytes ? Utf8WholePrefix(carry) : carry.size();
    text.ToClient(std::string_view(carry).substr(0, whole), &conv);
    *out += conv.size();
    carry.erase(0, whole);
  }
  return Status::Ok();
}

// Corrects the indicator of a truncated LOB or LONG value to its whole
// length (-2 beyond 32767 bytes), as PlaceBytes only saw the prefix read.
Status ReportLobLength(const BufferSpec& d, uint32_t r, Session& s, const TypeDesc& type,
                       const Value& v, ClientText& text, bool truncated) {
  sb2* ind = d.Ind(r);
  if (!truncated || ind == nullptr) return Status::Ok();
  uint64_t full = 0;
  TABDB_RETURN_IF_ERROR(LobDeliveredLength(s, type, v, d.dty, text, &full));
  *ind = full > 32767 ? -2 : static_cast<sb2>(full);
  return Status::Ok();
}

// A stored LOB or LONG value into a define that takes its bytes as they
// are (binary data into a binary type, text of the database character set
// into text): its length from the store, then no more of its bytes than
// the buffer holds, straight into it. *done is false when another way is
// needed.
Status PlaceStoredBytes(const BufferSpec& d, uint32_t r, const TypeDesc& type, const Value& v,
                        ClientText& text, Session& s, bool* truncated, bool* done) {
  *done = false;
  bool binary = type.kind == TypeKind::kBlob || type.kind == TypeKind::kLongRaw;
  bool as_is = binary ? d.dty == SQLT_BIN || d.dty == SQLT_LBI || d.dty == SQLT_LVB
                      : (d.dty == SQLT_CHR || d.dty == SQLT_LNG || d.dty == SQLT_LVC) && text.identity();
  char* p = static_cast<char*>(d.Value(r));
  if (v.lob_id == 0 || !as_is || p == nullptr) return Status::Ok();
  size_t sz = d.value_sz > 0 ? static_cast<size_t>(d.value_sz) : 0;
  size_t head = IsLvDty(d.dty) ? std::min(sz, kLvPrefix) : 0;
  size_t room = sz - head;
  LobInfo info;
  TABDB_RETURN_IF_ERROR(LobStore(s.db()).Info(v.lob_id, &info));
  size_t n = static_cast<size_t>(std::min<uint64_t>(info.bytes, room));
  if (n > 0) {
    LobReader reader;
    size_t got = 0;
    TABDB_RETURN_IF_ERROR(reader.Open(s.db(), v.lob_id, 0, n));
    TABDB_RETURN_IF_ERROR(reader.Take(s.db(), p + head, n, &got));
    if (got != n) return OraError(ora::kInternalError, {"lob chunk missing"});
  }
  if (head == kLvPrefix) Store<sb4>(p, static_cast<sb4>(n));
  *truncated = info.bytes > room;
  if (sb2* ind = d.Ind(r)) *ind = *truncated ? (info.bytes > 32767 ? -2 : static_cast<sb2>(info.bytes)) : 0;
  size_t placed = n + head;
  if (ub2* len = d.Len(r)) *len = static_cast<ub2>(placed > 65535 ? 65535 : placed);
  if (ub2* rc = d.Rcode(r)) *rc = *truncated ? 1406 : 0;
  *done = true;
  return Status::Ok();
}

}  // namespace

Status ValueToDefine(const BufferSpec& d, uint32_t r, const TypeDesc& type, const Value& v,
                     ClientText& text, Session& s, bool* truncated) {
  *truncated = false;
  if (v.null) {
    sb2* ind = d.Ind(r);
    if (ind == nullptr) return OraError(ora::kFetchedNull);
    *ind = -1;
    if (ub2* len = d.Len(r)) *len = 0;
    if (ub2* rc = d.Rcode(r)) *rc = 1405;
    return Status::Ok();
  }
  size_t sz = d.value_sz > 0 ? static_cast<size_t>(d.value_sz) : 0;
  std::string tmp;
  std::string conv;
  bool done = false;
  if (IsTextDty(d.dty)) {
    if (IsLob(type.kind) || IsLong(type.kind)) {
      TABDB_RETURN_IF_ERROR(PlaceStoredBytes(d, r, type, v, text, s, truncated, &done));
      if (done) return Status::Ok();
      if (type.kind == TypeKind::kBlob || type.kind == TypeKind::kLongRaw) {
        TABDB_RETURN_IF_ERROR(LobContent(s, v, (sz + 1) / 2 + 1, &tmp));
        conv = ToHex(tmp);
      } else {
        TABDB_RETURN_IF_ERROR(LobContent(s, v, sz * 4 + 4, &tmp));
        text.ToClient(tmp, &conv);
      }
    } else if (IsCharacter(type.kind)) {
      text.ToClient(v.bytes, &conv);
    } else {
      TABDB_RETURN_IF_ERROR(ValueToTypedText(v, type, &tmp));
      text.ToClient(tmp, &conv);
    }
    Place(d, r, conv, truncated);
    if (IsLob(type.kind) || IsLong(type.kind))
      return ReportLobLength(d, r, s, type, v, text, *truncated);
    return Status::Ok();
  }
  Value cv;
  switch (d.dty) {
    case SQLT_NUM:
    case SQLT_VNU:
    case SQLT_INT:
    case SQLT_UIN:
    case SQLT_FLT: {
      TABDB_RETURN_IF_ERROR(ConvertValue(v, TypeKind::kNumber, &cv));
      Number n;
      TABDB_RETURN_IF_ERROR(Number::Decode(reinterpret_cast<const uint8_t*>(cv.bytes.data()),
                                           cv.bytes.size(), &n));
      void* p = d.Value(r);
      if (d.dty == SQLT_NUM) {
        PlaceBytes(d, r, cv.bytes, truncated);
        return Status::Ok();
      }
      if (d.dty == SQLT_VNU) {
        std::string vnu(1, static_cast<char>(cv.bytes.size()));
        vnu += cv.bytes;
        PlaceBytes(d, r, vnu, truncated);
        return Status::Ok();
      }
      if (!NativeSizeOk(d.dty, sz)) return BadNativeSize(type, d.dty, sz);
      if (d.dty == SQLT_FLT) {
        double x = n.ToDouble();
        if (p == nullptr) {
        } else if (sz == 4) {
          Store<float>(p, static_cast<float>(x));
        } else {
          Store<double>(p, x);
        }
      } else {
        // Fractions are dropped; a value the integer cannot hold fails the
        // fetch rather than arriving wrapped around.
        int64_t x = 0;
        if (!n.Trunc(0).ToInt64(&x).ok() || !FitsInteger(x, sz, d.dty == SQLT_UIN))
          return OraError(ora::kIntegerOverflow);
        if (p == nullptr) {
        } else if (sz == 1) {
          Store<int8_t>(p, static_cast<int8_t>(x));
        } else if (sz == 2) {
          Store<int16_t>(p, static_cast<int16_t>(x));
        } else if (sz == 4) {
          Store<int32_t>(p, static_cast<int32_t>(x));
        } else {
          Store<int64_t>(p, x);
        }
      }
      if (sb2* ind = d.Ind(r)) *ind = 0;
      if (ub2* len = d.Len(r)) *len = static_cast<ub2>(sz);
      if (ub2* rc = d.Rcode(r)) *rc = 0;
      return Status::Ok();
    }
    case SQLT_BFLOAT:
    case SQLT_BDOUBLE: {
      TypeKind k = d.dty == SQLT_BFLOAT ? TypeKind::kBinaryFloat : TypeKind::kBinaryDouble;
      if (!NativeSizeOk(d.dty, sz)) return BadNativeSize(type, d.dty, sz);
      TABDB_RETURN_IF_ERROR(ConvertValue(v, k, &cv));
      const uint8_t* b = reinterpret_cast<const uint8_t*>(cv.bytes.data());
      if (void* p = d.Value(r)) {
        if (k == TypeKind::kBinaryFloat) {
          Store<float>(p, DecodeBinaryFloat(b));
        } else {
          Store<double>(p, DecodeBinaryDouble(b));
        }
      }
      if (sb2* ind = d.Ind(r)) *ind = 0;
      if (ub2* len = d.Len(r)) *len = static_cast<ub2>(k == TypeKind::kBinaryFloat ? 4 : 8);
      if (ub2* rc = d.Rcode(r)) *rc = 0;
      return Status::Ok();
    }
    case SQLT_BIN:
    case SQLT_LBI:
    case SQLT_LVB:
      if (IsLob(type.kind) || IsLong(type.kind)) {
        TABDB_RETURN_IF_ERROR(PlaceStoredBytes(d, r, type, v, text, s, truncated, &done));
        if (done) return Status::Ok();
        TABDB_RETURN_IF_ERROR(LobContent(s, v, sz + 1, &tmp));
        Place(d, r, tmp, truncated);
        return ReportLobLength(d, r, s, type, v, text, *truncated);
      }
      if (IsCharacter(type.kind)) {
        text.ToClient(v.bytes, &conv);
        Place(d, r, conv, truncated);
        return Status::Ok();
      }
      TABDB_RETURN_IF_ERROR(ConvertValue(v, TypeKind::kRaw, &cv));
      Place(d, r, cv.bytes, truncated);
      return Status::Ok();
    case SQLT_DAT:
    case kSqltTimestamp:
    case kSqltTimestampTZ:
    case kSqltTimestampLTZ:
    case kSqltIntervalYM:
    case kSqltIntervalDS:
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE: {
      TypeKind k = NaturalKind(d.dty);
      if (v.kind == k) {
        PlaceBytes(d, r, v.bytes, truncated);
        return Status::Ok();
      }
      TABDB_RETURN_IF_ERROR(ConvertValue(v, k, &cv));
      PlaceBytes(d, r, cv.bytes, truncated);
      return Status::Ok();
    }
    default:
      return OraError(ora::kInconsistentDatatypes, {DataTypeText(WithDefaults(TypeDesc{type.kind})),
                                                    "external type " + std::to_string(d.dty)});
  }
}

}  // namespace tabdb
