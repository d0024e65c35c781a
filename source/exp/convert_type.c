/*
 * convert_type.c - maps a data dictionary type name (DATA_TYPE of
 * ALL_TAB_COLS) to the internal column type code stored in the dump.
 */
#include <string.h>

#include "util.h"

/* The text after the first ")" that follows the prefix's `plen` bytes,
 * with its leading blanks skipped; NULL when no ")" follows. */
static const char *suffix_after_paren(const char *name, size_t plen)
{
    const char *p = strchr(name + plen, ')');
    if (!p) return NULL;
    p++;
    while (*p == ' ') p++;
    return p;
}

int convert_type_to_int(const char *type_name)
{
    static const struct {
        const char *name;
        int code;
    } exact[] = {
        {"NUMBER", CTYPE_NUMBER},     {"FLOAT", CTYPE_NUMBER},    {"CHAR", CTYPE_CHAR},
        {"VARCHAR2", CTYPE_VARCHAR2}, {"DATE", CTYPE_DATE},       {"NCHAR", CTYPE_NCHAR},
        {"NVARCHAR2", CTYPE_NVARCHAR2}, {"LONG", CTYPE_LONG},     {"LONG RAW", CTYPE_LONG_RAW},
        {"CLOB", CTYPE_CLOB},         {"BLOB", CTYPE_BLOB},       {"NCLOB", CTYPE_NCLOB},
        {"RAW", CTYPE_RAW},
    };
    const char *sfx;

    if (type_name == NULL) return CTYPE_UNSUPPORTED;
    for (size_t i = 0; i < sizeof(exact) / sizeof(exact[0]); i++)
        if (strcmp(type_name, exact[i].name) == 0) return exact[i].code;

    if (strncmp(type_name, "TIMESTAMP", 9) == 0) {
        sfx = suffix_after_paren(type_name, 9);
        if (!sfx) return CTYPE_UNSUPPORTED;
        if (*sfx == '\0') return CTYPE_TIMESTAMP;
        if (strcmp(sfx, "WITH TIME ZONE") == 0) return CTYPE_TIMESTAMP_TZ;
        if (strcmp(sfx, "WITH LOCAL TIME ZONE") == 0) return CTYPE_TIMESTAMP_LTZ;
        return CTYPE_UNSUPPORTED;
    }
    if (strncmp(type_name, "INTERVAL YEAR", 13) == 0) {
        sfx = suffix_after_paren(type_name, 13);
        if (sfx && strcmp(sfx, "TO MONTH") == 0) return CTYPE_INTERVAL_YM;
        return CTYPE_UNSUPPORTED;
    }
    if (strncmp(type_name, "INTERVAL DAY", 12) == 0) {
        sfx = suffix_after_paren(type_name, 12);
        if (sfx && strncmp(sfx, "TO SECOND", 9) == 0) return CTYPE_INTERVAL_DS;
        return CTYPE_UNSUPPORTED;
    }
    if (strcmp(type_name, "BINARY_FLOAT") == 0) return CTYPE_BINARY_FLOAT;
    if (strcmp(type_name, "BINARY_DOUBLE") == 0) return CTYPE_BINARY_DOUBLE;
    return CTYPE_UNSUPPORTED;
}
