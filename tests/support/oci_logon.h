// oci_logon.h - the handles of one OCI logon for the tests that drive the
// database through OCI: allocated from an environment the caller created,
// attached to a database file and logged on, released in reverse order.
#pragma once

#include <oci.h>

#include <string>

namespace testsupport {

struct OciLogon {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* usr = nullptr;
  bool attached = false;  // OCIServerAttach succeeded
  bool begun = false;     // OCISessionBegin succeeded

  // With `env` created: allocates the other handles, attaches to the file
  // `path` and logs on as user/password. Returns the status of
  // OCISessionBegin, or of the first call that failed before it.
  sword Begin(const std::string& path, const std::string& user, const std::string& password) {
    OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void**>(&usr), OCI_HTYPE_SESSION, 0, nullptr);
    sword rc = OCIServerAttach(srv, err, reinterpret_cast<const OraText*>(path.data()),
                               static_cast<sb4>(path.size()), OCI_DEFAULT);
    if (rc != OCI_SUCCESS) return rc;
    attached = true;
    OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
    OCIAttrSet(usr, OCI_HTYPE_SESSION, const_cast<char*>(user.data()), static_cast<ub4>(user.size()),
               OCI_ATTR_USERNAME, err);
    OCIAttrSet(usr, OCI_HTYPE_SESSION, const_cast<char*>(password.data()),
               static_cast<ub4>(password.size()), OCI_ATTR_PASSWORD, err);
    rc = OCISessionBegin(svc, err, usr, OCI_CRED_RDBMS, OCI_DEFAULT);
    if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) return rc;
    begun = true;
    OCIAttrSet(svc, OCI_HTYPE_SVCCTX, usr, 0, OCI_ATTR_SESSION, err);
    return rc;
  }

  // Ends the session without a commit (the library rolls back), detaches
  // and frees every handle, the environment last.
  void End() {
    if (begun) OCISessionEnd(svc, err, usr, OCI_DEFAULT);
    if (attached) OCIServerDetach(srv, err, OCI_DEFAULT);
    begun = attached = false;
    if (usr) OCIHandleFree(usr, OCI_HTYPE_SESSION);
    if (svc) OCIHandleFree(svc, OCI_HTYPE_SVCCTX);
    if (srv) OCIHandleFree(srv, OCI_HTYPE_SERVER);
    if (err) OCIHandleFree(err, OCI_HTYPE_ERROR);
    if (env) OCIHandleFree(env, OCI_HTYPE_ENV);
    usr = nullptr;
    svc = nullptr;
    srv = nullptr;
    err = nullptr;
    env = nullptr;
  }
};

}  // namespace testsupport
