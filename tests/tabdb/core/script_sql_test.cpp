// script_sql_test.cpp - SQL that public schema scripts use, statement by
// statement against Oracle's answers: DEFAULT ON NULL, the namespaces of
// indexes and constraints, analytic functions, INSERT ALL | FIRST, the
// SQL/JSON functions, global temporary tables and dimensions.
#include <string>

#include "oci_fixture.h"

namespace ocitest {
namespace {

// A statement and what it gives: the rows of a query ("a|b;c|d"), the row
// count of DML ("rows=3"), "ORA-nnnnn" for an error, "" for DDL.
struct Step {
  const char* sql;
  const char* expected;
};

const Step kSteps[] = {
    // DEFAULT ON NULL: an explicit NULL (and '') takes the default, which
    // makes the column NOT NULL.
    {"CREATE TABLE d1 (id NUMBER, n NUMBER DEFAULT ON NULL 7, s VARCHAR2(5) DEFAULT ON NULL 'x')", ""},
    {"INSERT INTO d1 VALUES (1, NULL, '')", "rows=1"},
    {"INSERT INTO d1 (id) VALUES (2)", "rows=1"},
    {"INSERT INTO d1 SELECT 3, NULL, 'y' FROM dual", "rows=1"},
    {"INSERT INTO d1 VALUES (4, 4, 'z')", "rows=1"},
    {"SELECT id, n, s FROM d1 ORDER BY id", "1|7|x;2|7|x;3|7|y;4|4|z"},
    {"UPDATE d1 SET n = NULL WHERE id = 1", "ORA-01407"},
    {"SELECT column_name, nullable, default_on_null FROM user_tab_columns WHERE table_name = 'D1' ORDER BY column_id",
     "ID|Y|NO;N|N|YES;S|N|YES"},
    {"SELECT COUNT(*) FROM user_constraints WHERE table_name = 'D1' AND search_condition LIKE '%IS NOT NULL'", "2"},
    {"ALTER TABLE d1 ADD (z NUMBER DEFAULT ON NULL 0)", ""},
    {"ALTER TABLE d1 MODIFY (id DEFAULT ON NULL 9)", ""},
    {"INSERT INTO d1 (id, z) VALUES (NULL, NULL)", "rows=1"},
    {"SELECT n || s || z FROM d1 WHERE id = 9", "7x0"},
    {"SELECT INSTR(DBMS_METADATA.GET_DDL('TABLE', 'D1'), '\"N\" NUMBER DEFAULT ON NULL 7 NOT NULL ENABLE') FROM dual",
     "!0"},

    // Namespaces: tables, views and sequences share one; indexes and
    // constraints have their own.
    {"CREATE TABLE t2 (id NUMBER CONSTRAINT t2 PRIMARY KEY, g NUMBER)", ""},
    {"CREATE TABLE t1 (g NUMBER)", ""},
    {"CREATE INDEX t1 ON t1 (g)", ""},
    {"CREATE INDEX t1 ON t2 (g)", "ORA-00955"},
    {"CREATE VIEW t1 AS SELECT 1 x FROM dual", "ORA-00955"},
    {"CREATE SEQUENCE t2", "ORA-00955"},
    {"ALTER TABLE t1 ADD CONSTRAINT t2 UNIQUE (g)", "ORA-02264"},
    {"ALTER TABLE t1 ADD CONSTRAINT t1 CHECK (g > 0)", ""},
    {"SELECT object_name || ':' || object_type FROM user_objects WHERE object_name IN ('T1', 'T2') ORDER BY 1",
     "T1:INDEX;T1:TABLE;T2:INDEX;T2:TABLE"},
    {"SELECT index_name || ':' || table_name FROM user_indexes WHERE index_name IN ('T1', 'T2') ORDER BY 1",
     "T1:T1;T2:T2"},
    {"DROP INDEX t1", ""},
    {"SELECT COUNT(*) FROM t1", "0"},
    {"DROP TABLE t2", ""},
    {"SELECT COUNT(*) FROM user_objects WHERE object_name = 'T2'", "0"},

    // Analytic functions; NULLs sort last ascending, first descending.
    {"CREATE TABLE emp (id NUMBER, dept VARCHAR2(5), sal NUMBER)", ""},
    {"INSERT INTO emp SELECT 1, 'A', 100 FROM dual UNION ALL SELECT 2, 'A', 200 FROM dual UNION ALL"
     " SELECT 3, 'A', 200 FROM dual UNION ALL SELECT 4, 'B', 50 FROM dual UNION ALL SELECT 5, 'B', NULL FROM dual",
     "rows=5"},
    {"SELECT id, ROW_NUMBER() OVER (PARTITION BY dept ORDER BY sal DESC), RANK() OVER (ORDER BY sal),"
     " DENSE_RANK() OVER (ORDER BY sal) FROM emp ORDER BY id",
     "1|3|2|2;2|1|3|3;3|2|3|3;4|2|1|1;5|1|5|4"},
    {"SELECT id, COUNT(*) OVER (PARTITION BY dept), COUNT(sal) OVER (), SUM(sal) OVER (PARTITION BY dept ORDER BY id),"
     " AVG(sal) OVER (PARTITION BY dept) FROM emp WHERE dept = 'B' OR id = 1 ORDER BY id",
     "1|1|2|100|100;4|2|2|50|50;5|2|2|50|50"},
    {"SELECT id, SUM(sal) OVER (ORDER BY id ROWS BETWEEN 1 PRECEDING AND CURRENT ROW),"
     " MIN(sal) OVER (ORDER BY id ROWS 1 PRECEDING), MAX(sal) OVER (PARTITION BY dept) FROM emp ORDER BY id",
     "1|100|100|200;2|300|100|200;3|400|200|200;4|250|50|50;5|50|50|50"},
    {"SELECT id, LAG(sal) OVER (ORDER BY id), LEAD(sal, 2, -1) OVER (ORDER BY id),"
     " FIRST_VALUE(sal) OVER (PARTITION BY dept ORDER BY id), LAST_VALUE(sal) OVER (PARTITION BY dept ORDER BY id"
     " ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING) FROM emp ORDER BY id",
     "1|<null>|200|100|200;2|100|50|100|200;3|200|<null>|100|200;4|200|-1|50|<null>;5|50|-1|50|<null>"},
    {"SELECT dept, RANK() OVER (ORDER BY SUM(sal) DESC) FROM emp GROUP BY dept ORDER BY 2", "A|1;B|2"},
    {"SELECT id FROM emp ORDER BY ROW_NUMBER() OVER (ORDER BY sal DESC NULLS LAST, id)", "2;3;1;4;5"},
    {"CREATE VIEW v_emp AS SELECT id, SUM(sal) OVER (PARTITION BY dept) tot FROM emp", ""},
    {"SELECT tot FROM v_emp WHERE id IN (1, 4) ORDER BY id", "500;50"},
    {"SELECT id FROM emp WHERE ROW_NUMBER() OVER (ORDER BY id) = 1", "ORA-30483"},
    {"SELECT dept FROM emp GROUP BY RANK() OVER (ORDER BY id)", "ORA-30483"},
    {"SELECT ROW_NUMBER() FROM emp", "ORA-30484"},
    {"SELECT RANK() OVER (PARTITION BY dept) FROM emp", "ORA-30485"},

    // INSERT ALL | FIRST: every row of the query through each INTO that
    // applies; the row count is of all rows written, and a failure writes none.
    {"CREATE TABLE ia (id NUMBER, v NUMBER)", ""},
    {"CREATE TABLE ib (id NUMBER)", ""},
    {"INSERT ALL INTO ia (id, v) VALUES (id, sal * 2) INTO ib VALUES (id) SELECT id, sal FROM emp WHERE dept = 'A'",
     "rows=6"},
    {"INSERT ALL WHEN sal > 150 THEN INTO ia VALUES (id, sal) WHEN sal > 60 THEN INTO ib VALUES (id)"
     " ELSE INTO ib VALUES (-id) SELECT id, sal FROM emp",
     "rows=7"},
    {"INSERT FIRST WHEN sal > 150 THEN INTO ia VALUES (id, 1) WHEN sal > 60 THEN INTO ia VALUES (id, 2)"
     " ELSE INTO ia VALUES (id, 3) INTO ib VALUES (0) SELECT * FROM emp",
     "rows=7"},
    {"SELECT v || ':' || COUNT(*) FROM ia WHERE v < 10 GROUP BY v ORDER BY v", "1:2;2:1;3:2"},
    {"SELECT COUNT(*) FROM ib", "10"},
    {"INSERT ALL INTO ia VALUES (1, 1) INTO ia VALUES (2, 'x') SELECT * FROM dual", "ORA-01722"},
    {"SELECT COUNT(*) FROM ia", "10"},

    // SQL/JSON.
    {"CREATE TABLE js (id NUMBER, doc VARCHAR2(200) CONSTRAINT js_json CHECK (doc IS JSON))", ""},
    {"INSERT INTO js VALUES (1, '{\"a\":{\"b\":5,\"c\":[10,\"x\",true]},\"n\":0.5}')", "rows=1"},
    {"INSERT INTO js VALUES (2, '{\"a\":{\"b\":\"s\"}}')", "rows=1"},
    {"INSERT INTO js VALUES (3, NULL)", "rows=1"},
    {"INSERT INTO js VALUES (4, 'not json')", "ORA-02290"},
    {"SELECT id, JSON_VALUE(doc, '$.a.b'), JSON_VALUE(doc, '$.a.c[1]'), JSON_VALUE(doc, '$.a.c[2]'),"
     " JSON_VALUE(doc, '$.a') FROM js ORDER BY id",
     "1|5|x|true|<null>;2|s|<null>|<null>|<null>;3|<null>|<null>|<null>|<null>"},
    {"SELECT JSON_VALUE(doc, '$.a.b' RETURNING NUMBER) + 1 FROM js WHERE id = 1", "6"},
    {"SELECT JSON_VALUE('[1,2]', '$' DEFAULT 'bad' ON ERROR) || JSON_VALUE('{x', '$.a' NULL ON ERROR) FROM dual",
     "bad"},
    {"SELECT JSON_QUERY(doc, '$.a.c') || ' ' || JSON_QUERY(doc, '$.a.b' WITH WRAPPER) FROM js WHERE id = 1",
     "[10,\"x\",true] [5]"},
    {"SELECT id FROM js WHERE JSON_EXISTS(doc, '$.a.c') OR doc IS NOT JSON", "1"},
    {"SELECT JSON_OBJECT('id' VALUE id, 'a' VALUE JSON_QUERY(doc, '$.a'), KEY 'h' VALUE 0.5,"
     " 'l' VALUE JSON_ARRAY(1, NULL, 'a')) FROM js WHERE id = 1",
     "{\"id\":1,\"a\":{\"b\":5,\"c\":[10,\"x\",true]},\"h\":0.5,\"l\":[1,\"a\"]}"},
    {"SELECT JSON_ARRAY(1, NULL, 2 NULL ON NULL) FROM dual", "[1,null,2]"},
    {"SELECT JSON_ARRAYAGG(JSON_OBJECT('i' VALUE id)) FROM js WHERE id < 3", "[{\"i\":1},{\"i\":2}]"},
    {"SELECT JSON_VALUE(doc, '$.a[*]') FROM js", "ORA-03001"},
    {"SELECT JSON_VALUE(doc, 'a.b') FROM js", "ORA-40442"},

    // Global temporary tables: rows of the session, gone at COMMIT for
    // DELETE ROWS; the table itself stays.
    {"CREATE GLOBAL TEMPORARY TABLE gd (id NUMBER PRIMARY KEY) ON COMMIT DELETE ROWS", ""},
    {"CREATE GLOBAL TEMPORARY TABLE gp (id NUMBER) ON COMMIT PRESERVE ROWS", ""},
    {"INSERT INTO gd VALUES (1)", "rows=1"},
    {"INSERT INTO gd VALUES (1)", "ORA-00001"},
    {"INSERT INTO gp SELECT id FROM gd", "rows=1"},
    {"COMMIT", ""},
    {"SELECT (SELECT COUNT(*) FROM gd) || '/' || (SELECT COUNT(*) FROM gp) FROM dual", "0/1"},
    {"INSERT INTO gd VALUES (2)", "rows=1"},
    {"CREATE TABLE after_gd (x NUMBER)", ""},
    {"SELECT COUNT(*) FROM gd", "0"},
    {"SELECT table_name || ':' || temporary || ':' || duration FROM user_tables WHERE table_name LIKE 'G_' ORDER BY 1",
     "GD:Y:SYS$TRANSACTION;GP:Y:SYS$SESSION"},
    {"SELECT SUBSTR(DBMS_METADATA.GET_DDL('TABLE', 'GP'), 1, 200) FROM dual",
     "\n  CREATE GLOBAL TEMPORARY TABLE \"APP\".\"GP\" \n   (\t\"ID\" NUMBER\n   ) ON COMMIT PRESERVE ROWS "},
    {"CREATE GLOBAL TEMPORARY TABLE gx (id NUMBER) ON COMMIT DELETE ROWS PARTITION BY HASH (id) PARTITIONS 2",
     "ORA-14451"},

    // Dimensions: kept with every name checked, given back by DBMS_METADATA.
    {"CREATE TABLE city (id NUMBER PRIMARY KEY, name VARCHAR2(20), land NUMBER)", ""},
    {"CREATE DIMENSION geo LEVEL c IS city.id LEVEL l IS (app.city.land) SKIP WHEN NULL\n"
     "  HIERARCHY h (c CHILD OF l) ATTRIBUTE c DETERMINES (name) ATTRIBUTE n LEVEL l DETERMINES city.land", ""},
    {"SELECT dimension_name || ':' || invalid || ':' || compile_state FROM user_dimensions", "GEO:N:VALID"},
    {"SELECT object_type FROM user_objects WHERE object_name = 'GEO'", "DIMENSION"},
    {"SELECT DBMS_METADATA.GET_DDL('DIMENSION', 'GEO') FROM dual",
     "\n  CREATE DIMENSION \"APP\".\"GEO\"\n    LEVEL \"C\" IS (\"APP\".\"CITY\".\"ID\")\n"
     "    LEVEL \"L\" IS (\"APP\".\"CITY\".\"LAND\") SKIP WHEN NULL\n    HIERARCHY \"H\" (\n      \"C\"\n"
     "      CHILD OF \"L\")\n    ATTRIBUTE \"C\" LEVEL \"C\" DETERMINES (\"APP\".\"CITY\".\"NAME\")\n"
     "    ATTRIBUTE \"N\" LEVEL \"L\" DETERMINES (\"APP\".\"CITY\".\"LAND\")"},
    {"CREATE DIMENSION geo LEVEL c IS (city.id)", "ORA-00955"},
    {"CREATE TABLE geo (x NUMBER)", "ORA-00955"},
    {"CREATE DIMENSION g2 LEVEL c IS (nosuch.id)", "ORA-00942"},
    {"CREATE DIMENSION g2 LEVEL c IS (city.nosuch)", "ORA-00904"},
    {"CREATE DIMENSION g2 LEVEL c IS (city.id) ATTRIBUTE c DETERMINES (nosuch)", "ORA-00904"},
    {"CREATE DIMENSION g2 LEVEL c IS (city.id) LEVEL c IS (city.land)", "ORA-30343"},
    {"CREATE DIMENSION g2 LEVEL c IS (city.id) HIERARCHY h (c CHILD OF x)", "ORA-30342"},
    {"CREATE DIMENSION g2 LEVEL c IS (city.id) LEVEL l IS (city.land) HIERARCHY h (c CHILD OF l) "
     "HIERARCHY h (c CHILD OF l)", "ORA-30346"},
    {"CREATE DIMENSION g2 HIERARCHY h (c CHILD OF l)", "ORA-00905"},
    {"CREATE DIMENSION g2 LEVEL c IS (city.id) ATTRIBUTE x DETERMINES (city.name)", "ORA-30342"},
    {"CREATE DIMENSION g2 LEVEL c IS (city.id) LEVEL l IS (city.land) HIERARCHY h (c CHILD OF l\n"
     "  JOIN KEY (city.land) REFERENCES nowhere)", "ORA-30342"},
    {"CREATE DIMENSION g2 LEVEL c IS (city.id) LEVEL l IS (city.land) HIERARCHY h (c CHILD OF l\n"
     "  JOIN KEY (nosuch) REFERENCES l)", "ORA-00904"},
    {"CREATE DIMENSION g2 LEVEL c IS (city.id) HIERARCHY h (c CHILD OF c", "ORA-00907"},
    {"CREATE VIEW city_v AS SELECT * FROM city", ""},
    {"CREATE DIMENSION g2 LEVEL c IS (city_v.id)", "ORA-00942"},
    {"SELECT COUNT(*) FROM user_objects WHERE object_type = 'DIMENSION'", "1"},
    {"DROP DIMENSION g2", "ORA-30333"},
    {"DROP DIMENSION geo", ""},
    {"SELECT COUNT(*) FROM user_dimensions", "0"},
};

// What a statement gives, in the notation of kSteps.
std::string Outcome(Conn& c, const std::string& sql) {
  Stmt s(c);
  auto error = [&] {
    char buf[16];
    std::snprintf(buf, sizeof buf, "ORA-%05d", c.ErrorCode());
    return std::string(buf);
  };
  if (s.Prepare(sql) != OCI_SUCCESS) return error();
  if (s.StmtType() != OCI_STMT_SELECT) {
    sword rc = s.Execute(1);
    if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) return error();
    ub2 type = s.StmtType();
    bool dml = type == OCI_STMT_INSERT || type == OCI_STMT_UPDATE || type == OCI_STMT_DELETE;
    return dml ? "rows=" + std::to_string(s.RowCount()) : "";
  }
  if (s.Execute(0) != OCI_SUCCESS) return error();
  ub4 n = s.AttrUb4(OCI_ATTR_PARAM_COUNT);
  std::vector<std::vector<char>> bufs(n, std::vector<char>(4000));
  std::vector<sb2> inds(n);
  for (ub4 i = 0; i < n; ++i) s.Define(i + 1, bufs[i].data(), 4000, SQLT_STR, &inds[i]);
  std::string out;
  for (int row = 0;; ++row) {
    sword rc = s.Fetch(1);
    if (rc == OCI_NO_DATA) break;
    if (rc != OCI_SUCCESS) return error();
    if (row) out += ";";
    for (ub4 i = 0; i < n; ++i) out += (i ? "|" : "") + (inds[i] == -1 ? kNull : std::string(bufs[i].data()));
  }
  return out;
}

class ScriptSqlTest : public OciTest {};

TEST_F(ScriptSqlTest, EachStatementGivesOraclesAnswer) {
  for (const Step& step : kSteps) {
    std::string got = Outcome(app_, step.sql);
    std::string want = step.expected;
    if (want.size() > 1 && want[0] == '!') {
      EXPECT_NE(got, want.substr(1)) << step.sql;
    } else {
      EXPECT_EQ(got, want) << step.sql << "\n" << app_.ErrorText();
    }
  }
}

}  // namespace
}  // namespace ocitest
