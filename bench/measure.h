// measure.h - runs a program as a child process and measures it: wall
// time, CPU time and peak resident memory (from the child's rusage).
#pragma once

#include <string>
#include <vector>

#include "util/status.h"

namespace tabdb::bench {

struct Measured {
  double seconds = 0;      // wall time from fork to the child's end
  double user_seconds = 0;
  double sys_seconds = 0;
  long maxrss_kb = 0;      // peak resident set of the child
  int status = -1;         // exit status 0..255, or 128 + signal number
};

struct Redirects {
  std::string in;   // standard input from this file (empty: inherited)
  std::string out;  // standard output to this file, truncated (empty: inherited)
  std::string err;  // standard error likewise
};

// Runs argv[0] (searched in PATH when it has no '/') with argv[1..].
// A child that cannot be started (missing program, unreadable input file)
// is an error, not a measurement; a child that fails is measured, with
// its status in `out->status`.
Status RunMeasured(const std::vector<std::string>& argv, const Redirects& redirects,
                   Measured* out);

}  // namespace tabdb::bench
