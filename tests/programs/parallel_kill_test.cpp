// parallel_kill_test.cpp - tabimp and tabexp whose session is killed by a
// DBA (ALTER SYSTEM KILL SESSION) mid-run, serial and PARALLEL=2: the run
// ends with status 255 and ORA-00028 in its failure message, leaves no
// table of its own making, no temporary or spill file, and an existing FILE
// as it was.
//
// The kill lands at a known point. The import's session is found waiting
// for the database's write lock, which a session of this test holds; the
// export process is stopped (SIGSTOP) as soon as its worker sessions are
// listed, the worker is killed, and the process goes on.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exec/engine.h"
#include "exec/sqlfunc.h"
#include "session/session.h"
#include "storage/database.h"
#include "support.h"

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::RunSql;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
const char kKilled[] = "ORA-00028: your session has been killed";

bool Has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// A session of V$SESSION.
struct Listed {
  std::string sid, serial, status, program;
};

class ParallelKill : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    CreateDatabase(db_, "manager");
    Sql("CREATE USER app IDENTIFIED BY app;\nGRANT DBA TO app;\n", "system/manager");
    dba_ = Logon();
    ASSERT_TRUE(dba_);
  }
  void Sql(const std::string& script, const std::string& user = "app/app") {
    ProcResult r = RunSql(user + "@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script.substr(0, 400) << "\n" << r.out << r.err;
  }
  std::string Query(const std::string& script) {
    ProcResult r = RunSql("system/manager@" + db_, script, {kNls});
    return r.out + r.err;
  }

  // A SYSTEM session of this process.
  std::unique_ptr<tabdb::Session> Logon() {
    std::unique_ptr<tabdb::Database> d;
    tabdb::Status st = tabdb::Database::Open(db_, &d);
    EXPECT_TRUE(st.ok()) << st.text();
    if (!st.ok()) return nullptr;
    std::unique_ptr<tabdb::Session> s;
    st = tabdb::OpenSession(std::shared_ptr<tabdb::Database>(std::move(d)), "SYSTEM", "manager", &s);
    EXPECT_TRUE(st.ok()) << st.text();
    return s;
  }
  static tabdb::Status Exec(tabdb::Session& s, const std::string& text, std::vector<std::string>* rows = nullptr) {
    tabdb::ExecResult r;
    tabdb::Status st = tabdb::ExecuteText(s, text, &r);
    for (bool row = true; st.ok() && r.result;) {
      st = r.result->Next(&row);
      if (!st.ok() || !row) break;
      tabdb::Value v;
      st = r.result->Get(0, &v);
      if (rows) rows->push_back(v.bytes);
    }
    return st;
  }
  // The sessions of `program`, by SID.
  std::vector<Listed> SessionsOf(const std::string& program) {
    std::vector<std::string> rows;
    tabdb::Status st = Exec(*dba_,
                            "SELECT sid || ',' || serial# || ',' || status || ',' || program FROM v$session"
                            " WHERE program = '" + program + "' ORDER BY sid",
                            &rows);
    EXPECT_TRUE(st.ok()) << st.text();
    std::vector<Listed> out;
    for (const std::string& r : rows) {
      size_t a = r.find(','), b = r.find(',', a + 1), c = r.find(',', b + 1);
      out.push_back({r.substr(0, a), r.substr(a + 1, b - a - 1), r.substr(b + 1, c - b - 1), r.substr(c + 1)});
    }
    return out;
  }
  void KillSession(const Listed& l) {
    tabdb::Status st = Exec(*dba_, "ALTER SYSTEM KILL SESSION '" + l.sid + "," + l.serial + "' IMMEDIATE");
    ASSERT_TRUE(st.ok()) << st.text();
  }

  // Starts a program with its output in files of the test folder.
  pid_t Start(std::vector<std::string> argv, const std::vector<std::string>& env) {
    std::vector<std::string> envs = testsupport::ChildEnvironment(env);
    std::string out = dir_.file("run.out"), err = dir_.file("run.err");
    pid_t pid = fork();
    if (pid == 0) {
      int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(o, 1);
      dup2(e, 2);
      std::vector<char*> a = testsupport::Pointers(argv), n = testsupport::Pointers(envs);
      execve(a[0], a.data(), n.data());
      _exit(127);
    }
    return pid;
  }
  // Whether the program ended (its result then in *r).
  bool Ended(pid_t pid, bool wait, ProcResult* r) {
    int status = 0;
    if (waitpid(pid, &status, wait ? 0 : WNOHANG) != pid) return false;
    r->status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    r->out = ReadFile(dir_.file("run.out"));
    r->err = ReadFile(dir_.file("run.err"));
    return true;
  }

  // The names in the test folder that are neither the database's nor the
  // run's output nor kept.
  std::vector<std::string> Leftovers(const std::vector<std::string>& kept) {
    std::vector<std::string> out;
    DIR* d = opendir(dir_.path().c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == ".." || n.rfind("db", 0) == 0 || n.rfind("run.", 0) == 0) continue;
      bool keep = false;
      for (const std::string& k : kept) keep = keep || n == k;
      if (!keep) out.push_back(n);
    }
    closedir(d);
    return out;
  }

  // Runs tabimp while this test holds the write lock, kills the session
  // that waits for it (a worker's when `workers` > 0: the main session
  // logs on first and has the lowest SID) and lets the lock go.
  ProcResult ImportKilledWhileWaiting(const std::vector<std::string>& more, int workers) {
    std::unique_ptr<tabdb::Session> holder = Logon();
    tabdb::Status st = Exec(*holder, "INSERT INTO lock_t VALUES (1)");
    EXPECT_TRUE(st.ok()) << st.text();
    std::vector<std::string> argv = {TABIMP_PATH, "system/manager@" + db_, "FILE=" + dump_};
    argv.insert(argv.end(), more.begin(), more.end());
    // the lock timeout only bounds a run that the test failed to kill
    pid_t pid = Start(argv, {kNls, "TABDB_LOCK_TIMEOUT_MS=300000"});
    ProcResult r;
    bool killed = false;
    while (!killed && !Ended(pid, false, &r)) {
      std::vector<Listed> l = SessionsOf("tabimp");
      // A worker logs on when it first has the write turn: the other one
      // may not be listed yet.
      for (size_t i = workers > 0 ? 1 : 0; i < l.size() && !killed; ++i) {
        if (l[i].status != "ACTIVE") continue;
        KillSession(l[i]);
        killed = true;
      }
      if (!killed) usleep(2000);
    }
    EXPECT_TRUE(killed) << r.err;
    EXPECT_TRUE(holder->Rollback().ok());
    if (killed) Ended(pid, true, &r);
    return r;
  }

  // Runs tabexp, stops it once a worker session is listed beside the main
  // one (the only session when serial), kills the last one to log on (a
  // worker) and lets the run go on.
  ProcResult ExportKilled(const std::string& file, const std::vector<std::string>& more, int workers) {
    std::vector<std::string> argv = {TABEXP_PATH, "app/app@" + db_, "FILE=" + file, "OWNER=app"};
    argv.insert(argv.end(), more.begin(), more.end());
    pid_t pid = Start(argv, {kNls});
    ProcResult r;
    bool killed = false;
    // As soon as the first worker is listed: the sooner it stops, the
    // more calls it has left.
    const size_t want = workers > 0 ? 2 : 1;
    while (!killed && !Ended(pid, false, &r)) {
      if (SessionsOf("tabexp").size() >= want) {
        kill(pid, SIGSTOP);
        std::vector<Listed> l = SessionsOf("tabexp");
        if (l.size() >= want) {
          KillSession(l.back());
          killed = true;
        }
        kill(pid, SIGCONT);
      }
      if (!killed) usleep(1000);
    }
    EXPECT_TRUE(killed) << "the run ended before its worker was seen:\n" << r.err;
    if (killed) Ended(pid, true, &r);
    return r;
  }

  TempDir dir_;
  std::string db_, dump_;
  std::unique_ptr<tabdb::Session> dba_;
};

TEST_F(ParallelKill, ImportWhoseWorkerIsKilledEndsAsASerialOne) {
  std::string s;
  for (int t = 1; t <= 4; t++) {
    std::string n = "t" + std::to_string(t);
    s += "CREATE TABLE " + n + " (id NUMBER PRIMARY KEY, c CLOB);\n"
         "INSERT INTO " + n + " SELECT LEVEL, RPAD('v', 200, 'x') FROM dual CONNECT BY LEVEL <= 500;\n";
  }
  Sql(s + "COMMIT;\n");
  dump_ = dir_.file("src.dmp");
  ProcResult e = testsupport::Run({TABEXP_PATH, "app/app@" + db_, "FILE=" + dump_, "OWNER=app"}, {kNls});
  ASSERT_EQ(0, e.status) << e.err;
  Sql("CREATE TABLE system.lock_t (n NUMBER);\n"
      "CREATE USER serial IDENTIFIED BY x;\nGRANT DBA TO serial;\n"
      "CREATE USER par IDENTIFIED BY x;\nGRANT DBA TO par;\n",
      "system/manager");

  ProcResult serial = ImportKilledWhileWaiting({"TOUSER=serial"}, 0);
  ProcResult par = ImportKilledWhileWaiting({"TOUSER=par", "PARALLEL=2"}, 2);
  for (const ProcResult* r : {&serial, &par}) {
    EXPECT_EQ(255, r->status) << r->err;
    EXPECT_TRUE(Has(r->err, kKilled)) << r->err;
    EXPECT_TRUE(Has(r->err, "\nImport terminated unsuccessfully.\n")) << r->err;
  }
  EXPECT_EQ(std::vector<std::string>{"src.dmp"}, Leftovers({})) << "no temporary file left";
  // Nothing of the runs stands in the targets.
  std::string left = Query("SELECT 'left: ' || owner || '.' || table_name FROM dba_tables"
                           " WHERE owner IN ('SERIAL', 'PAR');\n");
  EXPECT_FALSE(Has(left, "left: ")) << left;
}

TEST_F(ParallelKill, ExportWhoseWorkerIsKilledEndsAsASerialOne) {
  // Tables of LOBs, long enough to export that a worker stopped when it is
  // first listed has calls left to make.
  std::string s;
  for (int t = 1; t <= 4; t++) {
    std::string n = "d" + std::to_string(t);
    s += "CREATE TABLE " + n + " (id NUMBER PRIMARY KEY, c CLOB);\n"
         "INSERT INTO " + n + " SELECT LEVEL, RPAD('v', 4000, 'x') FROM dual CONNECT BY LEVEL <= 600;\n";
  }
  Sql(s + "COMMIT;\n");
  std::string file = dir_.file("x.dmp");
  for (const char* consistent : {"CONSISTENT=N", "CONSISTENT=Y"}) {
    SCOPED_TRACE(consistent);
    WriteFile(file, "the previous dump");
    ProcResult serial = ExportKilled(file, {consistent}, 0);
    ProcResult par = ExportKilled(file, {consistent, "PARALLEL=2"}, 2);
    for (const ProcResult* r : {&serial, &par}) {
      EXPECT_EQ(255, r->status) << r->err;
      EXPECT_TRUE(Has(r->err, kKilled)) << r->err;
      EXPECT_TRUE(Has(r->err, "\nExport terminated unsuccessfully.\n")) << r->err;
      EXPECT_EQ("the previous dump", ReadFile(file));
    }
    EXPECT_EQ(std::vector<std::string>{"x.dmp"}, Leftovers({})) << "temporary and spill files removed";
  }
}

}  // namespace
