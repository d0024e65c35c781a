// metadata_browse.cpp - DBMS_METADATA's browsing contexts of a session:
// their checks with Oracle's errors, and the fetch that hands out GET_DDL
// texts of the filtered objects, SET_COUNT at a time.
#include "exec/metadata_browse.h"

#include <cctype>

#include "catalog/catalog.h"
#include "exec/convert.h"
#include "exec/scalar_fns.h"
#include "util/errors.h"
#include "values/number.h"

namespace tabdb {
namespace {

Status WithStack(Status st) {
  st.AddLine("ORA-06512: at \"SYS.DBMS_METADATA\", line 7909");
  st.AddLine("ORA-06512: at line 1");
  return st;
}

Status BadValue(const std::string& value, const std::string& param, const std::string& fn) {
  return WithStack(OraError(ora::kInvalidInputValue, {value, param, fn}));
}

std::string Upper(std::string t) {
  for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return t;
}

Status Context(Session& s, int64_t handle, const char* fn, MetadataBrowse** out) {
  auto it = s.metadata_browses().find(handle);
  if (it == s.metadata_browses().end()) return BadValue(std::to_string(handle), "HANDLE", fn);
  *out = &it->second;
  return Status::Ok();
}

// Settings may change only before the first fetch.
Status NotFetching(const MetadataBrowse& b, int64_t handle, const char* fn) {
  if (!b.fetching) return Status::Ok();
  return WithStack(OraError(ora::kInconsistentParameter, {"HANDLE", std::to_string(handle), fn, "FETCH"}));
}

}  // namespace

bool MetadataHandleOf(const Value& v, int64_t* out) {
  if (v.null) return false;
  Number n;
  return Number::Decode(reinterpret_cast<const uint8_t*>(v.bytes.data()), v.bytes.size(), &n).ok() &&
         n.Trunc(0).ToInt64(out).ok();
}

Status MetadataOpen(Session& s, const std::string& type_arg, int64_t* handle) {
  std::string type = Upper(type_arg);
  if (type != "TABLE" && type != "INDEX" && type != "CONSTRAINT" && type != "REF_CONSTRAINT")
    return BadValue(type_arg, "OBJECT_TYPE", "OPEN");
  *handle = s.NewMetadataHandle();
  MetadataBrowse& b = s.metadata_browses()[*handle];
  b.type = type;
  return Status::Ok();
}

Status MetadataSetFilter(Session& s, int64_t handle, const std::string& name_arg, const Value& value) {
  MetadataBrowse* b = nullptr;
  TABDB_RETURN_IF_ERROR(Context(s, handle, "SET_FILTER", &b));
  TABDB_RETURN_IF_ERROR(NotFetching(*b, handle, "SET_FILTER"));
  std::string name = Upper(name_arg);
  bool known = name == "SCHEMA" || name == "NAME" ||
               (b->type != "TABLE" && (name == "BASE_OBJECT_SCHEMA" || name == "BASE_OBJECT_NAME"));
  if (!known) return WithStack(OraError(ora::kInvalidFilter, {"NAME", name_arg, b->type, "SET_FILTER"}));
  if (value.null) return BadValue("NULL", "VALUE", "SET_FILTER");
  b->filters[name] = value.bytes;
  return Status::Ok();
}

Status MetadataSetCount(Session& s, int64_t handle, const Value& value) {
  MetadataBrowse* b = nullptr;
  TABDB_RETURN_IF_ERROR(Context(s, handle, "SET_COUNT", &b));
  TABDB_RETURN_IF_ERROR(NotFetching(*b, handle, "SET_COUNT"));
  int64_t n = 0;
  if (!MetadataHandleOf(value, &n) || n < 1)
    return BadValue(value.null ? "NULL" : std::to_string(n), "VALUE", "SET_COUNT");
  b->count = n;
  return Status::Ok();
}

Status MetadataAddTransform(Session& s, int64_t handle, const std::string& name, int64_t* transform) {
  MetadataBrowse* b = nullptr;
  TABDB_RETURN_IF_ERROR(Context(s, handle, "ADD_TRANSFORM", &b));
  TABDB_RETURN_IF_ERROR(NotFetching(*b, handle, "ADD_TRANSFORM"));
  if (Upper(name) != "DDL" || b->transform != 0) return BadValue(name, "NAME", "ADD_TRANSFORM");
  b->transform = s.NewMetadataHandle();
  *transform = b->transform;
  return Status::Ok();
}

Status MetadataSetTransformParam(Session& s, int64_t transform, const std::string& name_arg, int value) {
  for (auto& [handle, b] : s.metadata_browses()) {
    if (b.transform != transform) continue;
    TABDB_RETURN_IF_ERROR(NotFetching(b, handle, "SET_TRANSFORM_PARAM"));
    std::string name = Upper(name_arg);
    TransformParams& t = b.params;
    if (name == "DEFAULT") {
      t = TransformParams();
      return Status::Ok();
    }
    bool* p = name == "PRETTY"                 ? &t.pretty
              : name == "SQLTERMINATOR"        ? &t.sqlterminator
              : name == "SEGMENT_ATTRIBUTES"   ? &t.segment_attributes
              : name == "STORAGE"              ? &t.storage
              : name == "TABLESPACE"           ? &t.tablespace
              : name == "CONSTRAINTS"          ? &t.constraints
              : name == "REF_CONSTRAINTS"      ? &t.ref_constraints
              : name == "CONSTRAINTS_AS_ALTER" ? &t.constraints_as_alter
              : name == "SIZE_BYTE_KEYWORD"    ? &t.size_byte_keyword
              : name == "EMIT_SCHEMA"          ? &t.emit_schema
                                               : nullptr;
    if (!p) return BadValue(name, "NAME", "SET_TRANSFORM_PARAM");
    if (value < 0) return BadValue("NULL", name, "SET_TRANSFORM_PARAM");
    *p = value == 1;
    return Status::Ok();
  }
  return BadValue(std::to_string(transform), "TRANSFORM_HANDLE", "SET_TRANSFORM_PARAM");
}

Status MetadataFetchClob(Session& s, int64_t handle, std::string* out, bool* null) {
  MetadataBrowse* b = nullptr;
  TABDB_RETURN_IF_ERROR(Context(s, handle, "FETCH_CLOB", &b));
  // Without the DDL transform Oracle gives XML, which is not made here.
  if (b->transform == 0) return BadValue(std::to_string(handle), "HANDLE", "FETCH_CLOB");
  if (!b->fetching) {
    b->fetching = true;
    auto f = b->filters.find("SCHEMA");
    std::string schema = f != b->filters.end() ? f->second : s.current_schema();
    f = b->filters.find("BASE_OBJECT_NAME");
    std::string base = f != b->filters.end() ? f->second : "";
    f = b->filters.find("BASE_OBJECT_SCHEMA");
    if (f != b->filters.end() && f->second != schema) base = std::string(1, '\0');  // none then
    TABDB_RETURN_IF_ERROR(ListMetadataObjects(s, b->type, schema, base, &b->names));
    f = b->filters.find("NAME");
    if (f != b->filters.end()) {
      std::vector<std::string> one;
      for (const std::string& n : b->names)
        if (n == f->second) one.push_back(n);
      b->names.swap(one);
    }
    b->filters["SCHEMA"] = schema;
  }
  out->clear();
  *null = true;
  // The context's parameters stand for the session's while its texts are made.
  TransformParams saved = s.transforms();
  s.transforms() = b->params;
  Status st;
  for (int64_t k = 0; k < b->count && b->next < b->names.size(); ++k) {
    std::string text;
    st = GetDdl(s, b->type, b->names[b->next++], b->filters["SCHEMA"], &text);
    if (!st.ok()) break;
    *out += text;
    *null = false;
  }
  s.transforms() = saved;
  return st;
}

Status MetadataClose(Session& s, int64_t handle) {
  MetadataBrowse* b = nullptr;
  TABDB_RETURN_IF_ERROR(Context(s, handle, "CLOSE", &b));
  s.metadata_browses().erase(handle);
  return Status::Ok();
}

void EvalMetadataBrowse(FnCall& c, Status* st) {
  Session& s = *c.session;
  int64_t handle = 0;
  if (c.variant == 'O') {
    if (c.arg(0).null) {
      *st = BadValue("NULL", "OBJECT_TYPE", "OPEN");
      return;
    }
    *st = MetadataOpen(s, c.arg(0).bytes, &handle);
  } else {
    const char* fn = c.variant == 'T' ? "ADD_TRANSFORM" : "FETCH_CLOB";
    if (!MetadataHandleOf(c.arg(0), &handle)) {
      *st = BadValue("NULL", "HANDLE", fn);
      return;
    }
    if (c.variant == 'F') {
      std::string text;
      bool null = true;
      *st = MetadataFetchClob(s, handle, &text, &null);
      if (st->ok() && !null) *c.out = Value::Of(TypeKind::kClob, std::move(text));
      return;
    }
    *st = MetadataAddTransform(s, handle, c.arg(1).null ? "NULL" : c.arg(1).bytes, &handle);
  }
  if (st->ok()) *st = TextToValue(std::to_string(handle), TypeKind::kNumber, c.out);
}

}  // namespace tabdb
