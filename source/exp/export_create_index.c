/*
 * export_create_index.c - writes one CREATE INDEX text block per ordinary
 * or function-based index of a table, each rewritten to name neither the
 * index's nor the table's owner.
 */
#include <stdio.h>

#include "exp_local.h"

static const char index_setup[] =
    "BEGIN\n"
    "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'SEGMENT_ATTRIBUTES', %s);\n"
    "END;";

int export_create_index_sql(int ti)
{
    char sqltxt[1024];
    char esc_owner[ESC_NAME_SIZE], esc_table[ESC_NAME_SIZE];
    ub2 alen = 0;
    int ret;
    sword rc;

    if (run_transform_block(index_setup) != 0) return -1;

    sql_escape(esc_owner, sizeof(esc_owner), g_exp.owner_name, '\'');
    sql_escape(esc_table, sizeof(esc_table), g_exp.tabp[ti].tab_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select DBMS_METADATA.GET_DDL('INDEX', INDEX_NAME, OWNER)\n"
             "from ALL_INDEXES\n"
             "where OWNER='%s'\n"
             "and TABLE_OWNER='%s' and TABLE_NAME='%s'\n"
             "and (INDEX_TYPE like 'NORMAL%%' or INDEX_TYPE like 'FUNCTION%%'\n"
             "or INDEX_TYPE like 'BITMAP%%')\n",
             esc_owner, esc_owner, esc_table);
    if (open_ddl_query(sqltxt, &alen) != 0) return -1;

    for (;;) {
        rc = OCIStmtFetch(g_env.smthp, g_env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        ret = check_error(g_env.errhp, rc);
        if (ret == 100) return 0;
        if (ret != 0) {
            fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message());
            return -1;
        }
        if (rewrite_ddl('I', ti) != 0) return -1;
        if (write_cache() != 0) {
            fprintf(stderr, "Write cached data to file error.\n");
            return -1;
        }
    }
}
