/*
 * name_set.h - a small set of object names (exact, as the checker keeps
 * them), for the materialized views a dump's deferred list creates: the
 * statements after them may create indexes on their container tables.
 */
#ifndef TAB_NAME_SET_H
#define TAB_NAME_SET_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct __name_set {
    char **names;
    size_t n, cap;
} NAME_SET;

/* Adds a copy of name unless it is there. 0, or -1 when out of memory. */
int name_set_add(NAME_SET *s, const char *name);
/* Whether name is in the set. */
int name_set_has(const NAME_SET *s, const char *name);
/* Frees every name; the set is then empty and may be used again. */
void name_set_clear(NAME_SET *s);

#ifdef __cplusplus
}
#endif

#endif /* TAB_NAME_SET_H */
