/*
 * gather_constraints.c - the schema's NOT NULL, UNIQUE and CHECK
 * constraints, each as DBMS_METADATA gives it with its state, in one
 * query for the whole schema; each goes to its table's statement list.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "exp_local.h"

static const char segment_setup[] =
    "BEGIN\n"
    "  DBMS_METADATA.SET_TRANSFORM_PARAM(DBMS_METADATA.SESSION_TRANSFORM, 'SEGMENT_ATTRIBUTES', %s);\n"
    "END;";

/* The quoted column name after "MODIFY (" of a NOT NULL text, copied into
 * col (size bytes); 0, or -1 when the text has no such shape. */
static int modify_column(const char *text, size_t len, char *col, size_t size)
{
    long at = find_words(text, len, "MODIFY", NULL);
    if (at < 0) return -1;
    const char *p = text + at + 6;
    while (*p == ' ') p++;
    if (*p != '(') return -1;
    p++;
    while (*p == ' ') p++;
    if (*p != '"') return -1;
    const char *e = p + 1;
    while (*e && !(e[0] == '"' && e[1] != '"')) e += (e[0] == '"') ? 2 : 1;
    if (!*e || (size_t)(e + 1 - p) >= size) return -1;
    memcpy(col, p, (size_t)(e + 1 - p));
    col[e + 1 - p] = '\0';
    return 0;
}

static int add_constraint(DICT_QUERY *q, void *ctx)
{
    EXP_WORKER *w = q->w;
    (void)ctx;
    EXP_TABLE *tab = find_table(w->run, q->val[0]);
    if (!tab) return 0;
    size_t len;
    int rc;
    char *text = dict_text(q, 3, 0, "constraint", q->val[1],
                           strcmp(q->val[2], "GENERATED NAME") == 0, &len, &rc);
    if (!text) return rc;
    char col[ESC_NAME_SIZE + 2];
    int not_null = strncmp(text, "ALTER TABLE ", 12) == 0 && find_words(text, len, "ADD", NULL) < 0 &&
                   modify_column(text, len, col, sizeof(col)) == 0;
    rc = add_object(w, tab, not_null ? OBJ_NOT_NULL : OBJ_KEY_CHECK, text, len, not_null ? col : NULL,
                    "constraint", q->val[1]);
    free(text);
    return rc;
}

int gather_constraints(EXP_WORKER *w)
{
    static const ub4 widths[4] = {LONG_NAME_WIDTH, LONG_NAME_WIDTH, 16, 65536};
    static const char from[] =
        "from ALL_CONSTRAINTS\n"
        "where OWNER='%s' and CONSTRAINT_TYPE in ('C', 'U') and TABLE_NAME not like 'BIN$%%'\n"
        "order by TABLE_NAME, CONSTRAINT_TYPE desc, CONSTRAINT_NAME";
    char fmt[512], bulk[640], list[640], esc_owner[ESC_NAME_SIZE];

    if (run_transform_block(w, segment_setup) != 0) return -1;
    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    snprintf(fmt, sizeof(fmt),
             "select TABLE_NAME, CONSTRAINT_NAME, GENERATED,\n"
             "DBMS_METADATA.GET_DDL('CONSTRAINT', CONSTRAINT_NAME, OWNER)\n%s", from);
    snprintf(bulk, sizeof(bulk), fmt, esc_owner);
    snprintf(fmt, sizeof(fmt), "select TABLE_NAME, CONSTRAINT_NAME, GENERATED\n%s", from);
    snprintf(list, sizeof(list), fmt, esc_owner);
    return dict_each_ddl(w, bulk, list, 4, widths, "CONSTRAINT", 1, "constraint", add_constraint, NULL);
}
