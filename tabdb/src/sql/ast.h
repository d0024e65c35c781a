// ast.h - the syntax tree of the Oracle SQL subset the database accepts.
//
// The parser (parser.h) builds these nodes from statement text; the
// compiler and the DDL executor read them. Nodes own their children through
// unique_ptr; names are already resolved the way Oracle resolves them
// (unquoted identifiers upper-cased, quoted ones exact).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql/ast_partition.h"
#include "values/types.h"

namespace tabdb {
namespace sql {

// Byte range [begin, end) of a construct in the statement text.
struct Span {
  uint32_t begin = 0;
  uint32_t end = 0;
};

// An identifier. `text` is upper-cased when the identifier was not quoted.
struct Name {
  std::string text;
  bool quoted = false;
};

// schema.object or object (one or two parts); columns may have three.
using NameList = std::vector<Name>;

enum class ExprKind {
  kLiteral,   // lit, text
  kBind,      // bind_index, bind_name
  kColumn,    // names: [schema.][table.]column
  kUnary,     // op (kNeg, kPlus, kNot), args[0]
  kBinary,    // op, args[0], args[1]
  kFunction,  // names (e.g. {"UPPER"} or {"DBMS_METADATA","GET_DDL"}), args, distinct, star
  kCase,      // has_operand: args[0] is the operand; then WHEN/THEN pairs; has_else: last arg
  kBetween,   // args[0] BETWEEN args[1] AND args[2]; negated
  kIn,        // args[0] IN (args[1..]); negated
  kLike,      // args[0] LIKE args[1] [ESCAPE args[2]]; negated
  kIsNull,    // args[0] IS [NOT] NULL; negated
  kExtract,   // EXTRACT(text FROM args[0]); text is YEAR, MONTH, DAY, HOUR, MINUTE, SECOND, TIMEZONE_HOUR...
  kCast,      // CAST(args[0] AS cast_type)
  kPseudo,    // text: SYSDATE, SYSTIMESTAMP, USER, LEVEL, ROWNUM, CURRENT_DATE, ...
  kSubquery,  // (SELECT ...) as a value: subquery
  kExists,    // EXISTS (SELECT ...): subquery
  kQuantified,  // args[0] op ANY|SOME|ALL (args[1..] or subquery); quantifier_all for ALL
};

enum class Op {
  kNone,
  kNeg,
  kPlus,
  kNot,
  kAdd,
  kSub,
  kMul,
  kDiv,
  kConcat,
  kEq,
  kNe,
  kLt,
  kLe,
  kGt,
  kGe,
  kAnd,
  kOr,
};

enum class LiteralKind {
  kNull,
  kString,        // 'text' (quotes removed, '' unescaped) or q'[...]'
  kNString,       // N'text'
  kNumber,        // text as written: 12, 1.5, .5, 1e10
  kBinaryFloat,   // 1.5f (text without the suffix)
  kBinaryDouble,  // 1.5d (text without the suffix)
  kDate,          // DATE 'text'
  kTimestamp,     // TIMESTAMP 'text' (a zone inside the text makes it WITH TIME ZONE)
  kIntervalYM,    // INTERVAL 'text' YEAR[(p)] [TO MONTH] | MONTH[(p)]
  kIntervalDS,    // INTERVAL 'text' DAY|HOUR|MINUTE|SECOND[(p[,s])] [TO HOUR|MINUTE|SECOND[(s)]]
  kBoolean,       // TRUE / FALSE (PL/SQL arguments)
};

enum class IntervalUnit { kYear, kMonth, kDay, kHour, kMinute, kSecond };

struct Select;
struct WindowSpec;

struct Expr {
  ExprKind kind = ExprKind::kLiteral;
  Span span;

  // kLiteral
  LiteralKind lit = LiteralKind::kNull;
  std::string text;  // literal text; also EXTRACT field and pseudo-column name
  // interval literals: qualifier
  IntervalUnit from_unit = IntervalUnit::kYear;
  IntervalUnit to_unit = IntervalUnit::kYear;
  int leading_precision = kUnset;
  int fractional_precision = kUnset;

  // kBind: position in order of appearance (1-based) and name as written
  // without the colon ("1", "NAME"; upper-cased unless quoted).
  int bind_index = 0;
  std::string bind_name;

  // kColumn and kFunction
  NameList names;

  // kUnary, kBinary
  Op op = Op::kNone;

  std::vector<std::unique_ptr<Expr>> args;
  // kFunction: the names of arguments given as name => value, "" for the
  // positional ones (empty when every argument is positional).
  std::vector<std::string> arg_names;

  bool distinct = false;     // COUNT(DISTINCT x)
  bool star = false;         // COUNT(*)
  bool negated = false;      // NOT BETWEEN / NOT IN / NOT LIKE / IS NOT NULL
  bool has_operand = false;  // simple CASE
  bool has_else = false;     // CASE ... ELSE

  TypeDesc cast_type;        // kCast

  // kSubquery, kExists, and kIn over a query (args[0] IN (subquery)).
  std::shared_ptr<Select> subquery;

  bool outer_join = false;      // kColumn written with the (+) outer-join marker
  bool quantifier_all = false;  // kQuantified: ALL (else ANY / SOME)

  // kFunction JSON_VALUE, JSON_QUERY, JSON_EXISTS, JSON_OBJECT, JSON_ARRAY,
  // JSON_ARRAYAGG: `text` holds their clauses as words ("RETURNING",
  // "ERROR=NULL|ERROR|DEFAULT" with the default the last argument,
  // "WRAPPER", "ABSENT", "NULLS"); cast_type is the RETURNING type.
  // kFunction with OVER (...): an analytic function.
  std::shared_ptr<WindowSpec> over;
};

using ExprPtr = std::unique_ptr<Expr>;

// ---- queries and DML ----------------------------------------------------

struct TableRef {
  NameList name;  // [schema.]table; DUAL is {"DUAL"}
  Name alias;
  bool has_alias = false;
  std::shared_ptr<struct Select> subquery;  // inline view: FROM (SELECT ...) [alias]
  std::string partition;     // t PARTITION (p) / SUBPARTITION (p)
  bool subpartition = false;
};

struct SelectItem {
  ExprPtr expr;        // null for * and t.*
  bool star = false;
  NameList star_qualifier;  // t.* -> {"T"}
  Name alias;
  bool has_alias = false;
  Span span;           // the item as written (column heading when no alias)
};

struct OrderItem {
  ExprPtr expr;        // a column position is a kLiteral number
  bool desc = false;
  int nulls = 0;       // 0 default, 1 NULLS FIRST, 2 NULLS LAST
};

// OVER ([PARTITION BY e, ...] [ORDER BY ... [ROWS | RANGE frame]]) of an
// analytic function. `frame` is the frame clause in the form both Oracle
// and SQLite read ("ROWS BETWEEN 2 PRECEDING AND CURRENT ROW"), empty
// when none was given.
struct WindowSpec {
  std::vector<ExprPtr> partition_by;
  std::vector<OrderItem> order_by;
  std::string frame;
};

// How a FROM item after the first joins the items before it.
enum class JoinKind { kComma, kInner, kLeft, kRight, kFull, kCross };

struct JoinItem {
  JoinKind kind = JoinKind::kComma;
  TableRef table;
  ExprPtr on;                        // ON condition (kInner, kLeft, kRight, kFull)
  std::vector<Name> using_columns;   // USING (c, ...)
  bool natural = false;              // NATURAL [INNER|LEFT|RIGHT|FULL] JOIN
};

// How a branch of a compound query combines with the branches before it.
enum class SetOp { kUnion, kUnionAll, kIntersect, kMinus };

struct SetBranch {
  SetOp op = SetOp::kUnion;  // ignored for the first branch
  std::shared_ptr<Select> query;
};

// WITH name [(columns)] AS (query): a query named for the statement.
struct WithItem {
  Name name;
  std::vector<Name> columns;
  std::shared_ptr<Select> query;
};

struct Select {
  bool distinct = false;
  std::vector<SelectItem> items;
  TableRef from;
  ExprPtr where;
  std::vector<ExprPtr> group_by;
  ExprPtr having;
  ExprPtr connect_by;  // CONNECT BY condition (row generator: LEVEL <= n)
  std::vector<OrderItem> order_by;
  bool for_update = false;
  std::vector<JoinItem> joins;  // FROM items after `from`, in order
  ExprPtr offset;               // OFFSET n ROWS
  ExprPtr fetch_first;          // FETCH FIRST|NEXT n ROWS ONLY
  // A compound query (UNION, INTERSECT, MINUS): its branches, combined left
  // to right; order_by, offset and fetch_first then apply to the whole and
  // the fields of a single query block are unused.
  std::vector<SetBranch> branches;
  std::vector<WithItem> with;   // WITH ... before the query
};

struct Insert {
  TableRef table;
  std::vector<Name> columns;             // empty: all columns in order
  std::vector<ExprPtr> values;           // VALUES (...)
  std::unique_ptr<Select> select;        // INSERT ... SELECT
  std::vector<ExprPtr> returning;        // RETURNING expr, ...
  std::vector<ExprPtr> into;             // INTO :b, ... (kBind)
  std::vector<std::vector<ExprPtr>> more_values;  // VALUES (...), (...): the rows after the first
  // INSERT ALL | FIRST: one INSERT ... SELECT per INTO clause, run in
  // order as one statement; the fields above are then unused.
  std::vector<std::shared_ptr<struct Statement>> parts;
};

struct Assignment {
  Name column;
  ExprPtr value;
};

struct Update {
  TableRef table;
  std::vector<Assignment> sets;
  ExprPtr where;
};

struct Delete {
  TableRef table;
  ExprPtr where;
};

// ---- physical clauses (recorded so that DDL text can give them back) ---

constexpr int64_t kNoValue = -1;

struct StorageClause {
  int64_t initial = kNoValue;
  int64_t next = kNoValue;
  int64_t minextents = kNoValue;
  int64_t maxextents = kNoValue;   // UNLIMITED is recorded as 2147483645
  int64_t pctincrease = kNoValue;
  int64_t freelists = kNoValue;
  int64_t freelist_groups = kNoValue;
  std::string buffer_pool;         // DEFAULT, KEEP, RECYCLE; empty when absent
  std::string flash_cache;
  std::string cell_flash_cache;
};

// -1 in the tri-state fields below means "not given".
struct SegmentAttributes {
  int64_t pctfree = kNoValue;
  int64_t pctused = kNoValue;
  int64_t initrans = kNoValue;
  int64_t maxtrans = kNoValue;
  int compress = -1;         // 0 NOCOMPRESS, 1 COMPRESS
  int logging = -1;          // 0 NOLOGGING, 1 LOGGING
  int segment_creation = -1; // 0 DEFERRED, 1 IMMEDIATE
  bool compute_statistics = false;
  bool has_storage = false;
  StorageClause storage;
  std::string tablespace;    // as resolved (upper-cased unless quoted)
  bool tablespace_given = false;
  int parallel = -1;         // 0 NOPARALLEL, n PARALLEL n
};

struct LobStorage {
  NameList columns;          // LOB ("C1", "C2") STORE AS ...
  int securefile = -1;       // 0 BASICFILE, 1 SECUREFILE
  std::string segment_name;  // STORE AS [SECUREFILE] "name"(...)
  std::string tablespace;
  bool tablespace_given = false;
  int storage_in_row = -1;   // 1 ENABLE STORAGE IN ROW, 0 DISABLE
  int64_t chunk = kNoValue;
  int64_t pctversion = kNoValue;
  int retention = -1;        // 1 RETENTION
  int cache = -1;            // 0 NOCACHE, 1 CACHE, 2 CACHE READS
  int logging = -1;
  int compress = -1;         // 0 NOCOMPRESS, 1 COMPRESS
  int keep_duplicates = -1;  // 1 KEEP_DUPLICATES, 0 DEDUPLICATE
  bool has_storage = false;
  StorageClause storage;
};

// ---- DDL ----------------------------------------------------------------

enum class ConstraintKind { kNotNull, kNull, kPrimaryKey, kUnique, kCheck, kForeignKey };

struct Constraint {
  ConstraintKind kind = ConstraintKind::kPrimaryKey;
  Name name;
  bool has_name = false;
  std::vector<Name> columns;        // out-of-line constraints
  NameList using_index_name;        // USING INDEX [schema.]index
  SegmentAttributes using_index;    // USING INDEX <attributes>
  bool has_using_index = false;
  bool enable = true;               // ENABLE / DISABLE
  int validate = -1;                // 1 VALIDATE, 0 NOVALIDATE, -1 not given
  std::string check_text;           // CHECK (condition) text as written
  // FOREIGN KEY (columns) REFERENCES [schema.]table [(ref_columns)]
  NameList ref_table;
  std::vector<Name> ref_columns;    // empty: the parent's primary key
  std::string delete_rule = "NO ACTION";  // ON DELETE CASCADE | SET NULL
  int deferrable = -1;              // 1 DEFERRABLE, 0 NOT DEFERRABLE, -1 not given
  int initially_deferred = -1;      // 1 INITIALLY DEFERRED, 0 IMMEDIATE, -1 not given
  bool enable_given = false;        // ENABLE or DISABLE was written
};

// ALTER TABLE t MODIFY CONSTRAINT n <state>, ALTER TABLE t ENABLE|DISABLE
// [VALIDATE|NOVALIDATE] CONSTRAINT n | PRIMARY KEY | UNIQUE (cols) [CASCADE]
struct ConstraintStateChange {
  enum Target { kByName, kPrimaryKey, kUnique } target = kByName;
  Name name;
  std::vector<Name> columns;        // UNIQUE (cols)
  bool modify = false;              // MODIFY CONSTRAINT: only the states written change
  Constraint state;                 // enable/validate/deferrable/initially_deferred as written
  bool cascade = false;             // DISABLE ... CASCADE: disables the foreign keys too
  int keep_index = -1;              // KEEP INDEX 1, DROP INDEX 0
};

// SET CONSTRAINT[S] ALL | name[, name] IMMEDIATE | DEFERRED
struct SetConstraints {
  bool all = false;
  std::vector<NameList> names;
  bool deferred = false;
};

// SET TRANSACTION READ ONLY | READ WRITE | ISOLATION LEVEL
// SERIALIZABLE | READ COMMITTED [NAME 'text']
struct SetTransaction {
  enum Mode { kReadWrite, kReadOnly, kSerializable, kReadCommitted };
  Mode mode = kReadWrite;
};

struct IdentitySpec;

struct ColumnDef {
  Name name;
  TypeDesc type;
  bool has_type = true;             // false for a virtual column declared without type
  ExprPtr default_expr;
  std::string default_text;         // the DEFAULT expression exactly as written
  std::vector<Constraint> constraints;  // inline NOT NULL / NULL / PRIMARY KEY / UNIQUE / CHECK
  ExprPtr virtual_expr;             // GENERATED ALWAYS AS (expr) VIRTUAL
  std::shared_ptr<const IdentitySpec> identity;  // GENERATED ... AS IDENTITY
  bool drop_identity = false;       // ALTER TABLE ... MODIFY c DROP IDENTITY
  bool has_default = false;         // DEFAULT given (MODIFY c DEFAULT NULL clears it)
  bool default_on_null = false;     // DEFAULT ON NULL expr
};

struct CreateTable {
  NameList name;
  std::vector<ColumnDef> columns;
  std::vector<Constraint> constraints;  // out-of-line
  SegmentAttributes attrs;
  std::vector<LobStorage> lobs;
  // CREATE TABLE t [(c, ...)] AS SELECT: the query, and the span of its
  // text; `columns` then holds only names (has_type false).
  std::shared_ptr<Select> as_select;
  Span as_select_span;
  std::shared_ptr<PartitionSpec> partitioning;  // PARTITION BY ...
  std::shared_ptr<IotSpec> iot;                 // ORGANIZATION INDEX ...
  int row_movement = -1;                        // 1 ENABLE, 0 DISABLE ROW MOVEMENT
  // CREATE GLOBAL TEMPORARY TABLE: "DELETE" or "PRESERVE" (ON COMMIT ...
  // ROWS; DELETE when not given), empty for other tables.
  std::string temporary;
};

struct IndexKey {
  ExprPtr expr;   // a kColumn for a plain key, any expression for a function-based one
  bool desc = false;
};

struct CreateIndex {
  bool unique = false;
  bool bitmap = false;
  NameList name;
  NameList table;
  std::vector<IndexKey> keys;
  bool reverse = false;
  SegmentAttributes attrs;
  int locality = 0;                             // 1 LOCAL, 2 GLOBAL PARTITION BY
  std::shared_ptr<PartitionSpec> partitioning;  // GLOBAL PARTITION BY ...
};

// The constraint forms of ALTER TABLE besides the single ADD (and the ADD
// list, one of the column forms' items); kNone for the other forms.
enum class AlterTableAction {
  kNone,
  kDropConstraint,    // DROP CONSTRAINT name [CASCADE] [KEEP|DROP INDEX]
  kDropPrimaryKey,    // DROP PRIMARY KEY [CASCADE] [KEEP|DROP INDEX]
  kDropUnique,        // DROP UNIQUE (cols) [CASCADE] [KEEP|DROP INDEX]
  kRenameConstraint,  // RENAME CONSTRAINT name TO new_name
  kModifyNullability, // MODIFY (col [CONSTRAINT c] [NOT] NULL [state], ...)
};

// What an ALTER TABLE does.
enum class AlterAction {
  kAddConstraint,  // ADD [CONSTRAINT c] PRIMARY KEY/UNIQUE/CHECK ...
  kAddItems,       // ADD col ... | ADD (item, ...): items
  kModifyColumns,  // MODIFY col ... | MODIFY (col ..., ...): items (columns)
  kDropColumns,    // DROP COLUMN c | DROP (c, ...) | SET UNUSED ...: columns
  kRenameColumn,   // RENAME COLUMN a TO b: columns[0] -> new_name
  kRenameTable,    // RENAME TO b: new_name
};

// One item of ADD (...) or MODIFY (...): a column definition or, in ADD, a
// table constraint.
struct AlterItem {
  bool is_constraint = false;
  ColumnDef column;
  Constraint constraint;
};

// One column of MODIFY that changes only its constraints: `constraint` is
// a kNotNull or kNull constraint (with its name and state), or an inline
// key or check.
struct NullabilityChange {
  Name column;
  Constraint constraint;
};

struct AlterTable {
  NameList table;
  Constraint add_constraint;  // ALTER TABLE t ADD [CONSTRAINT c] PRIMARY KEY/UNIQUE (...) ...
  AlterAction action = AlterAction::kAddConstraint;
  std::vector<AlterItem> items;
  std::vector<Name> columns;          // DROP / SET UNUSED / RENAME COLUMN
  bool cascade_constraints = false;   // DROP ... CASCADE CONSTRAINTS
  Name new_name;                      // RENAME COLUMN ... TO / RENAME TO
  bool has_state_change = false;
  ConstraintStateChange state_change;  // MODIFY / ENABLE / DISABLE CONSTRAINT
  AlterTableAction constraint_action = AlterTableAction::kNone;
  Name constraint;                   // DROP / RENAME CONSTRAINT name (RENAME ... TO new_name)
  std::vector<Name> key_columns;     // DROP UNIQUE (cols)
  bool cascade = false;              // DROP ... CASCADE
  int keep_index = -1;               // 1 KEEP INDEX, 0 DROP INDEX, -1 not given
  std::vector<NullabilityChange> nullability;
  std::shared_ptr<PartitionAlter> partition;  // partition maintenance, ROW MOVEMENT
};

struct DropObject {
  NameList name;
  bool purge = false;
  bool cascade = false;   // DROP TABLE ... CASCADE CONSTRAINTS, DROP USER ... CASCADE
};

// QUOTA n|UNLIMITED ON tablespace
struct UserQuota {
  std::string tablespace;  // as resolved (upper-cased unless quoted)
  int64_t bytes = 0;       // K/M/G... suffixes converted
  bool unlimited = false;
};

struct UserStmt {
  Name user;
  std::string password;   // IDENTIFIED BY password (as written; quotes removed)
  bool has_password = true;          // false: ALTER USER without IDENTIFIED BY
  std::string default_tablespace;    // DEFAULT TABLESPACE x (empty when absent)
  std::string temporary_tablespace;  // TEMPORARY TABLESPACE x (empty when absent)
  std::vector<UserQuota> quotas;
  int account_locked = -1;           // 1 ACCOUNT LOCK, 0 ACCOUNT UNLOCK, -1 not given
};

struct Grant {
  std::vector<std::string> privileges;  // "DBA", "CONNECT", "CREATE SESSION", ...
  std::vector<Name> grantees;
  NameList object;                      // ON [schema.]object; empty for system privileges
  bool grant_option = false;            // WITH GRANT OPTION
  bool has_password = false;            // TO user IDENTIFIED BY password
  std::string password;
};

struct AlterSession {
  Name parameter;   // CURRENT_SCHEMA, NLS_DATE_FORMAT, ...
  Name value;       // identifier value (CURRENT_SCHEMA)
  std::string text; // string value ('DD-MON-RR')
  bool is_string = false;
};

// ALTER SYSTEM KILL SESSION 'sid,serial#[,@instance]' [IMMEDIATE]: the
// string as written (checked when run, after the privilege).
struct AlterSystem {
  std::string session;
  bool immediate = false;
};

// BEGIN call; call; ... END; — procedure calls (kFunction nodes) and NULL;
struct PlsqlBlock {
  std::vector<ExprPtr> calls;
};

// CREATE / ALTER SEQUENCE options; a field is "not given" when its has_
// flag is false. RESTART [START WITH n] only in ALTER.
struct SequenceOptions {
  bool has_start = false, has_increment = false, has_min = false, has_max = false;
  bool has_cache = false, has_cycle = false, has_order = false;
  int64_t start = 1;
  int64_t increment = 1;
  bool no_min = false;     // NOMINVALUE (also when has_min is false)
  int64_t min = 1;
  bool no_max = false;     // NOMAXVALUE
  int64_t max = 0;
  int64_t cache = 20;      // 0 for NOCACHE
  bool cycle = false;
  bool order = false;
  bool restart = false;
};

// GENERATED ALWAYS | BY DEFAULT [ON NULL] AS IDENTITY [( options )]
struct IdentitySpec {
  enum Kind { kAlways = 1, kByDefault = 2, kByDefaultOnNull = 3 };
  int kind = kAlways;
  SequenceOptions options;
  bool limit_value = false;  // START WITH LIMIT VALUE (ALTER TABLE ... MODIFY)
};

// RENAME a TO b
struct RenameStmt {
  Name from;
  Name to;
};

struct SequenceStmt {
  NameList name;
  SequenceOptions options;
};

struct PlsqlUnit;  // sql/plsql_parser.h

// CREATE [OR REPLACE] PROCEDURE / FUNCTION / PACKAGE [BODY] / TRIGGER /
// TYPE [BODY] and DROP of them: stored code, kept as its source.
struct StoredCode {
  bool drop = false;
  bool or_replace = false;
  std::string type;    // "PROCEDURE", "PACKAGE BODY", ...
  NameList name;       // [schema.]name
  std::string source;  // from the type keyword to the end, without a "/" line
  int enable = -1;     // ALTER TRIGGER: 1 ENABLE, 0 DISABLE; 2 ALTER ... COMPILE
  bool compile_spec_only = false;  // ALTER PACKAGE ... COMPILE SPECIFICATION
  bool table_triggers = false;     // ALTER TABLE name ENABLE | DISABLE ALL TRIGGERS
};

// LOCK TABLE t [, t ...] IN <mode> MODE [NOWAIT | WAIT n]
struct LockTable {
  std::vector<NameList> tables;
  bool exclusive = false;  // a mode that keeps other writers out (not ROW SHARE)
};

// CREATE [OR REPLACE] [[NO] FORCE] [EDITIONABLE|NONEDITIONABLE] VIEW and
// DROP VIEW. The query is kept as written: `query_text` is the text after
// AS up to the WITH READ ONLY / WITH CHECK OPTION clause.
struct ViewStmt {
  NameList name;
  bool or_replace = false;
  bool force = false;
  int editionable = -1;             // 1 EDITIONABLE, 0 NONEDITIONABLE, -1 not given
  std::vector<Name> columns;        // (alias, ...) after the name; empty when none
  std::string query_text;
  std::shared_ptr<Select> query;
  bool read_only = false;           // WITH READ ONLY
  bool check_option = false;        // WITH CHECK OPTION
  Name constraint;                  // ... CONSTRAINT name
  bool has_constraint = false;
  bool cascade = false;             // DROP VIEW ... CASCADE CONSTRAINTS
};

// CREATE [OR REPLACE] [EDITIONABLE|NONEDITIONABLE] [PUBLIC] SYNONYM
// [schema.]name FOR [schema.]object and DROP [PUBLIC] SYNONYM name [FORCE].
struct SynonymStmt {
  NameList name;
  NameList target;
  std::string db_link;              // FOR object@link (not carried)
  bool or_replace = false;
  bool is_public = false;
  bool force = false;
};

// COMMENT ON TABLE [schema.]t IS 'text' / COMMENT ON COLUMN [schema.]t.c IS
// 'text'; an empty text removes the comment.
struct CommentStmt {
  NameList table;
  bool on_column = false;
  Name column;
  std::string text;
};

// CREATE MATERIALIZED VIEW [schema.]mv [(col, ...)] [ON PREBUILT TABLE |
// BUILD IMMEDIATE | DEFERRED] [REFRESH ...] [... QUERY REWRITE] AS query;
// DROP MATERIALIZED VIEW mv [PRESERVE TABLE]; CREATE / DROP MATERIALIZED
// VIEW LOG ON [schema.]master [WITH ...] [INCLUDING | EXCLUDING NEW VALUES].
// CREATE DIMENSION [schema.]name level_clause... { hierarchy_clause |
// attribute_clause }...; DROP DIMENSION [schema.]name. Column names are
// [schema.]table.column in LEVEL clauses; a JOIN KEY or DETERMINES column
// may leave out its table (then that of its level).
struct DimensionStmt {
  struct Level {
    Name name;
    std::vector<NameList> columns;
    bool skip_when_null = false;
  };
  struct JoinKey {
    std::vector<NameList> columns;
    Name parent;  // REFERENCES level
  };
  struct Hierarchy {
    Name name;
    std::vector<Name> levels;  // child first: l1 CHILD OF l2 CHILD OF ...
    std::vector<JoinKey> joins;
  };
  // ATTRIBUTE level DETERMINES cols, or ATTRIBUTE name LEVEL level
  // DETERMINES cols [LEVEL ...]: one per LEVEL, the name kept.
  struct Attribute {
    Name name;  // empty for the first form
    Name level;
    std::vector<NameList> columns;
  };
  bool drop = false;
  NameList name;
  std::vector<Level> levels;
  std::vector<Hierarchy> hierarchies;
  std::vector<Attribute> attributes;
};

struct MviewStmt {
  enum Action { kCreate, kDrop, kCreateLog, kDropLog } action = kCreate;
  NameList name;                        // the view, or the master of a log
  std::vector<Name> columns;            // column aliases
  std::string build = "IMMEDIATE";      // IMMEDIATE, DEFERRED or PREBUILT
  std::string refresh_method = "FORCE";  // COMPLETE, FAST, FORCE or NEVER
  std::string refresh_mode = "DEMAND";   // DEMAND, COMMIT, STATEMENT or NEVER
  std::string start_with, next;         // START WITH / NEXT expressions as written
  bool with_rowid = false;              // REFRESH WITH ROWID (default WITH PRIMARY KEY)
  bool rewrite = false;                 // ENABLE QUERY REWRITE
  bool updatable = false;               // FOR UPDATE
  bool preserve_table = false;          // DROP ... PRESERVE TABLE
  SegmentAttributes attrs;
  std::shared_ptr<Select> query;
  Span query_span;
  std::string query_text;               // as written after AS
  // Logs: what each row records.
  bool log_rowid = false, log_primary_key = false, log_object_id = false, log_sequence = false;
  std::vector<Name> log_columns;
  bool log_new_values = false;          // INCLUDING NEW VALUES
};

enum class StmtKind {
  kSelect,
  kInsert,
  kUpdate,
  kDelete,
  kCreateTable,
  kDropTable,
  kTruncateTable,
  kCreateIndex,
  kDropIndex,
  kAlterTable,
  kCreateUser,
  kAlterUser,
  kDropUser,
  kGrant,
  kRevoke,
  kCommit,
  kRollback,
  kAlterSession,
  kAlterSystem,
  kPlsqlBlock,
  kCreateSequence,
  kAlterSequence,
  kDropSequence,
  kStoredCode,
  kLockTable,
  kCreateView,
  kDropView,
  kCreateSynonym,
  kDropSynonym,
  kAlterView,
  kComment,
  kRename,
  kSetConstraints,
  kSetTransaction,
  kMview,
  kDimension,  // CREATE / DROP DIMENSION
};

struct Statement {
  StmtKind kind = StmtKind::kSelect;
  std::string text;  // the statement text the spans refer to

  std::unique_ptr<Select> select;
  std::unique_ptr<Insert> insert;
  std::unique_ptr<Update> update;
  std::unique_ptr<Delete> del;
  std::unique_ptr<CreateTable> create_table;
  std::unique_ptr<CreateIndex> create_index;
  std::unique_ptr<AlterTable> alter_table;
  std::unique_ptr<DropObject> drop;       // DROP TABLE / INDEX / USER, TRUNCATE TABLE
  std::unique_ptr<UserStmt> user;         // CREATE USER / ALTER USER
  std::unique_ptr<Grant> grant;           // GRANT / REVOKE
  std::unique_ptr<AlterSession> alter_session;
  std::unique_ptr<AlterSystem> alter_system;
  std::unique_ptr<PlsqlBlock> block;
  std::unique_ptr<SequenceStmt> sequence;  // CREATE / ALTER / DROP SEQUENCE

  // Placeholders in order of appearance; bind k (1-based) is bind_names[k-1].
  std::vector<std::string> bind_names;

  // PL/SQL blocks: the whole block (declarations, control flow, SQL).
  std::shared_ptr<const PlsqlUnit> plsql;
  std::unique_ptr<StoredCode> code;
  std::unique_ptr<LockTable> lock;
  std::unique_ptr<ViewStmt> view;          // CREATE / ALTER / DROP VIEW
  std::unique_ptr<SynonymStmt> synonym;    // CREATE / DROP SYNONYM
  std::unique_ptr<CommentStmt> comment;
  std::unique_ptr<RenameStmt> rename;  // RENAME a TO b
  std::unique_ptr<SetConstraints> set_constraints;
  std::unique_ptr<SetTransaction> set_transaction;
  std::unique_ptr<MviewStmt> mview;        // materialized views and their logs
  std::unique_ptr<DimensionStmt> dimension;
};

}  // namespace sql
}  // namespace tabdb
