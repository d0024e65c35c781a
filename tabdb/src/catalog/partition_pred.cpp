// partition_pred.cpp - the conditions that say which partition a row
// belongs in, as Oracle SQL over the table's columns: range bounds compared
// as tuples (MAXVALUE above everything, NULL above every value), list
// values matched exactly with DEFAULT taking the rest, hash by ORA_HASH and
// linear hashing over the partition count.
#include "catalog/catalog_internal.h"
#include "catalog/partition.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace tabdb {
namespace {

std::string Col(const TableInfo& t, int intcol) {
  for (const ColumnInfo& c : t.columns)
    if (c.intcol == intcol) return cat::Quote(c.name);
  return "NULL";
}

// TRUE when the key tuple sorts below the bound (never NULL): a NULL key
// column sorts above every value and below MAXVALUE.
std::string Below(const TableInfo& t, const std::vector<int>& keys, const std::vector<std::string>& bound,
                  size_t i = 0) {
  if (i >= keys.size() || i >= bound.size()) return "1 = 0";
  std::string k = Col(t, keys[i]);
  if (bound[i] == "MAXVALUE") {
    return "1 = 1";
  }
  std::string lt = "(" + k + " IS NOT NULL AND " + k + " < " + bound[i] + ")";
  if (i + 1 >= keys.size()) return lt;
  return "(" + lt + " OR (" + k + " IS NOT NULL AND " + k + " = " + bound[i] + " AND " +
         Below(t, keys, bound, i + 1) + "))";
}

// TRUE when the key matches the value list of a list partition.
std::string InList(const TableInfo& t, int key, const std::vector<std::string>& values) {
  std::string k = Col(t, key);
  std::string in;
  bool null_listed = false;
  for (const std::string& v : values) {
    if (v == "NULL") {
      null_listed = true;
    } else if (v != "DEFAULT") {
      in += (in.empty() ? "" : ", ") + v;
    }
  }
  std::string out;
  if (!in.empty()) out = "(" + k + " IS NOT NULL AND " + k + " IN (" + in + "))";
  if (null_listed) out += std::string(out.empty() ? "" : " OR ") + k + " IS NULL";
  return out.empty() ? "1 = 0" : "(" + out + ")";
}

bool IsDefault(const PartitionRec& p) { return p.bound.size() == 1 && p.bound[0] == "DEFAULT"; }

// The partition of the hash of the key among n by linear hashing: with
// 2^(k-1) < n <= 2^k, h mod 2^k, or h mod 2^(k-1) when that is n or more.
std::string HashBucket(const TableInfo& t, const std::vector<int>& keys, size_t n) {
  std::string key;
  for (size_t i = 0; i < keys.size(); ++i)
    key += (i ? " || '|' || " : "") + (keys.size() > 1 ? "TO_CHAR(" + Col(t, keys[i]) + ")" : Col(t, keys[i]));
  int64_t hi = 1;
  while (hi < static_cast<int64_t>(n)) hi *= 2;
  int64_t lo = hi / 2 > 0 ? hi / 2 : 1;
  std::string h = "NVL(ORA_HASH(" + key + "), 0)";
  return "CASE WHEN MOD(" + h + ", " + std::to_string(hi) + ") < " + std::to_string(n) + " THEN MOD(" +
         h + ", " + std::to_string(hi) + ") ELSE MOD(" + h + ", " + std::to_string(lo) + ") END";
}

// Membership of sibling i among `parts` partitioned by `method` on `keys`.
std::string Member(const TableInfo& t, const std::string& method, const std::vector<int>& keys,
                   const std::vector<PartitionRec>& parts, size_t i) {
  if (method == "HASH") return HashBucket(t, keys, parts.size()) + " = " + std::to_string(i);
  if (method == "LIST") {
    if (!IsDefault(parts[i])) return InList(t, keys[0], parts[i].bound);
    std::string others;
    for (size_t j = 0; j < parts.size(); ++j)
      if (j != i) others += (others.empty() ? "" : " OR ") + InList(t, keys[0], parts[j].bound);
    return others.empty() ? "1 = 1" : "NOT (" + others + ")";
  }
  std::string below = Below(t, keys, parts[i].bound);
  if (i == 0) return below;
  return "(" + below + " AND NOT " + Below(t, keys, parts[i - 1].bound) + ")";
}

// TRUE when some sibling takes the row.
std::string AnyMember(const TableInfo& t, const std::string& method, const std::vector<int>& keys,
                      const std::vector<PartitionRec>& parts) {
  if (parts.empty()) return "1 = 0";
  if (method == "HASH") return "";
  if (method == "LIST") {
    std::string any;
    for (const PartitionRec& p : parts) {
      if (IsDefault(p)) return "";
      any += (any.empty() ? "" : " OR ") + InList(t, keys[0], p.bound);
    }
    return "(" + any + ")";
  }
  return Below(t, keys, parts.back().bound);
}

}  // namespace

std::string PartitionCondition(const TableInfo& t, const PartitioningInfo& pi, size_t p,
                               const PartitionRec* sub) {
  std::string c = Member(t, pi.method, pi.keys, pi.parts, p);
  if (sub != nullptr) {
    const std::vector<PartitionRec>& subs = pi.parts[p].subparts;
    size_t j = static_cast<size_t>(sub - subs.data());
    c = "(" + c + ") AND (" + Member(t, pi.submethod, pi.subkeys, subs, j) + ")";
  }
  return c;
}

std::string PartitionFitsCondition(const TableInfo& t, const PartitioningInfo& pi) {
  std::string top;
  if (!pi.interval.empty()) {
    // Rows above the range section go to interval partitions; a NULL key
    // fits none.
    top = Col(t, pi.keys[0]) + " IS NOT NULL";
  } else {
    top = AnyMember(t, pi.method, pi.keys, pi.parts);
  }
  if (pi.submethod == "NONE" || pi.submethod == "HASH") return top;
  // Composite: the row's partition must also have a subpartition for it.
  std::string any;
  for (size_t i = 0; i < pi.parts.size(); ++i) {
    std::string sub = AnyMember(t, pi.submethod, pi.subkeys, pi.parts[i].subparts);
    if (sub.empty()) continue;
    any += (any.empty() ? "" : " OR ") + std::string("((") + Member(t, pi.method, pi.keys, pi.parts, i) +
           ") AND NOT " + sub + ")";
  }
  if (any.empty()) return top;
  return (top.empty() ? std::string("1 = 1") : "(" + top + ")") + " AND NOT (" + any + ")";
}

namespace {

// The interval as months or seconds (0 when it is neither) from the text
// typed: NUMTOYMINTERVAL(n, 'MONTH'|'YEAR'), NUMTODSINTERVAL(n, 'DAY'|
// 'HOUR'|'MINUTE'|'SECOND'), INTERVAL 'n' unit.
void IntervalUnits(const std::string& text, double* months, double* seconds) {
  std::string u;
  for (char c : text) u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  *months = *seconds = 0;
  size_t digit = u.find_first_of("0123456789.");
  if (digit == std::string::npos) return;
  double n = std::strtod(u.c_str() + digit, nullptr);
  if (u.find("YEAR") != std::string::npos) *months = 12 * n;
  else if (u.find("MONTH") != std::string::npos) *months = n;
  else if (u.find("DAY") != std::string::npos) *seconds = 86400 * n;
  else if (u.find("HOUR") != std::string::npos) *seconds = 3600 * n;
  else if (u.find("MINUTE") != std::string::npos) *seconds = 60 * n;
  else if (u.find("SECOND") != std::string::npos) *seconds = n;
}

std::string Num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

}  // namespace

std::string IntervalBoundExpr(const TableInfo& t, const PartitioningInfo& pi, bool* datetime,
                              std::string* number) {
  *datetime = false;
  number->clear();
  if (pi.interval.empty() || pi.keys.empty()) return "";
  const PartitionRec* last = nullptr;
  for (const PartitionRec& p : pi.parts)
    if (!p.is_interval) last = &p;
  if (last == nullptr || last->bound.empty()) return "";
  std::string k = Col(t, pi.keys[0]), tp = last->bound[0];
  const ColumnInfo* c = nullptr;
  for (const ColumnInfo& col : t.columns)
    if (col.intcol == pi.keys[0]) c = &col;
  if (c == nullptr) return "";
  std::string null_below = "CASE WHEN " + k + " IS NULL OR " + k + " < " + tp + " THEN NULL ELSE ";
  std::string below = null_below + "TO_CHAR(";
  if (c->type.kind == TypeKind::kNumber || c->type.kind == TypeKind::kFloat) {
    std::string i = "(" + pi.interval + ")";
    std::string n = "(FLOOR((" + k + " - " + tp + ") / " + i + ") + 1)";
    *number = null_below + n + " END";
    return below + tp + " + " + i + " * " + n + ") END";
  }
  double months = 0, seconds = 0;
  IntervalUnits(pi.interval, &months, &seconds);
  if (months <= 0 && seconds <= 0) return "";
  *datetime = true;
  std::string kd = "CAST(" + k + " AS DATE)", td = "CAST(" + tp + " AS DATE)";
  std::string n = months > 0 ? "(FLOOR(MONTHS_BETWEEN(" + kd + ", " + td + ") / " + Num(months) + ") + 1)"
                             : "(FLOOR((" + kd + " - " + td + ") * 86400 / " + Num(seconds) + ") + 1)";
  std::string bound = months > 0 ? "ADD_MONTHS(" + td + ", " + Num(months) + " * " + n + ")"
                                 : td + " + " + Num(seconds / 86400) + " * " + n;
  *number = null_below + n + " END";
  return below + bound + ", 'YYYY-MM-DD HH24:MI:SS') END";
}

std::string PartitionNumberExpr(const TableInfo& t, const PartitioningInfo& pi) {
  if (pi.method == "HASH") return "(" + HashBucket(t, pi.keys, pi.parts.size()) + " + 1)";
  // An interval table: the range section's partitions, then Oracle's
  // number of the row's interval, so that the expression does not grow
  // with the intervals made.
  std::vector<PartitionRec> range;
  for (const PartitionRec& p : pi.parts)
    if (pi.interval.empty() || !p.is_interval) range.push_back(p);
  std::string e = "CASE";
  for (size_t i = 0; i < range.size(); ++i)
    e += " WHEN " + Member(t, pi.method, pi.keys, range, i) + " THEN " + std::to_string(i + 1);
  bool datetime = false;
  std::string number;
  if (!pi.interval.empty() && !IntervalBoundExpr(t, pi, &datetime, &number).empty())
    return e + " ELSE " + std::to_string(range.size()) + " + " + number + " END";
  if (!pi.interval.empty()) e += " WHEN 1 = 1 THEN -1";
  return e + " ELSE 0 END";
}

}  // namespace tabdb
