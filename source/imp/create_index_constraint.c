/*
 * create_index_constraint.c - runs a table's list of index, constraint,
 * comment and identity statements, which follows its rows in the dump,
 * once every statement of the list has been found to be of a kind the
 * export writes.
 */
#include <stdlib.h>
#include <string.h>

#include "imp_local.h"
#include "run_statement.h"
#include "verify_section.h"
#include "outcome.h"

/* Steps over the list from the read position, checking each statement.
 * The read position ends on the end mark. */
static int check_list(int ti)
{
    for (;;) {
        if (imp_need(2) < 0) return -1;
        int len = imp_peek16();
        if (len == MARK_END) return 0;
        /* The whole block must be loaded, whatever its length. */
        if (imp_need(2 + len) < 0) return -1;
        if (check_import_statement(ti, STMT_AT_SECTION, (const char *)g_imp.rbuf + g_imp.rtail + 2,
                                   len) < 0)
            return -1;
        g_imp.rtail += 2 + len;
    }
}

int create_index_constraints(int ti)
{
    uint64_t start = g_imp.data_ofs + (uint64_t)g_imp.rtail;
    if (check_list(ti) < 0) return -1;
    /* Back to the list's start; the window only moved forward. */
    if (start >= g_imp.data_ofs) {
        g_imp.rtail = (int)(start - g_imp.data_ofs);
    } else {
        g_imp.data_ofs = start;
        g_imp.rtail = 0;
        if (read_file() < 0) return -1;
    }
    for (;;) {
        if (imp_need(2) < 0) return -1;
        int len = imp_peek16();
        if (len == MARK_END) return 0; /* the read position stays on the end mark */
        if (imp_need(2 + len) < 0) return -1;
        const char *text = (const char *)g_imp.rbuf + g_imp.rtail + 2;
        STMT_INFO in;
        if (check_import_info(ti, STMT_AT_SECTION, text, len, &in) < 0) return -1;
        char *merged = NULL;
        int mlen = 0;
        int dropped = g_partition_merge && strcmp(in.kind, "index") == 0
                          ? drop_partitioning(text, len, &merged, &mlen)
                          : 0;
        if (dropped < 0) return -1;
        if (dropped > 0) {
            fprintf(stderr, "Index \"%s\": partitions merged into one index (PARTITION_OPTIONS=MERGE).\n",
                    in.object);
            run_warning();
        }
        int rc = dropped > 0 ? run_dump_statement(merged, mlen, &in) : run_dump_statement(text, len, &in);
        free(merged);
        if (rc < 0) return -1;
        g_imp.rtail += 2 + len;
    }
}
