// scale_test.cpp - large data through both programs, run on request only
// (TABDB_SCALE_TESTS=1; they take minutes and tens of GB of disk): ten
// million rows, BLOBs of 1 GiB, a dump larger than 4 GiB whose sections lie
// past 32-bit offsets. Each case writes a dump, imports it, exports the
// schema again and compares the row data byte for byte; both programs must
// stay under 64 MB of resident memory.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "rel_fixture.h"
#include "util.h"

namespace reltest {
namespace {

constexpr long kMemoryLimitKb = 64 * 1024;
constexpr uint64_t kGiB = 1ull << 30;

bool ScaleRequested() {
  const char* v = getenv("TABDB_SCALE_TESTS");
  return v && std::strcmp(v, "1") == 0;
}

// Writes a dump file front to back without holding it in memory. Each
// table is given with its DDL, its columns and a function that appends its
// row records (and streams) through Put.
class DumpWriter {
 public:
  struct Column {
    uint32_t ctype, clen;
    std::string name;
  };
  struct Table {
    std::string name, ddl;
    std::vector<Column> columns;
    uint32_t flag = 0, nlob = 0, nrows = 0;
    std::function<void(DumpWriter&)> rows;
    uint64_t offset = 0, rows_begin = 0, rows_end = 0;  // filled by Write
  };

  bool Write(const std::string& path, const std::string& owner, std::vector<Table>& tables) {
    f_ = std::fopen(path.c_str(), "wb");
    if (!f_) return false;
    std::setvbuf(f_, nullptr, _IOFBF, 1 << 20);
    std::string head(1024 + dir_area_size(tables.size()), '\0');
    std::memcpy(&head[0], "Tabdump", 7);
    std::memcpy(&head[32], owner.data(), owner.size());
    std::string nls = "AMERICAN_AMERICA.AL32UTF8";
    std::memcpy(&head[64], nls.data(), nls.size());
    put_be64(reinterpret_cast<uint8_t*>(&head[192]), 1024);
    put_be32(reinterpret_cast<uint8_t*>(&head[200]), static_cast<uint32_t>(tables.size()));
    Put(head);
    for (Table& t : tables) {
      t.offset = pos_;
      Word(static_cast<uint16_t>(t.ddl.size()));
      Put(t.ddl);
      for (const Column& c : t.columns) {
        std::string rec(40, '\0');
        put_be32(reinterpret_cast<uint8_t*>(&rec[0]), c.ctype);
        put_be32(reinterpret_cast<uint8_t*>(&rec[4]), c.clen);
        std::memcpy(&rec[8], c.name.data(), c.name.size());
        Put(rec);
      }
      t.rows_begin = pos_;
      t.rows(*this);
      Word(MARK_ROWS_END);
      t.rows_end = pos_;
      Word(MARK_END);
    }
    for (size_t i = 0; i < tables.size(); i++) {
      uint8_t* e = reinterpret_cast<uint8_t*>(&head[1024 + 56 * i]);
      put_be32(e, tables[i].flag);
      put_be32(e + 4, static_cast<uint32_t>(tables[i].columns.size()));
      put_be32(e + 8, tables[i].nlob);
      put_be32(e + 12, tables[i].nrows);
      put_be64(e + 16, tables[i].offset);
      std::memcpy(e + 24, tables[i].name.data(), tables[i].name.size());
    }
    bool ok = std::fseek(f_, 1024, SEEK_SET) == 0 &&
              std::fwrite(head.data() + 1024, 56 * tables.size(), 1, f_) == 1;
    ok = std::fclose(f_) == 0 && ok && !failed_;
    f_ = nullptr;
    return ok;
  }

  void Put(const void* p, size_t n) {
    if (n && std::fwrite(p, n, 1, f_) != 1) failed_ = true;
    pos_ += n;
  }
  void Put(const std::string& s) { Put(s.data(), s.size()); }
  void Word(uint16_t w) {
    uint8_t b[2];
    put_be16(b, w);
    Put(b, 2);
  }
  void Value(const std::string& v) {
    Word(static_cast<uint16_t>(v.size()));
    Put(v);
  }

 private:
  FILE* f_ = nullptr;
  uint64_t pos_ = 0;
  bool failed_ = false;
};

// Where table `i`'s row records begin in a dump written by tabexp, read
// from its directory entry and section front.
bool RowsBegin(const std::string& path, uint32_t i, uint64_t* offset, uint64_t* rows_begin) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  uint8_t e[56], w[2];
  bool ok = pread(fd, e, 56, 1024 + 56 * i) == 56;
  if (ok) {
    *offset = get_be64(e + 16);
    ok = pread(fd, w, 2, static_cast<off_t>(*offset)) == 2;
  }
  if (ok) *rows_begin = *offset + 2 + get_be16(w) + 40ull * get_be32(e + 4);
  close(fd);
  return ok;
}

// Whether `len` bytes of a at offset oa equal those of b at offset ob.
bool SameBytes(const std::string& a, uint64_t oa, const std::string& b, uint64_t ob, uint64_t len) {
  int fa = open(a.c_str(), O_RDONLY), fb = open(b.c_str(), O_RDONLY);
  std::vector<char> ba(1 << 20), bb(1 << 20);
  bool same = fa >= 0 && fb >= 0;
  for (uint64_t done = 0; same && done < len;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(ba.size(), len - done));
    same = pread(fa, ba.data(), n, static_cast<off_t>(oa + done)) == static_cast<ssize_t>(n) &&
           pread(fb, bb.data(), n, static_cast<off_t>(ob + done)) == static_cast<ssize_t>(n) &&
           std::memcmp(ba.data(), bb.data(), n) == 0;
    done += n;
  }
  if (fa >= 0) close(fa);
  if (fb >= 0) close(fb);
  return same;
}

class Scale : public RelTest {
 protected:
  void SetUp() override {
    if (!ScaleRequested()) GTEST_SKIP() << "set TABDB_SCALE_TESTS=1 to run the scale tests";
    RelTest::SetUp();
  }

  // Imports `file` into APP and exports APP again into `again`, both
  // measured; reports the figures and checks the memory limit.
  void RoundTrip(const std::string& file, const std::string& again, const std::string& label) {
    Measured imp = RunMeasured({TABIMP_PATH, "app/app@" + db_, "FILE=" + file}, {}, dir_.path());
    ASSERT_EQ(0, imp.result.status) << imp.result.err;
    Measured exp = RunMeasured({TABEXP_PATH, "app/app@" + db_, "FILE=" + again, "OWNER=APP"}, {kNls},
                               dir_.path());
    ASSERT_EQ(0, exp.result.status) << exp.result.err;
    std::printf("[scale] %s: dump %.1f MB; tabimp %.1f s, peak %ld KB; tabexp %.1f s, peak %ld KB\n",
                label.c_str(), static_cast<double>(FileSize(file)) / 1e6, imp.seconds, imp.max_rss_kb,
                exp.seconds, exp.max_rss_kb);
    EXPECT_LT(imp.max_rss_kb, kMemoryLimitKb) << "tabimp";
    EXPECT_LT(exp.max_rss_kb, kMemoryLimitKb) << "tabexp";
  }

  static uint64_t FileSize(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::fseek(f, 0, SEEK_END);
    long n = std::ftell(f);
    std::fclose(f);
    return static_cast<uint64_t>(n);
  }
};

TEST_F(Scale, TenMillionRows) {
  constexpr uint32_t kRows = 10000000;
  std::vector<DumpWriter::Table> tables(1);
  DumpWriter::Table& t = tables[0];
  t.name = "MANY";
  t.ddl = "CREATE TABLE \"MANY\" (\"ID\" VARCHAR2(10), \"NAME\" VARCHAR2(20))";
  t.columns = {{CTYPE_VARCHAR2, 10, "ID"}, {CTYPE_VARCHAR2, 20, "NAME"}};
  t.nrows = kRows;
  t.rows = [](DumpWriter& w) {
    for (uint32_t i = 0; i < kRows; i++) {
      std::string id = std::to_string(i);
      w.Value(id);
      if (i % 10 == 3)
        w.Word(MARK_NULL);
      else
        w.Value("name " + id);
      w.Word(MARK_END);
    }
  };
  std::string file = dir_.file("many.dmp"), again = dir_.file("many2.dmp");
  DumpWriter writer;
  ASSERT_TRUE(writer.Write(file, "APP", tables));
  ASSERT_NO_FATAL_FAILURE(RoundTrip(file, again, "10 million rows"));
  uint64_t offset = 0, rows_begin = 0;
  ASSERT_TRUE(RowsBegin(again, 0, &offset, &rows_begin));
  EXPECT_TRUE(SameBytes(file, t.rows_begin, again, rows_begin, t.rows_end + 2 - t.rows_begin));
}

// Four BLOBs of 1 GiB each, then a small table whose section starts past
// 4 GiB: both come back whole.
TEST_F(Scale, GiBBlobsAndSectionsPastFourGiB) {
  constexpr int kBlobs = 4;
  std::vector<DumpWriter::Table> tables(2);
  DumpWriter::Table& blobs = tables[0];
  blobs.name = "BLOBS";
  blobs.ddl = "CREATE TABLE \"BLOBS\" (\"ID\" VARCHAR2(10), \"B\" BLOB)";
  blobs.columns = {{CTYPE_VARCHAR2, 10, "ID"}, {CTYPE_BLOB, 4000, "B"}};
  blobs.flag = TAB_HAS_LOB;
  blobs.nlob = 1;
  blobs.nrows = kBlobs;
  blobs.rows = [](DumpWriter& w) {
    std::string piece(DUMP_PIECE_SIZE, '\0');
    for (int r = 0; r < kBlobs; r++) {
      w.Value(std::to_string(r));
      w.Word(MARK_LOB);
      w.Word(MARK_END);
      w.Word(MARK_STREAM);
      uint32_t x = 2463534242u + static_cast<uint32_t>(r);
      for (uint64_t done = 0; done < kGiB; done += DUMP_PIECE_SIZE) {
        for (size_t i = 0; i < piece.size(); i += 4) {  // xorshift bytes
          x ^= x << 13;
          x ^= x >> 17;
          x ^= x << 5;
          std::memcpy(&piece[i], &x, 4);
        }
        w.Word(DUMP_PIECE_SIZE);
        w.Put(piece);
      }
      w.Word(MARK_END);
    }
  };
  DumpWriter::Table& tail = tables[1];
  tail.name = "TAIL";
  tail.ddl = "CREATE TABLE \"TAIL\" (\"N\" VARCHAR2(10))";
  tail.columns = {{CTYPE_VARCHAR2, 10, "N"}};
  tail.nrows = 3;
  tail.rows = [](DumpWriter& w) {
    for (const char* v : {"after", "four", "GiB"}) {
      w.Value(v);
      w.Word(MARK_END);
    }
  };
  std::string file = dir_.file("blobs.dmp"), again = dir_.file("blobs2.dmp");
  DumpWriter writer;
  ASSERT_TRUE(writer.Write(file, "APP", tables));
  ASSERT_GT(tail.offset, 1ull << 32);
  ASSERT_NO_FATAL_FAILURE(RoundTrip(file, again, "four 1 GiB BLOBs"));
  EXPECT_EQ(3, Count("app.tail"));

  for (uint32_t i = 0; i < 2; i++) {
    uint64_t offset = 0, rows_begin = 0;
    ASSERT_TRUE(RowsBegin(again, i, &offset, &rows_begin));
    if (i == 1) {
      EXPECT_GT(offset, 1ull << 32) << "the second section lies past 4 GiB";
    }
    EXPECT_TRUE(SameBytes(file, tables[i].rows_begin, again, rows_begin,
                          tables[i].rows_end + 2 - tables[i].rows_begin))
        << tables[i].name;
  }
}

}  // namespace
}  // namespace reltest
