// lob_store.h - LOB and LONG values kept in chunks.
//
// A stored value is a row of tab$lob (its length in bytes and, for
// character values, in UTF-16 code units, which is how Oracle counts CLOB
// characters; its number of chunks and the length of the last one) and its
// content in tab$lobdata, cut into chunks. Invariants: a chunk's seq is the
// byte offset where it starts; chunks hold 1 to kLobChunk bytes and follow
// each other without gap or overlap. Appends therefore add chunks and never
// rewrite one (only a small last chunk is merged with what follows it), and
// the chunk holding byte o is the one with the largest seq <= o. Character
// values are UTF-8; a character may straddle two chunks, and readers that
// need whole characters cut at character boundaries themselves. Reads and
// writes touch one chunk at a time, so memory stays bounded by the chunk
// size whatever the value's size.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "storage/database.h"
#include "util/status.h"

namespace tabdb {

constexpr size_t kLobChunk = 32768;

struct LobInfo {
  uint64_t bytes = 0;
  uint64_t units = 0;   // UTF-16 code units of a character value (0 for binary)
  uint64_t chunks = 0;
  uint64_t last = 0;    // bytes of the last chunk
};

class LobStore {
 public:
  explicit LobStore(Database& db) : db_(db) {}

  // A new empty value. Must run inside a write transaction (as do all the
  // changing calls below).
  Status Create(int64_t* id);
  // A new value holding `content` (UTF-8 when `is_char`).
  Status CreateWith(std::string_view content, bool is_char, int64_t* id);
  // A new value with the content of `src`.
  Status Copy(int64_t src, int64_t* id);
  Status Delete(int64_t id);

  // Appends to the end of the value. For character values the UTF-16
  // unit count is kept up to date (a character may be split across two
  // appends).
  Status Append(int64_t id, std::string_view data, bool is_char);
  // Cuts the value to `bytes` bytes (for character values the caller
  // passes a character boundary).
  Status Truncate(int64_t id, uint64_t bytes, bool is_char);

  // Replaces the `old_len` bytes at byte `offset` by `data` and keeps what
  // follows them (for character values both ends of the replaced range
  // are character boundaries). When the lengths differ, what follows is
  // moved through a scratch value one chunk at a time, so memory stays
  // bounded whatever the value's size.
  Status Splice(int64_t id, uint64_t offset, uint64_t old_len, std::string_view data, bool is_char);

  Status Info(int64_t id, LobInfo* out);
  // Up to `max` bytes starting at byte `offset`. `known`, when given, is
  // the value's current Info (saves looking it up for every read of a
  // stream).
  Status Read(int64_t id, uint64_t offset, size_t max, std::string* out,
              const LobInfo* known = nullptr);
  // Byte offset of the character that starts after `units` UTF-16 units
  // (scans the chunks once).
  Status ByteOffsetOfUnits(int64_t id, uint64_t units, uint64_t* byte_offset);
  // The whole value, when it has at most `limit` bytes; ORA-22835 otherwise.
  Status ReadAll(int64_t id, size_t limit, std::string* out);

  // The chunk holding byte `offset`: its start (no bytes read). *found is
  // false when the value has no such chunk.
  Status ChunkStart(int64_t id, uint64_t offset, uint64_t* start, bool* found);
  // Appends the bytes of the chunk that starts at byte `start` to *out (a
  // lookup by key, no search); *found is false when there is none.
  Status AppendChunk(int64_t id, uint64_t start, std::string* out, bool* found);
  // Looks the chunk that starts at byte `start` up: when *found, *s stands
  // on its row (column 0: the bytes) until the caller resets it.
  Status SeekChunk(int64_t id, uint64_t start, sqlite3_stmt** s, bool* found);

 private:
  // The chunk holding byte `offset`: its start and its bytes.
  Status FloorChunk(int64_t id, uint64_t offset, uint64_t* start, std::string* out, bool* found);
  // Only the start of that chunk (its bytes are not read).
  Status FloorStart(int64_t id, uint64_t offset, uint64_t* start, bool* found);
  Status StoreChunk(int64_t id, uint64_t start, std::string_view data);
  Status SetInfo(int64_t id, const LobInfo& info);
  // Visits the chunks from the one holding `offset` on, in order; `fn`
  // returns false to stop.
  template <typename Fn>
  Status ForEachChunk(int64_t id, uint64_t offset, Fn fn);

  Database& db_;
};

// Reads a byte range of one stored value from front to back and keeps its
// place in the chunk store between calls: the key of the next chunk and
// the unread rest of the current one. Each chunk is fetched once, by its
// key, so a value read in pieces costs one lookup per chunk whatever the
// piece size. No statement stays open between calls (an open read would
// hold the connection's read snapshot and block DROP TABLE); the reader
// keeps no reference to the database either, which every call passes in.
class LobReader {
 public:
  // Positions the reader at byte `offset` of value `id` (nothing is read
  // yet); reading stops at byte `end` (at most the value's length).
  Status Open(Database& db, int64_t id, uint64_t offset, uint64_t end);
  // Loads chunks until at least `want` unread bytes are available, or the
  // range is exhausted. A chunk missing from the store fails.
  Status Fill(Database& db, size_t want);
  // The unread bytes loaded so far (within the range).
  std::string_view available() const {
    size_t n = static_cast<size_t>(std::min<uint64_t>(buf_.size() - head_, end_ - pos_));
    return std::string_view(buf_.data() + head_, n);
  }
  // Like Fill and available(), without copying a chunk that alone holds
  // the `want` bytes (or the rest of the range): the view then points
  // into SQLite's copy of it and stays valid until Release, which must
  // follow before the database is used for anything else.
  Status Peek(Database& db, size_t want, std::string_view* out);
  void Consume(size_t n) {
    if (held_ != nullptr) {
      held_used_ += n;
    } else {
      head_ += n;
    }
    pos_ += n;
  }
  // Keeps the unread rest of a chunk seen by Peek and lets go of it.
  void Release();
  // Copies up to `room` bytes from the current position to `dst` and moves
  // past them: the loaded bytes first, then straight from the chunks that
  // follow, so that a piece which does not line up with the chunks costs
  // no copy of a whole chunk into the reader (only the unread end of the
  // last chunk is kept). *n is the number of bytes copied.
  Status Take(Database& db, char* dst, size_t room, size_t* n);
  // Steps back over the last `n` bytes taken, `bytes` (a piece cut short
  // between characters): they are read again next.
  void Unread(const char* bytes, size_t n);
  uint64_t position() const { return pos_; }
  uint64_t end() const { return end_; }
  bool at_end() const { return pos_ >= end_; }
  // Drops the loaded bytes (memory is kept for the next value).
  void Close();

 private:
  int64_t id_ = 0;
  uint64_t pos_ = 0;   // byte offset of the first unread byte
  uint64_t end_ = 0;
  uint64_t next_ = 0;  // key (start offset) of the next chunk to load
  size_t skip_ = 0;    // bytes of that chunk before pos_ (a start inside it)
  std::string buf_;    // loaded bytes; buf_[head_] is byte pos_
  size_t head_ = 0;
  // Looks the chunk `next_` up: *s stands on its row, *data and *size are
  // its bytes (more than skip_ of them), until the caller resets *s.
  Status SeekNext(Database& db, sqlite3_stmt** s, const char** data, size_t* size);
  // A chunk Peek handed out where SQLite holds it (until Release).
  sqlite3_stmt* held_ = nullptr;
  const char* held_data_ = nullptr;
  size_t held_size_ = 0;
  size_t held_used_ = 0;
};

}  // namespace tabdb
