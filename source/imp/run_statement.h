/*
 * run_statement.h - runs a statement of the dump that the checks allowed, on what
 * this run created or took over (run_statement.c).
 */
#ifndef TAB_IMP_RUN_STATEMENT_H
#define TAB_IMP_RUN_STATEMENT_H

#include "stmt_allow.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Runs a statement that check_import_info allowed and described in *in,
 * acting only on what this run created or took over: a statement of a
 * table the run did not import is left out; a grant, comment or trigger
 * on anything else is refused; CREATE OR REPLACE runs as plain CREATE, so
 * that an object of the target is never replaced; names it qualifies are
 * qualified with the target schema. A failure or refusal is reported with
 * the object named and counted as a warning; an "already exists" error is
 * silent under IGNORE=Y (and for a table the run took over). Returns 0, or
 * -1 when memory ran out. */
int run_dump_statement(IMP_WORKER *w, const char *text, int len, const STMT_INFO *in);

/* A table's statements after its rows that need nothing but to run (an
 * index, a key or check of a table this run created) are sent together,
 * as one anonymous block of EXECUTE IMMEDIATE calls, one round trip
 * instead of one each. The block stops at the first statement that fails
 * and names it; that statement then runs alone, as run_dump_statement
 * runs it, so that what is reported is what running them one by one
 * reports, and the batch goes on after it. */
#define IMP_BATCH_MAX 16
#define IMP_BATCH_TEXT 4000   /* longest statement a batch takes */
typedef struct __imp_batch {
    int n;
    size_t bytes;                      /* of the block's literals */
    char *text[IMP_BATCH_MAX];         /* the statements as they run */
    int len[IMP_BATCH_MAX];
    STMT_INFO info[IMP_BATCH_MAX];
} IMP_BATCH;

/* Runs the statement as run_dump_statement does, queued in b when it may
 * wait for the others (then run at the latest by imp_batch_flush). Returns
 * 0, or -1 when memory ran out. */
int imp_batch_statement(IMP_WORKER *w, IMP_BATCH *b, const char *text, int len, const STMT_INFO *in);
/* Runs what b holds and empties it. 0, or -1 when memory ran out. */
int imp_batch_flush(IMP_WORKER *w, IMP_BATCH *b);

/* Oracle's errors that say only that an object already exists (ORA-00955,
 * the constraint-exists family, an index on the same columns, a column or
 * trigger of that name); IGNORE=Y passes over these and nothing else. */
int imp_is_exists_error(int code);

#ifdef __cplusplus
}
#endif

#endif /* TAB_IMP_RUN_STATEMENT_H */
