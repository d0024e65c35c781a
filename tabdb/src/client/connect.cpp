// connect.cpp - attaching to a database file, beginning and ending user
// sessions, and the transaction calls of a service context.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "client/handles.h"
#include "client/statement.h"
#include "client/lob.h"
#include "client/query_cache.h"
#include "client/round_trips.h"
#include "exec/sqlfunc.h"
#include "exec/prepared.h"
#include "session/session.h"
#include "storage/database.h"
#include "util/errors.h"

using namespace tabdb;

OCISession::OCISession() = default;
OCISession::~OCISession() {
  if (session) {
    LogSessionTrips(*session);
    Prepared::InvalidateAll(session.get());
    DropQueries(session.get());
  }
}

namespace {

// The file a connect identifier names: the identifier itself, or for an
// empty one the default database (TWO_TASK, else tabdb.db in the current
// folder).
std::string DatabasePath(const OraText* dblink, sb4 len) {
  if (dblink != nullptr && len > 0) {
    return std::string(reinterpret_cast<const char*>(dblink), static_cast<size_t>(len));
  }
  const char* two_task = std::getenv("TWO_TASK");
  if (two_task && *two_task) return two_task;
  return "tabdb.db";
}

}  // namespace

extern "C" sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink,
                                 sb4 dblink_len, ub4 mode) {
  (void)mode;
  OCIServer* srv = AsServer(srvhp);
  OCIError* err = AsError(errhp);
  if (srv == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  if (srv->db) return Fail(err, OraError(ora::kAlreadyAttached));
  // One round trip, paid before the database is reached; it counts in
  // the first session begun on the server.
  NetWait(srv->env ? srv->env->net_delay_us : 0);
  std::unique_ptr<Database> db;
  Status st = Database::Open(DatabasePath(dblink, dblink_len), &db);
  if (!st.ok()) return Fail(err, st);
  srv->db = std::move(db);
  srv->unclaimed_trips = 1;
  return OCI_SUCCESS;
}

extern "C" sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 mode) {
  (void)mode;
  OCIServer* srv = AsServer(srvhp);
  OCIError* err = AsError(errhp);
  if (srv == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  if (!srv->db) return Fail(err, OraError(ora::kNotConnected));
  NetWait(srv->env ? srv->env->net_delay_us : 0);
  LogTrips(TripCall::kDetach, 1);
  // The connection's sessions end with it (their uncommitted work is
  // rolled back); statements and locators of theirs then answer ORA-01012.
  std::lock_guard<std::mutex> lock(srv->mu);
  for (auto& [usr, alive] : srv->sessions) {
    if (alive.expired()) continue;
    LogSessionTrips(*usr->session);
    Prepared::InvalidateAll(usr->session.get());
    DropQueries(usr->session.get());
    usr->session.reset();
  }
  srv->sessions.clear();
  srv->db.reset();
  return OCI_SUCCESS;
}

extern "C" sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt,
                                 ub4 mode) {
  (void)mode;
  OCISvcCtx* svc = AsSvcCtx(svchp);
  OCIError* err = AsError(errhp);
  OCISession* usr = AsSession(usrhp);
  if (svc == nullptr || err == nullptr || usr == nullptr) return OCI_INVALID_HANDLE;
  if (svc->server == nullptr || AsServer(svc->server) == nullptr || !svc->server->db)
    return Fail(err, OraError(ora::kNeedExplicitAttach));
  if (usr->session) return Fail(err, OraError(ora::kAlreadyAuthenticated));
  if (credt != OCI_CRED_RDBMS) return Fail(err, OraError(ora::kInvalidLogon));
  OCIServer* srv = svc->server;
  // The logon's round trip is waited before the database is reached, and
  // outside the server's lock; it is counted once the session exists.
  const uint64_t delay = usr->env ? usr->env->net_delay_us : 0;
  NetWait(delay);
  std::lock_guard<std::mutex> lock(srv->mu);
  // The first session uses the attach's connection; every further one
  // gets a connection of its own, so that it has its own transaction, as
  // a session of Oracle has, and may run in another thread.
  std::shared_ptr<Database> db = srv->db;
  bool shared = std::any_of(srv->sessions.begin(), srv->sessions.end(),
                            [](const auto& e) { return !e.second.expired(); });
  if (shared) {
    std::unique_ptr<Database> own;
    Status st = Database::Open(srv->db->path(), &own);
    if (!st.ok()) return Fail(err, st);
    db = std::move(own);
  }
  std::unique_ptr<Session> sess;
  Status st = OpenSession(db, usr->username, usr->password, &sess);
  if (!st.ok()) return Fail(err, st);
  sess->set_client_charset(usr->env ? usr->env->charset : nullptr);
  {
    // Counted without a second wait: the attach's round trip, if this is
    // the server's first session, and the logon's own (name and password
    // verifier out, the session's settings back).
    Session::NetClient& c = sess->net_client();
    NetStats& n = sess->net();
    c.by_call[static_cast<int>(TripCall::kAttach)] += srv->unclaimed_trips;
    c.by_call[static_cast<int>(TripCall::kLogon)] += 1;
    n.round_trips += srv->unclaimed_trips + 1;
    n.bytes_from_client += (srv->unclaimed_trips + 1) * kTripHeaderBytes + usr->username.size() + 64;
    n.bytes_to_client += (srv->unclaimed_trips + 1) * kTripHeaderBytes + 64;
    srv->unclaimed_trips = 0;
    c.delay_us = delay;
    sess->PublishNet();
  }
  srv->sessions.erase(std::remove_if(srv->sessions.begin(), srv->sessions.end(),
                                     [](const auto& e) { return e.second.expired(); }),
                      srv->sessions.end());
  srv->sessions.emplace_back(usr, sess->lifetime());
  usr->session = std::move(sess);
  svc->session = usr;
  return OCI_SUCCESS;
}

extern "C" sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode) {
  (void)mode;
  OCISvcCtx* svc = AsSvcCtx(svchp);
  OCIError* err = AsError(errhp);
  if (svc == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  OCISession* usr = usrhp ? AsSession(usrhp) : svc->session;
  if (usr == nullptr) return usrhp ? OCI_INVALID_HANDLE : Fail(err, OraError(ora::kNotLoggedOn));
  if (!usr->session) return Fail(err, OraError(ora::kNotLoggedOn));
  RoundTrip(*usr->session, TripCall::kLogoff, 0, 0);
  LogSessionTrips(*usr->session);
  // A wait owed while the write lock was held is paid once the session's
  // rollback has released it.
  const uint64_t owed = usr->session->net_client().owed_us;
  Prepared::InvalidateAll(usr->session.get());
  DropQueries(usr->session.get());
  usr->session.reset();  // rolls back what was not committed
  if (svc->session == usr) svc->session = nullptr;
  NetWait(owed);
  return OCI_SUCCESS;
}

extern "C" sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4 flags) {
  (void)flags;
  OCISvcCtx* svc = AsSvcCtx(svchp);
  OCIError* err = AsError(errhp);
  if (svc == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  Session* s = SessionOf(svc, err);
  if (s == nullptr) return OCI_ERROR;
  RoundTrip(*s, TripCall::kCommit, 0, 0);
  ++s->net().user_commits;
  Status st = s->Commit();
  CallEnded(*s);
  return st.ok() ? OCI_SUCCESS : Fail(err, st);
}

extern "C" sword OCITransStart(OCISvcCtx* svchp, OCIError* errhp, uword timeout, ub4 flags) {
  (void)timeout;  // the timeout of a global transaction; there are none
  OCISvcCtx* svc = AsSvcCtx(svchp);
  OCIError* err = AsError(errhp);
  if (svc == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  Session* s = SessionOf(svc, err);
  if (s == nullptr) return OCI_ERROR;
  RoundTrip(*s, TripCall::kTransStart, 0, 0);
  Session::TxnMode mode = Session::TxnMode::kDefault;
  if (flags & OCI_TRANS_READONLY)
    mode = Session::TxnMode::kReadOnly;
  else if (flags & OCI_TRANS_SERIALIZABLE)
    mode = Session::TxnMode::kSerializable;
  Status st = s->SetTransaction(mode);
  return st.ok() ? OCI_SUCCESS : Fail(err, st);
}

extern "C" sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4 flags) {
  (void)flags;
  OCISvcCtx* svc = AsSvcCtx(svchp);
  OCIError* err = AsError(errhp);
  if (svc == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  Session* s = SessionOf(svc, err);
  if (s == nullptr) return OCI_ERROR;
  RoundTrip(*s, TripCall::kRollback, 0, 0);
  Status st = s->Rollback();
  CallEnded(*s);
  return st.ok() ? OCI_SUCCESS : Fail(err, st);
}
