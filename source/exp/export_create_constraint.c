/*
 * export_create_constraint.c - writes one ALTER TABLE text block per
 * primary key of a table, then the table's gathered statements (the
 * NOT NULL constraints its text lacks, UNIQUE and CHECK constraints,
 * comments, the identity's restart), then the zero word that ends the
 * table section.
 */
#include <stdio.h>
#include <string.h>

#include "exp_local.h"
#include "table_meta.h"

/* Whether the column item of `column` in the table's text already makes
 * it NOT NULL: a server that keeps NOT NULL inline, or a column that gets
 * its NOT NULL with its creation (an identity, DEFAULT ON NULL), where a
 * second one would fail with ORA-01442. */
typedef struct {
    const char *column;
    int found;
} NN_CHECK;

static int inline_not_null(void *ctx, const char *name, size_t nlen, const char *item, size_t ilen)
{
    NN_CHECK *c = (NN_CHECK *)ctx;
    if (strlen(c->column) != nlen || memcmp(name, c->column, nlen) != 0) return 0;
    const char *rest = item + nlen;
    size_t rlen = ilen - nlen;
    c->found = find_words(rest, rlen, "NOT", "NULL") >= 0 || find_words(rest, rlen, "ON", "NULL") >= 0 ||
               find_words(rest, rlen, "IDENTITY", NULL) >= 0;
    return 1;
}

static int put_text(EXP_WORKER *w, const char *text, size_t len)
{
    if (cache_room(w, (int)len + 2) != 0) return -1;
    cache_put16(w, (uint16_t)len);
    memcpy(w->cache + w->ctail, text, len);
    w->ctail += (int)len;
    return 0;
}

int write_table_objects(EXP_WORKER *w, const EXP_TABLE *tab)
{
    const EXP_RUN *run = w->run;
    int end, i = objects_of(run, (int)(tab - run->tabs), &end);
    w->ctail = 0;
    for (; i < end; i++) {
        const OBJ_STMT *o = &run->objs[i];
        if (o->order == OBJ_NOT_NULL) {
            NN_CHECK c = {o->column, 0};
            each_column_item(w->table_text, w->table_text_len, inline_not_null, &c);
            if (c.found) continue;
        }
        if (put_text(w, o->text, o->len) != 0) return -1;
    }
    if (w->identity_col[0] != '\0') {
        char esc[ESC_NAME_SIZE], text[3 * ESC_NAME_SIZE + 128];
        sql_escape(esc, sizeof(esc), exp_table_name(tab), '"');
        snprintf(text, sizeof(text),
                 "ALTER TABLE \"%s\" MODIFY (%s GENERATED %s AS IDENTITY (START WITH LIMIT VALUE))",
                 esc, w->identity_col, w->identity_kind);
        if (put_text(w, text, strlen(text)) != 0) return -1;
    }
    return 0;
}


/* The gathered statements and the section's end mark. */
static int end_section(EXP_WORKER *w, EXP_TABLE *tab)
{
    if (write_table_objects(w, tab) != 0) return -1;
    if (cache_room(w, 2) != 0) return -1;
    cache_put16(w, MARK_END);
    if (write_cache(w) != 0) {
        fprintf(stderr, "Write cached data to file error.\n");
        return -1;
    }
    return 0;
}

int export_create_constraint_sql(EXP_WORKER *w, EXP_TABLE *tab)
{
    char sqltxt[1024];
    ub2 alen = 0;
    int ret;
    sword rc;

    TABLE_META *m = NULL;
    if (table_meta(w, tab, &m) != 0) return -1;
    if (m && m->key.ok) {
        size_t at = 0;
        for (const char *text; (text = meta_next(&m->key, &at)) != NULL;) {
            /* texts of a batch are shorter than the fetch buffer */
            memcpy(w->cache + 2, text, strlen(text) + 1);
            if (put_fetched_ddl(w, tab, 'C', "primary key") != 0) return -1;
        }
        return end_section(w, tab);
    }
    snprintf(sqltxt, sizeof(sqltxt),
             "select DBMS_METADATA.GET_DDL('CONSTRAINT', CONSTRAINT_NAME, OWNER)\n"
             "from ALL_CONSTRAINTS\n"
             "where OWNER=:1\n"
             "and TABLE_NAME=:2\n"
             "and CONSTRAINT_TYPE='P'\n"
             /* an index-organized table's key is part of its CREATE TABLE */
             "and not exists (select 1 from ALL_TABLES t where t.OWNER=ALL_CONSTRAINTS.OWNER\n"
             "     and t.TABLE_NAME=ALL_CONSTRAINTS.TABLE_NAME and t.IOT_TYPE='IOT')\n");
    if (open_table_ddl_query(w, sqltxt, &alen, tab) != 0) return -1;

    for (;;) {
        rc = OCIStmtFetch(w->env.smthp, w->env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        ret = check_error(&w->env, rc);
        if (ret == CHECK_NO_DATA) return end_section(w, tab);
        if (ret != CHECK_SUCCESS) {
            fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        if (put_fetched_ddl(w, tab, 'C', "primary key") != 0) return -1;
    }
}
