// session.h - one logged-on user session of the database.
//
// A Session is what OCISessionBegin creates: a user (who is a schema), its
// connection to the database file, the current schema for unqualified
// names, the client character set, and the DBMS_METADATA transform
// parameters set during the session. Uncommitted changes belong to the
// session's connection; ending the session without a commit rolls them
// back.
#pragma once

#include <cstdint>
#include <memory>
#include <map>
#include <string>
#include <vector>
#include <unordered_map>
#include <utility>

#include "storage/database.h"
#include "util/errors.h"
#include "util/status.h"

namespace tabdb {

struct CharsetInfo;

// DBMS_METADATA session transform parameters and their defaults.
struct TransformParams {
  bool pretty = true;
  bool sqlterminator = false;
  bool segment_attributes = true;
  bool storage = true;
  bool tablespace = true;
  bool constraints = true;
  bool ref_constraints = true;
  bool constraints_as_alter = false;
  bool size_byte_keyword = false;
  bool emit_schema = true;
};

// A DBMS_METADATA browsing context, from OPEN to CLOSE: the object type,
// its filters, the objects per fetch, the DDL transform (its handle, 0
// before ADD_TRANSFORM, and its parameters), and once fetching has begun
// the names of the objects in the order they come back and the next one.
struct MetadataBrowse {
  std::string type;
  std::map<std::string, std::string> filters;
  int64_t count = 1;
  int64_t transform = 0;
  TransformParams params;
  bool fetching = false;
  std::vector<std::string> names;
  size_t next = 0;
};

struct UserInfo {
  int64_t user_id = 0;
  std::string name;
  bool dba = false;
  // The session acts as an object's owner with definer's rights, as a
  // materialized view's query runs: only privileges granted to the user
  // directly count (dba is false whatever its roles), and the session does
  // not read its rights again until it is itself.
  bool definer_rights = false;
};

// The user name a logon looks up: unquoted names are case-insensitive
// (upper-cased), a name in double quotes is taken exactly.
std::string LogonName(const std::string& user);

// What a session's calls cost the network between client and server, as
// an Oracle server counts it for V$MYSTAT and V$SESSTAT. The client layer
// counts every OCI call by Oracle's rules (client/round_trips.h); the
// session only keeps the figures and publishes them for other processes.
struct NetStats {
  uint64_t round_trips = 0;        // SQL*Net roundtrips to/from client
  uint64_t bytes_to_client = 0;    // bytes sent via SQL*Net to client
  uint64_t bytes_from_client = 0;  // bytes received via SQL*Net from client
  uint64_t user_commits = 0;       // user commits
};

// One statistic as V$STATNAME lists it.
struct StatisticName {
  int number;        // STATISTIC#
  const char* name;  // NAME
  int stat_class;    // CLASS (1: user)
  uint64_t NetStats::*field;
};
// The statistics the database keeps per session, by STATISTIC#.
constexpr int kStatisticCount = 4;
extern const StatisticName kStatistics[kStatisticCount];

// The open sessions of a database file across processes
// (session_registry.cpp). A logon registers its session, which gives it a
// SID unique among the open sessions of the file and a SERIAL# that tells
// it from earlier sessions of the same SID; the end of the session
// unregisters it. A crashed process holds no session and no user.
constexpr int kMaxSessions = 1024;

struct SessionFile;

struct SessionRegistration {
  int64_t sid = 0;
  uint32_t serial = 0;
  int64_t user_id = 0;
  bool registered = false;
  SessionFile* file = nullptr;  // the file of the session's record
  int fd = -1;                  // open while the session is registered
  int64_t at = 0;               // where its record starts in the file
  bool waiting_shown = false;   // what the record says of waiting

  // Whether ALTER SYSTEM KILL SESSION marked this session: one read of
  // the record (a pread of four bytes).
  bool kill_marked() const;
  // Whether the session waits for another session's lock (shown as an
  // ACTIVE session in V$SESSION). Only the session writes it, so it is
  // written only when it changes and read from memory.
  void set_waiting(bool on);
  bool waiting() const { return waiting_shown; }
  // Writes the session's statistics where other processes read them (one
  // pwrite); V$SESSTAT of another session shows them as last published.
  void PublishStats(const NetStats& net) const;
};

// One open session as V$SESSION shows it.
struct SessionRow {
  int64_t sid = 0;
  int64_t serial = 0;
  int64_t user_id = 0;
  int64_t pid = 0;
  std::string username;
  std::string program;
  bool killed = false;   // marked for kill, not yet told
  bool waiting = false;  // waits for another session's lock
  NetStats net;          // as the session last published them
};

// These fail with ORA-01122 when the file that holds the sessions cannot be
// trusted (session_registry.cpp says when); a logon then fails.
// ORA-00018 when every SID is taken.
Status RegisterSession(Database& db, const UserInfo& user, SessionRegistration* out);
void UnregisterSession(Database& db, const SessionRegistration& r);
// Whether a session of the user is open in any process.
Status UserConnected(Database& db, int64_t user_id, bool* connected);
// The open sessions of the database file, by SID.
Status ListSessions(Database& db, std::vector<SessionRow>* out);
// Marks the session `sid`,`serial` to be killed at its next call (or at
// once when it waits for a lock). ORA-00030 when no such session is open.
Status MarkSessionKilled(Database& db, int64_t sid, int64_t serial);

class Session {
 public:
  // Authenticates `user`/`password` against the database of `db` and makes
  // a session on it. Unknown users and wrong passwords both fail with
  // ORA-01017 after the same amount of work. The session has no SQL
  // functions yet: callers that run statements log on through
  // OpenSession (exec/sqlfunc.h), which registers them.
  static Status Logon(std::shared_ptr<Database> db, const std::string& user,
                      const std::string& password, std::unique_ptr<Session>* out);

  // Ends the session: rolls back what was not committed.
  ~Session();

  Database& db() { return *db_; }
  const UserInfo& user() const { return user_; }
  // The user who logged on, whatever rights the session acts with now
  // (USER, SYS_CONTEXT('USERENV', 'SESSION_USER')).
  const UserInfo& session_user() const { return session_user_; }
  const std::string& current_schema() const { return schema_; }
  // The session's number among the open sessions of the database (SID)
  // and its SERIAL#.
  int64_t sid() const { return reg_.sid; }
  int64_t serial() const { return reg_.serial; }
  void set_current_schema(const std::string& s) { schema_ = s; }
  TransformParams& transforms() { return transforms_; }
  // The open DBMS_METADATA contexts by handle, and the next free handle
  // (contexts and transforms share the numbers).
  std::map<int64_t, MetadataBrowse>& metadata_browses() { return browses_; }
  int64_t NewMetadataHandle() { return ++last_handle_; }

  // Client character set of the environment the session belongs to
  // (from NLS_LANG); null means the database character set (no conversion).
  const CharsetInfo* client_charset() const { return client_cs_; }
  void set_client_charset(const CharsetInfo* cs) { client_cs_ = cs; }

  // Re-reads the user's privileges (after GRANT/REVOKE in this session).
  // ORA-00028 when the user no longer exists.
  Status RefreshUser();

  // Run at the start of every call: ORA-00028 once the session was killed
  // (its transaction is rolled back then; a wait for a lock that the kill
  // ended counts as the call told), ORA-01012 at every later call. One
  // read of the session's record while the session lives.
  Status CheckAlive() {
    if (killed_) return OraError(ora::kNotLoggedOn);
    if (!reg_.kill_marked() && !kill_seen_) {
      if (reg_.waiting()) reg_.set_waiting(false);
      return Status::Ok();
    }
    return Kill();
  }

  // Run before every statement: CheckAlive, then, when the catalog
  // changed since the last statement, re-reads the user's rights, so that
  // a revoked DBA role acts at once and a session never acts for a user
  // that was dropped (ORA-00028, then ORA-01012; user ids are never
  // reused). One read of the catalog version otherwise. Nothing is read
  // while the session acts with an owner's definer's rights.
  Status CheckRights();

  // Ends the session's transaction. A commit while LOBs are still open
  // rolls the transaction back instead (ORA-22297), as Oracle does.
  Status Commit();
  // Empties the session's global temporary tables ON COMMIT DELETE ROWS.
  Status EmptyTransactionTemporaryTables();
  Status Rollback();

  // SET TRANSACTION and OCITransStart. READ ONLY and SERIALIZABLE take the
  // session's snapshot at once: one read transaction of the database file
  // (a WAL read mark) that every query, LOB read and dictionary read of the
  // session sees until COMMIT or ROLLBACK. A read-only transaction refuses
  // changes with ORA-01456. Setting a mode once the transaction holds
  // changes or a mode fails with ORA-01453; READ WRITE and READ COMMITTED
  // are the default and take no snapshot.
  enum class TxnMode { kDefault, kReadOnly, kSerializable };
  Status SetTransaction(TxnMode mode);
  // Whether the open transaction is read-only.
  bool read_only() const;
  // ORA-01456 in a read-only transaction, ORA-08182 in flashback mode;
  // run before any change.
  Status CheckWritable() const;

  // System change numbers and flashback (session/flashback.cpp).
  // The SCN of the last commit the session sees (DBMS_FLASHBACK.
  // GET_SYSTEM_CHANGE_NUMBER, V$DATABASE.CURRENT_SCN): the newest commit,
  // or inside a read-only or serializable transaction (or flashback) the
  // commit of its snapshot. Unless the session's own transaction has
  // written, the SCN is pinned (storage/snapshots.h) until the session's
  // next COMMIT or ROLLBACK or its end, so that other sessions of the
  // process can enable flashback at it meanwhile.
  Status TakeScn(int64_t* out);
  // DBMS_FLASHBACK.ENABLE_AT_SYSTEM_CHANGE_NUMBER: every later statement
  // reads the database as of `scn` until DisableFlashback, and changes fail
  // with ORA-08182. ORA-08184 when enabled already, ORA-08183 inside a
  // transaction, ORA-08181 / ORA-01555 for an SCN that cannot be read.
  // The caller registers the SQL functions on the new connection.
  Status EnableFlashback(int64_t scn);
  // DBMS_FLASHBACK.DISABLE: back to the newest commit; nothing when not
  // enabled.
  void DisableFlashback();
  bool flashback() const { return db_->in_snapshot(); }
  // Forgets the transaction mode after a commit the session did not make
  // through Commit (the implicit commit before DDL).
  void TransactionEnded();
  TxnMode txn_mode() const { return txn_mode_; }

  // Explicitly opened LOBs of the transaction.
  void LobOpened() { ++open_lobs_; }
  void LobClosed() {
    if (open_lobs_ > 0) --open_lobs_;
  }

  // The session's network statistics (V$MYSTAT), counted by the client
  // layer, and what the client layer keeps beside them: the delay it
  // simulates per round trip and the part of it owed until the session no
  // longer holds the database's write lock, the round trips not yet
  // published, and a tally per kind of call (indexed by the client's call
  // kinds).
  struct NetClient {
    uint64_t delay_us = 0;
    uint64_t owed_us = 0;
    uint64_t unpublished = 0;
    static constexpr int kCallKinds = 24;
    uint64_t by_call[kCallKinds] = {};
  };
  NetStats& net() { return net_; }
  const NetStats& net() const { return net_; }
  NetClient& net_client() { return net_client_; }
  // Publishes net() for other processes (V$SESSTAT).
  void PublishNet() {
    reg_.PublishStats(net_);
    net_client_.unpublished = 0;
  }

  // Expires when the session ends, so that objects which may outlive it
  // (statements, LOB locators, piece streams) can tell whether it is
  // still there.
  std::weak_ptr<void> lifetime() const { return lifetime_; }

  // DBMS_OUTPUT of the session: lines written while enabled, until read
  // (exec/server_output.h is the interface for them).
  struct ServerOutput {
    bool enabled = false;
    std::vector<std::string> lines;
    size_t first = 0;     // lines before it were read
    std::string partial;  // PUT without NEW_LINE yet
  };
  ServerOutput& server_output() { return server_output_; }
  // The session's PL/SQL: stored units compiled for it, package state
  // (exec/plsql_state.h); opaque here.
  std::shared_ptr<void>& plsql_state() { return plsql_state_; }
  // CURRVAL of each sequence (by object id) this session has drawn from.
  std::unordered_map<int64_t, int64_t>& sequence_values() { return seq_values_; }

  // Deferred constraints of the open transaction: the mode SET CONSTRAINTS
  // gave (ALL or per constraint), the rows that broke a deferred
  // constraint when written (checked again at COMMIT), and the foreign keys
  // whose parent rows went while deferred (all their rows are checked).
  struct Deferred {
    int all = -1;  // SET CONSTRAINTS ALL: 1 DEFERRED, 0 IMMEDIATE, -1 not set
    std::unordered_map<int64_t, bool> by_cons;
    std::vector<std::pair<int64_t, int64_t>> rows;  // (constraint, rowid)
    std::vector<int64_t> parents_gone;              // foreign keys
    bool empty() const { return rows.empty() && parents_gone.empty(); }
  };
  Deferred& deferred() { return deferred_; }
  // ALTER SESSION SET CONSTRAINTS: 1 DEFERRED, 0 IMMEDIATE, -1 DEFAULT
  // (each constraint's initial mode); for every later transaction.
  int& constraints_mode() { return constraints_mode_; }
  // Changes whenever parent keys the session saw may have gone: an UPDATE
  // or DELETE, any other statement but a query or INSERT, the end of a
  // transaction. A key found while it stays the same is still there.
  uint64_t key_epoch() const { return key_epoch_; }
  void KeysMayChange() { ++key_epoch_; }
  // Whether a constraint is deferred now in this transaction.
  bool IsDeferred(int64_t cons_id, bool deferrable, bool initially_deferred) const;
  // Checks the deferred rows (the engine installs the check): run by
  // COMMIT and before DDL. A violation rolls the transaction back and gives
  // ORA-02091 followed by the constraint's error.
  using DeferredCheckFn = Status (*)(Session& s);
  static void SetDeferredCheckFn(DeferredCheckFn fn);
  Status CheckDeferred();
  // Exchanges the session's user and current schema with `user` and
  // `schema`: a view's query is compiled as its owner, in its schema, and
  // the caller swaps back afterwards.
  void SwapIdentity(UserInfo* user, std::string* schema) {
    std::swap(user_, *user);
    std::swap(schema_, *schema);
  }

 private:
  Session() = default;

  std::shared_ptr<Database> db_;
  UserInfo user_;
  UserInfo session_user_;
  std::string schema_;
  TransformParams transforms_;
  std::map<int64_t, MetadataBrowse> browses_;
  int64_t last_handle_ = 100000;
  const CharsetInfo* client_cs_ = nullptr;
  int open_lobs_ = 0;
  std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
  int64_t rights_version_ = -1;  // catalog version the rights were read at
  Status Kill();
  Status WaitCheck();

  bool killed_ = false;          // the session was killed or its user dropped
  bool kill_seen_ = false;       // a wait for a lock ended with ORA-00028
  SessionRegistration reg_;
  ServerOutput server_output_;
  std::unordered_map<int64_t, int64_t> seq_values_;
  std::shared_ptr<void> plsql_state_;
  Deferred deferred_;
  int constraints_mode_ = -1;
  uint64_t key_epoch_ = 0;
  TxnMode txn_mode_ = TxnMode::kDefault;
  NetStats net_;
  NetClient net_client_;
};

}  // namespace tabdb
