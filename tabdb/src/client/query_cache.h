// query_cache.h - compiled queries kept per session by their text: a
// statement handle prepared again with a text its session already ran
// takes the compilation back (names resolved, SQLite statements prepared)
// instead of compiling anew, as a server's shared cursors do.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exec/prepared.h"
#include "client/handles.h"
#include "session/session.h"

namespace tabdb {

// Keeps the compiled query of a statement whose text is being replaced
// (closed first) for its session; other statements are left alone.
void ParkQuery(const std::string& text, SessionRef& session, std::unique_ptr<Prepared>* prepared);

// The kept compilation of `text` for session `s` with these bind types,
// or null. The caller still checks it against the catalog version.
std::unique_ptr<Prepared> TakeQuery(Session& s, const std::string& text,
                                    const std::vector<TypeKind>& kinds);

// Forgets the session's queries; called before the session ends.
void DropQueries(const Session* s);

}  // namespace tabdb
