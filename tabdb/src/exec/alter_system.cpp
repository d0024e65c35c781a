// alter_system.cpp - ALTER SYSTEM KILL SESSION: checks the caller's right
// and the session it names, and leaves the kill mark in the session's
// shared record (session_registry.cpp), which the killed session reads.
#include "exec/alter_system.h"

#include "util/errors.h"

namespace tabdb {
namespace {

void SkipBlanks(const std::string& t, size_t* i) {
  while (*i < t.size() && (t[*i] == ' ' || t[*i] == '\t')) ++*i;
}

// Decimal digits at *i, at most 10 of them.
bool Number(const std::string& t, size_t* i, int64_t* out) {
  SkipBlanks(t, i);
  size_t start = *i;
  int64_t v = 0;
  while (*i < t.size() && t[*i] >= '0' && t[*i] <= '9') {
    if (*i - start >= 10) return false;
    v = v * 10 + (t[*i] - '0');
    ++*i;
  }
  if (*i == start) return false;
  *out = v;
  SkipBlanks(t, i);
  return true;
}

}  // namespace

bool ParseSessionId(const std::string& text, int64_t* sid, int64_t* serial) {
  size_t i = 0;
  if (!Number(text, &i, sid) || i >= text.size() || text[i] != ',') return false;
  ++i;
  if (!Number(text, &i, serial)) return false;
  if (i == text.size()) return true;
  // An instance number: the only instance is this one.
  if (text[i] != ',') return false;
  ++i;
  SkipBlanks(text, &i);
  if (i >= text.size() || text[i] != '@') return false;
  ++i;
  int64_t inst = 0;
  return Number(text, &i, &inst) && i == text.size();
}

Status AlterSystemKill(Session& s, const sql::AlterSystem& a) {
  // ALTER SYSTEM is a privilege of the DBA role.
  if (!s.user().dba) return OraError(ora::kInsufficientPrivileges);
  int64_t sid = 0, serial = 0;
  if (!ParseSessionId(a.session, &sid, &serial)) return OraError(ora::kInvalidSessionId);
  if (sid == s.sid() && serial == s.serial()) return OraError(ora::kKillOwnSession);
  // IMMEDIATE changes nothing: the mark acts at the session's next call
  // or wait, and its transaction is rolled back there.
  return MarkSessionKilled(s.db(), sid, serial);
}

Status SetDdlLockTimeout(Session& s, const sql::AlterSession& a) {
  constexpr int64_t kMax = 1000000;  // Oracle's upper bound, in seconds
  const std::string& v = a.is_string ? a.text : a.value.text;
  size_t i = 0;
  int64_t n = 0;
  if (v.empty() || v[0] == '-' || !Number(v, &i, &n) || i != v.size()) {
    if (!v.empty() && v[0] == '-' && v.size() > 1) {
      return OraError(ora::kParameterValueRange, {v, "ddl_lock_timeout", "0", std::to_string(kMax)});
    }
    return OraError(ora::kIntegerValueRequired);
  }
  if (n > kMax) return OraError(ora::kParameterValueRange, {v, "ddl_lock_timeout", "0", std::to_string(kMax)});
  s.db().SetSessionLockTimeout(static_cast<int>(n * 1000));
  return Status::Ok();
}

}  // namespace tabdb
