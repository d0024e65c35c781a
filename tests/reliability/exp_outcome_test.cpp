// exp_outcome_test.cpp - what a run may write and what it reports: FILE and
// LOG never name each other, the dump being imported or a file of the
// database; a failed export leaves an existing dump as it was and no
// temporary file; the exit status says whether everything was carried (0),
// something was not (1) or the run failed (255).
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include <algorithm>
#include <map>

#include "rel_fixture.h"

namespace reltest {
namespace {

using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::WriteFile;

constexpr char kExpFailed[] = "\nExport terminated unsuccessfully.\n\n";
constexpr char kExpWarned[] = "\nExport terminated successfully with warnings.\n\n";

// Every regular file of a folder with its bytes (symbolic links as
// "-> target").
std::map<std::string, std::string> Folder(const std::string& dir) {
  std::map<std::string, std::string> files;
  DIR* d = opendir(dir.c_str());
  if (!d) return files;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISLNK(st.st_mode)) {
      char target[4096];
      ssize_t n = readlink(path.c_str(), target, sizeof(target));
      files[name] = "-> " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
    } else if (S_ISREG(st.st_mode)) {
      files[name] = ReadFile(path);
    } else {
      files[name] = "<other>";
    }
  }
  closedir(d);
  return files;
}

std::vector<std::string> Names(const std::map<std::string, std::string>& files) {
  std::vector<std::string> v;
  for (const auto& kv : files) v.push_back(kv.first);
  return v;
}

class ExpOutcome : public RelTest {
 protected:
  void SetUp() override {
    RelTest::SetUp();
    Sys("CREATE TABLE app.t (id NUMBER(10) PRIMARY KEY, name VARCHAR2(20));\n"
        "INSERT INTO app.t VALUES (1, 'one');\nCOMMIT;\n");
  }

  // tabexp as `user` on the test database with the given arguments.
  ProcResult Exp(const std::vector<std::string>& args, const std::string& user = "app/app",
                 const std::string& cwd = "", const std::vector<std::string>& env = {}) {
    // A user given as "user/pw@" connects through TWO_TASK.
    std::string userid = user.back() == '@' ? user.substr(0, user.size() - 1) : user + "@" + db_;
    std::vector<std::string> argv = {TABEXP_PATH, userid};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> e = {kNls};
    e.insert(e.end(), env.begin(), env.end());
    return testsupport::Run(argv, e, "", cwd);
  }
};

// Each refused run ends with 255 and one message naming the file, before
// anything is opened for writing: every file of the folder (the database
// and its companions included) keeps its bytes and no file appears.
TEST_F(ExpOutcome, FileAndLogNeverNameEachOtherOrTheDatabase) {
  WriteFile(dir_.file("old.dmp"), "an earlier dump");
  ASSERT_EQ(0, symlink(db_.c_str(), dir_.file("db.link").c_str()));
  ASSERT_EQ(0, symlink("old.dmp", dir_.file("old.link").c_str()));
  ASSERT_EQ(0, mkdir(dir_.file("sub").c_str(), 0700));
  const std::string leaf = dir_.path().substr(dir_.path().rfind('/') + 1);

  struct Case {
    std::vector<std::string> args;
    std::string cwd;
    std::vector<std::string> env;
    std::string user;
    std::string message;
  } cases[] = {
      {{"FILE=" + dir_.file("x.dmp"), "LOG=" + dir_.file("x.dmp")}, "", {}, "", "are the same file"},
      {{"FILE=old.dmp", "LOG=sub/../old.dmp"}, dir_.path(), {}, "", "are the same file"},
      {{"FILE=" + dir_.file("old.dmp"), "LOG=" + dir_.file("old.link")}, "", {}, "", "are the same file"},
      {{"FILE=" + db_}, "", {}, "", "is the database file"},
      {{"FILE=" + dir_.file("ok.dmp"), "LOG=" + db_}, "", {}, "", "LOG \"" + db_ + "\" is the database file"},
      {{"FILE=" + dir_.file("db.link")}, "", {}, "", "is the database file"},
      {{"FILE=./db"}, dir_.path(), {}, "", "is the database file"},
      {{"FILE=../" + leaf + "/sub/../db"}, dir_.path(), {}, "", "is the database file"},
      {{"FILE=" + db_ + "-wal"}, "", {}, "", "of the database"},
      {{"FILE=" + dir_.file("ok.dmp"), "LOG=" + db_ + "-shm"}, "", {}, "", "of the database"},
      {{"FILE=" + db_ + "-users"}, "", {}, "", "of the database"},
      {{"FILE=" + db_ + "-journal"}, "", {}, "", "of the database"},
      // The database named by TWO_TASK when USERID has no connect identifier.
      {{"FILE=" + db_}, "", {"TWO_TASK=" + db_}, "app/app@", "is the database file"},
  };
  // A session leaves the companions in place, so that they exist as files.
  ASSERT_EQ("", Admin().Exec("SELECT count(*) FROM app.t"));
  for (const Case& c : cases) {
    std::string what = c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "") + " in " + c.cwd;
    auto before = Folder(dir_.path());
    std::vector<std::string> args = c.args;
    args.push_back("OWNER=APP");
    ProcResult r = Exp(args, c.user.empty() ? "app/app" : c.user, c.cwd, c.env);
    EXPECT_EQ(255, r.status) << what << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, c.message)) << what << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, "refused.\n")) << what << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, kExpFailed)) << what;
    EXPECT_FALSE(Contains(r.err, "Connect")) << what << ": connected before the check\n" << r.err;
    EXPECT_TRUE(before == Folder(dir_.path())) << what << ": a file changed or appeared";
  }
  // The database still opens and holds its row.
  EXPECT_EQ(1, Count("app.t"));
}

// tabimp refuses a LOG that is the dump it reads or the database, and
// leaves both as they were.
TEST_F(ExpOutcome, ImportRefusesALogOverItsDumpOrTheDatabase) {
  std::string dump = dir_.file("in.dmp");
  ASSERT_EQ(0, Exp({"FILE=" + dump, "OWNER=APP"}).status);
  AddUser("COPY1");
  for (const std::string& log : {dump, db_, db_ + "-wal"}) {
    auto before = Folder(dir_.path());
    ProcResult r = testsupport::Run({TABIMP_PATH, "system/manager@" + db_, "FILE=" + dump, "LOG=" + log,
                                     "TOUSER=COPY1"},
                                    {kNls});
    EXPECT_EQ(255, r.status) << log << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, "refused.\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, "Import terminated unsuccessfully.")) << r.err;
    EXPECT_TRUE(before == Folder(dir_.path())) << log << ": a file changed";
  }
  EXPECT_EQ(-1, Count("copy1.t"));
}

// A failed export, before or while the dump is written, leaves the earlier
// dump byte for byte and no temporary file; a good one replaces it (also
// through a symbolic link, which stays a link), private to its owner.
TEST_F(ExpOutcome, FailedExportLeavesThePreviousDumpAsItWas) {
  ASSERT_EQ(0, mkdir(dir_.file("out").c_str(), 0700));
  std::string keep = dir_.file("out/keep.dmp");
  BigTable("APP", "BIG", 3000, 200);
  ASSERT_EQ(0, Exp({"FILE=" + keep, "OWNER=APP"}).status);
  const auto first = Folder(dir_.file("out"));
  ASSERT_EQ(std::vector<std::string>{"keep.dmp"}, Names(first));
  Sys("INSERT INTO app.t VALUES (2, 'two');\nCOMMIT;\n");

  ProcResult r = Exp({"FILE=" + keep, "OWNER=NOSUCH"});
  EXPECT_EQ(255, r.status);
  EXPECT_TRUE(first == Folder(dir_.file("out"))) << r.err;

  // The disk fills part-way through the rows.
  for (const char* at : {"3000", "200000"}) {
    r = Exp({"FILE=" + keep, "OWNER=APP"}, "app/app", "",
            FaultEnv({"FAULTFS_FILE=" + keep, std::string("FAULTFS_WRITE_AT_OFFSET=") + at,
                      "FAULTFS_WRITE_ERRNO=ENOSPC"}));
    EXPECT_EQ(255, r.status) << r.err;
    EXPECT_TRUE(Contains(r.err, "No space left on device")) << r.err;
    EXPECT_TRUE(first == Folder(dir_.file("out"))) << "failure at " << at;
  }

  ASSERT_EQ(0, symlink("keep.dmp", dir_.file("out/link.dmp").c_str()));
  r = Exp({"FILE=" + dir_.file("out/link.dmp"), "OWNER=APP"});
  EXPECT_EQ(0, r.status) << r.err;
  auto after = Folder(dir_.file("out"));
  EXPECT_EQ((std::vector<std::string>{"keep.dmp", "link.dmp"}), Names(after));
  EXPECT_EQ("-> keep.dmp", after["link.dmp"]);
  EXPECT_NE(first.at("keep.dmp"), after["keep.dmp"]);
  DumpFile parsed;
  std::string why;
  ASSERT_TRUE(ParseDump(after["keep.dmp"], &parsed, &why)) << why;
  struct stat st;
  ASSERT_EQ(0, stat(keep.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777u);

  // A device is written directly.
  r = Exp({"FILE=/dev/null", "OWNER=APP"});
  EXPECT_EQ(0, r.status) << r.err;
}

// Nobody else can choose what the export writes over: a symbolic link that
// another user planted in a folder everybody may write (sticky, as /tmp) is
// not followed, at the end of FILE or on its way, as the kernel's own rule
// for such links has it; and the temporary file's name cannot be planted,
// even knowing the exporter's process id and the time.
TEST_F(ExpOutcome, NoOtherUserChoosesTheFileWritten) {
  const std::string shared = dir_.file("shared");
  ASSERT_EQ(0, mkdir(shared.c_str(), 0700));
  ASSERT_EQ(0, chmod(shared.c_str(), 01777));

  // The names a clock and a process id would give, all taken beforehand.
  int go[2];
  ASSERT_EQ(0, pipe(go));
  std::string dump = shared + "/mine.dmp";
  std::string out = dir_.file("planted.err");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(go[0], 0);
    close(go[1]);
    FILE* err = freopen(out.c_str(), "w", stderr);
    (void)err;
    std::string userid = "app/app@" + db_;
    setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
    execl("/bin/sh", "sh", "-c", "read go; exec \"$0\" \"$@\" >/dev/null", TABEXP_PATH,
          userid.c_str(), ("FILE=" + dump).c_str(), "OWNER=APP", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(go[0]);
  for (unsigned long t = static_cast<unsigned long>(time(nullptr)) - 1, end = t + 8; t < end; t++) {
    unsigned long seed = static_cast<unsigned long>(pid) * 2654435761ul ^ t;
    for (int attempt = 0; attempt < 100; attempt++) {
      seed = seed * 6364136223846793005ul + 1442695040888963407ul;
      char name[64];
      snprintf(name, sizeof(name), "/.mine.dmp.tmp-%06lx", (seed >> 20) & 0xFFFFFFul);
      WriteFile(shared + name, "");
    }
  }
  ASSERT_EQ(3, write(go[1], "go\n", 3));
  close(go[1]);
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(out);
  DumpFile parsed;
  std::string why;
  EXPECT_TRUE(ParseDump(ReadFile(dump), &parsed, &why)) << why;

  // Links of another user, which only root can make here.
  if (geteuid() != 0) GTEST_SKIP() << "links of another user need root";
  const uid_t other = 65534;
  WriteFile(dir_.file("victim.dmp"), "the victim's file");
  ASSERT_EQ(0, mkdir(dir_.file("victim").c_str(), 0700));
  ASSERT_EQ(0, symlink(dir_.file("victim.dmp").c_str(), (shared + "/evil.dmp").c_str()));
  ASSERT_EQ(0, symlink(dir_.file("victim").c_str(), (shared + "/evil").c_str()));
  ASSERT_EQ(0, symlink((shared + "/evil.dmp").c_str(), dir_.file("chain.dmp").c_str()));
  ASSERT_EQ(0, symlink(dir_.file("victim.dmp").c_str(), (shared + "/own.dmp").c_str()));
  ASSERT_EQ(0, lchown((shared + "/evil.dmp").c_str(), other, other));
  ASSERT_EQ(0, lchown((shared + "/evil").c_str(), other, other));
  auto before = Folder(dir_.file("victim"));
  const std::pair<std::string, std::string> refused[] = {
      {shared + "/evil.dmp", shared + "/evil.dmp"},
      {shared + "/evil/x.dmp", shared + "/evil"},
      {dir_.file("chain.dmp"), shared + "/evil.dmp"},
  };
  for (const auto& [file, link] : refused) {
    ProcResult r = Exp({"FILE=" + file, "OWNER=APP"});
    EXPECT_EQ(255, r.status) << r.err;
    EXPECT_TRUE(Contains(r.err, "\"" + link + "\" is a symbolic link of another user in a folder "
                                "everybody may write; not followed.")) << r.err;
    EXPECT_TRUE(ReadFile(dir_.file("victim.dmp")) == "the victim's file");
    EXPECT_TRUE(before == Folder(dir_.file("victim")));
  }
  // The runner's own link there is followed.
  ProcResult r = Exp({"FILE=" + shared + "/own.dmp", "OWNER=APP"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(ParseDump(ReadFile(dir_.file("victim.dmp")), &parsed, &why)) << why;
}

// Status 0 when everything was carried, 1 "with warnings" when something
// was not or was changed, 255 when the run could not do what was asked; a
// refused run writes no file.
TEST_F(ExpOutcome, StatusSaysWhatWasCarried) {
  std::string dump = dir_.file("s.dmp");
  ProcResult r = Exp({"FILE=" + dump, "OWNER=APP"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, kExpDone)) << r.err;

  // Standard output and standard error in one file keep their order:
  // progress lines, then the closing line.
  std::string both = dir_.file("both.txt");
  ProcResult sh = testsupport::Run(
      {"/bin/sh", "-c", std::string(TABEXP_PATH) + " app/app@" + db_ + " FILE=" + dump + " OWNER=APP > " + both + " 2>&1"},
      {kNls});
  EXPECT_EQ(0, sh.status);
  std::string text = ReadFile(both);
  size_t progress = text.find(". . exporting table");
  EXPECT_NE(std::string::npos, progress) << text;
  EXPECT_LT(progress, text.find("Export terminated successfully.")) << text;

  Sys("CREATE PUBLIC SYNONYM t_everywhere FOR app.t;\n");
  r = Exp({"FILE=" + dump, "OWNER=APP"});
  EXPECT_EQ(1, r.status) << r.err;
  EXPECT_TRUE(Contains(r.out + r.err, "T_EVERYWHERE")) << r.out << r.err;
  EXPECT_TRUE(Contains(r.err, kExpWarned)) << r.err;
  Sys("DROP PUBLIC SYNONYM t_everywhere;\n");

  // A client character set that cannot hold the database's.
  r = Exp({"FILE=" + dump, "OWNER=APP"}, "app/app", "", {"NLS_LANG=AMERICAN_AMERICA.US7ASCII"});
  EXPECT_EQ(1, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, kExpWarned)) << r.err;

  Sys("CREATE USER plain IDENTIFIED BY pw;\nGRANT CREATE SESSION TO plain;\n"
      "GRANT SELECT ON app.t TO plain;\n");
  struct Refusal {
    std::string owner, user, message;
  } refusals[] = {
      {"NOSUCH", "app/app", "User \"NOSUCH\" does not exist."},
      {"\"app\"", "app/app", "User \"app\" does not exist."},
      {"APP", "plain/pw", "User \"PLAIN\" may not export the schema of user \"APP\""},
  };
  for (const Refusal& f : refusals) {
    std::string fresh = dir_.file("fresh.dmp");
    r = Exp({"FILE=" + fresh, "OWNER=" + f.owner}, f.user);
    EXPECT_EQ(255, r.status) << f.owner << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, f.message)) << r.err;
    EXPECT_TRUE(Contains(r.err, kExpFailed)) << r.err;
    EXPECT_FALSE(Contains(r.out + r.err, "ORA-31603")) << r.err;
    EXPECT_NE(0, access(fresh.c_str(), F_OK)) << f.owner << ": a dump was written";
  }
  // An ordinary user exports its own schema.
  Sys("CREATE TABLE plain.mine (n NUMBER);\n");
  r = Exp({"FILE=" + dump, "OWNER=PLAIN"}, "plain/pw");
  EXPECT_EQ(0, r.status) << r.err;
}

}  // namespace
}  // namespace reltest
