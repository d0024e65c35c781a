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

OBJ_STMT *g_objs;
int g_nobjs;
char **g_warnings;
int g_nwarnings;

char **g_long_names;
int g_nlisted;

static int g_objs_cap;
static uint32_t g_seq;
static int *g_by_name;  /* table indexes sorted by name, for find_table */

int full_export(void)
{
    return g_run_options.tables.list == NULL;
}

int warn_object(const char *kind, const char *name, const char *reason)
{
    size_t size = strlen(kind) + strlen(name) + strlen(reason) + 40;
    char *text = (char *)malloc(size);
    if (!text) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", size);
        return -1;
    }
    snprintf(text, size, "%s \"%s\" not exported: %s.", kind, name, reason);
    int rc = keep_warning(text);
    free(text);
    return rc;
}

/* Prints a line on standard output and in the log. */
static void print_line(const char *prefix, const char *text)
{
    /* control characters of names reach no terminal or log raw */
    const char *shown = show(text);
    printf("%s%s\n", prefix, shown);
    fflush(stdout);
    if (g_exp.ofp && g_exp.ofp != stdout) {
        fprintf(g_exp.ofp, "%s%s\n", prefix, shown);
        fflush(g_exp.ofp);
    }
}

void note_line(const char *text)
{
    print_line("Warning: ", text);
}

int keep_warning(const char *text)
{
    size_t size = strlen(text) + 16;
    char *line = (char *)malloc(size);
    char **list = (char **)realloc(g_warnings, sizeof(char *) * (size_t)(g_nwarnings + 1));
    if (!line || !list) {
        free(line);
        if (list) g_warnings = list;
        fprintf(stderr, "Allocate memory (%zu) error.\n", size);
        return -1;
    }
    g_warnings = list;
    snprintf(line, size, "Warning: %s", text);
    g_warnings[g_nwarnings++] = line;
    run_warning();
    print_line("", line);
    return 0;
}

static int keep_object(int ti, int order, uint16_t rec_kind, const char *text, size_t len,
                       const char *column);

int add_object(int ti, int order, const char *text, size_t len, const char *column,
               const char *kind, const char *name)
{
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\n' || text[len - 1] == '\t'))
        len--;
    /* A table's list holds text blocks; the trailer takes a statement of
     * any length up to a record's bound. */
    if (ti >= 0 && len > DUMP_TEXT_MAX)
        return warn_object(kind, name, "its statement is longer than 65535 bytes");
    if (len > DUMP_RECORD_MAX) {
        char why[64];
        snprintf(why, sizeof(why), "its statement is longer than %u bytes", DUMP_RECORD_MAX);
        return warn_object(kind, name, why);
    }
    int allowed = check_written_statement(ti, text, len, kind, name);
    if (allowed <= 0) return allowed;
    return keep_object(ti, order, 0, text, len, column);
}

int add_record(int order, uint16_t rec_kind, const uint8_t *payload, size_t len)
{
    return keep_object(-1, order, rec_kind, (const char *)payload, len, NULL);
}

/* Stores a copy of text[0..len) (a record's payload when rec_kind is not
 * 0) at place `order` of table ti. */
static int keep_object(int ti, int order, uint16_t rec_kind, const char *text, size_t len,
                       const char *column)
{
    if (g_nobjs == g_objs_cap) {
        int cap = g_objs_cap ? g_objs_cap * 2 : 256;
        OBJ_STMT *p = (OBJ_STMT *)realloc(g_objs, sizeof(OBJ_STMT) * (size_t)cap);
        if (!p) {
            fprintf(stderr, "Allocate memory (%zu) error.\n", sizeof(OBJ_STMT) * (size_t)cap);
            return -1;
        }
        g_objs = p;
        g_objs_cap = cap;
    }
    OBJ_STMT *o = &g_objs[g_nobjs];
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
    o->seq = g_seq++;
    g_nobjs++;
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

void sort_objects(void)
{
    if (g_nobjs > 1) qsort(g_objs, (size_t)g_nobjs, sizeof(OBJ_STMT), compare_objects);
}

int objects_of(int ti, int *end)
{
    unsigned want = (unsigned)ti;
    int lo = 0, hi = g_nobjs;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if ((unsigned)g_objs[mid].ti < want)
            lo = mid + 1;
        else
            hi = mid;
    }
    int e = lo;
    while (e < g_nobjs && g_objs[e].ti == ti) e++;
    *end = e;
    return lo;
}

void free_objects(void)
{
    for (int i = 0; i < g_nobjs; i++) {
        free(g_objs[i].text);
        free(g_objs[i].column);
    }
    free(g_objs);
    g_objs = NULL;
    g_nobjs = g_objs_cap = 0;
    g_seq = 0;
    for (int i = 0; i < g_nwarnings; i++) free(g_warnings[i]);
    free(g_warnings);
    g_warnings = NULL;
    g_nwarnings = 0;
    free(g_by_name);
    g_by_name = NULL;
    if (g_long_names)
        for (int i = 0; i < g_exp.ntab; i++) free(g_long_names[i]);
    free(g_long_names);
    g_long_names = NULL;
    g_nlisted = 0;
}

int listed_tables(void)
{
    return g_long_names ? g_nlisted : g_exp.ntab;
}

const char *exp_table_name(int ti)
{
    if (g_long_names && g_long_names[ti]) return g_long_names[ti];
    return g_exp.tabp[ti].tab_name;
}

int add_long_table(const char *name)
{
    int n = g_exp.ntab;
    size_t bytes = (size_t)dir_area_size((uint64_t)n + 1);
    TAB_INFO *p = (TAB_INFO *)realloc(g_exp.tabp, bytes);
    char **names = p ? (char **)realloc(g_long_names, sizeof(char *) * (size_t)(n + 1)) : NULL;
    char *copy = names ? strdup(name) : NULL;
    if (p) g_exp.tabp = p;
    if (!copy) {
        if (names) g_long_names = names;
        fprintf(stderr, "Allocate memory for TABLE INFORMATION (%zu) error.\n", bytes);
        return -1;
    }
    if (!g_long_names) {
        /* the list had no long names so far: the directory's tables */
        memset(names, 0, sizeof(char *) * (size_t)n);
        g_nlisted = n;
    }
    g_long_names = names;
    memset(&g_exp.tabp[n], 0, sizeof(TAB_INFO));
    g_long_names[n] = copy;
    g_exp.ntab = n + 1;
    forget_table_names();
    return 0;
}

void forget_table_names(void)
{
    free(g_by_name);
    g_by_name = NULL;
}

static int compare_names(const void *a, const void *b)
{
    return strcmp(exp_table_name(*(const int *)a), exp_table_name(*(const int *)b));
}

int find_table(const char *name)
{
    if (g_exp.ntab == 0) return -1;
    if (!g_by_name) {
        g_by_name = (int *)malloc(sizeof(int) * (size_t)g_exp.ntab);
        if (!g_by_name) {
            /* without memory for the lookup, the list is searched through */
            for (int i = 0; i < g_exp.ntab; i++)
                if (strcmp(exp_table_name(i), name) == 0) return i;
            return -1;
        }
        for (int i = 0; i < g_exp.ntab; i++) g_by_name[i] = i;
        qsort(g_by_name, (size_t)g_exp.ntab, sizeof(int), compare_names);
    }
    int lo = 0, hi = g_exp.ntab;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        int c = strcmp(exp_table_name(g_by_name[mid]), name);
        if (c == 0) return g_by_name[mid];
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return -1;
}
