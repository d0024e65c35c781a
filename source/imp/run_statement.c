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

/* ---- statements sent together -------------------------------------------- */

/* The statement may wait in a batch: it acts on a table this run created
 * and on nothing else, and is short enough to be a literal of the block. */
static int batchable(const IMP_WORKER *w, const char *text, int len, const STMT_INFO *in)
{
    if (len <= 0 || len > IMP_BATCH_TEXT || in->acts_on[0] != '\0' || in->qualify_at != 0) return 0;
    if (in->table[0] == '\0' || !imp_is_ours(w->run, in->table)) return 0;
    if (strcmp(in->kind, "index") != 0 && strcmp(in->kind, "constraint") != 0) return 0;
    return memchr(text, '\0', (size_t)len) == NULL;
}

/* Marks what the statement created as the run's own, as a statement run
 * alone that succeeded does. */
static int batch_done(IMP_WORKER *w, const STMT_INFO *in)
{
    if (in->object[0] != '\0' && imp_mark_ours(w->run, in->object) < 0) {
        fprintf(stderr, "Allocate memory error.\n");
        return -1;
    }
    return 0;
}

/* The block for statements from..n-1 of b: each statement a literal (its
 * quotes doubled) given to EXECUTE IMMEDIATE, and the number of the one
 * that fails raised as ORA-20001 "statement k". NULL when out of memory. */
static char *batch_block(const IMP_BATCH *b, int from, int *out_len)
{
    static const char head[] = "DECLARE\n  n PLS_INTEGER := 0;\nBEGIN\n";
    static const char tail[] =
        "EXCEPTION\n  WHEN OTHERS THEN\n    RAISE_APPLICATION_ERROR(-20001, 'statement ' || n);\nEND;";
    size_t room = sizeof(head) + sizeof(tail);
    for (int i = from; i < b->n; i++) room += 2 * (size_t)b->len[i] + 64;
    char *sql = malloc(room);
    if (!sql) {
        fprintf(stderr, "Allocate memory (%zu) error.\n", room);
        return NULL;
    }
    char *p = sql;
    memcpy(p, head, sizeof(head) - 1);
    p += sizeof(head) - 1;
    for (int i = from; i < b->n; i++) {
        p += sprintf(p, "  n := %d;\n  EXECUTE IMMEDIATE '", i - from + 1);
        for (int k = 0; k < b->len[i]; k++) {
            if (b->text[i][k] == '\'') *p++ = '\'';
            *p++ = b->text[i][k];
        }
        memcpy(p, "';\n", 3);
        p += 3;
    }
    memcpy(p, tail, sizeof(tail) - 1);
    p += sizeof(tail) - 1;
    *p = '\0';
    *out_len = (int)(p - sql);
    return sql;
}

/* The statement the block named as failed (1-based), 0 when its error is
 * not the block's own (it did not compile, or the session is gone). */
static int failed_statement(const IMP_WORKER *w, int count)
{
    static const char mark[] = "ORA-20001: statement ";
    const char *m = get_ora_message(&w->env);
    if (get_ora_code(&w->env) != 20001 || strncmp(m, mark, sizeof(mark) - 1) != 0) return 0;
    int k = atoi(m + sizeof(mark) - 1);
    return k >= 1 && k <= count ? k : 0;
}

int imp_batch_flush(IMP_WORKER *w, IMP_BATCH *b)
{
    int rc = 0, from = 0;
    while (rc == 0 && from < b->n) {
        if (b->n - from == 1) {
            rc = run_dump_statement(w, b->text[from], b->len[from], &b->info[from]);
            from++;
            continue;
        }
        int len = 0;
        char *block = batch_block(b, from, &len);
        if (!block) {
            rc = -1;
            break;
        }
        int ok = imp_try_sql(w, block, len) == 0;
        free(block);
        if (ok) {
            for (; rc == 0 && from < b->n; from++) rc = batch_done(w, &b->info[from]);
            break;
        }
        int k = failed_statement(w, b->n - from);
        if (k == 0) {
            /* nothing of the block ran: each statement alone, as always */
            for (; rc == 0 && from < b->n; from++)
                rc = run_dump_statement(w, b->text[from], b->len[from], &b->info[from]);
            break;
        }
        /* those before the failed one ran; it runs alone again, to be
         * reported as it is when run alone */
        for (int i = 0; rc == 0 && i < k - 1; i++, from++) rc = batch_done(w, &b->info[from]);
        if (rc == 0) rc = run_dump_statement(w, b->text[from], b->len[from], &b->info[from]);
        from++;
    }
    for (int i = 0; i < b->n; i++) free(b->text[i]);
    b->n = 0;
    b->bytes = 0;
    return rc;
}

int imp_batch_statement(IMP_WORKER *w, IMP_BATCH *b, const char *text, int len, const STMT_INFO *in)
{
    if (!batchable(w, text, len, in)) {
        if (imp_batch_flush(w, b) != 0) return -1;
        return run_dump_statement(w, text, len, in);
    }
    if (b->n == IMP_BATCH_MAX || b->bytes + 2 * (size_t)len > 24000) {
        if (imp_batch_flush(w, b) != 0) return -1;
    }
    char *copy = malloc((size_t)len + 1);
    if (!copy) {
        fprintf(stderr, "Allocate memory (%d) error.\n", len + 1);
        return -1;
    }
    memcpy(copy, text, (size_t)len);
    copy[len] = '\0';
    b->text[b->n] = copy;
    b->len[b->n] = len;
    b->info[b->n] = *in;
    b->bytes += 2 * (size_t)len;
    b->n++;
    return 0;
}
