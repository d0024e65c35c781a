// plsql_collection.cpp - elements and methods of PL/SQL collections, with
// the errors Oracle gives for uninitialised collections and subscripts out
// of range.
#include "exec/plsql_collection.h"

#include <cmath>
#include <cstdlib>

#include "exec/convert.h"
#include "util/errors.h"

namespace tabdb {
namespace pl {
namespace {

Value Number(int64_t n) {
  Value v;
  Status st = TextToValue(std::to_string(n), TypeKind::kNumber, &v);
  (void)st;
  return v;
}

Status ToInteger(const Value& v, int64_t* out) {
  if (v.null) return OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error: NULL index table key value");
  Value n;
  Status st = ConvertValue(v, TypeKind::kNumber, &n);
  if (!st.ok())
    return OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error: character to number conversion error");
  std::string text;
  TABDB_RETURN_IF_ERROR(ValueToText(n, &text));
  double d = std::strtod(text.c_str(), nullptr);
  if (!(std::fabs(d) < 2147483648.0))
    return OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error");
  *out = static_cast<int64_t>(std::llround(d));
  return Status::Ok();
}

bool Fixed(const Collection& c) { return c.type->kind != CollType::kAssoc; }

}  // namespace

Status UninitializedCollection() { return OraErrorText(6531, "Reference to uninitialized collection"); }
Status SubscriptOutsideLimit() { return OraErrorText(6532, "Subscript outside of limit"); }
Status SubscriptBeyondCount() { return OraErrorText(6533, "Subscript beyond count"); }

std::shared_ptr<Collection> NewCollection(std::shared_ptr<const CollType> type) {
  auto c = std::make_shared<Collection>();
  c->null = type->kind != CollType::kAssoc;
  c->type = std::move(type);
  return c;
}

Status CheckInitialized(const Collection& c) { return c.null ? UninitializedCollection() : Status::Ok(); }

Status KeyOf(const Collection& c, const Value& v, CollKey* key) {
  *key = CollKey();
  if (!c.type->string_key) return ToInteger(v, &key->n);
  if (v.null) return OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error: NULL index table key value");
  return ValueToText(v, &key->s);
}

Value KeyValue(const Collection& c, const CollKey& key) {
  return c.type->string_key ? Value::Of(TypeKind::kVarchar2, key.s) : Number(key.n);
}

Status ElementAt(const Collection& c, const CollKey& key, const Element** out) {
  TABDB_RETURN_IF_ERROR(CheckInitialized(c));
  if (Fixed(c)) {
    if (key.n < 1 || (c.type->kind == CollType::kVarray && key.n > c.type->limit)) return SubscriptOutsideLimit();
    if (key.n > c.size) return SubscriptBeyondCount();
  }
  auto it = c.items.find(key);
  if (it == c.items.end()) return OraError(ora::kNoDataFound);
  *out = &it->second;
  return Status::Ok();
}

Status ElementFor(Collection& c, const CollKey& key, Element** out) {
  TABDB_RETURN_IF_ERROR(CheckInitialized(c));
  if (Fixed(c)) {
    if (key.n < 1 || (c.type->kind == CollType::kVarray && key.n > c.type->limit)) return SubscriptOutsideLimit();
    if (key.n > c.size) return SubscriptBeyondCount();
  }
  auto it = c.items.find(key);
  if (it == c.items.end()) {
    Element e;
    e.v = Value::Null(c.type->elem.typed ? c.type->elem.type.kind : TypeKind::kVarchar2);
    if (c.type->elem.record) {
      e.fields = c.type->elem.fields;
      e.fvals.assign(e.fields.size(), Value::Null(TypeKind::kVarchar2));
    }
    it = c.items.emplace(key, std::move(e)).first;
  }
  *out = &it->second;
  return Status::Ok();
}

bool IsValueMethod(const std::string& m) {
  return m == "COUNT" || m == "FIRST" || m == "LAST" || m == "LIMIT" || m == "EXISTS" || m == "NEXT" ||
         m == "PRIOR";
}

Status ValueMethod(const Collection& c, const std::string& m, const Value* arg, Value* out) {
  if (m == "EXISTS") {
    // EXISTS is the one method an atomically NULL collection answers.
    CollKey k;
    if (c.null || arg == nullptr || !KeyOf(c, *arg, &k).ok()) {
      *out = Number(0);
      return Status::Ok();
    }
    *out = Number(c.items.count(k) ? 1 : 0);
    return Status::Ok();
  }
  TABDB_RETURN_IF_ERROR(CheckInitialized(c));
  TypeKind key_kind = c.type->string_key ? TypeKind::kVarchar2 : TypeKind::kNumber;
  *out = Value::Null(key_kind);
  if (m == "COUNT") {
    *out = Number(static_cast<int64_t>(c.items.size()));
  } else if (m == "LIMIT") {
    if (c.type->kind == CollType::kVarray) *out = Number(c.type->limit);
    else *out = Value::Null(TypeKind::kNumber);
  } else if (m == "FIRST") {
    if (!c.items.empty()) *out = KeyValue(c, c.items.begin()->first);
  } else if (m == "LAST") {
    if (!c.items.empty()) *out = KeyValue(c, c.items.rbegin()->first);
  } else if (arg != nullptr && !arg->null) {  // NEXT, PRIOR
    CollKey k;
    TABDB_RETURN_IF_ERROR(KeyOf(c, *arg, &k));
    if (m == "NEXT") {
      auto it = c.items.upper_bound(k);
      if (it != c.items.end()) *out = KeyValue(c, it->first);
    } else {
      auto it = c.items.lower_bound(k);
      if (it != c.items.begin()) *out = KeyValue(c, std::prev(it)->first);
    }
  }
  return Status::Ok();
}

bool IsChangeMethod(const std::string& m) { return m == "EXTEND" || m == "TRIM" || m == "DELETE"; }

Status ChangeMethod(Collection& c, const std::string& m, const std::vector<Value>& args) {
  TABDB_RETURN_IF_ERROR(CheckInitialized(c));
  if (m == "DELETE") {
    if (args.empty()) {
      c.items.clear();
      if (Fixed(c)) c.size = 0;
      return Status::Ok();
    }
    CollKey lo, hi;
    TABDB_RETURN_IF_ERROR(KeyOf(c, args[0], &lo));
    hi = lo;
    if (args.size() > 1) TABDB_RETURN_IF_ERROR(KeyOf(c, args[1], &hi));
    if (hi < lo) return Status::Ok();
    c.items.erase(c.items.lower_bound(lo), c.items.upper_bound(hi));
    return Status::Ok();
  }
  int64_t n = 1;
  if (!args.empty()) TABDB_RETURN_IF_ERROR(ToInteger(args[0], &n));
  if (n < 0) return OraErrorText(ora::kPlsqlValueError, "PL/SQL: numeric or value error");
  if (m == "TRIM") {
    if (n > c.size) return SubscriptBeyondCount();
    for (int64_t i = 0; i < n; ++i) c.items.erase(CollKey{c.size - i, std::string()});
    c.size -= n;
    return Status::Ok();
  }
  // EXTEND [(n [, i])]: n NULL elements, or n copies of element i.
  if (c.type->kind == CollType::kVarray && c.size + n > c.type->limit) return SubscriptOutsideLimit();
  Element copy;
  bool copied = false;
  if (args.size() > 1) {
    CollKey k;
    TABDB_RETURN_IF_ERROR(KeyOf(c, args[1], &k));
    const Element* e = nullptr;
    TABDB_RETURN_IF_ERROR(ElementAt(c, k, &e));
    copy = *e;
    copied = true;
  }
  for (int64_t i = 0; i < n; ++i) {
    ++c.size;
    Element* e = nullptr;
    TABDB_RETURN_IF_ERROR(ElementFor(c, CollKey{c.size, std::string()}, &e));
    if (copied) *e = copy;
  }
  return Status::Ok();
}

}  // namespace pl
}  // namespace tabdb
