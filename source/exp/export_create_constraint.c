/*
 * export_create_constraint.c - writes one ALTER TABLE text block per
 * primary key of a table, then the zero word that ends the table section.
 */
#include <stdio.h>

#include "exp_local.h"

int export_create_constraint_sql(int ti)
{
    char sqltxt[1024];
    char esc_owner[ESC_NAME_SIZE], esc_table[ESC_NAME_SIZE];
    ub2 alen = 0;
    int ret;
    sword rc;

    sql_escape(esc_owner, sizeof(esc_owner), g_exp.owner_name, '\'');
    sql_escape(esc_table, sizeof(esc_table), g_exp.tabp[ti].tab_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select DBMS_METADATA.GET_DDL('CONSTRAINT', CONSTRAINT_NAME, OWNER)\n"
             "from ALL_CONSTRAINTS\n"
             "where OWNER='%s'\n"
             "and TABLE_NAME='%s'\n"
             "and CONSTRAINT_TYPE='P'\n",
             esc_owner, esc_table);
    if (open_ddl_query(sqltxt, &alen) != 0) return -1;

    for (;;) {
        rc = OCIStmtFetch(g_env.smthp, g_env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        ret = check_error(g_env.errhp, rc);
        if (ret == 100) {
            g_exp.ctail = 0;
            cache_put16(MARK_END);
            if (write_cache() != 0) {
                fprintf(stderr, "Write cached data to file error.\n");
                return -1;
            }
            return 0;
        }
        if (ret != 0) {
            fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message());
            return -1;
        }
        if (rewrite_ddl('C', ti) != 0) return -1;
        if (write_cache() != 0) {
            fprintf(stderr, "Write cached data to file error.\n");
            return -1;
        }
    }
}
