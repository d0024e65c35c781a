/*
 * export_table.c - the per-table sequence of tabexp: writes one complete
 * table section (DDL, column block, rows and streams, index and primary
 * key statements) in the order in which the pieces stand in the dump.
 */
#include <stdio.h>

#include "exp_local.h"
#include "section_sum.h"

int export_table(EXP_WORKER *w, EXP_TABLE *tab)
{
    int ret;

    w->tab = tab;
    metrics_table_begin(&w->env);
    EXP_ASSERT_CACHE(w);
    assert(w->ctail == 0);  /* the previous section was written out whole */
    section_begin(w);
    if (export_create_table_sql(w, tab) < 0) {
        fprintf(stderr, "Export create table DDL text error.\n");
        return -1;
    }
    if (export_column_information(w, tab) < 0) {
        fprintf(stderr, "Export column information error.\n");
        return -1;
    }
    if (prepare_to_select(w, tab) < 0) {
        fprintf(stderr, "Prepare select statement error.\n");
        return -1;
    }
    if (rows_in_arrays(w, tab))
        ret = export_multiple_row(w, tab);
    else
        ret = export_single_row(w, tab);
    free_lob_locator(w, tab);
    if (ret < 0) return -1;
    if (export_create_index_sql(w, tab) < 0) {
        fprintf(stderr, "Export create index DDL text error.\n");
        return -1;
    }
    if (export_create_constraint_sql(w, tab) < 0) {
        fprintf(stderr, "Export create constraint DDL text error.\n");
        return -1;
    }
    ret = section_end(w, tab);
    EXP_ASSERT_CACHE(w);
    assert(w->ctail == 0);
    return ret;
}
