// constraint_state_test.cpp - ENABLE / DISABLE, VALIDATE / NOVALIDATE of
// every kind of constraint (the rows checked when one is enabled, the
// index of a key dropped and rebuilt), and deferred constraints checked
// at COMMIT and by SET CONSTRAINTS.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class ConstraintStateTest : public OciTest {
 protected:
  std::string Status(const std::string& name) {
    return One(app_, "SELECT status FROM user_constraints WHERE constraint_name = '" + name + "'");
  }
};

// A disabled foreign key or check is not enforced; enabling validates the
// rows unless NOVALIDATE is given, which enforces new rows only.
TEST_F(ConstraintStateTest, EnableValidatesRows) {
  Must(app_, "CREATE TABLE p (id NUMBER PRIMARY KEY)");
  Must(app_, "CREATE TABLE c (pid NUMBER CONSTRAINT c_fk REFERENCES p DISABLE,"
             " q NUMBER CONSTRAINT c_q CHECK (q > 0) DISABLE, r NUMBER CONSTRAINT c_r_nn NOT NULL)");
  EXPECT_EQ(Status("C_FK"), "DISABLED");
  Must(app_, "INSERT INTO c VALUES (7, -1, 0)");
  EXPECT_EQ(Exec(app_, "ALTER TABLE c ENABLE CONSTRAINT c_fk"), 2298);
  EXPECT_EQ(app_.ErrorText(), "ORA-02298: cannot validate (APP.C_FK) - parent keys not found\n");
  EXPECT_EQ(Exec(app_, "ALTER TABLE c ENABLE VALIDATE CONSTRAINT c_q"), 2293);
  EXPECT_EQ(app_.ErrorText(), "ORA-02293: cannot validate (APP.C_Q) - check constraint violated\n");
  EXPECT_EQ(Status("C_FK"), "DISABLED");
  Must(app_, "ALTER TABLE c ENABLE NOVALIDATE CONSTRAINT c_fk");
  Must(app_, "ALTER TABLE c MODIFY CONSTRAINT c_q ENABLE NOVALIDATE");
  EXPECT_EQ(Status("C_FK"), "ENABLED");
  EXPECT_EQ(Exec(app_, "INSERT INTO c VALUES (8, 1, 0)"), 2291);
  EXPECT_EQ(Exec(app_, "INSERT INTO c VALUES (NULL, -2, 0)"), 2290);
  Must(app_, "INSERT INTO p VALUES (7)");
  Must(app_, "ALTER TABLE c ENABLE CONSTRAINT c_fk");
  Must(app_, "ALTER TABLE c DISABLE CONSTRAINT c_fk");
  Must(app_, "INSERT INTO c VALUES (9, 1, 0)");

  // NOT NULL: disabled, a NULL goes in; enabling finds it (ORA-02296).
  Must(app_, "ALTER TABLE c DISABLE CONSTRAINT c_r_nn");
  Must(app_, "INSERT INTO c VALUES (NULL, NULL, NULL)");
  EXPECT_EQ(Exec(app_, "ALTER TABLE c ENABLE CONSTRAINT c_r_nn"), 2296);
  EXPECT_EQ(app_.ErrorText(), "ORA-02296: cannot enable (APP.C_R_NN) - null values found\n");
  Must(app_, "DELETE FROM c WHERE r IS NULL");
  Must(app_, "ALTER TABLE c ENABLE CONSTRAINT c_r_nn");
  EXPECT_EQ(Exec(app_, "INSERT INTO c VALUES (NULL, NULL, NULL)"), 1400);
}

// DISABLE of a key drops the index it made and lets duplicates in;
// ENABLE rebuilds it and finds them. A key that enabled foreign keys
// reference is disabled only with CASCADE.
TEST_F(ConstraintStateTest, KeysDisabledAndEnabled) {
  Must(app_, "CREATE TABLE k (a NUMBER CONSTRAINT k_pk PRIMARY KEY, b NUMBER CONSTRAINT k_b UNIQUE)");
  Must(app_, "CREATE TABLE kc (a NUMBER CONSTRAINT kc_fk REFERENCES k)");
  Must(app_, "INSERT INTO k VALUES (1, 1)");
  EXPECT_EQ(Exec(app_, "ALTER TABLE k DISABLE PRIMARY KEY"), 2297);
  EXPECT_EQ(app_.ErrorText(), "ORA-02297: cannot disable constraint (APP.K_PK) - dependencies exist\n");
  Must(app_, "ALTER TABLE k DISABLE PRIMARY KEY CASCADE");
  EXPECT_EQ(Status("K_PK"), "DISABLED");
  EXPECT_EQ(Status("KC_FK"), "DISABLED");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_indexes WHERE index_name = 'K_PK'"), "0");
  Must(app_, "INSERT INTO k VALUES (1, 2)");
  Must(app_, "INSERT INTO k VALUES (NULL, 3)");
  EXPECT_EQ(Exec(app_, "ALTER TABLE k ENABLE PRIMARY KEY"), 1449);
  Must(app_, "DELETE FROM k WHERE a IS NULL");
  EXPECT_EQ(Exec(app_, "ALTER TABLE k ENABLE PRIMARY KEY"), 2437);
  EXPECT_EQ(app_.ErrorText(), "ORA-02437: cannot validate (APP.K_PK) - primary key violated\n");
  Must(app_, "DELETE FROM k WHERE b = 2");
  Must(app_, "ALTER TABLE k ENABLE PRIMARY KEY");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_indexes WHERE index_name = 'K_PK'"), "1");
  EXPECT_EQ(Exec(app_, "INSERT INTO k VALUES (1, 5)"), 1);
  EXPECT_EQ(app_.ErrorText(), "ORA-00001: unique constraint (APP.K_PK) violated\n");

  Must(app_, "ALTER TABLE k DISABLE UNIQUE (b)");
  Must(app_, "INSERT INTO k VALUES (2, 1)");
  EXPECT_EQ(Exec(app_, "ALTER TABLE k ENABLE UNIQUE (b)"), 2299);
  EXPECT_EQ(app_.ErrorText(), "ORA-02299: cannot validate (APP.K_B) - duplicate keys found\n");
  Must(app_, "UPDATE k SET b = 2 WHERE a = 2");
  Must(app_, "ALTER TABLE k ENABLE UNIQUE (b)");
  EXPECT_EQ(Exec(app_, "INSERT INTO k VALUES (3, 2)"), 1);
  // KEEP INDEX: the unique index stays and still refuses duplicates.
  Must(app_, "ALTER TABLE k DISABLE CONSTRAINT k_b KEEP INDEX");
  EXPECT_EQ(Status("K_B"), "DISABLED");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_indexes WHERE index_name = 'K_B'"), "1");
  EXPECT_EQ(Exec(app_, "INSERT INTO k VALUES (3, 2)"), 1);
  Must(app_, "ALTER TABLE k ENABLE CONSTRAINT k_b");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_indexes WHERE table_name = 'K'"), "2");
  // The foreign key disabled by the cascade is enabled on its own.
  Must(app_, "ALTER TABLE kc ENABLE CONSTRAINT kc_fk");
  EXPECT_EQ(Exec(app_, "INSERT INTO kc VALUES (5)"), 2291);
}

// The misuses of the state clauses.
TEST_F(ConstraintStateTest, StateErrors) {
  Must(app_, "CREATE TABLE s (a NUMBER, b NUMBER CONSTRAINT s_b CHECK (b > 0) DEFERRABLE INITIALLY IMMEDIATE RELY,"
             " CONSTRAINT s_a UNIQUE (a) USING INDEX ENABLE VALIDATE NOT DEFERRABLE NORELY)");
  EXPECT_EQ(Exec(app_, "ALTER TABLE s ENABLE CONSTRAINT nope"), 2430);
  EXPECT_EQ(app_.ErrorText(), "ORA-02430: cannot enable constraint (NOPE) - no such constraint\n");
  EXPECT_EQ(Exec(app_, "ALTER TABLE s DISABLE CONSTRAINT nope"), 2431);
  EXPECT_EQ(Exec(app_, "ALTER TABLE s MODIFY CONSTRAINT nope DISABLE"), 2443);
  EXPECT_EQ(Exec(app_, "ALTER TABLE s ENABLE PRIMARY KEY"), 2432);
  EXPECT_EQ(Exec(app_, "ALTER TABLE s DISABLE PRIMARY KEY"), 2433);
  EXPECT_EQ(Exec(app_, "ALTER TABLE s DISABLE UNIQUE (b)"), 2435);
  EXPECT_EQ(Exec(app_, "CREATE TABLE s2 (a NUMBER CHECK (a > 0) NOT DEFERRABLE INITIALLY DEFERRED)"), 2447);
  EXPECT_EQ(app_.ErrorText(), "ORA-02447: cannot defer a constraint that is not deferrable\n");
  EXPECT_EQ(Exec(app_, "ALTER TABLE s MODIFY CONSTRAINT s_a INITIALLY DEFERRED"), 2447);
  Must(app_, "ALTER TABLE s MODIFY CONSTRAINT s_b INITIALLY DEFERRED");
  EXPECT_EQ(Exec(app_, "SET CONSTRAINT s_a DEFERRED"), 2447);
  EXPECT_EQ(Exec(app_, "SET CONSTRAINTS nope IMMEDIATE"), 2448);
  EXPECT_EQ(Exec(app_, "ALTER TABLE s ENABLE"), 1735);
}

// Deferred constraints are checked at COMMIT: a violation rolls the whole
// transaction back with ORA-02091 over the constraint's error.
TEST_F(ConstraintStateTest, DeferredCheckedAtCommit) {
  Must(app_, "CREATE TABLE dp (id NUMBER PRIMARY KEY)");
  Must(app_, "CREATE TABLE dc (pid NUMBER CONSTRAINT dc_fk REFERENCES dp DEFERRABLE INITIALLY DEFERRED,"
             " q NUMBER CONSTRAINT dc_q CHECK (q > 0) INITIALLY DEFERRED)");
  Must(app_, "CREATE TABLE other (v NUMBER)");
  // The child before its parent: fine by the end of the transaction.
  Must(app_, "INSERT INTO dc VALUES (1, 1)");
  Must(app_, "INSERT INTO dp VALUES (1)");
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS) << app_.ErrorText();

  Must(app_, "INSERT INTO other VALUES (1)");
  Must(app_, "INSERT INTO dc VALUES (2, 1)");
  EXPECT_EQ(app_.Commit(), OCI_ERROR);
  EXPECT_EQ(app_.ErrorCode(), 2091);
  EXPECT_EQ(app_.ErrorText(), "ORA-02091: transaction rolled back\n"
                              "ORA-02291: integrity constraint (APP.DC_FK) violated - parent key not found\n");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM other"), "0");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dc"), "1");

  // A row fixed before COMMIT passes.
  Must(app_, "UPDATE dc SET q = -1");
  Must(app_, "UPDATE dc SET q = 5");
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS) << app_.ErrorText();
  Must(app_, "UPDATE dc SET q = -1");
  EXPECT_EQ(Exec(app_, "COMMIT"), 2091);
  EXPECT_EQ(app_.ErrorText(), "ORA-02091: transaction rolled back\nORA-02290: check constraint (APP.DC_Q) violated\n");
  EXPECT_EQ(One(app_, "SELECT q FROM dc"), "5");

  // A parent removed under a deferred key: its children are found at COMMIT.
  Must(app_, "DELETE FROM dp");
  EXPECT_EQ(app_.Commit(), OCI_ERROR);
  EXPECT_EQ(app_.ErrorText(), "ORA-02091: transaction rolled back\n"
                              "ORA-02292: integrity constraint (APP.DC_FK) violated - child record found\n");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dp"), "1");

  // COMMIT inside PL/SQL goes through the same check.
  EXPECT_EQ(Exec(app_, "BEGIN INSERT INTO dc VALUES (3, 1); COMMIT; END;"), 2091);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM dc"), "1");
}

// SET CONSTRAINTS changes the mode for the transaction; IMMEDIATE checks
// the deferred rows at once and fails without rolling back.
TEST_F(ConstraintStateTest, SetConstraints) {
  Must(app_, "CREATE TABLE sp (id NUMBER PRIMARY KEY)");
  Must(app_, "CREATE TABLE sc (pid NUMBER CONSTRAINT sc_fk REFERENCES sp DEFERRABLE)");
  EXPECT_EQ(Exec(app_, "INSERT INTO sc VALUES (1)"), 2291);
  Must(app_, "SET CONSTRAINTS ALL DEFERRED");
  Must(app_, "INSERT INTO sc VALUES (1)");
  EXPECT_EQ(Exec(app_, "SET CONSTRAINT app.sc_fk IMMEDIATE"), 2291);
  EXPECT_EQ(app_.ErrorText(), "ORA-02291: integrity constraint (APP.SC_FK) violated - parent key not found\n");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM sc"), "1");
  Must(app_, "INSERT INTO sp VALUES (1)");
  Must(app_, "SET CONSTRAINTS sc_fk IMMEDIATE");
  EXPECT_EQ(Exec(app_, "INSERT INTO sc VALUES (2)"), 2291);
  ASSERT_EQ(app_.Commit(), OCI_SUCCESS) << app_.ErrorText();
  // The mode ends with the transaction.
  EXPECT_EQ(Exec(app_, "INSERT INTO sc VALUES (2)"), 2291);
  Must(app_, "SET CONSTRAINTS ALL DEFERRED");
  Must(app_, "INSERT INTO sc VALUES (2)");
  ASSERT_EQ(app_.Rollback(), OCI_SUCCESS);
  EXPECT_EQ(Exec(app_, "INSERT INTO sc VALUES (2)"), 2291);
  // ALTER SESSION SET CONSTRAINTS holds across transactions.
  Must(app_, "ALTER SESSION SET CONSTRAINTS = DEFERRED");
  Must(app_, "INSERT INTO sc VALUES (3)");
  EXPECT_EQ(app_.Commit(), OCI_ERROR);
  EXPECT_EQ(app_.ErrorCode(), 2091);
  Must(app_, "INSERT INTO sc VALUES (3)");
  EXPECT_EQ(Exec(app_, "ALTER SESSION SET CONSTRAINTS = IMMEDIATE"), 2291);
  Must(app_, "DELETE FROM sc WHERE pid = 3");
  Must(app_, "ALTER SESSION SET CONSTRAINTS = DEFAULT");
  EXPECT_EQ(Exec(app_, "INSERT INTO sc VALUES (3)"), 2291);
  EXPECT_EQ(Exec(app_, "ALTER SESSION SET CONSTRAINTS = LATER"), 2248);
}

}  // namespace
}  // namespace ocitest
