// tabsql.cpp - the SQL shell of the embedded database.
//
//   tabsql -init system/PASSWORD@FILE    creates a new database file
//   tabsql [-S] USERID [@SCRIPT]          runs statements from SCRIPT or stdin
//
// Errors print the Oracle text on standard error and the shell goes on; the
// exit status is 1 when any statement (or the logon) failed, else 0. The end
// of the input (or EXIT) commits, as Oracle's own shell does. Script text is
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

#include "catalog/catalog.h"
#include "charset/charset.h"
#include "exec/engine.h"
#include "exec/sqlfunc.h"
#include "format.h"
#include "script.h"
#include "session/session.h"
#include "sql/parser.h"
#include "storage/database.h"
#include "util/errors.h"

extern "C" {
#include "args.h"
}

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
               "       tabsql [-S] USERID [@SCRIPT]\n"
               "USERID is username/password[@FILE]; without @FILE the database is $TWO_TASK,\n"
               "else tabdb.db in the current folder.\n"
               "Without /password the password is asked for: on the terminal, or as the\n"
               "first line of standard input when that is not a terminal.\n");
}

// The client character set of the shell: script text arrives in it and
// everything the shell writes leaves in it. Without NLS_LANG (or with an
// empty one) the shell keeps to the database's own AL32UTF8, so that
// scripts and their output stay byte for byte what they always were.
class ClientText {
 public:
  Status Open(const char* nls_lang) {
    if (nls_lang == nullptr || *nls_lang == '\0') return Status::Ok();
    NlsLang nls;
    TABDB_RETURN_IF_ERROR(ParseNlsLang(nls_lang, &nls));
    if (nls.charset == DatabaseCharset()) return Status::Ok();
    TABDB_RETURN_IF_ERROR(Converter::Open(nls.charset, DatabaseCharset(), &in_));
    return Converter::Open(DatabaseCharset(), nls.charset, &out_);
  }
  // Client text to the database's, in place.
  void In(std::string* text) {
    if (!in_) return;
    scratch_.clear();
    in_->Convert(*text, &scratch_);
    text->swap(scratch_);
  }
  // Writes database text, converted, to f.
  void Put(std::FILE* f, const std::string& text) {
    const std::string* t = &text;
    if (out_) {
      scratch_.clear();
      out_->Convert(text, &scratch_);
      t = &scratch_;
    }
    std::fwrite(t->data(), 1, t->size(), f);
  }

 private:
  std::unique_ptr<Converter> in_, out_;
  std::string scratch_;
};

ClientText g_text;

void PrintError(const Status& st) { g_text.Put(stderr, st.text() + "\n"); }

const char* Feedback(sql::StmtKind k, uint64_t rows, std::string* buf) {
  auto plural = [&](const char* verb) {
    *buf = std::to_string(rows) + (rows == 1 ? " row " : " rows ") + verb + ".";
    return buf->c_str();
  };
  switch (k) {
    case sql::StmtKind::kInsert: return plural("created");
    case sql::StmtKind::kUpdate: return plural("updated");
    case sql::StmtKind::kDelete: return plural("deleted");
    case sql::StmtKind::kCreateTable: return "Table created.";
    case sql::StmtKind::kDropTable: return "Table dropped.";
    case sql::StmtKind::kTruncateTable: return "Table truncated.";
    case sql::StmtKind::kCreateIndex: return "Index created.";
    case sql::StmtKind::kDropIndex: return "Index dropped.";
    case sql::StmtKind::kAlterTable: return "Table altered.";
    case sql::StmtKind::kCreateUser: return "User created.";
    case sql::StmtKind::kAlterUser: return "User altered.";
    case sql::StmtKind::kDropUser: return "User dropped.";
    case sql::StmtKind::kGrant: return "Grant succeeded.";
    case sql::StmtKind::kRevoke: return "Revoke succeeded.";
    case sql::StmtKind::kCommit: return "Commit complete.";
    case sql::StmtKind::kRollback: return "Rollback complete.";
    case sql::StmtKind::kAlterSession: return "Session altered.";
    case sql::StmtKind::kPlsqlBlock: return "PL/SQL procedure successfully completed.";
    default: return "";
  }
}

class Shell {
 public:
  Shell(Session& s, bool silent) : s_(s), silent_(silent) {}

  // Runs every unit of the input; returns false when any failed.
  bool Run(std::istream& in, bool interactive) {
    tabsql::ScriptReader reader(in);
    tabsql::Unit u;
    bool ok = true;
    for (;;) {
      if (interactive && !silent_) {
        std::fputs("SQL> ", stdout);
        std::fflush(stdout);
      }
      if (!reader.Next(&u)) break;
      g_text.In(&u.text);
      if (u.kind == tabsql::Unit::kCommand) {
        bool quit = false;
        if (!Command(u.text, &quit)) ok = false;
        if (quit) break;
        continue;
      }
      if (u.text.empty()) continue;
      if (!Statement(u.text, u.line)) ok = false;
    }
    return ok;
  }

 private:
  bool Statement(const std::string& text, int line) {
    ExecResult r;
    Status st = ExecuteText(s_, text, &r);
    if (st.ok() && r.result) st = PrintRows(*r.result);
    if (!st.ok()) {
      std::fprintf(stderr, "ERROR at line %d:\n", line);
      PrintError(st);
      return false;
    }
    if (!silent_ && !r.result) {
      std::string buf;
      std::printf("%s\n\n", Feedback(r.kind, r.rows, &buf));
    }
    return true;
  }

  Status PrintRows(ResultSet& rs) {
    const auto& cols = rs.columns();
    std::string line;
    for (size_t i = 0; i < cols.size(); ++i) {
      if (i) line += '|';
      line += cols[i].name;
    }
    g_text.Put(stdout, line + "\n");
    uint64_t n = 0;
    Value v;
    std::string text;
    for (;;) {
      bool row = false;
      TABDB_RETURN_IF_ERROR(rs.Next(&row));
      if (!row) break;
      line.clear();
      for (size_t i = 0; i < cols.size(); ++i) {
        if (i) line += '|';
        TABDB_RETURN_IF_ERROR(rs.Get(static_cast<int>(i), &v));
        TABDB_RETURN_IF_ERROR(tabsql::FormatValue(s_, cols[i].type, v, &text));
        line += text;
      }
      line += '\n';
      g_text.Put(stdout, line);
      ++n;
    }
    if (!silent_) {
      if (n == 0) {
        std::printf("\nno rows selected\n\n");
      } else {
        std::printf("\n%llu %s selected.\n\n", static_cast<unsigned long long>(n),
                    n == 1 ? "row" : "rows");
      }
    }
    return Status::Ok();
  }

  bool Command(const std::string& text, bool* quit) {
    std::string word;
    size_t i = 0;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
      word += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i++])));
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    std::string rest = text.substr(i);
    if (word == "EXIT" || word == "QUIT") {
      *quit = true;
      return true;
    }
    if (word == "DESC" || word == "DESCRIBE") return Describe(rest);
    if (word == "PROMPT") {
      g_text.Put(stdout, rest + "\n");
      return true;
    }
    return true;  // SET, SHOW, REM, SPOOL: accepted, no effect
  }

  bool Describe(const std::string& name_text) {
    // Parse the name with the SQL parser through a query shape.
    std::unique_ptr<sql::Statement> st;
    Status ps = sql::Parse("select * from " + name_text, &st);
    TableInfo t;
    if (ps.ok()) ps = ResolveTable(s_, st->select->from.name, &t);
    if (!ps.ok()) {
      g_text.Put(stderr, "ERROR:\nORA-04043: object " + name_text + " does not exist\n");
      return false;
    }
    std::printf(" %-41s %-8s %s\n", "Name", "Null?", "Type");
    std::printf(" %s %s %s\n", std::string(41, '-').c_str(), std::string(8, '-').c_str(),
                std::string(28, '-').c_str());
    for (const ColumnInfo& c : t.columns) {
      if (c.hidden) continue;
      char line[512];
      std::snprintf(line, sizeof(line), " %-41s %-8s %s\n", c.name.c_str(),
                    c.nullable ? "" : "NOT NULL", tabsql::DescribeType(c.type).c_str());
      g_text.Put(stdout, line);
    }
    if (!silent_) std::printf("\n");
    return true;
  }

  Session& s_;
  bool silent_;
};

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
  if (i < argc) {
    script = argv[i];
    if (!script.empty() && script[0] == '@') script.erase(0, 1);
  }
  Status cs = g_text.Open(std::getenv("NLS_LANG"));
  if (!cs.ok()) {
    std::fprintf(stderr, "ERROR:\n%s\n", cs.text().c_str());
    return 1;
  }
  if (!silent) std::printf("\ntabsql: SQL shell of the embedded database\n\n");
  std::string path = id.database.empty() ? DefaultDatabase() : id.database;
  std::unique_ptr<Database> db;
  Status st = Database::Open(path, &db);
  std::unique_ptr<Session> session;
  if (st.ok()) st = OpenSession(std::shared_ptr<Database>(std::move(db)), id.user, id.password,
                               &session);
  if (!st.ok()) {
    g_text.Put(stderr, "ERROR:\n" + st.text() + "\n");
    return 1;
  }
  if (!silent) std::printf("Connected.\n\n");
  Shell shell(*session, silent);
  bool ok;
  if (!script.empty()) {
    std::ifstream f(script);
    if (!f) {
      std::fprintf(stderr, "SP2-0310: unable to open file \"%s\"\n", script.c_str());
      return 1;
    }
    ok = shell.Run(f, false);
  } else {
    ok = shell.Run(std::cin, isatty(0) != 0);
  }
  // Like Oracle's own shell, a normal end of the input (or EXIT) commits.
  Status commit = session->Commit();
  if (!commit.ok()) {
    PrintError(commit);
    ok = false;
  }
  session.reset();
  return ok ? 0 : 1;
}
