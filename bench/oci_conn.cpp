// oci_conn.cpp - logon, statement handles and error texts for the
// benchmark tools' OCI sessions.
#include "oci_conn.h"

#include <cstring>

namespace tabdb::bench {

OciConn::~OciConn() {
  if (begun_) OCISessionEnd(svc_, err_, ses_, OCI_DEFAULT);
  if (attached_) OCIServerDetach(srv_, err_, OCI_DEFAULT);
  if (ses_) OCIHandleFree(ses_, OCI_HTYPE_SESSION);
  if (srv_) OCIHandleFree(srv_, OCI_HTYPE_SERVER);
  if (svc_) OCIHandleFree(svc_, OCI_HTYPE_SVCCTX);
  if (err_) OCIHandleFree(err_, OCI_HTYPE_ERROR);
  if (env_) OCIHandleFree(env_, OCI_HTYPE_ENV);
}

Status OciConn::Check(sword rc, const char* what) const {
  if (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO) return Status::Ok();
  char text[2048] = "";
  sb4 code = 0;
  if (err_ != nullptr && rc == OCI_ERROR)
    OCIErrorGet(err_, 1, nullptr, &code, reinterpret_cast<OraText*>(text), sizeof text,
                OCI_HTYPE_ERROR);
  std::string msg = std::string(what) + ": ";
  msg += text[0] ? text : ("OCI status " + std::to_string(rc));
  while (!msg.empty() && msg.back() == '\n') msg.pop_back();
  return Status::Error(code != 0 ? code : -1, msg);
}

Status OciConn::Open(const std::string& userid, std::unique_ptr<OciConn>* out) {
  size_t slash = userid.find('/');
  if (slash == std::string::npos) return Status::Error(-1, "user id must be user/password@file");
  size_t at = userid.find('@', slash);
  std::string user = userid.substr(0, slash);
  std::string password = userid.substr(slash + 1, at == std::string::npos ? std::string::npos
                                                                        : at - slash - 1);
  std::string file = at == std::string::npos ? "" : userid.substr(at + 1);

  std::unique_ptr<OciConn> c(new OciConn());
  if (OCIEnvCreate(&c->env_, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr) !=
      OCI_SUCCESS)
    return Status::Error(-1, "OCIEnvCreate failed");
  if (OCIHandleAlloc(c->env_, reinterpret_cast<void**>(&c->err_), OCI_HTYPE_ERROR, 0, nullptr) !=
      OCI_SUCCESS)
    return Status::Error(-1, "OCIHandleAlloc(error) failed");
  TABDB_RETURN_IF_ERROR(c->Check(
      OCIHandleAlloc(c->env_, reinterpret_cast<void**>(&c->svc_), OCI_HTYPE_SVCCTX, 0, nullptr),
      "OCIHandleAlloc"));
  TABDB_RETURN_IF_ERROR(c->Check(
      OCIHandleAlloc(c->env_, reinterpret_cast<void**>(&c->srv_), OCI_HTYPE_SERVER, 0, nullptr),
      "OCIHandleAlloc"));
  TABDB_RETURN_IF_ERROR(c->Check(
      OCIServerAttach(c->srv_, c->err_, reinterpret_cast<const OraText*>(file.c_str()),
                      static_cast<sb4>(file.size()), OCI_DEFAULT),
      "OCIServerAttach"));
  c->attached_ = true;
  TABDB_RETURN_IF_ERROR(c->Check(
      OCIAttrSet(c->svc_, OCI_HTYPE_SVCCTX, c->srv_, 0, OCI_ATTR_SERVER, c->err_), "OCIAttrSet"));
  TABDB_RETURN_IF_ERROR(c->Check(
      OCIHandleAlloc(c->env_, reinterpret_cast<void**>(&c->ses_), OCI_HTYPE_SESSION, 0, nullptr),
      "OCIHandleAlloc"));
  TABDB_RETURN_IF_ERROR(c->Check(OCIAttrSet(c->ses_, OCI_HTYPE_SESSION, user.data(),
                                            static_cast<ub4>(user.size()), OCI_ATTR_USERNAME,
                                            c->err_),
                                 "OCIAttrSet"));
  TABDB_RETURN_IF_ERROR(c->Check(OCIAttrSet(c->ses_, OCI_HTYPE_SESSION, password.data(),
                                            static_cast<ub4>(password.size()), OCI_ATTR_PASSWORD,
                                            c->err_),
                                 "OCIAttrSet"));
  TABDB_RETURN_IF_ERROR(c->Check(
      OCISessionBegin(c->svc_, c->err_, c->ses_, OCI_CRED_RDBMS, OCI_DEFAULT), "OCISessionBegin"));
  c->begun_ = true;
  TABDB_RETURN_IF_ERROR(c->Check(
      OCIAttrSet(c->svc_, OCI_HTYPE_SVCCTX, c->ses_, 0, OCI_ATTR_SESSION, c->err_), "OCIAttrSet"));
  *out = std::move(c);
  return Status::Ok();
}

Status OciConn::Exec(const std::string& sql) {
  OciStmt stmt(*this);
  TABDB_RETURN_IF_ERROR(stmt.Prepare(sql));
  return stmt.Execute(1);
}

Status OciConn::Commit() { return Check(OCITransCommit(svc_, err_, OCI_DEFAULT), "OCITransCommit"); }

OciStmt::~OciStmt() {
  if (stmt_) OCIHandleFree(stmt_, OCI_HTYPE_STMT);
}

Status OciStmt::Prepare(const std::string& sql) {
  if (stmt_ == nullptr)
    TABDB_RETURN_IF_ERROR(conn_.Check(OCIHandleAlloc(conn_.env(), reinterpret_cast<void**>(&stmt_),
                                                     OCI_HTYPE_STMT, 0, nullptr),
                                      "OCIHandleAlloc(statement)"));
  return conn_.Check(OCIStmtPrepare(stmt_, conn_.err(), reinterpret_cast<const OraText*>(sql.data()),
                                    static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT),
                     "OCIStmtPrepare");
}

Status OciStmt::Execute(ub4 iters, sword* rc) {
  sword r = OCIStmtExecute(conn_.svc(), stmt_, conn_.err(), iters, 0, nullptr, nullptr, OCI_DEFAULT);
  if (rc != nullptr) {
    *rc = r;
    if (r == OCI_NEED_DATA) return Status::Ok();
  }
  return conn_.Check(r, "OCIStmtExecute");
}

}  // namespace tabdb::bench
