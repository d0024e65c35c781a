// query_cache.cpp - the per-session cache of compiled queries: a short
// list per session, most recently kept first, bounded so that a program
// running many different texts keeps only the latest.
#include "client/query_cache.h"

#include <list>
#include <map>
#include <mutex>

#include "client/handles.h"

namespace tabdb {
namespace {

constexpr size_t kPerSession = 16;

struct Kept {
  std::string text;  // KeyOf the session and the statement text
  std::unique_ptr<Prepared> prepared;
};

// Names resolve in the current schema, and the dictionary views show what
// the user's rights let them: both are part of what a text compiles to.
std::string KeyOf(const Session& s, const std::string& text) {
  return s.current_schema() + '\0' + (s.user().dba ? "1" : "0") + '\0' + text;
}

std::mutex g_mu;
std::map<const Session*, std::list<Kept>>* g_kept = nullptr;  // guarded by g_mu

}  // namespace

void ParkQuery(const std::string& text, SessionRef& session, std::unique_ptr<Prepared>* prepared) {
  Session* s = session.get();
  if (s == nullptr || !*prepared || !(*prepared)->is_query() || text.empty()) return;
  (*prepared)->Close();
  std::string key = KeyOf(*s, text);
  std::unique_ptr<Prepared> evicted;
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_kept == nullptr) g_kept = new std::map<const Session*, std::list<Kept>>;
  std::list<Kept>& list = (*g_kept)[s];
  list.push_front(Kept{std::move(key), std::move(*prepared)});
  if (list.size() > kPerSession) {
    evicted = std::move(list.back().prepared);
    list.pop_back();
  }
}

std::unique_ptr<Prepared> TakeQuery(Session& s, const std::string& text,
                                    const std::vector<TypeKind>& kinds) {
  std::string key = KeyOf(s, text);
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_kept == nullptr) return nullptr;
  auto it = g_kept->find(&s);
  if (it == g_kept->end()) return nullptr;
  for (auto k = it->second.begin(); k != it->second.end(); ++k) {
    if (k->text == key && k->prepared->bind_kinds() == kinds) {
      std::unique_ptr<Prepared> p = std::move(k->prepared);
      it->second.erase(k);
      return p;
    }
  }
  return nullptr;
}

void DropQueries(const Session* s) {
  std::list<Kept> gone;
  {
    std::lock_guard<std::mutex> lock(g_mu);
    if (g_kept == nullptr) return;
    auto it = g_kept->find(s);
    if (it == g_kept->end()) return;
    gone = std::move(it->second);
    g_kept->erase(it);
  }
}

}  // namespace tabdb
