// lob_store.cpp - chunked storage of LOB and LONG values.
#include "storage/lob_store.h"

#include <algorithm>
#include <cstring>

#include "charset/charset.h"
#include "util/errors.h"

namespace tabdb {
namespace {

Status ChunkMissing() { return OraError(ora::kInternalError, {"lob chunk missing"}); }

// A last chunk smaller than this is merged with the next appended bytes,
// so that values written in small pieces do not end up in small chunks.
constexpr size_t kSmallChunk = kLobChunk / 2;

}  // namespace

Status LobStore::SetInfo(int64_t id, const LobInfo& info) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(db_.Cached(
      "INSERT INTO tab$lob(lob_id, bytes, units, chunks, last) VALUES(?1, ?2, ?3, ?4, ?5) "
      "ON CONFLICT(lob_id) DO UPDATE SET bytes = ?2, units = ?3, chunks = ?4, last = ?5",
      &s));
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, static_cast<int64_t>(info.bytes));
  sqlite3_bind_int64(s, 3, static_cast<int64_t>(info.units));
  sqlite3_bind_int64(s, 4, static_cast<int64_t>(info.chunks));
  sqlite3_bind_int64(s, 5, static_cast<int64_t>(info.last));
  return db_.Run(s);
}

Status LobStore::Create(int64_t* id) {
  TABDB_RETURN_IF_ERROR(db_.NextId("next_lob", id));
  return SetInfo(*id, LobInfo{});
}

Status LobStore::CreateWith(std::string_view content, bool is_char, int64_t* id) {
  TABDB_RETURN_IF_ERROR(Create(id));
  if (content.empty()) return Status::Ok();
  return Append(*id, content, is_char);
}

Status LobStore::Copy(int64_t src, int64_t* id) {
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(src, &info));
  TABDB_RETURN_IF_ERROR(db_.NextId("next_lob", id));
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(db_.Cached(
      "INSERT INTO tab$lobdata(lob_id, seq, data) SELECT ?2, seq, data FROM tab$lobdata "
      "WHERE lob_id = ?1",
      &s));
  sqlite3_bind_int64(s, 1, src);
  sqlite3_bind_int64(s, 2, *id);
  TABDB_RETURN_IF_ERROR(db_.Run(s));
  return SetInfo(*id, info);
}

Status LobStore::Delete(int64_t id) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(db_.Cached("DELETE FROM tab$lobdata WHERE lob_id = ?1", &s));
  sqlite3_bind_int64(s, 1, id);
  TABDB_RETURN_IF_ERROR(db_.Run(s));
  TABDB_RETURN_IF_ERROR(db_.Cached("DELETE FROM tab$lob WHERE lob_id = ?1", &s));
  sqlite3_bind_int64(s, 1, id);
  return db_.Run(s);
}

Status LobStore::Info(int64_t id, LobInfo* out) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(
      db_.Cached("SELECT bytes, units, chunks, last FROM tab$lob WHERE lob_id = ?1", &s));
  sqlite3_bind_int64(s, 1, id);
  bool row = false;
  TABDB_RETURN_IF_ERROR(db_.Step(s, &row));
  if (!row) {
    sqlite3_reset(s);
    return OraError(ora::kInvalidLobLocator);
  }
  out->bytes = static_cast<uint64_t>(sqlite3_column_int64(s, 0));
  out->units = static_cast<uint64_t>(sqlite3_column_int64(s, 1));
  out->chunks = static_cast<uint64_t>(sqlite3_column_int64(s, 2));
  out->last = static_cast<uint64_t>(sqlite3_column_int64(s, 3));
  sqlite3_reset(s);
  return Status::Ok();
}

Status LobStore::FloorChunk(int64_t id, uint64_t offset, uint64_t* start, std::string* out,
                            bool* found) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(db_.Cached(
      "SELECT seq, data FROM tab$lobdata WHERE lob_id = ?1 AND seq <= ?2 "
      "ORDER BY seq DESC LIMIT 1",
      &s));
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, static_cast<int64_t>(offset));
  bool row = false;
  TABDB_RETURN_IF_ERROR(db_.Step(s, &row));
  *found = row;
  out->clear();
  if (row) {
    *start = static_cast<uint64_t>(sqlite3_column_int64(s, 0));
    const void* p = sqlite3_column_blob(s, 1);
    out->assign(static_cast<const char*>(p ? p : ""),
                static_cast<size_t>(sqlite3_column_bytes(s, 1)));
  }
  sqlite3_reset(s);
  return Status::Ok();
}

Status LobStore::FloorStart(int64_t id, uint64_t offset, uint64_t* start, bool* found) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(db_.Cached(
      "SELECT seq FROM tab$lobdata WHERE lob_id = ?1 AND seq <= ?2 ORDER BY seq DESC LIMIT 1", &s));
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, static_cast<int64_t>(offset));
  bool row = false;
  TABDB_RETURN_IF_ERROR(db_.Step(s, &row));
  *found = row;
  if (row) *start = static_cast<uint64_t>(sqlite3_column_int64(s, 0));
  sqlite3_reset(s);
  return Status::Ok();
}

Status LobStore::StoreChunk(int64_t id, uint64_t start, std::string_view data) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(db_.Cached(
      "INSERT OR REPLACE INTO tab$lobdata(lob_id, seq, data) VALUES(?1, ?2, ?3)", &s));
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, static_cast<int64_t>(start));
  sqlite3_bind_blob(s, 3, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
  return db_.Run(s);
}

template <typename Fn>
Status LobStore::ForEachChunk(int64_t id, uint64_t offset, Fn fn) {
  // Start at the chunk holding `offset` (or the first one after it).
  uint64_t from = 0;
  bool found = false;
  TABDB_RETURN_IF_ERROR(FloorStart(id, offset, &from, &found));
  if (!found) from = offset;
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(db_.Cached(
      "SELECT seq, data FROM tab$lobdata WHERE lob_id = ?1 AND seq >= ?2 ORDER BY seq", &s));
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, static_cast<int64_t>(from));
  for (;;) {
    bool row = false;
    TABDB_RETURN_IF_ERROR(db_.Step(s, &row));
    if (!row) break;
    uint64_t start = static_cast<uint64_t>(sqlite3_column_int64(s, 0));
    const void* p = sqlite3_column_blob(s, 1);
    std::string_view data(static_cast<const char*>(p ? p : ""),
                          static_cast<size_t>(sqlite3_column_bytes(s, 1)));
    if (!fn(start, data)) break;
  }
  sqlite3_reset(s);
  return Status::Ok();
}

Status LobStore::Append(int64_t id, std::string_view data, bool is_char) {
  if (data.empty()) return Status::Ok();
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(id, &info));
  if (is_char) info.units += Utf8LeadUnits(data);
  if (info.last > 0 && info.last < kSmallChunk && info.last + data.size() <= kLobChunk) {
    // A small last chunk takes the new bytes in.
    uint64_t start = info.bytes - info.last;
    std::string chunk;
    bool found = false;
    TABDB_RETURN_IF_ERROR(FloorChunk(id, start, &start, &chunk, &found));
    if (!found) return ChunkMissing();
    chunk.append(data.data(), data.size());
    TABDB_RETURN_IF_ERROR(StoreChunk(id, start, chunk));
    info.bytes += data.size();
    info.last = chunk.size();
    return SetInfo(id, info);
  }
  while (!data.empty()) {
    size_t take = std::min(kLobChunk, data.size());
    TABDB_RETURN_IF_ERROR(StoreChunk(id, info.bytes, data.substr(0, take)));
    data.remove_prefix(take);
    info.bytes += take;
    info.last = take;
    ++info.chunks;
  }
  return SetInfo(id, info);
}

Status LobStore::Truncate(int64_t id, uint64_t bytes, bool is_char) {
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(id, &info));
  if (bytes >= info.bytes) return Status::Ok();
  // Drop the chunks that start at or after the cut, then shorten the one
  // the cut falls into.
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(
      db_.Cached("DELETE FROM tab$lobdata WHERE lob_id = ?1 AND seq >= ?2", &s));
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, static_cast<int64_t>(bytes));
  TABDB_RETURN_IF_ERROR(db_.Run(s));
  LobInfo now;
  now.bytes = bytes;
  if (bytes > 0) {
    uint64_t start = 0;
    std::string chunk;
    bool found = false;
    TABDB_RETURN_IF_ERROR(FloorChunk(id, bytes - 1, &start, &chunk, &found));
    if (!found) return ChunkMissing();
    if (start + chunk.size() > bytes) {
      chunk.resize(static_cast<size_t>(bytes - start));
      TABDB_RETURN_IF_ERROR(StoreChunk(id, start, chunk));
    }
    now.last = chunk.size();
  }
  // Recount chunks (and characters: the cut may be anywhere in the value).
  TABDB_RETURN_IF_ERROR(ForEachChunk(id, 0, [&](uint64_t, std::string_view data) {
    ++now.chunks;
    if (is_char) now.units += Utf8LeadUnits(data);
    return true;
  }));
  return SetInfo(id, now);
}

Status LobStore::Splice(int64_t id, uint64_t offset, uint64_t old_len, std::string_view data,
                        bool is_char) {
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(id, &info));
  offset = std::min(offset, info.bytes);
  uint64_t tail_at = std::min(info.bytes, offset + old_len);
  if (tail_at >= info.bytes) {
    TABDB_RETURN_IF_ERROR(Truncate(id, offset, is_char));
    return Append(id, data, is_char);
  }
  if (data.size() == tail_at - offset) {
    // Same length: overwrite in place, chunk by chunk.
    uint64_t pos = offset;
    size_t done = 0;
    std::string chunk;
    while (done < data.size()) {
      uint64_t start = 0;
      bool found = false;
      TABDB_RETURN_IF_ERROR(FloorChunk(id, pos, &start, &chunk, &found));
      size_t in_chunk = static_cast<size_t>(pos - start);
      if (!found || in_chunk >= chunk.size()) return ChunkMissing();
      size_t take = std::min(chunk.size() - in_chunk, data.size() - done);
      if (is_char) {
        info.units -= Utf8LeadUnits(std::string_view(chunk).substr(in_chunk, take));
        info.units += Utf8LeadUnits(data.substr(done, take));
      }
      chunk.replace(in_chunk, take, data.data() + done, take);
      TABDB_RETURN_IF_ERROR(StoreChunk(id, start, chunk));
      pos += take;
      done += take;
    }
    return SetInfo(id, info);
  }
  // Different lengths: park what follows in a scratch value, cut, append
  // the new bytes, then bring what followed back.
  int64_t scratch = 0;
  TABDB_RETURN_IF_ERROR(Create(&scratch));
  std::string piece;
  for (uint64_t pos = tail_at; pos < info.bytes; pos += piece.size()) {
    TABDB_RETURN_IF_ERROR(Read(id, pos, kLobChunk, &piece));
    if (piece.empty()) return ChunkMissing();
    TABDB_RETURN_IF_ERROR(Append(scratch, piece, is_char));
  }
  TABDB_RETURN_IF_ERROR(Truncate(id, offset, is_char));
  TABDB_RETURN_IF_ERROR(Append(id, data, is_char));
  uint64_t moved = info.bytes - tail_at;
  for (uint64_t pos = 0; pos < moved; pos += piece.size()) {
    TABDB_RETURN_IF_ERROR(Read(scratch, pos, kLobChunk, &piece));
    if (piece.empty()) return ChunkMissing();
    TABDB_RETURN_IF_ERROR(Append(id, piece, is_char));
  }
  return Delete(scratch);
}

Status LobStore::Read(int64_t id, uint64_t offset, size_t max, std::string* out,
                      const LobInfo* known) {
  out->clear();
  LobInfo info;
  if (known) {
    info = *known;
  } else {
    TABDB_RETURN_IF_ERROR(Info(id, &info));
  }
  if (offset >= info.bytes) return Status::Ok();
  uint64_t end = std::min<uint64_t>(info.bytes, offset + max);
  out->reserve(static_cast<size_t>(end - offset));
  uint64_t pos = offset;
  Status gap;
  TABDB_RETURN_IF_ERROR(ForEachChunk(id, offset, [&](uint64_t start, std::string_view data) {
    if (start > pos || start + data.size() <= pos) {
      gap = ChunkMissing();
      return false;
    }
    size_t in_chunk = static_cast<size_t>(pos - start);
    size_t take = std::min<size_t>(data.size() - in_chunk, static_cast<size_t>(end - pos));
    out->append(data.data() + in_chunk, take);
    pos += take;
    return pos < end;
  }));
  TABDB_RETURN_IF_ERROR(gap);
  if (pos < end) return ChunkMissing();
  return Status::Ok();
}

Status LobStore::ByteOffsetOfUnits(int64_t id, uint64_t units, uint64_t* byte_offset) {
  if (units == 0) {
    *byte_offset = 0;
    return Status::Ok();
  }
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(id, &info));
  *byte_offset = info.bytes;
  // Lead-byte counting, so that a character split between two chunks is
  // counted once.
  uint64_t left = units;
  TABDB_RETURN_IF_ERROR(ForEachChunk(id, 0, [&](uint64_t start, std::string_view data) {
    size_t at = Utf8SkipUnits(data, &left);
    if (at == data.size()) return true;
    *byte_offset = start + at;
    return false;
  }));
  return Status::Ok();
}

Status LobStore::ReadAll(int64_t id, size_t limit, std::string* out) {
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(id, &info));
  if (info.bytes > limit) {
    return OraError(ora::kLobBufferTooSmall, {std::to_string(info.bytes), std::to_string(limit)});
  }
  return Read(id, 0, static_cast<size_t>(info.bytes), out, &info);
}

Status LobStore::ChunkStart(int64_t id, uint64_t offset, uint64_t* start, bool* found) {
  return FloorStart(id, offset, start, found);
}

Status LobStore::SeekChunk(int64_t id, uint64_t start, sqlite3_stmt** s, bool* found) {
  TABDB_RETURN_IF_ERROR(
      db_.Cached("SELECT data FROM tab$lobdata WHERE lob_id = ?1 AND seq = ?2", s));
  sqlite3_bind_int64(*s, 1, id);
  sqlite3_bind_int64(*s, 2, static_cast<int64_t>(start));
  Status st = db_.Step(*s, found);
  if (!st.ok()) sqlite3_reset(*s);
  return st;
}

Status LobStore::AppendChunk(int64_t id, uint64_t start, std::string* out, bool* found) {
  sqlite3_stmt* s = nullptr;
  bool row = false;
  TABDB_RETURN_IF_ERROR(SeekChunk(id, start, &s, &row));
  *found = row;
  if (row) {
    const void* p = sqlite3_column_blob(s, 0);
    out->append(static_cast<const char*>(p ? p : ""), static_cast<size_t>(sqlite3_column_bytes(s, 0)));
  }
  sqlite3_reset(s);
  return Status::Ok();
}

Status LobReader::Open(Database& db, int64_t id, uint64_t offset, uint64_t end) {
  Release();
  id_ = id;
  pos_ = offset;
  end_ = std::max(offset, end);
  buf_.clear();
  head_ = 0;
  next_ = 0;
  skip_ = 0;
  if (offset == 0 || offset >= end_) return Status::Ok();
  // Values start at byte 0 with a chunk; any other offset starts in the
  // chunk holding it, whose bytes before the offset are skipped when it
  // is loaded.
  uint64_t start = 0;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LobStore(db).ChunkStart(id, offset, &start, &found));
  if (!found) return ChunkMissing();
  next_ = start;
  skip_ = static_cast<size_t>(offset - start);
  return Status::Ok();
}

Status LobReader::Fill(Database& db, size_t want) {
  Release();
  LobStore lobs(db);
  while (buf_.size() - head_ < want && next_ < end_) {
    if (head_ > 0) {
      // Keep only the unread bytes.
      buf_.erase(0, head_);
      head_ = 0;
    }
    size_t had = buf_.size();
    bool found = false;
    TABDB_RETURN_IF_ERROR(lobs.AppendChunk(id_, next_, &buf_, &found));
    if (!found || buf_.size() - had <= skip_) return ChunkMissing();
    next_ += buf_.size() - had;
    head_ += skip_;
    skip_ = 0;
  }
  return Status::Ok();
}

Status LobReader::SeekNext(Database& db, sqlite3_stmt** s, const char** data, size_t* size) {
  bool row = false;
  TABDB_RETURN_IF_ERROR(LobStore(db).SeekChunk(id_, next_, s, &row));
  *data = row ? static_cast<const char*>(sqlite3_column_blob(*s, 0)) : nullptr;
  *size = row ? static_cast<size_t>(sqlite3_column_bytes(*s, 0)) : 0;
  if (*data == nullptr || *size <= skip_) {
    sqlite3_reset(*s);
    return ChunkMissing();
  }
  return Status::Ok();
}

Status LobReader::Peek(Database& db, size_t want, std::string_view* out) {
  if (head_ < buf_.size() || next_ >= end_) {
    TABDB_RETURN_IF_ERROR(Fill(db, want));
    *out = available();
    return Status::Ok();
  }
  sqlite3_stmt* s = nullptr;
  const char* p = nullptr;
  size_t n = 0;
  TABDB_RETURN_IF_ERROR(SeekNext(db, &s, &p, &n));
  size_t usable = static_cast<size_t>(std::min<uint64_t>(n - skip_, end_ - pos_));
  if (usable < want && next_ + n < end_) {
    // The piece needs more than this chunk: collect it with the next ones.
    buf_.assign(p, n);
    head_ = skip_;
    skip_ = 0;
    next_ += n;
    sqlite3_reset(s);
    TABDB_RETURN_IF_ERROR(Fill(db, want));
    *out = available();
    return Status::Ok();
  }
  held_ = s;
  held_data_ = p;
  held_size_ = n;
  held_used_ = skip_;
  skip_ = 0;
  *out = std::string_view(p + held_used_, usable);
  return Status::Ok();
}

void LobReader::Release() {
  if (held_ == nullptr) return;
  buf_.assign(held_data_ + held_used_, held_size_ - held_used_);
  head_ = 0;
  next_ += held_size_;
  sqlite3_reset(held_);
  held_ = nullptr;
  held_data_ = nullptr;
}

Status LobReader::Take(Database& db, char* dst, size_t room, size_t* n) {
  Release();
  *n = 0;
  while (*n < room && pos_ < end_) {
    if (head_ < buf_.size()) {
      size_t k = static_cast<size_t>(
          std::min<uint64_t>(std::min(room - *n, buf_.size() - head_), end_ - pos_));
      std::memcpy(dst + *n, buf_.data() + head_, k);
      head_ += k;
      pos_ += k;
      *n += k;
      if (head_ == buf_.size()) {
        buf_.clear();
        head_ = 0;
      }
      continue;
    }
    if (next_ >= end_) return ChunkMissing();  // the range ends past the loaded chunks
    sqlite3_stmt* s = nullptr;
    const char* p = nullptr;
    size_t size = 0;
    TABDB_RETURN_IF_ERROR(SeekNext(db, &s, &p, &size));
    size_t usable = static_cast<size_t>(std::min<uint64_t>(size - skip_, end_ - pos_));
    size_t k = std::min(room - *n, usable);
    std::memcpy(dst + *n, p + skip_, k);
    *n += k;
    pos_ += k;
    buf_.assign(p + skip_ + k, size - skip_ - k);
    head_ = 0;
    next_ += size;
    skip_ = 0;
    sqlite3_reset(s);
  }
  return Status::Ok();
}

void LobReader::Unread(const char* bytes, size_t n) {
  Release();
  buf_.replace(0, head_, bytes, n);
  head_ = 0;
  pos_ -= n;
}

void LobReader::Close() {
  Release();
  buf_.clear();
  head_ = skip_ = 0;
  pos_ = end_ = next_ = 0;
}

}  // namespace tabdb
