// trigger_defs.cpp - reading the header of a trigger's kept source and the
// session's list of the database's DML triggers (one read of the sources
// per catalog version).
#include "exec/trigger_defs.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>

#include "exec/plsql_state.h"
#include "sql/lexer.h"
#include "storage/sqlite_util.h"
#include "util/errors.h"

namespace tabdb {
namespace {

using sql::Token;
using sql::TokenKind;

bool Word(const std::vector<Token>& t, size_t k, const char* w) {
  return k < t.size() && t[k].kind == TokenKind::kIdent && t[k].text == w;
}
bool IsName(const std::vector<Token>& t, size_t k) {
  return k < t.size() && (t[k].kind == TokenKind::kIdent || t[k].kind == TokenKind::kQuotedIdent);
}
bool Symbol(const std::vector<Token>& t, size_t k, const char* s) {
  return k < t.size() && t[k].kind == TokenKind::kSymbol && t[k].text == s;
}

Status BadSpec() { return OraErrorText(4079, "invalid trigger specification"); }

// [schema.]name at k; the index after it.
bool QualifiedName(const std::vector<Token>& t, size_t* k, const std::string& schema, std::string* owner,
                   std::string* name) {
  if (!IsName(t, *k)) return false;
  if (Symbol(t, *k + 1, ".") && IsName(t, *k + 2)) {
    *owner = t[*k].text;
    *name = t[*k + 2].text;
    *k += 3;
  } else {
    *owner = schema;
    *name = t[*k].text;
    *k += 1;
  }
  return true;
}

// The body with its row references made names and UPDATING('c') made
// constants the runner provides.
void PrepareBody(TriggerDef* d) {
  std::vector<Token> t;
  (void)sql::TokenizePlsql(d->body, &t);
  for (size_t k = 0; k < t.size(); ++k) {
    if (t[k].kind == TokenKind::kBind && !t[k].quoted_bind && (t[k].text == d->new_name || t[k].text == d->old_name ||
                                                                t[k].text == "PARENT")) {
      d->body[t[k].begin] = ' ';
    } else if (Word(t, k, "UPDATING") && Symbol(t, k + 1, "(") && k + 3 < t.size() &&
               t[k + 2].kind == TokenKind::kString && Symbol(t, k + 3, ")")) {
      std::string col = t[k + 2].text;
      for (char& c : col) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      size_t at = std::find(d->updating_cols.begin(), d->updating_cols.end(), col) - d->updating_cols.begin();
      if (at == d->updating_cols.size()) d->updating_cols.push_back(col);
      std::string name = "UPDATING$" + std::to_string(at + 1);
      size_t span = t[k + 3].end - t[k].begin;
      if (name.size() > span) continue;  // cannot be: UPDATING('') is longer
      name.resize(span, ' ');
      d->body.replace(t[k].begin, span, name);
      k += 3;
    }
  }
}

}  // namespace

std::vector<std::string> TriggerDef::OuterNames() const {
  std::vector<std::string> n = {new_name, old_name, "INSERTING", "UPDATING", "DELETING"};
  for (size_t i = 0; i < updating_cols.size(); ++i) n.push_back("UPDATING$" + std::to_string(i + 1));
  return n;
}

Status ParseTriggerSource(const std::string& owner, const std::string& name, const std::string& src,
                          TriggerDef* d) {
  *d = TriggerDef();
  d->owner = owner;
  d->name = name;
  std::vector<Token> t;
  TABDB_RETURN_IF_ERROR(sql::TokenizePlsql(src, &t));
  size_t k = 0;
  if (!Word(t, k, "TRIGGER")) return BadSpec();
  std::string o, n;
  ++k;
  if (!QualifiedName(t, &k, owner, &o, &n)) return BadSpec();
  if (Word(t, k, "BEFORE") || Word(t, k, "AFTER")) {
    d->timing = Word(t, k, "BEFORE") ? TriggerTiming::kBefore : TriggerTiming::kAfter;
    ++k;
  } else if (Word(t, k, "INSTEAD") && Word(t, k + 1, "OF")) {
    d->timing = TriggerTiming::kInstead;
    d->row = true;
    k += 2;
  } else if (Word(t, k, "FOR")) {
    d->compound = true;
    ++k;
  } else {
    return BadSpec();
  }
  // Events: INSERT | UPDATE [OF c, ...] | DELETE, joined by OR.
  for (;;) {
    if (Word(t, k, "INSERT")) {
      d->events |= kTrgInsert;
      ++k;
    } else if (Word(t, k, "DELETE")) {
      d->events |= kTrgDelete;
      ++k;
    } else if (Word(t, k, "UPDATE")) {
      d->events |= kTrgUpdate;
      ++k;
      if (Word(t, k, "OF")) {
        ++k;
        while (IsName(t, k)) {
          d->update_of.push_back(t[k].text);
          ++k;
          if (!Symbol(t, k, ",")) break;
          ++k;
        }
      }
    } else {
      break;  // a DDL or database event: not a DML trigger
    }
    if (!Word(t, k, "OR")) break;
    ++k;
  }
  size_t body = src.size();
  if (d->events == 0 || !Word(t, k, "ON") || Word(t, k + 1, "DATABASE") || Word(t, k + 1, "SCHEMA") ||
      Word(t, k + 1, "NESTED") || (Symbol(t, k + 2, ".") && Word(t, k + 3, "SCHEMA"))) {
    // A trigger of database or schema events is kept and compiled, never
    // fired: its body is where the header ends.
    d->events = 0;
    for (; k < t.size() && t[k].kind != TokenKind::kEnd; ++k)
      if (Word(t, k, "DECLARE") || Word(t, k, "BEGIN") || Word(t, k, "CALL") || Word(t, k, "COMPOUND")) break;
  } else {
    ++k;
    if (!QualifiedName(t, &k, owner, &d->table_owner, &d->table_name)) return BadSpec();
    d->dml = true;
  }
  for (; d->dml && k < t.size() && t[k].kind != TokenKind::kEnd; ++k) {
    if (Word(t, k, "REFERENCING")) {
      ++k;
      while (Word(t, k, "NEW") || Word(t, k, "OLD") || Word(t, k, "PARENT")) {
        std::string which = t[k].text;
        ++k;
        if (Word(t, k, "AS")) ++k;
        if (!IsName(t, k)) return BadSpec();
        if (which == "NEW") d->new_name = t[k].text;
        if (which == "OLD") d->old_name = t[k].text;
        ++k;
      }
      --k;
    } else if (Word(t, k, "FOR") && Word(t, k + 1, "EACH") && Word(t, k + 2, "ROW")) {
      d->row = true;
      k += 2;
    } else if (Word(t, k, "FOLLOWS") || Word(t, k, "PRECEDES")) {
      bool follows = Word(t, k, "FOLLOWS");
      ++k;
      for (;;) {
        std::string fo, fn;
        if (!QualifiedName(t, &k, owner, &fo, &fn)) return BadSpec();
        if (follows) d->follows.emplace_back(fo, fn);
        if (!Symbol(t, k, ",")) break;
        ++k;
      }
      --k;
    } else if (Word(t, k, "ENABLE") || Word(t, k, "DISABLE")) {
      d->enabled = Word(t, k, "ENABLE");
    } else if (Word(t, k, "FORWARD") || Word(t, k, "REVERSE") || Word(t, k, "CROSSEDITION")) {
      continue;
    } else if (Word(t, k, "WHEN") && Symbol(t, k + 1, "(")) {
      int depth = 0;
      size_t j = k + 1;
      for (; j < t.size() && t[j].kind != TokenKind::kEnd; ++j) {
        if (Symbol(t, j, "(")) ++depth;
        if (Symbol(t, j, ")") && --depth == 0) break;
      }
      if (j >= t.size() || t[j].kind == TokenKind::kEnd) return BadSpec();
      d->when = src.substr(t[k + 1].end, t[j].begin - t[k + 1].end);
      k = j;
    } else if (Word(t, k, "DECLARE") || Word(t, k, "BEGIN") || Word(t, k, "CALL") || Word(t, k, "COMPOUND")) {
      if (Word(t, k, "COMPOUND")) d->compound = true;
      body = t[k].begin;
      break;
    } else {
      return BadSpec();
    }
  }
  if (!d->dml && k < t.size() && t[k].kind != TokenKind::kEnd) body = t[k].begin;
  if (Word(t, k, "COMPOUND")) d->compound = true;
  if (body >= src.size()) return BadSpec();
  if (d->compound) {
    d->body = "BEGIN NULL; END;";  // kept, not run
    return Status::Ok();
  }
  if (Word(t, k, "CALL")) {
    // CALL routine: a body of that one call.
    std::string call = src.substr(t[k + 1].begin);
    while (!call.empty() && (call.back() == ';' || call.back() == ' ' || call.back() == '\n')) call.pop_back();
    d->body = "BEGIN " + call + "; END;";
  } else {
    d->body = src.substr(body);
  }
  PrepareBody(d);
  return Status::Ok();
}

Status AllTriggers(Session& s, std::vector<std::shared_ptr<const TriggerDef>>* out) {
  pl::PlsqlState& state = pl::State(s);
  int64_t version = 0;
  TABDB_RETURN_IF_ERROR(s.db().CatalogVersion(&version));
  if (state.triggers_version == version) {
    *out = state.triggers;
    return Status::Ok();
  }
  std::vector<std::shared_ptr<const TriggerDef>> all;
  sqlite3_stmt* q = nullptr;
  // No stored code yet: no table to read, no trigger.
  if (sqlite3_prepare_v2(s.db().handle(),
                         "SELECT s.owner, s.name, s.text, s.enabled FROM tab$source s"
                         " LEFT JOIN tab$code c ON c.owner = s.owner AND c.name = s.name AND c.type = s.type"
                         " WHERE s.type = 'TRIGGER' ORDER BY c.obj_id, s.owner, s.name, s.line",
                         -1, &q, nullptr) == SQLITE_OK) {
    SqliteStmt st(q);
    std::string owner, name, text;
    bool enabled = true;
    auto flush = [&] {
      if (name.empty()) return;
      auto d = std::make_shared<TriggerDef>();
      if (ParseTriggerSource(owner, name, text, d.get()).ok() && d->dml) {
        d->enabled = enabled;
        all.push_back(std::move(d));
      }
    };
    int rc;
    while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
      std::string o = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
      std::string n = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
      if (o != owner || n != name) {
        flush();
        owner = o;
        name = n;
        text.clear();
        enabled = sqlite3_column_int(q, 3) != 0;
      }
      const unsigned char* line = sqlite3_column_text(q, 2);
      if (line) text += reinterpret_cast<const char*>(line);
    }
    if (rc != SQLITE_DONE) return SqliteError(s.db().handle(), rc);
    flush();
  } else {
    sqlite3_finalize(q);
  }
  state.triggers = all;
  state.triggers_version = version;
  *out = std::move(all);
  return Status::Ok();
}

Status TriggersOn(Session& s, const std::string& owner, const std::string& table,
                  std::vector<std::shared_ptr<const TriggerDef>>* out) {
  out->clear();
  std::vector<std::shared_ptr<const TriggerDef>> all;
  TABDB_RETURN_IF_ERROR(AllTriggers(s, &all));
  std::vector<std::shared_ptr<const TriggerDef>> on;
  for (auto& d : all)
    if (d->enabled && !d->compound && d->table_owner == owner && d->table_name == table) on.push_back(d);
  if (on.empty()) return Status::Ok();
  // Creation order, except that a trigger comes after those it follows.
  std::vector<bool> placed(on.size(), false);
  while (out->size() < on.size()) {
    bool progress = false;
    for (size_t i = 0; i < on.size(); ++i) {
      if (placed[i]) continue;
      bool ready = true;
      for (const auto& f : on[i]->follows)
        for (size_t j = 0; j < on.size(); ++j)
          if (!placed[j] && j != i && on[j]->owner == f.first && on[j]->name == f.second) ready = false;
      if (!ready) continue;
      placed[i] = true;
      out->push_back(on[i]);
      progress = true;
      break;
    }
    if (!progress) {  // a cycle: the rest in creation order
      for (size_t i = 0; i < on.size(); ++i)
        if (!placed[i]) out->push_back(on[i]);
      break;
    }
  }
  return Status::Ok();
}

}  // namespace tabdb
