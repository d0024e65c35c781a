/*
 * export_column_info.c - reads a table's columns from the data dictionary
 * and builds its column block in the write cache behind the table DDL;
 * classifies the table as multi-row or single-row.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"
#include "table_meta.h"

/* One output column of the dictionary query, laid out for n rows. */
typedef struct {
    ub4 width;
    char *val;
    sb2 *ind;
    ub2 *len;
    ub2 *rcode;
} DICT_COL;

static uint8_t *lay_out(DICT_COL *c, ub4 width, ub4 n, uint8_t *p)
{
    c->width = width;
    c->val = (char *)align8(p);
    c->ind = (sb2 *)(c->val + (size_t)width * n);
    c->len = (ub2 *)align8((uint8_t *)(c->ind + n));
    c->rcode = (ub2 *)align8((uint8_t *)(c->len + n));
    return (uint8_t *)(c->rcode + n);
}

/* Adds column k of the block from its dictionary values, cut as the
 * per-table query's buffers cut them. Returns 0 or -1 (message printed). */
static int add_column(EXP_WORKER *w, EXP_TABLE *tab, uint8_t *block, int k, const char *name,
                      const char *type, const char *dlen)
{
    char n[32], t[128], d[16];
    COL_INFO ci;
    snprintf(n, sizeof(n), "%s", name);
    snprintf(t, sizeof(t), "%s", type);
    snprintf(d, sizeof(d), "%s", dlen);
    /* The column block must stay inside the cache. */
    if (w->ctail + (int)sizeof(COL_INFO) * (k + 1) > w->csz) {
        fprintf(stderr, "Too many columns in table \"%s\".\n", exp_table_name(tab));
        return -1;
    }
    memset(&ci, 0, sizeof(ci));
    ci.ctype = (uint32_t)convert_type_to_int(t);
    ci.clen = (uint32_t)strtoul(d, NULL, 10);
    _Static_assert(sizeof(ci.col_name) >= sizeof(n), "a cut name fits the entry");
    memcpy(ci.col_name, n, strlen(n));
    if (ci.ctype == CTYPE_UNSUPPORTED) {
        fprintf(stderr, "Data type \"%s\" not supported.\n", t);
        return -1;
    }
    if (IS_LONG_CTYPE(ci.ctype)) tab->info.flag |= TAB_HAS_LONG;
    if (IS_LOB_CTYPE(ci.ctype)) tab->info.flag |= TAB_HAS_LOB;
    /* The block follows the DDL text at any byte position: copy. */
    memcpy(block + sizeof(COL_INFO) * (size_t)k, &ci, sizeof(ci));
    return 0;
}

/* The block is complete with k columns. */
static int end_columns(EXP_WORKER *w, EXP_TABLE *tab, uint8_t *block, int k)
{
    w->colp = (COL_INFO *)block;
    tab->info.ncol = (uint32_t)k;
    w->ctail += (int)sizeof(COL_INFO) * k;
    /* where the section begins; a parallel run moves it to the section's
     * place in the dump */
    tab->info.offset = w->data_ofs;
    EXP_ASSERT_CACHE(w);
    return 0;
}

int export_column_information(EXP_WORKER *w, EXP_TABLE *tab)
{
    char sqltxt[512];
    DICT_COL cols[3];
    static const ub4 widths[3] = {32, 128, 16};
    uint8_t *block = w->cache + w->ctail;
    int k = 0, ret;
    sword rc;

    TABLE_META *m = NULL;
    if (table_meta(w, tab, &m) != 0) return -1;
    if (m && m->cols.ok) {
        size_t at = 0;
        for (uint32_t c = 0; c < m->cols.n / 3; c++, k++) {
            const char *name = meta_next(&m->cols, &at);
            const char *type = meta_next(&m->cols, &at);
            const char *dlen = meta_next(&m->cols, &at);
            if (add_column(w, tab, block, k, name, type, dlen) != 0) return -1;
        }
        return end_columns(w, tab, block, k);
    }

    snprintf(sqltxt, sizeof(sqltxt),
             "select COLUMN_NAME, DATA_TYPE, DATA_LENGTH\n"
             "from ALL_TAB_COLS\n"
             "where OWNER=:1 and TABLE_NAME=:2 and HIDDEN_COLUMN='NO' and VIRTUAL_COLUMN='NO'\n"
             "order by COLUMN_ID");
    rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt,
                        (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (bind_owner_table(w, tab) != 0) return -1;

    /* 194 bytes per row for the three values and their indicator, length
     * and return code; 72 bytes cover the alignment gaps. */
    ub4 n = w->rsz > 72 ? ((ub4)w->rsz - 72u) / 194u : 0;
    if (n == 0) {
        fprintf(stderr, "No room to read the columns of \"%s\".\n", exp_table_name(tab));
        return -1;
    }
    uint8_t *p = w->rbuf;
    for (int c = 0; c < 3; c++) p = lay_out(&cols[c], widths[c], n, p);

    for (int c = 0; c < 3; c++) {
        OCIDefine *defnp = NULL;
        rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, (ub4)(c + 1), cols[c].val,
                            (sb4)cols[c].width, SQLT_STR, cols[c].ind, cols[c].len,
                            cols[c].rcode, OCI_DEFAULT);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCIDefineByPos()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        rc = OCIDefineArrayOfStruct(defnp, w->env.errhp, cols[c].width, 2, 2, 2);
        if (check_error(&w->env, rc) != CHECK_SUCCESS) {
            fprintf(stderr, "OCIDefineArrayOfStruct");
            return -1;
        }
    }

    if (execute_statement(w, 0) != 0) return -1;

    for (;;) {
        ub4 got = 0;
        ret = fetch_rows(w, n, &got);
        if (ret < 0) return -1;
        for (ub4 r = 0; r < got; r++) {
            char *name = cols[0].val + (size_t)r * 32;
            char *type = cols[1].val + (size_t)r * 128;
            char *dlen = cols[2].val + (size_t)r * 16;
            name[31] = type[127] = dlen[15] = '\0';
            if (add_column(w, tab, block, k, name, type, dlen) != 0) return -1;
            k++;
        }
        if (ret == CHECK_NO_DATA) break;
    }

    return end_columns(w, tab, block, k);
}
