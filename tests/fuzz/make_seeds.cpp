// make_seeds.cpp - writes the seed dumps of the dump reader fuzz target
// into the folder named by its argument: one small dump per kind of table
// section, with and without the checksum extension, so that the fuzzer
// starts from every path of the reader.
#include <cstdio>
#include <fstream>
#include <string>

#include "dump_builder.h"

using namespace dumpbuild;

namespace {

bool Save(const std::string& dir, const std::string& name, const Dump& d) {
  std::ofstream f(dir + "/" + name, std::ios::binary);
  f << d.Build();
  return static_cast<bool>(f);
}

Table MultiRow(const std::string& name, int rows) {
  Table t(name, {{5, 22, "ID"}, {3, 20, "NAME"}, {6, 7, "DAY"}});
  for (int i = 0; i < rows; i++)
    t.Row({Val(Number(i)), i % 3 ? Val("name " + std::to_string(i)) : Null(),
           Val(std::string("\x78\x7C\x03\x0F\x0E\x2E\x1F", 7))});
  t.index_sql = {"create index \"" + name + "_I\" on \"" + name + "\" (\"NAME\")",
                 "alter table \"" + name + "\" add primary key (\"ID\")"};
  return t;
}

Table Streams(bool empty_last) {
  Table t("DOCS", {{16, 4000, "NOTE"}, {13, 0, "TXT"}, {5, 22, "ID"}, {17, 4000, "IMG"}});
  t.Row({Val(Number(1)), LobMark(), LobMark(), LongMark()})
      .StreamOf(std::string(300, 'L'), 128, empty_last)
      .StreamOf("national text", 32768, empty_last)
      .StreamOf(std::string(70, '\x01'), 32, empty_last);
  t.Row({Val(Number(2)), Null(), LobMark(), Null()}).Stream({}, empty_last).Stream({}, empty_last);
  t.Row({Null(), Null(), Null(), LongMark()}).StreamOf("x", 32768, empty_last);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SEED_DIR\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  bool ok = true;

  Dump empty;
  ok &= Save(dir, "no_tables.dmp", empty);

  Dump multi;
  multi.tables.push_back(MultiRow("EMP", 5));
  multi.tables.push_back(MultiRow("NONE", 0));
  ok &= Save(dir, "multi_row.dmp", multi);

  Dump many;
  many.tables.push_back(MultiRow("BIG", 300));
  ok &= Save(dir, "many_rows.dmp", many);

  Dump streams;
  streams.tables.push_back(Streams(false));
  ok &= Save(dir, "streams.dmp", streams);

  Dump old_writer;
  old_writer.tables.push_back(Streams(true));
  old_writer.tables.push_back(MultiRow("AFTER", 2));
  ok &= Save(dir, "streams_empty_last.dmp", old_writer);

  Dump checked;
  checked.extension = true;
  checked.tables.push_back(MultiRow("EMP", 5));
  checked.tables.push_back(Streams(false));
  checked.deferred = {"create index \"EMP_D\" on \"EMP\" (\"DAY\")"};
  ok &= Save(dir, "checksummed.dmp", checked);

  // a schema's other objects: every kind of statement an export writes
  Dump schema = checked;
  schema.tables[0].index_sql = {
      "ALTER TABLE \"EMP\" ADD CONSTRAINT \"EMP_U\" UNIQUE (\"DAY\")\n  USING INDEX  ENABLE",
      "ALTER TABLE \"EMP\" ADD CHECK (\"DAY\" > 0) DEFERRABLE INITIALLY DEFERRED ENABLE",
      "ALTER TABLE \"EMP\" MODIFY (\"DAY\" CONSTRAINT \"EMP_NN\" NOT NULL ENABLE)",
      "COMMENT ON COLUMN \"EMP\".\"DAY\" IS 'it''s the day'",
      "ALTER TABLE \"EMP\" MODIFY (\"DAY\" GENERATED ALWAYS AS IDENTITY (START WITH LIMIT VALUE))"};
  schema.deferred = {
      "CREATE SEQUENCE  \"S\"  MINVALUE 1 INCREMENT BY 1 START WITH 21 CACHE 20 NOORDER  NOCYCLE ",
      "ALTER TABLE \"EMP\" ADD FOREIGN KEY (\"DAY\")\n\t  REFERENCES \"OTHER\".\"P\" (\"ID\") ENABLE",
      "CREATE OR REPLACE FORCE EDITIONABLE VIEW \"V\" (\"DAY\") AS \n  SELECT day FROM emp -- all",
      "CREATE OR REPLACE EDITIONABLE SYNONYM \"SY\" FOR \"EMP\"",
      "CREATE OR REPLACE EDITIONABLE TRIGGER \"TR\" \nBEFORE INSERT ON emp FOR EACH ROW\nBEGIN\n  "
      ":new.day := q'[1]';\nEND;",
      "GRANT SELECT ON \"V\" TO PUBLIC"};
  ok &= Save(dir, "schema_objects.dmp", schema);

  Dump warned = checked;
  warned.version = 2;
  warned.warning_list = true;
  warned.warnings = {"Warning: table \"P\" not exported: partitioned tables are not carried."};
  ok &= Save(dir, "warnings.dmp", warned);

  // format 3: the trailer as typed records (a statement, a warning, an
  // optional record of a later kind); small enough for the fuzzer's inputs
  Dump records = checked;
  records.version = 3;
  records.records = true;
  records.deferred.push_back("CREATE OR REPLACE EDITIONABLE PACKAGE BODY \"PK\" AS\n" +
                             std::string(2000, ' ') + "\nEND;");
  records.warnings = {"Warning: trigger \"NT\" not exported: a trigger on NESTED."};
  records.extra = {{0x8009, "later", -1},
                   {4, GrantPayload(1, 1, "T", "BOB"), -1},
                   {5, CommentPayload("T", "ID", "it's a key"), -1}};
  ok &= Save(dir, "records.dmp", records);

  // format 3 with a table whose name does not fit the directory
  Dump long_named = records;
  long_named.long_tables.push_back(MultiRow(std::string(40, 'L'), 3));
  ok &= Save(dir, "long_named_table.dmp", long_named);

  Dump failed;
  failed.tables.push_back(MultiRow("A", 1));
  failed.zero_directory = true;
  ok &= Save(dir, "failed_export.dmp", failed);
  return ok ? 0 : 1;
}
