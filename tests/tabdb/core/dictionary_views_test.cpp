// dictionary_views_test.cpp - the dictionary views: their columns, the
// values they report for each kind of column, index and constraint, row
// order, and which rows each user sees.
#include "catalog_test_util.h"

namespace cattest {
namespace {

using Rows = std::vector<std::string>;

class DictionaryTest : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP");
  }
  std::unique_ptr<Session> app_;
};

TEST_F(DictionaryTest, EveryViewPreparesWithItsDeclaredColumns) {
  auto dba = NewUser("ADM", true);
  const char* bases[] = {"TABLES",      "TAB_COLS",    "TAB_COLUMNS",  "INDEXES", "IND_COLUMNS",
                         "CONSTRAINTS", "CONS_COLUMNS", "USERS"};
  for (Session* s : {app_.get(), dba.get()}) {
    for (const char* prefix : {"ALL_", "USER_", "DBA_"}) {
      for (const char* base : bases) {
        std::string name = std::string(prefix) + base;
        tabdb::DictionaryView v;
        Status st;
        ASSERT_TRUE(tabdb::FindDictionaryView(*s, name, &v, &st)) << name;
        if (std::string(prefix) == "DBA_" && !s->user().dba) {
          EXPECT_EQ(st.code(), 942) << name;
          continue;
        }
        ASSERT_TRUE(st.ok()) << name;
        sqlite3_stmt* q = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(s->db().handle(), v.sql.c_str(), -1, &q, nullptr), SQLITE_OK)
            << name << ": " << sqlite3_errmsg(s->db().handle()) << "\n" << v.sql;
        ASSERT_EQ(sqlite3_column_count(q), static_cast<int>(v.columns.size())) << name;
        for (size_t i = 0; i < v.columns.size(); ++i)
          EXPECT_EQ(sqlite3_column_name(q, static_cast<int>(i)), v.columns[i].name) << name;
        sqlite3_finalize(q);
        bool has_owner = false;
        for (const auto& c : v.columns) has_owner = has_owner || c.name == "OWNER";
        // USER_ views leave out the owner, except for constraints.
        bool owner_expected = std::string(base) != "USERS" &&
                              (std::string(prefix) != "USER_" ||
                               std::string(base).find("CONS") == 0);
        if (std::string(base) != "IND_COLUMNS") {
          EXPECT_EQ(has_owner, owner_expected) << name;
        }
      }
    }
  }
  tabdb::DictionaryView v;
  Status st;
  EXPECT_FALSE(tabdb::FindDictionaryView(*app_, "ALL_OBJECTS_X", &v, &st));
  EXPECT_FALSE(tabdb::FindDictionaryView(*app_, "DUAL", &v, &st));
}

TEST_F(DictionaryTest, ColumnValuesPerType) {
  Run(*app_,
      "CREATE TABLE t (n NUMBER, n4 NUMBER(4) NOT NULL, n42 NUMBER(4,2), i INTEGER, f FLOAT, "
      "f5 FLOAT(5), v VARCHAR2(10) DEFAULT 'abc', vc VARCHAR2(10 CHAR), c CHAR(3), cc CHAR(3 CHAR), "
      "nc NCHAR(4), nv NVARCHAR2(4), d DATE, ts TIMESTAMP, ts0 TIMESTAMP(0), tz TIMESTAMP(3) WITH "
      "TIME ZONE, ym INTERVAL YEAR TO MONTH, ds INTERVAL DAY(3) TO SECOND(2), r RAW(16), "
      "bf BINARY_FLOAT, bd BINARY_DOUBLE, l LONG, cl CLOB, bl BLOB, ncl NCLOB, ri ROWID, ur UROWID, "
      "lr CLOB, CONSTRAINT t_pk PRIMARY KEY (i)) LOB (lr) STORE AS (DISABLE STORAGE IN ROW)");
  Rows rows = View(*app_, "ALL_TAB_COLUMNS",
                   "COLUMN_NAME, DATA_TYPE, DATA_LENGTH, DATA_PRECISION, DATA_SCALE, NULLABLE, "
                   "COLUMN_ID, CHAR_LENGTH, CHAR_USED, ifnull(CHARACTER_SET_NAME, '-')",
                   "OWNER = 'APP'");
  Rows expected = {
      "N|NUMBER|22|<null>|<null>|Y|1|0|<null>|-",
      "N4|NUMBER|22|4|0|N|2|0|<null>|-",
      "N42|NUMBER|22|4|2|Y|3|0|<null>|-",
      "I|NUMBER|22|<null>|0|N|4|0|<null>|-",
      "F|FLOAT|22|126|<null>|Y|5|0|<null>|-",
      "F5|FLOAT|22|5|<null>|Y|6|0|<null>|-",
      "V|VARCHAR2|10|<null>|<null>|Y|7|10|B|CHAR_CS",
      "VC|VARCHAR2|40|<null>|<null>|Y|8|10|C|CHAR_CS",
      "C|CHAR|3|<null>|<null>|Y|9|3|B|CHAR_CS",
      "CC|CHAR|12|<null>|<null>|Y|10|3|C|CHAR_CS",
      "NC|NCHAR|8|<null>|<null>|Y|11|4|C|NCHAR_CS",
      "NV|NVARCHAR2|8|<null>|<null>|Y|12|4|C|NCHAR_CS",
      "D|DATE|7|<null>|<null>|Y|13|0|<null>|-",
      "TS|TIMESTAMP(6)|11|<null>|6|Y|14|0|<null>|-",
      "TS0|TIMESTAMP(0)|7|<null>|0|Y|15|0|<null>|-",
      "TZ|TIMESTAMP(3) WITH TIME ZONE|13|<null>|3|Y|16|0|<null>|-",
      "YM|INTERVAL YEAR(2) TO MONTH|5|2|0|Y|17|0|<null>|-",
      "DS|INTERVAL DAY(3) TO SECOND(2)|11|3|2|Y|18|0|<null>|-",
      "R|RAW|16|<null>|<null>|Y|19|0|<null>|-",
      "BF|BINARY_FLOAT|4|<null>|<null>|Y|20|0|<null>|-",
      "BD|BINARY_DOUBLE|8|<null>|<null>|Y|21|0|<null>|-",
      "L|LONG|0|<null>|<null>|Y|22|0|<null>|CHAR_CS",
      "CL|CLOB|4000|<null>|<null>|Y|23|0|<null>|CHAR_CS",
      "BL|BLOB|4000|<null>|<null>|Y|24|0|<null>|-",
      "NCL|NCLOB|4000|<null>|<null>|Y|25|0|<null>|NCHAR_CS",
      "RI|ROWID|10|<null>|<null>|Y|26|0|<null>|-",
      "UR|UROWID|4000|<null>|<null>|Y|27|0|<null>|-",
      "LR|CLOB|86|<null>|<null>|Y|28|0|<null>|CHAR_CS",
  };
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], expected[i]);
  EXPECT_EQ(View(*app_, "USER_TAB_COLS", "DATA_DEFAULT, DEFAULT_LENGTH", "COLUMN_NAME = 'V'"),
            Rows{"'abc'|5"});
}

TEST_F(DictionaryTest, HiddenAndVirtualColumns) {
  Run(*app_, "CREATE TABLE t (a CHAR(1), b CHAR(1), q NUMBER, p NUMBER, tot AS (q * p))");
  Run(*app_, "CREATE INDEX t_i1 ON t (a || '-' || b)");
  Run(*app_, "CREATE INDEX t_i2 ON t (q, p DESC)");
  // (The type of an expression column is the engine's inference.)
  std::string cols =
      "COLUMN_NAME, ifnull(COLUMN_ID, '-'), HIDDEN_COLUMN, VIRTUAL_COLUMN, "
      "ifnull(DATA_DEFAULT, '-'), INTERNAL_COLUMN_ID, ifnull(SEGMENT_COLUMN_ID, '-')";
  EXPECT_EQ(View(*app_, "ALL_TAB_COLS", cols, "TABLE_NAME = 'T'"),
            (Rows{"A|1|NO|NO|-|1|1", "B|2|NO|NO|-|2|2", "Q|3|NO|NO|-|3|3", "P|4|NO|NO|-|4|4",
                  "TOT|5|NO|YES|\"Q\"*\"P\"|5|-",
                  "SYS_NC00006$|-|YES|YES|\"A\"||'-'||\"B\"|6|-",
                  "SYS_NC00007$|-|YES|YES|\"P\"|7|-"}));
  EXPECT_EQ(View(*app_, "USER_TAB_COLS", "DATA_TYPE, DATA_LENGTH, NULLABLE",
                 "COLUMN_NAME IN ('TOT', 'SYS_NC00007$')"),
            (Rows{"NUMBER|22|Y", "NUMBER|22|Y"}));
  EXPECT_EQ(View(*app_, "ALL_TAB_COLUMNS", "COLUMN_NAME", "TABLE_NAME = 'T'"),
            (Rows{"A", "B", "Q", "P", "TOT"}));
  EXPECT_EQ(View(*app_, "ALL_IND_COLUMNS", "INDEX_NAME, COLUMN_NAME, COLUMN_POSITION, DESCEND",
                 "TABLE_NAME = 'T'"),
            (Rows{"T_I1|SYS_NC00006$|1|ASC", "T_I2|Q|1|ASC", "T_I2|SYS_NC00007$|2|DESC"}));
}

TEST_F(DictionaryTest, TablesInCreationOrderAndVisibility) {
  auto other = NewUser("OTHER");
  Run(*app_, "CREATE TABLE zeta (a NUMBER)");
  Run(*other, "CREATE TABLE mine (a NUMBER)");
  Run(*app_, "CREATE TABLE alpha (a NUMBER) PCTFREE 25 NOLOGGING TABLESPACE sysaux");
  Run(*app_, "CREATE TABLE mid (a NUMBER) SEGMENT CREATION IMMEDIATE");
  std::string cols = "OWNER, TABLE_NAME, TABLESPACE_NAME, PCT_FREE, LOGGING, SEGMENT_CREATED";
  Rows app_rows = {"APP|ZETA|USERS|10|YES|NO", "APP|ALPHA|SYSAUX|25|NO|NO",
                   "APP|MID|USERS|10|YES|YES"};
  EXPECT_EQ(View(*app_, "ALL_TABLES", cols), app_rows);
  EXPECT_EQ(View(*app_, "ALL_TABLES", "count(*)", "OWNER = 'OTHER'"), Rows{"0"});
  EXPECT_EQ(View(*app_, "ALL_TABLES", "TABLE_NAME", "OWNER = 'APP'"),
            (Rows{"ZETA", "ALPHA", "MID"}));
  EXPECT_EQ(View(*sys_, "ALL_TABLES", "OWNER || '.' || TABLE_NAME"),
            (Rows{"APP.ZETA", "OTHER.MINE", "APP.ALPHA", "APP.MID"}));
  EXPECT_EQ(View(*sys_, "DBA_TABLES", "count(*)"), Rows{"4"});
  // USER_ views follow the session user, not the current schema.
  sys_->set_current_schema("APP");
  EXPECT_EQ(View(*sys_, "USER_TABLES", "count(*)"), Rows{"0"});
  EXPECT_EQ(View(*other, "USER_TABLES", "TABLE_NAME, PCT_USED, STATUS"), Rows{"MINE|40|VALID"});
  EXPECT_EQ(View(*other, "USER_TAB_COLUMNS", "TABLE_NAME"), Rows{"MINE"});
}

TEST_F(DictionaryTest, IndexesAndConstraints) {
  Run(*app_, "CREATE TABLE t (id NUMBER PRIMARY KEY, a NUMBER CONSTRAINT a_nn NOT NULL, "
             "b VARCHAR2(10), c NUMBER, CONSTRAINT t_ck CHECK (c > 0) DISABLE)");
  Run(*app_, "CREATE INDEX t_ba ON t (b, a) TABLESPACE system");
  Run(*app_, "ALTER TABLE t ADD CONSTRAINT t_uk UNIQUE (a, b)");
  Run(*app_, "CREATE BITMAP INDEX t_c ON t (c)");
  Run(*app_, "CREATE INDEX t_rev ON t (c, a) REVERSE");
  Run(*app_, "CREATE UNIQUE INDEX t_up ON t (UPPER(b))");
  EXPECT_EQ(View(*app_, "ALL_INDEXES",
                 "INDEX_NAME, INDEX_TYPE, TABLE_OWNER, TABLE_NAME, UNIQUENESS, TABLESPACE_NAME, "
                 "GENERATED, ifnull(FUNCIDX_STATUS, '-')"),
            (Rows{"SYS_C000001|NORMAL|APP|T|UNIQUE|USERS|Y|-",
                  "T_BA|NORMAL|APP|T|NONUNIQUE|SYSTEM|N|-",
                  "T_C|BITMAP|APP|T|NONUNIQUE|USERS|N|-",
                  "T_REV|NORMAL/REV|APP|T|NONUNIQUE|USERS|N|-",
                  "T_UP|FUNCTION-BASED NORMAL|APP|T|UNIQUE|USERS|N|ENABLED"}));
  // The filter the export uses leaves bitmap indexes out.
  EXPECT_EQ(View(*app_, "ALL_INDEXES", "INDEX_NAME",
                 "OWNER = 'APP' AND TABLE_NAME = 'T' AND (INDEX_TYPE LIKE 'NORMAL%' OR "
                 "INDEX_TYPE LIKE 'FUNCTION%')"),
            (Rows{"SYS_C000001", "T_BA", "T_REV", "T_UP"}));
  EXPECT_EQ(View(*app_, "ALL_CONSTRAINTS",
                 "CONSTRAINT_NAME, CONSTRAINT_TYPE, TABLE_NAME, ifnull(SEARCH_CONDITION, '-'), "
                 "STATUS, VALIDATED, GENERATED, ifnull(INDEX_OWNER, '-'), ifnull(INDEX_NAME, '-')"),
            (Rows{"SYS_C000001|P|T|-|ENABLED|VALIDATED|GENERATED NAME|APP|SYS_C000001",
                  "A_NN|C|T|\"A\" IS NOT NULL|ENABLED|VALIDATED|USER NAME|-|-",
                  "T_CK|C|T|c > 0|DISABLED|NOT VALIDATED|USER NAME|-|-",
                  "T_UK|U|T|-|ENABLED|VALIDATED|USER NAME|APP|T_BA"}));
  EXPECT_EQ(View(*app_, "USER_CONS_COLUMNS", "CONSTRAINT_NAME, COLUMN_NAME, ifnull(POSITION, '-')"),
            (Rows{"SYS_C000001|ID|1", "A_NN|A|-", "T_CK|C|-", "T_UK|A|1", "T_UK|B|2"}));
  EXPECT_EQ(View(*app_, "ALL_TAB_COLUMNS", "COLUMN_NAME, NULLABLE", "TABLE_NAME = 'T'"),
            (Rows{"ID|N", "A|N", "B|Y", "C|Y"}));
  // Another user sees none of it; a DBA sees it in the ALL_ views too.
  auto other = NewUser("OTHER");
  EXPECT_EQ(View(*other, "ALL_INDEXES", "count(*)"), Rows{"0"});
  EXPECT_EQ(View(*other, "ALL_CONSTRAINTS", "count(*)"), Rows{"0"});
  EXPECT_EQ(View(*other, "ALL_IND_COLUMNS", "count(*)"), Rows{"0"});
  EXPECT_EQ(View(*sys_, "ALL_INDEXES", "count(*)", "OWNER = 'APP'"), Rows{"5"});
  EXPECT_EQ(View(*sys_, "USER_INDEXES", "count(*)"), Rows{"0"});
}

TEST_F(DictionaryTest, Users) {
  Rows all = View(*app_, "ALL_USERS", "USERNAME, USER_ID, length(CREATED)");
  EXPECT_EQ(all, (Rows{"SYSTEM|1|7", "APP|2|7"}));
  EXPECT_EQ(View(*app_, "USER_USERS", "USERNAME, ACCOUNT_STATUS, DEFAULT_TABLESPACE"),
            Rows{"APP|OPEN|USERS"});
  EXPECT_EQ(View(*sys_, "DBA_USERS", "USERNAME, PROFILE"), (Rows{"SYSTEM|DEFAULT", "APP|DEFAULT"}));
  // CREATED is a DATE of this century.
  Rows created = Query(*app_, "SELECT hex(CREATED) FROM (" + [&] {
    tabdb::DictionaryView v;
    Status st;
    tabdb::FindDictionaryView(*app_, "USER_USERS", &v, &st);
    return v.sql;
  }() + ")");
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0].substr(0, 2), "78");  // century 20 + 100
}

}  // namespace
}  // namespace cattest
