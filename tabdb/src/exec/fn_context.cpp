// fn_context.cpp - SYS_CONTEXT('USERENV', parameter [, length]) and the
// older USERENV(parameter): what a session tells about itself, its user,
// its schema and the database, with the values an embedded server has.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "catalog/catalog.h"
#include "exec/scalar_fns.h"
#include "util/errors.h"
#include "values/datetime_format.h"
#include "values/number.h"

namespace tabdb {
namespace {

// The database's name as DATABASE_PROPERTIES gives it (GLOBAL_DB_NAME).
constexpr const char* kDbName = "TABDB";

std::string HostName() {
  char buf[256] = {0};
  if (gethostname(buf, sizeof buf - 1) != 0) return "localhost";
  return buf;
}

std::string OsUser() {
  // getpwuid_r: sessions of other threads may ask at the same time.
  passwd pwd;
  passwd* pw = nullptr;
  char buf[4096];
  if (getpwuid_r(getuid(), &pwd, buf, sizeof buf, &pw) == 0 && pw != nullptr && pw->pw_name && *pw->pw_name)
    return pw->pw_name;
  const char* u = getenv("USER");
  return u ? u : "unknown";
}

// The value of a USERENV parameter (upper case) for session `s`; *known
// false when the namespace has no such parameter. A NULL value is `null`.
Status UserenvValue(Session& s, const std::string& p, std::string* out, bool* null, bool* known) {
  *known = true;
  *null = false;
  const UserInfo& u = s.user();
  auto text = [&](std::string v) {
    *out = std::move(v);
    return Status::Ok();
  };
  auto none = [&] {
    *null = true;
    return Status::Ok();
  };
  if (p == "CURRENT_SCHEMA") return text(s.current_schema());
  if (p == "CURRENT_SCHEMAID") {
    UserInfo cu;
    bool found = false;
    TABDB_RETURN_IF_ERROR(FindUser(s, s.current_schema(), &cu, &found));
    return text(std::to_string(found ? cu.user_id : u.user_id));
  }
  // A definer's-rights unit runs as its owner (CURRENT_USER); the
  // session's user is who logged on.
  if (p == "SESSION_USER" || p == "AUTHENTICATED_IDENTITY") return text(s.session_user().name);
  if (p == "SESSION_USERID") return text(std::to_string(s.session_user().user_id));
  if (p == "CURRENT_USER" || p == "AUTHENTICATION_DATA") return p == "AUTHENTICATION_DATA" ? none() : text(u.name);
  if (p == "CURRENT_USERID" || p == "SCHEMAID") return text(std::to_string(u.user_id));
  if (p == "DB_NAME" || p == "DB_UNIQUE_NAME" || p == "CON_NAME" || p == "SERVICE_NAME" ||
      p == "CDB_NAME")
    return text(kDbName);
  if (p == "INSTANCE_NAME") return text("tabdb");
  if (p == "INSTANCE") return text("1");
  if (p == "CON_ID") return text("0");
  if (p == "SERVER_HOST" || p == "HOST") return text(HostName());
  if (p == "OS_USER") return text(OsUser());
  if (p == "TERMINAL") return text("unknown");
  if (p == "LANGUAGE") return text("AMERICAN_AMERICA.AL32UTF8");
  if (p == "LANG") return text("US");
  if (p == "NLS_CALENDAR") return text("GREGORIAN");
  if (p == "NLS_CURRENCY") return text("$");
  if (p == "NLS_DATE_FORMAT") return text(kNlsDateFormat);
  if (p == "NLS_DATE_LANGUAGE") return text("AMERICAN");
  if (p == "NLS_SORT") return text("BINARY");
  if (p == "NLS_TERRITORY") return text("AMERICA");
  if (p == "SID" || p == "SESSIONID") return text(std::to_string(s.sid()));
  if (p == "ENTRYID") return text("0");
  if (p == "ISDBA") return text("FALSE");
  if (p == "AUTHENTICATION_METHOD") return text("PASSWORD");
  if (p == "CURRENT_EDITION_NAME") return text("ORA$BASE");
  if (p == "DATABASE_ROLE") return text("PRIMARY");
  if (p == "IDENTIFICATION_TYPE") return text("LOCAL");
  // Set by an application through calls the database does not carry:
  // never set, so NULL, as in a session that set none of them.
  if (p == "IP_ADDRESS" || p == "MODULE" || p == "ACTION" || p == "CLIENT_IDENTIFIER" ||
      p == "CLIENT_INFO" || p == "DB_DOMAIN" || p == "PROXY_USER" || p == "PROXY_USERID" ||
      p == "GLOBAL_UID" || p == "NETWORK_PROTOCOL" || p == "BG_JOB_ID" || p == "FG_JOB_ID" ||
      p == "ENTERPRISE_IDENTITY" || p == "POLICY_INVOKER" || p == "CURRENT_SQL")
    return none();
  *known = false;
  return Status::Ok();
}

std::string Upper(std::string v) {
  for (char& ch : v) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return v;
}

// Cuts UTF-8 text to at most n bytes without splitting a character.
std::string CutBytes(const std::string& v, size_t n) {
  if (v.size() <= n) return v;
  while (n > 0 && (static_cast<unsigned char>(v[n]) & 0xC0) == 0x80) --n;
  return v.substr(0, n);
}

}  // namespace

void EvalSysContext(FnCall& c, Status* st) {
  if (c.arg(0).null || c.arg(1).null) return;
  std::string ns = Upper(c.arg(0).bytes);
  std::string p = Upper(c.arg(1).bytes);
  // A namespace other than USERENV holds only what an application set
  // in it, and nothing ever is: its parameters are NULL.
  if (ns != "USERENV") return;
  std::string v;
  bool null = false, known = false;
  if (!(*st = UserenvValue(*c.session, p, &v, &null, &known)).ok()) return;
  if (!known) {
    *st = OraError(ora::kInvalidUserenvParameter);
    return;
  }
  if (null) return;
  // The result is at most 256 bytes, or `length` bytes when it is 1-4000;
  // any other length is ignored.
  size_t limit = 256;
  if (c.nargs() == 3 && !c.arg(2).null) {
    int64_t n = 0;
    if (ArgInt(c.arg(2), &n).ok() && n >= 1 && n <= 4000) limit = static_cast<size_t>(n);
  }
  SetText(c.out, c.result, CutBytes(v, limit));
}

void EvalUserenv(FnCall& c, Status* st) {
  if (c.arg(0).null) return;
  std::string p = Upper(c.arg(0).bytes);
  // USERENV takes only its own short list of parameters.
  static const char* const kLegacy[] = {"CLIENT_INFO", "ENTRYID", "ISDBA",    "LANG",     "LANGUAGE",
                                        "SESSIONID",   "SID",     "TERMINAL", "INSTANCE", "SCHEMAID"};
  bool listed = false;
  for (const char* l : kLegacy) listed = listed || p == l;
  if (!listed) {
    *st = OraError(ora::kInvalidUserenvParameter);
    return;
  }
  std::string v;
  bool null = false, known = false;
  if (!(*st = UserenvValue(*c.session, p, &v, &null, &known)).ok()) return;
  if (null) return;
  if (c.result == TypeKind::kNumber) {
    *c.out = Value::Of(TypeKind::kNumber, Number::FromInt64(std::atoll(v.c_str())).Encode());
    return;
  }
  SetText(c.out, c.result, v);
}

void EvalSystemChangeNumber(FnCall& c, Status* st) {
  int64_t scn = 0;
  *st = c.session->TakeScn(&scn);
  if (st->ok()) *c.out = Value::Of(TypeKind::kNumber, Number::FromInt64(scn).Encode());
}

}  // namespace tabdb
