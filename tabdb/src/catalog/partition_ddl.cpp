// partition_ddl.cpp - records the partitioning of a new table or index and
// the organization of an index-organized table: bounds checked against the
// key columns and put in the forms the dictionary shows (HIGH_VALUE) and
// the routing conditions compare with; partitions the database names.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <set>

#include "catalog/catalog_internal.h"
#include "catalog/partition.h"
#include "util/errors.h"
#include "values/number.h"

namespace tabdb {

bool PartitioningDisabled() {
  const char* v = std::getenv("TABDB_PARTITIONING");
  if (v == nullptr) return false;
  std::string t(v);
  for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return t == "FALSE" || t == "NO" || t == "0" || t == "OFF";
}

namespace cat {
namespace {

void PBind(sqlite3_stmt* q, int i, const std::string& v) {
  sqlite3_bind_text(q, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

std::string Upper(std::string t) {
  for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return t;
}

// The text inside the first '...' of `s` from `at` on; *next after it.
bool QuotedAt(const std::string& s, size_t at, std::string* out, size_t* next) {
  size_t q = s.find('\'', at);
  if (q == std::string::npos) return false;
  out->clear();
  for (size_t i = q + 1; i < s.size(); ++i) {
    if (s[i] == '\'') {
      if (i + 1 < s.size() && s[i + 1] == '\'') {
        out->push_back('\'');
        ++i;
        continue;
      }
      *next = i + 1;
      return true;
    }
    out->push_back(s[i]);
  }
  return false;
}

struct Stamp {
  int y = 0, mo = 1, d = 1, h = 0, mi = 0, sec = 0;
  std::string frac;  // fractional-second digits
};

const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                               "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// Reads `value` under the datetime format `fmt` (the fields of TO_DATE
// formats that bounds use: [S]YYYY, RRRR, YY, RR, MM, MON, MONTH, DD, HH24,
// HH, MI, SS, FF): each field takes the next run of digits (or letters for
// a month name) of the value.
bool ReadStamp(const std::string& value, const std::string& fmt_in, Stamp* out) {
  std::string fmt = Upper(fmt_in);
  size_t v = 0, f = 0;
  auto digits = [&](int max, std::string* raw) {
    while (v < value.size() && !std::isdigit(static_cast<unsigned char>(value[v]))) {
      if (std::isalpha(static_cast<unsigned char>(value[v]))) return false;
      ++v;
    }
    size_t b = v;
    while (v < value.size() && std::isdigit(static_cast<unsigned char>(value[v])) &&
           static_cast<int>(v - b) < max)
      ++v;
    if (v == b) return false;
    *raw = value.substr(b, v - b);
    return true;
  };
  auto field = [&](const char* name) {
    size_t n = std::strlen(name);
    if (fmt.compare(f, n, name) == 0) {
      f += n;
      return true;
    }
    return false;
  };
  std::string raw;
  while (f < fmt.size()) {
    // A value may stop early: the fields left keep their defaults.
    size_t rest = v;
    while (rest < value.size() && !std::isalnum(static_cast<unsigned char>(value[rest]))) ++rest;
    if (rest >= value.size()) break;
    if (field("SYYYY") || field("YYYY") || field("RRRR")) {
      if (!digits(4, &raw)) return false;
      out->y = std::atoi(raw.c_str());
    } else if (field("YY") || field("RR")) {
      if (!digits(4, &raw)) return false;
      out->y = std::atoi(raw.c_str());
      if (raw.size() <= 2) out->y += out->y < 50 ? 2000 : 1900;
    } else if (field("MONTH") || field("MON")) {
      while (v < value.size() && !std::isalpha(static_cast<unsigned char>(value[v]))) ++v;
      size_t b = v;
      while (v < value.size() && std::isalpha(static_cast<unsigned char>(value[v]))) ++v;
      std::string m = Upper(value.substr(b, v - b)).substr(0, 3);
      out->mo = 0;
      for (int i = 0; i < 12; ++i)
        if (m == kMonths[i]) out->mo = i + 1;
      if (out->mo == 0) return false;
    } else if (field("MM")) {
      if (!digits(2, &raw)) return false;
      out->mo = std::atoi(raw.c_str());
    } else if (field("DD")) {
      if (!digits(2, &raw)) return false;
      out->d = std::atoi(raw.c_str());
    } else if (field("HH24") || field("HH12") || field("HH")) {
      if (!digits(2, &raw)) return false;
      out->h = std::atoi(raw.c_str());
    } else if (field("MI")) {
      if (!digits(2, &raw)) return false;
      out->mi = std::atoi(raw.c_str());
    } else if (field("SS")) {
      if (!digits(2, &raw)) return false;
      out->sec = std::atoi(raw.c_str());
    } else if (field("FF")) {
      while (f < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[f]))) ++f;
      if (!digits(9, &raw)) return false;
      out->frac = raw;
    } else {
      ++f;  // separators and quoted text
    }
  }
  return out->mo >= 1 && out->mo <= 12 && out->d >= 1 && out->d <= 31 && out->h < 24 &&
         out->mi < 60 && out->sec < 60;
}

// A datetime bound: DATE '...', TIMESTAMP '...', TO_DATE('...'[, 'fmt'...]),
// TO_TIMESTAMP(...), or a string in the session's default format.
bool ParseDatetimeBound(const std::string& item, Stamp* out) {
  std::string u = Upper(item);
  size_t next = 0;
  std::string value, fmt;
  if (u.rfind("DATE", 0) == 0 && u.find('\'') != std::string::npos && u.find('(') == std::string::npos) {
    if (!QuotedAt(item, 0, &value, &next)) return false;
    return ReadStamp(value, "YYYY-MM-DD HH24:MI:SS", out);
  }
  if (u.rfind("TIMESTAMP", 0) == 0 && u.find('(') == std::string::npos) {
    if (!QuotedAt(item, 0, &value, &next)) return false;
    return ReadStamp(value, "YYYY-MM-DD HH24:MI:SS.FF", out) ||
           ReadStamp(value, "YYYY-MM-DD HH24:MI:SS", out) || ReadStamp(value, "YYYY-MM-DD", out);
  }
  if (u.rfind("TO_DATE", 0) == 0 || u.rfind("TO_TIMESTAMP", 0) == 0) {
    if (!QuotedAt(item, 0, &value, &next)) return false;
    size_t after = next;
    if (!QuotedAt(item, after, &fmt, &next)) fmt = u.rfind("TO_DATE", 0) == 0 ? "DD-MON-RR" : "DD-MON-RR HH.MI.SSXFF AM";
    return ReadStamp(value, fmt, out);
  }
  if (!item.empty() && item[0] == '\'') {
    if (!QuotedAt(item, 0, &value, &next)) return false;
    return ReadStamp(value, "DD-MON-RR", out) || ReadStamp(value, "YYYY-MM-DD HH24:MI:SS", out);
  }
  return false;
}

bool IsNumberLiteral(const std::string& t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
  while (i < t.size() && t[i] == ' ') ++i;
  bool digit = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digit = true;
    } else if (c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-') {
      return false;
    }
  }
  return digit;
}

bool IsStringLiteral(const std::string& t) {
  if (t.size() >= 2 && t.front() == '\'' && t.back() == '\'') return true;
  std::string u = Upper(t);
  return (u.rfind("N'", 0) == 0 || u.rfind("Q'", 0) == 0) && t.back() == '\'';
}

}  // namespace

// One bound item for key column `col`: the text HIGH_VALUE shows and the
// SQL literal rows are compared with. ORA-14019 / ORA-14308 for what is not
// a literal.
Status NormalizeBoundItem(const ColumnInfo& col, const std::string& item, bool list,
                          std::string* high, std::string* literal) {
  std::string u = Upper(item);
  if (u == "MAXVALUE" || u == "DEFAULT") {
    if ((u == "MAXVALUE") == list) return OraError(list ? 14308 : 14019);
    *high = u == "MAXVALUE" ? u : item;
    *literal = u;
    return Status::Ok();
  }
  if (u == "NULL") {
    if (!list) return OraError(14019);
    *high = item;
    *literal = "NULL";
    return Status::Ok();
  }
  if (IsDatetime(col.type.kind)) {
    Stamp st;
    if (!ParseDatetimeBound(item, &st)) return OraError(list ? 14308 : 14019);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", st.y, st.mo, st.d, st.h, st.mi,
                  st.sec);
    std::string stamp = buf;
    if (col.type.kind == TypeKind::kDate) {
      *high = "TO_DATE(' " + stamp + "', 'SYYYY-MM-DD HH24:MI:SS', 'NLS_CALENDAR=GREGORIAN')";
      *literal = "TO_DATE('" + stamp + "', 'YYYY-MM-DD HH24:MI:SS')";
    } else {
      std::string frac = st.frac;
      while (!frac.empty() && frac.back() == '0') frac.pop_back();
      if (!frac.empty()) stamp += "." + frac;
      *high = "TIMESTAMP' " + stamp + "'";
      *literal = "TIMESTAMP '" + stamp + "'";
    }
    return Status::Ok();
  }
  if (IsNumberLiteral(item) || IsStringLiteral(item)) {
    *high = item;
    *literal = item;
    return Status::Ok();
  }
  return OraError(list ? 14308 : 14019);
}

namespace {

// A bound item as a value to order range bounds by: MAXVALUE above all,
// numbers by value, text and datetimes by their literal's text.
struct Ordered {
  int rank = 0;  // 0 value, 1 MAXVALUE
  bool numeric = false;
  long double num = 0;
  std::string text;
};

Ordered OrderOf(const std::string& literal) {
  Ordered o;
  if (literal == "MAXVALUE") {
    o.rank = 1;
    return o;
  }
  if (IsNumberLiteral(literal)) {
    o.numeric = true;
    o.num = std::strtold(literal.c_str(), nullptr);
    return o;
  }
  size_t next = 0;
  if (!QuotedAt(literal, 0, &o.text, &next)) o.text = literal;
  return o;
}

int CompareItem(const std::string& a, const std::string& b) {
  Ordered x = OrderOf(a), y = OrderOf(b);
  if (x.rank != y.rank) return x.rank < y.rank ? -1 : 1;
  if (x.rank == 1) return 0;
  if (x.numeric && y.numeric) return x.num < y.num ? -1 : x.num > y.num ? 1 : 0;
  return x.text < y.text ? -1 : x.text > y.text ? 1 : 0;
}

}  // namespace

// Tuple order of two range bounds.
int CompareBounds(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    int c = CompareItem(a[i], b[i]);
    if (c != 0) return c;
  }
  return 0;
}

namespace {

Status FindKeyColumns(const TableInfo& t, const std::vector<std::string>& names, std::vector<int>* out) {
  for (const std::string& n : names) {
    const ColumnInfo* c = t.FindColumn(n);
    if (c == nullptr || c->hidden) return OraError(ora::kInvalidIdentifier, {Quote(n)});
    out->push_back(c->intcol);
  }
  return Status::Ok();
}

const ColumnInfo* ColumnByIntcol(const TableInfo& t, int intcol) {
  for (const ColumnInfo& c : t.columns)
    if (c.intcol == intcol) return &c;
  return nullptr;
}

std::string JoinInts(const std::vector<int>& v) {
  std::string out;
  for (int i : v) out += (out.empty() ? "" : ",") + std::to_string(i);
  return out;
}

}  // namespace

Status NewPartitionName(Session& s, bool sub, std::string* out) {
  int64_t n = 0;
  TABDB_RETURN_IF_ERROR(s.db().NextId("next_sysname", &n));
  *out = (sub ? "SYS_SUBP" : "SYS_P") + std::to_string(n);
  return Status::Ok();
}

// Builds one partition record from its description: the name (given or
// made), the bound normalized against the key columns.
Status MakePartition(Session& s, const TableInfo& t, const std::string& method,
                     const std::vector<int>& keys, const sql::PartitionDesc& d, bool sub,
                     PartitionRec* out) {
  out->name = d.name;
  if (out->name.empty()) TABDB_RETURN_IF_ERROR(NewPartitionName(s, sub, &out->name));
  if (method == "HASH") {
    if (d.has_bound) return OraError(method == "HASH" ? 14310 : 14311);
    return Status::Ok();
  }
  if (!d.has_bound) return OraError(method == "RANGE" ? 14311 : 14308);
  bool list = method == "LIST";
  if (!list) {
    if (d.bound.size() > keys.size()) return OraError(14017);
    if (d.bound.size() < keys.size()) return OraError(14018);
  }
  for (size_t i = 0; i < d.bound.size(); ++i) {
    const ColumnInfo* c = ColumnByIntcol(t, keys[list ? 0 : i]);
    std::string high, lit;
    TABDB_RETURN_IF_ERROR(NormalizeBoundItem(*c, d.bound[i], list, &high, &lit));
    out->high_value += (i ? ", " : "") + high;
    out->bound.push_back(lit);
  }
  if (list) {
    bool has_default = false;
    for (const std::string& b : out->bound) has_default = has_default || b == "DEFAULT";
    if (has_default && out->bound.size() > 1) return OraError(14308);
  }
  return Status::Ok();
}

// Checks a whole list of sibling partitions: unique names, range bounds
// strictly rising, list values in one partition only, DEFAULT last.
Status CheckSiblings(const std::string& method, const std::vector<PartitionRec>& parts) {
  std::set<std::string> names;
  std::set<std::string> values;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!names.insert(parts[i].name).second) return OraError(14013);
    if (method == "RANGE" && i > 0 && CompareBounds(parts[i - 1].bound, parts[i].bound) >= 0)
      return OraError(14037, {parts[i - 1].name});
    if (method == "LIST") {
      for (const std::string& v : parts[i].bound) {
        if (v == "DEFAULT" && i + 1 != parts.size()) return OraError(14308);
        if (v != "DEFAULT" && !values.insert(Upper(v)).second)
          return OraError(14312, {v, parts[i].name});
      }
    }
  }
  return Status::Ok();
}

// The sort key of a bound `literal` (NormalizeBoundItem's) of the key column
// `col` of an interval table: bytes that memcmp orders as the values, the
// Oracle NUMBER form of a number, the 'YYYY-MM-DD HH24:MI:SS[.ff]' text of
// a datetime. Interval partitions are found and ordered by it, so that one
// is added without renumbering the others.
std::string BoundKey(const ColumnInfo& col, const std::string& literal) {
  std::string text;
  size_t next = 0;
  if (!QuotedAt(literal, 0, &text, &next)) text = literal;
  if (IsDatetime(col.type.kind)) return text;
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  Number n;
  if (!Number::Parse(text, &n).ok() && !Number::FromDouble(std::strtod(text.c_str(), nullptr), &n).ok())
    return text;
  return n.Encode();
}

// One row of tab$partitions. `key` is the bound's sort key (empty for a
// table without INTERVAL, and the template); a subpartition's row carries
// its partition's key and interval flag.
Status StorePartitionRow(Session& s, int64_t obj, int64_t part_seq, int64_t sub_seq, const PartitionRec& r,
                         const std::string* key, bool is_interval) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "INSERT INTO tab$partitions(obj_id, part_seq, sub_seq, name, high_value, bound, is_interval, bound_key)"
      " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
      &q));
  std::string bound;
  for (size_t i = 0; i < r.bound.size(); ++i) bound += (i ? "\x1f" : "") + r.bound[i];
  sqlite3_bind_int64(q, 1, obj);
  sqlite3_bind_int64(q, 2, part_seq);
  sqlite3_bind_int64(q, 3, sub_seq);
  PBind(q, 4, r.name);
  if (r.high_value.empty())
    sqlite3_bind_null(q, 5);
  else
    PBind(q, 5, r.high_value);
  PBind(q, 6, bound);
  sqlite3_bind_int(q, 7, is_interval ? 1 : 0);
  if (key == nullptr)
    sqlite3_bind_null(q, 8);
  else
    sqlite3_bind_blob(q, 8, key->data(), static_cast<int>(key->size()), SQLITE_TRANSIENT);
  return s.db().Run(q);
}

// A partition's row and its subpartitions' rows.
Status StorePartition(Session& s, int64_t obj, int64_t part_seq, const PartitionRec& p, const std::string* key) {
  TABDB_RETURN_IF_ERROR(StorePartitionRow(s, obj, part_seq, 0, p, key, p.is_interval));
  for (size_t j = 0; j < p.subparts.size(); ++j)
    TABDB_RETURN_IF_ERROR(
        StorePartitionRow(s, obj, part_seq, static_cast<int64_t>(j) + 1, p.subparts[j], key, p.is_interval));
  return Status::Ok();
}

// ORA-14299 when the partitions or the subpartitions are more than Oracle's maximum.
Status CheckPartitionCount(int64_t parts, int64_t subparts) {
  return parts > kMaxPartitions || subparts > kMaxPartitions ? OraError(ora::kTooManyPartitions) : Status::Ok();
}

Status StorePartitioning(Session& s, const PartitioningInfo& pi) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "INSERT INTO tab$part_objs(obj_id, table_obj, locality, method, key_cols, submethod,"
      " subkey_cols, interval, autolist, def_subparts, row_movement)"
      " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)",
      &q));
  sqlite3_bind_int64(q, 1, pi.obj_id);
  sqlite3_bind_int64(q, 2, pi.table_obj);
  if (pi.locality.empty())
    sqlite3_bind_null(q, 3);
  else
    PBind(q, 3, pi.locality);
  PBind(q, 4, pi.method);
  PBind(q, 5, JoinInts(pi.keys));
  PBind(q, 6, pi.submethod);
  PBind(q, 7, JoinInts(pi.subkeys));
  if (pi.interval.empty())
    sqlite3_bind_null(q, 8);
  else
    PBind(q, 8, pi.interval);
  sqlite3_bind_int(q, 9, pi.autolist ? 1 : 0);
  sqlite3_bind_int64(q, 10, pi.def_subparts);
  sqlite3_bind_int(q, 11, pi.row_movement ? 1 : 0);
  TABDB_RETURN_IF_ERROR(s.db().Run(q));
  return StorePartitionRows(s, pi);
}

Status StorePartitionRows(Session& s, const PartitioningInfo& pi) {
  int64_t subparts = 0;
  for (const PartitionRec& p : pi.parts) subparts += static_cast<int64_t>(p.subparts.size());
  TABDB_RETURN_IF_ERROR(CheckPartitionCount(static_cast<int64_t>(pi.parts.size()), subparts));
  // An interval table's partitions are ordered by their bound's key (a
  // LOCAL index reads its table's rows).
  const ColumnInfo* key_col = nullptr;
  TableInfo t;
  if (!pi.interval.empty() && pi.locality.empty() && !pi.keys.empty()) {
    TABDB_RETURN_IF_ERROR(LoadTableByObj(s, pi.obj_id, &t));
    key_col = ColumnByIntcol(t, pi.keys[0]);
  }
  TABDB_RETURN_IF_ERROR(
      s.db().Exec("DELETE FROM tab$partitions WHERE obj_id = " + std::to_string(pi.obj_id)));
  for (size_t i = 0; i < pi.subtemplate.size(); ++i)
    TABDB_RETURN_IF_ERROR(StorePartitionRow(s, pi.obj_id, 0, static_cast<int64_t>(i) + 1, pi.subtemplate[i],
                                            nullptr, false));
  for (size_t i = 0; i < pi.parts.size(); ++i) {
    const PartitionRec& p = pi.parts[i];
    std::string key;
    if (key_col != nullptr && !p.bound.empty()) key = BoundKey(*key_col, p.bound[0]);
    TABDB_RETURN_IF_ERROR(StorePartition(s, pi.obj_id, static_cast<int64_t>(i) + 1, p,
                                         key_col != nullptr ? &key : nullptr));
  }
  return Status::Ok();
}

// The subpartitions of a new partition of a composite table: its own list,
// SUBPARTITIONS n, the template, or one subpartition taking every row.
Status MakeSubpartitions(Session& s, const TableInfo& t, const PartitioningInfo& pi,
                         const sql::PartitionDesc& d, PartitionRec* p) {
  if (pi.submethod == "NONE") return Status::Ok();
  if (!d.subparts.empty()) {
    for (const sql::PartitionDesc& sd : d.subparts) {
      PartitionRec r;
      TABDB_RETURN_IF_ERROR(MakePartition(s, t, pi.submethod, pi.subkeys, sd, true, &r));
      p->subparts.push_back(std::move(r));
    }
  } else if (d.subpart_count > 0 || (pi.subtemplate.empty() && pi.submethod == "HASH")) {
    int64_t n = d.subpart_count > 0 ? d.subpart_count : std::max<int64_t>(pi.def_subparts, 1);
    for (int64_t k = 0; k < n; ++k) {
      PartitionRec r;
      TABDB_RETURN_IF_ERROR(NewPartitionName(s, true, &r.name));
      p->subparts.push_back(std::move(r));
    }
  } else if (!pi.subtemplate.empty()) {
    for (const PartitionRec& tr : pi.subtemplate) {
      PartitionRec r = tr;
      r.name = p->name + "_" + tr.name;
      p->subparts.push_back(std::move(r));
    }
  } else {
    PartitionRec r;
    TABDB_RETURN_IF_ERROR(NewPartitionName(s, true, &r.name));
    r.bound = {pi.submethod == "LIST" ? "DEFAULT" : "MAXVALUE"};
    r.high_value = r.bound[0];
    p->subparts.push_back(std::move(r));
  }
  return CheckSiblings(pi.submethod, p->subparts);
}

// Builds the partitioning of table `t` (or of an index of it) from the
// clause; the caller stores it.
Status BuildPartitioning(Session& s, const TableInfo& t, const sql::PartitionSpec& spec,
                         PartitioningInfo* pi) {
  if (PartitioningDisabled()) return OraError(439, {"Partitioning"});
  pi->method = spec.method;
  TABDB_RETURN_IF_ERROR(FindKeyColumns(t, spec.columns, &pi->keys));
  if (spec.method == "LIST" && pi->keys.size() > 1) return Unimplemented("multi-column LIST partitioning");
  pi->interval = spec.interval;
  pi->autolist = spec.automatic;
  if (!spec.submethod.empty()) {
    pi->submethod = spec.submethod;
    TABDB_RETURN_IF_ERROR(FindKeyColumns(t, spec.subcolumns, &pi->subkeys));
    if (spec.submethod == "LIST" && pi->subkeys.size() > 1)
      return Unimplemented("multi-column LIST subpartitioning");
    pi->def_subparts = spec.has_template && !spec.subtemplate.empty()
                           ? static_cast<int64_t>(spec.subtemplate.size())
                           : std::max<int64_t>(spec.subpart_count, 1);
    TABDB_RETURN_IF_ERROR(CheckPartitionCount(0, spec.subpart_count));
    for (const sql::PartitionDesc& d : spec.subtemplate) {
      PartitionRec r;
      if (d.name.empty()) return OraError(14006);
      TABDB_RETURN_IF_ERROR(MakePartition(s, t, pi->submethod, pi->subkeys, d, true, &r));
      pi->subtemplate.push_back(std::move(r));
    }
    TABDB_RETURN_IF_ERROR(CheckSiblings(pi->submethod, pi->subtemplate));
    if (spec.has_template && spec.subtemplate.empty() && spec.subpart_count > 0 && pi->submethod == "HASH") {
      for (int64_t k = 0; k < spec.subpart_count; ++k) {
        PartitionRec r;
        r.name = "SP" + std::to_string(k + 1);
        pi->subtemplate.push_back(std::move(r));
      }
    }
  }
  if (!pi->interval.empty()) {
    const ColumnInfo* c = ColumnByIntcol(t, pi->keys[0]);
    if (!IsDatetime(c->type.kind) && c->type.kind != TypeKind::kNumber) return OraError(14751);
  }
  // Counted before any is made: PARTITIONS and SUBPARTITIONS can ask for millions.
  bool by_count = spec.method == "HASH" && spec.partitions_count > 0;
  int64_t parts = by_count ? spec.partitions_count : static_cast<int64_t>(spec.parts.size()), subparts = 0;
  auto subparts_of = [&](const sql::PartitionDesc& d) -> int64_t {
    if (pi->submethod == "NONE") return 0;
    if (!d.subparts.empty()) return static_cast<int64_t>(d.subparts.size());
    if (d.subpart_count > 0) return std::min<int64_t>(d.subpart_count, kMaxPartitions + 1);
    if (!pi->subtemplate.empty()) return static_cast<int64_t>(pi->subtemplate.size());
    return std::min<int64_t>(std::max<int64_t>(pi->def_subparts, 1), kMaxPartitions + 1);
  };
  if (by_count) {
    subparts = parts > kMaxPartitions ? 0 : parts * subparts_of(sql::PartitionDesc());
  } else {
    for (const sql::PartitionDesc& d : spec.parts) subparts += subparts_of(d);
  }
  TABDB_RETURN_IF_ERROR(CheckPartitionCount(parts, subparts));
  if (by_count) {
    for (int64_t k = 0; k < spec.partitions_count; ++k) {
      PartitionRec r;
      TABDB_RETURN_IF_ERROR(NewPartitionName(s, false, &r.name));
      TABDB_RETURN_IF_ERROR(MakeSubpartitions(s, t, *pi, sql::PartitionDesc(), &r));
      pi->parts.push_back(std::move(r));
    }
    return Status::Ok();
  }
  for (const sql::PartitionDesc& d : spec.parts) {
    PartitionRec r;
    TABDB_RETURN_IF_ERROR(MakePartition(s, t, spec.method, pi->keys, d, false, &r));
    TABDB_RETURN_IF_ERROR(MakeSubpartitions(s, t, *pi, d, &r));
    pi->parts.push_back(std::move(r));
  }
  if (!pi->interval.empty())
    for (const PartitionRec& r : pi->parts)
      if (!r.bound.empty() && r.bound[0] == "MAXVALUE") return OraError(14761);
  return CheckSiblings(spec.method, pi->parts);
}

// After CREATE TABLE made the table and its constraints: its partitioning
// and organization.
Status CreatePartitioning(Session& s, const sql::CreateTable& ct, const TableInfo& created) {
  TableInfo t;
  TABDB_RETURN_IF_ERROR(LoadTableByObj(s, created.obj_id, &t));
  if (ct.partitioning) {
    PartitioningInfo pi;
    pi.obj_id = t.obj_id;
    pi.table_obj = t.obj_id;
    pi.row_movement = ct.row_movement == 1;
    TABDB_RETURN_IF_ERROR(BuildPartitioning(s, t, *ct.partitioning, &pi));
    TABDB_RETURN_IF_ERROR(StorePartitioning(s, pi));
    // The key columns lead an index, so that a range or list partition's
    // rows are found (and dropped) without reading the others.
    std::string cols;
    for (int k : pi.keys) cols += (cols.empty() ? "" : ", ") + std::string("c") + std::to_string(k);
    TABDB_RETURN_IF_ERROR(
        s.db().Exec("CREATE INDEX p" + std::to_string(t.obj_id) + " ON " + t.phys + "(" + cols + ")"));
  }
  if (ct.iot) {
    std::vector<IndexInfo> keys;
    TABDB_RETURN_IF_ERROR(LoadUniqueIndexes(s, t.obj_id, &keys));
    bool has_pk = false;
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "SELECT 1 FROM tab$constraints WHERE table_obj = ?1 AND type = 'P'", &q));
    sqlite3_bind_int64(q, 1, t.obj_id);
    TABDB_RETURN_IF_ERROR(s.db().Step(q, &has_pk));
    sqlite3_reset(q);
    if (!has_pk) return OraError(25175);
    int including = 0;
    if (!ct.iot->including.empty()) {
      const ColumnInfo* c = t.FindColumn(ct.iot->including);
      if (c == nullptr) return OraError(ora::kInvalidIdentifier, {Quote(ct.iot->including)});
      including = c->intcol;
    }
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "INSERT INTO tab$iot(obj_id, pctthreshold, including, overflow, compress)"
        " VALUES(?1, ?2, ?3, ?4, ?5)",
        &q));
    sqlite3_bind_int64(q, 1, t.obj_id);
    sqlite3_bind_int64(q, 2, ct.iot->pctthreshold);
    if (including)
      sqlite3_bind_int(q, 3, including);
    else
      sqlite3_bind_null(q, 3);
    sqlite3_bind_int(q, 4, ct.iot->overflow ? 1 : 0);
    sqlite3_bind_int64(q, 5, ct.iot->compress);
    TABDB_RETURN_IF_ERROR(s.db().Run(q));
    // The key's index is the table: IOT - TOP in the dictionary.
    TABDB_RETURN_IF_ERROR(s.db().Exec(
        "UPDATE tab$indexes SET index_type = 'IOT - TOP' WHERE obj_id IN (SELECT index_obj FROM"
        " tab$constraints WHERE table_obj = " + std::to_string(t.obj_id) + " AND type = 'P')"));
  }
  return Status::Ok();
}

// The partitioning of a new index: LOCAL follows the table's partitions,
// GLOBAL PARTITION BY has its own.
Status CreateIndexPartitioning(Session& s, const sql::CreateIndex& ci, const TableInfo& t,
                               int64_t index_obj) {
  if (ci.locality == 0 || (ci.locality == 2 && !ci.partitioning)) return Status::Ok();
  PartitioningInfo table;
  bool partitioned = false;
  TABDB_RETURN_IF_ERROR(LoadPartitioning(s, t.obj_id, &table, &partitioned));
  PartitioningInfo pi;
  pi.obj_id = index_obj;
  pi.table_obj = t.obj_id;
  if (ci.locality == 1) {
    if (!partitioned) return OraError(14016);
    if (ci.unique) {
      // Each partition of a unique local index holds its partition's keys
      // only: the partitioning columns must be among the index's.
      std::vector<int> all = table.keys;
      all.insert(all.end(), table.subkeys.begin(), table.subkeys.end());
      for (int k : all) {
        bool in_key = false;
        for (const sql::IndexKey& key : ci.keys) {
          if (key.expr->kind != sql::ExprKind::kColumn) continue;
          const ColumnInfo* c = t.FindColumn(key.expr->names.back().text);
          in_key = in_key || (c != nullptr && c->intcol == k);
        }
        if (!in_key) return OraError(14039);
      }
    }
    pi.locality = "LOCAL";
    pi.method = table.method;
    pi.submethod = table.submethod;
    pi.keys = table.keys;
    pi.subkeys = table.subkeys;
    pi.interval = table.interval;
    pi.def_subparts = table.def_subparts;
    sqlite3_stmt* q = nullptr;
    TABDB_RETURN_IF_ERROR(s.db().Cached(
        "INSERT INTO tab$part_objs(obj_id, table_obj, locality, method, key_cols, submethod,"
        " subkey_cols, interval, def_subparts) VALUES(?1, ?2, 'LOCAL', ?3, ?4, ?5, ?6, ?7, ?8)",
        &q));
    sqlite3_bind_int64(q, 1, pi.obj_id);
    sqlite3_bind_int64(q, 2, pi.table_obj);
    PBind(q, 3, pi.method);
    PBind(q, 4, JoinInts(pi.keys));
    PBind(q, 5, pi.submethod);
    PBind(q, 6, JoinInts(pi.subkeys));
    if (pi.interval.empty())
      sqlite3_bind_null(q, 7);
    else
      PBind(q, 7, pi.interval);
    sqlite3_bind_int64(q, 8, pi.def_subparts);
    return s.db().Run(q);
  }
  pi.locality = "GLOBAL";
  TABDB_RETURN_IF_ERROR(BuildPartitioning(s, t, *ci.partitioning, &pi));
  if (pi.method == "RANGE" && (pi.parts.empty() || pi.parts.back().bound.empty() ||
                               pi.parts.back().bound[0] != "MAXVALUE"))
    return OraError(14021);
  return StorePartitioning(s, pi);
}

Status CheckNotPartitionKey(Session& s, int64_t table_obj, int intcol) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT 1 FROM tab$part_objs WHERE table_obj = ?1 AND (',' || key_cols || ',' LIKE ?2"
      " OR ',' || subkey_cols || ',' LIKE ?2)",
      &q));
  sqlite3_bind_int64(q, 1, table_obj);
  PBind(q, 2, "%," + std::to_string(intcol) + ",%");
  bool key = false;
  Status st = s.db().Step(q, &key);
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(st);
  return key ? OraError(12984) : Status::Ok();
}

Status DropPartitioning(Session& s, int64_t obj_id) {
  std::string id = std::to_string(obj_id);
  return s.db().Exec(
      "DELETE FROM tab$partitions WHERE obj_id IN (SELECT obj_id FROM tab$part_objs WHERE"
      " table_obj = " + id + " OR obj_id = " + id + ");"
      "DELETE FROM tab$part_objs WHERE table_obj = " + id + " OR obj_id = " + id + ";"
      "DELETE FROM tab$iot WHERE obj_id = " + id + ";");
}

}  // namespace cat

Status LoadPartitioning(Session& s, int64_t obj_id, PartitioningInfo* out, bool* found, PartitionRows rows) {
  *found = false;
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT table_obj, coalesce(locality, ''), method, key_cols, submethod, subkey_cols,"
      " coalesce(interval, ''), autolist, def_subparts, row_movement FROM tab$part_objs"
      " WHERE obj_id = ?1",
      &q));
  sqlite3_bind_int64(q, 1, obj_id);
  bool row = false;
  Status st = s.db().Step(q, &row);
  if (!st.ok() || !row) {
    sqlite3_reset(q);
    return st;
  }
  auto text = [&](int i) {
    const unsigned char* t = sqlite3_column_text(q, i);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
  };
  auto ints = [](const std::string& csv) {
    std::vector<int> v;
    size_t at = 0;
    while (at < csv.size()) {
      size_t e = csv.find(',', at);
      if (e == std::string::npos) e = csv.size();
      v.push_back(std::atoi(csv.substr(at, e - at).c_str()));
      at = e + 1;
    }
    return v;
  };
  *out = PartitioningInfo();
  out->obj_id = obj_id;
  out->table_obj = sqlite3_column_int64(q, 0);
  out->locality = text(1);
  out->method = text(2);
  out->keys = ints(text(3));
  out->submethod = text(4);
  out->subkeys = ints(text(5));
  out->interval = text(6);
  out->autolist = sqlite3_column_int(q, 7) != 0;
  out->def_subparts = sqlite3_column_int64(q, 8);
  out->row_movement = sqlite3_column_int(q, 9) != 0;
  sqlite3_reset(q);
  *found = true;
  // A LOCAL index's partitions are its table's.
  int64_t rows_of = out->locality == "LOCAL" ? out->table_obj : obj_id;
  // In bound order: by part_seq, or by the bound's key in an interval table
  // (the template, part_seq 0, has none and comes first). The range section
  // alone is the rows not made for an interval (tab$partitions_key).
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      rows == PartitionRows::kAll
          ? "SELECT part_seq, sub_seq, name, high_value, bound, is_interval FROM tab$partitions"
            " WHERE obj_id = ?1 ORDER BY bound_key, part_seq, sub_seq"
          : "SELECT part_seq, sub_seq, name, high_value, bound, is_interval FROM tab$partitions"
            " WHERE obj_id = ?1 AND is_interval = 0 ORDER BY bound_key, part_seq, sub_seq",
      &q));
  sqlite3_bind_int64(q, 1, rows_of);
  int64_t last_part = -1;  // part_seq of out->parts.back()
  while (true) {
    st = s.db().Step(q, &row);
    if (!st.ok() || !row) break;
    PartitionRec r;
    int64_t part = sqlite3_column_int64(q, 0), sub = sqlite3_column_int64(q, 1);
    // Earlier versions wrote the subpartitions of an interval partition as
    // not interval: the range section alone does not take them.
    if (part != 0 && sub != 0 && part != last_part) continue;
    if (part != 0 && sub == 0) last_part = part;
    r.seq = sub ? sub : part;
    r.name = text(2);
    r.high_value = text(3);
    std::string b = text(4);
    size_t at = 0;
    while (!b.empty() && at <= b.size()) {
      size_t e = b.find('\x1f', at);
      if (e == std::string::npos) e = b.size();
      r.bound.push_back(b.substr(at, e - at));
      at = e + 1;
    }
    r.is_interval = sqlite3_column_int(q, 5) != 0;
    if (part == 0)
      out->subtemplate.push_back(std::move(r));
    else if (sub == 0)
      out->parts.push_back(std::move(r));
    else
      out->parts.back().subparts.push_back(std::move(r));
  }
  sqlite3_reset(q);
  return st;
}

namespace {

// Whether the query bound to ?1 = obj_id (and ?2 = key, when given) has a row.
Status Exists(Session& s, const char* sql, int64_t obj_id, const std::string* key, bool* any) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(sql, &q));
  sqlite3_bind_int64(q, 1, obj_id);
  if (key != nullptr) sqlite3_bind_blob(q, 2, key->data(), static_cast<int>(key->size()), SQLITE_STATIC);
  Status st = s.db().Step(q, any);
  sqlite3_reset(q);
  return st;
}

}  // namespace

Status AddIntervalPartition(Session& s, const TableInfo& t, const std::string& bound) {
  PartitioningInfo pi;
  bool found = false;
  TABDB_RETURN_IF_ERROR(LoadPartitioning(s, t.obj_id, &pi, &found, PartitionRows::kRangeSection));
  if (!found || pi.interval.empty()) return Status::Ok();
  const ColumnInfo* c = nullptr;
  for (const ColumnInfo& col : t.columns)
    if (col.intcol == pi.keys[0]) c = &col;
  if (c == nullptr) return Status::Ok();
  std::string item = c->type.kind == TypeKind::kDate
                         ? "TO_DATE('" + bound + "', 'YYYY-MM-DD HH24:MI:SS')"
                         : c->type.kind == TypeKind::kNumber || c->type.kind == TypeKind::kFloat
                               ? bound
                               : "TIMESTAMP '" + bound + "'";
  PartitionRec r;
  std::string high, lit;
  TABDB_RETURN_IF_ERROR(cat::NormalizeBoundItem(*c, item, false, &high, &lit));
  r.high_value = high;
  r.bound = {lit};
  r.is_interval = true;
  // Partitions written without their bound's key (by an earlier version)
  // get it now, all at once, in the order they have.
  bool unkeyed = false;
  TABDB_RETURN_IF_ERROR(Exists(s,
                               "SELECT 1 FROM tab$partitions WHERE obj_id = ?1 AND is_interval IN (0, 1)"
                               " AND bound_key IS NULL AND part_seq > 0 LIMIT 1",
                               t.obj_id, nullptr, &unkeyed));
  if (unkeyed) {
    PartitioningInfo all;
    TABDB_RETURN_IF_ERROR(LoadPartitioning(s, t.obj_id, &all, &found));
    TABDB_RETURN_IF_ERROR(cat::StorePartitionRows(s, all));
  }
  std::string key = cat::BoundKey(*c, lit);
  bool made = false;
  TABDB_RETURN_IF_ERROR(Exists(s,
                               "SELECT 1 FROM tab$partitions WHERE obj_id = ?1 AND is_interval IN (0, 1)"
                               " AND bound_key = ?2 AND sub_seq = 0 LIMIT 1",
                               t.obj_id, &key, &made));
  if (made) return Status::Ok();
  // A part_seq above all: the key orders the partitions, part_seq only
  // tells them apart.
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(
      s.db().Cached("SELECT coalesce(max(part_seq), 0) + 1 FROM tab$partitions WHERE obj_id = ?1", &q));
  sqlite3_bind_int64(q, 1, t.obj_id);
  bool row = false;
  Status st = s.db().Step(q, &row);
  int64_t seq = row ? sqlite3_column_int64(q, 0) : 1;
  sqlite3_reset(q);
  TABDB_RETURN_IF_ERROR(st);
  TABDB_RETURN_IF_ERROR(cat::NewPartitionName(s, false, &r.name));
  TABDB_RETURN_IF_ERROR(cat::MakeSubpartitions(s, t, pi, sql::PartitionDesc(), &r));
  return cat::StorePartition(s, t.obj_id, seq, r, &key);
}

Status LoadIot(Session& s, int64_t obj_id, IotInfo* out, bool* found) {
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT pctthreshold, coalesce(including, 0), overflow, compress FROM tab$iot WHERE obj_id = ?1",
      &q));
  sqlite3_bind_int64(q, 1, obj_id);
  Status st = s.db().Step(q, found);
  if (st.ok() && *found) {
    out->pctthreshold = sqlite3_column_int64(q, 0);
    out->including = sqlite3_column_int(q, 1);
    out->overflow = sqlite3_column_int(q, 2) != 0;
    out->compress = sqlite3_column_int64(q, 3);
  }
  sqlite3_reset(q);
  return st;
}

Status IotKeyColumns(Session& s, int64_t obj_id, std::vector<int>* intcols) {
  intcols->clear();
  sqlite3_stmt* q = nullptr;
  TABDB_RETURN_IF_ERROR(s.db().Cached(
      "SELECT cc.intcol FROM tab$iot w JOIN tab$constraints c ON c.table_obj = w.obj_id AND c.type = 'P'"
      " JOIN tab$cons_columns cc ON cc.cons_id = c.cons_id WHERE w.obj_id = ?1 ORDER BY cc.position",
      &q));
  sqlite3_bind_int64(q, 1, obj_id);
  Status st;
  bool row = false;
  while ((st = s.db().Step(q, &row)).ok() && row) intcols->push_back(sqlite3_column_int(q, 0));
  sqlite3_reset(q);
  return st;
}

Status FindPartition(const PartitioningInfo& pi, const std::string& name, bool sub, size_t* p,
                     size_t* sp) {
  for (size_t i = 0; i < pi.parts.size(); ++i) {
    if (!sub && pi.parts[i].name == name) {
      *p = i;
      return Status::Ok();
    }
    if (sub) {
      for (size_t j = 0; j < pi.parts[i].subparts.size(); ++j) {
        if (pi.parts[i].subparts[j].name == name) {
          *p = i;
          *sp = j;
          return Status::Ok();
        }
      }
    }
  }
  return OraError(2149);
}

}  // namespace tabdb
