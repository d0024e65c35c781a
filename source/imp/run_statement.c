/*
 * run_statement.c - runs one statement of the dump that has been found to
 * be of an allowed kind, on nothing but what this run created or took
 * over: the object of a grant or comment and the table of a trigger are
 * qualified with the target schema first and must be such objects (and
 * not synonyms, see is_target_synonym.c), CREATE OR REPLACE runs as plain
 * CREATE so that no object of the target is replaced, and a failure names
 * the object it was for, counts as a warning, and lets the import go on.
 */
#define _GNU_SOURCE /* memmem */
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "imp_local.h"
#include "create_table.h"
#include "lock_target_table.h"
#include "quote_name.h"
#include "run_statement.h"

/* ORA-01917: user or role does not exist */
#define ORA_NO_GRANTEE 1917
/* ORA-01749: you may not GRANT/REVOKE privileges to/from yourself */
#define ORA_GRANT_TO_SELF 1749

int imp_is_exists_error(int code)
{
    switch (code) {
    case 955:   /* name is already used by an existing object */
    case 1408:  /* such column list already indexed */
    case 1430:  /* column being added already exists in table */
    case 1442:  /* column to be modified to NOT NULL is already NOT NULL */
    case 2260:  /* table can have only one primary key */
    case 2261:  /* such unique or primary key already exists in the table */
    case 2264:  /* name already used by an existing constraint */
    case 2275:  /* such a referential constraint already exists in the table */
    case 4081:  /* trigger already exists */
    case 12000: /* a materialized view log already exists on table */
        return 1;
    default:
        return 0;
    }
}

/* Steps over blanks and comments from i; returns the next offset. */
static uint32_t skip_space(const char *t, uint32_t len, uint32_t i)
{
    while (i < len) {
        if (isspace((unsigned char)t[i])) {
            i++;
        } else if (t[i] == '-' && i + 1 < len && t[i + 1] == '-') {
            while (i < len && t[i] != '\n') i++;
        } else if (t[i] == '/' && i + 1 < len && t[i + 1] == '*') {
            i += 2;
            while (i + 1 < len && !(t[i] == '*' && t[i + 1] == '/')) i++;
            i = i + 2 <= len ? i + 2 : len;
        } else {
            break;
        }
    }
    return i;
}

/* Whether the word w (upper case) stands at i, followed by a non-name byte. */
static int word_at(const char *t, uint32_t len, uint32_t i, const char *w)
{
    size_t n = strlen(w);
    if (i + n > len) return 0;
    for (size_t k = 0; k < n; k++)
        if (toupper((unsigned char)t[i + k]) != w[k]) return 0;
    if (i + n == len) return 1;
    unsigned char c = (unsigned char)t[i + n];
    return !(isalnum(c) || c == '_' || c == '$' || c == '#' || c == '"');
}

/* Blanks "OR REPLACE" after a leading CREATE, keeping every offset. */
static void drop_or_replace(char *t, uint32_t len)
{
    uint32_t i = skip_space(t, len, 0);
    if (!word_at(t, len, i, "CREATE")) return;
    uint32_t o = skip_space(t, len, i + 6);
    if (!word_at(t, len, o, "OR")) return;
    uint32_t r = skip_space(t, len, o + 2);
    if (!word_at(t, len, r, "REPLACE")) return;
    memset(t + o, ' ', 2);
    memset(t + r, ' ', 7);
}

/* The statement as it runs: copied, OR REPLACE taken out, "SCHEMA".
 * inserted at offset at (0: none). NULL when memory ran out. */
static char *compose(const IMP_RUN *run, const char *text, int len, uint32_t at, int *out_len)
{
    size_t room = (size_t)len + 2 * strlen(run->owner_name) + 4;
    char *sql = malloc(room);
    if (!sql) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", room);
        return NULL;
    }
    char *p = sql;
    if (at > 0 && at < (uint32_t)len) {
        memcpy(p, text, at);
        p = imp_put_quoted(p + at, run->owner_name);
        *p++ = '.';
        memcpy(p, text + at, (size_t)len - at);
        p += (size_t)len - at;
    } else {
        memcpy(p, text, (size_t)len);
        p += len;
    }
    *out_len = (int)(p - sql);
    drop_or_replace(sql, (uint32_t)*out_len);
    return sql;
}

static void name_failure(const STMT_INFO *in, const char *what)
{
    if (strcmp(in->kind, "grant") == 0)
        fprintf(stderr, "Grant on \"%s\" to \"%s\" %s.\n", in->object, in->grantee, what);
    else if (in->object[0] == '\0')
        fprintf(stderr, "Create %s on \"%s\" %s.\n", in->kind, in->table, what);
    else if (strcmp(in->kind, "comment") == 0)
        fprintf(stderr, "Create comment on \"%s\" %s.\n", in->object, what);
    else
        fprintf(stderr, "Create %s \"%s\" %s.\n", in->kind, in->object, what);
}

int run_dump_statement(IMP_WORKER *w, const char *text, int len, const STMT_INFO *in)
{
    int locked = 0;
    /* The statement of a table this run did not import (skipped, refused,
     * or left to the target): its table is not the run's to change. */
    if (in->table[0] != '\0' && !imp_is_ours(w->run, in->table)) return 0;
    if (in->acts_on[0] != '\0') {
        if (!imp_is_ours(w->run, in->acts_on)) {
            name_failure(in, "refused");
            fprintf(stderr, "\"%s\" is not an object this import created.\n", in->acts_on);
            run_warning();
            return 0;
        }
        int lk = lock_target_object(w, in->acts_on);
        int syn = lk == 0 ? is_target_synonym(w, in->acts_on) : 0;
        if (lk < 0 || lk == 2 || syn != 0) {
            if (syn > 0)
                fprintf(stderr, "Statement refused, \"%s\" is a synonym:\n%.*s\n", in->acts_on,
                        len > 200 ? 200 : len, text);
            name_failure(in, "refused");
            run_warning();
            return 0;
        }
        locked = lk == 1;
    }
    /* ALTER of a schema object (a trigger): only one this run created */
    if (in->table[0] == '\0' && in->object[0] != '\0' &&
        word_at(text, (uint32_t)len, skip_space(text, (uint32_t)len, 0), "ALTER") &&
        !imp_is_ours(w->run, in->object)) {
        fprintf(stderr, "Alter %s \"%s\" refused: it is not an object this import created.\n",
                in->kind, in->object);
        /* nothing runs that would end the lock taken for it */
        if (locked) OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
        run_warning();
        return 0;
    }
    int n = 0;
    char *sql = compose(w->run, text, len, in->qualify_at, &n);
    if (!sql) return -1;
    int rc = imp_try_sql(w, sql, n);
    free(sql);
    /* a statement that failed before it ended the transaction leaves the
     * lock taken for it */
    if (rc != 0 && locked) OCITransRollback(w->env.svchp, w->env.errhp, OCI_DEFAULT);
    if (rc == 0) {
        if (in->object[0] != '\0' && strcmp(in->kind, "grant") != 0 &&
            strcmp(in->kind, "comment") != 0 && imp_mark_ours(w->run, in->object) < 0) {
            fprintf(stderr, "Allocate memory error.\n");
            return -1;
        }
        return 0;
    }
    int code = get_ora_code(&w->env);
    if (strcmp(in->kind, "grant") == 0 && code == ORA_NO_GRANTEE) {
        fprintf(stderr, "Grant on \"%s\" to \"%s\" skipped: the user does not exist.\n", in->object,
                in->grantee);
        run_warning();
        return 0;
    }
    /* The target's owner, or the importing user, holds the privilege already. */
    if (strcmp(in->kind, "grant") == 0 && code == ORA_GRANT_TO_SELF) {
        fprintf(stderr, "Grant on \"%s\" to \"%s\" skipped: the grantee owns the object or runs the import.\n",
                in->object, in->grantee);
        return 0;
    }
    if (imp_is_exists_error(code)) {
        /* IGNORE=Y, or a table the run took over that already has it */
        if ((w->run->flag & IMP_IGNORE) || (in->table[0] != '\0' && imp_is_taken(w->run, in->table)))
            return 0;
        fprintf(stderr, "%s\n", get_ora_message(&w->env));
        name_failure(in, "failed, the name exists");
        run_warning();
        return 0;
    }
    /* ORA-00942 for a foreign key: the table it references is neither in
     * the dump (or the TABLES= selection) nor in the target */
    if (code == 942 && strcmp(in->kind, "constraint") == 0 &&
        memmem(text, (size_t)len, "REFERENCES", 10) != NULL) {
        fprintf(stderr, "%s\n", get_ora_message(&w->env));
        name_failure(in, "skipped: the table it references is neither imported nor in the target");
        run_warning();
        return 0;
    }
    fprintf(stderr, "OCIStmtExecute()\n%s\n", get_ora_message(&w->env));
    name_failure(in, "failed");
    run_warning();
    return 0;
}
