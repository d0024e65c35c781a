// lob_piece_facility_test.cpp - the test facility TABDB_TEST_PIECES, which
// makes the library answer like other client libraries may: "max=N"
// delivers every LONG piece and LOB read in at most N bytes, "emptylast"
// ends them with an extra empty piece, "emptynodata" answers the read of
// an empty LOB with OCI_NO_DATA. The setting is read once per process, so
// each mode runs in a child process of this test program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "lob_oci_util.h"

namespace {

using lobtest::kPiece;
using lobtest::LobRead;
using lobtest::LongFetch;
using lobtest::LongInsert;
using lobtest::Oci;

// The parent: runs one child test under a setting and expects it to pass.
// The setting exists only in builds with TABDB_TEST_HOOKS.
void RunMode(const std::string& test, const std::string& setting) {
#ifndef TABDB_TEST_HOOKS
  GTEST_SKIP() << "built without TABDB_TEST_HOOKS";
#endif
  testsupport::ProcResult r = lobtest::RunChild("LobPieceFacilityChild." + test,
                                                {"TABDB_TEST_PIECES=" + setting, "TABDB_PIECES_CHILD=1"});
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("[  PASSED  ] 1 test")) << r.out;
}

TEST(LobPieceFacility, MaxLimitsEveryPiece) { RunMode("MaxPiece", "max=1000"); }
TEST(LobPieceFacility, EmptyLastAddsAnEmptyLastPiece) { RunMode("EmptyLast", "emptylast"); }
TEST(LobPieceFacility, EmptyNoDataAnswersEmptyReadsWithNoData) { RunMode("EmptyNoData", "emptynodata"); }
TEST(LobPieceFacility, SettingsCombine) { RunMode("MaxAndEmptyLast", "max=1000,emptylast"); }

// The children: skipped unless started by the parent above.
class LobPieceFacilityChild : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("TABDB_PIECES_CHILD") == nullptr) GTEST_SKIP() << "runs as a child of LobPieceFacility";
    path_ = dir_.file("facility.db");
    ASSERT_NO_FATAL_FAILURE(Oci::CreateDatabase(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Connect(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE tl (id NUMBER, v LONG)"));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE tb (id NUMBER, x BLOB)"));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE tc (id NUMBER, x CLOB)"));
  }

  // Stores a LONG (NULL when `null`) in row `id` and fetches it back.
  void LongRoundTrip(int id, const std::string& value, bool null, LongFetch* f) {
    LongInsert in;
    ASSERT_TRUE(lobtest::InsertLong(c_, "INSERT INTO tl (id, v) VALUES (" + std::to_string(id) + ", :1)",
                                    SQLT_LNG, null ? lobtest::Source() : lobtest::FromString(value), kPiece,
                                    null, &in));
    std::string got;
    ASSERT_TRUE(lobtest::FetchLong(c_, "SELECT id, v FROM tl WHERE id = " + std::to_string(id), SQLT_LNG, f,
                                   lobtest::ToString(&got)));
    EXPECT_TRUE(got == value);
  }

  // Stores a LOB in row `id` of `table` and reads it back piece by piece.
  void LobRoundTrip(const std::string& table, int id, const std::string& value, LobRead* r,
                    std::vector<std::string>* pieces = nullptr) {
    bool blob = table == "tb";
    std::vector<OCILobLocator*> ret;
    std::vector<sb2> ind;
    ASSERT_EQ(OCI_SUCCESS, c_.InsertReturning("INSERT INTO " + table + " (id, x) VALUES (" +
                                                  std::to_string(id) + ", :1) RETURNING x INTO :2",
                                              {static_cast<ub2>(blob ? SQLT_BLOB : SQLT_CLOB)},
                                              {SQLCS_IMPLICIT}, {false}, &ret, &ind));
    ASSERT_TRUE(lobtest::WriteLob(c_, ret[0], SQLCS_IMPLICIT, lobtest::FromString(value), kPiece));
    OCILobLocator* loc = c_.Locator();
    sb2 sind = 0;
    ASSERT_EQ(OCI_SUCCESS, c_.SelectLocator("SELECT x FROM " + table + " WHERE id = " + std::to_string(id),
                                            blob ? SQLT_BLOB : SQLT_CLOB, loc, &sind));
    std::string got;
    ASSERT_TRUE(lobtest::ReadLob(
        c_, loc, SQLCS_IMPLICIT, blob,
        [&](const char* p, size_t n) {
          got.append(p, n);
          if (pieces) pieces->emplace_back(p, n);
        },
        r));
    EXPECT_TRUE(got == value);
  }

  testsupport::TempDir dir_;
  std::string path_;
  Oci c_;
};

TEST_F(LobPieceFacilityChild, MaxPiece) {
  struct LongCase {
    size_t bytes;
    std::vector<ub4> pieces;
  } long_cases[] = {{5000, {1000, 1000, 1000, 1000, 1000}}, {2500, {1000, 1000, 500}}, {1, {1}}};
  int id = 0;
  for (const LongCase& lc : long_cases) {
    SCOPED_TRACE("LONG of " + std::to_string(lc.bytes));
    LongFetch f;
    ASSERT_NO_FATAL_FAILURE(LongRoundTrip(++id, lobtest::Pattern(lc.bytes, true), false, &f));
    EXPECT_EQ(lc.pieces, f.pieces);
    EXPECT_EQ(OCI_SUCCESS, f.results.back());
  }
  LongFetch nf;
  ASSERT_NO_FATAL_FAILURE(LongRoundTrip(++id, "", true, &nf));
  EXPECT_EQ(std::vector<ub4>{0}, nf.pieces);
  EXPECT_EQ(-1, nf.define_ind);

  LobRead r;
  ASSERT_NO_FATAL_FAILURE(LobRoundTrip("tb", 1, lobtest::Pattern(2500, false), &r));
  EXPECT_EQ((std::vector<oraub8>{1000, 1000, 500}), r.byte_amts);
  EXPECT_EQ((std::vector<sword>{OCI_NEED_DATA, OCI_NEED_DATA, OCI_SUCCESS}), r.results);
  // Character pieces stay within the limit and end on whole characters.
  LobRead cr;
  std::vector<std::string> pieces;
  uint64_t units = 0;
  ASSERT_NO_FATAL_FAILURE(LobRoundTrip("tc", 1, lobtest::MixedUtf8(5000, &units), &cr, &pieces));
  uint64_t chars = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_LE(pieces[i].size(), 1000u);
    EXPECT_GE(pieces[i].size(), 997u * (i + 1 < pieces.size()));
    EXPECT_TRUE(lobtest::WholeUtf8(pieces[i])) << i;
    chars += cr.char_amts[i];
  }
  EXPECT_EQ(units, chars);
}

TEST_F(LobPieceFacilityChild, EmptyLast) {
  struct LongCase {
    size_t bytes;
    std::vector<ub4> pieces;
  } long_cases[] = {{5000, {5000, 0}}, {32768, {32768, 0}}, {40000, {32768, 7232, 0}}};
  int id = 0;
  for (const LongCase& lc : long_cases) {
    SCOPED_TRACE("LONG of " + std::to_string(lc.bytes));
    LongFetch f;
    ASSERT_NO_FATAL_FAILURE(LongRoundTrip(++id, lobtest::Pattern(lc.bytes, true), false, &f));
    EXPECT_EQ(lc.pieces, f.pieces);
    ASSERT_EQ(lc.pieces.size(), f.results.size());
    EXPECT_EQ(OCI_NEED_DATA, f.results[f.results.size() - 2]);
    EXPECT_EQ(OCI_SUCCESS, f.results.back());
    EXPECT_EQ(0, f.piece_inds.back()) << "the extra piece is not a NULL";
    EXPECT_EQ(0, f.define_ind);
  }
  // A NULL stays one empty piece.
  LongFetch nf;
  ASSERT_NO_FATAL_FAILURE(LongRoundTrip(++id, "", true, &nf));
  EXPECT_EQ(std::vector<ub4>{0}, nf.pieces);
  EXPECT_EQ(std::vector<sb2>{-1}, nf.piece_inds);

  struct LobCase {
    const char* table;
    std::string value;
    std::vector<oraub8> pieces;
  } lob_cases[] = {
      {"tb", lobtest::Pattern(40000, false), {32768, 7232, 0}},
      {"tb", lobtest::Pattern(32768, false), {32768, 0}},
      {"tc", "short", {5, 0}},
      {"tb", "", {0}},  // an empty LOB is still one empty piece
  };
  id = 0;
  for (const LobCase& lc : lob_cases) {
    SCOPED_TRACE(std::string(lc.table) + " of " + std::to_string(lc.value.size()));
    LobRead r;
    ASSERT_NO_FATAL_FAILURE(LobRoundTrip(lc.table, ++id, lc.value, &r));
    EXPECT_EQ(lc.pieces, r.byte_amts);
    EXPECT_EQ(OCI_SUCCESS, r.results.back());
  }
}

TEST_F(LobPieceFacilityChild, EmptyNoData) {
  for (const char* table : {"tb", "tc"}) {
    SCOPED_TRACE(table);
    LobRead r;
    ASSERT_NO_FATAL_FAILURE(LobRoundTrip(table, 1, "", &r));
    EXPECT_EQ(std::vector<sword>{OCI_NO_DATA}, r.results);
    EXPECT_EQ(std::vector<oraub8>{0}, r.byte_amts);
    LobRead full;
    ASSERT_NO_FATAL_FAILURE(LobRoundTrip(table, 2, "abc", &full));
    EXPECT_EQ(std::vector<sword>{OCI_SUCCESS}, full.results);
  }
  // LONG values are not affected.
  LongFetch f;
  ASSERT_NO_FATAL_FAILURE(LongRoundTrip(1, "abc", false, &f));
  EXPECT_EQ(std::vector<ub4>{3}, f.pieces);
}

TEST_F(LobPieceFacilityChild, MaxAndEmptyLast) {
  LongFetch f;
  ASSERT_NO_FATAL_FAILURE(LongRoundTrip(1, lobtest::Pattern(2000, true), false, &f));
  EXPECT_EQ((std::vector<ub4>{1000, 1000, 0}), f.pieces);
  LobRead r;
  ASSERT_NO_FATAL_FAILURE(LobRoundTrip("tb", 1, lobtest::Pattern(1500, false), &r));
  EXPECT_EQ((std::vector<oraub8>{1000, 500, 0}), r.byte_amts);
}

}  // namespace
