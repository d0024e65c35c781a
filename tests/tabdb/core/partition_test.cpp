// partition_test.cpp - partitioned and index-organized tables: rows routed
// by each method (ORA-14400, ORA-14402), the rows of one partition,
// partition maintenance, the dictionary views and GET_DDL compared with the
// texts Oracle 19c gives for the same tables, the option refused.
#include <cstdlib>
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

constexpr const char* kSales =
    "CREATE TABLE sales (id NUMBER(10) NOT NULL, sold DATE, region VARCHAR2(10),"
    " amount NUMBER(12,2)) PARTITION BY RANGE (sold)"
    " (PARTITION p2023 VALUES LESS THAN (DATE '2024-01-01'),"
    "  PARTITION pmax VALUES LESS THAN (MAXVALUE))";

const std::string kSalesColumns =
    "\n  CREATE TABLE \"APP\".\"SALES\" \n   (\t\"ID\" NUMBER(10,0) NOT NULL ENABLE, \n\t\"SOLD\" DATE, "
    "\n\t\"REGION\" VARCHAR2(10), \n\t\"AMOUNT\" NUMBER(12,2)\n   ) ";
const std::string kHv2024 =
    "TO_DATE(' 2024-01-01 00:00:00', 'SYYYY-MM-DD HH24:MI:SS', 'NLS_CALENDAR=GREGORIAN')";

class PartitionTest : public OciTest {
 protected:
  std::string Ddl(const std::string& type, const std::string& name) {
    return One(app_, "SELECT DBMS_METADATA.GET_DDL('" + type + "', '" + name + "') FROM dual");
  }
  void SegmentAttributes(bool on) {
    Must(app_, std::string("BEGIN DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM,"
                           " 'SEGMENT_ATTRIBUTES', ") +
                   (on ? "TRUE" : "FALSE") + "); END;");
  }
  std::vector<Row> Names(const std::string& table) {
    return Query(app_, "SELECT partition_name FROM user_tab_partitions WHERE table_name = '" + table +
                           "' ORDER BY partition_position");
  }
};

TEST_F(PartitionTest, RangeRoutesByBoundAndRefusesWhatNoPartitionTakes) {
  Must(app_, "CREATE TABLE r (a NUMBER, b NUMBER) PARTITION BY RANGE (a, b)"
             " (PARTITION p1 VALUES LESS THAN (10, 5), PARTITION p2 VALUES LESS THAN (20, MAXVALUE))");
  Must(app_, "INSERT INTO r VALUES (9, 100)");   // a below 10
  Must(app_, "INSERT INTO r VALUES (10, 4)");    // a equal: b decides, below 5
  Must(app_, "INSERT INTO r VALUES (10, 5)");    // the bound itself goes to the next
  Must(app_, "INSERT INTO r VALUES (19, NULL)");
  EXPECT_EQ(Query(app_, "SELECT a, b FROM r PARTITION (p1) ORDER BY a, b"),
            (std::vector<Row>{{"9", "100"}, {"10", "4"}}));
  EXPECT_EQ(Query(app_, "SELECT a, b FROM r PARTITION (p2) ORDER BY a"),
            (std::vector<Row>{{"10", "5"}, {"19", "<null>"}}));
  // (20, 0) sorts below (20, MAXVALUE); (21, 0) above every bound.
  Must(app_, "INSERT INTO r VALUES (20, 0)");
  EXPECT_EQ(Exec(app_, "INSERT INTO r VALUES (21, 0)"), 14400);
  // A NULL key sorts above every value: only a MAXVALUE bound takes it.
  EXPECT_EQ(Exec(app_, "INSERT INTO r VALUES (NULL, 0)"), 14400);
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM r"), "5");

  Must(app_, kSales);
  Must(app_, "INSERT INTO sales VALUES (1, DATE '2023-12-31', 'EU', 1)");
  Must(app_, "INSERT INTO sales VALUES (2, DATE '2024-01-01', 'EU', 1)");
  Must(app_, "INSERT INTO sales VALUES (3, NULL, 'EU', 1)");
  EXPECT_EQ(Query(app_, "SELECT id FROM sales PARTITION (p2023)"), (std::vector<Row>{{"1"}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM sales PARTITION (pmax)"), "2");
  EXPECT_EQ(FetchError(app_, "SELECT * FROM sales PARTITION (nope)"), 2149);
  // An INSERT naming a partition takes only rows of it.
  Must(app_, "INSERT INTO sales PARTITION (p2023) VALUES (4, DATE '2023-01-01', 'EU', 1)");
  EXPECT_EQ(Exec(app_, "INSERT INTO sales PARTITION (p2023) VALUES (5, DATE '2025-01-01', 'EU', 1)"), 14401);
  Must(app_, "DELETE FROM sales WHERE id = 4");
  // DML through a partition name sees only its rows.
  Must(app_, "DELETE FROM sales PARTITION (pmax)");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM sales"), "1");
}

TEST_F(PartitionTest, UpdateMovesARowOnlyWithRowMovement) {
  Must(app_, "CREATE TABLE r (k NUMBER) PARTITION BY RANGE (k)"
             " (PARTITION a VALUES LESS THAN (10), PARTITION b VALUES LESS THAN (20))");
  Must(app_, "INSERT INTO r VALUES (5)");
  Must(app_, "UPDATE r SET k = 6");  // same partition
  EXPECT_EQ(Exec(app_, "UPDATE r SET k = 15"), 14402);
  EXPECT_EQ(One(app_, "SELECT k FROM r PARTITION (a)"), "6");
  Must(app_, "ALTER TABLE r ENABLE ROW MOVEMENT");
  Must(app_, "UPDATE r SET k = 15");
  EXPECT_EQ(One(app_, "SELECT k FROM r PARTITION (b)"), "15");
  EXPECT_EQ(Exec(app_, "UPDATE r SET k = 25"), 14400);
}

TEST_F(PartitionTest, ListMatchesValuesNullAndDefault) {
  Must(app_, "CREATE TABLE l (region VARCHAR2(10)) PARTITION BY LIST (region)"
             " (PARTITION p_eu VALUES ('EU', 'UK'), PARTITION p_null VALUES (NULL))");
  Must(app_, "INSERT INTO l VALUES ('UK')");
  Must(app_, "INSERT INTO l VALUES (NULL)");
  EXPECT_EQ(Exec(app_, "INSERT INTO l VALUES ('US')"), 14400);
  EXPECT_EQ(One(app_, "SELECT region FROM l PARTITION (p_eu)"), "UK");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM l PARTITION (p_null)"), "1");
  Must(app_, "ALTER TABLE l ADD PARTITION p_other VALUES (DEFAULT)");
  Must(app_, "INSERT INTO l VALUES ('US')");
  EXPECT_EQ(One(app_, "SELECT region FROM l PARTITION (p_other)"), "US");
  // No partition after DEFAULT; a value in two partitions.
  EXPECT_EQ(Exec(app_, "ALTER TABLE l ADD PARTITION p_x VALUES ('X')"), 14323);
  EXPECT_EQ(Exec(app_, "CREATE TABLE l2 (c CHAR(1)) PARTITION BY LIST (c)"
                       " (PARTITION a VALUES ('A'), PARTITION b VALUES ('B', 'A'))"),
            14312);
}

TEST_F(PartitionTest, HashSpreadsEveryRowOverItsPartitions) {
  Must(app_, "CREATE TABLE h (id NUMBER) PARTITION BY HASH (id) PARTITIONS 4");
  Must(app_, "INSERT INTO h SELECT LEVEL FROM dual CONNECT BY LEVEL <= 200");
  std::vector<Row> parts = Names("H");
  ASSERT_EQ(parts.size(), 4u);
  int total = 0;
  for (const Row& p : parts) {
    int n = std::stoi(One(app_, "SELECT COUNT(*) FROM h PARTITION (" + p[0] + ")"));
    EXPECT_GT(n, 0) << p[0];
    total += n;
  }
  EXPECT_EQ(total, 200);
  // A fifth partition takes rows only from the one it splits (linear hashing).
  Must(app_, "ALTER TABLE h ADD PARTITION h5");
  total = 0;
  for (const Row& p : Names("H")) total += std::stoi(One(app_, "SELECT COUNT(*) FROM h PARTITION (" + p[0] + ")"));
  EXPECT_EQ(total, 200);
  EXPECT_EQ(Exec(app_, "ALTER TABLE h DROP PARTITION h5"), 14255);
  EXPECT_EQ(Exec(app_, "CREATE TABLE h0 (id NUMBER) PARTITION BY HASH (id) PARTITIONS 0"), 14152);
}

TEST_F(PartitionTest, IntervalRowsMakeTheirPartitions) {
  Must(app_, "CREATE TABLE ev (id NUMBER, at DATE) PARTITION BY RANGE (at)"
             " INTERVAL (NUMTOYMINTERVAL(1,'MONTH')) (PARTITION p0 VALUES LESS THAN (DATE '2024-01-01'))");
  Must(app_, "INSERT INTO ev VALUES (1, DATE '2023-05-05')");  // the range section
  Must(app_, "INSERT INTO ev VALUES (2, DATE '2024-03-15')");
  Must(app_, "INSERT INTO ev VALUES (3, DATE '2024-01-01')");  // a bound opens the next interval
  Must(app_, "INSERT INTO ev VALUES (4, DATE '2024-03-01')");  // an interval that exists
  EXPECT_EQ(Exec(app_, "INSERT INTO ev VALUES (5, NULL)"), 14300);
  std::vector<Row> parts = Query(app_, "SELECT partition_name, high_value, partition_position, interval"
                                       " FROM user_tab_partitions ORDER BY partition_position");
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0], (Row{"P0", kHv2024, "1", "NO"}));
  EXPECT_EQ(parts[1][1], "TO_DATE(' 2024-02-01 00:00:00', 'SYYYY-MM-DD HH24:MI:SS', 'NLS_CALENDAR=GREGORIAN')");
  EXPECT_EQ(parts[2][1], "TO_DATE(' 2024-04-01 00:00:00', 'SYYYY-MM-DD HH24:MI:SS', 'NLS_CALENDAR=GREGORIAN')");
  EXPECT_EQ(parts[1][0].rfind("SYS_P", 0), 0u);
  EXPECT_EQ(parts[2][3], "YES");
  EXPECT_EQ(One(app_, "SELECT id FROM ev PARTITION (" + parts[1][0] + ")"), "3");
  EXPECT_EQ(Query(app_, "SELECT id FROM ev PARTITION (" + parts[2][0] + ") ORDER BY id"),
            (std::vector<Row>{{"2"}, {"4"}}));

  Must(app_, "CREATE TABLE n (k NUMBER) PARTITION BY RANGE (k) INTERVAL (10)"
             " (PARTITION p0 VALUES LESS THAN (0))");
  for (int k : {37, 5, -3, 30}) Must(app_, "INSERT INTO n VALUES (" + std::to_string(k) + ")");
  EXPECT_EQ(Query(app_, "SELECT high_value, interval FROM user_tab_partitions WHERE table_name = 'N'"
                        " ORDER BY partition_position"),
            (std::vector<Row>{{"0", "NO"}, {"10", "YES"}, {"40", "YES"}}));
  EXPECT_EQ(Exec(app_, "ALTER TABLE n ADD PARTITION p9 VALUES LESS THAN (100)"), 14760);
  EXPECT_EQ(Exec(app_, "CREATE TABLE n2 (k NUMBER) PARTITION BY RANGE (k) INTERVAL (10)"
                       " (PARTITION p0 VALUES LESS THAN (MAXVALUE))"),
            14761);
}

TEST_F(PartitionTest, CompositeRoutesOnBothKeysWithTemplateNames) {
  Must(app_, "CREATE TABLE c (d DATE, dev NUMBER) PARTITION BY RANGE (d)"
             " SUBPARTITION BY LIST (dev) SUBPARTITION TEMPLATE"
             " (SUBPARTITION s1 VALUES (1), SUBPARTITION s2 VALUES (2))"
             " (PARTITION p1 VALUES LESS THAN (TO_DATE('2000-01-01', 'YYYY-MM-DD')),"
             "  PARTITION p2 VALUES LESS THAN (MAXVALUE))");
  EXPECT_EQ(Query(app_, "SELECT partition_name, subpartition_name, high_value, subpartition_position"
                        " FROM user_tab_subpartitions ORDER BY partition_position, subpartition_position"),
            (std::vector<Row>{{"P1", "P1_S1", "1", "1"},
                              {"P1", "P1_S2", "2", "2"},
                              {"P2", "P2_S1", "1", "1"},
                              {"P2", "P2_S2", "2", "2"}}));
  Must(app_, "INSERT INTO c VALUES (DATE '1999-01-01', 2)");
  EXPECT_EQ(Exec(app_, "INSERT INTO c VALUES (DATE '1999-01-01', 3)"), 14400);
  EXPECT_EQ(One(app_, "SELECT dev FROM c SUBPARTITION (p1_s2)"), "2");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM c SUBPARTITION (p2_s2)"), "0");
}

TEST_F(PartitionTest, MaintenanceChangesPartitionsNotOtherRows) {
  Must(app_, "CREATE TABLE m (k NUMBER) PARTITION BY RANGE (k) (PARTITION p10 VALUES LESS THAN (10),"
             " PARTITION p20 VALUES LESS THAN (20), PARTITION pmax VALUES LESS THAN (MAXVALUE))");
  for (int k : {1, 11, 15, 25}) Must(app_, "INSERT INTO m VALUES (" + std::to_string(k) + ")");
  Must(app_, "ALTER TABLE m SPLIT PARTITION p20 AT (13) INTO (PARTITION p13, PARTITION p20)");
  EXPECT_EQ(Names("M"), (std::vector<Row>{{"P10"}, {"P13"}, {"P20"}, {"PMAX"}}));
  EXPECT_EQ(One(app_, "SELECT k FROM m PARTITION (p13)"), "11");
  EXPECT_EQ(Exec(app_, "ALTER TABLE m SPLIT PARTITION p20 AT (30) INTO (PARTITION a, PARTITION b)"), 14080);
  Must(app_, "ALTER TABLE m TRUNCATE PARTITION p13");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM m"), "3");
  Must(app_, "ALTER TABLE m MERGE PARTITIONS p10, p13 INTO PARTITION plow");
  EXPECT_EQ(Query(app_, "SELECT partition_name, high_value FROM user_tab_partitions WHERE table_name = 'M'"
                        " ORDER BY partition_position"),
            (std::vector<Row>{{"PLOW", "13"}, {"P20", "20"}, {"PMAX", "MAXVALUE"}}));
  EXPECT_EQ(Exec(app_, "ALTER TABLE m MERGE PARTITIONS plow, pmax INTO PARTITION x"), 14274);
  Must(app_, "ALTER TABLE m DROP PARTITION p20");
  EXPECT_EQ(Query(app_, "SELECT k FROM m ORDER BY k"), (std::vector<Row>{{"1"}, {"25"}}));
  Must(app_, "ALTER TABLE m RENAME PARTITION plow TO pfirst");
  EXPECT_EQ(One(app_, "SELECT k FROM m PARTITION (pfirst)"), "1");
  EXPECT_EQ(Exec(app_, "ALTER TABLE m ADD PARTITION p5 VALUES LESS THAN (5)"), 14074);
  EXPECT_EQ(Exec(app_, "ALTER TABLE m DROP PARTITION nope"), 2149);
  Must(app_, "ALTER TABLE m DROP PARTITION pmax");
  EXPECT_EQ(Exec(app_, "ALTER TABLE m DROP PARTITION pfirst"), 14083);

  // EXCHANGE swaps a partition's rows with a table's, after checking them.
  Must(app_, "CREATE TABLE x (k NUMBER)");
  Must(app_, "INSERT INTO x VALUES (7)");
  Must(app_, "ALTER TABLE m EXCHANGE PARTITION pfirst WITH TABLE x");
  EXPECT_EQ(One(app_, "SELECT k FROM m"), "7");
  EXPECT_EQ(One(app_, "SELECT k FROM x"), "1");
  Must(app_, "INSERT INTO x VALUES (500)");
  EXPECT_EQ(Exec(app_, "ALTER TABLE m EXCHANGE PARTITION pfirst WITH TABLE x"), 14099);
  EXPECT_EQ(Exec(app_, "ALTER TABLE x DROP PARTITION p1"), 14501);
}

TEST_F(PartitionTest, BoundErrorsOfCreateTable) {
  EXPECT_EQ(Exec(app_, "CREATE TABLE e (a NUMBER) PARTITION BY RANGE (a)"
                       " (PARTITION p1 VALUES LESS THAN (10), PARTITION p2 VALUES LESS THAN (5))"),
            14037);
  EXPECT_EQ(Exec(app_, "CREATE TABLE e (a NUMBER) PARTITION BY RANGE (a)"
                       " (PARTITION p1 VALUES LESS THAN (1, 2))"),
            14017);
  EXPECT_EQ(Exec(app_, "CREATE TABLE e (a NUMBER) PARTITION BY RANGE (a)"
                       " (PARTITION p1 VALUES LESS THAN (SYSDATE))"),
            14019);
  EXPECT_EQ(Exec(app_, "CREATE TABLE e (a NUMBER) PARTITION BY RANGE (a)"
                       " (PARTITION p1 VALUES (1))"),
            14311);
  EXPECT_EQ(Exec(app_, "CREATE TABLE e (a NUMBER) PARTITION BY LIST (a)"
                       " (PARTITION p1 VALUES LESS THAN (1))"),
            14310);
  EXPECT_EQ(Exec(app_, "CREATE TABLE e (a NUMBER) PARTITION BY RANGE (a)"
                       " (PARTITION p1 VALUES LESS THAN (1), PARTITION p1 VALUES LESS THAN (2))"),
            14013);
  EXPECT_EQ(Exec(app_, "CREATE TABLE e (a NUMBER) PARTITION BY RANGE (nope)"
                       " (PARTITION p1 VALUES LESS THAN (1))"),
            904);
  EXPECT_EQ(Exec(app_, "CREATE TABLE e (a NUMBER) PARTITION BY SYSTEM PARTITIONS 2"), 439);
  EXPECT_EQ(Exec(app_, "CREATE INDEX e_ix ON dual (dummy) LOCAL"), 942);
  Must(app_, "CREATE TABLE plain (a NUMBER)");
  EXPECT_EQ(Exec(app_, "CREATE INDEX plain_ix ON plain (a) LOCAL"), 14016);
  Must(app_, "CREATE TABLE pk (a NUMBER, b NUMBER) PARTITION BY RANGE (a) (PARTITION p1 VALUES LESS THAN (MAXVALUE))");
  EXPECT_EQ(Exec(app_, "CREATE UNIQUE INDEX pk_b ON pk (b) LOCAL"), 14039);
  Must(app_, "CREATE UNIQUE INDEX pk_ab ON pk (b, a) LOCAL");
  EXPECT_EQ(Exec(app_, "ALTER TABLE pk DROP COLUMN a"), 12984);
  Must(app_, "ALTER TABLE pk RENAME COLUMN a TO a2");
  EXPECT_EQ(One(app_, "SELECT column_name FROM user_part_key_columns WHERE name = 'PK'"), "A2");
  // Nothing of a refused table is left behind.
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_tables WHERE table_name = 'E'"), "0");
}

TEST_F(PartitionTest, DictionaryViewsDescribeTablesIndexesAndKeys) {
  Must(app_, kSales);
  Must(app_, "INSERT INTO sales VALUES (1, DATE '2023-05-01', 'EU', 10)");
  Must(app_, "CREATE INDEX sales_ix ON sales (region) LOCAL");
  Must(app_, "CREATE INDEX sales_id ON sales (id) GLOBAL PARTITION BY RANGE (id)"
             " (PARTITION g1 VALUES LESS THAN (100), PARTITION g2 VALUES LESS THAN (MAXVALUE))");
  EXPECT_EQ(Query(app_, "SELECT table_name, partitioning_type, subpartitioning_type, partition_count,"
                        " def_subpartition_count, partitioning_key_count, subpartitioning_key_count,"
                        " status, def_tablespace_name, def_pct_free, def_logging, def_compression,"
                        " interval, autolist, is_nested FROM user_part_tables"),
            (std::vector<Row>{{"SALES", "RANGE", "NONE", "2", "0", "1", "0", "VALID", "USERS", "10", "NONE",
                               "NONE", "<null>", "NO", "NO"}}));
  EXPECT_EQ(Query(app_, "SELECT table_name, composite, partition_name, subpartition_count, high_value,"
                        " high_value_length, partition_position, tablespace_name, interval"
                        " FROM user_tab_partitions ORDER BY partition_position"),
            (std::vector<Row>{{"SALES", "NO", "P2023", "0", kHv2024, "83", "1", "USERS", "NO"},
                              {"SALES", "NO", "PMAX", "0", "MAXVALUE", "8", "2", "USERS", "NO"}}));
  EXPECT_EQ(Query(app_, "SELECT name, object_type, column_name, column_position FROM user_part_key_columns"
                        " ORDER BY object_type DESC, name"),
            (std::vector<Row>{{"SALES", "TABLE", "SOLD", "1"},
                              {"SALES_ID", "INDEX", "ID", "1"},
                              {"SALES_IX", "INDEX", "SOLD", "1"}}));
  EXPECT_EQ(Query(app_, "SELECT index_name, table_name, partitioning_type, partition_count, locality,"
                        " alignment FROM user_part_indexes ORDER BY index_name"),
            (std::vector<Row>{{"SALES_ID", "SALES", "RANGE", "2", "GLOBAL", "PREFIXED"},
                              {"SALES_IX", "SALES", "RANGE", "2", "LOCAL", "NON_PREFIXED"}}));
  EXPECT_EQ(Query(app_, "SELECT index_name, partition_name, high_value, partition_position, status"
                        " FROM user_ind_partitions ORDER BY index_name, partition_position"),
            (std::vector<Row>{{"SALES_ID", "G1", "100", "1", "USABLE"},
                              {"SALES_ID", "G2", "MAXVALUE", "2", "USABLE"},
                              {"SALES_IX", "P2023", kHv2024, "1", "USABLE"},
                              {"SALES_IX", "PMAX", "MAXVALUE", "2", "USABLE"}}));
  EXPECT_EQ(Query(app_, "SELECT partitioned, tablespace_name, iot_type FROM user_tables"
                        " WHERE table_name = 'SALES'"),
            (std::vector<Row>{{"YES", "<null>", "<null>"}}));
  EXPECT_EQ(One(app_, "SELECT partitioned FROM user_indexes WHERE index_name = 'SALES_IX'"), "YES");
  // Another user sees none of it in its USER_ views; DBA_ views need a DBA.
  MakeUser("OTHER");
  Conn other;
  ASSERT_EQ(other.Open(path_, "other", "other"), OCI_SUCCESS);
  EXPECT_EQ(One(other, "SELECT COUNT(*) FROM user_tab_partitions"), "0");
  EXPECT_EQ(FetchError(other, "SELECT * FROM dba_part_tables"), 942);
  EXPECT_EQ(One(other, "SELECT COUNT(*) FROM all_tab_partitions"), "0");
  Must(app_, "GRANT SELECT ON sales TO other");
  EXPECT_EQ(Query(other, "SELECT table_owner, partition_name FROM all_tab_partitions ORDER BY 2"),
            (std::vector<Row>{{"APP", "P2023"}, {"APP", "PMAX"}}));
  EXPECT_EQ(One(other, "SELECT COUNT(*) FROM all_part_indexes"), "2");
  // Dropping the table removes its partitions from every view.
  Must(app_, "DROP TABLE sales");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_part_key_columns"), "0");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_ind_partitions"), "0");
}

TEST_F(PartitionTest, GetDdlLaysOutPartitionsAsOracle) {
  Must(app_, kSales);
  Must(app_, "INSERT INTO sales VALUES (1, DATE '2023-05-01', 'EU', 10)");
  Must(app_, "CREATE INDEX sales_ix ON sales (region) LOCAL");
  // With segment attributes: a partition holding rows has its segment.
  const std::string seg = " \n  PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n NOCOMPRESS LOGGING \n  ";
  const std::string deferred = "STORAGE(\n  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)";
  const std::string created =
      "STORAGE(INITIAL 8388608 NEXT 1048576 MINEXTENTS 1 MAXEXTENTS 2147483645\n  PCTINCREASE 0 FREELISTS 1"
      " FREELIST GROUPS 1\n  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)";
  EXPECT_EQ(Ddl("TABLE", "SALES"),
            kSalesColumns + "PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n  " + deferred +
                "\n  TABLESPACE \"USERS\" \n  PARTITION BY RANGE (\"SOLD\") \n (PARTITION \"P2023\"  VALUES LESS"
                " THAN (" + kHv2024 + ") SEGMENT CREATION IMMEDIATE" + seg + created +
                "\n  TABLESPACE \"USERS\" , \n PARTITION \"PMAX\"  VALUES LESS THAN (MAXVALUE) SEGMENT CREATION"
                " DEFERRED" + seg + deferred + "\n  TABLESPACE \"USERS\" ) ");
  EXPECT_EQ(Ddl("INDEX", "SALES_IX"),
            "\n  CREATE INDEX \"APP\".\"SALES_IX\" ON \"APP\".\"SALES\" (\"REGION\") \n  PCTFREE 10 INITRANS 2"
            " MAXTRANS 255 \n  " + deferred + "\n  TABLESPACE \"USERS\"  LOCAL\n (PARTITION \"P2023\" \n  PCTFREE"
            " 10 INITRANS 2 MAXTRANS 255 LOGGING \n  " + created + "\n  TABLESPACE \"USERS\" , \n PARTITION"
            " \"PMAX\" \n  PCTFREE 10 INITRANS 2 MAXTRANS 255 LOGGING \n  " + deferred +
            "\n  TABLESPACE \"USERS\" ) ");

  SegmentAttributes(false);
  EXPECT_EQ(Ddl("TABLE", "SALES"),
            kSalesColumns + "\n  PARTITION BY RANGE (\"SOLD\") \n (PARTITION \"P2023\"  VALUES LESS THAN (" +
                kHv2024 + ") , \n PARTITION \"PMAX\"  VALUES LESS THAN (MAXVALUE) ) ");
  EXPECT_EQ(Ddl("INDEX", "SALES_IX"),
            "\n  CREATE INDEX \"APP\".\"SALES_IX\" ON \"APP\".\"SALES\" (\"REGION\") \n   LOCAL\n"
            " (PARTITION \"P2023\" , \n PARTITION \"PMAX\" ) ");

  Must(app_, "CREATE TABLE events (id NUMBER, at DATE) PARTITION BY RANGE (at)"
             " INTERVAL (NUMTOYMINTERVAL(1,'MONTH'))"
             " (PARTITION p0 VALUES LESS THAN (TO_DATE('01-01-2024', 'DD-MM-YYYY'))) ENABLE ROW MOVEMENT");
  EXPECT_EQ(Ddl("TABLE", "EVENTS"),
            "\n  CREATE TABLE \"APP\".\"EVENTS\" \n   (\t\"ID\" NUMBER, \n\t\"AT\" DATE\n   ) \n  PARTITION BY"
            " RANGE (\"AT\") INTERVAL (NUMTOYMINTERVAL(1,'MONTH')) \n (PARTITION \"P0\"  VALUES LESS THAN (" +
                kHv2024 + ") )  ENABLE ROW MOVEMENT ");
  EXPECT_EQ(One(app_, "SELECT interval || '/' || partition_count FROM user_part_tables"
                      " WHERE table_name = 'EVENTS'"),
            "NUMTOYMINTERVAL(1,'MONTH')/1048575");

  Must(app_, "CREATE TABLE regions (region VARCHAR2(10)) PARTITION BY LIST (region)"
             " (PARTITION p_eu VALUES ('EU','UK'), PARTITION p_null VALUES (NULL),"
             " PARTITION p_other VALUES (default))");
  EXPECT_EQ(Ddl("TABLE", "REGIONS"),
            "\n  CREATE TABLE \"APP\".\"REGIONS\" \n   (\t\"REGION\" VARCHAR2(10)\n   ) \n  PARTITION BY LIST"
            " (\"REGION\") \n (PARTITION \"P_EU\"  VALUES ('EU', 'UK') , \n PARTITION \"P_NULL\"  VALUES (NULL) ,"
            " \n PARTITION \"P_OTHER\"  VALUES (default) ) ");

  Must(app_, "CREATE TABLE loc (id NUMBER, ref_day DATE, dev NUMBER) PARTITION BY RANGE (ref_day)"
             " INTERVAL (INTERVAL '1' DAY) SUBPARTITION BY LIST (dev) SUBPARTITION TEMPLATE"
             " (SUBPARTITION subp_1 VALUES (1), SUBPARTITION subp_2 VALUES (2))"
             " (PARTITION p1 VALUES LESS THAN (TO_DATE(' 2000-01-01 00:00:00', 'SYYYY-MM-DD HH24:MI:SS',"
             " 'NLS_CALENDAR=GREGORIAN')))");
  EXPECT_EQ(Ddl("TABLE", "LOC"),
            "\n  CREATE TABLE \"APP\".\"LOC\" \n   (\t\"ID\" NUMBER, \n\t\"REF_DAY\" DATE, \n\t\"DEV\" NUMBER\n"
            "   ) \n  PARTITION BY RANGE (\"REF_DAY\") INTERVAL (INTERVAL '1' DAY) \n  SUBPARTITION BY LIST"
            " (\"DEV\") \n  SUBPARTITION TEMPLATE ( \n    SUBPARTITION \"SUBP_1\" VALUES ( 1 ), \n    SUBPARTITION"
            " \"SUBP_2\" VALUES ( 2 ) ) \n (PARTITION \"P1\"  VALUES LESS THAN (TO_DATE(' 2000-01-01 00:00:00',"
            " 'SYYYY-MM-DD HH24:MI:SS', 'NLS_CALENDAR=GREGORIAN')) ) ");

  // Every text replays: the same statement made in another schema gives
  // the same text there.
  MakeUser("COPY");
  Conn copy;
  ASSERT_EQ(copy.Open(path_, "copy", "copy"), OCI_SUCCESS);
  Must(copy, "BEGIN DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM,"
             " 'SEGMENT_ATTRIBUTES', FALSE); END;");
  for (const char* t : {"SALES", "EVENTS", "REGIONS", "LOC"}) {
    std::string ddl = Ddl("TABLE", t);
    std::string replay = ddl;
    for (size_t at; (at = replay.find("\"APP\".")) != std::string::npos;) replay.erase(at, 6);
    Must(copy, replay);
    std::string again = One(copy, std::string("SELECT DBMS_METADATA.GET_DDL('TABLE', '") + t + "') FROM dual");
    for (size_t at; (at = again.find("\"COPY\".")) != std::string::npos;) again.replace(at, 7, "\"APP\".");
    EXPECT_EQ(again, ddl) << t;
  }
}

TEST_F(PartitionTest, IndexOrganizedTablesKeepTheirKeyAndOptions) {
  EXPECT_EQ(Exec(app_, "CREATE TABLE nokey (a NUMBER) ORGANIZATION INDEX"), 25175);
  EXPECT_EQ(Exec(app_, "CREATE TABLE t (a NUMBER PRIMARY KEY, b NUMBER) ORGANIZATION INDEX INCLUDING b"), 25186);
  Must(app_, "CREATE TABLE countries (code CHAR(2), name VARCHAR2(40), notes VARCHAR2(2000),"
             " CONSTRAINT countries_pk PRIMARY KEY (code)) ORGANIZATION INDEX"
             " PCTTHRESHOLD 50 INCLUDING name OVERFLOW");
  Must(app_, "INSERT INTO countries VALUES ('US', 'United States', NULL)");
  Must(app_, "INSERT INTO countries VALUES ('DE', 'Germany', 'x')");
  EXPECT_EQ(Exec(app_, "INSERT INTO countries VALUES ('DE', 'again', NULL)"), 1);
  Must(app_, "CREATE INDEX countries_name ON countries (name)");
  EXPECT_EQ(One(app_, "SELECT code FROM countries WHERE name = 'Germany'"), "DE");
  EXPECT_EQ(Query(app_, "SELECT table_name, iot_type, tablespace_name FROM user_tables"),
            (std::vector<Row>{{"COUNTRIES", "IOT", "<null>"}}));
  EXPECT_EQ(Query(app_, "SELECT index_name, index_type FROM user_indexes ORDER BY index_name"),
            (std::vector<Row>{{"COUNTRIES_NAME", "NORMAL"}, {"COUNTRIES_PK", "IOT - TOP"}}));
  const std::string storage =
      "  STORAGE(INITIAL 65536 NEXT 1048576 MINEXTENTS 1 MAXEXTENTS 2147483645\n  PCTINCREASE 0 FREELISTS 1"
      " FREELIST GROUPS 1\n  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)\n";
  const std::string head =
      "\n  CREATE TABLE \"APP\".\"COUNTRIES\" \n   (\t\"CODE\" CHAR(2), \n\t\"NAME\" VARCHAR2(40), \n\t\"NOTES\""
      " VARCHAR2(2000), \n\t CONSTRAINT \"COUNTRIES_PK\" PRIMARY KEY (\"CODE\") ENABLE\n   ) ";
  EXPECT_EQ(Ddl("TABLE", "COUNTRIES"),
            head + "ORGANIZATION INDEX NOCOMPRESS PCTFREE 10 INITRANS 2 MAXTRANS 255 LOGGING\n" + storage +
                "  TABLESPACE \"USERS\" \n PCTTHRESHOLD 50 INCLUDING \"NAME\" OVERFLOW\n PCTFREE 10 PCTUSED 40"
                " INITRANS 1 MAXTRANS 255 LOGGING\n" + storage + "  TABLESPACE \"USERS\" ");
  // The key stays inline even when constraints are left out of the text.
  Must(app_, "BEGIN DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'CONSTRAINTS',"
             " FALSE); END;");
  SegmentAttributes(false);
  EXPECT_EQ(Ddl("TABLE", "COUNTRIES"),
            head + "ORGANIZATION INDEX NOCOMPRESS \n PCTTHRESHOLD 50 INCLUDING \"NAME\" OVERFLOW\n ");
  Must(app_, "DROP TABLE countries");
  Must(app_, "CREATE TABLE countries (code CHAR(2) PRIMARY KEY) ORGANIZATION INDEX COMPRESS 1");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_tables WHERE iot_type = 'IOT'"), "1");
}

TEST_F(PartitionTest, AnIndexOrganizedTableIsScannedInKeyOrder) {
  // A key of a number then a string: 10 sorts after 9 (not as text), and
  // the second column decides within one number.
  Must(app_, "CREATE TABLE iot (n NUMBER, s VARCHAR2(10), v VARCHAR2(10),"
             " CONSTRAINT iot_pk PRIMARY KEY (n, s)) ORGANIZATION INDEX");
  Must(app_, "CREATE INDEX iot_v ON iot (v)");
  for (const char* r : {"(10, 'b', 'a')", "(9, 'z', 'c')", "(10, 'a', 'b')", "(-1, 'q', 'd')", "(100, 'a', 'e')"})
    Must(app_, std::string("INSERT INTO iot VALUES ") + r);
  const std::vector<Row> keyed = {{"-1", "q"}, {"9", "z"}, {"10", "a"}, {"10", "b"}, {"100", "a"}};
  EXPECT_EQ(Query(app_, "SELECT n, s FROM iot"), keyed);
  std::vector<Row> star = Query(app_, "SELECT * FROM iot");
  ASSERT_EQ(star.size(), 5u);
  EXPECT_EQ(star[2], (Row{"10", "a", "b"}));
  // A condition on the secondary index's column does not change the order,
  // nor does ROWNUM, which numbers the rows in key order.
  EXPECT_EQ(Query(app_, "SELECT n FROM iot WHERE v > 'a'"), (std::vector<Row>{{"-1"}, {"9"}, {"10"}, {"100"}}));
  EXPECT_EQ(Query(app_, "SELECT n, s FROM iot WHERE ROWNUM <= 2"), (std::vector<Row>{{"-1", "q"}, {"9", "z"}}));
  // An ORDER BY of the query's own still wins.
  EXPECT_EQ(Query(app_, "SELECT v FROM iot ORDER BY v DESC"),
            (std::vector<Row>{{"e"}, {"d"}, {"c"}, {"b"}, {"a"}}));
  // A row whose key is updated moves to its new place.
  Must(app_, "UPDATE iot SET n = 50 WHERE n = -1");
  EXPECT_EQ(Query(app_, "SELECT n FROM iot"), (std::vector<Row>{{"9"}, {"10"}, {"10"}, {"50"}, {"100"}}));
  // Aggregates and DISTINCT are left alone.
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM iot"), "5");
  EXPECT_EQ(Query(app_, "SELECT DISTINCT n FROM iot ORDER BY 1").size(), 4u);
}

TEST_F(PartitionTest, ADatabaseWithoutTheOptionRefusesPartitioning) {
  EXPECT_EQ(One(app_, "SELECT value FROM v$option WHERE parameter = 'Partitioning'"), "TRUE");
  setenv("TABDB_PARTITIONING", "FALSE", 1);
  int code = Exec(app_, kSales);
  std::string shown = One(app_, "SELECT value FROM v$option WHERE parameter = 'Partitioning'");
  unsetenv("TABDB_PARTITIONING");
  EXPECT_EQ(code, 439);
  EXPECT_EQ(shown, "FALSE");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM user_tables"), "0");
  Must(app_, kSales);
}

}  // namespace
}  // namespace ocitest
