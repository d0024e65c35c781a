/*
 * gather_code.c - the schema's stored code as source, as DBMS_METADATA
 * gives each unit, from one query over ALL_SOURCE: type specifications
 * and packages first, then functions and procedures, bodies, and the
 * triggers last. The owner's qualifier leaves the unit's head, a
 * trigger's ON clause and the whole of a type's specification; a disabled
 * trigger is disabled again by its own statement.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"

/* The head of a unit ends with the line of its name; a trigger's with the
 * line of its ON clause. Only there is the qualifier taken out. */
static size_t head_length(const char *text, size_t len, int trigger)
{
    size_t i = 0;
    while (i < len && (text[i] == ' ' || text[i] == '\n')) i++;
    long on = trigger ? find_words(text, len, "ON", NULL) : -1;
    size_t from = on >= 0 ? (size_t)on : i;
    const char *nl = memchr(text + from, '\n', len - from);
    return nl ? (size_t)(nl - text) : len;
}

static int add_unit(EXP_WORKER *w, const char *name, const char *type, char *ddl)
{
    size_t len = strlen(ddl);
    int trigger = strcmp(type, "TRIGGER") == 0;
    int disabled = 0;
    if (trigger) {
        /* the text ends with ALTER TRIGGER ... ENABLE|DISABLE on a line of its own */
        char *alter = NULL;
        for (char *p = strstr(ddl, "\nALTER TRIGGER "); p; p = strstr(p + 1, "\nALTER TRIGGER "))
            alter = p;
        if (alter) {
            disabled = strstr(alter, " DISABLE") != NULL;
            *alter = '\0';
            len = (size_t)(alter - ddl);
        }
    }
    /* A type's specification declares and runs nothing: the qualifier goes
     * wherever it names the schema's own types (OF, UNDER, REF and the
     * attributes, on any line). */
    size_t hlen = strcmp(type, "TYPE") == 0 ? len : head_length(ddl, len, trigger), l1, l2;
    char *head = strip_owner(w->run->owner_name, ddl, hlen, 1, &l1);
    char *text = head ? (char *)malloc(l1 + (len - hlen) + 1) : NULL;
    int rc = -1;
    if (!text) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", len);
    } else {
        memcpy(text, head, l1);
        memcpy(text + l1, ddl + hlen, len - hlen);
        l2 = l1 + (len - hlen);
        text[l2] = '\0';
        int before = w->run->nobjs;
        rc = add_object(w, NULL, OBJ_CODE, text, l2, NULL, trigger ? "trigger" : "stored code", name);
        if (w->run->nobjs == before) disabled = 0;  /* left out: nothing to disable */
    }
    if (rc == 0 && disabled) {
        char esc[ESC_NAME_SIZE], alter[ESC_NAME_SIZE + 32];
        sql_escape(esc, sizeof(esc), name, '"');
        snprintf(alter, sizeof(alter), "ALTER TRIGGER \"%s\" DISABLE", esc);
        rc = add_object(w, NULL, OBJ_CODE, alter, strlen(alter), NULL, "trigger", name);
    }
    free(head);
    free(text);
    return rc;
}

int gather_code(EXP_WORKER *w)
{
    static const ub4 widths[3] = {LONG_NAME_WIDTH, 16, DICT_CODE_WIDTH};
    char sqltxt[1536], esc_owner[ESC_NAME_SIZE];
    DICT_QUERY q;
    int ret;

    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select NAME, TYPE, DBMS_METADATA.GET_DDL(\n"
             "  case TYPE when 'PACKAGE' then 'PACKAGE_SPEC' when 'TYPE' then 'TYPE_SPEC'\n"
             "  when 'PACKAGE BODY' then 'PACKAGE_BODY' when 'TYPE BODY' then 'TYPE_BODY'\n"
             "  else TYPE end, NAME, OWNER)\n"
             "from ALL_SOURCE\n"
             "where OWNER='%s' and LINE=1 and TYPE in ('TYPE', 'PACKAGE', 'FUNCTION',\n"
             "  'PROCEDURE', 'PACKAGE BODY', 'TYPE BODY', 'TRIGGER')\n"
             "order by case TYPE when 'TYPE' then 1 when 'PACKAGE' then 2\n"
             "  when 'FUNCTION' then 3 when 'PROCEDURE' then 4 when 'PACKAGE BODY' then 5\n"
             "  when 'TYPE BODY' then 6 else 7 end, NAME",
             esc_owner);
    ret = dict_open(w, &q, sqltxt, 3, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        if (q.rcode[2] == 1406) {
            char why[64];
            snprintf(why, sizeof(why), "its statement is longer than %u bytes", DICT_CODE_WIDTH - 1);
            if (warn_object(w, "stored code", q.val[0], why) == 0) continue;
            ret = -1;
            break;
        }
        if (add_unit(w, q.val[0], q.val[1], q.val[2]) != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}
