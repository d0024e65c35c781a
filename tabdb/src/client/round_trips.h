// round_trips.h - what each OCI call would cost against an Oracle server
// across a network, counted per session the way the server counts it
// (V$MYSTAT: SQL*Net round trips, bytes each way, user commits), and the
// delay per round trip that makes the embedded database behave as a remote
// one (TABDB_NET_DELAY_US).
//
// The rules are Oracle's ("OCI Function Server Round-Trips"): handle and
// attribute calls, prepare, bind and define are local; attach, logon,
// logoff, detach, commit, rollback, OCITransStart and every LOB call but a
// read served by LOB prefetch are one each; an execute is one whatever its
// `iters`, and a query's reply brings its first rows (FetchTrips); a fetch
// is one only when the rows at the client run out. A transfer in pieces
// (a LONG fetched or bound in pieces, a polled LOB read or write) is
// counted by StreamTrips.
//
// Bytes are estimates of what crosses the network, made from what crosses
// the call: a header of kTripHeaderBytes each way per round trip, the
// statement text at its first execute, every bound value (its bytes and a
// length byte; a locator kLocatorBytes), the describe data of a query
// (kDescribeBytes per column and its name), every value a fetch places in
// the caller's defines (its length and a length byte, as rows reach the
// defines), and LOB and LONG data.
#pragma once

#include <algorithm>
#include <cstdint>

#include "session/session.h"

namespace tabdb {

enum class TripCall : uint8_t {
  kAttach,
  kLogon,
  kLogoff,
  kDetach,
  kExecute,
  kFetch,
  kLongPiece,  // a piece of a LONG fetched or bound in pieces
  kCommit,
  kRollback,
  kTransStart,
  kLobOpen,
  kLobClose,
  kLobLength,
  kLobRead,
  kLobWrite,
  kLobTrim,
  kLobCreateTemporary,
  kLobFreeTemporary,
  kCount
};
static_assert(static_cast<int>(TripCall::kCount) <= Session::NetClient::kCallKinds,
              "the session keeps a tally per kind of call");

// The OCI function a kind of call stands for ("OCIStmtExecute").
const char* TripCallName(TripCall c);

constexpr uint64_t kTripHeaderBytes = 64;  // a message's packet and call header
constexpr uint64_t kLocatorBytes = 86;     // a LOB locator on the wire
constexpr uint64_t kDescribeBytes = 32;    // a select-list column's describe data
constexpr uint64_t kSduBytes = 8192;       // Oracle Net's default session data unit
constexpr uint64_t kPublishEvery = 64;     // round trips between publications

// Counts one round trip of `call` for session `s`, with its payload bytes
// each way, and waits TABDB_NET_DELAY_US before the call goes on to the
// database, unless the session holds the database's write lock: a server
// takes no lock on the whole database, so waiting then would stop every
// other session's writes. The wait is owed instead and paid when the lock
// has gone (CallEnded, or the session's next round trip), so that the
// session's total wait is the same.
void RoundTrip(Session& s, TripCall call, uint64_t from_client, uint64_t to_client);

// At the end of a call that may have ended the transaction (execute,
// commit, rollback): publishes the figures for other processes when they
// changed (one pwrite), and pays the wait owed once the write lock is gone.
void CallEnded(Session& s);

// Once a session is about to end: appends its tally per kind of call to the
// file TABDB_TRIP_LOG names, when set (one line of NAME=COUNT words).
void LogSessionTrips(Session& s);
// The same for round trips of no session (OCIServerDetach).
void LogTrips(TripCall call, uint64_t n);

// The delay per round trip, from TABDB_NET_DELAY_US (microseconds, at most
// 10 s; anything else is no delay), read when an environment is created.
uint64_t NetDelayFromEnvironment();
// Waits `us` microseconds (test_hooks.h can watch or replace the wait).
void NetWait(uint64_t us);

// The round trips of a value moving in pieces. The call that starts the
// transfer carries the first bytes (`first`: one SDU when the piece rides
// with a fetch or execute reply; 0 when the call is itself the round trip,
// as OCILobRead2 and OCILobWrite2 are); every later piece that starts past
// what the earlier round trips carried is one more, carrying that piece or
// one SDU, whichever is more. So a value moved in one call is one round
// trip, and one moved in pieces of 32 KiB costs one per piece after the
// first: OCI gives the application each piece and asks for the next one
// only when it calls again, the way the appendix counts
// OCIStmtGetPieceInfo, and pieces smaller than a packet ride together.
struct StreamTrips {
  uint64_t moved = 0;    // bytes handed over so far
  uint64_t carried = 0;  // bytes the round trips so far brought

  void Begin(uint64_t first) {
    moved = 0;
    carried = first;
  }
  // Whether the next piece, of at most `room` bytes, costs a round trip
  // (an empty one rides with the call before or after it).
  bool Next(uint64_t room) {
    if (room == 0 || moved < carried) return false;
    carried = moved + std::max(room, kSduBytes);
    return true;
  }
  void Moved(uint64_t n) { moved += n; }
};

// The rows of a query at the client: what the replies so far brought and
// the caller has not yet taken, and whether a reply told the end. An
// execute's reply brings `prefetch` rows (or `iters` into the defines, if
// more); a fetch that needs rows past those costs a round trip that brings
// the rest of its request (at least `prefetch`). A reply shorter than its
// request carries the end, so that the fetch that meets it costs nothing; a
// reply that filled its request exactly leaves the end to the next round
// trip. Rows are read from the database only as the caller takes them: a
// reply's end is known when the database has no row where one was due.
struct FetchTrips {
  uint64_t cached = 0;
  bool end_known = false;
  uint32_t prefetch = 0;  // rows a reply brings beyond the request's

  void Executed(uint32_t rows_prefetch, uint64_t iters) {
    prefetch = rows_prefetch;
    cached = std::max<uint64_t>(iters, rows_prefetch);
    end_known = false;
  }
};

}  // namespace tabdb
