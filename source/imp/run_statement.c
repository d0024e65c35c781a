/*
 * run_statement.c - runs one statement of the dump that has been found to
 * be of an allowed kind: the object of a grant or comment and the table of
 * a trigger are qualified with the target schema first and must not be
 * synonyms (see is_target_synonym.c), a grant to a user
 * the target database lacks is reported and skipped, and a failure names
 * the object it was for.
 */
#include <stdlib.h>
#include <string.h>

#include "imp_local.h"

/* ORA-01917: user or role does not exist */
#define ORA_NO_GRANTEE 1917
/* ORA-01749: you may not GRANT/REVOKE privileges to/from yourself */
#define ORA_GRANT_TO_SELF 1749

/* Runs text with "SCHEMA". inserted at offset at. */
static int run_qualified(const char *text, int len, uint32_t at)
{
    size_t room = (size_t)len + 2 * strlen(g_imp.owner_name) + 4;
    char *sql = malloc(room);
    if (!sql) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", room);
        return -1;
    }
    memcpy(sql, text, at);
    char *p = imp_put_quoted(sql + at, g_imp.owner_name);
    *p++ = '.';
    memcpy(p, text + at, (size_t)len - at);
    p += (size_t)len - at;
    int rc = imp_run_sql(sql, (int)(p - sql));
    free(sql);
    return rc;
}

int run_dump_statement(const char *text, int len, const STMT_INFO *in)
{
    if (in->acts_on[0] != '\0') {
        int syn = is_target_synonym(in->acts_on);
        if (syn < 0) return -1;
        if (syn > 0) {
            fprintf(stderr, "Statement refused, \"%s\" is a synonym:\n%.*s\n", in->acts_on,
                    len > 200 ? 200 : len, text);
            return -2;
        }
    }
    int rc = in->qualify_at > 0 && in->qualify_at < (uint32_t)len
                 ? run_qualified(text, len, in->qualify_at)
                 : imp_run_sql(text, len);
    if (rc == 0) return 0;
    if (strcmp(in->kind, "grant") == 0 && get_ora_code() == ORA_NO_GRANTEE) {
        fprintf(stderr, "Grant on \"%s\" to \"%s\" skipped: the user does not exist.\n", in->object,
                in->grantee);
        return 0;
    }
    /* The target's owner, or the importing user, holds the privilege already. */
    if (strcmp(in->kind, "grant") == 0 && get_ora_code() == ORA_GRANT_TO_SELF) {
        fprintf(stderr, "Grant on \"%s\" to \"%s\" skipped: the grantee owns the object or runs the import.\n",
                in->object, in->grantee);
        return 0;
    }
    if (strcmp(in->kind, "grant") == 0)
        fprintf(stderr, "Grant on \"%s\" to \"%s\" failed.\n", in->object, in->grantee);
    else if (in->object[0] == '\0')
        fprintf(stderr, "Create %s on \"%s\" failed.\n", in->kind, in->table);
    else if (strcmp(in->kind, "comment") == 0)
        fprintf(stderr, "Create comment on \"%s\" failed.\n", in->object);
    else
        fprintf(stderr, "Create %s \"%s\" failed.\n", in->kind, in->object);
    return -1;
}
