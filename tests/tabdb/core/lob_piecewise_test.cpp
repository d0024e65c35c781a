// lob_piecewise_test.cpp - CLOB, NCLOB and BLOB values written and read in
// pieces through their locators (polling OCILobWrite2/OCILobRead2 with
// both amounts 0), under several client character sets; offsets and
// amounts in characters (UTF-16 units) for CLOB/NCLOB and bytes for BLOB.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lob_oci_util.h"

namespace {

using lobtest::kPiece;
using lobtest::LobRead;
using lobtest::LobWrite;
using lobtest::Oci;

struct LobKind {
  const char* table;
  ub2 dty;
  ub1 form;
  bool blob;
};
const LobKind kBlob = {"tb", SQLT_BLOB, SQLCS_IMPLICIT, true};
const LobKind kClob = {"tc", SQLT_CLOB, SQLCS_IMPLICIT, false};
const LobKind kNclob = {"tn", SQLT_CLOB, SQLCS_NCHAR, false};
const size_t kSizes[] = {0, 1, 32767, 32768, 32769, 65536, 10000000};

// Latin-1 bytes as UTF-8.
std::string Latin1ToUtf8(const std::string& s) {
  std::string out;
  for (unsigned char b : s) {
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

class LobPiecewise : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("lob.db");
    ASSERT_NO_FATAL_FAILURE(Oci::CreateDatabase(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Connect(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE tb (id NUMBER, x BLOB)"));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE tc (id NUMBER, x CLOB)"));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE tn (id NUMBER, x NCLOB)"));
  }

  // Inserts row `id` with an empty LOB, writes `src` through the
  // RETURNING locator in pieces of `piece` bytes and commits.
  static ::testing::AssertionResult Store(Oci& c, const LobKind& k, int id, lobtest::Source src,
                                          size_t piece = kPiece, LobWrite* log = nullptr) {
    std::vector<OCILobLocator*> ret;
    std::vector<sb2> ind;
    std::string sql = "INSERT INTO " + std::string(k.table) + " (id, x) VALUES (" + std::to_string(id) +
                      ", :1) RETURNING x INTO :2";
    if (c.InsertReturning(sql, {k.dty}, {k.form}, {false}, &ret, &ind) != OCI_SUCCESS)
      return ::testing::AssertionFailure() << "insert: " << c.Error();
    if (ind[0] != 0) return ::testing::AssertionFailure() << "RETURNING indicator " << ind[0];
    ::testing::AssertionResult r = lobtest::WriteLob(c, ret[0], k.form, src, piece, log);
    if (!r) return r;
    if (c.Commit() != OCI_SUCCESS) return ::testing::AssertionFailure() << "commit: " << c.Error();
    return ::testing::AssertionSuccess();
  }

  // Reads row `id` back as the export does.
  static ::testing::AssertionResult Load(Oci& c, const LobKind& k, int id, lobtest::Sink sink, LobRead* log,
                                         size_t bufl = kPiece) {
    OCILobLocator* loc = c.Locator();
    sb2 ind = -2;
    if (c.SelectLocator("SELECT x FROM " + std::string(k.table) + " WHERE id = " + std::to_string(id), k.dty,
                        loc, &ind) != OCI_SUCCESS)
      return ::testing::AssertionFailure() << "select: " << c.Error();
    if (ind != 0) return ::testing::AssertionFailure() << "indicator " << ind;
    return lobtest::ReadLob(c, loc, k.form, k.blob, sink, log, bufl);
  }

  // Every read but the last returned OCI_NEED_DATA with a full buffer's
  // worth at most, and the last OCI_SUCCESS; no empty piece at the end
  // unless the value is empty.
  static void CheckReadShape(const LobRead& r) {
    ASSERT_FALSE(r.results.empty());
    for (size_t i = 0; i + 1 < r.results.size(); ++i) {
      EXPECT_EQ(OCI_NEED_DATA, r.results[i]) << "read " << i;
      EXPECT_GT(r.byte_amts[i], 0u) << "read " << i;
    }
    EXPECT_EQ(OCI_SUCCESS, r.results.back());
    if (r.total > 0) {
      EXPECT_GT(r.byte_amts.back(), 0u) << "an extra empty piece ends the value";
    }
  }

  testsupport::TempDir dir_;
  std::string path_;
  Oci c_;
};

// UTF-16 units of valid UTF-8 text, counted character by character.
uint64_t Utf16Units(const std::string& s) {
  uint64_t n = 0;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    n += len == 4 ? 2 : 1;
    i += len;
  }
  return n;
}

TEST_F(LobPiecewise, BlobRoundTripsEverySize) {
  int id = 0;
  for (size_t n : kSizes) {
    SCOPED_TRACE(std::to_string(n) + " bytes");
    ++id;
    std::string value = lobtest::Pattern(n, false);
    LobWrite w;
    ASSERT_TRUE(Store(c_, kBlob, id, lobtest::FromString(value), kPiece, &w));
    size_t pieces = (n + kPiece - 1) / kPiece;
    ASSERT_EQ(pieces, w.results.size());
    for (size_t i = 0; i < pieces; ++i) {
      EXPECT_EQ(i + 1 < pieces ? OCI_NEED_DATA : OCI_SUCCESS, w.results[i]);
      EXPECT_EQ(std::min<size_t>(kPiece, n - i * kPiece), w.byte_amts[i])
          << "bytes of the piece just written";
    }
    LobRead r;
    std::string got;
    ASSERT_TRUE(Load(c_, kBlob, id, lobtest::ToString(&got), &r));
    EXPECT_EQ(n, r.length);
    ASSERT_NO_FATAL_FAILURE(CheckReadShape(r));
    EXPECT_EQ(std::max<size_t>(pieces, 1), r.results.size());
    for (size_t i = 0; i + 1 < r.byte_amts.size(); ++i) EXPECT_EQ(kPiece, r.byte_amts[i]);
    EXPECT_EQ(n, got.size());
    EXPECT_TRUE(got == value);
    EXPECT_EQ(static_cast<long>(n),
              c_.Number("SELECT DBMS_LOB.GETLENGTH(x) FROM tb WHERE id = " + std::to_string(id)));
  }
}

TEST_F(LobPiecewise, CharacterLobsRoundTripMultibyteTextEverySize) {
  for (const LobKind& k : {kClob, kNclob}) {
    int id = 0;
    for (size_t n : kSizes) {
      SCOPED_TRACE(std::string(k.table) + " " + std::to_string(n) + " bytes");
      ++id;
      uint64_t units = 0;
      std::string value = n == 0 ? std::string() : lobtest::MixedUtf8(n, &units);
      // 32768-byte write pieces cut characters; the value must not suffer.
      ASSERT_TRUE(Store(c_, k, id, lobtest::FromString(value)));
      LobRead r;
      std::vector<std::string> pieces;
      ASSERT_TRUE(Load(
          c_, k, id, [&](const char* p, size_t m) { pieces.emplace_back(p, m); }, &r));
      EXPECT_EQ(units, r.length) << "length in UTF-16 units";
      ASSERT_NO_FATAL_FAILURE(CheckReadShape(r));
      std::string got;
      uint64_t char_sum = 0;
      for (size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_TRUE(lobtest::WholeUtf8(pieces[i])) << "piece " << i << " cuts a character";
        // Every piece but the last fills the buffer up to a character.
        if (i + 1 < pieces.size()) {
          EXPECT_GT(pieces[i].size() + 4, static_cast<size_t>(kPiece)) << "piece " << i;
        }
      }
      for (size_t i = 0; i < r.char_amts.size(); ++i) char_sum += r.char_amts[i];
      // Each piece's character amount counts that piece, the last one too
      // (whose amount may come from the value's stored length).
      for (size_t i = 0, k = 0; i < r.char_amts.size(); ++i) {
        if (r.byte_amts[i] == 0) {
          EXPECT_EQ(0u, r.char_amts[i]) << "empty piece " << i;
          continue;
        }
        ASSERT_LT(k, pieces.size());
        EXPECT_EQ(Utf16Units(pieces[k++]), r.char_amts[i]) << "piece " << i;
      }
      for (const std::string& p : pieces) got += p;
      EXPECT_EQ(units, char_sum) << "character amounts add up to the length";
      EXPECT_TRUE(got == value);
      EXPECT_EQ(static_cast<long>(units),
                c_.Number("SELECT DBMS_LOB.GETLENGTH(x) FROM " + std::string(k.table) +
                          " WHERE id = " + std::to_string(id)));
    }
  }
}

// Text of exactly `bytes` bytes in a client character set, the same text
// in AL32UTF8, and its length in characters.
struct ClientText {
  std::string client, utf8;
  uint64_t chars = 0;
};

ClientText Latin1Text(size_t bytes) {
  ClientText t;
  for (size_t i = 0; i < bytes; ++i) {
    unsigned char b = static_cast<unsigned char>(lobtest::PatternByte(i, false));
    t.client += static_cast<char>(b < 0x20 ? b + 0x41 : (b >= 0x7F && b < 0xA0) ? b - 0x40 : b);
  }
  t.utf8 = Latin1ToUtf8(t.client);
  t.chars = bytes;
  return t;
}

ClientText GbkText(size_t bytes) {
  // "a" and two Chinese characters: 5 bytes in ZHS16GBK, 7 in AL32UTF8.
  ClientText t;
  for (size_t i = 0; i < bytes / 5; ++i) {
    t.client += "a\xD6\xD0\xCE\xC4";
    t.utf8 += "a\xE4\xB8\xAD\xE6\x96\x87";
  }
  t.client.append(bytes % 5, 'b');
  t.utf8.append(bytes % 5, 'b');
  t.chars = bytes / 5 * 3 + bytes % 5;
  return t;
}

TEST_F(LobPiecewise, CharacterLobsUnderOtherClientCharsetsEverySize) {
  struct Case {
    const char* nls;
    ClientText (*make)(size_t);
    bool multibyte;
  } cases[] = {
      {"AMERICAN_AMERICA.WE8ISO8859P1", Latin1Text, false},
      {"SIMPLIFIED CHINESE_CHINA.ZHS16GBK", GbkText, true},
  };
  int id = 0;
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.nls);
    Oci client;
    ASSERT_NO_FATAL_FAILURE(client.Connect(path_, cs.nls));
    struct Stored {
      const LobKind* kind;
      int id;
      ClientText text;
    };
    std::vector<Stored> stored;
    for (const LobKind* k : {&kClob, &kNclob}) {
      for (size_t n : kSizes) {
        stored.push_back({k, ++id, cs.make(n)});
        // Odd write pieces cut double-byte characters.
        ASSERT_TRUE(Store(client, *k, id, lobtest::FromString(stored.back().text.client), 32767));
      }
    }
    // Read back under the same client character set...
    for (const Stored& st : stored) {
      SCOPED_TRACE(std::string(st.kind->table) + " " + std::to_string(st.text.client.size()) + " bytes");
      LobRead r;
      std::vector<std::string> pieces;
      ASSERT_TRUE(Load(
          client, *st.kind, st.id, [&](const char* p, size_t m) { pieces.emplace_back(p, m); }, &r));
      EXPECT_EQ(st.text.chars, r.length);
      ASSERT_NO_FATAL_FAILURE(CheckReadShape(r));
      std::string got;
      uint64_t chars = 0;
      for (size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_TRUE(lobtest::WholeGbk(pieces[i]) || !cs.multibyte) << "piece " << i << " cuts a character";
        if (i + 1 < pieces.size()) {
          EXPECT_GE(pieces[i].size(), cs.multibyte ? kPiece - 1 : kPiece) << "piece " << i;
        }
        if (!cs.multibyte) {
          EXPECT_EQ(r.byte_amts[i], r.char_amts[i]) << "one byte per character";
        }
        got += pieces[i];
        chars += r.char_amts[i];
      }
      EXPECT_EQ(st.text.chars, chars);
      EXPECT_TRUE(got == st.text.client);
    }
    // ...and under AL32UTF8.
    Oci utf8_client;
    ASSERT_NO_FATAL_FAILURE(utf8_client.Connect(path_));
    for (const Stored& st : stored) {
      SCOPED_TRACE(std::string(st.kind->table) + " " + std::to_string(st.text.client.size()) +
                   " bytes in AL32UTF8");
      LobRead u;
      std::string got;
      ASSERT_TRUE(Load(utf8_client, *st.kind, st.id, lobtest::ToString(&got), &u));
      EXPECT_EQ(st.text.chars, u.length);
      EXPECT_TRUE(got == st.text.utf8);
    }
  }
}

TEST_F(LobPiecewise, ReadPieceStopsBeforeACharacterThatDoesNotFit) {
  struct Case {
    const char* nls;
    std::string tail;    // the character after 32767 ASCII bytes, in the client set
    size_t first_piece;  // bytes the first read delivers
  } cases[] = {
      {"AMERICAN_AMERICA.AL32UTF8", "\xF0\x9F\x98\x80", 32767},
      {"AMERICAN_AMERICA.AL32UTF8", "\xE2\x82\xAC", 32767},
      {"AMERICAN_AMERICA.AL32UTF8", "z", 32768},
      {"SIMPLIFIED CHINESE_CHINA.ZHS16GBK", "\xD6\xD0", 32767},
  };
  int id = 0;
  for (const Case& cs : cases) {
    SCOPED_TRACE(std::string(cs.nls) + " " + std::to_string(cs.tail.size()) + "-byte character");
    ++id;
    Oci c;
    ASSERT_NO_FATAL_FAILURE(c.Connect(path_, cs.nls));
    std::string value = std::string(32767, 'x') + cs.tail + "end";
    ASSERT_TRUE(Store(c, kClob, id, lobtest::FromString(value)));
    LobRead r;
    std::string got;
    ASSERT_TRUE(Load(c, kClob, id, lobtest::ToString(&got), &r));
    ASSERT_EQ(2u, r.byte_amts.size());
    EXPECT_EQ(cs.first_piece, r.byte_amts[0]);
    EXPECT_EQ(cs.first_piece, r.char_amts[0]);
    EXPECT_TRUE(got == value);
  }
}

TEST_F(LobPiecewise, NclobAcceptsOnlyTheNationalForm) {
  struct Case {
    const LobKind* kind;
    ub1 wrong_form;
  } cases[] = {{&kNclob, SQLCS_IMPLICIT}, {&kClob, SQLCS_NCHAR}};
  int id = 0;
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.kind->table);
    ++id;
    std::vector<OCILobLocator*> ret;
    std::vector<sb2> ind;
    ASSERT_EQ(OCI_SUCCESS,
              c_.InsertReturning("INSERT INTO " + std::string(cs.kind->table) + " (id, x) VALUES (" +
                                     std::to_string(id) + ", :1) RETURNING x INTO :2",
                                 {cs.kind->dty}, {cs.kind->form}, {false}, &ret, &ind))
        << c_.Error();
    oraub8 b = 0, ch = 0;
    char buf[16] = "abc";
    EXPECT_EQ(OCI_ERROR, OCILobWrite2(c_.svc, c_.err, ret[0], &b, &ch, 1, buf, 3, OCI_ONE_PIECE, nullptr,
                                      nullptr, 0, cs.wrong_form));
    EXPECT_EQ(24806, c_.Code()) << c_.Error();
    ASSERT_EQ(OCI_SUCCESS, OCILobWrite2(c_.svc, c_.err, ret[0], &b, &ch, 1, buf, 3, OCI_ONE_PIECE, nullptr,
                                        nullptr, 0, cs.kind->form))
        << c_.Error();
    b = ch = 0;
    EXPECT_EQ(OCI_ERROR, OCILobRead2(c_.svc, c_.err, ret[0], &b, &ch, 1, buf, sizeof buf, OCI_FIRST_PIECE,
                                     nullptr, nullptr, 0, cs.wrong_form));
    EXPECT_EQ(24806, c_.Code()) << c_.Error();
    b = ch = 0;
    ASSERT_EQ(OCI_SUCCESS, OCILobRead2(c_.svc, c_.err, ret[0], &b, &ch, 1, buf, sizeof buf, OCI_FIRST_PIECE,
                                       nullptr, nullptr, 0, cs.kind->form));
    EXPECT_EQ("abc", std::string(buf, b));
  }
}

TEST_F(LobPiecewise, NullAndEmptyLobs) {
  for (const LobKind& k : {kBlob, kClob, kNclob}) {
    SCOPED_TRACE(k.table);
    std::string t = k.table;
    // Row 1 NULL, row 2 empty.
    std::vector<OCILobLocator*> ret;
    std::vector<sb2> ind;
    ASSERT_EQ(OCI_SUCCESS,
              c_.InsertReturning("INSERT INTO " + t + " (id, x) VALUES (1, :1) RETURNING x INTO :2", {k.dty},
                                 {k.form}, {true}, &ret, &ind))
        << c_.Error();
    EXPECT_EQ(-1, ind[0]) << "a NULL LOB comes back with indicator -1";
    EXPECT_EQ(OCI_ERROR, OCILobOpen(c_.svc, c_.err, ret[0], OCI_LOB_READWRITE));
    EXPECT_EQ(22275, c_.Code());
    ASSERT_TRUE(Store(c_, k, 2, lobtest::FromString("")));
    EXPECT_EQ(1, c_.Number("SELECT COUNT(*) FROM " + t + " WHERE x IS NULL"));

    OCILobLocator* loc = c_.Locator();
    sb2 sind = -2;
    ASSERT_EQ(OCI_SUCCESS,
              c_.SelectLocator("SELECT x FROM " + t + " WHERE id = 1", k.dty, loc, &sind));
    EXPECT_EQ(-1, sind);
    oraub8 len = 99;
    EXPECT_EQ(OCI_ERROR, OCILobGetLength2(c_.svc, c_.err, loc, &len));
    EXPECT_EQ(22275, c_.Code());

    LobRead r;
    std::string got = "junk";
    ASSERT_TRUE(Load(c_, k, 2, lobtest::ToString(&got), &r));
    EXPECT_EQ(0u, r.length);
    EXPECT_EQ(std::vector<sword>{OCI_SUCCESS}, r.results) << "an empty LOB reads as one empty last piece";
    EXPECT_EQ(std::vector<oraub8>{0}, r.byte_amts);
    EXPECT_EQ("", got);
  }
}

TEST_F(LobPiecewise, OffsetsAndAmountsCountCharactersOrBytes) {
  // a é € 😀 Z 中: 1+2+3+4+1+3 bytes, 1+1+1+2+1+1 UTF-16 units.
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80Z\xE4\xB8\xAD";
  ASSERT_TRUE(Store(c_, kClob, 1, lobtest::FromString(text)));
  OCILobLocator* loc = c_.Locator();
  sb2 ind = 0;
  ASSERT_EQ(OCI_SUCCESS, c_.SelectLocator("SELECT x FROM tc WHERE id = 1", SQLT_CLOB, loc, &ind));
  oraub8 len = 0;
  ASSERT_EQ(OCI_SUCCESS, OCILobGetLength2(c_.svc, c_.err, loc, &len));
  EXPECT_EQ(7u, len);
  struct ClobCase {
    oraub8 offset, chars;
    std::string want;
    oraub8 want_chars;
  } clob_cases[] = {
      {1, 1, "a", 1},
      {2, 2, "\xC3\xA9\xE2\x82\xAC", 2},
      {4, 2, "\xF0\x9F\x98\x80", 2},
      {4, 3, "\xF0\x9F\x98\x80Z", 3},
      {6, 0, "Z\xE4\xB8\xAD", 2},  // 0: to the end
      {7, 5, "\xE4\xB8\xAD", 1},
  };
  for (const ClobCase& cs : clob_cases) {
    SCOPED_TRACE("offset " + std::to_string(cs.offset) + " amount " + std::to_string(cs.chars));
    char buf[64];
    oraub8 b = 0, ch = cs.chars;
    sword rc = OCILobRead2(c_.svc, c_.err, loc, &b, &ch, cs.offset, buf, sizeof buf, OCI_ONE_PIECE, nullptr,
                           nullptr, 0, SQLCS_IMPLICIT);
    ASSERT_EQ(OCI_SUCCESS, rc) << c_.Error();
    EXPECT_EQ(cs.want, std::string(buf, b));
    EXPECT_EQ(cs.want_chars, ch);
  }
  // SQL functions count the same way.
  EXPECT_EQ(7, c_.Number("SELECT DBMS_LOB.GETLENGTH(x) FROM tc WHERE id = 1"));
  EXPECT_EQ("\xF0\x9F\x98\x80", c_.Text("SELECT DBMS_LOB.SUBSTR(x, 2, 4) FROM tc WHERE id = 1"));
  EXPECT_EQ("Z\xE4\xB8\xAD", c_.Text("SELECT DBMS_LOB.SUBSTR(x, 5, 6) FROM tc WHERE id = 1"));

  // BLOB: bytes.
  std::string bytes = lobtest::Pattern(70000, false);
  ASSERT_TRUE(Store(c_, kBlob, 1, lobtest::FromString(bytes)));
  OCILobLocator* bl = c_.Locator();
  ASSERT_EQ(OCI_SUCCESS, c_.SelectLocator("SELECT x FROM tb WHERE id = 1", SQLT_BLOB, bl, &ind));
  std::vector<char> buf(kPiece);
  oraub8 b = 4, ch = 0;
  ASSERT_EQ(OCI_SUCCESS, OCILobRead2(c_.svc, c_.err, bl, &b, &ch, 3, buf.data(), buf.size(), OCI_ONE_PIECE,
                                     nullptr, nullptr, 0, SQLCS_IMPLICIT));
  EXPECT_EQ(bytes.substr(2, 4), std::string(buf.data(), b));
  // Polling with a byte amount stops after that many bytes.
  std::string got;
  std::vector<sword> rcs;
  b = 40000;
  ch = 0;
  ub1 piece = OCI_FIRST_PIECE;
  for (int i = 0; i < 5; ++i) {
    sword rc = OCILobRead2(c_.svc, c_.err, bl, &b, &ch, 101, buf.data(), buf.size(), piece, nullptr, nullptr,
                           0, SQLCS_IMPLICIT);
    rcs.push_back(rc);
    got.append(buf.data(), b);
    if (rc != OCI_NEED_DATA) break;
    piece = OCI_NEXT_PIECE;
    b = 0;
  }
  EXPECT_EQ((std::vector<sword>{OCI_NEED_DATA, OCI_SUCCESS}), rcs);
  EXPECT_TRUE(got == bytes.substr(100, 40000));
}

TEST_F(LobPiecewise, WritesAtAnOffsetReplaceWholeCharactersOrBytes) {
  struct Case {
    const LobKind* kind;
    std::string before;
    oraub8 offset;
    std::string data;
    std::string after;
  } cases[] = {
      // é and € (two characters of 2 and 3 bytes) replaced by XY.
      {&kClob,
       "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
       "b",
       2, "XY",
       "aXY\xF0\x9F\x98\x80"
       "b"},
      // Two one-byte characters replaced by two of three bytes.
      {&kClob, "abcdef", 3, "\xE2\x82\xAC\xE2\x82\xAC",
       "ab\xE2\x82\xAC\xE2\x82\xAC"
       "ef"},
      // The character outside the BMP is two units: offset 5 is what follows it.
      {&kClob,
       "a\xF0\x9F\x98\x80"
       "bcd",
       4, "Q",
       "a\xF0\x9F\x98\x80"
       "Qcd"},
      {&kClob, "abc", 6, "Z", "abc  Z"},  // past the end: blanks in between
      {&kNclob, "\xE4\xB8\xAD\xE6\x96\x87xyz", 2, "ab",
       "\xE4\xB8\xAD"
       "abyz"},
      {&kBlob, "0123456789", 3, "XY", "01XY456789"},
      {&kBlob, "0123", 7, "Z", std::string("0123\0\0Z", 7)},  // past the end: zero bytes in between
      {&kBlob, "0123", 3, "XYZW", "01XYZW"},
  };
  int id = 0;
  for (const Case& cs : cases) {
    SCOPED_TRACE(std::string(cs.kind->table) + " offset " + std::to_string(cs.offset) + " " + cs.data);
    ++id;
    std::vector<OCILobLocator*> ret;
    std::vector<sb2> ind;
    ASSERT_EQ(OCI_SUCCESS,
              c_.InsertReturning("INSERT INTO " + std::string(cs.kind->table) + " (id, x) VALUES (" +
                                     std::to_string(id) + ", :1) RETURNING x INTO :2",
                                 {cs.kind->dty}, {cs.kind->form}, {false}, &ret, &ind));
    ASSERT_TRUE(lobtest::WriteLob(c_, ret[0], cs.kind->form, lobtest::FromString(cs.before), kPiece));
    oraub8 b = cs.data.size(), ch = 0;
    ASSERT_EQ(OCI_SUCCESS,
              OCILobWrite2(c_.svc, c_.err, ret[0], &b, &ch, cs.offset, const_cast<char*>(cs.data.data()),
                           cs.data.size(), OCI_ONE_PIECE, nullptr, nullptr, 0, cs.kind->form))
        << c_.Error();
    ASSERT_EQ(OCI_SUCCESS, c_.Commit());
    LobRead r;
    std::string got;
    ASSERT_TRUE(Load(c_, *cs.kind, id, lobtest::ToString(&got), &r));
    EXPECT_EQ(cs.after, got);
  }
}

TEST_F(LobPiecewise, SqlFunctionsReadStoredValuesAcrossChunks) {
  uint64_t units = 0;
  std::string text = lobtest::MixedUtf8(100000, &units);
  std::string bytes = lobtest::Pattern(100000, false);
  ASSERT_TRUE(Store(c_, kClob, 1, lobtest::FromString(text)));
  ASSERT_TRUE(Store(c_, kBlob, 1, lobtest::FromString(bytes)));
  ASSERT_TRUE(Store(c_, kClob, 2, lobtest::FromString("")));
  ASSERT_NO_FATAL_FAILURE(c_.Run("INSERT INTO tc (id, x) VALUES (3, NULL)"));
  ASSERT_EQ(OCI_SUCCESS, c_.Commit());

  // The substring of the text from UTF-16 unit `from` (1-based) of `n` units.
  auto units_substr = [&](size_t from, size_t n) {
    size_t pos = 0, u = 1;
    std::string out;
    while (pos < text.size() && u < from + n) {
      unsigned char lead = static_cast<unsigned char>(text[pos]);
      size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (u >= from) out += text.substr(pos, len);
      u += len == 4 ? 2 : 1;
      pos += len;
    }
    return out;
  };
  auto hex = [](const std::string& b) {
    static const char* d = "0123456789ABCDEF";
    std::string h;
    for (unsigned char c : b) {
      h += d[c >> 4];
      h += d[c & 15];
    }
    return h;
  };
  struct Case {
    std::string sql;
    std::string want;
  } cases[] = {
      {"SELECT DBMS_LOB.GETLENGTH(x) FROM tc WHERE id = 1", std::to_string(units)},
      {"SELECT DBMS_LOB.GETLENGTH(x) FROM tc WHERE id = 2", "0"},
      {"SELECT DBMS_LOB.GETLENGTH(x) FROM tc WHERE id = 3", "<null>"},
      {"SELECT DBMS_LOB.GETLENGTH(x) FROM tb WHERE id = 1", "100000"},
      // Chunks hold 32768 bytes: these ranges straddle the first boundary.
      {"SELECT DBMS_LOB.SUBSTR(x, 20, 23400) FROM tc WHERE id = 1", units_substr(23400, 20)},
      {"SELECT DBMS_LOB.SUBSTR(x, 1000, 1) FROM tc WHERE id = 1", units_substr(1, 1000)},
      {"SELECT DBMS_LOB.SUBSTR(x, 10, " + std::to_string(units - 3) + ") FROM tc WHERE id = 1",
       units_substr(units - 3, 10)},
      {"SELECT DBMS_LOB.SUBSTR(x, 10, " + std::to_string(units + 5) + ") FROM tc WHERE id = 1", "<null>"},
      {"SELECT DBMS_LOB.SUBSTR(x, 8, 32765) FROM tb WHERE id = 1", hex(bytes.substr(32764, 8))},
      {"SELECT DBMS_LOB.SUBSTR(x, 8, 99997) FROM tb WHERE id = 1", hex(bytes.substr(99996, 4))},
      {"SELECT DBMS_LOB.GETLENGTH(TO_CLOB('a\xF0\x9F\x98\x80z')) FROM dual", "4"},
  };
  for (const Case& cs : cases) {
    EXPECT_EQ(cs.want, c_.Text(cs.sql)) << cs.sql;
  }
}

}  // namespace
