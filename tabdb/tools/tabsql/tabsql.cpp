// tabsql.cpp - the SQL shell of the embedded database.
//
//   tabsql -init system/PASSWORD@FILE    creates a new database file
//   tabsql [-S] USERID [@SCRIPT]          runs statements from SCRIPT or stdin
//
// Errors print the Oracle text on standard error and the shell goes on; the
// exit status is 1 when any statement (or the logon) failed, else 0. The end
// of the input (or EXIT) commits, as Oracle's own shell does.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "catalog/catalog.h"
#include "exec/engine.h"
#include "exec/sqlfunc.h"
#include "format.h"
#include "script.h"
#include "session/session.h"
#include "sql/parser.h"
#include "storage/database.h"
#include "util/errors.h"

namespace {

using namespace tabdb;

struct UserId {
  std::string user, password, database;
};

bool SplitUserId(const std::string& arg, UserId* out) {
  size_t slash = arg.find('/');
  if (slash == std::string::npos) return false;
  out->user = arg.substr(0, slash);
  size_t at = arg.find('@', slash + 1);
  if (at == std::string::npos) {
    out->password = arg.substr(slash + 1);
    out->database.clear();
  } else {
    out->password = arg.substr(slash + 1, at - slash - 1);
    out->database = arg.substr(at + 1);
  }
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
               "else tabdb.db in the current folder.\n");
}

void PrintError(const Status& st) { std::fprintf(stderr, "%s\n", st.text().c_str()); }

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
    std::printf("%s\n", line.c_str());
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
      std::fwrite(line.data(), 1, line.size(), stdout);
      std::fputc('\n', stdout);
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
      std::printf("%s\n", rest.c_str());
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
      std::fprintf(stderr, "ERROR:\nORA-04043: object %s does not exist\n", name_text.c_str());
      return false;
    }
    std::printf(" %-41s %-8s %s\n", "Name", "Null?", "Type");
    std::printf(" %s %s %s\n", std::string(41, '-').c_str(), std::string(8, '-').c_str(),
                std::string(28, '-').c_str());
    for (const ColumnInfo& c : t.columns) {
      if (c.hidden) continue;
      std::printf(" %-41s %-8s %s\n", c.name.c_str(), c.nullable ? "" : "NOT NULL",
                  tabsql::DescribeType(c.type).c_str());
    }
    if (!silent_) std::printf("\n");
    return true;
  }

  Session& s_;
  bool silent_;
};

int Init(const std::string& arg) {
  UserId id;
  if (!SplitUserId(arg, &id) || LogonName(id.user) != "SYSTEM" || id.password.empty()) {
    std::fprintf(stderr, "tabsql: -init needs system/PASSWORD@FILE\n");
    return 1;
  }
  std::string path = id.database.empty() ? DefaultDatabase() : id.database;
  Status st = Database::Create(path, id.password);
  if (!st.ok()) {
    PrintError(st);
    return 1;
  }
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
    return Init(argv[i + 1]);
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
  ++i;
  std::string script;
  if (i < argc) {
    script = argv[i];
    if (!script.empty() && script[0] == '@') script.erase(0, 1);
  }
  if (!silent) std::printf("\ntabsql: SQL shell of the embedded database\n\n");
  std::string path = id.database.empty() ? DefaultDatabase() : id.database;
  std::unique_ptr<Database> db;
  Status st = Database::Open(path, &db);
  std::unique_ptr<Session> session;
  if (st.ok()) st = OpenSession(std::shared_ptr<Database>(std::move(db)), id.user, id.password,
                               &session);
  if (!st.ok()) {
    std::fprintf(stderr, "ERROR:\n%s\n", st.text().c_str());
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
  Status cs = session->Commit();
  if (!cs.ok()) {
    PrintError(cs);
    ok = false;
  }
  session.reset();
  return ok ? 0 : 1;
}
