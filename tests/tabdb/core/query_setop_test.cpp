// query_setop_test.cpp - compound queries (UNION [ALL], INTERSECT, MINUS):
// duplicates and NULLs, chaining and parentheses, ORDER BY and FETCH FIRST
// of the whole, type and column-count rules, compounds inside other
// statements; WITH; comparisons with ANY / SOME / ALL.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class QuerySetopTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(app_, "CREATE TABLE a (x NUMBER, s VARCHAR2(10), c CHAR(3))");
    Must(app_, "CREATE TABLE b (x NUMBER, y VARCHAR2(5))");
    Must(app_, "INSERT INTO a VALUES (1, 'one', 'a')");
    Must(app_, "INSERT INTO a VALUES (2, 'two', 'b')");
    Must(app_, "INSERT INTO a VALUES (2, 'two', 'b')");
    Must(app_, "INSERT INTO a VALUES (NULL, NULL, NULL)");
    Must(app_, "INSERT INTO b VALUES (2, 'B2')");
    Must(app_, "INSERT INTO b VALUES (3, 'B3')");
    Must(app_, "INSERT INTO b VALUES (NULL, NULL)");
  }
};

using Rows = std::vector<Row>;

TEST_F(QuerySetopTest, OperatorsRemoveDuplicatesAndTreatNullsAsEqual) {
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM (SELECT x FROM a UNION ALL SELECT x FROM a)"), "8");
  EXPECT_EQ(Query(app_, "SELECT x FROM a UNION SELECT x FROM b ORDER BY 1"),
            (Rows{{"1"}, {"2"}, {"3"}, {kNull}}));
  EXPECT_EQ(Query(app_, "SELECT x FROM a INTERSECT SELECT x FROM b ORDER BY 1"), (Rows{{"2"}, {kNull}}));
  EXPECT_EQ(Query(app_, "SELECT x FROM a MINUS SELECT x FROM b"), (Rows{{"1"}}));
  EXPECT_EQ(Query(app_, "SELECT x FROM a EXCEPT SELECT x FROM b"), (Rows{{"1"}}));
  // A copy equals its source when both differences are empty.
  Must(app_, "CREATE TABLE a_copy (x NUMBER, s VARCHAR2(10), c CHAR(3))");
  Must(app_, "INSERT INTO a_copy SELECT * FROM a");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM (SELECT * FROM a MINUS SELECT * FROM a_copy "
                      "UNION ALL SELECT * FROM a_copy MINUS SELECT * FROM a)"),
            "0");
  Must(app_, "UPDATE a_copy SET s = 'ONE' WHERE x = 1");
  EXPECT_EQ(Query(app_, "SELECT x, s FROM a MINUS SELECT x, s FROM a_copy"), (Rows{{"1", "one"}}));
}

TEST_F(QuerySetopTest, OperatorsChainLeftToRightUnlessParenthesised) {
  // (a UNION b) MINUS b, then a UNION (b MINUS b).
  EXPECT_EQ(Query(app_, "SELECT x FROM a UNION SELECT x FROM b MINUS SELECT x FROM b"), (Rows{{"1"}}));
  EXPECT_EQ(Query(app_, "SELECT x FROM a UNION (SELECT x FROM b MINUS SELECT x FROM b) ORDER BY 1"),
            (Rows{{"1"}, {"2"}, {kNull}}));
  EXPECT_EQ(Query(app_, "(SELECT x FROM a WHERE x = 1) UNION ALL (SELECT x FROM b WHERE x = 3)"),
            (Rows{{"1"}, {"3"}}));
  // INTERSECT binds no tighter than the others.
  EXPECT_EQ(Query(app_, "SELECT 3 FROM dual UNION SELECT x FROM a INTERSECT SELECT x FROM a ORDER BY 1"),
            (Rows{{"1"}, {"2"}, {kNull}}));
}

TEST_F(QuerySetopTest, OrderByAndFetchApplyToTheWhole) {
  EXPECT_EQ(Query(app_, "SELECT x, s FROM a UNION SELECT x, y FROM b ORDER BY x DESC NULLS LAST, 2"),
            (Rows{{"3", "B3"}, {"2", "B2"}, {"2", "two"}, {"1", "one"}, {kNull, kNull}}));
  // Names and aliases of the first branch name the result.
  EXPECT_EQ(Query(app_, "SELECT x AS n FROM a UNION SELECT x FROM b ORDER BY n DESC FETCH FIRST 2 ROWS ONLY"),
            (Rows{{kNull}, {"3"}}));
  EXPECT_EQ(One(app_, "SELECT MAX(n) FROM (SELECT x n FROM a UNION SELECT x FROM b)"), "3");
  // A branch in parentheses keeps its own row limit.
  EXPECT_EQ(Query(app_, "(SELECT x FROM b ORDER BY x FETCH FIRST 1 ROW ONLY) UNION ALL SELECT 9 FROM dual"),
            (Rows{{"2"}, {"9"}}));
  EXPECT_EQ(Exec(app_, "SELECT x FROM a UNION SELECT x FROM b ORDER BY y"), 904);
  EXPECT_EQ(Exec(app_, "SELECT x FROM a UNION SELECT x FROM b ORDER BY x + 1"), 1785);
  EXPECT_EQ(Exec(app_, "SELECT x FROM a UNION SELECT x FROM b ORDER BY 2"), 1785);
  EXPECT_EQ(Exec(app_, "SELECT x FROM a ORDER BY x UNION SELECT x FROM b"), 933);
}

TEST_F(QuerySetopTest, BranchesMustMatchInCountAndType) {
  EXPECT_EQ(Exec(app_, "SELECT x FROM a UNION SELECT x, y FROM b"), 1789);
  EXPECT_EQ(Exec(app_, "SELECT x FROM a UNION SELECT y FROM b"), 1790);
  EXPECT_EQ(Exec(app_, "SELECT SYSDATE FROM dual MINUS SELECT 1 FROM dual"), 1790);
  // NULL takes the other branches' type; numbers of different types meet
  // as the widest.
  EXPECT_EQ(Query(app_, "SELECT NULL FROM dual UNION SELECT 1 FROM dual ORDER BY 1"), (Rows{{"1"}, {kNull}}));
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM (SELECT 1 FROM dual UNION SELECT 1.0 FROM dual "
                      "UNION SELECT TO_NUMBER('1e0') FROM dual UNION SELECT 1f FROM dual)"),
            "1");
  // Stored numbers are compared by value too.
  Must(app_, "CREATE TABLE n (v NUMBER(6,2))");
  Must(app_, "INSERT INTO n VALUES (1.50), ('1.5000'), (-0), (100)");
  EXPECT_EQ(Query(app_, "SELECT v FROM n UNION SELECT 1.5 FROM dual UNION SELECT 1e2 FROM dual "
                        "UNION SELECT 0.0 FROM dual ORDER BY 1"),
            (Rows{{"0"}, {"1.5"}, {"100"}}));
  // LOBs may be appended, not compared.
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM (SELECT TO_CLOB('x') FROM dual UNION ALL SELECT TO_CLOB('x') FROM dual)"),
            "2");
  EXPECT_EQ(Exec(app_, "SELECT TO_CLOB('x') FROM dual UNION SELECT TO_CLOB('x') FROM dual"), 932);
  Must(app_, "CREATE TABLE l (t LONG)");
  EXPECT_EQ(Exec(app_, "SELECT t FROM l UNION ALL SELECT t FROM l"), 997);
}

TEST_F(QuerySetopTest, CharAndVarchar2MeetWithoutBlankPadding) {
  // CHAR(3) 'a  ' and VARCHAR2 'a' are different values of the VARCHAR2 result.
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM (SELECT c FROM a WHERE x = 1 UNION SELECT 'a' FROM dual)"), "2");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM (SELECT c FROM a WHERE x = 1 UNION SELECT 'a  ' FROM dual)"), "1");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM (SELECT c FROM a UNION SELECT c FROM a)"), "3");
}

TEST_F(QuerySetopTest, CompoundsWorkWhereverAQueryDoes) {
  EXPECT_EQ(Query(app_, "SELECT s FROM a WHERE x IN (SELECT x FROM b UNION SELECT 1 FROM dual) ORDER BY 1"),
            (Rows{{"one"}, {"two"}, {"two"}}));
  EXPECT_EQ(One(app_, "SELECT (SELECT MAX(x) FROM (SELECT x FROM a UNION SELECT x FROM b)) FROM dual"), "3");
  EXPECT_EQ(Query(app_, "SELECT x FROM a WHERE EXISTS (SELECT 1 FROM b WHERE b.x = a.x "
                        "MINUS SELECT 1 FROM dual WHERE a.x > 5)"),
            (Rows{{"2"}, {"2"}}));
  Must(app_, "INSERT INTO b SELECT x, s FROM a UNION SELECT 9, 'n' FROM dual");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM b"), "7");
  Must(app_, "CREATE TABLE log (v NUMBER)");
  Must(app_, "BEGIN FOR r IN (SELECT x FROM a UNION SELECT x FROM b WHERE x > 2) LOOP "
             "INSERT INTO log VALUES (r.x); END LOOP; END;");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) || ':' || SUM(v) FROM log"), "5:15");
  // View bodies.
  Must(app_, "CREATE VIEW vu AS SELECT x FROM a UNION SELECT x FROM b");
  Must(app_, "CREATE VIEW vw (n) AS WITH w AS (SELECT x FROM a MINUS SELECT x FROM b) SELECT x FROM w");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM vu"), "5");
  EXPECT_EQ(Query(app_, "SELECT n FROM vw"), Rows{});
  Must(app_, "DELETE FROM b WHERE x = 1");
  EXPECT_EQ(Query(app_, "SELECT n FROM vw"), (Rows{{"1"}}));
}

TEST_F(QuerySetopTest, WithNamesQueriesForTheStatement) {
  EXPECT_EQ(Query(app_, "WITH w AS (SELECT x FROM a WHERE x IS NOT NULL) SELECT DISTINCT x FROM w ORDER BY 1"),
            (Rows{{"1"}, {"2"}}));
  // Column names, an item using an earlier one, a name used twice.
  EXPECT_EQ(Query(app_, "WITH w (n) AS (SELECT x FROM b), v AS (SELECT n FROM w WHERE n > 2) "
                        "SELECT v.n, w2.n FROM v, w w2 WHERE w2.n = v.n"),
            (Rows{{"3", "3"}}));
  // A WITH name hides a table of the same name; it is seen in nested queries.
  EXPECT_EQ(One(app_, "WITH a AS (SELECT 7 x FROM dual) SELECT (SELECT MAX(x) FROM a) FROM dual"), "7");
  EXPECT_EQ(One(app_, "WITH w AS (SELECT x FROM b UNION SELECT 5 FROM dual) SELECT COUNT(*) FROM w"), "4");
  Must(app_, "INSERT INTO b WITH w AS (SELECT 7 k, 'w' v FROM dual) SELECT * FROM w");
  EXPECT_EQ(One(app_, "SELECT y FROM b WHERE x = 7"), "w");
  EXPECT_EQ(Exec(app_, "WITH w (p, q) AS (SELECT 1 FROM dual) SELECT * FROM w"), 32038);
}

TEST_F(QuerySetopTest, AnyAndAllFollowOraclesNullRules) {
  EXPECT_EQ(Query(app_, "SELECT DISTINCT x FROM a WHERE x = ANY (SELECT x FROM b)"), (Rows{{"2"}}));
  EXPECT_EQ(Query(app_, "SELECT DISTINCT x FROM a WHERE x = SOME (1, 3)"), (Rows{{"1"}}));
  EXPECT_EQ(Query(app_, "SELECT DISTINCT x FROM a WHERE x < ALL (2, 3)"), (Rows{{"1"}}));
  // b has a NULL: no row is greater than all of it, and "<> ALL" is never true.
  EXPECT_EQ(Query(app_, "SELECT x FROM a WHERE x > ALL (SELECT x FROM b)"), Rows{});
  EXPECT_EQ(Query(app_, "SELECT x FROM a WHERE x <> ALL (SELECT x FROM b)"), Rows{});
  EXPECT_EQ(Query(app_, "SELECT x FROM a WHERE x <> ALL (SELECT x FROM b WHERE x IS NOT NULL)"), (Rows{{"1"}}));
  // Over no rows ALL is true (also for NULL) and ANY false.
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM a WHERE x > ALL (SELECT x FROM b WHERE 1 = 0)"), "4");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM a WHERE x > ANY (SELECT x FROM b WHERE 1 = 0)"), "0");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM a WHERE NOT (x >= ANY (SELECT x FROM b))"), "0");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM a WHERE NOT (x >= ANY (SELECT x FROM b WHERE x > 0))"), "1");
  // Correlated: for the NULL row of b the nested query has no row.
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM b WHERE x >= ALL (SELECT x FROM a WHERE a.x <= b.x)"), "3");
  EXPECT_EQ(Exec(app_, "SELECT x FROM a WHERE x = ANY (SELECT x, y FROM b)"), 913);
}

}  // namespace
}  // namespace ocitest
