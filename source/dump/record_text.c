/*
 * record_text.c - a GRANT, COMMENT, SYNONYM or SEQUENCE record of the
 * trailer handed on as the statement tabimp writes for it (without the
 * schema qualifier), so that the listing, the check, the JSON and the
 * script show it as such.
 */
#include <stdlib.h>

#include "record_text.h"

int record_as_statement(void *ctx, const DUMP_OBJ_RECORD *rec,
                        int (*fn)(void *ctx, const char *text, uint32_t len))
{
    uint32_t len = 0, name_at = 0;
    char *sql = dump_record_sql(rec, &len, &name_at);
    if (!sql) {
        fprintf(stderr, "Allocate memory error.\n");
        return -1;
    }
    int rc = fn(ctx, sql, len);
    free(sql);
    return rc;
}
