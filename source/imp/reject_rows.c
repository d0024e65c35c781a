/*
 * reject_rows.c - rows the target refuses under IGNORE=Y: the batch's row
 * errors read through the array-DML error mode, the first few reported
 * with their row and message, all counted (the streams of a refused
 * single row are stepped over by the reader).
 */
#include <string.h>

#include "imp_local.h"
#include "show_text.h"

/* Errors reported in full per table; the rest are only counted. */
#define REJECTS_SHOWN 5

void imp_row_rejected(IMP_WORKER *w, const char *message)
{
    if (w->rows_rejected < REJECTS_SHOWN) {
        size_t n = strlen(message);
        while (n > 0 && message[n - 1] == '\n') n--;
        fprintf(stderr, "Row %d rejected: %.*s\n", w->nrow + w->rows_rejected + 1, (int)n,
                message);
    }
    w->rows_rejected++;
}

int imp_batch_rejects(IMP_WORKER *w, int nrows)
{
    ub4 nerr = 0;
    sword st = OCIAttrGet(w->env.smthp, OCI_HTYPE_STMT, &nerr, NULL, OCI_ATTR_NUM_DML_ERRORS,
                          w->env.errhp);
    if (check_error(&w->env, st) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIAttrGet()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (nerr > (ub4)nrows) nerr = (ub4)nrows;
    int base = w->nrow + w->rows_rejected;
    for (ub4 i = 0; i < nerr; i++) {
        OCIError *rowerr = NULL;
        ub4 off = 0;
        sb4 code = 0;
        char msg[512];
        st = OCIParamGet(w->env.errhp, OCI_HTYPE_ERROR, w->env.errhp, (void **)&rowerr, i);
        if (st != OCI_SUCCESS || !rowerr) {
            fprintf(stderr, "OCIParamGet() of row error %u failed.\n", (unsigned)i);
            return -1;
        }
        OCIAttrGet(rowerr, OCI_HTYPE_ERROR, &off, NULL, OCI_ATTR_DML_ROW_OFFSET, w->env.errhp);
        msg[0] = '\0';
        OCIErrorGet(rowerr, 1, NULL, &code, (OraText *)msg, sizeof(msg), OCI_HTYPE_ERROR);
        msg[sizeof(msg) - 1] = '\0';
        if (w->rows_rejected < REJECTS_SHOWN) {
            size_t n = strlen(msg);
            while (n > 0 && msg[n - 1] == '\n') n--;
            fprintf(stderr, "Row %d rejected: %.*s\n", base + (int)off + 1, (int)n, msg);
        }
        w->rows_rejected++;
    }
    return (int)nerr;
}

void imp_table_done_line(IMP_WORKER *w, const char *name)
{
    /* each line leaves at once: whoever reads the progress sees each table
     * as it completes; with METRICS=Y it ends with the table's time and
     * round trips */
    char metrics[64];
    metrics_table_end(&w->env, metrics, sizeof(metrics));
    if (w->rows_rejected == 0) {
        fprintf(w->run->ofp, ". . importing table  %30s %10d rows imported%s\n", show(name), w->nrow, metrics);
        fflush(w->run->ofp);
        return;
    }
    fprintf(w->run->ofp, ". . importing table  %30s %10d rows imported, %d rejected%s\n", show(name),
            w->nrow, w->rows_rejected, metrics);
    fflush(w->run->ofp);
    fprintf(stderr, "Table \"%s\": %d rows imported, %d rejected.\n", name, w->nrow,
            w->rows_rejected);
    run_warning();
}
