// dump_cursor.h - a bounds-checked reader over a dump file held in memory,
// for tests that take a written dump apart: big-endian words and byte runs;
// a read past the end yields nothing and leaves the cursor not ok().
#pragma once

#include <cstdint>
#include <string>

#include "util.h"

namespace testsupport {

class DumpCursor {
 public:
  DumpCursor(const std::string& s, uint64_t pos) : s_(s), pos_(pos) {}
  bool ok() const { return ok_; }
  uint64_t pos() const { return pos_; }
  uint16_t Word() {
    uint16_t v = Peek();
    if (ok_) pos_ += 2;
    return v;
  }
  uint16_t Peek() {
    if (!Need(2)) return 0;
    return get_be16(reinterpret_cast<const uint8_t*>(s_.data()) + pos_);
  }
  std::string Bytes(size_t n) {
    if (!Need(n)) return "";
    std::string r = s_.substr(pos_, n);
    pos_ += n;
    return r;
  }

 private:
  bool Need(uint64_t n) {
    if (ok_ && pos_ + n <= s_.size()) return true;
    ok_ = false;
    return false;
  }
  const std::string& s_;
  uint64_t pos_;
  bool ok_ = true;
};

}  // namespace testsupport
