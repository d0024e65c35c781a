// exp_objects_test.cpp - tabexp run as a process on schemas that hold more
// than tables: the statements each table's list and the deferred list
// carry for constraints, indexes, sequences, stored code and grants, the
// rules of TABLES for them, and the warnings about what cannot be carried.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump_reader.h"
#include "support.h"

namespace {

using testsupport::ProcResult;
using testsupport::ReadFile;
using testsupport::RunSql;
using testsupport::TempDir;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
const char kDone[] = "\nExport terminated successfully.\n\n";
const char kWarned[] = "Export terminated successfully with warnings.\n\n";

// What the shared reader finds in a dump: each table's statements after
// its rows, the deferred list and the warnings.
struct Read {
  uint32_t version = 0;
  std::vector<std::string> tables;
  std::vector<std::vector<std::string>> section;  // per table
  std::vector<std::string> ddl;                    // per table
  std::vector<std::string> deferred, warnings;
};

int Collect(void* ctx, const char* text, uint32_t len) {
  static_cast<std::vector<std::string>*>(ctx)->emplace_back(text, len);
  return 0;
}

// A GRANT or COMMENT record, in its place among the statements, as the
// statement tabimp writes for it, marked as a record.
int CollectRecord(void* ctx, const DUMP_OBJ_RECORD* rec) {
  uint32_t len = 0, at = 0;
  char* sql = dump_record_sql(rec, &len, &at);
  static_cast<std::vector<std::string>*>(ctx)->emplace_back("record: " + std::string(sql, len));
  free(sql);
  return 0;
}

Read ReadStatements(const std::string& path) {
  Read out;
  int fd = open(path.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0) << path;
  DUMP_READER r;
  if (dump_open(&r, fd) != 0 || dump_check_directory(&r) != 0) {
    ADD_FAILURE() << r.fault.reason;
    close(fd);
    return out;
  }
  out.version = r.has_ext ? r.ext.version : 0;
  DUMP_VISIT v = {nullptr, nullptr, Collect, CollectRecord};
  for (uint32_t i = 0; i < r.head.tab_cnt; i++) {
    TAB_INFO t;
    EXPECT_EQ(0, dump_entry(&r, i, &t));
    out.tables.push_back(t.tab_name);
    // the CREATE TABLE text first, then the statements after the rows
    std::vector<std::string> all;
    DUMP_VISIT both = {Collect, nullptr, Collect, nullptr};
    EXPECT_EQ(0, dump_walk_section(&r, i, &both, &all, nullptr)) << r.fault.reason;
    out.ddl.push_back(all.empty() ? "" : all[0]);
    out.section.emplace_back(all.empty() ? all.begin() : all.begin() + 1, all.end());
  }
  EXPECT_EQ(0, dump_walk_deferred(&r, &v, &out.deferred)) << r.fault.reason;
  EXPECT_EQ(0, dump_walk_warnings(&r, &v, &out.warnings)) << r.fault.reason;
  dump_close(&r);
  close(fd);
  return out;
}

bool Has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

class ObjectsRun : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    dump_ = dir_.file("x.dmp");
    testsupport::CreateDatabase(db_, "manager");
    Sql("CREATE USER app IDENTIFIED BY app;\nGRANT DBA TO app;\n"
        "CREATE USER other IDENTIFIED BY other;\n",
        "system/manager");
  }
  void Sql(const std::string& script, const std::string& user = "app/app") {
    ProcResult r = RunSql(user + "@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script << "\n" << r.out << r.err;
  }
  ProcResult Export(std::vector<std::string> more = {}) {
    std::vector<std::string> argv = {TABEXP_PATH, "app/app@" + db_, "FILE=" + dump_, "OWNER=app"};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {kNls});
  }
  Read ExportOk(std::vector<std::string> more = {}) {
    ProcResult r = Export(more);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(Has(r.err, kDone)) << r.err;
    return ReadStatements(dump_);
  }
  static const std::vector<std::string>& Section(const Read& d, const std::string& table) {
    static const std::vector<std::string> none;
    for (size_t i = 0; i < d.tables.size(); i++)
      if (d.tables[i] == table) return d.section[i];
    ADD_FAILURE() << "no table " << table;
    return none;
  }

  TempDir dir_;
  std::string db_, dump_;
};

// Every constraint of a table is in its list, after the indexes and the
// primary key, with its state; system-named ones without their name; the
// NOT NULL the table text already has is not repeated (ORA-01442 on
// import); nothing names the owner.
TEST_F(ObjectsRun, ConstraintsFollowTheIndexesWithTheirStates) {
  Sql("CREATE TABLE t (id NUMBER PRIMARY KEY, a NUMBER, b VARCHAR2(5) CONSTRAINT b_nn NOT NULL,\n"
      "  CONSTRAINT t_ab_uk UNIQUE (a, b));\n"
      "ALTER TABLE t ADD CONSTRAINT a_pos CHECK (a > 0) DISABLE;\n"
      "ALTER TABLE t ADD CHECK (b <> 'APP'||'.x');\n"
      "CREATE BITMAP INDEX t_b_bx ON t (b);\n"
      "CREATE TABLE u (n NUMBER CHECK (n IN (1, 2)));\n");
  // a text longer than the bulk query's buffer (8 KiB), read again alone
  std::string list = "'a'";
  for (int i = 0; i < 110; i++) list += ", '" + std::string(80, 'a' + i % 26) + "'";
  Sql("CREATE TABLE w (s VARCHAR2(90) CHECK (s NOT IN (" + list + ")));\n");
  Read d = ExportOk();
  EXPECT_EQ(1u, d.version) << "no warnings: the format every reader of the extension knows";
  const std::vector<std::string>& t = Section(d, "T");
  std::vector<std::string> want = {
      "ALTER TABLE \"T\" ADD CONSTRAINT \"T_AB_UK\" UNIQUE (\"A\", \"B\")\n  USING INDEX  ENABLE",
      "ALTER TABLE \"T\" ADD CONSTRAINT \"A_POS\" CHECK (a > 0) DISABLE",
      "ALTER TABLE \"T\" ADD CHECK (b <> 'APP'||'.x') ENABLE",
  };
  ASSERT_GE(t.size(), want.size() + 2);
  std::vector<std::string> tail(t.end() - static_cast<long>(want.size()), t.end());
  EXPECT_EQ(want, tail);
  size_t bitmap = 0, pk = 0;
  for (size_t i = 0; i < t.size(); i++) {
    if (t[i] == "CREATE BITMAP INDEX \"T_B_BX\" ON \"T\" (\"B\") \n  ") bitmap = i + 1;
    if (Has(t[i], "PRIMARY KEY")) pk = i + 1;
    EXPECT_FALSE(Has(t[i], "NOT NULL")) << t[i];
    EXPECT_FALSE(Has(t[i], "\"APP\"")) << t[i];
  }
  EXPECT_TRUE(bitmap > 0 && bitmap < pk) << "bitmap index with the other indexes";
  ASSERT_EQ(1u, Section(d, "U").size());
  EXPECT_EQ("ALTER TABLE \"U\" ADD CHECK (n IN (1, 2)) ENABLE", Section(d, "U")[0]);
  ASSERT_EQ(1u, Section(d, "W").size());
  EXPECT_EQ("ALTER TABLE \"W\" ADD CHECK (s NOT IN (" + list + ")) ENABLE", Section(d, "W")[0]);
  EXPECT_TRUE(d.deferred.empty());

  // TABLES: the statements of the tables exported only
  d = ExportOk({"TABLES=u"});
  ASSERT_EQ(1u, d.tables.size());
  EXPECT_EQ(1u, Section(d, "U").size());
}

// The deferred list: sequences starting where the source's continue,
// stored code without the owner in its head or a trigger's ON clause, a
// disabled trigger disabled again, and last one GRANT per privilege. With
// TABLES only the grants on the exported tables go in.
TEST_F(ObjectsRun, SchemaLevelObjectsInTheDeferredList) {
  // a unit longer than the bulk query's buffer (8 KiB) comes whole
  std::string body;
  for (int i = 0; i < 700; i++) body += "  x := x + " + std::to_string(i) + ";\n";
  Sql("CREATE OR REPLACE PROCEDURE p2 AS\n  x NUMBER := 0;\nBEGIN\n" + body + "END;\n/\n");
  Sql("CREATE TABLE t (id NUMBER);\nCREATE TABLE log1 (n NUMBER);\n"
      "CREATE SEQUENCE s1 START WITH 5 CACHE 20;\n"
      "SELECT s1.NEXTVAL FROM dual;\n"
      "CREATE SEQUENCE s2 INCREMENT BY 10 NOCACHE;\n"
      "SELECT s2.NEXTVAL FROM dual;\n"
      "SELECT s2.NEXTVAL FROM dual;\n"
      "GRANT SELECT, INSERT ON t TO other;\n"
      "GRANT UPDATE ON log1 TO other WITH GRANT OPTION;\n"
      "GRANT SELECT ON log1 TO PUBLIC;\n"
      "CREATE OR REPLACE PROCEDURE p1 AS\nBEGIN\n  NULL;\nEND;\n/\n"
      "CREATE OR REPLACE TYPE t_sub AS OBJECT (n NUMBER);\n/\n"
      "CREATE OR REPLACE TYPE t_arr\n  AS VARRAY(10) OF app.t_sub;\n/\n"
      "CREATE OR REPLACE TRIGGER trg1 BEFORE INSERT ON app.t FOR EACH ROW\n"
      "BEGIN\n  INSERT INTO log1 VALUES (1);\nEND;\n/\n"
      "ALTER TRIGGER trg1 DISABLE;\n");
  Read d = ExportOk();
  std::vector<std::string> want = {
      "record: CREATE SEQUENCE \"S1\" MINVALUE 1 MAXVALUE 9999999999999999999999999999 INCREMENT BY 1 "
      "START WITH 25 CACHE 20 NOORDER NOCYCLE",
      "record: CREATE SEQUENCE \"S2\" MINVALUE 1 MAXVALUE 9999999999999999999999999999 INCREMENT BY 10 "
      "START WITH 21 NOCACHE NOORDER NOCYCLE",
      // a type's own schema leaves every line of its specification
      "CREATE OR REPLACE EDITIONABLE TYPE \"T_ARR\" \n  AS VARRAY(10) OF t_sub;",
      "CREATE OR REPLACE EDITIONABLE TYPE \"T_SUB\"  AS OBJECT (n NUMBER);",
      "CREATE OR REPLACE EDITIONABLE PROCEDURE \"P1\"  AS\nBEGIN\n  NULL;\nEND;",
      "CREATE OR REPLACE EDITIONABLE PROCEDURE \"P2\"  AS\n  x NUMBER := 0;\nBEGIN\n" + body + "END;",
      "CREATE OR REPLACE EDITIONABLE TRIGGER \"TRG1\"  BEFORE INSERT ON t FOR EACH ROW\n"
      "BEGIN\n  INSERT INTO log1 VALUES (1);\nEND;",
      "ALTER TRIGGER \"TRG1\" DISABLE",
      "record: GRANT UPDATE ON \"LOG1\" TO \"OTHER\" WITH GRANT OPTION",
      "record: GRANT SELECT ON \"LOG1\" TO PUBLIC",
      "record: GRANT INSERT ON \"T\" TO \"OTHER\"",
      "record: GRANT SELECT ON \"T\" TO \"OTHER\"",
  };
  // the grants as records of their fields, no GRANT text
  EXPECT_EQ(want, d.deferred);
  EXPECT_EQ(3u, d.version);

  d = ExportOk({"TABLES=t"});
  want = {"record: GRANT INSERT ON \"T\" TO \"OTHER\"", "record: GRANT SELECT ON \"T\" TO \"OTHER\""};
  EXPECT_EQ(want, d.deferred);
}

// Runs script, or skips the test when the database does not know its
// first statement's kind of object yet.
#define SQL_OR_SKIP(script)                                                         \
  do {                                                                              \
    ProcResult r_ = RunSql("app/app@" + db_, script, {kNls});                       \
    if (r_.status != 0 && (Has(r_.err, "ORA-03001") || Has(r_.err, "ORA-00900") ||  \
                           Has(r_.err, "ORA-00901") || Has(r_.err, "ORA-00922") ||  \
                           Has(r_.err, "ORA-01735") || Has(r_.err, "ORA-00905")))   \
      GTEST_SKIP() << "not in this database yet: " << r_.err;                       \
    ASSERT_EQ(0, r_.status) << r_.err;                                              \
  } while (0)

// Views come each after the views it names, whatever their names' order,
// without the owner inside their queries; synonyms keep another schema's
// qualifier only; a grant on a view follows.
TEST_F(ObjectsRun, ViewsInDependencyOrderAndSynonyms) {
  Sql("CREATE TABLE other.x (n NUMBER);\n", "system/manager");
  Sql("CREATE TABLE t (id NUMBER, name VARCHAR2(10));\n");
  SQL_OR_SKIP("CREATE VIEW v1 AS SELECT id, name FROM t;\n");
  Sql("CREATE VIEW v2 AS SELECT id FROM app.v1 WHERE id > 1;\n"
      "CREATE OR REPLACE FORCE VIEW v3 (\"A\") AS SELECT \"ID\" FROM \"APP\".\"V2\";\n"
      "CREATE OR REPLACE FORCE VIEW v0 AS SELECT * FROM \"V3\", v2 WHERE 'app.v9' IS NOT NULL;\n"
      "CREATE SYNONYM s1 FOR t;\nCREATE SYNONYM s2 FOR other.x;\nCREATE SYNONYM s3 FOR app.v1;\n"
      "GRANT SELECT ON v1 TO other;\n");
  Read d = ExportOk();
  std::vector<std::string> want = {
      "CREATE OR REPLACE FORCE EDITIONABLE VIEW \"V1\" (\"ID\", \"NAME\") AS \n  SELECT id, name FROM t",
      "CREATE OR REPLACE FORCE EDITIONABLE VIEW \"V2\" (\"ID\") AS \n  SELECT id FROM v1 WHERE id > 1",
      "CREATE OR REPLACE FORCE EDITIONABLE VIEW \"V3\" (\"A\") AS \n  SELECT \"ID\" FROM \"V2\"",
      "CREATE OR REPLACE FORCE EDITIONABLE VIEW \"V0\" (\"A\", \"ID\") AS \n  SELECT * FROM \"V3\", v2 "
      "WHERE 'app.v9' IS NOT NULL",
      "record: CREATE SYNONYM \"S1\" FOR \"T\"",
      "record: CREATE SYNONYM \"S2\" FOR \"OTHER\".\"X\"",
      "record: CREATE SYNONYM \"S3\" FOR \"V1\"",
      "record: GRANT SELECT ON \"V1\" TO \"OTHER\"",
  };
  EXPECT_EQ(want, d.deferred);

  // none of them with TABLES
  d = ExportOk({"TABLES=t"});
  EXPECT_TRUE(d.deferred.empty());

  // a public synonym for the schema's table cannot be carried: it is named
  Sql("CREATE PUBLIC SYNONYM pt FOR app.t;\n");
  ProcResult r = Export();
  EXPECT_EQ(1, r.status) << r.err;
  const std::string w = "Warning: public synonym \"PT\" not exported: public synonyms are not carried.";
  EXPECT_EQ(0u, r.out.find(w + "\n")) << r.out;
  d = ReadStatements(dump_);
  EXPECT_EQ(std::vector<std::string>{w}, d.warnings);
  EXPECT_EQ(want, d.deferred);

  // a text longer than the bulk query's buffer (64 KiB) is read again
  // alone, whole, in its place
  std::string cond = " NOT IN ('a'";
  for (int i = 0; i < 900; i++) cond += ", '" + std::string(80, 'a' + i % 26) + "'";
  cond += ")";
  Sql("CREATE VIEW v4 AS SELECT id FROM t WHERE name" + cond + ";\n");
  r = Export();
  EXPECT_EQ(1, r.status) << r.err;
  d = ReadStatements(dump_);
  ASSERT_EQ(want.size() + 1, d.deferred.size());
  const std::string& v4 = d.deferred[4];
  EXPECT_GT(v4.size(), 65536u);
  EXPECT_EQ(0u, v4.find("CREATE OR REPLACE FORCE EDITIONABLE VIEW \"V4\" (\"ID\") AS \n  SELECT id FROM t WHERE name"))
      << v4.substr(0, 200);
  EXPECT_EQ(cond, v4.substr(v4.size() - cond.size())) << v4.substr(v4.size() - 100);
}

// Comments on tables, views and their columns go as records of their
// fields after the views, none as COMMENT text in a table's list.
TEST_F(ObjectsRun, CommentsOfTablesAndViews) {
  Sql("CREATE TABLE t (id NUMBER CHECK (id > 0), name VARCHAR2(10));\n");
  SQL_OR_SKIP("COMMENT ON TABLE t IS 'It''s the \"T\"';\n");
  Sql("COMMENT ON COLUMN t.id IS 'key';\n"
      "CREATE VIEW v AS SELECT id FROM t;\n"
      "COMMENT ON TABLE v IS 'a view';\nCOMMENT ON COLUMN v.id IS 'its key';\n");
  Read d = ExportOk();
  std::vector<std::string> want = {"ALTER TABLE \"T\" ADD CHECK (id > 0) ENABLE"};
  EXPECT_EQ(want, Section(d, "T"));
  want = {"CREATE OR REPLACE FORCE EDITIONABLE VIEW \"V\" (\"ID\") AS \n  SELECT id FROM t",
          "record: COMMENT ON TABLE \"T\" IS 'It''s the \"T\"'",
          "record: COMMENT ON TABLE \"V\" IS 'a view'",
          "record: COMMENT ON COLUMN \"T\".\"ID\" IS 'key'",
          "record: COMMENT ON COLUMN \"V\".\"ID\" IS 'its key'"};
  EXPECT_EQ(want, d.deferred);
}

// An identity column's rows load with their values whatever its kind: the
// table text says BY DEFAULT, and the table's last statement gives the
// column its kind back and restarts it after the highest value.
TEST_F(ObjectsRun, IdentityColumnsLoadByDefaultAndGetTheirKindBack) {
  SQL_OR_SKIP("CREATE TABLE ia (id NUMBER GENERATED ALWAYS AS IDENTITY START WITH 100, v VARCHAR2(5));\n");
  Sql("CREATE TABLE ib (id NUMBER GENERATED BY DEFAULT AS IDENTITY, v VARCHAR2(5));\n"
      "CREATE TABLE ic (id NUMBER GENERATED BY DEFAULT ON NULL AS IDENTITY INCREMENT BY 5, v VARCHAR2(5));\n"
      "INSERT INTO ia (v) VALUES ('a');\nINSERT INTO ib VALUES (50, 'x');\nCOMMIT;\n");
  Read d = ExportOk();
  const char* kinds[][2] = {{"IA", "ALWAYS"}, {"IB", "BY DEFAULT"}, {"IC", "BY DEFAULT ON NULL"}};
  for (size_t i = 0; i < 3; i++) {
    SCOPED_TRACE(kinds[i][0]);
    ASSERT_EQ(kinds[i][0], d.tables[i]);
    EXPECT_TRUE(Has(d.ddl[i], "\"ID\" NUMBER GENERATED BY DEFAULT AS IDENTITY MINVALUE 1 ")) << d.ddl[i];
    EXPECT_FALSE(Has(d.ddl[i], "ALWAYS") || Has(d.ddl[i], "ON NULL")) << d.ddl[i];
    ASSERT_FALSE(d.section[i].empty());
    EXPECT_EQ("ALTER TABLE \"" + std::string(kinds[i][0]) + "\" MODIFY (\"ID\" GENERATED " + kinds[i][1] +
                  " AS IDENTITY (START WITH LIMIT VALUE))",
              d.section[i].back());
  }
  EXPECT_TRUE(d.deferred.empty()) << "the identities' own sequences stay with their tables";
}

// A table the dump cannot carry is left out with a warning on standard
// output and in the log; the rest is exported, the run ends with status 1
// and says so, and the file keeps the warning for tabdump.
TEST_F(ObjectsRun, UncarriedTablesAreNamedInWarnings) {
  Sql("CREATE TABLE good (n NUMBER);\nCREATE TABLE bad (id NUMBER, r ROWID);\n"
      "CREATE TABLE worse (u UROWID);\nCREATE INDEX bad_ix ON bad (id);\n"
      "GRANT SELECT ON bad TO other;\nALTER TABLE bad ADD CHECK (id > 0);\n");
  std::string log = dir_.file("x.log");
  ProcResult r = Export({"LOG=" + log});
  EXPECT_EQ(1, r.status) << r.err;
  const std::string w1 =
      "Warning: table \"BAD\" not exported: column \"R\" has the type ROWID, which is not carried.\n";
  const std::string w2 =
      "Warning: table \"WORSE\" not exported: column \"U\" has the type UROWID, which is not carried.\n";
  EXPECT_EQ(w1 + w2, r.out);
  EXPECT_TRUE(Has(r.err, "\n2 objects not exported (see the warnings).\n" + std::string(kWarned)))
      << r.err;
  EXPECT_FALSE(Has(r.err, kDone)) << r.err;
  std::string logged = ReadFile(log);
  EXPECT_TRUE(Has(logged, w1 + w2)) << logged;
  EXPECT_TRUE(Has(logged, kWarned)) << logged;

  Read d = ReadStatements(dump_);
  EXPECT_EQ(2u, d.version);
  EXPECT_EQ(std::vector<std::string>{"GOOD"}, d.tables);
  EXPECT_TRUE(d.deferred.empty()) << "nothing of a table left out";
  std::vector<std::string> want = {w1.substr(0, w1.size() - 1), w2.substr(0, w2.size() - 1)};
  EXPECT_EQ(want, d.warnings);

  ProcResult list = testsupport::Run({TABDUMP_PATH, dump_});
  EXPECT_EQ(0, list.status) << list.err;
  EXPECT_TRUE(Has(list.out, "Format:    2, checksummed\n")) << list.out;
  EXPECT_TRUE(Has(list.out, "\nNot carried (warnings of the export):\n  " + w1 + "  " + w2))
      << list.out;
  ProcResult verify = testsupport::Run({TABDUMP_PATH, "--verify", dump_});
  EXPECT_EQ(0, verify.status) << verify.out;
  ProcResult script = testsupport::Run({TABDUMP_PATH, "--sql", dump_});
  EXPECT_EQ(0u, script.out.find("SET DEFINE OFF\nSET SQLBLANKLINES ON\n\n-- " + w1 + "-- " + w2 +
                                "\nCREATE TABLE \"GOOD\""))
      << script.out;
  ProcResult json = testsupport::Run({TABDUMP_PATH, "--json", dump_});
  EXPECT_TRUE(Has(json.out, "\"format_version\": 2,")) << json.out;
  EXPECT_TRUE(Has(json.out, "\"warnings\": [\n    \"Warning: table \\\"BAD\\\" not exported"))
      << json.out;

  // Named by TABLES, it still only gives its warning.
  r = Export({"TABLES=(bad,good)"});
  EXPECT_EQ(1, r.status) << r.err;
  EXPECT_EQ(0u, r.out.find(w1 + ". . exporting table")) << r.out;
  EXPECT_TRUE(Has(r.err, "\n1 object not exported")) << r.err;
}

}  // namespace
