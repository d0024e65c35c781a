// measure.cpp - fork, exec and wait4 of a measured child, with standard
// streams redirected to files and exec failures reported back through a
// close-on-exec pipe.
#include "measure.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tabdb::bench {
namespace {

// In the child: opens `path` onto descriptor `fd`; false on failure.
bool Redirect(const std::string& path, int fd, int flags) {
  if (path.empty()) return true;
  int f = ::open(path.c_str(), flags, 0644);
  if (f < 0) return false;
  if (f != fd) {
    if (::dup2(f, fd) < 0) return false;
    ::close(f);
  }
  return true;
}

double Seconds(const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; }

}  // namespace

Status RunMeasured(const std::vector<std::string>& argv, const Redirects& redirects,
                   Measured* out) {
  if (argv.empty()) return Status::Error(-1, "no program to run");
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int pipefd[2];
  if (::pipe2(pipefd, O_CLOEXEC) != 0) return Status::Error(-1, std::string("pipe: ") + std::strerror(errno));
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pipefd[0]);
    ::close(pipefd[1]);
    return Status::Error(-1, std::string("fork: ") + std::strerror(errno));
  }
  if (pid == 0) {
    ::close(pipefd[0]);
    // Each step names itself in the report so the parent can say which failed.
    const char* step = "open input";
    bool ok = Redirect(redirects.in, 0, O_RDONLY);
    if (ok) {
      step = "open output";
      ok = Redirect(redirects.out, 1, O_WRONLY | O_CREAT | O_TRUNC) &&
           Redirect(redirects.err, 2, O_WRONLY | O_CREAT | O_TRUNC);
    }
    if (ok) {
      step = "exec";
      ::execvp(args[0], args.data());
    }
    int e = errno;
    char msg[128];
    int n = static_cast<int>(std::strlen(step));
    std::memcpy(msg, step, static_cast<size_t>(n));
    std::memcpy(msg + n, &e, sizeof e);
    ssize_t w = ::write(pipefd[1], msg, static_cast<size_t>(n) + sizeof e);
    (void)w;
    ::_exit(127);
  }
  ::close(pipefd[1]);
  char msg[128];
  ssize_t got;
  do {
    got = ::read(pipefd[0], msg, sizeof msg);
  } while (got < 0 && errno == EINTR);
  ::close(pipefd[0]);

  int wstatus = 0;
  struct rusage ru {};
  pid_t w;
  do {
    w = ::wait4(pid, &wstatus, 0, &ru);
  } while (w < 0 && errno == EINTR);
  auto end = std::chrono::steady_clock::now();
  if (w < 0) return Status::Error(-1, std::string("wait4: ") + std::strerror(errno));
  if (got > static_cast<ssize_t>(sizeof(int))) {
    int e;
    size_t n = static_cast<size_t>(got) - sizeof e;
    std::memcpy(&e, msg + n, sizeof e);
    return Status::Error(-1, "cannot run " + argv[0] + ": " + std::string(msg, n) + ": " +
                                 std::strerror(e));
  }
  out->seconds = std::chrono::duration<double>(end - start).count();
  out->user_seconds = Seconds(ru.ru_utime);
  out->sys_seconds = Seconds(ru.ru_stime);
  out->maxrss_kb = ru.ru_maxrss;
  out->status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return Status::Ok();
}

}  // namespace tabdb::bench
