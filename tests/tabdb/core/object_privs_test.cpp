// object_privs_test.cpp - object privileges and who may see what: GRANT and
// REVOKE ON objects, their checks on queries, DML and DDL, the rights a
// materialized view's query runs with, the privilege dictionary views,
// GRANT ... IDENTIFIED BY, and sessions whose user is dropped, whose role
// is revoked, or which keep their user from being dropped.
#include <sys/wait.h>
#include <unistd.h>

#include "catalog_test_util.h"
#include "exec/engine.h"
#include "util/errors.h"

namespace cattest {
namespace {

class PrivsTest : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP");
    bob_ = NewUser("BOB");
    Run(*app_, "CREATE TABLE t (a NUMBER PRIMARY KEY, b VARCHAR2(10))");
    ASSERT_TRUE(Exec(*app_, "INSERT INTO t VALUES (1, 'x')").ok());
    ASSERT_TRUE(app_->Commit().ok());
  }

  // Runs any statement through the engine; a query is read to its end and
  // its row count left in *rows.
  static Status Exec(Session& s, const std::string& text, int* rows = nullptr) {
    tabdb::ExecResult r;
    Status st = tabdb::ExecuteText(s, text, &r);
    if (!st.ok() || !r.result) return st;
    int n = 0;
    while (true) {
      bool row = false;
      st = r.result->Next(&row);
      if (!st.ok() || !row) break;
      ++n;
    }
    if (rows) *rows = n;
    return st;
  }
  static int Code(Session& s, const std::string& text) { return Exec(s, text).code(); }

  std::unique_ptr<Session> app_, bob_;
};

TEST_F(PrivsTest, GrantsDecideWhatAnotherSchemaReaches) {
  // Nothing granted: the table is missing, with the same text as a missing one.
  Status none = Exec(*bob_, "SELECT * FROM app.t");
  EXPECT_EQ(none.text(), Exec(*bob_, "SELECT * FROM app.nosuch").text());
  EXPECT_EQ(none.code(), 942);
  EXPECT_EQ(Code(*bob_, "INSERT INTO app.t VALUES (2, 'y')"), 942);

  Run(*app_, "GRANT SELECT ON t TO bob");
  int rows = 0;
  ASSERT_TRUE(Exec(*bob_, "SELECT a, b FROM app.t", &rows).ok());
  EXPECT_EQ(rows, 1);
  // Visible now, but the action is not granted.
  EXPECT_EQ(Code(*bob_, "INSERT INTO app.t VALUES (2, 'y')"), 1031);
  EXPECT_EQ(Code(*bob_, "UPDATE app.t SET b = 'z'"), 1031);
  EXPECT_EQ(Code(*bob_, "DELETE FROM app.t"), 1031);
  EXPECT_EQ(Ddl(*bob_, "CREATE INDEX bob_i ON app.t (b)").code(), 1031);

  Run(*app_, "GRANT INSERT, UPDATE ON app.t TO bob");
  EXPECT_TRUE(Exec(*bob_, "INSERT INTO app.t VALUES (2, 'y')").ok());
  EXPECT_TRUE(Exec(*bob_, "UPDATE app.t SET b = 'z' WHERE a = 2").ok());
  EXPECT_EQ(Code(*bob_, "DELETE FROM app.t"), 1031);
  ASSERT_TRUE(bob_->Commit().ok());

  // REVOKE takes effect at the next statement of the open session.
  Run(*app_, "REVOKE SELECT, INSERT, UPDATE ON t FROM bob");
  EXPECT_EQ(Code(*bob_, "SELECT * FROM app.t"), 942);

  // PUBLIC grants reach everyone; ALL gives every table privilege.
  Run(*app_, "GRANT ALL ON t TO PUBLIC");
  EXPECT_TRUE(Exec(*bob_, "DELETE FROM app.t WHERE a = 2").ok());
  ASSERT_TRUE(bob_->Commit().ok());
  Run(*app_, "REVOKE ALL PRIVILEGES ON t FROM PUBLIC");
  EXPECT_EQ(Code(*bob_, "DELETE FROM app.t"), 942);
}

// A view passes on a privilege only on sources its owner holds WITH GRANT
// OPTION (ORA-01720), through views of its own and subqueries too; its own
// tables need nothing; dictionary views are SYS's.
TEST_F(PrivsTest, ViewGrantsNeedTheGrantOptionOnOtherSchemasSources) {
  auto carol = NewUser("CAROL");
  Run(*app_, "GRANT SELECT ON t TO bob");
  Run(*bob_, "CREATE TABLE own (a NUMBER)");
  Run(*bob_, "CREATE VIEW v AS SELECT * FROM app.t");
  Run(*bob_, "CREATE VIEW v2 AS SELECT a FROM own WHERE a IN (SELECT a FROM app.t)");
  Run(*bob_, "CREATE VIEW v3 AS SELECT * FROM v");
  Run(*bob_, "CREATE VIEW mine AS SELECT * FROM own");
  for (const char* view : {"v", "v2", "v3"}) {
    Status st = Ddl(*bob_, std::string("GRANT SELECT ON ") + view + " TO carol");
    EXPECT_EQ(st.code(), 1720) << view;
    EXPECT_NE(st.text().find("grant option does not exist for 'APP.T'"), std::string::npos) << st.text();
  }
  EXPECT_TRUE(Ddl(*bob_, "GRANT SELECT ON mine TO carol").ok());
  // a DBA granting on BOB's view: BOB still lacks the grant option
  EXPECT_EQ(Ddl(*sys_, "GRANT SELECT ON bob.v TO carol").code(), 1720);
  int rows = 0;
  EXPECT_EQ(Exec(*carol, "SELECT * FROM bob.v", &rows).code(), 942);

  Run(*app_, "GRANT SELECT ON t TO bob WITH GRANT OPTION");
  EXPECT_TRUE(Ddl(*bob_, "GRANT SELECT ON v3 TO carol").ok());
  ASSERT_TRUE(Exec(*carol, "SELECT * FROM bob.v3", &rows).ok());
  EXPECT_EQ(rows, 1);

  // The dictionary is SYS's: PUBLIC holds the ALL_ and USER_ views and DUAL
  // with the grant option, no one but SYS the V$ and DBA_ views.
  const char* dict[][2] = {{"v$session", "SYS.V_$SESSION"}, {"sys.dba_users", "SYS.DBA_USERS"},
                           {"all_tables", nullptr}, {"dual", nullptr}};
  for (auto& d : dict) {
    std::string view = "over" + std::to_string(&d - dict);
    Run(*sys_, "CREATE VIEW " + view + " AS SELECT * FROM " + d[0]);
    Status st = Ddl(*sys_, "GRANT SELECT ON " + view + " TO carol");
    EXPECT_EQ(st.text(), d[1] ? std::string("ORA-01720: grant option does not exist for '") + d[1] + "'" : "");
  }
  EXPECT_EQ(Code(*carol, "SELECT * FROM system.over0"), 942);
}

// A synonym never carries a grant through to another schema's object: a
// DBA granting on BOB's synonym for APP.T, or on a public synonym, acts
// with its own rights on APP.T, which hold no grant option (ORA-01031). A
// synonym for an object of its own schema grants as before.
TEST_F(PrivsTest, SynonymsCarryNoDbaGrantToAnotherSchema) {
  auto carol = NewUser("CAROL");
  Run(*bob_, "CREATE TABLE own (a NUMBER)");
  Run(*bob_, "CREATE SYNONYM s FOR app.t");
  Run(*bob_, "CREATE SYNONYM s_own FOR own");
  EXPECT_EQ(Ddl(*sys_, "GRANT SELECT ON bob.s TO carol").code(), 1031);
  Run(*sys_, "CREATE PUBLIC SYNONYM pub_t FOR app.t");
  EXPECT_EQ(Ddl(*sys_, "GRANT SELECT ON pub_t TO carol").code(), 1031);
  EXPECT_EQ(Exec(*carol, "SELECT * FROM app.t").code(), 942);
  EXPECT_TRUE(Ddl(*sys_, "GRANT SELECT ON bob.s_own TO carol").ok());
  // named directly, the DBA still grants on another schema's object
  EXPECT_TRUE(Ddl(*sys_, "GRANT SELECT ON app.t TO carol").ok());
}

// A materialized view's query runs with its owner's direct grants: a DBA
// making it in the owner's schema (as an import does) or refreshing it
// lends it nothing, nor does the owner's own DBA role. The first failing
// step of each attack gives `code`, and the view holds none of APP's rows.
TEST_F(PrivsTest, MaterializedViewsReadWithTheirOwnersDirectGrantsOnly) {
  auto admin = NewUser("ADMIN", true);
  for (const char* ddl : {"CREATE SYNONYM s FOR app.t", "CREATE TABLE pre (a NUMBER, b VARCHAR2(10))",
                          "CREATE SYNONYM later FOR pre"})
    Run(*bob_, ddl);
  ASSERT_TRUE(Exec(*bob_, "CREATE MATERIALIZED VIEW repointed BUILD DEFERRED AS SELECT * FROM later").ok());
  Run(*bob_, "CREATE OR REPLACE SYNONYM later FOR app.t");
  const std::string mv = "CREATE MATERIALIZED VIEW bob.", refresh = "BEGIN DBMS_MVIEW.REFRESH('BOB.";
  const struct {
    Session* by;
    std::vector<std::string> steps;
    int code;
    std::string view;
  } cases[] = {
      {sys_.get(), {mv + "plain AS SELECT * FROM app.t"}, 1031, "bob.plain"},
      {sys_.get(), {mv + "d BUILD DEFERRED AS SELECT * FROM app.t", refresh + "D'); END;"}, 1031, "bob.d"},
      {sys_.get(), {mv + "via AS SELECT * FROM s"}, 1031, "bob.via"},
      {sys_.get(), {mv + "sq AS SELECT (SELECT b FROM app.t WHERE ROWNUM = 1) b FROM dual"}, 1031, "bob.sq"},
      {sys_.get(), {mv + "pre ON PREBUILT TABLE AS SELECT * FROM app.t", refresh + "PRE'); END;"}, 1031, "bob.pre"},
      {sys_.get(), {refresh + "REPOINTED'); END;"}, 12008, "bob.repointed"},
      {admin.get(), {"CREATE MATERIALIZED VIEW mine AS SELECT * FROM app.t"}, 1031, "admin.mine"}};
  for (const auto& c : cases) {
    Status st;
    for (size_t i = 0; i < c.steps.size() && st.ok(); ++i) st = Exec(*c.by, c.steps[i]);
    EXPECT_EQ(st.code(), c.code) << c.steps[0] << "\n" << st.text();
    if (c.code == 12008) {  // with what the owner's query met
      EXPECT_NE(st.text().find("\nORA-00942"), std::string::npos) << st.text();
    }
    int rows = 0;
    Status read = Exec(*sys_, "SELECT * FROM " + c.view, &rows);
    EXPECT_TRUE(read.code() == 942 || (read.ok() && rows == 0)) << c.view << " " << read.text();
  }
  Run(*app_, "GRANT SELECT ON t TO bob");
  int rows = 0;
  ASSERT_TRUE(Exec(*sys_, refresh + "REPOINTED'); END;").ok());
  ASSERT_TRUE(Exec(*bob_, "SELECT * FROM repointed", &rows).ok());
  EXPECT_EQ(rows, 1);
}

TEST_F(PrivsTest, GrantAndRevokeMisuse) {
  // Granting on an object one may not see is granting on a missing one.
  EXPECT_EQ(Ddl(*bob_, "GRANT SELECT ON app.t TO bob").code(), 942);
  EXPECT_EQ(Ddl(*app_, "GRANT SELECT ON nosuch TO bob").code(), 942);
  EXPECT_EQ(Ddl(*app_, "GRANT SELECT ON t TO nobody").code(), 1917);
  EXPECT_EQ(Ddl(*app_, "GRANT SELECT ON t TO app").code(), 1749);
  EXPECT_EQ(Ddl(*app_, "GRANT FLY ON t TO bob").code(), 990);
  EXPECT_EQ(Ddl(*app_, "REVOKE SELECT ON t FROM bob").code(), 1927);
  // Column privileges are not carried.
  EXPECT_EQ(Ddl(*app_, "GRANT UPDATE (b) ON t TO bob").code(), 3001);

  // Passing a privilege on needs GRANT OPTION.
  auto carl = NewUser("CARL");
  Run(*app_, "GRANT SELECT ON t TO bob");
  EXPECT_EQ(Ddl(*bob_, "GRANT SELECT ON app.t TO carl").code(), 1031);
  Run(*app_, "GRANT SELECT ON t TO bob WITH GRANT OPTION");
  Run(*bob_, "GRANT SELECT ON app.t TO carl");
  EXPECT_TRUE(Exec(*carl, "SELECT * FROM app.t").ok());
  // Revoking it from BOB takes what BOB passed on with it.
  Run(*app_, "REVOKE SELECT ON t FROM bob");
  EXPECT_EQ(Code(*carl, "SELECT * FROM app.t"), 942);

  // A DBA grants on any schema's objects in the owner's name.
  Run(*sys_, "GRANT SELECT ON app.t TO bob");
  EXPECT_EQ(View(*bob_, "USER_TAB_PRIVS", "GRANTOR || ',' || OWNER"),
            std::vector<std::string>{"APP,APP"});
  // Grants go with the table.
  Run(*app_, "DROP TABLE t");
  EXPECT_EQ(Query(*sys_, "SELECT count(*) FROM tab$privs"), std::vector<std::string>{"0"});
}

TEST_F(PrivsTest, PrivilegeViews) {
  Run(*app_, "GRANT SELECT, INSERT ON t TO bob WITH GRANT OPTION");
  Run(*app_, "GRANT SELECT ON t TO PUBLIC");
  const char* cols = "GRANTEE || ',' || OWNER || ',' || TABLE_NAME || ',' || GRANTOR || ',' || "
                     "PRIVILEGE || ',' || GRANTABLE || ',' || HIERARCHY";
  EXPECT_EQ(View(*bob_, "USER_TAB_PRIVS", cols, "1 ORDER BY 1"),
            (std::vector<std::string>{"BOB,APP,T,APP,INSERT,YES,NO", "BOB,APP,T,APP,SELECT,YES,NO"}));
  EXPECT_EQ(View(*bob_, "USER_TAB_PRIVS_RECD", "PRIVILEGE", "1 ORDER BY 1"),
            (std::vector<std::string>{"INSERT", "SELECT"}));
  EXPECT_EQ(View(*app_, "USER_TAB_PRIVS_MADE", "GRANTEE || ':' || PRIVILEGE", "1 ORDER BY 1"),
            (std::vector<std::string>{"BOB:INSERT", "BOB:SELECT", "PUBLIC:SELECT"}));
  // ALL_ shows grants to the user and to PUBLIC, with TABLE_SCHEMA.
  EXPECT_EQ(View(*bob_, "ALL_TAB_PRIVS", "GRANTEE || ':' || TABLE_SCHEMA || ':' || PRIVILEGE",
                 "1 ORDER BY 1"),
            (std::vector<std::string>{"BOB:APP:INSERT", "BOB:APP:SELECT", "PUBLIC:APP:SELECT"}));
  auto carl = NewUser("CARL");
  EXPECT_EQ(View(*carl, "USER_TAB_PRIVS", "PRIVILEGE"), std::vector<std::string>{});
  EXPECT_EQ(View(*sys_, "DBA_TAB_PRIVS", "count(*)"), std::vector<std::string>{"3"});
  tabdb::DictionaryView v;
  Status st;
  ASSERT_TRUE(tabdb::FindDictionaryView(*bob_, "DBA_TAB_PRIVS", &v, &st));
  EXPECT_EQ(st.code(), 942);

  // Roles and system privileges granted to users.
  Run(*sys_, "GRANT CONNECT, RESOURCE TO bob");
  Run(*sys_, "GRANT CREATE SESSION, CREATE TABLE TO bob");
  EXPECT_EQ(View(*bob_, "USER_ROLE_PRIVS", "GRANTED_ROLE", "1 ORDER BY 1"),
            (std::vector<std::string>{"CONNECT", "RESOURCE"}));
  EXPECT_EQ(View(*bob_, "USER_SYS_PRIVS", "PRIVILEGE", "1 ORDER BY 1"),
            (std::vector<std::string>{"CREATE SESSION", "CREATE TABLE"}));
  Run(*sys_, "REVOKE RESOURCE FROM bob");
  EXPECT_EQ(View(*sys_, "DBA_ROLE_PRIVS", "GRANTEE || ':' || GRANTED_ROLE",
                 "GRANTEE IN ('BOB', 'SYSTEM') ORDER BY 1"),
            (std::vector<std::string>{"BOB:CONNECT", "SYSTEM:DBA"}));
}

TEST_F(PrivsTest, OtherSchemasIndexLooksMissingWhenItsTableIsNotVisible) {
  auto sec = NewUser("SEC");
  Run(*sec, "CREATE TABLE secret (ssn NUMBER)");
  Run(*sec, "CREATE UNIQUE INDEX secret_ssn ON secret (ssn)");
  Run(*bob_, "CREATE TABLE mine (ssn NUMBER)");
  Status hidden = Ddl(*bob_, "ALTER TABLE mine ADD PRIMARY KEY (ssn) USING INDEX sec.secret_ssn");
  Status missing = Ddl(*bob_, "ALTER TABLE mine ADD PRIMARY KEY (ssn) USING INDEX sec.nosuch");
  EXPECT_EQ(hidden.code(), 1418);
  EXPECT_EQ(hidden.text(), missing.text());
}

TEST_F(PrivsTest, GrantIdentifiedByCreatesTheUser) {
  Run(*sys_, "GRANT CONNECT, RESOURCE TO newbie IDENTIFIED BY Secret1");
  EXPECT_TRUE(Logon("NEWBIE", "Secret1"));
  // An existing user gets the new password.
  Run(*sys_, "GRANT CONNECT TO newbie IDENTIFIED BY other");
  EXPECT_TRUE(Logon("NEWBIE", "other"));
  EXPECT_EQ(Ddl(*app_, "GRANT CONNECT TO x2 IDENTIFIED BY pw").code(), 1031);
}

TEST_F(PrivsTest, SessionsNeverOutliveTheirRights) {
  // A connected user cannot be dropped; once its session ends it can.
  EXPECT_EQ(Ddl(*sys_, "DROP USER bob").code(), 1940);
  bob_.reset();
  Run(*sys_, "DROP USER bob");

  // A revoked DBA role acts at the next statement of the open session.
  auto boss = NewUser("BOSS", true);
  EXPECT_TRUE(Ddl(*boss, "CREATE USER u1 IDENTIFIED BY x").ok());
  Run(*sys_, "REVOKE DBA FROM boss");
  EXPECT_EQ(Ddl(*boss, "ALTER USER system IDENTIFIED BY hacked").code(), 1031);
  EXPECT_EQ(Code(*boss, "SELECT * FROM app.t"), 942);

  // A session whose user vanished (a file changed under it) acts no
  // more, not even for a new user of the same name.
  auto eve = NewUser("EVE");
  Run(*sys_, "GRANT SELECT ON app.t TO eve");
  ASSERT_TRUE(Exec(*eve, "SELECT * FROM app.t").ok());
  Query(*sys_, "DELETE FROM tab$users WHERE name = 'EVE'");
  Run(*sys_, "CREATE USER eve IDENTIFIED BY pw");
  auto eve2 = Logon("EVE", "pw");
  Run(*eve2, "CREATE TABLE diary (d VARCHAR2(10))");
  EXPECT_EQ(Code(*eve, "SELECT * FROM diary"), 28);
  EXPECT_EQ(Code(*eve, "SELECT * FROM dual"), 1012);
  EXPECT_TRUE(Exec(*eve2, "SELECT * FROM diary").ok());
}

TEST_F(PrivsTest, SessionsOfOtherProcessesHoldTheirUser) {
  app_.reset();
  int ready[2], go[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    ::close(go[1]);
    // Another process with a session of APP; it ends without closing it,
    // as a crash would.
    std::unique_ptr<Database> d;
    std::unique_ptr<Session> s;
    bool ok = Database::Open(path_, &d).ok() &&
              tabdb::OpenSession(std::shared_ptr<Database>(std::move(d)), "APP", "pw", &s).ok();
    char c = ok ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(go[0], &c, 1);
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(go[0]);
  // The child ends when `go` closes, also when an assertion below fails.
  struct Reap {
    int fd;
    pid_t pid;
    ~Reap() {
      if (fd >= 0) ::close(fd);
      int st = 0;
      ::waitpid(pid, &st, 0);
    }
  } reap{go[1], child};
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  EXPECT_EQ(Ddl(*sys_, "DROP USER app CASCADE").code(), 1940);
  ::close(go[1]);
  reap.fd = -1;
  int status = 0;
  ::waitpid(child, &status, 0);
  Run(*sys_, "DROP USER app CASCADE");
  ::close(ready[0]);
}

// Statements the database cannot carry fail as unimplemented, naming what
// is not carried, never with a syntax error on some later word.
TEST(UncarriedStatements, GiveUnimplementedFeature) {
  const char* const texts[][2] = {
      {"CREATE TABLE p (a NUMBER) ORGANIZATION EXTERNAL (TYPE oracle_loader DEFAULT DIRECTORY d)",
       "ORGANIZATION EXTERNAL"},
      {"CREATE TABLE p (a NUMBER) CLUSTER c (a)", "CLUSTER"},
      {"CREATE TABLE p (a NUMBER, x XMLTYPE)", "XMLTYPE column"},
      {"CREATE TABLE p (a NUMBER, g SDO_GEOMETRY)", "SDO_GEOMETRY column"},
      {"CREATE TABLE p (a NUMBER, o app.address_t)", "column of object type APP.ADDRESS_T"},
      {"CREATE CLUSTER c (a NUMBER)", "CREATE CLUSTER"},
      // CREATE TYPE itself is stored code, kept as source like procedures;
      // only a column of an object type cannot be carried
      {"CREATE TABLE p (a NUMBER, f BFILE)", "BFILE column"},
      {"CREATE TABLE p (a NUMBER, n NUMBER) NESTED TABLE n STORE AS n_tab", "NESTED TABLE"},
      {"CREATE TABLE p (a NUMBER) INMEMORY", "INMEMORY"},
      {"CREATE PRIVATE TEMPORARY TABLE ora$ptt_g (a NUMBER) ON COMMIT DROP DEFINITION",
       "CREATE PRIVATE TEMPORARY TABLE"},
      {"CREATE DATABASE LINK remote CONNECT TO u IDENTIFIED BY p USING 'x'",
       "CREATE DATABASE LINK"},
      {"CREATE PUBLIC DATABASE LINK remote USING 'x'", "CREATE DATABASE LINK"},
      {"CREATE OR REPLACE DIRECTORY d AS '/tmp'", "CREATE DIRECTORY"},
      {"CREATE ROLE app_role", "CREATE ROLE"},
      {"CREATE TABLESPACE ts DATAFILE 'ts.dbf' SIZE 10M", "CREATE TABLESPACE"},
      {"CREATE INDEX i ON t (a) INDEXTYPE IS ctxsys.context", "INDEXTYPE IS"},
      {"ALTER TABLE t MOVE TABLESPACE users", "ALTER TABLE MOVE"},
      {"ALTER TABLE t NOLOGGING", "ALTER TABLE NOLOGGING"},
      {"ALTER INDEX i REBUILD", "ALTER INDEX"},
      {"ALTER MATERIALIZED VIEW mv COMPILE", "ALTER MATERIALIZED VIEW"},
      {"ALTER SYSTEM SET processes = 100", "ALTER SYSTEM"},
      {"DROP PUBLIC DATABASE LINK remote", "DROP DATABASE LINK"},
      {"DROP ROLE app_role", "DROP ROLE"},
      {"MERGE INTO t USING s ON (t.a = s.a) WHEN MATCHED THEN UPDATE SET t.b = s.b", "MERGE"},
      {"SAVEPOINT before_load", "SAVEPOINT"},
      {"ROLLBACK TO SAVEPOINT before_load", "ROLLBACK TO SAVEPOINT"},
      {"ANALYZE TABLE t COMPUTE STATISTICS", "ANALYZE"},
      {"EXPLAIN PLAN FOR SELECT * FROM t", "EXPLAIN PLAN"},
      {"PURGE RECYCLEBIN", "PURGE"},
      {"COMMENT ON MATERIALIZED VIEW mv IS 'x'", "COMMENT ON MATERIALIZED VIEW"},
      {"GRANT READ ON DIRECTORY d TO u", "GRANT ON DIRECTORY"},
      {"GRANT DBA TO u WITH ADMIN OPTION", "WITH ADMIN OPTION"},
  };
  for (const auto& t : texts) {
    std::unique_ptr<tabdb::sql::Statement> st;
    EXPECT_EQ(tabdb::sql::Parse(t[0], &st).text(),
              std::string("ORA-03001: unimplemented feature: ") + t[1])
        << t[0];
  }
  // Statements the database does not know at all keep Oracle's errors.
  std::unique_ptr<tabdb::sql::Statement> st;
  EXPECT_EQ(tabdb::sql::Parse("FROBNICATE t", &st).code(), 900);
  EXPECT_EQ(tabdb::sql::Parse("CREATE FROB x", &st).code(), 901);
  EXPECT_EQ(tabdb::sql::Parse("DROP FROB x", &st).code(), 950);
}

}  // namespace
}  // namespace cattest
