// shell.h - the SQL shell: runs the units of a script (statements, PL/SQL
// units, shell commands) against one session, with the shell's settings,
// substitution variables, nested scripts and WHENEVER/EXIT handling.
#pragma once

#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "exec/engine.h"
#include "output.h"
#include "script.h"
#include "session/session.h"
#include "subst.h"
#include "util/status.h"

namespace tabsql {

class Shell {
 public:
  Shell(Output& out, bool silent) : out_(out), silent_(silent), feedback_(silent ? 0 : 1) {}
  ~Shell();

  // Logs on as user/password to the database file `path`; prints the error
  // and returns false when that fails.
  bool Connect(const std::string& user, const std::string& password, const std::string& path);
  // Runs a script read from `in` (standard input when `interactive` may be a
  // terminal), until its end or EXIT.
  void Run(std::istream& in, bool interactive);
  // Runs the script file `path` (".sql" added when it has no extension)
  // with the arguments &1, &2, ...; @@ inside it names scripts relative to
  // its folder.
  void RunFile(const std::string& path, const std::vector<std::string>& args);
  // Ends the work: commits (or rolls back, as EXIT asked) and closes the
  // session. Returns the exit status.
  int Finish();
  bool exited() const { return exited_; }

 private:
  enum class EndAction { kCommit, kRollback };

  void RunUnits(std::istream& in, bool interactive, const std::string& dir);
  void RunUnit(const Unit& u, const std::string& dir);
  bool Statement(const std::string& text, int line);
  tabdb::Status PrintRows(tabdb::ResultSet& rs);
  void PrintServerOutput();
  void SqlError(const tabdb::Status& st);
  void ShellError(const std::string& text);
  std::string Substituted(const std::string& text, bool verify);
  std::string ReadInputLine(bool* got);

  void Command(const std::string& text, const std::string& dir);
  void Script(const std::string& target, bool relative, const std::string& dir);
  void Set(const std::vector<std::string>& args);
  void Show(const std::vector<std::string>& args);
  void Define(const std::string& rest);
  void Accept(const std::vector<std::string>& args);
  void ConnectCommand(const std::string& rest);
  void Spool(const std::vector<std::string>& args);
  void Whenever(const std::vector<std::string>& args);
  void Exit(const std::vector<std::string>& args);
  bool Describe(const std::string& name);
  // Parses "[code] [COMMIT|ROLLBACK]" of EXIT and WHENEVER ... EXIT.
  bool ExitArgs(const std::vector<std::string>& args, size_t from, int* code, bool* has_code,
                EndAction* action);

  Output& out_;
  bool silent_;
  std::unique_ptr<tabdb::Session> session_;
  std::string db_path_;
  Variables vars_;
  ScriptReader* reader_ = nullptr;  // the reader of the innermost script
  int depth_ = 0;                   // nesting of @ scripts (0: standard input)

  // The buffer "/" runs again.
  std::string buffer_;
  int buffer_line_ = 0;

  // SET options.
  int feedback_;  // 0 off, else the least row count that shows "n rows selected."
  bool heading_ = true;
  long pagesize_ = 14;
  long linesize_ = 80;
  bool echo_ = false;
  bool verify_ = true;
  bool serveroutput_ = false;
  bool blank_lines_ = false;
  bool autocommit_ = false;

  // WHENEVER SQLERROR EXIT.
  bool exit_on_error_ = false;
  bool exit_on_error_sqlcode_ = false;
  int exit_on_error_code_ = 1;
  EndAction exit_on_error_action_ = EndAction::kCommit;

  bool failed_ = false;  // any statement, command or logon failed
  bool exited_ = false;  // EXIT, QUIT or WHENEVER ... EXIT
  bool has_exit_code_ = false;
  int exit_code_ = 0;
  EndAction end_action_ = EndAction::kCommit;
};

}  // namespace tabsql
