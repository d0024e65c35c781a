// tabsql.cpp - the SQL shell of the embedded database.
//
//   tabsql -init system/PASSWORD@FILE    creates a new database file
//   tabsql [-S] USERID [@SCRIPT [ARG...]]  runs statements from SCRIPT or stdin
//
// Errors print the Oracle text on standard error (after what standard
// output holds, so both keep the program's order) and the shell goes on;
// the exit status is 1 when any statement, command (or the logon) failed,
// else 0, unless EXIT or WHENEVER SQLERROR EXIT names one. The end of the
// input (or EXIT) commits, as Oracle's own shell does. Script text is
// read, and results and messages written, in the character set of NLS_LANG.
//
// A USERID without "/password" makes the shell ask for the password: on the
// terminal without echo, or, when standard input is not a terminal, as its
// first line (the statements follow on the next lines). A password given on
// the command line is blanked in the argument list once it has been read.
#include <climits>
#include <cstdlib>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "charset/charset.h"
#include "output.h"
#include "session/session.h"
#include "shell.h"
#include "storage/database.h"
#include "util/errors.h"

#include "prompt.h"

namespace {

using namespace tabdb;

struct UserId {
  std::string user, password, database;
  bool ask = false;  // no "/": the password is asked for
};

// user/password[@FILE], or user[@FILE] when the password is to be asked.
bool SplitUserId(const std::string& arg, UserId* out) {
  size_t slash = arg.find('/');
  if (slash != std::string::npos && arg.find('@') < slash) slash = std::string::npos;  // a path
  size_t at = arg.find('@', slash == std::string::npos ? 0 : slash + 1);
  size_t user_end = slash != std::string::npos ? slash : at;
  out->user = arg.substr(0, user_end);
  out->ask = slash == std::string::npos;
  if (out->ask && out->user.find('=') != std::string::npos) return false;
  out->password = out->ask ? std::string()
                           : arg.substr(slash + 1, at == std::string::npos ? std::string::npos
                                                                             : at - slash - 1);
  out->database = at == std::string::npos ? std::string() : arg.substr(at + 1);
  return true;
}

// Reads the USERID argument argv[i], blanks its password in place and asks
// for the password when it names none. False after a message.
bool TakeUserId(char** argv, int i, UserId* id) {
  if (!SplitUserId(argv[i], id)) return false;
  hide_password(argv[i]);
  if (!id->ask) return true;
  char buf[256];
  if (read_password(buf, sizeof buf) != 0) return false;
  id->password = buf;
  std::fill(buf, buf + sizeof buf, '\0');
  return true;
}

std::string DefaultDatabase() {
  const char* t = std::getenv("TWO_TASK");
  return t && *t ? t : "tabdb.db";
}

void Usage() {
  std::fprintf(stderr,
               "Usage: tabsql -init system/PASSWORD@FILE\n"
               "       tabsql [-S] USERID [@SCRIPT [ARG...]]\n"
               "USERID is username/password[@FILE]; without @FILE the database is $TWO_TASK,\n"
               "else tabdb.db in the current folder.\n"
               "Without /password the password is asked for: on the terminal, or as the\n"
               "first line of standard input when that is not a terminal.\n");
}

tabsql::Output g_out;

void PrintError(const Status& st) { g_out.Err(st.text() + "\n"); }

int Init(char** argv, int i) {
  UserId id;
  if (!SplitUserId(argv[i], &id) || LogonName(id.user) != "SYSTEM") {
    std::fprintf(stderr, "tabsql: -init needs system/PASSWORD@FILE\n");
    return 1;
  }
  if (!TakeUserId(argv, i, &id)) return 1;
  if (id.password.empty()) {
    std::fprintf(stderr, "tabsql: -init needs system/PASSWORD@FILE\n");
    return 1;
  }
  std::string path = id.database.empty() ? DefaultDatabase() : id.database;
  Status st = Database::Create(path, id.password);
  if (!st.ok()) {
    PrintError(st);
    return 1;
  }
  char real[PATH_MAX];
  const char* shown = realpath(path.c_str(), real) ? real : path.c_str();
  std::printf("Database %s created; administrator %s.\n", shown, LogonName(id.user).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool silent = false;
  int i = 1;
  if (i < argc && std::string(argv[i]) == "-init") {
    if (i + 1 >= argc) {
      Usage();
      return 1;
    }
    return Init(argv, i + 1);
  }
  if (i < argc && (std::string(argv[i]) == "-S" || std::string(argv[i]) == "-s")) {
    silent = true;
    ++i;
  }
  if (i >= argc) {
    Usage();
    return 1;
  }
  UserId id;
  if (!SplitUserId(argv[i], &id)) {
    Usage();
    return 1;
  }
  if (!TakeUserId(argv, i, &id)) return 1;
  ++i;
  std::string script;
  std::vector<std::string> script_args;
  if (i < argc) {
    script = argv[i];
    if (!script.empty() && script[0] == '@') script.erase(0, 1);
    for (int k = i + 1; k < argc; ++k) script_args.push_back(argv[k]);
  }
  Status cs = g_out.Open(std::getenv("NLS_LANG"));
  if (!cs.ok()) {
    std::fprintf(stderr, "ERROR:\n%s\n", cs.text().c_str());
    return 1;
  }
  if (!silent) std::printf("\ntabsql: SQL shell of the embedded database\n\n");
  std::string path = id.database.empty() ? DefaultDatabase() : id.database;
  tabsql::Shell shell(g_out, silent);
  if (!shell.Connect(id.user, id.password, path)) return 1;
  if (!silent) std::printf("Connected.\n\n");
  if (!script.empty()) {
    shell.RunFile(script, script_args);
  } else {
    shell.Run(std::cin, isatty(0) != 0);
  }
  // Like Oracle's own shell, a normal end of the input (or EXIT) commits.
  return shell.Finish();
}
