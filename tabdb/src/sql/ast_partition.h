// ast_partition.h - the parsed partitioning and organization clauses of
// CREATE TABLE and CREATE INDEX, and the partition maintenance forms of
// ALTER TABLE. Bounds are kept as the text written, parsed again when used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tabdb {
namespace sql {

// One partition or subpartition as written: PARTITION [name] VALUES LESS
// THAN (b, ...) | VALUES (v, ...) [segment attributes] [subpartitions].
struct PartitionDesc {
  std::string name;                 // empty: the database names it (SYS_Pn)
  std::vector<std::string> bound;   // item texts: literals, MAXVALUE, DEFAULT, NULL
  bool has_bound = false;
  std::vector<PartitionDesc> subparts;  // explicit subpartitions
  int64_t subpart_count = 0;            // SUBPARTITIONS n
};

// PARTITION BY ... of a table or a global index.
struct PartitionSpec {
  std::string method;               // RANGE, LIST, HASH
  std::vector<std::string> columns; // key column names, resolved
  std::string interval;             // INTERVAL (expr): the expression as typed
  bool automatic = false;           // LIST ... AUTOMATIC
  std::string submethod;            // RANGE, LIST, HASH, or empty
  std::vector<std::string> subcolumns;
  int64_t subpart_count = 0;        // SUBPARTITIONS n / SUBPARTITION TEMPLATE n
  bool has_template = false;
  std::vector<PartitionDesc> subtemplate;  // SUBPARTITION TEMPLATE (...)
  int64_t partitions_count = 0;     // PARTITIONS n (hash)
  std::vector<PartitionDesc> parts;
};

// ORGANIZATION INDEX and its options.
struct IotSpec {
  int64_t pctthreshold = 50;
  std::string including;            // column name, or empty
  bool overflow = false;
  int64_t compress = -1;            // COMPRESS n (0 for COMPRESS alone), -1 NOCOMPRESS
};

// Partition maintenance of ALTER TABLE.
enum class PartitionOp {
  kAdd,       // ADD PARTITION [p] [VALUES ...]
  kDrop,      // DROP PARTITION p
  kTruncate,  // TRUNCATE PARTITION p
  kSplit,     // SPLIT PARTITION p AT (v) | VALUES (v, ...) INTO (PARTITION a, PARTITION b)
  kMerge,     // MERGE PARTITIONS a, b INTO PARTITION c
  kExchange,  // EXCHANGE PARTITION p WITH TABLE t
  kRename,    // RENAME PARTITION p TO q
  kRowMovement,  // ENABLE | DISABLE ROW MOVEMENT
};

struct PartitionAlter {
  PartitionOp op = PartitionOp::kAdd;
  bool subpartition = false;
  std::vector<std::string> names;   // the partitions named (FOR (...) resolved later)
  std::vector<std::string> for_values;  // PARTITION FOR (v, ...)
  PartitionDesc added;              // ADD: the new partition
  std::vector<std::string> at;      // SPLIT ... AT (...) / VALUES (...)
  bool split_values = false;        // SPLIT ... VALUES (list)
  std::vector<std::string> into;    // SPLIT/MERGE ... INTO names ("" for system-named)
  std::vector<std::string> exchange_table;  // [schema, ]table
  bool including_indexes = false;
  bool without_validation = false;
  std::string new_name;             // RENAME ... TO
  bool enable = true;               // ROW MOVEMENT
};

}  // namespace sql
}  // namespace tabdb
