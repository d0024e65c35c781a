// dictionary.cpp - the data dictionary views as SELECTs over the catalog
// tables: ALL_/USER_/DBA_ TABLES, TAB_COLS, TAB_COLUMNS, INDEXES,
// IND_COLUMNS, CONSTRAINTS, CONS_COLUMNS and USERS, with Oracle's column
// names, types and value conventions; and NLS_DATABASE_PARAMETERS and
// NLS_SESSION_PARAMETERS, fixed rows of what the database really does.
//
// The SQL is made per session: the rows a session may see are fixed in the
// text (a DBA sees every schema, another user its own objects), and the
// physical attributes come from the recorded JSON through json_extract().
// Rows come in creation order (ALL_TAB_COLS by internal column number, so
// hidden index columns come last).
#include <sqlite3.h>

#include <ctime>

#include "catalog/catalog_internal.h"
#include "catalog/code_units.h"
#include "catalog/dictionary.h"
#include "catalog/partition.h"
#include "catalog/sequence.h"
#include "util/errors.h"
#include "values/datetime.h"
#include "values/datetime_format.h"
#include "values/number.h"

namespace tabdb {
namespace {

using cat::SqlString;

enum Family { kAll, kUser, kDba };

// Which variants show a column.
enum Show : int {
  kEvery = 0,
  kNoUser = 1,    // left out of the USER_ view (its OWNER column)
  kColsOnly = 2,  // ALL_TAB_COLS, not ALL_TAB_COLUMNS
};

struct Col {
  const char* name;
  TypeDesc type;
  std::string expr;
  int show = kEvery;
};

TypeDesc V(int n) {
  TypeDesc t;
  t.kind = TypeKind::kVarchar2;
  t.length = n;
  return t;
}
TypeDesc Num() {
  TypeDesc t;
  t.kind = TypeKind::kNumber;
  return t;
}
TypeDesc Date() {
  TypeDesc t;
  t.kind = TypeKind::kDate;
  return t;
}
TypeDesc LongType() {
  TypeDesc t;
  t.kind = TypeKind::kLong;
  return t;
}
TypeDesc Raw(int n) {
  TypeDesc t;
  t.kind = TypeKind::kRaw;
  t.length = n;
  return t;
}

std::string NumOf(const std::string& e) { return "tabdb_num(" + e + ")"; }
std::string J(const char* column, const char* key) {
  return std::string("json_extract(") + column + ", '$." + key + "')";
}
std::string JOr(const char* column, const char* key, int64_t dflt) {
  return "coalesce(" + J(column, key) + ", " + std::to_string(dflt) + ")";
}
std::string JOrS(const char* column, const char* key, const char* dflt) {
  return "coalesce(" + J(column, key) + ", '" + dflt + "')";
}

// SQL function tabdb_numtext(text): the NUMBER bytes of a decimal text
// (values beyond 64 bits, such as a sequence's unbounded limits).
void DictNumText(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const unsigned char* t = sqlite3_value_text(argv[0]);
  Number n;
  if (t == nullptr || !Number::Parse(reinterpret_cast<const char*>(t), &n).ok()) {
    sqlite3_result_null(ctx);
    return;
  }
  uint8_t buf[kNumberBufferBytes];
  size_t len = n.EncodeTo(buf);
  sqlite3_result_blob(ctx, buf, static_cast<int>(len), SQLITE_TRANSIENT);
}

// SQL function tabdb_dict_date(julianday): the 7-byte DATE of a catalog
// timestamp (kept as a UTC Julian day) in local time, as SYSDATE gives it.
void DictDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  double jd = sqlite3_value_double(argv[0]);
  std::time_t secs = static_cast<std::time_t>((jd - 2440587.5) * 86400.0 + 0.5);
  std::tm tm{};
  localtime_r(&secs, &tm);
  DateTime d;
  d.year = tm.tm_year + 1900;
  d.month = tm.tm_mon + 1;
  d.day = tm.tm_mday;
  d.hour = tm.tm_hour;
  d.minute = tm.tm_min;
  d.second = tm.tm_sec;
  uint8_t out[7];
  EncodeDate(d, out);
  sqlite3_result_blob(ctx, out, 7, SQLITE_TRANSIENT);
}

struct ViewDef {
  std::vector<Col> cols;
  std::string from;   // FROM ... WHERE <fixed conditions>
  std::string order;  // ORDER BY ...
};

// Kinds for CHARACTER_SET_NAME.
std::string KindList(std::initializer_list<TypeKind> kinds) {
  std::string out;
  for (TypeKind k : kinds) {
    if (!out.empty()) out += ", ";
    out += std::to_string(static_cast<int>(k));
  }
  return out;
}

ViewDef Tables() {
  const char* a = "t.attrs";
  std::string segment =
      "CASE WHEN " + J(a, "segment_creation") + " = 1 OR t.has_rows THEN 'YES' ELSE 'NO' END";
  ViewDef v;
  v.cols = {
      {"OWNER", V(128), "o.owner", kNoUser},
      {"TABLE_NAME", V(128), "o.name"},
      // Partitioned and index-organized tables have no segment of their own.
      {"TABLESPACE_NAME", V(30),
       "CASE WHEN EXISTS (SELECT 1 FROM tab$part_objs po WHERE po.obj_id = o.obj_id) OR EXISTS"
       " (SELECT 1 FROM tab$iot w WHERE w.obj_id = o.obj_id) THEN NULL ELSE " +
           JOrS(a, "tablespace", cat::kDefaultTablespace) + " END"},
      {"CLUSTER_NAME", V(128), "NULL"},
      {"IOT_NAME", V(128), "NULL"},
      {"STATUS", V(8), "'VALID'"},
      {"PCT_FREE", Num(), NumOf(JOr(a, "pctfree", cat::kTablePctFree))},
      {"PCT_USED", Num(), NumOf(JOr(a, "pctused", cat::kTablePctUsed))},
      {"INI_TRANS", Num(), NumOf(JOr(a, "initrans", cat::kTableIniTrans))},
      {"MAX_TRANS", Num(), NumOf(JOr(a, "maxtrans", cat::kMaxTrans))},
      {"INITIAL_EXTENT", Num(), NumOf(JOr(a, "st_initial", cat::kInitialExtent))},
      {"NEXT_EXTENT", Num(), NumOf(JOr(a, "st_next", cat::kNextExtent))},
      {"MIN_EXTENTS", Num(), NumOf(JOr(a, "st_minextents", cat::kMinExtents))},
      {"MAX_EXTENTS", Num(), NumOf(JOr(a, "st_maxextents", cat::kMaxExtents))},
      {"PCT_INCREASE", Num(), NumOf(JOr(a, "st_pctincrease", 0))},
      {"FREELISTS", Num(), NumOf(JOr(a, "st_freelists", 1))},
      {"FREELIST_GROUPS", Num(), NumOf(JOr(a, "st_freelist_groups", 1))},
      {"LOGGING", V(3), "CASE " + J(a, "logging") + " WHEN 0 THEN 'NO' ELSE 'YES' END"},
      {"BACKED_UP", V(1), "'N'"},
      {"NUM_ROWS", Num(), "NULL"},
      {"BLOCKS", Num(), "NULL"},
      {"EMPTY_BLOCKS", Num(), "NULL"},
      {"AVG_SPACE", Num(), "NULL"},
      {"CHAIN_CNT", Num(), "NULL"},
      {"AVG_ROW_LEN", Num(), "NULL"},
      {"DEGREE", V(10), "'         1'"},
      {"INSTANCES", V(10), "'         1'"},
      {"CACHE", V(5), "'    N'"},
      {"TABLE_LOCK", V(8), "'ENABLED'"},
      {"SAMPLE_SIZE", Num(), "NULL"},
      {"LAST_ANALYZED", Date(), "NULL"},
      {"PARTITIONED", V(3),
       "CASE WHEN EXISTS (SELECT 1 FROM tab$part_objs po WHERE po.obj_id = o.obj_id) THEN 'YES'"
       " ELSE 'NO' END"},
      {"IOT_TYPE", V(12), "CASE WHEN EXISTS (SELECT 1 FROM tab$iot w WHERE w.obj_id = o.obj_id) THEN 'IOT' END"},
      {"TEMPORARY", V(1), "CASE WHEN t.temp_rows IS NULL THEN 'N' ELSE 'Y' END"},
      {"SECONDARY", V(1), "'N'"},
      {"NESTED", V(3), "'NO'"},
      {"BUFFER_POOL", V(7), JOrS(a, "st_buffer_pool", "DEFAULT")},
      {"FLASH_CACHE", V(7), JOrS(a, "st_flash_cache", "DEFAULT")},
      {"CELL_FLASH_CACHE", V(7), JOrS(a, "st_cell_flash_cache", "DEFAULT")},
      {"ROW_MOVEMENT", V(8), "'DISABLED'"},
      {"GLOBAL_STATS", V(3), "'NO'"},
      {"USER_STATS", V(3), "'NO'"},
      {"DURATION", V(15), "CASE t.temp_rows WHEN 'DELETE' THEN 'SYS$TRANSACTION' WHEN 'PRESERVE' THEN 'SYS$SESSION' END"},
      {"SKIP_CORRUPT", V(8), "'DISABLED'"},
      {"MONITORING", V(3), "'YES'"},
      {"CLUSTER_OWNER", V(128), "NULL"},
      {"DEPENDENCIES", V(8), "'DISABLED'"},
      {"COMPRESSION", V(8),
       "CASE " + J(a, "compress") + " WHEN 1 THEN 'ENABLED' ELSE 'DISABLED' END"},
      {"COMPRESS_FOR", V(30), "CASE " + J(a, "compress") + " WHEN 1 THEN 'BASIC' END"},
      {"DROPPED", V(3), "'NO'"},
      {"READ_ONLY", V(3), "'NO'"},
      {"SEGMENT_CREATED", V(3), segment},
      {"RESULT_CACHE", V(7), "'DEFAULT'"},
  };
  v.from = "FROM tab$objects o JOIN tab$tables t ON t.obj_id = o.obj_id WHERE o.type = 'TABLE'";
  v.order = "ORDER BY o.obj_id";
  return v;
}

ViewDef TabCols() {
  std::string chars = KindList({TypeKind::kVarchar2, TypeKind::kChar, TypeKind::kLong,
                                TypeKind::kClob});
  std::string nchars = KindList({TypeKind::kNVarchar2, TypeKind::kNChar, TypeKind::kNClob});
  std::string decl = KindList({TypeKind::kVarchar2, TypeKind::kChar, TypeKind::kNVarchar2,
                               TypeKind::kNChar});
  ViewDef v;
  v.cols = {
      {"OWNER", V(128), "o.owner", kNoUser},
      {"TABLE_NAME", V(128), "o.name"},
      {"COLUMN_NAME", V(128), "c.name"},
      {"DATA_TYPE", V(128), "c.data_type"},
      {"DATA_TYPE_MOD", V(3), "NULL"},
      {"DATA_TYPE_OWNER", V(128), "NULL"},
      {"DATA_LENGTH", Num(), NumOf("c.data_length")},
      {"DATA_PRECISION", Num(), NumOf("c.data_precision")},
      {"DATA_SCALE", Num(), NumOf("c.data_scale")},
      {"NULLABLE", V(1), "c.nullable"},
      {"COLUMN_ID", Num(), NumOf("c.column_id")},
      {"DEFAULT_LENGTH", Num(), NumOf("length(CAST(c.data_default AS BLOB))")},
      {"DATA_DEFAULT", V(4000), "c.data_default"},
      {"NUM_DISTINCT", Num(), "NULL"},
      {"LOW_VALUE", Raw(1000), "NULL"},
      {"HIGH_VALUE", Raw(1000), "NULL"},
      {"DENSITY", Num(), "NULL"},
      {"NUM_NULLS", Num(), "NULL"},
      {"NUM_BUCKETS", Num(), "NULL"},
      {"LAST_ANALYZED", Date(), "NULL"},
      {"SAMPLE_SIZE", Num(), "NULL"},
      {"CHARACTER_SET_NAME", V(44),
       "CASE WHEN c.kind IN (" + chars + ") THEN 'CHAR_CS' WHEN c.kind IN (" + nchars +
           ") THEN 'NCHAR_CS' END"},
      {"CHAR_COL_DECL_LENGTH", Num(),
       NumOf("CASE WHEN c.kind IN (" + decl + ") THEN c.data_length END")},
      {"GLOBAL_STATS", V(3), "'NO'"},
      {"USER_STATS", V(3), "'NO'"},
      {"AVG_COL_LEN", Num(), "NULL"},
      {"CHAR_LENGTH", Num(), NumOf("c.char_length")},
      {"CHAR_USED", V(1), "c.char_used"},
      {"V80_FMT_IMAGE", V(3), "'NO'"},
      {"DATA_UPGRADED", V(3), "'YES'"},
      {"HIDDEN_COLUMN", V(3), "c.hidden", kColsOnly},
      {"VIRTUAL_COLUMN", V(3), "c.virtual", kColsOnly},
      {"SEGMENT_COLUMN_ID", Num(),
       NumOf("CASE WHEN c.virtual = 'NO' AND o.type = 'TABLE' THEN (SELECT count(*) FROM tab$columns x"
             " WHERE x.obj_id = c.obj_id AND x.virtual = 'NO' AND x.intcol <= c.intcol) END"),
       kColsOnly},
      {"INTERNAL_COLUMN_ID", Num(), NumOf("c.intcol"), kColsOnly},
      {"HISTOGRAM", V(15), "'NONE'"},
      {"QUALIFIED_COL_NAME", V(4000), "c.name", kColsOnly},
      {"USER_GENERATED", V(3), "CASE c.hidden WHEN 'YES' THEN 'NO' ELSE 'YES' END"},
      {"DEFAULT_ON_NULL", V(3), "CASE WHEN c.ident_kind = 3 OR c.default_on_null = 1 THEN 'YES' ELSE 'NO' END"},
      {"IDENTITY_COLUMN", V(3), "CASE c.ident_kind WHEN 0 THEN 'NO' ELSE 'YES' END"},
  };
  v.from = "FROM tab$columns c JOIN tab$objects o ON o.obj_id = c.obj_id WHERE o.type IN ('TABLE', 'VIEW')";
  v.order = "ORDER BY o.obj_id, c.intcol";
  return v;
}

ViewDef Indexes() {
  const char* a = "i.attrs";
  ViewDef v;
  v.cols = {
      {"OWNER", V(128), "o.owner", kNoUser},
      {"INDEX_NAME", V(128), "o.name"},
      {"INDEX_TYPE", V(27), "i.index_type"},
      {"TABLE_OWNER", V(128), "tob.owner"},
      {"TABLE_NAME", V(128), "tob.name"},
      {"TABLE_TYPE", V(11), "'TABLE'"},
      {"UNIQUENESS", V(9), "i.uniqueness"},
      {"COMPRESSION", V(13), "'DISABLED'"},
      {"PREFIX_LENGTH", Num(), "NULL"},
      {"TABLESPACE_NAME", V(30), JOrS(a, "tablespace", cat::kDefaultTablespace)},
      {"INI_TRANS", Num(), NumOf(JOr(a, "initrans", cat::kIndexIniTrans))},
      {"MAX_TRANS", Num(), NumOf(JOr(a, "maxtrans", cat::kMaxTrans))},
      {"INITIAL_EXTENT", Num(), NumOf(JOr(a, "st_initial", cat::kInitialExtent))},
      {"NEXT_EXTENT", Num(), NumOf(JOr(a, "st_next", cat::kNextExtent))},
      {"MIN_EXTENTS", Num(), NumOf(JOr(a, "st_minextents", cat::kMinExtents))},
      {"MAX_EXTENTS", Num(), NumOf(JOr(a, "st_maxextents", cat::kMaxExtents))},
      {"PCT_INCREASE", Num(), NumOf(JOr(a, "st_pctincrease", 0))},
      {"PCT_THRESHOLD", Num(), "NULL"},
      {"INCLUDE_COLUMN", Num(), "NULL"},
      {"FREELISTS", Num(), NumOf(JOr(a, "st_freelists", 1))},
      {"FREELIST_GROUPS", Num(), NumOf(JOr(a, "st_freelist_groups", 1))},
      {"PCT_FREE", Num(), NumOf(JOr(a, "pctfree", cat::kIndexPctFree))},
      {"LOGGING", V(3), "CASE " + J(a, "logging") + " WHEN 0 THEN 'NO' ELSE 'YES' END"},
      {"BLEVEL", Num(), "NULL"},
      {"LEAF_BLOCKS", Num(), "NULL"},
      {"DISTINCT_KEYS", Num(), "NULL"},
      {"AVG_LEAF_BLOCKS_PER_KEY", Num(), "NULL"},
      {"AVG_DATA_BLOCKS_PER_KEY", Num(), "NULL"},
      {"CLUSTERING_FACTOR", Num(), "NULL"},
      {"STATUS", V(8), "'VALID'"},
      {"NUM_ROWS", Num(), "NULL"},
      {"SAMPLE_SIZE", Num(), "NULL"},
      {"LAST_ANALYZED", Date(), "NULL"},
      {"DEGREE", V(40),
       "CASE WHEN " + J(a, "parallel") + " > 1 THEN CAST(" + J(a, "parallel") +
           " AS TEXT) ELSE '1' END"},
      {"INSTANCES", V(40), "'1'"},
      {"PARTITIONED", V(3),
       "CASE WHEN EXISTS (SELECT 1 FROM tab$part_objs po WHERE po.obj_id = i.obj_id) THEN 'YES'"
       " ELSE 'NO' END"},
      {"TEMPORARY", V(1), "CASE WHEN t.temp_rows IS NULL THEN 'N' ELSE 'Y' END"},
      {"GENERATED", V(1), "i.generated"},
      {"SECONDARY", V(1), "'N'"},
      {"BUFFER_POOL", V(7), JOrS(a, "st_buffer_pool", "DEFAULT")},
      {"FLASH_CACHE", V(7), JOrS(a, "st_flash_cache", "DEFAULT")},
      {"CELL_FLASH_CACHE", V(7), JOrS(a, "st_cell_flash_cache", "DEFAULT")},
      {"USER_STATS", V(3), "'NO'"},
      {"DURATION", V(15), "CASE t.temp_rows WHEN 'DELETE' THEN 'SYS$TRANSACTION' WHEN 'PRESERVE' THEN 'SYS$SESSION' END"},
      {"PCT_DIRECT_ACCESS", Num(), "NULL"},
      {"ITYP_OWNER", V(128), "NULL"},
      {"ITYP_NAME", V(128), "NULL"},
      {"PARAMETERS", V(1000), "NULL"},
      {"GLOBAL_STATS", V(3), "'NO'"},
      {"DOMIDX_STATUS", V(12), "NULL"},
      {"DOMIDX_OPSTATUS", V(6), "NULL"},
      {"FUNCIDX_STATUS", V(8),
       "CASE WHEN i.index_type LIKE 'FUNCTION-BASED%' THEN 'ENABLED' END"},
      {"JOIN_INDEX", V(3), "'NO'"},
      {"IOT_REDUNDANT_PKEY_ELIM", V(3), "'NO'"},
      {"DROPPED", V(3), "'NO'"},
      {"VISIBILITY", V(9), "'VISIBLE'"},
      {"DOMIDX_MANAGEMENT", V(14), "NULL"},
      {"SEGMENT_CREATED", V(3),
       "CASE WHEN " + J("t.attrs", "segment_creation") +
           " = 1 OR t.has_rows THEN 'YES' ELSE 'NO' END"},
  };
  v.from =
      "FROM tab$indexes i JOIN tab$objects o ON o.obj_id = i.obj_id"
      " JOIN tab$objects tob ON tob.obj_id = i.table_obj"
      " JOIN tab$tables t ON t.obj_id = i.table_obj WHERE 1";
  v.order = "ORDER BY i.obj_id";
  return v;
}

ViewDef IndColumns() {
  ViewDef v;
  v.cols = {
      {"INDEX_OWNER", V(128), "o.owner", kNoUser},
      {"INDEX_NAME", V(128), "o.name"},
      {"TABLE_OWNER", V(128), "tob.owner", kNoUser},
      {"TABLE_NAME", V(128), "tob.name"},
      {"COLUMN_NAME", V(4000), "c.name"},
      {"COLUMN_POSITION", Num(), NumOf("ic.position")},
      {"COLUMN_LENGTH", Num(), NumOf("c.data_length")},
      {"CHAR_LENGTH", Num(), NumOf("c.char_length")},
      {"DESCEND", V(4), "ic.descend"},
  };
  v.from =
      "FROM tab$ind_columns ic JOIN tab$indexes i ON i.obj_id = ic.index_obj"
      " JOIN tab$objects o ON o.obj_id = i.obj_id"
      " JOIN tab$objects tob ON tob.obj_id = i.table_obj"
      " JOIN tab$columns c ON c.obj_id = i.table_obj AND c.intcol = ic.intcol WHERE 1";
  v.order = "ORDER BY i.obj_id, ic.position";
  return v;
}

ViewDef Constraints() {
  ViewDef v;
  v.cols = {
      {"OWNER", V(128), "k.owner"},
      {"CONSTRAINT_NAME", V(128), "k.name"},
      {"CONSTRAINT_TYPE", V(1), "k.type"},
      {"TABLE_NAME", V(128), "tob.name"},
      {"SEARCH_CONDITION", LongType(), "k.search_condition"},
      {"SEARCH_CONDITION_VC", V(4000), "k.search_condition"},
      {"R_OWNER", V(128), "rk.owner"},
      {"R_CONSTRAINT_NAME", V(128), "rk.name"},
      {"DELETE_RULE", V(9), "CASE k.type WHEN 'R' THEN k.delete_rule END"},
      {"STATUS", V(8), "k.status"},
      {"DEFERRABLE", V(14),
       "CASE k.is_deferrable WHEN 1 THEN 'DEFERRABLE' ELSE 'NOT DEFERRABLE' END"},
      {"DEFERRED", V(9), "CASE k.is_deferred WHEN 1 THEN 'DEFERRED' ELSE 'IMMEDIATE' END"},
      // DISABLE without VALIDATE leaves the rows unchecked.
      {"VALIDATED", V(13),
       "CASE WHEN k.status = 'ENABLED' AND k.validated = 1 THEN 'VALIDATED'"
       " ELSE 'NOT VALIDATED' END"},
      {"GENERATED", V(14), "k.generated"},
      {"BAD", V(3), "NULL"},
      {"RELY", V(4), "NULL"},
      // The catalog keeps no time per constraint: its table's creation
      // time stands for it.
      {"LAST_CHANGE", Date(), "tabdb_dict_date(tob.created)"},
      {"INDEX_OWNER", V(128), "CASE WHEN k.type IN ('P', 'U') THEN io.owner END"},
      {"INDEX_NAME", V(128), "CASE WHEN k.type IN ('P', 'U') THEN io.name END"},
      {"INVALID", V(7), "NULL"},
      {"VIEW_RELATED", V(14), "NULL"},
      {"ORIGIN_CON_ID", Num(), NumOf("0")},
  };
  // A constraint belongs to its table's owner: saying so lets SQLite find
  // the table by owner and name first, then its constraints by table,
  // instead of walking every constraint of the owner.
  v.from =
      "FROM tab$constraints k JOIN tab$objects tob ON tob.obj_id = k.table_obj AND tob.owner = k.owner"
      " LEFT JOIN tab$objects io ON io.obj_id = k.index_obj"
      " LEFT JOIN tab$constraints rk ON rk.cons_id = k.r_cons_id WHERE 1";
  v.order = "ORDER BY k.cons_id";
  return v;
}

ViewDef ConsColumns() {
  ViewDef v;
  v.cols = {
      {"OWNER", V(128), "k.owner"},
      {"CONSTRAINT_NAME", V(128), "k.name"},
      {"TABLE_NAME", V(128), "tob.name"},
      {"COLUMN_NAME", V(4000), "c.name"},
      {"POSITION", Num(), NumOf("CASE WHEN k.type IN ('P', 'U', 'R') THEN cc.position END")},
  };
  v.from =
      "FROM tab$cons_columns cc JOIN tab$constraints k ON k.cons_id = cc.cons_id"
      " JOIN tab$objects tob ON tob.obj_id = k.table_obj AND tob.owner = k.owner"
      " JOIN tab$columns c ON c.obj_id = k.table_obj AND c.intcol = cc.intcol WHERE 1";
  v.order = "ORDER BY k.cons_id, cc.position";
  return v;
}

ViewDef Users(Family f) {
  ViewDef v;
  std::string created = "tabdb_dict_date(u.created)";
  if (f == kAll) {
    v.cols = {
        {"USERNAME", V(128), "u.name"},
        {"USER_ID", Num(), NumOf("u.user_id")},
        {"CREATED", Date(), created},
        {"COMMON", V(3), "'NO'"},
        {"ORACLE_MAINTAINED", V(1), "CASE u.name WHEN 'SYSTEM' THEN 'Y' ELSE 'N' END"},
    };
  } else {
    v.cols = {{"USERNAME", V(128), "u.name"}, {"USER_ID", Num(), NumOf("u.user_id")}};
    if (f == kDba) v.cols.push_back({"PASSWORD", V(4000), "NULL"});
    std::vector<Col> rest = {
        {"ACCOUNT_STATUS", V(32), "'OPEN'"},
        {"LOCK_DATE", Date(), "NULL"},
        {"EXPIRY_DATE", Date(), "NULL"},
        {"DEFAULT_TABLESPACE", V(30), SqlString(cat::kDefaultTablespace)},
        {"TEMPORARY_TABLESPACE", V(30), "'TEMP'"},
        {"CREATED", Date(), created},
    };
    v.cols.insert(v.cols.end(), rest.begin(), rest.end());
    if (f == kDba) v.cols.push_back({"PROFILE", V(128), "'DEFAULT'"});
    v.cols.push_back({"INITIAL_RSRC_CONSUMER_GROUP", V(128), "NULL"});
    v.cols.push_back({"EXTERNAL_NAME", V(4000), "NULL"});
  }
  v.from = "FROM tab$users u WHERE 1";
  v.order = "ORDER BY u.user_id";
  return v;
}

// ALL_SEQUENCES: unbounded limits show Oracle's 28-digit defaults.
ViewDef Sequences() {
  ViewDef v;
  v.cols = {
      {"SEQUENCE_OWNER", V(128), "o.owner", kNoUser},
      {"SEQUENCE_NAME", V(128), "o.name"},
      {"MIN_VALUE", Num(), "coalesce(tabdb_num(q.min_value), tabdb_numtext('" + std::string(kSequenceNoMin) + "'))"},
      {"MAX_VALUE", Num(), "coalesce(tabdb_num(q.max_value), tabdb_numtext('" + std::string(kSequenceNoMax) + "'))"},
      {"INCREMENT_BY", Num(), NumOf("q.increment")},
      {"CYCLE_FLAG", V(1), "CASE q.cycle WHEN 0 THEN 'N' ELSE 'Y' END"},
      {"ORDER_FLAG", V(1), "CASE q.ord WHEN 0 THEN 'N' ELSE 'Y' END"},
      {"CACHE_SIZE", Num(), NumOf("q.cache")},
      {"LAST_NUMBER", Num(), NumOf("q.last_number")},
  };
  v.from = "FROM tab$sequences q JOIN tab$objects o ON o.obj_id = q.obj_id WHERE 1";
  v.order = "ORDER BY o.obj_id";
  return v;
}

// Stored code, one row per source line (each with its line end).
ViewDef Source() {
  ViewDef v;
  v.cols = {
      {"OWNER", V(128), "s.owner", kNoUser},
      {"NAME", V(128), "s.name"},
      {"TYPE", V(12), "s.type"},
      {"LINE", Num(), NumOf("s.line")},
      {"TEXT", V(4000), "s.text"},
      {"ORIGIN_CON_ID", Num(), NumOf("0")},
  };
  v.from = "FROM tab$source s WHERE 1";
  v.order = "ORDER BY s.owner, s.name, s.type, s.line";
  return v;
}

TypeDesc Long() {
  TypeDesc t;
  t.kind = TypeKind::kLong;
  return t;
}

// Views: the query text as written (TEXT is a LONG in Oracle).
ViewDef Views() {
  ViewDef v;
  v.cols = {
      {"OWNER", V(128), "o.owner", kNoUser},
      {"VIEW_NAME", V(128), "o.name"},
      {"TEXT_LENGTH", Num(), NumOf("length(CAST(w.text AS BLOB))")},
      {"TEXT", Long(), "w.text"},
      {"TEXT_VC", V(4000), "substr(w.text, 1, 4000)"},
      {"TYPE_TEXT_LENGTH", Num(), "NULL"},
      {"TYPE_TEXT", V(4000), "NULL"},
      {"OID_TEXT_LENGTH", Num(), "NULL"},
      {"OID_TEXT", V(4000), "NULL"},
      {"VIEW_TYPE_OWNER", V(128), "NULL"},
      {"VIEW_TYPE", V(128), "NULL"},
      {"SUPERVIEW_NAME", V(128), "NULL"},
      {"EDITIONING_VIEW", V(1), "'N'"},
      {"READ_ONLY", V(1), "CASE w.read_only WHEN 0 THEN 'N' ELSE 'Y' END"},
      {"CONTAINER_DATA", V(1), "'N'"},
      {"BEQUEATH", V(12), "'DEFINER'"},
      {"ORIGIN_CON_ID", Num(), NumOf("0")},
      {"DEFAULT_COLLATION", V(100), "'USING_NLS_COMP'"},
  };
  v.from = "FROM tab$views w JOIN tab$objects o ON o.obj_id = w.obj_id WHERE 1";
  v.order = "ORDER BY o.obj_id";
  return v;
}

// Synonyms, public ones with owner PUBLIC (shown in every ALL_SYNONYMS).
ViewDef Synonyms() {
  ViewDef v;
  v.cols = {
      {"OWNER", V(128), "o.owner", kNoUser},
      {"SYNONYM_NAME", V(128), "o.name"},
      {"TABLE_OWNER", V(128), "y.table_owner"},
      {"TABLE_NAME", V(128), "y.table_name"},
      {"DB_LINK", V(128), "y.db_link"},
      {"ORIGIN_CON_ID", Num(), NumOf("0")},
  };
  v.from = "FROM tab$synonyms y JOIN tab$objects o ON o.obj_id = y.obj_id WHERE 1";
  v.order = "ORDER BY o.obj_id";
  return v;
}

// Dimensions: valid as created (what they name is checked then).
ViewDef Dimensions() {
  ViewDef v;
  v.cols = {
      {"OWNER", V(128), "o.owner", kNoUser},
      {"DIMENSION_NAME", V(128), "o.name"},
      {"INVALID", V(1), "'N'"},
      {"COMPILE_STATE", V(13), "'VALID'"},
      {"REVISION", Num(), NumOf("1")},
  };
  v.from = "FROM tab$dimensions d JOIN tab$objects o ON o.obj_id = d.obj_id WHERE 1";
  v.order = "ORDER BY o.obj_id";
  return v;
}

// ALL_TAB_IDENTITY_COLS: START WITH is the identity's own, not the
// sequence's high-water mark.
ViewDef IdentityCols() {
  auto flag = [](const char* col) {
    return std::string("CASE ") + col + " WHEN 0 THEN 'N' ELSE 'Y' END";
  };
  ViewDef v;
  v.cols = {
      {"OWNER", V(128), "o.owner", kNoUser},
      {"TABLE_NAME", V(128), "o.name"},
      {"COLUMN_NAME", V(128), "c.name"},
      {"GENERATION_TYPE", V(10), "CASE c.ident_kind WHEN 1 THEN 'ALWAYS' ELSE 'BY DEFAULT' END"},
      {"SEQUENCE_NAME", V(128), "so.name"},
      {"IDENTITY_OPTIONS", V(298),
       "'START WITH: ' || c.ident_start || ', INCREMENT BY: ' || q.increment ||"
       " ', MAX_VALUE: ' || coalesce(q.max_value, '" + std::string(kSequenceNoMax) + "') ||"
       " ', MIN_VALUE: ' || coalesce(q.min_value, '" + std::string(kSequenceNoMin) + "') ||"
       " ', CYCLE_FLAG: ' || " + flag("q.cycle") + " || ', CACHE_SIZE: ' || q.cache ||"
       " ', ORDER_FLAG: ' || " + flag("q.ord") + " ||"
       " ', SCALE_FLAG: N, EXTEND_FLAG: N, SESSION_FLAG: N, KEEP_VALUE: N'"},
  };
  v.from = "FROM tab$columns c JOIN tab$objects o ON o.obj_id = c.obj_id"
           " JOIN tab$sequences q ON q.obj_id = c.ident_seq"
           " JOIN tab$objects so ON so.obj_id = c.ident_seq WHERE c.ident_kind <> 0";
  v.order = "ORDER BY o.obj_id";
  return v;
}

struct ViewKind {
  const char* base;  // name without the ALL_/USER_/DBA_ prefix
  ViewDef (*def)();
  const char* owner_expr;  // the owner whose objects decide visibility
  const char* user_expr;   // the owner of USER_ rows
  bool cols_only;          // TAB_COLS: with the kColsOnly columns
  bool visible_only;       // TAB_COLUMNS: without hidden columns
};

ViewDef UsersAll() { return Users(kAll); }

const ViewKind kKinds[] = {
    {"TABLES", Tables, "o.owner", "o.owner", false, false},
    {"TAB_COLS", TabCols, "o.owner", "o.owner", true, false},
    {"TAB_COLUMNS", TabCols, "o.owner", "o.owner", false, true},
    {"INDEXES", Indexes, "tob.owner", "o.owner", false, false},
    {"IND_COLUMNS", IndColumns, "tob.owner", "o.owner", false, false},
    {"CONSTRAINTS", Constraints, "k.owner", "k.owner", false, false},
    {"CONS_COLUMNS", ConsColumns, "k.owner", "k.owner", false, false},
    {"USERS", UsersAll, nullptr, "u.name", false, false},
    {"SEQUENCES", Sequences, "o.owner", "o.owner", false, false},
    {"SOURCE", Source, "s.owner", "s.owner", false, false},
    {"VIEWS", Views, "o.owner", "o.owner", false, false},
    {"SYNONYMS", Synonyms, "o.owner", "o.owner", false, false},
    {"DIMENSIONS", Dimensions, "o.owner", "o.owner", false, false},
    {"TAB_IDENTITY_COLS", IdentityCols, "o.owner", "o.owner", false, false},
};

// The object whose grants make a row of an ALL_ view visible: the table
// for columns, indexes and constraints; NULL for views without such rows.
const char* GrantedObjectExpr(const std::string& base) {
  if (base == "TABLES" || base == "TAB_COLS" || base == "TAB_COLUMNS" || base == "SEQUENCES")
    return "o.obj_id";
  if (base == "INDEXES" || base == "IND_COLUMNS") return "i.table_obj";
  if (base == "CONSTRAINTS" || base == "CONS_COLUMNS") return "k.table_obj";
  return nullptr;
}

// The NLS parameters of the database: its character sets (AL32UTF8 and
// AL16UTF16, fixed) and the AMERICAN_AMERICA formats every session uses
// (ALTER SESSION of an NLS parameter is accepted without effect). The
// session view has the same rows without the character sets, as Oracle's.
struct NlsRow {
  const char* parameter;
  const char* value;
  bool database_only;
};
const NlsRow kNlsRows[] = {
    {"NLS_LANGUAGE", "AMERICAN", false},
    {"NLS_TERRITORY", "AMERICA", false},
    {"NLS_CURRENCY", "$", false},
    {"NLS_ISO_CURRENCY", "AMERICA", false},
    {"NLS_NUMERIC_CHARACTERS", ".,", false},
    {"NLS_CHARACTERSET", "AL32UTF8", true},
    {"NLS_CALENDAR", "GREGORIAN", false},
    {"NLS_DATE_FORMAT", kNlsDateFormat, false},
    {"NLS_DATE_LANGUAGE", "AMERICAN", false},
    {"NLS_SORT", "BINARY", false},
    {"NLS_TIME_FORMAT", "HH.MI.SSXFF AM", false},
    {"NLS_TIMESTAMP_FORMAT", kNlsTimestampFormat, false},
    {"NLS_TIME_TZ_FORMAT", "HH.MI.SSXFF AM TZR", false},
    {"NLS_TIMESTAMP_TZ_FORMAT", kNlsTimestampTzFormat, false},
    {"NLS_DUAL_CURRENCY", "$", false},
    {"NLS_COMP", "BINARY", false},
    {"NLS_LENGTH_SEMANTICS", "BYTE", false},
    {"NLS_NCHAR_CONV_EXCP", "FALSE", false},
    {"NLS_NCHAR_CHARACTERSET", "AL16UTF16", true},
};

bool FindNlsView(const std::string& name, DictionaryView* out) {
  bool database = name == "NLS_DATABASE_PARAMETERS";
  if (!database && name != "NLS_SESSION_PARAMETERS") return false;
  std::string rows;
  for (const NlsRow& r : kNlsRows) {
    if (r.database_only && !database) continue;
    rows += rows.empty() ? "(" : ", (";
    rows += SqlString(r.parameter) + ", " + SqlString(r.value) + ")";
  }
  out->name = name;
  out->columns = {{"PARAMETER", V(128)}, {"VALUE", V(64)}};
  out->sql = "SELECT column1 AS \"PARAMETER\", column2 AS \"VALUE\" FROM (VALUES " + rows + ")";
  return true;
}

}  // namespace

int RegisterDictionaryFunctions(sqlite3* db) {
  int rc = sqlite3_create_function_v2(db, "tabdb_dict_date", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                      nullptr, DictDate, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function_v2(db, "tabdb_numtext", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                    nullptr, DictNumText, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = cat::RegisterExtentFunctions(db);
  return rc;
}

void EnsureDictionaryFunctions(sqlite3* db) {
  // Registering a function expires the connection's prepared statements:
  // do it only when the connection does not have it yet.
  sqlite3_stmt* probe = nullptr;
  int rc = sqlite3_prepare_v2(db, "SELECT tabdb_dict_date(NULL)", -1, &probe, nullptr);
  sqlite3_finalize(probe);
  if (rc != SQLITE_OK) RegisterDictionaryFunctions(db);
}

bool FindDictionaryView(Session& s, const std::string& name, DictionaryView* out,
                        Status* status) {
  *status = Status::Ok();
  if (FindNlsView(name, out)) return true;
  if (cat::FindPrivilegeView(s, name, out, status)) return true;
  if (cat::FindObjectView(s, name, out, status)) return true;
  if (FindPartitionView(s, name, out, status)) return true;
  if (cat::FindMoreView(s, name, out, status)) return true;
  if (cat::FindExtentView(s, name, out, status)) return true;
  if (FindCodeView(s, name, out, status)) return true;
  Family f;
  std::string base;
  if (name.rfind("ALL_", 0) == 0) {
    f = kAll;
    base = name.substr(4);
  } else if (name.rfind("USER_", 0) == 0) {
    f = kUser;
    base = name.substr(5);
  } else if (name.rfind("DBA_", 0) == 0) {
    f = kDba;
    base = name.substr(4);
  } else {
    return false;
  }
  const ViewKind* kind = nullptr;
  for (const ViewKind& k : kKinds)
    if (base == k.base) kind = &k;
  if (kind == nullptr) return false;
  if (f == kDba && !s.user().dba) {
    *status = OraError(ora::kTableNotExist);
    return true;
  }
  EnsureDictionaryFunctions(s.db().handle());

  // Databases made before stored code was kept lack its table.
  if (kind->def == Source) (void)cat::EnsureSourceTable(s);
  ViewDef def = std::string(kind->base) == "USERS" ? Users(f) : kind->def();
  std::string user = SqlString(s.user().name);
  std::string filter;
  if (f == kUser) {
    filter = std::string(kind->user_expr) + " = " + user;
  } else if (f == kAll && kind->owner_expr && !s.user().dba) {
    filter = std::string(kind->owner_expr) + " = " + user;
    // Indexes the user owns count too, whatever table they are on.
    if (std::string(kind->owner_expr) != kind->user_expr)
      filter = "(" + filter + " OR " + kind->user_expr + " = " + user + ")";
    // So do the objects granted to the user or to PUBLIC: a seek by the
    // row's object id in the grants' key, not a list of every grant.
    if (const char* obj = GrantedObjectExpr(kind->base))
      filter = "(" + filter + " OR EXISTS (SELECT 1 FROM tab$privs gp WHERE gp.obj_id = " + obj +
               " AND gp.obj_id <> 0 AND gp.grantee IN (" + user + ", 'PUBLIC')))";
  }

  if (kind->def == Synonyms && f == kAll && !filter.empty())
    filter = "(" + filter + " OR o.owner = 'PUBLIC')";

  out->name = name;
  out->columns.clear();
  std::string select;
  for (const Col& c : def.cols) {
    if (f == kUser && (c.show & kNoUser)) continue;
    if ((c.show & kColsOnly) && !kind->cols_only) continue;
    if (!select.empty()) select += ", ";
    select += c.expr + " AS \"" + c.name + "\"";  // some names are SQLite keywords
    out->columns.push_back({c.name, c.type});
  }
  std::string where = def.from;
  if (!filter.empty()) where += " AND " + filter;
  if (kind->visible_only) where += " AND c.hidden = 'NO'";
  out->sql = "SELECT " + select + " " + where + " " + def.order;
  return true;
}

}  // namespace tabdb
