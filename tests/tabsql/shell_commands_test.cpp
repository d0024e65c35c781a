// shell_commands_test.cpp - tabsql run as a process: its own commands
// (SET, SHOW, PROMPT, DEFINE and substitution, ACCEPT, nested scripts,
// SPOOL, CONNECT, EXEC, WHENEVER, EXIT), their errors, and output and
// errors kept in program order.
#include <sys/stat.h>

#include <string>

#include "support.h"
#include <gtest/gtest.h>

namespace {

using testsupport::ProcResult;
using testsupport::RunSql;

class ShellCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("cmd.db");
    testsupport::CreateDatabase(path_);
    ProcResult r = RunSql("system/manager@" + path_,
                          "CREATE USER app IDENTIFIED BY app;\n"
                          "CREATE TABLE app.t (n NUMBER);\n"
                          "INSERT INTO app.t VALUES (1);\n");
    ASSERT_EQ(r.status, 0) << r.err;
  }
  ProcResult App(const std::string& script) { return RunSql("app/app@" + path_, script); }
  // Runs `script` from a file, with `input` on standard input.
  ProcResult File(const std::string& script, const std::string& input) {
    testsupport::WriteFile(dir_.file("script.sql"), script);
    return testsupport::Run({TABSQL_PATH, "-S", "app/app@" + path_, "@" + dir_.file("script.sql")},
                            {}, input);
  }
  // Runs the script file `name` with standard output and error together.
  ProcResult Together(const std::string& name, const std::string& input = "") {
    return testsupport::Run(
        {"/bin/sh", "-c", std::string(TABSQL_PATH) + " -S app/app@" + path_ + " @" + name + " 2>&1"},
        {}, input, dir_.path());
  }

  testsupport::TempDir dir_;
  std::string path_;
};

TEST_F(ShellCommandsTest, SettingsShapeTheOutput) {
  ProcResult r = App(
      "set feedback on\n"
      "SELECT n FROM t;\n"
      "INSERT INTO t VALUES (2);\n"
      "SET FEED 3 HEADING OFF\n"
      "SELECT n FROM t ORDER BY n;\n"
      "SELECT n FROM t WHERE n > 5;\n"
      "set feedback off heading on\n"
      "SHOW USER\n"
      "PROMPT done &\n"
      "set pagesize 0 linesize 200 trimspool on verify off termout on\n"
      "SELECT n FROM t WHERE n = 1;\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "N\n1\n\n1 row selected.\n\n"
            "1 row created.\n\n"
            "1\n2\n\nno rows selected\n\n"
            "USER is \"APP\"\n"
            "done &\n"
            "1\n");
  EXPECT_EQ(r.err, "");
}

// Unknown commands and options are reported (not ignored), count as
// failures, and the shell goes on; bad values name the option.
TEST_F(ShellCommandsTest, UnknownCommandsAndOptions) {
  ProcResult r = App(
      "xyzzy plugh and more\n"
      "set frobnicate on\n"
      "set echo maybe\n"
      "show nonsense\n"
      "/\n"
      "PROMPT still here\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "still here\n");
  EXPECT_EQ(r.err,
            "SP2-0734: unknown command beginning \"xyzzy plug...\" - rest of line ignored.\n"
            "SP2-0158: unknown SET option beginning \"frobnicate\"\n"
            "SP2-0265: echo must be set ON or OFF\n"
            "SP2-0735: unknown SHOW option beginning \"NONSENSE\"\n"
            "SP2-0103: Nothing in SQL buffer to run.\n");
}

TEST_F(ShellCommandsTest, SubstitutionDefineAndAccept) {
  ProcResult r = File(
      "DEFINE tab = t\n"
      "def owner=\"APP\"\n"
      "SELECT n FROM &owner..&tab WHERE n = &&val;\n"
      "PROMPT val=&val owner=&owner\n"
      "DEFINE owner\n"
      "UNDEFINE owner\n"
      "DEFINE owner\n"
      "ACCEPT who PROMPT 'Who? ' DEFAULT nobody\n"
      "PROMPT who=&who\n"
      "ACCEPT gone DEFAULT 'fallback'\n"
      "PROMPT gone=&gone\n"
      "SET DEFINE OFF\n"
      "PROMPT &literal\n"
      "SET SCAN ON\n"
      "PROMPT scan=&who\n"
      "SET SCAN OFF\n"
      "PROMPT &again\n",
      "1\nalice\n");
  EXPECT_EQ(r.status, 1);  // DEFINE of an undefined variable
  EXPECT_EQ(r.out,
            "Enter value for val: "
            "old   1: SELECT n FROM &owner..&tab WHERE n = &&val\n"
            "new   1: SELECT n FROM APP.t WHERE n = 1\n"
            "N\n1\n"
            "val=1 owner=APP\n"
            "DEFINE OWNER           = \"APP\" (CHAR)\n"
            "Who? who=alice\n"
            "Enter value for gone: \n"
            "gone=fallback\n"
            "&literal\n"
            "scan=alice\n"
            "&again\n");
  EXPECT_EQ(r.err, "SP2-0135: symbol owner is UNDEFINED\n");
}

// @ runs a script (".sql" added), @@ relative to the calling script, with
// &1 &2 as its arguments; SPOOL copies the output; errors come out in
// order with the output around them.
TEST_F(ShellCommandsTest, NestedScriptsSpoolAndOrder) {
  ASSERT_EQ(mkdir(dir_.file("sub").c_str(), 0700), 0);
  testsupport::WriteFile(dir_.file("sub/child.sql"),
                         "PROMPT child &1 &2\n"
                         "@@grand\n");
  testsupport::WriteFile(dir_.file("sub/grand.sql"), "SELECT nosuch FROM t;\nPROMPT grand\n");
  testsupport::WriteFile(dir_.file("main.sql"),
                         "SPOOL run.txt\n"
                         "PROMPT before\n"
                         "@sub/child one 'two words'\n"
                         "PROMPT after\n"
                         "SPOOL OFF\n"
                         "PROMPT not spooled\n"
                         "@nosuch\n");
  ProcResult r = Together("main.sql");
  EXPECT_EQ(r.status, 1);
  std::string run =
      "before\n"
      "child one two words\n"
      "ERROR at line 1:\n"
      "ORA-00904: \"NOSUCH\": invalid identifier\n"
      "grand\n"
      "after\n";
  EXPECT_EQ(r.out, run + "not spooled\nSP2-0310: unable to open file \"nosuch.sql\"\n");
  EXPECT_EQ(testsupport::ReadFile(dir_.file("run.txt")), run);
}

TEST_F(ShellCommandsTest, PlsqlUnitsExecAndConnect) {
  ProcResult r = App(
      "BEGIN\n"
      "  NULL;\n"
      "  NULL;\n"
      "END;\n"
      "/\n"
      "EXEC NULL\n"
      "SET FEEDBACK ON\n"
      "EXECUTE NULL;\n"
      "CONNECT system/manager\n"
      "SHOW USER\n"
      "CONNECT app/wrong\n"
      "SELECT 1 FROM dual;\n"
      "CONNECT app/app@" + path_ + "\n"
      "SHOW USER\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "PL/SQL procedure successfully completed.\n\n"
            "USER is \"SYSTEM\"\n"
            "USER is \"APP\"\n");
  EXPECT_EQ(r.err,
            "ERROR:\nORA-01017: invalid username/password; logon denied\n"
            "SP2-0640: Not connected\n");
}

// WHENEVER SQLERROR EXIT ends the shell at the first failing statement with
// the status asked for, rolling back when asked; EXIT n ends with n.
TEST_F(ShellCommandsTest, WheneverAndExitStatus) {
  ProcResult r = App(
      "WHENEVER SQLERROR EXIT 7 ROLLBACK\n"
      "INSERT INTO t VALUES (10);\n"
      "SELECT nosuch FROM t;\n"
      "PROMPT not reached\n");
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.out, "");
  r = App("WHENEVER SQLERROR EXIT SQL.SQLCODE\nINSERT INTO t VALUES (11);\nSELECT x FROM nosuch;\n");
  EXPECT_EQ(r.status, 942 & 255);
  r = App("whenever sqlerror exit\nwhenever sqlerror continue\nSELECT x FROM nosuch;\nexit 3\n");
  EXPECT_EQ(r.status, 3);
  r = App("INSERT INTO t VALUES (12);\nEXIT ROLLBACK\nINSERT INTO t VALUES (13);\n");
  EXPECT_EQ(r.status, 0);
  r = App("SELECT n FROM t ORDER BY n;\nEXIT FAILURE\n");
  EXPECT_EQ(r.status, 1);
  // 10 rolled back by WHENEVER, 11 committed (default COMMIT), 12 rolled
  // back by EXIT ROLLBACK, 13 never run.
  EXPECT_EQ(r.out, "N\n1\n11\n");
}

}  // namespace

namespace {

// DESCRIBE of another schema's table the user may not see answers as for
// a missing one; granted, it is described.
TEST_F(ShellCommandsTest, DescribeOfAnInvisibleTableAnswersAsAMissingOne) {
  ProcResult r = RunSql("system/manager@" + path_,
                        "CREATE USER sec IDENTIFIED BY sec;\n"
                        "CREATE TABLE sec.secret (ssn NUMBER NOT NULL);\n");
  ASSERT_EQ(r.status, 0) << r.err;
  ProcResult hidden = App("DESC sec.secret\n");
  ProcResult missing = App("DESC sec.nosuch\n");
  EXPECT_EQ(hidden.err, "ERROR:\nORA-04043: object sec.secret does not exist\n");
  EXPECT_EQ(missing.err, "ERROR:\nORA-04043: object sec.nosuch does not exist\n");
  EXPECT_EQ(hidden.out, missing.out);
  r = RunSql("sec/sec@" + path_, "GRANT SELECT ON secret TO app;\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(App("DESC sec.secret\n").out.find("SSN"), std::string::npos);
}

}  // namespace
