// ddl_text_test.cpp - DBMS_METADATA.GET_DDL texts: the exact 19c shapes for
// tables, indexes and constraints under the transform parameters, the
// errors, and the fixed point (a text replayed in another schema gives the
// same text there).
#include <algorithm>
#include <tuple>

#include "catalog_test_util.h"

namespace cattest {
namespace {

using tabdb::TableInfo;

constexpr const char* kStorage =
    "  STORAGE(INITIAL 65536 NEXT 1048576 MINEXTENTS 1 MAXEXTENTS 2147483645\n"
    "  PCTINCREASE 0 FREELISTS 1 FREELIST GROUPS 1\n"
    "  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)\n";

constexpr const char* kOrders =
    "CREATE TABLE app.orders (\n"
    "  id      NUMBER(10) NOT NULL,\n"
    "  cust    VARCHAR2(30 CHAR),\n"
    "  amount  NUMBER(12,2) DEFAULT 0,\n"
    "  created DATE,\n"
    "  CONSTRAINT orders_pk PRIMARY KEY (id))";

const std::string kColumns =
    "\n  CREATE TABLE \"APP\".\"ORDERS\" \n   (\t\"ID\" NUMBER(10,0) NOT NULL ENABLE, \n\t\"CUST\" "
    "VARCHAR2(30 CHAR), \n\t\"AMOUNT\" NUMBER(12,2) DEFAULT 0, \n\t\"CREATED\" DATE";
const std::string kTail =
    "   ) SEGMENT CREATION IMMEDIATE \n  PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n "
    "NOCOMPRESS LOGGING\n" + std::string(kStorage) + "  TABLESPACE \"USERS\" ";

class DdlTextTest : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP");
  }

  // What the first INSERT into a table does to its segment.
  void MarkRows(const std::string& owner, const std::string& table) {
    TableInfo t;
    ASSERT_TRUE(tabdb::LoadTable(*sys_, owner, table, &t).ok());
    ASSERT_TRUE(sys_->db()
                    .Exec("UPDATE tab$tables SET has_rows = 1 WHERE obj_id = " +
                          std::to_string(t.obj_id))
                    .ok());
  }

  void Orders(bool rows) {
    Run(*app_, kOrders);
    Run(*app_, "CREATE INDEX app.orders_cust_ix ON app.orders (UPPER(cust))");
    if (rows) MarkRows("APP", "ORDERS");
  }

  tabdb::TransformParams& tp() { return app_->transforms(); }

  std::unique_ptr<Session> app_;
};

TEST_F(DdlTextTest, TableForms) {
  Orders(true);
  tp().constraints = false;
  // E1: segment attributes, no constraints.
  EXPECT_EQ(GetDdl(*app_, "TABLE", "ORDERS", "APP"), kColumns + "\n" + kTail);
  // E2: no segment attributes.
  tp().segment_attributes = false;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "ORDERS", "APP"), kColumns + "\n   ) ");
  // E3: everything by default.
  tp() = tabdb::TransformParams();
  std::string pk =
      ", \n\t CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")\n  USING INDEX PCTFREE 10 INITRANS 2 "
      "MAXTRANS 255 COMPUTE STATISTICS \n" + std::string(kStorage) +
      "  TABLESPACE \"USERS\"  ENABLE\n";
  EXPECT_EQ(GetDdl(*app_, "TABLE", "ORDERS", "APP"), kColumns + pk + kTail);
  tp().segment_attributes = false;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "ORDERS", "APP"),
            kColumns + ", \n\t CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")\n  USING INDEX  ENABLE\n   ) ");
}

TEST_F(DdlTextTest, DeferredSegmentHasNoStorage) {
  Orders(false);
  std::string text = GetDdl(*app_, "TABLE", "ORDERS", "APP");
  EXPECT_EQ(text,
            kColumns +
                ", \n\t CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")\n  USING INDEX PCTFREE 10 "
                "INITRANS 2 MAXTRANS 255 \n  TABLESPACE \"USERS\"  ENABLE\n   ) SEGMENT CREATION "
                "DEFERRED \n  PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n NOCOMPRESS "
                "LOGGING\n  TABLESPACE \"USERS\" ");
  EXPECT_EQ(GetDdl(*app_, "INDEX", "ORDERS_PK", "APP"),
            "\n  CREATE UNIQUE INDEX \"APP\".\"ORDERS_PK\" ON \"APP\".\"ORDERS\" (\"ID\") \n  "
            "PCTFREE 10 INITRANS 2 MAXTRANS 255 \n  TABLESPACE \"USERS\" ");
  // Given IMMEDIATE, the segment exists without rows.
  Run(*app_, "CREATE TABLE t (a NUMBER) SEGMENT CREATION IMMEDIATE");
  EXPECT_NE(GetDdl(*app_, "TABLE", "T", "APP").find("IMMEDIATE \n  PCTFREE 10 PCTUSED 40 "
                                                   "INITRANS 1 MAXTRANS 255 \n NOCOMPRESS "
                                                   "LOGGING\n  STORAGE("),
            std::string::npos);
}

TEST_F(DdlTextTest, IndexForms) {
  Orders(true);
  Run(*app_, "CREATE BITMAP INDEX orders_b ON orders (created)");
  Run(*app_, "CREATE INDEX orders_r ON orders (amount DESC, cust) REVERSE NOLOGGING PARALLEL 5");
  const std::string attrs = "PCTFREE 10 INITRANS 2 MAXTRANS 255 COMPUTE STATISTICS \n" +
                            std::string(kStorage) + "  TABLESPACE \"USERS\" ";
  EXPECT_EQ(GetDdl(*app_, "INDEX", "ORDERS_PK", "APP"),
            "\n  CREATE UNIQUE INDEX \"APP\".\"ORDERS_PK\" ON \"APP\".\"ORDERS\" (\"ID\") \n  " + attrs);
  EXPECT_EQ(GetDdl(*app_, "INDEX", "ORDERS_R", "APP"),
            "\n  CREATE INDEX \"APP\".\"ORDERS_R\" ON \"APP\".\"ORDERS\" (\"AMOUNT\" DESC, \"CUST\") "
            "REVERSE \n  PCTFREE 10 INITRANS 2 MAXTRANS 255 COMPUTE STATISTICS NOLOGGING \n" +
                std::string(kStorage) + "  TABLESPACE \"USERS\" \n  PARALLEL 5 ");
  tp().storage = false;
  EXPECT_EQ(GetDdl(*app_, "INDEX", "ORDERS_PK", "APP"),
            "\n  CREATE UNIQUE INDEX \"APP\".\"ORDERS_PK\" ON \"APP\".\"ORDERS\" (\"ID\") \n  "
            "PCTFREE 10 INITRANS 2 MAXTRANS 255 COMPUTE STATISTICS \n  TABLESPACE \"USERS\" ");
  // E5 with SEGMENT_ATTRIBUTES FALSE.
  tp().segment_attributes = false;
  EXPECT_EQ(GetDdl(*app_, "INDEX", "ORDERS_PK", "APP"),
            "\n  CREATE UNIQUE INDEX \"APP\".\"ORDERS_PK\" ON \"APP\".\"ORDERS\" (\"ID\") \n  ");
  EXPECT_EQ(GetDdl(*app_, "INDEX", "ORDERS_CUST_IX", "APP"),
            "\n  CREATE INDEX \"APP\".\"ORDERS_CUST_IX\" ON \"APP\".\"ORDERS\" (UPPER(\"CUST\")) \n  ");
  EXPECT_EQ(GetDdl(*app_, "INDEX", "ORDERS_B", "APP"),
            "\n  CREATE BITMAP INDEX \"APP\".\"ORDERS_B\" ON \"APP\".\"ORDERS\" (\"CREATED\") \n  ");
}

TEST_F(DdlTextTest, ConstraintForms) {
  Orders(true);
  Run(*app_, "CREATE TABLE t (a NUMBER CONSTRAINT a_nn NOT NULL, b NUMBER NOT NULL, c NUMBER, "
             "CHECK (c >= 0), CONSTRAINT t_ck CHECK (c < 10) DISABLE)");
  Run(*app_, "CREATE INDEX t_ab ON t (a, b)");
  Run(*app_, "ALTER TABLE t ADD PRIMARY KEY (b, a)");
  Run(*app_, "ALTER TABLE t ADD CONSTRAINT t_uc UNIQUE (c) DISABLE");
  // E6.
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", "ORDERS_PK", "APP"),
            "\n  ALTER TABLE \"APP\".\"ORDERS\" ADD CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")\n  "
            "USING INDEX PCTFREE 10 INITRANS 2 MAXTRANS 255 COMPUTE STATISTICS \n" +
                std::string(kStorage) + "  TABLESPACE \"USERS\"  ENABLE");
  tp().segment_attributes = false;
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", "ORDERS_PK", "APP"),
            "\n  ALTER TABLE \"APP\".\"ORDERS\" ADD CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")\n  "
            "USING INDEX  ENABLE");
  std::vector<std::string> names =
      Query(*sys_, "SELECT name FROM tab$constraints WHERE table_obj = "
                   "(SELECT obj_id FROM tab$objects WHERE name = 'T') ORDER BY cons_id");
  ASSERT_EQ(names.size(), 6u);
  const std::string head = "\n  ALTER TABLE \"APP\".\"T\" ";
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", "A_NN", "APP"),
            head + "MODIFY (\"A\" CONSTRAINT \"A_NN\" NOT NULL ENABLE)");
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", names[1], "APP"), head + "MODIFY (\"B\" NOT NULL ENABLE)");
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", names[2], "APP"), head + "ADD CHECK (c >= 0) ENABLE");
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", "T_CK", "APP"),
            head + "ADD CONSTRAINT \"T_CK\" CHECK (c < 10) DISABLE");
  // The key over the index made before it names that index.
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", names[4], "APP"),
            head + "ADD PRIMARY KEY (\"B\", \"A\")\n  USING INDEX \"APP\".\"T_AB\"  ENABLE");
  EXPECT_EQ(GetDdl(*app_, "CONSTRAINT", "T_UC", "APP"),
            head + "ADD CONSTRAINT \"T_UC\" UNIQUE (\"C\") DISABLE");
  // Inline, with the NOT NULL forms in the column list.
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP"),
            "\n  CREATE TABLE \"APP\".\"T\" \n   (\t\"A\" NUMBER CONSTRAINT \"A_NN\" NOT NULL ENABLE, "
            "\n\t\"B\" NUMBER NOT NULL ENABLE, \n\t\"C\" NUMBER, \n\t CHECK (c >= 0) ENABLE, \n\t "
            "CONSTRAINT \"T_CK\" CHECK (c < 10) DISABLE, \n\t PRIMARY KEY (\"B\", \"A\")\n  USING "
            "INDEX  ENABLE, \n\t CONSTRAINT \"T_UC\" UNIQUE (\"C\") DISABLE\n   ) ");
}

TEST_F(DdlTextTest, TransformParameters) {
  Run(*app_, "CREATE TABLE t (a VARCHAR2(20), b CHAR(2 CHAR), c NUMBER PRIMARY KEY) NOLOGGING");
  tp().segment_attributes = false;
  const std::string plain =
      "\n  CREATE TABLE \"APP\".\"T\" \n   (\t\"A\" VARCHAR2(20), \n\t\"B\" CHAR(2 CHAR), \n\t\"C\" "
      "NUMBER, \n\t PRIMARY KEY (\"C\")\n  USING INDEX  ENABLE\n   ) ";
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP"), plain);
  tp().size_byte_keyword = true;
  EXPECT_NE(GetDdl(*app_, "TABLE", "T", "APP").find("\"A\" VARCHAR2(20 BYTE), \n\t\"B\" CHAR(2 CHAR)"),
            std::string::npos);
  tp().size_byte_keyword = false;
  tp().sqlterminator = true;
  tp().emit_schema = false;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP"),
            "\n  CREATE TABLE \"T\" \n   (\t\"A\" VARCHAR2(20), \n\t\"B\" CHAR(2 CHAR), \n\t\"C\" "
            "NUMBER, \n\t PRIMARY KEY (\"C\")\n  USING INDEX  ENABLE\n   ) ;");
  tp().emit_schema = true;
  tp().constraints_as_alter = true;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP"),
            "\n  CREATE TABLE \"APP\".\"T\" \n   (\t\"A\" VARCHAR2(20), \n\t\"B\" CHAR(2 CHAR), "
            "\n\t\"C\" NUMBER\n   ) ;\n  ALTER TABLE \"APP\".\"T\" ADD PRIMARY KEY (\"C\")\n  USING "
            "INDEX  ENABLE;");
  tp().constraints_as_alter = false;
  tp().constraints = false;
  tp().sqlterminator = false;
  tp().pretty = false;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP"),
            "CREATE TABLE \"APP\".\"T\" (\"A\" VARCHAR2(20), \"B\" CHAR(2 CHAR), \"C\" NUMBER) ");
  // Segment attributes without STORAGE / TABLESPACE.
  tp() = tabdb::TransformParams();
  tp().constraints = false;
  tp().tablespace = false;
  MarkRows("APP", "T");
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP").substr(plain.size() - 49),
            "   ) SEGMENT CREATION IMMEDIATE \n  PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n "
            "NOCOMPRESS NOLOGGING\n" + std::string(kStorage));
  tp().storage = false;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP").substr(plain.size() - 49),
            "   ) SEGMENT CREATION IMMEDIATE \n  PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n "
            "NOCOMPRESS NOLOGGING\n");
}

TEST_F(DdlTextTest, ColumnTypesAndDefaults) {
  Run(*app_,
      "CREATE TABLE t (n NUMBER, n4 NUMBER(4), n72 NUMBER(7,2), i INTEGER, f FLOAT, f5 FLOAT(5), "
      "v VARCHAR2(10), vc VARCHAR2(10 CHAR), c CHAR, nc NCHAR(2), nv NVARCHAR2(2), d DATE DEFAULT "
      "SYSDATE, ts TIMESTAMP, ts3 TIMESTAMP(3) DEFAULT systimestamp  , tz TIMESTAMP WITH TIME ZONE, "
      "ltz TIMESTAMP WITH LOCAL TIME ZONE, ym INTERVAL YEAR TO MONTH, ds INTERVAL DAY TO SECOND, "
      "r RAW(16), bf BINARY_FLOAT, bd BINARY_DOUBLE, ri ROWID, ur UROWID, l LONG, "
      "q NUMBER, p NUMBER, tot NUMBER(14,2) AS (q*p) VIRTUAL, dflt VARCHAR2(5) DEFAULT 'x''y')");
  tp().segment_attributes = false;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP"),
            "\n  CREATE TABLE \"APP\".\"T\" \n   (\t\"N\" NUMBER, \n\t\"N4\" NUMBER(4,0), \n\t\"N72\" "
            "NUMBER(7,2), \n\t\"I\" NUMBER(*,0), \n\t\"F\" FLOAT(126), \n\t\"F5\" FLOAT(5), "
            "\n\t\"V\" VARCHAR2(10), \n\t\"VC\" VARCHAR2(10 CHAR), \n\t\"C\" CHAR(1), \n\t\"NC\" "
            "NCHAR(2), \n\t\"NV\" NVARCHAR2(2), \n\t\"D\" DATE DEFAULT SYSDATE, \n\t\"TS\" "
            "TIMESTAMP (6), \n\t\"TS3\" TIMESTAMP (3) DEFAULT systimestamp, \n\t\"TZ\" TIMESTAMP "
            "(6) WITH TIME ZONE, \n\t\"LTZ\" TIMESTAMP (6) WITH LOCAL TIME ZONE, \n\t\"YM\" "
            "INTERVAL YEAR (2) TO MONTH, \n\t\"DS\" INTERVAL DAY (2) TO SECOND (6), \n\t\"R\" "
            "RAW(16), \n\t\"BF\" BINARY_FLOAT, \n\t\"BD\" BINARY_DOUBLE, \n\t\"RI\" ROWID, "
            "\n\t\"UR\" UROWID(4000), \n\t\"L\" LONG, \n\t\"Q\" NUMBER, \n\t\"P\" NUMBER, "
            "\n\t\"TOT\" NUMBER(14,2) GENERATED ALWAYS AS (\"Q\"*\"P\") VIRTUAL , \n\t\"DFLT\" "
            "VARCHAR2(5) DEFAULT 'x''y'\n   ) ");
}

TEST_F(DdlTextTest, LobClauses) {
  Run(*app_, "CREATE TABLE t (id NUMBER, a CLOB, b BLOB, c NCLOB) "
             "LOB (b) STORE AS BASICFILE (TABLESPACE sysaux DISABLE STORAGE IN ROW CACHE) "
             "LOB (c) STORE AS SECUREFILE c_seg (NOLOGGING COMPRESS DEDUPLICATE)");
  TableInfo t;
  ASSERT_TRUE(tabdb::LoadTable(*sys_, "APP", "T", &t).ok());
  char sysname[64];
  std::snprintf(sysname, sizeof sysname, "SYS_LOB%010lldC00002$$", static_cast<long long>(t.obj_id));
  const std::string head =
      "\n  CREATE TABLE \"APP\".\"T\" \n   (\t\"ID\" NUMBER, \n\t\"A\" CLOB, \n\t\"B\" BLOB, "
      "\n\t\"C\" NCLOB\n   ) ";
  tp().segment_attributes = false;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP"),
            head + "\n LOB (\"A\") STORE AS SECUREFILE \"" + sysname +
                "\"(ENABLE STORAGE IN ROW CHUNK 8192\n  NOCACHE LOGGING  NOCOMPRESS  "
                "KEEP_DUPLICATES ) \n LOB (\"B\") STORE AS BASICFILE \"SYS_LOB" +
                std::string(sysname).substr(7, 11) +
                "00003$$\"(DISABLE STORAGE IN ROW CHUNK 8192 RETENTION \n  CACHE LOGGING ) \n LOB "
                "(\"C\") STORE AS SECUREFILE \"C_SEG\"(ENABLE STORAGE IN ROW CHUNK 8192\n  "
                "NOCACHE NOLOGGING  COMPRESS MEDIUM  DEDUPLICATE ) ");
  tp().segment_attributes = true;
  std::string deferred = GetDdl(*app_, "TABLE", "T", "APP");
  EXPECT_NE(deferred.find("  TABLESPACE \"USERS\" \n LOB (\"A\") STORE AS SECUREFILE (\n  "
                          "TABLESPACE \"USERS\" ENABLE STORAGE IN ROW CHUNK 8192\n  NOCACHE "
                          "LOGGING  NOCOMPRESS  KEEP_DUPLICATES ) \n LOB (\"B\") STORE AS "
                          "BASICFILE (\n  TABLESPACE \"SYSAUX\" DISABLE STORAGE IN ROW CHUNK 8192 "
                          "RETENTION \n  CACHE LOGGING ) "),
            std::string::npos)
      << deferred;
  MarkRows("APP", "T");
  std::string immediate = GetDdl(*app_, "TABLE", "T", "APP");
  EXPECT_NE(immediate.find("\n LOB (\"A\") STORE AS SECUREFILE (\n  TABLESPACE \"USERS\" ENABLE "
                           "STORAGE IN ROW CHUNK 8192\n  NOCACHE LOGGING  NOCOMPRESS  "
                           "KEEP_DUPLICATES \n  STORAGE(INITIAL 106496 NEXT 1048576 MINEXTENTS 1 "
                           "MAXEXTENTS 2147483645\n  PCTINCREASE 0\n  BUFFER_POOL DEFAULT "
                           "FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)) "),
            std::string::npos)
      << immediate;
  EXPECT_NE(immediate.find("RETENTION \n  CACHE LOGGING \n" + std::string(kStorage).substr(0, 9)),
            std::string::npos)
      << immediate;
}

TEST_F(DdlTextTest, PhysicalClausesComeBack) {
  Run(*app_, "CREATE TABLE t (a NUMBER CONSTRAINT t_pk PRIMARY KEY USING INDEX PCTFREE 5 "
             "INITRANS 4 STORAGE (INITIAL 128K) TABLESPACE system) SEGMENT CREATION IMMEDIATE "
             "PCTFREE 20 PCTUSED 50 INITRANS 3 MAXTRANS 100 COMPRESS NOLOGGING STORAGE (INITIAL "
             "1M NEXT 2M MINEXTENTS 2 MAXEXTENTS UNLIMITED PCTINCREASE 5 BUFFER_POOL KEEP) "
             "TABLESPACE sysaux");
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP"),
            "\n  CREATE TABLE \"APP\".\"T\" \n   (\t\"A\" NUMBER, \n\t CONSTRAINT \"T_PK\" PRIMARY "
            "KEY (\"A\")\n  USING INDEX PCTFREE 5 INITRANS 4 MAXTRANS 255 COMPUTE STATISTICS \n  "
            "STORAGE(INITIAL 131072 NEXT 1048576 MINEXTENTS 1 MAXEXTENTS 2147483645\n  "
            "PCTINCREASE 0 FREELISTS 1 FREELIST GROUPS 1\n  BUFFER_POOL DEFAULT FLASH_CACHE "
            "DEFAULT CELL_FLASH_CACHE DEFAULT)\n  TABLESPACE \"SYSTEM\"  ENABLE\n   ) SEGMENT "
            "CREATION IMMEDIATE \n  PCTFREE 20 PCTUSED 50 INITRANS 3 MAXTRANS 100 \n ROW STORE "
            "COMPRESS BASIC NOLOGGING\n  STORAGE(INITIAL 1048576 NEXT 2097152 MINEXTENTS 2 "
            "MAXEXTENTS 2147483645\n  PCTINCREASE 5 FREELISTS 1 FREELIST GROUPS 1\n  BUFFER_POOL "
            "KEEP FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)\n  TABLESPACE \"SYSAUX\" ");
}

TEST_F(DdlTextTest, QuotedNamesAndErrors) {
  Run(*app_, "CREATE TABLE \"we\"\"ird\" (\"col\"\"1\" NUMBER)");
  tp().segment_attributes = false;
  EXPECT_EQ(GetDdl(*app_, "TABLE", "we\"ird", "APP"),
            "\n  CREATE TABLE \"APP\".\"we\"\"ird\" \n   (\t\"col\"\"1\" NUMBER\n   ) ");
  std::string out;
  Status st = tabdb::GetDdl(*app_, "TABLE", "WE\"IRD", "APP", &out);
  EXPECT_EQ(st.text(),
            "ORA-31603: object \"WE\"IRD\" of type TABLE not found in schema \"APP\"\n"
            "ORA-06512: at \"SYS.DBMS_METADATA\", line 6069\n"
            "ORA-06512: at \"SYS.DBMS_METADATA\", line 8666\n"
            "ORA-06512: at line 1");
  EXPECT_EQ(tabdb::GetDdl(*app_, "INDEX", "we\"ird", "APP", &out).code(), 31603);
  EXPECT_EQ(tabdb::GetDdl(*app_, "VIEW", "V", "APP", &out).code(), 31603);
  st = tabdb::GetDdl(*app_, "TABEL", "T", "APP", &out);
  EXPECT_EQ(st.code(), 31600);
  EXPECT_EQ(st.text().substr(0, st.text().find('\n')),
            "ORA-31600: invalid input value TABEL for parameter OBJECT_TYPE in function GET_DDL");
  // Another user's objects are visible only to a DBA.
  auto other = NewUser("OTHER");
  EXPECT_EQ(tabdb::GetDdl(*other, "TABLE", "we\"ird", "APP", &out).code(), 31603);
  EXPECT_TRUE(tabdb::GetDdl(*sys_, "TABLE", "we\"ird", "APP", &out).ok());
}

// ---- the fixed point ------------------------------------------------------

// Every kind of column and clause the texts can hold.
const char* const kFixedPointSchema[] = {
    kOrders,
    "CREATE INDEX app.orders_cust_ix ON app.orders (UPPER(cust))",
    "CREATE TABLE app.types (n NUMBER, n4 NUMBER(4), i INTEGER, f FLOAT(5), v VARCHAR2(10) "
    "DEFAULT 'a,b' NOT NULL, vc VARCHAR2(10 CHAR) CONSTRAINT types_vc_nn NOT NULL, c CHAR(3), "
    "nc NCHAR(2), nv NVARCHAR2(4), d DATE DEFAULT SYSDATE, ts TIMESTAMP(3), tz TIMESTAMP WITH "
    "TIME ZONE, ltz TIMESTAMP WITH LOCAL TIME ZONE, ym INTERVAL YEAR(3) TO MONTH, ds INTERVAL DAY "
    "TO SECOND(2), r RAW(8), bf BINARY_FLOAT, bd BINARY_DOUBLE, ri ROWID, ur UROWID, l LONG, "
    "tot NUMBER(14,2) AS (n * n4), CONSTRAINT types_uk UNIQUE (v, c), CHECK (n4 > 0), "
    "CONSTRAINT types_ck CHECK (v <> 'x') DISABLE)",
    "CREATE TABLE app.lobs (id NUMBER CONSTRAINT lobs_pk PRIMARY KEY USING INDEX PCTFREE 20 "
    "TABLESPACE sysaux, a CLOB, b BLOB, c NCLOB, lr LONG RAW) SEGMENT CREATION IMMEDIATE "
    "PCTFREE 5 NOLOGGING COMPRESS STORAGE (INITIAL 1M BUFFER_POOL RECYCLE) TABLESPACE system "
    "LOB (b) STORE AS BASICFILE (DISABLE STORAGE IN ROW CHUNK 16384 PCTVERSION 20 CACHE) "
    "LOB (c) STORE AS SECUREFILE c_seg (TABLESPACE sysaux NOLOGGING COMPRESS DEDUPLICATE "
    "STORAGE (INITIAL 200K))",
    "CREATE TABLE app.keys (a NUMBER, b NUMBER, c VARCHAR2(5), \"Mixed\"\"Q\" NUMBER)",
    "CREATE INDEX app.keys_ab ON app.keys (b, a) PCTFREE 30 STORAGE (NEXT 2M)",
    "ALTER TABLE app.keys ADD CONSTRAINT keys_pk PRIMARY KEY (a, b)",
    "ALTER TABLE app.keys ADD UNIQUE (c) USING INDEX TABLESPACE system",
    "CREATE BITMAP INDEX app.keys_m ON app.keys (\"Mixed\"\"Q\")",
    "CREATE INDEX app.keys_f ON app.keys (LOWER(c) || 'x', a DESC) REVERSE NOLOGGING",
};

// Removes the owner qualifier the way the import does.
std::string Unqualify(std::string text, const std::string& owner) {
  std::string q = "\"" + owner + "\".";
  for (size_t p; (p = text.find(q)) != std::string::npos;) text.erase(p, q.size());
  return text;
}

// One text per statement of a GET_DDL result (CONSTRAINTS_AS_ALTER gives
// several, each starting with a line feed and two blanks).
std::vector<std::string> Statements(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t p = 1; p <= text.size(); ++p) {
    if (p == text.size() || text.compare(p, 8, "\n  ALTER") == 0 ||
        text.compare(p, 9, "\n  CREATE") == 0) {
      out.push_back(text.substr(start, p - start));
      start = p;
    }
  }
  return out;
}

class FixedPointTest : public DdlTextTest,
                       public ::testing::WithParamInterface<std::tuple<bool, bool, int>> {};

// Replays the texts of APP's objects in schema COPY and compares the texts
// there. Modes: 0 inline constraints, 1 constraints as ALTER, 2 table
// without constraints followed by each GET_DDL('CONSTRAINT').
TEST_P(FixedPointTest, ReplayedTextsGiveTheSameTexts) {
  bool seg = std::get<0>(GetParam());
  bool rows = std::get<1>(GetParam());
  int mode = std::get<2>(GetParam());
  for (const char* ddl : kFixedPointSchema) Run(*sys_, ddl);
  if (rows)
    for (const char* t : {"ORDERS", "TYPES", "LOBS", "KEYS"}) MarkRows("APP", t);
  auto copy = NewUser("COPY");
  for (Session* s : {sys_.get(), copy.get()}) {
    s->transforms().segment_attributes = seg;
    s->transforms().constraints = mode != 2;
    s->transforms().constraints_as_alter = mode == 1;
  }
  auto names = [&](const std::string& sql) { return Query(*sys_, sql); };
  std::vector<std::string> tables = names(
      "SELECT name FROM tab$objects WHERE owner = 'APP' AND type = 'TABLE' ORDER BY obj_id");
  // Indexes made before the key that uses them, indexes of no key, and the
  // user-named indexes keys made.
  std::vector<std::string> pre = names(
      "SELECT o.name FROM tab$objects o JOIN tab$constraints k ON k.index_obj = o.obj_id "
      "WHERE o.owner = 'APP' AND k.index_preexisting = 1 ORDER BY o.obj_id");
  std::vector<std::string> plain = names(
      "SELECT o.name FROM tab$objects o WHERE o.owner = 'APP' AND o.type = 'INDEX' AND NOT "
      "EXISTS (SELECT 1 FROM tab$constraints k WHERE k.index_obj = o.obj_id) ORDER BY o.obj_id");
  std::vector<std::string> made = names(
      "SELECT o.name FROM tab$objects o JOIN tab$constraints k ON k.index_obj = o.obj_id JOIN "
      "tab$indexes i ON i.obj_id = o.obj_id WHERE o.owner = 'APP' AND k.index_preexisting = 0 "
      "AND i.generated = 'N' ORDER BY o.obj_id");
  std::vector<std::string> cons =
      names("SELECT name FROM tab$constraints WHERE owner = 'APP' ORDER BY cons_id");
  ASSERT_EQ(pre.size(), 1u);
  ASSERT_EQ(made.size(), 3u);

  auto replay = [&](const std::string& text) {
    for (const std::string& st : Statements(Unqualify(text, "APP"))) Run(*copy, st);
  };
  for (const std::string& t : tables) replay(GetDdl(*sys_, "TABLE", t, "APP"));
  if (mode != 1)
    for (const std::string& i : pre) replay(GetDdl(*sys_, "INDEX", i, "APP"));
  if (mode == 2) {
    for (const std::string& c : cons) {
      std::string text = GetDdl(*sys_, "CONSTRAINT", c, "APP");
      if (text.find(" MODIFY (") == std::string::npos) replay(text);
    }
  }
  for (const std::string& i : plain) replay(GetDdl(*sys_, "INDEX", i, "APP"));
  if (rows)
    for (const char* t : {"ORDERS", "TYPES", "LOBS", "KEYS"}) MarkRows("COPY", t);

  auto text = [&](const std::string& type, const std::string& name, const std::string& owner) {
    return Unqualify(GetDdl(*sys_, type, name, owner), owner);
  };
  for (const std::string& t : tables) EXPECT_EQ(text("TABLE", t, "APP"), text("TABLE", t, "COPY"));
  for (const auto* list : {&pre, &plain, &made})
    for (const std::string& i : *list)
      EXPECT_EQ(text("INDEX", i, "APP"), text("INDEX", i, "COPY")) << i;
  if (mode == 0) return;  // inline keys cannot name an index made before them
  // Constraints: system names differ, and the texts of unnamed ones do not
  // show them.
  std::vector<std::string> copy_cons =
      names("SELECT name FROM tab$constraints WHERE owner = 'COPY' ORDER BY cons_id");
  std::vector<std::string> a, b;
  for (const std::string& c : cons) a.push_back(text("CONSTRAINT", c, "APP"));
  for (const std::string& c : copy_cons) b.push_back(text("CONSTRAINT", c, "COPY"));
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  EXPECT_EQ(a, b);
  EXPECT_EQ(names("SELECT count(*) FROM tab$objects WHERE owner = 'COPY'"),
            names("SELECT count(*) FROM tab$objects WHERE owner = 'APP'"));
}

INSTANTIATE_TEST_SUITE_P(AllForms, FixedPointTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool(),
                                            ::testing::Values(0, 1, 2)));

}  // namespace
}  // namespace cattest
