/*
 * script_dump.c - tabdump --sql: every statement an import runs, in its
 * order (each table's CREATE TABLE, then its index and key statements,
 * then the deferred ones), each ended by ";" for tabsql (stored code by a
 * line holding "/"), after the settings that keep tabsql from changing
 * their text.
 */
#include <string.h>
#include <strings.h>

#include "dump_local.h"
#include "stmt_allow.h"

typedef struct {
    DUMP_READER *r;
    uint32_t i;
    const char *table;
} SCRIPT_CTX;

/* Whether the word w (upper case) starts at *p, any case; steps over it
 * and the blanks after it. */
static int take_word(const char **p, const char *end, const char *w)
{
    size_t n = strlen(w);
    if ((size_t)(end - *p) < n || strncasecmp(*p, w, n) != 0) return 0;
    const char *q = *p + n;
    if (q < end && !(*q == ' ' || *q == '\n' || *q == '\t' || *q == '\r')) return 0;
    while (q < end && (*q == ' ' || *q == '\n' || *q == '\t' || *q == '\r')) q++;
    *p = q;
    return 1;
}

/* Whether the statement creates stored code or is a block, which the
 * shell reads whole up to a line holding only "/" (its own ";" inside). */
static int is_code(const char *text, uint32_t len)
{
    static const char *const kinds[] = {"PROCEDURE", "FUNCTION", "PACKAGE", "TRIGGER", "TYPE",
                                        "LIBRARY"};
    const char *p = text, *end = text + len;
    /* an anonymous block (a materialized view's refresh) */
    if (take_word(&p, end, "BEGIN") || take_word(&p, end, "DECLARE")) return 1;
    p = text;
    if (!take_word(&p, end, "CREATE")) return 0;
    if (take_word(&p, end, "OR") && !take_word(&p, end, "REPLACE")) return 0;
    if (!take_word(&p, end, "EDITIONABLE")) take_word(&p, end, "NONEDITIONABLE");
    for (size_t k = 0; k < sizeof(kinds) / sizeof(kinds[0]); k++)
        if (take_word(&p, end, kinds[k])) return 1;
    return 0;
}

/* The text without its trailing blanks, then ";" and a line end; stored
 * code ends with a line holding "/" instead. */
static void put_statement(const char *text, uint32_t len)
{
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\n' || text[len - 1] == '\t' ||
                       text[len - 1] == '\r'))
        len--;
    fwrite(text, 1, len, stdout);
    fputs(is_code(text, len) ? "\n/\n\n" : ";\n\n", stdout);
}

static int script_ddl(void *ctx, const char *text, uint32_t len)
{
    SCRIPT_CTX *c = (SCRIPT_CTX *)ctx;
    if (check_statement(c->r, STMT_AT_CREATE, (int)c->i, c->table, text, len) != 0) return -1;
    put_statement(text, len);
    return 0;
}

static int script_statement(void *ctx, const char *text, uint32_t len)
{
    SCRIPT_CTX *c = (SCRIPT_CTX *)ctx;
    if (check_statement(c->r, STMT_AT_SECTION, (int)c->i, c->table, text, len) != 0) return -1;
    put_statement(text, len);
    return 0;
}

static int script_deferred(void *ctx, const char *text, uint32_t len)
{
    SCRIPT_CTX *c = (SCRIPT_CTX *)ctx;
    if (check_statement(c->r, STMT_AT_DEFERRED, -1, NULL, text, len) != 0) return -1;
    put_statement(text, len);
    return 0;
}

/* A warning as a comment line of the script. */
static int script_warning(void *ctx, const char *text, uint32_t len)
{
    (*(int *)ctx)++;
    fputs("-- ", stdout);
    for (uint32_t k = 0; k < len; k++) putchar(text[k] == '\n' || text[k] == '\r' ? ' ' : text[k]);
    putchar('\n');
    return 0;
}

int script_dump(DUMP_READER *r)
{
    /* The statements are data: no "&" substitution, blank lines kept. */
    fputs("SET DEFINE OFF\nSET SQLBLANKLINES ON\n\n", stdout);
    /* what the export could not carry, said before anything runs */
    DUMP_VISIT warn = {NULL, NULL, script_warning};
    int nwarn = 0;
    if (dump_walk_warnings(r, &warn, &nwarn) != 0) return report_fault(r);
    if (nwarn > 0) putchar('\n');
    for (uint32_t i = 0; i < r->head.tab_cnt; i++) {
        TAB_INFO t;
        if (dump_entry(r, i, &t) != 0) return report_fault(r);
        SCRIPT_CTX c = {r, i, t.tab_name};
        DUMP_VISIT visit = {script_ddl, NULL, script_statement};
        if (dump_walk_section(r, i, &visit, &c, NULL) != 0) return report_fault(r);
    }
    SCRIPT_CTX c = {r, 0, NULL};
    DUMP_VISIT visit = {NULL, NULL, script_deferred};
    if (dump_walk_deferred(r, &visit, &c) != 0) return report_fault(r);
    return TABDUMP_OK;
}
