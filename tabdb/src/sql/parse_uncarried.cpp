// parse_uncarried.cpp - statements and clauses of Oracle that the database
// does not carry. Each gives one ORA-03001 naming what it is ("ORA-03001:
// unimplemented feature: CREATE MATERIALIZED VIEW"), where a parser that
// did not know them would stop on some later word with a misleading syntax
// error.
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {
namespace {

// A statement by its leading words (after the verb and any OR REPLACE,
// PUBLIC, ... prefix); the longest matching entry names it.
struct Uncarried {
  const char* verb;   // CREATE, ALTER, DROP, or "" for the first word
  const char* words;  // blank-separated
};

const Uncarried kStatements[] = {
    {"CREATE", "MATERIALIZED VIEW LOG"}, {"CREATE", "MATERIALIZED VIEW"},
    {"CREATE", "MATERIALIZED ZONEMAP"},  {"CREATE", "DATABASE LINK"},
    {"CREATE", "PLUGGABLE DATABASE"},    {"CREATE", "DATABASE"},
    {"CREATE", "PRIVATE TEMPORARY TABLE"},
    {"CREATE", "SHARDED TABLE"},         {"CREATE", "DUPLICATED TABLE"},
    {"CREATE", "BLOCKCHAIN TABLE"},      {"CREATE", "IMMUTABLE TABLE"},
    {"CREATE", "CLUSTER"},               {"CREATE", "DIRECTORY"},
    {"CREATE", "CONTEXT"},
    {"CREATE", "INDEXTYPE"},             {"CREATE", "OPERATOR"},
    {"CREATE", "LIBRARY"},               {"CREATE", "JAVA"},
    {"CREATE", "TABLESPACE"},            {"CREATE", "TEMPORARY TABLESPACE"},
    {"CREATE", "UNDO TABLESPACE"},       {"CREATE", "BIGFILE TABLESPACE"},
    {"CREATE", "SMALLFILE TABLESPACE"},  {"CREATE", "PROFILE"},
    {"CREATE", "ROLE"},                  {"CREATE", "ROLLBACK SEGMENT"},
    {"CREATE", "OUTLINE"},               {"CREATE", "EDITION"},
    {"CREATE", "RESTORE POINT"},         {"CREATE", "FLASHBACK ARCHIVE"},
    {"CREATE", "AUDIT POLICY"},          {"CREATE", "ANALYTIC VIEW"},
    {"CREATE", "ATTRIBUTE DIMENSION"},   {"CREATE", "HIERARCHY"},
    {"CREATE", "LOCKDOWN PROFILE"},      {"CREATE", "DISKGROUP"},
    {"CREATE", "CONTROLFILE"},           {"CREATE", "SPFILE"},
    {"CREATE", "PFILE"},                 {"CREATE", "SCHEMA"},
    {"CREATE", "INMEMORY JOIN GROUP"},   {"CREATE", "MULTIVALUE INDEX"},
    {"CREATE", "SEARCH INDEX"},          {"CREATE", "TYPE"},
    {"ALTER", "MATERIALIZED VIEW LOG"},  {"ALTER", "MATERIALIZED VIEW"},
    {"ALTER", "MATERIALIZED ZONEMAP"},   {"ALTER", "DATABASE LINK"},
    {"ALTER", "PLUGGABLE DATABASE"},     {"ALTER", "DATABASE"},
    {"ALTER", "SYSTEM"},                 {"ALTER", "INDEX"},
    {"ALTER", "VIEW"},                   {"ALTER", "SYNONYM"},
    {"ALTER", "PROCEDURE"},              {"ALTER", "FUNCTION"},
    {"ALTER", "PACKAGE"},                {"ALTER", "TYPE"},
    {"ALTER", "CLUSTER"},                {"ALTER", "DIMENSION"},
    {"ALTER", "INDEXTYPE"},              {"ALTER", "OPERATOR"},
    {"ALTER", "LIBRARY"},                {"ALTER", "JAVA"},
    {"ALTER", "TABLESPACE"},             {"ALTER", "PROFILE"},
    {"ALTER", "ROLE"},                   {"ALTER", "ROLLBACK SEGMENT"},
    {"ALTER", "OUTLINE"},                {"ALTER", "RESOURCE COST"},
    {"ALTER", "FLASHBACK ARCHIVE"},      {"ALTER", "AUDIT POLICY"},
    {"ALTER", "LOCKDOWN PROFILE"},       {"ALTER", "DISKGROUP"},
    {"ALTER", "ANALYTIC VIEW"},          {"ALTER", "ATTRIBUTE DIMENSION"},
    {"ALTER", "HIERARCHY"},              {"ALTER", "INMEMORY JOIN GROUP"},
    {"DROP", "MATERIALIZED VIEW LOG"},   {"DROP", "MATERIALIZED VIEW"},
    {"DROP", "MATERIALIZED ZONEMAP"},    {"DROP", "DATABASE LINK"},
    {"DROP", "PLUGGABLE DATABASE"},      {"DROP", "DATABASE"},
    {"DROP", "CLUSTER"},                 {"DROP", "DIRECTORY"},
    {"DROP", "CONTEXT"},
    {"DROP", "INDEXTYPE"},               {"DROP", "OPERATOR"},
    {"DROP", "LIBRARY"},                 {"DROP", "JAVA"},
    {"DROP", "TABLESPACE"},              {"DROP", "PROFILE"},
    {"DROP", "ROLE"},                    {"DROP", "ROLLBACK SEGMENT"},
    {"DROP", "OUTLINE"},                 {"DROP", "EDITION"},
    {"DROP", "RESTORE POINT"},           {"DROP", "FLASHBACK ARCHIVE"},
    {"DROP", "AUDIT POLICY"},            {"DROP", "ANALYTIC VIEW"},
    {"DROP", "ATTRIBUTE DIMENSION"},     {"DROP", "HIERARCHY"},
    {"DROP", "LOCKDOWN PROFILE"},        {"DROP", "DISKGROUP"},
    {"DROP", "INMEMORY JOIN GROUP"},
    {"", "MERGE"},                       {"", "SAVEPOINT"},
    {"", "LOCK TABLE"},                  {"", "ANALYZE"},
    {"", "AUDIT"},                       {"", "NOAUDIT"},
    {"", "EXPLAIN PLAN"},                {"", "FLASHBACK TABLE"},
    {"", "FLASHBACK DATABASE"},          {"", "PURGE"},
    {"", "SET TRANSACTION"},
    {"", "SET ROLE"},                    {"", "ASSOCIATE STATISTICS"},
    {"", "DISASSOCIATE STATISTICS"},     {"", "ADMINISTER KEY MANAGEMENT"},
};

// Words that may stand between the verb and the object kind.
bool IsPrefixWord(const Token& t) {
  static const char* const kPrefixes[] = {"PUBLIC",      "SHARED",         "FORCE",
                                          "EDITIONABLE", "NONEDITIONABLE", "EDITIONING",
                                          "NO"};
  for (const char* w : kPrefixes)
    if (Parser::IsWord(t, w)) return true;
  return false;
}

// ALTER TABLE clauses that manage partitions, segments and table options.
const char* const kAlterTableClauses[] = {
    "MOVE",                 "SHRINK SPACE",          "ADD PARTITION",
    "DROP PARTITION",       "TRUNCATE PARTITION",    "SPLIT PARTITION",
    "MERGE PARTITIONS",     "EXCHANGE PARTITION",    "MODIFY PARTITION",
    "RENAME PARTITION",     "COALESCE PARTITION",    "ADD SUBPARTITION",
    "MODIFY DEFAULT ATTRIBUTES", "SET INTERVAL",     "INMEMORY",
    "NO INMEMORY",          "ENABLE ROW MOVEMENT",   "DISABLE ROW MOVEMENT",
    "ENABLE TABLE LOCK",    "DISABLE TABLE LOCK",    "ENABLE ALL TRIGGERS",
    "DISABLE ALL TRIGGERS", "READ ONLY",             "READ WRITE",
    "ALLOCATE EXTENT",      "DEALLOCATE UNUSED",     "MODIFY LOB",
    "ADD SUPPLEMENTAL LOG", "DROP SUPPLEMENTAL LOG", "FLASHBACK ARCHIVE",
    "NO FLASHBACK ARCHIVE", "ILM",                   "COMPRESS",
    "NOCOMPRESS",           "ROW STORE COMPRESS",    "COLUMN STORE COMPRESS",
    "LOGGING",              "NOLOGGING",             "PARALLEL",
    "NOPARALLEL",           "CACHE",                 "NOCACHE",
    "PCTFREE",              "PCTUSED",               "INITRANS",
    "MAXTRANS",             "STORAGE",               "UPGRADE",
    "ADD OVERFLOW",         "ENABLE ROW ARCHIVAL",   "DISABLE ROW ARCHIVAL",
};

}  // namespace

// How many words of `words` (blank-separated) follow from token k on; 0
// when they do not all follow.
size_t Parser::MatchWords(const std::string& words, size_t k) const {
  size_t n = 0, at = 0;
  while (at < words.size()) {
    size_t end = words.find(' ', at);
    if (end == std::string::npos) end = words.size();
    if (!PeekWord(words.substr(at, end - at).c_str(), k + n)) return 0;
    ++n;
    at = end + 1;
  }
  return n;
}

Status Parser::RefuseUncarriedStatement(const char* verb) {
  size_t k = 0;
  if (*verb) {
    if (PeekWord("OR") && PeekWord("REPLACE", 1)) k = 2;
    while (IsPrefixWord(Peek(k))) ++k;
  }
  const Uncarried* best = nullptr;
  size_t best_words = 0;
  for (const Uncarried& u : kStatements) {
    if (std::string(u.verb) != verb) continue;
    size_t n = MatchWords(u.words, k);
    if (n > best_words) {
      best = &u;
      best_words = n;
    }
  }
  if (best == nullptr) return Status::Ok();
  return Unimplemented(*verb ? std::string(verb) + " " + best->words : best->words);
}

Status Parser::RefuseUncarriedAlterTable() {
  const char* best = nullptr;
  size_t best_words = 0;
  for (const char* clause : kAlterTableClauses) {
    size_t n = MatchWords(clause, 0);
    if (n > best_words) {
      best = clause;
      best_words = n;
    }
  }
  if (best == nullptr) return Status::Ok();
  return Unimplemented(std::string("ALTER TABLE ") + best);
}

Status Parser::RefuseUncarriedIndexClause() {
  if (PeekWord("LOCAL") || (PeekWord("GLOBAL") && PeekWord("PARTITION", 1)))
    return Unimplemented("partitioned index");
  if (PeekWord("INDEXTYPE")) return Unimplemented("INDEXTYPE IS");
  if (PeekWord("INMEMORY")) return Unimplemented("INMEMORY");
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb
