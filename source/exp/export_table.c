/*
 * export_table.c - the per-table sequence of tabexp: writes one complete
 * table section (DDL, column block, rows and streams, index and primary
 * key statements) in the order in which the pieces stand in the dump.
 */
#include <stdio.h>

#include "exp_local.h"
#include "write_trailer.h"

int export_table(int ti)
{
    int ret;

    section_begin();
    if (export_create_table_sql(ti) < 0) {
        fprintf(stderr, "Export create table DDL text error.\n");
        return -1;
    }
    if (export_column_information(ti) < 0) {
        fprintf(stderr, "Export column information error.\n");
        return -1;
    }
    if (prepare_to_select(ti) < 0) {
        fprintf(stderr, "Prepare select statement error.\n");
        return -1;
    }
    if (g_exp.tabp[ti].flag == 0) {
        ret = export_multiple_row(ti);
    } else {
        ret = export_single_row(ti);
        free_lob_locator(ti);
    }
    if (ret < 0) return -1;
    if (export_create_index_sql(ti) < 0) {
        fprintf(stderr, "Export create index DDL text error.\n");
        return -1;
    }
    if (export_create_constraint_sql(ti) < 0) {
        fprintf(stderr, "Export create constraint DDL text error.\n");
        return -1;
    }
    return section_end(ti);
}
