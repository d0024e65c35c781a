// script_gaps_test.cpp - what public schema scripts use and the embedded
// database once refused: SYS_CONTEXT and USERENV, the REGEXP_ functions
// with Oracle's match parameters and pattern syntax (through PCRE2), a CHECK
// or DEFAULT naming an unknown function refused when the table is made, the
// dictionary views installers test, parenthesised set-operator branches in
// a view, and the errors Oracle gives first (ORA-00955 before ORA-01408,
// ORA-00942 for a trigger on a missing table).
#include <string>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::ExpectInOrder;
using testsupport::ProcResult;
using testsupport::RunSql;

class ScriptGaps : public testsupport::AppShellTest {
 protected:
  // The rows a query prints under its header line.
  std::string Rows(const std::string& query) {
    ProcResult r = App(query + "\n");
    EXPECT_EQ(r.status, 0) << query << "\n" << r.err;
    size_t nl = r.out.find('\n');
    return nl == std::string::npos ? "" : r.out.substr(nl + 1);
  }
  // The first error a statement gives.
  std::string Error(const std::string& stmt) {
    ProcResult r = App(stmt + "\n");
    size_t at = r.err.find("ORA-");
    return at == std::string::npos ? "no error" : r.err.substr(at, 9);
  }
};

TEST_F(ScriptGaps, SessionContextOfTheLoggedOnUser) {
  EXPECT_EQ(Rows("SELECT SYS_CONTEXT('USERENV', 'SESSION_USER') || ',' || SYS_CONTEXT('userenv',"
                 " 'current_user') || ',' || SYS_CONTEXT('USERENV', 'CURRENT_SCHEMA') || ',' ||"
                 " SYS_CONTEXT('USERENV', 'ISDBA') || ',' || SYS_CONTEXT('USERENV', 'LANGUAGE') FROM dual;"),
            "APP,APP,APP,FALSE,AMERICAN_AMERICA.AL32UTF8\n");
  // CURRENT_SCHEMA follows ALTER SESSION; the session user does not.
  ProcResult r = RunSql("system/manager@" + path_,
                        "ALTER SESSION SET CURRENT_SCHEMA = app;\n"
                        "SELECT SYS_CONTEXT('USERENV', 'CURRENT_SCHEMA') || '/' ||"
                        " SYS_CONTEXT('USERENV', 'SESSION_USER') || '/' ||"
                        " CASE WHEN SYS_CONTEXT('USERENV', 'CURRENT_SCHEMAID') ="
                        " (SELECT TO_CHAR(user_id) FROM all_users WHERE username = 'APP') THEN 'id' END"
                        " x FROM dual;\n");
  EXPECT_EQ(r.out, "X\nAPP/SYSTEM/id\n") << r.err;
  // Unset application values are NULL; the length argument cuts the value.
  EXPECT_EQ(Rows("SELECT NVL(SYS_CONTEXT('USERENV', 'MODULE'), '-') || NVL(SYS_CONTEXT('USERENV',"
                 " 'IP_ADDRESS'), '-') || SYS_CONTEXT('USERENV', 'DB_NAME', 2) ||"
                 " NVL(SYS_CONTEXT('MY_CTX', 'X'), '-') FROM dual;"),
            "--TA-\n");
  EXPECT_EQ(Rows("SELECT CASE WHEN USERENV('SID') > 0 AND SYS_CONTEXT('USERENV', 'SID') = TO_CHAR(USERENV('SID'))"
                 " THEN 'same' END, USERENV('LANG') FROM dual;"),
            "same|US\n");
  EXPECT_EQ(Error("SELECT SYS_CONTEXT('USERENV', 'NO_SUCH_THING') FROM dual;"), "ORA-02003");
  EXPECT_EQ(Error("SELECT USERENV('CURRENT_SCHEMA') FROM dual;"), "ORA-02003");
}

TEST_F(ScriptGaps, RegularExpressionsWithOracleSyntaxAndMatchParameters) {
  struct Case {
    const char* expr;
    const char* value;
  };
  const Case cases[] = {
      // POSIX bracket classes, intervals, Perl-style classes.
      {"REGEXP_SUBSTR('abc123def', '[[:digit:]]+')", "123"},
      {"REGEXP_SUBSTR('ab  cd', '[[:space:]]{2}c')", "  c"},
      {"REGEXP_SUBSTR('x9y', '\\d')", "9"},
      // Inside brackets a backslash is itself, not an escape.
      {"REGEXP_SUBSTR('a\\b', '[\\]')", "\\"},
      {"REGEXP_SUBSTR('a]b', '[]]')", "]"},
      {"REGEXP_SUBSTR('aeb', '[[=e=]]')", "e"},
      // Occurrence, position, sub-expression.
      {"REGEXP_SUBSTR('a1b22c333', '[0-9]+', 1, 3)", "333"},
      {"REGEXP_SUBSTR('a1b22c333', '[0-9]+', 4)", "22"},
      {"REGEXP_SUBSTR('john.smith@x.org', '([a-z]+)\\.([a-z]+)@', 1, 1, 'i', 2)", "smith"},
      {"NVL(REGEXP_SUBSTR('abc', 'z'), 'none')", "none"},
      {"REGEXP_INSTR('banana', 'an', 1, 2)", "4"},
      {"REGEXP_INSTR('banana', 'an', 1, 2, 1)", "6"},
      {"REGEXP_INSTR('h\xC3\xA9llo', 'l')", "3"},
      {"REGEXP_INSTR('banana', 'x')", "0"},
      {"REGEXP_COUNT('banana', 'a')", "3"},
      {"REGEXP_COUNT('banana', 'a', 3)", "2"},
      {"REGEXP_COUNT('ABab', 'a', 1, 'i')", "2"},
      // Replacement: every occurrence, one occurrence, back references.
      {"REGEXP_REPLACE('a.b.c', '\\.', '-')", "a-b-c"},
      {"REGEXP_REPLACE('a.b.c', '\\.', '-', 1, 2)", "a.b-c"},
      {"REGEXP_REPLACE('John Smith', '(\\w+) (\\w+)', '\\2, \\1')", "Smith, John"},
      {"REGEXP_REPLACE('aaa', 'a', NULL)", "<gone>"},
      {"REGEXP_REPLACE('abc', NULL, 'x')", "abc"},
      {"REGEXP_REPLACE('abab', '(ab)\\1', 'X')", "X"},
      // Match parameters: case, newline for '.', multi-line anchors, blanks.
      {"CASE WHEN REGEXP_LIKE('ABC', 'abc', 'i') THEN 'y' ELSE 'n' END", "y"},
      {"CASE WHEN REGEXP_LIKE('ABC', 'abc', 'ic') THEN 'y' ELSE 'n' END", "n"},
      {"CASE WHEN REGEXP_LIKE('a' || CHR(10) || 'b', 'a.b') THEN 'y' ELSE 'n' END", "n"},
      {"CASE WHEN REGEXP_LIKE('a' || CHR(10) || 'b', 'a.b', 'n') THEN 'y' ELSE 'n' END", "y"},
      {"REGEXP_COUNT('a' || CHR(10) || 'a', '^a')", "1"},
      {"REGEXP_COUNT('a' || CHR(10) || 'a', '^a', 1, 'm')", "2"},
      {"CASE WHEN REGEXP_LIKE('abc', 'a b c', 'x') THEN 'y' ELSE 'n' END", "y"},
      // '$' is the very end without 'm'.
      {"CASE WHEN REGEXP_LIKE('a' || CHR(10), 'a$') THEN 'y' ELSE 'n' END", "n"},
      // Leftmost-first: the first alternative that matches wins.
      {"REGEXP_SUBSTR('ab', 'a|ab')", "a"},
      // A literal '*' at the start, a '{' that opens no interval.
      {"REGEXP_SUBSTR('2*3', '*3')", "*3"},
      {"REGEXP_SUBSTR('a{b', 'a{b')", "a{b"},
      // NULL source or pattern: NULL.
      {"NVL(REGEXP_SUBSTR(NULL, 'a'), 'null')", "null"},
      {"NVL(TO_CHAR(REGEXP_COUNT('a', NULL)), 'null')", "null"},
  };
  for (const Case& c : cases) {
    std::string got = Rows(std::string("SELECT NVL(TO_CHAR(") + c.expr + "), '<gone>') FROM dual;");
    EXPECT_EQ(got, std::string(c.value) + "\n") << c.expr;
  }
  EXPECT_EQ(Error("SELECT REGEXP_SUBSTR('x', '(a') FROM dual;"), "ORA-12725");
  EXPECT_EQ(Error("SELECT REGEXP_SUBSTR('x', 'a)') FROM dual;"), "ORA-12725");
  EXPECT_EQ(Error("SELECT REGEXP_SUBSTR('x', '[a') FROM dual;"), "ORA-12726");
  EXPECT_EQ(Error("SELECT REGEXP_SUBSTR('x', '(a)\\2') FROM dual;"), "ORA-12727");
  EXPECT_EQ(Error("SELECT REGEXP_SUBSTR('x', '[z-a]') FROM dual;"), "ORA-12728");
  EXPECT_EQ(Error("SELECT REGEXP_SUBSTR('x', '[[:nope:]]') FROM dual;"), "ORA-12729");
  EXPECT_EQ(Error("SELECT REGEXP_SUBSTR('x', 'a{3,1}') FROM dual;"), "ORA-12732");
  EXPECT_EQ(Error("SELECT REGEXP_SUBSTR('x', RPAD('a', 513, 'a')) FROM dual;"), "ORA-12733");
  EXPECT_EQ(Error("SELECT REGEXP_SUBSTR('x', 'a', 0) FROM dual;"), "ORA-01428");
  EXPECT_EQ(Error("SELECT REGEXP_INSTR('x', 'a', 1, 0) FROM dual;"), "ORA-01428");
  EXPECT_EQ(Error("SELECT REGEXP_COUNT('x', 'a', 1, 'q') FROM dual;"), "ORA-01760");
}

TEST_F(ScriptGaps, RegexpLikeInWhereAndInACheckConstraint) {
  ProcResult r = App(
      "CREATE TABLE people (id NUMBER PRIMARY KEY, email VARCHAR2(60)\n"
      "  CONSTRAINT people_email_ck CHECK (REGEXP_LIKE(email, '^[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}$')));\n"
      "INSERT INTO people VALUES (1, 'ann@example.com');\n"
      "INSERT INTO people VALUES (2, NULL);\n"
      "INSERT INTO people VALUES (3, 'not an address');\n"
      "INSERT INTO people VALUES (4, 'Bo.X@Mail.Example.ORG');\n"
      "SELECT id FROM people WHERE REGEXP_LIKE(email, 'example', 'i') ORDER BY id;\n"
      "SELECT id FROM people WHERE NOT REGEXP_LIKE(email, '^ann') ORDER BY id;\n");
  EXPECT_EQ(r.out, "ID\n1\n4\nID\n4\n");
  ExpectInOrder(r.err, {"ORA-02290: check constraint (APP.PEOPLE_EMAIL_CK) violated"});
}

TEST_F(ScriptGaps, UnknownFunctionsAreRefusedWhenTheTableIsMade) {
  EXPECT_EQ(Error("CREATE TABLE t1 (a NUMBER CHECK (no_such_fn(a) > 0));"), "ORA-00904");
  EXPECT_EQ(Error("CREATE TABLE t2 (a NUMBER, CONSTRAINT t2_ck CHECK (UPPER(no_fn2(a)) = 'X'));"),
            "ORA-00904");
  EXPECT_EQ(Error("CREATE TABLE t3 (a NUMBER DEFAULT no_such_fn(1));"), "ORA-00904");
  ProcResult r = App(
      "CREATE TABLE t4 (a VARCHAR2(30) DEFAULT SYS_CONTEXT('USERENV', 'SESSION_USER'),"
      " b NUMBER CHECK (MOD(b, 2) = 0));\n"
      "ALTER TABLE t4 ADD c NUMBER DEFAULT not_here();\n"
      "ALTER TABLE t4 ADD CONSTRAINT t4_ck CHECK (nor_here(b) = 1);\n"
      "INSERT INTO t4 (b) VALUES (2);\n"
      "SELECT a FROM t4;\n"
      "SELECT COUNT(*) FROM user_tables WHERE table_name IN ('T1', 'T2', 'T3');\n"
      "SELECT COUNT(*) FROM user_constraints WHERE constraint_name = 'T4_CK';\n");
  EXPECT_EQ(r.out, "A\nAPP\nCOUNT(*)\n0\nCOUNT(*)\n0\n");
  ExpectInOrder(r.err, {"ORA-00904: \"NOT_HERE\": invalid identifier",
                        "ORA-00904: \"NOR_HERE\": invalid identifier"});
}

TEST_F(ScriptGaps, DictionaryViewsInstallersLookAt) {
  ProcResult r = App(
      "CREATE TABLE orders (id NUMBER PRIMARY KEY, total NUMBER);\n"
      "CREATE OR REPLACE TRIGGER orders_bi BEFORE INSERT OR UPDATE ON orders FOR EACH ROW\n"
      "WHEN (new.total < 0)\n"
      "BEGIN\n  :new.total := 0;\nEND;\n/\n"
      "CREATE OR REPLACE TYPE tag_list AS TABLE OF VARCHAR2(30);\n/\n"
      "CREATE OR REPLACE TYPE shape AS OBJECT (sides NUMBER) NOT FINAL;\n/\n"
      "SELECT trigger_name, trigger_type, triggering_event, table_owner, base_object_type, table_name,"
      " when_clause, status, action_type FROM user_triggers;\n"
      "SELECT type_name, typecode, final FROM user_types ORDER BY type_name;\n"
      "SELECT COUNT(*) FROM user_scheduler_jobs;\n"
      "SELECT COUNT(*) FROM all_scheduler_jobs;\n"
      "SELECT role FROM session_roles;\n"
      "SELECT COUNT(*) FROM user_tablespaces;\n"
      "SELECT COUNT(*) FROM dba_tablespaces;\n");
  EXPECT_EQ(r.out,
            "TRIGGER_NAME|TRIGGER_TYPE|TRIGGERING_EVENT|TABLE_OWNER|BASE_OBJECT_TYPE|TABLE_NAME|"
            "WHEN_CLAUSE|STATUS|ACTION_TYPE\n"
            "ORDERS_BI|BEFORE EACH ROW|INSERT OR UPDATE|APP|TABLE|ORDERS|new.total < 0|ENABLED|PL/SQL     \n"
            "TYPE_NAME|TYPECODE|FINAL\nSHAPE|OBJECT|NO\nTAG_LIST|COLLECTION|YES\n"
            "COUNT(*)\n0\nCOUNT(*)\n0\nROLE\nCOUNT(*)\n5\n");
  // DBA_ views are a DBA's; SESSION_ views follow the grants.
  ExpectInOrder(r.err, {"ORA-00942"});
  r = RunSql("system/manager@" + path_,
             "GRANT CONNECT, RESOURCE TO app;\n"
             "SELECT tablespace_name, contents FROM dba_tablespaces WHERE tablespace_name IN ('USERS', 'TEMP')"
             " ORDER BY 1;\n"
             "SELECT COUNT(*) FROM session_privs WHERE privilege = 'SELECT ANY TABLE';\n");
  EXPECT_EQ(r.out, "TABLESPACE_NAME|CONTENTS\nTEMP|TEMPORARY\nUSERS|PERMANENT\nCOUNT(*)\n1\n") << r.err;
  EXPECT_EQ(Rows("SELECT role FROM session_roles ORDER BY 1;"), "CONNECT\nRESOURCE\n");
  EXPECT_EQ(Rows("SELECT privilege FROM session_privs WHERE privilege IN ('CREATE SESSION', 'CREATE TABLE',"
                 " 'SELECT ANY TABLE') ORDER BY 1;"),
            "CREATE SESSION\nCREATE TABLE\n");
}

TEST_F(ScriptGaps, TriggerRowsReadFromTheirHeaders) {
  ProcResult r = App(
      "CREATE TABLE acct (id NUMBER, bal NUMBER);\n"
      "CREATE VIEW acct_v AS SELECT id, bal FROM acct;\n"
      "CREATE OR REPLACE TRIGGER acct_aud AFTER DELETE ON app.acct\n"
      "REFERENCING OLD AS o NEW AS n\n"
      "BEGIN NULL; END;\n/\n"
      "CREATE OR REPLACE TRIGGER acct_io INSTEAD OF INSERT ON acct_v FOR EACH ROW\n"
      "BEGIN INSERT INTO acct VALUES (:new.id, :new.bal); END;\n/\n"
      "CREATE OR REPLACE TRIGGER acct_cmp FOR INSERT OR UPDATE ON acct COMPOUND TRIGGER\n"
      "  BEFORE STATEMENT IS BEGIN NULL; END BEFORE STATEMENT;\n"
      "END acct_cmp;\n/\n"
      "ALTER TRIGGER acct_aud DISABLE;\n"
      "SELECT trigger_name, trigger_type, triggering_event, base_object_type, table_name, referencing_names,"
      " status, before_statement, after_statement FROM user_triggers ORDER BY 1;\n"
      "SELECT trigger_body FROM user_triggers WHERE trigger_name = 'ACCT_IO';\n");
  EXPECT_EQ(r.out,
            "TRIGGER_NAME|TRIGGER_TYPE|TRIGGERING_EVENT|BASE_OBJECT_TYPE|TABLE_NAME|REFERENCING_NAMES|STATUS|"
            "BEFORE_STATEMENT|AFTER_STATEMENT\n"
            "ACCT_AUD|AFTER STATEMENT|DELETE|TABLE|ACCT|REFERENCING OLD AS o NEW AS n|DISABLED|NO|YES\n"
            "ACCT_CMP|COMPOUND|INSERT OR UPDATE|TABLE|ACCT|REFERENCING NEW AS NEW OLD AS OLD|ENABLED|NO|NO\n"
            "ACCT_IO|INSTEAD OF|INSERT|VIEW|ACCT_V|REFERENCING NEW AS NEW OLD AS OLD|ENABLED|NO|NO\n"
            "TRIGGER_BODY\nBEGIN INSERT INTO acct VALUES (:new.id, :new.bal); END;\n")
      << r.err;
}

TEST_F(ScriptGaps, ViewsOfParenthesisedSetOperatorBranches) {
  ProcResult r = App(
      "CREATE TABLE a (x NUMBER);\n"
      "CREATE TABLE b (x NUMBER);\n"
      "INSERT INTO a VALUES (1);\n"
      "INSERT INTO b VALUES (2);\n"
      "CREATE VIEW ab AS (SELECT x FROM a) UNION ALL (SELECT x FROM b);\n"
      "CREATE VIEW only_a AS (SELECT x FROM a);\n"
      "SELECT x FROM ab ORDER BY x;\n"
      "SELECT text FROM user_views ORDER BY view_name;\n");
  EXPECT_EQ(r.out, "X\n1\n2\nTEXT\n(SELECT x FROM a) UNION ALL (SELECT x FROM b)\nSELECT x FROM a\n") << r.err;
}

TEST_F(ScriptGaps, TheErrorOracleGivesFirst) {
  ProcResult r = App(
      "CREATE TABLE t (a NUMBER, b NUMBER);\n"
      "CREATE INDEX t_a ON t (a);\n"
      "CREATE INDEX t_a ON t (a);\n"
      "CREATE INDEX t_a ON t (b);\n"
      "CREATE INDEX t_a2 ON t (a);\n"
      "CREATE TRIGGER t_missing BEFORE INSERT ON no_table FOR EACH ROW BEGIN NULL; END;\n/\n"
      "CREATE TRIGGER t_ok BEFORE INSERT ON t FOR EACH ROW BEGIN NULL; END;\n/\n"
      "CREATE TRIGGER t_logon AFTER LOGON ON SCHEMA BEGIN NULL; END;\n/\n"
      "SELECT object_name, status FROM user_objects WHERE object_type = 'TRIGGER' ORDER BY 1;\n");
  ExpectInOrder(r.err, {"ORA-00955", "ORA-00955", "ORA-01408", "ORA-00942"});
  EXPECT_EQ(r.out, "OBJECT_NAME|STATUS\nT_LOGON|VALID\nT_OK|VALID\n");
}

}  // namespace
