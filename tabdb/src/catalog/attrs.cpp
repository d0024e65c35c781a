// attrs.cpp - JSON form of the recorded physical clauses, and the check of
// tablespace names.
#include "catalog/attrs.h"

#include <cstdio>
#include <cstring>

#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

void AppendJsonString(std::string* out, const std::string& v) {
  out->push_back('"');
  for (unsigned char ch : v) {
    if (ch == '"' || ch == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(ch));
    } else if (ch < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", ch);
      *out += buf;
    } else {
      out->push_back(static_cast<char>(ch));
    }
  }
  out->push_back('"');
}

// Writes one flat JSON object; members whose value is "absent" are left out.
class JsonObject {
 public:
  void Int(const char* key, int64_t v, int64_t absent) {
    if (v == absent) return;
    Key(key);
    out_ += std::to_string(v);
  }
  void Str(const char* key, const std::string& v) {
    if (v.empty()) return;
    Key(key);
    AppendJsonString(&out_, v);
  }
  void Storage(bool has, const sql::StorageClause& st) {
    if (!has) return;
    Int("has_storage", 1, 0);
    Int("st_initial", st.initial, sql::kNoValue);
    Int("st_next", st.next, sql::kNoValue);
    Int("st_minextents", st.minextents, sql::kNoValue);
    Int("st_maxextents", st.maxextents, sql::kNoValue);
    Int("st_pctincrease", st.pctincrease, sql::kNoValue);
    Int("st_freelists", st.freelists, sql::kNoValue);
    Int("st_freelist_groups", st.freelist_groups, sql::kNoValue);
    Str("st_buffer_pool", st.buffer_pool);
    Str("st_flash_cache", st.flash_cache);
    Str("st_cell_flash_cache", st.cell_flash_cache);
  }
  std::string Done() const { return out_ + "}"; }

 private:
  void Key(const char* key) {
    if (out_.size() > 1) out_ += ",";
    out_ += '"';
    out_ += key;
    out_ += "\":";
  }
  std::string out_ = "{";
};

// Applies one recorded member to a STORAGE clause; false when `key` is not
// a storage member.
bool ApplyStorage(const std::string& key, const SqliteStmt& row, int col, bool* has,
                  sql::StorageClause* st) {
  if (key == "has_storage") *has = row.Int(col) != 0;
  else if (key == "st_initial") st->initial = row.Int(col);
  else if (key == "st_next") st->next = row.Int(col);
  else if (key == "st_minextents") st->minextents = row.Int(col);
  else if (key == "st_maxextents") st->maxextents = row.Int(col);
  else if (key == "st_pctincrease") st->pctincrease = row.Int(col);
  else if (key == "st_freelists") st->freelists = row.Int(col);
  else if (key == "st_freelist_groups") st->freelist_groups = row.Int(col);
  else if (key == "st_buffer_pool") st->buffer_pool = row.Text(col);
  else if (key == "st_flash_cache") st->flash_cache = row.Text(col);
  else if (key == "st_cell_flash_cache") st->cell_flash_cache = row.Text(col);
  else return false;
  return true;
}

Status Prepare(Database& db, const char* sql, SqliteStmt* out) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db.handle(), sql, -1, &s, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(s);
    return SqliteError(db.handle(), rc);
  }
  out->reset(s);
  return Status::Ok();
}

}  // namespace

std::string SegmentAttributesToJson(const sql::SegmentAttributes& a) {
  JsonObject o;
  o.Int("pctfree", a.pctfree, sql::kNoValue);
  o.Int("pctused", a.pctused, sql::kNoValue);
  o.Int("initrans", a.initrans, sql::kNoValue);
  o.Int("maxtrans", a.maxtrans, sql::kNoValue);
  o.Int("compress", a.compress, -1);
  o.Int("logging", a.logging, -1);
  o.Int("segment_creation", a.segment_creation, -1);
  o.Int("compute_statistics", a.compute_statistics ? 1 : 0, 0);
  if (a.tablespace_given) o.Str("tablespace", a.tablespace);
  o.Int("parallel", a.parallel, -1);
  o.Storage(a.has_storage, a.storage);
  return o.Done();
}

Status SegmentAttributesFromJson(Database& db, const std::string& text,
                                 sql::SegmentAttributes* out) {
  *out = sql::SegmentAttributes();
  if (text.empty()) return Status::Ok();
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(db, "SELECT key, value FROM json_each(?1)", &q));
  q.BindText(1, text);
  int rc;
  while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
    std::string key = q.Text(0);
    if (ApplyStorage(key, q, 1, &out->has_storage, &out->storage)) continue;
    if (key == "pctfree") out->pctfree = q.Int(1);
    else if (key == "pctused") out->pctused = q.Int(1);
    else if (key == "initrans") out->initrans = q.Int(1);
    else if (key == "maxtrans") out->maxtrans = q.Int(1);
    else if (key == "compress") out->compress = static_cast<int>(q.Int(1));
    else if (key == "logging") out->logging = static_cast<int>(q.Int(1));
    else if (key == "segment_creation") out->segment_creation = static_cast<int>(q.Int(1));
    else if (key == "compute_statistics") out->compute_statistics = q.Int(1) != 0;
    else if (key == "parallel") out->parallel = static_cast<int>(q.Int(1));
    else if (key == "tablespace") {
      out->tablespace = q.Text(1);
      out->tablespace_given = true;
    }
  }
  if (rc != SQLITE_DONE) return SqliteError(db.handle(), rc);
  return Status::Ok();
}

std::string LobAttrsToJson(const std::vector<LobAttr>& lobs) {
  std::string out = "[";
  for (const LobAttr& la : lobs) {
    const sql::LobStorage& l = la.lob;
    JsonObject o;
    o.Int("intcol", la.intcol, -1);
    o.Int("securefile", l.securefile, -1);
    o.Str("segment_name", l.segment_name);
    if (l.tablespace_given) o.Str("tablespace", l.tablespace);
    o.Int("storage_in_row", l.storage_in_row, -1);
    o.Int("chunk", l.chunk, sql::kNoValue);
    o.Int("pctversion", l.pctversion, sql::kNoValue);
    o.Int("retention", l.retention, -1);
    o.Int("cache", l.cache, -1);
    o.Int("logging", l.logging, -1);
    o.Int("compress", l.compress, -1);
    o.Int("keep_duplicates", l.keep_duplicates, -1);
    o.Storage(l.has_storage, l.storage);
    if (out.size() > 1) out += ",";
    out += o.Done();
  }
  return out + "]";
}

Status LobAttrsFromJson(Database& db, const std::string& text, std::vector<LobAttr>* out) {
  out->clear();
  if (text.empty()) return Status::Ok();
  SqliteStmt q;
  TABDB_RETURN_IF_ERROR(Prepare(
      db, "SELECT a.key, f.key, f.value FROM json_each(?1) a, json_each(a.value) f ORDER BY a.key",
      &q));
  q.BindText(1, text);
  int64_t current = -1;
  int rc;
  while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
    if (q.Int(0) != current) {
      current = q.Int(0);
      out->emplace_back();
    }
    LobAttr& la = out->back();
    sql::LobStorage& l = la.lob;
    std::string key = q.Text(1);
    if (ApplyStorage(key, q, 2, &l.has_storage, &l.storage)) continue;
    if (key == "intcol") la.intcol = static_cast<int>(q.Int(2));
    else if (key == "securefile") l.securefile = static_cast<int>(q.Int(2));
    else if (key == "segment_name") l.segment_name = q.Text(2);
    else if (key == "storage_in_row") l.storage_in_row = static_cast<int>(q.Int(2));
    else if (key == "chunk") l.chunk = q.Int(2);
    else if (key == "pctversion") l.pctversion = q.Int(2);
    else if (key == "retention") l.retention = static_cast<int>(q.Int(2));
    else if (key == "cache") l.cache = static_cast<int>(q.Int(2));
    else if (key == "logging") l.logging = static_cast<int>(q.Int(2));
    else if (key == "compress") l.compress = static_cast<int>(q.Int(2));
    else if (key == "keep_duplicates") l.keep_duplicates = static_cast<int>(q.Int(2));
    else if (key == "tablespace") {
      l.tablespace = q.Text(2);
      l.tablespace_given = true;
    }
  }
  if (rc != SQLITE_DONE) return SqliteError(db.handle(), rc);
  return Status::Ok();
}

Status CheckTablespace(const std::string& name) {
  static const char* const kKnown[] = {"USERS", "SYSTEM", "SYSAUX", "TEMP"};
  for (const char* k : kKnown)
    if (name == k) return Status::Ok();
  return OraError(ora::kTablespaceNotExist, {name});
}

Status CheckAttributes(const sql::SegmentAttributes& a) {
  if (a.tablespace_given) return CheckTablespace(a.tablespace);
  return Status::Ok();
}

Status CheckLobStorage(const sql::LobStorage& lob) {
  if (lob.tablespace_given) return CheckTablespace(lob.tablespace);
  return Status::Ok();
}

}  // namespace cat
}  // namespace tabdb
