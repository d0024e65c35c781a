/*
 * import_table.c - imports one table of the directory: checks its section,
 * reads its DDL and column block, creates it, loads its rows, then creates
 * its indexes.
 */
#include <stddef.h>
#include <string.h>

#include "imp_local.h"
#include "create_table.h"
#include "lock_target_table.h"
#include "quote_name.h"
#include "read_table_info.h"
#include "run_statement.h"
#include "verify_section.h"

/* Drops the target's table name (a table of the target, locked and
 * checked first) or empties it; 1 done, 0 refused (reported), -1 failed. */
static int clear_table(const char *name, const char *verb, const char *tail)
{
    char sql[96 + 4 * STMT_NAME_MAX];
    int ok = lock_target_table(name);
    if (ok <= 0) return ok;
    char *p = sql;
    size_t n = strlen(verb);
    memcpy(p, verb, n);
    p = imp_put_quoted(p + n, g_imp.owner_name);
    *p++ = '.';
    p = imp_put_quoted(p, name);
    strcpy(p, tail);
    if (imp_run_sql(sql, (int)strlen(sql)) < 0) {
        OCITransRollback(g_env.svchp, g_env.errhp, OCI_DEFAULT);
        return -1;
    }
    return 1;
}

/* Creates table t, or decides what to do with the target's table of that
 * name. Returns 1 when its rows are to be loaded, 0 when the table is left
 * out (reported), -1 when the run ends. */
static int create_or_take(const TAB_INFO *t, const char *ddl, int slen)
{
    const char *name = TABLE_NAME(t);
    int ignore = (g_imp.flag & IMP_IGNORE) != 0;

    if (strlen(name) > STMT_NAME_MAX || strlen(g_imp.owner_name) > STMT_NAME_MAX) return -1;
    if (create_table(ddl, slen) == 0) {
        g_table_created = 1;
        return 1;
    }
    int code = get_ora_code(&g_env);
    if (!imp_is_exists_error(code)) {
        fprintf(stderr, "OCIStmtExecute()\n%s\nCreate table error.\n", get_ora_message(&g_env));
        if (!ignore) return -1;
        run_warning();
        return 0;
    }
    switch (g_table_exists_action) {
    case TEA_SKIP:
        fprintf(stderr, "Table \"%s\" exists; left as it is, its rows not imported.\n", name);
        run_warning();
        return 0;
    case TEA_APPEND:
        return 1;
    case TEA_TRUNCATE: {
        int rc = clear_table(name, "TRUNCATE TABLE ", "");
        if (rc <= 0) {
            fprintf(stderr, "Table \"%s\" not truncated; its rows not imported.\n", name);
            if (rc < 0) return -1;
            run_warning();
        }
        return rc;
    }
    case TEA_REPLACE: {
        int rc = clear_table(name, "DROP TABLE ", " CASCADE CONSTRAINTS PURGE");
        if (rc <= 0) {
            fprintf(stderr, "Table \"%s\" not replaced; its rows not imported.\n", name);
            if (rc < 0) return -1;
            run_warning();
            return 0;
        }
        if (create_table(ddl, slen) < 0) {
            fprintf(stderr, "OCIStmtExecute()\n%s\nCreate table error.\n", get_ora_message(&g_env));
            return -1;
        }
        g_table_created = 1;
        return 1;
    }
    default:
        if (ignore) return 1;
        fprintf(stderr, "OCIStmtExecute()\n%s\nCreate table error.\n", get_ora_message(&g_env));
        return -1;
    }
}

int import_table(int ti)
{
    TAB_INFO *t = &g_imp.tabp[ti];
    int rc;

    g_cur_table = ti;
    g_table_created = 0;
    g_rows_rejected = 0;
    if (verify_section(ti) < 0) return -1;
    g_imp.bc = NULL;
    g_imp.colp = NULL;
    g_imp.data_ofs = t->offset;
    g_imp.rtail = 0;
    g_imp.dlen = 0;
    if (read_file() < 0) return -1;

    /* The front of the section (DDL text block and column block) must
     * arrive with this first read. */
    if (g_imp.dlen < 2) {
        fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
        return -1;
    }
    int slen = get_be16(g_imp.rbuf);
    uint64_t front = 2 + (uint64_t)slen + (uint64_t)t->ncol * sizeof(COL_INFO);
    if (front > (uint64_t)g_imp.dlen) {
        if (g_imp.dlen < g_imp.rsz)
            fprintf(stderr, "Read %s not completed.\n", g_imp.dump_filename);
        else
            fprintf(stderr, "Table %s: section front exceeds the read window.\n", TABLE_NAME(t));
        return -1;
    }
    if (slen == 0) {
        fprintf(stderr, "Table %s: CREATE TABLE statement missing.\n", TABLE_NAME(t));
        return -1;
    }
    uint8_t *raw_cols = g_imp.rbuf + 2 + slen;
    char why[96];
    if (dump_columns_fault(t, raw_cols, why, sizeof(why))) {
        fprintf(stderr, "Table %s: %s.\n", TABLE_NAME(t), why);
        return -1;
    }
    g_imp.rtail = (int)front;
    if (check_import_statement(ti, STMT_AT_CREATE, (const char *)g_imp.rbuf + 2, slen) < 0) return -1;

    rc = create_or_take(t, (const char *)g_imp.rbuf + 2, slen);
    if (rc <= 0) {
        g_cur_table = -1;
        return rc;
    }

    /* The DDL text has been executed; move the column records to the start
     * of the window so that they are aligned, and convert them in place. */
    memmove(g_imp.rbuf, raw_cols, (size_t)t->ncol * sizeof(COL_INFO));
    g_imp.colp = (COL_INFO *)g_imp.rbuf;
    for (uint32_t i = 0; i < t->ncol; i++) {
        COL_INFO *c = &g_imp.colp[i];
        c->ctype = get_be32((const uint8_t *)c + offsetof(COL_INFO, ctype));
        c->clen = get_be32((const uint8_t *)c + offsetof(COL_INFO, clen));
    }

    /* The rows go only into a TABLE of the target, locked until they are
     * committed; whatever else stands under the name is left alone. */
    int locked = lock_target_table(TABLE_NAME(t));
    if (locked < 0) return -1;
    if (locked == 0) {
        run_warning();
        g_imp.colp = NULL;
        g_cur_table = -1;
        return 0;
    }
    if ((g_table_created ? imp_mark_ours(TABLE_NAME(t)) : imp_mark_taken(TABLE_NAME(t))) < 0) {
        fprintf(stderr, "Allocate memory error.\n");
        return -1;
    }

    if (prepare_insert(ti) < 0) {
        fprintf(stderr, "Prepare to insert table data error.\n");
        free_return_lob_locator(ti);
        return -1;
    }
    g_imp.colp = NULL;

    if (t->flag == 0)
        rc = import_multiple_row(ti);
    else
        rc = import_single_row(ti);
    free_return_lob_locator(ti);
    if (rc < 0) return -1;

    if (create_index_constraints(ti) < 0) {
        fprintf(stderr, "create index error.\n");
        return -1;
    }
    g_cur_table = -1;
    return 0;
}
