// query_rownum_test.cpp - ROWNUM (numbered as rows pass WHERE, before
// DISTINCT, grouping and ORDER BY; the top-N idiom; numbering per nested
// query; in UPDATE and DELETE) and the (+) outer-join marker of WHERE
// conditions with its errors.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

using Rows = std::vector<Row>;

class QueryRownumTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(app_, "CREATE TABLE dept (deptno NUMBER, dname VARCHAR2(10), loc VARCHAR2(10))");
    Must(app_, "CREATE TABLE emp (empno NUMBER, ename VARCHAR2(10), deptno NUMBER, sal NUMBER)");
    Must(app_, "INSERT INTO dept VALUES (10, 'SALES', 'NY')");
    Must(app_, "INSERT INTO dept VALUES (20, 'OPS', 'LA')");
    Must(app_, "INSERT INTO dept VALUES (30, 'EMPTY', 'NY')");
    Must(app_, "INSERT INTO emp VALUES (1, 'ANN', 10, 300)");
    Must(app_, "INSERT INTO emp VALUES (2, 'BOB', 20, 100)");
    Must(app_, "INSERT INTO emp VALUES (3, 'CY', 20, 400)");
    Must(app_, "INSERT INTO emp VALUES (4, 'DEE', NULL, 200)");
  }
};

TEST_F(QueryRownumTest, RownumLimitsTheRowsThatPassWhere) {
  EXPECT_EQ(Query(app_, "SELECT ROWNUM, empno FROM emp WHERE ROWNUM <= 2"), (Rows{{"1", "1"}, {"2", "2"}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp WHERE ROWNUM < 3"), "2");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp WHERE ROWNUM <= 2.7"), "2");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp WHERE 3 > ROWNUM"), "2");
  EXPECT_EQ(Query(app_, "SELECT ename FROM emp WHERE ROWNUM = 1 AND sal > 150"), (Rows{{"ANN"}}));
  EXPECT_EQ(Query(app_, "SELECT ROWNUM, ename FROM emp WHERE sal > 150 AND ROWNUM < 10"),
            (Rows{{"1", "ANN"}, {"2", "CY"}, {"3", "DEE"}}));
  // The first row that passes is number 1: it can never be number 2.
  EXPECT_EQ(Query(app_, "SELECT * FROM emp WHERE ROWNUM > 1"), Rows{});
  EXPECT_EQ(Query(app_, "SELECT * FROM emp WHERE ROWNUM = 2"), Rows{});
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp WHERE ROWNUM >= 1"), "4");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp WHERE ROWNUM <> 3"), "2");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp WHERE ROWNUM <= 0"), "0");
}

TEST_F(QueryRownumTest, UpdateAndDeleteNumberAndLimitTheRowsTheyFind) {
  Must(app_, "UPDATE emp SET sal = ROWNUM * 10");
  EXPECT_EQ(Query(app_, "SELECT empno, sal FROM emp ORDER BY empno"),
            (Rows{{"1", "10"}, {"2", "20"}, {"3", "30"}, {"4", "40"}}));
  Must(app_, "DELETE FROM emp WHERE ROWNUM <= 2 AND sal > 15");
  EXPECT_EQ(Query(app_, "SELECT empno FROM emp ORDER BY empno"), (Rows{{"1"}, {"4"}}));
  Must(app_, "UPDATE emp SET sal = 0 WHERE ROWNUM > 1");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp WHERE sal = 0"), "0");
}

TEST_F(QueryRownumTest, RownumLimitsFromVariablesAreTakenWhenTheStatementRuns) {
  Must(app_, "CREATE TABLE got (k VARCHAR2(10), v NUMBER)");
  Must(app_, "DECLARE n NUMBER := 2; c NUMBER; BEGIN "
             "FOR i IN 0..3 LOOP SELECT COUNT(*) INTO c FROM emp WHERE ROWNUM <= i + n - 2; "
             "INSERT INTO got VALUES ('le' || i, c); END LOOP; "
             "SELECT COUNT(*) INTO c FROM emp WHERE ROWNUM < n AND ROWNUM <= 5; INSERT INTO got VALUES ('lt', c); "
             "SELECT COUNT(*) INTO c FROM emp WHERE ROWNUM > n - 2; INSERT INTO got VALUES ('gt', c); "
             "SELECT COUNT(*) INTO c FROM emp WHERE ROWNUM <= NULL; INSERT INTO got VALUES ('null', c); END;");
  EXPECT_EQ(Query(app_, "SELECT k, v FROM got ORDER BY k"),
            (Rows{{"gt", "4"}, {"le0", "0"}, {"le1", "1"}, {"le2", "2"}, {"le3", "3"}, {"lt", "1"}, {"null", "0"}}));
}

TEST_F(QueryRownumTest, RownumComesBeforeOrderByDistinctAndGrouping) {
  // Numbered in reading order, then sorted.
  EXPECT_EQ(Query(app_, "SELECT ROWNUM, ename FROM emp ORDER BY sal DESC"),
            (Rows{{"3", "CY"}, {"1", "ANN"}, {"4", "DEE"}, {"2", "BOB"}}));
  EXPECT_EQ(Query(app_, "SELECT ename FROM emp WHERE ROWNUM <= 2 ORDER BY ename DESC"), (Rows{{"BOB"}, {"ANN"}}));
  EXPECT_EQ(Query(app_, "SELECT DISTINCT deptno FROM emp WHERE ROWNUM <= 3 ORDER BY 1"), (Rows{{"10"}, {"20"}}));
  EXPECT_EQ(One(app_, "SELECT SUM(sal) FROM emp WHERE ROWNUM <= 2"), "400");
  EXPECT_EQ(Query(app_, "SELECT deptno, COUNT(*) FROM emp WHERE ROWNUM <= 3 GROUP BY deptno ORDER BY 1"),
            (Rows{{"10", "1"}, {"20", "2"}}));
}

TEST_F(QueryRownumTest, TopNOfAnOrderedInlineView) {
  EXPECT_EQ(Query(app_, "SELECT ename FROM (SELECT ename FROM emp ORDER BY sal DESC) WHERE ROWNUM <= 2"),
            (Rows{{"CY"}, {"ANN"}}));
  // Pagination: each query numbers its own rows.
  EXPECT_EQ(Query(app_, "SELECT ename FROM (SELECT ROWNUM rn, ename FROM "
                        "(SELECT ename FROM emp ORDER BY ename) WHERE ROWNUM <= 3) WHERE rn > 1"),
            (Rows{{"BOB"}, {"CY"}}));
  EXPECT_EQ(One(app_, "SELECT (SELECT ename FROM emp WHERE ROWNUM = 1 AND deptno = d.deptno) "
                      "FROM dept d WHERE deptno = 20"),
            "BOB");
  // ROWNUM is only ever a pseudo-column: in a query without it in WHERE
  // nothing changes.
  EXPECT_EQ(Query(app_, "SELECT ROWNUM FROM dept WHERE loc = 'NY'"), (Rows{{"1"}, {"2"}}));
}

TEST_F(QueryRownumTest, OuterJoinMarkerKeepsTheRowsOfTheOtherTable) {
  const Rows want = {{"SALES", "ANN"}, {"OPS", "BOB"}, {"OPS", "CY"}, {"EMPTY", kNull}};
  EXPECT_EQ(Query(app_, "SELECT d.dname, e.ename FROM dept d, emp e WHERE d.deptno = e.deptno(+) "
                        "ORDER BY d.deptno, e.empno"),
            want);
  // Written the other way round, and with the items in the other order.
  EXPECT_EQ(Query(app_, "SELECT d.dname, e.ename FROM emp e, dept d WHERE e.deptno(+) = d.deptno "
                        "ORDER BY d.deptno, e.empno"),
            want);
  // A condition on a constant joins too; without the marker it filters.
  EXPECT_EQ(Query(app_, "SELECT d.dname, e.ename FROM dept d, emp e WHERE d.deptno = e.deptno(+) "
                        "AND e.sal(+) > 150 ORDER BY d.deptno"),
            (Rows{{"SALES", "ANN"}, {"OPS", "CY"}, {"EMPTY", kNull}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dept d, emp e WHERE d.deptno = e.deptno(+) AND e.sal > 150"),
            "2");
  // Several columns, and a chain of outer joins.
  Must(app_, "CREATE TABLE loc (code VARCHAR2(10), dname VARCHAR2(10), city VARCHAR2(10))");
  Must(app_, "INSERT INTO loc VALUES ('NY', 'SALES', 'New York')");
  EXPECT_EQ(Query(app_, "SELECT e.ename, l.city FROM emp e, dept d, loc l WHERE e.deptno = d.deptno(+) "
                        "AND d.loc = l.code(+) AND d.dname = l.dname(+) ORDER BY e.empno"),
            (Rows{{"ANN", "New York"}, {"BOB", kNull}, {"CY", kNull}, {"DEE", kNull}}));
  // Only the WHERE conditions with the marker become join conditions.
  EXPECT_EQ(Query(app_, "SELECT d.dname FROM dept d, emp e WHERE d.deptno = e.deptno(+) AND e.empno IS NULL"),
            (Rows{{"EMPTY"}}));
}

TEST_F(QueryRownumTest, OuterJoinMarkerMisuseFails) {
  EXPECT_EQ(Exec(app_, "SELECT 1 FROM dept d, emp e WHERE d.deptno(+) = e.deptno AND e.empno(+) = d.deptno"),
            1416);
  Must(app_, "CREATE TABLE loc (code VARCHAR2(10))");
  EXPECT_EQ(Exec(app_, "SELECT 1 FROM dept d, emp e, loc l WHERE d.loc(+) = l.code || e.ename(+)"), 1468);
  EXPECT_EQ(Exec(app_, "SELECT 1 FROM dept d, emp e WHERE d.deptno = e.deptno(+) OR e.sal > 1"), 1719);
  EXPECT_EQ(Exec(app_, "SELECT 1 FROM dept d, emp e WHERE e.deptno(+) IN (10, 20)"), 1719);
  EXPECT_EQ(Exec(app_, "SELECT 1 FROM dept d JOIN emp e ON d.deptno = e.deptno, loc l "
                       "WHERE l.code = d.loc(+)"),
            25156);
}

}  // namespace
}  // namespace ocitest
