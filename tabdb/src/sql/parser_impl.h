// parser_impl.h - the recursive-descent parser shared by parser.cpp,
// parse_expr.cpp and parse_ddl.cpp (internal to the sql module).
//
// The parser walks the token vector from the lexer with bounded look-ahead
// and never backtracks, so parsing is linear in the number of tokens.
// Expression recursion is bounded by kMaxExprDepth.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sql/ast.h"
#include "sql/lexer.h"
#include "sql/parser.h"
#include "util/status.h"

namespace tabdb {
namespace sql {

class Parser {
 public:
  // `binds` receives the placeholder names in order of appearance.
  Parser(std::string_view text, std::vector<Token> tokens, std::vector<std::string>* binds)
      : text_(text), toks_(std::move(tokens)), binds_(binds) {}

  Status ParseStatement(Statement* st);
  Status ParseWholeExpression(ExprPtr* out);
  Status ParseWholeType(TypeDesc* out);

  // Offset in the text of the token the parser stopped at.
  uint32_t Position() const { return Peek().begin; }

  // ---- tokens ------------------------------------------------------------
  const Token& Peek(size_t k = 0) const {
    size_t i = pos_ + k;
    return i < toks_.size() ? toks_[i] : toks_.back();
  }
  const Token& Next() {
    const Token& t = Peek();
    if (pos_ + 1 < toks_.size()) ++pos_;
    prev_end_ = t.end;
    return t;
  }
  bool AtEnd() const { return Peek().kind == TokenKind::kEnd; }
  // An unquoted word equal to `w` (upper case).
  static bool IsWord(const Token& t, const char* w) {
    return t.kind == TokenKind::kIdent && t.text == w;
  }
  static bool IsSym(const Token& t, const char* s) {
    return t.kind == TokenKind::kSymbol && t.text == s;
  }
  bool PeekWord(const char* w, size_t k = 0) const { return IsWord(Peek(k), w); }
  bool PeekSym(const char* s, size_t k = 0) const { return IsSym(Peek(k), s); }
  bool AcceptWord(const char* w);
  bool AcceptSym(const char* s);
  // Errors with `code` (ORA-00921 instead of 00905 at the end of the text).
  Status ExpectWord(const char* w, int code = 905);
  Status ExpectSym(const char* s, int code);

  // The error for an unexpected token: ORA-00911 if it is a ';' in SQL,
  // ORA-00921 for a missing keyword at the end of the text, else `code`.
  Status Err(int code, std::initializer_list<std::string> args = {}) const;

  // ---- names -------------------------------------------------------------
  // An identifier: quoted, or unquoted and not reserved. A reserved word or
  // anything else fails with `code` (ORA-00904 gets an empty argument, as
  // Oracle words it for a reserved word).
  Status ParseName(Name* out, int code = 904);
  // [schema.]object
  Status ParseObjectName(NameList* out, int code);
  // ( name, name, ... )
  Status ParseNameListInParens(std::vector<Name>* out);
  bool PeekIsName(size_t k = 0) const;

  // ---- expressions (parse_expr.cpp) ---------------------------------------
  Status ParseCondition(ExprPtr* out);  // full condition: OR level
  Status ParseExpr(ExprPtr* out);       // value expression: || level
  Status ParseDataType(TypeDesc* out);

  // ---- numbers -----------------------------------------------------------
  // An unsigned integer literal (ORA-02017 otherwise).
  Status ParseInteger(int64_t* out);
  // An integer with an optional K/M/G/T/P/E suffix, in bytes.
  Status ParseSize(int64_t* out);

  // ---- DDL (parse_ddl.cpp) -------------------------------------------------
  Status ParseCreateTable(Statement* st);
  Status ParseCreateIndex(Statement* st, bool unique, bool bitmap);
  Status ParseAlterTable(Statement* st);
  // ORA-03001 for what the database cannot carry (partitioning, index
  // organization, clusters; object, XML and spatial column types).
  Status RefuseUncarriedTableClause();
  Status RefuseUncarriedType();
  // CREATE / ALTER / DROP SEQUENCE after the SEQUENCE keyword (parse_sequence.cpp).
  Status ParseSequence(Statement* st, StmtKind kind);
  // CREATE ... VIEW / SYNONYM after CREATE, DROP VIEW / [PUBLIC] SYNONYM
  // after DROP (parse_view.cpp).
  bool PeekViewOrSynonym() const;
  Status ParseCreateViewOrSynonym(Statement* st);
  bool PeekDropViewOrSynonym() const;
  Status ParseDropViewOrSynonym(Statement* st);
  // ALTER VIEW after VIEW: COMPILE (other forms are not carried).
  Status ParseAlterView(Statement* st);
  Status ParseSequenceOption(SequenceOptions* o, bool alter, bool* matched);
  // Identity columns, ALTER TABLE column forms, CREATE TABLE ... AS SELECT
  // and RENAME (parse_alter.cpp).
  Status ParseIdentity(ColumnDef* col, bool modify);
  Status ParseCreateTableAs(CreateTable* ct);
  // CREATE / DROP DIMENSION after the DIMENSION keyword (parse_dimension.cpp).
  Status ParseDimension(Statement* st, bool drop);
  // CREATE / DROP MATERIALIZED VIEW [LOG] after CREATE or DROP (parse_mview.cpp).
  Status ParseCreateMview(Statement* st);
  Status ParseDropMview(Statement* st);
  Status ParseAlterAddItems(AlterTable* at);
  Status ParseAlterModify(AlterTable* at);
  Status ParseAlterDropColumns(AlterTable* at);
  Status ParseAlterRename(AlterTable* at);
  Status ParseRename(Statement* st);

  std::string_view text() const { return text_; }
  std::string TextOf(Span s) const { return std::string(text_.substr(s.begin, s.end - s.begin)); }
  uint32_t prev_end() const { return prev_end_; }

  // Partitioning and organization clauses (parse_partition.cpp).
  Status ParsePartitionBy(PartitionSpec* p, bool index);
  Status ParsePartitionDesc(PartitionDesc* d, bool sub, const std::string& method);
  Status ParseBoundItems(std::vector<std::string>* out);
  Status SkipPartitionAttrs();
  Status ParseOrganization(CreateTable* ct);
  Status ParseTableProperty(CreateTable* ct, bool* matched);
  Status ParseAlterPartition(AlterTable* at, bool* matched);
  Status ParseTableRefPartition(TableRef* out);
 private:
  // statements (parser.cpp)
  // A whole query: [WITH ...] blocks joined by set operators, ORDER BY,
  // row limit [, FOR UPDATE] (parse_query.cpp).
  Status ParseSelect(std::unique_ptr<Select>* out, bool allow_for_update);
  Status ParseQueryBlock(std::unique_ptr<Select>* out);
  Status ParseSetBranch(std::unique_ptr<Select>* out, bool* parenthesised);
  Status ParseWith(std::vector<WithItem>* out);
  Status ParseOrderBy(Select* s);
  Status ParseOrderItems(std::vector<OrderItem>* out);
  Status ParseOver(Expr* fn);
  Status ParseJsonArgs(Expr* fn);
  Status ParseFrameBound(std::string* out);
  bool PeekSetOp() const;
  // SELECT, WITH, or a parenthesised query, at token k.
  bool PeekQueryStart(size_t k = 0) const;
  // op ANY|SOME|ALL (...) after the left operand and the operator.
  Status ParseQuantified(Op op, ExprPtr left, ExprPtr* out);
  Status ParseValueList(Expr* e);
  Status ParseSelectItem(SelectItem* item);
  Status ParseTableRef(TableRef* out, bool allow_alias);
  // FROM items after the first (parse_join.cpp)
  Status ParseJoins(Select* s);
  // SELECT ... nested in an expression or a FROM clause (parse_join.cpp)
  Status ParseSubquery(std::shared_ptr<Select>* out);
  // [OFFSET n ROWS] [FETCH FIRST|NEXT n ROWS ONLY] (parse_join.cpp)
  Status ParseRowLimit(Select* s);
  // VALUES (...), (...): the rows after the first (parse_join.cpp)
  Status ParseMoreValues(Insert* ins);
  bool PeekJoinWord() const;
  bool PeekTableRefEnd() const;
  Status ParseInsert(Statement* st);
  Status ParseMultiInsert(Statement* st);
  Status ParseUpdate(Statement* st);
  Status ParseDelete(Statement* st);
  Status ParseCreate(Statement* st);
  Status ParseAlter(Statement* st);
  Status ParseDrop(Statement* st);
  Status ParseTruncate(Statement* st);
  Status ParseUser(Statement* st, bool create);
  Status ParseGrant(Statement* st, bool grant);
  Status ParseAlterSession(Statement* st);
  Status ParseKillSession(Statement* st);
  Status ParsePlsql(Statement* st);
  Status ParsePlsqlBody(PlsqlBlock* block);
  Status ExpectSqlEnd();

  // expressions (parse_expr.cpp)
  Status ParseAnd(ExprPtr* out);
  Status ParseNot(ExprPtr* out);
  Status ParseComparison(ExprPtr* out);
  Status ParseConcat(ExprPtr* out);
  Status ParseAdditive(ExprPtr* out);
  Status ParseMultiplicative(ExprPtr* out);
  Status ParseUnary(ExprPtr* out);
  Status ParsePrimary(ExprPtr* out);
  Status ParseNamePrimary(ExprPtr* out);
  Status ParseFunctionArgs(Expr* fn);
  Status ParseCase(ExprPtr* out);
  Status ParseIntervalLiteral(ExprPtr* out);
  Status ParseIntervalUnit(IntervalUnit* unit);
  Status ParseParenPrecision(int lo, int hi, int code, int* p, int* s);
  Status ParseCharLength(TypeDesc* t, int max);
  Status ParseNumberPrecision(TypeDesc* t, bool default_integer);

  // DDL pieces (parse_ddl.cpp)
  Status ParseColumnDef(ColumnDef* col);
  Status ParseConstraintBody(Constraint* c, bool inline_form);
  Status ParseConstraintState(Constraint* c);
  Status ParseUsingIndex(Constraint* c);
  // Foreign keys and constraint states (parse_constraint.cpp).
  Status ParseForeignKey(Constraint* c, bool inline_form);
  Status ParseDeferralState(Constraint* c, bool* matched);
  Status ParseConstraintStateChange(AlterTable* at);
  Status ParseSetConstraints(Statement* st);
  Status ParseSetTransaction(Statement* st);
  Status ParseSegmentAttr(SegmentAttributes* a, bool* matched);
  Status ParseStorage(StorageClause* s);
  Status ParseLob(LobStorage* lob);
  Status ParseTablespaceName(std::string* out);
  bool PeekSegmentAttr() const;
  // ALTER TABLE constraint forms after the table name (parse_alter_cons.cpp):
  // DROP CONSTRAINT / PRIMARY KEY / UNIQUE, RENAME CONSTRAINT, MODIFY of
  // nullability. *matched false (nothing consumed) for other forms.
  Status ParseAlterConstraintForm(AlterTable* at, bool* matched);
  Status ParseAlterDropKey(AlterTable* at);
  Status ParseNullabilityChange(NullabilityChange* item, bool* matched);
  // LOCK TABLE ... (parse_lock.cpp)
  Status ParseLockTable(Statement* st);
  // Back to an earlier token, for forms told apart only further on.
  std::pair<size_t, uint32_t> Mark() const { return {pos_, prev_end_}; }
  void Reset(std::pair<size_t, uint32_t> m) {
    pos_ = m.first;
    prev_end_ = m.second;
  }

  // COMMENT ON TABLE / COLUMN (parse_comment.cpp)
  Status ParseComment(Statement* st);
  // Statements of Oracle the database does not carry: ORA-03001 naming the
  // statement, OK for other statements (parse_uncarried.cpp). `verb` is
  // the word already read (CREATE, ALTER, DROP), or "" at the start.
  Status RefuseUncarriedStatement(const char* verb);
  // ALTER TABLE clauses not carried, after ALTER TABLE name.
  Status RefuseUncarriedAlterTable();
  // CREATE INDEX clauses not carried, after the index's attributes.
  Status RefuseUncarriedIndexClause();
  size_t MatchWords(const std::string& words, size_t k) const;

  // Counts an inner node (operator, call, CASE...) of the current top-level
  // expression against kMaxExprNodes.
  Status CountNode();
  // Starts a new top-level expression's node count when no expression is
  // being parsed around the caller.
  void StartExpression() {
    if (depth_ == 0) nodes_ = 0;
  }

  friend class DepthGuard;

  std::string_view text_;
  std::vector<Token> toks_;
  std::vector<std::string>* binds_;
  size_t pos_ = 0;
  uint32_t prev_end_ = 0;
  int depth_ = 0;       // recursion units in use (DepthGuard)
  int nodes_ = 0;       // inner nodes of the current top-level expression
  bool plsql_ = false;  // inside a PL/SQL block: TRUE/FALSE literals, ';' separators
};

// Bounds the parser's recursion over nested expressions: each recursive
// parse function takes `weight` units of kMaxExprDepth while it runs.
class DepthGuard {
 public:
  DepthGuard(Parser* p, int weight) : p_(p), weight_(weight) {
    p_->depth_ += weight;
    ok_ = p_->depth_ <= kMaxExprDepth;
  }
  ~DepthGuard() { p_->depth_ -= weight_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  bool ok() const { return ok_; }
  Status status() const;

 private:
  Parser* p_;
  int weight_;
  bool ok_;
};

// A new expression node of `kind` whose span starts at `begin`.
ExprPtr NewExpr(ExprKind kind, uint32_t begin);

}  // namespace sql
}  // namespace tabdb
