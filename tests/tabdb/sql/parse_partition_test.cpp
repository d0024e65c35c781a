// parse_partition_test.cpp - the partitioning and organization clauses
// into syntax trees: every method as scripts and GET_DDL write it (bounds
// kept as typed), composite templates, hash counts, IOT options, the
// partition forms of ALTER TABLE and of a table name, and the errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql/parser.h"

namespace tabdb {
namespace sql {
namespace {

std::unique_ptr<Statement> ParseOk(std::string_view text) {
  std::unique_ptr<Statement> st;
  Status s = Parse(text, &st);
  EXPECT_TRUE(s.ok()) << s.text() << "\n--- in ---\n" << text;
  return st;
}

int ErrorCode(std::string_view text) {
  std::unique_ptr<Statement> st;
  return Parse(text, &st).code();
}

TEST(ParsePartition, RangeBoundsAreKeptAsTyped) {
  auto st = ParseOk(
      "CREATE TABLE t (a NUMBER, d DATE) PCTFREE 5 PARTITION BY RANGE (d, a)"
      " (PARTITION p1 VALUES LESS THAN (TO_DATE(' 2024-01-01 00:00:00', 'SYYYY-MM-DD HH24:MI:SS',"
      " 'NLS_CALENDAR=GREGORIAN'), 10) SEGMENT CREATION IMMEDIATE PCTFREE 10 NOCOMPRESS LOGGING"
      " STORAGE(INITIAL 8388608 NEXT 1048576) TABLESPACE \"USERS\","
      " PARTITION VALUES LESS THAN (MAXVALUE, maxvalue)) ENABLE ROW MOVEMENT");
  ASSERT_TRUE(st && st->create_table && st->create_table->partitioning);
  const PartitionSpec& p = *st->create_table->partitioning;
  EXPECT_EQ(p.method, "RANGE");
  EXPECT_EQ(p.columns, (std::vector<std::string>{"D", "A"}));
  ASSERT_EQ(p.parts.size(), 2u);
  EXPECT_EQ(p.parts[0].name, "P1");
  EXPECT_EQ(p.parts[0].bound,
            (std::vector<std::string>{
                "TO_DATE(' 2024-01-01 00:00:00', 'SYYYY-MM-DD HH24:MI:SS', 'NLS_CALENDAR=GREGORIAN')", "10"}));
  EXPECT_EQ(p.parts[1].name, "");  // the database names it
  EXPECT_EQ(p.parts[1].bound, (std::vector<std::string>{"MAXVALUE", "MAXVALUE"}));
  EXPECT_EQ(st->create_table->row_movement, 1);
  EXPECT_EQ(st->create_table->attrs.pctfree, 5);  // the table's own attributes stay its own
}

TEST(ParsePartition, ListHashIntervalAndComposite) {
  auto l = ParseOk("CREATE TABLE t (r VARCHAR2(2)) PARTITION BY LIST (r) (PARTITION a VALUES ('EU', 'UK'),"
                   " PARTITION n VALUES (NULL), PARTITION o VALUES (default))");
  const PartitionSpec& lp = *l->create_table->partitioning;
  EXPECT_EQ(lp.parts[0].bound, (std::vector<std::string>{"'EU'", "'UK'"}));
  EXPECT_EQ(lp.parts[1].bound, (std::vector<std::string>{"NULL"}));
  EXPECT_EQ(lp.parts[2].bound, (std::vector<std::string>{"default"}));  // as typed

  auto h = ParseOk("CREATE TABLE t (a NUMBER) PARTITION BY HASH (a) PARTITIONS 8 STORE IN (ts1, ts2)");
  EXPECT_EQ(h->create_table->partitioning->partitions_count, 8);
  EXPECT_TRUE(h->create_table->partitioning->parts.empty());

  auto i = ParseOk("CREATE TABLE t (d DATE) PARTITION BY RANGE (d) INTERVAL (NUMTOYMINTERVAL(1 ,'MONTH'))"
                   " (PARTITION p0 VALUES LESS THAN (DATE '2020-01-01'))");
  EXPECT_EQ(i->create_table->partitioning->interval, "NUMTOYMINTERVAL(1 ,'MONTH')");

  auto c = ParseOk(
      "CREATE TABLE t (d DATE, x NUMBER) PARTITION BY RANGE (d) SUBPARTITION BY HASH (x) SUBPARTITIONS 4"
      " (PARTITION p1 VALUES LESS THAN (DATE '2020-01-01') (SUBPARTITION s1, SUBPARTITION s2),"
      "  PARTITION p2 VALUES LESS THAN (MAXVALUE) SUBPARTITIONS 2)");
  const PartitionSpec& cp = *c->create_table->partitioning;
  EXPECT_EQ(cp.submethod, "HASH");
  EXPECT_EQ(cp.subpart_count, 4);
  ASSERT_EQ(cp.parts.size(), 2u);
  EXPECT_EQ(cp.parts[0].subparts.size(), 2u);
  EXPECT_EQ(cp.parts[1].subpart_count, 2);

  auto t = ParseOk("CREATE TABLE t (d DATE, x NUMBER) PARTITION BY RANGE (d) SUBPARTITION BY LIST (x)"
                   " SUBPARTITION TEMPLATE (SUBPARTITION a VALUES (1, 2) TABLESPACE ts, SUBPARTITION b"
                   " VALUES (DEFAULT)) (PARTITION p1 VALUES LESS THAN (MAXVALUE))");
  const PartitionSpec& tp = *t->create_table->partitioning;
  EXPECT_TRUE(tp.has_template);
  ASSERT_EQ(tp.subtemplate.size(), 2u);
  EXPECT_EQ(tp.subtemplate[0].bound, (std::vector<std::string>{"1", "2"}));
}

TEST(ParsePartition, OrganizationIndexOptions) {
  auto st = ParseOk(
      "CREATE TABLE c (code CHAR(2), name VARCHAR2(40), CONSTRAINT c_pk PRIMARY KEY (code))"
      " ORGANIZATION INDEX COMPRESS 1 PCTFREE 10 INITRANS 2 MAXTRANS 255 LOGGING"
      " STORAGE(INITIAL 65536) TABLESPACE \"USERS\" PCTTHRESHOLD 20 INCLUDING name OVERFLOW"
      " PCTFREE 10 PCTUSED 40 TABLESPACE \"USERS\"");
  ASSERT_TRUE(st && st->create_table && st->create_table->iot);
  const IotSpec& io = *st->create_table->iot;
  EXPECT_EQ(io.compress, 1);
  EXPECT_EQ(io.pctthreshold, 20);
  EXPECT_EQ(io.including, "NAME");
  EXPECT_TRUE(io.overflow);
  EXPECT_FALSE(ParseOk("CREATE TABLE h (a NUMBER) ORGANIZATION HEAP")->create_table->iot);
  EXPECT_EQ(ErrorCode("CREATE TABLE c (a NUMBER PRIMARY KEY) ORGANIZATION INDEX INCLUDING a"), 25186);
  EXPECT_EQ(ErrorCode("CREATE TABLE c (a NUMBER) ORGANIZATION EXTERNAL (TYPE x)"), 3001);
}

TEST(ParsePartition, AlterTableFormsAndPartitionNames) {
  struct Form {
    const char* text;
    PartitionOp op;
  };
  const Form forms[] = {
      {"ALTER TABLE t ADD PARTITION p3 VALUES LESS THAN (30)", PartitionOp::kAdd},
      {"ALTER TABLE t DROP PARTITION p1 UPDATE GLOBAL INDEXES", PartitionOp::kDrop},
      {"ALTER TABLE t TRUNCATE PARTITION FOR (5) DROP STORAGE", PartitionOp::kTruncate},
      {"ALTER TABLE t SPLIT PARTITION p2 AT (15) INTO (PARTITION a, PARTITION b) UPDATE INDEXES",
       PartitionOp::kSplit},
      {"ALTER TABLE t MERGE PARTITIONS a, b INTO PARTITION ab", PartitionOp::kMerge},
      {"ALTER TABLE t EXCHANGE PARTITION p1 WITH TABLE app.x INCLUDING INDEXES WITHOUT VALIDATION",
       PartitionOp::kExchange},
      {"ALTER TABLE t RENAME PARTITION p1 TO q1", PartitionOp::kRename},
      {"ALTER TABLE t DISABLE ROW MOVEMENT", PartitionOp::kRowMovement},
  };
  for (const Form& f : forms) {
    auto st = ParseOk(f.text);
    ASSERT_TRUE(st && st->alter_table && st->alter_table->partition) << f.text;
    EXPECT_EQ(static_cast<int>(st->alter_table->partition->op), static_cast<int>(f.op)) << f.text;
  }
  auto x = ParseOk("ALTER TABLE t EXCHANGE PARTITION p1 WITH TABLE app.x INCLUDING INDEXES WITHOUT VALIDATION");
  EXPECT_EQ(x->alter_table->partition->exchange_table, (std::vector<std::string>{"APP", "X"}));
  EXPECT_TRUE(x->alter_table->partition->without_validation);
  auto tr = ParseOk("ALTER TABLE t TRUNCATE PARTITION FOR (5) DROP STORAGE");
  EXPECT_EQ(tr->alter_table->partition->for_values, (std::vector<std::string>{"5"}));
  // The constraint forms are untouched.
  EXPECT_FALSE(ParseOk("ALTER TABLE t DISABLE CONSTRAINT c")->alter_table->partition);

  auto q = ParseOk("SELECT * FROM t PARTITION (p1) x WHERE x.a > 1");
  EXPECT_EQ(q->select->from.partition, "P1");
  EXPECT_EQ(q->select->from.alias.text, "X");
  auto d = ParseOk("DELETE FROM t SUBPARTITION (s1)");
  EXPECT_EQ(d->del->table.partition, "S1");
  EXPECT_TRUE(d->del->table.subpartition);
}

TEST(ParsePartition, Errors) {
  EXPECT_EQ(ErrorCode("CREATE TABLE t (a NUMBER) PARTITION BY ODD (a) (PARTITION p VALUES (1))"), 14151);
  EXPECT_EQ(ErrorCode("CREATE TABLE t (a NUMBER) PARTITION BY HASH (a) PARTITIONS 0"), 14152);
  EXPECT_EQ(ErrorCode("CREATE TABLE t (a NUMBER) PARTITION BY LIST (a) (PARTITION p VALUES LESS THAN (1))"),
            14310);
  EXPECT_EQ(ErrorCode("CREATE TABLE t (a NUMBER) PARTITION BY RANGE (a) (PARTITION p VALUES (1))"), 14311);
  EXPECT_EQ(ErrorCode("CREATE TABLE t (a NUMBER) PARTITION BY RANGE (a) (PARTITION p)"), 14311);
  EXPECT_EQ(ErrorCode("CREATE TABLE t (a NUMBER, b NUMBER) PARTITION BY RANGE (a, b) INTERVAL (1)"
                      " (PARTITION p VALUES LESS THAN (1, 1))"),
            14750);
  EXPECT_EQ(ErrorCode("CREATE TABLE t (a NUMBER) PARTITION BY REFERENCE (fk)"), 439);
  EXPECT_EQ(ErrorCode("CREATE TABLE t (a NUMBER) PARTITION BY RANGE (a) (PARTITION p VALUES LESS THAN (1)"),
            907);
  // Every prefix of a valid statement fails cleanly.
  const std::string full =
      "CREATE TABLE t (d DATE, x NUMBER) PARTITION BY RANGE (d) SUBPARTITION BY LIST (x) SUBPARTITION"
      " TEMPLATE (SUBPARTITION a VALUES (1)) (PARTITION p1 VALUES LESS THAN (MAXVALUE))";
  for (size_t n = 0; n < full.size(); ++n) {
    std::unique_ptr<Statement> st;
    (void)Parse(full.substr(0, n), &st);
  }
  ParseOk(full);
}

}  // namespace
}  // namespace sql
}  // namespace tabdb
