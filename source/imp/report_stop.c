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
#include "table_name.h"
#include "show_text.h"

/* Drops the table this run created; its rows were rolled back. */
static void drop_created(IMP_WORKER *w, const char *name)
{
    char sql[64 + 4 * STMT_NAME_MAX];
    if (strlen(w->run->owner_name) + strlen(name) > 2 * STMT_NAME_MAX) return;
    char *p = sql;
    memcpy(p, "DROP TABLE ", 11);
    p = imp_put_quoted(p + 11, w->run->owner_name);
    *p++ = '.';
    p = imp_put_quoted(p, name);
    strcpy(p, " CASCADE CONSTRAINTS PURGE");
    if (imp_run_sql(w, sql, (int)strlen(sql)) < 0)
        fprintf(stderr, "Table \"%s\" is incomplete and could not be dropped.\n", name);
}

void imp_stop_worker(IMP_WORKER *w)
{
    const char *sig = stop_signal_name(stop_requested());
    if (w->env.svchp && w->env.errhp && w->env.usrhp)
        OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
    if (w->table) {
        const char *name = TABLE_NAME(w->table);
        if (w->table_created && w->env.svchp) drop_created(w, name);
        fprintf(stderr, "Import stopped by %s in table \"%s\"; its rows were not kept.\n", sig,
                name);
        w->table = NULL;
    }
}

void imp_report_stop(const IMP_RUN *run, IMP_WORKER *w)
{
    report_table(NULL);
    if (w) {
        imp_stop_worker(w);
    } else {
        fprintf(stderr, "Import stopped by %s in the statements after the last table.\n",
                stop_signal_name(stop_requested()));
    }
    int n = 0;
    for (int i = 0; i < run->ntab; i++) {
        const IMP_TABLE *t = &run->tables[i];
        if (!t->done) continue;
        fprintf(stderr, n == 0 ? "Tables completed: \"%s\"" : ", \"%s\"", show(TABLE_NAME(t)));
        n++;
    }
    fprintf(stderr, n == 0 ? "Tables completed: none.\n" : ".\n");
}
