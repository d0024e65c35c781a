// hostile_names_test.cpp - owners, tables, columns, indexes and values whose
// names hold quotes of both kinds, semicolons, line ends and non-ASCII
// letters travel through tabexp and tabimp unchanged, and neither they nor
// hostile command-line values make the programs run SQL of their own.
#include <string>
#include <vector>

#include <unistd.h>

#include "rel_fixture.h"

namespace reltest {
namespace {

using testsupport::ProcResult;
using testsupport::ReadFile;

// A name in double quotes, inner double quotes doubled.
std::string Q(const std::string& name) {
  std::string s = "\"";
  for (char c : name) s += c == '"' ? std::string("\"\"") : std::string(1, c);
  return s + "\"";
}
// A value in single quotes, inner single quotes doubled.
std::string L(const std::string& value) {
  std::string s = "'";
  for (char c : value) s += c == '\'' ? std::string("''") : std::string(1, c);
  return s + "'";
}

const std::string kOwner = "SCH'\"; DROP\n\xC3\x84";       // SCH'"; DROP<LF>Ä
const std::string kTarget = "D\"ST';\n\xC3\x89";            // D"ST';<LF>É
const std::string kTab1 = "T'1;";
const std::string kTab2 = "X');DROP TABLE KEEP;--";
const std::string kTab3 = "\xC3\x9Cn\xC3\xAF \"Tab\"";     // Üñï "Tab"
const std::string kTab4 = "tab\nline";
const std::vector<std::string> kCols = {"c'1", "C\"2", "semi;colon", "new\nline", "\xC3\x87olumn"};

// The CREATE INDEX statements of a table section.
std::vector<std::string> Indexes(const DumpTable& t) {
  std::vector<std::string> v;
  for (const std::string& st : t.statements)
    if (st.compare(0, 6, "CREATE") == 0) v.push_back(st);
  return v;
}

class HostileNames : public RelTest {
 protected:
  void SetUp() override {
    RelTest::SetUp();
    ASSERT_EQ("", sys_.Open(db_, "system", "manager"));
    for (const std::string& sql : std::vector<std::string>{
             "CREATE TABLE app.keep (n NUMBER)",
             "INSERT INTO app.keep VALUES (1)",
             "CREATE USER " + Q(kOwner) + " IDENTIFIED BY pw",
             "CREATE USER " + Q(kTarget) + " IDENTIFIED BY pw",
             "CREATE TABLE " + Q(kOwner) + "." + Q(kTab1) + " (" + Q(kCols[0]) + " NUMBER(10), " +
                 Q(kCols[1]) + " VARCHAR2(40), " + Q(kCols[2]) + " DATE, " + Q(kCols[3]) +
                 " VARCHAR2(20), " + Q(kCols[4]) + " NUMBER)",
             "ALTER TABLE " + Q(kOwner) + "." + Q(kTab1) + " ADD CONSTRAINT " + Q("P\"K;") +
                 " PRIMARY KEY (" + Q(kCols[0]) + ")",
             "CREATE INDEX " + Q(kOwner) + "." + Q("I'1") + " ON " + Q(kOwner) + "." + Q(kTab1) + " (" +
                 Q(kCols[1]) + ")",
             "CREATE INDEX " + Q(kOwner) + "." + Q("i\"2;\n") + " ON " + Q(kOwner) + "." + Q(kTab1) +
                 " (" + Q(kCols[2]) + ", " + Q(kCols[4]) + ")",
             "CREATE INDEX " + Q(kOwner) + "." + Q("F'\"N") + " ON " + Q(kOwner) + "." + Q(kTab1) +
                 " (UPPER(" + Q(kCols[3]) + "))",
             "INSERT INTO " + Q(kOwner) + "." + Q(kTab1) + " VALUES (1, " + L("'); DROP TABLE KEEP; --") +
                 ", DATE '2024-02-29', " + L("a\"b\nc") + ", 1.5)",
             "INSERT INTO " + Q(kOwner) + "." + Q(kTab1) + " VALUES (2, " + L("\xC3\xA9t\xC3\xA9 ;") +
                 ", NULL, NULL, NULL)",
             "CREATE TABLE " + Q(kOwner) + "." + Q(kTab2) + " (n NUMBER)",
             "INSERT INTO " + Q(kOwner) + "." + Q(kTab2) + " VALUES (7)",
             "CREATE TABLE " + Q(kOwner) + "." + Q(kTab3) + " (" + Q("i'd") + " NUMBER, " + Q("l\"ob;") +
                 " CLOB, " + Q("lo\nng") + " LONG)",
             "INSERT INTO " + Q(kOwner) + "." + Q(kTab3) + " VALUES (1, " + L("\"'; COMMIT; DROP USER APP") +
                 ", " + L("long '\" text") + ")",
             "CREATE TABLE " + Q(kOwner) + "." + Q(kTab4) + " (" + Q("x") + " VARCHAR2(5))",
         })
      ASSERT_EQ("", sys_.Exec(sql)) << sql;
    ASSERT_EQ("", sys_.Commit());
  }

  // Every table and index of the database outside the schema `except`, and
  // the users: what an injected statement would change.
  std::string Inventory(const std::string& except = "") {
    std::string s, w = except.empty() ? "" : " where owner <> " + L(except);
    for (const std::string& v :
         {"select owner || '.' || table_name from all_tables" + w + " order by 1",
          "select owner || '.' || index_name from all_indexes" + w + " order by 1",
          std::string("select username from all_users order by 1")}) {
      std::string error;
      for (const std::string& row : sys_.Column(v, &error)) s += row + "\n";
      s += error;
    }
    return s;
  }

  ProcResult ExportAs(const std::string& owner, const std::string& file) {
    return testsupport::Run({TABEXP_PATH, "system/manager@" + db_, "FILE=" + file, "OWNER=" + owner}, {kNls});
  }

  Session sys_;
};

TEST_F(HostileNames, TravelUnchangedAndInjectNothing) {
  std::string file = dir_.file("hostile.dmp");
  ProcResult r = ExportAs(kOwner, file);
  ASSERT_EQ(0, r.status) << r.err;
  DumpFile d;
  std::string why;
  ASSERT_TRUE(ParseDump(ReadFile(file), &d, &why)) << why;
  EXPECT_EQ(kOwner, d.owner);
  std::vector<std::string> names;
  for (const DumpTable& t : d.tables) names.push_back(t.name);
  ASSERT_EQ((std::vector<std::string>{kTab1, kTab2, kTab3, kTab4}), names) << r.err;
  EXPECT_EQ(kCols, d.tables[0].columns);
  // three indexes, the key's index, and the key
  EXPECT_EQ(5u, d.tables[0].statements.size());

  std::string before = Inventory(kTarget);
  r = Import(file, kTarget);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, kImpDone));

  // nothing outside the target changed
  EXPECT_EQ(before, Inventory(kTarget));
  EXPECT_EQ(1, Count("app.keep"));

  // the target holds exactly what the owner holds: exported again, every
  // table section is the same: DDL, columns, rows, indexes and keys
  std::string again = dir_.file("again.dmp");
  r = ExportAs(kTarget, again);
  ASSERT_EQ(0, r.status) << r.err;
  DumpFile d2;
  ASSERT_TRUE(ParseDump(ReadFile(again), &d2, &why)) << why;
  ASSERT_EQ(d.tables.size(), d2.tables.size());
  for (size_t i = 0; i < d.tables.size(); i++) {
    EXPECT_EQ(d.tables[i].name, d2.tables[i].name);
    EXPECT_EQ(d.tables[i].ddl, d2.tables[i].ddl);
    EXPECT_EQ(d.tables[i].columns, d2.tables[i].columns);
    ASSERT_EQ(d.tables[i].rows.size(), d2.tables[i].rows.size());
    for (size_t k = 0; k < d.tables[i].rows.size(); k++) {
      EXPECT_EQ(d.tables[i].rows[k].values, d2.tables[i].rows[k].values);
      EXPECT_EQ(d.tables[i].rows[k].streams, d2.tables[i].rows[k].streams);
    }
    // the CREATE INDEX statements alike; the key's statement differs in
    // one respect: in the target it names the index the import made first
    EXPECT_EQ(Indexes(d.tables[i]), Indexes(d2.tables[i]));
    EXPECT_EQ(d.tables[i].statements.size(), d2.tables[i].statements.size());
  }
}

// Command-line values built to break out of the programs' SQL: the export
// finds no such owner (and writes no dump), the import no such schema; no
// object or user of the database changes.
TEST_F(HostileNames, HostileCommandLineValuesChangeNothing) {
  std::string file = dir_.file("x.dmp");
  ASSERT_EQ(0, ExportAs("APP", file).status);
  std::string before = Inventory();
  for (const std::string& owner : {std::string("APP' OR '1'='1"), std::string("APP\".\"KEEP"),
                                   std::string("APP'); DROP TABLE APP.KEEP; --"), std::string("APP%")}) {
    std::string out = dir_.file("h.dmp");
    ProcResult r = ExportAs(owner, out);
    EXPECT_EQ(255, r.status) << owner << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, "User \"" + owner + "\" does not exist.\n")) << owner << "\n" << r.err;
    EXPECT_NE(0, access(out.c_str(), F_OK)) << owner << ": a dump was written";
  }
  for (const std::string& touser : {std::string("X\"; DROP USER APP; --"), std::string("APP\".KEEP"),
                                    std::string("APP' --"), std::string("X\"\nDROP TABLE APP.KEEP")}) {
    ProcResult r = Import(file, touser);
    EXPECT_EQ(255, r.status) << touser << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, "Set current SCHEMA error.\n")) << touser << "\n" << r.err;
  }
  EXPECT_EQ(before, Inventory());
  EXPECT_EQ(1, Count("app.keep"));
}

}  // namespace
}  // namespace reltest
