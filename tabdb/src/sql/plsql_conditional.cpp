// plsql_conditional.cpp - selects the branches of $IF directives by their
// static conditions and removes the directives from a unit's tokens. This
// database answers DBMS_DB_VERSION as release 19.0 does.
#include "sql/plsql_conditional.h"

#include <cstdio>
#include <cstdlib>

#include "sql/plsql_parser.h"
#include "util/errors.h"

namespace tabdb {
namespace sql {
namespace {

constexpr int kVersion = 19;
constexpr int kRelease = 0;

// A static value: NULL, BOOLEAN, number or text.
struct CcValue {
  enum Kind { kNull, kBool, kNumber, kText } kind = kNull;
  bool b = false;
  double n = 0;
  std::string s;
};

// DBMS_DB_VERSION.VER_LE_v[_r]: whether this release is v.r or older.
bool VersionLe(const std::string& name, bool* out) {
  if (name.compare(0, 7, "VER_LE_") != 0) return false;
  std::string rest = name.substr(7);
  char* end = nullptr;
  long v = std::strtol(rest.c_str(), &end, 10);
  if (end == rest.c_str()) return false;
  long r = -1;
  if (*end == '_') {
    const char* p = end + 1;
    r = std::strtol(p, &end, 10);
    if (end == p) return false;
  }
  if (*end != '\0') return false;
  // The constants Oracle 19 declares.
  static const char* const kKnown[] = {"9",    "9_1",  "9_2",  "10", "10_1", "10_2", "11",
                                       "11_1", "11_2", "12",   "12_1", "12_2", "18", "19"};
  bool known = false;
  for (const char* k : kKnown) known = known || rest == k;
  if (!known) return false;
  *out = kVersion < v || (kVersion == v && (r < 0 || kRelease <= r));
  return true;
}

class Conditional {
 public:
  Conditional(std::string_view text, const std::vector<Token>& in) : text_(text), in_(in) {}

  Status Run(std::vector<Token>* out) {
    TABDB_RETURN_IF_ERROR(Section(true, out));
    if (!Is("$END") && !Is("$ELSE") && !Is("$ELSIF") && !Is("$THEN")) {
      out->push_back(in_[i_]);  // kEnd
      return Status::Ok();
    }
    return Syntax();
  }

 private:
  bool Is(const char* w, size_t k = 0) const {
    size_t j = i_ + k;
    return j < in_.size() && in_[j].kind == TokenKind::kIdent && in_[j].text == w;
  }
  bool Sym(const char* s) const {
    return i_ < in_.size() && in_[i_].kind == TokenKind::kSymbol && in_[i_].text == s;
  }
  bool AtEnd() const { return i_ >= in_.size() || in_[i_].kind == TokenKind::kEnd; }
  Status Syntax() const {
    return PlsqlSyntaxError(text_, AtEnd() ? static_cast<uint32_t>(text_.size()) : in_[i_].begin);
  }
  Status Error(uint32_t pos, const std::string& what) const {
    int line = 1;
    size_t start = 0;
    for (size_t k = 0; k < pos && k < text_.size(); ++k)
      if (text_[k] == '\n') {
        ++line;
        start = k + 1;
      }
    return OraError(ora::kPlsqlLineColumn, {std::to_string(line), std::to_string(pos - start + 1), what});
  }
  int LineOf(uint32_t pos) const {
    int line = 1;
    for (size_t k = 0; k < pos && k < text_.size(); ++k) line += text_[k] == '\n';
    return line;
  }

  // Tokens up to $ELSIF, $ELSE, $END or the end, kept when `active`.
  Status Section(bool active, std::vector<Token>* out) {
    while (!AtEnd()) {
      if (Is("$ELSIF") || Is("$ELSE") || Is("$END") || Is("$THEN")) return Status::Ok();
      if (Is("$IF")) {
        TABDB_RETURN_IF_ERROR(If(active, out));
      } else if (Is("$ERROR")) {
        uint32_t pos = in_[i_].begin;
        ++i_;
        CcValue msg;
        TABDB_RETURN_IF_ERROR(Or(&msg));
        if (!Is("$END")) return Syntax();
        ++i_;
        if (active) {
          std::string text = msg.kind == CcValue::kText ? msg.s : msg.kind == CcValue::kNull ? "" : "?";
          return Error(pos, "PLS-00179: $ERROR: " + text);
        }
      } else {
        if (active) {
          Token t = in_[i_];
          if (t.kind == TokenKind::kIdent && t.text == "$$PLSQL_LINE") {
            t.kind = TokenKind::kNumber;
            t.text = std::to_string(LineOf(t.begin));
          } else if (t.kind == TokenKind::kIdent && t.text.compare(0, 2, "$$") == 0) {
            t.kind = TokenKind::kIdent;
            t.text = "NULL";
          }
          out->push_back(std::move(t));
        }
        ++i_;
      }
    }
    return Status::Ok();
  }

  Status If(bool active, std::vector<Token>* out) {
    bool taken = false;
    do {
      ++i_;  // $IF or $ELSIF
      uint32_t pos = AtEnd() ? static_cast<uint32_t>(text_.size()) : in_[i_].begin;
      CcValue c;
      TABDB_RETURN_IF_ERROR(Or(&c));
      if (c.kind != CcValue::kBool && c.kind != CcValue::kNull)
        return Error(pos, "PLS-00174: a static boolean expression must be used");
      if (!Is("$THEN")) return Syntax();
      ++i_;
      bool yes = c.kind == CcValue::kBool && c.b;
      TABDB_RETURN_IF_ERROR(Section(active && !taken && yes, out));
      taken = taken || yes;
    } while (Is("$ELSIF"));
    if (Is("$ELSE")) {
      ++i_;
      TABDB_RETURN_IF_ERROR(Section(active && !taken, out));
    }
    if (!Is("$END")) return Syntax();
    ++i_;
    return Status::Ok();
  }

  // ---- static expressions ----------------------------------------------------
  Status Or(CcValue* v) {
    TABDB_RETURN_IF_ERROR(And(v));
    while (Is("OR")) {
      ++i_;
      CcValue r;
      TABDB_RETURN_IF_ERROR(And(&r));
      bool lt = v->kind == CcValue::kBool && v->b, rt = r.kind == CcValue::kBool && r.b;
      bool lf = v->kind == CcValue::kBool && !v->b, rf = r.kind == CcValue::kBool && !r.b;
      if (lt || rt) *v = Bool(true);
      else if (lf && rf) *v = Bool(false);
      else *v = CcValue();
    }
    return Status::Ok();
  }
  Status And(CcValue* v) {
    TABDB_RETURN_IF_ERROR(Not(v));
    while (Is("AND")) {
      ++i_;
      CcValue r;
      TABDB_RETURN_IF_ERROR(Not(&r));
      bool lt = v->kind == CcValue::kBool && v->b, rt = r.kind == CcValue::kBool && r.b;
      bool lf = v->kind == CcValue::kBool && !v->b, rf = r.kind == CcValue::kBool && !r.b;
      if (lf || rf) *v = Bool(false);
      else if (lt && rt) *v = Bool(true);
      else *v = CcValue();
    }
    return Status::Ok();
  }
  Status Not(CcValue* v) {
    if (Is("NOT")) {
      ++i_;
      TABDB_RETURN_IF_ERROR(Not(v));
      if (v->kind == CcValue::kBool) v->b = !v->b;
      return Status::Ok();
    }
    return Compare(v);
  }
  Status Concat(CcValue* v) {
    TABDB_RETURN_IF_ERROR(Primary(v));
    while (Sym("||")) {
      ++i_;
      CcValue r;
      TABDB_RETURN_IF_ERROR(Primary(&r));
      std::string a = Text(*v), b = Text(r);
      v->kind = a.empty() && b.empty() ? CcValue::kNull : CcValue::kText;
      v->s = a + b;
    }
    return Status::Ok();
  }
  static std::string Text(const CcValue& v) {
    switch (v.kind) {
      case CcValue::kText: return v.s;
      case CcValue::kBool: return v.b ? "TRUE" : "FALSE";
      case CcValue::kNumber: {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.15g", v.n);
        return buf;
      }
      case CcValue::kNull: break;
    }
    return std::string();
  }
  Status Compare(CcValue* v) {
    TABDB_RETURN_IF_ERROR(Concat(v));
    if (Is("IS")) {
      ++i_;
      bool negate = Is("NOT") && (++i_, true);
      if (!Is("NULL")) return Syntax();
      ++i_;
      *v = Bool((v->kind == CcValue::kNull) != negate);
      return Status::Ok();
    }
    static const char* const kOps[] = {"=", "<>", "!=", "<", ">", "<=", ">="};
    for (const char* op : kOps) {
      if (!Sym(op)) continue;
      ++i_;
      CcValue r;
      TABDB_RETURN_IF_ERROR(Concat(&r));
      if (v->kind == CcValue::kNull || r.kind == CcValue::kNull) {
        *v = CcValue();
        return Status::Ok();
      }
      int c = 0;
      if (v->kind == CcValue::kNumber && r.kind == CcValue::kNumber) c = v->n < r.n ? -1 : v->n > r.n;
      else if (v->kind == CcValue::kText && r.kind == CcValue::kText) c = v->s.compare(r.s);
      else if (v->kind == CcValue::kBool && r.kind == CcValue::kBool) c = static_cast<int>(v->b) - r.b;
      else return Error(in_[i_ - 1].begin, "PLS-00174: a static boolean expression must be used");
      std::string o = op;
      bool yes = o == "=" ? c == 0 : o == "<" ? c < 0 : o == ">" ? c > 0 : o == "<=" ? c <= 0 : o == ">=" ? c >= 0 : c != 0;
      *v = Bool(yes);
      return Status::Ok();
    }
    return Status::Ok();
  }
  Status Primary(CcValue* v) {
    *v = CcValue();
    if (AtEnd()) return Syntax();
    const Token& t = in_[i_];
    if (Sym("(")) {
      ++i_;
      TABDB_RETURN_IF_ERROR(Or(v));
      if (!Sym(")")) return Syntax();
      ++i_;
      return Status::Ok();
    }
    if (t.kind == TokenKind::kNumber) {
      v->kind = CcValue::kNumber;
      v->n = std::strtod(t.text.c_str(), nullptr);
      ++i_;
      return Status::Ok();
    }
    if (t.kind == TokenKind::kString) {
      v->kind = t.text.empty() ? CcValue::kNull : CcValue::kText;
      v->s = t.text;
      ++i_;
      return Status::Ok();
    }
    if (t.kind == TokenKind::kIdent) {
      if (t.text == "TRUE" || t.text == "FALSE") {
        *v = Bool(t.text == "TRUE");
        ++i_;
        return Status::Ok();
      }
      if (t.text == "NULL") {
        ++i_;
        return Status::Ok();
      }
      if (t.text == "$$PLSQL_LINE") {
        v->kind = CcValue::kNumber;
        v->n = LineOf(t.begin);
        ++i_;
        return Status::Ok();
      }
      if (t.text.compare(0, 2, "$$") == 0) {  // an inquiry directive not set: NULL
        ++i_;
        return Status::Ok();
      }
      if (t.text == "DBMS_DB_VERSION" && i_ + 2 < in_.size() && in_[i_ + 1].text == "." &&
          in_[i_ + 2].kind == TokenKind::kIdent) {
        const std::string& name = in_[i_ + 2].text;
        bool le = false;
        if (name == "VERSION" || name == "RELEASE") {
          v->kind = CcValue::kNumber;
          v->n = name == "VERSION" ? kVersion : kRelease;
        } else if (VersionLe(name, &le)) {
          *v = Bool(le);
        } else {
          return Error(in_[i_ + 2].begin, "PLS-00302: component '" + name + "' must be declared");
        }
        i_ += 3;
        return Status::Ok();
      }
    }
    return Error(t.begin, "PLS-00174: a static boolean expression must be used");
  }
  static CcValue Bool(bool b) {
    CcValue v;
    v.kind = CcValue::kBool;
    v.b = b;
    return v;
  }

  std::string_view text_;
  const std::vector<Token>& in_;
  size_t i_ = 0;
};

}  // namespace

Status ApplyConditionalCompilation(std::string_view text, std::vector<Token>* tokens) {
  bool any = false;
  for (const Token& t : *tokens) any = any || (t.kind == TokenKind::kIdent && !t.text.empty() && t.text[0] == '$');
  if (!any) return Status::Ok();
  std::vector<Token> out;
  out.reserve(tokens->size());
  TABDB_RETURN_IF_ERROR(Conditional(text, *tokens).Run(&out));
  *tokens = std::move(out);
  return Status::Ok();
}

bool DbVersionConstant(const std::string& name, std::string* sql) {
  bool le = false;
  if (name == "VERSION" || name == "RELEASE") {
    *sql = std::to_string(name == "VERSION" ? kVersion : kRelease);
    return true;
  }
  if (!VersionLe(name, &le)) return false;
  *sql = le ? "(1 = 1)" : "(1 = 0)";
  return true;
}

}  // namespace sql
}  // namespace tabdb
