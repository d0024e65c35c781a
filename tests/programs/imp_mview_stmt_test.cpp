// imp_mview_stmt_test.cpp - the importer's checks of materialized views in
// a dump's deferred list: the texts an export writes for a view, its log
// and its refresh call are allowed and found to be about the right object;
// a log on a table outside the dump, any other schema, a database link, a
// refresh of another schema's or of several views, or a block that does
// anything more is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "stmt_allow.h"

namespace {

int IsTable(void*, const char* name) { return std::strcmp(name, "SALES") == 0 ? 1 : 0; }
// the materialized view the deferred list created before
int IsMview(void*, const char* name) { return std::strcmp(name, "SALES_MV") == 0 ? 1 : 0; }

struct Checked {
  const char* refusal;
  STMT_INFO info;
};

Checked Check(const std::string& text, int where = STMT_AT_DEFERRED) {
  STMT_SCOPE sc = {where, where == STMT_AT_DEFERRED ? nullptr : "SALES", "APP", IsTable, nullptr, IsMview};
  Checked c;
  char why[160] = "";
  std::memset(&c.info, 0, sizeof(c.info));
  c.refusal = stmt_check(&sc, text.data(), static_cast<uint32_t>(text.size()), &c.info, why, sizeof(why));
  return c;
}

TEST(MviewStatements, WhatAnExportWritesIsAllowed) {
  struct Case {
    std::string text, kind, object, table;
  };
  const std::vector<Case> cases = {
      {"CREATE MATERIALIZED VIEW \"SALES_MV\" (\"REGION\", \"TOTAL\")\n  BUILD IMMEDIATE\n  USING INDEX \n"
       "  REFRESH FORCE ON DEMAND\n  USING DEFAULT LOCAL ROLLBACK SEGMENT\n"
       "  USING ENFORCED CONSTRAINTS DISABLE ON QUERY COMPUTATION DISABLE QUERY REWRITE\n"
       "  AS select region, sum(amount) total from sales -- per region\n group by region",
       "materialized view", "SALES_MV", ""},
      {"CREATE MATERIALIZED VIEW \"APP\".\"MV\" ON PREBUILT TABLE WITHOUT REDUCED PRECISION\n"
       "  REFRESH COMPLETE ON DEMAND START WITH sysdate NEXT sysdate + 1\n  AS SELECT * FROM hr.jobs",
       "materialized view", "MV", ""},
      {"CREATE MATERIALIZED VIEW LOG ON \"SALES\" \n  WITH ROWID, SEQUENCE (\"AMOUNT\") INCLUDING NEW VALUES",
       "materialized view log", "SALES", "SALES"},
      {"CREATE MATERIALIZED VIEW LOG ON \"APP\".\"SALES\" \n PCTFREE 10 PCTUSED 30 INITRANS 1 MAXTRANS 255 LOGGING\n"
       "  TABLESPACE \"USERS\" \n  WITH PRIMARY KEY EXCLUDING NEW VALUES",
       "materialized view log", "SALES", "SALES"},
      {"BEGIN DBMS_MVIEW.REFRESH('\"SALES_MV\"'); END;", "materialized view refresh", "SALES_MV", ""},
      {"begin dbms_mview.refresh('\"Month Later\"'); end;", "materialized view refresh", "Month Later", ""},
      {"CREATE INDEX \"MV_I\" ON \"SALES_MV\" (\"REGION\")", "index", "MV_I", "SALES_MV"},
      {"CREATE UNIQUE INDEX \"APP\".\"MV_U\" ON \"APP\".\"SALES_MV\" (\"REGION\", \"TOTAL\")\n  PCTFREE 10",
       "index", "MV_U", "SALES_MV"},
  };
  for (const Case& c : cases) {
    Checked r = Check(c.text);
    ASSERT_EQ(r.refusal, nullptr) << c.text;
    EXPECT_EQ(r.info.kind, c.kind) << c.text;
    EXPECT_EQ(r.info.object, c.object) << c.text;
    EXPECT_EQ(r.info.table, c.table) << c.text;
    // never in a table's own list
    EXPECT_NE(Check(c.text, STMT_AT_SECTION).refusal, nullptr) << c.text;
  }
}

TEST(MviewStatements, NothingElseGetsThrough) {
  const std::vector<std::string> refused = {
      // made in, or logging, another schema
      "CREATE MATERIALIZED VIEW \"HR\".\"MV\" AS SELECT * FROM sales",
      "CREATE MATERIALIZED VIEW LOG ON \"HR\".\"SALES\" WITH ROWID",
      // a log on a table the dump does not hold, an index on a view the
      // list did not create or on another schema's
      "CREATE MATERIALIZED VIEW LOG ON \"OTHER\"",
      "CREATE INDEX \"I\" ON \"OTHER_MV\" (\"A\")",
      "CREATE INDEX \"I\" ON \"HR\".\"SALES_MV\" (\"A\")",
      // reading another database, or running a second statement
      "CREATE MATERIALIZED VIEW \"MV\" AS SELECT * FROM sales@remote",
      "CREATE MATERIALIZED VIEW \"MV\" AS SELECT * FROM sales; DROP TABLE sales",
      "CREATE MATERIALIZED VIEW \"MV\" REFRESH FORCE",
      // a log that hides a query or a comment
      "CREATE MATERIALIZED VIEW LOG ON \"SALES\" WITH ROWID (\"A\") -- x",
      "CREATE MATERIALIZED VIEW LOG ON \"SALES\" PURGE START WITH (SELECT 1 FROM dual)",
      // refresh calls of another schema, of a list, or with more in the block
      "BEGIN DBMS_MVIEW.REFRESH('\"HR\".\"MV\"'); END;",
      "BEGIN DBMS_MVIEW.REFRESH('HR.MV'); END;",
      "BEGIN DBMS_MVIEW.REFRESH('A,B'); END;",
      "BEGIN DBMS_MVIEW.REFRESH('MV', 'C'); END;",
      "BEGIN DBMS_MVIEW.REFRESH('MV'); DELETE FROM sales; END;",
      "BEGIN DBMS_MVIEW.REFRESH('MV'); END; BEGIN NULL; END;",
      "BEGIN EXECUTE IMMEDIATE 'DROP TABLE sales'; END;",
      "BEGIN DBMS_MVIEW.REFRESH(''); END;",
  };
  for (const std::string& t : refused) EXPECT_NE(Check(t).refusal, nullptr) << t;
}

}  // namespace
