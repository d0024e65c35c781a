/*
 * import_table.c - imports one table of the directory: checks its section,
 * takes its DDL and column block from the reader, creates it, loads its
 * rows, then creates its indexes.
 */
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "imp_local.h"
#include "create_table.h"
#include "dump_fault.h"
#include "lock_target_table.h"
#include "outcome.h"
#include "quote_name.h"
#include "table_name.h"
#include "run_statement.h"
#include "verify_section.h"

/* Drops the target's table name (a table of the target, locked and
 * checked first) or empties it; 1 done, 0 refused (reported), -1 failed. */
static int clear_table(IMP_WORKER *w, const char *name, const char *verb, const char *tail)
{
    char sql[96 + 4 * STMT_NAME_MAX];
    int ok = lock_target_table(w, name);
    if (ok <= 0) return ok;
    char *p = sql;
    size_t n = strlen(verb);
    memcpy(p, verb, n);
    p = imp_put_quoted(p + n, w->run->owner_name);
    *p++ = '.';
    p = imp_put_quoted(p, name);
    strcpy(p, tail);
    if (imp_run_sql(w, sql, (int)strlen(sql)) < 0) {
        OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
        return -1;
    }
    return 1;
}

/* Creates table t, or decides what to do with the target's table of that
 * name. Returns 1 when its rows are to be loaded, 0 when the table is left
 * out (reported), -1 when the run ends. */
static int create_or_take(IMP_WORKER *w, const IMP_TABLE *t, const char *ddl, int slen)
{
    const char *name = TABLE_NAME(t);
    int ignore = (w->run->flag & IMP_IGNORE) != 0;

    if (strlen(name) > STMT_NAME_MAX || strlen(w->run->owner_name) > STMT_NAME_MAX) return -1;
    if (create_table(w, ddl, slen) == 0) {
        w->table_created = 1;
        return 1;
    }
    int code = get_ora_code(&w->env);
    if (!imp_is_exists_error(code)) {
        fprintf(stderr, "OCIStmtExecute()\n%s\nCreate table error.\n", get_ora_message(&w->env));
        if (!ignore) return -1;
        run_warning();
        return 0;
    }
    switch (w->run->table_exists_action) {
    case TEA_SKIP:
        fprintf(stderr, "Table \"%s\" exists; left as it is, its rows not imported.\n", name);
        run_warning();
        return 0;
    case TEA_APPEND:
        return 1;
    case TEA_TRUNCATE: {
        int rc = clear_table(w, name, "TRUNCATE TABLE ", "");
        if (rc <= 0) {
            fprintf(stderr, "Table \"%s\" not truncated; its rows not imported.\n", name);
            if (rc < 0) return -1;
            run_warning();
        }
        return rc;
    }
    case TEA_REPLACE: {
        int rc = clear_table(w, name, "DROP TABLE ", " CASCADE CONSTRAINTS PURGE");
        if (rc <= 0) {
            fprintf(stderr, "Table \"%s\" not replaced; its rows not imported.\n", name);
            if (rc < 0) return -1;
            run_warning();
            return 0;
        }
        if (create_table(w, ddl, slen) < 0) {
            fprintf(stderr, "OCIStmtExecute()\n%s\nCreate table error.\n", get_ora_message(&w->env));
            return -1;
        }
        w->table_created = 1;
        return 1;
    }
    default:
        if (ignore) return 1;
        fprintf(stderr, "OCIStmtExecute()\n%s\nCreate table error.\n", get_ora_message(&w->env));
        return -1;
    }
}

int import_table(IMP_WORKER *w, IMP_TABLE *table)
{
    const TAB_INFO *t = &table->info;
    int rc;

    w->table = table;
    w->table_created = 0;
    w->rows_rejected = 0;
    w->rows_committed = 0;
    metrics_table_begin(&w->env);
    /* a parallel worker checks the section before it waits for its turn */
    if (w->verified != table && verify_section(w, table) < 0) return -1;
    w->verified = NULL;
    w->bc = NULL;
    w->colp = NULL;

    /* The front of the section (DDL text block and column block), checked
     * by the reader, which then stands at the rows. */
    DUMP_FRONT front;
    if (read_file(w, table, &front) < 0) return -1;
    int slen = (int)front.ddl_len;
    if (check_import_statement(w->run, table, STMT_AT_CREATE, front.ddl, slen) < 0) return -1;
    const char *ddl = front.ddl;
    char *merged = NULL;
    if (w->run->partition_merge) {
        STMT_INFO in;
        rc = merge_partitions(w, STMT_AT_CREATE, &ddl, &slen, &merged, &in);
        if (rc < 0) return -1;
        if (rc > 0) {
            fprintf(stderr, "Table \"%s\": partitions merged into one table (PARTITION_OPTIONS=MERGE).\n",
                    TABLE_NAME(table));
            run_warning();
        }
    }

    /* nothing is read from the dump until the column block is copied:
     * the text and the block stay in the reader's buffer till then */
    rc = create_or_take(w, table, ddl, slen);
    free(merged);
    if (rc <= 0) {
        if (rc == 0) w->table = NULL;
        return rc;
    }

    /* The column records in host order, in the worker's column area. */
    w->colp = (COL_INFO *)(void *)(w->vals + DUMP_MAX_COLUMNS);
    for (uint32_t i = 0; i < t->ncol; i++) {
        const uint8_t *c = front.cols + (size_t)i * sizeof(COL_INFO);
        COL_INFO *ci = &w->colp[i];
        ci->ctype = get_be32(c + offsetof(COL_INFO, ctype));
        ci->clen = get_be32(c + offsetof(COL_INFO, clen));
        memcpy(ci->col_name, c + offsetof(COL_INFO, col_name), sizeof(ci->col_name));
    }

    /* The rows go only into a TABLE of the target, locked until they are
     * committed; whatever else stands under the name is left alone. */
    int locked = lock_target_table(w, TABLE_NAME(table));
    if (locked < 0) return -1;
    if (locked == 0) {
        run_warning();
        w->colp = NULL;
        w->table = NULL;
        return 0;
    }
    if ((w->table_created ? imp_mark_ours(w->run, TABLE_NAME(table)) : imp_mark_taken(w->run, TABLE_NAME(table))) < 0) {
        fprintf(stderr, "Allocate memory error.\n");
        return -1;
    }

    if (prepare_insert(w, table) < 0) {
        fprintf(stderr, "Prepare to insert table data error.\n");
        free_return_lob_locator(w, table);
        return -1;
    }
    w->colp = NULL;

    if (t->flag == 0)
        rc = import_multiple_row(w, table);
    else if (w->lob_arrays)
        rc = import_lob_rows(w, table);
    else if (w->long_arrays)
        rc = import_long_rows(w, table);
    else
        rc = import_single_row(w, table);
    free_return_lob_locator(w, table);
    if (rc < 0) return -1;

    if (create_index_constraints(w, table) < 0) {
        fprintf(stderr, "create index error.\n");
        return -1;
    }
    w->table = NULL;
    return 0;
}
