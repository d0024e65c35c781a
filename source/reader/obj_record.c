/*
 * obj_record.c - the GRANT, COMMENT, SYNONYM and SEQUENCE records of a dump's trailer: each
 * field of a payload checked, and the statement a record stands for
 * written with every name quoted, so that no text of the file is run.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dump_reader.h"

static const char *const g_priv_names[] = {DUMP_PRIV_NAMES};
#define PRIV_COUNT (sizeof(g_priv_names) / sizeof(g_priv_names[0]))

int dump_privilege_number(const char *p)
{
    for (size_t i = 0; i < PRIV_COUNT; i++)
        if (strcmp(g_priv_names[i], p) == 0) return (int)i + 1;
    return 0;
}

/* Copies a name of n bytes at p into out; NULL or why it cannot be one. */
static const char *take_name(const uint8_t *p, uint32_t n, char *out, int may_be_empty)
{
    if (n == 0 && !may_be_empty) return "an empty name";
    if (n > DUMP_NAME_MAX) return "a name longer than 128 bytes";
    if (memchr(p, '\0', n)) return "a NUL in a name";
    if (memchr(p, '"', n)) return "a '\"' in a name";
    memcpy(out, p, n);
    out[n] = '\0';
    return NULL;
}

/* Copies a number of n bytes at p into out; NULL or why it cannot be one. */
static const char *take_number(const uint8_t *p, uint32_t n, char *out, int may_be_empty)
{
    if (n == 0 && may_be_empty) {
        out[0] = '\0';
        return NULL;
    }
    if (n == 0 || n > DUMP_NUMBER_MAX) return "a sequence number of a length not allowed";
    for (uint32_t i = 0; i < n; i++)
        if (!(p[i] >= '0' && p[i] <= '9') && !(i == 0 && p[i] == '-' && n > 1))
            return "a sequence number that is not decimal digits";
    memcpy(out, p, n);
    out[n] = '\0';
    return NULL;
}

const char *dump_parse_obj_record(uint16_t kind, const uint8_t *p, uint32_t len,
                                  DUMP_OBJ_RECORD *out)
{
    const char *why;
    memset(out, 0, sizeof(*out));
    out->kind = kind;
    if (kind == DUMP_REC_GRANT) {
        if (len < DUMP_REC_GRANT_FIXED) return "grant record shorter than its fields";
        if (p[0] == 0 || p[0] > PRIV_COUNT) return "grant record with a privilege not known";
        if (p[1] & ~DUMP_GRANTABLE) return "grant record with unknown flags";
        uint32_t on = p[2], gn = p[3];
        if ((uint64_t)DUMP_REC_GRANT_FIXED + on + gn != len)
            return "grant record whose names do not fill its length";
        if ((why = take_name(p + 4, on, out->object, 0)) != NULL) return why;
        if ((why = take_name(p + 4 + on, gn, out->grantee, 0)) != NULL) return why;
        out->privilege = g_priv_names[p[0] - 1];
        out->grantable = (p[1] & DUMP_GRANTABLE) != 0;
        return NULL;
    }
    if (kind == DUMP_REC_COMMENT) {
        if (len < DUMP_REC_COMMENT_FIXED) return "comment record shorter than its fields";
        uint32_t tn = p[0], cn = p[1];
        if ((uint64_t)DUMP_REC_COMMENT_FIXED + tn + cn > len)
            return "comment record whose names run past its length";
        if ((why = take_name(p + 2, tn, out->object, 0)) != NULL) return why;
        if ((why = take_name(p + 2 + tn, cn, out->column, 1)) != NULL) return why;
        out->text = (const char *)p + 2 + tn + cn;
        out->text_len = len - 2 - tn - cn;
        if (out->text_len > DUMP_COMMENT_MAX) return "comment longer than 16000 bytes";
        if (memchr(out->text, '\0', out->text_len)) return "a NUL in a comment";
        return NULL;
    }
    if (kind == DUMP_REC_SYNONYM) {
        if (len < DUMP_REC_SYNONYM_FIXED) return "synonym record shorter than its fields";
        uint32_t sn = p[0], on = p[1], xn = p[2];
        if ((uint64_t)DUMP_REC_SYNONYM_FIXED + sn + on + xn != len)
            return "synonym record whose names do not fill its length";
        const uint8_t *n = p + DUMP_REC_SYNONYM_FIXED;
        if ((why = take_name(n, sn, out->object, 0)) != NULL) return why;
        if ((why = take_name(n + sn, on, out->for_schema, 1)) != NULL) return why;
        if ((why = take_name(n + sn + on, xn, out->for_object, 0)) != NULL) return why;
        return NULL;
    }
    if (kind == DUMP_REC_SEQUENCE) {
        if (len < DUMP_REC_SEQUENCE_FIXED) return "sequence record shorter than its fields";
        if (p[1] & ~(DUMP_SEQ_CYCLE | DUMP_SEQ_ORDER)) return "sequence record with unknown flags";
        uint64_t need = (uint64_t)DUMP_REC_SEQUENCE_FIXED + p[0];
        for (int i = 0; i < 5; i++) need += p[2 + i];
        if (need != len) return "sequence record whose fields do not fill its length";
        const uint8_t *n = p + DUMP_REC_SEQUENCE_FIXED;
        if ((why = take_name(n, p[0], out->object, 0)) != NULL) return why;
        n += p[0];
        for (int i = 0; i < 5; i++) {
            if ((why = take_number(n, p[2 + i], out->numbers[i], i == 4)) != NULL) return why;
            n += p[2 + i];
        }
        out->cycle = (p[1] & DUMP_SEQ_CYCLE) != 0;
        out->order = (p[1] & DUMP_SEQ_ORDER) != 0;
        return NULL;
    }
    return "record kind not known";
}

/* Appends "name" to p, returning the end. */
static char *put_quoted(char *p, const char *name)
{
    size_t n = strlen(name);
    *p++ = '"';
    memcpy(p, name, n);
    p += n;
    *p++ = '"';
    return p;
}

char *dump_record_sql(const DUMP_OBJ_RECORD *rec, uint32_t *len, uint32_t *name_at)
{
    /* names are checked free of '"', so quoting needs no doubling */
    size_t room = 3 * (DUMP_NAME_MAX + 3) + 5 * (DUMP_NUMBER_MAX + 16) + 2 * (size_t)rec->text_len + 64;
    char *sql = (char *)malloc(room);
    if (!sql) return NULL;
    char *p = sql;
    if (rec->kind == DUMP_REC_GRANT) {
        p += sprintf(p, "GRANT %s ON ", rec->privilege);
        *name_at = (uint32_t)(p - sql);
        p = put_quoted(p, rec->object);
        p += sprintf(p, " TO ");
        if (strcmp(rec->grantee, "PUBLIC") == 0) p += sprintf(p, "PUBLIC");
        else p = put_quoted(p, rec->grantee);
        if (rec->grantable) p += sprintf(p, " WITH GRANT OPTION");
    } else if (rec->kind == DUMP_REC_SEQUENCE) {
        p += sprintf(p, "CREATE SEQUENCE ");
        *name_at = (uint32_t)(p - sql);
        p = put_quoted(p, rec->object);
        p += sprintf(p, " MINVALUE %s MAXVALUE %s INCREMENT BY %s START WITH %s", rec->numbers[0],
                     rec->numbers[1], rec->numbers[2], rec->numbers[3]);
        if (rec->numbers[4][0]) p += sprintf(p, " CACHE %s", rec->numbers[4]);
        else p += sprintf(p, " NOCACHE");
        p += sprintf(p, " %s %s", rec->order ? "ORDER" : "NOORDER", rec->cycle ? "CYCLE" : "NOCYCLE");
    } else if (rec->kind == DUMP_REC_SYNONYM) {
        p += sprintf(p, "CREATE SYNONYM ");
        *name_at = (uint32_t)(p - sql);
        p = put_quoted(p, rec->object);
        p += sprintf(p, " FOR ");
        if (rec->for_schema[0]) {
            p = put_quoted(p, rec->for_schema);
            *p++ = '.';
        }
        p = put_quoted(p, rec->for_object);
    } else {
        p += sprintf(p, "COMMENT ON %s ", rec->column[0] ? "COLUMN" : "TABLE");
        *name_at = (uint32_t)(p - sql);
        p = put_quoted(p, rec->object);
        if (rec->column[0]) {
            *p++ = '.';
            p = put_quoted(p, rec->column);
        }
        p += sprintf(p, " IS '");
        for (uint32_t i = 0; i < rec->text_len; i++) {
            if (rec->text[i] == '\'') *p++ = '\'';
            *p++ = rec->text[i];
        }
        *p++ = '\'';
    }
    *p = '\0';
    *len = (uint32_t)(p - sql);
    return sql;
}
