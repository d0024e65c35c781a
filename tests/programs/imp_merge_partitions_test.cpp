// imp_merge_partitions_test.cpp - the texts PARTITION_OPTIONS=MERGE runs:
// the partitioning clause of a CREATE TABLE or CREATE INDEX taken out whole
// (every method, templates, hash counts, LOCAL lists, GLOBAL PARTITION BY),
// what follows it kept, and names and literals that merely look like the
// clause left alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

extern "C" int drop_partitioning(const char* txt, int len, char** out, int* outlen);

namespace {

// The text without its partitioning, or "(none)" when there was none.
std::string Merged(const std::string& text) {
  char* out = nullptr;
  int len = 0;
  int rc = drop_partitioning(text.data(), static_cast<int>(text.size()), &out, &len);
  if (rc < 0) return "(error)";
  if (rc == 0) return "(none)";
  std::string s(out, static_cast<size_t>(len));
  std::free(out);
  return s;
}

const std::string kHead = "CREATE TABLE \"T\" (\"A\" NUMBER, \"B\" DATE) ";

TEST(MergePartitions, TableClausesOfEveryMethodGoWhole) {
  EXPECT_EQ(Merged(kHead + "\n  PARTITION BY RANGE (\"B\") \n (PARTITION \"P1\"  VALUES LESS THAN"
                           " (TO_DATE(' 2024-01-01 00:00:00', 'SYYYY-MM-DD HH24:MI:SS',"
                           " 'NLS_CALENDAR=GREGORIAN')) , \n PARTITION \"PMAX\"  VALUES LESS THAN (MAXVALUE) ) "),
            kHead + "\n  ");
  // What follows the partition list stays.
  EXPECT_EQ(Merged(kHead + "PARTITION BY LIST (\"A\") (PARTITION \"P\" VALUES (1, 2), PARTITION \"D\""
                           " VALUES (DEFAULT))  ENABLE ROW MOVEMENT "),
            kHead + "ENABLE ROW MOVEMENT ");
  EXPECT_EQ(Merged(kHead + "PARTITION BY RANGE (\"B\") INTERVAL (NUMTOYMINTERVAL(1,'MONTH'))"
                           " (PARTITION \"P0\" VALUES LESS THAN (DATE '2024-01-01'))"),
            kHead);
  // Hash by count, with and without STORE IN; hash by names.
  EXPECT_EQ(Merged(kHead + "PARTITION BY HASH (\"A\") PARTITIONS 4"), kHead);
  EXPECT_EQ(Merged(kHead + "PARTITION BY HASH (\"A\") PARTITIONS 4 STORE IN (ts1, ts2) NOCOMPRESS"),
            kHead + "NOCOMPRESS");
  EXPECT_EQ(Merged(kHead + "PARTITION BY HASH (\"A\") (PARTITION \"H1\" , PARTITION \"H2\" )"), kHead);
  // A composite clause with its template and per-partition subpartitions.
  EXPECT_EQ(Merged(kHead + "\n  PARTITION BY RANGE (\"B\") \n  SUBPARTITION BY LIST (\"A\") \n  SUBPARTITION"
                           " TEMPLATE ( \n    SUBPARTITION \"S1\" VALUES ( 1 ), \n    SUBPARTITION \"S2\" VALUES"
                           " ( 2 ) ) \n (PARTITION \"P1\"  VALUES LESS THAN (MAXVALUE) \n ( SUBPARTITION"
                           " \"X\"  VALUES (1) ) ) "),
            kHead + "\n  ");
  // Segment attributes before the clause are kept.
  EXPECT_EQ(Merged(kHead + "PCTFREE 10 TABLESPACE \"USERS\" \n  PARTITION BY HASH (\"A\") PARTITIONS 2"),
            kHead + "PCTFREE 10 TABLESPACE \"USERS\" \n  ");
}

TEST(MergePartitions, IndexClausesGoWhole) {
  const std::string head = "CREATE INDEX \"IX\" ON \"T\" (\"A\") ";
  EXPECT_EQ(Merged(head + "\n   LOCAL\n (PARTITION \"P1\" , \n PARTITION \"PMAX\" ) "), head + "\n   ");
  EXPECT_EQ(Merged(head + "LOCAL"), head);
  EXPECT_EQ(Merged(head + "LOCAL COMPRESS 1"), head + "COMPRESS 1");
  EXPECT_EQ(Merged(head + "PCTFREE 10 TABLESPACE \"USERS\"  LOCAL\n (PARTITION \"P1\" \n  PCTFREE 10"
                          " INITRANS 2 MAXTRANS 255 LOGGING \n  TABLESPACE \"USERS\" ) "),
            head + "PCTFREE 10 TABLESPACE \"USERS\"  ");
  EXPECT_EQ(Merged(head + "GLOBAL PARTITION BY RANGE (\"A\") \n (PARTITION \"G1\"  VALUES LESS THAN (10) , \n"
                          " PARTITION \"G2\"  VALUES LESS THAN (MAXVALUE) ) "),
            head);
}

TEST(MergePartitions, LookalikesInNamesAndLiteralsStay) {
  // No clause: nothing to merge.
  EXPECT_EQ(Merged(kHead + "PCTFREE 10"), "(none)");
  EXPECT_EQ(Merged("CREATE TABLE \"PARTITION BY\" (\"LOCAL\" NUMBER DEFAULT 1)"), "(none)");
  EXPECT_EQ(Merged("CREATE TABLE t (c VARCHAR2(30) DEFAULT 'PARTITION BY HASH (c)')"), "(none)");
  EXPECT_EQ(Merged("CREATE TABLE t (c VARCHAR2(9) CHECK (c <> 'it''s LOCAL'))"), "(none)");
  // A column named like the keyword inside the column list is not the clause.
  EXPECT_EQ(Merged("CREATE TABLE t (local NUMBER, partition NUMBER)"), "(none)");
  // A quoted name inside the clause is stepped over whole.
  EXPECT_EQ(Merged("CREATE TABLE t (\"A)\" NUMBER) PARTITION BY RANGE (\"A)\") (PARTITION \"P(\" VALUES"
                   " LESS THAN (MAXVALUE)) CACHE"),
            "CREATE TABLE t (\"A)\" NUMBER) CACHE");
  // A damaged text (an unclosed list) ends the clause at the end of the text.
  EXPECT_EQ(Merged(kHead + "PARTITION BY RANGE (\"B\") (PARTITION \"P\" VALUES LESS THAN (1"), kHead);
}

}  // namespace
