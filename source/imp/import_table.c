/*
 * import_table.c - imports one table of the directory: reads its DDL and
 * column block, creates it, loads its rows, then creates its indexes.
 */
#include <stddef.h>
#include <string.h>

#include "imp_local.h"

/* Checks the column block (still in file order at raw) against the
 * directory entry: known type codes, terminated names, usable lengths, and
 * flag and nlob that say exactly what the columns are. */
static int check_columns(const TAB_INFO *t, const uint8_t *raw)
{
    uint32_t nlob = 0, nlong = 0;
    for (uint32_t i = 0; i < t->ncol; i++) {
        const uint8_t *c = raw + (size_t)i * sizeof(COL_INFO);
        uint32_t ctype = get_be32(c + offsetof(COL_INFO, ctype));
        uint32_t clen = get_be32(c + offsetof(COL_INFO, clen));
        if (ctype < CTYPE_CHAR || ctype > CTYPE_BINARY_DOUBLE) {
            fprintf(stderr, "Table %s: unknown column type %u.\n", t->tab_name, ctype);
            return -1;
        }
        if (!imp_has_nul((const char *)c + offsetof(COL_INFO, col_name), 32)) {
            fprintf(stderr, "Table %s: damaged column name.\n", t->tab_name);
            return -1;
        }
        if (IS_LOB_CTYPE(ctype)) {
            nlob++;
        } else if (IS_LONG_CTYPE(ctype)) {
            nlong++;
        } else if (clen == 0 || clen >= 0xFF00) {
            /* a slot length never has 0xFF as its high byte */
            fprintf(stderr, "Table %s: column length %u not supported.\n", t->tab_name, clen);
            return -1;
        }
    }
    uint32_t flag = (nlong ? TAB_HAS_LONG : 0) | (nlob ? TAB_HAS_LOB : 0);
    if (nlong > 1 || flag != t->flag || nlob != t->nlob) {
        fprintf(stderr, "Table %s: directory entry disagrees with its columns.\n", t->tab_name);
        return -1;
    }
    return 0;
}

int import_table(int ti)
{
    TAB_INFO *t = &g_imp.tabp[ti];
    int rc;

    g_cur_table = ti;
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
            fprintf(stderr, "Table %s: section front exceeds the read window.\n", t->tab_name);
        return -1;
    }
    if (slen == 0) {
        fprintf(stderr, "Table %s: CREATE TABLE statement missing.\n", t->tab_name);
        return -1;
    }
    uint8_t *raw_cols = g_imp.rbuf + 2 + slen;
    if (check_columns(t, raw_cols) < 0) return -1;
    g_imp.rtail = (int)front;

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
