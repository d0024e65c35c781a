/*
 * dump_fault.c - what the views of tabdump share: the file's name, the
 * report of a fault the reader found, table names read straight from the
 * directory, and the check of a statement against tabimp's allow-list.
 */
#define _POSIX_C_SOURCE 200809L

#include <assert.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "dump_fault.h"
#include "show_text.h"
#include "name_set.h"
#include "stmt_allow.h"

const char *g_dump_file;
FILE *g_fault_out;

int report_fault(DUMP_READER *r)
{
    const DUMP_FAULT *f = &r->fault;
    if (f->code == DUMP_E_IO) {
        fprintf(stderr, "%s: %s\n", g_dump_file, strerror(f->err));
        return TABDUMP_ERROR;
    }
    if (f->table >= 0) {
        char name[DUMP_NAME_MAX + 1];
        table_name(r, (uint32_t)f->table, name);
        fprintf(g_fault_out, "%s: DAMAGED at offset %llu, table \"%s\": %s\n", show(g_dump_file),
                (unsigned long long)f->ofs, show(name), show(f->reason));
    } else {
        fprintf(g_fault_out, "%s: DAMAGED at offset %llu: %s\n", show(g_dump_file),
                (unsigned long long)f->ofs, show(f->reason));
    }
    return TABDUMP_DAMAGED;
}

void table_name(DUMP_READER *r, uint32_t i, char name[DUMP_NAME_MAX + 1])
{
    uint8_t raw[32];
    strcpy(name, "?");
    if (i >= r->head.tab_cnt) {
        if (i < dump_table_count(r)) snprintf(name, DUMP_NAME_MAX + 1, "%s", dump_table_name(r, i, NULL));
        return;
    }
    ssize_t n = pread(r->fd, raw, sizeof(raw),
                      (off_t)(DUMP_HEAD_BLOCK + (uint64_t)i * sizeof(TAB_INFO) + offsetof(TAB_INFO, tab_name)));
    if (n != (ssize_t)sizeof(raw) || !memchr(raw, '\0', sizeof(raw))) return;
    memcpy(name, raw, sizeof(raw));
}

/* The dump's table names read once and sorted, for the deferred list's
 * look-ups (log n each instead of one read per table). */
static char (*g_sorted_names)[DUMP_NAME_MAX + 1];
static uint32_t g_sorted_count;
static const DUMP_READER *g_sorted_for;

static int compare_names(const void *a, const void *b)
{
    return strcmp((const char *)a, (const char *)b);
}

/* Whether name is a table of the dump (for the deferred list). */
static int is_dump_table(void *ctx, const char *name)
{
    DUMP_READER *r = (DUMP_READER *)ctx;
    if (g_sorted_for != r) {
        free(g_sorted_names);
        g_sorted_count = 0;
        g_sorted_for = r;
        /* the reader has checked the count against the file's size */
        uint32_t n = dump_table_count(r);
        g_sorted_names = n ? calloc(n, sizeof(*g_sorted_names)) : NULL;
        if (g_sorted_names) {
            for (uint32_t i = 0; i < n; i++) table_name(r, i, g_sorted_names[i]);
            g_sorted_count = n;
            qsort(g_sorted_names, g_sorted_count, sizeof(*g_sorted_names), compare_names);
        }
    }
    if (strlen(name) >= sizeof(*g_sorted_names)) return 0;
    char key[DUMP_NAME_MAX + 1] = {0};
    strcpy(key, name);
    return g_sorted_count &&
           bsearch(key, g_sorted_names, g_sorted_count, sizeof(*g_sorted_names), compare_names) != NULL;
}

/* The materialized views the deferred list of the reader g_mviews_for
 * creates, in the order its statements were checked: an index after one
 * may be on it. */
static NAME_SET g_mviews;
static const DUMP_READER *g_mviews_for;

static int is_listed_mview(void *ctx, const char *name)
{
    return ctx == g_mviews_for && name_set_has(&g_mviews, name);
}

int check_statement(DUMP_READER *r, int where, int i, const char *table, const char *text,
                    uint32_t len)
{
    /* a statement of a table names it; one of the deferred list has neither */
    assert((where == STMT_AT_DEFERRED) == (i < 0 && table == NULL));
    char why[120];
    STMT_INFO in;
    STMT_SCOPE sc = {where, table, r->head.owner, is_dump_table, r, is_listed_mview};
    if (g_mviews_for != r) {
        name_set_clear(&g_mviews);
        g_mviews_for = r;
    }
    if (!stmt_check(&sc, text, len, &in, why, sizeof(why))) {
        /* memory gone: indexes on the view are then refused */
        if (where == STMT_AT_DEFERRED && strcmp(in.kind, "materialized view") == 0 && in.object[0])
            (void)name_set_add(&g_mviews, in.object);
        return 0;
    }
    r->fault.code = DUMP_E_DAMAGED;
    r->fault.table = i;
    r->fault.ofs = r->bofs + r->pos;
    snprintf(r->fault.reason, sizeof(r->fault.reason), "statement refused: %s", why);
    return -1;
}
