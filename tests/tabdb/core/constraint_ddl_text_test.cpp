// constraint_ddl_text_test.cpp - DBMS_METADATA texts of constraints: the
// state keywords of every kind, REF_CONSTRAINT, GET_DEPENDENT_DDL of
// CONSTRAINT / REF_CONSTRAINT / INDEX, and foreign keys in the table's own
// text under REF_CONSTRAINTS and CONSTRAINTS_AS_ALTER.
#include "catalog_test_util.h"
#include "exec/engine.h"

namespace cattest {
namespace {

class ConstraintDdlTextTest : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP");
    app_->transforms().segment_attributes = false;
    Run(*app_, "CREATE TABLE dept (id NUMBER CONSTRAINT dept_pk PRIMARY KEY, code VARCHAR2(4),"
               " CONSTRAINT dept_code_uk UNIQUE (code))");
    Run(*app_, "CREATE TABLE emp (id NUMBER, dept_id NUMBER, boss NUMBER,"
               " CONSTRAINT emp_pk PRIMARY KEY (id), CONSTRAINT emp_id_ck CHECK (id > 0))");
  }

  // Changes catalog columns of a constraint the way state changes do.
  void SetState(const std::string& name, const std::string& assignments) {
    char* err = nullptr;
    std::string sql = "UPDATE tab$constraints SET " + assignments + " WHERE name = '" + name + "'";
    ASSERT_EQ(sqlite3_exec(sys_->db().handle(), sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << err;
  }

  // A foreign key of EMP as the catalog records one.
  void PlantForeignKey(const std::string& name, int intcol, const std::string& key,
                       const std::string& rule) {
    char* err = nullptr;
    std::string sql =
        "INSERT INTO tab$constraints(owner, name, table_obj, type, r_cons_id, delete_rule, generated)"
        " SELECT 'APP', '" + name + "', (SELECT obj_id FROM tab$objects WHERE name = 'EMP'), 'R',"
        " cons_id, '" + rule + "', " + (name.rfind("SYS_C", 0) == 0 ? "'GENERATED NAME'" : "'USER NAME'") +
        " FROM tab$constraints WHERE name = '" + key + "';"
        "INSERT INTO tab$cons_columns VALUES(last_insert_rowid(), 1, " + std::to_string(intcol) + ");";
    ASSERT_EQ(sqlite3_exec(sys_->db().handle(), sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << err;
  }

  Status Ddl2(const std::string& fn, const std::string& type, const std::string& name,
              std::string* out) {
    tabdb::ExecResult r;
    Status st = tabdb::ExecuteText(
        *app_, "SELECT DBMS_METADATA." + fn + "('" + type + "', '" + name + "', 'APP') FROM dual", &r);
    if (!st.ok()) return st;
    bool row = false;
    st = r.result->Next(&row);
    tabdb::Value v;
    if (st.ok() && row) st = r.result->Get(0, &v);
    if (st.ok()) *out = v.bytes;
    return st;
  }
  std::string Dependent(const std::string& type, const std::string& table) {
    std::string out;
    Status st = Ddl2("GET_DEPENDENT_DDL", type, table, &out);
    EXPECT_TRUE(st.ok()) << st.text();
    return out;
  }

  std::unique_ptr<Session> app_;
  const std::string head_ = "\n  ALTER TABLE \"APP\".\"EMP\" ";
};

TEST_F(ConstraintDdlTextTest, ReferentialConstraints) {
  PlantForeignKey("EMP_DEPT_FK", 2, "DEPT_PK", "NO ACTION");
  PlantForeignKey("SYS_C009001", 3, "EMP_PK", "SET NULL");
  EXPECT_EQ(GetDdl(*app_, "REF_CONSTRAINT", "EMP_DEPT_FK", "APP"),
            head_ + "ADD CONSTRAINT \"EMP_DEPT_FK\" FOREIGN KEY (\"DEPT_ID\")\n\t  REFERENCES "
                    "\"APP\".\"DEPT\" (\"ID\") ENABLE");
  EXPECT_EQ(GetDdl(*app_, "REF_CONSTRAINT", "SYS_C009001", "APP"),
            head_ + "ADD FOREIGN KEY (\"BOSS\")\n\t  REFERENCES \"APP\".\"EMP\" (\"ID\") ON DELETE SET "
                    "NULL ENABLE");
  SetState("EMP_DEPT_FK", "delete_rule = 'CASCADE', is_deferrable = 1, is_deferred = 1, validated = 0");
  EXPECT_EQ(GetDdl(*app_, "REF_CONSTRAINT", "EMP_DEPT_FK", "APP"),
            head_ + "ADD CONSTRAINT \"EMP_DEPT_FK\" FOREIGN KEY (\"DEPT_ID\")\n\t  REFERENCES "
                    "\"APP\".\"DEPT\" (\"ID\") ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED "
                    "ENABLE NOVALIDATE");
  // Foreign keys are REF_CONSTRAINT objects, the other kinds CONSTRAINT ones.
  std::string out;
  std::string text = Ddl2("GET_DDL", "CONSTRAINT", "EMP_DEPT_FK", &out).text();
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "ORA-31603: object \"EMP_DEPT_FK\" of type CONSTRAINT not found in schema \"APP\"");
  EXPECT_EQ(Ddl2("GET_DDL", "REF_CONSTRAINT", "EMP_PK", &out).code(), 31603);

  // In the table's text: after the other constraints, inline or as ALTER.
  const std::string cols =
      "\n  CREATE TABLE \"APP\".\"EMP\" \n   (\t\"ID\" NUMBER, \n\t\"DEPT_ID\" NUMBER, \n\t\"BOSS\" "
      "NUMBER";
  const std::string fk1 = "FOREIGN KEY (\"DEPT_ID\")\n\t  REFERENCES \"APP\".\"DEPT\" (\"ID\") ON DELETE "
                          "CASCADE DEFERRABLE INITIALLY DEFERRED ENABLE NOVALIDATE";
  const std::string fk2 = "FOREIGN KEY (\"BOSS\")\n\t  REFERENCES \"APP\".\"EMP\" (\"ID\") ON DELETE SET "
                          "NULL ENABLE";
  EXPECT_EQ(GetDdl(*app_, "TABLE", "EMP", "APP"),
            cols + ", \n\t CONSTRAINT \"EMP_PK\" PRIMARY KEY (\"ID\")\n  USING INDEX  ENABLE, \n\t "
                   "CONSTRAINT \"EMP_ID_CK\" CHECK (id > 0) ENABLE, \n\t CONSTRAINT \"EMP_DEPT_FK\" " +
                   fk1 + ", \n\t " + fk2 + "\n   ) ");
  app_->transforms().constraints = false;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "EMP", "APP"),
            cols + ", \n\t CONSTRAINT \"EMP_DEPT_FK\" " + fk1 + ", \n\t " + fk2 + "\n   ) ");
  app_->transforms().ref_constraints = false;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "EMP", "APP"), cols + "\n   ) ");
  app_->transforms().constraints = true;
  app_->transforms().ref_constraints = true;
  app_->transforms().constraints_as_alter = true;
  app_->transforms().sqlterminator = true;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "EMP", "APP"),
            cols + "\n   ) ;" + head_ + "ADD CONSTRAINT \"EMP_PK\" PRIMARY KEY (\"ID\")\n  USING INDEX  "
                   "ENABLE;" + head_ + "ADD CONSTRAINT \"EMP_ID_CK\" CHECK (id > 0) ENABLE;" + head_ +
                   "ADD CONSTRAINT \"EMP_DEPT_FK\" " + fk1 + ";" + head_ + "ADD " + fk2 + ";");
}

TEST_F(ConstraintDdlTextTest, StateKeywordsOfEveryKind) {
  Run(*app_, "ALTER TABLE emp MODIFY (dept_id CONSTRAINT emp_dept_nn NOT NULL)");
  SetState("EMP_PK", "is_deferrable = 1");
  SetState("EMP_ID_CK", "validated = 0");
  SetState("EMP_DEPT_NN", "is_deferrable = 1, is_deferred = 1");
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", "EMP_PK", "APP"),
            head_ + "ADD CONSTRAINT \"EMP_PK\" PRIMARY KEY (\"ID\")\n  USING INDEX  DEFERRABLE ENABLE");
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", "EMP_ID_CK", "APP"),
            head_ + "ADD CONSTRAINT \"EMP_ID_CK\" CHECK (id > 0) ENABLE NOVALIDATE");
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", "EMP_DEPT_NN", "APP"),
            head_ + "MODIFY (\"DEPT_ID\" CONSTRAINT \"EMP_DEPT_NN\" NOT NULL DEFERRABLE INITIALLY "
                    "DEFERRED ENABLE)");
  EXPECT_NE(GetDdl(*app_, "TABLE", "EMP", "APP")
                .find("\"DEPT_ID\" NUMBER CONSTRAINT \"EMP_DEPT_NN\" NOT NULL DEFERRABLE INITIALLY "
                      "DEFERRED ENABLE, "),
            std::string::npos);
}

// Every dependent object of the type in one text, each statement as GET_DDL
// gives it; ORA-31608 when there is none.
TEST_F(ConstraintDdlTextTest, DependentDdl) {
  Run(*app_, "ALTER TABLE emp MODIFY (dept_id NOT NULL)");
  Run(*app_, "CREATE INDEX emp_dept_ix ON emp (dept_id)");
  EXPECT_EQ(Dependent("CONSTRAINT", "EMP"),
            head_ + "ADD CONSTRAINT \"EMP_PK\" PRIMARY KEY (\"ID\")\n  USING INDEX  ENABLE" + head_ +
                "ADD CONSTRAINT \"EMP_ID_CK\" CHECK (id > 0) ENABLE");
  EXPECT_EQ(Dependent("INDEX", "EMP"),
            "\n  CREATE UNIQUE INDEX \"APP\".\"EMP_PK\" ON \"APP\".\"EMP\" (\"ID\") \n  "
            "\n  CREATE INDEX \"APP\".\"EMP_DEPT_IX\" ON \"APP\".\"EMP\" (\"DEPT_ID\") \n  ");
  std::string out;
  Status none = Ddl2("GET_DEPENDENT_DDL", "REF_CONSTRAINT", "EMP", &out);
  EXPECT_EQ(none.text().substr(0, none.text().find('\n')),
            "ORA-31608: specified object of type REF_CONSTRAINT not found");
  PlantForeignKey("EMP_DEPT_FK", 2, "DEPT_PK", "NO ACTION");
  PlantForeignKey("EMP_BOSS_FK", 3, "EMP_PK", "CASCADE");
  app_->transforms().sqlterminator = true;
  EXPECT_EQ(Dependent("REF_CONSTRAINT", "EMP"),
            head_ + "ADD CONSTRAINT \"EMP_DEPT_FK\" FOREIGN KEY (\"DEPT_ID\")\n\t  REFERENCES \"APP\".\"DEPT\" "
                    "(\"ID\") ENABLE;" + head_ + "ADD CONSTRAINT \"EMP_BOSS_FK\" FOREIGN KEY (\"BOSS\")\n\t"
                    "  REFERENCES \"APP\".\"EMP\" (\"ID\") ON DELETE CASCADE ENABLE;");
  EXPECT_EQ(Ddl2("GET_DEPENDENT_DDL", "CONSTRAINT", "NOSUCH", &out).code(), 31608);
  EXPECT_EQ(Ddl2("GET_DEPENDENT_DDL", "NOSUCHTYPE", "EMP", &out).code(), 31600);
}

}  // namespace
}  // namespace cattest
