// schema_changes_test.cpp - how many times each DDL statement changes
// SQLite's own schema (its schema cookie, PRAGMA schema_version): every
// change costs a scan of SQLite's schema and a walk over all its tables, so
// statements that only touch the catalog must change nothing there, and a
// table with its primary key must be one change. A key whose index came
// with the table can still be dropped and disabled.
#include <string>

#include "catalog_test_util.h"
#include "exec/engine.h"

namespace cattest {
namespace {

class SchemaChanges : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP", true);
    ASSERT_TRUE(app_);
  }

  int SchemaVersion() {
    std::vector<std::string> rows = Query(*app_, "PRAGMA schema_version");
    return rows.empty() ? -1 : std::stoi(rows[0]);
  }

  // The number of SQLite schema changes the DDL statement made.
  int ChangesOf(const std::string& ddl) {
    int before = SchemaVersion();
    Status st = Ddl(*app_, ddl);
    EXPECT_TRUE(st.ok()) << ddl << "\n" << st.text();
    return SchemaVersion() - before;
  }

  // The physical table of APP's table `name`.
  std::string Phys(const std::string& name) {
    std::vector<std::string> rows = Query(
        *app_, "SELECT t.phys FROM tab$tables t JOIN tab$objects o ON o.obj_id = t.obj_id"
               " WHERE o.owner = 'APP' AND o.name = '" + name + "'");
    return rows.empty() ? "missing" : rows[0];
  }

  Status Sql(const std::string& text) {
    tabdb::ExecResult r;
    return tabdb::ExecuteText(*app_, text, &r);
  }

  std::unique_ptr<Session> app_;
};

TEST_F(SchemaChanges, CatalogOnlyStatementsLeaveSqliteSchemaAlone) {
  ASSERT_EQ(1, ChangesOf("CREATE TABLE p (id NUMBER CONSTRAINT p_pk PRIMARY KEY, v VARCHAR2(10))"));
  ASSERT_EQ(1, ChangesOf("CREATE TABLE c (id NUMBER CONSTRAINT c_pk PRIMARY KEY, p NUMBER, n NUMBER)"));
  for (const char* ddl : {"COMMENT ON TABLE c IS 'child'", "COMMENT ON COLUMN c.n IS 'n'",
                          "ALTER TABLE c ADD CONSTRAINT c_ck CHECK (n > 0)",
                          "ALTER TABLE c ADD CONSTRAINT c_fk FOREIGN KEY (p) REFERENCES p (id)",
                          "ALTER TABLE c MODIFY (n NOT NULL)", "CREATE INDEX c_ix ON c (n)",
                          "CREATE SEQUENCE s1", "CREATE VIEW v1 AS SELECT id FROM c",
                          "CREATE SYNONYM y1 FOR c", "GRANT SELECT ON c TO PUBLIC",
                          "ALTER TABLE c DISABLE CONSTRAINT c_fk", "DROP VIEW v1", "DROP SEQUENCE s1"})
    EXPECT_EQ(0, ChangesOf(ddl)) << ddl;
}

TEST_F(SchemaChanges, TableWithKeyIsOneChange) {
  // Inline and out-of-line keys, of one column and of two (the second
  // also needs the index that makes partly-NULL keys conflict).
  EXPECT_EQ(1, ChangesOf("CREATE TABLE a (id NUMBER PRIMARY KEY, v VARCHAR2(10) NOT NULL, n NUMBER CHECK (n > 0))"));
  EXPECT_EQ(1, ChangesOf("CREATE TABLE b (x NUMBER, y NUMBER, CONSTRAINT b_pk PRIMARY KEY (y))"));
  EXPECT_EQ(2, ChangesOf("CREATE TABLE d (x NUMBER, y NUMBER, CONSTRAINT d_pk PRIMARY KEY (x, y))"));
  // A disabled key has no index; a unique key besides the primary key
  // gets its own.
  EXPECT_EQ(1, ChangesOf("CREATE TABLE e (x NUMBER CONSTRAINT e_pk PRIMARY KEY DISABLE)"));
  EXPECT_EQ(2, ChangesOf("CREATE TABLE f (x NUMBER PRIMARY KEY, y NUMBER UNIQUE)"));
}

TEST_F(SchemaChanges, KeyOfTheTableEnforcedDroppedAndMadeAgain) {
  Run(*app_, "CREATE TABLE k (id NUMBER CONSTRAINT k_pk PRIMARY KEY, u NUMBER CONSTRAINT k_uk UNIQUE, v NUMBER)");
  ASSERT_TRUE(Sql("INSERT INTO k VALUES (1, 10, 100)").ok());
  ASSERT_TRUE(Sql("INSERT INTO k VALUES (2, 20, 200)").ok());
  Status st = Sql("INSERT INTO k VALUES (1, 30, 300)");
  EXPECT_EQ(1, st.code()) << st.text();
  EXPECT_NE(std::string::npos, st.text().find("APP.K_PK")) << st.text();

  // Disabling the key makes the table anew without its index: rows,
  // rowids and the other key stay.
  std::vector<std::string> rowids = Query(*app_, "SELECT rowid FROM " + Phys("K") + " ORDER BY rowid");
  Run(*app_, "ALTER TABLE k DISABLE CONSTRAINT k_pk");
  EXPECT_EQ(rowids, Query(*app_, "SELECT rowid FROM " + Phys("K") + " ORDER BY rowid"));
  EXPECT_TRUE(Sql("INSERT INTO k VALUES (1, 30, 300)").ok());
  st = Sql("INSERT INTO k VALUES (3, 10, 400)");
  EXPECT_EQ(1, st.code()) << st.text();
  EXPECT_NE(std::string::npos, st.text().find("APP.K_UK")) << st.text();

  // Enabled again over duplicate keys: ORA-02437; without them it holds.
  EXPECT_FALSE(Ddl(*app_, "ALTER TABLE k ENABLE CONSTRAINT k_pk").ok());
  ASSERT_TRUE(Sql("DELETE FROM k WHERE v = 300").ok());
  Run(*app_, "ALTER TABLE k ENABLE CONSTRAINT k_pk");
  EXPECT_EQ(1, Sql("INSERT INTO k VALUES (2, 50, 500)").code());

  // Dropped with ALTER TABLE ... DROP PRIMARY KEY, and the key column
  // dropped after it; the file opens again (its schema checked).
  Run(*app_, "ALTER TABLE k DROP PRIMARY KEY");
  EXPECT_TRUE(Sql("INSERT INTO k VALUES (2, 60, 600)").ok());
  Run(*app_, "ALTER TABLE k DROP COLUMN id");
  EXPECT_EQ(std::vector<std::string>{"3"}, Query(*app_, "SELECT count(*) FROM " + Phys("K")));
  app_.reset();
  app_ = Logon("APP", "pw");
  ASSERT_TRUE(app_);
  Run(*app_, "DROP TABLE k");
}

}  // namespace
}  // namespace cattest
