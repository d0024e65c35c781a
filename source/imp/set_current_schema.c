/*
 * set_current_schema.c - switches the session to the target schema, so
 * that the stored DDL, which names no schema, acts there.
 */
#include <string.h>

#include "imp_local.h"
#include "create_table.h"
#include "quote_name.h"

int set_current_schema(IMP_WORKER *w)
{
    char sql[256];
    static const char prefix[] = "alter session set current_schema=";

    /* The name is exact already (upper-cased unless given in quotes), so it
     * goes in double quotes, with any double quote inside it doubled. */
    memcpy(sql, prefix, sizeof(prefix) - 1);
    char *end = imp_put_quoted(sql + sizeof(prefix) - 1, w->run->owner_name);
    return imp_run_sql(w, sql, (int)(end - sql));
}
