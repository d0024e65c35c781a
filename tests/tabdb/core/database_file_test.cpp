// database_file_test.cpp - a database file is data: files with planted
// triggers, views or SQL in physical names are refused when opened, and a
// stored password hash asking for absurd work fails the logon at once.
#include <openssl/evp.h>
#include <sqlite3.h>

#include <string>

#include "oci_fixture.h"
#include "storage/database.h"

namespace ocitest {
namespace {

class DatabaseFileTest : public OciTest {
 protected:
  // Changes the file behind the engine's back, as someone handing over a
  // crafted file would.
  void Plant(const std::string& sql) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
    char* msg = nullptr;
    int rc = sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, &msg);
    std::string text = msg ? msg : "";
    sqlite3_free(msg);
    sqlite3_close(raw);
    ASSERT_EQ(rc, SQLITE_OK) << sql << "\n" << text;
  }

  // The Oracle error of opening the file (0 when it opens).
  int OpenCode() {
    std::unique_ptr<tabdb::Database> db;
    tabdb::Status st = tabdb::Database::Open(path_, &db);
    return st.ok() ? 0 : st.code();
  }
};

TEST_F(DatabaseFileTest, PlantedTriggerOnTheCatalogIsRefused) {
  // Would make APP a DBA as soon as a DBA creates a table.
  Plant("CREATE TRIGGER x AFTER INSERT ON tab$objects BEGIN"
        " UPDATE tab$users SET is_dba = 1 WHERE name = 'APP'; END");
  EXPECT_EQ(OpenCode(), 1122);
  Conn dba;
  EXPECT_NE(dba.Open(path_, "system", "manager"), OCI_SUCCESS);
  EXPECT_EQ(dba.ErrorCode(), 1122);
  // Sessions opened before the file changed do not run it either.
  Must(sys_, "CREATE TABLE app.t (a NUMBER)");
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  sqlite3_stmt* q = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT is_dba FROM tab$users WHERE name = 'APP'", -1, &q,
                               nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(q, 0), 0);
  sqlite3_finalize(q);
  sqlite3_close(raw);
}

TEST_F(DatabaseFileTest, ViewsAndForeignObjectsAreRefused) {
  Plant("CREATE VIEW v AS SELECT 1");
  EXPECT_EQ(OpenCode(), 1122);
  Plant("DROP VIEW v; CREATE TABLE other(a)");
  EXPECT_EQ(OpenCode(), 1122);
  Plant("DROP TABLE other; CREATE TABLE t1(a); CREATE INDEX i1 ON t1(a)");
  EXPECT_EQ(OpenCode(), 1122);
  Plant("DROP INDEX i1; CREATE UNIQUE INDEX u5 ON t1(a)");
  EXPECT_EQ(OpenCode(), 0);
}

TEST_F(DatabaseFileTest, PhysicalNameCarryingSqlIsRefused) {
  Must(app_, "CREATE TABLE t (a NUMBER PRIMARY KEY)");
  app_.Close();
  // Would run its UPDATE when a DBA drops the table.
  Plant("UPDATE tab$tables SET phys = phys || '; UPDATE tab$users SET is_dba = 1 --'");
  EXPECT_EQ(OpenCode(), 1122);
  Plant("UPDATE tab$tables SET phys = 't' || obj_id");
  EXPECT_EQ(OpenCode(), 0);
  Plant("UPDATE tab$indexes SET phys = 'u1; DROP TABLE tab$users' WHERE phys IS NOT NULL");
  EXPECT_EQ(OpenCode(), 1122);
}

TEST_F(DatabaseFileTest, AbsurdIterationCountFailsTheLogonAtOnce) {
  Conn c;
  Plant("UPDATE tab$users SET iterations = 2147483647 WHERE name = 'APP'");
  EXPECT_NE(c.Open(path_, "app", "app"), OCI_SUCCESS);
  EXPECT_EQ(c.ErrorCode(), 1017);
  c.Close();
  // Beyond 32 bits: not cut to its low bits (which would be 1000 here).
  Plant("UPDATE tab$users SET iterations = 4294968296 WHERE name = 'APP'");
  Conn d;
  EXPECT_NE(d.Open(path_, "app", "app"), OCI_SUCCESS);
  EXPECT_EQ(d.ErrorCode(), 1017);
  // Other users still log on.
  Conn e;
  EXPECT_EQ(e.Open(path_, "system", "manager"), OCI_SUCCESS) << e.ErrorText();
}

// New passwords get 64-byte SHA-512 hashes; the 32-byte SHA-256 hashes that
// older databases hold still log their users on, with their own count.
TEST_F(DatabaseFileTest, HashesOfOlderDatabasesStillLogOn) {
  std::string salt(16, 's'), old(32, '\0');
  PKCS5_PBKDF2_HMAC("app", 3, reinterpret_cast<const unsigned char*>(salt.data()), 16, 1500,
                    EVP_sha256(), 32, reinterpret_cast<unsigned char*>(old.data()));
  std::string hex;
  for (unsigned char c : old) hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15];
  Plant("UPDATE tab$users SET salt = '" + salt + "', iterations = 1500, hash = x'" + hex +
        "' WHERE name = 'APP'");
  Conn ok, wrong;
  EXPECT_EQ(ok.Open(path_, "app", "app"), OCI_SUCCESS) << ok.ErrorText();
  EXPECT_NE(wrong.Open(path_, "app", "ppa"), OCI_SUCCESS);
  EXPECT_EQ(wrong.ErrorCode(), 1017);
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  sqlite3_stmt* q = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT length(hash) FROM tab$users WHERE name = 'SYSTEM'", -1, &q,
                               nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(q, 0), 64);
  sqlite3_finalize(q);
  sqlite3_close(raw);
}

TEST_F(DatabaseFileTest, ConnectionsAreDefensive) {
  std::unique_ptr<tabdb::Database> db;
  ASSERT_TRUE(tabdb::Database::Open(path_, &db).ok());
  int on = -1;
  sqlite3_db_config(db->handle(), SQLITE_DBCONFIG_DEFENSIVE, -1, &on);
  EXPECT_EQ(on, 1);
  sqlite3_db_config(db->handle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, -1, &on);
  EXPECT_EQ(on, 0);
  // The schema cannot be rewritten through SQL.
  EXPECT_FALSE(db->Exec("PRAGMA writable_schema = ON;"
                        " UPDATE sqlite_schema SET sql = sql WHERE name = 'tab$users'")
                   .ok());
}

TEST_F(DatabaseFileTest, AnOlderCatalogGetsTheNewerTablesAndColumnsWhenOpened) {
  // A file of the first catalog format: no sequences, privileges or
  // constraint states.
  Must(sys_, "CREATE TABLE app.t (a NUMBER PRIMARY KEY)");
  Plant("DROP TABLE tab$sequences; DROP TABLE tab$privs; DROP INDEX tab$constraints_r;"
        " ALTER TABLE tab$constraints DROP COLUMN r_cons_id;"
        " ALTER TABLE tab$constraints DROP COLUMN delete_rule;"
        " ALTER TABLE tab$constraints DROP COLUMN is_deferrable;"
        " ALTER TABLE tab$constraints DROP COLUMN is_deferred;"
        " ALTER TABLE tab$constraints DROP COLUMN validated");
  EXPECT_EQ(OpenCode(), 0);
  // Opened twice: the second open finds every step applied.
  EXPECT_EQ(OpenCode(), 0);
  Conn app;
  ASSERT_EQ(app.Open(path_, "app", "app"), OCI_SUCCESS) << app.ErrorText();
  Must(app, "CREATE SEQUENCE s");
  Must(app, "INSERT INTO t VALUES (s.NEXTVAL)");
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  sqlite3_stmt* q = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw,
                               "SELECT delete_rule, is_deferrable, validated FROM tab$constraints",
                               -1, &q, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)), "NO ACTION");
  EXPECT_EQ(sqlite3_column_int(q, 1), 0);
  EXPECT_EQ(sqlite3_column_int(q, 2), 1);
  sqlite3_finalize(q);
  sqlite3_close(raw);
}

// A file made before the catalog's lookup indexes gets them when opened,
// and its objects stay usable.
TEST_F(DatabaseFileTest, AnOlderCatalogGetsTheLookupIndexesWhenOpened) {
  Must(sys_, "CREATE TABLE app.t (a NUMBER CONSTRAINT t_pk PRIMARY KEY, b NUMBER CHECK (b > 0))");
  Must(sys_, "CREATE INDEX app.t_b ON app.t (b)");
  Plant("DROP INDEX tab$constraints_table; DROP INDEX tab$constraints_index; DROP INDEX tab$indexes_table");
  EXPECT_EQ(OpenCode(), 0);
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  sqlite3_stmt* q = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw,
                               "SELECT count(*) FROM sqlite_schema WHERE type = 'index' AND name IN"
                               " ('tab$constraints_table', 'tab$constraints_index', 'tab$indexes_table')",
                               -1, &q, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(q, 0), 3);
  sqlite3_finalize(q);
  sqlite3_close(raw);
  Conn app;
  ASSERT_EQ(app.Open(path_, "app", "app"), OCI_SUCCESS) << app.ErrorText();
  Must(app, "INSERT INTO t VALUES (1, 1)");
  EXPECT_EQ(Exec(app, "INSERT INTO t VALUES (1, 2)"), 1);
  EXPECT_EQ(Exec(app, "INSERT INTO t VALUES (2, 0)"), 2290);
}

}  // namespace
}  // namespace ocitest
