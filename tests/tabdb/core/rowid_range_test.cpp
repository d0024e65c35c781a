// rowid_range_test.cpp - ROWIDs of table rows: their text and parts
// (DBMS_ROWID), comparisons as ranges whose ends are in them, and the
// extents of DBA_EXTENTS, whose ROWID ranges hold each row exactly once.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

using Rows = std::vector<Row>;

class RowidRangeTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(app_, "CREATE TABLE t (id NUMBER, v VARCHAR2(10))");
    Must(app_, "BEGIN FOR i IN 1..600 LOOP INSERT INTO t VALUES (i, 'v' || i); END LOOP; COMMIT; END;");
    obj_ = One(app_, "SELECT DATA_OBJECT_ID FROM USER_OBJECTS WHERE OBJECT_NAME = 'T'");
  }
  // DBMS_ROWID.ROWID_CREATE of T's data object at file, block and row.
  std::string At(int file, int block, int row, const std::string& obj = "") {
    return "DBMS_ROWID.ROWID_CREATE(1, " + (obj.empty() ? obj_ : obj) + ", " + std::to_string(file) + ", " +
           std::to_string(block) + ", " + std::to_string(row) + ")";
  }
  std::string obj_;
};

// Rows are numbered from 1, 32 to a block: id i is row i % 32 of block
// i / 32 of file 1.
TEST_F(RowidRangeTest, ComparisonsWithRowidAreRangesWithTheirEndsIn) {
  std::string below = std::to_string(std::stoll(obj_) - 1), above = std::to_string(std::stoll(obj_) + 1);
  struct Case {
    std::string where;
    std::string count_min_max;
  } cases[] = {
      {"ROWID BETWEEN " + At(1, 1, 0) + " AND " + At(1, 1, 32767), "32 32 63"},
      {"ROWID BETWEEN " + At(1, 1, 31) + " AND " + At(1, 2, 0), "2 63 64"},
      {"ROWID >= " + At(1, 18, 0), "25 576 600"},
      {"ROWID > " + At(1, 0, 31), "569 32 600"},
      {"ROWID < " + At(1, 1, 0), "31 1 31"},
      {"ROWID <= " + At(1, 0, 40), "31 1 31"},
      {"ROWID = " + At(1, 1, 5), "1 37 37"},
      {"ROWID = " + At(1, 0, 40), "0 <null> <null>"},
      {"ROWID <> " + At(1, 1, 5), "599 1 600"},
      {"ROWID NOT BETWEEN " + At(1, 1, 0) + " AND " + At(1, 17, 32767), "56 1 600"},
      {At(1, 1, 0) + " <= ROWID AND " + At(1, 1, 3) + " > ROWID", "3 32 34"},
      {"ROWID >= " + At(9, 9, 9, below), "600 1 600"},
      {"ROWID <= " + At(0, 0, 0, above), "600 1 600"},
      {"ROWID > " + At(1, 0, 0, above), "0 <null> <null>"},
      {"ROWID = (SELECT ROWID FROM t WHERE id = 77)", "1 77 77"},
      {"ROWID = NULL", "0 <null> <null>"},
  };
  for (const Case& c : cases) {
    Rows got = Query(app_, "SELECT COUNT(*), MIN(id), MAX(id) FROM t WHERE " + c.where);
    ASSERT_EQ(got.size(), 1u) << c.where;
    EXPECT_EQ(got[0][0] + " " + got[0][1] + " " + got[0][2], c.count_min_max) << c.where;
  }
}

TEST_F(RowidRangeTest, RowidTextPartsAndErrors) {
  EXPECT_EQ(Query(app_, "SELECT DBMS_ROWID.ROWID_OBJECT(ROWID), DBMS_ROWID.ROWID_RELATIVE_FNO(ROWID),"
                        " DBMS_ROWID.ROWID_BLOCK_NUMBER(ROWID), DBMS_ROWID.ROWID_ROW_NUMBER(ROWID) FROM t WHERE id = 33"),
            (Rows{{obj_, "1", "1", "1"}}));
  std::string r33 = One(app_, "SELECT ROWID FROM t WHERE id = 33");
  EXPECT_EQ(r33.size(), 18u);
  EXPECT_EQ(One(app_, "SELECT " + At(1, 1, 1) + " FROM dual"), r33);
  // MIN and MAX order by row, whatever the base 64 text's own order
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t WHERE ROWID IN ((SELECT MIN(ROWID) FROM t), (SELECT MAX(ROWID) FROM t))"),
            "2");
  EXPECT_EQ(Query(app_, "SELECT MIN(id), MAX(id) FROM t WHERE ROWID IN ((SELECT MIN(ROWID) FROM t),"
                        " (SELECT MAX(ROWID) FROM t))"),
            (Rows{{"1", "600"}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t a, t b WHERE a.ROWID = b.ROWID AND a.id < 10"), "9");
  EXPECT_EQ(FetchError(app_, "SELECT id FROM t WHERE ROWID = 'AAAA'"), 1410);
  EXPECT_EQ(FetchError(app_, "SELECT id FROM t WHERE ROWID = 'AAAA!AABAAAAABAAA'"), 1410);
  EXPECT_EQ(FetchError(app_, "SELECT " + At(1, 1, 1).replace(24, 1, "2") + " FROM dual"), 1410);
  EXPECT_EQ(Exec(app_, "SELECT id FROM t WHERE ROWID = 5"), 932);
  EXPECT_EQ(Exec(app_, "SELECT ROWID FROM t a, t b"), 918);
}

TEST_F(RowidRangeTest, ExtentRangesHoldEveryRowOnce) {
  Must(app_, "DELETE FROM t WHERE id BETWEEN 256 AND 511");
  Must(app_, "CREATE TABLE never (id NUMBER)");
  Must(app_, "CREATE TABLE keyed (id NUMBER PRIMARY KEY, v NUMBER) ORGANIZATION INDEX");
  Must(app_, "CREATE TABLE parts (id NUMBER) PARTITION BY RANGE (id) (PARTITION p1 VALUES LESS THAN (MAXVALUE))");
  Must(app_, "BEGIN FOR i IN 1..300 LOOP INSERT INTO keyed VALUES (i, i); INSERT INTO parts VALUES (i); END LOOP;"
             " COMMIT; END;");
  MakeUser("DBAUSER", true);
  Conn dba;
  ASSERT_EQ(dba.Open(path_, "dbauser", "dbauser"), OCI_SUCCESS) << dba.ErrorText();
  // the extent of rows 256 to 511 went with them; no segment of its own
  // for an empty, an index-organized or a partitioned table
  EXPECT_EQ(Query(dba, "SELECT SEGMENT_NAME, SEGMENT_TYPE, EXTENT_ID, RELATIVE_FNO, BLOCK_ID, BLOCKS, BYTES"
                       " FROM DBA_EXTENTS WHERE OWNER = 'APP' ORDER BY SEGMENT_NAME, EXTENT_ID"),
            (Rows{{"T", "TABLE", "0", "1", "0", "8", "65536"}, {"T", "TABLE", "1", "1", "16", "8", "65536"}}));
  EXPECT_EQ(Query(app_, "SELECT SEGMENT_NAME, EXTENT_ID, BLOCKS FROM USER_EXTENTS ORDER BY EXTENT_ID"),
            (Rows{{"T", "0", "8"}, {"T", "1", "8"}}));
  EXPECT_EQ(Exec(app_, "SELECT * FROM DBA_EXTENTS"), 942);
  // each extent's range, from its first block's row 0 to its last block's
  // row 32767, holds its rows and no other
  EXPECT_EQ(Query(dba, "SELECT e.EXTENT_ID, (SELECT COUNT(*) FROM app.t WHERE ROWID BETWEEN"
                       " DBMS_ROWID.ROWID_CREATE(1, o.DATA_OBJECT_ID, e.RELATIVE_FNO, e.BLOCK_ID, 0) AND"
                       " DBMS_ROWID.ROWID_CREATE(1, o.DATA_OBJECT_ID, e.RELATIVE_FNO, e.BLOCK_ID + e.BLOCKS - 1, 32767))"
                       " FROM DBA_EXTENTS e, DBA_OBJECTS o WHERE e.OWNER = 'APP' AND o.OWNER = e.OWNER"
                       " AND o.OBJECT_NAME = e.SEGMENT_NAME AND o.OBJECT_TYPE = 'TABLE' ORDER BY e.EXTENT_ID"),
            (Rows{{"0", "255"}, {"1", "89"}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM t"), "344");
}

}  // namespace
}  // namespace ocitest
