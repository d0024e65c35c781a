// sequence_test.cpp - sequences through the SQL shell: CREATE / ALTER /
// DROP SEQUENCE, NEXTVAL and CURRVAL in queries and DML, the per-row rule,
// bounds and cycling, USER_SEQUENCES and the Oracle errors of misuse.
#include <string>

#include "support.h"
#include <gtest/gtest.h>

namespace {

using testsupport::ProcResult;
using testsupport::RunSql;

class SequenceTest : public testsupport::AppShellTest {};

// NEXTVAL in a query, in INSERT VALUES (twice in one row: one value), in
// INSERT ... SELECT (one value per row) and in UPDATE SET; CURRVAL follows.
// An INSERT ... SELECT from its own table copies the rows once.
TEST_F(SequenceTest, NextvalPerRowAndCurrval) {
  ProcResult r = App(
      "CREATE SEQUENCE s START WITH 10 INCREMENT BY 5;\n"
      "SELECT s.NEXTVAL FROM dual;\n"
      "SELECT s.CURRVAL, app.s.CURRVAL FROM dual;\n"
      "CREATE TABLE t (a NUMBER, b NUMBER);\n"
      "INSERT INTO t VALUES (s.NEXTVAL, s.NEXTVAL);\n"
      "CREATE TABLE src (x NUMBER);\n"
      "INSERT INTO src VALUES (1);\n"
      "INSERT INTO src VALUES (2);\n"
      "INSERT INTO t SELECT s.NEXTVAL, 0 FROM src;\n"
      "UPDATE t SET b = s.NEXTVAL WHERE b = 0;\n"
      "INSERT INTO t SELECT a + 100, b FROM t;\n"
      "SELECT a, b FROM t ORDER BY a;\n"
      "SELECT s.CURRVAL FROM dual;\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "NEXTVAL\n10\n"
            "CURRVAL|CURRVAL\n10|10\n"
            "A|B\n15|15\n20|30\n25|35\n115|15\n120|30\n125|35\n"
            "CURRVAL\n35\n");
}

// A NOCYCLE sequence stops at its bound with ORA-08004; a CYCLE one
// restarts at MINVALUE. CURRVAL before any NEXTVAL of the session fails.
TEST_F(SequenceTest, BoundsCycleAndErrors) {
  ProcResult r = App(
      "CREATE SEQUENCE up MAXVALUE 2 NOCACHE;\n"
      "SELECT up.CURRVAL FROM dual;\n"
      "SELECT up.NEXTVAL FROM dual;\n"
      "SELECT up.NEXTVAL FROM dual;\n"
      "SELECT up.NEXTVAL FROM dual;\n"
      "CREATE SEQUENCE cyc MINVALUE 1 MAXVALUE 3 CYCLE NOCACHE;\n"
      "CREATE TABLE g (n NUMBER);\n"
      "INSERT INTO g VALUES (cyc.NEXTVAL);\n"
      "INSERT INTO g VALUES (cyc.NEXTVAL);\n"
      "INSERT INTO g VALUES (cyc.NEXTVAL);\n"
      "INSERT INTO g VALUES (cyc.NEXTVAL);\n"
      "SELECT n FROM g;\n"
      "CREATE SEQUENCE down INCREMENT BY -1 MINVALUE -1 MAXVALUE 0 NOCACHE;\n"
      "SELECT down.NEXTVAL FROM dual;\n"
      "SELECT down.NEXTVAL FROM dual;\n"
      "SELECT down.NEXTVAL FROM dual;\n"
      "SELECT nosuch.NEXTVAL FROM dual;\n"
      "CREATE SEQUENCE up;\n"
      "SELECT n FROM g WHERE n = up.CURRVAL;\n"
      "CREATE SEQUENCE z INCREMENT BY 0;\n"
      "CREATE SEQUENCE z MINVALUE 5 MAXVALUE 5;\n"
      "CREATE SEQUENCE z START WITH 0;\n"
      "CREATE SEQUENCE z MAXVALUE 10 START WITH 11;\n"
      "CREATE SEQUENCE z MAXVALUE 10 CYCLE;\n"
      "ALTER SEQUENCE up START WITH 5;\n"
      "DROP SEQUENCE nosuch;\n");
  EXPECT_EQ(r.status, 1);
  // The shell prints a query's heading before a row's error.
  EXPECT_EQ(r.out,
            "CURRVAL\nNEXTVAL\n1\nNEXTVAL\n2\nNEXTVAL\nN\n1\n2\n3\n1\nNEXTVAL\n0\nNEXTVAL\n-1\n"
            "NEXTVAL\n");
  const char* errors[] = {
      "ORA-08002: sequence UP.CURRVAL is not yet defined in this session",
      "ORA-08004: sequence UP.NEXTVAL exceeds MAXVALUE and cannot be instantiated",
      "ORA-08004: sequence DOWN.NEXTVAL goes below MINVALUE and cannot be instantiated",
      "ORA-02289: sequence does not exist",
      "ORA-00955: name is already used by an existing object",
      "ORA-02287: sequence number not allowed here",
      "ORA-04002: INCREMENT must be a nonzero integer",
      "ORA-04004: MINVALUE must be less than MAXVALUE",
      "ORA-04006: START WITH cannot be less than MINVALUE",
      "ORA-04008: START WITH cannot be more than MAXVALUE",
      "ORA-04013: number to CACHE must be less than one cycle",
      "ORA-02283: cannot alter starting sequence number",
  };
  size_t from = 0;
  for (const char* e : errors) {
    size_t at = r.err.find(e, from);
    EXPECT_NE(at, std::string::npos) << e << "\n" << r.err;
    if (at != std::string::npos) from = at;
  }
}

// USER_SEQUENCES shows the options and LAST_NUMBER as Oracle keeps it (the
// value after the cached block; the next value for NOCACHE); values persist
// across sessions; ALTER ... RESTART and DROP.
TEST_F(SequenceTest, DictionaryPersistenceAlterDrop) {
  ProcResult r = App(
      "CREATE SEQUENCE c INCREMENT BY 10 START WITH 500 CACHE 20;\n"
      "CREATE SEQUENCE n NOCACHE ORDER;\n"
      "CREATE SEQUENCE d INCREMENT BY -1;\n"
      "SELECT c.NEXTVAL, n.NEXTVAL FROM dual;\n");
  EXPECT_EQ(r.status, 0) << r.err;
  r = App(
      "SELECT sequence_name, min_value, max_value, increment_by, cycle_flag, order_flag, "
      "cache_size, last_number FROM user_sequences;\n"
      "SELECT c.NEXTVAL, n.NEXTVAL FROM dual;\n"
      "ALTER SEQUENCE n RESTART START WITH 100 MAXVALUE 1000 CYCLE CACHE 5;\n"
      "SELECT n.NEXTVAL FROM dual;\n"
      "ALTER SEQUENCE c RESTART;\n"
      "SELECT c.NEXTVAL FROM dual;\n"
      "DROP SEQUENCE d;\n"
      "SELECT sequence_name, max_value, cycle_flag, cache_size FROM user_sequences;\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "SEQUENCE_NAME|MIN_VALUE|MAX_VALUE|INCREMENT_BY|CYCLE_FLAG|ORDER_FLAG|CACHE_SIZE|"
            "LAST_NUMBER\n"
            "C|1|9999999999999999999999999999|10|N|N|20|700\n"
            "N|1|9999999999999999999999999999|1|N|Y|0|2\n"
            "D|-999999999999999999999999999|-1|-1|N|N|20|-1\n"
            "NEXTVAL|NEXTVAL\n510|2\n"
            "NEXTVAL\n100\n"
            "NEXTVAL\n1\n"
            "SEQUENCE_NAME|MAX_VALUE|CYCLE_FLAG|CACHE_SIZE\n"
            "C|9999999999999999999999999999|N|20\n"
            "N|1000|Y|5\n");
}

}  // namespace
