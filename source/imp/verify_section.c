/*
 * verify_section.c - what tabimp checks in the dump before it acts on it:
 * each table section read whole and checksummed before the table is
 * created, each statement against the kinds an export writes, and the
 * deferred statements run after the last table.
 */
#include <assert.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "args.h"
#include "imp_local.h"
#include "name_set.h"
#include "dump_fault.h"
#include "table_name.h"
#include "run_statement.h"
#include "verify_section.h"

static int compare_names(const void *a, const void *b)
{
    return strcmp(*(const char *const *)a, *(const char *const *)b);
}

/* The dump's table names in order, while the deferred list is walked, so
 * that each statement's look-up costs log n rather than n. */
static void sort_table_names(IMP_RUN *run)
{
    free(run->sorted_names);
    run->sorted_names = NULL;
    if (run->ntab <= 0) return;
    run->sorted_names = malloc((size_t)run->ntab * sizeof(*run->sorted_names));
    if (!run->sorted_names) return; /* the look-up falls back to the list */
    for (int i = 0; i < run->ntab; i++) run->sorted_names[i] = TABLE_NAME(&run->tables[i]);
    qsort(run->sorted_names, (size_t)run->ntab, sizeof(*run->sorted_names), compare_names);
}

static void drop_table_names(IMP_RUN *run)
{
    free(run->sorted_names);
    run->sorted_names = NULL;
}

/* Whether name is one of the dump's tables; ctx is the run. */
static int is_dump_table(void *ctx, const char *name)
{
    const IMP_RUN *run = ctx;
    if (run->sorted_names)
        return bsearch(&name, run->sorted_names, (size_t)run->ntab, sizeof(*run->sorted_names),
                       compare_names) != NULL;
    for (int i = 0; i < run->ntab; i++)
        if (strcmp(TABLE_NAME(&run->tables[i]), name) == 0) return 1;
    return 0;
}

/* Whether name is a materialized view of the deferred list met so far. */
static int is_listed_mview(void *ctx, const char *name)
{
    const IMP_RUN *run = ctx;
    return run->mviews && name_set_has(run->mviews, name);
}

/* Notes a materialized view the deferred list creates, once its
 * statement passed the checker: indexes after it may be on it. */
static int note_mview(IMP_RUN *run, const STMT_INFO *in)
{
    if (strcmp(in->kind, "materialized view") != 0 || in->object[0] == '\0') return 0;
    if (!run->mviews) run->mviews = calloc(1, sizeof(NAME_SET));
    if (!run->mviews || name_set_add(run->mviews, in->object) != 0) {
        fprintf(stderr, "Allocate memory error.\n");
        return -1;
    }
    return 0;
}

void imp_forget_mviews(IMP_RUN *run)
{
    if (run->mviews) name_set_clear(run->mviews);
    free(run->mviews);
    run->mviews = NULL;
}

int check_import_info(const IMP_RUN *run, const IMP_TABLE *t, int where, const char *text, int len,
                      STMT_INFO *in)
{
    char why[120];
    STMT_SCOPE sc = {where, t ? TABLE_NAME(t) : NULL, run->owner_name, is_dump_table,
                     (void *)run, is_listed_mview};
    if (len < 0) return 0;
    if (!stmt_check(&sc, text, (uint32_t)len, in, why, sizeof(why))) return 0;
    if (t)
        fprintf(stderr, "Table %s: statement refused, %s:\n%.*s\n", TABLE_NAME(t), why,
                len > 200 ? 200 : len, text);
    else
        fprintf(stderr, "Deferred statement refused, %s:\n%.*s\n", why, len > 200 ? 200 : len, text);
    return -1;
}

int check_import_statement(const IMP_RUN *run, const IMP_TABLE *t, int where, const char *text,
                           int len)
{
    STMT_INFO in;
    return check_import_info(run, t, where, text, len, &in);
}

/* Visits of a section (ctx: the worker, at its table): 1 stops the walk
 * after a refusal (printed). */
static int check_ddl(void *ctx, const char *text, uint32_t len)
{
    const IMP_WORKER *w = ctx;
    return check_import_statement(w->run, w->table, STMT_AT_CREATE, text, (int)len) ? 1 : 0;
}

static int check_listed(void *ctx, const char *text, uint32_t len)
{
    const IMP_WORKER *w = ctx;
    return check_import_statement(w->run, w->table, STMT_AT_SECTION, text, (int)len) ? 1 : 0;
}

/* A refused deferred statement is named and counted, and the run goes
 * on: it is left out when the list runs. */
static int check_deferred(void *ctx, const char *text, uint32_t len)
{
    STMT_INFO in;
    if (check_import_info(ctx, NULL, STMT_AT_DEFERRED, text, (int)len, &in) != 0) run_warning();
    else if (note_mview(ctx, &in) != 0) return 1;
    return 0;
}

int verify_section(IMP_WORKER *w, const IMP_TABLE *t)
{
    if (!w->dump->has_ext) return 0;
    assert(w->table == t);
    DUMP_VISIT v = {check_ddl, NULL, check_listed, NULL};
    int rc = dump_walk_section(w->dump, t->index, &v, w, NULL);
    if (rc < 0) return imp_dump_fault(w->run, w->dump);
    return rc == 0 ? 0 : -1;
}

int check_deferred_statements(IMP_RUN *run)
{
    DUMP_VISIT v = {NULL, NULL, check_deferred, NULL};
    sort_table_names(run);
    int rc = dump_walk_deferred(run->dump, &v, run);
    drop_table_names(run);
    if (rc < 0) return imp_dump_fault(run, run->dump);
    return rc == 0 ? 0 : -1;
}

/* Runs one deferred statement: with TABLES= only one that belongs to a
 * selected table (a foreign key of its, a grant on it). One that was
 * refused has been reported when the list was checked; a failure is
 * reported and the next statement runs. 1 stops the walk (a stop asked
 * for, or memory gone). */
static int run_deferred(void *ctx, const char *text, uint32_t len)
{
    IMP_WORKER *w = ctx;
    STMT_INFO in;
    char why[120];
    STMT_SCOPE sc = {STMT_AT_DEFERRED, NULL, w->run->owner_name, is_dump_table, w->run, is_listed_mview};
    if (stop_requested()) return 1;
    if (stmt_check(&sc, text, len, &in, why, sizeof(why)) != NULL) return 0;
    if (note_mview(w->run, &in) != 0) return 1;
    if (w->run->opts.tables.list && (in.table[0] == '\0' || !table_selected(&w->run->opts.tables, in.table))) return 0;
    return run_dump_statement(w, text, (int)len, &in) < 0 ? 1 : 0;
}

/* Runs the GRANT, COMMENT, CREATE SYNONYM or SEQUENCE a record stands for, written
 * here with every name quoted (a grant's or comment's object qualified
 * with the target schema), under the same rules as the text of such a
 * statement: with TABLES= only one on a selected table, a grant or
 * comment only on an object this run created or took over. */
static int run_record(void *ctx, const DUMP_OBJ_RECORD *rec)
{
    IMP_WORKER *w = ctx;
    uint32_t len = 0, name_at = 0;
    if (stop_requested()) return 1;
    char *sql = dump_record_sql(rec, &len, &name_at);
    if (!sql) {
        fprintf(stderr, "Allocate memory error.\n");
        return 1;
    }
    STMT_INFO in;
    char why[120];
    STMT_SCOPE sc = {STMT_AT_DEFERRED, NULL, w->run->owner_name, is_dump_table, w->run, is_listed_mview};
    int rc = 0;
    if (stmt_check(&sc, sql, len, &in, why, sizeof(why)) != NULL) {
        /* the names of a checked record always make an allowed statement */
        fprintf(stderr, "%s \"%s\" refused, %s.\n",
                rec->kind == DUMP_REC_GRANT     ? "Grant on"
                : rec->kind == DUMP_REC_COMMENT ? "Comment on"
                : rec->kind == DUMP_REC_SYNONYM ? "Synonym"
                                                : "Sequence",
                rec->object, why);
        run_warning();
    } else if (!w->run->opts.tables.list || (in.table[0] != '\0' && table_selected(&w->run->opts.tables, in.table))) {
        /* a grant or comment names its object where a text one would,
         * so the qualifier goes where the checker found it; a synonym is
         * created in the target schema, the session's current one */
        if (rec->kind == DUMP_REC_GRANT || rec->kind == DUMP_REC_COMMENT) in.qualify_at = name_at;
        rc = run_dump_statement(w, sql, (int)len, &in) < 0 ? 1 : 0;
    }
    free(sql);
    return rc;
}

int run_deferred_statements(IMP_WORKER *w)
{
    DUMP_VISIT v = {NULL, NULL, run_deferred, run_record};
    sort_table_names(w->run);
    int rc = dump_walk_deferred(w->dump, &v, w);
    drop_table_names(w->run);
    if (rc < 0) return imp_dump_fault(w->run, w->dump);
    return rc == 0 ? 0 : -1;
}
