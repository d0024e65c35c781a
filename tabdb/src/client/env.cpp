// env.cpp - OCIEnvCreate, and allocation and release of handles and
// descriptors.
#include <cstdlib>
#include <new>

#include "client/handles.h"
#include "client/nls.h"
#include "client/round_trips.h"
#include "util/errors.h"

using namespace tabdb;

extern "C" sword OCIEnvCreate(OCIEnv** envhpp, ub4 mode, void* ctxp,
                              void* (*malocfp)(void*, size_t),
                              void* (*ralocfp)(void*, void*, size_t),
                              void (*mfreefp)(void*, void*), size_t xtramem_sz,
                              void** usrmempp) {
  (void)mode;
  (void)ctxp;
  (void)malocfp;
  (void)ralocfp;
  (void)mfreefp;
  if (envhpp == nullptr) return OCI_INVALID_HANDLE;
  *envhpp = nullptr;
  OCIEnv* env = new (std::nothrow) OCIEnv;
  if (env == nullptr) return OCI_ERROR;
  if (xtramem_sz > 0 && usrmempp) *usrmempp = nullptr;
  *envhpp = env;
  // The client character set is fixed when the environment is created.
  env->net_delay_us = NetDelayFromEnvironment();
  const char* nls = std::getenv("NLS_LANG");
  env->nls_lang = nls ? nls : "";
  Status st = ResolveClientCharset(nls, &env->charset);
  std::unique_ptr<ClientText> text;
  if (st.ok()) st = ClientText::Make(env->charset, &text);
  if (st.ok()) env->text = std::move(text);
  if (!st.ok()) {
    env->error.Set(st);
    return OCI_ERROR;
  }
  return OCI_SUCCESS;
}

extern "C" sword OCIHandleAlloc(const void* parenth, void** hndlpp, const ub4 type,
                                const size_t xtramem_sz, void** usrmempp) {
  OCIEnv* env = AsEnv(parenth);
  if (env == nullptr || hndlpp == nullptr) return OCI_INVALID_HANDLE;
  if (xtramem_sz > 0 && usrmempp) *usrmempp = nullptr;
  void* h = nullptr;
  switch (type) {
    case OCI_HTYPE_ERROR: {
      OCIError* e = new (std::nothrow) OCIError;
      if (e) e->env = env;
      h = e;
      break;
    }
    case OCI_HTYPE_SVCCTX: {
      OCISvcCtx* s = new (std::nothrow) OCISvcCtx;
      if (s) s->env = env;
      h = s;
      break;
    }
    case OCI_HTYPE_SERVER: {
      OCIServer* s = new (std::nothrow) OCIServer;
      if (s) s->env = env;
      h = s;
      break;
    }
    case OCI_HTYPE_SESSION: {
      OCISession* s = new (std::nothrow) OCISession;
      if (s) s->env = env;
      h = s;
      break;
    }
    case OCI_HTYPE_STMT: {
      OCIStmt* s = new (std::nothrow) OCIStmt;
      if (s) s->env = env;
      h = s;
      break;
    }
    default:
      return OCI_INVALID_HANDLE;
  }
  if (h == nullptr) return OCI_INVALID_HANDLE;
  *hndlpp = h;
  return OCI_SUCCESS;
}

extern "C" sword OCIHandleFree(void* hndlp, const ub4 type) {
  switch (type) {
    case OCI_HTYPE_ENV:
      if (OCIEnv* h = AsEnv(hndlp)) return DestroyHandle(h), OCI_SUCCESS;
      break;
    case OCI_HTYPE_ERROR:
      if (OCIError* h = AsError(hndlp)) {
        // A row error of a batch belongs to the handle it came from.
        if (h->owned_by_parent) return OCI_SUCCESS;
        return DestroyHandle(h), OCI_SUCCESS;
      }
      break;
    case OCI_HTYPE_SVCCTX:
      if (OCISvcCtx* h = AsSvcCtx(hndlp)) return DestroyHandle(h), OCI_SUCCESS;
      break;
    case OCI_HTYPE_SERVER:
      if (OCIServer* h = AsServer(hndlp)) return DestroyHandle(h), OCI_SUCCESS;
      break;
    case OCI_HTYPE_SESSION:
      if (OCISession* h = AsSession(hndlp)) return DestroyHandle(h), OCI_SUCCESS;
      break;
    case OCI_HTYPE_STMT:
      if (OCIStmt* h = AsStmt(hndlp)) return DestroyHandle(h), OCI_SUCCESS;
      break;
    default:
      break;
  }
  return OCI_INVALID_HANDLE;
}

extern "C" sword OCIDescriptorAlloc(const void* parenth, void** descpp, const ub4 type,
                                    const size_t xtramem_sz, void** usrmempp) {
  OCIEnv* env = AsEnv(parenth);
  if (env == nullptr || descpp == nullptr || type != OCI_DTYPE_LOB) return OCI_INVALID_HANDLE;
  if (xtramem_sz > 0 && usrmempp) *usrmempp = nullptr;
  OCILobLocator* loc = new (std::nothrow) OCILobLocator;
  if (loc == nullptr) return OCI_INVALID_HANDLE;
  loc->env = env;
  *descpp = loc;
  return OCI_SUCCESS;
}

extern "C" sword OCIDescriptorFree(void* descp, const ub4 type) {
  if (type != OCI_DTYPE_LOB) return OCI_INVALID_HANDLE;
  OCILobLocator* loc = AsLob(descp);
  if (loc == nullptr) return OCI_INVALID_HANDLE;
  DestroyHandle(loc);
  return OCI_SUCCESS;
}
