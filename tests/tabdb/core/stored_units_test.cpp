// stored_units_test.cpp - stored procedures, functions and packages as
// they run: whose rights they run with and who may call them, package
// state and its discarding, invalidation and compiling again, functions in
// SQL, overloads and parameters.
#include <string>
#include <vector>

#include "catalog_test_util.h"
#include "exec/convert.h"
#include "exec/engine.h"
#include "exec/plsql_units.h"
#include "exec/server_output.h"

namespace {

using tabdb::ExecResult;
using tabdb::Session;
using tabdb::Status;

class StoredUnitsTest : public cattest::CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP", true);
    bob_ = NewUser("BOB");
    carl_ = NewUser("CARL");
    dora_ = NewUser("DORA", true);
    ASSERT_TRUE(app_ && bob_ && carl_ && dora_);
    for (Session* s : {app_.get(), bob_.get(), carl_.get(), dora_.get(), sys_.get()})
      tabdb::ServerOutputEnable(*s, true);
  }

  Session& Who(const std::string& who) {
    if (who == "app") return *app_;
    if (who == "bob") return *bob_;
    if (who == "carl") return *carl_;
    if (who == "dora") return *dora_;
    return *sys_;
  }

  // What a statement gives: its rows ("a,b|c,d"), then what it wrote with
  // DBMS_OUTPUT ("out:x/y"); or "ERR " and the error's text.
  static std::string Run(Session& s, const std::string& text) {
    ExecResult r;
    Status st = tabdb::ExecuteText(s, text, &r);
    std::string rows;
    if (st.ok() && r.result) {
      bool row = false;
      while (st.ok() && (st = r.result->Next(&row)).ok() && row) {
        std::string line;
        for (size_t i = 0; i < r.result->columns().size() && st.ok(); ++i) {
          tabdb::Value v;
          st = r.result->Get(static_cast<int>(i), &v);
          std::string t;
          if (st.ok() && !v.null) st = tabdb::ValueToText(v, &t);
          line += (i ? "," : "") + (v.null ? std::string("<null>") : t);
        }
        rows += (rows.empty() ? "" : "|") + line;
      }
    }
    std::string out;
    for (const std::string& l : tabdb::ServerOutputTakeLines(s)) out += (out.empty() ? "out:" : "/") + l;
    if (!st.ok()) return "ERR " + st.text();
    return rows + (rows.empty() || out.empty() ? "" : " ") + out;
  }

  struct Step {
    const char* who;
    const char* sql;
    const char* expect;  // "" for a statement that only has to succeed
  };
  void Steps(const std::vector<Step>& steps) {
    for (const Step& s : steps) EXPECT_EQ(Run(Who(s.who), s.sql), s.expect) << s.who << ": " << s.sql;
  }

  std::unique_ptr<Session> app_, bob_, carl_, dora_;
};

// Definer's rights by default, AUTHID CURRENT_USER, EXECUTE granted and
// revoked, EXECUTE ANY PROCEDURE, a DBA's role not counted inside a unit,
// grants on supplied packages.
TEST_F(StoredUnitsTest, Rights) {
  Steps({
      {"app", "CREATE TABLE secret (v VARCHAR2(10))", ""},
      {"app", "INSERT INTO secret VALUES ('s1')", ""},
      {"app", "COMMIT", ""},
      {"app", "CREATE FUNCTION peek RETURN VARCHAR2 IS r VARCHAR2(10);\nBEGIN\n  SELECT v INTO r FROM secret;\n"
              "  RETURN r;\nEND;", ""},
      {"app", "CREATE FUNCTION peek_ir RETURN VARCHAR2 AUTHID CURRENT_USER IS r VARCHAR2(10);\nBEGIN\n"
              "  SELECT v INTO r FROM app.secret;\n  RETURN r;\nEND;", ""},
      {"app", "CREATE PROCEDURE who IS BEGIN DBMS_OUTPUT.PUT_LINE(SYS_CONTEXT('USERENV', 'CURRENT_USER')); END;", ""},
      {"app", "CREATE PROCEDURE who_ir AUTHID CURRENT_USER IS BEGIN DBMS_OUTPUT.PUT_LINE(USER); END;", ""},
      {"app", "GRANT EXECUTE ON peek TO bob", ""},
      {"app", "GRANT EXECUTE ON peek_ir TO bob", ""},
      {"app", "GRANT EXECUTE ON who_ir TO bob", ""},
      {"app", "GRANT DEBUG ON who TO bob", ""},
      {"app", "GRANT SELECT ON peek TO bob", "ERR ORA-02225: only EXECUTE and DEBUG privileges are valid for procedures"},
      {"app", "GRANT EXECUTE ON secret TO bob", "ERR ORA-02224: EXECUTE privilege not allowed for tables"},
      // The owner's rights, not the caller's.
      {"bob", "SELECT app.peek FROM dual", "s1"},
      {"bob", "SELECT app.peek_ir FROM dual",
       "ERR ORA-00942: table or view does not exist\nORA-06512: at \"APP.PEEK_IR\", line 3"},
      {"bob", "BEGIN app.who_ir; END;", "out:BOB"},
      // No grant: the unit looks missing; another privilege only: PLS-00904.
      {"carl", "SELECT app.peek FROM dual", "ERR ORA-00904: \"APP\".\"PEEK\": invalid identifier"},
      {"carl", "BEGIN\n  DBMS_OUTPUT.PUT_LINE(app.peek);\nEND;",
       "ERR ORA-06550: line 2, column 24:\nPLS-00201: identifier 'APP.PEEK' must be declared\n"
       "ORA-06550: line 2, column 24:\nPL/SQL: Statement ignored"},
      {"bob", "BEGIN app.who; END;",
       "ERR ORA-06550: line 1, column 7:\nPLS-00904: insufficient privilege to access object APP.WHO\n"
       "ORA-06550: line 1, column 7:\nPL/SQL: Statement ignored"},
      {"app", "GRANT EXECUTE ON who TO bob", ""},
      {"bob", "BEGIN app.who; END;", "out:APP"},
      {"dora", "SELECT app.peek FROM dual", "s1"},
      {"sys", "GRANT EXECUTE ANY PROCEDURE TO carl", ""},
      {"carl", "SELECT app.peek FROM dual", "s1"},
      {"app", "REVOKE EXECUTE ON peek FROM bob", ""},
      {"bob", "SELECT app.peek FROM dual", "ERR ORA-00904: \"APP\".\"PEEK\": invalid identifier"},
      {"app", "GRANT SELECT ON secret TO bob", ""},
      {"bob", "SELECT app.peek_ir FROM dual", "s1"},
      // APP is a DBA: its own queries read CARL's table, its unit may not.
      {"carl", "CREATE TABLE ctab (a NUMBER)", ""},
      {"app", "SELECT COUNT(*) FROM carl.ctab", "0"},
      {"app", "CREATE PROCEDURE count_carl IS n NUMBER;\nBEGIN\n  SELECT COUNT(*) INTO n FROM carl.ctab;\n"
              "  DBMS_OUTPUT.PUT_LINE(n);\nEND;", "ERR ORA-24344: success with compilation error"},
      {"app", "SELECT line || ':' || text FROM user_errors WHERE name = 'COUNT_CARL' ORDER BY sequence",
       "3:PL/SQL: ORA-00942: table or view does not exist|3:PL/SQL: SQL Statement ignored"},
      {"carl", "GRANT SELECT ON ctab TO app", ""},
      {"app", "ALTER PROCEDURE count_carl COMPILE", ""},
      {"app", "BEGIN count_carl; END;", "out:0"},
      // Dynamic SQL too, also after a GRANT made inside the unit.
      {"carl", "CREATE TABLE other (a NUMBER)", ""},
      {"app", "CREATE PROCEDURE dyn IS n NUMBER;\nBEGIN\n  EXECUTE IMMEDIATE 'GRANT SELECT ON secret TO dora';\n"
              "  EXECUTE IMMEDIATE 'SELECT COUNT(*) FROM carl.other' INTO n;\nEND;", ""},
      {"app", "BEGIN dyn; END;",
       "ERR ORA-00942: table or view does not exist\nORA-06512: at \"APP.DYN\", line 4\nORA-06512: at line 1"},
      {"app", "SELECT COUNT(*) FROM carl.other", "0"},
      // Supplied packages: a DBA grants them; others need the grant option.
      {"app", "GRANT EXECUTE ON DBMS_LOB TO bob", ""},
      {"bob", "GRANT EXECUTE ON DBMS_CRYPTO TO carl", "ERR ORA-01031: insufficient privileges"},
      {"sys", "SELECT owner || '.' || table_name || ' ' || privilege || ' ' || type FROM dba_tab_privs"
              " WHERE grantee = 'BOB' ORDER BY table_name",
       "SYS.DBMS_LOB EXECUTE PACKAGE|APP.PEEK_IR EXECUTE FUNCTION|APP.SECRET SELECT TABLE|"
       "APP.WHO DEBUG PROCEDURE|APP.WHO EXECUTE PROCEDURE|APP.WHO_IR EXECUTE PROCEDURE"},
  });
}

// A package's variables live per session from its first use, after its
// initialisation section; compiling the package again discards a
// session's state with ORA-04068, once, and the next call starts afresh.
// A package without variables keeps nothing to discard.
TEST_F(StoredUnitsTest, PackageState) {
  const char* body =
      "CREATE OR REPLACE PACKAGE BODY app.counter AS\n"
      "  calls PLS_INTEGER := 0;\n"
      "  FUNCTION next RETURN NUMBER IS BEGIN n := n + step; calls := calls + 1; RETURN n; END;\n"
      "  FUNCTION count_calls RETURN NUMBER IS BEGIN RETURN calls; END;\n"
      "BEGIN\n"
      "  n := 100;\n"
      "END counter;";
  Steps({
      {"app", "CREATE PACKAGE counter AS\n  n NUMBER;\n  step CONSTANT NUMBER := 10;\n"
              "  FUNCTION next RETURN NUMBER;\n  FUNCTION count_calls RETURN NUMBER;\nEND counter;", ""},
      {"app", body, ""},
      {"app", "CREATE PACKAGE consts AS pi CONSTANT NUMBER := 3.14; FUNCTION twice(x NUMBER) RETURN NUMBER; END;", ""},
      {"app", "CREATE PACKAGE BODY consts AS FUNCTION twice(x NUMBER) RETURN NUMBER IS BEGIN RETURN 2 * x; END; END;", ""},
      {"app", "GRANT EXECUTE ON counter TO dora", ""},
      {"app", "SELECT counter.next FROM dual", "110"},
      {"app", "DECLARE v NUMBER := counter.next; BEGIN DBMS_OUTPUT.PUT_LINE(v || ' ' || counter.n || ' ' || counter.count_calls); END;",
       "out:120 120 2"},
      {"app", "BEGIN counter.n := 0; DBMS_OUTPUT.PUT_LINE(counter.next); END;", "out:10"},
      {"app", "BEGIN DBMS_OUTPUT.PUT_LINE(consts.twice(consts.pi)); END;", "out:6.28"},
      // Another session has its own state.
      {"dora", "SELECT app.counter.next FROM dual", "110"},
      {"app", "SELECT counter.n FROM dual", "ERR ORA-00904: \"COUNTER\".\"N\": invalid identifier"},
      // Replaced by another session: discarded in this one.
      {"dora", body, ""},
      {"dora", "CREATE OR REPLACE PACKAGE BODY app.consts AS FUNCTION twice(x NUMBER) RETURN NUMBER IS"
               " BEGIN RETURN x + x; END; END;", ""},
      {"app", "BEGIN\n  DBMS_OUTPUT.PUT_LINE(counter.next);\nEND;",
       "ERR ORA-04068: existing state of packages has been discarded\n"
       "ORA-04061: existing state of package body \"APP.COUNTER\" has been invalidated\n"
       "ORA-04065: not executed, altered or dropped package body \"APP.COUNTER\"\n"
       "ORA-06508: PL/SQL: could not find program unit being called: \"APP.COUNTER\"\n"
       "ORA-06512: at line 2"},
      {"app", "BEGIN DBMS_OUTPUT.PUT_LINE(counter.next); END;", "out:110"},
      {"app", "BEGIN DBMS_OUTPUT.PUT_LINE(consts.twice(4)); END;", "out:8"},
      // A failing initialisation leaves no state: the next use runs it again.
      {"app", "CREATE PACKAGE flaky AS v NUMBER := 1 / 0; END;", ""},
      {"app", "BEGIN DBMS_OUTPUT.PUT_LINE(flaky.v); END;",
       "ERR ORA-01476: divisor is equal to zero\nORA-06512: at \"APP.FLAKY\", line 1\nORA-06512: at line 1"},
      {"app", "CREATE OR REPLACE PACKAGE flaky AS v NUMBER := 1; END;", ""},
      {"app", "BEGIN DBMS_OUTPUT.PUT_LINE(flaky.v); END;", "out:1"},
  });
}

// What a unit uses is recorded; when it changes, the unit becomes INVALID
// and compiles again when next called (or with ALTER ... COMPILE), INVALID
// with its errors when it no longer compiles.
TEST_F(StoredUnitsTest, InvalidationAndRecompilation) {
  Steps({
      {"app", "CREATE TABLE t (a NUMBER, b VARCHAR2(10))", ""},
      {"app", "INSERT INTO t VALUES (1, 'x')", ""},
      {"app", "CREATE FUNCTION get_b(k NUMBER) RETURN VARCHAR2 IS r t.b%TYPE;\n"
              "BEGIN SELECT b INTO r FROM t WHERE a = k; RETURN r; END;", ""},
      {"app", "CREATE PROCEDURE show(k NUMBER) IS BEGIN DBMS_OUTPUT.PUT_LINE(get_b(k)); END;", ""},
      {"app", "CREATE VIEW v AS SELECT a, get_b(a) AS b FROM t", ""},
      {"app", "SELECT name || ' ' || referenced_owner || '.' || referenced_name || ' ' || referenced_type"
              " FROM user_dependencies ORDER BY name, referenced_name",
       "GET_B SYS.STANDARD PACKAGE|GET_B APP.T TABLE|SHOW PUBLIC.DBMS_OUTPUT SYNONYM|SHOW APP.GET_B FUNCTION|"
       "SHOW SYS.STANDARD PACKAGE"},
      {"app", "ALTER TABLE t MODIFY (b VARCHAR2(20))", ""},
      {"app", "SELECT object_name || ' ' || status FROM user_objects WHERE object_type IN ('FUNCTION', 'PROCEDURE')"
              " ORDER BY 1", "GET_B INVALID|SHOW INVALID"},
      {"app", "BEGIN show(1); END;", "out:x"},
      {"app", "SELECT object_name || ' ' || status FROM user_objects WHERE object_type IN ('FUNCTION', 'PROCEDURE')"
              " ORDER BY 1", "GET_B VALID|SHOW VALID"},
      // Replacing a unit invalidates what uses it; views call it anew.
      {"app", "CREATE OR REPLACE FUNCTION get_b(k NUMBER) RETURN VARCHAR2 IS BEGIN RETURN 'k' || k; END;", ""},
      {"app", "SELECT status FROM user_objects WHERE object_name = 'SHOW'", "INVALID"},
      {"app", "SELECT b FROM v", "k1"},
      {"app", "ALTER PROCEDURE show COMPILE", ""},
      {"app", "SELECT status FROM user_objects WHERE object_name = 'SHOW'", "VALID"},
      // A dropped dependency: the unit no longer compiles.
      {"app", "DROP FUNCTION get_b", ""},
      {"app", "BEGIN show(1); END;",
       "ERR ORA-06550: line 1, column 7:\nPLS-00905: object APP.SHOW is invalid\n"
       "ORA-06550: line 1, column 7:\nPL/SQL: Statement ignored"},
      {"app", "ALTER PROCEDURE show COMPILE", "ERR ORA-24344: success with compilation error"},
      {"app", "SELECT line || ',' || position || ' ' || text FROM user_errors WHERE name = 'SHOW'",
       "1,56 PLS-00201: identifier 'GET_B' must be declared|1,56 PL/SQL: Statement ignored"},
      {"app", "ALTER FUNCTION nosuch COMPILE", "ERR ORA-04043: object NOSUCH does not exist"},
      // Errors of syntax, and of a body without its specification.
      {"app", "CREATE PROCEDURE bad IS BEGIN x := ; END;", "ERR ORA-24344: success with compilation error"},
      {"app", "CREATE PACKAGE BODY lone AS END;", "ERR ORA-24344: success with compilation error"},
      {"app", "SELECT name || ' ' || type || ' ' || line || ',' || position || ' ' || text FROM user_errors"
              " WHERE name IN ('BAD', 'LONE') ORDER BY name, sequence",
       "BAD PROCEDURE 1,29 PLS-00103: Encountered the symbol \";\"|"
       "LONE PACKAGE BODY 1,14 PLS-00201: identifier 'LONE' must be declared|"
       "LONE PACKAGE BODY 1,1 PL/SQL: Compilation unit analysis terminated"},
      {"app", "SELECT object_name || ' ' || object_type || ' ' || status FROM user_objects"
              " WHERE object_name IN ('BAD', 'LONE') ORDER BY 1", "BAD PROCEDURE INVALID|LONE PACKAGE BODY INVALID"},
  });
}

// Functions in select lists, WHERE clauses, views and DML; a function a
// query calls may not change rows (ORA-14551) nor commit (ORA-14552), one
// an INSERT calls may.
TEST_F(StoredUnitsTest, FunctionsInSql) {
  Steps({
      {"app", "CREATE TABLE emp (id NUMBER, sal NUMBER)", ""},
      {"app", "INSERT INTO emp VALUES (1, 100)", ""},
      {"app", "INSERT INTO emp VALUES (2, 200)", ""},
      {"app", "INSERT INTO emp VALUES (3, 300)", ""},
      {"app", "CREATE TABLE log_t (msg VARCHAR2(100))", ""},
      {"app", "CREATE FUNCTION bonus(sal NUMBER, pct NUMBER DEFAULT 10) RETURN NUMBER IS\n"
              "BEGIN\n  RETURN sal * pct / 100;\nEND;", ""},
      {"app", "CREATE FUNCTION logged(x NUMBER) RETURN NUMBER IS\n"
              "BEGIN\n  INSERT INTO log_t VALUES ('saw ' || x);\n  RETURN x;\nEND;", ""},
      {"app", "CREATE FUNCTION is_big(x NUMBER) RETURN VARCHAR2 IS BEGIN IF x > 150 THEN RETURN 'Y'; END IF;"
              " RETURN 'N'; END;", ""},
      {"app", "CREATE FUNCTION fact(n NUMBER) RETURN NUMBER IS BEGIN IF n <= 1 THEN RETURN 1; END IF;"
              " RETURN n * fact(n - 1); END;", ""},
      {"app", "SELECT id || ':' || bonus(sal) || ':' || bonus(sal, pct => 50) FROM emp WHERE is_big(sal) = 'Y'"
              " ORDER BY id", "2:20:100|3:30:150"},
      {"app", "SELECT fact(10), bonus(pct => 1, sal => 500) FROM dual", "3628800,5"},
      {"app", "CREATE VIEW emp_bonus AS SELECT id, bonus(sal) AS b FROM emp", ""},
      {"app", "GRANT SELECT ON emp_bonus TO bob", ""},
      // The view's function runs with its owner's rights for whoever reads it.
      {"bob", "SELECT SUM(b) FROM app.emp_bonus", "60"},
      {"app", "SELECT logged(id) FROM emp WHERE id = 1",
       "ERR ORA-14551: cannot perform a DML operation inside a query\nORA-06512: at \"APP.LOGGED\", line 3"},
      {"app", "INSERT INTO emp VALUES (logged(4), 400)", ""},
      {"app", "SELECT msg FROM log_t", "saw 4"},
      {"app", "CREATE FUNCTION commits RETURN NUMBER IS BEGIN COMMIT; RETURN 1; END;", ""},
      {"app", "SELECT commits FROM dual",
       "ERR ORA-14552: cannot perform a DDL, commit or rollback inside a query or DML\n"
       "ORA-06512: at \"APP.COMMITS\", line 1"},
      {"app", "SELECT bonus(1, 2, 3) FROM dual",
       "ERR ORA-06553: PLS-306: wrong number or types of arguments in call to 'BONUS'"},
      {"app", "SELECT nosuch(1) FROM dual", "ERR ORA-00904: \"NOSUCH\": invalid identifier"},
      {"app", "CREATE OR REPLACE FUNCTION broken RETURN NUMBER IS BEGIN RETURN nosuch(1); END;",
       "ERR ORA-24344: success with compilation error"},
      {"app", "SELECT broken FROM dual", "ERR ORA-06575: Package or function BROKEN is in an invalid state"},
      // Local functions of a block, in its expressions and its SQL.
      {"app", "DECLARE\n  FUNCTION sq(x NUMBER) RETURN NUMBER IS BEGIN RETURN x * x; END;\n  s NUMBER;\n"
              "BEGIN\n  SELECT SUM(sq(id)) INTO s FROM emp;\n  DBMS_OUTPUT.PUT_LINE(s || ' ' || sq(sq(2)));\nEND;",
       "out:30 16"},
  });
}

// Overloads by count and type of arguments, named and default parameters,
// OUT and IN OUT, local subprograms, records, explicit cursors.
TEST_F(StoredUnitsTest, OverloadsAndParameters) {
  Steps({
      {"app", "CREATE TABLE emp (id NUMBER, name VARCHAR2(20), sal NUMBER)", ""},
      {"app", "INSERT INTO emp VALUES (1, 'ann', 100)", ""},
      {"app", "INSERT INTO emp VALUES (2, 'bob', 200)", ""},
      {"app", "CREATE PACKAGE p AS\n"
              "  PROCEDURE show(x NUMBER);\n"
              "  PROCEDURE show(x VARCHAR2);\n"
              "  PROCEDURE show(x NUMBER, y NUMBER);\n"
              "  PROCEDURE show(d DATE);\n"
              "  PROCEDURE add(a IN NUMBER, b IN NUMBER DEFAULT 1, total OUT NUMBER);\n"
              "  PROCEDURE bump(n IN OUT NUMBER, by_ NUMBER := 10);\n"
              "  FUNCTION get(k NUMBER) RETURN emp%ROWTYPE;\n"
              "END p;", ""},
      {"app", "CREATE PACKAGE BODY p AS\n"
              "  PROCEDURE show(x NUMBER) IS BEGIN DBMS_OUTPUT.PUT_LINE('number ' || x); END;\n"
              "  PROCEDURE show(x VARCHAR2) IS BEGIN DBMS_OUTPUT.PUT_LINE('text ' || x); END;\n"
              "  PROCEDURE show(x NUMBER, y NUMBER) IS BEGIN DBMS_OUTPUT.PUT_LINE('two ' || (x + y)); END;\n"
              "  PROCEDURE show(d DATE) IS BEGIN DBMS_OUTPUT.PUT_LINE('date ' || TO_CHAR(d, 'YYYY')); END;\n"
              "  PROCEDURE add(a IN NUMBER, b IN NUMBER DEFAULT 1, total OUT NUMBER) IS BEGIN total := a + b; END;\n"
              "  PROCEDURE bump(n IN OUT NUMBER, by_ NUMBER := 10) IS BEGIN n := n + by_; END;\n"
              "  FUNCTION get(k NUMBER) RETURN emp%ROWTYPE IS r emp%ROWTYPE;\n"
              "  BEGIN SELECT * INTO r FROM emp WHERE id = k; RETURN r; END;\n"
              "END p;", ""},
      {"app", "BEGIN p.show(1); p.show('a'); p.show(1, 2); p.show(DATE '2024-05-01'); p.show(x => 'n'); END;",
       "out:number 1/text a/two 3/date 2024/text n"},
      {"app", "DECLARE t NUMBER; n NUMBER := 5; BEGIN p.add(2, total => t); DBMS_OUTPUT.PUT_LINE(t);"
              " p.add(b => 5, a => 1, total => t); DBMS_OUTPUT.PUT_LINE(t); p.bump(n); p.bump(n, by_ => 1);"
              " DBMS_OUTPUT.PUT_LINE(n); END;", "out:3/6/16"},
      {"app", "DECLARE r emp%ROWTYPE; BEGIN r := p.get(2); DBMS_OUTPUT.PUT_LINE(r.name || ' ' || r.sal); END;",
       "out:bob 200"},
      {"app", "BEGIN p.add(1); END;",
       "ERR ORA-06550: line 1, column 7:\nPLS-00306: wrong number or types of arguments in call to 'ADD'\n"
       "ORA-06550: line 1, column 7:\nPL/SQL: Statement ignored"},
      {"app", "BEGIN p.show(NULL); END;",
       "ERR ORA-06550: line 1, column 7:\nPLS-00307: too many declarations of 'SHOW' match this call\n"
       "ORA-06550: line 1, column 7:\nPL/SQL: Statement ignored"},
      {"app", "BEGIN p.add(1, 2, 3); END;",
       "ERR ORA-06550: line 1, column 19:\nPLS-00363: expression '3' cannot be used as an assignment target\n"
       "ORA-06550: line 1, column 19:\nPL/SQL: Statement ignored"},
      // Local subprograms with forward declarations, recursion, cursors
      // with parameters, records and exceptions across units.
      {"app", "DECLARE\n"
              "  TYPE pair IS RECORD (name VARCHAR2(20), sal NUMBER);\n"
              "  v pair;\n"
              "  CURSOR c(min_sal NUMBER) IS SELECT name, sal FROM emp WHERE sal >= min_sal ORDER BY id;\n"
              "  total NUMBER := 0;\n"
              "  PROCEDURE even(n NUMBER);\n"
              "  PROCEDURE odd(n NUMBER) IS BEGIN IF n > 0 THEN even(n - 1); ELSE DBMS_OUTPUT.PUT_LINE('odd'); END IF; END;\n"
              "  PROCEDURE even(n NUMBER) IS BEGIN IF n > 0 THEN odd(n - 1); ELSE DBMS_OUTPUT.PUT_LINE('even'); END IF; END;\n"
              "BEGIN\n"
              "  even(7);\n"
              "  OPEN c(150);\n"
              "  LOOP\n"
              "    FETCH c INTO v;\n"
              "    EXIT WHEN c%NOTFOUND;\n"
              "    total := total + v.sal;\n"
              "    DBMS_OUTPUT.PUT_LINE(v.name || ' ' || c%ROWCOUNT);\n"
              "  END LOOP;\n"
              "  CLOSE c;\n"
              "  FOR r IN c(0) LOOP total := total + r.sal; END LOOP;\n"
              "  DBMS_OUTPUT.PUT_LINE(total);\n"
              "  CLOSE c;\n"
              "EXCEPTION WHEN INVALID_CURSOR THEN DBMS_OUTPUT.PUT_LINE('closed: ' || SQLCODE);\n"
              "END;",
       "out:odd/bob 1/500/closed: -1001"},
      {"app", "CREATE PACKAGE errs AS not_found EXCEPTION; PRAGMA EXCEPTION_INIT(not_found, -20404);"
              " PROCEDURE fail(k NUMBER); END;", ""},
      {"app", "CREATE PACKAGE BODY errs AS PROCEDURE fail(k NUMBER) IS BEGIN"
              " RAISE_APPLICATION_ERROR(-20404, 'no ' || k); END; END;", ""},
      {"app", "BEGIN errs.fail(7); EXCEPTION WHEN errs.not_found THEN DBMS_OUTPUT.PUT_LINE(SQLERRM); END;",
       "out:ORA-20404: no 7"},
      {"app", "DECLARE s VARCHAR2(32767) := RPAD('x', 5000, 'x'); BEGIN DBMS_OUTPUT.PUT_LINE(LENGTH(s || s)); END;",
       "out:10000"},
  });
}

// Expressions PL/SQL evaluates without SQL give what SQL gives: each is
// run both ways, over variables holding the same values.
TEST_F(StoredUnitsTest, ExpressionsAgreeWithSql) {
  const char* const exprs[] = {
      "a + b * c", "(a + b) / c", "a / 3", "-a - -b", "a + n", "s || t", "s || n", "s || a", "a || b",
      "n || ''", "a * 1e30 * 1e30 * 1e30 * 1e30",
  };
  const char* const conds[] = {
      "a < b", "a = n", "n IS NULL", "s IS NOT NULL", "s = 'x'", "s < t", "a < b AND n = 1", "a > b OR n = 1",
      "NOT (n = 1)", "a > b AND n = 1", "a < b OR n = 1", "NOT (a < b)", "t = 'y '", "'a' = 'a '",
  };
  const std::string decl = "DECLARE a NUMBER := 7; b NUMBER := 2.5; c NUMBER := 3; n NUMBER; "
                           "s VARCHAR2(10) := 'x'; t VARCHAR2(10) := 'y'; ";
  const std::string cols = "(SELECT 7 a, 2.5 b, 3 c, CAST(NULL AS NUMBER) n, 'x' s, 'y' t FROM dual)";
  for (const char* e : exprs) {
    std::string sql = Run(*app_, "SELECT " + std::string(e) + " FROM " + cols);
    std::string pl = Run(*app_, decl + "r VARCHAR2(400); BEGIN r := " + e + "; DBMS_OUTPUT.PUT_LINE(NVL(r, '<null>')); END;");
    EXPECT_EQ(pl, sql.rfind("ERR ", 0) == 0 ? sql + "\nORA-06512: at line 1" : "out:" + sql) << e;
  }
  for (const char* c : conds) {
    std::string sql = Run(*app_, "SELECT CASE WHEN " + std::string(c) + " THEN 'T' WHEN NOT (" + c +
                                     ") THEN 'F' ELSE 'N' END FROM " + cols);
    std::string pl = Run(*app_, decl + "BEGIN IF " + c + " THEN DBMS_OUTPUT.PUT_LINE('T'); ELSIF NOT (" + c +
                                    ") THEN DBMS_OUTPUT.PUT_LINE('F'); ELSE DBMS_OUTPUT.PUT_LINE('N'); END IF; END;");
    EXPECT_EQ(pl, "out:" + sql) << c;
  }
}

// CALL and the run-time errors of units, with the stacks Oracle gives.
TEST_F(StoredUnitsTest, CallsAndRunTimeErrors) {
  Steps({
      {"app", "CREATE PROCEDURE greet(n VARCHAR2 DEFAULT 'you') IS BEGIN DBMS_OUTPUT.PUT_LINE('hi ' || n); END;", ""},
      {"app", "CREATE FUNCTION noret(x NUMBER) RETURN NUMBER IS BEGIN IF x > 0 THEN RETURN x; END IF; END;", ""},
      {"app", "CREATE FUNCTION deep(n NUMBER) RETURN NUMBER IS BEGIN RETURN deep(n + 1); END;", ""},
      {"app", "CREATE PROCEDURE fails IS\n  v VARCHAR2(3);\nBEGIN\n  v := 'toolong';\nEND;", ""},
      {"app", "CREATE PROCEDURE outer_p IS BEGIN fails; END;", ""},
      {"app", "CALL greet()", "out:hi you"},
      {"app", "CALL greet(n => 'ann')", "out:hi ann"},
      {"app", "CALL greet", "ERR ORA-06576: not a valid function or procedure name"},
      {"app", "CALL nosuch()", "ERR ORA-06576: not a valid function or procedure name"},
      {"app", "CALL greet(1, 2)", "ERR ORA-06553: PLS-306: wrong number or types of arguments in call to 'GREET'"},
      {"app", "CALL outer_p()",
       "ERR ORA-06502: PL/SQL: numeric or value error: character string buffer too small\n"
       "ORA-06512: at \"APP.FAILS\", line 4\nORA-06512: at \"APP.OUTER_P\", line 1"},
      {"app", "SELECT noret(-1) FROM dual",
       "ERR ORA-06503: PL/SQL: Function returned without value\nORA-06512: at \"APP.NORET\", line 1"},
      {"app", "BEGIN greet(n => 'a', n => 'b'); END;",
       "ERR ORA-06550: line 1, column 7:\nPLS-00306: wrong number or types of arguments in call to 'GREET'\n"
       "ORA-06550: line 1, column 7:\nPL/SQL: Statement ignored"},
      {"app", "DECLARE x NUMBER; BEGIN x := noret; END;",
       "ERR ORA-06550: line 1, column 30:\nPLS-00306: wrong number or types of arguments in call to 'NORET'\n"
       "ORA-06550: line 1, column 30:\nPL/SQL: Statement ignored"},
      {"app", "BEGIN DBMS_OUTPUT.PUT_LINE(noret(2)); greet; END;", "out:2/hi you"},
  });
  // Endless recursion ends in a storage error with a bounded stack.
  std::string deep = Run(*app_, "SELECT deep(1) FROM dual");
  EXPECT_EQ(deep.rfind("ERR ORA-06500: PL/SQL: storage error\nORA-06512: at \"APP.DEEP\", line 1\n", 0), 0u) << deep;
  EXPECT_LT(deep.size(), 2100u);
}

// A block run with values around it (what a trigger's body gets): it reads
// and assigns them, a constant one refuses assignment, and a second run
// reuses what the first compiled.
TEST_F(StoredUnitsTest, BlockWithValues) {
  std::shared_ptr<const tabdb::sql::PlsqlUnit> block;
  ASSERT_TRUE(tabdb::sql::ParsePlsqlBlock("BEGIN new_row.total := new_row.a * k; k := k + 1; END;", {"NEW_ROW", "K"},
                                          &block).ok());
  tabdb::pl::UnitRuntime rt;
  std::vector<tabdb::pl::BlockValue> values(2);
  values[0].name = "NEW_ROW";
  values[0].record = true;
  values[0].fields = {"A", "TOTAL"};
  tabdb::Value six, null = tabdb::Value::Null(tabdb::TypeKind::kNumber);
  ASSERT_TRUE(tabdb::TextToValue("6", tabdb::TypeKind::kNumber, &six).ok());
  values[0].values = {six, null};
  values[1].name = "K";
  values[1].v = six;
  for (const char* want : {"36", "42"}) {
    Status r = tabdb::pl::RunUnitBlock(*app_, *block, rt, nullptr, &values);
    ASSERT_TRUE(r.ok()) << r.text();
    std::string total;
    ASSERT_TRUE(tabdb::ValueToText(values[0].values[1], &total).ok());
    EXPECT_EQ(total, want);
  }
  values[1].constant = true;
  EXPECT_EQ(tabdb::pl::RunUnitBlock(*app_, *block, rt, nullptr, &values).text(),
            "ORA-06550: line 1, column 39:\nPLS-00363: expression 'K' cannot be used as an assignment target\n"
            "ORA-06550: line 1, column 39:\nPL/SQL: Statement ignored");
}

}  // namespace
