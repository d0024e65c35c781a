// foreign_key_test.cpp - foreign keys: how they are declared (inline,
// out of line, ALTER TABLE ... ADD) and the errors of a wrong declaration,
// the checks of child and parent rows on DML with Oracle's NULL rule,
// ON DELETE CASCADE / SET NULL, self-references, other schemas' parents,
// and DROP / TRUNCATE of a referenced table.
#include <cstdio>
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class ForeignKeyTest : public OciTest {
 protected:
  // dept(id PK) <- emp(dept_id) named EMP_DEPT_FK.
  void MakeDeptEmp(const std::string& rule = "") {
    Must(app_, "CREATE TABLE dept (id NUMBER PRIMARY KEY, name VARCHAR2(20) UNIQUE)");
    Must(app_, "CREATE TABLE emp (id NUMBER PRIMARY KEY, dept_id NUMBER CONSTRAINT emp_dept_fk REFERENCES dept " +
                   rule + ")");
    Must(app_, "INSERT INTO dept VALUES (10, 'A')");
    Must(app_, "INSERT INTO dept VALUES (20, 'B')");
    Must(app_, "INSERT INTO emp VALUES (1, 10)");
    Must(app_, "INSERT INTO emp VALUES (2, 10)");
    Must(app_, "INSERT INTO emp VALUES (3, 20)");
  }
};

// The declaration forms, and the misuses Oracle refuses.
TEST_F(ForeignKeyTest, DeclarationsAndTheirErrors) {
  Must(app_, "CREATE TABLE p (a NUMBER, b VARCHAR2(5), c DATE, CONSTRAINT p_pk PRIMARY KEY (a, b),"
             " CONSTRAINT p_c_uk UNIQUE (c))");
  Must(app_, "CREATE TABLE c1 (x NUMBER, y VARCHAR2(5), FOREIGN KEY (x, y) REFERENCES p)");
  Must(app_, "CREATE TABLE c2 (d DATE REFERENCES p (c) ON DELETE SET NULL)");
  Must(app_, "CREATE TABLE c3 (x NUMBER, y VARCHAR2(5), d DATE)");
  Must(app_, "ALTER TABLE c3 ADD CONSTRAINT c3_fk FOREIGN KEY (y, x) REFERENCES app.p (b, a) ON DELETE CASCADE");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_constraints WHERE constraint_type = 'R'"), "3");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_constraints WHERE constraint_type = 'R'"
                      " AND constraint_name LIKE 'SYS_C%'"),
            "2");

  // The columns named must be a key of the parent.
  EXPECT_EQ(Exec(app_, "ALTER TABLE c3 ADD FOREIGN KEY (x) REFERENCES p (a)"), 2270);
  EXPECT_EQ(app_.ErrorText(), "ORA-02270: no matching unique or primary key for this column-list\n");
  EXPECT_EQ(Exec(app_, "ALTER TABLE c3 ADD FOREIGN KEY (x) REFERENCES p"), 2256);
  EXPECT_EQ(Exec(app_, "ALTER TABLE c3 ADD FOREIGN KEY (x, y) REFERENCES p (a, b, c)"), 2256);
  EXPECT_EQ(Exec(app_, "ALTER TABLE c3 ADD FOREIGN KEY (d) REFERENCES p (a, b)"), 2256);
  EXPECT_EQ(Exec(app_, "ALTER TABLE c3 ADD FOREIGN KEY (x) REFERENCES p (c)"), 2267);
  EXPECT_EQ(app_.ErrorText(), "ORA-02267: column type incompatible with referenced column type\n");
  EXPECT_EQ(Exec(app_, "ALTER TABLE c3 ADD FOREIGN KEY (y, x) REFERENCES p (b, a)"), 2275);
  EXPECT_EQ(Exec(app_, "ALTER TABLE c3 ADD FOREIGN KEY (nope) REFERENCES p (c)"), 904);
  EXPECT_EQ(Exec(app_, "ALTER TABLE c3 ADD FOREIGN KEY (d) REFERENCES nope (c)"), 942);
  Must(app_, "CREATE TABLE nokey (a NUMBER)");
  EXPECT_EQ(Exec(app_, "CREATE TABLE c4 (a NUMBER REFERENCES nokey)"), 2268);
  EXPECT_EQ(Exec(app_, "CREATE TABLE c4 (d DATE CONSTRAINT c3_fk REFERENCES p (c))"), 2264);
  // A failed CREATE TABLE leaves nothing behind.
  EXPECT_EQ(Exec(app_, "SELECT * FROM c4"), 942);
  // Rows already there are validated: ORA-02298 names the new key.
  Must(app_, "CREATE TABLE c5 (x NUMBER, y VARCHAR2(5), d DATE)");
  Must(app_, "INSERT INTO c5 VALUES (1, 'x', NULL)");
  Must(app_, "ALTER TABLE c5 ADD CONSTRAINT c5_d_fk FOREIGN KEY (d) REFERENCES p (c)");
  EXPECT_EQ(Exec(app_, "ALTER TABLE c5 ADD CONSTRAINT c5_fk FOREIGN KEY (x, y) REFERENCES p"), 2298);
  EXPECT_EQ(app_.ErrorText(), "ORA-02298: cannot validate (APP.C5_FK) - parent keys not found\n");
  Must(app_, "ALTER TABLE c5 ADD CONSTRAINT c5_fk FOREIGN KEY (x, y) REFERENCES p ENABLE NOVALIDATE");
  EXPECT_EQ(Exec(app_, "INSERT INTO c5 VALUES (2, 'x', NULL)"), 2291);
}

// Child rows need a parent unless a key column is NULL; parents with
// children cannot go or change their key.
TEST_F(ForeignKeyTest, ChildAndParentChecks) {
  MakeDeptEmp();
  EXPECT_EQ(Exec(app_, "INSERT INTO emp VALUES (4, 30)"), 2291);
  EXPECT_EQ(app_.ErrorText(), "ORA-02291: integrity constraint (APP.EMP_DEPT_FK) violated - parent key not found\n");
  Must(app_, "INSERT INTO emp VALUES (4, NULL)");
  EXPECT_EQ(Exec(app_, "UPDATE emp SET dept_id = 30 WHERE id = 1"), 2291);
  Must(app_, "UPDATE emp SET dept_id = 20 WHERE id = 1");
  EXPECT_EQ(Exec(app_, "DELETE FROM dept WHERE id = 20"), 2292);
  EXPECT_EQ(app_.ErrorText(), "ORA-02292: integrity constraint (APP.EMP_DEPT_FK) violated - child record found\n");
  EXPECT_EQ(Exec(app_, "UPDATE dept SET id = 21 WHERE id = 20"), 2292);
  // A statement fails as a whole: dept 10 stays too.
  EXPECT_EQ(Exec(app_, "DELETE FROM dept"), 2292);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dept"), "2");
  // Keys are checked when the statement is done: 10 moves to 30 and 20
  // takes 10 over, so the children of 10 keep a parent.
  Must(app_, "DELETE FROM emp WHERE dept_id = 20");
  Must(app_, "UPDATE dept SET id = CASE id WHEN 10 THEN 30 ELSE 10 END");
  EXPECT_EQ(One(app_, "SELECT name FROM dept WHERE id = 10"), "B");
  Must(app_, "UPDATE dept SET name = name || 'Z'");  // no key column: nothing to check

  // Composite keys: any NULL column passes.
  Must(app_, "CREATE TABLE pk2 (a NUMBER, b NUMBER, PRIMARY KEY (a, b))");
  Must(app_, "INSERT INTO pk2 VALUES (1, 2)");
  Must(app_, "CREATE TABLE ch2 (a NUMBER, b NUMBER, CONSTRAINT ch2_fk FOREIGN KEY (a, b) REFERENCES pk2)");
  Must(app_, "INSERT INTO ch2 VALUES (1, 2)");
  Must(app_, "INSERT INTO ch2 VALUES (9, NULL)");
  Must(app_, "INSERT INTO ch2 VALUES (NULL, 9)");
  EXPECT_EQ(Exec(app_, "INSERT INTO ch2 VALUES (1, 3)"), 2291);
  EXPECT_EQ(Exec(app_, "INSERT INTO ch2 SELECT a, b + 1 FROM pk2"), 2291);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM ch2"), "3");
}

// An array INSERT through OCI checks every row with the key index and
// keeps the rows before the failing one.
TEST_F(ForeignKeyTest, ArrayInsert) {
  MakeDeptEmp();
  Stmt st(app_);
  ASSERT_EQ(st.Prepare("INSERT INTO emp VALUES (:1, :2)"), OCI_SUCCESS);
  int ids[4] = {11, 12, 13, 14};
  int depts[4] = {10, 20, 99, 10};
  OCIBind* b1 = nullptr;
  OCIBind* b2 = nullptr;
  ASSERT_EQ(OCIBindByPos(st.h, &b1, app_.err, 1, ids, sizeof(int), SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
                         OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIBindByPos(st.h, &b2, app_.err, 2, depts, sizeof(int), SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
                         OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(st.Execute(4), OCI_ERROR);
  EXPECT_EQ(app_.ErrorText(), "ORA-02291: integrity constraint (APP.EMP_DEPT_FK) violated - parent key not found\n");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp WHERE id > 10"), "2");
}

// A statement executed again looks its parents up again after another
// statement ran: the keys it found before may be gone. Keys in order are
// read in runs; a key missing between two present ones is still missing.
TEST_F(ForeignKeyTest, RepeatedInsertsSeeParentsGo) {
  Must(app_, "CREATE TABLE code (c VARCHAR2(5) PRIMARY KEY)");
  for (const char* c : {"a1", "a2", "a3", "a4", "a6"}) Must(app_, std::string("INSERT INTO code VALUES ('") + c + "')");
  Must(app_, "CREATE TABLE item (n NUMBER, c VARCHAR2(5) CONSTRAINT item_fk REFERENCES code)");
  Stmt st(app_);
  ASSERT_EQ(st.Prepare("INSERT INTO item VALUES (:1, :2)"), OCI_SUCCESS);
  int n = 0;
  char c[6] = {0};
  OCIBind* b1 = nullptr;
  OCIBind* b2 = nullptr;
  ASSERT_EQ(OCIBindByPos(st.h, &b1, app_.err, 1, &n, sizeof n, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
                         OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIBindByPos(st.h, &b2, app_.err, 2, c, sizeof c, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr,
                         OCI_DEFAULT),
            OCI_SUCCESS);
  auto insert = [&](int num, const char* code) {
    n = num;
    std::snprintf(c, sizeof c, "%s", code);
    return st.Execute(1) == OCI_SUCCESS ? 0 : app_.ErrorCode();
  };
  EXPECT_EQ(insert(1, "a1"), 0);
  EXPECT_EQ(insert(2, "a2"), 0);
  EXPECT_EQ(insert(3, "a3"), 0);
  EXPECT_EQ(insert(5, "a5"), 2291);
  EXPECT_EQ(insert(6, "a6"), 0);
  EXPECT_EQ(insert(7, "a2"), 0);
  Must(app_, "DELETE FROM item WHERE c = 'a2'");
  Must(app_, "DELETE FROM code WHERE c = 'a2'");
  EXPECT_EQ(insert(8, "a2"), 2291);
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS);
  Must(sys_, "DELETE FROM app.item WHERE c = 'a3'");
  Must(sys_, "DELETE FROM app.code WHERE c = 'a3'");
  Must(sys_, "COMMIT");
  EXPECT_EQ(insert(9, "a3"), 2291);
  EXPECT_EQ(insert(10, "a4"), 0);
  EXPECT_EQ(Query(app_, "SELECT n FROM item ORDER BY n"), (std::vector<Row>{{"1"}, {"6"}, {"10"}}));
}

// ON DELETE CASCADE through several levels, ON DELETE SET NULL, and a
// NO ACTION key below a cascade.
TEST_F(ForeignKeyTest, DeleteRules) {
  MakeDeptEmp("ON DELETE CASCADE");
  Must(app_, "CREATE TABLE task (id NUMBER PRIMARY KEY, emp_id NUMBER REFERENCES emp ON DELETE CASCADE,"
             " note CLOB)");
  Must(app_, "CREATE TABLE memo (task_id NUMBER REFERENCES task ON DELETE SET NULL, txt VARCHAR2(9))");
  Must(app_, "INSERT INTO task VALUES (100, 1, 'long text')");
  Must(app_, "INSERT INTO task VALUES (101, 3, NULL)");
  Must(app_, "INSERT INTO memo VALUES (100, 'm1')");
  Must(app_, "INSERT INTO memo VALUES (101, 'm2')");
  Must(app_, "DELETE FROM dept WHERE id = 10");
  EXPECT_EQ(Query(app_, "SELECT id FROM emp ORDER BY id"), (std::vector<Row>{{"3"}}));
  EXPECT_EQ(Query(app_, "SELECT id FROM task"), (std::vector<Row>{{"101"}}));
  EXPECT_EQ(Query(app_, "SELECT txt, NVL(TO_CHAR(task_id), '-') FROM memo ORDER BY txt"),
            (std::vector<Row>{{"m1", "-"}, {"m2", "101"}}));

  // A NO ACTION child below a cascade stops the whole delete.
  Must(app_, "CREATE TABLE audit_row (task_id NUMBER CONSTRAINT audit_fk REFERENCES task)");
  Must(app_, "INSERT INTO audit_row VALUES (101)");
  EXPECT_EQ(Exec(app_, "DELETE FROM dept WHERE id = 20"), 2292);
  EXPECT_EQ(app_.ErrorText(), "ORA-02292: integrity constraint (APP.AUDIT_FK) violated - child record found\n");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp"), "1");

  // SET NULL on a NOT NULL column fails.
  Must(app_, "CREATE TABLE strict (d NUMBER NOT NULL REFERENCES dept ON DELETE SET NULL)");
  Must(app_, "INSERT INTO strict VALUES (20)");
  Must(app_, "DELETE FROM audit_row");
  EXPECT_EQ(Exec(app_, "DELETE FROM dept WHERE id = 20"), 1407);
  EXPECT_EQ(app_.ErrorText(), "ORA-01407: cannot update (\"APP\".\"STRICT\".\"D\") to NULL\n");
}

// A row may reference itself or rows of the same statement; a cascade on
// a self-reference removes the whole subtree.
TEST_F(ForeignKeyTest, SelfReference) {
  Must(app_, "CREATE TABLE node (id NUMBER PRIMARY KEY, parent NUMBER CONSTRAINT node_fk REFERENCES node"
             " ON DELETE CASCADE)");
  Must(app_, "INSERT INTO node VALUES (1, 1)");
  Must(app_, "INSERT INTO node VALUES (2, 1)");
  EXPECT_EQ(Exec(app_, "INSERT INTO node VALUES (3, 4)"), 2291);
  Must(app_, "INSERT INTO node VALUES (3, 4), (4, 2)");
  Must(app_, "INSERT INTO node VALUES (13, 3)");
  Must(app_, "INSERT INTO node SELECT id + 10, id + 11 FROM node WHERE id < 3");  // 11 -> 12 -> 13
  EXPECT_EQ(Exec(app_, "INSERT INTO node SELECT 20, 21 FROM dual"), 2291);
  // 2 takes 4, 3 with it; 11, 12, 13 hang off 13 -> 3.
  Must(app_, "DELETE FROM node WHERE id = 2");
  EXPECT_EQ(Query(app_, "SELECT id FROM node ORDER BY id"), (std::vector<Row>{{"1"}}));

  // Without a delete rule, a statement may remove a whole tree at once.
  Must(app_, "CREATE TABLE tree (id NUMBER PRIMARY KEY, up NUMBER REFERENCES tree)");
  Must(app_, "INSERT INTO tree VALUES (1, NULL), (2, 1), (3, 2)");
  EXPECT_EQ(Exec(app_, "DELETE FROM tree WHERE id = 2"), 2292);
  Must(app_, "DELETE FROM tree");
}

// A parent in another schema needs the REFERENCES privilege (or DBA).
TEST_F(ForeignKeyTest, OtherSchemaParent) {
  MakeUser("OWNR");
  Conn owner;
  ASSERT_EQ(owner.Open(path_, "ownr", "ownr"), OCI_SUCCESS);
  Must(owner, "CREATE TABLE codes (code VARCHAR2(3) PRIMARY KEY)");
  Must(owner, "INSERT INTO codes VALUES ('X')");
  Must(owner, "COMMIT");
  EXPECT_EQ(Exec(app_, "CREATE TABLE uses (code VARCHAR2(3) REFERENCES ownr.codes)"), 942);
  Must(owner, "GRANT SELECT ON codes TO app");
  EXPECT_EQ(Exec(app_, "CREATE TABLE uses (code VARCHAR2(3) REFERENCES ownr.codes)"), 1031);
  Must(owner, "GRANT REFERENCES ON codes TO app");
  Must(app_, "CREATE TABLE uses (code VARCHAR2(3) CONSTRAINT uses_fk REFERENCES ownr.codes)");
  Must(app_, "INSERT INTO uses VALUES ('X')");
  EXPECT_EQ(Exec(app_, "INSERT INTO uses VALUES ('Y')"), 2291);
  Must(app_, "COMMIT");
  EXPECT_EQ(Exec(owner, "DELETE FROM codes"), 2292);
  EXPECT_EQ(owner.ErrorText(), "ORA-02292: integrity constraint (APP.USES_FK) violated - child record found\n");
  ASSERT_EQ(owner.Rollback(), OCI_SUCCESS);
  // A DBA, too, needs REFERENCES granted to the child table's owner; the
  // refused CREATE TABLE leaves no table behind.
  EXPECT_EQ(Exec(sys_, "CREATE TABLE system.uses2 (code VARCHAR2(3) REFERENCES ownr.codes)"), 1031);
  EXPECT_EQ(Exec(sys_, "CREATE TABLE app.uses3 (code VARCHAR2(3) REFERENCES ownr.codes)"), 0);
  Must(owner, "GRANT REFERENCES ON codes TO system");
  Must(sys_, "CREATE TABLE system.uses2 (code VARCHAR2(3) REFERENCES ownr.codes)");
  // DROP USER ... CASCADE takes the other schemas' keys on its tables along.
  owner.Close();
  Must(sys_, "DROP USER ownr CASCADE");
  Must(app_, "INSERT INTO uses VALUES ('Q')");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_constraints WHERE constraint_type = 'R'"), "0");
}

// DROP TABLE and TRUNCATE of a referenced table.
TEST_F(ForeignKeyTest, DropAndTruncate) {
  MakeDeptEmp();
  EXPECT_EQ(Exec(app_, "DROP TABLE dept"), 2449);
  EXPECT_EQ(app_.ErrorText(), "ORA-02449: unique/primary keys in table referenced by foreign keys\n");
  EXPECT_EQ(Exec(app_, "TRUNCATE TABLE dept"), 2266);
  EXPECT_EQ(app_.ErrorText(), "ORA-02266: unique/primary keys in table referenced by enabled foreign keys\n");
  Must(app_, "ALTER TABLE emp DISABLE CONSTRAINT emp_dept_fk");
  Must(app_, "TRUNCATE TABLE dept");
  Must(app_, "DROP TABLE dept CASCADE CONSTRAINTS");
  // The child keeps its rows and loses only the key.
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM emp"), "3");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_constraints WHERE constraint_name = 'EMP_DEPT_FK'"), "0");
  Must(app_, "INSERT INTO emp VALUES (9, 99)");
  // A self-referencing table drops and truncates.
  Must(app_, "CREATE TABLE selfy (id NUMBER PRIMARY KEY, up NUMBER REFERENCES selfy)");
  Must(app_, "TRUNCATE TABLE selfy");
  Must(app_, "DROP TABLE selfy");
}

}  // namespace
}  // namespace ocitest
