// session_kill_test.cpp - V$SESSION and ALTER SYSTEM KILL SESSION: sessions
// of this process and of a tabsql process are listed with distinct SIDs, a
// killed session gets ORA-00028 once (also while it waits for the write
// lock) and ORA-01012 after, its transaction is rolled back, the errors of
// a wrong kill, a crashed process's sessions vanish from the list, and the
// file that holds the sessions is used only when it is the database's own.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "catalog_test_util.h"
#include "exec/engine.h"

namespace cattest {
namespace {

using tabdb::ExecResult;

// A tabsql process reading statements from a pipe; its standard output and
// error go to one pipe that the test reads.
class ShellProcess {
 public:
  ShellProcess(const std::string& userid) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      close(in[0]), close(in[1]), close(out[0]), close(out[1]);
      execl(TABSQL_PATH, "tabsql", "-S", userid.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~ShellProcess() {
    if (to_ >= 0) close(to_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (from_ >= 0) close(from_);
  }
  void Send(const std::string& text) { ASSERT_EQ(static_cast<ssize_t>(text.size()), write(to_, text.data(), text.size())); }
  // Runs a statement that fails with ORA-00942 naming `marker` and reads
  // the output up to it: everything sent before has run then.
  std::string Sync(const std::string& marker) {
    Send("SELECT * FROM " + marker + ";\n");
    return ReadUntil("ORA-00942");
  }
  std::string ReadUntil(const std::string& what) {
    while (seen_.find(what) == std::string::npos) {
      // A bound against a shell that hangs, not a measure of speed.
      pollfd p = {from_, POLLIN, 0};
      if (poll(&p, 1, 120000) <= 0) break;
      char buf[4096];
      ssize_t n = read(from_, buf, sizeof(buf));
      if (n <= 0) break;
      seen_.append(buf, static_cast<size_t>(n));
    }
    std::string all = seen_;
    size_t at = seen_.find(what);
    seen_ = at == std::string::npos ? "" : seen_.substr(at + what.size());
    return all;
  }
  // Ends the input and returns the rest of the output.
  std::string Finish() {
    close(to_);
    to_ = -1;
    std::string rest = ReadUntil("\x01never\x01");
    waitpid(pid_, &status_, 0);
    pid_ = -1;
    return rest;
  }
  // The wait status of the finished shell.
  int status() const { return status_; }
  void Crash() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  int to_ = -1, from_ = -1;
  std::string seen_;
};

class SessionKill : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP", false);
    ASSERT_TRUE(app_);
    ASSERT_TRUE(Sql(*sys_, "GRANT CONNECT TO app").ok());
    ASSERT_TRUE(Sql(*sys_, "CREATE TABLE app.t (n NUMBER)").ok());
  }

  static Status Sql(Session& s, const std::string& text) {
    ExecResult r;
    Status st = tabdb::ExecuteText(s, text, &r);
    if (st.ok() && r.result) {
      bool row = true;
      while (st.ok() && row) st = r.result->Next(&row);
    }
    return st;
  }
  static std::string Code(const Status& st) { return st.ok() ? "ok" : st.text().substr(0, 9); }

  std::string Kill(Session& by, const Session& whom) {
    return Code(Sql(by, "ALTER SYSTEM KILL SESSION '" + std::to_string(whom.sid()) + "," +
                            std::to_string(whom.serial()) + "'"));
  }
  // SID|SERIAL#|USERNAME|STATUS|PROGRAM|TYPE of every session, by SID.
  std::vector<std::string> Sessions(Session& s) {
    return View(s, "V$SESSION", "sid, \"SERIAL#\", username, status, program, type", "1 ORDER BY 1");
  }
  std::string Row(const Session& s, const std::string& status) {
    return std::to_string(s.sid()) + "|" + std::to_string(s.serial()) + "|" + s.user().name + "|" +
           status + "|" + kProgram + "|USER";
  }
  int Rows(const std::string& table) {
    ExecResult r;
    Status st = tabdb::ExecuteText(*sys_, "SELECT 1 FROM " + table, &r);
    EXPECT_TRUE(st.ok()) << st.text();
    int n = 0;
    for (bool row = true; st.ok() && r.result;) {
      st = r.result->Next(&row);
      if (!row) break;
      ++n;
    }
    return n;
  }

  const std::string kProgram = program_invocation_short_name;
  std::unique_ptr<Session> app_;
};

TEST_F(SessionKill, ListsTheOpenSessionsOfTheProcess) {
  ASSERT_NE(sys_->sid(), app_->sid());
  EXPECT_EQ(std::vector<std::string>({Row(*sys_, "ACTIVE"), Row(*app_, "INACTIVE")}), Sessions(*sys_));
  // Another spelling of the file's path names the same sessions.
  path_ = dir_.path() + "/./cat.db";
  std::unique_ptr<Session> again = Logon("APP", "pw");
  ASSERT_TRUE(again);
  EXPECT_EQ(3, again->sid());
  // Ordinary users do not see the view.
  tabdb::DictionaryView v;
  Status st;
  EXPECT_TRUE(tabdb::FindDictionaryView(*app_, "V$SESSION", &v, &st));
  EXPECT_EQ("ORA-00942", Code(st));
  // A SID that comes free is taken again with a new SERIAL#: a kill aimed
  // at the ended session does not reach the new one.
  int64_t sid = app_->sid(), serial = app_->serial();
  app_.reset();
  app_ = Logon("APP", "pw");
  ASSERT_EQ(sid, app_->sid());
  EXPECT_NE(serial, app_->serial());
  EXPECT_EQ("ORA-00030", Code(Sql(*sys_, "ALTER SYSTEM KILL SESSION '" + std::to_string(sid) + "," +
                                             std::to_string(serial) + "'")));
  EXPECT_TRUE(Sql(*app_, "SELECT 1 FROM dual").ok());
}

TEST_F(SessionKill, KilledSessionIsToldOnceAndLosesItsTransaction) {
  ASSERT_TRUE(Sql(*app_, "INSERT INTO t VALUES (1)").ok());
  ASSERT_EQ("ok", Kill(*sys_, *app_));
  EXPECT_EQ(Row(*app_, "KILLED"), Sessions(*sys_)[1]);
  EXPECT_EQ("ORA-00028", Code(Sql(*app_, "INSERT INTO t VALUES (2)")));
  EXPECT_EQ("ORA-01012", Code(Sql(*app_, "SELECT 1 FROM dual")));
  EXPECT_EQ("ORA-01012", Code(app_->Commit()));
  EXPECT_EQ("ORA-01012", Code(app_->Rollback()));
  EXPECT_EQ(0, Rows("app.t"));
  // The session stays listed until it ends; a second kill of it is refused
  // only once it is gone.
  EXPECT_EQ("ok", Kill(*sys_, *app_));
  int64_t sid = app_->sid(), serial = app_->serial();
  app_.reset();
  EXPECT_EQ(1u, Sessions(*sys_).size());
  EXPECT_EQ("ORA-00030", Code(Sql(*sys_, "ALTER SYSTEM KILL SESSION '" + std::to_string(sid) + "," +
                                             std::to_string(serial) + "'")));
}

TEST_F(SessionKill, WrongKillsAreRefused) {
  EXPECT_EQ("ORA-00027", Kill(*sys_, *sys_));
  EXPECT_EQ("ORA-01031", Kill(*app_, *sys_));
  EXPECT_EQ("ORA-00030", Code(Sql(*sys_, "ALTER SYSTEM KILL SESSION '" + std::to_string(app_->sid()) + "," +
                                             std::to_string(app_->serial() + 1) + "'")));
  EXPECT_EQ("ORA-00030", Code(Sql(*sys_, "ALTER SYSTEM KILL SESSION '1000,1'")));
  EXPECT_EQ("ORA-00030", Code(Sql(*sys_, "ALTER SYSTEM KILL SESSION '0,1'")));
  for (const char* bad : {"''", "'1'", "'1,'", "',1'", "'a,b'", "'1,2,3'", "'1;2'", "'-1,2'",
                          "'99999999999,1'", "1", ""})
    EXPECT_EQ("ORA-00026", Code(Sql(*sys_, std::string("ALTER SYSTEM KILL SESSION ") + bad))) << bad;
  EXPECT_TRUE(Sql(*app_, "SELECT 1 FROM dual").ok()) << "none of them killed APP";
  // Blanks around the numbers and the instance are allowed.
  EXPECT_EQ("ok", Code(Sql(*sys_, "ALTER SYSTEM KILL SESSION ' " + std::to_string(app_->sid()) + " , " +
                                      std::to_string(app_->serial()) + " ,@1' IMMEDIATE")));
  EXPECT_EQ("ORA-00028", Code(Sql(*app_, "SELECT 1 FROM dual")));
}

TEST_F(SessionKill, KillEndsAWaitForTheWriteLock) {
  // A bound only: the kill must end the wait long before it.
  setenv("TABDB_LOCK_TIMEOUT_MS", "120000", 1);
  std::unique_ptr<Session> other = Logon("SYSTEM", "manager");
  ASSERT_TRUE(Sql(*other, "INSERT INTO app.t VALUES (7)").ok());  // holds the write lock
  Status waited;
  std::thread insert([&] { waited = Sql(*app_, "INSERT INTO t VALUES (8)"); });
  // The waiting session shows as ACTIVE.
  bool active = false;
  for (int i = 0; i < 100000 && !active; ++i) {
    active = Sessions(*sys_)[1] == Row(*app_, "ACTIVE");
    if (!active) usleep(1000);
  }
  EXPECT_TRUE(active);
  EXPECT_EQ("ok", Kill(*sys_, *app_));
  insert.join();
  unsetenv("TABDB_LOCK_TIMEOUT_MS");
  EXPECT_EQ("ORA-00028", Code(waited));
  EXPECT_EQ("ORA-01012", Code(Sql(*app_, "SELECT 1 FROM dual")));
  ASSERT_TRUE(other->Commit().ok());
  EXPECT_EQ(1, Rows("app.t"));
}

TEST_F(SessionKill, SessionOfAnotherProcessIsListedAndKilled) {
  ShellProcess shell("app/pw@" + path_);
  shell.Send("INSERT INTO t VALUES (3);\n");
  shell.Sync("ready");
  std::vector<std::string> rows = Sessions(*sys_);
  ASSERT_EQ(3u, rows.size());
  std::string row = rows[2];  // the shell logged on last
  EXPECT_NE(std::string::npos, row.find("|APP|INACTIVE|tabsql|USER")) << row;
  std::string id = row.substr(0, row.find('|')) + "," + row.substr(row.find('|') + 1, row.find('|', row.find('|') + 1) - row.find('|') - 1);
  ASSERT_EQ("ok", Code(Sql(*sys_, "ALTER SYSTEM KILL SESSION '" + id + "'")));
  EXPECT_NE(std::string::npos, Sessions(*sys_)[2].find("|KILLED|")) << Sessions(*sys_)[2];
  shell.Send("SELECT 1 FROM dual;\nCOMMIT;\nSELECT 1 FROM dual;\n");
  std::string out = shell.Finish();
  testsupport::ExpectInOrder(out, {"ORA-00028: your session has been killed", "ORA-01012: not logged on",
                                   "ORA-01012: not logged on"});
  EXPECT_EQ(0, Rows("app.t"));
  EXPECT_EQ(2u, Sessions(*sys_).size());
}

TEST_F(SessionKill, CrashedProcessFreesItsSessions) {
  ASSERT_TRUE(Sql(*sys_, "CREATE USER gone IDENTIFIED BY pw").ok());
  ASSERT_TRUE(Sql(*sys_, "GRANT CONNECT TO gone").ok());
  {
    ShellProcess shell("gone/pw@" + path_);
    shell.Sync("ready");
    ASSERT_EQ(3u, Sessions(*sys_).size());
    EXPECT_EQ("ORA-01940", Code(Sql(*sys_, "DROP USER gone")));
    shell.Crash();
  }
  EXPECT_EQ(std::vector<std::string>({Row(*sys_, "ACTIVE"), Row(*app_, "INACTIVE")}), Sessions(*sys_));
  EXPECT_TRUE(Sql(*sys_, "DROP USER gone").ok());
  // Its SID is free for the next session.
  std::unique_ptr<Session> next = Logon("SYSTEM", "manager");
  EXPECT_EQ(3, next->sid());
}


// The session file "<database>-users", planted or spoilt by someone who may
// write the database's folder: before the first logon (`plant`, given the
// file's path and a file of the database's owner that must stay as it
// is), or truncated while sessions are open.
using Path = const std::string&;
struct FileCase {
  const char* name;
  void (*plant)(Path users, Path precious);
  const char* refused;  // why ORA-01122 refuses the logon; null: it goes on
  bool truncate_in_use = false;
  bool needs_root = false;  // to give a file to another user
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

void Made(Path path, const std::string& bytes, mode_t mode) {
  testsupport::WriteFile(path, bytes);
  ASSERT_EQ(0, chmod(path.c_str(), mode));
}

const FileCase kFileCases[] = {
    {"PlantedWritableByAll", [](Path u, Path) { Made(u, "", 0666); }, "writable by group or others (mode 0666)"},
    {"OfAnotherOwner", [](Path u, Path) { Made(u, "", 0600), (void)chown(u.c_str(), 4242, 4242); },
     "owned by uid 4242, not by the database file's owner", false, true},
    {"SymbolicLink", [](Path u, Path p) { Made(p, "precious", 0600), (void)symlink(p.c_str(), u.c_str()); },
     "a symbolic link"},
    {"HardLink", [](Path u, Path p) { Made(p, "precious", 0600), (void)link(p.c_str(), u.c_str()); }, "a hard link"},
    {"Directory", [](Path u, Path) { (void)mkdir(u.c_str(), 0700); }, "not a regular file"},
    {"Fifo", [](Path u, Path) { (void)mkfifo(u.c_str(), 0600); }, "not a regular file"},
    // Shorter than one slot and a half, of bytes all ones: read past its
    // end as zeros, its SERIAL# wraps to 1.
    {"ShortAtOpen", [](Path u, Path) { Made(u, std::string(300, '\xff'), 0600); }, nullptr},
    {"TruncatedInUse", nullptr, nullptr, true},
};

class SessionFile : public SessionKill, public ::testing::WithParamInterface<FileCase> {
 protected:
  void SetUp() override {
    path_ = dir_.file("f.db");
    Status st = Database::Create(path_, "manager");
    ASSERT_TRUE(st.ok()) << st.text();
  }
  Status TryLogon() {
    std::unique_ptr<Database> d;
    Status st = Database::Open(path_, &d);
    if (!st.ok()) return st;
    return tabdb::OpenSession(std::shared_ptr<Database>(std::move(d)), "SYSTEM", "manager", &sys_);
  }
};

TEST_P(SessionFile, IsTheDatabasesOwnOrRefused) {
  const FileCase& c = GetParam();
  if (c.needs_root && geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  const std::string users = path_ + "-users", precious = dir_.file("precious");
  if (c.plant) {
    ASSERT_NO_FATAL_FAILURE(c.plant(users, precious));
  }
  struct stat sb, db;
  ASSERT_EQ(c.plant != nullptr, lstat(users.c_str(), &sb) == 0) << "planted";
  Status st = TryLogon();
  if (c.refused) {
    EXPECT_EQ(0u, st.text().find("ORA-01122: database file '" + users + "' failed verification check: " +
                                 c.refused))
        << st.text();
    if (access(precious.c_str(), F_OK) == 0) {
      EXPECT_EQ("precious", testsupport::ReadFile(precious));
    }
    // Once it is gone, the next logon makes the file as it must be.
    ASSERT_EQ(0, remove(users.c_str()));
    st = TryLogon();
    ASSERT_EQ(0, lstat(users.c_str(), &sb));
    ASSERT_EQ(0, stat(path_.c_str(), &db));
    EXPECT_TRUE(S_ISREG(sb.st_mode) && (sb.st_mode & 07777) == 0600 && sb.st_uid == db.st_uid);
  }
  ASSERT_TRUE(st.ok()) << st.text();
  // Sessions of this process and of another are listed and killed; after a
  // truncation those open before it are no longer listed, but go on.
  ASSERT_TRUE(Sql(*sys_, "CREATE USER app IDENTIFIED BY pw").ok());
  ASSERT_TRUE(Sql(*sys_, "GRANT CONNECT TO app").ok());
  ShellProcess shell("app/pw@" + path_);
  shell.Sync("ready");
  if (c.truncate_in_use) {
    ASSERT_EQ(0, truncate(users.c_str(), 0));
  }
  shell.Send("SELECT 1 FROM dual;\n");
  std::string out = shell.Finish();
  EXPECT_TRUE(WIFEXITED(shell.status())) << shell.status() << out;
  app_ = Logon("APP", "pw");
  ASSERT_TRUE(app_);
  std::vector<std::string> listed = {Row(*app_, "INACTIVE")};
  if (!c.truncate_in_use) listed.insert(listed.begin(), Row(*sys_, "ACTIVE"));
  EXPECT_EQ(listed, Sessions(*sys_));
  EXPECT_EQ("ok", Kill(*sys_, *app_));
  EXPECT_EQ("ORA-00028", Code(Sql(*app_, "SELECT 1 FROM dual")));
  EXPECT_EQ("ORA-01940", Code(Sql(*sys_, "DROP USER app")));
}

INSTANTIATE_TEST_SUITE_P(TheSessionFile, SessionFile, ::testing::ValuesIn(kFileCases),
                         [](const ::testing::TestParamInfo<FileCase>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace cattest
