/*
 * merge_partitions.c - PARTITION_OPTIONS=MERGE: a CREATE TABLE or CREATE
 * INDEX text of the dump without its partitioning, so that a partitioned
 * table arrives as one table in a target that cannot or should not
 * partition it; everything else in the text is kept as written.
 */
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "imp_local.h"
#include "sql_lexer.h"
#include "verify_section.h"

/* A cursor over the statement's tokens, read by the lexer that checks
 * every statement of a dump, so that the clause is found exactly where the
 * check saw it: literals of every quoting form and quoted names are single
 * tokens, and comments are stepped over. */
typedef struct {
    SQL_LEXER lx;
    SQL_TOKEN t; /* the token just read */
} SCAN;

/* Reads the next token that is not a comment; 0 at the end (or at a token
 * the lexer could not read, which ends the text as well: see bad). */
static int next(SCAN *sc)
{
    do sql_lex_next(&sc->lx, &sc->t);
    while (sc->t.kind == SQLT_COMMENT);
    return sc->t.kind != SQLT_END && sc->t.kind != SQLT_BAD;
}

static int is_kw(const SCAN *sc, const char *kw)
{
    size_t n = strlen(kw);
    if (sc->t.kind != SQLT_WORD || sc->t.len != n) return 0;
    for (size_t i = 0; i < n; i++)
        if (toupper((unsigned char)sc->lx.text[sc->t.at + i]) != kw[i]) return 0;
    return 1;
}

static int is_p(const SCAN *sc, const char *p)
{
    return sql_token_is(&sc->lx, &sc->t, p);
}

/* Whether the next token is keyword kw (the cursor stays). */
static int next_is_kw(const SCAN *sc, const char *kw)
{
    SCAN peek = *sc;
    return next(&peek) && is_kw(&peek, kw);
}

/* After a '(': steps past its matching ')'. */
static void skip_group(SCAN *sc)
{
    int depth = 1;
    while (depth > 0 && next(sc)) {
        if (is_p(sc, "(")) depth++;
        if (is_p(sc, ")")) depth--;
    }
}

/* Where the text goes on after the token just read. */
static uint32_t after(const SCAN *sc)
{
    return sc->t.at + sc->t.len;
}

/* The end of a partitioning clause whose last token read is PARTITION BY's
 * BY (or LOCAL when `local`): past the partition list, or past PARTITIONS n
 * [STORE IN (...)]; a LOCAL index without a list ends at LOCAL. */
static uint32_t clause_end(SCAN *sc, int local)
{
    uint32_t end = after(sc);
    for (;;) {
        SCAN save = *sc;
        if (!next(sc)) return sc->t.kind == SQLT_END ? sc->lx.len : end;
        if (is_p(sc, "(")) {
            int list = next_is_kw(sc, "PARTITION");
            skip_group(sc);
            end = after(sc);
            if (list) return end;
            if (local) {
                *sc = save;
                return after(&save);
            }
            continue;
        }
        if (local) return after(&save);
        end = after(sc);
        if (is_kw(sc, "PARTITIONS")) {
            if (!next(sc)) return end; /* the count */
            end = after(sc);
            if (!next_is_kw(sc, "STORE")) return end;
            next(sc);
            next(sc); /* IN */
            if (next(sc) && is_p(sc, "(")) skip_group(sc);
            return after(sc);
        }
    }
}

int drop_partitioning(const char *txt, int len, char **out, int *outlen)
{
    SCAN sc;
    sql_lexer_init(&sc.lx, txt, (uint32_t)len, 0);
    int depth = 0;
    int64_t start = -1;
    uint32_t end = 0;
    while (start < 0 && next(&sc)) {
        if (is_p(&sc, "(")) depth++;
        if (is_p(&sc, ")")) depth--;
        if (depth != 0 || sc.t.kind != SQLT_WORD) continue;
        uint32_t at = sc.t.at;
        if (is_kw(&sc, "PARTITION") && next_is_kw(&sc, "BY")) {
            next(&sc);
            start = at;
            end = clause_end(&sc, 0);
        } else if (is_kw(&sc, "GLOBAL") && next_is_kw(&sc, "PARTITION")) {
            SCAN peek = sc;
            next(&peek);
            if (next_is_kw(&peek, "BY")) {
                next(&peek);
                sc = peek;
                start = at;
                end = clause_end(&sc, 0);
            }
        } else if (is_kw(&sc, "LOCAL")) {
            start = at;
            end = clause_end(&sc, 1);
        }
    }
    /* The rewritten text is checked again before it runs, like the
     * statement itself (a text the lexer cannot read whole is refused
     * there). */
    if (start < 0) return 0;
    if (end > (uint32_t)len) end = (uint32_t)len;
    size_t n = (size_t)start + ((size_t)len - end) + 1;
    char *buf = malloc(n + 1);
    if (!buf) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", n + 1);
        return -1;
    }
    memcpy(buf, txt, (size_t)start);
    size_t k = (size_t)start;
    /* One separation between what stays: the blanks before the clause. */
    while (end < (uint32_t)len && isspace((unsigned char)txt[end])) end++;
    if (end < (uint32_t)len) {
        if (k > 0 && !isspace((unsigned char)buf[k - 1])) buf[k++] = ' ';
        memcpy(buf + k, txt + end, (size_t)len - end);
        k += (size_t)len - end;
    }
    buf[k] = '\0';
    *out = buf;
    *outlen = (int)k;
    return 1;
}

int merge_partitions(IMP_WORKER *w, int where, const char **text, int *len, char **merged,
                     STMT_INFO *in)
{
    int mlen = 0;
    *merged = NULL;
    int rc = drop_partitioning(*text, *len, merged, &mlen);
    if (rc <= 0) return rc;
    /* What runs is the rewritten text: it passes the same check as the
     * statement it came from, or the run ends. */
    if (check_import_info(w->run, w->table, where, *merged, mlen, in) < 0) {
        free(*merged);
        *merged = NULL;
        return -1;
    }
    *text = *merged;
    *len = mlen;
    return 1;
}
