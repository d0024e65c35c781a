// constraint_alter_test.cpp - the constraint forms of ALTER TABLE (the ADD
// list, DROP CONSTRAINT / PRIMARY KEY / UNIQUE, RENAME CONSTRAINT, MODIFY of
// nullability) with Oracle's errors, the ALL_CONSTRAINTS and
// ALL_CONS_COLUMNS columns, and statements on another schema's objects that
// must answer for an invisible object exactly as for a missing one (LOCK
// TABLE among them).
#include "catalog_test_util.h"
#include "exec/engine.h"

namespace cattest {
namespace {

class ConstraintAlterTest : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP");
  }

  static Status Exec(Session& s, const std::string& text) {
    tabdb::ExecResult r;
    Status st = tabdb::ExecuteText(s, text, &r);
    if (!st.ok() || !r.result) return st;
    while (true) {
      bool row = false;
      st = r.result->Next(&row);
      if (!st.ok() || !row) break;
    }
    return st;
  }
  static int Code(Session& s, const std::string& text) { return Exec(s, text).code(); }
  static void Dml(Session& s, const std::string& text) {
    Status st = Exec(s, text);
    ASSERT_TRUE(st.ok()) << text << "\n" << st.text();
  }

  // Names and types of the table's constraints, in creation order.
  std::vector<std::string> Constraints(const std::string& table) {
    return View(*app_, "USER_CONSTRAINTS", "CONSTRAINT_NAME || ':' || CONSTRAINT_TYPE",
                "TABLE_NAME = '" + table + "'");
  }
  std::string Nullable(const std::string& table, const std::string& column) {
    std::vector<std::string> r = View(*app_, "USER_TAB_COLUMNS", "NULLABLE",
                                      "TABLE_NAME = '" + table + "' AND COLUMN_NAME = '" + column + "'");
    return r.empty() ? "" : r[0];
  }
  std::vector<std::string> Indexes(const std::string& table) {
    return View(*app_, "USER_INDEXES", "INDEX_NAME || ':' || UNIQUENESS",
                "TABLE_NAME = '" + table + "'");
  }

  // Plants a foreign key of `child`(column) on the key `key` the way the
  // catalog records one (type R, r_cons_id, delete_rule).
  void PlantForeignKey(const std::string& name, const std::string& child, int intcol,
                       const std::string& key, const std::string& rule = "NO ACTION",
                       int deferrable = 0, int deferred = 0) {
    std::vector<std::string> r = Query(
        *sys_,
        "SELECT (SELECT obj_id FROM tab$objects WHERE owner = 'APP' AND name = '" + child +
            "') || ',' || (SELECT cons_id FROM tab$constraints WHERE owner = 'APP' AND name = '" +
            key + "')");
    ASSERT_EQ(r.size(), 1u);
    std::string ids = r[0];
    std::string obj = ids.substr(0, ids.find(',')), key_id = ids.substr(ids.find(',') + 1);
    char* err = nullptr;
    std::string sql =
        "INSERT INTO tab$constraints(owner, name, table_obj, type, r_cons_id, delete_rule,"
        " is_deferrable, is_deferred) VALUES('APP', '" + name + "', " + obj + ", 'R', " + key_id +
        ", '" + rule + "', " + std::to_string(deferrable) + ", " + std::to_string(deferred) + ");"
        "INSERT INTO tab$cons_columns(cons_id, position, intcol) VALUES(last_insert_rowid(), 1, " +
        std::to_string(intcol) + ");";
    ASSERT_EQ(sqlite3_exec(sys_->db().handle(), sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << err;
  }

  std::unique_ptr<Session> app_;
};

// ADD ( ... ) adds every constraint of the list or none.
TEST_F(ConstraintAlterTest, AddList) {
  Run(*app_, "CREATE TABLE t (id NUMBER, code VARCHAR2(5), v NUMBER)");
  Run(*app_,
      "ALTER TABLE t ADD (CONSTRAINT t_pk PRIMARY KEY (id), CONSTRAINT t_v CHECK (v > 0), UNIQUE (code))");
  std::vector<std::string> cons = Constraints("T");
  ASSERT_EQ(cons.size(), 3u);
  EXPECT_EQ(cons[0], "T_PK:P");
  EXPECT_EQ(cons[1], "T_V:C");
  EXPECT_EQ(cons[2].substr(0, 5), "SYS_C");
  EXPECT_EQ(Code(*app_, "INSERT INTO t VALUES (1, 'a', 0)"), 2290);
  Dml(*app_, "INSERT INTO t VALUES (1, 'a', 1)");
  EXPECT_EQ(Code(*app_, "INSERT INTO t VALUES (2, 'a', 1)"), 1);
  EXPECT_EQ(Nullable("T", "ID"), "N");

  // The second item fails: the first is not kept.
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t ADD (CONSTRAINT t_u UNIQUE (v), CHECK (nosuch > 0))").code(), 904);
  EXPECT_EQ(Constraints("T").size(), 3u);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t ADD (CONSTRAINT t_pk2 PRIMARY KEY (v))").code(), 2260);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t ADD (CONSTRAINT t_v CHECK (v < 9))").code(), 2264);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t ADD (CONSTRAINT t_w CHECK (v < 9)").code(), 907);
  // Columns and constraints in one list.
  Run(*app_, "ALTER TABLE t ADD (extra NUMBER, CONSTRAINT t_w CHECK (extra < 9))");
  EXPECT_EQ(Code(*app_, "INSERT INTO t VALUES (5, 'e', 1, 9)"), 2290);
}

// DROP CONSTRAINT / PRIMARY KEY / UNIQUE: the key's own index goes with it,
// an index that existed before stays and no longer enforces uniqueness.
TEST_F(ConstraintAlterTest, DropKeysAndTheirIndexes) {
  Run(*app_, "CREATE TABLE t (id NUMBER CONSTRAINT t_pk PRIMARY KEY, a NUMBER, b NUMBER, c NUMBER)");
  Run(*app_, "CREATE INDEX t_b_ix ON t (b)");
  Run(*app_, "ALTER TABLE t ADD CONSTRAINT t_b_uk UNIQUE (b)");
  Run(*app_, "ALTER TABLE t ADD UNIQUE (a, c)");
  Run(*app_, "ALTER TABLE t ADD CONSTRAINT t_c CHECK (c > 0)");
  EXPECT_EQ(Indexes("T").size(), 3u);

  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t DROP CONSTRAINT nosuch").code(), 2443);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t DROP UNIQUE (a)").code(), 2442);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t DROP UNIQUE (nosuch)").code(), 904);

  Run(*app_, "ALTER TABLE t DROP CONSTRAINT t_c");
  Dml(*app_, "INSERT INTO t VALUES (1, 1, 1, -1)");
  Run(*app_, "ALTER TABLE t DROP UNIQUE (c, a)");
  Run(*app_, "ALTER TABLE t DROP CONSTRAINT t_b_uk");
  EXPECT_EQ(Indexes("T"), (std::vector<std::string>{"T_PK:UNIQUE", "T_B_IX:NONUNIQUE"}));
  Dml(*app_, "INSERT INTO t VALUES (2, 1, 1, -1)");

  Run(*app_, "ALTER TABLE t DROP PRIMARY KEY");
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t DROP PRIMARY KEY").code(), 2441);
  EXPECT_EQ(Indexes("T"), (std::vector<std::string>{"T_B_IX:NONUNIQUE"}));
  EXPECT_EQ(Nullable("T", "ID"), "Y");
  Dml(*app_, "INSERT INTO t VALUES (NULL, 1, 1, -1)");
  Dml(*app_, "INSERT INTO t VALUES (1, 1, 1, -1)");
  EXPECT_TRUE(Constraints("T").empty());

  // KEEP INDEX keeps the key's own index; DROP INDEX drops one made before.
  Run(*app_, "CREATE TABLE k (a NUMBER CONSTRAINT k_a UNIQUE, b NUMBER)");
  Run(*app_, "CREATE INDEX k_b_ix ON k (b)");
  Run(*app_, "ALTER TABLE k ADD CONSTRAINT k_b UNIQUE (b) USING INDEX k_b_ix");
  Run(*app_, "ALTER TABLE k DROP CONSTRAINT k_a KEEP INDEX");
  Run(*app_, "ALTER TABLE k DROP UNIQUE (b) DROP INDEX");
  EXPECT_EQ(Indexes("K"), (std::vector<std::string>{"K_A:UNIQUE"}));
  Dml(*app_, "INSERT INTO k VALUES (1, 1)");
  EXPECT_EQ(Code(*app_, "INSERT INTO k VALUES (1, 2)"), 1);
}

// A key referenced by a foreign key drops only with CASCADE, which drops
// the foreign keys too.
TEST_F(ConstraintAlterTest, DropReferencedKey) {
  Run(*app_, "CREATE TABLE p (id NUMBER CONSTRAINT p_pk PRIMARY KEY, u NUMBER CONSTRAINT p_u UNIQUE)");
  Run(*app_, "CREATE TABLE c (pid NUMBER, pu NUMBER)");
  PlantForeignKey("C_P_FK", "C", 1, "P_PK");
  PlantForeignKey("C_U_FK", "C", 2, "P_U");
  PlantForeignKey("P_SELF_FK", "P", 2, "P_PK");
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE p DROP PRIMARY KEY").code(), 2273);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE p DROP CONSTRAINT p_u").code(), 2273);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE p DROP UNIQUE (u)").code(), 2273);
  Run(*app_, "ALTER TABLE p DROP PRIMARY KEY CASCADE");
  EXPECT_EQ(Constraints("C"), (std::vector<std::string>{"C_U_FK:R"}));
  EXPECT_EQ(Constraints("P"), (std::vector<std::string>{"P_U:U"}));
  // A foreign key itself drops without more ado.
  Run(*app_, "ALTER TABLE c DROP CONSTRAINT c_u_fk");
  Run(*app_, "ALTER TABLE p DROP CONSTRAINT p_u");
  EXPECT_EQ(Query(*sys_, "SELECT count(*) FROM tab$cons_columns WHERE cons_id NOT IN"
                         " (SELECT cons_id FROM tab$constraints)"),
            (std::vector<std::string>{"0"}));
}

TEST_F(ConstraintAlterTest, RenameConstraint) {
  Run(*app_, "CREATE TABLE t (a NUMBER NOT NULL, b NUMBER CONSTRAINT t_b CHECK (b > 0))");
  Run(*app_, "CREATE TABLE o (x NUMBER CONSTRAINT o_x UNIQUE)");
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t RENAME CONSTRAINT nosuch TO t_c").code(), 23292);
  // A constraint of another table is no constraint of this one.
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t RENAME CONSTRAINT o_x TO t_c").code(), 23292);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t RENAME CONSTRAINT t_b TO o_x").code(), 2264);
  Run(*app_, "ALTER TABLE t RENAME CONSTRAINT t_b TO t_b_pos");
  EXPECT_EQ(Code(*app_, "INSERT INTO t VALUES (1, 0)"), 2290);
  EXPECT_EQ(Exec(*app_, "INSERT INTO t VALUES (1, 0)").text(),
            "ORA-02290: check constraint (APP.T_B_POS) violated");

  // A system-named NOT NULL renamed carries its name from then on.
  std::string sys_name = View(*app_, "USER_CONSTRAINTS", "CONSTRAINT_NAME",
                              "TABLE_NAME = 'T' AND GENERATED = 'GENERATED NAME'")[0];
  Run(*app_, "ALTER TABLE t RENAME CONSTRAINT " + sys_name + " TO t_a_nn");
  EXPECT_EQ(View(*app_, "USER_CONSTRAINTS", "CONSTRAINT_NAME || ':' || GENERATED",
                 "TABLE_NAME = 'T'"),
            (std::vector<std::string>{"T_A_NN:USER NAME", "T_B_POS:USER NAME"}));
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", "T_A_NN", "APP"),
            "\n  ALTER TABLE \"APP\".\"T\" MODIFY (\"A\" CONSTRAINT \"T_A_NN\" NOT NULL ENABLE)");
  EXPECT_NE(GetDdl(*app_, "TABLE", "T", "APP").find("\"A\" NUMBER CONSTRAINT \"T_A_NN\" NOT NULL ENABLE"),
            std::string::npos);
}

// MODIFY (col [CONSTRAINT n] NOT NULL | NULL), one column or several.
TEST_F(ConstraintAlterTest, ModifyNullability) {
  Run(*app_, "CREATE TABLE t (id NUMBER PRIMARY KEY, a NUMBER, b NUMBER, c NUMBER)");
  Dml(*app_, "INSERT INTO t VALUES (1, 1, NULL, 1)");
  Run(*app_, "ALTER TABLE t MODIFY (a NOT NULL)");
  EXPECT_EQ(Nullable("T", "A"), "N");
  EXPECT_EQ(View(*app_, "USER_CONSTRAINTS", "CONSTRAINT_TYPE || ':' || SEARCH_CONDITION_VC",
                 "TABLE_NAME = 'T' AND GENERATED = 'GENERATED NAME' AND CONSTRAINT_TYPE = 'C'"),
            (std::vector<std::string>{"C:\"A\" IS NOT NULL"}));
  EXPECT_EQ(Code(*app_, "INSERT INTO t VALUES (2, NULL, 1, 1)"), 1400);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t MODIFY a NOT NULL").code(), 1442);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t MODIFY (id NOT NULL)").code(), 1442);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t MODIFY (nosuch NOT NULL)").code(), 904);

  // NULLs in the rows: the name is not given yet for a system name.
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t MODIFY (b NOT NULL)").text(),
            "ORA-02296: cannot enable (APP.) - null values found");
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t MODIFY (b CONSTRAINT t_b_nn NOT NULL)").text(),
            "ORA-02296: cannot enable (APP.T_B_NN) - null values found");
  Run(*app_, "ALTER TABLE t MODIFY (b CONSTRAINT t_b_nn NOT NULL DISABLE)");
  EXPECT_EQ(Nullable("T", "B"), "Y");
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t MODIFY (b NOT NULL)").code(), 1442);

  // NULL again: the NOT NULL constraints go; none, or a key column: ORA-01451.
  Run(*app_, "ALTER TABLE t MODIFY (a NULL, b NULL)");
  EXPECT_EQ(Nullable("T", "A"), "Y");
  EXPECT_EQ(View(*app_, "USER_CONSTRAINTS", "CONSTRAINT_TYPE", "TABLE_NAME = 'T'"),
            (std::vector<std::string>{"P"}));
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t MODIFY (a NULL)").code(), 1451);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t MODIFY (id NULL)").code(), 1451);

  // Several columns in one statement: all or nothing.
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t MODIFY (a NOT NULL, b NOT NULL)").code(), 2296);
  EXPECT_EQ(Nullable("T", "A"), "Y");
  Run(*app_, "ALTER TABLE t MODIFY (a NOT NULL, c CONSTRAINT t_c_nn NOT NULL)");
  EXPECT_EQ(Nullable("T", "C"), "N");
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", "T_C_NN", "APP"),
            "\n  ALTER TABLE \"APP\".\"T\" MODIFY (\"C\" CONSTRAINT \"T_C_NN\" NOT NULL ENABLE)");

  // Inline keys and checks on an existing column.
  Run(*app_, "ALTER TABLE t MODIFY (c CONSTRAINT t_c_uk UNIQUE)");
  EXPECT_EQ(Code(*app_, "INSERT INTO t VALUES (2, 1, 1, 1)"), 1);
  EXPECT_EQ(Ddl(*app_, "ALTER TABLE t MODIFY (c NOT)").code(), 908);
}

// ALL_CONSTRAINTS and ALL_CONS_COLUMNS: every kind with the columns Oracle
// shows for it.
TEST_F(ConstraintAlterTest, DictionaryColumns) {
  Run(*app_,
      "CREATE TABLE p (id NUMBER CONSTRAINT p_pk PRIMARY KEY, n VARCHAR2(9) NOT NULL,"
      " q NUMBER CONSTRAINT p_q CHECK (q  >  0) DISABLE)");
  Run(*app_, "CREATE TABLE c (a NUMBER, pid NUMBER)");
  PlantForeignKey("C_FK", "C", 2, "P_PK", "CASCADE", 1, 1);
  // Oracle's columns in Oracle's order (SELECT * shows them so), the
  // condition as a LONG.
  tabdb::DictionaryView v;
  Status vs;
  ASSERT_TRUE(tabdb::FindDictionaryView(*app_, "ALL_CONSTRAINTS", &v, &vs));
  std::string names;
  for (const tabdb::ViewColumn& c : v.columns) names += c.name + " ";
  EXPECT_EQ(names,
            "OWNER CONSTRAINT_NAME CONSTRAINT_TYPE TABLE_NAME SEARCH_CONDITION SEARCH_CONDITION_VC "
            "R_OWNER R_CONSTRAINT_NAME DELETE_RULE STATUS DEFERRABLE DEFERRED VALIDATED GENERATED BAD "
            "RELY LAST_CHANGE INDEX_OWNER INDEX_NAME INVALID VIEW_RELATED ORIGIN_CON_ID ");
  EXPECT_EQ(v.columns[4].type.kind, tabdb::TypeKind::kLong);

  const std::string cols =
      "CONSTRAINT_NAME, CONSTRAINT_TYPE, SEARCH_CONDITION, R_OWNER, R_CONSTRAINT_NAME,"
      " DELETE_RULE, STATUS, \"DEFERRABLE\", \"DEFERRED\", VALIDATED, GENERATED, INDEX_OWNER,"
      " INDEX_NAME, BAD, RELY, INVALID, VIEW_RELATED, LAST_CHANGE IS NOT NULL";
  std::vector<std::string> rows = View(*app_, "USER_CONSTRAINTS", cols);
  ASSERT_EQ(rows.size(), 4u);
  const std::string kNoFlags = "|<null>|<null>|<null>|<null>|1";
  EXPECT_EQ(rows[0], "P_PK|P|<null>|<null>|<null>|<null>|ENABLED|NOT DEFERRABLE|IMMEDIATE|VALIDATED|"
                     "USER NAME|APP|P_PK" + kNoFlags);
  std::string nn = rows[1].substr(0, rows[1].find('|'));
  EXPECT_EQ(nn.substr(0, 5), "SYS_C");
  EXPECT_EQ(rows[1], nn + "|C|\"N\" IS NOT NULL|<null>|<null>|<null>|ENABLED|NOT DEFERRABLE|"
                     "IMMEDIATE|VALIDATED|GENERATED NAME|<null>|<null>" + kNoFlags);
  EXPECT_EQ(rows[2], "P_Q|C|q  >  0|<null>|<null>|<null>|DISABLED|NOT DEFERRABLE|IMMEDIATE|"
                     "NOT VALIDATED|USER NAME|<null>|<null>" + kNoFlags);
  EXPECT_EQ(rows[3], "C_FK|R|<null>|APP|P_PK|CASCADE|ENABLED|DEFERRABLE|DEFERRED|VALIDATED|"
                     "USER NAME|<null>|<null>" + kNoFlags);
  EXPECT_EQ(View(*app_, "ALL_CONSTRAINTS", "OWNER", "CONSTRAINT_NAME = 'C_FK'"),
            (std::vector<std::string>{"APP"}));
  EXPECT_EQ(View(*app_, "USER_CONS_COLUMNS", "CONSTRAINT_NAME, TABLE_NAME, COLUMN_NAME, POSITION"),
            (std::vector<std::string>{"P_PK|P|ID|1", nn + "|P|N|<null>", "P_Q|P|Q|<null>",
                                      "C_FK|C|PID|1"}));
}

// A user's statements on another schema's object it may not see give the
// error of a missing object, word for word (with the name).
TEST_F(ConstraintAlterTest, InvisibleObjectsAnswerAsMissingOnes) {
  auto owner = NewUser("SEC");
  Run(*owner, "CREATE TABLE secret (ssn NUMBER CONSTRAINT secret_pk PRIMARY KEY, n NUMBER)");
  Run(*owner, "CREATE INDEX secret_ix ON secret (n)");
  Run(*owner, "CREATE SEQUENCE secret_sq");
  Run(*app_, "CREATE TABLE mine (ssn NUMBER, n NUMBER)");
  const char* const kStatements[] = {
      "SELECT * FROM sec.%s",
      "SELECT 1 FROM dual WHERE EXISTS (SELECT 1 FROM sec.%s)",
      "INSERT INTO sec.%s VALUES (1, 2)",
      "INSERT INTO mine SELECT * FROM sec.%s",
      "UPDATE sec.%s SET n = 1",
      "DELETE FROM sec.%s",
      "LOCK TABLE sec.%s IN EXCLUSIVE MODE",
      "DROP TABLE sec.%s",
      "TRUNCATE TABLE sec.%s",
      "ALTER TABLE sec.%s ADD CONSTRAINT x_u UNIQUE (n)",
      "ALTER TABLE sec.%s DROP CONSTRAINT secret_pk",
      "ALTER TABLE sec.%s MODIFY (n NOT NULL)",
      "ALTER TABLE sec.%s RENAME CONSTRAINT secret_pk TO x",
      "CREATE INDEX mine_ix ON sec.%s (n)",
      "DROP INDEX sec.%s_ix",
      "ALTER TABLE mine ADD CONSTRAINT mine_u UNIQUE (n) USING INDEX sec.%s_ix",
      "CREATE TABLE mine2 (n NUMBER CONSTRAINT mine2_u UNIQUE USING INDEX sec.%s_ix)",
      "CREATE TABLE mine3 (n NUMBER REFERENCES sec.%s)",
      "ALTER TABLE mine ADD CONSTRAINT mine_fk FOREIGN KEY (ssn) REFERENCES sec.%s (ssn)",
      "SELECT sec.%s_sq.NEXTVAL FROM dual",
      "ALTER SEQUENCE sec.%s_sq INCREMENT BY 2",
      "DROP SEQUENCE sec.%s_sq",
      "GRANT SELECT ON sec.%s TO system",
      "REVOKE SELECT ON sec.%s FROM system",
      "SELECT DBMS_METADATA.GET_DDL('TABLE', '%s', 'SEC') FROM dual",
      "SELECT DBMS_METADATA.GET_DDL('INDEX', '%s_IX', 'SEC') FROM dual",
      "SELECT DBMS_METADATA.GET_DEPENDENT_DDL('CONSTRAINT', '%s', 'SEC') FROM dual",
  };
  auto with = [](const char* pattern, const std::string& name) {
    std::string s = pattern;
    return s.replace(s.find("%s"), 2, name);
  };
  for (const char* pattern : kStatements) {
    Status hidden = Exec(*app_, with(pattern, "secret"));
    Status missing = Exec(*app_, with(pattern, "nosuch"));
    EXPECT_FALSE(hidden.ok()) << pattern;
    std::string text = hidden.text();
    for (const char* name : {"SECRET", "secret"})
      for (size_t at; (at = text.find(name)) != std::string::npos;) text.replace(at, 6, "nosuch");
    std::string want = missing.text();
    for (size_t at; (at = want.find("NOSUCH")) != std::string::npos;) want.replace(at, 6, "nosuch");
    EXPECT_EQ(text, want) << pattern;
  }
  // Granted anything, the user may lock the table; its own it always may.
  Run(*owner, "GRANT INSERT ON secret TO app");
  EXPECT_TRUE(Exec(*app_, "LOCK TABLE sec.secret, mine IN SHARE ROW EXCLUSIVE MODE NOWAIT").ok());
  EXPECT_TRUE(app_->Commit().ok());
  EXPECT_TRUE(Exec(*app_, "LOCK TABLE mine IN ROW SHARE MODE").ok());
  EXPECT_EQ(Code(*app_, "LOCK TABLE mine IN SHARE EXCLUSIVE MODE"), 905);
  EXPECT_EQ(Code(*app_, "LOCK TABLE mine PARTITION (p1) IN SHARE MODE"), 3001);
  // Nothing was changed behind the owner's back.
  EXPECT_EQ(View(*owner, "USER_CONSTRAINTS", "CONSTRAINT_NAME"), (std::vector<std::string>{"SECRET_PK"}));
  EXPECT_EQ(View(*owner, "USER_INDEXES", "INDEX_NAME").size(), 2u);
}

}  // namespace
}  // namespace cattest
