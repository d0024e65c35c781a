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

/* Oracle's errors that say only that an object already exists (ORA-00955,
 * the constraint-exists family, an index on the same columns, a column or
 * trigger of that name); IGNORE=Y passes over these and nothing else. */
int imp_is_exists_error(int code);

#ifdef __cplusplus
}
#endif

#endif /* TAB_IMP_RUN_STATEMENT_H */
