/*
 * import_table.c - imports one table of the directory: checks its section,
 * reads its DDL and column block, creates it, loads its rows, then creates
 * its indexes.
 */
#include <stddef.h>
#include <string.h>

#include "imp_local.h"

int import_table(int ti)
{
    TAB_INFO *t = &g_imp.tabp[ti];
    int rc;

    g_cur_table = ti;
    if (verify_section(ti) < 0) return -1;
    g_imp.bc = NULL;
    g_imp.colp = NULL;
    g_imp.data_ofs = t->offset;
    g_imp.rtail = 0;
    g_imp.dlen = 0;
    if (read_file() < 0) return -1;

    /* The front of the section (DDL text block and column block) must
     * arrive with this first read. */
    if (g_imp.dlen < 2) {
        fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
        return -1;
    }
    int slen = get_be16(g_imp.rbuf);
    uint64_t front = 2 + (uint64_t)slen + (uint64_t)t->ncol * sizeof(COL_INFO);
    if (front > (uint64_t)g_imp.dlen) {
        if (g_imp.dlen < g_imp.rsz)
            fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
        else
            fprintf(stderr, "Table %s: section front exceeds the read window.\n", TABLE_NAME(t));
        return -1;
    }
    if (slen == 0) {
        fprintf(stderr, "Table %s: CREATE TABLE statement missing.\n", TABLE_NAME(t));
        return -1;
    }
    uint8_t *raw_cols = g_imp.rbuf + 2 + slen;
    char why[96];
    if (dump_columns_fault(t, raw_cols, why, sizeof(why))) {
        fprintf(stderr, "Table %s: %s.\n", TABLE_NAME(t), why);
        return -1;
    }
    g_imp.rtail = (int)front;
    if (check_import_statement(ti, STMT_AT_CREATE, (const char *)g_imp.rbuf + 2, slen) < 0) return -1;

    if (create_table((const char *)g_imp.rbuf + 2, slen) < 0) {
        fprintf(stderr, "Create table error.\n");
        if (!(g_imp.flag & IMP_IGNORE)) return -1;
    }

    /* The DDL text has been executed; move the column records to the start
     * of the window so that they are aligned, and convert them in place. */
    memmove(g_imp.rbuf, raw_cols, (size_t)t->ncol * sizeof(COL_INFO));
    g_imp.colp = (COL_INFO *)g_imp.rbuf;
    for (uint32_t i = 0; i < t->ncol; i++) {
        COL_INFO *c = &g_imp.colp[i];
        c->ctype = get_be32((const uint8_t *)c + offsetof(COL_INFO, ctype));
        c->clen = get_be32((const uint8_t *)c + offsetof(COL_INFO, clen));
    }

    if (prepare_insert(ti) < 0) {
        fprintf(stderr, "Prepare to insert table data error.\n");
        free_return_lob_locator(ti);
        return -1;
    }
    g_imp.colp = NULL;

    if (t->flag == 0)
        rc = import_multiple_row(ti);
    else
        rc = import_single_row(ti);
    free_return_lob_locator(ti);
    if (rc < 0) return -1;

    if (create_index_constraints(ti) < 0) {
        fprintf(stderr, "create index error.\n");
        return -1;
    }
    g_cur_table = -1;
    return 0;
}
