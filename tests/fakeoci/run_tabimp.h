// run_tabimp.h - runs tabimp's main over the OCI test double on dump bytes
// written to a scratch file, with its standard output and error captured.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakeoci.h"

extern "C" int tabimp_main(int argc, char** argv);

namespace fakeoci {

struct ImportResult {
  int rc = -2;  // -2: no scratch folder
  std::string out, err;
};

// Imports `bytes` as "tabimp app/app@db FILE=<scratch> args...", after
// fakeoci::Reset() and `setup` (when given).
inline ImportResult RunTabimp(const std::string& bytes, const std::vector<std::string>& args = {},
                              void (*setup)() = nullptr) {
  ImportResult r;
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/run_tabimp.XXXXXX";
  char* dir = mkdtemp(tmpl.data());
  if (!dir) return r;
  std::string path = std::string(dir) + "/x.dmp";
  std::ofstream(path, std::ios::binary) << bytes;
  Reset();
  if (setup) setup();
  std::vector<std::string> argv = {"tabimp", "app/app@db", "FILE=" + path};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> p;
  for (std::string& a : argv) p.push_back(a.data());
  p.push_back(nullptr);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  r.rc = tabimp_main(static_cast<int>(argv.size()), p.data());
  r.out = ::testing::internal::GetCapturedStdout();
  r.err = ::testing::internal::GetCapturedStderr();
  unlink(path.c_str());
  rmdir(dir);
  return r;
}

// As RunTabimp; the test fails unless every handle and locator was released.
inline ImportResult RunTabimpReleased(const std::string& bytes, const std::vector<std::string>& args = {},
                                      void (*setup)() = nullptr) {
  ImportResult r = RunTabimp(bytes, args, setup);
  EXPECT_EQ(state().live_objects, 0);
  return r;
}

}  // namespace fakeoci
