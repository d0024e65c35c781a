/*
 * check_written_statement.c - puts each statement the export is about to
 * write through the import's own allow-list: one it would refuse is left
 * out of the dump and named in a warning instead.
 */
#include <stdio.h>
#include <string.h>

#include "exp_local.h"
#include "name_set.h"
#include "stmt_allow.h"

/* In the deferred list: whether name is one of the exported tables. */
static int is_exported_table(void *ctx, const char *name)
{
    return find_table((EXP_RUN *)ctx, name) != NULL;
}

/* In the deferred list: whether name is a materialized view gathered. */
static int is_exported_mview(void *ctx, const char *name)
{
    const EXP_RUN *run = (const EXP_RUN *)ctx;
    return run->mviews && name_set_has(run->mviews, name);
}

/* The name a statement is about, for a warning about a statement whose
 * kind the allow-list did not describe: the first quoted name after
 * INDEX, CONSTRAINT, TRIGGER or VIEW, else the first quoted name. */
static void statement_name(const char *text, size_t len, char *name, size_t size)
{
    static const char *const words[] = {"INDEX", "CONSTRAINT", "TRIGGER", "VIEW"};
    const char *from = NULL;
    for (size_t w = 0; w < sizeof(words) / sizeof(words[0]) && !from; w++) {
        long at = find_words(text, len, words[w], NULL);
        if (at >= 0) from = text + at;
    }
    if (!from) from = text;
    const char *end = text + len;
    const char *q = memchr(from, '"', (size_t)(end - from));
    size_t n = 0;
    if (q) {
        for (q++; q < end && n + 1 < size; q++) {
            if (*q == '"') {
                if (q + 1 < end && q[1] == '"') q++;
                else break;
            }
            name[n++] = *q;
        }
    }
    if (n == 0) {
        snprintf(name, size, "%.*s", (int)(len < 40 ? len : 40), text);
        return;
    }
    name[n] = '\0';
}

int check_written_statement(EXP_WORKER *w, const EXP_TABLE *tab, const char *text, size_t len, const char *kind,
                            const char *name)
{
    char why[120];
    STMT_INFO info;
    STMT_SCOPE sc = {tab ? STMT_AT_SECTION : STMT_AT_DEFERRED,
                     tab ? exp_table_name(tab) : NULL, w->run->owner_name,
                     is_exported_table, w->run, is_exported_mview};
    if (len > UINT32_MAX) len = UINT32_MAX;
    if (!stmt_check(&sc, text, (uint32_t)len, &info, why, sizeof(why))) return 1;
    char found[STMT_NAME_MAX + 1];
    if (!name || !*name) {
        statement_name(text, len, found, sizeof(found));
        name = found;
    }
    char reason[200];
    snprintf(reason, sizeof(reason), "its import would refuse the statement (%s)", why);
    return warn_object(w, kind ? kind : "object", name, reason) == 0 ? 0 : -1;
}
