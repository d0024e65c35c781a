/*
 * run_objects.c - the objects of the target schema this run created, and
 * the tables of the target it took over (IGNORE=Y or TABLE_EXISTS_ACTION,
 * after making sure under a lock that they are tables of the target).
 * Grants, comments, triggers and keys act only on these; everything else
 * of the target is left alone.
 */
#include <stdlib.h>
#include <string.h>

#include "imp_local.h"

/* A sorted list of names, searched by halves. */
typedef struct __name_set {
    char **names;
    int n, cap;
} NAME_SET;

static NAME_SET g_ours;   /* created or taken over */
static NAME_SET g_taken;  /* taken over: the target had them already */

/* Position of name in the set, or where it would go. */
static int find(const NAME_SET *set, const char *name, int *found)
{
    int lo = 0, hi = set->n;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        int c = strcmp(set->names[mid], name);
        if (c == 0) {
            *found = 1;
            return mid;
        }
        if (c < 0) lo = mid + 1;
        else hi = mid;
    }
    *found = 0;
    return lo;
}

static int add(NAME_SET *set, const char *name)
{
    int found;
    int at = find(set, name, &found);
    if (found) return 0;
    if (set->n == set->cap) {
        int cap = set->cap ? 2 * set->cap : 64;
        char **n = realloc(set->names, (size_t)cap * sizeof(*n));
        if (!n) return -1;
        set->names = n;
        set->cap = cap;
    }
    char *copy = strdup(name);
    if (!copy) return -1;
    memmove(set->names + at + 1, set->names + at, (size_t)(set->n - at) * sizeof(*set->names));
    set->names[at] = copy;
    set->n++;
    return 0;
}

static void clear(NAME_SET *set)
{
    for (int i = 0; i < set->n; i++) free(set->names[i]);
    free(set->names);
    memset(set, 0, sizeof(*set));
}

int imp_mark_ours(const char *name)
{
    return add(&g_ours, name);
}

int imp_mark_taken(const char *name)
{
    return add(&g_taken, name) < 0 ? -1 : add(&g_ours, name);
}

int imp_is_ours(const char *name)
{
    int found;
    find(&g_ours, name, &found);
    return found;
}

int imp_is_taken(const char *name)
{
    int found;
    find(&g_taken, name, &found);
    return found;
}

void imp_forget_ours(void)
{
    clear(&g_ours);
    clear(&g_taken);
}
