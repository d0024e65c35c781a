// plsql_collection.h - PL/SQL collections: associative arrays (INDEX BY),
// nested tables and varrays, their elements and their methods (COUNT,
// EXISTS, FIRST, LAST, NEXT, PRIOR, LIMIT, EXTEND, TRIM, DELETE).
//
// A collection variable holds a Collection by value: assigning one
// collection to another copies its elements.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exec/plsql_state.h"
#include "exec/value.h"
#include "util/status.h"

namespace tabdb {
namespace pl {

struct CollType {
  enum Kind { kAssoc, kNested, kVarray } kind = kAssoc;
  std::string name;
  bool string_key = false;  // INDEX BY VARCHAR2(n)
  int64_t limit = 0;        // VARRAY(n)
  TypeInfo elem;            // the element's type (a record's fields)
};

// A subscript: a number, or text for INDEX BY VARCHAR2.
struct CollKey {
  int64_t n = 0;
  std::string s;
  bool operator<(const CollKey& o) const { return n != o.n ? n < o.n : s < o.s; }
};

struct Element {
  Value v;
  std::vector<std::string> fields;  // of a record element
  std::vector<Value> fvals;
};

struct Collection {
  std::shared_ptr<const CollType> type;
  bool null = false;  // a nested table or varray not yet constructed
  std::map<CollKey, Element> items;
  int64_t size = 0;   // nested table, varray: slots made (deleted ones of a nested table included)
};

// A new collection of `type`: an empty associative array, or an atomically
// NULL nested table or varray.
std::shared_ptr<Collection> NewCollection(std::shared_ptr<const CollType> type);

// Whether methods, subscripts and constructors may refer to `c`.
Status CheckInitialized(const Collection& c);

// The subscript of value `v` for `c` (ORA-06502 for NULL or a value that
// is no number of an integer-indexed collection).
Status KeyOf(const Collection& c, const Value& v, CollKey* key);

// The element at `key` to read (ORA-06531, ORA-06532, ORA-06533 or
// ORA-01403 when there is none).
Status ElementAt(const Collection& c, const CollKey& key, const Element** out);

// The element at `key` to assign: made in an associative array.
Status ElementFor(Collection& c, const CollKey& key, Element** out);

// The subscript as a value (NUMBER, or VARCHAR2 of a string index).
Value KeyValue(const Collection& c, const CollKey& key);

// COUNT, FIRST, LAST, LIMIT (no argument), EXISTS, NEXT, PRIOR (one).
// EXISTS gives NUMBER 1 / 0. False when `method` is none of these.
bool IsValueMethod(const std::string& method);
Status ValueMethod(const Collection& c, const std::string& method, const Value* arg, Value* out);

// EXTEND, TRIM, DELETE with their evaluated arguments. False when
// `method` is none of these.
bool IsChangeMethod(const std::string& method);
Status ChangeMethod(Collection& c, const std::string& method, const std::vector<Value>& args);

// Collection errors of PL/SQL.
Status UninitializedCollection();  // ORA-06531
Status SubscriptOutsideLimit();    // ORA-06532
Status SubscriptBeyondCount();     // ORA-06533

}  // namespace pl
}  // namespace tabdb
