// session_registry.cpp - the open sessions of a database file in all
// processes: their SID and SERIAL#, who they are, and their kill marks.
//
// The file "<database>-users" beside the database holds one 256-byte slot
// per session (SID = slot number + 1), read and written with pread and
// pwrite by every process that has sessions on the database, never mapped:
// whatever its size, a short or truncated file reads as zeros past its end
// and faults no process. A slot is live while its owner holds an exclusive
// fcntl lock on byte kSlotLocks + slot number; such locks go when the
// process ends, however it ends, so a crashed process never keeps a slot,
// and a slot whose lock is free is free whatever its bytes say. Besides,
// each process holds a shared lock on byte <user id> for each user it has
// sessions of, so that a user with a session cannot be dropped. Nothing is
// written to the database at logon. Locks of one process do not conflict
// with each other: the process counts its own slots and users in memory.
//
// Whoever may write the file may kill, forge and block sessions, so it is
// used only when it is the database's own: a regular file of one name, not
// reached through a symbolic link, owned by the database file's owner and
// writable by nobody else; anything else in its place fails the logon with
// ORA-01122. A missing file is made so (O_EXCL, mode 0600, and given to the
// database file's owner when root makes it). It is checked again at every
// logon.
//
// Each session's statistics (V$SESSTAT) stand in a block of their own past
// the slots, at kStatsAt + slot number * kStatsBytes, written by the
// session alone with one pwrite (Session::PublishNet: at each execute,
// commit and rollback and every few round trips; the client layer decides)
// and tagged with its SERIAL#, so that the block of an earlier session of
// the slot reads as zeros. A reader takes a block only when two reads of it
// agree.
//
// SERIAL# grows each time a slot is taken, so that a kill aimed at a
// session that ended never hits the next session of its SID: the killer
// writes the SERIAL# it means into the slot, and a session is killed only
// when that mark equals its own SERIAL#.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "session/session.h"
#include "storage/database.h"
#include "util/errors.h"

namespace tabdb {

// One session's record in the file. The names are written before
// `published` is set to the SERIAL#; a reader takes a slot only when
// `published` reads the same before and after the record, and not zero.
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

// A session's published statistics.
struct StatsBlock {
  uint32_t serial;  // of the session that wrote them
  uint32_t unused;
  uint64_t values[kStatisticCount];  // in the order of kStatistics
};

// The users file as this process holds it: one per file (by device and
// inode), whatever path named its database.
struct SessionFile {
  int fd = -1;
  std::string path;      // the users file, for messages
  uid_t owner = 0;       // the database file's owner
  std::set<int> slots;   // taken by this process
  std::map<int64_t, int> users;  // open sessions of this process per user
  // Whether the process holds locks on the file: its descriptor must not
  // be closed then, since closing any descriptor of a file drops all of the
  // process's locks on it.
  bool busy() const { return !slots.empty() || !users.empty(); }
};

namespace {

constexpr off_t kSlotBytes = 256;
constexpr off_t kSlotLocks = static_cast<off_t>(1) << 40;  // above every user id

std::mutex g_mu;
// Never erased: sessions keep pointers to them.
std::map<std::pair<dev_t, ino_t>, SessionFile> g_files;
// Database path -> its users file as last opened.
std::map<std::string, SessionFile*> g_paths;

constexpr off_t kStatsAt = kSlotBytes * kMaxSessions;
constexpr off_t kStatsBytes = 64;
static_assert(sizeof(StatsBlock) <= kStatsBytes, "a statistics block takes 64 bytes");

off_t SlotAt(int k) { return static_cast<off_t>(k) * kSlotBytes; }
off_t StatsAt(int k) { return kStatsAt + static_cast<off_t>(k) * kStatsBytes; }

// Reads `n` bytes at `at`; what lies past the end of the file (or cannot be
// read) reads as zeros.
void ReadAt(int fd, off_t at, void* to, size_t n) {
  char* p = static_cast<char*>(to);
  size_t got = 0;
  while (got < n) {
    ssize_t r = ::pread(fd, p + got, n - got, at + static_cast<off_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  std::memset(p + got, 0, n - got);
}

uint32_t ReadWord(int fd, off_t at) {
  uint32_t v = 0;
  ReadAt(fd, at, &v, sizeof v);
  return v;
}

bool WriteAt(int fd, off_t at, const void* from, size_t n) {
  const char* p = static_cast<const char*>(from);
  size_t done = 0;
  while (done < n) {
    ssize_t w = ::pwrite(fd, p + done, n - done, at + static_cast<off_t>(done));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += static_cast<size_t>(w);
  }
  return true;
}

bool WriteWord(int fd, off_t at, uint32_t v) { return WriteAt(fd, at, &v, sizeof v); }

Status Refused(const std::string& path, const std::string& why) { return FileFailedVerification(path, why); }

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Whether the open file `fd` may hold the sessions of a database whose file
// belongs to `owner`: a regular file of one name, of that owner, that
// group and others cannot write.
Status CheckFile(int fd, uid_t owner, const std::string& path, struct stat* sb) {
  if (::fstat(fd, sb) != 0) return Refused(path, Errno("cannot read its status"));
  if (!S_ISREG(sb->st_mode)) return Refused(path, "not a regular file");
  if (sb->st_uid != owner)
    return Refused(path, "owned by uid " + std::to_string(sb->st_uid) + ", not by the database file's owner (uid " +
                             std::to_string(owner) + ")");
  if ((sb->st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(sb->st_mode & 07777));
    return Refused(path, std::string("writable by group or others (mode ") + mode + ")");
  }
  if (sb->st_nlink != 1) return Refused(path, "a hard link (the file has other names)");
  return Status::Ok();
}

// Opens the users file `path` of the database file `db_path`, making it
// when it is missing, never through a symbolic link, and checks it.
Status OpenFile(const std::string& db_path, const std::string& path, int* fd_out, uid_t* owner,
                struct stat* sb) {
  struct stat db;
  if (::stat(db_path.c_str(), &db) != 0) return Refused(path, Errno("cannot read the database file's status"));
  int fd = -1;
  bool made = false;
  const char* failed = "cannot open it";
  // A file made by another process between the two opens is opened by
  // the next round.
  for (int round = 0; round < 3 && fd < 0; ++round) {
    // O_NONBLOCK: a fifo in its place must not hang the open.
    fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) break;
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    made = fd >= 0;
    if (fd < 0 && errno != EEXIST) {
      failed = "cannot create it";
      break;
    }
  }
  if (fd < 0) {
    if (errno == ELOOP) return Refused(path, "a symbolic link");
    if (errno == EISDIR) return Refused(path, "not a regular file");
    return Refused(path, Errno(failed));
  }
  if (made) {
    // The umask may have taken the owner's bits; root makes it for the
    // database file's owner, as SQLite gives root's -wal and -shm files.
    (void)::fchmod(fd, 0600);
    if (::geteuid() == 0 && db.st_uid != 0) (void)::fchown(fd, db.st_uid, db.st_gid);
  }
  std::memset(sb, 0, sizeof *sb);
  Status st = CheckFile(fd, db.st_uid, path, sb);
  if (!st.ok()) {
    // Nothing of this process is locked through a file it has not used:
    // unless another path of it names the same file (then kept open).
    auto it = g_files.find({sb->st_dev, sb->st_ino});
    if (it == g_files.end() || !it->second.busy()) {
      if (made) ::unlink(path.c_str());
      ::close(fd);
    }
    return st;
  }
  *fd_out = fd;
  *owner = db.st_uid;
  return Status::Ok();
}

// The checked users file of the database file `db_path`. While the process
// has sessions in it, it stays with that file and checks it again; else it
// opens the path anew, which may name another file by now.
Status Attach(const std::string& db_path, SessionFile** out) {
  const std::string path = db_path + "-users";
  auto known = g_paths.find(db_path);
  struct stat sb;
  if (known != g_paths.end() && known->second->fd >= 0) {
    SessionFile& f = *known->second;
    if (f.busy()) {
      TABDB_RETURN_IF_ERROR(CheckFile(f.fd, f.owner, f.path, &sb));
      *out = &f;
      return Status::Ok();
    }
    ::close(f.fd);  // no lock of the process on it
    f.fd = -1;
  }
  int fd = -1;
  uid_t owner = 0;
  TABDB_RETURN_IF_ERROR(OpenFile(db_path, path, &fd, &owner, &sb));
  SessionFile& f = g_files[{sb.st_dev, sb.st_ino}];
  if (f.fd < 0) {
    f.fd = fd;
  } else if (!f.busy()) {
    ::close(f.fd);
    f.fd = fd;
  }
  // Else another path of the process names the same file and holds locks
  // through it: the new descriptor stays open (closing it would drop them).
  f.path = path;
  f.owner = owner;
  g_paths[db_path] = &f;
  *out = &f;
  return Status::Ok();
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

bool SlotLive(const SessionFile& f, int k) {
  return f.slots.count(k) != 0 || LockedElsewhere(f.fd, kSlotLocks + k);
}

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
  SessionFile* f = nullptr;
  TABDB_RETURN_IF_ERROR(Attach(db.path(), &f));
  int k = 0;
  for (; k < kMaxSessions; ++k) {
    if (f->slots.count(k) != 0) continue;
    if (SetLock(f->fd, F_WRLCK, kSlotLocks + k)) break;
  }
  if (k == kMaxSessions) return OraError(ora::kSessionsExceeded);
  const off_t at = SlotAt(k);
  uint32_t serial = ReadWord(f->fd, at + offsetof(SessionSlot, serial)) + 1;
  if (serial == 0) serial = 1;
  SessionSlot s = {};
  s.serial = serial;
  s.user_id = user.user_id;
  s.pid = static_cast<int64_t>(::getpid());
  CopyName(s.username, sizeof(s.username), user.name);
  CopyName(s.program, sizeof(s.program), ProgramName());
  // Unpublished first, so that no reader takes the old SERIAL# with the
  // new names.
  if (!WriteWord(f->fd, at + offsetof(SessionSlot, published), 0) || !WriteAt(f->fd, at, &s, sizeof s) ||
      !WriteWord(f->fd, at + offsetof(SessionSlot, published), serial)) {
    Status st = Refused(f->path, Errno("cannot write it"));
    (void)SetLock(f->fd, F_UNLCK, kSlotLocks + k);
    return st;
  }
  f->slots.insert(k);
  if (f->users[user.user_id]++ == 0) (void)SetLock(f->fd, F_RDLCK, user.user_id);
  out->sid = k + 1;
  out->serial = serial;
  out->user_id = user.user_id;
  out->file = f;
  out->fd = f->fd;
  out->at = at;
  out->registered = true;
  return Status::Ok();
}

void UnregisterSession(Database&, const SessionRegistration& r) {
  if (!r.registered) return;
  std::lock_guard<std::mutex> lock(g_mu);
  SessionFile& f = *r.file;
  assert(f.fd == r.fd && "the file stays open while it has sessions");
  const int k = static_cast<int>(r.sid - 1);
  (void)WriteWord(f.fd, r.at + offsetof(SessionSlot, published), 0);
  f.slots.erase(k);
  (void)SetLock(f.fd, F_UNLCK, kSlotLocks + k);
  auto it = f.users.find(r.user_id);
  if (it == f.users.end() || --it->second > 0) return;
  f.users.erase(it);
  (void)SetLock(f.fd, F_UNLCK, r.user_id);
}

Status UserConnected(Database& db, int64_t user_id, bool* connected) {
  *connected = false;
  std::lock_guard<std::mutex> lock(g_mu);
  SessionFile* f = nullptr;
  TABDB_RETURN_IF_ERROR(Attach(db.path(), &f));
  auto it = f->users.find(user_id);
  *connected = (it != f->users.end() && it->second > 0) || LockedElsewhere(f->fd, user_id);
  return Status::Ok();
}

Status ListSessions(Database& db, std::vector<SessionRow>* out) {
  out->clear();
  std::lock_guard<std::mutex> lock(g_mu);
  SessionFile* f = nullptr;
  TABDB_RETURN_IF_ERROR(Attach(db.path(), &f));
  for (int k = 0; k < kMaxSessions; ++k) {
    if (f->slots.count(k) == 0) {
      // Jump to the next slot another process holds: one call for a run
      // of free slots.
      struct flock fl = {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      fl.l_start = kSlotLocks + k;
      fl.l_len = kMaxSessions - k;
      if (::fcntl(f->fd, F_GETLK, &fl) != 0 || fl.l_type == F_UNLCK) {
        auto next = f->slots.upper_bound(k);
        if (next == f->slots.end()) break;
        k = *next - 1;
        continue;
      }
      int held = static_cast<int>(fl.l_start - kSlotLocks);
      auto mine = f->slots.upper_bound(k);
      if (mine != f->slots.end() && *mine < held) held = *mine;
      if (held > k) {
        k = held - 1;
        continue;
      }
    }
    const off_t at = SlotAt(k);
    const off_t published = at + offsetof(SessionSlot, published);
    uint32_t serial = ReadWord(f->fd, published);
    if (serial == 0) continue;
    SessionSlot s;
    ReadAt(f->fd, at, &s, sizeof s);
    if (s.published != serial || ReadWord(f->fd, published) != serial) continue;  // taken anew meanwhile
    SessionRow row;
    row.sid = k + 1;
    row.serial = serial;
    row.user_id = s.user_id;
    row.pid = s.pid;
    row.username.assign(s.username, strnlen(s.username, sizeof(s.username)));
    row.program.assign(s.program, strnlen(s.program, sizeof(s.program)));
    row.killed = s.kill_serial == serial;
    row.waiting = s.waiting != 0;
    StatsBlock a, b;
    ReadAt(f->fd, StatsAt(k), &a, sizeof a);
    ReadAt(f->fd, StatsAt(k), &b, sizeof b);
    if (a.serial == serial && std::memcmp(&a, &b, sizeof a) == 0) {
      for (int i = 0; i < kStatisticCount; ++i) row.net.*kStatistics[i].field = a.values[i];
    }
    out->push_back(std::move(row));
  }
  return Status::Ok();
}

Status MarkSessionKilled(Database& db, int64_t sid, int64_t serial) {
  std::lock_guard<std::mutex> lock(g_mu);
  SessionFile* f = nullptr;
  TABDB_RETURN_IF_ERROR(Attach(db.path(), &f));
  if (sid < 1 || sid > kMaxSessions || serial < 1 || serial > static_cast<int64_t>(UINT32_MAX))
    return OraError(ora::kNoSuchSession);
  const int k = static_cast<int>(sid - 1);
  if (!SlotLive(*f, k)) return OraError(ora::kNoSuchSession);
  const uint32_t want = static_cast<uint32_t>(serial);
  if (ReadWord(f->fd, SlotAt(k) + offsetof(SessionSlot, published)) != want) return OraError(ora::kNoSuchSession);
  // Should the session end and its slot be taken again right now, the mark
  // names the old SERIAL# and the new session ignores it.
  if (!WriteWord(f->fd, SlotAt(k) + offsetof(SessionSlot, kill_serial), want))
    return Refused(f->path, Errno("cannot write it"));
  return Status::Ok();
}

bool SessionRegistration::kill_marked() const {
  return fd >= 0 && ReadWord(fd, at + offsetof(SessionSlot, kill_serial)) == serial;
}

void SessionRegistration::PublishStats(const NetStats& net) const {
  if (fd < 0) return;
  StatsBlock b = {};
  b.serial = serial;
  for (int i = 0; i < kStatisticCount; ++i) b.values[i] = net.*kStatistics[i].field;
  // A lost write only leaves other sessions an older view of the figures.
  (void)WriteAt(fd, StatsAt(static_cast<int>(sid - 1)), &b, sizeof b);
}

void SessionRegistration::set_waiting(bool on) {
  if (fd < 0 || on == waiting_shown) return;
  // A lost write only shows the session INACTIVE while it waits.
  (void)WriteWord(fd, at + offsetof(SessionSlot, waiting), on ? 1u : 0u);
  waiting_shown = on;
}

}  // namespace tabdb
