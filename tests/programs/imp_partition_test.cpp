// imp_partition_test.cpp - partitioned and index-organized tables through
// tabexp and tabimp as processes: exported without a warning, imported with
// their partitions, rows per partition, indexes and organization; and
// PARTITION_OPTIONS=MERGE into a database that refuses partitioning.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::CreateDatabase;
using testsupport::ProcResult;
using testsupport::RunSql;
using testsupport::TempDir;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

const char kSchema[] =
    "CREATE TABLE sales (id NUMBER(10) NOT NULL, sold DATE, region VARCHAR2(10),\n"
    "  CONSTRAINT sales_pk PRIMARY KEY (id))\n"
    "  PARTITION BY RANGE (sold) (PARTITION p2023 VALUES LESS THAN (DATE '2024-01-01'),\n"
    "  PARTITION pmax VALUES LESS THAN (MAXVALUE)) ENABLE ROW MOVEMENT;\n"
    "CREATE INDEX sales_region ON sales (region) LOCAL;\n"
    "CREATE INDEX sales_id ON sales (id, region) GLOBAL PARTITION BY RANGE (id)\n"
    "  (PARTITION g1 VALUES LESS THAN (3), PARTITION g2 VALUES LESS THAN (MAXVALUE));\n"
    "INSERT INTO sales VALUES (1, DATE '2023-02-01', 'EU');\n"
    "INSERT INTO sales VALUES (2, DATE '2024-02-01', 'UK');\n"
    "INSERT INTO sales VALUES (3, NULL, 'US');\n"
    "CREATE TABLE regions (code VARCHAR2(2)) PARTITION BY LIST (code)\n"
    "  (PARTITION p_eu VALUES ('EU', 'UK'), PARTITION p_rest VALUES (DEFAULT));\n"
    "INSERT INTO regions VALUES ('EU');\n"
    "INSERT INTO regions VALUES ('ZZ');\n"
    "CREATE TABLE hashed (id NUMBER) PARTITION BY HASH (id) PARTITIONS 4;\n"
    "INSERT INTO hashed SELECT LEVEL FROM dual CONNECT BY LEVEL <= 40;\n"
    "CREATE TABLE readings (day DATE, dev NUMBER) PARTITION BY RANGE (day)\n"
    "  SUBPARTITION BY LIST (dev) SUBPARTITION TEMPLATE\n"
    "  (SUBPARTITION s1 VALUES (1), SUBPARTITION s2 VALUES (DEFAULT))\n"
    "  (PARTITION p1 VALUES LESS THAN (DATE '2020-01-01'), PARTITION p2 VALUES LESS THAN (MAXVALUE));\n"
    "INSERT INTO readings VALUES (DATE '2019-01-01', 1);\n"
    "INSERT INTO readings VALUES (DATE '2021-01-01', 7);\n"
    "CREATE TABLE countries (code CHAR(2), name VARCHAR2(40),\n"
    "  CONSTRAINT countries_pk PRIMARY KEY (code)) ORGANIZATION INDEX INCLUDING name OVERFLOW;\n"
    "INSERT INTO countries VALUES ('DE', 'Germany');\n"
    "INSERT INTO countries VALUES ('US', 'United States');\n"
    "CREATE INDEX countries_name ON countries (name);\n"
    "COMMIT;\n";

// What must be equal on both sides: partitions with their bounds and rows,
// subpartitions, partitioned indexes, organization, constraints.
const char kCompare[] =
    "SELECT table_name || ' ' || partition_name || ' ' || partition_position || ' ' || high_value\n"
    "  FROM user_tab_partitions ORDER BY table_name, partition_position;\n"
    "SELECT table_name || ' ' || partition_name || ' ' || subpartition_name || ' ' || high_value\n"
    "  FROM user_tab_subpartitions ORDER BY table_name, partition_position, subpartition_position;\n"
    "SELECT index_name || ' ' || locality || ' ' || partition_count FROM user_part_indexes ORDER BY 1;\n"
    "SELECT index_name || ' ' || partition_name || ' ' || high_value FROM user_ind_partitions ORDER BY 1;\n"
    "SELECT table_name || ' ' || partitioned || ' ' || iot_type FROM user_tables ORDER BY 1;\n"
    "SELECT constraint_name || ' ' || constraint_type FROM user_constraints\n"
    "  WHERE generated = 'USER NAME' ORDER BY 1;\n"
    "SELECT 'p2023 ' || COUNT(*) FROM sales PARTITION (p2023);\n"
    "SELECT 'pmax ' || COUNT(*) FROM sales PARTITION (pmax);\n"
    "SELECT 'p_rest ' || code FROM regions PARTITION (p_rest);\n"
    "SELECT 'p2_s2 ' || dev FROM readings SUBPARTITION (p2_s2);\n"
    "SELECT 'hashed ' || COUNT(*) || ' ' || SUM(id) FROM hashed;\n"
    "SELECT code || ' ' || name FROM countries ORDER BY code;\n";

class PartitionRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("db");
    dump_ = dir_.file("src.dmp");
    CreateDatabase(db_, "manager");
    Sql(db_, "CREATE USER src IDENTIFIED BY src;\nGRANT DBA TO src;\n"
             "CREATE USER dst IDENTIFIED BY dst;\nGRANT DBA TO dst;\n",
        "system/manager");
    Sql(db_, kSchema);
  }
  void Sql(const std::string& db, const std::string& script, const std::string& user = "src/src",
           const std::vector<std::string>& env = {kNls}) {
    ProcResult r = RunSql(user + "@" + db, script, env);
    ASSERT_EQ(0, r.status) << script << "\n" << r.out << r.err;
  }
  std::string Out(const std::string& db, const std::string& user, const std::string& script) {
    ProcResult r = RunSql(user + "@" + db, script, {kNls});
    EXPECT_EQ(0, r.status) << r.err;
    return r.out;
  }
  ProcResult Export() {
    return testsupport::Run({TABEXP_PATH, "src/src@" + db_, "FILE=" + dump_, "OWNER=SRC"}, {kNls});
  }
  ProcResult Import(const std::string& db, std::vector<std::string> more,
                    const std::vector<std::string>& env = {kNls}) {
    std::vector<std::string> argv = {TABIMP_PATH, "src/src@" + db, "FILE=" + dump_};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, env);
  }

  TempDir dir_;
  std::string db_, dump_;
};

TEST_F(PartitionRoundTrip, PartitionsRowsIndexesAndOrganizationArriveEqual) {
  ProcResult e = Export();
  ASSERT_EQ(0, e.status) << e.err;
  EXPECT_EQ(std::string::npos, e.err.find("not exported")) << e.err;
  EXPECT_EQ(std::string::npos, e.err.find("Warning")) << e.err;

  ProcResult i = Import(db_, {"TOUSER=dst"});
  ASSERT_EQ(0, i.status) << i.err;
  std::string before = Out(db_, "src/src", kCompare);
  std::string after = Out(db_, "dst/dst", kCompare);
  EXPECT_EQ(before, after);
  // The comparison saw what it should: every kind made it.
  for (const char* seen : {"SALES P2023 1 TO_DATE(' 2024-01-01", "REGIONS P_REST 2 DEFAULT",
                           "READINGS P2 P2_S2 DEFAULT", "SALES_REGION LOCAL 2", "SALES_ID G2 MAXVALUE",
                           "COUNTRIES NO IOT", "HASHED YES", "p2023 1", "pmax 2", "p_rest ZZ",
                           "p2_s2 7", "hashed 40 820", "DE Germany"})
    EXPECT_NE(std::string::npos, after.find(seen)) << seen << "\n" << after;

  // Rows keep routing in the copy: the bounds came across, not just names.
  ProcResult bad = RunSql("dst/dst@" + db_, "INSERT INTO regions VALUES (NULL);\n"
                          "INSERT INTO sales VALUES (9, DATE '2030-01-01', 'EU');\n"
                          "SELECT 'moved ' || COUNT(*) FROM sales PARTITION (pmax);\n", {kNls});
  EXPECT_NE(std::string::npos, bad.out.find("moved 3")) << bad.out << bad.err;
}

TEST_F(PartitionRoundTrip, MergeCreatesOneTableWhereTheTargetCannotPartition) {
  ASSERT_EQ(0, Export().status);
  std::string target = dir_.file("plain.db");
  CreateDatabase(target, "manager");
  Sql(target, "CREATE USER src IDENTIFIED BY src;\nGRANT DBA TO src;\n", "system/manager");
  std::vector<std::string> refusing = {kNls, "TABDB_PARTITIONING=FALSE"};

  // By default the partitions are kept, and such a target refuses them.
  ProcResult kept = Import(target, {}, refusing);
  EXPECT_NE(0, kept.status);
  EXPECT_NE(std::string::npos, kept.err.find("ORA-00439")) << kept.err;

  Sql(target, "DROP USER src CASCADE;\nCREATE USER src IDENTIFIED BY src;\nGRANT DBA TO src;\n",
      "system/manager");
  ProcResult merged = Import(target, {"PARTITION_OPTIONS=MERGE"}, refusing);
  ASSERT_NE(255, merged.status) << merged.err;
  for (const char* t : {"SALES", "REGIONS", "HASHED", "READINGS"})
    EXPECT_NE(std::string::npos,
              merged.err.find(std::string("Table \"") + t + "\": partitions merged into one table"))
        << t << "\n" << merged.err;
  EXPECT_NE(std::string::npos, merged.err.find("Index \"SALES_REGION\": partitions merged")) << merged.err;
  // An index-organized table is no partitioning: it stays what it was.
  EXPECT_EQ(std::string::npos, merged.err.find("COUNTRIES\": partitions")) << merged.err;
  std::string out = Out(target, "src/src",
                        "SELECT table_name || ' ' || partitioned || ' ' || iot_type FROM user_tables ORDER BY 1;\n"
                        "SELECT 'rows ' || (SELECT COUNT(*) FROM sales) || ' ' || (SELECT COUNT(*) FROM hashed)"
                        " || ' ' || (SELECT COUNT(*) FROM readings) FROM dual;\n"
                        "SELECT 'idx ' || COUNT(*) FROM user_indexes WHERE index_name IN"
                        " ('SALES_REGION', 'SALES_ID');\n");
  for (const char* seen : {"SALES NO", "HASHED NO", "READINGS NO", "REGIONS NO", "COUNTRIES NO IOT",
                           "rows 3 40 2", "idx 2"})
    EXPECT_NE(std::string::npos, out.find(seen)) << seen << "\n" << out;
}

}  // namespace
