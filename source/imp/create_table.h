/*
 * create_table.h - runs one statement on the run's statement handle
 * (create_table.c).
 */
#ifndef TAB_IMP_CREATE_TABLE_H
#define TAB_IMP_CREATE_TABLE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Prepares and executes one statement of len bytes at txt on the run's
 * statement handle. A success with information prints its text. Returns 0
 * on success, -1 after printing the failing call and the Oracle message. */
int imp_run_sql(IMP_WORKER *w, const char *txt, int len);

/* As imp_run_sql, but a failure is left to the caller to report (the
 * message stays in get_ora_message(&w->env)). */
int imp_try_sql(IMP_WORKER *w, const char *txt, int len);

#ifdef __cplusplus
}
#endif

#endif /* TAB_IMP_CREATE_TABLE_H */
