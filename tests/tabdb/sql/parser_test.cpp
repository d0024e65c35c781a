// parser_test.cpp - statements into syntax trees: the DDL texts that
// DBMS_METADATA.GET_DDL produces (with and without the owner qualifier),
// the statements the export and import programs send, types, errors, and
// robustness against garbage and truncated input.
#include "sql/parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sql/printer.h"

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

// Drops every "APP". qualifier, as the import program replays the texts.
std::string Unqualified(std::string text) {
  const std::string q = "\"APP\".";
  for (size_t p; (p = text.find(q)) != std::string::npos;) text.erase(p, q.size());
  return text;
}

std::string Names(const NameList& n) {
  std::string s;
  for (const Name& x : n) s += (s.empty() ? "" : ".") + x.text;
  return s;
}

// ---- DBMS_METADATA texts --------------------------------------------------------

const char kStorage19[] =
    "  STORAGE(INITIAL 65536 NEXT 1048576 MINEXTENTS 1 MAXEXTENTS 2147483645\n"
    "  PCTINCREASE 0 FREELISTS 1 FREELIST GROUPS 1\n"
    "  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)\n";

const std::string kE1 =
    "\n  CREATE TABLE \"APP\".\"ORDERS\" \n   (\t\"ID\" NUMBER(10,0) NOT NULL ENABLE, \n\t\"CUST\" "
    "VARCHAR2(30 CHAR), \n\t\"AMOUNT\" NUMBER(12,2) DEFAULT 0, \n\t\"CREATED\" DATE\n   ) SEGMENT "
    "CREATION IMMEDIATE \n  PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n NOCOMPRESS LOGGING\n" +
    std::string(kStorage19) + "  TABLESPACE \"USERS\" ";

const std::string kE2 =
    "\n  CREATE TABLE \"APP\".\"ORDERS\" \n   (\t\"ID\" NUMBER(10,0) NOT NULL ENABLE, \n\t\"CUST\" "
    "VARCHAR2(30 CHAR), \n\t\"AMOUNT\" NUMBER(12,2) DEFAULT 0, \n\t\"CREATED\" DATE\n   ) ";

const std::string kE3 =
    "\n  CREATE TABLE \"APP\".\"ORDERS\" \n   (\t\"ID\" NUMBER(10,0) NOT NULL ENABLE, \n\t\"CUST\" "
    "VARCHAR2(30 CHAR), \n\t\"AMOUNT\" NUMBER(12,2) DEFAULT 0, \n\t\"CREATED\" DATE, \n\t "
    "CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")\n  USING INDEX PCTFREE 10 INITRANS 2 MAXTRANS "
    "255 COMPUTE STATISTICS \n" +
    std::string(kStorage19) +
    "  TABLESPACE \"USERS\"  ENABLE\n   ) SEGMENT CREATION IMMEDIATE \n  PCTFREE 10 PCTUSED 40 "
    "INITRANS 1 MAXTRANS 255 \n NOCOMPRESS LOGGING\n" +
    std::string(kStorage19) + "  TABLESPACE \"USERS\" ";

const std::string kE3NoSegment =
    "\n  CREATE TABLE \"APP\".\"ORDERS\" \n   (\t\"ID\" NUMBER(10,0) NOT NULL ENABLE, \n\t\"CUST\" "
    "VARCHAR2(30 CHAR), \n\t\"AMOUNT\" NUMBER(12,2) DEFAULT 0, \n\t\"CREATED\" DATE, \n\t "
    "CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")\n  USING INDEX  ENABLE\n   ) ";

const std::string kE4 =
    "\n  CREATE TABLE \"APP\".\"ORDERS\" \n   (\t\"ID\" NUMBER(10,0) NOT NULL ENABLE, \n\t\"CUST\" "
    "VARCHAR2(30 CHAR), \n\t\"AMOUNT\" NUMBER(12,2) DEFAULT 0, \n\t\"CREATED\" DATE\n   ) SEGMENT "
    "CREATION IMMEDIATE \n  PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 NOCOMPRESS LOGGING\n  "
    "STORAGE(INITIAL 65536 NEXT 1048576 MINEXTENTS 1 MAXEXTENTS 2147483645\n  PCTINCREASE 0 "
    "FREELISTS 1 FREELIST GROUPS 1 BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE "
    "DEFAULT)\n  TABLESPACE \"USERS\" ";

void ExpectOrdersColumns(const CreateTable& ct) {
  EXPECT_EQ(Names(ct.name).substr(Names(ct.name).size() - 6), "ORDERS");
  ASSERT_EQ(ct.columns.size(), 4u);
  const ColumnDef& id = ct.columns[0];
  EXPECT_EQ(id.name.text, "ID");
  EXPECT_TRUE(id.name.quoted);
  EXPECT_EQ(id.type.kind, TypeKind::kNumber);
  EXPECT_EQ(id.type.precision, 10);
  EXPECT_EQ(id.type.scale, 0);
  ASSERT_EQ(id.constraints.size(), 1u);
  EXPECT_EQ(id.constraints[0].kind, ConstraintKind::kNotNull);
  EXPECT_TRUE(id.constraints[0].enable);
  EXPECT_FALSE(id.constraints[0].has_name);
  const ColumnDef& cust = ct.columns[1];
  EXPECT_EQ(cust.type.kind, TypeKind::kVarchar2);
  EXPECT_EQ(cust.type.length, 30);
  EXPECT_TRUE(cust.type.char_semantics);
  const ColumnDef& amount = ct.columns[2];
  EXPECT_EQ(amount.type.precision, 12);
  EXPECT_EQ(amount.type.scale, 2);
  ASSERT_NE(amount.default_expr, nullptr);
  EXPECT_EQ(amount.default_text, "0");
  EXPECT_EQ(ct.columns[3].type.kind, TypeKind::kDate);
  EXPECT_TRUE(ct.lobs.empty());
}

void ExpectDefaultStorage(const StorageClause& s) {
  EXPECT_EQ(s.initial, 65536);
  EXPECT_EQ(s.next, 1048576);
  EXPECT_EQ(s.minextents, 1);
  EXPECT_EQ(s.maxextents, 2147483645);
  EXPECT_EQ(s.pctincrease, 0);
  EXPECT_EQ(s.freelists, 1);
  EXPECT_EQ(s.freelist_groups, 1);
  EXPECT_EQ(s.buffer_pool, "DEFAULT");
  EXPECT_EQ(s.flash_cache, "DEFAULT");
  EXPECT_EQ(s.cell_flash_cache, "DEFAULT");
}

void ExpectTableAttrs(const SegmentAttributes& a) {
  EXPECT_EQ(a.segment_creation, 1);
  EXPECT_EQ(a.pctfree, 10);
  EXPECT_EQ(a.pctused, 40);
  EXPECT_EQ(a.initrans, 1);
  EXPECT_EQ(a.maxtrans, 255);
  EXPECT_EQ(a.compress, 0);
  EXPECT_EQ(a.logging, 1);
  EXPECT_TRUE(a.has_storage);
  ExpectDefaultStorage(a.storage);
  EXPECT_TRUE(a.tablespace_given);
  EXPECT_EQ(a.tablespace, "USERS");
}

TEST(ParseDdl, TableTextsWithAndWithoutOwner) {
  for (bool qualified : {true, false}) {
    SCOPED_TRACE(qualified ? "qualified" : "unqualified");
    auto fix = [&](const std::string& t) { return qualified ? t : Unqualified(t); };
    for (const std::string* text : {&kE1, &kE4}) {
      auto st = ParseOk(fix(*text));
      ASSERT_NE(st, nullptr);
      ASSERT_EQ(st->kind, StmtKind::kCreateTable);
      const CreateTable& ct = *st->create_table;
      EXPECT_EQ(Names(ct.name), qualified ? "APP.ORDERS" : "ORDERS");
      ExpectOrdersColumns(ct);
      EXPECT_TRUE(ct.constraints.empty());
      ExpectTableAttrs(ct.attrs);
    }
    auto e2 = ParseOk(fix(kE2));
    ASSERT_NE(e2, nullptr);
    ExpectOrdersColumns(*e2->create_table);
    const SegmentAttributes& none = e2->create_table->attrs;
    EXPECT_EQ(none.segment_creation, -1);
    EXPECT_EQ(none.pctfree, kNoValue);
    EXPECT_FALSE(none.has_storage);
    EXPECT_FALSE(none.tablespace_given);

    auto e3 = ParseOk(fix(kE3));
    ASSERT_NE(e3, nullptr);
    const CreateTable& ct3 = *e3->create_table;
    ExpectOrdersColumns(ct3);
    ExpectTableAttrs(ct3.attrs);
    ASSERT_EQ(ct3.constraints.size(), 1u);
    const Constraint& pk = ct3.constraints[0];
    EXPECT_EQ(pk.kind, ConstraintKind::kPrimaryKey);
    EXPECT_EQ(pk.name.text, "ORDERS_PK");
    ASSERT_EQ(pk.columns.size(), 1u);
    EXPECT_EQ(pk.columns[0].text, "ID");
    EXPECT_TRUE(pk.has_using_index);
    EXPECT_TRUE(pk.using_index_name.empty());
    EXPECT_EQ(pk.using_index.pctfree, 10);
    EXPECT_EQ(pk.using_index.initrans, 2);
    EXPECT_EQ(pk.using_index.maxtrans, 255);
    EXPECT_TRUE(pk.using_index.compute_statistics);
    ExpectDefaultStorage(pk.using_index.storage);
    EXPECT_EQ(pk.using_index.tablespace, "USERS");
    EXPECT_TRUE(pk.enable);

    auto e3n = ParseOk(fix(kE3NoSegment));
    ASSERT_NE(e3n, nullptr);
    const Constraint& pk2 = e3n->create_table->constraints.at(0);
    EXPECT_TRUE(pk2.has_using_index);
    EXPECT_TRUE(pk2.using_index_name.empty());
    EXPECT_EQ(pk2.using_index.pctfree, kNoValue);
    EXPECT_TRUE(pk2.enable);
  }
}

TEST(ParseDdl, IndexTexts) {
  const std::string pk_index =
      "\n  CREATE UNIQUE INDEX \"APP\".\"ORDERS_PK\" ON \"APP\".\"ORDERS\" (\"ID\") \n  PCTFREE 10 "
      "INITRANS 2 MAXTRANS 255 COMPUTE STATISTICS \n" +
      std::string(kStorage19) + "  TABLESPACE \"USERS\" ";
  for (bool qualified : {true, false}) {
    auto fix = [&](const std::string& t) { return qualified ? t : Unqualified(t); };
    auto st = ParseOk(fix(pk_index));
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(st->kind, StmtKind::kCreateIndex);
    const CreateIndex& ci = *st->create_index;
    EXPECT_TRUE(ci.unique);
    EXPECT_FALSE(ci.bitmap);
    EXPECT_EQ(Names(ci.name), qualified ? "APP.ORDERS_PK" : "ORDERS_PK");
    EXPECT_EQ(Names(ci.table), qualified ? "APP.ORDERS" : "ORDERS");
    ASSERT_EQ(ci.keys.size(), 1u);
    EXPECT_EQ(ci.keys[0].expr->kind, ExprKind::kColumn);
    EXPECT_EQ(ci.attrs.initrans, 2);
    EXPECT_TRUE(ci.attrs.compute_statistics);
    ExpectDefaultStorage(ci.attrs.storage);
    EXPECT_EQ(ci.attrs.tablespace, "USERS");

    st = ParseOk(
        fix("\n  CREATE UNIQUE INDEX \"APP\".\"ORDERS_PK\" ON \"APP\".\"ORDERS\" (\"ID\") \n  "));
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->create_index->attrs.pctfree, kNoValue);

    st =
        ParseOk(fix("\n  CREATE INDEX \"APP\".\"ORDERS_CUST_IX\" ON \"APP\".\"ORDERS\" "
                    "(UPPER(\"CUST\")) \n  "));
    ASSERT_NE(st, nullptr);
    const IndexKey& fk = st->create_index->keys.at(0);
    EXPECT_EQ(fk.expr->kind, ExprKind::kFunction);
    EXPECT_EQ(ExprToText(*fk.expr), "UPPER(\"CUST\")");

    st = ParseOk(fix(
        "\n  CREATE BITMAP INDEX \"APP\".\"ORDERS_B\" ON \"APP\".\"ORDERS\" (\"CREATED\") \n  "));
    ASSERT_NE(st, nullptr);
    EXPECT_TRUE(st->create_index->bitmap);
  }

  // Other shapes: deferred segment, reverse key, NOLOGGING + PARALLEL,
  // descending and expression keys.
  auto st = ParseOk(
      "CREATE INDEX \"I\" ON \"T\" (\"A\" DESC, LOWER(\"FIRST_NAME\")||' '||LOWER(\"LAST_NAME\"), "
      "EXTRACT(YEAR FROM \"DATE_OF_BIRTH\") ASC) REVERSE \n  PCTFREE 10 INITRANS 2 MAXTRANS 255 "
      "COMPUTE STATISTICS NOLOGGING \n" +
      std::string(kStorage19) + "  TABLESPACE \"USERS\" \n  PARALLEL 5 ");
  ASSERT_NE(st, nullptr);
  const CreateIndex& ci = *st->create_index;
  ASSERT_EQ(ci.keys.size(), 3u);
  EXPECT_TRUE(ci.keys[0].desc);
  EXPECT_FALSE(ci.keys[1].desc);
  EXPECT_EQ(ExprToText(*ci.keys[1].expr), "LOWER(\"FIRST_NAME\")||' '||LOWER(\"LAST_NAME\")");
  EXPECT_EQ(ExprToText(*ci.keys[2].expr), "EXTRACT(YEAR FROM \"DATE_OF_BIRTH\")");
  EXPECT_TRUE(ci.reverse);
  EXPECT_EQ(ci.attrs.logging, 0);
  EXPECT_EQ(ci.attrs.parallel, 5);
}

TEST(ParseDdl, ConstraintTexts) {
  const std::string with_segment =
      "\n  ALTER TABLE \"APP\".\"ORDERS\" ADD CONSTRAINT \"ORDERS_PK\" PRIMARY KEY (\"ID\")\n  "
      "USING "
      "INDEX PCTFREE 10 INITRANS 2 MAXTRANS 255 COMPUTE STATISTICS \n" +
      std::string(kStorage19) + "  TABLESPACE \"USERS\"  ENABLE";
  for (bool qualified : {true, false}) {
    auto fix = [&](const std::string& t) { return qualified ? t : Unqualified(t); };
    auto st = ParseOk(fix(with_segment));
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(st->kind, StmtKind::kAlterTable);
    const AlterTable& at = *st->alter_table;
    EXPECT_EQ(Names(at.table), qualified ? "APP.ORDERS" : "ORDERS");
    const Constraint& c = at.add_constraint;
    EXPECT_EQ(c.kind, ConstraintKind::kPrimaryKey);
    EXPECT_EQ(c.name.text, "ORDERS_PK");
    ASSERT_EQ(c.columns.size(), 1u);
    EXPECT_EQ(c.using_index.initrans, 2);
    ExpectDefaultStorage(c.using_index.storage);
    EXPECT_TRUE(c.enable);

    st =
        ParseOk(fix("\n  ALTER TABLE \"APP\".\"ORDERS\" ADD CONSTRAINT \"ORDERS_PK\" PRIMARY KEY "
                    "(\"ID\")\n  USING INDEX  ENABLE"));
    ASSERT_NE(st, nullptr);
    EXPECT_TRUE(st->alter_table->add_constraint.has_using_index);

    st =
        ParseOk(fix("\n  ALTER TABLE \"APP\".\"ORDERS\" ADD CONSTRAINT \"ORDERS_PK\" PRIMARY KEY "
                    "(\"ID\") ENABLE"));
    ASSERT_NE(st, nullptr);
    EXPECT_FALSE(st->alter_table->add_constraint.has_using_index);

    st = ParseOk(
        fix("\n  ALTER TABLE \"APP\".\"T\" ADD PRIMARY KEY (\"ID\")\n  USING INDEX  ENABLE"));
    ASSERT_NE(st, nullptr);
    EXPECT_FALSE(st->alter_table->add_constraint.has_name);

    st = ParseOk(
        fix("\n  ALTER TABLE \"APP\".\"T\" ADD CONSTRAINT \"PK\" PRIMARY KEY (\"A\", \"B\")\n  "
            "USING INDEX \"APP\".\"IDX\"  ENABLE"));
    ASSERT_NE(st, nullptr);
    const Constraint& c2 = st->alter_table->add_constraint;
    EXPECT_EQ(c2.columns.size(), 2u);
    EXPECT_EQ(Names(c2.using_index_name), qualified ? "APP.IDX" : "IDX");
    EXPECT_TRUE(c2.enable);

    st = ParseOk(
        fix("\n  ALTER TABLE \"APP\".\"T\" ADD CONSTRAINT \"PK\" PRIMARY KEY (\"A\")\n  USING "
            "INDEX  DISABLE"));
    ASSERT_NE(st, nullptr);
    EXPECT_FALSE(st->alter_table->add_constraint.enable);
  }
  // Other forms: unique, unquoted index name, check, novalidate.
  auto st = ParseOk("alter table t add constraint u unique (a) using index u_ix enable novalidate");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->alter_table->add_constraint.kind, ConstraintKind::kUnique);
  EXPECT_EQ(Names(st->alter_table->add_constraint.using_index_name), "U_IX");
  EXPECT_EQ(st->alter_table->add_constraint.validate, 0);
  st = ParseOk("\n  ALTER TABLE \"O\".\"T\" ADD CHECK (balance >= 0) ENABLE");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->alter_table->add_constraint.check_text, "balance >= 0");
}

// The constraint forms of ALTER TABLE; a MODIFY that changes more than
// constraints is left to the column forms.
TEST(ParseDdl, AlterTableConstraintForms) {
  auto st = ParseOk("alter table t add (constraint a unique (x), check (y > 0), z number)");
  ASSERT_NE(st, nullptr);
  const AlterTable* at = st->alter_table.get();
  EXPECT_EQ(at->constraint_action, AlterTableAction::kNone);
  ASSERT_EQ(at->items.size(), 3u);
  EXPECT_EQ(at->items[0].constraint.name.text, "A");
  EXPECT_EQ(at->items[1].constraint.check_text, "y > 0");
  EXPECT_FALSE(at->items[2].is_constraint);

  st = ParseOk("alter table t drop unique (a, b) cascade drop index");
  ASSERT_NE(st, nullptr);
  at = st->alter_table.get();
  EXPECT_EQ(at->constraint_action, AlterTableAction::kDropUnique);
  EXPECT_EQ(at->key_columns.size(), 2u);
  EXPECT_TRUE(at->cascade);
  EXPECT_EQ(at->keep_index, 0);
  st = ParseOk("alter table t drop primary key keep index");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->alter_table->constraint_action, AlterTableAction::kDropPrimaryKey);
  EXPECT_FALSE(st->alter_table->cascade);
  EXPECT_EQ(st->alter_table->keep_index, 1);
  st = ParseOk("alter table t rename constraint \"a\" to b");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->alter_table->constraint.text, "a");
  EXPECT_EQ(st->alter_table->new_name.text, "B");

  st = ParseOk("alter table t modify (a constraint a_nn not null enable novalidate, b null)");
  ASSERT_NE(st, nullptr);
  at = st->alter_table.get();
  EXPECT_EQ(at->constraint_action, AlterTableAction::kModifyNullability);
  ASSERT_EQ(at->nullability.size(), 2u);
  EXPECT_EQ(at->nullability[0].constraint.kind, ConstraintKind::kNotNull);
  EXPECT_EQ(at->nullability[0].constraint.name.text, "A_NN");
  EXPECT_EQ(at->nullability[0].constraint.validate, 0);
  EXPECT_EQ(at->nullability[1].column.text, "B");
  EXPECT_EQ(at->nullability[1].constraint.kind, ConstraintKind::kNull);
  st = ParseOk("alter table t modify c not null unique");
  ASSERT_NE(st, nullptr);
  ASSERT_EQ(st->alter_table->nullability.size(), 2u);
  EXPECT_EQ(st->alter_table->nullability[1].column.text, "C");
  EXPECT_EQ(st->alter_table->nullability[1].constraint.kind, ConstraintKind::kUnique);
}

TEST(ParseDdl, InlineConstraintsAndColumnForms) {
  auto st = ParseOk(
      "\n  CREATE TABLE \"APP\".\"T\" \n   (\t\"ID\" NUMBER CONSTRAINT \"T_ID_NN\" NOT NULL "
      "ENABLE, "
      "\n\t\"MFO\" VARCHAR2(12) DEFAULT sys_context('bars_context','user_mfo'), "
      "\n\t\"Q\" NUMBER, \n\t\"P\" NUMBER, "
      "\n\t\"T\" NUMBER(14,2) GENERATED ALWAYS AS (\"Q\"*\"P\") VIRTUAL , "
      "\n\t\"V\" AS (\"Q\"+1), "
      "\n\t\"S\" NUMBER DEFAULT  (1 + 2)  NULL, "
      "\n\t PRIMARY KEY (\"ID\")\n  USING INDEX PCTFREE 10 INITRANS 2 MAXTRANS 255 \n  TABLESPACE "
      "\"USERS\"  ENABLE, "
      "\n\t CONSTRAINT \"CK\" CHECK (salary > 0) ENABLE, "
      "\n\t CONSTRAINT \"U\" UNIQUE (\"Q\", \"P\") DISABLE\n   ) ");
  ASSERT_NE(st, nullptr);
  const CreateTable& ct = *st->create_table;
  ASSERT_EQ(ct.columns.size(), 7u);
  const Constraint& nn = ct.columns[0].constraints.at(0);
  EXPECT_EQ(nn.kind, ConstraintKind::kNotNull);
  EXPECT_EQ(nn.name.text, "T_ID_NN");
  EXPECT_EQ(ct.columns[1].default_text, "sys_context('bars_context','user_mfo')");
  const ColumnDef& t = ct.columns[4];
  EXPECT_TRUE(t.has_type);
  ASSERT_NE(t.virtual_expr, nullptr);
  EXPECT_EQ(ExprToText(*t.virtual_expr), "\"Q\"*\"P\"");
  EXPECT_FALSE(ct.columns[5].has_type);
  ASSERT_NE(ct.columns[5].virtual_expr, nullptr);
  EXPECT_EQ(ct.columns[6].default_text, "(1 + 2)");
  EXPECT_EQ(ct.columns[6].constraints.at(0).kind, ConstraintKind::kNull);
  ASSERT_EQ(ct.constraints.size(), 3u);
  EXPECT_FALSE(ct.constraints[0].has_name);
  EXPECT_EQ(ct.constraints[0].using_index.tablespace, "USERS");
  EXPECT_EQ(ct.constraints[1].kind, ConstraintKind::kCheck);
  EXPECT_EQ(ct.constraints[1].check_text, "salary > 0");
  EXPECT_EQ(ct.constraints[2].columns.size(), 2u);
  EXPECT_FALSE(ct.constraints[2].enable);

  // Inline key constraints on a column, as typed by hand.
  st = ParseOk(
      "create table t (id number(10) constraint t_pk primary key using index tablespace users, "
      "code varchar2(5 byte) unique not null, c char check (c in ('Y','N')))");
  ASSERT_NE(st, nullptr);
  const CreateTable& h = *st->create_table;
  EXPECT_EQ(h.columns[0].constraints.at(0).kind, ConstraintKind::kPrimaryKey);
  EXPECT_EQ(h.columns[0].constraints.at(0).using_index.tablespace, "USERS");
  EXPECT_EQ(h.columns[1].constraints.size(), 2u);
  EXPECT_FALSE(h.columns[1].type.char_semantics);
  EXPECT_EQ(h.columns[2].constraints.at(0).check_text, "c in ('Y','N')");
}

TEST(ParseDdl, LobClauses) {
  const std::string head =
      "\n  CREATE TABLE \"APP\".\"T\" \n   (\t\"ID\" NUMBER, \n\t\"NOTE\" CLOB, \n\t\"PHOTO\" "
      "BLOB\n   ) ";
  const std::string tail =
      "SEGMENT CREATION IMMEDIATE \n  PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 \n NOCOMPRESS "
      "LOGGING\n" +
      std::string(kStorage19) + "  TABLESPACE \"USERS\" ";
  const std::string secure =
      " \n LOB (\"NOTE\") STORE AS SECUREFILE (\n  TABLESPACE \"USERS\" ENABLE STORAGE IN ROW "
      "CHUNK "
      "8192\n  NOCACHE LOGGING  NOCOMPRESS  KEEP_DUPLICATES \n  STORAGE(INITIAL 106496 NEXT "
      "1048576 "
      "MINEXTENTS 1 MAXEXTENTS 2147483645\n  PCTINCREASE 0\n  BUFFER_POOL DEFAULT FLASH_CACHE "
      "DEFAULT "
      "CELL_FLASH_CACHE DEFAULT)) ";
  const std::string deferred =
      " \n LOB (\"NOTE\") STORE AS SECUREFILE (\n  TABLESPACE \"USERS\" ENABLE STORAGE IN ROW "
      "CHUNK "
      "8192\n  NOCACHE LOGGING  NOCOMPRESS  KEEP_DUPLICATES ) ";
  const std::string basic =
      " \n LOB (\"PHOTO\") STORE AS BASICFILE (\n  TABLESPACE \"USERS\" ENABLE STORAGE IN ROW "
      "CHUNK "
      "8192 RETENTION \n  NOCACHE LOGGING \n  STORAGE(INITIAL 65536 NEXT 1048576 MINEXTENTS 1 "
      "MAXEXTENTS 2147483645\n  PCTINCREASE 0 FREELISTS 1 FREELIST GROUPS 1 BUFFER_POOL DEFAULT "
      "FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)) ";
  const std::string named =
      " \n LOB (\"PHOTO\") STORE AS BASICFILE \"SYS_LOB0000020052C00016$$\"(ENABLE STORAGE IN ROW "
      "CHUNK 8192 RETENTION \n  NOCACHE LOGGING ) ";

  for (bool qualified : {true, false}) {
    auto fix = [&](const std::string& t) { return qualified ? t : Unqualified(t); };
    auto st = ParseOk(fix(head + tail + secure + basic));
    ASSERT_NE(st, nullptr);
    const CreateTable& ct = *st->create_table;
    ExpectTableAttrs(ct.attrs);
    ASSERT_EQ(ct.lobs.size(), 2u);
    const LobStorage& s = ct.lobs[0];
    EXPECT_EQ(s.columns.at(0).text, "NOTE");
    EXPECT_EQ(s.securefile, 1);
    EXPECT_EQ(s.tablespace, "USERS");
    EXPECT_EQ(s.storage_in_row, 1);
    EXPECT_EQ(s.chunk, 8192);
    EXPECT_EQ(s.cache, 0);
    EXPECT_EQ(s.logging, 1);
    EXPECT_EQ(s.compress, 0);
    EXPECT_EQ(s.keep_duplicates, 1);
    EXPECT_TRUE(s.has_storage);
    EXPECT_EQ(s.storage.initial, 106496);
    EXPECT_EQ(s.storage.freelists, kNoValue);
    const LobStorage& b = ct.lobs[1];
    EXPECT_EQ(b.securefile, 0);
    EXPECT_EQ(b.retention, 1);
    EXPECT_EQ(b.storage.freelist_groups, 1);

    st = ParseOk(fix(head +
                     "SEGMENT CREATION DEFERRED \n  PCTFREE 10 PCTUSED 40 INITRANS 1 "
                     "MAXTRANS 255 \n NOCOMPRESS LOGGING\n  TABLESPACE \"USERS\" " +
                     deferred));
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->create_table->attrs.segment_creation, 0);
    EXPECT_FALSE(st->create_table->lobs.at(0).has_storage);

    st = ParseOk(fix(head + named));
    ASSERT_NE(st, nullptr);
    const LobStorage& n = st->create_table->lobs.at(0);
    EXPECT_EQ(n.segment_name, "SYS_LOB0000020052C00016$$");
    EXPECT_EQ(n.storage_in_row, 1);
    EXPECT_FALSE(n.tablespace_given);
  }
  // CACHE READS, DISABLE STORAGE IN ROW, PCTVERSION, a size suffix, in-memory off.
  auto st = ParseOk(
      "create table t (c clob) tablespace users storage (initial 64K next 1M maxextents unlimited) "
      "no inmemory lob (c) store as (disable storage in row pctversion 10 cache reads nologging "
      "deduplicate compress high)");
  ASSERT_NE(st, nullptr);
  const CreateTable& ct = *st->create_table;
  EXPECT_EQ(ct.attrs.storage.initial, 65536);
  EXPECT_EQ(ct.attrs.storage.next, 1048576);
  EXPECT_EQ(ct.attrs.storage.maxextents, 2147483645);
  const LobStorage& l = ct.lobs.at(0);
  EXPECT_EQ(l.storage_in_row, 0);
  EXPECT_EQ(l.pctversion, 10);
  EXPECT_EQ(l.cache, 2);
  EXPECT_EQ(l.logging, 0);
  EXPECT_EQ(l.keep_duplicates, 0);
  EXPECT_EQ(l.compress, 1);
}

TEST(ParseDdl, PhysicalClausesInAnyOrder) {
  auto st = ParseOk(
      "create table x.t (a number) nologging tablespace \"ts\" compress for oltp pctfree 5 "
      "parallel 4 initrans 3 segment creation deferred");
  ASSERT_NE(st, nullptr);
  const SegmentAttributes& a = st->create_table->attrs;
  EXPECT_EQ(a.logging, 0);
  EXPECT_EQ(a.tablespace, "ts");
  EXPECT_EQ(a.compress, 1);
  EXPECT_EQ(a.pctfree, 5);
  EXPECT_EQ(a.parallel, 4);
  EXPECT_EQ(a.initrans, 3);
  EXPECT_EQ(a.segment_creation, 0);
  st = ParseOk("create table t (a number) row store compress advanced noparallel");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->create_table->attrs.compress, 1);
  EXPECT_EQ(st->create_table->attrs.parallel, 0);
}

TEST(ParseDdl, DropTruncateAndUsers) {
  auto st = ParseOk("drop table app.t cascade constraints purge");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->kind, StmtKind::kDropTable);
  EXPECT_EQ(Names(st->drop->name), "APP.T");
  EXPECT_TRUE(st->drop->cascade);
  EXPECT_TRUE(st->drop->purge);
  st = ParseOk("drop index \"I\"");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->kind, StmtKind::kDropIndex);
  st = ParseOk("truncate table t");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->kind, StmtKind::kTruncateTable);
  st = ParseOk("drop user scott cascade");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->kind, StmtKind::kDropUser);
  EXPECT_TRUE(st->drop->cascade);

  st = ParseOk(
      "create user scott identified by Tiger1 default tablespace users temporary tablespace "
      "temp quota 10M on users quota unlimited on \"Data\" account unlock");
  ASSERT_NE(st, nullptr);
  ASSERT_EQ(st->kind, StmtKind::kCreateUser);
  const UserStmt& u = *st->user;
  EXPECT_EQ(u.user.text, "SCOTT");
  EXPECT_EQ(u.password, "Tiger1");  // passwords keep their case
  EXPECT_EQ(u.default_tablespace, "USERS");
  EXPECT_EQ(u.temporary_tablespace, "TEMP");
  ASSERT_EQ(u.quotas.size(), 2u);
  EXPECT_EQ(u.quotas[0].bytes, 10 * 1024 * 1024);
  EXPECT_TRUE(u.quotas[1].unlimited);
  EXPECT_EQ(u.quotas[1].tablespace, "Data");
  EXPECT_EQ(u.account_locked, 0);
  st = ParseOk("alter user scott identified by \"p@ss word\"");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->user->password, "p@ss word");
  st = ParseOk("alter user scott account lock");
  ASSERT_NE(st, nullptr);
  EXPECT_FALSE(st->user->has_password);
  EXPECT_EQ(st->user->account_locked, 1);

  st = ParseOk(
      "grant create session, unlimited tablespace, dba, select any table to scott, \"Bob\"");
  ASSERT_NE(st, nullptr);
  ASSERT_EQ(st->kind, StmtKind::kGrant);
  EXPECT_EQ(st->grant->privileges,
            (std::vector<std::string>{"CREATE SESSION", "UNLIMITED TABLESPACE", "DBA",
                                      "SELECT ANY TABLE"}));
  ASSERT_EQ(st->grant->grantees.size(), 2u);
  EXPECT_EQ(st->grant->grantees[1].text, "Bob");
  st = ParseOk("revoke connect, resource from scott");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->kind, StmtKind::kRevoke);
  EXPECT_EQ(st->grant->privileges, (std::vector<std::string>{"CONNECT", "RESOURCE"}));
}

// ---- the programs' statements ----------------------------------------------------

TEST(ParseQuery, ProgramStatements) {
  auto st = ParseOk("select count(*) from ALL_TABLES where OWNER='X'");
  ASSERT_NE(st, nullptr);
  const Select& s = *st->select;
  ASSERT_EQ(s.items.size(), 1u);
  EXPECT_TRUE(s.items[0].expr->star);
  EXPECT_EQ(Names(s.from.name), "ALL_TABLES");
  EXPECT_EQ(ExprToText(*s.where), "\"OWNER\"='X'");

  const std::string index_query =
      "select DBMS_METADATA.GET_DDL('INDEX', INDEX_NAME, OWNER)\nfrom ALL_INDEXES\nwhere "
      "OWNER='X'\nand TABLE_NAME='T'\nand (INDEX_TYPE like 'NORMAL%' or INDEX_TYPE like "
      "'FUNCTION%')\n";
  st = ParseOk(index_query);
  ASSERT_NE(st, nullptr);
  const Expr& fn = *st->select->items.at(0).expr;
  EXPECT_EQ(fn.kind, ExprKind::kFunction);
  ASSERT_EQ(fn.names.size(), 2u);
  EXPECT_EQ(fn.names[1].text, "GET_DDL");
  EXPECT_EQ(fn.args.size(), 3u);
  EXPECT_EQ(st->text.substr(st->select->items[0].span.begin,
                            st->select->items[0].span.end - st->select->items[0].span.begin),
            "DBMS_METADATA.GET_DDL('INDEX', INDEX_NAME, OWNER)");
  EXPECT_EQ(ExprToText(*st->select->where),
            "\"OWNER\"='X' AND \"TABLE_NAME\"='T' AND (\"INDEX_TYPE\" LIKE 'NORMAL%' OR "
            "\"INDEX_TYPE\" LIKE 'FUNCTION%')");

  st = ParseOk("select \"A\",\"B\"\nfrom \"X\".\"T\"\n");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->select->items.size(), 2u);
  EXPECT_EQ(Names(st->select->from.name), "X.T");
  EXPECT_TRUE(st->select->from.name[0].quoted);

  st = ParseOk(
      "insert into \"X\".\"T\" "
      "(\"ID\",\"DOC\",\"NOTE\")\nvalues\n(:1,:2,:3)\nreturning\n\"DOC\"\ninto\n:4");
  ASSERT_NE(st, nullptr);
  ASSERT_EQ(st->kind, StmtKind::kInsert);
  const Insert& ins = *st->insert;
  EXPECT_EQ(Names(ins.table.name), "X.T");
  ASSERT_EQ(ins.columns.size(), 3u);
  ASSERT_EQ(ins.values.size(), 3u);
  EXPECT_EQ(ins.values[2]->bind_index, 3);
  ASSERT_EQ(ins.returning.size(), 1u);
  ASSERT_EQ(ins.into.size(), 1u);
  EXPECT_EQ(ins.into[0]->kind, ExprKind::kBind);
  EXPECT_EQ(ins.into[0]->bind_index, 4);
  EXPECT_EQ(st->bind_names, (std::vector<std::string>{"1", "2", "3", "4"}));

  st = ParseOk("alter session set current_schema=SCOTT");
  ASSERT_NE(st, nullptr);
  ASSERT_EQ(st->kind, StmtKind::kAlterSession);
  EXPECT_EQ(st->alter_session->parameter.text, "CURRENT_SCHEMA");
  EXPECT_EQ(st->alter_session->value.text, "SCOTT");
  EXPECT_FALSE(st->alter_session->is_string);
  st = ParseOk("alter session set current_schema=\"Mixed\"");
  ASSERT_NE(st, nullptr);
  EXPECT_TRUE(st->alter_session->value.quoted);
  st = ParseOk("ALTER SESSION SET NLS_DATE_FORMAT = 'DD-MON-RR'");
  ASSERT_NE(st, nullptr);
  EXPECT_TRUE(st->alter_session->is_string);
  EXPECT_EQ(st->alter_session->text, "DD-MON-RR");

  for (const char* text :
       {"select DBMS_METADATA.GET_DDL('TABLE', 'T', 'X') from dual",
        "select TABLE_NAME from ALL_TABLES where OWNER='X'",
        "select COLUMN_NAME, DATA_TYPE, DATA_LENGTH\nfrom ALL_TAB_COLS\nwhere OWNER='X' and "
        "TABLE_NAME='T' and HIDDEN_COLUMN='NO' and VIRTUAL_COLUMN='NO'\norder by COLUMN_ID",
        "select DBMS_METADATA.GET_DDL('CONSTRAINT', CONSTRAINT_NAME, OWNER)\nfrom "
        "ALL_CONSTRAINTS\nwhere OWNER='X'\nand TABLE_NAME='T'\nand CONSTRAINT_TYPE='P'\n",
        "commit", "COMMIT WORK", "rollback"}) {
    EXPECT_NE(ParseOk(text), nullptr);
  }
}

TEST(ParsePlsql, SetupBlocks) {
  const std::string block =
      "BEGIN\n"
      "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'SEGMENT_ATTRIBUTES', "
      "FALSE);\n"
      "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'CONSTRAINTS', TRUE);\n"
      "  NULL;\n"
      "  DBMS_OUTPUT.NEW_LINE;\n"
      "END;";
  for (const std::string& text : {block, block + "\n/\n", "  -- setup\n" + block + "  \n"}) {
    auto st = ParseOk(text);
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(st->kind, StmtKind::kPlsqlBlock);
    const auto& calls = st->block->calls;
    ASSERT_EQ(calls.size(), 4u);
    const Expr& c = *calls[0];
    EXPECT_EQ(c.kind, ExprKind::kFunction);
    EXPECT_EQ(c.names.at(1).text, "SET_TRANSFORM_PARAM");
    ASSERT_EQ(c.args.size(), 3u);
    EXPECT_EQ(c.args[0]->kind, ExprKind::kColumn);
    EXPECT_EQ(c.args[0]->names.size(), 2u);
    EXPECT_EQ(c.args[2]->lit, LiteralKind::kBoolean);
    EXPECT_EQ(c.args[2]->text, "FALSE");
    EXPECT_EQ(calls[1]->args[2]->text, "TRUE");
    EXPECT_EQ(calls[2]->lit, LiteralKind::kNull);
    EXPECT_EQ(calls[3]->kind, ExprKind::kFunction);
    EXPECT_TRUE(calls[3]->args.empty());
  }
}

TEST(ParsePlsql, Errors) {
  const struct {
    const char* text;
    const char* where;  // "line L, column C"
  } cases[] = {
      {"BEGIN\n  foo(1)\nEND;", "line 3, column 1"},
      {"BEGIN END;", "line 1, column 7"},
      {"BEGIN foo; END", "line 1, column 15"},
      {"BEGIN\n  x := ;\nEND;", "line 2, column 8"},
      {"DECLARE x NUMBER BEGIN NULL; END;", "line 1, column 18"},
      {"BEGIN\n  IF 1 = 1 THEN NULL; END;\nEND;", "line 2, column 26"},
      {"BEGIN\n  FOR i IN 1 LOOP NULL; END LOOP;\nEND;", "line 2, column 14"},
      {"BEGIN foo('abc); END;", "line 1, column 11"},
      {"BEGIN foo; END; select", "line 1, column 17"},
  };
  for (const auto& c : cases) {
    std::unique_ptr<Statement> st;
    Status s = Parse(c.text, &st);
    EXPECT_EQ(s.code(), 6550) << c.text;
    EXPECT_NE(s.text().find(c.where), std::string::npos) << s.text();
    EXPECT_NE(s.text().find("PLS-00103"), std::string::npos) << s.text();
  }
}

// ---- queries and DML ---------------------------------------------------------------

TEST(ParseQuery, SelectClauses) {
  auto st = ParseOk(
      "select distinct t.*, a + 1 as \"Plus\", b total, level from app.t x where a > :lo and b "
      "is not null connect by level <= 3 group by a, b having count(*) > 1 order by 2 desc nulls "
      "first, a for update");
  ASSERT_NE(st, nullptr);
  const Select& s = *st->select;
  EXPECT_TRUE(s.distinct);
  ASSERT_EQ(s.items.size(), 4u);
  EXPECT_TRUE(s.items[0].star);
  EXPECT_EQ(s.items[0].star_qualifier.at(0).text, "T");
  EXPECT_EQ(s.items[1].alias.text, "Plus");
  EXPECT_EQ(st->text.substr(s.items[1].span.begin, s.items[1].span.end - s.items[1].span.begin),
            "a + 1");
  EXPECT_EQ(s.items[2].alias.text, "TOTAL");
  EXPECT_EQ(s.items[3].expr->kind, ExprKind::kPseudo);
  EXPECT_EQ(s.from.alias.text, "X");
  EXPECT_EQ(Names(s.from.name), "APP.T");
  ASSERT_NE(s.connect_by, nullptr);
  EXPECT_EQ(s.group_by.size(), 2u);
  ASSERT_NE(s.having, nullptr);
  ASSERT_EQ(s.order_by.size(), 2u);
  EXPECT_TRUE(s.order_by[0].desc);
  EXPECT_EQ(s.order_by[0].nulls, 1);
  EXPECT_EQ(s.order_by[0].expr->lit, LiteralKind::kNumber);
  EXPECT_TRUE(s.for_update);
  EXPECT_EQ(st->bind_names, (std::vector<std::string>{"LO"}));

  st = ParseOk("select * from dual");
  ASSERT_NE(st, nullptr);
  EXPECT_TRUE(st->select->items.at(0).star);
  EXPECT_TRUE(st->select->items.at(0).star_qualifier.empty());
}

TEST(ParseQuery, BindsNumberedByAppearance) {
  auto st = ParseOk("update t set a = :x, b = :1 where c = :x or d = :\"y\"");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->bind_names, (std::vector<std::string>{"X", "1", "X", "y"}));
  const Update& u = *st->update;
  EXPECT_EQ(u.sets.at(0).value->bind_index, 1);
  EXPECT_EQ(u.sets.at(1).value->bind_index, 2);
  EXPECT_EQ(u.where->args.at(1)->args.at(1)->bind_index, 4);
}

TEST(ParseQuery, DmlForms) {
  auto st = ParseOk("insert into t select a, b from u where c = 1");
  ASSERT_NE(st, nullptr);
  ASSERT_NE(st->insert->select, nullptr);
  EXPECT_EQ(st->insert->select->items.size(), 2u);
  st = ParseOk("insert into t values (1, 'x', sysdate, null, -2.5e3, empty_clob())");
  ASSERT_NE(st, nullptr);
  EXPECT_TRUE(st->insert->columns.empty());
  EXPECT_EQ(st->insert->values.size(), 6u);
  st = ParseOk("update app.t x set x.a = a + 1 where rownum < 2");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->update->sets.at(0).column.text, "A");
  st = ParseOk("delete app.t where a = 1");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->kind, StmtKind::kDelete);
  st = ParseOk("delete from t");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->del->where, nullptr);
  EXPECT_EQ(ErrorCode("update t x set y.a = 1"), 904);
}

// ---- types --------------------------------------------------------------------------

TEST(ParseTypes, Declarations) {
  const struct {
    const char* text;
    TypeKind kind;
    int length, precision, scale;
    bool chars;
  } cases[] = {
      {"VARCHAR2(10)", TypeKind::kVarchar2, 10, kUnset, kUnset, false},
      {"varchar2(10 byte)", TypeKind::kVarchar2, 10, kUnset, kUnset, false},
      {"VARCHAR2(30 CHAR)", TypeKind::kVarchar2, 30, kUnset, kUnset, true},
      {"VARCHAR(5)", TypeKind::kVarchar2, 5, kUnset, kUnset, false},
      {"CHARACTER VARYING(5)", TypeKind::kVarchar2, 5, kUnset, kUnset, false},
      {"CHAR VARYING(5)", TypeKind::kVarchar2, 5, kUnset, kUnset, false},
      {"CHAR", TypeKind::kChar, kUnset, kUnset, kUnset, false},
      {"CHAR(2 CHAR)", TypeKind::kChar, 2, kUnset, kUnset, true},
      {"CHARACTER(3)", TypeKind::kChar, 3, kUnset, kUnset, false},
      {"NCHAR", TypeKind::kNChar, kUnset, kUnset, kUnset, true},
      {"NCHAR(2)", TypeKind::kNChar, 2, kUnset, kUnset, true},
      {"NATIONAL CHAR(2)", TypeKind::kNChar, 2, kUnset, kUnset, true},
      {"NATIONAL CHARACTER(2)", TypeKind::kNChar, 2, kUnset, kUnset, true},
      {"NVARCHAR2(7)", TypeKind::kNVarchar2, 7, kUnset, kUnset, true},
      {"NCHAR VARYING(7)", TypeKind::kNVarchar2, 7, kUnset, kUnset, true},
      {"NATIONAL CHARACTER VARYING(7)", TypeKind::kNVarchar2, 7, kUnset, kUnset, true},
      {"NUMBER", TypeKind::kNumber, kUnset, kUnset, kUnset, false},
      {"NUMBER(4)", TypeKind::kNumber, kUnset, 4, 0, false},
      {"NUMBER(7,2)", TypeKind::kNumber, kUnset, 7, 2, false},
      {"NUMBER(5,-2)", TypeKind::kNumber, kUnset, 5, -2, false},
      {"NUMBER(*,0)", TypeKind::kNumber, kUnset, 0, 0, false},
      {"NUMBER(*,2)", TypeKind::kNumber, kUnset, 0, 2, false},
      {"NUMBER(*)", TypeKind::kNumber, kUnset, kUnset, kUnset, false},
      {"INTEGER", TypeKind::kNumber, kUnset, 0, 0, false},
      {"INT", TypeKind::kNumber, kUnset, 0, 0, false},
      {"SMALLINT", TypeKind::kNumber, kUnset, 0, 0, false},
      {"DECIMAL", TypeKind::kNumber, kUnset, 0, 0, false},
      {"DEC(9,2)", TypeKind::kNumber, kUnset, 9, 2, false},
      {"NUMERIC(9)", TypeKind::kNumber, kUnset, 9, 0, false},
      {"FLOAT", TypeKind::kFloat, kUnset, kUnset, kUnset, false},
      {"FLOAT(5)", TypeKind::kFloat, kUnset, 5, kUnset, false},
      {"DOUBLE PRECISION", TypeKind::kFloat, kUnset, 126, kUnset, false},
      {"REAL", TypeKind::kFloat, kUnset, 63, kUnset, false},
      {"BINARY_FLOAT", TypeKind::kBinaryFloat, kUnset, kUnset, kUnset, false},
      {"BINARY_DOUBLE", TypeKind::kBinaryDouble, kUnset, kUnset, kUnset, false},
      {"DATE", TypeKind::kDate, kUnset, kUnset, kUnset, false},
      {"TIMESTAMP", TypeKind::kTimestamp, kUnset, kUnset, kUnset, false},
      {"TIMESTAMP (6)", TypeKind::kTimestamp, kUnset, 6, kUnset, false},
      {"TIMESTAMP(3) WITH TIME ZONE", TypeKind::kTimestampTZ, kUnset, 3, kUnset, false},
      {"TIMESTAMP (6) WITH LOCAL TIME ZONE", TypeKind::kTimestampLTZ, kUnset, 6, kUnset, false},
      {"INTERVAL YEAR TO MONTH", TypeKind::kIntervalYM, kUnset, kUnset, kUnset, false},
      {"INTERVAL YEAR (2) TO MONTH", TypeKind::kIntervalYM, kUnset, 2, kUnset, false},
      {"INTERVAL DAY TO SECOND", TypeKind::kIntervalDS, kUnset, kUnset, kUnset, false},
      {"INTERVAL DAY (2) TO SECOND (6)", TypeKind::kIntervalDS, kUnset, 2, 6, false},
      {"RAW(16)", TypeKind::kRaw, 16, kUnset, kUnset, false},
      {"LONG", TypeKind::kLong, kUnset, kUnset, kUnset, false},
      {"LONG RAW", TypeKind::kLongRaw, kUnset, kUnset, kUnset, false},
      {"LONG VARCHAR", TypeKind::kLong, kUnset, kUnset, kUnset, false},
      {"CLOB", TypeKind::kClob, kUnset, kUnset, kUnset, false},
      {"NCLOB", TypeKind::kNClob, kUnset, kUnset, kUnset, false},
      {"BLOB", TypeKind::kBlob, kUnset, kUnset, kUnset, false},
      {"ROWID", TypeKind::kRowid, kUnset, kUnset, kUnset, false},
      {"UROWID", TypeKind::kURowid, kUnset, kUnset, kUnset, false},
      {"UROWID(100)", TypeKind::kURowid, 100, kUnset, kUnset, false},
  };
  for (const auto& c : cases) {
    TypeDesc t;
    Status s = ParseType(c.text, &t);
    ASSERT_TRUE(s.ok()) << c.text << ": " << s.text();
    EXPECT_EQ(t.kind, c.kind) << c.text;
    EXPECT_EQ(t.length, c.length) << c.text;
    EXPECT_EQ(t.precision, c.precision) << c.text;
    EXPECT_EQ(t.scale, c.scale) << c.text;
    EXPECT_EQ(t.char_semantics, c.chars) << c.text;
    // The printed type parses back to the same declaration.
    TypeDesc again;
    ASSERT_TRUE(ParseType(TypeToText(t), &again).ok()) << TypeToText(t);
    EXPECT_TRUE(again == t) << c.text << " -> " << TypeToText(t);
  }
  // What GET_DDL writes for each type reads back as that type.
  for (const auto& c : cases) {
    TypeDesc t, back;
    ASSERT_TRUE(ParseType(c.text, &t).ok());
    t = WithDefaults(t);
    ASSERT_TRUE(ParseType(DdlTypeText(t), &back).ok()) << DdlTypeText(t);
    EXPECT_EQ(back.kind, t.kind) << DdlTypeText(t);
  }
}

TEST(ParseTypes, Errors) {
  const struct {
    const char* text;
    int code;
  } cases[] = {
      {"NUMBER(0)", 1727},
      {"NUMBER(39)", 1727},
      {"NUMBER(5,128)", 1728},
      {"NUMBER(5,-85)", 1728},
      {"NUMBER(99999999999999999999999)", 1727},
      {"FLOAT(0)", 1724},
      {"FLOAT(127)", 1724},
      {"TIMESTAMP(10)", 30088},
      {"INTERVAL DAY(10) TO SECOND", 30088},
      {"VARCHAR2", 906},
      {"VARCHAR2(0)", 1723},
      {"VARCHAR2(4001)", 910},
      {"CHAR(2001)", 910},
      {"NVARCHAR2(2001)", 910},
      {"RAW", 906},
      {"RAW(2001)", 910},
      {"VARCHAR2(1.5)", 2017},
      {"XMLTYPE", 902},
      {"\"SYS\".\"XMLTYPE\"", 902},
      {"NUMBER(5", 907},
      {"DOUBLE", 902},
      {"INTERVAL MONTH", 902},
      {"TIMESTAMP WITH ZONE", 905},
  };
  for (const auto& c : cases) {
    TypeDesc t;
    EXPECT_EQ(ParseType(c.text, &t).code(), c.code) << c.text;
  }
}

// ---- errors ---------------------------------------------------------------------------

TEST(ParseErrors, OracleNumbers) {
  const struct {
    std::string text;
    int code;
  } cases[] = {
      {"", 900},
      {"  -- nothing but a comment\n", 900},
      {"selec 1 from dual", 900},
      {"42", 900},
      {"select 1 from dual;", 911},
      {"select 1 from dual ;  ", 911},
      {"commit;", 911},
      {"select * from", 903},
      {"select * from table", 903},
      {"select * from (select 1 from dual", 907},
      {"select 1", 923},
      {"select", 936},
      {"select from t", 936},
      {"select a b c from t", 923},
      {"select *, a from t", 923},
      {"select a, * from t", 936},
      {"select * from t,", 903},
      {"select * from t, u v w", 933},
      {"select * from t join u", 905},
      {"select * from t left join u on", 936},
      {"select * from t where a in (select a from u", 907},
      {"select * from t where exists (select a from u", 907},
      {"select 'abc from dual", 1756},
      {"select \"abc from dual", 1740},
      {"select \"\" from dual", 1741},
      {"select " + std::string(129, 'x') + " from dual", 972},
      {"select a from t where a = 1 = 2", 933},
      {"select count(1 from dual", 907},
      {"select (1 from dual", 907},
      {"select a from t where a in ()", 936},
      {"select a from t where a is 1", 908},
      {"select 1 from dual where a between 1", 921},
      {"select 1 from dual @x", 911},
      {"select ? from dual", 911},
      {"select /* x from dual", 1742},
      {"select a.b.c.d from t", 1747},
      {"select a from t order by", 936},
      {"select a from t group a", 924},
      {"create table t (a number", 907},
      {"create table t", 906},
      {"create table table (a number)", 903},
      {"create table t (select number)", 904},
      {"create table t (a foo)", 902},
      {"create table t (a)", 902},
      {"create table t (a number(39))", 1727},
      {"create table t (a number generated always as identity (foo 1))", 933},
      {"create table t (a number generated by identity)", 905},
      {"create table t (a number generated always as identity (start with limit value))", 2017},
      {"create table t (a, b) as", 928},
      // Malformed foreign keys and constraint states.
      {"create table t (a number, foreign key (a) references)", 903},
      {"create table t (a number references u (a) on delete restrict)", 905},
      {"create table t (a number foreign key references u)", 907},
      {"create table t (a number check (a > 0) initially later)", 905},
      {"alter table t modify constraint c", 1735},
      {"alter table t enable constraint c cascade now", 1735},
      {"set constraints all later", 905},
      // Subqueries where an expression is kept as text.
      {"create table t (a number check (a in (select 1 from dual)))", 2251},
      {"create table t (a number, check (exists (select 1 from dual)))", 2251},
      {"create table t (a number, b number as ((select 1 from dual)))", 22818},
      {"create index i on t (a + (select 1 from dual))", 22818},
      {"create table t (a number) tablespace", 2216},
      {"create table t (a number) storage (foo 1)", 2143},
      {"create table t (a number) pctfree x", 2017},
      {"create table t (a number) parallel 0", 12813},
      {"create table t (a clob) lob (a) store as (foo)", 22853},
      {"create table t (a number) foo", 933},
      {"create widget v as select 1 from dual", 901},
      {"create view v select 1 from dual", 905},
      {"create or replace force view v (a,) as select 1 from dual", 904},
      {"create public synonym s to t", 905},
      {"create index i t (a)", 969},
      {"create index i on t", 906},
      {"create index select on t (a)", 953},
      {"alter index i rebuild", 3001},
      {"alter foo", 940},
      {"alter table t modify (c not null", 907},
      {"alter table t drop unique a", 906},
      {"alter table t rename constraint a b", 905},
      {"drop widget v", 950},
      {"drop public view v", 950},
      {"drop view v cascade purge", 905},
      {"alter table t drop column", 904},
      {"alter table t add c", 902},
      {"alter table t modify (c number", 907},
      {"alter table t modify c drop default", 905},
      {"alter table t rename column a b", 905},
      {"alter table t rename a to b", 1735},
      {"rename a to s.b", 1765},
      {"truncate t", 3290},
      {"insert t values (1)", 925},
      {"insert into t", 926},
      {"insert into t values (1) returning a into b", 1744},
      {"insert into t values (1) returning a, b into :1", 947},
      {"insert into t values (1) returning a into :1, :2", 913},
      {"update t a = 1", 971},
      {"update t set a 1", 927},
      {"grant to u", 990},
      {"grant dba", 921},
      {"grant update (a) on t to u", 3001},
      {"grant dba to u with admin option", 3001},
      {"create user u", 921},
      {"create user u identified by 'x'", 988},
      {"alter user u", 922},
      {"alter session set", 2248},
      {"alter session set x 1", 2248},
      {"alter session foo", 922},
      {"rollback to savepoint s", 3001},
  };
  for (const auto& c : cases) {
    std::unique_ptr<Statement> st;
    Status s = Parse(c.text, &st);
    EXPECT_EQ(s.code(), c.code) << c.text << "\n  got: " << s.text();
    EXPECT_EQ(st, nullptr) << c.text;
    if (!s.ok()) {
      char prefix[16];
      snprintf(prefix, sizeof prefix, "ORA-%05d: ", c.code);
      EXPECT_EQ(s.text().rfind(prefix, 0), 0u) << s.text();
    }
  }
}

TEST(ParseErrors, ReservedWordMessage) {
  std::unique_ptr<Statement> st;
  Status s = Parse("create table t (select number)", &st);
  EXPECT_EQ(s.text(), "ORA-00904: : invalid identifier");
}

// ---- robustness ----------------------------------------------------------------------

std::vector<std::string> SampleStatements() {
  return {kE1,
          kE3,
          kE4,
          Unqualified(kE3),
          "select DBMS_METADATA.GET_DDL('INDEX', INDEX_NAME, OWNER)\nfrom ALL_INDEXES\nwhere "
          "OWNER='X'\nand (INDEX_TYPE like 'NORMAL%' or INDEX_TYPE like 'FUNCTION%')\n",
          "insert into \"X\".\"T\" (\"ID\",\"DOC\")\nvalues\n(:1,:2)\nreturning\n\"DOC\"\ninto\n:3",
          "BEGIN\n  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, "
          "'SEGMENT_ATTRIBUTES', FALSE);\nEND;\n/",
          "select case when a > 1 then cast(b as number(5,2)) else -c end, extract(day from d), "
          "interval '1 2:3:4.5' day to second(2), q'[x]', n'y', 1.5f from t where e not in (1,2) "
          "and f not like 'a%' escape '\\' or g not between 1 and 2",
          "create table t (a number default 0 constraint c check (a > 0), b varchar2(10 char) "
          "not null) lob (c) store as securefile \"S\" (tablespace x chunk 8k)",
          "alter table t add constraint p primary key (a, b) using index tablespace users enable",
          "create user u identified by p default tablespace users quota 10m on users",
          "grant create session, dba to u",
          "alter session set nls_date_format='YYYY'"};
}

// Every prefix of every sample statement is answered without crashing.
TEST(ParseRobustness, Truncations) {
  for (const std::string& text : SampleStatements()) {
    ASSERT_NE(ParseOk(text), nullptr);
    for (size_t n = 0; n < text.size(); ++n) {
      std::unique_ptr<Statement> st;
      Status s = Parse(std::string_view(text).substr(0, n), &st);
      EXPECT_EQ(s.ok(), st != nullptr);
    }
  }
}

// Random edits (byte flips, deletions, token splices) of the samples, and
// random garbage, never crash the parser.
TEST(ParseRobustness, RandomGarbage) {
  std::mt19937 rng(20240611);
  const std::vector<std::string> samples = SampleStatements();
  const char* pieces[] = {
      "(",    ")",     ",",        "'",    "\"",    ":",       ";",     "--",    "/*",  "*/",
      "q'[",  "N'",    "select",   "from", "where", "create",  "table", "index", "lob", "store",
      "as",   "begin", "end;",     "not",  "null",  "number",  "(*",    "1e",    ".",   "||",
      "case", "when",  "interval", "date", "using", "storage", "-",     "\n"};
  int parsed = 0;
  for (int iter = 0; iter < 4000; ++iter) {
    std::string text = samples[rng() % samples.size()];
    int edits = 1 + rng() % 4;
    for (int e = 0; e < edits && !text.empty(); ++e) {
      size_t at = rng() % text.size();
      switch (rng() % 4) {
        case 0:
          text[at] = static_cast<char>(rng() % 256);
          break;
        case 1:
          text.erase(at, 1 + rng() % 8);
          break;
        case 2:
          text.insert(at, pieces[rng() % (sizeof pieces / sizeof *pieces)]);
          break;
        default:
          text = text.substr(0, at);
          break;
      }
    }
    std::unique_ptr<Statement> st;
    Status s = Parse(text, &st);
    EXPECT_EQ(s.ok(), st != nullptr);
    parsed += s.ok();
    if (!s.ok()) {
      EXPECT_EQ(s.text().compare(0, 4, "ORA-"), 0) << s.text();
    }
  }
  for (int iter = 0; iter < 2000; ++iter) {
    std::string text;
    int n = rng() % 30;
    for (int k = 0; k < n; ++k) {
      text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
      if (rng() % 2) text += ' ';
    }
    std::unique_ptr<Statement> st;
    Status s = Parse(text, &st);
    EXPECT_EQ(s.ok(), st != nullptr);
  }
  EXPECT_GT(parsed, 0);  // some edits leave valid statements
}

TEST(ParseRobustness, DeepNestingIsRefused) {
  const int n = 100000;
  auto repeat = [](const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
  };
  for (const std::string& text :
       {"select " + std::string(n, '(') + "1" + std::string(n, ')') + " from dual",
        "select " + repeat("- ", n) + "1 from dual",
        "select 1 from dual where " + repeat("not ", n) + "1 = 1",
        "select " + repeat("f(", n) + "1" + std::string(n, ')') + " from dual",
        "select " + repeat("case when 1 = 1 then ", n) + "1 from dual",
        // long operator chains build trees as high as they are long
        "select 1" + repeat("+1", n) + " from dual",
        "select 1 from dual where 1 = 1" + repeat(" and 1 = 1", n),
        "insert into t values (1" + repeat("||'x'", n) + ")",
        "create table t (a number default 1" + repeat("*2", n) + ")",
        "select 1 from dual union " + repeat("(select 1 from dual union ", n) + "select 1 from dual" +
            std::string(n, ')'),
        repeat("with w as (", n) + "select 1 from dual"}) {
    std::unique_ptr<Statement> st;
    Status s = Parse(text, &st);
    EXPECT_EQ(s.code(), 3001) << text.substr(0, 60);
  }
  // Moderate nesting is fine, and so is a long but realistic chain: a
  // 1000-column text line built with ||.
  EXPECT_NE(ParseOk("select " + std::string(60, '(') + "1" + std::string(60, ')') + " from dual"),
            nullptr);
  std::string line = "select c0";
  for (int i = 1; i < 1000; ++i) line += "||','||c" + std::to_string(i);
  EXPECT_NE(ParseOk(line + " from t"), nullptr);
  // The budget is per top-level expression, not per statement.
  std::string many = "select " + repeat("1+1+1+1, ", 2000) + "1 from dual";
  EXPECT_NE(ParseOk(many), nullptr);
}

TEST(ParseRobustness, LargeStatementsParseInLinearTime) {
  // A quadratic parser would take minutes over these sizes.
  std::string sel = "select ";
  for (int i = 0; i < 200000; ++i) sel += (i ? ",c" : "c") + std::to_string(i);
  sel += " from t where a = '" + std::string(1 << 20, 'x') + "'";
  auto st = ParseOk(sel);
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->select->items.size(), 200000u);

  std::string in = "select 1 from dual where a in (";
  for (int i = 0; i < 1000; ++i) in += (i ? ",'" : "'") + std::to_string(i) + "'";
  EXPECT_NE(ParseOk(in + ")"), nullptr);
  EXPECT_EQ(ErrorCode(in + ",1)"), 1795);
}

}  // namespace
}  // namespace sql
}  // namespace tabdb
