/*
 * export_table_info.c - reads the list of the owner's tables from the data
 * dictionary into the table list that later becomes the dump's directory.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "args.h"
#include "exp_local.h"

/* Bytes of a table list of n entries. */
static size_t list_bytes(uint64_t n)
{
    return (size_t)(n ? n : 1) * sizeof(EXP_TABLE);
}

/* Prepares "select <what> from ALL_TABLES" for the owner's tables, only
 * those of the TABLES list when one was given. */
static sword prepare_list_query(EXP_WORKER *w, const char *what, const char *esc_owner)
{
    char *cond = table_condition(&w->run->opts.tables);
    if (!cond) return OCI_ERROR;
    size_t size = 96 + strlen(what) + strlen(esc_owner) + strlen(cond);
    char *sqltxt = malloc(size);
    sword rc = OCI_ERROR;
    if (sqltxt) {
        snprintf(sqltxt, size, "select %s from ALL_TABLES where OWNER='%s'%s", what, esc_owner,
                 cond);
        rc = OCIStmtPrepare(w->env.smthp, w->env.errhp, (const OraText *)sqltxt,
                            (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    }
    free(sqltxt);
    free(cond);
    return rc;
}

/* Reads the count of the owner's tables. Returns the count, or -1. */
static long long count_tables(EXP_WORKER *w, const char *esc_owner)
{
    OCIDefine *defnp = NULL;
    ub4 count = 0;
    int ret;
    sword rc;

    rc = prepare_list_query(w, "count(*)", esc_owner);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, 1, &count, sizeof(count), SQLT_INT,
                        NULL, NULL, NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIDefineByPos()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (execute_statement(w, 0) != 0) return -1;
    rc = OCIStmtFetch(w->env.smthp, w->env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    ret = check_error(&w->env, rc);
    if (ret == CHECK_NO_DATA) return 0;
    if (ret != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    return (long long)count;
}

/* Makes room for entry n, growing the list when the dictionary lists more
 * tables than it counted a moment before. Returns 0 or -1. */
static int list_room(EXP_RUN *run, int n, int *cap)
{
    if (n < *cap) return 0;
    uint64_t want = (uint64_t)*cap * 2;
    if (want < (uint64_t)n + 1) want = (uint64_t)n + 1;
    size_t bytes = list_bytes(want);
    EXP_TABLE *p = (EXP_TABLE *)realloc(run->tabs, bytes);
    if (!p) {
        fprintf(stderr, "Allocate memory for TABLE INFORMATION (%d) error.\n", (int)bytes);
        return -1;
    }
    run->tabs = p;
    *cap = (int)(bytes / sizeof(EXP_TABLE));
    return 0;
}

/* The name of the run's table ti, for check_selection_of. */
static const char *selected_name(void *ctx, int ti)
{
    return exp_table_name(&((const EXP_RUN *)ctx)->tabs[ti]);
}

/* Every TABLES entry must name at least one of the listed tables; the run
 * ends before the dump file is created otherwise. */
static int select_check(EXP_RUN *run)
{
    char where[64];
    snprintf(where, sizeof(where), "schema %s", run->owner_name);
    return check_selection_of(&run->opts.tables, selected_name, run, run->ntab, where);
}

int export_table_information(EXP_WORKER *w)
{
    EXP_RUN *run = w->run;
    char esc_owner[ESC_NAME_SIZE];
    OCIDefine *defnp = NULL;
    long long count;
    int cap, n = 0, ret;
    sword rc;

    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    count = count_tables(w, esc_owner);
    if (count < 0) return -1;
    if (count == 0) {
        fprintf(stderr, "No tables need to export.\n");
        return select_check(run);
    }
    if (count > 0x7FFFFFF) count = 0x7FFFFFF;  /* keeps every size below in an int */

    size_t bytes = list_bytes((uint64_t)count);
    run->tabs = (EXP_TABLE *)calloc(1, bytes);
    if (!run->tabs) {
        fprintf(stderr, "Allocate memory for TABLE INFORMATION (%d) error.\n", (int)bytes);
        return -1;
    }
    cap = (int)count;

    rc = prepare_list_query(w, "TABLE_NAME", esc_owner);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&w->env));
        return -1;
    }

    /* Names, indicators and lengths of up to R rows in the row area. A
     * name is read whole (up to 128 bytes) so that one too long for the
     * directory is named as it is. */
    ub4 rows = (ub4)(((unsigned)w->rsz - 8u) / (LONG_NAME_WIDTH + 4u));
    char *names = (char *)w->rbuf;
    sb2 *inds = (sb2 *)(w->rbuf + (size_t)rows * LONG_NAME_WIDTH);
    ub2 *lens = (ub2 *)align8((uint8_t *)(inds + rows));

    rc = OCIDefineByPos(w->env.smthp, &defnp, w->env.errhp, 1, names, LONG_NAME_WIDTH, SQLT_STR, inds, lens,
                        NULL, OCI_DEFAULT);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIDefineByPos()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    rc = OCIDefineArrayOfStruct(defnp, w->env.errhp, LONG_NAME_WIDTH, 2, 2, 0);
    if (check_error(&w->env, rc) != CHECK_SUCCESS) {
        fprintf(stderr, "OCIDefineArrayOfStruct()\n%s\n", get_ora_message(&w->env));
        return -1;
    }
    if (execute_statement(w, 0) != 0) return -1;

    char **longs = NULL;  /* names too long for the directory, kept for later */
    int nlongs = 0;
    for (;;) {
        ub4 got = 0;
        ret = fetch_rows(w, rows, &got);
        if (ret < 0) {
            ret = -1;
            break;
        }
        for (ub4 i = 0; i < got && ret >= 0; i++) {
            char *name = names + (size_t)i * LONG_NAME_WIDTH;
            name[LONG_NAME_WIDTH - 1] = '\0';
            if (strlen(name) >= sizeof(run->tabs[0].info.tab_name)) {
                /* the directory entry holds 31 bytes: such a table goes
                 * after the others, carried by the trailer */
                if (!table_selected(&run->opts.tables, name)) continue;
                char **p = (char **)realloc(longs, sizeof(char *) * (size_t)(nlongs + 1));
                if (p) longs = p;
                if (!p || !(longs[nlongs] = strdup(name))) {
                    fprintf(stderr, "Allocate memory for TABLE INFORMATION error.\n");
                    ret = -1;
                    break;
                }
                nlongs++;
                continue;
            }
            if (list_room(run, n, &cap) != 0) {
                ret = -1;
                break;
            }
            memset(&run->tabs[n], 0, sizeof(run->tabs[n]));
            run->tabs[n].spill_worker = -1;
            TAB_INFO *t = &run->tabs[n].info;
            memcpy(t->tab_name, name, strlen(name) + 1);
            /* bytes after the name's end carry nothing */
            size_t len = strlen(t->tab_name);
            memset(t->tab_name + len, 0, sizeof(t->tab_name) - len);
            /* the query selected by LIKE; the same test as the import's
             * decides, whatever the database's LIKE does with case */
            if (table_selected(&run->opts.tables, t->tab_name)) n++;
        }
        if (ret == CHECK_NO_DATA || ret < 0) break;
    }
    run->ntab = n;
    run->nlisted = n;
    for (int i = 0; i < nlongs; i++) {
        if (ret >= 0 && add_long_table(run, longs[i]) != 0) ret = -1;
        free(longs[i]);
    }
    free(longs);
    if (ret < 0) return -1;
    n = run->ntab;

    /* The directory holds exactly the tables listed but those of long
     * names, and so does the header, which is written after this. */
    if (n == 0) fprintf(stderr, "No tables need to export.\n");
    if (select_check(run) != 0) return -1;
    if (drop_uncarried_tables(w) != 0) return -1;
    for (int i = listed_tables(run); i < run->ntab; i++) {
        char line[LONG_NAME_WIDTH + 160];
        snprintf(line, sizeof(line),
                 "table \"%s\" is carried where only readers of format 3 find it: its name is "
                 "longer than the 31 bytes of a directory entry.",
                 exp_table_name(&run->tabs[i]));
        note_line(run, line);
    }
    if (n > 0 && run->ntab == 0) fprintf(stderr, "No tables need to export.\n");
    return 0;
}
