// oci_conn.h - a small RAII wrapper around one OCI session for the
// benchmark tools: logon to a database file, statement handles, and OCI
// failures turned into Status values carrying the error handle's text.
#pragma once

#include <oci.h>

#include <memory>
#include <string>

#include "util/status.h"

namespace tabdb::bench {

// One logged-on session. Every handle is released by the destructor, the
// session ended and the server detached; work not committed is rolled back
// by the database when the session ends.
class OciConn {
 public:
  ~OciConn();
  OciConn(const OciConn&) = delete;
  OciConn& operator=(const OciConn&) = delete;

  // Logs on with "user/password@file" (the part after '@' names the
  // database file; without it the library's default is used).
  static Status Open(const std::string& userid, std::unique_ptr<OciConn>* out);

  OCIEnv* env() const { return env_; }
  OCIError* err() const { return err_; }
  OCISvcCtx* svc() const { return svc_; }

  // OCI_SUCCESS (and OCI_SUCCESS_WITH_INFO) give OK; anything else an
  // error whose text is "what: " followed by the error handle's message.
  Status Check(sword rc, const char* what) const;

  // Runs one statement without binds or results.
  Status Exec(const std::string& sql);
  Status Commit();

 private:
  OciConn() = default;

  OCIEnv* env_ = nullptr;
  OCIError* err_ = nullptr;
  OCISvcCtx* svc_ = nullptr;
  OCIServer* srv_ = nullptr;
  OCISession* ses_ = nullptr;
  bool attached_ = false;
  bool begun_ = false;
};

// A statement handle owned for its scope.
class OciStmt {
 public:
  explicit OciStmt(OciConn& conn) : conn_(conn) {}
  ~OciStmt();
  OciStmt(const OciStmt&) = delete;
  OciStmt& operator=(const OciStmt&) = delete;

  // Allocates the handle on first use and prepares `sql` on it.
  Status Prepare(const std::string& sql);
  OCIStmt* get() const { return stmt_; }

  // Executes `iters` iterations (0 for a query) and checks the result;
  // OCI_NEED_DATA is passed back as is in `*rc` when `rc` is given.
  Status Execute(ub4 iters, sword* rc = nullptr);

 private:
  OciConn& conn_;
  OCIStmt* stmt_ = nullptr;
};

}  // namespace tabdb::bench
