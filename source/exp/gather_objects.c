/*
 * gather_objects.c - gathers, before the first table is written, every
 * statement the dump carries besides tables, indexes and primary keys,
 * with one dictionary query per kind for the whole schema, so that a
 * schema of many tables costs no query more per table.
 */
#include "exp_local.h"

int gather_objects(EXP_WORKER *w)
{
    if (gather_uncarried(w) != 0) return -1;
    if (gather_constraints(w) != 0) return -1;
    if (gather_foreign_keys(w) != 0) return -1;
    if (gather_grants(w) != 0) return -1;
    if (full_export(w->run)) {
        if (gather_sequences(w) != 0) return -1;
        if (gather_views(w) != 0) return -1;
        if (gather_mviews(w) != 0) return -1;
        if (gather_dimensions(w) != 0) return -1;
        if (gather_synonyms(w) != 0) return -1;
        if (gather_code(w) != 0) return -1;
    }
    /* after the views: a view's comments follow every view */
    int rc = gather_comments(w);
    forget_views(w->run);
    if (rc != 0) return -1;
    sort_objects(w->run);
    return 0;
}
