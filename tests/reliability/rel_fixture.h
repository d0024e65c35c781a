// rel_fixture.h - the fixture of the reliability tests: a fresh database
// file with the schema APP (a DBA), tables filled through OCI, and runs of
// tabexp and tabimp with extra environment.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rel_support.h"
#include "support.h"

namespace reltest {

class RelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    testsupport::CreateDatabase(db_, "manager");
    Sys("CREATE USER app IDENTIFIED BY app;\nGRANT DBA TO app;\n");
  }

  // Runs a tabsql script as SYSTEM; the test fails if a statement fails.
  void Sys(const std::string& script) {
    testsupport::ProcResult r = testsupport::RunSql("system/manager@" + db_, script, {kNls});
    ASSERT_EQ(0, r.status) << script << "\n" << r.out << r.err;
  }

  // A session of SYSTEM, opened on first use and kept (a logon costs a
  // password hash).
  Session& Admin() {
    if (!admin_open_) {
      EXPECT_EQ("", admin_.Open(db_, "system", "manager"));
      admin_open_ = true;
    }
    return admin_;
  }

  // A new DBA user, a target for imports.
  void AddUser(const std::string& name) {
    ASSERT_EQ("", Admin().Exec("CREATE USER " + name + " IDENTIFIED BY pw"));
    ASSERT_EQ("", Admin().Exec("GRANT DBA TO " + name));
  }

  testsupport::ProcResult Export(const std::string& owner, const std::string& file,
                                 const std::vector<std::string>& env = {},
                                 const std::string& user = "app/app") {
    std::vector<std::string> e = {kNls};
    e.insert(e.end(), env.begin(), env.end());
    return testsupport::Run({TABEXP_PATH, user + "@" + db_, "FILE=" + file, "OWNER=" + owner}, e);
  }

  testsupport::ProcResult Import(const std::string& file, const std::string& touser,
                                 const std::vector<std::string>& env = {},
                                 const std::string& user = "system/manager") {
    std::vector<std::string> argv = {TABIMP_PATH, user + "@" + db_, "FILE=" + file};
    if (!touser.empty()) argv.push_back("TOUSER=" + touser);
    return testsupport::Run(argv, env);
  }

  // Rows of a table (a quoted or plain SQL name), or -1 with the error.
  long Count(const std::string& table, std::string* error = nullptr) {
    std::string e;
    std::vector<std::string> v = Admin().Column("select count(*) from " + table, &e);
    if (error) *error = e;
    return e.empty() && v.size() == 1 ? std::stol(v[0]) : -1;
  }

  // Creates owner.name (id NUMBER(10) primary key, pad VARCHAR2(400)) with
  // `rows` rows whose pad is `width` characters that vary from row to row.
  void BigTable(const std::string& owner, const std::string& name, int rows, int width) {
    Session s;
    ASSERT_EQ("", s.Open(db_, "system", "manager"));
    ASSERT_EQ("", s.Exec("CREATE TABLE " + owner + "." + name +
                         " (id NUMBER(10) PRIMARY KEY, pad VARCHAR2(400))"));
    for (int first = 0; first < rows; first += 2000) {
      std::vector<std::vector<std::string>> batch;
      for (int i = first; i < rows && i < first + 2000; i++) {
        std::string pad;
        while (static_cast<int>(pad.size()) < width) pad += std::to_string(i * 7919 % 100003) + "-";
        pad.resize(static_cast<size_t>(width));
        batch.push_back({std::to_string(i), pad});
      }
      ASSERT_EQ("", s.InsertRows("INSERT INTO " + owner + "." + name + " VALUES (:1, :2)", batch));
    }
    ASSERT_EQ("", s.Commit());
  }

  // A table with LONG and LOB values of several pieces each.
  void StreamTable(const std::string& owner) {
    Sys("CREATE TABLE " + owner + ".docs (id NUMBER, note LONG, doc CLOB, pic BLOB);\n"
        "INSERT INTO " + owner + ".docs VALUES (1, RPAD('L', 40000, 'l'), RPAD('c', 70000, 'd'),"
        " HEXTORAW('0102'));\n"
        "INSERT INTO " + owner + ".docs VALUES (2, NULL, EMPTY_CLOB(), NULL);\n"
        "INSERT INTO " + owner + ".docs VALUES (3, 'short', RPAD('x', 100, 'y'), EMPTY_BLOB());\n"
        "CREATE TABLE " + owner + ".empty_t (n NUMBER);\n");
  }

  testsupport::TempDir dir_;
  std::string db_;
  Session admin_;
  bool admin_open_ = false;
};

inline bool Contains(const std::string& hay, const std::string& needle) {
  return hay.find(needle) != std::string::npos;
}

}  // namespace reltest
