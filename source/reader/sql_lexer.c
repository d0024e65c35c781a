/*
 * sql_lexer.c - one left-to-right pass over Oracle SQL or PL/SQL text that
 * reports each token's kind and byte range. Every read is checked against
 * the end of the text, so any byte sequence is safe to give it.
 */
#include "sql_lexer.h"

#include <string.h>

static int is_letter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static int is_digit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

static int is_ident_start(unsigned char c)
{
    return is_letter(c) || c >= 0x80;
}

static int is_ident_part(unsigned char c)
{
    return is_ident_start(c) || is_digit(c) || c == '_' || c == '$' || c == '#';
}

static int is_blank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

/* The byte at k, or 0 past the end (a real NUL reads the same, and no rule
 * below takes a NUL for anything but a byte that starts no token). */
static unsigned char at(const SQL_LEXER *lx, uint32_t k)
{
    return k < lx->len ? (unsigned char)lx->text[k] : 0;
}

void sql_lexer_init(SQL_LEXER *lx, const char *text, uint32_t len, int plsql)
{
    memset(lx, 0, sizeof(*lx));
    lx->text = text;
    lx->len = text ? len : 0;
    lx->plsql = plsql;
    lx->last_kind = SQLT_END;
}

static void bad(SQL_LEXER *lx, SQL_TOKEN *t, const char *why)
{
    t->kind = SQLT_BAD;
    t->why = why;
    t->len = lx->len - t->at;
    lx->pos = lx->len;
    lx->failed = 1;
}

/* '...' with the opening quote at lx->pos; '' stands for one quote. */
static void plain_string(SQL_LEXER *lx, SQL_TOKEN *t)
{
    uint32_t k = lx->pos + 1;
    for (;;) {
        if (k >= lx->len) {
            bad(lx, t, "quoted string not properly terminated");
            return;
        }
        if (lx->text[k] == '\'') {
            if (at(lx, k + 1) == '\'' && k + 1 < lx->len) {
                k += 2;
                continue;
            }
            lx->pos = k + 1;
            return;
        }
        k++;
    }
}

/* q'<open>...<close>' with lx->pos on the quote after q: the closing
 * delimiter is the partner of a bracket, else the opening byte itself. */
static void q_string(SQL_LEXER *lx, SQL_TOKEN *t)
{
    uint32_t k = lx->pos + 1;
    if (k >= lx->len) {
        bad(lx, t, "quoted string not properly terminated");
        return;
    }
    unsigned char open = (unsigned char)lx->text[k];
    if (is_blank(open) || open == '\'') {
        bad(lx, t, "quoted string not properly terminated");
        return;
    }
    unsigned char close = open == '[' ? ']' : open == '{' ? '}' : open == '(' ? ')' : open == '<' ? '>' : open;
    for (k++;; k++) {
        if (k + 1 >= lx->len) {
            bad(lx, t, "quoted string not properly terminated");
            return;
        }
        if ((unsigned char)lx->text[k] == close && lx->text[k + 1] == '\'') break;
    }
    lx->pos = k + 2;
}

/* "..." with lx->pos on the opening quote; "" stands for one quote. */
static void quoted_name(SQL_LEXER *lx, SQL_TOKEN *t)
{
    uint32_t k = lx->pos + 1, n = 0;
    for (;;) {
        if (k >= lx->len) {
            bad(lx, t, "missing double quote in identifier");
            return;
        }
        char c = lx->text[k];
        if (c == '"') {
            if (k + 1 < lx->len && lx->text[k + 1] == '"') {
                n++;
                k += 2;
                continue;
            }
            k++;
            break;
        }
        if (c == '\0') {
            bad(lx, t, "NUL byte in a quoted identifier");
            return;
        }
        n++;
        k++;
    }
    if (n == 0) {
        bad(lx, t, "zero-length identifier");
        return;
    }
    if (n > SQL_IDENT_MAX) {
        bad(lx, t, "identifier too long");
        return;
    }
    lx->pos = k;
}

static void word(SQL_LEXER *lx, SQL_TOKEN *t)
{
    uint32_t k = lx->pos;
    while (k < lx->len && is_ident_part((unsigned char)lx->text[k])) k++;
    if (k - lx->pos > SQL_IDENT_MAX) {
        bad(lx, t, "identifier too long");
        return;
    }
    lx->pos = k;
}

static void number(SQL_LEXER *lx)
{
    uint32_t k = lx->pos;
    while (is_digit(at(lx, k))) k++;
    if (at(lx, k) == '.' && k < lx->len && !(at(lx, k + 1) == '.' && k + 1 < lx->len)) {
        k++;
        while (is_digit(at(lx, k))) k++;
    }
    unsigned char e = at(lx, k);
    if (e == 'e' || e == 'E') {
        uint32_t x = k + 1;
        if (at(lx, x) == '+' || at(lx, x) == '-') x++;
        if (is_digit(at(lx, x))) {
            k = x;
            while (is_digit(at(lx, k))) k++;
        }
    }
    unsigned char s = at(lx, k);
    if (s == 'f' || s == 'F' || s == 'd' || s == 'D') k++;
    lx->pos = k;
}

static void bind(SQL_LEXER *lx, SQL_TOKEN *t)
{
    unsigned char c1 = at(lx, lx->pos + 1);
    if (c1 == '=' && lx->pos + 1 < lx->len) {
        t->kind = SQLT_PUNCT;
        lx->pos += 2;
        return;
    }
    if (is_digit(c1)) {
        uint32_t k = lx->pos + 1;
        while (is_digit(at(lx, k))) k++;
        if (k < lx->len && is_ident_part((unsigned char)lx->text[k])) {
            bad(lx, t, "invalid character in a placeholder");
            return;
        }
        lx->pos = k;
        return;
    }
    if (is_ident_start(c1)) {
        uint32_t k = lx->pos + 1;
        while (k < lx->len && is_ident_part((unsigned char)lx->text[k])) k++;
        if (k - lx->pos - 1 > SQL_IDENT_MAX) {
            bad(lx, t, "identifier too long");
            return;
        }
        lx->pos = k;
        return;
    }
    if (c1 == '"' && lx->pos + 1 < lx->len) {
        uint32_t start = lx->pos;
        lx->pos++;
        quoted_name(lx, t);
        if (t->kind == SQLT_BAD) t->at = start;
        return;
    }
    t->kind = SQLT_OTHER;
    lx->pos++;
}

static void symbol(SQL_LEXER *lx, SQL_TOKEN *t)
{
    unsigned char c = at(lx, lx->pos);
    unsigned char c1 = lx->pos + 1 < lx->len ? at(lx, lx->pos + 1) : 0;
    t->kind = SQLT_PUNCT;
    if ((c == '<' && (c1 == '>' || c1 == '=')) || (c == '>' && c1 == '=') ||
        ((c == '!' || c == '^') && c1 == '=') || (c == '|' && c1 == '|') || (c == '=' && c1 == '>')) {
        lx->pos += 2;
        return;
    }
    if (lx->plsql && c == '%') {
        lx->pos++;
        return;
    }
    /* a database link: name@link, written together */
    if (c == '@' && (lx->last_kind == SQLT_WORD || lx->last_kind == SQLT_QNAME) &&
        lx->last_end == lx->pos && (is_ident_start(c1) || c1 == '"')) {
        lx->pos++;
        return;
    }
    if (c != 0 && strchr("()+-*/,.;=<>", c) != NULL) {
        lx->pos++;
        return;
    }
    t->kind = SQLT_OTHER;
    lx->pos++;
}

void sql_lex_next(SQL_LEXER *lx, SQL_TOKEN *t)
{
    memset(t, 0, sizeof(*t));
    while (!lx->failed && lx->pos < lx->len && is_blank((unsigned char)lx->text[lx->pos])) lx->pos++;
    t->at = lx->pos;
    if (lx->failed || lx->pos >= lx->len) {
        t->kind = SQLT_END;
        t->at = lx->len;
        return;
    }
    unsigned char c = at(lx, lx->pos);
    unsigned char c1 = lx->pos + 1 < lx->len ? at(lx, lx->pos + 1) : 0;
    unsigned char c2 = lx->pos + 2 < lx->len ? at(lx, lx->pos + 2) : 0;
    if (c == '-' && c1 == '-') {
        const char *nl = memchr(lx->text + lx->pos, '\n', lx->len - lx->pos);
        lx->pos = nl ? (uint32_t)(nl - lx->text) + 1 : lx->len;
        t->kind = SQLT_COMMENT;
    } else if (c == '/' && c1 == '*') {
        uint32_t k = lx->pos + 2;
        while (k + 1 < lx->len && !(lx->text[k] == '*' && lx->text[k + 1] == '/')) k++;
        if (k + 1 >= lx->len) {
            bad(lx, t, "comment not terminated");
            return;
        }
        lx->pos = k + 2;
        t->kind = SQLT_COMMENT;
    } else if ((c == 'n' || c == 'N') && c1 == '\'') {
        t->kind = SQLT_NSTRING;
        lx->pos++;
        plain_string(lx, t);
    } else if ((c == 'n' || c == 'N') && (c1 == 'q' || c1 == 'Q') && c2 == '\'') {
        t->kind = SQLT_NSTRING;
        lx->pos += 2;
        q_string(lx, t);
    } else if ((c == 'q' || c == 'Q') && c1 == '\'') {
        t->kind = SQLT_STRING;
        lx->pos++;
        q_string(lx, t);
    } else if (lx->plsql && c == '$' && (is_ident_start(c1) || c1 == '$')) {
        /* conditional compilation: $IF ... $END, $$NAME inquiries */
        t->kind = SQLT_WORD;
        uint32_t k = lx->pos + 1;
        if (at(lx, k) == '$' && k < lx->len) k++;
        while (k < lx->len && is_ident_part((unsigned char)lx->text[k])) k++;
        if (k - lx->pos > SQL_IDENT_MAX) {
            bad(lx, t, "identifier too long");
            return;
        }
        lx->pos = k;
    } else if (is_ident_start(c)) {
        t->kind = SQLT_WORD;
        word(lx, t);
    } else if (c == '"') {
        t->kind = SQLT_QNAME;
        quoted_name(lx, t);
    } else if (c == '\'') {
        t->kind = SQLT_STRING;
        plain_string(lx, t);
    } else if (lx->plsql && c == '.' && c1 == '.') {
        t->kind = SQLT_PUNCT;
        lx->pos += 2;
    } else if (is_digit(c) || (c == '.' && is_digit(c1))) {
        t->kind = SQLT_NUMBER;
        number(lx);
    } else if (c == ':') {
        t->kind = SQLT_BIND;
        bind(lx, t);
    } else {
        symbol(lx, t);
    }
    if (t->kind == SQLT_BAD) return;
    t->len = lx->pos - t->at;
    if (t->kind != SQLT_COMMENT) {
        lx->last_kind = t->kind;
        lx->last_end = lx->pos;
    }
}

int sql_token_is(const SQL_LEXER *lx, const SQL_TOKEN *t, const char *p)
{
    size_t n = strlen(p);
    return t->kind == SQLT_PUNCT && t->len == n && memcmp(lx->text + t->at, p, n) == 0;
}
