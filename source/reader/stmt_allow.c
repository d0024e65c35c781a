/*
 * stmt_allow.c - the kinds of statement an export writes, and a small
 * lexer that checks a statement against them: one statement, no comments,
 * no schema but the target, and a head naming exactly the expected table.
 */
#include "stmt_allow.h"

#include <stdio.h>
#include <string.h>

#define NAME_MAX_BYTES 128

enum { T_END, T_WORD, T_NAME, T_STRING, T_NUMBER, T_PUNCT, T_BAD };

typedef struct {
    int type;
    char text[NAME_MAX_BYTES + 1];  /* words upper-cased, quoted names without quotes */
    int cut;                        /* text longer than the room */
    char punct;
} TOKEN;

typedef struct {
    const char *p, *end;
    const char *bad;                /* why the last T_BAD */
} LEXER;

static int is_word_start(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}

static int is_word_char(unsigned char c)
{
    return is_word_start(c) || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#';
}

static void put_char(TOKEN *t, size_t *n, char c)
{
    if (*n < NAME_MAX_BYTES)
        t->text[(*n)++] = c;
    else
        t->cut = 1;
}

/* Reads a quoted run ending with q (doubled q stands for itself). */
static int quoted(LEXER *lx, TOKEN *t, char q)
{
    size_t n = 0;
    for (lx->p++; lx->p < lx->end; lx->p++) {
        if (*lx->p == q) {
            if (lx->p + 1 < lx->end && lx->p[1] == q) {
                put_char(t, &n, q);
                lx->p++;
                continue;
            }
            lx->p++;
            t->text[n] = '\0';
            return 0;
        }
        if (*lx->p == '\0') break;
        put_char(t, &n, *lx->p);
    }
    lx->bad = "unterminated quote";
    return -1;
}

static void next(LEXER *lx, TOKEN *t)
{
    memset(t, 0, sizeof(*t));
    while (lx->p < lx->end && (*lx->p == ' ' || *lx->p == '\t' || *lx->p == '\n' || *lx->p == '\r'))
        lx->p++;
    if (lx->p >= lx->end) {
        t->type = T_END;
        return;
    }
    unsigned char c = (unsigned char)*lx->p;
    size_t n = 0;
    if (c == '"' || c == '\'') {
        t->type = c == '"' ? T_NAME : T_STRING;
        if (quoted(lx, t, (char)c) != 0) t->type = T_BAD;
        return;
    }
    if (is_word_start(c)) {
        t->type = T_WORD;
        for (; lx->p < lx->end && is_word_char((unsigned char)*lx->p); lx->p++) {
            char ch = *lx->p;
            put_char(t, &n, (ch >= 'a' && ch <= 'z') ? (char)(ch - 32) : ch);
        }
        t->text[n] = '\0';
        return;
    }
    if (c >= '0' && c <= '9') {
        t->type = T_NUMBER;
        while (lx->p < lx->end && (is_word_char((unsigned char)*lx->p) || *lx->p == '.')) lx->p++;
        return;
    }
    if (c < 0x20 || c == 0x7F) {
        t->type = T_BAD;
        lx->bad = "control character";
        return;
    }
    if ((c == '-' && lx->p + 1 < lx->end && lx->p[1] == '-') ||
        (c == '/' && lx->p + 1 < lx->end && lx->p[1] == '*')) {
        t->type = T_BAD;
        lx->bad = "comment";
        return;
    }
    if (c == ';') {
        t->type = T_BAD;
        lx->bad = "more than one statement";
        return;
    }
    t->type = T_PUNCT;
    t->punct = (char)c;
    lx->p++;
}

static int is_word(const TOKEN *t, const char *w)
{
    return t->type == T_WORD && strcmp(t->text, w) == 0;
}

static int is_punct(const TOKEN *t, char c)
{
    return t->type == T_PUNCT && t->punct == c;
}

static int is_ident(const TOKEN *t)
{
    return (t->type == T_WORD || t->type == T_NAME) && !t->cut;
}

static int same_name(const TOKEN *t, const char *name)
{
    return is_ident(t) && strcmp(t->text, name) == 0;
}

static const char *refuse(char *why, size_t size, const char *fmt, const char *arg)
{
    snprintf(why, size, fmt, arg ? arg : "");
    return why;
}

/* Whole-text rules: every token well formed, no statement separator or
 * comment, no query, and any qualified name qualified by the target. */
static const char *scan_all(const STMT_SCOPE *sc, const char *text, uint32_t len, char *why,
                            size_t size)
{
    LEXER lx = {text, text + len, NULL};
    TOKEN prev2, prev, t;
    memset(&prev2, 0, sizeof(prev2));
    memset(&prev, 0, sizeof(prev));
    for (;;) {
        next(&lx, &t);
        if (t.type == T_END) return NULL;
        if (t.type == T_BAD) return refuse(why, size, "%s", lx.bad);
        if (is_word(&t, "SELECT")) return refuse(why, size, "a query inside the statement", NULL);
        if (is_ident(&t) && is_punct(&prev, '.') && (prev2.type == T_WORD || prev2.type == T_NAME)) {
            if (!same_name(&prev2, sc->schema))
                return refuse(why, size, "names schema \"%s\"", prev2.text);
        }
        prev2 = prev;
        prev = t;
    }
}

/* A possibly qualified name: [schema .] name; the object's name to *t. */
static int object_name(LEXER *lx, TOKEN *t)
{
    next(lx, t);
    if (!is_ident(t)) return -1;
    LEXER save = *lx;
    TOKEN dot;
    next(lx, &dot);
    if (!is_punct(&dot, '.')) {
        *lx = save;
        return 0;
    }
    next(lx, t);  /* the qualifier was checked by scan_all */
    return is_ident(t) ? 0 : -1;
}

/* The table a statement is about must be the section's table, or in the
 * deferred list one of the dump's tables. */
static const char *check_table(const STMT_SCOPE *sc, const TOKEN *t, char *why, size_t size)
{
    if (sc->table ? strcmp(t->text, sc->table) == 0
                  : (sc->is_table && sc->is_table(sc->ctx, t->text)))
        return NULL;
    return refuse(why, size, "statement about another table \"%s\"", t->text);
}

/* The table a statement is about, then, when `list` is set, the '(' that
 * opens its column list. NULL when both are there. */
static const char *table_then_list(const STMT_SCOPE *sc, LEXER *lx, int list, char *why, size_t size)
{
    TOKEN t;
    if (object_name(lx, &t) != 0) return refuse(why, size, "no table name", NULL);
    const char *r = check_table(sc, &t, why, size);
    if (r || !list) return r;
    next(lx, &t);
    if (!is_punct(&t, '(')) return refuse(why, size, "no column list", NULL);
    return NULL;
}

/* CREATE [GLOBAL TEMPORARY] TABLE name ( ... */
static const char *match_create_table(const STMT_SCOPE *sc, LEXER *lx, char *why, size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (is_word(&t, "GLOBAL")) {
        next(lx, &t);
        if (!is_word(&t, "TEMPORARY")) return "";
        next(lx, &t);
    }
    if (!is_word(&t, "TABLE")) return "";
    return table_then_list(sc, lx, 1, why, size);
}

/* CREATE [UNIQUE|BITMAP] INDEX name ON table ( ... */
static const char *match_create_index(const STMT_SCOPE *sc, LEXER *lx, char *why, size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (is_word(&t, "UNIQUE") || is_word(&t, "BITMAP")) next(lx, &t);
    if (!is_word(&t, "INDEX")) return "";
    if (object_name(lx, &t) != 0) return refuse(why, size, "no index name", NULL);
    next(lx, &t);
    if (!is_word(&t, "ON")) return refuse(why, size, "no ON after the index name", NULL);
    return table_then_list(sc, lx, 1, why, size);
}

/* ALTER TABLE table ADD [CONSTRAINT name] PRIMARY KEY ( ... */
static const char *match_add_primary_key(const STMT_SCOPE *sc, LEXER *lx, char *why, size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (!is_word(&t, "TABLE")) return "";
    const char *r = table_then_list(sc, lx, 0, why, size);
    if (r) return r;
    next(lx, &t);
    if (!is_word(&t, "ADD")) return "";
    next(lx, &t);
    if (is_word(&t, "CONSTRAINT")) {
        next(lx, &t);
        if (!is_ident(&t)) return refuse(why, size, "no constraint name", NULL);
        next(lx, &t);
    }
    if (!is_word(&t, "PRIMARY")) return "";
    next(lx, &t);
    if (!is_word(&t, "KEY")) return "";
    next(lx, &t);
    if (!is_punct(&t, '(')) return refuse(why, size, "no column list", NULL);
    return NULL;
}

/* The kinds an export writes: the first word, where the kind may stand, and
 * the rest of its head. A matcher returns NULL (allowed), "" (not this
 * kind) or the reason it refuses. New kinds are new entries. */
typedef struct {
    const char *first;
    int where;
    const char *(*match)(const STMT_SCOPE *sc, LEXER *lx, char *why, size_t size);
} STMT_KIND;

static const STMT_KIND g_kinds[] = {
    {"CREATE", STMT_AT_CREATE, match_create_table},
    {"CREATE", STMT_AT_SECTION | STMT_AT_DEFERRED, match_create_index},
    {"ALTER", STMT_AT_SECTION | STMT_AT_DEFERRED, match_add_primary_key},
};

const char *stmt_refusal(const STMT_SCOPE *sc, const char *text, uint32_t len, char *why,
                         size_t size)
{
    const char *r = scan_all(sc, text, len, why, size);
    if (r) return r;
    for (size_t k = 0; k < sizeof(g_kinds) / sizeof(g_kinds[0]); k++) {
        const STMT_KIND *kind = &g_kinds[k];
        if (!(kind->where & sc->where)) continue;
        LEXER lx = {text, text + len, NULL};
        TOKEN t;
        next(&lx, &t);
        if (!is_word(&t, kind->first)) continue;
        r = kind->match(sc, &lx, why, size);
        if (r == NULL || r[0] != '\0') return r;
    }
    LEXER lx = {text, text + len, NULL};
    TOKEN t;
    next(&lx, &t);
    return refuse(why, size, "statement of a kind an export does not write (%s)",
                  t.type == T_WORD ? t.text : "?");
}
