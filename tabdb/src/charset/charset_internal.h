// charset_internal.h - what the charset files share: the byte structure of
// each supported set and strict UTF-8 decoding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "charset/charset.h"

namespace tabdb {
namespace charset_internal {

// How a set's bytes form characters.
enum Encoding : int {
  kUtf8 = 1,   // AL32UTF8
  kCesu8,      // UTF8: supplementary characters as two 3-byte surrogates
  kUtf16Be,    // AL16UTF16
  kSingle,     // one byte per character
  kShiftJis,   // lead 0x81-0x9F, 0xE0-0xFC + one trail byte
  kEucJp,      // 0x8E + 1, 0x8F + 2, 0xA1-0xFE + 1
  kDoubleByte,  // lead 0x81-0xFE + one trail byte (GBK, BIG5, CP949)
};

Encoding EncodingOf(const CharsetInfo* cs);

constexpr uint32_t kInvalid = 0xFFFFFFFF;

// Decodes one strict UTF-8 sequence at p (n > 0 bytes available).
// Returns its length and sets *cp; for an invalid lead or continuation
// byte returns 1 with *cp = kInvalid; when the n bytes are a valid but
// unfinished start of a sequence returns 0.
size_t DecodeUtf8(const uint8_t* p, size_t n, uint32_t* cp);

// The same for CESU-8 (Oracle's UTF8): a surrogate pair of two 3-byte
// units is one character of 6 bytes; a lone surrogate is invalid (length
// 3); 4-byte UTF-8 sequences are accepted as they are.
size_t DecodeCesu8(const uint8_t* p, size_t n, uint32_t* cp);

// Length of the character starting at p in a multibyte (Shift-JIS, EUC-JP,
// double-byte) set, judged by its lead byte.
size_t LeadLength(Encoding enc, uint8_t lead);

}  // namespace charset_internal
}  // namespace tabdb
