// sql_lexer_diff_fuzz.cpp - libFuzzer target that gives the same bytes to
// the programs' SQL lexer and to the embedded database's, in SQL and in
// PL/SQL mode, and fails on any difference in token boundaries or kinds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sql_lexer_diff.h"

namespace {

void Check(std::string_view text, bool plsql) {
  std::string diff = sql_lexer_diff::Difference(text, plsql);
  if (diff.empty()) return;
  std::fprintf(stderr, "sql_lexer_diff_fuzz: %s\ninput (%zu bytes): ", diff.c_str(), text.size());
  for (unsigned char c : text) std::fprintf(stderr, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02X", c);
  std::fprintf(stderr, "\n");
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Check(text, false);
  Check(text, true);
  return 0;
}
