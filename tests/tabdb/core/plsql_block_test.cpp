// plsql_block_test.cpp - anonymous PL/SQL blocks run by the engine:
// variables and control flow, SQL with variables as binds, exceptions and
// their Oracle errors, DBMS_OUTPUT, and errors of blocks that do not compile;
// collections, bulk SQL, conditional compilation and supplied packages.
#include <string>
#include <vector>

#include "catalog_test_util.h"
#include "exec/convert.h"
#include "exec/engine.h"
#include "exec/server_output.h"

namespace {

using tabdb::ExecResult;
using tabdb::Status;

class PlsqlBlockTest : public cattest::CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP", true);
    ASSERT_TRUE(app_);
    tabdb::ServerOutputEnable(*app_, true);
  }

  Status Exec(const std::string& text) {
    ExecResult r;
    Status st = tabdb::ExecuteText(*app_, text, &r);
    if (st.ok() && r.result) {
      bool row = false;
      while (st.ok() && (st = r.result->Next(&row)).ok() && row) {
        tabdb::Value v;
        st = r.result->Get(0, &v);
        std::string t;
        if (st.ok() && !v.null) st = tabdb::ValueToText(v, &t);
        rows_.push_back(v.null ? "<null>" : t);
      }
    }
    return st;
  }
  void Ok(const std::string& text) {
    Status st = Exec(text);
    ASSERT_TRUE(st.ok()) << text << "\n" << st.text();
  }
  // The lines DBMS_OUTPUT received, joined by '|'.
  std::string Output() {
    std::string out;
    for (const std::string& l : tabdb::ServerOutputTakeLines(*app_)) out += (out.empty() ? "" : "|") + l;
    return out;
  }
  std::string Query(const std::string& text) {
    rows_.clear();
    Status st = Exec(text);
    EXPECT_TRUE(st.ok()) << text << "\n" << st.text();
    std::string out;
    for (const std::string& r : rows_) out += (out.empty() ? "" : "|") + r;
    return out;
  }

  std::unique_ptr<tabdb::Session> app_;
  std::vector<std::string> rows_;
};

TEST_F(PlsqlBlockTest, VariablesAndControlFlow) {
  Ok("DECLARE\n"
     "  n NUMBER := 0;\n"
     "  s VARCHAR2(100) DEFAULT 'x';\n"
     "  k CONSTANT PLS_INTEGER := 3;\n"
     "  b BOOLEAN := TRUE;\n"
     "  d DATE := DATE '2024-01-31';\n"
     "  m n%TYPE;\n"
     "BEGIN\n"
     "  FOR i IN 1..k LOOP n := n + i; END LOOP;\n"
     "  FOR i IN REVERSE 1..3 LOOP s := s || i; END LOOP;\n"
     "  WHILE n < 20 LOOP n := n * 2; END LOOP;\n"
     "  <<outer>> LOOP\n"
     "    m := NVL(m, 0) + 1;\n"
     "    EXIT outer WHEN m >= 4;\n"
     "    CONTINUE WHEN m = 2;\n"
     "    s := s || '-';\n"
     "  END LOOP;\n"
     "  IF b AND n > 100 THEN s := 'big';\n"
     "  ELSIF NOT b OR n IS NULL THEN s := 'no';\n"
     "  ELSE s := s || ':' || n;\n"
     "  END IF;\n"
     "  b := n > 5;\n"
     "  IF b THEN DBMS_OUTPUT.PUT_LINE(s || ' ' || TO_CHAR(ADD_MONTHS(d, 1), 'YYYY-MM-DD') || ' ' || m); END IF;\n"
     "  DBMS_OUTPUT.PUT('a'); DBMS_OUTPUT.PUT('b'); DBMS_OUTPUT.NEW_LINE;\n"
     "  BEGIN n := NULL; END;\n"
     "  DBMS_OUTPUT.PUT_LINE(NVL(TO_CHAR(n), 'null'));\n"
     "END;");
  EXPECT_EQ(Output(), "x321--:24 2024-02-29 4|ab|null");
}

TEST_F(PlsqlBlockTest, SqlWithVariablesAsBinds) {
  Ok("CREATE TABLE t (id NUMBER PRIMARY KEY, name VARCHAR2(20))");
  Ok("DECLARE\n"
     "  v_name VARCHAR2(20);\n"
     "  cnt NUMBER;\n"
     "  CURSOR c IS SELECT id, name FROM t WHERE id > 7 ORDER BY id;\n"
     "BEGIN\n"
     "  FOR i IN 1..10 LOOP\n"
     "    INSERT INTO t (id, name) VALUES (i, 'n' || i);\n"
     "  END LOOP;\n"
     "  UPDATE t SET name = UPPER(name) WHERE id <= 3;\n"
     "  DBMS_OUTPUT.PUT_LINE('upd ' || SQL%ROWCOUNT);\n"
     "  DELETE FROM t WHERE id = 10;\n"
     "  IF SQL%FOUND THEN DBMS_OUTPUT.PUT_LINE('deleted'); END IF;\n"
     "  SELECT name, id INTO v_name, cnt FROM t WHERE id = 2;\n"
     "  DBMS_OUTPUT.PUT_LINE(v_name || cnt);\n"
     "  FOR r IN (SELECT id, name FROM t WHERE id BETWEEN 3 AND 4 ORDER BY id) LOOP\n"
     "    DBMS_OUTPUT.PUT_LINE(r.id || '=' || r.name);\n"
     "  END LOOP;\n"
     "  FOR r IN c LOOP DBMS_OUTPUT.PUT_LINE('c' || r.name); END LOOP;\n"
     "  EXECUTE IMMEDIATE 'CREATE TABLE t2 (x NUMBER)';\n"
     "  EXECUTE IMMEDIATE 'INSERT INTO t2 VALUES (:1)' USING cnt * 10;\n"
     "  EXECUTE IMMEDIATE 'SELECT COUNT(*) FROM t WHERE id > :a' INTO cnt USING 5;\n"
     "  DBMS_OUTPUT.PUT_LINE('cnt ' || cnt);\n"
     "  EXECUTE IMMEDIATE 'BEGIN DBMS_OUTPUT.PUT_LINE(:1 || :two || :1); END;' USING 'a', 'b';\n"
     "  COMMIT;\n"
     "END;");
  EXPECT_EQ(Output(), "upd 3|deleted|N22|3=N3|4=n4|cn8|cn9|cnt 4|aba");
  EXPECT_EQ(Query("SELECT x FROM t2"), "20");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM t"), "9");
}

TEST_F(PlsqlBlockTest, ExceptionsAndHandlers) {
  Ok("CREATE TABLE u (id NUMBER PRIMARY KEY)");
  Ok("DECLARE\n"
     "  n NUMBER;\n"
     "  e_mine EXCEPTION;\n"
     "  e_app EXCEPTION;\n"
     "  PRAGMA EXCEPTION_INIT(e_app, -20005);\n"
     "BEGIN\n"
     "  BEGIN SELECT id INTO n FROM u WHERE id = 1;\n"
     "  EXCEPTION WHEN NO_DATA_FOUND THEN DBMS_OUTPUT.PUT_LINE('ndf ' || SQLCODE); END;\n"
     "  INSERT INTO u VALUES (1); INSERT INTO u VALUES (2);\n"
     "  BEGIN SELECT id INTO n FROM u;\n"
     "  EXCEPTION WHEN TOO_MANY_ROWS THEN DBMS_OUTPUT.PUT_LINE(SQLERRM); END;\n"
     "  BEGIN INSERT INTO u VALUES (1);\n"
     "  EXCEPTION WHEN DUP_VAL_ON_INDEX THEN DBMS_OUTPUT.PUT_LINE('dup ' || SQLCODE); END;\n"
     "  BEGIN n := 1 / 0;\n"
     "  EXCEPTION WHEN ZERO_DIVIDE THEN DBMS_OUTPUT.PUT_LINE('zero'); END;\n"
     "  DECLARE s VARCHAR2(2); BEGIN s := 'abc';\n"
     "  EXCEPTION WHEN VALUE_ERROR THEN DBMS_OUTPUT.PUT_LINE(SQLERRM); END;\n"
     "  BEGIN RAISE e_mine;\n"
     "  EXCEPTION WHEN e_app THEN NULL; WHEN e_mine THEN DBMS_OUTPUT.PUT_LINE('mine ' || SQLCODE || ' ' || SQLERRM); END;\n"
     "  BEGIN RAISE_APPLICATION_ERROR(-20005, 'app says ' || n);\n"
     "  EXCEPTION WHEN e_app THEN DBMS_OUTPUT.PUT_LINE(SQLCODE || ' ' || SQLERRM); END;\n"
     "  BEGIN\n"
     "    BEGIN RAISE NO_DATA_FOUND; EXCEPTION WHEN OTHERS THEN RAISE; END;\n"
     "  EXCEPTION WHEN OTHERS THEN DBMS_OUTPUT.PUT_LINE('again ' || SQLCODE); END;\n"
     "END;");
  EXPECT_EQ(Output(),
            "ndf 100|ORA-01422: exact fetch returns more than requested number of rows|dup -1|zero|"
            "ORA-06502: PL/SQL: numeric or value error: character string buffer too small|"
            "mine 1 User-Defined Exception|-20005 ORA-20005: app says |again 100");
  // handled errors leave the block's work in place
  EXPECT_EQ(Query("SELECT COUNT(*) FROM u"), "2");
}

TEST_F(PlsqlBlockTest, UnhandledErrorsNameTheLine) {
  Status st = Exec("BEGIN\n  NULL;\n  RAISE_APPLICATION_ERROR(-20001, 'bad thing');\nEND;");
  EXPECT_EQ(st.code(), 20001);
  EXPECT_EQ(st.text(), "ORA-20001: bad thing\nORA-06512: at line 3");
  st = Exec("DECLARE n NUMBER;\nBEGIN\n  SELECT 1 INTO n FROM dual WHERE 1 = 0;\nEND;");
  EXPECT_EQ(st.text(), "ORA-01403: no data found\nORA-06512: at line 3");
  st = Exec("DECLARE e EXCEPTION;\nBEGIN\n  RAISE e;\nEND;");
  EXPECT_EQ(st.text(), "ORA-06510: PL/SQL: unhandled user-defined exception\nORA-06512: at line 3");
  // built-in procedures among the block's statements
  Ok("DECLARE n NUMBER;\nBEGIN\n  n := 1;\n"
     "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'STORAGE', FALSE);\nEND;");
  st = Exec("DECLARE n NUMBER;\nBEGIN\n  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'NOPE', TRUE);\nEND;");
  EXPECT_EQ(st.code(), 31600);
  EXPECT_EQ(st.text().find("ORA-06512: at line"), st.text().rfind("ORA-06512: at line")) << st.text();
  st = Exec("BEGIN RAISE_APPLICATION_ERROR(-1, 'x'); END;");
  EXPECT_EQ(st.code(), 21000);
  // compile errors: nothing runs, not catchable
  st = Exec("BEGIN\n  DBMS_OUTPUT.PUT_LINE('ran');\n  no_such_proc(1);\nEXCEPTION WHEN OTHERS THEN NULL;\nEND;");
  EXPECT_EQ(st.code(), 6550);
  EXPECT_NE(st.text().find("line 3, column 3:\nPLS-00201: identifier 'NO_SUCH_PROC' must be declared"),
            std::string::npos)
      << st.text();
  st = Exec("BEGIN\n  x := 1;\nEND;");
  EXPECT_EQ(st.text(),
            "ORA-06550: line 2, column 3:\nPLS-00201: identifier 'X' must be declared\n"
            "ORA-06550: line 2, column 3:\nPL/SQL: Statement ignored");
  st = Exec("DECLARE n NUMBER;\nBEGIN\n  SELECT 1 INTO n FROM no_table;\nEND;");
  EXPECT_EQ(st.code(), 6550);
  EXPECT_NE(st.text().find("PL/SQL: ORA-00942: table or view does not exist"), std::string::npos) << st.text();
  st = Exec("BEGIN\n  IF 1 = 1 THEN NULL;\nEND;");
  EXPECT_EQ(st.code(), 6550);
  EXPECT_NE(st.text().find("PLS-00103: Encountered the symbol"), std::string::npos) << st.text();
  st = Exec("BEGIN SELECT 1 FROM dual; END;");
  EXPECT_NE(st.text().find("PLS-00428"), std::string::npos) << st.text();
}

TEST_F(PlsqlBlockTest, ServerOutputBuffer) {
  Ok("BEGIN DBMS_OUTPUT.PUT_LINE('one'); DBMS_OUTPUT.PUT_LINE(NULL); DBMS_OUTPUT.PUT_LINE(2); END;");
  EXPECT_EQ(tabdb::ServerOutputTakeLines(*app_), (std::vector<std::string>{"one", "", "2"}));
  EXPECT_TRUE(tabdb::ServerOutputTakeLines(*app_).empty());
  Ok("DECLARE l VARCHAR2(100); st NUMBER;\n"
     "BEGIN DBMS_OUTPUT.PUT_LINE('a'); DBMS_OUTPUT.GET_LINE(l, st);\n"
     "  DBMS_OUTPUT.GET_LINE(l, st); DBMS_OUTPUT.PUT_LINE(NVL(l, '-') || st); END;");
  EXPECT_EQ(Output(), "-1");
  Ok("BEGIN DBMS_OUTPUT.DISABLE; DBMS_OUTPUT.PUT_LINE('lost'); END;");
  EXPECT_EQ(Output(), "");
}

// An installer's loop of inserts compiles its INSERT once.
TEST_F(PlsqlBlockTest, LoopOfInserts) {
  Ok("CREATE TABLE big (id NUMBER, v VARCHAR2(30))");
  Ok("BEGIN FOR i IN 1..20000 LOOP INSERT INTO big VALUES (i, 'row ' || i); END LOOP; END;");
  EXPECT_EQ(Query("SELECT COUNT(*) || ':' || SUM(id) FROM big"), "20000:200010000");
}

// Language features blocks of installation scripts use: each block with the
// DBMS_OUTPUT lines it gives ('|' between them), or the start of its error.
TEST_F(PlsqlBlockTest, LanguageFeatures) {
  Ok("CREATE TABLE emp (id NUMBER PRIMARY KEY, name VARCHAR2(20), sal NUMBER)");
  Ok("INSERT INTO emp VALUES (1, 'ann', 100)");
  Ok("INSERT INTO emp VALUES (2, 'bob', 200)");
  Ok("INSERT INTO emp VALUES (3, 'cy', 300)");
  Ok("CREATE PACKAGE pk AS\n"
     "  TYPE num_tab IS TABLE OF NUMBER;\n"
     "  TYPE map_t IS TABLE OF VARCHAR2(30) INDEX BY VARCHAR2(30);\n"
     "  g map_t;\n"
     "  FUNCTION squares(n PLS_INTEGER) RETURN num_tab;\n"
     "  PROCEDURE fill(v OUT num_tab);\n"
     "  FUNCTION total(v num_tab) RETURN NUMBER;\n"
     "END;");
  Ok("CREATE PACKAGE BODY pk AS\n"
     "  FUNCTION squares(n PLS_INTEGER) RETURN num_tab IS r num_tab := num_tab();\n"
     "  BEGIN FOR i IN 1..n LOOP r.EXTEND; r(r.LAST) := i * i; END LOOP; RETURN r; END;\n"
     "  PROCEDURE fill(v OUT num_tab) IS BEGIN v := num_tab(7, 8); END;\n"
     "  FUNCTION total(v num_tab) RETURN NUMBER IS t NUMBER := 0;\n"
     "  BEGIN FOR i IN 1..v.COUNT LOOP t := t + v(i); END LOOP; RETURN t; END;\n"
     "END;");
  struct Case {
    const char* block;
    const char* expected;  // output lines, or the error's first lines
  };
  const Case cases[] = {
      // associative arrays
      {"DECLARE TYPE t IS TABLE OF VARCHAR2(10) INDEX BY PLS_INTEGER; v t; i PLS_INTEGER;\n"
       "BEGIN v(5) := 'e'; v(1) := 'a'; v(3) := 'c';\n"
       "  DBMS_OUTPUT.PUT_LINE(v(1) || v.COUNT || v.FIRST || v.LAST || v.NEXT(1) || v.PRIOR(3) || NVL(v.NEXT(5), -1));\n"
       "  IF v.EXISTS(3) AND NOT v.EXISTS(2) THEN v.DELETE(3); END IF;\n"
       "  i := v.FIRST; WHILE i IS NOT NULL LOOP DBMS_OUTPUT.PUT_LINE(i || v(i)); i := v.NEXT(i); END LOOP;\n"
       "  v.DELETE(1, 4); DBMS_OUTPUT.PUT_LINE(v.COUNT); v.DELETE; DBMS_OUTPUT.PUT_LINE(v.COUNT || NVL(v.FIRST, 0));\n"
       "  DBMS_OUTPUT.PUT_LINE(v(2));\n"
       "EXCEPTION WHEN NO_DATA_FOUND THEN DBMS_OUTPUT.PUT_LINE(SQLERRM); END;",
       "a31531-1|1a|5e|1|00|ORA-01403: no data found"},
      {"DECLARE TYPE m IS TABLE OF NUMBER INDEX BY VARCHAR2(20); v m; k VARCHAR2(20);\n"
       "BEGIN v('x') := 1; v('b') := 2; v('m') := 3; v('b') := v('b') * 10;\n"
       "  k := v.FIRST; WHILE k IS NOT NULL LOOP DBMS_OUTPUT.PUT_LINE(k || v(k)); k := v.NEXT(k); END LOOP;\n"
       "  DBMS_OUTPUT.PUT_LINE(v.LAST || v.PRIOR('m') || v.COUNT); END;",
       "b20|m3|x1|xb3"},
      // nested tables and varrays
      {"DECLARE TYPE nt IS TABLE OF NUMBER; n nt := nt(10, 20, 30); e nt; BEGIN\n"
       "  n.EXTEND; n(4) := 40; n.EXTEND(2, 1); DBMS_OUTPUT.PUT_LINE(n.COUNT || ' ' || n(6) || NVL(n.LIMIT, -1));\n"
       "  n.TRIM(2); n.DELETE(2); DBMS_OUTPUT.PUT_LINE(n.COUNT || n.FIRST || n.NEXT(1) || n.LAST);\n"
       "  IF e IS NULL THEN e := n; END IF; e(1) := 0; DBMS_OUTPUT.PUT_LINE(n(1) || e(1) || e.COUNT);\n"
       "  BEGIN DBMS_OUTPUT.PUT_LINE(n(2)); EXCEPTION WHEN OTHERS THEN DBMS_OUTPUT.PUT_LINE(SQLCODE); END;\n"
       "  e := NULL; DBMS_OUTPUT.PUT_LINE(CASE WHEN e.EXISTS(1) THEN 'y' ELSE 'n' END); END;",
       "6 10-1|3134|1003|100|n"},
      {"DECLARE TYPE va IS VARRAY(3) OF VARCHAR2(5); a va := va('x', 'y'); BEGIN\n"
       "  DBMS_OUTPUT.PUT_LINE(a.COUNT || a.LIMIT || a(2)); a.EXTEND; a(3) := 'z';\n"
       "  FOR i IN 1..a.COUNT LOOP DBMS_OUTPUT.PUT_LINE(a(i)); END LOOP; a.EXTEND; END;",
       "23y|x|y|z|ORA-06532: Subscript outside of limit\nORA-06512: at line 3"},
      {"DECLARE TYPE nt IS TABLE OF NUMBER; n nt; BEGIN\nn(1) := 1; END;",
       "ORA-06531: Reference to uninitialized collection\nORA-06512: at line 2"},
      {"DECLARE TYPE nt IS TABLE OF NUMBER; n nt := nt(1); BEGIN\nDBMS_OUTPUT.PUT_LINE(n(2)); END;",
       "ORA-06533: Subscript beyond count\nORA-06512: at line 2"},
      {"DECLARE TYPE nt IS TABLE OF NUMBER; n nt := nt(); BEGIN\nn.EXTEND; n(0) := 1; END;",
       "ORA-06532: Subscript outside of limit\nORA-06512: at line 2"},
      {"DECLARE TYPE nt IS TABLE OF VARCHAR2(2); n nt := nt('abc'); BEGIN NULL; END;",
       "ORA-06502: PL/SQL: numeric or value error: character string buffer too small"},
      {"DECLARE x pk.num_tab; y pk.num_tab; BEGIN x := pk.squares(3); pk.fill(y);\n"
       "  pk.g('k') := 'v' || x(3); DBMS_OUTPUT.PUT_LINE(x.COUNT || y(2) || pk.g('k') || pk.g.COUNT);\n"
       "  DBMS_OUTPUT.PUT_LINE(pk.total(x)); END;",
       "38v91|14"},
      // records, %ROWTYPE, %TYPE and explicit cursors
      {"DECLARE TYPE r_t IS RECORD (id NUMBER, name emp.name%TYPE); TYPE rs_t IS TABLE OF r_t INDEX BY PLS_INTEGER;\n"
       "  r r_t; rs rs_t; e emp%ROWTYPE;\n"
       "  CURSOR c (p_min NUMBER) IS SELECT id, name FROM emp WHERE sal >= p_min ORDER BY id; cr c%ROWTYPE;\n"
       "BEGIN r.id := 7; r.name := 'rec'; rs(1) := r; rs(2).id := 8; rs(2).name := 'two'; r := rs(2);\n"
       "  SELECT * INTO e FROM emp WHERE id = 2; DBMS_OUTPUT.PUT_LINE(rs(1).name || r.name || rs.COUNT || e.name || e.sal);\n"
       "  OPEN c(150); LOOP FETCH c INTO cr; EXIT WHEN c%NOTFOUND; DBMS_OUTPUT.PUT_LINE(c%ROWCOUNT || cr.name); END LOOP;\n"
       "  IF c%ISOPEN THEN CLOSE c; END IF;\n"
       "  FOR x IN c(p_min => 300) LOOP DBMS_OUTPUT.PUT_LINE('for ' || x.id); END LOOP;\n"
       "  FOR x IN (SELECT COUNT(*) n FROM emp) LOOP DBMS_OUTPUT.PUT_LINE('n ' || x.n); END LOOP; END;",
       "rectwo2bob200|1bob|2cy|for 3|n 3"},
      {"DECLARE TYPE rc_t IS REF CURSOR; rc SYS_REFCURSOR; r2 rc_t; n NUMBER; s VARCHAR2(20);\n"
       "BEGIN OPEN rc FOR SELECT COUNT(*) FROM emp WHERE id > n; FETCH rc INTO n; CLOSE rc;\n"
       "  OPEN r2 FOR 'SELECT name FROM emp WHERE id >= :1 ORDER BY id' USING 2;\n"
       "  LOOP FETCH r2 INTO s; EXIT WHEN r2%NOTFOUND; DBMS_OUTPUT.PUT_LINE(s || r2%ROWCOUNT); END LOOP;\n"
       "  OPEN r2 FOR SELECT name FROM emp WHERE id = 1; FETCH r2 INTO s; CLOSE r2;\n"
       "  DBMS_OUTPUT.PUT_LINE(s || n || CASE WHEN r2%ISOPEN THEN 'open' ELSE 'closed' END); END;",
       "bob1|cy2|ann0closed"},
      // BULK COLLECT and FORALL
      {"DECLARE TYPE emp_tab IS TABLE OF emp%ROWTYPE; TYPE ids_t IS TABLE OF emp.id%TYPE;\n"
       "  TYPE names_t IS TABLE OF VARCHAR2(20); es emp_tab; ids ids_t; names names_t;\n"
       "  CURSOR c IS SELECT * FROM emp ORDER BY id;\n"
       "BEGIN SELECT * BULK COLLECT INTO es FROM emp ORDER BY id;\n"
       "  DBMS_OUTPUT.PUT_LINE(es.COUNT || es(3).name || SQL%ROWCOUNT);\n"
       "  SELECT id, name BULK COLLECT INTO ids, names FROM emp WHERE id > 1 ORDER BY id;\n"
       "  OPEN c; LOOP FETCH c BULK COLLECT INTO es LIMIT 2;\n"
       "    DBMS_OUTPUT.PUT_LINE('chunk ' || es.COUNT || c%ROWCOUNT); EXIT WHEN c%NOTFOUND; END LOOP; CLOSE c;\n"
       "  FORALL i IN 1..ids.COUNT UPDATE emp SET sal = sal + 1 WHERE id >= ids(i);\n"
       "  DBMS_OUTPUT.PUT_LINE('upd ' || SQL%ROWCOUNT || SQL%BULK_ROWCOUNT(1) || SQL%BULK_ROWCOUNT(2));\n"
       "  FORALL i IN INDICES OF ids INSERT INTO emp VALUES (ids(i) * 10, names(i), 0);\n"
       "  FORALL i IN 1..ids.COUNT EXECUTE IMMEDIATE 'DELETE FROM emp WHERE id = :1' USING ids(i) * 10;\n"
       "  DBMS_OUTPUT.PUT_LINE('del ' || SQL%ROWCOUNT);\n"
       "  EXECUTE IMMEDIATE 'SELECT name FROM emp WHERE sal > :s ORDER BY id' BULK COLLECT INTO names USING 200;\n"
       "  DBMS_OUTPUT.PUT_LINE(names.COUNT || names(1) || names(names.LAST)); ROLLBACK; END;",
       "3cy3|chunk 22|chunk 13|upd 321|del 2|2bobcy"},
      // conditional compilation
      {"BEGIN\n"
       "  $IF DBMS_DB_VERSION.VER_LE_11_2 $THEN DBMS_OUTPUT.PUT_LINE('old');\n"
       "  $ELSIF DBMS_DB_VERSION.VERSION >= 12 AND DBMS_DB_VERSION.VER_LE_19 $THEN\n"
       "    $IF DBMS_DB_VERSION.RELEASE = 0 $THEN DBMS_OUTPUT.PUT_LINE('19.0 at ' || $$PLSQL_LINE); $END\n"
       "  $ELSE no such code here $END\n"
       "  IF DBMS_DB_VERSION.VERSION = 19 AND NOT DBMS_DB_VERSION.VER_LE_18 THEN DBMS_OUTPUT.PUT_LINE('if'); END IF;\n"
       "END;",
       "19.0 at 4|if"},
      {"BEGIN\n  $IF DBMS_DB_VERSION.VERSION > 10 $THEN\n    $ERROR 'needs ' || 'release 10' $END\n  $END\nEND;",
       "ORA-06550: line 3, column 5:\nPLS-00179: $ERROR: needs release 10"},
      {"BEGIN\n  $IF 1 $THEN NULL; $END\nEND;", "ORA-06550: line 2, column 7:\nPLS-00174"},
      {"BEGIN\n  $IF TRUE $THEN NULL;\nEND;", "ORA-06550: line 3, column 5:\nPLS-00103"},
      // GOTO, local subprograms, long strings, dynamic SQL, exceptions
      {"DECLARE n NUMBER := 0; big VARCHAR2(32767); s VARCHAR2(10);\n"
       "  e_app EXCEPTION; PRAGMA EXCEPTION_INIT(e_app, -20001);\n"
       "  FUNCTION twice(x NUMBER) RETURN NUMBER IS BEGIN RETURN x * 2; END;\n"
       "  PROCEDURE say(m VARCHAR2) IS BEGIN DBMS_OUTPUT.PUT_LINE('say ' || m); END;\n"
       "BEGIN <<again>> n := n + 1; IF n < 3 THEN GOTO again; END IF;\n"
       "  GOTO past; n := 0; <<past>> say(twice(n));\n"
       "  FOR i IN 1..3 LOOP IF i = 2 THEN GOTO next_i; END IF; say(i); <<next_i>> NULL; END LOOP;\n"
       "  big := RPAD('x', 32767, 'x'); DBMS_OUTPUT.PUT_LINE(LENGTH(big));\n"
       "  EXECUTE IMMEDIATE 'SELECT :a || :b FROM dual' INTO s USING 'p', n;\n"
       "  DBMS_OUTPUT.PUT_LINE(s);\n"
       "  RAISE_APPLICATION_ERROR(-20001, 'app ' || s);\n"
       "EXCEPTION WHEN e_app THEN DBMS_OUTPUT.PUT_LINE(SQLCODE || ' ' || SQLERRM); END;",
       "say 6|say 1|say 3|32767|p3|-20001 ORA-20001: app p3"},
      // supplied packages
      {"DECLARE s VARCHAR2(10); t NUMBER := DBMS_UTILITY.GET_TIME; BEGIN\n"
       "  SELECT name INTO s FROM emp WHERE id = 0;\n"
       "EXCEPTION WHEN OTHERS THEN\n"
       "  DBMS_OUTPUT.PUT_LINE(DBMS_UTILITY.FORMAT_ERROR_STACK || DBMS_UTILITY.FORMAT_ERROR_BACKTRACE ||\n"
       "                       CASE WHEN DBMS_UTILITY.GET_TIME >= t THEN 'time' END); END;",
       "ORA-01403: no data found\nORA-06512: at line 2\ntime"},
      {"DECLARE c CLOB; d CLOB := 'world'; n NUMBER := 3; BEGIN\n"
       "  DBMS_LOB.CREATETEMPORARY(c, TRUE); DBMS_LOB.WRITEAPPEND(c, 3, 'abcdef'); DBMS_LOB.APPEND(c, d);\n"
       "  DBMS_OUTPUT.PUT_LINE(c || DBMS_LOB.GETLENGTH(c) || DBMS_LOB.INSTR(c, 'o', 1, 2) || DBMS_LOB.SUBSTR(c, 2, 4));\n"
       "  DBMS_LOB.COPY(c, d, 2, 2, 4); DBMS_LOB.ERASE(c, n, 4); DBMS_LOB.TRIM(c, 7);\n"
       "  DBMS_OUTPUT.PUT_LINE(c || '|' || n || DBMS_LOB.COMPARE(c, d) || DBMS_LOB.COMPARE(d, d));\n"
       "  DBMS_LOB.WRITE(c, 2, 1, 'xy'); DBMS_OUTPUT.PUT_LINE(c); DBMS_LOB.FREETEMPORARY(c); END;",
       "abcworld80wo|ald   l|3-10|xyd   l"},
      // records as rows, a collection's %TYPE, the collection exceptions
      {"DECLARE TYPE t IS TABLE OF emp%ROWTYPE INDEX BY PLS_INTEGER; v t; w v%TYPE; r emp%ROWTYPE;\n"
       "  TYPE n_t IS TABLE OF NUMBER; n n_t;\n"
       "BEGIN r.id := 10; r.name := 'ten'; r.sal := 0; INSERT INTO emp VALUES r; v(1) := r; v(2) := r;\n"
       "  v(1).id := 11; v(2).id := 12; w := v; FORALL i IN 1..w.COUNT INSERT INTO emp VALUES w(i);\n"
       "  SELECT COUNT(*) INTO r.id FROM emp WHERE id >= 10; DBMS_OUTPUT.PUT_LINE(r.id); n(1) := 1;\n"
       "EXCEPTION WHEN COLLECTION_IS_NULL THEN DBMS_OUTPUT.PUT_LINE('null ' || SQLCODE); ROLLBACK; END;",
       "3|null -6531"},
      {"DECLARE n NUMBER; x pk.num_tab := pk.num_tab(4, 5);\n"
       "  FUNCTION cnt(v pk.num_tab) RETURN NUMBER IS BEGIN RETURN v.COUNT; END;\n"
       "BEGIN INSERT INTO emp VALUES (20, 'new', 1) RETURNING id INTO n; DBMS_OUTPUT.PUT_LINE(n || SQL%ROWCOUNT);\n"
       "  n := cnt(pk.squares(4)); DBMS_OUTPUT.PUT_LINE(n || ' ' || (cnt(x) + pk.total(x))); ROLLBACK; END;",
       "201|4 11"},
      {"DECLARE TYPE ids_t IS TABLE OF NUMBER; ids ids_t := ids_t(100, 1, 101, 2);\n"
       "  e_dml EXCEPTION; PRAGMA EXCEPTION_INIT(e_dml, -24381);\n"
       "BEGIN FORALL i IN 1..ids.COUNT SAVE EXCEPTIONS INSERT INTO emp (id, name) VALUES (ids(i), 'x');\n"
       "EXCEPTION WHEN e_dml THEN DBMS_OUTPUT.PUT_LINE(SQL%ROWCOUNT || ' ' || SQL%BULK_EXCEPTIONS.COUNT);\n"
       "  FOR j IN 1..SQL%BULK_EXCEPTIONS.COUNT LOOP DBMS_OUTPUT.PUT_LINE(SQL%BULK_EXCEPTIONS(j).ERROR_INDEX || ' ' ||\n"
       "    SQL%BULK_EXCEPTIONS(j).ERROR_CODE || ' ' || SQLERRM(-SQL%BULK_EXCEPTIONS(j).ERROR_CODE)); END LOOP;\n"
       "  ROLLBACK; END;",
       "2 2|2 1 ORA-00001: unique constraint (.) violated|4 1 ORA-00001: unique constraint (.) violated"},
  };
  for (const Case& c : cases) {
    Status st = Exec(c.block);
    std::string got = Output();
    if (!st.ok()) got += (got.empty() ? "" : "|") + st.text();
    EXPECT_EQ(got.substr(0, std::string(c.expected).size()), c.expected) << c.block << "\n" << got;
    if (st.ok()) {
      EXPECT_EQ(got, c.expected) << c.block;
    }
  }
  EXPECT_EQ(Query("SELECT SUM(sal) FROM emp"), "600");
}

// Stored code is kept as source: *_SOURCE shows it line by line from
// its type keyword; it is replaced and dropped. A unit naming a table that
// does not exist is kept INVALID and cannot be called.
TEST_F(PlsqlBlockTest, StoredCodeKeptAsSource) {
  EXPECT_EQ(Exec("CREATE OR REPLACE EDITIONABLE PROCEDURE p (n IN NUMBER) IS\n"
                 "  v t%ROWTYPE;\n"
                 "BEGIN\n"
                 "  NULL;\n"
                 "END p;\n"
                 "/\n").code(), 24344);
  EXPECT_EQ(Query("SELECT name || ' ' || type || ' ' || line || ':' || text FROM user_source ORDER BY line"),
            "P PROCEDURE 1:PROCEDURE p (n IN NUMBER) IS\n|P PROCEDURE 2:  v t%ROWTYPE;\n|"
            "P PROCEDURE 3:BEGIN\n|P PROCEDURE 4:  NULL;\n|P PROCEDURE 5:END p;");
  Ok("CREATE PACKAGE pk AS PROCEDURE x; END;");
  Ok("CREATE PACKAGE BODY pk AS PROCEDURE x IS BEGIN NULL; END; END;");
  Ok("CREATE TABLE tt (a NUMBER)");  // a trigger needs its table
  Ok("CREATE TRIGGER trg BEFORE INSERT ON tt FOR EACH ROW BEGIN :new.a := 1; END;");
  Ok("CREATE OR REPLACE FUNCTION f RETURN NUMBER IS BEGIN RETURN 1; END;");
  Ok("CREATE OR REPLACE TYPE ty AS OBJECT (a NUMBER);");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM user_source"), "10");
  EXPECT_EQ(Query("SELECT owner || '.' || name FROM all_source WHERE type = 'PACKAGE BODY'"), "APP.PK");
  EXPECT_EQ(Query("SELECT DBMS_METADATA.GET_DDL('PROCEDURE', 'P') FROM dual"),
            "\n  CREATE OR REPLACE EDITIONABLE PROCEDURE \"APP\".\"P\"  (n IN NUMBER) IS\n"
            "  v t%ROWTYPE;\nBEGIN\n  NULL;\nEND p;");
  EXPECT_EQ(Query("SELECT DBMS_METADATA.GET_DDL('TRIGGER', 'TRG') FROM dual"),
            "\n  CREATE OR REPLACE EDITIONABLE TRIGGER \"APP\".\"TRG\"  BEFORE INSERT ON tt FOR EACH ROW "
            "BEGIN :new.a := 1; END;\nALTER TRIGGER \"APP\".\"TRG\" ENABLE");
  Ok("ALTER TRIGGER trg DISABLE");
  EXPECT_EQ(Query("SELECT SUBSTR(DBMS_METADATA.GET_DDL('TRIGGER', 'TRG'), -8) FROM dual"), " DISABLE");
  EXPECT_EQ(Exec("ALTER TRIGGER nosuch ENABLE").text(), "ORA-04080: trigger 'APP.NOSUCH' does not exist");
  EXPECT_EQ(Query("SELECT DBMS_METADATA.GET_DDL('PACKAGE', 'PK') FROM dual"),
            "\n  CREATE OR REPLACE EDITIONABLE PACKAGE \"APP\".\"PK\"  AS PROCEDURE x; END;\n"
            "  CREATE OR REPLACE EDITIONABLE PACKAGE BODY \"APP\".\"PK\"  AS PROCEDURE x IS BEGIN NULL; END; END;");
  // Oracle's errors: a name in use, a unit that is not there
  EXPECT_EQ(Exec("CREATE PROCEDURE p IS BEGIN NULL; END;").code(), 955);
  EXPECT_EQ(Exec("CREATE FUNCTION pk RETURN NUMBER IS BEGIN RETURN 1; END;").code(), 955);
  Ok("CREATE TABLE tab1 (a NUMBER)");
  EXPECT_EQ(Exec("CREATE PROCEDURE tab1 IS BEGIN NULL; END;").code(), 955);
  Status st = Exec("BEGIN\n  p(1);\nEND;");
  EXPECT_EQ(st.text(), "ORA-06550: line 2, column 3:\nPLS-00905: object APP.P is invalid\n"
                       "ORA-06550: line 2, column 3:\nPL/SQL: Statement ignored");
  Ok("BEGIN pk.x; END;");
  Ok("DROP PACKAGE pk");
  Ok("DROP PROCEDURE p");
  st = Exec("DROP PROCEDURE p");
  EXPECT_EQ(st.text(), "ORA-04043: object P does not exist");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM user_source WHERE name IN ('P', 'PK')"), "0");
  EXPECT_EQ(Exec("DROP TRIGGER trg x").code(), 933);
}

}  // namespace

// DBMS_METADATA's browsing interface: each FETCH_CLOB gives the GET_DDL
// texts of the next SET_COUNT objects (by name) under the context's own
// transform parameters, NULL at the end; misuse gives Oracle's errors.
TEST_F(PlsqlBlockTest, MetadataBrowsing) {
  Ok("CREATE TABLE b_t (id NUMBER CONSTRAINT b_pk PRIMARY KEY, v VARCHAR2(5) CONSTRAINT b_ck CHECK (v <> 'x'))");
  Ok("CREATE TABLE a_t (id NUMBER)");
  Ok("CREATE TABLE c_t (id NUMBER CONSTRAINT c_fk REFERENCES b_t, w DATE)");
  Ok("CREATE INDEX c_ix ON c_t (w)");
  Ok("CREATE INDEX a_ix ON a_t (id)");
  // The texts a context should give, read with GET_DDL.
  auto ddl = [&](const std::string& type, const std::string& name, bool segments) {
    if (!segments)
      Ok("BEGIN DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'SEGMENT_ATTRIBUTES', FALSE); END;");
    std::string t = Query("SELECT DBMS_METADATA.GET_DDL('" + type + "', '" + name + "', 'APP') FROM dual");
    Ok("BEGIN DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'DEFAULT'); END;");
    return t;
  };
  const std::string a = ddl("TABLE", "A_T", false), b = ddl("TABLE", "B_T", false), c = ddl("TABLE", "C_T", false);
  struct Case {
    const char* type;
    const char* setup;       // calls on h before the fetches
    std::string fetched;     // what each FETCH_CLOB gave, '|' between
    int code;                // an error instead, with its text
    const char* error;
  };
  const Case cases[] = {
      {"TABLE", "SET_COUNT(h, 2); th := DBMS_METADATA.ADD_TRANSFORM(h, 'DDL');"
                "DBMS_METADATA.SET_TRANSFORM_PARAM(th, 'SEGMENT_ATTRIBUTES', FALSE);",
       a + b + "|" + c, 0, ""},
      {"TABLE", "SET_FILTER(h, 'NAME', 'B_T'); th := DBMS_METADATA.ADD_TRANSFORM(h, 'DDL');",
       ddl("TABLE", "B_T", true), 0, ""},
      {"INDEX", "SET_FILTER(h, 'SCHEMA', 'APP'); DBMS_METADATA.SET_FILTER(h, 'BASE_OBJECT_NAME', 'C_T');"
                "th := DBMS_METADATA.ADD_TRANSFORM(h, 'DDL');",
       ddl("INDEX", "C_IX", true), 0, ""},
      {"INDEX", "SET_COUNT(h, 1); th := DBMS_METADATA.ADD_TRANSFORM(h, 'DDL');",
       ddl("INDEX", "A_IX", true) + "|" + ddl("INDEX", "B_PK", true) + "|" + ddl("INDEX", "C_IX", true), 0, ""},
      {"CONSTRAINT", "SET_FILTER(h, 'BASE_OBJECT_NAME', 'B_T'); th := DBMS_METADATA.ADD_TRANSFORM(h, 'DDL');",
       ddl("CONSTRAINT", "B_CK", true) + "|" + ddl("CONSTRAINT", "B_PK", true), 0, ""},
      {"REF_CONSTRAINT", "SET_COUNT(h, 5); th := DBMS_METADATA.ADD_TRANSFORM(h, 'DDL');",
       ddl("REF_CONSTRAINT", "C_FK", true), 0, ""},
      // a schema without tables: nothing to fetch
      {"TABLE", "SET_FILTER(h, 'SCHEMA', 'SYSTEM'); th := DBMS_METADATA.ADD_TRANSFORM(h, 'DDL');", "", 0, ""},
      {"SYNONYMS", "", "", 31600, "invalid input value SYNONYMS for parameter OBJECT_TYPE in function OPEN"},
      {"TABLE", "SET_FILTER(h, 'BASE_OBJECT_NAME', 'X');", "", 31604,
       "invalid NAME parameter \"BASE_OBJECT_NAME\" for object type TABLE in function SET_FILTER"},
      {"TABLE", "SET_COUNT(h, 0);", "", 31600, "invalid input value 0 for parameter VALUE in function SET_COUNT"},
      {"TABLE", "SET_COUNT(h, 1);", "", 31600, "invalid input value 100001 for parameter HANDLE in function FETCH_CLOB"},
      {"TABLE", "SET_COUNT(h, 1); th := DBMS_METADATA.ADD_TRANSFORM(h, 'SXML');", "", 31600,
       "invalid input value SXML for parameter NAME in function ADD_TRANSFORM"},
      {"TABLE", "SET_COUNT(h, 1); th := DBMS_METADATA.ADD_TRANSFORM(h, 'DDL');"
                "DBMS_METADATA.SET_TRANSFORM_PARAM(th, 'NOPE', TRUE);", "", 31600,
       "invalid input value NOPE for parameter NAME in function SET_TRANSFORM_PARAM"},
      {"TABLE", "SET_COUNT(h, 1); th := DBMS_METADATA.ADD_TRANSFORM(h, 'DDL'); d := DBMS_METADATA.FETCH_CLOB(h);"
                "DBMS_METADATA.SET_COUNT(h, 2);", "", 31602,
       "parameter HANDLE value \"100001\" in function SET_COUNT inconsistent with FETCH"},
      {"TABLE", "CLOSE(h); DBMS_METADATA.CLOSE(h);", "", 31600,
       "invalid input value 100001 for parameter HANDLE in function CLOSE"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.type) + ": " + k.setup);
    // a session of its own: every session numbers its contexts from the
    // same first handle
    app_ = NewUser("U" + std::to_string(&k - cases), true);
    ASSERT_TRUE(app_);
    tabdb::ServerOutputEnable(*app_, true);
    std::string block = std::string("DECLARE h NUMBER; th NUMBER; d CLOB;\nBEGIN\n  h := DBMS_METADATA.OPEN('") +
                        k.type + "');\n" + (k.setup[0] ? std::string("  DBMS_METADATA.") + k.setup + "\n" : "") +
                        "  LOOP d := DBMS_METADATA.FETCH_CLOB(h); EXIT WHEN d IS NULL; DBMS_OUTPUT.PUT_LINE(d); END LOOP;\n"
                        "  DBMS_METADATA.CLOSE(h);\nEND;";
    // the schema is APP unless the case names one
    if (k.setup[0] && std::string(k.setup).find("'SCHEMA'") == std::string::npos)
      block.replace(block.find("\n  DBMS_METADATA."), 0, "\n  DBMS_METADATA.SET_FILTER(h, 'SCHEMA', 'APP');");
    Status st = Exec(block);
    if (k.code == 0) {
      ASSERT_TRUE(st.ok()) << block << "\n" << st.text();
      EXPECT_EQ(Output(), k.fetched);
    } else {
      EXPECT_EQ(st.code(), k.code) << st.text();
      EXPECT_EQ(st.text().substr(0, st.text().find('\n')), "ORA-" + std::to_string(k.code) + ": " + k.error);
    }
  }
  // A context's parameters leave the session's alone.
  EXPECT_EQ(ddl("TABLE", "A_T", true), Query("SELECT DBMS_METADATA.GET_DDL('TABLE', 'A_T', 'APP') FROM dual"));
}
