/*
 * check_owner.c - refuses an export of a schema that does not exist, or of
 * another user's schema that the session may not read, before any file is
 * written.
 */
#include <stdio.h>
#include <string.h>

#include "exp_local.h"

/* The first column of the one row of sqltxt into out (size bytes); 1 with a
 * row, 0 without, -1 on failure (message printed); 2 when the server has no
 * such view or refuses it (ORA-00942), with nothing printed. */
static int one_value(EXP_WORKER *w, const char *sqltxt, char *out, size_t size)
{
    static const ub4 width[1] = {64};
    DICT_QUERY q;
    int ret = dict_open(w, &q, sqltxt, 1, width);
    if (ret == 1) return 2;
    if (ret != 0) return -1;
    ret = dict_next(&q);
    if (ret == 1) snprintf(out, size, "%s", q.val[0]);
    dict_close(&q);
    return ret;
}

int check_owner(EXP_WORKER *w)
{
    char sqltxt[ESC_NAME_SIZE + 256], esc_owner[ESC_NAME_SIZE], me[64], dummy[64];
    int ret;

    if (sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'') < 0) return -1;
    /* ALL_USERS lists every user to every session. */
    snprintf(sqltxt, sizeof(sqltxt), "select USERNAME from ALL_USERS where USERNAME='%s'",
             esc_owner);
    ret = one_value(w, sqltxt, dummy, sizeof(dummy));
    if (ret < 0) return -1;
    if (ret == 0) {
        fprintf(stderr, "User \"%s\" does not exist.\n", w->run->owner_name);
        return -1;
    }
    if (one_value(w, "select USER from DUAL", me, sizeof(me)) != 1) {
        fprintf(stderr, "Read the connected user's name error.\n");
        return -1;
    }
    if (strcmp(me, w->run->owner_name) == 0) return 0;
    /* Another user's schema: its definitions are read through
     * DBMS_METADATA, which shows them only to a session that may read the
     * DBA_ views (a DBA, or a holder of SELECT_CATALOG_ROLE). Without that
     * every object would end in a warning of its own: the run is refused
     * once instead. */
    ret = one_value(w, "select count(*) from DBA_USERS", dummy, sizeof(dummy));
    if (ret < 0) return -1;
    if (ret == 2) {
        fprintf(stderr,
                "User \"%s\" may not export the schema of user \"%s\": reading another "
                "schema needs the DBA role.\n",
                me, w->run->owner_name);
        return -1;
    }
    return 0;
}
