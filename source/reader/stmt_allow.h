/*
 * stmt_allow.h - decides whether a statement read from a dump is of a kind
 * an export writes, by parsing its head and names (quoted names included),
 * so that a crafted dump cannot make the importer run anything else or
 * reach outside the target schema.
 */
#ifndef TAB_STMT_ALLOW_H
#define TAB_STMT_ALLOW_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Where a statement stands in the dump; each allowed kind lists where. */
#define STMT_AT_CREATE 1    /* first text block of a table section */
#define STMT_AT_SECTION 2   /* index and key list after the rows */
#define STMT_AT_DEFERRED 4  /* the trailer's list, run after every table */

/* Longest name the checker keeps (bytes); longer names are refused. */
#define STMT_NAME_MAX 128

typedef struct __stmt_scope {
    int where;               /* STMT_AT_... */
    const char *table;       /* the section's table (exact name); NULL in the deferred list */
    const char *schema;      /* the only schema a qualifier may name */
    /* In the deferred list: whether name is a table of the dump. */
    int (*is_table)(void *ctx, const char *name);
    void *ctx;
    /* In the deferred list: whether name is a materialized view created
     * before in the list, whose container an index may be created on
     * (NULL: none is). */
    int (*is_mview)(void *ctx, const char *name);
} STMT_SCOPE;

/* What an allowed statement is about. */
typedef struct __stmt_info {
    const char *kind;                 /* "table", "index", "constraint", "comment", "sequence",
                                         "view", "synonym", "procedure", ..., "trigger", "grant" */
    char object[STMT_NAME_MAX + 1];   /* the object it creates or changes ("" for a system-named
                                         constraint); a grant or comment: the object it is on */
    char table[STMT_NAME_MAX + 1];    /* the dump's table it belongs to; "" for schema objects */
    char grantee[STMT_NAME_MAX + 1];  /* a grant: who receives it */
    /* The object of the target schema a grant or comment is on, or a
     * trigger's table: the importer makes sure it is not a synonym, through
     * which the database would act on the object the synonym stands for. */
    char acts_on[STMT_NAME_MAX + 1];
    /* Offset of a name written without a schema that the importer qualifies
     * with the target schema before it runs the statement (the object of a
     * grant or comment, the table of a trigger), so that it can never be
     * resolved through a public synonym to another schema; 0 for none. */
    uint32_t qualify_at;
} STMT_INFO;

/* NULL when text (len bytes) is one statement of an allowed kind for the
 * scope; otherwise the reason, written into why (size bytes). */
const char *stmt_refusal(const STMT_SCOPE *scope, const char *text, uint32_t len, char *why,
                         size_t size);

/* As stmt_refusal; an allowed statement is also described in *info. */
const char *stmt_check(const STMT_SCOPE *scope, const char *text, uint32_t len, STMT_INFO *info,
                       char *why, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* TAB_STMT_ALLOW_H */
