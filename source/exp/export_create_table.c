/*
 * export_create_table.c - puts a table's CREATE TABLE statement, freed of
 * the owner's qualifier, at the start of the write cache; also the DDL
 * helpers (set-up blocks, GET_DDL queries, rewrites) the index and key use.
 */
#define _POSIX_C_SOURCE 200809L  /* pwrite, strnlen, open */
#include <stdio.h>
#include <string.h>

#include "exp_local.h"
#include "table_meta.h"

/* The DDL text is fetched into the cache from byte 2 on; this is its room,
 * terminating NUL included. */
#define DDL_FETCH_SIZE 65536
/* The rewritten text is assembled behind the fetch buffer, then moved to
 * its place. */
#define DDL_SCRATCH_OFS (2 + DDL_FETCH_SIZE + 2)

int run_transform_block(EXP_WORKER *w, const char *fmt)
{
    char sqltxt[1024];
    sword rc;

    snprintf(sqltxt, sizeof(sqltxt), fmt, (w->run->flag & EXP_STORAGE) ? "TRUE" : "FALSE");
    rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt,
                        (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    return execute_statement(w, 1);
}

int open_ddl_query(EXP_WORKER *w, const char *sqltxt, ub2 *alen)
{
    return open_table_ddl_query(w, sqltxt, alen, NULL);
}

/* As open_ddl_query, with the owner and the name of table tab (when not
 * NULL) bound to :1 and :2. */
int open_table_ddl_query(EXP_WORKER *w, const char *sqltxt, ub2 *alen, const EXP_TABLE *tab)
{
    OCIDefine *defnp = NULL;
    sword rc;

    rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt,
                        (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (tab && bind_owner_table(w, tab) != 0) return -1;
    rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, 1, w->cache + 2, DDL_FETCH_SIZE,
                        SQLT_STR, NULL, alen, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIDefineByPos()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (execute_statement(w, 0) != 0) return -1;
    return 0;
}

/* ---- the rewrite --------------------------------------------------------- */

/* A bounded text under construction in the scratch part of the cache. */
typedef struct {
    char *p;
    size_t len;
    size_t cap;
    int overflow;
} TEXT_OUT;

static void out_bytes(TEXT_OUT *o, const char *s, size_t n)
{
    if (o->overflow || n > o->cap - o->len) {
        o->overflow = 1;
        return;
    }
    memcpy(o->p + o->len, s, n);
    o->len += n;
}

static void out_str(TEXT_OUT *o, const char *s)
{
    out_bytes(o, s, strlen(s));
}

/* Appends s[0..n) leaving out every occurrence of the qualifier q. */
static void out_stripped(TEXT_OUT *o, const char *s, size_t n, const char *q, size_t qlen)
{
    const char *end = s + n;
    while (s < end) {
        const char *hit = NULL;
        if (qlen > 0) {
            for (const char *t = s; t + qlen <= end; t++) {
                if (*t == q[0] && memcmp(t, q, qlen) == 0) {
                    hit = t;
                    break;
                }
            }
        }
        if (!hit) {
            out_bytes(o, s, (size_t)(end - s));
            return;
        }
        out_bytes(o, s, (size_t)(hit - s));
        s = hit + qlen;
    }
}

/* Whether the word w stands in s[0..n) as a word of its own. */
static int has_word(const char *s, size_t n, const char *w)
{
    size_t l = strlen(w);
    for (size_t i = 0; i + l <= n; i++) {
        if (memcmp(s + i, w, l) != 0) continue;
        int before_ok = (i == 0) || s[i - 1] == ' ' || s[i - 1] == '\n' || s[i - 1] == '\t';
        int after_ok = (i + l == n) || s[i + l] == ' ' || s[i + l] == '\n' || s[i + l] == '\t';
        if (before_ok && after_ok) return 1;
    }
    return 0;
}

/* Skips a double-quoted identifier (with doubled quotes inside) at s, so
 * that text inside the name is never taken for a keyword. */
static const char *skip_quoted(const char *s)
{
    if (*s != '"') return s;
    for (s++; *s; s++) {
        if (*s == '"') {
            if (s[1] == '"') {
                s++;
                continue;
            }
            return s + 1;
        }
    }
    return s;
}

static int is_blank(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

/* The column list of an index: the '(' that follows the table name after
 * " ON " at on. The name, quoted or not and possibly qualified, is stepped
 * over whole, so that a '(' or a blank inside a quoted name is never taken
 * for the list. NULL when no '(' follows the name. */
static const char *index_column_list(const char *on)
{
    const char *p = on + 4;
    for (;;) {
        while (is_blank(*p)) p++;
        if (*p == '"') {
            p = skip_quoted(p);
        } else {
            while (*p && *p != '.' && *p != '(' && *p != '"' && !is_blank(*p)) p++;
        }
        while (is_blank(*p)) p++;
        if (*p != '.') break;
        p++;
    }
    return *p == '(' ? p : NULL;
}

static const char *bad_text_message(int kind)
{
    switch (kind) {
    case 'T':
        return "Create table DDL text not correct.\n\n%s";
    case 'I':
        return "Create index DDL text not correct.\n\n%s";
    default:
        return "Create constraint DDL text not correct.\n\n%s";
    }
}

int put_fetched_ddl(EXP_WORKER *w, EXP_TABLE *tab, int kind, const char *what)
{
    if (rewrite_ddl(w, kind, tab) != 0) return -1;
    int allowed = check_written_statement(w, tab, (const char *)w->cache + 2, get_be16(w->cache), what, NULL);
    if (allowed < 0) return -1;
    if (allowed == 0) w->ctail = 0;  /* left out, named in a warning */
    if (write_cache(w) != 0) {
        fprintf(stderr, "Write cached data to file error.\n");
        return -1;
    }
    return 0;
}

int rewrite_ddl(EXP_WORKER *w, int kind, const EXP_TABLE *tab)
{
    char *text = (char *)w->cache + 2;
    size_t tlen = strnlen(text, DDL_FETCH_SIZE - 1);
    char esc_owner[ESC_NAME_SIZE], esc_table[ESC_NAME_SIZE];
    char qual[ESC_NAME_SIZE + 4];
    const char *hit, *after, *prefix_end;
    TEXT_OUT o;

    text[tlen] = '\0';
    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '"');
    sql_escape(esc_table, sizeof(esc_table), exp_table_name(tab), '"');
    snprintf(qual, sizeof(qual), "\"%s\".", esc_owner);
    size_t qlen = strlen(qual);

    /* The object's owner qualifier; without one, the first point. */
    hit = strstr(text, qual);
    if (hit) {
        prefix_end = hit;
        after = hit + qlen;
    } else {
        const char *dot = strchr(text, '.');
        if (!dot) {
            fprintf(stderr, bad_text_message(kind), text);
            return -1;
        }
        const char *quote = strchr(text, '"');
        prefix_end = (quote && quote < dot) ? quote : dot;
        after = dot + 1;
    }

    o.p = (char *)w->cache + DDL_SCRATCH_OFS;
    o.cap = (size_t)w->csz - DDL_SCRATCH_OFS;
    o.len = 0;
    o.overflow = 0;

    if (kind == 'I') {
        const char *on = strstr(skip_quoted(after), " ON ");
        const char *paren = on ? index_column_list(on) : NULL;
        if (!on || !paren) {
            fprintf(stderr, bad_text_message(kind), text);
            return -1;
        }
        size_t head = (size_t)(prefix_end - text);
        out_str(&o, has_word(text, head, "UNIQUE")   ? "CREATE UNIQUE INDEX "
                    : has_word(text, head, "BITMAP") ? "CREATE BITMAP INDEX "
                                                     : "CREATE INDEX ");
        out_bytes(&o, after, (size_t)(on - after));  /* the index name, any length */
        out_str(&o, " ON \"");
        out_str(&o, esc_table);
        out_str(&o, "\" ");
        out_stripped(&o, paren, (size_t)(text + tlen - paren), qual, qlen);
    } else {
        out_str(&o, kind == 'T' ? "CREATE TABLE " : "ALTER TABLE ");
        out_stripped(&o, after, (size_t)(text + tlen - after), qual, qlen);
    }

    if (o.overflow || o.len > DUMP_TEXT_MAX) {
        fprintf(stderr, "DDL text of table \"%s\" too long.\n", exp_table_name(tab));
        return -1;
    }
    memmove(w->cache + 2, o.p, o.len);
    put_be16(w->cache, (uint16_t)o.len);
    w->ctail = (int)o.len + 2;
    EXP_ASSERT_CACHE(w);
    return 0;
}

/* ---- the table's statement ------------------------------------------------ */

int export_create_table_sql(EXP_WORKER *w, EXP_TABLE *tab)
{
    char sqltxt[1024];
    ub2 alen = 0;
    int ret;
    sword rc;

    TABLE_META *m = NULL;
    if (table_meta(w, tab, &m) != 0) return -1;
    if (m && m->table.ok) {
        /* the text where the query below would have fetched it */
        size_t at = 0;
        const char *text = meta_next(&m->table, &at);
        size_t len = strlen(text);
        if (len >= DDL_FETCH_SIZE) len = DDL_FETCH_SIZE - 1;
        memcpy(w->cache + 2, text, len);
        w->cache[2 + len] = '\0';
    } else {
        if (run_transform_block(w, table_transforms()) != 0) return -1;

        snprintf(sqltxt, sizeof(sqltxt),
                 "select DBMS_METADATA.GET_DDL('TABLE', TABLE_NAME, OWNER) from ALL_TABLES\n"
                 "where OWNER=:1 and TABLE_NAME=:2");
        if (open_table_ddl_query(w, sqltxt, &alen, tab) != 0) return -1;

        rc = OCIStmtFetch(w->env.smthp, w->env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        ret = check_error(&w->env, rc);
        if (ret == CHECK_NO_DATA) {
            fprintf(stderr, "No create DDL SQL text found for \"%s\".\"%s\".\n", w->run->owner_name,
                    exp_table_name(tab));
            return -1;
        }
        if (ret != CHECK_SUCCESS) {
            fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
    }
    if (rewrite_ddl(w, 'T', tab) != 0) return -1;
    note_table_text(w);
    return 0;
}
