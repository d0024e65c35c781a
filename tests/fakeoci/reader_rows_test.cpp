// reader_rows_test.cpp - the reader's pass over a section's rows, the one
// tabimp binds from: each slot as its kind with its bytes, the pieces of
// the LONG and LOB streams with the last one marked, refused rows' streams
// stepped over, and every damaged row or stream a fault with its code and
// offset, the same one the checking walk finds.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump_builder.h"
#include "dump_reader.h"

namespace {

using namespace dumpbuild;

// The data area of a one-table dump starts after the header block and one
// directory block.
constexpr uint64_t kSection = 1024 + 512;

uint64_t RowsAt(const Table& t) { return kSection + 2 + t.ddl.size() + 40 * t.cols.size(); }

struct File {
  explicit File(const std::string& bytes) {
    char tmpl[] = "/tmp/reader_rows.XXXXXX";
    fd = mkstemp(tmpl);
    path = tmpl;
    std::ofstream(path, std::ios::binary) << bytes;
  }
  ~File() {
    close(fd);
    unlink(path.c_str());
  }
  int fd;
  std::string path;
};

// A slot as the test reads it: its kind and, for a value, its bytes.
struct Got {
  uint32_t kind;
  std::string bytes;
  bool operator==(const Got& o) const { return kind == o.kind && bytes == o.bytes; }
};

// What one pass over a section delivered: per row its slots and then its
// streams (each a list of pieces, with the last flags), the statements,
// and the fault that ended it.
struct Pass {
  std::vector<std::vector<Got>> rows;
  std::vector<std::vector<std::string>> streams;
  std::vector<std::vector<int>> lasts;
  std::vector<std::string> statements;
  uint64_t stream_bytes = 0;
  int rc = 0;
  int code = 0;
  uint64_t ofs = 0;
  std::string reason;
};

int Collect(void* ctx, const char* text, uint32_t len) {
  static_cast<std::vector<std::string>*>(ctx)->emplace_back(text, len);
  return 0;
}

// Reads table i of the open reader whole; with read_streams false the
// streams are left for dump_row_next to step over.
Pass Iterate(DUMP_READER* r, uint32_t i, bool read_streams = true) {
  Pass p;
  DUMP_ROWS rs;
  DUMP_FRONT front;
  std::vector<DUMP_VALUE> vals(DUMP_MAX_COLUMNS);
  auto fault = [&p, r]() {
    p.rc = -1;
    p.code = r->fault.code;
    p.ofs = r->fault.ofs;
    p.reason = r->fault.reason;
    return p;
  };
  if (dump_rows_begin(r, i, &rs, &front) != 0) return fault();
  int rc;
  while ((rc = dump_row_next(&rs, vals.data())) > 0) {
    p.rows.emplace_back();
    for (uint32_t j = 0; j < rs.ncol; j++)
      p.rows.back().push_back({vals[j].kind, vals[j].kind == DUMP_VAL_VALUE
                                                 ? std::string(reinterpret_cast<const char*>(vals[j].p), vals[j].len)
                                                 : std::string()});
    if (!read_streams) continue;
    int b;
    while ((b = dump_stream_begin(&rs)) > 0 || (b == 0 && (rs.long_left || rs.lobs_left))) {
      if (b == 0) continue;  // a NULL LONG without a stream
      p.streams.emplace_back();
      p.lasts.emplace_back();
      DUMP_PIECE pc;
      int n;
      while ((n = dump_stream_next(&rs, &pc)) > 0) {
        p.streams.back().emplace_back(reinterpret_cast<const char*>(pc.p), pc.len);
        p.lasts.back().push_back(pc.last);
      }
      if (n < 0) return fault();
    }
    if (b < 0) return fault();
  }
  if (rc < 0) return fault();
  p.stream_bytes = rs.stream_bytes;
  DUMP_VISIT v = {nullptr, nullptr, Collect, nullptr};
  if (dump_rows_statements(&rs, &v, &p.statements) != 0) return fault();
  return p;
}

// Opens bytes and runs the checking walk over table 0, then the pass.
struct Both {
  DUMP_SECTION walked{};
  int walk_rc = 0, walk_code = 0;
  uint64_t walk_ofs = 0;
  std::string walk_reason;
  Pass pass;
};

Both ReadBoth(const std::string& bytes, bool read_streams = true) {
  File f(bytes);
  Both b;
  DUMP_READER r;
  EXPECT_EQ(dump_open(&r, f.fd), 0) << r.fault.reason;
  b.walk_rc = dump_walk_section(&r, 0, nullptr, nullptr, &b.walked);
  b.walk_code = r.fault.code;
  b.walk_ofs = r.fault.ofs;
  b.walk_reason = r.fault.reason;
  b.pass = Iterate(&r, 0, read_streams);
  dump_close(&r);
  return b;
}

std::string OneTable(const Table& t, bool extension = false) {
  Dump d;
  d.extension = extension;
  d.tables.push_back(t);
  return d.Build();
}

// ---- well-formed rows ------------------------------------------------------

TEST(ReaderRows, SlotsComeAsTheirKindsUpToTheirColumnsLimits) {
  // NVARCHAR2(10) counts two bytes a character: its slot takes 15 bytes
  Table t("T", {{5, 22, "ID"}, {3, 20, "NAME"}, {4, 10, "NNAME"}, {12, 4, "R"}});
  t.Row({Val(Number(1)), Val(std::string(20, 'n')), Val(std::string(15, 'u')), Val("\x01\x02\x03\x04")});
  t.Row({Null(), Null(), Null(), Null()});
  t.Row({Val(Number(3)), Val(""), Val("x"), Null()});
  t.index_sql = {"create index I on T (ID)", std::string(65000, ' ') + "x"};
  for (bool ext : {false, true}) {
    Both b = ReadBoth(OneTable(t, ext));
    ASSERT_EQ(b.pass.rc, 0) << b.pass.reason;
    ASSERT_EQ(b.walk_rc, 0) << b.walk_reason;
    using V = std::vector<Got>;
    ASSERT_EQ(b.pass.rows.size(), 3u);
    EXPECT_EQ(b.pass.rows[0], (V{{DUMP_VAL_VALUE, Number(1)},
                                 {DUMP_VAL_VALUE, std::string(20, 'n')},
                                 {DUMP_VAL_VALUE, std::string(15, 'u')},
                                 {DUMP_VAL_VALUE, "\x01\x02\x03\x04"}}));
    EXPECT_EQ(b.pass.rows[1], (V(4, {DUMP_VAL_NULL, ""})));
    EXPECT_EQ(b.pass.rows[2][1], (Got{DUMP_VAL_VALUE, ""}));  // empty, not NULL
    EXPECT_EQ(b.pass.rows[2][3], (Got{DUMP_VAL_NULL, ""}));
    EXPECT_EQ(b.pass.statements, t.index_sql);
    EXPECT_EQ(b.walked.rows, 3u);
  }
}

// ID, DOC CLOB, PIC BLOB, NOTE LONG: slots in select order ID, DOC, PIC, NOTE
Table Docs() { return Table("D", {{5, 22, "ID"}, {15, 4000, "DOC"}, {13, 0, "NOTE"}, {17, 4000, "PIC"}}); }

TEST(ReaderRows, StreamsComePieceByPieceWithTheLastMarked) {
  Table t = Docs();
  std::string big(32768 * 2 + 100, 'b');
  t.Row({Val(Number(1)), LobMark(), LobMark(), LongMark()})
      .StreamOf(big)                     // LONG: two full pieces and a short one
      .Stream({std::string(32768, 'c')}) // one piece of the largest size
      .Stream({});                       // an empty BLOB
  t.Row({Val(Number(2)), Null(), Null(), Null()});             // NULL LONG without a stream
  t.Row({Val(Number(3)), Null(), LobMark(), Null()}).Stream({}).Stream({"p", "q"}, true);  // with one
  t.Row({Val(Number(4)), Null(), Null(), Null()});
  for (bool ext : {false, true}) {
    Both b = ReadBoth(OneTable(t, ext));
    ASSERT_EQ(b.pass.rc, 0) << b.pass.reason;
    ASSERT_EQ(b.walk_rc, 0) << b.walk_reason;
    ASSERT_EQ(b.pass.rows.size(), 4u);
    EXPECT_EQ(b.pass.rows[0][3].kind, static_cast<uint32_t>(DUMP_VAL_LONG));
    EXPECT_EQ(b.pass.rows[0][1].kind, static_cast<uint32_t>(DUMP_VAL_LOB));
    EXPECT_EQ(b.pass.rows[1][3].kind, static_cast<uint32_t>(DUMP_VAL_NULL));
    // LONG first, then the LOBs in slot order; the NULL LONG's empty
    // stream of row 3 comes before its BLOB's
    using S = std::vector<std::string>;
    ASSERT_EQ(b.pass.streams.size(), 5u);
    EXPECT_EQ(b.pass.streams[0], (S{big.substr(0, 32768), big.substr(32768, 32768), big.substr(65536)}));
    EXPECT_EQ(b.pass.lasts[0], (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(b.pass.streams[1], (S{std::string(32768, 'c')}));
    EXPECT_EQ(b.pass.lasts[1], (std::vector<int>{1}));
    EXPECT_TRUE(b.pass.streams[2].empty());
    EXPECT_TRUE(b.pass.streams[3].empty());
    // a writer's empty last piece is the end word: "q" is the last piece
    EXPECT_EQ(b.pass.streams[4], (S{"p", "q"}));
    EXPECT_EQ(b.pass.lasts[4], (std::vector<int>{0, 1}));
    EXPECT_EQ(b.pass.stream_bytes, big.size() + 32768 + 2);
    EXPECT_EQ(b.walked.stream_bytes, b.pass.stream_bytes);
    EXPECT_EQ(b.pass.rows[3][0].bytes, Number(4));  // the row after the streams starts where it should
  }
}

TEST(ReaderRows, StreamsNotReadAreSteppedOverToTheNextRow) {
  // a refused row: the importer reads none of its streams, or gives up
  // in the middle of one
  Table t = Docs();
  t.Row({Val(Number(1)), LobMark(), LobMark(), LongMark()}).StreamOf(std::string(40000, 'l')).Stream({"a"}).Stream({"b"}, true);
  t.Row({Val(Number(2)), Null(), LobMark(), Null()}).Stream({"n"}).Stream({"c", "d"});
  t.Row({Val(Number(3)), Null(), Null(), Null()});
  Both b = ReadBoth(OneTable(t, true), false);
  ASSERT_EQ(b.pass.rc, 0) << b.pass.reason;
  ASSERT_EQ(b.pass.rows.size(), 3u);
  EXPECT_EQ(b.pass.rows[1][0].bytes, Number(2));
  EXPECT_EQ(b.pass.rows[2][0].bytes, Number(3));

  File f(OneTable(t, true));
  DUMP_READER r;
  ASSERT_EQ(dump_open(&r, f.fd), 0);
  DUMP_ROWS rs;
  DUMP_FRONT front;
  DUMP_VALUE vals[4];
  DUMP_PIECE pc;
  ASSERT_EQ(dump_rows_begin(&r, 0, &rs, &front), 0);
  EXPECT_EQ(std::string(front.ddl, front.ddl_len), t.ddl);
  ASSERT_EQ(dump_row_next(&rs, vals), 1);
  ASSERT_EQ(dump_stream_begin(&rs), 1);
  ASSERT_EQ(dump_stream_next(&rs, &pc), 1);  // half of the LONG read, then the row given up
  EXPECT_EQ(dump_streams_skip(&rs), 0);
  EXPECT_EQ(dump_stream_begin(&rs), 0);      // nothing left of that row
  ASSERT_EQ(dump_row_next(&rs, vals), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(vals[0].p), vals[0].len), Number(2));
  dump_close(&r);
}

// ---- damaged rows and streams ------------------------------------------------

TEST(ReaderRows, DamagedRowsNameTheirFaultAndOffsetAsTheWalkDoes) {
  struct Case {
    const char* what;
    Table table;
    bool ext;
    int code;
    uint64_t ofs;  // from the rows' start
    const char* reason;
  };
  const std::vector<Column> emp = {{5, 22, "ID"}, {3, 20, "NAME"}};
  Table too_long("T", emp);
  too_long.Row({Val(Number(1)), Val("ok")}).Row({Val(Number(2)), Val(std::string(21, 'x'))});
  const uint64_t row1 = 2 + Number(1).size() + 2 + 2 + 2;
  Table no_end("T", emp);
  no_end.Raw(std::string("\x00\x02\xC1\x02\xFF\xFE\x00\x07", 8));
  Table cut("T", emp);
  cut.Raw(std::string("\x00\x02\xC1\x02\x00\x05" "ab", 8));
  cut.rows_end = cut.list_end = false;
  Table lob_in_long = Docs();
  lob_in_long.Row({Val(Number(1)), Null(), Null(), LobMark()});
  Table long_piece = Docs();
  long_piece.Row({Val(Number(1)), LobMark(), Null(), Null()}).Raw(std::string("\xFF\xFD\x80\x01", 4) + std::string(32769, 'x'));
  Table no_stream = Docs();
  no_stream.Row({Val(Number(1)), LobMark(), Null(), Null()}).Row({Val(Number(2)), Null(), Null(), Null()});
  const uint64_t docs_row = 2 + Number(1).size() + 2 + 2 + 2 + 2;

  const std::vector<Case> cases = {
      {"value longer than its column", too_long, true, DUMP_E_DAMAGED, row1 + 2 + Number(2).size(),
       "value longer than its column"},
      {"row end missing", no_end, false, DUMP_E_DAMAGED, 6, "end of row expected"},
      {"file ends inside a value", cut, false, DUMP_E_SHORT, 6, "file ends inside a value"},
      {"section ends inside a value", cut, true, DUMP_E_DAMAGED, 6, "a value runs past the end of the section"},
      {"LOB mark in the LONG slot", lob_in_long, false, DUMP_E_DAMAGED, docs_row - 4, "LONG slot expected"},
      {"piece of 32769 bytes", long_piece, true, DUMP_E_DAMAGED, docs_row + 2, "stream piece too long"},
      {"LOB stream missing", no_stream, false, DUMP_E_DAMAGED, docs_row, "stream start expected"},
  };
  for (const Case& c : cases) {
    Both b = ReadBoth(OneTable(c.table, c.ext));
    const uint64_t at = RowsAt(c.table) + c.ofs;
    EXPECT_EQ(b.pass.rc, -1) << c.what;
    EXPECT_EQ(b.pass.code, c.code) << c.what;
    EXPECT_EQ(b.pass.ofs, at) << c.what;
    EXPECT_EQ(b.pass.reason, c.reason) << c.what;
    // the checking walk reads the rows with the same rules
    EXPECT_EQ(b.walk_rc, -1) << c.what;
    EXPECT_EQ(b.walk_code, c.code) << c.what;
    EXPECT_EQ(b.walk_ofs, at) << c.what;
    EXPECT_EQ(b.walk_reason, c.reason) << c.what;
  }
}

// ---- the dumps of every format generation --------------------------------------

TEST(ReaderRows, FixturesOfEveryFormatReadAlikeInBothPasses) {
  for (const char* name : {"base_format", "ext_format1", "ext_format2", "ext_format3"}) {
    std::string path = std::string(FIXTURE_DIR) + "/" + name + ".dump";
    int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << path;
    DUMP_READER r;
    ASSERT_EQ(dump_open(&r, fd), 0) << name << ": " << r.fault.reason;
    ASSERT_EQ(dump_check_directory(&r), 0) << name << ": " << r.fault.reason;
    uint64_t rows = 0;
    for (uint32_t i = 0; i < dump_table_count(&r); i++) {
      DUMP_SECTION s;
      std::vector<std::string> walked;
      DUMP_VISIT v = {nullptr, nullptr, Collect, nullptr};
      ASSERT_EQ(dump_walk_section(&r, i, &v, &walked, &s), 0) << name << ": " << r.fault.reason;
      Pass p = Iterate(&r, i);
      ASSERT_EQ(p.rc, 0) << name << " table " << i << ": " << p.reason;
      EXPECT_EQ(p.rows.size(), s.rows) << name << " table " << i;
      EXPECT_EQ(p.stream_bytes, s.stream_bytes) << name << " table " << i;
      EXPECT_EQ(p.statements, walked) << name << " table " << i;
      rows += s.rows;
    }
    EXPECT_GT(rows, 0u) << name;
    dump_close(&r);
    close(fd);
  }
}

}  // namespace
