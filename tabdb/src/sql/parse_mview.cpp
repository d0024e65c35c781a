// parse_mview.cpp - CREATE and DROP MATERIALIZED VIEW and MATERIALIZED VIEW
// LOG, with the clauses Oracle's scripts and DBMS_METADATA write (build
// and refresh options, physical attributes, rollback segments, constraint
// trust, query rewrite) read into one MviewStmt.
#include "sql/parser_impl.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {

namespace {

// The source text of the expression tokens between two positions.
std::string Between(std::string_view text, uint32_t begin, uint32_t end) {
  return std::string(text.substr(begin, end - begin));
}

}  // namespace

// After CREATE; the next words are MATERIALIZED VIEW.
Status Parser::ParseCreateMview(Statement* st) {
  Next();  // MATERIALIZED
  Next();  // VIEW
  st->kind = StmtKind::kMview;
  auto mv = std::make_unique<MviewStmt>();
  if (AcceptWord("LOG")) {
    mv->action = MviewStmt::kCreateLog;
    TABDB_RETURN_IF_ERROR(ExpectWord("ON", 969));
    TABDB_RETURN_IF_ERROR(ParseObjectName(&mv->name, 903));
    for (;;) {
      bool matched = false;
      TABDB_RETURN_IF_ERROR(ParseSegmentAttr(&mv->attrs, &matched));
      if (matched) continue;
      if (AcceptWord("PARALLEL")) {
        if (Peek().kind == TokenKind::kNumber) Next();
        continue;
      }
      if (AcceptWord("NOPARALLEL") || AcceptWord("CACHE") || AcceptWord("NOCACHE")) continue;
      if (AcceptWord("WITH")) {
        // WITH {PRIMARY KEY | ROWID | OBJECT ID | SEQUENCE | (col, ...)} [, ...]
        do {
          if (AcceptWord("PRIMARY")) {
            TABDB_RETURN_IF_ERROR(ExpectWord("KEY"));
            mv->log_primary_key = true;
          } else if (AcceptWord("ROWID")) {
            mv->log_rowid = true;
          } else if (AcceptWord("OBJECT")) {
            TABDB_RETURN_IF_ERROR(ExpectWord("ID"));
            mv->log_object_id = true;
          } else if (AcceptWord("SEQUENCE")) {
            mv->log_sequence = true;
          } else if (!PeekSym("(")) {
            return Err(905);
          }
          // A column list may follow an item without a comma
          // (WITH ROWID, SEQUENCE (a, b)).
          if (PeekSym("(")) {
            std::vector<Name> cols;
            TABDB_RETURN_IF_ERROR(ParseNameListInParens(&cols));
            for (Name& n : cols) mv->log_columns.push_back(std::move(n));
          }
        } while (AcceptSym(","));
        continue;
      }
      if (PeekWord("INCLUDING") || PeekWord("EXCLUDING")) {
        mv->log_new_values = Next().text == "INCLUDING";
        TABDB_RETURN_IF_ERROR(ExpectWord("NEW"));
        TABDB_RETURN_IF_ERROR(ExpectWord("VALUES"));
        continue;
      }
      if (AcceptWord("PURGE")) {
        // PURGE IMMEDIATE [SYNCHRONOUS | ASYNCHRONOUS] | START WITH d [NEXT d] | NEXT d
        if (AcceptWord("IMMEDIATE")) {
          if (!AcceptWord("SYNCHRONOUS")) AcceptWord("ASYNCHRONOUS");
          continue;
        }
        // (REPEAT INTERVAL '5' DAY: the interval literal is the expression)
        while (AcceptWord("START") || AcceptWord("NEXT") || AcceptWord("REPEAT")) {
          AcceptWord("WITH");
          ExprPtr e;
          TABDB_RETURN_IF_ERROR(ParseExpr(&e));
        }
        continue;
      }
      break;
    }
    st->mview = std::move(mv);
    return Status::Ok();
  }

  TABDB_RETURN_IF_ERROR(ParseObjectName(&mv->name, 903));
  if (PeekSym("(")) TABDB_RETURN_IF_ERROR(ParseNameListInParens(&mv->columns));
  for (;;) {
    bool matched = false;
    TABDB_RETURN_IF_ERROR(ParseSegmentAttr(&mv->attrs, &matched));
    if (matched) continue;
    if (AcceptWord("ORGANIZATION")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("HEAP"));
      continue;
    }
    if (AcceptWord("ON")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("PREBUILT"));
      TABDB_RETURN_IF_ERROR(ExpectWord("TABLE"));
      mv->build = "PREBUILT";
      if (AcceptWord("WITH") || AcceptWord("WITHOUT")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("REDUCED"));
        TABDB_RETURN_IF_ERROR(ExpectWord("PRECISION"));
      }
      continue;
    }
    if (AcceptWord("BUILD")) {
      if (AcceptWord("IMMEDIATE")) {
        mv->build = "IMMEDIATE";
      } else {
        TABDB_RETURN_IF_ERROR(ExpectWord("DEFERRED"));
        mv->build = "DEFERRED";
      }
      continue;
    }
    if (AcceptWord("PARALLEL")) {
      if (Peek().kind == TokenKind::kNumber) Next();
      continue;
    }
    if (AcceptWord("NOPARALLEL") || AcceptWord("CACHE") || AcceptWord("NOCACHE")) continue;
    if (AcceptWord("USING")) {
      // USING INDEX [attrs] | USING NO INDEX | USING [DEFAULT] [LOCAL |
      // MASTER] ROLLBACK SEGMENT [rbs] | USING {ENFORCED | TRUSTED} CONSTRAINTS
      if (AcceptWord("INDEX")) {
        SegmentAttributes ignored;
        bool more = true;
        while (more) TABDB_RETURN_IF_ERROR(ParseSegmentAttr(&ignored, &more));
      } else if (AcceptWord("NO")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("INDEX"));
      } else if (AcceptWord("ENFORCED") || AcceptWord("TRUSTED")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("CONSTRAINTS"));
      } else {
        AcceptWord("DEFAULT");
        if (!AcceptWord("LOCAL")) AcceptWord("MASTER");
        TABDB_RETURN_IF_ERROR(ExpectWord("ROLLBACK"));
        TABDB_RETURN_IF_ERROR(ExpectWord("SEGMENT"));
        if (!PeekWord("REFRESH") && !PeekWord("USING") && !PeekWord("AS") && !PeekWord("ENABLE") &&
            !PeekWord("DISABLE") && !PeekWord("FOR") && PeekIsName(0))
          Next();
      }
      continue;
    }
    if (AcceptWord("NEVER")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("REFRESH"));
      mv->refresh_method = "NEVER";
      mv->refresh_mode = "NEVER";
      continue;
    }
    if (AcceptWord("REFRESH")) {
      for (;;) {
        if (PeekWord("FAST") || PeekWord("COMPLETE") || PeekWord("FORCE")) {
          mv->refresh_method = Next().text;
        } else if (PeekWord("ON") && (PeekWord("DEMAND", 1) || PeekWord("COMMIT", 1) || PeekWord("STATEMENT", 1))) {
          Next();
          mv->refresh_mode = Next().text;
        } else if (PeekWord("START") || PeekWord("NEXT")) {
          bool start = Next().text == "START";
          if (start) TABDB_RETURN_IF_ERROR(ExpectWord("WITH"));
          uint32_t begin = Peek().begin;
          ExprPtr e;
          TABDB_RETURN_IF_ERROR(ParseExpr(&e));
          (start ? mv->start_with : mv->next) = Between(text(), begin, prev_end());
        } else if (PeekWord("WITH") && (PeekWord("PRIMARY", 1) || PeekWord("ROWID", 1))) {
          Next();
          if (AcceptWord("ROWID")) {
            mv->with_rowid = true;
          } else {
            Next();
            TABDB_RETURN_IF_ERROR(ExpectWord("KEY"));
          }
        } else {
          break;
        }
      }
      continue;
    }
    if (AcceptWord("FOR")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("UPDATE"));
      mv->updatable = true;
      continue;
    }
    if (PeekWord("ENABLE") || PeekWord("DISABLE")) {
      bool enable = Next().text == "ENABLE";
      if (AcceptWord("ON")) {
        TABDB_RETURN_IF_ERROR(ExpectWord("QUERY"));
        TABDB_RETURN_IF_ERROR(ExpectWord("COMPUTATION"));
      } else {
        TABDB_RETURN_IF_ERROR(ExpectWord("QUERY"));
        TABDB_RETURN_IF_ERROR(ExpectWord("REWRITE"));
        mv->rewrite = enable;
      }
      continue;
    }
    break;
  }
  TABDB_RETURN_IF_ERROR(ExpectWord("AS"));
  if (!PeekWord("SELECT") && !PeekWord("WITH") && !PeekSym("(")) return Err(928);
  mv->query_span.begin = Peek().begin;
  std::unique_ptr<Select> q;
  TABDB_RETURN_IF_ERROR(ParseSelect(&q, false));
  mv->query_span.end = prev_end();
  mv->query_text = Between(text(), mv->query_span.begin, mv->query_span.end);
  mv->query = std::shared_ptr<Select>(std::move(q));
  st->mview = std::move(mv);
  return Status::Ok();
}

// After DROP; the next words are MATERIALIZED VIEW.
Status Parser::ParseDropMview(Statement* st) {
  Next();  // MATERIALIZED
  Next();  // VIEW
  st->kind = StmtKind::kMview;
  auto mv = std::make_unique<MviewStmt>();
  if (AcceptWord("LOG")) {
    mv->action = MviewStmt::kDropLog;
    TABDB_RETURN_IF_ERROR(ExpectWord("ON", 969));
    TABDB_RETURN_IF_ERROR(ParseObjectName(&mv->name, 903));
  } else {
    mv->action = MviewStmt::kDrop;
    TABDB_RETURN_IF_ERROR(ParseObjectName(&mv->name, 903));
    if (AcceptWord("PRESERVE")) {
      TABDB_RETURN_IF_ERROR(ExpectWord("TABLE"));
      mv->preserve_table = true;
    }
  }
  st->mview = std::move(mv);
  return Status::Ok();
}

}  // namespace sql
}  // namespace tabdb
