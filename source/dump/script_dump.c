/*
 * script_dump.c - tabdump --sql: every statement an import runs, in its
 * order (each table's CREATE TABLE, then its index and key statements,
 * then the deferred ones), each ended by ";" for tabsql (stored code by a
 * line holding "/"), after the settings that keep tabsql from changing
 * their text. A statement a line-based client would cut or misread is
 * left out and named.
 */
#include <assert.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "dump_fault.h"
#include "record_text.h"
#include "script_dump.h"
#include "show_text.h"
#include "sql_lexer.h"
#include "stmt_allow.h"

typedef struct {
    DUMP_READER *r;
    uint32_t i;
    const char *table;
    int left_out; /* statements a line-based client would not read as they are */
} SCRIPT_CTX;

/* What the script must know of a statement's head. */
enum { HEAD_OTHER, HEAD_VIEW, HEAD_CODE, HEAD_FORCED_CODE };

typedef struct {
    SQL_TOKEN *tok; /* the statement's tokens, comments included, to SQLT_END */
    size_t n;
} TOKENS;

static int lex_all(const char *text, uint32_t len, int plsql, TOKENS *out)
{
    SQL_LEXER lx;
    size_t cap = 64;
    out->n = 0;
    out->tok = malloc(cap * sizeof(*out->tok));
    if (!out->tok) return -1;
    sql_lexer_init(&lx, text, len, plsql);
    for (;;) {
        if (out->n == cap) {
            SQL_TOKEN *more = realloc(out->tok, 2 * cap * sizeof(*out->tok));
            if (!more) {
                free(out->tok);
                out->tok = NULL;
                return -1;
            }
            out->tok = more;
            cap *= 2;
        }
        SQL_TOKEN *t = &out->tok[out->n++];
        sql_lex_next(&lx, t);
        /* tokens lie inside the text, each after the one before: the
         * script's slices of the text (text + at, len bytes) rely on it */
        assert(t->at <= len && t->len <= len - t->at);
        assert(out->n == 1 || t->at >= out->tok[out->n - 2].at + out->tok[out->n - 2].len);
        if (t->kind == SQLT_END) return 0;
    }
}

static int word_is(const char *text, const SQL_TOKEN *t, const char *w)
{
    size_t n = strlen(w);
    return t->kind == SQLT_WORD && t->len == n && strncasecmp(text + t->at, w, n) == 0;
}

/* The index of the next token from i on that is not a comment. */
static size_t skip_comments(const TOKENS *ts, size_t i)
{
    while (i < ts->n && ts->tok[i].kind == SQLT_COMMENT) i++;
    return i < ts->n ? i : ts->n - 1;
}

/* An anonymous block, or CREATE [OR REPLACE] [NO] [FORCE]
 * [EDITIONABLE|NONEDITIONABLE|EDITIONING] then VIEW or a unit of stored code (read by a line-based client up to a
 * line holding "/"); *kind_at gets the index of the kind's word. */
static int head_kind(const char *text, const TOKENS *ts, size_t *kind_at)
{
    static const char *const code[] = {"PROCEDURE", "FUNCTION", "PACKAGE", "TRIGGER", "TYPE",
                                       "LIBRARY"};
    size_t i = skip_comments(ts, 0);
    int forced = 0;
    *kind_at = 0;
    /* an anonymous block (a materialized view's refresh) ends with "/" too */
    if (word_is(text, &ts->tok[i], "BEGIN") || word_is(text, &ts->tok[i], "DECLARE")) {
        *kind_at = i;
        return HEAD_CODE;
    }
    if (!word_is(text, &ts->tok[i], "CREATE")) return HEAD_OTHER;
    i = skip_comments(ts, i + 1);
    if (word_is(text, &ts->tok[i], "OR")) i = skip_comments(ts, skip_comments(ts, i + 1) + 1);
    if (word_is(text, &ts->tok[i], "NO")) i = skip_comments(ts, i + 1);
    if (word_is(text, &ts->tok[i], "FORCE")) forced = 1, i = skip_comments(ts, i + 1);
    if (word_is(text, &ts->tok[i], "EDITIONABLE") || word_is(text, &ts->tok[i], "NONEDITIONABLE") ||
        word_is(text, &ts->tok[i], "EDITIONING"))
        i = skip_comments(ts, i + 1);
    *kind_at = i;
    if (word_is(text, &ts->tok[i], "VIEW")) return HEAD_VIEW;
    for (size_t k = 0; k < sizeof(code) / sizeof(code[0]); k++)
        if (word_is(text, &ts->tok[i], code[k])) return forced ? HEAD_FORCED_CODE : HEAD_CODE;
    return HEAD_OTHER;
}

/* Commands of line-based SQL clients (with the abbreviations they take)
 * that a line starting with them would run instead of carrying it. */
static int client_command(const char *line, const char *end)
{
    static const char *const words[] = {
        "SPOOL", "SPO", "PROMPT", "PRO", "HOST", "HO", "START", "STA", "CONNECT", "CONN",
        "DEFINE", "DEF", "SET", "EXIT", "EXI", "QUIT", "QUI", "RUN", "EDIT", "ED", "GET",
        "SAVE", "STORE", "DISCONNECT", "DISC", "PASSWORD", "ACCEPT", "ACC", "PAUSE", "REMARK",
        "REM", "VARIABLE", "VAR", "EXECUTE", "EXEC", "WHENEVER", "HELP", "PRINT", "SHOW",
        "UNDEFINE", "COLUMN", "TTITLE", "BTITLE", "CLEAR", "COPY", "DESCRIBE", "STARTUP",
        "SHUTDOWN", "RECOVER"};
    if (line < end && strchr("@!#$", *line) != NULL) return 1;
    const char *w = line;
    while (w < end && ((*w >= 'A' && *w <= 'Z') || (*w >= 'a' && *w <= 'z'))) w++;
    size_t n = (size_t)(w - line);
    if (n == 0) return 0;
    for (size_t k = 0; k < sizeof(words) / sizeof(words[0]); k++)
        if (strlen(words[k]) == n && strncasecmp(line, words[k], n) == 0) return 1;
    return 0;
}

/* Whether offset p lies inside a literal, a quoted name or a comment; *at
 * walks forward with p. */
static int inside_literal(const TOKENS *ts, size_t *at, uint32_t p)
{
    while (*at < ts->n && ts->tok[*at].at + ts->tok[*at].len <= p) (*at)++;
    if (*at >= ts->n) return 0;
    const SQL_TOKEN *t = &ts->tok[*at];
    int quoting = t->kind == SQLT_STRING || t->kind == SQLT_NSTRING || t->kind == SQLT_QNAME ||
                  t->kind == SQLT_COMMENT || t->kind == SQLT_BAD;
    return quoting && t->at < p && p < t->at + t->len;
}

/* Why a line-based client would cut the text or read part of it as
 * something else; NULL when it reads it whole. */
static const char *line_hazard(const char *text, uint32_t len, const TOKENS *ts, int kind)
{
    int code = kind == HEAD_CODE || kind == HEAD_FORCED_CODE;
    if (kind == HEAD_FORCED_CODE) return "stored code created with FORCE, which a client may not read as code";
    size_t at = 0, at_end = 0;
    for (uint32_t ls = 0; ls < len;) {
        const char *nl = memchr(text + ls, '\n', len - ls);
        uint32_t le = nl ? (uint32_t)(nl - text) : len;
        const char *b = text + ls, *e = text + le;
        while (b < e && (*b == ' ' || *b == '\t' || *b == '\r' || *b == '\f' || *b == '\v')) b++;
        while (e > b && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\r' || e[-1] == '\f' || e[-1] == '\v')) e--;
        if (e - b == 1 && (*b == '/' || *b == '.'))
            return *b == '/' ? "a line holding only \"/\", which ends a statement"
                             : "a line holding only \".\", which ends a statement";
        if (ls > 0 && code) {
            /* A unit is read whole up to its "/" line; only the prefix of
             * the client's own commands runs one in the middle of it. */
            if (b < e && *b == '#') return "a line starting with \"#\", which runs a client command";
        } else if (ls > 0) {
            int in = inside_literal(ts, &at, (uint32_t)(b - text));
            if ((in || kind == HEAD_VIEW) && client_command(b, e))
                return "a line starting with a client command";
            if (!code && e > b && e[-1] == ';' && inside_literal(ts, &at_end, (uint32_t)(e - 1 - text)))
                return "a line ending with \";\" inside a literal";
        }
        ls = le + 1;
    }
    return NULL;
}

/* The statement's first words, on one line, to name it in a comment. */
static void put_head(FILE *fp, const char *text, const TOKENS *ts)
{
    size_t shown = 0;
    for (size_t i = 0; i < ts->n && shown < 8; i++) {
        const SQL_TOKEN *t = &ts->tok[i];
        if (t->kind == SQLT_END || t->kind == SQLT_BAD) break;
        if (t->kind == SQLT_COMMENT) continue;
        if (t->kind == SQLT_STRING || t->kind == SQLT_NSTRING || (t->kind == SQLT_PUNCT && text[t->at] == '(')) break;
        if (word_is(text, t, "AS") || word_is(text, t, "IS")) break;
        const char *sh = show_n(text + t->at, t->len > 130 ? 130 : t->len);
        fputs(sh, fp);
        fputc(' ', fp);
        shown++;
    }
}

/* The name's token equals the dump's owner (a quoted name exactly, a word
 * in capitals). */
static int names_owner(const char *text, const SQL_TOKEN *t, const char *owner)
{
    size_t n = strlen(owner);
    if (t->kind == SQLT_WORD) return t->len == n && strncasecmp(text + t->at, owner, n) == 0;
    if (t->kind != SQLT_QNAME || t->len != n + 2) return 0;
    return memcmp(text + t->at + 1, owner, n) == 0 && memchr(owner, '"', n) == NULL;
}

/* Writes the text with every qualifier naming the dump's owner left out
 * (a view's or a unit's only in its head, up to AS or IS): the script
 * runs in the connected user's schema, as the import does. */
static void put_unqualified(const char *text, uint32_t len, const TOKENS *ts, int kind,
                            const char *owner)
{
    uint32_t from = 0;
    for (size_t i = 0; i + 2 < ts->n; i++) {
        const SQL_TOKEN *t = &ts->tok[i];
        if (kind != HEAD_OTHER && (word_is(text, t, "AS") || word_is(text, t, "IS") ||
                                   word_is(text, t, "BEGIN") || word_is(text, t, "DECLARE")))
            break;
        if (!names_owner(text, t, owner)) continue;
        size_t d = skip_comments(ts, i + 1), nm = skip_comments(ts, d + 1);
        const SQL_TOKEN *dot = &ts->tok[d], *name = &ts->tok[nm];
        if (ts->tok[d].len != 1 || text[dot->at] != '.' || dot->kind != SQLT_PUNCT) continue;
        if (name->kind != SQLT_WORD && name->kind != SQLT_QNAME) continue;
        fwrite(text + from, 1, t->at - from, stdout);
        from = name->at;
        i = nm;
    }
    fwrite(text + from, 1, len - from, stdout);
}

/* The statement for a line-based client: without the owner's qualifiers,
 * ended by ";" (stored code by a line holding "/"); or, when a client
 * would cut it or read a part of it as a command of its own, left out and
 * named in a comment and on standard error. */
static int put_statement(SCRIPT_CTX *c, const char *text, uint32_t len)
{
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\n' || text[len - 1] == '\t' ||
                       text[len - 1] == '\r'))
        len--;
    TOKENS ts;
    if (lex_all(text, len, 0, &ts) != 0) return -1;
    size_t kind_at;
    int kind = head_kind(text, &ts, &kind_at);
    if (kind == HEAD_CODE || kind == HEAD_FORCED_CODE) { /* code: its own symbols */
        free(ts.tok);
        if (lex_all(text, len, 1, &ts) != 0) return -1;
    }
    const char *why = line_hazard(text, len, &ts, kind);
    if (why) {
        fputs("-- Not written, ", stdout);
        fputs(why, stdout);
        fputs(": ", stdout);
        put_head(stdout, text, &ts);
        fputs("\n\n", stdout);
        fflush(stdout);
        fprintf(stderr, "%s: statement left out of the script, %s: ", show(g_dump_file), why);
        put_head(stderr, text, &ts);
        fputc('\n', stderr);
        c->left_out++;
        free(ts.tok);
        return 0;
    }
    int code = kind == HEAD_CODE;
    int ends_in_comment = 0;
    for (size_t i = ts.n; i-- > 0;)
        if (ts.tok[i].kind != SQLT_END) {
            ends_in_comment = ts.tok[i].kind == SQLT_COMMENT;
            break;
        }
    put_unqualified(text, len, &ts, kind, c->r->head.owner);
    fputs(code ? "\n/\n\n" : ends_in_comment ? "\n;\n\n" : ";\n\n", stdout);
    free(ts.tok);
    return 0;
}

static int script_ddl(void *ctx, const char *text, uint32_t len)
{
    SCRIPT_CTX *c = (SCRIPT_CTX *)ctx;
    if (check_statement(c->r, STMT_AT_CREATE, (int)c->i, c->table, text, len) != 0) return -1;
    return put_statement(c, text, len);
}

static int script_statement(void *ctx, const char *text, uint32_t len)
{
    SCRIPT_CTX *c = (SCRIPT_CTX *)ctx;
    if (check_statement(c->r, STMT_AT_SECTION, (int)c->i, c->table, text, len) != 0) return -1;
    return put_statement(c, text, len);
}

static int script_deferred(void *ctx, const char *text, uint32_t len)
{
    SCRIPT_CTX *c = (SCRIPT_CTX *)ctx;
    if (check_statement(c->r, STMT_AT_DEFERRED, -1, NULL, text, len) != 0) return -1;
    return put_statement(c, text, len);
}

static int script_record(void *ctx, const DUMP_OBJ_RECORD *rec)
{
    return record_as_statement(ctx, rec, script_deferred);
}

/* A warning as a comment line of the script, its control characters
 * escaped. */
static int script_warning(void *ctx, const char *text, uint32_t len)
{
    (*(int *)ctx)++;
    fputs("-- ", stdout);
    fputs(show_n(text, len), stdout);
    putchar('\n');
    return 0;
}

int script_dump(DUMP_READER *r)
{
    /* The statements are data: no "&" substitution, blank lines kept. */
    fputs("SET DEFINE OFF\nSET SQLBLANKLINES ON\n\n", stdout);
    /* what the export could not carry, said before anything runs */
    DUMP_VISIT warn = {NULL, NULL, script_warning, NULL};
    int nwarn = 0;
    if (dump_walk_warnings(r, &warn, &nwarn) != 0) return report_fault(r);
    if (nwarn > 0) putchar('\n');
    int left_out = 0;
    for (uint32_t i = 0; i < dump_table_count(r); i++) {
        TAB_INFO t;
        if (dump_entry(r, i, &t) != 0) return report_fault(r);
        SCRIPT_CTX c = {r, i, dump_table_name(r, i, &t), 0};
        DUMP_VISIT visit = {script_ddl, NULL, script_statement, NULL};
        int rc = dump_walk_section(r, i, &visit, &c, NULL);
        left_out += c.left_out;
        if (rc != 0) return report_fault(r);
    }
    SCRIPT_CTX c = {r, 0, NULL, 0};
    DUMP_VISIT visit = {NULL, NULL, script_deferred, script_record};
    if (dump_walk_deferred(r, &visit, &c) != 0) return report_fault(r);
    left_out += c.left_out;
    if (left_out > 0) {
        fprintf(stderr, "%s: %d statement%s left out of the script (named in its comments).\n",
                show(g_dump_file), left_out, left_out == 1 ? "" : "s");
        return TABDUMP_DAMAGED;
    }
    return TABDUMP_OK;
}
