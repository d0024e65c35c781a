/*
 * name_set.c - a small set of object names; a schema has few materialized
 * views, so a look-up walks the list.
 */
#include <stdlib.h>
#include <string.h>

#include "name_set.h"

int name_set_add(NAME_SET *s, const char *name)
{
    if (name_set_has(s, name)) return 0;
    if (s->n == s->cap) {
        size_t cap = s->cap ? 2 * s->cap : 8;
        char **p = (char **)realloc(s->names, cap * sizeof(*p));
        if (!p) return -1;
        s->names = p;
        s->cap = cap;
    }
    char *copy = strdup(name);
    if (!copy) return -1;
    s->names[s->n++] = copy;
    return 0;
}

int name_set_has(const NAME_SET *s, const char *name)
{
    for (size_t i = 0; i < s->n; i++)
        if (strcmp(s->names[i], name) == 0) return 1;
    return 0;
}

void name_set_clear(NAME_SET *s)
{
    for (size_t i = 0; i < s->n; i++) free(s->names[i]);
    free(s->names);
    s->names = NULL;
    s->n = s->cap = 0;
}
