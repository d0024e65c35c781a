/*
 * run_objects.c - the objects of the target schema this run created, and
 * the tables of the target it took over (IGNORE=Y or TABLE_EXISTS_ACTION,
 * after making sure under a lock that they are tables of the target).
 * Grants, comments, triggers and keys act only on these; everything else
 * of the target is left alone.
 */
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#include "imp_local.h"

void imp_lock(const IMP_RUN *run)
{
    if (run->lock) pthread_mutex_lock((pthread_mutex_t *)run->lock);
}

void imp_unlock(const IMP_RUN *run)
{
    if (run->lock) pthread_mutex_unlock((pthread_mutex_t *)run->lock);
}

/* Position of name in the set, or where it would go. */
static int find(const IMP_NAMES *set, const char *name, int *found)
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

static int add(IMP_NAMES *set, const char *name)
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

static void clear(IMP_NAMES *set)
{
    for (int i = 0; i < set->n; i++) free(set->names[i]);
    free(set->names);
    memset(set, 0, sizeof(*set));
}

/* The lists change while other workers look things up in them: every
 * access holds the run's lock. */
int imp_mark_ours(IMP_RUN *run, const char *name)
{
    imp_lock(run);
    int rc = add(&run->ours, name);
    imp_unlock(run);
    return rc;
}

int imp_mark_taken(IMP_RUN *run, const char *name)
{
    imp_lock(run);
    int rc = add(&run->taken, name) < 0 ? -1 : add(&run->ours, name);
    imp_unlock(run);
    return rc;
}

int imp_is_ours(const IMP_RUN *run, const char *name)
{
    int found;
    imp_lock(run);
    find(&run->ours, name, &found);
    imp_unlock(run);
    return found;
}

int imp_is_taken(const IMP_RUN *run, const char *name)
{
    int found;
    imp_lock(run);
    find(&run->taken, name, &found);
    imp_unlock(run);
    return found;
}

void imp_forget_ours(IMP_RUN *run)
{
    clear(&run->ours);
    clear(&run->taken);
}
