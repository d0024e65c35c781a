// dump_reader_fuzz.cpp - libFuzzer target of tabimp's dump reader: every
// input is written to a file and imported by tabimp over the OCI test double.
//
// The run must end with status 0 or -1, with every handle and LOB locator
// released, whatever the bytes are.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fakeoci.h"

extern "C" int tabimp_main(int argc, char** argv);

namespace {

std::string g_dir, g_path;

void RemoveInput() {
  unlink(g_path.c_str());
  rmdir(g_dir.c_str());
}

void WriteInput(const uint8_t* data, size_t size) {
  int fd = open(g_path.c_str(), O_WRONLY | O_TRUNC | O_CREAT, 0600);
  if (fd < 0) abort();
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) abort();
    done += static_cast<size_t>(n);
  }
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  char dir[] = "/tmp/dump_reader_fuzz.XXXXXX";
  if (!mkdtemp(dir)) abort();
  g_dir = dir;
  g_path = g_dir + "/input.dmp";
  atexit(RemoveInput);
  // tabimp's banner, messages and progress lines go nowhere: libFuzzer
  // closes standard output and error for the target and keeps its own
  // reports (and the sanitizers') on a copy of standard error.
  static std::vector<char*> args(*argv, *argv + *argc);
  static char quiet[] = "-close_fd_mask=3";
  args.insert(args.begin() + 1, quiet);
  args.push_back(nullptr);
  *argv = args.data();
  *argc = static_cast<int>(args.size()) - 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteInput(data, size);
  fakeoci::Reset();
  std::string file = "FILE=" + g_path;
  char prog[] = "tabimp";
  char userid[] = "app/app@fuzz";
  char ignore[] = "IGNORE=Y";
  char* argv[] = {prog, userid, file.data(), ignore, nullptr};
  int rc = tabimp_main(4, argv);
  if (rc != 0 && rc != -1) abort();
  if (fakeoci::state().live_objects != 0) abort();  // a handle or locator leaked
  if (fakeoci::state().text_changed) abort();       // a prepared text was overwritten
  return 0;
}
