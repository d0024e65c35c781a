// code_roundtrip_test.cpp - a schema whose triggers fill key, audit and
// version columns and whose view calls a function of its own goes through
// tabexp and tabimp, and through its tabdump --sql script: the rows arrive
// as they were (the triggers are created after the rows and fire on none
// of them), and in the copy the triggers fire and the view calls the
// copy's own function.
#include <string>

#include <gtest/gtest.h>

#include "support.h"

namespace {

using testsupport::ProcResult;
using testsupport::RunSql;

const char kNls[] = "NLS_LANG=AMERICAN_AMERICA.AL32UTF8";

const char kSchema[] =
    "CREATE SEQUENCE item_seq;\n"
    "CREATE TABLE item (id NUMBER PRIMARY KEY, name VARCHAR2(30) NOT NULL, created DATE NOT NULL,\n"
    "  created_by VARCHAR2(30) NOT NULL, version NUMBER NOT NULL);\n"
    "CREATE FUNCTION item_label (p_name VARCHAR2, p_id NUMBER) RETURN VARCHAR2 IS\n"
    "BEGIN\n  RETURN UPPER(p_name) || '#' || p_id;\nEND;\n/\n"
    "CREATE TRIGGER item_bi BEFORE INSERT ON item FOR EACH ROW\n"
    "BEGIN\n"
    "  IF :NEW.id IS NULL THEN\n    :NEW.id := item_seq.NEXTVAL;\n  END IF;\n"
    "  :NEW.created := DATE '2024-01-01';\n  :NEW.created_by := USER;\n  :NEW.version := 1;\n"
    "END;\n/\n"
    "CREATE TRIGGER item_bu BEFORE UPDATE ON item FOR EACH ROW\n"
    "BEGIN\n  :NEW.version := :OLD.version + 1;\nEND;\n/\n"
    "INSERT INTO item (name) VALUES ('a');\n"
    "INSERT INTO item (name) VALUES ('b');\n"
    "UPDATE item SET name = 'bb' WHERE name = 'b';\n"
    "CREATE VIEW item_v AS SELECT id, item_label(name, id) label, version FROM item;\n"
    "COMMIT;\n";

class CodeRoundTrip : public testsupport::AppShellTest {
 protected:
  std::string Rows(const std::string& sql, const std::string& who) {
    ProcResult r = RunSql(who + "@" + path_, "SET HEADING OFF\n" + sql, {kNls});
    EXPECT_EQ(r.err, "") << sql;
    return r.out;
  }
};

TEST_F(CodeRoundTrip, TriggersFireInTheCopyAndNotOnItsLoad) {
  ProcResult r = RunSql("system/manager@" + path_,
                        "GRANT CREATE SESSION, CREATE TABLE, CREATE SEQUENCE, CREATE PROCEDURE, CREATE TRIGGER,"
                        " CREATE VIEW, UNLIMITED TABLESPACE TO app;\n"
                        "CREATE USER copy IDENTIFIED BY copy;\nCREATE USER copy2 IDENTIFIED BY copy2;\n"
                        "GRANT CREATE SESSION, CREATE TABLE, CREATE SEQUENCE, CREATE PROCEDURE, CREATE TRIGGER,"
                        " CREATE VIEW, UNLIMITED TABLESPACE TO copy, copy2;\n",
                        {kNls});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  r = App(kSchema);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  ASSERT_EQ(r.out.find("ORA-"), std::string::npos) << r.out;
  const std::string items = "SELECT id, name, TO_CHAR(created, 'YYYY-MM-DD'), created_by, version FROM item ORDER BY id;\n";
  ASSERT_EQ(Rows(items, "app/app"), "1|a|2024-01-01|APP|1\n2|bb|2024-01-01|APP|2\n");

  std::string dump = dir_.file("code.dmp");
  r = testsupport::Run({TABEXP_PATH, "system/manager@" + path_, "FILE=" + dump, "OWNER=app"}, {kNls});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  r = testsupport::Run({TABIMP_PATH, "system/manager@" + path_, "FILE=" + dump, "TOUSER=copy"}, {kNls});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  // the rows as they were: no trigger fired on the load
  EXPECT_EQ(Rows(items, "copy/copy"), Rows(items, "app/app"));
  EXPECT_EQ(Rows("SELECT * FROM item_v ORDER BY id;\n", "copy/copy"), "1|A#1|1\n2|BB#2|2\n");
  // in the copy they fire, as the copy's own, with its sequence
  Rows("INSERT INTO item (name) VALUES ('c');\nUPDATE item SET name = 'aa' WHERE id = 1;\nCOMMIT;\n", "copy/copy");
  EXPECT_EQ(Rows("SELECT name, created_by, version, CASE WHEN id > 2 THEN 'new' END FROM item ORDER BY name;\n",
                 "copy/copy"),
            "aa|APP|2|\nbb|APP|2|\nc|COPY|1|new\n");
  EXPECT_EQ(Rows("SELECT object_name, object_type, status FROM user_objects WHERE object_type IN"
                 " ('TRIGGER', 'FUNCTION', 'VIEW') ORDER BY 1;\n",
                 "copy/copy"),
            "ITEM_BI|TRIGGER|VALID\nITEM_BU|TRIGGER|VALID\nITEM_LABEL|FUNCTION|VALID\nITEM_V|VIEW|VALID\n");

  // the script of the dump builds the same code, which then runs
  r = testsupport::Run({TABDUMP_PATH, "--sql", dump}, {kNls});
  ASSERT_EQ(r.status, 0) << r.err;
  ProcResult s = RunSql("copy2/copy2@" + path_, r.out, {kNls});
  EXPECT_EQ(s.err, "");
  EXPECT_EQ(s.out.find("ORA-"), std::string::npos) << s.out;
  Rows("INSERT INTO item (name) VALUES ('d');\nCOMMIT;\n", "copy2/copy2");
  EXPECT_EQ(Rows("SELECT SUBSTR(v.label, 1, 2), i.created_by, v.version FROM item_v v, item i WHERE i.id = v.id;\n",
                 "copy2/copy2"),
            "D#|COPY2|1\n");
}

}  // namespace
