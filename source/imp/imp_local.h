/*
 * imp_local.h - helpers shared by the operations of tabimp only: the safe
 * readers of the read window, the statement runner and the run's handles.
 */
#ifndef TAB_IMP_LOCAL_H
#define TAB_IMP_LOCAL_H

#include <assert.h>

#include "dump_reader.h"
#include "outcome.h"
#include "stmt_allow.h"
#include "util.h"

/* What execute_insert and the LONG piece handler return besides the
 * CHECK_STATUS of the call: the single row refused under IGNORE=Y, and
 * IMP_BATCH_REFUSED + M when M rows of an array were refused. The row
 * paths' own results: a row went in (IMP_ROW_DONE) or was refused and
 * its streams stepped over (IMP_ROW_SKIPPED). */
#define IMP_ROW_REFUSED (-3)
#define IMP_BATCH_REFUSED 2
#define IMP_ROW_DONE 0
#define IMP_ROW_SKIPPED 2

/* Prints the last fault of reader r in tabimp's words; returns -1. */
int imp_dump_fault(const IMP_RUN *run, const DUMP_READER *r);

/* With the checksum extension, reads the whole section of table t through
 * the worker's own reader before anything of it is created: every
 * structural rule, its checksum, and every statement it holds against the
 * allowed kinds. Returns 0 (also for files without the extension) or -1
 * after the message. */
int verify_section(IMP_WORKER *w, const IMP_TABLE *t);

/* Ends the run (-1 after a message naming the table) unless the statement
 * is of a kind the export writes for table t (NULL: the deferred list);
 * where is STMT_AT_CREATE, STMT_AT_SECTION or STMT_AT_DEFERRED. */
int check_import_statement(const IMP_RUN *run, const IMP_TABLE *t, int where, const char *text,
                           int len);

/* As check_import_statement; an allowed statement is also described in *in. */
int check_import_info(const IMP_RUN *run, const IMP_TABLE *t, int where, const char *text, int len,
                      STMT_INFO *in);

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

/* 1 when name is a synonym of the target schema, 0 when not, -1 after a
 * message when the database cannot tell. */
int is_target_synonym(IMP_WORKER *w, const char *name);

/* Checks the deferred statements of the trailer against the allowed kinds
 * (before any table is created): a refused one is named and counted as a
 * warning, and left out later. Runs them after the last table: with
 * TABLES= only those of a selected table; a failure is reported and the
 * next one runs. Both 0, or -1 when the file is damaged or a stop was
 * asked for. */
int check_deferred_statements(IMP_RUN *run);
int run_deferred_statements(IMP_WORKER *w);

/* The name of table t: its directory entry's, or the long name the
 * trailer carries for a table whose name does not fit the directory. */
#define TABLE_NAME(t) ((t)->name)

/* Sets up worker w of run: its read window and bind area and, with own,
 * its own reader cursor (made from the run's); without own it reads
 * through the run's reader (the coordinator, which in a parallel run has
 * no window: it runs only the deferred statements). 0 or -1 after the message. Its session is
 * connected by the caller. imp_worker_end releases all of it, session
 * included; safe at every stage. */
int imp_worker_begin(IMP_RUN *run, IMP_WORKER *w, DUMP_READER *own);
void imp_worker_end(IMP_WORKER *w);

/* The selected tables one after the other in worker w's session. 0, -1
 * after the failure's message, -2 after a stop was reported. */
int import_serial(IMP_RUN *run, IMP_WORKER *w);

/* PARALLEL=n: the selected tables loaded by n worker sessions, coordinator
 * included. 0, -1 after the failure's message, -2 after a stop was
 * reported. */
int import_parallel(IMP_RUN *run, IMP_WORKER *coordinator);

/* The run's lock around what workers share (the object lists, the
 * progress lines); nothing in a serial run. */
void imp_lock(const IMP_RUN *run);
void imp_unlock(const IMP_RUN *run);

/* Oracle's errors that say only that an object already exists (ORA-00955,
 * the constraint-exists family, an index on the same columns, a column or
 * trigger of that name); IGNORE=Y passes over these and nothing else. */
int imp_is_exists_error(int code);

/* Locks owner.name of the target in exclusive mode and checks, under the
 * lock, that the dictionary shows it as a TABLE of the target. 1: locked
 * and a table (the lock ends with the commit of the rows); 0: refused,
 * message printed, nothing locked; -1: the database failed. */
int lock_target_table(IMP_WORKER *w, const char *name);

/* Before a grant, comment or trigger acts on name: locks it when it is a
 * table or view and checks under the lock that it is one of the target,
 * so that the object cannot be swapped for a synonym until the statement
 * runs (its DDL ends the lock). 1 locked; 0 not lockable (a sequence or a
 * unit: nothing held); 2 refused, message printed, nothing held; -1 the
 * database failed. */
int lock_target_object(IMP_WORKER *w, const char *name);

/* The objects this run created or took over (sorted, binary search);
 * the tables it took over are also kept apart, since they may hold their
 * indexes and keys already. */
int imp_mark_ours(IMP_RUN *run, const char *name);
int imp_mark_taken(IMP_RUN *run, const char *name);
int imp_is_ours(const IMP_RUN *run, const char *name);
int imp_is_taken(const IMP_RUN *run, const char *name);
void imp_forget_ours(IMP_RUN *run);

/* Rows the database refused in the last batch (IGNORE=Y runs the inserts
 * in batch-error mode): reports the first few, counts them all. Returns
 * the number refused, or -1 when the errors cannot be read. */
int imp_batch_rejects(IMP_WORKER *w, int nrows);

/* The closing line of a table's rows: how many went in and, when some
 * were refused, how many (which counts as a warning of the run). */
void imp_table_done_line(IMP_WORKER *w, const char *name);

/* Reports one refused row of a single-row table. */
void imp_row_rejected(IMP_WORKER *w, const char *message);

/* Steps over the rest of a LONG or LOB stream whose row was refused: its
 * pieces up to the end word and the extra end word. 0 or -1. */
int imp_skip_stream_rest(IMP_WORKER *w);

/* A stopped worker: rolls back its open work and, when it was in a table,
 * drops that table if this run created it and names the signal and the
 * table. */
void imp_stop_worker(IMP_WORKER *w);
/* Status of a stopped run: the stop of worker w (NULL: in the deferred
 * list, after the last table), then the tables completed. */
void imp_report_stop(const IMP_RUN *run, IMP_WORKER *w);

/* PARTITION_OPTIONS=MERGE: partitioned tables and indexes are created
 * without their partitioning (merge_partitions.c).
 * The CREATE TABLE / CREATE INDEX text without its partitioning clause:
 * 1 and a malloc'd *out when one was dropped, 0 when there is none, -1 on
 * failure. */
int drop_partitioning(const char *txt, int len, char **out, int *outlen);

/* Longest stream piece and the room a piece needs in the window: its length
 * word, up to DUMP_PIECE_SIZE bytes, and the word after it. */
#define IMP_PIECE_ROOM (2 + DUMP_PIECE_SIZE + 2)

/* Makes sure that the window holds n bytes from the read position on,
 * moving it forward when they are not all loaded. Returns 0, or -1 after a
 * message when the file cannot supply them ("Read %s not completed."). */
int imp_need(IMP_WORKER *w, int n);

/* The big-endian word at the read position; imp_need(2) must have succeeded. */
static inline uint16_t imp_peek16(const IMP_WORKER *w)
{
    assert(w->rtail >= 0 && w->rtail + 2 <= w->dlen);
    return get_be16(w->rbuf + w->rtail);
}

/* Reads the word at the read position and steps past it; 0 or -1. */
int imp_take16(IMP_WORKER *w, uint16_t *word);

/* After the end word of a stream: a writer that always writes the last
 * piece leaves one more zero word there, which belongs to the same stream
 * end (no row start or value slot is ever 0x0000). Consumes it when present.
 * Returns 0, or -1 when the file ends right after the stream. */
int imp_skip_second_end(IMP_WORKER *w);

/* Length to bind for a value of w bytes at p. A CHAR or NCHAR value comes
 * out of the export blank-padded to its buffer, which counts bytes of the
 * national or multi-byte character set and so may hold more blanks than
 * the column has characters; trailing blanks carry no meaning in a CHAR
 * value (the database pads it again), so they are left out, keeping at
 * least one character. Other types bind all w bytes. */
static inline uint16_t imp_bind_length(const BIND_COLUMN *b, const uint8_t *p, uint16_t w)
{
    if (b->ctype != CTYPE_CHAR && b->ctype != CTYPE_NCHAR) return w;
    while (w > 1 && p[w - 1] == ' ') w--;
    return w;
}

/* Prints the message for a damaged row or stream and returns -1. */
int imp_bad_row(void);

/* Prepares and executes one statement of len bytes at txt on the run's
 * statement handle. A success with information prints its text. Returns 0
 * on success, -1 after printing the failing call and the Oracle message. */
int imp_run_sql(IMP_WORKER *w, const char *txt, int len);

/* As imp_run_sql, but a failure is left to the caller to report (the
 * message stays in get_ora_message(&w->env)). */
int imp_try_sql(IMP_WORKER *w, const char *txt, int len);

/* Appends name to dst in double quotes, doubling every double quote inside
 * it, and returns the new end. dst must have room for 2 * strlen(name) + 2. */
char *imp_put_quoted(char *dst, const char *name);

/* True when the fixed-size field holds a NUL byte. */
int imp_has_nul(const char *field, int size);

#endif /* TAB_IMP_LOCAL_H */
