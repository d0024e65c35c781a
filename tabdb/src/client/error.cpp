// error.cpp - error records: OCIErrorGet and the helpers that fill them.
#include <algorithm>
#include <cstring>

#include "client/handles.h"
#include "client/test_hooks.h"
#include "session/session.h"
#include "util/errors.h"

namespace tabdb {

sword Fail(OCIError* err, const Status& st) {
  if (err) err->record.Set(st);
  return OCI_ERROR;
}

sword Info(OCIError* err, const Status& st) {
  if (err) err->record.Set(st);
  return OCI_SUCCESS_WITH_INFO;
}

SessionRef::SessionRef(Session* s) : s_(s) {
  if (s) alive_ = s->lifetime();
}

Session* SessionOf(OCISvcCtx* svc, OCIError* err) {
  if (svc->server == nullptr || AsServer(svc->server) == nullptr || !svc->server->db) {
    Fail(err, OraError(ora::kNotConnected));
    return nullptr;
  }
  if (svc->session == nullptr || AsSession(svc->session) == nullptr || !svc->session->session) {
    Fail(err, OraError(ora::kNotLoggedOn));
    return nullptr;
  }
  return svc->session->session.get();
}

namespace testing {

void SetErrorRecord(OCIError* errhp, int code, const std::string& text) {
  if (OCIError* e = AsError(errhp)) {
    e->record.present = true;
    e->record.code = code;
    e->record.text = text;
  }
}

}  // namespace testing
}  // namespace tabdb

using namespace tabdb;

extern "C" sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep,
                             OraText* bufp, ub4 bufsiz, ub4 type) {
  (void)sqlstate;
  const ErrorRecord* rec = nullptr;
  if (type == OCI_HTYPE_ERROR) {
    OCIError* e = AsError(hndlp);
    if (e == nullptr) return OCI_INVALID_HANDLE;
    rec = &e->record;
  } else if (type == OCI_HTYPE_ENV) {
    OCIEnv* e = AsEnv(hndlp);
    if (e == nullptr) return OCI_INVALID_HANDLE;
    rec = &e->error;
  } else {
    return OCI_INVALID_HANDLE;
  }
  if (recordno != 1 || !rec->present) return OCI_NO_DATA;
  if (errcodep) *errcodep = rec->code;
  if (bufp && bufsiz > 0) {
    // The text ends with a line end and is cut to the buffer with its NUL.
    std::string text = rec->text + "\n";
    size_t n = std::min<size_t>(text.size(), bufsiz - 1);
    std::memcpy(bufp, text.data(), n);
    bufp[n] = '\0';
  }
  return OCI_SUCCESS;
}
