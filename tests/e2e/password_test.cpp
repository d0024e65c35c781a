// password_test.cpp - what the process list shows of a password while a
// program waits on its parameter file: the file is a FIFO, so the program
// is caught, without a sleep, inside the open of the file.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

TEST(PasswordInArgv, BlankedBeforeTheParameterFileIsOpened) {
  for (const char* prog : {TABIMP_PATH, TABEXP_PATH}) {
    TempDir dir;
    std::string fifo = dir.file("par.fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    std::vector<std::string> args = {prog, "system/VeryLongSecret@db", "PARFILE=" + fifo,
                                     "USERID=x/AnotherSecret"};
    pid_t pid = fork();
    if (pid == 0) {
      std::vector<char*> a = testsupport::Pointers(args);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execv(a[0], a.data());
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    // returns once the program has opened the FIFO for reading
    int w = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(w, 0);
    std::string cmdline = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
    ASSERT_EQ(0, write(w, "FILE=/nonexistent/x.dmp\n", 24) < 0 ? -1 : 0);
    close(w);
    int st = 0;
    waitpid(pid, &st, 0);
    EXPECT_EQ(std::string::npos, cmdline.find("Secret")) << prog;
    // only the program's name: no run of NULs or blanks standing for what
    // was taken out either
    if (!cmdline.empty() && cmdline.back() == '\0') cmdline.pop_back();
    EXPECT_EQ(std::string(prog), cmdline) << prog;
  }
}

}  // namespace
