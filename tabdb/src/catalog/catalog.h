// catalog.h - the schema objects of a database as the engine sees them.
//
// Reads tables, columns, indexes and users from the catalog tables of
// storage/catalog_schema.h, resolves names the way Oracle does (current
// schema for unqualified names, ORA-00942 for what does not exist or what
// the session may not see), and runs the DDL statements that change the
// catalog. Every DDL commits the session's open transaction before it runs
// and its own work after it, as in Oracle.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"
#include "values/types.h"

namespace tabdb {

struct ColumnInfo {
  int intcol = 0;            // internal column number; physical column "c<intcol>"
  std::string name;
  int column_id = 0;         // COLUMN_ID; 0 for hidden columns
  TypeDesc type;
  bool nullable = true;      // false for NOT NULL and primary-key columns
  std::string not_null_name; // name of a named NOT NULL constraint, else empty
  std::string data_default;  // DEFAULT text as written, empty when none
  bool hidden = false;       // function-based index columns
  bool is_virtual = false;   // hidden index columns and user virtual columns
  std::string virtual_expr;  // expression text of a virtual column
  int identity = 0;          // sql::IdentitySpec kind of an identity column, else 0
  int64_t identity_seq = 0;  // object id of the identity column's sequence
  int64_t identity_start = 1;  // the START WITH the identity was given
  bool default_on_null = false;  // DEFAULT ON NULL: an inserted NULL takes the default

  std::string phys() const { return "c" + std::to_string(intcol); }
  bool stored() const { return !is_virtual; }
};

struct TableInfo {
  int64_t obj_id = 0;
  std::string owner;
  std::string name;
  std::string phys;                 // physical SQLite table "t<obj_id>"
  std::vector<ColumnInfo> columns;  // in intcol order (hidden columns last)
  bool has_rows = false;            // tab$tables.has_rows: a row was ever inserted
  std::string temp_rows;            // global temporary table: DELETE or PRESERVE (ON COMMIT)

  const ColumnInfo* FindColumn(const std::string& name) const;
  // Columns an INSERT without a column list fills: visible, stored, in
  // COLUMN_ID order.
  std::vector<const ColumnInfo*> InsertColumns() const;
};

struct IndexInfo {
  int64_t obj_id = 0;
  std::string owner;
  std::string name;
  int64_t table_obj = 0;
  bool unique = false;
  std::string index_type;           // NORMAL, BITMAP, FUNCTION-BASED NORMAL, ...
  std::string phys;                 // SQLite index enforcing uniqueness, or empty
  std::vector<int> intcols;         // key columns (hidden columns for expressions)
  // The primary key or unique constraint this index enforces (empty when
  // none): ORA-00001 names the constraint rather than the index then.
  std::string constraint_owner;
  std::string constraint_name;
};

// Looks up a user; *found tells whether it exists.
Status FindUser(Session& s, const std::string& name, UserInfo* out, bool* found);

// Whether `owner` keeps a procedure, function, package or type `name`
// (stored code is kept as source, not run).
Status FindStoredCode(Session& s, const std::string& owner, const std::string& name, bool* found);

// Loads a table by owner and exact name. ORA-00942 when it does not exist.
// Does not check privileges.
Status LoadTable(Session& s, const std::string& owner, const std::string& name, TableInfo* out);

// Resolves [schema.]table for a query: an unqualified name is looked up in
// the current schema; another schema's table needs SELECT on it (see
// ResolveTableFor).
Status ResolveTable(Session& s, const sql::NameList& name, TableInfo* out);

// Resolves [schema.]table for a statement that needs `privilege` on it
// (SELECT, INSERT, UPDATE, DELETE, INDEX, ...). Another schema's table is
// reached through a grant to the user or PUBLIC: none at all gives
// ORA-00942 as for a missing table, another privilege only ORA-01031.
Status ResolveTableFor(Session& s, const sql::NameList& name, const char* privilege,
                       TableInfo* out);

// Unique indexes of a table with their key columns (for unique-violation
// messages and constraint checks): the indexes that a SQLite unique index
// `phys` enforces, i.e. unique indexes over plain columns and the indexes
// of enabled primary/unique keys. For the index of a key, `intcols` are the
// key's columns (a key may use a non-unique index whose leading columns
// are the key). Unique function-based indexes are not enforced and not
// listed.
Status LoadUniqueIndexes(Session& s, int64_t table_obj, std::vector<IndexInfo>* out);

// An enabled CHECK constraint of a table (NOT NULL ones are enforced
// through the column's nullability): what DML evaluates on each row.
struct CheckInfo {
  std::string owner;
  std::string name;
  std::string condition;  // as written
  int64_t cons_id = 0;
  bool deferrable = false;
  bool initially_deferred = false;
  std::vector<int> intcols;  // the columns the condition reads
};
// The enabled CHECK constraints of a table, in creation order.
Status LoadCheckConstraints(Session& s, int64_t table_obj, std::vector<CheckInfo>* out);
// Whether some row of `table` makes a CHECK condition FALSE. The engine,
// which compiles expressions and lies above the catalog, provides it;
// ALTER TABLE ... ADD CHECK validates the rows through it.
using CheckRowsFn = Status (*)(Session& s, const TableInfo& table, const std::string& condition,
                               bool* violated);
void SetCheckRowsFn(CheckRowsFn fn);

// The Oracle type of an expression over the columns of `table`, as the
// expression compiler infers it. The compiler lies above the catalog; the
// DDL that needs it (virtual columns, function-based indexes) is handed it
// by the caller.
using ExprTypeFn = Status (*)(Session& s, const TableInfo& table, const sql::Expr& e,
                              TypeDesc* out);

// Sets every row's value of a column just added to its DEFAULT, as DML
// evaluates it. The engine provides it for ALTER TABLE ... ADD.
using FillColumnFn = Status (*)(Session& s, const TableInfo& table, const ColumnInfo& column);
void SetFillColumnFn(FillColumnFn fn);

// Runs a DDL statement or a user/privilege statement: CREATE/DROP TABLE,
// TRUNCATE TABLE, CREATE/DROP INDEX, ALTER TABLE ... ADD constraint,
// CREATE/ALTER/DROP USER, GRANT, REVOKE. `infer_type` types the
// expressions of virtual columns and index keys.
Status ExecuteDdl(Session& s, const sql::Statement& st, ExprTypeFn infer_type);

// A foreign key as DML enforces it: child columns paired, in the order of
// the referenced key's columns, with the parent's.
struct ForeignKeyInfo {
  int64_t cons_id = 0;
  std::string owner;
  std::string name;
  int64_t child_obj = 0;
  std::string child_phys;
  std::vector<int> child_cols;
  int64_t parent_obj = 0;
  std::string parent_phys;
  std::vector<int> parent_cols;
  std::string delete_rule;  // NO ACTION, CASCADE, SET NULL
  bool enabled = true;
  bool validated = true;
  bool deferrable = false;
  bool initially_deferred = false;
};
// The foreign keys of a child table, or those that reference a key of a
// parent table (`referencing`), in creation order; only enabled ones
// unless `all`.
Status LoadForeignKeys(Session& s, int64_t table_obj, bool referencing, bool all,
                       std::vector<ForeignKeyInfo>* out);
// The condition over a child row named `child` that is TRUE when the row
// breaks the foreign key: every key column set and no parent row has the
// key. The parent's key index makes it one probe.
std::string OrphanCondition(const ForeignKeyInfo& fk, const std::string& child);
// A table by object id (no privilege check).
Status LoadTableByObj(Session& s, int64_t obj_id, TableInfo* out);
// A CHECK or foreign key constraint by name, for SET CONSTRAINTS: its id
// and whether it is DEFERRABLE (*found false when there is none).
Status FindDeferrableConstraint(Session& s, const std::string& owner, const std::string& name,
                                int64_t* cons_id, bool* deferrable, bool* found);

// DBMS_METADATA.GET_DDL(object_type, name, schema) for TABLE, INDEX and
// CONSTRAINT, shaped exactly as Oracle 19c shapes it under the session's
// transform parameters. ORA-31603 when the object does not exist or the
// session may not see it; ORA-31600 for an unknown object type.
Status GetDdl(Session& s, const std::string& object_type, const std::string& name,
              const std::string& schema, std::string* out);

// The names of the schema's objects of a DBMS_METADATA browsing context
// (TABLE, INDEX, CONSTRAINT or REF_CONSTRAINT; the last three also by
// their table, `base` when not empty), in the order FETCH_CLOB gives them:
// by name. Empty when the session may not see the schema.
Status ListMetadataObjects(Session& s, const std::string& type, const std::string& schema,
                           const std::string& base, std::vector<std::string>* out);

// LOCK TABLE: every table (or view, also through a synonym) must exist and
// be visible to the session (ORA-00942 otherwise); a mode other than ROW SHARE takes the database's
// write transaction, held until the session commits or rolls back.
Status LockTables(Session& s, const sql::LockTable& lock);

// DBMS_METADATA.GET_DEPENDENT_DDL(object_type, table, schema) for
// CONSTRAINT, REF_CONSTRAINT, INDEX and COMMENT: every such object of the
// table, one statement after the other in one text, shaped as Oracle 19c
// shapes them. ORA-31608 when there is none (or the table is missing or
// not the session's to see); ORA-31600 for other types.
Status GetDependentDdl(Session& s, const std::string& object_type, const std::string& base_name,
                       const std::string& base_schema, std::string* out);

// ---- views and synonyms (ddl_view.cpp) ------------------------------------

// A view as stored: its query as written and the schema its unqualified
// names are resolved in. Its columns are recomputed from the query each
// time it is used; `columns` are the names given in CREATE VIEW (aliased)
// or derived then.
struct ViewInfo {
  int64_t obj_id = 0;
  std::string owner;
  std::string name;
  std::string text;
  std::string parse_schema;
  bool aliased = false;
  bool read_only = false;
  bool check_option = false;
  bool valid = true;
  std::vector<std::string> columns;
  std::vector<bool> nullable;  // per column, as recorded
};

// What a name in a statement stands for once synonyms are followed: an
// unqualified name is an object of the current schema (a private synonym
// is one), else a public synonym. ORA-00942 when there is none, ORA-00980
// when a synonym leads to nothing, ORA-01775 for a loop of synonyms.
// Does not check privileges.
struct ResolvedName {
  int64_t obj_id = 0;
  std::string owner;
  std::string name;
  std::string type;  // TABLE, VIEW, SEQUENCE, ...
};
Status ResolveName(Session& s, const sql::NameList& name, ResolvedName* out);

// Resolves the FROM item of a query: a table or a view (through synonyms),
// with SELECT on it when it is another schema's. *is_view tells which of
// `table` and `view` was filled.
Status ResolveQuerySource(Session& s, const sql::NameList& name, TableInfo* table, ViewInfo* view,
                          bool* is_view);

// Loads a view by object id.
Status LoadView(Session& s, int64_t obj_id, ViewInfo* out);
// An INVALID view whose query compiled on use is recorded VALID again,
// with its columns, in a short write transaction of its own (as Oracle
// recompiles an invalid view when it is used). The caller makes sure the
// session may write now.
Status RevalidateView(Session& s, int64_t obj_id);

// The columns of a view's query (names as the query gives them, types,
// and NOT NULL where a column is a NOT NULL column of a table), compiled in
// the schema and with the rights of `owner`. The compiler lies above the
// catalog; CREATE VIEW is handed it through this setter.
using DescribeViewFn = Status (*)(Session& s, const std::string& owner, const sql::Select& q,
                                  std::vector<ColumnInfo>* cols);
void SetDescribeViewFn(DescribeViewFn fn);

// DBMS_METADATA.GET_DDL text of a view or a synonym (`owner` PUBLIC for a
// public synonym); *found is false when there is no such object.
Status ViewDdlText(Session& s, const std::string& owner, const std::string& name, std::string* out,
                   bool* found);
Status SynonymDdlText(Session& s, const std::string& owner, const std::string& name,
                      std::string* out, bool* found);
// DBMS_METADATA.GET_DDL text of a dimension; *found is false when there is
// none.
Status DimensionDdlText(Session& s, const std::string& owner, const std::string& name,
                        std::string* out, bool* found);

}  // namespace tabdb
