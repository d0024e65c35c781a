// commands.cpp - the shell's own commands: SET, SHOW, DEFINE, UNDEFINE,
// ACCEPT, PROMPT, SPOOL, CONNECT, EXECUTE, WHENEVER, EXIT, DESCRIBE and @.
// Names are case-insensitive and may be abbreviated as Oracle's shell
// allows ("FEED" for FEEDBACK, "DEF" for DEFINE).
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "server_output.h"
#include "shell.h"

namespace tabsql {

using namespace tabdb;

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The start of a line as SP2 messages quote it.
std::string Beginning(const std::string& s) {
  return s.size() > 10 ? s.substr(0, 10) + "..." : s;
}

bool ParseLong(const std::string& s, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || v < 0) return false;
  *out = v;
  return true;
}

struct Name {
  const char* name;
  size_t min;  // shortest abbreviation
};

// Options of SET; those the shell does not act on are accepted and ignored.
const Name kSetOptions[] = {
    {"APPINFO", 4},       {"ARRAYSIZE", 5},     {"AUTOCOMMIT", 4},    {"AUTOPRINT", 5},
    {"AUTORECOVERY", 7},  {"AUTOTRACE", 5},     {"BLOCKTERMINATOR", 3}, {"CMDSEP", 4},
    {"COLINVISIBLE", 7},  {"COLSEP", 6},        {"CONCAT", 3},        {"COPYCOMMIT", 5},
    {"COPYTYPECHECK", 7}, {"DEFINE", 3},        {"DESCRIBE", 8},      {"ECHO", 4},
    {"EDITFILE", 5},      {"EMBEDDED", 3},      {"ERRORLOGGING", 6},  {"ESCAPE", 3},
    {"ESCCHAR", 7},       {"EXITCOMMIT", 5},    {"FEEDBACK", 4},      {"FLAGGER", 7},
    {"FLUSH", 3},         {"HEADING", 3},       {"HEADSEP", 5},       {"INSTANCE", 8},
    {"LINESIZE", 3},      {"LOBOFFSET", 5},     {"LOGSOURCE", 9},     {"LONG", 4},
    {"LONGCHUNKSIZE", 5}, {"MARKUP", 4},        {"NEWPAGE", 4},       {"NULL", 4},
    {"NUMFORMAT", 4},     {"NUMWIDTH", 3},      {"PAGESIZE", 5},      {"PAUSE", 3},
    {"RECSEP", 6},        {"RECSEPCHAR", 10},   {"SCAN", 3},   {"SECUREDCOL", 10},   {"SERVEROUTPUT", 9},
    {"SHIFTINOUT", 5},    {"SHOWMODE", 4},      {"SQLBLANKLINES", 5}, {"SQLCASE", 4},
    {"SQLCONTINUE", 5},   {"SQLNUMBER", 4},     {"SQLPLUSCOMPATIBILITY", 7}, {"SQLPREFIX", 6},
    {"SQLPROMPT", 4},     {"SQLTERMINATOR", 4}, {"STATEMENTCACHE", 4}, {"SUFFIX", 3},
    {"TAB", 3},           {"TERMOUT", 4},       {"TIME", 2},          {"TIMING", 4},
    {"TRIMOUT", 4},       {"TRIMSPOOL", 5},     {"UNDERLINE", 3},     {"VERIFY", 3},
    {"WRAP", 3},          {"XMLOPTIMIZATIONCHECK", 4}, {"XQUERY", 6},
};

// The full SET option `word` abbreviates, or "".
std::string SetOption(const std::string& word) {
  std::string u = Upper(word);
  for (const Name& n : kSetOptions)
    if (Abbrev(u, n.name, n.min)) return n.name;
  return "";
}

// Commands the shell accepts without acting on them (report layout).
const Name kIgnored[] = {{"ATTRIBUTE", 4}, {"BREAK", 3}, {"BTITLE", 3}, {"CLEAR", 2},
                         {"COLUMN", 3},    {"COMPUTE", 4}, {"PAUSE", 3}, {"REPFOOTER", 4},
                         {"REPHEADER", 4}, {"TIMING", 4}, {"TTITLE", 3}, {"VARIABLE", 3},
                         {"PRINT", 3}};

}  // namespace

void Shell::Command(const std::string& raw_text, const std::string& dir) {
  std::string text = Substituted(raw_text, false);
  if (text.empty()) return;
  if (text[0] == '@') {
    bool nested = text.size() > 1 && text[1] == '@';
    Script(text.substr(nested ? 2 : 1), nested, dir);
    return;
  }
  size_t i = 0;
  while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  std::string word = Upper(text.substr(0, i));
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  std::string rest = text.substr(i);
  std::vector<std::string> args = SplitArgs(rest);

  if (word == "EXIT" || word == "QUIT") return Exit(args);
  if (Abbrev(word, "DESCRIBE", 4)) {
    Describe(rest);
    return;
  }
  if (Abbrev(word, "PROMPT", 3)) {
    out_.Out(rest + "\n");
    return;
  }
  if (word == "SET") return Set(args);
  if (Abbrev(word, "SHOW", 3)) return Show(args);
  if (Abbrev(word, "DEFINE", 3)) return Define(rest);
  if (Abbrev(word, "UNDEFINE", 5)) {
    for (const std::string& a : args) vars_.Undefine(a);
    return;
  }
  if (Abbrev(word, "ACCEPT", 3)) return Accept(args);
  if (Abbrev(word, "SPOOL", 3)) return Spool(args);
  if (Abbrev(word, "CONNECT", 4)) return ConnectCommand(rest);
  if (Abbrev(word, "DISCONNECT", 4)) {
    if (session_) {
      Status st = session_->Commit();
      if (!st.ok()) out_.Err(st.text() + "\n");
      session_.reset();
    }
    return;
  }
  if (Abbrev(word, "EXECUTE", 4)) {
    std::string call = rest;
    while (!call.empty() && (call.back() == ';' || std::isspace(static_cast<unsigned char>(call.back()))))
      call.pop_back();
    Statement("BEGIN " + call + "; END;", 1);
    return;
  }
  if (Abbrev(word, "START", 3)) return Script(rest, false, dir);
  if (word == "WHENEVER") return Whenever(args);
  for (const Name& n : kIgnored)
    if (Abbrev(word, n.name, n.min)) return;
  ShellError("SP2-0734: unknown command beginning \"" + Beginning(text) +
             "\" - rest of line ignored.\n");
}

void Shell::Set(const std::vector<std::string>& args) {
  if (args.empty()) {
    ShellError("SP2-0265: set option requires an argument\n");  // bare SET
    return;
  }
  for (size_t i = 0; i < args.size();) {
    std::string option = SetOption(args[i]);
    if (option.empty()) {
      ShellError("SP2-0158: unknown SET option beginning \"" + Beginning(args[i]) + "\"\n");
      return;
    }
    ++i;
    std::string value = i < args.size() ? args[i] : "";
    std::string v = Upper(value);
    if (i < args.size()) ++i;
    auto on_off = [&](bool* flag) {
      if (v == "ON") {
        *flag = true;
      } else if (v == "OFF") {
        *flag = false;
      } else {
        ShellError("SP2-0265: " + Lower(option) + " must be set ON or OFF\n");
        return false;
      }
      return true;
    };
    long n = 0;
    if (option == "FEEDBACK") {
      if (v == "ON") {
        feedback_ = 1;
      } else if (v == "OFF") {
        feedback_ = 0;
      } else if (ParseLong(v, &n) && n <= 50000) {
        feedback_ = static_cast<int>(n);
      } else {
        ShellError("SP2-0268: feedback option not a valid number\n");
        return;
      }
    } else if (option == "HEADING") {
      if (!on_off(&heading_)) return;
    } else if (option == "PAGESIZE" || option == "LINESIZE") {
      if (!ParseLong(v, &n) || (option == "LINESIZE" && n == 0)) {
        ShellError("SP2-0268: " + Lower(option) + " option not a valid number\n");
        return;
      }
      (option == "PAGESIZE" ? pagesize_ : linesize_) = n;
    } else if (option == "ECHO") {
      if (!on_off(&echo_)) return;
    } else if (option == "VERIFY") {
      if (!on_off(&verify_)) return;
    } else if (option == "SQLBLANKLINES") {
      if (!on_off(&blank_lines_)) return;
    } else if (option == "TERMOUT") {
      bool on = true;
      if (!on_off(&on)) return;
      out_.set_termout(on);
    } else if (option == "AUTOCOMMIT") {
      autocommit_ = v == "ON" || v == "IMMEDIATE" || v == "IMM" || (ParseLong(v, &n) && n > 0);
    } else if (option == "SCAN") {
      // the older name of SET DEFINE ON|OFF
      bool on = true;
      if (!on_off(&on)) return;
      vars_.set_enabled(on);
    } else if (option == "DEFINE") {
      if (v == "ON") {
        vars_.set_enabled(true);
      } else if (v == "OFF") {
        vars_.set_enabled(false);
      } else if (value.size() == 1 && !std::isalnum(static_cast<unsigned char>(value[0])) &&
                 !std::isspace(static_cast<unsigned char>(value[0]))) {
        vars_.set_prefix(value[0]);
        vars_.set_enabled(true);
      } else {
        ShellError("SP2-0272: define character cannot be alphanumeric or whitespace\n");
        return;
      }
    } else if (option == "SERVEROUTPUT") {
      bool on = false;
      if (!on_off(&on)) return;
      long size = 0;
      // [SIZE n | SIZE UNLIMITED] [FORMAT WRAPPED | WORD_WRAPPED | TRUNCATED]
      while (i < args.size()) {
        std::string w = Upper(args[i]);
        if (Abbrev(w, "SIZE", 3) && i + 1 < args.size()) {
          if (!ParseLong(args[i + 1], &size)) size = 0;
          i += 2;
        } else if (Abbrev(w, "FORMAT", 3) && i + 1 < args.size()) {
          i += 2;
        } else {
          break;
        }
      }
      serveroutput_ = on;
      if (session_) {
        Status st = EnableServerOutput(*session_, on, size);
        if (!st.ok()) out_.Err(st.text() + "\n");
      }
    } else if (option == "MARKUP" || option == "ERRORLOGGING" || option == "AUTOTRACE") {
      return;  // the rest of the line belongs to the option
    }
  }
}

void Shell::Show(const std::vector<std::string>& args) {
  std::string w = args.empty() ? "" : Upper(args[0]);
  if (w == "USER") {
    if (session_) out_.Out("USER is \"" + session_->user().name + "\"\n");
    else out_.Out("USER is \"\"\n");
    return;
  }
  if (Abbrev(w, "ERRORS", 3)) {
    out_.Out("No errors.\n");
    return;
  }
  if (w == "FEEDBACK" || w == "FEED") {
    out_.Out(feedback_ ? "FEEDBACK ON for " + std::to_string(feedback_) + " or more rows\n"
                       : "feedback OFF\n");
    return;
  }
  if (!w.empty() && !SetOption(w).empty()) return;
  ShellError("SP2-0735: unknown SHOW option beginning \"" + Beginning(w) + "\"\n");
}

void Shell::Define(const std::string& rest) {
  auto show = [this](const std::string& name, const std::string& value) {
    std::string padded = name;
    if (padded.size() < 15) padded.resize(15, ' ');
    out_.Out("DEFINE " + padded + " = \"" + value + "\" (CHAR)\n");
  };
  size_t eq = rest.find('=');
  if (eq == std::string::npos) {
    std::vector<std::string> args = SplitArgs(rest);
    if (args.empty()) {
      for (const auto& kv : vars_.all()) show(kv.first, kv.second);
      return;
    }
    std::string value;
    if (vars_.Get(args[0], &value)) {
      show(Upper(args[0]), value);
    } else {
      ShellError("SP2-0135: symbol " + Lower(args[0]) + " is UNDEFINED\n");
    }
    return;
  }
  std::vector<std::string> name = SplitArgs(rest.substr(0, eq));
  std::string value = rest.substr(eq + 1);
  size_t b = value.find_first_not_of(" \t");
  value = b == std::string::npos ? "" : value.substr(b);
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
  if (value.size() >= 2 && (value[0] == '\'' || value[0] == '"') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  if (name.size() != 1) {
    ShellError("SP2-0136: DEFINE requires an equal sign (=)\n");
    return;
  }
  vars_.Define(name[0], value);
}

void Shell::Accept(const std::vector<std::string>& args) {
  if (args.empty()) {
    ShellError("SP2-0003: Ill-formed ACCEPT command starting as \n");
    return;
  }
  std::string name = args[0];
  std::string prompt, def;
  bool has_def = false, has_prompt = false;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string w = Upper(args[i]);
    if (Abbrev(w, "DEFAULT", 3) && i + 1 < args.size()) {
      def = args[++i];
      has_def = true;
    } else if (Abbrev(w, "PROMPT", 3) && i + 1 < args.size()) {
      prompt = args[++i];
      has_prompt = true;
    } else if (Abbrev(w, "FORMAT", 3) && i + 1 < args.size()) {
      ++i;
    }  // NUMBER, CHAR, DATE, NOPROMPT, HIDE: accepted
  }
  out_.Out(has_prompt ? prompt : "Enter value for " + name + ": ");
  std::fflush(stdout);
  bool got;
  std::string value = ReadInputLine(&got);
  if (!got) out_.Out("\n");
  if (value.empty() && has_def) value = def;
  vars_.Define(name, value);
}

void Shell::Spool(const std::vector<std::string>& args) {
  if (args.empty()) {
    out_.Out(out_.spooling() ? "currently spooling\n" : "not spooling currently\n");
    return;
  }
  std::string w = Upper(args[0]);
  if (w == "OFF" || w == "OUT") {
    if (!out_.SpoolOff()) out_.Out("not spooling currently\n");
    return;
  }
  bool append = args.size() > 1 && Abbrev(Upper(args[1]), "APPEND", 3);
  std::string path = args[0];
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) path += ".lst";
  if (!out_.Spool(path, append)) ShellError("SP2-0606: Cannot create SPOOL file \"" + path + "\"\n");
}

void Shell::ConnectCommand(const std::string& rest) {
  std::vector<std::string> args = SplitArgs(rest);
  if (args.empty()) {
    ShellError("SP2-0306: Invalid option.\nUsage: CONN[ECT] username/password[@FILE]\n");
    return;
  }
  // "user/password@FILE [AS SYSDBA]": the role clause is not carried.
  std::string id = args[0];
  size_t slash = id.find('/');
  size_t at = id.find('@', slash == std::string::npos ? 0 : slash + 1);
  std::string user = id.substr(0, slash != std::string::npos ? slash : at);
  std::string password;
  if (slash != std::string::npos) {
    password = id.substr(slash + 1, at == std::string::npos ? std::string::npos : at - slash - 1);
  } else {
    out_.Out("Enter password: ");
    std::fflush(stdout);
    bool got;
    password = ReadInputLine(&got);
  }
  std::string path = at == std::string::npos ? db_path_ : id.substr(at + 1);
  if (session_) {
    Status st = session_->Commit();
    if (!st.ok()) out_.Err(st.text() + "\n");
    session_.reset();
  }
  if (!Connect(user, password, path)) {
    SqlError(Status::Error(1017, ""));
    return;
  }
  if (serveroutput_) {
    Status st = EnableServerOutput(*session_, true, 0);
    if (!st.ok()) out_.Err(st.text() + "\n");
  }
  if (!silent_) out_.Out("Connected.\n");
}

bool Shell::ExitArgs(const std::vector<std::string>& args, size_t from, int* code, bool* has_code,
                     EndAction* action) {
  *has_code = false;
  for (size_t i = from; i < args.size(); ++i) {
    std::string w = Upper(args[i]);
    long n = 0;
    if (w == "COMMIT") {
      *action = EndAction::kCommit;
    } else if (w == "ROLLBACK") {
      *action = EndAction::kRollback;
    } else if (w == "SUCCESS") {
      *code = 0, *has_code = true;
    } else if (w == "FAILURE") {
      *code = 1, *has_code = true;
    } else if (w == "WARNING") {
      *code = 2, *has_code = true;
    } else if (w == "SQL.SQLCODE") {
      *code = -1, *has_code = true;
    } else if (ParseLong(w, &n)) {
      *code = static_cast<int>(n & 255), *has_code = true;
    } else {
      ShellError("SP2-0591: Unable to parse \"" + Beginning(args[i]) + "\" as an exit code\n");
      return false;
    }
  }
  return true;
}

void Shell::Exit(const std::vector<std::string>& args) {
  int code = 0;
  bool has_code = false;
  EndAction action = EndAction::kCommit;
  if (!ExitArgs(args, 0, &code, &has_code, &action)) return;
  exited_ = true;
  end_action_ = action;
  if (has_code) {
    has_exit_code_ = true;
    exit_code_ = code;  // SQL.SQLCODE after a success is 0
    if (code < 0) exit_code_ = 0;
  }
}

void Shell::Whenever(const std::vector<std::string>& args) {
  std::string kind = args.empty() ? "" : Upper(args[0]);
  std::string what = args.size() > 1 ? Upper(args[1]) : "";
  if ((kind != "SQLERROR" && kind != "OSERROR") || (what != "EXIT" && what != "CONTINUE")) {
    ShellError("SP2-0734: unknown command beginning \"WHENEVER " + Beginning(kind) +
               "\" - rest of line ignored.\n");
    return;
  }
  if (kind == "OSERROR") return;  // the shell does no operating system calls to fail
  if (what == "CONTINUE") {
    exit_on_error_ = false;
    return;
  }
  int code = 1;
  bool has_code = false;
  EndAction action = EndAction::kCommit;
  if (!ExitArgs(args, 2, &code, &has_code, &action)) return;
  exit_on_error_ = true;
  exit_on_error_sqlcode_ = has_code && code < 0;
  exit_on_error_code_ = has_code ? code : 1;
  exit_on_error_action_ = action;
}

}  // namespace tabsql
