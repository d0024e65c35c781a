/*
 * prepare_insert.c - builds and prepares a table's INSERT statement and
 * lays out and binds its bind descriptors and arrays in the bind area.
 */
#include <assert.h>
#include <string.h>

#include "imp_local.h"
#include "quote_name.h"
#include "table_name.h"

static size_t align8(size_t n)
{
    return (n + 7) & ~(size_t)7;
}

/* Column kinds in the order the row records hold them. */
static int is_ordinary(uint32_t ctype)
{
    return !IS_LOB_CTYPE(ctype) && !IS_LONG_CTYPE(ctype);
}

static char *put_text(char *s, const char *txt)
{
    size_t n = strlen(txt);
    memcpy(s, txt, n);
    return s + n;
}

/* Appends ":first,...,:last" */
static char *put_placeholders(char *s, uint32_t first, uint32_t last)
{
    for (uint32_t k = first; k <= last; k++)
        s += sprintf(s, k < last ? ":%u," : ":%u", k);
    return s;
}

/* Fills descriptor k for column record c and appends its quoted name. */
static char *add_column(IMP_WORKER *w, char *s, uint32_t k, const COL_INFO *c, uint32_t flag, int first)
{
    BIND_COLUMN *b = &w->bc[k];
    b->flag = flag;
    b->vsz = flag == BIND_ORDINARY && is_ordinary(c->ctype) ? value_buffer_size(c->ctype, c->clen) : 0;
    b->ctype = c->ctype;
    if (!first) *s++ = ',';
    return imp_put_quoted(s, c->col_name);
}

/* The most room the statement text can take: every name may double when
 * its quotes are escaped, every placeholder takes at most 12 bytes. */
static size_t text_room(const IMP_WORKER *w, const IMP_TABLE *t, uint32_t tcol)
{
    return 64 + 2 * strlen(w->run->owner_name) + 2 * strlen(TABLE_NAME(t)) +
           (size_t)tcol * (2 * sizeof(w->colp->col_name) + 3 + 12);
}

static int bind_failed(IMP_WORKER *w, const char *call)
{
    fprintf(stderr, "%s()\n%s\n", call, get_ora_message(&w->env));
    return -1;
}

static int bind_columns(IMP_WORKER *w, const TAB_INFO *t)
{
    uint32_t ncol = t->ncol, tcol = t->ncol + (w->whole_lobs ? 0 : t->nlob);

    for (uint32_t k = 0; k < tcol; k++) {
        BIND_COLUMN *b = &w->bc[k];
        OCIBind *bindp = NULL;
        ub2 sqlt = (ub2)convert_to_sqlt((int)b->ctype);
        void *valuep = b->valp;
        sb4 value_sz = (sb4)b->vsz;
        ub4 mode = OCI_DEFAULT;

        if (k >= ncol) { /* RETURNING: the locator in valp receives the new LOB */
            valuep = &b->valp;
            value_sz = (sb4)sizeof(OCILobLocator *);
        } else if (b->flag == BIND_LOB) {
            /* a new empty LOB, or the temporary LOB of a value bound whole */
            if (!b->valp) b->valp = (uint8_t *)w->empty_lobp;
            valuep = &b->valp;
            value_sz = (sb4)sizeof(OCILobLocator *);
        } else if (b->flag == BIND_LONG) {
            valuep = NULL;
            value_sz = 0x7FFFFFFF;
            mode = OCI_DATA_AT_EXEC;
        }
        sword st = OCIBindByPos(w->env.smthp, &bindp, w->env.errhp, k + 1, valuep, value_sz, sqlt,
                                b->indp, b->alenp, b->rcodep, 0, NULL, mode);
        if (check_error(&w->env, st) != CHECK_SUCCESS) return bind_failed(w, "OCIBindByPos");
        if (k < ncol && t->flag == 0) {
            st = OCIBindArrayOfStruct(bindp, w->env.errhp, b->vsz, sizeof(sb2), sizeof(ub2),
                                      sizeof(ub2));
            if (check_error(&w->env, st) != CHECK_SUCCESS) {
                fputs("OCIBindArrayOfStruct", stderr);
                return -1;
            }
        }
        if (k < ncol && IS_NATIONAL_CTYPE(b->ctype)) {
            /* national character data must travel in the national form */
            ub1 form = SQLCS_NCHAR;
            st = OCIAttrSet(bindp, OCI_HTYPE_BIND, &form, 0, OCI_ATTR_CHARSET_FORM, w->env.errhp);
            if (check_error(&w->env, st) != CHECK_SUCCESS) return bind_failed(w, "OCIAttrSet");
        }
    }
    return 0;
}

int prepare_insert(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    const COL_INFO *cols = w->colp;
    uint32_t ncol = t->ncol;
    uint8_t *area = w->abuf;
    size_t asz = (size_t)w->asz;

    /* RETURNING locators, unless the LOB values go whole into the INSERT */
    w->whole_lobs = (t->flag & TAB_HAS_LOB) ? imp_whole_lobs(w, TABLE_NAME(table)) : 0;
    uint32_t tcol = ncol + (w->whole_lobs ? 0 : t->nlob);

    /* Layout: descriptors, the statement text (kept for the life of the
     * statement), then the value area. */
    size_t desc_sz = align8((size_t)tcol * sizeof(BIND_COLUMN));
    size_t text_sz = align8(text_room(w, table, tcol));
    if (desc_sz + text_sz + 32 * (size_t)tcol >= asz) {
        fprintf(stderr, "Table %s: too many columns for the bind area.\n", TABLE_NAME(table));
        return -1;
    }
    w->bc = (BIND_COLUMN *)area;
    memset(area, 0, desc_sz);
    char *text = (char *)area + desc_sz;
    uint8_t *value_area = area + desc_sz + text_sz;
    size_t value_sz = asz - desc_sz - text_sz;

    char *s = put_text(text, "insert into ");
    s = imp_put_quoted(s, w->run->owner_name);
    *s++ = '.';
    s = imp_put_quoted(s, TABLE_NAME(table));
    s = put_text(s, " (");
    /* Select order: ordinary columns, then LOB columns, then the LONG one. */
    uint32_t k = 0;
    for (int pass = 0; pass < 3; pass++) {
        for (uint32_t i = 0; i < ncol; i++) {
            uint32_t ct = cols[i].ctype;
            int kind = is_ordinary(ct) ? 0 : IS_LOB_CTYPE(ct) ? 1 : 2;
            if (kind != pass) continue;
            uint32_t flag = kind == 0 ? BIND_ORDINARY : kind == 1 ? BIND_LOB : BIND_LONG;
            s = add_column(w, s, k, &cols[i], flag, k == 0);
            k++;
        }
    }
    s = put_text(s, ")\nvalues\n(");
    s = put_placeholders(s, 1, ncol);
    s = put_text(s, ")\n");
    if ((t->flag & TAB_HAS_LOB) && !w->whole_lobs) {
        s = put_text(s, "returning\n");
        for (uint32_t i = 0; i < ncol; i++) {
            if (!IS_LOB_CTYPE(cols[i].ctype)) continue;
            s = add_column(w, s, k, &cols[i], BIND_ORDINARY, k == ncol);
            k++;
        }
        s = put_text(s, "\ninto\n");
        s = put_placeholders(s, ncol + 1, tcol);
    }

    /* Rows per execution: each descriptor takes its value width plus an
     * indicator, a length and a return code per row, and up to 32 bytes of
     * alignment for its four arrays. */
    uint64_t per_row = 0, row_len = 2;
    for (k = 0; k < tcol; k++) per_row += (uint64_t)w->bc[k].vsz + 6;
    for (k = 0; k < ncol; k++) row_len += (uint64_t)w->bc[k].vsz + 2;
    if (t->flag == 0) row_len += 2;
    uint64_t nrows = (value_sz - 32 * (uint64_t)tcol) / per_row;
    if (nrows == 0) {
        fprintf(stderr, "Table %s: a row needs more room than the bind area.\n", TABLE_NAME(table));
        return -1;
    }
    if (row_len > (uint64_t)IMP_WINDOW_SIZE) {
        fprintf(stderr, "Table %s: a row needs more room than the read window.\n", TABLE_NAME(table));
        return -1;
    }

    sword st = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)text, (ub4)(s - text),
                              OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(&w->env, st) != CHECK_SUCCESS) return bind_failed(w, "OCIStmtPrepare");

    size_t p = 0;
    for (k = 0; k < tcol; k++) {
        BIND_COLUMN *b = &w->bc[k];
        p = align8(p);
        b->valp = b->vsz ? value_area + p : NULL;
        p += (size_t)b->vsz * nrows;
        p = align8(p);
        b->indp = (sb2 *)(value_area + p);
        p += sizeof(sb2) * nrows;
        p = align8(p);
        b->alenp = (ub2 *)(value_area + p);
        p += sizeof(ub2) * nrows;
        p = align8(p);
        b->rcodep = (ub2 *)(value_area + p);
        p += sizeof(ub2) * nrows;
    }
    assert(p <= value_sz);

    for (k = ncol; k < tcol; k++) {
        void *lp = NULL;
        st = OCIDescriptorAlloc(w->env.envhp, &lp, OCI_DTYPE_LOB, 0, NULL);
        if (check_error(&w->env, st) != CHECK_SUCCESS) {
            fprintf(stderr, "Lob Locator - OCIDescriptorAlloc\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        w->bc[k].valp = lp;
    }
    if (t->nlob > 0) {
        ub4 lob_empty = 0;
        void *lp = NULL;
        st = OCIDescriptorAlloc(w->env.envhp, &lp, OCI_DTYPE_LOB, 0, NULL);
        if (check_error(&w->env, st) != CHECK_SUCCESS) return bind_failed(w, "OCIDescriptorAlloc");
        w->empty_lobp = lp;
        st = OCIAttrSet(w->empty_lobp, OCI_DTYPE_LOB, &lob_empty, 0, OCI_ATTR_LOBEMPTY, w->env.errhp);
        if (check_error(&w->env, st) != CHECK_SUCCESS) return bind_failed(w, "OCIAttrSet");
    }
    if (w->whole_lobs && imp_lob_temps_begin(w, t) < 0) return -1;
    if (bind_columns(w, t) < 0) return -1;

    w->max_row = (int)nrows;
    w->nrow = 0;
    return 0;
}
