// dba_test.cpp - the programs run as a DBA runs them: one table exported or
// restored from a full dump with TABLES=, passwords asked for on a terminal
// (a pseudo-terminal here) or read from a pipe and hidden from the process
// list, parameter files, and progress dots with FEEDBACK=.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::RunSql;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

// Tables with LONG or LOB columns have one blank less after "table".
std::string ExpLine(const std::string& name, int rows, bool lob = false) {
  char line[128];
  std::snprintf(line, sizeof line, ". . exporting table%s%30s %10d rows exported\n",
                lob ? " " : "  ", name.c_str(), rows);
  return line;
}

std::string ImpLine(const std::string& name, int rows) {
  char line[128];
  std::snprintf(line, sizeof line, ". . importing table  %30s %10d rows imported\n", name.c_str(), rows);
  return line;
}

// What a program wrote on a pseudo-terminal, and how it ended.
struct TtyResult {
  int status = -1;
  std::string screen;
};

// Runs argv on a new pseudo-terminal (its controlling terminal and its
// standard input, output and error); each time the screen shows the next
// `prompts` entry, the matching `answers` entry is typed.
TtyResult RunOnTty(const std::vector<std::string>& argv, const std::vector<std::string>& prompts,
                   const std::vector<std::string>& answers) {
  std::vector<std::string> env = testsupport::ChildEnvironment({kNls});
  std::vector<std::string> args = argv;
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    std::vector<char*> a = testsupport::Pointers(args), e = testsupport::Pointers(env);
    execve(a[0], a.data(), e.data());
    _exit(127);
  }
  TtyResult r;
  if (pid < 0) return r;
  size_t next = 0, seen = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    if (next < prompts.size()) {
      size_t at = r.screen.find(prompts[next], seen);
      if (at != std::string::npos) {
        seen = at + prompts[next].size();
        std::string line = answers[next++];
        if (write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
        continue;
      }
    }
    struct pollfd p = {master, POLLIN, 0};
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[4096];
    ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;  // EIO once the child has closed the terminal
    r.screen.append(buf, static_cast<size_t>(n));
  }
  int st = 0;
  waitpid(pid, &st, 0);
  close(master);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
  return r;
}

class DbaRun : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    testsupport::CreateDatabase(db_, "manager");
    Sql("CREATE USER app IDENTIFIED BY secret;\nGRANT DBA TO app;\n"
        "CREATE TABLE app.emp (id NUMBER PRIMARY KEY, name VARCHAR2(20));\n"
        "CREATE TABLE app.emp_hist (id NUMBER);\n"
        "CREATE TABLE app.dept (id NUMBER);\n"
        "CREATE TABLE app.\"Mixed\" (id NUMBER, doc CLOB);\n"
        "CREATE TABLE app.\"a_b\" (id NUMBER);\n"
        "CREATE TABLE app.axb (id NUMBER);\n"
        "INSERT INTO app.emp SELECT LEVEL, 'n' || LEVEL FROM dual CONNECT BY LEVEL <= 30;\n"
        "INSERT INTO app.\"Mixed\" SELECT LEVEL, 'doc' FROM dual CONNECT BY LEVEL <= 12;\n"
        "INSERT INTO app.dept VALUES (1);\nCOMMIT;\n");
  }
  void Sql(const std::string& script) {
    ProcResult r = RunSql("system/manager@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script << r.out << r.err;
  }
  std::string Tables(const std::string& owner) {
    return RunSql("system/manager@" + db_,
                  "SELECT table_name FROM all_tables WHERE owner = '" + owner + "' ORDER BY 1;\n", {kNls})
        .out;
  }
  ProcResult Exp(std::vector<std::string> more, const std::string& input = "") {
    std::vector<std::string> argv = {TABEXP_PATH, "app/secret@" + db_};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {kNls}, input);
  }
  ProcResult Imp(std::vector<std::string> more) {
    std::vector<std::string> argv = {TABIMP_PATH, "system/manager@" + db_};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {kNls});
  }

  TempDir dir_;
  std::string db_;
};

TEST_F(DbaRun, ExportSelectsTablesByPatternAndQuotedName) {
  std::string f = dir_.file("sel.dmp");
  // unquoted names are upper-cased patterns; a quoted name is exact and keeps its case
  ProcResult r = Exp({"FILE=" + f, "OWNER=app", "TABLES=(emp%, \"a_b\", \"Mixed\")"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(ExpLine("EMP", 30) + ExpLine("EMP_HIST", 0) + ExpLine("Mixed", 12, true) + ExpLine("a_b", 0),
            r.out);
  // "_" is one character: A_B matches AXB, not the lower-case a_b
  r = Exp({"FILE=" + f, "OWNER=app", "tables=a_b"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(ExpLine("AXB", 0), r.out);

  // a name that matches nothing ends the run before the dump is written
  std::string none = dir_.file("none.dmp");
  r = Exp({"FILE=" + none, "OWNER=app", "TABLES=emp,nothing%,\"emp\""});
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.err.find("Table \"NOTHING%\" not found in schema APP.\n"));
  EXPECT_NE(std::string::npos, r.err.find("Table \"emp\" not found in schema APP.\n"));
  EXPECT_EQ(-1, access(none.c_str(), F_OK));
}

TEST_F(DbaRun, ImportRestoresOneTableFromAFullDump) {
  std::string full = dir_.file("full.dmp");
  ASSERT_EQ(0, Exp({"FILE=" + full, "OWNER=app"}).status);
  // the DBA dropped one table by mistake; the others are still there
  Sql("DROP TABLE app.emp;\n");
  ProcResult r = Imp({"FILE=" + full, "TABLES=EMP"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(ImpLine("EMP", 30), r.out);
  EXPECT_EQ(std::string::npos, r.err.find("ORA-"));
  ProcResult q = RunSql("app/secret@" + db_, "SELECT COUNT(*), MAX(name) FROM emp;\n", {kNls});
  EXPECT_NE(std::string::npos, q.out.find("30|n9")) << q.out;

  // into another schema: patterns and quoted names, the rest is skipped
  Sql("CREATE USER cp IDENTIFIED BY cp;\n");
  r = Imp({"FILE=" + full, "TOUSER=cp", "TABLES=d%,\"Mixed\""});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(ImpLine("DEPT", 1) + ImpLine("Mixed", 12), r.out);
  EXPECT_EQ("TABLE_NAME\nDEPT\nMixed\n", Tables("CP"));

  // names that match nothing: reported, and nothing is created
  Sql("CREATE USER cp2 IDENTIFIED BY cp;\n");
  r = Imp({"FILE=" + full, "TOUSER=cp2", "TABLES=emp,zzz,\"dept\""});
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.err.find("Table \"ZZZ\" not found in " + full + ".\n"));
  EXPECT_NE(std::string::npos, r.err.find("Table \"dept\" not found in " + full + ".\n"));
  EXPECT_EQ("", r.out);
  EXPECT_EQ("TABLE_NAME\n", Tables("CP2"));
}

TEST_F(DbaRun, PasswordFromAPipeAndFromAParameterFile) {
  std::string f = dir_.file("a.dmp");
  ProcResult r = testsupport::Run({TABEXP_PATH, "app@" + db_, "FILE=" + f, "OWNER=app", "TABLES=dept"}, {kNls},
                     "secret\n");
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(ExpLine("DEPT", 1), r.out);
  EXPECT_EQ(std::string::npos, r.err.find("Password"));  // no prompt on a pipe
  r = testsupport::Run({TABEXP_PATH, "app@" + db_, "FILE=" + f, "OWNER=app"}, {kNls}, "wrong\n");
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.err.find("ORA-01017"));
  r = testsupport::Run({TABEXP_PATH, "app@" + db_, "FILE=" + f, "OWNER=app"}, {kNls}, "");
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.err.find("Password not given"));

  // the whole command in a parameter file; later arguments win
  std::string par = dir_.file("imp.par");
  WriteFile(par, "# restore DEPT\nUSERID=system/manager@" + db_ + "\nFILE=" + f +
                     "\nTOUSER=nobody\nFEEDBACK=1\n");
  Sql("CREATE USER cp IDENTIFIED BY cp;\n");
  r = testsupport::Run({TABIMP_PATH, "PARFILE=" + par, "TOUSER=cp"}, {kNls});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(".\n" + ImpLine("DEPT", 1), r.out);
  EXPECT_EQ("TABLE_NAME\nDEPT\n", Tables("CP"));
  r = testsupport::Run({TABIMP_PATH, "PARFILE=" + dir_.file("missing.par")}, {kNls});
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.err.find("Open PARFILE " + dir_.file("missing.par")));
}

TEST_F(DbaRun, PasswordPromptOnATerminalWithoutEcho) {
  std::string f = dir_.file("t.dmp");
  TtyResult t = RunOnTty({TABEXP_PATH, "app@" + db_, "FILE=" + f, "OWNER=app", "TABLES=dept"},
                         {"Password: "}, {"secret\n"});
  EXPECT_EQ(0, t.status) << t.screen;
  EXPECT_EQ(std::string::npos, t.screen.find("secret")) << t.screen;  // not echoed
  EXPECT_NE(std::string::npos, t.screen.find("Export terminated successfully.")) << t.screen;

  t = RunOnTty({TABIMP_PATH, "system@" + db_, "FILE=" + f, "TOUSER=app", "TABLES=dept", "IGNORE=Y"},
               {"Password: "}, {"manager\n"});
  EXPECT_EQ(0, t.status) << t.screen;
  EXPECT_EQ(std::string::npos, t.screen.find("manager")) << t.screen;

  // tabsql on a terminal: the password, then its own prompt and feedback
  t = RunOnTty({TABSQL_PATH, "app@" + db_}, {"Password: ", "SQL> ", "SQL> "},
               {"secret\n", "select count(*) from emp;\n", "exit\n"});
  EXPECT_EQ(0, t.status) << t.screen;
  EXPECT_EQ(std::string::npos, t.screen.find("secret")) << t.screen;
  EXPECT_NE(std::string::npos, t.screen.find("1 row selected.")) << t.screen;
}

TEST_F(DbaRun, PasswordOnTheCommandLineIsHiddenFromTheProcessList) {
  int in[2];
  ASSERT_EQ(0, pipe(in));
  std::vector<std::string> args = {TABSQL_PATH, "-S", "app/secret@" + db_};
  std::vector<std::string> env = testsupport::ChildEnvironment({kNls});
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    close(in[0]);
    close(in[1]);
    std::vector<char*> a = testsupport::Pointers(args), e = testsupport::Pointers(env);
    execve(a[0], a.data(), e.data());
    _exit(127);
  }
  close(in[0]);
  std::string cmdline, want = "app/*@" + db_;  // one star, whatever the length
  for (int i = 0; i < 100 && cmdline.find(want) == std::string::npos; i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cmdline = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
  }
  close(in[1]);  // end of the input: the shell ends
  int st = 0;
  waitpid(pid, &st, 0);
  EXPECT_NE(std::string::npos, cmdline.find(want)) << cmdline;
  EXPECT_EQ(std::string::npos, cmdline.find("secret"));
  EXPECT_EQ(0, WIFEXITED(st) ? WEXITSTATUS(st) : -1);
}

TEST_F(DbaRun, FeedbackDotsBeforeTheTableLine) {
  std::string f = dir_.file("fb.dmp");
  ProcResult r = Exp({"FILE=" + f, "OWNER=app", "TABLES=emp,\"Mixed\",dept", "FEEDBACK=10"});
  ASSERT_EQ(0, r.status) << r.err;
  // 30 rows: three dots; 12 rows of a LOB table (row by row): one; 1 row: none
  EXPECT_EQ("...\n" + ExpLine("EMP", 30) + ExpLine("DEPT", 1) + ".\n" + ExpLine("Mixed", 12, true), r.out);
  Sql("CREATE USER cp IDENTIFIED BY cp;\n");
  std::string log = dir_.file("imp.log");
  r = Imp({"FILE=" + f, "TOUSER=cp", "FEEDBACK=7", "LOG=" + log});
  ASSERT_EQ(0, r.status) << r.err;
  // the log also gets the closing line
  EXPECT_EQ("....\n" + ImpLine("EMP", 30) + ImpLine("DEPT", 1) + ".\n" + ImpLine("Mixed", 12) +
                "\nImport terminated successfully.\n\n",
            ReadFile(log));
  // FEEDBACK=0 is the default: no dots
  r = Exp({"FILE=" + f, "OWNER=app", "TABLES=emp", "FEEDBACK=0"});
  EXPECT_EQ(ExpLine("EMP", 30), r.out);
}

}  // namespace
