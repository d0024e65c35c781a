// attr.cpp - OCIAttrSet and OCIAttrGet for the attributes the database
// knows; any other attribute fails with ORA-24315.
#include <cstring>

#include "client/handles.h"
#include "client/lob.h"
#include "client/statement.h"
#include "util/errors.h"

using namespace tabdb;

namespace {

std::string TextValue(const void* p, ub4 size) {
  if (p == nullptr) return std::string();
  return std::string(static_cast<const char*>(p), size);
}

template <typename T>
void PutValue(void* dst, ub4* sizep, T v) {
  std::memcpy(dst, &v, sizeof v);
  if (sizep) *sizep = sizeof v;
}

}  // namespace

extern "C" sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size,
                            ub4 attrtype, OCIError* errhp) {
  OCIError* err = AsError(errhp);
  switch (trghndltyp) {
    case OCI_HTYPE_SVCCTX: {
      OCISvcCtx* svc = AsSvcCtx(trgthndlp);
      if (svc == nullptr) return OCI_INVALID_HANDLE;
      if (attrtype == OCI_ATTR_SERVER) {
        OCIServer* srv = AsServer(attributep);
        if (srv == nullptr) return OCI_INVALID_HANDLE;
        svc->server = srv;
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_SESSION) {
        OCISession* usr = AsSession(attributep);
        if (usr == nullptr) return OCI_INVALID_HANDLE;
        svc->session = usr;
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_HTYPE_SESSION: {
      OCISession* usr = AsSession(trgthndlp);
      if (usr == nullptr) return OCI_INVALID_HANDLE;
      if (attrtype == OCI_ATTR_USERNAME) {
        usr->username = TextValue(attributep, size);
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_PASSWORD) {
        usr->password = TextValue(attributep, size);
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_DEFAULT_LOBPREFETCH_SIZE) {
        if (attributep == nullptr) return Fail(err, OraError(ora::kValueNotAllowed));
        std::memcpy(&usr->default_lobprefetch, attributep, sizeof usr->default_lobprefetch);
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_DTYPE_LOB: {
      OCILobLocator* loc = AsLob(trgthndlp);
      if (loc == nullptr) return OCI_INVALID_HANDLE;
      if (attrtype == OCI_ATTR_LOBEMPTY) {
        MarkLobEmpty(loc);
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_HTYPE_BIND:
    case OCI_HTYPE_DEFINE: {
      bool lob_prefetch = trghndltyp == OCI_HTYPE_DEFINE && (attrtype == OCI_ATTR_LOBPREFETCH_LENGTH ||
                                                              attrtype == OCI_ATTR_LOBPREFETCH_SIZE);
      if (attrtype != OCI_ATTR_CHARSET_FORM && attrtype != OCI_ATTR_CHARSET_ID && !lob_prefetch) break;
      if (attributep == nullptr) return Fail(err, OraError(ora::kValueNotAllowed));
      Status st = lob_prefetch ? SetDefineLobPrefetch(trgthndlp, attrtype, attributep)
                               : SetBufferAttribute(trgthndlp, trghndltyp, attrtype, attributep);
      if (st.code() == -2) return OCI_INVALID_HANDLE;
      return st.ok() ? OCI_SUCCESS : Fail(err, st);
    }
    case OCI_HTYPE_STMT: {
      OCIStmt* stmt = AsStmt(trgthndlp);
      if (stmt == nullptr) return OCI_INVALID_HANDLE;
      if (attrtype == OCI_ATTR_PREFETCH_ROWS || attrtype == OCI_ATTR_PREFETCH_MEMORY) {
        if (attributep == nullptr) return Fail(err, OraError(ora::kValueNotAllowed));
        ub4 v = 0;
        std::memcpy(&v, attributep, sizeof v);
        (attrtype == OCI_ATTR_PREFETCH_ROWS ? stmt->prefetch_rows : stmt->prefetch_memory) = v;
        return OCI_SUCCESS;
      }
      break;
    }
    default:
      return OCI_INVALID_HANDLE;
  }
  return Fail(err, OraError(ora::kIllegalAttributeType));
}

extern "C" sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                            ub4 attrtype, OCIError* errhp) {
  OCIError* err = AsError(errhp);
  if (attributep == nullptr) return Fail(err, OraError(ora::kValueNotAllowed));
  switch (trghndltyp) {
    case OCI_HTYPE_STMT: {
      OCIStmt* stmt = AsStmt(trgthndlp);
      if (stmt == nullptr) return OCI_INVALID_HANDLE;
      StatementCounters c = CountersOf(stmt);
      switch (attrtype) {
        case OCI_ATTR_ROW_COUNT:
          PutValue<ub4>(attributep, sizep, static_cast<ub4>(c.row_count));
          return OCI_SUCCESS;
        case OCI_ATTR_UB8_ROW_COUNT:
          PutValue<ub8>(attributep, sizep, c.row_count);
          return OCI_SUCCESS;
        case OCI_ATTR_ROWS_FETCHED:
          PutValue<ub4>(attributep, sizep, c.rows_fetched);
          return OCI_SUCCESS;
        case OCI_ATTR_STMT_TYPE:
          PutValue<ub2>(attributep, sizep, c.stmt_type);
          return OCI_SUCCESS;
        case OCI_ATTR_PARAM_COUNT:
          PutValue<ub4>(attributep, sizep, c.param_count);
          return OCI_SUCCESS;
        case OCI_ATTR_NUM_DML_ERRORS:
          PutValue<ub4>(attributep, sizep, c.dml_errors);
          return OCI_SUCCESS;
        case OCI_ATTR_PREFETCH_ROWS:
          PutValue<ub4>(attributep, sizep, stmt->prefetch_rows);
          return OCI_SUCCESS;
        case OCI_ATTR_PREFETCH_MEMORY:
          PutValue<ub4>(attributep, sizep, stmt->prefetch_memory);
          return OCI_SUCCESS;
        default:
          break;
      }
      break;
    }
    case OCI_HTYPE_SVCCTX: {
      OCISvcCtx* svc = AsSvcCtx(trgthndlp);
      if (svc == nullptr) return OCI_INVALID_HANDLE;
      if (attrtype == OCI_ATTR_SERVER) {
        PutValue<void*>(attributep, sizep, svc->server);
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_SESSION) {
        PutValue<void*>(attributep, sizep, svc->session);
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_HTYPE_SESSION: {
      OCISession* usr = AsSession(trgthndlp);
      if (usr == nullptr) return OCI_INVALID_HANDLE;
      if (attrtype == OCI_ATTR_USERNAME) {
        PutValue<const void*>(attributep, nullptr, usr->username.c_str());
        if (sizep) *sizep = static_cast<ub4>(usr->username.size());
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_DEFAULT_LOBPREFETCH_SIZE) {
        PutValue<ub4>(attributep, sizep, usr->default_lobprefetch);
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_DTYPE_LOB: {
      OCILobLocator* loc = AsLob(trgthndlp);
      if (loc == nullptr) return OCI_INVALID_HANDLE;
      break;
    }
    case OCI_HTYPE_ERROR: {
      OCIError* e = AsError(trgthndlp);
      if (e == nullptr) return OCI_INVALID_HANDLE;
      if (attrtype == OCI_ATTR_DML_ROW_OFFSET) {
        PutValue<ub4>(attributep, sizep, e->row_offset);
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_HTYPE_ENV:
    case OCI_HTYPE_SERVER:
    case OCI_HTYPE_BIND:
    case OCI_HTYPE_DEFINE:
      if (static_cast<const HandleTag*>(trgthndlp) == nullptr ||
          static_cast<const HandleTag*>(trgthndlp)->magic != kHandleMagic)
        return OCI_INVALID_HANDLE;
      break;
    default:
      return OCI_INVALID_HANDLE;
  }
  return Fail(err, OraError(ora::kIllegalAttributeType));
}
