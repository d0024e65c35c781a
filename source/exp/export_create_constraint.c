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

static int put_text(const char *text, size_t len)
{
    if (cache_room((int)len + 2) != 0) return -1;
    cache_put16((uint16_t)len);
    memcpy(g_exp.cache + g_exp.ctail, text, len);
    g_exp.ctail += (int)len;
    return 0;
}

int write_table_objects(int ti)
{
    int end, i = objects_of(ti, &end);
    g_exp.ctail = 0;
    for (; i < end; i++) {
        const OBJ_STMT *o = &g_objs[i];
        if (o->order == OBJ_NOT_NULL) {
            NN_CHECK c = {o->column, 0};
            each_column_item(g_table_text, g_table_text_len, inline_not_null, &c);
            if (c.found) continue;
        }
        if (put_text(o->text, o->len) != 0) return -1;
    }
    if (g_identity_col[0] != '\0') {
        char esc[ESC_NAME_SIZE], text[3 * ESC_NAME_SIZE + 128];
        sql_escape(esc, sizeof(esc), exp_table_name(ti), '"');
        snprintf(text, sizeof(text),
                 "ALTER TABLE \"%s\" MODIFY (%s GENERATED %s AS IDENTITY (START WITH LIMIT VALUE))",
                 esc, g_identity_col, g_identity_kind);
        if (put_text(text, strlen(text)) != 0) return -1;
    }
    return 0;
}

int export_create_constraint_sql(int ti)
{
    char sqltxt[1024];
    ub2 alen = 0;
    int ret;
    sword rc;

    snprintf(sqltxt, sizeof(sqltxt),
             "select DBMS_METADATA.GET_DDL('CONSTRAINT', CONSTRAINT_NAME, OWNER)\n"
             "from ALL_CONSTRAINTS\n"
             "where OWNER=:1\n"
             "and TABLE_NAME=:2\n"
             "and CONSTRAINT_TYPE='P'\n"
             /* an index-organized table's key is part of its CREATE TABLE */
             "and not exists (select 1 from ALL_TABLES t where t.OWNER=ALL_CONSTRAINTS.OWNER\n"
             "     and t.TABLE_NAME=ALL_CONSTRAINTS.TABLE_NAME and t.IOT_TYPE='IOT')\n");
    if (open_table_ddl_query(sqltxt, &alen, ti) != 0) return -1;

    for (;;) {
        rc = OCIStmtFetch(g_env.smthp, g_env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        ret = check_error(&g_env, rc);
        if (ret == 100) {
            if (write_table_objects(ti) != 0) return -1;
            if (cache_room(2) != 0) return -1;
            cache_put16(MARK_END);
            if (write_cache() != 0) {
                fprintf(stderr, "Write cached data to file error.\n");
                return -1;
            }
            return 0;
        }
        if (ret != 0) {
            fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&g_env));
            return -1;
        }
        if (rewrite_ddl('C', ti) != 0) return -1;
        int allowed = check_written_statement(ti, (const char *)g_exp.cache + 2,
                                              get_be16(g_exp.cache), "primary key", NULL);
        if (allowed < 0) return -1;
        if (allowed == 0) g_exp.ctail = 0;  /* left out, named in a warning */
        if (write_cache() != 0) {
            fprintf(stderr, "Write cached data to file error.\n");
            return -1;
        }
    }
}
