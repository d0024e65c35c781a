/*
 * prepare_insert.c - builds and prepares a table's INSERT statement and
 * lays out and binds its bind descriptors and arrays in the bind area:
 * rows in arrays for a table without LONG or LOB columns, for one whose
 * LOB values go in them as data, and for one whose short LONG values do
 * (each with a second statement for the rows that go alone); a row at a
 * time for the others.
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

/* Fills the descriptors bc[0..ncol) in select order (ordinary columns,
 * then LOB columns, then the LONG one), each LOB column bound as `lob`,
 * and, when `returning`, bc[ncol..) for the RETURNING locators; writes the
 * statement text at text and returns its end. */
static char *build_insert(IMP_WORKER *w, const IMP_TABLE *table, BIND_COLUMN *bc, uint32_t lob, int returning,
                          char *text)
{
    const TAB_INFO *t = &table->info;
    const COL_INFO *cols = w->colp;
    uint32_t ncol = t->ncol, k = 0;
    char *s = put_text(text, "insert into ");
    s = imp_put_quoted(s, w->run->owner_name);
    *s++ = '.';
    s = imp_put_quoted(s, TABLE_NAME(table));
    s = put_text(s, " (");
    for (int pass = 0; pass < 3; pass++) {
        for (uint32_t i = 0; i < ncol; i++) {
            uint32_t ct = cols[i].ctype;
            int kind = is_ordinary(ct) ? 0 : IS_LOB_CTYPE(ct) ? 1 : 2;
            if (kind != pass) continue;
            BIND_COLUMN *b = &bc[k];
            b->flag = kind == 0 ? BIND_ORDINARY : kind == 1 ? lob : BIND_LONG;
            b->vsz = kind == 0 ? value_buffer_size(ct, cols[i].clen) : b->flag == BIND_LOB_DATA ? 4 + LOB_ARRAY_BOUND : 0;
            b->ctype = ct;
            if (k++ > 0) *s++ = ',';
            s = imp_put_quoted(s, cols[i].col_name);
        }
    }
    s = put_text(s, ")\nvalues\n(");
    s = put_placeholders(s, 1, ncol);
    s = put_text(s, ")\n");
    if (returning) {
        s = put_text(s, "returning\n");
        for (uint32_t i = 0; i < ncol; i++) {
            if (!IS_LOB_CTYPE(cols[i].ctype)) continue;
            bc[k].flag = BIND_ORDINARY;
            bc[k].vsz = 0;
            bc[k].ctype = cols[i].ctype;
            if (k > ncol) *s++ = ',';
            s = imp_put_quoted(s, cols[i].col_name);
            k++;
        }
        s = put_text(s, "\ninto\n");
        s = put_placeholders(s, ncol + 1, k);
    }
    return s;
}

/* Places the arrays of descriptors bc[from..to) for nrows rows at area + *p
 * (a descriptor that already has its arrays keeps them). */
static void place_arrays(BIND_COLUMN *bc, uint32_t from, uint32_t to, uint64_t nrows, uint8_t *area, size_t *p)
{
    for (uint32_t k = from; k < to; k++) {
        BIND_COLUMN *b = &bc[k];
        if (b->indp) continue;
        *p = align8(*p);
        b->valp = b->vsz ? area + *p : NULL;
        *p += (size_t)b->vsz * nrows;
        *p = align8(*p);
        b->indp = (sb2 *)(area + *p);
        *p += sizeof(sb2) * nrows;
        *p = align8(*p);
        b->alenp = (ub2 *)(area + *p);
        *p += sizeof(ub2) * nrows;
        *p = align8(*p);
        b->rcodep = (ub2 *)(area + *p);
        *p += sizeof(ub2) * nrows;
    }
}

/* Binds the descriptors bc[0..tcol) of the prepared statement stmt: input
 * values at 0..ncol, RETURNING locators after them; in arrays when
 * `arrays`. The LOB columns of `skip` (bit m: the m-th LOB column, at
 * first_lob + m) have no placeholder. */
static int bind_columns(IMP_WORKER *w, OCIStmt *stmt, BIND_COLUMN *bc, uint32_t ncol, uint32_t tcol, int arrays,
                        uint32_t skip, uint32_t first_lob)
{
    ub4 pos = 0;
    for (uint32_t k = 0; k < tcol; k++) {
        BIND_COLUMN *b = &bc[k];
        OCIBind *bindp = NULL;
        if (k >= first_lob && k < ncol && k - first_lob < 32 && ((skip >> (k - first_lob)) & 1)) continue;
        pos++;
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
        } else if (b->flag == BIND_LOB_DATA) {
            /* the value as data: its length (an sb4), then its bytes */
            sqlt = b->ctype == CTYPE_BLOB ? SQLT_LVB : SQLT_LVC;
        } else if (b->flag == BIND_LONG_DATA) {
            /* a short value as data, in arrays: never a long bind */
            sqlt = b->ctype == CTYPE_LONG_RAW ? SQLT_BIN : SQLT_CHR;
        } else if (b->flag == BIND_LONG) {
            valuep = NULL;
            value_sz = 0x7FFFFFFF;
            mode = OCI_DATA_AT_EXEC;
        }
        sword st = OCIBindByPos(stmt, &bindp, w->env.errhp, pos, valuep, value_sz, sqlt,
                                b->indp, b->alenp, b->rcodep, 0, NULL, mode);
        if (check_error(&w->env, st) != CHECK_SUCCESS) return bind_failed(w, "OCIBindByPos");
        if (k < ncol && arrays) {
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

static int prepare_text(IMP_WORKER *w, OCIStmt *stmt, const char *text, const char *end)
{
    sword st = OCIStmtPrepare(stmt, w->env.errhp, (const OraText *)text, (ub4)(end - text), OCI_NTV_SYNTAX,
                              OCI_DEFAULT);
    if (check_error(&w->env, st) != CHECK_SUCCESS) return bind_failed(w, "OCIStmtPrepare");
    return 0;
}

/* Rows per execution of an array layout: each descriptor takes its value
 * width plus an indicator, a length and a return code per row, and up to
 * 32 bytes of alignment for its four arrays. */
static uint64_t rows_that_fit(const BIND_COLUMN *bc, uint32_t n, size_t room)
{
    uint64_t per_row = 0;
    for (uint32_t k = 0; k < n; k++) per_row += (uint64_t)bc[k].vsz + 6;
    uint64_t gaps = 32 * (uint64_t)n;
    return room > gaps ? (room - gaps) / per_row : 0;
}

int prepare_insert(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    uint32_t ncol = t->ncol;
    uint8_t *area = w->abuf;
    size_t asz = (size_t)w->asz;

    w->whole_lobs = (t->flag & TAB_HAS_LOB) ? imp_whole_lobs(w, TABLE_NAME(table)) : 0;
    w->lob_arrays = 0;
    w->long_arrays = 0;
    w->row_smthp = w->env.smthp;
    w->long_buf = NULL;
    w->long_cap = 0;
    w->long_whole = 0;
    w->held = NULL;
    /* The statement of the rows that go alone: RETURNING locators, unless
     * the LOB values go whole into the INSERT. */
    uint32_t tcol = ncol + (w->whole_lobs ? 0 : t->nlob);

    /* Layout: descriptors (bc, then rbc for the rows that go alone, then
     * what their LOB slots hold), the statement texts (kept for the life
     * of the statements), then the value area. */
    size_t desc_sz = align8((size_t)tcol * sizeof(BIND_COLUMN));
    size_t held_sz = align8((size_t)t->nlob * sizeof(IMP_HELD));
    size_t text_sz = align8(text_room(w, table, tcol));
    size_t variant_sz = t->flag == TAB_HAS_LOB ? align8(IMP_VARIANTS * sizeof(IMP_VARIANT)) + IMP_VARIANTS * text_sz : 0;
    size_t fixed = 2 * desc_sz + held_sz + 2 * text_sz + variant_sz;
    if (fixed + 64 * (size_t)tcol >= asz) {
        fprintf(stderr, "Table %s: too many columns for the bind area.\n", TABLE_NAME(table));
        return -1;
    }
    w->bc = (BIND_COLUMN *)area;
    w->rbc = (BIND_COLUMN *)(area + desc_sz);
    w->held = t->nlob ? (IMP_HELD *)(area + 2 * desc_sz) : NULL;
    memset(area, 0, 2 * desc_sz + held_sz);
    char *text = (char *)area + 2 * desc_sz + held_sz;
    char *row_text = text + text_sz;
    w->variants = NULL;
    if (variant_sz) {
        w->variants = (IMP_VARIANT *)(void *)(row_text + text_sz);
        char *vt = (char *)w->variants + align8(IMP_VARIANTS * sizeof(IMP_VARIANT));
        for (int v = 0; v < IMP_VARIANTS; v++) {
            w->variants[v].pattern = 0;
            w->variants[v].stmt = NULL;
            w->variants[v].text = vt + (size_t)v * text_sz;
            w->variants[v].used = 0;
        }
    }
    uint8_t *value_area = area + fixed;
    size_t value_sz = asz - fixed;
    size_t p = 0;

    /* LOB values as data in arrays: a table of LOB columns and no LONG,
     * when two rows of such values fit the bind area. */
    char *s;
    uint64_t nrows = 0;
    if (t->flag == TAB_HAS_LOB && !rows_one_at_a_time()) {
        s = build_insert(w, table, w->bc, BIND_LOB_DATA, 0, text);
        /* room for the single row's own descriptors below */
        nrows = rows_that_fit(w->bc, ncol, value_sz > 64 * (size_t)tcol ? value_sz - 64 * (size_t)tcol : 0);
        w->lob_arrays = nrows >= 2;
        if (w->lob_arrays && prepare_text(w, w->env.smthp, text, s) < 0) return -1;
        /* what the variants for empty LOB values share: up to the values */
        w->insert_head = text;
        w->insert_head_len = (uint32_t)(strstr(text, "values\n(") + 8 - text);
    }
    /* Short LONG values as data in arrays: a table of one LONG column and
     * no LOB, when two rows fit beside the buffer of a longer value. */
    size_t long_room = 0;
    if (t->flag == TAB_HAS_LONG && !rows_one_at_a_time()) {
        s = build_insert(w, table, w->bc, BIND_LOB, 0, text);
        w->bc[ncol - 1].flag = BIND_LONG_DATA;
        w->bc[ncol - 1].vsz = IMP_LONG_ARRAY_BOUND;
        long_room = align8(value_sz / 4 > IMP_LONG_WHOLE ? IMP_LONG_WHOLE : value_sz / 4);
        size_t reserved = long_room + 64 * (size_t)tcol;
        nrows = rows_that_fit(w->bc, ncol, value_sz > reserved ? value_sz - reserved : 0);
        w->long_arrays = nrows >= 2;
        if (w->long_arrays && prepare_text(w, w->env.smthp, text, s) < 0) return -1;
    }
    if (w->long_arrays) {
        place_arrays(w->bc, 0, ncol, nrows, value_area, &p);
        /* The rows with longer values: a statement of their own, whose
         * other binds are row 0 of the arrays. */
        void *h = NULL;
        if (OCIHandleAlloc(w->env.envhp, &h, OCI_HTYPE_STMT, 0, NULL) != OCI_SUCCESS) {
            fprintf(stderr, "OCIHandleAlloc() of a statement failed.\n");
            return -1;
        }
        w->row_smthp = (OCIStmt *)h;
        s = build_insert(w, table, w->rbc, BIND_LOB, 0, row_text);
        for (uint32_t k = 0; k + 1 < ncol; k++) w->rbc[k] = w->bc[k];
        place_arrays(w->rbc, 0, ncol, 1, value_area, &p);
        if (prepare_text(w, w->row_smthp, row_text, s) < 0) return -1;
        p = align8(p);
        w->long_buf = value_area + p;
        w->long_cap = (uint32_t)long_room;
        p += long_room;
    } else if (w->lob_arrays) {
        place_arrays(w->bc, 0, ncol, nrows, value_area, &p);
        /* The rows that go alone: a statement of their own, whose ordinary
         * binds are row 0 of the arrays. */
        void *h = NULL;
        if (OCIHandleAlloc(w->env.envhp, &h, OCI_HTYPE_STMT, 0, NULL) != OCI_SUCCESS) {
            fprintf(stderr, "OCIHandleAlloc() of a statement failed.\n");
            return -1;
        }
        w->row_smthp = (OCIStmt *)h;
        s = build_insert(w, table, w->rbc, BIND_LOB, !w->whole_lobs, row_text);
        for (uint32_t k = 0; k < ncol; k++) {
            if (w->rbc[k].flag != BIND_ORDINARY) continue;
            w->rbc[k] = w->bc[k];
        }
        place_arrays(w->rbc, 0, tcol, 1, value_area, &p);
        if (prepare_text(w, w->row_smthp, row_text, s) < 0) return -1;
    } else {
        memset(w->bc, 0, desc_sz);
        s = build_insert(w, table, w->bc, BIND_LOB, (t->flag & TAB_HAS_LOB) && !w->whole_lobs, text);
        nrows = t->flag == 0 ? rows_that_fit(w->bc, tcol, value_sz) : 1;
        if (nrows == 0) {
            fprintf(stderr, "Table %s: a row needs more room than the bind area.\n", TABLE_NAME(table));
            return -1;
        }
        if (prepare_text(w, w->env.smthp, text, s) < 0) return -1;
        place_arrays(w->bc, 0, tcol, nrows, value_area, &p);
        w->rbc = w->bc;
        /* What is left holds a LONG value that goes in one piece. */
        if ((t->flag & TAB_HAS_LONG) && !rows_one_at_a_time()) {
            p = align8(p);
            w->long_buf = value_area + p;
            w->long_cap = value_sz - p > IMP_LONG_WHOLE ? IMP_LONG_WHOLE : (uint32_t)(value_sz - p);
            p += w->long_cap;
        }
    }
    assert(p <= value_sz);

    uint64_t row_len = 2;
    for (uint32_t k = 0; k < ncol; k++)
        row_len += (uint64_t)(w->bc[k].flag == BIND_LOB_DATA || w->bc[k].flag == BIND_LONG_DATA ? 0 : w->bc[k].vsz) + 2;
    if (t->flag == 0) row_len += 2;
    if (row_len > (uint64_t)IMP_WINDOW_SIZE) {
        fprintf(stderr, "Table %s: a row needs more room than the read window.\n", TABLE_NAME(table));
        return -1;
    }

    for (uint32_t k = ncol; k < tcol; k++) {
        void *lp = NULL;
        sword st = OCIDescriptorAlloc(w->env.envhp, &lp, OCI_DTYPE_LOB, 0, NULL);
        if (check_error(&w->env, st) != CHECK_SUCCESS) {
            fprintf(stderr, "Lob Locator - OCIDescriptorAlloc\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        w->rbc[k].valp = lp;
    }
    if (t->nlob > 0) {
        ub4 lob_empty = 0;
        void *lp = NULL;
        sword st = OCIDescriptorAlloc(w->env.envhp, &lp, OCI_DTYPE_LOB, 0, NULL);
        if (check_error(&w->env, st) != CHECK_SUCCESS) return bind_failed(w, "OCIDescriptorAlloc");
        w->empty_lobp = lp;
        st = OCIAttrSet(w->empty_lobp, OCI_DTYPE_LOB, &lob_empty, 0, OCI_ATTR_LOBEMPTY, w->env.errhp);
        if (check_error(&w->env, st) != CHECK_SUCCESS) return bind_failed(w, "OCIAttrSet");
    }
    if (w->whole_lobs && imp_lob_temps_begin(w, t) < 0) return -1;
    if (w->lob_arrays || w->long_arrays) {
        if (bind_columns(w, w->env.smthp, w->bc, ncol, ncol, 1, 0, 0) < 0) return -1;
        if (bind_columns(w, w->row_smthp, w->rbc, ncol, tcol, 0, 0, 0) < 0) return -1;
    } else if (bind_columns(w, w->env.smthp, w->bc, ncol, tcol, t->flag == 0, 0, 0) < 0) {
        return -1;
    }

    w->max_row = (int)nrows;
    w->nrow = 0;
    return 0;
}

int imp_variant_statement(IMP_WORKER *w, uint32_t pattern, OCIStmt **stmt)
{
    const TAB_INFO *t = &w->table->info;
    uint32_t ncol = t->ncol, first_lob = ncol - t->nlob;
    IMP_VARIANT *v = &w->variants[0];
    uint64_t clock = 0;
    for (int i = 0; i < IMP_VARIANTS; i++) clock = w->variants[i].used > clock ? w->variants[i].used : clock;
    for (int i = 0; i < IMP_VARIANTS; i++) {
        IMP_VARIANT *c = &w->variants[i];
        if (c->pattern == pattern) {
            c->used = ++clock;
            *stmt = c->stmt;
            return 0;
        }
        if (c->used < v->used) v = c;
    }
    /* the slot used longest ago */
    if (!v->stmt) {
        void *h = NULL;
        if (OCIHandleAlloc(w->env.envhp, &h, OCI_HTYPE_STMT, 0, NULL) != OCI_SUCCESS) {
            fprintf(stderr, "OCIHandleAlloc() of a statement failed.\n");
            return -1;
        }
        v->stmt = (OCIStmt *)h;
    }
    v->pattern = 0;
    char *s = v->text;
    memcpy(s, w->insert_head, w->insert_head_len);
    s += w->insert_head_len;
    for (uint32_t k = 0, pos = 0; k < ncol; k++) {
        if (k > 0) *s++ = ',';
        if (k >= first_lob && ((pattern >> (k - first_lob)) & 1))
            s = put_text(s, w->bc[k].ctype == CTYPE_BLOB ? "EMPTY_BLOB()" : "EMPTY_CLOB()");
        else
            s += sprintf(s, ":%u", ++pos);
    }
    s = put_text(s, ")\n");
    if (prepare_text(w, v->stmt, v->text, s) < 0) return -1;
    if (bind_columns(w, v->stmt, w->bc, ncol, ncol, 1, pattern, first_lob) < 0) return -1;
    v->pattern = pattern;
    v->used = ++clock;
    *stmt = v->stmt;
    return 0;
}

void imp_variants_end(IMP_WORKER *w)
{
    for (int i = 0; w->variants && i < IMP_VARIANTS; i++) {
        if (w->variants[i].stmt) OCIHandleFree(w->variants[i].stmt, OCI_HTYPE_STMT);
        w->variants[i].stmt = NULL;
        w->variants[i].pattern = 0;
    }
    w->variants = NULL;
}
