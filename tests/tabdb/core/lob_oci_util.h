// lob_oci_util.h - an OCI session on a fresh database file, and the call
// sequences with which the export and import programs move LONG and LOB
// values (piecewise fetch, data at execution, polling LOB reads and
// writes), shared by the LONG and LOB tests.
#pragma once

#include <gtest/gtest.h>
#include <oci.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/database.h"
#include "oci_logon.h"
#include "support.h"

namespace lobtest {

// The buffer the programs offer for every LONG piece and LOB read.
constexpr ub4 kPiece = 32768;

// Produces a value piece by piece: fills `buf` with up to `max` bytes and
// returns how many; 0 once the value has ended.
using Source = std::function<size_t(char* buf, size_t max)>;
// Receives delivered bytes in order.
using Sink = std::function<void(const char* p, size_t n)>;

inline Source FromString(std::string s) {
  auto data = std::make_shared<std::string>(std::move(s));
  auto pos = std::make_shared<size_t>(0);
  return [data, pos](char* buf, size_t max) {
    size_t n = std::min(max, data->size() - *pos);
    std::memcpy(buf, data->data() + *pos, n);
    *pos += n;
    return n;
  };
}

inline Sink ToString(std::string* out) {
  out->clear();
  return [out](const char* p, size_t n) { out->append(p, n); };
}

// Byte i of the deterministic test patterns: binary (all 256 values) or
// printable ASCII text.
inline char PatternByte(uint64_t i, bool text) {
  uint64_t x = i * 0x9E3779B97F4A7C15ull;
  x ^= x >> 29;
  return text ? static_cast<char>(' ' + (x >> 40) % 95) : static_cast<char>(x >> 40);
}

inline std::string Pattern(size_t n, bool text) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = PatternByte(i, text);
  return s;
}

// A pattern value of `n` bytes made on the fly (for values too large to
// hold in memory).
inline Source PatternSource(uint64_t n, bool text) {
  auto pos = std::make_shared<uint64_t>(0);
  return [n, text, pos](char* buf, size_t max) {
    size_t k = static_cast<size_t>(std::min<uint64_t>(max, n - *pos));
    for (size_t i = 0; i < k; ++i) buf[i] = PatternByte(*pos + i, text);
    *pos += k;
    return k;
  };
}

// Checks delivered bytes against the pattern without keeping them.
struct PatternCheck {
  bool text = false;
  uint64_t seen = 0;
  uint64_t first_bad = UINT64_MAX;
  Sink sink() {
    return [this](const char* p, size_t n) {
      for (size_t i = 0; i < n; ++i) {
        if (first_bad == UINT64_MAX && p[i] != PatternByte(seen + i, text)) first_bad = seen + i;
      }
      seen += n;
    };
  }
};

// UTF-8 text cycling through characters of 1, 2, 3 and 4 bytes (the
// last outside the BMP, two UTF-16 units) until it has at least `bytes`
// bytes; `units` receives its length in UTF-16 units.
inline std::string MixedUtf8(size_t bytes, uint64_t* units = nullptr) {
  static const char* const kChars[] = {"a", "\xC3\xA9",    "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                       "Z", "\xE4\xB8\xAD"};
  static const int kUnits[] = {1, 1, 1, 2, 1, 1};
  std::string s;
  uint64_t u = 0;
  for (size_t i = 0; s.size() < bytes; ++i) {
    s += kChars[i % 6];
    u += static_cast<uint64_t>(kUnits[i % 6]);
  }
  if (units) *units = u;
  return s;
}

// Whether `s` is a sequence of whole UTF-8 characters.
inline bool WholeUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

// Whether `s` is a sequence of whole ZHS16GBK characters (a lead byte of
// 0x81 or more takes the next byte with it).
inline bool WholeGbk(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) i += static_cast<unsigned char>(s[i]) >= 0x81 ? 2 : 1;
  return i == s.size();
}

// A session on a database file, through the OCI calls, as SYSTEM. The
// client character set comes from NLS_LANG as it is while the environment
// is created; Connect sets it for that moment only.
class Oci : public testsupport::OciLogon {
 public:
  Oci() = default;
  Oci(const Oci&) = delete;
  Oci& operator=(const Oci&) = delete;
  ~Oci() { Close(); }

  // Creates the database file `path` (SYSTEM/manager).
  static void CreateDatabase(const std::string& path) {
    tabdb::Status st = tabdb::Database::Create(path, "manager");
    ASSERT_TRUE(st.ok()) << st.text();
  }

  // Logs on to `path`; `nls_lang` empty leaves NLS_LANG unset.
  void Connect(const std::string& path, const std::string& nls_lang = "AMERICAN_AMERICA.AL32UTF8") {
    const char* old = std::getenv("NLS_LANG");
    std::string saved = old ? old : "";
    if (nls_lang.empty()) {
      unsetenv("NLS_LANG");
    } else {
      setenv("NLS_LANG", nls_lang.c_str(), 1);
    }
    sword rc = OCIEnvCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    if (old) {
      setenv("NLS_LANG", saved.c_str(), 1);
    } else {
      unsetenv("NLS_LANG");
    }
    ASSERT_EQ(OCI_SUCCESS, rc);
    ASSERT_EQ(OCI_SUCCESS, Begin(path, "SYSTEM", "manager")) << Error();
  }

  void Close() {
    for (OCIStmt* s : stmts_) OCIHandleFree(s, OCI_HTYPE_STMT);
    stmts_.clear();
    for (OCILobLocator* l : locs_) OCIDescriptorFree(l, OCI_DTYPE_LOB);
    locs_.clear();
    End();
  }

  // The Oracle error number and text of the last failed call.
  int Code() {
    sb4 code = 0;
    OraText buf[1024] = {0};
    OCIErrorGet(err, 1, nullptr, &code, buf, sizeof buf, OCI_HTYPE_ERROR);
    return code;
  }
  std::string Error() {
    sb4 code = 0;
    OraText buf[1024] = {0};
    OCIErrorGet(err, 1, nullptr, &code, buf, sizeof buf, OCI_HTYPE_ERROR);
    return reinterpret_cast<const char*>(buf);
  }

  // A statement handle, freed with the session.
  OCIStmt* Stmt() {
    OCIStmt* s = nullptr;
    OCIHandleAlloc(env, reinterpret_cast<void**>(&s), OCI_HTYPE_STMT, 0, nullptr);
    stmts_.push_back(s);
    return s;
  }
  // A LOB locator, freed with the session.
  OCILobLocator* Locator() {
    void* l = nullptr;
    OCIDescriptorAlloc(env, &l, OCI_DTYPE_LOB, 0, nullptr);
    locs_.push_back(static_cast<OCILobLocator*>(l));
    return static_cast<OCILobLocator*>(l);
  }
  // A locator marked as a new empty LOB (OCI_ATTR_LOBEMPTY).
  OCILobLocator* EmptyLocator() {
    OCILobLocator* l = Locator();
    ub4 zero = 0;
    OCIAttrSet(l, OCI_DTYPE_LOB, &zero, 0, OCI_ATTR_LOBEMPTY, err);
    return l;
  }

  sword Prepare(OCIStmt* s, const std::string& sql) {
    return OCIStmtPrepare(s, err, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()),
                          OCI_NTV_SYNTAX, OCI_DEFAULT);
  }
  // Prepares and executes a statement without binds.
  sword Exec(const std::string& sql) {
    OCIStmt* s = Stmt();
    sword rc = Prepare(s, sql);
    if (rc != OCI_SUCCESS) return rc;
    return OCIStmtExecute(svc, s, err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
  }
  void Run(const std::string& sql) { ASSERT_EQ(OCI_SUCCESS, Exec(sql)) << sql << "\n" << Error(); }
  sword Commit() { return OCITransCommit(svc, err, OCI_DEFAULT); }

  // The single number a query returns (-1 for NULL or no row).
  long Number(const std::string& sql) {
    OCIStmt* s = Stmt();
    long v = -1;
    sb2 ind = 0;
    if (Prepare(s, sql) != OCI_SUCCESS) return -2;
    OCIDefine* d = nullptr;
    OCIDefineByPos(s, &d, err, 1, &v, sizeof v, SQLT_INT, &ind, nullptr, nullptr, OCI_DEFAULT);
    sword rc = OCIStmtExecute(svc, s, err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) return -2;
    return ind == -1 ? -1 : v;
  }

  // The single text value a query returns ("<null>" for NULL, "<error>"
  // when it fails).
  std::string Text(const std::string& sql) {
    OCIStmt* s = Stmt();
    char buf[8001] = {0};
    sb2 ind = 0;
    if (Prepare(s, sql) != OCI_SUCCESS) return "<error>";
    OCIDefine* d = nullptr;
    OCIDefineByPos(s, &d, err, 1, buf, sizeof buf, SQLT_STR, &ind, nullptr, nullptr, OCI_DEFAULT);
    sword rc = OCIStmtExecute(svc, s, err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) return "<error>";
    return ind == -1 ? "<null>" : std::string(buf);
  }

  // Runs `sql` (one LOB column) and points `loc` at the first row's value.
  sword SelectLocator(const std::string& sql, ub2 dty, OCILobLocator* loc, sb2* ind,
                      ub1 csform = SQLCS_IMPLICIT) {
    OCIStmt* s = Stmt();
    sword rc = Prepare(s, sql);
    if (rc != OCI_SUCCESS) return rc;
    OCIDefine* d = nullptr;
    loc_slots_.push_back(std::make_unique<OCILobLocator*>(loc));
    rc = OCIDefineByPos(s, &d, err, 1, loc_slots_.back().get(), sizeof(OCILobLocator*), dty, ind, nullptr,
                        nullptr, OCI_DEFAULT);
    if (rc != OCI_SUCCESS) return rc;
    if (csform == SQLCS_NCHAR) OCIAttrSet(d, OCI_HTYPE_DEFINE, &csform, 0, OCI_ATTR_CHARSET_FORM, err);
    return OCIStmtExecute(svc, s, err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
  }

  // Runs an INSERT whose LOB values are all bound as locators and whose
  // RETURNING clause hands back one locator per LOB, as the import binds
  // them: input j gets a new empty LOB, or NULL when null[j]; `ret`
  // receives the locators and `ret_ind` their indicators.
  sword InsertReturning(const std::string& sql, const std::vector<ub2>& dtys, const std::vector<ub1>& forms,
                        const std::vector<bool>& null, std::vector<OCILobLocator*>* ret,
                        std::vector<sb2>* ret_ind) {
    OCIStmt* s = Stmt();
    sword rc = Prepare(s, sql);
    if (rc != OCI_SUCCESS) return rc;
    size_t n = dtys.size();
    auto in = std::make_shared<std::vector<OCILobLocator*>>(n);
    auto in_ind = std::make_shared<std::vector<sb2>>(n);
    auto out = std::make_shared<std::vector<OCILobLocator*>>(n);
    ret_ind->assign(n, -2);
    for (size_t j = 0; j < n; ++j) {
      (*in)[j] = EmptyLocator();
      (*in_ind)[j] = null[j] ? -1 : 0;
      (*out)[j] = Locator();
    }
    keep_.push_back(in);
    keep_.push_back(in_ind);
    keep_.push_back(out);
    for (size_t j = 0; j < 2 * n; ++j) {
      size_t k = j % n;
      OCIBind* b = nullptr;
      void* valuep = j < n ? static_cast<void*>(&(*in)[k]) : static_cast<void*>(&(*out)[k]);
      sb2* indp = j < n ? &(*in_ind)[k] : &(*ret_ind)[k];
      rc = OCIBindByPos(s, &b, err, static_cast<ub4>(j + 1), valuep, sizeof(OCILobLocator*), dtys[k], indp,
                        nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
      if (rc != OCI_SUCCESS) return rc;
      // As the import binds them: the national form on the input binds
      // only; the RETURNING locators take their form from the column.
      ub1 form = forms[k];
      if (j < n && form == SQLCS_NCHAR) OCIAttrSet(b, OCI_HTYPE_BIND, &form, 0, OCI_ATTR_CHARSET_FORM, err);
    }
    rc = OCIStmtExecute(svc, s, err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    *ret = *out;
    return rc;
  }

 private:
  std::vector<OCIStmt*> stmts_;
  std::vector<OCILobLocator*> locs_;
  std::vector<std::unique_ptr<OCILobLocator*>> loc_slots_;
  std::vector<std::shared_ptr<void>> keep_;
};

// What the piecewise insert of a LONG saw.
struct LongInsert {
  std::vector<ub1> codes;      // piece code OCIStmtGetPieceInfo reported before each piece
  std::vector<ub4> types;      // handle type it reported
  std::vector<ub1> in_outs;    // in/out flag it reported
  std::vector<void*> handles;  // handle it reported
  std::vector<sword> results;  // every execution's result, the row's first included
};

// Hands a LONG value to statement `s`, whose execution has just answered
// OCI_NEED_DATA, as the import does: each piece of up to `piece` bytes
// with the code that OCIStmtGetPieceInfo reported, then an empty
// OCI_LAST_PIECE (indicator -1 when `null`). With `data_in_last` the final
// bytes go with OCI_LAST_PIECE instead and no empty piece follows.
inline ::testing::AssertionResult SendLongPieces(Oci& c, OCIStmt* s, Source src, size_t piece, bool null,
                                                 LongInsert* log, bool data_in_last = false) {
  std::vector<char> cur(piece), next(piece);
  size_t cur_n = src ? src(cur.data(), piece) : 0;
  bool done = false;
  while (!done) {
    size_t next_n = cur_n > 0 && src ? src(next.data(), piece) : 0;
    void* h = nullptr;
    ub4 type = 0, iter = 9, idx = 9;
    ub1 in_out = 0, code = 0;
    sword rc = OCIStmtGetPieceInfo(s, c.err, &h, &type, &in_out, &iter, &idx, &code);
    if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "GetPieceInfo: " << c.Error();
    log->codes.push_back(code);
    log->types.push_back(type);
    log->in_outs.push_back(in_out);
    log->handles.push_back(h);
    ub1 send = code;
    ub4 alen = static_cast<ub4>(cur_n);
    if (cur_n == 0 || (data_in_last && next_n == 0)) {
      send = OCI_LAST_PIECE;
      done = true;
    }
    sb2 ind = null && cur_n == 0 ? -1 : 0;
    ub2 rcode = 0;
    rc = OCIStmtSetPieceInfo(h, type, c.err, cur.data(), &alen, send, &ind, &rcode);
    if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "SetPieceInfo: " << c.Error();
    rc = OCIStmtExecute(c.svc, s, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    log->results.push_back(rc);
    if (rc != (done ? OCI_SUCCESS : OCI_NEED_DATA)) {
      return ::testing::AssertionFailure() << "piece execution gave " << rc << ": " << c.Error();
    }
    std::swap(cur, next);
    cur_n = next_n;
  }
  return ::testing::AssertionSuccess();
}

// Inserts one row with `sql` (e.g. "INSERT INTO t (id, v) VALUES (7, :1)"),
// whose only bind is the LONG value, bound with OCI_DATA_AT_EXEC and size
// 0x7FFFFFFF as `dty`, and hands the value over with SendLongPieces.
inline ::testing::AssertionResult InsertLong(Oci& c, const std::string& sql, ub2 dty, Source src,
                                             size_t piece, bool null, LongInsert* log,
                                             bool data_in_last = false, OCIBind** bind_out = nullptr) {
  OCIStmt* s = c.Stmt();
  if (c.Prepare(s, sql) != OCI_SUCCESS) return ::testing::AssertionFailure() << "prepare: " << c.Error();
  OCIBind* bind = nullptr;
  sword rc = OCIBindByPos(s, &bind, c.err, 1, nullptr, 0x7FFFFFFF, dty, nullptr, nullptr, nullptr, 0, nullptr,
                          OCI_DATA_AT_EXEC);
  if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "bind: " << c.Error();
  if (bind_out) *bind_out = bind;
  rc = OCIStmtExecute(c.svc, s, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
  log->results.push_back(rc);
  if (rc != OCI_NEED_DATA)
    return ::testing::AssertionFailure() << "row execution gave " << rc << ": " << c.Error();
  return SendLongPieces(c, s, src, piece, null, log, data_in_last);
}

// What the piecewise fetch of a row's LONG value saw.
struct LongFetch {
  sword row_rc = -99;           // the row fetch
  long id = -1;                 // the ordinary column before the LONG, as the row fetch left it
  sb2 define_ind = -2;          // the LONG define's own indicator after the value
  std::vector<ub4> pieces;      // bytes of each piece
  std::vector<ub1> codes;       // piece code OCIStmtGetPieceInfo reported
  std::vector<sb2> piece_inds;  // indicator given with each piece
  std::vector<sword> results;   // result of each piece fetch
  std::vector<ub4> types;
  std::vector<ub1> in_outs;
  std::vector<void*> handles;
  OCIDefine* define = nullptr;  // the LONG define
  uint64_t total = 0;
};

// Reads the LONG value of the row that statement `s` has just fetched
// with OCI_NEED_DATA, as the export does: `buffer`-byte buffers offered
// with the piece code OCIStmtGetPieceInfo reported, until a piece fetch
// answers OCI_SUCCESS.
inline ::testing::AssertionResult ReceiveLongPieces(Oci& c, OCIStmt* s, Sink sink, LongFetch* f,
                                                    ub4 buffer = kPiece, size_t max_pieces = 1u << 20) {
  std::vector<char> buf(buffer + 16);
  sword rc;
  do {
    if (f->pieces.size() >= max_pieces) return ::testing::AssertionFailure() << "value does not end";
    void* h = nullptr;
    ub4 type = 0, iter = 9, idx = 9;
    ub1 in_out = 0, code = 0;
    rc = OCIStmtGetPieceInfo(s, c.err, &h, &type, &in_out, &iter, &idx, &code);
    if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "GetPieceInfo: " << c.Error();
    f->codes.push_back(code);
    f->types.push_back(type);
    f->in_outs.push_back(in_out);
    f->handles.push_back(h);
    ub4 alen = buffer;
    sb2 pind = -2;
    ub2 prcode = 0;
    std::memset(buf.data() + buffer, 0x5A, 16);  // guard after the buffer
    rc = OCIStmtSetPieceInfo(h, type, c.err, buf.data(), &alen, code, &pind, &prcode);
    if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "SetPieceInfo: " << c.Error();
    rc = OCIStmtFetch(s, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    f->results.push_back(rc);
    if (rc != OCI_SUCCESS && rc != OCI_NEED_DATA)
      return ::testing::AssertionFailure() << "piece fetch gave " << rc << ": " << c.Error();
    if (alen > buffer) return ::testing::AssertionFailure() << "piece of " << alen << " bytes";
    for (ub4 k = 0; k < 16; ++k) {
      if (buf[buffer + k] != 0x5A) return ::testing::AssertionFailure() << "written past the buffer";
    }
    f->pieces.push_back(alen);
    f->piece_inds.push_back(pind);
    f->total += alen;
    if (sink && alen > 0) sink(buf.data(), alen);
  } while (rc == OCI_NEED_DATA);
  return ::testing::AssertionSuccess();
}

// Reads rows of a query "SELECT id, longcol ..." as the export does: the id
// defined as an integer, the LONG with OCI_DYNAMIC_FETCH and size
// 0x7FFFFFFF as `dty`; each row fetch of 1 row is followed, when it answers
// OCI_NEED_DATA, by ReceiveLongPieces. `rows` gets one entry per row;
// `sinks` (when given) one sink per row. The final fetch must answer
// OCI_NO_DATA.
inline ::testing::AssertionResult FetchLongRows(Oci& c, const std::string& sql, ub2 dty,
                                                std::vector<LongFetch>* rows,
                                                const std::vector<Sink>& sinks = {}, ub4 buffer = kPiece) {
  OCIStmt* s = c.Stmt();
  if (c.Prepare(s, sql) != OCI_SUCCESS) return ::testing::AssertionFailure() << "prepare: " << c.Error();
  long id = -1;
  sb2 id_ind = 0, long_ind = -2;
  ub2 long_len = 0, long_rcode = 0;
  OCIDefine *d1 = nullptr, *d2 = nullptr;
  if (OCIDefineByPos(s, &d1, c.err, 1, &id, sizeof id, SQLT_INT, &id_ind, nullptr, nullptr, OCI_DEFAULT) !=
          OCI_SUCCESS ||
      OCIDefineByPos(s, &d2, c.err, 2, nullptr, 0x7FFFFFFF, dty, &long_ind, &long_len, &long_rcode,
                     OCI_DYNAMIC_FETCH) != OCI_SUCCESS) {
    return ::testing::AssertionFailure() << "define: " << c.Error();
  }
  sword rc = OCIStmtExecute(c.svc, s, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT);
  if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "execute: " << c.Error();
  for (size_t row = 0;; ++row) {
    id = -1;
    long_ind = -2;
    rc = OCIStmtFetch(s, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    if (rc == OCI_NO_DATA) break;
    LongFetch f;
    f.row_rc = rc;
    f.id = id;
    f.define = d2;
    if (rc == OCI_NEED_DATA) {
      ::testing::AssertionResult r =
          ReceiveLongPieces(c, s, row < sinks.size() ? sinks[row] : Sink(), &f, buffer);
      if (!r) return r;
    }
    f.define_ind = long_ind;
    rows->push_back(std::move(f));
    if (rows->size() > 1000) return ::testing::AssertionFailure() << "too many rows";
  }
  return ::testing::AssertionSuccess();
}

// One row's LONG value through FetchLongRows.
inline ::testing::AssertionResult FetchLong(Oci& c, const std::string& sql, ub2 dty, LongFetch* out,
                                            Sink sink = Sink(), ub4 buffer = kPiece) {
  std::vector<LongFetch> rows;
  ::testing::AssertionResult r = FetchLongRows(c, sql, dty, &rows, {sink}, buffer);
  if (!r) return r;
  if (rows.size() != 1) return ::testing::AssertionFailure() << rows.size() << " rows";
  *out = std::move(rows[0]);
  return ::testing::AssertionSuccess();
}

// What a polling LOB write saw.
struct LobWrite {
  std::vector<ub1> pieces;  // piece code of each call
  std::vector<sword> results;
  std::vector<oraub8> byte_amts;  // amounts after each call
  std::vector<oraub8> char_amts;
};

// Writes a value through `loc` as the import does: OCILobOpen read-write,
// then OCILobWrite2 calls with offset 1 and both amounts 0 at the start,
// pieces of up to `piece` bytes as OCI_ONE_PIECE (a value of one piece) or
// first, next..., and the last real piece as OCI_LAST_PIECE; OCILobClose.
// An empty value writes nothing (the locator already is an empty LOB).
inline ::testing::AssertionResult WriteLob(Oci& c, OCILobLocator* loc, ub1 csfrm, Source src, size_t piece,
                                           LobWrite* log = nullptr) {
  LobWrite dummy;
  if (!log) log = &dummy;
  std::vector<char> cur(piece), next(piece);
  size_t cur_n = src(cur.data(), piece);
  if (cur_n == 0) return ::testing::AssertionSuccess();
  sword rc = OCILobOpen(c.svc, c.err, loc, OCI_LOB_READWRITE);
  if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "open: " << c.Error();
  oraub8 b_amt = 0, c_amt = 0;
  bool first = true;
  for (;;) {
    size_t next_n = src(next.data(), piece);
    bool last = next_n == 0;
    ub1 code = last ? (first ? OCI_ONE_PIECE : OCI_LAST_PIECE) : (first ? OCI_FIRST_PIECE : OCI_NEXT_PIECE);
    if (first) {
      b_amt = code == OCI_ONE_PIECE ? cur_n : 0;
      c_amt = 0;
    }
    rc = OCILobWrite2(c.svc, c.err, loc, &b_amt, &c_amt, 1, cur.data(), cur_n, code, nullptr, nullptr, 0,
                      csfrm);
    log->pieces.push_back(code);
    log->results.push_back(rc);
    log->byte_amts.push_back(b_amt);
    log->char_amts.push_back(c_amt);
    if (rc != (last ? OCI_SUCCESS : OCI_NEED_DATA)) {
      std::string e = c.Error();
      OCILobClose(c.svc, c.err, loc);
      return ::testing::AssertionFailure() << "write gave " << rc << ": " << e;
    }
    if (last) break;
    std::swap(cur, next);
    cur_n = next_n;
    first = false;
  }
  rc = OCILobClose(c.svc, c.err, loc);
  if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "close: " << c.Error();
  return ::testing::AssertionSuccess();
}

// What a polling LOB read saw.
struct LobRead {
  oraub8 length = 0;  // OCILobGetLength2 before the read
  std::vector<sword> results;
  std::vector<oraub8> byte_amts;
  std::vector<oraub8> char_amts;
  uint64_t total = 0;
};

// Reads a value through `loc` as the export does: OCILobOpen read-only,
// OCILobRead2 calls into a `bufl`-byte buffer with both amounts set to 0
// before each, OCI_FIRST_PIECE and then OCI_NEXT_PIECE, the offset
// advanced by the byte amount (BLOB) or the character amount (CLOB,
// NCLOB), until a read returns OCI_SUCCESS (or OCI_NO_DATA); OCILobClose.
inline ::testing::AssertionResult ReadLob(Oci& c, OCILobLocator* loc, ub1 csfrm, bool blob, Sink sink,
                                          LobRead* log, size_t bufl = kPiece, size_t max_reads = 1u << 20) {
  sword rc = OCILobGetLength2(c.svc, c.err, loc, &log->length);
  if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "length: " << c.Error();
  rc = OCILobOpen(c.svc, c.err, loc, OCI_LOB_READONLY);
  if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "open: " << c.Error();
  std::vector<char> buf(bufl + 16);
  ub1 piece = OCI_FIRST_PIECE;
  oraub8 offset = 1;
  for (;;) {
    if (log->results.size() >= max_reads) {
      OCILobClose(c.svc, c.err, loc);
      return ::testing::AssertionFailure() << "value does not end";
    }
    oraub8 b_amt = 0, c_amt = 0;
    std::memset(buf.data() + bufl, 0x5A, 16);
    rc = OCILobRead2(c.svc, c.err, loc, &b_amt, &c_amt, offset, buf.data(), bufl, piece, nullptr, nullptr, 0,
                     csfrm);
    log->results.push_back(rc);
    log->byte_amts.push_back(b_amt);
    log->char_amts.push_back(c_amt);
    if (rc != OCI_SUCCESS && rc != OCI_NEED_DATA && rc != OCI_NO_DATA) {
      std::string e = c.Error();
      OCILobClose(c.svc, c.err, loc);
      return ::testing::AssertionFailure() << "read gave " << rc << ": " << e;
    }
    if (b_amt > bufl) return ::testing::AssertionFailure() << "piece of " << b_amt << " bytes";
    for (int k = 0; k < 16; ++k) {
      if (buf[bufl + k] != 0x5A) return ::testing::AssertionFailure() << "written past the buffer";
    }
    if (sink && b_amt > 0) sink(buf.data(), static_cast<size_t>(b_amt));
    log->total += b_amt;
    if (rc != OCI_NEED_DATA) break;
    piece = OCI_NEXT_PIECE;
    offset += blob ? b_amt : c_amt;
  }
  rc = OCILobClose(c.svc, c.err, loc);
  if (rc != OCI_SUCCESS) return ::testing::AssertionFailure() << "close: " << c.Error();
  return ::testing::AssertionSuccess();
}

// Path of the running test program, to run some tests in a child process
// (with an environment of their own, or to measure their memory alone).
inline std::string SelfPath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// Runs the tests matching `filter` in a child process with `env` added.
inline testsupport::ProcResult RunChild(const std::string& filter, const std::vector<std::string>& env) {
  return testsupport::Run({SelfPath(), "--gtest_filter=" + filter}, env);
}

// Peak resident memory of this process so far, in KiB (VmHWM).
inline long PeakRssKb() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line)) {
    if (line.compare(0, 6, "VmHWM:") == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

}  // namespace lobtest
