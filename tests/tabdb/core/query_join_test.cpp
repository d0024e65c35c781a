// query_join_test.cpp - queries over several FROM items: comma lists and
// ANSI joins, name resolution across the items and its errors, t.* and *,
// dictionary views and DUAL as join members.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class QueryJoinTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(app_, "CREATE TABLE dept (deptno NUMBER, dname VARCHAR2(10))");
    Must(app_, "CREATE TABLE emp (empno NUMBER, ename VARCHAR2(10), deptno NUMBER)");
    Must(app_, "INSERT INTO dept VALUES (10, 'SALES')");
    Must(app_, "INSERT INTO dept VALUES (20, 'OPS')");
    Must(app_, "INSERT INTO dept VALUES (30, 'EMPTY')");
    Must(app_, "INSERT INTO emp VALUES (1, 'ANN', 10)");
    Must(app_, "INSERT INTO emp VALUES (2, 'BOB', 20)");
    Must(app_, "INSERT INTO emp VALUES (3, 'CY', 20)");
    Must(app_, "INSERT INTO emp VALUES (4, 'DEE', NULL)");
  }
};

TEST_F(QueryJoinTest, InnerJoinsAgreeInEverySpelling) {
  const std::vector<Row> want = {{"ANN", "SALES"}, {"BOB", "OPS"}, {"CY", "OPS"}};
  for (const char* q : {
           "SELECT e.ename, d.dname FROM emp e, dept d WHERE e.deptno = d.deptno ORDER BY 1",
           "SELECT ename, dname FROM emp e JOIN dept d ON e.deptno = d.deptno ORDER BY ename",
           "SELECT ename, dname FROM emp INNER JOIN dept ON emp.deptno = dept.deptno ORDER BY 1",
           "SELECT ename, dname FROM emp JOIN dept USING (deptno) ORDER BY 1",
           "SELECT ename, dname FROM emp NATURAL JOIN dept ORDER BY 1",
           "SELECT app.emp.ename, dname FROM app.emp, dept WHERE emp.deptno = dept.deptno ORDER BY 1",
       }) {
    EXPECT_EQ(Query(app_, q), want) << q;
  }
}

TEST_F(QueryJoinTest, OuterAndCrossJoins) {
  EXPECT_EQ(Query(app_, "SELECT e.ename, d.dname FROM emp e LEFT JOIN dept d ON e.deptno = d.deptno "
                        "ORDER BY e.empno"),
            (std::vector<Row>{{"ANN", "SALES"}, {"BOB", "OPS"}, {"CY", "OPS"}, {"DEE", kNull}}));
  EXPECT_EQ(Query(app_, "SELECT d.dname, COUNT(e.empno) FROM emp e RIGHT OUTER JOIN dept d "
                        "ON e.deptno = d.deptno GROUP BY d.dname ORDER BY 1"),
            (std::vector<Row>{{"EMPTY", "0"}, {"OPS", "2"}, {"SALES", "1"}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp FULL OUTER JOIN dept USING (deptno)"), "5");
  // FULL JOIN ... USING: the joined column is taken from whichever side has it.
  EXPECT_EQ(Query(app_, "SELECT deptno, ename FROM emp FULL JOIN dept USING (deptno) "
                        "WHERE ename IS NULL OR deptno IS NULL ORDER BY 1"),
            (std::vector<Row>{{"30", kNull}, {kNull, "DEE"}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp CROSS JOIN dept"), "12");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp, dept, dual"), "12");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp a, emp b WHERE a.empno < b.empno"), "6");
}

TEST_F(QueryJoinTest, StarsListEveryItemOrOne) {
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("SELECT * FROM emp, dept WHERE emp.deptno = dept.deptno"), OCI_SUCCESS);
  ASSERT_EQ(s.Execute(0), OCI_SUCCESS) << app_.ErrorText();
  EXPECT_EQ(s.AttrUb4(OCI_ATTR_PARAM_COUNT), 5u);
  EXPECT_EQ(Query(app_, "SELECT d.*, e.ename FROM emp e JOIN dept d ON d.deptno = e.deptno "
                        "WHERE e.empno = 1"),
            (std::vector<Row>{{"10", "SALES", "ANN"}}));
  // USING: the joined column once, first.
  EXPECT_EQ(Query(app_, "SELECT * FROM dept JOIN emp USING (deptno) WHERE empno = 1"),
            (std::vector<Row>{{"10", "SALES", "1", "ANN"}}));
}

TEST_F(QueryJoinTest, DictionaryViewsJoinTables) {
  EXPECT_EQ(Query(app_, "SELECT t.table_name, c.column_name FROM user_tables t, user_tab_columns c "
                        "WHERE t.table_name = c.table_name AND t.table_name = 'DEPT' "
                        "ORDER BY c.column_id"),
            (std::vector<Row>{{"DEPT", "DEPTNO"}, {"DEPT", "DNAME"}}));
  EXPECT_EQ(One(app_, "SELECT d.dummy FROM dual d JOIN dept ON dept.deptno = 10"), "X");
}

TEST_F(QueryJoinTest, NamesThatMeanNothingOrTwoThingsFail) {
  EXPECT_EQ(Exec(app_, "SELECT deptno FROM emp, dept"), 918);
  EXPECT_EQ(Exec(app_, "SELECT emp.ename FROM emp, emp"), 918);
  EXPECT_EQ(Exec(app_, "SELECT x.ename FROM emp e, dept d"), 904);
  EXPECT_EQ(Exec(app_, "SELECT e.dname FROM emp e, dept d"), 904);
  EXPECT_EQ(Exec(app_, "SELECT nothing FROM emp e, dept d"), 904);
  EXPECT_EQ(Exec(app_, "SELECT x.* FROM emp e, dept d"), 904);
  EXPECT_EQ(Exec(app_, "SELECT 1 FROM emp JOIN dept USING (dname)"), 904);
  EXPECT_EQ(Exec(app_, "SELECT 1 FROM emp JOIN dept"), 905);
  // Once joined by USING, the column is one column.
  EXPECT_EQ(Exec(app_, "SELECT deptno FROM emp JOIN dept USING (deptno)"), 0);
}

// A statement reads the rows as they were when it began, also when it
// writes the table it reads.
TEST_F(QueryJoinTest, InsertSelectFromItsOwnTableReadsTheOldRows) {
  Must(app_, "INSERT INTO emp SELECT empno + 10, ename, deptno FROM emp");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp"), "8");
  Must(app_, "INSERT INTO emp (empno, ename) SELECT e.empno + 100, d.dname FROM emp e JOIN dept d "
             "ON e.deptno = d.deptno WHERE e.empno < 10");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp"), "11");
  Must(app_, "INSERT INTO dept SELECT deptno + 1, dname FROM dept");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dept"), "6");
}

TEST_F(QueryJoinTest, InsertOfSeveralValuesRows) {
  Must(app_, "CREATE TABLE kv (k NUMBER, v VARCHAR2(5), d DATE DEFAULT DATE '2020-01-02')");
  Must(app_, "INSERT INTO kv (k, v) VALUES (1, 'a'), ('2', NULL), (3 + 1, 'c' || 'd')");
  EXPECT_EQ(Query(app_, "SELECT k, v, TO_CHAR(d, 'YYYY-MM-DD') FROM kv ORDER BY k"),
            (std::vector<Row>{{"1", "a", "2020-01-02"}, {"2", kNull, "2020-01-02"}, {"4", "cd", "2020-01-02"}}));
  // The statement is atomic: a bad row inserts none.
  EXPECT_EQ(Exec(app_, "INSERT INTO kv (k, v) VALUES (5, 'e'), (6, 'toolong')"), 12899);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM kv"), "3");
  EXPECT_EQ(Exec(app_, "INSERT INTO kv (k, v) VALUES (5, 'e'), (6)"), 947);
  EXPECT_EQ(Exec(app_, "INSERT INTO kv (k, v) VALUES (5, 'e'), (6, 'f', 7)"), 913);
}

}  // namespace
}  // namespace ocitest
