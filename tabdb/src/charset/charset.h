// charset.h - Oracle character sets: the table of supported sets, NLS_LANG
// parsing, conversion between sets (iconv underneath), and the UTF-8
// measurements the database needs (its character set is AL32UTF8).
//
// Conversions never fail on data: a character the target cannot represent,
// and an invalid byte sequence in the source, both become the target's
// replacement character ('?' for US7ASCII and most single-byte sets, 0xBF
// for the West European sets, U+FFFD for the Unicode sets).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/status.h"

namespace tabdb {

struct CharsetInfo {
  const char* oracle_name;      // "AL32UTF8"
  const char* iconv_name;       // glibc iconv name ("CESU-8" for UTF8: converted in-house)
  int max_bytes;                // bytes one character can take (AL16UTF16: 2 per unit)
  int id;                       // Oracle's character set id (NLS_CHARSET_ID)
  std::string_view replacement;  // replacement character in this charset's bytes
};

// Supported sets: AL32UTF8, UTF8 (CESU-8), AL16UTF16, US7ASCII, WE8ISO8859P1,
// WE8ISO8859P15, WE8MSWIN1252, EE8ISO8859P2, EE8MSWIN1250, CL8MSWIN1251,
// CL8KOI8R, ZHS16GBK, ZHT16BIG5, JA16SJIS, JA16SJISTILDE, JA16EUC,
// KO16MSWIN949, AR8MSWIN1256, IW8ISO8859P8, TR8MSWIN1254.
// In the ASCII-based sets, bytes 0x00-0x7F are always ASCII (JA16SJIS
// 0x5C is a backslash, not a yen sign).
const CharsetInfo* FindCharset(std::string_view oracle_name);  // case-insensitive; nullptr if unknown
const CharsetInfo* FindCharsetById(int id);
const CharsetInfo* DatabaseCharset();  // AL32UTF8
const CharsetInfo* NationalCharset();  // AL16UTF16
// True for every set except AL16UTF16 (the only one usable as national set only).
bool IsAsciiBased(const CharsetInfo* cs);

// NLS_LANG = language_territory.charset, every part optional (keeping its
// delimiter), matched case-insensitively; results are upper case.
// Unset or empty: AMERICAN_AMERICA.US7ASCII. A missing territory comes from
// the language, a missing charset is the language's default set.
// Unknown language, territory or charset, or AL16UTF16 (not a client set):
// ORA-12705.
//
// Languages (default territory, default charset): AMERICAN (AMERICA,
// US7ASCII), ENGLISH (UNITED KINGDOM, US7ASCII), GERMAN (GERMANY), FRENCH
// (FRANCE), CANADIAN FRENCH (CANADA), SPANISH (SPAIN), ITALIAN (ITALY), DUTCH
// (THE NETHERLANDS), PORTUGUESE (PORTUGAL), BRAZILIAN PORTUGUESE (BRAZIL),
// DANISH (DENMARK), SWEDISH (SWEDEN), NORWEGIAN (NORWAY), FINNISH (FINLAND),
// ICELANDIC (ICELAND), CATALAN (CATALONIA) - all WE8ISO8859P1; JAPANESE
// (JAPAN, JA16EUC); SIMPLIFIED CHINESE (CHINA, ZHS16GBK); TRADITIONAL CHINESE
// (TAIWAN, ZHT16BIG5); KOREAN (KOREA, KO16MSWIN949); RUSSIAN (CIS),
// UKRAINIAN (UKRAINE), BULGARIAN (BULGARIA) - CL8MSWIN1251; POLISH (POLAND),
// CZECH (CZECH REPUBLIC), SLOVAK (SLOVAKIA), HUNGARIAN (HUNGARY), ROMANIAN
// (ROMANIA), CROATIAN (CROATIA), SLOVENIAN (SLOVENIA) - EE8ISO8859P2; ARABIC
// (SAUDI ARABIA, AR8MSWIN1256); HEBREW (ISRAEL, IW8ISO8859P8); TURKISH
// (TURKEY, TR8MSWIN1254).
// Territories: those above, plus AUSTRIA, SWITZERLAND, BELGIUM, LUXEMBOURG,
// IRELAND, AUSTRALIA, NEW ZEALAND, MEXICO, INDIA, HONG KONG, SINGAPORE,
// RUSSIA, UNITED ARAB EMIRATES, EGYPT.
struct NlsLang {
  std::string language, territory;
  const CharsetInfo* charset = nullptr;
};
Status ParseNlsLang(const char* value /* may be null */, NlsLang* out);

// Converts text from one charset to another. Identity conversions (same
// set) are a plain copy, without validation. Not thread-safe; one per
// stream of values.
class Converter {
 public:
  // ORA-12705 if iconv cannot convert between the two sets.
  static Status Open(const CharsetInfo* from, const CharsetInfo* to, std::unique_ptr<Converter>* out);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool identity() const { return from_ == to_; }
  const CharsetInfo* from() const { return from_; }
  const CharsetInfo* to() const { return to_; }

  // A whole value (appends to *out). Drops any half-fed value first.
  void Convert(std::string_view in, std::string* out);
  // A value in pieces: an incomplete multibyte sequence at the end of a
  // piece is kept for the next one; with last == true it becomes a
  // replacement character and the converter is ready for a new value.
  void Feed(std::string_view piece, bool last, std::string* out);
  // Whether a replacement character was produced since the current value
  // began (OCICharSetConversionIsReplacementUsed).
  bool replacement_used() const { return replaced_; }

 private:
  Converter() = default;
  void Run(const uint8_t* p, size_t n, bool last, std::string* out);
  size_t Decode(const uint8_t* p, size_t n, uint32_t* cp);
  void Encode(uint32_t cp, std::string* out);

  const CharsetInfo* from_ = nullptr;
  const CharsetInfo* to_ = nullptr;
  int from_kind_ = 0, to_kind_ = 0;
  bool ascii_copy_ = false;         // both ASCII-based: ASCII runs are copied
  const uint32_t* decode_table_ = nullptr;  // single-byte source: byte -> code point
  const void* encode_table_ = nullptr;      // single-byte target: code point -> byte
  void* decode_cd_ = reinterpret_cast<void*>(-1);  // iconv handles (multibyte sets)
  void* encode_cd_ = reinterpret_cast<void*>(-1);
  std::string pending_;  // incomplete sequence carried between pieces
  std::string scratch_;
  bool in_value_ = false;
  bool replaced_ = false;
};

// UTF-8 helpers (the database character set). Invalid bytes count as one
// character / one unit each.
size_t Utf8CharCount(std::string_view s);
// UCS-2 code units: supplementary characters count 2 (CLOB lengths).
size_t Utf16UnitCount(std::string_view utf8);
// The same count taken from lead bytes only, a word at a time: every byte
// but a continuation byte counts one unit, a 4-byte lead one more. Equal to
// Utf16UnitCount for valid UTF-8 (stored text); the lengths of stored LOB
// and LONG values are kept in this count.
uint64_t Utf8LeadUnits(std::string_view utf8);
// Longest prefix of at most max_bytes that does not cut a character.
size_t Utf8PrefixBytes(std::string_view s, size_t max_bytes);
// Length of `s` without an unfinished character at its end: the bytes of a
// character that a cut (a chunk or piece end) split off its continuation.
// Invalid bytes are not held back.
size_t Utf8WholePrefix(std::string_view s);
// Lead-byte counting across a value read in pieces: walks `s` over
// *units_left UTF-16 units (counted as Utf8LeadUnits counts them) and
// returns the offset of the first character start reached once they are
// used up; s.size() when `s` ends first, *units_left then holding the
// units still to go. A four-byte character that straddles the count is
// passed whole.
size_t Utf8SkipUnits(std::string_view s, uint64_t* units_left);
// Longest prefix holding at most max_units UTF-16 units; *units gets its count.
size_t Utf8PrefixForUnits(std::string_view s, size_t max_units, size_t* units);
bool IsValidUtf8(std::string_view s);  // strict: no overlongs, surrogates or > U+10FFFF
// Appends code point cp (at most U+10FFFF) as UTF-8.
void AppendUtf8(uint32_t cp, std::string* out);

// In the given charset: longest prefix of `s` of at most max_bytes ending
// on a character boundary (for cutting client text into pieces).
size_t CharsetPrefixBytes(const CharsetInfo* cs, std::string_view s, size_t max_bytes);

}  // namespace tabdb
