// oci_fixture.h - a database file in a temporary folder and OCI connections
// to it, for the tests that drive the engine through the OCI calls: running
// statements, reading error records, fetching rows as text or as bytes.
#pragma once

#include <gtest/gtest.h>
#include <oci.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/database.h"
#include "oci_logon.h"
#include "support.h"

namespace ocitest {

// "<null>" stands for a NULL cell in the text forms of rows.
inline const std::string kNull = "<null>";

// Bytes as upper-case hex separated by blanks ("C1 02"), the way Oracle's
// byte forms are usually written down.
inline std::string Hex(const void* p, size_t n) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += d[b[i] >> 4];
    s += d[b[i] & 15];
  }
  return s;
}
inline std::string Hex(const std::string& s) { return Hex(s.data(), s.size()); }

// The inverse of Hex: "C1 02" -> bytes.
inline std::string Unhex(const std::string& h) {
  std::string out;
  int nib = -1;
  for (char c : h) {
    int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (v < 0) continue;
    if (nib < 0) {
      nib = v;
    } else {
      out += static_cast<char>(nib * 16 + v);
      nib = -1;
    }
  }
  return out;
}

// One OCI connection: environment, error, server, service context and
// session handles, freed in reverse order.
class Conn : public testsupport::OciLogon {
 public:
  Conn() = default;
  Conn(const Conn&) = delete;
  Conn& operator=(const Conn&) = delete;
  ~Conn() { Close(); }

  // Logs on; returns the status of OCISessionBegin (or of the first call
  // that failed).
  sword Open(const std::string& path, const std::string& user, const std::string& password) {
    sword rc = OCIEnvCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    if (rc != OCI_SUCCESS) return rc;
    return Begin(path, user, password);
  }

  // Ends the session without a commit (the vendor's library rolls back).
  void Close() { End(); }

  // Record 1 of the error handle: its code, and its text through *text.
  int ErrorCode(std::string* text = nullptr) const {
    sb4 code = 0;
    char buf[2048] = {0};
    if (OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                    OCI_HTYPE_ERROR) != OCI_SUCCESS) {
      if (text) text->clear();
      return 0;
    }
    if (text) *text = buf;
    return code;
  }
  std::string ErrorText() const {
    std::string t;
    ErrorCode(&t);
    return t;
  }

  sword Commit() { return OCITransCommit(svc, err, OCI_DEFAULT); }
  sword Rollback() { return OCITransRollback(svc, err, OCI_DEFAULT); }
};

// A statement handle of a connection.
class Stmt {
 public:
  explicit Stmt(Conn& c) : c_(c) {
    OCIHandleAlloc(c.env, reinterpret_cast<void**>(&h), OCI_HTYPE_STMT, 0, nullptr);
  }
  ~Stmt() { OCIHandleFree(h, OCI_HTYPE_STMT); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  sword Prepare(const std::string& sql) {
    return OCIStmtPrepare(h, c_.err, reinterpret_cast<const OraText*>(sql.data()),
                          static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT);
  }
  sword Execute(ub4 iters, ub4 rowoff = 0) {
    return OCIStmtExecute(c_.svc, h, c_.err, iters, rowoff, nullptr, nullptr, OCI_DEFAULT);
  }
  sword Fetch(ub4 nrows) { return OCIStmtFetch(h, c_.err, nrows, OCI_FETCH_NEXT, OCI_DEFAULT); }

  sword Define(ub4 pos, void* buf, sb4 size, ub2 dty, sb2* ind = nullptr, ub2* len = nullptr,
               ub2* rcode = nullptr, OCIDefine** d = nullptr) {
    OCIDefine* tmp = nullptr;
    return OCIDefineByPos(h, d ? d : &tmp, c_.err, pos, buf, size, dty, ind, len, rcode,
                          OCI_DEFAULT);
  }
  sword Bind(ub4 pos, void* buf, sb4 size, ub2 dty, sb2* ind = nullptr, ub2* len = nullptr,
             ub2* rcode = nullptr, OCIBind** b = nullptr) {
    OCIBind* tmp = nullptr;
    return OCIBindByPos(h, b ? b : &tmp, c_.err, pos, buf, size, dty, ind, len, rcode, 0, nullptr,
                        OCI_DEFAULT);
  }

  ub4 AttrUb4(ub4 attr) const {
    ub4 v = 0;
    OCIAttrGet(h, OCI_HTYPE_STMT, &v, nullptr, attr, c_.err);
    return v;
  }
  ub2 StmtType() const {
    ub2 v = 0;
    OCIAttrGet(h, OCI_HTYPE_STMT, &v, nullptr, OCI_ATTR_STMT_TYPE, c_.err);
    return v;
  }
  ub4 RowCount() const { return AttrUb4(OCI_ATTR_ROW_COUNT); }
  ub4 RowsFetched() const { return AttrUb4(OCI_ATTR_ROWS_FETCHED); }

  OCIStmt* h = nullptr;

 private:
  Conn& c_;
};

// Runs one statement without binds (iters 0 for a query, else 1). Returns
// 0 or the Oracle error number of the failure.
inline int Exec(Conn& c, const std::string& sql) {
  Stmt s(c);
  if (s.Prepare(sql) != OCI_SUCCESS) return c.ErrorCode();
  if (s.StmtType() == OCI_STMT_SELECT) return s.Execute(0) == OCI_SUCCESS ? 0 : c.ErrorCode();
  sword rc = s.Execute(1);
  return rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO ? 0 : c.ErrorCode();
}

// Runs statements that must succeed.
inline void Must(Conn& c, const std::string& sql) {
  int code = Exec(c, sql);
  ASSERT_EQ(code, 0) << sql << "\n" << c.ErrorText();
}

using Row = std::vector<std::string>;

// All rows of a query, every column fetched as SQLT_STR (NULL as kNull),
// one row per fetch call.
inline std::vector<Row> Query(Conn& c, const std::string& sql) {
  std::vector<Row> rows;
  Stmt s(c);
  EXPECT_EQ(s.Prepare(sql), OCI_SUCCESS);
  sword rc = s.Execute(0);
  EXPECT_EQ(rc, OCI_SUCCESS) << sql << "\n" << c.ErrorText();
  if (rc != OCI_SUCCESS) return rows;
  ub4 n = s.AttrUb4(OCI_ATTR_PARAM_COUNT);
  std::vector<std::vector<char>> bufs(n, std::vector<char>(8192));
  std::vector<sb2> inds(n);
  for (ub4 i = 0; i < n; ++i) s.Define(i + 1, bufs[i].data(), 8192, SQLT_STR, &inds[i]);
  for (;;) {
    rc = s.Fetch(1);
    if (rc == OCI_NO_DATA) break;
    EXPECT_EQ(rc, OCI_SUCCESS) << sql << "\n" << c.ErrorText();
    if (rc != OCI_SUCCESS) break;
    Row r;
    for (ub4 i = 0; i < n; ++i) r.push_back(inds[i] == -1 ? kNull : std::string(bufs[i].data()));
    rows.push_back(r);
  }
  return rows;
}

// The first column of the first row of a query ("" when there is none).
inline std::string One(Conn& c, const std::string& sql) {
  std::vector<Row> rows = Query(c, sql);
  return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
}

// The error of fetching the first row of a query (0 when there is none).
inline int FetchError(Conn& c, const std::string& sql) {
  Stmt s(c);
  if (s.Prepare(sql) != OCI_SUCCESS || s.Execute(0) != OCI_SUCCESS) return c.ErrorCode();
  char buf[64];
  sword rc = s.Define(1, buf, sizeof buf, SQLT_STR);
  if (rc == OCI_SUCCESS) rc = s.Fetch(1);
  return rc == OCI_SUCCESS || rc == OCI_NO_DATA ? 0 : c.ErrorCode();
}

// A new database with SYSTEM/manager, SYSTEM connected, and a plain user
// APP/app connected (its schema holds the test tables).
class OciTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Client text in the database character set: values arrive unconverted.
    setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
    path_ = dir_.file("t.db");
    tabdb::Status st = tabdb::Database::Create(path_, "manager");
    ASSERT_TRUE(st.ok()) << st.text();
    ASSERT_EQ(sys_.Open(path_, "system", "manager"), OCI_SUCCESS) << sys_.ErrorText();
    MakeUser("APP");
    ASSERT_EQ(app_.Open(path_, "app", "app"), OCI_SUCCESS) << app_.ErrorText();
  }

  // Creates a user whose password is its lower-case name.
  void MakeUser(const std::string& name, bool dba = false) {
    std::string pw = name;
    for (char& ch : pw) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    Must(sys_, "CREATE USER " + name + " IDENTIFIED BY " + pw);
    if (dba) Must(sys_, "GRANT DBA TO " + name);
  }

  testsupport::TempDir dir_;
  std::string path_;
  Conn sys_;
  Conn app_;
};

}  // namespace ocitest
