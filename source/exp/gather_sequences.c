/*
 * gather_sequences.c - the schema's sequences as records of their fields
 * (or, where a record cannot hold one, CREATE SEQUENCE text in
 * DBMS_METADATA's shape), from ALL_SEQUENCES in one query: START WITH
 * is the source's LAST_NUMBER, so that the copy never hands out a number
 * the source has handed out. Identity columns' own sequences stay out:
 * their tables recreate them.
 */
#include <stdio.h>
#include <string.h>

#include "dump_reader.h"
#include "exp_local.h"

/* The sequence as a record, from whose fields tabimp writes the statement;
 * 1 when a record cannot hold a field (a '"' in the name, a number that
 * is not plain digits), and it goes as text. */
static int sequence_record(EXP_WORKER *w, const char *name, const char *const num[5], int cycle, int order)
{
    uint8_t p[DUMP_REC_SEQUENCE_FIXED + DUMP_NAME_MAX + 5 * DUMP_NUMBER_MAX];
    size_t n = strlen(name), at;
    if (n == 0 || n > DUMP_NAME_MAX || strchr(name, '"')) return 1;
    p[0] = (uint8_t)n;
    p[1] = (uint8_t)((cycle ? DUMP_SEQ_CYCLE : 0) | (order ? DUMP_SEQ_ORDER : 0));
    memcpy(p + DUMP_REC_SEQUENCE_FIXED, name, n);
    at = DUMP_REC_SEQUENCE_FIXED + n;
    for (int i = 0; i < 5; i++) {
        size_t k = strlen(num[i]);
        if (k > DUMP_NUMBER_MAX || (k == 0 && i < 4)) return 1;
        for (size_t j = 0; j < k; j++)
            if (!(num[i][j] >= '0' && num[i][j] <= '9') && !(j == 0 && num[i][j] == '-' && k > 1))
                return 1;
        p[2 + i] = (uint8_t)k;
        memcpy(p + at, num[i], k);
        at += k;
    }
    return add_record(w->run, OBJ_SEQUENCE, DUMP_REC_SEQUENCE, p, at);
}

int gather_sequences(EXP_WORKER *w)
{
    static const ub4 widths[8] = {LONG_NAME_WIDTH, 48, 48, 48, 4, 4, 48, 48};
    char sqltxt[640], esc_owner[ESC_NAME_SIZE], esc_name[ESC_NAME_SIZE], text[512];
    DICT_QUERY q;
    int ret;

    sql_escape(esc_owner, sizeof(esc_owner), w->run->owner_name, '\'');
    snprintf(sqltxt, sizeof(sqltxt),
             "select SEQUENCE_NAME, MIN_VALUE, MAX_VALUE, INCREMENT_BY, CYCLE_FLAG,\n"
             "ORDER_FLAG, CACHE_SIZE, LAST_NUMBER\n"
             "from ALL_SEQUENCES\n"
             "where SEQUENCE_OWNER='%s' and SEQUENCE_NAME not like 'ISEQ$$%%'\n"
             "order by SEQUENCE_NAME",
             esc_owner);
    ret = dict_open(w, &q, sqltxt, 8, widths);
    if (ret != 0) return ret < 0 ? -1 : 0;
    while ((ret = dict_next(&q)) == 1) {
        char cache[64];
        if (strcmp(q.val[6], "0") == 0 || q.val[6][0] == '\0')
            snprintf(cache, sizeof(cache), "NOCACHE ");
        else
            snprintf(cache, sizeof(cache), "CACHE %s", q.val[6]);
        const char *num[5] = {q.val[1], q.val[2], q.val[3], q.val[7],
                              strcmp(q.val[6], "0") == 0 ? "" : q.val[6]};
        int rc = sequence_record(w, q.val[0], num, strcmp(q.val[4], "Y") == 0, strcmp(q.val[5], "Y") == 0);
        if (rc < 0) {
            ret = -1;
            break;
        }
        if (rc == 0) continue;
        sql_escape(esc_name, sizeof(esc_name), q.val[0], '"');
        snprintf(text, sizeof(text),
                 "CREATE SEQUENCE  \"%s\"  MINVALUE %s MAXVALUE %s INCREMENT BY %s START WITH %s "
                 "%s %s  %s",
                 esc_name, q.val[1], q.val[2], q.val[3], q.val[7], cache,
                 strcmp(q.val[5], "Y") == 0 ? "ORDER" : "NOORDER",
                 strcmp(q.val[4], "Y") == 0 ? "CYCLE" : "NOCYCLE");
        if (add_object(w, NULL, OBJ_SEQUENCE, text, strlen(text), NULL, "sequence", q.val[0]) != 0) {
            ret = -1;
            break;
        }
    }
    dict_close(&q);
    return ret < 0 ? -1 : 0;
}
