// oci_stmt_test.cpp - statement handles: preparing again, the statement
// type, errors of the text reported by execute, iteration counts, the binds
// of a PL/SQL block, and a seeded run of random and mutated SQL that must
// only ever give errors.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class OciStmtTest : public OciTest {};

TEST_F(OciStmtTest, StatementTypeIsKnownAfterPrepare) {
  struct Case {
    const char* sql;
    ub2 type;
  } cases[] = {
      {"SELECT * FROM nosuch", OCI_STMT_SELECT},
      {"  select 1 from dual", OCI_STMT_SELECT},
      {"UPDATE t SET a = 1", OCI_STMT_UPDATE},
      {"DELETE FROM t", OCI_STMT_DELETE},
      {"INSERT INTO t VALUES (1)", OCI_STMT_INSERT},
      {"CREATE TABLE t (a NUMBER)", OCI_STMT_CREATE},
      {"CREATE INDEX i ON t (a)", OCI_STMT_CREATE},
      {"DROP TABLE t", OCI_STMT_DROP},
      {"ALTER TABLE t ADD PRIMARY KEY (a)", OCI_STMT_ALTER},
      {"ALTER SESSION SET CURRENT_SCHEMA = app", OCI_STMT_ALTER},
      {"BEGIN NULL; END;", OCI_STMT_BEGIN},
      // The type comes from the leading keyword, before the text is
      // checked by the execution.
      {"SELECT FROM", OCI_STMT_SELECT},
      {"INSERT INTO", OCI_STMT_INSERT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    Stmt s(app_);
    ASSERT_EQ(s.Prepare(c.sql), OCI_SUCCESS);
    EXPECT_EQ(s.StmtType(), c.type);
  }
}

// OCIStmtPrepare does not look at the database: every error of the text
// comes from OCIStmtExecute, with Oracle's number and text.
TEST_F(OciStmtTest, ErrorsOfTheTextComeFromExecute) {
  Must(app_, "CREATE TABLE t (a NUMBER)");
  struct Case {
    const char* sql;
    int code;
    const char* text;  // checked when set
  } cases[] = {
      {"SELECT * FROM nosuch", 942, "ORA-00942: table or view does not exist\n"},
      {"SELECT nosuch FROM t", 904, "ORA-00904: \"NOSUCH\": invalid identifier\n"},
      {"SELECT t.a.b FROM t", 904, nullptr},
      {"SELEC 1 FROM dual", 900, "ORA-00900: invalid SQL statement\n"},
      {"SELECT 1 FROM dual;", 911, "ORA-00911: invalid character\n"},
      {"SELECT 1 + FROM dual", 936, "ORA-00936: missing expression\n"},
      {"SELECT 'abc FROM dual", 1756, nullptr},
      {"INSERT INTO t VALUES (1, 2)", 913, nullptr},
      {"INSERT INTO t (a, nosuch) VALUES (1, 2)", 904, nullptr},
      {"CREATE TABLE t (a NUMBER)", 955, "ORA-00955: name is already used by an existing object\n"},
      {"UPDATE nosuch SET a = 1", 942, nullptr},
      {"DELETE FROM t WHERE", 936, nullptr},
      {"SELECT a FROM t WHERE a = 'x' AND", 936, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    Stmt s(app_);
    ASSERT_EQ(s.Prepare(c.sql), OCI_SUCCESS);
    EXPECT_EQ(s.Execute(s.StmtType() == OCI_STMT_SELECT ? 0 : 1), OCI_ERROR);
    std::string text;
    EXPECT_EQ(app_.ErrorCode(&text), c.code) << text;
    if (c.text) {
      EXPECT_EQ(text, c.text);
    }
  }
}

// A value that cannot be computed fails the fetch of its row; the rows
// before it arrive.
TEST_F(OciStmtTest, RowErrorsComeFromTheFetch) {
  Must(app_, "CREATE TABLE v (k NUMBER, s VARCHAR2(5))");
  Must(app_, "INSERT INTO v VALUES (1, '1')");
  Must(app_, "INSERT INTO v VALUES (2, 'x')");
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("SELECT TO_NUMBER(s) FROM v WHERE k > 0"), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
  int32_t out[2] = {0, 0};
  ASSERT_EQ(s.Define(1, out, 4, SQLT_INT), OCI_SUCCESS);
  EXPECT_EQ(s.Fetch(1), OCI_SUCCESS);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(s.Fetch(1), OCI_ERROR);
  EXPECT_EQ(app_.ErrorCode(), 1722);
}

// Preparing again drops the binds and defines of the old statement.
TEST_F(OciStmtTest, PrepareReplacesBindsAndDefines) {
  Must(app_, "CREATE TABLE p (a NUMBER)");
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("SELECT 1 FROM dual"), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
  int32_t first = 0, second = 0;
  ASSERT_EQ(s.Define(1, &first, 4, SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(s.Fetch(1), OCI_SUCCESS);
  EXPECT_EQ(first, 1);

  ASSERT_EQ(s.Prepare("SELECT 2 FROM dual"), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
  ASSERT_EQ(s.Define(1, &second, 4, SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(s.Fetch(1), OCI_SUCCESS);
  EXPECT_EQ(second, 2);
  EXPECT_EQ(first, 1);

  int32_t v = 5;
  ASSERT_EQ(s.Prepare("INSERT INTO p VALUES (:1)"), OCI_SUCCESS);
  ASSERT_EQ(s.Bind(1, &v, 4, SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(1), OCI_SUCCESS);
  ASSERT_EQ(s.Prepare("INSERT INTO p VALUES (:1)"), OCI_SUCCESS);
  EXPECT_EQ(s.Execute(1), OCI_ERROR);
  EXPECT_EQ(app_.ErrorCode(), 1008);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM p"), "1");
}

// The same statement executed again with new bind values, and again after
// DDL changed the table it reads.
TEST_F(OciStmtTest, ReexecutionSeesNewBindsAndNewColumns) {
  Must(app_, "CREATE TABLE r (a NUMBER)");
  Must(app_, "INSERT INTO r VALUES (1)");
  Must(app_, "INSERT INTO r VALUES (2)");
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("SELECT COUNT(*) FROM r WHERE a >= :1"), OCI_SUCCESS);
  int32_t lim = 0, n = 0;
  ASSERT_EQ(s.Bind(1, &lim, 4, SQLT_INT), OCI_SUCCESS);
  for (int32_t l : {1, 2, 3}) {
    lim = l;
    ASSERT_EQ(s.Execute(0), OCI_SUCCESS);
    ASSERT_EQ(s.Define(1, &n, 4, SQLT_INT), OCI_SUCCESS);
    ASSERT_EQ(s.Fetch(1), OCI_SUCCESS);
    EXPECT_EQ(n, 3 - l);
  }
  Stmt q(app_);
  ASSERT_EQ(q.Prepare("SELECT * FROM r"), OCI_SUCCESS);
  ASSERT_EQ(q.Execute(0), OCI_SUCCESS);
  EXPECT_EQ(q.AttrUb4(OCI_ATTR_PARAM_COUNT), 1u);
  ASSERT_EQ(q.Define(1, &n, 4, SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(q.Fetch(1), OCI_SUCCESS);
  // The session may drop a table its open cursor reads; the cursor then
  // fails.
  Must(app_, "DROP TABLE r");
  EXPECT_EQ(q.Fetch(1), OCI_ERROR);
  EXPECT_EQ(app_.ErrorCode(), 8103);
  Must(app_, "CREATE TABLE r (a NUMBER, b NUMBER)");
  ASSERT_EQ(q.Execute(0), OCI_SUCCESS) << app_.ErrorText();
  EXPECT_EQ(q.AttrUb4(OCI_ATTR_PARAM_COUNT), 2u);
}

// iters 0 is a query's own: DML and DDL fail with ORA-24333 and do nothing.
TEST_F(OciStmtTest, ZeroIterationsOutsideQueries) {
  Must(app_, "CREATE TABLE z (a NUMBER)");
  for (const char* sql : {"INSERT INTO z VALUES (1)", "UPDATE z SET a = 2", "DELETE FROM z",
                          "CREATE TABLE z2 (a NUMBER)"}) {
    SCOPED_TRACE(sql);
    Stmt s(app_);
    ASSERT_EQ(s.Prepare(sql), OCI_SUCCESS);
    EXPECT_EQ(s.Execute(0), OCI_ERROR);
    std::string text;
    EXPECT_EQ(app_.ErrorCode(&text), 24333);
    EXPECT_EQ(text, "ORA-24333: zero iteration count\n");
  }
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM z"), "0");
  EXPECT_EQ(Exec(app_, "SELECT * FROM z2"), 942);
}

// A block's placeholders are its binds, each distinct one once, in and
// out: what the block assigns comes back in the bind buffers.
TEST_F(OciStmtTest, BlockBindsGoInAndComeBack) {
  Must(app_, "CREATE PROCEDURE half(n IN NUMBER, h OUT NUMBER, note IN OUT VARCHAR2) IS\n"
             "BEGIN h := n / 2; note := note || '!'; END;");
  struct Case {
    const char* block;
    const char* in[3];      // the binds' values as text, as many as are bound
    const char* out;        // their values after, "a|b|c" (NULL as "~"), or "ORA-nnnnn"
  } cases[] = {
      {"BEGIN :1 := :2 * 2; END;", {"0", "21"}, "42|21"},
      {"BEGIN :x := :x + 1; :y := :x * 10; END;", {"5", "0"}, "6|60"},
      {"BEGIN SELECT COUNT(*) INTO :n FROM dual; END;", {"7"}, "1"},
      {"BEGIN half(:n, :h, :note); END;", {"9", "0", "hi"}, "9|4.5|hi!"},
      {"DECLARE v NUMBER := :a; BEGIN :b := NULL; :a := v + 1; END;", {"1", "x"}, "2|~"},
      {"BEGIN :s := 'much too long for the buffer'; END;", {"x"}, "ORA-06502"},
      {"BEGIN :a := :b; END;", {"1"}, "ORA-01008"},
      // a quoted placeholder is a name of its own; one only read is left as it was
      {"BEGIN :\"m\" := :m || 'b'; END;", {"x", "a"}, "ab|a"},
      // a placeholder's text inside a literal or a comment is no placeholder
      {"BEGIN :a := ':b' || :a; /* :c */ END;", {"x"}, ":bx"},
      {"DECLARE d DATE := TO_DATE(:d, 'YYYYMMDD'); BEGIN :d := TO_CHAR(d + 1, 'MMDD'); END;", {"20240229"},
       "0301"},
      // an error leaves the binds as they were
      {"BEGIN :v := 'new'; RAISE_APPLICATION_ERROR(-20001, 'no'); END;", {"old"}, "ORA-20001"},
      {"BEGIN :n := 'abc' + 1; END;", {"1"}, "ORA-06502"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    Stmt st(app_);
    ASSERT_EQ(st.Prepare(c.block), OCI_SUCCESS);
    char bufs[3][16] = {};
    sb2 inds[3] = {0, 0, 0};
    int n = 0;
    for (; n < 3 && c.in[n]; ++n) {
      snprintf(bufs[n], sizeof bufs[n], "%s", c.in[n]);
      ASSERT_EQ(st.Bind(static_cast<ub4>(n + 1), bufs[n], sizeof bufs[n], SQLT_STR, &inds[n]), OCI_SUCCESS);
    }
    sword rc = st.Execute(1);
    if (rc != OCI_SUCCESS && n > 0) {
      EXPECT_STREQ(bufs[0], c.in[0]) << "written back by a failed block";
    }
    std::string got;
    if (rc != OCI_SUCCESS) {
      got = "ORA-" + std::string(5 - std::to_string(app_.ErrorCode()).size(), '0') + std::to_string(app_.ErrorCode());
    } else {
      for (int k = 0; k < n; ++k) got += (k ? "|" : "") + (inds[k] == -1 ? std::string("~") : std::string(bufs[k]));
    }
    EXPECT_EQ(got, c.out);
  }
  // Three rows of array binds: the block runs for each.
  Stmt st(app_);
  ASSERT_EQ(st.Prepare("BEGIN :sq := :v * :v; END;"), OCI_SUCCESS);
  int sq[3] = {0, 0, 0}, v[3] = {2, 3, 4};
  ASSERT_EQ(st.Bind(1, sq, sizeof(int), SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(st.Bind(2, v, sizeof(int), SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(st.Execute(3), OCI_SUCCESS) << app_.ErrorText();
  EXPECT_EQ(std::vector<int>(sq, sq + 3), (std::vector<int>{4, 9, 16}));
}

// Calls out of order or with bad handles are refused, not crashed on.
TEST_F(OciStmtTest, CallsOutOfOrder) {
  Stmt s(app_);
  EXPECT_EQ(s.Execute(1), OCI_ERROR);  // nothing prepared
  EXPECT_EQ(s.Prepare(""), OCI_ERROR);
  ASSERT_EQ(s.Prepare("SELECT 1 FROM dual"), OCI_SUCCESS);
  EXPECT_EQ(s.Fetch(1), OCI_ERROR);  // not executed
  EXPECT_EQ(OCIStmtExecute(app_.svc, nullptr, app_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT),
            OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIStmtFetch(reinterpret_cast<OCIStmt*>(app_.err), app_.err, 1, OCI_FETCH_NEXT,
                         OCI_DEFAULT),
            OCI_INVALID_HANDLE);
}

// Random token soups and mutations of valid statements, from a fixed seed:
// prepare, execute and fetch must answer every one with a status and, on
// OCI_ERROR, an Oracle error record; the session stays usable.
TEST_F(OciStmtTest, GarbageNeverCrashes) {
  Must(app_, "CREATE TABLE g (a NUMBER, b VARCHAR2(10), c DATE, d CLOB, e RAW(4))");
  Must(app_, "INSERT INTO g VALUES (1, 'x', SYSDATE, 'doc', HEXTORAW('01'))");
  const std::vector<std::string> tokens = {
      "SELECT", "FROM", "WHERE", "INSERT", "INTO", "VALUES", "UPDATE", "SET", "DELETE", "CREATE",
      "TABLE", "INDEX", "DROP", "ALTER", "ADD", "PRIMARY", "KEY", "NOT", "NULL", "AND", "OR",
      "ORDER", "BY", "GROUP", "HAVING", "DISTINCT", "CASE", "WHEN", "THEN", "ELSE", "END", "IN",
      "BETWEEN", "LIKE", "IS", "AS", "BEGIN", "DECLARE", "DUAL", "g", "a", "b", "c", "d", "e",
      "NUMBER", "VARCHAR2(5)", "CHAR", "DATE", "TIMESTAMP", "INTERVAL", "CLOB", "RAW", "TO_CHAR",
      "TO_DATE", "SUBSTR", "NVL", "DECODE", "DUMP", "COUNT", "MAX", "DBMS_METADATA.GET_DDL",
      "(", ")", ",", ".", "*", "+", "-", "/", "||", "=", "<>", "<", ">=", ":1", ":2", "'",
      "''", "'abc'", "'2024-01-01'", "N'x'", "\"", "\"Q\"", "0", "1", "-1", "1e999", "1.5",
      "9999999999999999999999999999999999999999999", ";", "--", "/*", "*/", "@", "\n", "\t",
      "\xC3\xA9", "\xFF", "%", "?"};
  const std::vector<std::string> seeds = {
      "SELECT a, b FROM g WHERE a = 1 ORDER BY b",
      "INSERT INTO g (a, b) VALUES (2, 'y')",
      "UPDATE g SET b = SUBSTR(b, 1, 2) WHERE a > 0",
      "SELECT TO_CHAR(c, 'YYYY-MM-DD'), DUMP(a), NVL(b, 'n') FROM g",
      "SELECT CASE WHEN a BETWEEN 1 AND 2 THEN 'x' ELSE 'y' END FROM g",
      "CREATE TABLE h (x NUMBER(5,2) NOT NULL, y VARCHAR2(3 CHAR))",
      "DELETE FROM g WHERE b LIKE 'x%' ESCAPE '\\'",
  };
  std::mt19937 rng(20240315);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  int executed = 0, failed = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string sql;
    if (i % 2 == 0) {
      size_t n = 1 + pick(14);
      for (size_t k = 0; k < n; ++k) sql += tokens[pick(tokens.size())] + (pick(4) ? " " : "");
    } else {
      sql = seeds[pick(seeds.size())];
      for (size_t m = 1 + pick(3); m > 0 && !sql.empty(); --m) {
        size_t at = pick(sql.size());
        switch (pick(3)) {
          case 0: sql.erase(at, 1 + pick(4)); break;
          case 1: sql.insert(at, tokens[pick(tokens.size())]); break;
          default: sql[at] = static_cast<char>(rng() & 0xFF); break;
        }
      }
    }
    if (sql.empty()) continue;
    SCOPED_TRACE(sql);
    Stmt s(app_);
    sword rc = s.Prepare(sql);
    ASSERT_TRUE(rc == OCI_SUCCESS || rc == OCI_ERROR);
    if (rc != OCI_SUCCESS) continue;
    int32_t b1 = 1;
    char b2[] = "x";
    s.Bind(1, &b1, 4, SQLT_INT);
    s.Bind(2, b2, 2, SQLT_STR);
    rc = s.Execute(s.StmtType() == OCI_STMT_SELECT ? 0 : 1);
    ++executed;
    if (rc == OCI_ERROR) {
      ++failed;
      std::string text;
      int code = app_.ErrorCode(&text);
      EXPECT_GT(code, 0);
      EXPECT_EQ(text.compare(0, 4, "ORA-"), 0) << text;
      continue;
    }
    ASSERT_TRUE(rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO) << rc;
    if (s.StmtType() == OCI_STMT_SELECT) {
      char buf[64];
      sb2 ind = 0;
      s.Define(1, buf, sizeof buf, SQLT_STR, &ind);
      for (int f = 0; f < 5; ++f) {
        rc = s.Fetch(2);
        if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) break;
      }
      ASSERT_TRUE(rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO || rc == OCI_NO_DATA ||
                  rc == OCI_ERROR)
          << rc;
    }
    app_.Rollback();
  }
  EXPECT_GT(executed, 1000);
  EXPECT_GT(failed, 500);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dual"), "1");
}

}  // namespace
}  // namespace ocitest
