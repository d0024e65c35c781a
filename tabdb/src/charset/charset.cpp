// charset.cpp - the table of supported character sets, NLS_LANG parsing,
// UTF-8 measurements and character-boundary prefixes.
#include "charset/charset.h"

#include <cstring>

#include "charset/charset_internal.h"
#include "util/errors.h"

namespace tabdb {

using namespace charset_internal;

namespace {

struct Entry {
  CharsetInfo info;
  Encoding encoding;
};

constexpr std::string_view kQuestion("?", 1);
constexpr std::string_view kInvertedQuestion("\xBF", 1);
constexpr std::string_view kUtf8Replacement("\xEF\xBF\xBD", 3);
constexpr std::string_view kUtf16Replacement("\xFF\xFD", 2);

const Entry kCharsets[] = {
    {{"AL32UTF8", "UTF-8", 4, 873, kUtf8Replacement}, kUtf8},
    {{"UTF8", "CESU-8", 3, 871, kUtf8Replacement}, kCesu8},
    {{"AL16UTF16", "UTF-16BE", 2, 2000, kUtf16Replacement}, kUtf16Be},
    {{"US7ASCII", "ANSI_X3.4-1968", 1, 1, kQuestion}, kSingle},
    {{"WE8ISO8859P1", "ISO-8859-1", 1, 31, kInvertedQuestion}, kSingle},
    {{"WE8ISO8859P15", "ISO-8859-15", 1, 46, kInvertedQuestion}, kSingle},
    {{"WE8MSWIN1252", "CP1252", 1, 178, kInvertedQuestion}, kSingle},
    {{"EE8ISO8859P2", "ISO-8859-2", 1, 32, kQuestion}, kSingle},
    {{"EE8MSWIN1250", "CP1250", 1, 170, kQuestion}, kSingle},
    {{"CL8MSWIN1251", "CP1251", 1, 171, kQuestion}, kSingle},
    {{"CL8KOI8R", "KOI8-R", 1, 51, kQuestion}, kSingle},
    {{"ZHS16GBK", "GBK", 2, 852, kQuestion}, kDoubleByte},
    {{"ZHT16BIG5", "BIG5", 2, 865, kQuestion}, kDoubleByte},
    {{"JA16SJIS", "SHIFT_JIS", 2, 832, kQuestion}, kShiftJis},
    {{"JA16SJISTILDE", "CP932", 2, 838, kQuestion}, kShiftJis},
    {{"JA16EUC", "EUC-JP", 3, 830, kQuestion}, kEucJp},
    {{"KO16MSWIN949", "CP949", 2, 846, kQuestion}, kDoubleByte},
    {{"AR8MSWIN1256", "CP1256", 1, 560, kQuestion}, kSingle},
    {{"IW8ISO8859P8", "ISO-8859-8", 1, 38, kQuestion}, kSingle},
    {{"TR8MSWIN1254", "CP1254", 1, 177, kQuestion}, kSingle},
};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

std::string ToUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = Upper(c);
  return r;
}

struct Language {
  const char* name;
  const char* territory;
  const char* charset;
};

const Language kLanguages[] = {
    {"AMERICAN", "AMERICA", "US7ASCII"},
    {"ENGLISH", "UNITED KINGDOM", "US7ASCII"},
    {"GERMAN", "GERMANY", "WE8ISO8859P1"},
    {"FRENCH", "FRANCE", "WE8ISO8859P1"},
    {"CANADIAN FRENCH", "CANADA", "WE8ISO8859P1"},
    {"SPANISH", "SPAIN", "WE8ISO8859P1"},
    {"ITALIAN", "ITALY", "WE8ISO8859P1"},
    {"DUTCH", "THE NETHERLANDS", "WE8ISO8859P1"},
    {"PORTUGUESE", "PORTUGAL", "WE8ISO8859P1"},
    {"BRAZILIAN PORTUGUESE", "BRAZIL", "WE8ISO8859P1"},
    {"DANISH", "DENMARK", "WE8ISO8859P1"},
    {"SWEDISH", "SWEDEN", "WE8ISO8859P1"},
    {"NORWEGIAN", "NORWAY", "WE8ISO8859P1"},
    {"FINNISH", "FINLAND", "WE8ISO8859P1"},
    {"ICELANDIC", "ICELAND", "WE8ISO8859P1"},
    {"CATALAN", "CATALONIA", "WE8ISO8859P1"},
    {"JAPANESE", "JAPAN", "JA16EUC"},
    {"SIMPLIFIED CHINESE", "CHINA", "ZHS16GBK"},
    {"TRADITIONAL CHINESE", "TAIWAN", "ZHT16BIG5"},
    {"KOREAN", "KOREA", "KO16MSWIN949"},
    {"RUSSIAN", "CIS", "CL8MSWIN1251"},
    {"UKRAINIAN", "UKRAINE", "CL8MSWIN1251"},
    {"BULGARIAN", "BULGARIA", "CL8MSWIN1251"},
    {"POLISH", "POLAND", "EE8ISO8859P2"},
    {"CZECH", "CZECH REPUBLIC", "EE8ISO8859P2"},
    {"SLOVAK", "SLOVAKIA", "EE8ISO8859P2"},
    {"HUNGARIAN", "HUNGARY", "EE8ISO8859P2"},
    {"ROMANIAN", "ROMANIA", "EE8ISO8859P2"},
    {"CROATIAN", "CROATIA", "EE8ISO8859P2"},
    {"SLOVENIAN", "SLOVENIA", "EE8ISO8859P2"},
    {"ARABIC", "SAUDI ARABIA", "AR8MSWIN1256"},
    {"HEBREW", "ISRAEL", "IW8ISO8859P8"},
    {"TURKISH", "TURKEY", "TR8MSWIN1254"},
};

// Territories that are no language's default.
const char* const kExtraTerritories[] = {
    "AUSTRIA", "SWITZERLAND", "BELGIUM", "LUXEMBOURG", "IRELAND", "AUSTRALIA", "NEW ZEALAND",
    "MEXICO", "INDIA", "HONG KONG", "SINGAPORE", "RUSSIA", "UNITED ARAB EMIRATES", "EGYPT",
};

bool KnownTerritory(std::string_view name) {
  for (const Language& l : kLanguages)
    if (EqualsIgnoreCase(name, l.territory)) return true;
  for (const char* t : kExtraTerritories)
    if (EqualsIgnoreCase(name, t)) return true;
  return false;
}

}  // namespace

namespace charset_internal {

Encoding EncodingOf(const CharsetInfo* cs) {
  for (const Entry& e : kCharsets)
    if (&e.info == cs) return e.encoding;
  return kSingle;
}

size_t DecodeUtf8(const uint8_t* p, size_t n, uint32_t* cp) {
  uint8_t b0 = p[0];
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  }
  size_t len;
  uint32_t value;
  uint8_t lo = 0x80, hi = 0xBF;  // range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    value = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    value = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    value = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    *cp = kInvalid;
    return 1;
  }
  for (size_t k = 1; k < len; ++k) {
    if (k >= n) return 0;  // valid so far, unfinished
    uint8_t b = p[k];
    if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) {
      *cp = kInvalid;
      return 1;
    }
    value = (value << 6) | (b & 0x3F);
  }
  *cp = value;
  return len;
}

size_t DecodeCesu8(const uint8_t* p, size_t n, uint32_t* cp) {
  if (p[0] != 0xED) return DecodeUtf8(p, n, cp);  // surrogates all start with ED
  auto continuation = [](uint8_t b) { return b >= 0x80 && b <= 0xBF; };
  if (n < 2) return 0;
  if (!continuation(p[1])) return *cp = kInvalid, 1;
  if (n < 3) return 0;
  if (!continuation(p[2])) return *cp = kInvalid, 1;
  uint32_t unit = 0xD000 | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
  if (unit < 0xD800) return *cp = unit, 3;
  if (unit >= 0xDC00) return *cp = kInvalid, 3;  // a low surrogate alone
  // A high surrogate: its low half must follow.
  if (n < 4) return 0;
  if (p[3] != 0xED) return *cp = kInvalid, 3;
  if (n < 5) return 0;
  if (p[4] < 0xB0 || p[4] > 0xBF) return *cp = kInvalid, 3;
  if (n < 6) return 0;
  if (!continuation(p[5])) return *cp = kInvalid, 3;
  uint32_t low = 0xD000 | ((p[4] & 0x3Fu) << 6) | (p[5] & 0x3Fu);
  *cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  return 6;
}

size_t LeadLength(Encoding enc, uint8_t lead) {
  switch (enc) {
    case kShiftJis:
      return ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) ? 2 : 1;
    case kEucJp:
      if (lead == 0x8F) return 3;
      return (lead == 0x8E || (lead >= 0xA1 && lead <= 0xFE)) ? 2 : 1;
    case kDoubleByte:
      return (lead >= 0x81 && lead <= 0xFE) ? 2 : 1;
    default:
      return 1;
  }
}

}  // namespace charset_internal

const CharsetInfo* FindCharset(std::string_view oracle_name) {
  for (const Entry& e : kCharsets)
    if (EqualsIgnoreCase(oracle_name, e.info.oracle_name)) return &e.info;
  return nullptr;
}

const CharsetInfo* FindCharsetById(int id) {
  for (const Entry& e : kCharsets)
    if (e.info.id == id) return &e.info;
  return nullptr;
}

const CharsetInfo* DatabaseCharset() { return &kCharsets[0].info; }
const CharsetInfo* NationalCharset() { return &kCharsets[2].info; }

bool IsAsciiBased(const CharsetInfo* cs) { return EncodingOf(cs) != kUtf16Be; }

Status ParseNlsLang(const char* value, NlsLang* out) {
  std::string_view v = value == nullptr ? std::string_view() : std::string_view(value);
  std::string_view lang_terr = v, charset;
  bool has_charset = false;
  size_t dot = v.find('.');
  if (dot != std::string_view::npos) {
    lang_terr = v.substr(0, dot);
    charset = v.substr(dot + 1);
    has_charset = !charset.empty();
  }
  std::string_view language = lang_terr, territory;
  size_t us = lang_terr.find('_');
  if (us != std::string_view::npos) {
    language = lang_terr.substr(0, us);
    territory = lang_terr.substr(us + 1);
  }
  const Language* lang = &kLanguages[0];
  if (!language.empty()) {
    lang = nullptr;
    for (const Language& l : kLanguages)
      if (EqualsIgnoreCase(language, l.name)) lang = &l;
    if (lang == nullptr) return OraError(ora::kNlsDataInvalid);
  }
  NlsLang r;
  r.language = lang->name;
  if (territory.empty()) {
    r.territory = lang->territory;
  } else {
    if (!KnownTerritory(territory)) return OraError(ora::kNlsDataInvalid);
    r.territory = ToUpper(territory);
  }
  if (has_charset) {
    r.charset = FindCharset(charset);
    if (r.charset == nullptr || !IsAsciiBased(r.charset)) return OraError(ora::kNlsDataInvalid);
  } else {
    r.charset = FindCharset(lang->charset);
  }
  *out = std::move(r);
  return Status::Ok();
}

namespace {

const uint8_t* Bytes(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

}  // namespace

namespace {

// The end of the run of ASCII bytes that starts at p[i] (n bytes in all),
// tested eight bytes at a time: text is mostly ASCII, and an ASCII byte is
// one character and one UTF-16 unit.
size_t AsciiRunEnd(const uint8_t* p, size_t i, size_t n) {
  while (i + 8 <= n) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ULL) break;
    i += 8;
  }
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

}  // namespace

size_t Utf8CharCount(std::string_view s) {
  const uint8_t* p = Bytes(s);
  size_t i = 0, count = 0;
  while (i < s.size()) {
    size_t end = AsciiRunEnd(p, i, s.size());
    count += end - i;
    i = end;
    if (i == s.size()) break;
    uint32_t cp;
    size_t len = DecodeUtf8(p + i, s.size() - i, &cp);
    i += len == 0 ? 1 : len;
    ++count;
  }
  return count;
}

size_t Utf16UnitCount(std::string_view utf8) {
  const uint8_t* p = Bytes(utf8);
  size_t i = 0, units = 0;
  while (i < utf8.size()) {
    size_t end = AsciiRunEnd(p, i, utf8.size());
    units += end - i;
    i = end;
    if (i == utf8.size()) break;
    uint32_t cp;
    size_t len = DecodeUtf8(p + i, utf8.size() - i, &cp);
    i += len == 0 ? 1 : len;
    units += len == 4 ? 2 : 1;
  }
  return units;
}

uint64_t Utf8LeadUnits(std::string_view s) {
  // A character's first byte (any byte but a continuation byte 10xxxxxx)
  // counts one unit, and one more when it starts a 4-byte sequence
  // (11110xxx and above). Whole words are counted with bit masks: in
  // w << k, bit 7 of each byte holds that byte's bit 7 - k (bits shifted
  // in from the byte below land in bit 0 to k - 1 and are masked off).
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  uint64_t n = 0;
  size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    if ((w & kHigh) == 0) {  // eight ASCII characters
      n += 8;
      continue;
    }
    uint64_t continuation = w & ~(w << 1) & kHigh;
    uint64_t four_byte_lead = w & (w << 1) & (w << 2) & (w << 3) & kHigh;
    // Bytes whose bit 7 is set in a mask: their 0/1 flags summed by one
    // multiplication into the top byte.
    auto count = [](uint64_t mask) { return ((mask >> 7) * 0x0101010101010101ULL) >> 56; };
    n += 8 - count(continuation) + count(four_byte_lead);
  }
  for (; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) != 0x80) n += (c >= 0xF0) ? 2 : 1;
  }
  return n;
}

size_t Utf8PrefixBytes(std::string_view s, size_t max_bytes) {
  if (max_bytes >= s.size()) return s.size();
  const uint8_t* p = Bytes(s);
  // Find where the character holding byte max_bytes starts (at most three
  // continuation bytes back), and cut there if that character is whole
  // and reaches past the limit.
  size_t start = max_bytes;
  while (start > 0 && max_bytes - start < 3 && (p[start] & 0xC0) == 0x80) --start;
  uint32_t cp;
  size_t len = DecodeUtf8(p + start, s.size() - start, &cp);
  if (len > 1 && start + len > max_bytes) return start;
  return max_bytes;
}

size_t Utf8WholePrefix(std::string_view s) {
  if (s.empty()) return 0;
  const uint8_t* p = Bytes(s);
  // The last character starts at most three continuation bytes back.
  size_t start = s.size() - 1;
  while (start > 0 && s.size() - start < 4 && (p[start] & 0xC0) == 0x80) --start;
  uint32_t cp;
  return DecodeUtf8(p + start, s.size() - start, &cp) == 0 ? start : s.size();
}

size_t Utf8SkipUnits(std::string_view s, uint64_t* units_left) {
  uint64_t left = *units_left;
  if (left > 0) {
    uint64_t all = Utf8LeadUnits(s);
    if (all < left) {
      *units_left = left - all;
      return s.size();
    }
  }
  const uint8_t* p = Bytes(s);
  for (size_t i = 0; i < s.size(); ++i) {
    if ((p[i] & 0xC0) == 0x80) continue;
    if (left == 0) {
      *units_left = 0;
      return i;
    }
    uint64_t u = p[i] >= 0xF0 ? 2 : 1;
    left = left > u ? left - u : 0;
  }
  *units_left = left;
  return s.size();
}

size_t Utf8PrefixForUnits(std::string_view s, size_t max_units, size_t* units) {
  const uint8_t* p = Bytes(s);
  size_t i = 0, n = 0;
  while (i < s.size()) {
    uint32_t cp;
    size_t len = DecodeUtf8(p + i, s.size() - i, &cp);
    if (len == 0) len = 1;
    size_t u = len == 4 ? 2 : 1;
    if (n + u > max_units) break;
    n += u;
    i += len;
  }
  if (units != nullptr) *units = n;
  return i;
}

bool IsValidUtf8(std::string_view s) {
  const uint8_t* p = Bytes(s);
  size_t i = 0;
  while (i < s.size()) {
    uint32_t cp;
    size_t len = DecodeUtf8(p + i, s.size() - i, &cp);
    if (len == 0 || cp == kInvalid) return false;
    i += len;
  }
  return true;
}

size_t CharsetPrefixBytes(const CharsetInfo* cs, std::string_view s, size_t max_bytes) {
  if (max_bytes >= s.size()) return s.size();
  const uint8_t* p = Bytes(s);
  switch (EncodingOf(cs)) {
    case kUtf8:
      return Utf8PrefixBytes(s, max_bytes);
    case kCesu8: {
      // Start of the 3-byte unit holding byte max_bytes, then of its
      // character (a low surrogate belongs to the high one before it).
      size_t start = max_bytes;
      while (start > 0 && max_bytes - start < 2 && (p[start] & 0xC0) == 0x80) --start;
      if (start >= 3 && p[start] == 0xED && start + 1 < s.size() && p[start + 1] >= 0xB0 &&
          p[start - 3] == 0xED && p[start - 2] >= 0xA0 && p[start - 2] <= 0xAF)
        start -= 3;
      uint32_t cp;
      size_t len = DecodeCesu8(p + start, s.size() - start, &cp);
      if (len > 1 && start + len > max_bytes) return start;
      return max_bytes;
    }
    case kUtf16Be: {
      size_t cut = max_bytes & ~size_t{1};
      if (cut >= 2 && (p[cut - 2] & 0xFC) == 0xD8) cut -= 2;  // keep a surrogate pair whole
      return cut;
    }
    case kSingle:
      return max_bytes;
    default: {
      Encoding enc = EncodingOf(cs);
      size_t i = 0;
      while (i < s.size()) {
        size_t len = p[i] < 0x80 ? 1 : LeadLength(enc, p[i]);
        if (i + len > max_bytes) break;
        i += len;
      }
      return i;
    }
  }
}

}  // namespace tabdb
