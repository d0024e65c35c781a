// resource_bounds_test.cpp - the bounds on what one statement can make the
// database spend: regular expressions in memory and in matching work
// (ORA-12722, ORA-02393), interval partitions added at a cost that does not
// grow with their number and refused past Oracle's maximum (ORA-14300,
// ORA-14299).
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "catalog_test_util.h"
#include "exec/engine.h"
#include "oci_fixture.h"

namespace ocitest {
namespace {

// A field of /proc/self/status in kB (VmHWM, VmRSS).
long StatusKb(const std::string& field) {
  std::ifstream f("/proc/self/status");
  for (std::string line; std::getline(f, line);)
    if (line.compare(0, field.size() + 1, field + ":") == 0) return std::atol(line.c_str() + field.size() + 1);
  return -1;
}

class ResourceBoundsTest : public OciTest {
 protected:
  // Inserts (id, text) into big through a LONG bind of the whole text.
  void Insert(int id, const std::string& text) {
    Stmt s(app_);
    ASSERT_EQ(s.Prepare("INSERT INTO big VALUES (" + std::to_string(id) + ", :1)"), OCI_SUCCESS);
    ASSERT_EQ(s.Bind(1, const_cast<char*>(text.data()), static_cast<sb4>(text.size()), SQLT_LNG), OCI_SUCCESS);
    ASSERT_EQ(s.Execute(1), OCI_SUCCESS) << app_.ErrorText();
  }
};

// Each statement ends, with its error or its result, within the bounds:
// a catastrophic pattern over one huge text is refused before its
// backtracking frames take more than a few tens of MB; a costly pattern
// row after row, or a scan that grows with the square of the text, runs
// out of the statement's budget; ordinary patterns over the same texts
// and many rows are not touched.
TEST_F(ResourceBoundsTest, RegularExpressionsStayWithinTheirBounds) {
  Must(app_, "CREATE TABLE big (id NUMBER, c CLOB)");
  Insert(1, std::string(16 << 20, 'a'));
  std::string words;
  while (words.size() < (1 << 20)) words += "lorem ipsum dolor ";
  Insert(2, words);
  Insert(3, std::string(256 << 10, 'a'));
  Must(app_, "CREATE TABLE chk (v VARCHAR2(40) CHECK (NOT REGEXP_LIKE(v, '^(a|aa)*$')))");
  const std::string rows = "(SELECT LEVEL n FROM dual CONNECT BY LEVEL <= ";
  const std::string costly = "RPAD('a', 20 + MOD(n, 3), 'a') || 'b'";
  struct Case {
    std::string sql;
    int error;  // 0: the query gives `result`
    std::string result;
    long max_growth_mb;  // of the peak resident size, when not 0
  } cases[] = {
      {"SELECT COUNT(*) FROM big WHERE id = 1 AND REGEXP_LIKE(c, '^(a|b)*$')", 12722, "", 256},
      {"SELECT COUNT(*) FROM big WHERE id = 3 AND REGEXP_LIKE(c, 'a+[bc]')", 2393, "", 0},
      {"SELECT COUNT(*) FROM " + rows + "2000) WHERE REGEXP_LIKE(" + costly + ", '^(a|aa)*$')", 2393, "", 0},
      {"INSERT INTO chk SELECT " + costly + " FROM " + rows + "2000)", 2393, "", 0},
      {"SELECT REGEXP_COUNT(c, 'a{1000}') FROM big WHERE id = 1", 0, "16777", 256},
      {"SELECT REGEXP_COUNT(c, '[a-z]+') FROM big WHERE id = 2", 0, std::to_string(words.size() / 6), 0},
      {"SELECT COUNT(*) FROM " + rows + "20000) WHERE REGEXP_LIKE('user' || n || '@mail.example.com',"
       " '^[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}$')", 0, "20000", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);  // the peak restarts at the current size
      std::fclose(f);
    }
    long start = StatusKb("VmRSS");
    int error = c.sql[0] == 'S' ? FetchError(app_, c.sql) : Exec(app_, c.sql);
    EXPECT_LE(c.max_growth_mb ? StatusKb("VmHWM") - start : 0, c.max_growth_mb << 10);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(error == 0 ? One(app_, c.sql) : "", c.result);
  }

  // The rows of one array insert, as an import runs it, share a budget.
  std::vector<char> values(2000 * 40);
  std::vector<ub2> lens(2000);
  for (size_t i = 0; i < lens.size(); ++i) {
    std::string v = std::string(20 + i % 3, 'a') + "b";
    v.copy(&values[i * 40], v.size());
    lens[i] = static_cast<ub2>(v.size());
  }
  Stmt ins(app_);
  ASSERT_EQ(ins.Prepare("INSERT INTO chk VALUES (:1)"), OCI_SUCCESS);
  ASSERT_EQ(ins.Bind(1, values.data(), 40, SQLT_CHR, nullptr, lens.data()), OCI_SUCCESS);
  EXPECT_NE(ins.Execute(2000), OCI_SUCCESS);
  EXPECT_EQ(app_.ErrorCode(), 2393);
  // A few such rows fit.
  EXPECT_EQ(ins.Execute(3), OCI_SUCCESS) << app_.ErrorText();
}

}  // namespace
}  // namespace ocitest

namespace cattest {
namespace {

class IntervalBoundsTest : public CatalogTest {
 protected:
  // The Oracle error of a statement run as the session's user, 0 when none.
  static int Code(Session& s, const std::string& sql) {
    tabdb::ExecResult r;
    Status st = tabdb::ExecuteText(s, sql, &r);
    return st.ok() ? 0 : st.code();
  }
  // Catalog and table rows the statement writes (it must succeed).
  static int64_t RowsWritten(Session& s, const std::string& sql) {
    int64_t before = sqlite3_total_changes64(s.db().handle());
    EXPECT_EQ(Code(s, sql), 0) << sql;
    return sqlite3_total_changes64(s.db().handle()) - before;
  }
};

// Each new interval partition writes its own rows alone, wherever its
// bound falls among the others; they keep their bound order. A file whose
// partitions have no sort key yet (written before it existed) gets the keys
// when the table next gains a partition, in the order it had. Oracle's
// limit: 1048575 partitions, counting an interval table's as the range
// section and then one per interval, made or not.
TEST_F(IntervalBoundsTest, IntervalPartitionsCostTheSameUpToTheMaximum) {
  std::unique_ptr<Session> app = NewUser("APP");
  ASSERT_TRUE(app);
  const struct {
    const char* sql;
    int code;
  } cases[] = {
      {"CREATE TABLE n (k NUMBER) PARTITION BY RANGE (k) INTERVAL (1) (PARTITION p0 VALUES LESS THAN (1))", 0},
      {"INSERT INTO n VALUES (1048574)", 0},  // partition 1048575
      {"INSERT INTO n VALUES (1048575)", 14300},
      {"INSERT INTO n VALUES (1e30)", 14300},
      {"CREATE TABLE d (d DATE) PARTITION BY RANGE (d) INTERVAL (NUMTODSINTERVAL(1, 'DAY'))"
       " (PARTITION p0 VALUES LESS THAN (DATE '2000-01-01'), PARTITION p1 VALUES LESS THAN (DATE '2000-02-01'))",
       0},
      {"INSERT INTO d VALUES (DATE '2000-02-01' + 1048572)", 0},
      {"INSERT INTO d VALUES (DATE '2000-02-01' + 1048573)", 14300},
      {"CREATE TABLE c (k NUMBER, j NUMBER) PARTITION BY RANGE (k) SUBPARTITION BY HASH (j) SUBPARTITIONS"
       " 600000 (PARTITION p1 VALUES LESS THAN (10), PARTITION p2 VALUES LESS THAN (20))",
       14299},
  };
  for (const auto& c : cases) EXPECT_EQ(Code(*app, c.sql), c.code) << c.sql;
  auto bounds_of_iv = [&] {
    return View(*app, "USER_TAB_PARTITIONS", "HIGH_VALUE", "TABLE_NAME = 'IV' ORDER BY PARTITION_POSITION");
  };
  Run(*app, "CREATE TABLE iv (k NUMBER) PARTITION BY RANGE (k) INTERVAL (10)"
            " (PARTITION p0 VALUES LESS THAN (-5000))");
  ASSERT_EQ(Code(*app, "INSERT INTO iv VALUES (-6000)"), 0);  // the table's first row
  std::vector<int64_t> written;
  for (int i = 0; i < 400; ++i) {
    int key = i % 2 ? 10 * i : -10 * i - 5;  // rising and falling in turn
    written.push_back(RowsWritten(*app, "INSERT INTO iv VALUES (" + std::to_string(key) + ")"));
  }
  // The row, the partition's row, the counter of SYS_P names.
  EXPECT_EQ(written.front(), 3);
  EXPECT_EQ(written.back(), written.front());
  std::vector<std::string> bounds = bounds_of_iv();
  ASSERT_EQ(bounds.size(), 401u);
  for (size_t i = 1; i < bounds.size(); ++i) EXPECT_LT(std::stol(bounds[i - 1]), std::stol(bounds[i])) << i;
  // An UPDATE sees a row change partition without naming every interval.
  EXPECT_EQ(Code(*app, "UPDATE iv SET k = k + 9 WHERE k = 10"), 0);
  EXPECT_EQ(Code(*app, "UPDATE iv SET k = k + 1 WHERE k = 19"), 14402);

  ASSERT_EQ(Code(*app, "COMMIT"), 0);
  app.reset();
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(raw,
                         "DROP INDEX tab$partitions_key; ALTER TABLE tab$partitions DROP COLUMN bound_key;"
                         // part_seq in bound order, as earlier versions kept it
                         " CREATE TEMP TABLE m AS SELECT part_seq AS old, ROW_NUMBER() OVER"
                         "  (ORDER BY CAST(bound AS REAL)) AS new FROM tab$partitions WHERE part_seq > 0;"
                         " UPDATE tab$partitions SET part_seq = -(SELECT new FROM m WHERE old = part_seq)"
                         "  WHERE part_seq > 0;"
                         " UPDATE tab$partitions SET part_seq = -part_seq WHERE part_seq < 0",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(raw);
  app = Logon("APP", "pw");
  ASSERT_TRUE(app);
  EXPECT_EQ(bounds_of_iv(), bounds);
  ASSERT_EQ(Code(*app, "INSERT INTO iv VALUES (3)"), 0);  // between -5 and 10: a new partition
  bounds.insert(bounds.begin() + 201, "10");
  EXPECT_EQ(bounds_of_iv(), bounds);
  EXPECT_EQ(RowsWritten(*app, "INSERT INTO iv VALUES (9000)"), 3);
}

}  // namespace
}  // namespace cattest
