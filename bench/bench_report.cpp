// bench_report.cpp - command line of the report maker: reads run.sh's
// measurement lines from a file (or standard input) and prints the results
// table and the goal list in Markdown.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "report.h"

using namespace tabdb;
using namespace tabdb::bench;

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: bench_report [MEASUREMENTS]\n");
    return 2;
  }
  std::vector<Sample> samples;
  Status st;
  if (argc == 2) {
    std::ifstream in(argv[1]);
    if (!in) {
      std::fprintf(stderr, "bench_report: cannot open %s\n", argv[1]);
      return 1;
    }
    st = ParseSamples(in, &samples);
  } else {
    st = ParseSamples(std::cin, &samples);
  }
  if (!st.ok()) {
    std::fprintf(stderr, "bench_report: %s\n", st.text().c_str());
    return 1;
  }
  std::cout << FormatReport(samples);
  return 0;
}
