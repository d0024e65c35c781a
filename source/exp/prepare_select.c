/*
 * prepare_select.c - builds and prepares the SELECT that reads a table's
 * rows in select order (ordinary, then LOB, then LONG columns), lays out
 * the fetch arrays in the row area and defines every column; for a LONG
 * column read in arrays, also the query that reads a longer value again.
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

int rows_in_arrays(const EXP_WORKER *w, const EXP_TABLE *tab)
{
    if (tab->info.flag == 0) return 1;
    if (rows_one_at_a_time()) return 0;
    /* A LONG value longer than its piece is read again by its ROWID, which
     * must find the row as it was fetched: only inside the export's
     * snapshot. CONSISTENT=N reads such tables a row at a time. */
    return !((tab->info.flag & TAB_HAS_LONG) && w->run->inconsistent);
}

/* Appends "name" (quoted, quotes doubled) at s; returns the end. */
static char *put_name(char *s, const char *name)
{
    char esc[ESC_NAME_SIZE];
    int n = sql_escape(esc, sizeof(esc), name, '"');
    *s++ = '"';
    memcpy(s, esc, (size_t)(n > 0 ? n : 0));
    s += n > 0 ? n : 0;
    *s++ = '"';
    return s;
}

/* The text of the query that reads the table's rows, at stmt (cap bytes):
 * the columns in select order, then, when `with_rowid`, each row's ROWID.
 * Returns its length. */
static size_t build_select(char *stmt, size_t cap, const EXP_WORKER *w, const EXP_TABLE *tab, int ncol,
                           int with_rowid)
{
    char esc[ESC_NAME_SIZE], esc_table[ESC_NAME_SIZE];
    char *s = stmt;
    memcpy(s, "select ", 7);
    s += 7;
    for (int d = 0; d < ncol; d++) {
        s = put_name(s, w->select_names[d]);
        *s++ = ',';
    }
    s--;  /* over the last comma */
    if (with_rowid) {
        memcpy(s, ",ROWID", 6);
        s += 6;
    }
    sql_escape(esc, sizeof(esc), w->run->owner_name, '"');
    sql_escape(esc_table, sizeof(esc_table), exp_table_name(tab), '"');
    size_t len = (size_t)(s - stmt);
    len += (size_t)snprintf(stmt + len, cap - len, "\nfrom \"%s\".\"%s\"\n", esc, esc_table);
    /* a table read in ROWID ranges: "where ROWID between :1 and :2" for
     * the worker's range, bound after the prepare (table_ranges.c) */
    len += range_condition(w, stmt + len, cap - len);
    return len;
}

/* The query that reads column `name` of the row whose ROWID is bound. */
static size_t build_reread(char *stmt, size_t cap, const EXP_WORKER *w, const EXP_TABLE *tab, const char *name)
{
    char esc[ESC_NAME_SIZE], esc_table[ESC_NAME_SIZE];
    char *s = stmt;
    memcpy(s, "select ", 7);
    s = put_name(s + 7, name);
    sql_escape(esc, sizeof(esc), w->run->owner_name, '"');
    sql_escape(esc_table, sizeof(esc_table), exp_table_name(tab), '"');
    size_t len = (size_t)(s - stmt);
    len += (size_t)snprintf(stmt + len, cap - len, "\nfrom \"%s\".\"%s\"\nwhere ROWID = :1\n", esc, esc_table);
    return len;
}

static int define_failed(EXP_WORKER *w, const char *call)
{
    fprintf(stderr, "%s()\n%s\n", call, get_ora_message(&w->env));
    return -1;
}

/* The statement that reads a LONG value again, on a statement handle of
 * its own (the table's query stays open meanwhile): prepared, its ROWID
 * bound and its column defined for piecewise fetch. 0 or -1. */
static int prepare_reread(EXP_WORKER *w, const char *text, size_t len, ub2 dty)
{
    OCIBind *bindp = NULL;
    OCIDefine *defnp = NULL;
    DEFINE_COLUMN *rd = w->reread_dc;
    sword rc = OCIHandleAlloc(w->env.envhp, (void **)&w->long_smthp, OCI_HTYPE_STMT, 0, NULL);
    if (rc != OCI_SUCCESS) {
        w->long_smthp = NULL;
        fprintf(stderr, "OCIHandleAlloc() of a statement failed.\n");
        return -1;
    }
    rc = OCIStmtPrepare(w->long_smthp, w->env.errhp, (const OraText *)text, (ub4)len, OCI_NTV_SYNTAX,
                        OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return define_failed(w, "OCIStmtPrepare");
    rc = OCIBindByPos(w->long_smthp, &bindp, w->env.errhp, 1, w->reread_rowid, ROWID_TEXT_SIZE, SQLT_STR,
                      NULL, NULL, NULL, 0, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return define_failed(w, "OCIBindByPos");
    rc = OCIDefineByPos(w->long_smthp, &defnp, w->env.errhp, 1, NULL, 0x7FFFFFFF, dty, rd->indp, rd->alenp,
                        rd->rcodep, OCI_DYNAMIC_FETCH);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return define_failed(w, "OCIDefineByPos");
    return 0;
}

/* Bytes of a row of the fetch arrays that column dc takes: its value (a
 * LOB's locator and the data its prefetch may bring, a CLOB's characters
 * counted at two bytes as Oracle holds them), indicator, length and
 * return code. */
static uint64_t row_width(const DEFINE_COLUMN *dc)
{
    uint64_t w = (uint64_t)dc->vsz + 6;
    if (dc->flag & DEFINE_LOB_ARRAY)
        w += sizeof(OCILobLocator *) + (uint64_t)LOB_ARRAY_BOUND * (dc->ctype == CTYPE_BLOB ? 1 : 2);
    return w;
}

/* Sets the LOB prefetch of a locator define: the length, the chunk size
 * and the first LOB_ARRAY_BOUND characters or bytes come with each row. */
static int set_lob_prefetch(EXP_WORKER *w, OCIDefine *defnp)
{
    boolean with_length = TRUE;
    ub4 size = LOB_ARRAY_BOUND;
    sword rc = OCIAttrSet(defnp, OCI_HTYPE_DEFINE, &with_length, 0, OCI_ATTR_LOBPREFETCH_LENGTH, w->env.errhp);
    if (check_error(&w->env, rc) == CHECK_SUCCESS)
        rc = OCIAttrSet(defnp, OCI_HTYPE_DEFINE, &size, 0, OCI_ATTR_LOBPREFETCH_SIZE, w->env.errhp);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) return define_failed(w, "OCIAttrSet");
    return 0;
}

int prepare_to_select(EXP_WORKER *w, EXP_TABLE *tab)
{
    int ncol = (int)tab->info.ncol;
    uint8_t *area_end = w->buf + EXP_ROW_AREA;
    int arrays = rows_in_arrays(w, tab);
    int reread = arrays && (tab->info.flag & TAB_HAS_LONG);
    char *stmt, *reread_stmt = NULL;
    size_t slen = 0, rlen = 0;
    int d = 0;
    sword rc;

    if (ncol <= 0) {
        fprintf(stderr, "Table \"%s\" has no column to export.\n", exp_table_name(tab));
        return -1;
    }

    /* Row area: descriptors (and the re-read's), the column names in
     * select order, the SELECT texts (kept intact while the statements are
     * in use), then the fetch area. */
    size_t stmt_cap = 32 + (size_t)ncol * (2 * ESC_NAME_SIZE + 4) + 4 * ESC_NAME_SIZE;
    w->dc = (DEFINE_COLUMN *)w->buf;
    w->reread_dc = NULL;
    w->rowids = NULL;
    w->reread_rowid = NULL;
    w->select_names = (char (*)[32])align8(w->buf + sizeof(DEFINE_COLUMN) * (size_t)(ncol + 1));
    stmt = (char *)(w->select_names + ncol);
    if ((uint8_t *)stmt + 2 * stmt_cap + 64 >= area_end) {
        fprintf(stderr, "Too many columns in table \"%s\".\n", exp_table_name(tab));
        return -1;
    }
    memset(w->dc, 0, sizeof(DEFINE_COLUMN) * (size_t)(ncol + 1));

    for (int group = 0; group < 3; group++) {
        for (int k = 0; k < ncol; k++) {
            COL_INFO ci = column_record(w, k);
            if (select_group(ci.ctype) != group) continue;
            DEFINE_COLUMN *dc = &w->dc[d];
            dc->ctype = ci.ctype;
            if (group == 0) {
                dc->vsz = value_buffer_size(ci.ctype, ci.clen);
            } else if (group == 1) {
                tab->info.nlob++;
                dc->flag = arrays ? DEFINE_LOB_ARRAY : 0;
            } else {
                dc->flag = arrays ? DEFINE_LONG_ARRAY : DEFINE_LONG_PIECEWISE;
                dc->vsz = arrays ? LONG_ARRAY_PIECE : 0;
            }
            memcpy(w->select_names[d], ci.col_name, 32);
            w->select_names[d][31] = '\0';
            d++;
        }
    }
    slen = build_select(stmt, stmt_cap, w, tab, ncol, reread);
    uint8_t *p = (uint8_t *)stmt + slen + 1;
    if (reread) {
        reread_stmt = (char *)p;
        rlen = build_reread(reread_stmt, stmt_cap, w, tab, w->select_names[ncol - 1]);
        p = align8((uint8_t *)reread_stmt + rlen + 1);
        w->reread_rowid = (char *)p;
        p += ROWID_TEXT_SIZE;
        /* the re-read's define: one row of indicator, length, return code */
        w->reread_dc = &w->dc[ncol];
        w->reread_dc->flag = DEFINE_LONG_PIECEWISE;
        w->reread_dc->ctype = w->dc[ncol - 1].ctype;
        p = align8(p);
        w->reread_dc->indp = (sb2 *)p;
        w->reread_dc->alenp = (ub2 *)(p + 8);
        w->reread_dc->rcodep = (ub2 *)(p + 16);
        p += 24;
    }

    w->rbuf = align8(p);
    w->rsz = (int)(area_end - w->rbuf);

    /* Rows per fetch: what fits; 32 bytes per column cover alignment. */
    uint64_t width = reread ? ROWID_TEXT_SIZE + 6 : 0;
    for (int i = 0; i < ncol; i++) width += row_width(&w->dc[i]);
    uint64_t gaps = 32u * (uint64_t)(ncol + 1);
    uint64_t m = (uint64_t)w->rsz > gaps ? ((uint64_t)w->rsz - gaps) / width : 0;
    if (m == 0) {
        fprintf(stderr, "A row of table \"%s\" is wider than the fetch area.\n", exp_table_name(tab));
        return -1;
    }
    if (!arrays) m = 1;

    rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)stmt, (ub4)slen,
                        OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }

    p = w->rbuf;
    for (int i = 0; i < ncol; i++) {
        DEFINE_COLUMN *dc = &w->dc[i];
        p = align8(p);
        if (dc->vsz > 0 || (dc->flag & DEFINE_LOB_ARRAY)) {
            dc->valp = p;
            p += (dc->vsz > 0 ? (size_t)dc->vsz : sizeof(OCILobLocator *)) * m;
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
    if (reread) {
        p = align8(p);
        w->rowids = (char *)p;
        p += (size_t)ROWID_TEXT_SIZE * m;
    }
    assert(p <= area_end);

    /* The locators, one per row of the array; none is left unset, so that
     * free_lob_locator frees exactly what was made. */
    w->max_row = (int)m;
    for (int i = 0; i < ncol; i++) {
        DEFINE_COLUMN *dc = &w->dc[i];
        if (!IS_LOB_CTYPE(dc->ctype)) continue;
        if (!(dc->flag & DEFINE_LOB_ARRAY)) {
            rc = OCIDescriptorAlloc(w->env.envhp, (void **)&dc->valp, OCI_DTYPE_LOB, 0, NULL);
            if (check_error(&w->env, rc) != CHECK_SUCCESS) dc->valp = NULL;
        } else {
            OCILobLocator **locs = (OCILobLocator **)(void *)dc->valp;
            memset(locs, 0, sizeof(*locs) * m);
            for (uint64_t r = 0; r < m && rc == OCI_SUCCESS; r++) {
                rc = OCIDescriptorAlloc(w->env.envhp, (void **)&locs[r], OCI_DTYPE_LOB, 0, NULL);
                if (rc != OCI_SUCCESS) locs[r] = NULL;
            }
            check_error(&w->env, rc);
        }
        if (rc != OCI_SUCCESS) {
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
        if (dc->flag & DEFINE_LONG_PIECEWISE)
            rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, (ub4)(i + 1), NULL,
                                0x7FFFFFFF, dty, dc->indp, dc->alenp, dc->rcodep,
                                OCI_DYNAMIC_FETCH);
        else if (IS_LOB_CTYPE(dc->ctype))
            rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, (ub4)(i + 1),
                                arrays ? (void *)dc->valp : (void *)&dc->valp,
                                (sb4)sizeof(OCILobLocator *), dty, dc->indp, dc->alenp, dc->rcodep,
                                OCI_DEFAULT);
        else
            rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, (ub4)(i + 1), dc->valp,
                                (sb4)dc->vsz, dty, dc->indp, dc->alenp, dc->rcodep,
                                OCI_DEFAULT);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            define_failed(w, "OCIDefineByPos");
            goto fail;
        }
        if (arrays) {
            ub4 skip = IS_LOB_CTYPE(dc->ctype) ? (ub4)sizeof(OCILobLocator *) : dc->vsz;
            rc = OCIDefineArrayOfStruct(defnp, w->env.errhp, skip, 2, 2, 2);
            if (check_error(&w->env, rc) != CHECK_SUCCESS) {
                fprintf(stderr, "OCIDefineArrayOfStruct");
                goto fail;
            }
        }
        if ((dc->flag & DEFINE_LOB_ARRAY) && set_lob_prefetch(w, defnp) != 0) goto fail;
    }
    if (reread) {
        OCIDefine *defnp = NULL;
        rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, (ub4)(ncol + 1), w->rowids, ROWID_TEXT_SIZE,
                            SQLT_STR, NULL, NULL, NULL, OCI_DEFAULT);
        if (check_error(&w->env, rc) == CHECK_SUCCESS)
            rc = OCIDefineArrayOfStruct(defnp, w->env.errhp, ROWID_TEXT_SIZE, 0, 0, 0);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            define_failed(w, "OCIDefineByPos");
            goto fail;
        }
        if (prepare_reread(w, reread_stmt, rlen, (ub2)convert_to_sqlt((int)w->reread_dc->ctype)) != 0)
            goto fail;
    }

    /* The column block takes its file form. */
    for (int k = 0; k < ncol; k++) {
        uint8_t *rec = (uint8_t *)w->colp + sizeof(COL_INFO) * (size_t)k;
        COL_INFO ci = column_record(w, k);
        put_be32(rec + offsetof(COL_INFO, ctype), ci.ctype);
        put_be32(rec + offsetof(COL_INFO, clen), ci.clen);
    }

    w->nrow = 0;
    EXP_ASSERT_CACHE(w);
    return 0;

fail:
    free_lob_locator(w, tab);
    return -1;
}
