// imp_scale_test.cpp - the export of a schema of many objects and its
// import into another schema reach the catalog by indexes only: the rows
// full scans of catalog tables step through, counted inside the embedded
// database (in the export's process through TABDB_SCAN_REPORT), stay far
// below one per table.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client/test_hooks.h"
#include "support.h"

extern "C" int tabimp_main(int argc, char** argv);

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::RunSql;
using testsupport::TempDir;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

// A table of each kind the export carries, times `n`: keys, a CHECK, an
// index, a comment and a foreign key per table; a view and a sequence per
// ten tables.
std::string SchemaScript(int n) {
  std::string s;
  for (int i = 1; i <= n; i++) {
    std::string t = "t" + std::to_string(i), k = std::to_string(i);
    s += "CREATE TABLE " + t + " (id NUMBER CONSTRAINT " + t + "_pk PRIMARY KEY, v VARCHAR2(10) NOT NULL, n NUMBER CONSTRAINT " +
         t + "_ck CHECK (n > 0), p NUMBER";
    if (i > 1) s += ", CONSTRAINT " + t + "_fk FOREIGN KEY (p) REFERENCES t" + std::to_string(i - 1) + " (id)";
    s += ");\nCREATE INDEX " + t + "_ix ON " + t + " (v);\nCOMMENT ON TABLE " + t + " IS 'table " + k + "';\n";
    s += "INSERT INTO " + t + " VALUES (" + k + ", 'v" + k + "', " + k + ", " + (i > 1 ? std::to_string(i - 1) : "NULL") +
         ");\n";
    if (i % 10 == 0) s += "CREATE VIEW v" + k + " AS SELECT id, v FROM " + t + ";\nCREATE SEQUENCE s" + k + ";\n";
  }
  return s + "COMMIT;\n";
}

// The first number of a scan report: the rows stepped through in total.
uint64_t ReportedSteps(const std::string& report) { return std::strtoull(report.c_str(), nullptr, 10); }

TEST(ObjectsScale, NoCatalogScanPerTable) {
  TempDir dir;
  std::string db = dir.file("db"), dump = dir.file("x.dmp");
  CreateDatabase(db, "manager");
  ProcResult r = RunSql("system/manager@" + db,
                        "CREATE USER app IDENTIFIED BY app;\nGRANT DBA TO app;\n"
                        "CREATE USER dst IDENTIFIED BY dst;\n",
                        {kNls});
  ASSERT_EQ(0, r.status) << r.err;
  const int n = 1000;
  r = RunSql("app/app@" + db, SchemaScript(n), {kNls});
  ASSERT_EQ(0, r.status) << r.err;
  ASSERT_EQ(std::string::npos, r.out.find("ORA-")) << r.out.substr(r.out.find("ORA-"), 200);
  std::string exp_report = dir.file("exp.scans");
  r = testsupport::Run({TABEXP_PATH, "app/app@" + db, "FILE=" + dump, "OWNER=app"},
                       {kNls, "TABDB_SCAN_REPORT=" + exp_report});
  ASSERT_EQ(0, r.status) << r.err;
  std::string exp_scans = testsupport::ReadFile(exp_report);
  ASSERT_FALSE(exp_scans.empty());
  // A handful of small catalog tables (users, counters) may be scanned a
  // few times; a scan per table, or one over all objects, is far more.
  EXPECT_LT(ReportedSteps(exp_scans), static_cast<uint64_t>(n / 4)) << exp_scans;

  std::vector<std::string> args = {"tabimp", "system/manager@" + db, "FILE=" + dump, "TOUSER=dst"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  tabdb::testing::CountCatalogScans(true);
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  int status = tabimp_main(static_cast<int>(args.size()), argv.data());
  std::string out = ::testing::internal::GetCapturedStdout();
  std::string err = ::testing::internal::GetCapturedStderr();
  uint64_t steps = tabdb::testing::CatalogScanSteps();
  std::string report = tabdb::testing::CatalogScanReport(10);
  tabdb::testing::CountCatalogScans(false);
  ASSERT_EQ(0, status) << err.substr(0, 2000);
  EXPECT_NE(std::string::npos, out.find("T1000          1 rows imported")) << out.substr(0, 2000);
  EXPECT_LT(steps, static_cast<uint64_t>(n / 4)) << report;
}

}  // namespace
