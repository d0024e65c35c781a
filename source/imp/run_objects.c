/*
 * run_objects.c - the objects of the target schema this run created (or
 * took over with TABLE_EXISTS_ACTION or IGNORE=Y after making sure they
 * are tables of the target). Grants, comments, triggers and keys act only
 * on these; everything else of the target is left alone.
 */
#include <stdlib.h>
#include <string.h>

#include "imp_local.h"

static char **g_ours;
static int g_ours_n, g_ours_cap;

/* Position of name in the sorted list, or where it would go. */
static int find(const char *name, int *found)
{
    int lo = 0, hi = g_ours_n;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        int c = strcmp(g_ours[mid], name);
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

int imp_mark_ours(const char *name)
{
    int found;
    int at = find(name, &found);
    if (found) return 0;
    if (g_ours_n == g_ours_cap) {
        int cap = g_ours_cap ? 2 * g_ours_cap : 64;
        char **n = realloc(g_ours, (size_t)cap * sizeof(*n));
        if (!n) return -1;
        g_ours = n;
        g_ours_cap = cap;
    }
    char *copy = strdup(name);
    if (!copy) return -1;
    memmove(g_ours + at + 1, g_ours + at, (size_t)(g_ours_n - at) * sizeof(*g_ours));
    g_ours[at] = copy;
    g_ours_n++;
    return 0;
}

int imp_is_ours(const char *name)
{
    int found;
    find(name, &found);
    return found;
}

void imp_forget_ours(void)
{
    for (int i = 0; i < g_ours_n; i++) free(g_ours[i]);
    free(g_ours);
    g_ours = NULL;
    g_ours_n = g_ours_cap = 0;
}
