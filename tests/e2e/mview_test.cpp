// mview_test.cpp - materialized views and their logs: made, refreshed and
// dropped in the embedded database as Oracle's SQL reference writes them,
// their dictionary rows and DBMS_METADATA texts, the errors of misuse, and
// a schema holding them carried through tabexp and tabimp (and through
// tabdump --sql) with their rows, build state and logs, and the rights an
// import builds them with.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fakeoci/dump_builder.h"
#include "support.h"

namespace {

using testsupport::ExpectInOrder;
using testsupport::ProcResult;
using testsupport::RunSql;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

// Tables shaped after the sales history sample, and the materialized view
// examples of Oracle's SQL reference written as it writes them.
const char kReferenceScript[] =
    "CREATE TABLE times (time_id DATE PRIMARY KEY, calendar_month_desc VARCHAR2(8),\n"
    "  calendar_year NUMBER(4));\n"
    "CREATE TABLE customers (cust_id NUMBER PRIMARY KEY, cust_state_province VARCHAR2(40));\n"
    "CREATE TABLE sales (prod_id NUMBER, cust_id NUMBER, time_id DATE, quantity_sold NUMBER,\n"
    "  amount_sold NUMBER(10,2));\n"
    "INSERT INTO times VALUES (DATE '2024-01-05', '2024-01', 2024);\n"
    "INSERT INTO times VALUES (DATE '2024-02-07', '2024-02', 2024);\n"
    "INSERT INTO customers VALUES (1, 'CA');\n"
    "INSERT INTO customers VALUES (2, 'NY');\n"
    "INSERT INTO sales VALUES (10, 1, DATE '2024-01-05', 1, 100);\n"
    "INSERT INTO sales VALUES (10, 2, DATE '2024-01-05', 2, 50);\n"
    "INSERT INTO sales VALUES (11, 1, DATE '2024-02-07', 1, 25);\n"
    "COMMIT;\n"
    "CREATE MATERIALIZED VIEW LOG ON times\n"
    "   WITH ROWID, SEQUENCE (time_id, calendar_year)\n"
    "   INCLUDING NEW VALUES PURGE REPEAT INTERVAL '5' DAY;\n"
    "CREATE MATERIALIZED VIEW LOG ON sales\n"
    "   WITH ROWID, SEQUENCE (amount_sold, time_id, prod_id)\n"
    "   INCLUDING NEW VALUES;\n"
    "CREATE MATERIALIZED VIEW LOG ON customers WITH PRIMARY KEY, ROWID;\n"
    "CREATE MATERIALIZED VIEW sales_by_month_by_state\n"
    "     TABLESPACE users\n"
    "     PARALLEL 4\n"
    "     BUILD IMMEDIATE\n"
    "     REFRESH COMPLETE\n"
    "     ENABLE QUERY REWRITE\n"
    "     AS SELECT t.calendar_month_desc, c.cust_state_province,\n"
    "        SUM(s.amount_sold) AS sum_sales\n"
    "        FROM times t, sales s, customers c\n"
    "        WHERE s.time_id = t.time_id AND s.cust_id = c.cust_id\n"
    "        GROUP BY t.calendar_month_desc, c.cust_state_province;\n"
    "CREATE MATERIALIZED VIEW sales_mv\n"
    "   BUILD IMMEDIATE\n"
    "   REFRESH FAST ON COMMIT\n"
    "   AS SELECT t.calendar_year, s.prod_id,\n"
    "      SUM(s.amount_sold) AS sum_sales\n"
    "      FROM times t, sales s\n"
    "      WHERE t.time_id = s.time_id\n"
    "      GROUP BY t.calendar_year, s.prod_id;\n"
    "CREATE MATERIALIZED VIEW cust_data\n"
    "   PCTFREE 5 PCTUSED 60\n"
    "   TABLESPACE users\n"
    "   STORAGE (INITIAL 50K)\n"
    "   REFRESH FAST NEXT sysdate + 7\n"
    "   AS SELECT * FROM customers;\n"
    "CREATE MATERIALIZED VIEW order_data REFRESH WITH ROWID\n"
    "   AS SELECT * FROM sales;\n"
    "CREATE MATERIALIZED VIEW month_later BUILD DEFERRED REFRESH COMPLETE ON DEMAND\n"
    "   AS SELECT calendar_month_desc, COUNT(*) n FROM times GROUP BY calendar_month_desc;\n";

class Mviews : public testsupport::AppShellTest {
 protected:
  void SetUp() override {
    AppShellTest::SetUp();
    ProcResult r = App(kReferenceScript);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.err, "");
  }
  std::string Rows(const std::string& query, const std::string& user = "app/app") {
    ProcResult r = RunSql(user + "@" + path_, query + "\n");
    EXPECT_EQ(r.status, 0) << query << "\n" << r.err;
    size_t nl = r.out.find('\n');
    return nl == std::string::npos ? "" : r.out.substr(nl + 1);
  }
};

TEST_F(Mviews, BuiltRefreshedAndDescribedAsOraclesReferenceWritesThem) {
  EXPECT_EQ(Rows("SELECT * FROM sales_by_month_by_state ORDER BY 1, 2;"), "2024-01|CA|100\n2024-01|NY|50\n2024-02|CA|25\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM month_later;"), "0\n");
  EXPECT_EQ(Rows("SELECT mview_name, container_name, refresh_mode, refresh_method, build_mode,"
                 " rewrite_enabled, last_refresh_type, staleness FROM user_mviews ORDER BY 1;"),
            "CUST_DATA|CUST_DATA|DEMAND|FAST|IMMEDIATE|N|COMPLETE|FRESH\n"
            "MONTH_LATER|MONTH_LATER|DEMAND|COMPLETE|DEFERRED|N|NA|UNUSABLE\n"
            "ORDER_DATA|ORDER_DATA|DEMAND|FORCE|IMMEDIATE|N|COMPLETE|FRESH\n"
            "SALES_BY_MONTH_BY_STATE|SALES_BY_MONTH_BY_STATE|DEMAND|COMPLETE|IMMEDIATE|Y|COMPLETE|FRESH\n"
            "SALES_MV|SALES_MV|COMMIT|FAST|IMMEDIATE|N|COMPLETE|FRESH\n");
  EXPECT_EQ(Rows("SELECT master, log_table, rowids, primary_key, sequence, filter_columns, include_new_values"
                 " FROM user_mview_logs ORDER BY 1;"),
            "CUSTOMERS|MLOG$_CUSTOMERS|YES|YES|NO|NO|NO\n"
            "SALES|MLOG$_SALES|YES|NO|YES|YES|YES\n"
            "TIMES|MLOG$_TIMES|YES|NO|YES|YES|YES\n");
  // Each view is two objects: the view and its container table.
  EXPECT_EQ(Rows("SELECT object_type, COUNT(*) FROM user_objects WHERE object_name = 'SALES_MV'"
                 " GROUP BY object_type ORDER BY 1;"),
            "MATERIALIZED VIEW|1\nTABLE|1\n");

  // New rows reach a view at its refresh (FAST and ON COMMIT views are
  // refreshed completely, on demand); several views in one call.
  ProcResult r = App(
      "INSERT INTO sales VALUES (11, 2, DATE '2024-02-07', 3, 75);\n"
      "COMMIT;\n"
      "EXECUTE DBMS_MVIEW.REFRESH('sales_by_month_by_state, APP.sales_mv', 'CF');\n"
      "BEGIN\n  DBMS_MVIEW.REFRESH('MONTH_LATER');\nEND;\n/\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Rows("SELECT * FROM sales_mv ORDER BY 2;"), "2024|10|150\n2024|11|100\n");
  EXPECT_EQ(Rows("SELECT * FROM month_later ORDER BY 1;"), "2024-01|1\n2024-02|1\n");
  EXPECT_EQ(Rows("SELECT staleness, last_refresh_type, CASE WHEN last_refresh_date IS NOT NULL THEN 'dated' END"
                 " FROM user_mviews WHERE mview_name = 'MONTH_LATER';"),
            "FRESH|COMPLETE|dated\n");

  // Dropping the view drops its container; the log goes with its table.
  r = App("DROP MATERIALIZED VIEW order_data;\n"
          "DROP TABLE customers;\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM user_objects WHERE object_name = 'ORDER_DATA';"), "0\n");
  EXPECT_EQ(Rows("SELECT master FROM user_mview_logs ORDER BY 1;"), "SALES\nTIMES\n");
}

TEST_F(Mviews, MisuseGivesOraclesErrors) {
  ProcResult r = App(
      "DROP TABLE sales_mv;\n"
      "DROP MATERIALIZED VIEW no_such_mv;\n"
      "EXECUTE DBMS_MVIEW.REFRESH('NO_SUCH_MV');\n"
      "EXECUTE DBMS_MVIEW.REFRESH('SALES_MV', 'Z');\n"
      "CREATE MATERIALIZED VIEW LOG ON sales;\n"
      "DROP MATERIALIZED VIEW LOG ON cust_data;\n"
      "CREATE MATERIALIZED VIEW LOG ON no_table;\n"
      "CREATE MATERIALIZED VIEW sales_mv AS SELECT * FROM times;\n"
      "CREATE MATERIALIZED VIEW sales AS SELECT * FROM times;\n"
      "CREATE MATERIALIZED VIEW pre ON PREBUILT TABLE AS SELECT * FROM times;\n"
      "CREATE TABLE pre (a NUMBER);\n"
      "CREATE MATERIALIZED VIEW pre ON PREBUILT TABLE AS SELECT * FROM times;\n"
      "CREATE MATERIALIZED VIEW bad AS SELECT * FROM no_table;\n"
      "SELECT COUNT(*) FROM user_objects WHERE object_name = 'BAD';\n");
  ExpectInOrder(r.err, {"ORA-12083: must use DROP MATERIALIZED VIEW to drop \"APP\".\"SALES_MV\"",
                        "ORA-12003: materialized view \"APP\".\"NO_SUCH_MV\" does not exist",
                        "ORA-23401: materialized view \"APP\".\"NO_SUCH_MV\" does not exist",
                        "ORA-01760",
                        "ORA-12000: a materialized view log already exists on table 'SALES'",
                        "ORA-12002: there is no materialized view log on table \"APP\".\"CUST_DATA\"",
                        "ORA-00942",
                        "ORA-00955",
                        "ORA-00955",
                        "ORA-12059: prebuilt table \"APP\".\"PRE\" does not exist",
                        "ORA-12060: shape of prebuilt table does not match definition query",
                        "ORA-00942"});
  EXPECT_EQ(r.out, "COUNT(*)\n0\n");
  // A container's rows change only through refreshes, unless the view is
  // updatable (FOR UPDATE).
  r = App("INSERT INTO sales_mv VALUES (2030, 1, 1);\n"
          "UPDATE cust_data SET cust_state_province = 'x';\n"
          "DELETE FROM sales_mv;\n"
          "CREATE MATERIALIZED VIEW upd FOR UPDATE AS SELECT * FROM customers;\n"
          "DELETE FROM upd;\n"
          "SELECT COUNT(*) FROM sales_mv;\n");
  size_t refused = 0;
  for (size_t at = r.err.find("ORA-01732"); at != std::string::npos; at = r.err.find("ORA-01732", at + 1))
    ++refused;
  EXPECT_EQ(refused, 3u) << r.err;
  EXPECT_EQ(r.out, "COUNT(*)\n2\n");
  // A prebuilt table stays when its view is dropped.
  r = App("DROP TABLE pre;\n"
          "CREATE TABLE pre (calendar_month_desc VARCHAR2(8), n NUMBER);\n"
          "INSERT INTO pre VALUES ('x', 1);\n"
          "CREATE MATERIALIZED VIEW pre ON PREBUILT TABLE\n"
          "  AS SELECT calendar_month_desc, COUNT(*) n FROM times GROUP BY calendar_month_desc;\n"
          "SELECT build_mode, staleness FROM user_mviews WHERE mview_name = 'PRE';\n"
          "DROP MATERIALIZED VIEW pre;\n"
          "SELECT COUNT(*) FROM pre;\n");
  EXPECT_EQ(r.out, "BUILD_MODE|STALENESS\nPREBUILT|UNKNOWN\nCOUNT(*)\n1\n") << r.err;
}

TEST_F(Mviews, RefreshReadsTheOwnersSchemaAndIsAllOrNothing) {
  // A DBA refreshes APP's view: its unqualified names are APP's tables,
  // not the DBA's, even when the DBA has a table of the same name.
  ProcResult r = RunSql("system/manager@" + path_,
                        "CREATE TABLE system.times (x NUMBER);\n"
                        "INSERT INTO app.times VALUES (DATE '2024-03-01', '2024-03', 2024);\n"
                        "COMMIT;\n"
                        "EXECUTE DBMS_MVIEW.REFRESH('APP.MONTH_LATER');\n"
                        "SELECT COUNT(*) FROM app.month_later;\n");
  EXPECT_EQ(r.out, "COUNT(*)\n3\n") << r.err;
  // Another user neither sees nor refreshes APP's views.
  r = RunSql("system/manager@" + path_, "CREATE USER bob IDENTIFIED BY bob;\n");
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunSql("bob/bob@" + path_, "EXECUTE DBMS_MVIEW.REFRESH('APP.MONTH_LATER');\n"
                                 "SELECT COUNT(*) FROM all_mviews;\n");
  ExpectInOrder(r.err, {"ORA-23401"});
  EXPECT_EQ(r.out, "COUNT(*)\n0\n");
  // A list refreshes together: when one view fails, none changes.
  r = App("INSERT INTO sales VALUES (12, 1, DATE '2024-01-05', 1, 1);\n"
          "COMMIT;\n"
          "CREATE TABLE gone (a NUMBER);\n"
          "CREATE MATERIALIZED VIEW over_gone AS SELECT a FROM gone;\n"
          "DROP TABLE gone;\n"
          "EXECUTE DBMS_MVIEW.REFRESH('SALES_MV, OVER_GONE');\n"
          "SELECT COUNT(*) FROM sales_mv;\n");
  ExpectInOrder(r.err, {"ORA-00942"});
  EXPECT_EQ(r.out, "COUNT(*)\n2\n");
  // Dropping the owner drops the views and the logs.
  r = RunSql("system/manager@" + path_,
             "DROP USER app CASCADE;\n"
             "SELECT COUNT(*) FROM dba_mviews;\n"
             "SELECT COUNT(*) FROM dba_mview_logs;\n"
             "SELECT COUNT(*) FROM dba_objects WHERE object_type = 'MATERIALIZED VIEW';\n");
  EXPECT_EQ(r.out, "COUNT(*)\n0\nCOUNT(*)\n0\nCOUNT(*)\n0\n") << r.err;
}

TEST_F(Mviews, MetadataWithoutSegmentAttributesAndAsTheExportReadsIt) {
  ProcResult r = App(
      "EXECUTE DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'SEGMENT_ATTRIBUTES', FALSE);\n"
      "SELECT DBMS_METADATA.GET_DDL('MATERIALIZED_VIEW', 'MONTH_LATER') FROM dual;\n");
  EXPECT_EQ(r.out.substr(r.out.find('\n') + 1),
            "\n  CREATE MATERIALIZED VIEW \"APP\".\"MONTH_LATER\" (\"CALENDAR_MONTH_DESC\", \"N\")\n"
            "  BUILD DEFERRED\n  USING INDEX \n  REFRESH COMPLETE ON DEMAND\n  USING DEFAULT LOCAL ROLLBACK SEGMENT\n"
            "  USING ENFORCED CONSTRAINTS DISABLE ON QUERY COMPUTATION DISABLE QUERY REWRITE\n"
            "  AS SELECT calendar_month_desc, COUNT(*) n FROM times GROUP BY calendar_month_desc\n")
      << r.err;
  // The clauses a view was made with come back in its text.
  r = App("SELECT DBMS_METADATA.GET_DDL('MATERIALIZED_VIEW', 'CUST_DATA') FROM dual;\n"
          "SELECT DBMS_METADATA.GET_DDL('MATERIALIZED_VIEW', 'ORDER_DATA') FROM dual;\n");
  ExpectInOrder(r.out, {"  ORGANIZATION HEAP PCTFREE 5 PCTUSED 60 INITRANS 1 MAXTRANS 255 \n",
                        "  STORAGE(INITIAL 51200 NEXT 1048576",
                        "  REFRESH FAST ON DEMAND NEXT sysdate + 7\n",
                        "  REFRESH FORCE ON DEMAND WITH ROWID\n"});
}

TEST_F(Mviews, MetadataTextsInOracle19cLayout) {
  ProcResult r = App(
      "CREATE TABLE sales2 (region VARCHAR2(10), amount NUMBER);\n"
      "CREATE MATERIALIZED VIEW sales_mv2 (region, total)\n"
      "  AS select region, sum(amount) total from sales2 group by region;\n");
  ASSERT_EQ(r.status, 0) << r.err;
  // The 19c sample of a materialized view with its segment attributes.
  const std::string expected =
      "\n  CREATE MATERIALIZED VIEW \"APP\".\"SALES_MV2\" (\"REGION\", \"TOTAL\")\n  SEGMENT CREATION IMMEDIATE\n"
      "  ORGANIZATION HEAP PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n NOCOMPRESS LOGGING\n"
      "  STORAGE(INITIAL 65536 NEXT 1048576 MINEXTENTS 1 MAXEXTENTS 2147483645\n"
      "  PCTINCREASE 0 FREELISTS 1 FREELIST GROUPS 1\n"
      "  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)\n  TABLESPACE \"USERS\" \n"
      "  BUILD IMMEDIATE\n  USING INDEX \n  REFRESH FORCE ON DEMAND\n  USING DEFAULT LOCAL ROLLBACK SEGMENT\n"
      "  USING ENFORCED CONSTRAINTS DISABLE ON QUERY COMPUTATION DISABLE QUERY REWRITE\n"
      "  AS select region, sum(amount) total from sales2 group by region\n";
  EXPECT_EQ(Rows("SELECT DBMS_METADATA.GET_DDL('MATERIALIZED_VIEW', 'SALES_MV2') FROM dual;"), expected);
  EXPECT_EQ(Rows("SELECT DBMS_METADATA.GET_DDL('MATERIALIZED_VIEW_LOG', 'SALES') FROM dual;"),
            "\n  CREATE MATERIALIZED VIEW LOG ON \"APP\".\"SALES\" \n"
            " PCTFREE 10 PCTUSED 30 INITRANS 1 MAXTRANS 255 LOGGING\n"
            "  STORAGE(INITIAL 65536 NEXT 1048576 MINEXTENTS 1 MAXEXTENTS 2147483645\n"
            "  PCTINCREASE 0 FREELISTS 1 FREELIST GROUPS 1\n"
            "  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)\n  TABLESPACE \"USERS\" \n"
            "  WITH ROWID, SEQUENCE (\"AMOUNT_SOLD\", \"TIME_ID\", \"PROD_ID\") INCLUDING NEW VALUES\n");
  // The text reads back: dropped and created again from it, the view is the same.
  r = App("SET LONG 100000\n"
          "DROP MATERIALIZED VIEW sales_mv2;\n"
          "CREATE MATERIALIZED VIEW \"APP\".\"SALES_MV2\" (\"REGION\", \"TOTAL\")\n  SEGMENT CREATION IMMEDIATE\n"
          "  ORGANIZATION HEAP PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n NOCOMPRESS LOGGING\n"
          "  TABLESPACE \"USERS\" \n  BUILD IMMEDIATE\n  USING INDEX \n  REFRESH FORCE ON DEMAND\n"
          "  USING DEFAULT LOCAL ROLLBACK SEGMENT\n"
          "  USING ENFORCED CONSTRAINTS DISABLE ON QUERY COMPUTATION DISABLE QUERY REWRITE\n"
          "  AS select region, sum(amount) total from sales2 group by region;\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Rows("SELECT DBMS_METADATA.GET_DDL('MATERIALIZED_VIEW', 'SALES_MV2') FROM dual;"), expected);
  r = App("SELECT DBMS_METADATA.GET_DDL('MATERIALIZED_VIEW', 'SALES2') FROM dual;\n");
  ExpectInOrder(r.err, {"ORA-31603"});
}

TEST_F(Mviews, ATableExportCarriesNoViewsAndNoContainers) {
  std::string dump = dir_.file("t.dmp");
  ProcResult r = testsupport::Run(
      {TABEXP_PATH, "app/app@" + path_, "FILE=" + dump, "OWNER=app", "TABLES=(sales, sales_mv)"}, {kNls});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  r = testsupport::Run({TABDUMP_PATH, "--sql", dump}, {kNls});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("CREATE TABLE \"SALES\""), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("SALES_MV"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("MATERIALIZED"), std::string::npos) << r.out;
}

TEST_F(Mviews, CarriedThroughExportAndImport) {
  ProcResult r = App("EXECUTE DBMS_MVIEW.REFRESH('month_later');\n"
                     "CREATE MATERIALIZED VIEW never_built BUILD DEFERRED AS SELECT time_id FROM times;\n"
                     "CREATE INDEX month_later_i ON month_later (n, calendar_month_desc);\n"
                     "CREATE UNIQUE INDEX never_built_u ON never_built (time_id);\n");
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunSql("system/manager@" + path_, "CREATE USER copy IDENTIFIED BY copy;\nCREATE USER copy2 IDENTIFIED BY copy2;\n");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string dump = dir_.file("app.dmp");
  r = testsupport::Run({TABEXP_PATH, "app/app@" + path_, "FILE=" + dump, "OWNER=app"}, {kNls});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  // No container table is exported as a table, and nothing is warned about.
  EXPECT_EQ(r.out.find("SALES_MV"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Warning"), std::string::npos) << r.out;
  r = testsupport::Run({TABIMP_PATH, "system/manager@" + path_, "FILE=" + dump, "TOUSER=copy"}, {kNls});
  ASSERT_EQ(r.status, 0) << r.out << r.err;

  const std::string views =
      "SELECT mview_name, refresh_mode, refresh_method, build_mode, rewrite_enabled, staleness, query"
      " FROM all_mviews WHERE owner = '%' ORDER BY 1;";
  auto of = [&](const std::string& owner) {
    std::string q = views;
    q.replace(q.find('%'), 1, owner);
    return Rows(q, "system/manager");
  };
  EXPECT_EQ(of("COPY"), of("APP"));
  auto logs = [&](const std::string& owner) {
    return Rows("SELECT master, rowids, primary_key, sequence, filter_columns, include_new_values FROM"
                " dba_mview_logs WHERE log_owner = '" + owner + "' ORDER BY 1;",
                "system/manager");
  };
  EXPECT_EQ(logs("COPY"), logs("APP"));
  // the indexes created on the views' containers come along
  auto indexes = [&](const std::string& owner) {
    return Rows("SELECT table_name, index_name, uniqueness FROM dba_indexes WHERE owner = '" + owner +
                    "' AND table_name IN (SELECT mview_name FROM dba_mviews WHERE owner = '" + owner +
                    "') ORDER BY 1, 2;",
                "system/manager");
  };
  EXPECT_EQ(indexes("COPY"), indexes("APP"));
  EXPECT_NE(indexes("APP").find("MONTH_LATER|MONTH_LATER_I|NONUNIQUE\nNEVER_BUILT|NEVER_BUILT_U|UNIQUE"),
            std::string::npos)
      << indexes("APP");
  for (const char* mv : {"SALES_BY_MONTH_BY_STATE", "SALES_MV", "CUST_DATA", "ORDER_DATA", "MONTH_LATER",
                         "NEVER_BUILT"}) {
    std::string q = std::string("SELECT COUNT(*) FROM (SELECT * FROM app.") + mv + " MINUS SELECT * FROM copy." + mv +
                    ") UNION ALL SELECT COUNT(*) FROM (SELECT * FROM copy." + mv + " MINUS SELECT * FROM app." + mv +
                    ") UNION ALL SELECT COUNT(*) FROM copy." + mv + ";";
    std::string rows = Rows(q, "system/manager");
    EXPECT_EQ(rows.substr(0, 4), "0\n0\n") << mv;
    if (std::string(mv) == "NEVER_BUILT") {
      EXPECT_EQ(rows, "0\n0\n0\n");
    }
    if (std::string(mv) == "MONTH_LATER") {
      EXPECT_EQ(rows, "0\n0\n2\n");
    }
  }

  // The dump's script: the refresh call is a block the shell runs.
  r = testsupport::Run({TABDUMP_PATH, "--sql", dump}, {kNls});
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectInOrder(r.out, {"CREATE MATERIALIZED VIEW LOG ON \"CUSTOMERS\"", "CREATE MATERIALIZED VIEW \"CUST_DATA\"",
                        "CREATE MATERIALIZED VIEW \"MONTH_LATER\"",
                        "BEGIN DBMS_MVIEW.REFRESH('\"MONTH_LATER\"'); END;\n/\n",
                        "CREATE MATERIALIZED VIEW \"NEVER_BUILT\""});
  EXPECT_EQ(r.out.find("REFRESH('\"NEVER_BUILT\"')"), std::string::npos);
  ProcResult s = RunSql("copy2/copy2@" + path_, r.out, {kNls});
  EXPECT_EQ(s.err, "");
  // (the script holds no rows: the refresh leaves the view empty, but fresh)
  EXPECT_EQ(Rows("SELECT mview_name, staleness FROM dba_mviews WHERE owner = 'COPY2' AND mview_name IN"
                 " ('MONTH_LATER', 'NEVER_BUILT') ORDER BY 1;",
                 "system/manager"),
            "MONTH_LATER|FRESH\nNEVER_BUILT|UNUSABLE\n");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM dba_mviews WHERE owner = 'COPY2';", "system/manager"), "6\n");
}

// An import builds materialized views with the target user's own grants,
// not the importing DBA's: an honest export of a view reading another
// schema's table through a public synonym, and a crafted dump that
// verifies (that table read directly, DEFERRED with the export's refresh
// block, in a scalar subquery, ON PREBUILT TABLE), fail as deferred
// statements do (status 1) and leave none of its rows in the target.
TEST_F(Mviews, AnImportBuildsViewsWithTheTargetsGrantsNotTheDbas) {
  ProcResult r = RunSql("system/manager@" + path_,
                        "CREATE USER victim IDENTIFIED BY v;\nCREATE USER copy IDENTIFIED BY c;\n"
                        "CREATE TABLE victim.secret (id NUMBER, s VARCHAR2(20));\n"
                        "INSERT INTO victim.secret VALUES (1, 'gold');\nCOMMIT;\n"
                        "CREATE PUBLIC SYNONYM secret FOR victim.secret;\nGRANT SELECT ON victim.secret TO app;\n");
  ASSERT_EQ(App("CREATE MATERIALIZED VIEW peek AS SELECT * FROM secret;\n").err, "");
  std::string honest = dir_.file("app.dmp"), crafted = dir_.file("crafted.dmp");
  r = testsupport::Run({TABEXP_PATH, "system/manager@" + path_, "FILE=" + honest, "OWNER=app"}, {kNls});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  dumpbuild::Dump d;
  d.extension = true;
  d.tables.push_back(dumpbuild::Table("PRE", {{5, 22, "ID"}, {1, 20, "S"}}));
  d.tables[0].ddl = "CREATE TABLE \"PRE\" (\"ID\" NUMBER, \"S\" VARCHAR2(20))";
  const std::string mv = "CREATE MATERIALIZED VIEW \"", secret = " FROM \"VICTIM\".\"SECRET\"";
  d.deferred = {mv + "MVX\" AS SELECT *" + secret,
                mv + "MVD\" BUILD DEFERRED AS SELECT *" + secret,
                "BEGIN DBMS_MVIEW.REFRESH('\"MVD\"'); END;",
                mv + "MVS\" AS SELECT (SELECT \"S\"" + secret + ") \"S\" FROM dual",
                mv + "PRE\" ON PREBUILT TABLE AS SELECT *" + secret,
                "BEGIN DBMS_MVIEW.REFRESH('\"PRE\"'); END;"};
  testsupport::WriteFile(crafted, d.Build());
  ASSERT_EQ(testsupport::Run({TABDUMP_PATH, "--verify", crafted}).status, 0);
  for (const std::string& dump : {honest, crafted}) {
    r = testsupport::Run({TABIMP_PATH, "system/manager@" + path_, "FILE=" + dump, "TOUSER=copy"}, {kNls});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    for (std::string view : dump == honest ? std::vector<std::string>{"PEEK"}
                                           : std::vector<std::string>{"MVX", "MVD", "MVS", "PRE"})
      ExpectInOrder(r.err, {"ORA-01031: insufficient privileges", "Create materialized view \"" + view + "\" failed."});
  }
  // the schema's views of its own tables are there, no container of VICTIM's rows
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM dba_mviews WHERE owner = 'COPY' UNION ALL SELECT COUNT(*) FROM dba_objects"
                 " WHERE owner = 'COPY' AND object_name IN ('PEEK', 'MVX', 'MVD', 'MVS') UNION ALL"
                 " SELECT COUNT(*) FROM copy.pre;",
                 "system/manager"),
            "5\n0\n0\n");
}

}  // namespace
