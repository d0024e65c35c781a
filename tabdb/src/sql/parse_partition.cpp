// parse_partition.cpp - the partitioning clauses of CREATE TABLE and CREATE
// INDEX, ORGANIZATION INDEX, the partition maintenance forms of ALTER TABLE
// and the partition-extended table name of a query.
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

// ( item, ... ): each item's text as written. MAXVALUE, DEFAULT and NULL
// stay words; anything else is a value expression (literal, TO_DATE(...)).
// A multi-column list tuple's inner parentheses are kept in the text.
Status Parser::ParseBoundItems(std::vector<std::string>* out) {
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  do {
    if (PeekWord("MAXVALUE") || PeekWord("DEFAULT")) {
      // DEFAULT is kept as typed: Oracle shows the bound as it was written.
      const Token& t = Next();
      out->push_back(t.text == "MAXVALUE" ? t.text
                                          : std::string(text().substr(t.begin, t.end - t.begin)));
      continue;
    }
    uint32_t begin = Peek().begin;
    ExprPtr e;
    TABDB_RETURN_IF_ERROR(ParseExpr(&e));
    out->push_back(TextOf({begin, prev_end()}));
  } while (AcceptSym(","));
  return ExpectSym(")", 907);
}

// Segment attributes and other physical clauses of one partition: accepted
// and not kept (a partition has the table's attributes).
Status Parser::SkipPartitionAttrs() {
  SegmentAttributes ignored;
  while (true) {
    if (PeekWord("NO") && PeekWord("INMEMORY", 1)) {
      Next();
      Next();
      continue;
    }
    if (AcceptWord("INMEMORY") || AcceptWord("OVERFLOW")) continue;
    if (PeekWord("LOB") && PeekSym("(", 1)) {
      LobStorage lob;
      TABDB_RETURN_IF_ERROR(ParseLob(&lob));
      continue;
    }
    bool matched = false;
    TABDB_RETURN_IF_ERROR(ParseSegmentAttr(&ignored, &matched));
    if (!matched) return Status::Ok();
  }
}

// PARTITION [name] { VALUES LESS THAN (...) | VALUES (...) | } [attributes]
// [( SUBPARTITION ... ) | SUBPARTITIONS n], or the same for a subpartition.
Status Parser::ParsePartitionDesc(PartitionDesc* d, bool sub, const std::string& method) {
  TABDB_RETURN_IF_ERROR(ExpectWord(sub ? "SUBPARTITION" : "PARTITION", 14006));
  if (PeekIsName() && !PeekWord("VALUES") && !PeekWord("TABLESPACE") && !PeekSegmentAttr()) {
    Name n;
    TABDB_RETURN_IF_ERROR(ParseName(&n, 14006));
    d->name = n.text;
  }
  if (AcceptWord("VALUES")) {
    if (AcceptWord("LESS")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("THAN"));
      if (method == "LIST") return OraError(14310);
    } else if (method == "RANGE") {
      return OraError(14311);
    }
    TABDB_RETURN_IF_ERROR(ParseBoundItems(&d->bound));
    d->has_bound = true;
  } else if (method == "RANGE") {
    return OraError(14311);
  }
  TABDB_RETURN_IF_ERROR(SkipPartitionAttrs());
  if (!sub) {
    if (AcceptWord("SUBPARTITIONS")) {
      TABDB_RETURN_IF_ERROR(ParseInteger(&d->subpart_count));
      if (AcceptWord("STORE")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("IN"));
        std::vector<Name> ts;
        TABDB_RETURN_IF_ERROR(ParseNameListInParens(&ts));
      }
    } else if (PeekSym("(") && PeekWord("SUBPARTITION", 1)) {
      Next();
      do {
        PartitionDesc s;
        TABDB_RETURN_IF_ERROR(ParsePartitionDesc(&s, true, ""));
        d->subparts.push_back(std::move(s));
      } while (AcceptSym(","));
      TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    }
  }
  return Status::Ok();
}

namespace {

Status ParseColumnList(Parser& p, std::vector<Name>* names, std::vector<std::string>* out) {
  TABDB_RETURN_IF_ERROR(p.ParseNameListInParens(names));
  for (const Name& n : *names) out->push_back(n.text);
  return Status::Ok();
}

}  // namespace

// PARTITION BY RANGE | LIST | HASH (cols) ... (after the words PARTITION BY
// of a table, or GLOBAL PARTITION BY of an index).
Status Parser::ParsePartitionBy(PartitionSpec* p, bool index) {
  if (AcceptWord("RANGE")) {
    p->method = "RANGE";
  } else if (AcceptWord("LIST")) {
    p->method = "LIST";
  } else if (AcceptWord("HASH")) {
    p->method = "HASH";
  } else if (PeekWord("REFERENCE") || PeekWord("SYSTEM")) {
    return OraError(439, {"Partitioning by " + Next().text});
  } else {
    return OraError(14151);
  }
  std::vector<Name> cols;
  TABDB_RETURN_IF_ERROR(ParseColumnList(*this, &cols, &p->columns));
  if (p->method == "RANGE" && !index && AcceptWord("INTERVAL")) {
    TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
    uint32_t begin = Peek().begin;
    ExprPtr e;
    TABDB_RETURN_IF_ERROR(ParseExpr(&e));
    p->interval = TextOf({begin, prev_end()});
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    if (p->columns.size() != 1) return OraError(14750);
  }
  if (p->method == "LIST" && AcceptWord("AUTOMATIC")) p->automatic = true;
  if (AcceptWord("STORE")) {
    TABDB_RETURN_IF_ERROR(ExpectWord("IN"));
    std::vector<Name> ts;
    TABDB_RETURN_IF_ERROR(ParseNameListInParens(&ts));
  }
  if (!index && PeekWord("SUBPARTITION") && PeekWord("BY", 1)) {
    Next();
    Next();
    if (AcceptWord("RANGE")) {
      p->submethod = "RANGE";
    } else if (AcceptWord("LIST")) {
      p->submethod = "LIST";
    } else if (AcceptWord("HASH")) {
      p->submethod = "HASH";
    } else {
      return OraError(14151);
    }
    std::vector<Name> sub;
    TABDB_RETURN_IF_ERROR(ParseColumnList(*this, &sub, &p->subcolumns));
    if (AcceptWord("SUBPARTITIONS")) {
      TABDB_RETURN_IF_ERROR(ParseInteger(&p->subpart_count));
      if (AcceptWord("STORE")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("IN"));
        std::vector<Name> ts;
        TABDB_RETURN_IF_ERROR(ParseNameListInParens(&ts));
      }
    } else if (AcceptWord("SUBPARTITION")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("TEMPLATE"));
      p->has_template = true;
      if (Peek().kind == TokenKind::kNumber) {
        TABDB_RETURN_IF_ERROR(ParseInteger(&p->subpart_count));
      } else {
        TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
        do {
          PartitionDesc s;
          TABDB_RETURN_IF_ERROR(ParsePartitionDesc(&s, true, ""));
          p->subtemplate.push_back(std::move(s));
        } while (AcceptSym(","));
        TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
      }
    }
  }
  if (p->method == "HASH" && AcceptWord("PARTITIONS")) {
    TABDB_RETURN_IF_ERROR(ParseInteger(&p->partitions_count));
    if (p->partitions_count < 1 || p->partitions_count > 1048575) return OraError(14152);
    if (AcceptWord("STORE")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("IN"));
      std::vector<Name> ts;
      TABDB_RETURN_IF_ERROR(ParseNameListInParens(&ts));
    }
    return Status::Ok();
  }
  TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
  do {
    PartitionDesc d;
    TABDB_RETURN_IF_ERROR(ParsePartitionDesc(&d, false, p->method == "HASH" ? "" : p->method));
    p->parts.push_back(std::move(d));
  } while (AcceptSym(","));
  return ExpectSym(")", 907);
}

// ORGANIZATION INDEX | HEAP and their options (after ORGANIZATION).
Status Parser::ParseOrganization(CreateTable* ct) {
  if (AcceptWord("HEAP")) return Status::Ok();
  if (!AcceptWord("INDEX")) return Unimplemented("ORGANIZATION " + Peek().text);
  auto iot = std::make_shared<IotSpec>();
  while (true) {
    if (AcceptWord("PCTTHRESHOLD")) {
      TABDB_RETURN_IF_ERROR(ParseInteger(&iot->pctthreshold));
    } else if (AcceptWord("INCLUDING")) {
      Name n;
      TABDB_RETURN_IF_ERROR(ParseName(&n));
      iot->including = n.text;
    } else if (AcceptWord("OVERFLOW")) {
      iot->overflow = true;
      TABDB_RETURN_IF_ERROR(SkipPartitionAttrs());
    } else if (PeekWord("MAPPING") && PeekWord("TABLE", 1)) {
      Next();
      Next();
    } else if (AcceptWord("COMPRESS")) {
      iot->compress = 0;
      if (Peek().kind == TokenKind::kNumber) TABDB_RETURN_IF_ERROR(ParseInteger(&iot->compress));
    } else if (AcceptWord("NOCOMPRESS")) {
      iot->compress = -1;
    } else {
      bool matched = false;
      TABDB_RETURN_IF_ERROR(ParseSegmentAttr(&ct->attrs, &matched));
      if (!matched) break;
    }
  }
  if (!iot->including.empty() && !iot->overflow) return OraError(25186);
  ct->iot = std::move(iot);
  return Status::Ok();
}

// One table property after the column list: ORGANIZATION, PARTITION BY,
// ENABLE/DISABLE ROW MOVEMENT. *matched false when none starts here.
Status Parser::ParseTableProperty(CreateTable* ct, bool* matched) {
  *matched = true;
  if (AcceptWord("ORGANIZATION")) return ParseOrganization(ct);
  if (PeekWord("PARTITION") && PeekWord("BY", 1)) {
    Next();
    Next();
    if (ct->partitioning) return Err(922);
    auto p = std::make_shared<PartitionSpec>();
    TABDB_RETURN_IF_ERROR(ParsePartitionBy(p.get(), false));
    ct->partitioning = std::move(p);
    return Status::Ok();
  }
  if ((PeekWord("ENABLE") || PeekWord("DISABLE")) && PeekWord("ROW", 1) && PeekWord("MOVEMENT", 2)) {
    ct->row_movement = Next().text == "ENABLE" ? 1 : 0;
    Next();
    Next();
    return Status::Ok();
  }
  *matched = false;
  return Status::Ok();
}

namespace {

Status ParsePartName(Parser& p, PartitionAlter* a) {
  if (p.AcceptWord("FOR")) {
    return p.ParseBoundItems(&a->for_values);
  }
  Name n;
  TABDB_RETURN_IF_ERROR(p.ParseName(&n, 14006));
  a->names.push_back(n.text);
  return Status::Ok();
}

// [UPDATE [GLOBAL] INDEXES], [DROP | REUSE STORAGE] and the like, accepted.
void SkipMaintenanceOptions(Parser& p) {
  while (true) {
    if (p.PeekWord("UPDATE") && (p.PeekWord("INDEXES", 1) || p.PeekWord("GLOBAL", 2) ||
                                 p.PeekWord("GLOBAL", 1))) {
      p.Next();
      p.AcceptWord("GLOBAL");
      p.AcceptWord("INDEXES");
      continue;
    }
    if ((p.PeekWord("DROP") || p.PeekWord("REUSE")) && p.PeekWord("STORAGE", 1)) {
      p.Next();
      p.Next();
      if (p.AcceptWord("ALL")) {}
      continue;
    }
    if (p.PeekWord("INVALIDATE") && p.PeekWord("GLOBAL", 1)) {
      p.Next();
      p.Next();
      p.AcceptWord("INDEXES");
      continue;
    }
    if (p.AcceptWord("ONLINE") || p.AcceptWord("PARALLEL") || p.AcceptWord("NOPARALLEL")) continue;
    return;
  }
}

}  // namespace

// ALTER TABLE t ADD | DROP | TRUNCATE | SPLIT | MERGE | EXCHANGE | RENAME
// PARTITION ..., ENABLE | DISABLE ROW MOVEMENT.
Status Parser::ParseAlterPartition(AlterTable* at, bool* matched) {
  *matched = true;
  auto a = std::make_shared<PartitionAlter>();
  if ((PeekWord("ENABLE") || PeekWord("DISABLE")) && PeekWord("ROW", 1) && PeekWord("MOVEMENT", 2)) {
    a->op = PartitionOp::kRowMovement;
    a->enable = Next().text == "ENABLE";
    Next();
    Next();
  } else if (PeekWord("ADD") && PeekWord("PARTITION", 1)) {
    Next();
    a->op = PartitionOp::kAdd;
    TABDB_RETURN_IF_ERROR(ParsePartitionDesc(&a->added, false, ""));
    SkipMaintenanceOptions(*this);
  } else if ((PeekWord("DROP") || PeekWord("TRUNCATE")) &&
             (PeekWord("PARTITION", 1) || PeekWord("SUBPARTITION", 1))) {
    a->op = Next().text == "DROP" ? PartitionOp::kDrop : PartitionOp::kTruncate;
    a->subpartition = Next().text == "SUBPARTITION";
    TABDB_RETURN_IF_ERROR(ParsePartName(*this, a.get()));
    while (!a->subpartition && AcceptSym(",")) TABDB_RETURN_IF_ERROR(ParsePartName(*this, a.get()));
    SkipMaintenanceOptions(*this);
  } else if (PeekWord("RENAME") && (PeekWord("PARTITION", 1) || PeekWord("SUBPARTITION", 1))) {
    Next();
    a->op = PartitionOp::kRename;
    a->subpartition = Next().text == "SUBPARTITION";
    TABDB_RETURN_IF_ERROR(ParsePartName(*this, a.get()));
    TABDB_RETURN_IF_ERROR(ExpectWord("TO"));
    Name n;
    TABDB_RETURN_IF_ERROR(ParseName(&n, 14006));
    a->new_name = n.text;
  } else if (PeekWord("SPLIT") && PeekWord("PARTITION", 1)) {
    Next();
    Next();
    a->op = PartitionOp::kSplit;
    TABDB_RETURN_IF_ERROR(ParsePartName(*this, a.get()));
    if (AcceptWord("AT")) {
      TABDB_RETURN_IF_ERROR(ParseBoundItems(&a->at));
    } else {
      TABDB_RETURN_IF_ERROR(ExpectWord("VALUES"));
      a->split_values = true;
      TABDB_RETURN_IF_ERROR(ParseBoundItems(&a->at));
    }
    TABDB_RETURN_IF_ERROR(ExpectWord("INTO"));
    TABDB_RETURN_IF_ERROR(ExpectSym("(", 906));
    do {
      PartitionDesc d;
      TABDB_RETURN_IF_ERROR(ParsePartitionDesc(&d, false, ""));
      a->into.push_back(d.name);
    } while (AcceptSym(","));
    TABDB_RETURN_IF_ERROR(ExpectSym(")", 907));
    if (a->into.size() != 2) return Err(14006);
    SkipMaintenanceOptions(*this);
  } else if (PeekWord("MERGE") && PeekWord("PARTITIONS", 1)) {
    Next();
    Next();
    a->op = PartitionOp::kMerge;
    do {
      TABDB_RETURN_IF_ERROR(ParsePartName(*this, a.get()));
    } while (AcceptSym(","));
    TABDB_RETURN_IF_ERROR(ExpectWord("INTO"));
    PartitionDesc d;
    TABDB_RETURN_IF_ERROR(ParsePartitionDesc(&d, false, ""));
    a->into.push_back(d.name);
    SkipMaintenanceOptions(*this);
  } else if (PeekWord("EXCHANGE") && PeekWord("PARTITION", 1)) {
    Next();
    Next();
    a->op = PartitionOp::kExchange;
    TABDB_RETURN_IF_ERROR(ParsePartName(*this, a.get()));
    TABDB_RETURN_IF_ERROR(ExpectWord("WITH"));
    TABDB_RETURN_IF_ERROR(ExpectWord("TABLE"));
    NameList t;
    TABDB_RETURN_IF_ERROR(ParseObjectName(&t, 903));
    for (const Name& n : t) a->exchange_table.push_back(n.text);
    while (true) {
      if (AcceptWord("INCLUDING") || AcceptWord("EXCLUDING")) {
        a->including_indexes = toks_[pos_ - 1].text == "INCLUDING";
        TABDB_RETURN_IF_ERROR(ExpectWord("INDEXES"));
      } else if (AcceptWord("WITH") || AcceptWord("WITHOUT")) {
        a->without_validation = toks_[pos_ - 1].text == "WITHOUT";
        TABDB_RETURN_IF_ERROR(ExpectWord("VALIDATION"));
      } else {
        break;
      }
    }
    SkipMaintenanceOptions(*this);
  } else {
    *matched = false;
    return Status::Ok();
  }
  at->partition = std::move(a);
  return Status::Ok();
}

// t PARTITION (p) / SUBPARTITION (p) after a table name in FROM or DML.
Status Parser::ParseTableRefPartition(TableRef* out) {
  if (!((PeekWord("PARTITION") || PeekWord("SUBPARTITION")) && PeekSym("(", 1))) return Status::Ok();
  out->subpartition = Next().text == "SUBPARTITION";
  Next();
  Name n;
  TABDB_RETURN_IF_ERROR(ParseName(&n, 14006));
  out->partition = n.text;
  return ExpectSym(")", 907);
}

}  // namespace sql
}  // namespace tabdb
