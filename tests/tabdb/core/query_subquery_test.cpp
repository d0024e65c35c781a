// query_subquery_test.cpp - queries nested in expressions and in FROM:
// scalar subqueries and ORA-01427, IN / NOT IN with Oracle's NULL rule,
// EXISTS, correlation with the query around, inline views.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class QuerySubqueryTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(app_, "CREATE TABLE dept (deptno NUMBER, dname VARCHAR2(10))");
    Must(app_, "CREATE TABLE emp (empno NUMBER, ename VARCHAR2(10), deptno NUMBER, sal NUMBER)");
    Must(app_, "INSERT INTO dept VALUES (10, 'SALES')");
    Must(app_, "INSERT INTO dept VALUES (20, 'OPS')");
    Must(app_, "INSERT INTO dept VALUES (30, 'EMPTY')");
    Must(app_, "INSERT INTO emp VALUES (1, 'ANN', 10, 100)");
    Must(app_, "INSERT INTO emp VALUES (2, 'BOB', 20, 200)");
    Must(app_, "INSERT INTO emp VALUES (3, 'CY', 20, 300)");
    Must(app_, "INSERT INTO emp VALUES (4, 'DEE', NULL, 400)");
  }
};

TEST_F(QuerySubqueryTest, ScalarSubqueriesGiveOneValueOrFail) {
  EXPECT_EQ(One(app_, "SELECT (SELECT dname FROM dept WHERE deptno = 20) FROM dual"), "OPS");
  EXPECT_EQ(One(app_, "SELECT (SELECT dname FROM dept WHERE deptno = 99) FROM dual"), kNull);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp WHERE sal > (SELECT AVG(sal) FROM emp)"), "2");
  // Correlated: each employee's department name.
  EXPECT_EQ(Query(app_, "SELECT e.ename, (SELECT d.dname FROM dept d WHERE d.deptno = e.deptno) "
                        "FROM emp e ORDER BY e.empno"),
            (std::vector<Row>{{"ANN", "SALES"}, {"BOB", "OPS"}, {"CY", "OPS"}, {"DEE", kNull}}));
  EXPECT_EQ(One(app_, "SELECT (SELECT COUNT(*) FROM emp WHERE emp.deptno = dept.deptno) FROM dept "
                      "WHERE dname = 'OPS'"),
            "2");
  EXPECT_EQ(FetchError(app_, "SELECT (SELECT dname FROM dept) FROM dual"), 1427);
  EXPECT_EQ(FetchError(app_, "SELECT 1 FROM dept WHERE deptno = (SELECT deptno FROM emp)"), 1427);
  EXPECT_EQ(Exec(app_, "SELECT (SELECT deptno, dname FROM dept WHERE deptno = 10) FROM dual"), 913);
}

TEST_F(QuerySubqueryTest, InAndExistsFollowOraclesNullRule) {
  EXPECT_EQ(Query(app_, "SELECT dname FROM dept WHERE deptno IN (SELECT deptno FROM emp) ORDER BY 1"),
            (std::vector<Row>{{"OPS"}, {"SALES"}}));
  // emp.deptno holds a NULL: NOT IN is never true.
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dept WHERE deptno NOT IN (SELECT deptno FROM emp)"), "0");
  EXPECT_EQ(One(app_, "SELECT dname FROM dept WHERE deptno NOT IN "
                      "(SELECT deptno FROM emp WHERE deptno IS NOT NULL)"),
            "EMPTY");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dept WHERE deptno NOT IN (SELECT deptno FROM emp WHERE 1 = 0)"),
            "3");
  EXPECT_EQ(One(app_, "SELECT dname FROM dept d WHERE NOT EXISTS "
                      "(SELECT 1 FROM emp e WHERE e.deptno = d.deptno)"),
            "EMPTY");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dept d WHERE EXISTS (SELECT * FROM emp WHERE deptno = d.deptno)"),
            "2");
  // A text column compared with numbers from the query.
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp WHERE '20' IN (SELECT deptno FROM dept)"), "4");
}

TEST_F(QuerySubqueryTest, InlineViewsAreFromItems) {
  EXPECT_EQ(Query(app_, "SELECT v.deptno, v.total FROM (SELECT deptno, SUM(sal) total FROM emp "
                        "GROUP BY deptno) v WHERE v.total > 150 ORDER BY 1"),
            (std::vector<Row>{{"20", "500"}, {kNull, "400"}}));
  EXPECT_EQ(Query(app_, "SELECT d.dname, v.n FROM dept d JOIN (SELECT deptno, COUNT(*) n FROM emp "
                        "GROUP BY deptno) v ON v.deptno = d.deptno ORDER BY 1"),
            (std::vector<Row>{{"OPS", "2"}, {"SALES", "1"}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM (SELECT * FROM (SELECT ename FROM emp))"), "4");
  EXPECT_EQ(One(app_, "SELECT MAX(ename) FROM (SELECT ename FROM emp WHERE sal < 300)"), "BOB");
  EXPECT_EQ(Exec(app_, "SELECT sal FROM (SELECT ename FROM emp)"), 904);
}

TEST_F(QuerySubqueryTest, UpdateAndDeleteWithSubqueries) {
  Must(app_, "UPDATE emp SET sal = (SELECT MAX(sal) FROM emp) WHERE deptno IN "
             "(SELECT deptno FROM dept WHERE dname = 'SALES')");
  EXPECT_EQ(One(app_, "SELECT sal FROM emp WHERE empno = 1"), "400");
  // The subquery reads the table as it was before the statement.
  Must(app_, "DELETE FROM emp WHERE sal < (SELECT MAX(sal) FROM emp)");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp"), "2");
  Must(app_, "INSERT INTO emp (empno, sal) SELECT empno + 10, (SELECT COUNT(*) FROM emp) FROM emp");
  EXPECT_EQ(Query(app_, "SELECT sal FROM emp WHERE empno > 10"), (std::vector<Row>{{"2"}, {"2"}}));
}

TEST_F(QuerySubqueryTest, OffsetAndFetchFirstLimitTheOrderedRows) {
  EXPECT_EQ(Query(app_, "SELECT ename FROM emp ORDER BY sal DESC FETCH FIRST 2 ROWS ONLY"),
            (std::vector<Row>{{"DEE"}, {"CY"}}));
  EXPECT_EQ(Query(app_, "SELECT ename FROM emp ORDER BY sal OFFSET 1 ROWS FETCH NEXT 2 ROWS ONLY"),
            (std::vector<Row>{{"BOB"}, {"CY"}}));
  EXPECT_EQ(Query(app_, "SELECT ename FROM emp ORDER BY sal OFFSET 3 ROWS"), (std::vector<Row>{{"DEE"}}));
  EXPECT_EQ(Query(app_, "SELECT ename FROM emp ORDER BY 1 OFFSET -5 ROWS FETCH FIRST 1.9 ROW ONLY"),
            (std::vector<Row>{{"ANN"}}));
  EXPECT_EQ(Query(app_, "SELECT ename FROM emp WHERE empno = 2 FETCH FIRST 5 ROWS ONLY"),
            (std::vector<Row>{{"BOB"}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM (SELECT * FROM emp FETCH FIRST 3 ROWS ONLY)"), "3");
  EXPECT_EQ(One(app_, "SELECT (SELECT ename FROM emp ORDER BY sal FETCH FIRST 1 ROW ONLY) FROM dual"), "ANN");
  EXPECT_NE(Exec(app_, "SELECT ename FROM emp e FETCH FIRST 2 ROWS"), 0);
}

}  // namespace
}  // namespace ocitest
