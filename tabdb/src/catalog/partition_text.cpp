// partition_text.cpp - the DBMS_METADATA.GET_DDL text of partitioned and
// index-organized tables and of partitioned indexes, laid out as Oracle 19c
// lays them out under the session's SEGMENT_ATTRIBUTES, STORAGE and
// TABLESPACE transform parameters.
#include "catalog/catalog_internal.h"
#include "catalog/partition.h"
#include "util/errors.h"

namespace tabdb {
namespace cat {
namespace {

std::string N(int64_t v) { return std::to_string(v); }
int64_t Or(int64_t v, int64_t d) { return v == sql::kNoValue ? d : v; }

std::string Keys(const TableInfo& t, const std::vector<int>& keys) {
  std::string out;
  for (int k : keys)
    for (const ColumnInfo& c : t.columns)
      if (c.intcol == k) out += (out.empty() ? "" : ", ") + Quote(c.name);
  return out;
}

std::string Tablespace(const sql::SegmentAttributes& a) {
  return a.tablespace_given ? a.tablespace : kDefaultTablespace;
}

const char* const kDeferredStorage =
    "STORAGE(\n  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)";
const char* const kPartitionStorage =
    "STORAGE(INITIAL 8388608 NEXT 1048576 MINEXTENTS 1 MAXEXTENTS 2147483645\n"
    "  PCTINCREASE 0 FREELISTS 1 FREELIST GROUPS 1\n"
    "  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)";

std::string Storage(const sql::StorageClause& st) {
  return "STORAGE(INITIAL " + N(Or(st.initial, kInitialExtent)) + " NEXT " + N(Or(st.next, kNextExtent)) +
         " MINEXTENTS " + N(Or(st.minextents, kMinExtents)) + " MAXEXTENTS " +
         N(Or(st.maxextents, kMaxExtents)) + "\n  PCTINCREASE " + N(Or(st.pctincrease, 0)) +
         " FREELISTS " + N(Or(st.freelists, 1)) + " FREELIST GROUPS " + N(Or(st.freelist_groups, 1)) +
         "\n  BUFFER_POOL DEFAULT FLASH_CACHE DEFAULT CELL_FLASH_CACHE DEFAULT)";
}

// `VALUES LESS THAN (hv) ` / `VALUES (hv) ` / "" for hash, after the name.
std::string BoundText(const std::string& method, const PartitionRec& p) {
  if (method == "HASH") return "";
  return std::string(method == "RANGE" ? " VALUES LESS THAN (" : " VALUES (") + p.high_value + ") ";
}

// Whether a partition's subpartitions are the template's.
bool FollowsTemplate(const PartitioningInfo& pi, const PartitionRec& p) {
  if (pi.subtemplate.empty() || p.subparts.size() != pi.subtemplate.size()) return false;
  for (size_t i = 0; i < p.subparts.size(); ++i)
    if (p.subparts[i].name != p.name + "_" + pi.subtemplate[i].name ||
        p.subparts[i].high_value != pi.subtemplate[i].high_value)
      return false;
  return true;
}

}  // namespace

Status IsIot(Session& s, int64_t table_obj, bool* iot) {
  IotInfo info;
  return LoadIot(s, table_obj, &info, iot);
}

Status PartitionedTableTail(Session& s, const TableInfo& t, const sql::SegmentAttributes& a,
                            std::string* out, bool* handled) {
  const TransformParams& tp = s.transforms();
  PartitioningInfo pi;
  bool partitioned = false, iot = false;
  IotInfo io;
  TABDB_RETURN_IF_ERROR(LoadPartitioning(s, t.obj_id, &pi, &partitioned));
  TABDB_RETURN_IF_ERROR(LoadIot(s, t.obj_id, &io, &iot));
  *handled = partitioned || iot;
  if (!*handled) return Status::Ok();
  std::string ts = Tablespace(a);
  std::string& o = *out;
  if (iot) {
    o += "ORGANIZATION INDEX ";
    o += io.compress < 0 ? "NOCOMPRESS" : io.compress == 0 ? "COMPRESS" : "COMPRESS " + N(io.compress);
    if (tp.segment_attributes) {
      o += " PCTFREE " + N(Or(a.pctfree, kIndexPctFree)) + " INITRANS 2 MAXTRANS " +
           N(Or(a.maxtrans, kMaxTrans)) + (a.logging == 0 ? " NOLOGGING" : " LOGGING") + "\n";
      if (tp.storage) o += "  " + Storage(a.storage) + "\n";
      if (tp.tablespace) o += "  TABLESPACE " + Quote(ts) + " ";
    } else {
      o += " ";
    }
    o += "\n PCTTHRESHOLD " + N(io.pctthreshold);
    if (io.including) {
      for (const ColumnInfo& c : t.columns)
        if (c.intcol == io.including) o += " INCLUDING " + Quote(c.name);
    }
    if (io.overflow) {
      o += " OVERFLOW";
      if (tp.segment_attributes) {
        o += "\n PCTFREE " + N(Or(a.pctfree, kTablePctFree)) + " PCTUSED " + N(Or(a.pctused, kTablePctUsed)) +
             " INITRANS 1 MAXTRANS " + N(Or(a.maxtrans, kMaxTrans)) +
             (a.logging == 0 ? " NOLOGGING" : " LOGGING") + "\n";
        if (tp.storage) o += "  " + Storage(a.storage) + "\n";
        if (tp.tablespace) o += "  TABLESPACE " + Quote(ts) + " ";
      } else {
        o += "\n ";
      }
    }
    if (!partitioned) return Status::Ok();
  } else if (tp.segment_attributes) {
    o += "PCTFREE " + N(Or(a.pctfree, kTablePctFree)) + " PCTUSED " + N(Or(a.pctused, kTablePctUsed)) +
         " INITRANS " + N(Or(a.initrans, kTableIniTrans)) + " MAXTRANS " + N(Or(a.maxtrans, kMaxTrans)) +
         " \n";
    if (tp.storage) o += "  " + std::string(kDeferredStorage) + "\n";
    if (tp.tablespace) o += "  TABLESPACE " + Quote(ts) + " ";
  }
  o += "\n  PARTITION BY " + pi.method + " (" + Keys(t, pi.keys) + ") ";
  if (!pi.interval.empty()) o += "INTERVAL (" + pi.interval + ") ";
  if (pi.submethod != "NONE") {
    o += "\n  SUBPARTITION BY " + pi.submethod + " (" + Keys(t, pi.subkeys) + ") ";
    if (!pi.subtemplate.empty()) {
      o += "\n  SUBPARTITION TEMPLATE ( ";
      for (size_t i = 0; i < pi.subtemplate.size(); ++i) {
        const PartitionRec& r = pi.subtemplate[i];
        o += std::string(i ? ", " : "") + "\n    SUBPARTITION " + Quote(r.name);
        if (pi.submethod == "LIST") o += " VALUES ( " + r.high_value + " )";
        if (pi.submethod == "RANGE") o += " VALUES LESS THAN ( " + r.high_value + " )";
      }
      o += " ) ";
    } else if (pi.def_subparts > 1) {
      // Without a template, the default count of hash subpartitions a new
      // partition gets.
      o += "\n  SUBPARTITIONS " + N(pi.def_subparts) + " ";
    }
  }
  o += "\n (";
  bool first = true;
  for (size_t i = 0; i < pi.parts.size(); ++i) {
    const PartitionRec& p = pi.parts[i];
    if (p.is_interval) continue;  // the database makes interval partitions again
    if (!first) o += ", \n ";
    first = false;
    o += "PARTITION " + Quote(p.name) + " " + BoundText(pi.method, p);
    if (pi.method == "HASH") o += "";
    bool composite = pi.submethod != "NONE";
    if (tp.segment_attributes) {
      if (composite) {
        o += "\nPCTFREE " + N(Or(a.pctfree, kTablePctFree)) + " PCTUSED " + N(Or(a.pctused, kTablePctUsed)) +
             " INITRANS " + N(Or(a.initrans, kTableIniTrans)) + " MAXTRANS " + N(Or(a.maxtrans, kMaxTrans)) +
             " \n";
        if (tp.storage) o += "  " + std::string(kDeferredStorage) + "\n";
        if (tp.tablespace) o += "  TABLESPACE " + Quote(ts) + " ";
      } else {
        bool rows = false;
        if (t.has_rows) TABDB_RETURN_IF_ERROR(PartitionHasRows(s, t, PartitionCondition(t, pi, i, nullptr), &rows));
        o += rows ? "SEGMENT CREATION IMMEDIATE \n" : "SEGMENT CREATION DEFERRED \n";
        o += "  PCTFREE " + N(Or(a.pctfree, kTablePctFree)) + " PCTUSED " + N(Or(a.pctused, kTablePctUsed)) +
             " INITRANS " + N(Or(a.initrans, kTableIniTrans)) + " MAXTRANS " + N(Or(a.maxtrans, kMaxTrans)) +
             " \n ";
        o += a.compress == 1 ? "ROW STORE COMPRESS BASIC" : "NOCOMPRESS";
        o += a.logging == 0 ? " NOLOGGING \n" : " LOGGING \n";
        if (tp.storage) o += "  " + std::string(rows ? kPartitionStorage : kDeferredStorage) + "\n";
        if (tp.tablespace) o += "  TABLESPACE " + Quote(ts) + " ";
      }
    }
    if (composite && !FollowsTemplate(pi, p)) {
      o += "\n ( ";
      for (size_t j = 0; j < p.subparts.size(); ++j) {
        const PartitionRec& sp = p.subparts[j];
        if (j) o += ", \n  ";
        o += "SUBPARTITION " + Quote(sp.name) + " " + BoundText(pi.submethod, sp);
        if (pi.submethod == "HASH") o += "";
      }
      o += ") ";
    }
  }
  o += ") ";
  if (pi.row_movement) o += " ENABLE ROW MOVEMENT ";
  return Status::Ok();
}

Status IndexPartitionTail(Session& s, int64_t index_obj, const sql::SegmentAttributes& a,
                          std::string* out, bool* partitioned_out) {
  const TransformParams& tp = s.transforms();
  PartitioningInfo pi;
  bool partitioned = false;
  TABDB_RETURN_IF_ERROR(LoadPartitioning(s, index_obj, &pi, &partitioned));
  *partitioned_out = partitioned;
  if (!partitioned) return Status::Ok();
  TableInfo t;
  TABDB_RETURN_IF_ERROR(LoadTableByObj(s, pi.table_obj, &t));
  std::string ts = Tablespace(a);
  std::string& o = *out;
  // The index's own attributes are defaults for its partitions: no segment.
  o += " \n  ";
  if (tp.segment_attributes) {
    o += "PCTFREE " + N(Or(a.pctfree, kIndexPctFree)) + " INITRANS " + N(Or(a.initrans, kIndexIniTrans)) +
         " MAXTRANS " + N(Or(a.maxtrans, kMaxTrans)) + " \n";
    if (tp.storage) o += "  " + std::string(kDeferredStorage) + "\n";
    if (tp.tablespace) o += "  TABLESPACE " + Quote(ts) + " ";
  }
  bool local = pi.locality == "LOCAL";
  if (local) {
    o += " LOCAL\n (";
  } else {
    o += " GLOBAL PARTITION BY " + pi.method + " (" + Keys(t, pi.keys) + ") \n (";
  }
  bool first = true;
  for (const PartitionRec& p : pi.parts) {
    if (p.is_interval) continue;
    if (!first) o += ", \n ";
    first = false;
    o += "PARTITION " + Quote(p.name) + " ";
    if (!local) o += BoundText(pi.method, p);
    if (pi.submethod != "NONE" && local) {
      o += "NOCOMPRESS \n ( ";
      for (size_t j = 0; j < p.subparts.size(); ++j)
        o += std::string(j ? ", \n  " : "") + "SUBPARTITION " + Quote(p.subparts[j].name) + " ";
      o += ") ";
      continue;
    }
    if (tp.segment_attributes) {
      bool rows = false;
      if (local && t.has_rows) {
        size_t at = static_cast<size_t>(&p - pi.parts.data());
        TABDB_RETURN_IF_ERROR(PartitionHasRows(s, t, PartitionCondition(t, pi, at, nullptr), &rows));
      }
      o += "\n  PCTFREE " + N(Or(a.pctfree, kIndexPctFree)) + " INITRANS " + N(Or(a.initrans, kIndexIniTrans)) +
           " MAXTRANS " + N(Or(a.maxtrans, kMaxTrans)) + (a.logging == 0 ? " NOLOGGING \n" : " LOGGING \n");
      if (tp.storage) o += "  " + std::string(rows ? kPartitionStorage : kDeferredStorage) + "\n";
      if (tp.tablespace) o += "  TABLESPACE " + Quote(ts) + " ";
    }
  }
  o += ") ";
  return Status::Ok();
}

}  // namespace cat
}  // namespace tabdb
