// match_budget.h - the work one statement execution may spend on matching
// regular expressions, over all its rows and calls: the REGEXP_ functions
// (fn_regexp.cpp) charge it, the callers that run statements hold it.
#pragma once

#include <cstdint>

namespace tabdb {

// Work is counted in steps: each backtracking point PCRE2 passes counts one,
// plus the pattern's length, plus the characters it moved over since the
// last one (fn_regexp.cpp). An execution starts with a fixed allowance;
// every REGEXP_ call adds to it in proportion to its source text, so that
// work growing linearly with the data never runs out, while work that
// grows faster (catastrophic backtracking, row after row) does: ORA-02393.
class MatchBudget {
 public:
  // Steps an execution may spend beyond what its calls bring, about a
  // second of backtracking.
  static constexpr uint64_t kPerStatement = 100'000'000;
  // Steps each REGEXP_ call brings, and each byte of its source text:
  // ordinary patterns spend a few per byte.
  static constexpr uint64_t kPerCall = 1'000;
  static constexpr uint64_t kPerByte = 256;

  // A new execution.
  void Reset() { left_ = kPerStatement; }
  void Credit(uint64_t steps) { left_ = steps > kCap - left_ ? kCap : left_ + steps; }
  // False (and nothing left) when `steps` are more than what is left.
  bool Spend(uint64_t steps) {
    if (steps > left_) {
      left_ = 0;
      return false;
    }
    left_ -= steps;
    return true;
  }

 private:
  static constexpr uint64_t kCap = uint64_t{1} << 62;
  uint64_t left_ = kPerStatement;
};

// While alive, makes `budget` the one the REGEXP_ functions of this thread
// charge, unless an enclosing scope set one: a statement run inside
// another's execution shares its budget. Without any scope, each call has
// an allowance of its own.
class MatchBudgetScope {
 public:
  explicit MatchBudgetScope(MatchBudget* budget);
  ~MatchBudgetScope();
  MatchBudgetScope(const MatchBudgetScope&) = delete;
  MatchBudgetScope& operator=(const MatchBudgetScope&) = delete;

 private:
  bool set_ = false;
};

// The budget of the statement this thread runs, or null.
MatchBudget* CurrentMatchBudget();

}  // namespace tabdb
