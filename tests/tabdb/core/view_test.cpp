// view_test.cpp - views: queries through them (joins, aggregates, views on
// views, OR REPLACE of an inner view), the errors of CREATE VIEW, FORCE
// views with errors, DML refused, the owner's rights against the reader's,
// the schema their names are resolved in, the dictionary and GET_DDL.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class ViewTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(app_, "CREATE TABLE dept (deptno NUMBER PRIMARY KEY, dname VARCHAR2(10))");
    Must(app_, "CREATE TABLE emp (empno NUMBER NOT NULL, ename VARCHAR2(10), sal NUMBER(7,2),"
               " deptno NUMBER)");
    Must(app_, "INSERT INTO dept VALUES (10, 'SALES')");
    Must(app_, "INSERT INTO dept VALUES (20, 'OPS')");
    Must(app_, "INSERT INTO emp VALUES (1, 'ANN', 100, 10)");
    Must(app_, "INSERT INTO emp VALUES (2, 'BOB', 200, 20)");
    Must(app_, "INSERT INTO emp VALUES (3, 'CY', 300, 20)");
    Must(app_, "COMMIT");
  }
};

TEST_F(ViewTest, QueriesReadThroughViewsOfEveryShape) {
  Must(app_, "CREATE VIEW emp_dept AS SELECT e.ename, d.dname, e.sal FROM emp e JOIN dept d"
             " ON d.deptno = e.deptno");
  Must(app_, "CREATE VIEW dept_sal (dname, total, n) AS SELECT dname, SUM(sal), COUNT(*)"
             " FROM emp_dept GROUP BY dname");
  EXPECT_EQ(Query(app_, "SELECT * FROM dept_sal ORDER BY dname"),
            (std::vector<Row>{{"OPS", "500", "2"}, {"SALES", "100", "1"}}));
  // Columns, aliases, qualifiers and conditions work as on a table.
  EXPECT_EQ(Query(app_, "SELECT v.ename FROM app.emp_dept v WHERE v.sal > 150 ORDER BY 1"),
            (std::vector<Row>{{"BOB"}, {"CY"}}));
  EXPECT_EQ(Query(app_, "SELECT emp_dept.dname, d.deptno FROM emp_dept, dept d"
                        " WHERE emp_dept.dname = d.dname AND ename = 'ANN'"),
            (std::vector<Row>{{"SALES", "10"}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM (SELECT * FROM emp_dept WHERE dname = 'OPS')"), "2");
  EXPECT_EQ(One(app_, "SELECT total FROM dept_sal WHERE n = (SELECT MAX(n) FROM dept_sal)"), "500");
  // Compound queries and named subqueries as views.
  Must(app_, "CREATE VIEW names AS SELECT ename name FROM emp UNION ALL SELECT dname FROM dept");
  Must(app_, "CREATE VIEW top2 AS WITH s AS (SELECT ename, sal FROM emp) SELECT ename FROM s"
             " WHERE sal >= 200");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM names"), "5");
  EXPECT_EQ(Query(app_, "SELECT * FROM names MINUS SELECT * FROM top2 ORDER BY 1"),
            (std::vector<Row>{{"ANN"}, {"OPS"}, {"SALES"}}));

  // A view sees the rows of its tables as they are now.
  Must(app_, "INSERT INTO emp VALUES (4, 'DEE', 50, 10)");
  EXPECT_EQ(One(app_, "SELECT total FROM dept_sal WHERE dname = 'SALES'"), "150");

  // Replacing an inner view changes what the outer one reads.
  Must(app_, "CREATE OR REPLACE VIEW emp_dept AS SELECT e.ename, d.dname, e.sal * 2 sal"
             " FROM emp e JOIN dept d ON d.deptno = e.deptno");
  EXPECT_EQ(One(app_, "SELECT total FROM dept_sal WHERE dname = 'SALES'"), "300");
}

TEST_F(ViewTest, CreateRefusesWhatOracleRefuses) {
  EXPECT_EQ(Exec(app_, "CREATE VIEW v AS SELECT empno, sal * 2 FROM emp"), 998);
  EXPECT_EQ(Exec(app_, "CREATE VIEW v AS SELECT sal + 1 FROM emp UNION SELECT sal FROM emp"), 998);
  EXPECT_EQ(Exec(app_, "CREATE VIEW v (a) AS SELECT empno, sal FROM emp"), 1730);
  EXPECT_EQ(Exec(app_, "CREATE VIEW v (a, b, c) AS SELECT empno, sal FROM emp"), 1730);
  EXPECT_EQ(Exec(app_, "CREATE VIEW v (a, a) AS SELECT empno, sal FROM emp"), 957);
  EXPECT_EQ(Exec(app_, "CREATE VIEW v AS SELECT e.deptno, d.deptno FROM emp e, dept d"), 957);
  EXPECT_EQ(Exec(app_, "CREATE VIEW v AS SELECT nosuch FROM emp"), 904);
  EXPECT_EQ(Exec(app_, "CREATE VIEW v AS SELECT * FROM nosuch"), 942);
  EXPECT_EQ(Exec(app_, "CREATE VIEW v AS SELECT FROM emp"), 936);
  // The name is one of the schema's: a table's name is taken, and only OR
  // REPLACE replaces a view.
  EXPECT_EQ(Exec(app_, "CREATE VIEW emp AS SELECT * FROM dept"), 955);
  Must(app_, "CREATE VIEW v AS SELECT * FROM dept");
  EXPECT_EQ(Exec(app_, "CREATE VIEW v AS SELECT * FROM emp"), 955);
  EXPECT_EQ(Exec(app_, "CREATE OR REPLACE VIEW emp AS SELECT * FROM dept"), 955);
  EXPECT_EQ(Exec(app_, "CREATE TABLE v (a NUMBER)"), 955);
  // Another schema's view needs a DBA.
  EXPECT_EQ(Exec(app_, "CREATE VIEW system.v AS SELECT * FROM dual"), 1031);
  EXPECT_EQ(Exec(app_, "DROP VIEW nosuch"), 942);
  EXPECT_EQ(Exec(app_, "DROP VIEW emp"), 942);
}

TEST_F(ViewTest, ForceViewHasErrorsUntilItsObjectsExist) {
  {
    // Created, with Oracle's warning.
    Stmt c(app_);
    ASSERT_EQ(c.Prepare("CREATE OR REPLACE FORCE VIEW later_v AS SELECT a, b FROM later"),
              OCI_SUCCESS);
    EXPECT_EQ(c.Execute(1), OCI_SUCCESS_WITH_INFO);
    EXPECT_EQ(app_.ErrorCode(), 24344);
  }
  EXPECT_EQ(One(app_, "SELECT status FROM user_objects WHERE object_name = 'LATER_V'"), "INVALID");
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("SELECT * FROM later_v"), OCI_SUCCESS);
  EXPECT_NE(s.Execute(0), OCI_SUCCESS);
  std::string text;
  EXPECT_EQ(app_.ErrorCode(&text), 4063);
  EXPECT_NE(text.find("ORA-04063: view \"APP.LATER_V\" has errors"), std::string::npos) << text;

  Must(app_, "CREATE TABLE later (a NUMBER, b VARCHAR2(5))");
  Must(app_, "INSERT INTO later VALUES (7, 'x')");
  EXPECT_EQ(Query(app_, "SELECT * FROM later_v"), (std::vector<Row>{{"7", "x"}}));
  // ALTER VIEW ... COMPILE records the columns it has now.
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_tab_columns WHERE table_name = 'LATER_V'"), "0");
  Must(app_, "ALTER VIEW later_v COMPILE");
  EXPECT_EQ(One(app_, "SELECT status FROM user_objects WHERE object_name = 'LATER_V'"), "VALID");
  EXPECT_EQ(Query(app_, "SELECT column_name, data_type FROM user_tab_columns"
                        " WHERE table_name = 'LATER_V' ORDER BY column_id"),
            (std::vector<Row>{{"A", "NUMBER"}, {"B", "VARCHAR2"}}));
  // A view whose table goes away has errors again.
  Must(app_, "DROP TABLE later");
  EXPECT_EQ(Exec(app_, "SELECT * FROM later_v"), 4063);
  Must(app_, "ALTER VIEW later_v COMPILE");
  EXPECT_EQ(Exec(app_, "ALTER VIEW later_v READ ONLY"), 3001);
  EXPECT_EQ(Exec(app_, "ALTER VIEW nosuch COMPILE"), 942);
}

TEST_F(ViewTest, RowsChangeThroughTablesOnly) {
  Must(app_, "CREATE VIEW v AS SELECT empno, ename FROM emp WITH READ ONLY");
  EXPECT_EQ(Exec(app_, "INSERT INTO v VALUES (9, 'X')"), 1732);
  EXPECT_EQ(Exec(app_, "UPDATE v SET ename = 'X'"), 1732);
  EXPECT_EQ(Exec(app_, "DELETE FROM v"), 1732);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp"), "3");
  EXPECT_EQ(One(app_, "SELECT read_only FROM user_views WHERE view_name = 'V'"), "Y");
}

TEST_F(ViewTest, ReadersNeedTheViewOwnersNeedTheTables) {
  MakeUser("BOB");
  MakeUser("CAROL");
  Conn bob, carol;
  ASSERT_EQ(bob.Open(path_, "bob", "bob"), OCI_SUCCESS);
  ASSERT_EQ(carol.Open(path_, "carol", "carol"), OCI_SUCCESS);
  Must(app_, "CREATE VIEW rich AS SELECT ename FROM emp WHERE sal >= 200");
  EXPECT_EQ(Exec(bob, "SELECT * FROM app.rich"), 942);
  Must(app_, "GRANT SELECT ON rich TO bob");
  EXPECT_EQ(Query(bob, "SELECT * FROM app.rich ORDER BY 1"), (std::vector<Row>{{"BOB"}, {"CY"}}));
  // The view gave no right on its table.
  EXPECT_EQ(Exec(bob, "SELECT * FROM app.emp"), 942);
  EXPECT_EQ(Exec(bob, "INSERT INTO app.rich VALUES ('Z')"), 1031);

  // A view of BOB over APP's table reads with BOB's rights on that table:
  // it works while BOB may read the table, for readers that may not. BOB
  // passes it on only with the grant option on the table (else ORA-01720).
  Must(app_, "GRANT SELECT ON dept TO bob WITH GRANT OPTION");
  Must(bob, "CREATE VIEW depts AS SELECT dname FROM app.dept");
  Must(bob, "GRANT SELECT ON depts TO carol");
  EXPECT_EQ(One(carol, "SELECT COUNT(*) FROM bob.depts"), "2");
  EXPECT_EQ(Exec(carol, "SELECT * FROM app.dept"), 942);
  Must(app_, "REVOKE SELECT ON dept FROM bob");
  EXPECT_EQ(Exec(carol, "SELECT * FROM bob.depts"), 4063);
  EXPECT_EQ(Exec(bob, "CREATE VIEW d2 AS SELECT dname FROM app.dept"), 942);
}

TEST_F(ViewTest, NamesResolveInTheViewsSchema) {
  // Created by a DBA working in APP's schema: the names are APP's, also
  // when another user reads the view.
  Must(sys_, "ALTER SESSION SET CURRENT_SCHEMA = app");
  Must(sys_, "CREATE VIEW ops AS SELECT ename FROM emp WHERE deptno = 20");
  EXPECT_EQ(One(app_, "SELECT owner FROM all_views WHERE view_name = 'OPS'"), "APP");
  MakeUser("BOB");
  Conn bob;
  ASSERT_EQ(bob.Open(path_, "bob", "bob"), OCI_SUCCESS);
  Must(bob, "CREATE TABLE emp (ename VARCHAR2(10), deptno NUMBER)");
  Must(app_, "GRANT SELECT ON ops TO bob");
  EXPECT_EQ(One(bob, "SELECT COUNT(*) FROM app.ops"), "2");
  EXPECT_EQ(One(sys_, "SELECT COUNT(*) FROM ops"), "2");
}

TEST_F(ViewTest, DictionaryAndDdlText) {
  const char* query = "select empno id,\n  ename from emp where sal > 0";
  Must(app_, std::string("CREATE VIEW v AS ") + query);
  Must(app_, "CREATE VIEW w (n) AS SELECT COUNT(*) FROM v WITH CHECK OPTION");
  EXPECT_EQ(Query(app_, "SELECT view_name, text_length, text, text_vc FROM user_views ORDER BY 1"),
            (std::vector<Row>{{"V", std::to_string(std::string(query).size()), query, query},
                              {"W", "22", "SELECT COUNT(*) FROM v", "SELECT COUNT(*) FROM v"}}));
  EXPECT_EQ(Query(app_, "SELECT column_name, data_type, data_length, column_id FROM user_tab_columns"
                        " WHERE table_name = 'V' ORDER BY column_id"),
            (std::vector<Row>{{"ID", "NUMBER", "22", "1"}, {"ENAME", "VARCHAR2", "10", "2"}}));
  EXPECT_EQ(One(sys_, "SELECT COUNT(*) FROM dba_views WHERE owner = 'APP'"), "2");
  // A view has no segment.
  EXPECT_EQ(One(app_, "SELECT COUNT(segment_column_id) FROM user_tab_cols WHERE table_name = 'V'"),
            "0");

  EXPECT_EQ(One(app_, "SELECT DBMS_METADATA.GET_DDL('VIEW', 'V') FROM dual"),
            std::string("\n  CREATE OR REPLACE FORCE EDITIONABLE VIEW \"APP\".\"V\" (\"ID\", \"ENAME\") AS \n  ") +
                query);
  EXPECT_EQ(One(app_, "SELECT DBMS_METADATA.GET_DDL('VIEW', 'W', 'APP') FROM dual"),
            "\n  CREATE OR REPLACE FORCE EDITIONABLE VIEW \"APP\".\"W\" (\"N\") AS \n"
            "  SELECT COUNT(*) FROM v WITH CHECK OPTION");
  Must(app_, "BEGIN DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM,"
             " 'SQLTERMINATOR', TRUE); END;");
  std::string ddl = One(app_, "SELECT DBMS_METADATA.GET_DDL('VIEW', 'W') FROM dual");
  EXPECT_EQ(ddl.substr(ddl.size() - 18), "WITH CHECK OPTION;") << ddl;
  EXPECT_EQ(FetchError(app_, "SELECT DBMS_METADATA.GET_DDL('VIEW', 'NOSUCH') FROM dual"), 31603);

  // Dropped: gone from the dictionary with its columns.
  Must(app_, "DROP VIEW w");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_tab_columns WHERE table_name = 'W'"), "0");
  EXPECT_EQ(Exec(app_, "SELECT * FROM w"), 942);
}

TEST_F(ViewTest, DropUserCascadeTakesViews) {
  MakeUser("TMP");
  {
    Conn tmp;
    ASSERT_EQ(tmp.Open(path_, "tmp", "tmp"), OCI_SUCCESS);
    Must(tmp, "CREATE VIEW one AS SELECT 1 x FROM dual");
  }
  EXPECT_EQ(Exec(sys_, "DROP USER tmp"), 1922);
  Must(sys_, "DROP USER tmp CASCADE");
  EXPECT_EQ(One(sys_, "SELECT COUNT(*) FROM dba_views WHERE owner = 'TMP'"), "0");
}

}  // namespace
}  // namespace ocitest
