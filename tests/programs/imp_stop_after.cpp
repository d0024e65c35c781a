// imp_stop_after.cpp - runs a command with its standard output read
// through a small pipe and sends it a signal once it has printed N
// progress dots (rows, with FEEDBACK=1) or N ". . importing table" lines;
// everything the command prints is passed on. The small pipe keeps the
// command from running far past the point where the signal is sent.
//
//   imp_stop_after SIGINT|SIGTERM dots|tables N command [arg...]
//
// Exits with the command's status (128 + signal when a signal ended it).
#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s SIGINT|SIGTERM dots|tables N command [arg...]\n", argv[0]);
    return 2;
  }
  int sig = std::strcmp(argv[1], "SIGTERM") == 0 ? SIGTERM : SIGINT;
  bool dots = std::strcmp(argv[2], "dots") == 0;
  long n = std::atol(argv[3]);
  int fds[2];
  if (pipe(fds) != 0) return 2;
#ifdef F_SETPIPE_SZ
  fcntl(fds[0], F_SETPIPE_SZ, 4096);
#endif
  pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    execv(argv[4], argv + 4);
    _exit(127);
  }
  close(fds[1]);
  long seen = 0;
  bool sent = false;
  std::string line;
  char buf[256];
  ssize_t got;
  while ((got = read(fds[0], buf, sizeof buf)) != 0) {
    if (got < 0) continue;
    fwrite(buf, 1, static_cast<size_t>(got), stdout);
    for (ssize_t i = 0; i < got && !sent; ++i) {
      if (dots) {
        if (buf[i] == '.' && ++seen >= n) sent = true;
      } else if (buf[i] == '\n') {
        if (line.find(". . importing table") != std::string::npos && ++seen >= n) sent = true;
        line.clear();
      } else {
        line += buf[i];
      }
      if (sent) kill(pid, sig);
    }
  }
  fflush(stdout);
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return 2;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
