// catalog_internal.h - helpers shared by the catalog's source files: name
// and privilege checks, the records of indexes and constraints as the DDL
// text and the DDL executors need them, and the DDL entry points that
// ExecuteDdl dispatches to. Internal to the catalog module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/attrs.h"
#include "catalog/catalog.h"
#include "catalog/dictionary.h"
#include "catalog/partition.h"
#include "session/session.h"
#include "sql/ast.h"
#include "util/status.h"

namespace tabdb {
namespace cat {

// Tablespace every schema uses when a statement names none.
constexpr const char* kDefaultTablespace = "USERS";

// "NAME" with embedded double quotes doubled.
std::string Quote(const std::string& name);
// 'text' as an SQLite string literal (single quotes doubled).
std::string SqlString(const std::string& text);

// Splits [schema.]name; an unqualified name is in the current schema.
void SplitName(Session& s, const sql::NameList& name, std::string* owner, std::string* object);

// Whether the session may create or drop objects in `owner`'s schema:
// DBAs everywhere, other users only in their own (ORA-01031). A schema
// that does not exist gives ORA-01918.
Status CheckSchemaWrite(Session& s, const std::string& owner);

// Looks up a schema object by owner and exact name in the namespace of
// tables, views, sequences and synonyms (indexes have their own: FindIndex).
// *obj_id is 0 when there is none.
Status FindObject(Session& s, const std::string& owner, const std::string& name,
                  int64_t* obj_id, std::string* type);
// Looks up an index by owner and exact name; *obj_id is 0 when there is none.
Status FindIndex(Session& s, const std::string& owner, const std::string& name, int64_t* obj_id);
// FindIndex for type "INDEX", else FindObject; *type is "INDEX" for an index found.
Status FindObjectOfType(Session& s, const std::string& owner, const std::string& name,
                        const std::string& want, int64_t* obj_id, std::string* type);

// Inserts the tab$objects row of a new table or index; ORA-00955 when the
// name is taken in the schema.
Status AddObject(Session& s, const std::string& owner, const std::string& name,
                 const char* type, int64_t* obj_id);

// Whether a constraint of that name exists in the schema.
Status ConstraintExists(Session& s, const std::string& owner, const std::string& name,
                        bool* exists);

// A fresh SYS_Cnnnnnn name, unused as a constraint and as an object in the
// schema (it may also name the index of a key).
Status NewConstraintName(Session& s, const std::string& owner, std::string* out);

// Whether the table's segment exists: created IMMEDIATE or holding rows.
bool SegmentExists(const sql::SegmentAttributes& table_attrs, bool has_rows);

// One key of an index as recorded.
struct IndexKeyRec {
  int intcol = 0;
  bool desc = false;
  std::string expr;  // normalised expression of a function-based key, else empty
};

struct IndexRec {
  int64_t obj_id = 0;
  std::string owner;
  std::string name;
  int64_t table_obj = 0;
  bool unique = false;
  std::string index_type;
  bool reverse = false;
  std::string phys;
  bool generated = false;
  sql::SegmentAttributes attrs;
  std::vector<IndexKeyRec> keys;

  bool bitmap() const { return index_type.find("BITMAP") != std::string::npos; }
  bool function_based() const { return index_type.rfind("FUNCTION-BASED", 0) == 0; }
};

struct ConstraintRec {
  int64_t cons_id = 0;
  std::string owner;
  std::string name;
  int64_t table_obj = 0;
  std::string type;          // P, U, C
  bool not_null = false;     // a C constraint that is a column's NOT NULL
  int64_t index_obj = 0;     // P/U: the enforcing index (0 while disabled)
  bool preexisting = false;  // that index existed before the constraint
  bool generated = false;    // system-generated name
  bool enabled = true;
  std::string search_condition;
  std::vector<int> intcols;  // key columns (P/U) or the NOT NULL column
  int64_t r_cons_id = 0;     // R: the referenced primary or unique key
  std::string delete_rule;   // R: NO ACTION, CASCADE or SET NULL
  bool deferrable = false;
  bool deferred = false;     // INITIALLY DEFERRED
  bool validated = true;     // false for NOVALIDATE
};

Status LoadIndex(Session& s, int64_t obj_id, IndexRec* out);
// Indexes of a table, in creation order.
Status LoadTableIndexes(Session& s, int64_t table_obj, std::vector<IndexRec>* out);
// Constraints of a table, in creation order.
Status LoadConstraints(Session& s, int64_t table_obj, std::vector<ConstraintRec>* out);
// A constraint by owner and exact name; *found tells whether it exists.
Status FindConstraint(Session& s, const std::string& owner, const std::string& name,
                      ConstraintRec* out, bool* found);
// Recorded physical attributes of a table.
Status LoadTableAttrs(Session& s, int64_t table_obj, sql::SegmentAttributes* attrs,
                      std::vector<LobAttr>* lobs);

// Loads a table by object id (like LoadTable).
Status LoadTableById(Session& s, int64_t obj_id, TableInfo* out);

// ---- pieces shared by the DDL executors --------------------------------

// What a new index is made of.
struct IndexSpec {
  std::string owner;
  std::string name;
  bool unique = false;
  bool bitmap = false;
  bool reverse = false;
  bool generated = false;  // system-generated name
  sql::SegmentAttributes attrs;
  std::vector<IndexKeyRec> keys;  // plain column keys; expressions resolved by the caller
  // The SQLite unique index the physical table's own UNIQUE clause made
  // over these keys (see KeyIndexOfTable), taken instead of a new one.
  std::string premade_phys;
};

// Creates an index of `table` from plain-column or resolved keys: catalog
// rows, and for a unique index over plain columns the SQLite unique index
// that enforces it (ORA-01452 over duplicate rows). `check_duplicate_list`
// gives ORA-01408 when an index with the same keys exists.
Status MakeIndex(Session& s, const TableInfo& table, const IndexSpec& spec,
                 bool check_duplicate_list, int64_t* obj_id);

// Inserts the tab$columns row of a column. `data_length` overrides the
// DATA_LENGTH of the type when >= 0 (LOBs stored out of row report 86).
Status InsertColumn(Session& s, int64_t table_obj, const ColumnInfo& c, int data_length = -1);

// Adds a primary key, unique or check constraint to an existing table
// (after CREATE TABLE has made its columns, or for ALTER TABLE ... ADD).
// `in_create` tells that the table is being created by this statement.
Status AddConstraint(Session& s, const TableInfo& table, const sql::Constraint& c,
                     bool in_create);

// The primary key of a new table whose uniqueness the physical CREATE
// TABLE itself enforces through a UNIQUE clause over `cols`: every SQLite
// schema change costs a scan of SQLite's schema and a walk over all its
// tables, so the key's index comes with the table instead of after it.
// SQLite names that index KeyIndexOfTable(table phys).
Status AddKeyThroughTable(Session& s, const TableInfo& table, const sql::Constraint& c);
std::string KeyIndexOfTable(const std::string& table_phys);

// SQLite cannot drop the index of a table's UNIQUE clause: the physical
// table is made anew without it, with its rows (rowids kept) and its other
// SQLite indexes.
Status RebuildWithoutKeyIndex(Session& s, const std::string& table_phys);

// The constraint forms of ALTER TABLE other than ADD (ddl_alter_cons.cpp):
// DROP / RENAME of constraints and keys, MODIFY of nullability.
Status AlterConstraintForm(Session& s, const TableInfo& table, const sql::AlterTable& at);

// Adds the NOT NULL constraint of a column (named or system-named).
Status AddNotNull(Session& s, const TableInfo& table, int intcol, const sql::Constraint& c);

// ORA-02293 when a row of the table makes the new CHECK condition FALSE.
Status ValidateCheck(Session& s, const TableInfo& table, const std::string& owner, const std::string& name,
                     const std::string& condition);

// For a unique index of several columns: the SQLite index n<index obj>
// that makes equal keys with some but not all columns NULL conflict, as in
// Oracle (a SQLite unique index takes every NULL as distinct). It holds
// only such rows. ORA-01452 when the table already has two of them.
Status MakePartlyNullKeyIndex(Session& s, const std::string& table_phys, int64_t index_obj,
                              const std::vector<int>& cols);

// Drops an index's catalog rows, its SQLite index and hidden columns no
// other index uses.
Status RemoveIndex(Session& s, int64_t index_obj, int64_t table_obj);

// Deletes the LOB and LONG values referenced from a table's rows.
Status DeleteLobData(Session& s, const TableInfo& table);

// Drops a table with everything that belongs to it.
Status RemoveTable(Session& s, const TableInfo& table);

// A constraint about to be recorded in tab$constraints.
struct NewConstraint {
  std::string owner, name, type;
  int64_t table_obj = 0;
  int64_t index_obj = 0;
  bool preexisting = false;
  bool generated = false;
  bool enabled = true;
  bool not_null = false;
  std::string search_condition;
  std::vector<int> intcols;
  int64_t r_cons_id = 0;
  std::string delete_rule = "NO ACTION";
  bool deferrable = false;
  bool deferred = false;
  bool validated = true;
};
Status InsertConstraint(Session& s, const NewConstraint& c);
// Name of a new constraint: as given (ORA-02264 when taken) or a system name.
Status ConstraintName(Session& s, const std::string& owner, const sql::Constraint& c,
                      std::string* name, bool* generated);

// ---- foreign keys and constraint states (ddl_foreign_key.cpp) ------------
// ENABLE/DISABLE, VALIDATE/NOVALIDATE and the deferral states as written
// (ORA-02447 for INITIALLY DEFERRED NOT DEFERRABLE).
Status ApplyStates(const sql::Constraint& c, NewConstraint* nc);
Status AddForeignKey(Session& s, const TableInfo& child, const sql::Constraint& c, bool in_create);
// The foreign keys (of any table) that reference a key of `table_obj`.
Status LoadReferencingKeys(Session& s, int64_t table_obj, std::vector<ConstraintRec>* out);
// Removes a constraint's catalog rows (not its index).
Status RemoveConstraintRows(Session& s, int64_t cons_id);
// DROP TABLE: ORA-02449 when other tables' foreign keys reference it,
// unless CASCADE CONSTRAINTS drops them. TRUNCATE: ORA-02266.
Status CheckDropReferenced(Session& s, const TableInfo& t, bool cascade);
Status CheckTruncateReferenced(Session& s, const TableInfo& t);
// ALTER TABLE ... MODIFY / ENABLE / DISABLE CONSTRAINT.
Status ChangeConstraintState(Session& s, const TableInfo& t, const sql::ConstraintStateChange& ch);
// Makes an enabled primary or unique key enforcing again: an index (an
// existing fitting one or a new one), NOT NULL key columns for a primary
// key. ORA-02437 / ORA-02299 over duplicate rows.
Status EnforceKey(Session& s, const TableInfo& t, const ConstraintRec& key);
// Stops enforcing a key: drops the index it made (or the SQLite unique
// index it added to an existing index).
Status StopEnforcingKey(Session& s, const TableInfo& t, const ConstraintRec& key);

// The DDL statements.
Status CreateTableDdl(Session& s, const sql::CreateTable& ct, ExprTypeFn infer_type);
Status DropTableDdl(Session& s, const sql::DropObject& d);
Status TruncateTableDdl(Session& s, const sql::DropObject& d);
Status CreateIndexDdl(Session& s, const sql::CreateIndex& ci, ExprTypeFn infer_type);
Status DropIndexDdl(Session& s, const sql::DropObject& d);
Status AlterTableDdl(Session& s, const sql::AlterTable& at);
Status CreateUserDdl(Session& s, const sql::UserStmt& u);
Status AlterUserDdl(Session& s, const sql::UserStmt& u);
Status DropUserDdl(Session& s, const sql::DropObject& d);
Status GrantDdl(Session& s, const sql::Grant& g, bool grant);
// Stored code kept as source (ddl_code.cpp).
Status EnsureSourceTable(Session& s);
// *with_errors tells that a unit was kept INVALID with compilation errors.
Status StoredCodeDdl(Session& s, const sql::StoredCode& c, bool* with_errors);
// Drops the triggers on table or view owner.table, which is being dropped.
Status DropTriggersOn(Session& s, const std::string& owner, const std::string& table);
// DBMS_METADATA.GET_DDL of stored code; *handled false when `type` is not
// stored code or `owner`.`name` has none the session may see.
Status StoredCodeText(Session& s, const std::string& type, const std::string& name,
                      const std::string& owner, std::string* out, bool* handled);

// CREATE and DROP DIMENSION (ddl_dimension.cpp).
Status DimensionDdl(Session& s, const sql::DimensionStmt& d);

// Views and synonyms (ddl_view.cpp).
// *with_errors tells that the view was kept with errors (FORCE, COMPILE).
Status CreateViewDdl(Session& s, const sql::ViewStmt& v, bool* with_errors);
Status DropViewDdl(Session& s, const sql::ViewStmt& v);
Status AlterViewDdl(Session& s, const sql::ViewStmt& v, bool* with_errors);  // ALTER VIEW ... COMPILE
// The columns and status of view obj as its query compiles now.
Status RecompileView(Session& s, int64_t obj, bool* with_errors);
Status CreateSynonymDdl(Session& s, const sql::SynonymStmt& st);
Status DropSynonymDdl(Session& s, const sql::SynonymStmt& st);
// Drops the views and private synonyms of a schema (DROP USER ... CASCADE).
Status DropSchemaViewsAndSynonyms(Session& s, const std::string& owner);

// ---- object privileges (ddl_privs.cpp) ---------------------------------
// Whether the session may use `privilege` (SELECT, INSERT, ...) on an
// object of `owner`: ORA-00942 when it holds no privilege on it at all
// (the object then looks missing), ORA-01031 when it holds others.
Status CheckObjectPrivilege(Session& s, const std::string& owner, int64_t obj_id,
                            const char* privilege);
// Whether user `who` holds `privilege` on an object by a grant to it or to
// PUBLIC (roles and the session's own rights do not count).
Status UserHoldsPrivilege(Session& s, const std::string& who, int64_t obj_id, const char* privilege,
                          bool* holds);
// For DDL of a user who is not a DBA on another schema's object: ORA-01031
// when the user may see it, else the error of a missing `type` (TABLE,
// INDEX, SEQUENCE) whether or not it exists.
Status ForeignDdlError(Session& s, const std::string& owner, const std::string& name,
                       const char* type);
// Whether the session may see an object: its own, a DBA, or any grant.
Status VisibleObject(Session& s, const std::string& owner, int64_t obj_id, bool* visible);
// GRANT / REVOKE ... ON [schema.]object.
Status ObjectGrantDdl(Session& s, const sql::Grant& g, bool grant);
// A grant of `privs` on a view (view_grant_option.cpp): ORA-01720 when its
// query reads another schema's object on which the view's owner does not
// hold the privilege WITH GRANT OPTION.
Status CheckViewGrantOption(Session& s, int64_t view_id, const std::vector<std::string>& privs);
// Forgets the grants on a dropped object, and those of or by a dropped user.
Status DropObjectGrants(Session& s, int64_t obj_id);
Status DropUserGrants(Session& s, const std::string& user);
// The privilege dictionary views (dictionary_privs.cpp); false for other names.
bool FindPrivilegeView(Session& s, const std::string& name, DictionaryView* out, Status* status);

// ---- comments and the object views (ddl_comment.cpp, dictionary_objects.cpp)
// COMMENT ON TABLE / COLUMN.
Status CommentDdl(Session& s, const sql::CommentStmt& c);
// Removes the comments of a dropped object (intcol < 0) or of one dropped
// column of it.
Status DropComments(Session& s, int64_t obj_id, int intcol = -1);
// DBMS_METADATA.GET_DEPENDENT_DDL('COMMENT', table, owner): the COMMENT
// statements of a table or view; ORA-31608 when it has none.
Status CommentDdlText(Session& s, const std::string& owner, const std::string& name,
                      std::string* out);
// DBMS_METADATA.GET_DDL('SEQUENCE') (ddl_sequence_text.cpp); *found false
// when there is no such sequence.
Status SequenceDdlText(Session& s, const std::string& owner, const std::string& name,
                       std::string* out, bool* found);
// ALL_/USER_/DBA_TAB_COMMENTS, COL_COMMENTS, OBJECTS and DATABASE_PROPERTIES;
// false for other names.
bool FindObjectView(Session& s, const std::string& name, DictionaryView* out, Status* status);
// *_TRIGGERS, *_TYPES, *_SCHEDULER_JOBS, SESSION_PRIVS, SESSION_ROLES,
// DBA_/USER_TABLESPACES, *_MVIEWS, *_MVIEW_LOGS (dictionary_more.cpp).
bool FindMoreView(Session& s, const std::string& name, DictionaryView* out, Status* status);
// ---- identity columns (ddl_identity.cpp) ------------------------------
// For CREATE TABLE, once the table has its object id: the sequence
// ISEQ$$_<table id> of its identity column and the column's identity
// fields (ORA-30669 for a second one, ORA-30675 for a non-numeric type).
Status MakeIdentities(Session& s, const sql::CreateTable& ct, TableInfo* t);
// The same for one column `c` of table `t` (not yet in the catalog).
Status MakeIdentity(Session& s, const sql::IdentitySpec& id, const TableInfo* t, ColumnInfo* c);
// The NOT NULL constraint of an identity column declared without one.
Status AddIdentityNotNull(Session& s, const sql::CreateTable& ct, const TableInfo& t);
// Drops the sequences of a table's identity columns; one by its id.
Status DropIdentitySequences(Session& s, const TableInfo& t);
Status DropSequenceRows(Session& s, int64_t seq);
// ALTER TABLE ... MODIFY c GENERATED ... AS IDENTITY [(options)] and
// MODIFY c DROP IDENTITY.
Status ModifyIdentity(Session& s, const TableInfo& t, const ColumnInfo& c,
                      const sql::ColumnDef& d);
// The identity clause GET_DDL writes after the column's type.
Status IdentityDdlText(Session& s, const ColumnInfo& c, std::string* out);

// ---- ALTER TABLE column forms and RENAME (ddl_alter_column.cpp) ------
// An inline constraint of column `d` as the out-of-line constraint on it.
sql::Constraint ColumnConstraint(const sql::ColumnDef& d, const sql::Constraint& c);
Status AlterTableColumnsDdl(Session& s, const sql::AlterTable& at, ExprTypeFn infer_type);
Status RenameDdl(Session& s, const sql::RenameStmt& r);

// ---- partitioned and index-organized tables (partition_ddl.cpp) ----------
// One bound item for key column `col`: the HIGH_VALUE text and the SQL
// literal rows are compared with (ORA-14019 / ORA-14308 for non-literals).
Status NormalizeBoundItem(const ColumnInfo& col, const std::string& item, bool list,
                          std::string* high, std::string* literal);
// Tuple order of two range bounds (MAXVALUE highest).
int CompareBounds(const std::vector<std::string>& a, const std::vector<std::string>& b);
// A fresh SYS_Pn (or SYS_SUBPn) name.
Status NewPartitionName(Session& s, bool sub, std::string* out);
Status MakePartition(Session& s, const TableInfo& t, const std::string& method,
                     const std::vector<int>& keys, const sql::PartitionDesc& d, bool sub,
                     PartitionRec* out);
Status MakeSubpartitions(Session& s, const TableInfo& t, const PartitioningInfo& pi,
                         const sql::PartitionDesc& d, PartitionRec* p);
Status CheckSiblings(const std::string& method, const std::vector<PartitionRec>& parts);
Status BuildPartitioning(Session& s, const TableInfo& t, const sql::PartitionSpec& spec,
                         PartitioningInfo* pi);
Status StorePartitioning(Session& s, const PartitioningInfo& pi);
// Rewrites the partition rows of pi.obj_id from pi.parts and pi.subtemplate.
Status StorePartitionRows(Session& s, const PartitioningInfo& pi);
Status UpdateRowMovement(Session& s, int64_t obj_id, bool enable);
Status CreatePartitioning(Session& s, const sql::CreateTable& ct, const TableInfo& created);
Status CreateIndexPartitioning(Session& s, const sql::CreateIndex& ci, const TableInfo& t,
                               int64_t index_obj);
// ORA-12984 when the column is a partitioning key column of the table or
// of one of its partitioned indexes.
Status CheckNotPartitionKey(Session& s, int64_t table_obj, int intcol);
// Removes the partitioning records of a table (and its indexes) or an index.
Status DropPartitioning(Session& s, int64_t obj_id);
// ALTER TABLE ... partition maintenance and ROW MOVEMENT (partition_alter.cpp).
Status AlterPartitionDdl(Session& s, const sql::AlterTable& at);
// GET_DDL of a partitioned or index-organized table: what follows the
// column list's "\n   ) " (partition_text.cpp). *handled false for a heap
// table that is not partitioned.
Status PartitionedTableTail(Session& s, const TableInfo& t, const sql::SegmentAttributes& a,
                            std::string* out, bool* handled);
// Whether a table is index-organized.
Status IsIot(Session& s, int64_t table_obj, bool* iot);
// GET_DDL of a partitioned index after its key list: its default
// attributes, then " LOCAL\n (PARTITION ...) " or " GLOBAL PARTITION BY ...";
// nothing (and *partitioned false) for other indexes.
Status IndexPartitionTail(Session& s, int64_t index_obj, const sql::SegmentAttributes& a,
                          std::string* out, bool* partitioned);
// Whether some row of `t` meets `cond` (Oracle SQL).
Status PartitionHasRows(Session& s, const TableInfo& t, const std::string& cond, bool* any);

}  // namespace cat
}  // namespace tabdb
