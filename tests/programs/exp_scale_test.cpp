// exp_scale_test.cpp - the export of a schema of many objects reaches each
// object's dictionary rows through indexes of the catalog: the rows that
// full scans of catalog tables step through, counted inside the embedded
// database, stay far below one per table.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client/test_hooks.h"
#include "support.h"
#include "util.h"

extern "C" int tabexp_main(int argc, char** argv);

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::RunSql;
using testsupport::TempDir;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

int TableCount() {
  const char* v = std::getenv("TABDB_SCALE_TABLES");
  return v && std::atoi(v) > 0 ? std::atoi(v) : 2000;
}

// The mix of the objects benchmark: per table a primary key, a NOT NULL, a
// CHECK, an index, a comment, a row and a foreign key to the previous one;
// a view and a sequence per ten tables.
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

TEST(ExportScale, NoCatalogScanPerTable) {
  TempDir dir;
  std::string db = dir.file("db"), dump = dir.file("x.dmp");
  CreateDatabase(db, "manager");
  ProcResult r = RunSql("system/manager@" + db, "CREATE USER app IDENTIFIED BY app;\nGRANT DBA TO app;\n", {kNls});
  ASSERT_EQ(0, r.status) << r.err;
  const int n = TableCount();
  r = RunSql("app/app@" + db, SchemaScript(n), {kNls});
  ASSERT_EQ(0, r.status) << r.err;
  ASSERT_EQ(std::string::npos, r.out.find("ORA-")) << r.out.substr(r.out.find("ORA-"), 200);

  std::vector<std::string> args = {"tabexp", "app/app@" + db, "FILE=" + dump, "OWNER=app"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
  tabdb::testing::CountCatalogScans(true);
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  int status = tabexp_main(static_cast<int>(args.size()), argv.data());
  std::string out = ::testing::internal::GetCapturedStdout();
  std::string err = ::testing::internal::GetCapturedStderr();
  uint64_t steps = tabdb::testing::CatalogScanSteps();
  std::string report = tabdb::testing::CatalogScanReport(10);
  tabdb::testing::CountCatalogScans(false);
  ASSERT_EQ(0, status) << err;
  // A handful of small catalog tables (users, counters) may be scanned a
  // few times; a scan per table, or one over all objects, is far more.
  EXPECT_LT(steps, static_cast<uint64_t>(n / 4)) << report;
  if (std::getenv("TABDB_SCALE_REPORT")) std::fprintf(stderr, "%llu steps\n%s", (unsigned long long)steps, report.c_str());
}

}  // namespace
