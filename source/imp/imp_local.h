/*
 * imp_local.h - helpers shared by the operations of tabimp only: the
 * worker's set-up, the objects of the run, the rows refused, and the
 * length a value is bound with.
 */
#ifndef TAB_IMP_LOCAL_H
#define TAB_IMP_LOCAL_H

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

/* A LONG value of up to this many bytes goes into its row's INSERT in one
 * piece; a longer one is handed over in pieces while the INSERT waits. */
#define IMP_LONG_WHOLE (1u << 20)

/* A LONG value of up to this many bytes goes into an array INSERT with
 * the other rows' (a bind of more bytes to a LONG column cannot be an
 * array); a longer one goes in its row's own INSERT. */
#define IMP_LONG_ARRAY_BOUND 4000

/* A LOB value written through its locator goes in writes of up to this
 * many bytes, each a round trip, gathered from the dump's pieces (smaller
 * in some test builds; at least one piece). */
#ifndef IMP_LOB_GATHER
#define IMP_LOB_GATHER (1u << 20)
#endif

/* What is already read of a LOB or LONG value of the row being inserted:
 * nothing (its stream is still to be read), the whole value (p, len; len
 * 0 for an empty value), or its first len bytes at p, then the piece that
 * did not fit after them (`pending`, valid until the reader is used
 * again), then the rest of its stream. */
#define HELD_NONE 0
#define HELD_WHOLE 1
#define HELD_PART 2
typedef struct __imp_held {
    int state;
    const uint8_t *p;
    uint32_t len;
    DUMP_PIECE pending;
} IMP_HELD;

/* An INSERT of a table's rows in arrays for the rows whose LOB values of
 * the columns in `pattern` (bit m: LOB column m) are empty: those columns
 * take EMPTY_CLOB() or EMPTY_BLOB(), the others their binds. */
#define IMP_VARIANTS 3
typedef struct __imp_variant {
    uint32_t pattern;   /* 0: a free slot */
    OCIStmt *stmt;
    char *text;         /* kept while the statement is in use */
    uint64_t used;      /* when last used, to replace the oldest */
} IMP_VARIANT;

/* The statement of w->variants for `pattern` (made, or one replaced, when
 * none is): 0 with *stmt, or -1 after the message. */
int imp_variant_statement(IMP_WORKER *w, uint32_t pattern, OCIStmt **stmt);
/* Frees the variants' statements. */
void imp_variants_end(IMP_WORKER *w);

/* Reads the rest of the stream begun into buf (cap bytes) from piece *pc
 * on: HELD_WHOLE when it fits, else HELD_PART with the piece that did not
 * fit pending. *pc is the stream's first piece (more > 0) or none (more ==
 * 0, an empty value). 0 or -1 (a fault, reported). */
int imp_hold_stream(IMP_WORKER *w, uint8_t *buf, uint32_t cap, int more, DUMP_PIECE *pc, IMP_HELD *h);

/* The rows of a table with LOB or LONG columns that go in alone: inserts
 * the row held in row 0 of w->rbc's binds and consumes its streams (the
 * LOB values held in w->held first). IMP_ROW_DONE, IMP_ROW_SKIPPED when the
 * target refused it (IGNORE=Y; reported, its streams stepped over), or -1. */
int imp_insert_row_alone(IMP_WORKER *w, const IMP_TABLE *table);

/* 1 when name is a synonym of the target schema, 0 when not, -1 after a
 * message when the database cannot tell. */
int is_target_synonym(IMP_WORKER *w, const char *name);

/* Sets up worker w of run: its read window and bind area and, with own,
 * its own reader cursor (made from the run's); without own it reads
 * through the run's reader (the coordinator, which in a parallel run has
 * no window: it runs only the deferred statements). 0 or -1 after the message. Its session is
 * connected by the caller. imp_worker_end releases all of it, session
 * included; safe at every stage. */
int imp_worker_begin(IMP_RUN *run, IMP_WORKER *w, DUMP_READER *own);
void imp_worker_end(IMP_WORKER *w);

/* Fills w's read window at the start of table's section: its front
 * (DDL text and column block) in *front, checked, the reader then at the
 * rows. 0, or -1 after the message. */
int read_file(IMP_WORKER *w, IMP_TABLE *table, DUMP_FRONT *front);

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

/* Tables whose target has a CHECK constraint reading a LOB column
 * (insert_lob.c): a write through a RETURNING locator is checked by no
 * statement on every server, so such a table binds each LOB value whole,
 * from a temporary LOB, and its INSERT checks the row as it is stored.
 * imp_whole_lobs tells whether table name is one (1, or 1 when the
 * dictionary cannot tell; 0). imp_lob_temps_begin gives every LOB input
 * bind of the prepared layout its temporary LOB (0 or -1 after the
 * message); imp_lob_temps_end frees them, before the rows are committed.
 * insert_lob_whole puts the row's next LOB stream into the temporary LOB
 * of bind slot bi. */
int imp_whole_lobs(IMP_WORKER *w, const char *name);
int imp_lob_temps_begin(IMP_WORKER *w, const TAB_INFO *t);
void imp_lob_temps_end(IMP_WORKER *w, const TAB_INFO *t);
int insert_lob_whole(IMP_WORKER *w, int bi, IMP_HELD *h);

/* Writes the LOB value of the row's next LOB stream (what h holds of it
 * first, when not NULL) through the RETURNING locator of w->rbc[bi].
 * 0 or -1. */
int insert_lob(IMP_WORKER *w, int bi, IMP_HELD *h);

/* The row's LONG value for the INSERT of w->row_smthp, its stream the
 * next to read: gathered into w->long_buf and bound in one piece when it
 * fits, else bound for pieces at execution (what was gathered held in h).
 * 0 or -1. After an execution that asked for the pieces,
 * insert_long_rest hands them over (the same results as
 * insert_long_piece). */
int bind_long_value(IMP_WORKER *w, IMP_HELD *h);
int insert_long_rest(IMP_WORKER *w, IMP_HELD *h);
/* The two halves of bind_long_value: hold_long_value reads the row's LONG
 * stream into w->long_buf (HELD_WHOLE with p NULL for a NULL value, or
 * with the value; HELD_PART when it does not fit), bind_held_long binds
 * what h holds. 0 or -1. */
int hold_long_value(IMP_WORKER *w, IMP_HELD *h);
int bind_held_long(IMP_WORKER *w, const IMP_HELD *h);

/* A row of a LONG table's arrays that goes alone, its LONG value held in
 * h (hold_long_value), its other values in row 0 of the arrays. The same
 * results as imp_insert_row_alone. */
int imp_insert_long_alone(IMP_WORKER *w, const IMP_TABLE *table, IMP_HELD *h);

/* The row's LONG stream held in w->long_stage until the row's INSERT asks
 * for it, for a table whose LOB values go whole into the INSERT (their
 * streams follow the LONG's): 1 with *len bytes held, 0 when the NULL
 * LONG came without a stream, or -1. insert_long_staged then hands it
 * over as insert_long_piece hands over a stream (same results). */
int stage_long(IMP_WORKER *w, uint64_t *len);
int insert_long_staged(IMP_WORKER *w, int begun, uint64_t len);

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
/* With PARTITION_OPTIONS=MERGE: points *text and *len at the statement
 * without its partitioning (in *merged, to free; NULL when there was none),
 * once the rewritten text has passed the check of a statement at `where`
 * of the worker's table, which also fills *in. 1 rewritten, 0 nothing to
 * drop, -1 after the message (refused: the run ends). */
int merge_partitions(IMP_WORKER *w, int where, const char **text, int *len, char **merged,
                     STMT_INFO *in);

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

/* True when the fixed-size field holds a NUL byte. */
int imp_has_nul(const char *field, int size);

/* Declared with the files that define them: imp_dump_fault (dump_fault.h),
 * TABLE_NAME (table_name.h), the section and
 * statement checks (verify_section.h), run_dump_statement and
 * imp_is_exists_error (run_statement.h), imp_run_sql and imp_try_sql
 * (create_table.h), the target locks (lock_target_table.h),
 * imp_put_quoted (quote_name.h). */

#endif /* TAB_IMP_LOCAL_H */
