// synonym_test.cpp - private and public synonyms: the order names are
// resolved in, every statement kind following them, chains, synonyms that
// lead nowhere, the target's privileges, the dictionary and GET_DDL.
#include <string>
#include <vector>

#include "oci_fixture.h"

namespace ocitest {
namespace {

class SynonymTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    Must(app_, "CREATE TABLE items (id NUMBER PRIMARY KEY, name VARCHAR2(10))");
    Must(app_, "INSERT INTO items VALUES (1, 'one')");
    Must(app_, "COMMIT");
    MakeUser("BOB");
    ASSERT_EQ(bob_.Open(path_, "bob", "bob"), OCI_SUCCESS);
  }
  Conn bob_;
};

TEST_F(SynonymTest, EveryStatementFollowsSynonyms) {
  Must(app_, "CREATE SYNONYM it FOR items");
  Must(app_, "CREATE SYNONYM it2 FOR app.it");  // a chain
  Must(app_, "INSERT INTO it2 VALUES (2, 'two')");
  Must(app_, "UPDATE it SET name = 'TWO' WHERE id = 2");
  EXPECT_EQ(Query(app_, "SELECT i.id, it2.name FROM it i JOIN it2 ON it2.id = i.id ORDER BY 1"),
            (std::vector<Row>{{"1", "one"}, {"2", "TWO"}}));
  Must(app_, "DELETE FROM it2 WHERE id = 2");
  EXPECT_EQ(One(app_, "SELECT COUNT(*) FROM items"), "1");
  // A synonym of a view, and a view over a synonym.
  Must(app_, "CREATE VIEW names AS SELECT name FROM it");
  Must(app_, "CREATE SYNONYM nm FOR names");
  EXPECT_EQ(One(app_, "SELECT name FROM nm"), "one");
  EXPECT_EQ(Exec(app_, "INSERT INTO nm VALUES ('x')"), 1732);
}

TEST_F(SynonymTest, ResolutionOrderAndPublicSynonyms) {
  // Only a DBA makes public synonyms.
  EXPECT_EQ(Exec(app_, "CREATE PUBLIC SYNONYM items FOR app.items"), 1031);
  Must(sys_, "CREATE PUBLIC SYNONYM items FOR app.items");
  Must(app_, "GRANT SELECT ON items TO bob");
  EXPECT_EQ(One(bob_, "SELECT name FROM items"), "one");
  // The schema's own object comes before the public synonym, a private
  // synonym is one of the schema's objects.
  Must(bob_, "CREATE TABLE items (id NUMBER, name VARCHAR2(10))");
  EXPECT_EQ(One(bob_, "SELECT COUNT(*) FROM items"), "0");
  Must(bob_, "DROP TABLE items");
  Must(bob_, "CREATE TABLE mine (name VARCHAR2(10))");
  Must(bob_, "INSERT INTO mine VALUES ('mine')");
  Must(bob_, "CREATE SYNONYM items FOR mine");
  EXPECT_EQ(One(bob_, "SELECT name FROM items"), "mine");
  Must(bob_, "DROP SYNONYM items");
  EXPECT_EQ(One(bob_, "SELECT name FROM items"), "one");
  // A qualified name never falls back to a public synonym.
  EXPECT_EQ(Exec(bob_, "SELECT * FROM bob.items"), 942);

  EXPECT_EQ(Exec(sys_, "CREATE PUBLIC SYNONYM items FOR app.other"), 955);
  Must(sys_, "CREATE OR REPLACE PUBLIC SYNONYM items FOR app.other");
  EXPECT_EQ(Exec(bob_, "SELECT * FROM items"), 980);
  EXPECT_EQ(Exec(app_, "DROP PUBLIC SYNONYM items"), 1031);
  Must(sys_, "DROP PUBLIC SYNONYM items");
  EXPECT_EQ(Exec(sys_, "DROP PUBLIC SYNONYM items"), 1432);
}

TEST_F(SynonymTest, PrivilegesAreTheTargets) {
  // Creating a synonym needs nothing on the target; using it does.
  Must(bob_, "CREATE SYNONYM its FOR app.items");
  EXPECT_EQ(Exec(bob_, "SELECT * FROM its"), 942);
  Must(app_, "GRANT SELECT ON items TO bob");
  EXPECT_EQ(One(bob_, "SELECT name FROM its"), "one");
  EXPECT_EQ(Exec(bob_, "DELETE FROM its"), 1031);
  // A grant through a synonym is a grant on its table.
  Must(app_, "CREATE SYNONYM app_items FOR items");
  Must(app_, "GRANT DELETE ON app_items TO bob");
  EXPECT_EQ(One(bob_, "SELECT COUNT(*) FROM user_tab_privs_recd WHERE table_name = 'ITEMS'"
                      " AND privilege = 'DELETE'"), "1");
  // Sequences too are reached through synonyms, with SELECT on them.
  Must(app_, "CREATE SEQUENCE ids START WITH 5");
  Must(bob_, "CREATE SYNONYM next_ids FOR app.ids");
  EXPECT_EQ(Exec(bob_, "SELECT next_ids.NEXTVAL FROM dual"), 2289);
  Must(app_, "GRANT SELECT ON ids TO bob");
  EXPECT_EQ(One(bob_, "SELECT next_ids.NEXTVAL FROM dual"), "5");
  // A synonym in APP's schema gives BOB nothing more.
  Must(app_, "CREATE SYNONYM app_it FOR items");
  EXPECT_EQ(Exec(bob_, "UPDATE app.app_it SET name = 'x'"), 1031);
}

TEST_F(SynonymTest, MisuseGivesOraclesErrors) {
  Must(app_, "CREATE SYNONYM gone FOR nothing");
  EXPECT_EQ(Exec(app_, "SELECT * FROM gone"), 980);
  EXPECT_EQ(Exec(app_, "INSERT INTO gone VALUES (1)"), 980);
  Must(app_, "CREATE SYNONYM a FOR b");
  Must(app_, "CREATE SYNONYM b FOR a");
  EXPECT_EQ(Exec(app_, "SELECT * FROM a"), 1775);
  EXPECT_EQ(Exec(app_, "CREATE SYNONYM self FOR self"), 1471);
  EXPECT_EQ(Exec(app_, "CREATE SYNONYM items FOR app.items"), 1471);
  EXPECT_EQ(Exec(app_, "CREATE SYNONYM items FOR other"), 955);
  EXPECT_EQ(Exec(app_, "CREATE SYNONYM far FOR items@remote"), 3001);
  EXPECT_EQ(Exec(app_, "DROP SYNONYM nosuch"), 1434);
  EXPECT_EQ(Exec(app_, "DROP SYNONYM items"), 1434);
  EXPECT_EQ(Exec(app_, "CREATE SYNONYM system.s FOR app.items"), 1031);
}

TEST_F(SynonymTest, DictionaryAndDdlText) {
  Must(app_, "CREATE SYNONYM it FOR items");
  Must(sys_, "CREATE PUBLIC SYNONYM pub_items FOR app.items");
  EXPECT_EQ(Query(app_, "SELECT synonym_name, table_owner, table_name, db_link FROM user_synonyms"),
            (std::vector<Row>{{"IT", "APP", "ITEMS", kNull}}));
  // ALL_SYNONYMS shows the public ones to everyone.
  EXPECT_EQ(Query(bob_, "SELECT owner, synonym_name, table_name FROM all_synonyms"),
            (std::vector<Row>{{"PUBLIC", "PUB_ITEMS", "ITEMS"}}));
  EXPECT_EQ(One(app_, "SELECT DBMS_METADATA.GET_DDL('SYNONYM', 'IT') FROM dual"),
            "\n  CREATE OR REPLACE EDITIONABLE SYNONYM \"APP\".\"IT\" FOR \"APP\".\"ITEMS\"");
  EXPECT_EQ(One(bob_, "SELECT DBMS_METADATA.GET_DDL('SYNONYM', 'PUB_ITEMS', 'PUBLIC') FROM dual"),
            "\n  CREATE OR REPLACE PUBLIC SYNONYM \"PUB_ITEMS\" FOR \"APP\".\"ITEMS\"");
  EXPECT_EQ(FetchError(bob_, "SELECT DBMS_METADATA.GET_DDL('SYNONYM', 'IT', 'APP') FROM dual"), 31603);
}

}  // namespace
}  // namespace ocitest
