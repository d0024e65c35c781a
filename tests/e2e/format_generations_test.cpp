// format_generations_test.cpp - a dump of every generation of the file
// format kept in tests/fixtures, as the exporter of its day wrote it from
// the same small schema (table PEOPLE with its key, index and rows, a
// sequence and a view): format 1 (checksums), format 2 (with the export's
// warnings), format 3 (typed trailer records, a 70 KB package body, a
// table whose name does not fit a directory entry). Each
// still verifies and imports whole with today's programs.
#include <string>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::ProcResult;
using testsupport::RunSql;
using testsupport::TempDir;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

class FormatGenerations : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    testsupport::CreateDatabase(db_);
    ASSERT_EQ(0, Sql("CREATE USER fx_copy IDENTIFIED BY x;\n").status);
  }
  ProcResult Sql(const std::string& script) { return RunSql("system/manager@" + db_, script, {kNls}); }

  TempDir dir_;
  std::string db_;
};

TEST_P(FormatGenerations, VerifiesListsAndImportsWhole) {
  const std::string file = std::string(FIXTURE_DIR) + "/ext_format" + GetParam() + ".dump";
  ProcResult v = testsupport::Run({TABDUMP_PATH, "--verify", file});
  EXPECT_EQ(0, v.status) << v.out << v.err;
  ProcResult l = testsupport::Run({TABDUMP_PATH, file});
  EXPECT_NE(std::string::npos, l.out.find(std::string("Format:    ") + GetParam())) << l.out;
  ProcResult j = testsupport::Run({TABDUMP_PATH, "--json", file});
  EXPECT_EQ(0, j.status) << j.err;

  ProcResult i = testsupport::Run({TABIMP_PATH, "system/manager@" + db_, "FILE=" + file, "TOUSER=fx_copy"},
                                  {kNls});
  ASSERT_NE(255, i.status) << i.out << i.err;
  ProcResult q = Sql(
      "SELECT id || '|' || name || '|' || TO_CHAR(born, 'YYYY-MM-DD') FROM fx_copy.people ORDER BY id;\n"
      "SELECT object_type || ' ' || object_name FROM all_objects WHERE owner = 'FX_COPY' ORDER BY 1;\n");
  ASSERT_EQ(0, q.status) << q.err;
  EXPECT_NE(std::string::npos, q.out.find("1|Ann|1990-01-02\n2|Bo|\n")) << q.out;
  for (const char* o : {"INDEX PEOPLE_NAME", "INDEX PEOPLE_PK", "SEQUENCE PEOPLE_SEQ", "VIEW PEOPLE_V"})
    EXPECT_NE(std::string::npos, q.out.find(o)) << o << "\n" << q.out;
  if (std::string(GetParam()) == "3") {
    EXPECT_NE(std::string::npos, q.out.find("PACKAGE BODY LONG_PKG")) << q.out;
    // the table whose name does not fit the directory, with its key and row
    ProcResult t = Sql("SELECT id || '|' || name FROM fx_copy.\"PEOPLE_OF_A_NAME_LONGER_THAN_THIRTY_ONE\";\n"
                       "SELECT 'keys ' || COUNT(*) FROM all_constraints WHERE owner = 'FX_COPY' AND "
                       "table_name = 'PEOPLE_OF_A_NAME_LONGER_THAN_THIRTY_ONE' AND constraint_type = 'P';\n");
    EXPECT_NE(std::string::npos, t.out.find("5|Eve")) << t.out << t.err;
    EXPECT_NE(std::string::npos, t.out.find("keys 1")) << t.out;
    EXPECT_NE(std::string::npos, l.out.find("Tables:    2 (1 in the trailer")) << l.out;
    ProcResult s = Sql("SELECT 'lines ' || COUNT(*) FROM all_source WHERE owner = 'FX_COPY' AND name = "
                       "'LONG_PKG' AND type = 'PACKAGE BODY';\n");
    EXPECT_NE(std::string::npos, s.out.find("lines 2844")) << s.out;  // every line of the source's body
  }
  if (std::string(GetParam()) != "1") {
    // the warning the export kept in the dump is listed
    EXPECT_NE(std::string::npos, l.out.find("\"ODD\" not exported")) << l.out;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryGeneration, FormatGenerations, ::testing::Values("1", "2", "3"));

}  // namespace
