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
static int check_list(IMP_WORKER *w, const IMP_TABLE *t)
{
    for (;;) {
        if (imp_need(w, 2) < 0) return -1;
        int len = imp_peek16(w);
        if (len == MARK_END) return 0;
        /* The whole block must be loaded, whatever its length. */
        if (imp_need(w, 2 + len) < 0) return -1;
        if (check_import_statement(w->run, t, STMT_AT_SECTION, (const char *)w->rbuf + w->rtail + 2,
                                   len) < 0)
            return -1;
        w->rtail += 2 + len;
    }
}

int create_index_constraints(IMP_WORKER *w, IMP_TABLE *t)
{
    uint64_t start = w->data_ofs + (uint64_t)w->rtail;
    if (check_list(w, t) < 0) return -1;
    /* Back to the list's start; the window only moved forward. */
    if (start >= w->data_ofs) {
        w->rtail = (int)(start - w->data_ofs);
    } else {
        w->data_ofs = start;
        w->rtail = 0;
        if (read_file(w) < 0) return -1;
    }
    for (;;) {
        if (imp_need(w, 2) < 0) return -1;
        int len = imp_peek16(w);
        if (len == MARK_END) return 0; /* the read position stays on the end mark */
        if (imp_need(w, 2 + len) < 0) return -1;
        const char *text = (const char *)w->rbuf + w->rtail + 2;
        STMT_INFO in;
        if (check_import_info(w->run, t, STMT_AT_SECTION, text, len, &in) < 0) return -1;
        char *merged = NULL;
        int mlen = 0;
        int dropped = w->run->partition_merge && strcmp(in.kind, "index") == 0
                          ? drop_partitioning(text, len, &merged, &mlen)
                          : 0;
        if (dropped < 0) return -1;
        if (dropped > 0) {
            fprintf(stderr, "Index \"%s\": partitions merged into one index (PARTITION_OPTIONS=MERGE).\n",
                    in.object);
            run_warning();
        }
        int rc = dropped > 0 ? run_dump_statement(w, merged, mlen, &in) : run_dump_statement(w, text, len, &in);
        free(merged);
        if (rc < 0) return -1;
        w->rtail += 2 + len;
    }
}
