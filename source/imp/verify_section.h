/*
 * verify_section.h - the checks of a table's section and of the dump's
 * statements against the allowed kinds, before anything is created
 * (verify_section.c).
 */
#ifndef TAB_IMP_VERIFY_SECTION_H
#define TAB_IMP_VERIFY_SECTION_H

#include "stmt_allow.h"

#ifdef __cplusplus
extern "C" {
#endif

/* With the checksum extension, reads the whole section of table ti before
 * anything of it is created: every structural rule, its checksum, and
 * every statement it holds against the allowed kinds. Returns 0 (also for
 * files without the extension) or -1 after the message. */
int verify_section(IMP_WORKER *w, const IMP_TABLE *t);

/* Ends the run (-1 after a message naming the table) unless the statement
 * is of a kind the export writes for table ti (-1: the deferred list);
 * where is STMT_AT_CREATE, STMT_AT_SECTION or STMT_AT_DEFERRED. */
int check_import_statement(const IMP_RUN *run, const IMP_TABLE *t, int where, const char *text,
                           int len);

/* As check_import_statement; an allowed statement is also described in *in. */
int check_import_info(const IMP_RUN *run, const IMP_TABLE *t, int where, const char *text, int len,
                      STMT_INFO *in);

/* Checks the deferred statements of the trailer against the allowed kinds
 * (before any table is created): a refused one is named and counted as a
 * warning, and left out later. Runs them after the last table: with
 * TABLES= only those of a selected table; a failure is reported and the
 * next one runs. Both 0, or -1 when the file is damaged or a stop was
 * asked for. */
int check_deferred_statements(IMP_RUN *run);
/* Forgets the materialized views the checks noted (at the run's end). */
void imp_forget_mviews(IMP_RUN *run);
int run_deferred_statements(IMP_WORKER *w);

#ifdef __cplusplus
}
#endif

#endif /* TAB_IMP_VERIFY_SECTION_H */
