/*
 * gather_objects.c - gathers, before the first table is written, every
 * statement the dump carries besides tables, indexes and primary keys,
 * with one dictionary query per kind for the whole schema, so that a
 * schema of many tables costs no query more per table.
 */
#include "exp_local.h"

int gather_objects(void)
{
    if (gather_uncarried() != 0) return -1;
    if (gather_constraints() != 0) return -1;
    if (gather_foreign_keys() != 0) return -1;
    if (gather_grants() != 0) return -1;
    if (full_export()) {
        if (gather_sequences() != 0) return -1;
        if (gather_views() != 0) return -1;
        if (gather_mviews() != 0) return -1;
        if (gather_synonyms() != 0) return -1;
        if (gather_code() != 0) return -1;
    }
    /* after the views: a view's comments follow every view */
    int rc = gather_comments();
    forget_views();
    if (rc != 0) return -1;
    sort_objects();
    return 0;
}
