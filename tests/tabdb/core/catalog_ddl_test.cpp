// catalog_ddl_test.cpp - DDL execution: catalog rows and physical tables,
// names and their errors, keys and the indexes that enforce them,
// function-based index columns, dropping, users and privileges.
#include <algorithm>

#include "catalog_test_util.h"
#include "util/errors.h"

namespace cattest {
namespace {

using tabdb::ColumnInfo;
using tabdb::IndexInfo;
using tabdb::TableInfo;
using tabdb::TypeKind;

class DdlTest : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP");
  }

  TableInfo Load(const std::string& owner, const std::string& name) {
    TableInfo t;
    Status st = tabdb::LoadTable(*sys_, owner, name, &t);
    EXPECT_TRUE(st.ok()) << st.text();
    return t;
  }

  // Physical columns of a SQLite table.
  std::vector<std::string> PhysColumns(const std::string& phys) {
    return Query(*sys_, "SELECT name FROM pragma_table_info('" + phys + "')");
  }

  int Count(const std::string& sql) { return std::stoi(Query(*sys_, sql).at(0)); }

  std::unique_ptr<Session> app_;
};

TEST_F(DdlTest, CreateTableRecordsColumnsAndPhysicalTable) {
  Run(*app_,
      "CREATE TABLE orders (id NUMBER(10) NOT NULL, cust VARCHAR2(30 CHAR), "
      "amount NUMBER(12,2) DEFAULT 0, created DATE, total AS (amount * 2), note CLOB)");
  TableInfo t = Load("APP", "ORDERS");
  EXPECT_EQ(t.phys, "t" + std::to_string(t.obj_id));
  ASSERT_EQ(t.columns.size(), 6u);
  const ColumnInfo& id = t.columns[0];
  EXPECT_EQ(id.name, "ID");
  EXPECT_EQ(id.column_id, 1);
  EXPECT_EQ(id.type.kind, TypeKind::kNumber);
  EXPECT_EQ(id.type.precision, 10);
  EXPECT_FALSE(id.nullable);
  EXPECT_TRUE(t.columns[1].type.char_semantics);
  EXPECT_TRUE(t.columns[1].nullable);
  EXPECT_EQ(t.columns[2].data_default, "0");
  const ColumnInfo& total = t.columns[4];
  EXPECT_TRUE(total.is_virtual);
  EXPECT_FALSE(total.hidden);
  EXPECT_EQ(total.column_id, 5);
  EXPECT_EQ(total.virtual_expr, "\"AMOUNT\"*2");
  EXPECT_EQ(total.type.kind, TypeKind::kNumber);
  // The virtual column has no physical column; the others do, untyped.
  EXPECT_EQ(PhysColumns(t.phys), (std::vector<std::string>{"c1", "c2", "c3", "c4", "c6"}));
  EXPECT_EQ(Query(*sys_, "SELECT type FROM pragma_table_info('" + t.phys + "') WHERE name='c1'"),
            std::vector<std::string>{""});
  std::vector<const ColumnInfo*> ins = t.InsertColumns();
  ASSERT_EQ(ins.size(), 5u);
  EXPECT_EQ(ins[4]->name, "NOTE");
}

TEST_F(DdlTest, UnqualifiedNamesGoToTheCurrentSchema) {
  auto dba = NewUser("ADMIN1", true);
  NewUser("OTHER");
  dba->set_current_schema("OTHER");
  Run(*dba, "CREATE TABLE t (a NUMBER)");
  Run(*dba, "CREATE INDEX t_a ON t (a)");
  EXPECT_EQ(Query(*sys_, "SELECT owner, name, type FROM tab$objects ORDER BY obj_id"),
            (std::vector<std::string>{"OTHER|T|TABLE", "OTHER|T_A|INDEX"}));
  TableInfo t;
  tabdb::sql::NameList unqualified = {{"T", false}};
  EXPECT_TRUE(tabdb::ResolveTable(*dba, unqualified, &t).ok());
  EXPECT_EQ(t.owner, "OTHER");
  Run(*dba, "DROP TABLE t");
  EXPECT_EQ(Count("SELECT count(*) FROM tab$objects"), 0);
}

TEST_F(DdlTest, ErrorsOfNamesAndDefinitions) {
  Run(*app_, "CREATE TABLE t (a NUMBER, b NUMBER, c CLOB, CONSTRAINT t_pk PRIMARY KEY (a))");
  Run(*app_, "CREATE INDEX t_b ON t (b)");
  struct Case {
    const char* ddl;
    int code;
  } cases[] = {
      {"CREATE TABLE t (x NUMBER)", 955},
      // Indexes have a namespace of their own; tables share theirs with
      // sequences and views.
      {"CREATE INDEX t_b ON t (a, b)", 955},
      {"CREATE SEQUENCE t", 955},
      {"CREATE TABLE u (x NUMBER CONSTRAINT t_pk PRIMARY KEY)", 2264},
      {"CREATE TABLE u (x NUMBER, x DATE)", 957},
      {"CREATE TABLE u (x NUMBER PRIMARY KEY, y NUMBER PRIMARY KEY)", 2260},
      {"CREATE TABLE u (x NUMBER, PRIMARY KEY (y))", 904},
      {"CREATE TABLE u (x NUMBER) TABLESPACE nowhere", 959},
      {"CREATE TABLE u (x LONG, y LONG RAW)", 1754},
      {"CREATE TABLE u (x CLOB PRIMARY KEY)", 2329},
      {"CREATE TABLE u (x NUMBER, CHECK (nosuch > 0))", 904},
      {"ALTER TABLE t ADD PRIMARY KEY (b)", 2260},
      {"ALTER TABLE t ADD UNIQUE (a)", 2261},
      {"ALTER TABLE t ADD CONSTRAINT t_pk UNIQUE (b)", 2264},
      {"ALTER TABLE nosuch ADD UNIQUE (a)", 942},
      {"CREATE INDEX t_b2 ON t (b)", 1408},
      {"CREATE INDEX t_c ON t (c)", 2327},
      {"CREATE INDEX t_x ON t (nosuch)", 904},
      {"CREATE INDEX t_x ON nosuch (a)", 942},
      {"CREATE INDEX t_x ON t (b) TABLESPACE nowhere", 959},
      {"DROP INDEX t_pk", 2429},
      {"DROP INDEX nosuch", 1418},
      {"DROP TABLE nosuch", 942},
      {"TRUNCATE TABLE nosuch", 942},
  };
  for (const Case& c : cases) {
    Status st = Ddl(*app_, c.ddl);
    EXPECT_EQ(st.code(), c.code) << c.ddl << " -> " << st.text();
  }
  // None of the failures left anything behind.
  EXPECT_EQ(Query(*sys_, "SELECT name FROM tab$objects ORDER BY obj_id"),
            (std::vector<std::string>{"T", "T_PK", "T_B"}));
  EXPECT_EQ(Count("SELECT count(*) FROM tab$constraints"), 1);
}

TEST_F(DdlTest, DdlCommitsTheOpenTransactionAndUndoesItsOwnFailure) {
  Run(*app_, "CREATE TABLE t (a NUMBER)");
  TableInfo t = Load("APP", "T");
  ASSERT_TRUE(app_->db().BeginWrite().ok());
  ASSERT_TRUE(app_->db().Exec("INSERT INTO " + t.phys + " VALUES (1)").ok());
  // Fails after the implicit commit: the row stays, the table does not.
  EXPECT_EQ(Ddl(*app_, "CREATE TABLE u (x NUMBER, x NUMBER)").code(), 957);
  EXPECT_FALSE(app_->db().in_transaction());
  EXPECT_EQ(Count("SELECT count(*) FROM " + t.phys), 1);
  EXPECT_EQ(Count("SELECT count(*) FROM tab$objects WHERE name = 'U'"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM sqlite_master WHERE name GLOB 't[0-9]*' AND type='table'"), 1);
  int64_t before = 0, after = 0;
  ASSERT_TRUE(sys_->db().CatalogVersion(&before).ok());
  Run(*app_, "CREATE TABLE u (x NUMBER)");
  ASSERT_TRUE(sys_->db().CatalogVersion(&after).ok());
  EXPECT_GT(after, before);
}

TEST_F(DdlTest, PrivilegesForOtherSchemas) {
  auto other = NewUser("OTHER");
  Run(*other, "CREATE TABLE mine (a NUMBER)");
  EXPECT_EQ(Ddl(*app_, "CREATE TABLE other.t (a NUMBER)").code(), 1031);
  // A table the user cannot see answers as a missing one; once it sees it
  // (any grant), the DDL is refused for want of the privilege.
  EXPECT_EQ(Ddl(*app_, "DROP TABLE other.mine").code(), 942);
  EXPECT_EQ(Ddl(*app_, "TRUNCATE TABLE other.mine").code(), 942);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE other.mine ADD PRIMARY KEY (a)").code(), 942);
  Run(*other, "GRANT SELECT ON mine TO app");
  EXPECT_EQ(Ddl(*app_, "DROP TABLE other.mine").code(), 1031);
  EXPECT_EQ(Ddl(*app_, "TRUNCATE TABLE other.mine").code(), 1031);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE other.mine ADD PRIMARY KEY (a)").code(), 1031);
  Run(*other, "REVOKE SELECT ON mine FROM app");
  // Another user's table is invisible, so an index on it is on nothing.
  EXPECT_EQ(Ddl(*app_, "CREATE INDEX ix ON other.mine (a)").code(), 942);
  TableInfo t;
  EXPECT_EQ(tabdb::ResolveTable(*app_, {{"OTHER", false}, {"MINE", false}}, &t).code(), 942);
  // A DBA works anywhere; a schema that does not exist is no user.
  Run(*sys_, "CREATE TABLE other.t (a NUMBER)");
  Run(*sys_, "CREATE INDEX other.t_a ON other.t (a)");
  EXPECT_EQ(Ddl(*sys_, "CREATE TABLE nobody.t (a NUMBER)").code(), 1918);
  EXPECT_TRUE(tabdb::ResolveTable(*sys_, {{"OTHER", false}, {"MINE", false}}, &t).ok());
  Run(*sys_, "DROP TABLE other.mine");
}

TEST_F(DdlTest, UnnamedConstraintsGetSystemNames) {
  Run(*app_, "CREATE TABLE t (a NUMBER PRIMARY KEY, b NUMBER NOT NULL, c NUMBER CONSTRAINT c_nn NOT NULL, "
             "d NUMBER UNIQUE, CHECK (b > 0))");
  std::vector<std::string> rows = Query(
      *sys_, "SELECT name, type, generated, ifnull(search_condition, '-') FROM tab$constraints "
             "ORDER BY cons_id");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], "SYS_C000001|P|GENERATED NAME|-");
  EXPECT_EQ(rows[1], "SYS_C000002|C|GENERATED NAME|\"B\" IS NOT NULL");
  EXPECT_EQ(rows[2], "C_NN|C|USER NAME|\"C\" IS NOT NULL");
  EXPECT_EQ(rows[3], "SYS_C000003|U|GENERATED NAME|-");
  EXPECT_EQ(rows[4], "SYS_C000004|C|GENERATED NAME|b > 0");
  // The indexes of the keys carry the constraints' names, flagged generated.
  EXPECT_EQ(Query(*sys_, "SELECT o.name, i.uniqueness, i.generated FROM tab$indexes i "
                         "JOIN tab$objects o USING (obj_id) ORDER BY obj_id"),
            (std::vector<std::string>{"SYS_C000001|UNIQUE|Y", "SYS_C000003|UNIQUE|Y"}));
  TableInfo t = Load("APP", "T");
  EXPECT_FALSE(t.columns[0].nullable);  // primary key
  EXPECT_FALSE(t.columns[1].nullable);
  EXPECT_EQ(t.columns[1].not_null_name, "");
  EXPECT_EQ(t.columns[2].not_null_name, "C_NN");
  EXPECT_TRUE(t.columns[3].nullable);
  // A user name that looks like a system one is skipped by the counter.
  Run(*app_, "CREATE TABLE u (a NUMBER CONSTRAINT sys_c000005 PRIMARY KEY, b NUMBER UNIQUE)");
  EXPECT_EQ(Query(*sys_, "SELECT name FROM tab$constraints WHERE type='U' ORDER BY cons_id"),
            (std::vector<std::string>{"SYS_C000003", "SYS_C000006"}));
}

TEST_F(DdlTest, UniqueIndexesAreEnforcedBySqlite) {
  Run(*app_, "CREATE TABLE t (a NUMBER, b NUMBER, CONSTRAINT t_pk PRIMARY KEY (a, b))");
  Run(*app_, "CREATE UNIQUE INDEX t_b ON t (b)");
  TableInfo t = Load("APP", "T");
  std::vector<IndexInfo> idx;
  ASSERT_TRUE(tabdb::LoadUniqueIndexes(*app_, t.obj_id, &idx).ok());
  ASSERT_EQ(idx.size(), 2u);
  EXPECT_EQ(idx[0].name, "T_PK");
  EXPECT_EQ(idx[0].constraint_name, "T_PK");
  EXPECT_EQ(idx[0].intcols, (std::vector<int>{1, 2}));
  EXPECT_EQ(idx[1].name, "T_B");
  EXPECT_EQ(idx[1].constraint_name, "");
  EXPECT_EQ(idx[1].phys, "u" + std::to_string(idx[1].obj_id));
  ASSERT_TRUE(app_->db().Exec("INSERT INTO " + t.phys + " VALUES (1, 1)").ok());
  EXPECT_FALSE(app_->db().Exec("INSERT INTO " + t.phys + " VALUES (2, 1)").ok());
  // Over duplicate rows a unique index cannot be made.
  ASSERT_TRUE(app_->db().Exec("INSERT INTO " + t.phys + " VALUES (1, 2)").ok());
  EXPECT_EQ(Ddl(*app_, "CREATE UNIQUE INDEX t_a ON t (a)").code(), 1452);
  Run(*app_, "CREATE INDEX t_a ON t (a)");  // a non-unique one can
}

TEST_F(DdlTest, AddedKeyReusesAnExistingIndex) {
  Run(*app_, "CREATE TABLE t (a NUMBER, b NUMBER, c NUMBER)");
  Run(*app_, "CREATE INDEX t_ab ON t (b, a, c)");
  Run(*app_, "CREATE UNIQUE INDEX t_abu ON t (a, b, c)");
  TableInfo t = Load("APP", "T");
  ASSERT_TRUE(app_->db().Exec("INSERT INTO " + t.phys + " VALUES (1, 1, 1), (1, 2, 1)").ok());
  // The leading columns (b, a) of the non-unique index are the key: it is
  // used and made to enforce the key; the unique index has extra columns.
  Run(*app_, "ALTER TABLE t ADD CONSTRAINT t_pk PRIMARY KEY (a, b)");
  EXPECT_EQ(Query(*sys_, "SELECT o.name, k.index_preexisting FROM tab$constraints k "
                         "JOIN tab$objects o ON o.obj_id = k.index_obj"),
            std::vector<std::string>{"T_AB|1"});
  EXPECT_EQ(Count("SELECT count(*) FROM tab$objects WHERE name = 'T_PK'"), 0);
  EXPECT_FALSE(app_->db().Exec("INSERT INTO " + t.phys + " VALUES (1, 2, 7)").ok());
  std::vector<IndexInfo> idx;
  ASSERT_TRUE(tabdb::LoadUniqueIndexes(*app_, t.obj_id, &idx).ok());
  ASSERT_EQ(idx.size(), 2u);
  EXPECT_EQ(idx[0].name, "T_AB");
  EXPECT_FALSE(idx[0].unique);
  EXPECT_EQ(idx[0].constraint_name, "T_PK");
  EXPECT_EQ(idx[0].intcols, (std::vector<int>{1, 2}));
  EXPECT_TRUE(Load("APP", "T").columns[1].nullable == false);
  // USING INDEX names the index to use; it must fit the key.
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t ADD UNIQUE (c) USING INDEX t_abu").code(), 14196);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t ADD UNIQUE (c) USING INDEX nosuch").code(), 1418);
  Run(*app_, "CREATE INDEX t_c ON t (c)");
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t ADD CONSTRAINT t_uc UNIQUE (c) USING INDEX t_c").code(), 2299);
}

TEST_F(DdlTest, AddedKeyChecksTheRows) {
  Run(*app_, "CREATE TABLE t (a NUMBER, b NUMBER)");
  TableInfo t = Load("APP", "T");
  ASSERT_TRUE(app_->db().Exec("INSERT INTO " + t.phys + " VALUES (1, NULL), (1, 2)").ok());
  Status st = Ddl(*app_, "ALTER TABLE t ADD CONSTRAINT t_pk PRIMARY KEY (a)");
  EXPECT_EQ(st.text(), "ORA-02437: cannot validate (APP.T_PK) - primary key violated");
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t ADD PRIMARY KEY (b)").code(), 1449);
  st = Ddl(*app_, "ALTER TABLE t ADD CONSTRAINT t_ua UNIQUE (a)");
  EXPECT_EQ(st.text(), "ORA-02299: cannot validate (APP.T_UA) - duplicate keys found");
  // Nothing of the failed keys remains, and the column stays nullable.
  EXPECT_EQ(Count("SELECT count(*) FROM tab$constraints"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM tab$indexes"), 0);
  EXPECT_TRUE(Load("APP", "T").columns[1].nullable);
  Status del = app_->db().Exec("DELETE FROM " + t.phys + " WHERE c2 IS NULL");
  ASSERT_TRUE(del.ok()) << del.text();
  Run(*app_, "ALTER TABLE t ADD PRIMARY KEY (a)");
  // A disabled key has no index and does not make columns NOT NULL.
  Run(*app_, "ALTER TABLE t ADD CONSTRAINT t_ub UNIQUE (b) DISABLE");
  EXPECT_EQ(Query(*sys_, "SELECT status, ifnull(index_obj, 0) FROM tab$constraints WHERE name='T_UB'"),
            std::vector<std::string>{"DISABLED|0"});
}

TEST_F(DdlTest, FunctionBasedIndexesShareHiddenColumns) {
  Run(*app_, "CREATE TABLE t (a VARCHAR2(10), b NUMBER)");
  Run(*app_, "CREATE INDEX t_u ON t (UPPER(a))");
  Run(*app_, "CREATE INDEX t_ub ON t (upper(a), b)");
  Run(*app_, "CREATE INDEX t_bd ON t (b DESC)");
  TableInfo t = Load("APP", "T");
  ASSERT_EQ(t.columns.size(), 4u);
  const ColumnInfo& h = t.columns[2];
  EXPECT_EQ(h.name, "SYS_NC00003$");
  EXPECT_TRUE(h.hidden);
  EXPECT_TRUE(h.is_virtual);
  EXPECT_EQ(h.column_id, 0);
  EXPECT_EQ(h.data_default, "UPPER(\"A\")");
  EXPECT_EQ(h.type.kind, TypeKind::kVarchar2);
  EXPECT_EQ(t.columns[3].name, "SYS_NC00004$");
  EXPECT_EQ(t.columns[3].data_default, "\"B\"");
  EXPECT_EQ(PhysColumns(t.phys), (std::vector<std::string>{"c1", "c2"}));
  EXPECT_EQ(Query(*sys_, "SELECT o.name, i.index_type FROM tab$indexes i JOIN tab$objects o "
                         "USING (obj_id) ORDER BY obj_id"),
            (std::vector<std::string>{"T_U|FUNCTION-BASED NORMAL", "T_UB|FUNCTION-BASED NORMAL",
                                      "T_BD|FUNCTION-BASED NORMAL"}));
  EXPECT_EQ(Ddl(*app_, "CREATE INDEX t_u2 ON t (UPPER(a))").code(), 1408);
  // A unique function-based index is recorded but not enforced.
  Run(*app_, "CREATE UNIQUE INDEX t_lu ON t (LOWER(a))");
  std::vector<IndexInfo> idx;
  ASSERT_TRUE(tabdb::LoadUniqueIndexes(*app_, t.obj_id, &idx).ok());
  EXPECT_TRUE(idx.empty());
  // The hidden column goes with the last index that uses it.
  Run(*app_, "DROP INDEX t_u");
  EXPECT_EQ(Load("APP", "T").columns.size(), 5u);
  Run(*app_, "DROP INDEX t_ub");
  Run(*app_, "DROP INDEX t_lu");
  t = Load("APP", "T");
  ASSERT_EQ(t.columns.size(), 3u);
  EXPECT_EQ(t.columns[2].name, "SYS_NC00004$");
}

TEST_F(DdlTest, OtherIndexKinds) {
  Run(*app_, "CREATE TABLE t (a NUMBER, b NUMBER)");
  Run(*app_, "CREATE BITMAP INDEX t_b ON t (b)");
  Run(*app_, "CREATE INDEX t_a ON t (a) REVERSE");
  Run(*app_, "CREATE INDEX t_ab ON t (t.a, b)");
  EXPECT_EQ(Query(*sys_, "SELECT i.index_type, i.reverse FROM tab$indexes i ORDER BY obj_id"),
            (std::vector<std::string>{"BITMAP|0", "NORMAL/REV|1", "NORMAL|0"}));
}

TEST_F(DdlTest, DropAndTruncateRemoveRowsAndLobData) {
  Run(*app_, "CREATE TABLE t (id NUMBER PRIMARY KEY, doc CLOB, bin LONG RAW, n NUMBER)");
  Run(*app_, "CREATE INDEX t_n ON t (ABS(n))");
  TableInfo t = Load("APP", "T");
  ASSERT_TRUE(sys_->db().Exec(
      "INSERT INTO tab$lob(lob_id) VALUES (11), (12), (13), (99);"
      "INSERT INTO tab$lobdata VALUES (11, 0, x'00'), (12, 0, x'00'), (13, 0, x'00'), (99, 0, x'00');"
      "INSERT INTO " + t.phys + " VALUES (1, 11, 12, 1), (2, 13, NULL, 2), (3, NULL, NULL, 3);").ok());
  Run(*app_, "TRUNCATE TABLE t");
  EXPECT_EQ(Count("SELECT count(*) FROM " + t.phys), 0);
  EXPECT_EQ(Query(*sys_, "SELECT lob_id FROM tab$lob"), std::vector<std::string>{"99"});
  EXPECT_EQ(Query(*sys_, "SELECT lob_id FROM tab$lobdata"), std::vector<std::string>{"99"});

  ASSERT_TRUE(sys_->db().Exec(
      "INSERT INTO tab$lob(lob_id) VALUES (21);INSERT INTO tab$lobdata VALUES (21, 0, x'00');"
      "INSERT INTO " + t.phys + " VALUES (1, 21, NULL, 1);").ok());
  Run(*app_, "DROP TABLE t PURGE");
  EXPECT_EQ(Query(*sys_, "SELECT lob_id FROM tab$lob"), std::vector<std::string>{"99"});
  for (const char* table : {"tab$objects", "tab$tables", "tab$columns", "tab$indexes",
                            "tab$ind_columns", "tab$constraints", "tab$cons_columns"})
    EXPECT_EQ(Count(std::string("SELECT count(*) FROM ") + table), 0) << table;
  EXPECT_EQ(Count("SELECT count(*) FROM sqlite_master WHERE name = '" + t.phys + "'"), 0);
}

TEST_F(DdlTest, Users) {
  EXPECT_EQ(Ddl(*sys_, "CREATE USER app IDENTIFIED BY x").code(), 1920);
  EXPECT_EQ(Ddl(*sys_, "CREATE USER dba IDENTIFIED BY x").code(), 1920);
  EXPECT_EQ(Ddl(*app_, "CREATE USER x IDENTIFIED BY x").code(), 1031);
  EXPECT_EQ(Ddl(*app_, "ALTER USER system IDENTIFIED BY x").code(), 1031);
  EXPECT_EQ(Ddl(*sys_, "ALTER USER nobody IDENTIFIED BY x").code(), 1918);
  EXPECT_EQ(Ddl(*sys_, "DROP USER nobody").code(), 1918);
  EXPECT_EQ(Ddl(*sys_, "DROP USER system").code(), 1031);
  EXPECT_EQ(Ddl(*sys_, "CREATE USER u2 IDENTIFIED BY x DEFAULT TABLESPACE nowhere").code(), 959);
  // A user changes its own password.
  Run(*app_, "ALTER USER app IDENTIFIED BY newpw");
  EXPECT_TRUE(Logon("APP", "newpw"));

  // GRANT DBA gives the role; other privileges are accepted.
  EXPECT_EQ(Ddl(*app_, "GRANT DBA TO app").code(), 1031);
  Run(*sys_, "GRANT CONNECT, RESOURCE, CREATE SESSION TO app");
  EXPECT_EQ(Ddl(*sys_, "GRANT CONNECT TO nobody").code(), 1917);
  EXPECT_FALSE(app_->user().dba);
  Run(*sys_, "GRANT DBA TO app");
  ASSERT_TRUE(app_->RefreshUser().ok());
  EXPECT_TRUE(app_->user().dba);
  Run(*app_, "CREATE USER u3 IDENTIFIED BY x");
  Run(*sys_, "REVOKE DBA FROM app");
  EXPECT_EQ(Ddl(*sys_, "REVOKE DBA FROM app").code(), 1951);
  EXPECT_EQ(Ddl(*sys_, "REVOKE DBA FROM system").code(), 1031);
  ASSERT_TRUE(app_->RefreshUser().ok());
  EXPECT_FALSE(app_->user().dba);
}

TEST_F(DdlTest, DropUserWithObjectsNeedsCascade) {
  auto other = NewUser("OTHER");
  Run(*app_, "CREATE TABLE t (a NUMBER PRIMARY KEY, c CLOB)");
  Run(*other, "CREATE TABLE keep (a NUMBER)");
  // An index of APP's schema on OTHER's table goes with APP.
  Run(*sys_, "CREATE INDEX app.keep_a ON other.keep (a)");
  EXPECT_EQ(Ddl(*app_, "DROP USER other").code(), 1031);
  // Connected users cannot be dropped: end their sessions first.
  app_.reset();
  other.reset();
  EXPECT_EQ(Ddl(*sys_, "DROP USER app").text(), "ORA-01922: CASCADE must be specified to drop 'APP'");
  Run(*sys_, "DROP USER app CASCADE");
  EXPECT_EQ(Query(*sys_, "SELECT owner || '.' || name FROM tab$objects"),
            std::vector<std::string>{"OTHER.KEEP"});
  EXPECT_EQ(Count("SELECT count(*) FROM tab$users WHERE name = 'APP'"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM tab$constraints"), 0);
  Run(*sys_, "DROP USER other CASCADE");
  Run(*sys_, "CREATE USER other IDENTIFIED BY x");
  Run(*sys_, "DROP USER other");
}

}  // namespace
}  // namespace cattest
