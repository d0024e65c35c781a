// comment_test.cpp - COMMENT ON TABLE / COLUMN: what the comment views show,
// the DBMS_METADATA text of a table's comments, who may comment, and the
// Oracle errors of misuse.
#include "catalog_test_util.h"

namespace cattest {
namespace {

using Rows = std::vector<std::string>;

class CommentTest : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    app_ = NewUser("APP");
    Run(*app_, "CREATE TABLE t (id NUMBER PRIMARY KEY, name VARCHAR2(20), note VARCHAR2(20))");
  }
  static std::string Dependent(Session& s, const std::string& table, const std::string& owner,
                               Status* st = nullptr) {
    std::string out;
    Status r = tabdb::GetDependentDdl(s, "COMMENT", table, owner, &out);
    if (st) *st = r;
    else EXPECT_TRUE(r.ok()) << r.text();
    return out;
  }
  std::unique_ptr<Session> app_;
};

// Every table and visible column is listed, with NULL where no comment was
// made; a new comment replaces the old one and '' removes it.
TEST_F(CommentTest, ViewsListEveryTableAndColumn) {
  Run(*app_, "CREATE TABLE u (x NUMBER)");
  Run(*app_, "CREATE INDEX t_upper ON t (UPPER(name))");  // adds a hidden column
  Run(*app_, "COMMENT ON TABLE t IS 'first'");
  Run(*app_, "COMMENT ON TABLE app.t IS 'People''s names'");
  Run(*app_, "COMMENT ON COLUMN t.name IS 'Full name'");
  Run(*app_, "COMMENT ON COLUMN app.t.note IS 'gone soon'");
  Run(*app_, "COMMENT ON COLUMN t.note IS ''");
  EXPECT_EQ(View(*app_, "USER_TAB_COMMENTS", "TABLE_NAME, TABLE_TYPE, COMMENTS, ORIGIN_CON_ID"),
            (Rows{"T|TABLE|People's names|0", "U|TABLE|<null>|0"}));
  EXPECT_EQ(View(*app_, "ALL_COL_COMMENTS", "OWNER, TABLE_NAME, COLUMN_NAME, COMMENTS",
                 "OWNER = 'APP'"),
            (Rows{"APP|T|ID|<null>", "APP|T|NAME|Full name", "APP|T|NOTE|<null>",
                  "APP|U|X|<null>"}));
  // Another user's comments are not among the user's own.
  auto bob = NewUser("BOB");
  EXPECT_TRUE(View(*bob, "USER_TAB_COMMENTS", "TABLE_NAME").empty());
  EXPECT_TRUE(View(*bob, "ALL_COL_COMMENTS", "TABLE_NAME").empty());
  EXPECT_EQ(View(*sys_, "DBA_TAB_COMMENTS", "COUNT(*)", "OWNER = 'APP'"), Rows{"2"});
}

// Oracle's text: column comments in column order, then the table's, three
// blanks after each line feed, two blanks before IS of the table comment,
// quotes doubled; SQLTERMINATOR ends each statement.
TEST_F(CommentTest, DependentDdlText) {
  std::string table_text = GetDdl(*app_, "TABLE", "T", "APP");
  Run(*app_, "COMMENT ON TABLE t IS 'Player''s actions'");
  Run(*app_, "COMMENT ON COLUMN t.note IS 'last'");
  Run(*app_, "COMMENT ON COLUMN t.id IS 'Surrogate key'");
  EXPECT_EQ(Dependent(*app_, "T", "APP"),
            "\n   COMMENT ON COLUMN \"APP\".\"T\".\"ID\" IS 'Surrogate key'"
            "\n   COMMENT ON COLUMN \"APP\".\"T\".\"NOTE\" IS 'last'"
            "\n   COMMENT ON TABLE \"APP\".\"T\"  IS 'Player''s actions'");
  app_->transforms().sqlterminator = true;
  EXPECT_EQ(Dependent(*app_, "T", "APP"),
            "\n   COMMENT ON COLUMN \"APP\".\"T\".\"ID\" IS 'Surrogate key';"
            "\n   COMMENT ON COLUMN \"APP\".\"T\".\"NOTE\" IS 'last';"
            "\n   COMMENT ON TABLE \"APP\".\"T\"  IS 'Player''s actions';");
  app_->transforms().sqlterminator = false;
  // Comments are not part of the table's own text.
  EXPECT_EQ(GetDdl(*app_, "TABLE", "T", "APP"), table_text);
  Run(*app_, "CREATE TABLE plain (id NUMBER)");

  // A table without comments, a missing one, and one the user may not see.
  Status st;
  auto bob = NewUser("BOB");
  for (auto [s, table] : {std::pair<Session*, const char*>{app_.get(), "PLAIN"},
                          {app_.get(), "NOSUCH"}, {bob.get(), "T"}}) {
    Dependent(*s, table, "APP", &st);
    EXPECT_EQ(st.text(),
              "ORA-31608: specified object of type COMMENT not found\n"
              "ORA-06512: at \"SYS.DBMS_SYS_ERROR\", line 86\n"
              "ORA-06512: at \"SYS.DBMS_METADATA\", line 6069\n"
              "ORA-06512: at line 1")
        << table;
  }
  std::string out;
  EXPECT_EQ(tabdb::GetDependentDdl(*app_, "NOSUCH_TYPE", "T", "APP", &out).code(), 31600);
}

// Comments belong to the object: dropping the table, or its owner, removes
// them; a new table of the same name starts without.
TEST_F(CommentTest, DroppedWithTheTable) {
  Run(*app_, "COMMENT ON TABLE t IS 'old'");
  Run(*app_, "COMMENT ON COLUMN t.name IS 'old name'");
  Run(*app_, "DROP TABLE t");
  Run(*app_, "CREATE TABLE t (id NUMBER, name VARCHAR2(20))");
  EXPECT_EQ(View(*app_, "USER_COL_COMMENTS", "COLUMN_NAME, COMMENTS"),
            (Rows{"ID|<null>", "NAME|<null>"}));
  EXPECT_EQ(View(*app_, "USER_TAB_COMMENTS", "COMMENTS"), Rows{kNull});
  Run(*app_, "COMMENT ON TABLE t IS 'new'");
  app_.reset();
  Run(*sys_, "DROP USER app CASCADE");
  EXPECT_EQ(Query(*sys_, "SELECT COUNT(*) FROM tab$comments"), Rows{"0"});
}

// The owner and DBAs may comment; another user needs COMMENT ANY TABLE.
// Without any privilege on the table it looks missing (ORA-00942), with
// only SELECT on it the statement is refused (ORA-01031).
TEST_F(CommentTest, WhoMayComment) {
  auto bob = NewUser("BOB");
  auto adm = NewUser("ADM", true);
  EXPECT_EQ(Ddl(*bob, "COMMENT ON TABLE app.t IS 'x'").code(), 942);
  EXPECT_EQ(Ddl(*bob, "COMMENT ON COLUMN app.t.name IS 'x'").code(), 942);
  Run(*app_, "GRANT SELECT ON t TO bob");
  EXPECT_EQ(Ddl(*bob, "COMMENT ON TABLE app.t IS 'x'").code(), 1031);
  Run(*sys_, "GRANT COMMENT ANY TABLE TO bob");
  Run(*bob, "COMMENT ON TABLE app.t IS 'by bob'");
  Run(*adm, "COMMENT ON COLUMN app.t.id IS 'by adm'");
  EXPECT_EQ(View(*app_, "USER_TAB_COMMENTS", "COMMENTS"), Rows{"by bob"});
  EXPECT_EQ(View(*app_, "USER_COL_COMMENTS", "COMMENTS", "COLUMN_NAME = 'ID'"), Rows{"by adm"});
}

TEST_F(CommentTest, ErrorsOfMisuse) {
  Run(*app_, "CREATE INDEX t_name ON t (name)");
  Run(*app_, "CREATE SEQUENCE sq");
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"COMMENT ON TABLE nosuch IS 'x'", "ORA-00942: table or view does not exist"},
      {"COMMENT ON TABLE t_name IS 'x'", "ORA-00942: table or view does not exist"},
      {"COMMENT ON TABLE sq IS 'x'", "ORA-00942: table or view does not exist"},
      {"COMMENT ON COLUMN t.nosuch IS 'x'", "ORA-00904: \"NOSUCH\": invalid identifier"},
      {"COMMENT ON COLUMN nosuch.id IS 'x'", "ORA-00942: table or view does not exist"},
      {"COMMENT ON COLUMN t IS 'x'", "ORA-00905: missing keyword"},
      {"COMMENT ON TABLE t IS 5", "ORA-01780: string literal required"},
      {"COMMENT ON TABLE t 'x'", "ORA-00905: missing keyword"},
      {"COMMENT ON INDEX t_name IS 'x'", "ORA-00905: missing keyword"},
      {"COMMENT ON MATERIALIZED VIEW mv IS 'x'",
       "ORA-03001: unimplemented feature: COMMENT ON MATERIALIZED VIEW"},
      {"COMMENT ON OPERATOR op IS 'x'", "ORA-03001: unimplemented feature: COMMENT ON OPERATOR"},
  };
  for (const Case& c : cases) EXPECT_EQ(Ddl(*app_, c.text).text(), c.error) << c.text;
}

}  // namespace
}  // namespace cattest
