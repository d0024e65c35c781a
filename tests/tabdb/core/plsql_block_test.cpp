// plsql_block_test.cpp - anonymous PL/SQL blocks run by the engine:
// variables and control flow, SQL with variables as binds, exceptions and
// their Oracle errors, DBMS_OUTPUT, and errors of blocks that do not compile.
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
     "  COMMIT;\n"
     "END;");
  EXPECT_EQ(Output(), "upd 3|deleted|N22|3=N3|4=n4|cn8|cn9|cnt 4");
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
