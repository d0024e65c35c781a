// fakeoci.cpp - the in-memory OCI test double: handles, statement records,
// array and data-at-exec binds, LOB locators and writes, failure rules.
#include "fakeoci.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include <oci.h>

namespace fakeoci {
namespace {

struct Object {
  explicit Object(ub4 t) : type(t) { ++state().live_objects; }
  virtual ~Object() { --state().live_objects; }
  ub4 type;
};

struct ErrorHandle : Object {
  ErrorHandle() : Object(OCI_HTYPE_ERROR) {}
  int code = 0;
  std::string text;
};

struct Locator : Object {
  Locator() : Object(OCI_DTYPE_LOB) {}
  ~Locator() override;
  int lob_id = 0;
  bool empty = false;
  bool open = false;
};

struct Stmt;

struct Bind : Object {
  Bind() : Object(OCI_HTYPE_BIND) {}
  Stmt* stmt = nullptr;
  ub4 position = 0;
  void* valuep = nullptr;
  sb4 value_sz = 0;
  ub2 dty = 0;
  void* indp = nullptr;
  ub2* alenp = nullptr;
  ub4 pvskip = 0, indskip = sizeof(sb2), alskip = sizeof(ub2);
  ub4 mode = OCI_DEFAULT;
  ub1 form = SQLCS_IMPLICIT;
};

struct Stmt : Object {
  Stmt() : Object(OCI_HTYPE_STMT) {}
  ~Stmt() override { binds.clear(); }
  const OraText* text_ptr = nullptr;
  std::string text;
  // the query of the database's character sets: its text defines and rows
  int nls_row = -1;  // next row to fetch; -1: not that query
  char* define_buf[2] = {nullptr, nullptr};
  std::string answer;    // the row of a query answered by AnswerQuery
  int answer_rows = 0;
  sb4 define_sz[2] = {0, 0};
  std::map<ub4, std::unique_ptr<Bind>> binds;
  // data-at-exec progress of the current row
  bool need_data = false;
  Bind* piece_bind = nullptr;
  int pieces_given = 0;
  std::string long_value;
  bool long_null = false;
  const void* piece_buf = nullptr;
  ub4 piece_len = 0;
  ub1 piece_code = 0;
  sb2 piece_ind = 0;
  bool piece_set = false;
  Row pending;
  ub4 row_count = 0;
};

struct Plain : Object {
  explicit Plain(ub4 t) : Object(t) {}
};

struct Rule {
  std::string substr;
  int code;
  std::string text;
};

struct CallRule {
  std::string name;
  int nth;
  int status;
  int code;
  std::string text;
};

struct Answer {
  std::string substr, bound, value;
};

struct Control {
  std::vector<Rule> statement_rules;
  std::vector<Answer> answers;
  std::vector<CallRule> call_rules;
  std::map<std::string, int> call_counts;
  int next_lob = 1;
  int open_lobs = 0;
};

Control& control() {
  static Control c;
  return c;
}

Locator::~Locator() {
  if (open) control().open_lobs--;
}

void SetError(OCIError* errhp, int code, const std::string& text) {
  auto* e = reinterpret_cast<ErrorHandle*>(errhp);
  if (!e) return;
  e->code = code;
  e->text = text;
}

// Records the call and applies a failure rule for it; returns the status
// to give back, or OCI_SUCCESS to go on.
sword Enter(const char* name, OCIError* errhp) {
  state().calls.push_back(name);
  int n = ++control().call_counts[name];
  for (const CallRule& r : control().call_rules) {
    if (r.name == name && r.nth == n) {
      SetError(errhp, r.code, r.text);
      return r.status;
    }
  }
  return OCI_SUCCESS;
}

bool IsInsert(const std::string& sql) {
  return sql.size() >= 6 && strncasecmp(sql.c_str(), "insert", 6) == 0;
}

// Number of placeholders that receive output (after "returning").
size_t OutputCount(const std::string& sql) {
  size_t at = sql.find("\nreturning\n");
  if (at == std::string::npos) return 0;
  size_t into = sql.find("\ninto\n", at);
  if (into == std::string::npos) return 0;
  size_t n = 0;
  for (size_t i = into; i < sql.size(); i++) n += sql[i] == ':';
  return n;
}

size_t PlaceholderCount(const std::string& sql) {
  size_t n = 0;
  for (char c : sql) n += c == ':';
  return n;
}

bool IsLobType(ub2 dty) { return dty == SQLT_CLOB || dty == SQLT_BLOB; }

sb2 IndicatorAt(const Bind& b, ub4 i) {
  if (!b.indp) return 0;
  sb2 v;
  std::memcpy(&v, static_cast<const char*>(b.indp) + static_cast<size_t>(i) * b.indskip, sizeof v);
  return v;
}

void SetIndicator(const Bind& b, ub4 i, sb2 v) {
  if (b.indp) std::memcpy(static_cast<char*>(b.indp) + static_cast<size_t>(i) * b.indskip, &v, sizeof v);
}

// Decodes the input values of iteration `i` into a row; every non-NULL LOB
// input gets a new empty LOB. A data-at-exec value is left NULL here.
Row DecodeRow(Stmt* s, ub4 i, size_t ninput) {
  Row row;
  row.sql = s->text;
  for (ub4 pos = 1; pos <= ninput; pos++) {
    auto it = s->binds.find(pos);
    const Bind& b = *it->second;
    sb2 ind = IndicatorAt(b, i);
    if (b.mode == OCI_DATA_AT_EXEC) {
      row.values.emplace_back(std::nullopt);  // filled from the pieces
      row.lob_ids.push_back(0);
    } else if (IsLobType(b.dty)) {
      if (ind == -1) {
        row.values.emplace_back(std::nullopt);
        row.lob_ids.push_back(0);
      } else {
        int id = control().next_lob++;
        state().lobs[id] = "";
        row.values.emplace_back(std::string());
        row.lob_ids.push_back(id);
      }
    } else if (ind == -1) {
      row.values.emplace_back(std::nullopt);
      row.lob_ids.push_back(0);
    } else {
      ub2 alen = static_cast<ub2>(b.value_sz);
      if (b.alenp)
        std::memcpy(&alen, reinterpret_cast<const char*>(b.alenp) + static_cast<size_t>(i) * b.alskip,
                    sizeof alen);
      const char* v = static_cast<const char*>(b.valuep) + static_cast<size_t>(i) * b.pvskip;
      row.values.emplace_back(std::string(v, alen));
      row.lob_ids.push_back(0);
    }
  }
  return row;
}

// Hands the new row's LOB locators to the RETURNING binds.
void ReturnLocators(Stmt* s, const Row& row, size_t ninput) {
  size_t m = 0;
  std::vector<int> lob_inputs;
  for (ub4 pos = 1; pos <= ninput; pos++) {
    const Bind& b = *s->binds[pos];
    if (b.mode != OCI_DATA_AT_EXEC && IsLobType(b.dty)) lob_inputs.push_back(row.lob_ids[pos - 1]);
  }
  for (auto& [pos, b] : s->binds) {
    if (pos <= ninput) continue;
    int id = m < lob_inputs.size() ? lob_inputs[m] : 0;
    m++;
    auto* loc = b->valuep ? *static_cast<Locator**>(b->valuep) : nullptr;
    if (loc) loc->lob_id = id;
    SetIndicator(*b, 0, id ? 0 : -1);
  }
}

sword Fail(OCIError* errhp, int code, const std::string& text) {
  SetError(errhp, code, text);
  return OCI_ERROR;
}

sword ExecuteInsert(Stmt* s, OCIError* errhp, ub4 iters) {
  size_t nout = OutputCount(s->text);
  size_t nph = PlaceholderCount(s->text);
  size_t ninput = nph - nout;
  for (ub4 pos = 1; pos <= nph; pos++)
    if (!s->binds.count(pos)) return Fail(errhp, 1008, "not all variables bound");

  if (s->need_data) {
    // the call after a piece: take the piece's bytes now
    if (!s->piece_set) return Fail(errhp, 3129, "the next piece to be inserted is required");
    s->piece_set = false;
    s->pieces_given++;
    if (s->piece_ind == -1) s->long_null = true;
    if (s->piece_len > 0) {
      if (!s->piece_buf) return Fail(errhp, 3126, "piece without a buffer");
      s->long_value.append(static_cast<const char*>(s->piece_buf), s->piece_len);
    }
    if (s->piece_code != OCI_LAST_PIECE && s->piece_code != OCI_ONE_PIECE) return OCI_NEED_DATA;
    s->need_data = false;
    size_t col = s->piece_bind->position - 1;
    if (s->long_null)
      s->pending.values[col] = std::nullopt;
    else
      s->pending.values[col] = s->long_value;
    state().rows.push_back(s->pending);
    ReturnLocators(s, s->pending, ninput);
    s->row_count = 1;
    return OCI_SUCCESS;
  }

  state().insert_iters.push_back(iters);
  for (ub4 i = 0; i < iters; i++) {
    Row row = DecodeRow(s, i, ninput);
    for (ub4 pos = 1; pos <= ninput; pos++) {
      Bind* b = s->binds[pos].get();
      if (b->mode == OCI_DATA_AT_EXEC) {
        if (iters != 1) return Fail(errhp, 3130, "data at execution needs one iteration");
        s->need_data = true;
        s->piece_bind = b;
        s->pieces_given = 0;
        s->long_value.clear();
        s->long_null = false;
        s->piece_set = false;
        s->pending = row;
        return OCI_NEED_DATA;
      }
    }
    state().rows.push_back(row);
    if (iters == 1) ReturnLocators(s, row, ninput);
  }
  s->row_count = iters;
  return OCI_SUCCESS;
}

}  // namespace

State& state() {
  static State s;
  return s;
}

void Reset() {
  long live = state().live_objects;
  state() = State();
  state().live_objects = live;
  Control& c = control();
  c.statement_rules.clear();
  c.answers.clear();
  c.call_rules.clear();
  c.call_counts.clear();
  c.next_lob = 1;
  c.open_lobs = 0;
}

void FailStatement(const std::string& substr, int code, const std::string& text) {
  control().statement_rules.push_back({substr, code, text});
}

void AnswerQuery(const std::string& substr, const std::string& bound, const std::string& value) {
  control().answers.push_back({substr, bound, value});
}

void FailCall(const std::string& name, int nth, int status, int code, const std::string& text) {
  control().call_rules.push_back({name, nth, status, code, text});
}

std::optional<std::string> Value(const Row& row, size_t i) {
  if (i >= row.values.size()) return std::nullopt;
  if (row.lob_ids[i] != 0) return state().lobs[row.lob_ids[i]];
  return row.values[i];
}

}  // namespace fakeoci

using fakeoci::state;

// ---- the C interface ----------------------------------------------------

extern "C" {

sword OCIEnvCreate(OCIEnv** envhpp, ub4, void*, void* (*)(void*, size_t),
                   void* (*)(void*, void*, size_t), void (*)(void*, void*), size_t, void**) {
  if (sword st = fakeoci::Enter("OCIEnvCreate", nullptr)) return st;
  *envhpp = reinterpret_cast<OCIEnv*>(new fakeoci::Plain(OCI_HTYPE_ENV));
  return OCI_SUCCESS;
}

sword OCIHandleAlloc(const void* parenth, void** hndlpp, const ub4 type, const size_t, void**) {
  if (sword st = fakeoci::Enter("OCIHandleAlloc", nullptr)) return st;
  if (!parenth || !hndlpp) return OCI_INVALID_HANDLE;
  fakeoci::Object* o = nullptr;
  switch (type) {
    case OCI_HTYPE_ERROR: o = new fakeoci::ErrorHandle(); break;
    case OCI_HTYPE_STMT: o = new fakeoci::Stmt(); break;
    case OCI_HTYPE_SVCCTX:
    case OCI_HTYPE_SERVER:
    case OCI_HTYPE_SESSION:
    case OCI_HTYPE_TRANS: o = new fakeoci::Plain(type); break;
    default: return OCI_INVALID_HANDLE;
  }
  *hndlpp = o;
  return OCI_SUCCESS;
}

sword OCIHandleFree(void* hndlp, const ub4 type) {
  fakeoci::Enter("OCIHandleFree", nullptr);
  auto* o = static_cast<fakeoci::Object*>(hndlp);
  if (!o || o->type != type) return OCI_INVALID_HANDLE;
  delete o;
  return OCI_SUCCESS;
}

sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                 OCIError* errhp) {
  if (sword st = fakeoci::Enter("OCIAttrSet", errhp)) return st;
  if (!trgthndlp) return OCI_INVALID_HANDLE;
  if (trghndltyp == OCI_HTYPE_SESSION && attrtype == OCI_ATTR_USERNAME)
    state().session_user.assign(static_cast<const char*>(attributep), size);
  if (trghndltyp == OCI_DTYPE_LOB && attrtype == OCI_ATTR_LOBEMPTY)
    static_cast<fakeoci::Locator*>(trgthndlp)->empty = true;
  if (trghndltyp == OCI_HTYPE_BIND && attrtype == OCI_ATTR_CHARSET_FORM) {
    auto* b = static_cast<fakeoci::Bind*>(trgthndlp);
    b->form = *static_cast<ub1*>(attributep);
    if (b->form == SQLCS_NCHAR) state().nchar_binds[b->stmt->text].insert(b->position);
  }
  return OCI_SUCCESS;
}

sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep, ub4 attrtype,
                 OCIError* errhp) {
  if (sword st = fakeoci::Enter("OCIAttrGet", errhp)) return st;
  if (!trgthndlp) return OCI_INVALID_HANDLE;
  if (trghndltyp == OCI_HTYPE_STMT &&
      (attrtype == OCI_ATTR_ROW_COUNT || attrtype == OCI_ATTR_ROWS_FETCHED)) {
    ub4 v = static_cast<const fakeoci::Stmt*>(trgthndlp)->row_count;
    std::memcpy(attributep, &v, sizeof v);
    if (sizep) *sizep = sizeof v;
    return OCI_SUCCESS;
  }
  if (trghndltyp == OCI_HTYPE_STMT && attrtype == OCI_ATTR_NUM_DML_ERRORS) {
    ub4 v = 0;  // the fake refuses no single row of a batch
    std::memcpy(attributep, &v, sizeof v);
    if (sizep) *sizep = sizeof v;
    return OCI_SUCCESS;
  }
  return fakeoci::Fail(errhp, 24315, "illegal attribute type");
}

sword OCIParamGet(const void* hndlp, ub4, OCIError* errhp, void**, ub4) {
  if (sword st = fakeoci::Enter("OCIParamGet", errhp)) return st;
  if (!hndlp) return OCI_INVALID_HANDLE;
  return OCI_NO_DATA;
}

sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len,
                      ub4) {
  if (sword st = fakeoci::Enter("OCIServerAttach", errhp)) return st;
  if (!srvhp) return OCI_INVALID_HANDLE;
  state().server = dblink ? std::string(reinterpret_cast<const char*>(dblink), dblink_len) : "";
  return OCI_SUCCESS;
}

sword OCIServerDetach(OCIServer*, OCIError* errhp, ub4) {
  return fakeoci::Enter("OCIServerDetach", errhp);
}

sword OCISessionBegin(OCISvcCtx*, OCIError* errhp, OCISession*, ub4, ub4) {
  return fakeoci::Enter("OCISessionBegin", errhp);
}

sword OCISessionEnd(OCISvcCtx*, OCIError* errhp, OCISession*, ub4) {
  return fakeoci::Enter("OCISessionEnd", errhp);
}

sword OCIErrorGet(void* hndlp, ub4 recordno, OraText*, sb4* errcodep, OraText* bufp, ub4 bufsiz,
                  ub4 type) {
  if (!hndlp || type != OCI_HTYPE_ERROR) return OCI_INVALID_HANDLE;
  auto* e = static_cast<fakeoci::ErrorHandle*>(hndlp);
  if (recordno != 1 || e->code == 0) return OCI_NO_DATA;
  char head[16];
  std::snprintf(head, sizeof head, "ORA-%05d: ", e->code);
  std::string msg = head + e->text + "\n";
  if (bufsiz == 0) return OCI_ERROR;
  size_t n = std::min<size_t>(msg.size(), bufsiz - 1);
  std::memcpy(bufp, msg.data(), n);
  bufp[n] = 0;
  *errcodep = e->code;
  return OCI_SUCCESS;
}

sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len, ub4, ub4) {
  if (sword st = fakeoci::Enter("OCIStmtPrepare", errhp)) return st;
  auto* s = reinterpret_cast<fakeoci::Stmt*>(stmtp);
  if (!s) return OCI_INVALID_HANDLE;
  if (!stmt || stmt_len == 0) return fakeoci::Fail(errhp, 900, "invalid SQL statement");
  s->binds.clear();
  s->need_data = false;
  s->text_ptr = stmt;
  s->text.assign(reinterpret_cast<const char*>(stmt), stmt_len);
  return OCI_SUCCESS;
}

sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4, const OCISnapshot*,
                     OCISnapshot*, ub4) {
  if (sword st = fakeoci::Enter("OCIStmtExecute", errhp)) return st;
  auto* s = reinterpret_cast<fakeoci::Stmt*>(stmtp);
  if (!s || !svchp) return OCI_INVALID_HANDLE;
  if (s->text.empty()) return fakeoci::Fail(errhp, 24337, "statement handle not prepared");
  if (std::memcmp(s->text_ptr, s->text.data(), s->text.size()) != 0) state().text_changed = true;
  if (s->text.find("NLS_DATABASE_PARAMETERS") != std::string::npos) {
    s->nls_row = 0;  // answered by OCIStmtFetch, not recorded
    return OCI_SUCCESS;
  }
  s->nls_row = -1;
  s->answer_rows = 0;
  for (const fakeoci::Answer& a : fakeoci::control().answers) {
    if (s->text.find(a.substr) == std::string::npos) continue;
    // the block that locks and looks up a name writes it as a literal
    if (s->text.find("OBJECT_NAME = '" + a.bound + "'") != std::string::npos) {
      s->answer = a.value;
      s->answer_rows = 1;
    }
    for (const auto& [pos, b] : s->binds)
      if (b->dty == SQLT_STR && b->valuep && a.bound == static_cast<const char*>(b->valuep)) {
        s->answer = a.value;
        s->answer_rows = 1;
      }
  }
  // The double's schema holds every table the import names: the lock and
  // the dictionary look-up that guard its rows are answered, not recorded.
  if (s->text.rfind("LOCK TABLE ", 0) == 0) return OCI_SUCCESS;
  if (s->text.find("FROM ALL_OBJECTS WHERE OWNER") != std::string::npos) {
    if (s->answer_rows == 0) {
      s->answer = "TABLE";
      s->answer_rows = 1;
    }
    // The lock and the look-up in one block fail unless the name is a
    // table; the import then asks again step by step.
    if (s->text.find("BEGIN LOCK TABLE ") != std::string::npos && s->answer != "TABLE")
      return fakeoci::Fail(errhp, 20000, "not of its type");
    return OCI_SUCCESS;
  }
  // The block of EXECUTE IMMEDIATE calls the import sends a table's
  // statements in: each runs, and is recorded, as if sent alone; the first
  // that fails ends the block with the number the import reads back.
  if (s->text.rfind("DECLARE\n  n PLS_INTEGER := 0;\nBEGIN\n", 0) == 0) {
    const std::string open = "EXECUTE IMMEDIATE '";
    int k = 0;
    for (size_t at = s->text.find(open); at != std::string::npos; at = s->text.find(open, at)) {
      std::string stmt;
      for (at += open.size(); at < s->text.size(); at++) {
        if (s->text[at] == '\'' && at + 1 < s->text.size() && s->text[at + 1] == '\'') {
          stmt += '\'';
          at++;
        } else if (s->text[at] == '\'') {
          break;
        } else {
          stmt += s->text[at];
        }
      }
      k++;
      state().statements.push_back(stmt);
      for (const fakeoci::Rule& r : fakeoci::control().statement_rules)
        if (stmt.find(r.substr) != std::string::npos)
          return fakeoci::Fail(errhp, 20001, "statement " + std::to_string(k));
    }
    return OCI_SUCCESS;
  }
  if (!s->need_data) {
    state().statements.push_back(s->text);
    for (const fakeoci::Rule& r : fakeoci::control().statement_rules)
      if (s->text.find(r.substr) != std::string::npos) return fakeoci::Fail(errhp, r.code, r.text);
  }
  if (!fakeoci::IsInsert(s->text)) return OCI_SUCCESS;  // DDL, or a query with no rows
  if (iters == 0) return fakeoci::Fail(errhp, 24333, "zero iteration count");
  return fakeoci::ExecuteInsert(s, errhp, iters);
}

sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4, ub2, ub4) {
  if (sword st = fakeoci::Enter("OCIStmtFetch", errhp)) return st;
  auto* s = reinterpret_cast<fakeoci::Stmt*>(stmtp);
  // The database of the double holds AL32UTF8 and AL16UTF16 text.
  static const char* const kNls[2][2] = {{"NLS_CHARACTERSET", "AL32UTF8"},
                                         {"NLS_NCHAR_CHARACTERSET", "AL16UTF16"}};
  if (s && s->answer_rows > 0) {
    if (s->define_buf[0] && s->define_sz[0] > 0)
      std::snprintf(s->define_buf[0], static_cast<size_t>(s->define_sz[0]), "%s", s->answer.c_str());
    s->answer_rows--;
    return OCI_SUCCESS;
  }
  if (!s || s->nls_row < 0 || s->nls_row >= 2) return OCI_NO_DATA;
  for (int c = 0; c < 2; c++)
    if (s->define_buf[c] && s->define_sz[c] > 0)
      std::snprintf(s->define_buf[c], static_cast<size_t>(s->define_sz[c]), "%s", kNls[s->nls_row][c]);
  s->nls_row++;
  return OCI_SUCCESS;
}

sword OCIStmtFetch2(OCIStmt*, OCIError* errhp, ub4, ub2, sb4, ub4) {
  if (sword st = fakeoci::Enter("OCIStmtFetch2", errhp)) return st;
  return OCI_NO_DATA;
}

sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position, void* valuep,
                     sb4 value_sz, ub2 dty, void*, ub2*, ub2*, ub4) {
  if (sword st = fakeoci::Enter("OCIDefineByPos", errhp)) return st;
  auto* s = reinterpret_cast<fakeoci::Stmt*>(stmtp);
  if (s && dty == SQLT_STR && position >= 1 && position <= 2) {
    s->define_buf[position - 1] = static_cast<char*>(valuep);
    s->define_sz[position - 1] = value_sz;
  }
  if (defnp) *defnp = nullptr;
  return OCI_SUCCESS;
}

sword OCIDefineArrayOfStruct(OCIDefine*, OCIError* errhp, ub4, ub4, ub4, ub4) {
  return fakeoci::Enter("OCIDefineArrayOfStruct", errhp);
}

sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, void* valuep,
                   sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2*, ub4, ub4*, ub4 mode) {
  if (sword st = fakeoci::Enter("OCIBindByPos", errhp)) return st;
  auto* s = reinterpret_cast<fakeoci::Stmt*>(stmtp);
  if (!s || !bindp) return OCI_INVALID_HANDLE;
  if (position == 0) return fakeoci::Fail(errhp, 1036, "illegal variable name/number");
  auto b = std::make_unique<fakeoci::Bind>();
  b->stmt = s;
  b->position = position;
  b->valuep = valuep;
  b->value_sz = value_sz;
  b->dty = dty;
  b->indp = indp;
  b->alenp = alenp;
  b->pvskip = value_sz > 0 ? static_cast<ub4>(value_sz) : 0;
  b->mode = mode;
  *bindp = reinterpret_cast<OCIBind*>(b.get());
  state().bind_types[s->text][position] = dty;
  s->binds[position] = std::move(b);
  return OCI_SUCCESS;
}

sword OCIBindArrayOfStruct(OCIBind* bindp, OCIError* errhp, ub4 pvskip, ub4 indskip, ub4 alskip, ub4) {
  if (sword st = fakeoci::Enter("OCIBindArrayOfStruct", errhp)) return st;
  auto* b = reinterpret_cast<fakeoci::Bind*>(bindp);
  if (!b) return OCI_INVALID_HANDLE;
  if (b->mode == OCI_DATA_AT_EXEC) return fakeoci::Fail(errhp, 3130, "array bind of a piecewise value");
  b->pvskip = pvskip;
  b->indskip = indskip;
  b->alskip = alskip;
  return OCI_SUCCESS;
}

sword OCIStmtGetPieceInfo(OCIStmt* stmtp, OCIError* errhp, void** hndlpp, ub4* typep, ub1* in_outp,
                          ub4* iterp, ub4* idxp, ub1* piecep) {
  if (sword st = fakeoci::Enter("OCIStmtGetPieceInfo", errhp)) return st;
  auto* s = reinterpret_cast<fakeoci::Stmt*>(stmtp);
  if (!s || !s->need_data) return fakeoci::Fail(errhp, 3129, "no piece is wanted");
  *hndlpp = s->piece_bind;
  *typep = OCI_HTYPE_BIND;
  *in_outp = OCI_PARAM_IN;
  *iterp = 0;
  *idxp = 0;
  *piecep = s->pieces_given == 0 ? OCI_FIRST_PIECE : OCI_NEXT_PIECE;
  return OCI_SUCCESS;
}

sword OCIStmtSetPieceInfo(void* hndlp, ub4 type, OCIError* errhp, const void* bufp, ub4* alenp, ub1 piece,
                          const void* indp, ub2*) {
  if (sword st = fakeoci::Enter("OCIStmtSetPieceInfo", errhp)) return st;
  auto* b = static_cast<fakeoci::Bind*>(hndlp);
  if (!b || type != OCI_HTYPE_BIND || !alenp) return OCI_INVALID_HANDLE;
  fakeoci::Stmt* s = b->stmt;
  if (!s->need_data || s->piece_bind != b) return fakeoci::Fail(errhp, 3129, "no piece is wanted");
  sb2 ind = 0;
  if (indp) std::memcpy(&ind, indp, sizeof ind);
  state().long_pieces.push_back({piece, *alenp, ind});
  s->piece_buf = bufp;
  s->piece_len = *alenp;
  s->piece_code = piece;
  s->piece_ind = ind;
  s->piece_set = true;
  return OCI_SUCCESS;
}

sword OCIDescriptorAlloc(const void* parenth, void** descpp, const ub4 type, const size_t, void**) {
  if (sword st = fakeoci::Enter("OCIDescriptorAlloc", nullptr)) return st;
  if (!parenth || !descpp || type != OCI_DTYPE_LOB) return OCI_INVALID_HANDLE;
  *descpp = new fakeoci::Locator();
  return OCI_SUCCESS;
}

sword OCIDescriptorFree(void* descp, const ub4 type) {
  fakeoci::Enter("OCIDescriptorFree", nullptr);
  auto* o = static_cast<fakeoci::Object*>(descp);
  if (!o || o->type != type) return OCI_INVALID_HANDLE;
  delete o;
  return OCI_SUCCESS;
}

sword OCILobOpen(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, ub1) {
  if (sword st = fakeoci::Enter("OCILobOpen", errhp)) return st;
  auto* l = reinterpret_cast<fakeoci::Locator*>(locp);
  if (!l) return OCI_INVALID_HANDLE;
  if (l->lob_id == 0) return fakeoci::Fail(errhp, 22275, "invalid LOB locator specified");
  if (l->open) return fakeoci::Fail(errhp, 22293, "LOB already opened in the same transaction");
  l->open = true;
  fakeoci::control().open_lobs++;
  return OCI_SUCCESS;
}

sword OCILobClose(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp) {
  if (sword st = fakeoci::Enter("OCILobClose", errhp)) return st;
  auto* l = reinterpret_cast<fakeoci::Locator*>(locp);
  if (!l) return OCI_INVALID_HANDLE;
  if (!l->open) return fakeoci::Fail(errhp, 22289, "cannot perform operation on an unopened file or LOB");
  l->open = false;
  fakeoci::control().open_lobs--;
  return OCI_SUCCESS;
}

sword OCILobRead2(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, oraub8* byte_amtp, oraub8* char_amtp,
                  oraub8, void*, oraub8, ub1, void*, OCICallbackLobRead2, ub2, ub1) {
  if (sword st = fakeoci::Enter("OCILobRead2", errhp)) return st;
  if (!locp) return OCI_INVALID_HANDLE;
  *byte_amtp = 0;
  if (char_amtp) *char_amtp = 0;
  return OCI_SUCCESS;
}

sword OCILobWrite2(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, oraub8* byte_amtp, oraub8* char_amtp,
                   oraub8 offset, void* bufp, oraub8 buflen, ub1 piece, void*, OCICallbackLobWrite2, ub2,
                   ub1 csfrm) {
  if (sword st = fakeoci::Enter("OCILobWrite2", errhp)) return st;
  auto* l = reinterpret_cast<fakeoci::Locator*>(locp);
  if (!l || !byte_amtp || !char_amtp) return OCI_INVALID_HANDLE;
  if (l->lob_id == 0) return fakeoci::Fail(errhp, 22275, "invalid LOB locator specified");
  if (buflen > 0 && !bufp) return fakeoci::Fail(errhp, 24801, "illegal parameter value in OCI lob function");
  state().lob_writes.push_back({l->lob_id, piece, static_cast<size_t>(buflen), csfrm});
  std::string& lob = state().lobs[l->lob_id];
  if (piece == OCI_FIRST_PIECE || piece == OCI_ONE_PIECE) lob.resize(offset > 0 ? offset - 1 : 0);
  lob.append(static_cast<const char*>(bufp), buflen);
  *byte_amtp = buflen;
  *char_amtp = buflen;
  return piece == OCI_FIRST_PIECE || piece == OCI_NEXT_PIECE ? OCI_NEED_DATA : OCI_SUCCESS;
}

sword OCILobGetLength2(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, oraub8* lenp) {
  if (sword st = fakeoci::Enter("OCILobGetLength2", errhp)) return st;
  auto* l = reinterpret_cast<fakeoci::Locator*>(locp);
  if (!l || !lenp) return OCI_INVALID_HANDLE;
  *lenp = state().lobs[l->lob_id].size();
  return OCI_SUCCESS;
}

sword OCILobTrim2(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, oraub8 newlen) {
  if (sword st = fakeoci::Enter("OCILobTrim2", errhp)) return st;
  auto* l = reinterpret_cast<fakeoci::Locator*>(locp);
  if (!l) return OCI_INVALID_HANDLE;
  std::string& lob = state().lobs[l->lob_id];
  if (newlen > lob.size()) return fakeoci::Fail(errhp, 22926, "specified trim length is greater than current LOB value's length");
  lob.resize(newlen);
  return OCI_SUCCESS;
}

sword OCILobCreateTemporary(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp, ub2, ub1, ub1, boolean, OCIDuration) {
  if (sword st = fakeoci::Enter("OCILobCreateTemporary", errhp)) return st;
  auto* l = reinterpret_cast<fakeoci::Locator*>(locp);
  if (!l) return OCI_INVALID_HANDLE;
  l->lob_id = fakeoci::control().next_lob++;
  state().lobs[l->lob_id] = "";
  return OCI_SUCCESS;
}

sword OCILobFreeTemporary(OCISvcCtx*, OCIError* errhp, OCILobLocator* locp) {
  if (sword st = fakeoci::Enter("OCILobFreeTemporary", errhp)) return st;
  auto* l = reinterpret_cast<fakeoci::Locator*>(locp);
  if (!l || l->lob_id == 0) return OCI_INVALID_HANDLE;
  state().lobs.erase(l->lob_id);
  l->lob_id = 0;
  return OCI_SUCCESS;
}

sword OCITransCommit(OCISvcCtx*, OCIError* errhp, ub4) {
  if (sword st = fakeoci::Enter("OCITransCommit", errhp)) return st;
  state().commits++;
  if (fakeoci::control().open_lobs > 0) state().commit_with_open_lob = true;
  state().committed_rows = state().rows.size();
  return OCI_SUCCESS;
}

sword OCITransRollback(OCISvcCtx*, OCIError* errhp, ub4) {
  if (sword st = fakeoci::Enter("OCITransRollback", errhp)) return st;
  state().rows.resize(state().committed_rows);
  return OCI_SUCCESS;
}

}  // extern "C"
