// charset_test.cpp - the charset table, conversions for every supported
// set with their replacement characters, piecewise conversion across split
// characters, NLS_LANG parsing and the UTF-8 measurements.
#include "charset/charset.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tabdb {
namespace {

std::string Convert(const char* from, const char* to, std::string_view in, bool* replaced = nullptr) {
  std::unique_ptr<Converter> c;
  Status st = Converter::Open(FindCharset(from), FindCharset(to), &c);
  EXPECT_TRUE(st.ok()) << from << " -> " << to << ": " << st.text();
  if (!st.ok()) return "<open failed>";
  std::string out;
  c->Convert(in, &out);
  if (replaced != nullptr) *replaced = c->replacement_used();
  return out;
}

std::string HexOf(std::string_view s) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string r;
  for (unsigned char c : s) {
    if (!r.empty()) r.push_back(' ');
    r.push_back(kDigits[c >> 4]);
    r.push_back(kDigits[c & 15]);
  }
  return r;
}

TEST(CharsetTable, EveryListedSet) {
  struct Case {
    const char* name;
    int id;
    int max_bytes;
  } cases[] = {
      {"AL32UTF8", 873, 4},      {"UTF8", 871, 3},          {"AL16UTF16", 2000, 2},
      {"US7ASCII", 1, 1},        {"WE8ISO8859P1", 31, 1},   {"WE8ISO8859P15", 46, 1},
      {"WE8MSWIN1252", 178, 1},  {"EE8ISO8859P2", 32, 1},   {"EE8MSWIN1250", 170, 1},
      {"CL8MSWIN1251", 171, 1},  {"CL8KOI8R", 51, 1},       {"ZHS16GBK", 852, 2},
      {"ZHT16BIG5", 865, 2},     {"JA16SJIS", 832, 2},      {"JA16SJISTILDE", 838, 2},
      {"JA16EUC", 830, 3},       {"KO16MSWIN949", 846, 2},  {"AR8MSWIN1256", 560, 1},
      {"IW8ISO8859P8", 38, 1},   {"TR8MSWIN1254", 177, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CharsetInfo* cs = FindCharset(c.name);
    ASSERT_NE(cs, nullptr);
    EXPECT_STREQ(cs->oracle_name, c.name);
    EXPECT_EQ(cs->id, c.id);
    EXPECT_EQ(cs->max_bytes, c.max_bytes);
    EXPECT_EQ(FindCharsetById(c.id), cs);
    std::string lower(c.name);
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(FindCharset(lower), cs);
  }
  EXPECT_EQ(FindCharset("KLINGON8"), nullptr);
  EXPECT_EQ(FindCharset(""), nullptr);
  EXPECT_STREQ(DatabaseCharset()->oracle_name, "AL32UTF8");
  EXPECT_STREQ(NationalCharset()->oracle_name, "AL16UTF16");
}

// A characteristic character of each set, in UTF-8 and in the set's bytes.
TEST(CharsetConvert, EverySetBothWays) {
  struct Case {
    const char* set;
    const char* utf8;
    const char* bytes;
  } cases[] = {
      {"US7ASCII", "plain text", "plain text"},
      {"WE8ISO8859P1", "caf\xC3\xA9", "caf\xE9"},
      {"WE8ISO8859P15", "\xE2\x82\xAC", "\xA4"},                  // euro
      {"WE8MSWIN1252", "\xE2\x82\xAC \xC3\xA9", "\x80 \xE9"},
      {"EE8ISO8859P2", "\xC5\x82", "\xB3"},                       // l with stroke
      {"EE8MSWIN1250", "\xC5\x82", "\xB3"},
      {"CL8MSWIN1251", "\xD0\x96", "\xC6"},                       // Cyrillic Zhe
      {"CL8KOI8R", "\xD0\x96", "\xF6"},
      {"ZHS16GBK", "a\xE4\xB8\xAD", "a\xD6\xD0"},                 // zhong
      {"ZHT16BIG5", "\xE4\xB8\xAD", "\xA4\xA4"},
      {"JA16SJIS", "\xE6\x97\xA5\\", "\x93\xFA\\"},               // nichi, backslash
      {"JA16SJIS", "\xEF\xBD\xB1", "\xB1"},                       // half-width katakana a
      {"JA16SJISTILDE", "\xEF\xBD\x9E", "\x81\x60"},              // full-width tilde
      {"JA16EUC", "\xE6\x97\xA5", "\xC6\xFC"},
      {"KO16MSWIN949", "\xED\x95\x9C", "\xC7\xD1"},               // han
      {"AR8MSWIN1256", "\xD8\xB9", "\xDA"},                       // ain
      {"IW8ISO8859P8", "\xD7\x90", "\xE0"},                       // alef
      {"TR8MSWIN1254", "\xC4\x9F", "\xF0"},                       // g breve
      {"AL16UTF16", "A\xE2\x82\xAC\xF0\x9F\x98\x80", std::string_view("\x00\x41\x20\xAC\xD8\x3D\xDE\x00", 8).data()},
      {"UTF8", "\xC3\xA9\xF0\x9F\x98\x80", "\xC3\xA9\xED\xA0\xBD\xED\xB8\x80"},  // CESU-8 pair
      {"AL32UTF8", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    std::string_view bytes = c.bytes;
    if (std::string_view(c.set) == "AL16UTF16") bytes = std::string_view(c.bytes, 8);
    bool replaced = true;
    EXPECT_EQ(HexOf(Convert("AL32UTF8", c.set, c.utf8, &replaced)), HexOf(bytes));
    EXPECT_FALSE(replaced);
    EXPECT_EQ(HexOf(Convert(c.set, "AL32UTF8", bytes, &replaced)), HexOf(c.utf8));
    EXPECT_FALSE(replaced);
  }
  // Between two non-Unicode sets.
  EXPECT_EQ(Convert("WE8MSWIN1252", "WE8ISO8859P15", "\x80"), "\xA4");
  EXPECT_EQ(Convert("CL8KOI8R", "CL8MSWIN1251", "\xF6"), "\xC6");
  EXPECT_EQ(Convert("JA16SJIS", "JA16EUC", "\x93\xFA"), "\xC6\xFC");
  // ASCII bytes of JA16SJIS are ASCII also when no byte run is copied.
  EXPECT_EQ(HexOf(Convert("JA16SJIS", "AL16UTF16", "\\~")), "00 5C 00 7E");
}

TEST(CharsetConvert, ReplacementCharacters) {
  struct Case {
    const char* from;
    const char* to;
    std::string in;
    std::string expect;
  } cases[] = {
      {"AL32UTF8", "US7ASCII", "a\xE2\x82\xAC" "b", "a?b"},
      {"AL32UTF8", "WE8ISO8859P1", "\xE4\xB8\xAD", "\xBF"},
      {"AL32UTF8", "WE8MSWIN1252", "\xE4\xB8\xAD", "\xBF"},
      {"AL32UTF8", "WE8ISO8859P15", "\xE4\xB8\xAD", "\xBF"},
      {"AL32UTF8", "EE8ISO8859P2", "\xE4\xB8\xAD", "?"},
      {"AL32UTF8", "CL8MSWIN1251", "\xC3\xA9", "?"},
      {"AL32UTF8", "ZHS16GBK", "\xF0\x9F\x98\x80", "?"},
      {"AL32UTF8", "JA16SJIS", "\xC2\xA5", "?"},  // yen would otherwise become 0x5C
      {"AL32UTF8", "AL16UTF16", "\xFF", std::string("\xFF\xFD", 2)},
      {"AL32UTF8", "US7ASCII", "a\xFF" "b", "a?b"},                      // invalid input byte
      {"AL32UTF8", "WE8ISO8859P1", "\xC0\x80", "\xBF\xBF"},              // overlong NUL
      {"AL32UTF8", "WE8ISO8859P1", "\xED\xA0\x80", "\xBF\xBF\xBF"},      // encoded surrogate
      {"US7ASCII", "AL32UTF8", "a\x80", "a\xEF\xBF\xBD"},
      {"WE8MSWIN1252", "AL32UTF8", "\x81", "\xEF\xBF\xBD"},               // undefined in 1252
      {"AL16UTF16", "AL32UTF8", std::string("\xDC\x00\x00\x41", 4), "\xEF\xBF\xBD" "A"},  // lone low surrogate
      {"AL16UTF16", "AL32UTF8", std::string("\xD8\x3D\x00\x41", 4), "\xEF\xBF\xBD" "A"},  // high without low
      {"UTF8", "AL32UTF8", "\xED\xA0\xBD" "A", "\xEF\xBF\xBD" "A"},
      {"JA16SJIS", "AL32UTF8", "\x81\x20", "\xEF\xBF\xBD "},                // bad trail byte
      {"AL32UTF8", "UTF8", "\xF0\x9F\x98", "\xEF\xBF\xBD"},                 // value ends mid-character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to + ": " + HexOf(c.in));
    bool replaced = false;
    EXPECT_EQ(HexOf(Convert(c.from, c.to, c.in, &replaced)), HexOf(c.expect));
    EXPECT_TRUE(replaced);
  }
}

TEST(CharsetConvert, IdentityIsAPlainCopy) {
  std::unique_ptr<Converter> c;
  ASSERT_TRUE(Converter::Open(DatabaseCharset(), DatabaseCharset(), &c).ok());
  EXPECT_TRUE(c->identity());
  std::string out = "x";
  c->Convert("\xFF\xFE invalid", &out);
  EXPECT_EQ(out, "x\xFF\xFE invalid");  // appended, not validated
  EXPECT_FALSE(c->replacement_used());
  ASSERT_TRUE(Converter::Open(FindCharset("AL32UTF8"), FindCharset("UTF8"), &c).ok());
  EXPECT_FALSE(c->identity());
  EXPECT_EQ(Converter::Open(nullptr, DatabaseCharset(), &c).code(), 12705);
}

// Feeding a value in pieces of every size gives the same bytes as one call.
TEST(CharsetConvert, FeedAcrossSplitCharacters) {
  struct Case {
    const char* from;
    const char* to;
    std::string in;
  } cases[] = {
      {"AL32UTF8", "AL16UTF16", "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z\xF0\x9F\x98\x80"},
      {"AL32UTF8", "WE8ISO8859P1", "caf\xC3\xA9 cr\xC3\xA8me \xE4\xB8\xAD"},
      {"AL32UTF8", "UTF8", "\xF0\x9F\x98\x80\xC3\xA9\xF0\x9F\x98\x81"},
      {"UTF8", "AL32UTF8", "\xED\xA0\xBD\xED\xB8\x80\xC3\xA9\xED\xA0\xBD\xED\xB8\x81"},
      {"AL16UTF16", "AL32UTF8", std::string("\x00\x41\xD8\x3D\xDE\x00\x4E\x2D\x00\x7A", 10)},
      {"JA16SJIS", "AL32UTF8", "\x93\xFA\x96\x7B\x8C\xEA a\x5C\xB1"},
      {"JA16EUC", "AL32UTF8", "\xC6\xFC\x8F\xB0\xA1\x8E\xB1x"},
      {"ZHS16GBK", "AL16UTF16", "\xD6\xD0\xCE\xC4 ok"},
      {"KO16MSWIN949", "AL32UTF8", "\xC7\xD1\xB1\xDB"},
      {"AL32UTF8", "US7ASCII", "a\xE2\x82\xAC\xFF" "b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
    std::string whole = Convert(c.from, c.to, c.in);
    std::unique_ptr<Converter> conv;
    ASSERT_TRUE(Converter::Open(FindCharset(c.from), FindCharset(c.to), &conv).ok());
    for (size_t piece = 1; piece <= c.in.size(); ++piece) {
      std::string out;
      for (size_t pos = 0; pos < c.in.size(); pos += piece) {
        size_t n = std::min(piece, c.in.size() - pos);
        conv->Feed(std::string_view(c.in).substr(pos, n), pos + n == c.in.size(), &out);
      }
      EXPECT_EQ(HexOf(out), HexOf(whole)) << "piece size " << piece;
    }
    // An empty last piece ends the value too.
    std::string out;
    conv->Feed(c.in, false, &out);
    conv->Feed("", true, &out);
    EXPECT_EQ(HexOf(out), HexOf(whole));
  }
}

TEST(CharsetConvert, UnfinishedValueIsReplacedAndStateResets) {
  std::unique_ptr<Converter> c;
  ASSERT_TRUE(Converter::Open(FindCharset("AL32UTF8"), FindCharset("AL16UTF16"), &c).ok());
  std::string out;
  c->Feed("A\xE4\xB8", false, &out);  // holds the first two bytes of a character
  EXPECT_EQ(HexOf(out), "00 41");
  c->Feed("", true, &out);
  EXPECT_EQ(HexOf(out), "00 41 FF FD");
  EXPECT_TRUE(c->replacement_used());
  // A new value starts clean: no carried bytes, no replacement flag.
  out.clear();
  c->Feed("\xE4\xB8", false, &out);
  out.clear();
  c->Convert("B", &out);
  EXPECT_EQ(HexOf(out), "00 42");
  EXPECT_FALSE(c->replacement_used());
}

TEST(NlsLang, Forms) {
  struct Case {
    const char* value;
    const char* language;
    const char* territory;
    const char* charset;
  } cases[] = {
      {nullptr, "AMERICAN", "AMERICA", "US7ASCII"},
      {"", "AMERICAN", "AMERICA", "US7ASCII"},
      {"AMERICAN_AMERICA.AL32UTF8", "AMERICAN", "AMERICA", "AL32UTF8"},
      {"american_america.al32utf8", "AMERICAN", "AMERICA", "AL32UTF8"},
      {"_JAPAN.JA16SJIS", "AMERICAN", "JAPAN", "JA16SJIS"},
      {".AL32UTF8", "AMERICAN", "AMERICA", "AL32UTF8"},
      {"JAPANESE", "JAPANESE", "JAPAN", "JA16EUC"},
      {"JAPANESE_JAPAN.JA16SJISTILDE", "JAPANESE", "JAPAN", "JA16SJISTILDE"},
      {"GERMAN_GERMANY.WE8ISO8859P15", "GERMAN", "GERMANY", "WE8ISO8859P15"},
      {"GERMAN_AUSTRIA.WE8MSWIN1252", "GERMAN", "AUSTRIA", "WE8MSWIN1252"},
      {"FRENCH_FRANCE.WE8ISO8859P1", "FRENCH", "FRANCE", "WE8ISO8859P1"},
      {"ENGLISH_UNITED KINGDOM.WE8MSWIN1252", "ENGLISH", "UNITED KINGDOM", "WE8MSWIN1252"},
      {"ENGLISH", "ENGLISH", "UNITED KINGDOM", "US7ASCII"},
      {"SIMPLIFIED CHINESE_CHINA.ZHS16GBK", "SIMPLIFIED CHINESE", "CHINA", "ZHS16GBK"},
      {"TRADITIONAL CHINESE_TAIWAN.ZHT16BIG5", "TRADITIONAL CHINESE", "TAIWAN", "ZHT16BIG5"},
      {"KOREAN_KOREA.KO16MSWIN949", "KOREAN", "KOREA", "KO16MSWIN949"},
      {"RUSSIAN_CIS.CL8KOI8R", "RUSSIAN", "CIS", "CL8KOI8R"},
      {"POLISH_POLAND.EE8MSWIN1250", "POLISH", "POLAND", "EE8MSWIN1250"},
      {"ARABIC_UNITED ARAB EMIRATES.AR8MSWIN1256", "ARABIC", "UNITED ARAB EMIRATES", "AR8MSWIN1256"},
      {"HEBREW_ISRAEL.IW8ISO8859P8", "HEBREW", "ISRAEL", "IW8ISO8859P8"},
      {"TURKISH_TURKEY.TR8MSWIN1254", "TURKISH", "TURKEY", "TR8MSWIN1254"},
      {"AMERICAN_AMERICA", "AMERICAN", "AMERICA", "US7ASCII"},
      {"AMERICAN_AMERICA.", "AMERICAN", "AMERICA", "US7ASCII"},
      {"AMERICAN_.UTF8", "AMERICAN", "AMERICA", "UTF8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    NlsLang n;
    Status st = ParseNlsLang(c.value, &n);
    ASSERT_TRUE(st.ok()) << st.text();
    EXPECT_EQ(n.language, c.language);
    EXPECT_EQ(n.territory, c.territory);
    ASSERT_NE(n.charset, nullptr);
    EXPECT_STREQ(n.charset->oracle_name, c.charset);
  }
  const char* bad[] = {
      "KLINGON_AMERICA.AL32UTF8", "AMERICAN_MARS.AL32UTF8", "AMERICAN_AMERICA.FOO8",
      ".AL16UTF16",  // national set only
      "AMERICAN_AMERICA.AL32UTF8.X", " AMERICAN_AMERICA.AL32UTF8", "AMERICAN-AMERICA.AL32UTF8",
  };
  for (const char* v : bad) {
    SCOPED_TRACE(v);
    NlsLang n;
    Status st = ParseNlsLang(v, &n);
    EXPECT_EQ(st.code(), 12705);
    EXPECT_EQ(st.text(), "ORA-12705: Cannot access NLS data files or invalid environment specified");
  }
}

TEST(Utf8, CountsAndPrefixes) {
  const std::string s = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";  // a e-acute zhong grinning z
  EXPECT_EQ(Utf8CharCount(s), 5u);
  EXPECT_EQ(Utf16UnitCount(s), 6u);
  EXPECT_EQ(Utf8CharCount("\xFF\xFE"), 2u);
  EXPECT_EQ(Utf8CharCount(""), 0u);
  // Long ASCII runs are counted in words: a multibyte or invalid sequence
  // at any place of a word, and runs that end anywhere, count the same.
  for (size_t at = 0; at < 20; ++at) {
    std::string t(20, 'x');
    t.insert(at, "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8CharCount(t), 21u) << at;
    EXPECT_EQ(Utf16UnitCount(t), 22u) << at;
    t.insert(at, "\x80");
    EXPECT_EQ(Utf8CharCount(t), 22u) << at;
    EXPECT_EQ(Utf16UnitCount(t), 23u) << at;
    EXPECT_EQ(Utf16UnitCount(std::string(at, 'y')), at);
  }
  // The lead-byte count agrees with the decoding one on valid text, for
  // every length and alignment of words that mix all sequence lengths.
  const std::string mixed = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z\xF4\x8F\xBF\xBF\xDF\xBF!";
  std::string text;
  for (int k = 0; k < 6; ++k) text += mixed;
  for (size_t from = 0; from < text.size(); ++from) {
    std::string_view rest(text.data() + from, text.size() - from);
    if ((static_cast<unsigned char>(rest[0]) & 0xC0) == 0x80) continue;  // not a character start
    EXPECT_EQ(Utf8LeadUnits(rest), Utf16UnitCount(rest)) << from;
  }
  // Byte limit -> cut point.
  const size_t cuts[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 11, 11};
  for (size_t max = 0; max < sizeof cuts / sizeof cuts[0]; ++max)
    EXPECT_EQ(Utf8PrefixBytes(s, max), cuts[max]) << "max " << max;
  // Invalid bytes are cut anywhere.
  EXPECT_EQ(Utf8PrefixBytes("\xFF\xFF\xFF", 2), 2u);
  EXPECT_EQ(Utf8PrefixBytes("ab\x80\x80\x80\x80", 4), 4u);
  // Unit limit -> cut point and units.
  struct UnitCase {
    size_t max_units, bytes, units;
  } unit_cases[] = {{0, 0, 0}, {1, 1, 1}, {2, 3, 2}, {3, 6, 3}, {4, 6, 3}, {5, 10, 5}, {6, 11, 6}, {99, 11, 6}};
  for (const UnitCase& c : unit_cases) {
    size_t units = 99;
    EXPECT_EQ(Utf8PrefixForUnits(s, c.max_units, &units), c.bytes) << c.max_units;
    EXPECT_EQ(units, c.units) << c.max_units;
  }
}

TEST(Utf8, WholePrefixAndUnitSkipAcrossCuts) {
  // A value cut anywhere: the whole prefix never ends inside a character,
  // and the cut-off bytes complete it.
  const std::string mixed = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";
  const size_t whole[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 11};
  for (size_t n = 0; n <= mixed.size(); ++n)
    EXPECT_EQ(Utf8WholePrefix(std::string_view(mixed).substr(0, n)), whole[n]) << n;
  // Stray continuation bytes and invalid leads are not held back.
  EXPECT_EQ(Utf8WholePrefix("ab\x80\x80\x80\x80"), 6u);
  EXPECT_EQ(Utf8WholePrefix("ab\xFF"), 3u);
  // Skipping units over the same text split at every byte gives the
  // offset the unsplit text gives: a (1) é (1) 中 (1) 😀 (2) z (1).
  const size_t offset_of_units[] = {0, 1, 3, 6, 10, 10, 11};
  for (uint64_t units = 0; units < 7; ++units) {
    for (size_t cut = 0; cut <= mixed.size(); ++cut) {
      uint64_t left = units;
      size_t at = Utf8SkipUnits(std::string_view(mixed).substr(0, cut), &left);
      if (at == cut) at = cut + Utf8SkipUnits(std::string_view(mixed).substr(cut), &left);
      EXPECT_EQ(at, offset_of_units[units]) << units << " cut " << cut;
    }
  }
}

TEST(Utf8, Validity) {
  struct Case {
    std::string s;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain", true},
      {"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", true},
      {"\xEF\xBF\xBD", true},
      {"\xC0\x80", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xE4\xB8", false},          // truncated
      {"\x80", false},              // stray continuation
      {"\xF8\x88\x80\x80\x80", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.s), c.valid) << HexOf(c.s);
}

// For every set and every limit, the prefix ends on a character boundary
// (it converts without replacement) and no longer boundary fits.
TEST(CharsetPrefix, EndsOnCharacterBoundaries) {
  const std::string text = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xE6\x97\xA5\xEF\xBD\xB1\xED\x95\x9C" "b";
  for (const char* name : {"AL32UTF8", "UTF8", "AL16UTF16", "JA16SJIS", "JA16EUC", "ZHS16GBK",
                           "KO16MSWIN949", "ZHT16BIG5", "WE8ISO8859P1"}) {
    SCOPED_TRACE(name);
    const CharsetInfo* cs = FindCharset(name);
    std::string encoded = Convert("AL32UTF8", name, text);
    // Boundaries: the encoded lengths of each whole-character prefix.
    std::vector<size_t> boundaries = {0};
    size_t pos = 0;
    while (pos < text.size()) {
      size_t len = 1;
      unsigned char lead = static_cast<unsigned char>(text[pos]);
      if (lead >= 0xF0) len = 4;
      else if (lead >= 0xE0) len = 3;
      else if (lead >= 0xC0) len = 2;
      pos += len;
      boundaries.push_back(Convert("AL32UTF8", name, text.substr(0, pos)).size());
    }
    for (size_t max = 0; max <= encoded.size() + 1; ++max) {
      size_t cut = CharsetPrefixBytes(cs, encoded, max);
      size_t expect = 0;
      for (size_t b : boundaries)
        if (b <= max && b <= encoded.size()) expect = b;
      EXPECT_EQ(cut, expect) << "max " << max;
    }
  }
}

}  // namespace
}  // namespace tabdb
