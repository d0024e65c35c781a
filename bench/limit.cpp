// limit.cpp - the plain SQLite copy of a schema's stored tables: a
// buffered binary file of every value (LOB and LONG values inline with
// their chunks), and its load into copies of the tables in one transaction.
//
// File layout (host byte order; the file is made and read on one machine):
//   "TABLIMT1", text of tab$lob's CREATE, text of tab$lobdata's CREATE,
//   per table: 'T', physical name, CREATE text, column count, per column
//     a byte 1 for LOB/LONG columns else 0, then per row 'R' and one value
//     per column, and 'E' after the last row;
//   'Z' at the end.
// A value is a tag byte: 0 NULL, 1 integer (8 bytes), 2 real (8 bytes),
// 3 text and 4 blob (4-byte length, bytes), 5 a stored LOB/LONG value
// (bytes, units: 8 bytes each; chunk count: 4 bytes; per chunk its
// sequence number and length, 4 bytes each, and its bytes).
#include "limit.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

namespace tabdb::bench {
namespace {

constexpr char kMagic[8] = {'T', 'A', 'B', 'L', 'I', 'M', 'T', '1'};
constexpr size_t kBufferSize = 2 << 20;
// Largest single value or chunk accepted from a file: a larger length can
// only come from a damaged file.
constexpr uint32_t kMaxValueBytes = 1u << 30;

// Connections are used by one thread and share no cache, as the engine's.
constexpr int kOpenFlags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;

enum Tag : uint8_t { kNull = 0, kInt = 1, kReal = 2, kText = 3, kBlob = 4, kLob = 5 };

Status SysError(const std::string& what, const std::string& path) {
  return Status::Error(-1, what + " " + path + ": " + std::strerror(errno));
}

Status SqlError(sqlite3* db, const std::string& what) {
  return Status::Error(-1, what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

Status Damaged(const std::string& what) {
  return Status::Error(-1, "limit file damaged: " + what);
}

// A prepared statement finalized on scope exit.
class Stmt {
 public:
  ~Stmt() { sqlite3_finalize(s_); }
  Status Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_finalize(s_);
    s_ = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s_, nullptr) != SQLITE_OK)
      return SqlError(db, "prepare \"" + sql + "\"");
    return Status::Ok();
  }
  sqlite3_stmt* get() const { return s_; }

 private:
  sqlite3_stmt* s_ = nullptr;
};

class Db {
 public:
  ~Db() { sqlite3_close_v2(db_); }
  Status Open(const std::string& path, int flags) {
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK)
      return SqlError(db_, "open " + path);
    sqlite3_busy_timeout(db_, 10000);
    return Status::Ok();
  }
  Status Exec(const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : "error";
      sqlite3_free(err);
      return Status::Error(-1, sql + ": " + msg);
    }
    return Status::Ok();
  }
  sqlite3* get() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

// Appends to a file through a buffer of kBufferSize bytes. Appends never
// fail on the spot: the first write error is kept, later appends are
// dropped, and Close (or failed()) reports it. That keeps the per-value
// path to a bounds check and a copy.
class Writer {
 public:
  ~Writer() {
    if (fd_ >= 0) ::close(fd_);
  }
  Status Open(const std::string& path) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd_ < 0) return SysError("create", path);
    buf_.resize(kBufferSize);
    return Status::Ok();
  }
  void Put(const void* p, size_t n) {
    if (n <= buf_.size() - used_) {
      std::memcpy(buf_.data() + used_, p, n);
      used_ += n;
    } else {
      Spill(static_cast<const uint8_t*>(p), n);
    }
  }
  template <typename T>
  void PutScalar(T v) {
    Put(&v, sizeof v);
  }
  void PutStr(const void* p, size_t n) {
    PutScalar<uint32_t>(static_cast<uint32_t>(n));
    Put(p, n);
  }
  bool failed() const { return !error_.ok(); }
  const Status& error() const { return error_; }
  Status Close() {
    Flush();
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && error_.ok()) error_ = SysError("close", path_);
    return error_;
  }
  int64_t total() const { return total_; }

 private:
  void Spill(const uint8_t* src, size_t n) {
    while (n > 0 && error_.ok()) {
      if (used_ == buf_.size()) Flush();
      size_t k = std::min(n, buf_.size() - used_);
      std::memcpy(buf_.data() + used_, src, k);
      used_ += k;
      src += k;
      n -= k;
    }
  }
  void Flush() {
    size_t off = 0;
    while (off < used_ && error_.ok()) {
      ssize_t w = ::write(fd_, buf_.data() + off, used_ - off);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) error_ = SysError("write", path_);
      else off += static_cast<size_t>(w);
    }
    total_ += static_cast<int64_t>(off);
    used_ = 0;
  }

  std::string path_;
  int fd_ = -1;
  std::vector<uint8_t> buf_;
  size_t used_ = 0;
  int64_t total_ = 0;
  Status error_;
};

// Reads a file through a buffer; Take hands out contiguous bytes that stay
// valid until the next call.
class Reader {
 public:
  ~Reader() {
    if (fd_ >= 0) ::close(fd_);
  }
  Status Open(const std::string& path) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY);
    if (fd_ < 0) return SysError("open", path);
    buf_.resize(kBufferSize);
    return Status::Ok();
  }
  Status Take(size_t n, const uint8_t** p) {
    if (len_ - pos_ < n) TABDB_RETURN_IF_ERROR(Fill(n));
    *p = buf_.data() + pos_;
    pos_ += n;
    return Status::Ok();
  }
  template <typename T>
  Status TakeScalar(T* v) {
    const uint8_t* p;
    TABDB_RETURN_IF_ERROR(Take(sizeof(T), &p));
    std::memcpy(v, p, sizeof(T));
    return Status::Ok();
  }
  Status TakeLength(uint32_t* n) {
    TABDB_RETURN_IF_ERROR(TakeScalar(n));
    if (*n > kMaxValueBytes) return Damaged("length " + std::to_string(*n));
    return Status::Ok();
  }
  Status TakeStr(std::string* s) {
    uint32_t n = 0;
    TABDB_RETURN_IF_ERROR(TakeLength(&n));
    const uint8_t* p;
    TABDB_RETURN_IF_ERROR(Take(n, &p));
    s->assign(reinterpret_cast<const char*>(p), n);
    return Status::Ok();
  }
  int64_t total() const { return total_; }

 private:
  // Makes n bytes available from pos_ on: moves the rest to the front,
  // grows the buffer for a value larger than it, and reads.
  Status Fill(size_t n) {
    size_t rest = len_ - pos_;
    std::memmove(buf_.data(), buf_.data() + pos_, rest);
    pos_ = 0;
    len_ = rest;
    if (buf_.size() < n) buf_.resize(n);
    while (len_ < n) {
      ssize_t r = ::read(fd_, buf_.data() + len_, buf_.size() - len_);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return SysError("read", path_);
      if (r == 0) return Damaged("it ends too early");
      len_ += static_cast<size_t>(r);
      total_ += r;
    }
    return Status::Ok();
  }

  std::string path_;
  int fd_ = -1;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, len_ = 0;
  int64_t total_ = 0;
};

Status TableSql(sqlite3* db, const std::string& name, std::string* sql) {
  Stmt q;
  TABDB_RETURN_IF_ERROR(q.Prepare(db, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1"));
  sqlite3_bind_text(q.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(q.get()) != SQLITE_ROW) return Status::Error(-1, "no table " + name + " in the database");
  *sql = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 0));
  return Status::Ok();
}

// The CREATE TABLE text `sql` with its table name replaced by `name`.
Status Renamed(const std::string& sql, const std::string& name, std::string* out) {
  size_t paren = sql.find('(');
  if (sql.compare(0, 13, "CREATE TABLE ") != 0 || paren == std::string::npos)
    return Damaged("unexpected table text \"" + sql.substr(0, 40) + "\"");
  *out = "CREATE TABLE \"" + name + "\"" + sql.substr(paren);
  return Status::Ok();
}

std::string Quoted(const std::string& name) {
  std::string q = "\"";
  for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

Status ExportLob(sqlite3_stmt* info, sqlite3_stmt* chunks, int64_t id, Writer& w,
                 LimitStats* stats) {
  sqlite3_reset(info);
  sqlite3_bind_int64(info, 1, id);
  if (sqlite3_step(info) != SQLITE_ROW)
    return Status::Error(-1, "stored value " + std::to_string(id) + " is missing from tab$lob");
  w.PutScalar<uint8_t>(kLob);
  w.PutScalar<int64_t>(sqlite3_column_int64(info, 0));
  w.PutScalar<int64_t>(sqlite3_column_int64(info, 1));
  // Chunks are counted as they come; the count is written in front of them
  // from tab$lob and checked against what was found.
  uint32_t expect = static_cast<uint32_t>(sqlite3_column_int64(info, 2));
  w.PutScalar<uint32_t>(expect);
  sqlite3_reset(chunks);
  sqlite3_bind_int64(chunks, 1, id);
  uint32_t found = 0;
  int rc;
  while ((rc = sqlite3_step(chunks)) == SQLITE_ROW) {
    const void* p = sqlite3_column_blob(chunks, 1);
    size_t n = static_cast<size_t>(sqlite3_column_bytes(chunks, 1));
    w.PutScalar<uint32_t>(static_cast<uint32_t>(sqlite3_column_int64(chunks, 0)));
    w.PutStr(p, n);
    stats->lob_bytes += static_cast<int64_t>(n);
    found++;
  }
  if (rc != SQLITE_DONE) return SqlError(sqlite3_db_handle(chunks), "read tab$lobdata");
  if (found != expect)
    return Status::Error(-1, "stored value " + std::to_string(id) + " has " + std::to_string(found) +
                                 " chunks, tab$lob says " + std::to_string(expect));
  stats->lob_values++;
  return Status::Ok();
}

Status ExportTable(sqlite3* db, int64_t obj_id, const std::string& phys, Writer& w,
                   sqlite3_stmt* info, sqlite3_stmt* chunks, LimitStats* stats) {
  std::string create;
  TABDB_RETURN_IF_ERROR(TableSql(db, phys, &create));
  std::set<std::string> lob_cols;
  {
    Stmt q;
    TABDB_RETURN_IF_ERROR(q.Prepare(db,
        "SELECT intcol FROM tab$columns WHERE obj_id = ?1 AND data_type IN "
        "('CLOB', 'NCLOB', 'BLOB', 'LONG', 'LONG RAW')"));
    sqlite3_bind_int64(q.get(), 1, obj_id);
    while (sqlite3_step(q.get()) == SQLITE_ROW)
      lob_cols.insert("c" + std::to_string(sqlite3_column_int64(q.get(), 0)));
  }
  Stmt rows;
  TABDB_RETURN_IF_ERROR(rows.Prepare(db, "SELECT * FROM " + Quoted(phys)));
  int ncol = sqlite3_column_count(rows.get());
  std::vector<char> is_lob(static_cast<size_t>(ncol));
  w.PutScalar<uint8_t>('T');
  w.PutStr(phys.data(), phys.size());
  w.PutStr(create.data(), create.size());
  w.PutScalar<uint32_t>(static_cast<uint32_t>(ncol));
  for (int c = 0; c < ncol; c++) {
    is_lob[static_cast<size_t>(c)] = lob_cols.count(sqlite3_column_name(rows.get(), c)) > 0;
    w.PutScalar<uint8_t>(is_lob[static_cast<size_t>(c)] ? 1 : 0);
  }
  int rc;
  sqlite3_stmt* s = rows.get();
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    w.PutScalar<uint8_t>('R');
    for (int c = 0; c < ncol; c++) {
      switch (sqlite3_column_type(s, c)) {
        case SQLITE_NULL: w.PutScalar<uint8_t>(kNull); break;
        case SQLITE_INTEGER:
          if (is_lob[static_cast<size_t>(c)]) {
            TABDB_RETURN_IF_ERROR(ExportLob(info, chunks, sqlite3_column_int64(s, c), w, stats));
          } else {
            w.PutScalar<uint8_t>(kInt);
            w.PutScalar<int64_t>(sqlite3_column_int64(s, c));
          }
          break;
        case SQLITE_FLOAT:
          w.PutScalar<uint8_t>(kReal);
          w.PutScalar<double>(sqlite3_column_double(s, c));
          break;
        case SQLITE_TEXT: {
          const unsigned char* p = sqlite3_column_text(s, c);
          w.PutScalar<uint8_t>(kText);
          w.PutStr(p, static_cast<size_t>(sqlite3_column_bytes(s, c)));
          break;
        }
        default: {
          const void* p = sqlite3_column_blob(s, c);
          w.PutScalar<uint8_t>(kBlob);
          w.PutStr(p, static_cast<size_t>(sqlite3_column_bytes(s, c)));
          break;
        }
      }
    }
    stats->rows++;
    if (w.failed()) return w.error();
  }
  if (rc != SQLITE_DONE) return SqlError(db, "read " + phys);
  stats->tables++;
  w.PutScalar<uint8_t>('E');
  return w.error();
}

// Inserts a stored value read from the file under the new id `id`.
Status ImportLob(Reader& r, sqlite3_stmt* lob_ins, sqlite3_stmt* chunk_ins, int64_t id,
                 LimitStats* stats) {
  int64_t bytes = 0, units = 0;
  uint32_t nchunks = 0;
  TABDB_RETURN_IF_ERROR(r.TakeScalar(&bytes));
  TABDB_RETURN_IF_ERROR(r.TakeScalar(&units));
  TABDB_RETURN_IF_ERROR(r.TakeScalar(&nchunks));
  sqlite3_bind_int64(lob_ins, 1, id);
  sqlite3_bind_int64(lob_ins, 2, bytes);
  sqlite3_bind_int64(lob_ins, 3, units);
  sqlite3_bind_int64(lob_ins, 4, nchunks);
  if (sqlite3_step(lob_ins) != SQLITE_DONE) return SqlError(sqlite3_db_handle(lob_ins), "insert LOB");
  sqlite3_reset(lob_ins);
  int64_t total = 0;
  for (uint32_t k = 0; k < nchunks; k++) {
    uint32_t seq = 0, n = 0;
    const uint8_t* p;
    TABDB_RETURN_IF_ERROR(r.TakeScalar(&seq));
    TABDB_RETURN_IF_ERROR(r.TakeLength(&n));
    TABDB_RETURN_IF_ERROR(r.Take(n, &p));
    sqlite3_bind_int64(chunk_ins, 1, id);
    sqlite3_bind_int64(chunk_ins, 2, seq);
    sqlite3_bind_blob(chunk_ins, 3, n ? static_cast<const void*>(p) : "", static_cast<int>(n),
                      SQLITE_STATIC);
    if (sqlite3_step(chunk_ins) != SQLITE_DONE)
      return SqlError(sqlite3_db_handle(chunk_ins), "insert LOB chunk");
    sqlite3_reset(chunk_ins);
    total += n;
  }
  if (total != bytes) return Damaged("LOB chunks do not add up to its length");
  stats->lob_values++;
  stats->lob_bytes += total;
  return Status::Ok();
}

Status ImportTable(Db& db, Reader& r, sqlite3_stmt* lob_ins, sqlite3_stmt* chunk_ins,
                   int64_t* next_lob, LimitStats* stats) {
  std::string phys, create, copy_sql;
  uint32_t ncol = 0;
  TABDB_RETURN_IF_ERROR(r.TakeStr(&phys));
  TABDB_RETURN_IF_ERROR(r.TakeStr(&create));
  TABDB_RETURN_IF_ERROR(r.TakeScalar(&ncol));
  if (ncol == 0 || ncol > 2000) return Damaged("column count " + std::to_string(ncol));
  std::vector<uint8_t> is_lob(ncol);
  for (uint32_t c = 0; c < ncol; c++) {
    TABDB_RETURN_IF_ERROR(r.TakeScalar(&is_lob[c]));
    if (is_lob[c] > 1) return Damaged("column flag");
  }
  std::string copy = LimitCopyName(phys);
  TABDB_RETURN_IF_ERROR(Renamed(create, copy, &copy_sql));
  TABDB_RETURN_IF_ERROR(db.Exec("DROP TABLE IF EXISTS " + Quoted(copy)));
  TABDB_RETURN_IF_ERROR(db.Exec(copy_sql));

  std::string sql = "INSERT INTO " + Quoted(copy) + " VALUES (";
  for (uint32_t c = 0; c < ncol; c++) sql += c ? ",?" : "?";
  sql += ")";
  Stmt ins;
  TABDB_RETURN_IF_ERROR(ins.Prepare(db.get(), sql));
  sqlite3_stmt* s = ins.get();
  if (sqlite3_bind_parameter_count(s) != static_cast<int>(ncol))
    return Damaged("column count differs from the table text");
  // Text and blob values are copied out of the read buffer, which a later
  // value of the row may move.
  std::vector<std::string> vals(ncol);

  for (;;) {
    uint8_t mark = 0;
    TABDB_RETURN_IF_ERROR(r.TakeScalar(&mark));
    if (mark == 'E') break;
    if (mark != 'R') return Damaged("row mark");
    for (uint32_t c = 0; c < ncol; c++) {
      int col = static_cast<int>(c) + 1;
      uint8_t tag = 0;
      TABDB_RETURN_IF_ERROR(r.TakeScalar(&tag));
      switch (tag) {
        case kNull: sqlite3_bind_null(s, col); break;
        case kInt: {
          int64_t v = 0;
          TABDB_RETURN_IF_ERROR(r.TakeScalar(&v));
          sqlite3_bind_int64(s, col, v);
          break;
        }
        case kReal: {
          double v = 0;
          TABDB_RETURN_IF_ERROR(r.TakeScalar(&v));
          sqlite3_bind_double(s, col, v);
          break;
        }
        case kText:
        case kBlob: {
          TABDB_RETURN_IF_ERROR(r.TakeStr(&vals[c]));
          const std::string& v = vals[c];
          if (tag == kText)
            sqlite3_bind_text(s, col, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
          else
            sqlite3_bind_blob(s, col, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
          break;
        }
        case kLob: {
          if (!is_lob[c]) return Damaged("LOB value in an ordinary column");
          int64_t id = (*next_lob)++;
          TABDB_RETURN_IF_ERROR(ImportLob(r, lob_ins, chunk_ins, id, stats));
          sqlite3_bind_int64(s, col, id);
          break;
        }
        default: return Damaged("value tag " + std::to_string(tag));
      }
    }
    if (sqlite3_step(s) != SQLITE_DONE) return SqlError(db.get(), "insert into " + copy);
    sqlite3_reset(s);
    stats->rows++;
  }
  stats->tables++;
  return Status::Ok();
}

Status DoImport(Db& db, Reader& r, LimitStats* stats) {
  const uint8_t* magic;
  TABDB_RETURN_IF_ERROR(r.Take(sizeof kMagic, &magic));
  if (std::memcmp(magic, kMagic, sizeof kMagic) != 0) return Damaged("not a limit file");
  std::string lob_sql, data_sql, s1, s2;
  TABDB_RETURN_IF_ERROR(r.TakeStr(&lob_sql));
  TABDB_RETURN_IF_ERROR(r.TakeStr(&data_sql));
  TABDB_RETURN_IF_ERROR(Renamed(lob_sql, kLimitLobTable, &s1));
  TABDB_RETURN_IF_ERROR(Renamed(data_sql, kLimitLobDataTable, &s2));
  TABDB_RETURN_IF_ERROR(db.Exec(std::string("DROP TABLE IF EXISTS ") + Quoted(kLimitLobTable)));
  TABDB_RETURN_IF_ERROR(db.Exec(std::string("DROP TABLE IF EXISTS ") + Quoted(kLimitLobDataTable)));
  TABDB_RETURN_IF_ERROR(db.Exec(s1));
  TABDB_RETURN_IF_ERROR(db.Exec(s2));
  Stmt lob_ins, chunk_ins;
  TABDB_RETURN_IF_ERROR(lob_ins.Prepare(db.get(), "INSERT INTO " + Quoted(kLimitLobTable) +
                                                      "(lob_id, bytes, units, chunks) VALUES (?1, ?2, ?3, ?4)"));
  TABDB_RETURN_IF_ERROR(chunk_ins.Prepare(db.get(), "INSERT INTO " + Quoted(kLimitLobDataTable) +
                                                        "(lob_id, seq, data) VALUES (?1, ?2, ?3)"));
  int64_t next_lob = 1;
  for (;;) {
    uint8_t mark = 0;
    TABDB_RETURN_IF_ERROR(r.TakeScalar(&mark));
    if (mark == 'Z') break;
    if (mark != 'T') return Damaged("table mark");
    TABDB_RETURN_IF_ERROR(ImportTable(db, r, lob_ins.get(), chunk_ins.get(), &next_lob, stats));
  }
  return Status::Ok();
}

}  // namespace

std::string LimitCopyName(const std::string& phys) { return phys + "$copy"; }

Status LimitExport(const std::string& db_path, const std::string& owner, const std::string& out_path,
                   LimitStats* stats) {
  *stats = LimitStats{};
  Db db;
  TABDB_RETURN_IF_ERROR(db.Open(db_path, SQLITE_OPEN_READONLY | kOpenFlags));
  // One read transaction: every table is read as of the same moment.
  TABDB_RETURN_IF_ERROR(db.Exec("BEGIN"));
  std::string lob_sql, data_sql;
  TABDB_RETURN_IF_ERROR(TableSql(db.get(), "tab$lob", &lob_sql));
  TABDB_RETURN_IF_ERROR(TableSql(db.get(), "tab$lobdata", &data_sql));
  Writer w;
  TABDB_RETURN_IF_ERROR(w.Open(out_path));
  w.Put(kMagic, sizeof kMagic);
  w.PutStr(lob_sql.data(), lob_sql.size());
  w.PutStr(data_sql.data(), data_sql.size());

  Stmt tables, info, chunks;
  TABDB_RETURN_IF_ERROR(tables.Prepare(db.get(),
      "SELECT t.obj_id, t.phys FROM tab$objects o JOIN tab$tables t ON t.obj_id = o.obj_id "
      "WHERE o.owner = ?1 AND o.type = 'TABLE' ORDER BY o.obj_id"));
  TABDB_RETURN_IF_ERROR(info.Prepare(db.get(), "SELECT bytes, units, chunks FROM tab$lob WHERE lob_id = ?1"));
  TABDB_RETURN_IF_ERROR(chunks.Prepare(db.get(),
      "SELECT seq, data FROM tab$lobdata WHERE lob_id = ?1 ORDER BY seq"));
  sqlite3_bind_text(tables.get(), 1, owner.c_str(), -1, SQLITE_TRANSIENT);
  std::vector<std::pair<int64_t, std::string>> list;
  int rc;
  while ((rc = sqlite3_step(tables.get())) == SQLITE_ROW)
    list.emplace_back(sqlite3_column_int64(tables.get(), 0),
                      reinterpret_cast<const char*>(sqlite3_column_text(tables.get(), 1)));
  if (rc != SQLITE_DONE) return SqlError(db.get(), "read the table list");
  for (const auto& [obj_id, phys] : list)
    TABDB_RETURN_IF_ERROR(ExportTable(db.get(), obj_id, phys, w, info.get(), chunks.get(), stats));
  w.PutScalar<uint8_t>('Z');
  TABDB_RETURN_IF_ERROR(w.Close());
  stats->file_bytes = w.total();
  return db.Exec("COMMIT");
}

Status LimitImport(const std::string& db_path, const std::string& in_path, LimitStats* stats) {
  *stats = LimitStats{};
  Reader r;
  TABDB_RETURN_IF_ERROR(r.Open(in_path));
  Db db;
  TABDB_RETURN_IF_ERROR(db.Open(db_path, SQLITE_OPEN_READWRITE | kOpenFlags));
  // The engine's own settings for its connections, so that the difference
  // measured is the work per row and not the durability chosen.
  TABDB_RETURN_IF_ERROR(db.Exec("PRAGMA synchronous=NORMAL"));
  TABDB_RETURN_IF_ERROR(db.Exec("PRAGMA cache_size=-16384"));
  TABDB_RETURN_IF_ERROR(db.Exec("BEGIN IMMEDIATE"));
  Status st = DoImport(db, r, stats);
  if (!st.ok()) {
    (void)db.Exec("ROLLBACK");  // the import's own error is the one reported
    return st;
  }
  stats->file_bytes = r.total();
  return db.Exec("COMMIT");
}

}  // namespace tabdb::bench
