// partition.h - partitioned and index-organized tables as the catalog keeps
// them, and the conditions over a row that say which partition holds it
// (text in Oracle SQL, compiled by the engine like a CHECK condition).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "session/session.h"
#include "util/status.h"

namespace tabdb {

// Oracle's most partitions (and subpartitions) of one table or index, and
// the highest partition number a key of an interval table may map to.
constexpr int64_t kMaxPartitions = 1048575;

struct PartitionRec {
  int64_t seq = 0;                  // order among its siblings (bound order)
  std::string name;
  std::string high_value;           // as *_TAB_PARTITIONS.HIGH_VALUE shows it
  std::vector<std::string> bound;   // items as SQL literals, MAXVALUE, DEFAULT, NULL
  bool is_interval = false;         // made by the database for an interval
  std::vector<PartitionRec> subparts;
};

struct PartitioningInfo {
  int64_t obj_id = 0;               // the table, or the partitioned index
  int64_t table_obj = 0;
  std::string locality;             // empty for a table; LOCAL / GLOBAL
  std::string method;               // RANGE, LIST, HASH
  std::string submethod = "NONE";
  std::vector<int> keys;            // internal column numbers
  std::vector<int> subkeys;
  std::string interval;             // as typed, empty when none
  bool autolist = false;
  int64_t def_subparts = 0;
  bool row_movement = false;
  std::vector<PartitionRec> parts;  // in bound order
  std::vector<PartitionRec> subtemplate;
};

// Which partitions LoadPartitioning reads besides the subpartition
// template: all, or only those not made for an interval (the range
// section, every partition of a table without INTERVAL), whose number does
// not grow with the rows inserted.
enum class PartitionRows { kAll, kRangeSection };

// The partitioning of a table or index; *found false when it has none.
Status LoadPartitioning(Session& s, int64_t obj_id, PartitioningInfo* out, bool* found,
                        PartitionRows rows = PartitionRows::kAll);

struct IotInfo {
  int64_t pctthreshold = 50;
  int including = 0;                // internal column number, 0 when none
  bool overflow = false;
  int64_t compress = -1;            // -1 NOCOMPRESS, else the prefix length (0: all but last)
};
// The options of an index-organized table; *found false for a heap table.
Status LoadIot(Session& s, int64_t obj_id, IotInfo* out, bool* found);
// The primary key columns (internal numbers, in key order) of an
// index-organized table, whose rows a full scan returns in that order;
// empty for a heap table.
Status IotKeyColumns(Session& s, int64_t obj_id, std::vector<int>* intcols);

// A condition over the row of `t` (columns by name) that is TRUE when the
// row belongs in partition `p` (and `sub`, a subpartition of it, when not
// null), FALSE otherwise, never NULL.
std::string PartitionCondition(const TableInfo& t, const PartitioningInfo& pi, size_t p,
                               const PartitionRec* sub);
// A condition TRUE when some partition (and subpartition) takes the row:
// a row that makes it FALSE is refused with ORA-14400. Empty when every
// row fits.
std::string PartitionFitsCondition(const TableInfo& t, const PartitioningInfo& pi);
// An expression giving the number (1..) of the partition of the row, 0
// when none: for ROW MOVEMENT checks. For an interval table, pi may hold
// its range section alone.
std::string PartitionNumberExpr(const TableInfo& t, const PartitioningInfo& pi);

// Finds a partition, or a subpartition when `sub`, of a table by name:
// *p (and *sp) the indexes in pi. ORA-02149 when there is none.
Status FindPartition(const PartitioningInfo& pi, const std::string& name, bool sub, size_t* p,
                     size_t* sp);

// For a table partitioned by INTERVAL: an Oracle SQL expression over its
// row giving, as text, the upper bound of the interval the row falls in
// (NULL for a row of the range section); *datetime tells whether the text
// is 'YYYY-MM-DD HH24:MI:SS' or a number; *number the expression of the
// interval's number (a NUMBER), 1 for the first above the range section.
// Empty when not interval. Reads the range section of pi only.
std::string IntervalBoundExpr(const TableInfo& t, const PartitioningInfo& pi, bool* datetime,
                              std::string* number);
// Makes the interval partition whose upper bound is `bound` (as the
// expression above gives it) unless the table has it: SYS_Pn, INTERVAL YES.
// A few catalog rows whatever the number of partitions (a table written
// before partitions kept their bound's sort key gets the keys first, once).
Status AddIntervalPartition(Session& s, const TableInfo& t, const std::string& bound);

// Compiles `condition` (Oracle SQL over a row of the table) into an SQLite
// expression over the table's physical row named _t. The engine, which
// compiles expressions and lies above the catalog, provides it.
using RowConditionFn = Status (*)(Session& s, const TableInfo& table, const std::string& condition,
                                  std::string* out);
void SetRowConditionFn(RowConditionFn fn);

// The dictionary views of partitioning: *_PART_TABLES, *_TAB_PARTITIONS,
// *_TAB_SUBPARTITIONS, *_PART_KEY_COLUMNS, *_SUBPART_KEY_COLUMNS,
// *_PART_INDEXES, *_IND_PARTITIONS, and V$OPTION. False when `name` is
// none of them.
bool FindPartitionView(Session& s, const std::string& name, struct DictionaryView* out,
                       Status* status);

// Whether this database refuses partitioning (V$OPTION 'Partitioning' FALSE),
// as a database without the option does: the environment variable
// TABDB_PARTITIONING=FALSE when the database is opened.
bool PartitioningDisabled();

}  // namespace tabdb
