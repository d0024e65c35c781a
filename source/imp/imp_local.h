/*
 * imp_local.h - helpers shared by the operations of tabimp only: the safe
 * readers of the read window, the statement runner and the run's private state.
 */
#ifndef TAB_IMP_LOCAL_H
#define TAB_IMP_LOCAL_H

#include "dump_reader.h"
#include "outcome.h"
#include "stmt_allow.h"
#include "util.h"

/* Size of the dump file when it was opened; offsets in the header and the
 * directory are checked against it before they are used. */
extern uint64_t g_file_size;

/* The shared reader over the dump file, opened by read_dump_head. */
extern DUMP_READER g_dump;

/* 1 when name is a synonym of the target schema, 0 when not, -1 after a
 * message when the database cannot tell. */
int is_target_synonym(const char *name);

/* Index in the directory of the table being imported (-1 between tables). */
extern int g_cur_table;

/* TABLE_EXISTS_ACTION: what to do with a table the target already holds.
 * NONE keeps the old rule (fail without IGNORE=Y, append with it). */
enum { TEA_NONE, TEA_SKIP, TEA_APPEND, TEA_TRUNCATE, TEA_REPLACE };
extern int g_table_exists_action;

/* Whether the table being imported was created by this run (so that a
 * stop drops it again), and the rows of it the target refused. */
extern int g_table_created;
extern int g_rows_rejected;

/* The objects this run created or took over (sorted, binary search);
 * the tables it took over are also kept apart, since they may hold their
 * indexes and keys already. */
int imp_mark_ours(const char *name);
int imp_mark_taken(const char *name);
int imp_is_ours(const char *name);
int imp_is_taken(const char *name);
void imp_forget_ours(void);

/* Rows the database refused in the last batch (IGNORE=Y runs the inserts
 * in batch-error mode): reports the first few, counts them all. Returns
 * the number refused, or -1 when the errors cannot be read. */
int imp_batch_rejects(int nrows);

/* The closing line of a table's rows: how many went in and, when some
 * were refused, how many (which counts as a warning of the run). */
void imp_table_done_line(const char *name);

/* Reports one refused row of a single-row table. */
void imp_row_rejected(const char *message);

/* Steps over the rest of a LONG or LOB stream whose row was refused: its
 * pieces up to the end word and the extra end word. 0 or -1. */
int imp_skip_stream_rest(void);

/* Status of a stopped run: rolls back the open table, drops it when this
 * run created it, prints the signal, the table and the completed tables. */
void imp_report_stop(int ti);

/* PARTITION_OPTIONS=MERGE: partitioned tables and indexes are created
 * without their partitioning (merge_partitions.c). */
extern int g_partition_merge;
/* The CREATE TABLE / CREATE INDEX text without its partitioning clause:
 * 1 and a malloc'd *out when one was dropped, 0 when there is none, -1 on
 * failure. */
int drop_partitioning(const char *txt, int len, char **out, int *outlen);

/* Longest stream piece and the room a piece needs in the window: its length
 * word, up to DUMP_PIECE_SIZE bytes, and the word after it. */
#define IMP_PIECE_ROOM (2 + DUMP_PIECE_SIZE + 2)

/* Makes sure that the window holds n bytes from the read position on,
 * moving it forward when they are not all loaded. Returns 0, or -1 after a
 * message when the file cannot supply them ("Read %s not completed."). */
int imp_need(int n);

/* The big-endian word at the read position; imp_need(2) must have succeeded. */
static inline uint16_t imp_peek16(void)
{
    return get_be16(g_imp.rbuf + g_imp.rtail);
}

/* Reads the word at the read position and steps past it; 0 or -1. */
int imp_take16(uint16_t *w);

/* After the end word of a stream: a writer that always writes the last
 * piece leaves one more zero word there, which belongs to the same stream
 * end (no row start or value slot is ever 0x0000). Consumes it when present.
 * Returns 0, or -1 when the file ends right after the stream. */
int imp_skip_second_end(void);

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

/* True when the fixed-size field holds a NUL byte. */
int imp_has_nul(const char *field, int size);

/* Declared with the files that define them: imp_dump_fault (read_head.h),
 * imp_table_name and TABLE_NAME (read_table_info.h), the section and
 * statement checks (verify_section.h), run_dump_statement and
 * imp_is_exists_error (run_statement.h), imp_run_sql and imp_try_sql
 * (create_table.h), the target locks (lock_target_table.h),
 * imp_put_quoted (quote_name.h). */

#endif /* TAB_IMP_LOCAL_H */
