// report.cpp - medians, ratios and goal checks over run.sh's measurements,
// printed as Markdown tables.
#include "report.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace tabdb::bench {
namespace {

const char* const kOps[] = {"export", "import"};
const char* const kTables[] = {"NARROW", "WIDE", "LOBS", "LONGS", "ALL"};
const char* const kTools[] = {"program", "limit", "peer"};

constexpr double kMiB = 1024.0 * 1024.0;

std::string Fmt(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

// Seconds with three significant figures at least down to milliseconds.
std::string Secs(double s) { return Fmt(s < 10 ? "%.3f" : "%.2f", s); }

std::string Rate(double v) {
  if (v >= 1e6) return Fmt("%.2fM", v / 1e6);
  if (v >= 1e3) return Fmt("%.1fk", v / 1e3);
  return Fmt("%.0f", v);
}

std::string Ratio(double num, double den) {
  if (num <= 0 || den <= 0) return "-";
  return Fmt("%.2f", num / den);
}

std::string ToolName(const std::string& op, const std::string& tool) {
  if (tool == "program") return op == "export" ? "tabexp" : "tabimp";
  if (tool == "limit") return "limit";
  return op == "export" ? "sqlite3 .dump" : "sqlite3 < dump";
}

}  // namespace

Status ParseSamples(std::istream& in, std::vector<Sample>* out) {
  out->clear();
  std::string line;
  int lineno = 0;
  while (std::getline(in, line)) {
    lineno++;
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream f(line);
    Sample s;
    std::string extra;
    if (!(f >> s.op >> s.table >> s.tool >> s.repeat >> s.seconds >> s.maxrss_kb >> s.rows >>
          s.bytes >> s.cpu_seconds) ||
        (f >> extra) || (s.op != "export" && s.op != "import") ||
        (s.tool != "program" && s.tool != "limit" && s.tool != "peer") || s.seconds < 0 ||
        s.maxrss_kb < 0 || s.rows < 0 || s.bytes < 0 || s.cpu_seconds < 0)
      return Status::Error(-1, "measurements line " + std::to_string(lineno) + " malformed: " + line);
    out->push_back(s);
  }
  return Status::Ok();
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

Cell Summarize(const std::vector<Sample>& samples, const std::string& op, const std::string& table,
               const std::string& tool) {
  Cell c;
  std::vector<double> secs, cpu;
  for (const Sample& s : samples) {
    if (s.op != op || s.table != table || s.tool != tool) continue;
    c.runs++;
    secs.push_back(s.seconds);
    cpu.push_back(s.cpu_seconds);
    c.rows = std::max(c.rows, s.rows);
    c.bytes = std::max(c.bytes, s.bytes);
    c.peak_mb = std::max(c.peak_mb, static_cast<double>(s.maxrss_kb) / 1024.0);
  }
  c.median_seconds = Median(secs);
  c.median_cpu_seconds = Median(cpu);
  return c;
}

std::vector<GoalCheck> CheckGoals(const std::vector<Sample>& samples) {
  std::vector<GoalCheck> goals;
  auto vs_limit = [&](const std::string& op, const std::string& table, double max_ratio) {
    GoalCheck g;
    g.text = op + " of " + table + " within " + Fmt("%.2f", max_ratio) + "x the limit";
    Cell p = Summarize(samples, op, table, "program"), l = Summarize(samples, op, table, "limit");
    if (p.runs && l.runs && l.median_seconds > 0) {
      double r = p.median_seconds / l.median_seconds;
      g.known = true;
      g.met = r <= max_ratio;
      g.measured = Fmt("%.2fx", r);
      if (l.median_cpu_seconds > 0)
        g.measured += Fmt(" (CPU %.2fx)", p.median_cpu_seconds / l.median_cpu_seconds);
    }
    goals.push_back(g);
  };
  for (const char* op : kOps) {
    std::string o = op;
    double ordinary = o == "export" ? 1.25 : 1.5;
    vs_limit(o, "NARROW", ordinary);
    vs_limit(o, "WIDE", ordinary);
    vs_limit(o, "LOBS", 2.0);
    vs_limit(o, "LONGS", 2.0);
  }
  for (const char* op : kOps) {
    for (const char* table : kTables) {
      GoalCheck g;
      std::string name = ToolName(op, "program");
      g.text = name + " of " + table + " at least 5x faster than " + ToolName(op, "peer");
      Cell p = Summarize(samples, op, table, "program"), q = Summarize(samples, op, table, "peer");
      if (p.runs && q.runs && p.median_seconds > 0) {
        double speedup = q.median_seconds / p.median_seconds;
        g.known = true;
        g.met = speedup >= 5.0;
        g.measured = Fmt("%.1fx faster", speedup);
        if (p.median_cpu_seconds > 0)
          g.measured += Fmt(" (CPU %.1fx)", q.median_cpu_seconds / p.median_cpu_seconds);
      }
      goals.push_back(g);
    }
  }
  for (const char* op : kOps) {
    GoalCheck g;
    g.text = "peak memory of " + ToolName(op, "program") + " under 64 MB";
    double peak = 0;
    for (const Sample& s : samples)
      if (s.op == op && s.tool == "program") {
        g.known = true;
        peak = std::max(peak, static_cast<double>(s.maxrss_kb) / 1024.0);
      }
    if (g.known) {
      g.met = peak < 64.0;
      g.measured = Fmt("%.1f MB", peak);
    }
    goals.push_back(g);
  }
  return goals;
}

std::string FormatReport(const std::vector<Sample>& samples) {
  std::ostringstream o;
  o << "| Op | Table | Tool | Rows | File MB | Median s | CPU s | Rows/s | MB/s | Peak MB | x limit | x peer "
       "| CPU x limit |\n"
    << "|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const char* op : kOps) {
    for (const char* table : kTables) {
      Cell limit = Summarize(samples, op, table, "limit");
      Cell peer = Summarize(samples, op, table, "peer");
      for (const char* tool : kTools) {
        Cell c = Summarize(samples, op, table, tool);
        if (c.runs == 0) continue;
        double s = c.median_seconds;
        o << "| " << op << " | " << table << " | " << ToolName(op, tool) << " | " << c.rows << " | "
          << Fmt("%.1f", static_cast<double>(c.bytes) / kMiB) << " | " << Secs(s) << " | "
          << Secs(c.median_cpu_seconds) << " | "
          << (s > 0 ? Rate(static_cast<double>(c.rows) / s) : "-") << " | "
          << (s > 0 ? Fmt("%.1f", static_cast<double>(c.bytes) / kMiB / s) : "-") << " | "
          << Fmt("%.1f", c.peak_mb) << " | " << Ratio(s, limit.median_seconds) << " | "
          << Ratio(s, peer.median_seconds) << " | "
          << Ratio(c.median_cpu_seconds, limit.median_cpu_seconds) << " |\n";
      }
    }
  }
  o << "\n| Goal | Measured | Met |\n|---|---|---|\n";
  for (const GoalCheck& g : CheckGoals(samples))
    o << "| " << g.text << " | " << (g.known ? g.measured : "not measured") << " | "
      << (g.known ? (g.met ? "yes" : "**no**") : "-") << " |\n";
  return o.str();
}

}  // namespace tabdb::bench
