/*
 * export_table_info.c - reads the list of the owner's tables from the data
 * dictionary into the table list that later becomes the dump's directory.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "args.h"
#include "exp_local.h"

/* Table list capacity for n entries: the directory area's size. */
static size_t list_bytes(uint64_t n)
{
    return (size_t)dir_area_size(n);
}

/* Prepares "select <what> from ALL_TABLES" for the owner's tables, only
 * those of the TABLES list when one was given. */
static sword prepare_list_query(const char *what, const char *esc_owner)
{
    char *cond = table_condition(&g_run_options.tables);
    if (!cond) return OCI_ERROR;
    size_t size = 96 + strlen(what) + strlen(esc_owner) + strlen(cond);
    char *sqltxt = malloc(size);
    sword rc = OCI_ERROR;
    if (sqltxt) {
        snprintf(sqltxt, size, "select %s from ALL_TABLES where OWNER='%s'%s", what, esc_owner,
                 cond);
        rc = OCIStmtPrepare(g_env.smthp, g_env.errhp, (const OraText *)sqltxt,
                            (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    }
    free(sqltxt);
    free(cond);
    return rc;
}

/* Reads the count of the owner's tables. Returns the count, or -1. */
static long long count_tables(const char *esc_owner)
{
    OCIDefine *defnp = NULL;
    ub4 count = 0;
    int ret;
    sword rc;

    rc = prepare_list_query("count(*)", esc_owner);
    if (check_error(&g_env, rc) != 0) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    rc = OCIDefineByPos(g_env.smthp, &defnp, g_env.errhp, 1, &count, sizeof(count), SQLT_INT,
                        NULL, NULL, NULL, OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) {
        fprintf(stderr, "OCIDefineByPos()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    if (execute_statement(0) != 0) return -1;
    rc = OCIStmtFetch(g_env.smthp, g_env.errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    ret = check_error(&g_env, rc);
    if (ret == 100) return 0;
    if (ret != 0) {
        fprintf(stderr, "OCIStmtFetch()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    return (long long)count;
}

/* Makes room for entry n, growing the list when the dictionary lists more
 * tables than it counted a moment before. Returns 0 or -1. */
static int list_room(int n, int *cap)
{
    if (n < *cap) return 0;
    uint64_t want = (uint64_t)*cap * 2;
    if (want < (uint64_t)n + 1) want = (uint64_t)n + 1;
    size_t bytes = list_bytes(want);
    TAB_INFO *p = (TAB_INFO *)realloc(g_exp.tabp, bytes);
    if (!p) {
        fprintf(stderr, "Allocate memory for TABLE INFORMATION (%d) error.\n", (int)bytes);
        return -1;
    }
    g_exp.tabp = p;
    *cap = (int)(bytes / sizeof(TAB_INFO));
    return 0;
}

/* Every TABLES entry must name at least one of the listed tables; the run
 * ends before the dump file is created otherwise. */
static int select_check(void)
{
    char where[64];
    snprintf(where, sizeof(where), "schema %s", g_exp.owner_name);
    return check_selection_of(&g_run_options.tables, exp_table_name, g_exp.ntab, where);
}

int export_table_information(void)
{
    char esc_owner[ESC_NAME_SIZE];
    OCIDefine *defnp = NULL;
    long long count;
    int cap, n = 0, ret;
    sword rc;

    sql_escape(esc_owner, sizeof(esc_owner), g_exp.owner_name, '\'');
    count = count_tables(esc_owner);
    if (count < 0) return -1;
    if (count == 0) {
        fprintf(stderr, "No tables need to export.\n");
        return select_check();
    }
    if (count > 0x7FFFFFF) count = 0x7FFFFFF;  /* keeps every size below in an int */

    size_t bytes = list_bytes((uint64_t)count);
    g_exp.tabp = (TAB_INFO *)calloc(1, bytes);
    if (!g_exp.tabp) {
        fprintf(stderr, "Allocate memory for TABLE INFORMATION (%d) error.\n", (int)bytes);
        return -1;
    }
    cap = (int)count;

    rc = prepare_list_query("TABLE_NAME", esc_owner);
    if (check_error(&g_env, rc) != 0) {
        fprintf(stderr, "OCIStmtPrepare()\n%s\n", get_ora_message(&g_env));
        return -1;
    }

    /* Names, indicators and lengths of up to R rows in the row area. A
     * name is read whole (up to 128 bytes) so that one too long for the
     * directory is named as it is. */
    ub4 rows = (ub4)(((unsigned)g_exp.rsz - 8u) / (LONG_NAME_WIDTH + 4u));
    char *names = (char *)g_exp.rbuf;
    sb2 *inds = (sb2 *)(g_exp.rbuf + (size_t)rows * LONG_NAME_WIDTH);
    ub2 *lens = (ub2 *)align8((uint8_t *)(inds + rows));

    rc = OCIDefineByPos(g_env.smthp, &defnp, g_env.errhp, 1, names, LONG_NAME_WIDTH, SQLT_STR, inds, lens,
                        NULL, OCI_DEFAULT);
    if (check_error(&g_env, rc) != 0) {
        fprintf(stderr, "OCIDefineByPos()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    rc = OCIDefineArrayOfStruct(defnp, g_env.errhp, LONG_NAME_WIDTH, 2, 2, 0);
    if (check_error(&g_env, rc) != 0) {
        fprintf(stderr, "OCIDefineArrayOfStruct()\n%s\n", get_ora_message(&g_env));
        return -1;
    }
    if (execute_statement(0) != 0) return -1;

    char **longs = NULL;  /* names too long for the directory, kept for later */
    int nlongs = 0;
    for (;;) {
        ub4 got = 0;
        ret = fetch_rows(rows, &got);
        if (ret < 0) {
            ret = -1;
            break;
        }
        for (ub4 i = 0; i < got && ret >= 0; i++) {
            char *name = names + (size_t)i * LONG_NAME_WIDTH;
            name[LONG_NAME_WIDTH - 1] = '\0';
            if (strlen(name) >= sizeof(g_exp.tabp[n].tab_name)) {
                /* the directory entry holds 31 bytes: such a table goes
                 * after the others, carried by the trailer */
                if (!table_selected(&g_run_options.tables, name)) continue;
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
            if (list_room(n, &cap) != 0) {
                ret = -1;
                break;
            }
            TAB_INFO *t = &g_exp.tabp[n];
            memset(t, 0, sizeof(*t));
            memcpy(t->tab_name, name, strlen(name) + 1);
            /* bytes after the name's end carry nothing */
            size_t len = strlen(t->tab_name);
            memset(t->tab_name + len, 0, sizeof(t->tab_name) - len);
            /* the query selected by LIKE; the same test as the import's
             * decides, whatever the database's LIKE does with case */
            if (table_selected(&g_run_options.tables, t->tab_name)) n++;
        }
        if (ret == 100 || ret < 0) break;
    }
    g_exp.ntab = n;
    for (int i = 0; i < nlongs; i++) {
        if (ret >= 0 && add_long_table(longs[i]) != 0) ret = -1;
        free(longs[i]);
    }
    free(longs);
    if (ret < 0) return -1;
    n = g_exp.ntab;

    /* The directory holds exactly the tables listed but those of long
     * names, and so does the header, which is written after this. */
    if (n == 0) fprintf(stderr, "No tables need to export.\n");
    if (select_check() != 0) return -1;
    if (drop_uncarried_tables() != 0) return -1;
    for (int i = listed_tables(); i < g_exp.ntab; i++) {
        char line[LONG_NAME_WIDTH + 160];
        snprintf(line, sizeof(line),
                 "table \"%s\" is carried where only readers of format 3 find it: its name is "
                 "longer than the 31 bytes of a directory entry.",
                 exp_table_name(i));
        note_line(line);
    }
    if (n > 0 && g_exp.ntab == 0) fprintf(stderr, "No tables need to export.\n");
    return 0;
}
