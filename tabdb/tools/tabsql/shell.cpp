// shell.cpp - running scripts: the loop over units, statements and their
// output, substitution, errors and WHENEVER SQLERROR, nested scripts.
#include "shell.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "catalog/catalog.h"
#include "exec/engine.h"
#include "exec/sqlfunc.h"
#include "feedback.h"
#include "format.h"
#include "server_output.h"
#include "sql/parser.h"
#include "storage/database.h"
#include "util/errors.h"

namespace tabsql {

using namespace tabdb;

namespace {

constexpr int kMaxDepth = 20;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t b = 0;
  for (;;) {
    size_t e = text.find('\n', b);
    out.push_back(text.substr(b, e == std::string::npos ? std::string::npos : e - b));
    if (e == std::string::npos) break;
    b = e + 1;
  }
  return out;
}

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// "file" -> "file.sql"; a name with an extension stays as it is.
std::string WithExtension(const std::string& path, const char* ext) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return path;
  return path + ext;
}

}  // namespace

Shell::~Shell() = default;

bool Shell::Connect(const std::string& user, const std::string& password,
                    const std::string& path) {
  session_.reset();
  std::unique_ptr<Database> db;
  Status st = Database::Open(path, &db);
  if (st.ok())
    st = OpenSession(std::shared_ptr<Database>(std::move(db)), user, password, &session_);
  if (!st.ok()) {
    session_.reset();
    out_.Err("ERROR:\n" + st.text() + "\n");
    return false;
  }
  db_path_ = path;
  vars_.Define("_USER", session_->user().name);
  vars_.Define("_CONNECT_IDENTIFIER", path);
  return true;
}

void Shell::Run(std::istream& in, bool interactive) { RunUnits(in, interactive, ""); }

void Shell::RunFile(const std::string& path, const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) vars_.Define(std::to_string(i + 1), args[i]);
  std::string file = WithExtension(path, ".sql");
  std::ifstream f(file);
  if (!f) {
    ShellError("SP2-0310: unable to open file \"" + file + "\"\n");
    return;
  }
  ++depth_;
  RunUnits(f, false, Folder(file));
  --depth_;
}

void Shell::RunUnits(std::istream& in, bool interactive, const std::string& dir) {
  ScriptReader reader(in);
  reader.set_blank_lines(blank_lines_);
  ScriptReader* outer = reader_;
  reader_ = &reader;
  Unit u;
  while (!exited_) {
    if (interactive && !silent_) {
      std::fputs("SQL> ", stdout);
      std::fflush(stdout);
    }
    if (!reader.Next(&u)) break;
    out_.In(&u.text);
    RunUnit(u, dir);
    reader.set_blank_lines(blank_lines_);
  }
  reader_ = outer;
}

void Shell::RunUnit(const Unit& u, const std::string& dir) {
  if (echo_ && depth_ > 0) {
    std::string raw = u.raw;
    out_.In(&raw);
    out_.Out((silent_ ? "" : "SQL> ") + raw + (u.kind == Unit::kPlsql ? "\n/\n" : "\n"));
  }
  switch (u.kind) {
    case Unit::kCommand:
      Command(u.text, dir);
      return;
    case Unit::kBuffer:
      buffer_ = u.text;
      buffer_line_ = u.line;
      return;
    case Unit::kRun:
      if (buffer_.empty()) {
        ShellError("SP2-0103: Nothing in SQL buffer to run.\n");
        return;
      }
      Statement(Substituted(buffer_, true), buffer_line_);
      return;
    case Unit::kSql:
    case Unit::kPlsql:
      if (u.text.empty()) return;
      buffer_ = u.text;
      buffer_line_ = u.line;
      Statement(Substituted(u.text, true), u.line);
      return;
  }
}

std::string Shell::ReadInputLine(bool* got) {
  std::string line;
  *got = static_cast<bool>(std::getline(std::cin, line));
  if (*got && !line.empty() && line.back() == '\r') line.pop_back();
  out_.In(&line);
  return line;
}

std::string Shell::Substituted(const std::string& text, bool verify) {
  auto ask = [this](const std::string& name) {
    out_.Out("Enter value for " + name + ": ");
    std::fflush(stdout);
    bool got;
    std::string v = ReadInputLine(&got);
    if (!got) out_.Out("\n");
    return v;
  };
  std::vector<std::string> lines = Lines(text);
  std::string result;
  std::string report;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string s;
    if (vars_.Substitute(lines[i], &s, ask) && verify && verify_) {
      char num[32];
      std::snprintf(num, sizeof num, "%4zu: ", i + 1);
      report += "old" + std::string(num) + lines[i] + "\n";
      report += "new" + std::string(num) + s + "\n";
    }
    if (i) result += '\n';
    result += s;
  }
  if (!report.empty()) out_.Out(report);
  return result;
}

bool Shell::Statement(const std::string& text, int line) {
  if (!session_) {
    ShellError("SP2-0640: Not connected\n");
    return false;
  }
  ExecResult r;
  Status st = ExecuteText(*session_, text, &r);
  if (st.ok() && r.result) st = PrintRows(*r.result);
  if (serveroutput_) PrintServerOutput();
  if (st.code() == ora::kCompiledWithErrors) {
    // Done, with errors in what was created: a warning, not a failure.
    std::string fb = FeedbackLine(r.kind, r.rows, text);
    if (feedback_ > 0 && fb.size() > 1)
      out_.Out("Warning: " + fb.substr(0, fb.size() - 1) + " with compilation errors.\n\n");
    return true;
  }
  if (!st.ok()) {
    out_.Err("ERROR at line " + std::to_string(line) + ":\n" + st.text() + "\n");
    SqlError(st);
    return false;
  }
  if (!r.result) {
    if (feedback_ > 0) {
      std::string fb = FeedbackLine(r.kind, r.rows, text);
      if (!fb.empty()) out_.Out(fb + "\n\n");
    }
    if (autocommit_ && (r.kind == sql::StmtKind::kInsert || r.kind == sql::StmtKind::kUpdate ||
                        r.kind == sql::StmtKind::kDelete || r.kind == sql::StmtKind::kPlsqlBlock)) {
      Status c = session_->Commit();
      if (!c.ok()) {
        out_.Err(c.text() + "\n");
        SqlError(c);
        return false;
      }
      if (feedback_ > 0) out_.Out("Commit complete.\n\n");
    }
  }
  return true;
}

Status Shell::PrintRows(ResultSet& rs) {
  const auto& cols = rs.columns();
  std::string line;
  if (heading_ && pagesize_ != 0) {
    for (size_t i = 0; i < cols.size(); ++i) {
      if (i) line += '|';
      line += cols[i].name;
    }
    out_.Out(line + "\n");
  }
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
      TABDB_RETURN_IF_ERROR(FormatValue(*session_, cols[i].type, v, &text));
      line += text;
    }
    line += '\n';
    out_.Out(line);
    ++n;
  }
  if (feedback_ > 0) {
    if (n == 0) {
      out_.Out("\nno rows selected\n\n");
    } else if (n >= static_cast<uint64_t>(feedback_)) {
      out_.Out("\n" + std::to_string(n) + (n == 1 ? " row" : " rows") + " selected.\n\n");
    }
  }
  return Status::Ok();
}

void Shell::PrintServerOutput() {
  std::vector<std::string> lines;
  Status st = TakeServerOutput(*session_, &lines);
  if (!st.ok()) {
    out_.Err(st.text() + "\n");
    return;
  }
  for (const std::string& l : lines) out_.Out(l + "\n");
  if (!lines.empty() && feedback_ > 0) out_.Out("\n");
}

void Shell::SqlError(const Status& st) {
  failed_ = true;
  if (!exit_on_error_) return;
  exited_ = true;
  has_exit_code_ = true;
  exit_code_ = exit_on_error_sqlcode_ ? st.code() : exit_on_error_code_;
  end_action_ = exit_on_error_action_;
}

void Shell::ShellError(const std::string& text) {
  failed_ = true;
  out_.Err(text);
}

void Shell::Script(const std::string& target, bool relative, const std::string& dir) {
  // target: "file arg1 arg2 ..." (arguments may be quoted).
  std::vector<std::string> words = SplitArgs(target);
  if (words.empty()) {
    ShellError("SP2-1506: START, @ or @@ command has no arguments\n");
    return;
  }
  if (depth_ >= kMaxDepth) {
    ShellError("SP2-0309: scripts may only be nested to a depth of " + std::to_string(kMaxDepth) +
               ".\n");
    return;
  }
  std::string path = words[0];
  if (relative && !path.empty() && path[0] != '/') path = dir + path;
  RunFile(path, std::vector<std::string>(words.begin() + 1, words.end()));
}

bool Shell::Describe(const std::string& name_text) {
  if (!session_) {
    ShellError("SP2-0640: Not connected\n");
    return false;
  }
  // Parse the name with the SQL parser through a query shape.
  std::unique_ptr<sql::Statement> st;
  Status ps = sql::Parse("select * from " + name_text, &st);
  TableInfo t;
  ViewInfo view;
  bool is_view = false;
  const sql::NameList* name = ps.ok() ? &st->select->from.name : nullptr;
  bool dual = name && name->size() == 1 && (*name)[0].text == "DUAL";
  if (ps.ok() && !dual) ps = ResolveQuerySource(*session_, *name, &t, &view, &is_view);
  if (!ps.ok()) {
    out_.Err("ERROR:\nORA-04043: object " + name_text + " does not exist\n");
    SqlError(Status::Error(4043, "ORA-04043"));
    return false;
  }
  if (is_view || dual) {
    // A view's columns are those of its query as it compiles now.
    ExecResult r;
    Status es = ExecuteText(*session_, "select * from " + name_text + " where 1 = 0", &r);
    if (!es.ok() || !r.result) {
      out_.Err("ERROR:\nORA-24372: invalid object for describe\n");
      SqlError(Status::Error(24372, "ORA-24372"));
      return false;
    }
    t.columns.clear();
    const std::vector<ResultColumn>& rcs = r.result->columns();
    for (size_t i = 0; i < rcs.size(); ++i) {
      ColumnInfo c;
      c.name = rcs[i].name;
      c.type = rcs[i].type;
      // NOT NULL as recorded when the view was made.
      if (view.nullable.size() == rcs.size()) c.nullable = view.nullable[i];
      t.columns.push_back(std::move(c));
    }
  }
  char line[512];
  std::snprintf(line, sizeof(line), " %-41s %-8s %s\n", "Name", "Null?", "Type");
  out_.Out(line);
  out_.Out(" " + std::string(41, '-') + " " + std::string(8, '-') + " " + std::string(28, '-') +
           "\n");
  for (const ColumnInfo& c : t.columns) {
    if (c.hidden) continue;
    std::snprintf(line, sizeof(line), " %-41s %-8s %s\n", c.name.c_str(),
                  c.nullable ? "" : "NOT NULL", DescribeType(c.type).c_str());
    out_.Out(line);
  }
  if (!silent_) out_.Out("\n");
  return true;
}

int Shell::Finish() {
  if (session_) {
    Status st = end_action_ == EndAction::kCommit ? session_->Commit() : session_->Rollback();
    if (!st.ok()) {
      out_.Err(st.text() + "\n");
      failed_ = true;
    }
    session_.reset();
  }
  out_.SpoolOff();
  std::fflush(stdout);
  if (has_exit_code_) return exit_code_ & 255;
  return failed_ ? 1 : 0;
}

}  // namespace tabsql
