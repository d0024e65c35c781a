/*
 * create_index_constraint.c - runs a table's list of index, constraint,
 * comment and identity statements, which follows its rows in the dump,
 * once every statement of the list has been found to be of a kind the
 * export writes: those that need nothing but to run go together, a batch
 * to a round trip (run_statement.h).
 */
#include <assert.h>
#include <stdlib.h>
#include <string.h>

#include "imp_local.h"
#include "dump_fault.h"
#include "run_statement.h"
#include "verify_section.h"
#include "outcome.h"

/* Visits of the list (ctx: the worker, at its table); 1 stops the walk
 * after the message. */
static int check_one(void *ctx, const char *text, uint32_t len)
{
    IMP_WORKER *w = ctx;
    return check_import_statement(w->run, w->table, STMT_AT_SECTION, text, (int)len) < 0 ? 1 : 0;
}

typedef struct {
    IMP_WORKER *w;
    IMP_BATCH batch;
} RUN_LIST;

static int run_one(void *ctx, const char *text, uint32_t ulen)
{
    RUN_LIST *rl = ctx;
    IMP_WORKER *w = rl->w;
    int len = (int)ulen;
    STMT_INFO in;
    if (check_import_info(w->run, w->table, STMT_AT_SECTION, text, len, &in) < 0) return 1;
    char *merged = NULL;
    if (w->run->partition_merge && strcmp(in.kind, "index") == 0) {
        int dropped = merge_partitions(w, STMT_AT_SECTION, &text, &len, &merged, &in);
        if (dropped < 0) return 1;
        if (dropped > 0) {
            fprintf(stderr, "Index \"%s\": partitions merged into one index (PARTITION_OPTIONS=MERGE).\n",
                    in.object);
            run_warning();
        }
    }
    int rc = imp_batch_statement(w, &rl->batch, text, len, &in);
    free(merged);
    return rc < 0 ? 1 : 0;
}

int create_index_constraints(IMP_WORKER *w, IMP_TABLE *t)
{
    DUMP_VISIT check = {NULL, NULL, check_one, NULL};
    DUMP_VISIT run = {NULL, NULL, run_one, NULL};
    assert(w->table == t);
    (void)t;
    /* the whole list is checked before its first statement runs */
    int rc = dump_rows_statements(w->rows, &check, w);
    if (rc == 0) {
        RUN_LIST rl;
        rl.w = w;
        rl.batch.n = 0;
        rl.batch.bytes = 0;
        rc = dump_rows_statements(w->rows, &run, &rl);
        /* what waits runs now, also after a fault of the list */
        if (imp_batch_flush(w, &rl.batch) != 0 && rc == 0) rc = 1;
    }
    if (rc < 0) return imp_dump_fault(w->run, w->dump);
    return rc == 0 ? 0 : -1;
}
