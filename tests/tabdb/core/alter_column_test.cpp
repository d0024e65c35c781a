// alter_column_test.cpp - the column forms of ALTER TABLE through the SQL
// shell: ADD (defaults given to existing rows, mandatory columns), MODIFY
// of type and default (what rows allow), DROP / SET UNUSED with the
// constraints and indexes on the columns, RENAME COLUMN and the texts that
// follow it, ALTER TABLE ... RENAME TO and RENAME, with Oracle's errors.
#include <string>
#include <vector>

#include "support.h"
#include <gtest/gtest.h>

namespace {

using testsupport::ProcResult;

class AlterColumnTest : public testsupport::AppShellTest {
 protected:
  void SetUp() override {
    AppShellTest::SetUp();
    ProcResult r = App(
        "CREATE TABLE e (id NUMBER(5) PRIMARY KEY, name VARCHAR2(10), b NUMBER, c NUMBER,"
        " CONSTRAINT e_bc UNIQUE (b, c), CONSTRAINT e_ck CHECK (name <> 'x'));\n"
        "INSERT INTO e VALUES (1, 'abcdef', 1, 1);\n"
        "INSERT INTO e VALUES (2, NULL, 2, 2);\n");
    ASSERT_EQ(r.status, 0) << r.err;
  }
};

// Rows already there take an added column's DEFAULT; NOT NULL needs one
// (or an empty table); the list form adds columns and constraints.
TEST_F(AlterColumnTest, AddColumns) {
  ProcResult r = App(
      "ALTER TABLE e ADD (flag CHAR(1) DEFAULT 'Y', note VARCHAR2(20), CONSTRAINT e_f CHECK "
      "(flag IN ('Y', 'N')));\n"
      "ALTER TABLE e ADD n NUMBER DEFAULT 7 NOT NULL;\n"
      "ALTER TABLE e ADD must NUMBER NOT NULL;\n"
      "ALTER TABLE e ADD name VARCHAR2(3);\n"
      "ALTER TABLE e ADD (p NUMBER, p NUMBER);\n"
      "INSERT INTO e (id, flag) VALUES (3, 'Q');\n"
      "INSERT INTO e (id) VALUES (3);\n"
      "SELECT * FROM e ORDER BY id;\n"
      "SELECT column_name, column_id, nullable, data_default FROM user_tab_columns "
      "WHERE column_id > 4 ORDER BY column_id;\n"
      "CREATE TABLE empty (a NUMBER);\n"
      "ALTER TABLE empty ADD b NUMBER NOT NULL;\n"
      "INSERT INTO empty (a) VALUES (1);\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "ID|NAME|B|C|FLAG|NOTE|N\n1|abcdef|1|1|Y||7\n2||2|2|Y||7\n3||||Y||7\n"
            "COLUMN_NAME|COLUMN_ID|NULLABLE|DATA_DEFAULT\n"
            "FLAG|5|Y|'Y'\nNOTE|6|Y|\nN|7|N|7\n");
  testsupport::ExpectInOrder(r.err, {
      "ORA-01758: table must be empty to add mandatory (NOT NULL) column",
      "ORA-01430: column being added already exists in table",
      "ORA-00957: duplicate column name",
      "ORA-02290: check constraint (APP.E_F) violated",
      "ORA-01400: cannot insert NULL into (\"APP\".\"EMPTY\".\"B\")",
  });
}

// Widening is always allowed; a shorter length only when every value fits;
// CHAR and VARCHAR2 into each other when the values fit (CHAR values padded
// to the new length); another type, or less precision, only for an empty
// column. A new default applies to later rows.
TEST_F(AlterColumnTest, ModifyTypeAndDefault) {
  ProcResult r = App(
      "ALTER TABLE e ADD (note VARCHAR2(20), amount NUMBER(6,2));\n"
      "ALTER TABLE e MODIFY (name VARCHAR2(30));\n"
      "ALTER TABLE e MODIFY name VARCHAR2(3);\n"
      "ALTER TABLE e MODIFY name VARCHAR2(6);\n"
      "ALTER TABLE e MODIFY name NUMBER;\n"
      "ALTER TABLE e MODIFY note NUMBER(3) DEFAULT 5;\n"
      "UPDATE e SET amount = 1234.5 WHERE id = 1;\n"
      "ALTER TABLE e MODIFY amount NUMBER(5,2);\n"
      "ALTER TABLE e MODIFY amount NUMBER(8,3);\n"
      "ALTER TABLE e MODIFY (id DEFAULT 9);\n"
      "INSERT INTO e (name) VALUES ('new');\n"
      "INSERT INTO e (id, name, note) VALUES (10, 'abcdefg', 1234);\n"
      "ALTER TABLE e MODIFY nosuch NUMBER;\n"
      "ALTER TABLE e ADD (code CHAR(2), tag VARCHAR2(4));\n"
      "UPDATE e SET code = 'a', tag = 'abc' WHERE id = 1;\n"
      "ALTER TABLE e MODIFY (code CHAR(4), tag CHAR(4));\n"
      "ALTER TABLE e MODIFY code VARCHAR2(3);\n"
      "ALTER TABLE e MODIFY code VARCHAR2(4);\n"
      "SELECT '[' || code || '][' || tag || ']' FROM e WHERE id = 1;\n"
      "SELECT id, name, note, amount FROM e ORDER BY id;\n"
      "SELECT column_name, data_type, data_length, data_precision, data_scale, data_default "
      "FROM user_tab_columns WHERE column_name IN ('NAME', 'NOTE', 'AMOUNT') ORDER BY column_id;\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "'['||CODE||']['||TAG||']'\n[a   ][abc ]\n"
            "ID|NAME|NOTE|AMOUNT\n1|abcdef||1234.5\n2|||\n9|new|5|\n"
            "COLUMN_NAME|DATA_TYPE|DATA_LENGTH|DATA_PRECISION|DATA_SCALE|DATA_DEFAULT\n"
            "NAME|VARCHAR2|6|||\nNOTE|NUMBER|22|3|0|5\nAMOUNT|NUMBER|22|8|3|\n");
  testsupport::ExpectInOrder(r.err, {
      "ORA-01441: cannot decrease column length because some value is too big",
      "ORA-01439: column to be modified must be empty to change datatype",
      "ORA-01440: column to be modified must be empty to decrease precision or scale",
      "ORA-12899",
      "ORA-00904: \"NOSUCH\": invalid identifier",
      "ORA-01441: cannot decrease column length because some value is too big",
  });
}

// A dropped column takes its single-column constraints and its indexes
// along; one in a multi-column key needs CASCADE CONSTRAINTS; COLUMN_ID
// closes up; the last column cannot go.
TEST_F(AlterColumnTest, DropColumns) {
  ProcResult r = App(
      "CREATE INDEX e_name_ix ON e (name);\n"
      "ALTER TABLE e DROP COLUMN b;\n"
      "ALTER TABLE e DROP (name);\n"
      "SELECT constraint_name FROM user_constraints WHERE constraint_type <> 'P' ORDER BY 1;\n"
      "SELECT count(*) FROM user_indexes;\n"
      "ALTER TABLE e SET UNUSED (b) CASCADE CONSTRAINTS;\n"
      "INSERT INTO e VALUES (3, 2);\n"
      "INSERT INTO e VALUES (4, 2);\n"
      "SELECT column_name, column_id FROM user_tab_columns ORDER BY column_id;\n"
      "SELECT * FROM e ORDER BY id;\n"
      "ALTER TABLE e DROP UNUSED COLUMNS;\n"
      "ALTER TABLE e DROP (id, c);\n"
      "ALTER TABLE e DROP COLUMN nosuch;\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "CONSTRAINT_NAME\nE_BC\n"
            "COUNT(*)\n2\n"
            "COLUMN_NAME|COLUMN_ID\nID|1\nC|2\n"
            "ID|C\n1|1\n2|2\n3|2\n4|2\n");
  testsupport::ExpectInOrder(r.err, {
      "ORA-12991: column is referenced in a multi-column constraint",
      "ORA-12983: cannot drop all columns in a table",
      "ORA-00904: \"NOSUCH\": invalid identifier",
  });
}

// RENAME COLUMN carries the check conditions and index keys along; the
// table renamed keeps its rows, indexes and constraints.
TEST_F(AlterColumnTest, RenameColumnAndTable) {
  ProcResult r = App(
      "CREATE INDEX e_up ON e (UPPER(name));\n"
      "ALTER TABLE e RENAME COLUMN name TO title;\n"
      "ALTER TABLE e RENAME COLUMN title TO id;\n"
      "ALTER TABLE e RENAME COLUMN nosuch TO z;\n"
      "INSERT INTO e (id, title) VALUES (3, 'x');\n"
      "SELECT search_condition FROM user_constraints WHERE constraint_name = 'E_CK';\n"
      "ALTER TABLE e RENAME TO e2;\n"
      "RENAME e2 TO e3;\n"
      "RENAME nosuch TO e4;\n"
      "CREATE TABLE e4 (z NUMBER);\n"
      "RENAME e3 TO e4;\n"
      "RENAME e3 TO app.e5;\n"
      "INSERT INTO e3 (id, b, c) VALUES (1, 5, 5);\n"
      "SELECT id, title FROM e3 ORDER BY id;\n"
      "SELECT DISTINCT table_name FROM user_constraints ORDER BY 1;\n"
      "SELECT table_name FROM user_tables ORDER BY 1;\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "SEARCH_CONDITION\nTITLE <> 'x'\n"
            "ID|TITLE\n1|abcdef\n2|\n"
            "TABLE_NAME\nE3\n"
            "TABLE_NAME\nE3\nE4\n");
  testsupport::ExpectInOrder(r.err, {
      "ORA-00957: duplicate column name",
      "ORA-00904: \"NOSUCH\": invalid identifier",
      "ORA-02290: check constraint (APP.E_CK) violated",
      "ORA-04043: object NOSUCH does not exist",
      "ORA-00955: name is already used by an existing object",
      "ORA-01765: specifying owner's name of the table is not allowed",
      "ORA-00001: unique constraint (APP.",
  });
}

}  // namespace
