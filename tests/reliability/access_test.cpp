// access_test.cpp - what a user may reach through the programs: an ordinary
// user exports and imports only its own schema, a failed logon tells
// nothing about whether the user exists, and database files are private.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "rel_fixture.h"

namespace reltest {
namespace {

using testsupport::ProcResult;
using testsupport::ReadFile;

class Access : public RelTest {
 protected:
  void SetUp() override {
    RelTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(Sys("CREATE TABLE app.secret (id NUMBER, what VARCHAR2(20));\n"
                                "INSERT INTO app.secret VALUES (1, 'salary');\n"
                                "CREATE USER plain IDENTIFIED BY plain;\n"
                                "CREATE TABLE plain.mine (n NUMBER);\n"
                                "INSERT INTO plain.mine VALUES (5);\n"));
  }
};

// A user without DBA may not read another schema: the export of that
// owner is refused once, before a dump is written; its own schema exports
// as usual.
TEST_F(Access, AnOrdinaryUserExportsOnlyItsOwnTables) {
  std::string file = dir_.file("other.dmp");
  ProcResult r = Export("APP", file, {}, "plain/plain");
  EXPECT_EQ(255, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, "User \"PLAIN\" may not export the schema of user \"APP\"")) << r.err;
  EXPECT_NE(0, access(file.c_str(), F_OK)) << "a dump was written";
  DumpFile d;
  std::string why;

  r = Export("PLAIN", file, {}, "plain/plain");
  EXPECT_EQ(0, r.status) << r.err;
  ASSERT_TRUE(ParseDump(ReadFile(file), &d, &why)) << why;
  ASSERT_EQ(1u, d.tables.size());
  EXPECT_EQ("MINE", d.tables[0].name);
}

// A user without DBA cannot put tables into another schema: TOUSER=APP
// fails with 255 and APP is unchanged; into its own schema it works.
TEST_F(Access, AnOrdinaryUserCannotImportIntoAnotherSchema) {
  std::string file = dir_.file("plain.dmp");
  ASSERT_EQ(0, Export("PLAIN", file, {}, "plain/plain").status);
  std::string before = SchemaPicture(db_, "APP");
  ProcResult r = Import(file, "APP", {}, "plain/plain");
  EXPECT_EQ(255, r.status) << r.err;
  EXPECT_FALSE(Contains(r.err, kImpDone));
  EXPECT_TRUE(Contains(r.err, "ORA-01031") || Contains(r.err, "ORA-01435")) << r.err;
  EXPECT_EQ(before, SchemaPicture(db_, "APP"));

  // its own schema, as the table's owner again (IGNORE=Y: the table exists)
  r = testsupport::Run({TABIMP_PATH, "plain/plain@" + db_, "FILE=" + file, "IGNORE=Y"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(2, Count("plain.mine"));
}

// A wrong password and an unknown user get the same answer, word for word,
// from both programs.
TEST_F(Access, AFailedLogonDoesNotTellWhetherTheUserExists) {
  std::string file = dir_.file("x.dmp");
  ASSERT_EQ(0, Export("APP", file).status);
  struct Program {
    const char* name;
    std::vector<std::string> (*argv)(const std::string& userid, const std::string& file);
  } programs[] = {
      {"tabexp", [](const std::string& u, const std::string& f) {
         return std::vector<std::string>{TABEXP_PATH, u, "FILE=" + f + ".out", "OWNER=APP"};
       }},
      {"tabimp", [](const std::string& u, const std::string& f) {
         return std::vector<std::string>{TABIMP_PATH, u, "FILE=" + f};
       }},
  };
  for (const Program& p : programs) {
    ProcResult wrong = testsupport::Run(p.argv("app/wrong@" + db_, file), {kNls});
    ProcResult unknown = testsupport::Run(p.argv("nobody/wrong@" + db_, file), {kNls});
    EXPECT_EQ(255, wrong.status) << p.name;
    EXPECT_EQ(255, unknown.status) << p.name;
    EXPECT_TRUE(Contains(wrong.err, "Connect to oracle:\nORA-01017: invalid username/password; logon denied\n"))
        << p.name << "\n" << wrong.err;
    EXPECT_EQ(wrong.err, unknown.err) << p.name;
    EXPECT_EQ(wrong.out, unknown.out) << p.name;
  }
  EXPECT_FALSE(Contains(ReadFile(file + ".out"), "Tabdump"));  // no dump written without a session
}

// A database file and its companion files are readable by their owner
// only, whatever the creating process's umask.
TEST_F(Access, DatabaseFilesArePrivateWhateverTheUmask) {
  std::string db = dir_.file("open.db");
  mode_t old = umask(0);
  testsupport::CreateDatabase(db, "manager");
  umask(old);
  Session s;
  ASSERT_EQ("", s.Open(db, "system", "manager"));
  ASSERT_EQ("", s.Exec("CREATE TABLE t (n NUMBER)"));
  ASSERT_EQ("", s.Exec("INSERT INTO t VALUES (1)"));  // the log files now exist
  for (const std::string& f : {db, db + "-wal", db + "-shm"}) {
    struct stat st;
    if (stat(f.c_str(), &st) != 0) {
      EXPECT_NE(f, db) << "no database file";
      continue;
    }
    EXPECT_EQ(0600u, st.st_mode & 0777) << f;
  }
}

}  // namespace
}  // namespace reltest
