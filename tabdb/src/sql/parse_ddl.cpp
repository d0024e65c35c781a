// parse_ddl.cpp - CREATE TABLE, CREATE INDEX and ALTER TABLE ... ADD, with
// the physical clauses DBMS_METADATA.GET_DDL writes (segment attributes,
// STORAGE, LOB storage), which are recorded so that DDL can be given back.
#include "sql/parser_impl.h"
#include "sql/printer.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

namespace {

// MAXEXTENTS UNLIMITED as the dictionary records it.
constexpr int64_t kUnlimitedExtents = 2147483645;

bool IsConstraintState(const Token& t) {
  return Parser::IsWord(t, "ENABLE") || Parser::IsWord(t, "DISABLE") ||
         Parser::IsWord(t, "VALIDATE") || Parser::IsWord(t, "NOVALIDATE");
}

}  // namespace

// ---- segment attributes ---------------------------------------------------------

bool Parser::PeekSegmentAttr() const {
  static const char* const kStarts[] = {
      "SEGMENT", "PCTFREE",   "PCTUSED", "INITRANS",   "MAXTRANS", "COMPRESS", "NOCOMPRESS",
      "LOGGING", "NOLOGGING", "STORAGE", "TABLESPACE", "COMPUTE",  "PARALLEL", "NOPARALLEL"};
  for (const char* w : kStarts)
    if (PeekWord(w)) return true;
  if (PeekWord("NO") && PeekWord("INMEMORY", 1)) return true;
  if ((PeekWord("ROW") || PeekWord("COLUMN")) && PeekWord("STORE", 1)) return true;
  return false;
}

// One physical attribute, if the next token starts one (*matched tells).
Status Parser::ParseSegmentAttr(SegmentAttributes* a, bool* matched) {
  *matched = PeekSegmentAttr();
  if (!*matched) return Status::Ok();
  std::string w = Next().text;
  if (w == "SEGMENT") {
    TABDB_RETURN_IF_ERROR(ExpectWord("CREATION"));
    if (AcceptWord("IMMEDIATE"))
      a->segment_creation = 1;
    else if (AcceptWord("DEFERRED"))
      a->segment_creation = 0;
    else
      return Err(905);
  } else if (w == "PCTFREE") {
    TABDB_RETURN_IF_ERROR(ParseInteger(&a->pctfree));
  } else if (w == "PCTUSED") {
    TABDB_RETURN_IF_ERROR(ParseInteger(&a->pctused));
  } else if (w == "INITRANS") {
    TABDB_RETURN_IF_ERROR(ParseInteger(&a->initrans));
  } else if (w == "MAXTRANS") {
    TABDB_RETURN_IF_ERROR(ParseInteger(&a->maxtrans));
  } else if (w == "ROW" || w == "COLUMN") {
    // ROW STORE COMPRESS [BASIC|ADVANCED], COLUMN STORE COMPRESS FOR QUERY|ARCHIVE [LOW|HIGH]
    Next();  // STORE
    TABDB_RETURN_IF_ERROR(ExpectWord("COMPRESS"));
    a->compress = 1;
    if (w == "ROW") {
      if (!AcceptWord("BASIC")) AcceptWord("ADVANCED");
    } else {
      TABDB_RETURN_IF_ERROR(ExpectWord("FOR"));
      if (!AcceptWord("QUERY") && !AcceptWord("ARCHIVE")) return Err(905);
      if (!AcceptWord("LOW")) AcceptWord("HIGH");
    }
  } else if (w == "COMPRESS") {
    a->compress = 1;
    if (Peek().kind == TokenKind::kNumber) {
      int64_t prefix;  // index key prefix length
      TABDB_RETURN_IF_ERROR(ParseInteger(&prefix));
    } else if (AcceptWord("ADVANCED")) {
      if (!AcceptWord("LOW")) AcceptWord("HIGH");
    } else if (AcceptWord("FOR")) {
      if (AcceptWord("OLTP")) {
      } else if (AcceptWord("ALL") || AcceptWord("DIRECT_LOAD")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("OPERATIONS"));
      } else if (AcceptWord("QUERY") || AcceptWord("ARCHIVE")) {
        if (!AcceptWord("LOW")) AcceptWord("HIGH");
      } else {
        return Err(905);
      }
    } else {
      AcceptWord("BASIC");
    }
  } else if (w == "NOCOMPRESS") {
    a->compress = 0;
  } else if (w == "LOGGING") {
    a->logging = 1;
  } else if (w == "NOLOGGING") {
    a->logging = 0;
  } else if (w == "STORAGE") {
    TABDB_RETURN_IF_ERROR(ParseStorage(&a->storage));
    a->has_storage = true;
  } else if (w == "TABLESPACE") {
    TABDB_RETURN_IF_ERROR(ParseTablespaceName(&a->tablespace));
    a->tablespace_given = true;
  } else if (w == "COMPUTE") {
    TABDB_RETURN_IF_ERROR(ExpectWord("STATISTICS"));
    a->compute_statistics = true;
  } else if (w == "PARALLEL") {
    // PARALLEL without a degree is recorded as degree 1.
    int64_t degree = 1;
    if (Peek().kind == TokenKind::kNumber) TABDB_RETURN_IF_ERROR(ParseInteger(&degree));
    if (degree < 1 || degree > 65535) return OraError(ora::kInvalidParallelDegree);
    a->parallel = static_cast<int>(degree);
  } else if (w == "NOPARALLEL") {
    a->parallel = 0;
  } else if (w == "NO") {
    Next();  // INMEMORY: the in-memory column store does not apply here
  }
  return Status::Ok();
}

// STORAGE ( INITIAL n NEXT n ... )
Status Parser::ParseStorage(StorageClause* s) {
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  while (!AcceptSym(")")) {
    if (AcceptWord("INITIAL")) {
      TABDB_RETURN_IF_ERROR(ParseSize(&s->initial));
    } else if (AcceptWord("NEXT")) {
      TABDB_RETURN_IF_ERROR(ParseSize(&s->next));
    } else if (AcceptWord("MINEXTENTS")) {
      TABDB_RETURN_IF_ERROR(ParseInteger(&s->minextents));
    } else if (AcceptWord("MAXEXTENTS")) {
      if (AcceptWord("UNLIMITED"))
        s->maxextents = kUnlimitedExtents;
      else
        TABDB_RETURN_IF_ERROR(ParseInteger(&s->maxextents));
    } else if (AcceptWord("PCTINCREASE")) {
      TABDB_RETURN_IF_ERROR(ParseInteger(&s->pctincrease));
    } else if (AcceptWord("FREELISTS")) {
      TABDB_RETURN_IF_ERROR(ParseInteger(&s->freelists));
    } else if (AcceptWord("FREELIST")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("GROUPS"));
      TABDB_RETURN_IF_ERROR(ParseInteger(&s->freelist_groups));
    } else if (PeekWord("BUFFER_POOL") || PeekWord("FLASH_CACHE") || PeekWord("CELL_FLASH_CACHE")) {
      std::string key = Next().text;
      if (Peek().kind != TokenKind::kIdent) return Err(2143);
      std::string value = Next().text;
      if (key == "BUFFER_POOL")
        s->buffer_pool = value;
      else if (key == "FLASH_CACHE")
        s->flash_cache = value;
      else
        s->cell_flash_cache = value;
    } else if (AtEnd()) {
      return Err(907);
    } else {
      return Err(2143);
    }
  }
  return Status::Ok();
}

// LOB ( col, ... ) STORE AS [SECUREFILE|BASICFILE] [segment] [( parameters )]
Status Parser::ParseLob(LobStorage* lob) {
  Next();  // LOB
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  do {
    Name n;
    TABDB_RETURN_IF_ERROR(ParseName(&n));
    lob->columns.push_back(std::move(n));
  } while (AcceptSym(","));
  TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
  TABDB_RETURN_IF_ERROR(ExpectWord("STORE"));
  TABDB_RETURN_IF_ERROR(ExpectWord("AS"));
  bool any = false;
  if (AcceptWord("SECUREFILE")) {
    lob->securefile = 1;
    any = true;
  } else if (AcceptWord("BASICFILE")) {
    lob->securefile = 0;
    any = true;
  }
  if (PeekIsName()) {
    Name seg;
    TABDB_RETURN_IF_ERROR(ParseName(&seg));
    lob->segment_name = seg.text;
    any = true;
  }
  if (!AcceptSym("(")) return any ? Status::Ok() : Err(906);
  while (!AcceptSym(")")) {
    if (AcceptWord("TABLESPACE")) {
      TABDB_RETURN_IF_ERROR(ParseTablespaceName(&lob->tablespace));
      lob->tablespace_given = true;
    } else if (PeekWord("ENABLE") || PeekWord("DISABLE")) {
      lob->storage_in_row = Next().text == "ENABLE" ? 1 : 0;
      TABDB_RETURN_IF_ERROR(ExpectWord("STORAGE"));
      TABDB_RETURN_IF_ERROR(ExpectWord("IN"));
      TABDB_RETURN_IF_ERROR(ExpectWord("ROW"));
      if (lob->storage_in_row == 1 && Peek().kind == TokenKind::kNumber) {
        int64_t inline_size;  // ENABLE STORAGE IN ROW n (newer releases)
        TABDB_RETURN_IF_ERROR(ParseInteger(&inline_size));
      }
    } else if (AcceptWord("CHUNK")) {
      TABDB_RETURN_IF_ERROR(ParseSize(&lob->chunk));
    } else if (AcceptWord("PCTVERSION")) {
      TABDB_RETURN_IF_ERROR(ParseInteger(&lob->pctversion));
    } else if (AcceptWord("RETENTION")) {
      lob->retention = 1;
      if (AcceptWord("NONE")) {
        lob->retention = 0;
      } else if (AcceptWord("MIN")) {
        int64_t seconds;
        TABDB_RETURN_IF_ERROR(ParseInteger(&seconds));
      } else if (!AcceptWord("MAX")) {
        AcceptWord("AUTO");
      }
    } else if (AcceptWord("FREEPOOLS")) {
      int64_t pools;
      TABDB_RETURN_IF_ERROR(ParseInteger(&pools));
    } else if (AcceptWord("CACHE")) {
      lob->cache = AcceptWord("READS") ? 2 : 1;
    } else if (AcceptWord("NOCACHE")) {
      lob->cache = 0;
    } else if (AcceptWord("LOGGING") || AcceptWord("FILESYSTEM_LIKE_LOGGING")) {
      lob->logging = 1;
    } else if (AcceptWord("NOLOGGING")) {
      lob->logging = 0;
    } else if (AcceptWord("COMPRESS")) {
      lob->compress = 1;
      if (!AcceptWord("HIGH") && !AcceptWord("MEDIUM")) AcceptWord("LOW");
    } else if (AcceptWord("NOCOMPRESS")) {
      lob->compress = 0;
    } else if (AcceptWord("KEEP_DUPLICATES")) {
      lob->keep_duplicates = 1;
    } else if (AcceptWord("DEDUPLICATE")) {
      lob->keep_duplicates = 0;
    } else if (AcceptWord("STORAGE")) {
      TABDB_RETURN_IF_ERROR(ParseStorage(&lob->storage));
      lob->has_storage = true;
    } else if (AtEnd()) {
      return Err(907);
    } else {
      return Err(22853);
    }
  }
  return Status::Ok();
}

// ---- constraints --------------------------------------------------------------

// USING INDEX [schema.]index | USING INDEX <attributes>, after USING INDEX.
Status Parser::ParseUsingIndex(Constraint* c) {
  c->has_using_index = true;
  if (PeekSym("(")) return Unimplemented("USING INDEX (CREATE INDEX)");
  const Token& t = Peek();
  bool is_name = t.kind == TokenKind::kQuotedIdent ||
                 (PeekIsName() && !PeekSegmentAttr() && !IsConstraintState(t));
  if (is_name) return ParseObjectName(&c->using_index_name, 953);
  bool matched = true;
  while (matched) TABDB_RETURN_IF_ERROR(ParseSegmentAttr(&c->using_index, &matched));
  return Status::Ok();
}

// [USING INDEX ...] [ENABLE|DISABLE] [VALIDATE|NOVALIDATE], in any order.
Status Parser::ParseConstraintState(Constraint* c) {
  bool keyed = c->kind == ConstraintKind::kPrimaryKey || c->kind == ConstraintKind::kUnique;
  while (true) {
    if (keyed && PeekWord("USING") && !c->has_using_index) {
      Next();
      TABDB_RETURN_IF_ERROR(ExpectWord("INDEX"));
      TABDB_RETURN_IF_ERROR(ParseUsingIndex(c));
    } else if (AcceptWord("ENABLE")) {
      c->enable = true;
      c->enable_given = true;
    } else if (AcceptWord("DISABLE")) {
      c->enable = false;
      c->enable_given = true;
    } else if (AcceptWord("VALIDATE")) {
      c->validate = 1;
    } else if (AcceptWord("NOVALIDATE")) {
      c->validate = 0;
    } else {
      bool matched = false;
      TABDB_RETURN_IF_ERROR(ParseDeferralState(c, &matched));
      if (!matched) return Status::Ok();
    }
  }
}

// [CONSTRAINT name] then the constraint. Inline (column) form: NOT NULL,
// NULL, PRIMARY KEY, UNIQUE, CHECK (cond). Out-of-line form: PRIMARY KEY
// (cols), UNIQUE (cols), CHECK (cond).
Status Parser::ParseConstraintBody(Constraint* c, bool inline_form) {
  if (AcceptWord("CONSTRAINT")) {
    TABDB_RETURN_IF_ERROR(ParseName(&c->name));
    c->has_name = true;
  }
  bool columns = false;
  if (inline_form && AcceptWord("NOT")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("NULL", 908));
    c->kind = ConstraintKind::kNotNull;
  } else if (inline_form && AcceptWord("NULL")) {
    c->kind = ConstraintKind::kNull;
  } else if (AcceptWord("PRIMARY")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("KEY"));
    c->kind = ConstraintKind::kPrimaryKey;
    columns = !inline_form;
  } else if (AcceptWord("UNIQUE")) {
    c->kind = ConstraintKind::kUnique;
    columns = !inline_form;
  } else if (AcceptWord("CHECK")) {
    c->kind = ConstraintKind::kCheck;
    TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
    ExprPtr cond;
    TABDB_RETURN_IF_ERROR(ParseCondition(&cond));
    if (HasSubquery(*cond)) return OraError(ora::kSubqueryNotAllowed);
    c->check_text = TextOf(cond->span);
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
  } else if (PeekWord("FOREIGN") || PeekWord("REFERENCES")) {
    TABDB_RETURN_IF_ERROR(ParseForeignKey(c, inline_form));
  } else {
    return Err(905);
  }
  if (columns) TABDB_RETURN_IF_ERROR(ParseNameListInParens(&c->columns));
  return ParseConstraintState(c);
}

// ---- CREATE TABLE -----------------------------------------------------------------

Status Parser::ParseColumnDef(ColumnDef* col) {
  TABDB_RETURN_IF_ERROR(ParseName(&col->name));
  if (PeekWord("GENERATED") || PeekWord("AS")) {
    col->has_type = false;
  } else {
    TABDB_RETURN_IF_ERROR(RefuseUncarriedType());
    TABDB_RETURN_IF_ERROR(ParseDataType(&col->type));
  }
  bool identity = PeekWord("GENERATED") &&
                  (PeekWord("BY", 1) || (PeekWord("AS", 2) && PeekWord("IDENTITY", 3)) ||
                   (PeekWord("AS", 1) && PeekWord("IDENTITY", 2)));
  if (identity) {
    if (!col->has_type) return Err(902);
    TABDB_RETURN_IF_ERROR(ParseIdentity(col, false));
  } else if (AcceptWord("DEFAULT")) {
    if (PeekWord("ON") && PeekWord("NULL", 1)) {
      AcceptWord("ON");
      AcceptWord("NULL");
      col->default_on_null = true;
    }
    TABDB_RETURN_IF_ERROR(ParseExpr(&col->default_expr));
    col->default_text = TextOf(col->default_expr->span);
  } else if (PeekWord("GENERATED") || PeekWord("AS")) {
    if (AcceptWord("GENERATED")) TABDB_RETURN_IF_ERROR(ExpectWord("ALWAYS"));
    TABDB_RETURN_IF_ERROR(ExpectWord("AS"));
    TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
    TABDB_RETURN_IF_ERROR(ParseExpr(&col->virtual_expr));
    if (HasSubquery(*col->virtual_expr)) return OraError(ora::kSubqueryExprNotAllowed);
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    AcceptWord("VIRTUAL");
  }
  if (!col->has_type && !col->virtual_expr) return Err(902);
  while (PeekWord("CONSTRAINT") || PeekWord("NOT") || PeekWord("NULL") || PeekWord("PRIMARY") ||
         PeekWord("UNIQUE") || PeekWord("CHECK") || PeekWord("REFERENCES")) {
    Constraint c;
    TABDB_RETURN_IF_ERROR(ParseConstraintBody(&c, true));
    col->constraints.push_back(std::move(c));
  }
  return Status::Ok();
}

// After CREATE TABLE.
Status Parser::ParseCreateTable(Statement* st) {
  st->kind = StmtKind::kCreateTable;
  auto ct = std::make_unique<CreateTable>();
  TABDB_RETURN_IF_ERROR(ParseObjectName(&ct->name, 903));
  // AS SELECT, or ( name, ... ) AS SELECT.
  size_t k = 1;
  while (PeekSym("(") && PeekIsName(k) && PeekSym(",", k + 1)) k += 2;
  bool as_list = PeekSym("(") && PeekIsName(k) && PeekSym(")", k + 1) && PeekWord("AS", k + 2);
  if (PeekWord("AS") || as_list) {
    TABDB_RETURN_IF_ERROR(ParseCreateTableAs(ct.get()));
    st->create_table = std::move(ct);
    return Status::Ok();
  }
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  do {
    bool constraint = PeekWord("PRIMARY") || PeekWord("UNIQUE") || PeekWord("CHECK") ||
                      PeekWord("FOREIGN") || (PeekWord("CONSTRAINT") && PeekIsName(1));
    if (constraint) {
      Constraint c;
      TABDB_RETURN_IF_ERROR(ParseConstraintBody(&c, false));
      ct->constraints.push_back(std::move(c));
    } else {
      ColumnDef col;
      TABDB_RETURN_IF_ERROR(ParseColumnDef(&col));
      ct->columns.push_back(std::move(col));
    }
  } while (AcceptSym(","));
  TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
  if (ct->columns.empty()) return OraError(ora::kInvalidIdentifier, {""});
  while (true) {
    if (PeekWord("LOB") && PeekSym("(", 1)) {
      LobStorage lob;
      TABDB_RETURN_IF_ERROR(ParseLob(&lob));
      ct->lobs.push_back(std::move(lob));
      continue;
    }
    if (PeekWord("ON") && PeekWord("COMMIT", 1)) {
      // ON COMMIT DELETE | PRESERVE ROWS of a global temporary table.
      Next();
      Next();
      if (!PeekWord("DELETE") && !PeekWord("PRESERVE")) return Err(905);
      ct->temporary = Next().text;
      TABDB_RETURN_IF_ERROR(ExpectWord("ROWS"));
      continue;
    }
    bool matched;
    TABDB_RETURN_IF_ERROR(ParseTableProperty(ct.get(), &matched));
    if (matched) continue;
    TABDB_RETURN_IF_ERROR(ParseSegmentAttr(&ct->attrs, &matched));
    if (!matched) break;
  }
  TABDB_RETURN_IF_ERROR(RefuseUncarriedTableClause());
  st->create_table = std::move(ct);
  return Status::Ok();
}

// ---- CREATE INDEX -------------------------------------------------------------------

// After CREATE [UNIQUE|BITMAP] INDEX.
Status Parser::ParseCreateIndex(Statement* st, bool unique, bool bitmap) {
  st->kind = StmtKind::kCreateIndex;
  auto ci = std::make_unique<CreateIndex>();
  ci->unique = unique;
  ci->bitmap = bitmap;
  TABDB_RETURN_IF_ERROR(ParseObjectName(&ci->name, 953));
  TABDB_RETURN_IF_ERROR(ExpectWord("ON", 969));
  TABDB_RETURN_IF_ERROR(ParseObjectName(&ci->table, 903));
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  do {
    IndexKey key;
    TABDB_RETURN_IF_ERROR(ParseExpr(&key.expr));
    if (HasSubquery(*key.expr)) return OraError(ora::kSubqueryExprNotAllowed);
    if (AcceptWord("DESC")) {
      key.desc = true;
    } else {
      AcceptWord("ASC");
    }
    ci->keys.push_back(std::move(key));
  } while (AcceptSym(","));
  TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
  while (true) {
    if (AcceptWord("REVERSE")) {
      ci->reverse = true;
      continue;
    }
    if (ci->locality == 0 && AcceptWord("LOCAL")) {
      // LOCAL [(PARTITION [p] ..., ...)]: the index partitions follow the table's.
      ci->locality = 1;
      if (PeekSym("(") && PeekWord("PARTITION", 1)) {
        Next();
        do {
          PartitionDesc d;
          TABDB_RETURN_IF_ERROR(ParsePartitionDesc(&d, false, ""));
        } while (AcceptSym(","));
        TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
      }
      continue;
    }
    if (ci->locality == 0 && PeekWord("GLOBAL")) {
      Next();
      ci->locality = 2;
      if (AcceptWord("PARTITION")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("BY"));
        ci->partitioning = std::make_shared<PartitionSpec>();
        TABDB_RETURN_IF_ERROR(ParsePartitionBy(ci->partitioning.get(), true));
      }
      continue;
    }
    bool matched;
    TABDB_RETURN_IF_ERROR(ParseSegmentAttr(&ci->attrs, &matched));
    if (!matched) break;
  }
  TABDB_RETURN_IF_ERROR(RefuseUncarriedIndexClause());
  if (ci->reverse && ci->bitmap) return OraError(ora::kInvalidCreateIndexOption);
  st->create_index = std::move(ci);
  return Status::Ok();
}

// ---- ALTER TABLE ---------------------------------------------------------------------

// After ALTER TABLE: only ADD of a primary key, unique or check constraint.
Status Parser::ParseAlterTable(Statement* st) {
  st->kind = StmtKind::kAlterTable;
  auto at = std::make_unique<AlterTable>();
  TABDB_RETURN_IF_ERROR(ParseObjectName(&at->table, 903));
  bool partition_form = false;
  TABDB_RETURN_IF_ERROR(ParseAlterPartition(at.get(), &partition_form));
  if (partition_form) {
    st->alter_table = std::move(at);
    return Status::Ok();
  }
  TABDB_RETURN_IF_ERROR(RefuseUncarriedAlterTable());
  // Constraint states.
  if ((PeekWord("MODIFY") && PeekWord("CONSTRAINT", 1)) || PeekWord("ENABLE") || PeekWord("DISABLE")) {
    TABDB_RETURN_IF_ERROR(ParseConstraintStateChange(at.get()));
    st->alter_table = std::move(at);
    return Status::Ok();
  }
  // Constraint forms (parse_alter_cons.cpp), then column forms (parse_alter.cpp).
  bool matched = false;
  TABDB_RETURN_IF_ERROR(ParseAlterConstraintForm(at.get(), &matched));
  if (matched) {
    st->alter_table = std::move(at);
    return Status::Ok();
  }
  // Column forms (parse_alter.cpp).
  bool column_form = true;
  if (PeekWord("MODIFY") && !PeekWord("CONSTRAINT", 1) && !PeekWord("PRIMARY", 1) &&
      !PeekWord("UNIQUE", 1)) {
    Next();
    TABDB_RETURN_IF_ERROR(ParseAlterModify(at.get()));
  } else if ((PeekWord("DROP") && (PeekWord("COLUMN", 1) || PeekSym("(", 1) ||
                                   PeekWord("UNUSED", 1))) ||
             (PeekWord("SET") && PeekWord("UNUSED", 1))) {
    TABDB_RETURN_IF_ERROR(ParseAlterDropColumns(at.get()));
  } else if (PeekWord("RENAME") && (PeekWord("COLUMN", 1) || PeekWord("TO", 1))) {
    TABDB_RETURN_IF_ERROR(ParseAlterRename(at.get()));
  } else if (PeekWord("ADD") && !PeekWord("CONSTRAINT", 1) && !PeekWord("PRIMARY", 1) &&
             !PeekWord("UNIQUE", 1) && !PeekWord("CHECK", 1) && !PeekWord("FOREIGN", 1)) {
    Next();
    TABDB_RETURN_IF_ERROR(ParseAlterAddItems(at.get()));
  } else {
    column_form = false;
  }
  if (column_form) {
    st->alter_table = std::move(at);
    return Status::Ok();
  }
  if (!AcceptWord("ADD")) return Err(1735);
  bool constraint = PeekWord("CONSTRAINT") || PeekWord("PRIMARY") || PeekWord("UNIQUE") ||
                    PeekWord("CHECK") || PeekWord("FOREIGN");
  if (!constraint) return Err(1735);
  TABDB_RETURN_IF_ERROR(ParseConstraintBody(&at->add_constraint, false));
  st->alter_table = std::move(at);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb

namespace tabdb {
namespace sql {

// Table organizations and storage the database does not carry: one clear
// ORA-03001 rather than a syntax error on a later word.
Status Parser::RefuseUncarriedTableClause() {
  if ((PeekWord("PARTITION") || PeekWord("SUBPARTITION")) && PeekWord("BY", 1))
    return Unimplemented(Peek().text + " BY");
  if (PeekWord("ORGANIZATION"))
    return Unimplemented(PeekWord("HEAP", 1) ? "ORGANIZATION HEAP" : "ORGANIZATION " + Peek(1).text);
  static const char* const kClauses[] = {"CLUSTER", "NESTED TABLE", "VARRAY", "INMEMORY",
                                         "ENABLE ROW MOVEMENT", "DISABLE ROW MOVEMENT",
                                         "ON COMMIT", "ROW ARCHIVAL", "FLASHBACK ARCHIVE",
                                         "CACHE", "NOCACHE", "RESULT_CACHE", "ILM"};
  for (const char* c : kClauses)
    if (MatchWords(c, 0)) return Unimplemented(c);
  return Status::Ok();
}

// Object, XML and spatial column types (XMLTYPE, SDO_GEOMETRY, a
// schema-qualified user type).
Status Parser::RefuseUncarriedType() {
  static const char* const kTypes[] = {"XMLTYPE", "SDO_GEOMETRY", "ANYDATA", "ANYTYPE",
                                       "URITYPE", "BFILE",        "JSON",    "REF"};
  for (const char* t : kTypes)
    if (PeekWord(t)) return Unimplemented(std::string(t) + " column");
  if (PeekIsName() && PeekSym(".", 1))
    return Unimplemented("column of object type " + Peek().text + "." + Peek(2).text);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb
