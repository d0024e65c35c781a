// lob_store.cpp - chunked storage of LOB and LONG values.
#include "storage/lob_store.h"

#include <algorithm>

#include "util/errors.h"

namespace tabdb {
namespace {

// UTF-16 code units of UTF-8 bytes: every lead byte starts a character,
// four-byte sequences are two units. Continuation bytes count nothing, so
// the count is right across arbitrary splits of the text.
uint64_t Units(std::string_view s) {
  uint64_t n = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) != 0x80) n += (c >= 0xF0) ? 2 : 1;
  }
  return n;
}

}  // namespace

Status LobStore::SetInfo(int64_t id, const LobInfo& info) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(db_.Cached(
      "INSERT INTO tab$lob(lob_id, bytes, units, chunks) VALUES(?1, ?2, ?3, ?4) "
      "ON CONFLICT(lob_id) DO UPDATE SET bytes = ?2, units = ?3, chunks = ?4",
      &s));
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, static_cast<int64_t>(info.bytes));
  sqlite3_bind_int64(s, 3, static_cast<int64_t>(info.units));
  sqlite3_bind_int64(s, 4, static_cast<int64_t>(info.chunks));
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
    std::string chunk;
    uint64_t pos = offset;
    size_t done = 0;
    while (done < data.size()) {
      int64_t seq = static_cast<int64_t>(pos / kLobChunk);
      size_t in_chunk = static_cast<size_t>(pos % kLobChunk);
      bool found = false;
      TABDB_RETURN_IF_ERROR(LoadChunk(id, seq, &chunk, &found));
      if (!found || in_chunk >= chunk.size()) return OraError(600, {"lob chunk missing"});
      size_t take = std::min(chunk.size() - in_chunk, data.size() - done);
      if (is_char) {
        info.units -= Units(std::string_view(chunk).substr(in_chunk, take));
        info.units += Units(data.substr(done, take));
      }
      chunk.replace(in_chunk, take, data.data() + done, take);
      TABDB_RETURN_IF_ERROR(StoreChunk(id, seq, chunk));
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
    if (piece.empty()) return OraError(600, {"lob chunk missing"});
    TABDB_RETURN_IF_ERROR(Append(scratch, piece, is_char));
  }
  TABDB_RETURN_IF_ERROR(Truncate(id, offset, is_char));
  TABDB_RETURN_IF_ERROR(Append(id, data, is_char));
  uint64_t moved = info.bytes - tail_at;
  for (uint64_t pos = 0; pos < moved; pos += piece.size()) {
    TABDB_RETURN_IF_ERROR(Read(scratch, pos, kLobChunk, &piece));
    if (piece.empty()) return OraError(600, {"lob chunk missing"});
    TABDB_RETURN_IF_ERROR(Append(id, piece, is_char));
  }
  return Delete(scratch);
}

Status LobStore::Info(int64_t id, LobInfo* out) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(
      db_.Cached("SELECT bytes, units, chunks FROM tab$lob WHERE lob_id = ?1", &s));
  sqlite3_bind_int64(s, 1, id);
  bool row = false;
  TABDB_RETURN_IF_ERROR(db_.Step(s, &row));
  if (!row) {
    sqlite3_reset(s);
    return OraError(22275);
  }
  out->bytes = static_cast<uint64_t>(sqlite3_column_int64(s, 0));
  out->units = static_cast<uint64_t>(sqlite3_column_int64(s, 1));
  out->chunks = static_cast<uint64_t>(sqlite3_column_int64(s, 2));
  sqlite3_reset(s);
  return Status::Ok();
}

Status LobStore::LoadChunk(int64_t id, int64_t seq, std::string* out, bool* found) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(
      db_.Cached("SELECT data FROM tab$lobdata WHERE lob_id = ?1 AND seq = ?2", &s));
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, seq);
  bool row = false;
  TABDB_RETURN_IF_ERROR(db_.Step(s, &row));
  *found = row;
  out->clear();
  if (row) {
    const void* p = sqlite3_column_blob(s, 0);
    out->assign(static_cast<const char*>(p ? p : ""),
                static_cast<size_t>(sqlite3_column_bytes(s, 0)));
  }
  sqlite3_reset(s);
  return Status::Ok();
}

Status LobStore::StoreChunk(int64_t id, int64_t seq, std::string_view data) {
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(db_.Cached(
      "INSERT OR REPLACE INTO tab$lobdata(lob_id, seq, data) VALUES(?1, ?2, ?3)", &s));
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, seq);
  sqlite3_bind_blob(s, 3, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
  return db_.Run(s);
}

Status LobStore::Append(int64_t id, std::string_view data, bool is_char) {
  if (data.empty()) return Status::Ok();
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(id, &info));
  if (is_char) info.units += Units(data);
  size_t tail = static_cast<size_t>(info.bytes % kLobChunk);
  if (tail != 0) {
    // Top up the partial last chunk first.
    int64_t seq = static_cast<int64_t>(info.bytes / kLobChunk);
    std::string chunk;
    bool found = false;
    TABDB_RETURN_IF_ERROR(LoadChunk(id, seq, &chunk, &found));
    size_t take = std::min(kLobChunk - tail, data.size());
    chunk.append(data.data(), take);
    TABDB_RETURN_IF_ERROR(StoreChunk(id, seq, chunk));
    data.remove_prefix(take);
    info.bytes += take;
  }
  while (!data.empty()) {
    size_t take = std::min(kLobChunk, data.size());
    int64_t seq = static_cast<int64_t>(info.bytes / kLobChunk);
    TABDB_RETURN_IF_ERROR(StoreChunk(id, seq, data.substr(0, take)));
    data.remove_prefix(take);
    info.bytes += take;
  }
  info.chunks = (info.bytes + kLobChunk - 1) / kLobChunk;
  return SetInfo(id, info);
}

Status LobStore::Truncate(int64_t id, uint64_t bytes, bool is_char) {
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(id, &info));
  if (bytes >= info.bytes) return Status::Ok();
  uint64_t keep_chunks = (bytes + kLobChunk - 1) / kLobChunk;
  sqlite3_stmt* s = nullptr;
  TABDB_RETURN_IF_ERROR(
      db_.Cached("DELETE FROM tab$lobdata WHERE lob_id = ?1 AND seq >= ?2", &s));
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, static_cast<int64_t>(keep_chunks));
  TABDB_RETURN_IF_ERROR(db_.Run(s));
  if (bytes % kLobChunk != 0) {
    int64_t seq = static_cast<int64_t>(bytes / kLobChunk);
    std::string chunk;
    bool found = false;
    TABDB_RETURN_IF_ERROR(LoadChunk(id, seq, &chunk, &found));
    chunk.resize(static_cast<size_t>(bytes % kLobChunk));
    TABDB_RETURN_IF_ERROR(StoreChunk(id, seq, chunk));
  }
  info.bytes = bytes;
  info.chunks = keep_chunks;
  if (is_char) {
    // Recount: the cut may be anywhere in the value.
    uint64_t units = 0;
    std::string chunk;
    for (uint64_t seq = 0; seq < keep_chunks; ++seq) {
      bool found = false;
      TABDB_RETURN_IF_ERROR(LoadChunk(id, static_cast<int64_t>(seq), &chunk, &found));
      units += Units(chunk);
    }
    info.units = units;
  }
  return SetInfo(id, info);
}

Status LobStore::Read(int64_t id, uint64_t offset, size_t max, std::string* out) {
  out->clear();
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(id, &info));
  if (offset >= info.bytes) return Status::Ok();
  uint64_t end = std::min<uint64_t>(info.bytes, offset + max);
  std::string chunk;
  while (offset < end) {
    int64_t seq = static_cast<int64_t>(offset / kLobChunk);
    size_t in_chunk = static_cast<size_t>(offset % kLobChunk);
    bool found = false;
    TABDB_RETURN_IF_ERROR(LoadChunk(id, seq, &chunk, &found));
    if (!found || in_chunk >= chunk.size()) return OraError(600, {"lob chunk missing"});
    size_t take = std::min<size_t>(chunk.size() - in_chunk, static_cast<size_t>(end - offset));
    out->append(chunk, in_chunk, take);
    offset += take;
  }
  return Status::Ok();
}

Status LobStore::ByteOffsetOfUnits(int64_t id, uint64_t units, uint64_t* byte_offset) {
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(id, &info));
  uint64_t seen = 0, pos = 0;
  std::string chunk;
  for (uint64_t seq = 0; seq < info.chunks; ++seq) {
    bool found = false;
    TABDB_RETURN_IF_ERROR(LoadChunk(id, static_cast<int64_t>(seq), &chunk, &found));
    for (unsigned char c : chunk) {
      if ((c & 0xC0) != 0x80) {
        if (seen >= units) {
          *byte_offset = pos;
          return Status::Ok();
        }
        seen += (c >= 0xF0) ? 2 : 1;
      }
      ++pos;
    }
  }
  *byte_offset = info.bytes;
  return Status::Ok();
}

Status LobStore::ReadAll(int64_t id, size_t limit, std::string* out) {
  LobInfo info;
  TABDB_RETURN_IF_ERROR(Info(id, &info));
  if (info.bytes > limit) {
    return OraError(22835, {std::to_string(info.bytes), std::to_string(limit)});
  }
  return Read(id, 0, static_cast<size_t>(info.bytes), out);
}

}  // namespace tabdb
