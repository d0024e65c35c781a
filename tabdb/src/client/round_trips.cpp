// round_trips.cpp - counting round trips per session, the simulated
// network delay and its deferral while the write lock is held, and the
// tally per kind of call that TABDB_TRIP_LOG writes out.
#include "client/round_trips.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

#include "client/test_hooks.h"

namespace tabdb {

namespace {

std::function<void(uint64_t)>& WaitHook() {
  static std::function<void(uint64_t)> hook;
  return hook;
}

// Whether the session's connection holds the database's write lock: from
// its first change to its commit or rollback, where a server would hold
// only row locks.
bool HoldsWriteLock(Session& s) { return sqlite3_txn_state(s.db().handle(), "main") == SQLITE_TXN_WRITE; }

void AppendLine(const std::string& line) {
  const char* path = std::getenv("TABDB_TRIP_LOG");
  if (path == nullptr || *path == '\0') return;
  int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;  // a diagnostic: the run goes on without it
  // One write of a short line: lines of several processes do not mix.
  (void)!::write(fd, line.data(), line.size());
  ::close(fd);
}

}  // namespace

namespace testing {

void SetNetWaitHook(std::function<void(uint64_t us)> hook) { WaitHook() = std::move(hook); }

}  // namespace testing

const char* TripCallName(TripCall c) {
  switch (c) {
    case TripCall::kAttach: return "OCIServerAttach";
    case TripCall::kLogon: return "OCISessionBegin";
    case TripCall::kLogoff: return "OCISessionEnd";
    case TripCall::kDetach: return "OCIServerDetach";
    case TripCall::kExecute: return "OCIStmtExecute";
    case TripCall::kFetch: return "OCIStmtFetch";
    case TripCall::kLongPiece: return "LONG_piece";
    case TripCall::kCommit: return "OCITransCommit";
    case TripCall::kRollback: return "OCITransRollback";
    case TripCall::kTransStart: return "OCITransStart";
    case TripCall::kLobOpen: return "OCILobOpen";
    case TripCall::kLobClose: return "OCILobClose";
    case TripCall::kLobLength: return "OCILobGetLength2";
    case TripCall::kLobRead: return "OCILobRead2";
    case TripCall::kLobWrite: return "OCILobWrite2";
    case TripCall::kLobTrim: return "OCILobTrim2";
    case TripCall::kLobCreateTemporary: return "OCILobCreateTemporary";
    case TripCall::kLobFreeTemporary: return "OCILobFreeTemporary";
    case TripCall::kCount: break;
  }
  return "?";
}

void NetWait(uint64_t us) {
  if (us == 0) return;
  if (WaitHook()) {
    WaitHook()(us);
    return;
  }
  struct timespec left;
  left.tv_sec = static_cast<time_t>(us / 1000000);
  left.tv_nsec = static_cast<long>(us % 1000000) * 1000;
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

uint64_t NetDelayFromEnvironment() {
  const char* v = std::getenv("TABDB_NET_DELAY_US");
  if (v == nullptr || *v == '\0') return 0;
  uint64_t n = 0;
  for (const char* p = v; *p; ++p) {
    if (*p < '0' || *p > '9') return 0;
    n = n * 10 + static_cast<uint64_t>(*p - '0');
    if (n > 10000000) return 0;
  }
  return n;
}

void RoundTrip(Session& s, TripCall call, uint64_t from_client, uint64_t to_client) {
  NetStats& n = s.net();
  Session::NetClient& c = s.net_client();
  ++n.round_trips;
  n.bytes_from_client += kTripHeaderBytes + from_client;
  n.bytes_to_client += kTripHeaderBytes + to_client;
  ++c.by_call[static_cast<int>(call)];
  if (++c.unpublished >= kPublishEvery) s.PublishNet();
  if (c.delay_us == 0) return;
  if (HoldsWriteLock(s)) {
    c.owed_us += c.delay_us;
    return;
  }
  uint64_t wait = c.delay_us + c.owed_us;
  c.owed_us = 0;
  NetWait(wait);
}

void CallEnded(Session& s) {
  Session::NetClient& c = s.net_client();
  if (c.unpublished > 0) s.PublishNet();
  if (c.owed_us > 0 && !HoldsWriteLock(s)) {
    uint64_t wait = c.owed_us;
    c.owed_us = 0;
    NetWait(wait);
  }
}

void LogSessionTrips(Session& s) {
  if (std::getenv("TABDB_TRIP_LOG") == nullptr) return;
  const Session::NetClient& c = s.net_client();
  std::string line = "pid=" + std::to_string(::getpid()) + " sid=" + std::to_string(s.sid()) +
                     " trips=" + std::to_string(s.net().round_trips);
  for (int k = 0; k < static_cast<int>(TripCall::kCount); ++k) {
    if (c.by_call[k] == 0) continue;
    line += std::string(" ") + TripCallName(static_cast<TripCall>(k)) + "=" + std::to_string(c.by_call[k]);
  }
  AppendLine(line + "\n");
}

void LogTrips(TripCall call, uint64_t n) {
  if (n == 0 || std::getenv("TABDB_TRIP_LOG") == nullptr) return;
  AppendLine("pid=" + std::to_string(::getpid()) + " trips=" + std::to_string(n) + " " + TripCallName(call) +
             "=" + std::to_string(n) + "\n");
}

}  // namespace tabdb
