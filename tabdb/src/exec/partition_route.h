// partition_route.h - rows and partitions in DML and queries: the condition
// a row must meet to have a partition (ORA-14400), the rows of one named
// partition (t PARTITION (p)), the partition number a ROW MOVEMENT check
// compares before and after an update.
#pragma once

#include <set>
#include <string>

#include "catalog/catalog.h"
#include "sql/ast.h"
#include "storage/sqlite_util.h"
#include "util/status.h"

namespace tabdb {

// Compiles an Oracle SQL condition over a row of `t` into SQLite over the
// physical row named _t (the catalog's RowConditionFn).
Status CompileRowCondition(Session& s, const TableInfo& t, const std::string& condition,
                           std::string* out);

// The Oracle condition a row of `t` must meet to fit some partition; empty
// when the table is not partitioned or every row fits. *code is the error
// of a row that does not: ORA-14400, or ORA-14300 for the NULL key of an
// interval table.
Status PartitionFits(Session& s, const TableInfo& t, std::string* condition, int* code);

// The Oracle condition of the rows of the partition `ref` names.
Status NamedPartition(Session& s, const TableInfo& t, const sql::TableRef& ref, std::string* condition);

// The FROM source of `t PARTITION (p)` (or SUBPARTITION): its rows with
// their rowids; `phys` itself when `ref` names no partition.
Status PartitionSource(Session& s, const TableInfo& t, const sql::TableRef& ref, std::string* out);

// An SQLite expression over _t giving the row's partition number, empty
// when the table is not partitioned or has ROW MOVEMENT enabled.
Status PartitionNumberSql(Session& s, const TableInfo& t, std::string* out);

// The interval partitions an INSERT needs: after each row of a table
// partitioned by INTERVAL, the partition of the row's interval is made
// when the table lacks it, at a cost that does not grow with the number of
// partitions. A key whose partition number would pass Oracle's maximum
// (kMaxPartitions) is refused with ORA-14300.
class IntervalPartitions {
 public:
  Status Compile(Session& s, const TableInfo& t);
  bool empty() const { return !bound_; }
  Status NoteRow(Session& s, const TableInfo& t, int64_t rowid);

 private:
  SqliteStmt bound_;  // the row's interval: its bound and its number
  int64_t range_section_ = 0;  // partitions below the first interval
  std::set<std::string> known_;
};

}  // namespace tabdb
