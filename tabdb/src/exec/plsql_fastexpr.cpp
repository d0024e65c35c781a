// plsql_fastexpr.cpp - PL/SQL's own evaluation of plain arithmetic, text
// concatenation and conditions over variables and literals (see
// plsql_fastexpr.h), in Oracle's NUMBER arithmetic and NULL rules.
#include "exec/plsql_fastexpr.h"

#include <cstring>

#include "util/errors.h"
#include "values/datetime.h"
#include "values/number.h"

namespace tabdb {
namespace pl {

struct FastExpr::Node {
  enum Kind { kNumber, kText, kNull, kTrue, kFalse, kVar, kNeg, kArith, kConcat, kCompare, kIsNull, kAnd, kOr, kNot };
  Kind kind = kNull;
  std::string op;    // kArith: + - * /; kCompare: = <> < > <= >=
  bool negated = false;  // IS NOT NULL
  Number number;     // kNumber
  std::string text;  // kText, kVar (the name)
  std::string field;  // kVar: a record's field, when not empty
  int a = -1, b = -1;
};

namespace {

using Node = FastExpr::Node;
using sql::Token;
using sql::TokenKind;

// Recursive descent over the range; any token it does not know fails it.
class Parser {
 public:
  Parser(const std::vector<Token>& t, sql::PlRange r, std::vector<Node>* nodes) : t_(t), k_(r.b), e_(r.e), n_(*nodes) {}

  bool Whole() {
    int root = -1;
    if (!Or(&root) || k_ != e_) return false;
    // The root first.
    if (root != 0) std::swap(n_[0], n_[static_cast<size_t>(root)]);
    for (Node& x : n_) {
      for (int* c : {&x.a, &x.b}) {
        if (*c == 0) *c = root;
        else if (*c == root) *c = 0;
      }
    }
    return true;
  }

 private:
  bool Sym(const char* s) const { return k_ < e_ && t_[k_].kind == TokenKind::kSymbol && t_[k_].text == s; }
  bool Word(const char* w) const { return k_ < e_ && t_[k_].kind == TokenKind::kIdent && t_[k_].text == w; }
  int Add(Node n) {
    n_.push_back(std::move(n));
    return static_cast<int>(n_.size() - 1);
  }
  int Pair(Node::Kind kind, const std::string& op, int a, int b) {
    Node n;
    n.kind = kind;
    n.op = op;
    n.a = a;
    n.b = b;
    return Add(std::move(n));
  }

  bool Or(int* out) {
    if (!And(out)) return false;
    while (Word("OR")) {
      ++k_;
      int b = -1;
      if (!And(&b)) return false;
      *out = Pair(Node::kOr, "", *out, b);
    }
    return true;
  }
  bool And(int* out) {
    if (!Not(out)) return false;
    while (Word("AND")) {
      ++k_;
      int b = -1;
      if (!Not(&b)) return false;
      *out = Pair(Node::kAnd, "", *out, b);
    }
    return true;
  }
  bool Not(int* out) {
    if (Word("NOT")) {
      ++k_;
      int a = -1;
      if (!Not(&a)) return false;
      *out = Pair(Node::kNot, "", a, -1);
      return true;
    }
    return Compare(out);
  }
  bool Compare(int* out) {
    if (!Sum(out)) return false;
    if (Word("IS")) {
      ++k_;
      Node n;
      n.kind = Node::kIsNull;
      if (Word("NOT")) {
        ++k_;
        n.negated = true;
      }
      if (!Word("NULL")) return false;
      ++k_;
      n.a = *out;
      *out = Add(std::move(n));
      return true;
    }
    for (const char* op : {"=", "<>", "!=", "^=", "~=", "<=", ">=", "<", ">"}) {
      if (!Sym(op)) continue;
      ++k_;
      int b = -1;
      if (!Sum(&b)) return false;
      std::string o = op;
      if (o == "!=" || o == "^=" || o == "~=") o = "<>";
      *out = Pair(Node::kCompare, o, *out, b);
      return true;
    }
    return true;
  }
  bool Sum(int* out) {
    if (!Term(out)) return false;
    while (Sym("+") || Sym("-") || Sym("||")) {
      std::string op = t_[k_++].text;
      int b = -1;
      if (!Term(&b)) return false;
      *out = Pair(op == "||" ? Node::kConcat : Node::kArith, op, *out, b);
    }
    return true;
  }
  bool Term(int* out) {
    if (!Unary(out)) return false;
    while (Sym("*") || Sym("/")) {
      std::string op = t_[k_++].text;
      int b = -1;
      if (!Unary(&b)) return false;
      *out = Pair(Node::kArith, op, *out, b);
    }
    return true;
  }
  bool Unary(int* out) {
    if (Sym("-") || Sym("+")) {
      bool neg = Sym("-");
      ++k_;
      int a = -1;
      if (!Unary(&a)) return false;
      *out = neg ? Pair(Node::kNeg, "", a, -1) : a;
      return true;
    }
    return Primary(out);
  }
  bool Primary(int* out) {
    if (k_ >= e_) return false;
    const Token& t = t_[k_];
    Node n;
    if (Sym("(")) {
      ++k_;
      if (!Or(out) || !Sym(")")) return false;
      ++k_;
      return true;
    }
    if (t.kind == TokenKind::kNumber) {
      if (!Number::Parse(t.text, &n.number).ok()) return false;
      n.kind = Node::kNumber;
    } else if (t.kind == TokenKind::kString) {
      n.kind = t.text.empty() ? Node::kNull : Node::kText;
      n.text = t.text;
    } else if (t.kind == TokenKind::kIdent) {
      // A name alone: not a call, a record's field, a package's member or
      // an attribute.
      auto followed = [&](uint32_t at) {
        return at < e_ && t_[at].kind == TokenKind::kSymbol &&
               (t_[at].text == "(" || t_[at].text == "." || t_[at].text == "%");
      };
      if (followed(k_ + 1)) {
        // record.field (what the name is is known when it runs)
        if (t_[k_ + 1].text != "." || k_ + 2 >= e_ || t_[k_ + 2].kind != TokenKind::kIdent || followed(k_ + 3))
          return false;
        n.kind = Node::kVar;
        n.text = t.text;
        n.field = t_[k_ + 2].text;
        k_ += 3;
        *out = Add(std::move(n));
        return true;
      }
      if (t.text == "NULL") {
        n.kind = Node::kNull;
      } else if (t.text == "TRUE" || t.text == "FALSE") {
        n.kind = t.text == "TRUE" ? Node::kTrue : Node::kFalse;
      } else {
        n.kind = Node::kVar;
        n.text = t.text;
      }
    } else {
      return false;
    }
    ++k_;
    *out = Add(std::move(n));
    return true;
  }

  const std::vector<Token>& t_;
  uint32_t k_, e_;
  std::vector<Node>& n_;
};

// A value while evaluating.
struct Val {
  enum Kind { kNull, kNumber, kText, kBool } kind = kNull;
  Number number;
  std::string text;
  bool truth = false;
  bool literal = false;  // a text literal (CHAR: blank-padded against another)
};

class Evaluator {
 public:
  Evaluator(const std::vector<Node>& n, FastExpr::Names& names) : n_(n), names_(names) {}

  // false: a kind left to SQL.
  bool Eval(int i, Val* out, Status* st) {
    const Node& x = n_[static_cast<size_t>(i)];
    switch (x.kind) {
      case Node::kNumber:
        out->kind = Val::kNumber;
        out->number = x.number;
        return true;
      case Node::kText:
        out->kind = Val::kText;
        out->text = x.text;
        out->literal = true;
        return true;
      case Node::kNull:
        out->kind = Val::kNull;
        return true;
      case Node::kTrue:
      case Node::kFalse:
        out->kind = Val::kBool;
        out->truth = x.kind == Node::kTrue;
        return true;
      case Node::kVar:
        return Variable(x.text, x.field, out, st);
      case Node::kNeg: {
        if (!Eval(x.a, out, st) || !st->ok()) return st->ok() ? false : true;
        if (out->kind == Val::kNull) return true;
        if (out->kind != Val::kNumber) return false;
        out->number = out->number.Negate();
        return true;
      }
      case Node::kArith:
      case Node::kConcat:
      case Node::kCompare: {
        Val a, b;
        if (!Eval(x.a, &a, st) || !st->ok()) return !st->ok();
        if (!Eval(x.b, &b, st) || !st->ok()) return !st->ok();
        if (x.kind == Node::kConcat) return Concat(a, b, out);
        if (x.kind == Node::kArith) return Arith(x.op, a, b, out, st);
        return CompareValues(x.op, a, b, out);
      }
      case Node::kIsNull: {
        Val a;
        if (!Eval(x.a, &a, st) || !st->ok()) return !st->ok();
        out->kind = Val::kBool;
        out->truth = (a.kind == Val::kNull) != x.negated;
        return true;
      }
      case Node::kNot: {
        Val a;
        if (!Eval(x.a, &a, st) || !st->ok()) return !st->ok();
        if (a.kind == Val::kNull) {
          out->kind = Val::kNull;
          return true;
        }
        if (a.kind != Val::kBool) return false;
        out->kind = Val::kBool;
        out->truth = !a.truth;
        return true;
      }
      case Node::kAnd:
      case Node::kOr: {
        Val a, b;
        if (!Eval(x.a, &a, st) || !st->ok()) return !st->ok();
        if ((a.kind != Val::kBool && a.kind != Val::kNull)) return false;
        bool is_and = x.kind == Node::kAnd;
        // FALSE AND x, TRUE OR x: x is not evaluated.
        if (a.kind == Val::kBool && a.truth != is_and) {
          *out = a;
          return true;
        }
        if (!Eval(x.b, &b, st) || !st->ok()) return !st->ok();
        if ((b.kind != Val::kBool && b.kind != Val::kNull)) return false;
        if (b.kind == Val::kBool && b.truth != is_and) {
          *out = b;
          return true;
        }
        if (a.kind == Val::kNull || b.kind == Val::kNull) {
          out->kind = Val::kNull;
          return true;
        }
        *out = a;
        return true;
      }
    }
    return false;
  }

 private:
  bool Variable(const std::string& name, const std::string& field, Val* out, Status* st) {
    const Var* v = names_.Find(name);
    if (v == nullptr || v->record != !field.empty()) return false;
    if (v->record) {
      for (size_t i = 0; i < v->fields.size() && i < v->fvals.size(); ++i)
        if (v->fields[i] == field) return Scalar(v->fvals[i], false, out, st);
      return false;
    }
    return Scalar(v->v, v->boolean, out, st);
  }

  static bool Scalar(const Value& value, bool boolean, Val* out, Status* st) {
    const Value* v = &value;
    if (v->null) {
      out->kind = Val::kNull;
      return true;
    }
    if (boolean) {
      out->kind = Val::kBool;
      out->truth = v->bytes == std::string("\xC1\x02", 2);
      return true;
    }
    if (v->lob_id != 0) return false;
    if (v->kind == TypeKind::kNumber) {
      out->kind = Val::kNumber;
      *st = Number::Decode(reinterpret_cast<const uint8_t*>(v->bytes.data()), v->bytes.size(), &out->number);
      return true;
    }
    if (v->kind == TypeKind::kVarchar2) {
      out->kind = Val::kText;
      out->text = v->bytes;
      return true;
    }
    return false;
  }

  static bool Concat(Val& a, Val& b, Val* out) {
    std::string s;
    for (Val* x : {&a, &b}) {
      if (x->kind == Val::kText) s += x->text;
      else if (x->kind == Val::kNumber) s += x->number.ToString();
      else if (x->kind != Val::kNull) return false;
    }
    out->kind = s.empty() ? Val::kNull : Val::kText;
    out->text = std::move(s);
    return true;
  }

  static bool Arith(const std::string& op, const Val& a, const Val& b, Val* out, Status* st) {
    if ((a.kind != Val::kNumber && a.kind != Val::kNull) || (b.kind != Val::kNumber && b.kind != Val::kNull))
      return false;
    if (a.kind == Val::kNull || b.kind == Val::kNull) {
      out->kind = Val::kNull;
      return true;
    }
    out->kind = Val::kNumber;
    if (op == "+") *st = Number::Add(a.number, b.number, &out->number);
    else if (op == "-") *st = Number::Sub(a.number, b.number, &out->number);
    else if (op == "*") *st = Number::Mul(a.number, b.number, &out->number);
    else *st = Number::Div(a.number, b.number, &out->number);
    return true;
  }

  static bool CompareValues(const std::string& op, const Val& a, const Val& b, Val* out) {
    if (a.kind == Val::kNull || b.kind == Val::kNull) {
      if ((a.kind == Val::kBool) || (b.kind == Val::kBool)) return false;
      out->kind = Val::kNull;
      return true;
    }
    int c = 0;
    if (a.kind == Val::kNumber && b.kind == Val::kNumber) {
      c = a.number.Compare(b.number);
    } else if (a.kind == Val::kText && b.kind == Val::kText && !(a.literal && b.literal)) {
      // VARCHAR2 against VARCHAR2 (or a literal): nonpadded, binary.
      c = a.text.compare(b.text);
      c = c < 0 ? -1 : c > 0 ? 1 : 0;
    } else {
      return false;
    }
    out->kind = Val::kBool;
    out->truth = op == "=" ? c == 0 : op == "<>" ? c != 0 : op == "<" ? c < 0 : op == ">" ? c > 0
                : op == "<=" ? c <= 0 : c >= 0;
    return true;
  }

  const std::vector<Node>& n_;
  FastExpr::Names& names_;
};

}  // namespace

FastExpr::~FastExpr() = default;

std::unique_ptr<FastExpr> FastExpr::Parse(const sql::PlsqlUnit& u, sql::PlRange r) {
  if (r.empty()) return nullptr;
  std::unique_ptr<FastExpr> f(new FastExpr);
  if (r.e == r.b + 1 && u.tokens[r.b].kind == TokenKind::kIdent && u.tokens[r.b].text == "SYSDATE") {
    f->sysdate_ = true;
    return f;
  }
  Parser p(u.tokens, r, &f->nodes_);
  if (!p.Whole()) return nullptr;
  return f;
}

Status FastExpr::Eval(Names& names, bool cond, Value* out, bool* done) const {
  *done = false;
  if (sysdate_) {
    if (cond) return Status::Ok();
    DateTime now = NowLocal();
    now.nanos = 0;
    uint8_t buf[7];
    EncodeDate(now, buf);
    *out = Value::Of(TypeKind::kDate, std::string(reinterpret_cast<const char*>(buf), 7));
    *done = true;
    return Status::Ok();
  }
  Val v;
  Status st;
  Evaluator e(nodes_, names);
  if (!e.Eval(0, &v, &st)) return Status::Ok();
  TABDB_RETURN_IF_ERROR(st);
  if (cond) {
    if (v.kind != Val::kBool && v.kind != Val::kNull) return Status::Ok();
    if (v.kind == Val::kNull) {
      *out = Value::Null(TypeKind::kNumber);
    } else {
      *out = Value::Of(TypeKind::kNumber, v.truth ? std::string("\xC1\x02", 2) : std::string("\x80", 1));
    }
    *done = true;
    return Status::Ok();
  }
  switch (v.kind) {
    case Val::kNull:
      *out = Value::Null(TypeKind::kVarchar2);
      break;
    case Val::kNumber:
      *out = Value::Of(TypeKind::kNumber, v.number.Encode());
      break;
    case Val::kText:
      *out = Value::Of(TypeKind::kVarchar2, std::move(v.text));
      break;
    case Val::kBool:
      return Status::Ok();
  }
  *done = true;
  return Status::Ok();
}

}  // namespace pl
}  // namespace tabdb
