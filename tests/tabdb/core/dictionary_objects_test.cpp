// dictionary_objects_test.cpp - ALL_/USER_/DBA_OBJECTS (one row per object
// of every kind, which rows each user sees) and DATABASE_PROPERTIES.
#include "catalog/sequence.h"
#include "catalog_test_util.h"

namespace cattest {
namespace {

using Rows = std::vector<std::string>;

class ObjectsViewTest : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP");
  }
  std::unique_ptr<Session> app_;
};

TEST_F(ObjectsViewTest, EveryVariantPreparesWithItsColumns) {
  for (const char* base : {"OBJECTS", "TAB_COMMENTS", "COL_COMMENTS"}) {
    for (const char* prefix : {"ALL_", "USER_", "DBA_"}) {
      std::string name = std::string(prefix) + base;
      tabdb::DictionaryView v;
      Status st;
      ASSERT_TRUE(tabdb::FindDictionaryView(*app_, name, &v, &st)) << name;
      if (std::string(prefix) == "DBA_") {
        EXPECT_EQ(st.code(), 942) << name;
        ASSERT_TRUE(tabdb::FindDictionaryView(*sys_, name, &v, &st)) << name;
      }
      ASSERT_TRUE(st.ok()) << name;
      sqlite3_stmt* q = nullptr;
      ASSERT_EQ(sqlite3_prepare_v2(sys_->db().handle(), v.sql.c_str(), -1, &q, nullptr), SQLITE_OK)
          << name << ": " << sqlite3_errmsg(sys_->db().handle());
      ASSERT_EQ(sqlite3_column_count(q), static_cast<int>(v.columns.size())) << name;
      for (size_t i = 0; i < v.columns.size(); ++i)
        EXPECT_EQ(sqlite3_column_name(q, static_cast<int>(i)), v.columns[i].name) << name;
      sqlite3_finalize(q);
      EXPECT_EQ(v.columns[0].name == "OWNER", std::string(prefix) != "USER_") << name;
    }
  }
}

// One row per table, index, sequence and unit of stored code, with
// Oracle's types, namespaces and flags; the index of a system-named key
// has a generated name.
TEST_F(ObjectsViewTest, RowsOfEachKind) {
  Run(*app_, "CREATE TABLE t (id NUMBER PRIMARY KEY, name VARCHAR2(20))");
  Run(*app_, "CREATE INDEX t_name ON t (name)");
  Run(*app_, "CREATE SEQUENCE t_seq");
  Run(*app_, "CREATE PROCEDURE p IS BEGIN NULL; END;");
  Run(*app_, "CREATE PACKAGE pk IS x NUMBER; END;");
  Run(*app_, "CREATE PACKAGE BODY pk IS END;");
  Run(*app_, "CREATE TRIGGER trg BEFORE INSERT ON t BEGIN NULL; END;");
  EXPECT_EQ(View(*app_, "USER_OBJECTS",
                 "OBJECT_NAME, OBJECT_TYPE, STATUS, GENERATED, NAMESPACE, "
                 "ifnull(EDITIONABLE, '-'), OBJECT_ID IS NOT NULL, DATA_OBJECT_ID IS NOT NULL, "
                 "TEMPORARY, SUBOBJECT_NAME",
                 "OBJECT_NAME NOT LIKE 'SYS_C%'"),
            (Rows{"T|TABLE|VALID|N|1|-|1|1|N|<null>", "T_NAME|INDEX|VALID|N|4|-|1|1|N|<null>",
                  "T_SEQ|SEQUENCE|VALID|N|1|-|1|0|N|<null>", "P|PROCEDURE|VALID|N|1|Y|1|0|N|<null>",
                  "PK|PACKAGE|VALID|N|1|Y|1|0|N|<null>",
                  "PK|PACKAGE BODY|VALID|N|2|Y|1|0|N|<null>",
                  "TRG|TRIGGER|VALID|N|3|Y|1|0|N|<null>"}));
  // Every object has its own id and a creation time.
  EXPECT_EQ(View(*app_, "USER_OBJECTS", "COUNT(DISTINCT OBJECT_ID), COUNT(*), COUNT(CREATED)"),
            Rows{"8|8|8"});
  EXPECT_EQ(View(*app_, "USER_OBJECTS", "OBJECT_TYPE, GENERATED", "OBJECT_NAME LIKE 'SYS_C%'"),
            Rows{"INDEX|Y"});
  // OBJECT_ID is the object's id (as in the other views), TIMESTAMP the
  // creation time as text.
  EXPECT_EQ(View(*app_, "USER_OBJECTS", "length(TIMESTAMP), substr(TIMESTAMP, 11, 1)",
                 "OBJECT_NAME = 'T'"),
            Rows{"19|:"});
  EXPECT_EQ(View(*app_, "USER_OBJECTS", "OBJECT_TYPE, COUNT(*)",
                 "1 GROUP BY OBJECT_TYPE ORDER BY OBJECT_TYPE"),
            (Rows{"INDEX|2", "PACKAGE|1", "PACKAGE BODY|1", "PROCEDURE|1", "SEQUENCE|1",
                  "TABLE|1", "TRIGGER|1"}));
  // Replacing a unit keeps its id; a dropped object leaves no row, and a
  // dropped table takes its trigger with it.
  Rows id = View(*app_, "USER_OBJECTS", "OBJECT_ID", "OBJECT_NAME = 'P'");
  Run(*app_, "CREATE OR REPLACE PROCEDURE p IS BEGIN NULL; NULL; END;");
  EXPECT_EQ(View(*app_, "USER_OBJECTS", "OBJECT_ID", "OBJECT_NAME = 'P'"), id);
  Run(*app_, "DROP TABLE t");
  Run(*app_, "DROP PACKAGE pk");
  EXPECT_EQ(Query(*app_, "SELECT COUNT(*) FROM tab$code WHERE name = 'PK'"), Rows{"0"});
  EXPECT_EQ(View(*app_, "USER_OBJECTS", "OBJECT_NAME"), (Rows{"T_SEQ", "P"}));
}

// Views (VALID, or INVALID when made with FORCE over missing objects) and
// synonyms are objects too; a public synonym belongs to PUBLIC and shows in
// ALL_OBJECTS, not in the creator's USER_OBJECTS.
TEST_F(ObjectsViewTest, ViewsAndSynonyms) {
  auto bob = NewUser("BOB");
  Run(*app_, "CREATE TABLE t (id NUMBER)");
  Run(*app_, "CREATE VIEW v AS SELECT id FROM t");
  // Made with errors: success with information ORA-24344.
  EXPECT_EQ(Ddl(*app_, "CREATE FORCE VIEW broken AS SELECT x FROM nosuch").code(), 24344);
  Run(*app_, "CREATE SYNONYM s FOR t");
  Run(*sys_, "CREATE PUBLIC SYNONYM app_t FOR app.t");
  EXPECT_EQ(View(*app_, "USER_OBJECTS", "OBJECT_NAME, OBJECT_TYPE, STATUS, EDITIONABLE"),
            (Rows{"T|TABLE|VALID|<null>", "V|VIEW|VALID|Y", "BROKEN|VIEW|INVALID|Y",
                  "S|SYNONYM|VALID|Y"}));
  EXPECT_EQ(View(*bob, "ALL_OBJECTS", "OWNER, OBJECT_NAME, OBJECT_TYPE, EDITIONABLE"),
            Rows{"PUBLIC|APP_T|SYNONYM|N"});
  Run(*app_, "GRANT SELECT ON v TO bob");
  EXPECT_EQ(View(*bob, "ALL_OBJECTS", "OWNER || '.' || OBJECT_NAME"),
            (Rows{"APP.V", "PUBLIC.APP_T"}));
  EXPECT_EQ(View(*sys_, "DBA_OBJECTS", "OBJECT_TYPE, COUNT(*)",
                 "OWNER IN ('APP', 'PUBLIC') GROUP BY OBJECT_TYPE ORDER BY 1"),
            (Rows{"SYNONYM|2", "TABLE|1", "VIEW|2"}));
}

// ALL_OBJECTS: the user's own objects and those granted to it or to PUBLIC;
// DBA_OBJECTS only for DBAs, with every schema.
TEST_F(ObjectsViewTest, WhichRowsEachUserSees) {
  auto bob = NewUser("BOB");
  Run(*app_, "CREATE TABLE shared (x NUMBER)");
  Run(*app_, "CREATE TABLE secret (x NUMBER)");
  Run(*app_, "CREATE TABLE open_to_all (x NUMBER)");
  Run(*app_, "CREATE SEQUENCE seq");
  Run(*bob, "CREATE TABLE mine (x NUMBER)");
  Run(*app_, "GRANT SELECT ON shared TO bob");
  Run(*app_, "GRANT SELECT ON open_to_all TO PUBLIC");
  EXPECT_EQ(View(*bob, "ALL_OBJECTS", "OWNER, OBJECT_NAME"),
            (Rows{"APP|SHARED", "APP|OPEN_TO_ALL", "BOB|MINE"}));
  EXPECT_EQ(View(*bob, "USER_OBJECTS", "OBJECT_NAME"), Rows{"MINE"});
  EXPECT_EQ(View(*bob, "ALL_TAB_COMMENTS", "OWNER, TABLE_NAME"),
            (Rows{"APP|SHARED", "APP|OPEN_TO_ALL", "BOB|MINE"}));
  tabdb::DictionaryView v;
  Status st;
  ASSERT_TRUE(tabdb::FindDictionaryView(*bob, "DBA_OBJECTS", &v, &st));
  EXPECT_EQ(st.code(), 942);
  EXPECT_EQ(View(*sys_, "DBA_OBJECTS", "OWNER, COUNT(*)",
                 "OWNER IN ('APP', 'BOB') GROUP BY OWNER ORDER BY OWNER"),
            (Rows{"APP|4", "BOB|1"}));
  Run(*app_, "REVOKE SELECT ON shared FROM bob");
  EXPECT_EQ(View(*bob, "ALL_OBJECTS", "OBJECT_NAME"), (Rows{"OPEN_TO_ALL", "MINE"}));
}

// The other ALL_ views show a granted table too, with its columns,
// indexes and constraints, and forget it when the grant goes.
TEST_F(ObjectsViewTest, GrantedTablesInTheOtherAllViews) {
  auto bob = NewUser("BOB");
  Run(*app_, "CREATE TABLE shared (id NUMBER PRIMARY KEY, x NUMBER)");
  Run(*app_, "CREATE TABLE secret (id NUMBER PRIMARY KEY)");
  Run(*app_, "CREATE SEQUENCE seq");
  Run(*app_, "GRANT SELECT ON shared TO bob");
  Run(*app_, "GRANT SELECT ON seq TO PUBLIC");
  EXPECT_EQ(View(*bob, "ALL_TABLES", "OWNER || '.' || TABLE_NAME"), Rows{"APP.SHARED"});
  EXPECT_EQ(View(*bob, "ALL_TAB_COLUMNS", "TABLE_NAME || '.' || COLUMN_NAME"),
            (Rows{"SHARED.ID", "SHARED.X"}));
  EXPECT_EQ(View(*bob, "ALL_INDEXES", "TABLE_NAME"), Rows{"SHARED"});
  EXPECT_EQ(View(*bob, "ALL_IND_COLUMNS", "TABLE_NAME || '.' || COLUMN_NAME"),
            Rows{"SHARED.ID"});
  EXPECT_EQ(View(*bob, "ALL_CONSTRAINTS", "TABLE_NAME || ' ' || CONSTRAINT_TYPE"),
            Rows{"SHARED P"});
  EXPECT_EQ(View(*bob, "ALL_CONS_COLUMNS", "TABLE_NAME || '.' || COLUMN_NAME"),
            Rows{"SHARED.ID"});
  EXPECT_EQ(View(*bob, "ALL_SEQUENCES", "SEQUENCE_NAME"), Rows{"SEQ"});
  EXPECT_TRUE(View(*bob, "USER_TABLES", "TABLE_NAME").empty());
  Run(*app_, "REVOKE SELECT ON shared FROM bob");
  EXPECT_TRUE(View(*bob, "ALL_TABLES", "TABLE_NAME").empty());
  EXPECT_TRUE(View(*bob, "ALL_CONS_COLUMNS", "TABLE_NAME").empty());
}

// DROP USER ... CASCADE takes every object of the schema with it: a new
// user of the same name starts with none of them. Without CASCADE a user
// holding only a sequence or stored code is not dropped.
TEST_F(ObjectsViewTest, DroppedUserLeavesNoObjects) {
  auto zed = NewUser("ZED");
  Run(*zed, "CREATE SEQUENCE zs");
  zed.reset();
  EXPECT_EQ(Ddl(*sys_, "DROP USER zed").code(), 1922);
  zed = Logon("ZED", "pw");
  Run(*zed, "CREATE PROCEDURE zp IS BEGIN NULL; END;");
  Run(*zed, "CREATE TABLE zt (a NUMBER)");
  Run(*zed, "COMMENT ON TABLE zt IS 'old'");
  Run(*zed, "GRANT SELECT ON zs TO app");
  zed.reset();
  Run(*sys_, "DROP USER zed CASCADE");
  EXPECT_EQ(View(*sys_, "DBA_OBJECTS", "COUNT(*)", "OWNER = 'ZED'"), Rows{"0"});
  zed = NewUser("ZED");
  EXPECT_TRUE(View(*zed, "USER_OBJECTS", "OBJECT_NAME").empty());
  EXPECT_TRUE(View(*zed, "USER_SOURCE", "NAME").empty());
  EXPECT_TRUE(View(*app_, "ALL_SEQUENCES", "SEQUENCE_NAME").empty());
  EXPECT_EQ(Ddl(*zed, "DROP SEQUENCE zs").code(), 2289);
  Run(*zed, "CREATE SEQUENCE zs");
  Run(*zed, "CREATE PROCEDURE zp IS BEGIN NULL; END;");
  EXPECT_EQ(Query(*sys_, "SELECT COUNT(*) FROM tab$sequences s"
                         " LEFT JOIN tab$objects o ON o.obj_id = s.obj_id WHERE o.obj_id IS NULL"),
            Rows{"0"});
}

// GET_DDL('SEQUENCE') in 19c's layout; START WITH is LAST_NUMBER, past the
// values a cache would hold once the sequence was used.
TEST_F(ObjectsViewTest, SequenceDdlText) {
  Run(*app_, "CREATE SEQUENCE s1 NOCACHE START WITH 207");
  Run(*app_, "CREATE SEQUENCE s2 START WITH 141 ORDER");
  Run(*app_, "CREATE SEQUENCE s3 INCREMENT BY 10 MINVALUE 5 MAXVALUE 1000 CYCLE CACHE 5");
  EXPECT_EQ(GetDdl(*app_, "SEQUENCE", "S1", "APP"),
            "\n   CREATE SEQUENCE  \"APP\".\"S1\"  MINVALUE 1 MAXVALUE 9999999999999999999999999999 "
            "INCREMENT BY 1 START WITH 207 NOCACHE  NOORDER  NOCYCLE  NOKEEP  NOSCALE  GLOBAL ");
  EXPECT_EQ(GetDdl(*app_, "SEQUENCE", "S2", "APP"),
            "\n   CREATE SEQUENCE  \"APP\".\"S2\"  MINVALUE 1 MAXVALUE 9999999999999999999999999999 "
            "INCREMENT BY 1 START WITH 141 CACHE 20 ORDER  NOCYCLE  NOKEEP  NOSCALE  GLOBAL ");
  EXPECT_EQ(GetDdl(*app_, "SEQUENCE", "S3", "APP"),
            "\n   CREATE SEQUENCE  \"APP\".\"S3\"  MINVALUE 5 MAXVALUE 1000 "
            "INCREMENT BY 10 START WITH 5 CACHE 5 NOORDER  CYCLE  NOKEEP  NOSCALE  GLOBAL ");
  tabdb::SequenceInfo q;
  bool found = false;
  ASSERT_TRUE(tabdb::FindSequence(*app_, "APP", "S2", &q, &found).ok());
  ASSERT_TRUE(found);
  int64_t v = 0;
  ASSERT_TRUE(tabdb::SequenceNextValue(*app_, q.obj_id, &v).ok());
  EXPECT_EQ(v, 141);
  app_->transforms().sqlterminator = true;
  EXPECT_EQ(GetDdl(*app_, "SEQUENCE", "S2", "APP"),
            "\n   CREATE SEQUENCE  \"APP\".\"S2\"  MINVALUE 1 MAXVALUE 9999999999999999999999999999 "
            "INCREMENT BY 1 START WITH 161 CACHE 20 ORDER  NOCYCLE  NOKEEP  NOSCALE  GLOBAL ;");
  // A missing sequence, and one of a schema the user may not see.
  auto bob = NewUser("BOB");
  std::string out;
  EXPECT_EQ(tabdb::GetDdl(*app_, "SEQUENCE", "NOSUCH", "APP", &out).code(), 31603);
  EXPECT_EQ(tabdb::GetDdl(*bob, "SEQUENCE", "S1", "APP", &out).code(), 31603);
}

TEST_F(ObjectsViewTest, DatabaseProperties) {
  Rows rows = View(*app_, "DATABASE_PROPERTIES", "PROPERTY_NAME || '=' || PROPERTY_VALUE",
                   "PROPERTY_NAME IN ('DEFAULT_PERMANENT_TABLESPACE', 'DEFAULT_TEMP_TABLESPACE',"
                   " 'NLS_CHARACTERSET', 'NLS_NCHAR_CHARACTERSET', 'DBTIMEZONE', 'DICT.BASE',"
                   " 'NLS_DATE_FORMAT', 'NLS_LANGUAGE') ORDER BY 1");
  EXPECT_EQ(rows, (Rows{"DBTIMEZONE=+00:00", "DEFAULT_PERMANENT_TABLESPACE=USERS",
                        "DEFAULT_TEMP_TABLESPACE=TEMP", "DICT.BASE=2",
                        "NLS_CHARACTERSET=AL32UTF8", "NLS_DATE_FORMAT=DD-MON-RR",
                        "NLS_LANGUAGE=AMERICAN", "NLS_NCHAR_CHARACTERSET=AL16UTF16"}));
  // Its NLS rows agree with NLS_DATABASE_PARAMETERS.
  Rows nls = View(*app_, "NLS_DATABASE_PARAMETERS", "PARAMETER || '=' || VALUE", "1 ORDER BY 1");
  Rows props = View(*app_, "DATABASE_PROPERTIES", "PROPERTY_NAME || '=' || PROPERTY_VALUE",
                    "PROPERTY_NAME LIKE 'NLS%' AND PROPERTY_NAME <> 'NLS_RDBMS_VERSION' ORDER BY 1");
  EXPECT_EQ(props, nls);
  EXPECT_EQ(View(*app_, "DATABASE_PROPERTIES", "COUNT(*)", "DESCRIPTION IS NULL"), Rows{"0"});
}

// Through the shell and the query compiler: the count per type a DBA runs
// first, and comments made by script.
class ObjectsShellTest : public testsupport::AppShellTest {};

TEST_F(ObjectsShellTest, CountPerTypeAndComments) {
  testsupport::ProcResult r = App(
      "CREATE TABLE t (id NUMBER CONSTRAINT t_pk PRIMARY KEY, name VARCHAR2(20));\n"
      "CREATE SEQUENCE t_seq;\n"
      "COMMENT ON TABLE t IS 'Things';\n"
      "COMMENT ON COLUMN t.name IS 'What it is called';\n"
      "SELECT object_type, COUNT(*) FROM user_objects GROUP BY object_type ORDER BY 1;\n"
      "SELECT table_name, comments FROM user_tab_comments;\n"
      "SELECT column_name, comments FROM user_col_comments ORDER BY column_name;\n"
      "SELECT property_value FROM database_properties"
      " WHERE property_name = 'DEFAULT_PERMANENT_TABLESPACE';\n"
      "SELECT DBMS_METADATA.GET_DEPENDENT_DDL('COMMENT', 'T') ddl FROM dual;\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "OBJECT_TYPE|COUNT(*)\nINDEX|1\nSEQUENCE|1\nTABLE|1\n"
            "TABLE_NAME|COMMENTS\nT|Things\n"
            "COLUMN_NAME|COMMENTS\nID|\nNAME|What it is called\n"
            "PROPERTY_VALUE\nUSERS\n"
            "DDL\n\n   COMMENT ON COLUMN \"APP\".\"T\".\"NAME\" IS 'What it is called'\n"
            "   COMMENT ON TABLE \"APP\".\"T\"  IS 'Things'\n");
}

}  // namespace
}  // namespace cattest
