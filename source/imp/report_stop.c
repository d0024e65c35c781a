/*
 * report_stop.c - the end of an import stopped by a signal: the table being
 * loaded is rolled back and, when this run created it, dropped again, so
 * that the target holds only whole tables; the log names the signal, the
 * table and the tables completed, which a re-run with TABLES= can skip.
 */
#include <string.h>

#include "args.h"
#include "imp_local.h"
#include "create_table.h"
#include "quote_name.h"
#include "read_table_info.h"
#include "show_text.h"

/* Drops the table this run created for ti; its rows were rolled back. */
static void drop_created(const char *name)
{
    char sql[64 + 4 * STMT_NAME_MAX];
    if (strlen(g_imp.owner_name) + strlen(name) > 2 * STMT_NAME_MAX) return;
    char *p = sql;
    memcpy(p, "DROP TABLE ", 11);
    p = imp_put_quoted(p + 11, g_imp.owner_name);
    *p++ = '.';
    p = imp_put_quoted(p, name);
    strcpy(p, " CASCADE CONSTRAINTS PURGE");
    if (imp_run_sql(sql, (int)strlen(sql)) < 0)
        fprintf(stderr, "Table \"%s\" is incomplete and could not be dropped.\n", name);
}

void imp_report_stop(int ti)
{
    const char *sig = stop_signal_name(stop_requested());
    if (g_env.svchp && g_env.errhp && g_env.usrhp)
        OCITransRollback(g_env.svchp, g_env.errhp, OCI_DEFAULT);
    report_table(NULL);
    if (ti >= 0) {
        const char *name = imp_table_name(ti);
        if (g_table_created && g_env.svchp) drop_created(name);
        fprintf(stderr, "Import stopped by %s in table \"%s\"; its rows were not kept.\n", sig,
                name);
    } else {
        fprintf(stderr, "Import stopped by %s in the statements after the last table.\n", sig);
    }
    int n = 0;
    int end = ti >= 0 ? ti : g_imp.ntab;
    for (int i = 0; i < end; i++) {
        if (!table_selected(&g_run_options.tables, imp_table_name(i))) continue;
        fprintf(stderr, n == 0 ? "Tables completed: \"%s\"" : ", \"%s\"", show(imp_table_name(i)));
        n++;
    }
    fprintf(stderr, n == 0 ? "Tables completed: none.\n" : ".\n");
}
