// triggers_test.cpp - DML triggers as they fire through OCI: order
// (FOLLOWS, statement around row), WHEN, assignments to NEW, UPDATE OF and
// UPDATING('c'), REFERENCING, disabled and invalid triggers, the mutating
// table, errors in the stack, INSTEAD OF on a view, the owner's rights,
// and an array INSERT with a row the trigger refuses.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class TriggersTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(sys_, "GRANT CREATE TABLE, CREATE SEQUENCE, CREATE TRIGGER, CREATE PROCEDURE, CREATE VIEW TO app");
    MakeUser("BOB");
    ASSERT_EQ(bob_.Open(path_, "bob", "bob"), OCI_SUCCESS) << bob_.ErrorText();
  }

  // Rows of a query ("a,b|c,d"), "" for another statement that succeeds,
  // "WARN n" for a success with information, or "ERR " and the error.
  static std::string Run(Conn& c, const std::string& sql) {
    auto error = [&] {
      std::string t = c.ErrorText();
      while (!t.empty() && t.back() == '\n') t.pop_back();
      return "ERR " + t;
    };
    Stmt s(c);
    if (s.Prepare(sql) != OCI_SUCCESS) return error();
    bool query = s.StmtType() == OCI_STMT_SELECT;
    sword rc = s.Execute(query ? 0 : 1);
    if (rc == OCI_SUCCESS_WITH_INFO) return "WARN " + std::to_string(c.ErrorCode());
    if (rc != OCI_SUCCESS) return error();
    if (!query) return "";
    std::string out;
    for (const Row& r : Query(c, sql)) {
      std::string line;
      for (const std::string& v : r) line += (line.empty() ? "" : ",") + v;
      out += (out.empty() ? "" : "|") + line;
    }
    return out;
  }

  struct Step {
    const char* who;  // "app" or "bob"
    const char* sql;
    const char* expect;
  };
  void Steps(const std::vector<Step>& steps) {
    for (const Step& st : steps)
      EXPECT_EQ(Run(std::string(st.who) == "bob" ? bob_ : app_, st.sql), st.expect) << st.who << ": " << st.sql;
  }

  Conn bob_;
};

// Firing: the key-filling trigger, statement triggers around row ones,
// FOLLOWS, WHEN with NEW/OLD, UPDATE OF, UPDATING('c'), REFERENCING, a
// BEFORE UPDATE changing the row, disabled triggers (one by one, all of a
// table, created DISABLED) and the STATUS the dictionary shows.
TEST_F(TriggersTest, WhatFiresAndInWhichOrder) {
  Steps({
      {"app", "CREATE SEQUENCE s", ""},
      {"app", "CREATE TABLE t (id NUMBER PRIMARY KEY, name VARCHAR2(30), n NUMBER, at DATE, who VARCHAR2(30))", ""},
      {"app", "CREATE TABLE log (k NUMBER, msg VARCHAR2(100))", ""},
      {"app", "CREATE SEQUENCE logk", ""},
      {"app",
       "CREATE TRIGGER t_key BEFORE INSERT ON t FOR EACH ROW BEGIN\n"
       "  IF :new.id IS NULL THEN SELECT s.NEXTVAL INTO :new.id FROM dual; END IF;\n"
       "  :new.at := SYSDATE; :new.who := SYS_CONTEXT('USERENV', 'SESSION_USER');\nEND;",
       ""},
      {"app", "INSERT INTO t (name) VALUES ('a')", ""},
      {"app", "INSERT INTO t (id, name) VALUES (10, 'b')", ""},
      {"app", "SELECT id, name, who, NVL2(at, 'dated', 'none') FROM t ORDER BY id", "1,a,APP,dated|10,b,APP,dated"},
      {"app", "CREATE TRIGGER r2 AFTER UPDATE ON t FOR EACH ROW FOLLOWS r3 BEGIN INSERT INTO log VALUES (logk.NEXTVAL, 'r2 ' || :new.id); END;", ""},
      {"app", "CREATE TRIGGER r3 AFTER UPDATE ON t FOR EACH ROW BEGIN INSERT INTO log VALUES (logk.NEXTVAL, 'r3 ' || :new.id); END;", ""},
      {"app", "CREATE TRIGGER sb BEFORE UPDATE OR DELETE ON t BEGIN INSERT INTO log VALUES (logk.NEXTVAL, CASE WHEN updating THEN 'sb upd' ELSE 'sb del' END); END;", ""},
      {"app", "CREATE TRIGGER sa AFTER UPDATE ON t BEGIN INSERT INTO log VALUES (logk.NEXTVAL, 'sa'); END;", ""},
      {"app",
       "CREATE TRIGGER w AFTER UPDATE OF n ON t REFERENCING OLD AS o NEW AS nw FOR EACH ROW WHEN (nw.n > o.n)\n"
       "BEGIN INSERT INTO log VALUES (logk.NEXTVAL, 'w ' || :o.n || '>' || :nw.n ||\n"
       "  CASE WHEN updating('N') THEN ' n' END || CASE WHEN updating('NAME') THEN ' name' END); END;",
       ""},
      {"app", "UPDATE t SET n = 5", ""},
      {"app", "UPDATE t SET n = 3, name = name WHERE id = 1", ""},
      {"app", "UPDATE t SET n = 7 WHERE id = 1", ""},
      {"app", "UPDATE t SET name = 'x' WHERE id = 99", ""},
      {"app", "SELECT msg FROM log ORDER BY k",
       "sb upd|r3 1|r2 1|r3 10|r2 10|sa|sb upd|r3 1|r2 1|sa|sb upd|r3 1|r2 1|w 3>7 n|sa|sb upd|sa"},
      // a BEFORE UPDATE trigger changes the row, also a column not SET
      {"app", "CREATE TRIGGER bu BEFORE UPDATE OF name ON t FOR EACH ROW BEGIN :new.name := UPPER(:new.name); :new.n := :old.n + 100; END;", ""},
      {"app", "UPDATE t SET name = 'q' WHERE id = 10", ""},
      {"app", "SELECT name, n FROM t WHERE id = 10", "Q,105"},
      // disabled: one trigger, every trigger of the table, one created so
      {"app", "ALTER TRIGGER bu DISABLE", ""},
      {"app", "UPDATE t SET name = 'r' WHERE id = 10", ""},
      {"app", "SELECT name FROM t WHERE id = 10", "r"},
      {"app", "ALTER TABLE t DISABLE ALL TRIGGERS", ""},
      {"app", "DELETE FROM log", ""},
      {"app", "INSERT INTO t (id, name) VALUES (20, 'c')", ""},
      {"app", "UPDATE t SET n = 50", ""},
      {"app", "SELECT COUNT(*) FROM log", "0"},
      {"app", "SELECT NVL2(at, 'dated', 'none') FROM t WHERE id = 20", "none"},
      {"app", "ALTER TABLE t ENABLE ALL TRIGGERS", ""},
      {"app", "CREATE TRIGGER off BEFORE INSERT ON t FOR EACH ROW DISABLE BEGIN :new.name := 'off'; END;", ""},
      {"app", "SELECT trigger_name || ':' || status FROM user_triggers WHERE trigger_name IN ('BU', 'OFF', 'T_KEY') ORDER BY 1",
       "BU:ENABLED|OFF:DISABLED|T_KEY:ENABLED"},
      {"app", "INSERT INTO t (id, name) VALUES (21, 'on')", ""},
      {"app", "SELECT name FROM t WHERE id = 21", "on"},
  });
}

// Errors: a row trigger reading its mutating table (not for a one-row
// INSERT ... VALUES), an error raised in a trigger with the statement and
// what the trigger did undone, a trigger created with errors that fails
// when it should fire until it compiles, and INSTEAD OF triggers on a view.
TEST_F(TriggersTest, ErrorsInvalidTriggersAndViews) {
  Steps({
      {"app", "CREATE TABLE t (id NUMBER PRIMARY KEY, n NUMBER)", ""},
      {"app", "CREATE TABLE log (msg VARCHAR2(100))", ""},
      {"app", "INSERT INTO t VALUES (1, 1)", ""},
      {"app", "CREATE TRIGGER cnt AFTER INSERT OR UPDATE ON t FOR EACH ROW DECLARE c NUMBER;\n"
              "BEGIN SELECT COUNT(*) INTO c FROM t; INSERT INTO log VALUES ('count ' || c); END;", ""},
      {"app", "INSERT INTO t VALUES (2, 2)", ""},
      {"app", "SELECT msg FROM log", "count 2"},
      {"app", "UPDATE t SET n = 3",
       "ERR ORA-04091: table APP.T is mutating, trigger/function may not see it\n"
       "ORA-06512: at \"APP.CNT\", line 2\nORA-04088: error during execution of trigger 'APP.CNT'"},
      {"app", "INSERT INTO t SELECT 3, 3 FROM dual",
       "ERR ORA-04091: table APP.T is mutating, trigger/function may not see it\n"
       "ORA-06512: at \"APP.CNT\", line 2\nORA-04088: error during execution of trigger 'APP.CNT'"},
      {"app", "DROP TRIGGER cnt", ""},
      {"app", "CREATE TRIGGER chk BEFORE INSERT ON t FOR EACH ROW BEGIN\n  INSERT INTO log VALUES ('chk ' || :new.id);\n"
              "  IF :new.n < 0 THEN RAISE_APPLICATION_ERROR(-20001, 'negative'); END IF;\nEND;", ""},
      {"app", "INSERT INTO t VALUES (4, -1)",
       "ERR ORA-20001: negative\nORA-06512: at \"APP.CHK\", line 3\nORA-04088: error during execution of trigger 'APP.CHK'"},
      {"app", "SELECT COUNT(*) FROM t WHERE id = 4", "0"},
      {"app", "SELECT COUNT(*) FROM log WHERE msg = 'chk 4'", "0"},
      {"app", "DROP TRIGGER chk", ""},
      // created with errors: INVALID, USER_ERRORS, ORA-04098 until it compiles
      {"app", "CREATE TRIGGER bad BEFORE INSERT ON t FOR EACH ROW BEGIN\n  :new.n := twice(:new.n);\nEND;", "WARN 24344"},
      {"app", "SELECT status FROM user_objects WHERE object_name = 'BAD'", "INVALID"},
      {"app", "SELECT line || ':' || position || ':' || text FROM user_errors WHERE name = 'BAD' AND text LIKE 'PLS%'",
       "2:13:PLS-00201: identifier 'TWICE' must be declared"},
      {"app", "INSERT INTO t VALUES (5, 5)", "ERR ORA-04098: trigger 'APP.BAD' is invalid and failed re-validation"},
      {"app", "CREATE FUNCTION twice(x NUMBER) RETURN NUMBER IS BEGIN RETURN 2 * x; END;", ""},
      {"app", "ALTER TRIGGER bad COMPILE", ""},
      {"app", "INSERT INTO t VALUES (5, 5)", ""},
      {"app", "SELECT n FROM t WHERE id = 5", "10"},
      {"app", "DROP TRIGGER bad", ""},
      // INSTEAD OF: the view's rows go to the trigger, no table changes
      {"app", "CREATE VIEW v AS SELECT id, n FROM t", ""},
      {"app", "INSERT INTO v VALUES (6, 6)", "ERR ORA-01732: data manipulation operation not legal on this view"},
      {"app",
       "CREATE TRIGGER io INSTEAD OF INSERT OR UPDATE OR DELETE ON v FOR EACH ROW BEGIN\n"
       "  IF inserting THEN INSERT INTO t VALUES (:new.id, :new.n * 10);\n"
       "  ELSIF updating THEN UPDATE t SET n = :new.n WHERE id = :old.id;\n"
       "  ELSE INSERT INTO log VALUES ('kept ' || :old.id); END IF;\nEND;",
       ""},
      {"app", "INSERT INTO v (id, n) VALUES (6, 6)", ""},
      {"app", "UPDATE v SET n = n + 1 WHERE id IN (1, 2)", ""},
      {"app", "DELETE FROM v WHERE id = 6", ""},
      {"app", "SELECT id || ':' || n FROM t ORDER BY id", "1:2|2:3|5:10|6:60"},
      {"app", "SELECT msg FROM log WHERE msg LIKE 'kept%'", "kept 6"},
      {"app", "SELECT trigger_type || ':' || base_object_type FROM user_triggers WHERE trigger_name = 'IO'",
       "INSTEAD OF:VIEW"},
  });
}

// A trigger runs with its owner's rights: another user's INSERT into the
// table fires it, and it writes a table that user cannot see, under the
// session user's name.
TEST_F(TriggersTest, OwnersRights) {
  Steps({
      {"app", "CREATE TABLE t (id NUMBER, by_user VARCHAR2(30), by_owner VARCHAR2(30))", ""},
      {"app", "CREATE TABLE audit_log (who VARCHAR2(30), id NUMBER)", ""},
      {"app", "CREATE TRIGGER aud BEFORE INSERT ON t FOR EACH ROW BEGIN\n"
              "  :new.by_user := USER; :new.by_owner := SYS_CONTEXT('USERENV', 'CURRENT_USER');\n"
              "  INSERT INTO audit_log VALUES (USER, :new.id);\nEND;", ""},
      {"app", "GRANT INSERT, SELECT ON t TO bob", ""},
      {"bob", "INSERT INTO app.t (id) VALUES (1)", ""},
      {"bob", "SELECT id || ':' || by_user || ':' || by_owner FROM app.t", "1:BOB:APP"},
      {"bob", "SELECT COUNT(*) FROM app.audit_log", "ERR ORA-00942: table or view does not exist"},
      {"bob", "COMMIT", ""},
      {"app", "SELECT who || ':' || id FROM audit_log", "BOB:1"},
  });
}

// An array INSERT fires the row trigger for each row and the statement
// triggers once; a row the trigger refuses is a batch error, undone with
// what its trigger did, and the other rows go in.
TEST_F(TriggersTest, ArrayInsertWithBatchErrors) {
  Steps({
      {"app", "CREATE TABLE t (id NUMBER, n NUMBER)", ""},
      {"app", "CREATE TABLE log (msg VARCHAR2(100))", ""},
      {"app", "CREATE TRIGGER rb BEFORE INSERT ON t FOR EACH ROW BEGIN\n  INSERT INTO log VALUES ('row ' || :new.id);\n"
              "  IF :new.id = 3 THEN RAISE_APPLICATION_ERROR(-20003, 'no 3'); END IF;\n  :new.n := :new.id * 2;\nEND;", ""},
      {"app", "CREATE TRIGGER sb BEFORE INSERT ON t BEGIN INSERT INTO log VALUES ('before'); END;", ""},
      {"app", "CREATE TRIGGER sa AFTER INSERT ON t BEGIN INSERT INTO log VALUES ('after'); END;", ""},
  });
  Stmt s(app_);
  ASSERT_EQ(s.Prepare("INSERT INTO t (id) VALUES (:1)"), OCI_SUCCESS);
  std::vector<int> ids = {1, 2, 3, 4, 5};
  ASSERT_EQ(s.Bind(1, ids.data(), sizeof(int), SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(OCIStmtExecute(app_.svc, s.h, app_.err, 5, 0, nullptr, nullptr, OCI_BATCH_ERRORS), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(app_.ErrorCode(), 24381);
  ASSERT_EQ(s.AttrUb4(OCI_ATTR_NUM_DML_ERRORS), 1u);
  OCIError* rowerr = nullptr;
  ASSERT_EQ(OCIParamGet(app_.err, OCI_HTYPE_ERROR, app_.err, reinterpret_cast<void**>(&rowerr), 0), OCI_SUCCESS);
  ub4 off = 99;
  sb4 code = 0;
  char buf[512];
  EXPECT_EQ(OCIAttrGet(rowerr, OCI_HTYPE_ERROR, &off, nullptr, OCI_ATTR_DML_ROW_OFFSET, app_.err), OCI_SUCCESS);
  EXPECT_EQ(OCIErrorGet(rowerr, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_ERROR),
            OCI_SUCCESS);
  EXPECT_EQ(off, 2u);
  EXPECT_EQ(code, 20003);
  Steps({
      {"app", "SELECT id || ':' || n FROM t ORDER BY id", "1:2|2:4|4:8|5:10"},
      {"app", "SELECT msg FROM log", "before|row 1|row 2|row 4|row 5|after"},
  });
}

}  // namespace
}  // namespace ocitest
