// long_piecewise_test.cpp - LONG and LONG RAW values handed over in pieces
// at execution time and fetched in pieces with OCI_DYNAMIC_FETCH, with the
// calls and buffers of the export and import programs.
//
// Behaviour checked here:
//  - a NULL LONG still makes the row fetch answer OCI_NEED_DATA; one piece
//    of 0 bytes follows with indicator -1, and the define's own indicator
//    is -1 too (an empty LONG is NULL);
//  - a value that ends exactly on a piece boundary ends with the piece
//    that completes it (OCI_SUCCESS), never with an extra empty piece.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lob_oci_util.h"

namespace {

using lobtest::FetchLong;
using lobtest::FetchLongRows;
using lobtest::InsertLong;
using lobtest::kPiece;
using lobtest::LongFetch;
using lobtest::LongInsert;
using lobtest::Oci;

class LongPiecewise : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("long.db");
    ASSERT_NO_FATAL_FAILURE(Oci::CreateDatabase(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Connect(path_));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE tl (id NUMBER, v LONG)"));
    ASSERT_NO_FATAL_FAILURE(c_.Run("CREATE TABLE tr (id NUMBER, v LONG RAW)"));
  }

  // The pieces a value of `n` bytes arrives in through `buffer`-byte buffers.
  static std::vector<ub4> ExpectedPieces(size_t n, ub4 buffer = kPiece) {
    std::vector<ub4> p;
    for (size_t done = 0; done < n; done += buffer)
      p.push_back(static_cast<ub4>(std::min<size_t>(buffer, n - done)));
    return p;
  }

  // Checks the bookkeeping of a fetched non-NULL value.
  static void CheckFetchedValue(const LongFetch& f, size_t n, OCIDefine* define) {
    EXPECT_EQ(OCI_NEED_DATA, f.row_rc);
    EXPECT_EQ(ExpectedPieces(n), f.pieces);
    ASSERT_EQ(f.pieces.size(), f.results.size());
    for (size_t k = 0; k < f.results.size(); ++k) {
      EXPECT_EQ(k + 1 < f.results.size() ? OCI_NEED_DATA : OCI_SUCCESS, f.results[k]) << "piece " << k;
      EXPECT_EQ(k == 0 ? OCI_FIRST_PIECE : OCI_NEXT_PIECE, f.codes[k]) << "piece " << k;
      EXPECT_EQ(static_cast<ub4>(OCI_HTYPE_DEFINE), f.types[k]);
      EXPECT_EQ(OCI_PARAM_OUT, f.in_outs[k]);
      EXPECT_EQ(static_cast<void*>(define), f.handles[k]);
      EXPECT_EQ(0, f.piece_inds[k]);
    }
    EXPECT_EQ(0, f.define_ind);
  }

  // Checks the fetch of a NULL LONG.
  static void CheckFetchedNull(const LongFetch& f) {
    EXPECT_EQ(OCI_NEED_DATA, f.row_rc);
    EXPECT_EQ(std::vector<ub4>{0}, f.pieces);
    EXPECT_EQ(std::vector<sword>{OCI_SUCCESS}, f.results);
    EXPECT_EQ(std::vector<sb2>{-1}, f.piece_inds);
    EXPECT_EQ(-1, f.define_ind);
  }

  testsupport::TempDir dir_;
  std::string path_;
  Oci c_;
};

struct LongKind {
  const char* table;
  ub2 dty;
  bool text;
};
const LongKind kKinds[] = {{"tl", SQLT_LNG, true}, {"tr", SQLT_LBI, false}};
const size_t kSizes[] = {0, 1, 32767, 32768, 32769, 65536, 10000000};

TEST_F(LongPiecewise, RoundTripsEverySizeInTheProgramsPieces) {
  for (const LongKind& k : kKinds) {
    int id = 0;
    for (size_t n : kSizes) {
      SCOPED_TRACE(std::string(k.table) + " " + std::to_string(n) + " bytes");
      ++id;
      std::string value = lobtest::Pattern(n, k.text);
      LongInsert in;
      OCIBind* bind = nullptr;
      ASSERT_TRUE(InsertLong(
          c_, "INSERT INTO " + std::string(k.table) + " (id, v) VALUES (" + std::to_string(id) + ", :1)",
          k.dty, lobtest::FromString(value), kPiece, false, &in, false, &bind));
      // The row's execution, one per piece with bytes, one for the empty last piece.
      size_t data_pieces = ExpectedPieces(n).size();
      ASSERT_EQ(data_pieces + 2, in.results.size());
      EXPECT_EQ(OCI_NEED_DATA, in.results.front());
      EXPECT_EQ(OCI_SUCCESS, in.results.back());
      for (size_t p = 0; p < in.codes.size(); ++p) {
        EXPECT_EQ(p == 0 ? OCI_FIRST_PIECE : OCI_NEXT_PIECE, in.codes[p]) << p;
        EXPECT_EQ(static_cast<ub4>(OCI_HTYPE_BIND), in.types[p]);
        EXPECT_EQ(OCI_PARAM_IN, in.in_outs[p]);
        EXPECT_EQ(static_cast<void*>(bind), in.handles[p]);
      }
      ASSERT_EQ(OCI_SUCCESS, c_.Commit()) << c_.Error();

      LongFetch f;
      std::string got;
      ASSERT_TRUE(FetchLong(c_,
                            "SELECT id, v FROM " + std::string(k.table) + " WHERE id = " + std::to_string(id),
                            k.dty, &f, lobtest::ToString(&got)));
      EXPECT_EQ(id, f.id) << "the ordinary column is in its buffer before the pieces";
      if (n == 0) {
        CheckFetchedNull(f);  // an empty LONG is stored as NULL
        continue;
      }
      CheckFetchedValue(f, n, f.define);
      EXPECT_EQ(n, got.size());
      EXPECT_TRUE(got == value) << "content differs";
    }
  }
}

TEST_F(LongPiecewise, NullLongFetchesAsOneEmptyPieceWithNullIndicators) {
  for (const LongKind& k : kKinds) {
    SCOPED_TRACE(k.table);
    std::string t = k.table;
    // NULL handed over at execution time (an empty last piece with
    // indicator -1, as the import sends it), and NULL in the SQL text.
    LongInsert in;
    ASSERT_TRUE(
        InsertLong(c_, "INSERT INTO " + t + " (id, v) VALUES (1, :1)", k.dty, nullptr, kPiece, true, &in));
    EXPECT_EQ((std::vector<sword>{OCI_NEED_DATA, OCI_SUCCESS}), in.results);
    EXPECT_EQ(std::vector<ub1>{OCI_FIRST_PIECE}, in.codes);
    ASSERT_NO_FATAL_FAILURE(c_.Run("INSERT INTO " + t + " (id, v) VALUES (2, NULL)"));
    EXPECT_EQ(2, c_.Number("SELECT COUNT(*) FROM " + t + " WHERE v IS NULL"));

    std::vector<LongFetch> rows;
    ASSERT_TRUE(FetchLongRows(c_, "SELECT id, v FROM " + t + " ORDER BY id", k.dty, &rows));
    ASSERT_EQ(2u, rows.size());
    for (const LongFetch& f : rows) CheckFetchedNull(f);
  }
}

TEST_F(LongPiecewise, ValueOnAPieceBoundaryEndsWithoutAnExtraEmptyPiece) {
  struct Case {
    size_t bytes;
    ub4 buffer;
  } cases[] = {{65536, kPiece}, {32768, kPiece}, {3000, 1000}, {1000, 1000}};
  int id = 0;
  for (const Case& cs : cases) {
    SCOPED_TRACE(std::to_string(cs.bytes) + " bytes in " + std::to_string(cs.buffer));
    ++id;
    LongInsert in;
    std::string value = lobtest::Pattern(cs.bytes, false);
    ASSERT_TRUE(InsertLong(c_, "INSERT INTO tr (id, v) VALUES (" + std::to_string(id) + ", :1)", SQLT_LBI,
                           lobtest::FromString(value), cs.buffer, false, &in));
    LongFetch f;
    std::string got;
    ASSERT_TRUE(FetchLong(c_, "SELECT id, v FROM tr WHERE id = " + std::to_string(id), SQLT_LBI, &f,
                          lobtest::ToString(&got), cs.buffer));
    EXPECT_EQ(ExpectedPieces(cs.bytes, cs.buffer), f.pieces);
    ASSERT_FALSE(f.results.empty());
    EXPECT_EQ(OCI_SUCCESS, f.results.back());
    EXPECT_NE(0u, f.pieces.back()) << "the completing piece carries bytes";
    EXPECT_TRUE(got == value);
  }
}

TEST_F(LongPiecewise, PiecesOfAnySizeAndEitherEndingMakeTheSameValue) {
  struct Case {
    size_t bytes;
    size_t piece;
    bool data_in_last;
  } cases[] = {
      {5000, 1, false}, {70000, 1000, false}, {70000, 1000, true},   {65536, 32768, true},
      {100, 100, true}, {100, 100, false},    {70000, 40000, false}, {1, 1, true},
  };
  int id = 0;
  for (const Case& cs : cases) {
    SCOPED_TRACE(std::to_string(cs.bytes) + " bytes, pieces of " + std::to_string(cs.piece) +
                 (cs.data_in_last ? ", bytes in the last piece" : ", empty last piece"));
    ++id;
    std::string value = lobtest::Pattern(cs.bytes, true);
    LongInsert in;
    ASSERT_TRUE(InsertLong(c_, "INSERT INTO tl (id, v) VALUES (" + std::to_string(id) + ", :1)", SQLT_LNG,
                           lobtest::FromString(value), cs.piece, false, &in, cs.data_in_last));
    size_t data_pieces = (cs.bytes + cs.piece - 1) / cs.piece;
    EXPECT_EQ(data_pieces + (cs.data_in_last ? 1 : 2), in.results.size());
    LongFetch f;
    std::string got;
    ASSERT_TRUE(FetchLong(c_, "SELECT id, v FROM tl WHERE id = " + std::to_string(id), SQLT_LNG, &f,
                          lobtest::ToString(&got)));
    EXPECT_EQ(ExpectedPieces(cs.bytes), f.pieces);
    EXPECT_TRUE(got == value);
  }
}

TEST_F(LongPiecewise, RowsFetchedOneByOneEachAskForTheirValue) {
  // The export's loop over a table: NULL between values, and a value
  // left to the database by a plain INSERT.
  std::vector<std::string> values = {lobtest::Pattern(40000, true), "", "short",
                                     lobtest::Pattern(32768, true)};
  for (size_t i = 0; i < values.size(); ++i) {
    if (i == 2) {
      ASSERT_NO_FATAL_FAILURE(c_.Run("INSERT INTO tl (id, v) VALUES (3, 'short')"));
      continue;
    }
    LongInsert in;
    ASSERT_TRUE(InsertLong(c_, "INSERT INTO tl (id, v) VALUES (" + std::to_string(i + 1) + ", :1)", SQLT_LNG,
                           lobtest::FromString(values[i]), kPiece, values[i].empty(), &in));
  }
  std::vector<std::string> got(values.size());
  std::vector<lobtest::Sink> sinks;
  for (std::string& g : got) sinks.push_back(lobtest::ToString(&g));
  std::vector<LongFetch> rows;
  ASSERT_TRUE(FetchLongRows(c_, "SELECT id, v FROM tl ORDER BY id", SQLT_LNG, &rows, sinks));
  ASSERT_EQ(values.size(), rows.size());
  for (size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(static_cast<long>(i + 1), rows[i].id);
    EXPECT_EQ(OCI_NEED_DATA, rows[i].row_rc);
    EXPECT_EQ(values[i].empty() ? -1 : 0, rows[i].define_ind);
    EXPECT_TRUE(got[i] == values[i]);
  }
}

TEST_F(LongPiecewise, TextIsConvertedAcrossPiecesThatSplitCharacters) {
  // "a" + two Chinese characters: 5 bytes in ZHS16GBK, 7 in AL32UTF8, so
  // 32768-byte pieces cut characters in both directions.
  const std::string gbk_unit = "a\xD6\xD0\xCE\xC4";
  const std::string utf8_unit = "a\xE4\xB8\xAD\xE6\x96\x87";
  std::string gbk, utf8;
  for (int i = 0; i < 20000; ++i) {
    gbk += gbk_unit;
    utf8 += utf8_unit;
  }
  Oci zh;
  ASSERT_NO_FATAL_FAILURE(zh.Connect(path_, "SIMPLIFIED CHINESE_CHINA.ZHS16GBK"));
  LongInsert in;
  ASSERT_TRUE(InsertLong(zh, "INSERT INTO tl (id, v) VALUES (1, :1)", SQLT_LNG, lobtest::FromString(gbk),
                         kPiece, false, &in));
  // LONG RAW bytes are never converted, whatever the client character set.
  std::string raw = lobtest::Pattern(70000, false);
  ASSERT_TRUE(InsertLong(zh, "INSERT INTO tr (id, v) VALUES (1, :1)", SQLT_LBI, lobtest::FromString(raw), 999,
                         false, &in));
  ASSERT_EQ(OCI_SUCCESS, zh.Commit()) << zh.Error();

  // Read back under the client character set of the insert...
  std::vector<std::string> pieces;
  LongFetch f;
  ASSERT_TRUE(FetchLong(zh, "SELECT id, v FROM tl", SQLT_LNG, &f,
                        [&](const char* p, size_t n) { pieces.emplace_back(p, n); }));
  std::string joined;
  for (const std::string& p : pieces) {
    EXPECT_TRUE(lobtest::WholeGbk(p)) << "a piece ends inside a character";
    joined += p;
  }
  EXPECT_TRUE(joined == gbk);
  // ...and under AL32UTF8, where the stored bytes are handed out as they
  // are but still cut only between characters.
  std::string got;
  pieces.clear();
  ASSERT_TRUE(FetchLong(c_, "SELECT id, v FROM tl", SQLT_LNG, &f,
                        [&](const char* p, size_t n) { pieces.emplace_back(p, n); }));
  for (const std::string& p : pieces) {
    ASSERT_FALSE(p.empty());
    EXPECT_NE(0x80, static_cast<unsigned char>(p[0]) & 0xC0) << "a piece starts inside a character";
    got += p;
  }
  EXPECT_GT(pieces.size(), 1u);
  EXPECT_EQ(utf8.size(), got.size());
  EXPECT_TRUE(got == utf8);
  ASSERT_TRUE(FetchLong(zh, "SELECT id, v FROM tr", SQLT_LBI, &f, lobtest::ToString(&got)));
  EXPECT_TRUE(got == raw);
}

TEST_F(LongPiecewise, AbandonedInsertLeavesNothingForTheNextValue) {
  // A piece that ends inside a double-byte character, then the statement
  // is dropped: the half character must not turn up in the next value.
  Oci zh;
  ASSERT_NO_FATAL_FAILURE(zh.Connect(path_, "SIMPLIFIED CHINESE_CHINA.ZHS16GBK"));
  OCIStmt* s = zh.Stmt();
  ASSERT_EQ(OCI_SUCCESS, zh.Prepare(s, "INSERT INTO tl (id, v) VALUES (1, :1)"));
  OCIBind* b = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(s, &b, zh.err, 1, nullptr, 0x7FFFFFFF, SQLT_LNG, nullptr, nullptr,
                                      nullptr, 0, nullptr, OCI_DATA_AT_EXEC));
  ASSERT_EQ(OCI_NEED_DATA, OCIStmtExecute(zh.svc, s, zh.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  ub4 alen = 3;
  sb2 ind = 0;
  ub2 rcode = 0;
  ASSERT_EQ(OCI_SUCCESS,
            OCIStmtSetPieceInfo(b, OCI_HTYPE_BIND, zh.err, "ab\xD6", &alen, OCI_FIRST_PIECE, &ind, &rcode));
  ASSERT_EQ(OCI_NEED_DATA, OCIStmtExecute(zh.svc, s, zh.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, zh.Prepare(s, "SELECT 1 FROM dual"));

  LongInsert in;
  ASSERT_TRUE(InsertLong(zh, "INSERT INTO tl (id, v) VALUES (2, :1)", SQLT_LNG,
                         lobtest::FromString("xyz\xCE\xC4"), kPiece, false, &in));
  ASSERT_EQ(OCI_SUCCESS, zh.Commit());
  LongFetch f;
  std::string got;
  ASSERT_TRUE(FetchLong(c_, "SELECT id, v FROM tl", SQLT_LNG, &f, lobtest::ToString(&got)));
  EXPECT_EQ("xyz\xE6\x96\x87", got);
}

TEST_F(LongPiecewise, MisusedPieceCallsFailWithoutHarm) {
  ASSERT_NO_FATAL_FAILURE(c_.Run("INSERT INTO tl (id, v) VALUES (1, 'abc')"));
  OCIStmt* s = c_.Stmt();
  ASSERT_EQ(OCI_SUCCESS, c_.Prepare(s, "SELECT id, v FROM tl"));
  long id = 0;
  OCIDefine *d1 = nullptr, *d2 = nullptr;
  ASSERT_EQ(OCI_SUCCESS, OCIDefineByPos(s, &d1, c_.err, 1, &id, sizeof id, SQLT_INT, nullptr, nullptr,
                                        nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIDefineByPos(s, &d2, c_.err, 2, nullptr, 0x7FFFFFFF, SQLT_LNG, nullptr, nullptr,
                                        nullptr, OCI_DYNAMIC_FETCH));
  void* h = nullptr;
  ub4 type = 0, iter = 0, idx = 0;
  ub1 io = 0, code = 0;
  // No piece is pending before the row fetch.
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c_.svc, s, c_.err, 0, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_ERROR, OCIStmtGetPieceInfo(s, c_.err, &h, &type, &io, &iter, &idx, &code));
  ASSERT_EQ(OCI_NEED_DATA, OCIStmtFetch(s, c_.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  char buf[64];
  ub4 alen = sizeof buf;
  sb2 ind = 0;
  ub2 rcode = 0;
  // A piece fetch before any buffer was given.
  EXPECT_EQ(OCI_ERROR, OCIStmtFetch(s, c_.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  // Wrong handles for the buffer.
  EXPECT_EQ(OCI_INVALID_HANDLE, OCIStmtSetPieceInfo(nullptr, OCI_HTYPE_DEFINE, c_.err, buf, &alen,
                                                    OCI_FIRST_PIECE, &ind, &rcode));
  EXPECT_EQ(OCI_INVALID_HANDLE,
            OCIStmtSetPieceInfo(s, OCI_HTYPE_DEFINE, c_.err, buf, &alen, OCI_FIRST_PIECE, &ind, &rcode));
  EXPECT_EQ(OCI_INVALID_HANDLE,
            OCIStmtSetPieceInfo(d2, OCI_HTYPE_BIND, c_.err, buf, &alen, OCI_FIRST_PIECE, &ind, &rcode));
  EXPECT_EQ(OCI_INVALID_HANDLE,
            OCIStmtSetPieceInfo(d2, OCI_HTYPE_STMT, c_.err, buf, &alen, OCI_FIRST_PIECE, &ind, &rcode));
  EXPECT_EQ(OCI_INVALID_HANDLE,
            OCIStmtGetPieceInfo(reinterpret_cast<OCIStmt*>(d2), c_.err, &h, &type, &io, &iter, &idx, &code));
  // The define of another column is not the one waiting for data.
  EXPECT_EQ(OCI_ERROR,
            OCIStmtSetPieceInfo(d1, OCI_HTYPE_DEFINE, c_.err, buf, &alen, OCI_FIRST_PIECE, &ind, &rcode));
  // Room without a buffer, or no length at all: the bytes would be lost.
  EXPECT_EQ(OCI_ERROR,
            OCIStmtSetPieceInfo(d2, OCI_HTYPE_DEFINE, c_.err, nullptr, &alen, OCI_FIRST_PIECE, &ind, &rcode));
  EXPECT_EQ(OCI_ERROR,
            OCIStmtSetPieceInfo(d2, OCI_HTYPE_DEFINE, c_.err, buf, nullptr, OCI_FIRST_PIECE, &ind, &rcode));
  // After all that the value still arrives whole.
  ASSERT_EQ(OCI_SUCCESS, OCIStmtGetPieceInfo(s, c_.err, &h, &type, &io, &iter, &idx, &code));
  EXPECT_EQ(static_cast<void*>(d2), h);
  EXPECT_EQ(OCI_FIRST_PIECE, code);
  ASSERT_EQ(OCI_SUCCESS, OCIStmtSetPieceInfo(h, type, c_.err, buf, &alen, code, &ind, &rcode));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtFetch(s, c_.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));
  EXPECT_EQ("abc", std::string(buf, alen));
  EXPECT_EQ(OCI_NO_DATA, OCIStmtFetch(s, c_.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT));

  // Data at execution: a piece for a bind that is not waiting, and an
  // execution before the piece was given.
  OCIStmt* ins = c_.Stmt();
  ASSERT_EQ(OCI_SUCCESS, c_.Prepare(ins, "INSERT INTO tl (id, v) VALUES (:1, :2)"));
  OCIBind *b1 = nullptr, *b2 = nullptr;
  long two = 2;
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(ins, &b1, c_.err, 1, &two, sizeof two, SQLT_INT, nullptr, nullptr,
                                      nullptr, 0, nullptr, OCI_DEFAULT));
  ASSERT_EQ(OCI_SUCCESS, OCIBindByPos(ins, &b2, c_.err, 2, nullptr, 0x7FFFFFFF, SQLT_LNG, nullptr, nullptr,
                                      nullptr, 0, nullptr, OCI_DATA_AT_EXEC));
  ASSERT_EQ(OCI_NEED_DATA, OCIStmtExecute(c_.svc, ins, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  EXPECT_EQ(OCI_ERROR, OCIStmtExecute(c_.svc, ins, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT));
  alen = 3;
  EXPECT_EQ(OCI_ERROR,
            OCIStmtSetPieceInfo(b1, OCI_HTYPE_BIND, c_.err, "xyz", &alen, OCI_LAST_PIECE, &ind, &rcode));
  EXPECT_EQ(OCI_ERROR,
            OCIStmtSetPieceInfo(b2, OCI_HTYPE_BIND, c_.err, nullptr, &alen, OCI_LAST_PIECE, &ind, &rcode));
  EXPECT_EQ(OCI_ERROR, OCIStmtSetPieceInfo(b2, OCI_HTYPE_BIND, c_.err, "xyz", &alen, 7, &ind, &rcode));
  ASSERT_EQ(OCI_SUCCESS,
            OCIStmtSetPieceInfo(b2, OCI_HTYPE_BIND, c_.err, "xyz", &alen, OCI_LAST_PIECE, &ind, &rcode));
  ASSERT_EQ(OCI_SUCCESS, OCIStmtExecute(c_.svc, ins, c_.err, 1, 0, nullptr, nullptr, OCI_DEFAULT))
      << c_.Error();
  LongFetch f;
  std::string got;
  ASSERT_TRUE(FetchLong(c_, "SELECT id, v FROM tl WHERE id = 2", SQLT_LNG, &f, lobtest::ToString(&got)));
  EXPECT_EQ("xyz", got);
}

}  // namespace
