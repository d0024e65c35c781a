// ddl_text.cpp - DBMS_METADATA.GET_DDL for tables, indexes and constraints:
// the CREATE TABLE / CREATE INDEX / ALTER TABLE texts in the exact layout
// Oracle 19c gives them, under the session's transform parameters.
//
// Every text re-parses, and run in another schema (owner qualifier
// removed) recreates an object whose GET_DDL text is the same.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "catalog/mview.h"
#include "catalog/catalog_internal.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

std::string N(int64_t v) { return std::to_string(v); }
int64_t Or(int64_t v, int64_t d) { return v == sql::kNoValue ? d : v; }
std::string OrS(const std::string& v, const char* d) { return v.empty() ? std::string(d) : v; }

std::string Trim(const std::string& t) {
  size_t b = 0, e = t.size();
  while (b < e && std::isspace(static_cast<unsigned char>(t[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(t[e - 1]))) --e;
  return t.substr(b, e - b);
}

// The ORA-06512 lines DBMS_METADATA errors carry.
Status WithStack(Status st) {
  st.AddLine(OraError(ora::kPlsqlAt, {"\"SYS.DBMS_METADATA\", line 6069"}).text());
  st.AddLine(OraError(ora::kPlsqlAt, {"\"SYS.DBMS_METADATA\", line 8666"}).text());
  st.AddLine(OraError(ora::kPlsqlAt, {"line 1"}).text());
  return st;
}

Status NotFound(const std::string& name, const std::string& type, const std::string& schema) {
  return WithStack(OraError(ora::kObjectNotFound, {name, type, schema}));
}

// STORAGE(...) of a table or index segment, or of a BASICFILE LOB.
std::string SegmentStorage(const sql::StorageClause& st) {
  return "STORAGE(INITIAL " + N(Or(st.initial, kInitialExtent)) + " NEXT " +
         N(Or(st.next, kNextExtent)) + " MINEXTENTS " + N(Or(st.minextents, kMinExtents)) +
         " MAXEXTENTS " + N(Or(st.maxextents, kMaxExtents)) + "\n  PCTINCREASE " +
         N(Or(st.pctincrease, 0)) + " FREELISTS " + N(Or(st.freelists, 1)) +
         " FREELIST GROUPS " + N(Or(st.freelist_groups, 1)) + "\n  BUFFER_POOL " +
         OrS(st.buffer_pool, "DEFAULT") + " FLASH_CACHE " + OrS(st.flash_cache, "DEFAULT") +
         " CELL_FLASH_CACHE " + OrS(st.cell_flash_cache, "DEFAULT") + ")";
}

// STORAGE(...) of a SECUREFILE LOB: no free lists.
std::string SecureFileStorage(const sql::StorageClause& st) {
  return "STORAGE(INITIAL " + N(Or(st.initial, kSecureFileInitialExtent)) + " NEXT " +
         N(Or(st.next, kNextExtent)) + " MINEXTENTS " + N(Or(st.minextents, kMinExtents)) +
         " MAXEXTENTS " + N(Or(st.maxextents, kMaxExtents)) + "\n  PCTINCREASE " +
         N(Or(st.pctincrease, 0)) + "\n  BUFFER_POOL " + OrS(st.buffer_pool, "DEFAULT") +
         " FLASH_CACHE " + OrS(st.flash_cache, "DEFAULT") + " CELL_FLASH_CACHE " +
         OrS(st.cell_flash_cache, "DEFAULT") + ")";
}

// The state keywords after a constraint's body, in Oracle's order:
// [DEFERRABLE [INITIALLY DEFERRED]] ENABLE|DISABLE [NOVALIDATE].
std::string StateText(const ConstraintRec& c) {
  std::string out;
  if (c.deferrable) out += c.deferred ? "DEFERRABLE INITIALLY DEFERRED " : "DEFERRABLE ";
  out += c.enabled ? "ENABLE" : "DISABLE";
  if (c.enabled && !c.validated) out += " NOVALIDATE";
  return out;
}

std::string TablespaceOf(const sql::SegmentAttributes& a) {
  return a.tablespace_given ? a.tablespace : kDefaultTablespace;
}

class Writer {
 public:
  explicit Writer(Session& s) : s_(s), tp_(s.transforms()) {}

  std::string Q(const std::string& owner, const std::string& name) const {
    return tp_.emit_schema ? Quote(owner) + "." + Quote(name) : Quote(name);
  }

  std::string Type(const TypeDesc& t) const {
    bool byte_char = (t.kind == TypeKind::kVarchar2 || t.kind == TypeKind::kChar) &&
                     !t.char_semantics && t.length != kUnset;
    if (tp_.size_byte_keyword && byte_char)
      return std::string(t.kind == TypeKind::kChar ? "CHAR(" : "VARCHAR2(") + N(t.length) +
             " BYTE)";
    return DdlTypeText(t);
  }

  // Physical attributes of an index (also after USING INDEX): ends with a
  // blank when the tablespace is shown, empty without segment attributes.
  std::string IndexAttrs(const sql::SegmentAttributes& a, bool segment) const {
    if (!tp_.segment_attributes) return "";
    std::string out = "PCTFREE " + N(Or(a.pctfree, kIndexPctFree)) + " INITRANS " +
                      N(Or(a.initrans, kIndexIniTrans)) + " MAXTRANS " +
                      N(Or(a.maxtrans, kMaxTrans));
    if (segment) out += " COMPUTE STATISTICS";
    if (a.logging == 0) out += " NOLOGGING";
    out += " \n";
    if (segment && tp_.storage) out += "  " + SegmentStorage(a.storage) + "\n";
    if (tp_.tablespace) out += "  TABLESPACE " + Quote(TablespaceOf(a)) + " ";
    return out;
  }

  std::string ColumnList(const TableInfo& t, const std::vector<int>& intcols) const {
    std::string out;
    for (size_t i = 0; i < intcols.size(); ++i) {
      if (i) out += ", ";
      for (const ColumnInfo& c : t.columns)
        if (c.intcol == intcols[i]) out += Quote(c.name);
    }
    return out;
  }

  // The body of a primary key, unique or check constraint, after
  // "CONSTRAINT name " / "ADD ". `inline_form`: inside CREATE TABLE, where
  // an index made before the key cannot be named and is described instead.
  Status KeyBody(const TableInfo& t, const ConstraintRec& c, bool segment, bool inline_form,
                 std::string* out) const {
    if (c.type == "C") {
      *out = "CHECK (" + c.search_condition + ") " + StateText(c);
      return Status::Ok();
    }
    if (c.type == "R") return RefBody(t, c, out);
    *out = (c.type == "P" ? "PRIMARY KEY (" : "UNIQUE (") + ColumnList(t, c.intcols) + ")";
    if (!c.enabled || c.index_obj == 0) {
      *out += " " + StateText(c);
      return Status::Ok();
    }
    IndexRec idx;
    TABDB_RETURN_IF_ERROR(LoadIndex(s_, c.index_obj, &idx));
    *out += "\n  USING INDEX ";
    if (c.preexisting && !inline_form) *out += Q(idx.owner, idx.name) + " ";
    else *out += IndexAttrs(idx.attrs, segment);
    *out += " " + StateText(c);
    return Status::Ok();
  }

  // FOREIGN KEY (cols)\n\t  REFERENCES "O"."P" (cols) [ON DELETE ...] state, the
  // referenced columns in the order they pair with the key's columns.
  Status RefBody(const TableInfo& t, const ConstraintRec& c, std::string* out) const {
    std::vector<ForeignKeyInfo> fks;
    TABDB_RETURN_IF_ERROR(LoadForeignKeys(s_, t.obj_id, false, true, &fks));
    for (const ForeignKeyInfo& fk : fks) {
      if (fk.cons_id != c.cons_id) continue;
      TableInfo parent;
      TABDB_RETURN_IF_ERROR(LoadTableById(s_, fk.parent_obj, &parent));
      *out = "FOREIGN KEY (" + ColumnList(t, fk.child_cols) + ")\n\t  REFERENCES " +
             Q(parent.owner, parent.name) + " (" + ColumnList(parent, fk.parent_cols) + ")";
      if (c.delete_rule == "CASCADE" || c.delete_rule == "SET NULL")
        *out += " ON DELETE " + c.delete_rule;
      *out += " " + StateText(c);
      return Status::Ok();
    }
    return OraError(ora::kInternalError, {"foreign key without its key"});
  }

  Status ConstraintText(const TableInfo& t, const ConstraintRec& c, bool segment,
                        std::string* out) const {
    std::string head = "\n  ALTER TABLE " + Q(t.owner, t.name);
    std::string named = c.generated ? "" : "CONSTRAINT " + Quote(c.name) + " ";
    if (c.not_null) {
      *out = head + " MODIFY (" + ColumnList(t, c.intcols) + " " + named + "NOT NULL " +
             StateText(c) + ")";
      return Status::Ok();
    }
    std::string body;
    TABDB_RETURN_IF_ERROR(KeyBody(t, c, segment, false, &body));
    *out = head + " ADD " + named + body;
    return Status::Ok();
  }

  std::string LobClause(const TableInfo& t, const ColumnInfo& col, const LobAttr* la,
                        const std::string& table_ts, bool segment) const {
    sql::LobStorage l = la ? la->lob : sql::LobStorage();
    bool secure = l.securefile != 0;
    std::string out = "\n LOB (" + Quote(col.name) + ") STORE AS ";
    out += secure ? "SECUREFILE " : "BASICFILE ";
    std::string seg_name = l.segment_name;
    if (seg_name.empty() && !tp_.segment_attributes) {
      // Without segment attributes Oracle names the (system-named) segment.
      char buf[64];
      std::snprintf(buf, sizeof buf, "SYS_LOB%010lldC%05d$$", static_cast<long long>(t.obj_id),
                    col.intcol);
      seg_name = buf;
    }
    if (!seg_name.empty()) out += Quote(seg_name);
    out += "(";
    if (tp_.segment_attributes && tp_.tablespace)
      out += "\n  TABLESPACE " + Quote(l.tablespace_given ? l.tablespace : table_ts) + " ";
    out += l.storage_in_row == 0 ? "DISABLE" : "ENABLE";
    out += " STORAGE IN ROW CHUNK " + N(Or(l.chunk, kLobChunk));
    if (!secure)
      out += l.pctversion != sql::kNoValue ? " PCTVERSION " + N(l.pctversion) + " " : " RETENTION ";
    out += "\n  ";
    out += l.cache == 1 ? "CACHE" : l.cache == 2 ? "CACHE READS" : "NOCACHE";
    out += l.logging == 0 ? " NOLOGGING " : " LOGGING ";
    if (secure) {
      out += l.compress == 1 ? " COMPRESS MEDIUM " : " NOCOMPRESS ";
      out += l.keep_duplicates == 0 ? " DEDUPLICATE " : " KEEP_DUPLICATES ";
    }
    if (tp_.segment_attributes && segment && tp_.storage)
      out += "\n  " + (secure ? SecureFileStorage(l.storage) : SegmentStorage(l.storage));
    return out + ") ";
  }

  Status TableText(const TableInfo& t, std::vector<std::string>* stmts) const {
    sql::SegmentAttributes a;
    std::vector<LobAttr> lobs;
    TABDB_RETURN_IF_ERROR(LoadTableAttrs(s_, t.obj_id, &a, &lobs));
    std::vector<ConstraintRec> cons;
    TABDB_RETURN_IF_ERROR(LoadConstraints(s_, t.obj_id, &cons));
    bool segment = SegmentExists(a, t.has_rows);

    std::vector<const ColumnInfo*> cols;
    for (const ColumnInfo& c : t.columns)
      if (!c.hidden) cols.push_back(&c);
    std::stable_sort(cols.begin(), cols.end(), [](const ColumnInfo* x, const ColumnInfo* y) {
      return x->column_id < y->column_id;
    });

    const bool temporary = !t.temp_rows.empty();
    std::string out = std::string(temporary ? "\n  CREATE GLOBAL TEMPORARY TABLE " : "\n  CREATE TABLE ") +
                      Q(t.owner, t.name) + " \n   (";
    bool first = true;
    auto item = [&](const std::string& text) {
      out += first ? "\t" : ", \n\t";
      first = false;
      out += text;
    };
    for (const ColumnInfo* c : cols) {
      std::string def = Quote(c->name) + " " + Type(c->type);
      if (c->is_virtual) {
        def += " GENERATED ALWAYS AS (" + c->virtual_expr + ") VIRTUAL ";
      } else if (c->identity) {
        std::string clause;
        TABDB_RETURN_IF_ERROR(IdentityDdlText(s_, *c, &clause));
        def += clause;
      } else if (!c->data_default.empty()) {
        def += (c->default_on_null ? " DEFAULT ON NULL " : " DEFAULT ") + Trim(c->data_default);
      }
      for (const ConstraintRec& k : cons) {
        if (!k.not_null || k.intcols.empty() || k.intcols[0] != c->intcol) continue;
        if (!k.generated) def += " CONSTRAINT " + Quote(k.name);
        def += " NOT NULL " + StateText(k);
      }
      item(def);
    }
    bool keys_inline = tp_.constraints && !tp_.constraints_as_alter;
    // Foreign keys follow the other constraints, inline or as ALTER TABLE.
    bool refs_inline = tp_.ref_constraints && !(tp_.constraints && tp_.constraints_as_alter);
    // An index-organized table's primary key is always inline, without
    // its index's attributes: the index is the table.
    bool iot = false;
    TABDB_RETURN_IF_ERROR(IsIot(s_, t.obj_id, &iot));
    for (int pass = 0; pass < 2; ++pass) {
      if (iot && pass == 0) {
        for (const ConstraintRec& k : cons)
          if (k.type == "P")
            item(" " + (k.generated ? "" : "CONSTRAINT " + Quote(k.name) + " ") + "PRIMARY KEY (" +
                 ColumnList(t, k.intcols) + ") ENABLE");
      }
      if (pass == 0 ? !keys_inline : !refs_inline) continue;
      for (const ConstraintRec& k : cons) {
        if (k.not_null || (k.type == "R") != (pass == 1)) continue;
        if (iot && k.type == "P") continue;
        std::string body;
        TABDB_RETURN_IF_ERROR(KeyBody(t, k, segment, true, &body));
        item(" " + (k.generated ? "" : "CONSTRAINT " + Quote(k.name) + " ") + body);
      }
    }
    out += "\n   ) ";
    std::string ts = TablespaceOf(a);
    std::string tail;
    bool special = false;
    TABDB_RETURN_IF_ERROR(PartitionedTableTail(s_, t, a, &tail, &special));
    if (temporary) {
      // A temporary table has no segment attributes, only its rows' lifetime.
      out += "ON COMMIT " + t.temp_rows + " ROWS ";
    } else if (special) {
      out += tail;
    } else if (tp_.segment_attributes) {
      out += segment ? "SEGMENT CREATION IMMEDIATE \n" : "SEGMENT CREATION DEFERRED \n";
      out += "  PCTFREE " + N(Or(a.pctfree, kTablePctFree)) + " PCTUSED " +
             N(Or(a.pctused, kTablePctUsed)) + " INITRANS " + N(Or(a.initrans, kTableIniTrans)) +
             " MAXTRANS " + N(Or(a.maxtrans, kMaxTrans)) + " \n ";
      out += a.compress == 1 ? "ROW STORE COMPRESS BASIC" : "NOCOMPRESS";
      out += a.logging == 0 ? " NOLOGGING\n" : " LOGGING\n";
      if (segment && tp_.storage) out += "  " + SegmentStorage(a.storage) + "\n";
      if (tp_.tablespace) out += "  TABLESPACE " + Quote(ts) + " ";
    }
    for (const ColumnInfo& c : t.columns) {
      if (c.hidden || !c.stored() || !IsLob(c.type.kind)) continue;
      const LobAttr* la = nullptr;
      for (const LobAttr& l : lobs)
        if (l.intcol == c.intcol) la = &l;
      out += LobClause(t, c, la, ts, segment);
    }
    stmts->push_back(std::move(out));

    if (tp_.constraints && tp_.constraints_as_alter) {
      for (const ConstraintRec& k : cons) {
        if (k.not_null || k.type == "R" || (iot && k.type == "P")) continue;
        std::string text;
        if (k.enabled && k.preexisting) {
          // The key names its index, which has to be made first.
          IndexRec idx;
          TABDB_RETURN_IF_ERROR(LoadIndex(s_, k.index_obj, &idx));
          TABDB_RETURN_IF_ERROR(IndexText(idx, &text));
          stmts->push_back(std::move(text));
        }
        TABDB_RETURN_IF_ERROR(ConstraintText(t, k, segment, &text));
        stmts->push_back(std::move(text));
      }
      if (tp_.ref_constraints) {
        for (const ConstraintRec& k : cons) {
          if (k.type != "R") continue;
          std::string text;
          TABDB_RETURN_IF_ERROR(ConstraintText(t, k, segment, &text));
          stmts->push_back(std::move(text));
        }
      }
    }
    return Status::Ok();
  }

  Status IndexText(const IndexRec& idx, std::string* out) const {
    TableInfo t;
    TABDB_RETURN_IF_ERROR(LoadTableById(s_, idx.table_obj, &t));
    sql::SegmentAttributes ta;
    TABDB_RETURN_IF_ERROR(LoadTableAttrs(s_, t.obj_id, &ta, nullptr));
    bool segment = SegmentExists(ta, t.has_rows);
    std::string keys;
    for (size_t i = 0; i < idx.keys.size(); ++i) {
      const IndexKeyRec& k = idx.keys[i];
      if (i) keys += ", ";
      if (!k.expr.empty()) {
        keys += k.expr;
      } else {
        keys += ColumnList(t, {k.intcol});
      }
      if (k.desc) keys += " DESC";
    }
    *out = "\n  CREATE ";
    if (idx.unique) *out += "UNIQUE ";
    if (idx.bitmap()) *out += "BITMAP ";
    *out += "INDEX " + Q(idx.owner, idx.name) + " ON " + Q(t.owner, t.name) + " (" + keys + ")";
    if (idx.reverse) *out += " REVERSE";
    bool partitioned = false;
    TABDB_RETURN_IF_ERROR(IndexPartitionTail(s_, idx.obj_id, idx.attrs, out, &partitioned));
    if (!partitioned) *out += " \n  " + IndexAttrs(idx.attrs, segment);
    if (idx.attrs.parallel >= 2) *out += "\n  PARALLEL " + N(idx.attrs.parallel) + " ";
    return Status::Ok();
  }

  // PRETTY FALSE: the statement on one line.
  static std::string Compact(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      char ch = text[i];
      if (ch == '\t') continue;
      if (ch == '\n') {
        while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) ++i;
        bool next_close = i + 1 < text.size() && text[i + 1] == ')';
        if (!out.empty() && out.back() != ' ' && out.back() != '(' && !next_close) out += ' ';
        continue;
      }
      out += ch;
    }
    return out;
  }

  std::string Finish(const std::vector<std::string>& stmts) const {
    std::string out;
    for (const std::string& st : stmts) {
      out += tp_.pretty ? st : Compact(st);
      if (tp_.sqlterminator) out += ";";
    }
    return out;
  }

 private:
  Session& s_;
  const TransformParams& tp_;
};

bool Visible(Session& s, const std::string& schema) {
  return s.user().dba || schema == s.user().name;
}

// Object types DBMS_METADATA knows but this database has no objects of.
bool OtherKnownType(const std::string& t) {
  static const char* const kTypes[] = {
      "VIEW",           "SEQUENCE", "SYNONYM",         "PROCEDURE",
      "FUNCTION",       "PACKAGE", "PACKAGE_BODY", "TRIGGER",     "TYPE",
      "TYPE_BODY",      "MATERIALIZED_VIEW", "MATERIALIZED_VIEW_LOG", "DB_LINK",
      "USER",           "ROLE",    "TABLESPACE", "CLUSTER",       "DIRECTORY"};
  for (const char* k : kTypes)
    if (t == k) return true;
  return false;
}

}  // namespace
}  // namespace cat

Status GetDdl(Session& s, const std::string& object_type, const std::string& name,
              const std::string& schema_arg, std::string* out) {
  using namespace cat;
  std::string type = object_type;
  for (char& ch : type) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  std::string schema = schema_arg.empty() ? s.current_schema() : schema_arg;
  bool code = false;
  TABDB_RETURN_IF_ERROR(StoredCodeText(s, type, name, schema, out, &code));
  if (code) return Status::Ok();
  if (type == "SEQUENCE") {
    if (!Visible(s, schema)) return NotFound(name, type, schema);
    bool found = false;
    TABDB_RETURN_IF_ERROR(SequenceDdlText(s, schema, name, out, &found));
    return found ? Status::Ok() : NotFound(name, type, schema);
  }
  if (type == "VIEW" || type == "SYNONYM") {
    // Public synonyms are everyone's to see.
    if (schema != "PUBLIC" && !Visible(s, schema)) return NotFound(name, type, schema);
    bool found = false;
    std::string text;
    if (type == "VIEW") TABDB_RETURN_IF_ERROR(ViewDdlText(s, schema, name, &text, &found));
    else TABDB_RETURN_IF_ERROR(SynonymDdlText(s, schema, name, &text, &found));
    if (!found) return NotFound(name, type, schema);
    if (!s.transforms().pretty && text.rfind("\n  ", 0) == 0) text = text.substr(3);
    if (s.transforms().sqlterminator) text += ";";
    *out = std::move(text);
    return Status::Ok();
  }
  if (type == "DIMENSION") {
    if (!Visible(s, schema)) return NotFound(name, type, schema);
    bool found = false;
    std::string text;
    TABDB_RETURN_IF_ERROR(DimensionDdlText(s, schema, name, &text, &found));
    if (!found) return NotFound(name, type, schema);
    if (!s.transforms().pretty && text.rfind("\n  ", 0) == 0) text = text.substr(3);
    if (s.transforms().sqlterminator) text += ";";
    *out = std::move(text);
    return Status::Ok();
  }
  if (type == "MATERIALIZED_VIEW" || type == "MATERIALIZED_VIEW_LOG") {
    if (!Visible(s, schema)) return NotFound(name, type, schema);
    bool found = false;
    std::string text;
    TABDB_RETURN_IF_ERROR(MviewDdlText(s, type, schema, name, &text, &found));
    if (!found) return NotFound(name, type, schema);
    if (!s.transforms().pretty && text.rfind("\n  ", 0) == 0) text = text.substr(3);
    if (s.transforms().sqlterminator) text += ";";
    *out = std::move(text);
    return Status::Ok();
  }
  bool constraint = type == "CONSTRAINT" || type == "REF_CONSTRAINT";
  if (type != "TABLE" && type != "INDEX" && !constraint) {
    if (OtherKnownType(type)) return NotFound(name, type, schema);
    return WithStack(OraError(ora::kInvalidInputValue, {object_type, "OBJECT_TYPE", "GET_DDL"}));
  }
  if (!Visible(s, schema)) return NotFound(name, type, schema);

  Writer w(s);
  std::vector<std::string> stmts;
  if (constraint) {
    // Foreign keys are REF_CONSTRAINT objects, the other kinds CONSTRAINT.
    ConstraintRec c;
    bool found = false;
    TABDB_RETURN_IF_ERROR(FindConstraint(s, schema, name, &c, &found));
    if (!found || (c.type == "R") != (type == "REF_CONSTRAINT")) return NotFound(name, type, schema);
    TableInfo t;
    TABDB_RETURN_IF_ERROR(LoadTableById(s, c.table_obj, &t));
    sql::SegmentAttributes ta;
    TABDB_RETURN_IF_ERROR(LoadTableAttrs(s, t.obj_id, &ta, nullptr));
    std::string text;
    TABDB_RETURN_IF_ERROR(w.ConstraintText(t, c, SegmentExists(ta, t.has_rows), &text));
    stmts.push_back(std::move(text));
  } else {
    int64_t obj = 0;
    std::string found_type;
    TABDB_RETURN_IF_ERROR(FindObjectOfType(s, schema, name, type, &obj, &found_type));
    if (obj == 0 || found_type != type) return NotFound(name, type, schema);
    if (type == "TABLE") {
      TableInfo t;
      TABDB_RETURN_IF_ERROR(LoadTableById(s, obj, &t));
      TABDB_RETURN_IF_ERROR(w.TableText(t, &stmts));
    } else {
      IndexRec idx;
      TABDB_RETURN_IF_ERROR(LoadIndex(s, obj, &idx));
      std::string text;
      TABDB_RETURN_IF_ERROR(w.IndexText(idx, &text));
      stmts.push_back(std::move(text));
    }
  }
  *out = w.Finish(stmts);
  return Status::Ok();
}

Status ListMetadataObjects(Session& s, const std::string& type, const std::string& schema,
                           const std::string& base, std::vector<std::string>* out) {
  out->clear();
  if (!cat::Visible(s, schema)) return Status::Ok();
  // foreign keys are REF_CONSTRAINT objects, the other kinds CONSTRAINT;
  // ?2 is the object type in every query
  static const char* const kConstraints =
      "SELECT c.name FROM tab$constraints c WHERE c.owner = ?1 AND (c.type = 'R') = (?2 = 'REF_CONSTRAINT') "
      "ORDER BY c.name";
  static const char* const kTableConstraints =
      "SELECT c.name FROM tab$constraints c, tab$objects t WHERE c.owner = ?1 AND (c.type = 'R') = "
      "(?2 = 'REF_CONSTRAINT') AND t.obj_id = c.table_obj AND t.name = ?3 ORDER BY c.name";
  static const char* const kObjects = "SELECT name FROM tab$objects WHERE owner = ?1 AND type = ?2 ORDER BY name";
  static const char* const kTableIndexes =
      "SELECT o.name FROM tab$objects o WHERE o.owner = ?1 AND o.type = ?2 AND EXISTS "
      "(SELECT 1 FROM tab$indexes i, tab$objects t WHERE i.obj_id = o.obj_id AND "
      "t.obj_id = i.table_obj AND t.name = ?3) ORDER BY o.name";
  bool constraint = type == "CONSTRAINT" || type == "REF_CONSTRAINT";
  bool by_table = !base.empty();
  const char* sql = constraint ? (by_table ? kTableConstraints : kConstraints) : (by_table ? kTableIndexes : kObjects);
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(sql, &q));
  sqlite3_bind_text(q, 1, schema.data(), static_cast<int>(schema.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 2, type.data(), static_cast<int>(type.size()), SQLITE_TRANSIENT);
  if (by_table) sqlite3_bind_text(q, 3, base.data(), static_cast<int>(base.size()), SQLITE_TRANSIENT);
  for (;;) {
    bool row = false;
    Status st = s.db().Step(q, &row);
    if (!st.ok() || !row) {
      sqlite3_reset(q);
      return st;
    }
    const unsigned char* t = sqlite3_column_text(q, 0);
    if (t) out->push_back(reinterpret_cast<const char*>(t));
  }
}

Status GetDependentDdl(Session& s, const std::string& object_type, const std::string& base_name,
                       const std::string& base_schema_arg, std::string* out) {
  using namespace cat;
  std::string type = object_type;
  for (char& ch : type) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  std::string schema = base_schema_arg.empty() ? s.current_schema() : base_schema_arg;
  if (type == "COMMENT") return CommentDdlText(s, schema, base_name, out);
  if (type != "CONSTRAINT" && type != "REF_CONSTRAINT" && type != "INDEX")
    return WithStack(
        OraError(ora::kInvalidInputValue, {object_type, "OBJECT_TYPE", "GET_DEPENDENT_DDL"}));
  Status none = WithStack(OraError(ora::kDependentNotFound, {type}));
  // A base table that is missing or not the session's to see has nothing.
  if (!Visible(s, schema)) return none;
  int64_t obj = 0;
  std::string found_type;
  TABDB_RETURN_IF_ERROR(FindObject(s, schema, base_name, &obj, &found_type));
  if (obj == 0 || found_type != "TABLE") return none;
  TableInfo t;
  TABDB_RETURN_IF_ERROR(LoadTableById(s, obj, &t));
  sql::SegmentAttributes ta;
  TABDB_RETURN_IF_ERROR(LoadTableAttrs(s, t.obj_id, &ta, nullptr));
  bool segment = SegmentExists(ta, t.has_rows);

  Writer w(s);
  std::vector<std::string> stmts;
  if (type == "INDEX") {
    std::vector<IndexRec> indexes;
    TABDB_RETURN_IF_ERROR(LoadTableIndexes(s, t.obj_id, &indexes));
    for (const IndexRec& idx : indexes) {
      std::string text;
      TABDB_RETURN_IF_ERROR(w.IndexText(idx, &text));
      stmts.push_back(std::move(text));
    }
  } else {
    // NOT NULL constraints stay in the column definitions of the table's
    // own text, so they are not given again here.
    std::vector<ConstraintRec> cons;
    TABDB_RETURN_IF_ERROR(LoadConstraints(s, t.obj_id, &cons));
    for (const ConstraintRec& c : cons) {
      if (c.not_null || (c.type == "R") != (type == "REF_CONSTRAINT")) continue;
      std::string text;
      TABDB_RETURN_IF_ERROR(w.ConstraintText(t, c, segment, &text));
      stmts.push_back(std::move(text));
    }
  }
  if (stmts.empty()) return none;
  *out = w.Finish(stmts);
  return Status::Ok();
}

}  // namespace tabdb
