// support.cpp - process, folder and database helpers for the tests.
#include "support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

extern char** environ;

namespace testsupport {

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const std::string& c : changes) {
    std::string name = c.substr(0, c.find('='));
    for (auto it = env.begin(); it != env.end();) {
      if (it->compare(0, name.size() + 1, name + "=") == 0) {
        it = env.erase(it);
      } else {
        ++it;
      }
    }
    if (c.find('=') != std::string::npos) env.push_back(c);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& v) {
  std::vector<char*> p;
  for (std::string& s : v) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}


ProcResult Run(const std::vector<std::string>& argv_in, const std::vector<std::string>& env_changes,
               const std::string& input, const std::string& cwd) {
  ProcResult r;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return r;
  std::vector<std::string> argv = argv_in;
  std::vector<std::string> env = ChildEnvironment(env_changes);
  std::vector<char*> argp = Pointers(argv);
  std::vector<char*> envp = Pointers(env);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  size_t written = 0;
  if (input.empty()) {
    close(in[1]);
    in[1] = -1;
  }
  struct pollfd fds[3];
  bool out_open = true, err_open = true;
  char buf[65536];
  while (out_open || err_open) {
    int n = 0;
    if (out_open) fds[n++] = {out[0], POLLIN, 0};
    if (err_open) fds[n++] = {err[0], POLLIN, 0};
    if (in[1] >= 0) fds[n++] = {in[1], POLLOUT, 0};
    if (poll(fds, n, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in[1]) {
        ssize_t w = write(in[1], input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w < 0 || written == input.size()) {
          close(in[1]);
          in[1] = -1;
        }
        continue;
      }
      ssize_t k = read(fds[i].fd, buf, sizeof buf);
      if (k <= 0) {
        if (fds[i].fd == out[0]) out_open = false; else err_open = false;
        continue;
      }
      (fds[i].fd == out[0] ? r.out : r.err).append(buf, static_cast<size_t>(k));
    }
  }
  if (in[1] >= 0) close(in[1]);
  close(out[0]);
  close(err[0]);
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
  return r;
}

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tabtest.XXXXXX";
  char* p = mkdtemp(tmpl.data());
  path_ = p ? p : "";
}

TempDir::~TempDir() {
  if (!path_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << data;
}

void CreateDatabase(const std::string& path, const std::string& password) {
  ProcResult r = Run({TABSQL_PATH, "-init", "system/" + password + "@" + path});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
}

ProcResult RunSql(const std::string& userid, const std::string& script,
                  const std::vector<std::string>& env) {
  return Run({TABSQL_PATH, "-S", userid}, env, script);
}

void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t from = 0;
  for (const std::string& part : parts) {
    size_t at = text.find(part, from);
    EXPECT_NE(at, std::string::npos) << part << "\n" << text;
    if (at != std::string::npos) from = at + part.size();
  }
}

}  // namespace testsupport
