// session_registry.cpp - which users have sessions open on a database file,
// in this process and in others, so that a user with a session cannot be
// dropped.
//
// Every process holds, for each user it has sessions of, a shared lock on
// byte <user id> of the file "<database>-users" beside the database. Such
// locks go when the process ends, however it ends, so a crashed process
// never keeps a user connected; and nothing is written to the database at
// logon. Locks of one process do not conflict with each other: sessions of
// this process are counted in memory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "session/session.h"
#include "util/errors.h"

namespace tabdb {
namespace {

std::mutex g_mu;
// Lock file descriptor per database path. Never closed: closing any
// descriptor of a file drops all of the process's locks on it.
std::map<std::string, int> g_fds;
// Open sessions of this process per (database path, user id).
std::map<std::pair<std::string, int64_t>, int> g_counts;

int LockFd(const std::string& db_path) {
  auto it = g_fds.find(db_path);
  if (it != g_fds.end()) return it->second;
  std::string p = db_path + "-users";
  int fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) g_fds.emplace(db_path, fd);
  return fd;
}

bool SetLock(int fd, short type, int64_t user_id) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(user_id);
  fl.l_len = 1;
  return ::fcntl(fd, F_SETLK, &fl) == 0;
}

}  // namespace

int64_t RegisterSession(Database& db, int64_t user_id) {
  std::lock_guard<std::mutex> lock(g_mu);
  int& n = g_counts[{db.path(), user_id}];
  if (n++ == 0) {
    int fd = LockFd(db.path());
    if (fd >= 0) (void)SetLock(fd, F_RDLCK, user_id);
  }
  return user_id;
}

void UnregisterSession(Database& db, int64_t user_id) {
  if (user_id == 0) return;
  std::lock_guard<std::mutex> lock(g_mu);
  auto it = g_counts.find({db.path(), user_id});
  if (it == g_counts.end()) return;
  if (--it->second > 0) return;
  g_counts.erase(it);
  int fd = LockFd(db.path());
  if (fd >= 0) (void)SetLock(fd, F_UNLCK, user_id);
}

Status UserConnected(Database& db, int64_t user_id, bool* connected) {
  std::lock_guard<std::mutex> lock(g_mu);
  auto it = g_counts.find({db.path(), user_id});
  *connected = it != g_counts.end() && it->second > 0;
  if (*connected) return Status::Ok();
  int fd = LockFd(db.path());
  if (fd < 0) return Status::Ok();  // no lock file: no process could have listed a session
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(user_id);
  fl.l_len = 1;
  if (::fcntl(fd, F_GETLK, &fl) != 0) return Status::Ok();
  *connected = fl.l_type != F_UNLCK;
  return Status::Ok();
}

}  // namespace tabdb
