// imp_verify_test.cpp - what tabimp refuses to act on, over the OCI test
// double: statements of kinds an export never writes (in the old format and
// with the checksum extension), damaged checksummed sections, and the
// deferred statements of the trailer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump_builder.h"
#include "fakeoci.h"
#include "run_tabimp.h"

using namespace dumpbuild;

namespace {

struct Result {
  int rc;
  std::string err;
};

// Imports `bytes`; every handle and locator is released whatever happens.
Result Import(const std::string& bytes, std::vector<std::string> args = {},
              void (*setup)() = nullptr) {
  fakeoci::ImportResult r = fakeoci::RunTabimp(bytes, args, setup);
  EXPECT_EQ(fakeoci::state().live_objects, 0);
  return {r.rc, r.err};
}

Table Emp(const std::string& name = "EMP") {
  Table t(name, {{5, 22, "ID"}, {3, 20, "NAME"}});
  t.ddl = "CREATE TABLE \"" + name + "\" (\"ID\" NUMBER, \"NAME\" VARCHAR2(20))";
  t.Row({Val(Number(1)), Val("one")}).Row({Val(Number(2)), Null()});
  return t;
}

bool Ran(const std::string& text) {
  for (const std::string& s : fakeoci::state().statements)
    if (s.find(text) != std::string::npos) return true;
  return false;
}

// ---- statements outside the allowed kinds ----------------------------------

struct Hostile {
  bool in_ddl;        // the CREATE TABLE block, else the index list
  std::string text;
  std::string touser;
};

TEST(ImpStatementKinds, EachHostileStatementIsRefusedBeforeItRuns) {
  const std::vector<Hostile> cases = {
      {true, "GRANT DBA TO evil", ""},
      {true, "ALTER USER system IDENTIFIED BY pwned", ""},
      {true, "DROP USER app CASCADE", ""},
      {true, "CREATE TABLE \"OTHER\" (\"ID\" NUMBER)", ""},
      {true, "CREATE TABLE \"APP\".\"EMP\" (\"ID\" NUMBER)", "TOUSER=B"},
      {true, "CREATE TABLE \"SYS\".\"EMP\" (\"ID\" NUMBER)", ""},
      {true, "CREATE TABLE \"EMP\" (\"ID\" NUMBER); GRANT DBA TO evil", ""},
      {true, "CREATE TABLE \"EMP\" (\"ID\" NUMBER) -- trailing", ""},
      {true, "CREATE TABLE \"EMP\" AS SELECT * FROM SYS.USER$", ""},
      {true, "CREATE TABLE \"EMP\" (\"ID\" NUMBER DEFAULT \"OTHER\".F())", ""},
      {true, "CREATE TABLE \"EMP\" (\"ID\" NUMBER, \"N\" VARCHAR2(20) DEFAULT 'x)", ""},
      {true, "CREATE INDEX \"I\" ON \"EMP\" (\"ID\")", ""},
      {false, "GRANT DBA TO evil", ""},
      {false, "DROP TABLE \"EMP\"", ""},
      {false, "CREATE TABLE \"EMP2\" (\"ID\" NUMBER)", ""},
      {false, "CREATE INDEX \"I\" ON \"OTHER\" (\"ID\")", ""},
      {false, "CREATE INDEX \"I\" ON \"APP\".\"OTHER\" (\"ID\")", ""},
      {false, "CREATE INDEX \"X\".\"I\" ON \"EMP\" (\"ID\")", ""},
      {false, "CREATE INDEX \"I\" ON \"EMP\" (\"ID\"); DROP TABLE \"EMP\"", ""},
      {false, "CREATE INDEX \"I\" ON \"EMP\" (\"ID\") /* c */", ""},
      {false, "ALTER TABLE \"EMP\" DROP PRIMARY KEY", ""},
      {false, "ALTER TABLE \"OTHER\" ADD PRIMARY KEY (\"ID\")", ""},
      {false, "ALTER TABLE \"EMP\" ADD CONSTRAINT \"F\" FOREIGN KEY (\"ID\") REFERENCES \"X\".\"T\"", ""},
      {false, std::string("CREATE INDEX \"I\" ON \"EMP\" (\"ID\")") + '\0' + "GRANT DBA TO evil", ""},
  };
  for (bool ext : {false, true}) {
    for (const Hostile& c : cases) {
      Dump d;
      d.extension = ext;
      d.tables.push_back(Emp("FIRST"));
      Table t = Emp();
      if (c.in_ddl)
        t.ddl = c.text;
      else
        t.index_sql = {"CREATE INDEX \"EMP_N\" ON \"EMP\" (\"NAME\")", c.text};
      d.tables.push_back(t);
      std::vector<std::string> args;
      if (!c.touser.empty()) args.push_back(c.touser);
      args.push_back("IGNORE=Y");  // a refusal is never an ignorable error
      Result r = Import(d.Build(), args);
      std::string what = (ext ? "extension: " : "base: ") + c.text;
      EXPECT_EQ(r.rc, -1) << what;
      EXPECT_NE(r.err.find("Table EMP: statement refused"), std::string::npos) << what << r.err;
      EXPECT_FALSE(Ran(c.text)) << what;
      EXPECT_FALSE(Ran("EMP_N")) << what;  // no statement of the list runs
      EXPECT_TRUE(Ran("CREATE TABLE \"FIRST\"")) << what;
      if (ext) {
        // the section was read whole first: nothing of EMP happened
        EXPECT_FALSE(Ran("CREATE TABLE \"EMP\"")) << what;
        EXPECT_EQ(fakeoci::state().rows.size(), 2u) << what;
      }
    }
  }
}

TEST(ImpStatementKinds, StatementsAnExportWritesRunWhateverTheNames) {
  struct Case {
    std::string table;
    std::string ddl;
    std::vector<std::string> list;
  };
  const std::vector<Case> cases = {
      {"T(S DESC) --", "CREATE TABLE \"T(S DESC) --\" (\"K\" NUMBER, \"S\" NUMBER)",
       {"CREATE INDEX \"I\" ON \"T(S DESC) --\" (\"K\")"}},
      {"A(", "\n  CREATE TABLE \"A(\" (\"K\" NUMBER)", {"create unique index \"A_U\" on \"A(\" (\"K\")"}},
      {"Q\"; x", "CREATE TABLE \"Q\"\"; x\" (\"K\" NUMBER DEFAULT 0.5, \"C\" CHAR(3) DEFAULT ';--')",
       {"CREATE BITMAP INDEX \"B\" ON \"Q\"\"; x\" (\"C\")",
        "ALTER TABLE \"Q\"\"; x\" ADD CONSTRAINT \"PK\" PRIMARY KEY (\"K\")\n  USING INDEX  ENABLE"}},
      {"GT", "CREATE GLOBAL TEMPORARY TABLE \"GT\" (\"K\" NUMBER) ON COMMIT PRESERVE ROWS", {}},
      {"EMP", "create table emp (id number)",
       {"CREATE INDEX \"APP\".\"I\" ON \"APP\".\"EMP\" (\"ID\")", "ALTER TABLE EMP ADD PRIMARY KEY (ID)"}},
  };
  for (bool ext : {false, true}) {
    for (const Case& c : cases) {
      Dump d;
      d.extension = ext;
      Table t(c.table, {{5, 22, "K"}});
      t.ddl = c.ddl;
      t.index_sql = c.list;
      t.Row({Val(Number(7))});
      d.tables.push_back(t);
      Result r = Import(d.Build());
      ASSERT_EQ(r.rc, 0) << c.ddl << r.err;
      EXPECT_TRUE(Ran(c.ddl));
      for (const std::string& q : c.list) EXPECT_TRUE(Ran(q)) << q;
    }
  }
}

// ---- checksummed sections ---------------------------------------------------

TEST(ImpChecksums, DamagedSectionIsNeitherCreatedNorLoaded) {
  Dump d;
  d.extension = true;
  d.tables.push_back(Emp("FIRST"));
  Table second = Emp("SECOND");
  second.index_sql = {"CREATE INDEX \"S_I\" ON \"SECOND\" (\"ID\")"};
  d.tables.push_back(second);
  std::string good = d.Build();
  ASSERT_EQ(Import(good).rc, 0);
  EXPECT_EQ(fakeoci::state().rows.size(), 4u);

  // one byte of the value "one" in the second section: still well formed
  std::string bad = good;
  size_t second_at = bad.rfind("one");
  bad[second_at] = 'O';
  Result r = Import(bad, {"IGNORE=Y"});
  EXPECT_EQ(r.rc, -1);
  EXPECT_NE(r.err.find("Table SECOND: damaged at offset"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("section checksum does not match"), std::string::npos) << r.err;
  EXPECT_TRUE(Ran("CREATE TABLE \"FIRST\""));
  EXPECT_FALSE(Ran("SECOND"));
  EXPECT_EQ(fakeoci::state().rows.size(), 2u);
  EXPECT_EQ(fakeoci::state().committed_rows, 2u);

  // the directory: nothing at all is done, not even a connection
  bad = good;
  bad[1024 + 56 + 20] ^= 0x01;  // second entry's offset, low byte
  r = Import(bad);
  EXPECT_EQ(r.rc, -1);
  EXPECT_NE(r.err.find("header or directory checksum does not match"), std::string::npos) << r.err;
  EXPECT_TRUE(fakeoci::state().statements.empty());
}

TEST(ImpChecksums, DeferredStatementsRunLastInOrderAndMayFail) {
  Dump d;
  d.extension = true;
  d.tables.push_back(Emp("A"));
  d.tables.push_back(Emp("B"));
  d.deferred = {"CREATE INDEX \"DA\" ON \"A\" (\"ID\")", "ALTER TABLE \"B\" ADD PRIMARY KEY (\"ID\")"};
  std::string bytes = d.Build();
  Result r = Import(bytes);
  ASSERT_EQ(r.rc, 0) << r.err;
  const std::vector<std::string>& s = fakeoci::state().statements;
  ASSERT_GE(s.size(), 2u);
  EXPECT_EQ(s[s.size() - 2], d.deferred[0]);
  EXPECT_EQ(s[s.size() - 1], d.deferred[1]);

  // with IGNORE=Y a deferred index that exists is passed over in silence
  auto fail_da = [] {
    fakeoci::FailStatement("\"DA\"", 955, "ORA-00955: name is already used by an existing object");
  };
  r = Import(bytes, {"IGNORE=Y"}, fail_da);
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.err.find("ORA-00955"), std::string::npos);
  EXPECT_EQ(fakeoci::state().statements.back(), d.deferred[1]);
  // without it, the index is named as existing and the run goes on
  r = Import(bytes, {}, fail_da);
  EXPECT_EQ(r.rc, 1) << r.err;
  EXPECT_NE(r.err.find("Create index \"DA\" failed, the name exists."), std::string::npos) << r.err;
  EXPECT_EQ(fakeoci::state().statements.back(), d.deferred[1]);

  // a deferred statement of a kind never written is named and left out;
  // the tables still come
  d.deferred = {"GRANT DBA TO evil"};
  r = Import(d.Build());
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.err.find("Deferred statement refused"), std::string::npos) << r.err;
  EXPECT_TRUE(Ran("CREATE"));
  EXPECT_FALSE(Ran("GRANT"));
}

}  // namespace
