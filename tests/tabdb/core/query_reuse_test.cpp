// query_reuse_test.cpp - a statement handle prepared again with a text its
// session ran before reuses the compiled query: the reused query still
// reads the rows as they are now, takes new bind values, follows DDL that
// changed what its names mean, and never crosses a change of the current
// schema.
#include <string>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class QueryReuse : public OciTest {
 protected:
  // Runs the query `sql` on handle `s` (prepared anew) with `bind` as :1
  // when given; the first column of each row, joined by ','.
  std::string Run(Stmt& s, const std::string& sql, const char* bind = nullptr) {
    EXPECT_EQ(s.Prepare(sql), OCI_SUCCESS);
    char value[64] = "";
    if (bind) {
      std::snprintf(value, sizeof value, "%s", bind);
      EXPECT_EQ(s.Bind(1, value, sizeof value, SQLT_STR), OCI_SUCCESS);
    }
    if (s.Execute(0) != OCI_SUCCESS) return "error " + std::to_string(app_.ErrorCode());
    char buf[256];
    sb2 ind = 0;
    EXPECT_EQ(s.Define(1, buf, sizeof buf, SQLT_STR, &ind), OCI_SUCCESS);
    std::string out;
    while (s.Fetch(1) == OCI_SUCCESS) out += (out.empty() ? "" : ",") + std::string(ind == -1 ? kNull : buf);
    return out;
  }
};

TEST_F(QueryReuse, ReusedQueriesSeeTheDatabaseAsItIsNow) {
  Must(app_, "CREATE TABLE t (a NUMBER, b VARCHAR2(10))");
  Must(app_, "INSERT INTO t VALUES (1, 'x')");
  Stmt s(app_);
  const std::string q = "SELECT a FROM t WHERE b = :1 ORDER BY a";
  EXPECT_EQ(Run(s, q, "x"), "1");
  EXPECT_EQ(Run(s, "SELECT COUNT(*) FROM t"), "1");
  // Rows added since, and another bind value.
  Must(app_, "INSERT INTO t VALUES (2, 'x')");
  Must(app_, "INSERT INTO t VALUES (3, 'y')");
  EXPECT_EQ(Run(s, q, "x"), "1,2");
  EXPECT_EQ(Run(s, q, "y"), "3");
  // The table replaced by one whose column a holds other values.
  Must(app_, "DROP TABLE t");
  Must(app_, "CREATE TABLE t (b VARCHAR2(10), a VARCHAR2(5))");
  Must(app_, "INSERT INTO t VALUES ('x', 'new')");
  EXPECT_EQ(Run(s, q, "x"), "new");
  Must(app_, "DROP TABLE t");
  EXPECT_EQ(Run(s, q, "x"), "error 942");
}

TEST_F(QueryReuse, TheCurrentSchemaIsPartOfTheQuery) {
  MakeUser("OTHER");
  Must(sys_, "CREATE TABLE app.t (a NUMBER)");
  Must(sys_, "INSERT INTO app.t VALUES (1)");
  Must(sys_, "CREATE TABLE other.t (a NUMBER)");
  Must(sys_, "INSERT INTO other.t VALUES (2)");
  Must(sys_, "COMMIT");
  Stmt s(sys_);
  Must(sys_, "ALTER SESSION SET CURRENT_SCHEMA = app");
  EXPECT_EQ(Run(s, "SELECT a FROM t"), "1");
  EXPECT_EQ(Run(s, "SELECT COUNT(*) FROM dual"), "1");
  Must(sys_, "ALTER SESSION SET CURRENT_SCHEMA = other");
  EXPECT_EQ(Run(s, "SELECT a FROM t"), "2");
}

// Dictionary views show what the session's user may see: a query kept for
// one session is not handed to another.
TEST_F(QueryReuse, SessionsKeepTheirOwnQueries) {
  Must(sys_, "CREATE TABLE system.secret (a NUMBER)");
  const std::string q = "SELECT TABLE_NAME FROM ALL_TABLES WHERE TABLE_NAME = 'SECRET'";
  Stmt s1(sys_), s2(app_);
  EXPECT_EQ(Run(s1, q), "SECRET");
  EXPECT_EQ(Run(s1, "SELECT 1 FROM dual"), "1");
  EXPECT_EQ(Run(s2, q), "");
  EXPECT_EQ(Run(s1, q), "SECRET");
}

}  // namespace
}  // namespace ocitest
