// bench_time.cpp - command line of the child-process timer used by run.sh:
// runs a command with optional redirections and writes one line
// "seconds maxrss_kb status user_seconds sys_seconds" to the report file.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "measure.h"

using namespace tabdb;
using namespace tabdb::bench;

int main(int argc, char** argv) {
  Redirects r;
  std::string report;
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; i++) {
    std::string* target = nullptr;
    if (std::strcmp(argv[i], "-i") == 0) target = &r.in;
    else if (std::strcmp(argv[i], "-o") == 0) target = &r.out;
    else if (std::strcmp(argv[i], "-e") == 0) target = &r.err;
    else if (std::strcmp(argv[i], "-r") == 0) target = &report;
    if (target == nullptr || i + 1 >= argc) {
      i = argc;
      break;
    }
    *target = argv[++i];
  }
  if (i + 1 >= argc || report.empty()) {
    std::fprintf(stderr,
                 "usage: bench_time -r REPORT [-i IN] [-o OUT] [-e ERR] -- COMMAND [ARGS...]\n"
                 "Runs COMMAND and writes \"seconds maxrss_kb status user sys\" to REPORT;\n"
                 "exits with COMMAND's status.\n");
    return 2;
  }
  std::vector<std::string> args(argv + i + 1, argv + argc);
  Measured m;
  Status st = RunMeasured(args, r, &m);
  if (!st.ok()) {
    std::fprintf(stderr, "bench_time: %s\n", st.text().c_str());
    return 127;
  }
  FILE* f = std::fopen(report.c_str(), "w");
  if (f == nullptr || std::fprintf(f, "%.6f %ld %d %.6f %.6f\n", m.seconds, m.maxrss_kb, m.status,
                                   m.user_seconds, m.sys_seconds) < 0 ||
      std::fclose(f) != 0) {
    std::fprintf(stderr, "bench_time: cannot write %s\n", report.c_str());
    return 127;
  }
  return m.status;
}
