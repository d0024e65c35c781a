/*
 * check_charset.c - compares the client character set (from NLS_LANG) with
 * the database's character set and national character set, as read from
 * NLS_DATABASE_PARAMETERS, and says when text would lose characters on
 * its way between them: a warning, or with CHARSET=STRICT a refusal.
 */
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "util.h"

#define CHARSET_NAME_SIZE 65  /* VALUE of NLS_DATABASE_PARAMETERS: 64 bytes */

/* Sets that hold every character there is. */
static const char *const unicode_sets[] = {
    "AL32UTF8", "UTF8", "AL16UTF16", "AL16UTF16LE", "UTF16", "AL24UTFFSS", "UTFE",
};

static int is_unicode(const char *cs)
{
    for (size_t i = 0; i < sizeof(unicode_sets) / sizeof(unicode_sets[0]); i++)
        if (strcasecmp(cs, unicode_sets[i]) == 0) return 1;
    return 0;
}

int charset_holds(const char *holder, const char *held)
{
    if (strcasecmp(holder, held) == 0 || is_unicode(holder)) return 1;
    /* Every other set is ASCII-based (the EBCDIC sets are not clients of
     * this program), so each holds US7ASCII. */
    return strcasecmp(held, "US7ASCII") == 0 && strncasecmp(holder, "UTFE", 4) != 0;
}

void nls_lang_charset(const char *nls_lang, char *out, size_t size)
{
    const char *dot = nls_lang ? strchr(nls_lang, '.') : NULL;
    const char *cs = (dot && dot[1] != '\0') ? dot + 1 : "US7ASCII";
    size_t n = strlen(cs);
    if (n > size - 1) n = size - 1;
    memcpy(out, cs, n);
    out[n] = '\0';
}

/* Reads NLS_CHARACTERSET into db and NLS_NCHAR_CHARACTERSET into nat.
 * Returns 0 or -1 (message printed). */
static int read_database_charsets(OCI_ENV *env, char *db, char *nat)
{
    static const char sqltxt[] =
        "SELECT parameter, value FROM NLS_DATABASE_PARAMETERS"
        " WHERE parameter IN ('NLS_CHARACTERSET','NLS_NCHAR_CHARACTERSET')";
    char param[129], value[CHARSET_NAME_SIZE];
    sb2 pind = 0, vind = 0;
    OCIDefine *d1 = NULL, *d2 = NULL;
    ub4 prefetch = 8, one = 1;
    int ret;
    sword rc;

    db[0] = nat[0] = '\0';
    rc = OCIStmtPrepare(env->smthp, env->errhp, (const OraText *)sqltxt,
                        (ub4)strlen(sqltxt), OCI_NTV_SYNTAX, OCI_DEFAULT);
    if (check_error(env, rc) != CHECK_SUCCESS) goto fail;
    rc = OCIDefineByPos(env->smthp, &d1, env->errhp, 1, param, sizeof(param), SQLT_STR,
                        &pind, NULL, NULL, OCI_DEFAULT);
    if (check_error(env, rc) != CHECK_SUCCESS) goto fail;
    rc = OCIDefineByPos(env->smthp, &d2, env->errhp, 2, value, sizeof(value), SQLT_STR,
                        &vind, NULL, NULL, OCI_DEFAULT);
    if (check_error(env, rc) != CHECK_SUCCESS) goto fail;
    /* both rows, and the end, come with the execute */
    rc = OCIAttrSet(env->smthp, OCI_HTYPE_STMT, &prefetch, 0, OCI_ATTR_PREFETCH_ROWS, env->errhp);
    if (check_error(env, rc) != CHECK_SUCCESS) goto fail;
    rc = OCIStmtExecute(env->svchp, env->smthp, env->errhp, 0, 0, NULL, NULL, OCI_DEFAULT);
    if (check_error(env, rc) == CHECK_FAILURE) goto fail;
    for (;;) {
        rc = OCIStmtFetch(env->smthp, env->errhp, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        ret = check_error(env, rc);
        if (ret == CHECK_NO_DATA) break;
        if (ret != CHECK_SUCCESS) goto fail;
        if (pind != 0 || vind != 0) continue;
        param[sizeof(param) - 1] = value[sizeof(value) - 1] = '\0';
        if (strcmp(param, "NLS_CHARACTERSET") == 0) memcpy(db, value, sizeof(value));
        else if (strcmp(param, "NLS_NCHAR_CHARACTERSET") == 0) memcpy(nat, value, sizeof(value));
    }
    /* later statements on the handle keep the default */
    OCIAttrSet(env->smthp, OCI_HTYPE_STMT, &one, 0, OCI_ATTR_PREFETCH_ROWS, env->errhp);
    if (db[0] == '\0' || nat[0] == '\0') {
        fprintf(stderr, "The database does not name its character sets.\n");
        return -1;
    }
    return 0;

fail:
    fprintf(stderr, "Read the character sets of the database:\n%s\n", get_ora_message(env));
    OCIAttrSet(env->smthp, OCI_HTYPE_STMT, &one, 0, OCI_ATTR_PREFETCH_ROWS, env->errhp);
    return -1;
}

/* Prints one line for a pair of sets of which `holder` cannot hold every
 * character of `held`. */
static void say_lossy(int strict, const char *holder_kind, const char *holder,
                      const char *held_kind, const char *held)
{
    if (strict)  /* the line stands alone, before the refusal */
        fprintf(stderr, "%c%s", holder_kind[0] - 'a' + 'A', holder_kind + 1);
    else
        fprintf(stderr, "Warning: %s", holder_kind);
    fprintf(stderr, " character set %s cannot hold every character of %s character set %s.\n",
            holder, held_kind, held);
}

int check_charsets(OCI_ENV *env, const char *nls_lang, int both_ways, int strict)
{
    char client[CHARSET_NAME_SIZE], db[CHARSET_NAME_SIZE], nat[CHARSET_NAME_SIZE];
    const char *kinds[2] = {"database", "national"};
    const char *sets[2] = {db, nat};
    int lossy = 0;

    nls_lang_charset(nls_lang, client, sizeof(client));
    if (read_database_charsets(env, db, nat) != 0) return -1;
    for (int i = 0; i < 2; i++) {
        if (!charset_holds(client, sets[i])) {
            say_lossy(strict, "client", client, kinds[i], sets[i]);
            lossy = 1;
        }
        if (both_ways && !charset_holds(sets[i], client)) {
            say_lossy(strict, kinds[i], sets[i], "client", client);
            lossy = 1;
        }
    }
    if (lossy && strict) {
        fprintf(stderr, "Characters would be lost: run refused by CHARSET=STRICT.\n");
        return -1;
    }
    return lossy;
}
