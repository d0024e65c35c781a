// fn_regexp.cpp - REGEXP_LIKE, REGEXP_SUBSTR, REGEXP_INSTR, REGEXP_REPLACE
// and REGEXP_COUNT: Oracle's POSIX-flavoured patterns rewritten into PCRE2
// syntax and matched by PCRE2 over the UTF-8 text.
//
// How Oracle's syntax maps onto PCRE2 (Translate below):
// - Bracket expressions are rewritten item by item: [:class:] stays (PCRE2
//   knows the POSIX classes inside a class), an unknown class is ORA-12729;
//   [=e=] and [.c.] become the single character they name (the database
//   sorts binary, where an equivalence class is the character itself); a
//   backslash inside brackets is a literal backslash, as POSIX says, where
//   PCRE2 would read an escape; a ']' first in the list is a literal.
// - \1-\9 are back references (\g{n} for PCRE2, so that a digit after one
//   is never read as part of it); one naming a group not yet opened is
//   ORA-12727. \d \D \w \W \s \S \A \Z \z keep their meaning; a backslash
//   before any other character is that character, so Perl escapes Oracle
//   lacks (\b, \x41, \p{..}) match the letter itself.
// - '(?' is a group starting with a literal '?', since Oracle has no
//   Perl group syntax (lookaround, (?i), named groups).
// - A '{' that does not start a valid interval is a literal brace; a
//   quantifier at the start of the pattern, a group or an alternative is a
//   literal character, as in Oracle.
// - Match parameters: 'i' and 'c' set case (the last one wins, default
//   case-sensitive as NLS_SORT is BINARY), 'n' lets '.' match a newline
//   (PCRE2_DOTALL), 'm' lets ^ and $ match at line ends (PCRE2_MULTILINE),
//   'x' drops the white space of the pattern (done here rather than with
//   PCRE2_EXTENDED, which would also read '#' as a comment). Without 'm',
//   '$' matches only at the very end (PCRE2_DOLLAR_ENDONLY).
// - Matching is leftmost-first, as Perl and Oracle match: an alternation
//   takes its first branch that matches and a non-greedy operator stops
//   early. A POSIX engine would take the leftmost-longest match instead
//   ('a|ab' against "ab" gives "a" here, "ab" under POSIX rules).
//
// Bounds: one match may use kHeapLimitKiB of backtracking frames, nest
// kDepthLimit deep and pass kMatchLimit backtracking points from one start
// position (ORA-12722 past any); the statement's matching work, over all its
// rows, is charged to its MatchBudget (match_budget.h; ORA-02393). The
// translation puts a callout (?C) where backtracking comes back to: at the
// start of the pattern (each start position), after every quantifier, at
// the start of every alternative. Each callout charges one step, the
// pattern's hole (the characters a stretch without callouts can examine:
// the pattern's length and its largest repeat minimum) and the characters
// moved over since the callout before.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "exec/match_budget.h"
#include "exec/scalar_fns.h"
#include "util/errors.h"
#include "values/number.h"

namespace tabdb {
namespace {

// The budget of the statement the thread runs (MatchBudgetScope).
thread_local MatchBudget* g_budget = nullptr;

}  // namespace

MatchBudgetScope::MatchBudgetScope(MatchBudget* budget) {
  if (g_budget != nullptr) return;
  g_budget = budget;
  set_ = true;
}

MatchBudgetScope::~MatchBudgetScope() {
  if (set_) g_budget = nullptr;
}

MatchBudget* CurrentMatchBudget() { return g_budget; }

namespace {

// Oracle refuses patterns longer than 512 bytes.
constexpr size_t kMaxPatternBytes = 512;
// Backtracking points of one match from one start position (PCRE2's match
// limit), so that a pathological pattern ends with an error instead of
// holding the statement.
constexpr uint32_t kMatchLimit = 10000000;
// Nesting of backtracking points and heap they take (PCRE2's depth and heap
// limits): a group repeated once per character of a 16 MB CLOB would take
// gigabytes of frames; ordinary patterns over text of any size nest a few
// deep. A frame is about 130 bytes plus 16 per group, so the heap bound
// comes first for most patterns.
constexpr uint32_t kDepthLimit = 500000;
constexpr uint32_t kHeapLimitKiB = 64 * 1024;
// A source text that is not valid UTF-8 is matched in PCRE2's invalid-UTF
// mode, which checks the text from the start offset on at every match
// (each REGEXP_COUNT or REGEXP_REPLACE step): one step of the budget per
// this many bytes checked.
constexpr size_t kCheckedBytesPerStep = 64;

struct Flags {
  bool caseless = false;
  bool dotall = false;
  bool multiline = false;
  bool extended = false;
};

Status ParseFlags(const Value& v, Flags* f) {
  if (v.null) return Status::Ok();
  for (char ch : v.bytes) {
    switch (ch) {
      case 'i': f->caseless = true; break;
      case 'c': f->caseless = false; break;
      case 'n': f->dotall = true; break;
      case 'm': f->multiline = true; break;
      case 'x': f->extended = true; break;
      default: return OraError(ora::kIllegalArgument);
    }
  }
  return Status::Ok();
}

size_t CharLen(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

// The next character of `p` from `i` (whole UTF-8 sequence).
std::string CharAt(const std::string& p, size_t i) {
  size_t n = CharLen(static_cast<unsigned char>(p[i]));
  if (i + n > p.size()) n = p.size() - i;
  return p.substr(i, n);
}

bool IsSpace(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f' || ch == '\v'; }
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// A literal character in PCRE2 syntax (outside or inside a class).
std::string Literal(const std::string& ch) {
  if (ch.size() == 1 && !isalnum(static_cast<unsigned char>(ch[0])) && static_cast<unsigned char>(ch[0]) < 0x80)
    return "\\" + ch;
  return ch;
}

// Rewrites the bracket expression starting at p[*i] == '['; *i ends after
// its closing ']'.
Status TranslateBracket(const std::string& p, size_t* i, std::string* out) {
  static const char* const kClasses[] = {"alpha", "digit", "alnum", "space", "upper", "lower",
                                         "punct", "cntrl", "print", "graph", "xdigit", "blank"};
  size_t k = *i + 1;
  std::string r = "[";
  if (k < p.size() && p[k] == '^') {
    r += '^';
    ++k;
  }
  bool first = true;
  for (;;) {
    if (k >= p.size()) return OraError(ora::kRegexBracket);
    char ch = p[k];
    if (ch == ']' && !first) break;
    first = false;
    if (ch == '[' && k + 1 < p.size() && (p[k + 1] == ':' || p[k + 1] == '=' || p[k + 1] == '.')) {
      char kind = p[k + 1];
      size_t end = p.find(std::string(1, kind) + "]", k + 2);
      if (end == std::string::npos) return OraError(ora::kRegexBracket);
      std::string body = p.substr(k + 2, end - (k + 2));
      if (kind == ':') {
        bool known = false;
        for (const char* c : kClasses) known = known || body == c;
        if (!known) return OraError(ora::kRegexClass);
        r += "[:" + body + ":]";
      } else {
        if (body.empty() || CharAt(body, 0).size() != body.size())
          return OraError(kind == '=' ? ora::kRegexEquivalence : ora::kRegexCollation);
        r += Literal(body);
      }
      k = end + 2;
      continue;
    }
    if (ch == '\\' || ch == '[') {
      r += '\\';
      r += ch;
      ++k;
      continue;
    }
    std::string c = CharAt(p, k);
    r += c;
    k += c.size();
  }
  *i = k + 1;
  *out += r + "]";
  return Status::Ok();
}

// Whether p[i] == '{' starts an interval {m}, {m,} or {m,n}; checks m <= n.
Status Interval(const std::string& p, size_t i, bool* valid, size_t* end, long* min) {
  *valid = false;
  size_t k = i + 1;
  auto number = [&](long* v) {
    size_t start = k;
    *v = 0;
    while (k < p.size() && IsDigit(p[k]) && k - start < 9) *v = *v * 10 + (p[k++] - '0');
    return k > start;
  };
  long m = 0, n = -1;
  if (!number(&m)) return Status::Ok();
  if (k < p.size() && p[k] == ',') {
    ++k;
    long v = 0;
    if (number(&v)) n = v;
  } else {
    n = m;
  }
  if (k >= p.size() || p[k] != '}') return Status::Ok();
  if ((n >= 0 && m > n) || m > 65535 || n > 65535) return OraError(ora::kRegexInterval);
  *valid = true;
  *min = m;
  *end = k + 1;
  return Status::Ok();
}

// The callout the budget counts steps at (see the top of the file).
constexpr const char* kStep = "(?C)";

Status Translate(const std::string& p, bool extended, std::string* out, uint32_t* hole) {
  std::string r = kStep;
  long max_min = 1;  // the largest repeat minimum
  int opened = 0, depth = 0;
  bool item = false;  // something a quantifier may follow was just written
  size_t i = 0;
  while (i < p.size()) {
    char ch = p[i];
    if (extended && IsSpace(ch)) {
      ++i;
      continue;
    }
    switch (ch) {
      case '\\': {
        if (i + 1 >= p.size()) {
          r += "\\\\";
          ++i;
          item = true;
          break;
        }
        char e = p[i + 1];
        if (e >= '1' && e <= '9') {
          if (e - '0' > opened) return OraError(ora::kRegexBackref);
          r += "\\g{";
          r += e;
          r += "}";
          i += 2;
        } else if (strchr("dDwWsSAZz", e) != nullptr) {
          r += '\\';
          r += e;
          i += 2;
        } else {
          std::string c = CharAt(p, i + 1);
          r += Literal(c);
          i += 1 + c.size();
        }
        item = e != 'A' && e != 'Z' && e != 'z';
        break;
      }
      case '[':
        TABDB_RETURN_IF_ERROR(TranslateBracket(p, &i, &r));
        item = true;
        break;
      case '(':
        ++opened;
        ++depth;
        r += '(';
        r += kStep;
        ++i;
        item = false;
        break;
      case ')':
        if (--depth < 0) return OraError(ora::kRegexParens);
        r += ')';
        ++i;
        item = true;
        break;
      case '|':
        r += '|';
        r += kStep;
        ++i;
        item = false;
        break;
      case '*':
      case '+':
      case '?':
        r += item ? std::string(1, ch) : "\\" + std::string(1, ch);
        ++i;
        // A quantifier may be made non-greedy by a following '?'.
        if (item && i < p.size() && p[i] == '?') {
          r += '?';
          ++i;
        }
        if (item) r += kStep;
        item = !item;  // a literal may be quantified; a quantified item may not
        break;
      case '{': {
        bool valid = false;
        size_t end = 0;
        long min = 0;
        TABDB_RETURN_IF_ERROR(Interval(p, i, &valid, &end, &min));
        if (valid && item) {
          r += p.substr(i, end - i);
          i = end;
          if (i < p.size() && p[i] == '?') {
            r += '?';
            ++i;
          }
          r += kStep;
          max_min = std::max(max_min, min);
          item = false;
        } else {
          r += "\\{";
          ++i;
          item = true;
        }
        break;
      }
      case '}':
        r += "\\}";
        ++i;
        item = true;
        break;
      case '^':
      case '$':
        r += ch;
        ++i;
        item = false;
        break;
      default: {
        std::string c = CharAt(p, i);
        r += c == "#" ? "\\#" : c;
        i += c.size();
        item = true;
        break;
      }
    }
  }
  if (depth != 0) return OraError(ora::kRegexParens);
  *out = std::move(r);
  *hole = static_cast<uint32_t>(p.size() + static_cast<size_t>(max_min));
  return Status::Ok();
}

Status CompileError(int code) {
  switch (code) {
    case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS:
    case PCRE2_ERROR_UNMATCHED_CLOSING_PARENTHESIS:
      return OraError(ora::kRegexParens);
    case PCRE2_ERROR_MISSING_SQUARE_BRACKET:
      return OraError(ora::kRegexBracket);
    case PCRE2_ERROR_CLASS_RANGE_ORDER:
      return OraError(ora::kRegexRange);
    case PCRE2_ERROR_QUANTIFIER_OUT_OF_ORDER:
    case PCRE2_ERROR_QUANTIFIER_TOO_BIG:
      return OraError(ora::kRegexInterval);
    case PCRE2_ERROR_BAD_SUBPATTERN_REFERENCE:
      return OraError(ora::kRegexBackref);
    case PCRE2_ERROR_UNKNOWN_POSIX_CLASS:
      return OraError(ora::kRegexClass);
    default:
      return OraError(ora::kRegexInternal);
  }
}

// A pattern compiled twice: for valid UTF-8 text, and in PCRE2's
// invalid-UTF mode for text that is not (slower on repeated matches).
struct Compiled {
  pcre2_code* code = nullptr;
  pcre2_code* lenient = nullptr;
  uint32_t hole = 0;  // steps each callout charges besides the distance moved
  ~Compiled() {
    pcre2_code_free(code);
    pcre2_code_free(lenient);
  }
};

// Compiled patterns of this thread, by flags and pattern: a statement
// compiles its pattern once, not once per row. Bounded: the oldest goes.
class PatternCache {
 public:
  Status Get(const std::string& pattern, const Flags& f, std::shared_ptr<Compiled>* out) {
    std::string key = std::string(1, static_cast<char>('0' + f.caseless + 2 * f.dotall + 4 * f.multiline +
                                                       8 * f.extended)) + pattern;
    auto it = map_.find(key);
    if (it != map_.end()) {
      *out = it->second;
      return Status::Ok();
    }
    if (pattern.size() > kMaxPatternBytes) return OraError(ora::kRegexTooLong);
    auto c = std::make_shared<Compiled>();
    std::string translated;
    TABDB_RETURN_IF_ERROR(Translate(pattern, f.extended, &translated, &c->hole));
    uint32_t options = PCRE2_UTF | PCRE2_DOLLAR_ENDONLY;
    if (f.caseless) options |= PCRE2_CASELESS;
    if (f.dotall) options |= PCRE2_DOTALL;
    if (f.multiline) options |= PCRE2_MULTILINE;
    int err = 0;
    PCRE2_SIZE at = 0;
    auto text = reinterpret_cast<PCRE2_SPTR>(translated.data());
    c->code = pcre2_compile(text, translated.size(), options, &err, &at, nullptr);
    if (c->code == nullptr) return CompileError(err);
    c->lenient = pcre2_compile(text, translated.size(), options | PCRE2_MATCH_INVALID_UTF, &err, &at, nullptr);
    if (c->lenient == nullptr) return CompileError(err);
    if (order_.size() >= 64) {
      map_.erase(order_.front());
      order_.pop_front();
    }
    order_.push_back(key);
    map_.emplace(key, c);
    *out = c;
    return Status::Ok();
  }

 private:
  std::unordered_map<std::string, std::shared_ptr<Compiled>> map_;
  std::list<std::string> order_;
};

// What the callouts of one match charge, and to which budget.
struct Charge {
  MatchBudget* budget = nullptr;
  uint32_t hole = 0;
  PCRE2_SIZE start = PCRE2_UNSET;  // start position of the attempt under way
  PCRE2_SIZE last = 0;             // where the callout before was
};

int ChargeStep(pcre2_callout_block* cb, void* data) {
  Charge* c = static_cast<Charge*>(data);
  if (cb->start_match != c->start) {
    c->start = cb->start_match;
    c->last = cb->start_match;
  }
  PCRE2_SIZE pos = cb->current_position;
  uint64_t moved = pos > c->last ? pos - c->last : c->last - pos;
  c->last = pos;
  return c->budget->Spend(1 + c->hole + moved) ? 0 : PCRE2_ERROR_CALLOUT;
}

bool IsUtfError(int rc) { return rc <= PCRE2_ERROR_UTF8_ERR1 && rc >= PCRE2_ERROR_UTF8_ERR21; }

// One pattern applied to one source text: finds its matches one after
// the other, the way every REGEXP_ function walks the source. The first
// match checks that the text is UTF-8, the others rely on it; a text that
// is not goes to the invalid-UTF mode.
class Matcher {
 public:
  Matcher(const std::string& s, std::shared_ptr<Compiled> re) : s_(s), re_(std::move(re)) {
    md_ = pcre2_match_data_create_from_pattern(re_->code, nullptr);
    mc_ = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(mc_, kMatchLimit);
    pcre2_set_depth_limit(mc_, kDepthLimit);
    pcre2_set_heap_limit(mc_, kHeapLimitKiB);
    charge_.budget = CurrentMatchBudget();
    if (charge_.budget == nullptr) charge_.budget = &own_;
    charge_.budget->Credit(MatchBudget::kPerCall + MatchBudget::kPerByte * s.size());
    charge_.hole = re_->hole;
    pcre2_set_callout(mc_, ChargeStep, &charge_);
  }
  ~Matcher() {
    pcre2_match_data_free(md_);
    pcre2_match_context_free(mc_);
  }
  Matcher(const Matcher&) = delete;
  Matcher& operator=(const Matcher&) = delete;

  // The next match at or after byte `from`: *found false when none.
  // ORA-12722 past a bound of the match, ORA-02393 past the statement's.
  Status Find(size_t from, bool* found) {
    *found = false;
    if (from > s_.size()) return Status::Ok();
    int rc = Match(from);
    if (IsUtfError(rc) && !lenient_) {
      lenient_ = true;
      rc = Match(from);
    }
    if (rc == PCRE2_ERROR_NOMATCH) return Status::Ok();
    if (rc == PCRE2_ERROR_CALLOUT) return OraError(ora::kCallCpuLimit);
    if (rc < 0) return OraError(ora::kRegexInternal);
    *found = true;
    return Status::Ok();
  }
  // Byte offsets of group g of the last match; false when it took no part.
  bool Group(int g, size_t* b, size_t* e) const {
    if (g < 0 || static_cast<uint32_t>(g) >= pcre2_get_ovector_count(md_)) return false;
    PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md_);
    if (ov[2 * g] == PCRE2_UNSET) return false;
    *b = ov[2 * g];
    *e = ov[2 * g + 1];
    return true;
  }
  int Groups() const {
    uint32_t n = 0;
    pcre2_pattern_info(re_->code, PCRE2_INFO_CAPTURECOUNT, &n);
    return static_cast<int>(n);
  }
  // Where the search after the last match starts: its end, or one
  // character further when it was empty (else it would be found again).
  size_t Next() const {
    size_t b = 0, e = 0;
    Group(0, &b, &e);
    if (e > b || e >= s_.size()) return e == b ? e + 1 : e;
    return e + CharLen(static_cast<unsigned char>(s_[e]));
  }

 private:
  int Match(size_t from) {
    // The invalid-UTF mode checks the text from `from` on at each match.
    if (lenient_ && !charge_.budget->Spend((s_.size() - from) / kCheckedBytesPerStep + 1))
      return PCRE2_ERROR_CALLOUT;
    charge_.start = PCRE2_UNSET;
    uint32_t options = checked_ ? PCRE2_NO_UTF_CHECK : 0;
    int rc = pcre2_match(lenient_ ? re_->lenient : re_->code, reinterpret_cast<PCRE2_SPTR>(s_.data()),
                         s_.size(), from, options, md_, mc_);
    checked_ = !lenient_ && !IsUtfError(rc);
    return rc;
  }

  const std::string& s_;
  std::shared_ptr<Compiled> re_;
  pcre2_match_data* md_ = nullptr;
  pcre2_match_context* mc_ = nullptr;
  Charge charge_;
  MatchBudget own_;       // when no statement holds a budget
  bool lenient_ = false;  // the text is not UTF-8
  bool checked_ = false;  // the text is UTF-8 (a match checked it)
};

Status Pattern(const Value& pattern, const Flags& f, std::shared_ptr<Compiled>* out) {
  thread_local PatternCache cache;
  return cache.Get(pattern.bytes, f, out);
}

// The byte offset of 1-based character position `pos`, or s.size() + 1
// when the text is shorter.
size_t ByteOfChar(const std::string& s, int64_t pos) {
  size_t i = 0;
  for (int64_t n = 1; n < pos; ++n) {
    if (i >= s.size()) return s.size() + 1;
    i += CharLen(static_cast<unsigned char>(s[i]));
  }
  return i > s.size() ? s.size() + 1 : i;
}

int64_t CharOfByte(const std::string& s, size_t b) {
  int64_t n = 1;
  for (size_t i = 0; i < b && i < s.size(); i += CharLen(static_cast<unsigned char>(s[i]))) ++n;
  return n;
}

// Integer argument i, or `def` when absent; NULL sets *null.
Status IntArg(FnCall& c, size_t i, int64_t def, int64_t* v, bool* null) {
  *v = def;
  if (c.nargs() <= i) return Status::Ok();
  if (c.arg(i).null) {
    *null = true;
    return Status::Ok();
  }
  return ArgInt(c.arg(i), v);
}

Status OutOfRange(int64_t v) { return OraError(ora::kArgumentOutOfRange, {std::to_string(v)}); }

void SetNumber(FnCall& c, int64_t v) {
  *c.out = Value::Of(TypeKind::kNumber, Number::FromInt64(v).Encode());
}

// Finds the `occurrence`-th match from character `position`.
Status FindOccurrence(Matcher& m, const std::string& s, int64_t position, int64_t occurrence, bool* found) {
  size_t from = ByteOfChar(s, position);
  *found = false;
  for (int64_t n = 0; n < occurrence; ++n) {
    TABDB_RETURN_IF_ERROR(m.Find(from, found));
    if (!*found) return Status::Ok();
    from = m.Next();
  }
  return Status::Ok();
}

}  // namespace

// REGEXP_LIKE(source, pattern [, match_param]): "1", "0" or NULL.
void EvalRegexpLike(FnCall& c, Status* st) {
  if (c.arg(0).null || c.arg(1).null) return;
  Flags f;
  std::shared_ptr<Compiled> re;
  if (c.nargs() == 3 && !(*st = ParseFlags(c.arg(2), &f)).ok()) return;
  if (!(*st = Pattern(c.arg(1), f, &re)).ok()) return;
  Matcher m(c.arg(0).bytes, re);
  bool found = false;
  if (!(*st = m.Find(0, &found)).ok()) return;
  c.out->null = false;
  c.out->bytes = found ? "1" : "0";
}

// REGEXP_SUBSTR(source, pattern [, position [, occurrence [, match_param [, subexpr]]]]).
void EvalRegexpSubstr(FnCall& c, Status* st) {
  if (c.arg(0).null || c.arg(1).null) return;
  bool null = false;
  int64_t pos = 1, occ = 1, sub = 0;
  if (!(*st = IntArg(c, 2, 1, &pos, &null)).ok() || !(*st = IntArg(c, 3, 1, &occ, &null)).ok() ||
      !(*st = IntArg(c, 5, 0, &sub, &null)).ok() || null)
    return;
  if (pos < 1) return void(*st = OutOfRange(pos));
  if (occ < 1) return void(*st = OutOfRange(occ));
  if (sub < 0 || sub > 9) return void(*st = OutOfRange(sub));
  Flags f;
  std::shared_ptr<Compiled> re;
  if (c.nargs() >= 5 && !(*st = ParseFlags(c.arg(4), &f)).ok()) return;
  if (!(*st = Pattern(c.arg(1), f, &re)).ok()) return;
  const std::string& s = c.arg(0).bytes;
  Matcher m(s, re);
  bool found = false;
  if (!(*st = FindOccurrence(m, s, pos, occ, &found)).ok() || !found) return;
  size_t b = 0, e = 0;
  if (sub > m.Groups() || !m.Group(static_cast<int>(sub), &b, &e)) return;
  SetText(c.out, c.result, s.substr(b, e - b));
}

// REGEXP_INSTR(source, pattern [, position [, occurrence [, return_option
// [, match_param [, subexpr]]]]]): a character position, 0 when none.
void EvalRegexpInstr(FnCall& c, Status* st) {
  if (c.arg(0).null || c.arg(1).null) return;
  bool null = false;
  int64_t pos = 1, occ = 1, ret = 0, sub = 0;
  if (!(*st = IntArg(c, 2, 1, &pos, &null)).ok() || !(*st = IntArg(c, 3, 1, &occ, &null)).ok() ||
      !(*st = IntArg(c, 4, 0, &ret, &null)).ok() || !(*st = IntArg(c, 6, 0, &sub, &null)).ok() || null)
    return;
  if (pos < 1) return void(*st = OutOfRange(pos));
  if (occ < 1) return void(*st = OutOfRange(occ));
  if (ret < 0) return void(*st = OutOfRange(ret));
  if (sub < 0 || sub > 9) return void(*st = OutOfRange(sub));
  Flags f;
  std::shared_ptr<Compiled> re;
  if (c.nargs() >= 6 && !(*st = ParseFlags(c.arg(5), &f)).ok()) return;
  if (!(*st = Pattern(c.arg(1), f, &re)).ok()) return;
  const std::string& s = c.arg(0).bytes;
  Matcher m(s, re);
  bool found = false;
  if (!(*st = FindOccurrence(m, s, pos, occ, &found)).ok()) return;
  size_t b = 0, e = 0;
  if (!found || sub > m.Groups() || !m.Group(static_cast<int>(sub), &b, &e)) return SetNumber(c, 0);
  SetNumber(c, CharOfByte(s, ret > 0 ? e : b));
}

// REGEXP_COUNT(source, pattern [, position [, match_param]]).
void EvalRegexpCount(FnCall& c, Status* st) {
  if (c.arg(0).null || c.arg(1).null) return;
  bool null = false;
  int64_t pos = 1;
  if (!(*st = IntArg(c, 2, 1, &pos, &null)).ok() || null) return;
  if (pos < 1) return void(*st = OutOfRange(pos));
  Flags f;
  std::shared_ptr<Compiled> re;
  if (c.nargs() >= 4 && !(*st = ParseFlags(c.arg(3), &f)).ok()) return;
  if (!(*st = Pattern(c.arg(1), f, &re)).ok()) return;
  const std::string& s = c.arg(0).bytes;
  Matcher m(s, re);
  int64_t n = 0;
  for (size_t from = ByteOfChar(s, pos);;) {
    bool found = false;
    if (!(*st = m.Find(from, &found)).ok()) return;
    if (!found) break;
    ++n;
    from = m.Next();
  }
  SetNumber(c, n);
}

// REGEXP_REPLACE(source, pattern [, replace [, position [, occurrence [, match_param]]]]):
// occurrence 0 (the default) replaces every match; \1-\9 in the
// replacement insert groups, \\ a backslash. A NULL pattern leaves the
// source as it is, as REPLACE does.
void EvalRegexpReplace(FnCall& c, Status* st) {
  if (c.arg(0).null) return;
  const std::string& s = c.arg(0).bytes;
  if (c.arg(1).null) return SetText(c.out, c.result, s);
  bool null = false;
  int64_t pos = 1, occ = 0;
  if (!(*st = IntArg(c, 3, 1, &pos, &null)).ok() || !(*st = IntArg(c, 4, 0, &occ, &null)).ok() || null) return;
  if (pos < 1) return void(*st = OutOfRange(pos));
  if (occ < 0) return void(*st = OutOfRange(occ));
  Flags f;
  std::shared_ptr<Compiled> re;
  if (c.nargs() >= 6 && !(*st = ParseFlags(c.arg(5), &f)).ok()) return;
  if (!(*st = Pattern(c.arg(1), f, &re)).ok()) return;
  std::string rep = c.nargs() >= 3 && !c.arg(2).null ? c.arg(2).bytes : "";
  Matcher m(s, re);
  std::string r;
  size_t copied = 0;
  int64_t n = 0;
  for (size_t from = ByteOfChar(s, pos);;) {
    bool found = false;
    if (!(*st = m.Find(from, &found)).ok()) return;
    if (!found) break;
    ++n;
    size_t b = 0, e = 0;
    m.Group(0, &b, &e);
    if (occ == 0 || n == occ) {
      r.append(s, copied, b - copied);
      for (size_t k = 0; k < rep.size(); ++k) {
        if (rep[k] == '\\' && k + 1 < rep.size() && rep[k + 1] >= '1' && rep[k + 1] <= '9') {
          size_t gb = 0, ge = 0;
          if (m.Group(rep[k + 1] - '0', &gb, &ge)) r.append(s, gb, ge - gb);
          ++k;
        } else if (rep[k] == '\\' && k + 1 < rep.size() && rep[k + 1] == '\\') {
          r += '\\';
          ++k;
        } else {
          r += rep[k];
        }
      }
      copied = e;
      if (n == occ) break;
    }
    from = m.Next();
  }
  r.append(s, copied, std::string::npos);
  SetText(c.out, c.result, std::move(r));
}

}  // namespace tabdb
