// imp_outcome_test.cpp - what a tabimp run says it did is what it did: the
// three statuses, the export's warnings repeated, IGNORE=Y silencing only
// "already exists", rows the target refuses reported per table, deferred
// statements that fail without ending the run, objects of the target never
// replaced, TABLE_EXISTS_ACTION, rows only into a table the target owns,
// and a run stopped by a signal leaving only whole tables behind.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fakeoci/dump_builder.h"
#include "support.h"

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::RunSql;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
const char kDone[] = "\nImport terminated successfully.\n\n";
const char kWarned[] = "\nImport terminated successfully with warnings.\n\n";
const char kFailed[] = "\nImport terminated unsuccessfully.\n\n";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ImportOutcome : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    dump_ = dir_.file("src.dmp");
    CreateDatabase(db_, "manager");
    Sql("CREATE USER src IDENTIFIED BY src;\nGRANT DBA TO src;\n"
        "CREATE USER dst IDENTIFIED BY dst;\nGRANT DBA TO dst;\n"
        "CREATE USER victim IDENTIFIED BY victim;\nGRANT CONNECT, RESOURCE TO victim;\n"
        "CREATE USER evil IDENTIFIED BY evil;\nGRANT CONNECT, RESOURCE, CREATE SYNONYM TO evil;\n",
        "system/manager");
  }
  void Sql(const std::string& script, const std::string& user = "src/src") {
    ProcResult r = RunSql(user + "@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script << "\n" << r.out << r.err;
  }
  std::string Query(const std::string& script, const std::string& user = "system/manager") {
    ProcResult r = RunSql(user + "@" + db_, script, {kNls});
    return r.out + r.err;
  }
  // COUNT(*) of a query's rows, as a number (-1 when the query failed).
  int Count(const std::string& from) {
    std::string out = Query("SELECT 'count=' || COUNT(*) FROM " + from + ";\n");
    size_t at = out.find("count=");
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 6);
  }
  void Export(std::vector<std::string> more = {}) {
    std::vector<std::string> argv = {TABEXP_PATH, "src/src@" + db_, "FILE=" + dump_, "OWNER=SRC"};
    argv.insert(argv.end(), more.begin(), more.end());
    ProcResult r = testsupport::Run(argv, {kNls});
    ASSERT_EQ(0, r.status) << r.err;
  }
  ProcResult Import(std::vector<std::string> more, const std::string& file = "") {
    std::vector<std::string> argv = {TABIMP_PATH, "system/manager@" + db_,
                                     "FILE=" + (file.empty() ? dump_ : file)};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {kNls});
  }
  // tabimp under the signal helper: the signal goes after n progress dots
  // (FEEDBACK=1) or n table lines.
  ProcResult StoppedImport(const std::string& sig, const std::string& unit, int n,
                           std::vector<std::string> more) {
    std::vector<std::string> argv = {IMP_STOP_AFTER_PATH, sig, unit, std::to_string(n), TABIMP_PATH,
                                     "system/manager@" + db_, "FILE=" + dump_, "FEEDBACK=1"};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {kNls});
  }
  // Everything of VICTIM the dictionary and its tables show.
  std::string VictimState() {
    return Query(
        "SELECT object_type || ' ' || object_name FROM all_objects WHERE owner = 'VICTIM' ORDER BY 1;\n"
        "SELECT grantee || ' ' || table_name || ' ' || privilege FROM dba_tab_privs WHERE owner = 'VICTIM' ORDER BY 1;\n"
        "SELECT index_name FROM all_indexes WHERE table_owner = 'VICTIM' ORDER BY 1;\n"
        "SELECT text FROM all_views WHERE owner = 'VICTIM';\n"
        "SELECT id || ':' || v FROM victim.t ORDER BY id;\n");
  }

  TempDir dir_;
  std::string db_, dump_;
};

// ---- statuses ----------------------------------------------------------------

// 0 when everything came; 1 when a constraint could not be created under
// IGNORE=Y (it used to end "successfully"); 255 when the run failed.
TEST_F(ImportOutcome, StatusesZeroOneAndFailure) {
  Sql("CREATE TABLE p (id NUMBER PRIMARY KEY);\nINSERT INTO p VALUES (1);\n"
      "CREATE TABLE c (id NUMBER, pid NUMBER, CONSTRAINT c_p_fk FOREIGN KEY (pid) REFERENCES p);\n"
      "INSERT INTO c VALUES (1, 1);\n");
  Export();
  ProcResult ok = Import({"TOUSER=dst"});
  EXPECT_EQ(0, ok.status) << ok.err;
  EXPECT_TRUE(Has(ok.err, kDone)) << ok.err;

  // A child row without its parent in the target: the key cannot be made.
  Sql("CREATE USER dst2 IDENTIFIED BY dst2;\nGRANT DBA TO dst2;\n", "system/manager");
  Sql("CREATE TABLE c (id NUMBER, pid NUMBER);\nINSERT INTO c VALUES (9, 99);\n", "dst2/dst2");
  ProcResult warned = Import({"TOUSER=dst2", "IGNORE=Y"});
  EXPECT_EQ(1, warned.status) << warned.err;
  EXPECT_TRUE(Has(warned.err, "ORA-02298")) << warned.err;
  EXPECT_TRUE(Has(warned.err, "\"C_P_FK\" failed.")) << warned.err;
  EXPECT_TRUE(Has(warned.err, kWarned)) << warned.err;
  EXPECT_FALSE(Has(warned.err, "ORA-00955")) << warned.err;  // silenced by IGNORE=Y
  EXPECT_EQ(2, Count("dst2.c"));

  ProcResult failed = Import({"TOUSER=dst"});  // the tables exist, no IGNORE=Y
  EXPECT_EQ(255, failed.status);
  EXPECT_TRUE(Has(failed.err, "ORA-00955")) << failed.err;
  EXPECT_TRUE(Has(failed.err, kFailed)) << failed.err;
}

// A table's statements after its rows go to the server together; one that
// fails anywhere among them is reported as it is when run alone, once, and
// the others are all made (a quote in a statement stays what it was).
TEST_F(ImportOutcome, FailuresAmongTheListedStatementsAreEachReportedOnce) {
  const std::vector<std::string> listed = {
      "CREATE INDEX \"I1\" ON \"T\" (\"N\")",
      "ALTER TABLE \"T\" ADD CONSTRAINT \"CK\" CHECK (\"N\" > 5)",
      "ALTER TABLE \"T\" ADD CONSTRAINT \"CQ\" CHECK (\"S\" <> 'it''s')",
      "ALTER TABLE \"T\" ADD CONSTRAINT \"UK\" UNIQUE (\"N\")",
      "ALTER TABLE \"T\" ADD CONSTRAINT \"UK2\" UNIQUE (\"S\")",
      "CREATE INDEX \"I2\" ON \"T\" (\"S\", \"N\")",
  };
  dumpbuild::Dump d;
  d.owner = "SRC";
  d.extension = true;
  d.tables.push_back(dumpbuild::Table("T", {{5, 22, "N"}, {1, 20, "S"}}));
  d.tables.back().ddl = "CREATE TABLE \"T\" (\"N\" NUMBER, \"S\" VARCHAR2(20))";
  d.tables.back().index_sql = listed;
  for (const char* v : {"a", "b", "a"})
    d.tables.back().Row({dumpbuild::Val(dumpbuild::Number(1)), dumpbuild::Val(v)});
  WriteFile(dump_, d.Build());
  ProcResult r = Import({"TOUSER=dst"});
  EXPECT_EQ(1, r.status) << r.err;
  // CK (rows of 1), UK (three 1s) and UK2 (two "a") fail, in their order
  testsupport::ExpectInOrder(r.err, {"ORA-02293", "Create constraint \"CK\" failed.", "ORA-02299",
                                     "Create constraint \"UK\" failed.", "ORA-02299",
                                     "Create constraint \"UK2\" failed."});
  for (const char* once : {"\"CK\" failed", "\"UK\" failed", "\"UK2\" failed"}) {
    size_t at = r.err.find(once);
    EXPECT_EQ(std::string::npos, r.err.find(once, at + 1)) << once << "\n" << r.err;
  }
  EXPECT_FALSE(Has(r.err, "20001") || Has(r.err, "\"I1\"") || Has(r.err, "\"CQ\"")) << r.err;
  std::string made = Query("SELECT 'ix=' || index_name FROM dba_indexes WHERE owner = 'DST';\n");
  EXPECT_TRUE(Has(made, "ix=I1\n") && Has(made, "ix=I2\n")) << made;
  EXPECT_TRUE(Has(Query("SELECT 'cq=' || search_condition FROM dba_constraints WHERE owner = 'DST' AND"
                        " constraint_name = 'CQ';\n"),
                  "cq=\"S\" <> 'it''s'"));
}

// The export's list of what it could not carry opens the import's log, and
// a run over such a dump ends with warnings.
TEST_F(ImportOutcome, TheExportsWarningsAreRepeated) {
  dumpbuild::Dump d;
  d.owner = "SRC";
  d.extension = true;
  d.version = 2;
  d.warning_list = true;
  d.warnings = {"Object \"ODD\" of type QUEUE not exported."};
  d.tables.push_back(dumpbuild::Table("T", {{5, 22, "N"}}));
  d.tables.back().ddl = "CREATE TABLE \"T\" (\"N\" NUMBER)";
  d.tables.back().Row({dumpbuild::Val(dumpbuild::Number(1))});
  WriteFile(dump_, d.Build());
  std::string log = dir_.file("imp.log");
  ProcResult r = Import({"TOUSER=dst", "LOG=" + log});
  EXPECT_EQ(1, r.status) << r.err;
  EXPECT_TRUE(Has(r.err, "Export warning: Object \"ODD\" of type QUEUE not exported.\n")) << r.err;
  std::string text = testsupport::ReadFile(log);
  EXPECT_LT(text.find("Export warning"), text.find("importing table")) << text;
  EXPECT_EQ(1, Count("dst.t"));
}

// ---- rows the target refuses ------------------------------------------------------

// Duplicates at the start, in the middle and at the end of one array, and
// in tables loaded row by row (a CLOB, a LONG): under IGNORE=Y each table
// says how many rows came and how many were refused, the rows after a
// refused one come, and the run ends with warnings; without IGNORE=Y the
// first refused row still ends the run and its table keeps nothing.
TEST_F(ImportOutcome, RefusedRowsAreCountedPerTable) {
  std::string script = "CREATE TABLE a (id NUMBER, v VARCHAR2(10));\n"
                       "CREATE TABLE c (id NUMBER, v CLOB);\n"
                       "CREATE TABLE l (id NUMBER, v LONG);\n";
  for (int i = 1; i <= 40; i++) script += "INSERT INTO a VALUES (" + std::to_string(i) + ", 'a" + std::to_string(i) + "');\n";
  for (int i = 1; i <= 5; i++) {
    script += "INSERT INTO c VALUES (" + std::to_string(i) + ", RPAD('c', 5000, '" + std::to_string(i) + "'));\n";
    script += "INSERT INTO l VALUES (" + std::to_string(i) + ", RPAD('l', 3000, '" + std::to_string(i) + "'));\n";
  }
  Sql(script);
  Export();
  Sql("CREATE TABLE a (id NUMBER PRIMARY KEY, v VARCHAR2(10));\n"
      "INSERT INTO a VALUES (1, 'x');\nINSERT INTO a VALUES (20, 'x');\nINSERT INTO a VALUES (40, 'x');\n"
      "CREATE TABLE c (id NUMBER PRIMARY KEY, v CLOB);\n"
      "INSERT INTO c VALUES (1, 'x');\nINSERT INTO c VALUES (3, 'x');\nINSERT INTO c VALUES (5, 'x');\n"
      "CREATE TABLE l (id NUMBER PRIMARY KEY, v LONG);\n"
      "INSERT INTO l VALUES (2, 'x');\nINSERT INTO l VALUES (5, 'x');\n",
      "dst/dst");

  ProcResult strict = Import({"TOUSER=dst", "TABLE_EXISTS_ACTION=APPEND"});
  EXPECT_EQ(255, strict.status) << strict.err;
  EXPECT_TRUE(Has(strict.err, "ORA-00001")) << strict.err;
  EXPECT_EQ(3, Count("dst.a"));

  ProcResult r = Import({"TOUSER=dst", "IGNORE=Y"});
  EXPECT_EQ(1, r.status) << r.err;
  EXPECT_TRUE(Has(r.err, "Table \"A\": 37 rows imported, 3 rejected.")) << r.err;
  EXPECT_TRUE(Has(r.err, "Table \"C\": 2 rows imported, 3 rejected.")) << r.err;
  EXPECT_TRUE(Has(r.err, "Table \"L\": 3 rows imported, 2 rejected.")) << r.err;
  EXPECT_TRUE(Has(r.err, "Row 1 rejected: ORA-00001")) << r.err;
  EXPECT_TRUE(Has(r.err, "Row 40 rejected: ORA-00001")) << r.err;
  EXPECT_TRUE(Has(r.out, "37 rows imported, 3 rejected")) << r.out;
  EXPECT_EQ(40, Count("dst.a"));
  EXPECT_EQ(1, Count("dst.a WHERE id = 20 AND v = 'x'"));  // the target's row stays
  EXPECT_EQ(1, Count("dst.a WHERE id = 39 AND v = 'a39'"));
  // the streams of refused rows were stepped over: the next rows are whole
  EXPECT_EQ(1, Count("dst.c WHERE id = 4 AND LENGTH(v) = 5000 AND TO_CHAR(SUBSTR(v, 2, 1)) = '4'"));
  EXPECT_EQ(1, Count("dst.c WHERE id = 2 AND DBMS_LOB.SUBSTR(v, 1, 5000) = '2'"));
  EXPECT_EQ(5, Count("dst.l"));
  std::string l = Query("SELECT id || ':' || SUBSTR(v, 1, 3) FROM dst.l ORDER BY id;\n");
  EXPECT_TRUE(Has(l, "1:l11") && Has(l, "3:l33") && Has(l, "4:l44") && Has(l, "2:x")) << l;
}

// Constraints on load paths: rows of LOB and LONG tables whose values
// break a constraint of the table only once they are whole (a CLOB over
// many pieces, small ones, a BLOB, an NCLOB, a CLOB beside a LONG whose
// stream comes first, an empty LONG under NOT NULL). Without IGNORE=Y the
// run ends as for any refused row and the table keeps none of the rows;
// with IGNORE=Y the row is shown and counted, and only the others stay.
TEST_F(ImportOutcome, ConstraintsOnLoadPaths) {
  using namespace dumpbuild;
  struct Case {
    const char* table;
    const char* ddl;            // the dump's, unless `target` made the table first
    std::vector<Column> cols;
    std::vector<Slot> slot;     // of the column after ID, for every row
    std::vector<std::vector<std::string>> streams;  // per row, in file order
    const char* error;          // what row 2 breaks
    const char* kept;           // an expression over rows 1 and 3
    const char* want;           // its values, "id:value" a line
    const char* target = nullptr;
  };
  const std::string big(16 << 20, 'x');
  Case cases[] = {
      {"C_BIG",
       "CREATE TABLE \"C_BIG\" (\"ID\" NUMBER, \"C\" CLOB, CONSTRAINT \"C_BIG_LEN\" CHECK (LENGTH(\"C\") < 10))",
       {{5, 22, "ID"}, {15, 4000, "C"}}, {LobMark(), LobMark(), LobMark()}, {{"ok"}, {big}, {""}},
       "ORA-02290: check constraint (DST.C_BIG_LEN) violated", "NVL2(c, TO_CHAR(LENGTH(c)), 'null')",
       "1:2\n3:0\n"},
      {"B_LEN", "CREATE TABLE \"B_LEN\" (\"ID\" NUMBER, \"B\" BLOB)",
       {{5, 22, "ID"}, {17, 4000, "B"}}, {LobMark(), LobMark(), Null()},
       {{"\x01\x02"}, {std::string(12, '\x03')}, {}},
       "ORA-02290: check constraint (DST.SYS_C", "NVL2(b, TO_CHAR(DBMS_LOB.GETLENGTH(b)), 'null')", "1:2\n3:null\n",
       "CREATE TABLE b_len (id NUMBER, b BLOB, CHECK (DBMS_LOB.GETLENGTH(b) < 10));\n"},
      {"N_LEN",
       "CREATE TABLE \"N_LEN\" (\"ID\" NUMBER, \"N\" NCLOB, CONSTRAINT \"N_LEN_C\" CHECK (LENGTH(\"N\") < 10))",
       {{5, 22, "ID"}, {16, 4000, "N"}}, {LobMark(), LobMark(), LobMark()},
       {{"\xC3\xA9t\xC3\xA9"}, {"twelve chars"}, {"n"}},
       "ORA-02290: check constraint (DST.N_LEN_C) violated", "LENGTH(n)", "1:3\n3:1\n"},
      {"LC",
       "CREATE TABLE \"LC\" (\"ID\" NUMBER, \"C\" CLOB, \"L\" LONG, CONSTRAINT \"LC_LEN\" CHECK (LENGTH(\"C\") < 10))",
       {{5, 22, "ID"}, {15, 4000, "C"}, {13, 0, "L"}}, {LobMark(), LobMark(), LobMark()},
       {{std::string(70000, 'l'), "ok"}, {"l2", std::string(50, 'c')}, {"l3", "fine"}},
       "ORA-02290: check constraint (DST.LC_LEN) violated", "LENGTH(c) || '/' || LENGTH(l)", "1:2/70000\n3:4/2\n"},
      {"L_NN", "CREATE TABLE \"L_NN\" (\"ID\" NUMBER, \"L\" LONG NOT NULL)", {{5, 22, "ID"}, {13, 0, "L"}},
       {LongMark(), LongMark(), LongMark()}, {{std::string(40000, 'a')}, {""}, {"b"}},
       "ORA-01400: cannot insert NULL into (\"DST\".\"L_NN\".\"L\")", "LENGTH(l)", "1:40000\n3:1\n"},
  };
  // A condition cannot read a LONG value at all.
  EXPECT_TRUE(Has(Query("CREATE TABLE l_chk (l LONG CHECK (LENGTH(l) < 10));\n", "dst/dst"), "ORA-00997"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    Dump d;
    d.owner = "SRC";
    Table t(c.table, c.cols);
    t.ddl = c.ddl;
    for (size_t r = 0; r < 3; r++) {
      std::vector<Slot> slots = {Val(Number(r + 1)), c.slot[r]};
      if (c.cols.size() == 3) slots.push_back(LongMark());  // the LONG's slot comes last
      t.Row(slots);
      for (const std::string& v : c.streams[r]) t.StreamOf(v);
    }
    d.tables.push_back(t);
    std::string file = dir_.file(std::string(c.table) + ".dmp");
    WriteFile(file, d.Build());
    std::string rows = std::string("dst.") + c.table;
    if (c.target) Sql(c.target, "dst/dst");

    std::vector<std::string> args = {"TOUSER=dst"};
    if (c.target) args.push_back("TABLE_EXISTS_ACTION=APPEND");
    ProcResult strict = Import(args, file);
    EXPECT_EQ(255, strict.status) << strict.err;
    EXPECT_TRUE(Has(strict.err, c.error)) << strict.err;
    EXPECT_TRUE(Has(strict.err, kFailed)) << strict.err;
    EXPECT_EQ(0, Count(rows));

    ProcResult r = Import({"TOUSER=dst", "IGNORE=Y"}, file);
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_TRUE(Has(r.err, std::string("Row 2 rejected: ") + c.error)) << r.err;
    EXPECT_TRUE(Has(r.err, std::string("Table \"") + c.table + "\": 2 rows imported, 1 rejected.")) << r.err;
    // the rows around it are whole; an empty LOB stays empty, not NULL
    std::string kept = Query(std::string("SELECT id || ':' || ") + c.kept + " FROM " + rows + " ORDER BY id;\n");
    EXPECT_TRUE(Has(kept, c.want)) << kept;
  }
}

// ---- deferred statements and objects of the target ---------------------------------

// Two tables of a larger schema: the key to the table left out fails and
// is named, the keys between the two and the self-reference and the grant
// are all made (the run used to end at the first failure).
TEST_F(ImportOutcome, AFailedForeignKeyDoesNotEndTheRun) {
  Sql("CREATE TABLE locations (id NUMBER PRIMARY KEY);\nINSERT INTO locations VALUES (1);\n"
      "CREATE TABLE departments (id NUMBER PRIMARY KEY, loc NUMBER,\n"
      "  CONSTRAINT dept_loc_fk FOREIGN KEY (loc) REFERENCES locations);\n"
      "INSERT INTO departments VALUES (10, 1);\n"
      "CREATE TABLE employees (id NUMBER PRIMARY KEY, dept NUMBER, mgr NUMBER,\n"
      "  CONSTRAINT emp_dept_fk FOREIGN KEY (dept) REFERENCES departments,\n"
      "  CONSTRAINT emp_mgr_fk FOREIGN KEY (mgr) REFERENCES employees);\n"
      "INSERT INTO employees VALUES (1, 10, NULL);\nINSERT INTO employees VALUES (2, 10, 1);\n"
      "GRANT SELECT ON employees TO evil;\n");
  Export({"TABLES=employees,departments"});
  ProcResult r = Import({"TOUSER=dst"});
  EXPECT_EQ(1, r.status) << r.err;
  EXPECT_TRUE(Has(r.err, "Create constraint \"DEPT_LOC_FK\" skipped: the table it references is "
                         "neither imported nor in the target.")) << r.err;
  EXPECT_TRUE(Has(r.err, kWarned)) << r.err;
  std::string keys = Query("SELECT constraint_name FROM all_constraints WHERE owner = 'DST'"
                           " AND constraint_type = 'R' ORDER BY 1;\n"
                           "SELECT grantee || ' ' || privilege FROM dba_tab_privs WHERE owner = 'DST';\n");
  EXPECT_TRUE(Has(keys, "EMP_DEPT_FK") && Has(keys, "EMP_MGR_FK")) << keys;
  EXPECT_FALSE(Has(keys, "DEPT_LOC_FK")) << keys;
  EXPECT_TRUE(Has(keys, "EVIL SELECT")) << keys;
}

// A view, a synonym and a procedure of the target with the dump's names
// stay as they are: without IGNORE=Y each is named as existing (status 1),
// with IGNORE=Y they are passed over in silence.
TEST_F(ImportOutcome, ObjectsOfTheTargetAreNeverReplaced) {
  Sql("CREATE TABLE t (id NUMBER);\nINSERT INTO t VALUES (1);\n"
      "CREATE VIEW v AS SELECT id FROM t;\nCREATE SYNONYM s FOR t;\n"
      "CREATE PROCEDURE p IS BEGIN NULL; END;\n/\n");
  Export();
  Sql("CREATE TABLE keep (n NUMBER);\nCREATE VIEW v AS SELECT 'mine' AS id FROM dual;\n"
      "CREATE SYNONYM s FOR keep;\nCREATE PROCEDURE p IS x NUMBER; BEGIN x := 42; END;\n/\n",
      "dst/dst");
  auto state = [&] {
    return Query("SELECT text FROM all_views WHERE owner = 'DST' AND view_name = 'V';\n"
                 "SELECT table_name FROM all_synonyms WHERE owner = 'DST' AND synonym_name = 'S';\n"
                 "SELECT text FROM all_source WHERE owner = 'DST' AND name = 'P' ORDER BY line;\n");
  };
  std::string before = state();
  ASSERT_TRUE(Has(before, "'mine'") && Has(before, "KEEP") && Has(before, "42")) << before;
  ProcResult r = Import({"TOUSER=dst"});
  EXPECT_EQ(1, r.status) << r.err;
  EXPECT_TRUE(Has(r.err, "\"V\" failed, the name exists.")) << r.err;
  EXPECT_TRUE(Has(r.err, "\"S\" failed, the name exists.")) << r.err;
  EXPECT_TRUE(Has(r.err, "\"P\" failed, the name exists.")) << r.err;
  EXPECT_EQ(before, state());
  EXPECT_EQ(1, Count("dst.t"));

  ProcResult again = Import({"TOUSER=dst", "TABLE_EXISTS_ACTION=REPLACE", "IGNORE=Y"});
  EXPECT_EQ(0, again.status) << again.err;
  EXPECT_FALSE(Has(again.err, "exists")) << again.err;
  EXPECT_EQ(before, state());
}

// Deferred statements the import refuses (an INSTEAD OF trigger on a
// nested table column of a view, a crafted grant) are named and left out;
// the tables and the other statements still come.
TEST_F(ImportOutcome, ARefusedDeferredStatementDoesNotEndTheRun) {
  dumpbuild::Dump d;
  d.owner = "SRC";
  d.extension = true;
  d.tables.push_back(dumpbuild::Table("T", {{5, 22, "N"}}));
  d.tables.back().ddl = "CREATE TABLE \"T\" (\"N\" NUMBER)";
  d.tables.back().Row({dumpbuild::Val(dumpbuild::Number(1))});
  d.deferred = {"GRANT DBA TO \"EVIL\"",
                "CREATE OR REPLACE TRIGGER \"NT_TRG\" INSTEAD OF INSERT ON NESTED TABLE \"ITEMS\" OF \"V\"\n"
                "BEGIN NULL; END;",
                "CREATE VIEW \"W\" AS SELECT \"N\" FROM \"T\""};
  WriteFile(dump_, d.Build());
  ProcResult r = Import({"TOUSER=dst"});
  EXPECT_EQ(1, r.status) << r.err;
  EXPECT_TRUE(Has(r.err, "Deferred statement refused")) << r.err;
  EXPECT_TRUE(Has(r.err, "INSTEAD OF INSERT ON NESTED TABLE")) << r.err;
  EXPECT_EQ(1, Count("dst.t"));
  EXPECT_EQ(1, Count("dst.w"));
  EXPECT_FALSE(Has(Query("SELECT granted_role FROM dba_role_privs WHERE grantee = 'EVIL';\n"), "DBA"));
}

// ---- TABLE_EXISTS_ACTION ----------------------------------------------------------

TEST_F(ImportOutcome, TableExistsActions) {
  Sql("CREATE TABLE t (id NUMBER);\nINSERT INTO t VALUES (1);\nINSERT INTO t VALUES (2);\n");
  Export();
  Sql("CREATE TABLE t (id NUMBER, extra VARCHAR2(5));\nINSERT INTO t VALUES (7, 'old');\n", "dst/dst");

  ProcResult skip = Import({"TOUSER=dst", "TABLE_EXISTS_ACTION=SKIP"});
  EXPECT_EQ(1, skip.status) << skip.err;
  EXPECT_TRUE(Has(skip.err, "Table \"T\" exists; left as it is")) << skip.err;
  EXPECT_EQ(1, Count("dst.t"));

  ProcResult append = Import({"TOUSER=dst", "TABLE_EXISTS_ACTION=append"});
  EXPECT_EQ(0, append.status) << append.err;
  EXPECT_EQ(3, Count("dst.t"));

  ProcResult truncate = Import({"TOUSER=dst", "TABLE_EXISTS_ACTION=TRUNCATE"});
  EXPECT_EQ(0, truncate.status) << truncate.err;
  EXPECT_EQ(2, Count("dst.t"));
  EXPECT_EQ(2, Count("dst.t WHERE extra IS NULL"));  // the target's table, emptied

  ProcResult replace = Import({"TOUSER=dst", "TABLE_EXISTS_ACTION=REPLACE"});
  EXPECT_EQ(0, replace.status) << replace.err;
  EXPECT_EQ(2, Count("dst.t"));
  EXPECT_EQ(-1, Count("dst.t WHERE extra IS NULL"));  // the dump's table: no such column

  ProcResult bad = Import({"TOUSER=dst", "TABLE_EXISTS_ACTION=MERGE"});
  EXPECT_EQ(255, bad.status);
  EXPECT_TRUE(Has(bad.err, "Invalid parameter")) << bad.err;
}

// A table taken over with APPEND keeps its own index and key: their
// "already exists" is no failure, with or without IGNORE=Y.
TEST_F(ImportOutcome, ATakenOverTableKeepsItsIndexesAndKeysInSilence) {
  Sql("CREATE TABLE p (id NUMBER PRIMARY KEY);\nINSERT INTO p VALUES (1);\n"
      "CREATE TABLE c (id NUMBER, pid NUMBER, CONSTRAINT c_p_fk FOREIGN KEY (pid) REFERENCES p);\n"
      "CREATE INDEX c_pid ON c (pid);\nINSERT INTO c VALUES (1, 1);\n");
  Export();
  ASSERT_EQ(0, Import({"TOUSER=dst"}).status);
  ProcResult r = Import({"TOUSER=dst", "TABLES=c", "TABLE_EXISTS_ACTION=APPEND"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_FALSE(Has(r.err, "exists")) << r.err;
  EXPECT_EQ(2, Count("dst.c"));
}

// ---- only inside the target schema -----------------------------------------------

// The target already has a synonym T for VICTIM.T. Neither IGNORE=Y nor
// TRUNCATE or REPLACE puts rows into, empties, drops or indexes VICTIM.T;
// the run says why and goes on.
TEST_F(ImportOutcome, RowsNeverGoThroughASynonymToAnotherSchema) {
  Sql("CREATE TABLE t (id NUMBER, v VARCHAR2(10));\nCREATE INDEX t_v ON t (v);\n"
      "INSERT INTO t VALUES (100, 'dump');\nCREATE TABLE u (n NUMBER);\nINSERT INTO u VALUES (5);\n"
      "GRANT SELECT ON t TO evil;\n");
  Export();
  Sql("CREATE TABLE t (id NUMBER, v VARCHAR2(10));\nINSERT INTO t VALUES (1, 'secret');\n"
      "GRANT SELECT ON t TO evil;\n",
      "victim/victim");
  Sql("CREATE SYNONYM t FOR victim.t;\n", "evil/evil");
  std::string before = VictimState();
  ASSERT_TRUE(Has(before, "1:secret")) << before;
  for (const char* action : {"IGNORE=Y", "TABLE_EXISTS_ACTION=TRUNCATE", "TABLE_EXISTS_ACTION=REPLACE",
                             "TABLE_EXISTS_ACTION=APPEND"}) {
    ProcResult r = Import({"TOUSER=evil", action});
    EXPECT_EQ(1, r.status) << action << "\n" << r.err;
    EXPECT_TRUE(Has(r.err, "is a SYNONYM, not a table of the target")) << action << "\n" << r.err;
    EXPECT_EQ(before, VictimState()) << action;
    EXPECT_EQ(1, Count("evil.u")) << action;  // the next table still came
    Sql("DROP TABLE u PURGE;\n", "evil/evil");
  }
}

// The dump's grant and comment on an object it does not create, and its
// view over one of the target's own: none of them acts on VICTIM's objects
// (the import runs under a DBA into VICTIM).
TEST_F(ImportOutcome, StatementsActOnlyOnWhatTheRunCreated) {
  Sql("CREATE TABLE other (n NUMBER);\nCREATE VIEW vv AS SELECT 'forged' AS x FROM dual;\n"
      "GRANT SELECT ON vv TO evil;\nCOMMENT ON TABLE vv IS 'dump';\n");
  Export();
  Sql("CREATE TABLE t (id NUMBER, v VARCHAR2(10));\nINSERT INTO t VALUES (1, 'secret');\n"
      "CREATE VIEW vv AS SELECT v AS x FROM t;\n",
      "victim/victim");
  Sql("CREATE TRIGGER vt BEFORE INSERT ON t FOR EACH ROW BEGIN NULL; END;\n/\n", "victim/victim");
  // a crafted dump's ALTER of the target's trigger
  dumpbuild::Dump d;
  d.owner = "SRC";
  d.extension = true;
  d.tables.push_back(dumpbuild::Table("T2", {{5, 22, "N"}}));
  d.tables.back().ddl = "CREATE TABLE \"T2\" (\"N\" NUMBER)";
  d.deferred = {"ALTER TRIGGER \"VT\" DISABLE"};
  std::string crafted = dir_.file("crafted.dmp");
  WriteFile(crafted, d.Build());
  std::string before = VictimState();
  ProcResult a = Import({"TOUSER=victim"}, crafted);
  EXPECT_EQ(1, a.status) << a.err;
  EXPECT_TRUE(Has(a.err, "Alter trigger \"VT\" refused")) << a.err;
  before = VictimState();

  ProcResult r = Import({"TOUSER=victim", "IGNORE=Y"});
  EXPECT_EQ(1, r.status) << r.err;
  EXPECT_TRUE(Has(r.err, "\"VV\" is not an object this import created.")) << r.err;
  std::string after = VictimState();
  EXPECT_TRUE(Has(after, "TABLE OTHER")) << after;  // what the dump carries does come
  EXPECT_TRUE(Has(after, "TABLE T2")) << after;
  EXPECT_FALSE(Has(after, "EVIL VV")) << after;
  EXPECT_FALSE(Has(after, "forged")) << after;
  EXPECT_TRUE(Has(after, "SELECT v AS x FROM t") || Has(after, "select v as x from t")) << after;
}

// ---- interruption ------------------------------------------------------------------

// A signal in the middle of a table's rows (array and LONG tables), or
// between tables: the run ends 255 naming the signal, the table and the
// tables completed; the target holds the completed tables whole and
// nothing of the one stopped; a re-run with TABLE_EXISTS_ACTION completes.
TEST_F(ImportOutcome, AStoppedRunLeavesWholeTablesAndCanBeCompleted) {
  std::string script = "CREATE TABLE a_small (n NUMBER PRIMARY KEY);\nINSERT INTO a_small VALUES (1);\n"
                       "CREATE TABLE b_big (n NUMBER PRIMARY KEY, pad VARCHAR2(20));\n"
                       "CREATE TABLE c_long (n NUMBER, l LONG);\n"
                       "CREATE TABLE d_last (n NUMBER);\nINSERT INTO d_last VALUES (4);\n";
  script += "INSERT INTO b_big SELECT LEVEL, 'row' FROM dual CONNECT BY LEVEL <= 30000;\n";
  // more rows than the helper's pipe lets the import run ahead of it
  script += "INSERT INTO c_long SELECT LEVEL, 'long value' FROM dual CONNECT BY LEVEL <= 8000;\n";
  Sql(script);
  Export();

  struct Case {
    const char* sig;
    const char* unit;
    int n;
    const char* table;  // where it stops
  } cases[] = {{"SIGINT", "dots", 2000, "B_BIG"}, {"SIGTERM", "dots", 31000, "C_LONG"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sig);
    Sql("DROP USER dst CASCADE;\nCREATE USER dst IDENTIFIED BY dst;\nGRANT DBA TO dst;\n", "system/manager");
    ProcResult r = StoppedImport(c.sig, c.unit, c.n, {"TOUSER=dst"});
    EXPECT_EQ(255, r.status) << r.err;
    std::string line = std::string("Import stopped by ") + c.sig + " in table \"" + c.table + "\"";
    EXPECT_TRUE(Has(r.err, line)) << r.err;
    EXPECT_TRUE(Has(r.err, "Tables completed: \"A_SMALL\"")) << r.err;
    EXPECT_TRUE(Has(r.err, kFailed)) << r.err;
    EXPECT_EQ(1, Count("dst.a_small"));
    EXPECT_EQ(-1, Count(std::string("dst.") + c.table));  // dropped again
    EXPECT_EQ(-1, Count("dst.d_last"));
    if (std::string(c.table) == "C_LONG") {
      EXPECT_EQ(30000, Count("dst.b_big"));
    }

    ProcResult rerun = Import({"TOUSER=dst", "TABLE_EXISTS_ACTION=REPLACE"});
    EXPECT_EQ(0, rerun.status) << rerun.err;
    EXPECT_EQ(30000, Count("dst.b_big"));
    EXPECT_EQ(8000, Count("dst.c_long"));
    EXPECT_EQ(1, Count("dst.d_last"));
  }

  // Stopped between tables, a re-run with IGNORE=Y completes: the rows of
  // the tables already whole are refused by their keys, the rest come.
  Sql("DROP USER dst CASCADE;\nCREATE USER dst IDENTIFIED BY dst;\nGRANT DBA TO dst;\n", "system/manager");
  ProcResult r = StoppedImport("SIGINT", "tables", 1, {"TOUSER=dst"});
  EXPECT_EQ(255, r.status) << r.err;
  EXPECT_TRUE(Has(r.err, "Import stopped by SIGINT")) << r.err;
  ProcResult rerun = Import({"TOUSER=dst", "IGNORE=Y"});
  EXPECT_LE(rerun.status, 1) << rerun.err;
  EXPECT_EQ(1, Count("dst.a_small"));
  EXPECT_EQ(30000, Count("dst.b_big"));
  EXPECT_EQ(1, Count("dst.d_last"));
}

}  // namespace
