/*
 * export_create_index.c - writes one CREATE INDEX text block per ordinary
 * or function-based index of a table, each rewritten to name neither the
 * index's nor the table's owner.
 */
#include <stdio.h>
#include <string.h>

#include "exp_local.h"
#include "table_meta.h"

static const char index_setup[] =
    "BEGIN\n"
    "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'SEGMENT_ATTRIBUTES', %s);\n"
    "END;";


int export_create_index_sql(EXP_WORKER *w, EXP_TABLE *tab)
{
    char sqltxt[1024];
    ub2 alen = 0;
    int ret;
    sword rc;

    TABLE_META *m = NULL;
    if (table_meta(w, tab, &m) != 0) return -1;
    if (m && m->index.ok) {
        size_t at = 0;
        for (const char *text; (text = meta_next(&m->index, &at)) != NULL;) {
            /* texts of a batch are shorter than the fetch buffer */
            memcpy(w->cache + 2, text, strlen(text) + 1);
            if (put_fetched_ddl(w, tab, 'I', "index") != 0) return -1;
        }
        return 0;
    }
    if (run_transform_block(w, index_setup) != 0) return -1;

    snprintf(sqltxt, sizeof(sqltxt),
             "select DBMS_METADATA.GET_DDL('INDEX', INDEX_NAME, OWNER)\n"
             "from ALL_INDEXES\n"
             "where TABLE_OWNER=:1 and TABLE_NAME=:2 and OWNER=TABLE_OWNER\n"
             "and (INDEX_TYPE like 'NORMAL%%' or INDEX_TYPE like 'FUNCTION%%'\n"
             "or INDEX_TYPE like 'BITMAP%%')\n");
    if (open_table_ddl_query(w, sqltxt, &alen, tab) != 0) return -1;

    for (;;) {
        rc = OCIStmtFetch(w->env.smthp, w->env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        ret = check_error(&w->env, rc);
        if (ret == CHECK_NO_DATA) return 0;
        if (ret != CHECK_SUCCESS) {
            fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&w->env));
            return -1;
        }
        if (put_fetched_ddl(w, tab, 'I', "index") != 0) return -1;
    }
}
