/*
 * json_dump.c - tabdump --json: the header fields and, per table, its
 * name, flag, columns, statements (CREATE TABLE first) and rows, as one
 * JSON document written while the sections are read.
 */
#include <errno.h>
#include <iconv.h>
#include <string.h>
#include <strings.h>

#include "dump_fault.h"
#include "json_dump.h"
#include "record_text.h"
#include "stmt_allow.h"

/* The dump's texts are in the character set of its NLS_LANG; the JSON
 * document is UTF-8. (iconv_t)-1: a set iconv does not know, whose bytes
 * from 0x80 on are all shown escaped. */
static iconv_t g_to_utf8 = (iconv_t)-1;

/* Oracle's name of a character set, and iconv's. */
static const char *const g_charsets[][2] = {
    {"AL32UTF8", "UTF-8"},         {"UTF8", "UTF-8"},           {"US7ASCII", "ASCII"},
    {"WE8ISO8859P1", "ISO-8859-1"}, {"WE8ISO8859P15", "ISO-8859-15"}, {"WE8MSWIN1252", "CP1252"},
    {"EE8ISO8859P2", "ISO-8859-2"}, {"EE8MSWIN1250", "CP1250"},   {"CL8MSWIN1251", "CP1251"},
    {"CL8ISO8859P5", "ISO-8859-5"}, {"CL8KOI8R", "KOI8-R"},       {"EL8ISO8859P7", "ISO-8859-7"},
    {"EL8MSWIN1253", "CP1253"},     {"IW8ISO8859P8", "ISO-8859-8"}, {"TR8MSWIN1254", "CP1254"},
    {"WE8ISO8859P9", "ISO-8859-9"}, {"BLT8MSWIN1257", "CP1257"},  {"WE8PC850", "CP850"},
    {"JA16SJIS", "SHIFT_JIS"},      {"JA16EUC", "EUC-JP"},        {"ZHS16GBK", "GBK"},
    {"ZHT16BIG5", "BIG5"},          {"KO16MSWIN949", "CP949"},    {"KO16KSC5601", "EUC-KR"},
    {"ZHS32GB18030", "GB18030"},    {"TH8TISASCII", "TIS-620"},   {"VN8MSWIN1258", "CP1258"},
};

/* Opens the conversion from the character set named by nls_lang. */
static void open_conversion(const char *nls_lang)
{
    const char *dot = strchr(nls_lang, '.');
    const char *cs = dot && dot[1] ? dot + 1 : "US7ASCII";
    g_to_utf8 = (iconv_t)-1;
    for (size_t i = 0; i < sizeof(g_charsets) / sizeof(g_charsets[0]); i++)
        if (strcasecmp(cs, g_charsets[i][0]) == 0) g_to_utf8 = iconv_open("UTF-8", g_charsets[i][1]);
}

/* One converted run of UTF-8 as JSON string content. */
static void put_utf8(const char *s, size_t len)
{
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
}

/* A JSON string of the len bytes of s, converted to UTF-8; a byte that
 * does not convert is shown as the six characters \\xNN (an escaped
 * backslash, then x and its value), so the document is always valid
 * UTF-8 JSON. */
static void put_json(const char *s, size_t len)
{
    putchar('"');
    size_t k = 0;
    while (k < len) {
        char out[1024];
        char *in = (char *)(s + k), *o = out;
        size_t inleft = len - k, outleft = sizeof(out);
        int bad = 0;
        if (g_to_utf8 != (iconv_t)-1) {
            iconv(g_to_utf8, NULL, NULL, NULL, NULL);
            if (iconv(g_to_utf8, &in, &inleft, &o, &outleft) == (size_t)-1 && errno != E2BIG) bad = 1;
        } else {
            /* an unknown set: only its ASCII is sure */
            while (inleft && outleft && (unsigned char)*in < 0x80) *o++ = *in++, inleft--, outleft--;
            bad = inleft > 0 && outleft > 0;
        }
        put_utf8(out, (size_t)(o - out));
        k = (size_t)(in - s);
        if (bad && k < len) {
            printf("\\\\x%02X", (unsigned char)s[k]);
            k++;
        } else if (o == out && k < len) {
            /* nothing converted and no error: never loop */
            printf("\\\\x%02X", (unsigned char)s[k]);
            k++;
        }
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

static int json_record(void *ctx, const DUMP_OBJ_RECORD *rec)
{
    return record_as_statement(ctx, rec, json_deferred);
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
    open_conversion(r->head.nls_lang);
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
        DUMP_VISIT visit = {json_ddl, json_column, json_statement, NULL};
        if (dump_walk_section(r, i, &visit, &c, &s) != 0) return report_fault(r);
        open_statements(&c);
        printf("],\n      \"rows\": %llu, \"bytes\": %llu}", (unsigned long long)s.rows,
               (unsigned long long)s.length);
    }
    printf("\n  ],\n  \"deferred\": [");
    memset(&c, 0, sizeof(c));
    c.r = r;
    DUMP_VISIT visit = {NULL, NULL, json_deferred, json_record};
    if (dump_walk_deferred(r, &visit, &c) != 0) return report_fault(r);
    printf("%s],\n  \"warnings\": [", c.in_statements ? "\n  " : "");
    memset(&c, 0, sizeof(c));
    DUMP_VISIT warn = {NULL, NULL, json_warning, NULL};
    if (dump_walk_warnings(r, &warn, &c) != 0) return report_fault(r);
    printf("%s]\n}\n", c.in_statements ? "\n  " : "");
    return TABDUMP_OK;
}
