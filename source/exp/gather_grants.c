/*
 * gather_grants.c - the object privileges the owner granted on the objects
 * the dump recreates, one GRANT per privilege, from DBA_TAB_PRIVS (or
 * ALL_TAB_PRIVS where the session may not read it) in one query. With
 * TABLES only grants on the exported tables go in. Each goes as a record
 * of its fields, from which tabimp writes the statement itself.
 */
#include <stdio.h>
#include <string.h>

#include "dump_reader.h"
#include "exp_local.h"

/* A name a record can hold: 1 to 128 bytes, no '"' (NUL cannot occur). */
static int record_name(const char *name)
{
    size_t n = strlen(name);
    return n > 0 && n <= DUMP_NAME_MAX && !strchr(name, '"');
}

/* The grant as a record, from whose fields tabimp writes the statement;
 * 1 when it cannot be one (a privilege or name a record cannot hold),
 * and it goes as text. */
static int grant_record(EXP_WORKER *w, const char *grantee, const char *object, const char *privilege,
                        int grantable)
{
    uint8_t p[DUMP_REC_GRANT_FIXED + 2 * DUMP_NAME_MAX];
    int priv = dump_privilege_number(privilege);
    if (priv == 0 || !record_name(object) || !record_name(grantee)) return 1;
    size_t on = strlen(object), gn = strlen(grantee);
    p[0] = (uint8_t)priv;
    p[1] = grantable ? DUMP_GRANTABLE : 0;
    p[2] = (uint8_t)on;
    p[3] = (uint8_t)gn;
    memcpy(p + 4, object, on);
    memcpy(p + 4 + on, grantee, gn);
    return add_record(w->run, OBJ_GRANT, DUMP_REC_GRANT, p, DUMP_REC_GRANT_FIXED + on + gn);
}

int gather_grants(EXP_WORKER *w)
{
    static const ub4 widths[5] = {LONG_NAME_WIDTH, LONG_NAME_WIDTH, 48, 4, 32};
    char sqltxt[640], esc_owner[ESC_NAME_SIZE], text[3 * ESC_NAME_SIZE + 96];
    char eg[ESC_NAME_SIZE], et[ESC_NAME_SIZE], grantee[ESC_NAME_SIZE + 2];
    DICT_QUERY q;
    int ret;

    /* DBA_TAB_PRIVS for a DBA exporting another schema (ALL_TAB_PRIVS
     * shows only the grants the session itself made, received or owns);
     * ALL_TAB_PRIVS otherwise; before 12c the view has no TYPE: a name not
     * exported as a table is then taken for another kind of object. */
    static const char *const forms[] = {
        "select GRANTEE, TABLE_NAME, PRIVILEGE, GRANTABLE, TYPE\n"
        "from DBA_TAB_PRIVS\n"
        "where OWNER='%s' and GRANTOR='%s'\n"
        "order by TABLE_NAME, GRANTEE, PRIVILEGE",
        "select GRANTEE, TABLE_NAME, PRIVILEGE, GRANTABLE, TYPE\n"
        "from ALL_TAB_PRIVS\n"
        "where TABLE_SCHEMA='%s' and GRANTOR='%s'\n"
        "order by TABLE_NAME, GRANTEE, PRIVILEGE",
        "select GRANTEE, TABLE_NAME, PRIVILEGE, GRANTABLE, 'OBJECT'\n"
        "from ALL_TAB_PRIVS\n"
        "where TABLE_SCHEMA='%s' and GRANTOR='%s'\n"
        "order by TABLE_NAME, GRANTEE, PRIVILEGE"};
    size_t i;

    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    ret = 1;
    for (i = 0; ret == 1 && i < sizeof(forms) / sizeof(forms[0]); i++) {
        snprintf(sqltxt, sizeof(sqltxt), forms[i], esc_owner, esc_owner);
        ret = dict_open(w, &q, sqltxt, 5, widths);
    }
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        int is_table = find_table(w->run, q.val[1]) != NULL;
        /* a grant on a table not exported, or on another kind of object
         * in a dump of some tables only, has nothing to go on */
        if (!is_table && (!full_export(w->run) || strcmp(q.val[4], "TABLE") == 0)) continue;
        int rc = grant_record(w, q.val[0], q.val[1], q.val[2], strcmp(q.val[3], "YES") == 0);
        if (rc < 0) {
            ret = -1;
            break;
        }
        if (rc == 0) continue;
        sql_escape(et, sizeof(et), q.val[1], '"');
        if (strcmp(q.val[0], "PUBLIC") == 0) {
            snprintf(grantee, sizeof(grantee), "PUBLIC");
        } else {
            sql_escape(eg, sizeof(eg), q.val[0], '"');
            snprintf(grantee, sizeof(grantee), "\"%s\"", eg);
        }
        snprintf(text, sizeof(text), "GRANT %s ON \"%s\" TO %s%s", q.val[2], et, grantee,
                 strcmp(q.val[3], "YES") == 0 ? " WITH GRANT OPTION" : "");
        if (add_object(w, NULL, OBJ_GRANT, text, strlen(text), NULL, "grant on", q.val[1]) != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}
