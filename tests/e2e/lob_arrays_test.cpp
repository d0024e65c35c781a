// lob_arrays_test.cpp - rows of LOB and LONG tables in arrays, held against
// the rows one at a time (TAB_TEST_ROW_AT_A_TIME=1): each schema's dump is
// byte for byte the same both ways, an import either way leaves what a
// second export finds byte for byte the same, and the arrays cost fewer
// round trips. The schemas: LOB values at the bound (64 KiB) and on either
// side of it, NULL and empty LOBs, multi-byte CLOBs and NCLOBs, LONG
// values of a piece and just over one, a LONG table whose values are all
// longer than a piece, a table of a LOB and a LONG, one whose CHECK reads
// its CLOB, and the bundled sample. Then IGNORE=Y refuses the same rows,
// with the same messages, from LOB arrays as from rows one at a time.
#include <oci.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "oci_logon.h"
#include "support.h"

namespace {

using testsupport::ProcResult;
using testsupport::RunSql;
using testsupport::TempDir;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
const char kOld[] = "TAB_TEST_ROW_AT_A_TIME=1";
const size_t kBound = 65536;

std::string Repeat(const std::string& s, size_t n) {
  std::string r;
  for (size_t i = 0; i < n; ++i) r += s;
  return r;
}
std::string Bytes(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7) >> 3);
  return s;
}

// A session of APP through OCI: each row inserted with its values bound as
// data in one piece (NULL where a value is "null"), then commit.
class App {
 public:
  explicit App(const std::string& db) {
    OCIEnvCreate(&o_.env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    ok_ = o_.Begin(db, "app", "app") == OCI_SUCCESS;
  }
  ~App() {
    if (ok_) OCITransCommit(o_.svc, o_.err, OCI_DEFAULT);
    o_.End();
  }
  bool ok() const { return ok_; }
  void Commit() { OCITransCommit(o_.svc, o_.err, OCI_DEFAULT); }
  // values[k] bound at :k+1 as dtys[k] (SQLT_INT for the id's text), the
  // one at `nchar` (1-based, 0 none) in the national form.
  ::testing::AssertionResult Insert(const std::string& sql, const std::vector<ub2>& dtys,
                                    const std::vector<std::string>& values, size_t nchar = 0) {
    OCIStmt* s = nullptr;
    OCIHandleAlloc(o_.env, reinterpret_cast<void**>(&s), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(s, o_.err, reinterpret_cast<const OraText*>(sql.data()), static_cast<ub4>(sql.size()),
                   OCI_NTV_SYNTAX, OCI_DEFAULT);
    std::vector<int32_t> ints(values.size());
    std::vector<sb2> inds(values.size());
    for (size_t k = 0; k < values.size(); ++k) {
      OCIBind* b = nullptr;
      inds[k] = values[k] == "null" ? -1 : 0;
      if (dtys[k] == SQLT_INT) {
        ints[k] = std::stoi(values[k]);
        OCIBindByPos(s, &b, o_.err, static_cast<ub4>(k + 1), &ints[k], 4, SQLT_INT, nullptr, nullptr, nullptr, 0,
                     nullptr, OCI_DEFAULT);
        continue;
      }
      OCIBindByPos(s, &b, o_.err, static_cast<ub4>(k + 1), const_cast<char*>(values[k].data()),
                   static_cast<sb4>(values[k].size()), dtys[k], &inds[k], nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
      if (k + 1 == nchar) {
        ub1 form = SQLCS_NCHAR;
        OCIAttrSet(b, OCI_HTYPE_BIND, &form, 0, OCI_ATTR_CHARSET_FORM, o_.err);
      }
    }
    sword rc = OCIStmtExecute(o_.svc, s, o_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    sb4 code = 0;
    OraText msg[512] = {0};
    if (rc != OCI_SUCCESS) OCIErrorGet(o_.err, 1, nullptr, &code, msg, sizeof msg, OCI_HTYPE_ERROR);
    OCIHandleFree(s, OCI_HTYPE_STMT);
    if (rc == OCI_SUCCESS) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << sql << ": " << reinterpret_cast<char*>(msg);
  }

 private:
  testsupport::OciLogon o_;
  bool ok_ = false;
};

// The LOB and LONG edge values of schema APP.
void MakeEdges(const std::string& db) {
  ASSERT_EQ(0, RunSql("system/manager@" + db,
                      "CREATE USER app IDENTIFIED BY app;\n"
                      "GRANT CONNECT, RESOURCE TO app;\n"
                      "ALTER SESSION SET CURRENT_SCHEMA = app;\n"
                      "CREATE TABLE lobs (id NUMBER, c CLOB, n NCLOB, b BLOB);\n"
                      "CREATE TABLE longs (id NUMBER, l LONG);\n"
                      "CREATE TABLE long_only (id NUMBER, l LONG);\n"
                      "CREATE TABLE raws (id NUMBER, r LONG RAW);\n"
                      "CREATE TABLE mixed (id NUMBER, c CLOB, l LONG);\n"
                      "CREATE TABLE checked (id NUMBER, c CLOB CONSTRAINT checked_c NOT NULL);\n",
                      {kNls})
                   .status);
  App a(db);
  ASSERT_TRUE(a.ok());
  const std::string zh = "\xD0\xB6", face = "\xF0\x9F\x98\x80";
  const std::vector<ub2> lob_dtys = {SQLT_INT, SQLT_CHR, SQLT_CHR, SQLT_BIN};
  const char* lob_sql = "INSERT INTO lobs VALUES (:1, :2, :3, :4)";
  struct LobRow {
    std::string c, n, b;
  } lob_rows[] = {
      {"null", "null", "null"},
      {"", "", ""},  // made empty below
      {std::string(kBound - 1, 'a'), Repeat(zh, 10), Bytes(kBound - 1, 1)},
      {std::string(kBound, 'b'), "null", Bytes(kBound, 2)},
      {std::string(kBound + 1, 'c'), Repeat(zh, 40000), Bytes(kBound + 1, 3)},
      {Repeat(zh, kBound / 2), Repeat(face, 20000), ""},
      {std::string(100000, 'd'), "x", Bytes(1, 4)},
  };
  int id = 0;
  for (const LobRow& r : lob_rows)
    ASSERT_TRUE(a.Insert(lob_sql, lob_dtys, {std::to_string(++id), r.c, r.n, r.b}, 3));
  a.Commit();
  ASSERT_EQ(0, RunSql("app/app@" + db,
                      "UPDATE lobs SET c = EMPTY_CLOB(), n = EMPTY_CLOB(), b = EMPTY_BLOB() WHERE id = 2;\n"
                      "UPDATE lobs SET b = EMPTY_BLOB() WHERE id = 6;\nCOMMIT;\n",
                      {kNls})
                   .status);
  id = 0;
  for (const std::string& l : {std::string("null"), std::string("x"), std::string(32768, 'p'),
                               std::string(32769, 'q'), std::string(100000, 'r'), Repeat(zh, 20000)})
    ASSERT_TRUE(a.Insert("INSERT INTO longs VALUES (:1, :2)", {SQLT_INT, SQLT_LNG}, {std::to_string(++id), l}));
  for (int i = 1; i <= 40; ++i)  // longer than a piece, every one
    ASSERT_TRUE(a.Insert("INSERT INTO long_only VALUES (:1, :2)", {SQLT_INT, SQLT_LNG},
                         {std::to_string(i), std::string(40000 + static_cast<size_t>(i), 'L')}));
  id = 0;
  for (const std::string& r : {Bytes(32769, 5), std::string("null"), Bytes(1, 6)})
    ASSERT_TRUE(a.Insert("INSERT INTO raws VALUES (:1, :2)", {SQLT_INT, SQLT_LBI}, {std::to_string(++id), r}));
  ASSERT_TRUE(a.Insert("INSERT INTO mixed VALUES (:1, :2, :3)", {SQLT_INT, SQLT_CHR, SQLT_LNG},
                       {"1", std::string(3000, 'm'), std::string(40000, 'n')}));
  ASSERT_TRUE(a.Insert("INSERT INTO mixed VALUES (:1, :2, :3)", {SQLT_INT, SQLT_CHR, SQLT_LNG}, {"2", "null", "null"}));
  id = 0;
  for (const std::string& c : {std::string(10, 'k'), std::string(66000, 'k'), std::string(69999, 'k')})
    ASSERT_TRUE(a.Insert("INSERT INTO checked VALUES (:1, :2)", {SQLT_INT, SQLT_CHR}, {std::to_string(++id), c}));
}

// Whether two files hold the same bytes; else where they part.
::testing::AssertionResult SameBytes(const std::string& a, const std::string& b) {
  std::string x = testsupport::ReadFile(a), y = testsupport::ReadFile(b);
  if (x == y) return ::testing::AssertionSuccess();
  size_t i = 0;
  while (i < x.size() && i < y.size() && x[i] == y[i]) ++i;
  return ::testing::AssertionFailure() << a << " (" << x.size() << " bytes) and " << b << " (" << y.size()
                                       << " bytes) differ from byte " << i;
}

struct Outcome {
  std::string log;
  uint64_t trips = 0;
};

// Runs a program with the round trips of its sessions counted; the rows
// one at a time when `old`.
Outcome Program(const std::vector<std::string>& argv, bool old, const TempDir& dir) {
  std::string trips = dir.file("trips.log");
  std::remove(trips.c_str());
  std::vector<std::string> env = {kNls, "TABDB_TRIP_LOG=" + trips};
  if (old) env.push_back(kOld);
  ProcResult r = testsupport::Run(argv, env);
  EXPECT_LE(r.status, 1) << r.out << r.err;
  Outcome out{r.out + r.err, 0};
  std::istringstream in(testsupport::ReadFile(trips));
  std::string word;
  while (in >> word)
    if (word.rfind("trips=", 0) == 0) out.trips += std::stoull(word.substr(6));
  return out;
}

struct Schema {
  const char* name;
  const char* owner;
  void (*make)(const std::string& db);
};

void MakeSample(const std::string& db) {
  ASSERT_EQ(0, RunSql("system/manager@" + db, "@" + std::string(SAMPLE_DIR) + "/schema.sql\n", {kNls}).status);
}

class ArrayPaths : public ::testing::TestWithParam<Schema> {
 protected:
  // A fresh database with an empty schema named like the source's.
  std::string Target(const std::string& name, const std::string& owner) {
    std::string db = dir_.file(name + ".db");
    testsupport::CreateDatabase(db);
    EXPECT_EQ(0, RunSql("system/manager@" + db, "CREATE USER " + owner + " IDENTIFIED BY x;\nGRANT CONNECT, RESOURCE TO " +
                                                    owner + ";\n", {kNls}).status);
    return db;
  }
  Outcome Export(const std::string& db, const std::string& owner, const std::string& file, bool old) {
    return Program({TABEXP_PATH, "system/manager@" + db, "FILE=" + file, "OWNER=" + owner}, old, dir_);
  }
  Outcome Import(const std::string& db, const std::string& file, bool old, const std::string& extra = "") {
    std::vector<std::string> argv = {TABIMP_PATH, "system/manager@" + db, "FILE=" + file};
    if (!extra.empty()) argv.push_back(extra);
    return Program(argv, old, dir_);
  }

  TempDir dir_;
};

TEST_P(ArrayPaths, SameBytesBothWaysAndFewerRoundTrips) {
  const Schema& s = GetParam();
  std::string src = dir_.file("src.db");
  testsupport::CreateDatabase(src);
  ASSERT_NO_FATAL_FAILURE(s.make(src));
  std::string arrays = dir_.file("arrays.dmp"), alone = dir_.file("alone.dmp");
  Outcome e_new = Export(src, s.owner, arrays, false), e_old = Export(src, s.owner, alone, true);
  EXPECT_TRUE(SameBytes(alone, arrays));
  EXPECT_LT(e_new.trips, e_old.trips);
  EXPECT_NE(std::string::npos, e_new.log.find("Export terminated successfully")) << e_new.log;

  std::string db_new = Target("new", s.owner), db_old = Target("old", s.owner);
  Outcome i_new = Import(db_new, arrays, false), i_old = Import(db_old, arrays, true);
  EXPECT_EQ(i_old.log, i_new.log);
  EXPECT_LT(i_new.trips, i_old.trips);
  std::string again_new = dir_.file("again_new.dmp"), again_old = dir_.file("again_old.dmp");
  Export(db_new, s.owner, again_new, false);
  Export(db_old, s.owner, again_old, false);
  EXPECT_TRUE(SameBytes(again_old, again_new));
  // nothing of the edges changes on the way: the second export is the first
  if (std::string(s.name) == "edges") {
    EXPECT_TRUE(SameBytes(arrays, again_new));
  }
}

INSTANTIATE_TEST_SUITE_P(Schemas, ArrayPaths,
                         ::testing::Values(Schema{"edges", "APP", MakeEdges}, Schema{"sample", "SHOP", MakeSample}),
                         [](const ::testing::TestParamInfo<Schema>& i) { return std::string(i.param.name); });

// IGNORE=Y into a table whose CHECK reads its CLOB and whose key is taken:
// the rows it refuses are the same, named alike, from LOB arrays (values
// within the bound bound as data, a longer one whole from a temporary
// LOB) as from rows one at a time, and none of them is stored.
TEST_F(ArrayPaths, IgnoreRefusesTheSameRows) {
  std::string src = dir_.file("src.db");
  testsupport::CreateDatabase(src);
  std::string script = "CREATE USER app IDENTIFIED BY app;\nGRANT CONNECT, RESOURCE TO app;\n"
                       "ALTER SESSION SET CURRENT_SCHEMA = app;\nCREATE TABLE chk (id NUMBER, c CLOB);\n";
  const char* rows[] = {"'ok'", "RPAD('long', 20, 'g')", "'fine'", "'ok'", "TO_CLOB(RPAD('x', 32767, 'x')) || RPAD('x', 32767, 'x') || 'xxx'", "NULL", "'last'"};
  int ids[] = {1, 2, 3, 1, 5, 6, 7};
  for (int i = 0; i < 7; ++i) script += "INSERT INTO chk VALUES (" + std::to_string(ids[i]) + ", " + rows[i] + ");\n";
  ASSERT_EQ(0, RunSql("system/manager@" + src, script + "COMMIT;\n", {kNls}).status);
  std::string dump = dir_.file("chk.dmp");
  Export(src, "APP", dump, false);
  std::string logs[2];
  for (bool old : {false, true}) {
    std::string db = Target(old ? "old" : "new", "APP");
    ASSERT_EQ(0, RunSql("system/manager@" + db,
                        "CREATE TABLE app.chk (id NUMBER PRIMARY KEY, c CLOB CHECK (DBMS_LOB.GETLENGTH(c) < 10));\n",
                        {kNls})
                     .status);
    logs[old] = Import(db, dump, old, "IGNORE=Y").log;
    ProcResult q = RunSql("system/manager@" + db, "SELECT id FROM app.chk ORDER BY id;\n", {kNls});
    EXPECT_EQ("ID\n1\n3\n6\n7\n", q.out) << (old ? "rows one at a time" : "arrays");
  }
  EXPECT_EQ(logs[1], logs[0]);
  testsupport::ExpectInOrder(logs[0], {"Row 2 rejected: ORA-02290", "Row 4 rejected: ORA-00001",
                                       "Row 5 rejected: ORA-02290", "4 rows imported, 3 rejected"});
}

}  // namespace
