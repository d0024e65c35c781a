// lob.h - the state behind a LOB locator and how other parts of the client
// layer fill and read it.
//
// A locator refers to one LOB value: a stored value (its LOB-store id), a
// value made on the fly (its content inline), or, when marked with
// OCI_ATTR_LOBEMPTY, a new empty LOB to be created when it is bound. A
// locator returned by INSERT ... RETURNING may be written (its row is the
// session's own uncommitted insert), and so may a temporary LOB (a stored
// value of no row, made by OCILobCreateTemporary); one filled by a query
// may only be read. A change through a RETURNING locator whose table has
// CHECK constraints reading the column is checked on the row when it
// completes, and undone when the row breaks one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <oci.h>

#include "client/piece_stream.h"
#include "client/round_trips.h"
#include "exec/row_checks.h"
#include "exec/value.h"
#include "storage/lob_store.h"
#include "util/status.h"

namespace tabdb {

class Session;

class LobState {
 public:
  LobState();
  ~LobState();

  TypeKind kind = TypeKind::kClob;
  bool valid = false;         // refers to a value
  bool empty_marked = false;  // OCI_ATTR_LOBEMPTY
  int64_t lob_id = 0;
  bool has_inline = false;
  std::string inline_content;
  bool writable = false;
  SessionRef session;         // the session the locator was filled in
  bool open = false;
  ub1 open_mode = 0;
  // The stored value's lengths as OCILobOpen found them, kept while the
  // locator is open read-only so that reads need not look them up again.
  bool open_info_known = false;
  LobInfo open_info;

  PieceStream read;           // polling read in progress
  // UTF-16 units of the read in progress not yet handed out, when the read
  // covers a whole stored value (its stored unit count); kUnitsUnknown
  // otherwise. The last piece's character amount is then known without
  // counting its characters.
  static constexpr uint64_t kUnitsUnknown = UINT64_MAX;
  uint64_t read_units_left = kUnitsUnknown;
  PieceStream write;          // polling write in progress
  uint64_t write_pos = 0;     // byte offset of the next write
  uint64_t write_units = 0;   // the same position in UTF-16 units (CLOB/NCLOB)

  // LOB prefetch: the stored bytes of the value's start that came with the
  // row, and whether its length did. Whoever fills a locator under
  // OCI_ATTR_DEFAULT_LOBPREFETCH_SIZE or a define's OCI_ATTR_LOBPREFETCH_*
  // sets them (and counts those bytes in the fetch's bytes to the client);
  // OCILobRead2 of bytes within them and OCILobGetLength2 then cost no
  // round trip (client/round_trips.h).
  uint64_t prefetched_bytes = 0;
  bool length_prefetched = false;
  StreamTrips read_trips;     // of the polling read in progress
  StreamTrips write_trips;    // of the polling write in progress

  bool temporary = false;     // OCILobCreateTemporary made the value

  // The lengths that came with a prefetched locator (length_prefetched):
  // a fetched locator is read-only, so they stay what they were. The
  // embedded database keeps the prefetched bytes where they are stored and
  // reads them from there: a fetched value does not change under the
  // reader's snapshot, and the bytes are not copied twice.
  LobInfo prefetch_info;
  // The CHECK constraints that read the column, and the row (null when
  // none applies); `savepoint` names the savepoint of the session's
  // database that a change in progress can be undone to (empty when none
  // is open).
  std::shared_ptr<RowChecks> row_checks;
  int64_t rowid = 0;
  std::string savepoint;
};

// OCI_ATTR_LOBEMPTY.
void MarkLobEmpty(OCILobLocator* loc);

// The value a locator bound as input stands for (BindToValue).
Status LocatorValue(OCILobLocator* loc, TypeKind kind, Value* out);

// Points a locator at `v` (a fetched LOB column value or a RETURNING
// value) for session `s`.
void SetLocator(OCILobLocator* loc, Session* s, TypeKind kind, const Value& v, bool writable);

// Gives a locator just set by SetLocator for a fetched row its length,
// chunk size and the first `units` characters or bytes (LOB prefetch).
Status PrefetchLocator(OCILobLocator* loc, Session& s, uint64_t units);

// Makes the changes through `loc` (just set by SetLocator for a RETURNING
// column) answer to `checks` on row `rowid`; nothing when checks is null.
void CheckLocatorRow(OCILobLocator* loc, const std::shared_ptr<RowChecks>& checks, int64_t rowid);

}  // namespace tabdb
