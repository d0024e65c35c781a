/*
 * create_index_constraint.c - runs a table's list of CREATE INDEX and
 * primary-key statements, which follows its rows in the dump.
 */
#include "imp_local.h"

int create_index_constraints(int ti)
{
    (void)ti;
    for (;;) {
        if (imp_need(2) < 0) return -1;
        int len = imp_peek16();
        if (len == MARK_END) return 0; /* the read position stays on the end mark */
        /* The whole block must be loaded, whatever its length. */
        if (imp_need(2 + len) < 0) return -1;
        if (imp_run_sql((const char *)g_imp.rbuf + g_imp.rtail + 2, len) < 0 &&
            !(g_imp.flag & IMP_IGNORE))
            return -1;
        g_imp.rtail += 2 + len;
    }
}
