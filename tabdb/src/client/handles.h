// handles.h - the objects behind the OCI handle and descriptor pointers.
//
// Every handle starts with a tag (magic number and handle type) so that a
// null pointer, a freed handle or a handle of the wrong type passed to an
// OCI function is answered with OCI_INVALID_HANDLE instead of a crash.
// Parents are not owners: as in the vendor's library, each handle is freed
// by its own OCIHandleFree, and freeing a statement frees its binds and
// defines.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <oci.h>

#include "util/status.h"

namespace tabdb {

class Database;
class Session;
struct CharsetInfo;
class StatementState;  // client/statement.h
class LobState;        // client/lob.h
class ClientText;      // client/nls.h

constexpr uint32_t kHandleMagic = 0x54424448;  // "TBDH"

struct HandleTag {
  uint32_t magic = kHandleMagic;
  uint32_t type = 0;
};

// The error record of a failed call: Oracle number and text (no trailing
// line end; OCIErrorGet adds it).
struct ErrorRecord {
  bool present = false;
  int code = 0;
  std::string text;

  void Set(const Status& st) {
    present = true;
    code = st.code();
    text = st.text();
  }
};

// A session as seen by an object that may outlive it (statement, LOB
// locator, piece stream): through the session's lifetime token, so that
// the pointer is handed out only while the session exists. A call on such
// an object after its session ended fails with ORA-01012.
class SessionRef {
 public:
  SessionRef() = default;
  explicit SessionRef(Session* s);
  Session* get() const { return s_ != nullptr && !alive_.expired() ? s_ : nullptr; }
  // Whether a session was ever set.
  bool bound() const { return s_ != nullptr; }
  // Bound to a session that has ended.
  bool ended() const { return s_ != nullptr && alive_.expired(); }

 private:
  Session* s_ = nullptr;
  std::weak_ptr<void> alive_;
};

}  // namespace tabdb

// The handle types are the structs oci.h declares as incomplete.
struct OCIEnv {
  tabdb::HandleTag tag{tabdb::kHandleMagic, OCI_HTYPE_ENV};
  std::string nls_lang;                       // NLS_LANG as read at creation
  const tabdb::CharsetInfo* charset = nullptr;  // client character set
  std::shared_ptr<tabdb::ClientText> text;    // conversions to and from it
  tabdb::ErrorRecord error;                   // errors before an error handle exists
  uint64_t net_delay_us = 0;                  // TABDB_NET_DELAY_US as read at creation
};

struct OCIError {
  tabdb::HandleTag tag{tabdb::kHandleMagic, OCI_HTYPE_ERROR};
  OCIEnv* env = nullptr;
  tabdb::ErrorRecord record;
  // After an array DML run in OCI_BATCH_ERRORS mode: one error handle per
  // failed row, handed out by OCIParamGet and owned here (OCIHandleFree
  // leaves them alone). Cleared by the next execution on this handle.
  std::vector<std::unique_ptr<OCIError>> row_errors;
  ub4 row_offset = 0;      // a row error: index of its row in the iterations
  bool owned_by_parent = false;
};

struct OCIServer {
  tabdb::HandleTag tag{tabdb::kHandleMagic, OCI_HTYPE_SERVER};
  OCIEnv* env = nullptr;
  std::shared_ptr<tabdb::Database> db;  // set while attached
  // Sessions begun on this connection, ended when it is detached. The
  // token tells whether the session handle still holds that session.
  // Sessions of one server may begin and end in different threads.
  std::mutex mu;
  std::vector<std::pair<OCISession*, std::weak_ptr<void>>> sessions;
  // Round trips of the attach, counted in the first session begun on it.
  uint64_t unclaimed_trips = 0;
};

struct OCISession {
  tabdb::HandleTag tag{tabdb::kHandleMagic, OCI_HTYPE_SESSION};
  OCIEnv* env = nullptr;
  std::string username;
  std::string password;
  // OCI_ATTR_DEFAULT_LOBPREFETCH_SIZE: LOB data (characters of a CLOB or
  // NCLOB, bytes of a BLOB) that every LOB locator a query of the session
  // fetches brings along with its length and chunk size; 0 none.
  ub4 default_lobprefetch = 0;
  std::unique_ptr<tabdb::Session> session;  // set while the session is begun
  OCISession();
  ~OCISession();
};

struct OCISvcCtx {
  tabdb::HandleTag tag{tabdb::kHandleMagic, OCI_HTYPE_SVCCTX};
  OCIEnv* env = nullptr;
  OCIServer* server = nullptr;
  OCISession* session = nullptr;
};

struct OCIStmt {
  tabdb::HandleTag tag{tabdb::kHandleMagic, OCI_HTYPE_STMT};
  OCIEnv* env = nullptr;
  std::unique_ptr<tabdb::StatementState> state;
  // OCI_ATTR_PREFETCH_ROWS and OCI_ATTR_PREFETCH_MEMORY: kept by the
  // handle across prepares, as the vendor's library keeps them.
  ub4 prefetch_rows = 1;
  ub4 prefetch_memory = 0;
  OCIStmt();
  ~OCIStmt();
};

struct OCIBind {
  tabdb::HandleTag tag{tabdb::kHandleMagic, OCI_HTYPE_BIND};
  OCIStmt* stmt = nullptr;
  uint32_t position = 0;  // 1-based
};

struct OCIDefine {
  tabdb::HandleTag tag{tabdb::kHandleMagic, OCI_HTYPE_DEFINE};
  OCIStmt* stmt = nullptr;
  uint32_t position = 0;  // 1-based
};

struct OCILobLocator {
  tabdb::HandleTag tag{tabdb::kHandleMagic, OCI_DTYPE_LOB};
  OCIEnv* env = nullptr;
  std::unique_ptr<tabdb::LobState> state;
  OCILobLocator();
  ~OCILobLocator();
};

namespace tabdb {

// Returns the handle behind `p` when it is a live handle of `type`, else
// null.
template <typename T>
T* AsHandle(const void* p, uint32_t type) {
  if (p == nullptr) return nullptr;
  const HandleTag* tag = static_cast<const HandleTag*>(p);
  if (tag->magic != kHandleMagic || tag->type != type) return nullptr;
  return static_cast<T*>(const_cast<void*>(p));
}

inline OCIError* AsError(const void* p) { return AsHandle<OCIError>(p, OCI_HTYPE_ERROR); }
inline OCIEnv* AsEnv(const void* p) { return AsHandle<OCIEnv>(p, OCI_HTYPE_ENV); }
inline OCISvcCtx* AsSvcCtx(const void* p) { return AsHandle<OCISvcCtx>(p, OCI_HTYPE_SVCCTX); }
inline OCIServer* AsServer(const void* p) { return AsHandle<OCIServer>(p, OCI_HTYPE_SERVER); }
inline OCISession* AsSession(const void* p) { return AsHandle<OCISession>(p, OCI_HTYPE_SESSION); }
inline OCIStmt* AsStmt(const void* p) { return AsHandle<OCIStmt>(p, OCI_HTYPE_STMT); }
inline OCIBind* AsBind(const void* p) { return AsHandle<OCIBind>(p, OCI_HTYPE_BIND); }
inline OCIDefine* AsDefine(const void* p) { return AsHandle<OCIDefine>(p, OCI_HTYPE_DEFINE); }
inline OCILobLocator* AsLob(const void* p) { return AsHandle<OCILobLocator>(p, OCI_DTYPE_LOB); }

// Stores `st` in the error handle and returns OCI_ERROR (or
// OCI_SUCCESS_WITH_INFO when `info`).
sword Fail(OCIError* err, const Status& st);
sword Info(OCIError* err, const Status& st);

// The logged-on session of a service context, or null with ORA-03114 /
// ORA-01012 stored in `err`.
Session* SessionOf(OCISvcCtx* svc, OCIError* err);

// Destroys a handle's object (clears its tag first so that a stale pointer
// is recognised as invalid for as long as the memory is not reused).
template <typename T>
void DestroyHandle(T* h) {
  h->tag.magic = 0;
  delete h;
}

}  // namespace tabdb
