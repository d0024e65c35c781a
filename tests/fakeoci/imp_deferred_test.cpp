// imp_deferred_test.cpp - how tabimp runs the statements that recreate a
// schema's other objects, over the OCI test double: the per-table and
// deferred lists stop at the first failure unless IGNORE=Y, a grant to a
// user the target lacks is skipped with a line, TABLES= keeps only what
// belongs to a selected table, names resolved by the database are
// qualified with the target schema, and a deferred list that tries to
// leave the schema is refused before anything runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump_builder.h"
#include "fakeoci.h"
#include "run_tabimp.h"

using namespace dumpbuild;

namespace {

using Result = fakeoci::ImportResult;
constexpr auto Import = fakeoci::RunTabimpReleased;

Table Tab(const std::string& name) {
  Table t(name, {{5, 22, "ID"}, {5, 22, "REF"}});
  t.ddl = "CREATE TABLE \"" + name + "\" (\"ID\" NUMBER, \"REF\" NUMBER)";
  t.Row({Val(Number(1)), Null()});
  return t;
}

bool Ran(const std::string& text) {
  for (const std::string& s : fakeoci::state().statements)
    if (s == text) return true;
  return false;
}

bool RanPart(const std::string& part) {
  for (const std::string& s : fakeoci::state().statements)
    if (s.find(part) != std::string::npos) return true;
  return false;
}

// Tables A and B, each with its own comment and check, and the schema's
// deferred list: a sequence, a key of each table, a view, grants on both
// tables and the view.
Dump Schema() {
  Dump d;
  d.extension = true;
  for (const char* n : {"A", "B"}) {
    Table t = Tab(n);
    t.index_sql = {std::string("ALTER TABLE \"") + n + "\" ADD CONSTRAINT \"" + n +
                       "_PK\" PRIMARY KEY (\"ID\")",
                   std::string("ALTER TABLE \"") + n + "\" ADD CONSTRAINT \"" + n +
                       "_CK\" CHECK (\"ID\" > 0) ENABLE",
                   std::string("COMMENT ON TABLE \"") + n + "\"  IS 'table " + n + "'"};
    d.tables.push_back(t);
  }
  d.deferred = {
      "CREATE SEQUENCE  \"S\"  MINVALUE 1 INCREMENT BY 1 START WITH 41 CACHE 20 NOORDER  NOCYCLE ",
      "ALTER TABLE \"A\" ADD CONSTRAINT \"A_FK\" FOREIGN KEY (\"REF\")\n\t  REFERENCES \"B\" (\"ID\") ENABLE",
      "ALTER TABLE \"B\" ADD CONSTRAINT \"B_FK\" FOREIGN KEY (\"REF\")\n\t  REFERENCES \"A\" (\"ID\") ENABLE",
      "CREATE OR REPLACE FORCE EDITIONABLE VIEW \"V\" (\"ID\") AS \n  SELECT id FROM a",
      "GRANT SELECT ON \"A\" TO \"GHOST\"",
      "GRANT SELECT ON \"A\" TO \"BOB\" WITH GRANT OPTION",
      "GRANT SELECT ON \"B\" TO \"BOB\"",
      "GRANT SELECT ON \"V\" TO PUBLIC",
  };
  return d;
}

// The text as the import runs it: CREATE OR REPLACE as plain CREATE, the
// words blanked so that every offset stays.
std::string Plain(std::string s) {
  size_t at = s.find(" OR REPLACE ");
  if (at != std::string::npos && s.compare(0, 6, "CREATE") == 0) s.replace(at, 12, std::string(12, ' '));
  return s;
}

TEST(ImpSchemaObjects, EveryStatementRunsInOrderWithGrantsAndCommentsQualified) {
  Dump d = Schema();
  d.deferred.insert(d.deferred.begin() + 5, "GRANT SELECT ON \"B\" TO \"COPY\"");
  Result r = Import(d.Build(), {"TOUSER=COPY"}, [] {
    fakeoci::FailStatement("TO \"GHOST\"", 1917, "ORA-01917: user or role 'GHOST' does not exist");
    fakeoci::FailStatement("TO \"COPY\"", 1749,
                           "ORA-01749: you may not GRANT/REVOKE privileges to/from yourself");
  });
  // a grant to a user the target lacks (a warning), or to the target's
  // owner, is skipped with one line; the rest go on
  ASSERT_EQ(r.rc, 1) << r.err;
  EXPECT_NE(r.err.find("Grant on \"A\" to \"GHOST\" skipped: the user does not exist."),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Grant on \"B\" to \"COPY\" skipped: the grantee owns the object"),
            std::string::npos)
      << r.err;
  const std::vector<std::string> expected = {
      "COMMENT ON TABLE \"COPY\".\"A\"  IS 'table A'",
      "COMMENT ON TABLE \"COPY\".\"B\"  IS 'table B'",
      Plain(d.deferred[0]),
      Plain(d.deferred[1]),
      Plain(d.deferred[2]),
      Plain(d.deferred[3]),
      "GRANT SELECT ON \"COPY\".\"A\" TO \"GHOST\"",
      "GRANT SELECT ON \"COPY\".\"A\" TO \"BOB\" WITH GRANT OPTION",
      "GRANT SELECT ON \"COPY\".\"B\" TO \"BOB\"",
      "GRANT SELECT ON \"COPY\".\"V\" TO PUBLIC",
  };
  const std::vector<std::string>& s = fakeoci::state().statements;
  size_t at = 0;
  for (const std::string& want : expected) {
    while (at < s.size() && s[at] != want) at++;
    EXPECT_LT(at, s.size()) << "not run, or out of order: " << want;
  }
  EXPECT_EQ(s.back(), expected.back());
}

TEST(ImpSchemaObjects, TablesSelectionKeepsOnlyTheSelectedTablesStatements) {
  Dump d = Schema();
  Result r = Import(d.Build(), {"TABLES=a"}, [] {
    fakeoci::FailStatement("TO \"GHOST\"", 1917, "ORA-01917: user or role 'GHOST' does not exist");
  });
  ASSERT_EQ(r.rc, 1) << r.err;
  EXPECT_TRUE(Ran(d.tables[0].index_sql[1]));
  EXPECT_TRUE(Ran(d.deferred[1])) << "the key of the selected child table";
  EXPECT_TRUE(Ran("GRANT SELECT ON \"APP\".\"A\" TO \"BOB\" WITH GRANT OPTION"));
  EXPECT_NE(r.err.find("to \"GHOST\" skipped"), std::string::npos) << r.err;
  // B's own statements, and the schema's sequence, view and the view's grant
  EXPECT_FALSE(RanPart("TABLE \"B\""));
  EXPECT_FALSE(RanPart("B_FK"));
  EXPECT_FALSE(RanPart("ON \"APP\".\"B\""));
  EXPECT_FALSE(RanPart("SEQUENCE"));
  EXPECT_FALSE(RanPart("VIEW"));
  EXPECT_FALSE(RanPart("\"V\""));
}

TEST(ImpSchemaObjects, AFailingStatementIsNamedAndTheRunGoesOn) {
  struct Case {
    std::string failing;  // a part of the statement that fails
    std::string line;     // the line naming its object
    std::string after;    // a statement that still runs
  };
  const std::vector<Case> cases = {
      {"\"A_CK\"", "Create constraint \"A_CK\" failed.", "CREATE TABLE \"B\""},
      {"COMMENT ON TABLE \"APP\".\"B\"", "Create comment on \"B\" failed.", "CREATE SEQUENCE"},
      {"CREATE SEQUENCE", "Create sequence \"S\" failed.", "\"A_FK\""},
      {"\"B_FK\"", "Create constraint \"B_FK\" skipped: the table it references", "VIEW"},
      {"VIEW", "Create view \"V\" failed.", "GRANT"},
      {"TO \"BOB\" WITH", "Grant on \"A\" to \"BOB\" failed.", "TO PUBLIC"},
  };
  static std::string failing;
  for (const Case& c : cases) {
    failing = c.failing;
    auto fail = [] { fakeoci::FailStatement(failing, 942, "ORA-00942: table or view does not exist"); };
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"IGNORE=Y"}}) {
      Result r = Import(Schema().Build(), args, fail);
      EXPECT_EQ(r.rc, 1) << c.failing;
      EXPECT_NE(r.err.find("ORA-00942"), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("Import terminated successfully with warnings."), std::string::npos) << r.err;
      EXPECT_TRUE(RanPart(c.after)) << c.failing;
      EXPECT_TRUE(Ran("GRANT SELECT ON \"APP\".\"B\" TO \"BOB\"")) << c.failing;
    }
  }
}

TEST(ImpSchemaObjects, DeferredStatementLeavingTheSchemaIsRefusedAndLeftOut) {
  const std::vector<std::string> escapes = {
      "GRANT SELECT ON \"SYS\".\"USER$\" TO PUBLIC",
      "GRANT DBA TO \"APP\"",
      "GRANT SELECT ON \"A\" TO \"BOB\" IDENTIFIED BY \"pw\"",
      "CREATE OR REPLACE PUBLIC SYNONYM \"DUAL\" FOR \"A\"",
      "CREATE OR REPLACE SYNONYM \"SYSTEM\".\"A\" FOR \"A\"",
      "CREATE OR REPLACE FORCE VIEW \"SYS\".\"V\" AS SELECT 1 FROM dual",
      "CREATE OR REPLACE VIEW \"V\" AS SELECT 1 FROM dual; DROP USER app CASCADE",
      "CREATE OR REPLACE EDITIONABLE PROCEDURE \"SYSTEM\".\"P\" AS BEGIN NULL; END;",
      "CREATE OR REPLACE TRIGGER \"T\" AFTER LOGON ON DATABASE BEGIN NULL; END;",
      "CREATE OR REPLACE TRIGGER \"T\" BEFORE INSERT ON \"HR\".\"EMP\" BEGIN NULL; END;",
      "CREATE OR REPLACE PROCEDURE \"P\" AS LANGUAGE C LIBRARY \"L\" NAME \"system\";",
      "ALTER TABLE \"HR\".\"EMP\" ADD CONSTRAINT \"F\" FOREIGN KEY (\"ID\") REFERENCES \"A\" (\"ID\")",
      "ALTER TABLE \"NOT_IN_DUMP\" ADD FOREIGN KEY (\"ID\") REFERENCES \"A\" (\"ID\")",
      "COMMENT ON TABLE \"SYS\".\"USER$\" IS 'x'",
      "CREATE SEQUENCE \"SYS\".\"S\"",
      "BEGIN EXECUTE IMMEDIATE 'GRANT DBA TO APP'; END;",
  };
  for (const std::string& bad : escapes) {
    Dump d = Schema();
    d.deferred.insert(d.deferred.begin() + 4, bad);  // after harmless ones
    Result r = Import(d.Build(), {"IGNORE=Y"}, nullptr);
    EXPECT_EQ(r.rc, 1) << bad;
    EXPECT_NE(r.err.find("Deferred statement refused"), std::string::npos) << bad << r.err;
    EXPECT_FALSE(Ran(bad) || Ran(Plain(bad))) << bad;
    EXPECT_TRUE(Ran("GRANT SELECT ON \"APP\".\"B\" TO \"BOB\"")) << bad;  // the others run
  }
}

TEST(ImpSchemaObjects, GrantOrCommentOnASynonymIsRefusedWhateverIgnore) {
  // A grant or comment on a synonym acts on the object it stands for: a
  // synonym of the dump's own making could lead to any schema's table.
  for (const char* on : {"GRANT SELECT ON \"S\" TO \"BOB\"", "COMMENT ON TABLE \"S\" IS 'x'",
                         "GRANT SELECT ON \"APP\".\"S\" TO PUBLIC"}) {
    Dump d = Schema();
    d.deferred.push_back("CREATE OR REPLACE EDITIONABLE SYNONYM \"S\" FOR \"OTHER\".\"SECRET\"");
    d.deferred.push_back(on);
    d.deferred.push_back("GRANT SELECT ON \"B\" TO \"CARL\"");
    Result r = Import(d.Build(), {"IGNORE=Y"}, [] { fakeoci::AnswerQuery("ALL_OBJECTS", "S", "SYNONYM"); });
    EXPECT_EQ(r.rc, 1) << on;
    EXPECT_NE(r.err.find("\"APP\".\"S\" is a SYNONYM, not a table or view of the target."), std::string::npos) << r.err;
    EXPECT_TRUE(RanPart("SYNONYM \"S\" FOR")) << on;
    EXPECT_FALSE(RanPart("ON \"APP\".\"S\"")) << on;
    EXPECT_TRUE(RanPart("CARL")) << on;  // the run goes on after the refusal
  }
}

}  // namespace

namespace {

// The dictionary, asked under the table's lock after CREATE TABLE, says
// that B is now a synonym (its owner swapped it in between): no row goes
// into whatever B stands for, none of B's statements run, A and the
// rest of the schema still come.
TEST(ImpSchemaObjects, RowsGoOnlyIntoWhatTheDictionaryShowsAsATableUnderTheLock) {
  for (const char* kind : {"SYNONYM", "VIEW", ""}) {
    static std::string answer;
    answer = kind;
    Result r = Import(Schema().Build(), {"IGNORE=Y"}, [] {
      if (!answer.empty()) fakeoci::AnswerQuery("ALL_OBJECTS", "B", answer);
      else fakeoci::AnswerQuery("ALL_OBJECTS", "B", "");
    });
    EXPECT_EQ(r.rc, 1) << kind;
    EXPECT_NE(r.err.find("Rows of \"B\" not loaded: \"APP\".\"B\" is "), std::string::npos) << r.err;
    EXPECT_FALSE(RanPart("insert into \"APP\".\"B\"")) << kind;
    EXPECT_TRUE(RanPart("insert into \"APP\".\"A\"")) << kind;
    EXPECT_FALSE(RanPart("ON \"APP\".\"B\"")) << kind;   // its grant and comment
    EXPECT_FALSE(RanPart("\"B_PK\"")) << kind;           // its own list
    EXPECT_FALSE(RanPart("\"B_FK\"")) << kind;           // its key in the deferred list
    EXPECT_TRUE(RanPart("\"A_FK\"")) << kind;
    EXPECT_TRUE(Ran("GRANT SELECT ON \"APP\".\"V\" TO PUBLIC")) << kind;
  }
}

}  // namespace

namespace {

// The schema with its grants and comments as records of their fields
// rather than as text: tabimp writes each statement itself.
Dump RecordSchema() {
  Dump d = Schema();
  d.version = 3;
  d.records = true;
  d.deferred.resize(4);  // sequence, keys and view; the grants come as records
  for (Table& t : d.tables) t.index_sql.pop_back();
  d.extra = {{5, CommentPayload("A", "", "table A"), -1},
             {5, CommentPayload("B", "ID", "it's B's key"), -1},
             {5, CommentPayload("V", "", "a view"), -1},
             {4, GrantPayload(1, 0, "A", "GHOST"), -1},
             {4, GrantPayload(1, 1, "A", "BOB"), -1},
             {4, GrantPayload(1, 0, "B", "BOB"), -1},
             {4, GrantPayload(1, 0, "V", "PUBLIC"), -1}};
  return d;
}

TEST(ImpObjectRecords, GrantsAndCommentsAreWrittenByTheImporterForTheTarget) {
  Dump d = RecordSchema();
  d.extra.push_back({4, GrantPayload(2, 0, "B", "COPY"), -1});
  d.extra.push_back({6, SynonymPayload("S1", "", "A"), -1});
  d.extra.push_back({6, SynonymPayload("S2", "HR", "JOBS"), -1});
  d.extra.push_back({7, SequencePayload("Q", 0, {"1", "999", "1", "41", "20"}), -1});
  Result r = Import(d.Build(), {"TOUSER=COPY"}, [] {
    fakeoci::FailStatement("TO \"GHOST\"", 1917, "ORA-01917: user or role 'GHOST' does not exist");
    fakeoci::FailStatement("TO \"COPY\"", 1749,
                           "ORA-01749: you may not GRANT/REVOKE privileges to/from yourself");
  });
  ASSERT_EQ(r.rc, 1) << r.err;
  EXPECT_NE(r.err.find("Grant on \"A\" to \"GHOST\" skipped: the user does not exist."),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Grant on \"B\" to \"COPY\" skipped: the grantee owns the object"),
            std::string::npos)
      << r.err;
  const std::vector<std::string> expected = {
      Plain(d.deferred[3]),
      "COMMENT ON TABLE \"COPY\".\"A\" IS 'table A'",
      "COMMENT ON COLUMN \"COPY\".\"B\".\"ID\" IS 'it''s B''s key'",
      "COMMENT ON TABLE \"COPY\".\"V\" IS 'a view'",
      "GRANT SELECT ON \"COPY\".\"A\" TO \"GHOST\"",
      "GRANT SELECT ON \"COPY\".\"A\" TO \"BOB\" WITH GRANT OPTION",
      "GRANT SELECT ON \"COPY\".\"B\" TO \"BOB\"",
      "GRANT SELECT ON \"COPY\".\"V\" TO PUBLIC",
      "GRANT INSERT ON \"COPY\".\"B\" TO \"COPY\"",
      // a synonym goes to the session's schema, the target
      "CREATE SYNONYM \"S1\" FOR \"A\"",
      "CREATE SYNONYM \"S2\" FOR \"HR\".\"JOBS\"",
      "CREATE SEQUENCE \"Q\" MINVALUE 1 MAXVALUE 999 INCREMENT BY 1 START WITH 41 CACHE 20 NOORDER NOCYCLE",
  };
  const std::vector<std::string>& s = fakeoci::state().statements;
  size_t at = 0;
  for (const std::string& want : expected) {
    while (at < s.size() && s[at] != want) at++;
    EXPECT_LT(at, s.size()) << "not run, or out of order: " << want;
  }
}

TEST(ImpObjectRecords, RecordsActOnlyOnWhatThisRunCreated) {
  // a record naming an object the dump did not create, one the run left
  // alone (TABLES=), and one on a synonym: none runs, the rest go on
  Dump d = RecordSchema();
  d.deferred.push_back("CREATE OR REPLACE EDITIONABLE SYNONYM \"S\" FOR \"OTHER\".\"SECRET\"");
  d.extra.push_back({4, GrantPayload(1, 0, "SECRET", "BOB"), -1});
  d.extra.push_back({5, CommentPayload("SECRET", "", "x"), -1});
  d.extra.push_back({4, GrantPayload(1, 0, "S", "BOB"), -1});
  d.extra.push_back({4, GrantPayload(1, 0, "B", "CARL"), -1});
  Result r = Import(d.Build(), {"IGNORE=Y"}, [] { fakeoci::AnswerQuery("ALL_OBJECTS", "S", "SYNONYM"); });
  EXPECT_EQ(r.rc, 1) << r.err;
  EXPECT_NE(r.err.find("\"SECRET\" is not an object this import created."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\"APP\".\"S\" is a SYNONYM, not a table or view of the target."), std::string::npos)
      << r.err;
  EXPECT_FALSE(RanPart("SECRET\" TO") || RanPart("\"SECRET\" IS"));
  EXPECT_FALSE(RanPart("ON \"APP\".\"S\""));
  EXPECT_TRUE(Ran("GRANT SELECT ON \"APP\".\"B\" TO \"CARL\""));

  r = Import(RecordSchema().Build(), {"TABLES=a"}, nullptr);
  EXPECT_TRUE(Ran("GRANT SELECT ON \"APP\".\"A\" TO \"BOB\" WITH GRANT OPTION")) << r.err;
  EXPECT_TRUE(Ran("COMMENT ON TABLE \"APP\".\"A\" IS 'table A'")) << r.err;
  EXPECT_FALSE(RanPart("ON \"APP\".\"B\""));
  EXPECT_FALSE(RanPart("\"APP\".\"V\""));
}

TEST(ImpObjectRecords, ADamagedRecordEndsTheRunBeforeAnythingIsCreated) {
  const std::string nul("B\0B", 3);
  const std::pair<Dump::Record, std::string> damaged[] = {
      {{4, GrantPayload(1, 0, "A", "BOB").substr(0, 6), -1}, "grant record whose names do not fill its length"},
      {{4, GrantPayload(1, 0, "A", std::string(129, 'U')), -1}, "a name longer than 128 bytes"},
      {{5, std::string("\x81\x00", 2) + std::string(129, 'T') + "x", -1}, "a name longer than 128 bytes"},
      {{4, GrantPayload(1, 0, "A", nul), -1}, "a NUL in a name"},
      {{4, GrantPayload(40, 0, "A", "BOB"), -1}, "grant record with a privilege not known"},
  };
  for (const auto& [rec, why] : damaged) {
    SCOPED_TRACE(why);
    Dump d = RecordSchema();
    d.extra.push_back(rec);
    Result r = Import(d.Build(), {}, nullptr);
    EXPECT_EQ(r.rc, -1) << r.err;
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    EXPECT_FALSE(RanPart("CREATE TABLE"));
  }
}

}  // namespace
