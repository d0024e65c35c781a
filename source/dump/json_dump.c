/*
 * json_dump.c - tabdump --json: the header fields and, per table, its
 * name, flag, columns, statements (CREATE TABLE first) and rows, as one
 * JSON document written while the sections are read.
 */
#include <string.h>

#include "dump_local.h"
#include "stmt_allow.h"

/* A JSON string of len bytes; bytes from 0x80 on pass as they are (the
 * texts are in the dump's NLS_LANG character set). */
static void put_json(const char *s, size_t len)
{
    putchar('"');
    for (size_t k = 0; k < len; k++) {
        unsigned char c = (unsigned char)s[k];
        if (c == '"' || c == '\\')
            printf("\\%c", c);
        else if (c == '\n')
            fputs("\\n", stdout);
        else if (c == '\t')
            fputs("\\t", stdout);
        else if (c < 0x20 || c == 0x7F)
            printf("\\u%04x", c);
        else
            putchar(c);
    }
    putchar('"');
}

static void put_json_str(const char *s)
{
    put_json(s, strlen(s));
}

typedef struct {
    DUMP_READER *r;
    uint32_t i;
    const char *table;
    char ddl[DUMP_TEXT_MAX];
    uint32_t ddl_len;
    int ncol;
    int in_statements;
} JSON_CTX;

static int json_ddl(void *ctx, const char *text, uint32_t len)
{
    JSON_CTX *c = (JSON_CTX *)ctx;
    if (check_statement(c->r, STMT_AT_CREATE, (int)c->i, c->table, text, len) != 0) return -1;
    memcpy(c->ddl, text, len);  /* shown after the columns, which follow it */
    c->ddl_len = len;
    return 0;
}

static int json_column(void *ctx, const COL_INFO *col)
{
    JSON_CTX *c = (JSON_CTX *)ctx;
    fputs(c->ncol++ ? ",\n        {\"name\": " : "\n        {\"name\": ", stdout);
    put_json_str(col->col_name);
    printf(", \"type\": %u, \"length\": %u}", col->ctype, col->clen);
    return 0;
}

/* Closes the column list and opens the statements with CREATE TABLE. */
static void open_statements(JSON_CTX *c)
{
    if (c->in_statements) return;
    fputs("],\n      \"statements\": [\n        ", stdout);
    put_json(c->ddl, c->ddl_len);
    c->in_statements = 1;
}

static int json_statement(void *ctx, const char *text, uint32_t len)
{
    JSON_CTX *c = (JSON_CTX *)ctx;
    if (check_statement(c->r, STMT_AT_SECTION, (int)c->i, c->table, text, len) != 0) return -1;
    open_statements(c);
    fputs(",\n        ", stdout);
    put_json(text, len);
    return 0;
}

static int json_deferred(void *ctx, const char *text, uint32_t len)
{
    JSON_CTX *c = (JSON_CTX *)ctx;
    if (check_statement(c->r, STMT_AT_DEFERRED, -1, NULL, text, len) != 0) return -1;
    fputs(c->in_statements++ ? ",\n    " : "\n    ", stdout);
    put_json(text, len);
    return 0;
}

static int json_warning(void *ctx, const char *text, uint32_t len)
{
    JSON_CTX *c = (JSON_CTX *)ctx;
    fputs(c->in_statements++ ? ",\n    " : "\n    ", stdout);
    put_json(text, len);
    return 0;
}

int json_dump(DUMP_READER *r)
{
    static JSON_CTX c;
    printf("{\n  \"file\": ");
    put_json_str(g_dump_file);
    printf(",\n  \"owner\": ");
    put_json_str(r->head.owner);
    printf(",\n  \"nls_lang\": ");
    put_json_str(r->head.nls_lang);
    printf(",\n  \"format_version\": %u,\n  \"checksummed\": %s,\n  \"lossy_charset\": %s,\n",
           r->has_ext ? r->ext.version : 0, r->has_ext ? "true" : "false",
           (r->has_ext && (r->ext.flags & DUMP_EXT_LOSSY)) ? "true" : "false");
    printf("  \"tables\": [");
    for (uint32_t i = 0; i < dump_table_count(r); i++) {
        TAB_INFO t;
        DUMP_SECTION s;
        if (dump_entry(r, i, &t) != 0) return report_fault(r);
        memset(&c, 0, sizeof(c));
        c.r = r;
        c.i = i;
        c.table = dump_table_name(r, i, &t);
        fputs(i ? ",\n    {\"name\": " : "\n    {\"name\": ", stdout);
        put_json_str(c.table);
        printf(", \"flag\": %u,\n      \"columns\": [", t.flag);
        DUMP_VISIT visit = {json_ddl, json_column, json_statement};
        if (dump_walk_section(r, i, &visit, &c, &s) != 0) return report_fault(r);
        open_statements(&c);
        printf("],\n      \"rows\": %llu, \"bytes\": %llu}", (unsigned long long)s.rows,
               (unsigned long long)s.length);
    }
    printf("\n  ],\n  \"deferred\": [");
    memset(&c, 0, sizeof(c));
    c.r = r;
    DUMP_VISIT visit = {NULL, NULL, json_deferred};
    if (dump_walk_deferred(r, &visit, &c) != 0) return report_fault(r);
    printf("%s],\n  \"warnings\": [", c.in_statements ? "\n  " : "");
    memset(&c, 0, sizeof(c));
    DUMP_VISIT warn = {NULL, NULL, json_warning};
    if (dump_walk_warnings(r, &warn, &c) != 0) return report_fault(r);
    printf("%s]\n}\n", c.in_statements ? "\n  " : "");
    return TABDUMP_OK;
}
