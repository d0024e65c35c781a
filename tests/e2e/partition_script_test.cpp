// partition_script_test.cpp - a schema of partitioned tables (range, list,
// hash, composite) with local and global indexes, an index-organized table
// with a secondary index and a materialized view with its log, carried by
// tabexp, written out by tabdump --sql and run through tabsql into another
// schema: partitions, keys, indexes and the dictionary come out equal, and
// the rows loaded afterwards too. The export writes an index-organized
// table's rows in key order.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::ProcResult;
using testsupport::RunSql;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

const char kSchema[] =
    "CREATE TABLE sales (id NUMBER(10) NOT NULL, sold DATE, region VARCHAR2(10),\n"
    "  CONSTRAINT sales_pk PRIMARY KEY (id))\n"
    "  PARTITION BY RANGE (sold) (PARTITION p2023 VALUES LESS THAN (DATE '2024-01-01'),\n"
    "  PARTITION pmax VALUES LESS THAN (MAXVALUE));\n"
    "CREATE INDEX sales_region ON sales (region) LOCAL;\n"
    "CREATE INDEX sales_id ON sales (id, region) GLOBAL PARTITION BY RANGE (id)\n"
    "  (PARTITION g1 VALUES LESS THAN (3), PARTITION g2 VALUES LESS THAN (MAXVALUE));\n"
    "INSERT INTO sales VALUES (1, DATE '2023-02-01', 'EU');\n"
    "INSERT INTO sales VALUES (2, DATE '2024-02-01', 'UK');\n"
    "INSERT INTO sales VALUES (3, NULL, 'US');\n"
    "CREATE TABLE regions (code VARCHAR2(2), name VARCHAR2(20)) PARTITION BY LIST (code)\n"
    "  (PARTITION p_eu VALUES ('EU', 'UK'), PARTITION p_null VALUES (NULL),\n"
    "   PARTITION p_rest VALUES (DEFAULT));\n"
    "INSERT INTO regions VALUES ('EU', 'Europe');\n"
    "INSERT INTO regions VALUES ('ZZ', 'Other');\n"
    "INSERT INTO regions VALUES (NULL, 'None');\n"
    "CREATE TABLE hashed (id NUMBER) PARTITION BY HASH (id)\n"
    "  (PARTITION h1, PARTITION h2, PARTITION h3, PARTITION h4);\n"
    "INSERT INTO hashed SELECT LEVEL FROM dual CONNECT BY LEVEL <= 40;\n"
    "CREATE TABLE readings (day DATE, dev NUMBER, val NUMBER) PARTITION BY RANGE (day)\n"
    "  SUBPARTITION BY LIST (dev) SUBPARTITION TEMPLATE\n"
    "  (SUBPARTITION s1 VALUES (1), SUBPARTITION s2 VALUES (DEFAULT))\n"
    "  (PARTITION p1 VALUES LESS THAN (DATE '2020-01-01'), PARTITION p2 VALUES LESS THAN (MAXVALUE));\n"
    "CREATE INDEX readings_dev ON readings (dev) LOCAL;\n"
    "INSERT INTO readings VALUES (DATE '2019-01-01', 1, 10);\n"
    "INSERT INTO readings VALUES (DATE '2021-01-01', 7, 20);\n"
    "CREATE TABLE logs (id NUMBER, at DATE) PARTITION BY RANGE (at)\n"
    "  SUBPARTITION BY HASH (id) SUBPARTITIONS 2\n"
    "  (PARTITION l1 VALUES LESS THAN (DATE '2022-01-01'), PARTITION l2 VALUES LESS THAN (MAXVALUE));\n"
    "INSERT INTO logs VALUES (1, DATE '2021-06-01');\n"
    "INSERT INTO logs VALUES (2, DATE '2023-06-01');\n"
    "CREATE TABLE countries (code NUMBER(4), name VARCHAR2(40),\n"
    "  CONSTRAINT countries_pk PRIMARY KEY (code)) ORGANIZATION INDEX;\n"
    "CREATE INDEX countries_name ON countries (name);\n"
    "INSERT INTO countries VALUES (49, 'Germany');\n"
    "INSERT INTO countries VALUES (1, 'United States');\n"
    "INSERT INTO countries VALUES (100, 'Hundred');\n"
    "INSERT INTO countries VALUES (33, 'France');\n"
    "CREATE MATERIALIZED VIEW LOG ON sales WITH ROWID, SEQUENCE (region) INCLUDING NEW VALUES;\n"
    "CREATE MATERIALIZED VIEW sales_by_region BUILD IMMEDIATE REFRESH COMPLETE ON DEMAND\n"
    "  AS SELECT region, COUNT(*) n FROM sales GROUP BY region;\n"
    "COMMIT;\n";

// The dictionary of one schema (% stands for it), without its name.
const char kDictionary[] =
    "SELECT table_name, partitioning_type, subpartitioning_type, partition_count, def_subpartition_count\n"
    "  FROM all_part_tables WHERE owner = '%' ORDER BY 1;\n"
    "SELECT table_name, partition_name, partition_position, high_value, composite, subpartition_count\n"
    "  FROM all_tab_partitions WHERE table_owner = '%' ORDER BY 1, 3;\n"
    "SELECT table_name, partition_name, subpartition_name, subpartition_position, high_value\n"
    "  FROM all_tab_subpartitions WHERE table_owner = '%' ORDER BY 1, 2, 4;\n"
    "SELECT name, object_type, column_name, column_position FROM all_part_key_columns\n"
    "  WHERE owner = '%' ORDER BY 1, 2, 4;\n"
    "SELECT name, object_type, column_name, column_position FROM all_subpart_key_columns\n"
    "  WHERE owner = '%' ORDER BY 1, 2, 4;\n"
    "SELECT index_name, table_name, partitioning_type, locality, partition_count FROM all_part_indexes\n"
    "  WHERE owner = '%' ORDER BY 1;\n"
    "SELECT index_name, partition_name, partition_position, high_value, composite FROM all_ind_partitions\n"
    "  WHERE index_owner = '%' ORDER BY 1, 3;\n"
    "SELECT index_name, table_name, index_type, uniqueness, partitioned FROM all_indexes\n"
    "  WHERE owner = '%' ORDER BY 1;\n"
    "SELECT index_name, column_name, column_position FROM all_ind_columns\n"
    "  WHERE index_owner = '%' ORDER BY 1, 3;\n"
    "SELECT table_name, partitioned, iot_type FROM all_tables WHERE owner = '%' ORDER BY 1;\n"
    "SELECT table_name, column_name, data_type, data_length, data_precision, data_scale, nullable\n"
    "  FROM all_tab_columns WHERE owner = '%' ORDER BY 1, column_id;\n"
    "SELECT constraint_name, constraint_type, table_name FROM all_constraints\n"
    "  WHERE owner = '%' AND generated = 'USER NAME' ORDER BY 1;\n"
    "SELECT mview_name, refresh_mode, refresh_method, build_mode, query FROM all_mviews\n"
    "  WHERE owner = '%' ORDER BY 1;\n"
    "SELECT master, rowids, primary_key, sequence, filter_columns, include_new_values FROM all_mview_logs\n"
    "  WHERE log_owner = '%' ORDER BY 1;\n"
    "SELECT object_name, object_type, subobject_name FROM all_objects WHERE owner = '%'\n"
    "  AND object_name NOT LIKE 'SYS%' ORDER BY 1, 2, 3;\n";

std::string ForOwner(std::string text, const std::string& owner) {
  for (size_t at; (at = text.find("'%'")) != std::string::npos;) text.replace(at, 3, "'" + owner + "'");
  return text;
}

class PartitionScript : public testsupport::AppShellTest {
 protected:
  void SetUp() override {
    AppShellTest::SetUp();
    ProcResult r = RunSql("system/manager@" + path_,
                          "GRANT DBA TO app;\nCREATE USER copy IDENTIFIED BY copy;\nGRANT DBA TO copy;\n"
                          "CREATE USER heap IDENTIFIED BY heap;\nGRANT DBA TO heap;\n");
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunSql("app/app@" + path_, kSchema, {kNls});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.err, "");
    dump_ = dir_.file("app.dmp");
    r = testsupport::Run({TABEXP_PATH, "app/app@" + path_, "FILE=" + dump_, "OWNER=app"}, {kNls});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }
  std::string Out(const std::string& user, const std::string& script) {
    ProcResult r = RunSql(user + "@" + path_, script, {kNls});
    EXPECT_EQ(r.status, 0) << script << "\n" << r.err;
    EXPECT_EQ(r.err, "") << script;
    return r.out;
  }
  ProcResult Import(const std::string& to, const std::vector<std::string>& more) {
    std::vector<std::string> argv = {TABIMP_PATH, "system/manager@" + path_, "FILE=" + dump_, "TOUSER=" + to};
    argv.insert(argv.end(), more.begin(), more.end());
    return testsupport::Run(argv, {kNls});
  }

  std::string dump_;
};

TEST_F(PartitionScript, TheScriptRebuildsPartitionsIndexesAndViewsEqual) {
  ProcResult d = testsupport::Run({TABDUMP_PATH, "--sql", dump_}, {kNls});
  ASSERT_EQ(d.status, 0) << d.err;
  ProcResult s = RunSql("copy/copy@" + path_, d.out, {kNls});
  EXPECT_EQ(s.status, 0);
  EXPECT_EQ(s.err, "") << d.out;

  std::string before = Out("system/manager", ForOwner(kDictionary, "APP"));
  std::string after = Out("system/manager", ForOwner(kDictionary, "COPY"));
  EXPECT_EQ(before, after);
  // Every kind was seen by the comparison.
  for (const char* seen : {"SALES|P2023|1|TO_DATE(' 2024-01-01", "REGIONS|P_NULL|2|NULL", "HASHED|H4|4|",
                           "READINGS|P2|P2_S2|2|DEFAULT", "LOGS|RANGE|HASH|2|2", "SALES_REGION|SALES|RANGE|LOCAL|2",
                           "SALES_ID|G2|2|MAXVALUE", "READINGS_DEV|READINGS|RANGE|LOCAL|2",
                           "COUNTRIES_PK|COUNTRIES|IOT - TOP|UNIQUE|NO", "COUNTRIES|NO|IOT",
                           "SALES_BY_REGION|DEMAND|COMPLETE|IMMEDIATE", "SALES|YES|NO|YES|YES|YES"})
    EXPECT_NE(after.find(seen), std::string::npos) << seen << "\n" << after;

  // The rows follow into the tables the script made; rows keep routing to
  // the partitions whose bounds came across.
  ProcResult i = Import("copy", {"IGNORE=Y"});
  EXPECT_EQ(i.status, 0) << i.out << i.err;
  Out("copy/copy", "EXECUTE DBMS_MVIEW.REFRESH('SALES_BY_REGION');\n");
  const char kRows[] =
      "SELECT 'sales', id, sold, region FROM sales ORDER BY 2;\n"
      "SELECT 'p2023', COUNT(*) FROM sales PARTITION (p2023);\n"
      "SELECT 'p_null', name FROM regions PARTITION (p_null);\n"
      "SELECT 'p_rest', code FROM regions PARTITION (p_rest);\n"
      "SELECT 'hashed', COUNT(*), SUM(id) FROM hashed;\n"
      "SELECT 'h1', COUNT(*), SUM(id) FROM hashed PARTITION (h1);\n"
      "SELECT 'p2_s2', dev, val FROM readings SUBPARTITION (p2_s2);\n"
      "SELECT 'l2', id FROM logs PARTITION (l2);\n"
      "SELECT 'countries', code, name FROM countries;\n"
      "SELECT 'mv', region, n FROM sales_by_region ORDER BY 2;\n";
  std::string rows_before = Out("app/app", kRows);
  EXPECT_EQ(Out("copy/copy", kRows), rows_before);
  for (const char* seen : {"p2023|1", "p_null|None", "p_rest|ZZ", "hashed|40|820", "p2_s2|7|20", "l2|2",
                           "countries|1|United States\ncountries|33|", "mv|US|1"})
    EXPECT_NE(rows_before.find(seen), std::string::npos) << seen << "\n" << rows_before;
  EXPECT_EQ(Out("system/manager", ForOwner(kDictionary, "COPY")), after);
}

TEST_F(PartitionScript, TheExportWritesAnIndexOrganizedTablesRowsInKeyOrder) {
  // Loaded into an ordinary table, the rows stand in the order the dump
  // holds them, which a scan of that table shows.
  Out("heap/heap", "CREATE TABLE countries (code NUMBER(4), name VARCHAR2(40));\n");
  ProcResult i = Import("heap", {"TABLES=countries", "IGNORE=Y"});
  EXPECT_EQ(i.status, 0) << i.out << i.err;
  ProcResult r = RunSql("heap/heap@" + path_, "SELECT code FROM countries;\n", {kNls});
  EXPECT_EQ(r.out, "CODE\n1\n33\n49\n100\n");
}

}  // namespace
