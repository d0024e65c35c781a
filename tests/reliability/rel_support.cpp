// rel_support.cpp - the reliability tests' helpers: fault library
// environment, background and measured processes, dump reader, OCI session.
#include "rel_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "dump_cursor.h"
#include "util.h"

namespace reltest {

using testsupport::ChildEnvironment;
using testsupport::Pointers;
using testsupport::ProcResult;

namespace {

int DecodeStatus(int st) { return WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st); }

}  // namespace

std::vector<std::string> FaultEnv(const std::vector<std::string>& settings) {
  std::vector<std::string> env = {std::string("LD_PRELOAD=") + FAULTFS_LIB};
  const char* asan = getenv("ASAN_OPTIONS");
  env.push_back(std::string("ASAN_OPTIONS=") + (asan && *asan ? std::string(asan) + ":" : "") +
                "verify_asan_link_order=0");
  env.insert(env.end(), settings.begin(), settings.end());
  return env;
}

std::vector<IoCall> ReadIoLog(const std::string& path) {
  std::vector<IoCall> calls;
  std::ifstream f(path);
  IoCall c;
  int err = 0;
  while (f >> c.op >> c.offset >> c.count >> c.result >> err) calls.push_back(c);
  return calls;
}

// ---- processes -------------------------------------------------------------------

Background::Background(const std::vector<std::string>& argv_in,
                       const std::vector<std::string>& env_changes, const std::string& out_path) {
  int in[2];
  if (pipe(in) != 0) return;
  std::vector<std::string> argv = argv_in;
  std::vector<std::string> env = ChildEnvironment(env_changes);
  std::vector<char*> argp = Pointers(argv);
  std::vector<char*> envp = Pointers(env);
  pid_ = fork();
  if (pid_ == 0) {
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in[0], 0);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
      close(out);
    }
    close(in[0]);
    close(in[1]);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  in_ = in[1];
  signal(SIGPIPE, SIG_IGN);
}

Background::~Background() {
  CloseInput();
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    Wait();
  }
}

bool Background::Send(const std::string& text) {
  size_t done = 0;
  while (in_ >= 0 && done < text.size()) {
    ssize_t n = write(in_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return in_ >= 0;
}

void Background::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

int Background::Wait() {
  if (pid_ <= 0) return -1;
  if (!reaped_) {
    int st = 0;
    while (waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
    }
    status_ = DecodeStatus(st);
    reaped_ = true;
  }
  return status_;
}

Measured RunMeasured(const std::vector<std::string>& argv_in, const std::vector<std::string>& env_changes,
                     const std::string& dir) {
  Measured m;
  std::string out_path = dir + "/run.out", err_path = dir + "/run.err";
  std::vector<std::string> argv = argv_in;
  std::vector<std::string> env = ChildEnvironment(env_changes);
  std::vector<char*> argp = Pointers(argv);
  std::vector<char*> envp = Pointers(env);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  int st = 0;
  struct rusage ru;
  std::memset(&ru, 0, sizeof ru);
  while (wait4(pid, &st, 0, &ru) < 0 && errno == EINTR) {
  }
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.result.status = DecodeStatus(st);
  m.result.out = testsupport::ReadFile(out_path);
  m.result.err = testsupport::ReadFile(err_path);
  m.max_rss_kb = ru.ru_maxrss;
  return m;
}

// ---- dump files ------------------------------------------------------------------

namespace {


bool Fail(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

}  // namespace

bool ParseDump(const std::string& f, DumpFile* d, std::string* why) {
  *d = DumpFile();
  if (f.size() < 208 || std::memcmp(f.data(), "Tabdump\0", 8) != 0) return Fail(why, "no header");
  auto u8 = reinterpret_cast<const uint8_t*>(f.data());
  d->owner = std::string(f.c_str() + 32);
  d->nls = std::string(f.c_str() + 64);
  d->tab_cnt = get_be32(u8 + 200);
  if (1024 + 56ull * d->tab_cnt > f.size()) return Fail(why, "directory past the end");
  for (uint32_t i = 0; i < d->tab_cnt; i++) {
    const uint8_t* e = u8 + 1024 + 56 * i;
    DumpTable t;
    t.flag = get_be32(e);
    t.ncol = get_be32(e + 4);
    t.nlob = get_be32(e + 8);
    t.nrows = get_be32(e + 12);
    t.offset = get_be64(e + 16);
    t.name = std::string(reinterpret_cast<const char*>(e + 24), strnlen(reinterpret_cast<const char*>(e + 24), 32));
    if (t.offset == 0 || t.ncol == 0) return Fail(why, "directory entry " + std::to_string(i) + " empty");
    testsupport::DumpCursor c(f, t.offset);
    t.ddl = c.Bytes(c.Word());
    for (uint32_t k = 0; k < t.ncol; k++) {
      std::string rec = c.Bytes(40);
      if (!c.ok()) break;
      t.columns.push_back(std::string(rec.c_str() + 8));
    }
    t.rows_begin = c.pos();
    while (c.ok() && c.Peek() != MARK_ROWS_END) {
      DumpRow row;
      for (uint32_t k = 0; k < t.ncol && c.ok(); k++) {
        uint16_t w = c.Word();
        if (w == MARK_NULL)
          row.values.push_back(std::nullopt);
        else if (w == MARK_LONG || w == MARK_LOB)
          row.values.push_back(std::string(1, static_cast<char>(w & 0xFF)));
        else
          row.values.push_back(c.Bytes(w));
      }
      if (c.Word() != MARK_END) return Fail(why, "row end missing in " + t.name);
      while (c.ok() && c.Peek() == MARK_STREAM) {
        c.Word();
        std::string stream;
        for (uint16_t p = c.Word(); c.ok() && p != MARK_END; p = c.Word()) {
          if (p > DUMP_PIECE_SIZE) return Fail(why, "piece too long in " + t.name);
          stream += c.Bytes(p);
        }
        row.streams.push_back(stream);
      }
      t.rows.push_back(std::move(row));
    }
    c.Word();
    for (uint16_t l = c.Word(); c.ok() && l != 0; l = c.Word()) t.statements.push_back(c.Bytes(l));
    if (!c.ok()) return Fail(why, "section of " + t.name + " runs past the end");
    t.end = c.pos();
    if (t.rows.size() != t.nrows) return Fail(why, "row count of " + t.name + " disagrees");
    d->tables.push_back(std::move(t));
  }
  return true;
}

// ---- OCI session -------------------------------------------------------------------

Session::~Session() { Close(); }

std::string Session::Error() {
  sb4 code = 0;
  char buf[2048] = {0};
  if (!h_.err || OCIErrorGet(h_.err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                             OCI_HTYPE_ERROR) != OCI_SUCCESS)
    return "unknown error";
  return buf[0] ? std::string(buf) : "unknown error";
}

std::string Session::Open(const std::string& db, const std::string& user, const std::string& password) {
  Close();
  // The tests' texts are UTF-8; without NLS_LANG the client would take
  // them for 7-bit ASCII.
  setenv("NLS_LANG", kNls + std::strlen("NLS_LANG="), 0);
  if (OCIEnvCreate(&h_.env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr) != OCI_SUCCESS)
    return "no environment";
  sword rc = h_.Begin(db, user, password);
  if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) return Error();
  OCIHandleAlloc(h_.env, reinterpret_cast<void**>(&stmt_), OCI_HTYPE_STMT, 0, nullptr);
  return "";
}

void Session::Close() {
  if (stmt_) OCIHandleFree(stmt_, OCI_HTYPE_STMT);
  stmt_ = nullptr;
  h_.End();
}

std::string Session::Exec(const std::string& sql) {
  if (OCIStmtPrepare(stmt_, h_.err, reinterpret_cast<const OraText*>(sql.data()),
                     static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT) != OCI_SUCCESS)
    return Error();
  sword rc = OCIStmtExecute(h_.svc, stmt_, h_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
  return rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO ? "" : Error();
}

std::string Session::InsertRows(const std::string& sql, const std::vector<std::vector<std::string>>& rows) {
  if (rows.empty()) return "";
  size_t ncol = rows[0].size();
  if (OCIStmtPrepare(stmt_, h_.err, reinterpret_cast<const OraText*>(sql.data()),
                     static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT) != OCI_SUCCESS)
    return Error();
  std::vector<size_t> width(ncol, 1);
  for (const auto& r : rows)
    for (size_t c = 0; c < ncol; c++) width[c] = std::max(width[c], r[c].size());
  std::vector<std::string> values(ncol);
  std::vector<std::vector<ub2>> lens(ncol, std::vector<ub2>(rows.size()));
  for (size_t c = 0; c < ncol; c++) {
    values[c].assign(width[c] * rows.size(), '\0');
    for (size_t r = 0; r < rows.size(); r++) {
      std::memcpy(&values[c][r * width[c]], rows[r][c].data(), rows[r][c].size());
      lens[c][r] = static_cast<ub2>(rows[r][c].size());
    }
    OCIBind* b = nullptr;
    if (OCIBindByPos(stmt_, &b, h_.err, static_cast<ub4>(c + 1), values[c].data(),
                     static_cast<sb4>(width[c]), SQLT_CHR, nullptr, lens[c].data(), nullptr, 0,
                     nullptr, OCI_DEFAULT) != OCI_SUCCESS)
      return Error();
    if (OCIBindArrayOfStruct(b, h_.err, static_cast<ub4>(width[c]), 0, sizeof(ub2), 0) != OCI_SUCCESS)
      return Error();
  }
  sword rc = OCIStmtExecute(h_.svc, stmt_, h_.err, static_cast<ub4>(rows.size()), 0, nullptr, nullptr,
                            OCI_DEFAULT);
  return rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO ? "" : Error();
}

std::string Session::Commit() {
  return OCITransCommit(h_.svc, h_.err, OCI_DEFAULT) == OCI_SUCCESS ? "" : Error();
}

std::string Session::Rollback() {
  return OCITransRollback(h_.svc, h_.err, OCI_DEFAULT) == OCI_SUCCESS ? "" : Error();
}

std::vector<std::string> Session::Column(const std::string& sql, std::string* error) {
  std::vector<std::string> out;
  std::string e;
  char buf[4001];
  sb2 ind = 0;
  ub2 len = 0;
  OCIDefine* d = nullptr;
  if (OCIStmtPrepare(stmt_, h_.err, reinterpret_cast<const OraText*>(sql.data()),
                     static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT) != OCI_SUCCESS ||
      OCIDefineByPos(stmt_, &d, h_.err, 1, buf, sizeof buf, SQLT_CHR, &ind, &len, nullptr,
                     OCI_DEFAULT) != OCI_SUCCESS ||
      OCIStmtExecute(h_.svc, stmt_, h_.err, 0, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS) {
    e = Error();
  } else {
    for (;;) {
      sword rc = OCIStmtFetch(stmt_, h_.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
      if (rc == OCI_NO_DATA) break;
      if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) {
        e = Error();
        break;
      }
      out.push_back(ind == -1 ? std::string("<null>") : std::string(buf, len));
    }
  }
  if (error) *error = e;
  return out;
}

std::string SchemaPicture(const std::string& db, const std::string& owner) {
  std::string lit;
  for (char c : owner) lit += c == '\'' ? std::string("''") : std::string(1, c);
  std::string ident;
  for (char c : owner) ident += c == '"' ? std::string("\"\"") : std::string(1, c);
  Session s;
  std::string err = s.Open(db, "system", "manager");
  if (!err.empty()) return "cannot log on: " + err;
  std::ostringstream pic;
  std::vector<std::string> tables =
      s.Column("select table_name from all_tables where owner='" + lit + "' order by 1", &err);
  pic << "tables " << tables.size() << " " << err << "\n";
  for (const std::string& ix :
       s.Column("select index_name || ' ' || table_name from all_indexes where owner='" + lit +
                "' order by 1"))
    pic << "index " << ix << "\n";
  for (const std::string& t : tables) {
    std::string tid;
    for (char c : t) tid += c == '"' ? std::string("\"\"") : std::string(1, c);
    testsupport::ProcResult r = testsupport::RunSql(
        "system/manager@" + db, "select * from \"" + ident + "\".\"" + tid + "\" order by 1;\n", {kNls});
    pic << "table " << t << " status " << r.status << "\n" << r.out << r.err;
  }
  return pic.str();
}

}  // namespace reltest
