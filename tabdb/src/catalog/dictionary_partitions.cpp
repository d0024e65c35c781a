// dictionary_partitions.cpp - the dictionary views of partitioning:
// ALL_/USER_/DBA_ PART_TABLES, TAB_PARTITIONS, TAB_SUBPARTITIONS,
// PART_KEY_COLUMNS, SUBPART_KEY_COLUMNS, PART_INDEXES and IND_PARTITIONS,
// with Oracle's columns in Oracle's order, and V$OPTION's Partitioning row. Statistics columns are NULL;
// physical attributes are the table's (a partition has no others here).
#include "catalog/catalog_internal.h"
#include "catalog/dictionary.h"
#include "catalog/partition.h"
#include "util/errors.h"

namespace tabdb {
namespace {

TypeDesc Of(TypeKind kind, int length = kUnset) {
  TypeDesc t;
  t.kind = kind;
  t.length = length;
  return t;
}
TypeDesc V(int n) { return Of(TypeKind::kVarchar2, n); }
TypeDesc Num() { return Of(TypeKind::kNumber); }

struct PCol {
  const char* name;
  TypeDesc type;
  std::string expr;
  bool owner = false;  // the owner column USER_ views leave out
};

struct PView {
  const char* base;
  std::vector<PCol> cols;
  std::string from;  // FROM ... WHERE ...
  const char* owner_expr;
  const char* order;
  const char* table_expr = "po.table_obj";  // the table whose grants show a row in ALL_
};

std::string NumOf(const std::string& e) { return "tabdb_num(" + e + ")"; }
std::string Attr(const char* key, int64_t dflt) {
  return NumOf("coalesce(json_extract(t.attrs, '$." + std::string(key) + "'), " + std::to_string(dflt) + ")");
}
std::string KeyCount(const char* csv) {
  return std::string("CASE WHEN ") + csv + " = '' THEN 0 ELSE length(" + csv + ") - length(replace(" + csv +
         ", ',', '')) + 1 END";
}
const char* const kTablespace = "coalesce(json_extract(t.attrs, '$.tablespace'), 'USERS')";
const char* const kLogging = "CASE json_extract(t.attrs, '$.logging') WHEN 0 THEN 'NO' ELSE 'YES' END";
const char* const kCompression =
    "CASE json_extract(t.attrs, '$.compress') WHEN 1 THEN 'ENABLED' ELSE 'DISABLED' END";
// The rows of one partition (subpartition rows have sub_seq > 0; the
// template is part_seq 0).
const char* const kPartCount =
    "(SELECT count(*) FROM tab$partitions x WHERE x.obj_id = CASE WHEN po.locality = 'LOCAL' THEN"
    " po.table_obj ELSE po.obj_id END AND x.sub_seq = 0 AND x.part_seq > 0)";

// A partition's position among those of its table: part_seq orders them,
// or in an interval table the bound's key (tab$partitions.bound_key).
std::string Position(const char* rank, const char* of, const char* p) {
  return NumOf(std::string(rank) + "() OVER (PARTITION BY " + of + " ORDER BY " + p + ".bound_key, " + p +
               ".part_seq)");
}

// Columns shared by partitions and subpartitions after TABLESPACE_NAME.
std::vector<PCol> SegmentCols(bool composite_row) {
  std::string none = composite_row ? "NULL" : "";
  auto n = [&](const std::string& e) { return composite_row ? std::string("NULL") : e; };
  return {
      {"PCT_FREE", Num(), Attr("pctfree", 10)},
      {"PCT_USED", Num(), Attr("pctused", 40)},
      {"INI_TRANS", Num(), Attr("initrans", 1)},
      {"MAX_TRANS", Num(), Attr("maxtrans", 255)},
      {"INITIAL_EXTENT", Num(), n(NumOf("8388608"))},
      {"NEXT_EXTENT", Num(), n(NumOf("1048576"))},
      {"MIN_EXTENT", Num(), n(NumOf("1"))},
      {"MAX_EXTENT", Num(), n(NumOf("2147483645"))},
      {"MAX_SIZE", Num(), n(NumOf("2147483645"))},
      {"PCT_INCREASE", Num(), n(NumOf("0"))},
      {"FREELISTS", Num(), n(NumOf("1"))},
      {"FREELIST_GROUPS", Num(), n(NumOf("1"))},
      {"LOGGING", V(7), composite_row ? "'NONE'" : kLogging},
      {"COMPRESSION", V(8), composite_row ? "'NONE'" : kCompression},
      {"COMPRESS_FOR", V(30), "CASE json_extract(t.attrs, '$.compress') WHEN 1 THEN 'BASIC' END"},
      {"NUM_ROWS", Num(), "NULL"},
      {"BLOCKS", Num(), "NULL"},
      {"EMPTY_BLOCKS", Num(), "NULL"},
      {"AVG_SPACE", Num(), "NULL"},
      {"CHAIN_CNT", Num(), "NULL"},
      {"AVG_ROW_LEN", Num(), "NULL"},
      {"SAMPLE_SIZE", Num(), "NULL"},
      {"LAST_ANALYZED", Of(TypeKind::kDate), "NULL"},
      {"BUFFER_POOL", V(7), "'DEFAULT'"},
      {"FLASH_CACHE", V(7), "'DEFAULT'"},
      {"CELL_FLASH_CACHE", V(7), "'DEFAULT'"},
      {"GLOBAL_STATS", V(3), "'NO'"},
      {"USER_STATS", V(3), "'NO'"},
  };
}

std::vector<PView> Views() {
  TypeDesc num = Num();
  TypeDesc lng = Of(TypeKind::kLong);
  std::vector<PView> v;

  // *_PART_TABLES
  {
    PView pv{"PART_TABLES", {}, "", "o.owner", "ORDER BY o.obj_id"};
    pv.cols = {
        {"OWNER", V(128), "o.owner", true},
        {"TABLE_NAME", V(128), "o.name"},
        {"PARTITIONING_TYPE", V(9), "po.method"},
        {"SUBPARTITIONING_TYPE", V(9), "po.submethod"},
        {"PARTITION_COUNT", num,
         NumOf("CASE WHEN po.interval IS NOT NULL THEN 1048575 ELSE " + std::string(kPartCount) + " END")},
        {"DEF_SUBPARTITION_COUNT", num, NumOf("po.def_subparts")},
        {"PARTITIONING_KEY_COUNT", num, NumOf(KeyCount("po.key_cols"))},
        {"SUBPARTITIONING_KEY_COUNT", num, NumOf(KeyCount("po.subkey_cols"))},
        {"STATUS", V(8), "'VALID'"},
        {"DEF_TABLESPACE_NAME", V(30), "CASE WHEN w.obj_id IS NULL THEN " + std::string(kTablespace) + " END"},
        {"DEF_PCT_FREE", num, Attr("pctfree", 10)},
        {"DEF_PCT_USED", num, Attr("pctused", 40)},
        {"DEF_INI_TRANS", num, Attr("initrans", 1)},
        {"DEF_MAX_TRANS", num, Attr("maxtrans", 255)},
        {"DEF_INITIAL_EXTENT", V(40), "'DEFAULT'"},
        {"DEF_NEXT_EXTENT", V(40), "'DEFAULT'"},
        {"DEF_MIN_EXTENTS", V(40), "'DEFAULT'"},
        {"DEF_MAX_EXTENTS", V(40), "'DEFAULT'"},
        {"DEF_MAX_SIZE", V(40), "'DEFAULT'"},
        {"DEF_PCT_INCREASE", V(40), "'DEFAULT'"},
        {"DEF_FREELISTS", num, NumOf("0")},
        {"DEF_FREELIST_GROUPS", num, NumOf("0")},
        {"DEF_LOGGING", V(7),
         "CASE json_extract(t.attrs, '$.logging') WHEN 0 THEN 'NO' WHEN 1 THEN 'YES' ELSE 'NONE' END"},
        {"DEF_COMPRESSION", V(8),
         "CASE WHEN w.obj_id IS NOT NULL THEN 'N/A' ELSE CASE json_extract(t.attrs, '$.compress') WHEN 1"
         " THEN 'ENABLED' WHEN 0 THEN 'DISABLED' ELSE 'NONE' END END"},
        {"DEF_COMPRESS_FOR", V(30), "CASE json_extract(t.attrs, '$.compress') WHEN 1 THEN 'BASIC' END"},
        {"DEF_BUFFER_POOL", V(7), "'DEFAULT'"},
        {"DEF_FLASH_CACHE", V(7), "'DEFAULT'"},
        {"DEF_CELL_FLASH_CACHE", V(7), "'DEFAULT'"},
        {"REF_PTN_CONSTRAINT_NAME", V(128), "NULL"},
        {"INTERVAL", V(1000), "po.interval"},
        {"AUTOLIST", V(3), "CASE po.autolist WHEN 1 THEN 'YES' ELSE 'NO' END"},
        {"INTERVAL_SUBPARTITION", V(1000), "NULL"},
        {"AUTOLIST_SUBPARTITION", V(3), "'NO'"},
        {"IS_NESTED", V(3), "CASE WHEN w.obj_id IS NULL THEN 'NO' ELSE 'N/A' END"},
        {"DEF_SEGMENT_CREATION", V(4), "'NONE'"},
        {"DEF_INDEXING", V(3), "'ON'"},
        {"DEF_INMEMORY", V(8), "'NONE'"},
        {"DEF_READ_ONLY", V(3), "'NO'"},
    };
    pv.from =
        "FROM tab$part_objs po JOIN tab$objects o ON o.obj_id = po.obj_id"
        " JOIN tab$tables t ON t.obj_id = po.obj_id LEFT JOIN tab$iot w ON w.obj_id = po.obj_id"
        " WHERE po.locality IS NULL";
    v.push_back(std::move(pv));
  }

  // *_TAB_PARTITIONS
  {
    PView pv{"TAB_PARTITIONS", {}, "", "o.owner", "ORDER BY o.obj_id, p.bound_key, p.part_seq", "p.obj_id"};
    bool composite = false;
    (void)composite;
    pv.cols = {
        {"TABLE_OWNER", V(128), "o.owner", true},
        {"TABLE_NAME", V(128), "o.name"},
        {"COMPOSITE", V(3), "CASE WHEN po.submethod = 'NONE' THEN 'NO' ELSE 'YES' END"},
        {"PARTITION_NAME", V(128), "p.name"},
        {"SUBPARTITION_COUNT", num,
         NumOf("(SELECT count(*) FROM tab$partitions x WHERE x.obj_id = p.obj_id AND x.part_seq ="
               " p.part_seq AND x.sub_seq > 0)")},
        {"HIGH_VALUE", lng, "p.high_value"},
        {"HIGH_VALUE_LENGTH", num, NumOf("coalesce(length(p.high_value), 0)")},
        {"PARTITION_POSITION", num, Position("row_number", "p.obj_id", "p")},
        {"TABLESPACE_NAME", V(30), std::string("CASE WHEN w.obj_id IS NULL THEN ") + kTablespace + " END"},
    };
    for (PCol& c : SegmentCols(false)) pv.cols.push_back(std::move(c));
    std::vector<PCol> tail = {
        {"IS_NESTED", V(3), "'NO'"},
        {"PARENT_TABLE_PARTITION", V(128), "NULL"},
        {"INTERVAL", V(3), "CASE p.is_interval WHEN 1 THEN 'YES' ELSE 'NO' END"},
        {"SEGMENT_CREATED", V(4),
         "CASE WHEN po.submethod <> 'NONE' THEN 'NONE' WHEN t.has_rows THEN 'YES' ELSE 'NO' END"},
        {"INDEXING", V(4), "'ON'"},
        {"READ_ONLY", V(4), "'NO'"},
        {"INMEMORY", V(8), "'DISABLED'"},
        {"MEMOPTIMIZE_READ", V(8), "'DISABLED'"},
        {"MEMOPTIMIZE_WRITE", V(8), "'DISABLED'"},
    };
    for (PCol& c : tail) pv.cols.push_back(std::move(c));
    pv.from =
        "FROM tab$partitions p JOIN tab$part_objs po ON po.obj_id = p.obj_id AND po.locality IS NULL"
        " JOIN tab$objects o ON o.obj_id = p.obj_id JOIN tab$tables t ON t.obj_id = p.obj_id"
        " LEFT JOIN tab$iot w ON w.obj_id = p.obj_id WHERE p.sub_seq = 0 AND p.part_seq > 0";
    v.push_back(std::move(pv));
  }

  // *_TAB_SUBPARTITIONS
  {
    PView pv{"TAB_SUBPARTITIONS", {}, "", "o.owner", "ORDER BY o.obj_id, sp.bound_key, sp.part_seq, sp.sub_seq",
             "sp.obj_id"};
    pv.cols = {
        {"TABLE_OWNER", V(128), "o.owner", true},
        {"TABLE_NAME", V(128), "o.name"},
        {"PARTITION_NAME", V(128), "p.name"},
        {"SUBPARTITION_NAME", V(128), "sp.name"},
        {"HIGH_VALUE", lng, "sp.high_value"},
        {"HIGH_VALUE_LENGTH", num, NumOf("coalesce(length(sp.high_value), 0)")},
        {"PARTITION_POSITION", num, Position("dense_rank", "sp.obj_id", "p")},
        {"SUBPARTITION_POSITION", num, NumOf("sp.sub_seq")},
        {"TABLESPACE_NAME", V(30), kTablespace},
    };
    for (PCol& c : SegmentCols(false)) pv.cols.push_back(std::move(c));
    std::vector<PCol> tail = {
        {"INTERVAL", V(3), "CASE p.is_interval WHEN 1 THEN 'YES' ELSE 'NO' END"},
        {"SEGMENT_CREATED", V(3), "CASE WHEN t.has_rows THEN 'YES' ELSE 'NO' END"},
        {"INDEXING", V(3), "'ON'"},
        {"READ_ONLY", V(3), "'NO'"},
        {"INMEMORY", V(8), "'DISABLED'"},
        {"MEMOPTIMIZE_READ", V(8), "'DISABLED'"},
        {"MEMOPTIMIZE_WRITE", V(8), "'DISABLED'"},
    };
    for (PCol& c : tail) pv.cols.push_back(std::move(c));
    pv.from =
        "FROM tab$partitions sp JOIN tab$partitions p ON p.obj_id = sp.obj_id AND p.part_seq = sp.part_seq"
        " AND p.sub_seq = 0 JOIN tab$part_objs po ON po.obj_id = sp.obj_id AND po.locality IS NULL"
        " JOIN tab$objects o ON o.obj_id = sp.obj_id JOIN tab$tables t ON t.obj_id = sp.obj_id"
        " WHERE sp.sub_seq > 0 AND sp.part_seq > 0";
    v.push_back(std::move(pv));
  }

  // *_PART_KEY_COLUMNS and *_SUBPART_KEY_COLUMNS
  for (int sub = 0; sub < 2; ++sub) {
    const char* keys = sub ? "po.subkey_cols" : "po.key_cols";
    PView pv{sub ? "SUBPART_KEY_COLUMNS" : "PART_KEY_COLUMNS", {}, "", "o.owner",
             "ORDER BY o.obj_id, j.key"};
    pv.cols = {
        {"OWNER", V(128), "o.owner", true},
        {"NAME", V(128), "o.name"},
        {"OBJECT_TYPE", V(5), "CASE WHEN po.locality IS NULL THEN 'TABLE' ELSE 'INDEX' END"},
        {"COLUMN_NAME", V(4000), "c.name"},
        {"COLUMN_POSITION", num, NumOf("j.key + 1")},
        {"COLLATED_COLUMN_ID", num, "NULL"},
    };
    pv.from = std::string("FROM tab$part_objs po JOIN tab$objects o ON o.obj_id = po.obj_id") +
              " JOIN json_each('[' || " + keys + " || ']') j" +
              " JOIN tab$columns c ON c.obj_id = po.table_obj AND c.intcol = j.value WHERE " + keys + " <> ''";
    v.push_back(std::move(pv));
  }

  // *_PART_INDEXES
  {
    PView pv{"PART_INDEXES", {}, "", "o.owner", "ORDER BY o.obj_id"};
    pv.cols = {
        {"OWNER", V(128), "o.owner", true},
        {"INDEX_NAME", V(128), "o.name"},
        {"TABLE_NAME", V(128), "tob.name"},
        {"PARTITIONING_TYPE", V(9), "po.method"},
        {"SUBPARTITIONING_TYPE", V(9), "po.submethod"},
        {"PARTITION_COUNT", num,
         NumOf("CASE WHEN po.interval IS NOT NULL THEN 1048575 ELSE " + std::string(kPartCount) + " END")},
        {"DEF_SUBPARTITION_COUNT", num, NumOf("po.def_subparts")},
        {"PARTITIONING_KEY_COUNT", num, NumOf(KeyCount("po.key_cols"))},
        {"SUBPARTITIONING_KEY_COUNT", num, NumOf(KeyCount("po.subkey_cols"))},
        {"LOCALITY", V(6), "po.locality"},
        {"ALIGNMENT", V(12),
         "CASE WHEN po.locality = 'GLOBAL' OR (SELECT group_concat(ic.intcol) FROM tab$ind_columns ic"
         " WHERE ic.index_obj = po.obj_id AND ic.position <= " +
             KeyCount("po.key_cols") + ") = po.key_cols THEN 'PREFIXED' ELSE 'NON_PREFIXED' END"},
        {"DEF_TABLESPACE_NAME", V(30), "coalesce(json_extract(i.attrs, '$.tablespace'), 'USERS')"},
        {"DEF_PCT_FREE", num, NumOf("coalesce(json_extract(i.attrs, '$.pctfree'), 10)")},
        {"DEF_INI_TRANS", num, NumOf("coalesce(json_extract(i.attrs, '$.initrans'), 2)")},
        {"DEF_MAX_TRANS", num, NumOf("coalesce(json_extract(i.attrs, '$.maxtrans'), 255)")},
        {"DEF_INITIAL_EXTENT", V(40), "'DEFAULT'"},
        {"DEF_NEXT_EXTENT", V(40), "'DEFAULT'"},
        {"DEF_MIN_EXTENTS", V(40), "'DEFAULT'"},
        {"DEF_MAX_EXTENTS", V(40), "'DEFAULT'"},
        {"DEF_MAX_SIZE", V(40), "'DEFAULT'"},
        {"DEF_PCT_INCREASE", V(40), "'DEFAULT'"},
        {"DEF_FREELISTS", num, NumOf("0")},
        {"DEF_FREELIST_GROUPS", num, NumOf("0")},
        {"DEF_LOGGING", V(7), "'NONE'"},
        {"DEF_BUFFER_POOL", V(7), "'DEFAULT'"},
        {"DEF_FLASH_CACHE", V(7), "'DEFAULT'"},
        {"DEF_CELL_FLASH_CACHE", V(7), "'DEFAULT'"},
        {"DEF_PARAMETERS", V(1000), "NULL"},
        {"INTERVAL", V(1000), "po.interval"},
        {"AUTOLIST", V(3), "'NO'"},
        {"INTERVAL_SUBPARTITION", V(1000), "NULL"},
        {"AUTOLIST_SUBPARTITION", V(3), "'NO'"},
    };
    pv.from =
        "FROM tab$part_objs po JOIN tab$objects o ON o.obj_id = po.obj_id"
        " JOIN tab$indexes i ON i.obj_id = po.obj_id JOIN tab$objects tob ON tob.obj_id = po.table_obj"
        " WHERE po.locality IS NOT NULL";
    v.push_back(std::move(pv));
  }

  // *_IND_PARTITIONS
  {
    PView pv{"IND_PARTITIONS", {}, "", "o.owner", "ORDER BY o.obj_id, p.bound_key, p.part_seq"};
    pv.cols = {
        {"INDEX_OWNER", V(128), "o.owner", true},
        {"INDEX_NAME", V(128), "o.name"},
        {"COMPOSITE", V(3), "CASE WHEN po.submethod = 'NONE' THEN 'NO' ELSE 'YES' END"},
        {"PARTITION_NAME", V(128), "p.name"},
        {"SUBPARTITION_COUNT", num,
         NumOf("(SELECT count(*) FROM tab$partitions x WHERE x.obj_id = p.obj_id AND x.part_seq ="
               " p.part_seq AND x.sub_seq > 0)")},
        {"HIGH_VALUE", lng, "p.high_value"},
        {"HIGH_VALUE_LENGTH", num, NumOf("coalesce(length(p.high_value), 0)")},
        {"PARTITION_POSITION", num, Position("row_number", "po.obj_id", "p")},
        {"STATUS", V(8), "CASE WHEN po.submethod = 'NONE' THEN 'USABLE' ELSE 'N/A' END"},
        {"TABLESPACE_NAME", V(30), "coalesce(json_extract(i.attrs, '$.tablespace'), 'USERS')"},
        {"PCT_FREE", num, NumOf("coalesce(json_extract(i.attrs, '$.pctfree'), 10)")},
        {"INI_TRANS", num, NumOf("coalesce(json_extract(i.attrs, '$.initrans'), 2)")},
        {"MAX_TRANS", num, NumOf("coalesce(json_extract(i.attrs, '$.maxtrans'), 255)")},
        {"INITIAL_EXTENT", num, NumOf("8388608")},
        {"NEXT_EXTENT", num, NumOf("1048576")},
        {"MIN_EXTENT", num, NumOf("1")},
        {"MAX_EXTENT", num, NumOf("2147483645")},
        {"MAX_SIZE", num, NumOf("2147483645")},
        {"PCT_INCREASE", num, NumOf("0")},
        {"FREELISTS", num, NumOf("1")},
        {"FREELIST_GROUPS", num, NumOf("1")},
        {"LOGGING", V(7), "CASE json_extract(i.attrs, '$.logging') WHEN 0 THEN 'NO' ELSE 'YES' END"},
        {"COMPRESSION", V(13), "'DISABLED'"},
        {"BLEVEL", num, "NULL"},
        {"LEAF_BLOCKS", num, "NULL"},
        {"DISTINCT_KEYS", num, "NULL"},
        {"AVG_LEAF_BLOCKS_PER_KEY", num, "NULL"},
        {"AVG_DATA_BLOCKS_PER_KEY", num, "NULL"},
        {"CLUSTERING_FACTOR", num, "NULL"},
        {"NUM_ROWS", num, "NULL"},
        {"SAMPLE_SIZE", num, "NULL"},
        {"LAST_ANALYZED", Of(TypeKind::kDate), "NULL"},
        {"BUFFER_POOL", V(7), "'DEFAULT'"},
        {"FLASH_CACHE", V(7), "'DEFAULT'"},
        {"CELL_FLASH_CACHE", V(7), "'DEFAULT'"},
        {"USER_STATS", V(3), "'NO'"},
        {"PCT_DIRECT_ACCESS", num, "NULL"},
        {"GLOBAL_STATS", V(3), "'NO'"},
        {"DOMIDX_OPSTATUS", V(6), "NULL"},
        {"PARAMETERS", V(1000), "NULL"},
        {"INTERVAL", V(3), "CASE p.is_interval WHEN 1 THEN 'YES' ELSE 'NO' END"},
        {"SEGMENT_CREATED", V(3), "CASE WHEN t.has_rows THEN 'YES' ELSE 'NO' END"},
        {"ORPHANED_ENTRIES", V(3), "'NO'"},
    };
    pv.from =
        "FROM tab$part_objs po JOIN tab$objects o ON o.obj_id = po.obj_id"
        " JOIN tab$indexes i ON i.obj_id = po.obj_id JOIN tab$tables t ON t.obj_id = po.table_obj"
        " JOIN tab$partitions p ON p.obj_id = CASE WHEN po.locality = 'LOCAL' THEN po.table_obj ELSE"
        " po.obj_id END AND p.sub_seq = 0 AND p.part_seq > 0 WHERE po.locality IS NOT NULL";
    v.push_back(std::move(pv));
  }
  return v;
}

}  // namespace

bool FindPartitionView(Session& s, const std::string& name, DictionaryView* out, Status* status) {
  if (name == "V$OPTION") {
    // The options of the database, as scripts test them before they
    // partition: only partitioning can be switched off here.
    *status = Status::Ok();
    out->name = name;
    out->columns = {{"PARAMETER", V(64)}, {"VALUE", V(64)}, {"CON_ID", Num()}};
    out->sql = std::string("SELECT 'Partitioning' AS \"PARAMETER\", '") +
               (PartitioningDisabled() ? "FALSE" : "TRUE") + "' AS \"VALUE\", tabdb_num(0) AS \"CON_ID\"";
    EnsureDictionaryFunctions(s.db().handle());
    return true;
  }
  enum { kAll, kUser, kDba } family;
  std::string base;
  if (name.rfind("ALL_", 0) == 0) {
    family = kAll;
    base = name.substr(4);
  } else if (name.rfind("USER_", 0) == 0) {
    family = kUser;
    base = name.substr(5);
  } else if (name.rfind("DBA_", 0) == 0) {
    family = kDba;
    base = name.substr(4);
  } else {
    return false;
  }
  static const std::vector<PView> views = Views();
  const PView* v = nullptr;
  for (const PView& pv : views)
    if (base == pv.base) v = &pv;
  if (v == nullptr) return false;
  *status = Status::Ok();
  if (family == kDba && !s.user().dba) {
    *status = OraError(ora::kTableNotExist);
    return true;
  }
  EnsureDictionaryFunctions(s.db().handle());
  std::string me = cat::SqlString(s.user().name);
  std::string filter;
  if (family == kUser) {
    filter = std::string(v->owner_expr) + " = " + me;
  } else if (family == kAll && !s.user().dba) {
    // ALL_: the user's own objects and those on tables granted to it or PUBLIC.
    filter = "(" + std::string(v->owner_expr) + " = " + me + " OR " + v->table_expr +
             " IN (SELECT obj_id FROM tab$privs WHERE obj_id <> 0 AND grantee IN (" + me + ", 'PUBLIC')))";
  }
  out->name = name;
  out->columns.clear();
  std::string select;
  for (const PCol& c : v->cols) {
    if (family == kUser && c.owner) continue;
    if (!select.empty()) select += ", ";
    select += c.expr + " AS \"" + c.name + "\"";
    out->columns.push_back({c.name, c.type});
  }
  out->sql = "SELECT " + select + " " + v->from + (filter.empty() ? "" : " AND " + filter) + " " + v->order;
  return true;
}

}  // namespace tabdb
