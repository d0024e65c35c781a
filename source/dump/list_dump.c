/*
 * list_dump.c - tabdump's listing (header, one line per table from the
 * directory, the export's warnings) and its verification (every section
 * read and checked).
 */
#include <string.h>

#include "dump_fault.h"
#include "list_dump.h"
#include "record_text.h"
#include "show_text.h"
#include "stmt_allow.h"

static const char *flag_text(uint32_t flag)
{
    switch (flag & (TAB_HAS_LONG | TAB_HAS_LOB)) {
    case TAB_HAS_LONG:
        return "LONG";
    case TAB_HAS_LOB:
        return "LOB";
    case TAB_HAS_LONG | TAB_HAS_LOB:
        return "LONG,LOB";
    default:
        return "-";
    }
}

/* Bytes of section i: from the trailer, or up to the next section. */
static int section_bytes(DUMP_READER *r, uint32_t i, const TAB_INFO *t, uint64_t *bytes)
{
    if (r->has_ext) {
        DUMP_TRAIL tr;
        if (dump_trail(r, i, &tr) != 0) return -1;
        *bytes = tr.length;
        return 0;
    }
    uint64_t end = r->size;
    if (i + 1 < r->head.tab_cnt) {
        TAB_INFO n;
        if (dump_entry(r, i + 1, &n) != 0) return -1;
        if (n.offset > t->offset) end = n.offset;
    }
    *bytes = end - t->offset;
    return 0;
}

static void print_head(const DUMP_READER *r)
{
    printf("File:      %s\n", show(g_dump_file));
    printf("Owner:     %s\n", show(r->head.owner));
    printf("NLS_LANG:  %s\n", show(r->head.nls_lang));
    if (r->has_ext)
        printf("Format:    %u, checksummed%s\n", r->ext.version,
               (r->ext.flags & DUMP_EXT_LOSSY) ? ", client character set lossy" : "");
    else
        printf("Format:    base, no checksums\n");
    if (r->nlong > 0)
        printf("Tables:    %u (%u in the trailer, for names longer than a directory entry)\n\n",
               dump_table_count(r), r->nlong);
    else
        printf("Tables:    %u\n\n", dump_table_count(r));
}

static int list_warning(void *ctx, const char *text, uint32_t len)
{
    int *n = (int *)ctx;
    if ((*n)++ == 0) printf("\nNot carried (warnings of the export):\n");
    printf("  %s\n", show_n(text, len));
    return 0;
}

static int list_statement(void *ctx, const char *text, uint32_t len)
{
    int *n = (int *)ctx;
    if ((*n)++ == 0) printf("\nWritten by tabimp from records:\n");
    printf("  %s\n", show_n(text, len));
    return 0;
}

static int list_record(void *ctx, const DUMP_OBJ_RECORD *rec)
{
    return record_as_statement(ctx, rec, list_statement);
}

int list_dump(DUMP_READER *r)
{
    print_head(r);
    printf("%-32s %12s %7s %-8s %14s\n", "TABLE", "ROWS", "COLUMNS", "STREAMS", "BYTES");
    for (uint32_t i = 0; i < dump_table_count(r); i++) {
        TAB_INFO t;
        uint64_t bytes;
        if (dump_entry(r, i, &t) != 0 || section_bytes(r, i, &t, &bytes) != 0) return report_fault(r);
        printf("%-32s %12u %7u %-8s %14llu\n", show(dump_table_name(r, i, &t)), t.nrows, t.ncol, flag_text(t.flag),
               (unsigned long long)bytes);
    }
    int n = 0;
    DUMP_VISIT records = {NULL, NULL, NULL, list_record};
    if (dump_walk_deferred(r, &records, &n) != 0) return report_fault(r);
    n = 0;
    DUMP_VISIT visit = {NULL, NULL, list_warning, NULL};
    if (dump_walk_warnings(r, &visit, &n) != 0) return report_fault(r);
    return TABDUMP_OK;
}

typedef struct {
    DUMP_READER *r;
    uint32_t i;
    const char *table;
} VERIFY_CTX;

static int verify_ddl(void *ctx, const char *text, uint32_t len)
{
    VERIFY_CTX *v = (VERIFY_CTX *)ctx;
    return check_statement(v->r, STMT_AT_CREATE, (int)v->i, v->table, text, len);
}

static int verify_statement(void *ctx, const char *text, uint32_t len)
{
    VERIFY_CTX *v = (VERIFY_CTX *)ctx;
    return check_statement(v->r, STMT_AT_SECTION, (int)v->i, v->table, text, len);
}

static int verify_deferred(void *ctx, const char *text, uint32_t len)
{
    VERIFY_CTX *v = (VERIFY_CTX *)ctx;
    return check_statement(v->r, STMT_AT_DEFERRED, -1, NULL, text, len);
}

static int verify_record(void *ctx, const DUMP_OBJ_RECORD *rec)
{
    return record_as_statement(ctx, rec, verify_deferred);
}

int verify_dump(DUMP_READER *r)
{
    uint64_t rows = 0;
    for (uint32_t i = 0; i < dump_table_count(r); i++) {
        TAB_INFO t;
        DUMP_SECTION s;
        if (dump_entry(r, i, &t) != 0) return report_fault(r);
        VERIFY_CTX v = {r, i, dump_table_name(r, i, &t)};
        DUMP_VISIT visit = {verify_ddl, NULL, verify_statement, NULL};
        if (dump_walk_section(r, i, &visit, &v, &s) != 0) return report_fault(r);
        printf("%-32s %12llu rows %14llu bytes  %s\n", show(dump_table_name(r, i, &t)), (unsigned long long)s.rows,
               (unsigned long long)s.length, r->has_ext ? "checksum OK" : "no checksum");
        rows += s.rows;
    }
    VERIFY_CTX v = {r, 0, NULL};
    DUMP_VISIT visit = {NULL, NULL, verify_deferred, verify_record};
    if (dump_walk_deferred(r, &visit, &v) != 0) return report_fault(r);
    printf("%s: OK, %u tables, %llu rows\n", show(g_dump_file), dump_table_count(r), (unsigned long long)rows);
    return TABDUMP_OK;
}
