// catalog_schema.h - the SQLite tables that hold a database's catalog.
//
// Layout of a database file:
//   tab$meta          format tag and counters (object ids, LOB ids, versions)
//   tab$users         users (= schemas) with their password hashes
//   tab$objects       every named table and index; indexes have a namespace
//                     of their own in each schema (upgrade 12)
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

// Catalog changes made after the first format, applied in order. A file
// that lacks one gets it when it is opened: `applied` is a query that
// returns a row once the step has been applied, `sql` applies it (run in
// one transaction). A new database runs every step after kCatalogSchema.
// New steps are appended; a step, once released, never changes.
struct CatalogUpgrade {
  const char* applied;
  const char* sql;
};

// Upgrade 1:
//   tab$sequences     sequences: options, the next value to hand out and
//                     the LAST_NUMBER the dictionary shows
//   tab$privs         object privileges (who was granted what on which
//                     object, by whom, whether WITH GRANT OPTION), and with
//                     object id 0 roles and system privileges
// Upgrade 2: constraint states and foreign keys in tab$constraints:
//   r_cons_id         the referenced primary or unique key (type 'R')
//   delete_rule       NO ACTION, CASCADE or SET NULL (type 'R')
//   is_deferrable     1 for DEFERRABLE
//   is_deferred       1 for INITIALLY DEFERRED
//   validated         1 for VALIDATED, 0 for NOT VALIDATED (NOVALIDATE)
// Upgrade 3: views and synonyms (their tab$objects rows have type 'VIEW' or
// 'SYNONYM'; a public synonym has owner 'PUBLIC'):
//   tab$views         a view's query as written, the schema its names are
//                     resolved in, its options and whether it compiled
//                     (status VALID / INVALID); its columns are tab$columns
//                     rows of the view's object id
//   tab$synonyms      the object a synonym stands for
// Upgrade 4:
//   tab$comments      COMMENT ON TABLE (intcol 0) and COLUMN texts, keyed by
//                     object id and internal column number, so that they
//                     follow renames; dropping the object or the column
//                     removes them
//   tab$code          per unit of stored code (whose source is in
//                     tab$source): its object id, creation and last DDL time
constexpr CatalogUpgrade kCatalogUpgrades[] = {
    {"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'tab$privs'", R"sql(
BEGIN;
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
CREATE TABLE IF NOT EXISTS tab$privs(
  obj_id INTEGER NOT NULL,
  grantee TEXT NOT NULL,
  privilege TEXT NOT NULL,
  grantor TEXT NOT NULL,
  grantable INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(obj_id, grantee, privilege, grantor)) WITHOUT ROWID;
COMMIT;
)sql"},
    {"SELECT 1 FROM pragma_table_info('tab$constraints') WHERE name = 'validated'", R"sql(
BEGIN;
ALTER TABLE tab$constraints ADD COLUMN r_cons_id INTEGER;
ALTER TABLE tab$constraints ADD COLUMN delete_rule TEXT NOT NULL DEFAULT 'NO ACTION';
ALTER TABLE tab$constraints ADD COLUMN is_deferrable INTEGER NOT NULL DEFAULT 0;
ALTER TABLE tab$constraints ADD COLUMN is_deferred INTEGER NOT NULL DEFAULT 0;
ALTER TABLE tab$constraints ADD COLUMN validated INTEGER NOT NULL DEFAULT 1;
CREATE INDEX IF NOT EXISTS tab$constraints_r ON tab$constraints(r_cons_id);
COMMIT;
)sql"},
    {"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'tab$synonyms'", R"sql(
BEGIN;
CREATE TABLE IF NOT EXISTS tab$views(
  obj_id INTEGER PRIMARY KEY,
  text TEXT NOT NULL,
  parse_schema TEXT NOT NULL,
  aliased INTEGER NOT NULL DEFAULT 0,
  read_only INTEGER NOT NULL DEFAULT 0,
  check_option INTEGER NOT NULL DEFAULT 0,
  cons_name TEXT,
  editionable INTEGER NOT NULL DEFAULT 1,
  status TEXT NOT NULL DEFAULT 'VALID');
CREATE TABLE IF NOT EXISTS tab$synonyms(
  obj_id INTEGER PRIMARY KEY,
  table_owner TEXT NOT NULL,
  table_name TEXT NOT NULL,
  db_link TEXT);
COMMIT;
)sql"},
    {"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'tab$comments'", R"sql(
BEGIN;
CREATE TABLE IF NOT EXISTS tab$comments(
  obj_id INTEGER NOT NULL,
  intcol INTEGER NOT NULL,
  text TEXT NOT NULL,
  PRIMARY KEY(obj_id, intcol)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS tab$code(
  owner TEXT NOT NULL,
  name TEXT NOT NULL,
  type TEXT NOT NULL,
  obj_id INTEGER NOT NULL,
  created REAL NOT NULL,
  last_ddl REAL NOT NULL,
  PRIMARY KEY(owner, name, type)) WITHOUT ROWID;
COMMIT;
)sql"},
    // Upgrade 5: identity columns in tab$columns: ident_kind 1 ALWAYS, 2 BY DEFAULT,
    // 3 BY DEFAULT ON NULL (0: none), ident_seq the object id of its
    // sequence, ident_start the START WITH it was given.
    {"SELECT 1 FROM pragma_table_info('tab$columns') WHERE name = 'ident_kind'", R"sql(
BEGIN;
ALTER TABLE tab$columns ADD COLUMN ident_kind INTEGER NOT NULL DEFAULT 0;
ALTER TABLE tab$columns ADD COLUMN ident_seq INTEGER;
ALTER TABLE tab$columns ADD COLUMN ident_start INTEGER;
COMMIT;
)sql"},
    // Upgrade 6: tab$source, the lines of stored code, made when a database
    // is opened rather than by the first dictionary read that needs it: a
    // session that holds a read-only snapshot cannot create it then.
    {"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'tab$source'", R"sql(
CREATE TABLE IF NOT EXISTS tab$source(owner TEXT NOT NULL, name TEXT NOT NULL,
  type TEXT NOT NULL, line INTEGER NOT NULL, text TEXT NOT NULL,
  enabled INTEGER NOT NULL DEFAULT 1, PRIMARY KEY(owner, name, type, line)) WITHOUT ROWID;
)sql"},
    // Upgrade 7: indexes for the lookups of one table's constraints and
    // indexes, and of the constraint an index enforces, so that each costs
    // a seek whatever the number of objects rather than a scan of all.
    {"SELECT 1 FROM sqlite_schema WHERE type = 'index' AND name = 'tab$constraints_table'", R"sql(
BEGIN;
CREATE INDEX IF NOT EXISTS tab$constraints_table ON tab$constraints(table_obj);
CREATE INDEX IF NOT EXISTS tab$constraints_index ON tab$constraints(index_obj);
CREATE INDEX IF NOT EXISTS tab$indexes_table ON tab$indexes(table_obj);
COMMIT;
)sql"},
    // Upgrade 8: partitioned and index-organized tables.
    //   tab$part_objs   per partitioned table or partitioned index: the
    //                   method, the key's internal column numbers (comma-
    //                   separated), subpartitioning, INTERVAL text as typed,
    //                   the default subpartition count, ROW MOVEMENT;
    //                   locality NULL for a table, LOCAL or GLOBAL for an index
    //   tab$partitions  per partition (sub_seq 0) and subpartition (sub_seq
    //                   1..) of a table or global index, in bound order by
    //                   part_seq; part_seq 0 holds the subpartition template.
    //                   `bound` is the bound's items as SQL literals joined
    //                   by char(31); high_value the text the dictionary shows
    //                   (bound_key: upgrade 10)
    //   tab$iot         per index-organized table: PCTTHRESHOLD, INCLUDING
    //                   (internal column number), OVERFLOW, key compression
    {"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'tab$iot'", R"sql(
BEGIN;
CREATE TABLE IF NOT EXISTS tab$part_objs(
  obj_id INTEGER PRIMARY KEY,
  table_obj INTEGER NOT NULL,
  locality TEXT,
  method TEXT NOT NULL,
  key_cols TEXT NOT NULL,
  submethod TEXT NOT NULL DEFAULT 'NONE',
  subkey_cols TEXT NOT NULL DEFAULT '',
  interval TEXT,
  autolist INTEGER NOT NULL DEFAULT 0,
  def_subparts INTEGER NOT NULL DEFAULT 0,
  row_movement INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS tab$part_objs_t ON tab$part_objs(table_obj);
CREATE TABLE IF NOT EXISTS tab$partitions(
  obj_id INTEGER NOT NULL,
  part_seq INTEGER NOT NULL,
  sub_seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  high_value TEXT,
  bound TEXT NOT NULL DEFAULT '',
  is_interval INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(obj_id, part_seq, sub_seq)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS tab$iot(
  obj_id INTEGER PRIMARY KEY,
  pctthreshold INTEGER NOT NULL DEFAULT 50,
  including INTEGER,
  overflow INTEGER NOT NULL DEFAULT 0,
  compress INTEGER NOT NULL DEFAULT -1);
COMMIT;
)sql"},
    // Upgrade 9: materialized views and their logs.
    //   tab$mviews      a materialized view (its own object id, not in
    //                   tab$objects, whose name its container table holds):
    //                   the container's id, the query as written, its
    //                   column aliases, build and refresh options, whether
    //                   and when it was last refreshed
    //   tab$mview_logs  a log on a master table: what it records
    {"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'tab$mviews'", R"sql(
BEGIN;
CREATE TABLE IF NOT EXISTS tab$mviews(
  obj_id INTEGER PRIMARY KEY,
  owner TEXT NOT NULL,
  name TEXT NOT NULL,
  table_obj INTEGER NOT NULL UNIQUE,
  query TEXT NOT NULL,
  aliases TEXT NOT NULL DEFAULT '',
  build TEXT NOT NULL,
  refresh_method TEXT NOT NULL,
  refresh_mode TEXT NOT NULL,
  start_with TEXT,
  next_date TEXT,
  with_rowid INTEGER NOT NULL DEFAULT 0,
  rewrite INTEGER NOT NULL DEFAULT 0,
  updatable INTEGER NOT NULL DEFAULT 0,
  created REAL NOT NULL,
  last_refresh REAL,
  UNIQUE(owner, name));
CREATE TABLE IF NOT EXISTS tab$mview_logs(
  master_obj INTEGER PRIMARY KEY,
  obj_id INTEGER NOT NULL,
  rowids INTEGER NOT NULL DEFAULT 0,
  primary_key INTEGER NOT NULL DEFAULT 0,
  object_id INTEGER NOT NULL DEFAULT 0,
  sequence INTEGER NOT NULL DEFAULT 0,
  filter_columns TEXT NOT NULL DEFAULT '',
  new_values INTEGER NOT NULL DEFAULT 0,
  created REAL NOT NULL);
COMMIT;
)sql"},
    // Upgrade 10: tab$partitions.bound_key, the sort key of the bound of a
    // partition of an interval table (on its subpartitions too), NULL
    // elsewhere: an interval table's partitions are in bound_key order,
    // part_seq only tells them apart, so that adding one writes its own rows
    // alone. Rows written before get their keys when the table next gains an
    // interval partition; until then part_seq orders them, as it did.
    {"SELECT 1 FROM pragma_table_info('tab$partitions') WHERE name = 'bound_key'", R"sql(
BEGIN;
ALTER TABLE tab$partitions ADD COLUMN bound_key BLOB;
CREATE INDEX IF NOT EXISTS tab$partitions_key ON tab$partitions(obj_id, is_interval, bound_key);
COMMIT;
)sql"},
    // Upgrade 11: stored units that run.
    //   tab$code.status  VALID or INVALID (compiled with errors, or
    //                    something it uses changed since)
    //   tab$code.stamp   changes with every compilation of the unit, so that
    //                    a session can tell that its compiled copy (and a
    //                    package's state) is out of date
    //   tab$errors       the compilation errors of a unit (USER_ERRORS)
    //   tab$dependencies what a unit uses (USER_DEPENDENCIES); the index on
    //                    the referenced object finds the dependents to
    //                    invalidate when it changes
    {"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'tab$dependencies'", R"sql(
BEGIN;
ALTER TABLE tab$code ADD COLUMN status TEXT NOT NULL DEFAULT 'VALID';
ALTER TABLE tab$code ADD COLUMN stamp INTEGER NOT NULL DEFAULT 0;
CREATE TABLE IF NOT EXISTS tab$errors(
  owner TEXT NOT NULL,
  name TEXT NOT NULL,
  type TEXT NOT NULL,
  sequence INTEGER NOT NULL,
  line INTEGER NOT NULL,
  position INTEGER NOT NULL,
  text TEXT NOT NULL,
  attribute TEXT NOT NULL DEFAULT 'ERROR',
  message_number INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(owner, name, type, sequence)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS tab$dependencies(
  owner TEXT NOT NULL,
  name TEXT NOT NULL,
  type TEXT NOT NULL,
  ref_owner TEXT NOT NULL,
  ref_name TEXT NOT NULL,
  ref_type TEXT NOT NULL,
  PRIMARY KEY(owner, name, type, ref_owner, ref_name, ref_type)) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS tab$dependencies_ref ON tab$dependencies(ref_owner, ref_name);
COMMIT;
)sql"},
    // Upgrade 12: SQL of schema scripts.
    //   tab$columns.default_on_null  1 for DEFAULT ON NULL: an explicit NULL
    //                    inserted takes the default
    //   tab$tables.temp_rows         global temporary tables: 'DELETE' or
    //                    'PRESERVE' (ON COMMIT ... ROWS), NULL for others
    //   tab$dimensions   the text of CREATE DIMENSION, kept as written
    //   tab$objects      unique by (owner, name, type) rather than (owner,
    //                    name): indexes are a namespace of their own, apart
    //                    from tables, views, sequences and synonyms (the
    //                    catalog checks each namespace when it adds a name);
    //                    sqlite_stat1 tells the planner that owner and name
    //                    are as good as unique, as they were before
    {"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'tab$dimensions'", R"sql(
BEGIN;
ALTER TABLE tab$columns ADD COLUMN default_on_null INTEGER NOT NULL DEFAULT 0;
ALTER TABLE tab$tables ADD COLUMN temp_rows TEXT;
CREATE TABLE IF NOT EXISTS tab$dimensions(
  obj_id INTEGER PRIMARY KEY,
  text TEXT NOT NULL);
CREATE TABLE tab$objects_ns(
  obj_id INTEGER PRIMARY KEY,
  owner TEXT NOT NULL,
  name TEXT NOT NULL,
  type TEXT NOT NULL,
  created REAL NOT NULL,
  UNIQUE(owner, name, type));
INSERT INTO tab$objects_ns SELECT obj_id, owner, name, type, created FROM tab$objects;
DROP TABLE tab$objects;
ALTER TABLE tab$objects_ns RENAME TO tab$objects;
ANALYZE tab$objects;
DELETE FROM sqlite_stat1 WHERE tbl = 'tab$objects';
INSERT INTO sqlite_stat1(tbl, idx, stat) VALUES('tab$objects', 'sqlite_autoindex_tab$objects_1', '100000 100 1 1');
COMMIT;
)sql"},
};

}  // namespace tabdb
