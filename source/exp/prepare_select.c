/*
 * prepare_select.c - builds and prepares the SELECT that reads a table's
 * rows in select order (ordinary, then LOB, then LONG columns), lays out
 * the fetch arrays in the row area and defines every column.
 */
#include <stdio.h>
#include <string.h>

#include "exp_local.h"
#include "table_ranges.h"

/* Reads record k of the column block (it may stand at any byte position). */
static COL_INFO column_record(const EXP_WORKER *w, int k)
{
    COL_INFO ci;
    memcpy(&ci, (const uint8_t *)w->colp + sizeof(COL_INFO) * (size_t)k, sizeof(ci));
    return ci;
}

/* Which pass of the select order a column type belongs to. */
static int select_group(uint32_t ctype)
{
    if (IS_LOB_CTYPE(ctype)) return 1;
    if (IS_LONG_CTYPE(ctype)) return 2;
    return 0;
}

int prepare_to_select(EXP_WORKER *w, EXP_TABLE *tab)
{
    int ncol = (int)tab->info.ncol;
    uint8_t *area_end = w->buf + EXP_ROW_AREA;
    char esc[ESC_NAME_SIZE], esc_table[ESC_NAME_SIZE];
    char *stmt;
    size_t slen = 0;
    int d = 0;
    sword rc;

    if (ncol <= 0) {
        fprintf(stderr, "Table \"%s\" has no column to export.\n", exp_table_name(tab));
        return -1;
    }

    /* Row area: descriptors, the column names in select order, the SELECT
     * text (kept intact while the statement is in use), then the fetch
     * area. */
    size_t stmt_cap = 16 + (size_t)ncol * (2 * ESC_NAME_SIZE + 4) + 4 * ESC_NAME_SIZE;
    w->dc = (DEFINE_COLUMN *)w->buf;
    w->select_names = (char (*)[32])align8(w->buf + sizeof(DEFINE_COLUMN) * (size_t)ncol);
    stmt = (char *)(w->select_names + ncol);
    if ((uint8_t *)stmt + stmt_cap + 8 >= area_end) {
        fprintf(stderr, "Too many columns in table \"%s\".\n", exp_table_name(tab));
        return -1;
    }
    memset(w->dc, 0, sizeof(DEFINE_COLUMN) * (size_t)ncol);

    memcpy(stmt, "select ", 7);
    slen = 7;
    for (int group = 0; group < 3; group++) {
        for (int k = 0; k < ncol; k++) {
            COL_INFO ci = column_record(w, k);
            if (select_group(ci.ctype) != group) continue;
            DEFINE_COLUMN *dc = &w->dc[d];
            dc->ctype = ci.ctype;
            dc->flag = (group == 2) ? 1 : 0;
            dc->vsz = (group == 0) ? value_buffer_size(ci.ctype, ci.clen) : 0;
            if (group == 1) tab->info.nlob++;
            memcpy(w->select_names[d], ci.col_name, 32);
            w->select_names[d][31] = '\0';
            int n = sql_escape(esc, sizeof(esc), w->select_names[d], '"');
            stmt[slen++] = '"';
            memcpy(stmt + slen, esc, (size_t)n);
            slen += (size_t)n;
            stmt[slen++] = '"';
            stmt[slen++] = ',';
            d++;
        }
    }
    sql_escape(esc, sizeof(esc), w->run->owner_name, '"');
    sql_escape(esc_table, sizeof(esc_table), exp_table_name(tab), '"');
    slen--;  /* over the last comma */
    slen += (size_t)snprintf(stmt + slen, stmt_cap - slen, "\nfrom \"%s\".\"%s\"\n", esc, esc_table);
    /* a table read in ROWID ranges: "where ROWID between :1 and :2" for
     * the worker's range, bound after the prepare (table_ranges.c) */
    slen += range_condition(w, stmt + slen, stmt_cap - slen);

    w->rbuf = align8((uint8_t *)stmt + slen + 1);
    w->rsz = (int)(area_end - w->rbuf);

    /* Rows per fetch: the row width counts each value and its indicator,
     * length and return code; 32 bytes per column cover alignment. */
    uint64_t width = 0;
    for (int i = 0; i < ncol; i++) width += (uint64_t)w->dc[i].vsz + 6;
    uint64_t gaps = 32u * (uint64_t)ncol;
    uint64_t m = (uint64_t)w->rsz > gaps ? ((uint64_t)w->rsz - gaps) / width : 0;
    if (m == 0) {
        fprintf(stderr, "A row of table \"%s\" is wider than the fetch area.\n", exp_table_name(tab));
        return -1;
    }

    rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)stmt, (ub4)slen,
                        OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }

    uint8_t *p = w->rbuf;
    for (int i = 0; i < ncol; i++) {
        DEFINE_COLUMN *dc = &w->dc[i];
        p = align8(p);
        if (dc->vsz > 0) {
            dc->valp = p;
            p += (size_t)dc->vsz * m;
        }
        p = align8(p);
        dc->indp = (sb2 *)p;
        p += 2 * m;
        p = align8(p);
        dc->alenp = (ub2 *)p;
        p += 2 * m;
        p = align8(p);
        dc->rcodep = (ub2 *)p;
        p += 2 * m;
    }

    for (int i = 0; i < ncol; i++) {
        DEFINE_COLUMN *dc = &w->dc[i];
        if (!IS_LOB_CTYPE(dc->ctype)) continue;
        rc = OCIDescriptorAlloc(w->env.envhp, (void **)&dc->valp, OCI_DTYPE_LOB, 0, NULL);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            dc->valp = NULL;
            fprintf(stderr, "Lob Locator - OCIDescriptorAlloc\n%s\n", get_ora_message(&w->env));
            goto fail;
        }
    }

    for (int i = 0; i < ncol; i++) {
        DEFINE_COLUMN *dc = &w->dc[i];
        OCIDefine *defnp = NULL;
        ub2 dty = (ub2)convert_to_sqlt((int)dc->ctype);
        /* CHAR and NCHAR values come as the database holds them, padded
         * to the column's length in characters; fetched as fixed-length
         * text they would be padded on to the end of the buffer, which
         * for NCHAR is wider than the column. */
        if (dty == SQLT_AFC) dty = SQLT_CHR;
        if (dc->flag & 1)
            rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, (ub4)(i + 1), NULL,
                                0x7FFFFFFF, dty, dc->indp, dc->alenp, dc->rcodep,
                                OCI_DYNAMIC_FETCH);
        else if (IS_LOB_CTYPE(dc->ctype))
            rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, (ub4)(i + 1), &dc->valp,
                                (sb4)sizeof(dc->valp), dty, dc->indp, dc->alenp, dc->rcodep,
                                OCI_DEFAULT);
        else
            rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, (ub4)(i + 1), dc->valp,
                                (sb4)dc->vsz, dty, dc->indp, dc->alenp, dc->rcodep,
                                OCI_DEFAULT);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCIDefineByPos()\n%s\n", get_ora_message(&w->env));
            goto fail;
        }
        if (tab->info.flag == 0) {
            rc = OCIDefineArrayOfStruct(defnp, w->env.errhp, dc->vsz, 2, 2, 2);
            if (check_error(&w->env, rc) != CHECK_SUCCESS) {
                fprintf(stderr, "OCIDefineArrayOfStruct");
                goto fail;
            }
        }
    }

    /* The column block takes its file form. */
    for (int k = 0; k < ncol; k++) {
        uint8_t *rec = (uint8_t *)w->colp + sizeof(COL_INFO) * (size_t)k;
        COL_INFO ci = column_record(w, k);
        put_be32(rec + offsetof(COL_INFO, ctype), ci.ctype);
        put_be32(rec + offsetof(COL_INFO, clen), ci.clen);
    }

    w->max_row = (int)m;
    w->nrow = 0;
    EXP_ASSERT_CACHE(w);
    return 0;

fail:
    free_lob_locator(w, tab);
    return -1;
}
