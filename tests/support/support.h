// support.h - helpers shared by the tests: temporary folders, running the
// built programs as processes, and making database files through tabsql.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

// Outcome of a process: `status` is the exit status (0..255), or minus the
// signal number when a signal ended it.
struct ProcResult {
  int status = -1;
  std::string out;
  std::string err;
};

// This process's environment with `changes` applied: "NAME=value" sets a
// variable, "NAME" alone removes it.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes);
// NULL-terminated pointers to the strings of v (for exec and spawn calls).
std::vector<char*> Pointers(std::vector<std::string>& v);

// Runs argv[0] with the arguments argv[1..]. `env` entries "NAME=value" set
// a variable for the child, "NAME" alone removes it. `input` is written to
// the child's standard input. `cwd` (when not empty) is its working folder.
ProcResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
               const std::string& input = "", const std::string& cwd = "");

// A fresh folder under TMPDIR, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

// Creates the database file `path` with SYSTEM's password `password`
// (tabsql -init); fails the current test if that does not work.
void CreateDatabase(const std::string& path, const std::string& password = "manager");

// Runs `script` through "tabsql -S userid" and returns what it printed.
ProcResult RunSql(const std::string& userid, const std::string& script,
                  const std::vector<std::string>& env = {});

// A fresh database with an ordinary user APP (password app); App() runs a
// script as APP through the shell.
class AppShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("app.db");
    CreateDatabase(path_);
    ProcResult r = RunSql("system/manager@" + path_, "CREATE USER app IDENTIFIED BY app;\n");
    ASSERT_EQ(r.status, 0) << r.err;
  }
  ProcResult App(const std::string& script) { return RunSql("app/app@" + path_, script); }

  TempDir dir_;
  std::string path_;
};

// Expects each of `parts` in `text`, in this order (e.g. the Oracle errors
// a script printed).
void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts);

}  // namespace testsupport
