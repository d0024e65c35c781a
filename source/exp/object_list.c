/*
 * object_list.c - the statements gathered from the dictionary for the
 * dump, in the order they are written, the warnings about what the dump
 * cannot carry, and the lookup of an exported table by its name.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "args.h"
#include "dump_reader.h"
#include "exp_local.h"
#include "show_text.h"
#include "outcome.h"

int full_export(const EXP_RUN *run)
{
    return run->opts.tables.list == NULL;
}

int warn_object(EXP_WORKER *w, const char *kind, const char *name, const char *reason)
{
    size_t size = strlen(kind) + strlen(name) + strlen(reason) + 40;
    char *text = (char *)malloc(size);
    if (!text) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", size);
        return -1;
    }
    snprintf(text, size, "%s \"%s\" not exported: %s.", kind, name, reason);
    int rc = keep_warning(w, text);
    free(text);
    return rc;
}

/* Prints a line on standard output and in the log; a worker of a parallel
 * run holds the run's lock meanwhile. */
static void print_line(const EXP_RUN *run, const char *prefix, const char *text)
{
    /* control characters of names reach no terminal or log raw */
    const char *shown = show(text);
    printf("%s%s\n", prefix, shown);
    fflush(stdout);
    if (run->ofp && run->ofp != stdout) {
        fprintf(run->ofp, "%s%s\n", prefix, shown);
        fflush(run->ofp);
    }
}

void note_line(EXP_RUN *run, const char *text)
{
    print_line(run, "Warning: ", text);
}

int keep_warning(EXP_WORKER *w, const char *text)
{
    EXP_RUN *run = w->run;
    size_t size = strlen(text) + 16;
    char *line = (char *)malloc(size);
    if (!line) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", size);
        return -1;
    }
    snprintf(line, size, "Warning: %s", text);
    run_lock(run);
    if (run->nwarnings == run->warnings_cap) {
        int cap = run->warnings_cap ? run->warnings_cap * 2 : 16;
        EXP_WARNING *list = (EXP_WARNING *)realloc(run->warnings, sizeof(EXP_WARNING) * (size_t)cap);
        if (!list) {
            run_unlock(run);
            free(line);
            fprintf(stderr, "Allocate memory (%zu) error.\n", size);
            return -1;
        }
        run->warnings = list;
        run->warnings_cap = cap;
    }
    EXP_WARNING *k = &run->warnings[run->nwarnings];
    k->line = line;
    k->table = w->tab ? (int)(w->tab - run->tabs) : -1;
    k->seq = run->nwarnings++;
    run_warning();
    print_line(run, "", line);
    run_unlock(run);
    return 0;
}

static int compare_warnings(const void *a, const void *b)
{
    const EXP_WARNING *x = (const EXP_WARNING *)a, *y = (const EXP_WARNING *)b;
    if (x->table != y->table) return x->table < y->table ? -1 : 1;
    return x->seq < y->seq ? -1 : x->seq > y->seq;
}

void sort_warnings(EXP_RUN *run)
{
    if (run->nwarnings > 1)
        qsort(run->warnings, (size_t)run->nwarnings, sizeof(EXP_WARNING), compare_warnings);
}

static int keep_object(EXP_RUN *run, int ti, int order, uint16_t rec_kind, const char *text,
                       size_t len, const char *column);

int add_object(EXP_WORKER *w, EXP_TABLE *tab, int order, const char *text, size_t len,
               const char *column, const char *kind, const char *name)
{
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\n' || text[len - 1] == '\t'))
        len--;
    /* A table's list holds text blocks; the trailer takes a statement of
     * any length up to a record's bound. */
    if (tab && len > DUMP_TEXT_MAX)
        return warn_object(w, kind, name, "its statement is longer than 65535 bytes");
    if (len > DUMP_RECORD_MAX) {
        char why[64];
        snprintf(why, sizeof(why), "its statement is longer than %u bytes", DUMP_RECORD_MAX);
        return warn_object(w, kind, name, why);
    }
    int allowed = check_written_statement(w, tab, text, len, kind, name);
    if (allowed <= 0) return allowed;
    return keep_object(w->run, tab ? (int)(tab - w->run->tabs) : -1, order, 0, text, len, column);
}

int add_record(EXP_RUN *run, int order, uint16_t rec_kind, const uint8_t *payload, size_t len)
{
    return keep_object(run, -1, order, rec_kind, (const char *)payload, len, NULL);
}

/* Stores a copy of text[0..len) (a record's payload when rec_kind is not
 * 0) at place `order` of table ti. */
static int keep_object(EXP_RUN *run, int ti, int order, uint16_t rec_kind, const char *text,
                       size_t len, const char *column)
{
    if (run->nobjs == run->objs_cap) {
        int cap = run->objs_cap ? run->objs_cap * 2 : 256;
        OBJ_STMT *p = (OBJ_STMT *)realloc(run->objs, sizeof(OBJ_STMT) * (size_t)cap);
        if (!p) {
            fprintf(stderr, "Allocate memory (%zu) error.\n", sizeof(OBJ_STMT) * (size_t)cap);
            return -1;
        }
        run->objs = p;
        run->objs_cap = cap;
    }
    OBJ_STMT *o = &run->objs[run->nobjs];
    memset(o, 0, sizeof(*o));
    o->text = (char *)malloc(len + 1);
    o->column = column ? strdup(column) : NULL;
    if (!o->text || (column && !o->column)) {
        free(o->text);
        free(o->column);
        fprintf(stderr, "Allocate memory (%zu) error.\n", len + 1);
        return -1;
    }
    memcpy(o->text, text, len);
    o->text[len] = '\0';
    o->len = (uint32_t)len;
    o->ti = ti;
    o->order = order;
    o->rec_kind = rec_kind;
    o->seq = run->seq++;
    run->nobjs++;
    return 0;
}

/* Per-table statements by table, deferred ones after them; each run by
 * place, then in the order gathered. */
static int compare_objects(const void *a, const void *b)
{
    const OBJ_STMT *x = (const OBJ_STMT *)a, *y = (const OBJ_STMT *)b;
    unsigned tx = (unsigned)x->ti, ty = (unsigned)y->ti;  /* -1 sorts last */
    if (tx != ty) return tx < ty ? -1 : 1;
    if (x->order != y->order) return x->order < y->order ? -1 : 1;
    return x->seq < y->seq ? -1 : x->seq > y->seq;
}

void sort_objects(EXP_RUN *run)
{
    if (run->nobjs > 1) qsort(run->objs, (size_t)run->nobjs, sizeof(OBJ_STMT), compare_objects);
}

int objects_of(const EXP_RUN *run, int ti, int *end)
{
    unsigned want = (unsigned)ti;
    int lo = 0, hi = run->nobjs;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if ((unsigned)run->objs[mid].ti < want)
            lo = mid + 1;
        else
            hi = mid;
    }
    int e = lo;
    while (e < run->nobjs && run->objs[e].ti == ti) e++;
    *end = e;
    return lo;
}

void free_objects(EXP_RUN *run)
{
    for (int i = 0; i < run->nobjs; i++) {
        free(run->objs[i].text);
        free(run->objs[i].column);
    }
    free(run->objs);
    run->objs = NULL;
    run->nobjs = run->objs_cap = 0;
    run->seq = 0;
    for (int i = 0; i < run->nwarnings; i++) free(run->warnings[i].line);
    free(run->warnings);
    run->warnings = NULL;
    run->nwarnings = run->warnings_cap = 0;
    free(run->by_name);
    run->by_name = NULL;
    for (int i = 0; i < run->ntab; i++) {
        free(run->tabs[i].long_name);
        run->tabs[i].long_name = NULL;
    }
    run->nlisted = 0;
    forget_views(run);
}

int listed_tables(const EXP_RUN *run)
{
    return run->nlisted;
}

const char *exp_table_name(const EXP_TABLE *tab)
{
    return tab->long_name ? tab->long_name : tab->info.tab_name;
}

int add_long_table(EXP_RUN *run, const char *name)
{
    int n = run->ntab;
    size_t bytes = sizeof(EXP_TABLE) * (size_t)(n + 1);
    EXP_TABLE *p = (EXP_TABLE *)realloc(run->tabs, bytes);
    char *copy = p ? strdup(name) : NULL;
    if (p) run->tabs = p;
    if (!copy) {
        fprintf(stderr, "Allocate memory for TABLE INFORMATION (%zu) error.\n", bytes);
        return -1;
    }
    memset(&run->tabs[n], 0, sizeof(EXP_TABLE));
    run->tabs[n].long_name = copy;
    run->tabs[n].spill_worker = -1;
    run->ntab = n + 1;
    forget_table_names(run);
    return 0;
}

void forget_table_names(EXP_RUN *run)
{
    free(run->by_name);
    run->by_name = NULL;
}

static int compare_names(const void *a, const void *b)
{
    return strcmp(exp_table_name(*(EXP_TABLE *const *)a), exp_table_name(*(EXP_TABLE *const *)b));
}

EXP_TABLE *find_table(EXP_RUN *run, const char *name)
{
    if (run->ntab == 0) return NULL;
    if (!run->by_name) {
        EXP_TABLE **by = (EXP_TABLE **)malloc(sizeof(EXP_TABLE *) * (size_t)run->ntab);
        if (!by) {
            /* without memory for the lookup, the list is searched through */
            for (int i = 0; i < run->ntab; i++)
                if (strcmp(exp_table_name(&run->tabs[i]), name) == 0) return &run->tabs[i];
            return NULL;
        }
        for (int i = 0; i < run->ntab; i++) by[i] = &run->tabs[i];
        qsort(by, (size_t)run->ntab, sizeof(EXP_TABLE *), compare_names);
        run->by_name = by;
    }
    int lo = 0, hi = run->ntab;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        int c = strcmp(exp_table_name(run->by_name[mid]), name);
        if (c == 0) return run->by_name[mid];
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return NULL;
}
