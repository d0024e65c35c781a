// rel_support.h - helpers of the reliability tests: the fault library's
// environment, processes run in the background or measured, a reader of
// dump files, and a plain OCI session against a database file.
#pragma once

#include <oci.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "oci_logon.h"
#include "support.h"

namespace reltest {

inline const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";
inline const char kExpDone[] = "\nExport terminated successfully.\n\n";
inline const char kImpDone[] = "\nImport terminated successfully.\n\n";

// The environment that loads the fault library into a child, with the
// given FAULTFS_* settings ("NAME=value" each). A sanitizer runtime
// tolerates the library in front of it.
std::vector<std::string> FaultEnv(const std::vector<std::string>& settings);

// One call recorded by the fault library's FAULTFS_LOG.
struct IoCall {
  std::string op;  // write, pwrite, read, pread
  int64_t offset = 0;
  int64_t count = 0;
  int64_t result = 0;
};
std::vector<IoCall> ReadIoLog(const std::string& path);

// A child process with a pipe to its standard input; its output goes to
// files. The destructor kills and reaps a child that is still running.
class Background {
 public:
  Background(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::string& out_path);
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  bool Send(const std::string& text);  // writes to the child's input
  void CloseInput();
  int Wait();  // exit status (0..255), or minus the signal number
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  bool reaped_ = false;
  int status_ = -1;
};

// A run with its peak resident memory and wall time.
struct Measured {
  testsupport::ProcResult result;
  long max_rss_kb = 0;
  double seconds = 0;
};
// Runs like testsupport::Run, with output sent to files in `dir` (so that
// large outputs cost nothing), and measures the child with wait4.
Measured RunMeasured(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const std::string& dir);

// ---- dump files -------------------------------------------------------------

struct DumpRow {
  std::vector<std::optional<std::string>> values;  // nullopt: NULL; LONG/LOB marks as "\xFF\xFB" ...
  std::vector<std::string> streams;                // each stream's bytes, joined
};
struct DumpTable {
  std::string name;
  uint32_t flag = 0, ncol = 0, nlob = 0, nrows = 0;
  uint64_t offset = 0, rows_begin = 0, end = 0;
  std::string ddl;
  std::vector<std::string> columns;
  std::vector<DumpRow> rows;
  std::vector<std::string> statements;
};
struct DumpFile {
  std::string owner, nls;
  uint32_t tab_cnt = 0;
  std::vector<DumpTable> tables;
};
// Reads a whole dump; false with the reason in *why when it does not hold
// together (directory not written, a section running past the end...).
bool ParseDump(const std::string& bytes, DumpFile* out, std::string* why);

// ---- an OCI session -----------------------------------------------------------

class Session {
 public:
  Session() = default;
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Logs on to the database file `db`; "" or the Oracle error text.
  std::string Open(const std::string& db, const std::string& user, const std::string& password);
  // Runs one statement without binds; "" or the Oracle error text.
  std::string Exec(const std::string& sql);
  // Runs `sql` (placeholders :1..:k) once per row, all rows in one array
  // execution; every value is bound as text.
  std::string InsertRows(const std::string& sql, const std::vector<std::vector<std::string>>& rows);
  std::string Commit();
  std::string Rollback();
  // The first column of every row of a query, as text.
  std::vector<std::string> Column(const std::string& sql, std::string* error = nullptr);
  void Close();

 private:
  std::string Error();
  testsupport::OciLogon h_;
  OCIStmt* stmt_ = nullptr;
};

// Every row of every table of `owner`, as tabsql prints them, ordered: a
// picture of the schema's data for before/after comparisons.
std::string SchemaPicture(const std::string& db, const std::string& owner);

}  // namespace reltest
