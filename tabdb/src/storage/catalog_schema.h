// catalog_schema.h - the SQLite tables that hold a database's catalog.
//
// Layout of a database file:
//   tab$meta          format tag and counters (object ids, LOB ids, versions)
//   tab$users         users (= schemas) with their password hashes
//   tab$objects       every named table and index, one namespace per schema
//   tab$tables        per table: its physical SQLite table "t<obj_id>" and
//                     recorded physical attributes
//   tab$columns       per column: declared type, dictionary values, and the
//                     physical column "c<intcol>" holding its values
//   tab$indexes, tab$ind_columns        indexes and their keys
//   tab$constraints, tab$cons_columns   primary keys, unique keys, checks
//                     and NOT NULL constraints (not_null = 1)
//   tab$lob, tab$lobdata                LOB and LONG values in chunks: a
//                     chunk's seq is the byte offset where it starts. Chunks
//                     are rows of a rowid table with a separate key index:
//                     a seek then compares small keys, where a key tree
//                     holding the chunks would read whole chunks to do so.
// Invariant: every user table has exactly one physical table, and a
// physical column per catalog column; values in it are Oracle byte forms
// (characters as UTF-8 text), LOB and LONG columns hold a tab$lob id.
#pragma once

namespace tabdb {

constexpr const char* kCatalogFormat = "tabdb 1";

constexpr const char* kCatalogSchema = R"sql(
BEGIN;
CREATE TABLE tab$meta(k TEXT PRIMARY KEY, v) WITHOUT ROWID;
INSERT INTO tab$meta VALUES('format', 'tabdb 1'), ('catalog_version', 1),
  ('next_obj', 1000), ('next_lob', 0), ('next_cons', 0), ('next_sysname', 1000);
CREATE TABLE tab$users(
  user_id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  salt BLOB NOT NULL,
  iterations INTEGER NOT NULL,
  hash BLOB NOT NULL,
  is_dba INTEGER NOT NULL DEFAULT 0,
  created REAL NOT NULL);
CREATE TABLE tab$objects(
  obj_id INTEGER PRIMARY KEY,
  owner TEXT NOT NULL,
  name TEXT NOT NULL,
  type TEXT NOT NULL,
  created REAL NOT NULL,
  UNIQUE(owner, name));
CREATE TABLE tab$tables(
  obj_id INTEGER PRIMARY KEY,
  phys TEXT NOT NULL,
  attrs TEXT NOT NULL DEFAULT '',
  lob_attrs TEXT NOT NULL DEFAULT '',
  has_rows INTEGER NOT NULL DEFAULT 0);
CREATE TABLE tab$columns(
  obj_id INTEGER NOT NULL,
  intcol INTEGER NOT NULL,
  name TEXT NOT NULL,
  column_id INTEGER,
  kind INTEGER NOT NULL,
  length INTEGER,
  char_sem INTEGER NOT NULL DEFAULT 0,
  prec INTEGER,
  scale INTEGER,
  data_type TEXT NOT NULL,
  data_length INTEGER NOT NULL,
  data_precision INTEGER,
  data_scale INTEGER,
  char_length INTEGER NOT NULL DEFAULT 0,
  char_used TEXT,
  nullable TEXT NOT NULL DEFAULT 'Y',
  not_null_cons TEXT,
  data_default TEXT,
  hidden TEXT NOT NULL DEFAULT 'NO',
  virtual TEXT NOT NULL DEFAULT 'NO',
  virtual_expr TEXT,
  PRIMARY KEY(obj_id, intcol)) WITHOUT ROWID;
CREATE TABLE tab$indexes(
  obj_id INTEGER PRIMARY KEY,
  table_obj INTEGER NOT NULL,
  uniqueness TEXT NOT NULL,
  index_type TEXT NOT NULL,
  attrs TEXT NOT NULL DEFAULT '',
  reverse INTEGER NOT NULL DEFAULT 0,
  phys TEXT,
  generated TEXT NOT NULL DEFAULT 'N');
CREATE TABLE tab$ind_columns(
  index_obj INTEGER NOT NULL,
  position INTEGER NOT NULL,
  intcol INTEGER NOT NULL,
  descend TEXT NOT NULL DEFAULT 'ASC',
  expr TEXT,
  PRIMARY KEY(index_obj, position)) WITHOUT ROWID;
CREATE TABLE tab$constraints(
  cons_id INTEGER PRIMARY KEY,
  owner TEXT NOT NULL,
  name TEXT NOT NULL,
  table_obj INTEGER NOT NULL,
  type TEXT NOT NULL,
  index_obj INTEGER,
  index_preexisting INTEGER NOT NULL DEFAULT 0,
  generated TEXT NOT NULL DEFAULT 'USER NAME',
  status TEXT NOT NULL DEFAULT 'ENABLED',
  search_condition TEXT,
  not_null INTEGER NOT NULL DEFAULT 0,
  UNIQUE(owner, name));
CREATE TABLE tab$cons_columns(
  cons_id INTEGER NOT NULL,
  position INTEGER NOT NULL,
  intcol INTEGER NOT NULL,
  PRIMARY KEY(cons_id, position)) WITHOUT ROWID;
CREATE TABLE tab$lob(
  lob_id INTEGER PRIMARY KEY,
  bytes INTEGER NOT NULL DEFAULT 0,
  units INTEGER NOT NULL DEFAULT 0,
  chunks INTEGER NOT NULL DEFAULT 0,
  last INTEGER NOT NULL DEFAULT 0);
CREATE TABLE tab$lobdata(
  lob_id INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(lob_id, seq));
COMMIT;
)sql";

// Catalog tables added after the first format; a file that lacks them gets
// them when it is opened (each statement is idempotent).
//   tab$sequences     sequences: options, the next value to hand out and
//                     the LAST_NUMBER the dictionary shows
constexpr const char* kCatalogAdditions = R"sql(
CREATE TABLE IF NOT EXISTS tab$sequences(
  obj_id INTEGER PRIMARY KEY,
  increment INTEGER NOT NULL,
  min_value INTEGER,
  max_value INTEGER,
  cycle INTEGER NOT NULL DEFAULT 0,
  ord INTEGER NOT NULL DEFAULT 0,
  cache INTEGER NOT NULL DEFAULT 20,
  next_value INTEGER NOT NULL,
  last_number INTEGER NOT NULL,
  generated INTEGER NOT NULL DEFAULT 0);
)sql";

// The table whose absence tells that kCatalogAdditions must run.
constexpr const char* kCatalogAdditionsProbe = "tab$sequences";

}  // namespace tabdb
