// report.h - turns the measurements of run.sh into its results table:
// medians per operation, table and tool, throughput, peak memory, the
// ratios to the baseline and to the textual dump, and the team's goals.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "util/status.h"

namespace tabdb::bench {

// One measured run. `op` is "export" or "import"; `table` a reference table
// name or "ALL" for the whole schema; `tool` is "program" (tabexp or
// tabimp), "limit" or "peer"; `bytes` is the size of the file the tool
// wrote (export) or read (import); `cpu_seconds` its user and system time.
struct Sample {
  std::string op, table, tool;
  int repeat = 0;
  double seconds = 0;
  long maxrss_kb = 0;
  int64_t rows = 0;
  int64_t bytes = 0;
  double cpu_seconds = 0;
};

// Reads lines "op table tool repeat seconds maxrss_kb rows bytes
// cpu_seconds" separated by blanks; empty lines and lines starting with '#' are
// skipped. A malformed line fails with its number.
Status ParseSamples(std::istream& in, std::vector<Sample>* out);

// The median of `v` (the mean of the middle two for an even count); 0 for
// none.
double Median(std::vector<double> v);

// Summary of the samples of one operation, table and tool.
struct Cell {
  int runs = 0;
  int64_t rows = 0;
  int64_t bytes = 0;
  double median_seconds = 0;
  double median_cpu_seconds = 0;
  double peak_mb = 0;  // the largest of the runs, in MiB
};

// The cell for (op, table, tool); runs == 0 when there is none.
Cell Summarize(const std::vector<Sample>& samples, const std::string& op,
               const std::string& table, const std::string& tool);

// One of the goals the programs are measured against.
struct GoalCheck {
  std::string text;      // what is required
  std::string measured;  // what was found
  bool met = false;
  bool known = false;    // false when the samples lack what it needs
};

std::vector<GoalCheck> CheckGoals(const std::vector<Sample>& samples);

// The results table and the goal list, in Markdown.
std::string FormatReport(const std::vector<Sample>& samples);

}  // namespace tabdb::bench
