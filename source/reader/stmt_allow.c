/*
 * stmt_allow.c - the kinds of statement an export writes, checked over the
 * shared SQL lexer (sql_lexer.h): one statement, no comments,
 * no schema but the target, and a head naming exactly the expected table
 * (per-table kinds) or an object of the target schema (deferred kinds).
 */
#define _POSIX_C_SOURCE 200809L  /* strnlen */

#include "stmt_allow.h"

#include <stdio.h>
#include <string.h>

#include "sql_lexer.h"

#define NAME_MAX_BYTES STMT_NAME_MAX

enum { T_END, T_WORD, T_NAME, T_STRING, T_NUMBER, T_PUNCT, T_BIND, T_BAD };

typedef struct {
    int type;
    char text[NAME_MAX_BYTES + 1];  /* words upper-cased, quoted names without quotes */
    int cut;                        /* text longer than the room */
    char punct;                     /* a one-byte punctuation; 0 for a two-byte one */
    uint32_t at;                    /* offset of the token in the statement */
} TOKEN;

/* The shared lexer, and how this checker takes what it returns. */
typedef struct {
    SQL_LEXER sl;
    const char *bad;                /* why the last T_BAD */
    int loose;                      /* a query or code body: comments skipped, ';' a punctuation */
} LEXER;

static void lexer_start(LEXER *lx, const char *text, uint32_t len)
{
    memset(lx, 0, sizeof(*lx));
    sql_lexer_init(&lx->sl, text, len, 0);
}

static void put_char(TOKEN *t, size_t *n, char c)
{
    if (*n < NAME_MAX_BYTES)
        t->text[(*n)++] = c;
    else
        t->cut = 1;
}

static void next(LEXER *lx, TOKEN *t)
{
    memset(t, 0, sizeof(*t));
    SQL_TOKEN s;
    for (;;) {
        sql_lex_next(&lx->sl, &s);
        if (s.kind != SQLT_COMMENT) break;
        if (!lx->loose) {
            t->type = T_BAD;
            t->at = s.at;
            lx->bad = "comment";
            return;
        }
    }
    t->at = s.at;
    const char *p = lx->sl.text + s.at;
    unsigned char c = s.len ? (unsigned char)p[0] : 0;
    size_t n = 0;
    switch (s.kind) {
    case SQLT_END:
        t->type = T_END;
        return;
    case SQLT_BAD:
        t->type = T_BAD;
        lx->bad = s.why;
        return;
    case SQLT_WORD:
        t->type = T_WORD;
        for (uint32_t k = 0; k < s.len; k++)
            put_char(t, &n, (p[k] >= 'a' && p[k] <= 'z') ? (char)(p[k] - 32) : p[k]);
        t->text[n] = '\0';
        return;
    case SQLT_QNAME:
        t->type = T_NAME;
        for (uint32_t k = 1; k + 1 < s.len; k++) {
            put_char(t, &n, p[k]);
            if (p[k] == '"') k++; /* a doubled quote stands for one */
        }
        t->text[n] = '\0';
        return;
    case SQLT_STRING:
    case SQLT_NSTRING:
        t->type = T_STRING;
        /* the value of a plain '...' literal (doubled quotes as one); a
         * q-quoted or national literal keeps no text */
        if (s.kind == SQLT_STRING && s.len >= 2 && p[0] == '\'') {
            for (uint32_t k = 1; k + 1 < s.len; k++) {
                put_char(t, &n, p[k]);
                if (p[k] == '\'') k++;
            }
            t->text[n] = '\0';
        } else {
            t->cut = 1;
        }
        return;
    case SQLT_NUMBER:
        t->type = T_NUMBER;
        return;
    case SQLT_BIND:
        t->type = s.len == 2 && p[1] == '=' ? T_PUNCT : T_BIND;
        return;
    case SQLT_PUNCT:
        if (c == ';' && !lx->loose) {
            t->type = T_BAD;
            lx->bad = "more than one statement";
            return;
        }
        t->type = T_PUNCT;
        t->punct = s.len == 1 ? (char)c : 0;
        return;
    case SQLT_OTHER:
    case SQLT_COMMENT:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
        t->type = T_BAD;
        lx->bad = "control character";
    } else if (lx->loose) {
        /* a query or code body: the database judges the rest */
        t->type = T_PUNCT;
        t->punct = (char)c;
    } else {
        t->type = T_BAD;
        lx->bad = "a character that starts no token";
    }
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

/* How much of a statement its kind leaves to the whole-text rules. */
enum {
    SCAN_STRICT,  /* every token: no query, and any qualified name qualified by the target */
    SCAN_TOKENS,  /* every token well formed; the matcher has checked every name to the end */
    SCAN_QUERY,   /* the head up to the matcher; then a query: comments allowed, no ';' */
    SCAN_CODE     /* the head up to the matcher; then PL/SQL source, with no external routine */
};

/* Whole-text rules: every token well formed, no statement separator or
 * comment, and with `strict` no query and any qualified name qualified by
 * the target. */
static const char *scan_all(const STMT_SCOPE *sc, const char *text, uint32_t len, int strict,
                            char *why, size_t size)
{
    LEXER lx;
    lexer_start(&lx, text, len);
    TOKEN prev2, prev, t;
    memset(&prev2, 0, sizeof(prev2));
    memset(&prev, 0, sizeof(prev));
    for (;;) {
        next(&lx, &t);
        if (t.type == T_END) return NULL;
        if (t.type == T_BAD) return refuse(why, size, "%s", lx.bad);
        if (!strict) continue;
        if (is_word(&t, "SELECT")) return refuse(why, size, "a query inside the statement", NULL);
        if (is_ident(&t) && is_punct(&prev, '.') && (prev2.type == T_WORD || prev2.type == T_NAME)) {
            if (!same_name(&prev2, sc->schema))
                return refuse(why, size, "names schema \"%s\"", prev2.text);
        }
        prev2 = prev;
        prev = t;
    }
}

/* The body of a view: any query, but one statement. */
static const char *scan_query(LEXER *lx, char *why, size_t size)
{
    lx->loose = 1;
    TOKEN t;
    for (;;) {
        next(lx, &t);
        if (t.type == T_END) return NULL;
        if (t.type == T_BAD) return refuse(why, size, "%s", lx->bad);
        if (is_punct(&t, ';')) return refuse(why, size, "more than one statement", NULL);
    }
}

/* The source of a stored unit: anything PL/SQL holds, but no routine
 * implemented outside the database (a call specification naming a C or
 * Java routine or library), which would run foreign code. */
static const char *scan_code(LEXER *lx, char *why, size_t size)
{
    lx->loose = 1;
    lx->sl.plsql = 1;
    TOKEN prev, t;
    memset(&prev, 0, sizeof(prev));
    for (;;) {
        next(lx, &t);
        if (t.type == T_END) return NULL;
        if (t.type == T_BAD) return refuse(why, size, "%s", lx->bad);
        int call_spec = ((is_word(&prev, "IS") || is_word(&prev, "AS")) &&
                         (is_word(&t, "LANGUAGE") || is_word(&t, "EXTERNAL"))) ||
                        (is_word(&prev, "LANGUAGE") && (is_word(&t, "C") || is_word(&t, "JAVA"))) ||
                        (is_word(&prev, "EXTERNAL") && (is_word(&t, "NAME") || is_word(&t, "LIBRARY")));
        if (call_spec) return refuse(why, size, "a routine outside the database", NULL);
        prev = t;
    }
}

/* A possibly qualified name: [schema .] name; the object's name to *t.
 * The qualifier must be the target schema, unless any_schema is set; *bare
 * tells whether the name stood without one. */
static const char *qualified_name(const STMT_SCOPE *sc, LEXER *lx, TOKEN *t, int any_schema,
                                  int *bare, char *why, size_t size)
{
    next(lx, t);
    if (!is_ident(t)) return refuse(why, size, "no name where one belongs", NULL);
    if (bare) *bare = 1;
    LEXER save = *lx;
    TOKEN dot;
    next(lx, &dot);
    if (!is_punct(&dot, '.')) {
        *lx = save;
        return NULL;
    }
    if (!any_schema && !same_name(t, sc->schema))
        return refuse(why, size, "names schema \"%s\"", t->text);
    if (bare) *bare = 0;
    next(lx, t);
    return is_ident(t) ? NULL : refuse(why, size, "no name where one belongs", NULL);
}

/* As qualified_name, for names whose qualifier scan_all has checked. */
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
    next(lx, t);
    return is_ident(t) ? 0 : -1;
}

static void set_name(char *dst, const char *src)
{
    size_t n = strnlen(src, STMT_NAME_MAX);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

static int dump_table(const STMT_SCOPE *sc, const char *name)
{
    return sc->table ? strcmp(name, sc->table) == 0
                     : (sc->is_table && sc->is_table(sc->ctx, name));
}

/* The table a statement is about must be the section's table, or in the
 * deferred list one of the dump's tables. */
static const char *check_table(const STMT_SCOPE *sc, const TOKEN *t, STMT_INFO *in, char *why,
                               size_t size)
{
    if (dump_table(sc, t->text)) {
        set_name(in->table, t->text);
        return NULL;
    }
    return refuse(why, size, "statement about another table \"%s\"", t->text);
}

/* The table a statement is about, then, when `list` is set, the '(' that
 * opens its column list. NULL when both are there. */
static const char *table_then_list(const STMT_SCOPE *sc, LEXER *lx, int list, STMT_INFO *in,
                                   char *why, size_t size)
{
    TOKEN t;
    /* qualified only by the target schema, whatever the kind's other rules */
    const char *r = qualified_name(sc, lx, &t, 0, NULL, why, size);
    if (r) return r;
    r = check_table(sc, &t, in, why, size);
    if (r || !list) return r;
    next(lx, &t);
    if (!is_punct(&t, '(')) return refuse(why, size, "no column list", NULL);
    return NULL;
}

/* A parenthesised list of names, the '(' not yet read. */
static const char *name_list(LEXER *lx, char *why, size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (!is_punct(&t, '(')) return refuse(why, size, "no column list", NULL);
    for (;;) {
        next(lx, &t);
        if (!is_ident(&t)) return refuse(why, size, "no column name in the list", NULL);
        next(lx, &t);
        if (is_punct(&t, ')')) return NULL;
        if (!is_punct(&t, ',')) return refuse(why, size, "no column list", NULL);
    }
}

/* Whether the token is a word of a constraint's states. */
static int is_state(const TOKEN *t)
{
    static const char *const words[] = {"ENABLE",   "DISABLE",   "VALIDATE", "NOVALIDATE",
                                        "RELY",     "NORELY",    "DEFERRABLE", "INITIALLY",
                                        "DEFERRED", "IMMEDIATE", "NOT",      NULL};
    int ok = 0;
    for (const char *const *w = words; *w; w++) ok = ok || is_word(t, *w);
    return ok;
}

/* What may follow a constraint: its delete rule and states, to the end. */
static const char *states_to_end(LEXER *lx, TOKEN *t, char *why, size_t size)
{
    for (; t->type != T_END; next(lx, t)) {
        int ok = is_state(t);
        if (!ok && t->type == T_WORD)
            return refuse(why, size, "\"%s\" where a constraint state belongs", t->text);
        if (!ok) return refuse(why, size, "more than constraint states at the end", NULL);
    }
    return NULL;
}

/* The ')' closing a clause, then the end of the statement; *t is the
 * token after the clause. */
static const char *closed_at_end(LEXER *lx, TOKEN *t, char *why, size_t size)
{
    if (!is_punct(t, ')')) return refuse(why, size, "no ')' at the end", NULL);
    next(lx, t);
    return t->type == T_END ? NULL : refuse(why, size, "more after the column's clause", NULL);
}

/* CREATE [GLOBAL TEMPORARY] TABLE name ( ... */
static const char *match_create_table(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                      size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (is_word(&t, "GLOBAL")) {
        next(lx, &t);
        if (!is_word(&t, "TEMPORARY")) return "";
        next(lx, &t);
    }
    if (!is_word(&t, "TABLE")) return "";
    in->kind = "table";
    const char *r = table_then_list(sc, lx, 1, in, why, size);
    set_name(in->object, in->table);
    return r;
}

/* CREATE [UNIQUE|BITMAP] INDEX name ON table ( ... */
static const char *match_create_index(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                      size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (is_word(&t, "UNIQUE") || is_word(&t, "BITMAP")) next(lx, &t);
    if (!is_word(&t, "INDEX")) return "";
    in->kind = "index";
    if (object_name(lx, &t) != 0) return refuse(why, size, "no index name", NULL);
    set_name(in->object, t.text);
    next(lx, &t);
    if (!is_word(&t, "ON")) return refuse(why, size, "no ON after the index name", NULL);
    /* in the deferred list also an index on a materialized view the list
     * created before: the view stands where a table of the dump would, so
     * the importer creates it only on a view this run created */
    LEXER save = *lx;
    const char *r = qualified_name(sc, lx, &t, 0, NULL, why, size);
    if (!r && sc->where == STMT_AT_DEFERRED && !dump_table(sc, t.text) && sc->is_mview &&
        sc->is_mview(sc->ctx, t.text)) {
        set_name(in->table, t.text);
        next(lx, &t);
        return is_punct(&t, '(') ? NULL : refuse(why, size, "no column list", NULL);
    }
    *lx = save;
    return table_then_list(sc, lx, 1, in, why, size);
}

/* ALTER TABLE table ADD [CONSTRAINT name]: the word after it in *t. */
static const char *alter_table_add(const STMT_SCOPE *sc, LEXER *lx, TOKEN *t, STMT_INFO *in,
                                   char *why, size_t size)
{
    next(lx, t);
    if (!is_word(t, "TABLE")) return "";
    const char *r = table_then_list(sc, lx, 0, in, why, size);
    if (r) return r;
    next(lx, t);
    if (!is_word(t, "ADD")) return "";
    in->kind = "constraint";
    next(lx, t);
    if (is_word(t, "CONSTRAINT")) {
        next(lx, t);
        if (!is_ident(t)) return refuse(why, size, "no constraint name", NULL);
        set_name(in->object, t->text);
        next(lx, t);
    }
    return NULL;
}

/* After a '(': past its matching ')'; 0 when the text ends first. */
static int skip_group(LEXER *lx)
{
    TOKEN t;
    for (int depth = 1; depth > 0;) {
        next(lx, &t);
        if (t.type == T_END || t.type == T_BAD) return 0;
        if (is_punct(&t, '(')) depth++;
        if (is_punct(&t, ')')) depth--;
    }
    return 1;
}

/* The index clause of a key, *t its first token: USING INDEX followed by
 * the name of an index or by the index's attributes (words of physical,
 * storage and partitioning clauses, numbers, names and parenthesised
 * groups); on return *t is the token after it. Nothing else may follow a
 * key but its states, so that no other clause of ALTER TABLE rides on it. */
static const char *key_index(LEXER *lx, TOKEN *t, char *why, size_t size)
{
    static const char *const words[] = {
        "PCTFREE", "PCTUSED", "INITRANS", "MAXTRANS", "COMPUTE", "STATISTICS", "STORAGE",
        "TABLESPACE", "LOGGING", "NOLOGGING", "FILESYSTEM_LIKE_LOGGING", "COMPRESS",
        "NOCOMPRESS", "ADVANCED", "LOW", "HIGH", "REVERSE", "SORT", "NOSORT", "PARALLEL",
        "NOPARALLEL", "VISIBLE", "INVISIBLE", "LOCAL", "GLOBAL", "PARTITION", "BY", "RANGE",
        "HASH", "VALUES", "LESS", "THAN", "MAXVALUE", "PARTITIONS", "STORE", "IN", "SEGMENT",
        "CREATION", "ONLINE", NULL};
    if (!is_word(t, "USING")) return NULL;
    next(lx, t);
    if (!is_word(t, "INDEX")) return refuse(why, size, "\"USING\" without INDEX after a key", NULL);
    next(lx, t);
    int first = 1;
    for (;; next(lx, t), first = 0) {
        int known = 0;
        for (const char *const *w = words; *w; w++) known = known || is_word(t, *w);
        if (known && is_word(t, "CREATION")) {
            next(lx, t); /* IMMEDIATE or DEFERRED, not a state here */
            continue;
        }
        if (first && !known && is_ident(t) && !is_state(t)) {
            /* the index to use: [schema.]name (scan_all checks the schema) */
            LEXER save = *lx;
            TOKEN dot;
            next(lx, &dot);
            if (is_punct(&dot, '.'))
                next(lx, t);
            else
                *lx = save;
            continue;
        }
        if (known || t->type == T_NUMBER || t->type == T_NAME) continue;
        if (is_punct(t, '(')) {
            if (!skip_group(lx)) return refuse(why, size, "no ')' closing the index clause", NULL);
            continue;
        }
        return NULL;
    }
}

/* ALTER TABLE table ADD [CONSTRAINT name] PRIMARY KEY|UNIQUE|CHECK (...)
 * [USING INDEX ...] states, to the end. */
static const char *match_add_key(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                 size_t size)
{
    TOKEN t;
    const char *r = alter_table_add(sc, lx, &t, in, why, size);
    if (r) return r;
    if (is_word(&t, "PRIMARY")) {
        next(lx, &t);
        if (!is_word(&t, "KEY")) return "";
    } else if (!is_word(&t, "UNIQUE") && !is_word(&t, "CHECK")) {
        return "";
    }
    int check = is_word(&t, "CHECK");
    next(lx, &t);
    if (!is_punct(&t, '(')) return refuse(why, size, "no column list", NULL);
    if (!skip_group(lx)) return refuse(why, size, "no ')' closing the constraint", NULL);
    next(lx, &t);
    if (!check) {
        r = key_index(lx, &t, why, size);
        if (r) return r;
    }
    return states_to_end(lx, &t, why, size);
}

/* ALTER TABLE table ADD [CONSTRAINT name] FOREIGN KEY (cols)
 * REFERENCES [schema.]table [(cols)] [ON DELETE CASCADE|SET NULL] states:
 * the referenced table may be of another schema. */
static const char *match_add_foreign_key(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                         size_t size)
{
    TOKEN t;
    const char *r = alter_table_add(sc, lx, &t, in, why, size);
    if (r) return r;
    if (!is_word(&t, "FOREIGN")) return "";
    next(lx, &t);
    if (!is_word(&t, "KEY")) return "";
    if ((r = name_list(lx, why, size)) != NULL) return r;
    next(lx, &t);
    if (!is_word(&t, "REFERENCES")) return refuse(why, size, "no REFERENCES in a foreign key", NULL);
    if ((r = qualified_name(sc, lx, &t, 1, NULL, why, size)) != NULL) return r;
    LEXER save = *lx;
    next(lx, &t);
    if (is_punct(&t, '(')) {
        *lx = save;
        if ((r = name_list(lx, why, size)) != NULL) return r;
        next(lx, &t);
    }
    if (is_word(&t, "ON")) {
        next(lx, &t);
        if (!is_word(&t, "DELETE")) return refuse(why, size, "no DELETE after ON", NULL);
        next(lx, &t);
        if (is_word(&t, "SET")) {
            next(lx, &t);
            if (!is_word(&t, "NULL")) return refuse(why, size, "no NULL after SET", NULL);
        } else if (!is_word(&t, "CASCADE")) {
            return refuse(why, size, "no delete rule after ON DELETE", NULL);
        }
        next(lx, &t);
    }
    return states_to_end(lx, &t, why, size);
}

/* ALTER TABLE table MODIFY ("C" [CONSTRAINT name] NOT NULL states)
 *                   MODIFY ("C" GENERATED ALWAYS|BY DEFAULT [ON NULL] AS IDENTITY [(options)])
 *                   MODIFY CONSTRAINT name states */
static const char *match_modify(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (!is_word(&t, "TABLE")) return "";
    const char *r = table_then_list(sc, lx, 0, in, why, size);
    if (r) return r;
    next(lx, &t);
    if (!is_word(&t, "MODIFY")) return "";
    next(lx, &t);
    if (is_word(&t, "CONSTRAINT")) {
        in->kind = "constraint";
        next(lx, &t);
        if (!is_ident(&t)) return refuse(why, size, "no constraint name", NULL);
        set_name(in->object, t.text);
        next(lx, &t);
        return states_to_end(lx, &t, why, size);
    }
    if (!is_punct(&t, '(')) return "";
    next(lx, &t);
    if (!is_ident(&t)) return refuse(why, size, "no column name", NULL);
    set_name(in->object, t.text);
    next(lx, &t);
    if (is_word(&t, "GENERATED")) {
        in->kind = "identity column";
        next(lx, &t);
        if (is_word(&t, "BY")) {
            next(lx, &t);
            if (!is_word(&t, "DEFAULT")) return refuse(why, size, "no DEFAULT after BY", NULL);
            next(lx, &t);
            if (is_word(&t, "ON")) {
                next(lx, &t);
                if (!is_word(&t, "NULL")) return refuse(why, size, "no NULL after ON", NULL);
                next(lx, &t);
            }
        } else if (is_word(&t, "ALWAYS")) {
            next(lx, &t);
        } else {
            return refuse(why, size, "no ALWAYS or BY DEFAULT after GENERATED", NULL);
        }
        if (!is_word(&t, "AS")) return refuse(why, size, "no AS IDENTITY", NULL);
        next(lx, &t);
        if (!is_word(&t, "IDENTITY")) return refuse(why, size, "no AS IDENTITY", NULL);
        next(lx, &t);
        if (is_punct(&t, '(')) { /* the options: words and numbers */
            do {
                next(lx, &t);
                if (t.type != T_WORD && t.type != T_NUMBER && !is_punct(&t, '-') && !is_punct(&t, ')'))
                    return refuse(why, size, "more than identity options", NULL);
            } while (!is_punct(&t, ')'));
            next(lx, &t);
        }
        return closed_at_end(lx, &t, why, size);
    }
    in->kind = "constraint";
    if (is_word(&t, "CONSTRAINT")) {
        next(lx, &t);
        if (!is_ident(&t)) return refuse(why, size, "no constraint name", NULL);
        set_name(in->object, t.text);
        next(lx, &t);
    } else {
        in->object[0] = '\0';
    }
    if (!is_word(&t, "NOT")) return refuse(why, size, "a change of a column other than NOT NULL", NULL);
    next(lx, &t);
    if (!is_word(&t, "NULL")) return refuse(why, size, "no NULL after NOT", NULL);
    /* the states, then the end of the column's clause */
    LEXER end = *lx;
    const char *first = end.sl.text + end.sl.pos;
    const char *last = end.sl.text + end.sl.len;
    while (last > first && (last[-1] == ' ' || last[-1] == '\t' || last[-1] == '\n' || last[-1] == '\r'))
        last--;
    if (last == first || last[-1] != ')') return refuse(why, size, "no ')' at the end", NULL);
    end.sl.len = (uint32_t)(last - 1 - end.sl.text);
    next(&end, &t);
    return states_to_end(&end, &t, why, size);
}

/* COMMENT ON TABLE [schema.]table IS '...'
 * COMMENT ON COLUMN [schema.]table.column IS '...'
 * In a section, on its table; in the deferred list, on any object of the
 * target schema (a view's comments), which the importer qualifies. */
static const char *match_comment(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                 size_t size)
{
    TOKEN t, names[3];
    next(lx, &t);
    if (!is_word(&t, "ON")) return "";
    next(lx, &t);
    int column = is_word(&t, "COLUMN");
    if (!column && !is_word(&t, "TABLE")) return "";
    in->kind = "comment";
    int n = 0;
    for (;;) {
        next(lx, &names[n]);
        if (!is_ident(&names[n])) return refuse(why, size, "no name after COMMENT ON", NULL);
        n++;
        next(lx, &t);
        if (!is_punct(&t, '.')) break;
        if (n == 3) return refuse(why, size, "a name of more than three parts", NULL);
    }
    int parts = column ? 2 : 1;
    if (n != parts && n != parts + 1) return refuse(why, size, "no table name", NULL);
    if (n == parts + 1 && !same_name(&names[0], sc->schema))
        return refuse(why, size, "names schema \"%s\"", names[0].text);
    const TOKEN *table = &names[n - parts];
    if (n == parts) in->qualify_at = table->at;
    set_name(in->object, table->text);
    set_name(in->acts_on, table->text);
    if (sc->table || dump_table(sc, table->text)) {
        const char *r = check_table(sc, table, in, why, size);
        if (r) return r;
    }
    if (!is_word(&t, "IS")) return refuse(why, size, "no IS after the name", NULL);
    next(lx, &t);
    if (t.type != T_STRING) return refuse(why, size, "no text after IS", NULL);
    next(lx, &t);
    return t.type == T_END ? NULL : refuse(why, size, "more after the comment text", NULL);
}

/* CREATE [OR REPLACE] [[NO] FORCE] [EDITIONABLE|NONEDITIONABLE|EDITIONING]
 * then the kind's word in *t. */
static void create_head(LEXER *lx, TOKEN *t)
{
    next(lx, t);
    if (is_word(t, "OR")) {
        next(lx, t);
        if (!is_word(t, "REPLACE")) return;
        next(lx, t);
    }
    if (is_word(t, "NO")) {
        next(lx, t);
        if (!is_word(t, "FORCE")) return;
        next(lx, t);
    } else if (is_word(t, "FORCE")) {
        next(lx, t);
    }
    if (is_word(t, "EDITIONABLE") || is_word(t, "NONEDITIONABLE") || is_word(t, "EDITIONING"))
        next(lx, t);
}

/* The name of an object created in the target schema. */
static const char *created_name(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                size_t size)
{
    TOKEN t;
    const char *r = qualified_name(sc, lx, &t, 0, NULL, why, size);
    if (r) return r;
    set_name(in->object, t.text);
    return NULL;
}

/* CREATE SEQUENCE [schema.]name options */
static const char *match_create_sequence(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                         size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (!is_word(&t, "SEQUENCE")) return "";
    in->kind = "sequence";
    return created_name(sc, lx, in, why, size);
}

/* CREATE DIMENSION [schema.]name clauses, as DBMS_METADATA writes them:
 * no query and one statement; every column [schema.]table.column, a
 * schema the target's. */
static const char *match_create_dimension(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                          size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (!is_word(&t, "DIMENSION")) return "";
    in->kind = "dimension";
    const char *r = created_name(sc, lx, in, why, size);
    if (r) return r;
    TOKEN first;  /* the first part of the name being read */
    memset(&first, 0, sizeof(first));
    int parts = 0, after_dot = 0;
    for (;;) {
        next(lx, &t);
        int chained = is_ident(&t) && after_dot;
        if (!chained && !(is_punct(&t, '.') && parts > 0 && !after_dot)) {
            /* the name before this token is complete */
            if (parts == 3 && !same_name(&first, sc->schema))
                return refuse(why, size, "names schema \"%s\"", first.text);
            if (parts > 3) return refuse(why, size, "a name of more than three parts", NULL);
            parts = 0;
        }
        if (t.type == T_END) return NULL;
        if (t.type == T_BAD) return refuse(why, size, "%s", lx->bad);
        if (is_word(&t, "SELECT")) return refuse(why, size, "a query inside the statement", NULL);
        if (is_punct(&t, ';')) return refuse(why, size, "more than one statement", NULL);
        if (chained) {
            parts++;
            after_dot = 0;
        } else if (is_punct(&t, '.') && parts > 0 && !after_dot) {
            after_dot = 1;
        } else if (is_ident(&t)) {
            first = t;
            parts = 1;
            after_dot = 0;
        } else {
            after_dot = 0;
        }
    }
}

/* CREATE [OR REPLACE] [FORCE] [EDITIONABLE] VIEW [schema.]name [(columns)]
 * [clauses] AS query */
static const char *match_create_view(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                     size_t size)
{
    TOKEN t;
    create_head(lx, &t);
    if (!is_word(&t, "VIEW")) return "";
    in->kind = "view";
    const char *r = created_name(sc, lx, in, why, size);
    if (r) return r;
    int depth = 0;
    for (;;) {
        next(lx, &t);
        if (t.type == T_END) return refuse(why, size, "no AS in the view", NULL);
        if (t.type == T_BAD) return refuse(why, size, "%s", lx->bad);
        if (is_punct(&t, '(')) depth++;
        if (is_punct(&t, ')')) depth--;
        if (depth == 0 && is_word(&t, "AS")) return NULL;
    }
}

/* CREATE [OR REPLACE] [EDITIONABLE] SYNONYM [schema.]name FOR [schema.]object:
 * private synonyms only, of any schema's object, without a database link. */
static const char *match_create_synonym(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                        size_t size)
{
    TOKEN t;
    create_head(lx, &t);
    if (is_word(&t, "PUBLIC")) {
        next(lx, &t);
        if (is_word(&t, "SYNONYM")) return refuse(why, size, "a public synonym", NULL);
        return "";
    }
    if (!is_word(&t, "SYNONYM")) return "";
    in->kind = "synonym";
    const char *r = created_name(sc, lx, in, why, size);
    if (r) return r;
    next(lx, &t);
    if (!is_word(&t, "FOR")) return refuse(why, size, "no FOR in the synonym", NULL);
    if ((r = qualified_name(sc, lx, &t, 1, NULL, why, size)) != NULL) return r;
    next(lx, &t);
    return t.type == T_END ? NULL : refuse(why, size, "more after the synonym's object", NULL);
}

/* CREATE [OR REPLACE] [EDITIONABLE] PROCEDURE|FUNCTION|PACKAGE [BODY]|
 * TYPE [BODY]|TRIGGER [schema.]name source. A trigger must be on a table
 * or view of the target schema (its name is qualified by the importer),
 * never on the database or a schema. */
static const char *match_create_code(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                     size_t size)
{
    static const char *const kinds[][2] = {{"PROCEDURE", "procedure"}, {"FUNCTION", "function"},
                                           {"PACKAGE", "package"},     {"TYPE", "type"},
                                           {"TRIGGER", "trigger"}};
    TOKEN t;
    create_head(lx, &t);
    in->kind = NULL;
    for (size_t k = 0; k < sizeof(kinds) / sizeof(kinds[0]); k++)
        if (is_word(&t, kinds[k][0])) in->kind = kinds[k][1];
    if (!in->kind) return "";
    LEXER save = *lx;
    next(lx, &t);
    if (is_word(&t, "BODY") && (strcmp(in->kind, "package") == 0 || strcmp(in->kind, "type") == 0))
        in->kind = in->kind[0] == 'p' ? "package body" : "type body";
    else
        *lx = save;
    const char *r = created_name(sc, lx, in, why, size);
    if (r) return r;
    if (strcmp(in->kind, "trigger") == 0) {
        for (;;) {
            next(lx, &t);
            if (t.type == T_END || t.type == T_BAD) return refuse(why, size, "no ON in the trigger", NULL);
            if (is_word(&t, "ON")) break;
        }
        save = *lx;
        next(lx, &t);
        if (is_word(&t, "DATABASE") || is_word(&t, "SCHEMA") || is_word(&t, "NESTED"))
            return refuse(why, size, "a trigger on %s", t.text);
        *lx = save;
        int bare = 0;
        if ((r = qualified_name(sc, lx, &t, 0, &bare, why, size)) != NULL) return r;
        if (is_word(&t, "SCHEMA") || is_word(&t, "DATABASE"))
            return refuse(why, size, "a trigger on %s", t.text);
        if (bare) in->qualify_at = t.at;
        set_name(in->acts_on, t.text);
    }
    return NULL;
}

/* ALTER TRIGGER [schema.]name ENABLE|DISABLE */
static const char *match_alter_trigger(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                       size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (!is_word(&t, "TRIGGER")) return "";
    in->kind = "trigger";
    const char *r = created_name(sc, lx, in, why, size);
    if (r) return r;
    next(lx, &t);
    if (!is_word(&t, "ENABLE") && !is_word(&t, "DISABLE"))
        return refuse(why, size, "no ENABLE or DISABLE after the trigger", NULL);
    next(lx, &t);
    return t.type == T_END ? NULL : refuse(why, size, "more after ENABLE or DISABLE", NULL);
}

/* GRANT privilege [(columns)] ON [schema.]object TO grantee
 * [WITH GRANT OPTION | WITH HIERARCHY OPTION]: object privileges only, on
 * an object of the target schema (qualified by the importer), to one user
 * or PUBLIC. */
static const char *match_grant(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                               size_t size)
{
    static const char *const privs[][2] = {
        {"SELECT", NULL}, {"INSERT", NULL}, {"UPDATE", NULL},     {"DELETE", NULL},
        {"ALTER", NULL},  {"INDEX", NULL},  {"REFERENCES", NULL}, {"EXECUTE", NULL},
        {"READ", NULL},   {"WRITE", NULL},  {"DEBUG", NULL},      {"FLASHBACK", NULL},
        {"UNDER", NULL},  {"QUERY", "REWRITE"}, {"MERGE", "VIEW"}, {"ON", "COMMIT"},
        {"KEEP", "SEQUENCE"}};
    TOKEN t;
    in->kind = "grant";
    next(lx, &t);
    size_t k = 0, n = sizeof(privs) / sizeof(privs[0]);
    while (k < n && !is_word(&t, privs[k][0])) k++;
    if (k == n) return refuse(why, size, "a grant of other than an object privilege", NULL);
    if (privs[k][1]) {
        next(lx, &t);
        if (!is_word(&t, privs[k][1])) return refuse(why, size, "a grant of other than an object privilege", NULL);
        if (strcmp(privs[k][1], "COMMIT") == 0) {
            next(lx, &t);
            if (!is_word(&t, "REFRESH")) return refuse(why, size, "a grant of other than an object privilege", NULL);
        }
    }
    LEXER save = *lx;
    next(lx, &t);
    if (is_punct(&t, '(')) {
        *lx = save;
        const char *r = name_list(lx, why, size);
        if (r) return r;
        next(lx, &t);
    }
    if (!is_word(&t, "ON")) return refuse(why, size, "a grant of one privilege on an object", NULL);
    int bare = 0;
    const char *r = qualified_name(sc, lx, &t, 0, &bare, why, size);
    if (r) return r;
    set_name(in->object, t.text);
    set_name(in->acts_on, t.text);
    if (bare) in->qualify_at = t.at;
    if (dump_table(sc, t.text)) set_name(in->table, t.text);
    next(lx, &t);
    if (!is_word(&t, "TO")) return refuse(why, size, "no TO after the object of a grant", NULL);
    next(lx, &t);
    if (!is_ident(&t)) return refuse(why, size, "no grantee", NULL);
    set_name(in->grantee, t.text);
    next(lx, &t);
    if (is_word(&t, "WITH")) {
        next(lx, &t);
        if (!is_word(&t, "GRANT") && !is_word(&t, "HIERARCHY"))
            return refuse(why, size, "no GRANT or HIERARCHY after WITH", NULL);
        next(lx, &t);
        if (!is_word(&t, "OPTION")) return refuse(why, size, "no OPTION after WITH", NULL);
        next(lx, &t);
    }
    return t.type == T_END ? NULL : refuse(why, size, "more after the grantee of a grant", NULL);
}

/* CREATE MATERIALIZED VIEW [schema.]name [(columns)] [clauses] AS query:
 * as a view, its query read as a view's is. */
static const char *match_create_mview(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                      size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (!is_word(&t, "MATERIALIZED")) return "";
    next(lx, &t);
    if (!is_word(&t, "VIEW")) return "";
    LEXER save = *lx;
    next(lx, &t);
    if (is_word(&t, "LOG")) return "";
    *lx = save;
    in->kind = "materialized view";
    const char *r = created_name(sc, lx, in, why, size);
    if (r) return r;
    int depth = 0;
    for (;;) {
        next(lx, &t);
        if (t.type == T_END) return refuse(why, size, "no AS in the materialized view", NULL);
        if (t.type == T_BAD) return refuse(why, size, "%s", lx->bad);
        if (is_punct(&t, '(')) depth++;
        if (is_punct(&t, ')')) depth--;
        if (depth == 0 && is_word(&t, "AS")) break;
    }
    /* the query: one statement, and no database link, which would read
     * another database */
    lx->loose = 1;
    for (;;) {
        next(lx, &t);
        if (t.type == T_END) return NULL;
        if (t.type == T_BAD) return refuse(why, size, "%s", lx->bad);
        if (is_punct(&t, ';')) return refuse(why, size, "more than one statement", NULL);
        if (is_punct(&t, '@')) return refuse(why, size, "a database link", NULL);
    }
}

/* CREATE MATERIALIZED VIEW LOG ON [schema.]table [clauses]: a log on a
 * table of the dump. */
static const char *match_create_mview_log(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why,
                                          size_t size)
{
    TOKEN t;
    next(lx, &t);
    if (!is_word(&t, "MATERIALIZED")) return "";
    next(lx, &t);
    if (!is_word(&t, "VIEW")) return "";
    next(lx, &t);
    if (!is_word(&t, "LOG")) return "";
    next(lx, &t);
    if (!is_word(&t, "ON")) return refuse(why, size, "no table for the log", NULL);
    in->kind = "materialized view log";
    const char *r = qualified_name(sc, lx, &t, 0, NULL, why, size);
    if (r) return r;
    if (!dump_table(sc, t.text)) return refuse(why, size, "a log on \"%s\", not a table of the dump", t.text);
    set_name(in->object, t.text);
    set_name(in->table, t.text);
    return NULL;
}

/* BEGIN DBMS_MVIEW.REFRESH('name'); END; with the name of one
 * materialized view of the target schema, written bare or quoted. */
static const char *match_refresh(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why, size_t size)
{
    (void)sc;
    static const char *const shape[] = {"DBMS_MVIEW", ".", "REFRESH", "(", "'", ")", ";", "END", ";"};
    lx->loose = 1;
    TOKEN t;
    for (size_t k = 0; k < sizeof(shape) / sizeof(shape[0]); k++) {
        next(lx, &t);
        const char *w = shape[k];
        int ok = w[0] == '\'' ? t.type == T_STRING && !t.cut
                 : w[1] == '\0' && !(w[0] >= 'A' && w[0] <= 'Z') ? is_punct(&t, w[0])
                                                                 : is_word(&t, w);
        if (!ok) return k == 0 ? "" : refuse(why, size, "a block other than a refresh", NULL);
        if (w[0] == '\'') {
            /* one name: "NAME" or NAME, no schema, no list */
            const char *v = t.text;
            size_t n = strlen(v);
            int quoted_name = n >= 2 && v[0] == '"' && v[n - 1] == '"';
            const char *b = quoted_name ? v + 1 : v, *e = quoted_name ? v + n - 1 : v + n;
            if (b == e) return refuse(why, size, "a refresh of no view", NULL);
            for (const char *p = b; p < e; p++)
                if (*p == '"' || (!quoted_name && (*p == '.' || *p == ',' || *p == ' ')) || (unsigned char)*p < 0x20)
                    return refuse(why, size, "a refresh of another schema's or of several views", NULL);
            in->kind = "materialized view refresh";
            size_t len = (size_t)(e - b) < STMT_NAME_MAX ? (size_t)(e - b) : STMT_NAME_MAX;
            memcpy(in->object, b, len);
            in->object[len] = '\0';
        }
    }
    next(lx, &t);
    return t.type == T_END ? NULL : refuse(why, size, "a block other than a refresh", NULL);
}

/* The kinds an export writes: the first word, where the kind may stand,
 * how much the whole-text rules check, and the rest of its head. A matcher
 * returns NULL (allowed), "" (not this kind) or the reason it refuses, and
 * leaves the lexer after the head. New kinds are new entries. */
typedef struct {
    const char *first;
    int where;
    int scan;
    const char *(*match)(const STMT_SCOPE *sc, LEXER *lx, STMT_INFO *in, char *why, size_t size);
} STMT_KIND;

#define SECTION_OR_DEFERRED (STMT_AT_SECTION | STMT_AT_DEFERRED)

static const STMT_KIND g_kinds[] = {
    {"CREATE", STMT_AT_CREATE, SCAN_STRICT, match_create_table},
    {"CREATE", SECTION_OR_DEFERRED, SCAN_STRICT, match_create_index},
    {"ALTER", SECTION_OR_DEFERRED, SCAN_STRICT, match_add_key},
    {"ALTER", SECTION_OR_DEFERRED, SCAN_STRICT, match_modify},
    {"COMMENT", SECTION_OR_DEFERRED, SCAN_TOKENS, match_comment},
    {"ALTER", STMT_AT_DEFERRED, SCAN_TOKENS, match_add_foreign_key},
    {"CREATE", STMT_AT_DEFERRED, SCAN_STRICT, match_create_sequence},
    {"CREATE", STMT_AT_DEFERRED, SCAN_QUERY, match_create_view},
    {"CREATE", STMT_AT_DEFERRED, SCAN_TOKENS, match_create_synonym},
    {"CREATE", STMT_AT_DEFERRED, SCAN_TOKENS, match_create_dimension},
    {"CREATE", STMT_AT_DEFERRED, SCAN_CODE, match_create_code},
    {"ALTER", STMT_AT_DEFERRED, SCAN_TOKENS, match_alter_trigger},
    {"GRANT", STMT_AT_DEFERRED, SCAN_TOKENS, match_grant},
    {"CREATE", STMT_AT_DEFERRED, SCAN_QUERY, match_create_mview},
    {"CREATE", STMT_AT_DEFERRED, SCAN_STRICT, match_create_mview_log},
    {"BEGIN", STMT_AT_DEFERRED, SCAN_CODE, match_refresh},
};

const char *stmt_check(const STMT_SCOPE *sc, const char *text, uint32_t len, STMT_INFO *info,
                       char *why, size_t size)
{
    STMT_INFO local;
    STMT_INFO *in = info ? info : &local;
    if (text && memchr(text, '\0', len) != NULL) {
        if (info) memset(info, 0, sizeof(*info));
        return refuse(why, size, "a NUL byte in the statement", NULL);
    }
    for (size_t k = 0; k < sizeof(g_kinds) / sizeof(g_kinds[0]); k++) {
        const STMT_KIND *kind = &g_kinds[k];
        if (!(kind->where & sc->where)) continue;
        LEXER lx;
        lexer_start(&lx, text, len);
        TOKEN t;
        next(&lx, &t);
        if (!is_word(&t, kind->first)) continue;
        memset(in, 0, sizeof(*in));
        const char *r = kind->match(sc, &lx, in, why, size);
        if (r && r[0] == '\0') continue;
        /* A malformed text is refused for that first, whatever its head. */
        if (kind->scan == SCAN_STRICT || kind->scan == SCAN_TOKENS) {
            const char *bad = scan_all(sc, text, len, kind->scan == SCAN_STRICT, why, size);
            if (bad) return bad;
        }
        if (r) return r;
        if (kind->scan == SCAN_QUERY) return scan_query(&lx, why, size);
        if (kind->scan == SCAN_CODE) return scan_code(&lx, why, size);
        return NULL;
    }
    const char *bad = scan_all(sc, text, len, 1, why, size);
    if (bad) return bad;
    LEXER lx;
    lexer_start(&lx, text, len);
    TOKEN t;
    next(&lx, &t);
    return refuse(why, size, "statement of a kind an export does not write (%s)",
                  t.type == T_WORD ? t.text : "?");
}

const char *stmt_refusal(const STMT_SCOPE *sc, const char *text, uint32_t len, char *why,
                         size_t size)
{
    return stmt_check(sc, text, len, NULL, why, size);
}
