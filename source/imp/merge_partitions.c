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
#include "outcome.h"

/* A cursor over the statement text: quoted names and literals are stepped
 * over whole, so that nothing inside them is taken for a keyword. */
typedef struct {
    const char *s;
    int len;
    int pos;
} SCAN;

static int word_char(char c)
{
    return isalnum((unsigned char)c) || c == '_' || c == '$' || c == '#';
}

/* Moves to the next token; returns its start, or -1 at the end. *wlen is
 * the length of a word (0 for anything else). */
static int next_token(SCAN *sc, int *wlen)
{
    const char *s = sc->s;
    while (sc->pos < sc->len && isspace((unsigned char)s[sc->pos])) sc->pos++;
    if (sc->pos >= sc->len) return -1;
    int start = sc->pos;
    *wlen = 0;
    char c = s[sc->pos];
    if (c == '"' || c == '\'') {
        sc->pos++;
        while (sc->pos < sc->len) {
            if (s[sc->pos] == c) {
                if (sc->pos + 1 < sc->len && s[sc->pos + 1] == c) {
                    sc->pos += 2;
                    continue;
                }
                break;
            }
            sc->pos++;
        }
        if (sc->pos < sc->len) sc->pos++;
        return start;
    }
    if (word_char(c)) {
        while (sc->pos < sc->len && word_char(s[sc->pos])) sc->pos++;
        *wlen = sc->pos - start;
        return start;
    }
    sc->pos++;
    return start;
}

static int is_kw(const SCAN *sc, int at, int wlen, const char *kw)
{
    int n = (int)strlen(kw);
    if (wlen != n) return 0;
    for (int i = 0; i < n; i++)
        if (toupper((unsigned char)sc->s[at + i]) != kw[i]) return 0;
    return 1;
}

/* After a '(' at depth 0: steps to just past its matching ')'. */
static void skip_group(SCAN *sc)
{
    int depth = 1, w;
    while (depth > 0) {
        int at = next_token(sc, &w);
        if (at < 0) return;
        if (w == 0 && sc->s[at] == '(') depth++;
        if (w == 0 && sc->s[at] == ')') depth--;
    }
}

/* Whether the group opened just before the cursor starts with PARTITION. */
static int group_is_partition_list(const SCAN *sc)
{
    SCAN peek = *sc;
    int w;
    int at = next_token(&peek, &w);
    return at >= 0 && is_kw(&peek, at, w, "PARTITION");
}

/* The end of a partitioning clause that starts at the cursor (after
 * PARTITION BY, or after LOCAL when `local`): past the partition list, or
 * past PARTITIONS n [STORE IN (...)]. */
static int clause_end(SCAN *sc, int local)
{
    int w;
    for (;;) {
        int save = sc->pos;
        int at = next_token(sc, &w);
        if (at < 0) return sc->len;
        if (w == 0 && sc->s[at] == '(') {
            int list = group_is_partition_list(sc);
            skip_group(sc);
            if (list) return sc->pos;
            if (local) {
                sc->pos = save;
                return save;
            }
            continue;
        }
        if (local) {
            sc->pos = save;
            return save;
        }
        if (is_kw(sc, at, w, "PARTITIONS")) {
            next_token(sc, &w); /* the count */
            save = sc->pos;
            at = next_token(sc, &w);
            if (at >= 0 && is_kw(sc, at, w, "STORE")) {
                next_token(sc, &w); /* IN */
                at = next_token(sc, &w);
                if (at >= 0 && sc->s[at] == '(') skip_group(sc);
                return sc->pos;
            }
            sc->pos = save;
            return save;
        }
    }
}

int drop_partitioning(const char *txt, int len, char **out, int *outlen)
{
    SCAN sc = {txt, len, 0};
    int depth = 0, w, start = -1, end = -1;
    for (;;) {
        int at = next_token(&sc, &w);
        if (at < 0) break;
        if (w == 0 && txt[at] == '(') depth++;
        if (w == 0 && txt[at] == ')') depth--;
        if (depth != 0 || w == 0) continue;
        SCAN peek = sc;
        int w1, w2;
        int a1 = next_token(&peek, &w1);
        if (is_kw(&sc, at, w, "PARTITION") && a1 >= 0 && is_kw(&peek, a1, w1, "BY")) {
            sc.pos = peek.pos;
            start = at;
            end = clause_end(&sc, 0);
            break;
        }
        if (is_kw(&sc, at, w, "GLOBAL") && a1 >= 0 && is_kw(&peek, a1, w1, "PARTITION")) {
            int a2 = next_token(&peek, &w2);
            if (a2 >= 0 && is_kw(&peek, a2, w2, "BY")) {
                sc.pos = peek.pos;
                start = at;
                end = clause_end(&sc, 0);
                break;
            }
        }
        if (is_kw(&sc, at, w, "LOCAL")) {
            start = at;
            end = clause_end(&sc, 1);
            break;
        }
    }
    if (start < 0) return 0;
    size_t n = (size_t)start + (size_t)(len - end) + 1;
    char *buf = malloc(n + 1);
    if (!buf) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", n + 1);
        return -1;
    }
    memcpy(buf, txt, (size_t)start);
    size_t k = (size_t)start;
    /* One separation between what stays: the blanks before the clause. */
    while (end < len && isspace((unsigned char)txt[end])) end++;
    if (end < len) {
        if (k > 0 && !isspace((unsigned char)buf[k - 1])) buf[k++] = ' ';
        memcpy(buf + k, txt + end, (size_t)(len - end));
        k += (size_t)(len - end);
    }
    buf[k] = '\0';
    *out = buf;
    *outlen = (int)k;
    return 1;
}

