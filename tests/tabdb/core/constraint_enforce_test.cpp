// constraint_enforce_test.cpp - constraints enforced on the rows DML
// writes: CHECK conditions on INSERT, array INSERT, INSERT ... SELECT and
// UPDATE, and Oracle's NULL rule for composite unique keys.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class ConstraintEnforceTest : public OciTest {};

// Inline, out-of-line, named and system-named checks; a NULL result passes;
// the first violated condition is named in ORA-02290.
TEST_F(ConstraintEnforceTest, CheckOnInsertAndUpdate) {
  Must(app_,
       "CREATE TABLE ck (q NUMBER CHECK (q >= 0), s VARCHAR2(5) CONSTRAINT ck_s CHECK (s IN ('A', 'B')),"
       " lo NUMBER, hi NUMBER, CONSTRAINT ck_range CHECK (lo <= hi AND UPPER(s) = s))");
  std::string sys_name = One(app_, "SELECT constraint_name FROM user_constraints WHERE table_name = 'CK'"
                                   " AND constraint_name LIKE 'SYS_C%'");
  EXPECT_EQ(Exec(app_, "INSERT INTO ck (q) VALUES (-1)"), 2290);
  EXPECT_EQ(app_.ErrorText(), "ORA-02290: check constraint (APP." + sys_name + ") violated\n");
  EXPECT_EQ(Exec(app_, "INSERT INTO ck (s) VALUES ('C')"), 2290);
  EXPECT_EQ(app_.ErrorText(), "ORA-02290: check constraint (APP.CK_S) violated\n");
  EXPECT_EQ(Exec(app_, "INSERT INTO ck VALUES (1, 'A', 5, 4)"), 2290);
  EXPECT_EQ(app_.ErrorText(), "ORA-02290: check constraint (APP.CK_RANGE) violated\n");
  // Unknown (NULL) is no violation.
  Must(app_, "INSERT INTO ck VALUES (NULL, NULL, NULL, 4)");
  Must(app_, "INSERT INTO ck VALUES (0, 'B', 1, 2)");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM ck"), "2");
  // UPDATE: the statement fails as a whole.
  EXPECT_EQ(Exec(app_, "UPDATE ck SET q = q - 1"), 2290);
  EXPECT_EQ(One(app_, "SELECT q FROM ck WHERE q IS NOT NULL"), "0");
  EXPECT_EQ(Exec(app_, "UPDATE ck SET hi = 0 WHERE s = 'B'"), 2290);
  EXPECT_EQ(app_.ErrorText(), "ORA-02290: check constraint (APP.CK_RANGE) violated\n");
  Must(app_, "UPDATE ck SET q = q + 1");
  EXPECT_EQ(One(app_, "SELECT q FROM ck WHERE q IS NOT NULL"), "1");
  // ALTER TABLE ... ADD CHECK applies to later statements.
  Must(app_, "ALTER TABLE ck ADD CONSTRAINT ck_q_small CHECK (q < 10)");
  EXPECT_EQ(Exec(app_, "INSERT INTO ck (q) VALUES (10)"), 2290);
  EXPECT_EQ(app_.ErrorText(), "ORA-02290: check constraint (APP.CK_Q_SMALL) violated\n");
}

// A disabled check is not enforced; a check added to a table validates
// its rows (ORA-02293) unless NOVALIDATE is given.
TEST_F(ConstraintEnforceTest, DisabledAndAddedChecks) {
  Must(app_, "CREATE TABLE dk (q NUMBER CONSTRAINT dk_q CHECK (q > 0) DISABLE)");
  Must(app_, "INSERT INTO dk VALUES (-5)");
  EXPECT_EQ(One(app_, "SELECT q FROM dk"), "-5");
  EXPECT_EQ(Exec(app_, "ALTER TABLE dk ADD CONSTRAINT dk_neg CHECK (q > -1)"), 2293);
  EXPECT_EQ(app_.ErrorText(), "ORA-02293: cannot validate (APP.DK_NEG) - check constraint violated\n");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_constraints WHERE constraint_name = 'DK_NEG'"), "0");
  Must(app_, "ALTER TABLE dk ADD CONSTRAINT dk_neg CHECK (q > -1) ENABLE NOVALIDATE");
  EXPECT_EQ(Exec(app_, "INSERT INTO dk VALUES (-2)"), 2290);
  Must(app_, "ALTER TABLE dk ADD CONSTRAINT dk_small CHECK (q < 0)");
}

// INSERT ... SELECT is atomic; an array INSERT keeps the rows before the
// failing one and reports the row's error.
TEST_F(ConstraintEnforceTest, CheckOnMultiRowInserts) {
  Must(app_, "CREATE TABLE src (v NUMBER)");
  for (int v : {3, 2, -1, 4}) Must(app_, "INSERT INTO src VALUES (" + std::to_string(v) + ")");
  Must(app_, "CREATE TABLE pos (v NUMBER CONSTRAINT pos_v CHECK (v > 0))");
  EXPECT_EQ(Exec(app_, "INSERT INTO pos SELECT v FROM src"), 2290);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM pos"), "0");
  Must(app_, "INSERT INTO pos SELECT v FROM src WHERE v > 0");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM pos"), "3");

  Stmt st(app_);
  ASSERT_EQ(st.Prepare("INSERT INTO pos VALUES (:1)"), OCI_SUCCESS);
  int vals[4] = {7, 8, -9, 10};
  OCIBind* b = nullptr;
  ASSERT_EQ(OCIBindByPos(st.h, &b, app_.err, 1, vals, sizeof(int), SQLT_INT, nullptr, nullptr, nullptr, 0,
                         nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(st.Execute(4), OCI_ERROR);
  EXPECT_EQ(app_.ErrorText(), "ORA-02290: check constraint (APP.POS_V) violated\n");
  EXPECT_EQ(Query(app_, "SELECT v FROM pos WHERE v > 5 ORDER BY v"), (std::vector<Row>{{"7"}, {"8"}}));
}

// Composite unique keys: all-NULL keys never conflict, a partly NULL key
// conflicts with an equal partly NULL key (ORA-00001 naming the
// constraint), on INSERT and UPDATE; adding such a key or unique index
// over rows that break the rule fails.
TEST_F(ConstraintEnforceTest, CompositeUniqueKeysFollowOraclesNullRule) {
  Must(app_, "CREATE TABLE uk (a NUMBER, b VARCHAR2(3), CONSTRAINT uk_ab UNIQUE (a, b))");
  Must(app_, "INSERT INTO uk VALUES (NULL, NULL)");
  Must(app_, "INSERT INTO uk VALUES (NULL, NULL)");
  Must(app_, "INSERT INTO uk VALUES (1, NULL)");
  EXPECT_EQ(Exec(app_, "INSERT INTO uk VALUES (1, NULL)"), 1);
  EXPECT_EQ(app_.ErrorText(), "ORA-00001: unique constraint (APP.UK_AB) violated\n");
  Must(app_, "INSERT INTO uk VALUES (NULL, '1')");
  Must(app_, "INSERT INTO uk VALUES (2, NULL)");
  Must(app_, "INSERT INTO uk VALUES (1, 'x')");
  EXPECT_EQ(Exec(app_, "INSERT INTO uk VALUES (1, 'x')"), 1);
  EXPECT_EQ(Exec(app_, "UPDATE uk SET a = 1 WHERE a = 2"), 1);
  EXPECT_EQ(app_.ErrorText(), "ORA-00001: unique constraint (APP.UK_AB) violated\n");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM uk"), "6");
  // A key or unique index added over rows that break the rule fails.
  Must(app_, "CREATE TABLE un (a NUMBER, b VARCHAR2(3), n NUMBER)");
  Must(app_, "INSERT INTO un VALUES (1, NULL, 1)");
  Must(app_, "INSERT INTO un VALUES (1, NULL, 2)");
  EXPECT_EQ(Exec(app_, "ALTER TABLE un ADD CONSTRAINT un_ab UNIQUE (a, b)"), 2299);
  EXPECT_EQ(app_.ErrorText(), "ORA-02299: cannot validate (APP.UN_AB) - duplicate keys found\n");
  EXPECT_EQ(Exec(app_, "CREATE UNIQUE INDEX un_ix ON un (b, a)"), 1452);
  Must(app_, "DELETE FROM un WHERE n = 2");
  Must(app_, "CREATE UNIQUE INDEX un_ix ON un (b, a)");
  EXPECT_EQ(Exec(app_, "INSERT INTO un VALUES (1, NULL, 3)"), 1);
  EXPECT_EQ(app_.ErrorText(), "ORA-00001: unique constraint (APP.UN_IX) violated\n");
  // Dropping the index lifts the rule.
  Must(app_, "DROP INDEX un_ix");
  Must(app_, "INSERT INTO un VALUES (1, NULL, 3)");
}

}  // namespace
}  // namespace ocitest
