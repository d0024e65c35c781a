// attrs.h - recording the physical clauses of tables, indexes and LOBs.
//
// The segment attributes, STORAGE and LOB storage clauses a statement gives
// are kept as flat JSON objects in the attrs/lob_attrs text columns of the
// catalog (only what was given; absent keys mean Oracle's default), so that
// GET_DDL can give them back and the dictionary views can read them with
// SQLite's json_extract(). Internal to the catalog module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sql/ast.h"
#include "storage/database.h"
#include "util/status.h"

namespace tabdb {
namespace cat {

// Oracle's defaults for an 8 KB-block, locally managed tablespace.
constexpr int64_t kTablePctFree = 10;
constexpr int64_t kTablePctUsed = 40;
constexpr int64_t kTableIniTrans = 1;
constexpr int64_t kIndexPctFree = 10;
constexpr int64_t kIndexIniTrans = 2;
constexpr int64_t kMaxTrans = 255;
constexpr int64_t kInitialExtent = 65536;
constexpr int64_t kSecureFileInitialExtent = 106496;
constexpr int64_t kNextExtent = 1048576;
constexpr int64_t kMinExtents = 1;
constexpr int64_t kMaxExtents = 2147483645;
constexpr int64_t kLobChunk = 8192;

// The LOB storage recorded for one LOB column (`lob.columns` unused).
struct LobAttr {
  int intcol = 0;
  sql::LobStorage lob;
};

std::string SegmentAttributesToJson(const sql::SegmentAttributes& a);
// Reads what SegmentAttributesToJson wrote; an empty text is "nothing given".
Status SegmentAttributesFromJson(Database& db, const std::string& text,
                                 sql::SegmentAttributes* out);

std::string LobAttrsToJson(const std::vector<LobAttr>& lobs);
Status LobAttrsFromJson(Database& db, const std::string& text, std::vector<LobAttr>* out);

// The tablespaces a database has: USERS, SYSTEM, SYSAUX, TEMP. Anything
// else is ORA-00959.
Status CheckTablespace(const std::string& name);

// Checks every tablespace named in the clauses.
Status CheckAttributes(const sql::SegmentAttributes& a);
Status CheckLobStorage(const sql::LobStorage& lob);

}  // namespace cat
}  // namespace tabdb
