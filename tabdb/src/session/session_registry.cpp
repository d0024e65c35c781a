// session_registry.cpp - the open sessions of a database file in all
// processes: their SID and SERIAL#, who they are, and their kill marks.
//
// The file "<database>-users" beside the database holds one 256-byte slot
// per session (SID = slot number + 1), mapped shared by every process that
// has sessions on the database. A slot is live while its owner holds an
// exclusive fcntl lock on byte kSlotLocks + slot number; such locks go when
// the process ends, however it ends, so a crashed process never keeps a
// slot, and a slot whose lock is free is free whatever its bytes say.
// Besides, each process holds a shared lock on byte <user id> for each user
// it has sessions of, so that a user with a session cannot be dropped.
// Nothing is written to the database at logon. Locks of one process do not
// conflict with each other: the process counts its own slots and users in
// memory.
//
// SERIAL# grows each time a slot is taken, so that a kill aimed at a
// session that ended never hits the next session of its SID: the killer
// writes the SERIAL# it means into the slot, and a session is killed only
// when that mark equals its own SERIAL#.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "session/session.h"
#include "util/errors.h"

namespace tabdb {

// One session's record in the shared file. The words are read and written
// with atomic operations; the names are written before `published` is set
// to the SERIAL#, and a reader that finds `published` different from
// `serial` skips the slot as half-written.
struct SessionSlot {
  uint32_t serial;
  uint32_t kill_serial;  // the SERIAL# that is to die
  uint32_t published;
  uint32_t waiting;      // the session waits for another's lock
  int64_t user_id;
  int64_t pid;
  char username[136];
  char program[72];
};
static_assert(sizeof(SessionSlot) <= 256, "a session slot takes 256 bytes");

namespace {

constexpr size_t kSlotBytes = 256;
constexpr off_t kSlotLocks = static_cast<off_t>(1) << 40;  // above every user id

struct DbFile {
  int fd = -1;
  char* map = nullptr;  // kMaxSessions slots, or null when it cannot be mapped
  std::set<int> slots;  // taken by this process
  std::map<int64_t, int> users;  // open sessions of this process per user
};

std::mutex g_mu;
// Per database path. Never closed nor unmapped: closing any descriptor of
// a file drops all of the process's locks on it, and sessions keep
// pointers into the mapping.
std::map<std::string, DbFile> g_files;

DbFile& File(const std::string& db_path) {
  DbFile& f = g_files[db_path];
  if (f.fd >= 0) return f;
  std::string p = db_path + "-users";
  f.fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (f.fd < 0) return f;
  const off_t size = static_cast<off_t>(kMaxSessions * kSlotBytes);
  struct stat sb;
  // Growing only: two processes growing it at once agree on the size.
  if (::fstat(f.fd, &sb) != 0 || (sb.st_size < size && ::ftruncate(f.fd, size) != 0)) return f;
  void* m = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, f.fd, 0);
  if (m != MAP_FAILED) f.map = static_cast<char*>(m);
  return f;
}

SessionSlot* SlotAt(DbFile& f, int k) {
  return reinterpret_cast<SessionSlot*>(f.map + static_cast<size_t>(k) * kSlotBytes);
}

bool SetLock(int fd, short type, off_t at) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = at;
  fl.l_len = 1;
  return ::fcntl(fd, F_SETLK, &fl) == 0;
}

// Whether another process holds a lock on byte `at`.
bool LockedElsewhere(int fd, off_t at) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = at;
  fl.l_len = 1;
  if (::fcntl(fd, F_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

bool SlotLive(DbFile& f, int k) { return f.slots.count(k) != 0 || LockedElsewhere(f.fd, kSlotLocks + k); }

void CopyName(char* to, size_t cap, const std::string& from) {
  size_t n = from.size() < cap - 1 ? from.size() : cap - 1;
  std::memcpy(to, from.data(), n);
  std::memset(to + n, 0, cap - n);
}

std::string ProgramName() {
  // The executable's name, as the client's program is shown.
  return program_invocation_short_name ? program_invocation_short_name : "";
}

}  // namespace

Status RegisterSession(Database& db, const UserInfo& user, SessionRegistration* out) {
  *out = SessionRegistration();
  std::lock_guard<std::mutex> lock(g_mu);
  DbFile& f = File(db.path());
  if (f.fd < 0) return Status::Ok();  // no lock file: the session goes unlisted
  if (f.map != nullptr) {
    int k = 0;
    for (; k < kMaxSessions; ++k) {
      if (f.slots.count(k) != 0) continue;
      if (SetLock(f.fd, F_WRLCK, kSlotLocks + k)) break;
    }
    if (k == kMaxSessions) return OraError(ora::kSessionsExceeded);
    f.slots.insert(k);
    SessionSlot* s = SlotAt(f, k);
    __atomic_store_n(&s->published, 0u, __ATOMIC_RELEASE);
    uint32_t serial = __atomic_load_n(&s->serial, __ATOMIC_RELAXED) + 1;
    if (serial == 0) serial = 1;
    __atomic_store_n(&s->kill_serial, 0u, __ATOMIC_RELAXED);
    __atomic_store_n(&s->waiting, 0u, __ATOMIC_RELAXED);
    s->user_id = user.user_id;
    s->pid = static_cast<int64_t>(::getpid());
    CopyName(s->username, sizeof(s->username), user.name);
    CopyName(s->program, sizeof(s->program), ProgramName());
    __atomic_store_n(&s->serial, serial, __ATOMIC_RELAXED);
    __atomic_store_n(&s->published, serial, __ATOMIC_RELEASE);
    out->sid = k + 1;
    out->serial = serial;
    out->slot = s;
  }
  if (f.users[user.user_id]++ == 0) (void)SetLock(f.fd, F_RDLCK, user.user_id);
  out->user_id = user.user_id;
  out->registered = true;
  return Status::Ok();
}

void UnregisterSession(Database& db, const SessionRegistration& r) {
  if (!r.registered) return;
  std::lock_guard<std::mutex> lock(g_mu);
  DbFile& f = File(db.path());
  if (f.fd < 0) return;
  if (r.slot != nullptr) {
    int k = static_cast<int>(r.sid - 1);
    __atomic_store_n(&r.slot->published, 0u, __ATOMIC_RELEASE);
    f.slots.erase(k);
    (void)SetLock(f.fd, F_UNLCK, kSlotLocks + k);
  }
  auto it = f.users.find(r.user_id);
  if (it == f.users.end() || --it->second > 0) return;
  f.users.erase(it);
  (void)SetLock(f.fd, F_UNLCK, r.user_id);
}

Status UserConnected(Database& db, int64_t user_id, bool* connected) {
  std::lock_guard<std::mutex> lock(g_mu);
  DbFile& f = File(db.path());
  auto it = f.users.find(user_id);
  *connected = it != f.users.end() && it->second > 0;
  if (*connected || f.fd < 0) return Status::Ok();  // no lock file: no process listed a session
  *connected = LockedElsewhere(f.fd, user_id);
  return Status::Ok();
}

Status ListSessions(Database& db, std::vector<SessionRow>* out) {
  out->clear();
  std::lock_guard<std::mutex> lock(g_mu);
  DbFile& f = File(db.path());
  if (f.fd < 0 || f.map == nullptr) return Status::Ok();
  for (int k = 0; k < kMaxSessions; ++k) {
    if (f.slots.count(k) == 0) {
      // Jump to the next slot another process holds: one call for a run
      // of free slots.
      struct flock fl = {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      fl.l_start = kSlotLocks + k;
      fl.l_len = kMaxSessions - k;
      if (::fcntl(f.fd, F_GETLK, &fl) != 0 || fl.l_type == F_UNLCK) {
        auto next = f.slots.upper_bound(k);
        if (next == f.slots.end()) break;
        k = *next - 1;
        continue;
      }
      int held = static_cast<int>(fl.l_start - kSlotLocks);
      auto mine = f.slots.upper_bound(k);
      if (mine != f.slots.end() && *mine < held) held = *mine;
      if (held > k) {
        k = held - 1;
        continue;
      }
    }
    SessionSlot* s = SlotAt(f, k);
    uint32_t serial = __atomic_load_n(&s->published, __ATOMIC_ACQUIRE);
    if (serial == 0) continue;
    SessionRow row;
    row.sid = k + 1;
    row.serial = serial;
    row.user_id = s->user_id;
    row.pid = s->pid;
    row.username.assign(s->username, strnlen(s->username, sizeof(s->username)));
    row.program.assign(s->program, strnlen(s->program, sizeof(s->program)));
    row.killed = __atomic_load_n(&s->kill_serial, __ATOMIC_RELAXED) == serial;
    row.waiting = __atomic_load_n(&s->waiting, __ATOMIC_RELAXED) != 0;
    if (__atomic_load_n(&s->published, __ATOMIC_ACQUIRE) != serial) continue;  // taken anew meanwhile
    out->push_back(std::move(row));
  }
  return Status::Ok();
}

Status MarkSessionKilled(Database& db, int64_t sid, int64_t serial) {
  std::lock_guard<std::mutex> lock(g_mu);
  DbFile& f = File(db.path());
  if (f.fd < 0 || f.map == nullptr || sid < 1 || sid > kMaxSessions || serial < 1 ||
      serial > static_cast<int64_t>(UINT32_MAX))
    return OraError(ora::kNoSuchSession);
  int k = static_cast<int>(sid - 1);
  if (!SlotLive(f, k)) return OraError(ora::kNoSuchSession);
  SessionSlot* s = SlotAt(f, k);
  uint32_t want = static_cast<uint32_t>(serial);
  if (__atomic_load_n(&s->published, __ATOMIC_ACQUIRE) != want) return OraError(ora::kNoSuchSession);
  // Should the session end and its slot be taken again right now, the mark
  // names the old SERIAL# and the new session ignores it.
  __atomic_store_n(&s->kill_serial, want, __ATOMIC_RELEASE);
  return Status::Ok();
}

bool SessionRegistration::kill_marked() const {
  return slot != nullptr && __atomic_load_n(&slot->kill_serial, __ATOMIC_RELAXED) == serial;
}

void SessionRegistration::set_waiting(bool on) const {
  if (slot != nullptr) __atomic_store_n(&slot->waiting, on ? 1u : 0u, __ATOMIC_RELAXED);
}

bool SessionRegistration::waiting() const {
  return slot != nullptr && __atomic_load_n(&slot->waiting, __ATOMIC_RELAXED) != 0;
}

}  // namespace tabdb
